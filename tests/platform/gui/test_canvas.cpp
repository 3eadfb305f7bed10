#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/gui/graphics.h"

namespace {

constexpr TColor kBack = 0x00C0B0A0;  // a background no tool below uses

// A 32-bit bitmap filled with kBack, pen black, brush white.
struct Surface {
  TBitmap Bmp;
  TCanvas* C;
  explicit Surface(int w = 40, int h = 40) {
    Bmp.SetPixelFormat(pf32bit);
    Bmp.SetSize(w, h);
    C = Bmp.Canvas();
    C->Brush()->SetColor(kBack);
    C->FillRect(Rect(0, 0, w, h));
    C->Brush()->SetColor(clWhite);
    C->Pen()->SetColor(clBlack);
  }
  TColor At(int x, int y) { return C->Pixels(x, y); }
  // Every pixel, for comparing whole pictures.
  std::vector<TColor> All() {
    std::vector<TColor> v;
    for (int y = 0; y < Bmp.Height(); ++y)
      for (int x = 0; x < Bmp.Width(); ++x) v.push_back(C->Pixels(x, y));
    return v;
  }
  // A background with a different colour in every pixel, so raster operations show.
  void Gradient() {
    for (int y = 0; y < Bmp.Height(); ++y)
      for (int x = 0; x < Bmp.Width(); ++x) C->SetPixel(x, y, RGB(Byte(x * 6), Byte(y * 6), Byte(x * y)));
  }
};

}  // namespace

TEST(CanvasShapes, RectangleCoversLeftToRightMinusOne) {
  Surface s;
  s.C->Pen()->SetColor(clRed);
  s.C->Brush()->SetColor(clBlue);
  s.C->Rectangle(10, 10, 20, 20);
  struct Probe { int x, y; TColor want; } probes[] = {
      {10, 10, clRed}, {19, 10, clRed}, {10, 19, clRed}, {19, 19, clRed}, {15, 10, clRed}, {19, 15, clRed},
      {11, 11, clBlue}, {18, 18, clBlue}, {15, 15, clBlue},
      {20, 15, kBack}, {15, 20, kBack}, {9, 15, kBack}, {15, 9, kBack}, {20, 20, kBack}};
  for (const Probe& p : probes) EXPECT_EQ(s.At(p.x, p.y), p.want) << p.x << "," << p.y;

  // Without a pen the fill stops one pixel short on the right and at the bottom.
  Surface n;
  n.C->Pen()->SetStyle(psClear);
  n.C->Brush()->SetColor(clBlue);
  n.C->Rectangle(10, 10, 20, 20);
  EXPECT_EQ(n.At(10, 10), clBlue);
  EXPECT_EQ(n.At(18, 18), clBlue);
  EXPECT_EQ(n.At(19, 15), kBack);
  EXPECT_EQ(n.At(15, 19), kBack);
}

TEST(CanvasShapes, LineToLeavesTheEndPixel) {
  struct Case { int x0, y0, x1, y1; } cases[] = {{5, 5, 15, 5}, {5, 5, 5, 15}, {5, 5, 15, 15}, {15, 12, 3, 4}};
  for (const Case& c : cases) {
    Surface s;
    s.C->MoveTo(c.x0, c.y0);
    s.C->LineTo(c.x1, c.y1);
    EXPECT_EQ(s.At(c.x0, c.y0), clBlack);
    EXPECT_EQ(s.At(c.x1, c.y1), kBack) << c.x1 << "," << c.y1;
    EXPECT_EQ(s.C->PenPos(), Point(c.x1, c.y1));
  }
  // Joined lines in xor mode touch each pixel once: a closed square has all four corners set.
  Surface x;
  x.C->Pen()->SetColor(clWhite);
  x.C->Pen()->SetMode(pmXor);
  x.C->MoveTo(5, 5);
  x.C->LineTo(15, 5);
  x.C->LineTo(15, 15);
  x.C->LineTo(5, 15);
  x.C->LineTo(5, 5);
  const TColor inverted = kBack ^ 0xFFFFFF;
  for (TPoint p : {Point(5, 5), Point(15, 5), Point(15, 15), Point(5, 15), Point(10, 5), Point(15, 10)})
    EXPECT_EQ(x.At(p.X, p.Y), inverted) << p.X << "," << p.Y;
  EXPECT_EQ(x.At(10, 10), kBack);
}

