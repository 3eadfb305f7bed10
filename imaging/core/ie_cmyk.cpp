#include "imaging/core/ie_cmyk.h"

#include "imaging/core/ie_cmyk_profile.h"
#include "imaging/core/ie_helpers.h"

void IECMYK2RGB(DWORD CMYK, TRGB& RGB) {
  const Byte stored[4] = {Byte(CMYK), Byte(CMYK >> 8), Byte(CMYK >> 16), Byte(CMYK >> 24)};
  if (IECMYKRowThroughProfile(stored, &RGB, 1)) return;
  const DWORD c = CMYK & 0xFF, m = (CMYK >> 8) & 0xFF, y = (CMYK >> 16) & 0xFF, k = CMYK >> 24;
  RGB = IECreateRGB(static_cast<Byte>(c * k / 255), static_cast<Byte>(m * k / 255), static_cast<Byte>(y * k / 255));
}

DWORD IERGB2CMYK(DWORD RGB) {
  const TRGB colour{Byte(RGB), Byte(RGB >> 8), Byte(RGB >> 16)};
  Byte stored[4];
  if (IERGBRowThroughProfile(&colour, stored, 1))
    return DWORD(stored[0]) | DWORD(stored[1]) << 8 | DWORD(stored[2]) << 16 | DWORD(stored[3]) << 24;
  const DWORD r = (RGB >> 16) & 0xFF, g = (RGB >> 8) & 0xFF, b = RGB & 0xFF;
  DWORD k = r;
  if (g > k) k = g;
  if (b > k) k = b;
  if (k == 0) k = 1;
  return IECreateCMYK(static_cast<Byte>(r * 255 / k), static_cast<Byte>(g * 255 / k), static_cast<Byte>(b * 255 / k),
                      static_cast<Byte>(k));
}
