#include "platform/rtl/sysutils.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <locale.h>

#include "platform/rtl/strings.h"

TVarRec::TVarRec(const WideString& s) : kind_(Kind::String), ownsText_(true), owned_(WideToAnsi(s)) {}

namespace {

// ---------------------------------------------------------------------------------------------
// Decimal digits of a double

// |value| = 0.d1 d2 d3 ... x 10^exponent, digits without leading zeros. Zero has no digits.
struct DecimalForm {
  bool negative = false;
  AnsiString digits;
  int exponent = 0;
};

// 17 significant digits identify every double exactly; rounding to fewer digits happens on this
// text, halves away from zero, as the framework rounds its decimal conversions.
constexpr int kRawDigits = 17;

DecimalForm RawDigits(double value) {
  DecimalForm f;
  f.negative = std::signbit(value);
  const double a = std::fabs(value);
  if (a == 0) return f;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", kRawDigits - 1, a);
  // The radix character follows the C locale; only the digits and the exponent are read.
  const char* p = buf;
  for (; *p && *p != 'e' && *p != 'E'; ++p)
    if (*p >= '0' && *p <= '9') f.digits += *p;
  const int exp10 = *p ? std::atoi(p + 1) : 0;
  f.exponent = exp10 + 1;
  while (!f.digits.empty() && f.digits.back() == '0') f.digits.pop_back();
  return f;
}

// Keeps `count` leading digits, rounding halves away from zero. count <= 0 may round up to one
// digit (0.6 kept to 0 digits is 1) or leave none.
void RoundDigits(DecimalForm& f, int count) {
  if (static_cast<int>(f.digits.size()) <= count) return;
  if (count < 0) {
    f.digits.clear();
    return;
  }
  const bool up = f.digits[count] >= '5';
  f.digits.resize(count);
  if (up) {
    int i = count - 1;
    while (i >= 0 && f.digits[i] == '9') f.digits[i--] = '0';
    if (i >= 0) {
      ++f.digits[i];
    } else {
      f.digits.insert(f.digits.begin(), '1');
      f.digits.pop_back();
      if (f.digits.empty()) f.digits = "1";
      ++f.exponent;
    }
  }
  while (!f.digits.empty() && f.digits.back() == '0') f.digits.pop_back();
  if (f.digits.empty()) f.exponent = 0;
}

char DigitAt(const DecimalForm& f, int i) { return i >= 0 && i < static_cast<int>(f.digits.size()) ? f.digits[i] : '0'; }

AnsiString GroupThousands(const AnsiString& intPart) {
  AnsiString out;
  const int n = static_cast<int>(intPart.size());
  for (int i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out += ThousandSeparator;
    out += intPart[i];
  }
  return out;
}

// Fixed-point text of a rounded form with exactly `decimals` decimals (at least one integer digit).
AnsiString FixedText(const DecimalForm& f, int decimals, bool thousands) {
  AnsiString intPart;
  if (f.exponent <= 0 || f.digits.empty()) {
    intPart = "0";
  } else {
    for (int i = 0; i < f.exponent; ++i) intPart += DigitAt(f, i);
  }
  AnsiString out = thousands ? GroupThousands(intPart) : intPart;
  if (decimals > 0) {
    out += DecimalSeparator;
    for (int i = 0; i < decimals; ++i) out += f.digits.empty() ? '0' : DigitAt(f, f.exponent + i);
  }
  return out;
}

AnsiString ExponentText(int exponent, int minDigits, bool alwaysSign) {
  AnsiString out = "E";
  if (exponent < 0) {
    out += '-';
  } else if (alwaysSign) {
    out += '+';
  }
  AnsiString d = std::to_string(exponent < 0 ? -exponent : exponent);
  while (static_cast<int>(d.size()) < minDigits) d.insert(d.begin(), '0');
  return out + d;
}

AnsiString SpecialText(double value) {
  if (std::isnan(value)) return "NAN";
  return value < 0 ? "-INF" : "INF";
}

AnsiString WithSign(const DecimalForm& f, AnsiString text) {
  // A value that rounds to zero is written without a sign.
  return f.negative && !f.digits.empty() ? "-" + text : text;
}

AnsiString FormatExponent(double value, int precision, int digits) {
  DecimalForm f = RawDigits(value);
  RoundDigits(f, precision);
  AnsiString mant(1, DigitAt(f, 0));
  if (precision > 1) {
    mant += DecimalSeparator;
    for (int i = 1; i < precision; ++i) mant += DigitAt(f, i);
  }
  return WithSign(f, mant + ExponentText(f.digits.empty() ? 0 : f.exponent - 1, digits, true));
}

AnsiString FormatGeneral(double value, int precision, int digits) {
  DecimalForm f = RawDigits(value);
  RoundDigits(f, precision);
  if (f.digits.empty()) return "0";
  const int n = static_cast<int>(f.digits.size());
  AnsiString out;
  if (f.exponent > precision || f.exponent < -3) {
    out += f.digits[0];
    if (n > 1) out += DecimalSeparator + f.digits.substr(1);
    out += ExponentText(f.exponent - 1, digits, false);
  } else {
    out = FixedText(f, n > f.exponent ? n - f.exponent : 0, false);
  }
  return WithSign(f, out);
}

AnsiString FormatFixed(double value, int precision, int decimals, bool thousands) {
  if (decimals < 0) decimals = 0;
  if (decimals > 18) decimals = 18;
  DecimalForm f = RawDigits(value);
  if (f.exponent > precision) return FormatExponent(value, precision, 3);
  RoundDigits(f, std::min(precision, f.exponent + decimals));
  return WithSign(f, FixedText(f, decimals, thousands));
}

// ---------------------------------------------------------------------------------------------
// Format

[[noreturn]] void FormatError(std::string_view fmt) {
  throw EConvertError("Format '" + AnsiString(fmt) + "' invalid or incompatible with argument");
}

std::size_t CodePoints(std::string_view s) {
  std::size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

// The first `count` code points of s.
std::string_view FirstCodePoints(std::string_view s, std::size_t count) {
  std::size_t seen = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
      if (seen == count) return s.substr(0, i);
      ++seen;
    }
  }
  return s;
}

