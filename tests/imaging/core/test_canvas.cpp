// The anti-aliased canvas on a real bitmap: fills cover exact pixel areas, strokes sit on pixel
// centres, transparency mixes, clear pens and brushes draw nothing, and without the service the
// plain canvas draws the same shapes.
#include <gtest/gtest.h>

#include <cmath>

#include "imaging/core/ie_canvas.h"
#include "platform/gui/bitmap.h"

namespace {

struct Loaded {
  Loaded() { IEGDIPLoadLibrary(); }
  ~Loaded() { IEGDIPUnloadLibrary(); }
};

void Clear(TBitmap& b, Integer Size = 64) {
  b.SetPixelFormat(pf24bit);
  b.SetSize(Size, Size);
  b.Canvas()->Brush()->SetStyle(bsSolid);
  b.Canvas()->Brush()->SetColor(0xFFFFFF);
  b.Canvas()->FillRect(TRect{0, 0, Size, Size});
}

Integer Count(TBitmap& b, const std::function<bool(TColor)>& Test) {
  Integer n = 0;
  for (Integer y = 0; y < b.Height(); ++y)
    for (Integer x = 0; x < b.Width(); ++x) n += Test(b.PixelColor(x, y));
  return n;
}

TEST(AntiAliasedCanvas, LoadCountDecidesTheService) {
  EXPECT_FALSE(IEGDIPLoaded());
  IEGDIPLoadLibrary();
  IEGDIPLoadLibrary();
  IEGDIPUnloadLibrary();
  EXPECT_TRUE(IEGDIPEnabled());
  IEGDIPUnloadLibrary();
  EXPECT_FALSE(IEGDIPLoaded());
  IEGDIPAllowed = false;
  IEGDIPLoadLibrary();
  EXPECT_FALSE(IEGDIPEnabled());
  IEGDIPUnloadLibrary();
  IEGDIPAllowed = true;
}

TEST(AntiAliasedCanvas, FillsStrokesAndTransparency) {
  Loaded service;
  TBitmap b;
  Clear(b);
  TIECanvas c(b.Canvas());
  ASSERT_TRUE(c.UsesGDIPlus());
  c.Brush()->SetColor(0x0000FF);
  // Reversed corners give the same 9 x 9 area at (10, 10).
  c.FillRect(TRect{20, 20, 10, 10});
  EXPECT_EQ(Count(b, [](TColor v) { return v == 0x0000FFu; }), 81);
  EXPECT_EQ(b.PixelColor(10, 10), 0x0000FFu);
  EXPECT_EQ(b.PixelColor(18, 18), 0x0000FFu);
  EXPECT_EQ(b.PixelColor(19, 19), 0xFFFFFFu);

  // A horizontal line of width 1 runs from centre to centre with flat ends: the pixels between
  // are covered, the two end pixels half. DrawLine leaves the pen position.
  c.Pen()->SetColor(0x000000);
  c.MoveTo(2, 2);
  c.DrawLine(30, 40, 50, 40);
  EXPECT_EQ(c.PenPos(), (TPoint{2, 2}));
  for (Integer x = 31; x <= 49; ++x) EXPECT_EQ(b.PixelColor(x, 40), 0u) << x;
  EXPECT_NEAR(b.PixelColor(30, 40) & 0xFF, 128, 2);
  EXPECT_EQ(b.PixelColor(40, 39), 0xFFFFFFu);
  EXPECT_EQ(b.PixelColor(40, 41), 0xFFFFFFu);
  c.LineTo(2, 20);
  EXPECT_EQ(c.PenPos(), (TPoint{2, 20}));

  // Half transparent over white gives a half-way colour.
  c.Brush()->SetColor(0x000000);
  c.Brush()->SetTransparency(128);
  c.FillRect(TRect{40, 2, 50, 12});
  const TColor mixed = b.PixelColor(44, 6);
  EXPECT_NEAR(mixed & 0xFF, 127, 2);

  // Clear pens and brushes are drawn with no opacity.
  Clear(b);
  c.Pen()->SetStyle(psClear);
  c.Brush()->SetStyle(bsClear);
  c.Rectangle(5, 5, 30, 30);
  c.Ellipse(5, 5, 30, 30);
  EXPECT_EQ(Count(b, [](TColor v) { return v != 0xFFFFFFu; }), 0);
}

TEST(AntiAliasedCanvas, ShapesAreSmoothAndWhereExpected) {
  Loaded service;
  TBitmap b;
  Clear(b);
  TIECanvas c(b.Canvas());
  c.Pen()->SetColor(0);
  c.Brush()->SetColor(0);
  c.Ellipse(10, 10, 51, 51);  // a disc of diameter 40 and its outline, half of which lies outside
  const Integer dark = Count(b, [](TColor v) { return (v & 0xFF) < 128; });
  EXPECT_NEAR(dark, 3.14159 * 20.5 * 20.5, 30);
  // Anti-aliasing leaves grey pixels on the rim.
  EXPECT_GT(Count(b, [](TColor v) { return (v & 0xFF) > 20 && (v & 0xFF) < 235; }), 40);

  Clear(b);
  c.Polygon({{5, 5}, {60, 5}, {5, 60}});
  const Integer triangle = Count(b, [](TColor v) { return (v & 0xFF) < 128; });
  EXPECT_NEAR(triangle, 55 * 55 / 2 + (55 + 55 + 77.8) / 2, 30);
  EXPECT_EQ(b.PixelColor(8, 8), 0u);
  EXPECT_EQ(b.PixelColor(50, 50), 0xFFFFFFu);

  // A round rectangle whose corners exceed it is an ellipse filling it.
  Clear(b);
  c.RoundRect(10, 10, 30, 50, 100, 100);
  EXPECT_EQ(b.PixelColor(20, 30), 0u);
  EXPECT_EQ(b.PixelColor(11, 11), 0xFFFFFFu);

  // Text always goes to the wrapped canvas.
  Clear(b);
  c.Brush()->SetStyle(bsClear);
  c.TextOut(2, 2, "Ab");
  EXPECT_GT(Count(b, [](TColor v) { return v != 0xFFFFFFu; }), 10);
}

TEST(AntiAliasedCanvas, WithoutTheServiceThePlainCanvasDraws) {
  TBitmap b;
  Clear(b);
  TIECanvas c(b.Canvas());
  EXPECT_FALSE(c.UsesGDIPlus());
  c.Brush()->SetColor(0x00FF00);
  c.FillRect(TRect{10, 10, 20, 20});
  // The plain canvas fills up to the right and bottom edges: 10 x 10.
  EXPECT_EQ(Count(b, [](TColor v) { return v == 0x00FF00u; }), 100);
  c.Pen()->SetColor(0);
  c.MoveTo(0, 30);
  c.LineTo(10, 30);
  EXPECT_EQ(b.PixelColor(5, 30), 0u);
  EXPECT_EQ(b.PixelColor(10, 30), 0xFFFFFFu);
}

}  // namespace
