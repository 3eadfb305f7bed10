// The task object: its start, stop, cancel, run with exception capture, and destruction.
#include "media/engine/transcode_task.h"

#include <algorithm>
#include <cstring>

#include "media/binding/engine_utils.h"
#include "media/binding/entry_points.h"
#include "media/binding/ffmpeg_exception.h"
#include "media/binding/loader.h"
#include "media/engine/encode_worker.h"
#include "media/engine/frame_hook.h"
#include "platform/rtl/sysutils.h"

TCriticalSection& TranscodePreviewLock() {
  static TCriticalSection lock;
  return lock;
}

namespace {

TCriticalSection& PreviewLock() { return TranscodePreviewLock(); }

// One lock over every task's open-codec lists.
TCriticalSection& CodecListLock() {
  static TCriticalSection lock;
  return lock;
}

// Runs the terminate step of a task that never started, away from the caller's thread.
class TDoTerminateThread : public TThread {
 public:
  explicit TDoTerminateThread(TCustomFFmpeg* ATask) : TThread(true), Task(ATask) { Start(); }
  ~TDoTerminateThread() override {
    Terminate();
    WaitFor();
  }

 protected:
  void Execute() override {
    if (!Task) return;
    Task->TerminateEvent->ResetEvent();
    try {
      Task->DoTerminate();
    } catch (...) {
    }
    Task->TerminateEvent->SetEvent();
  }

 private:
  TCustomFFmpeg* Task;
};

// The terminate threads of cancelled tasks, by task, so a task joins its own before it goes.
struct TTerminateThreads {
  std::mutex Lock;
  std::vector<std::pair<TCustomFFmpeg*, TThread*>> Items;
};
TTerminateThreads& TerminateThreads() {
  static TTerminateThreads t;
  return t;
}

void WaitOnEvent(TEvent* Event) {
  // The main thread keeps serving hand-overs while it waits: a worker may be blocked in one.
  for (;;) {
    if (Event->WaitFor(20) == wrSignaled) return;
    if (GetCurrentThreadId() == MainThreadID) {
      CheckSynchronize();
      ProcessMessages();
    }
  }
}

}  // namespace

TConvertThread::TConvertThread(TCustomFFmpeg* ATask, TThreadPriority Priority) : TThread(true), Task(ATask) {
  SetPriority(Priority);
}

TConvertThread::~TConvertThread() {
  if (!Suspended()) {
    Terminate();
    WaitFor();
  }
}

void TConvertThread::Execute() {
  if (!Task) return;
  Task->FinishedEvent->ResetEvent();
  try {
    Task->Run();
  } catch (...) {
  }
  Task->FinishedEvent->SetEvent();
}

TCustomFFmpeg::TCustomFFmpeg() {
  InitOptionTable();
  EngineAssert(FFLoader()->AllLoaded(AllLibraries), "The FFmpeg library set is not loaded");
  FinishedEvent = new TEvent(true, true);
  TerminateEvent = new TEvent(true, true);
  HookConverter = new TFormatConverter();
  PreviewConverter = new TFormatConverter();
}

TCustomFFmpeg::~TCustomFFmpeg() {
  const bool onWorker = FThread && FThread->ThreadID() == GetCurrentThreadId();
  if (!onWorker) Stop(true);
  if (FThread && !onWorker) {
    // A worker created but never started is simply dropped; a started one is joined.
    if (!FThread->Suspended()) FThread->WaitFor();
    delete FThread;
    FThread = nullptr;
  }
  {
    std::vector<TThread*> mine;
    {
      std::lock_guard<std::mutex> guard(TerminateThreads().Lock);
      auto& items = TerminateThreads().Items;
      for (auto it = items.begin(); it != items.end();) {
        if (it->first == this) {
          mine.push_back(it->second);
          it = items.erase(it);
        } else {
          ++it;
        }
      }
    }
    for (TThread* t : mine) delete t;  // joins
  }
  try {
    CloseAll();
  } catch (...) {
  }
  ff::av_packet_free(&FPacket);
  for (char*& text : FVHookArgs) ff::av_freep(&text);
  delete HookConverter;
  delete PreviewConverter;
  delete FinishedEvent;
  delete TerminateEvent;
}

