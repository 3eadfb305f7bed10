// Stores of the image buffer: the location rules, fragments, the temporary file and its life,
// moves between stores and file-backed row access.
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include <regex>

#include "imaging/core/ie_bitmap.h"
#include "tests/imaging/core/ie_bitmap_test_util.h"
#include "tests/support/fixtures.h"

using namespace ietest;

namespace {

class TempFolder {
 public:
  TempFolder() : Path(testsupport::MakeTempDir("iebmp")) { IETempFolder = Path + "/"; }
  ~TempFolder() {
    IETempFolder.clear();
    testsupport::RemoveTree(Path);
  }
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    if (DIR* d = opendir(Path.c_str())) {
      while (dirent* e = readdir(d))
        if (e->d_name[0] != '.') names.push_back(e->d_name);
      closedir(d);
    }
    return names;
  }
  std::string Path;
};

// Targets of this process's open descriptors, e.g. "/tmp/x/IMG-0A1B2C3D.tmp (deleted)".
std::vector<std::string> OpenFiles() {
  std::vector<std::string> out;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (dirent* e = readdir(d)) {
      char target[4096];
      std::string link = std::string("/proc/self/fd/") + e->d_name;
      ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
      if (n > 0) out.emplace_back(target, static_cast<size_t>(n));
    }
    closedir(d);
  }
  return out;
}

TEST(BitmapStorage, LocationFollowsSizeAgainstThreshold) {
  // 10 x 10 ie24RGB: rows of 32 bytes, 320 bytes of row data.
  struct Row {
    TIELocation requested;
    Int64 threshold;
    TIELocation expected;
  } table[] = {
      {ieFile, 1000, ieMemory},   // below the threshold: memory
      {ieMemory, 100, ieFile},    // above it: file
      {ieFile, 320, ieFile},      // equal: the request stands
      {ieMemory, 320, ieMemory},
  };
  TempFolder tmp;
  for (const Row& r : table) {
    TIEBitmap b;
    b.Location = r.requested;
    b.FileThreshold = r.threshold;
    ASSERT_TRUE(b.Allocate(10, 10, ie24RGB));
    EXPECT_EQ(b.Location, r.expected) << "request " << int(r.requested) << " threshold " << r.threshold;
    EXPECT_EQ(b.GetFileBuffer().IsAllocated(), r.expected == ieFile);
  }
}

TEST(BitmapStorage, RefusedBlockFallsBackToFragmentsThenFile) {
  TempFolder tmp;
  {
    StoreScope refuseBlocks(Store::Fragments);
    TIEBitmap b;
    b.Location = ieMemory;
    ASSERT_TRUE(b.Allocate(5, 9, ie8g));  // rows of 8 bytes: four fragments of three rows
    EXPECT_EQ(b.Location, ieMemory);
    EXPECT_EQ(b.GetFragmentCount(), 4);
    // Fragments are top-down: rows 0..2 share the first fragment.
    EXPECT_EQ(static_cast<Byte*>(b.GetScanline(1)) - static_cast<Byte*>(b.GetScanline(0)), 8);
  }
  {
    // Height 3 and every block refused: 4 fragments fail, 8 is not below the height, so the
    // rows go to the temporary file.
    IEAllocationRefusal = [](size_t) { return true; };
    TIEBitmap b;
    b.Location = ieMemory;
    bool ok = b.Allocate(8, 3, ie8g);
    IEAllocationRefusal = nullptr;
    ASSERT_TRUE(ok);
    EXPECT_EQ(b.Location, ieFile);
    EXPECT_EQ(b.GetFragmentCount(), 0);
  }
}

TEST(BitmapStorage, TemporaryFileIsNamelessAndGoesWithTheImage) {
  TempFolder tmp;
  TIEBitmap b;
  b.FileThreshold = 0;
  ASSERT_TRUE(b.Allocate(64, 64, ie24RGB));
  ASSERT_EQ(b.Location, ieFile);
  const std::string name = b.GetFileBuffer().FileName();
  EXPECT_TRUE(std::regex_match(name, std::regex(".*/IMG-[0-9A-F]{8}\\.tmp"))) << name;
  EXPECT_EQ(name.rfind(tmp.Path, 0), 0u) << name;
  // Created exclusively and unlinked at once: nobody can open it by name, and it cannot outlive
  // the process.
  EXPECT_TRUE(tmp.Entries().empty());
  auto open = [&] {
    int n = 0;
    for (const std::string& f : OpenFiles()) n += f == name + " (deleted)";
    return n;
  };
  EXPECT_EQ(open(), 1);
  b.FreeImage(true);
  EXPECT_EQ(open(), 0);
  EXPECT_FALSE(b.GetFileBuffer().IsAllocated());
}

