// Synthetic input for tests: real Qt events sent through the application's event handling, so
// controls see them as they see the user's.
#pragma once

#include <vector>

#include "platform/gui/controls.h"

class TCustomForm;

enum TSimulatedMouse { smPress, smRelease, smMove, smDoubleClick };

// A key pressed and released on Control (which is given the focus first). Ch is the character
// the key types (0 for none).
void SimulateKey(TWinControl* Control, Word Key, TShiftState Shift = 0, char Ch = 0);
void SimulateKeyDown(TWinControl* Control, Word Key, TShiftState Shift = 0, char Ch = 0);
void SimulateKeyUp(TWinControl* Control, Word Key, TShiftState Shift = 0);
// Types each character of Text (letters, digits, space and punctuation) into Control.
void SimulateTyping(TWinControl* Control, const AnsiString& Text);

// Text as a keyboard of another layout types it: one key event per character, without a
// virtual key code (UTF-8 in).
void SimulateText(TWinControl* Control, const AnsiString& Utf8Text);

// A mouse event at (X, Y) in Control's client coordinates.
void SimulateMouse(TControl* Control, TSimulatedMouse Kind, TMouseButton Button, Integer X, Integer Y,
                   TShiftState Shift = 0);
// Press and release.
void SimulateClick(TControl* Control, Integer X, Integer Y, TMouseButton Button = mbLeft);

// The user works a shown scroll bar of Control: an arrow (scLineUp/scLineDown), the trough
// (scPageUp/scPageDown) or the ends (scTop/scBottom).
void SimulateScrollBar(TCustomControl* Control, TScrollBarKind Kind, TScrollCode Code);

// The window system's close request (the close box, or the window manager).
void SimulateWindowClose(TCustomForm* Form);
// Local files dropped on Control from a file manager, in this order.
void SimulateDroppedFiles(TWinControl* Control, const std::vector<AnsiString>& Names);

// Renders the form as it shows now and saves it as a PNG file. False when it cannot be written.
bool SaveFormImage(TCustomForm* Form, const AnsiString& FileName);
