// The encoder component: a list of transcoding tasks run one after another in the caller's
// thread or several at a time in worker threads, with progress, hook, preview and termination
// events.
//
// Each task's termination event reaches the owner before the event for the whole list
// (TaskIndex -1), however the deliveries interleave. Destroying the encoder stops its tasks,
// waits for them and for every pending delivery, and calls no handler once it has begun.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "media/binding/base_component.h"
#include "media/components/encoder_events.h"
#include "media/components/encoder_task.h"
#include "platform/rtl/sync.h"
#include "platform/rtl/threads.h"

class TFFDecoder;

namespace FFEncode {
class TDoTerminateThread;
}

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

  virtual void DoVideoInputHook(TFFmpeg* Task, TBitmap* Bitmap, Integer FrameNumber, Int64 PTS, bool& Update,
                                bool& StopHook);
  virtual void DoVideoOutputHook(TFFmpeg* Task, TBitmap* Bitmap, Integer FrameNumber, Int64 PTS, bool& Update,
                                 bool& StopHook);
  virtual void DoFrameInputHook(TFFmpeg* Task, void* Picture, Integer PixFmt, Integer FrameNumber, Integer Width,
                                Integer Height, Int64 PTS);
  virtual void DoFrameOutputHook(TFFmpeg* Task, void* Picture, Integer PixFmt, Integer FrameNumber, Integer Width,
                                 Integer Height, Int64 PTS);
  virtual void DoPreviewBitmap(TFFmpeg* Task, TBitmap* Bitmap, Integer FrameNumber, Int64 PTS);
  virtual void DoProgress(TFFmpeg* Task, Integer FileIndex, Integer FrameNumber, Integer FPS, float Quality,
                          float BitRate, Int64 TotalSize, Int64 CurrentTime, Int64 TotalDuration);
  virtual void DoTerminate(TFFmpeg* Task);
  void DoAudioInputHook(TFFmpeg* Task, void* Sample, Int64 PTS, Integer Size, Integer SampleRate, Integer Channels,
                        Integer SampleFormat);
  void DoAudioOutputHook(TFFmpeg* Task, void* Sample, Int64 PTS, Integer Size, Integer SampleRate, Integer Channels,
                         Integer SampleFormat);
  void DoBeforeFindStreamInfo(TFFmpeg* Task, AVFormatContext* FormatContext);

 private:
  friend class FFEncode::TDoTerminateThread;

  void CheckNotWorking(const AnsiString& Name) const;
  void StartNextTask();
  void AllTasksTerminated();
  // Calls Method in the main thread when events go there, else here.
  void Deliver(const std::function<void()>& Method);
  void RunVideoHook(const TVideoHookEvent& Handler, TFFmpeg* Task, TBitmap* Bitmap, Integer FrameNumber, Int64 PTS,
                    bool& Update, bool& StopHook);
  void RunFrameHook(const TFrameHookEvent& Handler, TFFmpeg* Task, void* Picture, Integer PixFmt,
                    Integer FrameNumber, Integer Width, Integer Height, Int64 PTS);
  void RunAudioHook(const TAudioHookEvent& Handler, TFFmpeg* Task, void* Sample, Int64 PTS, Integer Size,
                    Integer SampleRate, Integer Channels, Integer SampleFormat);
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
  std::atomic<bool> FFinished{false};
  std::atomic<bool> FBackgroundMode{false};
  std::atomic<bool> FWorking{false};
  // Set first thing in the destructor: from then on no handler is called.
  std::atomic<bool> FClosing{false};
  Integer FStopDepth = 0;
  bool FShutDown = false;

  std::mutex FDeliveryLock;
  std::condition_variable FDeliveryChanged;
  Integer FPendingDeliveries = 0;
  std::vector<FFEncode::TDoTerminateThread*> FDeliveryThreads;
};

class TFFEncoder : public TCustomEncoder {
 public:
  using TCustomEncoder::TCustomEncoder;
  ~TFFEncoder() override { Shutdown(); }
  AnsiString ClassName() const override { return "TFFEncoder"; }
};
