// Reordering tabs by dragging them with the mouse, driven through the platform's simulated
// mouse on a shown form.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/gui/application.h"
#include "platform/gui/drag_dock.h"
#include "platform/gui/forms.h"
#include "platform/gui/input_simulation.h"
#include "platform/rtl/sync.h"
#include "tests/support/scripted_services.h"
#include "widgets/tabs/page_control.h"

namespace {

using Moves = std::vector<std::pair<Integer, Integer>>;

TPoint Centre(const TRect& R) { return Point((R.Left + R.Right) / 2, (R.Top + R.Bottom) / 2); }

struct DraggablePages : ::testing::Test {
  void SetUp() override {
    form = new TForm(nullptr);
    form->SetBounds(100, 100, 480, 260);
    pc = new TClPageControl(form);
    pc->SetParent(form);
    pc->SetBounds(20, 20, 420, 200);
    pc->SetAllowTabDragging(true);
    for (const char* c : {"One", "Two", "Three", "Four"}) {
      auto* s = new TClTabSheet(form);
      s->SetPageControl(pc);
      s->SetCaption(c);
      sheets.push_back(s);
    }
    pc->SetActivePage(sheets[0]);
    pc->OnTabOrderChange = [this](TObject*, Integer a, Integer b) { moves.emplace_back(a, b); };
    ShowActive(form);
    pc->Repaint();
  }
  void TearDown() override { delete form; }

  void Press(TPoint P) { SimulateMouse(pc, smPress, mbLeft, P.X, P.Y, ssLeft); }
  void Move(TPoint P) {
    SimulateMouse(pc, smMove, mbLeft, P.X, P.Y, ssLeft);
    pc->Repaint();
  }
  void Release(TPoint P) { SimulateMouse(pc, smRelease, mbLeft, P.X, P.Y); }
  std::vector<TClTabSheet*> Order() const {
    std::vector<TClTabSheet*> o;
    for (Integer i = 0; i < pc->PageTotal(); ++i) o.push_back(pc->PageAt(i));
    return o;
  }

