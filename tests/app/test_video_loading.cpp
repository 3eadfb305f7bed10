#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "media/components/decoder.h"
#include "platform/gui/dragdrop.h"
#include "platform/gui/graphics.h"
#include "platform/gui/input_simulation.h"
#include "platform/rtl/files.h"
#include "app/hint_windows.h"
#include "tests/app/app_windows_fixture.h"
#include "widgets/slider/slider.h"

namespace {

using apptest::AppWindows;
using apptest::Clip;

struct TRgbImage {
  int Width = 0, Height = 0;
  std::vector<unsigned char> Pixels;  // R, G, B
};

// The frame the ffmpeg tool extracts at Seconds, as a binary PPM.
TRgbImage ToolFrame(const std::string& clip, double seconds) {
  const std::string dir = testsupport::MakeTempDir("frame");
  const std::string out = dir + "/f.ppm";
  char ss[32];
  std::snprintf(ss, sizeof ss, "%.3f", seconds);
  testsupport::RunOk("ffmpeg -nostdin -loglevel error -y -ss " + std::string(ss) + " -i " + testsupport::ShellQuote(clip) +
                     " -frames:v 1 -pix_fmt rgb24 -f image2 -c:v ppm " + testsupport::ShellQuote(out));
  std::ifstream in(out, std::ios::binary);
  std::string magic;
  int maxval = 0;
  TRgbImage img;
  in >> magic >> img.Width >> img.Height >> maxval;
  in.get();
  img.Pixels.resize(size_t(img.Width) * img.Height * 3);
  in.read(reinterpret_cast<char*>(img.Pixels.data()), std::streamsize(img.Pixels.size()));
  testsupport::RemoveTree(dir);
  EXPECT_EQ(magic, "P6");
  return img;
}

// Mean difference per channel between the preview's fitted area and the tool's frame scaled
// into it, over 8 x 8 blocks (so that scaler differences at sharp edges do not count).
double PreviewDifference(TImage* preview, const TRgbImage& frame, const TRect& fitted) {
  TBitmap* shown = preview->Picture()->Bitmap();
  const int block = 8;
  double total = 0;
  int count = 0;
  for (int by = fitted.Top; by + block <= fitted.Bottom; by += block) {
    for (int bx = fitted.Left; bx + block <= fitted.Right; bx += block) {
      double ours[3] = {0, 0, 0}, theirs[3] = {0, 0, 0};
      for (int y = by; y < by + block; ++y) {
        for (int x = bx; x < bx + block; ++x) {
          const TColor c = shown->PixelColor(x, y);
          ours[0] += c & 0xFF;
          ours[1] += (c >> 8) & 0xFF;
          ours[2] += (c >> 16) & 0xFF;
          const int sx = std::min(frame.Width - 1, int((x - fitted.Left + 0.5) * frame.Width / fitted.Width()));
          const int sy = std::min(frame.Height - 1, int((y - fitted.Top + 0.5) * frame.Height / fitted.Height()));
          const unsigned char* p = &frame.Pixels[(size_t(sy) * frame.Width + sx) * 3];
          for (int k = 0; k < 3; ++k) theirs[k] += p[k];
        }
      }
      for (int k = 0; k < 3; ++k) total += std::fabs(ours[k] - theirs[k]) / (block * block);
      count += 3;
    }
  }
  return total / count;
}

// 160 x 90 fitted into 433 x 170.
const TRect kFitted = Rect(65, 0, 368, 170);

TEST_F(AppWindows, LoadingATenSecondClipSetsRangeLabelsAndFields) {
  const std::string clip = Clip(10);
  main->load_videofile(clip);
  EXPECT_TRUE(MessageTexts().empty());
  EXPECT_EQ(main->label_fromvideo->Caption(), clip);
  EXPECT_EQ(main->Duration, 10000000);
  EXPECT_EQ(main->FrameCount, 250);
  EXPECT_EQ(main->split_begin->MaxValue(), 250);
  EXPECT_EQ(main->split_end->MaxValue(), 250);
  EXPECT_EQ(main->split_begin->Value(), 0);
  EXPECT_EQ(main->split_end->Value(), 250);
  EXPECT_TRUE(main->split_begin->Enabled());
  EXPECT_EQ(main->Label_begintime->Caption(), "Start 00:00:00.000");
  EXPECT_EQ(main->label_beginframe->Caption(), "Frame 0");
  EXPECT_EQ(main->Label_endtime->Caption(), "End 00:00:10.000");
  EXPECT_EQ(main->label_endframe->Caption(), "Frame 250");
  EXPECT_EQ(main->label_totaltime->Caption(), "<< 00:00:10.000");
  EXPECT_EQ(main->label_totalframe->Caption(), "Frame 250 >>");
  // Field limits follow the clip: "10" seconds, "250" frames.
  EXPECT_EQ(main->edit_everyseconds->MaxLength(), 2);
  EXPECT_EQ(main->edit_everyframes->MaxLength(), 3);
  EXPECT_EQ(main->edit_everyframes->Text(), "50");
  EXPECT_EQ(main->EdCustomWidth->Value(), 160);
  EXPECT_EQ(main->EdCustomHeight2->Value(), 90);
  EXPECT_EQ(main->cb_framerate->Items()->Count(), 25);
  EXPECT_EQ(main->cb_framerate->Text(), "25");
  // The range bar covers the whole track.
  EXPECT_EQ(main->split_position_front->Left(), main->split_position_back->Left());
  EXPECT_EQ(main->split_position_front->Width(), main->split_position_back->Width());
}

TEST_F(AppWindows, PreviewsShowTheToolsFrameAtEachEnd) {
  const std::string clip = Clip(10);
  main->load_videofile(clip);
  main->split_begin->SetValue(50);   // 2 s
  main->split_end->SetValue(125);    // 5 s
  ASSERT_TRUE(main->WaitForPreviews(30000));
  EXPECT_EQ(main->Label_begintime->Caption(), "Start 00:00:02.000");
  EXPECT_EQ(main->label_endframe->Caption(), "Frame 125");
  EXPECT_EQ(main->label_totaltime->Caption(), "<< 00:00:03.000");
  EXPECT_EQ(main->label_totalframe->Caption(), "Frame 75 >>");

  const TRgbImage at2 = ToolFrame(clip, 2.0), at5 = ToolFrame(clip, 5.0);
  const double startOk = PreviewDifference(main->Image_start, at2, kFitted);
  const double endOk = PreviewDifference(main->image_end, at5, kFitted);
  const double swapped = PreviewDifference(main->Image_start, at5, kFitted);
  EXPECT_LT(startOk, 6.0);
  EXPECT_LT(endOk, 6.0);
  EXPECT_GT(swapped, startOk + 3.0) << "the comparison must tell two frames apart";
  // The margins beside the fitted picture stay black.
  EXPECT_EQ(main->Image_start->Picture()->Bitmap()->PixelColor(20, 85), clBlack);
  EXPECT_EQ(main->image_end->Picture()->Bitmap()->PixelColor(410, 85), clBlack);
}

TEST_F(AppWindows, StepButtonsMoveOneFrameAndTheStartNeverPassesTheEnd) {
  main->load_videofile(Clip(10));
  main->SpinButton1->UpClick();
  EXPECT_EQ(main->split_begin->Value(), 1);
  EXPECT_EQ(main->Label_begintime->Caption(), "Start 00:00:00.040");
  main->SpinButton2->DownClick();
  EXPECT_EQ(main->split_end->Value(), 249);
  EXPECT_EQ(main->label_endframe->Caption(), "Frame 249");
  main->SpinButton1->DownClick();
  main->SpinButton1->DownClick();  // already at 0
  EXPECT_EQ(main->split_begin->Value(), 0);

  main->split_end->SetValue(100);
  main->split_begin->SetValue(180);
  EXPECT_EQ(main->split_begin->Value(), 100);
  EXPECT_EQ(main->label_totaltime->Caption(), "<< 00:00:00.000");
  EXPECT_EQ(main->label_totalframe->Caption(), "Frame 0 >>");
  EXPECT_EQ(main->split_position_front->Width(), 0);
}

TEST_F(AppWindows, RefusedLoadsReportAndKeepTheLoadedClip) {
  const std::string clip = Clip(10);
  main->load_videofile(clip);
  const std::string audioOnly = testsupport::Fixture(
      "app_sine.mp4", "ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=frequency=440 -t 1 -c:a aac {out}");
  const std::string dir = testsupport::MakeTempDir("refused");
  testsupport::RunOk("echo text > " + dir + "/x.txt && cp " + clip + " " + dir + "/clip.m");

  main->load_videofile(dir + "/x.txt");
  main->load_videofile(dir + "/clip.m");  // a real video, but ".m" is no video extension
  main->load_videofile(dir + "/missing.mp4");
  main->load_videofile(audioOnly);
  const auto boxes = services.CallsOf("MessageBox");
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0].Text, "Please load video file");
  EXPECT_EQ(boxes[1].Text, "Please load video file");
  EXPECT_EQ(boxes[2].Text.rfind("File load error: ", 0), 0u) << boxes[2].Text;
  EXPECT_NE(boxes[2].Text.find(dir + "/missing.mp4"), std::string::npos) << boxes[2].Text;
  // Each message names its own file, not the one that failed before.
  EXPECT_EQ(boxes[3].Text, "***No video stream " + audioOnly);
  for (const auto& box : boxes) {
    EXPECT_EQ(box.Caption, "");
    EXPECT_EQ(box.Flags, MB_ICONHAND);
  }
  EXPECT_EQ(main->label_fromvideo->Caption(), clip);
  EXPECT_EQ(main->FrameCount, 250);
  testsupport::RemoveTree(dir);
}