AnsiString ZeroPadded(AnsiString digits, int minDigits) {
  if (static_cast<int>(digits.size()) < minDigits) digits.insert(0, minDigits - digits.size(), '0');
  return digits;
}

AnsiString HexDigits(UInt64 v) {
  static const char kHex[] = "0123456789ABCDEF";
  AnsiString out;
  do {
    out.insert(out.begin(), kHex[v & 15]);
    v >>= 4;
  } while (v);
  return out;
}

void AppendUtf8(AnsiString& out, UInt64 cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

AnsiString FormatBuf(std::string_view fmt, const TVarRec* args, std::size_t count) {
  AnsiString out;
  std::size_t next = 0;  // index of the next argument
  std::size_t i = 0;
  const std::size_t n = fmt.size();

  auto takeArg = [&]() -> const TVarRec& {
    if (next >= count) FormatError(fmt);
    return args[next++];
  };
  // Digits or "*" (an Integer argument); -1 when neither is there. Widths and precisions beyond
  // kMaxField are refused: no one means them, and they would make huge paddings.
  constexpr long kMaxField = 100000;
  auto readNumber = [&]() -> long {
    if (i < n && fmt[i] == '*') {
      ++i;
      const TVarRec& a = takeArg();
      if (a.kind() != TVarRec::Kind::Int32 || a.asInt64() > kMaxField) FormatError(fmt);
      return a.asInt64() < 0 ? 0 : static_cast<long>(a.asInt64());
    }
    if (i >= n || !IsDigit(fmt[i])) return -1;
    long v = 0;
    while (i < n && IsDigit(fmt[i])) {
      v = v * 10 + (fmt[i++] - '0');
      if (v > kMaxField) FormatError(fmt);
    }
    return v;
  };

  while (i < n) {
    const char c = fmt[i++];
    if (c != '%') {
      out += c;
      continue;
    }
    if (i >= n) FormatError(fmt);
    if (fmt[i] == '%') {
      out += '%';
      ++i;
      continue;
    }
    // Optional "index:"; the number read first is the width when no colon follows.
    long first = readNumber();
    if (i < n && fmt[i] == ':') {
      if (first < 0) first = 0;
      next = static_cast<std::size_t>(first);
      ++i;
      first = -1;
    }
    bool left = false;
    if (first < 0 && i < n && fmt[i] == '-') {
      left = true;
      ++i;
    }
    long width = first >= 0 ? first : readNumber();
    long precision = -1;
    if (i < n && fmt[i] == '.') {
      ++i;
      precision = readNumber();
      if (precision < 0) precision = 0;
    }
    while (i < n && (fmt[i] == 'l' || fmt[i] == 'h' || fmt[i] == 'L' || fmt[i] == 'q' || fmt[i] == 'j' ||
                     fmt[i] == 'z' || fmt[i] == 't'))
      ++i;
    if (i >= n) FormatError(fmt);
    const char type = static_cast<char>(fmt[i++] | 0x20);  // specifiers are case-blind

    AnsiString field;
    switch (type) {
      case 'd':
      case 'u': {
        const TVarRec& a = takeArg();
        if (!a.isInteger()) FormatError(fmt);
        bool negative = false;
        UInt64 magnitude;
        if (type == 'u') {
          magnitude = a.isNarrow() ? static_cast<UInt64>(static_cast<Cardinal>(a.asInt64())) : a.asUInt64();
        } else if (a.kind() == TVarRec::Kind::UInt64) {
          magnitude = a.asUInt64();
        } else {
          const Int64 v = a.asInt64();
          negative = v < 0;
          magnitude = negative ? UInt64(0) - static_cast<UInt64>(v) : static_cast<UInt64>(v);
        }
        field = ZeroPadded(std::to_string(magnitude), static_cast<int>(precision));
        if (negative) field.insert(field.begin(), '-');
        break;
      }
      case 'x': {
        const TVarRec& a = takeArg();
        if (!a.isInteger()) FormatError(fmt);
        const UInt64 v = a.isNarrow() ? static_cast<UInt64>(static_cast<Cardinal>(a.asInt64())) : a.asUInt64();
        field = ZeroPadded(HexDigits(v), static_cast<int>(precision));
        break;
      }
      case 'p': {
        const TVarRec& a = takeArg();
        if (a.kind() != TVarRec::Kind::Pointer) FormatError(fmt);
        field = ZeroPadded(HexDigits(a.asUInt64()), 16);
        break;
      }
      case 'e':
      case 'f':
      case 'g':
      case 'n':
      case 'm': {
        const TVarRec& a = takeArg();
        if (a.kind() != TVarRec::Kind::Float) FormatError(fmt);
        const double v = a.asDouble();
        if (!std::isfinite(v)) {
          field = SpecialText(v);
        } else if (type == 'e') {
          field = FormatExponent(v, precision < 0 ? 15 : std::clamp<int>(precision, 1, 18), 3);
        } else if (type == 'g') {
          field = FormatGeneral(v, precision < 0 ? 15 : std::clamp<int>(precision, 1, 18), 3);
        } else {
          field = FormatFixed(v, 18, precision < 0 ? 2 : static_cast<int>(precision), type != 'f');
        }
        break;
      }
      case 's': {
        const TVarRec& a = takeArg();
        std::string_view s;
        char ch[1];
        if (a.kind() == TVarRec::Kind::String) {
          s = a.asString();
        } else if (a.kind() == TVarRec::Kind::Char) {
          ch[0] = a.asChar();
          s = std::string_view(ch, 1);
        } else {
          FormatError(fmt);
        }
        if (precision >= 0) s = FirstCodePoints(s, static_cast<std::size_t>(precision));
        field.assign(s);
        break;
      }
      case 'c': {
        const TVarRec& a = takeArg();
        if (a.kind() == TVarRec::Kind::Char) {
          field = a.asChar();
        } else if (a.kind() == TVarRec::Kind::Int32 && a.asInt64() >= 0) {
          AppendUtf8(field, static_cast<UInt64>(a.asInt64()));
        } else {
          FormatError(fmt);
        }
        break;
      }
      default:
        FormatError(fmt);
    }
    const std::size_t len = CodePoints(field);
    if (width > 0 && static_cast<std::size_t>(width) > len) {
      const AnsiString pad(static_cast<std::size_t>(width) - len, ' ');
      field = left ? field + pad : pad + field;
    }
    out += field;
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
// Integers

AnsiString IntToStr(Int64 value) { return std::to_string(value); }
AnsiString UIntToStr(UInt64 value) { return std::to_string(value); }

// More than 64 digits are only leading zeros no one asked for; the cap keeps the text bounded.
AnsiString IntToHex(Integer value, int digits) {
  return ZeroPadded(HexDigits(static_cast<Cardinal>(value)), std::min(digits, 64));
}
AnsiString IntToHex(Int64 value, int digits) {
  return ZeroPadded(HexDigits(static_cast<UInt64>(value)), std::min(digits, 64));
}

namespace {

// Parses with the framework's integer rules into [-limitNeg, limitPos]. Hexadecimal may use the
// full unsigned range of the type (the bit pattern), as the framework allows "$FFFFFFFF" = -1.
bool ParseInteger(const AnsiString& s, UInt64 limitPos, UInt64 hexLimit, Int64& out) {
  std::size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  bool hex = false;
  if (i < s.size() && s[i] == '$') {
    hex = true;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= s.size()) return false;
  UInt64 v = 0;
  const UInt64 limit = hex ? hexLimit : (negative ? limitPos + 1 : limitPos);
  for (; i < s.size(); ++i) {
    const char c = s[i];
    unsigned d;
    if (c >= '0' && c <= '9') {
      d = static_cast<unsigned>(c - '0');
    } else if (hex && c >= 'a' && c <= 'f') {
      d = static_cast<unsigned>(c - 'a' + 10);
    } else if (hex && c >= 'A' && c <= 'F') {
      d = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return false;
    }
    const unsigned base = hex ? 16 : 10;
    if (v > (limit - d) / base) return false;
    v = v * base + d;
  }
  if (hex && limitPos == static_cast<UInt64>(std::numeric_limits<Integer>::max())) {
    v = static_cast<UInt64>(static_cast<Int64>(static_cast<Integer>(static_cast<Cardinal>(v))));
  }
  const Int64 sv = static_cast<Int64>(v);  // two's complement: -2^63 comes out right
  out = negative ? static_cast<Int64>(UInt64(0) - static_cast<UInt64>(sv)) : sv;
  return true;
}

[[noreturn]] void IntegerError(const AnsiString& s) {
  throw EConvertError("'" + s + "' is not a valid integer value");
}

}  // namespace

bool TryStrToInt(const AnsiString& s, Integer& value) {
  Int64 v;
  if (!ParseInteger(s, std::numeric_limits<Integer>::max(), std::numeric_limits<Cardinal>::max(), v)) return false;
  value = static_cast<Integer>(v);
  return true;
}

bool TryStrToInt64(const AnsiString& s, Int64& value) {
  return ParseInteger(s, std::numeric_limits<Int64>::max(), std::numeric_limits<UInt64>::max(), value);
}

Integer StrToInt(const AnsiString& s) {
  Integer v;
  if (!TryStrToInt(s, v)) IntegerError(s);
  return v;
}

Int64 StrToInt64(const AnsiString& s) {
  Int64 v;
  if (!TryStrToInt64(s, v)) IntegerError(s);
  return v;
}

Integer StrToIntDef(const AnsiString& s, Integer def) {
  Integer v;
  return TryStrToInt(s, v) ? v : def;
}

Int64 StrToInt64Def(const AnsiString& s, Int64 def) {
  Int64 v;
  return TryStrToInt64(s, v) ? v : def;
}

// ---------------------------------------------------------------------------------------------
// Floats

namespace {

locale_t CNumericLocale() {
  static const locale_t loc = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(nullptr));
  return loc;
}

}  // namespace

bool TryStrToFloat(const AnsiString& s, double& value) {
  std::size_t i = 0;
  const std::size_t n = s.size();
  while (i < n && static_cast<unsigned char>(s[i]) <= ' ') ++i;
  std::size_t end = n;
  while (end > i && static_cast<unsigned char>(s[end - 1]) <= ' ') --end;
  AnsiString clean;
  if (i < end && (s[i] == '+' || s[i] == '-')) clean += s[i++];
  int mantissaDigits = 0;
  while (i < end && IsDigit(s[i])) {
    clean += s[i++];
    ++mantissaDigits;
  }
  if (i < end && s[i] == DecimalSeparator) {
    clean += '.';
    ++i;
    while (i < end && IsDigit(s[i])) {
      clean += s[i++];
      ++mantissaDigits;
    }
  }
  if (mantissaDigits == 0) return false;
  if (i < end && (s[i] == 'e' || s[i] == 'E')) {
    clean += 'e';
    ++i;
    if (i < end && (s[i] == '+' || s[i] == '-')) clean += s[i++];
    if (i >= end || !IsDigit(s[i])) return false;
    while (i < end && IsDigit(s[i])) clean += s[i++];
  }
  if (i != end) return false;
  errno = 0;
  const double v = strtod_l(clean.c_str(), nullptr, CNumericLocale());
  if (errno == ERANGE && std::fabs(v) > 1.0) return false;  // overflow; underflow is fine
  value = v;
  return true;
}

double StrToFloat(const AnsiString& s) {
  double v;
  if (!TryStrToFloat(s, v)) throw EConvertError("'" + s + "' is not a valid floating point value");
  return v;
}

double StrToFloatDef(const AnsiString& s, double def) {
  double v;
  return TryStrToFloat(s, v) ? v : def;
}

AnsiString FloatToStr(double value) { return FloatToStrF(value, ffGeneral, 15, 0); }

AnsiString FloatToStrF(double value, TFloatFormat format, int precision, int digits) {
  if (!std::isfinite(value)) return SpecialText(value);
  precision = std::clamp(precision, 1, 18);
  switch (format) {
    case ffExponent:
      return FormatExponent(value, precision, std::clamp(digits, 0, 4));
    case ffFixed:
      return FormatFixed(value, precision, digits, false);
    case ffNumber:
    case ffCurrency:
      return FormatFixed(value, precision, digits, true);
    case ffGeneral:
    default:
      return FormatGeneral(value, precision, std::clamp(digits, 0, 4));
  }
}

AnsiString FloatToOptionText(double value) {
  // FFmpeg's number parser reads these names.
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  DecimalForm f = RawDigits(value);
  RoundDigits(f, 15);
  if (f.digits.empty()) return "0";
  const int n = static_cast<int>(f.digits.size());
  return WithSign(f, FixedText(f, n > f.exponent ? n - f.exponent : 0, false));
}

// ---------------------------------------------------------------------------------------------
// Strings

namespace {
char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }
}  // namespace

AnsiString UpperCase(const AnsiString& s) {
  AnsiString r(s);
  for (char& c : r) c = AsciiUpper(c);
  return r;
}

AnsiString LowerCase(const AnsiString& s) {
  AnsiString r(s);
  for (char& c : r) c = AsciiLower(c);
  return r;
}

AnsiString TrimLeft(const AnsiString& s) {
  std::size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  return s.substr(i);
}

AnsiString TrimRight(const AnsiString& s) {
  std::size_t e = s.size();
  while (e > 0 && IsBlank(s[e - 1])) --e;
  return s.substr(0, e);
}

AnsiString Trim(const AnsiString& s) { return TrimLeft(TrimRight(s)); }

int CompareText(const AnsiString& a, const AnsiString& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int ca = static_cast<unsigned char>(AsciiUpper(a[i]));
    const int cb = static_cast<unsigned char>(AsciiUpper(b[i]));
    if (ca != cb) return ca - cb;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

int CompareStr(const AnsiString& a, const AnsiString& b) {
  const int r = a.compare(b);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

bool SameText(const AnsiString& a, const AnsiString& b) { return a.size() == b.size() && CompareText(a, b) == 0; }

AnsiString QuotedStr(const AnsiString& s) {
  AnsiString r = "'";
  for (char c : s) {
    if (c == '\'') r += '\'';
    r += c;
  }
  return r + "'";
}

AnsiString StringReplace(const AnsiString& s, const AnsiString& oldPattern, const AnsiString& newPattern,
                         TReplaceFlags flags) {
  if (oldPattern.empty()) return s;
  const bool ignoreCase = (flags & rfIgnoreCase) != 0;
  const AnsiString hay = ignoreCase ? UpperCase(s) : s;
  const AnsiString needle = ignoreCase ? UpperCase(oldPattern) : oldPattern;
  AnsiString out;
  std::size_t from = 0;
  while (true) {
    const std::size_t at = hay.find(needle, from);
    if (at == AnsiString::npos) break;
    out.append(s, from, at - from);
    out += newPattern;
    from = at + needle.size();
    if (!(flags & rfReplaceAll)) break;
  }
  out.append(s, from, AnsiString::npos);
  return out;
}

int Pos(const AnsiString& sub, const AnsiString& s) {
  if (sub.empty()) return 0;
  const std::size_t at = s.find(sub);
  return at == AnsiString::npos ? 0 : static_cast<int>(at) + 1;
}

AnsiString Copy(const AnsiString& s, int index, int count) {
  if (index < 1) index = 1;
  if (count <= 0 || static_cast<std::size_t>(index) > s.size()) return AnsiString();
  return s.substr(static_cast<std::size_t>(index) - 1, static_cast<std::size_t>(count));
}

void Delete(AnsiString& s, int index, int count) {
  if (index < 1 || count <= 0 || static_cast<std::size_t>(index) > s.size()) return;
  s.erase(static_cast<std::size_t>(index) - 1, static_cast<std::size_t>(count));
}

void Insert(const AnsiString& sub, AnsiString& s, int index) {
  if (index < 1) index = 1;
  const std::size_t at = std::min(static_cast<std::size_t>(index) - 1, s.size());
  s.insert(at, sub);
}

AnsiString StringOfChar(char c, int count) { return count > 0 ? AnsiString(static_cast<std::size_t>(count), c) : AnsiString(); }

// ---------------------------------------------------------------------------------------------
// Date and time

namespace {

constexpr double kMsPerDay = 86400000.0;
// Days from 0001-01-01 to 1899-12-30, the framework's day zero.
constexpr Int64 kDayZero = 693593;

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

// Days since 0001-01-01 (proleptic Gregorian) of a valid date.
Int64 DaysFromCivil(int y, int m, int d) {
  const Int64 py = y - 1;
  Int64 days = py * 365 + py / 4 - py / 100 + py / 400;
  for (int i = 1; i < m; ++i) days += DaysInMonth(y, i);
  return days + d - 1;
}

// Inverse of DaysFromCivil; false outside years 1 .. 9999.
bool CivilFromDays(Int64 days, int& y, int& m, int& d) {
  if (days < 0 || days > DaysFromCivil(9999, 12, 31)) return false;
  // 146097 days make 400 years; then walk the remainder by centuries, 4-year spans and years.
  Int64 rest = days;
  y = 1 + static_cast<int>(rest / 146097) * 400;
  rest %= 146097;
  int c = static_cast<int>(rest / 36524);
  if (c == 4) c = 3;
  y += c * 100;
  rest -= static_cast<Int64>(c) * 36524;
  y += static_cast<int>(rest / 1461) * 4;
  rest %= 1461;
  int yy = static_cast<int>(rest / 365);
  if (yy == 4) yy = 3;
  y += yy;
  rest -= static_cast<Int64>(yy) * 365;
  m = 1;
  while (rest >= DaysInMonth(y, m)) rest -= DaysInMonth(y, m++);
  d = static_cast<int>(rest) + 1;
  return true;
}

TDateTime LocalNow(bool datePart, bool timePart) {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm local{};
  const time_t secs = ts.tv_sec;
  localtime_r(&secs, &local);
  double result = 0;
  if (datePart)
    result += static_cast<double>(DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) - kDayZero);
  if (timePart) {
    const double ms = ((local.tm_hour * 60.0 + local.tm_min) * 60.0 + local.tm_sec) * 1000.0 +
                      static_cast<double>(ts.tv_nsec / 1000000);
    result += ms / kMsPerDay;
  }
  return result;
}

// Splits a TDateTime into a day number since 0001-01-01 and milliseconds of the day. A negative
// value counts days backwards while its fraction still runs forwards from midnight.
bool SplitDateTime(TDateTime v, Int64& days, Int64& msOfDay) {
  if (!std::isfinite(v) || std::fabs(v) > 3.0e6) return false;
  const double whole = std::trunc(v);
  msOfDay = static_cast<Int64>(std::llround(std::fabs(v - whole) * kMsPerDay));
  if (msOfDay >= 86400000) msOfDay = 86399999;
  days = static_cast<Int64>(whole) + kDayZero;
  return true;
}

const char* const kShortDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kLongDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kShortMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kLongMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};

}  // namespace

TDateTime Now() { return LocalNow(true, true); }
TDateTime Date() { return LocalNow(true, false); }
TDateTime Time() { return LocalNow(false, true); }

bool TryEncodeDate(Word year, Word month, Word day, TDateTime& value) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
  value = static_cast<double>(DaysFromCivil(year, month, day) - kDayZero);
  return true;
}

