// Copies between the image buffer and a selection or opacity mask.
#include <cstring>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_mask.h"

void TIEBitmap::CopyFromTIEMask(TIEMask* Mask) {
  if (!Mask) {
    Fill(255);
    return;
  }
  if (Mask->BitsPerPixel != 1 && Mask->BitsPerPixel != 8) return;
  if (!Allocate(Mask->Width, Mask->Height, Mask->BitsPerPixel == 1 ? ie1g : ie8g)) return;
  const size_t bytes = static_cast<size_t>(IEMax(IEMin(GetRowLen(), Mask->RowLen), 0));
  for (Integer y = 0; y < Mask->Height; ++y) std::memcpy(GetScanline(y), Mask->GetScanline(y), bytes);
  Full = Mask->Full;
}

void TIEBitmap::CopyToTIEMask(TIEMask* Mask) {
  if (!Mask) return;
  const TIEPixelFormat format = GetPixelFormat();
  if (format != ie1g && format != ie8g && format != ie24RGB) return;
  const Integer w = GetWidth(), h = GetHeight();
  Mask->AllocateBits(w, h, format == ie1g ? 1 : 8);
  const TIEDataAccess access = Access;
  Access = iedRead;
  if (format == ie24RGB) {
    for (Integer y = 0; y < h; ++y) {
      const auto* s = static_cast<const TRGB*>(GetScanline(y));
      Byte* d = Mask->GetScanline(y);
      for (Integer x = 0; x < w; ++x) d[x] = static_cast<Byte>(IERGBToGray(s[x]) >> 2);
    }
  } else {
    const size_t bytes = static_cast<size_t>(IEMax(IEMin(GetRowLen(), Mask->RowLen), 0));
    for (Integer y = 0; y < h; ++y) std::memcpy(Mask->GetScanline(y), GetScanline(y), bytes);
    Mask->Full = Full;
  }
  Access = access;
  // The box tells callers where the set pixels are; one left empty would hide them all.
  Mask->SyncRect();
}
