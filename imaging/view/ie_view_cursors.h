// The view's own mouse cursors (ids 1778 to 1814), drawn here and registered with the screen
// the first time a view or the library's start-up asks for them.
#pragma once

#include "platform/gui/application.h"

// Registers every view cursor once; does nothing before the screen object exists.
void IELoadViewCursors();
// The picture of one view cursor (32 x 32); an empty picture for an id outside 1778..1814.
TCursorImage IEViewCursorImage(TCursor Id);
