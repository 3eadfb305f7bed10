// Blend operations: how one source colour combines into a destination colour. The row
// renderers of the image buffer and the layers of the view pass every pixel through these.
#pragma once

#include "imaging/core/ie_types.h"

// 0 copies the source; 1..37 are the numbered operations; anything above leaves the
// destination as it is.
constexpr TIEBlendOp ieBlendOpCount = 38;

void IEBlendRGB(TRGB Source, TRGB& Dest, TIEBlendOp Operation);

// D moved toward S by the weight A (0..255) in steps of 1/256; a full weight gives S exactly,
// so an opaque pixel drawn with a weight is never left 1/256 short of its colour.
inline Byte IEMixChannel(Byte D, Byte S, Integer A) {
  if (A >= 255) return S;
  if (A <= 0) return D;
  const Integer diff = (Integer(S) - Integer(D)) * A;
  return static_cast<Byte>(D + (diff >= 0 ? diff >> 8 : -((-diff + 255) >> 8)));
}

// One channel of the named operations, source channel first.
Byte IEBlendSoftLightChannel(Integer S, Integer D);
Byte IEBlendSoftLight2Channel(Integer S, Integer D);
Byte IEBlendColorDodgeChannel(Integer S, Integer D);
Byte IEBlendColorBurnChannel(Integer S, Integer D);
Byte IEBlendInverseDodgeChannel(Integer S, Integer D);
Byte IEBlendInverseBurnChannel(Integer S, Integer D);
Byte IEBlendSoftDodgeChannel(Integer S, Integer D);
Byte IEBlendSoftBurnChannel(Integer S, Integer D);
Byte IEBlendReflectChannel(Integer S, Integer D);
Byte IEBlendGlowChannel(Integer S, Integer D);
Byte IEBlendFreezeChannel(Integer S, Integer D);
Byte IEBlendHeatChannel(Integer S, Integer D);
Byte IEBlendInterpolationChannel(Integer S, Integer D);
Byte IEBlendStampChannel(Integer S, Integer D);
