#include "imaging/formats/ie_color_convert.h"

#include <cstring>

#include "imaging/core/ie_cmyk.h"
#include "imaging/core/ie_cmyk_profile.h"
#include "imaging/core/ie_colors.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_icc.h"
#include "imaging/core/ie_params.h"

TIEConvertColorFunction IEConvertColorFunction = IEDefaultConvertColorFunction;
bool IEEnableCMS = false;

namespace {

bool TryProfile(void* Src, Byte SrcKind, void* Dst, Byte DstKind, Integer Count, TIOParamsVals* IOParams) {
  if (!IEEnableCMS || !IOParams) return false;
  TIEICC* profile = IOParams->EmbeddedICCProfile;
  if ((!profile || !profile->IsValid()) && IOParams->FallbackICCProfile) profile = IOParams->FallbackICCProfile;
  if (!profile || !profile->IsValid() || profile->Applied) return false;
  TIEICC* target = IOParams->GetSystemICCProfile();
  if (!target || !target->IsValid()) return false;
  return profile->Transform(target, SrcKind, DstKind, 0, 0, Src, Dst, Count);
}

}  // namespace

void IEDefaultConvertColorFunction(void* Src, Byte SrcKind, void* Dst, Byte DstKind, Integer Count,
                                   TIOParamsVals* IOParams) {
  if (Count <= 0 || TryProfile(Src, SrcKind, Dst, DstKind, Count, IOParams)) return;
  Byte* s = static_cast<Byte*>(Src);
  Byte* d = static_cast<Byte*>(Dst);
  TRGB* out = static_cast<TRGB*>(Dst);
  if (DstKind == iecBGR) {
    switch (SrcKind) {
      case iecRGB:
        IECopySwapRB(s, out, Count);
        return;
      case iecBGR:
        std::memmove(Dst, Src, static_cast<size_t>(Count) * 3);
        return;
      case iecCMYK:
      case iecCMYKInk:
        // Ink amounts become the stored form in the caller's row, as callers expect.
        if (SrcKind == iecCMYKInk)
          for (size_t k = 0; k < size_t(Count) * 4; ++k) s[k] = static_cast<Byte>(255 - s[k]);
        // The profile converts the whole row in one pass; the per-pixel call is the formula then.
        if (IECMYKRowThroughProfile(s, out, Count)) return;
        for (Integer i = 0; i < Count; ++i, s += 4) {
          DWORD v = DWORD(s[0]) | DWORD(s[1]) << 8 | DWORD(s[2]) << 16 | DWORD(s[3]) << 24;
          IECMYK2RGB(v, out[i]);
        }
        return;
      case iecCIELab:
        for (Integer i = 0; i < Count; ++i, s += 3) {
          TCIELab lab;
          std::memcpy(&lab, s, 3);
          out[i] = IECIELabToRGB(lab);
        }
        return;
      case iecRGB48:
        for (Integer i = 0; i < Count; ++i, s += 6) out[i] = IECreateRGB(s[1], s[3], s[5]);
        return;
      case iecRGB48BE:
        for (Integer i = 0; i < Count; ++i, s += 6) out[i] = IECreateRGB(s[0], s[2], s[4]);
        return;
      case iecYCbCr:
        for (Integer i = 0; i < Count; ++i, s += 3) out[i] = IEYCbCrToRGB(s[0], s[1], s[2]);
        return;
      default:
        return;
    }
  }
  if (SrcKind != iecBGR) return;
  const TRGB* in = static_cast<const TRGB*>(Src);
  switch (DstKind) {
    case iecCMYK:
      if (IERGBRowThroughProfile(in, d, Count)) return;
      for (Integer i = 0; i < Count; ++i, d += 4) {
        const DWORD v = IERGB2CMYK(DWORD(in[i].r) << 16 | DWORD(in[i].g) << 8 | in[i].b);
        std::memcpy(d, &v, 4);
      }
      return;
    case iecCIELab:
      for (Integer i = 0; i < Count; ++i, d += 3) {
        const TCIELab lab = IERGBToCIELab(in[i]);
        std::memcpy(d, &lab, 3);
      }
      return;
    case iecGray:
      for (Integer i = 0; i < Count; ++i) d[i] = static_cast<Byte>(IERGBToGray(in[i]));
      return;
    default:
      return;
  }
}
