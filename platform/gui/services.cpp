#include "platform/gui/services.h"

#include "platform/gui/application.h"
#include "platform/gui/qt_services.h"

namespace {
TPlatformServices* g_Installed = nullptr;
}  // namespace

TPlatformServices* PlatformServices() {
  if (g_Installed) return g_Installed;
  return clvqt::DefaultServices();
}

TPlatformServices* SetPlatformServices(TPlatformServices* Services) {
  TPlatformServices* Previous = g_Installed;
  g_Installed = Services;
  return Previous;
}

AnsiString MsgDlgCaption(TMsgDlgType Type) {
  switch (Type) {
    case mtWarning: return "Warning";
    case mtError: return "Error";
    case mtInformation: return "Information";
    case mtConfirmation: return "Confirm";
    default: return Application ? Application->Title() : AnsiString();
  }
}

void ShowMessage(const AnsiString& Text) {
  PlatformServices()->MessageBox(nullptr, Text, Application ? Application->Title() : AnsiString(), MB_OK);
}

Integer MessageDlg(const AnsiString& Text, TMsgDlgType Type, TMsgDlgButtons Buttons, Integer) {
  return PlatformServices()->MessageDlg(Text, Type, Buttons);
}

Integer MessageBox(TWinControl* Owner, const AnsiString& Text, const AnsiString& Caption, Cardinal Flags) {
  return PlatformServices()->MessageBox(Owner, Text, Caption, Flags);
}

bool ShellOpen(const AnsiString& Target) { return PlatformServices()->ShellOpen(Target); }
