// Frame extraction tasks: the image sequences they write, against the ffmpeg tool given the same
// options.
#include <gtest/gtest.h>

#include "tests/media/engine/transcode_test_support.h"

namespace {

class TranscodeFrames : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadFFmpegForTest();
    Dir = testsupport::MakeTempDir("frames");
  }
  void TearDown() override { testsupport::RemoveTree(Dir); }
  std::string Dir;
};

struct TFrameCase {
  const char* Name;
  const char* Options;  // after " -y -q:v 0 -f image2"
  int Expected;
  // The tool picks other frames for a changed rate, so only the others are compared by bytes.
  bool SameBytes;
};

TEST_F(TranscodeFrames, ImageCountsMatchTheToolForEachMode) {
  const TFrameCase cases[] = {
      {"everyframes", " -t 00:00:10.000 -vsync vfr -vf select=not(mod(n\\,50))", 5, true},
      {"everyseconds", " -t 00:00:10.000 -r 0.5", 5, false},
      {"express", " -vframes 1", 1, true},
      {"tile", " -t 00:00:10.000 -vf tile=3x2", 42, true},
  };
  const std::string src = TenSecondClip();
  for (const TFrameCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string ours = Dir + "/" + c.Name;
    const std::string theirs = Dir + "/tool-" + c.Name;
    testsupport::RunOk("mkdir -p " + ours + " " + theirs);
    const AnsiString options = AnsiString(" -y -q:v 0 -f image2") + c.Options;
    const TRunResult r = RunTask(src, " -ss 00:00:00.000", ours + "/clip.mp4-%d.jpg", options);
    EXPECT_TRUE(r.Finished) << r.ExceptionMessage;
    EXPECT_FALSE(r.ExceptionRaised) << r.ExceptionMessage;
    testsupport::RunOk("ffmpeg -hide_banner -loglevel error -ss 00:00:00.000 -i " + testsupport::ShellQuote(src) +
                       ShellWords(options) + " " + testsupport::ShellQuote(theirs + "/clip.mp4-%d.jpg"));
    const int tool = CountFiles(theirs, "^clip\\.mp4-[0-9]+\\.jpg$");
    EXPECT_EQ(tool, c.Expected);
    EXPECT_EQ(CountFiles(ours, "^clip\\.mp4-[0-9]+\\.jpg$"), tool);
    // The JPEG encoder runs threaded as in the tool, and must give the tool's bytes all the same.
    std::string differences;
    if (c.SameBytes) {
      EXPECT_EQ(testsupport::Run("diff -rq " + testsupport::ShellQuote(ours) + " " + testsupport::ShellQuote(theirs),
                                 &differences),
                0)
          << differences;
    }
    const std::string first = ours + "/clip.mp4-1.jpg";
    EXPECT_EQ(Probe(first, "stream=pix_fmt"), "yuvj420p");
    if (std::string(c.Name) == "tile") {
      EXPECT_EQ(Probe(first, "stream=width,height"), "960\n480");
    }
  }
}

TEST_F(TranscodeFrames, EveryImageTypeIsWrittenAndReadable) {
  const char* types[] = {"jpg", "jpeg", "gif", "bmp", "png", "pcx", "tiff", "tga", "pgm", "ppm", "pam", "sgi"};
  const std::string src = TenSecondClip();
  for (const char* ext : types) {
    SCOPED_TRACE(ext);
    const std::string pattern = Dir + "/clip-%d." + ext;
    const TRunResult r = RunTask(src, " -ss 00:00:02.000", pattern, " -y -q:v 0 -f image2 -vframes 1");
    EXPECT_TRUE(r.Finished) << r.ExceptionMessage;
    const std::string file = Dir + "/clip-1." + ext;
    std::string out;
    EXPECT_EQ(testsupport::Run("identify -format '%w %h' " + testsupport::ShellQuote(file), &out), 0) << out;
    EXPECT_EQ(out, "320 240");
  }
}

TEST_F(TranscodeFrames, FrameLimitGivesExactlyThatManyFramesAndEndsTheLoop) {
  TLogCapture log;
  const std::string out = Dir + "/ten.mkv";
  const TRunResult r = RunTask(TenSecondClip(), "", out, " -y -an -frames:v 10");
  EXPECT_TRUE(r.Finished) << r.ExceptionMessage;
  EXPECT_EQ(Probe(out, "stream=nb_read_frames", "v:0 -count_frames"), "10");
  EXPECT_TRUE(log.Has("No more output streams to write to, finishing."));

  // A start between two frames makes the first picture cover two output slots; the limit holds
  // all the same, so the express run's single named image is written once and the task succeeds.
  const std::string single = Dir + "/between.jpg";
  const TRunResult one = RunTask(TenSecondClip(), " -ss 00:00:00.450", single, " -y -q:v 0 -f image2 -vframes 1");
  EXPECT_TRUE(one.Finished) << one.ExceptionMessage;
  EXPECT_FALSE(one.ExceptionRaised) << one.ExceptionMessage;
  EXPECT_EQ(Probe(single, "stream=width,height"), "320\n240");
}

TEST_F(TranscodeFrames, NothingToWriteEndsWithTheEmptyOutputWarning) {
  TLogCapture log;
  const std::string out = Dir + "/empty.avi";
  const TRunResult r = RunTask(TenSecondClip(), " -ss 00:00:30.000", out, " -y -an");
  EXPECT_FALSE(r.ExceptionRaised) << r.ExceptionMessage;
  EXPECT_TRUE(log.Has("Output file is empty, nothing was encoded (check -ss / -t / -frames parameters if used)"));
}

}  // namespace
