// Device capabilities of the screen, in the desktop's terms (GetDeviceCaps on the screen's
// device context).
#pragma once

#include "platform/rtl/types.h"

inline constexpr Integer BITSPIXEL = 12;
inline constexpr Integer NUMCOLORS = 24;

// BITSPIXEL: bits per pixel of the primary screen. NUMCOLORS: the number of colours of a
// palette display (depth 8 or less), -1 for a display with more than 256 colours. 0 for any
// other index, or before the window system has started.
Integer GetScreenDeviceCaps(Integer Index);
