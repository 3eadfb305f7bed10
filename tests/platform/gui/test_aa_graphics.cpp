#include <gtest/gtest.h>

#include <string>

#include <QImage>
#include <QPainter>

#include "platform/gui/aa_graphics.h"
#include "platform/gui/graphics.h"

TEST(AAGraphics, RectangleOutlinesAreThePaintersOwnStroke) {
  // Outlines drawn on a bitmap against Qt's stroke of the same rectangle through pixel centres,
  // pixel for pixel: widths odd and even, both smoothing modes, each corner join, boxes inside,
  // across the edges and no larger than the pen, opaque and translucent pens.
  struct Case {
    bool AntiAlias;
    float Width;
    Integer Join;
    float X, Y, W, H;
    DWORD ARGB;
  } Cases[] = {
      {true, 3, 0, 10, 12, 30, 20, 0xFF336699u},  {true, 5, 0, 11, 13, 9, 6, 0xFF336699u},
      {true, 1, 0, 10, 12, 30, 20, 0xFF336699u},  {true, 2, 0, 10, 12, 30, 20, 0xFF336699u},
      {true, 3, 2, 10, 12, 30, 20, 0xFF336699u},  {true, 3, 1, 10, 12, 30, 20, 0xFF336699u},
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
