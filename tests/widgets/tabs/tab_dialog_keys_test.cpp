// Keys that reach the page control through its form: Ctrl+Tab and Ctrl+Shift+Tab from a control
// on a page, Alt with a tab's accelerator, and the form's own Enter, Esc and Tab beside them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gui/application.h"
#include "platform/gui/forms.h"
#include "platform/gui/input_simulation.h"
#include "platform/gui/stdctrls.h"
#include "widgets/tabs/page_control.h"

namespace {

using Log = std::vector<std::string>;

TClPageControl* AddPageControl(TForm* Form, TWinControl* Parent, const std::vector<AnsiString>& Captions,
                               std::vector<TClTabSheet*>& Sheets) {
  auto* pc = new TClPageControl(Form);
  pc->SetParent(Parent);
  pc->SetBounds(0, 0, 380, 200);
  for (const AnsiString& c : Captions) {
    auto* sheet = new TClTabSheet(Form);
    sheet->SetPageControl(pc);
    sheet->SetCaption(c);
    sheet->SetAlign(alClient);
    Sheets.push_back(sheet);
  }
  pc->SetActivePage(Sheets.front());
  return pc;
}

// A form with a three-page control whose first page holds a focused edit, and an OK (default)
// and a Cancel button beside the page control.
struct PagesOnAForm : ::testing::Test {
  void SetUp() override {
    Form = new TForm(nullptr);
    Form->SetBounds(100, 100, 400, 300);
    Pages = AddPageControl(Form, Form, {"&Images", "&Audio", "&Video"}, Sheets);
    Edit = new TEdit(Form);
    Edit->SetParent(Sheets[0]);
    Edit->SetBounds(10, 10, 120, 22);
    Edit->OnKeyDown = [this](TObject*, Word& k, TShiftState) { L.push_back("edit down " + std::to_string(k)); };
    Ok = AddButton("OK", 10);
    Ok->SetDefault(true);
    Cancel = AddButton("Cancel", 100);
    Cancel->SetCancel(true);
    Pages->OnChange = [this](TObject*) { L.push_back("change " + std::to_string(Pages->TabIndex())); };
    Pages->OnTabClick = [this](TObject*) { L.push_back("tab click"); };
    ShowActive(Form);
    Edit->SetFocus();
    Application->ProcessMessages();
    L.clear();
  }
  void TearDown() override { delete Form; }

  TButton* AddButton(const AnsiString& Caption, Integer X) {
    auto* b = new TButton(Form);
    b->SetParent(Form);
    b->SetCaption(Caption);
    b->SetBounds(X, 240, 75, 25);
    b->OnClick = [this, Caption](TObject*) { L.push_back(Caption + " click"); };
    return b;
  }
  // The key as the user presses it, on whatever has the focus now.
  void Press(Word Key, TShiftState Shift) {
    SimulateKey(Form->ActiveControl() ? Form->ActiveControl() : Form, Key, Shift);
    Application->ProcessMessages();
  }
  Integer Active() const {
    for (std::size_t i = 0; i < Sheets.size(); ++i)
      if (Pages->ActivePage() == Sheets[i]) return Integer(i);
    return -1;
  }

