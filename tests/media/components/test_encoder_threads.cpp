// Tasks running side by side share the cores: five parallel tasks must not each start a codec
// and filter thread per core.
#include <gtest/gtest.h>

#include <dirent.h>

#include <atomic>
#include <thread>

#include "platform/rtl/sysprobe.h"
#include "tests/media/components/test_encoder_support.h"

using namespace encodertest;

namespace {

int ThreadsOfThisProcess() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') ++n;
    closedir(d);
  }
  return n;
}

// Two seconds of H.264, so the decoders use frame threads, with a filter chain and JPEG output.
std::string H264Clip() {
  return testsupport::Fixture("encoder-threads-h264.mp4",
                              "ffmpeg -hide_banner -loglevel error -y -f lavfi -i "
                              "testsrc2=size=640x360:rate=25:duration=2 -c:v libx264 -preset ultrafast "
                              "-pix_fmt yuv420p {out}");
}

TEST(EncoderThreads, ParallelTasksShareTheCoresAndStillWriteEveryImage) {
  LoadFFmpegForTest();
  const std::string input = H264Clip();
  const std::string dir = testsupport::MakeTempDir("enc-threads");
  constexpr int kTasks = 5;
  TFFEncoder encoder(nullptr);
  encoder.TriggerEventInMainThread = false;
  for (int i = 0; i < kTasks; ++i) {
    TInputOptions in;
    InitInputOptions(in);
    const int index = encoder.AddTask(UTF8Decode(input), &in);
    ASSERT_GE(index, 0) << encoder.LastErrorMessage;
    TOutputOptions out;
    InitOutputOptions(out);
    out.Options = " -y -q:v 0 -f image2 -vf hflip";
    const std::string name = dir + Format("/t%d-%%d.jpg", i);
    ASSERT_GE(encoder.SetOutput(index, UTF8Decode(name), &out), 0) << encoder.LastErrorMessage;
  }
  std::atomic<bool> done{false};
  std::atomic<int> failed{0};
  encoder.OnTerminate = [&](TObject*, const TTerminateInfo& Info) {
    if (Info.TaskIndex == -1)
      done = true;
    else if (!Info.Finished)
      ++failed;
  };
  const int before = ThreadsOfThisProcess();
  std::atomic<int> peak{before};
  std::thread sampler([&] {
    while (!done) {
      peak = std::max(peak.load(), ThreadsOfThisProcess());
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  encoder.StartTask(kTasks);
  const bool ended = ServeUntil([&] { return done.load(); }, 120000);
  done = true;
  sampler.join();
  ASSERT_TRUE(ended);
  EXPECT_EQ(failed, 0);
  // Each task: its worker, the thread that encodes and writes its pictures beside it, and a
  // decoder, a filter graph and an encoder with a share of the cores each. A thread per core for
  // each of them would be several per core in all.
  const int share = (ProcessorCount() + kTasks - 1) / kTasks;
  const int started = peak - before - 1;  // the sampler
  EXPECT_LE(started, kTasks * (2 + 3 * share) + 2) << "cores " << ProcessorCount();
  EXPECT_EQ(testsupport::RunOk("ls " + testsupport::ShellQuote(dir) + " | wc -l"), std::to_string(kTasks * 50) + "\n");
  testsupport::RemoveTree(dir);
}

}  // namespace
