#include "imaging/core/ie_blend.h"

#include <cmath>
#include <cstdlib>

#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_hsl.h"
#include "imaging/core/ie_startup.h"

namespace {

Byte Clip(Integer Value) { return static_cast<Byte>(IEClamp255(Value)); }

// Multiply and screen divide by 255, not 256: white multiplied by white stays white and black
// screened with black stays black, as both must for an opaque layer to leave its base alone.
Integer Multiply(Integer S, Integer D) { return S * D / 255; }
Integer Screen(Integer S, Integer D) { return 255 - (255 - D) * (255 - S) / 255; }

Byte Channel(Integer s, Integer d, TIEBlendOp Op) {
  switch (Op) {
    case 1: return Clip(d + s);
    case 2: return Clip(std::abs(d - s));
    case 3: return Clip(d / IEMax(s, 1));
    case 4: return Clip(Multiply(s, d));
    case 5: return Clip(d | s);
    case 6: return Clip(d & s);
    case 7: return Clip(d ^ s);
    case 8: return Clip(IEMax(d, s));
    case 9: return Clip(IEMin(d, s));
    case 10: return Clip((d + s) >> 1);
    case 11: return Clip(Screen(s, d));
    case 12: return Clip(255 - std::abs(255 - s - d));
    case 13: return Clip(d + s - s * d / 128);
    case 14: return Clip(d >= 128 ? 255 - (((255 - d) * (255 - s)) >> 7) : (s * d) >> 7);
    case 15: return Clip(s >= 128 ? 255 - (((255 - d) * (255 - s)) >> 7) : (s * d) >> 7);
    case 16: return IEBlendSoftLightChannel(s, d);
    case 17: return IEBlendSoftLight2Channel(s, d);
    case 18: return IEBlendColorDodgeChannel(s, d);
    case 19: return IEBlendColorBurnChannel(s, d);
    case 20: return IEBlendInverseDodgeChannel(s, d);
    case 21: return IEBlendInverseBurnChannel(s, d);
    case 22: return IEBlendSoftDodgeChannel(s, d);
    case 23: return IEBlendSoftBurnChannel(s, d);
    case 24: return IEBlendReflectChannel(s, d);
    case 25: return IEBlendGlowChannel(s, d);
    case 26: return IEBlendFreezeChannel(s, d);
    case 27: return IEBlendHeatChannel(s, d);
    case 28: return Clip(d + s - 256);
    case 29: return IEBlendInterpolationChannel(s, d);
    case 30: return IEBlendStampChannel(s, d);
    default: return static_cast<Byte>(s);
  }
}

// Operations 34..37 take some of hue, saturation and lightness from each colour.
TRGB MixHSL(TRGB Source, TRGB Dest, TIEBlendOp Op) {
  double sh, ss, sl, dh, ds, dl;
  IERGBToHSL(Source, sh, ss, sl);
  IERGBToHSL(Dest, dh, ds, dl);
  switch (Op) {
    case 34: return IEHSLToRGB(sh, ds, dl);
    case 35: return IEHSLToRGB(dh, ss, dl);
    case 36: return IEHSLToRGB(sh, ss, dl);
    default: return IEHSLToRGB(sh, ds, sl);
  }
}

}  // namespace

Byte IEBlendSoftLightChannel(Integer S, Integer D) {
  const double c = S / 255.0, t = D / 255.0;
  const double v = c < 0.5 ? t * t * (1.0 - 2.0 * c) + 2.0 * t * c : std::sqrt(t) * (2.0 * c - 1.0) + 2.0 * t * (1.0 - c);
  return Clip(static_cast<Integer>(v * 255.0));
}

Byte IEBlendSoftLight2Channel(Integer S, Integer D) {
  const Integer m = (S * D) >> 8;
  const Integer c = 255 - (((255 - D) * (255 - S)) >> 8) - m;
  return Clip(m + ((c * D) >> 8));
}

Byte IEBlendColorDodgeChannel(Integer S, Integer D) { return S == 255 ? 255 : Clip(D * 256 / (255 - S)); }
Byte IEBlendColorBurnChannel(Integer S, Integer D) { return S == 0 ? 0 : Clip(255 - ((255 - D) << 8) / S); }
Byte IEBlendInverseDodgeChannel(Integer S, Integer D) { return D == 255 ? 255 : Clip(S * 256 / (255 - D)); }
Byte IEBlendInverseBurnChannel(Integer S, Integer D) { return D == 0 ? 0 : Clip(255 - ((255 - S) << 8) / D); }

Byte IEBlendSoftDodgeChannel(Integer S, Integer D) {
  if (S + D < 256) return S == 255 ? 255 : Clip(D * 128 / (255 - S));
  return Clip(255 - ((255 - S) << 7) / D);
}

Byte IEBlendSoftBurnChannel(Integer S, Integer D) {
  if (S + D < 256) return D == 255 ? 255 : Clip(S * 128 / (255 - D));
  return Clip(255 - ((255 - D) << 7) / S);
}

Byte IEBlendReflectChannel(Integer S, Integer D) { return S == 255 ? 255 : Clip(D * D / (255 - S)); }
Byte IEBlendGlowChannel(Integer S, Integer D) { return D == 255 ? 255 : Clip(S * S / (255 - D)); }
Byte IEBlendFreezeChannel(Integer S, Integer D) { return S == 0 ? 0 : Clip(255 - (255 - D) * (255 - D) / S); }
Byte IEBlendHeatChannel(Integer S, Integer D) { return D == 0 ? 0 : Clip(255 - (255 - S) * (255 - S) / D); }
Byte IEBlendInterpolationChannel(Integer S, Integer D) { return Clip(IECosineTable[S & 255] + IECosineTable[D & 255]); }
Byte IEBlendStampChannel(Integer S, Integer D) { return Clip(D + 2 * S - 256); }

void IEBlendRGB(TRGB Source, TRGB& Dest, TIEBlendOp Operation) {
  if (Operation < 0 || Operation >= ieBlendOpCount) return;
  switch (Operation) {
    case 31: Dest.r = Source.r; return;
    case 32: Dest.g = Source.g; return;
    case 33: Dest.b = Source.b; return;
    case 34: case 35: case 36: case 37: Dest = MixHSL(Source, Dest, Operation); return;
    default:
      Dest = TRGB{Channel(Source.b, Dest.b, Operation), Channel(Source.g, Dest.g, Operation),
                  Channel(Source.r, Dest.r, Operation)};
  }
}
