#include "widgets/tabs/tab_draw.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/fixtures.h"
#include "widgets/tabs/tab_region_cache.h"

namespace {

// Hue, saturation and luminance on the 0..240 scale agree with Python's colorsys (rounded to
// even, as both sides round).
TEST(TabColors, SplitMatchesColorsys) {
  const TColor samples[] = {clRed,    clLime,   clBlue,   clWhite,  clBlack,  clGray,
                            clSilver, 0x149BF0, 0x505050, 0x3366CC, 0xF0CAA6, 0x00FF80};
  std::ostringstream cmd;
  cmd << "python3 -c 'import colorsys\nfor c in [";
  for (TColor c : samples) cmd << c << ",";
  cmd << "]:\n r,g,b=(c&255)/255,((c>>8)&255)/255,((c>>16)&255)/255\n h,l,s=colorsys.rgb_to_hls(r,g,b)\n "
         "print(round(h*240),round(s*240),round(l*240))'";
  std::istringstream want(testsupport::RunOk(cmd.str()));
  for (TColor c : samples) {
    int h, s, l;
    want >> h >> s >> l;
    Byte H, S, L;
    SplitColorHsl(c, H, S, L);
    EXPECT_EQ(H, h) << std::hex << c;
    EXPECT_EQ(S, s) << std::hex << c;
    EXPECT_EQ(L, l) << std::hex << c;
  }
  Byte H, S, L;
  SplitColorHsl(clRed, H, S, L);
  EXPECT_EQ(H, 0);
  EXPECT_EQ(S, 240);
  EXPECT_EQ(L, 120);
}

TEST(TabColors, RebuildShiftMixAndCompare) {
  EXPECT_EQ(ColorFromHsl(0, 240, 120), clRed);
  EXPECT_EQ(ColorFromHsl(239, 240, 120), clRed);  // hue 239 wraps to the first sextant
  // Hue is divided by 239, so a third of the circle lands just past green.
  EXPECT_EQ(ColorFromHsl(80, 240, 120), RGB(0, 255, 2));
  EXPECT_EQ(LightenColor(clWhite, 30), clWhite);
  EXPECT_EQ(DarkenColor(clRed, 255), clBlack);
  EXPECT_EQ(ShiftColorLuminance(clGray, 0), clGray);
  EXPECT_EQ(ShiftColorLuminance(clGray, -120), clBlack);
  EXPECT_EQ(DarkenColor(clBtnFace, 0), clSilver);  // system colours resolve first
  EXPECT_EQ(MixColors(clBlack, clWhite, 30), RGB(225, 225, 225));
  EXPECT_EQ(MixColors(clBlack, clWhite, 15), RGB(240, 240, 240));
  EXPECT_EQ(XorColors(0x505050, clSilver), 0x909090u);
  EXPECT_TRUE(ColorsAlike(RGB(200, 0, 0), RGB(150, 50, 50)));  // same hue and luminance
  EXPECT_FALSE(ColorsAlike(clRed, clBlue));
  EXPECT_EQ(OppositeHueColor(clRed, 120), ColorFromHsl(120, 240, 120));
}

TEST(TabDrawing, GradientRowsInFixedPoint) {
  TBitmap b;
  b.SetPixelFormat(pf32bit);
  b.SetSize(4, 10);
  DrawGradient(b.Canvas(), Rect(0, 0, 4, 10), bgTopToBottom, clWhite, clBlack);
  EXPECT_EQ(b.PixelColor(2, 9), clBlack);
  EXPECT_EQ(b.PixelColor(2, 0), RGB(229, 229, 229));
  DrawGradient(b.Canvas(), Rect(0, 0, 4, 10), bgLeftToRight, clBlack, clWhite);
  EXPECT_EQ(b.PixelColor(3, 5), clWhite);
  EXPECT_EQ(b.PixelColor(0, 5), RGB(63, 63, 63));
}

TEST(TabDrawing, GlyphsSetTheirPixels) {
  TBitmap b;
  b.SetPixelFormat(pf32bit);
  b.SetSize(16, 16);
  b.Canvas()->Brush()->SetColor(clWhite);
  b.Canvas()->FillRect(Rect(0, 0, 16, 16));
  DrawArrowGlyph(b.Canvas(), Rect(0, 0, 16, 16), true, 1);  // down: centre (8, 8)
  EXPECT_EQ(b.PixelColor(8, 8), clBlack);
  EXPECT_EQ(b.PixelColor(5, 5), clBlack);
  EXPECT_EQ(b.PixelColor(11, 5), clBlack);
  EXPECT_EQ(b.PixelColor(4, 5), clWhite);
  EXPECT_EQ(b.PixelColor(8, 9), clWhite);
  DrawArrowGlyph(b.Canvas(), Rect(0, 0, 16, 16), false, 3);
  EXPECT_EQ(b.PixelColor(9, 7), clGray);  // right: tip at (cx + 3, cy)
  b.Canvas()->FillRect(Rect(0, 0, 16, 16));
  DrawCloseGlyph(b.Canvas(), Rect(0, 0, 16, 16), clBlue);
  EXPECT_EQ(b.PixelColor(8, 7), clBlue);  // the crossing of the X
  EXPECT_EQ(b.PixelColor(7, 1), clWhite);
}

TEST(TabRegionCache, MostRecentFirstWithCapacity) {
  TClTabRegionCache cache;
  const TRect a = Rect(0, 0, 10, 10), b = Rect(5, 5, 20, 20);
  cache.CacheTabRegion(a, std::make_unique<TRegion>(TRegion::CreateRectRgnIndirect(a)));
  cache.CacheTabRegion(b, std::make_unique<TRegion>(TRegion::CreateRectRgnIndirect(b)));
  EXPECT_EQ(cache.FindTabRegion(a), nullptr);  // capacity 1 keeps only the newest
  ASSERT_NE(cache.FindTabRegion(b), nullptr);
  cache.SetCacheCapacity(-1);
  cache.CacheTabRegion(a, std::make_unique<TRegion>(TRegion::CreateRectRgnIndirect(a)));
  cache.CacheTabRegion(b, nullptr);  // already there: moves to the front, keeps its region
  EXPECT_EQ(cache.Count(), 2);
  EXPECT_TRUE(cache.FindTabRegion(b)->PtInRegion(6, 6));
  cache.SetCacheCapacity(1);
  EXPECT_EQ(cache.Count(), 1);
  EXPECT_NE(cache.FindTabRegion(b), nullptr);
  for (Integer bad : {0, -2}) {
    try {
      cache.SetCacheCapacity(bad);
      FAIL() << bad;
    } catch (const EClTabControlError& e) {
      EXPECT_EQ(e.Message, "Capacity must be -1 (to cache all regions) or > 0");
    }
  }
  EXPECT_EQ(cache.Capacity(), 1);
}

}  // namespace