TEST(CanvasShapes, NotAndXorDrawnTwiceRestore) {
  for (TPenMode mode : {pmNot, pmXor, pmNotXor}) {
    Surface s;
    s.Gradient();
    const std::vector<TColor> before = s.All();
    s.C->Pen()->SetMode(mode);
    s.C->Pen()->SetColor(0x00336699);
    s.C->Brush()->SetColor(0x00996633);
    auto drawAll = [&] {
      s.C->MoveTo(1, 1);
      s.C->LineTo(38, 30);
      s.C->Rectangle(3, 3, 30, 20);
      s.C->Ellipse(10, 12, 36, 38);
      s.C->Polygon({Point(2, 38), Point(20, 22), Point(38, 38)});
      s.C->RoundRect(5, 25, 25, 39, 6, 6);
    };
    drawAll();
    EXPECT_NE(s.All(), before) << mode;
    drawAll();
    EXPECT_EQ(s.All(), before) << mode;
  }
}

TEST(CanvasShapes, RasterOperationsCombinePenAndPixel) {
  struct Case { TPenMode mode; TColor want; } cases[] = {
      {pmCopy, 0x0000FF0F}, {pmNot, ~kBack & 0xFFFFFF}, {pmXor, 0x0000FF0F ^ kBack}, {pmMask, 0x0000FF0F & kBack},
      {pmMerge, 0x0000FF0F | kBack}, {pmBlack, 0}, {pmWhite, 0xFFFFFF}, {pmNop, kBack},
      {pmNotCopy, ~0x0000FF0Fu & 0xFFFFFF}, {pmMaskPenNot, 0x0000FF0F & ~kBack}};
  for (const Case& c : cases) {
    Surface s;
    s.C->Pen()->SetMode(c.mode);
    s.C->Pen()->SetColor(0x0000FF0F);
    s.C->MoveTo(0, 2);
    s.C->LineTo(10, 2);
    EXPECT_EQ(s.At(4, 2), c.want) << c.mode;
  }
}

TEST(CanvasShapes, EllipseStaysInsideItsBox) {
  Surface s;
  s.C->Pen()->SetColor(clRed);
  s.C->Brush()->SetColor(clBlue);
  s.C->Ellipse(10, 10, 21, 21);
  EXPECT_EQ(s.At(10, 15), clRed);
  EXPECT_EQ(s.At(20, 15), clRed);
  EXPECT_EQ(s.At(15, 10), clRed);
  EXPECT_EQ(s.At(15, 20), clRed);
  EXPECT_EQ(s.At(15, 15), clBlue);
  EXPECT_EQ(s.At(10, 10), kBack);
  for (int i = 0; i < 40; ++i) {
    EXPECT_EQ(s.At(21, i), kBack);
    EXPECT_EQ(s.At(i, 21), kBack);
    EXPECT_EQ(s.At(9, i), kBack);
  }
}

TEST(CanvasFill, HatchBrushesUseTheDesktopPatterns) {
  // Rows of the 8 x 8 cell from the surface origin; '#' = brush colour, '.' = left alone.
  struct Case { TBrushStyle style; const char* rows[8]; } cases[] = {
      {bsHorizontal, {"........", "........", "........", "########", "........", "........", "........", "........"}},
      {bsVertical, {"....#...", "....#...", "....#...", "....#...", "....#...", "....#...", "....#...", "....#..."}},
      {bsFDiagonal, {"#.......", ".#......", "..#.....", "...#....", "....#...", ".....#..", "......#.", ".......#"}},
      {bsBDiagonal, {".......#", "......#.", ".....#..", "....#...", "...#....", "..#.....", ".#......", "#......."}},
      {bsCross, {"....#...", "....#...", "....#...", "########", "....#...", "....#...", "....#...", "....#..."}},
      {bsDiagCross, {"#......#", ".#....#.", "..#..#..", "...##...", "...##...", "..#..#..", ".#....#.", "#......#"}},
  };
  for (const Case& c : cases) {
    Surface s(24, 24);
    s.C->Brush()->SetColor(clRed);
    s.C->Brush()->SetStyle(c.style);
    s.C->FillRect(Rect(0, 0, 24, 24));
    // The pattern repeats from the origin: check the cell at (8, 16) as well as the first.
    for (int oy : {0, 16})
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
          const TColor want = c.rows[y][x] == '#' ? clRed : kBack;
          ASSERT_EQ(s.At(8 + x, oy + y), want) << "style " << c.style << " at " << x << "," << y;
        }
  }
}

