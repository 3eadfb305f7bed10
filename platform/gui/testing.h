// Test helpers for the standard controls, beside the plain key and mouse simulation of
// input_simulation.h: keys that may be shortcuts of the active window, clicks on a part of a
// composite control (a spin edit's arrows, a page control's tabs), and what a control shows.
// Work headless (QT_QPA_PLATFORM=offscreen).
#pragma once

#include "platform/gui/controls.h"

class TCustomForm;
class TPageControl;

namespace guitest {

// Runs the events that are waiting (paints, posted events, zero-length timers).
void ProcessEvents();
// Shows the form, makes it the active window and runs the waiting events.
void ShowActive(TCustomForm* Form);
// Presses and releases Key with Shift held, addressed to the focused part of Control (Control
// itself when the focus is elsewhere). A key that is a shortcut of the active window goes to the
// shortcut. The character a key types is the one a US keyboard types for it.
void PressKey(TWinControl* Control, Word Key, TShiftState Shift = 0);
// Presses and releases a mouse button at X, Y in Control's client coordinates, on whichever part
// of the control lies there.
void ClickAt(TControl* Control, Integer X, Integer Y, TMouseButton Button = mbLeft);
// A left click in the middle of the control.
void Click(TControl* Control);
// A click on the tab of page PageIndex.
void ClickTab(TPageControl* Control, Integer PageIndex);
// The colour the control shows at X, Y of its client area (0x00BBGGRR), painted afresh.
TColor PixelOnScreen(TControl* Control, Integer X, Integer Y);

}  // namespace guitest
