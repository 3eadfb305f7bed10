#include "media/components/encoder.h"

#include <thread>

#include "media/binding/loader.h"
#include "media/components/decoder.h"
#include "platform/gui/bitmap.h"
#include "platform/gui/canvas.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/heap.h"
#include "platform/rtl/mainthread.h"
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

TCustomEncoder::TCustomEncoder(TComponent* AOwner) : TFFBaseComponent(AOwner), Decoder(new TFFDecoder(nullptr)) {
  // Parallel tasks free frame buffers by the hundred; kept in the allocator's pools they would
  // hold the process at its busiest size long after the run.
  ReturnLargeBlocksAtOnce();
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
    std::lock_guard<std::mutex> guard(FDeliveryLock);
    FDeliveryChanged.notify_all();
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
    task->PreviewBitmapProc = [this, task](TObject*, TBitmap* Bitmap, Integer FrameNumber, Int64 PTS) {
      DoPreviewBitmap(task, Bitmap, FrameNumber, PTS);
    };
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
    task->ProgressProc = [this, task](TObject*, Integer FileIndex, Integer FrameNumber, Integer FPS, float Quality,
                                      float BitRate, Int64 TotalSize, Int64 CurrentTime, Int64 TotalDuration) {
      DoProgress(task, FileIndex, FrameNumber, FPS, Quality, BitRate, TotalSize, CurrentTime, TotalDuration);
    };
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
        task->AudioInputHookProc = [this, task](TObject*, void* Sample, Int64 PTS, Integer Size, Integer SampleRate,
                                                Integer Channels, Integer SampleFormat) {
          DoAudioInputHook(task, Sample, PTS, Size, SampleRate, Channels, SampleFormat);
        };
      if (Options->AudioOutputHook)
        task->AudioOutputHookProc = [this, task](TObject*, void* Sample, Int64 PTS, Integer Size, Integer SampleRate,
                                                 Integer Channels, Integer SampleFormat) {
          DoAudioOutputHook(task, Sample, PTS, Size, SampleRate, Channels, SampleFormat);
        };
      if (Options->VideoInputHook)
        task->VideoInputHookProc = [this, task](TObject*, TBitmap* Bitmap, Integer FrameNumber, Int64 PTS,
                                                bool& Update, bool& StopHook) {
          DoVideoInputHook(task, Bitmap, FrameNumber, PTS, Update, StopHook);
        };
      if (Options->VideoOutputHook)
        task->VideoOutputHookProc = [this, task](TObject*, TBitmap* Bitmap, Integer FrameNumber, Int64 PTS,
                                                 bool& Update, bool& StopHook) {
          DoVideoOutputHook(task, Bitmap, FrameNumber, PTS, Update, StopHook);
        };
      task->SetHookBitsPixel(Options->VideoHookBitsPixel);
      if (Options->FrameInputHook)
        task->SetFrameInputHandler([this, task](TObject*, void* Picture, Integer PixFmt, Integer FrameNumber,
                                                Integer Width, Integer Height, Int64 PTS) {
          DoFrameInputHook(task, Picture, PixFmt, FrameNumber, Width, Height, PTS);
        });
      if (Options->FrameOutputHook)
        task->FrameOutputHookProc = [this, task](TObject*, void* Picture, Integer PixFmt, Integer FrameNumber,
                                                 Integer Width, Integer Height, Int64 PTS) {
          DoFrameOutputHook(task, Picture, PixFmt, FrameNumber, Width, Height, PTS);
        };
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
  std::lock_guard<std::mutex> guard(FDeliveryLock);
  return FPendingDeliveries == 0;
}

void TCustomEncoder::Deliver(const std::function<void()>& Method) {
  if (TriggerEventInMainThread)
    RunInMainThread(Method);
  else
    Method();
}

void TCustomEncoder::DoProgress(TFFmpeg* Task, Integer FileIndex, Integer FrameNumber, Integer FPS, float Quality,
                                float BitRate, Int64 TotalSize, Int64 CurrentTime, Int64 TotalDuration) {
  if (FClosing || !OnProgress) return;
  TLockScope lock(ProgressLock);
  ProgressInfo.TaskIndex = Tasks.IndexOf(Task);
  ProgressInfo.FileIndex = FileIndex;
  ProgressInfo.FrameNumber = FrameNumber;
  ProgressInfo.FPS = FPS;
  ProgressInfo.Quality = Quality;
  ProgressInfo.BitRate = BitRate;
  ProgressInfo.TotalSize = TotalSize;
  ProgressInfo.CurrentTime = CurrentTime;
  ProgressInfo.TotalDuration = TotalDuration;
  Deliver([this] {
    if (!FClosing && OnProgress) OnProgress(this, &ProgressInfo);
  });
}

