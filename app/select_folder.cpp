#include "app/select_folder.h"

#include "platform/gui/dialogs.h"
#include "platform/rtl/strings.h"

bool select_folder(const AnsiString& Caption, const WideString& Root, AnsiString& Folder) {
  return SelectDirectory(Caption, WideToAnsi(Root), Folder);
}
