// The encoder component: a list of transcoding tasks run one after another in the caller's
// thread or several at a time in worker threads, with progress, hook, preview and termination
// events.
//
// Each task's termination event reaches the owner before the event for the whole list
// (TaskIndex -1), however the deliveries interleave. Destroying the encoder stops its tasks,
// waits for them and for every pending delivery, and calls no handler once it has begun.
//
// The task objects themselves (TFFmpeg, the engine's task with the encoder's bookkeeping) are
// declared in encoder_task.h, which only the component's own code and tests include.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "media/binding/base_component.h"
#include "media/components/encoder_events.h"
#include "media/engine/engine_events.h"
#include "platform/rtl/sync.h"
#include "platform/rtl/threads.h"

class TFFDecoder;
class TFFmpeg;

namespace FFEncode {
class TDoTerminateThread;
}

// The encoder's tasks, owned; a task's index is its position.
class TFFmpegList {
 public:
  TFFmpegList() = default;
  ~TFFmpegList();
  TFFmpegList(const TFFmpegList&) = delete;
  TFFmpegList& operator=(const TFFmpegList&) = delete;

  Integer Add(TFFmpeg* Task);
  void Clear();
  void Delete(Integer Index);
  // Raises EListError "List index out of bounds (%d)" outside the list.
  TFFmpeg* Items(Integer Index) const;
  Integer IndexOf(const TObject* Task) const;
  Integer Count() const { return static_cast<Integer>(FItems.size()); }
  void StopAll(bool Wait);
  void SetPreview(bool Value);
  void SetPreviewBitmap(bool Value);

 private:
  std::vector<TFFmpeg*> FItems;
};

class TCustomEncoder : public TFFBaseComponent {
 public:
  explicit TCustomEncoder(TComponent* AOwner);
  ~TCustomEncoder() override;

  bool LibrariesLoaded() const;
  bool LoadLibraries(const TPathFileName& Folder);

  Integer TaskCount() const { return Tasks.Count(); }
  // The new task's index, or a negative value with LastErrorMessage set.
  Integer AddTask(const TPathFileName& FileName, TInputOptions* Options = nullptr);
  // 0 or more on success, negative with LastErrorMessage set on failure.
  Integer SetOutput(Integer TaskIndex, const TPathFileName& FileName, TOutputOptions* Options = nullptr);
  void RemoveTask(Integer TaskIndex);
  void ClearTasks();
  // Count > 0: up to Count tasks at a time in worker threads, returning at once; otherwise every
  // task in this thread, in list order, before returning. An empty list leaves the encoder idle.
  void StartTask(Integer Count);
  // Starts no waiting task any more and stops the running ones; with Wait, returns once they have
  // ended. Every task still reports its termination, and the event for the whole list follows.
  void Stop(bool Wait);

  bool Preview() const { return FPreview; }
  void SetPreview(bool Value);
  bool PreviewBitmap() const { return FPreviewBitmap; }
  void SetPreviewBitmap(bool Value);
  Integer ProgressInterval() const { return FProgressInterval; }
  void SetProgressInterval(Integer Value);

  bool Working() const { return FWorking; }
  bool Finished() const { return FFinished; }
  bool BackgroundMode() const { return FBackgroundMode; }
  Integer TerminatedCount() const { return FTerminatedCount; }
  Integer NextTaskIndex() const { return FNextTaskIndex; }
  Integer WaitingCount() const { return FWaitingCount; }
  // No termination delivery of a task is outstanding.
  bool TerminateDelivered();

  AnsiString ClassName() const override { return "TCustomEncoder"; }

  AnsiString LastErrorMessage;
  const bool StrictOptions = true;
  TThreadPriority ThreadPriority = tpNormal;
  std::atomic<bool> TriggerEventInMainThread{true};
  TObject* BeforeFindTask = nullptr;
  AVFormatContext* BeforeFindContext = nullptr;
  TProgressInfo ProgressInfo;
  TTerminateInfo TerminateInfo;
  TPreviewInfo PreviewInfo;
  THookInfo HookInfo;
  TFrameHookInfo FrameHookInfo;

