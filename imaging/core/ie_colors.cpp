#include "imaging/core/ie_colors.h"

#include "imaging/core/ie_helpers.h"
#include "platform/rtl/numerics.h"

DWORD IEColorToARGB(TColor Color, Byte Alpha) {
  TColor c = ColorToRGB(Color);
  return (DWORD(Alpha) << 24) | (DWORD(GetRValue(c)) << 16) | (DWORD(GetGValue(c)) << 8) | DWORD(GetBValue(c));
}

TRGB IEYCbCrToRGB(Byte Y, Byte Cb, Byte Cr) {
  double y = Y, cb = Cb - 128.0, cr = Cr - 128.0;
  Integer r = IEClamp255(SafeTrunc<Integer>(y + 1.402 * cr));
  Integer g = IEClamp255(SafeTrunc<Integer>(y - 0.34414 * cb - 0.71414 * cr));
  Integer b = IEClamp255(SafeTrunc<Integer>(y + 1.772 * cb));
  return IECreateRGB(static_cast<Byte>(r), static_cast<Byte>(g), static_cast<Byte>(b));
}
