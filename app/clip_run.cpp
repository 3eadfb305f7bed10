// The clip run: the video page's Extract asks for a target file, and one task of FFtovideo cuts
// the marked stretch into it, with codec options and a frame size the target's format accepts,
// the page's size, crop, transforms, motion speed, volume and tempo.
#include "app/clip_run_options.h"
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

TClipSource Tmain::ClipSourceOf(TFFEncoder* SourceEncoder) const {
  TClipSource source;
  source.FileName = label_fromvideo->Caption();
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
  Codec = ClipCodecOptions(Target, ClipSourceOf(SourceEncoder));
}

void Tmain::ffframesize(const AnsiString& Width, const AnsiString& Height, const AnsiString& Target,
                        TFFEncoder* SourceEncoder, TFFEncoder*, AnsiString& Size) {
  Size = ClipFrameSize(Width, Height, Target, ClipSourceOf(SourceEncoder).Info);
}

void Tmain::ExtractVideo() {
  if (radio_crop2->Checked() && CropSelection2.Empty()) {
    RunErrorMessage("Please set cropping area!");
    return;
  }
  SaveDialog1->SetFilter("");
  SaveDialog1->SetFileName("");
  const bool atStart = split_begin->Value() <= split_begin->MinValue();
  const TClipSaveTypes types = ClipSaveTypes(label_fromvideo->Caption(), atStart);
  SaveDialog1->SetFilter(types.Filter);
  SaveDialog1->SetDefaultExt(types.DefaultExt);
  SaveDialog1->SetFilterIndex(1);
  if (!SaveDialog1->Execute()) return;
  const AnsiString target = SaveDialog1->FileName();
  if (!AcceptRunTarget(target, target + " already exists. Do you want to replace it?")) return;
  timer_tovideo->SetEnabled(true);
}

void Tmain::timer_tovideoTimer(TObject*) {
  timer_tovideo->SetEnabled(false);
  bool started = false;
  try {
    if (FFtovideo->TaskCount() > 0) FFtovideo->ClearTasks();
    const AnsiString target = SaveDialog1->FileName();

    TClipRunChoices choices;
    choices.Stretch = MarkedStretch();
    choices.Target = target;
    choices.FrameSize = radio_crop2->Checked() ? cfsCrop : radio_customframesize2->Checked() ? cfsCustom : cfsOriginal;
    choices.CustomWidth = EdCustomWidth2->Value();
    choices.CustomHeight = EdCustomHeight2->Value();
    choices.Pad = cb_pad2->Checked();
    choices.CropX1 = CropSelection2.X1;
    choices.CropY1 = CropSelection2.Y1;
    choices.CropX2 = CropSelection2.X2;
    choices.CropY2 = CropSelection2.Y2;
    choices.ChangeVolume = radio_changevolume2->Checked();
    choices.Volume = spin_volume2->Value();
    choices.ChangeTempo = radio_changetempo2->Checked();
    choices.Tempo = spin_tempo2->Value();
    choices.ChangeMotion = radio_changemotion->Checked();
    choices.Motion = spin_motion->Value();
    choices.HFlip = effects2->ck_hflip->Checked();
    choices.VFlip = effects2->ck_vflip->Checked();
    choices.RotateCW = effects2->ck_transpose1->Checked();
    choices.RotateCCW = effects2->ck_transpose2->Checked();

    TInputOptions input;
    InitInputOptions(input);
    input.Options = StretchInputOptions(choices.Stretch);
    const Integer index = FFtovideo->AddTask(AnsiToWide(label_fromvideo->Caption()), &input);
    if (index < 0) {
      RunErrorMessage("Add source file error! ");
      throw TQuietEnd();
    }

    TOutputOptions output;
    InitOutputOptions(output);
    output.Options = ClipOutputOptions(choices, ClipSourceOf(FFtoimage));
    if (FFtovideo->SetOutput(index, AnsiToWide(target), &output) < 0) {
      FFtovideo->RemoveTask(index);
      RunErrorMessage("Cannot do convert, error: " + FFtovideo->LastErrorMessage);
      throw TQuietEnd();
    }
    FFtovideo->ThreadPriority = tpNormal;
    BeginRun({target});
    FFtovideo->StartTask(5);
    started = true;
    TaskProgress.assign(size_t(FFtovideo->TaskCount()), 0);
    RunKind = "fftovideo";
    Cancelled = false;
    // Shown only now that the task runs: a failed set-up leaves no dialog behind.
    ShowRunDialog("Extract video......");
  } catch (const TQuietEnd&) {
    ForgetUnstartedTasks(FFtovideo);
  } catch (...) {
    if (!started) ForgetUnstartedTasks(FFtovideo);
    ShowProcessError();
  }
}

void Tmain::FFtovideoProgress(TObject*, PProgressInfo AProgressInfo) { ShowRunProgress(FFtovideo, AProgressInfo); }

void Tmain::FFtovideoTerminate(TObject*, const TTerminateInfo& ATerminateInfo) {
  EndRun(ATerminateInfo, timer_fftovideo_end);
}

void Tmain::timer_fftovideo_endTimer(TObject*) {
  ReportRunFinished(timer_fftovideo_end);
}
