#include <gtest/gtest.h>

#include "media/binding/entry_points.h"
#include "media/binding/error_text.h"
#include "tests/media/binding/load_ffmpeg.h"

TEST(ErrorText, TableOfCodes) {
  const struct {
    const char* Prefix;
    int Code;
    const char* Expected;
  } cases[] = {
      {"open", -2, "open: No such file or directory"},
      {"", AVERROR_EOF, "End of file"},
      {"", -12345, "Error number -12345 occurred"},
      {"x", -12345, "x: Error number -12345 occurred"},
      {"", -22, "Invalid argument / Invalid data found when processing input"},
      {"", -10022, "Invalid argument / Invalid data found when processing input"},
      {"", -10035, "WSAEWOULDBLOCK"},
      {"", AVERROR_EXPERIMENTAL,
       "Requested feature is flagged experimental. Set strict_std_compliance if you really want to use it."},
      {"", 0, "Error number 0 occurred"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorText(c.Prefix, c.Code), c.Expected) << c.Code;
  EXPECT_EQ(ErrorTableSize(), 210);
}

// FFmpeg's own codes carry the texts libavutil gives them.
TEST(ErrorText, FFmpegCodesMatchLibavutil) {
  LoadFFmpegForTest();
  const int codes[] = {AVERROR_BSF_NOT_FOUND, AVERROR_BUFFER_TOO_SMALL, AVERROR_DECODER_NOT_FOUND,
                       AVERROR_DEMUXER_NOT_FOUND, AVERROR_ENCODER_NOT_FOUND, AVERROR_EOF, AVERROR_EXIT,
                       AVERROR_EXTERNAL, AVERROR_FILTER_NOT_FOUND, AVERROR_INVALIDDATA, AVERROR_MUXER_NOT_FOUND,
                       AVERROR_OPTION_NOT_FOUND, AVERROR_PATCHWELCOME, AVERROR_PROTOCOL_NOT_FOUND,
                       AVERROR_STREAM_NOT_FOUND, AVERROR_BUG, AVERROR_UNKNOWN};
  for (int code : codes) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    ff::av_strerror(code, text, sizeof text);
    EXPECT_EQ(ErrorText(code), text) << code;
  }
}
