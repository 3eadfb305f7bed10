// The frame run driven as a user drives it: a clip is loaded, the images page set, Extract
// clicked, a folder answered; the images written are compared with what the ffmpeg tool writes
// for the same options.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>

#include <sys/resource.h>
#include <csignal>

#include "app/engine_log.h"
#include "app/frame_run.h"
#include "app/time_text.h"
#include "app/run_progress_dialog.h"
#include "app/transform_dialogs.h"
#include "imaging/io/ie_zodiver_io.h"
#include "media/components/encoder.h"
#include "platform/gui/timers.h"
#include "platform/rtl/files.h"
#include "platform/rtl/strings.h"
#include "tests/app/app_windows_fixture.h"
#include "widgets/slider/slider.h"

namespace {

using apptest::AppWindows;
using apptest::Clip;
using apptest::FilesIn;
using apptest::PumpUntil;
namespace fs = std::filesystem;

const char* const Finished = "Process is finished!";

// The tokens of an option string, each quoted for the shell.
std::string ShellOptions(const std::string& Options) {
  std::istringstream in(Options);
  std::string token, out;
  while (in >> token) out += " " + testsupport::ShellQuote(token);
  return out;
}

std::string ImageSize(const std::string& File) {
  return testsupport::RunOk("identify -format '%w %h' " + testsupport::ShellQuote(File));
}

// ImageMagick's comparison: the count of differing pixels, or for lossy files the normalised
// root-mean-square error.
double Difference(const std::string& A, const std::string& B, bool Lossy) {
  std::string out;
  testsupport::Run(std::string("compare -metric ") + (Lossy ? "RMSE " : "AE ") + testsupport::ShellQuote(A) + " " +
                       testsupport::ShellQuote(B) + " null: 2>&1",
                   &out);
  if (Lossy) {
    const size_t open = out.find('(');
    return open == std::string::npos ? 1e9 : std::stod(out.substr(open + 1));
  }
  try {
    return std::stod(out);
  } catch (...) {
    ADD_FAILURE() << "compare said: " << out;
    return 1e9;
  }
}

class FrameRun : public AppWindows {
 protected:
  void SetUp() override {
    AppWindows::SetUp();
    outDir = testsupport::MakeTempDir("frames");
  }
  void TearDown() override {
    testsupport::RemoveTree(outDir);
    AppWindows::TearDown();
  }

  void Load(const std::string& ClipFile) {
    main->load_videofile(ClipFile);
    ASSERT_TRUE(MessageTexts().empty());
  }
  void SetRange(Integer Begin, Integer End) {
    main->split_begin->SetValue(0);
    main->split_end->SetValue(End);
    main->split_begin->SetValue(Begin);
  }
  void AnswerFolder(const std::string& Folder) {
    testsupport::ScriptedAnswer answer;
    answer.Result = 1;
    answer.Folder = Folder;
    services.Script("Folder", answer);
  }
  // Empty folders, whatever an earlier case left in them.
  static void FreshFolders(const std::vector<std::string>& Folders) {
    for (const std::string& folder : Folders) {
      fs::remove_all(folder);
      fs::create_directories(folder);
    }
  }
  bool Said(const AnsiString& Text) const {
    const auto texts = MessageTexts();
    return std::find(texts.begin(), texts.end(), Text) != texts.end();
  }
  // Clicks Extract (which returns when the progress dialog closes) and waits for the report.
  void ExtractAndWait() {
    main->btn_extract->Click();
    EXPECT_FALSE(batchaudioc->Visible());
    ASSERT_TRUE(PumpUntil([&] { return Said(Finished); })) << "no end report";
  }

