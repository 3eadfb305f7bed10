// What a running task reports to whoever drives it: one record per kind of report, filled once by
// the task and handed on by reference, and the window-side sink its preview frames go to. The
// owner (the encoder component) implements the receiving end; this layer never knows it.
#pragma once

#include <functional>

#include "platform/rtl/classes.h"
#include "platform/rtl/types.h"

class TBitmap;

struct TTaskProgress {
  Integer FileIndex = 0;  // -1 in the task's last report
  Integer FrameNumber = 0;
  Integer FPS = 0;
  float Quality = 0;
  float BitRate = 0;
  Int64 TotalSize = 0;
  Int64 CurrentTime = 0;
  Int64 TotalDuration = 0;
};

// A decoded or about-to-be-encoded picture as FFmpeg holds it.
struct TTaskFrame {
  void* Picture = nullptr;  // eight plane pointers followed by eight line sizes
  Integer PixFmt = 0;
  Integer FrameNumber = 0;
  Integer Width = 0;
  Integer Height = 0;
  Int64 PTS = 0;  // microseconds
};

struct TTaskAudio {
  void* Sample = nullptr;
  Int64 PTS = 0;
  Integer Size = 0;
  Integer SampleRate = 0;
  Integer Channels = 0;
  Integer SampleFormat = 0;
};

// A picture converted to a bitmap for a video hook or a preview. The hook may clear Update to
// keep its changes out of the frame, and set StopHook to be called no more.
struct TTaskBitmap {
  TBitmap* Bitmap = nullptr;
  Integer FrameNumber = 0;
  Int64 PTS = 0;  // microseconds
  bool Update = true;
  bool StopHook = false;
};

using TAudioHookProc = std::function<void(TObject* Sender, const TTaskAudio& Audio)>;
using TFrameHookProc = std::function<void(TObject* Sender, const TTaskFrame& Frame)>;
using TVideoHookProc = std::function<void(TObject* Sender, TTaskBitmap& Frame)>;
using TPreviewBitmapProc = std::function<void(TObject* Sender, const TTaskBitmap& Frame)>;
using TProgressProc = std::function<void(TObject* Sender, const TTaskProgress& Progress)>;
using TTerminateProc = std::function<void(TObject* Sender)>;

// Where a task shows its frames when the preview window is on. Update is called from the task's
// thread and returns once the frame is shown; False means the viewer was closed and wants no
// more frames.
class TPreviewSink {
 public:
  virtual ~TPreviewSink() = default;
  virtual bool Update(TBitmap* Bitmap, Integer FrameNumber, Int64 PTS) = 0;
};
using TPreviewSinkFactory = std::function<TPreviewSink*()>;
