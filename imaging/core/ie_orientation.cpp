// Readers apply the orientation tag as they load; this works on the image buffer's own rows only,
// so a program that reads images links nothing of the framework's drawing.
#include "imaging/core/ie_orientation.h"

#include <cstring>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_pixel_format.h"

void IEApplyExifOrientation(TIEBitmap* Bitmap, Integer Orientation) {
  if (!Bitmap || Orientation < 2 || Orientation > 8) return;
  const Integer w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  const TIEPixelFormat format = Bitmap->GetPixelFormat();
  if (w <= 0 || h <= 0 || format == ieNull) return;
  const bool turned = Orientation >= 5;
  const Integer dw = turned ? h : w, dh = turned ? w : h;
  // Where each target pixel comes from: the tag says how the stored picture must be moved to
  // stand upright (2, 4 mirror; 3 half turn; 6, 8 quarter turns; 5, 7 the two transpositions).
  const auto source = [&](Integer x, Integer y, Integer& sx, Integer& sy) {
    switch (Orientation) {
      case 2: sx = w - 1 - x; sy = y; break;
      case 3: sx = w - 1 - x; sy = h - 1 - y; break;
      case 4: sx = x; sy = h - 1 - y; break;
      case 5: sx = y; sy = x; break;
      case 6: sx = y; sy = h - 1 - x; break;
      case 7: sx = w - 1 - y; sy = h - 1 - x; break;
      default: sx = w - 1 - y; sy = x; break;
    }
  };
  TIEBitmap original;
  original.Assign(Bitmap);
  Bitmap->RemoveAlphaChannel(false, 0);
  Bitmap->Allocate(dw, dh, format);
  if (original.GetPaletteLength() > 0) original.CopyPaletteTo(Bitmap);
  const Integer bytes = IEBytesPerPixel(format);
  TIEBitmap* alpha = original.HasAlphaChannel() ? original.GetAlphaChannel() : nullptr;
  // One row of the source at a time would need random access; the image is read pixel by pixel.
  for (Integer y = 0; y < dh; ++y)
    for (Integer x = 0; x < dw; ++x) {
      Integer sx, sy;
      source(x, y, sx, sy);
      const Byte* from = static_cast<const Byte*>(original.GetScanline(sy));
      if (format == ie1g) {
        const int bit = (from[sx >> 3] >> (7 - (sx & 7))) & 1;
        Byte* to = static_cast<Byte*>(Bitmap->GetScanline(y));
        const Byte m = static_cast<Byte>(0x80 >> (x & 7));
        if (bit) to[x >> 3] |= m; else to[x >> 3] &= static_cast<Byte>(~m);
      } else {
        Byte pixel[8];
        std::memcpy(pixel, from + sx * bytes, static_cast<size_t>(bytes));
        std::memcpy(static_cast<Byte*>(Bitmap->GetScanline(y)) + x * bytes, pixel, static_cast<size_t>(bytes));
      }
    }
  if (alpha) {
    TIEBitmap* turnedAlpha = Bitmap->GetAlphaChannel();
    for (Integer y = 0; y < dh; ++y)
      for (Integer x = 0; x < dw; ++x) {
        Integer sx, sy;
        source(x, y, sx, sy);
        turnedAlpha->SetPixelByte(x, y, alpha->GetPixelByte(sx, sy));
      }
  }
}
