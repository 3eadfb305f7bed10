#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/mainthread.h"
#include "platform/rtl/sync.h"
#include "platform/rtl/threads.h"

namespace {

using Clock = std::chrono::steady_clock;

// A thread whose work is a function, started by its creator.
class TLambdaThread : public TThread {
 public:
  explicit TLambdaThread(std::function<void(TLambdaThread&)> body) : TThread(true), Body(std::move(body)) {}
  ~TLambdaThread() override {
    // Execute uses Body: stop before it goes.
    Terminate();
    if (!Suspended() && !FreeOnTerminate) WaitFor();
    if (Destroyed) {
      *Destroyed = true;
      // A main thread waiting for this in ServeMainThreadUntil looks again only when woken.
      WakeMainThreadWaiters();
    }
  }

  using TThread::ReturnValue;
  using TThread::Synchronize;
  std::atomic<bool>* Destroyed = nullptr;

 protected:
  void Execute() override { Body(*this); }

 private:
  std::function<void(TLambdaThread&)> Body;
};

bool Eventually(const std::function<bool()>& done) {
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (Clock::now() > deadline) return false;
    Sleep(1);
  }
  return true;
}

TEST(Thread, WaitForOnTheMainThreadServesTheWorkersHandOvers) {
  std::vector<DWORD> callThreads;
  DWORD terminateThread = 0;
  TObject* terminateSender = nullptr;
  DWORD idInside = 0;
  TThread* currentInside = nullptr;

  TLambdaThread thread([&](TLambdaThread& self) {
    idInside = GetCurrentThreadId();
    currentInside = TThread::CurrentThread();
    for (int i = 0; i < 100; ++i) self.Synchronize([&] { callThreads.push_back(GetCurrentThreadId()); });
    self.ReturnValue = 42;
  });
  thread.OnTerminate = [&](TObject* Sender) {
    terminateThread = GetCurrentThreadId();
    terminateSender = Sender;
  };
  EXPECT_TRUE(thread.Suspended());
  EXPECT_EQ(thread.ThreadID(), 0u);
  thread.Start();
  EXPECT_NE(thread.ThreadID(), 0u);

  EXPECT_EQ(thread.WaitFor(), 42);
  EXPECT_TRUE(thread.Finished());
  EXPECT_EQ(thread.FatalException(), nullptr);
  ASSERT_EQ(callThreads.size(), 100u);
  for (DWORD id : callThreads) EXPECT_EQ(id, MainThreadID);
  EXPECT_EQ(terminateThread, MainThreadID);
  EXPECT_EQ(terminateSender, &thread);
  EXPECT_EQ(idInside, thread.ThreadID());
  EXPECT_NE(idInside, MainThreadID);
  EXPECT_EQ(currentInside, &thread);
  EXPECT_EQ(TThread::CurrentThread(), nullptr);
}

TEST(Thread, FreeOnTerminateDeletesAfterOnTerminate) {
  std::atomic<bool> destroyed{false};
  bool terminatedFirst = false;
  auto* thread = new TLambdaThread([](TLambdaThread&) {});
  thread->Destroyed = &destroyed;
  thread->FreeOnTerminate = true;
  thread->OnTerminate = [&](TObject*) { terminatedFirst = !destroyed; };
  EXPECT_THROW(thread->WaitFor(), EThread);  // it would wait on an object that deletes itself
  thread->Start();
  EXPECT_TRUE(ServeMainThreadUntil([&] { return destroyed.load(); }, 10000));
  EXPECT_TRUE(terminatedFirst);
}

TEST(Thread, ExceptionLeavingExecuteIsKept) {
  TLambdaThread typed([](TLambdaThread&) { throw EConvertError("'x' is not a valid integer value"); });
  typed.Start();
  typed.WaitFor();
  ASSERT_NE(typed.FatalException(), nullptr);
  try {
    std::rethrow_exception(typed.FatalException());
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message, "'x' is not a valid integer value");
  }

  TLambdaThread foreign([](TLambdaThread&) { throw 7; });
  foreign.Start();
  foreign.WaitFor();
  EXPECT_NE(foreign.FatalException(), nullptr);
  EXPECT_TRUE(foreign.Finished());
}

