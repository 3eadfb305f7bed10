// Text, number-text and date-time routines of the framework vocabulary.
// Numbers are always written and read with "." as the decimal separator, whatever the C locale.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string_view>
#include <type_traits>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/types.h"

// The system's separators. Fixed: FFmpeg option strings and our own number texts rely on them.
inline constexpr char DecimalSeparator = '.';
inline constexpr char ThousandSeparator = ',';

// ---------------------------------------------------------------------------------------------
// Format

// One argument of Format. Remembers whether an integer was 32 or 64 bits wide, because "%x" of a
// negative number shows the two's complement of the argument's own width.
class TVarRec {
 public:
  enum class Kind { Int32, Int64, UInt64, Float, String, Char, Pointer };

  template <class T>
    requires std::is_integral_v<T> && (!std::is_same_v<T, bool>) && (!std::is_same_v<T, char>)
  TVarRec(T v) {  // NOLINT(google-explicit-constructor): the argument list converts implicitly
    if constexpr (sizeof(T) <= 4) {
      if constexpr (std::is_unsigned_v<T> && sizeof(T) == 4) {
        kind_ = Kind::Int64;  // a Cardinal keeps its value; "%x" still shows 32 bits of it
        i_ = static_cast<Int64>(v);
        narrow_ = true;
      } else {
        kind_ = Kind::Int32;
        i_ = static_cast<Int64>(v);
      }
    } else if constexpr (std::is_unsigned_v<T>) {
      kind_ = Kind::UInt64;
      u_ = static_cast<UInt64>(v);
    } else {
      kind_ = Kind::Int64;
      i_ = static_cast<Int64>(v);
    }
  }
  TVarRec(bool v) : kind_(Kind::Int32), i_(v ? 1 : 0) {}
  TVarRec(char c) : kind_(Kind::Char), c_(c) {}
  TVarRec(float v) : kind_(Kind::Float), d_(v) {}
  TVarRec(double v) : kind_(Kind::Float), d_(v) {}
  TVarRec(long double v) : kind_(Kind::Float), d_(static_cast<double>(v)) {}
  TVarRec(const char* s) : kind_(Kind::String), s_(s ? s : "") {}
  TVarRec(const AnsiString& s) : kind_(Kind::String), s_(s) {}
  TVarRec(std::string_view s) : kind_(Kind::String), s_(s) {}
  // Wide text is written as UTF-8.
  TVarRec(const WideString& s);
  TVarRec(const void* p) : kind_(Kind::Pointer), u_(reinterpret_cast<UInt64>(p)) {}

  Kind kind() const { return kind_; }
  bool isInteger() const { return kind_ == Kind::Int32 || kind_ == Kind::Int64 || kind_ == Kind::UInt64; }
  // True for 32-bit integers (including Cardinal): "%x" shows 8 hex digits of a negative one.
  bool isNarrow() const { return kind_ == Kind::Int32 || narrow_; }
  Int64 asInt64() const { return kind_ == Kind::UInt64 ? static_cast<Int64>(u_) : i_; }
  UInt64 asUInt64() const { return kind_ == Kind::UInt64 || kind_ == Kind::Pointer ? u_ : static_cast<UInt64>(i_); }
  double asDouble() const { return d_; }
  std::string_view asString() const { return ownsText_ ? std::string_view(owned_) : s_; }
  char asChar() const { return c_; }

 private:
  Kind kind_;
  bool narrow_ = false;
  Int64 i_ = 0;
  UInt64 u_ = 0;
  double d_ = 0;
  char c_ = 0;
  std::string_view s_;  // valid for the duration of the Format call only
  bool ownsText_ = false;
  AnsiString owned_;    // converted wide text
};

// The framework's Format. Specifiers: "%" ["index:"] ["-"] [width] ["." precision] type, where
// width and precision may be "*" (taken from the argument list), and type is one of
//   d u x (integers; precision = minimum digits, zero padded; x is upper-case hexadecimal)
//   e f g n (floats; f and n default to 2 decimals, e and g to 15 significant digits)
//   s (text; precision = maximum length), c (one character), p (pointer), %% (a percent sign).
// C length modifiers (l, ll, h) are accepted and ignored so that C-style patterns still work.
// A missing or mistyped argument, or a malformed specifier, raises EConvertError
// "Format '<fmt>' invalid or incompatible with argument".
AnsiString FormatBuf(std::string_view fmt, const TVarRec* args, std::size_t count);

template <class... Args>
AnsiString Format(std::string_view fmt, const Args&... args) {
  if constexpr (sizeof...(Args) == 0) {
    return FormatBuf(fmt, nullptr, 0);
  } else {
    const TVarRec list[] = {TVarRec(args)...};
    return FormatBuf(fmt, list, sizeof...(Args));
  }
}

// ---------------------------------------------------------------------------------------------
// Integers and text

AnsiString IntToStr(Int64 value);
AnsiString UIntToStr(UInt64 value);
// Every other integer type (Integer, Cardinal, size_t, ...) goes to one of the two above.
template <class T>
  requires std::is_integral_v<T> && (!std::is_same_v<T, Int64>)