TConvertThread* TCustomFFmpeg::Start(bool InThread, TThreadPriority Priority) {
  if (Running || Ended) return nullptr;
  try {
    if (OutputFiles.empty()) {
      CloseAll();
      throw FFmpegException("At least one output file must be specified");
    }
    if (InputFiles.empty()) {
      CloseAll();
      throw FFmpegException("At least one input file must be specified");
    }
  } catch (const Exception& e) {
    FFLogger()->Log(this, llQuiet, e.Message);
    ExceptionRaised = true;
    ExceptionMessage = e.Message;
    DoTerminate();
    return nullptr;
  }
  Running = true;
  IOBroken = false;
  Finished = false;
  Ended = false;
  if (!InThread) {
    Run();
    return nullptr;
  }
  FThread = new TConvertThread(this, Priority);
  WorkerThread = FThread;
  // Non-signalled from here, so a Stop with waiting made before the thread runs still waits.
  FinishedEvent->ResetEvent();
  return FThread;
}

void TCustomFFmpeg::Stop(bool Wait) {
  IOBroken = true;
  TConvertThread* t = WorkerThread.load();
  if (!t && FThread && !FThread->Finished()) t = FThread;
  if (!t) return;
  if (t->Suspended()) t->Resume();
  if (Wait && GetCurrentThreadId() != t->ThreadID()) WaitOnEvent(FinishedEvent);
}

void TCustomFFmpeg::Cancel(bool Wait) {
  if (Running) {
    Stop(Wait);
    return;
  }
  if (Ended) return;
  TerminateEvent->ResetEvent();
  auto* t = new TDoTerminateThread(this);
  {
    std::lock_guard<std::mutex> guard(TerminateThreads().Lock);
    TerminateThreads().Items.emplace_back(this, t);
  }
  if (Wait) WaitOnEvent(TerminateEvent);
}

void TCustomFFmpeg::Run() {
  Finished = false;
  auto record = [this](const AnsiString& Message) {
    FFLogger()->Log(this, llQuiet, Message);
    ExceptionRaised = true;
    ExceptionMessage = Message;
  };
  std::exception_ptr other;
  try {
    Transcode();
  } catch (const Exception& e) {
    record(e.Message);
  } catch (...) {
    other = std::current_exception();
  }
  const std::function<void()> steps[] = {[this] { CloseOpenEncoders(); }, [this] { CloseOpenDecoders(); },
                                         [this] { CloseAll(); }, [this] { DoTerminate(); }};
  for (const auto& step : steps) {
    try {
      step();
    } catch (const Exception& e) {
      record(e.Message);
    } catch (...) {
      record("Unknown failure while ending the task");
    }
  }
  if (other) std::rethrow_exception(other);
}

void TCustomFFmpeg::DoTerminate() {
  Running = false;
  Ended = true;
  WorkerThread = nullptr;
  if (TerminateProc) TerminateProc(this);
}

void TCustomFFmpeg::CloseAll() {
  EngineAssert(FFLoader()->AllLoaded(AllLibraries), "The FFmpeg library set is not loaded");
  Cleanup();
  FrameHookRelease(VHookModules);
  VHookPresent = false;
  TCriticalSection& lock = PreviewLock();
  lock.Acquire();
  delete Previewer;
  Previewer = nullptr;
  LastPreviewTime = 0;
  lock.Release();
}

void TCustomFFmpeg::ApplyPreviewFlags(int Flags) {
  if (Flags == FPreviewFlags) return;
  if ((FPreviewFlags & PreviewWindowFlag) && !(Flags & PreviewWindowFlag)) {
    delete Previewer;
    Previewer = nullptr;
  }
  FPreviewFlags = Flags;
}

void TCustomFFmpeg::SetPreviewFlags(int Flags) {
  TCriticalSection& lock = PreviewLock();
  // A task showing a frame holds the lock while it waits for the main thread to draw it: the
  // main thread keeps serving those hand-overs until the lock is free.
  if (GetCurrentThreadId() == MainThreadID) {
    while (!lock.TryEnter()) {
      if (!CheckSynchronize(1)) Sleep(1);
    }
  } else {
    lock.Acquire();
  }
  ApplyPreviewFlags(Flags);
  FPreviewFlagsChanged = true;
  lock.Release();
}

