#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "platform/gui/application.h"
#include "platform/gui/buttons.h"
#include "platform/gui/comctrls.h"
#include "platform/gui/extctrls.h"
#include "platform/gui/forms.h"
#include "platform/gui/graphics.h"
#include "platform/gui/input_simulation.h"
#include "platform/gui/spin.h"
#include "platform/gui/stdctrls.h"
#include "platform/gui/timers.h"
#include "tests/support/scripted_services.h"

namespace {

using Log = std::vector<AnsiString>;

// A shown, active form that the controls of one test sit on.
struct ControlsFixture : ::testing::Test {
  void SetUp() override {
    Form = new TForm(nullptr);
    Form->SetBounds(50, 50, 500, 400);
    ShowActive(Form);
  }
  void TearDown() override { delete Form; }

  template <class T>
  T* Make(Integer Left, Integer Top, TWinControl* Parent = nullptr) {
    auto* C = new T(Form);
    C->SetParent(Parent ? Parent : Form);
    C->SetLeft(Left);
    C->SetTop(Top);
    return C;
  }

  TNotifyEvent Note(const AnsiString& What) {
    return [this, What](TObject*) { L.push_back(What); };
  }

  TForm* Form = nullptr;
  Log L;
};

// The program's digit filter on its number fields: digits and backspace pass, the rest is dropped.
void DigitsOnly(TObject*, char& Key) {
  if (!((Key >= '0' && Key <= '9') || Key == '\b')) Key = 0;
}

// ---------------------------------------------------------------------------------------------
// Edit

TEST_F(ControlsFixture, EditEventsComeInOrderAndTheKeyFilterDropsKeys) {
  auto* Edit = Make<TEdit>(10, 10);
  Edit->OnKeyDown = [&](TObject*, Word& K, TShiftState) { L.push_back("down " + std::to_string(K)); };
  Edit->OnKeyPress = [&](TObject* S, char& K) {
    L.push_back(AnsiString("press ") + K);
    DigitsOnly(S, K);
  };
  Edit->OnChange = [&](TObject*) { L.push_back("change " + Edit->Text()); };
  Edit->OnKeyUp = [&](TObject*, Word& K, TShiftState) { L.push_back("up " + std::to_string(K)); };

  SimulateTyping(Edit, "4x");
  EXPECT_EQ(L, (Log{"down 52", "press 4", "change 4", "up 52", "down 88", "press x", "up 88"}));
  EXPECT_EQ(Edit->Text(), "4");

  SimulateTyping(Edit, "2a 7");
  SimulateKey(Edit, VK_BACK, 0, '\b');
  EXPECT_EQ(Edit->Text(), "42");
}

TEST_F(ControlsFixture, EditOnChangeFiresForTextSetFromCodeOnlyWhenItChanges) {
  auto* Edit = Make<TEdit>(10, 10);
  int Changes = 0;
  Edit->OnChange = [&](TObject*) { ++Changes; };
  Edit->SetText("10");
  Edit->SetText("10");
  EXPECT_EQ(Changes, 1);
  Edit->Clear();
  EXPECT_EQ(Changes, 2);
  EXPECT_EQ(Edit->Text(), "");
  // A handler that rewrites the field (as the exit handlers do) sees its own change once.
  Edit->OnChange = [&](TObject*) {
    ++Changes;
    if (Edit->Text() == "0") Edit->SetText("10");
  };
  SimulateTyping(Edit, "0");
  EXPECT_EQ(Edit->Text(), "10");
  EXPECT_EQ(Changes, 4);
}

TEST_F(ControlsFixture, EditMaxLengthLimitsTypingButNeverCutsText) {
  auto* Edit = Make<TEdit>(10, 10);
  Edit->SetText("123456");
  Edit->SetMaxLength(3);
  EXPECT_EQ(Edit->Text(), "123456");
  Edit->SetSelStart(6);
  SimulateTyping(Edit, "7");
  EXPECT_EQ(Edit->Text(), "123456");

  Edit->SelectAll();
  SimulateTyping(Edit, "9876");
  EXPECT_EQ(Edit->Text(), "987");

  // Raising the limit at run time lets typing go on; code is never limited.
  Edit->SetMaxLength(5);
  SimulateTyping(Edit, "543");
  EXPECT_EQ(Edit->Text(), "98754");
  Edit->SetText("abcdefgh");
  EXPECT_EQ(Edit->Text(), "abcdefgh");
  Edit->SetMaxLength(0);
  SimulateTyping(Edit, "x");
  EXPECT_EQ(Edit->Text().size(), 9u);
}

TEST_F(ControlsFixture, EditSelection) {
  auto* Edit = Make<TEdit>(10, 10);
  Edit->SetText("abcdef");
  Edit->SetSelStart(2);
  Edit->SetSelLength(3);
  EXPECT_EQ(Edit->SelStart(), 2);
  EXPECT_EQ(Edit->SelText(), "cde");
  Edit->SetSelText("X");
  EXPECT_EQ(Edit->Text(), "abXf");
  Edit->SetSelLength(100);
  EXPECT_EQ(Edit->SelLength(), 1);
}

// The clipboard commands sent to an edit's window: cut, copy, paste and clear work on the
// selection, a paste takes the first line and respects MaxLength, undo takes back the last
// change, a read-only edit only copies; and a message sent from a worker thread is handled on
// the main thread.
TEST_F(ControlsFixture, EditTakesTheClipboardMessages) {
  testsupport::ScriptedServices Services;
  auto ClipText = [&] {
    const std::vector<Byte>& T = Services.ClipboardData[CF_TEXT];
    return AnsiString(T.begin(), T.end());
  };
  auto* Edit = Make<TEdit>(10, 10);
  Edit->SetText("abcdef");
  Edit->OnChange = Note("change");
  Edit->SetSelStart(1);
  Edit->SetSelLength(2);
  SendMessage(Edit, WM_COPY);
  EXPECT_EQ(ClipText(), "bc");
  EXPECT_TRUE(L.empty());
  SendMessage(Edit, WM_CUT);
  EXPECT_EQ(Edit->Text(), "adef");
  EXPECT_EQ(L, Log{"change"});
  SendMessage(Edit, WM_CUT);  // nothing selected any more
  EXPECT_EQ(Edit->Text(), "adef");
  Edit->SetSelStart(4);
  SendMessage(Edit, WM_PASTE);
  EXPECT_EQ(Edit->Text(), "adefbc");
  SendMessage(Edit, WM_UNDO);
  EXPECT_EQ(Edit->Text(), "adef");

  Services.ClipboardData.clear();
  const std::string TwoLines = "xy\r\nz";
  Services.ClipboardData[CF_TEXT] = std::vector<Byte>(TwoLines.begin(), TwoLines.end());
  Edit->SetSelStart(0);
  Edit->SetSelLength(1);
  SendMessage(Edit, WM_PASTE);
  EXPECT_EQ(Edit->Text(), "xydef");
  Edit->SetMaxLength(6);
  Edit->SetSelStart(5);
  SendMessage(Edit, WM_PASTE);
  EXPECT_EQ(Edit->Text(), "xydefx");
  Edit->SetSelStart(1);
  Edit->SetSelLength(3);
  SendMessage(Edit, WM_CLEAR);
  EXPECT_EQ(Edit->Text(), "xfx");
  EXPECT_EQ(ClipText(), "xy\r\nz");

  Edit->SetReadOnly(true);
  Edit->SelectAll();
  for (Cardinal M : {WM_CUT, WM_CLEAR, WM_PASTE}) SendMessage(Edit, M);
  EXPECT_EQ(Edit->Text(), "xfx");
  SendMessage(Edit, WM_COPY);
  EXPECT_EQ(ClipText(), "xfx");

  // From a worker the message waits for the main thread, which handles it in its loop.
  Edit->SetReadOnly(false);
  Edit->SetSelStart(0);
  Edit->SetSelLength(1);
  std::atomic<bool> Done{false};
  std::thread Worker([&] {
    SendMessage(Edit, WM_CUT);
    Done = true;
  });
  while (!Done) Application->ProcessMessages();
  Worker.join();
  EXPECT_EQ(Edit->Text(), "fx");
}

// ---------------------------------------------------------------------------------------------
// Check boxes and radio buttons

TEST_F(ControlsFixture, CheckBoxFiresOnClickOncePerChangeFromCodeOrMouse) {
  auto* Box = Make<TCheckBox>(10, 10);
  Box->OnClick = [&](TObject*) { L.push_back(Box->Checked() ? "on" : "off"); };
  Box->SetChecked(true);
  Box->SetChecked(true);
  EXPECT_EQ(L, (Log{"on"}));
  SimulateClick(Box);
  EXPECT_FALSE(Box->Checked());
  SimulateKey(Box, VK_SPACE, 0, ' ');
  EXPECT_TRUE(Box->Checked());
  EXPECT_EQ(L, (Log{"on", "off", "on"}));
}

TEST_F(ControlsFixture, CheckBoxWithAllowGrayedCyclesThroughGrayed) {
  auto* Box = Make<TCheckBox>(10, 10);
  Box->SetAllowGrayed(true);
  int Clicks = 0;
  Box->OnClick = [&](TObject*) { ++Clicks; };
  const TCheckBoxState Expected[] = {cbGrayed, cbChecked, cbUnchecked, cbGrayed};
  for (TCheckBoxState S : Expected) {
    SimulateClick(Box);
    EXPECT_EQ(Box->State(), S);
  }
  EXPECT_EQ(Clicks, 4);
}

TEST_F(ControlsFixture, RadioButtonsAreExclusiveWithinTheirParent) {
  auto* Group = Make<TGroupBox>(200, 10);
  TRadioButton* R[3];
  for (int I = 0; I < 3; ++I) {
    R[I] = Make<TRadioButton>(10, 10 + 20 * I);
    R[I]->OnClick = Note("click " + std::to_string(I));
  }
  auto* Other = Make<TRadioButton>(10, 20, Group);
  Other->SetChecked(true);
  L.clear();

  R[0]->SetChecked(true);
  SimulateClick(R[1]);
  EXPECT_FALSE(R[0]->Checked());
  EXPECT_TRUE(R[1]->Checked());
  EXPECT_TRUE(Other->Checked());
  // A click on the checked button and unchecking from code fire nothing.
  SimulateClick(R[1]);
  R[1]->SetChecked(false);
  EXPECT_EQ(L, (Log{"click 0", "click 1"}));

  // The arrow keys move within the group and check as they go.
  R[2]->SetChecked(true);
  SimulateKey(R[2], VK_DOWN);
  EXPECT_TRUE(R[0]->Checked());
  EXPECT_FALSE(R[2]->Checked());
}

// ---------------------------------------------------------------------------------------------
// Spin edit

TEST_F(ControlsFixture, SpinEditValueReadsTheTextOrTheMinimum) {
  auto* Spin = Make<TSpinEdit>(10, 10);
  Spin->SetMinValue(20);
  Spin->SetMaxValue(800);
  struct Case {
    const char* Text;
    Integer Value;
  };
  for (Case C : {Case{"100", 100}, Case{"900", 900}, Case{"", 20}, Case{"abc", 20}, Case{"12x", 20}}) {
    Spin->SetText(C.Text);
    EXPECT_EQ(Spin->Value(), C.Value) << C.Text;
  }
}

TEST_F(ControlsFixture, SpinEditSettingValueClampsAndFiresOnChange) {
  auto* Spin = Make<TSpinEdit>(10, 10);
  Spin->SetMinValue(2);
  Spin->SetMaxValue(10000);
  Spin->OnChange = [&](TObject*) { L.push_back(Spin->Text()); };
  Spin->SetValue(1920);
  Spin->SetValue(20000);
  Spin->SetValue(-5);
  Spin->SetValue(2);
  EXPECT_EQ(L, (Log{"1920", "10000", "2"}));

  // Without a range (MaxValue not above MinValue) nothing is clamped.
  auto* Free = Make<TSpinEdit>(10, 40);
  Free->SetValue(-7);
  EXPECT_EQ(Free->Text(), "-7");
}

TEST_F(ControlsFixture, SpinEditArrowsAndKeysStepByIncrement) {
  auto* Spin = Make<TSpinEdit>(10, 10);
  Spin->SetMinValue(1);
  Spin->SetMaxValue(15);
  Spin->SetIncrement(2);
  Spin->SetValue(3);
  // The up arrow is the top half of the button pair at the right edge.
  SimulateClick(Spin, Spin->Width() - 6, 4);
  EXPECT_EQ(Spin->Value(), 5);
  SimulateClick(Spin, Spin->Width() - 6, Spin->Height() - 4);
  EXPECT_EQ(Spin->Value(), 3);
  SimulateKey(Spin, VK_UP);
  SimulateKey(Spin, VK_UP);
  EXPECT_EQ(Spin->Value(), 7);
  Spin->SetValue(14);
  SimulateKey(Spin, VK_UP);
  EXPECT_EQ(Spin->Value(), 15);
  // The arrow key moved the value but typed nothing.
  EXPECT_EQ(Spin->Text(), "15");
}

TEST_F(ControlsFixture, SpinEditLeavingPutsATypedValueIntoRangeAfterOnExit) {
  auto* Spin = Make<TSpinEdit>(10, 10);
  auto* Next = Make<TEdit>(10, 50);
  Spin->SetMinValue(20);
  Spin->SetMaxValue(800);
  Spin->SetValue(100);
  Spin->OnKeyPress = DigitsOnly;
  Spin->OnExit = [&](TObject*) { L.push_back("exit " + Spin->Text()); };
  Spin->SelectAll();
  SimulateTyping(Spin, "9x00");
  EXPECT_EQ(Spin->Text(), "900");
  Next->SetFocus();
  Application->ProcessMessages();
  EXPECT_EQ(L, (Log{"exit 900"}));
  EXPECT_EQ(Spin->Text(), "800");

  // Text that is no number is left for the program's own exit handler.
  Spin->SetText("");
  Spin->SetFocus();
  Next->SetFocus();
  Application->ProcessMessages();
  EXPECT_EQ(Spin->Text(), "");
  EXPECT_EQ(Spin->Value(), 20);
}

TEST_F(ControlsFixture, SpinButtonReportsWhichArrow) {
  auto* Arrows = Make<TSpinButton>(10, 10);
  Arrows->OnUpClick = Note("up");
  Arrows->OnDownClick = Note("down");
  SimulateClick(Arrows, 5, 2);
  SimulateClick(Arrows, 5, Arrows->Height() - 2);
  SimulateKey(Arrows, VK_UP);
  EXPECT_EQ(L, (Log{"up", "down", "up"}));
}

// ---------------------------------------------------------------------------------------------
// Combo box

TEST_F(ControlsFixture, ComboBoxSelectionFromCodeIsQuietAndFromTheUserFiresEvents) {
  auto* Combo = Make<TComboBox>(10, 10);
  Combo->SetStyle(csDropDownList);
  Combo->OnChange = Note("change");
  Combo->OnClick = Note("click");
  for (const char* S : {"*.JPG", "*.JPEG", "*.GIF"}) Combo->Items()->Add(S);
  // Filling the list selects nothing.
  EXPECT_EQ(Combo->ItemIndex(), -1);
  EXPECT_EQ(Combo->Text(), "");

  Combo->SetItemIndex(1);
  EXPECT_EQ(Combo->Text(), "*.JPEG");
  EXPECT_TRUE(L.empty());

  SimulateKey(Combo, VK_DOWN);
  EXPECT_EQ(Combo->ItemIndex(), 2);
  EXPECT_EQ(Combo->Text(), "*.GIF");
  EXPECT_EQ(L, (Log{"click", "change"}));

  // With OnSelect assigned the selection reports there instead of OnChange.
  L.clear();
  Combo->OnSelect = Note("select");
  SimulateKey(Combo, VK_UP);
  EXPECT_EQ(L, (Log{"click", "select"}));

  // Out-of-range indexes clear the selection; the lines can be read and replaced.
  Combo->SetItemIndex(7);
  EXPECT_EQ(Combo->ItemIndex(), -1);
  Combo->Items()->SetStrings(0, "*.BMP");
  EXPECT_EQ(Combo->Items()->Strings(0), "*.BMP");
  EXPECT_THROW(Combo->Items()->Strings(3), EStringListError);
  Combo->SetText("*.gif");
  EXPECT_EQ(Combo->ItemIndex(), 2);
}

TEST_F(ControlsFixture, ComboBoxWithEditFieldReportsTyping) {
  auto* Combo = Make<TComboBox>(10, 10);
  Combo->Items()->SetText("1\r\n2\r\n3\r\n");
  Combo->SetItemIndex(2);
  EXPECT_EQ(Combo->Text(), "3");
  int Changes = 0;
  Combo->OnChange = [&](TObject*) { ++Changes; };
  SimulateTyping(Combo, "0");
  EXPECT_EQ(Changes, 1);
  EXPECT_EQ(Combo->ItemIndex(), -1);
  Combo->SetText("2");
  EXPECT_EQ(Changes, 1);
}

// ---------------------------------------------------------------------------------------------
// Buttons and modal forms

struct TModalProbe : TForm {
  explicit TModalProbe(TComponent* AOwner) : TForm(AOwner) {
    SetBounds(100, 100, 200, 120);
    Edit = new TEdit(this);
    Edit->SetParent(this);
    Ok = new TButton(this);
    Ok->SetParent(this);
    Ok->SetTop(40);
    Ok->SetCaption("OK");
    Ok->SetModalResult(mrOk);
    Ok->SetDefault(true);
    Cancel = new TButton(this);
    Cancel->SetParent(this);
    Cancel->SetTop(70);
    Cancel->SetCaption("Cancel");
    Cancel->SetModalResult(mrCancel);
    Cancel->SetCancel(true);
    Timer = new TTimer(this);
    Timer->SetInterval(5);
  }
  TEdit* Edit;
  TButton* Ok;
  TButton* Cancel;
  TTimer* Timer;
};

TEST(Buttons, ModalResultOfAClickedButtonEndsShowModal) {
  struct Case {
    const char* How;
    TModalResult Expected;
  };
  for (Case C : {Case{"click ok", mrOk}, Case{"click cancel", mrCancel}, Case{"enter", mrOk}, Case{"esc", mrCancel}}) {
    std::unique_ptr<TModalProbe> Dialog(new TModalProbe(nullptr));
    Log L;
    Dialog->Ok->OnClick = [&](TObject*) { L.push_back("ok clicked"); };
    Dialog->Timer->OnTimer = [&, How = AnsiString(C.How)](TObject*) {
      Dialog->Timer->SetEnabled(false);
      if (How == "click ok") SimulateClick(Dialog->Ok);
      if (How == "click cancel") SimulateClick(Dialog->Cancel);
      if (How == "enter") SimulateKey(Dialog->Edit, VK_RETURN, 0, '\r');
      if (How == "esc") SimulateKey(Dialog->Edit, VK_ESCAPE, 0, '\x1b');
    };
    Dialog->Timer->SetEnabled(true);
    EXPECT_EQ(Dialog->ShowModal(), C.Expected) << C.How;
    EXPECT_EQ(L.size(), C.Expected == mrOk ? 1u : 0u) << C.How;
  }
}

TEST_F(ControlsFixture, ButtonClickFiresOnClickOnce) {
  auto* Button = Make<TButton>(10, 10);
  auto* Glyphed = Make<TBitBtn>(10, 50);
  int Clicks = 0;
  Button->OnClick = [&](TObject*) { ++Clicks; };
  Glyphed->OnClick = [&](TObject*) { ++Clicks; };
  SimulateClick(Button);
  SimulateKey(Button, VK_SPACE, 0, ' ');
  TBitmap Glyph;
  Glyph.SetSize(32, 16);
  Glyphed->SetGlyph(&Glyph);
  EXPECT_EQ(Glyphed->NumGlyphs(), 2);
  SimulateClick(Glyphed);
  EXPECT_EQ(Clicks, 3);
}

// ---------------------------------------------------------------------------------------------
// Common controls

TEST_F(ControlsFixture, PageControlSwitchesPagesOnTabClicksOnly) {
  auto* Pages = Make<TPageControl>(10, 10);
  Pages->SetBounds(10, 10, 300, 200);
  TTabSheet* Sheet[3];
  for (int I = 0; I < 3; ++I) {
    Sheet[I] = new TTabSheet(Form);
    Sheet[I]->SetCaption("Page " + std::to_string(I));
    Sheet[I]->SetPageControl(Pages);
  }
  Sheet[1]->SetTabVisible(false);
  Pages->OnChanging = [&](TObject*, bool& Allow) {
    L.push_back("changing from " + Pages->ActivePage()->Caption());
    Allow = Pages->Tag == 0;
  };
  Pages->OnChange = [&](TObject*) { L.push_back("change to " + Pages->ActivePage()->Caption()); };
  EXPECT_EQ(Pages->ActivePage(), Sheet[0]);
  EXPECT_EQ(Sheet[2]->TabIndex(), 1);
  EXPECT_EQ(Sheet[2]->PageIndex(), 2);

  SimulateTabClick(Pages, 2);
  EXPECT_EQ(Pages->ActivePage(), Sheet[2]);
  EXPECT_EQ(L, (Log{"changing from Page 0", "change to Page 2"}));
  EXPECT_TRUE(Sheet[2]->Visible());
  EXPECT_FALSE(Sheet[0]->Visible());

  // A refusal keeps the page; ActivePage from code fires nothing, even for a page with no tab.
  L.clear();
  Pages->Tag = 1;
  SimulateTabClick(Pages, 0);
  EXPECT_EQ(Pages->ActivePage(), Sheet[2]);
  Pages->SetActivePage(Sheet[1]);
  EXPECT_EQ(Pages->ActivePageIndex(), 1);
  EXPECT_EQ(Pages->TabIndex(), -1);
  EXPECT_EQ(L, (Log{"changing from Page 2"}));

  delete Sheet[1];
  EXPECT_EQ(Pages->PageCount(), 2);
  EXPECT_EQ(Pages->ActivePage(), Sheet[2]);
}

TEST_F(ControlsFixture, TrackBarOnChangeFollowsEveryPositionChange) {
  auto* Track = Make<TTrackBar>(10, 10);
  Track->SetMax(100);
  Track->OnChange = [&](TObject*) { L.push_back(std::to_string(Track->Position())); };
  Track->SetPosition(50);
  Track->SetPosition(50);
  Track->SetPosition(1500);
  SimulateKey(Track, VK_LEFT);
  EXPECT_EQ(L, (Log{"50", "100", "99"}));
}

TEST_F(ControlsFixture, UpDownStepsItsAssociate) {
  auto* Edit = Make<TEdit>(10, 10);
  auto* Arrows = new TUpDown(Form);
  Arrows->SetMax(1000);
  Arrows->SetThousands(false);
  Arrows->SetAssociate(Edit);
  EXPECT_EQ(Arrows->Parent(), Form);
  EXPECT_EQ(Arrows->Left(), Edit->Left() + Edit->Width());
  Arrows->SetPosition(999);
  EXPECT_EQ(Edit->Text(), "999");
  Arrows->OnChanging = [&](TObject*, bool& Allow) { L.push_back("changing"); Allow = Arrows->Tag == 0; };
  Arrows->OnClick = [&](TObject*, TUDBtnType B) { L.push_back(B == btNext ? "next" : "prev"); };
  SimulateClick(Arrows, Arrows->Width() / 2, 3);
  EXPECT_EQ(Edit->Text(), "1000");
  // At the end nothing moves but the click is still reported.
  SimulateClick(Arrows, Arrows->Width() / 2, 3);
  EXPECT_EQ(L, (Log{"changing", "next", "next"}));
  // A number typed into the field is where the next step starts; arrow keys in it step too.
  Edit->SetText("40");
  EXPECT_EQ(Arrows->Position(), 40);
  SimulateKey(Edit, VK_DOWN);
  EXPECT_EQ(Edit->Text(), "39");
  Arrows->Tag = 1;
  SimulateKey(Edit, VK_DOWN);
  EXPECT_EQ(Edit->Text(), "39");
  Arrows->SetThousands(true);
  Arrows->SetPosition(1000);
  EXPECT_EQ(Edit->Text(), "1,000");
  EXPECT_EQ(Arrows->Position(), 1000);
}

TEST_F(ControlsFixture, ScrollBarReportsScrollsThenChanges) {
  auto* Bar = Make<TScrollBar>(10, 10);
  Bar->SetPageSize(10);
  Bar->SetLargeChange(25);
  Bar->OnScroll = [&](TObject*, TScrollCode Code, Integer& Pos) {
    L.push_back("scroll " + std::to_string(Code) + " " + std::to_string(Pos));
    if (Code == scPageDown) Pos = 80;
  };
  Bar->OnChange = [&](TObject*) { L.push_back("change " + std::to_string(Bar->Position())); };
  Bar->SetPosition(95);
  EXPECT_EQ(Bar->Position(), 91);  // the last position leaves room for the page
  SimulateKey(Bar, VK_HOME);
  SimulateKey(Bar, VK_NEXT);
  EXPECT_EQ(L, (Log{"change 91", "scroll 6 0", "change 0", "scroll 3 25", "change 80"}));
  EXPECT_THROW(Bar->SetParams(0, 10, 5), EInvalidOperation);
}

TEST_F(ControlsFixture, ProgressBarKeepsItsPositionInRange) {
  auto* Bar = Make<TProgressBar>(10, 10);
  struct Case {
    Integer Set;
    Integer Expected;
  };
  for (Case C : {Case{50, 50}, Case{150, 100}, Case{-3, 0}}) {
    Bar->SetPosition(C.Set);
    EXPECT_EQ(Bar->Position(), C.Expected);
  }
  Bar->SetPosition(95);
  Bar->StepIt();
  EXPECT_EQ(Bar->Position(), 5);
}

// ---------------------------------------------------------------------------------------------
// Panel, image and label

TEST_F(ControlsFixture, PanelDrawsItsBevelsAroundItsColour) {
  auto* Panel = Make<TPanel>(10, 10);
  Panel->SetBounds(10, 10, 34, 17);
  Panel->SetColor(clRed);
  Panel->SetBevelOuter(bvLowered);
  EXPECT_EQ(PixelOnScreen(Panel, 0, 0), ColorToRGB(clBtnShadow));
  EXPECT_EQ(PixelOnScreen(Panel, 33, 0), ColorToRGB(clBtnHighlight));
  EXPECT_EQ(PixelOnScreen(Panel, 0, 16), ColorToRGB(clBtnHighlight));
  EXPECT_EQ(PixelOnScreen(Panel, 33, 16), ColorToRGB(clBtnHighlight));
  EXPECT_EQ(PixelOnScreen(Panel, 1, 1), clRed);
  Panel->SetBevelOuter(bvRaised);
  Panel->SetBevelInner(bvLowered);
  EXPECT_EQ(PixelOnScreen(Panel, 0, 0), ColorToRGB(clBtnHighlight));
  EXPECT_EQ(PixelOnScreen(Panel, 1, 1), ColorToRGB(clBtnShadow));
  EXPECT_EQ(PixelOnScreen(Panel, 2, 2), clRed);
}

TEST_F(ControlsFixture, ImageCanvasDrawsOnAPictureOfTheControlsSizeThatShows) {
  auto* Image = Make<TImage>(10, 10);
  Image->SetBounds(10, 10, 43, 17);
  Image->Canvas()->Brush()->SetColor(clBlack);
  Image->Canvas()->FillRect(Image->Canvas()->ClipRect());
  Image->Canvas()->Brush()->SetColor(clLime);
  Image->Canvas()->FillRect(Rect(40, 0, 43, 17));
  ASSERT_NE(Image->Picture()->Graphic(), nullptr);
  EXPECT_EQ(Image->Picture()->Width(), 43);
  EXPECT_EQ(Image->Picture()->Height(), 17);
  EXPECT_EQ(PixelOnScreen(Image, 5, 5), clBlack);
  EXPECT_EQ(PixelOnScreen(Image, 41, 5), clLime);
}

TEST(Image, DestRectFitsThePicture) {
  TImage Image(nullptr);
  Image.SetBounds(0, 0, 100, 50);
  TBitmap Picture;
  Picture.SetSize(40, 40);
  Image.Picture()->SetBitmap(&Picture);
  struct Case {
    bool Stretch, Proportional, Center;
    TRect Expected;
  };
  for (Case C : {Case{false, false, false, Rect(0, 0, 40, 40)}, Case{true, false, false, Rect(0, 0, 100, 50)},
                 Case{true, true, false, Rect(0, 0, 50, 50)}, Case{true, true, true, Rect(25, 0, 75, 50)},
                 Case{false, false, true, Rect(30, 5, 70, 45)}}) {
    Image.SetStretch(C.Stretch);
    Image.SetProportional(C.Proportional);
    Image.SetCenter(C.Center);
    EXPECT_EQ(Image.DestRect(), C.Expected) << C.Stretch << C.Proportional << C.Center;
  }
}

TEST_F(ControlsFixture, LabelSizesItselfToItsCaption) {
  auto* Label = Make<TLabel>(10, 10);
  Label->SetCaption("&Quality:");
  const Integer Short = Label->Width();
  Label->SetCaption("&Quality: and a good deal more text");
  EXPECT_GT(Label->Width(), Short);
  Label->SetAutoSize(false);
  Label->SetCaption("x");
  EXPECT_GT(Label->Width(), Short);
  EXPECT_EQ(StripHotkey("&Save && exit"), "Save & exit");
}

}  // namespace
