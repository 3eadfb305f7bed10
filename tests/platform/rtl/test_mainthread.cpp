#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/mainthread.h"
#include "platform/rtl/sync.h"

namespace {

class EHandOverProbe : public Exception {
  using Exception::Exception;
};

// Lets a worker's posted call reach the main thread even if a test fails half-way.
void DrainUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done() && std::chrono::steady_clock::now() < deadline) CheckSynchronize(5);
}

TEST(MainThreadHandOver, ManyWorkersRunEveryCallOnTheMainThread) {
  constexpr int Workers = 8;
  constexpr int CallsEach = 250;
  // Touched only by the posted calls: if two ran at once, or off the main thread, counts break.
  long ranOnMain = 0;
  long ranElsewhere = 0;
  std::atomic<int> finishedWorkers{0};
  std::atomic<int> wrongErrors{0};
  std::atomic<int> missingErrors{0};

  std::vector<std::thread> threads;
  for (int w = 0; w < Workers; ++w) {
    threads.emplace_back([&, w] {
      for (int i = 0; i < CallsEach; ++i) {
        const bool fail = i % 25 == 7;
        const std::string expected = "call " + std::to_string(i) + " of worker " + std::to_string(w);
        try {
          Synchronize([&] {
            if (GetCurrentThreadId() == MainThreadID)
              ++ranOnMain;
            else
              ++ranElsewhere;
            if (fail) throw EHandOverProbe(expected);
          });
          if (fail) ++missingErrors;
        } catch (const EHandOverProbe& e) {
          if (!fail || e.Message != expected) ++wrongErrors;
        } catch (...) {
          ++wrongErrors;
        }
      }
      ++finishedWorkers;
    });
  }
  // The main thread's own loop: drain, with short waits, until every worker is through.
  DrainUntil([&] { return finishedWorkers.load() == Workers; });
  for (auto& t : threads) t.join();

  EXPECT_EQ(ranOnMain, Workers * CallsEach);
  EXPECT_EQ(ranElsewhere, 0);
  EXPECT_EQ(wrongErrors.load(), 0);
  EXPECT_EQ(missingErrors.load(), 0);
  EXPECT_FALSE(MainThreadWorkPending());
}

TEST(MainThreadHandOver, OnTheMainThreadTheCallRunsAtOnce) {
  bool ran = false;
  RunInMainThread([&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_THROW(Synchronize([] { throw EConvertError("direct"); }), EConvertError);
}

TEST(MainThreadHandOver, CheckSynchronizeWaitsForWorkAndWakesTheLoop) {
  std::atomic<int> wakes{0};
  const auto previousHook = WakeMainThread;  // the GUI layer's, when it has one
  WakeMainThread = [&] {
    ++wakes;
    if (previousHook) previousHook();
  };

  // Nothing posted: returns false, after the time-out.
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(CheckSynchronize(30));
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(25));

  // A call posted during the wait ends the wait at once.
  std::atomic<bool> done{false};
  std::thread worker([&] {
    Sleep(20);
    Synchronize([] {});
    done = true;
  });
  const auto t1 = std::chrono::steady_clock::now();
  EXPECT_TRUE(CheckSynchronize(5000));
  EXPECT_LT(std::chrono::steady_clock::now() - t1, std::chrono::seconds(2));
  worker.join();
  EXPECT_TRUE(done.load());
  WakeMainThread = previousHook;
  EXPECT_EQ(wakes.load(), 1);
}

TEST(MainThreadHandOver, OnlyTheMainThreadMayDrain) {
  std::string message;
  std::thread worker([&] {
    try {
      CheckSynchronize();
    } catch (const EThread& e) {
      message = e.Message;
    }
  });
  worker.join();
  EXPECT_NE(message.find("not the main thread"), std::string::npos) << message;
}

// A queued call does not hold its poster: it runs later on the main thread, in order with the
// synchronous hand-overs, and the calls of a tag that goes away are dropped before they run.
TEST(MainThreadHandOver, QueuedCallsRunLaterInOrderAndCanBeWithdrawn) {
  std::vector<std::string> ran;  // touched on the main thread only
  int keepTag = 0, dropTag = 0;
  std::atomic<bool> posted{false}, synchronized{false};
  const auto previousHook = QueuedCallFailed;
  std::string failure;
  QueuedCallFailed = [&] {
    try {
      throw;
    } catch (const Exception& e) {
      failure = e.Message;
    }
  };
  std::thread worker([&] {
    QueueInMainThread([&] { ran.push_back(IsMainThread() ? "first" : "first-off-main"); }, &keepTag);
    QueueInMainThread([&] { ran.push_back("dropped"); }, &dropTag);
    posted = true;  // the queued calls have not run: the worker did not wait for them
    Synchronize([&] { ran.push_back("sync"); });
    QueueInMainThread([&] { throw EHandOverProbe("nobody waits for this"); });
    QueueInMainThread([&] { ran.push_back("after-failure"); }, &keepTag);
    synchronized = true;
  });
  while (!posted) Sleep(1);  // not draining: both calls must still be waiting
  RemoveQueuedEvents(&dropTag);
  DrainUntil([&] { return synchronized.load() && !MainThreadWorkPending(); });
  worker.join();
  while (CheckSynchronize()) {
  }
  QueuedCallFailed = previousHook;
  EXPECT_EQ(ran, (std::vector<std::string>{"first", "sync", "after-failure"}));
  EXPECT_EQ(failure, "nobody waits for this");
}

// In a child process: the queue cannot be reopened. Exits 0 when the shutdown behaved.
void ShutDownWithACallWaiting() {
  std::string waitingError, laterError;
  bool waitingRan = false;
  std::thread waiting([&] {
    try {
      Synchronize([&] { waitingRan = true; });
    } catch (const EThread& e) {
      waitingError = e.Message;
    }
  });
  while (!MainThreadWorkPending()) Sleep(1);
  ShutdownMainThreadQueue();
  waiting.join();
  std::thread later([&] {
    try {
      Synchronize([] {});
    } catch (const EThread& e) {
      laterError = e.Message;
    }
  });
  later.join();
  const bool ok = !waitingRan && waitingError == "Main thread queue is closed" &&
                  laterError == "Main thread queue is closed" && !CheckSynchronize();
  std::exit(ok ? 0 : 1);
}

TEST(MainThreadHandOverDeathTest, ShutdownFailsWaitingAndLaterCalls) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(ShutDownWithACallWaiting(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