void TCustomFFmpeg::SetHookBitsPixel(int BitsPixel) {
  HookConverter->SetBitsPixel(BitsPixel);
  PreviewConverter->SetBitsPixel(BitsPixel);
}

int TCustomFFmpeg::OptVHook(void*, const AnsiString&, const AnsiString& Arg) {
  char* text = ff::av_strdup(Arg.c_str());
  if (!text) RaiseError("Failed to add video hook function: " + Arg);
  FVHookArgs.push_back(text);
  const char* separators = std::strchr(text, '|') ? "|" : " ";
  char* args[FrameHookMaxArgIndex + 1] = {};
  int count = 0;
  char* save = nullptr;
  for (char* token = strtok_r(text, separators, &save); token && count <= FrameHookMaxArgIndex;
       token = strtok_r(nullptr, separators, &save))
    args[count++] = token;
  if (FrameHookAdd(VHookModules, count, args) != 0) RaiseError("Failed to add video hook function: " + Arg);
  VHookPresent = true;
  return 0;
}

int TCustomFFmpeg::OptVideoHookBitsPixel(void*, const AnsiString&, const AnsiString& Arg) {
  try {
    const int bits = StrToInt(Arg);
    // Check first, so a refused depth leaves both converters as they were.
    TFormatConverter probe;
    probe.SetBitsPixel(bits);
    SetHookBitsPixel(bits);
    return 0;
  } catch (const Exception& e) {
    LastOptionMessage = e.Message;
    Log(llError, e.Message);
    return AVERROR(EINVAL);
  }
}

void TCustomFFmpeg::RegisterOpenCodec(std::vector<void*>& List, void* Stream) {
  TCriticalSection& lock = CodecListLock();
  lock.Acquire();
  List.insert(List.begin(), Stream);
  lock.Release();
}

void TCustomFFmpeg::UnregisterOpenCodec(std::vector<void*>& List, void* Stream) {
  TCriticalSection& lock = CodecListLock();
  lock.Acquire();
  auto it = std::find(List.begin(), List.end(), Stream);
  if (it != List.end()) List.erase(it);
  lock.Release();
}

void TCustomFFmpeg::CloseOpenEncoders() {
  TCriticalSection& lock = CodecListLock();
  lock.Acquire();
  for (void* p : OpenEncoders) {
    auto* ost = static_cast<TOutputStream*>(p);
    if (ost->EncodingNeeded && ost->EncCtx) {
      ff::av_freep(&ost->EncCtx->stats_in);
      ff::avcodec_close(ost->EncCtx);
      ost->CodecClosed = 1;
    }
  }
  OpenEncoders.clear();
  lock.Release();
}

void TCustomFFmpeg::CloseOpenDecoders() {
  TCriticalSection& lock = CodecListLock();
  lock.Acquire();
  for (void* p : OpenDecoders) {
    auto* ist = static_cast<TInputStream*>(p);
    if (ist->DecodingNeeded && ist->DecCtx) ff::avcodec_close(ist->DecCtx);
  }
  OpenDecoders.clear();
  lock.Release();
}

TCustomFFmpeg::TInputState& TCustomFFmpeg::IState(TInputStream* Ist) {
  if (FInputState.size() < InputStreams.size()) FInputState.resize(InputStreams.size());
  const auto it = std::find(InputStreams.begin(), InputStreams.end(), Ist);
  EngineAssert(it != InputStreams.end(), "Unknown input stream");
  return FInputState[static_cast<size_t>(it - InputStreams.begin())];
}

int TCustomFFmpeg::OutputIndex(TOutputStream* Ost) const {
  const auto it = std::find(OutputStreams.begin(), OutputStreams.end(), Ost);
  EngineAssert(it != OutputStreams.end(), "Unknown output stream");
  return static_cast<int>(it - OutputStreams.begin());
}

TCustomFFmpeg::TOutputState& TCustomFFmpeg::OState(TOutputStream* Ost) {
  if (FOutputState.size() < OutputStreams.size()) FOutputState.resize(OutputStreams.size());
  return FOutputState[static_cast<size_t>(OutputIndex(Ost))];
}
