// Conversions between the 8-bit system code page (UTF-8) and UTF-16.
// Invalid input never fails: each malformed sequence becomes U+FFFD.
#pragma once

#include "platform/rtl/types.h"

WideString AnsiToWide(const AnsiString& s);
AnsiString WideToAnsi(const WideString& s);

// The framework's explicit UTF-8 routines; with a UTF-8 code page they match the two above.
inline AnsiString UTF8Encode(const WideString& s) { return WideToAnsi(s); }
inline WideString UTF8Decode(const AnsiString& s) { return AnsiToWide(s); }

// True when every byte sequence of s is well-formed UTF-8.
bool IsValidUTF8(const AnsiString& s);
