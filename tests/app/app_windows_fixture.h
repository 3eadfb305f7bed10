// A test fixture that builds the program's windows as start-up does, with scripted dialogs, and
// the small videos the tests load.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/crop_dialogs.h"
#include "app/main_window.h"
#include "app/program.h"
#include "imaging/view/ie_view.h"
#include "platform/gui/input_simulation.h"
#include "platform/gui/timers.h"
#include "tests/support/fixtures.h"
#include "tests/support/scripted_services.h"

namespace apptest {

// A testsrc2 clip of Seconds at 25 frames per second, 160 x 90, every frame a key frame so
// that a seek lands on the very frame asked for.
inline std::string Clip(int Seconds, const std::string& Ext = "mp4") {
  const std::string name = "app_clip_" + std::to_string(Seconds) + "s." + Ext;
  return testsupport::Fixture(name, "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=160x90:rate=25 -t " +
                                        std::to_string(Seconds) + " -c:v mpeg4 -g 1 -q:v 2 {out}");
}

// Runs the loop until Done holds or TimeoutMs pass; true when it held.
inline bool PumpUntil(const std::function<bool()>& Done, int TimeoutMs = 30000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  while (!Done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    Application->ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// The names in a folder, sorted.
inline std::vector<std::string> FilesIn(const std::string& Dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(Dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Opens the frame run's (or the clip run's) crop dialog from its page and selects the picture
// pixels Left .. Right - 1, Top .. Bottom - 1 in it before OK. False when no dialog opened.
inline bool ChooseCrop(Tmain* Main, bool ClipRun, const TRect& Area) {
  TCropDialog* dialog = ClipRun ? static_cast<TCropDialog*>(setcrop2) : setcrop;
  bool opened = false;
  TTimer act(nullptr);
  act.SetInterval(5);
  act.OnTimer = [&](TObject*) {
    if (!dialog->Modal() || opened) return;
    opened = true;
    dialog->ZodivErView1->SetSelectionBase(iesbBitmap);
    dialog->ZodivErView1->Select(Area.Left, Area.Top, Area.Right, Area.Bottom, 0);
    dialog->Button1->Click();
  };
  act.SetEnabled(true);
  if (ClipRun)
    Main->bt_setcrop2Click(Main->bt_setcrop2);
  else
    Main->bt_setcropClick(Main->bt_setcrop);
  return opened;
}

// For a test that runs the program in a process of its own: the windows as start-up makes them,
// the main window shown and active with Video loaded. The process ends without freeing them.
inline Tmain* ShowProgramWithVideo(const std::string& Video) {
  StartImagingLibrary();
  InitializeProgram();
  CreateProgramWindows();
  Tmain* main = MainWindow;
  ShowActive(main);
  main->load_videofile(Video);
  return main;
}

class AppWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    StartImagingLibrary();
    InitializeProgram();
    CreateProgramWindows();
    main = MainWindow;
    ASSERT_NE(main, nullptr);
  }
  void TearDown() override {
    DestroyProgramWindows();
    main = nullptr;
    StopImagingLibrary();
  }

  std::vector<AnsiString> MessageTexts() const {
    std::vector<AnsiString> texts;
    for (const auto& call : services.CallsOf("MessageBox")) texts.push_back(call.Text);
    return texts;
  }

  testsupport::ScriptedServices services;
  Tmain* main = nullptr;
};

}  // namespace apptest
