// Which files the program offers to open as videos.
#pragma once

#include "platform/rtl/types.h"

// The patterns of the open dialog's filter, ";"-separated and ";"-terminated.
extern const char* const VideoExtensionList;

// True when the name's extension (compared without regard to case) is one of the list's.
bool IsVideoFileName(const AnsiString& FileName);
