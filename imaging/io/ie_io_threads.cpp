#include "imaging/io/ie_io_threads.h"

#include <algorithm>

#include "imaging/io/ie_zodiver_io.h"
#include "imaging/view/ie_view.h"
#include "platform/rtl/mainthread.h"

namespace {

thread_local Integer SynchronousDepth = 0;

}  // namespace

// --- the threads ---------------------------------------------------------------------------

TIEIOThread::TIEIOThread(TZodivErIO* IO, Integer Kind)
    : TThread(true), FIO(IO), FList(IO->FThreads.get()), FKind(Kind) {}

TIEIOThread* TIEIOThread::Launch(TIEIOThread* Thread) {
  TIEIOThreadList* List = Thread->FList;
  List->Lock.Enter();
  List->Threads.push_back(Thread);
  List->Lock.Leave();
  try {
    Thread->Start();
  } catch (...) {
    List->Lock.Enter();
    std::erase(List->Threads, Thread);
    List->Lock.Leave();
    delete Thread;
    throw;
  }
  return Thread;
}

TIEIOThread* TIEIOThread::CreateFile(TZodivErIO* IO, TFileProc Method, const WideString& FileName) {
  auto* T = new TIEIOThread(IO, 0);
  T->FFileProc = Method;
  T->FFileName = FileName;
  return Launch(T);
}

TIEIOThread* TIEIOThread::CreateStream(TZodivErIO* IO, TStreamProc Method, TStream* Stream) {
  auto* T = new TIEIOThread(IO, 1);
  T->FStreamProc = Method;
  T->FStream = Stream;
  return Launch(T);
}

TIEIOThread* TIEIOThread::CreateFileFunc(TZodivErIO* IO, TFileFunc Method, const WideString& FileName) {
  auto* T = new TIEIOThread(IO, 2);
  T->FFileFunc = Method;
  T->FFileName = FileName;
  return Launch(T);
}

TIEIOThread* TIEIOThread::CreateStreamFunc(TZodivErIO* IO, TStreamFunc Method, TStream* Stream) {
  auto* T = new TIEIOThread(IO, 4);
  T->FStreamFunc = Method;
  T->FStream = Stream;
  return Launch(T);
}

TIEIOThread* TIEIOThread::CreateFileInt(TZodivErIO* IO, TFileIntProc Method, const WideString& FileName,
                                        Integer Value) {
  auto* T = new TIEIOThread(IO, 5);
  T->FFileIntProc = Method;
  T->FFileName = FileName;
  T->FInt1 = Value;
  return Launch(T);
}

TIEIOThread* TIEIOThread::CreateStreamInt(TZodivErIO* IO, TStreamIntProc Method, TStream* Stream, Integer Value) {
  auto* T = new TIEIOThread(IO, 6);
  T->FStreamIntProc = Method;
  T->FStream = Stream;
  T->FInt1 = Value;
  return Launch(T);
}

TIEIOThread* TIEIOThread::CreateInt(TZodivErIO* IO, TIntProc Method, Integer Value) {
  auto* T = new TIEIOThread(IO, 8);
  T->FIntProc = Method;
  T->FInt1 = Value;
  return Launch(T);
}

TIEIOThread* TIEIOThread::CreateMetafile(TZodivErIO* IO, TMetafileProc Method, const WideString& FileName,
                                         Integer Width, Integer Height, bool WithAlpha) {
  auto* T = new TIEIOThread(IO, 9);
  T->FMetafileProc = Method;
  T->FFileName = FileName;
  T->FInt1 = Width;
  T->FInt2 = Height;
  T->FBool = WithAlpha;
  return Launch(T);
}

TIEIOThread* TIEIOThread::CreateURL(TZodivErIO* IO, TFileProc Method, const WideString& Address) {
  auto* T = new TIEIOThread(IO, 10);
  T->FFileProc = Method;
  T->FAddress = Address;
  return Launch(T);
}

void TIEIOThread::Execute() {
  FList->Lock.Enter();
  FThreadId = GetCurrentThreadId();
  FList->Lock.Leave();
  TZodivErIO* IO = FIO;
  try {
    switch (FKind) {
      case 0: (IO->*FFileProc)(FFileName); break;
      case 1: (IO->*FStreamProc)(FStream); break;
      case 2: (void)(IO->*FFileFunc)(FFileName); break;
      case 4: (void)(IO->*FStreamFunc)(FStream); break;
      case 5: (IO->*FFileIntProc)(FFileName, FInt1); break;
      case 6: (IO->*FStreamIntProc)(FStream, FInt1); break;
      case 8: (IO->*FIntProc)(FInt1); break;
      case 9: (IO->*FMetafileProc)(FFileName, FInt1, FInt2, FBool); break;
      case 10: (IO->*FFileProc)(FAddress); break;
      default: break;
    }
  } catch (...) {
    // Nobody is there to catch it: the caller learns of the failure from Aborting.
    IO->Aborting = true;
  }
  FreeOnTerminate = true;
  TIEIOThreadList* List = FList;
  List->Lock.Enter();
  std::erase(List->Threads, this);
  List->Lock.Leave();
  // From here on the component may be gone: only the process-wide queue is touched.
  WakeMainThreadWaiters();
}

// --- the component's side ------------------------------------------------------------------

