// Drawing a selection mask on framework canvases and bitmaps: the view's selection display. Kept
// apart from the mask's pixel work so that a program which only reads and writes images (GIF
// transparency masks, the alpha of a reader) does not link the framework's drawing classes.
#include <cstring>

#include "imaging/core/ie_bits.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_mask.h"
#include "platform/gui/bitmap.h"
#include "platform/gui/canvas.h"
#include "platform/rtl/numerics.h"

void TIEMask::DrawToCanvas(TCanvas* Canvas, Integer XDest, Integer YDest, Integer DestWidth, Integer DestHeight,
                           Integer XSrc, Integer YSrc, Integer SrcWidth, Integer SrcHeight) {
  if (!Canvas || BitsPerPixel != 1 || IsEmpty()) return;
  // The shown rectangle of the mask, inside the mask.
  const Integer left = IEMax(XSrc, 0), top = IEMax(YSrc, 0);
  const Integer right = IEMin(XSrc + SrcWidth, Width), bottom = IEMin(YSrc + SrcHeight, Height);
  if (right <= left || bottom <= top || DestWidth == 0 || DestHeight == 0) return;
  // White where selected, black elsewhere: drawn with source-invert, only the selection changes.
  TBitmap picture;
  picture.SetPixelFormat(pf32bit);
  picture.SetSize(right - left, bottom - top);
  for (Integer y = top; y < bottom; ++y) {
    DWORD* out = static_cast<DWORD*>(picture.ScanLine(y - top));
    const Byte* row = GetScanline(y);
    for (Integer x = left; x < right; ++x) out[x - left] = IEGetBit(row, x) ? 0x00FFFFFFu : 0;
  }
  // The destination part that shows the clipped source rectangle.
  const auto scale = [](Integer Edge, Integer From, Integer Size, Integer DestFrom, Integer DestSize) {
    return DestFrom + static_cast<Integer>(Int64(Edge - From) * DestSize / Size);
  };
  const TRect dest{scale(left, XSrc, SrcWidth, XDest, DestWidth), scale(top, YSrc, SrcHeight, YDest, DestHeight),
                   scale(right, XSrc, SrcWidth, XDest, DestWidth), scale(bottom, YSrc, SrcHeight, YDest, DestHeight)};
  const TCopyMode saved = Canvas->CopyMode();
  Canvas->SetCopyMode(cmSrcInvert);
  Canvas->CopyRect(dest, picture.Canvas(), TRect{0, 0, right - left, bottom - top});
  Canvas->SetCopyMode(saved);
}

void TIEMask::DrawBorder(TCanvas* Canvas, Integer DestX, Integer DestY, Integer DestWidth, Integer DestHeight,
                         Integer SrcX, Integer SrcY, Integer SrcWidth, Integer SrcHeight, Integer Offset,
                         TColor Color1, TColor Color2) {
  if (!Canvas || DestWidth <= 0 || DestHeight <= 0 || IsEmpty() || BitsPerPixel == 0) return;
  StretchToBuffer(DestWidth, DestHeight, SrcX, SrcY, SrcWidth, SrcHeight);
  const TMappedBox box = MapBox(SrcX, SrcY, SrcWidth, SrcHeight);
  for (Integer y = box.Top; y <= box.Bottom; ++y)
    for (Integer x = box.Left; x <= box.Right; ++x) {
      if (!BufferPixel(x, y) || !DrawBorderPixel(x, y, SrcWidth, SrcHeight)) continue;
      const Integer cx = x + DestX, cy = y + DestY;
      Canvas->SetPixel(cx, cy, ((cx + cy + Offset) & 7) < 4 ? Color2 : Color1);
    }
}

void TIEMask::DimOutside(TBitmap* Bitmap, Integer DestX, Integer DestY, Integer DestWidth, Integer DestHeight,
                         Integer SrcX, Integer SrcY, Integer SrcWidth, Integer SrcHeight) {
  if (!Bitmap || DestWidth <= 0 || DestHeight <= 0 || IsEmpty() || BitsPerPixel == 0) return;
  if (Bitmap->PixelFormat() != pf24bit) return;
  // A destination that starts above or left of the bitmap shows a later part of the source.
  if (DestY < 0) {
    SrcY += SafeRound<Integer>(double(-DestY) * SrcHeight / DestHeight);
    SrcHeight -= SafeRound<Integer>(double(-DestY) * SrcHeight / DestHeight);
    DestHeight += DestY;
    DestY = 0;
  }
  if (DestX < 0) {
    SrcX += SafeRound<Integer>(double(-DestX) * SrcWidth / DestWidth);
    SrcWidth -= SafeRound<Integer>(double(-DestX) * SrcWidth / DestWidth);
    DestWidth += DestX;
    DestX = 0;
  }
  if (DestWidth <= 0 || DestHeight <= 0 || SrcWidth <= 0 || SrcHeight <= 0) return;
  StretchToBuffer(DestWidth, DestHeight, SrcX, SrcY, SrcWidth, SrcHeight);
  const TMappedBox box = MapBox(SrcX, SrcY, SrcWidth, SrcHeight);
  const Integer bitmapWidth = Bitmap->Width(), bitmapHeight = Bitmap->Height();
  for (Integer y = 0; y < DestHeight && y + DestY < bitmapHeight; ++y) {
    Byte* row = static_cast<Byte*>(Bitmap->ScanLine(y + DestY));
    for (Integer x = (y & 1); x < DestWidth && x + DestX < bitmapWidth; x += 2) {
      const bool inside = FBufferSourceX[x] < Width && FBufferSourceY[y] < Height;
      const bool boxed = x >= box.Left && x <= box.Right && y >= box.Top && y <= box.Bottom;
      if (inside && !(boxed && BufferPixel(x, y))) std::memset(row + 3 * (x + DestX), 97, 3);
    }
  }
}
