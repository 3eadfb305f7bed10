// Asking the user for a folder through the desktop's folder browser.
#pragma once

#include "platform/rtl/types.h"

// Shows the folder browser titled Caption, starting at Root (the desktop when empty) with Folder
// preselected. A Folder that does not name an existing folder is emptied first, whatever the
// answer. On OK Folder receives the chosen folder and the result is true; on cancel it is false.
bool select_folder(const AnsiString& Caption, const WideString& Root, AnsiString& Folder);
