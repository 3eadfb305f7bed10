#include <gtest/gtest.h>

#include <cstdio>

#include "app/about_box.h"
#include "app/hint_windows.h"
#include "app/library_loading.h"
#include "app/run_progress_dialog.h"
#include "app/transform_dialogs.h"
#include "app/splash_window.h"
#include "platform/gui/application.h"
#include "platform/gui/dragdrop.h"
#include "platform/gui/graphics.h"
#include "tests/app/app_windows_fixture.h"

namespace {

using apptest::AppWindows;

TEST_F(AppWindows, StartUpCreatesTheWindowsInOrderWithTheMainWindowFirst) {
  std::vector<AnsiString> names;
  for (Integer i = 0; i < Application->ComponentCount(); ++i) {
    if (auto* form = dynamic_cast<TCustomForm*>(Application->Components(i))) names.push_back(form->Name());
  }
  const std::vector<AnsiString> expected{"main",           "batchaudioc",    "effects",        "showdragvideo",
                                         "showdragimage",  "showdragvideos", "showdragimages", "showdragaudios",
                                         "about",          "setcrop",        "setcrop2",       "effects2"};
  EXPECT_EQ(names, expected);
  EXPECT_EQ(Application->MainForm(), main);
  EXPECT_EQ(Application->Title(), "Clavorne Pro");
  EXPECT_EQ(main->Caption(), "Clavorne Pro 1.2.7");
  EXPECT_EQ(main->ClientWidth(), 944);
  EXPECT_EQ(main->ClientHeight(), 686);
  EXPECT_EQ(main->BorderStyle(), bsSingle);
  EXPECT_EQ(main->BorderIcons(), biSystemMenu | biMinimize);
  EXPECT_TRUE(AcceptsDroppedFiles(main->TabSheet6));
  EXPECT_TRUE(services.Calls.empty());
}

TEST_F(AppWindows, ImageFormatListHoldsTheTwelvePatterns) {
  std::vector<AnsiString> items;
  for (Integer i = 0; i < main->cb_imageformats->Items()->Count(); ++i) items.push_back(main->cb_imageformats->Items()->Strings(i));
  const std::vector<AnsiString> expected{"*.JPG", "*.JPEG", "*.GIF", "*.BMP", "*.PNG", "*.PCX",
                                         "*.TIFF", "*.TGA", "*.PGM", "*.PPM", "*.PAM", "*.SGI"};
  EXPECT_EQ(items, expected);
  EXPECT_EQ(main->cb_imageformats->ItemIndex(), 0);
  EXPECT_EQ(main->cb_imageformats->Text(), "*.JPG");
}

TEST_F(AppWindows, PreviewsStartBlackAndTheRangeAtZeroToHundred) {
  for (TImage* preview : {main->Image_start, main->image_end}) {
    EXPECT_EQ(preview->Width(), 433);
    EXPECT_EQ(preview->Height(), 170);
    TBitmap* picture = preview->Picture()->Bitmap();
    EXPECT_EQ(picture->PixelColor(0, 0), clBlack);
    EXPECT_EQ(picture->PixelColor(432, 169), clBlack);
  }
  EXPECT_EQ(main->label_fromvideo->Caption(), "");
  EXPECT_EQ(main->Label_begintime->Caption(), "Start 00:00:00.000");
  EXPECT_EQ(main->label_totalframe->Caption(), "Frame 0 >>");
  EXPECT_EQ(main->PreviewBitmap->Width(), 0);
}

// Start-up in a process of its own: with no library set loadable, one stop message with an empty
// caption, then the process ends before any window shows. The child reports each message box on
// standard error so the parent can see it.
void StartWithoutLibraries(std::vector<AnsiString>* folders) {
  testsupport::ScriptedServices services;
  testsupport::ScriptedAnswer report;
  report.WhileOpen = [&services] {
    const auto& call = services.Calls.back();
    std::fprintf(stderr, "BOX[%s|%s|%u|shown:%d]\n", call.Text.c_str(), call.Caption.c_str(), call.Flags,
                 Application->MainForm() && Application->MainForm()->Visible() ? 1 : 0);
  };
  services.Script("MessageBox", report);
  SetLibraryLoadHook([folders](const AnsiString& folder) {
    folders->push_back(folder);
    std::fprintf(stderr, "TRY[%s]\n", folder.c_str());
    return false;
  });
  InitializeProgram();
  CreateProgramWindows();
  std::fprintf(stderr, "STILL RUNNING\n");
  std::_Exit(0);
}

// The program itself on an X server: the desktop shows the main window's caption exactly, with
// nothing of Qt's appended to it.
TEST(StartUpOnX11, TheWindowTitleIsTheCaptionAlone) {
  const std::string dir = testsupport::MakeTempDir("x11title");
  const std::string program = std::string(CLAVORNE_BINARY_DIR) + "/clavorne-pro";
  const std::string script =
      "cd " + testsupport::ShellQuote(dir) + " && "
      "(Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>fd >/dev/null 2>&1 & echo $! >xvfb.pid) && "
      "for i in $(seq 100); do [ -s fd ] && break; sleep 0.1; done && D=:$(cat fd) && "
      "(DISPLAY=$D QT_QPA_PLATFORM=xcb timeout 30 " + testsupport::ShellQuote(program) +
      " >prog.log 2>&1 & echo $! >prog.pid) && "
      "for i in $(seq 100); do timeout 5 xwininfo -display $D -root -tree >tree 2>/dev/null; "
      "grep -q 'Clavorne Pro 1.2.7' tree && break; sleep 0.2; done; "
      "kill $(cat prog.pid) 2>/dev/null; sleep 0.3; kill $(cat xvfb.pid) 2>/dev/null; cat tree";
  std::string tree;
  testsupport::Run(script, &tree);
  testsupport::RemoveTree(dir);
  EXPECT_NE(tree.find("\"Clavorne Pro 1.2.7\""), std::string::npos) << tree;
  EXPECT_EQ(tree.find("1.2.7 \xE2\x80\x94"), std::string::npos) << tree;
  EXPECT_EQ(tree.find("1.2.7 \\342\\200\\224"), std::string::npos) << tree;
}

// The whole program in a process of its own, closed as soon as its main window shows; then
// names each window variable shutdown left pointing at a freed window.
void RunProgramAndClose() {
  StartImagingLibrary();
  TTimer closer(nullptr);
  closer.SetInterval(10);
  closer.OnTimer = [](TObject*) {
    if (MainWindow && MainWindow->Visible()) MainWindow->Close();
  };
  closer.SetEnabled(true);
  RunProgram();
  const std::pair<const char*, const void*> windows[] = {
      {"main", MainWindow},           {"batchaudioc", batchaudioc},       {"effects", effects},
      {"effects2", effects2},         {"showdragvideo", showdragvideo},   {"showdragimage", showdragimage},
      {"showdragvideos", showdragvideos}, {"showdragimages", showdragimages}, {"showdragaudios", showdragaudios},
      {"about", about},               {"setcrop", setcrop},               {"setcrop2", setcrop2},
      {"flash", flash}};
  std::string left;
  for (const auto& [name, window] : windows)
    if (window) left += std::string(" ") + name;
  std::fprintf(stderr, "LEFT[%s]\n", left.c_str());
  std::_Exit(0);
}

TEST(Shutdown, LeavesNoWindowVariablePointingAtAFreedWindow) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(RunProgramAndClose(), ::testing::ExitedWithCode(0), "LEFT\\[\\]");
}

