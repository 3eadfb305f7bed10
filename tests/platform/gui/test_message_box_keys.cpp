// Keys typed into a real message box belong to the box: they pick its buttons and close it, and
// never reach the form it was opened over (whose focused button would otherwise be clicked again).
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "platform/gui/application.h"
#include "platform/gui/input_simulation.h"
#include "platform/gui/services.h"
#include "platform/gui/stdctrls.h"
#include "platform/gui/timers.h"
#include "tests/support/keyboard_user.h"

namespace {

struct MessageBoxKeys : ::testing::Test {
  void SetUp() override {
    Form = new TForm(nullptr);
    Form->SetBounds(100, 100, 300, 200);
    Form->SetCaption("Owner");
    Go = new TButton(Form);
    Go->SetParent(Form);
    Go->SetBounds(10, 10, 100, 30);
    Go->SetCaption("Extract");
    Go->OnClick = [this](TObject*) {
      ++Clicks;
      if (OnGo) OnGo();
    };
    ShowActive(Form);
    Go->SetFocus();
    Application->ProcessMessages();
  }
  void TearDown() override { delete Form; }

  TForm* Form = nullptr;
  TButton* Go = nullptr;
  int Clicks = 0;
  std::function<void()> OnGo;
};

TEST_F(MessageBoxKeys, EnterAndEscapeCloseTheBoxAndNeverReachTheFormBehind) {
  // The user presses Enter on the focused button; the box it opens takes the next Enter (or
  // Escape) and is gone, without the button being pressed again underneath it.
  for (Word Key : {VK_RETURN, VK_ESCAPE, VK_SPACE}) {
    Clicks = 0;
    Integer Answer = 0;
    OnGo = [&] { Answer = MessageBox(Form, "Please set cropping area!", "Error", MB_ICONHAND); };
    TKeyboardUser User({Key, VK_RETURN, VK_RETURN});
    SimulateKey(Go, VK_RETURN);
    EXPECT_EQ(Clicks, 1) << Key;
    EXPECT_EQ(Answer, IDOK) << Key;
    EXPECT_EQ(User.SeenTexts, std::vector<AnsiString>{"Please set cropping area!"}) << Key;
    EXPECT_EQ(OpenModalWindows(), 0) << Key;
  }

  // A box owned by nobody, while the form is active, behaves the same.
  Clicks = 0;
  OnGo = [&] { ShowMessage("Process is finished!"); };
  TKeyboardUser User({VK_RETURN});
  SimulateKey(Go, VK_RETURN);
  EXPECT_EQ(Clicks, 1);
  EXPECT_EQ(OpenModalWindows(), 0);
}

TEST_F(MessageBoxKeys, TheReplaceQuestionAnswersFromTheKeyboard) {
  const AnsiString Question = "The file already exists. Do you want to replace it?";
  struct Case {
    std::vector<Word> Keys;
    Integer Expected;
  } Cases[] = {
      {{VK_RETURN}, mrYes},          // Enter takes the default button, Yes
      {{VK_TAB, VK_RETURN}, mrNo},   // Tab moves to No, Enter presses it
      {{VK_TAB, VK_SPACE}, mrNo},    // so does Space
      {{VK_ESCAPE}, mrNo},           // Escape declines
  };
  for (const Case& C : Cases) {
    Clicks = 0;
    Integer Answer = 0;
    OnGo = [&] { Answer = MessageDlg(Question, mtConfirmation, mbYesNo); };
    std::vector<Word> Keys = C.Keys;
    TKeyboardUser User(Keys);
    SimulateKey(Go, VK_RETURN);
    EXPECT_EQ(Answer, C.Expected) << C.Keys.size() << " " << C.Keys.front();
    EXPECT_EQ(Clicks, 1);
    EXPECT_EQ(OpenModalWindows(), 0);
  }
}

}  // namespace
