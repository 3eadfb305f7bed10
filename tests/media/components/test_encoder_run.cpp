// Task lists run by the encoder: how many run at once, the order and thread of the termination
// events, the outputs, stopping in a modal loop and destroying the encoder during a run.
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "media/components/encoder_task.h"
#include "platform/gui/forms.h"
#include "platform/gui/timers.h"
#include "platform/rtl/sync.h"
#include "tests/media/components/test_encoder_support.h"

using namespace encodertest;

namespace {

struct TRunRecord {
  std::vector<int> TaskEvents;  // TaskIndex of each event, in arrival order
  int OffMainThread = 0;
  int ListEvents = 0;
  int EventsAfterList = 0;
  bool AllFinished = true;
  bool AnyException = false;
};

void Record(TCustomEncoder& Encoder, TRunRecord& R) {
  Encoder.OnTerminate = [&R](TObject*, const TTerminateInfo& Info) {
    if (!IsMainThread()) ++R.OffMainThread;
    if (R.ListEvents > 0) ++R.EventsAfterList;
    if (Info.TaskIndex == -1) {
      ++R.ListEvents;
      return;
    }
    R.TaskEvents.push_back(Info.TaskIndex);
    R.AllFinished = R.AllFinished && Info.Finished;
    R.AnyException = R.AnyException || Info.ExceptionRaised;
  };
}

int CountRunning(TCustomEncoder& Encoder) {
  int n = 0;
  for (int i = 0; i < Encoder.TaskCount(); ++i) n += Encoder.Tasks.Items(i)->Running ? 1 : 0;
  return n;
}

struct TListCase {
  int Tasks;
  int Count;
};

class EncoderRunList : public ::testing::TestWithParam<TListCase> {};

TEST_P(EncoderRunList, AtMostCountAtOnceEveryEventThenTheListsLastAndRightOutputs) {
  LoadFFmpegForTest();
  const TListCase c = GetParam();
  const std::string input = ShortClip();
  const std::string dir = testsupport::MakeTempDir("enc-run");
  TFFEncoder encoder(nullptr);
  for (int i = 0; i < c.Tasks; ++i) AddFrameTask(encoder, input, dir, i);
  TRunRecord r;
  Record(encoder, r);
  int maxRunning = 0;
  encoder.StartTask(c.Count);
  if (c.Count <= 0) {
    // In the caller's thread: everything happened inside StartTask.
    EXPECT_EQ(r.ListEvents, 1);
  }
  ASSERT_TRUE(ServeUntil([&] { return r.ListEvents > 0 && encoder.TerminateDelivered(); }, 60000,
                         [&] { maxRunning = std::max(maxRunning, CountRunning(encoder)); }));
  CheckSynchronize(20);

  EXPECT_LE(maxRunning, std::max(c.Count, 1));
  std::vector<int> seen = r.TaskEvents;
  std::sort(seen.begin(), seen.end());
  std::vector<int> expected(static_cast<size_t>(c.Tasks));
  for (int i = 0; i < c.Tasks; ++i) expected[static_cast<size_t>(i)] = i;
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(r.ListEvents, 1);
  EXPECT_EQ(r.EventsAfterList, 0);
  EXPECT_EQ(r.OffMainThread, 0);
  EXPECT_TRUE(r.AllFinished);
  EXPECT_FALSE(r.AnyException);
  EXPECT_TRUE(encoder.Finished());

  std::string sizes;
  for (int i = 0; i < 3 * c.Tasks; ++i) sizes += "96 72\n";
  EXPECT_EQ(Identify(dir + "/t*.bmp"), sizes);
  testsupport::RemoveTree(dir);
}

INSTANTIATE_TEST_SUITE_P(Lists, EncoderRunList,
                         ::testing::Values(TListCase{1, 0}, TListCase{5, 0}, TListCase{1, 2}, TListCase{5, 2},
                                           TListCase{20, 2}, TListCase{1, 5}, TListCase{5, 5}, TListCase{20, 5}));

// Many runs of the same list: the event for the whole list never overtakes a task's event.
TEST(EncoderRunRepeat, TwentyTasksManyTimesKeepTheListEventLast) {
  LoadFFmpegForTest();
  const std::string input = ShortClip();
  const char* env = getenv("ENCODER_REPEAT");
  const int repeats = env ? atoi(env) : 20;
  const std::string dir = testsupport::MakeTempDir("enc-rep");
  TFFEncoder encoder(nullptr);
  for (int round = 0; round < repeats; ++round) {
    encoder.ClearTasks();
    for (int i = 0; i < 20; ++i) AddFrameTask(encoder, input, dir, i);
    // Events off the main thread interleave most freely.
    encoder.TriggerEventInMainThread = (round % 2) == 0;
    std::mutex lock;
    TRunRecord r;
    encoder.OnTerminate = [&](TObject*, const TTerminateInfo& Info) {
      std::lock_guard<std::mutex> guard(lock);
      if (r.ListEvents > 0) ++r.EventsAfterList;
      if (Info.TaskIndex == -1)
        ++r.ListEvents;
      else
        r.TaskEvents.push_back(Info.TaskIndex);
    };
    encoder.StartTask(5);
    ASSERT_TRUE(ServeUntil(
        [&] {
          std::lock_guard<std::mutex> guard(lock);
          return r.ListEvents > 0;
        },
        60000));
    CheckSynchronize(20);
    std::lock_guard<std::mutex> guard(lock);
    EXPECT_EQ(r.TaskEvents.size(), 20u) << "round " << round;
    EXPECT_EQ(r.ListEvents, 1) << "round " << round;
    EXPECT_EQ(r.EventsAfterList, 0) << "round " << round;
  }
  testsupport::RemoveTree(dir);
}

// A frame loop frees and asks again for buffers of one size. Once an encoder exists and has run a
// list, such a buffer must come back from the allocator's pool: a fresh mapping for each one is a
// munmap and a page fault per 4 KB on every frame of every run.
TEST(EncoderMemory, AFrameSizedBufferFreedAndAskedForAgainIsReusedNotMappedAfresh) {
  LoadFFmpegForTest();
  const std::string input = ShortClip();
  const std::string dir = testsupport::MakeTempDir("enc-mem");
  TFFEncoder encoder(nullptr);
  for (int i = 0; i < 2; ++i) AddFrameTask(encoder, input, dir, i);
  bool ended = false;
  encoder.OnTerminate = [&](TObject*, const TTerminateInfo& Info) { ended = ended || Info.TaskIndex == -1; };
  encoder.StartTask(2);
  ASSERT_TRUE(ServeUntil([&] { return ended && encoder.TerminateDelivered(); }, 60000));

  constexpr size_t FrameBytes = 1920 * 1080 * 4;  // one 32-bit 1080p picture
  auto frame = [] {
    void* p = std::malloc(FrameBytes);
    std::memset(p, 1, FrameBytes);
    asm volatile("" : : "r"(p) : "memory");  // a real allocation, not one the compiler may drop
    return p;
  };
  std::free(frame());
  const size_t mappedBefore = mallinfo2().hblks;
  void* again = frame();
  EXPECT_EQ(mallinfo2().hblks, mappedBefore) << "the second frame-sized buffer got a mapping of its own";
  std::free(again);
  testsupport::RemoveTree(dir);
}

// The application's Cancel button: Stop(True) while the run's dialog is modal. A termination
// handler that calls Stop(True) again while the first one waits must not disturb it.
TEST(EncoderStop, StopWithWaitInAModalLoopStartsNoWaitingTaskAndEndsTheList) {
  LoadFFmpegForTest();
  const std::string input = LongClip();
  const std::string dir = testsupport::MakeTempDir("enc-stop");
  TFFEncoder encoder(nullptr);
  for (int i = 0; i < 5; ++i) AddFrameTask(encoder, input, dir, i, "-re");
  TRunRecord r;
  std::vector<TTerminateInfo> infos;
  bool stopReturned = false;
  int nestedStops = 0;
  TForm dialog(nullptr);
  encoder.OnTerminate = [&](TObject*, const TTerminateInfo& Info) {
    if (!IsMainThread()) ++r.OffMainThread;
    if (Info.TaskIndex == -1) {
      ++r.ListEvents;
      dialog.SetModalResult(mrOk);
      return;
    }
    infos.push_back(Info);
    if (!stopReturned) {
      ++nestedStops;
      encoder.Stop(true);
    }
  };
  TTimer timer(nullptr);
  timer.SetInterval(300);
  timer.OnTimer = [&](TObject*) {
    timer.SetEnabled(false);
    EXPECT_EQ(CountRunning(encoder), 2);
    encoder.Stop(true);
    stopReturned = true;
    EXPECT_EQ(CountRunning(encoder), 0);
  };
  encoder.StartTask(2);
  timer.SetEnabled(true);
  dialog.ShowModal();

  EXPECT_TRUE(stopReturned);
  EXPECT_EQ(r.ListEvents, 1);
  EXPECT_EQ(r.OffMainThread, 0);
  ASSERT_EQ(infos.size(), 5u);
  for (const TTerminateInfo& info : infos) {
    EXPECT_FALSE(info.Finished) << info.TaskIndex;
    EXPECT_FALSE(info.ExceptionRaised) << info.ExceptionMessage;
  }
  for (int i = 2; i < 5; ++i) EXPECT_FALSE(encoder.Tasks.Items(i)->StartRequested) << i;
  RecordProperty("nested_stops", nestedStops);
  EXPECT_TRUE(encoder.Finished());
  encoder.ClearTasks();
  EXPECT_FALSE(encoder.Working());
  testsupport::RemoveTree(dir);
}

TEST(EncoderDestroy, DestroyingDuringARunStopsEverythingAndCallsNoHandlerAfterwards) {
  LoadFFmpegForTest();
  const std::string input = LongClip();
  const std::string dir = testsupport::MakeTempDir("enc-destroy");
  for (const bool inMain : {true, false}) {
    auto encoder = std::make_unique<TFFEncoder>(nullptr);
    for (int i = 0; i < 5; ++i) AddFrameTask(*encoder, input, dir, i, "-re");
    std::atomic<bool> destroyed{false};
    std::atomic<int> lateCalls{0};
    std::atomic<int> progress{0};
    encoder->TriggerEventInMainThread = inMain;
    encoder->SetProgressInterval(100);
    encoder->OnProgress = [&](TObject*, PProgressInfo) {
      if (destroyed) ++lateCalls;
      ++progress;
    };
    encoder->OnTerminate = [&](TObject*, const TTerminateInfo&) {
      if (destroyed) ++lateCalls;
    };
    encoder->StartTask(3);
    ServeUntil([&] { return progress >= 3; }, 5000);
    encoder.reset();
    destroyed = true;
    ServeUntil([] { return false; }, 300);
    EXPECT_EQ(lateCalls, 0) << "in main thread: " << inMain;
  }
  testsupport::RemoveTree(dir);
}

}  // namespace
