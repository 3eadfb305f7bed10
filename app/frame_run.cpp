// The Extract button and the frame run: the page is checked, a folder chosen, the encoder's
// tasks built and started inside the progress dialog, their progress shown and the end reported.
#include <chrono>
#include <filesystem>
#include <numeric>

#include "app/desktop_open.h"
#include "app/frame_run_options.h"
#include "app/main_window.h"
#include "app/run_progress_dialog.h"
#include "app/select_folder.h"
#include "app/transform_dialogs.h"
#include "media/components/decoder.h"
#include "media/components/encoder.h"
#include "platform/gui/services.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/files.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/strings.h"
#include "platform/rtl/sysutils.h"
#include "widgets/slider/slider.h"

namespace {

// At most this many frame tasks run at once.
constexpr Integer ParallelFrameTasks = 5;
constexpr Integer MaxExpressFrames = 100;

void ApplicationStop(const AnsiString& Text) { Application->MessageBox(Text, "Error", MB_ICONHAND); }

}  // namespace

void Tmain::btn_extractClick(TObject*) {
  if (!FileExists(label_fromvideo->Caption())) {
    RunErrorMessage("Please load video file!");
    return;
  }
  TFFDecoder* decoder = FFtoimageDecoder();
  if (decoder->VideoStreamCount <= 0) {
    RunErrorMessage("The source video file is NOT loaded!");
    return;
  }
  const auto* page = pageto->ActivePage();
  if (page == audiosheet && decoder->AudioStreamCount <= 0) {
    RunErrorMessage("No audio stream!");
    return;
  }
  if (page == imagesheet)
    ExtractImages();
  else if (page == audiosheet)
    ExtractAudio();
  else if (page == videosheet)
    ExtractVideo();
}

TFrameRunChoices Tmain::FrameRunChoices() const {
  TFrameRunChoices c;
  if (radio_total->Checked())
    c.Selection = fsTotal;
  else if (radio_scene->Checked())
    c.Selection = fsScene;
  else if (radio_fps->Checked())
    c.Selection = fsFps;
  else if (radio_everyframes->Checked())
    c.Selection = fsEveryFrames;
  else if (radio_everyseconds->Checked())
    c.Selection = fsEverySeconds;
  else if (radio_express->Checked())
    c.Selection = fsExpress;
  else
    c.Selection = fsAllFrames;
  c.ImageAmountText = edit_imageamount->Text();
  c.ScenePercent = se_scenechange->Value();
  c.FrameRateText = cb_framerate->Text();
  c.EveryFramesText = edit_everyframes->Text();
  c.EverySecondsText = edit_everyseconds->Text();
  c.ExpressText = edit_express->Text();

  c.Tile = ck_tile->Checked();
  c.Columns = se_columns->Value();
  c.Lines = se_lines->Value();

  if (radio_customframesize->Checked())
    c.Size = fzCustom;
  else if (radio_crop->Checked())
    c.Size = fzCrop;
  else
    c.Size = fzOriginal;
  c.CustomWidth = EdCustomWidth->Value();
  c.CustomHeight = EdCustomHeight->Value();
  c.Pad = cb_pad->Checked();
  c.CropX1 = CropSelection.X1;
  c.CropY1 = CropSelection.Y1;
  c.CropX2 = CropSelection.X2;
  c.CropY2 = CropSelection.Y2;

  if (effects) {
    c.HFlip = effects->ck_hflip->Checked();
    c.VFlip = effects->ck_vflip->Checked();
    c.RotateCW = effects->ck_transpose1->Checked();
    c.RotateCCW = effects->ck_transpose2->Checked();
  }

  c.ImageFormat = cb_imageformats->Text();
  c.NameAsString = radio_asstring->Checked();
  c.MaxLengthChecked = ck_maxlength->Checked();
  c.MaxLength = ed_maxlength->Value();
  c.NameString = edit_namestring->Text();

  c.VideoFileName = label_fromvideo->Caption();
  TFFDecoder* decoder = FFtoimageDecoder();
  c.ForcedFormatName = decoder->ForcedFormatName;
  TVideoStreamInfo video;
  decoder->GetFirstVideoStreamInfo(video);
  c.SourceWidth = video.Width;
  c.SourceHeight = video.Height;
  c.Begin = split_begin->Value();
  c.End = split_end->Value();
  c.BeginMax = split_begin->MaxValue();
  c.EndMax = split_end->MaxValue();
  c.Duration = Duration;
  c.FrameCount = FrameCount;
  return c;
}

