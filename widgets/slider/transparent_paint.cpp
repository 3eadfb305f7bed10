#include "widgets/slider/transparent_paint.h"

#include <cstdint>

namespace {

// Restores a canvas setting when drawing ends, also when it ends by an exception.
struct CopyModeKeeper {
  TCanvas* Canvas;
  TCopyMode Saved;
  CopyModeKeeper(TCanvas* C, TCopyMode Mode) : Canvas(C), Saved(C->CopyMode()) { C->SetCopyMode(Mode); }
  ~CopyModeKeeper() { Canvas->SetCopyMode(Saved); }
};

}  // namespace

void TransparentStretchBlit(TCanvas* Dest, const TRect& DestRect, TBitmap* Source, const TRect& SourceRect,
                            TColor TransparentRGB) {
  const Integer dw = RectWidthOf(DestRect), dh = RectHeightOf(DestRect);
  const Integer sw = RectWidthOf(SourceRect), sh = RectHeightOf(SourceRect);
  if (!Dest || !Source || dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return;

  // The destination's current pixels are combined with the opaque source pixels in memory and
  // put back in one copy: the background survives exactly where the source is transparent.
  TBitmap work;
  work.SetPixelFormat(pf32bit);
  work.SetSize(dw, dh);
  {
    CopyModeKeeper keep(work.Canvas(), cmSrcCopy);
    work.Canvas()->CopyRect(Rect(0, 0, dw, dh), Dest, DestRect);
  }
  const TColor key = TransparentRGB & 0xFFFFFFu;
  for (Integer y = 0; y < dh; ++y) {
    const Integer syy = SourceRect.Top + Integer((Int64(y) * sh) / dh);
    auto* row = static_cast<std::uint8_t*>(work.ScanLine(y));
    for (Integer x = 0; x < dw; ++x) {
      const Integer sxx = SourceRect.Left + Integer((Int64(x) * sw) / dw);
      const TColor c = Source->PixelColor(sxx, syy);
      if (c == CLR_INVALID || c == key) continue;
      row[x * 4 + 0] = GetBValue(c);
      row[x * 4 + 1] = GetGValue(c);
      row[x * 4 + 2] = GetRValue(c);
      row[x * 4 + 3] = 0xFF;
    }
  }
  CopyModeKeeper keep(Dest, cmSrcCopy);
  Dest->CopyRect(DestRect, work.Canvas(), Rect(0, 0, dw, dh));
}

void StretchPaintTransparent(TCanvas* Dest, TBitmap* Bitmap, TColor TransparentColor, Integer dx, Integer dy,
                             Integer dw, Integer dh, Integer sx, Integer sy, Integer sw, Integer sh) {
  if (!Dest || !Bitmap || Bitmap->Empty()) return;
  if (dw <= 0) dw = Bitmap->Width();
  if (dh <= 0) dh = Bitmap->Height();
  if (sw <= 0 || sh <= 0) {
    sx = 0;
    sy = 0;
    sw = Bitmap->Width();
    sh = Bitmap->Height();
  }
  // While the bitmap is being read its change notification would only rebuild the caller's
  // layout for nothing.
  TNotifyEvent savedChange = Bitmap->OnChange;
  Bitmap->OnChange = nullptr;
  struct Restore {
    TBitmap* B;
    TNotifyEvent& E;
    ~Restore() { B->OnChange = E; }
  } restore{Bitmap, savedChange};

  const TRect d = Rect(dx, dy, dx + dw, dy + dh);
  const TRect s = Rect(sx, sy, sx + sw, sy + sh);
  if (TransparentColor == clNoTransparency) {
    Dest->CopyRect(d, Bitmap->Canvas(), s);
    return;
  }
  TColor key;
  if (TransparentColor == clBottomLeftPixel)
    key = Bitmap->PixelColor(0, Bitmap->Height() - 1);
  else
    key = ColorToRGB(TransparentColor);
  if (Bitmap->Monochrome()) key = clWhite;
  TransparentStretchBlit(Dest, d, Bitmap, s, key);
}

void PaintBitmapRectTransparent(TCanvas* Dest, Integer X, Integer Y, const TRect& SourceRect, TBitmap* Bitmap,
                                TColor TransparentColor) {
  StretchPaintTransparent(Dest, Bitmap, TransparentColor, X, Y, RectWidthOf(SourceRect), RectHeightOf(SourceRect),
                          SourceRect.Left, SourceRect.Top, RectWidthOf(SourceRect), RectHeightOf(SourceRect));
}

void PaintBitmapTransparent(TCanvas* Dest, Integer X, Integer Y, TBitmap* Bitmap, TColor TransparentColor) {
  if (!Bitmap) return;
  StretchPaintTransparent(Dest, Bitmap, TransparentColor, X, Y, Bitmap->Width(), Bitmap->Height(), 0, 0,
                          Bitmap->Width(), Bitmap->Height());
}
