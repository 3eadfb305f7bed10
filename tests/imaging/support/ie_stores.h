// Runs image-buffer tests under each of the four row stores (one memory block, row fragments,
// the temporary file, a framework bitmap), so a codec or an operation that mishandles one store
// fails there. Used by the core, format and processing tests alike:
//
//   class MyOp : public ietest::StoreTest {};
//   TEST_P(MyOp, Works) { TIEBitmap b; Prepare(b); b.Allocate(...); ... EXPECT_TRUE(InStore(b)); }
//   IE_INSTANTIATE_ALL_STORES(MyOp);
//
// or, inside a plain test, ietest::ForEachStore([&](ietest::Store s, ietest::StoreScope& scope) { ... }).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_streams.h"
#include "tests/support/fixtures.h"

namespace ietest {

enum class Store { Block, Fragments, File, TBitmap };

inline const char* StoreName(Store s) {
  switch (s) {
    case Store::Block: return "block";
    case Store::Fragments: return "fragments";
    case Store::File: return "file";
    case Store::TBitmap: return "tbitmap";
  }
  return "";
}

// Sends every allocation of a prepared bitmap into the given store, and keeps the temporary
// files of the file store in a folder of their own that goes with the scope. Fragments are
// forced by refusing every block larger than the small test rows, which the single block always
// is (size + 128): keep images of the fragment store to a few rows of a few pixels.
class StoreScope {
 public:
  explicit StoreScope(Store s) : FStore(s) {
    if (s == Store::Fragments) IEAllocationRefusal = [](size_t size) { return size > 128; };
    if (s == Store::File) {
      FFolder = testsupport::MakeTempDir("iestore");
      IETempFolder = FFolder + "/";
    }
  }
  ~StoreScope() {
    IEAllocationRefusal = nullptr;
    if (!FFolder.empty()) {
      IETempFolder.clear();
      testsupport::RemoveTree(FFolder);
    }
  }
  StoreScope(const StoreScope&) = delete;
  StoreScope& operator=(const StoreScope&) = delete;

  Store Kind() const { return FStore; }
  // Sets the location request (and for the file store a zero threshold) before Allocate.
  void Prepare(TIEBitmap& b) const {
    if (FStore == Store::File) {
      b.FileThreshold = 0;
      b.Location = ieFile;
    } else if (FStore == Store::TBitmap) {
      b.Location = ieTBitmap;
    } else {
      b.Location = ieMemory;
    }
  }
  // True when the bitmap's rows really are in this scope's store.
  bool InStore(const TIEBitmap& b) const {
    switch (FStore) {
      case Store::Block: return b.Location == ieMemory && b.GetFragmentCount() == 0;
      case Store::Fragments: return b.Location == ieMemory && b.GetFragmentCount() > 0;
      case Store::File: return b.Location == ieFile && b.GetFileBuffer().IsAllocated();
      case Store::TBitmap: return b.Location == ieTBitmap;
    }
    return false;
  }
  // The framework bitmap holds only these formats (ie16g becomes ie8g there).
  bool Holds(TIEPixelFormat f) const {
    return FStore != Store::TBitmap || f == ie1g || f == ie8p || f == ie8g || f == ie24RGB || f == ie32RGB;
  }

 private:
  Store FStore;
  std::string FFolder;
};

inline const Store AllStores[] = {Store::Block, Store::Fragments, Store::File, Store::TBitmap};

// Runs Body once per store, each run in a fresh scope and labelled with the store's name.
inline void ForEachStore(const std::function<void(Store, StoreScope&)>& Body) {
  for (Store s : AllStores) {
    SCOPED_TRACE(std::string("store ") + StoreName(s));
    StoreScope scope(s);
    Body(s, scope);
  }
}

// Parametrised form: each store is its own test case (named .../block, .../file, ...).
class StoreTest : public ::testing::TestWithParam<Store> {
 protected:
  StoreTest() : FScope(GetParam()) {}
  StoreScope& Scope() { return FScope; }
  void Prepare(TIEBitmap& b) const { FScope.Prepare(b); }
  bool InStore(const TIEBitmap& b) const { return FScope.InStore(b); }
  bool Holds(TIEPixelFormat f) const { return FScope.Holds(f); }

 private:
  StoreScope FScope;
};

}  // namespace ietest

#define IE_INSTANTIATE_ALL_STORES(Suite)                                                                  \
  INSTANTIATE_TEST_SUITE_P(Stores, Suite, ::testing::ValuesIn(::ietest::AllStores),                    \
                           [](const ::testing::TestParamInfo<::ietest::Store>& info) {                 \
                             return std::string(::ietest::StoreName(info.param));                      \
                           })