  std::string outDir;
};

// Each selection mode on a 2-second, 50-frame clip, with a few file types, sizes and
// transforms; the tool is given the options the run should build.
TEST_F(FrameRun, EachSelectionWritesWhatTheToolWrites) {
  const std::string clip = Clip(2);
  struct Case {
    const char* Name;
    std::function<void(Tmain*)> Set;
    Integer Begin, End;
    const char* Format;
    // Per task: the input options; then the output options and file name.
    std::vector<std::string> Inputs;
    std::string Outputs;
    std::vector<std::string> Files;  // the output name of each task, or the one pattern
    size_t MinimumCount;
  };
  const std::string base = "app_clip_2s.mp4";
  const Case cases[] = {
      {"all frames, named by a string with a percent sign, folder opened",
       [](Tmain* m) {
         m->radio_asstring->SetChecked(true);
         m->edit_namestring->SetText("50% shot");
         m->ch_isopenfolder->SetChecked(true);
       },
       10, 25, "*.PNG", {"-ss 00:00:00.400"}, "-y -q:v 0 -f image2 -t 00:00:00.600", {"50%% shot-%d.png"}, 15},
      {"every 10 frames, mirrored",
       [](Tmain* m) {
         m->radio_everyframes->SetChecked(true);
         m->edit_everyframes->SetText("10");
         effects->ck_hflip->SetChecked(true);
       },
       0, 50, "*.BMP", {"-ss 00:00:00.000"},
       "-y -q:v 0 -f image2 -t 00:00:02.000 -vsync vfr -vf select=not(mod(n\\,10)),hflip", {base + "-%d.bmp"}, 5},
      {"total 4 images at a custom size without padding",
       [](Tmain* m) {
         m->radio_total->SetChecked(true);
         m->edit_imageamount->SetText("4");
         m->radio_customframesize->SetChecked(true);
         m->cb_proportion->SetChecked(false);
         m->cb_pad->SetChecked(false);
         m->EdCustomWidth->SetValue(80);
         m->EdCustomHeight->SetValue(46);
       },
       0, 40, "*.TIFF", {"-ss 00:00:00.000"},
       "-y -q:v 0 -f image2 -t 00:00:01.600 -vsync vfr -aspect 80:46 -vf select=lt(mod(n*4\\,40)\\,4)*lt(n\\,40),"
       "scale=80:46",
       {base + "-%d.tiff"}, 4},
      {"scene changes, padded to a custom size",
       [](Tmain* m) {
         m->radio_scene->SetChecked(true);
         m->se_scenechange->SetValue(1);
         m->radio_customframesize->SetChecked(true);
         m->cb_proportion->SetChecked(false);
         m->cb_pad->SetChecked(true);
         m->EdCustomWidth->SetValue(120);
         m->EdCustomHeight->SetValue(90);
       },
       0, 50, "*.PGM", {"-ss 00:00:00.000"},
       "-y -q:v 0 -f image2 -t 00:00:02.000 -vsync vfr -aspect 120:90"
       " -vf select=gt(scene\\,0.01),scale=120:120/(iw/ih),pad=120:90:0:(oh-ow/(iw/ih))/2:black",
       {base + "-%d.pgm"}, 1},
      {"5 frames per second",
       [](Tmain* m) {
         m->radio_fps->SetChecked(true);
         m->cb_framerate->SetItemIndex(4);
       },
       0, 25, "*.JPG", {"-ss 00:00:00.000"}, "-y -q:v 0 -f image2 -t 00:00:01.000 -r 5", {base + "-%d.jpg"}, 5},
      {"every second",
       [](Tmain* m) {
         m->radio_everyseconds->SetChecked(true);
         m->edit_everyseconds->SetText("1");
       },
       0, 50, "*.PNG", {"-ss 00:00:00.000"}, "-y -q:v 0 -f image2 -t 00:00:02.000 -r 1", {base + "-%d.png"}, 2},
      {"express 3, cropped, flipped and turned",
       [](Tmain* m) {
         m->radio_express->SetChecked(true);
         m->edit_express->SetText("3");
         m->radio_crop->SetChecked(true);
         ASSERT_TRUE(apptest::ChooseCrop(m, false, Rect(20, 10, 100, 70)));  // 80 x 60 at (20, 10)
         effects->ck_vflip->SetChecked(true);
         effects->ck_transpose1->SetChecked(true);
       },
       0, 30, "*.PNG", {"-ss 00:00:00.200", "-ss 00:00:00.600", "-ss 00:00:01.000"},
       "-y -q:v 0 -f image2 -vframes 1 -vf crop=80:60:20:10:exact=1,vflip,transpose=1",
       {base + "-1.png", base + "-2.png", base + "-3.png"}, 3},
      {"express 2 as GIF images",
       [](Tmain* m) {
         m->radio_express->SetChecked(true);
         m->edit_express->SetText("2");
       },
       0, 20, "*.GIF", {"-ss 00:00:00.200", "-ss 00:00:00.600"},
       "-y -q:v 0 -f image2 -vframes 1 -c:v gif -gifflags 0 -gifimage 1 "
       "-vf split[a][b];[a]palettegen=stats_mode=single[p];[b][p]paletteuse=new=1",
       {base + "-1.gif", base + "-2.gif"}, 2},
      {"tiled sheets of all frames, name cut to 4 characters",
       [](Tmain* m) {
         m->ck_tile->SetChecked(true);
         m->se_columns->SetValue(2);
         m->se_lines->SetValue(2);
         m->ck_maxlength->SetChecked(true);
         m->ed_maxlength->SetValue(4);
       },
       0, 8, "*.JPG", {"-ss 00:00:00.000"}, "-y -q:v 0 -f image2 -t 00:00:00.320 -vf tile=2x2", {"app_-%d.jpg"}, 2},
  };
  Load(clip);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    services.Calls.clear();
    for (TCheckBox* box : {effects->ck_hflip, effects->ck_vflip, effects->ck_transpose1, effects->ck_transpose2})
      box->SetChecked(false);
    main->radio_allframes->SetChecked(true);
    main->radio_originalframesize->SetChecked(true);
    main->radio_asvideoname->SetChecked(true);
    main->ck_maxlength->SetChecked(false);
    main->ck_tile->SetChecked(false);
    main->ch_isopenfolder->SetChecked(false);
    main->cb_imageformats->SetItemIndex(main->cb_imageformats->Items()->IndexOf(c.Format));
    c.Set(main);
    SetRange(c.Begin, c.End);

    const std::string ours = outDir + "/ours", theirs = outDir + "/theirs";
    FreshFolders({ours, theirs});
    AnswerFolder(ours);
    ExtractAndWait();
    EXPECT_EQ(main->OutputFolder, ours);

    for (size_t k = 0; k < c.Inputs.size(); ++k) {
      const std::string file = c.Files.size() == c.Inputs.size() ? c.Files[k] : c.Files[0];
      testsupport::RunOk("ffmpeg -nostdin -loglevel error" + ShellOptions(c.Inputs[k]) + " -i " +
                         testsupport::ShellQuote(clip) + ShellOptions(c.Outputs) + " " +
                         testsupport::ShellQuote(theirs + "/" + file));
    }
    const std::vector<std::string> expected = FilesIn(theirs);
    ASSERT_GE(expected.size(), c.MinimumCount);
    ASSERT_EQ(FilesIn(ours), expected);
    const bool lossy = std::string(c.Format) == "*.JPG";
    for (const std::string& name : expected) {
      SCOPED_TRACE(name);
      EXPECT_EQ(ImageSize(ours + "/" + name), ImageSize(theirs + "/" + name));
      // The file holds what its name says.
      const std::string ext = name.substr(name.rfind('.') + 1);
      const std::string kind = testsupport::RunOk("identify -format '%m' " + testsupport::ShellQuote(ours + "/" + name));
      if (ext == "gif" || ext == "png" || ext == "bmp") {
        EXPECT_EQ(kind, ext == "gif" ? "GIF" : ext == "png" ? "PNG" : "BMP3");
      }
      if (lossy) {
        EXPECT_LT(Difference(ours + "/" + name, theirs + "/" + name, true), 0.02);
      } else {
        EXPECT_EQ(Difference(ours + "/" + name, theirs + "/" + name, false), 0);
      }
    }
    const auto opened = services.CallsOf("ShellOpen");
    if (main->ch_isopenfolder->Checked()) {
      ASSERT_EQ(opened.size(), 1u);
      EXPECT_EQ(opened[0].Folder, ours);
    } else {
      EXPECT_TRUE(opened.empty());
    }
    EXPECT_EQ(MessageTexts(), std::vector<AnsiString>{Finished});
    // Only the runs that compose sheets themselves keep frames in the working folder. (The
    // folder itself is shared with other copies of the program, so its presence proves nothing.)
    EXPECT_TRUE(main->FrameRun->TileSourcePrefix.empty());
  }
}

