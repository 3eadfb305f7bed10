// Conversions between the 8-bit system code page (UTF-8) and UTF-16, the one place that converts.
//
// File names on Linux are bytes and need not be UTF-8, so the conversion loses nothing: a byte that
// starts no well-formed sequence becomes the lone low surrogate 0xDC00 + byte (0xDC80..0xDCFF),
// and such a lone surrogate becomes that byte again, so WideToAnsi(AnsiToWide(s)) == s for every s.
// Any other lone surrogate has no byte behind it and becomes U+FFFD. Text shown to the user may
// still carry those bytes; the display turns them into U+FFFD.
#pragma once

#include "platform/rtl/types.h"

WideString AnsiToWide(const AnsiString& s);
AnsiString WideToAnsi(const WideString& s);

// The framework's explicit UTF-8 routines; with a UTF-8 code page they match the two above.
inline AnsiString UTF8Encode(const WideString& s) { return WideToAnsi(s); }
inline WideString UTF8Decode(const AnsiString& s) { return AnsiToWide(s); }

// s as UTF-16 with every character in its case-folded form (Unicode's simple folding), for
// comparing user text without regard to case: two texts that differ only in case fold to the
// same string, beyond ASCII too. Bytes that are no UTF-8 keep their identity, as in AnsiToWide.
WideString CaseFolded(const AnsiString& s);

// True when every byte sequence of s is well-formed UTF-8.
bool IsValidUTF8(const AnsiString& s);
