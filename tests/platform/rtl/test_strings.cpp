#include <gtest/gtest.h>

#include <QList>
#include <QString>

#include <random>

#include "platform/rtl/strings.h"

TEST(Strings, RoundTripsEveryPlane) {
  const AnsiString text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xAC\xEF\xBF\xBD";  // a é € 🎬 U+FFFD
  const WideString wide = AnsiToWide(text);
  EXPECT_EQ(wide, (WideString{u'a', 0xE9, 0x20AC, 0xD83C, 0xDFAC, 0xFFFD}));
  EXPECT_EQ(WideToAnsi(wide), text);
  EXPECT_TRUE(IsValidUTF8(text));
}

// Names on Linux are bytes: a byte that is no UTF-8 travels as 0xDC00 + byte and comes back.
TEST(Strings, BytesThatAreNoUtf8KeepTheirValue) {
  for (int b = 0x80; b <= 0xFF; ++b) {
    const AnsiString alone{'a', static_cast<char>(b), 'z'};
    const WideString wide = AnsiToWide(alone);
    EXPECT_EQ(wide, (WideString{u'a', static_cast<char16_t>(0xDC00 + b), u'z'})) << b;
    EXPECT_EQ(WideToAnsi(wide), alone) << b;
    EXPECT_FALSE(IsValidUTF8(alone)) << b;
  }
  struct Case { AnsiString in; WideString out; };
  const Case cases[] = {
      {"x\xC3", u"x\xDCC3"},                      // truncated two-byte sequence at the end
      {"\xE2\x82" "b", u"\xDCE2\xDC82" u"b"},     // truncated three-byte sequence
      {"\xC0\xAF", u"\xDCC0\xDCAF"},              // overlong '/'
      {"\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},    // encoded surrogate
      {"\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},  // past U+10FFFF
      {"caf\xE9-\xC3\xA9", u"caf\xDCE9-\u00E9"},  // Latin-1 next to UTF-8
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AnsiToWide(c.in), c.out) << c.in;
    EXPECT_EQ(WideToAnsi(c.out), c.in) << c.in;
    EXPECT_FALSE(IsValidUTF8(c.in));
  }
  // Any byte string at all survives the trip.
  std::mt19937 random(7);
  for (int n = 0; n < 2000; ++n) {
    AnsiString bytes(random() % 12, '\0');
    for (char& c : bytes) c = static_cast<char>(random() % 4 == 0 ? 0x80 + random() % 0x80 : random() % 256);
    ASSERT_EQ(WideToAnsi(AnsiToWide(bytes)), bytes);
  }
}

TEST(Strings, OnlyEscapedBytesTurnLoneSurrogatesIntoBytes) {
  struct Case { char16_t unit; AnsiString out; };
  const Case cases[] = {
      {0xDC80, "\x80"},         {0xDCFF, "\xFF"},         {0xDC7F, "\xEF\xBF\xBD"}, {0xDC00, "\xEF\xBF\xBD"},
      {0xDD00, "\xEF\xBF\xBD"}, {0xDFFF, "\xEF\xBF\xBD"}, {0xD800, "\xEF\xBF\xBD"}, {0xDBFF, "\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) EXPECT_EQ(WideToAnsi(WideString{u'a', c.unit, u'z'}), "a" + c.out + "z") << int(c.unit);
  // A high surrogate at the end has no partner; a pair stays one character even when its low half
  // lies in the escape range.
  EXPECT_EQ(WideToAnsi(WideString{u'a', 0xD800}), "a\xEF\xBF\xBD");
  EXPECT_EQ(WideToAnsi(WideString{0xD800, 0xDC80}), "\xF0\x90\x82\x80");
}

// Case folding is compared with Qt's, a peer that carries its own Unicode tables, over every
// code point: the names it folds (file masks, sorted lists) must match exactly as they did.
TEST(Strings, CaseFoldingMatchesQtForEveryCodePoint) {
  int differing = 0;
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    const QString folded = QString::fromUcs4(&cp, 1).toCaseFolded();
    const WideString expected(reinterpret_cast<const char16_t*>(folded.utf16()), size_t(folded.size()));
    const WideString ours = CaseFolded(QString::fromUcs4(&cp, 1).toStdString());
    if (ours != expected && ++differing <= 5) ADD_FAILURE() << std::hex << "U+" << unsigned(cp);
  }
  EXPECT_EQ(differing, 0);
  // Bytes that are no UTF-8 are kept as AnsiToWide keeps them.
  EXPECT_EQ(CaseFolded("A\xE9" "B"), (WideString{u'a', 0xDCE9, u'b'}));
}
