// Tabs on several rows, the mirrored strips, scrolling at the end of a single row, and the tab
// menu.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gui/application.h"
#include "platform/gui/forms.h"
#include "platform/gui/input_simulation.h"
#include "platform/gui/menus.h"
#include "widgets/tabs/tab_buttons.h"
#include "widgets/tabs/tab_control.h"

namespace {

void AddTabs(TClCustomTabControl& C, const std::vector<AnsiString>& Captions) {
  for (const AnsiString& caption : Captions) {
    auto* t = new TClTabData();
    t->Caption = caption;
    C.TabDataList()->AddTabData(t);
  }
  C.RefreshTabs();
}

std::vector<Integer> Rows(TClCustomTabControl& C) {
  std::vector<Integer> rows;
  for (Integer i = 0; i < C.TabDataList()->Count(); ++i) rows.push_back(C.TabDataList()->Items(i)->Row);
  return rows;
}

// Six tabs of 100 pixels on a 297-pixel strip: two to a row (a third would reach 302), so
// three rows, each stepped back by the row overlap and in by the row indent.
TEST(TabRows, WrapIntoRowsAndBringTheSelectedRowToTheFront) {
  TClCustomTabControl c(nullptr);
  c.SetBounds(0, 0, 300, 200);
  c.SetTabStyle(tsSquareCorners);
  c.SetTabWidth(100);
  c.SetTabHeight(20);
  c.SetMultiLine(true);
  AddTabs(c, {"a", "b", "c", "d", "e", "f"});
  c.UpdateLayout();
  EXPECT_EQ(c.RowCount(), 3);
  EXPECT_EQ(Rows(c), (std::vector<Integer>{0, 0, 1, 1, 2, 2}));
  // Depth 3 + 20 + 2 x (20 - 5): row 0 at 33, row 1 at 18, row 2 at 3.
  EXPECT_EQ(c.TabAreaDepth(), 53);
  const TRect a = c.TabDataList()->Items(0)->TabRect, c2 = c.TabDataList()->Items(2)->TabRect,
              e = c.TabDataList()->Items(4)->TabRect;
  EXPECT_EQ(a, Rect(0, 33, 100, 53));
  EXPECT_EQ(c.TabDataList()->Items(1)->TabRect, Rect(101, 33, 201, 53));
  EXPECT_EQ(c2, Rect(0, 18, 100, 38));
  EXPECT_EQ(e, Rect(0, 3, 100, 23));
  // Rows behind the front one stand in by the row indent.
  EXPECT_EQ(c.TabLogicalRect(2).Left, 5);
  EXPECT_EQ(c.TabLogicalRect(4).Left, 10);

  // Selecting a tab of the back row rotates the rows: that row comes to the front, the others
  // keep their cyclic order and take the slots they move into.
  c.SetTabIndex(4);
  EXPECT_EQ(Rows(c), (std::vector<Integer>{1, 1, 2, 2, 0, 0}));
  EXPECT_EQ(c.TabDataList()->Items(4)->TabRect, Rect(0, 33, 100, 53));
  EXPECT_EQ(c.TabDataList()->Items(0)->TabRect, Rect(0, 18, 100, 38));
  EXPECT_EQ(c.TabDataList()->Items(2)->TabRect, Rect(0, 3, 100, 23));
  // The front row is what the mouse hits just above the card.
  EXPECT_EQ(c.TabAtPos(c.TabRect(5).Left + 50, 45), 5);
  // A repaint keeps the selected row in front.
  c.RefreshTabs();
  c.UpdateLayout();
  EXPECT_EQ(c.TabDataList()->Items(4)->Row, 0);
}

// A tab longer than the strip gets a row of its own instead of being cut to pieces.
TEST(TabRows, ALongTabStandsAlone) {
  TClCustomTabControl c(nullptr);
  c.SetBounds(0, 0, 300, 200);
  c.SetMultiLine(true);
  c.SetTabHeight(20);
  AddTabs(c, {"a", std::string(80, 'W'), "b"});
  c.UpdateLayout();
  EXPECT_EQ(c.RowCount(), 3);
  EXPECT_EQ(Rows(c), (std::vector<Integer>{0, 1, 2}));
}

// AlignTabs spreads the free length of a row over its tabs: 10 free pixels over three tabs are
// 4, 3 and 3, the first tabs taking the remainder.
TEST(TabRows, AlignTabsSpreadsTheFreeLength) {
  TClCustomTabControl c(nullptr);
  c.SetBounds(0, 0, 600, 200);
  c.SetMultiLine(true);
  AddTabs(c, {"One", "Two", "Three"});
  c.UpdateLayout();
  ASSERT_EQ(c.RowCount(), 1);
  std::vector<TRect> plain;
  for (Integer i = 0; i < 3; ++i) plain.push_back(c.TabDataList()->Items(i)->TabRect);
  const Integer span = plain[2].Right - plain[0].Left;
  // The strip runs to Width - 3 (two pixels for the shadow): ten pixels left over.
  c.SetWidth(span + 3 + 10);
  c.SetAlignTabs(true);
  c.UpdateLayout();
  ASSERT_EQ(c.RowCount(), 1);
  const Integer grow[3] = {4, 3, 3};
  Integer shift = 0;
  for (Integer i = 0; i < 3; ++i) {
    const TRect r = c.TabDataList()->Items(i)->TabRect;
    EXPECT_EQ(r.Left, plain[std::size_t(i)].Left + shift) << i;
    shift += grow[i];
    EXPECT_EQ(r.Right, plain[std::size_t(i)].Right + shift) << i;
  }
  // Without MultiLine the setting changes nothing.
  c.SetMultiLine(false);
  c.UpdateLayout();
  EXPECT_EQ(c.TabDataList()->Items(2)->TabRect.Right, plain[2].Right);
}

// Bottom tabs are top tabs mirrored: a strip point (x, y) maps to (x - s + AL, AB - y), in both
// sequences; the hit test follows the mirror.
TEST(TabRows, BottomTabsMirrorTopTabs) {
  for (TClTabSequence seq : {tsStandard, tsReverse}) {
    TClCustomTabControl c(nullptr);
    c.SetBounds(0, 0, 400, 150);
    c.SetShowShadow(false);
    c.SetTabSequence(seq);
    AddTabs(c, {"Alpha", "Beta", "Gamma"});
    c.UpdateLayout();
    std::vector<TRect> top;
    for (Integer i = 0; i < 3; ++i) top.push_back(c.TabRect(i));
    c.SetTabOrientation(toBottom);
    c.UpdateLayout();
    const Integer AB = c.Height() - 1;
    for (Integer i = 0; i < 3; ++i) {
      const TRect t = top[std::size_t(i)], b = c.TabRect(i);
      EXPECT_EQ(b, Rect(t.Left, AB - t.Bottom, t.Right, AB - t.Top)) << seq << " tab " << i;
      const TPoint mid = Point((t.Left + t.Right) / 2, (t.Top + t.Bottom) / 2);
      EXPECT_EQ(c.TabAtPos(mid.X, AB - mid.Y), i) << seq;
    }
    if (seq == tsReverse) {
      EXPECT_GT(top[0].Left, top[2].Left);  // the strip starts at the far end
    }
  }
}

// Scrolling forward when the last tab is already in view moves nothing, yet the request is
// reported; the scroller's arrow drives it as the user does.
TEST(TabRows, ScrollingAtTheEndStillFiresOnScrolledTabs) {
  TForm form(nullptr);
  form.SetBounds(100, 100, 300, 150);
  auto* c = new TClCustomTabControl(&form);
  c->SetParent(&form);
  c->SetBounds(0, 0, 260, 120);
  AddTabs(*c, {"First", "Second", "Third", "Fourth", "Fifth", "Sixth", "Seventh"});
  ShowActive(&form);
  c->Repaint();
  ASSERT_TRUE(c->ScrollNeeded());
  ASSERT_NE(c->Scroller(), nullptr);
  int fired = 0;
  c->OnScrolledTabs = [&](TObject*) { ++fired; };
  auto clickForward = [&] {
    const TRect b = c->Scroller()->BoundsRect();
    SimulateClick(c, b.Right - 3, (b.Top + b.Bottom) / 2);
    Application->ProcessMessages();
  };
  Integer last = -1, clicks = 0;
  while (c->FirstShownTab() != last && clicks < 10) {
    last = c->FirstShownTab();
    clickForward();
    ++clicks;
  }
  EXPECT_GT(last, 0);
  EXPECT_TRUE(c->TabInView(6));
  EXPECT_EQ(fired, clicks);
  clickForward();
  EXPECT_EQ(c->FirstShownTab(), last);
  EXPECT_EQ(fired, clicks + 1);
  // And backward from the start.
  c->ScrollTabs(false);
  while (c->FirstShownTab() > 0) c->ScrollTabs(false);
  const int before = fired;
  c->ScrollTabs(false);
  EXPECT_EQ(c->FirstShownTab(), 0);
  EXPECT_EQ(fired, before + 1);
}

// The menu button lists the visible tabs sorted by caption (without regard to case), ticks the
// selected one, and a chosen item selects its tab through the usual events.
TEST(TabMenu, SortedVisibleTabsWithTheSelectedTicked) {
  TForm form(nullptr);
  form.SetBounds(100, 100, 400, 200);
  auto* c = new TClCustomTabControl(&form);
  c->SetParent(&form);
  c->SetBounds(0, 0, 380, 150);
  c->SetShowMenuButton(true);
  AddTabs(*c, {"delta", "Alpha", "hidden", "Charlie", "bravo"});
  c->TabDataList()->Items(2)->Visible = false;
  c->TabDataList()->Items(3)->Enabled = false;
  c->TabDataList()->Items(3)->ImageIndex = 4;
  c->TabDataList()->Items(3)->DisabledIndex = 7;
  c->RefreshTabs();
  ShowActive(&form);
  c->SetTabIndex(4);
  c->Repaint();
  std::vector<std::string> events;
  c->OnChanging = [&](TObject*, Integer i, bool&) { events.push_back("changing " + std::to_string(i)); };
  c->OnChange = [&](TObject*) { events.push_back("change"); };
  TClTabMenuButton* b = c->MenuButton();
  ASSERT_NE(b, nullptr);
  SimulateClick(b);
  TMenuItem* items = b->Menu()->Items();
  ASSERT_EQ(items->Count(), 4);
  const char* captions[4] = {"Alpha", "bravo", "Charlie", "delta"};
  const Integer tags[4] = {1, 4, 3, 0};
  for (Integer i = 0; i < 4; ++i) {
    EXPECT_EQ(items->Items(i)->Caption(), captions[i]);
    EXPECT_EQ(items->Items(i)->Tag, tags[i]);
    EXPECT_EQ(items->Items(i)->Checked(), tags[i] == 4) << captions[i];
    EXPECT_EQ(items->Items(i)->Enabled(), tags[i] != 3) << captions[i];
  }
  EXPECT_EQ(items->Items(2)->ImageIndex(), 7);  // disabled: its disabled picture
  items->Items(3)->Click();
  EXPECT_EQ(c->TabIndex(), 0);
  EXPECT_EQ(events, (std::vector<std::string>{"changing 0", "change"}));
  // Unsorted: tab order.
  c->SetSortTabMenu(false);
  SimulateClick(b);
  ASSERT_EQ(items->Count(), 4);
  EXPECT_EQ(items->Items(0)->Caption(), "delta");
  EXPECT_EQ(items->Items(3)->Caption(), "bravo");
  EXPECT_TRUE(items->Items(0)->Checked());
}

}  // namespace
