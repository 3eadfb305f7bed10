// Rendering into 24-bit rows in every store: nearest-pixel scaling against ImageMagick's point
// filter, clipping, grey levels, contrast, blend operations, transparency and alpha, cached
// tables, the stretched copy with its alpha, and a failing source.
#include <gtest/gtest.h>

#include <fstream>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_blend.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_processing_services.h"
#include "platform/gui/bitmap.h"
#include "platform/rtl/exceptions.h"
#include "tests/imaging/core/ie_bitmap_test_util.h"
#include "tests/support/fixtures.h"

using namespace ietest;

namespace {

TRGB Pattern(Integer x, Integer y) { return IECreateRGB(Byte(x * 37 + y), Byte(y * 53), Byte(x ^ (y * 7))); }

void FillPattern(TIEBitmap& b, Integer W, Integer H) {
  b.Allocate(W, H, ie24RGB);
  for (Integer y = 0; y < H; ++y)
    for (Integer x = 0; x < W; ++x) b.SetPixelRGB(x, y, Pattern(x, y));
}

void FillSolid(TIEBitmap& b, Integer W, Integer H, TRGB Colour) {
  b.Allocate(W, H, ie24RGB);
  for (Integer y = 0; y < H; ++y)
    for (Integer x = 0; x < W; ++x) b.SetPixelRGB(x, y, Colour);
}

void WritePPM(TIEBitmap& b, const std::string& Path) {
  std::ofstream f(Path, std::ios::binary);
  f << "P6\n" << b.GetWidth() << " " << b.GetHeight() << "\n255\n";
  for (Integer y = 0; y < b.GetHeight(); ++y)
    for (Integer x = 0; x < b.GetWidth(); ++x) {
      const TRGB c = b.GetPixelRGB(x, y);
      const char px[3] = {char(c.r), char(c.g), char(c.b)};
      f.write(px, 3);
    }
}

std::vector<TRGB> ReadPPM(const std::string& Path, Integer& W, Integer& H) {
  std::ifstream f(Path, std::ios::binary);
  std::string magic;
  int maxv;
  f >> magic >> W >> H >> maxv;
  f.get();
  std::vector<TRGB> px(static_cast<size_t>(W) * H);
  for (TRGB& c : px) {
    unsigned char v[3];
    f.read(reinterpret_cast<char*>(v), 3);
    c = IECreateRGB(v[0], v[1], v[2]);
  }
  return px;
}

TEST(Render, WholeZoomsEqualImageMagickPointScalingInEveryStore) {
  const std::string dir = testsupport::MakeTempDir("render");
  TIEBitmap reference;
  FillPattern(reference, 13, 7);
  WritePPM(reference, dir + "/src.ppm");
  for (Integer zoom : {1, 2, 3}) {
    const std::string out = dir + "/z" + std::to_string(zoom) + ".ppm";
    testsupport::RunOk("convert " + dir + "/src.ppm -filter point -resize " + std::to_string(zoom * 100) + "% " + out);
    Integer w, h;
    const std::vector<TRGB> expected = ReadPPM(out, w, h);
    for (Store store : {Store::Block, Store::Fragments, Store::File, Store::TBitmap}) {
      StoreScope scope(store);
      TIEBitmap source, dest;
      scope.Prepare(source);
      scope.Prepare(dest);
      FillPattern(source, 13, 7);
      dest.Allocate(w, h, ie24RGB);
      source.DrawToTIEBitmap(&dest, 0, 0, w, h, 0, 0, 13, 7, 255, rfNone, 0);
      Integer wrong = 0;
      for (Integer y = 0; y < h; ++y)
        for (Integer x = 0; x < w; ++x) wrong += !(dest.GetPixelRGB(x, y) == expected[y * w + x]);
      EXPECT_EQ(wrong, 0) << "zoom " << zoom << " store " << StoreName(store);
    }
  }
  testsupport::RemoveTree(dir);
}

TEST(Render, FractionalZoomsTakeTheLeftEdgeOfEachDestinationPixel) {
  // 13 -> 5 and 7 -> 18: destination pixel c shows source pixel Trunc(c x source / dest), the
  // table rule ImageMagick's centred point filter does not share.
  const std::string table = testsupport::RunOk(
      "python3 -c \"print(' '.join(str(int(c*13/5)) for c in range(5)), '|', ' '.join(str(int(r*7/18)) for r in range(18)))\"");
  TIEBitmap source, dest;
  FillPattern(source, 13, 7);
  dest.Allocate(5, 18, ie24RGB);
  source.DrawToTIEBitmap(&dest, 0, 0, 5, 18, 0, 0, 13, 7, 255, rfNone, 0);
  std::string ours;
  for (Integer c = 0; c < 5; ++c)
    for (Integer x = 0; x < 13; ++x)
      if (dest.GetPixelRGB(c, 0) == Pattern(x, 0)) ours += (ours.empty() || ours.back() == ' ' ? "" : " ") + std::to_string(x) + " ";
  ours += "|";
  for (Integer r = 0; r < 18; ++r)
    for (Integer y = 0; y < 7; ++y)
      if (dest.GetPixelRGB(0, r) == Pattern(0, y)) ours += " " + std::to_string(y);
  EXPECT_EQ(ours + "\n", table);
}

TEST(Render, ClippingAndDegenerateRectangles) {
  TIEBitmap source, dest;
  FillPattern(source, 20, 10);
  FillSolid(dest, 20, 10, TRGB{1, 2, 3});
  source.DrawToTIEBitmap(&dest, 0, 0, 0, 10, 0, 0, 20, 10, 255, rfNone, 0);
  source.DrawToTIEBitmap(&dest, 0, 0, 20, 10, 0, 0, 20, 0, 255, rfNone, 0);
  source.DrawToTIEBitmap(&dest, 25, 0, 20, 10, 0, 0, 20, 10, 255, rfNone, 0);
  EXPECT_EQ(dest.GetPixelRGB(0, 0), (TRGB{1, 2, 3}));
  // Left of the destination: the source shows from column 10 at column 0.
  source.DrawToTIEBitmap(&dest, -10, 0, 20, 10, 0, 0, 20, 10, 255, rfNone, 0);
  EXPECT_EQ(dest.GetPixelRGB(0, 3), Pattern(10, 3));
  EXPECT_EQ(dest.GetPixelRGB(9, 3), Pattern(19, 3));
  EXPECT_EQ(dest.GetPixelRGB(10, 3), (TRGB{1, 2, 3}));
  // A clip rectangle limits what is written, right and bottom inclusive.
  FillSolid(dest, 20, 10, TRGB{1, 2, 3});
  const TRect clip{2, 2, 4, 3};
  source.RenderToTIEBitmap(&dest, nullptr, &clip, 0, 0, 20, 10, 0, 0, 20, 10, false, false, 255, rfNone, true, 4);
  Integer written = 0;
  for (Integer y = 0; y < 10; ++y)
    for (Integer x = 0; x < 20; ++x) written += !(dest.GetPixelRGB(x, y) == TRGB{1, 2, 3});
  EXPECT_EQ(written, 6);
  // A source rectangle reaching past the source is held inside it.
  source.DrawToTIEBitmap(&dest, 0, 0, 20, 10, 15, 5, 20, 10, 255, rfNone, 0);
}

TEST(Render, GreyLevelsContrastAndBlendOperations) {
  TIEBitmap grey, dest;
  grey.Allocate(256, 1, ie8g);
  for (Integer x = 0; x < 256; ++x) static_cast<Byte*>(grey.GetScanline(0))[x] = static_cast<Byte>(x);
  dest.Allocate(256, 1, ie24RGB);
  grey.BlackLevel = 50;
  grey.WhiteLevel = 100;
  grey.DrawToTIEBitmap(&dest, 0, 0, 256, 1, 0, 0, 256, 1, 255, rfNone, 0);
  EXPECT_EQ(dest.GetPixelRGB(20, 0), (TRGB{0, 0, 0}));
  EXPECT_EQ(dest.GetPixelRGB(50, 0), (TRGB{0, 0, 0}));
  EXPECT_EQ(dest.GetPixelRGB(75, 0), (TRGB{127, 127, 127}));
  EXPECT_EQ(dest.GetPixelRGB(100, 0), (TRGB{255, 255, 255}));
  EXPECT_EQ(dest.GetPixelRGB(200, 0), (TRGB{255, 255, 255}));
  grey.BlackLevel = grey.WhiteLevel = 0;
  grey.DrawToTIEBitmap(&dest, 0, 0, 256, 1, 0, 0, 256, 1, 255, rfNone, 0);
  EXPECT_EQ(dest.GetPixelRGB(75, 0), (TRGB{75, 75, 75}));
  TIEBitmap deep;
  deep.Allocate(1, 1, ie16g);
  deep.SetPixelWord(0, 0, 0xAB12);
  deep.DrawToTIEBitmap(&dest, 0, 0, 1, 1, 0, 0, 1, 1, 255, rfNone, 0);
  EXPECT_EQ(dest.GetPixelRGB(0, 0), (TRGB{0xAB, 0xAB, 0xAB}));

  TIEBitmap colour;
  FillSolid(colour, 1, 1, IECreateRGB(138, 118, 128));
  colour.Contrast = 10;  // factor 2
  colour.DrawToTIEBitmap(&dest, 0, 0, 1, 1, 0, 0, 1, 1, 255, rfNone, 0);
  EXPECT_EQ(dest.GetPixelRGB(0, 0), IECreateRGB(148, 108, 128));
  colour.Contrast = -100;  // factor 0
  colour.DrawToTIEBitmap(&dest, 0, 0, 1, 1, 0, 0, 1, 1, 255, rfNone, 0);
  EXPECT_EQ(dest.GetPixelRGB(0, 0), IECreateRGB(128, 128, 128));

  // A blend operation combines with what the destination holds.
  colour.Contrast = 0;
  FillSolid(colour, 1, 1, IECreateRGB(128, 0, 255));
  dest.SetPixelRGB(0, 0, IECreateRGB(127, 0, 255));
  colour.DrawToTIEBitmap(&dest, 0, 0, 1, 1, 0, 0, 1, 1, 255, rfNone, 12);
  TRGB expected = IECreateRGB(127, 0, 255);
  IEBlendRGB(IECreateRGB(128, 0, 255), expected, 12);
  EXPECT_EQ(dest.GetPixelRGB(0, 0), expected);
  EXPECT_EQ(expected.r, 255);
}

TEST(Render, TransparencyAlphaAndCachedTablesInEveryStore) {
  for (Store store : {Store::Block, Store::Fragments, Store::File, Store::TBitmap}) {
    SCOPED_TRACE(StoreName(store));
    StoreScope scope(store);
    TIEBitmap white, dest;
    scope.Prepare(white);
    scope.Prepare(dest);
    FillSolid(white, 4, 4, TRGB{255, 255, 255});
    FillSolid(dest, 4, 4, TRGB{0, 0, 0});
    white.DrawToTIEBitmap(&dest, 0, 0, 4, 4, 0, 0, 4, 4, 128, rfNone, 0);
    EXPECT_EQ(dest.GetPixelRGB(1, 1), (TRGB{127, 127, 127}));

    // A partial alpha channel weighs each pixel; a full weight gives the colour exactly.
    TIEBitmap* alpha = white.GetAlphaChannel();
    alpha->Fill(255);
    alpha->SetPixelByte(2, 2, 64);
    alpha->Full = false;
    FillSolid(dest, 4, 4, TRGB{0, 0, 0});
    white.DrawToTIEBitmap(&dest, 0, 0, 4, 4, 0, 0, 4, 4, 255, rfNone, 0);
    EXPECT_EQ(dest.GetPixelRGB(1, 1), (TRGB{255, 255, 255}));
    EXPECT_EQ(dest.GetPixelRGB(2, 2), (TRGB{63, 63, 63}));
    // Transparency limits the alpha.
    FillSolid(dest, 4, 4, TRGB{0, 0, 0});
    white.DrawToTIEBitmap(&dest, 0, 0, 4, 4, 0, 0, 4, 4, 32, rfNone, 0);
    EXPECT_EQ(dest.GetPixelRGB(1, 1), (TRGB{31, 31, 31}));
    // With UseAlpha off the alpha is not looked at.
    FillSolid(dest, 4, 4, TRGB{0, 0, 0});
    white.RenderToTIEBitmap(&dest, nullptr, nullptr, 0, 0, 4, 4, 0, 0, 4, 4, false, false, 255, rfNone, true, 0);
    EXPECT_EQ(dest.GetPixelRGB(2, 2), (TRGB{255, 255, 255}));

    // Tables kept by the caller are handed back and serve a second call.
    TIEBitmap pattern;
    scope.Prepare(pattern);
    FillPattern(pattern, 6, 3);
    TIEBitmap big, again;
    scope.Prepare(big);
    scope.Prepare(again);
    big.Allocate(12, 9, ie24RGB);
    again.Allocate(12, 9, ie24RGB);
    TIERenderTables tables;
    pattern.RenderToTIEBitmap(&big, &tables, nullptr, 0, 0, 12, 9, 0, 0, 6, 3, true, true, 255, rfNone, false, 0);
    EXPECT_TRUE(tables.HasX && tables.HasY);
    EXPECT_EQ(tables.XTable.size(), 12u);
    EXPECT_EQ(tables.YTable.size(), 9u);
    pattern.RenderToTIEBitmap(&again, &tables, nullptr, 0, 0, 12, 9, 0, 0, 6, 3, true, true, 255, rfNone, false, 0);
    for (Integer y = 0; y < 9; ++y)
      for (Integer x = 0; x < 12; ++x) {
        ASSERT_EQ(big.GetPixelRGB(x, y), Pattern(x / 2, y / 3)) << x << "," << y;
        ASSERT_EQ(again.GetPixelRGB(x, y), big.GetPixelRGB(x, y));
      }
  }
}

TEST(Render, IntoAFrameworkBitmap) {
  TIEBitmap source;
  FillPattern(source, 3, 2);
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf24bit);
  bitmap.SetSize(6, 4);
  source.DrawToTBitmap(&bitmap, 0, 0, 6, 4, 0, 0, 3, 2, 255, rfNone, 0);
  const TRGB c = Pattern(2, 1);
  EXPECT_EQ(bitmap.PixelColor(5, 3), TColor(c.r) | TColor(c.g) << 8 | TColor(c.b) << 16);
}

