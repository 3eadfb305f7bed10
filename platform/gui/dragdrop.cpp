#include "platform/gui/dragdrop.h"

#include <algorithm>

#include <QWidget>

#include "platform/gui/application.h"

namespace {
std::vector<const TWinControl*>& Accepting() {
  static std::vector<const TWinControl*> List;
  return List;
}
}  // namespace

void DragAcceptFiles(TWinControl* Control, bool Accept) {
  if (!Control) return;
  auto& L = Accepting();
  auto It = std::find(L.begin(), L.end(), Control);
  if (Accept && It == L.end()) L.push_back(Control);
  if (!Accept && It != L.end()) L.erase(It);
  if (Control->Widget()) Control->Widget()->setAcceptDrops(Accept);
}

bool AcceptsDroppedFiles(const TWinControl* Control) {
  auto& L = Accepting();
  return std::find(L.begin(), L.end(), Control) != L.end();
}

Cardinal DragQueryFileCount(HDROP Drop) { return Drop ? Cardinal(Drop->Names.size()) : 0; }

AnsiString DragQueryFile(HDROP Drop, Cardinal Index) {
  if (!Drop || Index >= Drop->Names.size()) return AnsiString();
  return Drop->Names[Index];
}

void DragFinish(HDROP) {}

void DeliverDroppedFiles(TWinControl* Control, const std::vector<AnsiString>& Names) {
  if (!Control || !AcceptsDroppedFiles(Control)) return;
  TDropFiles Drop{Names};
  TMsg Msg;
  Msg.hwnd = Control;
  Msg.message = WM_DROPFILES;
  Msg.wParam = reinterpret_cast<NativeUInt>(&Drop);
  bool Handled = Application && Application->DispatchAppMessage(Msg);
  if (!Handled && Control->OnDropFiles) Control->OnDropFiles(Control, Drop.Names);
}