TEST(CanvasFill, FillRectAndFrameRectEdges) {
  Surface s;
  s.C->Brush()->SetColor(clGreen);
  s.C->FillRect(Rect(5, 5, 10, 8));
  EXPECT_EQ(s.At(5, 5), clGreen);
  EXPECT_EQ(s.At(9, 7), clGreen);
  EXPECT_EQ(s.At(10, 7), kBack);
  EXPECT_EQ(s.At(9, 8), kBack);
  // FillRect ignores the pen mode; an inverted rectangle paints nothing.
  s.C->Pen()->SetMode(pmXor);
  s.C->FillRect(Rect(5, 5, 10, 8));
  EXPECT_EQ(s.At(6, 6), clGreen);
  s.C->FillRect(Rect(30, 30, 20, 20));
  EXPECT_EQ(s.At(25, 25), kBack);

  s.C->Brush()->SetColor(clMaroon);
  s.C->FrameRect(Rect(20, 20, 30, 26));
  for (TPoint p : {Point(20, 20), Point(29, 20), Point(20, 25), Point(29, 25), Point(25, 20), Point(20, 23)})
    EXPECT_EQ(s.At(p.X, p.Y), clMaroon) << p.X << "," << p.Y;
  for (TPoint p : {Point(21, 21), Point(28, 24), Point(30, 22), Point(25, 26)}) EXPECT_EQ(s.At(p.X, p.Y), kBack);
}

TEST(CanvasFill, FloodFillSurfaceAndBorder) {
  Surface s;
  s.C->Brush()->SetStyle(bsClear);
  s.C->Rectangle(5, 5, 15, 15);
  s.C->Brush()->SetColor(clYellow);
  s.C->FloodFill(10, 10, kBack, fsSurface);
  EXPECT_EQ(s.At(6, 6), clYellow);
  EXPECT_EQ(s.At(13, 13), clYellow);
  EXPECT_EQ(s.At(5, 5), clBlack);
  EXPECT_EQ(s.At(20, 20), kBack);
  s.C->Brush()->SetColor(clAqua);
  s.C->FloodFill(10, 10, clBlack, fsBorder);
  EXPECT_EQ(s.At(6, 6), clAqua);
  EXPECT_EQ(s.At(4, 4), kBack);
}

TEST(CanvasText, TextOutFillsItsBoxUnlessTheBrushIsClear) {
  for (bool clear : {false, true}) {
    Surface s(120, 40);
    s.C->Font()->SetColor(clBlack);
    s.C->Brush()->SetColor(clYellow);
    if (clear) s.C->Brush()->SetStyle(bsClear);
    const TSize ext = s.C->TextExtent("Hi");
    ASSERT_GT(ext.cx, 4);
    ASSERT_GT(ext.cy, 8);
    s.C->TextOut(10, 5, "Hi");
    // The top row of the text box holds no glyph: background only.
    EXPECT_EQ(s.At(10, 5), clear ? kBack : clYellow);
    EXPECT_EQ(s.At(10 + ext.cx - 1, 5), clear ? kBack : clYellow);
    EXPECT_EQ(s.At(10 + ext.cx - 1, 5 + ext.cy - 1), clear ? kBack : clYellow);
    // Nothing outside the box.
    EXPECT_EQ(s.At(9, 5), kBack);
    EXPECT_EQ(s.At(10 + ext.cx, 5), kBack);
    EXPECT_EQ(s.At(10, 5 + ext.cy), kBack);
    // Some glyph pixels in the font colour.
    int dark = 0;
    for (int y = 5; y < 5 + ext.cy; ++y)
      for (int x = 10; x < 10 + ext.cx; ++x) dark += s.At(x, y) == clBlack;
    EXPECT_GT(dark, 5);
    EXPECT_EQ(s.C->PenPos(), Point(10 + ext.cx, 5));
  }
}

TEST(CanvasText, FontSizeHeightAndEscapement) {
  TFont f;
  struct Case { int size, height; } cases[] = {{8, -11}, {9, -12}, {10, -13}, {12, -16}};
  for (const Case& c : cases) {
    f.SetSize(c.size);
    EXPECT_EQ(f.Height(), c.height);
    EXPECT_EQ(f.Size(), c.size);
  }
  EXPECT_EQ(MapFontFamily("MS Sans Serif"), "DejaVu Sans");
  EXPECT_EQ(MapFontFamily("Courier New"), "DejaVu Sans Mono");
  EXPECT_EQ(MapFontFamily("Times New Roman"), "DejaVu Serif");

  // Text at 90 degrees runs upwards from its origin: the painted pixels form a tall, narrow box.
  Surface s(100, 100);
  s.C->Brush()->SetStyle(bsClear);
  s.C->Font()->SetColor(clBlack);
  s.C->Font()->SetOrientation(900);
  s.C->TextOut(40, 90, "WWWWWW");
  int minX = 100, maxX = -1, minY = 100, maxY = -1;
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x)
      if (s.At(x, y) != kBack) {
        minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
      }
  ASSERT_GE(maxX, 0);
  EXPECT_GT(maxY - minY, 2 * (maxX - minX));
  EXPECT_LE(maxY, 90);
  EXPECT_GE(minX, 40);
}

