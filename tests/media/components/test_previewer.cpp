// The preview window: shown from a worker thread, sized to the frame, captioned with its time,
// silent once the user closed it; and an encoder that turns preview off mid-run.
#include <gtest/gtest.h>

#include <thread>

#include "media/binding/engine_utils.h"
#include "media/components/previewer.h"
#include "platform/gui/bitmap.h"
#include "platform/gui/canvas.h"
#include "tests/media/components/test_encoder_support.h"

using namespace encodertest;

namespace {

// Runs Body on a worker thread while the main thread serves its hand-overs.
void OnWorker(const std::function<void()>& Body) {
  std::atomic<bool> done{false};
  std::thread t([&] {
    Body();
    done = true;
  });
  ServeUntil([&] { return done.load(); }, 10000);
  t.join();
}

TEST(Previewer, ShowsTheFrameSizedAndCaptionedAndStopsOnceClosed) {
  TBitmap frame;
  frame.SetPixelFormat(pf32bit);
  frame.SetSize(320, 240);
  frame.Canvas()->Brush()->SetColor(clRed);
  frame.Canvas()->FillRect(TRect(0, 0, 320, 240));

  auto* previewer = new TPreviewer();
  bool shown = false;
  OnWorker([&] { shown = previewer->Update(&frame, 10, 1000000); });
  EXPECT_TRUE(shown);
  TPreviewerForm* form = previewer->Form;
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->ClientWidth(), 320);
  EXPECT_EQ(form->ClientHeight(), 240);
  EXPECT_EQ(form->Caption(), "00:00:01.005");
  EXPECT_EQ(form->FormStyle(), fsStayOnTop);
  EXPECT_EQ(form->BorderStyle(), bsToolWindow);
  EXPECT_EQ(form->BorderIcons(), biSystemMenu);
  EXPECT_TRUE(form->Visible());
  // The window keeps its frame: a repaint shows it again.
  form->Canvas()->Brush()->SetColor(clBlue);
  form->Canvas()->FillRect(TRect(0, 0, 320, 240));
  form->Invalidate();
  for (int i = 0; i < 5; ++i) ProcessMessages();
  EXPECT_EQ(form->Canvas()->Pixels(5, 5), clRed);

  // A later, larger frame does not resize the window.
  TBitmap big;
  big.SetPixelFormat(pf32bit);
  big.SetSize(400, 300);
  OnWorker([&] { shown = previewer->Update(&big, 11, 2000000); });
  EXPECT_EQ(form->ClientWidth(), 320);
  EXPECT_EQ(form->Caption(), "00:00:02.005");

  form->Close();
  EXPECT_TRUE(previewer->Closed);
  EXPECT_FALSE(form->Visible());
  OnWorker([&] { shown = previewer->Update(&frame, 12, 3000000); });
  EXPECT_FALSE(shown);
  EXPECT_EQ(form->Caption(), "00:00:02.005");

  // Freed from a worker: the window goes on the main thread.
  OnWorker([&] { delete previewer; });
}

// A task waiting for the main thread to draw its frame holds the engine's preview lock; turning
// preview off from the main thread meanwhile must not wait for it without serving.
TEST(Previewer, TurningPreviewOffDuringARunDoesNotDeadlock) {
  LoadFFmpegForTest();
  const std::string input = LongClip();
  const std::string dir = testsupport::MakeTempDir("enc-prev");
  TFFEncoder encoder(nullptr);
  encoder.SetPreview(true);
  for (int i = 0; i < 2; ++i) AddFrameTask(encoder, input, dir, i, "-re");
  bool listDone = false;
  encoder.OnTerminate = [&](TObject*, const TTerminateInfo& Info) { listDone = listDone || Info.TaskIndex == -1; };
  encoder.StartTask(2);
  for (int round = 0; round < 5; ++round) {
    ServeUntil([] { return false; }, 400);
    // Not serving for a while: a task showing a frame is then surely waiting for this thread.
    Sleep(250);
    encoder.SetPreview(round % 2 == 1);
  }
  EXPECT_FALSE(encoder.Preview());
  encoder.Stop(true);
  EXPECT_TRUE(ServeUntil([&] { return listDone; }, 10000));
  testsupport::RemoveTree(dir);
}

}  // namespace
