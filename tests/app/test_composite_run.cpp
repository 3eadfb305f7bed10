// Tiling that the program does itself (frames taken by time, by rate or by Express Total):
// driven from the images page, each tile of each sheet is compared with the frame the ffmpeg
// tool writes for the same options, and the working folder is left empty.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "app/composite_run.h"
#include "app/frame_run.h"
#include "app/run_progress_dialog.h"
#include "app/work_folder.h"
#include "platform/gui/timers.h"
#include "platform/rtl/files.h"
#include "tests/app/app_windows_fixture.h"
#include "widgets/slider/slider.h"

namespace {

namespace fs = std::filesystem;
using apptest::Clip;

const char* const Finished = "Process is finished!";

bool PumpUntil(const std::function<bool()>& Done, int TimeoutMs = 60000) { return apptest::PumpUntil(Done, TimeoutMs); }
using apptest::FilesIn;

std::string ImageSize(const std::string& File) {
  return testsupport::RunOk("identify -format '%w %h' " + testsupport::ShellQuote(File));
}

// What ImageMagick's compare says of the W x H area at (X, Y) of Sheet against Frame by Metric.
// Options (such as laying both on one background) are applied to the tile and the frame alike.
std::string CompareTile(const std::string& Sheet, int X, int Y, int W, int H, const std::string& Frame,
                        const std::string& Metric, const std::string& Options = "") {
  const std::string tile = Frame + ".tile.png", frame = Frame + ".frame.png";
  testsupport::RunOk("convert " + testsupport::ShellQuote(Sheet) + " -crop " + std::to_string(W) + "x" +
                     std::to_string(H) + "+" + std::to_string(X) + "+" + std::to_string(Y) + " +repage " + Options +
                     " " + testsupport::ShellQuote(tile));
  const std::string reference = Options.empty() ? Frame : frame;
  if (!Options.empty())
    testsupport::RunOk("convert " + testsupport::ShellQuote(Frame) + " " + Options + " " + testsupport::ShellQuote(frame));
  std::string out;
  testsupport::Run("compare -metric " + Metric + " " + testsupport::ShellQuote(tile) + " " +
                       testsupport::ShellQuote(reference) + " null: 2>&1",
                   &out);
  fs::remove(tile);
  fs::remove(frame);
  return out;
}

// Pixels of the W x H area at (X, Y) of Sheet that differ from Frame.
long TileDifference(const std::string& Sheet, int X, int Y, int W, int H, const std::string& Frame) {
  const std::string out = CompareTile(Sheet, X, Y, W, H, Frame, "AE");
  try {
    return std::stol(out);
  } catch (...) {
    ADD_FAILURE() << "compare said: " << out;
    return -1;
  }
}

// Peak signal-to-noise ratio in dB of the W x H area at (X, Y) of Sheet against Frame, both laid
// on the same background first so that pixels transparent in both count as equal; equal
// pictures give a large number in place of ImageMagick's "inf".
double TilePsnr(const std::string& Sheet, int X, int Y, int W, int H, const std::string& Frame) {
  const std::string out = CompareTile(Sheet, X, Y, W, H, Frame, "PSNR", "-background black -alpha remove -alpha off");
  if (out.rfind("inf", 0) == 0) return 1000;
  try {
    return std::stod(out);
  } catch (...) {
    ADD_FAILURE() << "compare said: " << out;
    return -1;
  }
}

class CompositeRun : public apptest::AppWindows {
 protected:
  void SetUp() override {
    AppWindows::SetUp();
    outDir = testsupport::MakeTempDir("sheets");
    work = ProgramFolder() + "tmp";
  }
  void TearDown() override {
    testsupport::RemoveTree(outDir);
    AppWindows::TearDown();
  }
  void Choose(TRadioButton* Selection, Integer Columns, Integer Lines, const char* Format = "*.PNG") {
    Selection->SetChecked(true);
    main->ck_tile->SetChecked(true);
    main->se_columns->SetValue(Columns);
    main->se_lines->SetValue(Lines);
    main->cb_imageformats->SetItemIndex(main->cb_imageformats->Items()->IndexOf(Format));
  }
  void Load(const std::string& File, Integer End) {
    main->load_videofile(File);
    ASSERT_TRUE(MessageTexts().empty());
    main->split_end->SetValue(End);
  }
  void AnswerFolder(const std::string& Folder, std::function<void()> WhileOpen = {}) {
    testsupport::ScriptedAnswer answer;
    answer.Result = 1;
    answer.Folder = Folder;
    answer.WhileOpen = std::move(WhileOpen);
    services.Script("Folder", answer);
  }
  bool Said(const AnsiString& Text) const {
    const auto texts = MessageTexts();
    return std::find(texts.begin(), texts.end(), Text) != texts.end();
  }
  // Extract, then wait until a message came; the dialog is closed by then.
  void ExtractAndWait() {
    main->btn_extract->Click();
    EXPECT_FALSE(batchaudioc->Visible());
    PumpUntil([&] { return !MessageTexts().empty(); });
  }
  // Nothing of this process's runs is left in the working folder (other test processes may be
  // using it at the same time).
  void ExpectWorkFolderEmpty() {
    ASSERT_TRUE(DirectoryExists(work));
    const std::string ours = "run-" + std::to_string(getpid()) + "-";
    for (const std::string& name : FilesIn(work)) EXPECT_NE(name.rfind(ours, 0), 0u) << name;
  }
  // The frames the ffmpeg tool writes for the same options, as files of Ext (PNG by default)
  // in Dir.
  std::vector<std::string> ToolFrames(const std::string& Clip, const std::string& Options, const std::string& Dir,
                                      const std::string& Ext = "png") {
    fs::create_directories(Dir);
    testsupport::RunOk("ffmpeg -nostdin -loglevel error -i " + testsupport::ShellQuote(Clip) + " " + Options + " " +
                       testsupport::ShellQuote(Dir + "/f-%d." + Ext));
    std::vector<std::string> frames;
    for (int q = 1; fs::exists(Dir + "/f-" + std::to_string(q) + "." + Ext); ++q)
      frames.push_back(Dir + "/f-" + std::to_string(q) + "." + Ext);
    return frames;
  }

