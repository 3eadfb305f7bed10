#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "app/audio_run.h"
#include "tests/app/run_output_fixture.h"

namespace {

using runtest::Probe;
using runtest::Probed;

class AudioRun : public runtest::RunWindows {};

std::string FileText(const std::string& Name) {
  std::ifstream in(Name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The mean loudness in dB that ffmpeg's volumedetect measures.
double MeanVolume(const std::string& File) {
  const std::string out = testsupport::RunOk("ffmpeg -nostdin -hide_banner -i " + testsupport::ShellQuote(File) +
                                             " -af volumedetect -f null - 2>&1 | sed -n 's/.*mean_volume: //p'");
  return runtest::ToNumber(out);
}

TEST_F(AudioRun, EveryTypeOfTheDialogWritesItsCodec) {
  Load(runtest::AvClip(6), 25, 75);  // 1 s .. 3 s
  const std::string dir = testsupport::MakeTempDir("audiotypes");
  const struct {
    const char* ext;
    const char* codec;
  } types[] = {
      {"wav", "pcm_s16le"}, {"mp3", "mp3"},    {"wma", "wmav2"},   {"aac", "aac"},       {"ac3", "ac3"},
      {"flac", "flac"},     {"m4a", "aac"},    {"mka", "vorbis"},  {"mp2", "mp2"},       {"ogg", "vorbis"},
      {"ra", "ac3"},        {"aif", "pcm_s16be"}, {"aiff", "pcm_s16be"}, {"aifc", "pcm_s16be"}, {"au", "pcm_s16be"},
  };
  for (const auto& t : types) {
    const std::string target = dir + "/out." + t.ext;
    ASSERT_TRUE(Extract(main->audiosheet, target)) << t.ext << ": " << MessageTexts().back();
    const Probed p = Probe(target);
    ASSERT_EQ(p.Streams.size(), 1u) << t.ext;
    EXPECT_EQ(p.Streams[0].Type, "audio") << t.ext;
    EXPECT_EQ(p.Streams[0].Codec, t.codec) << t.ext;
    EXPECT_NEAR(p.Streams[0].Duration, 2.0, 0.06) << t.ext;
  }
  // The dialog offered the fifteen types, WAV first and chosen.
  const auto saves = services.CallsOf("SaveDialog");
  ASSERT_FALSE(saves.empty());
  EXPECT_EQ(saves[0].File.Filter.rfind("*.WAV|*.wav|*.MP3|*.mp3|", 0), 0u);
  EXPECT_EQ(saves[0].File.FilterIndex, 1);
  EXPECT_EQ(saves[0].File.DefaultExt, "wav");
  EXPECT_EQ(saves[0].File.FileName, "");
  EXPECT_EQ(main->AudioRun->Kind, "fftoaudio");
  EXPECT_FALSE(batchaudioc->Modal());
  testsupport::RemoveTree(dir);
}

TEST_F(AudioRun, VolumeAndTempoChangeTheMarkedStretchOnly) {
  Load(runtest::AvClip(6), 25, 75);  // a 2 s stretch
  const std::string dir = testsupport::MakeTempDir("audiotempo");
  ASSERT_TRUE(Extract(main->audiosheet, dir + "/plain.wav"));
  main->radio_changevolume->SetChecked(true);
  main->spin_volume->SetValue(150);
  ASSERT_TRUE(Extract(main->audiosheet, dir + "/loud.wav"));
  // 150 % is 20 log10(1.5) = 3.52 dB louder.
  EXPECT_NEAR(MeanVolume(dir + "/loud.wav") - MeanVolume(dir + "/plain.wav"), 3.52, 0.1);

  main->radio_originalvolume->SetChecked(true);
  main->radio_changetempo->SetChecked(true);
  const struct {
    int tempo;
    double seconds;
  } tempos[] = {{300, 2.0 / 3}, {20, 10.0}, {75, 2.0 / 0.75}};
  for (const auto& t : tempos) {
    main->spin_tempo->SetValue(t.tempo);
    const std::string target = dir + "/tempo" + std::to_string(t.tempo) + ".wav";
    ASSERT_TRUE(Extract(main->audiosheet, target)) << t.tempo;
    // The whole stretch, played at the chosen speed: no more and no less.
    EXPECT_NEAR(Probe(target).Streams.at(0).Duration, t.seconds, 0.03) << t.tempo;
  }
  testsupport::RemoveTree(dir);
}

TEST_F(AudioRun, TheSourceIsNeverATargetAndReplacingAsks) {
  const std::string dir = testsupport::MakeTempDir("audiotarget");
  namespace fs = std::filesystem;
  fs::copy_file(runtest::AvClip(6), dir + "/src.mp4");
  fs::create_directory(dir + "/sub");
  fs::create_symlink(dir + "/src.mp4", dir + "/link.mp4");
  Load(dir + "/src.mp4", 25, 50);
  const std::string original = FileText(dir + "/src.mp4");

  for (const std::string& spelling : {dir + "/link.mp4", dir + "/sub/../src.mp4", dir + "/./src.mp4"}) {
    services.Calls.clear();
    ClickExtract(main->audiosheet, spelling);
    PumpFor(100);
    ASSERT_EQ(MessageTexts().size(), 1u) << spelling;
    const auto box = services.CallsOf("MessageBox")[0];
    EXPECT_EQ(box.Text, "The target file name is as same as source file");
    EXPECT_EQ(box.Caption, "Error");
    EXPECT_EQ(box.Flags, MB_ICONHAND);
    EXPECT_TRUE(services.CallsOf("MessageDlg").empty()) << "refused before any question";
  }
  EXPECT_EQ(FileText(dir + "/src.mp4"), original);
  EXPECT_FALSE(main->timer_toaudio->Enabled());

  // An existing target: No keeps it, Yes replaces it.
  const std::string target = dir + "/old.wav";
  std::ofstream(target) << "old";
  services.Calls.clear();
  testsupport::ScriptedAnswer no;
  no.Result = mrNo;
  services.Script("MessageDlg", no);
  ClickExtract(main->audiosheet, target);
  PumpFor(100);
  const auto questions = services.CallsOf("MessageDlg");
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].Text, target + " already exists.\rDo you want to replace it?");
  EXPECT_EQ(questions[0].DlgType, mtConfirmation);
  EXPECT_EQ(questions[0].Buttons, mbYesNo);
  EXPECT_TRUE(MessageTexts().empty());
  EXPECT_EQ(FileText(target), "old");

  testsupport::ScriptedAnswer yes;
  yes.Result = mrYes;
  services.Script("MessageDlg", yes);
  ASSERT_TRUE(Extract(main->audiosheet, target));
  EXPECT_EQ(Probe(target).Streams.at(0).Codec, "pcm_s16le");
  testsupport::RemoveTree(dir);
}

TEST_F(AudioRun, AFailedSetUpLeavesNoDialogAndNoTask) {
  Load(runtest::AvClip(6), 25, 50);
  const std::string target = "/nonexistent-folder-h6/out.wav";
  ClickExtract(main->audiosheet, target);
  PumpUntil([&] { return MessageTexts().size() >= 2; }, 10000);
  const auto texts = MessageTexts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].rfind("Cannot do convert, error: ", 0), 0u) << texts[0];
  EXPECT_EQ(texts[1], "Process Error! Please try again!");
  EXPECT_EQ(main->FFtoaudio->TaskCount(), 0);
  EXPECT_FALSE(batchaudioc->Modal());
  EXPECT_FALSE(batchaudioc->Visible());
}

