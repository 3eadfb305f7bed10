// Filter chains in which an early filter ends before the input does and a later one still holds
// samples or pictures: what the later one held must reach the output, as with the ffmpeg tool.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/media/engine/transcode_test_support.h"

namespace {

class TranscodeFlush : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadFFmpegForTest();
    Dir = testsupport::MakeTempDir("flush");
  }
  void TearDown() override { testsupport::RemoveTree(Dir); }
  std::string Dir;
};

struct TFlushCase {
  const char* Name;
  const char* Ext;
  const char* Options;  // after " -y"
};

// One audio packet: the AAC frame size at 44.1 kHz.
constexpr double AudioTolerance = 1024.0 / 44100 + 0.001;

TEST_F(TranscodeFlush, HeldBackSamplesAndPicturesAfterAnEarlyEndAreWritten) {
  const TFlushCase audio[] = {
      {"slow-aac", "m4a", " -vn -af atrim=duration=2,atempo=0.5"},
      {"slow-pcm", "wav", " -vn -af atrim=duration=2,atempo=0.5"},
      {"fast-aac", "m4a", " -vn -af atrim=duration=2,atempo=2"},
  };
  const TFlushCase video[] = {
      {"trim-setpts", "mp4", " -an -c:v mpeg4 -vf trim=duration=1,setpts=2*PTS"},
      // Seven pictures: the second sheet is left three quarters full.
      {"trim-tile", "mp4", " -an -c:v mpeg4 -vf trim=end_frame=7,tile=2x2"},
      {"select-tile", "mp4", " -an -c:v mpeg4 -vsync vfr -vf select=lt(n\\,7),tile=2x2"},
  };
  const std::string src = TenSecondClip();
  auto run = [&](const TFlushCase& c, std::string& ours, std::string& theirs) {
    ours = Dir + "/" + c.Name + "." + c.Ext;
    theirs = Dir + "/tool-" + c.Name + "." + c.Ext;
    const AnsiString options = AnsiString(" -y") + c.Options;
    const TRunResult r = RunTask(src, "", ours, options);
    EXPECT_TRUE(r.Finished) << r.ExceptionMessage;
    EXPECT_FALSE(r.ExceptionRaised) << r.ExceptionMessage;
    testsupport::RunOk("ffmpeg -hide_banner -loglevel error -i " + testsupport::ShellQuote(src) + ShellWords(options) +
                       " " + testsupport::ShellQuote(theirs));
  };
  for (const TFlushCase& c : audio) {
    SCOPED_TRACE(c.Name);
    std::string ours, theirs;
    run(c, ours, theirs);
    const double tool = ProbeDuration(theirs, "a:0");
    EXPECT_GT(tool, 0.5);
    EXPECT_NEAR(ProbeDuration(ours, "a:0"), tool, AudioTolerance);
  }
  for (const TFlushCase& c : video) {
    SCOPED_TRACE(c.Name);
    std::string ours, theirs;
    run(c, ours, theirs);
    const int tool = std::atoi(Probe(theirs, "stream=nb_frames", "v:0").c_str());
    EXPECT_GT(tool, 1);
    // One picture here stands for a whole sheet or a run of input frames: the counts must agree.
    EXPECT_EQ(std::atoi(Probe(ours, "stream=nb_frames", "v:0").c_str()), tool);
  }
}

}  // namespace
