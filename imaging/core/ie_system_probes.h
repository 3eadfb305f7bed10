// Scroll-bar calls of the image view and small questions about the system the library runs on.
#pragma once

#include "imaging/core/ie_types.h"
#include "platform/gui/controls.h"

// The view's scroll bars; Flat asks for the flat look, which this desktop's bars do not have,
// so both kinds go to the control's own bars.
void IESetScrollRange(TCustomControl* Wnd, TScrollBarKind Bar, Integer Min, Integer Max, bool Redraw, bool Flat);
void IESetScrollInfo(TCustomControl* Wnd, TScrollBarKind Bar, const TScrollInfo& Info, bool Redraw, bool Flat);
void IESetScrollPage(TCustomControl* Wnd, TScrollBarKind Bar, Integer Page, bool Redraw, bool Flat);
void IESetScrollPos(TCustomControl* Wnd, TScrollBarKind Bar, Integer Pos, bool Redraw, bool Flat);
void IEEnableScrollBar(TCustomControl* Wnd, TScrollBarKind Bar, bool Arrows, bool Flat);
void IEShowScrollBar(TCustomControl* Wnd, TScrollBarKind Bar, bool Show, bool Flat);

// The Windows release code the library's version checks compare with: never a Windows here.
Integer IEGetWindowsVersion();
bool IEHasMMX();
// The program's windows are shown on another machine's display.
bool IEIsRemoteSession();
// The button the user presses for a plain click is down now.
bool IEIsLeftButtonDown();
// The first windowed control from Component through its owners, or nil.
TWinControl* IEFindHandle(TComponent* Component);
// Opens the clipboard for a bracket of changes; a few tries 20 ms apart while another holds it.
bool IEOpenClipboard();
