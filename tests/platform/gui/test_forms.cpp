#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/gui/application.h"
#include "platform/gui/graphics.h"
#include "platform/gui/input_simulation.h"
#include "platform/gui/stdctrls.h"
#include "platform/gui/timers.h"
#include "tests/support/scripted_services.h"

namespace {

using Log = std::vector<AnsiString>;

// A painted control that writes down what reaches it.
class TProbe : public TCustomControl {
 public:
  TProbe(TComponent* AOwner, Log& L) : TCustomControl(AOwner), FLog(L) {
    OnMouseDown = [this](TObject*, TMouseButton B, TShiftState S, Integer X, Integer Y) {
      FLog.push_back("down " + std::to_string(B) + ((S & ssDouble) ? " double" : "") + " " +
                     std::to_string(X) + "," + std::to_string(Y));
    };
    OnMouseUp = [this](TObject*, TMouseButton, TShiftState, Integer, Integer) { FLog.push_back("up"); };
    OnClick = [this](TObject*) { FLog.push_back("click"); };
    OnDblClick = [this](TObject*) { FLog.push_back("dblclick"); };
    OnKeyDown = [this](TObject*, Word& K, TShiftState) { FLog.push_back("control down " + std::to_string(K)); };
    OnKeyPress = [this](TObject*, char& K) { FLog.push_back(AnsiString("control press ") + K); };
    OnKeyUp = [this](TObject*, Word& K, TShiftState) { FLog.push_back("control up " + std::to_string(K)); };
    OnEnter = [this](TObject*) { FLog.push_back(Name() + " enter"); };
    OnExit = [this](TObject*) { FLog.push_back(Name() + " exit"); };
    SetTabStop(true);
  }
  int Paints = 0;

 protected:
  void Paint() override {
    ++Paints;
    Canvas()->Brush()->SetColor(clRed);
    Canvas()->FillRect(Rect(0, 0, 4, 4));
  }
  void Scroll(TScrollBarKind Kind, TScrollCode Code, Integer Pos) override {
    FLog.push_back("scroll " + std::to_string(Kind) + " " + std::to_string(Code) + " " + std::to_string(Pos));
    if (Code == scLineDown) SetScrollPos(Kind, GetScrollPos(Kind) + 1);
  }

