// Synthetic input for tests: real Qt events sent through the application's event handling, so
// controls see them as they see the user's, and a look at what the screen shows. Works headless
// (QT_QPA_PLATFORM=offscreen). Coordinates are client coordinates of the control.
#pragma once

#include <vector>

#include "platform/gui/controls.h"

class TCustomForm;
class TPageControl;

enum TSimulatedMouse { smPress, smRelease, smMove, smDoubleClick };

// A key pressed and released on the focused part of Control (Control takes the focus first when
// it is elsewhere). As a key from the keyboard, it is offered to the shortcuts of the active
// window before the control sees it. Without Ch it types what a US keyboard types for it; Ch
// gives the character instead (0: none).
void SimulateKey(TWinControl* Control, Word Key, TShiftState Shift = 0);
void SimulateKey(TWinControl* Control, Word Key, TShiftState Shift, char Ch);
// The press or the release alone, straight to the control (no shortcuts).
void SimulateKeyDown(TWinControl* Control, Word Key, TShiftState Shift = 0, char Ch = 0);
void SimulateKeyUp(TWinControl* Control, Word Key, TShiftState Shift = 0);
// Types each character of Text (letters, digits, space and punctuation) into Control.
void SimulateTyping(TWinControl* Control, const AnsiString& Text);
// Text as a keyboard of another layout types it: one key event per character, without a
// virtual key code (UTF-8 in).
void SimulateText(TWinControl* Control, const AnsiString& Utf8Text);

// One mouse event at (X, Y), to Control whichever part of it lies there, as while the mouse is
// captured by it.
void SimulateMouse(TControl* Control, TSimulatedMouse Kind, TMouseButton Button, Integer X, Integer Y,
                   TShiftState Shift = 0);
// Press and release at (X, Y), on whatever the user would hit there: a child control, or a part
// of a composite control (a spin edit's arrows).
void SimulateClick(TControl* Control, Integer X, Integer Y, TMouseButton Button = mbLeft);
// A left click in the middle of the control.
void SimulateClick(TControl* Control);
// A click on the tab of page PageIndex.
void SimulateTabClick(TPageControl* Control, Integer PageIndex);

// The user works a shown scroll bar of Control: an arrow (scLineUp/scLineDown), the trough
// (scPageUp/scPageDown) or the ends (scTop/scBottom).
void SimulateScrollBar(TCustomControl* Control, TScrollBarKind Kind, TScrollCode Code);

// The window system's close request (the close box, or the window manager).
void SimulateWindowClose(TCustomForm* Form);
// Local files dropped on Control from a file manager, in this order.
void SimulateDroppedFiles(TWinControl* Control, const std::vector<AnsiString>& Names);

// The window the keyboard speaks to: the modal window on top (a message box, a dialog) while
// one is open, else the active window. A key pressed and released there, on its focused part,
// the way the keyboard sends it: queued, it arrives when the event loop next runs (so a key
// pressed from a timer reaches a box that handler opens), and is offered to the window's
// shortcuts first.
void SimulateKeyToTopWindow(Word Key, TShiftState Shift = 0);
// That window's title and its text (a message box's message; empty for other windows).
AnsiString TopWindowCaption();
AnsiString TopWindowText();
// How many modal windows (message boxes, dialogs, modal forms) are open now.
Integer OpenModalWindows();
// Closes every open message box and dialog as the close box would (a test's way out when keys
// did not do it).
void DismissModalWindows();

// The width Control needs to show its caption whole in its font (a button's, check box's or
// radio button's box and text, a label's text, a group box's title); 0 for a control without
// a caption.
Integer CaptionWidthNeeded(TControl* Control);

// What a screen reader learns of Control through the desktop's accessibility interface: its
// role ("radio button", "check box", "editable text", "spin box", "push button", "combo box",
// "window", ...), its name, and whether it counts as showing. PartNames lists the names of its
// accessible children (a spin control's arrows).
AnsiString AccessibleRole(TControl* Control);
AnsiString AccessibleName(TControl* Control);
bool AccessibleShowing(TControl* Control);
std::vector<AnsiString> AccessiblePartNames(TControl* Control);

// Shows the form, makes it the active window and handles the waiting events.
void ShowActive(TCustomForm* Form);
// The colour the window shows at (X, Y) of Control's client area (0x00BBGGRR), painted afresh:
// what covers the control there (another control, a menu bar) is what it reports.
TColor PixelOnScreen(TControl* Control, Integer X, Integer Y);
// Renders the form as it shows now and saves it as a PNG file. False when it cannot be written.
bool SaveFormImage(TCustomForm* Form, const AnsiString& FileName);
