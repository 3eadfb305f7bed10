// What a task's set-up adds on request: the deinterlacing step and the session description of
// RTP outputs, each against the ffmpeg tool.
#include <gtest/gtest.h>

#include "media/binding/logger.h"
#include "tests/media/engine/transcode_test_support.h"

namespace {

class TranscodeSetupSteps : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadFFmpegForTest();
    Dir = testsupport::MakeTempDir("setup");
  }
  void TearDown() override { testsupport::RemoveTree(Dir); }
  std::string Dir;
};

// What the engine logs at the information level and above, in order.
struct TLogText {
  TLogText() {
    FFLogger()->SetOnLog([this](TObject*, DWORD, TLogLevel Level, const AnsiString& Msg) {
      if (Level <= llInfo) Text += Msg + "\n";
    });
  }
  ~TLogText() { FFLogger()->SetOnLog(nullptr); }
  std::string Text;
};

// Interlaced pictures (two fields of different moments), lossless.
std::string InterlacedClip() {
  return testsupport::Fixture("setup-interlaced.mkv",
                              "ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=160x120:rate=20:duration=1 "
                              "-vf tinterlace=interleave_top,setfield=tff -c:v ffv1 -f matroska {out}");
}

TEST_F(TranscodeSetupSteps, DeinterlaceGivesTheToolsYadifPictures) {
  const std::string input = InterlacedClip();
  const std::string ours = Dir + "/ours.mkv";
  const std::string tool = Dir + "/tool.mkv";
  TLogText log;
  const TRunResult r = RunTask(input, "", ours, " -y -deinterlace -c:v ffv1 -f matroska");
  ASSERT_TRUE(r.Finished) << r.ExceptionMessage;
  EXPECT_NE(log.Text.find("-deinterlace is deprecated, use -filter:v yadif instead"), std::string::npos) << log.Text;
  testsupport::RunOk("ffmpeg -nostdin -v error -i " + testsupport::ShellQuote(input) +
                     " -vf yadif -c:v ffv1 -f matroska " + testsupport::ShellQuote(tool));
  const std::string expected = FrameChecksums(tool);
  EXPECT_EQ(FrameChecksums(ours), expected);
  EXPECT_NE(FrameChecksums(input), expected) << "yadif changed nothing: the fixture is not interlaced";
}

TEST_F(TranscodeSetupSteps, RtpOutputsLogTheToolsSessionDescription) {
  const std::string input = testsupport::Fixture(
      "setup-short.mkv", "ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=160x120:rate=10:duration=1 "
                         "-c:v ffv1 -f matroska {out}");
  const AnsiString options = " -c:v mpeg4 -f rtp";
  const std::string url = "rtp://127.0.0.1:45679";
  TLogText log;
  const TRunResult r = RunTask(input, "", url, options);
  EXPECT_TRUE(r.Finished) << r.ExceptionMessage;
  const std::string tool = testsupport::RunOk("ffmpeg -nostdin -v error -i " + testsupport::ShellQuote(input) +
                                              ShellWords(options) + " " + url);
  // The tool ends its lines as the description does, with CR LF, after its own "SDP:" line.
  ASSERT_EQ(tool.rfind("SDP:\n", 0), 0u) << tool;
  std::string expected = "SDP:\r\n" + tool.substr(5);
  while (!expected.empty() && (expected.back() == '\n' || expected.back() == '\r')) expected.pop_back();
  EXPECT_NE(log.Text.find(expected + "\n"), std::string::npos) << log.Text;

  // Not for a file output.
  log.Text.clear();
  const TRunResult plain = RunTask(input, "", Dir + "/plain.mkv", " -c:v mpeg4 -f matroska");
  EXPECT_TRUE(plain.Finished) << plain.ExceptionMessage;
  EXPECT_EQ(log.Text.find("SDP:"), std::string::npos);
}

}  // namespace
