// What the frame, audio and clip runs share: the marked stretch, their messages, the target's
// checks, the progress dialog, progress and the end of a run.
#include "app/audio_run_options.h"
#include "app/engine_log.h"
#include "app/main_window.h"
#include "app/run_progress_dialog.h"
#include "media/components/encoder.h"
#include "platform/gui/services.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/files.h"
#include "platform/rtl/numerics.h"
#include "widgets/slider/slider.h"

TStretch Tmain::MarkedStretch() const {
  return StretchOfRange(split_begin->Value(), split_begin->MaxValue(), split_end->Value(), split_end->MaxValue(),
                        Duration);
}

void Tmain::RunErrorMessage(const AnsiString& Text) { MessageBox(this, Text, "Error", MB_ICONHAND); }

void Tmain::ShowProcessError() { Application->MessageBox("Process Error! Please try again!", "Error", MB_ICONHAND); }

bool Tmain::AcceptRunTarget(const AnsiString& Target, const AnsiString& ReplaceQuestion) {
  if (NamesSameFile(Target, label_fromvideo->Caption())) {
    RunErrorMessage("The target file name is as same as source file");
    return false;
  }
  if (FileExists(Target) && MessageDlg(ReplaceQuestion, mtConfirmation, mbYesNo) != mrYes) return false;
  return true;
}

void Tmain::ShowRunDialog(const AnsiString& Phase) {
  batchaudioc->Label1->SetCaption(Phase);
  batchaudioc->progresstotal->SetPosition(0);
  batchaudioc->Button1->SetEnabled(true);
  batchaudioc->ShowModal();
}

void Tmain::ForgetUnstartedTasks(TFFEncoder* Encoder) {
  // A set-up that failed half-way must not leave a task behind for the next run to start.
  try {
    if ((!Encoder->Working() || Encoder->Finished()) && Encoder->TaskCount() > 0) Encoder->ClearTasks();
  } catch (const Exception&) {
  }
}

void Tmain::ShowRunProgress(TFFEncoder* Encoder, PProgressInfo AProgressInfo) {
  if (AProgressInfo == nullptr) return;
  const Integer index = AProgressInfo->TaskIndex;
  if (index < 0 || index >= Integer(TaskProgress.size())) return;
  // A task that cannot tell its length yet gives no share of the bar.
  if (AProgressInfo->TotalDuration <= 0) return;
  TaskProgress[index] =
      SafeRound<Integer>(double(AProgressInfo->CurrentTime) * 100.0 / double(AProgressInfo->TotalDuration));
  Int64 sum = 0;
  for (Integer part : TaskProgress) sum += part;
  Integer count = Encoder->TaskCount();
  if (count <= 0) count = Integer(TaskProgress.size());
  batchaudioc->progresstotal->SetPosition(SafeRound<Integer>(double(sum) / count));
}

void Tmain::BeginRun(std::vector<AnsiString> Targets) {
  RunTargets = std::move(Targets);
  RunFailures = 0;
}

AnsiString Tmain::RunFailureText(const TTerminateInfo& ATerminateInfo) const {
  const Integer index = ATerminateInfo.TaskIndex;
  AnsiString text = ATerminateInfo.ExceptionMessage;
  if (index >= 0 && index < Integer(RunTargets.size()) && !RunTargets[index].empty())
    text = "Could not extract to \"" + RunTargets[index] + "\": " + text;
  return text + "\nThe engine's log is in \"" + EngineLogFile() + "\".";
}

void Tmain::EndRun(const TTerminateInfo& ATerminateInfo, TTimer* EndTimer) {
  if (ATerminateInfo.ExceptionRaised) {
    // The first failure is told at once; a run of many tasks that fail alike (a full disk) ends
    // with one line counting them instead of a box for each.
    if (++RunFailures == 1)
      Application->MessageBox(RunFailureText(ATerminateInfo), Application->Title(), MB_ICONEXCLAMATION);
    return;
  }
  if (ATerminateInfo.TaskIndex >= 0 || !ATerminateInfo.Finished) return;
  batchaudioc->Close();
  if (Cancelled) return;
  // A run with a failed task is not finished: its error stands as the last word.
  if (RunFailures > 1) {
    const Integer tasks = std::max<Integer>(Integer(RunTargets.size()), RunFailures);
    Application->MessageBox(Format("%d of %d tasks failed. The engine's log is in \"%s\".", RunFailures, tasks,
                                   EngineLogFile()),
                            Application->Title(), MB_ICONEXCLAMATION);
  }
  if (RunFailures == 0) EndTimer->SetEnabled(true);
}

void Tmain::ReportRunFinished(TTimer* EndTimer) {
  EndTimer->SetEnabled(false);
  MessageBox(this, "Process is finished!", "", MB_ICONEXCLAMATION);
}