// Relies on the base destructor alone to stop it. Its Execute touches no member, since the
// derived part is gone by the time the base destructor asks it to stop.
std::atomic<bool> SpinnerEntered{false};
std::atomic<bool> SpinnerLeft{false};

class TSpinUntilTerminated : public TThread {
 public:
  TSpinUntilTerminated() : TThread(true) { Start(); }

 protected:
  void Execute() override {
    SpinnerEntered = true;
    while (!Terminated()) Sleep(1);
    Sleep(20);  // a slow way out: the destructor must still wait for it
    SpinnerLeft = true;
  }
};

class TStartsInBaseConstructor : public TThread {
 public:
  TStartsInBaseConstructor() : TThread(false) {}

 protected:
  void Execute() override {}
};

TEST(Thread, DestroyingARunningThreadJoinsIt) {
  SpinnerEntered = false;
  SpinnerLeft = false;
  auto* thread = new TSpinUntilTerminated;
  EXPECT_FALSE(thread->Suspended());
  ASSERT_TRUE(Eventually([] { return SpinnerEntered.load(); }));
  delete thread;
  EXPECT_TRUE(SpinnerLeft.load());

  // One that never started is simply freed.
  bool ran = false;
  delete new TLambdaThread([&](TLambdaThread&) { ran = true; });
  EXPECT_FALSE(ran);
}

TEST(Thread, TerminatedBeforeStartSkipsExecuteButStillEnds) {
  bool ran = false;
  bool terminated = false;
  TLambdaThread thread([&](TLambdaThread&) { ran = true; });
  thread.OnTerminate = [&](TObject*) { terminated = true; };
  thread.Terminate();
  thread.Resume();
  thread.WaitFor();
  EXPECT_FALSE(ran);
  EXPECT_TRUE(terminated);
  thread.Resume();  // nothing for a thread that has run
}

TEST(Thread, MisuseRaisesEThread) {
  EXPECT_THROW(TStartsInBaseConstructor{}, EThread);

  TLambdaThread idle([](TLambdaThread&) {});
  EXPECT_THROW(idle.WaitFor(), EThread);

  TLambdaThread done([](TLambdaThread&) {});
  done.Start();
  done.WaitFor();
  EXPECT_THROW(done.Start(), EThread);

  std::string selfWait;
  TLambdaThread self([&](TLambdaThread& me) {
    try {
      me.WaitFor();
    } catch (const EThread& e) {
      selfWait = e.Message;
    }
  });
  self.Start();
  self.WaitFor();
  EXPECT_FALSE(selfWait.empty());
}

TEST(Thread, PriorityBecomesTheThreadsNiceValue) {
  int niceInside = -100;
  TLambdaThread thread([&](TLambdaThread&) {
    errno = 0;
    niceInside = ::getpriority(PRIO_PROCESS, 0);
  });
  thread.SetPriority(tpIdle);
  thread.Start();
  thread.WaitFor();
  EXPECT_EQ(thread.Priority(), tpIdle);
  EXPECT_EQ(niceInside, 19);
}

// ---- identity ----

TEST(ThreadIdentity, KernelIdsAndTheMainThread) {
  EXPECT_EQ(GetCurrentThreadId(), static_cast<DWORD>(::syscall(SYS_gettid)));
  EXPECT_TRUE(IsMainThread());
  DWORD other = 0;
  bool otherIsMain = true;
  std::thread t([&] {
    other = GetCurrentThreadId();
    otherIsMain = IsMainThread();
  });
  t.join();
  EXPECT_NE(other, MainThreadID);
  EXPECT_FALSE(otherIsMain);
}

// ---- events ----

