#include "app/preview_worker.h"

#include <memory>

#include "app/fitted_drawing.h"
#include "media/components/decoder.h"
#include "platform/gui/bitmap.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/mainthread.h"

TPreviewWorker::TPreviewWorker(TPictureEvent OnPicture, TFailureEvent OnFailure)
    : TThread(true), FOnPicture(std::move(OnPicture)), FOnFailure(std::move(OnFailure)) {
  Start();
}

TPreviewWorker::~TPreviewWorker() {
  FClosing = true;
  {
    std::lock_guard<std::mutex> lock(FLock);
    FAsks[0].Pending = FAsks[1].Pending = false;
    // Under the lock, so the worker cannot miss it between its look at the asks and its sleep.
    Terminate();
  }
  FWake.notify_all();
  if (!Finished()) WaitFor();
}

void TPreviewWorker::SetFile(const AnsiString& FileName) {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FFileName = FileName;
    ++FGeneration;
    FAsks[0].Pending = FAsks[1].Pending = false;
  }
  WakeMainThreadWaiters();
}

void TPreviewWorker::Request(bool StartEnd, Int64 Us, const TRect& Box) {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FAsks[StartEnd ? 0 : 1] = TAsk{true, Us, Box};
  }
  FWake.notify_all();
}

bool TPreviewWorker::Idle() const {
  std::lock_guard<std::mutex> lock(FLock);
  return !FBusy && !FAsks[0].Pending && !FAsks[1].Pending;
}

bool TPreviewWorker::WaitIdle(Cardinal TimeoutMs) {
  return ServeMainThreadUntil([this] { return Idle(); }, TimeoutMs);
}

void TPreviewWorker::Execute() {
  std::unique_ptr<TFFDecoder> decoder;
  AnsiString openName;
  unsigned openGeneration = 0;
  bool lastWasStart = false;
  while (!Terminated()) {
    bool startEnd;
    TAsk taken;
    AnsiString fileName;
    unsigned generation;
    {
      std::unique_lock<std::mutex> lock(FLock);
      FWake.wait(lock, [this] { return Terminated() || FAsks[0].Pending || FAsks[1].Pending; });
      if (Terminated()) break;
      // Both ends waiting: take turns, so a dragged end cannot starve the other.
      startEnd = FAsks[0].Pending && (!FAsks[1].Pending || !lastWasStart);
      TAsk& ask = FAsks[startEnd ? 0 : 1];
      ask.Pending = false;
      taken = ask;
      fileName = FFileName;
      generation = FGeneration;
      FBusy = true;
    }
    lastWasStart = startEnd;
    try {
      if (!decoder || openName != fileName || openGeneration != generation) {
        decoder = std::make_unique<TFFDecoder>(nullptr);
        openName = fileName;
        openGeneration = generation;
        if (!decoder->OpenFile(AnsiToWide(fileName))) {
          const AnsiString text = "Read frame failed: " + decoder->LastErrorMessage;
          decoder.reset();
          Synchronize([&] {
            if (!FClosing && generation == FGeneration && FOnFailure) FOnFailure(text);
          });
        }
      }
      if (decoder) Decode(*decoder, startEnd, taken, generation);
    } catch (...) {
      // The main thread queue closed under us (process shutdown), or a hand-over failed: the
      // picture is dropped, the worker goes on serving what comes next.
    }
    {
      std::lock_guard<std::mutex> lock(FLock);
      FBusy = false;
    }
    WakeMainThreadWaiters();
  }
}

void TPreviewWorker::Decode(TFFDecoder& Decoder, bool StartEnd, const TAsk& Ask, unsigned Generation) {
  const Int64 Us = Ask.Us;
  std::unique_ptr<TBitmap> picture = std::make_unique<TBitmap>();
  bool decoded = false;
  AnsiString failure;
  try {
    static const TSeekFlags attempts[] = {{sfBackward}, {sfBackward, sfAny}, {}, {sfAny}, {}, {sfBackward}, {sfAny}};
    for (const TSeekFlags& flags : attempts) {
      if (!Decoder.Seek(Us, flags)) continue;
      // The picture at the slider's time, as a run starting there takes it, not the key frame before.
      decoded = Decoder.DecodeTo(Us) && Decoder.CopyToBitmap(picture.get());
      break;
    }
  } catch (const Exception&) {
    failure = "Read frame failed: " + Decoder.LastErrorMessage;
  }
  if (!decoded && failure.empty()) return;
  const Int64 pictureUs = Decoder.LastPicture.PTS;
  // Stretching a full-size picture into the preview takes longer than the window may wait.
  TBitmap fitted;
  const TRect target = decoded ? prepare_fitted(picture.get(), Ask.Box, &fitted) : TRect{};
  Synchronize([&] {
    if (FClosing || Generation != FGeneration) return;
    if (!failure.empty()) {
      if (FOnFailure) FOnFailure(failure);
    } else if (FOnPicture) {
      TBitmap* shown = picture.release();
      try {
        FOnPicture(StartEnd, shown, pictureUs, &fitted, target);
      } catch (...) {
        picture.reset(shown);
        throw;
      }
      picture.reset(shown);
    }
  });
}
