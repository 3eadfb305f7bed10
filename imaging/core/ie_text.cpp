#include "imaging/core/ie_text.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/files.h"
#include "platform/rtl/strings.h"

bool IEDirectoryExists(const AnsiString& Path) {
  struct stat st;
  return ::stat(Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void IEForceDirectories(AnsiString Path) {
  if (Path.empty()) throw Exception("Cannot Create Directory");
  if (Path.back() == '/') Path.pop_back();
  // An empty path is now the root, which always exists.
  if (Path.empty() || IEDirectoryExists(Path)) return;
  AnsiString parent = ExtractFilePath(Path);
  // A relative single name has no folder part to create first.
  if (!parent.empty() && parent != Path) IEForceDirectories(parent);
  CreateDir(Path);
}

TFontStyles IELogFontToFontStyles(const TLogFontA* LogFont) {
  TFontStyles styles;
  if (!LogFont) return styles;
  if (LogFont->lfWeight >= 700) styles.Include(fsBold);
  if (LogFont->lfItalic) styles.Include(fsItalic);
  if (LogFont->lfUnderline) styles.Include(fsUnderline);
  if (LogFont->lfStrikeOut) styles.Include(fsStrikeOut);
  return styles;
}

bool IECompareGUID(const void* A, const void* B) { return std::memcmp(A, B, 16) == 0; }

long double IEStrToFloatDef(AnsiString S, long double Default) {
  double value;
  if (TryStrToFloat(S, value)) return value;
  size_t comma = S.find(','), dot = S.find('.');
  if (comma != AnsiString::npos)
    S[comma] = '.';
  else if (dot != AnsiString::npos)
    S[dot] = ',';
  if (TryStrToFloat(S, value)) return value;
  return Default;
}

void IEFloatToStrDot(AnsiString& S, long double Value) {
  AnsiString text = FloatToStr(static_cast<double>(Value));
  for (char& c : text)
    if (c == ',') c = '.';
  S = text;
}

void IEFloatToStrDotDirect(AnsiString& S, long double Value) { IEFloatToStrDot(S, Value); }

void IEFloatToStrF(long double Value, TFloatFormat Format, Integer Precision, Integer Digits, AnsiString& Result) {
  Result = FloatToStrF(static_cast<double>(Value), Format, Precision, Digits);
}

void IEIntToStr(Integer Value, AnsiString& Result) { Result = IntToStr(Value); }

void IEIntToHex(Integer Value, Integer Digits, AnsiString& Result) { Result = IntToHex(Value, Digits); }

Integer IEStrToIntDef(const AnsiString& S, Integer Default) { return StrToIntDef(S, Default); }

void IETrim(const AnsiString& S, AnsiString& Result) { Result = Trim(S); }

void IEUpperCase(const AnsiString& S, AnsiString& Result) { Result = UpperCase(S); }

void IELowerCase(const AnsiString& S, AnsiString& Result) { Result = LowerCase(S); }

void IECopy(const AnsiString& S, Integer Index, Integer Count, AnsiString& Result) {
  if (Index < 1) Index = 1;
  if (Count <= 0 || static_cast<size_t>(Index) > S.size()) {
    Result.clear();
    return;
  }
  Result = S.substr(static_cast<size_t>(Index - 1), static_cast<size_t>(Count));
}

Integer IEPos(const AnsiString& SubStr, const AnsiString& S) {
  if (SubStr.empty()) return 0;
  size_t at = S.find(SubStr);
  return at == AnsiString::npos ? 0 : static_cast<Integer>(at + 1);
}

char* IEStrDup(const char* S) {
  if (!S) return nullptr;
  size_t len = std::strlen(S);
  char* copy = static_cast<char*>(std::malloc(len + 1));
  if (copy) std::memcpy(copy, S, len + 1);
  return copy;
}

void IEGetFileExt(const AnsiString& FileName, bool WithDot, AnsiString& Ext) {
  AnsiString lower = LowerCase(FileName);
  size_t dot = lower.rfind('.');
  size_t slash = lower.rfind('/');
  if (dot == AnsiString::npos || (slash != AnsiString::npos && dot < slash)) {
    Ext.clear();
    return;
  }
  Ext = lower.substr(WithDot ? dot : dot + 1);
}

void IEExtractFileExt(const AnsiString& FileName, bool WithDot, AnsiString& Ext) {
  AnsiString ext;
  IEGetFileExt(FileName, WithDot, ext);
  Ext = ext;
}

void IEExtractFileExtW(const WideString& FileName, bool WithDot, WideString& Ext) {
  AnsiString ext;
  IEGetFileExt(WideToAnsi(FileName), WithDot, ext);
  Ext = AnsiToWide(ext);
}

Integer IEGetURLType(const AnsiString& URL) {
  AnsiString lower = LowerCase(URL);
  if (lower.starts_with("http://")) return 1;
  if (lower.starts_with("https://")) return 2;
  if (lower.starts_with("ftp://")) return 3;
  return 0;
}

Integer IEGetURLTypeW(const WideString& URL) { return IEGetURLType(WideToAnsi(URL)); }