void Tmain::ExtractImages() {
  const TFrameRunChoices choices = FrameRunChoices();
  if (choices.Selection == fsExpress && StrToInt(Trim(edit_express->Text())) > MaxExpressFrames) {
    RunErrorMessage("The Express Total Frames can not be more than 100");
    return;
  }
  const AnsiString selectionProblem = FrameSelectionProblem(choices);
  if (!selectionProblem.empty()) {
    RunErrorMessage(selectionProblem);
    return;
  }
  if (choices.Size == fzCrop && CropSelection.Empty()) {
    RunErrorMessage("Please set cropping area!");
    return;
  }
  // These selections need the program to lay the frames out itself, which it cannot do yet;
  // starting them would leave loose frames where sheets were promised.
  if (IsCompositeFrameRun(choices)) {
    RunErrorMessage("Tiling is not available yet for frames taken every N seconds, at a frame rate or by "
                      "Express Total");
    return;
  }
  if (choices.NameAsString && Trim(choices.NameString).empty()) {
    RunErrorMessage("Please set the image name string");
    return;
  }
  const AnsiString nameProblem = FrameNameProblem(choices);
  if (!nameProblem.empty()) {
    RunErrorMessage(nameProblem);
    return;
  }
  if (!select_folder("Select an output folder for output files", WideString(), OutputFolder)) return;

  timer_toimage->SetEnabled(true);
  RunKind = choices.Selection == fsExpress ? "fftoimage-pre" : "fftoimage";
  Cancelled = false;
  batchaudioc->Label1->SetCaption("Extract images......");
  batchaudioc->progresstotal->SetPosition(0);
  batchaudioc->Button1->SetEnabled(true);
  batchaudioc->ShowModal();
  // A run cancelled before its set-up began must not be set up afterwards.
  timer_toimage->SetEnabled(false);
}

void Tmain::timer_toimageTimer(TObject*) {
  timer_toimage->SetEnabled(false);
  try {
    StartFrameTasks();
  } catch (...) {
    ShowProcessError();
    LeaveFrameRunSetUp();
  }
}

void Tmain::StartFrameTasks() {
  // Cancel pressed before the set-up began: there is no encoder run whose end would close the
  // dialog, so the set-up itself gives up.
  if (Cancelled) {
    LeaveFrameRunSetUp();
    return;
  }
  if (FFtoimage->TaskCount() > 0) FFtoimage->ClearTasks();
  const TFrameRunChoices choices = FrameRunChoices();
  const bool express = choices.Selection == fsExpress;
  const Integer count = FrameTaskCount(choices);
  const AnsiString outputOptions = FrameOutputOptions(choices);
  RunFolder = OutputFolder;
  BaseName = FrameBaseName(choices);
  std::vector<AnsiString> targets;
  FrameRunFirstFiles.clear();
  const AnsiString stem = IncludeTrailingPathDelimiter(RunFolder) + BaseName + "-";
  const AnsiString ext = "." + FrameImageExtension(choices.ImageFormat);

  for (Integer k = 1; k <= count; ++k) {
    TInputOptions input;
    InitInputOptions(input);
    input.Options = FrameInputOptions(choices, k);
    const Integer index = FFtoimage->AddTask(AnsiToWide(choices.VideoFileName), &input);
    if (index < 0) {
      ApplicationStop("Add video file error: " + FFtoimage->LastErrorMessage);
      Abort();
    }
    TOutputOptions output;
    InitOutputOptions(output);
    output.Options = outputOptions;
    const AnsiString file = FrameOutputFileName(choices, RunFolder, k);
    if (FFtoimage->SetOutput(index, AnsiToWide(file), &output) < 0) {
      const AnsiString reason = FFtoimage->LastErrorMessage;
      FFtoimage->RemoveTask(index);
      ApplicationStop("Cannot do convert, error: " + reason);
      Abort();
    }
    // FFmpeg numbers a pattern's images from 1.
    FrameRunFirstFiles.push_back(stem + IntToStr(express ? k : 1) + ext);
    targets.push_back(express ? FrameRunFirstFiles.back() : RunFolder);
    if (express) {
      // Preparing fills the first third of the bar; Cancel gets its chance between tasks.
      TProgressBar* bar = batchaudioc->progresstotal;
      bar->SetPosition(SafeRound<Integer>(bar->Max() * (double(k) / count / 3.0)));
      Application->ProcessMessages();
      if (Cancelled) {
        LeaveFrameRunSetUp();
        return;
      }
    }
  }

  // Without a task no event for the whole list would ever close the dialog.
  if (FFtoimage->TaskCount() == 0) Abort();
  FFtoimage->ThreadPriority = tpNormal;
  TaskProgress.assign(FFtoimage->TaskCount(), 0);
  if (express) RunKind = "fftoimage";
  BeginRun(std::move(targets));
  FrameRunStartedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::filesystem::file_time_type::clock::now().time_since_epoch())
                          .count();
  FFtoimage->StartTask(ParallelFrameTasks);
}

