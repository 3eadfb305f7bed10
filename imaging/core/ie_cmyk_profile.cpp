#include "imaging/core/ie_cmyk_profile.h"

#include <zlib.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "imaging/core/ie_icc.h"

bool IEUseCMYKProfile = true;
TIEICC* IECMYKProfile = nullptr;
TIEICC* IESRGBProfile = nullptr;

namespace {

// 0: not made yet; 1: usable; 2: refused (the formula serves until the profiles are freed).
std::atomic<int> ProfileState{0};
std::mutex ProfileLock;

void FreeProfilesLocked() {
  delete IECMYKProfile;
  delete IESRGBProfile;
  IECMYKProfile = nullptr;
  IESRGBProfile = nullptr;
}

bool MakeProfiles() {
  // The inflated profile must be exactly the size recorded beside it: anything else is
  // damaged data, not a profile.
  std::vector<Byte> raw(static_cast<size_t>(IEBuiltinCMYKProfileSize));
  uLongf rawSize = static_cast<uLongf>(raw.size());
  if (uncompress(raw.data(), &rawSize, IEBuiltinCMYKProfileZ, static_cast<uLong>(IEBuiltinCMYKProfileZSize)) != Z_OK ||
      rawSize != raw.size())
    return false;
  IECMYKProfile = new TIEICC;
  IECMYKProfile->LoadFromBuffer(raw.data(), static_cast<Integer>(raw.size()));
  if (!IECMYKProfile->IsValid()) return false;
  IESRGBProfile = new TIEICC;
  IESRGBProfile->LoadSystemSRGB();
  // Both transforms are built here, once, so that later conversions only read them.
  Byte cmyk[4] = {255, 255, 255, 0};
  TRGB rgb{0, 0, 0};
  return IECMYKProfile->Transform(IESRGBProfile, ieiccCMYKInv, ieiccBGR, 0, 0, cmyk, &rgb, 1) &&
         IESRGBProfile->Transform(IECMYKProfile, ieiccBGR, ieiccCMYKInv, 0, 0, &rgb, cmyk, 1);
}

}  // namespace

bool IEInitCMYKProfiles() {
  const int state = ProfileState.load(std::memory_order_acquire);
  if (state != 0) return state == 1;
  std::lock_guard<std::mutex> hold(ProfileLock);
  if (ProfileState.load(std::memory_order_relaxed) == 0) {
    FreeProfilesLocked();
    ProfileState.store(MakeProfiles() ? 1 : 2, std::memory_order_release);
  }
  return ProfileState.load(std::memory_order_relaxed) == 1;
}

void IEFreeCMYKProfiles() {
  std::lock_guard<std::mutex> hold(ProfileLock);
  FreeProfilesLocked();
  ProfileState.store(0, std::memory_order_release);
}

bool IECMYKRowThroughProfile(const Byte* Src, TRGB* Dst, Integer Count) {
  if (!IEUseCMYKProfile || Count <= 0 || !IEInitCMYKProfiles()) return false;
  // The transform does not write its input for this layout, but takes it unqualified.
  return IECMYKProfile->Transform(IESRGBProfile, ieiccCMYKInv, ieiccBGR, 0, 0, const_cast<Byte*>(Src), Dst, Count);
}

bool IERGBRowThroughProfile(const TRGB* Src, Byte* Dst, Integer Count) {
  if (!IEUseCMYKProfile || Count <= 0 || !IEInitCMYKProfiles()) return false;
  // A BGR input is swapped in place by the transform: it works on a copy.
  std::vector<TRGB> copy(Src, Src + Count);
  return IESRGBProfile->Transform(IECMYKProfile, ieiccBGR, ieiccCMYKInv, 0, 0, copy.data(), Dst, Count);
}
