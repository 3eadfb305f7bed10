// Loading a video into the main window and keeping the two ends of its cut range on screen.
#include <algorithm>
#include <memory>

#include "app/audio_run_options.h"
#include "app/fitted_drawing.h"
#include "app/main_window.h"
#include "app/preview_worker.h"
#include "app/time_text.h"
#include "app/video_extensions.h"
#include "media/components/decoder.h"
#include "platform/gui/application.h"
#include "platform/gui/graphics.h"
#include "platform/gui/services.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/strings.h"
#include "platform/rtl/sysutils.h"
#include "widgets/slider/slider.h"

namespace {

// No picture rate a file may claim fills the rate list past this.
constexpr Integer MaxFrameRateItems = 1000;

void StopMessage(TWinControl* Owner, const AnsiString& Text) { MessageBox(Owner, Text, "", MB_ICONHAND); }

void CutToLength(TEdit* Field, Integer Length) {
  Field->SetMaxLength(Length);
  if (Integer(Field->Text().size()) > Length) Field->SetText(Field->Text().substr(0, Length));
}

}  // namespace

TStretch Tmain::MarkedStretch() const {
  return StretchOfRange(split_begin->Value(), split_begin->MaxValue(), split_end->Value(), split_end->MaxValue(),
                        Duration);
}

void Tmain::bt_loadClick(TObject*) {
  OpenDialog1->SetFileName("");
  OpenDialog1->SetFilter(AnsiString("Video Files|") + VideoExtensionList);
  if (OpenDialog1->Execute()) load_videofile(OpenDialog1->FileName());
}

void Tmain::load_videofile(const AnsiString& FileName) {
  if (!IsVideoFileName(FileName)) {
    StopMessage(this, "Please load video file");
    return;
  }
  TFFDecoder* decoder = FFtoimageDecoder();
  if (!decoder->OpenFile(AnsiToWide(FileName))) {
    StopMessage(this, "File load error: " + decoder->LastErrorMessage);
    return;
  }
  if (decoder->FirstVideoStreamIndex < 0) {
    // The decoder's last error may be an earlier file's: this message names the file itself.
    StopMessage(this, "***No video stream " + FileName);
    return;
  }

  TFileStreamInfo fileInfo;
  decoder->GetFileStreamInfo(fileInfo);
  const Int64 d = fileInfo.Duration;
  const bool known = d >= 0;
  split_begin->SetEnabled(known);
  split_end->SetEnabled(known);
  // A file that cannot tell its length must not inherit the previous file's.
  Duration = known ? d : 0;

  TVideoStreamInfo video;
  decoder->GetFirstVideoStreamInfo(video);
  const Int64 num = video.FrameRate.num;
  const Int64 den = video.FrameRate.den;
  FrameCount = 0;
  if (decoder->VideoStreamCount >= 1 && den > 0) {
    const double rate = double(num) / double(den);
    if (video.DurationUs > 0) {
      FrameCount = SafeRound<Integer>(double(video.DurationUs) / 1000000 * rate);
    } else if (known) {
      FrameCount = SafeRound<Integer>(double(d) / 1000000 * rate);
    }
  } else if (known) {
    FrameCount = SafeRound<Integer>(double(d) / 1000000 * 10);
  }
  if (FrameCount < 0) FrameCount = 0;

  label_fromvideo->SetCaption(FileName);
  HideDragHints();

  CutToLength(edit_everyseconds, Integer(IntToStr(Duration / 1000000).size()));
  CutToLength(edit_everyframes, Integer(IntToStr(FrameCount).size()));
  CutToLength(edit_imageamount, Integer(IntToStr(FrameCount).size()));

  EdCustomWidth->SetValue(video.Width);
  EdCustomWidth2->SetValue(video.Width);
  EdCustomHeight->SetValue(video.Height);
  EdCustomHeight2->SetValue(video.Height);

  cb_framerate->Clear();
  const Integer rateItems = den > 0 ? SafeRound<Integer>(double(num) / double(den)) : 0;
  for (Integer i = 1; i <= Min(rateItems, MaxFrameRateItems); ++i) cb_framerate->Items()->Add(IntToStr(i));
  cb_framerate->SetItemIndex(cb_framerate->Items()->Count() - 1);

  PreviewBitmap->SetSize(0, 0);
  PreviewTime = 0;
  FillPreviewsBlack();
  if (!FPreviews) {
    FPreviews = std::make_unique<TPreviewWorker>(
        [this](bool StartEnd, TBitmap*& Picture, Int64 PictureUs, TBitmap* Fitted, const TRect& Target) {
          ShowPreview(StartEnd, Picture, PictureUs, Fitted, Target);
        },
        [this](const AnsiString& Text) { StopMessage(this, Text); });
  }
  FPreviews->SetFile(FileName);

  const Integer oldBegin = split_begin->Value();
  const Integer oldEnd = split_end->Value();
  split_begin->SetMaxValue(FrameCount);
  split_begin->SetValue(0);
  split_end->SetMaxValue(FrameCount);
  split_end->SetValue(split_end->MaxValue());
  // A slider that kept its value raised no change, yet its preview was just blacked out and
  // its labels still describe the previous file.
  if (split_begin->Value() == oldBegin) split_beginChange(split_begin);
  if (split_end->Value() == oldEnd) split_endChange(split_end);
}

