#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <fstream>

#include "media/binding/engine_utils.h"
#include "media/binding/entry_points.h"
#include "media/binding/wide_files.h"
#include "platform/rtl/strings.h"
#include "tests/support/fixtures.h"
#include "tests/media/binding/load_ffmpeg.h"

TEST(EngineUtils, FormatFileSize) {
  const std::pair<Int64, const char*> cases[] = {
      {0, "0 Byte"},           {-5, "-5 Byte"},          {1024, "1024 Byte"},
      {1536, "1.50 KB"},       {1048576, "1024.00 KB"},  {1048577, "1.00 MB"},
      {1073741824, "1024.00 MB"}, {5368709120LL, "5.00 GB"},
  };
  for (const auto& [size, text] : cases) EXPECT_EQ(FormatFileSize(size), text) << size;
}

TEST(EngineUtils, SplitFirst) {
  AnsiString source = "a=b=c", part;
  SplitFirst(source, "=", true, part);
  EXPECT_EQ(part, "a");
  EXPECT_EQ(source, "b=c");
  SplitFirst(source, ";", false, part);
  EXPECT_EQ(part, "b=c");
  EXPECT_EQ(source, "b=c");
  SplitFirst(source, ";", true, part);
  EXPECT_EQ(part, "b=c");
  EXPECT_EQ(source, "");
}

TEST(EngineUtils, SeekFlagsAndMemoryCompare) {
  EXPECT_EQ(SeekFlagsToInt({sfBackward, sfFrame}), AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_FRAME);
  EXPECT_EQ(SeekFlagsToInt({sfByte, sfAny}), AVSEEK_FLAG_BYTE | AVSEEK_FLAG_ANY);
  const unsigned char a[] = {1, 2, 0x80}, b[] = {1, 2, 0x7F};
  EXPECT_EQ(CompareMemory(a, b, 3), 1);
  EXPECT_EQ(CompareMemory(b, a, 3), -1);
  EXPECT_EQ(CompareMemory(a, b, 2), 0);
}

// The engine's rational and timestamp helpers give what libavutil's own give.
TEST(EngineUtils, RationalsAndTimestampsMatchLibavutil) {
  LoadFFmpegForTest();
  const AVRational values[] = {{1, 2}, {-1, 2}, {2, 4}, {1, 0}, {-1, 0}, {0, 0}, {0, 5}, {30000, 1001},
                               {INT_MAX, 1}, {-INT_MAX, 3}, {7, -3}};
  for (AVRational a : values) {
    for (AVRational b : values) {
      EXPECT_EQ(RationalCompare(a, b), av_cmp_q(a, b)) << a.num << "/" << a.den << " vs " << b.num << "/" << b.den;
      if (b.num != 0 && a.den != 0 && b.den != 0) {
        const AVRational mine = RationalDiv(a, b), theirs = ff::av_div_q(a, b);
        EXPECT_TRUE(mine.num == theirs.num && mine.den == theirs.den);
      }
    }
  }
  EXPECT_EQ(RationalCompare({1, 0}, {-1, 0}), 1);
  EXPECT_EQ(RationalCompare({-1, 0}, {1, 0}), -1);
  EXPECT_EQ(RationalCompare({0, 0}, {3, 0}), INT_MIN);

  const double doubles[] = {0.5, 29.97, 1.0 / 3, -2.75, 1e-9, 123456789.123, 1e12, 0.0};
  for (double d : doubles) {
    const AVRational mine = RationalFromDouble(d, 100000), theirs = ff::av_d2q(d, 100000);
    EXPECT_TRUE(mine.num == theirs.num && mine.den == theirs.den) << d;
  }
  EXPECT_EQ(RationalFromDouble(NAN, 100).den, 0);
  EXPECT_EQ(RationalFromDouble(-INFINITY, 100).num, -1);

  const std::pair<AVRational, Int64> stamps[] = {{{1, 90000}, 123456789}, {{1, 1000}, -42}, {{1001, 30000}, 7},
                                                 {{1, 1}, AV_NOPTS_VALUE}};
  for (const auto& [tb, ts] : stamps) {
    char buf[AV_TS_MAX_STRING_SIZE];
    AVRational base = tb;
    EXPECT_EQ(TimestampTimeText(tb, ts), av_ts_make_time_string(buf, ts, &base));
    EXPECT_EQ(TimestampText(ts), av_ts_make_string(buf, ts));
  }
}

TEST(EngineUtils, WidePathsAndSizes) {
  EXPECT_EQ(WideExtractFilePath(u"name.mp4"), u"");
  EXPECT_EQ(WideExtractFilePath(u"/a/b/name.mp4"), u"/a/b/");
  EXPECT_EQ(WideExtractFileName(u"/a/b/n\u00E4me.mp4"), u"n\u00E4me.mp4");
  EXPECT_EQ(WideIncludeTrailingBackslash(u""), u"/");
  EXPECT_EQ(WideIncludeTrailingBackslash(u"/a/"), u"/a/");
  EXPECT_EQ(WideCharKind(u"a\U0001F600", 2), 1);
  EXPECT_EQ(WideCharKind(u"a\U0001F600", 3), 2);
  EXPECT_EQ(WideCharKind(u"a", 5), 0);
  const std::string dir = testsupport::MakeTempDir("wide");
  const std::string file = dir + "/gr\xC3\xB6\xC3\x9F" "e.bin";
  std::ofstream(file, std::ios::binary) << "12345";
  EXPECT_EQ(WideGetFileSize(AnsiToWide(file)), 5);
  EXPECT_TRUE(WideFileExists(AnsiToWide(file)));
  EXPECT_EQ(WideGetFileSize(AnsiToWide(dir)), -1);
  EXPECT_FALSE(WideFileExists(AnsiToWide(dir)));
  EXPECT_EQ(WideGetFileSize(AnsiToWide(dir + "/missing")), -1);
  testsupport::RemoveTree(dir);
}
