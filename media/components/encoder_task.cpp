#include "media/components/encoder_task.h"

#include "media/components/decoder.h"
#include "media/components/previewer.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/mainthread.h"
#include "platform/rtl/sync.h"
#include "platform/rtl/sysutils.h"

namespace {

template <class T>
void GrowTo(std::vector<T*>& Items, Integer Index) {
  if (Index < 0) throw EListError(Format("List index out of bounds (%d)", Index));
  if (static_cast<size_t>(Index) >= Items.size()) Items.resize(static_cast<size_t>(Index) + 1, nullptr);
}

// The main thread keeps serving hand-overs while it waits: the thread it waits for may be
// blocked in one.
void WaitServing(TEvent* Event) {
  while (Event->WaitFor(IsMainThread() ? 20 : INFINITE) != wrSignaled) CheckSynchronize();
}

}  // namespace

TFFmpeg::TFFmpeg(TCustomEncoder* AEncoder) : Encoder(AEncoder) {
  MakePreviewSink = [] { return new TPreviewer(); };
}

TFFmpeg::~TFFmpeg() {
  // The worker and a cancelled task's terminate step call back into the encoder: both have to be
  // over before the callbacks go.
  Stop(true);
  WaitServing(FinishedEvent);
  WaitServing(TerminateEvent);
  AudioInputHookProc = nullptr;
  AudioOutputHookProc = nullptr;
  VideoInputHookProc = nullptr;
  VideoOutputHookProc = nullptr;
  FrameInputHookProc = nullptr;
  FrameOutputHookProc = nullptr;
  PreviewBitmapProc = nullptr;
  ProgressProc = nullptr;
  TerminateProc = nullptr;
  OnBeforeFindStreamInfo = nullptr;
  FrameHookRelease(VHookModules);
  for (TFFDecoder* d : InputDecoders) delete d;
  InputDecoders.clear();
  for (TInputOptions* o : InputOptionsCopies) delete o;
  InputOptionsCopies.clear();
  for (TOutputOptions* o : OutputOptionsCopies) delete o;
  OutputOptionsCopies.clear();
}

int TFFmpeg::OptVHook(void*, const AnsiString&, const AnsiString& Arg) {
  // "|" separates the arguments when present, so that they can hold blanks.
  const char* separators = Arg.find('|') != AnsiString::npos ? "|" : " ";
  auto args = std::make_unique<std::vector<std::string>>();
  size_t at = 0;
  while (args->size() <= static_cast<size_t>(FrameHookMaxArgIndex)) {
    at = Arg.find_first_not_of(separators, at);
    if (at == AnsiString::npos) break;
    const size_t end = Arg.find_first_of(separators, at);
    args->push_back(Arg.substr(at, end == AnsiString::npos ? AnsiString::npos : end - at));
    at = end;
  }
  std::vector<char*> pointers;
  for (std::string& s : *args) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  if (FrameHookAdd(VHookModules, static_cast<Integer>(args->size()), pointers.data()) < 0)
    RaiseError("Failed to add video hook function: " + Arg);
  FVHookArgs.push_back(std::move(args));
  VHookPresent = true;
  UpdateFrameInputChain();
  return 0;
}

void TFFmpeg::SetFrameInputHandler(const TFrameHookProc& Handler) {
  FFrameInputHandler = Handler;
  UpdateFrameInputChain();
}

void TFFmpeg::UpdateFrameInputChain() {
  // The engine runs the modules itself, after the frame input hook and not while a video input
  // hook takes the picture as a bitmap.
  FrameInputHookProc = FFrameInputHandler;
}

TFFDecoder* TFFmpeg::GetInputDecoder(Integer Index) {
  GrowTo(InputDecoders, Index);
  TFFDecoder*& d = InputDecoders[static_cast<size_t>(Index)];
  if (!d) d = new TFFDecoder(nullptr);
  return d;
}

void TFFmpeg::SetInputOptions(Integer Index, const TInputOptions& Options) {
  GrowTo(InputOptionsCopies, Index);
  TInputOptions*& o = InputOptionsCopies[static_cast<size_t>(Index)];
  if (!o) o = new TInputOptions();
  *o = Options;
}

void TFFmpeg::ClearInputOptions(Integer Index) {
  GrowTo(InputOptionsCopies, Index);
  if (TInputOptions* o = InputOptionsCopies[static_cast<size_t>(Index)]) InitInputOptions(*o);
}

void TFFmpeg::SetOutputOptions(Integer Index, const TOutputOptions& Options) {
  GrowTo(OutputOptionsCopies, Index);
  TOutputOptions*& o = OutputOptionsCopies[static_cast<size_t>(Index)];
  if (!o) o = new TOutputOptions();
  *o = Options;
}

void TFFmpeg::ClearOutputOptions(Integer Index) {
  GrowTo(OutputOptionsCopies, Index);
  if (TOutputOptions* o = OutputOptionsCopies[static_cast<size_t>(Index)]) InitOutputOptions(*o);
}

TFFmpegList::~TFFmpegList() { Clear(); }

Integer TFFmpegList::Add(TFFmpeg* Task) {
  FItems.push_back(Task);
  return Count() - 1;
}

void TFFmpegList::Clear() {
  for (TFFmpeg* t : FItems) delete t;
  FItems.clear();
}

void TFFmpegList::Delete(Integer Index) {
  TFFmpeg* t = Items(Index);
  FItems.erase(FItems.begin() + Index);
  delete t;
}

TFFmpeg* TFFmpegList::Items(Integer Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(Format("List index out of bounds (%d)", Index));
  return FItems[static_cast<size_t>(Index)];
}

Integer TFFmpegList::IndexOf(const TObject* Task) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i] == Task) return static_cast<Integer>(i);
  return -1;
}

void TFFmpegList::StopAll(bool Wait) {
  // Index-based: a handler served during a wait may not change the list, but the size is read
  // afresh all the same.
  for (Integer i = 0; i < Count(); ++i) {
    TFFmpeg* t = FItems[static_cast<size_t>(i)];
    if (t->Ended) continue;
    if (t->StartRequested) {
      t->Stop(Wait);
    } else if (!t->CancelRequested) {
      // Once only: a second terminate step for the same task would be counted twice.
      t->CancelRequested = true;
      t->Cancel(Wait);
    } else if (Wait) {
      WaitServing(t->TerminateEvent);
    }
  }
}

void TFFmpegList::SetPreview(bool Value) {
  for (TFFmpeg* t : FItems)
    t->SetPreviewFlags(Value ? (t->PreviewFlags() | PreviewWindowFlag) : (t->PreviewFlags() & ~PreviewWindowFlag));
}

void TFFmpegList::SetPreviewBitmap(bool Value) {
  for (TFFmpeg* t : FItems)
    t->SetPreviewFlags(Value ? (t->PreviewFlags() | PreviewBitmapFlag) : (t->PreviewFlags() & ~PreviewBitmapFlag));
}