Int64 Tmain::TimeOfPosition(Integer Position) const {
  const Integer max = split_begin->MaxValue();
  if (max <= 0) return 0;
  return SafeRound<Int64>(double(Position) / max * double(Duration));
}

Integer Tmain::FrameOfPosition(Integer Position) const {
  const Integer max = split_begin->MaxValue();
  if (max <= 0) return 0;
  return SafeRound<Integer>(double(Position) / max * double(FrameCount));
}

void Tmain::UpdateRangeBar(bool MoveLeft) {
  const Integer max = split_begin->MaxValue();
  if (max <= 0) return;
  const Integer begin = split_begin->Value();
  const Integer end = split_end->Value();
  const double track = split_position_back->Width();
  split_position_front->SetWidth(SafeRound<Integer>((end - begin) * track / max));
  if (MoveLeft) split_position_front->SetLeft(SafeRound<Integer>(begin * track / max) + split_position_back->Left());
}

void Tmain::split_beginChange(TObject*) {
  if (split_end->Value() < split_begin->Value()) {
    split_begin->SetValue(split_end->Value());
    return;
  }
  UpdateRangeBar(true);
  RefreshEnd(true);
}

void Tmain::split_endChange(TObject*) {
  if (split_begin->Value() > split_end->Value()) {
    split_end->SetValue(split_begin->Value());
    return;
  }
  UpdateRangeBar(false);
  RefreshEnd(false);
}

void Tmain::RefreshEnd(bool StartEnd) {
  TFFDecoder* decoder = FFtoimageDecoder();
  if (decoder->VideoStreamCount <= 0) return;
  const Integer begin = split_begin->Value();
  const Integer end = split_end->Value();
  const Integer position = StartEnd ? begin : end;
  const Int64 t = TimeOfPosition(position);
  if (StartEnd) {
    Label_begintime->SetCaption("Start " + format_time(t));
    label_beginframe->SetCaption("Frame " + IntToStr(FrameOfPosition(position)));
  } else {
    Label_endtime->SetCaption("End " + format_time(t));
    label_endframe->SetCaption("Frame " + IntToStr(FrameOfPosition(position)));
  }
  const Integer max = split_begin->MaxValue();
  const double share = max > 0 ? double(end - begin) / max : 0.0;
  label_totaltime->SetCaption("<< " + format_time(SafeRound<Int64>(share * double(Duration))));
  label_totalframe->SetCaption("Frame " + IntToStr(SafeRound<Integer>(share * double(FrameCount))) + " >>");

  // The picture follows when the worker has it: a dragged slider never waits for the decoder.
  if (FPreviews) FPreviews->Request(StartEnd, t, (StartEnd ? Image_start : image_end)->Canvas()->ClipRect());
}

void Tmain::ShowPreview(bool StartEnd, TBitmap*& Picture, Int64 PictureUs, TBitmap* Fitted, const TRect& Target) {
  std::swap(PreviewBitmap, Picture);
  PreviewTime = PictureUs;
  TImage* image = StartEnd ? Image_start : image_end;
  if (Fitted->Width() > 0 && Fitted->Height() > 0) image->Canvas()->Draw(Target.Left, Target.Top, Fitted);
  image->Invalidate();
}

