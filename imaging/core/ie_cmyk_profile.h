// The built-in CMYK printer profile through which single ieCMYK pixels are converted to and
// from colours, with the plain formula of ie_cmyk.h as the fallback. The profile and the system
// sRGB profile are made on first use, once for the whole process, and live until the I/O unit's
// shut-down frees them.
#pragma once

#include "imaging/core/ie_types.h"

class TIEICC;

// True (the default): CMYK pixels go through the built-in profile when it can be used.
extern bool IEUseCMYKProfile;
// Made by IEInitCMYKProfiles; nil before.
extern TIEICC* IECMYKProfile;
extern TIEICC* IESRGBProfile;

// The built-in profile, deflated, and its inflated size (generated at build time).
extern const unsigned char IEBuiltinCMYKProfileZ[];
extern const int IEBuiltinCMYKProfileZSize;
extern const int IEBuiltinCMYKProfileSize;

// Makes the two profiles on first use; whether CMYK colour management can be used. A profile
// that does not open answers False now and on every later call until IEFreeCMYKProfiles.
// Safe to call from several threads at once.
bool IEInitCMYKProfiles();
// Frees both profiles; the next use makes them again.
void IEFreeCMYKProfiles();

// Count stored ieCMYK pixels (4 bytes each, C first) to TRGB through the profile when
// IEUseCMYKProfile is set and the profile is usable, in one pass; false (Dst untouched) otherwise.
bool IECMYKRowThroughProfile(const Byte* Src, TRGB* Dst, Integer Count);
// Count TRGB pixels to stored ieCMYK bytes, likewise.
bool IERGBRowThroughProfile(const TRGB* Src, Byte* Dst, Integer Count);
