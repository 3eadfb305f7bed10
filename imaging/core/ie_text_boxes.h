// Small framed text boxes the view draws for hints and information lines, and the drawing of
// packed device-independent pictures (header, colour table, bottom-up rows) onto a canvas.
#pragma once

#include <memory>

#include "imaging/core/ie_types.h"
#include "platform/gui/bitmap.h"
#include "platform/gui/canvas.h"

// An opaque box kept inside Width x Height; what it covers is saved in SaveBitmap first. X and
// Y return where it was drawn.
void IEDrawHintBox(TCanvas* Canvas, Integer& X, Integer& Y, const AnsiString& Text, TFont* Font, TBrush* Brush,
                   std::unique_ptr<TBitmap>& SaveBitmap, Integer Width, Integer Height, TColor Color1, TColor Color2);
// A half-transparent yellow box as wide as the wider of Text and WidthText; writes Text.
void IEDrawInfoBox(TCanvas* Canvas, Integer& X, Integer& Y, const AnsiString& Text, const AnsiString& WidthText);

#pragma pack(push, 1)
struct TIEBitmapInfoHeader {
  DWORD biSize;
  std::int32_t biWidth;
  std::int32_t biHeight;  // positive: rows bottom-up
  Word biPlanes;
  Word biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  std::int32_t biXPelsPerMeter;
  std::int32_t biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
#pragma pack(pop)
static_assert(sizeof(TIEBitmapInfoHeader) == 40);

// A drawing session; the handle only has to be open between the calls.
using TIEDrawDibHandle = Integer;
TIEDrawDibHandle IEDrawDibOpen();
bool IEDrawDibClose(TIEDrawDibHandle Handle);
// Stretches the source rectangle of an uncompressed 1-, 4-, 8-, 24- or 32-bit picture (its
// colour table follows Header) onto the destination rectangle of Canvas. A width or height of
// -1 means the source's. False for a picture it cannot draw.
bool IEDrawDibDraw(TIEDrawDibHandle Handle, TCanvas* Canvas, Integer XDst, Integer YDst, Integer DXDst, Integer DYDst,
                   const TIEBitmapInfoHeader* Header, const void* Bits, Integer XSrc, Integer YSrc, Integer DXSrc,
                   Integer DYSrc, Cardinal Flags);
// Picks the colour table into the canvas's device: nothing to do on a true-colour desktop.
Integer IEDrawDibRealize(TIEDrawDibHandle Handle, TCanvas* Canvas, bool Background);
