// Single CMYK pixels through the plain formula while a guard lives, for the tests of the formula
// itself and of exact round trips through ieCMYK: the library's default is the built-in profile.
#pragma once

#include "imaging/core/ie_cmyk_profile.h"

namespace ietest {

// Sets IEUseCMYKProfile to Use and puts the value it had back afterwards.
struct TCMYKProfileUse {
  bool Saved = IEUseCMYKProfile;
  explicit TCMYKProfileUse(bool Use = false) { IEUseCMYKProfile = Use; }
  ~TCMYKProfileUse() { IEUseCMYKProfile = Saved; }
  TCMYKProfileUse(const TCMYKProfileUse&) = delete;
  TCMYKProfileUse& operator=(const TCMYKProfileUse&) = delete;
};

}  // namespace ietest
