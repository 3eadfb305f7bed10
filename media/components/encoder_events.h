// The records and event types the encoder hands to its owner, and the optional descriptions of a
// task's inputs and outputs.
#pragma once

#include <functional>

#include "platform/rtl/classes.h"
#include "platform/rtl/types.h"

class TBitmap;
struct AVFormatContext;

using TPathFileName = WideString;

struct TProgressInfo {
  Integer TaskIndex = 0;
  Integer FileIndex = 0;
  Integer FrameNumber = 0;
  Integer FPS = 0;
  float Quality = 0;
  float BitRate = 0;
  Int64 TotalSize = 0;
  Int64 CurrentTime = 0;
  Int64 TotalDuration = 0;
};
using PProgressInfo = TProgressInfo*;

// TaskIndex -1: the event for the whole list.
struct TTerminateInfo {
  Integer TaskIndex = 0;
  bool Finished = false;
  bool ExceptionRaised = false;
  AnsiString ExceptionMessage;
};

struct TPreviewInfo {
  Integer TaskIndex = 0;
  TBitmap* Bitmap = nullptr;
  Integer FrameNumber = 0;
  Int64 PTS = 0;
};

struct THookInfo {
  Integer TaskIndex = 0;
  TBitmap* Bitmap = nullptr;
  Integer FrameNumber = 0;
  Int64 PTS = 0;
  bool Update = true;     // left true, the changed bitmap goes back into the frame
  bool StopHook = false;  // set true, this hook is not called again for the task
};
using PHookInfo = THookInfo*;

struct TFrameHookInfo {
  Integer TaskIndex = 0;
  Integer FrameNumber = 0;
  void* Picture = nullptr;  // eight plane pointers followed by eight line sizes
  Integer PixFmt = 0;
  Integer Width = 0;
  Integer Height = 0;
  Int64 PTS = 0;
};
using PFrameHookInfo = TFrameHookInfo*;

using TAVSampleFormat = Integer;

using TProgressEvent = std::function<void(TObject* Sender, PProgressInfo AProgressInfo)>;
using TTerminateEvent = std::function<void(TObject* Sender, const TTerminateInfo& ATerminateInfo)>;
using TPreviewBitmapEvent = std::function<void(TObject* Sender, const TPreviewInfo& APreviewInfo)>;
using TVideoHookEvent = std::function<void(TObject* Sender, PHookInfo AHookInfo)>;
using TFrameHookEvent = std::function<void(TObject* Sender, PFrameHookInfo AHookInfo)>;
using TAudioHookEvent =
    std::function<void(TObject* Sender, Integer ATaskIndex, const Int64 APTS, Byte* ASample, Integer ASize,
                       Integer ASampleRate, Integer AChannels, TAVSampleFormat ASampleFormat)>;
using TBeforeFindStreamInfoEvent = std::function<void(TObject* Sender, AVFormatContext* AFormatContext)>;

struct TInputOptions {
  TPathFileName FileName;
  AnsiString Options;  // FFmpeg command-line style, without file names
  AnsiString Presets;  // key=value lines
  Integer Reserved1 = 0;
  Integer Reserved2 = 0;
};
using PInputOptions = TInputOptions*;

struct TOutputOptions {
  TPathFileName FileName;
  AnsiString Options;
  AnsiString Presets;
  bool AudioInputHook = false;
  bool AudioOutputHook = false;
  bool VideoInputHook = false;
  bool VideoOutputHook = false;
  Integer VideoHookBitsPixel = 32;  // of the hook and preview bitmaps
  bool FrameInputHook = false;
  bool FrameOutputHook = false;
  bool Join = false;
  Integer Reserved1 = 0;
  Integer Reserved2 = 0;
};
using POutputOptions = TOutputOptions*;

void InitInputOptions(TInputOptions& Options);
void InitOutputOptions(TOutputOptions& Options);
