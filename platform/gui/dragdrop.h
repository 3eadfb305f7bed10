// Files dropped on a control from the file manager.
//
// A control accepts drops once DragAcceptFiles(control, true) was called. A drop is first offered
// to Application->OnMessage as WM_DROPFILES (hwnd: the control, wParam: the HDROP); when no
// handler marks it handled, the control's OnDropFiles receives the list. Names come in the order
// the desktop gave them, whole (no length limit), as local paths.
#pragma once

#include <vector>

#include "platform/rtl/types.h"

class TWinControl;

struct TDropFiles {
  std::vector<AnsiString> Names;
};
using HDROP = TDropFiles*;

void DragAcceptFiles(TWinControl* Control, bool Accept);
bool AcceptsDroppedFiles(const TWinControl* Control);

// Number of names in the drop, or the name at Index (empty when out of range).
inline constexpr Cardinal DragQueryAll = 0xFFFFFFFFu;
Cardinal DragQueryFileCount(HDROP Drop);
AnsiString DragQueryFile(HDROP Drop, Cardinal Index);
// Ends the use of the drop record (the record itself belongs to the platform).
void DragFinish(HDROP Drop);

// Delivers a drop to Control as the desktop would (OnMessage first, then OnDropFiles). Used by
// the Qt drop handling and by tests.
void DeliverDroppedFiles(TWinControl* Control, const std::vector<AnsiString>& Names);
