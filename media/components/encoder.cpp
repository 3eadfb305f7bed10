#include "media/components/encoder.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "media/binding/loader.h"
#include "media/components/decoder.h"
#include "media/components/encoder_task.h"
#include "platform/gui/bitmap.h"
#include "platform/gui/canvas.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/heap.h"
#include "platform/rtl/mainthread.h"
#include "platform/rtl/sysprobe.h"
#include "platform/rtl/sysutils.h"

void InitInputOptions(TInputOptions& Options) { Options = TInputOptions(); }

void InitOutputOptions(TOutputOptions& Options) { Options = TOutputOptions(); }

namespace FFEncode {

// Carries one termination event to the owner, so the worker that ended the task never waits for
// the main thread. The event for the whole list first waits until every task's own delivery is
// over.
class TDoTerminateThread : public TThread {
 public:
  TDoTerminateThread(TCustomEncoder* AEncoder, const TTerminateInfo& AInfo, bool AWaitForPrevious,
                     bool AInMainThread)
      : TThread(true), Encoder(AEncoder), Info(AInfo), WaitForPrevious(AWaitForPrevious), InMainThread(AInMainThread) {
    Start();
  }
  ~TDoTerminateThread() override {
    Terminate();
    try {
      WaitFor();
    } catch (...) {
    }
  }

 protected:
  void Execute() override {
    if (WaitForPrevious) Encoder->WaitForTaskDeliveries();
    try {
      if (InMainThread)
        Synchronize([this] { Encoder->CallTerminateHandler(Info); });
      else
        Encoder->CallTerminateHandler(Info);
    } catch (...) {
      // A failing handler ends this delivery only; the list's event must not be held up by it.
    }
    if (!WaitForPrevious) Encoder->TaskDeliveryDone();
  }

 private:
  TCustomEncoder* Encoder;
  TTerminateInfo Info;
  bool WaitForPrevious;
  bool InMainThread;
};

}  // namespace FFEncode

namespace {

// Replaces every occurrence of Find, compared without regard to ASCII case, by Replace.
AnsiString ReplaceAllNoCase(const AnsiString& Text, const AnsiString& Find, const AnsiString& Replace) {
  const AnsiString upperText = UpperCase(Text);
  const AnsiString upperFind = UpperCase(Find);
  AnsiString out;
  size_t from = 0;
  for (;;) {
    const size_t at = upperText.find(upperFind, from);
    if (at == AnsiString::npos) break;
    out.append(Text, from, at - from);
    out += Replace;
    from = at + Find.size();
  }
  out.append(Text, from, AnsiString::npos);
  return out;
}

// The hook switches are spelt as the option table spells them, so another letter case is not
// refused: they take effect only through the output record's flags.
AnsiString NormaliseHookSwitches(const AnsiString& Options) {
  static const char* const kSwitches[] = {"AudioInputHook",  "AudioOutputHook", "VideoInputHook", "VideoOutputHook",
                                          "FrameInputHook", "FrameOutputHook", "Join"};
  AnsiString text = " " + Options + " ";
  for (const char* s : kSwitches) {
    const AnsiString spelt = AnsiString(" -") + s + " ";
    text = ReplaceAllNoCase(text, spelt, spelt);
  }
  return Trim(text);
}

// Holds a critical section for a scope.
class TLockScope {
 public:
  explicit TLockScope(TCriticalSection& Lock) : FLock(Lock) { FLock.Acquire(); }
  ~TLockScope() { FLock.Release(); }
  TLockScope(const TLockScope&) = delete;
  TLockScope& operator=(const TLockScope&) = delete;

 private:
  TCriticalSection& FLock;
};

// Waits until nobody holds Lock. On the main thread it serves hand-overs meanwhile: the holder
// may be waiting for one.
void WaitUntilFree(TCriticalSection& Lock) {
  for (;;) {
    if (Lock.TryEnter()) {
      Lock.Release();
      return;
    }
    if (IsMainThread())
      CheckSynchronize(10);
    else
      Sleep(1);
  }
}

}  // namespace

struct TCustomEncoder::TDeliveries {
  std::mutex Lock;
  std::condition_variable Changed;
  Integer Pending = 0;
  std::vector<FFEncode::TDoTerminateThread*> Threads;
};