// Runs that write many GIF pictures: each file is a whole GIF of its own (not the next picture of
// an animation, which no reader opens alone) and holds exactly the tool's single-picture GIF of
// the same frame, or of the same tiled sheet.
TEST_F(FrameRun, EveryGifOfARunIsAWholeGifOfItsOwnFrame) {
  const std::string clip = Clip(2);
  const char* const palette = ",split[a][b];[a]palettegen=stats_mode=single[p];[b][p]paletteuse=new=1";
  struct Case {
    const char* Name;
    std::function<void(Tmain*)> Set;
    Integer End;
    int Count;
    std::string Size;
    std::function<std::string(int)> Frames;  // the tool's filter giving picture k (from 1)
  };
  const Case cases[] = {
      {"every 10 frames",
       [](Tmain* m) {
         m->radio_everyframes->SetChecked(true);
         m->edit_everyframes->SetText("10");
       },
       50, 5, "160 90", [](int k) { return "select=eq(n\\," + std::to_string((k - 1) * 10) + ")"; }},
      {"sheets of 2 x 1 tiles of all frames",
       [](Tmain* m) {
         m->ck_tile->SetChecked(true);
         m->se_columns->SetValue(2);
         m->se_lines->SetValue(1);
       },
       8, 4, "320 90",
       [](int k) {
         return "select=between(n\\," + std::to_string(2 * k - 2) + "\\," + std::to_string(2 * k - 1) + "),tile=2x1";
       }},
  };
  Load(clip);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    services.Calls.clear();
    main->radio_allframes->SetChecked(true);
    main->ck_tile->SetChecked(false);
    main->cb_imageformats->SetItemIndex(main->cb_imageformats->Items()->IndexOf("*.GIF"));
    c.Set(main);
    SetRange(0, c.End);
    const std::string ours = outDir + "/ours", theirs = outDir + "/theirs";
    FreshFolders({ours, theirs});
    AnswerFolder(ours);
    ExtractAndWait();
    ASSERT_EQ(FilesIn(ours).size(), size_t(c.Count));
    for (int k = 1; k <= c.Count; ++k) {
      const std::string name = "app_clip_2s.mp4-" + std::to_string(k) + ".gif";
      SCOPED_TRACE(name);
      const std::string file = ours + "/" + name;
      // One picture, read by ImageMagick and by FFmpeg's own GIF reader.
      std::string kinds;
      EXPECT_EQ(testsupport::Run("identify -format '%m %w %h;' " + testsupport::ShellQuote(file) + " 2>&1", &kinds), 0);
      EXPECT_EQ(kinds, "GIF " + c.Size + ";");
      std::string probed;
      EXPECT_EQ(testsupport::Run("ffprobe -v error -show_entries stream=codec_name,width,height -of csv=p=0 " +
                                     testsupport::ShellQuote(file) + " 2>&1",
                                 &probed),
                0);
      EXPECT_EQ(probed, "gif," + c.Size.substr(0, c.Size.find(' ')) + "," + c.Size.substr(c.Size.find(' ') + 1) + "\n");
      const std::string reference = theirs + "/" + name;
      testsupport::RunOk("ffmpeg -nostdin -loglevel error -i " + testsupport::ShellQuote(clip) + " -vf " +
                         testsupport::ShellQuote(c.Frames(k) + palette) + " -frames:v 1 " +
                         testsupport::ShellQuote(reference));
      EXPECT_EQ(Difference(file, reference, false), 0);
    }
    EXPECT_EQ(MessageTexts(), std::vector<AnsiString>{Finished});
  }
}

