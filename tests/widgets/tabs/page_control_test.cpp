#include "widgets/tabs/page_control.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/gui/forms.h"
#include "widgets/tabs/tab_buttons.h"

namespace {

// The main window's output pages: 894 x 302, three 220 x 59 pictures, no captions.
struct OutputPages {
  std::unique_ptr<TImageList> images;
  std::unique_ptr<TClPageControl> pc;
  TClTabSheet* sheets[3] = {};
  std::vector<std::string> log;

  explicit OutputPages(bool loading = false) {
    images = std::make_unique<TImageList>(nullptr);
    images->SetWidth(220);
    images->SetHeight(59);
    const TColor fills[3] = {clRed, clLime, clBlue};
    for (TColor f : fills) {
      TBitmap b;
      b.SetPixelFormat(pf24bit);
      b.SetSize(220, 59);
      b.Canvas()->Brush()->SetColor(f);
      b.Canvas()->FillRect(Rect(0, 0, 220, 59));
      images->Add(&b, nullptr);
    }
    pc = std::make_unique<TClPageControl>(nullptr);
    if (loading) pc->BeginLoading();
    pc->SetBounds(0, 0, 894, 302);
    pc->Font()->SetName("Verdana");
    pc->SetImages(images.get());
    const char* names[3] = {"image", "audio", "video"};
    const Integer indexes[3] = {2, 1, 0};
    for (int i = 0; i < 3; ++i) {
      sheets[i] = new TClTabSheet(pc.get());
      sheets[i]->SetPageControl(pc.get());
      sheets[i]->SetImageIndex(indexes[i]);
      const std::string n = names[i];
      sheets[i]->OnShow = [this, n](TObject*) { log.push_back(n + ".OnShow"); };
      sheets[i]->OnHide = [this, n](TObject*) { log.push_back(n + ".OnHide"); };
    }
    pc->OnChanging = [this](TObject*, Integer i, bool&) { log.push_back("OnChanging " + std::to_string(i)); };
    pc->OnChange = [this](TObject*) { log.push_back("OnChange"); };
    pc->OnPageChange = [this](TObject*) { log.push_back("OnPageChange"); };
    pc->OnTabClick = [this](TObject*) { log.push_back("OnTabClick"); };
    pc->SetActivePage(sheets[0]);
    if (loading) pc->Loaded();
    log.clear();
  }
};

TEST(TabLayout, OutputPagesGeometry) {
  OutputPages f;
  f.pc->UpdateLayout();
  EXPECT_EQ(f.pc->FixedDimension(), 65);
  EXPECT_EQ(f.pc->TabAreaDepth(), 65);
  EXPECT_FALSE(f.pc->ScrollNeeded());
  EXPECT_EQ(f.pc->TabRect(0), Rect(0, 0, 292, 65));
  EXPECT_EQ(f.pc->TabRect(1), Rect(261, 0, 553, 65));
  EXPECT_EQ(f.pc->TabRect(2), Rect(522, 0, 814, 65));
  EXPECT_EQ(f.pc->TabAreaRect(), Rect(0, 0, 891, 65));
  EXPECT_EQ(f.pc->CardRect(0), Rect(0, 65, 893, 301));
  EXPECT_EQ(f.pc->PageRect(), Rect(1, 66, 891, 299));
  EXPECT_EQ(f.pc->TabContentRect(f.pc->TabRect(0)), Rect(5, 4, 227, 63));
  // The page fills the page rectangle.
  EXPECT_EQ(f.sheets[0]->BoundsRect(), Rect(1, 66, 891, 299));
}

TEST(TabLayout, OuterFrameWithoutTabs) {
  TClPageControl pc(nullptr);
  pc.SetBounds(0, 0, 941, 687);
  auto* page = new TClTabSheet(&pc);
  page->SetPageControl(&pc);
  page->SetTabVisible(false);
  pc.SetActivePage(page);
  pc.UpdateLayout();
  EXPECT_EQ(pc.FixedDimension(), 0);
  EXPECT_EQ(pc.TabIndex(), -1);
  EXPECT_TRUE(page->Visible());
  EXPECT_EQ(pc.CardRect(0), Rect(0, 0, 940, 686));
  EXPECT_EQ(pc.PageRect(), Rect(1, 1, 938, 684));
}

TEST(TabLayout, HitTestsPreferTheSelectedTab) {
  OutputPages f;
  f.pc->UpdateLayout();
  struct Case {
    Integer x, y, want;
  } cases[] = {
      {100, 30, 0},  {400, 30, 1},  {700, 30, 2},  {270, 40, 1},  // right of tab 0's slope
      {262, 50, 0},                                               // both cover it: the selected wins
      {850, 30, -1}, {805, 5, -1},  {400, 100, -1},
  };
  for (const Case& c : cases) EXPECT_EQ(f.pc->TabAtPos(c.x, c.y), c.want) << c.x << "," << c.y;
  f.pc->SetTabIndex(1);
  EXPECT_EQ(f.pc->TabAtPos(262, 50), 1);
}

TEST(TabPaint, OutputPagesPixels) {
  OutputPages f;
  f.pc->PaintNow();
  TCanvas* c = f.pc->Canvas();
  struct Probe {
    Integer x, y;
    TColor want;
  } probes[] = {
      {10, 10, clBlue},                 // image 2 on the selected tab, drawn at (5, 4)
      {4, 30, clSilver},                // selected tab filled with the control's colour
      {0, 30, clGray},                  // tab outline in the flat colour
      {264, 30, RGB(224, 224, 224)},    // gradient of an unselected tab
      {300, 10, clLime},                // image 1
      {100, 65, clSilver},              // gap in the card frame under the selected tab
      {400, 65, clGray},                // card frame beside it
      {891, 150, clGray},               // right frame, two pixels inside the card
      {892, 150, RGB(225, 225, 225)},   // shadow, weight 30
      {893, 150, RGB(240, 240, 240)},   // shadow, weight 15
      {450, 299, clGray},               // bottom frame
      {450, 300, RGB(225, 225, 225)},
      {850, 30, clSilver},              // background beside the tabs
  };
  for (const Probe& p : probes) EXPECT_EQ(c->GetPixel(p.x, p.y), p.want) << p.x << "," << p.y;
}

TEST(PageControlEvents, ClickOnAnotherTab) {
  OutputPages f;
  f.pc->UpdateLayout();
  f.pc->DoMouseDown(mbLeft, ssLeft, 400, 30);
  f.pc->DoMouseUp(mbLeft, 0, 400, 30);
  const std::vector<std::string> want = {"OnChanging 1", "audio.OnShow", "image.OnHide",
                                         "OnChange",     "OnPageChange", "OnTabClick"};
  EXPECT_EQ(f.log, want);
  EXPECT_EQ(f.pc->ActivePage(), f.sheets[1]);
  EXPECT_EQ(f.pc->TabIndex(), 1);
}

TEST(PageControlEvents, RefusalKeepsEverything) {
  OutputPages f;
  f.pc->UpdateLayout();
  f.pc->OnChanging = [&f](TObject*, Integer, bool& allow) {
    f.log.push_back("OnChanging");
    allow = false;
  };
  f.pc->DoMouseDown(mbLeft, ssLeft, 700, 30);
  EXPECT_EQ(f.log, std::vector<std::string>{"OnChanging"});
  EXPECT_EQ(f.pc->ActivePage(), f.sheets[0]);
  EXPECT_EQ(f.pc->TabIndex(), 0);
}

TEST(PageControlEvents, NothingFiresWhileLoading) {
  OutputPages f(true);
  for (const std::string& e : f.log) EXPECT_EQ(e.find("OnChang"), std::string::npos) << e;
  EXPECT_EQ(f.pc->TabIndex(), 0);
  EXPECT_EQ(f.pc->ActivePage(), f.sheets[0]);
  EXPECT_TRUE(f.sheets[0]->Visible());
  EXPECT_FALSE(f.sheets[1]->Visible());
  // The stored thickness already matches the layout.
  f.pc->SetFixedDimension(65);
  f.pc->UpdateLayout();
  EXPECT_EQ(f.pc->FixedDimension(), 65);
}

TEST(PageControlEvents, ActivePageWithHiddenTab) {
  OutputPages f;
  f.sheets[2]->SetTabVisible(false);
  f.pc->SetActivePage(f.sheets[2]);
  EXPECT_EQ(f.log, (std::vector<std::string>{"video.OnShow", "image.OnHide", "OnPageChange"}));
  EXPECT_EQ(f.pc->TabIndex(), -1);
}

TEST(TabKeys, ArrowsSkipRefusedAndEndWhereNothingIsSelectable) {
  OutputPages f;
  f.pc->UpdateLayout();
  f.pc->OnChanging = [](TObject*, Integer i, bool& allow) { allow = i != 1; };
  Word key = VK_RIGHT;
  f.pc->DoKeyDown(key, 0);
  EXPECT_EQ(f.pc->TabIndex(), 2);
  key = VK_RIGHT;
  f.pc->DoKeyDown(key, 0);
  EXPECT_EQ(f.pc->TabIndex(), 0);  // wraps
  // Nothing can be chosen: the search ends where it started.
  f.pc->OnChanging = [](TObject*, Integer, bool& allow) { allow = false; };
  key = VK_LEFT;
  f.pc->DoKeyDown(key, 0);
  EXPECT_EQ(f.pc->TabIndex(), 0);
  f.pc->SetTabIndex(-1);
  key = VK_LEFT;
  f.pc->DoKeyDown(key, 0);
  EXPECT_EQ(f.pc->TabIndex(), -1);
}

TEST(PageControlErrors, Texts) {
  OutputPages f;
  try {
    f.sheets[0]->SetPageIndex(3);
    FAIL();
  } catch (const EClTabControlError& e) {
    EXPECT_EQ(e.Message, "3 is an invalid PageIndex value. PageIndex must be between 0 and 2");
  }
  try {
    f.sheets[1]->SetVisible(true);
    FAIL();
  } catch (const EClTabControlError& e) {
    EXPECT_EQ(e.Message, "You cannot change the Visible property of a page");
  }
  EXPECT_THROW(f.pc->RegionCache()->SetCacheCapacity(0), EClTabControlError);
  std::vector<std::pair<Integer, Integer>> moves;
  f.pc->OnTabOrderChange = [&](TObject*, Integer a, Integer b) { moves.emplace_back(a, b); };
  f.sheets[0]->SetPageIndex(2);
  EXPECT_EQ(moves, (std::vector<std::pair<Integer, Integer>>{{0, 2}}));
  EXPECT_EQ(f.pc->PageAt(2), f.sheets[0]);
}

TEST(TabHotTracking, HotTabAndHintFollowThePointer) {
  OutputPages f;
  f.pc->SetHint("pages");
  f.pc->Loaded();
  f.pc->SetTabHints(true);
  f.pc->TabDataList()->Items(1)->Hint = "audio";
  f.pc->UpdateLayout();
  f.pc->DoMouseMove(0, 400, 30);
  EXPECT_EQ(f.pc->HotTab(), 1);
  EXPECT_EQ(f.pc->Hint(), "audio");
  ASSERT_NE(f.pc->HoverTimer(), nullptr);
  EXPECT_EQ(f.pc->HoverTimer()->Interval(), 60u);
  EXPECT_TRUE(f.pc->HoverTimer()->Enabled());
  f.pc->DoMouseMove(0, 400, 200);  // onto the card: hot tracking ends at once
  EXPECT_EQ(f.pc->HotTab(), -1);
  EXPECT_EQ(f.pc->Hint(), "pages");
  f.pc->DoMouseMove(0, 700, 30);
  EXPECT_EQ(f.pc->HotTab(), 2);
  f.pc->HoverTimerTick();  // still over the tab
  EXPECT_EQ(f.pc->HotTab(), 2);
}

TEST(PageControlClose, NeedsPermissionAndKeepsIndexZero) {
  OutputPages f;
  f.pc->SetShowCloseButton(true);
  f.pc->PaintNow();
  TClTabControlCloseButton* b = f.pc->CloseButton();
  ASSERT_NE(b, nullptr);
  auto click = [b] {
    b->DoMouseDown(mbLeft, ssLeft, 2, 2);
    b->DoMouseUp(mbLeft, 0, 2, 2);
  };
  click();  // no OnClose handler: nothing closes
  EXPECT_EQ(f.pc->PageTotal(), 3);
  f.pc->OnClose = [](TObject*, bool& allow) { allow = true; };
  click();
  EXPECT_EQ(f.pc->PageTotal(), 2);
  EXPECT_EQ(f.pc->TabIndex(), 0);
  EXPECT_EQ(f.pc->ActivePage(), f.sheets[1]);
}

TEST(TabScroller, RepeatsAt400ThenEvery100) {
  TClPageControl pc(nullptr);
  TClTabScroller s(nullptr, &pc);
  s.SetBounds(0, 0, 40, 20);
  int up = 0, down = 0;
  s.OnUpRightClick = [&](TObject*) { ++up; };
  s.OnDownLeftClick = [&](TObject*) { ++down; };
  s.DoMouseDown(mbLeft, ssLeft, 30, 10);  // right half
  ASSERT_NE(s.RepeatTimer(), nullptr);
  EXPECT_EQ(s.RepeatTimer()->Interval(), 400u);
  EXPECT_TRUE(s.RepeatTimer()->Enabled());
  EXPECT_EQ(up, 0);
  // Held for one second: ticks at 400, 500, ..., 1000 ms.
  for (int t = 400; t <= 1000; t += 100) {
    s.ScrollerRepeat();
    EXPECT_EQ(s.RepeatTimer()->Interval(), 100u);
  }
  EXPECT_EQ(up, 7);
  s.DoMouseUp(mbLeft, 0, 30, 10);
  EXPECT_EQ(up, 8);  // once more on release
  EXPECT_FALSE(s.RepeatTimer()->Enabled());
  // Dragged off the half: no repeats and nothing on release.
  s.DoMouseDown(mbLeft, ssLeft, 5, 10);
  s.DoMouseMove(ssLeft, 30, 10);
  s.ScrollerRepeat();
  s.DoMouseUp(mbLeft, 0, 30, 10);
  EXPECT_EQ(down, 0);
  EXPECT_EQ(up, 8);
}

}  // namespace
