// Arithmetic and colour helpers, block allocation, the file buffer and the two small buffers.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstring>
#include <vector>

#include "imaging/core/ie_dib_bitmap.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_streams.h"
#include "platform/rtl/exceptions.h"
#include "tests/support/fixtures.h"

namespace {

TEST(IEHelpers, RoundingRowLengthAndGrey) {
  EXPECT_EQ(IECeil(-1.5), -1);
  EXPECT_EQ(IEFloor(-1.5), -2);
  EXPECT_EQ(IECeil(3.0), 3);
  EXPECT_EQ(IEFloor(3.0), 3);
  EXPECT_EQ(IEClamp(5, 10, 0), 10);
  struct Row {
    Integer w, bits, align;
    Int64 expected;
  } rows[] = {{3, 24, 32, 12}, {3, 1, 8, 1}, {33, 1, 32, 8}, {5, 8, 8, 5}, {5, 8, 16, 6},
              // 32-bit arithmetic would wrap these into short rows
              {1000000000, 24, 32, 3000000000LL}, {2147483647, 48, 8, 12884901882LL}};
  for (const Row& r : rows) EXPECT_EQ(IEBitmapRowLen(r.w, r.bits, r.align), r.expected) << r.w << "x" << r.bits;
  EXPECT_EQ(IERGBToGray(IECreateRGB(0, 255, 0)), 181);
  EXPECT_EQ(IERGBToGray(IECreateRGB(255, 255, 255)), 255);
  EXPECT_EQ(IESwapRedBlue(0x0000FF), 0xFF0000u);
  EXPECT_EQ(IETColorToTRGB(clRed), (TRGB{0, 0, 255}));
  EXPECT_EQ(IEPowerDouble(0, -1), 0.0L);
  EXPECT_EQ(IEPowerDouble(2, -3), 0.125L);
}

TEST(IEHelpers, RedBlueSwapCopiesAndTurnsInPlace) {
  // Lengths around the 16-pixel blocks, with a guard byte after the row that must survive.
  for (Integer count : {0, 1, 5, 15, 16, 17, 31, 32, 33, 100}) {
    std::vector<Byte> src(static_cast<size_t>(count) * 3 + 1), dst(src.size(), 0xEE), expected(src.size(), 0xEE);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<Byte>(i * 7 + 1);
    for (Integer p = 0; p < count; ++p)
      for (int k = 0; k < 3; ++k) expected[3 * p + k] = src[3 * p + 2 - k];
    IECopySwapRB(src.data(), dst.data(), count);
    EXPECT_EQ(dst, expected) << count << " pixels copied";
    std::vector<Byte> inPlace = src;
    IECopySwapRB(inPlace.data(), inPlace.data(), count);
    expected.back() = src.back();
    EXPECT_EQ(inPlace, expected) << count << " pixels in place";
  }
}

TEST(IEHelpers, CIELabEnds) {
  EXPECT_EQ(IERGBToCIELab(IECreateRGB(0, 0, 0)), (TCIELab{0, 0, 0}));
  TCIELab white = IERGBToCIELab(IECreateRGB(255, 255, 255));
  EXPECT_EQ(white.l, 250);
  // L byte 250 reads back as L* 98.04 (250 x 100 / 255), so white returns a little darker.
  TRGB back = IECIELabToRGB(TCIELab{250, 0, 0});
  EXPECT_EQ(back.r, back.g);
  EXPECT_LT(back.r, 255);
  EXPECT_GT(back.r, 245);
}

TEST(IEStreams, BlocksAreAlignedAndFreedByKind) {
  for (size_t size : {size_t(1), size_t(100), size_t(1048575), size_t(1048576), size_t(2000000), size_t(9000001),
                      size_t(36000017)}) {
    void* p = IEAllocMem(size);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u) << size;
    EXPECT_EQ(static_cast<Byte*>(p)[-1], size < 1048576 ? 0 : 1) << size;
    if (size >= 1048576) {
      for (size_t at : {size_t(0), size / 2, size - 1}) ASSERT_EQ(static_cast<Byte*>(p)[at], 0) << size << " at " << at;
    }
    std::memset(p, 0xAB, size);
    IEFreeMem(p);
    EXPECT_EQ(p, nullptr);
  }
  EXPECT_EQ(IEAllocMem(SIZE_MAX - 4), nullptr);
  void* z = IEGlobalAlloc(64);
  ASSERT_NE(z, nullptr);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(static_cast<Byte*>(z)[i], 0);
  IEGlobalFree(z);
  EXPECT_GT(IEGetMemory(false), 0);
  EXPECT_GE(IEGetMemory(false), IEGetMemory(true));
}

