#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>

#include "app/audio_run_options.h"
#include "tests/support/fixtures.h"

namespace {

TStretch Stretch(Int64 Start, Int64 Length) {
  TStretch s;
  s.Start = Start;
  s.Length = Length;
  return s;
}

TEST(AudioRunOptions, SaveFilterOffersFifteenTypesWavFirst) {
  const AnsiString filter = AudioSaveFilter();
  EXPECT_EQ(filter,
            "*.WAV|*.wav|*.MP3|*.mp3|*.WMA|*.wma|*.AAC|*.aac|*.AC3|*.ac3|*.FLAC|*.flac|*.M4A|*.m4a|*.MKA|*.mka|"
            "*.MP2|*.mp2|*.OGG|*.ogg|*.RA|*.ra|*.AIF|*.aif|*.AIFF|*.aiff|*.AIFC|*.aifc|*.AU|*.au|");
  EXPECT_EQ(std::count(filter.begin(), filter.end(), '|'), 30);
}

TEST(AudioRunOptions, ExtensionListMatchesWholeItemsOnly) {
  const struct {
    const char* name;
    bool in;
  } cases[] = {
      {"/a/song.mp3", true}, {"/a/SONG.Flac", true}, {"/a/x.aifc", true}, {"/a/x.au", true},
      {"/a/clip.mp4", false},
      {"/a/x.m", false},    // a prefix of ".MP3" is no item
      {"/a/x.", false}, {"/a/noext", false}, {"/a.mp3/noext", false},
  };
  for (const auto& c : cases) EXPECT_EQ(ExtensionInList(c.name, AudioExtensionList), c.in) << c.name;
}

TEST(AudioRunOptions, StretchFromTheSliders) {
  // 250 positions over 10 s: 125 .. 175 is 5 s .. 7 s.
  TStretch s = StretchOfRange(125, 250, 175, 250, 10000000);
  EXPECT_EQ(s.Start, 5000000);
  EXPECT_EQ(s.Length, 2000000);
  EXPECT_TRUE(s.Known);
  EXPECT_EQ(StretchInputOptions(s), " -ss 00:00:05.000");
  // No range (nothing to slide over) and unknown length: no division by zero, the whole file.
  s = StretchOfRange(0, 0, 0, 0, 0);
  EXPECT_EQ(s.Start, 0);
  EXPECT_EQ(s.Length, 0);
  EXPECT_FALSE(s.Known);
  EXPECT_EQ(StretchLengthOption(s, 1.0), "");
}

TEST(AudioRunOptions, OutputOptionsForVolumeTempoAndTarget) {
  const struct {
    bool changeVolume;
    Integer volume;
    bool changeTempo;
    Integer tempo;
    const char* target;
    const char* options;
  } cases[] = {
      // the default page over 00:00:05 .. 00:00:07
      {false, 150, false, 300, "/o/song.mp3", " -y -t 00:00:02.000 -vn -q:a 0"},
      // "Change To" left at 100 adds nothing
      {true, 100, true, 100, "/o/song.mp3", " -y -t 00:00:02.000 -vn -q:a 0"},
      {true, 150, false, 100, "/o/song.wav", " -y -t 00:00:02.000 -vn -q:a 0 -af volume=1.5"},
      // the length follows the tempo so that the whole stretch is in the output
      {false, 100, true, 300, "/o/song.ogg", " -y -t 00:00:00.666 -vn -q:a 0 -af atempo=2,atempo=1.5"},
      {false, 100, true, 75, "/o/s.flac", " -y -t 00:00:02.666 -vn -q:a 0 -af atempo=0.75"},
      {false, 100, true, 800, "/o/s.au", " -y -t 00:00:00.250 -vn -q:a 0 -af atempo=2,atempo=2,atempo=2"},
      {true, 50, true, 20, "/o/s.aac",
       " -y -t 00:00:10.000 -vn -q:a 0 -af volume=0.5,atempo=0.5,atempo=0.5,atempo=0.8"},
      // a target typed by hand outside the list keeps its video
      {false, 100, false, 100, "/o/clip.mp4", " -y -t 00:00:02.000 -q:a 0"},
  };
  for (const auto& c : cases) {
    TAudioRunChoices choices;
    choices.Stretch = Stretch(5000000, 2000000);
    choices.ChangeVolume = c.changeVolume;
    choices.Volume = c.volume;
    choices.ChangeTempo = c.changeTempo;
    choices.Tempo = c.tempo;
    choices.Target = c.target;
    EXPECT_EQ(AudioOutputOptions(choices), c.options) << c.target << " " << c.tempo;
  }
}

TEST(AudioRunOptions, SameFileWhateverTheSpelling) {
  const std::string dir = testsupport::MakeTempDir("samefile");
  testsupport::RunOk("cd " + dir + " && mkdir sub && echo x > a.mp4 && echo y > b.mp4 && ln -s a.mp4 link.mp4 && "
                     "ln a.mp4 hard.mp4");
  const AnsiString a = dir + "/a.mp4";
  EXPECT_TRUE(NamesSameFile(a, a));
  EXPECT_TRUE(NamesSameFile(dir + "/sub/../a.mp4", a));
  EXPECT_TRUE(NamesSameFile(dir + "/./a.mp4", a));
  EXPECT_TRUE(NamesSameFile(dir + "/link.mp4", a));
  EXPECT_TRUE(NamesSameFile(dir + "/hard.mp4", a));
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir.c_str()), 0);
  const bool relative = NamesSameFile("a.mp4", a);
  ASSERT_EQ(chdir(cwd), 0);
  EXPECT_TRUE(relative);
  EXPECT_FALSE(NamesSameFile(dir + "/b.mp4", a));
  EXPECT_FALSE(NamesSameFile(dir + "/new.mp3", a));  // not there yet
  testsupport::RemoveTree(dir);
}

}  // namespace
