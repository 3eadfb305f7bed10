#include "imaging/core/ie_cmyk.h"

#include "imaging/core/ie_helpers.h"

void IECMYK2RGB(DWORD CMYK, TRGB& RGB) {
  const DWORD c = CMYK & 0xFF, m = (CMYK >> 8) & 0xFF, y = (CMYK >> 16) & 0xFF, k = CMYK >> 24;
  RGB = IECreateRGB(static_cast<Byte>(c * k / 255), static_cast<Byte>(m * k / 255), static_cast<Byte>(y * k / 255));
}

DWORD IERGB2CMYK(DWORD RGB) {
  const DWORD r = (RGB >> 16) & 0xFF, g = (RGB >> 8) & 0xFF, b = RGB & 0xFF;
  DWORD k = r;
  if (g > k) k = g;
  if (b > k) k = b;
  if (k == 0) k = 1;
  return IECreateCMYK(static_cast<Byte>(r * 255 / k), static_cast<Byte>(g * 255 / k), static_cast<Byte>(b * 255 / k),
                      static_cast<Byte>(k));
}