TEST_F(AudioRun, ZProgressIsSafeWithUnknownLengthsAndStrayTasks) {
  main->AudioRun->TaskProgress.assign(1, 0);
  batchaudioc->progresstotal->SetPosition(7);
  TProgressInfo info;
  info.TaskIndex = 0;
  info.CurrentTime = 5000000;
  info.TotalDuration = 0;
  main->FFtoaudioProgress(main->FFtoaudio, &info);  // no division by zero
  EXPECT_EQ(batchaudioc->progresstotal->Position(), 7);
  info.TaskIndex = 3;
  info.TotalDuration = 10000000;
  main->FFtoaudioProgress(main->FFtoaudio, &info);  // not a task of this run
  info.TaskIndex = -1;
  main->FFtovideoProgress(main->FFtovideo, &info);
  EXPECT_EQ(batchaudioc->progresstotal->Position(), 7);
  EXPECT_EQ(main->AudioRun->TaskProgress, std::vector<Integer>{0});
  info.TaskIndex = 0;
  main->FFtoaudioProgress(main->FFtoaudio, &info);
  EXPECT_EQ(batchaudioc->progresstotal->Position(), 50);
}

TEST_F(AudioRun, ZCancelEndsTheRunWithoutAReport) {
  Load(runtest::LongAvClip(false), 0, 600);
  const std::string dir = testsupport::MakeTempDir("audiocancel");
  main->radio_changetempo->SetChecked(true);
  main->spin_tempo->SetValue(50);
  const std::string target = dir + "/long.mp3";
  ExtractAndCancel(main->audiosheet, target, main->FFtoaudio);
  EXPECT_TRUE(FCancelled);
  EXPECT_TRUE(main->AudioRun->Cancelled);
  EXPECT_FALSE(HasMessage("Process is finished!"));
  EXPECT_TRUE(MessageTexts().empty());
  EXPECT_FALSE(batchaudioc->Modal());
  EXPECT_FALSE(main->timer_fftoaudio_end->Enabled());
  // What was written so far is a playable file, and shorter than the whole run would be.
  if (std::filesystem::exists(target)) {
    const Probed p = Probe(target);
    ASSERT_EQ(p.Streams.size(), 1u);
    EXPECT_EQ(p.Streams[0].Codec, "mp3");
    EXPECT_LT(p.Streams[0].Duration, 1199.0);
    EXPECT_EQ(runtest::DecodeErrors(target), "");
  }
  // Nothing else is left in the folder.
  for (const auto& entry : std::filesystem::directory_iterator(dir)) EXPECT_EQ(entry.path().string(), target);
  testsupport::RemoveTree(dir);
}

}  // namespace

namespace {

// A full disk under the target (a name that leads to /dev/full): the run ends with the error,
// naming the target and the engine's log, and never reports itself finished.
TEST_F(AudioRun, AFullDiskEndsWithTheErrorNotTheFinishedReport) {
  const std::string dir = testsupport::MakeTempDir("audiofull");
  const std::string target = dir + "/out.wav";
  std::filesystem::create_symlink("/dev/full", target);
  Load(runtest::AvClip(6), 25, 100);
  testsupport::ScriptedAnswer yes;
  yes.Result = mrYes;
  services.Script("MessageDlg", yes);
  EXPECT_FALSE(Extract(main->audiosheet, target, 30000));
  PumpFor(300);
  const auto texts = MessageTexts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].rfind("Could not extract to \"" + target + "\": ", 0), 0u) << texts[0];
  EXPECT_NE(texts[0].find("No space left on device"), std::string::npos) << texts[0];
  EXPECT_NE(texts[0].find("engine.log"), std::string::npos) << texts[0];
  EXPECT_FALSE(batchaudioc->Visible());
  EXPECT_TRUE(std::filesystem::exists("/dev/full"));
  testsupport::RemoveTree(dir);
}

}  // namespace
