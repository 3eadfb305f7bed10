#include "imaging/core/ie_text_boxes.h"

#include <cstring>

#include "imaging/core/ie_canvas.h"
#include "imaging/core/ie_drawing.h"
#include "imaging/core/ie_helpers.h"

void IEDrawHintBox(TCanvas* Canvas, Integer& X, Integer& Y, const AnsiString& Text, TFont* Font, TBrush* Brush,
                   std::unique_ptr<TBitmap>& SaveBitmap, Integer Width, Integer Height, TColor Color1, TColor Color2) {
  if (Font) Canvas->SetFont(Font);
  if (Brush) Canvas->SetBrush(Brush);
  const Integer w = Canvas->TextWidth(Text) + 12, h = Canvas->TextHeight(Text) + 12;
  X = IEMax(X, 0);
  Y = IEMax(Y, 0);
  X = IEMin(X, Width - 1 - w);
  Y = IEMin(Y, Height - 1 - h);
  SaveBitmap = std::make_unique<TBitmap>();
  SaveBitmap->SetPixelFormat(pf24bit);
  SaveBitmap->SetSize(w, h);
  SaveBitmap->Canvas()->SetCopyMode(cmSrcCopy);
  SaveBitmap->Canvas()->CopyRect(TRect{0, 0, w, h}, Canvas, TRect{X, Y, X + w, Y + h});
  Canvas->FillRect(TRect{X + 6, Y + 6, X + w, Y + h});
  IEDraw3DFrame(Canvas, X + 6, Y + 6, X + w - 1, Y + h - 1, Color1, Color2);
  Canvas->TextOut(X + 9, Y + 9, Text);
}

void IEDrawInfoBox(TCanvas* Canvas, Integer& X, Integer& Y, const AnsiString& Text, const AnsiString& WidthText) {
  TIECanvas c(Canvas, true, true);
  TFont* font = c.GetFont();
  font->SetName("Arial");
  font->SetSize(9);
  font->SetColor(0);
  c.Brush()->SetColor(0x60FFFF);
  c.Brush()->SetStyle(bsSolid);
  c.Brush()->SetTransparency(128);
  const Integer w = IEMax(c.TextWidth(Text) + 12, c.TextWidth(WidthText) + 12), h = c.TextHeight(Text) + 12;
  X = IEMax(X, 0);
  Y = IEMax(Y, 0);
  c.FillRect(TRect{X + 6, Y + 6, X + w, Y + h});
  IEDraw3DFrameIE(&c, X + 6, Y + 6, X + w - 1, Y + h - 1, 0xFFFFFF, 0x808080);
  c.Brush()->SetStyle(bsClear);
  c.TextOut(X + 9, Y + 9, Text);
}

namespace {
Integer OpenSessions = 0;
}

TIEDrawDibHandle IEDrawDibOpen() { return ++OpenSessions; }
bool IEDrawDibClose(TIEDrawDibHandle Handle) { return Handle > 0; }
Integer IEDrawDibRealize(TIEDrawDibHandle, TCanvas*, bool) { return 0; }

bool IEDrawDibDraw(TIEDrawDibHandle Handle, TCanvas* Canvas, Integer XDst, Integer YDst, Integer DXDst, Integer DYDst,
                   const TIEBitmapInfoHeader* Header, const void* Bits, Integer XSrc, Integer YSrc, Integer DXSrc,
                   Integer DYSrc, Cardinal) {
  if (Handle <= 0 || !Canvas || !Header || !Bits || Header->biCompression != 0) return false;
  const Integer bpp = Header->biBitCount;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return false;
  const Int64 width = Header->biWidth, height = Header->biHeight < 0 ? -Int64(Header->biHeight) : Header->biHeight;
  if (width <= 0 || height <= 0 || width > 65535 || height > 65535) return false;
  if (DXSrc == -1) DXSrc = static_cast<Integer>(width);
  if (DYSrc == -1) DYSrc = static_cast<Integer>(height);
  if (DXDst == -1) DXDst = DXSrc;
  if (DYDst == -1) DYDst = DYSrc;
  // Only the part of the source rectangle that lies inside the picture is read.
  const Integer left = IEMax(XSrc, 0), top = IEMax(YSrc, 0);
  const Integer right = static_cast<Integer>(std::min<Int64>(Int64(XSrc) + DXSrc, width));
  const Integer bottom = static_cast<Integer>(std::min<Int64>(Int64(YSrc) + DYSrc, height));
  if (right <= left || bottom <= top || DXDst == 0 || DYDst == 0) return false;

  const Byte* colours = reinterpret_cast<const Byte*>(Header) + Header->biSize;
  const Integer tableSize = bpp <= 8 ? (Header->biClrUsed ? IEMin(Integer(Header->biClrUsed), 1 << bpp) : 1 << bpp) : 0;
  const Int64 stride = ((width * bpp + 31) / 32) * 4;
  const Byte* rows = static_cast<const Byte*>(Bits);
  TBitmap picture;
  picture.SetPixelFormat(pf32bit);
  picture.SetSize(right - left, bottom - top);
  for (Integer y = top; y < bottom; ++y) {
    // Rows are stored bottom-up unless the height is negative; y counts from the top.
    const Byte* row = rows + stride * (Header->biHeight > 0 ? height - 1 - y : y);
    DWORD* out = static_cast<DWORD*>(picture.ScanLine(y - top));
    for (Integer x = left; x < right; ++x) {
      DWORD bgr;
      if (bpp > 8) {
        const Byte* p = row + x * (bpp / 8);
        bgr = DWORD(p[0]) | DWORD(p[1]) << 8 | DWORD(p[2]) << 16;
      } else {
        const Integer perByte = 8 / bpp, shift = (perByte - 1 - x % perByte) * bpp;
        const Integer index = (row[x / perByte] >> shift) & ((1 << bpp) - 1);
        const Byte* c = colours + 4 * IEMin(index, tableSize - 1);
        bgr = DWORD(c[0]) | DWORD(c[1]) << 8 | DWORD(c[2]) << 16;
      }
      out[x - left] = bgr;
    }
  }
  // Source pixels outside the picture shrink the destination in proportion.
  const auto scale = [](Integer Edge, Integer From, Integer Size, Integer DestFrom, Integer DestSize) {
    return DestFrom + static_cast<Integer>(Int64(Edge - From) * DestSize / Size);
  };
  const TRect dest{scale(left, XSrc, DXSrc, XDst, DXDst), scale(top, YSrc, DYSrc, YDst, DYDst),
                   scale(right, XSrc, DXSrc, XDst, DXDst), scale(bottom, YSrc, DYSrc, YDst, DYDst)};
  Canvas->CopyRect(dest, picture.Canvas(), TRect{0, 0, right - left, bottom - top});
  return true;
}