// Every 10th frame written as TIFF: each file decodes under libtiff's tiff2rgba and under our
// own reader (through the I/O component, as the program reads frames) to the tool's frame.
TEST_F(FrameRun, FramesOfATiffRunReadBackAsTheToolsFrames) {
  const std::string clip = Clip(2);
  Load(clip);
  main->radio_everyframes->SetChecked(true);
  main->edit_everyframes->SetText("10");
  main->ck_tile->SetChecked(false);
  main->cb_imageformats->SetItemIndex(main->cb_imageformats->Items()->IndexOf("*.TIFF"));
  SetRange(0, 50);
  const std::string ours = outDir + "/ours", theirs = outDir + "/theirs";
  FreshFolders({ours, theirs});
  AnswerFolder(ours);
  ExtractAndWait();
  EXPECT_EQ(MessageTexts(), std::vector<AnsiString>{Finished});
  ASSERT_EQ(FilesIn(ours).size(), 5u);
  for (int k = 1; k <= 5; ++k) {
    const std::string name = "app_clip_2s.mp4-" + std::to_string(k) + ".tiff";
    SCOPED_TRACE(name);
    const std::string file = ours + "/" + name, q = testsupport::ShellQuote(file);
    const std::string reference = theirs + "/" + std::to_string(k) + ".png";
    testsupport::RunOk("ffmpeg -nostdin -loglevel error -i " + testsupport::ShellQuote(clip) + " -vf " +
                       testsupport::ShellQuote("select=eq(n\\," + std::to_string((k - 1) * 10) + ")") +
                       " -frames:v 1 " + testsupport::ShellQuote(reference));
    const std::string libtiff = theirs + "/" + std::to_string(k) + "-libtiff.png";
    testsupport::RunOk("tiff2rgba -c none " + q + " " + q + ".rgba && convert " + q + ".rgba -alpha off " +
                       testsupport::ShellQuote(libtiff) + " && rm " + q + ".rgba");
    // The frames are 4:2:0 video-range YCbCr: each reader widens the chroma its own way, which
    // leaves about 0.5 % against the tool's own conversion; read as full range it was 5 %.
    EXPECT_LE(Difference(libtiff, reference, true), 0.01) << "libtiff";
    TIEBitmap picture;
    TZodivErIO io(nullptr);
    io.SetAttachedIEBitmap(&picture);
    io.LoadFromFile(AnsiToWide(file));
    ASSERT_FALSE(io.Aborting) << io.FailureReason();
    const std::string own = theirs + "/" + std::to_string(k) + "-own.ppm";
    io.SaveToFile(AnsiToWide(own));
    ASSERT_FALSE(io.Aborting) << io.FailureReason();
    EXPECT_LE(Difference(own, reference, true), 0.01) << "ours";
  }
}

