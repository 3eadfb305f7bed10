// Drawing helpers around the shown image, text boxes, packed pictures, colour tables, textures
// and the orientation tag (against ImageMagick's -auto-orient).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_canvas.h"
#include "imaging/core/ie_drawing.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_orientation.h"
#include "imaging/core/ie_text_boxes.h"
#include "tests/support/fixtures.h"

namespace {

void Paint(TBitmap& b, Integer W, Integer H, TColor Colour = 0xFFFFFF) {
  b.SetPixelFormat(pf24bit);
  b.SetSize(W, H);
  b.Canvas()->Brush()->SetStyle(bsSolid);
  b.Canvas()->Brush()->SetColor(Colour);
  b.Canvas()->FillRect(TRect{0, 0, W, H});
}

bool SamePixels(TBitmap& a, TBitmap& b) {
  for (Integer y = 0; y < a.Height(); ++y)
    for (Integer x = 0; x < a.Width(); ++x)
      if (a.PixelColor(x, y) != b.PixelColor(x, y)) return false;
  return true;
}

TEST(DrawingHelpers, ShadowStrips) {
  // Through the rows or through the canvas, the strips come out the same.
  for (Byte kind : {1, 2, 3}) {
    TBitmap viaCanvas, viaRows;
    Paint(viaCanvas, 40, 40, 0x80C0E0);
    Paint(viaRows, 40, 40, 0x80C0E0);
    viaCanvas.Canvas()->Brush()->SetColor(0x303030);
    viaRows.Canvas()->Brush()->SetColor(0x303030);
    IEDrawShadowRight(viaCanvas.Canvas(), nullptr, 20, 5, 25, 30, kind, 0);
    IEDrawShadowBottom(viaCanvas.Canvas(), nullptr, 5, 30, 24, 35, kind, 0);
    IEDrawShadowRight(viaRows.Canvas(), &viaRows, 20, 5, 25, 30, kind, 0);
    IEDrawShadowBottom(viaRows.Canvas(), &viaRows, 5, 30, 24, 35, kind, 0);
    EXPECT_TRUE(SamePixels(viaCanvas, viaRows)) << int(kind);
  }
  // Kinds outside 1..3 draw nothing.
  TBitmap untouched, reference;
  Paint(untouched, 20, 20);
  Paint(reference, 20, 20);
  for (Byte kind : {0, 4, 255}) {
    IEDrawShadowRight(untouched.Canvas(), &untouched, 5, 0, 10, 15, kind, 0);
    IEDrawShadowBottom(untouched.Canvas(), &untouched, 0, 5, 15, 10, kind, 0);
  }
  EXPECT_TRUE(SamePixels(untouched, reference));

  // The view's two soft strips meet along the corner's diagonal: no pixel is darkened twice,
  // so nothing gets darker than one strip's darkest factor (about 0.2).
  TBitmap view;
  Paint(view, 60, 60);
  const Integer x2 = 40, y2 = 40;
  IEDrawShadowRight(view.Canvas(), &view, x2, 5, x2 + 5, y2 + 3, 2, 0);
  IEDrawShadowBottom(view.Canvas(), &view, 5, y2, x2 + 4, y2 + 5, 2, 0);
  Integer darkened = 0;
  for (Integer y = 0; y < 60; ++y)
    for (Integer x = 0; x < 60; ++x) {
      const Integer v = view.PixelColor(x, y) & 0xFF;
      EXPECT_GE(v, 51) << x << "," << y;
      darkened += v < 255;
    }
  EXPECT_GT(darkened, 100);
}

TEST(DrawingHelpers, SoftShadowLeavesTheBoxAndFarPixelsAlone) {
  TBitmap b;
  Paint(b, 60, 50, 0xC0C0C0);
  IEDrawSoftShadow(&b, 10, 10, 39, 29, 0);
  EXPECT_EQ(b.PixelColor(20, 20), 0xC0C0C0u);  // inside the box
  EXPECT_EQ(b.PixelColor(38, 28), 0xC0C0C0u);
  EXPECT_EQ(b.PixelColor(2, 2), 0xC0C0C0u);    // beyond the shadow's reach
  EXPECT_EQ(b.PixelColor(55, 45), 0xC0C0C0u);
  EXPECT_LT(b.PixelColor(41, 20) & 0xFF, 0xC0u);  // the shadow right of the box
  EXPECT_LT(b.PixelColor(20, 31) & 0xFF, 0xC0u);  // and below it
}

TEST(DrawingHelpers, FramesBoxesAndTextures) {
  TBitmap b;
  Paint(b, 30, 30, 0);
  IEDraw3DFrame(b.Canvas(), 2, 2, 20, 10, 0xFFFFFF, 0x808080);
  EXPECT_EQ(b.PixelColor(2, 5), 0xFFFFFFu);
  EXPECT_EQ(b.PixelColor(10, 2), 0xFFFFFFu);
  EXPECT_EQ(b.PixelColor(10, 10), 0x808080u);
  EXPECT_EQ(b.PixelColor(20, 5), 0x808080u);
  EXPECT_EQ(b.PixelColor(20, 2), 0u);  // the corner is left alone

  // A hint box asked for left of the area is drawn at 0; near the right edge it moves left.
  // What it covered is saved first.
  TBitmap area;
  Paint(area, 200, 100, 0x00FF00);
  std::unique_ptr<TBitmap> saved;
  TBrush brush;
  brush.SetColor(0xFFFFE0);
  Integer x = -20, y = 10;
  IEDrawHintBox(area.Canvas(), x, y, "120 x 80", nullptr, &brush, saved, 200, 100, 0xFFFFFF, 0x404040);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 10);
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->PixelColor(8, 8), 0x00FF00u);
  EXPECT_EQ(area.PixelColor(8, 18), 0xFFFFE0u);
  const Integer w = area.Canvas()->TextWidth("120 x 80") + 12;
  x = 190;
  IEDrawHintBox(area.Canvas(), x, y, "120 x 80", nullptr, &brush, saved, 200, 100, 0xFFFFFF, 0x404040);
  EXPECT_EQ(x, 200 - 1 - w);

  // An info box takes the width of its widest text and writes only Text.
  IEGDIPLoadLibrary();
  TBitmap info;
  Paint(info, 300, 60);
  x = -5;
  y = 0;
  IEDrawInfoBox(info.Canvas(), x, y, "ab", "a much longer measuring line");
  IEGDIPUnloadLibrary();
  EXPECT_EQ(x, 0);
  const Integer wide = info.Canvas()->TextWidth("a much longer measuring line");
  // Yellow, half transparent over white, reaches beyond what "ab" alone would need.
  const TColor inside = info.PixelColor(wide - 2, 12);
  EXPECT_NE(inside, 0xFFFFFFu);
  EXPECT_EQ(inside & 0xFF, 0xFFu);
  EXPECT_LT((inside >> 16) & 0xFF, 0xE0u);

  std::vector<double> curve;
  IEGaussianCurve(4, 130, 255, 0.5, curve);
  EXPECT_NEAR(curve[0], 240.31, 0.01);
  EXPECT_NEAR(curve[1], 251.15, 0.01);
  EXPECT_NEAR(curve[2], 255.0, 1e-9);
  EXPECT_NEAR(curve[3], 251.15, 0.01);
  TBitmap stripes;
  IEMakeStripesTexture(&stripes, 5, 8);
  const TColor expected[] = {240, 251, 255, 251};
  for (Integer row = 0; row < 8; ++row) EXPECT_EQ(stripes.PixelColor(3, row), expected[row % 4] * 0x010101u);
  TBitmap brushed;
  IEMakeBrushedTexture(&brushed, 300, 4);
  EXPECT_EQ(brushed.Width(), 300);
  // Darker at the edges than in the middle, a grey everywhere.
  EXPECT_LT(brushed.PixelColor(0, 0) & 0xFF, brushed.PixelColor(150, 0) & 0xFF);
  EXPECT_EQ(brushed.PixelColor(17, 2) & 0xFF, (brushed.PixelColor(17, 2) >> 8) & 0xFF);
}

