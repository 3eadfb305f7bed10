#include "app/desktop_open.h"

#include "platform/gui/services.h"

bool OpenOnDesktop(TWinControl* Owner, const AnsiString& Target) {
  if (ShellOpen(Target)) return true;
  MessageBox(Owner,
             "Cannot open \"" + Target + "\": no program to open it was found on this desktop (or it did not start).",
             "Error", MB_ICONHAND);
  return false;
}
