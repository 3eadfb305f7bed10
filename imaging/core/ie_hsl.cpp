#include "imaging/core/ie_hsl.h"

#include "imaging/core/ie_helpers.h"
#include "platform/rtl/numerics.h"

namespace {

// Hue is periodic: one step of 1 brings any value the conversions produce back into 0..1.
double WrapUnit(double Value) {
  if (Value < 0.0) return Value + 1.0;
  if (Value > 1.0) return Value - 1.0;
  return Value;
}

double ClampUnit(double Value) { return Value < 0.0 ? 0.0 : (Value > 1.0 ? 1.0 : Value); }

Byte UnitToByte(double Value) { return static_cast<Byte>(IEClamp255(SafeRound<Integer>(Value * 255.0))); }

}  // namespace

void IERGBToHSL(TRGB Color, double& H, double& S, double& L) {
  const double r = Color.r / 255.0, g = Color.g / 255.0, b = Color.b / 255.0;
  const double mx = IEMaxFloat(r, IEMaxFloat(g, b));
  const double mn = IEMinFloat(r, IEMinFloat(g, b));
  L = (mx + mn) / 2.0;
  if (mx == mn) {
    S = 0.0;
    H = 0.0;
    return;
  }
  const double d = mx - mn;
  S = L < 0.5 ? d / (mx + mn) : d / (2.0 - mx - mn);
  // Red is tested first, then blue: a tie between red and another channel takes red's formula.
  if (r == mx)
    H = (g - b) / d;
  else if (b == mx)
    H = (r - g) / d + 4.0;
  else
    H = (b - r) / d + 2.0;
  H /= 6.0;
  if (H < 0.0) H += 1.0;
}

double IEHueToRGBComponent(double M1, double M2, double Hue) {
  Hue = WrapUnit(Hue);
  if (6.0 * Hue < 1.0) return M1 + (M2 - M1) * Hue * 6.0;
  if (2.0 * Hue < 1.0) return M2;
  if (3.0 * Hue < 2.0) return M1 + (M2 - M1) * (2.0 / 3.0 - Hue) * 6.0;
  return M1;
}

TRGB IEHSLToRGB(double H, double S, double L) {
  H = WrapUnit(H);
  S = ClampUnit(S);
  L = ClampUnit(L);
  if (S == 0.0) {
    const Byte v = UnitToByte(L);
    return TRGB{v, v, v};
  }
  const double m2 = L <= 0.5 ? L * (1.0 + S) : L + S - L * S;
  const double m1 = 2.0 * L - m2;
  return IECreateRGB(UnitToByte(IEHueToRGBComponent(m1, m2, H + 1.0 / 3.0)),
                     UnitToByte(IEHueToRGBComponent(m1, m2, H)),
                     UnitToByte(IEHueToRGBComponent(m1, m2, H - 1.0 / 3.0)));
}
