// Which pictures an image sequence at a constant rate gets: single frames after a seek between
// two key frames, and one picture per period. Every file is compared, picture by picture, with
// what the ffmpeg tool writes for the same options.
#include <gtest/gtest.h>

#include <vector>

#include "tests/media/engine/transcode_test_support.h"

namespace {

// 160x120 H.264 at 25 frames a second with a key frame every 250 frames; one with sound, one
// without (a lone video stream starts its constant rate differently).
std::string KeyframeClip(bool WithSound) {
  const std::string video = "-f lavfi -i testsrc2=size=160x120:rate=25:duration=12 ";
  const std::string coding = "-c:v libx264 -g 250 -keyint_min 250 -sc_threshold 0 -pix_fmt yuv420p -preset ultrafast ";
  return WithSound ? testsupport::Fixture("rate-keyint250-sound.mp4",
                                          "ffmpeg -hide_banner -loglevel error -y " + video +
                                              "-f lavfi -i sine=f=440:duration=12 " + coding +
                                              "-c:a aac -shortest -f mp4 {out}")
                   : testsupport::Fixture("rate-keyint250.mp4",
                                          "ffmpeg -hide_banner -loglevel error -y " + video + coding + "-f mp4 {out}");
}

// The decoded pictures of the numbered files in Folder, in their numbering order (read in one
// go as an image sequence).
std::vector<std::string> PictureSums(const std::string& Folder, const std::string& Ext) {
  std::string out;
  testsupport::Run("ffmpeg -v error -i " + testsupport::ShellQuote(Folder + "/f-%d." + Ext) + " -f framemd5 - 2>/dev/null",
                   &out);
  std::vector<std::string> sums;
  size_t at = 0;
  while (at < out.size()) {
    size_t end = out.find('\n', at);
    if (end == std::string::npos) end = out.size();
    const std::string line = out.substr(at, end - at);
    at = end + 1;
    if (line.empty() || line[0] == '#') continue;
    const size_t comma = line.rfind(',');
    sums.push_back(line.substr(comma == std::string::npos ? 0 : comma + 1));
  }
  return sums;
}

class TranscodeRate : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadFFmpegForTest();
    Dir = testsupport::MakeTempDir("rate");
  }
  void TearDown() override { testsupport::RemoveTree(Dir); }

  // Runs the task and the tool with the same options into two folders; returns both folders.
  std::pair<std::string, std::string> RunBoth(const std::string& Src, const std::string& Start,
                                              const AnsiString& Options, const std::string& Tag,
                                              TRunResult* Result = nullptr) {
    const std::string ours = Dir + "/ours-" + Tag, theirs = Dir + "/tool-" + Tag;
    testsupport::RunOk("mkdir -p " + ours + " " + theirs);
    const TRunResult r = RunTask(Src, " -ss " + Start, ours + "/f-%d.jpg", Options);
    if (Result) *Result = r;
    testsupport::RunOk("ffmpeg -hide_banner -loglevel error -ss " + Start + " -i " + testsupport::ShellQuote(Src) +
                       ShellWords(Options) + " " + testsupport::ShellQuote(theirs + "/f-%d.jpg"));
    return {ours, theirs};
  }
  std::string Dir;
};

TEST_F(TranscodeRate, SingleFramesBetweenKeyFramesWriteOnePictureEachAsTheToolDoes) {
  // Start times in every part of a frame interval, far from the key frames at 0 and 10 s.
  const char* starts[] = {"0.40", "0.41", "0.45", "0.47", "0.49", "10.248"};
  for (const bool sound : {false, true}) {
    const std::string src = KeyframeClip(sound);
    for (const char* start : starts) {
      SCOPED_TRACE(std::string(start) + (sound ? " with sound" : " video only"));
      TLogCapture log;
      TRunResult r;
      const auto [ours, theirs] = RunBoth(src, start, " -y -q:v 0 -f image2 -vframes 1",
                                          std::string(start) + (sound ? "s" : "v"), &r);
      EXPECT_TRUE(r.Finished);
      EXPECT_FALSE(r.ExceptionRaised) << r.ExceptionMessage;
      const auto mine = PictureSums(ours, "jpg");
      ASSERT_EQ(mine.size(), 1u);
      EXPECT_EQ(mine, PictureSums(theirs, "jpg"));
      EXPECT_FALSE(log.Has("Invalid pts"));
    }
  }
}

TEST_F(TranscodeRate, PicturesPerPeriodAreTheOnesTheToolPicks) {
  struct TCase {
    const char* Start;
    const char* Options;
  } cases[] = {
      {"0", " -t 5 -r 1"},         // every second
      {"0.45", " -t 0.4 -r 25"},  // every frame, from the first half of an interval
      {"0.45", " -t 3 -r 0.5"},    // every two seconds
      {"2.3", " -t 2 -r 10"},      // ten a second from 25
      {"1", " -t 1 -r 50"},        // more than the source has: repeats
  };
  for (const bool sound : {false, true}) {
    const std::string src = KeyframeClip(sound);
    int n = 0;
    for (const TCase& c : cases) {
      SCOPED_TRACE(std::string(c.Start) + c.Options + (sound ? " with sound" : " video only"));
      TRunResult r;
      const auto [ours, theirs] =
          RunBoth(src, c.Start, AnsiString(" -y -q:v 0 -f image2") + c.Options,
                  std::to_string(n++) + (sound ? "s" : "v"), &r);
      EXPECT_FALSE(r.ExceptionRaised) << r.ExceptionMessage;
      const auto tool = PictureSums(theirs, "jpg");
      ASSERT_FALSE(tool.empty());
      EXPECT_EQ(PictureSums(ours, "jpg"), tool);
    }
  }
}

}  // namespace
