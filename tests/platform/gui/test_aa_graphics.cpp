#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include "platform/gui/aa_graphics.h"
#include "platform/gui/graphics.h"

TEST(AAGraphics, RectangleOutlinesAreThePaintersOwnStroke) {
  // Outlines drawn on a bitmap against Qt's stroke of the same rectangle through pixel centres,
  // pixel for pixel: widths odd and even, both smoothing modes, each corner join, boxes inside,
  // across the edges and no larger than the pen, opaque and translucent pens. (Smooth opaque
  // outlines wider than a pixel that the service rasterises itself are compared with a
  // tolerance in the next test.)
  struct Case {
    bool AntiAlias;
    float Width;
    Integer Join;
    float X, Y, W, H;
    DWORD ARGB;
  } Cases[] = {
      {true, 3, 0, 10, 12, 30, 20, 0xFF336699u},  {true, 5, 0, 11, 13, 9, 6, 0xFF336699u},
      {true, 3, 1, 10, 12, 30, 20, 0xFF336699u},
      {true, 3, 0, 10, 12, 30, 20, 0x80336699u},  {true, 3, 0, 60, 50, 30, 25, 0xFF336699u},
      {true, 3, 0, 10, 12, 3, 20, 0xFF336699u},   {false, 1, 2, 10, 12, 30, 20, 0xFF336699u},
      {false, 1, 0, 60, 12, 30, 20, 0xFF336699u}, {false, 3, 0, 10, 12, 30, 20, 0xFF336699u},
      {false, 3, 2, 10, 12, 30, 20, 0xFF336699u}, {false, 7, 0, 12, 11, 8, 8, 0xFF336699u},
      {false, 3, 0, 10.5f, 12, 30, 20, 0xFF336699u},
  };
  for (const Case& c : Cases) {
    SCOPED_TRACE(std::string(c.AntiAlias ? "smooth" : "aliased") + " width " + std::to_string(c.Width) + " join " +
                 std::to_string(c.Join) + " at " + std::to_string(c.X) + "," + std::to_string(c.Y) + " " +
                 std::to_string(c.W) + "x" + std::to_string(c.H));
    TBitmap B;
    B.SetPixelFormat(pf32bit);
    B.SetSize(80, 70);
    B.Canvas()->Brush()->SetColor(RGB(0xC0, 0xD0, 0xE0));
    B.Canvas()->FillRect(Rect(0, 0, 80, 70));
    TAAGraphics G(B.Canvas());
    G.SetAntiAlias(c.AntiAlias);
    TAAPen Pen;
    Pen.ARGB = c.ARGB, Pen.Width = c.Width, Pen.LineJoin = c.Join;
    G.DrawRectangle(Pen, c.X, c.Y, c.W, c.H);

    QImage Want(80, 70, QImage::Format_RGB32);
    Want.fill(QColor(0xC0, 0xD0, 0xE0));
    {
      QPainter P(&Want);
      P.setRenderHint(QPainter::Antialiasing, c.AntiAlias);
      P.translate(0.5, 0.5);
      QPen Q(QColor::fromRgba(c.ARGB));
      Q.setWidthF(c.Width);
      Q.setCapStyle(Qt::FlatCap);
      Q.setJoinStyle(c.Join == 0 ? Qt::MiterJoin : c.Join == 1 ? Qt::BevelJoin : Qt::RoundJoin);
      P.setPen(Q);
      P.setBrush(Qt::NoBrush);
      P.drawRect(QRectF(c.X, c.Y, c.W, c.H));
    }
    Integer Wrong = 0;
    for (int y = 0; y < 70; ++y)
      for (int x = 0; x < 80; ++x) {
        const QRgb w = Want.pixel(x, y);
        Wrong += B.Canvas()->Pixels(x, y) != RGB(qRed(w), qGreen(w), qBlue(w));
      }
    EXPECT_EQ(Wrong, 0);
  }
}

