// Row colour conversion for the codecs: decoded samples (RGB, CMYK, CIE Lab, 48-bit RGB,
// YCbCr) to the image buffer's B, G, R rows and back. Codecs call through IEConvertColorFunction
// so an application can install its own converter.
#pragma once

#include "imaging/core/ie_types.h"

class TIOParamsVals;

// The colour kinds of a row conversion (the same numbers as TIEICC's layouts).
enum : Byte {
  iecRGB = 0,        // R, G, B
  iecBGR = 1,        // B, G, R (TRGB)
  iecCMYK = 2,       // C, M, Y, K stored inverted (255 = no ink), as ieCMYK holds them
  iecCMYKInk = 3,    // C, M, Y, K as ink amounts (255 = full ink)
  iecCIELab = 4,     // L x 2.5, a, b signed
  iecGray = 5,       // one byte
  iecRGB48 = 6,      // three little-endian 16-bit words R, G, B
  iecRGB48BE = 7,    // three big-endian 16-bit samples R, G, B
  iecYCbCr = 8,      // Y, Cb, Cr
};

using TIEConvertColorFunction = void (*)(void* Src, Byte SrcKind, void* Dst, Byte DstKind, Integer Count,
                                         TIOParamsVals* IOParams);

// Through the parameters' embedded (or fallback) ICC profile to sRGB when IEEnableCMS is on and
// the profile is usable; otherwise the built-in conversions. Pairs without a built-in
// conversion leave Dst untouched.
void IEDefaultConvertColorFunction(void* Src, Byte SrcKind, void* Dst, Byte DstKind, Integer Count,
                                   TIOParamsVals* IOParams);

extern TIEConvertColorFunction IEConvertColorFunction;  // IEDefaultConvertColorFunction
extern bool IEEnableCMS;                                // False: rows never go through ICC profiles
