// Hand-over of calls from worker threads to the main thread.
//
// A worker posts a call and blocks until the main thread has run it. The main thread runs the
// posted calls whenever it calls CheckSynchronize, which every loop it runs must do: the event
// loop, modal loops, ProcessMessages and any wait the main thread makes on a worker. A worker
// that hands a call over while the main thread waits for it without draining the queue would
// never come back.
#pragma once

#include <functional>

#include "platform/rtl/types.h"

using TThreadMethod = std::function<void()>;

// Runs Method on the main thread and returns after it has run there. An exception raised by
// Method is raised again in the caller, with its own type. Called on the main thread, Method
// runs at once. After ShutdownMainThreadQueue a worker's call fails with EThread
// "Main thread queue is closed".
void Synchronize(const TThreadMethod& Method);

// The media engine's name for the same hand-over.
void RunInMainThread(const TThreadMethod& Method);

// Posts Method to the main thread and returns at once, from any thread (the framework's
// TThread.Queue, and what a posted window message is to its receiver): it runs at the main
// thread's next CheckSynchronize, in order with the calls handed over by Synchronize. Tag, when
// not nil, names what the call belongs to, so that RemoveQueuedEvents can drop it before that
// goes away. An exception it raises goes to the main loop's exception handler when one was set
// (QueuedCallFailed), else it is dropped. After ShutdownMainThreadQueue the call is dropped.
void QueueInMainThread(const TThreadMethod& Method, const void* Tag = nullptr);
// Drops the queued calls posted with Tag that have not started yet.
void RemoveQueuedEvents(const void* Tag);
// Receives, on the main thread, what a queued call raised (inside a catch block). Set by the GUI
// layer during start-up.
extern std::function<void()> QueuedCallFailed;

// Runs, on the main thread, the calls posted so far (not ones posted while it runs, so a busy
// worker cannot keep it here). With a time-out it first waits up to that long for a call to
// arrive. Returns whether it ran anything. Raises EThread on any other thread.
bool CheckSynchronize(Cardinal TimeoutMs = 0);

// True while calls wait for the main thread.
bool MainThreadWorkPending();

// Called, on the posting thread, each time a call is posted, so that an event loop sleeping on
// other sources wakes and calls CheckSynchronize. Set by the GUI layer during start-up, before
// any worker thread exists; it must be safe to call from any thread.
extern std::function<void()> WakeMainThread;

// Fails the calls still waiting, and every later one from a worker, with EThread instead of
// letting their threads wait for a main thread that no longer serves them. Part of process
// shutdown; there is no way back.
void ShutdownMainThreadQueue();

// The main thread's way of waiting for something another thread does: it serves posted calls
// until Done() is true, or until TimeoutMs has passed. Done is evaluated under the queue's lock,
// so whoever makes it true must call WakeMainThreadWaiters afterwards for the wait to notice.
// Returns Done()'s last value. Raises EThread on any other thread.
bool ServeMainThreadUntil(const std::function<bool()>& Done, Cardinal TimeoutMs);
void WakeMainThreadWaiters();
