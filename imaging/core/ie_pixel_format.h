// Fixed properties of the eleven pixel formats.
#pragma once

#include "imaging/core/ie_types.h"

inline constexpr Integer IEPixelFormatBits[IEPixelFormatCount] = {0, 1, 8, 8, 16, 24, 32, 32, 48, 24, 32};
inline constexpr Integer IEPixelFormatChannels[IEPixelFormatCount] = {0, 1, 1, 1, 1, 3, 1, 4, 3, 3, 4};

inline bool IEIsValidPixelFormat(Byte Value) { return Value < IEPixelFormatCount; }
// Whole bytes per pixel; 0 for ie1g and ieNull, whose pixels are not byte-addressable.
inline Integer IEBytesPerPixel(TIEPixelFormat Format) {
  Integer bits = IEIsValidPixelFormat(Format) ? IEPixelFormatBits[Format] : 0;
  return bits >= 8 ? bits / 8 : 0;
}
