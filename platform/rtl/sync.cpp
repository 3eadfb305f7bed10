#include "platform/rtl/sync.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/rtl/exceptions.h"

DWORD GetCurrentThreadId() {
  // The kernel id rather than pthread_self: it is what ps, gdb and /proc show, and it fits in
  // the 32 bits the log format prints. Not cached, so a forked child reports its own.
  return static_cast<DWORD>(::syscall(SYS_gettid));
}

namespace {

thread_local bool ForkingFromMainThread = false;

// A child forked by the main thread goes on as the process's main thread under a new id.
DWORD RecordMainThreadAcrossFork() {
  ::pthread_atfork([] { ForkingFromMainThread = IsMainThread(); }, nullptr,
                   [] {
                     if (ForkingFromMainThread) RecordMainThreadID();
                   });
  return GetCurrentThreadId();
}

}  // namespace

// Static initialisation runs on the thread that starts the process, before main().
DWORD MainThreadID = RecordMainThreadAcrossFork();

bool IsMainThread() { return GetCurrentThreadId() == MainThreadID; }

void RecordMainThreadID() { MainThreadID = GetCurrentThreadId(); }

void Sleep(Cardinal milliseconds) {
  if (milliseconds == 0) {
    std::this_thread::yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

namespace {

// A wait of INFINITE never times out; any other value is a deadline from now.
template <class Lock, class Pred>
bool WaitWithTimeout(std::condition_variable& cv, Lock& lock, Cardinal timeoutMs, Pred ready) {
  if (timeoutMs == INFINITE) {
    cv.wait(lock, ready);
    return true;
  }
  return cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
}

}  // namespace

// ---- TCriticalSection ----

void TCriticalSection::Acquire() { Lock_.lock(); }
void TCriticalSection::Release() { Lock_.unlock(); }
bool TCriticalSection::TryEnter() { return Lock_.try_lock(); }

// ---- TEvent ----

TEvent::TEvent() : TEvent(true, false) {}

TEvent::TEvent(bool ManualReset, bool InitialState) : ManualReset_(ManualReset), Signaled_(InitialState) {}

void TEvent::SetEvent() {
  {
    std::lock_guard<std::mutex> guard(Lock_);
    Signaled_ = true;
  }
  if (ManualReset_)
    Changed_.notify_all();
  else
    Changed_.notify_one();
}

void TEvent::ResetEvent() {
  std::lock_guard<std::mutex> guard(Lock_);
  Signaled_ = false;
}

TWaitResult TEvent::WaitFor(Cardinal Timeout) {
  std::unique_lock<std::mutex> lock(Lock_);
  if (!WaitWithTimeout(Changed_, lock, Timeout, [this] { return Signaled_; })) return wrTimeout;
  if (!ManualReset_) Signaled_ = false;
  return wrSignaled;
}

void TEvent::Acquire() { WaitFor(INFINITE); }

// ---- TMutex ----

TMutex::TMutex(bool UseCOMWait) { (void)UseCOMWait; }

TWaitResult TMutex::WaitFor(Cardinal Timeout) {
  const DWORD self = GetCurrentThreadId();
  std::unique_lock<std::mutex> lock(Lock_);
  if (!WaitWithTimeout(Freed_, lock, Timeout, [&] { return Depth_ == 0 || Owner_ == self; }))
    return wrTimeout;
  Owner_ = self;
  ++Depth_;
  return wrSignaled;
}

void TMutex::Acquire() { WaitFor(INFINITE); }

void TMutex::Release() {
  {
    std::lock_guard<std::mutex> guard(Lock_);
    if (Depth_ == 0 || Owner_ != GetCurrentThreadId())
      throw EOSError(SysErrorMessage(EPERM), EPERM);
    if (--Depth_ > 0) return;
    Owner_ = 0;
  }
  Freed_.notify_one();
}
