// Wide-string (UTF-16) forms of the system's folder, environment and search calls, for the wide
// file names the components take; the file system itself speaks UTF-8.
#pragma once

#include <memory>

#include "platform/rtl/files.h"
#include "platform/rtl/types.h"

// The working folder, whatever its length.
WideString WideGetCurrentDir();
bool WideSetCurrentDir(const WideString& Dir);
// Empty for a variable that is not set; a value of any length comes whole.
WideString WideGetEnvironmentVariable(const WideString& Name);
// Name made absolute against the working folder, with "." and ".." resolved.
WideString WideExpandFileName(const WideString& Name);

struct TWideSearchRec {
  Integer Time = 0;  // last change, local time, packed as a DOS date and time
  Int64 Size = 0;
  Integer Attr = 0;
  WideString Name;
  // Of hidden, system and folder: the kinds the search leaves out.
  Integer ExcludeAttr = 0;
  std::shared_ptr<TSearchRec> FindHandle;
};

// 0 with Rec filled from the first match of Path's mask, or the system error code (the search
// is then closed). Hidden and system entries and folders come only when Attr holds their bit.
int WideFindFirst(const WideString& Path, Integer Attr, TWideSearchRec& Rec);
int WideFindNext(TWideSearchRec& Rec);
// Ends the search; a second call does nothing.
void WideFindClose(TWideSearchRec& Rec);

// 1-based position of the text's last character that is one of Delimiters; 0 for none. Half of
// a surrogate pair never counts.
int WideLastDelimiter(const WideString& Delimiters, const WideString& Text);
// Whether B starts a character of more than one byte in the system's code page (UTF-8).
bool IsLeadByte(unsigned char B);
