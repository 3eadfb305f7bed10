// The state of the pointing device right now, outside any mouse event.
#pragma once

#include "platform/gui/controls.h"

// Button is held down now; the desktop's left-handed setting is already applied, so mbLeft is
// the button the user clicks with.
bool IsMouseButtonDown(TMouseButton Button);
