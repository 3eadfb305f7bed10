// The file stream through which the I/O component opens every image file, by wide name.
#pragma once

#include "platform/rtl/streams.h"

// Mode that creates (or empties) the file; the framework's fmCreate is accepted as well.
inline constexpr Word ieFileCreateMode = 0xFFFF;

// Creates or empties FileName for reading and writing; -1 on failure (errno says why).
int IEFileCreateW(const WideString& FileName);
// Opens an existing file. Mode and 3 is the access (0 read, 1 write, 2 both); (Mode and $F0)
// shr 4 the sharing, which Linux does not enforce. -1 for an access above 2, a sharing above
// 4, or a failed open.
int IEFileOpenW(const WideString& FileName, Word Mode);

class TIEWideFileStream : public THandleStream {
 public:
  // Raises EFCreateError "Cannot create file \"%s\". %s" or EFOpenError "Cannot open file
  // \"%s\". %s" with the expanded name and the system's error text.
  TIEWideFileStream(const WideString& FileName, Word Mode);
  ~TIEWideFileStream() override;
  AnsiString ClassName() const override { return "TIEWideFileStream"; }
};
