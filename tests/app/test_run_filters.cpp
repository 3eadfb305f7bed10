// The filter texts the runs share: the exact strings the runs write, and that a tempo or motion choice
// gives exactly the speed the user picked.
#include <gtest/gtest.h>

#include <cmath>

#include "app/run_filters.h"

namespace {

TEST(RunFilters, TempoChainsPlayAtExactlyThePickedSpeed) {
  struct Case {
    Integer Percent;
    const char* Chain;
  };
  const Case cases[] = {
      {100, ""},
      {75, ",atempo=0.75"},
      {50, ",atempo=0.5"},
      {200, ",atempo=2"},
      {300, ",atempo=2,atempo=1.5"},
      {400, ",atempo=2,atempo=2"},
      {600, ",atempo=2,atempo=2,atempo=1.5"},
      {800, ",atempo=2,atempo=2,atempo=2"},
      {49, ",atempo=0.5,atempo=0.98"},
      {20, ",atempo=0.5,atempo=0.5,atempo=0.8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Percent);
    EXPECT_EQ(TempoFilterText(true, c.Percent), c.Chain);
    double product = 1;
    for (double f : TempoFactors(c.Percent)) {
      EXPECT_GE(f, 0.5);
      EXPECT_LE(f, 2.0);
      product *= f;
    }
    EXPECT_NEAR(product, c.Percent / 100.0, 1e-12);
  }
  // Every value of the field's range stays within one filter's limits and multiplies out exactly.
  for (Integer p = 20; p <= 800; ++p) {
    double product = 1;
    for (double f : TempoFactors(p)) product *= f;
    ASSERT_NEAR(product, p / 100.0, 1e-12) << p;
  }
  EXPECT_EQ(TempoFilterText(false, 300), "");
  EXPECT_DOUBLE_EQ(TempoSpeed(false, 300), 1.0);
  EXPECT_DOUBLE_EQ(TempoSpeed(true, 300), 3.0);
}

TEST(RunFilters, VolumeAndMotionTexts) {
  EXPECT_EQ(VolumeFilterText(true, 150), ",volume=1.5");
  EXPECT_EQ(VolumeFilterText(true, 100), "");
  EXPECT_EQ(VolumeFilterText(false, 150), "");
  EXPECT_EQ(MotionFilterText(true, 200), ",setpts=0.5*PTS");
  // The exact factor: two decimals would leave a third of a percent of the stretch out.
  EXPECT_EQ(MotionFilterText(true, 300), ",setpts=0.333333333333333*PTS");
  EXPECT_EQ(MotionFilterText(true, 50), ",setpts=2*PTS");
  EXPECT_EQ(MotionFilterText(true, 100), "");
  EXPECT_EQ(MotionFilterText(false, 200), "");
}

TEST(RunFilters, CustomSizeWithAndWithoutPadding) {
  struct Case {
    const char* Width;
    const char* Height;
    bool Pad;
    Integer SourceWidth, SourceHeight;
    const char* Chain;
    const char* AspectWidth;
    const char* AspectHeight;
  };
  const Case cases[] = {
      // The height limits: fitted to it, bars left and right; odd width made even.
      {"641", "480", true, 640, 480, ",scale=480*(iw/ih):480,pad=642:480:(ow-oh*(iw/ih))/2:0:black", "642", "480"},
      // The width limits: fitted to it, bars above and below.
      {"320", "300", true, 640, 480, ",scale=320:320/(iw/ih),pad=320:300:0:(oh-ow/(iw/ih))/2:black", "320", "300"},
      {"321", "241", true, 642, 482, ",scale=322:242", "322", "242"},
      {"321", "241", false, 640, 480, ",scale=321:241", "321", "241"},
      // No known source size: a plain scale, never a division by zero.
      {"320", "240", true, 0, 0, ",scale=320:240", "320", "240"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Chain);
    AnsiString w = c.Width, h = c.Height;
    EXPECT_EQ(CustomSizeFilterText(w, h, c.Pad, c.SourceWidth, c.SourceHeight), c.Chain);
    EXPECT_EQ(w, c.AspectWidth);
    EXPECT_EQ(h, c.AspectHeight);
  }
}

TEST(RunFilters, TransformsAndChainJoining) {
  EXPECT_EQ(TransformFilterText(false, true, true, false), ",vflip,transpose=1");
  EXPECT_EQ(TransformFilterText(true, true, true, true), ",hflip,vflip,transpose=1,transpose=2");
  AnsiString options = " -y";
  AppendFilterChain(options, " -vf ", "");
  AppendFilterChain(options, " -vf ", "  ");
  EXPECT_EQ(options, " -y");
  AppendFilterChain(options, " -vf ", ",select=not(mod(n\\,50))");
  AppendFilterChain(options, " -af ", "volume=1.5");
  EXPECT_EQ(options, " -y -vf select=not(mod(n\\,50)) -af volume=1.5");
}

}  // namespace
