// The tab control against its parent: the background colour that follows the parent's, the
// children told of the control's own colour changes, the card's soft shadow over a painted
// parent, and the screen colour probe behind the gradients.
#include <gtest/gtest.h>

#include "platform/gui/extctrls.h"
#include "platform/gui/screen_caps.h"
#include "widgets/tabs/page_control.h"
#include "widgets/tabs/tab_draw.h"

namespace {

TEST(TabParentColors, BackgroundFollowsTheParentUntilSetExplicitly) {
  TPanel parent(nullptr);
  parent.SetBounds(0, 0, 500, 300);
  parent.SetColor(clRed);
  TClPageControl pc(nullptr);
  pc.SetBounds(10, 10, 300, 200);
  pc.SetParent(&parent);
  EXPECT_TRUE(pc.ParentBackgroundColor());
  EXPECT_EQ(pc.BackgroundColor(), clRed);
  parent.SetColor(clLime);
  EXPECT_EQ(pc.BackgroundColor(), clLime);
  EXPECT_TRUE(pc.ParentBackgroundColor());
  // The background beside the (absent) tabs shows it.
  auto* page = new TClTabSheet(&pc);
  page->SetPageControl(&pc);
  page->SetCaption("Only");
  pc.PaintNow();
  EXPECT_EQ(pc.Canvas()->GetPixel(280, 5), clLime);

  // An explicit colour ends the link; switching it back on takes the parent's colour again.
  pc.SetBackgroundColor(clNavy);
  EXPECT_FALSE(pc.ParentBackgroundColor());
  parent.SetColor(clYellow);
  EXPECT_EQ(pc.BackgroundColor(), clNavy);
  pc.SetParentBackgroundColor(true);
  EXPECT_EQ(pc.BackgroundColor(), clYellow);
  pc.SetParent(nullptr);
}

// Whether or not the tabs keep colours of their own, children that take their parent's colour
// follow the control's.
TEST(TabParentColors, ColourChangesReachTheChildren) {
  for (bool colored : {false, true}) {
    TClCustomTabControl outer(nullptr);
    outer.SetBounds(0, 0, 400, 300);
    outer.SetUseColoredTabs(colored);
    TPanel child(nullptr);
    child.SetParent(&outer);
    child.SetParentColor(true);
    TClCustomTabControl inner(nullptr);
    inner.SetParent(&outer);
    outer.PaintNow();
    outer.SetColor(clTeal);
    EXPECT_EQ(child.Color(), clTeal) << colored;
    EXPECT_EQ(inner.BackgroundColor(), clTeal) << colored;
    // Without a selected tab the card shows the control's colour: it repaints either way.
    outer.PaintNow();
    EXPECT_EQ(outer.Canvas()->GetPixel(200, 280), clTeal) << colored;
    child.SetParent(nullptr);
    inner.SetParent(nullptr);
  }
}

// The soft shadow in the card's last two columns and rows darkens what the parent shows there,
// not what the control painted.
TEST(TabParentColors, ShadowBlendsWithThePaintedParent) {
  TPanel parent(nullptr);
  parent.SetBevelOuter(bvNone);
  parent.SetBounds(0, 0, 400, 300);
  const TColor behind = RGB(40, 160, 250);
  parent.SetColor(behind);
  parent.PaintNow();
  TClPageControl pc(nullptr);
  pc.SetParent(&parent);
  pc.SetBounds(20, 20, 300, 200);
  auto* page = new TClTabSheet(&pc);
  page->SetPageControl(&pc);
  pc.SetActivePage(page);
  page->SetCaption("Shadowed");
  pc.PaintNow();
  TCanvas* c = pc.Canvas();
  const TColor heavy = MixColors(clBlack, behind, 30), light = MixColors(clBlack, behind, 15);
  EXPECT_EQ(heavy, RGB(35, 141, 221));
  EXPECT_EQ(c->GetPixel(298, 120), heavy);  // weight 30 beside the frame
  EXPECT_EQ(c->GetPixel(299, 120), light);  // weight 15 at the edge
  EXPECT_EQ(c->GetPixel(150, 198), heavy);
  EXPECT_EQ(c->GetPixel(150, 199), light);
  EXPECT_EQ(c->GetPixel(297, 120), clGray);  // the frame itself
  // With Transparent the parent also shows through the background beside the tabs.
  pc.SetTransparent(true);
  pc.PaintNow();
  EXPECT_EQ(c->GetPixel(280, 5), behind);
  pc.SetParent(nullptr);
}

TEST(TabScreenColors, ProbedOnceFromTheScreenAtStartUp) {
  // The start-up routine has run with the screen's NUMCOLORS; later probes change nothing.
  EXPECT_EQ(ScreenHasManyColors(), GetScreenDeviceCaps(NUMCOLORS) == -1);
  EXPECT_EQ(GetScreenDeviceCaps(NUMCOLORS) == -1, GetScreenDeviceCaps(BITSPIXEL) > 8);
  const bool first = ScreenHasManyColors();
  ProbeScreenColors(first ? 256 : -1);
  EXPECT_EQ(ScreenHasManyColors(), first);
}

}  // namespace
