// Pixel reading shared by the image-buffer units and the routines that walk its rows in any
// pixel format: the colour of one pixel, and unaligned loads of its words.
#pragma once

#include <cstring>

#include "imaging/core/ie_bits.h"
#include "imaging/core/ie_cmyk.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_types.h"

namespace iebitmap_local {

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
    case ie1g: { Byte v = IEGetBit(Row, X) ? 255 : 0; return TRGB{v, v, v}; }
    case ie8p: return (Palette && Row[X] < PaletteLength) ? Palette[Row[X]] : TRGB{0, 0, 0};
    case ie8g: return TRGB{Row[X], Row[X], Row[X]};
    case ie16g: { Byte v = static_cast<Byte>(ReadWord(Row + 2 * X) >> 8); return TRGB{v, v, v}; }
    case ie24RGB: return reinterpret_cast<const TRGB*>(Row)[X];
    case ie32f: {
      Byte v = static_cast<Byte>(UnitToLevel(ReadSingle(Row + 4 * X), 255));
      return TRGB{v, v, v};
    }
    case ieCMYK: {
      TRGB c;
      IECMYK2RGB(ReadDWord(Row + 4 * X), c);
      return c;
    }
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

}  // namespace iebitmap_local
