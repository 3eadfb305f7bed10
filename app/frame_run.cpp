// The Extract button and the frame run: the page is checked, a folder chosen, the encoder's
// tasks built and started inside the progress dialog, their progress shown and the end reported.
#include "app/frame_run.h"

#include <chrono>
#include <filesystem>
#include <numeric>

#include "app/audio_run.h"
#include "app/clip_run.h"
#include "app/composite_run.h"
#include "app/crop_dialogs.h"
#include "app/desktop_open.h"
#include "app/main_window.h"
#include "app/run_progress_dialog.h"
#include "app/select_folder.h"
#include "app/transform_dialogs.h"
#include "app/work_folder.h"
#include "imaging/core/ie_bitmap.h"
#include "imaging/io/ie_file_formats.h"
#include "imaging/io/ie_zodiver_io.h"
#include "media/components/decoder.h"
#include "media/components/encoder.h"
#include "platform/gui/services.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/files.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/strings.h"
#include "platform/rtl/sysutils.h"
#include "widgets/slider/slider.h"

namespace {

// At most this many frame tasks run at once.
constexpr Integer ParallelFrameTasks = 5;
constexpr Integer MaxExpressFrames = 100;

void ApplicationStop(const AnsiString& Text) { Application->MessageBox(Text, "Error", MB_ICONHAND); }

const char* const NoTmpFolder = "Can not create tmp folder. Please be sure the installation folder is NOT read only!";

// Why the imaging library cannot lay out sheets of a format pattern ("*.PCX") today; empty when
// it can. The format table lists formats whose codecs are not there yet, so a small picture is
// written in the format and read back: the answer follows the library as its codecs arrive.
AnsiString TileFormatProblem(const AnsiString& Pattern) {
  const TIEFileFormatInfo* info = IEFileFormatGetInfoByExt(FrameImageExtension(Pattern));
  if (!info || !info->ReadFunction || !info->WriteFunction) return "the imaging library has no codec for it";
  try {
    TIEBitmap picture;
    if (!picture.Allocate(4, 4, ie24RGB)) return "no memory";
    picture.Fill(0);
    TZodivErIO io(nullptr);
    io.SetAttachedIEBitmap(&picture);
    TMemoryStream stream;
    io.SaveToStream(&stream, info->FileType);
    if (io.Aborting) return io.FailureReason().empty() ? AnsiString("writing failed") : io.FailureReason();
    stream.SetPosition(0);
    io.LoadFromStreamFormat(&stream, info->FileType);
    if (io.Aborting) return io.FailureReason().empty() ? AnsiString("reading failed") : io.FailureReason();
    if (picture.GetWidth() != 4 || picture.GetHeight() != 4) return "the picture read back is not the one written";
  } catch (const std::exception& E) {
    return E.what();
  }
  return "";
}

Int64 NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::filesystem::file_time_type::clock::now().time_since_epoch())
      .count();
}

}  // namespace

void Tmain::btn_extractClick(TObject*) {
  if (!FileExists(label_fromvideo->Caption())) {
    MessageBox(this, "Please load video file!", "Error", MB_ICONHAND);
    return;
  }
  TFFDecoder* decoder = FFtoimageDecoder();
  if (decoder->VideoStreamCount <= 0) {
    MessageBox(this, "The source video file is NOT loaded!", "Error", MB_ICONHAND);
    return;
  }
  const auto* page = pageto->ActivePage();
  if (page == audiosheet && decoder->AudioStreamCount <= 0) {
    MessageBox(this, "No audio stream!", "Error", MB_ICONHAND);
    return;
  }
  if (page == imagesheet)
    FrameRun->Start();
  else if (page == audiosheet)
    AudioRun->Start();
  else if (page == videosheet)
    ClipRun->Start();
}

void Tmain::timer_toimageTimer(TObject*) { FrameRun->SetUp(); }

void Tmain::FFtoimageProgress(TObject*, PProgressInfo AProgressInfo) { FrameRun->Progress(AProgressInfo); }

void Tmain::FFtoimageTerminate(TObject*, const TTerminateInfo& ATerminateInfo) { FrameRun->Terminate(ATerminateInfo); }