TEST(BitmapStorage, SizesThatDoNotFitFailCleanly) {
  struct Row {
    Integer w, h;
    TIEPixelFormat f;
  } table[] = {
      {0, 10, ie24RGB},
      {10, 0, ie8g},
      {-5, 10, ie8g},
      {10, 10, ieNull},
      {1000000000, 2, ie24RGB},      // a row of 3 GB: its length does not fit the row field
      {2147483647, 2147483647, ieRGB48},
  };
  for (const Row& r : table) {
    TIEBitmap b;
    b.Location = ieMemory;
    EXPECT_FALSE(b.Allocate(r.w, r.h, r.f)) << r.w << " x " << r.h;
    EXPECT_TRUE(b.IsEmpty());
    EXPECT_EQ(b.GetWidth(), 0);
    EXPECT_EQ(b.GetHeight(), 0);
    EXPECT_EQ(b.GetScanline(0), nullptr);
  }
  // An alignment that is not a whole number of bytes would give rows shorter than their pixels.
  TIEBitmap b;
  b.SetBitAlignment(12);
  EXPECT_FALSE(b.Allocate(10, 2, ie24RGB));
}

TEST(BitmapStorage, RowBlockIsAlignedAndBottomUp) {
  for (Byte allocator : {Byte(0), Byte(1), Byte(2)}) {
    TIEBitmap b;
    b.Location = ieMemory;
    b.Allocator = allocator;
    ASSERT_TRUE(b.Allocate(7, 5, ie24RGB));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(b.GetScanline(4)) % 64, 0u);
    EXPECT_EQ(static_cast<Byte*>(b.GetScanline(0)) - static_cast<Byte*>(b.GetScanline(1)), b.GetRowLen());
  }
}

TEST(BitmapStorage, AllocateIsFreeWhenNothingChanges) {
  TIEBitmap b;
  b.Location = ieMemory;
  ASSERT_TRUE(b.Allocate(100, 100, ie24RGB));
  void* row = b.GetScanline(0);
  b.SetPixelRGB(0, 0, TRGB{1, 2, 3});
  ASSERT_TRUE(b.Allocate(100, 100, ie24RGB));
  EXPECT_EQ(b.GetScanline(0), row);
  EXPECT_EQ(b.GetPixelRGB(0, 0), (TRGB{1, 2, 3}));
  b.GetAlphaChannel();
  b.ForceReallocation = true;
  ASSERT_TRUE(b.Allocate(100, 100, ie24RGB));
  EXPECT_FALSE(b.HasAlphaChannel());
}

// Every store keeps the same pixels, palette and alpha channel when the image moves between them.
TEST(BitmapStorage, MovesBetweenStoresKeepPixelsPaletteAndAlpha) {
  TempFolder tmp;
  TIEBitmap b;
  b.Location = ieMemory;
  ASSERT_TRUE(b.Allocate(13, 7, ie8p));
  for (Integer y = 0; y < 7; ++y)
    for (Integer x = 0; x < 13; ++x) b.SetPixelByte(x, y, Byte(x * 7 + y));
  b.SetPaletteEntry(5, TRGB{1, 2, 3});
  b.SetAlphaValue(3, 4, 99);

  auto check = [&](const char* where) {
    for (Integer y = 0; y < 7; ++y)
      for (Integer x = 0; x < 13; ++x) ASSERT_EQ(b.GetPixelByte(x, y), Byte(x * 7 + y)) << where;
    EXPECT_EQ(b.GetPaletteEntry(5), (TRGB{1, 2, 3})) << where;
    EXPECT_EQ(b.GetAlphaValue(3, 4), 99) << where;
  };
  b.FileThreshold = 0;
  b.SetLocation(ieFile);
  EXPECT_EQ(b.Location, ieFile);
  check("file");
  b.FileThreshold = 1 << 20;
  b.SetLocation(ieMemory);
  EXPECT_EQ(b.Location, ieMemory);
  check("memory");
  b.FileThreshold = 10;
  b.SetLocation(ieFile);
  b.SetLocation(ieMemory);  // above the threshold: the file keeps it
  EXPECT_EQ(b.Location, ieFile);
  check("file again");
}

