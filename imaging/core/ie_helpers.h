// Stateless arithmetic, colour and row-length routines of the imaging library. Everything here
// is cheap and called from inner loops; none of it raises.
#pragma once

#include "imaging/core/ie_types.h"
#include "platform/gui/colors.h"

// Per-cent weights of red, green and blue in a grey level; read at every use, so a change made
// by the library's start-up takes effect everywhere at once.
struct TIEGrayWeights {
  Integer Red;
  Integer Green;
  Integer Blue;
};
extern TIEGrayWeights IEGrayWeights;

Integer IECeil(long double X);
Integer IEFloor(long double X);
inline Integer IEMin(Integer A, Integer B) { return A < B ? A : B; }
inline Integer IEMax(Integer A, Integer B) { return A > B ? A : B; }
inline double IEMinFloat(double A, double B) { return A < B ? A : B; }
inline double IEMaxFloat(double A, double B) { return A > B ? A : B; }
// The lower bound is tested first, so an inverted range yields Low.
inline Integer IEClamp(Integer Value, Integer Low, Integer High) {
  if (Value <= Low) return Low;
  if (Value >= High) return High;
  return Value;
}
inline Integer IEClamp255(Integer Value) { return Value < 0 ? 0 : (Value > 255 ? 255 : Value); }
inline void IESwapInt(Integer& A, Integer& B) { Integer t = A; A = B; B = t; }
inline void IESwapByte(Byte& A, Byte& B) { Byte t = A; A = B; B = t; }
void IEOrderCorners(Integer& X1, Integer& Y1, Integer& X2, Integer& Y2);

inline TRGB IECreateRGB(Byte R, Byte G, Byte B) { return TRGB{B, G, R}; }
inline DWORD IECreateCMYK(Byte C, Byte M, Byte Y, Byte K) {
  return DWORD(C) | (DWORD(M) << 8) | (DWORD(Y) << 16) | (DWORD(K) << 24);
}
inline bool IESameRGB(TRGB A, TRGB B) { return A == B; }
// Grey level by the library's weights.
inline Integer IERGBToGray(TRGB C) {
  return (C.r * IEGrayWeights.Red + C.g * IEGrayWeights.Green + C.b * IEGrayWeights.Blue) / 100;
}
// A TRGB read as a 32-bit value (B | G<<8 | R<<16) and a TColor (R | G<<8 | B<<16) differ by the
// order of bytes 0 and 2; the top byte is cleared.
inline DWORD IESwapRedBlue(DWORD Value) {
  return ((Value & 0xFF) << 16) | (Value & 0xFF00) | ((Value >> 16) & 0xFF);
}

// Copies Count 3-byte pixels exchanging their first and third bytes (R, G, B <-> B, G, R);
// Source and Dest may be the same row but must not overlap otherwise. The codecs hand whole
// rows of a 12-megapixel image through it, so it takes 16 bytes at a time where it can.
void IECopySwapRB(const void* Source, void* Dest, Integer Count);

// A framework colour (system colours resolved) as TRGB.
TRGB IETColorToTRGB(TColor Color);

long double IEPowerDouble(double Base, double Exponent);
TCIELab IERGBToCIELab(TRGB Color);
TRGB IECIELabToRGB(TCIELab Lab);

// Bytes per row for Width pixels of BitsPerPixel, rows aligned to AlignBits. Taken in 64 bits
// so that no width can wrap into a short row; an alignment below 8 bits yields 0.
Int64 IEBitmapRowLen(Integer Width, Integer BitsPerPixel, Integer AlignBits);