bool TryEncodeTime(Word hour, Word min, Word sec, Word msec, TDateTime& value) {
  if (hour > 23 || min > 59 || sec > 59 || msec > 999) return false;
  value = (((hour * 60.0 + min) * 60.0 + sec) * 1000.0 + msec) / kMsPerDay;
  return true;
}

TDateTime EncodeDate(Word year, Word month, Word day) {
  TDateTime v;
  if (!TryEncodeDate(year, month, day, v)) throw EConvertError("Invalid argument to date encode");
  return v;
}

TDateTime EncodeTime(Word hour, Word min, Word sec, Word msec) {
  TDateTime v;
  if (!TryEncodeTime(hour, min, sec, msec, v)) throw EConvertError("Invalid argument to time encode");
  return v;
}

void DecodeDate(TDateTime value, Word& year, Word& month, Word& day) {
  Int64 days, ms;
  int y, m, d;
  if (!SplitDateTime(value, days, ms) || !CivilFromDays(days, y, m, d)) {
    year = month = day = 0;
    return;
  }
  year = static_cast<Word>(y);
  month = static_cast<Word>(m);
  day = static_cast<Word>(d);
}

void DecodeTime(TDateTime value, Word& hour, Word& min, Word& sec, Word& msec) {
  Int64 days, ms;
  if (!SplitDateTime(value, days, ms)) {
    hour = min = sec = msec = 0;
    return;
  }
  hour = static_cast<Word>(ms / 3600000);
  min = static_cast<Word>(ms / 60000 % 60);
  sec = static_cast<Word>(ms / 1000 % 60);
  msec = static_cast<Word>(ms % 1000);
}