TEST(StartUpWithoutLibraries, ShowsLoadDllErrorAndEnds) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::vector<AnsiString> folders;
  EXPECT_EXIT(StartWithoutLibraries(&folders), ::testing::ExitedWithCode(1),
              "TRY\\[/usr/lib/kwr/ff\\]\nTRY\\[.*/redist/ff\\]\nBOX\\[load DLL error!\\|\\|16\\|shown:0\\]\n$");
}

TEST(StartUpLibraries, SecondFolderServesAllThreeEncoders) {
  testsupport::ScriptedServices services;
  std::vector<AnsiString> folders;
  bool loaded = false;
  SetLibraryLoadHook([&](const AnsiString& folder) {
    folders.push_back(folder);
    loaded = loaded || folder.ends_with("/redist/ff");
    return loaded;
  });
  InitializeProgram();
  CreateProgramWindows();
  SetLibraryLoadHook(nullptr);
  // The system folder is tried first and fails; the program's own folder then serves.
  ASSERT_GE(folders.size(), 2u);
  EXPECT_EQ(folders[0], "/usr/lib/kwr/ff");
  EXPECT_TRUE(folders[1].ends_with("/redist/ff"));
  EXPECT_TRUE(services.CallsOf("MessageBox").empty());
  EXPECT_NE(MainWindow, nullptr);
  DestroyProgramWindows();
}

}  // namespace
