#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "media/binding/entry_points.h"
#include "media/binding/media_text.h"
#include "tests/media/binding/load_ffmpeg.h"

TEST(MediaText, FormatTimeUs) {
  const std::pair<Int64, const char*> cases[] = {
      {AV_NOPTS_VALUE, "N/A"},
      {0, "00:00:00.005"},
      {(3600 + 2 * 60 + 3) * 1000000LL, "01:02:03.005"},
      {999999, "00:00:01.004"},
      {-1500000, "-00:00:01.505"},
      {100LL * 3600 * 1000000, "100:00:00.005"},
  };
  for (const auto& [us, text] : cases) EXPECT_EQ(FormatTimeUs(us), text) << us;
}

TEST(MediaText, TimestampsInTheirTimeBase) {
  LoadFFmpegForTest();
  EXPECT_EQ(FormatTimestamp({1, 90000}, 90000 * 61), "00:01:01.005");
  EXPECT_EQ(FormatTimestamp({1, 90000}, AV_NOPTS_VALUE), "N/A");
  EXPECT_EQ(FormatSeconds({1, 1000}, 1500), "1.500000");
  EXPECT_EQ(FormatSeconds({1, 1000}, -250), "-0.250000");
  EXPECT_EQ(FormatSeconds({1, 1000}, -1250), "-1.250000");
  EXPECT_EQ(FormatSeconds({1, 1000}, AV_NOPTS_VALUE), "");
}

TEST(MediaText, FrameDurationUs) {
  EXPECT_EQ(FrameDurationUs({30000, 1001}), 1000000LL * 1001 / 30000);
  EXPECT_EQ(FrameDurationUs({25, 1}), 40000);
  EXPECT_EQ(FrameDurationUs({0, 0}), 40000);
  EXPECT_EQ(FrameDurationUs({0, 1}), 40000);
}

TEST(MediaText, TypeNames) {
  const std::pair<int, const char*> media[] = {{AVMEDIA_TYPE_VIDEO, "Video"},       {AVMEDIA_TYPE_AUDIO, "Audio"},
                                               {AVMEDIA_TYPE_DATA, "Data"},         {AVMEDIA_TYPE_SUBTITLE, "Subtitle"},
                                               {AVMEDIA_TYPE_ATTACHMENT, "Attachment"}, {AVMEDIA_TYPE_UNKNOWN, "Unknown"}};
  for (const auto& [type, name] : media) EXPECT_EQ(MediaTypeName(type), name);
  const std::pair<int, const char*> pictures[] = {{AV_PICTURE_TYPE_I, "Intra"}, {AV_PICTURE_TYPE_P, "Predicted"},
                                                  {AV_PICTURE_TYPE_B, "Bi-dir predicted"}, {AV_PICTURE_TYPE_BI, "BI type"},
                                                  {0, "Unknown"}, {8, "Unknown"}};
  for (const auto& [type, name] : pictures) EXPECT_EQ(PictureTypeName(type), name);
  EXPECT_EQ(MakeTag('X', 'V', 'I', 'D'), MKTAG('X', 'V', 'I', 'D'));
}

TEST(MediaText, CodecNames) {
  LoadFFmpegForTest();
  AVCodecContext* ctx = ff::avcodec_alloc_context3(nullptr);
  ctx->codec_id = AV_CODEC_ID_H264;
  EXPECT_EQ(CodecNameText(ctx, false), "h264(H.264 / AVC / MPEG-4 AVC / MPEG-4 part 10)");
  ctx->codec_id = AV_CODEC_ID_MPEG2TS;
  EXPECT_EQ(CodecNameText(ctx, false), "mpeg2ts");
  ctx->codec_id = AV_CODEC_ID_NONE;
  ctx->codec_tag = MKTAG('X', 'V', 'I', 'D');
  EXPECT_EQ(CodecNameText(ctx, false), "XVID / 0x44495658");
  ctx->codec_tag = 0x01020304;
  EXPECT_EQ(CodecNameText(ctx, false), "0x1020304");
  ff::avcodec_free_context(&ctx);
}

// The offset follows the moment asked about, summer time included.
TEST(MediaText, LocalTimeHonoursDaylightSaving) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  const Int64 winter = 1705320000;  // 2024-01-15 12:00 UTC
  const Int64 summer = 1721044800;  // 2024-07-15 12:00 UTC
  EXPECT_NEAR((UnixTimeToLocalDateTime(winter) - (winter / 86400.0 + 25569)) * 24, 1.0, 1e-6);
  EXPECT_NEAR((UnixTimeToLocalDateTime(summer) - (summer / 86400.0 + 25569)) * 24, 2.0, 1e-6);
  const AnsiString offset = UTCOffsetText();
  EXPECT_TRUE(offset == "UTC+01:00" || offset == "UTC+02:00") << offset;
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(UTCOffsetText(), "UTC");
  EXPECT_EQ(LocalTimeOffsetDays(), 0.0);
  if (old) setenv("TZ", saved.c_str(), 1);
  else unsetenv("TZ");
  tzset();
}
