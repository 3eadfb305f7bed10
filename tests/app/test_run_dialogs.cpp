#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

#include "app/audio_run.h"
#include "app/frame_run.h"
#include "app/run_progress_dialog.h"
#include "app/transform_dialogs.h"
#include "media/components/encoder.h"
#include "platform/gui/graphics.h"
#include "platform/gui/input_simulation.h"
#include "platform/gui/keys.h"
#include "platform/gui/timers.h"
#include "platform/rtl/strings.h"
#include "tests/app/app_windows_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

class RunDialogs : public apptest::AppWindows {};

long long MsSince(Clock::time_point Start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - Start).count();
}

// Runs Open, which shows Form modally, and Action once inside Form's modal loop as soon as Ready
// holds. A form still open at the deadline is closed, so that a fault fails the test instead of
// hanging it.
void WhileModal(TCustomForm* Form, const std::function<void()>& Open, const std::function<void()>& Action,
                bool& TimedOut, const std::function<bool()>& Ready = [] { return true; }, int DeadlineMs = 30000) {
  const auto start = Clock::now();
  bool acted = false;
  TimedOut = false;
  TTimer timer(nullptr);
  timer.SetInterval(10);
  timer.OnTimer = [&](TObject*) {
    if (!Form->Modal()) return;
    if (!acted && Ready()) {
      acted = true;
      Action();
    } else if (MsSince(start) > DeadlineMs && Form->ModalResult() == mrNone) {
      TimedOut = true;
      Form->SetModalResult(mrAbort);
    }
  };
  timer.SetEnabled(true);
  Open();
  timer.SetEnabled(false);
}

TModalResult ShowModalWith(TCustomForm* Form, const std::function<void()>& Action, bool& TimedOut,
                           const std::function<bool()>& Ready = [] { return true; }) {
  TModalResult result = mrNone;
  WhileModal(Form, [&] { result = Form->ShowModal(); }, Action, TimedOut, Ready);
  return result;
}

TEST_F(RunDialogs, ProgressDialogIsAFixedDialogThatOnlyCancelCloses) {
  Tbatchaudioc* d = batchaudioc;
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->BorderStyle(), bsDialog);
  EXPECT_EQ(d->BorderIcons(), 0u);
  EXPECT_EQ(d->Position(), poScreenCenter);
  EXPECT_EQ(d->ClientWidth(), 350);
  EXPECT_EQ(d->ClientHeight(), 90);
  EXPECT_EQ(d->Label1->Caption(), "");
  EXPECT_EQ(d->progresstotal->Min(), 0);
  EXPECT_EQ(d->progresstotal->Max(), 100);
  EXPECT_EQ(d->Button1->Caption(), "Cancel");
  EXPECT_TRUE(d->Button1->Cancel());

  // Each showing starts the bar from 0; the window system's close request is refused.
  d->progresstotal->SetPosition(70);
  ShowActive(d);
  EXPECT_EQ(d->progresstotal->Position(), 0);
  SimulateWindowClose(d);
  Application->ProcessMessages();
  EXPECT_TRUE(d->Visible());
  d->Hide();
}

TEST_F(RunDialogs, EscCancelsTheExpressPreparationOnlyWhileCancelIsEnabled) {
  Tbatchaudioc* d = batchaudioc;
  main->ActiveRun = main->FrameRun.get();
  main->FrameRun->Kind = "fftoimage-pre";
  main->FrameRun->Cancelled = false;
  bool openWhileDisabled = false, cancelledWhileDisabled = true, timedOut = false;
  const TModalResult result = ShowModalWith(
      d,
      [&] {
        d->Button1->SetEnabled(false);
        SimulateKey(d, VK_ESCAPE);
        d->Button1Click(d->Button1);  // reached from code: still nothing
        Application->ProcessMessages();
        openWhileDisabled = d->ModalResult() == mrNone;
        cancelledWhileDisabled = main->FrameRun->Cancelled;
        d->Button1->SetEnabled(true);
        SimulateKey(d, VK_ESCAPE);
      },
      timedOut);
  EXPECT_FALSE(timedOut);
  EXPECT_TRUE(openWhileDisabled);
  EXPECT_FALSE(cancelledWhileDisabled);
  EXPECT_EQ(result, mrCancel);
  EXPECT_TRUE(main->FrameRun->Cancelled);
  EXPECT_FALSE(d->Visible());
}

