// The frame run's option strings, filter chains and file names, from the page's choices alone.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "app/frame_run_options.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/sysutils.h"
#include "tests/support/fixtures.h"

namespace {

// A 100-second, 1000-frame video on sliders of 0..1000: one step is 0.1 s.
TFrameRunChoices Movie(Integer Begin, Integer End) {
  TFrameRunChoices c;
  c.VideoFileName = "/v/movie.avi";
  c.SourceWidth = 640;
  c.SourceHeight = 480;
  c.Begin = Begin;
  c.End = End;
  c.BeginMax = c.EndMax = 1000;
  c.Duration = 100000000;
  c.FrameCount = 1000;
  return c;
}

TEST(FrameRunOptions, DefaultPageGivesStartLengthAndNumberedFile) {
  const TFrameRunChoices c = Movie(100, 125);
  EXPECT_EQ(FrameInputOptions(c, 1), " -ss 00:00:10.000");
  EXPECT_EQ(FrameOutputOptions(c), " -y -q:v 0 -f image2 -t 00:00:02.500");
  EXPECT_EQ(FrameOutputFileName(c, "/out", 1), "/out/movie.avi-%d.jpg");
  EXPECT_EQ(FrameTaskCount(c), 1);

  TFrameRunChoices forced = c;
  forced.ForcedFormatName = "mpeg";
  EXPECT_EQ(FrameInputOptions(forced, 1), " -f mpeg -ss 00:00:10.000");
}

TEST(FrameRunOptions, SelectionModesGiveTheirOptionsAndChains) {
  struct Case {
    TFrameSelection Selection;
    const char* Field;  // the mode's field text
    bool Tile;
    const char* Options;
  };
  const Case cases[] = {
      {fsEveryFrames, "50", false, " -y -q:v 0 -f image2 -t 00:00:20.000 -vsync vfr -vf select=not(mod(n\\,50))"},
      {fsEveryFrames, "007", true,
       " -y -q:v 0 -f image2 -t 00:00:20.000 -vsync vfr -vf select=not(mod(n\\,7)),tile=3x2"},
      // 200 frames in the range, 10 images: every 20th frame.
      {fsTotal, "10", false,
       " -y -q:v 0 -f image2 -t 00:00:20.000 -vsync vfr -vf select=lt(mod(n*10\\,200)\\,10)*lt(n\\,200)"},
      {fsScene, "10", false, " -y -q:v 0 -f image2 -t 00:00:20.000 -vsync vfr -vf select=gt(scene\\,0.1)"},
      {fsEverySeconds, "3", false, " -y -q:v 0 -f image2 -t 00:00:20.000 -r 0.333333333333333"},
      {fsEverySeconds, "10", false, " -y -q:v 0 -f image2 -t 00:00:20.000 -r 0.1"},
      {fsFps, "25", false, " -y -q:v 0 -f image2 -t 00:00:20.000 -r 25"},
      {fsAllFrames, "", true, " -y -q:v 0 -f image2 -t 00:00:20.000 -vf tile=3x2"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.Options);
    TFrameRunChoices c = Movie(100, 300);
    c.Selection = k.Selection;
    c.Tile = k.Tile;
    c.EveryFramesText = c.ImageAmountText = c.EverySecondsText = c.FrameRateText = k.Field;
    c.ScenePercent = 10;
    EXPECT_EQ(FrameOutputOptions(c), k.Options);
    EXPECT_EQ(FrameSelectionProblem(c), "");
  }
}

// Frame n is taken where n x A / F passes a whole number (the window test counts the files).
TEST(FrameRunOptions, TotalImagesSpreadsTheCountOverTheRangeFrames) {
  struct Case {
    Integer Frames, Amount;
  } cases[] = {{1000, 10}, {1000, 3}, {62, 10}};
  for (const Case& k : cases) {
    SCOPED_TRACE(std::to_string(k.Frames) + " frames, " + std::to_string(k.Amount) + " images");
    TFrameRunChoices c = Movie(0, k.Frames);
    c.FrameCount = k.Frames;
    c.BeginMax = c.EndMax = k.Frames;
    c.Selection = fsTotal;
    c.ImageAmountText = IntToStr(k.Amount);
    EXPECT_EQ(TotalImagesRangeFrames(c), k.Frames);
    const AnsiString a = IntToStr(k.Amount), f = IntToStr(k.Frames);
    EXPECT_EQ(FrameFilterChain(c), ",select=lt(mod(n*" + a + "\\," + f + ")\\," + a + ")*lt(n\\," + f + ")");
  }
  TFrameRunChoices c = Movie(0, 1000);
  c.Selection = fsTotal;
  c.ImageAmountText = "1001";
  EXPECT_EQ(FrameSelectionProblem(c), "The Total Frames can not be more than the frames in the cut range");
}

TEST(FrameRunOptions, SelectionsThatWouldExtractNothingAreNamed) {
  struct Case {
    TFrameSelection Selection;
    const char* Field;
    const char* Problem;
  };
  const Case cases[] = {
      // 20 frames in the range: at most 20 images.
      {fsTotal, "21", "The Total Frames can not be more than the frames in the cut range"},
      {fsTotal, "20", ""},
      {fsTotal, "0", "The Total Frames must be more than 0"},
      {fsEveryFrames, "0", "The number of frames between images must be more than 0"},
      {fsEverySeconds, "00", "The number of seconds between images must be more than 0"},
      {fsExpress, "0", "The Express Total Frames must be more than 0"},
      {fsFps, "0", "The frame rate must be more than 0"},
      // A text that is no number is the set-up's failure, not a selection problem.
      {fsEveryFrames, "x", ""},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(k.Field) + " " + k.Problem);
    TFrameRunChoices c = Movie(100, 120);
    c.Selection = k.Selection;
    c.EveryFramesText = c.ImageAmountText = c.EverySecondsText = c.FrameRateText = c.ExpressText = k.Field;
    EXPECT_EQ(FrameSelectionProblem(c), k.Problem);
  }
  // An empty cut range has no frames for any total.
  TFrameRunChoices empty = Movie(500, 500);
  empty.Selection = fsTotal;
  EXPECT_EQ(FrameSelectionProblem(empty), "The Total Frames can not be more than the frames in the cut range");
}

