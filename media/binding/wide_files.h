// File and path helpers for the wide (UTF-16) file names the components take. "/" is the only
// path delimiter.
#pragma once

#include "platform/rtl/types.h"

// 1-based positions: 0 outside the text or for a character that is no surrogate, 1 for a high
// surrogate, 2 for a low one.
int WideCharKind(const WideString& Text, int Position);
bool IsSurrogate(char16_t C);
bool WideIsPathDelimiter(const WideString& Text, int Position);
WideString WideIncludeTrailingBackslash(const WideString& Path);
// The text up to and including the last delimiter, and the part after it.
WideString WideExtractFilePath(const WideString& Name);
WideString WideExtractFileName(const WideString& Name);
// A file that exists and is not a folder.
bool WideFileExists(const WideString& Name);
// The file's size in bytes; -1 for a missing file or a folder.
Int64 WideGetFileSize(const WideString& Name);
