// Minimal local versions of routines the image buffer borrows from the processing, file I/O and
// quantizer units, which are not in the library yet. They live in their own namespace so the
// real routines can take their names; each says which one it stands in for.
#pragma once

#include <cmath>
#include <cstring>
#include <unordered_map>

#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_types.h"

class TIEBitmap;

namespace iebitmap_local {

// Bit Index of a 1-bit row, most significant bit first (stands in for IEGetBit / IESetBit).
inline int GetBit(const Byte* Row, Integer Index) { return (Row[Index >> 3] >> (7 - (Index & 7))) & 1; }
inline void SetBit(Byte* Row, Integer Index, int Value) {
  Byte mask = static_cast<Byte>(0x80 >> (Index & 7));
  if (Value) Row[Index >> 3] |= mask; else Row[Index >> 3] &= static_cast<Byte>(~mask);
}
// Copies Count bits from SourceBit to DestBit, other destination bits unchanged
// (stands in for IECopyBitRun).
inline void CopyBitRun(Byte* Dest, const Byte* Source, Integer DestBit, Integer SourceBit, Integer Count) {
  for (Integer i = 0; i < Count; ++i) SetBit(Dest, DestBit + i, GetBit(Source, SourceBit + i));
}

// ieCMYK pixel (bytes C, M, Y, K, each inverted) to colour, without colour management
// (stands in for IECMYK2RGB).
inline TRGB CMYKToRGB(DWORD Pixel) {
  DWORD c = Pixel & 0xFF, m = (Pixel >> 8) & 0xFF, y = (Pixel >> 16) & 0xFF, k = Pixel >> 24;
  return IECreateRGB(static_cast<Byte>(c * k / 255), static_cast<Byte>(m * k / 255), static_cast<Byte>(y * k / 255));
}
// Colour to ieCMYK pixel, without colour management (stands in for IERGB2CMYK).
inline DWORD RGBToCMYK(TRGB Color) {
  DWORD k = Color.r;
  if (Color.g > k) k = Color.g;
  if (Color.b > k) k = Color.b;
  if (k == 0) k = 1;
  return IECreateCMYK(static_cast<Byte>(Color.r * 255 / k), static_cast<Byte>(Color.g * 255 / k),
                      static_cast<Byte>(Color.b * 255 / k), static_cast<Byte>(k));
}

// A float grey value limited to 0..1 (NaN counts as black) before it becomes an integer level:
// stored values outside that range must not wrap into unrelated levels.
inline float ClampUnit(float v) { return v >= 1.0f ? 1.0f : (v > 0.0f ? v : 0.0f); }
// Trunc (value x Max) of a float grey value, limited as above; the product is taken in double
// so that no value just below 1 rounds up to Max.
inline Integer UnitToLevel(float v, Integer Max) { return static_cast<Integer>(static_cast<double>(ClampUnit(v)) * Max); }

inline Word ReadWord(const Byte* p) { Word w; std::memcpy(&w, p, 2); return w; }
inline DWORD ReadDWord(const Byte* p) { DWORD d; std::memcpy(&d, p, 4); return d; }
inline float ReadSingle(const Byte* p) { float f; std::memcpy(&f, p, 4); return f; }

// The colour of pixel X of a row in any format.
inline TRGB PixelToRGB(TIEPixelFormat Format, const Byte* Row, Integer X, const TRGB* Palette, Integer PaletteLength) {
  switch (Format) {
    case ie1g: { Byte v = GetBit(Row, X) ? 255 : 0; return TRGB{v, v, v}; }
    case ie8p: return (Palette && Row[X] < PaletteLength) ? Palette[Row[X]] : TRGB{0, 0, 0};
    case ie8g: return TRGB{Row[X], Row[X], Row[X]};
    case ie16g: { Byte v = static_cast<Byte>(ReadWord(Row + 2 * X) >> 8); return TRGB{v, v, v}; }
    case ie24RGB: return reinterpret_cast<const TRGB*>(Row)[X];
    case ie32f: {
      Byte v = static_cast<Byte>(UnitToLevel(ReadSingle(Row + 4 * X), 255));
      return TRGB{v, v, v};
    }
    case ieCMYK: return CMYKToRGB(ReadDWord(Row + 4 * X));
    case ieRGB48: {
      const Byte* p = Row + 6 * X;
      return IECreateRGB(static_cast<Byte>(ReadWord(p) >> 8), static_cast<Byte>(ReadWord(p + 2) >> 8),
                         static_cast<Byte>(ReadWord(p + 4) >> 8));
    }
    case ieCIELab: {
      TCIELab lab;
      std::memcpy(&lab, Row + 3 * X, 3);
      return IECIELabToRGB(lab);
    }
    case ie32RGB: return TRGB{Row[4 * X], Row[4 * X + 1], Row[4 * X + 2]};
    default: return TRGB{0, 0, 0};
  }
}

// Black and white at the grey of the mean colour of Source: a pixel is white when its grey is at
// least that (stands in for IEThresholdToBW with threshold -1). Dest is ie1g of Source's size.
void ThresholdToBW(TIEBitmap* Source, TIEBitmap* Dest);

// Palette for an ie24RGB image (stands in for TIEQuantizer): the exact colours, in order of first
// appearance, when there are at most NCol; otherwise a uniform 3-3-2 palette.
class PaletteBuilder {
 public:
  PaletteBuilder(TIEBitmap* Source, TRGB* Palette, Integer NCol);
  Byte RGBIndex(TRGB Color) const;

 private:
  static DWORD Key(TRGB c) { return DWORD(c.r) << 16 | DWORD(c.g) << 8 | c.b; }
  bool FExact = false;
  std::unordered_map<DWORD, Byte> FIndex;
};

}  // namespace iebitmap_local