// Row pointers stay valid until the image is reallocated: hold a row of every line, write
// through all of them in an order that interleaves, then read everything back. Under
// AddressSanitizer a store that recycles a row it handed out fails here.
class RowsHeld : public StoreTest {};

TEST_P(RowsHeld, EveryRowStaysValidUntilReallocation) {
  TIEBitmap b;
  Prepare(b);
  const Integer w = 5, h = 6;
  ASSERT_TRUE(b.Allocate(w, h, ie24RGB));
  ASSERT_TRUE(InStore(b));
  std::vector<TRGB*> rows;
  for (Integer y = 0; y < h; ++y) rows.push_back(static_cast<TRGB*>(b.GetScanline(y)));
  // A locked row and the single-pixel accessors in between must not move any held row.
  TRGB* locked = static_cast<TRGB*>(b.LockScanline(2));
  EXPECT_EQ(locked, rows[2]);
  b.SetPixelRGB(0, 4, TRGB{1, 2, 3});
  for (Integer y = h - 1; y >= 0; --y)
    for (Integer x = 0; x < w; ++x) rows[static_cast<size_t>(y)][x] = TRGB{Byte(x), Byte(y), Byte(x * y)};
  rows[0][0] = TRGB{9, 9, 9};
  b.UnlockScanline(2);
  b.UnmapAllRows();
  for (Integer y = 0; y < h; ++y) {
    EXPECT_EQ(b.GetScanline(y), rows[static_cast<size_t>(y)]) << "row " << y;
    for (Integer x = 0; x < w; ++x) {
      TRGB want = (x == 0 && y == 0) ? TRGB{9, 9, 9} : TRGB{Byte(x), Byte(y), Byte(x * y)};
      EXPECT_EQ(b.GetPixelRGB(x, y), want) << x << "," << y;
    }
  }
  // A copy into another bitmap of the same store sees every write.
  TIEBitmap copy;
  Prepare(copy);
  copy.Assign(&b);
  EXPECT_EQ(copy.GetPixelRGB(4, 5), (TRGB{4, 5, 20}));
}

IE_INSTANTIATE_ALL_STORES(RowsHeld);

// A pixel outside the image (a row or a column out of range, negative or past the end) reads as
// 0 and takes no write, in every accessor and store; the pixels inside stay as they were.
class PixelsOutside : public StoreTest {};

TEST_P(PixelsOutside, ReadAsZeroAndTakeNoWrite) {
  const TIEPixelFormat formats[] = {ie8g, ie16g, ie24RGB, ie32f, ie32RGB, ieRGB48};
  for (TIEPixelFormat f : formats) {
    if (!Scope().Holds(f)) continue;
    SCOPED_TRACE(int(f));
    TIEBitmap b;
    Prepare(b);
    ASSERT_TRUE(b.Allocate(3, 2, f));
    b.Fill(0x7F7F7F);
    const TRGB before = b.GetPixelAsRGB(2, 1);
    const std::pair<Integer, Integer> outside[] = {{0, -1}, {0, 2}, {-1, 0}, {3, 1}, {0, 0x7FFFFFFF}, {INT32_MIN, 0}};
    for (const auto& [x, y] : outside) {
      SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
      switch (f) {
        case ie8g:
          EXPECT_EQ(b.GetPixelByte(x, y), 0);
          b.SetPixelByte(x, y, 1);
          break;
        case ie16g:
          EXPECT_EQ(b.GetPixelWord(x, y), 0);
          b.SetPixelWord(x, y, 1);
          break;
        case ie24RGB:
          EXPECT_EQ(b.GetPixelRGB(x, y), (TRGB{0, 0, 0}));
          b.SetPixelRGB(x, y, TRGB{1, 1, 1});
          EXPECT_EQ(b.GetPixelRGBAddress(x, y) == nullptr, y < 0 || y >= 2);
          break;
        case ie32f:
          EXPECT_EQ(b.GetPixelSingle(x, y), 0.0f);
          b.SetPixelSingle(x, y, 0.5f);
          break;
        case ie32RGB:
          EXPECT_EQ(b.GetPixelDWord(x, y), 0u);
          b.SetPixelDWord(x, y, 1);
          break;
        default:
          EXPECT_EQ(b.GetPixelRGB48(x, y).r, 0);
          b.SetPixelRGB48(x, y, TRGB48{1, 1, 1});
          break;
      }
      EXPECT_EQ(b.GetAlphaValue(x, y), 0);
      b.SetAlphaValue(x, y, 7);
      EXPECT_EQ(b.GetPixelAsRGB(x, y), (TRGB{0, 0, 0}));
    }
    EXPECT_EQ(b.GetPixelAsRGB(2, 1), before);
    EXPECT_EQ(b.GetPixelAsRGB(0, 0), before);
    EXPECT_EQ(b.GetAlphaValue(2, 1), 255);
  }
}

