// For platform/gui code only: the Qt objects behind the graphics vocabulary.
#pragma once

#include <memory>

#include <QColor>
#include <QFont>
#include <QImage>

#include "platform/gui/graphics.h"

// The image behind a bitmap, in the bitmap's own format (Format_Mono, Format_Indexed8,
// Format_RGB555, Format_RGB16, Format_BGR888 or Format_RGB32). Changing the pixels through this reference is allowed; call
// BitmapChanged afterwards. Keep no copy of it: a copy shares the rows, and the next write
// through ScanLine would then move them.
QImage& BitmapImage(TBitmap* Bitmap);
// The bitmap's pixels as a 32-bit image (Format_RGB32), a copy.
QImage BitmapToRGB32(const TBitmap* Bitmap);
// Replaces the bitmap's pixels with Image, converted to the nearest pixel format (Mono ->
// pf1bit, Indexed8 -> pf8bit, RGB555 -> pf15bit, RGB16 -> pf16bit, BGR888/RGB888 -> pf24bit,
// anything else -> pf32bit; alpha is dropped).
void AssignImageToBitmap(TBitmap* Bitmap, const QImage& Image);
void BitmapChanged(TBitmap* Bitmap);

// A canvas drawing straight into Target, which the caller owns and keeps alive (or replaces with
// SetCanvasImage before it goes). Target should be Format_RGB32 or Format_ARGB32_Premultiplied.
std::unique_ptr<TCanvas> CreateImageCanvas(QImage* Target);
// Points a canvas made by CreateImageCanvas at another image (nullptr: nothing to draw on).
void SetCanvasImage(TCanvas* Canvas, QImage* Target);

QColor ToQColor(TColor Color);
TColor FromQColor(const QColor& Color);
// The Qt font for a TFont (mapped family, pixel size, weight, italic, underline, strike-out).
QFont ToQFont(const TFont& Font);