 private:
  Log& FLog;
};

struct FormFixture : ::testing::Test {
  void SetUp() override {
    Form = new TForm(nullptr);
    Form->SetBounds(100, 100, 300, 200);
    Probe = new TProbe(Form, L);
    Probe->SetName("probe");
    Probe->SetParent(Form);
    Probe->SetBounds(10, 10, 100, 50);
    Form->Show();
  }
  void TearDown() override { delete Form; }
  Log L;
  TForm* Form = nullptr;
  TProbe* Probe = nullptr;
};

TEST_F(FormFixture, MouseEventsComeInTheFrameworksOrder) {
  SimulateClick(Probe, 5, 6);
  EXPECT_EQ(L, (Log{"down 0 5,6", "click", "up"}));

  // A double click: the second press is a DblClick and a mouse-down marked double, no click.
  L.clear();
  SimulateMouse(Probe, smPress, mbLeft, 5, 6);
  SimulateMouse(Probe, smRelease, mbLeft, 5, 6);
  SimulateMouse(Probe, smDoubleClick, mbLeft, 5, 6);
  SimulateMouse(Probe, smRelease, mbLeft, 5, 6);
  EXPECT_EQ(L, (Log{"down 0 5,6", "click", "up", "dblclick", "down 0 double 5,6", "up"}));

  // Released outside the control: no click. The right button never clicks.
  L.clear();
  SimulateMouse(Probe, smPress, mbLeft, 5, 6);
  SimulateMouse(Probe, smRelease, mbLeft, 500, 6);
  SimulateClick(Probe, 1, 1, mbRight);
  EXPECT_EQ(L, (Log{"down 0 5,6", "up", "down 1 1,1", "up"}));
}

TEST_F(FormFixture, KeyPreviewLetsTheFormSeeKeysFirstAndDropThem) {
  Form->OnKeyDown = [&](TObject*, Word& K, TShiftState) { L.push_back("form down " + std::to_string(K)); };
  Form->OnKeyPress = [&](TObject*, char& K) {
    L.push_back(AnsiString("form press ") + K);
    if (K == 'x') K = 0;
  };
  Form->OnKeyUp = [&](TObject*, Word& K, TShiftState) { L.push_back("form up " + std::to_string(K)); };

  SimulateKey(Probe, 'A', 0, 'a');
  EXPECT_EQ(L, (Log{"control down 65", "control press a", "control up 65"}));

  Form->SetKeyPreview(true);
  L.clear();
  SimulateKey(Probe, 'A', 0, 'a');
  EXPECT_EQ(L, (Log{"form down 65", "control down 65", "form press a", "control press a", "form up 65",
                    "control up 65"}));

  // The form drops the character: the control never sees it.
  L.clear();
  SimulateKey(Probe, 'X', 0, 'x');
  EXPECT_EQ(L, (Log{"form down 88", "control down 88", "form press x", "form up 88", "control up 88"}));
}

TEST_F(FormFixture, KeyPressCanDropOrReplaceWhatReachesAnEdit) {
  auto* Edit = new TEdit(Form);
  Edit->SetParent(Form);
  Edit->SetBounds(10, 100, 120, 24);
  // The program's digit filter: digits and backspace pass, the rest is dropped.
  Edit->OnKeyPress = [](TObject*, char& K) {
    if (!((K >= '0' && K <= '9') || K == '\b')) K = 0;
  };
  SimulateTyping(Edit, "a1b2 3");
  EXPECT_EQ(Edit->Text(), "123");
  SimulateKey(Edit, VK_BACK, 0, '\b');
  EXPECT_EQ(Edit->Text(), "12");
  // A handler may also put another character in the key's place.
  Edit->OnKeyPress = [](TObject*, char& K) {
    if (K >= 'a' && K <= 'z') K = char(K - 'a' + 'A');
  };
  SimulateTyping(Edit, "q");
  EXPECT_EQ(Edit->Text(), "12Q");
  // Characters the 8-bit KeyPress cannot carry go to the edit untouched.
  SimulateText(Edit, "\xC3\xA9~");
  EXPECT_EQ(Edit->Text(), "12Q\xC3\xA9~");
}

TEST_F(FormFixture, EnterAndEscapeReachTheDefaultAndCancelButtons) {
  auto* Edit = new TEdit(Form);
  Edit->SetParent(Form);
  auto* Ok = new TButton(Form);
  Ok->SetParent(Form);
  Ok->SetCaption("OK");
  Ok->SetDefault(true);
  Ok->SetModalResult(mrOk);
  auto* Cancel = new TButton(Form);
  Cancel->SetParent(Form);
  Cancel->SetCaption("Cancel");
  Cancel->SetCancel(true);
  Cancel->SetModalResult(mrCancel);
  Form->Hide();

  struct Case {
    Word Key;
    char Ch;
    TModalResult Expected;
  } Cases[] = {{VK_RETURN, '\r', mrOk}, {VK_ESCAPE, '\x1b', mrCancel}};
  for (const Case& C : Cases) {
    TTimer Press(nullptr);
    Press.SetInterval(2);
    Press.OnTimer = [&](TObject*) {
      Press.SetEnabled(false);
      SimulateKey(Edit, C.Key, 0, C.Ch);
    };
    EXPECT_EQ(Form->ShowModal(), C.Expected) << C.Key;
  }

  // A disabled default button does not take Enter; the key reaches the control instead.
  Ok->SetEnabled(false);
  L.clear();
  SimulateKey(Probe, VK_RETURN, 0, '\r');
  EXPECT_EQ(L, (Log{"control down 13", "control press \r", "control up 13"}));
}

TEST(Forms, WindowCloseFollowsTheBorderIconsAndTheCloseEvents) {
  TForm Form(nullptr);
  Form.Show();
  // Without the system menu there is no close box: the window manager's close is refused.
  Form.SetBorderIcons(0);
  SimulateWindowClose(&Form);
  EXPECT_TRUE(Form.Visible());

  Form.SetBorderIcons(biSystemMenu);
  bool Allow = false;
  Form.OnCloseQuery = [&](TObject*, bool& CanClose) { CanClose = Allow; };
  SimulateWindowClose(&Form);
  EXPECT_TRUE(Form.Visible());
  Allow = true;
  TCloseAction Action = caNone;
  Form.OnClose = [&](TObject*, TCloseAction& A) { A = Action; };
  SimulateWindowClose(&Form);
  EXPECT_TRUE(Form.Visible());
  Action = caHide;
  SimulateWindowClose(&Form);
  EXPECT_FALSE(Form.Visible());
}

TEST(Forms, CloseWithCaFreeReleasesTheFormAfterTheHandler) {
  bool Destroyed = false;
  auto* Form = new TForm(nullptr);
  Form->OnDestroy = [&](TObject*) { Destroyed = true; };
  Form->OnClose = [](TObject*, TCloseAction& A) { A = caFree; };
  Form->Show();
  Form->Close();
  EXPECT_FALSE(Destroyed);
  for (int I = 0; I < 20 && !Destroyed; ++I) Application->ProcessMessages();
  EXPECT_TRUE(Destroyed);
}

TEST(Forms, ModalLoopEndsOnModalResultUnlessCloseQueryRefuses) {
  TForm Dialog(nullptr);
  int Queries = 0;
  Dialog.OnCloseQuery = [&](TObject*, bool& CanClose) { CanClose = ++Queries > 1; };
  Log Events;
  Dialog.OnShow = [&](TObject*) { Events.push_back("show"); };
  Dialog.OnHide = [&](TObject*) { Events.push_back("hide"); };
  TTimer Answer(nullptr);
  Answer.SetInterval(2);
  Answer.OnTimer = [&](TObject*) { Dialog.SetModalResult(mrYes); };
  EXPECT_EQ(Dialog.ShowModal(), mrYes);
  Answer.SetEnabled(false);
  EXPECT_EQ(Queries, 2);
  EXPECT_EQ(Events, (Log{"show", "hide"}));
  EXPECT_THROW({
    Dialog.Show();
    Dialog.ShowModal();
  }, EInvalidOperation);
}

TEST_F(FormFixture, CanvasSurfaceFollowsTheClientSizeAndKeepsDrawingsOutsidePaint) {
  Probe->Repaint();
  EXPECT_EQ(Probe->Paints, 1);
  EXPECT_EQ(Probe->Canvas()->Pixels(1, 1), clRed);
  EXPECT_EQ(Probe->Canvas()->ClipRect(), Rect(0, 0, 100, 50));

  // A drawing made outside Paint stays until the next Paint.
  Probe->Canvas()->SetPixel(50, 20, clBlue);
  Probe->Update();
  EXPECT_EQ(Probe->Paints, 1);
  EXPECT_EQ(Probe->Canvas()->Pixels(50, 20), clBlue);

  Probe->SetBounds(10, 10, 140, 70);
  EXPECT_EQ(Probe->Canvas()->ClipRect(), Rect(0, 0, 140, 70));
  Probe->Update();
  EXPECT_EQ(Probe->Paints, 2);

  // A shown scroll bar takes its room from the client area and the surface.
  Probe->ShowScrollBar(sbVertical, true);
  EXPECT_LT(Probe->ClientWidth(), 140);
  EXPECT_EQ(Probe->ClientHeight(), 70);
  EXPECT_EQ(Probe->Canvas()->ClipRect().Right, Probe->ClientWidth());

  // A light control paints the same way, on a surface of its own size.
  struct TMark : TGraphicControl {
    using TGraphicControl::TGraphicControl;
    int Paints = 0;
    void Paint() override {
      ++Paints;
      Canvas()->Brush()->SetColor(clLime);
      Canvas()->FillRect(Rect(0, 0, 2, 2));
    }
  };
  auto* Mark = new TMark(Form);
  Mark->SetParent(Form);
  Mark->SetBounds(150, 10, 30, 20);
  Mark->Repaint();
  EXPECT_EQ(Mark->Paints, 1);
  EXPECT_EQ(Mark->Canvas()->ClipRect(), Rect(0, 0, 30, 20));
  EXPECT_EQ(Mark->Canvas()->Pixels(1, 1), clLime);
}

TEST_F(FormFixture, ScrollBarsUseTheDesktopsRangeRules) {
  TScrollInfo Info;
  Info.Min = 0;
  Info.Max = 99;
  Info.Page = 10;
  Info.Pos = 200;
  Probe->SetScrollInfo(sbHorizontal, Info);
  Probe->ShowScrollBar(sbHorizontal, true);
  // The largest position is Max - Page + 1.
  EXPECT_EQ(Probe->GetScrollPos(sbHorizontal), 90);
  Probe->SetScrollPos(sbHorizontal, -5);
  EXPECT_EQ(Probe->GetScrollPos(sbHorizontal), 0);
  TScrollInfo Back = Probe->GetScrollInfo(sbHorizontal);
  EXPECT_EQ(Back.Max, 99);
  EXPECT_EQ(Back.Page, 10);
  EXPECT_TRUE(Probe->ScrollBarVisible(sbHorizontal));
  EXPECT_FALSE(Probe->ScrollBarVisible(sbVertical));

  // Using the bar reports to the control, which owns the position: the probe follows a line
  // step and ignores a page step.
  L.clear();
  SimulateScrollBar(Probe, sbHorizontal, scLineDown);
  EXPECT_EQ(Probe->GetScrollPos(sbHorizontal), 1);
  SimulateScrollBar(Probe, sbHorizontal, scPageDown);
  EXPECT_EQ(Probe->GetScrollPos(sbHorizontal), 1);
  EXPECT_EQ(L, (Log{"scroll 0 1 1", "scroll 0 8 1", "scroll 0 3 11", "scroll 0 8 1"}));
}

TEST_F(FormFixture, AlignedControlsShareTheClientAreaInTheFrameworksOrder) {
  Form->SetClientWidth(300);
  Form->SetClientHeight(200);
  auto* Top = new TWinControl(Form);
  Top->SetParent(Form);
  Top->SetHeight(30);
  Top->SetAlign(alTop);
  auto* Bottom = new TWinControl(Form);
  Bottom->SetParent(Form);
  Bottom->SetHeight(20);
  Bottom->SetAlign(alBottom);
  auto* Left = new TWinControl(Form);
  Left->SetParent(Form);
  Left->SetWidth(50);
  Left->SetAlign(alLeft);
  auto* Client = new TWinControl(Form);
  Client->SetParent(Form);
  Client->SetAlign(alClient);
  EXPECT_EQ(Top->BoundsRect(), Rect(0, 0, 300, 30));
  EXPECT_EQ(Bottom->BoundsRect(), Rect(0, 180, 300, 200));
  EXPECT_EQ(Left->BoundsRect(), Rect(0, 30, 50, 180));
  EXPECT_EQ(Client->BoundsRect(), Rect(50, 30, 300, 180));
  Form->SetClientHeight(250);
  EXPECT_EQ(Client->BoundsRect(), Rect(50, 30, 300, 230));
}

TEST_F(FormFixture, FocusMovesFireExitThenEnter) {
  auto* Other = new TProbe(Form, L);
  Other->SetName("other");
  Other->SetParent(Form);
  Other->SetBounds(10, 100, 50, 20);
  Probe->SetFocus();
  L.clear();
  Other->SetFocus();
  EXPECT_EQ(L, (Log{"probe exit", "other enter"}));
  EXPECT_EQ(Form->ActiveControl(), Other);
  Other->SetVisible(false);
  EXPECT_THROW(Other->SetFocus(), EInvalidOperation);
}

TEST(Forms, PositionAndBorderStyleShapeTheWindow) {
  TForm Form(nullptr);
  Form.SetBorderStyle(bsSingle);
  Form.SetBorderIcons(biSystemMenu | biMinimize);
  Form.SetPosition(poScreenCenter);
  Form.SetClientWidth(400);
  Form.SetClientHeight(200);
  Form.SetCaption("Clavorne Pro 1.2.7");
  Form.Show();
  TRect Work = Screen->WorkAreaRect();
  EXPECT_NEAR(Form.Left() + Form.Width() / 2, Work.Left + Work.Width() / 2, 1);
  EXPECT_NEAR(Form.Top() + Form.Height() / 2, Work.Top + Work.Height() / 2, 1);
  EXPECT_EQ(Form.ClientWidth(), 400);
  EXPECT_EQ(Form.ClientHeight(), 200);
  // The program may still resize a fixed window.
  Form.SetClientWidth(450);
  EXPECT_EQ(Form.ClientWidth(), 450);
}

}  // namespace
