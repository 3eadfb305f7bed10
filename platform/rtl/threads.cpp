#include "platform/rtl/threads.h"

#include <sys/resource.h>

#include <system_error>

#include "platform/rtl/exceptions.h"

namespace {

thread_local TThread* CurrentThreadObject = nullptr;

// Nice values: lowering a thread is always allowed; raising it needs privileges, and without
// them the thread simply keeps its priority.
int NiceValueOf(TThreadPriority priority) {
  switch (priority) {
    case tpIdle: return 19;
    case tpLowest: return 10;
    case tpLower: return 5;
    case tpNormal: return 0;
    case tpHigher: return -5;
    case tpHighest: return -10;
    case tpTimeCritical: return -20;
  }
  return 0;
}

void ApplyPriority(DWORD tid, TThreadPriority priority) {
  if (tid == 0) return;
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), NiceValueOf(priority));
}

}  // namespace

TThread::TThread(bool CreateSuspended) {
  if (!CreateSuspended)
    throw EThread("A thread cannot start before it is constructed: create it suspended and call Start");
}

TThread::~TThread() {
  if (!Thread_.joinable()) return;
  if (RunningId_ == std::this_thread::get_id()) {
    // Freeing itself at the end of its run: nothing after this touches the object.
    Thread_.detach();
    return;
  }
  Terminate();
  if (IsMainThread()) ServeMainThreadUntil([this] { return Finished_.load(); }, INFINITE);
  JoinOnce();
}

void TThread::Start() {
  std::unique_lock<std::mutex> lock(StateLock_);
  if (Started_) throw EThread("Cannot call Start on a running or finished thread");
  try {
    Thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error& e) {
    // Out of threads or memory: the object stays unstarted and may be started again later.
    throw EThread(AnsiString("Thread creation error: ") + e.code().message());
  }
  Started_ = true;
  RunningId_ = Thread_.get_id();
  Running_.wait(lock, [this] { return IdPublished_; });
  StartReturned_ = true;
  Running_.notify_all();
}

void TThread::Resume() {
  {
    std::lock_guard<std::mutex> guard(StateLock_);
    if (Started_) return;
  }
  Start();
}

bool TThread::Suspended() const {
  std::lock_guard<std::mutex> guard(StateLock_);
  return !Started_;
}

void TThread::Terminate() { Terminated_ = true; }

std::exception_ptr TThread::FatalException() const {
  std::lock_guard<std::mutex> guard(StateLock_);
  return FatalException_;
}

void TThread::SetPriority(TThreadPriority Value) {
  std::lock_guard<std::mutex> guard(StateLock_);
  Priority_ = Value;
  ApplyPriority(ThreadID_.load(), Value);
}

Integer TThread::WaitFor() {
  if (FreeOnTerminate) throw EThread("Cannot wait for a thread that frees itself");
  {
    std::lock_guard<std::mutex> guard(StateLock_);
    if (!Started_) throw EThread("Cannot wait for a thread that has not been started");
    if (RunningId_ == std::this_thread::get_id()) throw EThread("A thread cannot wait for itself");
  }
  // The main thread keeps serving hand-overs, including the one that delivers OnTerminate.
  if (IsMainThread()) ServeMainThreadUntil([this] { return Finished_.load(); }, INFINITE);
  JoinOnce();
  return ReturnValue;
}

void TThread::JoinOnce() {
  std::lock_guard<std::mutex> guard(JoinLock_);
  if (Thread_.joinable()) Thread_.join();
}

void TThread::Synchronize(TThread* AThread, const TThreadMethod& Method) {
  (void)AThread;
  ::Synchronize(Method);
}

TThread* TThread::CurrentThread() { return CurrentThreadObject; }

void TThread::DoTerminate() {
  if (OnTerminate) Synchronize([this] { OnTerminate(this); });
}

void TThread::Run() {
  CurrentThreadObject = this;
  {
    std::unique_lock<std::mutex> lock(StateLock_);
    ThreadID_ = GetCurrentThreadId();
    // A thread left at normal keeps what it inherited.
    if (Priority_.load() != tpNormal) ApplyPriority(ThreadID_.load(), Priority_.load());
    IdPublished_ = true;
    Running_.notify_all();
    Running_.wait(lock, [this] { return StartReturned_; });
  }
  if (!Terminated_) {
    try {
      Execute();
    } catch (...) {
      std::lock_guard<std::mutex> guard(StateLock_);
      FatalException_ = std::current_exception();
    }
  }
  const bool freeSelf = FreeOnTerminate;
  try {
    DoTerminate();
  } catch (...) {
    // A failing OnTerminate (or a closed main-thread queue) must not end the process either;
    // it is reported like a failing Execute unless that already happened.
    std::lock_guard<std::mutex> guard(StateLock_);
    if (!FatalException_) FatalException_ = std::current_exception();
  }
  Finished_ = true;
  CurrentThreadObject = nullptr;
  // From here on a waiter may destroy the object.
  WakeMainThreadWaiters();
  if (freeSelf) delete this;
}