TIESynchronousScope::TIESynchronousScope() { ++SynchronousDepth; }
TIESynchronousScope::~TIESynchronousScope() { --SynchronousDepth; }
bool TIESynchronousScope::Active() { return SynchronousDepth > 0; }

bool TZodivErIO::IsInsideAsyncThread() const {
  const DWORD Self = GetCurrentThreadId();
  FThreads->Lock.Enter();
  const bool Inside = std::any_of(FThreads->Threads.begin(), FThreads->Threads.end(),
                                  [Self](const TIEIOThread* T) { return T->RunningThreadId() == Self; });
  FThreads->Lock.Leave();
  return Inside;
}

void TZodivErIO::ResumeThreads() {
  FThreads->Lock.Enter();
  for (TIEIOThread* T : FThreads->Threads)
    if (T->Suspended()) T->Resume();
  FThreads->Lock.Leave();
}

Integer TZodivErIO::OtherThreadsRunning(bool Abort) {
  const DWORD Self = GetCurrentThreadId();
  FThreads->Lock.Enter();
  if (Abort) Aborting = true;
  const auto Count = std::count_if(FThreads->Threads.begin(), FThreads->Threads.end(),
                                   [Self](const TIEIOThread* T) { return T->RunningThreadId() != Self; });
  FThreads->Lock.Leave();
  return Integer(Count);
}

// A worker may be handing a call to the main thread (to make the view's window, or to reach a
// view or a picture control) while the main thread waits here: so the main thread keeps serving
// those calls while it waits, or both would wait for each other for ever. A worker that waits
// for its own component's threads does not count itself.
void TZodivErIO::WaitThreads(bool Abort) {
  for (;;) {
    ResumeThreads();
    if (OtherThreadsRunning(Abort) == 0) return;
    // Aborting is raised again on each round: a load that had not started yet clears it first.
    if (IsMainThread()) ServeMainThreadUntil([this] { return OtherThreadsRunning(false) == 0; }, 20);
    else Sleep(1);
  }
}

bool TZodivErIO::StartsThread() const {
  const bool NotOwned = FAttachedZodivEr || FAttachedTImage || !FOwnsImage;
  return AsyncMode && NotOwned && !TIESynchronousScope::Active() && !IsInsideAsyncThread();
}

bool TZodivErIO::InThread(TIEIOThread::TFileProc Method, const WideString& FileName) {
  if (!StartsThread()) return false;
  TIEIOThread::CreateFile(this, Method, FileName);
  return true;
}

bool TZodivErIO::InThread(TIEIOThread::TStreamProc Method, TStream* Stream) {
  if (!StartsThread()) return false;
  TIEIOThread::CreateStream(this, Method, Stream);
  return true;
}

bool TZodivErIO::InThread(TIEIOThread::TFileFunc Method, const WideString& FileName) {
  if (!StartsThread()) return false;
  TIEIOThread::CreateFileFunc(this, Method, FileName);
  return true;
}

bool TZodivErIO::InThread(TIEIOThread::TStreamFunc Method, TStream* Stream) {
  if (!StartsThread()) return false;
  TIEIOThread::CreateStreamFunc(this, Method, Stream);
  return true;
}

bool TZodivErIO::InThread(TIEIOThread::TFileIntProc Method, const WideString& FileName, Integer Value) {
  if (!StartsThread()) return false;
  TIEIOThread::CreateFileInt(this, Method, FileName, Value);
  return true;
}

bool TZodivErIO::InThread(TIEIOThread::TStreamIntProc Method, TStream* Stream, Integer Value) {
  if (!StartsThread()) return false;
  TIEIOThread::CreateStreamInt(this, Method, Stream, Value);
  return true;
}

bool TZodivErIO::InThread(TIEIOThread::TIntProc Method, Integer Value) {
  if (!StartsThread()) return false;
  TIEIOThread::CreateInt(this, Method, Value);
  return true;
}

bool TZodivErIO::InThread(TIEIOThread::TMetafileProc Method, const WideString& FileName, Integer Width,
                          Integer Height, bool WithAlpha) {
  if (!StartsThread()) return false;
  TIEIOThread::CreateMetafile(this, Method, FileName, Width, Height, WithAlpha);
  return true;
}

bool TZodivErIO::InThreadURL(TIEIOThread::TFileProc Method, const WideString& Address) {
  if (!StartsThread()) return false;
  TIEIOThread::CreateURL(this, Method, Address);
  return true;
}

// --- events from the worker threads --------------------------------------------------------

void TZodivErIO::EnsureViewHandle() {
  if (FAttachedZodivEr) FAttachedZodivEr->HandleNeeded();
}

bool TZodivErIO::PostToView(Cardinal Msg, Integer WParam) {
  auto* View = dynamic_cast<TZodivErView*>(FAttachedZodivEr);
  if (!View || !View->HasParentWindow() || !IsInsideAsyncThread()) return false;
  if (!View->HandleAllocated()) Synchronize([this] { EnsureViewHandle(); });
  // The view drops what is still queued for it when it goes; the component may go first.
  QueueInMainThread(
      [View, Msg, WParam] {
        View->HandleViewMessage(Msg, WParam, 0);
        // The image-changed notification reaches the view's user on the main thread as well.
        if (Msg == IEM_UPDATE) View->ImageChange();
      },
      View);
  return true;
}

void TZodivErIO::OnMainThread(const std::function<void()>& Work) {
  if (IsInsideAsyncThread()) Synchronize(Work);
  else Work();
}
