#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "media/binding/ffmpeg_exception.h"
#include "platform/rtl/files.h"
#include "tests/media/engine/engine_test_model.h"

namespace {

class OutputOpening : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadFFmpegForTest();
    Dir = testsupport::MakeTempDir("out");
  }
  void TearDown() override { testsupport::RemoveTree(Dir); }
  std::string Path(const char* name) const { return Dir + "/" + name; }
  std::string Dir;
};

AnsiString Tag(AVDictionary* d, const char* key) {
  const AVDictionaryEntry* e = ff::av_dict_get(d, key, nullptr, 0);
  return e ? e->value : "<none>";
}

TEST_F(OutputOpening, AutomaticSelectionTakesLargestVideoAndMostChannels) {
  TTestOptionModel model;
  ASSERT_EQ(OpenInput(model, MultiStreamClip()), 0) << model.LastErrorMessage;
  ASSERT_EQ(model.InputStreams.size(), 4u);
  ASSERT_EQ(OpenOutput(model, Path("out.mkv"), "-y -c copy"), 0) << model.LastErrorMessage;
  ASSERT_EQ(model.OutputStreams.size(), 2u);
  EXPECT_EQ(model.OutputStreams[0]->SourceIndex, 1);
  EXPECT_EQ(model.OutputStreams[1]->SourceIndex, 3);
  EXPECT_EQ(model.OutputStreams[0]->StreamCopy, 1);
  EXPECT_EQ(model.InputStreams[0]->Discard, 1);
  EXPECT_EQ(model.InputStreams[1]->Discard, 0);
  EXPECT_EQ(model.InputStreams[1]->St->discard, AVDISCARD_NONE);

  // Global and stream metadata and the chapters come along.
  AVFormatContext* oc = model.OutputFiles[0]->Ctx;
  EXPECT_EQ(Tag(oc->metadata, "title"), "Clip Title");
  EXPECT_EQ(Tag(oc->metadata, "creation_time"), "<none>");
  EXPECT_EQ(Tag(model.OutputStreams[0]->St->metadata, "title"), "BigVideo");
  EXPECT_EQ(Tag(model.OutputStreams[1]->St->metadata, "title"), "SurroundAudio");
  ASSERT_EQ(oc->nb_chapters, 2u);
  EXPECT_EQ(Tag(oc->chapters[1]->metadata, "title"), "Second");
  EXPECT_EQ(ff::av_rescale_q(oc->chapters[1]->start, oc->chapters[1]->time_base, AVRational{1, 1000}), 500);
}

TEST_F(OutputOpening, DisabledTypesAndMapsChooseTheStreams) {
  TTestOptionModel model;
  ASSERT_EQ(OpenInput(model, MultiStreamClip()), 0) << model.LastErrorMessage;
  ASSERT_EQ(OpenOutput(model, Path("a.mkv"), "-c copy -map 0 -map -0:v:1 -vn -map 0:a:0"), 0) << model.LastErrorMessage;
  // Video is off for maps too; the negative map removed nothing that -vn had not; audio twice.
  ASSERT_EQ(model.OutputStreams.size(), 3u);
  EXPECT_EQ(model.OutputStreams[0]->SourceIndex, 2);
  EXPECT_EQ(model.OutputStreams[1]->SourceIndex, 3);
  EXPECT_EQ(model.OutputStreams[2]->SourceIndex, 2);
}