IE_INSTANTIATE_ALL_STORES(PixelsOutside);

TEST(BitmapStorage, FileRowsArePointersIntoTheMappedFile) {
  TempFolder tmp;
  TIEBitmap b;
  b.FileThreshold = 0;
  ASSERT_TRUE(b.Allocate(4, 3, ie8g));
  ASSERT_EQ(b.Location, ieFile);
  const TIEFileBuffer& file = b.GetFileBuffer();
  Byte* r0 = static_cast<Byte*>(b.LockScanline(0));
  Byte* r2 = static_cast<Byte*>(b.LockScanline(2));
  Byte* r1 = static_cast<Byte*>(b.GetScanline(1));
  ASSERT_NE(file.View(), nullptr);
  EXPECT_EQ(r0, file.View());
  EXPECT_EQ(r1, file.View() + b.GetRowLen());
  EXPECT_EQ(r2, file.View() + 2 * b.GetRowLen());
  EXPECT_EQ(file.MappedCount(), 0);  // rows take no heap copies
  std::memset(r0, 10, 4);
  std::memset(r1, 11, 4);
  std::memset(r2, 12, 4);
  b.UnlockScanline(0);
  b.UnlockScanline(7);  // never locked: nothing happens
  b.UnmapAllRows();
  EXPECT_EQ(b.GetPixelByte(3, 0), 10);
  EXPECT_EQ(b.GetPixelByte(3, 2), 12);

  // The file's own block mapping still works beside the view and sees the same bytes.
  TIEFileBuffer& fb = const_cast<TIEFileBuffer&>(file);
  Byte* block = static_cast<Byte*>(fb.Map(iedRead | iedWrite, b.GetRowLen(), 4));
  EXPECT_EQ(block[0], 11);
  block[0] = 99;
  fb.UnMap(block);
  EXPECT_EQ(b.GetPixelByte(0, 1), 99);
  // Rows outside the image are nil in the file store too.
  EXPECT_EQ(b.GetScanline(3), nullptr);
  EXPECT_EQ(b.LockScanline(-1), nullptr);
}

TEST(BitmapStorage, MoveImageToHandsOverWithoutCopy) {
  TIEBitmap a, b;
  a.Location = ieMemory;
  ASSERT_TRUE(a.Allocate(3, 3, ie8g));
  void* row = a.GetScanline(0);
  a.GetAlphaChannel();
  b.Location = ieMemory;
  ASSERT_TRUE(b.Allocate(9, 9, ie24RGB));
  a.MoveImageTo(&b);
  EXPECT_TRUE(a.IsEmpty());
  EXPECT_EQ(a.GetPixelFormat(), ieNull);
  EXPECT_FALSE(a.HasAlphaChannel());
  EXPECT_EQ(b.GetWidth(), 3);
  EXPECT_EQ(b.GetPixelFormat(), ie8g);
  EXPECT_EQ(b.GetScanline(0), row);
  EXPECT_TRUE(b.HasAlphaChannel());
}

}  // namespace

namespace {

// A temporary file that cannot be had at the image's size (here a file-size limit below it)
// is refused when it is made: the image falls back to memory and every row works, and no
// half-made file is left behind.
TEST(BitmapStorage, FileThatCannotBeReservedFallsBackToMemory) {
  TempFolder tmp;
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 64 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  TIEBitmap b;
  b.FileThreshold = 0;
  const bool ok = b.Allocate(1024, 256, ie24RGB);  // 768 KB of rows
  const TIELocation where = b.Location;
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  ASSERT_TRUE(ok);
  EXPECT_EQ(where, ieMemory);
  EXPECT_FALSE(b.GetFileBuffer().IsAllocated());
  for (Integer y = 0; y < 256; ++y) std::memset(b.GetScanline(y), y, 3 * 1024);
  EXPECT_EQ(b.GetPixelRGB(1023, 255), (TRGB{255, 255, 255}));
  EXPECT_TRUE(tmp.Entries().empty());
}

}  // namespace
