// Opening a folder or a web page with the desktop's own program.
#pragma once

#include "platform/rtl/types.h"

class TWinControl;

// Opens Target with the desktop's program for it; when there is none (or it fails to start),
// tells the user in a box owned by Owner, naming the target. Returns whether it opened.
bool OpenOnDesktop(TWinControl* Owner, const AnsiString& Target);
