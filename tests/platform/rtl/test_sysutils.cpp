#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "platform/rtl/sysutils.h"
#include "tests/support/fixtures.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// Switches LC_NUMERIC to a locale whose decimal point is "," for the test's lifetime, so that any
// use of the C library's locale-dependent number routines shows up. When no such locale is
// installed, one is compiled into the fixture folder from the system's locale sources.
class CommaLocale {
 public:
  CommaLocale() {
    if (TryNames()) return;
    const std::string dir = testsupport::Fixture("locales", "mkdir {out} && localedef -i de_DE -f UTF-8 {out}/de_DE.UTF-8");
    const char* old = std::getenv("LOCPATH");
    if (old) oldLocPath_ = old;
    hadLocPath_ = old != nullptr;
    setenv("LOCPATH", dir.c_str(), 1);
    TryNames();
  }
  ~CommaLocale() {
    std::setlocale(LC_NUMERIC, "C");
    if (hadLocPath_) {
      setenv("LOCPATH", oldLocPath_.c_str(), 1);
    } else {
      unsetenv("LOCPATH");
    }
  }
  bool active() const { return active_; }

 private:
  bool TryNames() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8"}) {
      if (std::setlocale(LC_NUMERIC, name) && *std::localeconv()->decimal_point == ',') return active_ = true;
    }
    std::setlocale(LC_NUMERIC, "C");
    return false;
  }
  bool active_ = false;
  bool hadLocPath_ = false;
  std::string oldLocPath_;
};

}  // namespace

