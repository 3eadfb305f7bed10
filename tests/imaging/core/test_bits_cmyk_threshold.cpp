// The 1-bit row routines, the single-pixel CMYK conversions and the grey threshold that the
// image buffer shares with the codecs and the processing operations.
#include <gtest/gtest.h>

#include <cstring>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_bits.h"
#include "imaging/core/ie_cmyk.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_threshold.h"
#include "tests/imaging/support/plain_cmyk.h"

namespace {

std::string Bits(const Byte* row, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += IEGetBit(row, i) ? '1' : '0';
  return s;
}

TEST(IEBitRows, CopyBitRunKeepsOtherBitsAndStaysInTheSource) {
  const Byte src[2] = {0xB3, 0x5A};  // 10110011 01011010
  Byte dst[3] = {0x00, 0xFF, 0x00};
  IECopyBitRun(dst, src, 5, 2, 9, 2);  // bits 2..10 of the source to 5..13
  EXPECT_EQ(Bits(dst, 24), "000001100110101100000000");
  // A run longer than the source row stops at its last bit.
  Byte short_[2] = {0, 0};
  IECopyBitRun(short_, src, 0, 12, 100, 2);
  EXPECT_EQ(Bits(short_, 16), "1010000000000000");
  // Shifting inside one row to the right reads every bit before it is overwritten.
  Byte same[2] = {0xF0, 0x00};
  IECopyBitRun(same, same, 3, 0, 8, 2);
  EXPECT_EQ(Bits(same, 16), "1111111000000000");
  IESetBit(same, 15, true);
  IESetBit(same, 0, false);
  EXPECT_EQ(Bits(same, 16), "0111111000000001");
}

TEST(IECmyk, PlainFormulaBothWays) {
  const ietest::TCMYKProfileUse formula(false);
  struct Case { TRGB rgb; DWORD cmyk; } cases[] = {
      {TRGB{255, 255, 255}, 0xFFFFFFFF},  // white: no ink
      {TRGB{0, 0, 0}, 0x01000000},        // black: K = 1
      {TRGB{0, 0, 255}, 0xFF0000FF},      // red
      {IECreateRGB(200, 100, 50), 0xC83F7FFF},  // K 200, C 255, M 127, Y 63
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IERGB2CMYK(DWORD(c.rgb.r) << 16 | DWORD(c.rgb.g) << 8 | c.rgb.b), c.cmyk);
    TRGB back;
    IECMYK2RGB(c.cmyk, back);
    EXPECT_NEAR(back.r, c.rgb.r, 1);
    EXPECT_NEAR(back.g, c.rgb.g, 1);
    EXPECT_NEAR(back.b, c.rgb.b, 1);
  }
}

TEST(IEThreshold, MeanEntropyAndFixedThresholds) {
  auto whiteCount = [](TIEBitmap& src, Integer threshold) {
    TIEBitmap bw(src.GetWidth(), src.GetHeight(), ie1g);
    TIECodecProgress progress;
    std::vector<Integer> reports;
    progress.OnProgress = [&](TObject*, Integer per) { reports.push_back(per); };
    IEThresholdToBW(&src, &bw, threshold, progress);
    EXPECT_EQ(reports.size(), size_t(src.GetHeight()));
    int white = 0;
    for (Integer y = 0; y < bw.GetHeight(); ++y)
      for (Integer x = 0; x < bw.GetWidth(); ++x) white += IEGetBit(static_cast<Byte*>(bw.GetScanline(y)), x);
    return white;
  };
  TIEBitmap uniform(4, 4, ie8g);
  uniform.Fill(90);
  EXPECT_EQ(whiteCount(uniform, -2), 16);  // no cut has a positive entropy sum
  EXPECT_EQ(whiteCount(uniform, 0), 16);
  EXPECT_EQ(whiteCount(uniform, 256), 0);
  TIEBitmap halves(4, 2, ie24RGB);
  halves.Fill(clBlack);
  for (Integer x = 0; x < 4; ++x) halves.SetPixelRGB(x, 1, TRGB{255, 255, 255});
  EXPECT_EQ(whiteCount(halves, -1), 4);
  // Two levels have an entropy sum of exactly 0 at every cut between them; the cut still
  // falls between the levels instead of turning the whole image white.
  EXPECT_EQ(whiteCount(halves, -2), 4);
  TIEBitmap twoGreys(5, 3, ie8g);
  twoGreys.Fill(100);
  for (Integer x = 0; x < 5; ++x) twoGreys.SetPixelByte(x, 2, 140);
  EXPECT_EQ(whiteCount(twoGreys, -2), 5);
  // Eight levels, four dark and four light: the entropy cut falls between them.
  TIEBitmap spread(4, 2, ie8g);
  for (Integer x = 0; x < 4; ++x) {
    spread.SetPixelByte(x, 0, Byte(10 + 10 * x));
    spread.SetPixelByte(x, 1, Byte(200 + 10 * x));
  }
  EXPECT_EQ(whiteCount(spread, -2), 4);
  EXPECT_EQ(whiteCount(spread, -1), 4);
  TIEBitmap deep(1, 1, ieRGB48);
  deep.SetPixelRGB48(0, 0, TRGB48{0x80FF, 0x8000, 0x8011});
  EXPECT_EQ(whiteCount(deep, 128), 1);
  EXPECT_EQ(whiteCount(deep, 129), 0);
}

// A destination that cannot take the result is reported, not filled halfway or skipped silently.
TEST(IEThreshold, AWrongDestinationIsReportedWithItsReason) {
  TIEBitmap src(6, 4, ie8g);
  src.Fill(200);
  struct TCase {
    Integer W, H;
    TIEPixelFormat Format;
  } cases[] = {{5, 4, ie1g}, {6, 5, ie1g}, {6, 4, ie8g}};
  for (const TCase& c : cases) {
    TIEBitmap dest(c.W, c.H, c.Format);
    dest.Fill(0);
    std::atomic<bool> aborting{false};
    AnsiString reason;
    TIECodecProgress progress;
    progress.Aborting = &aborting;
    progress.FailureReason = &reason;
    IEThresholdToBW(&src, &dest, 128, progress);
    EXPECT_TRUE(aborting) << c.W << "x" << c.H;
    EXPECT_NE(reason.find("6 x 4"), std::string::npos) << reason;
    EXPECT_EQ(dest.GetPixelByte(0, 0), 0);
  }
}

}  // namespace
