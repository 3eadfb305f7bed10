#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <limits>

#include "platform/rtl/numerics.h"

namespace {
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
}  // namespace

TEST(Numerics, RoundTiesToEvenTruncTowardZero) {
  struct Case { double v; Int64 round, trunc; Integer floor, ceil; };
  const Case cases[] = {
      {2.5, 2, 2, 2, 3},      {3.5, 4, 3, 3, 4},     {-2.5, -2, -2, -3, -2}, {-3.5, -4, -3, -4, -3},
      {0.5, 0, 0, 0, 1},      {1.4999, 1, 1, 1, 2},  {-0.6, -1, 0, -1, 0},   {7, 7, 7, 7, 7},
      {4503599627370497.0, 4503599627370497, 4503599627370497, std::numeric_limits<Integer>::max(),
       std::numeric_limits<Integer>::max()},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Round(c.v), c.round) << c.v;
    EXPECT_EQ(Trunc(c.v), c.trunc) << c.v;
    EXPECT_EQ(Floor(c.v), c.floor) << c.v;
    EXPECT_EQ(Ceil(c.v), c.ceil) << c.v;
  }
  EXPECT_DOUBLE_EQ(Frac(-1.25), -0.25);
  EXPECT_DOUBLE_EQ(Frac(3.75), 0.75);
}

TEST(Numerics, RoundIgnoresTheRoundingMode) {
  const int saved = std::fegetround();
  std::fesetround(FE_DOWNWARD);
  const Int64 up = Round(2.7), half = Round(2.5), neg = Round(-2.2);
  std::fesetround(saved);
  EXPECT_EQ(up, 3);
  EXPECT_EQ(half, 2);
  EXPECT_EQ(neg, -2);
}

TEST(Numerics, GuardedConversionsSaturateAndMapNaNToZero) {
  struct Case { double v; Int64 i64; Integer i32; Byte u8; Cardinal u32; };
  const Case cases[] = {
      {kNaN, 0, 0, 0, 0},
      {kInf, std::numeric_limits<Int64>::max(), std::numeric_limits<Integer>::max(), 255, 0xFFFFFFFFu},
      {-kInf, std::numeric_limits<Int64>::min(), std::numeric_limits<Integer>::min(), 0, 0},
      {1e300, std::numeric_limits<Int64>::max(), std::numeric_limits<Integer>::max(), 255, 0xFFFFFFFFu},
      {-1e300, std::numeric_limits<Int64>::min(), std::numeric_limits<Integer>::min(), 0, 0},
      {9223372036854775808.0, std::numeric_limits<Int64>::max(), std::numeric_limits<Integer>::max(), 255, 0xFFFFFFFFu},
      {-9223372036854775808.0, std::numeric_limits<Int64>::min(), std::numeric_limits<Integer>::min(), 0, 0},
      {2147483647.9, 2147483647, 2147483647, 255, 2147483647u},
      {-2147483648.9, -2147483648LL, std::numeric_limits<Integer>::min(), 0, 0},
      {255.9, 255, 255, 255, 255},
      {-0.9, 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SafeTrunc<Int64>(c.v), c.i64) << c.v;
    EXPECT_EQ(SafeTrunc<Integer>(c.v), c.i32) << c.v;
    EXPECT_EQ(SafeTrunc<Byte>(c.v), c.u8) << c.v;
    EXPECT_EQ(SafeTrunc<Cardinal>(c.v), c.u32) << c.v;
  }
  EXPECT_EQ(Round(kNaN), 0);
  EXPECT_EQ(Trunc(-1e300), std::numeric_limits<Int64>::min());
  EXPECT_EQ(SafeRound<Integer>(2147483647.5), std::numeric_limits<Integer>::max());
  EXPECT_EQ(SafeRound<UInt64>(1e300), std::numeric_limits<UInt64>::max());
}

TEST(Numerics, MulDivRoundsHalvesAwayFromZeroAndFlagsFailures) {
  struct Case { Integer a, b, c, want; };
  const Case cases[] = {
      {10, 3, 4, 8},           // 7.5 -> 8
      {-10, 3, 4, -8},         // -7.5 -> -8
      {10, 3, -4, -8},
      {7, 1, 3, 2},            // 2.33 -> 2
      {1920, 1080, 1920, 1080},
      {2000000000, 2000000000, 2000000000, 2000000000},  // needs the 64-bit intermediate
      {2000000000, 4, 2, -1},  // does not fit
      {5, 5, 0, -1},           // division by zero
  };
  for (const auto& c : cases) EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.want) << c.a << "*" << c.b << "/" << c.c;
}

TEST(Numerics, RandomIsRepeatableFromASeedAndStaysInRange) {
  RandSeed = 12345;
  Integer first[5];
  for (Integer& v : first) v = Random(11);
  RandSeed = 12345;
  bool sawHigh = false, sawLow = false;
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Random(11), first[i]);
  for (int i = 0; i < 2000; ++i) {
    const Integer v = Random(11);
    ASSERT_GE(v, 0);
    ASSERT_LT(v, 11);
    sawHigh |= v == 10;
    sawLow |= v == 0;
    const double d = Random();
    ASSERT_GE(d, 0.0);
    ASSERT_LT(d, 1.0);
  }
  EXPECT_TRUE(sawHigh && sawLow);
  EXPECT_EQ(Random(0), 0);
}

TEST(Numerics, ControlWordIsRecordedRestoredAndNeverTraps) {
  const Word saved = Get8087CW();
  // The media engine's word, then one that would unmask division by zero and round down.
  Set8087CW(0x133F);
  EXPECT_EQ(Get8087CW(), 0x133F);
  Set8087CW(0x1732);
  EXPECT_EQ(Get8087CW(), 0x1732);
  EXPECT_EQ(std::fegetround(), FE_DOWNWARD);
  volatile double zero = 0.0;
  const double inf = 1.0 / zero;   // would trap if the mask had reached the hardware
  const double nan = zero / zero;
  const double tenth = 1.0 / (zero + 10.0);
  Set8087CW(saved);
  EXPECT_TRUE(std::isinf(inf));
  EXPECT_TRUE(std::isnan(nan));
  EXPECT_LT(tenth, 0.1);  // the nearest double to 0.1 lies above it; rounding down lands below
  EXPECT_EQ(Get8087CW(), saved);
  EXPECT_EQ(std::fegetround(), FE_TONEAREST);
}
