#include "media/binding/wide_files.h"

#include <sys/stat.h>

#include "platform/rtl/strings.h"

int WideCharKind(const WideString& Text, int Position) {
  if (Position < 1 || Position > static_cast<int>(Text.size())) return 0;
  const char16_t c = Text[Position - 1];
  if (c >= 0xD800 && c <= 0xDBFF) return 1;
  if (c >= 0xDC00 && c <= 0xDFFF) return 2;
  return 0;
}

bool IsSurrogate(char16_t C) { return C >= 0xD800 && C <= 0xDFFF; }

bool WideIsPathDelimiter(const WideString& Text, int Position) {
  return Position >= 1 && Position <= static_cast<int>(Text.size()) && Text[Position - 1] == u'/' &&
         WideCharKind(Text, Position) == 0;
}

WideString WideIncludeTrailingBackslash(const WideString& Path) {
  if (WideIsPathDelimiter(Path, static_cast<int>(Path.size()))) return Path;
  return Path + u"/";
}

WideString WideExtractFilePath(const WideString& Name) {
  const size_t slash = Name.rfind(u'/');
  return slash == WideString::npos ? WideString() : Name.substr(0, slash + 1);
}

WideString WideExtractFileName(const WideString& Name) {
  const size_t slash = Name.rfind(u'/');
  return slash == WideString::npos ? Name : Name.substr(slash + 1);
}

bool WideFileExists(const WideString& Name) {
  struct stat st {};
  return stat(WideToAnsi(Name).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

Int64 WideGetFileSize(const WideString& Name) {
  struct stat st {};
  if (stat(WideToAnsi(Name).c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
  return static_cast<Int64>(st.st_size);
}
