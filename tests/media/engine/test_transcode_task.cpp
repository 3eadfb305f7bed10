// The task object around the transcode: refused starts, worker threads, stopping, cancelling,
// and the progress records a run sends.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "media/binding/entry_points.h"
#include "tests/media/engine/transcode_test_support.h"

namespace {

class TranscodeTask : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadFFmpegForTest();
    Dir = testsupport::MakeTempDir("task");
  }
  void TearDown() override { testsupport::RemoveTree(Dir); }
  std::string Dir;
};

// An endless source: only a stop ends a task that reads it.
const char* const EndlessSource = "testsrc2=size=640x480:rate=25";

TEST_F(TranscodeTask, StartWithoutOutputOrInputIsRefusedAndTerminatesAtOnce) {
  struct TCase {
    bool WithInput, WithOutput;
    const char* Message;
  } cases[] = {{true, false, "At least one output file must be specified"},
               {false, true, "At least one input file must be specified"}};
  for (const TCase& c : cases) {
    TCustomFFmpeg task;
    if (c.WithInput) {
      ASSERT_GE(OpenInput(task, TenSecondClip()), 0) << task.LastErrorMessage;
    }
    if (c.WithOutput) {
      ASSERT_GE(OpenOutput(task, Dir + "/none.mkv", " -y"), 0) << task.LastErrorMessage;
    }
    AnsiString seen;
    int calls = 0;
    task.TerminateProc = [&](TObject*) {
      ++calls;
      seen = task.ExceptionMessage;
    };
    EXPECT_EQ(task.Start(true), nullptr);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seen, c.Message);
    EXPECT_TRUE(task.ExceptionRaised);
    EXPECT_TRUE(task.Ended);
    // An ended task does not start again.
    EXPECT_EQ(task.Start(true), nullptr);
    EXPECT_EQ(calls, 1);
  }
}