void Tmain::timer_fftoimage_endTimer(TObject*) { FrameRun->EndTimer(); }

TFrameRun::TFrameRun(Tmain* Main) : TRun(Main, Main->FFtoimage, Main->timer_fftoimage_end) {}

TFrameRunChoices TFrameRun::ReadChoices() const {
  const Tmain* m = Main;
  TFrameRunChoices c;
  if (m->radio_total->Checked())
    c.Selection = fsTotal;
  else if (m->radio_scene->Checked())
    c.Selection = fsScene;
  else if (m->radio_fps->Checked())
    c.Selection = fsFps;
  else if (m->radio_everyframes->Checked())
    c.Selection = fsEveryFrames;
  else if (m->radio_everyseconds->Checked())
    c.Selection = fsEverySeconds;
  else if (m->radio_express->Checked())
    c.Selection = fsExpress;
  else
    c.Selection = fsAllFrames;
  c.ImageAmountText = m->edit_imageamount->Text();
  c.ScenePercent = m->se_scenechange->Value();
  c.FrameRateText = m->cb_framerate->Text();
  c.EveryFramesText = m->edit_everyframes->Text();
  c.EverySecondsText = m->edit_everyseconds->Text();
  c.ExpressText = m->edit_express->Text();

  c.Tile = m->ck_tile->Checked();
  c.Columns = m->se_columns->Value();
  c.Lines = m->se_lines->Value();

  if (m->radio_customframesize->Checked())
    c.Size = fzCustom;
  else if (m->radio_crop->Checked())
    c.Size = fzCrop;
  else
    c.Size = fzOriginal;
  c.CustomWidth = m->EdCustomWidth->Value();
  c.CustomHeight = m->EdCustomHeight->Value();
  c.Pad = m->cb_pad->Checked();
  c.Crop = setcrop->Selection();

  if (effects) {
    c.HFlip = effects->ck_hflip->Checked();
    c.VFlip = effects->ck_vflip->Checked();
    c.RotateCW = effects->ck_transpose1->Checked();
    c.RotateCCW = effects->ck_transpose2->Checked();
  }

  c.ImageFormat = m->cb_imageformats->Text();
  c.NameAsString = m->radio_asstring->Checked();
  c.MaxLengthChecked = m->ck_maxlength->Checked();
  c.MaxLength = m->ed_maxlength->Value();
  c.NameString = m->edit_namestring->Text();

  c.VideoFileName = m->label_fromvideo->Caption();
  TFFDecoder* decoder = m->FFtoimageDecoder();
  c.ForcedFormatName = decoder->ForcedFormatName;
  TVideoStreamInfo video;
  decoder->GetFirstVideoStreamInfo(video);
  c.SourceWidth = video.Width;
  c.SourceHeight = video.Height;
  c.Begin = m->split_begin->Value();
  c.End = m->split_end->Value();
  c.BeginMax = m->split_begin->MaxValue();
  c.EndMax = m->split_end->MaxValue();
  c.Duration = m->Duration;
  c.FrameCount = m->FrameCount;
  return c;
}

void TFrameRun::Start() {
  const TFrameRunChoices choices = ReadChoices();
  if (choices.Selection == fsExpress && StrToInt(Trim(choices.ExpressText)) > MaxExpressFrames) {
    ErrorMessage("The Express Total Frames can not be more than 100");
    return;
  }
  const AnsiString selectionProblem = FrameSelectionProblem(choices);
  if (!selectionProblem.empty()) {
    ErrorMessage(selectionProblem);
    return;
  }
  if (choices.Size == fzCrop && choices.Crop.Empty()) {
    ErrorMessage("Please set cropping area!");
    return;
  }
  FWorkFolder.clear();
  if (IsCompositeFrameRun(choices)) {
    // The program lays these frames out itself, through the imaging library: a format it cannot
    // read and write would end in loose frames and no sheet.
    const AnsiString formatProblem = TileFormatProblem(choices.ImageFormat);
    if (!formatProblem.empty()) {
      ErrorMessage("Multiple Frames Image can not be made of " + choices.ImageFormat +
                   " images with this selection; choose another image format (" + formatProblem + ")");
      return;
    }
    FWorkFolder = MakeTileWorkFolder();
    if (FWorkFolder.empty()) {
      ApplicationStop(NoTmpFolder);
      return;
    }
  }
  if (choices.NameAsString && Trim(choices.NameString).empty()) {
    ErrorMessage("Please set the image name string");
    return;
  }
  const AnsiString nameProblem = FrameNameProblem(choices);
  if (!nameProblem.empty()) {
    ErrorMessage(nameProblem);
    return;
  }
  if (!select_folder("Select an output folder for output files", WideString(), Main->OutputFolder)) return;

  Choices = choices;
  Main->timer_toimage->SetEnabled(true);
  Kind = choices.Selection == fsExpress ? "fftoimage-pre" : "fftoimage";
  Cancelled = false;
  ShowDialog("Extract images......");
  // A run cancelled before its set-up began must not be set up afterwards.
  Main->timer_toimage->SetEnabled(false);
}

