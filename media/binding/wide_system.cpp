#include "media/binding/wide_system.h"

#include <cerrno>
#include <cstdlib>

#include "platform/rtl/strings.h"

WideString WideGetCurrentDir() { return UTF8Decode(GetCurrentDir()); }

bool WideSetCurrentDir(const WideString& Dir) { return !Dir.empty() && SetCurrentDir(UTF8Encode(Dir)); }

WideString WideGetEnvironmentVariable(const WideString& Name) {
  // A name holding "=" or nothing names no variable.
  if (Name.empty() || Name.find(u'=') != WideString::npos) return WideString();
  const char* value = std::getenv(UTF8Encode(Name).c_str());
  return value ? UTF8Decode(value) : WideString();
}

WideString WideExpandFileName(const WideString& Name) {
  if (Name.empty()) return WideString();
  return UTF8Decode(ExpandFileName(UTF8Encode(Name)));
}

namespace {

void FillWideRecord(const TSearchRec& From, TWideSearchRec& To) {
  To.Time = From.Time;
  To.Size = From.Size;
  To.Attr = From.Attr;
  To.Name = UTF8Decode(From.Name);
}

}  // namespace

int WideFindFirst(const WideString& Path, Integer Attr, TWideSearchRec& Rec) {
  WideFindClose(Rec);
  Rec.ExcludeAttr = ~Attr & (faHidden | faSysFile | faDirectory);
  auto search = std::make_shared<TSearchRec>();
  const int result = FindFirst(UTF8Encode(Path), Attr, *search);
  if (result != 0) {
    FindClose(*search);
    return result;
  }
  FillWideRecord(*search, Rec);
  Rec.FindHandle = std::move(search);
  return 0;
}

int WideFindNext(TWideSearchRec& Rec) {
  if (!Rec.FindHandle) return EBADF;
  const int result = FindNext(*Rec.FindHandle);
  if (result == 0) FillWideRecord(*Rec.FindHandle, Rec);
  return result;
}

void WideFindClose(TWideSearchRec& Rec) {
  if (!Rec.FindHandle) return;
  FindClose(*Rec.FindHandle);
  Rec.FindHandle.reset();
}

int WideLastDelimiter(const WideString& Delimiters, const WideString& Text) {
  for (size_t i = Text.size(); i > 0; --i) {
    const char16_t c = Text[i - 1];
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    if (Delimiters.find(c) != WideString::npos) return static_cast<int>(i);
  }
  return 0;
}

bool IsLeadByte(unsigned char B) { return B >= 0xC2 && B <= 0xF4; }
