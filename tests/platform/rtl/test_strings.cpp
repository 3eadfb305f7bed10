#include <gtest/gtest.h>

#include "platform/rtl/strings.h"

TEST(Strings, RoundTripsEveryPlane) {
  const AnsiString text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xAC";  // a é € 🎬
  const WideString wide = AnsiToWide(text);
  EXPECT_EQ(wide, (WideString{u'a', 0xE9, 0x20AC, 0xD83C, 0xDFAC}));
  EXPECT_EQ(WideToAnsi(wide), text);
}

TEST(Strings, MalformedInputBecomesReplacementCharacters) {
  struct Case { AnsiString in; WideString out; };
  const Case cases[] = {
      {"\xFF", u"\uFFFD"},                    // never valid
      {"x\xC3", u"x\uFFFD"},                  // truncated two-byte sequence at the end
      {"\xE2\x82", u"\uFFFD\uFFFD"},          // truncated three-byte sequence
      {"\xC0\xAF", u"\uFFFD\uFFFD"},          // overlong '/'
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"}, // encoded surrogate
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AnsiToWide(c.in), c.out) << c.in;
    EXPECT_FALSE(IsValidUTF8(c.in));
  }
  EXPECT_EQ(WideToAnsi(WideString{0xD800, u'a'}), "\xEF\xBF\xBD" "a");  // lone surrogate
  EXPECT_TRUE(IsValidUTF8("\xEF\xBF\xBD"));
}
