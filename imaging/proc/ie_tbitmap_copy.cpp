#include "imaging/proc/ie_tbitmap_copy.h"

#include <cstring>

#include "imaging/proc/ie_bit_rows.h"
#include "platform/rtl/numerics.h"

TBitmap* IECopyTBitmap(TBitmap* Source) {
  auto* copy = new TBitmap;
  IECopyTBitmapPixels(Source, copy);
  return copy;
}

void IECopyTBitmapPixels(TBitmap* Source, TBitmap* Dest) {
  if (!Source || !Dest || Source == Dest) return;
  const Integer w = Source->Width(), h = Source->Height();
  if (w < 1 || h < 1) {
    Dest->SetPixelFormat(Source->PixelFormat());
    Dest->SetSize(1, 1);
    return;
  }
  if (Dest->Width() != w || Dest->Height() != h || Dest->PixelFormat() != Source->PixelFormat()) {
    Dest->SetSize(1, 1);
    Dest->SetPixelFormat(Source->PixelFormat());
    Dest->SetSize(w, h);
  }
  // Indices mean nothing without their colours.
  if (!Source->ColorTable().empty()) Dest->SetColorTable(Source->ColorTable());
  const size_t rowBytes = static_cast<size_t>(Source->BytesPerScanline());
  for (Integer y = 0; y < h; ++y) std::memcpy(Dest->ScanLine(y), Source->ScanLine(y), rowBytes);
}

void IEConvertTBitmapBWTo24(TBitmap* Source, TBitmap* Dest, TIECodecProgress& Progress) {
  if (!Source || !Dest || Source == Dest || Source->PixelFormat() != pf1bit) return;
  const Integer w = Source->Width(), h = Source->Height();
  Dest->SetSize(1, 1);
  Dest->SetPixelFormat(pf24bit);
  Dest->SetSize(w, h);
  for (Integer y = 0; y < h; ++y) {
    IEExpandBWRow(static_cast<const Byte*>(Source->ScanLine(y)), static_cast<Byte*>(Dest->ScanLine(y)), w);
    if (Progress.OnProgress) Progress.OnProgress(Progress.Sender, SafeTrunc<Integer>((y + 1) * 100 / (h + 0.5)));
  }
}
