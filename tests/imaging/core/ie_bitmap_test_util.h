// Small helpers shared by the image-buffer tests.
#pragma once

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_streams.h"

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

// Sends every allocation of a bitmap into the given store. Fragments are forced by refusing
// every block larger than the small test rows, which the single block always is (size + 128).
class StoreScope {
 public:
  explicit StoreScope(Store s) : FStore(s) {
    if (s == Store::Fragments) IEAllocationRefusal = [](size_t size) { return size > 128; };
  }
  ~StoreScope() { IEAllocationRefusal = nullptr; }
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
  bool InStore(const TIEBitmap& b) const {
    switch (FStore) {
      case Store::Block: return b.Location == ieMemory && b.GetFragmentCount() == 0;
      case Store::Fragments: return b.Location == ieMemory && b.GetFragmentCount() > 0;
      case Store::File: return b.Location == ieFile && b.GetFileBuffer().IsAllocated();
      case Store::TBitmap: return b.Location == ieTBitmap;
    }
    return false;
  }

 private:
  Store FStore;
};

inline std::vector<Byte> Row(TIEBitmap& b, Integer y, size_t bytes) {
  const Byte* p = static_cast<const Byte*>(b.GetScanline(y));
  return std::vector<Byte>(p, p + bytes);
}

inline void SetRow(TIEBitmap& b, Integer y, const std::vector<Byte>& bytes) {
  std::memcpy(b.GetScanline(y), bytes.data(), bytes.size());
}

}  // namespace ietest