namespace {

enum class TKind { Lines, Polygon, Rectangle, Ellipse, Arc };

struct TStrokeCase {
  TKind Kind;
  float Width;
  Integer Join;
  std::vector<TPoint> Points;  // the figure, or a box's corners (left top, width height)
  float Start = 0, Sweep = 0;  // arcs, in degrees clockwise
};

std::string Describe(const TStrokeCase& c) {
  static const char* names[] = {"lines", "polygon", "rectangle", "ellipse", "arc"};
  std::string s = std::string(names[int(c.Kind)]) + " width " + std::to_string(c.Width) + " join " +
                  std::to_string(c.Join);
  for (const TPoint& p : c.Points) s += " (" + std::to_string(p.X) + "," + std::to_string(p.Y) + ")";
  return s;
}

void DrawOurs(TAAGraphics& G, const TStrokeCase& c) {
  TAAPen Pen;
  Pen.ARGB = 0xFF1F3F9Fu, Pen.Width = c.Width, Pen.LineJoin = c.Join;
  const std::vector<TPoint>& p = c.Points;
  switch (c.Kind) {
    case TKind::Lines: G.DrawLines(Pen, p); break;
    case TKind::Polygon: G.DrawPolygon(Pen, p); break;
    case TKind::Rectangle: G.DrawRectangle(Pen, p[0].X, p[0].Y, p[1].X, p[1].Y); break;
    case TKind::Ellipse: G.DrawEllipse(Pen, p[0].X, p[0].Y, p[1].X, p[1].Y); break;
    case TKind::Arc: G.DrawArc(Pen, p[0].X, p[0].Y, p[1].X, p[1].Y, c.Start, c.Sweep); break;
  }
}

// The same figure stroked by the painter itself, as the graphics service draws it when it does
// not rasterise the stroke on its own.
void DrawPainters(QImage& Img, const TStrokeCase& c) {
  QPainter P(&Img);
  P.setRenderHint(QPainter::Antialiasing, true);
  P.translate(0.5, 0.5);
  QPen Q(QColor::fromRgba(0xFF1F3F9Fu));
  Q.setWidthF(c.Width);
  Q.setCapStyle(Qt::FlatCap);
  Q.setJoinStyle(c.Join == 0 ? Qt::MiterJoin : c.Join == 1 ? Qt::BevelJoin : Qt::RoundJoin);
  P.setPen(Q);
  P.setBrush(Qt::NoBrush);
  QPolygon poly;
  for (const TPoint& p : c.Points) poly << QPoint(p.X, p.Y);
  const std::vector<TPoint>& p = c.Points;
  const QRectF box(p[0].X, p[0].Y, p[1].X, p[1].Y);
  switch (c.Kind) {
    case TKind::Lines: P.drawPolyline(poly); break;
    case TKind::Polygon: P.drawPolygon(poly); break;
    case TKind::Rectangle: P.drawRect(box); break;
    case TKind::Ellipse: P.drawEllipse(box); break;
    case TKind::Arc: {
      QPainterPath path;
      path.arcMoveTo(box, -c.Start);
      path.arcTo(box, -c.Start, -c.Sweep);
      P.drawPath(path);
      break;
    }
  }
}

}  // namespace

