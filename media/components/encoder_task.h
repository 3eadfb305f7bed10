// A task of the encoder's list: the engine's task object plus what the encoder keeps for it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "media/components/encoder.h"
#include "media/components/encoder_events.h"
#include "media/engine/frame_hook.h"
#include "media/engine/transcode_task.h"

class TCustomEncoder;
class TFFDecoder;

class TFFmpeg : public TCustomFFmpeg {
 public:
  explicit TFFmpeg(TCustomEncoder* AEncoder);
  // Detaches the callbacks from the encoder only once no thread can call them any more.
  ~TFFmpeg() override;

  // "vhook": loads and configures a frame-hook module for this task.
  int OptVHook(void* Context, const AnsiString& Option, const AnsiString& Arg) override;
  // The encoder's frame input hook; the task's modules run after it on the same picture.
  void SetFrameInputHandler(const TFrameHookProc& Handler);

  TFFDecoder* GetInputDecoder(Integer Index);
  void SetInputOptions(Integer Index, const TInputOptions& Options);
  void ClearInputOptions(Integer Index);
  void SetOutputOptions(Integer Index, const TOutputOptions& Options);
  void ClearOutputOptions(Integer Index);

  TCustomEncoder* Encoder;
  std::vector<TFFDecoder*> InputDecoders;
  std::vector<TInputOptions*> InputOptionsCopies;
  std::vector<TOutputOptions*> OutputOptionsCopies;

  // The encoder's bookkeeping of the current run, changed under its termination lock: the task
  // was handed to Start, its stop-before-start was requested, its end has been counted.
  bool StartRequested = false;
  bool CancelRequested = false;
  bool TerminationCounted = false;

 private:
  void UpdateFrameInputChain();

  TFrameHookProc FFrameInputHandler;
  // The modules may keep pointers to their arguments.
  std::vector<std::unique_ptr<std::vector<std::string>>> FVHookArgs;
};
