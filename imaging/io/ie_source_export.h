// Source-array export (TZodivErIO::SaveToSourceArray): the character picture's shades.
#pragma once

#include "imaging/core/ie_types.h"

// The nine characters of the character picture, from dark to light.
extern const char IESourceArrayShades[];
// The character that stands for Pixel by its grey level.
char IESourceArrayShade(TRGB Pixel);