TEST_F(RunDialogs, CancelStopsTheRunningAudioTaskAndLeavesClosingToTheTermination) {
  const std::string clip = testsupport::Fixture(
      "run_dialogs_sine_10s.m4a",
      "ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=frequency=440:sample_rate=44100 -t 10 -c:a aac {out}");
  const std::string dir = testsupport::MakeTempDir("cancel_audio");
  const std::string wav = dir + "/out.wav";
  Tbatchaudioc* d = batchaudioc;
  TFFEncoder* encoder = main->FFtoaudio;

  main->ActiveRun = main->AudioRun.get();
  main->AudioRun->Kind = "fftoaudio";
  main->AudioRun->Cancelled = false;
  bool clicked = false, stopReturned = false, nestedClickReturned = false;
  bool cancelledDuringStop = false, wholeListSeen = false, openAtWholeList = false, cancelledAtWholeList = false;
  bool writing = false;
  encoder->OnProgress = [&](TObject*, PProgressInfo info) {
    if (info && info->CurrentTime > 0) writing = true;
    // The task's last report reaches the main thread while Cancel waits for the task to end. A
    // second Cancel then must not start a second wait inside the first: that one would wait for
    // a worker that waits for this very handler.
    if (clicked && !stopReturned && !nestedClickReturned) {
      cancelledDuringStop = main->AudioRun->Cancelled;
      d->Button1->Click();
      nestedClickReturned = true;
    }
  };
  encoder->OnTerminate = [&](TObject*, const TTerminateInfo& info) {
    if (info.TaskIndex == -1) {
      wholeListSeen = true;
      openAtWholeList = d->Modal() && d->ModalResult() == mrNone;
      cancelledAtWholeList = main->AudioRun->Cancelled;
      d->Close();
    }
  };

  // Read at the clip's own rate, the task would run for 10 s.
  TInputOptions in;
  in.Options = "-re";
  TOutputOptions out;
  out.Options = "-y -vn";
  encoder->ClearTasks();
  const Integer task = encoder->AddTask(AnsiToWide(clip), &in);
  ASSERT_GE(task, 0) << encoder->LastErrorMessage;
  ASSERT_GE(encoder->SetOutput(task, AnsiToWide(wav), &out), 0) << encoder->LastErrorMessage;

  const auto start = Clock::now();
  encoder->StartTask(5);
  bool timedOut = false;
  ShowModalWith(
      d,
      [&] {
        clicked = true;
        SimulateClick(d->Button1);
        stopReturned = true;
      },
      // Cancel once some sound has been written: a run stopped before its first packet leaves
      // no file at all.
      timedOut, [&] { return writing && MsSince(start) > 600; });
  const long long elapsed = MsSince(start);

  EXPECT_FALSE(timedOut);
  EXPECT_TRUE(stopReturned);
  EXPECT_TRUE(nestedClickReturned);
  EXPECT_TRUE(cancelledDuringStop) << "events delivered while Stop waits must see the run cancelled";
  EXPECT_TRUE(wholeListSeen);
  EXPECT_TRUE(openAtWholeList) << "Cancel itself must not close the dialog of a running encoder";
  EXPECT_TRUE(cancelledAtWholeList);
  EXPECT_TRUE(main->AudioRun->Cancelled);
  EXPECT_LT(elapsed, 7000);
  // The tool reads what was written before the stop: a real wav, well short of the clip.
  const std::string probed = testsupport::RunOk(
      "ffprobe -v error -show_entries stream=codec_name:format=duration -of default=nw=1 " + testsupport::ShellQuote(wav));
  EXPECT_NE(probed.find("codec_name=pcm_s16le"), std::string::npos) << probed;
  const auto at = probed.find("duration=");
  ASSERT_NE(at, std::string::npos) << probed;
  EXPECT_LT(std::stod(probed.substr(at + 9)), 6.0) << probed;
  testsupport::RemoveTree(dir);
}

TEST_F(RunDialogs, TransformDialogsAreTwinsWithTheirOwnSizes) {
  struct {
    TTransformDialog* Dialog;
    Integer Width, Height;
  } const cases[] = {{effects, 550, 391}, {effects2, 541, 382}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Dialog->Name());
    EXPECT_EQ(c.Dialog->Caption(), "Transform");
    EXPECT_EQ(c.Dialog->BorderStyle(), bsDialog);
    EXPECT_EQ(c.Dialog->Position(), poScreenCenter);
    EXPECT_EQ(c.Dialog->ClientWidth(), c.Width);
    EXPECT_EQ(c.Dialog->ClientHeight(), c.Height);
    EXPECT_EQ(c.Dialog->ck_hflip->Caption(), "Flip Horizontal");
    EXPECT_EQ(c.Dialog->ck_vflip->Caption(), "Flip Vertical");
    EXPECT_EQ(c.Dialog->ck_transpose1->Caption(), "Rotate CW");
    EXPECT_EQ(c.Dialog->ck_transpose2->Caption(), "Rotate CCW");
    EXPECT_EQ(c.Dialog->Button1->Caption(), "OK");
    for (TCheckBox* box : {c.Dialog->ck_hflip, c.Dialog->ck_vflip, c.Dialog->ck_transpose1, c.Dialog->ck_transpose2})
      EXPECT_FALSE(box->Checked()) << box->Name();
    // Every control lies inside the client area, the pictures each above their box.
    for (Integer i = 0; i < c.Dialog->ControlCount(); ++i) {
      TControl* control = c.Dialog->Controls(i);
      EXPECT_LE(control->Left() + control->Width(), c.Width) << control->Name();
      EXPECT_LE(control->Top() + control->Height(), c.Height) << control->Name();
    }
    EXPECT_LT(c.Dialog->img_vflip->Top() + c.Dialog->img_vflip->Height(), c.Dialog->ck_vflip->Top());
    EXPECT_EQ(c.Dialog->img_original->Width(), 205);
    EXPECT_EQ(c.Dialog->img_original->Height(), 171);
  }
}