// A whole image's block is in place once it is allocated: the rows a codec then writes cost
// next to no page faults (a 36 MB image taken page by page costs thousands).
TEST(IEStreams, LargeBlocksAreInPlaceWhenAllocated) {
  const size_t size = 36000000;
  for (int round = 0; round < 2; ++round) {
    void* p = IEAllocMem(size);
    ASSERT_NE(p, nullptr);
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    std::memset(p, 0x5A, size);
    getrusage(RUSAGE_SELF, &after);
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(after.ru_minflt - before.ru_minflt, 256) << "round " << round;
#endif
    EXPECT_EQ(static_cast<Byte*>(p)[size - 1], 0x5A);
    IEFreeMem(p);
  }
}

TEST(IEStreams, FileBufferMapsWithItsAccess) {
  std::string folder = testsupport::MakeTempDir("fbuf");
  IETempFolder = folder + "/";
  TIEFileBuffer fb;
  ASSERT_TRUE(fb.AllocateFile("T", 4096));
  Byte* w = static_cast<Byte*>(fb.Map(iedWrite, 100, 4));
  std::memcpy(w, "abcd", 4);
  fb.UnMap(w);
  Byte* r = static_cast<Byte*>(fb.Map(iedRead, 100, 4));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(r), 4), "abcd");
  r[0] = 'X';
  fb.UnMap(r);  // read-only: not written back
  Byte* again = static_cast<Byte*>(fb.Map(iedRead, 100, 4));
  EXPECT_EQ(again[0], 'a');
  EXPECT_EQ(fb.Map(iedRead, 4094, 4), nullptr);  // past the end of the file
  EXPECT_THROW(fb.UnMap(reinterpret_cast<void*>(16)), EListError);

  TIEFileBuffer copy;
  ASSERT_TRUE(copy.AllocateFile("T", 4096));
  fb.CopyTo(&copy, 4096, 0);
  Byte* c = static_cast<Byte*>(copy.Map(iedRead, 100, 4));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(c), 4), "abcd");
  // The free-space rule: a size beyond the disk is refused, never an exception.
  TIEFileBuffer huge;
  EXPECT_FALSE(huge.AllocateFile("T", Int64(1) << 60));
  IETempFolder.clear();
  testsupport::RemoveTree(folder);
}

TEST(IEDibAndWorkBitmap, GeometryAndRefusals) {
  TIEDibbitmap dib;
  EXPECT_FALSE(dib.Allocate(10, 10, ie8g));
  ASSERT_TRUE(dib.AllocateBits(33, 2, 1));
  EXPECT_EQ(dib.GetRowLen(), 8);
  EXPECT_EQ(dib.GetPixelFormat(), ie1g);
  EXPECT_FALSE(dib.AllocateBits(0, 5, 24));
  EXPECT_EQ(dib.GetWidth(), 33);  // the section stays
  EXPECT_EQ(static_cast<Byte*>(dib.GetScanline(0)) - dib.GetBits(), 8);
  static_cast<Byte*>(dib.GetScanline(1))[0] = 0x80;

  TIEBitmap b;
  b.Location = ieMemory;
  b.CopyFromTIEDibbitmap(&dib);
  EXPECT_EQ(b.GetPixelFormat(), ie1g);
  EXPECT_EQ(b.GetPixelByte(0, 1), 0x80);

  TIEWorkBitmap work(5, 4, 24);
  EXPECT_EQ(work.GetScanline(0), work.Bits + 3 * work.RowLen);
  Byte* bits = work.Bits;
  EXPECT_TRUE(work.Allocate(5, 4, 24));
  EXPECT_EQ(work.Bits, bits);
  TIEWorkBitmap none(0, 10, 24);
  EXPECT_EQ(none.Bits, nullptr);
}

}  // namespace