  Log L;
  TForm* Form = nullptr;
  TClPageControl* Pages = nullptr;
  std::vector<TClTabSheet*> Sheets;
  TEdit* Edit = nullptr;
  TButton* Ok = nullptr;
  TButton* Cancel = nullptr;
};

TEST_F(PagesOnAForm, CtrlTabStepsThePagesFromAControlOnAPageAndWraps) {
  struct Step {
    TShiftState Shift;
    Integer Page;
  } Steps[] = {{ssCtrl, 1}, {ssCtrl, 2}, {ssCtrl, 0}, {ssCtrl | ssShift, 2}, {ssCtrl | ssShift, 1}};
  for (const Step& s : Steps) {
    Press(VK_TAB, s.Shift);
    EXPECT_EQ(Active(), s.Page) << s.Shift;
    EXPECT_EQ(Pages->TabIndex(), s.Page);
  }
  // The form took the key before the edit saw it, and no button was pressed.
  EXPECT_EQ(L, (Log{"change 1", "change 2", "change 0", "change 2", "change 1"}));

  // A hidden tab is skipped.
  Sheets[2]->SetTabVisible(false);
  Press(VK_TAB, ssCtrl);
  EXPECT_EQ(Active(), 0);
}

// The focus does not stay on the page control or on the new page: it goes to the new page's
// first control in tab order (a tab stop, inside a container when the page holds one).
TEST_F(PagesOnAForm, CtrlTabTakesTheFocusToTheNewPagesFirstControl) {
  auto* box = new TGroupBox(Form);
  box->SetParent(Sheets[1]);
  box->SetBounds(10, 10, 200, 100);
  auto* later = new TEdit(Form);
  later->SetParent(box);
  later->SetBounds(10, 60, 100, 22);
  auto* first = new TEdit(Form);
  first->SetParent(box);
  first->SetBounds(10, 20, 100, 22);
  first->SetTabOrder(0);
  auto* onThird = new TButton(Form);
  onThird->SetParent(Sheets[2]);
  onThird->SetBounds(10, 10, 75, 25);
  Press(VK_TAB, ssCtrl);
  EXPECT_EQ(Active(), 1);
  EXPECT_EQ(Form->ActiveControl(), first);
  EXPECT_TRUE(first->Focused());
  Press(VK_TAB, ssCtrl);
  EXPECT_EQ(Form->ActiveControl(), onThird);
  EXPECT_TRUE(onThird->Focused());
  // Round to the first page: its edit has the focus again.
  Press(VK_TAB, ssCtrl);
  EXPECT_EQ(Form->ActiveControl(), Edit);
}

TEST_F(PagesOnAForm, ShowingAControlBringsItsPageForward) {
  auto* deep = new TEdit(Form);
  deep->SetParent(Sheets[2]);
  deep->SetBounds(10, 10, 100, 22);
  deep->Hide();
  deep->Show();
  EXPECT_EQ(Active(), 2);
  EXPECT_TRUE(deep->Showing());
  EXPECT_EQ(L, (Log{"change 2"}));
}

// With SaveResources a hidden page gives back what its window held (its painted surface) and
// gets it again when shown, painting as before.
TEST_F(PagesOnAForm, SaveResourcesFreesHiddenPagesAndRebuildsThem) {
  Sheets[1]->SetPageColor(clBtnFace);
  for (TClTabSheet* s : Sheets) EXPECT_TRUE(s->HandleAllocated());
  Pages->SetSaveResources(true);
  EXPECT_TRUE(Sheets[0]->HandleAllocated());
  EXPECT_FALSE(Sheets[1]->HandleAllocated());
  EXPECT_FALSE(Sheets[2]->HandleAllocated());
  EXPECT_FALSE(Sheets[2]->Visible());
  Press(VK_TAB, ssCtrl);
  EXPECT_TRUE(Sheets[1]->HandleAllocated());
  EXPECT_FALSE(Sheets[0]->HandleAllocated());
  EXPECT_FALSE(Edit->HandleAllocated());  // the page's controls went with it
  const TPoint inside = Sheets[1]->ClientToScreen(Point(50, 50));
  const TPoint onForm = Form->ScreenToClient(inside);
  EXPECT_EQ(PixelOnScreen(Form, onForm.X, onForm.Y), ColorToRGB(clBtnFace));
  Press(VK_TAB, ssCtrl | ssShift);
  EXPECT_TRUE(Sheets[0]->HandleAllocated());
  EXPECT_TRUE(Edit->HandleAllocated());
  EXPECT_TRUE(Edit->Focused());
  // Off again: pages hidden from now on keep theirs.
  Pages->SetSaveResources(false);
  Press(VK_TAB, ssCtrl);
  EXPECT_TRUE(Sheets[0]->HandleAllocated());
}

TEST_F(PagesOnAForm, CtrlTabIsLeftAloneWhileTheFocusIsOutsideThePageControl) {
  Cancel->SetFocus();
  Application->ProcessMessages();
  Press(VK_TAB, ssCtrl);
  EXPECT_EQ(Active(), 0);
  EXPECT_TRUE(L.empty());
}

TEST_F(PagesOnAForm, AltWithATabsAcceleratorSelectsThatTab) {
  Press('V', ssAlt);
  EXPECT_EQ(Active(), 2);
  EXPECT_TRUE(Pages->Focused());
  EXPECT_EQ(L, (Log{"edit down 86", "change 2", "tab click"}));

  // A disabled tab does not answer its accelerator, nor does a letter no caption marks.
  L.clear();
  Sheets[0]->SetTabEnabled(false);
  Press('I', ssAlt);
  Press('Q', ssAlt);
  EXPECT_EQ(Active(), 2);
  EXPECT_TRUE(L.empty());
  Press('A', ssAlt | ssShift);
  EXPECT_EQ(Active(), 1);
}

TEST_F(PagesOnAForm, EnterEscAndTabStillWorkBesideThePages) {
  Press(VK_RETURN, 0);
  Press(VK_ESCAPE, 0);
  EXPECT_EQ(L, (Log{"OK click", "Cancel click"}));
  // Plain Tab still moves the focus along the chain and leaves the pages alone.
  Press(VK_TAB, 0);
  EXPECT_FALSE(Edit->Focused());
  EXPECT_EQ(Active(), 0);
}

// The main window's shape: an outer page control whose page holds the output pages. Ctrl+Tab
// steps the inner pages (the ones around the focus), not the outer ones.
TEST(NestedPageControls, CtrlTabStepsTheInnermostPageControl) {
  auto* form = new TForm(nullptr);
  form->SetBounds(100, 100, 420, 320);
  std::vector<TClTabSheet*> outer, inner;
  TClPageControl* outerPc = AddPageControl(form, form, {"One", "Two"}, outer);
  outerPc->SetBounds(0, 0, 420, 320);
  TClPageControl* innerPc = AddPageControl(form, outer[0], {"A", "B", "C"}, inner);
  auto* edit = new TEdit(form);
  edit->SetParent(inner[0]);
  ShowActive(form);
  edit->SetFocus();
  Application->ProcessMessages();

  SimulateKey(edit, VK_TAB, ssCtrl);
  EXPECT_EQ(innerPc->ActivePage(), inner[1]);
  EXPECT_EQ(outerPc->ActivePage(), outer[0]);
  delete form;
}

}  // namespace