TEST(AAGraphics, WideStrokesMatchThePaintersWithinRounding) {
  // Wide solid strokes are rasterised by the graphics service itself; against the painter's
  // own stroke of the same figure, over two-point lines at many angles, corners of every join, closed
  // and open figures, boxes at whole and half pixels, ellipses and arcs, pens 1.5 to 7 wide
  // (boxes from 1).
  // Straight figures have the same coverage up to rounding: no channel more than 56 levels off
  // (of 193 between ink and paper), at most 1 pixel in 40 of those touched more than 8 off
  // (a one-pixel box differs in its four corners).
  // Curves are offset along their true normals here, while the painter offsets its Bezier
  // pieces and drifts by up to about half a pixel where an ellipse bends fastest (checked
  // against an 8 x 8 supersampled stroke): up to 96 levels, a third of the pixels.
  std::vector<TStrokeCase> Cases;
  for (const float w : {1.5f, 2.0f, 3.0f, 4.0f, 7.0f}) {
    for (int a = 0; a < 360; a += 25) {
      const double r = a * 3.14159265358979 / 180;
      const TPoint end{60 + int(std::lround(45 * std::cos(r))), 50 + int(std::lround(35 * std::sin(r)))};
      Cases.push_back({TKind::Lines, w, 2, {{60, 50}, end}});
    }
    for (Integer join = 0; join < 3; ++join) {
      Cases.push_back({TKind::Lines, w, join, {{12, 15}, {60, 20}, {40, 70}, {100, 60}, {108, 12}}});
      Cases.push_back({TKind::Polygon, w, join, {{20, 20}, {95, 30}, {70, 85}, {15, 60}}});
      Cases.push_back({TKind::Rectangle, w, join, {{14, 16}, {70, 50}}});
    }
    Cases.push_back({TKind::Lines, w, 2, {{20, 20}, {80, 20}, {30, 22}}});  // a sharp turn back
    Cases.push_back({TKind::Rectangle, w - 0.5f, 0, {{30, 25}, {51, 33}}});
    Cases.push_back({TKind::Ellipse, w, 2, {{15, 12}, {90, 70}}});
    Cases.push_back({TKind::Ellipse, w, 2, {{30, 20}, {40, 65}}});
    Cases.push_back({TKind::Arc, w, 2, {{15, 12}, {90, 70}}, 30, 200});
    Cases.push_back({TKind::Arc, w, 2, {{25, 15}, {70, 60}}, -120, -90});
  }
  int worstMax = 0, worstCurveMax = 0;
  double worstShare = 0, worstCurveShare = 0;
  for (const TStrokeCase& c : Cases) {
    SCOPED_TRACE(Describe(c));
    constexpr int W = 120, H = 100;
    TBitmap B;
    B.SetPixelFormat(pf32bit);
    B.SetSize(W, H);
    B.Canvas()->Brush()->SetColor(RGB(0xE0, 0xD0, 0xC0));
    B.Canvas()->FillRect(Rect(0, 0, W, H));
    TAAGraphics G(B.Canvas());
    DrawOurs(G, c);
    QImage Want(W, H, QImage::Format_RGB32);
    Want.fill(QColor(0xE0, 0xD0, 0xC0));
    DrawPainters(Want, c);

    int maxDiff = 0, off = 0, touched = 0;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const QRgb w = Want.pixel(x, y);
        const TColor g = B.Canvas()->Pixels(x, y);
        const int d = std::max({std::abs(qRed(w) - int(GetRValue(g))), std::abs(qGreen(w) - int(GetGValue(g))),
                                std::abs(qBlue(w) - int(GetBValue(g)))});
        touched += w != qRgb(0xE0, 0xD0, 0xC0) || g != RGB(0xE0, 0xD0, 0xC0);
        maxDiff = std::max(maxDiff, d);
        off += d > 8;
      }
    ASSERT_GT(touched, 0);
    const bool curve = c.Kind == TKind::Ellipse || c.Kind == TKind::Arc;
    EXPECT_LE(maxDiff, curve ? 96 : 56);
    EXPECT_LE(off * (curve ? 3 : 40), touched) << off << " of " << touched << " pixels off";
    int& worst = curve ? worstCurveMax : worstMax;
    double& share = curve ? worstCurveShare : worstShare;
    worst = std::max(worst, maxDiff);
    share = std::max(share, double(off) / touched);
  }
  std::printf("straight figures: largest channel difference %d, largest share of touched pixels more than 8 off "
              "%.4f; curves: %d, %.4f\n",
              worstMax, worstShare, worstCurveMax, worstCurveShare);
}

TEST(AAGraphics, SmoothBoxFillsAreThePaintersWithinRounding) {
  // Opaque boxes filled smoothly at whole and fractional edges, against the painter's fill of
  // the same box; a box with no opacity leaves the bitmap as it was.
  struct Case {
    float X, Y, W, H;
    DWORD ARGB;
  } Cases[] = {{10, 12, 30, 20, 0xFF336699u},      {10.5f, 12.25f, 30.5f, 20.6f, 0xFF336699u},
               {3.3f, 4.7f, 0.4f, 9.2f, 0xFF336699u}, {0, 0, 80, 70, 0xFFFFFFFFu},
               {20, 20, 10, 10, 0x00336699u}};
  for (const Case& c : Cases) {
    SCOPED_TRACE(std::to_string(c.X) + "," + std::to_string(c.Y) + " " + std::to_string(c.W) + "x" +
                 std::to_string(c.H));
    TBitmap B;
    B.SetPixelFormat(pf32bit);
    B.SetSize(80, 70);
    B.Canvas()->Brush()->SetColor(RGB(0xC0, 0xD0, 0xE0));
    B.Canvas()->FillRect(Rect(0, 0, 80, 70));
    TAAGraphics G(B.Canvas());
    TAABrush Brush;
    Brush.ARGB = c.ARGB;
    G.FillRectangle(Brush, c.X, c.Y, c.W, c.H);

    QImage Want(80, 70, QImage::Format_RGB32);
    Want.fill(QColor(0xC0, 0xD0, 0xE0));
    {
      QPainter P(&Want);
      P.setRenderHint(QPainter::Antialiasing, true);
      P.setPen(Qt::NoPen);
      P.setBrush(QColor::fromRgba(c.ARGB));
      P.drawRect(QRectF(c.X, c.Y, c.W, c.H));
    }
    int maxDiff = 0;
    for (int y = 0; y < 70; ++y)
      for (int x = 0; x < 80; ++x) {
        const QRgb w = Want.pixel(x, y);
        const TColor g = B.Canvas()->Pixels(x, y);
        maxDiff = std::max({maxDiff, std::abs(qRed(w) - int(GetRValue(g))), std::abs(qGreen(w) - int(GetGValue(g))),
                            std::abs(qBlue(w) - int(GetBValue(g)))});
      }
    EXPECT_LE(maxDiff, 2);
  }
}
