// A thread beside a task's loop that encodes and writes one picture at a time, so the loop reads,
// decodes and filters the next picture meanwhile. One job at most is in hand: memory stays flat,
// and a stop or a failure waits for one picture only.
#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

class TEncodeWorker {
 public:
  TEncodeWorker();
  // Finishes the job in hand, if any; its failure is dropped (the caller is ending anyway).
  ~TEncodeWorker();
  TEncodeWorker(const TEncodeWorker&) = delete;
  TEncodeWorker& operator=(const TEncodeWorker&) = delete;

  // Starts Job on the worker. The job before must have been waited for. The job owns whatever
  // it captured and frees it whether it succeeds or throws.
  void Submit(std::function<void()> Job);
  // True from Submit until Wait.
  bool Pending() const { return FPending; }
  // Waits until the job submitted last has run; an exception it threw is raised here.
  void Wait();

 private:
  void Loop();

  std::mutex FLock;
  std::condition_variable FWake;
  std::function<void()> FJob;  // waiting for the thread; guarded by FLock
  bool FDone = false;          // the job has run; guarded by FLock
  bool FQuit = false;          // guarded by FLock
  std::exception_ptr FFailure; // what the job threw; guarded by FLock
  bool FPending = false;       // the caller's side only
  std::thread FThread;
};