Word DayOfWeek(TDateTime value) {
  Int64 days, ms;
  if (!SplitDateTime(value, days, ms) || days < 0) return 0;
  // 0001-01-01 was a Monday.
  return static_cast<Word>((days + 1) % 7 + 1);
}

AnsiString FormatDateTime(const AnsiString& fmt, TDateTime value) {
  Word year, month, day, hour, min, sec, msec;
  DecodeDate(value, year, month, day);
  DecodeTime(value, hour, min, sec, msec);
  const Word wday = DayOfWeek(value);
  auto two = [](int v) { return ZeroPadded(std::to_string(v), 2); };

  AnsiString out;
  bool afterHour = false;  // "m" right after an hour specifier means minutes
  std::size_t i = 0;
  while (i < fmt.size()) {
    const char c = fmt[i];
    if (c == '"' || c == '\'') {
      const std::size_t close = fmt.find(c, i + 1);
      const std::size_t stop = close == AnsiString::npos ? fmt.size() : close;
      out.append(fmt, i + 1, stop - i - 1);
      i = stop == fmt.size() ? stop : stop + 1;
      continue;
    }
    const char lc = AsciiLower(c);
    if (lc != 'd' && lc != 'm' && lc != 'y' && lc != 'h' && lc != 'n' && lc != 's' && lc != 'z') {
      out += c;
      ++i;
      continue;
    }
    std::size_t run = 1;
    while (i + run < fmt.size() && AsciiLower(fmt[i + run]) == lc) ++run;
    i += run;
    switch (lc) {
      case 'd':
        if (run == 1) {
          out += std::to_string(day);
        } else if (run == 2) {
          out += two(day);
        } else if (wday >= 1) {
          out += run == 3 ? kShortDays[wday - 1] : kLongDays[wday - 1];
        }
        break;
      case 'm':
        if (afterHour && run <= 2) {
          out += run == 1 ? std::to_string(min) : two(min);
        } else if (run <= 2) {
          out += run == 1 ? std::to_string(month) : two(month);
        } else if (month >= 1) {
          out += run == 3 ? kShortMonths[month - 1] : kLongMonths[month - 1];
        }
        break;
      case 'y':
        out += run <= 2 ? two(year % 100) : ZeroPadded(std::to_string(year), 4);
        break;
      case 'h':
        out += run == 1 ? std::to_string(hour) : two(hour);
        break;
      case 'n':
        out += run == 1 ? std::to_string(min) : two(min);
        break;
      case 's':
        out += run == 1 ? std::to_string(sec) : two(sec);
        break;
      case 'z':
        out += run < 3 ? std::to_string(msec) : ZeroPadded(std::to_string(msec), 3);
        break;
    }
    afterHour = lc == 'h';
  }
  return out;
}
