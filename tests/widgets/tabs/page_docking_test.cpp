// Docking into the page control: a control dragged onto it gets a page of its own, its tab
// follows the control's caption and visibility, and dragging the tab away or double-clicking it
// floats the control again and frees the page. Driven with the simulated mouse on a shown form.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gui/application.h"
#include "platform/gui/drag_dock.h"
#include "platform/gui/extctrls.h"
#include "platform/gui/forms.h"
#include "platform/gui/input_simulation.h"
#include "widgets/tabs/page_control.h"

namespace {

TPoint Centre(const TRect& R) { return Point((R.Left + R.Right) / 2, (R.Top + R.Bottom) / 2); }

// A panel that cannot be docked anywhere: its move into a dock site fails.
class TStubbornPanel : public TPanel {
 public:
  using TPanel::TPanel;
  void Dock(TWinControl*, const TRect&) override { throw Exception("The panel cannot move"); }
};

struct DockingPages : ::testing::Test {
  void SetUp() override {
    form = new TForm(nullptr);
    form->SetBounds(100, 100, 640, 300);
    pc = new TClPageControl(form);
    pc->SetParent(form);
    pc->SetBounds(10, 10, 400, 250);
    pc->SetDockSite(true);
    main = new TClTabSheet(form);
    main->SetPageControl(pc);
    main->SetCaption("Main");
    pc->SetActivePage(main);
    tool = new TPanel(form);
    tool->SetParent(form);
    tool->SetBounds(450, 20, 150, 100);
    tool->SetCaption("Tool");
    tool->SetDragKind(dkDock);
    tool->SetDragMode(dmAutomatic);
    ShowActive(form);
  }
  void TearDown() override { delete form; }

  // The user drags Control from From (its client coordinates) to To (the form's client
  // coordinates) and lets go.
  void DragTo(TControl* Control, TPoint From, TPoint To) {
    SimulateMouse(Control, smPress, mbLeft, From.X, From.Y, ssLeft);
    const TPoint screen = form->ClientToScreen(To);
    const TPoint mid = Control->ScreenToClient(Point((screen.X + Control->ClientToScreen(From).X) / 2, screen.Y));
    const TPoint end = Control->ScreenToClient(screen);
    SimulateMouse(Control, smMove, mbLeft, mid.X, mid.Y, ssLeft);
    SimulateMouse(Control, smMove, mbLeft, end.X, end.Y, ssLeft);
    SimulateMouse(Control, smRelease, mbLeft, end.X, end.Y);
    Application->ProcessMessages();
  }
  TClTabSheet* PageOf(TControl* C) const { return dynamic_cast<TClTabSheet*>(C->Parent()); }

  TForm* form = nullptr;
  TClPageControl* pc = nullptr;
  TClTabSheet* main = nullptr;
  TPanel* tool = nullptr;
};

TEST_F(DockingPages, AControlDroppedOnThePageControlBecomesAPage) {
  std::vector<std::string> events;
  pc->OnDockOver = [&](TObject*, TDragDockObject* source, Integer, Integer, TDragState, bool&) {
    // While over the page control, the dock rectangle is the page control's whole window.
    const TPoint origin = form->ClientToScreen(Point(10, 10));
    EXPECT_EQ(source->DockRect(), Bounds(origin.X, origin.Y, 400, 250));
    events.push_back("over");
  };
  pc->OnDockDrop = [&](TObject*, TDragDockObject*, Integer, Integer) { events.push_back("drop"); };
  tool->OnEndDock = [&](TObject*, TObject* target, Integer, Integer) {
    events.push_back(target == pc ? "end on pc" : "end elsewhere");
  };
  DragTo(tool, Point(75, 50), Point(200, 150));
  ASSERT_EQ(pc->PageTotal(), 2);
  TClTabSheet* page = PageOf(tool);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->PageControl(), pc);
  EXPECT_EQ(page->Owner(), pc);
  EXPECT_EQ(tool->HostDockSite(), pc);
  EXPECT_EQ(tool->Align(), alClient);
  EXPECT_EQ(pc->ActivePage(), page);
  EXPECT_EQ(pc->TabIndex(), 1);
  EXPECT_EQ(tool->BoundsRect(), Rect(0, 0, page->Width(), page->Height()));
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back(), "end on pc");
  EXPECT_EQ(events[events.size() - 2], "drop");

  // The tab follows the docked control: its caption up to a line break, its visibility.
  tool->SetCaption("Levels\r\nand curves");
  EXPECT_EQ(page->Caption(), "Levels");
  tool->Hide();
  EXPECT_FALSE(page->TabVisible());
  tool->Show();
  EXPECT_TRUE(page->TabVisible());

  // Already docked here: it cannot dock here again; dropped on the page control again it floats.
  TRect influence = Rect(0, 0, 1, 1);
  bool canDock = true;
  pc->GetSiteInfo(tool, influence, Point(0, 0), canDock);
  EXPECT_FALSE(canDock);
}