bool Tmain::PreviewsIdle() const { return !FPreviews || FPreviews->Idle(); }

bool Tmain::WaitForPreviews(Cardinal TimeoutMs) { return !FPreviews || FPreviews->WaitIdle(TimeoutMs); }

void Tmain::StepEnd(bool StartEnd, Integer Delta) {
  if (Duration <= 0) return;
  TLabel* frameLabel = StartEnd ? label_beginframe : label_endframe;
  const AnsiString& caption = frameLabel->Caption();
  Integer n = 0;
  if (caption.size() < 7 || !TryStrToInt(caption.substr(6), n)) return;
  TClSlider* slider = StartEnd ? split_begin : split_end;
  if (Delta > 0 && n < FrameCount) {
    slider->SetValue(n + 1);
  } else if (Delta < 0 && n > 0) {
    slider->SetValue(n - 1);
  } else {
    return;
  }
  if (StartEnd) {
    split_beginChange(slider);
  } else {
    split_endChange(slider);
  }
}

void Tmain::SpinButton1UpClick(TObject*) { StepEnd(true, 1); }
void Tmain::SpinButton1DownClick(TObject*) { StepEnd(true, -1); }
void Tmain::SpinButton2UpClick(TObject*) { StepEnd(false, 1); }
void Tmain::SpinButton2DownClick(TObject*) { StepEnd(false, -1); }

// The enlarged picture is the clicked end's own: it waits for that end's picture, which the
// loop delivers meanwhile.
namespace {
constexpr Cardinal EnlargeWaitMs = 30000;
}  // namespace

void Tmain::Image_startClick(TObject*) {
  split_beginChange(split_begin);
  WaitForPreviews(EnlargeWaitMs);
  showbigimage();
}

void Tmain::image_endClick(TObject*) {
  split_endChange(split_end);
  WaitForPreviews(EnlargeWaitMs);
  showbigimage();
}

void Tmain::showbigimage() {
  if (PreviewBitmap->Width() == 0 || PreviewBitmap->Height() == 0) return;
  std::unique_ptr<TForm> window(new TForm(this));
  window->SetBorderStyle(bsSingle);
  window->SetBorderIcons(biSystemMenu);
  window->SetPosition(poScreenCenter);

  TButton* closer = new TButton(window.get());
  closer->SetParent(window.get());
  closer->SetBounds(0, 0, 0, 0);
  closer->SetDefault(true);
  closer->SetCancel(true);
  closer->SetModalResult(mrCancel);

  // A picture larger than the screen's free area is shown smaller, in its own proportions, so
  // that the whole window, its edges and close box included, stays within reach. The window
  // has the main window's kind of border; the main window's menu bar counts as spare room.
  const TRect work = Screen->WorkAreaRect();
  const Integer roomWidth = std::max<Integer>(work.Width() - std::max<Integer>(Width() - ClientWidth(), 0), 1);
  const Integer roomHeight = std::max<Integer>(work.Height() - std::max<Integer>(Height() - ClientHeight(), 0), 1);
  const double scale = std::min({1.0, double(roomWidth) / PreviewBitmap->Width(),
                                 double(roomHeight) / PreviewBitmap->Height()});
  const Integer shownWidth = std::clamp<Integer>(SafeRound<Integer>(PreviewBitmap->Width() * scale), 1, roomWidth);
  const Integer shownHeight = std::clamp<Integer>(SafeRound<Integer>(PreviewBitmap->Height() * scale), 1, roomHeight);

  TImage* picture = new TImage(window.get());
  picture->SetParent(window.get());
  picture->SetBounds(0, 0, shownWidth, shownHeight);
  picture->SetStretch(scale < 1.0);
  picture->Picture()->SetBitmap(PreviewBitmap);
  picture->OnClick = [this](TObject* S) { DoActualFormClick(S); };

  window->SetCaption(Format("%dx%d @ %s", PreviewBitmap->Width(), PreviewBitmap->Height(),
                            format_time(PreviewTime)));
  window->SetClientWidth(picture->Width());
  window->SetClientHeight(picture->Height());
  window->ShowModal();
}

void Tmain::DoActualFormClick(TObject* Control) {
  auto* control = dynamic_cast<TControl*>(Control);
  if (!control) return;
  if (auto* form = dynamic_cast<TCustomForm*>(control->Parent())) form->Close();
}
