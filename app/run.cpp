#include "app/run.h"

#include <algorithm>

#include "app/audio_run_options.h"
#include "app/engine_log.h"
#include "app/main_window.h"
#include "app/run_progress_dialog.h"
#include "media/components/encoder.h"
#include "platform/gui/services.h"
#include "platform/gui/timers.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/files.h"
#include "platform/rtl/numerics.h"

TRun::TRun(Tmain* Main, TFFEncoder* Encoder, TTimer* EndTimer) : Main(Main), FEncoder(Encoder), FEndTimer(EndTimer) {}

void TRun::Cancel() {
  Cancelled = true;
  if (Kind == "fftoimage-pre") {
    // Nothing runs yet: the preparation sees the flag between two tasks and starts nothing.
    batchaudioc->Close();
    return;
  }
  if (FEncoder) FEncoder->Stop(true);
}

void TRun::Progress(PProgressInfo AProgressInfo) {
  if (AProgressInfo == nullptr) return;
  const Integer index = AProgressInfo->TaskIndex;
  if (index < 0 || index >= Integer(TaskProgress.size())) return;
  // A task that cannot tell its length yet gives no share of the bar.
  if (AProgressInfo->TotalDuration <= 0) return;
  TaskProgress[index] =
      SafeRound<Integer>(double(AProgressInfo->CurrentTime) * 100.0 / double(AProgressInfo->TotalDuration));
  Int64 sum = 0;
  for (Integer part : TaskProgress) sum += part;
  Integer count = FEncoder->TaskCount();
  if (count <= 0) count = Integer(TaskProgress.size());
  batchaudioc->progresstotal->SetPosition(SafeRound<Integer>(double(sum) / count));
}

void TRun::Begin(std::vector<AnsiString> Targets) {
  FTargets = std::move(Targets);
  FFailures = 0;
}

void TRun::ShowDialog(const AnsiString& Phase) {
  Main->ActiveRun = this;
  batchaudioc->Label1->SetCaption(Phase);
  batchaudioc->progresstotal->SetPosition(0);
  batchaudioc->Button1->SetEnabled(true);
  batchaudioc->ShowModal();
}

void TRun::CloseDialog() {
  // A close that reaches a dialog not shown would be kept and end its next showing at once.
  if (batchaudioc->Visible()) batchaudioc->Close();
}

void TRun::ForgetUnstartedTasks() {
  try {
    if ((!FEncoder->Working() || FEncoder->Finished()) && FEncoder->TaskCount() > 0) FEncoder->ClearTasks();
  } catch (const Exception&) {
  }
}

bool TRun::AcceptTarget(const AnsiString& Target, const AnsiString& ReplaceQuestion) {
  if (NamesSameFile(Target, Main->label_fromvideo->Caption())) {
    ErrorMessage("The target file name is as same as source file");
    return false;
  }
  if (FileExists(Target) && MessageDlg(ReplaceQuestion, mtConfirmation, mbYesNo) != mrYes) return false;
  return true;
}

void TRun::ErrorMessage(const AnsiString& Text) { MessageBox(Main, Text, "Error", MB_ICONHAND); }

void TRun::ProcessError() { Application->MessageBox("Process Error! Please try again!", "Error", MB_ICONHAND); }

AnsiString TRun::FailureText(const TTerminateInfo& ATerminateInfo) const {
  const Integer index = ATerminateInfo.TaskIndex;
  AnsiString text = ATerminateInfo.ExceptionMessage;
  if (index >= 0 && index < Integer(FTargets.size()) && !FTargets[index].empty())
    text = "Could not extract to \"" + FTargets[index] + "\": " + text;
  return text + "\nThe engine's log is in \"" + EngineLogFile() + "\".";
}

void TRun::Terminate(const TTerminateInfo& ATerminateInfo) {
  if (ATerminateInfo.ExceptionRaised) {
    // The first failure is told at once; a run of many tasks that fail alike (a full disk) ends
    // with one line counting them instead of a box for each.
    if (++FFailures == 1)
      Application->MessageBox(FailureText(ATerminateInfo), Application->Title(), MB_ICONEXCLAMATION);
    return;
  }
  if (ATerminateInfo.TaskIndex >= 0 || !ATerminateInfo.Finished) return;
  if (FFailures > 0) {
    ListFailed();
    if (Cancelled) return;
    // A run with a failed task is not finished: its error stands as the last word.
    if (FFailures > 1) {
      const Integer tasks = std::max<Integer>(Integer(FTargets.size()), FFailures);
      Application->MessageBox(Format("%d of %d tasks failed. The engine's log is in \"%s\".", FFailures, tasks,
                                     EngineLogFile()),
                              Application->Title(), MB_ICONEXCLAMATION);
    }
    return;
  }
  ListEnded();
}

void TRun::ListEnded() {
  batchaudioc->Close();
  if (!Cancelled) FEndTimer->SetEnabled(true);
}

void TRun::ListFailed() { batchaudioc->Close(); }

void TRun::EndTimer() { ReportFinished(); }

void TRun::ReportFinished() {
  FEndTimer->SetEnabled(false);
  MessageBox(Main, "Process is finished!", "", MB_ICONEXCLAMATION);
}
