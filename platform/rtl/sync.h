// Locks, events and thread identity: the kernel synchronisation objects the framework offers,
// built on the C++ standard library and the Linux thread id.
#pragma once

#include <condition_variable>
#include <mutex>

#include "platform/rtl/types.h"

// A wait without a time limit.
constexpr Cardinal INFINITE = 0xFFFFFFFFu;

enum TWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError, wrIOCompletion };

// The kernel thread id of the calling thread, as the 32-bit value log lines print.
DWORD GetCurrentThreadId();

// The thread that started the process (and runs the message loop). Recorded during static
// initialisation and again by PlatformStartup; never changes once worker threads exist.
extern DWORD MainThreadID;
bool IsMainThread();
// Makes the calling thread the main thread. Only process start-up calls this.
void RecordMainThreadID();

// Suspends the calling thread; 0 only gives up the rest of its time slice.
void Sleep(Cardinal milliseconds);

// Something a thread can hold and let go of.
class TSynchroObject {
 public:
  virtual ~TSynchroObject() = default;
  virtual void Acquire() {}
  virtual void Release() {}
};

// Re-entrant: the owning thread may enter again and must leave as many times as it entered.
class TCriticalSection : public TSynchroObject {
 public:
  TCriticalSection() = default;
  TCriticalSection(const TCriticalSection&) = delete;
  TCriticalSection& operator=(const TCriticalSection&) = delete;

  void Acquire() override;
  void Release() override;
  void Enter() { Acquire(); }
  void Leave() { Release(); }
  // Enters only when that needs no waiting.
  bool TryEnter();

 private:
  std::recursive_mutex Lock_;
};

// A signalled/non-signalled flag threads wait on. A manual-reset event stays signalled and
// releases every waiter until ResetEvent; an auto-reset event releases one waiter and resets
// itself.
class TEvent : public TSynchroObject {
 public:
  // Manual reset, not signalled.
  TEvent();
  TEvent(bool ManualReset, bool InitialState);
  TEvent(const TEvent&) = delete;
  TEvent& operator=(const TEvent&) = delete;

  void SetEvent();
  void ResetEvent();
  TWaitResult WaitFor(Cardinal Timeout = INFINITE);
  // Waiting without a limit, so the event can stand where any synchro object is held.
  void Acquire() override;

 private:
  std::mutex Lock_;
  std::condition_variable Changed_;
  bool ManualReset_;
  bool Signaled_;
};

// An owned, re-entrant lock with timed waits. Only the owner may release it; a release by any
// other thread fails with EOSError.
class TMutex : public TSynchroObject {
 public:
  // The switch for a COM-aware wait has no meaning on this system and is accepted for callers
  // that pass it.
  explicit TMutex(bool UseCOMWait = false);
  TMutex(const TMutex&) = delete;
  TMutex& operator=(const TMutex&) = delete;

  // Waits without limit.
  void Acquire() override;
  void Release() override;
  // wrSignaled when the calling thread now owns the mutex, wrTimeout otherwise.
  TWaitResult WaitFor(Cardinal Timeout);

 private:
  std::mutex Lock_;
  std::condition_variable Freed_;
  DWORD Owner_ = 0;
  Cardinal Depth_ = 0;
};