// Pixels of A and B that differ; -1 when the sizes do.
long DifferentPixels(TBitmap* A, TBitmap* B) {
  if (A->Width() != B->Width() || A->Height() != B->Height()) return -1;
  long count = 0;
  for (Integer y = 0; y < A->Height(); ++y)
    for (Integer x = 0; x < A->Width(); ++x) count += A->PixelColor(x, y) != B->PixelColor(x, y);
  return count;
}

TEST_F(RunDialogs, EachTransformPictureIsTheSampleAsFfmpegsFilterTurnsIt) {
  const std::string dir = testsupport::MakeTempDir("transform_pictures");
  TTransformDialog* d = effects;
  TBitmap* sample = d->img_original->Picture()->Bitmap();
  ASSERT_GT(sample->Width(), 0);
  ASSERT_NE(sample->Width(), sample->Height()) << "a square sample would hide a wrong turn";
  sample->SaveToFile(dir + "/sample.bmp");

  struct {
    TImage* Picture;
    const char* Filter;
  } const cases[] = {{d->img_hflip, "hflip"},
                     {d->img_vflip, "vflip"},
                     {d->img_transpose1, "transpose=1"},
                     {d->img_transpose2, "transpose=2"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Filter);
    const std::string made = dir + "/" + c.Picture->Name() + ".bmp";
    testsupport::RunOk("ffmpeg -nostdin -loglevel error -y -i " + testsupport::ShellQuote(dir + "/sample.bmp") +
                       " -vf " + c.Filter + " -pix_fmt bgr24 -c:v bmp " + testsupport::ShellQuote(made));
    TBitmap expected;
    expected.LoadFromFile(made);
    EXPECT_EQ(DifferentPixels(c.Picture->Picture()->Bitmap(), &expected), 0);
    // And the transform shows: the picture is no copy of the sample.
    if (c.Picture == d->img_hflip || c.Picture == d->img_vflip) {
      EXPECT_GT(DifferentPixels(c.Picture->Picture()->Bitmap(), sample), sample->Width() * sample->Height() / 10);
    }
  }
  EXPECT_GT(DifferentPixels(d->img_transpose1->Picture()->Bitmap(), d->img_transpose2->Picture()->Bitmap()),
            sample->Width() * sample->Height() / 10);
  // The clip run's dialog shows the same pictures.
  EXPECT_EQ(DifferentPixels(effects2->img_transpose1->Picture()->Bitmap(), d->img_transpose1->Picture()->Bitmap()), 0);
  testsupport::RemoveTree(dir);
}

TEST_F(RunDialogs, TransformBoxesAreIndependentAndKeepTheirStateAcrossShowings) {
  bool timedOut = false;
  ShowModalWith(effects,
                [&] {
                  SimulateClick(effects->ck_vflip);
                  SimulateClick(effects->ck_transpose1);
                  SimulateClick(effects->ck_hflip);
                  SimulateClick(effects->ck_hflip);
                  SimulateClick(effects->Button1);
                },
                timedOut);
  EXPECT_FALSE(timedOut);
  EXPECT_FALSE(effects->Visible());

  // Opened again from the images page: the choices are still there, and OK keeps them.
  bool hflip = true, vflip = false, cw = false, ccw = true;
  WhileModal(effects, [&] { main->Button3->Click(); },
                [&] {
                  hflip = effects->ck_hflip->Checked();
                  vflip = effects->ck_vflip->Checked();
                  cw = effects->ck_transpose1->Checked();
                  ccw = effects->ck_transpose2->Checked();
                  SimulateKey(effects->Button1, VK_RETURN);
                },
                timedOut);
  EXPECT_FALSE(timedOut);
  EXPECT_FALSE(hflip);
  EXPECT_TRUE(vflip);
  EXPECT_TRUE(cw);
  EXPECT_FALSE(ccw);
  EXPECT_TRUE(effects->ck_vflip->Checked());
  EXPECT_TRUE(effects->ck_transpose1->Checked());
  // The clip run's twin keeps its own choices.
  for (TCheckBox* box : {effects2->ck_hflip, effects2->ck_vflip, effects2->ck_transpose1, effects2->ck_transpose2})
    EXPECT_FALSE(box->Checked()) << box->Name();
}

}  // namespace