// A crop typed with an odd position and size is cut exactly there: the filter's own rounding
// would give 100 x 50 pictures starting one pixel up and left.
TEST_F(FrameRun, AnOddCropIsCutExactly) {
  const std::string clip = Clip(2);
  Load(clip);
  main->radio_everyframes->SetChecked(true);
  main->edit_everyframes->SetText("25");
  main->radio_crop->SetChecked(true);
  main->cb_imageformats->SetItemIndex(main->cb_imageformats->Items()->IndexOf("*.PNG"));
  ASSERT_TRUE(apptest::TypeCrop(main, false, 39, 27, 101, 51));
  SetRange(0, 50);
  const std::string ours = outDir + "/ours", theirs = outDir + "/theirs";
  FreshFolders({ours, theirs});
  AnswerFolder(ours);
  ExtractAndWait();
  testsupport::RunOk("ffmpeg -nostdin -loglevel error -i " + testsupport::ShellQuote(clip) +
                     " -vsync vfr -vf 'select=not(mod(n\\,25)),crop=101:51:39:27:exact=1' " +
                     testsupport::ShellQuote(theirs + "/app_clip_2s.mp4-%d.png"));
  const std::vector<std::string> expected = FilesIn(theirs);
  ASSERT_EQ(expected.size(), 2u);
  ASSERT_EQ(FilesIn(ours), expected);
  for (const std::string& name : expected) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ImageSize(ours + "/" + name), "101 51");
    EXPECT_EQ(Difference(ours + "/" + name, theirs + "/" + name, false), 0);
  }
}

// Checks that stop the button before a folder is asked for or the dialog shown.
TEST_F(FrameRun, RefusedChoicesAskForNothingAndStartNothing) {
  main->btn_extract->Click();
  // A file that names no loaded video.
  main->label_fromvideo->SetCaption(Clip(2));
  main->btn_extract->Click();
  EXPECT_EQ(MessageTexts(),
            (std::vector<AnsiString>{"Please load video file!", "The source video file is NOT loaded!"}));
  services.Calls.clear();
  Load(Clip(2));
  // The clip has no sound for the audio page.
  main->pageto->SetActivePage(main->audiosheet);
  main->btn_extract->Click();
  main->pageto->SetActivePage(main->imagesheet);
  EXPECT_EQ(MessageTexts(), std::vector<AnsiString>{"No audio stream!"});
  services.Calls.clear();
  struct Case {
    std::function<void(Tmain*)> Set;
    const char* Message;
  };
  const Case cases[] = {
      {[](Tmain* m) {
         m->radio_express->SetChecked(true);
         m->edit_express->SetText("101");
       },
       "The Express Total Frames can not be more than 100"},
      {[](Tmain* m) {
         m->radio_total->SetChecked(true);
         m->edit_imageamount->SetText("30");
         m->split_end->SetValue(10);
       },
       "The Total Frames can not be more than the frames in the cut range"},
      {[](Tmain* m) {
         m->radio_everyframes->SetChecked(true);
         m->edit_everyframes->SetText("0");
       },
       "The number of frames between images must be more than 0"},
      {[](Tmain* m) { m->radio_crop->SetChecked(true); }, "Please set cropping area!"},
      {[](Tmain* m) {
         m->radio_everyseconds->SetChecked(true);
         m->ck_tile->SetChecked(true);
         m->cb_imageformats->SetItemIndex(m->cb_imageformats->Items()->IndexOf("*.PAM"));
       },
       "Multiple Frames Image can not be made of *.PAM images with this selection; choose another image format (the "
       "imaging library has no codec for it)"},
      {[](Tmain* m) { m->radio_asstring->SetChecked(true); }, "Please set the image name string"},
      {[](Tmain* m) {
         m->radio_asstring->SetChecked(true);
         m->edit_namestring->SetText("../up");
       },
       "The image name string can not contain \"/\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Message);
    services.Calls.clear();
    main->radio_allframes->SetChecked(true);
    main->radio_originalframesize->SetChecked(true);
    main->radio_asvideoname->SetChecked(true);
    main->ck_tile->SetChecked(false);
    main->split_end->SetValue(50);
    c.Set(main);
    main->btn_extract->Click();
    ASSERT_EQ(services.CallsOf("MessageBox").size(), 1u);
    EXPECT_EQ(services.CallsOf("MessageBox")[0].Text, c.Message);
    EXPECT_EQ(services.CallsOf("MessageBox")[0].Caption, "Error");
    EXPECT_EQ(services.CallsOf("MessageBox")[0].Flags, MB_ICONHAND);
    EXPECT_TRUE(services.CallsOf("Folder").empty());
    EXPECT_EQ(main->FFtoimage->TaskCount(), 0);
  }
}

// A set-up that fails shows its messages and closes the dialog: the button returns.
TEST_F(FrameRun, FailedSetUpClosesTheDialog) {
  const std::string clip = Clip(2);
  const std::string copy = outDir + "/moved.mp4";
  fs::copy_file(clip, copy);
  Load(copy);

  // A count that is no number fails inside the set-up timer.
  main->radio_everyframes->SetChecked(true);
  main->edit_everyframes->SetText("5x");
  AnswerFolder(outDir);
  main->btn_extract->Click();
  EXPECT_FALSE(batchaudioc->Visible());
  EXPECT_EQ(MessageTexts(), std::vector<AnsiString>{"Process Error! Please try again!"});
  EXPECT_EQ(main->FFtoimage->TaskCount(), 0);

  // The video vanishing after the checks: the task cannot be added.
  services.Calls.clear();
  main->radio_allframes->SetChecked(true);
  testsupport::ScriptedAnswer answer;
  answer.Result = 1;
  answer.Folder = outDir;
  answer.WhileOpen = [&] { fs::remove(copy); };
  services.Script("Folder", answer);
  main->btn_extract->Click();
  EXPECT_FALSE(batchaudioc->Visible());
  const auto texts = MessageTexts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].rfind("Add video file error: ", 0), 0u) << texts[0];
  EXPECT_EQ(texts[1], "Process Error! Please try again!");
  EXPECT_EQ(services.CallsOf("MessageBox")[1].Caption, "Error");
  EXPECT_EQ(main->FFtoimage->TaskCount(), 0);
  PumpUntil([] { return false; }, 100);
  EXPECT_FALSE(Said(Finished));
}

