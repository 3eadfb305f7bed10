// Decodes the main window's previews away from the window: the window asks for the picture at
// an end's time and goes on; the worker, on its own open copy of the video, seeks and decodes,
// then hands the picture to the main thread. Only the latest time asked for each end counts:
// the positions a dragged slider passes while a picture is being decoded are never decoded.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

#include "platform/rtl/geometry.h"
#include "platform/rtl/strings.h"
#include "platform/rtl/threads.h"

class TBitmap;
class TFFDecoder;

class TPreviewWorker : public TThread {
 public:
  // Run on the main thread: the end's picture (StartEnd true for the start), its time in
  // microseconds, and the picture already stretched to fit the box asked for, with its place
  // there; or the text of a failure. The handler may swap Picture for a bitmap of its own,
  // which the worker then frees: copying a full-size picture takes longer than the window may wait.
  using TPictureEvent = std::function<void(bool StartEnd, TBitmap*& Picture, Int64 PictureUs, TBitmap* Fitted,
                                           const TRect& Target)>;
  using TFailureEvent = std::function<void(const AnsiString& Text)>;

  TPreviewWorker(TPictureEvent OnPicture, TFailureEvent OnFailure);
  // Stops the worker; a picture it was about to hand over is dropped.
  ~TPreviewWorker() override;

  // The video the next requests are about; requests for the previous one are dropped.
  void SetFile(const AnsiString& FileName);
  // The picture at Us for one end, to be shown in Box, replaces whatever that end asked for before.
  void Request(bool StartEnd, Int64 Us, const TRect& Box);
  // Nothing asked for is still to be decoded or handed over.
  bool Idle() const;
  // Serves the main thread's hand-overs until Idle or TimeoutMs pass; true when idle. Main thread.
  bool WaitIdle(Cardinal TimeoutMs);

 protected:
  void Execute() override;

 private:
  struct TAsk {
    bool Pending = false;
    Int64 Us = 0;
    TRect Box;
  };
  void Decode(TFFDecoder& Decoder, bool StartEnd, const TAsk& Ask, unsigned Generation);

  TPictureEvent FOnPicture;
  TFailureEvent FOnFailure;
  mutable std::mutex FLock;
  std::condition_variable FWake;
  TAsk FAsks[2];  // [0] the start, [1] the end
  AnsiString FFileName;
  unsigned FGeneration = 0;
  bool FBusy = false;
  bool FClosing = false;  // main thread only: the owner is going, hand nothing more to it
};
