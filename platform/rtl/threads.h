// Worker threads with the framework's life cycle: created suspended or running, asked to stop
// through Terminated, waited for, or left to free themselves.
#pragma once

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "platform/rtl/classes.h"
#include "platform/rtl/mainthread.h"
#include "platform/rtl/sync.h"
#include "platform/rtl/types.h"

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// Derived classes put the thread's work in Execute and poll Terminated() there.
//
// The thread calls Execute (skipped when the thread was terminated before it started), then
// OnTerminate on the main thread through Synchronize, then marks itself finished; with
// FreeOnTerminate it then deletes itself. An exception that leaves Execute is kept as
// FatalException; it never ends the process.
//
// C++ builds the base first: a thread started by this constructor could reach Execute before
// the derived part exists. A thread that should run at once is therefore created with
// CreateSuspended true and started by the last statement of the most derived constructor;
// CreateSuspended false raises EThread.
//
// Destroying a thread that still runs terminates it and waits for it. That wait happens in
// this class's destructor, after the derived part is gone: a derived class calls Terminate()
// and WaitFor() in its own destructor when its Execute may still run then.
class TThread : public TObject {
 public:
  explicit TThread(bool CreateSuspended);
  ~TThread() override;

  // Lets a thread created suspended run. Raises EThread when it runs already or has run.
  void Start();
  // Start for a thread that has not run yet; nothing for one that has.
  void Resume();
  // Asks Execute to stop; the thread decides when.
  void Terminate();
  // Waits until the thread has finished and returns ReturnValue. On the main thread the wait
  // keeps serving calls handed over to the main thread, so a worker that synchronises while
  // being waited for still finishes. Raises EThread for a thread that frees itself, one that
  // never started, or when the thread would wait for itself.
  Integer WaitFor();

  bool Terminated() const { return Terminated_.load(); }
  // True once the thread has run Execute and OnTerminate.
  bool Finished() const { return Finished_.load(); }
  // Not yet started.
  bool Suspended() const;
  // The kernel thread id; 0 until the thread has started.
  DWORD ThreadID() const { return ThreadID_.load(); }
  // What left Execute by an exception, or null.
  std::exception_ptr FatalException() const;

  TThreadPriority Priority() const { return Priority_.load(); }
  // Applied as a nice value of the thread; a change the system does not permit is ignored.
  void SetPriority(TThreadPriority Value);

  // Read when Execute has returned: set it before starting the thread.
  std::atomic<bool> FreeOnTerminate{false};
  // Runs on the main thread once Execute has returned, with the thread as Sender.
  TNotifyEvent OnTerminate;

  // Hands Method to the main thread and waits for it to run there (see mainthread.h). AThread
  // may be nil.
  static void Synchronize(TThread* AThread, const TThreadMethod& Method);
  // The TThread object whose Execute runs on the calling thread; nil on the main thread and on
  // threads this class did not start.
  static TThread* CurrentThread();

 protected:
  virtual void Execute() = 0;
  // Delivers OnTerminate. Runs on the thread itself after Execute.
  virtual void DoTerminate();
  void Synchronize(const TThreadMethod& Method) { Synchronize(this, Method); }

  // WaitFor's result.
  Integer ReturnValue = 0;

 private:
  void Launch();
  void Run();
  void JoinOnce();

  std::thread Thread_;
  // Thread_'s id, kept apart because a join elsewhere may be clearing Thread_ meanwhile.
  std::thread::id RunningId_;
  mutable std::mutex StateLock_;
  std::mutex JoinLock_;
  bool Started_ = false;
  std::exception_ptr FatalException_;
  std::atomic<bool> Terminated_{false};
  std::atomic<bool> Finished_{false};
  std::atomic<DWORD> ThreadID_{0};
  std::atomic<TThreadPriority> Priority_{tpNormal};
  // Set by the thread once ThreadID_ is known, so Start can return with it filled in.
  std::condition_variable Running_;
  bool IdPublished_ = false;
  // Set once Start has stopped using the object, so a thread that frees itself cannot go first.
  bool StartReturned_ = false;
};