TCustomEncoder::TCustomEncoder(TComponent* AOwner)
    : TFFBaseComponent(AOwner), Decoder(new TFFDecoder(nullptr)), FDeliveries(std::make_unique<TDeliveries>()) {
  // Parallel tasks run dozens of codec threads; with an arena each, their freed frame buffers
  // would hold the process well above what the tasks use at any one time.
  ShareAllocatorArenas();
}

TCustomEncoder::~TCustomEncoder() { Shutdown(); }

void TCustomEncoder::Shutdown() {
  if (FShutDown) return;
  FShutDown = true;
  // Every dispatcher looks at FClosing before it reads a handler, so the handlers stay as they are
  // until no thread can read them any more.
  FClosing = true;
  try {
    Stop(true);
  } catch (...) {
  }
  // A hook call that began before FClosing was set ends before anything goes.
  for (TCriticalSection* lock : {&AudioHookLock, &VideoHookLock, &FrameHookLock, &ProgressLock, &PreviewBitmapLock,
                                 &BeforeFindLock, &TerminateLock})
    WaitUntilFree(*lock);
  Tasks.Clear();
  {
    std::lock_guard<std::mutex> guard(FDeliveries->Lock);
    FDeliveries->Changed.notify_all();
  }
  JoinDeliveryThreads(true);
  OnAudioInputHook = OnAudioOutputHook = nullptr;
  OnVideoInputHook = OnVideoOutputHook = nullptr;
  OnFrameInputHook = OnFrameOutputHook = nullptr;
  OnBeforeFindStreamInfo = nullptr;
  OnPreviewBitmap = nullptr;
  OnProgress = nullptr;
  OnTerminate = nullptr;
  delete Decoder;
  Decoder = nullptr;
}

bool TCustomEncoder::LibrariesLoaded() const { return FFLoader()->AllLoaded(AllLibraries); }

bool TCustomEncoder::LoadLibraries(const TPathFileName& Folder) {
  if (ComponentState() & csDesigning) return true;
  FFLoader()->SetLibraryPath(Folder);
  const bool ok = FFLoader()->Load(AllLibraries);
  if (!ok) LastErrorMessage = FFLoader()->GetLastError();
  return ok;
}

void TCustomEncoder::CheckNotWorking(const AnsiString& Name) const {
  if (FWorking) throw Exception(Format("Cannot %s while working.", Name));
}

Integer TCustomEncoder::AddTask(const TPathFileName& FileName, TInputOptions* Options) {
  CheckNotWorking("AddTask");
  auto* task = new TFFmpeg(this);
  try {
    task->OnBeforeFindStreamInfo = [this, task](TObject*, AVFormatContext* Context) {
      DoBeforeFindStreamInfo(task, Context);
    };
    task->PreviewBitmapProc = [this, task](TObject*, const TTaskBitmap& Frame) { DoPreviewBitmap(task, Frame); };
    task->Encoder = this;
    task->SetPreviewFlags((FPreview ? PreviewWindowFlag : 0) | (FPreviewBitmap ? PreviewBitmapFlag : 0));
    task->LastErrorMessage.clear();
    task->StrictOptions = StrictOptions;
    task->ReadTimeout = ReadTimeout;
    task->WriteTimeout = WriteTimeout;

    const Integer inputIndex = static_cast<Integer>(task->InputFiles.size());
    AnsiString optionText, presets;
    if (Options) {
      if (Options->FileName.empty()) Options->FileName = FileName;
      task->SetInputOptions(inputIndex, *Options);
      optionText = Options->Options;
      presets = Options->Presets;
    } else {
      task->ClearInputOptions(inputIndex);
    }

    TOptionsContext context;
    task->InitOptionsContext(context);
    int result;
    try {
      result = task->OpenInputFile(context, optionText, FileName, presets);
    } catch (...) {
      task->UninitOptionsContext(context);
      throw;
    }
    task->UninitOptionsContext(context);

    if (result < 0) {
      LastErrorMessage = task->LastErrorMessage;
      delete task;
      return result;
    }
    if (inputIndex < static_cast<Integer>(task->InputFiles.size()))
      task->GetInputDecoder(inputIndex)->AttachFormatContext(task->InputFiles[static_cast<size_t>(inputIndex)]->Ctx);
    task->ProgressProc = [this, task](TObject*, const TTaskProgress& Progress) { DoProgress(task, Progress); };
    task->TerminateProc = [this, task](TObject*) { DoTerminate(task); };
    return Tasks.Add(task);
  } catch (const Exception& e) {
    LastErrorMessage = e.Message;
    delete task;
    return -1;
  } catch (...) {
    delete task;
    throw;
  }
}