AnsiString IntToStr(T value) {
  if constexpr (std::is_unsigned_v<T> && sizeof(T) == 8) {
    return UIntToStr(static_cast<UInt64>(value));
  } else {
    return IntToStr(static_cast<Int64>(value));
  }
}
// Upper-case hexadecimal, at least `digits` digits. A negative Integer shows its 32-bit pattern.
AnsiString IntToHex(Integer value, int digits);
AnsiString IntToHex(Int64 value, int digits);

// Text to integer with the framework's rules: leading blanks, an optional sign, decimal digits or
// hexadecimal after "$", "0x" or "0X". Anything else, or a value out of range, is an error:
// EConvertError "'<text>' is not a valid integer value".
Integer StrToInt(const AnsiString& s);
Int64 StrToInt64(const AnsiString& s);
Integer StrToIntDef(const AnsiString& s, Integer def);
Int64 StrToInt64Def(const AnsiString& s, Int64 def);
bool TryStrToInt(const AnsiString& s, Integer& value);
bool TryStrToInt64(const AnsiString& s, Int64& value);

// ---------------------------------------------------------------------------------------------
// Floats and text

enum TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };

// Text to float: optional blanks around, sign, digits with "." and an optional exponent.
// EConvertError "'<text>' is not a valid floating point value" on anything else.
double StrToFloat(const AnsiString& s);
bool TryStrToFloat(const AnsiString& s, double& value);
double StrToFloatDef(const AnsiString& s, double def);

// The framework's general form: up to 15 significant digits, no trailing zeros, an exponent only
// below 1E-4 or from 1E15 on ("1E-5", "1E15"); "NAN", "INF", "-INF" for the special values.
AnsiString FloatToStr(double value);
// The framework's formatted conversion. ffFixed and ffNumber: `digits` decimals (ffNumber with
// thousand separators); ffExponent: `precision` significant digits and at least `digits` exponent
// digits; ffGeneral: as FloatToStr with `precision` digits. ffCurrency is written as ffNumber.
AnsiString FloatToStrF(double value, TFloatFormat format, int precision, int digits);
// The number text written into FFmpeg option strings: the shortest form with at most 15
// significant digits, never an exponent, "." as separator (1/3 -> "0.333333333333333").
AnsiString FloatToOptionText(double value);

// ---------------------------------------------------------------------------------------------
// Strings (AnsiString is UTF-8; case rules below concern ASCII letters only)

AnsiString UpperCase(const AnsiString& s);
AnsiString LowerCase(const AnsiString& s);
// Remove leading and/or trailing blanks and control characters (bytes <= ' ').
AnsiString Trim(const AnsiString& s);
AnsiString TrimLeft(const AnsiString& s);
AnsiString TrimRight(const AnsiString& s);
bool SameText(const AnsiString& a, const AnsiString& b);
// Negative, zero or positive as a sorts before, with or after b (CompareText ignores case).
int CompareText(const AnsiString& a, const AnsiString& b);
int CompareStr(const AnsiString& a, const AnsiString& b);
// Encloses in single quotes, doubling the quotes inside.
AnsiString QuotedStr(const AnsiString& s);

enum TReplaceFlags : unsigned { rfReplaceAll = 1, rfIgnoreCase = 2 };
constexpr TReplaceFlags operator|(TReplaceFlags a, TReplaceFlags b) {
  return static_cast<TReplaceFlags>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
AnsiString StringReplace(const AnsiString& s, const AnsiString& oldPattern, const AnsiString& newPattern,
                         TReplaceFlags flags);

// The framework's 1-based string helpers. Positions and counts out of range are clipped.
// Pos gives the 1-based position of the first `sub` in s, 0 when absent (or when sub is empty).
int Pos(const AnsiString& sub, const AnsiString& s);
AnsiString Copy(const AnsiString& s, int index, int count);
void Delete(AnsiString& s, int index, int count);
void Insert(const AnsiString& sub, AnsiString& s, int index);
AnsiString StringOfChar(char c, int count);

// ---------------------------------------------------------------------------------------------
// Date and time: days since 1899-12-30, the fraction is the time of day. Local time.

using TDateTime = double;

TDateTime Now();
TDateTime Date();
TDateTime Time();
// EConvertError "Invalid argument to date encode" / "Invalid argument to time encode".
TDateTime EncodeDate(Word year, Word month, Word day);
TDateTime EncodeTime(Word hour, Word min, Word sec, Word msec);
bool TryEncodeDate(Word year, Word month, Word day, TDateTime& value);
bool TryEncodeTime(Word hour, Word min, Word sec, Word msec, TDateTime& value);
void DecodeDate(TDateTime value, Word& year, Word& month, Word& day);
void DecodeTime(TDateTime value, Word& hour, Word& min, Word& sec, Word& msec);
// 1 = Sunday .. 7 = Saturday.
Word DayOfWeek(TDateTime value);

// Specifiers: d dd ddd dddd, m mm mmm mmmm (minutes right after an hour), yy yyyy, h hh, n nn,
// s ss, z zzz, "text" and 'text' copied as is; any other character is copied. Names are English.
AnsiString FormatDateTime(const AnsiString& fmt, TDateTime value);