TEST(CanvasText, DrawTextAlignsAndMeasures) {
  Surface s(200, 60);
  TRect r = Rect(0, 0, 200, 60);
  const int h = s.C->DrawText("Line one\nLine two", r, DT_CALCRECT);
  EXPECT_EQ(h, 2 * s.C->TextHeight("L"));
  EXPECT_EQ(r.Bottom, h);
  EXPECT_EQ(r.Right, std::max(s.C->TextWidth("Line one"), s.C->TextWidth("Line two")));
  // Right-aligned single line: the text's right edge meets the rectangle's.
  s.C->Brush()->SetColor(clYellow);
  TRect box = Rect(10, 10, 190, 50);
  s.C->DrawText("abc", box, DT_RIGHT | DT_SINGLELINE | DT_VCENTER);
  const int w = s.C->TextWidth("abc"), th = s.C->TextHeight("abc");
  const int top = 10 + (40 - th) / 2;
  EXPECT_EQ(s.At(190 - w, top), clYellow);
  EXPECT_EQ(s.At(190 - w - 1, top), kBack);
  EXPECT_EQ(s.At(189, top), clYellow);
}

TEST(CanvasClip, PolygonRegionLimitsDrawing) {
  Surface s;
  const TRegion tri = TRegion::CreatePolygonRgn({Point(0, 0), Point(20, 0), Point(0, 20)}, ALTERNATE);
  EXPECT_TRUE(tri.PtInRegion(0, 0));
  EXPECT_TRUE(tri.PtInRegion(5, 5));
  EXPECT_FALSE(tri.PtInRegion(15, 15));
  EXPECT_FALSE(tri.PtInRegion(20, 0));  // the right edge is outside, as with rectangles
  s.C->SelectClipRgn(&tri);
  s.C->Brush()->SetColor(clRed);
  s.C->FillRect(Rect(0, 0, 40, 40));
  EXPECT_EQ(s.At(2, 2), clRed);
  EXPECT_EQ(s.At(15, 2), clRed);
  EXPECT_EQ(s.At(15, 15), kBack);
  EXPECT_EQ(s.At(30, 2), kBack);
  EXPECT_EQ(s.C->ClipRect(), tri.Bounds());

  s.C->SelectClipRgn(nullptr);
  s.C->IntersectClipRect(20, 20, 30, 30);
  s.C->ExcludeClipRect(22, 22, 28, 28);
  s.C->Brush()->SetColor(clBlue);
  s.C->FillRect(Rect(0, 0, 40, 40));
  EXPECT_EQ(s.At(20, 20), clBlue);
  EXPECT_EQ(s.At(25, 25), kBack);
  EXPECT_EQ(s.At(30, 30), kBack);

  const TRegion round = TRegion::CreateRoundRectRgn(0, 0, 20, 20, 10, 10);
  EXPECT_FALSE(round.PtInRegion(0, 0));
  EXPECT_TRUE(round.PtInRegion(10, 0));
  EXPECT_TRUE(round.PtInRegion(10, 10));
  EXPECT_FALSE(round.PtInRegion(20, 10));
}

TEST(CanvasClip, SaveDCAndRestoreDC) {
  Surface s;
  s.C->Pen()->SetColor(clRed);
  const int level = s.C->SaveDC();
  EXPECT_EQ(level, 1);
  s.C->Pen()->SetColor(clBlue);
  s.C->Font()->SetSize(20);
  s.C->SetClipRect(Rect(0, 0, 5, 5));
  EXPECT_EQ(s.C->SaveDC(), 2);
  s.C->Pen()->SetColor(clGreen);
  EXPECT_TRUE(s.C->RestoreDC(-1));
  EXPECT_EQ(s.C->Pen()->Color(), clBlue);
  EXPECT_TRUE(s.C->RestoreDC(level));
  EXPECT_EQ(s.C->Pen()->Color(), clRed);
  EXPECT_EQ(s.C->Font()->Size(), 8);
  EXPECT_FALSE(s.C->RestoreDC(1));
  s.C->Brush()->SetColor(clLime);
  s.C->FillRect(Rect(0, 0, 40, 40));
  EXPECT_EQ(s.At(30, 30), clLime);  // the clip went with the restore
}

