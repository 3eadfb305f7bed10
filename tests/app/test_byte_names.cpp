// A video whose folder and name are no UTF-8 (Latin-1 bytes, as files from older systems have) is
// dropped on the window, previewed, and cut into frames, sound and a clip in a folder of the same
// kind: every file is found and written under its own bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/gui/input_simulation.h"
#include "tests/app/run_output_fixture.h"

namespace {

namespace fs = std::filesystem;

std::vector<TColor> Pixels(TImage* Image) {
  TBitmap* b = Image->Picture()->Bitmap();
  std::vector<TColor> out;
  for (Integer y = 0; y < b->Height(); ++y)
    for (Integer x = 0; x < b->Width(); ++x) out.push_back(b->PixelColor(x, y));
  return out;
}

// Every name under Root, relative to it, as the file system holds it.
std::vector<std::string> Tree(const std::string& Root) {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(Root)) names.push_back(e.path().string().substr(Root.size()));
  std::sort(names.begin(), names.end());
  return names;
}

class ByteNames : public runtest::RunWindows {};

TEST_F(ByteNames, ALatin1VideoIsLoadedPreviewedAndExtractedUnderItsOwnBytes) {
  const std::string root = testsupport::MakeTempDir("bytes");
  const std::string source = root + "/vid\xE9os \xFF";
  const std::string video = source + "/d\xE9j\xE0 vu\xFF.mp4";
  const std::string out = root + "/sortie \xFF\xE9";
  fs::create_directories(source);
  fs::create_directories(out);
  fs::copy_file(runtest::AvClip(2), video);

  SimulateDroppedFiles(main->TabSheet6, {video});
  ASSERT_TRUE(MessageTexts().empty()) << MessageTexts().front();
  EXPECT_EQ(main->label_fromvideo->Caption(), video);
  EXPECT_EQ(main->FrameCount, 50);
  main->split_end->SetValue(25);
  main->split_begin->SetValue(10);
  ASSERT_TRUE(main->WaitForPreviews(30000));
  const std::vector<TColor> start = Pixels(main->Image_start), end = Pixels(main->image_end);

  // The same clip under a plain name shows the same two pictures.
  main->load_videofile(runtest::AvClip(2));
  main->split_end->SetValue(25);
  main->split_begin->SetValue(10);
  ASSERT_TRUE(main->WaitForPreviews(30000));
  EXPECT_TRUE(Pixels(main->Image_start) == start);
  EXPECT_TRUE(Pixels(main->image_end) == end);
  EXPECT_FALSE(start == end) << "the two previews must tell frames apart";

  Load(video, 0, 5);
  testsupport::ScriptedAnswer folder;
  folder.Result = 1;
  folder.Folder = out;
  services.Script("Folder", folder);
  main->pageto->SetActivePage(main->imagesheet);
  main->radio_allframes->SetChecked(true);
  main->btn_extract->Click();
  ASSERT_TRUE(PumpUntil([&] { return HasMessage("Process is finished!"); }, 60000)) << MessageTexts().back();
  main->split_end->SetValue(25);
  ASSERT_TRUE(Extract(main->audiosheet, out + "/son \xE9\xFF.wav")) << MessageTexts().back();
  ASSERT_TRUE(Extract(main->videosheet, out + "/clip \xE9\xFF.mkv")) << MessageTexts().back();

  const std::string shot = "/sortie \xFF\xE9/d\xE9j\xE0 vu\xFF.mp4-";
  EXPECT_EQ(Tree(root), (std::vector<std::string>{
                            "/sortie \xFF\xE9", "/sortie \xFF\xE9/clip \xE9\xFF.mkv", shot + "1.jpg", shot + "2.jpg",
                            shot + "3.jpg", shot + "4.jpg", shot + "5.jpg", "/sortie \xFF\xE9/son \xE9\xFF.wav",
                            "/vid\xE9os \xFF", "/vid\xE9os \xFF/d\xE9j\xE0 vu\xFF.mp4"}));
  EXPECT_EQ(testsupport::RunOk("identify -format '%w %h' " + testsupport::ShellQuote(root + shot + "5.jpg")), "160 90");
  const runtest::Probed sound = runtest::Probe(out + "/son \xE9\xFF.wav");
  ASSERT_NE(sound.First("audio"), nullptr);
  EXPECT_NEAR(sound.Duration, 1.0, 0.05);
  const runtest::Probed clip = runtest::Probe(out + "/clip \xE9\xFF.mkv");
  ASSERT_NE(clip.First("video"), nullptr);
  EXPECT_EQ(clip.First("video")->Width, 160);
  testsupport::RemoveTree(root);
}

}  // namespace
