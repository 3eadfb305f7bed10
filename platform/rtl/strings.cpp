#include "platform/rtl/strings.h"

#include <locale.h>
#include <wctype.h>

namespace {

constexpr char32_t kReplacement = 0xFFFD;
// DecodeUtf8's answer for a byte that starts no well-formed sequence.
constexpr char32_t kMalformed = 0xFFFFFFFF;
// A byte that is not UTF-8 travels as the lone low surrogate 0xDC00 + byte. Such bytes are never
// ASCII, so only 0xDC80..0xDCFF carry one.
constexpr char16_t kEscapeBase = 0xDC00;
constexpr char16_t kFirstEscape = 0xDC80;
constexpr char16_t kLastEscape = 0xDCFF;

// Decodes one code point at s[i], advancing i; at malformed input it answers kMalformed and
// moves past that one byte only, so the bytes after it get their own chance.
char32_t DecodeUtf8(const AnsiString& s, size_t& i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int extra;
  char32_t cp;
  char32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    extra = 1; cp = b0 & 0x1F; min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2; cp = b0 & 0x0F; min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3; cp = b0 & 0x07; min = 0x10000;
  } else {
    ++i;
    return kMalformed;
  }
  if (i + static_cast<size_t>(extra) >= s.size()) {  // truncated sequence
    ++i;
    return kMalformed;
  }
  for (int k = 1; k <= extra; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return kMalformed;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return kMalformed;
  }
  i += extra + 1;
  return cp;
}

void AppendUtf16(WideString& out, char32_t cp) {
  if (cp >= 0x10000) {
    const char32_t v = cp - 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(cp));
  }
}

// The C library's Unicode case tables, whatever locale the process runs in: the built-in
// C.UTF-8 locale carries them. Null only on a C library without it (ASCII folding then).
locale_t UnicodeCaseTables() {
  static const locale_t tables = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
  return tables;
}

bool IsCherokee(char32_t cp) {
  return (cp >= 0x13A0 && cp <= 0x13FD) || (cp >= 0xAB70 && cp <= 0xABBF);
}

// Simple case folding from the upper/lower mappings: lower(upper(c)) also joins letters with
// more than one lower form (final sigma, long s, the Kelvin sign). Folding keeps the Turkish
// dotted and dotless i apart from i, and folds Cherokee to its capitals, unlike that rule.
char32_t FoldCase(char32_t cp) {
  if (cp < 0x80) return (cp >= 'A' && cp <= 'Z') ? cp + ('a' - 'A') : cp;
  const locale_t tables = UnicodeCaseTables();
  if (!tables || cp == 0x130 || cp == 0x131) return cp;
  const auto wide = static_cast<wint_t>(cp);
  if (IsCherokee(cp)) return static_cast<char32_t>(towupper_l(wide, tables));
  return static_cast<char32_t>(towlower_l(towupper_l(wide, tables), tables));
}

void AppendUtf8(AnsiString& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// s as UTF-16, each well-formed character passed through Map on the way.
template <typename TMap>
WideString ToUtf16(const AnsiString& s, TMap Map) {
  WideString out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const size_t at = i;
    const char32_t cp = DecodeUtf8(s, i);
    if (cp == kMalformed) {
      out.push_back(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(s[at])));
    } else {
      AppendUtf16(out, Map(cp));
    }
  }
  return out;
}

}  // namespace

WideString AnsiToWide(const AnsiString& s) {
  return ToUtf16(s, [](char32_t cp) { return cp; });
}

WideString CaseFolded(const AnsiString& s) { return ToUtf16(s, FoldCase); }

AnsiString WideToAnsi(const WideString& s) {
  AnsiString out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= kFirstEscape && cp <= kLastEscape) {
      out.push_back(static_cast<char>(cp - kEscapeBase));  // a byte that was no UTF-8
      continue;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;  // lone surrogate that stands for no byte
    }
    AppendUtf8(out, cp);
  }
  return out;
}

bool IsValidUTF8(const AnsiString& s) {
  size_t i = 0;
  while (i < s.size()) {
    if (DecodeUtf8(s, i) == kMalformed) return false;
  }
  return true;
}
