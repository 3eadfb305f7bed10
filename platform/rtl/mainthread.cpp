#include "platform/rtl/mainthread.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/sync.h"

std::function<void()> WakeMainThread;
std::function<void()> QueuedCallFailed;

namespace {

const char* const QueueClosedText = "Main thread queue is closed";

struct PostedCall {
  TThreadMethod Method;
  bool Done = false;
  std::exception_ptr Error;
  // Queued calls have nobody waiting for them; Tag is what RemoveQueuedEvents matches.
  bool Queued = false;
  const void* Tag = nullptr;
};

struct CallQueue {
  std::mutex Lock;
  // The main thread sleeps on this one: a call arrived, or a waiter's condition may have changed.
  std::condition_variable Wake;
  // Posting threads sleep on this one until their call is done.
  std::condition_variable CallDone;
  std::deque<std::shared_ptr<PostedCall>> Pending;
  bool Closed = false;
};

// Never destroyed: a worker may still be blocked in it while the process exits.
CallQueue& Queue() {
  static CallQueue* const q = new CallQueue;
  return *q;
}

void RequireMainThread(const char* operation) {
  if (IsMainThread()) return;
  char text[160];
  std::snprintf(text, sizeof text, "%s called from thread %X, which is not the main thread", operation,
                static_cast<unsigned>(GetCurrentThreadId()));
  throw EThread(text);
}

bool WaitOn(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
            std::chrono::steady_clock::time_point deadline, bool infinite,
            const std::function<bool()>& ready) {
  if (infinite) {
    cv.wait(lock, ready);
    return true;
  }
  return cv.wait_until(lock, deadline, ready);
}

std::chrono::steady_clock::time_point DeadlineAfter(Cardinal ms) {
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

// Puts the call in the queue and wakes the main thread; False when the queue is closed.
bool Post(const std::shared_ptr<PostedCall>& call) {
  CallQueue& q = Queue();
  {
    std::lock_guard<std::mutex> guard(q.Lock);
    if (q.Closed) return false;
    q.Pending.push_back(call);
  }
  q.Wake.notify_all();
  if (WakeMainThread) {
    // Waking is a courtesy to a sleeping event loop; the call is queued either way and runs at
    // the main thread's next CheckSynchronize.
    try {
      WakeMainThread();
    } catch (...) {
    }
  }
  return true;
}

}  // namespace

void Synchronize(const TThreadMethod& Method) {
  if (!Method) return;
  if (IsMainThread()) {
    Method();
    return;
  }
  CallQueue& q = Queue();
  auto call = std::make_shared<PostedCall>();
  call->Method = Method;
  if (!Post(call)) throw EThread(QueueClosedText);
  std::unique_lock<std::mutex> lock(q.Lock);
  q.CallDone.wait(lock, [&] { return call->Done; });
  if (call->Error) std::rethrow_exception(call->Error);
}

void RunInMainThread(const TThreadMethod& Method) { Synchronize(Method); }

void QueueInMainThread(const TThreadMethod& Method, const void* Tag) {
  if (!Method) return;
  auto call = std::make_shared<PostedCall>();
  call->Method = Method;
  call->Queued = true;
  call->Tag = Tag;
  Post(call);
}

void RemoveQueuedEvents(const void* Tag) {
  if (!Tag) return;
  CallQueue& q = Queue();
  std::lock_guard<std::mutex> guard(q.Lock);
  std::erase_if(q.Pending, [Tag](const std::shared_ptr<PostedCall>& call) { return call->Queued && call->Tag == Tag; });
}

bool CheckSynchronize(Cardinal TimeoutMs) {
  RequireMainThread("CheckSynchronize");
  CallQueue& q = Queue();
  std::unique_lock<std::mutex> lock(q.Lock);
  if (q.Pending.empty() && TimeoutMs != 0)
    WaitOn(q.Wake, lock, DeadlineAfter(TimeoutMs), TimeoutMs == INFINITE,
           [&] { return !q.Pending.empty() || q.Closed; });
  // Only what is queued now: calls posted meanwhile wait for the next round, so a stream of
  // them cannot keep the main thread from its own loop. One at a time, so a call that itself
  // drains the queue (a nested loop) keeps the order of posting.
  std::size_t budget = q.Pending.size();
  bool ranAny = false;
  while (budget-- > 0 && !q.Pending.empty()) {
    std::shared_ptr<PostedCall> call = q.Pending.front();
    q.Pending.pop_front();
    lock.unlock();
    try {
      call->Method();
    } catch (...) {
      if (!call->Queued) call->Error = std::current_exception();
      else if (QueuedCallFailed) {
        // Nobody waits for a queued call: its failure is the main loop's to report.
        try {
          QueuedCallFailed();
        } catch (...) {
        }
      }
    }
    lock.lock();
    call->Done = true;
    ranAny = true;
    q.CallDone.notify_all();
  }
  return ranAny;
}

bool MainThreadWorkPending() {
  CallQueue& q = Queue();
  std::lock_guard<std::mutex> guard(q.Lock);
  return !q.Pending.empty();
}

void ShutdownMainThreadQueue() {
  CallQueue& q = Queue();
  {
    std::lock_guard<std::mutex> guard(q.Lock);
    q.Closed = true;
    for (const auto& call : q.Pending) {
      call->Error = std::make_exception_ptr(EThread(QueueClosedText));
      call->Done = true;
    }
    q.Pending.clear();
  }
  q.CallDone.notify_all();
  q.Wake.notify_all();
}

bool ServeMainThreadUntil(const std::function<bool()>& Done, Cardinal TimeoutMs) {
  RequireMainThread("ServeMainThreadUntil");
  CallQueue& q = Queue();
  const bool infinite = TimeoutMs == INFINITE;
  const auto deadline = DeadlineAfter(infinite ? 0 : TimeoutMs);
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(q.Lock);
      const bool ready = WaitOn(q.Wake, lock, deadline, infinite, [&] { return Done() || !q.Pending.empty(); });
      if (Done()) return true;
      if (!ready) return false;
    }
    CheckSynchronize(0);
  }
}

void WakeMainThreadWaiters() {
  CallQueue& q = Queue();
  // Taking the lock orders this wake after a waiter's look at its condition.
  { std::lock_guard<std::mutex> guard(q.Lock); }
  q.Wake.notify_all();
}
