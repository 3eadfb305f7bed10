// Subtitle tasks: re-encoded subtitles against what the ffmpeg tool writes from the same input
// with the same options.
#include <gtest/gtest.h>

#include "tests/media/engine/transcode_test_support.h"

namespace {

// Two overlapping cues; the second carries markup.
std::string TwoCueSrt() {
  return testsupport::Fixture("subtitles-two.srt",
                              "printf '1\\n00:00:00,500 --> 00:00:02,000\\nFirst cue\\n\\n"
                              "2\\n00:00:01,500 --> 00:00:03,250\\nSecond <i>cue</i>\\n\\n' > {out}");
}

// A clip with the cues as an SRT track.
std::string ClipWithSrtTrack() {
  return testsupport::Fixture("subtitles-clip.mkv",
                              "ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=160x120:rate=10:duration=4 "
                              "-i " + testsupport::ShellQuote(TwoCueSrt()) +
                                  " -c:v mpeg4 -c:s srt -f matroska {out}");
}

// A lossless clip with a bitmap subtitle track (two pictures, each shown for one second).
std::string ClipWithBitmapSubtitles() {
  const std::string script = std::string(CLAVORNE_SOURCE_DIR) + "/tests/media/engine/make_pgs.py";
  return testsupport::Fixture("subtitles-pgs.mkv",
                              "python3 " + testsupport::ShellQuote(script) + " {out}.sup && "
                              "ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=160x120:rate=10:duration=4 "
                              "-i {out}.sup -map 0 -map 1 -c:v ffv1 -c:s copy -f matroska {out} && rm -f {out}.sup");
}

class TranscodeSubtitles : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadFFmpegForTest();
    Dir = testsupport::MakeTempDir("subs");
  }
  void TearDown() override { testsupport::RemoveTree(Dir); }
  std::string Dir;
};

// The subtitle track of a file as ASS text (header and dialogue lines), whatever holds it.
std::string SubtitleText(const std::string& File, const std::string& Codec) {
  return testsupport::RunOk("ffmpeg -nostdin -v error -i " + testsupport::ShellQuote(File) + " -map 0:s -c:s " + Codec +
                            " -f " + (Codec == "copy" ? "ass" : Codec) + " -");
}

TEST_F(TranscodeSubtitles, ReencodedCuesMatchTheTool) {
  const struct {
    const char* Name;
    std::string Input;
    AnsiString InputOptions;
    const char* Ext;
    AnsiString OutputOptions;
    // Read back as: the file itself ("srt", "ass"), or its track copied out as ASS text.
    const char* ReadAs;
  } cases[] = {
      {"to srt", TwoCueSrt(), "", "srt", " -y -c:s srt", "srt"},
      {"to ass", TwoCueSrt(), "", "ass", " -y -c:s ass", "ass"},
      // The clip run's case: Matroska picks its subtitle codec (ASS) by itself.
      {"clip to mkv", ClipWithSrtTrack(), "", "mkv", " -y -c:v mpeg4 -q:v 5", "copy"},
      {"fixed durations", TwoCueSrt(), " -fix_sub_duration", "srt", " -y -c:s srt", "srt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string ours = Dir + "/ours." + c.Ext;
    const std::string tool = Dir + "/tool." + c.Ext;
    const TRunResult r = RunTask(c.Input, c.InputOptions, ours, c.OutputOptions);
    ASSERT_TRUE(r.Finished) << r.ExceptionMessage;
    EXPECT_FALSE(r.ExceptionRaised) << r.ExceptionMessage;
    testsupport::RunOk("ffmpeg -nostdin -v error" + ShellWords(c.InputOptions) + " -i " + testsupport::ShellQuote(c.Input) +
                       ShellWords(c.OutputOptions) + " " + testsupport::ShellQuote(tool));
    std::string expected = SubtitleText(tool, c.ReadAs);
    if (c.InputOptions == " -fix_sub_duration") {
      // The tool loses the last cue, held back to learn where the next one starts; it keeps its
      // own end here. The first is cut where the second begins.
      EXPECT_NE(expected.find("00:00:00,500 --> 00:00:01,500"), std::string::npos) << expected;
      expected += "2\n00:00:01,500 --> 00:00:03,250\nSecond <i>cue</i>\n\n";
    }
    const std::string got = SubtitleText(ours, c.ReadAs);
    EXPECT_EQ(got, expected);
    // The ASS forms carry the decoder's header.
    if (std::string(c.ReadAs) != "srt") {
      EXPECT_NE(got.find("[Script Info]"), std::string::npos) << got;
    }
  }
}

// A subtitle stream as the second input of an overlay: its pictures drawn in at their times and
// taken off at their ends, picture for picture as the tool draws them.
TEST_F(TranscodeSubtitles, BitmapSubtitlesOverlaidLikeTheTool) {
  const std::string input = ClipWithBitmapSubtitles();
  const AnsiString options = " -y -filter_complex [0:v][0:s]overlay -c:v ffv1 -f matroska";
  const std::string ours = Dir + "/ours.mkv";
  const std::string tool = Dir + "/tool.mkv";
  const TRunResult r = RunTask(input, "", ours, options);
  ASSERT_TRUE(r.Finished) << r.ExceptionMessage;
  testsupport::RunOk("ffmpeg -nostdin -v error -i " + testsupport::ShellQuote(input) + ShellWords(options) + " " +
                     testsupport::ShellQuote(tool));
  const std::string expected = FrameChecksums(tool);
  EXPECT_EQ(FrameChecksums(ours), expected);
  // The overlay did draw: the source's pictures differ from the tool's while a subtitle shows.
  EXPECT_NE(FrameChecksums(input), expected);
}

}  // namespace
