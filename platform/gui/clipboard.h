// The clipboard: text and byte blocks under the desktop's standard formats or under private
// formats registered by name. Reached through the service object.
#pragma once

#include <vector>

#include "platform/gui/services.h"

// The id of a private format; the same name always gives the same id (from 0xC000 on).
TClipFormat RegisterClipboardFormat(const AnsiString& Name);
// The name a private id was registered under (empty for unknown ids).
AnsiString ClipboardFormatName(TClipFormat Format);

class TClipboard {
 public:
  // Between Open and Close, the Set calls add formats to one new content instead of each
  // replacing the clipboard (the framework's Open/Close bracket).
  void Open();
  void Close();
  void Clear();

  AnsiString AsText();
  void SetAsText(const AnsiString& Value);

  bool HasFormat(TClipFormat Format);
  // The block stored under Format (empty when absent).
  std::vector<Byte> GetAsHandle(TClipFormat Format);
  void SetAsHandle(TClipFormat Format, const std::vector<Byte>& Data);
  void SetBuffer(TClipFormat Format, const void* Buffer, std::size_t Size);

 private:
  void Put(TClipFormat Format, std::vector<Byte> Data);
  Integer FOpenCount = 0;
  TClipboardData FPending;
};

// The one clipboard object of the program.
TClipboard* Clipboard();
