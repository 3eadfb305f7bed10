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
#include "platform/gui/keys.h"
#include "platform/gui/timers.h"
#include "platform/rtl/sysutils.h"
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

// Opens the frame run's (or the clip run's) crop dialog from its page and runs Action inside it
// once it is shown (Action ends by closing it). False when no dialog opened.
inline bool WhileCropDialogOpen(Tmain* Main, bool ClipRun, const std::function<void(TCropDialog*)>& Action) {
  TCropDialog* dialog = ClipRun ? static_cast<TCropDialog*>(setcrop2) : setcrop;
  bool opened = false;
  TTimer act(nullptr);
  act.SetInterval(5);
  act.OnTimer = [&](TObject*) {
    if (!dialog->Modal() || opened) return;
    opened = true;
    act.SetEnabled(false);
    Action(dialog);
  };
  act.SetEnabled(true);
  if (ClipRun)
    Main->bt_setcrop2Click(Main->bt_setcrop2);
  else
    Main->bt_setcropClick(Main->bt_setcrop);
  return opened;
}

// Opens the frame run's (or the clip run's) crop dialog from its page and selects the picture
// pixels Left .. Right - 1, Top .. Bottom - 1 in it before OK. False when no dialog opened.
inline bool ChooseCrop(Tmain* Main, bool ClipRun, const TRect& Area) {
  return WhileCropDialogOpen(Main, ClipRun, [&](TCropDialog* dialog) {
    dialog->ZodivErView1->SetSelectionBase(iesbBitmap);
    dialog->ZodivErView1->Select(Area.Left, Area.Top, Area.Right, Area.Bottom, 0);
    dialog->Button1->Click();
  });
}

// Opens the frame run's (or the clip run's) crop dialog from its page as the user does: draws a
// rectangle on the picture with the mouse, then types the position and size into the four edits
// (leaving each with Tab), and reads back what the edits show before OK. False when no dialog
// opened.
inline bool TypeCrop(Tmain* Main, bool ClipRun, Integer Left, Integer Top, Integer Width, Integer Height,
                     TCropFields* Shown = nullptr) {
  // Focus changes and the view's fitting of the picture arrive as events: let them through.
  const auto settle = [] {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
    while (std::chrono::steady_clock::now() < until) Application->ProcessMessages();
  };
  return WhileCropDialogOpen(Main, ClipRun, [&](TCropDialog* dialog) {
    // A dialog opened again is not always made the active window headless; the keyboard's
    // focus changes (and so the edits' exits) only happen in the active one.
    ShowActive(dialog);
    settle();
    TZodivErView* view = dialog->ZodivErView1;
    SimulateMouse(view, smPress, mbLeft, view->Width() / 3, view->Height() / 3);
    SimulateMouse(view, smMove, mbLeft, view->Width() / 2, view->Height() / 2);
    SimulateMouse(view, smRelease, mbLeft, view->Width() / 2, view->Height() / 2);
    const std::pair<TEdit*, Integer> typed[] = {
        {dialog->ed_hp, Left}, {dialog->ed_vp, Top}, {dialog->ed_w, Width}, {dialog->ed_h, Height}};
    for (const auto& [edit, value] : typed) {
      SimulateKey(edit, VK_END);
      for (size_t n = edit->Text().size(); n > 0; --n) SimulateKey(edit, VK_BACK);
      SimulateTyping(edit, IntToStr(value));
      SimulateKey(edit, VK_TAB);
      settle();
    }
    if (Shown)
      *Shown = {StrToIntDef(dialog->ed_hp->Text(), -1), StrToIntDef(dialog->ed_vp->Text(), -1),
                StrToIntDef(dialog->ed_w->Text(), -1), StrToIntDef(dialog->ed_h->Text(), -1)};
    SimulateClick(dialog->Button1);
  });
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
