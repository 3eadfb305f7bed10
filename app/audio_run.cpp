// The audio run: the audio page's Extract asks for a target file, and one task of FFtoaudio
// writes the marked stretch's sound there, with the page's volume and tempo.
#include "app/audio_run.h"

#include "app/main_window.h"
#include "media/components/encoder.h"
#include "platform/gui/services.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"

void Tmain::timer_toaudioTimer(TObject*) { AudioRun->SetUp(); }

void Tmain::FFtoaudioProgress(TObject*, PProgressInfo AProgressInfo) { AudioRun->Progress(AProgressInfo); }

void Tmain::FFtoaudioTerminate(TObject*, const TTerminateInfo& ATerminateInfo) { AudioRun->Terminate(ATerminateInfo); }

void Tmain::timer_fftoaudio_endTimer(TObject*) { AudioRun->EndTimer(); }

TAudioRun::TAudioRun(Tmain* Main) : TRun(Main, Main->FFtoaudio, Main->timer_fftoaudio_end) {}

void TAudioRun::Start() {
  TSaveDialog* save = Main->SaveDialog1;
  save->SetFilter("");
  save->SetFileName("");
  save->SetFilter(AudioSaveFilter());
  save->SetDefaultExt(AudioDefaultExt);
  save->SetFilterIndex(1);
  if (!save->Execute()) return;
  const AnsiString target = save->FileName();
  if (!AcceptTarget(target, target + " already exists." + "\r" + "Do you want to replace it?")) return;
  Main->timer_toaudio->SetEnabled(true);
}

TAudioRunChoices TAudioRun::ReadChoices() const {
  TAudioRunChoices c;
  c.Stretch = Main->MarkedStretch();
  c.ChangeVolume = Main->radio_changevolume->Checked();
  c.Volume = Main->spin_volume->Value();
  c.ChangeTempo = Main->radio_changetempo->Checked();
  c.Tempo = Main->spin_tempo->Value();
  c.Target = Main->SaveDialog1->FileName();
  return c;
}

void TAudioRun::SetUp() {
  Main->timer_toaudio->SetEnabled(false);
  bool started = false;
  try {
    if (FEncoder->TaskCount() > 0) FEncoder->ClearTasks();
    Choices = ReadChoices();

    TInputOptions input;
    InitInputOptions(input);
    input.Options = StretchInputOptions(Choices.Stretch);
    const Integer index = FEncoder->AddTask(AnsiToWide(Main->label_fromvideo->Caption()), &input);
    if (index < 0) {
      ErrorMessage("Add video file error: " + FEncoder->LastErrorMessage);
      throw EAbort("");
    }

    TOutputOptions output;
    InitOutputOptions(output);
    output.Options = AudioOutputOptions(Choices);
    if (FEncoder->SetOutput(index, AnsiToWide(Choices.Target), &output) < 0) {
      FEncoder->RemoveTask(index);
      ErrorMessage("Cannot do convert, error: " + FEncoder->LastErrorMessage);
      throw EAbort("");
    }
    FEncoder->ThreadPriority = tpNormal;
    Begin({Choices.Target});
    FEncoder->StartTask(5);
    started = true;
    TaskProgress.assign(size_t(FEncoder->TaskCount()), 0);
    Kind = "fftoaudio";
    Cancelled = false;
    // Shown only now that the task runs: a failed set-up leaves no dialog behind.
    ShowDialog("Extract audio......");
  } catch (...) {
    if (!started) ForgetUnstartedTasks();
    ProcessError();
  }
}