TEST_F(OutputOpening, LastMatchingCodecWinsAndStreamIdsApply) {
  TTestOptionModel model;
  ASSERT_EQ(OpenInput(model, SimpleClip()), 0) << model.LastErrorMessage;
  ASSERT_EQ(OpenOutput(model, Path("b.mkv"), "-c copy -c:a pcm_s24le -streamid 1:33"), 0) << model.LastErrorMessage;
  ASSERT_EQ(model.OutputStreams.size(), 2u);
  EXPECT_EQ(model.OutputStreams[0]->StreamCopy, 1);
  EXPECT_EQ(model.OutputStreams[1]->StreamCopy, 0);
  ASSERT_NE(model.OutputStreams[1]->Enc, nullptr);
  EXPECT_STREQ(model.OutputStreams[1]->Enc->name, "pcm_s24le");
  EXPECT_EQ(model.OutputStreams[0]->St->id, 0);
  EXPECT_EQ(model.OutputStreams[1]->St->id, 33);
  EXPECT_EQ(Tag(model.OutputStreams[1]->SwrOpts, "output_sample_bits"), "24");
}

struct TRaiseCase {
  const char* Options;
  const char* Message;
};

TEST_F(OutputOpening, BadMapsAndStreamValuesRaiseTheirTexts) {
  const TRaiseCase cases[] = {
      {"-map 3", "Invalid input file index: 3."},
      {"-map 0:v:5", "Stream map \"0:v:5\" matches no streams."},
      {"-map 0:v,2", "Invalid sync file index: 2."},
      {"-map [nolabel", "Invalid output link label: [nolabel."},
      {"-c:v mpeg4 -aspect 0:1", "Invalid aspect ratio: 0:1"},
      {"-c:v mpeg4 -aspect wide", "Invalid aspect ratio: wide"},
      {"-c:v mpeg4 -pix_fmt nosuchfmt", "Unknown pixel format requested: nosuchfmt."},
      {"-c:v mpeg4 -s huge", "Invalid frame size: huge."},
      {"-c:v mpeg4 -r fast", "Invalid framerate value: fast"},
      {"-c:v mpeg4 -intra_matrix 1,2,3", "Syntax error in matrix \"1,2,3\" at coeff 2"},
      {"-c:v mpeg4 -bsf:v h264_mp4toannexb,,null", "Unknown bitstream filter \"\""},
      {"-c:v nosuchencoder", "Unknown encoder \"nosuchencoder\""},
      {"-c:a mpeg4", "Invalid encoder type \"mpeg4\""},
      {"-map_channel 0.1.7", "mapchan: invalid audio channel #0.1.7"},
      {"-map_channel 0.0.0", "mapchan: stream #0.0 is not an audio stream."},
      {"-map_channel 0.0", "Syntax error, mapchan usage: [file.stream.channel|-1][:syncfile:syncstream]"},
  };
  for (const TRaiseCase& tc : cases) {
    SCOPED_TRACE(tc.Options);
    TTestOptionModel model;
    ASSERT_EQ(OpenInput(model, SimpleClip()), 0) << model.LastErrorMessage;
    try {
      OpenOutput(model, Path("c.mkv"), tc.Options);
      ADD_FAILURE() << "no exception";
    } catch (const FFmpegException& e) {
      EXPECT_EQ(e.Message, tc.Message);
    }
    EXPECT_TRUE(model.OutputFiles.empty());
  }
  // Stream copy never reads the aspect text.
  TTestOptionModel model;
  ASSERT_EQ(OpenInput(model, SimpleClip()), 0);
  EXPECT_EQ(OpenOutput(model, Path("d.mkv"), "-c copy -aspect wide"), 0) << model.LastErrorMessage;
}

struct TTimeCase {
  const char* Options;
  int64_t RecordingTime;
  const char* Warning;
};

