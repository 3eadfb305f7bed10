#include "imaging/core/ie_bitmap_neighbours.h"

#include "imaging/core/ie_bitmap.h"

namespace iebitmap_local {

void ThresholdToBW(TIEBitmap* Source, TIEBitmap* Dest) {
  const Integer w = Source->GetWidth(), h = Source->GetHeight();
  const TIEPixelFormat format = Source->GetPixelFormat();
  if (Dest->GetWidth() != w || Dest->GetHeight() != h || Dest->GetPixelFormat() != ie1g) return;
  TRGB palette[256] = {};
  for (Integer i = 0; i < IEMin(Source->GetPaletteLength(), 256); ++i) palette[i] = Source->GetPaletteEntry(i);
  const Integer paletteLength = IEMin(Source->GetPaletteLength(), 256);

  UInt64 sumR = 0, sumG = 0, sumB = 0;
  for (Integer y = 0; y < h; ++y) {
    const Byte* s = static_cast<const Byte*>(Source->GetScanline(y));
    for (Integer x = 0; x < w; ++x) {
      TRGB c = PixelToRGB(format, s, x, palette, paletteLength);
      sumR += c.r;
      sumG += c.g;
      sumB += c.b;
    }
  }
  UInt64 count = UInt64(w) * UInt64(h);
  if (count == 0) return;
  Integer threshold = IERGBToGray(IECreateRGB(Byte(sumR / count), Byte(sumG / count), Byte(sumB / count)));

  for (Integer y = 0; y < h; ++y) {
    const Byte* s = static_cast<const Byte*>(Source->GetScanline(y));
    Byte* d = static_cast<Byte*>(Dest->GetScanline(y));
    std::memset(d, 0, static_cast<size_t>(Dest->GetRowLen()));
    for (Integer x = 0; x < w; ++x)
      if (IERGBToGray(PixelToRGB(format, s, x, palette, paletteLength)) >= threshold) SetBit(d, x, 1);
  }
}

PaletteBuilder::PaletteBuilder(TIEBitmap* Source, TRGB* Palette, Integer NCol) {
  if (NCol < 1 || NCol > 256) NCol = 256;
  const Integer w = Source->GetWidth(), h = Source->GetHeight();
  std::unordered_map<DWORD, Byte> seen;
  bool fits = true;
  Integer count = 0;
  TRGB found[256] = {};
  for (Integer y = 0; y < h && fits; ++y) {
    const TRGB* s = static_cast<const TRGB*>(Source->GetScanline(y));
    for (Integer x = 0; x < w; ++x) {
      DWORD key = Key(s[x]);
      if (seen.count(key)) continue;
      if (count == NCol) {
        fits = false;
        break;
      }
      seen.emplace(key, static_cast<Byte>(count));
      found[count++] = s[x];
    }
  }
  if (fits) {
    FExact = true;
    FIndex = std::move(seen);
    for (Integer i = 0; i < 256; ++i) Palette[i] = found[i];
    return;
  }
  for (Integer i = 0; i < 256; ++i)
    Palette[i] = IECreateRGB(static_cast<Byte>((i >> 5) * 255 / 7), static_cast<Byte>(((i >> 2) & 7) * 255 / 7),
                             static_cast<Byte>((i & 3) * 255 / 3));
}

Byte PaletteBuilder::RGBIndex(TRGB Color) const {
  if (FExact) {
    auto it = FIndex.find(Key(Color));
    return it != FIndex.end() ? it->second : 0;
  }
  return static_cast<Byte>(((Color.r * 7 + 127) / 255) << 5 | ((Color.g * 7 + 127) / 255) << 2 | ((Color.b * 3 + 127) / 255));
}

}  // namespace iebitmap_local