TEST(Event, ManualAndAutoResetTable) {
  struct Case {
    bool manual, initial;
    bool setFirst;
    TWaitResult first, second;
  };
  const Case cases[] = {
      {true, false, false, wrTimeout, wrTimeout},
      {true, true, false, wrSignaled, wrSignaled},    // stays signalled
      {true, false, true, wrSignaled, wrSignaled},
      {false, false, false, wrTimeout, wrTimeout},
      {false, true, false, wrSignaled, wrTimeout},    // one wait consumes it
      {false, false, true, wrSignaled, wrTimeout},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "manual " << c.manual << " initial " << c.initial << " set " << c.setFirst);
    TEvent event(c.manual, c.initial);
    if (c.setFirst) event.SetEvent();
    EXPECT_EQ(event.WaitFor(0), c.first);
    EXPECT_EQ(event.WaitFor(0), c.second);
    event.SetEvent();
    event.ResetEvent();
    EXPECT_EQ(event.WaitFor(0), wrTimeout);
  }
  TEvent simple;  // manual reset, not signalled
  EXPECT_EQ(simple.WaitFor(0), wrTimeout);
}

TEST(Event, TimedWaits) {
  TEvent event(false, false);
  auto t0 = Clock::now();
  EXPECT_EQ(event.WaitFor(30), wrTimeout);
  EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(25));

  std::thread setter([&] {
    Sleep(15);
    event.SetEvent();
  });
  t0 = Clock::now();
  EXPECT_EQ(event.WaitFor(INFINITE), wrSignaled);
  EXPECT_LT(Clock::now() - t0, std::chrono::seconds(5));
  setter.join();
}

TEST(Event, SetReleasesAllWaitersOrOne) {
  for (bool manual : {true, false}) {
    SCOPED_TRACE(manual ? "manual" : "auto");
    TEvent event(manual, false);
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
      waiters.emplace_back([&] {
        event.WaitFor(INFINITE);
        ++woken;
      });
    Sleep(20);
    event.SetEvent();
    if (manual) {
      EXPECT_TRUE(Eventually([&] { return woken.load() == 3; }));
    } else {
      EXPECT_TRUE(Eventually([&] { return woken.load() >= 1; }));
      Sleep(30);
      EXPECT_EQ(woken.load(), 1);
      // Signals set while no waiter has taken the last one merge, so keep signalling.
      EXPECT_TRUE(Eventually([&] {
        if (woken.load() < 3) event.SetEvent();
        return woken.load() == 3;
      }));
    }
    for (auto& t : waiters) t.join();
  }
}

// ---- locks ----

TEST(CriticalSection, ReentersAndExcludesOtherThreads) {
  TCriticalSection cs;
  auto otherCanEnter = [&] {
    bool entered = false;
    std::thread t([&] {
      entered = cs.TryEnter();
      if (entered) cs.Leave();
    });
    t.join();
    return entered;
  };
  cs.Enter();
  cs.Acquire();
  EXPECT_TRUE(cs.TryEnter());
  EXPECT_FALSE(otherCanEnter());
  cs.Leave();
  cs.Release();
  EXPECT_FALSE(otherCanEnter());
  cs.Leave();
  EXPECT_TRUE(otherCanEnter());

  long counter = 0;
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i)
    threads.emplace_back([&] {
      for (int n = 0; n < 20000; ++n) {
        cs.Enter();
        ++counter;
        cs.Leave();
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 80000);
}

TEST(Mutex, OwnedReentrantAndTimed) {
  TMutex mutex;
  mutex.Acquire();
  EXPECT_EQ(mutex.WaitFor(0), wrSignaled);  // the owner again

  TWaitResult otherWait = wrError;
  bool releaseFailed = false;
  std::thread t([&] {
    otherWait = mutex.WaitFor(20);
    try {
      mutex.Release();
    } catch (const EOSError&) {
      releaseFailed = true;
    }
  });
  t.join();
  EXPECT_EQ(otherWait, wrTimeout);
  EXPECT_TRUE(releaseFailed);

  mutex.Release();
  mutex.Release();
  EXPECT_THROW(mutex.Release(), EOSError);
  std::thread u([&] {
    otherWait = mutex.WaitFor(1000);
    mutex.Release();
  });
  u.join();
  EXPECT_EQ(otherWait, wrSignaled);
}

}  // namespace