  TForm* form = nullptr;
  TClPageControl* pc = nullptr;
  std::vector<TClTabSheet*> sheets;
  Moves moves;
};

TEST_F(DraggablePages, DroppingATabOnAnotherMovesItsPageThere) {
  const TPoint from = Centre(pc->TabRect(0)), to = Centre(pc->TabRect(2));
  Press(from);
  Move(Point(from.X + 2, from.Y));  // within the threshold: nothing is dragged yet
  EXPECT_EQ(CurrentDragObject(), nullptr);
  Move(Point(from.X + 30, from.Y));
  ASSERT_NE(CurrentDragObject(), nullptr);
  EXPECT_EQ(CurrentDragObject()->Control(), pc);
  Move(to);
  EXPECT_TRUE(pc->DragIndicatorShown());
  Release(to);
  EXPECT_EQ(CurrentDragObject(), nullptr);
  EXPECT_FALSE(pc->DragIndicatorShown());
  EXPECT_EQ(Order(), (std::vector<TClTabSheet*>{sheets[1], sheets[2], sheets[0], sheets[3]}));
  EXPECT_EQ(moves, (Moves{{0, 2}}));
  EXPECT_EQ(pc->ActivePage(), sheets[0]);
  EXPECT_EQ(pc->TabIndex(), 2);
}

TEST_F(DraggablePages, NothingMovesWhenRefusedOrDroppedOnItself) {
  // OnTabDragging refuses: the press and the move only select.
  std::vector<Integer> asked;
  pc->OnTabDragging = [&](TObject*, Integer tab, bool& allow) {
    asked.push_back(tab);
    allow = false;
  };
  const TPoint one = Centre(pc->TabRect(1)), three = Centre(pc->TabRect(3));
  Press(one);
  Move(three);
  EXPECT_EQ(CurrentDragObject(), nullptr);
  Release(three);
  EXPECT_EQ(asked, std::vector<Integer>{1});
  EXPECT_EQ(pc->ActivePage(), sheets[1]);

  // Allowed, but dropped back on the dragged tab, or on the empty part of the strip.
  pc->OnTabDragging = nullptr;
  Press(one);
  Move(Point(one.X, one.Y + 40));  // the drag waits for the pointer to move on from here
  EXPECT_EQ(CurrentDragObject(), nullptr);
  Move(Point(one.X, one.Y + 50));
  ASSERT_NE(CurrentDragObject(), nullptr);
  Move(one);
  EXPECT_FALSE(pc->DragIndicatorShown());  // the selected tab is no target
  Release(one);
  const TPoint beyond = Point(pc->Width() - 10, 8);
  Press(one);
  Move(beyond);
  Release(beyond);
  EXPECT_TRUE(moves.empty());
  EXPECT_EQ(Order(), sheets);
}

TEST_F(DraggablePages, AnOnDragOverHandlerCanRefuseTheDrop) {
  pc->OnDragOver = [](TObject*, TObject*, Integer, Integer, TDragState, bool& accept) { accept = false; };
  const TPoint zero = Centre(pc->TabRect(0)), two = Centre(pc->TabRect(2));
  Press(zero);
  Move(Point(zero.X, zero.Y + 60));
  Move(two);
  EXPECT_FALSE(pc->DragIndicatorShown());
  Release(two);
  EXPECT_TRUE(moves.empty());
}

// The indicator is XORed onto the control: shown it changes the pixels at the target's edge,
// and taking it away (leaving the control) restores them exactly.
TEST_F(DraggablePages, TheIndicatorIsDrawnByInversionAndTakenAwayCleanly) {
  TCanvas* c = pc->Canvas();
  const TRect target = pc->TabRect(2);
  const TRect mark = pc->DragIndicatorRect(2);
  std::vector<TColor> before;
  for (Integer y = mark.Top; y < mark.Bottom; ++y)
    for (Integer x = mark.Left; x < mark.Right; ++x) before.push_back(c->GetPixel(x, y));
  // Selected tab 0 lies before the target: the mark sits across the target's far edge.
  EXPECT_LT(mark.Left, target.Right);
  EXPECT_GT(mark.Right, target.Right - pc->FixedDimension() / 2);
  const TPoint zero = Centre(pc->TabRect(0));
  Press(zero);
  Move(Point(zero.X, zero.Y + 60));
  Move(Centre(target));
  ASSERT_TRUE(pc->DragIndicatorShown());
  // The coloured triangle points into the tab; beside it lie the black triangles, which XOR
  // leaves as they were.
  auto beforeAt = [&](TPoint p) { return before[std::size_t((p.Y - mark.Top) * mark.Width() + (p.X - mark.Left))]; };
  const TPoint inTriangle = Point(mark.Left + 7, mark.Top + 3), beside = Point(mark.Left + 2, mark.Top + 6);
  EXPECT_EQ(c->GetPixel(inTriangle.X, inTriangle.Y),
            ColorToRGB(beforeAt(inTriangle)) ^ (0x505050 ^ ColorToRGB(form->Color())));
  EXPECT_EQ(c->GetPixel(beside.X, beside.Y), beforeAt(beside));
  // Out of the control (above the form's client area): the mark goes.
  Move(Point(-15, -15));
  EXPECT_FALSE(pc->DragIndicatorShown());
  std::vector<TColor> after;
  for (Integer y = mark.Top; y < mark.Bottom; ++y)
    for (Integer x = mark.Left; x < mark.Right; ++x) after.push_back(c->GetPixel(x, y));
  EXPECT_EQ(after, before);
  Release(Point(-15, -15));
}

// The mark stands across the outer edge of the target, on its side away from the selected tab,
// for every orientation of the strip (the strip runs upwards on the left, downwards on the
// right).
TEST_F(DraggablePages, IndicatorGeometryForEveryOrientation) {
  pc->SetTabStyle(tsSquareCorners);
  pc->SetActivePage(sheets[1]);
  struct Case {
    TClTabOrientation orientation;
    TClTabSequence sequence;
  } cases[] = {{toTop, tsStandard}, {toBottom, tsStandard}, {toLeft, tsStandard}, {toRight, tsStandard},
               {toTop, tsReverse},  {toLeft, tsReverse}};
  for (const Case& k : cases) {
    pc->SetTabOrientation(k.orientation);
    pc->SetTabSequence(k.sequence);
    pc->UpdateLayout();
    for (Integer target : {0, 2}) {
      const TRect t = pc->TabRect(target), m = pc->DragIndicatorRect(target);
      const TRect sel = pc->TabRect(1);
      const bool side = k.orientation == toLeft || k.orientation == toRight;
      // Across the strip: 2 outside the outer edge, 6 inside.
      std::pair<Integer, Integer> across{0, 0}, want{0, 0};
      switch (k.orientation) {
        case toTop: across = {m.Top, m.Bottom}, want = {t.Top - 2, t.Top + 6}; break;
        case toBottom: across = {m.Top, m.Bottom}, want = {t.Bottom - 6, t.Bottom + 2}; break;
        case toLeft: across = {m.Left, m.Right}, want = {t.Left - 2, t.Left + 6}; break;
        case toRight: across = {m.Left, m.Right}, want = {t.Right - 6, t.Right + 2}; break;
      }
      EXPECT_EQ(across, want) << k.orientation << " " << k.sequence << " target " << target;
      // Along the strip: 15 long, centred on the edge of the target away from the selected tab.
      const Integer lo = side ? m.Top : m.Left, hi = side ? m.Bottom : m.Right;
      EXPECT_EQ(hi - lo, 15);
      const Integer tLo = side ? t.Top : t.Left, tHi = side ? t.Bottom : t.Right;
      const Integer sLo = side ? sel.Top : sel.Left;
      const Integer edge = sLo > tLo ? tLo : tHi;
      EXPECT_LE(lo, edge) << k.orientation << " " << k.sequence << " target " << target;
      EXPECT_GE(hi, edge) << k.orientation << " " << k.sequence << " target " << target;
      EXPECT_LE(std::abs((lo + hi) / 2 - edge), 2) << k.orientation << " " << k.sequence << " target " << target;
    }
  }
}

// Dragged beyond the end of a strip too long for the control, the tabs scroll towards that end
// (first after 400 ms, then every 300 ms); each scroll request fires OnScrolledTabs.
TEST_F(DraggablePages, DraggingBeyondTheEdgeScrollsTheTabs) {
  for (const char* c : {"Five", "Six", "Seven", "Eight", "Nine", "Ten"}) {
    auto* s = new TClTabSheet(form);
    s->SetPageControl(pc);
    s->SetCaption(c);
  }
  pc->Repaint();
  ASSERT_TRUE(pc->ScrollNeeded());
  int scrolled = 0;
  pc->OnScrolledTabs = [&](TObject*) { ++scrolled; };
  const TPoint zero = Centre(pc->TabRect(0));
  // The card's frame line under the strip: the control itself, but no tab (the page below is a
  // control of its own).
  const TPoint noTab = Point(zero.X, pc->FixedDimension());
  Press(zero);
  Move(Point(zero.X + 20, zero.Y));
  Move(noTab);  // the timer starts
  ASSERT_EQ(pc->TabAtPos(noTab.X, noTab.Y), -1);
  ASSERT_NE(pc->DragScrollTimer(), nullptr);
  EXPECT_TRUE(pc->DragScrollTimer()->Enabled());
  EXPECT_EQ(pc->DragScrollTimer()->Interval(), 400u);
  Move(Point(pc->Width() + 20, zero.Y));  // beyond the right edge
  const Integer first = pc->FirstShownTab();
  pc->DragScrollTick();
  EXPECT_EQ(pc->DragScrollTimer()->Interval(), 300u);
  EXPECT_GT(pc->FirstShownTab(), first);
  EXPECT_EQ(scrolled, 1);
  // Left of the control it scrolls back; inside it nothing scrolls.
  Move(Point(-20, zero.Y));
  pc->DragScrollTick();
  EXPECT_EQ(pc->FirstShownTab(), first);
  Move(noTab);
  pc->DragScrollTick();
  EXPECT_EQ(pc->FirstShownTab(), first);
  EXPECT_EQ(scrolled, 2);
  // The real timer drives it too, and stops with the drag.
  Move(Point(pc->Width() + 20, zero.Y));
  for (int i = 0; i < 40 && pc->FirstShownTab() == first; ++i) {
    Application->ProcessMessages();
    Sleep(25);
  }
  EXPECT_GT(pc->FirstShownTab(), first);
  Release(Point(pc->Width() + 20, zero.Y));
  EXPECT_FALSE(pc->DragScrollTimer()->Enabled());
  EXPECT_TRUE(moves.empty());
}

// A handler that fails during the drop is reported like any handler's failure; the drag is
// over all the same, nothing of it stays on the screen, and the next drag works.
TEST_F(DraggablePages, AFailingHandlerEndsTheDragCleanly) {
  testsupport::ScriptedServices services;
  pc->OnTabOrderChange = [](TObject*, Integer, Integer) { throw Exception("order store is full"); };
  const TPoint zero = Centre(pc->TabRect(0)), two = Centre(pc->TabRect(2));
  Press(zero);
  Move(Point(zero.X, zero.Y + 60));
  Move(two);
  Release(two);
  EXPECT_EQ(CurrentDragObject(), nullptr);
  EXPECT_FALSE(pc->DragIndicatorShown());
  const auto shown = services.CallsOf("MessageBox");
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].Text, "order store is full.");
  EXPECT_EQ(pc->PageAt(2), sheets[0]);  // the move itself was made before the handler ran

  // The scroll timer's tick stops when its scrolling fails.
  pc->OnTabOrderChange = [this](TObject*, Integer a, Integer b) { moves.emplace_back(a, b); };
  for (const char* c : {"Five", "Six", "Seven", "Eight", "Nine", "Ten"}) {
    auto* s = new TClTabSheet(form);
    s->SetPageControl(pc);
    s->SetCaption(c);
  }
  pc->Repaint();
  pc->OnScrolledTabs = [](TObject*) { throw Exception("no room"); };
  const TPoint first = Centre(pc->TabRect(0));
  Press(first);
  Move(Point(first.X + 20, first.Y));
  Move(Point(first.X, pc->FixedDimension()));
  ASSERT_NE(pc->DragScrollTimer(), nullptr);
  Move(Point(pc->Width() + 20, first.Y));
  EXPECT_THROW(pc->DragScrollTick(), Exception);
  EXPECT_FALSE(pc->DragScrollTimer()->Enabled());
  Release(Point(pc->Width() + 20, first.Y));
  EXPECT_EQ(CurrentDragObject(), nullptr);

  // The control that was dragged goes away in the middle of a drag: the drag ends with it.
  Press(first);
  Move(Point(first.X + 20, first.Y));
  Move(Point(first.X + 40, first.Y));
  ASSERT_NE(CurrentDragObject(), nullptr);
  delete pc;
  pc = nullptr;
  EXPECT_EQ(CurrentDragObject(), nullptr);
}

// A drop on a tab when pages with hidden tabs lie between: the page lands where the tab is.
TEST_F(DraggablePages, DropCountsTabsNotPagesWithHiddenTabs) {
  sheets[1]->SetTabVisible(false);
  pc->Repaint();
  const TPoint zero = Centre(pc->TabRect(0)), last = Centre(pc->TabRect(2));  // "Four"
  Press(zero);
  Move(Point(zero.X, zero.Y + 60));
  Move(last);
  Release(last);
  EXPECT_EQ(Order(), (std::vector<TClTabSheet*>{sheets[1], sheets[2], sheets[3], sheets[0]}));
  EXPECT_EQ(pc->TabIndex(), 2);
}

}  // namespace
