#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "media/binding/error_text.h"
#include "media/binding/ffmpeg_exception.h"
#include "platform/rtl/files.h"
#include "tests/media/engine/engine_test_model.h"

using ::testing::HasSubstr;

namespace {

class InputOpening : public ::testing::Test {
 protected:
  void SetUp() override { LoadFFmpegForTest(); }
};

TEST_F(InputOpening, OpensTheFileWithOneRecordPerStream) {
  TTestOptionModel model;
  ASSERT_EQ(OpenInput(model, SimpleClip()), 0) << model.LastErrorMessage;
  ASSERT_EQ(model.InputFiles.size(), 1u);
  ASSERT_EQ(model.InputStreams.size(), 2u);
  EXPECT_EQ(model.InputFiles[0]->IstIndex, 0);
  EXPECT_EQ(model.InputFiles[0]->NbStreams, 2);
  const TInputStream* video = model.InputStreams[0];
  const TInputStream* audio = model.InputStreams[1];
  EXPECT_EQ(video->Discard, 1);
  EXPECT_EQ(video->St->discard, AVDISCARD_ALL);
  ASSERT_NE(video->Dec, nullptr);
  EXPECT_STREQ(video->Dec->name, "mpeg4");
  EXPECT_EQ(video->ResampleWidth, 320);
  EXPECT_EQ(video->ResampleHeight, 240);
  EXPECT_EQ(audio->ResampleSampleRate, 44100);
  EXPECT_EQ(audio->ResampleChannels, 2);
  EXPECT_EQ(audio->ResampleChannelLayout, AV_CH_LAYOUT_STEREO);
  EXPECT_NEAR(model.MaxInputDuration, 2000000, 100000);
  EXPECT_EQ(model.InputFiles[0]->TsOffset, 0);
}

TEST_F(InputOpening, StartPositionSeeksAndOffsetsTimestamps) {
  {
    TTestOptionModel model;
    ASSERT_EQ(OpenInput(model, SimpleClip(), "-ss 1"), 0) << model.LastErrorMessage;
    const AVFormatContext* ic = model.InputFiles[0]->Ctx;
    const int64_t start = ic->start_time == AV_NOPTS_VALUE ? 0 : ic->start_time;
    EXPECT_EQ(model.InputFiles[0]->TsOffset, -(1000000 + start));
    EXPECT_NEAR(model.MaxInputDuration, 1000000, 100000);
  }
  TTestOptionModel model;
  ASSERT_EQ(OpenInput(model, SimpleClip(), "-copyts -itsoffset 2 -ss 1"), 0) << model.LastErrorMessage;
  EXPECT_EQ(model.InputFiles[0]->TsOffset, 2000000);
}

TEST_F(InputOpening, ReturnedFailuresCarryTheirTexts) {
  TTestOptionModel model;
  EXPECT_EQ(OpenInput(model, "/nonexistent/x.mkv", "-f nosuchformat"), AVERROR(EINVAL));
  EXPECT_EQ(model.LastErrorMessage, "Unknown input format: \"nosuchformat\"");

  const int ret = OpenInput(model, "/nonexistent/x.mkv");
  EXPECT_LT(ret, 0);
  EXPECT_EQ(model.LastErrorMessage, ErrorText("/nonexistent/x.mkv", ret));
  EXPECT_TRUE(model.InputFiles.empty());
  EXPECT_TRUE(model.InputStreams.empty());
}

TEST_F(InputOpening, DemuxerOptionNobodyTookIsRefusedUnderStrictOptions) {
  TTestOptionModel model;
  try {
    OpenInput(model, SimpleClip(), "-s 320x240");
    FAIL() << "no exception";
  } catch (const FFmpegException& e) {
    EXPECT_EQ(e.Message, "Option video_size not found.");
  }
  TTestOptionModel lenient;
  lenient.StrictOptions = false;
  EXPECT_EQ(OpenInput(lenient, SimpleClip(), "-s 320x240"), 0);
  EXPECT_EQ(lenient.LastErrorMessage, "Option video_size not found.");
}

TEST_F(InputOpening, CodecTagTextsAndNumbersAgree) {
  for (const char* options : {"-tag:v XVID", "-tag:v 0x44495658"}) {
    SCOPED_TRACE(options);
    TTestOptionModel model;
    ASSERT_EQ(OpenInput(model, SimpleClip(), options), 0) << model.LastErrorMessage;
    EXPECT_EQ(model.InputStreams[0]->St->codecpar->codec_tag, MKTAG('X', 'V', 'I', 'D'));
  }
  TTestOptionModel model;
  ASSERT_EQ(OpenInput(model, SimpleClip(), "-tag:v ab"), 0) << model.LastErrorMessage;
  EXPECT_EQ(model.InputStreams[0]->St->codecpar->codec_tag, MKTAG('a', 'b', 0, 0));
}

TEST_F(InputOpening, SixChannelsWithoutLayoutGetTheDefaultUnlessLimited) {
  const std::string raw = testsupport::Fixture(
      "engine-6ch.s16le",
      "ffmpeg -hide_banner -loglevel error -y -f lavfi -i sine=f=300:sample_rate=8000:duration=1 -ac 6 -f s16le {out}");
  {
    TLogCapture log;
    TTestOptionModel model;
    ASSERT_EQ(OpenInput(model, raw, "-f s16le -ar 8000 -ac 6"), 0) << model.LastErrorMessage;
    EXPECT_EQ(model.InputStreams[0]->ResampleChannels, 6);
    AVChannelLayout six{};
    ff::av_channel_layout_default(&six, 6);
    EXPECT_EQ(model.InputStreams[0]->ResampleChannelLayout, six.u.mask);
    EXPECT_TRUE(log.Has("Guessed Channel Layout for  Input Stream #0.0 : 5.1"));
  }
  TTestOptionModel model;
  ASSERT_EQ(OpenInput(model, raw, "-f s16le -ar 8000 -ac 6 -guess_layout_max 2"), 0) << model.LastErrorMessage;
  EXPECT_EQ(model.InputStreams[0]->ResampleChannelLayout, 0u);
}

TEST_F(InputOpening, ForcedDecoderMustExistAndFitTheMediaType) {
  TTestOptionModel model;
  EXPECT_THROW(OpenInput(model, SimpleClip(), "-c:v nosuchcodec"), FFmpegException);
  EXPECT_EQ(model.LastErrorMessage, "Unknown decoder \"nosuchcodec\"");
  EXPECT_THROW(OpenInput(model, SimpleClip(), "-c:v mp3"), FFmpegException);
  EXPECT_EQ(model.LastErrorMessage, "Invalid decoder type \"mp3\"");
}

TEST_F(InputOpening, RelativeNameWithColonIsALocalFile) {
  TTestOptionModel model;
  const std::string dir = testsupport::MakeTempDir("colon");
  const AnsiString old = GetCurrentDir();
  ASSERT_TRUE(SetCurrentDir(dir));
  {
    FILE* f = std::fopen("part:1.bin", "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
  }
  EXPECT_FALSE(model.CheckFileOverwrite("part:1.bin"));
  EXPECT_EQ(model.LastErrorMessage, "File \"part:1.bin\" already exists. Ignore.");
  EXPECT_TRUE(model.CheckFileOverwrite("part:2.bin"));
  EXPECT_TRUE(model.CheckFileOverwrite("http://example.invalid/x.bin"));
  SetCurrentDir(old);
  testsupport::RemoveTree(dir);
}

}  // namespace
