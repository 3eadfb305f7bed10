#include "app/fitted_drawing.h"

#include "platform/gui/graphics.h"
#include "platform/rtl/numerics.h"

void fit_rect(const TRect& Source, const TRect& Box, TRect& Result) {
  const double boxWidth = Box.Right - Box.Left;
  const double boxHeight = Box.Bottom - Box.Top;
  const double srcWidth = Source.Right - Source.Left;
  const double srcHeight = Source.Bottom - Source.Top;
  // An empty box or source gives infinities or NaN below; the guarded rounding keeps that
  // defined, and the caller has already refused empty pictures.
  const double a = srcWidth / boxWidth;
  const double b = srcHeight / boxHeight;
  if (a >= b) {
    const Integer c = SafeRound<Integer>((boxHeight - srcHeight / a) / 2);
    Result = Rect(Box.Left, Box.Top + c, Box.Right, Box.Bottom - c);
  } else {
    const Integer c = SafeRound<Integer>((boxWidth - srcWidth / b) / 2);
    Result = Rect(Box.Left + c, Box.Top, Box.Right - c, Box.Bottom);
  }
}

void draw_fitted(TCanvas* Canvas, TBitmap* Bitmap) {
  if (Int64(Bitmap->Width()) * Bitmap->Height() == 0) return;
  const TRect source = Bitmap->Canvas()->ClipRect();
  const TRect box = Canvas->ClipRect();
  TRect target;
  fit_rect(source, box, target);
  Canvas->StretchDraw(target, Bitmap);
}

TRect prepare_fitted(TBitmap* Bitmap, const TRect& Box, TBitmap* Fitted) {
  if (Int64(Bitmap->Width()) * Bitmap->Height() == 0) return TRect{};
  TRect target;
  fit_rect(Bitmap->Canvas()->ClipRect(), Box, target);
  Fitted->SetPixelFormat(pf32bit);
  Fitted->SetSize(target.Width(), target.Height());
  Fitted->Canvas()->StretchDraw(Rect(0, 0, target.Width(), target.Height()), Bitmap);
  return target;
}
