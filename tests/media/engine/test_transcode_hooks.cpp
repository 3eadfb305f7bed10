// Hooks on the pictures and audio passing through a task: what they see, what they change, and
// when they are switched off.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/gui/bitmap.h"
#include "tests/media/engine/transcode_test_support.h"

namespace {

class TranscodeHooks : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadFFmpegForTest();
    Dir = testsupport::MakeTempDir("hooks");
  }
  void TearDown() override { testsupport::RemoveTree(Dir); }
  std::string Dir;
};

void Whiten(TBitmap* Bitmap) {
  for (int y = 0; y < Bitmap->Height(); ++y) std::memset(Bitmap->ScanLine(y), 0xFF, Bitmap->BytesPerScanline());
}

std::string Mean(const std::string& File) {
  return testsupport::RunOk("identify -format '%[fx:mean>0.99?1:0]' " + testsupport::ShellQuote(File));
}

TEST_F(TranscodeHooks, OutputHookDrawingReachesTheEncoderOnlyWhenUpdated) {
  struct TCase {
    int Bits;
    bool Update;
    const char* White;
  } cases[] = {{24, true, "1"}, {32, true, "1"}, {24, false, "0"}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Bits);
    const std::string out = Dir + "/hook-" + std::to_string(c.Bits) + (c.Update ? "u" : "n") + "-%d.png";
    TCustomFFmpeg task;
    OpenTask(task, TenSecondClip(), "", out, " -y -f image2 -vframes 1");
    task.SetHookBitsPixel(c.Bits);
    int calls = 0;
    task.VideoOutputHookProc = [&](TObject*, TTaskBitmap& Frame) {
      ++calls;
      EXPECT_EQ(Frame.FrameNumber, 1);
      Whiten(Frame.Bitmap);
      Frame.Update = c.Update;
    };
    task.Start(false);
    EXPECT_FALSE(task.ExceptionRaised) << task.ExceptionMessage;
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(Mean(Dir + "/hook-" + std::to_string(c.Bits) + (c.Update ? "u" : "n") + "-1.png"), c.White);
  }
}

TEST_F(TranscodeHooks, StopHookAndRaisingHooksAreHandledPerHook) {
  TLogCapture log;
  TCustomFFmpeg task;
  OpenTask(task, TenSecondClip(), "", Dir + "/hooks.avi", " -y -t 00:00:01.000 -c:v mpeg4");
  int stopping = 0, raising = 0, frames = 0, audio = 0;
  task.VideoInputHookProc = [&](TObject*, TTaskBitmap& Frame) {
    ++stopping;
    Frame.StopHook = true;
  };
  task.VideoOutputHookProc = [&](TObject*, TTaskBitmap&) {
    ++raising;
    throw Exception("hook broke");
  };
  task.FrameInputHookProc = [&](TObject*, const TTaskFrame& Frame) {
    ++frames;
    auto* planes = static_cast<uint8_t**>(Frame.Picture);
    EXPECT_NE(planes[0], nullptr);
    EXPECT_EQ(Frame.Width, 320);
    EXPECT_EQ(Frame.Height, 240);
  };
  task.AudioInputHookProc = [&](TObject*, const TTaskAudio& Audio) {
    ++audio;
    EXPECT_NE(Audio.Sample, nullptr);
    EXPECT_GT(Audio.Size, 0);
    EXPECT_EQ(Audio.SampleRate, 44100);
    EXPECT_EQ(Audio.Channels, 2);
  };
  task.Start(false);
  EXPECT_FALSE(task.ExceptionRaised) << task.ExceptionMessage;
  EXPECT_EQ(stopping, 1);
  EXPECT_EQ(raising, 25);
  EXPECT_GE(frames, 25);
  EXPECT_GT(audio, 0);
  EXPECT_TRUE(log.Has("Error occurs VideoHook event: hook broke"));
  EXPECT_NEAR(ProbeDuration(Dir + "/hooks.avi"), 1.0, 0.1);
}

TEST_F(TranscodeHooks, StreamCopyIsRefusedWhenFramesWouldBeNeeded) {
  TCustomFFmpeg task;
  OpenTask(task, TenSecondClip(), "", Dir + "/copy.mkv", " -y -vcodec copy");
  task.VideoOutputHookProc = [](TObject*, TTaskBitmap&) {};
  task.Start(false);
  EXPECT_TRUE(task.ExceptionRaised);
  EXPECT_EQ(task.ExceptionMessage, "-vcodec copy and VideoHook are incompatible (frames are not decoded)");
}

TEST_F(TranscodeHooks, StreamCopyWritesThePacketsUnchanged) {
  const std::string out = Dir + "/copy.mkv";
  const TRunResult r = RunTask(TenSecondClip(), "", out, " -y -c copy");
  EXPECT_TRUE(r.Finished) << r.ExceptionMessage;
  EXPECT_EQ(Probe(out, "stream=codec_name"), "mpeg4\naac");
  EXPECT_NEAR(ProbeDuration(out), 10.0, 0.1);
}

}  // namespace