// A 24-bit bitmap is copied from the rows it holds now: those written through ScanLine after
// its last drawing call included, each channel in its place, at the size asked, through the
// copy mode and the destination's clip, into 32- and 24-bit destinations alike.
TEST(CanvasCopy, TwentyFourBitSourceIsCopiedFromItsCurrentRows) {
  TBitmap src;
  src.SetPixelFormat(pf24bit);
  src.SetSize(12, 10);
  src.Canvas()->Brush()->SetColor(clRed);
  src.Canvas()->FillRect(Rect(0, 0, 12, 10));  // drawn once, so the canvas has its own copy
  auto colour = [](int x, int y) { return RGB(Byte(x * 20 + 3), Byte(y * 25 + 1), Byte(x * y + 7)); };
  for (int y = 0; y < 10; ++y) {
    Byte* row = static_cast<Byte*>(src.ScanLine(y));
    for (int x = 0; x < 12; ++x) {
      const TColor c = colour(x, y);  // rows hold blue, green, red
      row[3 * x] = Byte(c >> 16);
      row[3 * x + 1] = Byte(c >> 8);
      row[3 * x + 2] = Byte(c);
    }
  }
  struct Case {
    TPixelFormat Format;
    TCopyMode Mode;
    int Scale;
    bool Clipped;
  } cases[] = {{pf32bit, cmSrcCopy, 1, false}, {pf24bit, cmSrcCopy, 1, false}, {pf32bit, cmSrcCopy, 2, false},
               {pf32bit, cmSrcInvert, 1, false}, {pf32bit, cmSrcCopy, 1, true}, {pf24bit, cmSrcCopy, 2, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.Format) << " mode " << c.Mode << " x" << c.Scale << " clip " << c.Clipped);
    Surface d;
    d.Bmp.SetPixelFormat(c.Format);
    d.C = d.Bmp.Canvas();
    d.C->Brush()->SetColor(kBack);
    d.C->FillRect(Rect(0, 0, 40, 40));
    d.C->SetCopyMode(c.Mode);
    if (c.Clipped) d.C->SetClipRect(Rect(8, 9, 12, 30));
    // Source columns 2..10 and rows 3..8 to (5, 6).
    d.C->CopyRect(Rect(5, 6, 5 + 9 * c.Scale, 6 + 6 * c.Scale), src.Canvas(), Rect(2, 3, 11, 9));
    d.C->SelectClipRgn(nullptr);
    int bad = 0;
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 40; ++x) {
        bool inside = x >= 5 && x < 5 + 9 * c.Scale && y >= 6 && y < 6 + 6 * c.Scale;
        if (c.Clipped) inside = inside && x >= 8 && x < 12 && y >= 9 && y < 30;
        TColor want = kBack;
        if (inside) {
          const TColor s = colour(2 + (x - 5) / c.Scale, 3 + (y - 6) / c.Scale);
          want = c.Mode == cmSrcInvert ? (kBack ^ s) : s;
        }
        if (d.At(x, y) != want) ++bad;
      }
    EXPECT_EQ(bad, 0);
  }
}

TEST(CanvasCopy, CopyModesFocusRectAndTransparentDraw) {
  Surface s;
  s.Gradient();
  const std::vector<TColor> before = s.All();
  s.C->DrawFocusRect(Rect(3, 3, 30, 20));
  EXPECT_NE(s.All(), before);
  s.C->DrawFocusRect(Rect(3, 3, 30, 20));
  EXPECT_EQ(s.All(), before);

  Surface src(10, 10);
  src.C->Brush()->SetColor(0x00123456);
  src.C->FillRect(Rect(0, 0, 10, 10));
  s.C->SetCopyMode(cmSrcInvert);
  s.C->CopyRect(Rect(5, 5, 15, 15), src.C, Rect(0, 0, 10, 10));
  EXPECT_EQ(s.At(7, 7), before[7 * 40 + 7] ^ 0x00123456);
  s.C->CopyRect(Rect(5, 5, 15, 15), src.C, Rect(0, 0, 10, 10));
  EXPECT_EQ(s.All(), before);

  // A stretched copy doubles each source pixel.
  Surface d;
  src.C->SetPixel(0, 0, clRed);
  d.C->CopyRect(Rect(0, 0, 20, 20), src.C, Rect(0, 0, 10, 10));
  EXPECT_EQ(d.At(1, 1), clRed);
  EXPECT_EQ(d.At(2, 2), 0x00123456u);

  // A transparent bitmap leaves its key colour (bottom-left pixel by default) out.
  TBitmap thumb;
  thumb.SetPixelFormat(pf24bit);
  thumb.SetSize(4, 4);
  thumb.Canvas()->Brush()->SetColor(clFuchsia);
  thumb.Canvas()->FillRect(Rect(0, 0, 4, 4));
  thumb.Canvas()->SetPixel(1, 1, clNavy);
  thumb.SetTransparent(true);
  EXPECT_EQ(thumb.TransparentColor(), clFuchsia);
  Surface t;
  t.C->Draw(2, 2, &thumb);
  EXPECT_EQ(t.At(3, 3), clNavy);
  EXPECT_EQ(t.At(2, 2), kBack);
  thumb.SetTransparent(false);
  t.C->Draw(2, 2, &thumb);
  EXPECT_EQ(t.At(2, 2), clFuchsia);
}