  // Runs the composite step on Source inside the run dialog, as a frame run hands over.
  void RunStep(const TCompositeRun::TSource& Source) {
    TTimer start(nullptr);
    start.SetInterval(1);
    start.OnTimer = [&](TObject*) {
      if (!batchaudioc->Modal()) return;
      start.SetEnabled(false);
      main->CompositeRun->Take(Source);
      main->CompositeRun->Start();
    };
    start.SetEnabled(true);
    batchaudioc->ShowModal();
  }

  std::string outDir, work;
};

TEST_F(CompositeRun, EverySecondOver10Point4SecondsMakesTwoSheetsOfTheToolsFrames) {
  const std::string clip = Clip(11);
  Load(clip, 260);  // 260 of 275 frames: 10.4 s
  Choose(main->radio_everyseconds, 3, 2);
  main->edit_everyseconds->SetText("1");
  AnswerFolder(outDir);
  ExtractAndWait();
  EXPECT_EQ(MessageTexts(), std::vector<AnsiString>{Finished});
  const std::string base = fs::path(clip).filename().string();
  ASSERT_EQ(FilesIn(outDir), (std::vector<std::string>{base + "-1.png", base + "-2.png"}));
  ExpectWorkFolderEmpty();

  const auto frames = ToolFrames(clip, "-ss 00:00:00.000 -t 00:00:10.400 -r 1", outDir + "/tool");
  ASSERT_EQ(frames.size(), 11u);
  const std::string sheet1 = outDir + "/" + base + "-1.png", sheet2 = outDir + "/" + base + "-2.png";
  EXPECT_EQ(ImageSize(sheet1), "480 180");
  EXPECT_EQ(ImageSize(sheet2), "480 180");
  for (int q = 0; q < 11; ++q) {
    SCOPED_TRACE(q + 1);
    const int cell = q % 6;
    EXPECT_EQ(TileDifference(q < 6 ? sheet1 : sheet2, (cell % 3) * 160, (cell / 3) * 90, 160, 90, frames[q]), 0);
  }
}

// The same every-second run, 3 x 2 over 10.4 s, in the formats whose coders are the library's
// own. PCX and TGA sheets hold every colour, so each tile is the tool's frame exactly. A GIF
// sheet holds at most 256 colours for the whole sheet, and the tool's TIFF frames are 4:2:0
// YCbCr that each reader widens to colour its own way, so their tiles are held to a PSNR bound
// (mean squared error over the tile, so a patch of wrong pixels shows as well as a drift)
// instead; the bound is checked to fail for the next second's frame and for the tile taken two
// pixels aside, so a wrong frame or a shifted tile is still caught.
TEST_F(CompositeRun, EverySecondSheetsInGifPcxTgaAndTiffHoldTheToolsFrames) {
  const std::string clip = Clip(11);
  const std::string base = fs::path(clip).filename().string();
  Load(clip, 260);
  const std::string times = "-ss 00:00:00.000 -t 00:00:10.400 -r 1";
  const auto frames = ToolFrames(clip, times, outDir + "/tool");
  ASSERT_EQ(frames.size(), 11u);
  // The program's GIF frames come from the tool's GIF encoder, each with its own palette (and
  // its reserved transparent entry), so a GIF sheet is held to those frames.
  const auto gifFrames = ToolFrames(clip,
                                    times + " -f image2 -c:v gif -gifflags 0 -gifimage 1 -vf "
                                            "'split[a][b];[a]palettegen=stats_mode=single[p];[b][p]paletteuse=new=1'",
                                    outDir + "/toolgif", "gif");
  ASSERT_EQ(gifFrames.size(), 11u);
  // Six frames of up to 255 colours each share one 255-entry table in the sheet: that
  // reduction leaves 36 to 39 dB against the frame, while the next second's frame gives at
  // most 21 dB and the tile two pixels aside about 13 dB. A transparent colour wrongly kept
  // from the frames (opaque green made transparent) gave 18 to 24 dB.
  const double MinGifPsnr = 28;
  // TIFF tiles give about 46 dB against the tool's frame; the same frames read as full-range
  // YCbCr give about 26 dB.
  const double MinTiffPsnr = 38;
  const struct {
    const char* Format;
    const char* Ext;
    bool Exact;
    double MinPsnr;
    const std::vector<std::string>& Reference;
  } cases[] = {{"*.GIF", "gif", false, MinGifPsnr, gifFrames},
               {"*.PCX", "pcx", true, 0, frames},
               {"*.TGA", "tga", true, 0, frames},
               {"*.TIFF", "tiff", false, MinTiffPsnr, frames}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Format);
    services.Calls.clear();
    Choose(main->radio_everyseconds, 3, 2, c.Format);
    main->edit_everyseconds->SetText("1");
    const std::string folder = outDir + "/" + c.Ext;
    fs::create_directories(folder);
    AnswerFolder(folder);
    ExtractAndWait();
    EXPECT_EQ(MessageTexts(), std::vector<AnsiString>{Finished});
    const std::string sheet1 = folder + "/" + base + "-1." + c.Ext, sheet2 = folder + "/" + base + "-2." + c.Ext;
    ASSERT_EQ(FilesIn(folder), (std::vector<std::string>{base + "-1." + c.Ext, base + "-2." + c.Ext}));
    EXPECT_EQ(ImageSize(sheet1), "480 180");
    EXPECT_EQ(ImageSize(sheet2), "480 180");
    for (int q = 0; q < 11; ++q) {
      SCOPED_TRACE(q + 1);
      const int cell = q % 6, x = (cell % 3) * 160, y = (cell / 3) * 90;
      const std::string& sheet = q < 6 ? sheet1 : sheet2;
      if (c.Exact) {
        EXPECT_EQ(TileDifference(sheet, x, y, 160, 90, frames[q]), 0);
        continue;
      }
      const double right = TilePsnr(sheet, x, y, 160, 90, c.Reference[q]);
      const double next = TilePsnr(sheet, x, y, 160, 90, c.Reference[q == 10 ? 9 : q + 1]);
      const double shifted = TilePsnr(sheet, cell % 3 == 2 ? x - 2 : x + 2, y, 160, 90, c.Reference[q]);
      EXPECT_GE(right, c.MinPsnr);
      EXPECT_LT(next, c.MinPsnr);
      EXPECT_LT(shifted, c.MinPsnr);
    }
  }
  ExpectWorkFolderEmpty();
}

