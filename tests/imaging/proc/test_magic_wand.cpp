#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_mask.h"
#include "imaging/proc/ie_magic_wand.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/support/fixtures.h"

namespace {

using ietest::TPam;

void LoadRGB(TIEBitmap& B, const TPam& Pam) {
  B.Allocate(Pam.Width, Pam.Height, ie24RGB);
  for (Integer y = 0; y < Pam.Height; ++y)
    for (Integer x = 0; x < Pam.Width; ++x)
      B.SetPixelRGB(x, y, IECreateRGB(Byte(Pam.At8(x, y, 0)), Byte(Pam.At8(x, y, 1)), Byte(Pam.At8(x, y, 2))));
}

std::vector<Byte> MaskBytes(const TIEMask& M) {
  std::vector<Byte> out;
  for (Integer y = 0; y < M.Height; ++y)
    for (Integer x = 0; x < M.Width; ++x) out.push_back(M.GetPixel(x, y) ? 1 : 0);
  return out;
}

std::vector<Byte> PamBytes(const TPam& P) {
  std::vector<Byte> out;
  for (Integer y = 0; y < P.Height; ++y)
    for (Integer x = 0; x < P.Width; ++x) out.push_back(P.At(x, y, 0) ? 1 : 0);
  return out;
}

struct TWandCase {
  Integer X, Y, Tolerance;
  bool MaxFilter;
  const char* Mode;
};

// Irregular colour fields with holes and thin necks, the same on every run.
std::string PlasmaFixture() {
  return testsupport::Fixture("wand-plasma.ppm", "convert -size 90x70 -seed 7 plasma:fractal -blur 0x2 -depth 8 ppm:{out}");
}

TEST(MagicWand, RegionsAndColoursMatchAnIndependentFloodFill) {
  const std::string image = PlasmaFixture();
  TIEBitmap b;
  LoadRGB(b, ietest::ReadPamFile(image));
  const std::string dir = testsupport::MakeTempDir("wand");
  const TWandCase cases[] = {{10, 10, 15, false, "region"}, {60, 40, 25, false, "region"}, {45, 5, 8, true, "region"},
                             {89, 69, 30, true, "region"},  {0, 0, 0, false, "region"},   {30, 50, 20, false, "color"},
                             {70, 20, 12, false, "color"}};
  for (const TWandCase& c : cases) {
    SCOPED_TRACE(std::string(c.Mode) + " at " + std::to_string(c.X) + "," + std::to_string(c.Y));
    const std::string out = dir + "/ref.pgm";
    testsupport::RunOk("python3 " CLAVORNE_SOURCE_DIR "/tests/imaging/proc/magic_wand_reference.py " + image + " " +
                       std::to_string(c.X) + " " + std::to_string(c.Y) + " " + std::to_string(c.Tolerance) + " " +
                       c.Mode + " " + (c.MaxFilter ? "1" : "0") + " " + out);
    const TPam ref = ietest::ReadPamFile(out);
    TIEMask mask;
    mask.AllocateBits(b.GetWidth(), b.GetHeight(), 8);
    if (std::string(c.Mode) == "region")
      IEMagicWandRegion(&b, c.X, c.Y, c.MaxFilter, c.Tolerance, &mask, 200);
    else
      IEMagicWandColor(&b, c.X, c.Y, c.Tolerance, &mask, 200);
    EXPECT_EQ(MaskBytes(mask), PamBytes(ref));
    EXPECT_EQ(mask.GetPixel(c.X, c.Y), 200);
    // The box the mask keeps is the selected pixels' own.
    TIEMask synced = mask;
    synced.SyncRect();
    EXPECT_EQ((std::vector<Integer>{mask.X1, mask.Y1, mask.X2, mask.Y2}),
              (std::vector<Integer>{synced.X1, synced.Y1, synced.X2, synced.Y2}));
  }
  testsupport::RemoveTree(dir);
}

// A grey field with a rectangle, a single pixel and two squares that meet only at a corner.
void DrawShapes(TIEBitmap& B) {
  B.Allocate(40, 30, ie24RGB);
  B.Fill(0x808080);
  for (Integer y = 3; y <= 9; ++y)
    for (Integer x = 4; x <= 14; ++x) B.SetPixelRGB(x, y, IECreateRGB(255, 0, 0));
  B.SetPixelRGB(5, 20, IECreateRGB(0, 0, 255));
  for (Integer y = 15; y <= 17; ++y)
    for (Integer x = 20; x <= 22; ++x) {
      B.SetPixelRGB(x, y, IECreateRGB(0, 255, 0));
      B.SetPixelRGB(x + 3, y + 3, IECreateRGB(0, 255, 0));
    }
}

TEST(MagicWand, RegionsStopAtDiagonalContactAndGrowByOneWithTheMaximum) {
  TIEBitmap b;
  DrawShapes(b);
  TIEMask mask;
  mask.AllocateBits(40, 30, 1);
  IEMagicWandRegion(&b, 21, 16, false, 0, &mask, 1);
  EXPECT_EQ((std::vector<Integer>{mask.X1, mask.Y1, mask.X2, mask.Y2}), (std::vector<Integer>{20, 15, 22, 17}));
  EXPECT_EQ(mask.GetPixel(23, 18), 0);

  // A one-pixel region in the corner: the 3 x 3 block is cut at the border.
  TIEBitmap corner(4, 4, ie24RGB);
  corner.Fill(0);
  corner.SetPixelRGB(0, 0, IECreateRGB(9, 9, 9));
  for (bool maxFilter : {false, true}) {
    TIEMask m;
    m.AllocateBits(4, 4, 1);
    IEMagicWandRegion(&corner, 0, 0, maxFilter, 0, &m, 1);
    Integer count = 0;
    for (Integer y = 0; y < 4; ++y)
      for (Integer x = 0; x < 4; ++x) count += m.GetPixel(x, y);
    EXPECT_EQ(count, maxFilter ? 4 : 1);
    EXPECT_EQ(m.GetPixel(1, 1), maxFilter ? 1 : 0);
  }
}

TEST(MagicWand, ColourToleranceIsPerChannelAndInclusive) {
  TIEBitmap b(3, 1, ie24RGB);
  b.SetPixelRGB(0, 0, IECreateRGB(100, 100, 100));
  b.SetPixelRGB(1, 0, IECreateRGB(110, 90, 105));
  b.SetPixelRGB(2, 0, IECreateRGB(111, 100, 100));
  TIEMask m;
  m.AllocateBits(3, 1, 1);
  IEMagicWandColor(&b, 0, 0, 10, &m, 1);
  EXPECT_EQ((std::vector<Integer>{m.GetPixel(0, 0), m.GetPixel(1, 0), m.GetPixel(2, 0)}),
            (std::vector<Integer>{1, 1, 0}));
}

// The outline filled back into a mask covers exactly the region, for shapes without holes.
TEST(MagicWand, OutlinesEncloseTheirRegion) {
  TIEBitmap b;
  DrawShapes(b);
  struct TOutlineCase { Integer X, Y, X1, Y1, X2, Y2; };
  for (const TOutlineCase& c : {TOutlineCase{8, 5, 4, 3, 14, 9}, TOutlineCase{5, 20, 5, 20, 5, 20},
                                TOutlineCase{24, 19, 23, 18, 25, 20}}) {
    SCOPED_TRACE(std::to_string(c.X) + "," + std::to_string(c.Y));
    Integer count = 0;
    std::unique_ptr<TPoint[]> poly(IEMagicWandOutline(&b, c.X, c.Y, false, 0, count));
    ASSERT_GT(count, 2);
    for (Integer i = 0; i < count; ++i) {
      EXPECT_TRUE(poly[i].X >= c.X1 && poly[i].X <= c.X2 + 1) << poly[i].X;
      EXPECT_TRUE(poly[i].Y >= c.Y1 && poly[i].Y <= c.Y2 + 1) << poly[i].Y;
    }
    TIEMask filled, region;
    filled.AllocateBits(40, 30, 1);
    region.AllocateBits(40, 30, 1);
    filled.FillPolygons(1, poly.get(), count);
    IEMagicWandRegion(&b, c.X, c.Y, false, 0, &region, 1);
    EXPECT_EQ(MaskBytes(filled), MaskBytes(region));
  }

  // A uniform image: the outline runs along the image's border.
  TIEBitmap flat(12, 9, ie24RGB);
  flat.Fill(0x336699);
  Integer count = 0;
  std::unique_ptr<TPoint[]> poly(IEMagicWandOutline(&flat, 6, 4, false, 0, count));
  ASSERT_GT(count, 2);
  for (const TPoint corner : {TPoint{0, 0}, TPoint{12, 0}, TPoint{12, 9}, TPoint{0, 9}}) {
    bool near = false;
    for (Integer i = 0; i < count; ++i) near |= std::abs(poly[i].X - corner.X) <= 1 && std::abs(poly[i].Y - corner.Y) <= 1;
    EXPECT_TRUE(near) << corner.X << "," << corner.Y;
  }
}

TEST(MagicWand, SeedsOutsideTheImageSelectNothing) {
  TIEBitmap b(10, 8, ie24RGB);
  b.Fill(0);
  for (const TPoint p : {TPoint{-1, 0}, TPoint{10, 0}, TPoint{0, 8}, TPoint{3, -2}}) {
    Integer count = 7;
    EXPECT_EQ(IEMagicWandOutline(&b, p.X, p.Y, true, 10, count), nullptr);
    EXPECT_EQ(count, 0);
    TIEMask m;
    m.AllocateBits(10, 8, 1);
    IEMagicWandRegion(&b, p.X, p.Y, true, 10, &m, 1);
    IEMagicWandColor(&b, p.X, p.Y, 10, &m, 1);
    EXPECT_TRUE(m.IsEmpty());
  }
}

}  // namespace