TEST(Format, FollowsTheFrameworkRules) {
  const Int64 big = Int64(1) << 40;
  struct Case { AnsiString got, want; };
  const Case cases[] = {
      {Format("%.2d:%.2d:%.2d.%.3d", 1, 2, 3, 45), "01:02:03.045"},
      {Format("%.2d", 5), "05"},
      {Format("%.3d", -5), "-005"},
      {Format("%d", big), "1099511627776"},
      {Format("%d", std::numeric_limits<Int64>::min()), "-9223372036854775808"},
      {Format("%u", -1), "4294967295"},
      {Format("%x", 255), "FF"},
      {Format("%.8x", 0xABC), "00000ABC"},
      {Format("%x", -1), "FFFFFFFF"},
      {Format("%x", Int64(-1)), "FFFFFFFFFFFFFFFF"},
      {Format("[%5d|%-5d]", 42, 42), "[   42|42   ]"},
      {Format("[%*d]", 4, 7), "[   7]"},
      {Format("%s [%.8x] %s: %s\r\n", "12:00:00 000", 0x1A2B, "Info", "x"), "12:00:00 000 [00001A2B] Info: x\r\n"},
      {Format("%s|%s", AnsiString("caf\xC3\xA9"), WideString(u"caf\u00E9")), "caf\xC3\xA9|caf\xC3\xA9"},
      {Format("[%-6s]", "caf\xC3\xA9"), "[caf\xC3\xA9  ]"},  // width counts characters
      {Format("%.3s", "abcdef"), "abc"},
      {Format("%c%c", 'o', 'k'), "ok"},
      {Format("100%%"), "100%"},
      {Format("%1:s %0:s %s", "a", "b"), "b a b"},
      {Format("%.2f", 1.005), "1.00"},  // the double below 1.005 rounds down
      {Format("%.2f", 2.5), "2.50"},
      {Format("%.0f", 2.5), "3"},       // halves away from zero
      {Format("%.1f", 0.25), "0.3"},
      {Format("%.2f", -0.001), "0.00"}, // no "-0.00"
      {Format("%f", 1234.5), "1234.50"},
      {Format("%.1f", 1e17), "100000000000000000.0"},
      {Format("%.1f", 1e20), "1.00000000000000000E+020"},  // beyond 18 digits: scientific
      {Format("%n", 1234567.891), "1,234,567.89"},
      {Format("%e", 1234.5), "1.23450000000000E+003"},
      {Format("%.3e", -0.00012345), "-1.23E-004"},
      {Format("%g", 0.5), "0.5"},
      {Format("%g", 1e-7), "1E-007"},
      {Format("%f", kInf), "INF"},
      {Format("%lld and %ld", Int64(3), 4L), "3 and 4"},  // C length letters are tolerated
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(Format, BadSpecifierOrArgumentRaisesConvertError) {
  auto message = [](auto&& call) -> AnsiString {
    try {
      call();
    } catch (const EConvertError& e) {
      return e.Message;
    }
    return "no exception";
  };
  EXPECT_EQ(message([] { Format("%d", "text"); }), "Format '%d' invalid or incompatible with argument");
  EXPECT_EQ(message([] { Format("%s", 3); }), "Format '%s' invalid or incompatible with argument");
  EXPECT_EQ(message([] { Format("%f", 3); }), "Format '%f' invalid or incompatible with argument");
  EXPECT_EQ(message([] { Format("%d %d", 3); }), "Format '%d %d' invalid or incompatible with argument");
  EXPECT_EQ(message([] { Format("%y", 3); }), "Format '%y' invalid or incompatible with argument");
  EXPECT_EQ(message([] { Format("50%"); }), "Format '50%' invalid or incompatible with argument");
  EXPECT_EQ(message([] { Format("%999999999d", 1); }),  // would pad a gigabyte
            "Format '%999999999d' invalid or incompatible with argument");
  EXPECT_EQ(message([] { Format("%.*d", 2000000000, 1); }),
            "Format '%.*d' invalid or incompatible with argument");
}

TEST(FloatText, GeneralFormAndOptionText) {
  struct Case { double v; const char* general; const char* option; };
  const Case cases[] = {
      {1.0 / 3.0, "0.333333333333333", "0.333333333333333"},
      {2.0 / 3.0, "0.666666666666667", "0.666666666666667"},
      {0.5, "0.5", "0.5"},
      {2, "2", "2"},
      {-1.25, "-1.25", "-1.25"},
      {0.1 + 0.2, "0.3", "0.3"},
      {0, "0", "0"},
      {0.0001, "0.0001", "0.0001"},
      {0.00001, "1E-5", "0.00001"},
      {1e-7, "1E-7", "0.0000001"},
      {123456789012345.0, "123456789012345", "123456789012345"},
      {1e15, "1E15", "1000000000000000"},
      {1.5e20, "1.5E20", "150000000000000000000"},
      {29.97002997002997, "29.97002997003", "29.97002997003"},
      {9.9999999999999999, "10", "10"},
      {kNaN, "NAN", "nan"},
      {-kInf, "-INF", "-inf"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FloatToStr(c.v), c.general) << c.general;
    EXPECT_EQ(FloatToOptionText(c.v), c.option) << c.option;
  }
  EXPECT_EQ(FloatToStrF(1234.5678, ffFixed, 15, 2), "1234.57");
  EXPECT_EQ(FloatToStrF(1234.5678, ffNumber, 15, 1), "1,234.6");
  EXPECT_EQ(FloatToStrF(1234.5678, ffExponent, 4, 2), "1.235E+03");
  EXPECT_EQ(FloatToStrF(1234.5678, ffGeneral, 3, 0), "1.23E3");
}

TEST(FloatText, IgnoresTheCLocale) {
  CommaLocale comma;
  ASSERT_TRUE(comma.active()) << "no locale with a decimal comma could be installed or made";
  EXPECT_EQ(FloatToOptionText(0.5), "0.5");
  EXPECT_EQ(FloatToOptionText(1.0 / 3.0), "0.333333333333333");
  EXPECT_EQ(FloatToStr(0.5), "0.5");
  EXPECT_EQ(Format("%.2f|%e", 2.5, 0.5), "2.50|5.00000000000000E-001");
  EXPECT_DOUBLE_EQ(StrToFloat("0.5"), 0.5);
  double v = 0;
  EXPECT_FALSE(TryStrToFloat("0,5", v));
}

TEST(TextToNumber, IntegersFollowTheFrameworkSyntax) {
  struct Case { const char* text; bool ok; Int64 value; };
  const Case cases[] = {
      {"42", true, 42},       {"  -17", true, -17},     {"+8", true, 8},
      {"$FF", true, 255},     {"0x1f", true, 31},       {"-$10", true, -16},
      {"2147483647", true, 2147483647},                 {"-2147483648", true, -2147483648LL},
      {"2147483648", false, 0},                         {"$FFFFFFFF", true, -1},
      {"$100000000", false, 0},                         {"", false, 0},
      {"x", false, 0},        {"12 ", false, 0},        {"1.5", false, 0},
      {"-", false, 0},        {"$", false, 0},          {"99999999999999999999", false, 0},
  };
  for (const auto& c : cases) {
    Integer v = 0;
    EXPECT_EQ(TryStrToInt(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
  EXPECT_EQ(StrToInt64("-9223372036854775808"), std::numeric_limits<Int64>::min());
  EXPECT_EQ(StrToInt64("1099511627776"), Int64(1) << 40);
  EXPECT_EQ(StrToInt64Def("9223372036854775808", 7), 7);
  EXPECT_EQ(StrToIntDef("junk", -3), -3);
  try {
    StrToInt("x");
    ADD_FAILURE() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message, "'x' is not a valid integer value");
  }
}

TEST(TextToNumber, Floats) {
  struct Case { const char* text; bool ok; double value; };
  const Case cases[] = {
      {"0.5", true, 0.5},  {" -1.25e2 ", true, -125}, {".5", true, 0.5},  {"3.", true, 3},
      {"1E-3", true, 1e-3}, {"1e-400", true, 0},      {"1e400", false, 0}, {"", false, 0},
      {".", false, 0},     {"1e", false, 0},          {"0x10", false, 0}, {"inf", false, 0},
      {"1.2.3", false, 0}, {"12abc", false, 0},
  };
  for (const auto& c : cases) {
    double v = -99;
    EXPECT_EQ(TryStrToFloat(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_DOUBLE_EQ(v, c.value) << c.text;
    }
  }
  EXPECT_DOUBLE_EQ(StrToFloatDef("bad", 1.5), 1.5);
  try {
    StrToFloat("1,5");
    ADD_FAILURE() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message, "'1,5' is not a valid floating point value");
  }
}

TEST(StringRoutines, CaseTrimCompareQuoteReplace) {
  EXPECT_EQ(UpperCase("ab\xC3\xA9z"), "AB\xC3\xA9Z");  // ASCII letters only, UTF-8 left intact
  EXPECT_EQ(LowerCase("*.JPG"), "*.jpg");
  EXPECT_EQ(Trim("\t  a b \r\n"), "a b");
  EXPECT_EQ(TrimLeft("  a "), "a ");
  EXPECT_EQ(TrimRight("  a "), "  a");
  EXPECT_TRUE(SameText("Video.MP4", "video.mp4"));
  EXPECT_FALSE(SameText("a", "ab"));
  EXPECT_LT(CompareText("abc", "ABD"), 0);
  EXPECT_GT(CompareText("abc", "AB"), 0);
  EXPECT_LT(CompareStr("B", "a"), 0);
  EXPECT_EQ(QuotedStr("it's"), "'it''s'");
  EXPECT_EQ(StringReplace("a,b,c", ",", ".", TReplaceFlags{}), "a.b,c");
  EXPECT_EQ(StringReplace("a,b,c", ",", ".", rfReplaceAll), "a.b.c");
  EXPECT_EQ(StringReplace("xAxa", "a", "-", rfReplaceAll | rfIgnoreCase), "x-x-");
  EXPECT_EQ(StringReplace("aaa", "aa", "a", rfReplaceAll), "aa");  // no rescanning of output
  EXPECT_EQ(StringReplace("abc", "", "x", rfReplaceAll), "abc");
}

TEST(StringRoutines, OneBasedHelpersClipOutOfRange) {
  EXPECT_EQ(Pos("lo", "hello"), 4);
  EXPECT_EQ(Pos("x", "hello"), 0);
  EXPECT_EQ(Copy("hello", 2, 3), "ell");
  EXPECT_EQ(Copy("hello", 4, 100), "lo");
  EXPECT_EQ(Copy("hello", 9, 1), "");
  EXPECT_EQ(Copy("hello", 0, 2), "he");
  AnsiString s = "hello";
  Delete(s, 2, 2);
  EXPECT_EQ(s, "hlo");
  Delete(s, 10, 1);
  EXPECT_EQ(s, "hlo");
  Insert("XY", s, 2);
  EXPECT_EQ(s, "hXYlo");
  Insert("!", s, 100);
  EXPECT_EQ(s, "hXYlo!");
  EXPECT_EQ(IntToHex(255, 4), "00FF");
  EXPECT_EQ(IntToHex(-1, 2), "FFFFFFFF");
  EXPECT_EQ(IntToStr(std::numeric_limits<UInt64>::max()), "18446744073709551615");
}

TEST(DateTime, EncodeDecodeRoundTripAndRejectsBadParts) {
  struct Case { Word y, m, d; double serial; };
  const Case cases[] = {
      {1899, 12, 30, 0}, {1900, 1, 1, 2}, {1970, 1, 1, 25569}, {2000, 2, 29, 36585}, {2024, 12, 31, 45657},
      {1, 1, 1, -693593}, {9999, 12, 31, 2958465},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(EncodeDate(c.y, c.m, c.d), c.serial);
    Word y, m, d;
    // Before day zero the time still counts forward from midnight: -1.25 is 1899-12-29 06:00.
    DecodeDate(c.serial + (c.serial < 0 ? -0.75 : 0.75), y, m, d);
    EXPECT_EQ((std::vector<Word>{y, m, d}), (std::vector<Word>{c.y, c.m, c.d})) << c.serial;
  }
  const TDateTime t = EncodeTime(13, 4, 5, 678);
  Word h, n, s, z;
  DecodeTime(EncodeDate(2001, 2, 3) + t, h, n, s, z);
  EXPECT_EQ((std::vector<Word>{h, n, s, z}), (std::vector<Word>{13, 4, 5, 678}));
  EXPECT_THROW(EncodeDate(2001, 2, 29), EConvertError);
  EXPECT_THROW(EncodeDate(2000, 13, 1), EConvertError);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  DecodeDate(kNaN, h, n, s);  // no crash, no garbage
  EXPECT_EQ(h + n + s, 0);
}

TEST(DateTime, FormatDateTimeSpecifiers) {
  const TDateTime v = EncodeDate(2009, 3, 7) + EncodeTime(8, 5, 9, 42);
  struct Case { const char* fmt; const char* want; };
  const Case cases[] = {
      {"hh:nn:ss zzz", "08:05:09 042"},
      {"yyyy-mm-dd hh:nn:ss", "2009-03-07 08:05:09"},
      {"yyyymmddhhmmss", "20090307080509"},  // "mm" after an hour is minutes
      {"hhnnss", "080509"},
      {"ddd mmm dd hh:nn:ss yyyy", "Sat Mar 07 08:05:09 2009"},
      {"d/m/yy h:n:s.z", "7/3/09 8:5:9.42"},
      {"dddd, mmmm", "Saturday, March"},
      {"\"day\" d 'at' h", "day 7 at 8"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatDateTime(c.fmt, v), c.want) << c.fmt;
}

TEST(DateTime, NowIsLocalTime) {
  const AnsiString stamp = FormatDateTime("hh:nn:ss zzz", Now());
  const AnsiString shape = "99:99:99 999";  // 9 = a digit
  ASSERT_EQ(stamp.size(), shape.size()) << stamp;
  for (std::size_t i = 0; i < shape.size(); ++i) {
    EXPECT_TRUE(shape[i] == '9' ? (stamp[i] >= '0' && stamp[i] <= '9') : stamp[i] == shape[i]) << stamp;
  }
  EXPECT_LT(stamp.substr(0, 2), "24");
  EXPECT_LT(stamp.substr(3, 2), "60");
  // Now agrees with the C library's local time (daylight saving included).
  const time_t secs = time(nullptr);
  tm local{};
  localtime_r(&secs, &local);
  const TDateTime expected = EncodeDate(static_cast<Word>(local.tm_year + 1900), static_cast<Word>(local.tm_mon + 1),
                                        static_cast<Word>(local.tm_mday)) +
                             EncodeTime(static_cast<Word>(local.tm_hour), static_cast<Word>(local.tm_min),
                                        static_cast<Word>(std::min(local.tm_sec, 59)), 0);
  EXPECT_NEAR(Now(), expected, 5.0 / 86400);
  EXPECT_DOUBLE_EQ(Date(), std::floor(Now()));
}
