// Single-pixel conversions between colours and the library's ieCMYK pixels (bytes C, M, Y, K,
// each stored inverted: 255 = no ink). The image buffer, the codecs and the processing
// operations all meet ieCMYK pixels, so the conversions live here, below all of them. They go
// through the built-in CMYK profile when IEUseCMYKProfile is set and the profile can be used
// (ie_cmyk_profile.h), otherwise through the plain formulas below.
#pragma once

#include "imaging/core/ie_types.h"

// The ieCMYK pixel (C in the low byte) as a colour; the formula: red = C x K div 255, and so on.
void IECMYK2RGB(DWORD CMYK, TRGB& RGB);
// A colour (red shl 16 or green shl 8 or blue, i.e. a TRGB in the low bytes) as an ieCMYK pixel;
// the formula: K = max(R, G, B) (1 for black), C = R x 255 div K, M = G x 255 div K, Y = B x 255 div K.
DWORD IERGB2CMYK(DWORD RGB);
