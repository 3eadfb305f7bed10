// The clock text every window and run of the program shows for a media time.
#pragma once

#include "platform/rtl/types.h"

// "hh:mm:ss.zzz" of a time in microseconds; the hours keep counting past a day.
AnsiString format_time(Int64 Microseconds);