TEST(DrawingHelpers, ColourTables) {
  TBitmap plain;
  Paint(plain, 2, 2);
  EXPECT_TRUE(IEIsGrayPalette(&plain));  // no table: nothing to disagree
  TBitmap indexed;
  indexed.SetPixelFormat(pf8bit);
  indexed.SetSize(2, 2);
  EXPECT_FALSE(IEIsGrayPalette(&indexed));
  IESetGrayPalette(&indexed);
  EXPECT_TRUE(IEIsGrayPalette(&indexed));
  std::vector<TColor> table(256, 0);
  table[3] = 0x00112233;
  indexed.SetColorTable(table);
  TIEBitmap dest;
  dest.Allocate(2, 2, ie8p);
  IECopyTBitmapPalette(&indexed, &dest);
  EXPECT_EQ(dest.GetPaletteEntry(3), IECreateRGB(0x33, 0x22, 0x11));
}

TEST(DrawingHelpers, PackedPicturesAreDrawnStretched) {
  // A 2 x 2, 8-bit picture, rows bottom-up: top row indexes 1 2, bottom row 3 0.
  struct {
    TIEBitmapInfoHeader Header;
    Byte Colours[4][4];
  } dib{{40, 2, 2, 1, 8, 0, 0, 0, 0, 4, 0}, {{0, 0, 0, 0}, {255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}}};
  const Byte rows[8] = {3, 0, 0, 0, 1, 2, 0, 0};
  TBitmap canvas;
  Paint(canvas, 8, 8, 0x777777);
  const TIEDrawDibHandle h = IEDrawDibOpen();
  ASSERT_TRUE(IEDrawDibDraw(h, canvas.Canvas(), 0, 0, 4, 4, &dib.Header, rows, 0, 0, 2, 2, 0));
  EXPECT_EQ(canvas.PixelColor(1, 1), 0xFF0000u);  // blue, as 0x00BBGGRR
  EXPECT_EQ(canvas.PixelColor(3, 0), 0x00FF00u);
  EXPECT_EQ(canvas.PixelColor(0, 3), 0x0000FFu);
  EXPECT_EQ(canvas.PixelColor(3, 3), 0u);
  EXPECT_EQ(canvas.PixelColor(4, 4), 0x777777u);
  // Pictures it cannot draw are refused, not read.
  TIEBitmapInfoHeader bad = dib.Header;
  bad.biBitCount = 7;
  EXPECT_FALSE(IEDrawDibDraw(h, canvas.Canvas(), 0, 0, 4, 4, &bad, rows, 0, 0, 2, 2, 0));
  bad = dib.Header;
  bad.biCompression = 1;
  EXPECT_FALSE(IEDrawDibDraw(h, canvas.Canvas(), 0, 0, 4, 4, &bad, rows, 0, 0, 2, 2, 0));
  EXPECT_FALSE(IEDrawDibDraw(h, canvas.Canvas(), 0, 0, 4, 4, &dib.Header, rows, 5, 5, 2, 2, 0));
  EXPECT_TRUE(IEDrawDibClose(h));
}

