// The texts of FFmpeg's negative error codes.
#pragma once

#include "platform/rtl/types.h"

struct TErrorItem {
  int Code;
  const char* Message;
};

// The code's text, after Prefix and ": " when Prefix is not empty; a code that is in no row gives
// "Error number %d occurred".
AnsiString ErrorText(const AnsiString& Prefix, int Code);
inline AnsiString ErrorText(int Code) { return ErrorText(AnsiString(), Code); }
int ErrorTableSize();
