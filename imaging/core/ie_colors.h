// Colour packing that the helpers of the image buffer do not cover: GDI+ colours and JFIF YCbCr.
#pragma once

#include "imaging/core/ie_types.h"
#include "platform/gui/colors.h"

// A framework colour (system colours resolved) as a 32-bit ARGB value with Alpha on top.
DWORD IEColorToARGB(TColor Color, Byte Alpha);
// JFIF YCbCr to colour, each channel truncated and clamped to 0..255.
TRGB IEYCbCrToRGB(Byte Y, Byte Cb, Byte Cr);