std::vector<Byte> ReadPPM(const std::string& Path, Integer& W, Integer& H) {
  std::ifstream f(Path, std::ios::binary);
  std::string magic;
  int maxv;
  f >> magic >> W >> H >> maxv;
  f.get();
  std::vector<Byte> px(static_cast<size_t>(W) * H * 3);
  f.read(reinterpret_cast<char*>(px.data()), static_cast<std::streamsize>(px.size()));
  return px;
}

TEST(DrawingHelpers, OrientationTagAgreesWithImageMagick) {
  const std::string dir = testsupport::MakeTempDir("orient");
  const std::string source = dir + "/source.ppm";
  testsupport::RunOk("convert -size 5x3 gradient:red-blue -fill lime -draw 'point 0,0' -depth 8 " + source);
  Integer w, h;
  const std::vector<Byte> original = ReadPPM(source, w, h);
  const char* names[] = {"", "TopLeft", "TopRight", "BottomRight", "BottomLeft", "LeftTop", "RightTop", "RightBottom", "LeftBottom"};
  for (Integer orientation = 1; orientation <= 9; ++orientation) {
    TIEBitmap b;
    b.Allocate(w, h, ie24RGB);
    for (Integer y = 0; y < h; ++y)
      for (Integer x = 0; x < w; ++x) {
        const Byte* p = &original[(y * w + x) * 3];
        b.SetPixelRGB(x, y, IECreateRGB(p[0], p[1], p[2]));
      }
    IEApplyExifOrientation(&b, orientation);
    Integer ew = w, eh = h;
    std::vector<Byte> expected = original;
    if (orientation <= 8) {
      const std::string out = dir + "/o" + std::to_string(orientation) + ".ppm";
      testsupport::RunOk("convert " + source + " -orient " + names[orientation] + " -auto-orient -depth 8 " + out);
      expected = ReadPPM(out, ew, eh);
    }
    ASSERT_EQ(b.GetWidth(), ew) << orientation;
    ASSERT_EQ(b.GetHeight(), eh) << orientation;
    for (Integer y = 0; y < eh; ++y)
      for (Integer x = 0; x < ew; ++x) {
        const Byte* p = &expected[(y * ew + x) * 3];
        EXPECT_EQ(b.GetPixelRGB(x, y), IECreateRGB(p[0], p[1], p[2])) << orientation << " at " << x << "," << y;
      }
  }
  testsupport::RemoveTree(dir);
}

}  // namespace
