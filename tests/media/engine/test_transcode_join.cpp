// Join mode: several inputs one after another into one output, against the ffmpeg tool's concat
// of the same files.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tests/media/engine/transcode_test_support.h"

namespace {

// Three one-second parts of different pictures and tones, lossless.
std::string Part(int Index) {
  const std::string n = std::to_string(Index);
  return testsupport::Fixture(
      "join-part" + n + ".mkv",
      "ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=160x120:rate=10:duration=1,hue=h=" +
          std::to_string(Index * 90) + " -f lavfi -i sine=f=" + std::to_string(300 + 200 * Index) +
          ":sample_rate=8000:duration=1 -c:v ffv1 -c:a pcm_s16le -f matroska {out}");
}

class TranscodeJoin : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadFFmpegForTest();
    Dir = testsupport::MakeTempDir("join");
  }
  void TearDown() override { testsupport::RemoveTree(Dir); }
  std::string Dir;
};

std::string AudioChecksums(const std::string& File) {
  return testsupport::RunOk("ffmpeg -nostdin -v error -i " + testsupport::ShellQuote(File) +
                            " -map 0:a -f md5 -");
}

TEST_F(TranscodeJoin, ThreeInputsFollowEachOtherAsInTheToolsConcat) {
  const std::vector<std::string> parts{Part(0), Part(1), Part(2)};
  const AnsiString options = " -y -c:v ffv1 -c:a pcm_s16le -f matroska";
  const std::string ours = Dir + "/ours.mkv";
  const std::string tool = Dir + "/tool.mkv";

  TCustomFFmpeg task;
  for (const std::string& p : parts) ASSERT_GE(OpenInput(task, p), 0) << task.LastErrorMessage;
  {
    TScopedContext ctx(task);
    ASSERT_EQ(task.OpenOutputFile(ctx.C, options, true, UTF8Decode(ours), ""), 0) << task.LastErrorMessage;
  }
  EXPECT_TRUE(task.Joined);
  EXPECT_EQ(task.JoinStreamCount, 2);
  std::vector<int> fileIndexes;
  task.ProgressInterval = 0;
  task.ProgressProc = [&](TObject*, const TTaskProgress& Progress) {
    if (fileIndexes.empty() || fileIndexes.back() != Progress.FileIndex) fileIndexes.push_back(Progress.FileIndex);
  };
  bool finished = false;
  AnsiString message;
  task.TerminateProc = [&](TObject*) {
    finished = task.Finished;
    message = task.ExceptionMessage;
  };
  task.Start(false);
  ASSERT_TRUE(finished) << message;
  EXPECT_EQ(fileIndexes, (std::vector<int>{0, 1, 2, -1}));

  std::string list;
  for (const std::string& p : parts) list += "file " + testsupport::ShellQuote(p) + "\n";
  testsupport::RunOk("printf %s " + testsupport::ShellQuote(list) + " > " + Dir + "/list.txt");
  testsupport::RunOk("ffmpeg -nostdin -v error -f concat -safe 0 -i " + Dir + "/list.txt" + ShellWords(options) + " " +
                     testsupport::ShellQuote(tool));
  const std::string pictures = FrameChecksums(tool);
  EXPECT_EQ(std::count(pictures.begin(), pictures.end(), '\n'), 30);
  EXPECT_EQ(FrameChecksums(ours), pictures);
  EXPECT_EQ(AudioChecksums(ours), AudioChecksums(tool));
  EXPECT_NEAR(ProbeDuration(ours), 3.0, 0.11);
}

TEST_F(TranscodeJoin, InputsWithDifferentStreamsCannotBeJoined) {
  const std::string silent = testsupport::Fixture(
      "join-silent.mkv", "ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=160x120:rate=10:duration=1 "
                         "-c:v ffv1 -f matroska {out}");
  TCustomFFmpeg task;
  ASSERT_GE(OpenInput(task, Part(0)), 0);
  ASSERT_GE(OpenInput(task, silent), 0);
  const std::string out = Dir + "/refused.mkv";
  TScopedContext ctx(task);
  EXPECT_EQ(task.OpenOutputFile(ctx.C, " -y -f matroska", true, UTF8Decode(out), ""), -1);
  EXPECT_EQ(task.LastErrorMessage, "Cannot join files with diffrent steams state");
  EXPECT_FALSE(task.Joined);
  EXPECT_TRUE(task.OutputFiles.empty());
  EXPECT_TRUE(task.OutputStreams.empty());
  EXPECT_FALSE(testsupport::Run("test -e " + testsupport::ShellQuote(out)) == 0) << "the empty output stays";
}

}  // namespace