TEST(FrameRunOptions, TextsThatAreNoNumbersFailTheSetUp) {
  TFrameRunChoices c = Movie(0, 1000);
  c.Selection = fsEverySeconds;
  c.EverySecondsText = "1.5";
  EXPECT_THROW(FrameOutputOptions(c), EConvertError);
  c.Selection = fsEveryFrames;
  c.EveryFramesText = "5),split";
  EXPECT_THROW(FrameOutputOptions(c), EConvertError);
  c.Selection = fsExpress;
  c.ExpressText = "";
  EXPECT_THROW(FrameTaskCount(c), EConvertError);
}

TEST(FrameRunOptions, ExpressSpreadsSingleFramesOverTheRange) {
  // A 100-frame, 4-second video, range 0..100, four frames.
  TFrameRunChoices c;
  c.VideoFileName = "/v/clip.mp4";
  c.Selection = fsExpress;
  c.ExpressText = "4";
  c.Begin = 0;
  c.End = 100;
  c.BeginMax = c.EndMax = 100;
  c.Duration = 4000000;
  c.FrameCount = 100;
  ASSERT_EQ(FrameTaskCount(c), 4);
  const char* starts[] = {" -ss 00:00:00.500", " -ss 00:00:01.500", " -ss 00:00:02.500", " -ss 00:00:03.500"};
  for (Integer k = 1; k <= 4; ++k) {
    EXPECT_EQ(FrameInputOptions(c, k), starts[k - 1]);
    EXPECT_EQ(FrameOutputFileName(c, "/out", k), "/out/clip.mp4-" + std::to_string(k) + ".jpg");
  }
  EXPECT_EQ(FrameOutputOptions(c), " -y -q:v 0 -f image2 -vframes 1");
}

TEST(FrameRunOptions, CustomSizeScalesAfterTransformsAndSetsTheAspect) {
  TFrameRunChoices c = Movie(0, 1000);
  c.Size = fzCustom;
  c.CustomWidth = 641;
  c.CustomHeight = 480;
  c.Pad = true;
  EXPECT_EQ(FrameOutputOptions(c),
            " -y -q:v 0 -f image2 -t 00:01:40.000 -aspect 642:480"
            " -vf scale=480*(iw/ih):480,pad=642:480:(ow-oh*(iw/ih))/2:0:black");
  c.Pad = false;
  c.HFlip = c.RotateCW = true;
  EXPECT_EQ(FrameOutputOptions(c),
            " -y -q:v 0 -f image2 -t 00:01:40.000 -aspect 641:480 -vf hflip,transpose=1,scale=641:480");
}

