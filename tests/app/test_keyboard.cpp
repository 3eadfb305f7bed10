// The main window and its dialogs from the keyboard and a screen reader: Tab walks the fields in
// reading order, Enter and Escape end the boxes and dialogs they are typed into, F1 says when no
// browser opens, and every control tells its true role and the name written next to it.
#include <gtest/gtest.h>

#include "app/app_pictures.h"
#include "app/hint_windows.h"
#include "app/transform_dialogs.h"
#include "platform/gui/application.h"
#include "platform/gui/input_simulation.h"
#include "platform/gui/timers.h"
#include "tests/app/app_windows_fixture.h"
#include "tests/support/keyboard_user.h"
#include "widgets/slider/slider.h"
#include "widgets/tabs/page_control.h"

namespace {

using apptest::AppWindows;

TEST_F(AppWindows, TabWalksTheWindowInReadingOrder) {
  ShowActive(main);
  main->radio_allframes->SetFocus();
  Application->ProcessMessages();
  std::vector<AnsiString> walked;
  for (int i = 0; i < 20; ++i) {
    SimulateKeyToTopWindow(VK_TAB);
    Application->ProcessMessages();
    TWinControl* focused = main->ActiveControl();
    walked.push_back(focused ? focused->Name() : AnsiString("(none)"));
    if (focused == main->radio_allframes) break;
  }
  // Disabled fields and unchosen radio buttons are passed over. The Images page reads row by
  // row, each group whole (Extract, Frame Size, Image Name, then Image Transform, Image Format,
  // the folder box); then the buttons under the page, then the window from the top: the step
  // buttons, the sliders, the tabs, and back into the page.
  const std::vector<AnsiString> expected = {
      "ck_tile", "radio_originalframesize", "radio_asvideoname", "ck_maxlength", "Button3",
      "cb_imageformats", "ch_isopenfolder", "BitBtn2", "btn_extract", "SpinButton1",
      "SpinButton2", "split_begin", "split_end", "pageto", "radio_allframes"};
  EXPECT_EQ(walked, expected);
}

TEST_F(AppWindows, TransformDialogsCloseOnEscapeAndEnter) {
  ShowActive(main);
  for (Word key : {VK_ESCAPE, VK_RETURN}) {
    for (TButton* opener : {main->Button3, main->Button1}) {
      TKeyboardUser user({key});
      opener->Click();  // returns when the dialog has closed
      EXPECT_EQ(OpenModalWindows(), 0) << opener->Name() << " key " << key;
      ASSERT_EQ(user.Seen.size(), 1u) << opener->Name() << " key " << key;
      EXPECT_EQ(user.Seen[0], "Transform: ");
    }
  }
  EXPECT_FALSE(effects->Visible());
  EXPECT_FALSE(effects2->Visible());
}

TEST_F(AppWindows, CropDialogsCloseOnEscape) {
  ShowActive(main);
  main->load_videofile(apptest::Clip(2));
  for (TCropDialog* dialog : {static_cast<TCropDialog*>(setcrop), static_cast<TCropDialog*>(setcrop2)}) {
    // Esc once the dialog is up; a dialog still open well after it is a fault (and is closed
    // so that the test goes on).
    int ticksAfterKey = -1;
    bool stayedOpen = false;
    TTimer user(nullptr);
    user.SetInterval(5);
    user.OnTimer = [&](TObject*) {
      if (ticksAfterKey < 0) {
        if (!dialog->Modal()) return;
        SimulateKeyToTopWindow(VK_ESCAPE);
        ticksAfterKey = 0;
      } else if (dialog->Modal() && ++ticksAfterKey > 60) {
        stayedOpen = true;
        SimulateWindowClose(dialog);
      }
    };
    user.SetEnabled(true);
    if (dialog == setcrop)
      main->bt_setcropClick(main->bt_setcrop);
    else
      main->bt_setcrop2Click(main->bt_setcrop2);
    user.SetEnabled(false);
    EXPECT_GE(ticksAfterKey, 0) << dialog->Name() << " never opened";
    EXPECT_FALSE(stayedOpen) << dialog->Name();
    EXPECT_FALSE(dialog->Visible()) << dialog->Name();
  }
}

TEST_F(AppWindows, EnterInARealMessageBoxClosesItAndPressesNothingBehindIt) {
  ShowActive(main);
  // The real boxes, not the scripted ones: the fault lived in how their keys travelled.
  TPlatformServices* scripted = SetPlatformServices(nullptr);
  main->btn_extract->SetFocus();
  int extracts = 0;
  auto handler = main->btn_extract->OnClick;
  main->btn_extract->OnClick = [&](TObject* S) {
    ++extracts;
    handler(S);
  };
  TKeyboardUser user({VK_RETURN, VK_RETURN, VK_RETURN});
  SimulateKey(main->btn_extract, VK_RETURN);  // no video: "Please load video file!"
  SetPlatformServices(scripted);
  EXPECT_EQ(extracts, 1);
  EXPECT_EQ(user.Seen, std::vector<AnsiString>{"Error: Please load video file!"});
  EXPECT_EQ(OpenModalWindows(), 0);
}

TEST_F(AppWindows, HelpThatCannotOpenSaysSo) {
  ShowActive(main);
  testsupport::ScriptedAnswer fails;
  fails.Result = 0;
  services.Script("ShellOpen", fails);
  SimulateKey(main->btn_extract, VK_F1);
  ASSERT_EQ(services.CallsOf("ShellOpen").size(), 1u);
  const auto boxes = services.CallsOf("MessageBox");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].Text.find(HelpWebAddress), AnsiString::npos) << boxes[0].Text;
  EXPECT_NE(boxes[0].Text.find("no program to open it"), AnsiString::npos) << boxes[0].Text;

  // Opened: nothing to say.
  SimulateKey(main->btn_extract, VK_F1);
  EXPECT_EQ(services.CallsOf("ShellOpen").size(), 2u);
  EXPECT_EQ(services.CallsOf("MessageBox").size(), 1u);
}