TEST(CanvasLock, LockIsReentrantAndExcludesOtherThreads) {
  TBitmap b;
  b.SetSize(4, 4);
  TCanvas* c = b.Canvas();
  c->Lock();
  c->Lock();
  EXPECT_EQ(c->LockCount(), 2);
  std::atomic<bool> got{true};
  std::thread([&] { got = c->TryLock(); }).join();
  EXPECT_FALSE(got);
  c->Unlock();
  c->Unlock();
  std::thread([&] {
    got = c->TryLock();
    if (got) c->Unlock();
  }).join();
  EXPECT_TRUE(got);
}

TEST(Colors, SystemColoursResolveThroughTheStandardScheme) {
  struct Case { TColor in, want; } cases[] = {
      {clBtnFace, 0xC0C0C0}, {clBtnShadow, 0x808080}, {clBtnHighlight, 0xFFFFFF}, {cl3DDkShadow, 0},
      {clWindow, 0xFFFFFF}, {clHighlight, 0x800000}, {clInfoBk, 0xE1FFFF}, {0x80000010u, 0x808080},
      {0x00123456u, 0x00123456u}};
  for (const Case& c : cases) EXPECT_EQ(ColorToRGB(c.in), c.want) << std::hex << c.in;
  EXPECT_EQ(RGB(1, 2, 3), 0x00030201u);
  EXPECT_EQ(GetBValue(0x00030201u), 3);
  // System colours draw as their RGB value.
  Surface s;
  s.C->SetPixel(1, 1, clBtnShadow);
  EXPECT_EQ(s.At(1, 1), 0x808080u);
}

TEST(CanvasShapes, WildCoordinatesStayQuickAndSafe) {
  // Zoomed views hand the canvas coordinates far outside the surface; nothing may overflow or walk
  // billions of pixels, and the visible part still appears.
  Surface s;
  const int big = 2000000000;
  s.C->MoveTo(-big, 5);
  s.C->LineTo(big, 5);
  EXPECT_EQ(s.At(20, 5), clBlack);
  s.C->Brush()->SetColor(clRed);
  s.C->Rectangle(-big, -big, big, big);
  EXPECT_EQ(s.At(20, 20), clRed);
  s.C->Brush()->SetColor(clBlue);
  s.C->Ellipse(-big, -big, big, big);
  s.C->RoundRect(-big, -big, big, big, big, big);
  s.C->Polygon({Point(-big, -big), Point(big, 0), Point(0, big)});
  s.C->Arc(-big, -big, big, big, 0, 0, 1, 1);
  s.C->FillRect(Rect(-big, -big, big, big));
  EXPECT_EQ(s.At(20, 20), clBlue);
  s.C->TextOut(-big, -big, "x");
  s.C->SetClipRect(Rect(-big, -big, big, big));
  s.C->ExcludeClipRect(-big, -big, big, 10);
  s.C->FillRect(Rect(0, 0, 40, 40));
}

TEST(CanvasShapes, StyledPensRunTheirPatternAndFillGapsOnlyWithASolidBrush) {
  struct Case { TPenStyle style; const char* row; } cases[] = {
      {psDot, "###...###...###."},
      {psDash, "##################......########"},
      {psDashDot, "#########......###......#########"},
  };
  for (const Case& c : cases) {
    for (bool solid : {true, false}) {
      const int n = int(std::string(c.row).size());
      Surface s(n + 4, 4);
      s.C->Pen()->SetStyle(c.style);
      s.C->Brush()->SetColor(clYellow);
      if (!solid) s.C->Brush()->SetStyle(bsClear);
      s.C->MoveTo(0, 1);
      s.C->LineTo(n, 1);
      for (int x = 0; x < n; ++x) {
        const TColor want = c.row[x] == '#' ? clBlack : (solid ? clYellow : kBack);
        ASSERT_EQ(s.At(x, 1), want) << "style " << c.style << " x " << x << " solid " << solid;
      }
    }
  }
}