TEST(FrameRunOptions, CropIsCutBeforeTilesAndTransforms) {
  TFrameRunChoices c = Movie(0, 1000);
  c.Size = fzCrop;
  c.Crop = {10, 20, 109, 69};  // the last column and line inside: 100 x 50
  c.VFlip = c.RotateCCW = true;
  EXPECT_EQ(FrameFilterChain(c), ",crop=100:50:10:20:exact=1,vflip,transpose=2");
  c.Selection = fsEveryFrames;
  c.Tile = true;
  EXPECT_EQ(FrameFilterChain(c), ",select=not(mod(n\\,50)),crop=100:50:10:20:exact=1,tile=3x2,vflip,transpose=2");
}

TEST(FrameRunOptions, CompositeRunsAreTilingWithTimeFrameRateOrExpress) {
  for (TFrameSelection s : {fsAllFrames, fsTotal, fsScene, fsFps, fsEveryFrames, fsEverySeconds, fsExpress}) {
    TFrameRunChoices c;
    c.Selection = s;
    EXPECT_FALSE(IsCompositeFrameRun(c));
    c.Tile = true;
    EXPECT_EQ(IsCompositeFrameRun(c), s == fsFps || s == fsEverySeconds || s == fsExpress) << s;
  }
}

TEST(FrameRunOptions, ImageNamesStayInsideTheFolderAndKeepTheirCharacters) {
  EXPECT_EQ(FrameImageExtension("*.JPG"), "jpg");
  EXPECT_EQ(FrameImageExtension("*.TIFF"), "tiff");

  TFrameRunChoices c = Movie(0, 1000);
  c.VideoFileName = "/v/Ünïcode-clip.mp4";
  c.MaxLengthChecked = true;
  c.MaxLength = 3;
  EXPECT_EQ(FrameBaseName(c), "Ünï");
  c.MaxLength = 100;
  EXPECT_EQ(FrameBaseName(c), "Ünïcode-clip.mp4");
  EXPECT_EQ(FirstCharacters("a€b", 2), "a€");
  EXPECT_EQ(FirstCharacters("a€b", 0), "");

  // FFmpeg's numbering reads "%" in the whole path, the folder's included.
  c.NameAsString = true;
  c.NameString = "50% off";
  c.ImageFormat = "*.PNG";
  EXPECT_EQ(FrameOutputFileName(c, "/out/100%/", 1), "/out/100%%/50%% off-%d.png");
  c.Selection = fsExpress;
  c.ExpressText = "2";
  EXPECT_EQ(FrameOutputFileName(c, "/out", 2), "/out/50%% off-2.png");
  EXPECT_EQ(FrameNameProblem(c), "");

  c.NameString = "../escape";
  EXPECT_EQ(FrameNameProblem(c), "The image name string can not contain \"/\"");
  c.NameAsString = false;  // a video file's own name never holds one
  EXPECT_EQ(FrameNameProblem(c), "");
}

// LC_NUMERIC with a decimal comma while it lives; the locale is compiled into the build tree
// when the machine has none.
class DecimalCommaLocale {
 public:
  DecimalCommaLocale() {
    if (Activate()) return;
    const std::string dir =
        testsupport::Fixture("locales", "mkdir {out} && localedef -i de_DE -f UTF-8 {out}/de_DE.UTF-8");
    setenv("LOCPATH", dir.c_str(), 1);
    Activate();
  }
  ~DecimalCommaLocale() {
    std::setlocale(LC_NUMERIC, "C");
    unsetenv("LOCPATH");
  }
  bool Active = false;

 private:
  bool Activate() {
    Active = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && *std::localeconv()->decimal_point == ',';
    if (!Active) std::setlocale(LC_NUMERIC, "C");
    return Active;
  }
};

TEST(FrameRunOptions, NumbersKeepTheirPointUnderADecimalCommaLocale) {
  DecimalCommaLocale comma;
  ASSERT_TRUE(comma.Active) << "no locale with a decimal comma could be made";
  TFrameRunChoices c = Movie(100, 300);
  c.Selection = fsEverySeconds;
  c.EverySecondsText = "3";
  EXPECT_EQ(FrameOutputOptions(c), " -y -q:v 0 -f image2 -t 00:00:20.000 -r 0.333333333333333");
  c.Selection = fsScene;
  c.ScenePercent = 25;
  EXPECT_EQ(FrameFilterChain(c), ",select=gt(scene\\,0.25)");
}

}  // namespace
