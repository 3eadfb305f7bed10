// Copying a bitmap (or part of it) onto a canvas with one colour left out, so that the slider's
// pictures can have irregular outlines over any background.
#pragma once

#include "platform/gui/graphics.h"

// Colour sentinels understood by StretchPaintTransparent.
inline constexpr TColor clNoTransparency = 0x1FFFFFFFu;
inline constexpr TColor clBottomLeftPixel = 0x20000000u;

// Copies SourceRect of Source, scaled to DestRect of Dest, except the source pixels that have
// TransparentRGB (a plain 0x00BBGGRR colour). Scaling picks the nearest source pixel.
void TransparentStretchBlit(TCanvas* Dest, const TRect& DestRect, TBitmap* Source, const TRect& SourceRect,
                            TColor TransparentRGB);

// A zero or negative destination size takes the bitmap's size; a zero or negative source size
// takes the whole bitmap. TransparentColor may be a system colour or one of the sentinels above.
void StretchPaintTransparent(TCanvas* Dest, TBitmap* Bitmap, TColor TransparentColor, Integer dx, Integer dy,
                             Integer dw, Integer dh, Integer sx, Integer sy, Integer sw, Integer sh);
void PaintBitmapRectTransparent(TCanvas* Dest, Integer X, Integer Y, const TRect& SourceRect, TBitmap* Bitmap,
                                TColor TransparentColor);
void PaintBitmapTransparent(TCanvas* Dest, Integer X, Integer Y, TBitmap* Bitmap, TColor TransparentColor);

inline Integer RectWidthOf(const TRect& R) { return R.Right - R.Left; }
inline Integer RectHeightOf(const TRect& R) { return R.Bottom - R.Top; }
// All four edges count as inside (the slider's thumb hit test relies on it).
inline bool PointInsideRect(const TPoint& P, const TRect& R) {
  return P.X >= R.Left && P.X <= R.Right && P.Y >= R.Top && P.Y <= R.Bottom;
}
inline Integer IntMax(Integer A, Integer B) { return A > B ? A : B; }
inline Integer IntMin(Integer A, Integer B) { return A < B ? A : B; }