void TCustomEncoder::DoPreviewBitmap(TFFmpeg* Task, TBitmap* Bitmap, Integer FrameNumber, Int64 PTS) {
  if (FClosing || !OnPreviewBitmap) return;
  TLockScope lock(PreviewBitmapLock);
  PreviewInfo.TaskIndex = Tasks.IndexOf(Task);
  PreviewInfo.Bitmap = Bitmap;
  PreviewInfo.FrameNumber = FrameNumber;
  PreviewInfo.PTS = PTS;
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

void TCustomEncoder::RunVideoHook(const TVideoHookEvent& Handler, TFFmpeg* Task, TBitmap* Bitmap,
                                  Integer FrameNumber, Int64 PTS, bool& Update, bool& StopHook) {
  TLockScope lock(VideoHookLock);
  if (FClosing || !Handler) return;
  HookInfo.TaskIndex = Tasks.IndexOf(Task);
  HookInfo.Bitmap = Bitmap;
  HookInfo.FrameNumber = FrameNumber;
  HookInfo.PTS = PTS;
  HookInfo.Update = Update;
  HookInfo.StopHook = StopHook;
  TCanvas* canvas = Bitmap ? Bitmap->Canvas() : nullptr;
  if (canvas) canvas->Lock();
  try {
    Handler(this, &HookInfo);
  } catch (...) {
    if (canvas) canvas->Unlock();
    throw;
  }
  if (canvas) canvas->Unlock();
  Update = HookInfo.Update;
  StopHook = HookInfo.StopHook;
}

void TCustomEncoder::DoVideoInputHook(TFFmpeg* Task, TBitmap* Bitmap, Integer FrameNumber, Int64 PTS, bool& Update,
                                      bool& StopHook) {
  if (!OnVideoInputHook) return;
  RunVideoHook(OnVideoInputHook, Task, Bitmap, FrameNumber, PTS, Update, StopHook);
}

void TCustomEncoder::DoVideoOutputHook(TFFmpeg* Task, TBitmap* Bitmap, Integer FrameNumber, Int64 PTS, bool& Update,
                                       bool& StopHook) {
  if (!OnVideoOutputHook) return;
  RunVideoHook(OnVideoOutputHook, Task, Bitmap, FrameNumber, PTS, Update, StopHook);
}

void TCustomEncoder::RunFrameHook(const TFrameHookEvent& Handler, TFFmpeg* Task, void* Picture, Integer PixFmt,
                                  Integer FrameNumber, Integer Width, Integer Height, Int64 PTS) {
  TLockScope lock(FrameHookLock);
  if (FClosing || !Handler) return;
  FrameHookInfo.TaskIndex = Tasks.IndexOf(Task);
  FrameHookInfo.FrameNumber = FrameNumber;
  FrameHookInfo.Picture = Picture;
  FrameHookInfo.PixFmt = PixFmt;
  FrameHookInfo.Width = Width;
  FrameHookInfo.Height = Height;
  FrameHookInfo.PTS = PTS;
  Handler(this, &FrameHookInfo);
}

void TCustomEncoder::DoFrameInputHook(TFFmpeg* Task, void* Picture, Integer PixFmt, Integer FrameNumber,
                                      Integer Width, Integer Height, Int64 PTS) {
  if (!OnFrameInputHook) return;
  RunFrameHook(OnFrameInputHook, Task, Picture, PixFmt, FrameNumber, Width, Height, PTS);
}

void TCustomEncoder::DoFrameOutputHook(TFFmpeg* Task, void* Picture, Integer PixFmt, Integer FrameNumber,
                                       Integer Width, Integer Height, Int64 PTS) {
  if (!OnFrameOutputHook) return;
  RunFrameHook(OnFrameOutputHook, Task, Picture, PixFmt, FrameNumber, Width, Height, PTS);
}

void TCustomEncoder::RunAudioHook(const TAudioHookEvent& Handler, TFFmpeg* Task, void* Sample, Int64 PTS,
                                  Integer Size, Integer SampleRate, Integer Channels, Integer SampleFormat) {
  TLockScope lock(AudioHookLock);
  if (FClosing || !Handler) return;
  Handler(this, Tasks.IndexOf(Task), PTS, static_cast<Byte*>(Sample), Size, SampleRate, Channels, SampleFormat);
}

void TCustomEncoder::DoAudioInputHook(TFFmpeg* Task, void* Sample, Int64 PTS, Integer Size, Integer SampleRate,
                                      Integer Channels, Integer SampleFormat) {
  if (!OnAudioInputHook) return;
  RunAudioHook(OnAudioInputHook, Task, Sample, PTS, Size, SampleRate, Channels, SampleFormat);
}

void TCustomEncoder::DoAudioOutputHook(TFFmpeg* Task, void* Sample, Int64 PTS, Integer Size, Integer SampleRate,
                                       Integer Channels, Integer SampleFormat) {
  if (!OnAudioOutputHook) return;
  RunAudioHook(OnAudioOutputHook, Task, Sample, PTS, Size, SampleRate, Channels, SampleFormat);
}

void TCustomEncoder::QueueTerminateDelivery(const TTerminateInfo& Info, bool WaitForPrevious) {
  JoinDeliveryThreads(false);
  {
    std::lock_guard<std::mutex> guard(FDeliveryLock);
    if (!WaitForPrevious) ++FPendingDeliveries;
  }
  auto* thread = new FFEncode::TDoTerminateThread(this, Info, WaitForPrevious, TriggerEventInMainThread);
  std::lock_guard<std::mutex> guard(FDeliveryLock);
  FDeliveryThreads.push_back(thread);
}

void TCustomEncoder::CallTerminateHandler(const TTerminateInfo& Info) {
  if (!FClosing && OnTerminate) OnTerminate(this, Info);
}

void TCustomEncoder::TaskDeliveryDone() {
  std::lock_guard<std::mutex> guard(FDeliveryLock);
  --FPendingDeliveries;
  FDeliveryChanged.notify_all();
}

void TCustomEncoder::WaitForTaskDeliveries() {
  std::unique_lock<std::mutex> guard(FDeliveryLock);
  FDeliveryChanged.wait(guard, [this] { return FPendingDeliveries <= 0 || FClosing; });
}

void TCustomEncoder::JoinDeliveryThreads(bool All) {
  std::vector<FFEncode::TDoTerminateThread*> done;
  {
    std::lock_guard<std::mutex> guard(FDeliveryLock);
    for (auto it = FDeliveryThreads.begin(); it != FDeliveryThreads.end();) {
      if (All || (*it)->Finished()) {
        done.push_back(*it);
        it = FDeliveryThreads.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto* t : done) delete t;  // joins; on the main thread while serving hand-overs
}