TEST_F(OutputOpening, StopTimeBecomesRecordingTimeAndTotalDuration) {
  const TTimeCase cases[] = {
      {"-t 10 -to 30", 10000000, "-t and -to cannot be used together; using -t."},
      {"-ss 10 -to 30", 20000000, nullptr},
      {"-ss 10 -to 5", INT64_MAX, "-to value smaller than -ss; ignoring -to."},
      {"-t 2.5", 2500000, nullptr},
      {"", INT64_MAX, nullptr},
  };
  for (const TTimeCase& tc : cases) {
    SCOPED_TRACE(tc.Options);
    TLogCapture log;
    TTestOptionModel model;
    ASSERT_EQ(OpenInput(model, SimpleClip()), 0);
    ASSERT_EQ(OpenOutput(model, Path("e.mkv"), AnsiString("-c copy ") + tc.Options), 0) << model.LastErrorMessage;
    EXPECT_EQ(model.OutputFiles[0]->RecordingTime, tc.RecordingTime);
    EXPECT_EQ(model.TotalDuration, tc.RecordingTime == INT64_MAX ? -1 : tc.RecordingTime);
    if (tc.Warning) {
      EXPECT_TRUE(log.Has(tc.Warning));
    }
  }
  // The longest limited output counts.
  TTestOptionModel model;
  ASSERT_EQ(OpenInput(model, SimpleClip()), 0);
  ASSERT_EQ(OpenOutput(model, Path("f.mkv"), "-c copy -t 3"), 0);
  ASSERT_EQ(OpenOutput(model, Path("g.mkv"), "-c copy -t 1"), 1);
  EXPECT_EQ(model.TotalDuration, 3000000);
}

TEST_F(OutputOpening, FailureAfterCreatingTheFileDeletesIt) {
  for (const char* options : {"-c copy -map_metadata 5", "-c copy -metadata novalue", "-c copy -metadata:c:4 a=b"}) {
    SCOPED_TRACE(options);
    TTestOptionModel model;
    ASSERT_EQ(OpenInput(model, SimpleClip()), 0);
    const std::string out = Path("h.mkv");
    EXPECT_EQ(OpenOutput(model, out, options), -1);
    EXPECT_FALSE(FileExists(out));
    EXPECT_TRUE(model.OutputFiles.empty());
    EXPECT_TRUE(model.OutputStreams.empty());
    EXPECT_EQ(model.InputStreams[0]->Discard, 1) << "the stream is free again";
  }
  TTestOptionModel model;
  ASSERT_EQ(OpenInput(model, SimpleClip()), 0);
  EXPECT_EQ(OpenOutput(model, Path("i.mkv"), "-c copy -map_metadata 5"), -1);
  EXPECT_EQ(model.LastErrorMessage, "Invalid input file index 5 while processing metadata maps");
  EXPECT_EQ(OpenOutput(model, Path("j.mkv"), "-c copy -metadata novalue"), -1);
  EXPECT_EQ(model.LastErrorMessage, "No \"=\" character in metadata string novalue.");
}

TEST_F(OutputOpening, MetadataOptionsSetAndRemoveKeys) {
  TTestOptionModel model;
  ASSERT_EQ(OpenInput(model, MultiStreamClip()), 0);
  ASSERT_EQ(OpenOutput(model, Path("k.mkv"), "-c copy -metadata artist= -metadata:s:a lang=eng -metadata:c:0 title=One"),
            0)
      << model.LastErrorMessage;
  AVFormatContext* oc = model.OutputFiles[0]->Ctx;
  EXPECT_EQ(Tag(oc->metadata, "artist"), "<none>");
  EXPECT_EQ(Tag(oc->metadata, "title"), "Clip Title");
  EXPECT_EQ(Tag(model.OutputStreams[1]->St->metadata, "lang"), "eng");
  EXPECT_EQ(Tag(model.OutputStreams[0]->St->metadata, "lang"), "<none>");
  EXPECT_EQ(Tag(oc->chapters[0]->metadata, "title"), "One");
}

TEST_F(OutputOpening, FeedOutputIsRefusedThroughTheErrorPath) {
  TTestOptionModel model;
  ASSERT_EQ(OpenInput(model, SimpleClip()), 0);
  EXPECT_EQ(OpenOutput(model, "http://localhost:1/feed.ffm", "-f ffm"), -1);
  EXPECT_THAT(model.LastErrorMessage, ::testing::StartsWith("http://localhost:1/feed.ffm: "));
}

}  // namespace
