#include "media/engine/encode_worker.h"

#include <utility>

TEncodeWorker::TEncodeWorker() : FThread([this] { Loop(); }) {}

TEncodeWorker::~TEncodeWorker() {
  {
    std::lock_guard<std::mutex> hold(FLock);
    FQuit = true;
  }
  FWake.notify_all();
  FThread.join();
}

void TEncodeWorker::Submit(std::function<void()> Job) {
  {
    std::lock_guard<std::mutex> hold(FLock);
    FJob = std::move(Job);
    FDone = false;
    FFailure = nullptr;
  }
  FPending = true;
  FWake.notify_all();
}

void TEncodeWorker::Wait() {
  if (!FPending) return;
  std::exception_ptr failure;
  {
    std::unique_lock<std::mutex> hold(FLock);
    FWake.wait(hold, [this] { return FDone; });
    FPending = false;
    failure = std::exchange(FFailure, nullptr);
  }
  if (failure) std::rethrow_exception(failure);
}

void TEncodeWorker::Loop() {
  std::unique_lock<std::mutex> hold(FLock);
  for (;;) {
    // A job handed over before the quit still runs: it owns what it captured.
    FWake.wait(hold, [this] { return FJob || FQuit; });
    if (!FJob) return;
    std::function<void()> job = std::move(FJob);
    FJob = nullptr;
    hold.unlock();
    std::exception_ptr failure;
    try {
      job();
    } catch (...) {
      failure = std::current_exception();
    }
    job = nullptr;
    hold.lock();
    FFailure = failure;
    FDone = true;
    FWake.notify_all();
  }
}
