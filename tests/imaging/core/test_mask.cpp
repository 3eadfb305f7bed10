// The selection mask: storage, pixel and span writes with their box and full-flag rules,
// polygon fills, moving, copying through the mask in every store, and drawing for the view.
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <unistd.h>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_mask.h"
#include "platform/gui/bitmap.h"
#include "platform/gui/canvas.h"
#include "platform/rtl/streams.h"
#include "tests/imaging/core/ie_bitmap_test_util.h"

using namespace ietest;

namespace {

struct Box { Integer X1, Y1, X2, Y2; bool operator==(const Box&) const = default; };
Box BoxOf(const TIEMask& m) { return Box{m.X1, m.Y1, m.X2, m.Y2}; }
std::ostream& operator<<(std::ostream& o, const Box& b) { return o << b.X1 << "," << b.Y1 << "-" << b.X2 << "," << b.Y2; }
const Box EmptyBox{TIEMask::EmptyCorner, TIEMask::EmptyCorner, 0, 0};

Integer CountSet(const TIEMask& m) {
  Integer n = 0;
  for (Integer y = 0; y < m.Height; ++y)
    for (Integer x = 0; x < m.Width; ++x) n += m.GetPixel(x, y) != 0;
  return n;
}

TEST(Mask, AllocationRowsAndPixels) {
  TIEMask m;
  EXPECT_TRUE(m.IsEmpty());
  EXPECT_EQ(m.GetPixel(0, 0), 0);
  struct Row { Integer W, H, Bpp, RowLen; };
  for (Row r : {Row{10, 3, 1, 4}, Row{10, 3, 8, 12}, Row{33, 1, 1, 8}, Row{0, 5, 8, 0}}) {
    m.AllocateBits(r.W, r.H, r.Bpp);
    EXPECT_EQ(m.RowLen, r.RowLen) << r.W << "x" << r.H << "x" << r.Bpp;
  }
  EXPECT_ANY_THROW(m.AllocateBits(10, 3, 4));
  EXPECT_ANY_THROW(m.AllocateBits(-1, 3, 8));

  m.AllocateBits(10, 3, 8);
  m.SetPixel(5, 2, 255);
  EXPECT_EQ(BoxOf(m), (Box{5, 2, 5, 2}));
  // Rows are stored bottom-up: image row 2 is the first stored row.
  EXPECT_EQ(m.GetScanline(2)[5], 255);
  m.SetPixel(5, 2, 0);
  EXPECT_EQ(BoxOf(m), (Box{5, 2, 5, 2}));
  m.SetPixel(-1, 0, 9);
  m.SetPixel(10, 0, 9);
  EXPECT_EQ(CountSet(m), 0);

  m.AllocateBits(10, 3, 1);
  m.Clear();
  EXPECT_FALSE(m.Full);
  m.Fill(255);
  EXPECT_TRUE(m.Full);
  m.SetPixel(0, 0, 0);
  EXPECT_FALSE(m.Full);
  m.SyncFull();
  EXPECT_FALSE(m.Full);
  m.SetPixel(0, 0, 1);
  m.SyncFull();
  EXPECT_TRUE(m.Full);  // the padding bits of each row are not looked at
  m.Clear();
  m.SetPixel(3, 1, 1);
  m.SetPixel(7, 2, 1);
  m.X1 = TIEMask::EmptyCorner;
  m.SyncRect();
  EXPECT_EQ(BoxOf(m), (Box{3, 1, 7, 2}));
}

TEST(Mask, SpansWriteOnlyRowsInsideAndAnyNonZeroValueSelects) {
  TIEMask m;
  m.AllocateBits(10, 3, 1);
  EXPECT_EQ(m.FillSpan(1, -5, 100, 1), 10);
  EXPECT_EQ(CountSet(m), 10);
  // Any non-zero value selects a pixel of a 1-bit mask, as SetPixel has it.
  m.Clear();
  EXPECT_EQ(m.FillSpan(255, 0, 9, 1), 10);
  EXPECT_EQ(CountSet(m), 10);
  EXPECT_EQ(m.FillSpan(0, 2, 4, 1), 3);
  EXPECT_EQ(CountSet(m), 7);
  // A row outside the mask is not folded onto the edge row.
  m.Clear();
  EXPECT_EQ(m.FillSpan(1, 0, 9, -1), 0);
  EXPECT_EQ(m.FillSpan(1, 0, 9, 3), 0);
  EXPECT_EQ(m.FillSpan(1, 6, 5, 0), 0);
  EXPECT_EQ(CountSet(m), 0);
  // A full mask stays full only while what is written is fully set.
  m.Fill(255);
  m.FillSpan(7, 0, 3, 0);
  EXPECT_TRUE(m.Full);
  m.FillSpan(0, 0, 0, 0);
  EXPECT_FALSE(m.Full);
  TIEMask g;
  g.AllocateBits(4, 1, 8);
  g.Fill(255);
  g.FillSpan(254, 0, 0, 0);
  EXPECT_FALSE(g.Full);
}

TEST(Mask, PolygonFills) {
  TIEMask m;
  m.AllocateBits(20, 12, 8);
  const TPoint square[] = {{2, 2}, {6, 2}, {6, 6}, {2, 6}};
  m.FillPolygon(255, square, 4);
  EXPECT_EQ(CountSet(m), 16);
  EXPECT_EQ(BoxOf(m), (Box{2, 2, 5, 5}));
  for (Integer y = 2; y <= 5; ++y)
    for (Integer x = 2; x <= 5; ++x) EXPECT_EQ(m.GetPixel(x, y), 255);

  // A triangle and a square in one list; a trailing separator hands an empty last run over,
  // which must not empty the box of what the list filled.
  m.AllocateBits(20, 12, 1);
  const TPoint list[] = {{0, 0}, {4, 0}, {0, 4}, {TIEMask::PolygonSeparator, 0}, {10, 5}, {14, 5}, {14, 9},
                         {10, 9}, {TIEMask::PolygonSeparator, 0}};
  m.FillPolygons(1, list, 9);
  EXPECT_EQ(m.GetPixel(0, 0), 1);
  EXPECT_EQ(m.GetPixel(3, 0), 1);
  EXPECT_EQ(m.GetPixel(3, 3), 0);
  EXPECT_EQ(m.GetPixel(12, 7), 1);
  EXPECT_EQ(CountSet(m), 10 + 16);
  EXPECT_EQ(BoxOf(m), (Box{0, 0, 13, 8}));

  // A polygon that covers no pixel leaves the box as it was.
  const TPoint outside[] = {{30, 30}, {40, 30}, {40, 40}};
  m.FillPolygon(1, outside, 3);
  EXPECT_EQ(BoxOf(m), (Box{0, 0, 13, 8}));
  TIEMask fresh;
  fresh.AllocateBits(20, 12, 1);
  fresh.FillPolygon(1, outside, 3);
  fresh.FillPolygon(1, nullptr, 0);
  EXPECT_EQ(BoxOf(fresh), EmptyBox);

  // Coordinates far outside the mask are clipped without walking every row between.
  const TPoint huge[] = {{-1000000000, -1000000000}, {1000000000, -1000000000}, {1000000000, 1000000000},
                         {-1000000000, 1000000000}};
  const auto start = std::chrono::steady_clock::now();
  fresh.FillPolygon(1, huge, 4);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(CountSet(fresh), 20 * 12);
}

TEST(Mask, TranslateLimitsOrClipsTheMove) {
  for (Integer bpp : {1, 8}) {
    TIEMask m;
    m.AllocateBits(10, 4, bpp);
    m.SetPixel(8, 0, 1);
    m.SetPixel(9, 0, 1);
    Integer dx = 3, dy = 0;
    m.Translate(dx, dy, false);
    EXPECT_EQ(dx, 0) << bpp;
    EXPECT_EQ(CountSet(m), 2) << bpp;

    dx = 3;
    m.Translate(dx, dy, true);
    EXPECT_EQ(CountSet(m), 0) << bpp;

    m.Clear();
    m.SetPixel(1, 1, 1);
    m.SetPixel(3, 2, 1);
    dx = 2;
    dy = 1;
    m.Translate(dx, dy, false);
    EXPECT_EQ(CountSet(m), 2) << bpp;
    EXPECT_NE(m.GetPixel(3, 2), 0) << bpp;
    EXPECT_NE(m.GetPixel(5, 3), 0) << bpp;
    EXPECT_EQ(BoxOf(m), (Box{3, 2, 5, 3})) << bpp;
  }
  TIEMask m;
  m.AllocateBits(10, 4, 8);
  m.SetPixel(9, 3, 200);
  m.Resize(5, 2);
  EXPECT_EQ(BoxOf(m), (Box{4, 1, 4, 1}));
  // A mask without columns has no rows to carry over (under `make asan` a copy from its empty
  // store is caught as a null pointer handed to memcpy).
  for (Integer bpp : {1, 8}) {
    TIEMask thin;
    thin.AllocateBits(0, 3, bpp);
    thin.Resize(6, 2);
    EXPECT_EQ(thin.Width, 6);
    EXPECT_EQ(thin.Height, 2);
    EXPECT_EQ(CountSet(thin), 0);
    EXPECT_TRUE(thin.IsEmpty());
  }
}

TEST(Mask, CopyThroughMaskInEveryStore) {
  for (Store store : {Store::Block, Store::Fragments, Store::File, Store::TBitmap}) {
    SCOPED_TRACE(StoreName(store));
    StoreScope scope(store);
    TIEBitmap dest, source;
    scope.Prepare(dest);
    scope.Prepare(source);
    dest.Allocate(8, 4, ie24RGB);
    source.Allocate(8, 4, ie24RGB);
    for (Integer y = 0; y < 4; ++y)
      for (Integer x = 0; x < 8; ++x) {
        dest.SetPixelRGB(x, y, TRGB{0, 0, 0});
        source.SetPixelRGB(x, y, TRGB{200, 100, 255});
      }
    TIEMask m;
    m.AllocateBits(8, 4, 8);
    m.SetPixel(1, 1, 128);
    m.SetPixel(2, 1, 255);
    m.CopyBitmapThroughMask(&dest, &source, false, false, true);
    EXPECT_EQ(dest.GetPixelRGB(1, 1), (TRGB{100, 50, 127}));
    // A fully set weight gives the source exactly.
    EXPECT_EQ(dest.GetPixelRGB(2, 1), (TRGB{200, 100, 255}));
    EXPECT_EQ(dest.GetPixelRGB(0, 1), (TRGB{0, 0, 0}));
    // Without a source alpha channel the source counts as opaque, limited by the weight.
    ASSERT_TRUE(dest.HasAlphaChannel());
    EXPECT_EQ(dest.GetAlphaChannel()->GetPixelByte(1, 1), 128);
    EXPECT_EQ(dest.GetAlphaChannel()->GetPixelByte(2, 1), 255);

    // A 1-bit mask between 1-bit images, the source held at the box's corner.
    TIEBitmap bw, patch;
    scope.Prepare(bw);
    scope.Prepare(patch);
    bw.Allocate(16, 2, ie1g);
    for (Integer y = 0; y < 2; ++y) std::memset(bw.GetScanline(y), 0, 2);
    patch.Allocate(2, 1, ie1g);
    static_cast<Byte*>(patch.GetScanline(0))[0] = 0xC0;
    TIEMask one;
    one.AllocateBits(16, 2, 1);
    one.SetPixel(9, 1, 1);
    one.SetPixel(10, 1, 1);
    one.CopyBitmapThroughMask(&bw, &patch, false, true, false);
    EXPECT_EQ(static_cast<Byte*>(bw.GetScanline(1))[1], 0x60);
    EXPECT_EQ(static_cast<Byte*>(bw.GetScanline(0))[1], 0x00);
  }
  // A mask larger than both bitmaps never reaches outside them.
  TIEBitmap small, other;
  small.Allocate(2, 2, ie8g);
  other.Allocate(2, 2, ie8g);
  TIEMask big;
  big.AllocateBits(50, 50, 1);
  big.Fill(255);
  big.X1 = big.Y1 = 0;
  big.X2 = big.Y2 = 49;
  big.CopyBitmapThroughMask(&small, &other, true, false, true);
  big.CopyBitmapThroughMask(&small, &other, false, true, true);
}

TEST(Mask, DrawingInvertsOutlinesAndDims) {
  TIEMask m;
  m.AllocateBits(8, 8, 1);
  const TPoint square[] = {{2, 2}, {6, 2}, {6, 6}, {2, 6}};
  m.FillPolygon(1, square, 4);

  TBitmap canvas;
  canvas.SetPixelFormat(pf24bit);
  canvas.SetSize(16, 16);
  canvas.Canvas()->Brush()->SetColor(0x00204080);
  canvas.Canvas()->FillRect(TRect{0, 0, 16, 16});
  // Twice the size: every selected pixel becomes a 2 x 2 block of inverted colour.
  m.DrawToCanvas(canvas.Canvas(), 0, 0, 16, 16, 0, 0, 8, 8);
  EXPECT_EQ(canvas.Canvas()->GetPixel(4, 4), 0x00DFBF7Fu);
  EXPECT_EQ(canvas.Canvas()->GetPixel(11, 11), 0x00DFBF7Fu);
  EXPECT_EQ(canvas.Canvas()->GetPixel(3, 3), 0x00204080u);
  EXPECT_EQ(canvas.Canvas()->GetPixel(12, 12), 0x00204080u);
  m.DrawToCanvas(canvas.Canvas(), 0, 0, 16, 16, 0, 0, 8, 8);
  EXPECT_EQ(canvas.Canvas()->GetPixel(4, 4), 0x00204080u);

  TBitmap outline;
  outline.SetPixelFormat(pf24bit);
  outline.SetSize(8, 8);
  outline.Canvas()->Brush()->SetColor(0);
  outline.Canvas()->FillRect(TRect{0, 0, 8, 8});
  m.DrawBorder(outline.Canvas(), 0, 0, 8, 8, 0, 0, 8, 8, 0, 0x0000FF, 0x00FF00);
  // The ring of the square is drawn, its inside is not; the dash colour follows (x + y) & 7.
  EXPECT_EQ(outline.Canvas()->GetPixel(2, 2), 0x0000FFu);  // 4 & 7 = 4: Color1
  EXPECT_EQ(outline.Canvas()->GetPixel(3, 2), 0x0000FFu);
  EXPECT_EQ(outline.Canvas()->GetPixel(2, 5), 0x0000FFu);  // 7
  EXPECT_EQ(outline.Canvas()->GetPixel(5, 5), 0x00FF00u);  // 10 & 7 = 2: Color2
  EXPECT_EQ(outline.Canvas()->GetPixel(3, 3), 0u);
  EXPECT_EQ(outline.Canvas()->GetPixel(1, 1), 0u);

  TBitmap dim;
  dim.SetPixelFormat(pf24bit);
  dim.SetSize(8, 8);
  dim.Canvas()->Brush()->SetColor(0x00FFFFFF);
  dim.Canvas()->FillRect(TRect{0, 0, 8, 8});
  m.DimOutside(&dim, 0, 0, 8, 8, 0, 0, 8, 8);
  EXPECT_EQ(dim.Canvas()->GetPixel(0, 0), 0x00616161u);
  EXPECT_EQ(dim.Canvas()->GetPixel(1, 0), 0x00FFFFFFu);
  EXPECT_EQ(dim.Canvas()->GetPixel(2, 2), 0x00FFFFFFu);
  EXPECT_EQ(dim.Canvas()->GetPixel(7, 7), 0x00616161u);
}

class LimitedStream : public TStream {
 public:
  Integer Accept = 0;
  Integer Read(void*, Integer) override { return 0; }
  Integer Write(const void*, Integer Count) override { return Count < Accept ? Count : Accept; }
  Int64 Seek(Int64, TSeekOrigin) override { return 0; }
};

TEST(Mask, SafeStreamWriteRaisesTheAbortFlagOnAShortWrite) {
  LimitedStream s;
  bool aborting = false;
  const char data[8] = {};
  s.Accept = 8;
  IESafeStreamWrite(&s, aborting, data, 8);
  EXPECT_FALSE(aborting);
  s.Accept = 0;
  IESafeStreamWrite(&s, aborting, data, 8);
  EXPECT_TRUE(aborting);
  s.Accept = 8;
  IESafeStreamWrite(&s, aborting, data, 8);
  EXPECT_TRUE(aborting);
  // A full disk behaves the same.
  const int fd = open("/dev/full", O_WRONLY);
  ASSERT_GE(fd, 0);
  THandleStream full(fd);
  bool diskFull = false;
  IESafeStreamWrite(&full, diskFull, data, 8);
  EXPECT_TRUE(diskFull);
  close(fd);
}

}  // namespace
