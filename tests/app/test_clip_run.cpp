#include <gtest/gtest.h>

#include <filesystem>

#include "app/clip_run.h"
#include "app/transform_dialogs.h"
#include "media/components/decoder.h"
#include "tests/app/run_output_fixture.h"

namespace {

using runtest::Probe;
using runtest::Probed;

// The first picture of Input through the filter Filter ("" for none), written as Png.
void FirstPicture(const std::string& Input, const std::string& Filter, const std::string& Png) {
  testsupport::RunOk("ffmpeg -nostdin -loglevel error -y -i " + testsupport::ShellQuote(Input) +
                     (Filter.empty() ? "" : " -vf " + Filter) + " -frames:v 1 " + testsupport::ShellQuote(Png));
}

// Mean absolute difference per sample between two pictures of the same size, 0 .. 1.
double PictureDifference(const std::string& A, const std::string& B) {
  std::string out;
  testsupport::Run("compare -metric MAE " + testsupport::ShellQuote(A) + " " + testsupport::ShellQuote(B) +
                       " null: 2>&1 | sed -n 's/.*(\\(.*\\))/\\1/p'",
                   &out);
  return runtest::ToNumber(out);
}

class ClipRun : public runtest::RunWindows {
 protected:
  // Extracts the crop chosen on the video page into Dir/crop.mkv; the clip is Width x Height and
  // its first picture is the source's through the filter Right, clearly closer to it than to
  // the source's through Wrong (the same size of area taken elsewhere).
  void ExpectCroppedClip(const std::string& Source, const std::string& Dir, int Width, int Height,
                         const std::string& Right, const std::string& Wrong, double Margin) {
    const std::string target = Dir + "/crop.mkv";
    ASSERT_TRUE(Extract(main->videosheet, target));
    const Probed p = Probe(target);
    ASSERT_NE(p.First("video"), nullptr);
    EXPECT_EQ(p.First("video")->Width, Width);
    EXPECT_EQ(p.First("video")->Height, Height);
    FirstPicture(target, "", Dir + "/ours.png");
    FirstPicture(Source, Right, Dir + "/right.png");
    FirstPicture(Source, Wrong, Dir + "/wrong.png");
    const double right = PictureDifference(Dir + "/ours.png", Dir + "/right.png");
    const double wrong = PictureDifference(Dir + "/ours.png", Dir + "/wrong.png");
    EXPECT_LT(right, 0.03);
    EXPECT_GT(wrong, right * Margin);
  }
};

TEST_F(ClipRun, TheFirstSaveTypeFollowsTheSourceAndTheStart) {
  const std::string dir = testsupport::MakeTempDir("cliptypes");
  std::filesystem::copy_file(runtest::AvClip(6), dir + "/movie.avi");
  const struct {
    std::string source;
    int begin;
    const char* first;
    const char* defaultExt;
  } cases[] = {
      {runtest::AvClip(6), 0, "*.MP4|*.mp4|*.AVI|*.avi|", "mp4"},
      {runtest::AvClip(6), 25, "*.MP4|*.mp4|*.AVI|*.avi|", "mp4"},
      {dir + "/movie.avi", 0, "*.AVI|*.avi|*.MPG|*.mpg|", "avi"},
      {dir + "/movie.avi", 25, "*.MPG|*.mpg|*.AVI|*.avi|", "mpg"},
  };
  for (const auto& c : cases) {
    services.Calls.clear();
    Load(c.source, c.begin, 150);
    main->pageto->SetActivePage(main->videosheet);
    main->btn_extract->Click();  // the dialog is cancelled: nothing else happens
    PumpFor(50);
    const auto saves = services.CallsOf("SaveDialog");
    ASSERT_EQ(saves.size(), 1u) << c.source;
    EXPECT_EQ(saves[0].File.Filter.rfind(c.first, 0), 0u) << saves[0].File.Filter;
    EXPECT_EQ(saves[0].File.DefaultExt, c.defaultExt);
    EXPECT_EQ(saves[0].File.FilterIndex, 1);
    EXPECT_TRUE(MessageTexts().empty());
    EXPECT_FALSE(main->timer_tovideo->Enabled());
  }
  testsupport::RemoveTree(dir);
}

TEST_F(ClipRun, CodecAndSizeComeFromTheLoadedSource) {
  Load(runtest::AvClip(6), 0, 150);  // MPEG-4 pictures, 48000 Hz stereo sound
  const struct {
    const char* target;
    const char* codec;
  } codecs[] = {
      {"/o/c.flv", " -ar 44100 -c:v flv1"},
      {"/o/c.avi", " -c:v mpeg4"},
      {"/o/c.mp4", " -c:v mpeg4"},
      {"/o/c.3gp", " -c:v mpeg4 -c:a aac -ar 8000 -ac 1"},
  };
  for (const auto& c : codecs) {
    AnsiString codec = "stale";
    main->ffcodec(c.target, main->FFtoimage, main->FFtovideo, codec);
    EXPECT_EQ(codec, c.codec) << c.target;
  }
  const struct {
    const char* target;
    const char* size;
  } sizes[] = {{"/o/c.rm", "164:92"}, {"/o/c.avi", "161:91"}, {"/o/c.mkv", "162:92"}};
  for (const auto& c : sizes) {
    AnsiString size;
    main->ffframesize("161", "91", c.target, main->FFtoimage, main->FFtovideo, size);
    EXPECT_EQ(size, c.size) << c.target;
  }
}

TEST_F(ClipRun, EveryTargetFormatGetsCodecsTheToolReads) {
  Load(runtest::AvClip(6), 25, 75);  // 1 s .. 3 s
  const AnsiString info = LowerCase(main->FFtoimageDecoder()->GetMediaInfoText());
  ASSERT_EQ(info.find("264"), AnsiString::npos) << info;
  const std::string dir = testsupport::MakeTempDir("clipformats");
  const struct {
    const char* ext;
    const char* video;
    const char* audio;
    int width, height, sampleRate, channels;
  } targets[] = {
      {"avi", "mpeg4", "mp3", 160, 90, 48000, 2},
      {"mp4", "mpeg4", "aac", 160, 90, 48000, 2},
      {"mkv", "h264", "vorbis", 160, 90, 48000, 2},
      {"webm", "vp8", "vorbis", 160, 90, 48000, 2},
      {"3gp", "mpeg4", "aac", 160, 90, 8000, 1},
      {"flv", "flv1", "mp3", 160, 90, 44100, 2},
      {"wmv", "mpeg4", "wmav2", 160, 90, 48000, 2},
      {"mpg", "mpeg1video", "mp2", 160, 90, 48000, 2},
      {"mov", "h264", "aac", 160, 90, 48000, 2},
      {"rm", "rv20", "ac3", 160, 92, 48000, 2},  // RealVideo sides are multiples of 4
  };
  for (const auto& t : targets) {
    const std::string target = dir + "/clip." + t.ext;
    ASSERT_TRUE(Extract(main->videosheet, target)) << t.ext << ": " << MessageTexts().back();
    const Probed p = Probe(target);
    const auto* video = p.First("video");
    const auto* audio = p.First("audio");
    ASSERT_TRUE(video && audio) << t.ext;
    EXPECT_EQ(video->Codec, t.video) << t.ext;
    EXPECT_EQ(video->Width, t.width) << t.ext;
    EXPECT_EQ(video->Height, t.height) << t.ext;
    EXPECT_EQ(audio->Codec, t.audio) << t.ext;
    EXPECT_EQ(audio->SampleRate, t.sampleRate) << t.ext;
    EXPECT_EQ(audio->Channels, t.channels) << t.ext;
    // The stretch: within a frame, and within an audio packet or two (encoders pad their last).
    EXPECT_NEAR(video->Duration, 2.0, 0.041) << t.ext;
    EXPECT_NEAR(audio->Duration, 2.0, 0.07) << t.ext;
  }
  testsupport::RemoveTree(dir);
}

TEST_F(ClipRun, ChangedSpeedsKeepTheWholeStretchWithItsSound) {
  Load(runtest::AvClip(6), 25, 75);  // a 2 s stretch
  const std::string dir = testsupport::MakeTempDir("clipspeed");
  const struct {
    bool motion;
    int motionPercent;
    bool tempo;
    int tempoPercent;
    double videoSeconds, audioSeconds;
  } cases[] = {
      // The file lasts the stretch at the motion speed; the sound ends there or where the
      // stretch's own sound ends, whichever comes first.
      {true, 200, false, 100, 1.0, 1.0},
      {true, 200, true, 200, 1.0, 1.0},
      {false, 100, true, 50, 2.0, 2.0},
      {true, 50, true, 400, 4.0, 0.5},
      {false, 100, true, 20, 2.0, 2.0},
  };
  for (const auto& c : cases) {
    (c.motion ? main->radio_changemotion : main->radio_originalmotion)->SetChecked(true);
    main->spin_motion->SetValue(c.motionPercent);
    (c.tempo ? main->radio_changetempo2 : main->radio_originaltempo2)->SetChecked(true);
    main->spin_tempo2->SetValue(c.tempoPercent);
    const std::string target =
        dir + "/speed" + std::to_string(c.motionPercent) + "_" + std::to_string(c.tempoPercent) + ".mp4";
    ASSERT_TRUE(Extract(main->videosheet, target)) << target;
    const Probed p = Probe(target);
    ASSERT_TRUE(p.First("video") && p.First("audio")) << target;
    EXPECT_NEAR(p.First("video")->Duration, c.videoSeconds, 0.041) << target;
    EXPECT_NEAR(p.First("audio")->Duration, c.audioSeconds, 0.07) << target;
  }
  testsupport::RemoveTree(dir);
}

TEST_F(ClipRun, ACropChosenOnThePictureSelectsTheSameAreaWhenFlipped) {
  const std::string source = runtest::AvClip(6);
  Load(source, 0, 25);
  const std::string dir = testsupport::MakeTempDir("clipcrop");
  main->radio_crop2->SetChecked(true);
  ASSERT_TRUE(apptest::ChooseCrop(main, true, Rect(8, 10, 88, 60)));  // 80 x 50 at (8, 10)
  effects2->ck_hflip->SetChecked(true);
  ExpectCroppedClip(source, dir, 80, 50, "crop=80:50:8:10,hflip", "hflip,crop=80:50:8:10", 3);
  testsupport::RemoveTree(dir);
}

// An odd crop typed into the clip's dialog: the dialog shows the even size the encoder needs,
// and the clip holds exactly that area from exactly the typed position (the crop filter's own
// rounding would start it one pixel up and left).
TEST_F(ClipRun, AnOddCropKeepsItsPositionAndGetsTheSizeTheDialogShows) {
  const std::string source = runtest::AvClip(6);
  Load(source, 0, 25);
  const std::string dir = testsupport::MakeTempDir("clipoddcrop");
  main->radio_crop2->SetChecked(true);
  TCropFields shown;
  ASSERT_TRUE(apptest::TypeCrop(main, true, 39, 27, 101, 51, &shown));
  EXPECT_EQ(shown, (TCropFields{39, 27, 102, 52}));
  ExpectCroppedClip(source, dir, 102, 52, "crop=102:52:39:27:exact=1", "crop=102:52:38:26:exact=1", 2);
  testsupport::RemoveTree(dir);
}

TEST_F(ClipRun, RefusalsAndAFailedSetUpLeaveNothingRunning) {
  const std::string dir = testsupport::MakeTempDir("clipfail");
  std::filesystem::copy_file(runtest::AvClip(6), dir + "/src.mp4");
  std::filesystem::create_symlink(dir + "/src.mp4", dir + "/link.mp4");
  Load(dir + "/src.mp4", 0, 50);

  // A crop with nothing selected.
  main->radio_crop2->SetChecked(true);
  main->pageto->SetActivePage(main->videosheet);
  main->btn_extract->Click();
  main->radio_originalframesize2->SetChecked(true);
  // The source under another name.
  ClickExtract(main->videosheet, dir + "/link.mp4");
  PumpFor(50);
  // An existing target: the question, answered No.
  std::filesystem::copy_file(dir + "/src.mp4", dir + "/old.mp4");
  testsupport::ScriptedAnswer no;
  no.Result = mrNo;
  services.Script("MessageDlg", no);
  ClickExtract(main->videosheet, dir + "/old.mp4");
  PumpFor(50);
  // A target that cannot be written.
  ClickExtract(main->videosheet, "/nonexistent-folder-h6/out.mp4");
  PumpUntil([&] { return MessageTexts().size() >= 3; }, 10000);
  PumpFor(100);

  const auto boxes = services.CallsOf("MessageBox");
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0].Text, "Please set cropping area!");
  EXPECT_EQ(boxes[1].Text, "The target file name is as same as source file");
  EXPECT_EQ(boxes[2].Text.rfind("Cannot do convert, error: ", 0), 0u) << boxes[2].Text;  // and nothing more
  for (const auto& box : boxes) {
    EXPECT_EQ(box.Caption, "Error");
    EXPECT_EQ(box.Flags, MB_ICONHAND);
  }
  const auto questions = services.CallsOf("MessageDlg");
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].Text, dir + "/old.mp4 already exists. Do you want to replace it?");
  EXPECT_EQ(services.CallsOf("SaveDialog").size(), 3u);
  EXPECT_EQ(main->FFtovideo->TaskCount(), 0);
  EXPECT_FALSE(batchaudioc->Modal());
  EXPECT_FALSE(batchaudioc->Visible());
  testsupport::RemoveTree(dir);
}