TEST_F(AppWindows, AClipOfUnknownLengthDoesNotInheritThePreviousLength) {
  main->load_videofile(Clip(10));
  const std::string raw = testsupport::Fixture(
      "app_raw.m4v",
      "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=160x90:rate=25 -t 2 -c:v mpeg4 -f m4v {out}");
  main->load_videofile(raw);
  EXPECT_TRUE(MessageTexts().empty());
  EXPECT_EQ(main->label_fromvideo->Caption(), raw);
  EXPECT_EQ(main->Duration, 0);
  EXPECT_EQ(main->FrameCount, 0);
  EXPECT_FALSE(main->split_begin->Enabled());
  EXPECT_FALSE(main->split_end->Enabled());
  EXPECT_EQ(main->edit_everyseconds->MaxLength(), 1);
}

TEST_F(AppWindows, DroppedFilesLoadInOrderWithTheirWholeNames) {
  const std::string dir = testsupport::MakeTempDir("drop");
  // A path well past 79 characters must reach the loader whole.
  const std::string longName = dir + "/" + std::string(90, 'n') + ".mp4";
  testsupport::RunOk("cp " + Clip(2) + " " + testsupport::ShellQuote(longName));
  ASSERT_GT(longName.size(), 79u);
  SimulateDroppedFiles(main->TabSheet6, {Clip(10), dir + "/x.txt", longName});
  EXPECT_EQ(MessageTexts(), std::vector<AnsiString>{"Please load video file"});
  EXPECT_EQ(main->label_fromvideo->Caption(), longName);
  EXPECT_EQ(main->FrameCount, 50);
  testsupport::RemoveTree(dir);
}