Integer TCustomEncoder::SetOutput(Integer TaskIndex, const TPathFileName& FileName, TOutputOptions* Options) {
  CheckNotWorking("SetOutput");
  TFFmpeg* task = Tasks.Items(TaskIndex);
  const Integer outputIndex = static_cast<Integer>(task->OutputFiles.size());
  try {
    task->LastErrorMessage.clear();
    task->StrictOptions = StrictOptions;
    task->ReadTimeout = ReadTimeout;
    task->WriteTimeout = WriteTimeout;

    AnsiString optionText, presets;
    bool join = false;
    if (Options) {
      if (Options->FileName.empty()) Options->FileName = FileName;
      task->SetOutputOptions(outputIndex, *Options);
      if (Options->AudioInputHook)
        task->AudioInputHookProc = [this, task](TObject*, const TTaskAudio& Audio) { DoAudioInputHook(task, Audio); };
      if (Options->AudioOutputHook)
        task->AudioOutputHookProc = [this, task](TObject*, const TTaskAudio& Audio) { DoAudioOutputHook(task, Audio); };
      if (Options->VideoInputHook)
        task->VideoInputHookProc = [this, task](TObject*, TTaskBitmap& Frame) { DoVideoInputHook(task, Frame); };
      if (Options->VideoOutputHook)
        task->VideoOutputHookProc = [this, task](TObject*, TTaskBitmap& Frame) { DoVideoOutputHook(task, Frame); };
      task->SetHookBitsPixel(Options->VideoHookBitsPixel);
      if (Options->FrameInputHook)
        task->SetFrameInputHandler([this, task](TObject*, const TTaskFrame& Frame) { DoFrameInputHook(task, Frame); });
      if (Options->FrameOutputHook)
        task->FrameOutputHookProc = [this, task](TObject*, const TTaskFrame& Frame) { DoFrameOutputHook(task, Frame); };
      optionText = Options->Options;
      presets = Options->Presets;
      join = Options->Join;
    } else {
      task->ClearOutputOptions(outputIndex);
    }

    optionText = NormaliseHookSwitches(optionText);

    TOptionsContext context;
    task->InitOptionsContext(context);
    int result;
    try {
      result = task->OpenOutputFile(context, optionText, join, FileName, presets);
    } catch (...) {
      task->UninitOptionsContext(context);
      throw;
    }
    task->UninitOptionsContext(context);

    if (result < 0) {
      LastErrorMessage = task->LastErrorMessage;
      task->ClearOutputOptions(outputIndex);
    }
    return result;
  } catch (const Exception& e) {
    LastErrorMessage = task->LastErrorMessage.empty() ? e.Message : task->LastErrorMessage + "\r\n" + e.Message;
    return -1;
  }
}

void TCustomEncoder::RemoveTask(Integer TaskIndex) {
  CheckNotWorking("RemoveTask");
  Tasks.Delete(TaskIndex);
}

void TCustomEncoder::ClearTasks() {
  if (FWorking && !FFinished) throw Exception("Cannot ClearTasks while working.");
  Tasks.Clear();
  JoinDeliveryThreads(false);
  ReturnFreedMemory();
  LastErrorMessage.clear();
  FTerminatedCount = 0;
  FNextTaskIndex = -1;
  FWaitingCount = 0;
  FFinished = false;
  FBackgroundMode = false;
  FWorking = false;
}

void TCustomEncoder::StartTask(Integer Count) {
  CheckNotWorking("StartTask");
  // Nothing to run means no termination event would ever end the run: stay idle instead.
  if (Tasks.Count() == 0) return;
  {
    TLockScope lock(TerminateLock);
    for (Integer i = 0; i < Tasks.Count(); ++i) {
      TFFmpeg* t = Tasks.Items(i);
      t->StartRequested = t->CancelRequested = t->TerminationCounted = false;
    }
    FTerminatedCount = 0;
    FNextTaskIndex = 0;
    FWaitingCount = Tasks.Count();
    FFinished = false;
    FBackgroundMode = Count > 0;
    FWorking = true;
    // Tasks running side by side share the cores: each codec and filter graph of a task gets its
    // part of them instead of a thread per core, which would start several threads per core.
    const Integer parallel = FBackgroundMode ? std::min(Count, Tasks.Count()) : 1;
    FThreadShare = parallel > 1 ? (ProcessorCount() + parallel - 1) / parallel : 0;
  }
  std::exception_ptr failure;
  for (;;) {
    {
      TLockScope lock(TerminateLock);
      if (FWaitingCount <= 0) break;
    }
    try {
      StartNextTask();
    } catch (...) {
      // A handler that raised: the remaining tasks still run and the list's event still comes.
      if (!failure) failure = std::current_exception();
    }
    if (FBackgroundMode && --Count == 0) break;
  }
  if (failure) std::rethrow_exception(failure);
}