void TFrameRun::SetUp() {
  Main->timer_toimage->SetEnabled(false);
  try {
    StartTasks();
  } catch (...) {
    ProcessError();
    LeaveSetUp();
  }
}

void TFrameRun::StartTasks() {
  // Cancel pressed before the set-up began: there is no encoder run whose end would close the
  // dialog, so the set-up itself gives up.
  if (Cancelled) {
    LeaveSetUp();
    return;
  }
  if (FEncoder->TaskCount() > 0) FEncoder->ClearTasks();
  const TFrameRunChoices& choices = Choices;
  const bool express = choices.Selection == fsExpress;
  const Integer count = FrameTaskCount(choices);
  const AnsiString outputOptions = FrameOutputOptions(choices);
  RunFolder = Main->OutputFolder;
  BaseName = FrameBaseName(choices);
  std::vector<AnsiString> targets;
  FFirstFiles.clear();
  const AnsiString stem = IncludeTrailingPathDelimiter(RunFolder) + BaseName + "-";
  const AnsiString ext = "." + FrameImageExtension(choices.ImageFormat);
  const bool composite = IsCompositeFrameRun(choices);
  FFrameFolder.clear();
  TileSourcePrefix.clear();
  TileOutputPrefix.clear();
  if (composite) {
    FFrameFolder = MakeRunFrameFolder(FWorkFolder);
    if (FFrameFolder.empty()) {
      ApplicationStop(NoTmpFolder);
      Abort();
    }
    TileSourcePrefix = FFrameFolder + BaseName + "-";
    TileOutputPrefix = stem;
  }

  for (Integer k = 1; k <= count; ++k) {
    TInputOptions input;
    InitInputOptions(input);
    input.Options = FrameInputOptions(choices, k);
    const Integer index = FEncoder->AddTask(AnsiToWide(choices.VideoFileName), &input);
    if (index < 0) {
      ApplicationStop("Add video file error: " + FEncoder->LastErrorMessage);
      Abort();
    }
    TOutputOptions output;
    InitOutputOptions(output);
    output.Options = outputOptions;
    const AnsiString file = FrameOutputFileName(choices, composite ? FFrameFolder : RunFolder, k);
    if (FEncoder->SetOutput(index, AnsiToWide(file), &output) < 0) {
      const AnsiString reason = FEncoder->LastErrorMessage;
      FEncoder->RemoveTask(index);
      ApplicationStop("Cannot do convert, error: " + reason);
      Abort();
    }
    // FFmpeg numbers a pattern's images from 1.
    FFirstFiles.push_back(stem + IntToStr(express ? k : 1) + ext);
    targets.push_back(express ? FFirstFiles.back() : RunFolder);
    if (express) {
      // Preparing fills the first third of the bar; Cancel gets its chance between tasks.
      TProgressBar* bar = batchaudioc->progresstotal;
      bar->SetPosition(SafeRound<Integer>(bar->Max() * (double(k) / count / 3.0)));
      Application->ProcessMessages();
      if (Cancelled) {
        LeaveSetUp();
        return;
      }
    }
  }

  // Without a task no event for the whole list would ever close the dialog.
  if (FEncoder->TaskCount() == 0) Abort();
  FEncoder->ThreadPriority = tpNormal;
  TaskProgress.assign(FEncoder->TaskCount(), 0);
  if (express) Kind = "fftoimage";
  Begin(std::move(targets));
  FStartedMs = NowMs();
  FEncoder->StartTask(ParallelFrameTasks);
}