TEST_F(AppWindows, TheDropHintGoesWhenAVideoIsLoaded) {
  ShowActive(main);
  // Over an empty preview the window invites a drop; once a video is in (dropped, or loaded
  // while the hint shows) the invitation is gone and does not come back.
  SimulateMouse(main->Image_start, smMove, mbLeft, 20, 20);
  ASSERT_TRUE(showdragvideo->Visible());
  SimulateDroppedFiles(main->TabSheet6, {Clip(2)});
  EXPECT_FALSE(showdragvideo->Visible());
  SimulateMouse(main->image_end, smMove, mbLeft, 20, 20);
  SimulateMouse(main->Image_start, smMove, mbLeft, 20, 20);
  EXPECT_FALSE(showdragvideo->Visible());
}

TEST_F(AppWindows, PreviewClickShowsTheFullSizePictureModally) {
  main->Image_startClick(main->Image_start);  // nothing decoded yet: no window
  main->load_videofile(Clip(10));
  ASSERT_TRUE(main->WaitForPreviews(30000));
  ASSERT_EQ(main->PreviewBitmap->Width(), 160);
  TForm* shown = nullptr;
  AnsiString caption;
  // The modal window is closed from a timer of the loop it runs.
  TTimer closer(nullptr);
  closer.SetInterval(20);
  closer.OnTimer = [&](TObject*) {
    for (Integer i = 0; i < main->ComponentCount(); ++i) {
      auto* f = dynamic_cast<TForm*>(main->Components(i));
      if (f && f->Modal()) {
        shown = f;
        caption = f->Caption();
        EXPECT_EQ(f->ClientWidth(), 160);
        EXPECT_EQ(f->ClientHeight(), 90);
        f->SetModalResult(mrCancel);
      }
    }
  };
  closer.SetEnabled(true);
  main->image_endClick(main->image_end);
  closer.SetEnabled(false);
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(caption.rfind("160x90 @ 00:00:", 0), 0u) << caption;
}

}  // namespace