// A tiled every-second run in each format of the images page: the formats the imaging library
// reads and writes today give sheets the tools read; the others are refused before any folder
// is asked for, naming the format and why (the README lists the same formats).
TEST_F(CompositeRun, EachImageFormatMakesSheetsOrIsRefusedAtOnce) {
  const std::string clip = Clip(2);
  const std::string base = fs::path(clip).filename().string();
  Load(clip, 50);
  const struct {
    const char* Format;
    const char* Kind;  // ImageMagick's name for the sheet's format; nullptr: refused
  } cases[] = {
      {"*.JPG", "JPEG"}, {"*.JPEG", "JPEG"}, {"*.BMP", "BMP3"}, {"*.PNG", "PNG"},
      {"*.PGM", "PGM"},  {"*.PPM", "PPM"},   {"*.GIF", "GIF"},   {"*.PCX", "PCX"},
      {"*.TIFF", "TIFF"}, {"*.TGA", "TGA"}, {"*.PAM", nullptr}, {"*.SGI", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Format);
    services.Calls.clear();
    Choose(main->radio_everyseconds, 2, 1, c.Format);
    main->edit_everyseconds->SetText("1");
    const std::string folder = outDir + "/" + std::string(c.Format + 2);
    fs::create_directories(folder);
    if (!c.Kind) {
      main->btn_extract->Click();
      const auto boxes = services.CallsOf("MessageBox");
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0].Text.rfind("Multiple Frames Image can not be made of " + AnsiString(c.Format) + " images", 0), 0u)
          << boxes[0].Text;
      EXPECT_EQ(boxes[0].Caption, "Error");
      EXPECT_TRUE(services.CallsOf("Folder").empty());
      EXPECT_TRUE(FilesIn(folder).empty());
      continue;
    }
    // Only a run that goes on asks for its folder: an answer queued for a refused run would be
    // taken by the next one.
    AnswerFolder(folder);
    ExtractAndWait();
    EXPECT_EQ(MessageTexts(), std::vector<AnsiString>{Finished});
    const std::string ext = AnsiString(c.Format + 2) == "JPEG" ? "jpeg" : LowerCase(AnsiString(c.Format + 2));
    const std::vector<std::string> sheets = FilesIn(folder);
    ASSERT_FALSE(sheets.empty());
    for (size_t s = 0; s < sheets.size(); ++s) EXPECT_EQ(sheets[s], base + "-" + std::to_string(s + 1) + "." + ext);
    EXPECT_EQ(testsupport::RunOk("identify -format '%m %w %h' " + testsupport::ShellQuote(folder + "/" + base + "-1." + ext)),
              std::string(c.Kind) + " 320 90");
  }
  ExpectWorkFolderEmpty();
}