TEST_F(AppWindows, ScreenReadersHearEachControlsRoleAndTheWordsNextToIt) {
  ShowActive(main);
  struct Case {
    TControl* Control;
    const char* Role;
    const char* Name;
  } cases[] = {
      {main->radio_allframes, "radio button", "All Frames"},
      {main->radio_changetempo2, "radio button", "Change To"},
      {main->ck_tile, "check box", "Multiple Frames Image"},
      {main->edit_everyseconds, "editable text", "Every Seconds"},
      {main->edit_everyframes, "editable text", "Every Frames"},
      {main->se_scenechange, "editable text", "Frames by Scene Change"},
      {main->cb_framerate, "combo box", "Frame Per Second (FPS)"},
      {main->EdCustomWidth, "editable text", "Custom width"},
      {main->EdCustomHeight, "editable text", "Custom height"},
      {main->split_begin, "slider", "Cut start"},
      {main->split_end, "slider", "Cut end"},
      {main->Image_start, "image", "Start picture"},
      {main->pageto, "page tab list", ""},
      {main->ed_maxlength, "editable text", "Maximum Length"},
      {main->edit_namestring, "editable text", "As This String"},
      {main->spin_volume, "editable text", "Change To"},
      {main->SpinButton1, "spin box", "Start 00:00:00.000"},
      {main->SpinButton2, "spin box", "End 00:00:00.000"},
      {main->btn_extract, "push button", "Extract"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AccessibleRole(c.Control), c.Role) << c.Control->Name();
    EXPECT_EQ(AccessibleName(c.Control), c.Name) << c.Control->Name();
  }
  // The arrows of step buttons and spin edits say which way they go.
  EXPECT_EQ(AccessiblePartNames(main->SpinButton1), (std::vector<AnsiString>{"Up", "Down"}));
  // The output pages' tabs show pictures; they are read by the words in them.
  const auto tabs = AccessiblePartNames(main->pageto);
  ASSERT_GE(tabs.size(), 3u);
  EXPECT_EQ(std::vector<AnsiString>(tabs.begin(), tabs.begin() + 3), (std::vector<AnsiString>{"Images", "Audio", "Video"}));
  const auto spinParts = AccessiblePartNames(main->spin_volume);
  EXPECT_NE(std::find(spinParts.begin(), spinParts.end(), "Up"), spinParts.end());
  EXPECT_NE(std::find(spinParts.begin(), spinParts.end(), "Down"), spinParts.end());
  // A window that is not on the screen does not count as showing; the main window does.
  EXPECT_TRUE(AccessibleShowing(main));
  EXPECT_FALSE(AccessibleShowing(showdragvideo));
  SimulateMouse(main->Image_start, smMove, mbLeft, 20, 20);  // the drop hint shows ...
  EXPECT_TRUE(AccessibleShowing(showdragvideo));
  main->HideDragHints();  // ... and goes
  EXPECT_FALSE(AccessibleShowing(showdragvideo));
  EXPECT_FALSE(AccessibleShowing(effects));
  EXPECT_FALSE(AccessibleShowing(main->radio_originalvolume));  // on the hidden Audio page
}

}  // namespace