namespace {

// Mean absolute difference per byte between the preview bitmap's B, G, R and a picture the tool
// wrote as raw B, G, R, A bytes of the same size.
double PreviewDifference(TBitmap* Bitmap, const std::string& RawBgra) {
  std::ifstream in(RawBgra, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const Integer w = Bitmap->Width(), h = Bitmap->Height();
  if (Int64(bytes.size()) != Int64(w) * h * 4) return 1e9;
  double sum = 0;
  for (Integer y = 0; y < h; ++y) {
    const auto* row = static_cast<const unsigned char*>(Bitmap->ScanLine(y));
    for (Integer x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c)
        sum += std::abs(int(row[x * 4 + c]) - int(static_cast<unsigned char>(bytes[(size_t(y) * w + x) * 4 + c])));
  }
  return sum / (double(w) * h * 3);
}

}  // namespace

// Key frames 250 frames apart: the end preview shows the picture at its own time, the one a run
// starting there takes, not the key frame before it.
TEST_F(AppWindows, PreviewsShowThePictureAtTheSliderTime) {
  const std::string clip = testsupport::Fixture(
      "app_keyint250_preview.mp4",
      "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=320x180:rate=25:duration=16 -c:v libx264 -g 250 "
      "-keyint_min 250 -sc_threshold 0 -pix_fmt yuv420p -preset veryfast -f mp4 {out}");
  main->load_videofile(clip);
  ASSERT_TRUE(MessageTexts().empty());
  const std::string dir = testsupport::MakeTempDir("preview");
  for (const Integer frame : {281, 374}) {
    SCOPED_TRACE(frame);
    main->split_end->SetValue(frame);
    ASSERT_TRUE(main->WaitForPreviews(30000));
    ASSERT_EQ(main->PreviewBitmap->Width(), 320);
    const auto tool = [&](const std::string& Seconds, const std::string& Name) {
      testsupport::RunOk("ffmpeg -nostdin -v error -y -ss " + Seconds + " -i " + testsupport::ShellQuote(clip) +
                         " -frames:v 1 -f rawvideo -pix_fmt bgra " + testsupport::ShellQuote(dir + "/" + Name));
      return PreviewDifference(main->PreviewBitmap, dir + "/" + Name);
    };
    const double atTime = tool(std::to_string(frame / 25.0), "at.bgra");
    const double atKey = tool("10", "key.bgra");
    EXPECT_LT(atTime, 2.0);
    EXPECT_GT(atKey, 4 * atTime + 1);
  }
  testsupport::RemoveTree(dir);
}

// Dragging the start thumb across a clip whose key frames are 10 s apart: every position is a
// long decode from the key frame (several hundred milliseconds each), yet the window keeps serving
// its loop (a 10 ms timer never waits 150 ms, which leaves room for a busy machine's scheduling
// but not for one such decode), and the picture left on screen is the tool's frame at the final
// position.
TEST_F(AppWindows, DraggingAThumbNeverBlocksTheWindowAndEndsOnTheToolsFrame) {
  const std::string clip = testsupport::Fixture(
      "app_keyint250_720p.mp4",
      "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=1280x720:rate=25:duration=10 -c:v libx264 -g 250 "
      "-keyint_min 250 -sc_threshold 0 -pix_fmt yuv420p -preset veryfast -f mp4 {out}");
  ShowActive(main);
  main->load_videofile(clip);
  ASSERT_TRUE(MessageTexts().empty());
  ASSERT_TRUE(main->WaitForPreviews(30000));

  using Clock = std::chrono::steady_clock;
  Clock::time_point lastTick = Clock::now();
  Clock::duration longestWait{};
  TTimer ticker(nullptr);
  ticker.SetInterval(10);
  ticker.OnTimer = [&](TObject*) {
    const Clock::time_point now = Clock::now();
    longestWait = std::max(longestWait, now - lastTick);
    lastTick = now;
  };
  const auto pumpFor = [](int Ms) {
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(Ms);
    while (Clock::now() < until) {
      Application->ProcessMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  };
  ticker.SetEnabled(true);
  pumpFor(30);
  lastTick = Clock::now();
  longestWait = {};

  TClSlider* slider = main->split_begin;
  const TRect thumb = slider->ThumbRect();
  const Integer y = (thumb.Top + thumb.Bottom) / 2;
  Integer x = (thumb.Left + thumb.Right) / 2;
  SimulateMouse(slider, smPress, mbLeft, x, y);
  const Integer stop = slider->Width() * 4 / 5;
  while (x < stop) {
    x = std::min(stop, x + 9);
    SimulateMouse(slider, smMove, mbLeft, x, y, ssLeft);
    pumpFor(15);
  }
  SimulateMouse(slider, smRelease, mbLeft, x, y);
  // Two single steps by key after the drag: the last one asked is the one shown.
  SimulateKey(slider, VK_RIGHT);
  SimulateKey(slider, VK_RIGHT);
  pumpFor(20);
  const Clock::duration dragWait = longestWait;
  ASSERT_TRUE(main->WaitForPreviews(30000));
  ticker.SetEnabled(false);

  const Integer frame = slider->Value();
  ASSERT_GT(frame, 125) << "the drag must end well past the key frame";
  ASSERT_LT(frame, 250);
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(dragWait).count(), 150);
  EXPECT_EQ(main->PreviewTime, Int64(frame) * 40000);
  ASSERT_EQ(main->PreviewBitmap->Width(), 1280);

  const std::string dir = testsupport::MakeTempDir("drag");
  const auto tool = [&](const std::string& Seconds, const std::string& Name) {
    testsupport::RunOk("ffmpeg -nostdin -v error -y -ss " + Seconds + " -i " + testsupport::ShellQuote(clip) +
                       " -frames:v 1 -f rawvideo -pix_fmt bgra " + testsupport::ShellQuote(dir + "/" + Name));
    return PreviewDifference(main->PreviewBitmap, dir + "/" + Name);
  };
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.2f", frame / 25.0);
  const double atTime = tool(seconds, "at.bgra");
  std::snprintf(seconds, sizeof seconds, "%.2f", (frame - 1) / 25.0);
  const double before = tool(seconds, "before.bgra");
  EXPECT_LT(atTime, 2.0);
  EXPECT_GT(before, 4 * atTime + 1) << "the comparison must tell neighbouring frames apart";
  testsupport::RemoveTree(dir);
}