TEST_F(FrameRun, ProgressSharesTheBarAmongTasks) {
  Load(Clip(2));
  TProgressBar* bar = batchaudioc->progresstotal;
  main->FrameRun->TaskProgress.assign(2, 0);
  bar->SetPosition(7);
  TProgressInfo info;
  info.TaskIndex = 0;
  info.CurrentTime = 500000;
  info.TotalDuration = 0;  // unknown length: nothing moves
  main->FFtoimageProgress(main->FFtoimage, &info);
  EXPECT_EQ(bar->Position(), 7);
  info.TotalDuration = 1000000;
  info.TaskIndex = 2;  // no such task
  main->FFtoimageProgress(main->FFtoimage, &info);
  EXPECT_EQ(bar->Position(), 7);
  info.TaskIndex = 1;
  main->FFtoimageProgress(main->FFtoimage, &info);
  EXPECT_EQ(main->FrameRun->TaskProgress, (std::vector<Integer>{0, 50}));
  EXPECT_EQ(bar->Position(), 25);

  // Express: preparing took the first third; each started task moves the rest.
  main->FrameRun->Choices.Selection = fsExpress;
  main->FrameRun->TaskProgress.assign(4, 0);
  main->FFtoimageProgress(main->FFtoimage, &info);
  main->FFtoimageProgress(main->FFtoimage, &info);
  EXPECT_EQ(bar->Position(), 50);  // (1/4 * 2/3 + 1/3) * 100
}

TEST_F(FrameRun, FolderBrowserStartsAtTheLastFolderWhileItExists) {
  Load(Clip(2));
  main->OutputFolder = outDir + "/gone";
  main->btn_extract->Click();  // the browser is cancelled
  main->OutputFolder = outDir;
  main->btn_extract->Click();
  const auto calls = services.CallsOf("Folder");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].Caption, "Select an output folder for output files");
  EXPECT_EQ(calls[0].Folder, "");
  EXPECT_EQ(calls[0].Root, "");
  EXPECT_EQ(calls[1].Folder, outDir);
  EXPECT_EQ(main->OutputFolder, outDir);
  EXPECT_TRUE(MessageTexts().empty());
  EXPECT_EQ(main->FFtoimage->TaskCount(), 0);
}

// A failed task is shown with the program's title and leaves the run to the list's own end.
TEST_F(FrameRun, TaskFailureIsShownWithTheProgramTitle) {
  TTerminateInfo failed;
  failed.TaskIndex = 0;
  failed.ExceptionRaised = true;
  failed.ExceptionMessage = "Invalid data found when processing input";
  main->FFtoimageTerminate(main->FFtoimage, failed);
  const auto boxes = services.CallsOf("MessageBox");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Text, failed.ExceptionMessage + "\nThe engine's log is in \"" + EngineLogFile() + "\".");
  EXPECT_EQ(boxes[0].Caption, Application->Title());
  EXPECT_EQ(boxes[0].Flags, MB_ICONEXCLAMATION);
  EXPECT_FALSE(main->timer_fftoimage_end->Enabled());
}

// Cancel pressed before the set-up timer fired: the set-up starts nothing.
TEST_F(FrameRun, CancelBeforeTheSetUpStartsNothing) {
  Load(Clip(2));
  main->OutputFolder = outDir;
  main->FrameRun->Cancelled = true;
  main->timer_toimage->SetEnabled(true);
  main->timer_toimageTimer(main->timer_toimage);
  EXPECT_FALSE(main->timer_toimage->Enabled());
  EXPECT_EQ(main->FFtoimage->TaskCount(), 0);
  PumpUntil([] { return false; }, 300);
  EXPECT_TRUE(FilesIn(outDir).empty());
  EXPECT_TRUE(MessageTexts().empty());
}

