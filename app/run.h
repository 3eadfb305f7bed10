// One run of the program: the tasks it hands one encoder, their progress in the run dialog, the
// user's Cancel and the end of the run. The frame, audio and clip runs and the composite step
// each keep their own state here, so the main window holds only its fields and its handlers.
#pragma once

#include <vector>

#include "media/components/encoder_events.h"
#include "platform/rtl/types.h"

class TFFEncoder;
class TTimer;
class Tmain;

class TRun {
 public:
  TRun(Tmain* Main, TFFEncoder* Encoder, TTimer* EndTimer);
  virtual ~TRun() = default;
  TRun(const TRun&) = delete;
  TRun& operator=(const TRun&) = delete;

  // "fftoimage-pre" while express tasks are being prepared, then "fftoimage", "fftoaudio" or
  // "fftovideo"; what the run's Cancel has to stop.
  AnsiString Kind;
  // The user cancelled the run: nothing that arrives afterwards reports it as finished.
  bool Cancelled = false;
  // Each task's share of the bar so far.
  std::vector<Integer> TaskProgress;

  // Cancel in the run dialog: marks the run cancelled first, so that every event from here on
  // sees it, then stops the encoder and waits for its tasks (they end the run as usual).
  virtual void Cancel();
  // The encoder's events and the end timer.
  virtual void Progress(PProgressInfo AProgressInfo);
  void Terminate(const TTerminateInfo& ATerminateInfo);
  virtual void EndTimer();

  TFFEncoder* Encoder() const { return FEncoder; }

 protected:
  // The whole task list has ended without a failure being reported: the dialog closes and,
  // unless cancelled, the end timer reports.
  virtual void ListEnded();
  // The whole task list has ended and a task failed (its message is shown): the dialog closes.
  virtual void ListFailed();
  // What each task writes, as the user knows it (a file or a folder); the failure count restarts.
  void Begin(std::vector<AnsiString> Targets);
  // The dialog shown over the run, with the run's phase and Cancel enabled; modal.
  void ShowDialog(const AnsiString& Phase);
  // Closes the dialog when it is shown.
  void CloseDialog();
  // A set-up that failed half-way leaves no task behind for the next run to start.
  void ForgetUnstartedTasks();
  // Not the loaded video itself, and an existing file only when the user agrees to replace it.
  bool AcceptTarget(const AnsiString& Target, const AnsiString& ReplaceQuestion);
  void ErrorMessage(const AnsiString& Text);
  void ProcessError();
  void ReportFinished();

  Tmain* Main;
  TFFEncoder* FEncoder;
  TTimer* FEndTimer;
  std::vector<AnsiString> FTargets;
  Integer FFailures = 0;

 private:
  AnsiString FailureText(const TTerminateInfo& ATerminateInfo) const;
};