void TFrameRun::LeaveSetUp() {
  ForgetUnstartedTasks();
  if (!FFrameFolder.empty()) HandOverFrames(true);
  CloseDialog();
}

void TFrameRun::HandOverFrames(bool Discard) {
  TCompositeRun::TSource source;
  source.FrameFolder = FFrameFolder;
  source.FrameStem = BaseName + "-";
  source.SheetPrefix = TileOutputPrefix;
  source.Ext = FrameImageExtension(Choices.ImageFormat);
  source.Columns = Choices.Columns;
  source.Lines = Choices.Lines;
  source.Expected = ExpectedTileFrames(Choices);
  FFrameFolder.clear();
  TCompositeRun* step = Main->CompositeRun.get();
  step->Take(source);
  if (Discard)
    step->Purge();
  else
    step->Start();
}

void TFrameRun::ListEnded() {
  if (!Composite()) {
    TRun::ListEnded();
    return;
  }
  // A cancelled run only empties its working folder, which closes the dialog; otherwise the
  // composite step takes over with the dialog still open.
  HandOverFrames(Cancelled);
}

void TFrameRun::ListFailed() {
  if (Composite()) HandOverFrames(true);
  TRun::ListFailed();
}

void TFrameRun::Progress(PProgressInfo AProgressInfo) {
  if (!AProgressInfo) return;
  const Integer index = AProgressInfo->TaskIndex;
  if (index < 0 || index >= Integer(TaskProgress.size())) return;
  TProgressBar* bar = batchaudioc->progresstotal;
  const Integer max = bar->Max();
  const double tasks = double(TaskProgress.size());
  if (Choices.Selection == fsExpress) {
    if (TaskProgress[index] == 0) TaskProgress[index] = 1;
    const double started = std::accumulate(TaskProgress.begin(), TaskProgress.end(), 0.0);
    // Tiling leaves the last third to the step that lays the frames out.
    const double share = Choices.Tile ? 1.0 : 2.0;
    bar->SetPosition(SafeRound<Integer>((started / tasks * share / 3.0 + 1.0 / 3.0) * max));
    return;
  }
  // A task that cannot tell its length keeps its share as it was.
  if (AProgressInfo->TotalDuration <= 0) return;
  const Int64 done = AProgressInfo->CurrentTime * Int64(max);
  TaskProgress[index] = EnsureRange(SafeRound<Integer>(double(done) / double(AProgressInfo->TotalDuration)), 0, max);
  const double sum = std::accumulate(TaskProgress.begin(), TaskProgress.end(), 0.0);
  const bool composite = IsCompositeFrameRun(Choices);
  bar->SetPosition(SafeRound<Integer>(composite ? sum * 2.0 / 3.0 / tasks : sum / tasks));
}

bool TFrameRun::WroteNothing() const {
  // A file left from an earlier run under the same name does not count; the file system's clock
  // may run a few milliseconds behind.
  constexpr Int64 ClockSlackMs = 50;
  for (const AnsiString& file : FFirstFiles) {
    std::error_code error;
    const auto written = std::filesystem::last_write_time(file, error);
    if (error) continue;
    const Int64 ms = std::chrono::duration_cast<std::chrono::milliseconds>(written.time_since_epoch()).count();
    if (ms >= FStartedMs - ClockSlackMs) return false;
  }
  return true;
}

void TFrameRun::EndTimer() {
  const bool nothing = Composite() ? Main->CompositeRun->SheetsWritten() == 0 : WroteNothing();
  if (nothing) {
    FEndTimer->SetEnabled(false);
    MessageBox(Main, "No frame was extracted: the selection found no frame in the marked range.", "",
               MB_ICONEXCLAMATION);
    return;
  }
  ReportFinished();
  if (Main->ch_isopenfolder->Checked()) OpenOnDesktop(Main, Main->OutputFolder);
}