TEST(Render, StretchedCopyWithAlpha) {
  TIEBitmap source, dest;
  FillPattern(source, 4, 4);
  dest.Allocate(8, 8, ie24RGB);
  source.StretchRectTo(&dest, 0, 0, 8, 8, 0, 0, 4, 4, rfNone, 200);
  EXPECT_EQ(dest.GetPixelRGB(7, 7), Pattern(3, 3));
  ASSERT_TRUE(dest.HasAlphaChannel());
  EXPECT_EQ(dest.GetAlphaChannel()->GetPixelByte(5, 5), 200);

  TIEBitmap* alpha = source.GetAlphaChannel();
  alpha->Fill(255);
  alpha->SetPixelByte(0, 0, 90);
  alpha->Full = false;
  source.StretchRectTo(&dest, 0, 0, 8, 8, 0, 0, 4, 4, rfNone, 200);
  EXPECT_EQ(dest.GetAlphaChannel()->GetPixelByte(1, 1), 90);
  EXPECT_EQ(dest.GetAlphaChannel()->GetPixelByte(5, 5), 200);

  TIEBitmap bw;
  bw.Allocate(8, 1, ie1g);
  static_cast<Byte*>(bw.GetScanline(0))[0] = 0xA0;
  bw.StretchRectTo(&dest, 0, 0, 8, 1, 0, 0, 8, 1, rfNone, 255);
  EXPECT_EQ(dest.GetPixelRGB(0, 0), (TRGB{255, 255, 255}));
  EXPECT_EQ(dest.GetPixelRGB(1, 0), (TRGB{0, 0, 0}));
  // A source rectangle past the source's edge reads only inside it.
  source.StretchRectTo(&dest, 0, 0, 8, 8, 2, 2, 40, 40, rfNone, 255);
  EXPECT_EQ(dest.GetPixelRGB(7, 7), Pattern(3, 3));
}

