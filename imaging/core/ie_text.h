// Text helpers of the imaging library: folders, decimal numbers that read and write the same on
// every locale, file-name extensions and address kinds, font styles and identities. Strings
// are UTF-8 unless the routine takes a wide string; positions count from 1.
#pragma once

#include "platform/gui/graphics_objects.h"
#include "platform/rtl/sysutils.h"
#include "platform/rtl/types.h"

// The logical-font record that stored files and font dialogs exchange (60 bytes).
#pragma pack(push, 1)
struct TLogFontA {
  Integer lfHeight;
  Integer lfWidth;
  Integer lfEscapement;
  Integer lfOrientation;
  Integer lfWeight;
  Byte lfItalic;
  Byte lfUnderline;
  Byte lfStrikeOut;
  Byte lfCharSet;
  Byte lfOutPrecision;
  Byte lfClipPrecision;
  Byte lfQuality;
  Byte lfPitchAndFamily;
  char lfFaceName[32];
};
#pragma pack(pop)
static_assert(sizeof(TLogFontA) == 60);

bool IEDirectoryExists(const AnsiString& Path);
// Creates every missing folder of Path, parents first. Raises Exception "Cannot Create
// Directory" for an empty path; a folder that cannot be made is left for the caller to notice.
void IEForceDirectories(AnsiString Path);
// Bold from weight 700 up, italic, underline and strike-out from their flags; nil gives none.
TFontStyles IELogFontToFontStyles(const TLogFontA* LogFont);
// True when the two 16-byte identifiers are equal.
bool IECompareGUID(const void* A, const void* B);

// Reads "1.5" and "1,5" alike; unreadable text gives Default.
long double IEStrToFloatDef(AnsiString S, long double Default);
// Up to 15 significant digits with "." as the decimal separator whatever the locale.
void IEFloatToStrDot(AnsiString& S, long double Value);
void IEFloatToStrDotDirect(AnsiString& S, long double Value);
void IEFloatToStrF(long double Value, TFloatFormat Format, Integer Precision, Integer Digits, AnsiString& Result);
void IEIntToStr(Integer Value, AnsiString& Result);
void IEIntToHex(Integer Value, Integer Digits, AnsiString& Result);
Integer IEStrToIntDef(const AnsiString& S, Integer Default);

void IETrim(const AnsiString& S, AnsiString& Result);
void IEUpperCase(const AnsiString& S, AnsiString& Result);
void IELowerCase(const AnsiString& S, AnsiString& Result);
void IECopy(const AnsiString& S, Integer Index, Integer Count, AnsiString& Result);
Integer IEPos(const AnsiString& SubStr, const AnsiString& S);
// A heap copy released with std::free; nil for nil.
char* IEStrDup(const char* S);

// The lower-case extension after the last "." of the name part, with the dot when WithDot.
void IEGetFileExt(const AnsiString& FileName, bool WithDot, AnsiString& Ext);
void IEExtractFileExt(const AnsiString& FileName, bool WithDot, AnsiString& Ext);
void IEExtractFileExtW(const WideString& FileName, bool WithDot, WideString& Ext);
// 1 http://, 2 https://, 3 ftp://, 0 otherwise; without regard to case.
Integer IEGetURLType(const AnsiString& URL);
Integer IEGetURLTypeW(const WideString& URL);