TEST_F(CompositeRun, ExpressAndFrameRateSheets) {
  const std::string clip = Clip(2);
  const std::string base = fs::path(clip).filename().string();
  // Express 5 in one line of two: two, two and one.
  Load(clip, 50);
  Choose(main->radio_express, 2, 1);
  main->edit_express->SetText("5");
  AnswerFolder(outDir + "/express");
  fs::create_directories(outDir + "/express");
  ExtractAndWait();
  EXPECT_EQ(MessageTexts(), std::vector<AnsiString>{Finished});
  ASSERT_EQ(FilesIn(outDir + "/express"), (std::vector<std::string>{base + "-1.png", base + "-2.png", base + "-3.png"}));
  EXPECT_EQ(ImageSize(outDir + "/express/" + base + "-1.png"), "320 90");
  // The third sheet holds the fifth frame: the frame at the centre of the last fifth, 1.8 s.
  const auto fifth = ToolFrames(clip, "-ss 00:00:01.800 -vframes 1", outDir + "/tool5");
  ASSERT_EQ(fifth.size(), 1u);
  EXPECT_EQ(TileDifference(outDir + "/express/" + base + "-3.png", 0, 0, 160, 90, fifth[0]), 0);
  ExpectWorkFolderEmpty();

  // 5 frames a second over 1 s, 3 x 2: one sheet of every frame the tool takes.
  services.Calls.clear();
  main->split_end->SetValue(25);
  Choose(main->radio_fps, 3, 2);
  main->cb_framerate->SetItemIndex(main->cb_framerate->Items()->IndexOf("5"));
  fs::create_directories(outDir + "/fps");
  AnswerFolder(outDir + "/fps");
  ExtractAndWait();
  EXPECT_EQ(MessageTexts(), std::vector<AnsiString>{Finished});
  ASSERT_EQ(FilesIn(outDir + "/fps"), std::vector<std::string>{base + "-1.png"});
  const auto frames = ToolFrames(clip, "-ss 00:00:00.000 -t 00:00:01.000 -r 5", outDir + "/toolfps");
  ASSERT_GE(frames.size(), 5u);
  for (size_t q = 0; q < frames.size() && q < 6; ++q)
    EXPECT_EQ(TileDifference(outDir + "/fps/" + base + "-1.png", (q % 3) * 160, (q / 3) * 90, 160, 90, frames[q]), 0)
        << q + 1;
  ExpectWorkFolderEmpty();
}

