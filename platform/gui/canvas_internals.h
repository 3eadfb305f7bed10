// For the graphics units only: pixel-level services of the canvas shared with the bitmap.
#pragma once

#include <optional>

#include <QImage>
#include <QRect>
#include <QRegion>

#include "platform/gui/canvas.h"

struct CanvasAccess {
  // Copies SourceRect of Source (a 32-bit image, or 24-bit B,G,R bytes) into Dest of the canvas,
  // scaled by nearest pixel, through the canvas clip with the ternary raster operation Rop.
  // Source pixels equal to TransparentRgb (0xRRGGBB) are skipped. Source may be the canvas's own
  // image.
  static void Blit(TCanvas* Canvas, const QImage& Source, const QRect& SourceRect, const TRect& Dest,
                   std::optional<QRgb> TransparentRgb, TCopyMode Rop);
  static QImage* Begin(TCanvas* Canvas) { return Canvas->BeginDrawing(); }
  static void Finish(TCanvas* Canvas, bool Modified) { Canvas->FinishDrawing(Modified); }
  static const QImage* BeginReading(TCanvas* Canvas) { return Canvas->BeginReading(); }
  static void FinishReading(TCanvas* Canvas) { Canvas->FinishReading(); }
  static void Changing(TCanvas* Canvas) { Canvas->Changing(); }
  static void Changed(TCanvas* Canvas) { Canvas->Changed(); }
};

struct TRegion::Data {
  QRegion Region;
};

// 0x00BBGGRR <-> 0x00RRGGBB.
inline QRgb ColorToRgbBits(TColor c) {
  c = ColorToRGB(c);
  return ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}
inline TColor RgbBitsToColor(QRgb v) { return ((v & 0xFFu) << 16) | (v & 0xFF00u) | ((v >> 16) & 0xFFu); }
