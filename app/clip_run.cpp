// The clip run: the video page's Extract asks for a target file, and one task of FFtovideo cuts
// the marked stretch into it, with codec options and a frame size the target's format accepts,
// the page's size, crop, transforms, motion speed, volume and tempo.
#include "app/clip_run.h"

#include "app/crop_dialogs.h"
#include "app/main_window.h"
#include "app/transform_dialogs.h"
#include "media/components/decoder.h"
#include "media/components/encoder.h"
#include "platform/gui/services.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "platform/rtl/sysutils.h"
#include "widgets/slider/slider.h"

namespace {
// Ends the clip timer after a message of its own, without the general one.
struct TQuietEnd {};
}  // namespace

TClipSource ClipSourceOf(TFFEncoder* SourceEncoder, const AnsiString& FileName) {
  TClipSource source;
  source.FileName = FileName;
  TFFDecoder* decoder = SourceEncoder->Decoder;
  if (decoder == nullptr) return source;
  source.Info = LowerCase(decoder->GetMediaInfoText());
  TVideoStreamInfo video;
  if (decoder->VideoStreamCount > 0) decoder->GetFirstVideoStreamInfo(video);
  source.Width = video.Width;
  source.Height = video.Height;
  source.VideoBitRate = video.BitRate;
  source.FrameRateNum = video.FrameRate.num;
  source.FrameRateDen = video.FrameRate.den;
  if (decoder->AudioStreamCount > 0) {
    TAudioStreamInfo audio;
    decoder->GetFirstAudioStreamInfo(audio);
    source.HasAudio = true;
    source.SampleRate = audio.SampleRate;
    source.Channels = audio.Channels;
  }
  TFileStreamInfo file;
  decoder->GetFileStreamInfo(file);
  source.FileBitRate = file.BitRate;
  return source;
}

void Tmain::ffcodec(const AnsiString& Target, TFFEncoder* SourceEncoder, TFFEncoder*, AnsiString& Codec) {
  Codec = ClipCodecOptions(Target, ClipSourceOf(SourceEncoder, label_fromvideo->Caption()));
}

void Tmain::ffframesize(const AnsiString& Width, const AnsiString& Height, const AnsiString& Target,
                        TFFEncoder* SourceEncoder, TFFEncoder*, AnsiString& Size) {
  Size = ClipFrameSize(Width, Height, Target, ClipSourceOf(SourceEncoder, label_fromvideo->Caption()).Info);
}

void Tmain::timer_tovideoTimer(TObject*) { ClipRun->SetUp(); }

void Tmain::FFtovideoProgress(TObject*, PProgressInfo AProgressInfo) { ClipRun->Progress(AProgressInfo); }

void Tmain::FFtovideoTerminate(TObject*, const TTerminateInfo& ATerminateInfo) { ClipRun->Terminate(ATerminateInfo); }

void Tmain::timer_fftovideo_endTimer(TObject*) { ClipRun->EndTimer(); }

TClipRun::TClipRun(Tmain* Main) : TRun(Main, Main->FFtovideo, Main->timer_fftovideo_end) {}

void TClipRun::Start() {
  if (Main->radio_crop2->Checked() && setcrop2->Selection().Empty()) {
    ErrorMessage("Please set cropping area!");
    return;
  }
  TSaveDialog* save = Main->SaveDialog1;
  save->SetFilter("");
  save->SetFileName("");
  const bool atStart = Main->split_begin->Value() <= Main->split_begin->MinValue();
  const TClipSaveTypes types = ClipSaveTypes(Main->label_fromvideo->Caption(), atStart);
  save->SetFilter(types.Filter);
  save->SetDefaultExt(types.DefaultExt);
  save->SetFilterIndex(1);
  if (!save->Execute()) return;
  const AnsiString target = save->FileName();
  if (!AcceptTarget(target, target + " already exists. Do you want to replace it?")) return;
  Main->timer_tovideo->SetEnabled(true);
}

TClipRunChoices TClipRun::ReadChoices() const {
  const Tmain* m = Main;
  TClipRunChoices c;
  c.Stretch = m->MarkedStretch();
  c.Target = m->SaveDialog1->FileName();
  c.FrameSize = m->radio_crop2->Checked() ? cfsCrop : m->radio_customframesize2->Checked() ? cfsCustom : cfsOriginal;
  c.CustomWidth = m->EdCustomWidth2->Value();
  c.CustomHeight = m->EdCustomHeight2->Value();
  c.Pad = m->cb_pad2->Checked();
  c.Crop = setcrop2->Selection();
  c.ChangeVolume = m->radio_changevolume2->Checked();
  c.Volume = m->spin_volume2->Value();
  c.ChangeTempo = m->radio_changetempo2->Checked();
  c.Tempo = m->spin_tempo2->Value();
  c.ChangeMotion = m->radio_changemotion->Checked();
  c.Motion = m->spin_motion->Value();
  c.HFlip = effects2->ck_hflip->Checked();
  c.VFlip = effects2->ck_vflip->Checked();
  c.RotateCW = effects2->ck_transpose1->Checked();
  c.RotateCCW = effects2->ck_transpose2->Checked();
  return c;
}

void TClipRun::SetUp() {
  Main->timer_tovideo->SetEnabled(false);
  bool started = false;
  try {
    if (FEncoder->TaskCount() > 0) FEncoder->ClearTasks();
    Choices = ReadChoices();
    const AnsiString source = Main->label_fromvideo->Caption();

    TInputOptions input;
    InitInputOptions(input);
    input.Options = StretchInputOptions(Choices.Stretch);
    const Integer index = FEncoder->AddTask(AnsiToWide(source), &input);
    if (index < 0) {
      ErrorMessage("Add source file error! ");
      throw TQuietEnd();
    }

    TOutputOptions output;
    InitOutputOptions(output);
    output.Options = ClipOutputOptions(Choices, ClipSourceOf(Main->FFtoimage, source));
    if (FEncoder->SetOutput(index, AnsiToWide(Choices.Target), &output) < 0) {
      FEncoder->RemoveTask(index);
      ErrorMessage("Cannot do convert, error: " + FEncoder->LastErrorMessage);
      throw TQuietEnd();
    }
    FEncoder->ThreadPriority = tpNormal;
    Begin({Choices.Target});
    FEncoder->StartTask(5);
    started = true;
    TaskProgress.assign(size_t(FEncoder->TaskCount()), 0);
    Kind = "fftovideo";
    Cancelled = false;
    // Shown only now that the task runs: a failed set-up leaves no dialog behind.
    ShowDialog("Extract video......");
  } catch (const TQuietEnd&) {
    ForgetUnstartedTasks();
  } catch (...) {
    if (!started) ForgetUnstartedTasks();
    ProcessError();
  }
}