  TAudioHookEvent OnAudioInputHook;
  TAudioHookEvent OnAudioOutputHook;
  TBeforeFindStreamInfoEvent OnBeforeFindStreamInfo;
  TVideoHookEvent OnVideoInputHook;
  TVideoHookEvent OnVideoOutputHook;
  TPreviewBitmapEvent OnPreviewBitmap;
  TProgressEvent OnProgress;
  TTerminateEvent OnTerminate;
  TFrameHookEvent OnFrameInputHook;
  TFrameHookEvent OnFrameOutputHook;

  TCriticalSection AudioHookLock;
  TCriticalSection PreviewBitmapLock;
  TCriticalSection ProgressLock;
  TCriticalSection TerminateLock;
  TCriticalSection VideoHookLock;
  TCriticalSection FrameHookLock;
  TCriticalSection BeforeFindLock;

  TFFDecoder* Decoder;
  TFFmpegList Tasks;

 protected:
  // Stops the tasks, waits for them and for every pending delivery, and frees what they use.
  // The most derived destructor calls it first, while the object is still whole for the
  // threads that call its virtual dispatchers until then.
  void Shutdown();

  // The dispatchers take the task's own record of the event and fill the matching Info record.
  virtual void DoVideoInputHook(TFFmpeg* Task, TTaskBitmap& Frame);
  virtual void DoVideoOutputHook(TFFmpeg* Task, TTaskBitmap& Frame);
  virtual void DoFrameInputHook(TFFmpeg* Task, const TTaskFrame& Frame);
  virtual void DoFrameOutputHook(TFFmpeg* Task, const TTaskFrame& Frame);
  virtual void DoPreviewBitmap(TFFmpeg* Task, const TTaskBitmap& Frame);
  virtual void DoProgress(TFFmpeg* Task, const TTaskProgress& Progress);
  virtual void DoTerminate(TFFmpeg* Task);
  void DoAudioInputHook(TFFmpeg* Task, const TTaskAudio& Audio);
  void DoAudioOutputHook(TFFmpeg* Task, const TTaskAudio& Audio);
  void DoBeforeFindStreamInfo(TFFmpeg* Task, AVFormatContext* FormatContext);

 private:
  friend class FFEncode::TDoTerminateThread;

  void CheckNotWorking(const AnsiString& Name) const;
  void StartNextTask();
  void AllTasksTerminated();
  // Calls Method in the main thread when events go there, else here.
  void Deliver(const std::function<void()>& Method);
  void RunVideoHook(const TVideoHookEvent& Handler, TFFmpeg* Task, TTaskBitmap& Frame);
  void RunFrameHook(const TFrameHookEvent& Handler, TFFmpeg* Task, const TTaskFrame& Frame);
  void RunAudioHook(const TAudioHookEvent& Handler, TFFmpeg* Task, const TTaskAudio& Audio);
  // Hands a termination event to a delivery thread of its own.
  void QueueTerminateDelivery(const TTerminateInfo& Info, bool WaitForPrevious);
  void CallTerminateHandler(const TTerminateInfo& Info);
  void TaskDeliveryDone();
  void WaitForTaskDeliveries();
  // Runs Change where it cannot hold a task's preview lock while that task waits for the main
  // thread to draw its frame.
  void ChangeTaskPreviewFlags(const std::function<void()>& Change);
  void JoinDeliveryThreads(bool All);

  bool FPreview = false;
  bool FPreviewBitmap = false;
  Integer FProgressInterval = 500;
  Integer FTerminatedCount = 0;
  Integer FNextTaskIndex = -1;
  Integer FWaitingCount = 0;
  // Threads per codec and filter graph for the tasks of the current run; 0: all the cores.
  Integer FThreadShare = 0;
  std::atomic<bool> FFinished{false};
  std::atomic<bool> FBackgroundMode{false};
  std::atomic<bool> FWorking{false};
  // Set first thing in the destructor: from then on no handler is called.
  std::atomic<bool> FClosing{false};
  Integer FStopDepth = 0;
  bool FShutDown = false;

  // The termination deliveries in flight and their threads.
  struct TDeliveries;
  std::unique_ptr<TDeliveries> FDeliveries;
};

class TFFEncoder : public TCustomEncoder {
 public:
  using TCustomEncoder::TCustomEncoder;
  ~TFFEncoder() override { Shutdown(); }
  AnsiString ClassName() const override { return "TFFEncoder"; }
};
