// Audio and clip extraction tasks: what ffprobe reads from the files they write.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "tests/media/engine/transcode_test_support.h"

namespace {

class TranscodeMedia : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadFFmpegForTest();
    Dir = testsupport::MakeTempDir("media");
  }
  void TearDown() override { testsupport::RemoveTree(Dir); }
  std::string Dir;
};

struct TAudioCase {
  const char* Ext;
  const char* Chain;  // the " -af " part, or empty
  double Expected;    // seconds
};

TEST_F(TranscodeMedia, AudioTasksLastTheCutLengthWithinOneFrame) {
  const TAudioCase cases[] = {
      {"wav", "", 2.0},
      {"mp3", " -af volume=1.5", 2.0},
      {"ogg", " -af atempo=2", 2.0},
      {"flac", " -af atempo=0.5,atempo=0.75", 2.0},
      // Five seconds are left after the start: at triple speed the input ends first.
      {"m4a", " -af atempo=2,atempo=1.5", 5.0 / 3.0},
      {"wma", "", 2.0},
      {"aac", "", 2.0},
      {"ac3", " -af volume=0.5", 2.0},
      {"mka", "", 2.0},
      {"mp2", "", 2.0},
      {"aiff", "", 2.0},
      {"au", "", 2.0},
  };
  const std::string src = TenSecondClip();
  for (const TAudioCase& c : cases) {
    SCOPED_TRACE(c.Ext);
    const std::string out = Dir + "/song." + c.Ext;
    const AnsiString options = AnsiString(" -y -t 00:00:02.000 -vn -q:a 0") + c.Chain;
    const TRunResult r = RunTask(src, " -ss 00:00:05.000", out, options);
    EXPECT_TRUE(r.Finished) << r.ExceptionMessage;
    const double duration = ProbeDuration(out);
    // One frame of the largest audio frame size among these encoders, at 44.1 kHz.
    EXPECT_NEAR(duration, c.Expected, 2048.0 / 44100 + 0.001);
  }
}

struct TClipCase {
  const char* Ext;
  const char* Options;  // between the " -t " part and the end
  const char* Codec;
  const char* Size;
  double Expected;
};

TEST_F(TranscodeMedia, ClipTasksHaveTheCodecSizeAndLengthAsked) {
  const TClipCase cases[] = {
      {"avi", " -c:v mpeg4 -q:v 0 -q:a 0 -aspect 160:120 -vf scale=160:120", "mpeg4", "160\n120", 2.0},
      {"mp4", " -c:v mpeg4 -q:v 0 -q:a 0 -aspect 240:240 -vf scale=240:240/(iw/ih),pad=240:240:0:(oh-ow/(iw/ih))/2:black",
       "mpeg4", "240\n240", 2.0},
      {"mkv", " -c:v libx264 -q:a 0 -vf crop=160:120:10:20", "h264", "160\n120", 2.0},
      {"webm", " -f webm -c:v libvpx -c:a libvorbis -q:a 0 -vf setpts=0.5*PTS", "vp8", "320\n240", 1.0},
      // This FFmpeg build carries no AMR encoder, the 3GP default.
      {"3gp", " -c:v mpeg4 -ar 8000 -ac 1 -c:a aac -q:v 0 -q:a 0", "mpeg4", "320\n240", 2.0},
      {"flv", " -c:v flv1 -q:v 0 -q:a 0 -vf hflip", "flv1", "320\n240", 2.0},
      {"wmv", " -c:v wmv2 -c:a wmav2 -q:v 0 -q:a 0 -vf vflip", "wmv2", "320\n240", 2.0},
      {"mpg", " -q:v 0 -q:a 0 -vf scale=352:288", "mpeg1video", "352\n288", 2.0},
      {"mov", " -q:v 0 -q:a 0 -vf transpose=1", "h264", "240\n320", 2.0},
  };
  const std::string src = TenSecondClip();
  for (const TClipCase& c : cases) {
    SCOPED_TRACE(c.Ext);
    const std::string out = Dir + "/clip." + c.Ext;
    const AnsiString length = std::string(c.Ext) == "webm" ? " -t 00:00:01.000" : " -t 00:00:02.000";
    const TRunResult r = RunTask(src, " -ss 00:00:03.000", out, AnsiString(" -y") + length + c.Options);
    EXPECT_TRUE(r.Finished) << r.ExceptionMessage;
    EXPECT_EQ(Probe(out, "stream=codec_name", "v:0"), c.Codec);
    EXPECT_EQ(Probe(out, "stream=width,height", "v:0"), c.Size);
    EXPECT_NEAR(ProbeDuration(out), c.Expected, 0.1);
  }
}

TEST_F(TranscodeMedia, ASlowedAviClipStoresEachPictureOnceLikeTheTool) {
  // Half speed: every picture fills two slots of the 25 fps AVI. The repeat is an empty chunk,
  // not a second encoding of the same picture.
  const AnsiString options =
      " -y -t 00:00:02.000 -c:v mpeg4 -q:v 0 -q:a 0 -vf trim=duration=1,setpts=2*PTS -af atrim=duration=1";
  const std::string src = TenSecondClip();
  const std::string ours = Dir + "/slow.avi";
  const std::string theirs = Dir + "/tool-slow.avi";
  const TRunResult r = RunTask(src, " -ss 00:00:03.000", ours, options);
  EXPECT_TRUE(r.Finished) << r.ExceptionMessage;
  testsupport::RunOk("ffmpeg -hide_banner -loglevel error -ss 00:00:03.000 -i " + testsupport::ShellQuote(src) +
                     ShellWords(options) + " " + testsupport::ShellQuote(theirs));
  const auto pictures = [](const std::string& file) {
    std::string out;
    testsupport::Run("ffprobe -v error -select_streams v:0 -show_entries packet=size -of csv=p=0 " +
                         testsupport::ShellQuote(file) + " | grep -c -v '^0$'",
                     &out);
    return std::atoi(out.c_str());
  };
  EXPECT_EQ(pictures(ours), 25);
  EXPECT_EQ(pictures(ours), pictures(theirs));
  EXPECT_EQ(Probe(ours, "stream=nb_frames", "v:0"), "50");
  EXPECT_EQ(Probe(ours, "stream=nb_frames", "v:0"), Probe(theirs, "stream=nb_frames", "v:0"));
  EXPECT_NEAR(ProbeDuration(ours), 2.0, 0.05);
}

}  // namespace