void Tmain::LeaveFrameRunSetUp() {
  ForgetUnstartedTasks(FFtoimage);
  if (batchaudioc->Visible()) batchaudioc->Close();
}

void Tmain::FFtoimageProgress(TObject*, PProgressInfo AProgressInfo) {
  if (!AProgressInfo) return;
  const Integer index = AProgressInfo->TaskIndex;
  if (index < 0 || index >= Integer(TaskProgress.size())) return;
  TProgressBar* bar = batchaudioc->progresstotal;
  const Integer max = bar->Max();
  const double tasks = double(TaskProgress.size());
  if (radio_express->Checked()) {
    if (TaskProgress[index] == 0) TaskProgress[index] = 1;
    const double started = std::accumulate(TaskProgress.begin(), TaskProgress.end(), 0.0);
    // Tiling leaves the last third to the step that lays the frames out.
    const double share = ck_tile->Checked() ? 1.0 : 2.0;
    bar->SetPosition(SafeRound<Integer>((started / tasks * share / 3.0 + 1.0 / 3.0) * max));
    return;
  }
  // A task that cannot tell its length keeps its share as it was.
  if (AProgressInfo->TotalDuration <= 0) return;
  const Int64 done = AProgressInfo->CurrentTime * Int64(max);
  TaskProgress[index] = EnsureRange(SafeRound<Integer>(double(done) / double(AProgressInfo->TotalDuration)), 0, max);
  const double sum = std::accumulate(TaskProgress.begin(), TaskProgress.end(), 0.0);
  const bool composite = ck_tile->Checked() && (radio_everyseconds->Checked() || radio_fps->Checked());
  bar->SetPosition(SafeRound<Integer>(composite ? sum * 2.0 / 3.0 / tasks : sum / tasks));
}

void Tmain::FFtoimageTerminate(TObject*, const TTerminateInfo& ATerminateInfo) {
  EndRun(ATerminateInfo, timer_fftoimage_end);
}

bool Tmain::FrameRunWroteNothing() const {
  // A file left from an earlier run under the same name does not count; the file system's clock
  // may run a few milliseconds behind.
  constexpr Int64 ClockSlackMs = 50;
  for (const AnsiString& file : FrameRunFirstFiles) {
    std::error_code error;
    const auto written = std::filesystem::last_write_time(file, error);
    if (error) continue;
    const Int64 ms = std::chrono::duration_cast<std::chrono::milliseconds>(written.time_since_epoch()).count();
    if (ms >= FrameRunStartedMs - ClockSlackMs) return false;
  }
  return true;
}

void Tmain::timer_fftoimage_endTimer(TObject*) {
  if (FrameRunWroteNothing()) {
    timer_fftoimage_end->SetEnabled(false);
    MessageBox(this, "No frame was extracted: the selection found no frame in the marked range.", "",
               MB_ICONEXCLAMATION);
    return;
  }
  ReportRunFinished(timer_fftoimage_end);
  if (ch_isopenfolder->Checked()) OpenOnDesktop(this, OutputFolder);
}