TEST(CanvasLock, WorkerThreadsDrawTheSamePixelsAsTheMainThread) {
  auto paint = [](TBitmap& b) {
    b.SetPixelFormat(pf24bit);
    b.SetSize(64, 32);
    TCanvas* c = b.Canvas();
    c->Lock();
    c->Brush()->SetColor(clSilver);
    c->FillRect(Rect(0, 0, 64, 32));
    c->Brush()->SetColor(clBlue);
    c->Ellipse(2, 2, 30, 30);
    c->Font()->SetColor(clRed);
    c->TextOut(30, 8, "Tab 1");
    c->Unlock();
  };
  TBitmap reference;
  paint(reference);
  std::vector<TBitmap> bitmaps(4);
  std::vector<std::thread> workers;
  for (TBitmap& b : bitmaps)
    workers.emplace_back([&paint, &b] {
      for (int i = 0; i < 20; ++i) paint(b);
    });
  for (std::thread& t : workers) t.join();
  for (TBitmap& b : bitmaps)
    for (int y = 0; y < 32; ++y)
      ASSERT_EQ(0, std::memcmp(b.ScanLine(y), reference.ScanLine(y), 64 * 3)) << "row " << y;
}

TEST(CanvasShapes, PixelsOutsideTheSurfaceAreInvalidAndIgnored) {
  Surface s(4, 4);
  for (TPoint p : {Point(-1, 0), Point(4, 0), Point(0, 4), Point(0, -1)}) {
    s.C->SetPixel(p.X, p.Y, clRed);
    EXPECT_EQ(s.At(p.X, p.Y), CLR_INVALID);
  }
  TBitmap none;
  EXPECT_EQ(none.Canvas()->Pixels(0, 0), CLR_INVALID);
  none.Canvas()->Rectangle(0, 0, 5, 5);  // nothing to draw on: no effect, no failure
}

TEST(CanvasShapes, ArcsRunCounterClockwiseFromStartToEnd) {
  // From the ray through the right point to the ray through the top point: the upper-right quarter.
  Surface s;
  s.C->Arc(0, 0, 21, 21, 30, 10, 10, -5);
  int upperRight = 0, others = 0;
  for (int y = 0; y < 21; ++y)
    for (int x = 0; x < 21; ++x)
      if (s.At(x, y) == clBlack) (x >= 10 && y <= 10 ? upperRight : others)++;
  EXPECT_GT(upperRight, 10);
  EXPECT_EQ(others, 0);
  // A pie over the same angles is filled inside that quarter only.
  Surface p;
  p.C->Brush()->SetColor(clRed);
  p.C->Pie(0, 0, 21, 21, 30, 10, 10, -5);
  EXPECT_EQ(p.At(14, 6), clRed);
  EXPECT_EQ(p.At(6, 14), kBack);
  EXPECT_EQ(p.At(6, 6), kBack);
}

