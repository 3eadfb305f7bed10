// Globally unique identifiers, as the system's generator makes them (random, version 4).
#pragma once

#include "platform/rtl/types.h"

struct TGUID {
  Byte Bytes[16] = {};
  friend bool operator==(const TGUID&, const TGUID&) = default;
};

TGUID CreateGUID();