class FailingSource : public TIEBitmap {
 public:
  void* GetScanline(Integer Row) override {
    if (Row == 2) throw EReadError("the picture's row 2 cannot be read");
    return TIEBitmap::GetScanline(Row);
  }
};

TEST(Render, ARowThatCannotBeReadIsReportedAndAccessIsRestored) {
  FailingSource source;
  source.Allocate(4, 4, ie24RGB);
  TIEBitmap dest;
  dest.Allocate(8, 8, ie24RGB);
  const TIEDataAccess before = source.Access;
  EXPECT_THROW(source.DrawToTIEBitmap(&dest, 0, 0, 8, 8, 0, 0, 4, 4, 255, rfNone, 0), EReadError);
  EXPECT_EQ(source.Access, before);
}

}  // namespace

namespace {

// Stand-ins for the processing layer's resamplers: each records its call and scales by the
// nearest pixel, so the pre-pass's hand-over can be checked on its own.
struct ServiceCalls {
  int Filtered = 0, Gray8 = 0;
  Integer LastWidth = 0, LastHeight = 0;
} calls;

void NearestInto(TIEBitmap* Source, TIEBaseBitmap* Dest, TResampleFilter) {
  ++calls.Filtered;
  calls.LastWidth = Dest->GetWidth();
  calls.LastHeight = Dest->GetHeight();
  for (Integer y = 0; y < Dest->GetHeight(); ++y)
    for (Integer x = 0; x < Dest->GetWidth(); ++x)
      static_cast<TRGB*>(Dest->GetScanline(y))[x] =
          Source->GetPixelRGB(x * Source->GetWidth() / Dest->GetWidth(), y * Source->GetHeight() / Dest->GetHeight());
}
void Gray8Into(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter) {
  ++calls.Gray8;
  for (Integer y = 0; y < Dest->GetHeight(); ++y)
    for (Integer x = 0; x < Dest->GetWidth(); ++x)
      Dest->SetPixelByte(x, y, Source->GetPixelByte(x * Source->GetWidth() / Dest->GetWidth(), y * Source->GetHeight() / Dest->GetHeight()));
}
void Unused(TIEBitmap*, TIEBitmap*, TResampleFilter) {}
void UnusedShrink(TIEBitmap*, Integer, Integer, TIEBitmap*, Integer, Integer) {}

TEST(Render, AFilterResamplesTheSourceRectangleThroughTheProcessingLayer) {
  const TIEProcessingServices saved = IEProcessingServices;
  IEProcessingServices.ResampleFiltered = NearestInto;
  IEProcessingServices.ResampleGray8 = Gray8Into;
  IEProcessingServices.ResampleBW = Unused;
  IEProcessingServices.ShrinkBWRect = UnusedShrink;
  calls = ServiceCalls{};
  TIEBitmap source, dest;
  FillPattern(source, 10, 10);
  TIEBitmap* alpha = source.GetAlphaChannel();
  alpha->Fill(255);
  alpha->Full = false;
  FillSolid(dest, 20, 20, TRGB{0, 0, 0});
  // The rectangle (2, 2)-(5, 5) enlarged to 8 x 8 at (4, 4).
  source.DrawToTIEBitmap(&dest, 4, 4, 8, 8, 2, 2, 4, 4, 255, rfLanczos3, 0);
  IEProcessingServices = saved;
  EXPECT_EQ(calls.Filtered, 1);
  EXPECT_EQ(calls.Gray8, 1);
  EXPECT_EQ(calls.LastWidth, 8);
  EXPECT_EQ(calls.LastHeight, 8);
  EXPECT_EQ(dest.GetPixelRGB(4, 4), Pattern(2, 2));
  EXPECT_EQ(dest.GetPixelRGB(11, 11), Pattern(5, 5));
  EXPECT_EQ(dest.GetPixelRGB(3, 3), (TRGB{0, 0, 0}));
  EXPECT_EQ(dest.GetPixelRGB(12, 12), (TRGB{0, 0, 0}));
  // Without the processing layer the same call scales by the nearest pixel. Other tests may
  // have registered the real layer already, so it is taken away for this call.
  IEProcessingServices = TIEProcessingServices{};
  FillSolid(dest, 20, 20, TRGB{0, 0, 0});
  source.DrawToTIEBitmap(&dest, 4, 4, 8, 8, 2, 2, 4, 4, 255, rfLanczos3, 0);
  IEProcessingServices = saved;
  EXPECT_EQ(dest.GetPixelRGB(5, 5), Pattern(2, 2));
}

}  // namespace