TEST_F(DockingPages, DoubleClickOnTheTabFloatsTheControlAndFreesItsPage) {
  ASSERT_TRUE(tool->ManualDock(pc));
  TClTabSheet* page = PageOf(tool);
  ASSERT_NE(page, nullptr);
  pc->Repaint();
  std::vector<std::string> undocked;
  pc->OnUnDock = [&](TObject*, TControl* client, TWinControl* target, bool&) {
    undocked.push_back(client->Caption() + (target ? " to a site" : " to float"));
  };
  const TPoint tab = Centre(pc->TabRect(1));
  SimulateMouse(pc, smDoubleClick, mbLeft, tab.X, tab.Y, ssLeft);
  SimulateMouse(pc, smRelease, mbLeft, tab.X, tab.Y);
  Application->ProcessMessages();
  EXPECT_EQ(undocked, std::vector<std::string>{"Tool to float"});
  EXPECT_EQ(pc->PageTotal(), 1);
  EXPECT_EQ(pc->ActivePage(), main);
  EXPECT_TRUE(tool->Floating());
  EXPECT_EQ(tool->Align(), alClient);  // filling the window it floats in
  ASSERT_NE(tool->HostDockSite(), nullptr);
  EXPECT_NE(tool->HostDockSite(), pc);
  EXPECT_TRUE(tool->Showing());

  // Docked again from its floating window: the window goes away with the move.
  ASSERT_TRUE(tool->ManualDock(pc));
  EXPECT_EQ(tool->HostDockSite(), pc);
  Application->ProcessMessages();
  EXPECT_EQ(pc->PageTotal(), 2);
}

TEST_F(DockingPages, DraggingTheTabAwayUndocks) {
  ASSERT_TRUE(tool->ManualDock(pc));
  pc->Repaint();
  const TPoint tab = Centre(pc->TabRect(1));
  DragTo(pc, tab, Point(520, 200));  // the form's empty right part
  EXPECT_EQ(pc->PageTotal(), 1);
  EXPECT_TRUE(tool->Floating());
  EXPECT_EQ(PageOf(tool), nullptr);
  // The floating window stands where the pointer let go.
  const TPoint at = form->ClientToScreen(Point(520, 200));
  const TPoint origin = tool->ClientToScreen(Point(0, 0));
  EXPECT_NEAR(origin.X, at.X, 40);
  EXPECT_NEAR(origin.Y, at.Y, 60);
}

TEST_F(DockingPages, RefusedUndockKeepsThePage) {
  ASSERT_TRUE(tool->ManualDock(pc));
  pc->OnUnDock = [](TObject*, TControl*, TWinControl*, bool& allow) { allow = false; };
  EXPECT_FALSE(tool->ManualFloat(Bounds(300, 300, 100, 80)));
  EXPECT_EQ(pc->PageTotal(), 2);
  EXPECT_EQ(tool->HostDockSite(), pc);
}

TEST_F(DockingPages, AFailedDockFreesTheNewPage) {
  auto* stubborn = new TStubbornPanel(form);
  stubborn->SetParent(form);
  stubborn->SetBounds(450, 150, 100, 80);
  EXPECT_THROW(stubborn->ManualDock(pc), Exception);
  EXPECT_EQ(pc->PageTotal(), 1);
  EXPECT_EQ(pc->ActivePage(), main);
  EXPECT_EQ(stubborn->Parent(), form);
}

TEST_F(DockingPages, AFormDocksUnderItsCaption) {
  auto* toolForm = new TForm(nullptr);
  toolForm->SetCaption("Colours");
  toolForm->SetBounds(300, 300, 200, 150);
  toolForm->SetDragKind(dkDock);
  toolForm->Show();
  ASSERT_TRUE(toolForm->ManualDock(pc));
  TClTabSheet* page = PageOf(toolForm);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->Caption(), "Colours");
  EXPECT_EQ(pc->ActivePage(), page);
  EXPECT_FALSE(toolForm->Floating());
  EXPECT_TRUE(toolForm->Showing());
  toolForm->SetCaption("Colour balance");
  EXPECT_EQ(page->Caption(), "Colour balance");
  toolForm->Hide();
  EXPECT_FALSE(page->TabVisible());
  toolForm->Show();
  EXPECT_TRUE(page->TabVisible());
  ASSERT_TRUE(toolForm->ManualFloat(Bounds(300, 300, 200, 150)));
  EXPECT_EQ(toolForm->Parent(), nullptr);
  EXPECT_TRUE(toolForm->Floating());
  EXPECT_EQ(pc->PageTotal(), 1);
  delete toolForm;
}

}  // namespace