TEST_F(CompositeRun, CancelDuringTheStepEmptiesTheWorkingFolderWithoutAReport) {
  Load(Clip(11), 275);
  Choose(main->radio_fps, 2, 2);
  main->cb_framerate->SetItemIndex(main->cb_framerate->Items()->IndexOf("10"));
  TTimer cancel(nullptr);
  cancel.SetInterval(1);
  bool clicked = false;
  cancel.OnTimer = [&](TObject*) {
    if (main->ActiveRun == main->CompositeRun.get() && batchaudioc->Modal() && !clicked) {
      clicked = true;
      batchaudioc->Button1->Click();
    }
  };
  cancel.SetEnabled(true);
  AnswerFolder(outDir);
  main->btn_extract->Click();
  cancel.SetEnabled(false);
  EXPECT_TRUE(clicked);
  EXPECT_FALSE(batchaudioc->Visible());
  PumpUntil([] { return false; }, 300);
  EXPECT_FALSE(Said(Finished));
  EXPECT_TRUE(MessageTexts().empty());
  EXPECT_LT(FilesIn(outDir).size(), 28u) << "stopped before the last sheet";
  ExpectWorkFolderEmpty();
}

TEST_F(CompositeRun, AnOutputFolderThatVanishedEndsTheRunWithAMessage) {
  Load(Clip(2), 50);
  Choose(main->radio_everyseconds, 2, 1);
  const std::string gone = outDir + "/gone";
  fs::create_directories(gone);
  AnswerFolder(gone, [&] { fs::remove_all(gone); });
  ExtractAndWait();
  const auto texts = MessageTexts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].rfind("The sheet \"" + gone + "/", 0), 0u) << texts[0];
  PumpUntil([] { return false; }, 200);
  EXPECT_FALSE(Said(Finished));
  ExpectWorkFolderEmpty();
}

TEST_F(CompositeRun, ADamagedFrameEndsTheStepWithAMessage) {
  const std::string frames = MakeRunFrameFolder(outDir + "/");
  std::ofstream(frames + "v-1.png") << "not a picture";
  TCompositeRun::TSource source;
  source.FrameFolder = frames;
  source.FrameStem = "v-";
  source.SheetPrefix = outDir + "/v-";
  source.Ext = "png";
  source.Columns = 2;
  source.Lines = 1;
  source.Expected = 1;
  RunStep(source);
  const auto texts = MessageTexts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].rfind("The frame \"" + frames + "v-1.png\" could not be read", 0), 0u) << texts[0];
  EXPECT_FALSE(fs::exists(frames));
  EXPECT_TRUE(FilesIn(outDir).empty());
  EXPECT_FALSE(main->timer_fftoimage_end->Enabled());
}

// The encoder wrote more frames than expected: they are tiled as well, and the folder emptied.
TEST_F(CompositeRun, FramesBeyondTheExpectedCountAreTiledToo) {
  const std::string frames = MakeRunFrameFolder(outDir + "/");
  testsupport::RunOk("ffmpeg -nostdin -loglevel error -f lavfi -i testsrc2=size=160x90:rate=25 -frames:v 3 " +
                     testsupport::ShellQuote(frames + "v-%d.png"));
  TCompositeRun::TSource source;
  source.FrameFolder = frames;
  source.FrameStem = "v-";
  source.SheetPrefix = outDir + "/v-";
  source.Ext = "png";
  source.Columns = 2;
  source.Lines = 1;
  source.Expected = 2;
  // The frames are compared after the step has deleted them, so keep copies.
  fs::create_directories(outDir + "/copies");
  for (int q = 1; q <= 3; ++q)
    fs::copy_file(frames + "v-" + std::to_string(q) + ".png", outDir + "/copies/" + std::to_string(q) + ".png");
  RunStep(source);
  EXPECT_TRUE(MessageTexts().empty());
  EXPECT_FALSE(fs::exists(frames));
  ASSERT_TRUE(fs::exists(outDir + "/v-2.png")) << "the third frame starts a sheet of its own";
  EXPECT_EQ(TileDifference(outDir + "/v-2.png", 0, 0, 160, 90, outDir + "/copies/3.png"), 0);
  EXPECT_EQ(TileDifference(outDir + "/v-1.png", 160, 0, 160, 90, outDir + "/copies/2.png"), 0);
  EXPECT_EQ(main->CompositeRun->SheetsWritten(), 2);
}

}  // namespace
