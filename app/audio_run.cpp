// The audio run: the audio page's Extract asks for a target file, and one task of FFtoaudio
// writes the marked stretch's sound there, with the page's volume and tempo.
#include "app/audio_run_options.h"
#include "app/main_window.h"
#include "app/run_progress_dialog.h"
#include "media/components/encoder.h"
#include "platform/gui/services.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/files.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/strings.h"
#include "platform/rtl/sysutils.h"
#include "widgets/slider/slider.h"

TStretch Tmain::MarkedStretch() const {
  return StretchOfRange(split_begin->Value(), split_begin->MaxValue(), split_end->Value(), split_end->MaxValue(),
                        Duration);
}

void Tmain::RunErrorMessage(const AnsiString& Text) { MessageBox(this, Text, "Error", MB_ICONHAND); }

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

void Tmain::EndRun(const TTerminateInfo& ATerminateInfo, TTimer* EndTimer) {
  if (ATerminateInfo.ExceptionRaised) {
    Application->MessageBox(ATerminateInfo.ExceptionMessage, Application->Title(), MB_ICONEXCLAMATION);
    return;
  }
  if (ATerminateInfo.TaskIndex >= 0 || !ATerminateInfo.Finished) return;
  batchaudioc->Close();
  if (!Cancelled) EndTimer->SetEnabled(true);
}

void Tmain::ExtractAudio() {
  SaveDialog1->SetFilter("");
  SaveDialog1->SetFileName("");
  SaveDialog1->SetFilter(AudioSaveFilter());
  SaveDialog1->SetDefaultExt(AudioDefaultExt);
  SaveDialog1->SetFilterIndex(1);
  if (!SaveDialog1->Execute()) return;
  const AnsiString target = SaveDialog1->FileName();
  if (!AcceptRunTarget(target, target + " already exists." + "\r" + "Do you want to replace it?")) return;
  timer_toaudio->SetEnabled(true);
}

void Tmain::timer_toaudioTimer(TObject*) {
  timer_toaudio->SetEnabled(false);
  bool started = false;
  try {
    if (FFtoaudio->TaskCount() > 0) FFtoaudio->ClearTasks();
    const AnsiString target = SaveDialog1->FileName();

    TAudioRunChoices choices;
    choices.Stretch = MarkedStretch();
    choices.ChangeVolume = radio_changevolume->Checked();
    choices.Volume = spin_volume->Value();
    choices.ChangeTempo = radio_changetempo->Checked();
    choices.Tempo = spin_tempo->Value();
    choices.Target = target;

    TInputOptions input;
    InitInputOptions(input);
    input.Options = StretchInputOptions(choices.Stretch);
    const Integer index = FFtoaudio->AddTask(AnsiToWide(label_fromvideo->Caption()), &input);
    if (index < 0) {
      RunErrorMessage("Add video file error: " + FFtoaudio->LastErrorMessage);
      throw EAbort("");
    }

    TOutputOptions output;
    InitOutputOptions(output);
    output.Options = AudioOutputOptions(choices);
    if (FFtoaudio->SetOutput(index, AnsiToWide(target), &output) < 0) {
      FFtoaudio->RemoveTask(index);
      RunErrorMessage("Cannot do convert, error: " + FFtoaudio->LastErrorMessage);
      throw EAbort("");
    }
    FFtoaudio->ThreadPriority = tpNormal;
    FFtoaudio->StartTask(5);
    started = true;
    TaskProgress.assign(size_t(FFtoaudio->TaskCount()), 0);
    RunKind = "fftoaudio";
    Cancelled = false;
    // Shown only now that the task runs: a failed set-up leaves no dialog behind.
    ShowRunDialog("Extract audio......");
  } catch (...) {
    if (!started) ForgetUnstartedTasks(FFtoaudio);
    Application->MessageBox("Process Error! Please try again!", "Error", MB_ICONHAND);
  }
}

void Tmain::FFtoaudioProgress(TObject*, PProgressInfo AProgressInfo) { ShowRunProgress(FFtoaudio, AProgressInfo); }

void Tmain::FFtoaudioTerminate(TObject*, const TTerminateInfo& ATerminateInfo) {
  EndRun(ATerminateInfo, timer_fftoaudio_end);
}

void Tmain::timer_fftoaudio_endTimer(TObject*) {
  timer_fftoaudio_end->SetEnabled(false);
  MessageBox(this, "Process is finished!", "", MB_ICONEXCLAMATION);
}