TEST_F(ClipRun, ZCancelEndsTheRunWithoutAReport) {
  Load(runtest::LongAvClip(true), 0, 3000);
  const std::string dir = testsupport::MakeTempDir("clipcancel");
  const std::string target = dir + "/long.avi";
  // Once the run is well under way: a cancel in its first moments can leave a clip whose
  // picture stream is still empty.
  ExtractAndCancel(main->videosheet, target, main->FFtovideo, 5);
  EXPECT_TRUE(FCancelled);
  EXPECT_TRUE(main->ClipRun->Cancelled);
  EXPECT_TRUE(MessageTexts().empty());
  EXPECT_FALSE(batchaudioc->Modal());
  EXPECT_FALSE(main->timer_fftovideo_end->Enabled());
  // The part written so far decodes without an error, and ends well before the stretch.
  if (std::filesystem::exists(target)) {
    const Probed p = Probe(target);
    ASSERT_NE(p.First("video"), nullptr);
    EXPECT_EQ(p.First("video")->Codec, "mpeg4");
    EXPECT_EQ(runtest::DecodeErrors(target), "");
    EXPECT_LT(p.Duration, 100.0);
  }
  for (const auto& entry : std::filesystem::directory_iterator(dir)) EXPECT_EQ(entry.path().string(), target);
  testsupport::RemoveTree(dir);
}

}  // namespace