void TCustomEncoder::StartNextTask() {
  TFFmpeg* task;
  {
    TLockScope lock(TerminateLock);
    if (FWaitingCount <= 0) return;
    --FWaitingCount;
    task = Tasks.Items(FNextTaskIndex++);
    task->StartRequested = true;
    task->ProgressInterval = static_cast<Int64>(FProgressInterval) * 1000;
    task->ThreadShare = FThreadShare;
    if (FBackgroundMode) {
      // Under the lock, so a Stop sees the task either not taken or with its worker made.
      if (TConvertThread* worker = task->Start(true, ThreadPriority)) worker->Start();
      return;
    }
  }
  task->Start(false);
}

void TCustomEncoder::DoTerminate(TFFmpeg* Task) {
  std::exception_ptr failure;
  TerminateLock.Acquire();
  try {
    if (Task->TerminationCounted) {
      TerminateLock.Release();
      return;
    }
    Task->TerminationCounted = true;
    if (!FClosing && OnTerminate) {
      TerminateInfo.TaskIndex = Tasks.IndexOf(Task);
      TerminateInfo.Finished = Task->Finished;
      TerminateInfo.ExceptionRaised = Task->ExceptionRaised;
      TerminateInfo.ExceptionMessage = Task->ExceptionMessage;
      if (FBackgroundMode) {
        QueueTerminateDelivery(TerminateInfo, false);
      } else {
        // Not under the lock: a handler that stops the run must let cancelled tasks end.
        const TTerminateInfo info = TerminateInfo;
        TerminateLock.Release();
        try {
          CallTerminateHandler(info);
        } catch (...) {
          failure = std::current_exception();
        }
        TerminateLock.Acquire();
      }
    }
    ++FTerminatedCount;
    if (FWaitingCount >= 1) {
      if (FBackgroundMode) StartNextTask();
    } else if (FTerminatedCount >= Tasks.Count()) {
      AllTasksTerminated();
    }
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  TerminateLock.Release();
  // The task has closed its codecs and filters: what their frames used goes back to the system
  // now, so a long list of parallel tasks (Express) does not pile up the freed buffers of every
  // task in the allocator's arenas. Once per task, outside the lock, costs nothing a frame pays.
  ReturnFreedMemory();
  if (failure) std::rethrow_exception(failure);
}

void TCustomEncoder::AllTasksTerminated() {
  FFinished = true;
  // Every task has closed what it opened: what their frames used goes back to the system.
  ReturnFreedMemory();
  if (FClosing || !OnTerminate) return;
  TerminateInfo.TaskIndex = -1;
  TerminateInfo.Finished = true;
  TerminateInfo.ExceptionRaised = false;
  TerminateInfo.ExceptionMessage.clear();
  if (FBackgroundMode)
    QueueTerminateDelivery(TerminateInfo, true);
  else
    CallTerminateHandler(TerminateInfo);
}

void TCustomEncoder::Stop(bool Wait) {
  {
    TLockScope lock(TerminateLock);
    FWaitingCount = 0;
  }
  if (!FWorking) return;
  // Served from a handler during another Stop's wait: that Stop does the waiting; waiting here
  // as well could wait for the very worker that waits for this handler.
  if (FStopDepth > 0) Wait = false;
  ++FStopDepth;
  try {
    Tasks.StopAll(Wait);
  } catch (...) {
    --FStopDepth;
    throw;
  }
  --FStopDepth;
}

void TCustomEncoder::ChangeTaskPreviewFlags(const std::function<void()>& Change) {
  if (!IsMainThread() || Tasks.Count() == 0) {
    Change();
    return;
  }
  // A task showing a frame holds its preview lock while it waits for the main thread, so the
  // change is made by a helper while this thread keeps serving.
  std::atomic<bool> done{false};
  std::exception_ptr failure;
  std::thread helper([&] {
    try {
      Change();
    } catch (...) {
      failure = std::current_exception();
    }
    done = true;
    WakeMainThreadWaiters();
  });
  ServeMainThreadUntil([&] { return done.load(); }, INFINITE);
  helper.join();
  if (failure) std::rethrow_exception(failure);
}

void TCustomEncoder::SetPreview(bool Value) {
  ChangeTaskPreviewFlags([this, Value] { Tasks.SetPreview(Value); });
  FPreview = Value;
}

void TCustomEncoder::SetPreviewBitmap(bool Value) {
  ChangeTaskPreviewFlags([this, Value] { Tasks.SetPreviewBitmap(Value); });
  FPreviewBitmap = Value;
}

void TCustomEncoder::SetProgressInterval(Integer Value) { FProgressInterval = Value <= 100 ? 100 : Value; }

bool TCustomEncoder::TerminateDelivered() {
  std::lock_guard<std::mutex> guard(FDeliveries->Lock);
  return FDeliveries->Pending == 0;
}

void TCustomEncoder::Deliver(const std::function<void()>& Method) {
  if (TriggerEventInMainThread)
    RunInMainThread(Method);
  else
    Method();
}

void TCustomEncoder::DoProgress(TFFmpeg* Task, const TTaskProgress& Progress) {
  if (FClosing || !OnProgress) return;
  TLockScope lock(ProgressLock);
  ProgressInfo.TaskIndex = Tasks.IndexOf(Task);
  ProgressInfo.FileIndex = Progress.FileIndex;
  ProgressInfo.FrameNumber = Progress.FrameNumber;
  ProgressInfo.FPS = Progress.FPS;
  ProgressInfo.Quality = Progress.Quality;
  ProgressInfo.BitRate = Progress.BitRate;
  ProgressInfo.TotalSize = Progress.TotalSize;
  ProgressInfo.CurrentTime = Progress.CurrentTime;
  ProgressInfo.TotalDuration = Progress.TotalDuration;
  Deliver([this] {
    if (!FClosing && OnProgress) OnProgress(this, &ProgressInfo);
  });
}

void TCustomEncoder::DoPreviewBitmap(TFFmpeg* Task, const TTaskBitmap& Frame) {
  if (FClosing || !OnPreviewBitmap) return;
  TLockScope lock(PreviewBitmapLock);
  PreviewInfo.TaskIndex = Tasks.IndexOf(Task);
  PreviewInfo.Bitmap = Frame.Bitmap;
  PreviewInfo.FrameNumber = Frame.FrameNumber;
  PreviewInfo.PTS = Frame.PTS;
  Deliver([this] {
    if (!FClosing && OnPreviewBitmap) OnPreviewBitmap(this, PreviewInfo);
  });
}

void TCustomEncoder::DoBeforeFindStreamInfo(TFFmpeg* Task, AVFormatContext* FormatContext) {
  if (FClosing || !OnBeforeFindStreamInfo) return;
  TLockScope lock(BeforeFindLock);
  BeforeFindTask = Task;
  BeforeFindContext = FormatContext;
  Deliver([this] {
    if (!FClosing && OnBeforeFindStreamInfo) OnBeforeFindStreamInfo(BeforeFindTask, BeforeFindContext);
  });
}

void TCustomEncoder::RunVideoHook(const TVideoHookEvent& Handler, TFFmpeg* Task, TTaskBitmap& Frame) {
  TLockScope lock(VideoHookLock);
  if (FClosing || !Handler) return;
  HookInfo.TaskIndex = Tasks.IndexOf(Task);
  HookInfo.Bitmap = Frame.Bitmap;
  HookInfo.FrameNumber = Frame.FrameNumber;
  HookInfo.PTS = Frame.PTS;
  HookInfo.Update = Frame.Update;
  HookInfo.StopHook = Frame.StopHook;
  TCanvas* canvas = Frame.Bitmap ? Frame.Bitmap->Canvas() : nullptr;
  if (canvas) canvas->Lock();
  try {
    Handler(this, &HookInfo);
  } catch (...) {
    if (canvas) canvas->Unlock();
    throw;
  }
  if (canvas) canvas->Unlock();
  Frame.Update = HookInfo.Update;
  Frame.StopHook = HookInfo.StopHook;
}

void TCustomEncoder::DoVideoInputHook(TFFmpeg* Task, TTaskBitmap& Frame) {
  if (!OnVideoInputHook) return;
  RunVideoHook(OnVideoInputHook, Task, Frame);
}

void TCustomEncoder::DoVideoOutputHook(TFFmpeg* Task, TTaskBitmap& Frame) {
  if (!OnVideoOutputHook) return;
  RunVideoHook(OnVideoOutputHook, Task, Frame);
}

void TCustomEncoder::RunFrameHook(const TFrameHookEvent& Handler, TFFmpeg* Task, const TTaskFrame& Frame) {
  TLockScope lock(FrameHookLock);
  if (FClosing || !Handler) return;
  FrameHookInfo.TaskIndex = Tasks.IndexOf(Task);
  FrameHookInfo.FrameNumber = Frame.FrameNumber;
  FrameHookInfo.Picture = Frame.Picture;
  FrameHookInfo.PixFmt = Frame.PixFmt;
  FrameHookInfo.Width = Frame.Width;
  FrameHookInfo.Height = Frame.Height;
  FrameHookInfo.PTS = Frame.PTS;
  Handler(this, &FrameHookInfo);
}

void TCustomEncoder::DoFrameInputHook(TFFmpeg* Task, const TTaskFrame& Frame) {
  if (!OnFrameInputHook) return;
  RunFrameHook(OnFrameInputHook, Task, Frame);
}

void TCustomEncoder::DoFrameOutputHook(TFFmpeg* Task, const TTaskFrame& Frame) {
  if (!OnFrameOutputHook) return;
  RunFrameHook(OnFrameOutputHook, Task, Frame);
}

void TCustomEncoder::RunAudioHook(const TAudioHookEvent& Handler, TFFmpeg* Task, const TTaskAudio& Audio) {
  TLockScope lock(AudioHookLock);
  if (FClosing || !Handler) return;
  Handler(this, Tasks.IndexOf(Task), Audio.PTS, static_cast<Byte*>(Audio.Sample), Audio.Size, Audio.SampleRate,
          Audio.Channels, Audio.SampleFormat);
}

void TCustomEncoder::DoAudioInputHook(TFFmpeg* Task, const TTaskAudio& Audio) {
  if (!OnAudioInputHook) return;
  RunAudioHook(OnAudioInputHook, Task, Audio);
}

void TCustomEncoder::DoAudioOutputHook(TFFmpeg* Task, const TTaskAudio& Audio) {
  if (!OnAudioOutputHook) return;
  RunAudioHook(OnAudioOutputHook, Task, Audio);
}

void TCustomEncoder::QueueTerminateDelivery(const TTerminateInfo& Info, bool WaitForPrevious) {
  JoinDeliveryThreads(false);
  {
    std::lock_guard<std::mutex> guard(FDeliveries->Lock);
    if (!WaitForPrevious) ++FDeliveries->Pending;
  }
  auto* thread = new FFEncode::TDoTerminateThread(this, Info, WaitForPrevious, TriggerEventInMainThread);
  std::lock_guard<std::mutex> guard(FDeliveries->Lock);
  FDeliveries->Threads.push_back(thread);
}

void TCustomEncoder::CallTerminateHandler(const TTerminateInfo& Info) {
  if (!FClosing && OnTerminate) OnTerminate(this, Info);
}

void TCustomEncoder::TaskDeliveryDone() {
  std::lock_guard<std::mutex> guard(FDeliveries->Lock);
  --FDeliveries->Pending;
  FDeliveries->Changed.notify_all();
}

void TCustomEncoder::WaitForTaskDeliveries() {
  std::unique_lock<std::mutex> guard(FDeliveries->Lock);
  FDeliveries->Changed.wait(guard, [this] { return FDeliveries->Pending <= 0 || FClosing; });
}

void TCustomEncoder::JoinDeliveryThreads(bool All) {
  std::vector<FFEncode::TDoTerminateThread*> done;
  {
    std::lock_guard<std::mutex> guard(FDeliveries->Lock);
    for (auto it = FDeliveries->Threads.begin(); it != FDeliveries->Threads.end();) {
      if (All || (*it)->Finished()) {
        done.push_back(*it);
        it = FDeliveries->Threads.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto* t : done) delete t;  // joins; on the main thread while serving hand-overs
}