// Cancelling relies on the progress dialog's Cancel button.
TEST_F(FrameRun, CancelDuringExpressPreparationStartsNothing) {
  Load(Clip(2));
  main->radio_express->SetChecked(true);
  main->edit_express->SetText("100");
  TTimer cancel(nullptr);
  cancel.SetInterval(1);
  cancel.OnTimer = [&](TObject*) {
    if (main->FrameRun->Kind == "fftoimage-pre" && main->FFtoimage->TaskCount() >= 2) {
      cancel.SetEnabled(false);
      batchaudioc->Button1->Click();
    }
  };
  AnswerFolder(outDir);
  main->btn_extract->Click();
  cancel.SetEnabled(false);
  EXPECT_FALSE(batchaudioc->Visible());
  EXPECT_TRUE(main->FrameRun->Cancelled);
  EXPECT_EQ(main->FFtoimage->TaskCount(), 0);
  PumpUntil([] { return false; }, 300);
  EXPECT_TRUE(FilesIn(outDir).empty());
  EXPECT_TRUE(MessageTexts().empty());
}

TEST_F(FrameRun, CancelDuringTheRunEndsWithoutReport) {
  Load(Clip(10));
  main->cb_imageformats->SetItemIndex(main->cb_imageformats->Items()->IndexOf("*.PNG"));
  main->ch_isopenfolder->SetChecked(true);
  TTimer cancel(nullptr);
  cancel.SetInterval(1);
  cancel.OnTimer = [&](TObject*) {
    if (main->FFtoimage->Working() && !FilesIn(outDir).empty()) {
      cancel.SetEnabled(false);
      batchaudioc->Button1->Click();
    }
  };
  AnswerFolder(outDir);
  main->btn_extract->Click();
  cancel.SetEnabled(false);
  EXPECT_FALSE(batchaudioc->Visible());
  EXPECT_TRUE(main->FrameRun->Cancelled);
  PumpUntil([] { return false; }, 300);
  EXPECT_FALSE(Said(Finished));
  EXPECT_TRUE(services.CallsOf("ShellOpen").empty());
  // Stopped before the end of the 250 frames.
  EXPECT_LT(FilesIn(outDir).size(), 250u);
}

// 320x180 H.264 at 25 frames a second, a key frame every 250 frames, 16 seconds, no sound.
std::string KeyframeClip() {
  return testsupport::Fixture("app_keyint250_16s.mp4",
                              "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=320x180:rate=25:duration=16 "
                              "-c:v libx264 -g 250 -keyint_min 250 -sc_threshold 0 -pix_fmt yuv420p -preset ultrafast "
                              "-f mp4 {out}");
}

// The decoded picture of an image file, for comparing two files picture by picture.
std::string PictureSum(const std::string& File) {
  std::string out;
  testsupport::Run("ffmpeg -v error -i " + testsupport::ShellQuote(File) + " -f md5 - 2>/dev/null", &out);
  return out;
}

// Five single frames between two key frames (250..312), run together: each one the picture the
// tool writes at the same start, and no error on the way.
TEST_F(FrameRun, ExpressBetweenKeyFramesWritesOnePictureEachWithoutError) {
  const std::string clip = KeyframeClip();
  Load(clip);
  SetRange(250, 312);
  main->radio_express->SetChecked(true);
  main->edit_express->SetText("5");
  main->cb_imageformats->SetItemIndex(main->cb_imageformats->Items()->IndexOf("*.JPG"));
  AnswerFolder(outDir);
  ExtractAndWait();
  EXPECT_EQ(MessageTexts(), std::vector<AnsiString>{Finished});
  const std::string name = "app_keyint250_16s.mp4";
  ASSERT_EQ(FilesIn(outDir).size(), 5u);
  const Integer max = main->split_begin->MaxValue();
  for (int k = 1; k <= 5; ++k) {
    SCOPED_TRACE(k);
    const double position = (k - 0.5) / 5 * (312 - 250) + 250;
    const AnsiString start = format_time(std::llrint(position / max * double(main->Duration)));
    const std::string tool = outDir + "/tool.jpg";
    testsupport::RunOk("ffmpeg -nostdin -loglevel error -y -ss " + start + " -i " + testsupport::ShellQuote(clip) +
                       " -q:v 0 -f image2 -vframes 1 " + tool);
    const std::string ours = outDir + "/" + name + "-" + std::to_string(k) + ".jpg";
    EXPECT_EQ(PictureSum(ours), PictureSum(tool));
    fs::remove(tool);
  }
}