TEST_F(TranscodeTask, StopInTheMiddleLeavesAPlayableFileAndNoError) {
  const std::string out = Dir + "/stopped.mp4";
  TCustomFFmpeg task;
  OpenTask(task, EndlessSource, " -f lavfi", out, " -y -t 00:10:00.000 -c:v mpeg4 -q:v 0");
  std::atomic<int> reports{0};
  task.ProgressInterval = 100000;
  task.ProgressProc = [&](TObject*, const TTaskProgress&) { ++reports; };
  std::atomic<bool> terminated{false};
  task.TerminateProc = [&](TObject*) { terminated = true; };
  TConvertThread* worker = task.Start(true);
  ASSERT_NE(worker, nullptr);
  worker->Start();
  for (int i = 0; i < 500 && reports < 3; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_GE(reports.load(), 3);
  task.Stop(true);
  EXPECT_TRUE(terminated);
  EXPECT_FALSE(task.Finished);
  EXPECT_FALSE(task.ExceptionRaised) << task.ExceptionMessage;
  EXPECT_GT(ProbeDuration(out), 0.1);
  EXPECT_EQ(Probe(out, "stream=codec_name", "v:0"), "mpeg4");
}

TEST_F(TranscodeTask, StopWithWaitStartsAWorkerThatWasNeverResumed) {
  TCustomFFmpeg task;
  OpenTask(task, TenSecondClip(), "", Dir + "/never.mkv", " -y");
  std::atomic<bool> terminated{false};
  task.TerminateProc = [&](TObject*) { terminated = true; };
  ASSERT_NE(task.Start(true), nullptr);
  task.Stop(true);
  EXPECT_TRUE(terminated);
  EXPECT_TRUE(task.Ended);
  EXPECT_FALSE(task.Finished);
}

TEST_F(TranscodeTask, DestroyingARunningTaskJoinsItsWorker) {
  std::atomic<bool> terminated{false};
  {
    TCustomFFmpeg task;
    OpenTask(task, EndlessSource, " -f lavfi", Dir + "/gone.mkv", " -y -c:v mpeg4");
    task.TerminateProc = [&](TObject*) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      terminated = true;
    };
    task.Start(true)->Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  EXPECT_TRUE(terminated);
}

TEST_F(TranscodeTask, CancelOfATaskNeverStartedTerminatesInAThreadOfItsOwn) {
  TCustomFFmpeg task;
  OpenTask(task, TenSecondClip(), "", Dir + "/cancelled.mkv", " -y");
  std::atomic<DWORD> thread{0};
  task.TerminateProc = [&](TObject*) { thread = GetCurrentThreadId(); };
  task.Cancel(true);
  EXPECT_NE(thread.load(), 0u);
  EXPECT_NE(thread.load(), GetCurrentThreadId());
  EXPECT_TRUE(task.Ended);
  EXPECT_FALSE(task.Finished);
}

struct TRecord {
  int FileIndex;
  int FrameNumber;
  Int64 TotalSize;
  float BitRate;
  Int64 At;
};

TEST_F(TranscodeTask, ProgressRecordsKeepTheirIntervalAndEndWithTheLastOne) {
  const std::string out = Dir + "/progress.avi";
  const std::string script = Dir + "/progress.txt";
  TCustomFFmpeg task;
  // The source runs at its own speed, so the run spans several intervals.
  OpenTask(task, TenSecondClip(), " -re -ss 00:00:08.000", out,
           AnsiString(" -y -c:v mpeg4 -progress ") + script.c_str());
  task.ProgressInterval = 200000;
  std::vector<TRecord> records;
  const Int64 started = ff::av_gettime();
  task.ProgressProc = [&](TObject*, const TTaskProgress& P) {
    records.push_back({P.FileIndex, P.FrameNumber, P.TotalSize, P.BitRate, ff::av_gettime()});
  };
  task.Start(false);
  ASSERT_GE(records.size(), 3u);
  // None on the first step: the first record comes an interval after the loop started.
  EXPECT_GE(records[0].At - started, task.ProgressInterval);
  // The callback's own clock includes delivery jitter (a busy machine can delay one record by
  // tens of milliseconds), so gaps are checked with half an interval of slack, and the count of
  // records must fit the run's length at one per interval.
  for (size_t i = 0; i + 1 < records.size(); ++i) {
    EXPECT_EQ(records[i].FileIndex, 0);
    if (i > 0) {
      EXPECT_GE(records[i].At - records[i - 1].At, task.ProgressInterval / 2);
    }
  }
  const Int64 elapsed = records.back().At - started;
  EXPECT_LE(static_cast<Int64>(records.size() - 1), elapsed / task.ProgressInterval + 1);
  EXPECT_EQ(records.back().FileIndex, -1);
  EXPECT_EQ(records.back().FrameNumber, 50);
  EXPECT_GT(records.back().TotalSize, 0);

  std::ifstream in(script);
  std::stringstream text;
  text << in.rdbuf();
  const std::string s = text.str();
  ASSERT_GE(s.size(), 13u);
  EXPECT_EQ(s.substr(s.size() - 13), "progress=end\n");
}

TEST_F(TranscodeTask, ImageSequenceProgressHasNoSizeInsteadOfAWrongOne) {
  TCustomFFmpeg task;
  OpenTask(task, TenSecondClip(), " -ss 00:00:00.000", Dir + "/seq-%d.jpg", " -y -q:v 0 -f image2 -t 00:00:01.000");
  std::vector<TRecord> records;
  task.ProgressProc = [&](TObject*, const TTaskProgress& P) {
    records.push_back({P.FileIndex, P.FrameNumber, P.TotalSize, P.BitRate, 0});
  };
  task.Start(false);
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records.back().FileIndex, -1);
  EXPECT_EQ(records.back().FrameNumber, 25);
  EXPECT_EQ(records.back().TotalSize, 0);
  EXPECT_LT(records.back().BitRate, 0.0f);
}

TEST_F(TranscodeTask, AWriteFailureIsReportedAsAFailure) {
  // A device that takes no data makes the writes fail; the task must not delete it either.
  const std::string full = Dir + "/full";
  testsupport::RunOk("mknod " + testsupport::ShellQuote(full) + " c 1 7");
  TCustomFFmpeg task;
  OpenTask(task, TenSecondClip(), "", full, " -y -f matroska -c:v mpeg4");
  bool finished = true;
  AnsiString message;
  task.TerminateProc = [&](TObject*) {
    finished = task.Finished;
    message = task.ExceptionMessage;
  };
  task.Start(false);
  EXPECT_FALSE(finished);
  EXPECT_TRUE(task.ExceptionRaised);
  EXPECT_FALSE(message.empty());
  EXPECT_EQ(testsupport::RunOk("stat -c %F " + testsupport::ShellQuote(full)), "character special file\n");
}

}  // namespace