// Plain rectangles (solid or inside-frame pens of any width, or none, with a solid or no brush)
// are filled as whole rectangles; on a black surface a merging pen gives the same pixels through
// the general coverage path, so both must agree pixel for pixel, also clipped and off the edges.
TEST(CanvasShapes, PlainRectanglesDrawTheSamePixelsAsTheGeneralPath) {
  struct Case {
    TPenStyle Pen;
    int Width;
    TBrushStyle Brush;
    TRect Box;
    bool Clip;
  } cases[] = {
      {psSolid, 1, bsSolid, Rect(5, 6, 30, 25), false},  {psSolid, 0, bsClear, Rect(5, 6, 30, 25), false},
      {psSolid, 1, bsSolid, Rect(5, 6, 6, 25), false},   {psSolid, 1, bsSolid, Rect(5, 6, 30, 7), false},
      {psSolid, 2, bsSolid, Rect(5, 6, 30, 25), false},  {psSolid, 3, bsClear, Rect(5, 6, 30, 25), false},
      {psSolid, 5, bsSolid, Rect(8, 8, 14, 13), false},  {psInsideFrame, 4, bsSolid, Rect(5, 6, 30, 25), false},
      {psInsideFrame, 9, bsSolid, Rect(5, 6, 15, 12), false}, {psClear, 1, bsSolid, Rect(5, 6, 30, 25), false},
      {psSolid, 3, bsSolid, Rect(-10, -4, 50, 33), false}, {psSolid, 2, bsSolid, Rect(5, 6, 30, 25), true},
      {psClear, 1, bsSolid, Rect(-20, 20, 20, 60), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(int(c.Pen)) + "/" + std::to_string(c.Width) + "/" + std::to_string(int(c.Brush)) +
                 " box " + std::to_string(c.Box.Left) + "," + std::to_string(c.Box.Top) + "," +
                 std::to_string(c.Box.Right) + "," + std::to_string(c.Box.Bottom) + (c.Clip ? " clipped" : ""));
    std::vector<TColor> pictures[2];
    for (int k = 0; k < 2; ++k) {
      Surface s;
      s.C->Brush()->SetColor(clBlack);
      s.C->FillRect(Rect(0, 0, 40, 40));
      if (c.Clip) s.C->IntersectClipRect(3, 9, 28, 35);
      s.C->Pen()->SetStyle(c.Pen);
      s.C->Pen()->SetWidth(c.Width);
      s.C->Pen()->SetColor(RGB(200, 40, 10));
      s.C->Pen()->SetMode(k == 0 ? pmCopy : pmMerge);
      s.C->Brush()->SetStyle(c.Brush);
      s.C->Brush()->SetColor(RGB(20, 90, 220));
      s.C->Rectangle(c.Box.Left, c.Box.Top, c.Box.Right, c.Box.Bottom);
      pictures[k] = s.All();
    }
    EXPECT_EQ(pictures[0], pictures[1]);
  }
}

TEST(CanvasText, TextDrawnAgainElsewhereIsTheSameInkMoved) {
  // Each line is drawn first at one place and then, half off the surface, at another: the
  // second drawing is the first moved, whatever was kept of the first. A changed size, colour,
  // angle or underline is never taken from an earlier line of the same text.
  int inkHeight[2] = {0, 0};
  for (int turn : {0, 300}) {
    SCOPED_TRACE("escapement " + std::to_string(turn));
    Surface a(120, 70), b(120, 70);
    for (Surface* s : {&a, &b}) {
      s->C->Brush()->SetStyle(bsClear);
      s->C->Font()->SetColor(clBlack);
      s->C->Font()->SetOrientation(turn);
    }
    a.C->TextOut(30, 40, "Ruler 12");
    b.C->TextOut(-9, 31, "Ruler 12");
    int ink = 0, top = 70, bottom = -1;
    for (int y = 0; y < 70; ++y)
      for (int x = 0; x < 120; ++x) {
        const int ax = x + 39, ay = y + 9;
        if (ax < 120 && ay < 70) EXPECT_EQ(b.At(x, y), a.At(ax, ay)) << x << "," << y;
        if (a.At(x, y) == clBlack) ++ink, top = std::min(top, y), bottom = y;
      }
    ASSERT_GT(ink, 20);
    inkHeight[turn ? 1 : 0] = bottom - top + 1;

    Surface big(120, 70), red(120, 70);
    for (Surface* s : {&big, &red}) {
      s->C->Brush()->SetStyle(bsClear);
      s->C->Font()->SetOrientation(turn);
    }
    big.C->Font()->SetColor(clBlack);
    big.C->Font()->SetSize(big.C->Font()->Size() * 2);
    big.C->TextOut(30, 40, "Ruler 12");
    red.C->Font()->SetColor(clRed);
    red.C->TextOut(30, 40, "Ruler 12");
    int bigInk = 0, redInk = 0, blackInRed = 0;
    for (int y = 0; y < 70; ++y)
      for (int x = 0; x < 120; ++x) {
        bigInk += big.At(x, y) == clBlack;
        redInk += red.At(x, y) == clRed;
        blackInRed += red.At(x, y) == clBlack;
      }
    EXPECT_GT(bigInk, ink * 3 / 2);
    EXPECT_EQ(redInk, ink);
    EXPECT_EQ(blackInRed, 0);
  }
  // Turned, the line climbs: its ink is taller than the upright line's.
  EXPECT_GT(inkHeight[1], inkHeight[0] + 10);
  Surface plain(80, 30), marked(80, 30);
  for (Surface* s : {&plain, &marked}) {
    s->C->Brush()->SetStyle(bsClear);
    s->C->Font()->SetColor(clBlack);
  }
  TRect r = Rect(5, 5, 75, 25);
  plain.C->DrawText("Ab", r, DT_SINGLELINE);
  marked.C->DrawText("&Ab", r, DT_SINGLELINE);
  EXPECT_NE(plain.All(), marked.All());
}