// "Total 10" over a 62-frame range: exactly ten images, the tool agreeing for the same chain.
TEST_F(FrameRun, TotalWritesExactlyTheAskedCount) {
  const std::string clip = Clip(10);
  Load(clip);
  SetRange(100, 162);
  main->radio_total->SetChecked(true);
  main->edit_imageamount->SetText("10");
  main->cb_imageformats->SetItemIndex(main->cb_imageformats->Items()->IndexOf("*.PNG"));
  AnswerFolder(outDir);
  ExtractAndWait();
  EXPECT_EQ(FilesIn(outDir).size(), 10u);
  const std::string theirs = outDir + "/tool";
  fs::create_directories(theirs);
  testsupport::RunOk("ffmpeg -nostdin -loglevel error -ss 00:00:04.000 -i " + testsupport::ShellQuote(clip) +
                     " -t 00:00:02.480 -vsync vfr -vf 'select=lt(mod(n*10\\,62)\\,10)*lt(n\\,62)' " +
                     testsupport::ShellQuote(theirs + "/f-%d.png"));
  ASSERT_EQ(FilesIn(theirs).size(), 10u);
  for (int k = 1; k <= 10; ++k)
    EXPECT_EQ(Difference(outDir + "/app_clip_10s.mp4-" + std::to_string(k) + ".png",
                         theirs + "/f-" + std::to_string(k) + ".png", false),
              0)
        << k;
}

// Selections that find nothing say so instead of reporting a finished run.
TEST_F(FrameRun, ARunThatWritesNothingSaysNoFrameWasExtracted) {
  Load(Clip(2));
  const char* const nothing = "No frame was extracted: the selection found no frame in the marked range.";
  // A zero-length range.
  SetRange(20, 20);
  AnswerFolder(outDir);
  main->btn_extract->Click();
  ASSERT_TRUE(PumpUntil([&] { return Said(nothing); }));
  // No picture changes that much.
  services.Calls.clear();
  SetRange(0, 50);
  main->radio_scene->SetChecked(true);
  main->se_scenechange->SetValue(100);
  AnswerFolder(outDir);
  main->btn_extract->Click();
  ASSERT_TRUE(PumpUntil([&] { return Said(nothing); }));
  PumpUntil([] { return false; }, 200);
  EXPECT_EQ(MessageTexts(), std::vector<AnsiString>{nothing});
  EXPECT_TRUE(FilesIn(outDir).empty());
}

// Faults met before and while writing: the folder removed before the tasks open their files, and
// a file size limit standing for a full disk. The run ends with its errors (naming the files and the
// engine's log) and never with the finished report; a cut image is removed, whole ones stay.
TEST_F(FrameRun, FailedRunsEndWithTheirErrorsNeverAsFinished) {
  Load(Clip(2));
  const std::string gone = outDir + "/gone";
  fs::create_directories(gone);
  main->radio_express->SetChecked(true);
  main->edit_express->SetText("3");
  main->cb_imageformats->SetItemIndex(main->cb_imageformats->Items()->IndexOf("*.PNG"));
  testsupport::ScriptedAnswer answer;
  answer.Result = 1;
  answer.Folder = gone;
  answer.WhileOpen = [&] { fs::remove_all(gone); };
  services.Script("Folder", answer);
  main->btn_extract->Click();
  // The engine looks for the folder when the first task's output is set, so the run is refused
  // at once, naming the folder and the file, and nothing is reported as finished.
  const AnsiString refused = "Cannot do convert, error: Output folder \"" + gone + "\" of \"" + gone +
                             "/app_clip_2s.mp4-1.png\" does not exist.";
  ASSERT_TRUE(PumpUntil([&] { return Said(refused); })) << (MessageTexts().empty() ? "" : MessageTexts()[0]);
  PumpUntil([] { return false; }, 200);
  EXPECT_EQ(MessageTexts(), (std::vector<AnsiString>{refused, "Process Error! Please try again!"}));
  EXPECT_FALSE(fs::exists(gone));

  // All frames under a file size limit of 4000 bytes, below one PNG of this clip: the first
  // image is cut and removed, and the run stops there.
  services.Calls.clear();
  main->radio_allframes->SetChecked(true);
  SetRange(0, 50);
  const std::string full = outDir + "/full";
  fs::create_directories(full);
  AnswerFolder(full);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 4000;
  setrlimit(RLIMIT_FSIZE, &small);
  main->btn_extract->Click();
  PumpUntil([] { return false; }, 300);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldSignal);
  const auto texts = MessageTexts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].rfind("Could not extract to \"" + full + "\": ", 0), 0u) << texts[0];
  EXPECT_NE(texts[0].find("File too large"), std::string::npos) << texts[0];
  EXPECT_NE(texts[0].find("was removed."), std::string::npos) << texts[0];
  EXPECT_NE(texts[0].find(full + "/app_clip_2s.mp4-1.png"), std::string::npos) << texts[0];
  EXPECT_TRUE(FilesIn(full).empty());
  EXPECT_FALSE(Said(Finished));
}

}  // namespace
