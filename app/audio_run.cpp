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
    BeginRun({target});
    FFtoaudio->StartTask(5);
    started = true;
    TaskProgress.assign(size_t(FFtoaudio->TaskCount()), 0);
    RunKind = "fftoaudio";
    Cancelled = false;
    // Shown only now that the task runs: a failed set-up leaves no dialog behind.
    ShowRunDialog("Extract audio......");
  } catch (...) {
    if (!started) ForgetUnstartedTasks(FFtoaudio);
    ShowProcessError();
  }
}

void Tmain::FFtoaudioProgress(TObject*, PProgressInfo AProgressInfo) { ShowRunProgress(FFtoaudio, AProgressInfo); }

void Tmain::FFtoaudioTerminate(TObject*, const TTerminateInfo& ATerminateInfo) {
  EndRun(ATerminateInfo, timer_fftoaudio_end);
}

void Tmain::timer_fftoaudio_endTimer(TObject*) {
  ReportRunFinished(timer_fftoaudio_end);
}
