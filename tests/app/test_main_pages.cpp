// The main window's two page controls: the outer frame whose only page hides its tab, and the
// output pages whose tabs are pictures.
#include <gtest/gtest.h>

#include "platform/gui/application.h"
#include "platform/gui/graphics.h"
#include "platform/gui/input_simulation.h"
#include "tests/app/app_windows_fixture.h"
#include "widgets/slider/slider.h"
#include "widgets/tabs/page_control.h"

namespace {

using apptest::AppWindows;

// A control lies on Page when Page is one of its ancestors.
bool LiesOn(const TControl* Control, const TControl* Page) {
  for (const TControl* c = Control; c; c = c->Parent())
    if (c == Page) return true;
  return false;
}

TEST_F(AppWindows, OuterFrameShowsItsOnlyPageWithoutATab) {
  TClPageControl* frame = main->ClPageControl1;
  EXPECT_EQ(frame->TabStyle(), tsBackSlant);
  ASSERT_EQ(frame->PageTotal(), 1);
  EXPECT_EQ(frame->ActivePage(), main->TabSheet6);
  EXPECT_FALSE(main->TabSheet6->TabVisible());
  EXPECT_EQ(frame->TabIndex(), -1);
  frame->UpdateLayout();
  EXPECT_EQ(frame->FixedDimension(), 0);
  EXPECT_TRUE(main->TabSheet6->Visible());
  EXPECT_EQ(main->pageto->Parent(), main->TabSheet6);
  EXPECT_EQ(main->btn_extract->Parent(), main->TabSheet6);
  // Pressing on the background of either moves the window.
  EXPECT_TRUE(frame->OnMouseDown);
  EXPECT_TRUE(main->TabSheet6->OnMouseDown);
}

TEST_F(AppWindows, OutputPagesInOrderWithPictureTabsAndImagesActive) {
  TClPageControl* pages = main->pageto;
  ASSERT_EQ(pages->PageTotal(), 3);
  EXPECT_EQ(pages->PageAt(0), main->imagesheet);
  EXPECT_EQ(pages->PageAt(1), main->audiosheet);
  EXPECT_EQ(pages->PageAt(2), main->videosheet);
  EXPECT_EQ(pages->ActivePage(), main->imagesheet);
  EXPECT_EQ(pages->TabIndex(), 0);
  EXPECT_EQ(pages->Images(), main->ImageList1);
  EXPECT_EQ(main->ImageList1->Count(), 3);
  const Integer pictures[3] = {2, 1, 0};
  for (Integer i = 0; i < 3; ++i) {
    EXPECT_EQ(pages->PageAt(i)->ImageIndex(), pictures[i]);
    EXPECT_EQ(pages->PageAt(i)->Caption(), "");
  }
  EXPECT_TRUE(main->imagesheet->Visible());
  EXPECT_FALSE(main->audiosheet->Visible());
  EXPECT_FALSE(main->videosheet->Visible());
  // The tabs take the pictures' size: 220 x 59 plus the slanted tab's frame.
  pages->UpdateLayout();
  EXPECT_EQ(pages->FixedDimension(), 65);
  for (Integer i = 0; i < 3; ++i) {
    const TRect r = pages->TabRect(i);
    EXPECT_EQ(r.Right - r.Left, 292) << i;
    EXPECT_EQ(r.Bottom - r.Top, 65) << i;
  }
  EXPECT_FALSE(pages->ScrollNeeded());
  // Every page's fields stay on it, whole: the tab strip leaves the pages less height than
  // plain tabs would.
  EXPECT_TRUE(LiesOn(main->cb_imageformats, main->imagesheet));
  EXPECT_TRUE(LiesOn(main->spin_tempo, main->audiosheet));
  EXPECT_TRUE(LiesOn(main->spin_motion, main->videosheet));
  EXPECT_EQ(main->imagesheet->BoundsRect(), pages->PageRect());
  const TRect area = pages->PageRect();
  for (Integer i = 0; i < 3; ++i) {
    TClTabSheet* page = pages->PageAt(i);
    for (Integer c = 0; c < page->ControlCount(); ++c) {
      const TRect r = page->Controls(c)->BoundsRect();
      EXPECT_TRUE(r.Left >= 0 && r.Top >= 0 && r.Right <= area.Right - area.Left && r.Bottom <= area.Bottom - area.Top)
          << page->Name() << " cuts off " << page->Controls(c)->Name();
    }
  }
}

// Each tab shows its page's picture, pixel for pixel, where the tab's content begins; a tab that
// shows another page's picture, or none, fails.
TEST_F(AppWindows, EachTabShowsItsPicture) {
  ShowActive(main);
  TClPageControl* pages = main->pageto;
  pages->Repaint();
  Application->ProcessMessages();
  TBitmap* shown = pages->PaintBuffer();
  ASSERT_EQ(shown->Width(), pages->Width());

  // Images, audio, video: the image list holds them the other way round.
  const Integer pictures[3] = {2, 1, 0};
  for (Integer tab = 0; tab < 3; ++tab) {
    const Integer picture = pictures[tab];
    TBitmap expected;
    ASSERT_TRUE(main->ImageList1->GetBitmap(picture, &expected));
    const TRect content = pages->TabContentRect(pages->TabRect(tab));
    // The neighbouring tabs' slants may cover the picture's outer columns; its middle is free.
    Integer differing = 0, compared = 0;
    for (Integer y = 2; y < 57; ++y) {
      for (Integer x = 36; x < 200; ++x) {
        ++compared;
        if (shown->PixelColor(content.Left + x, content.Top + y) != expected.PixelColor(x, y)) ++differing;
      }
    }
    EXPECT_EQ(differing, 0) << "tab " << tab << " of " << compared << " pixels";
    // And that is what the window shows.
    for (Integer x : {40, 100, 160}) {
      EXPECT_EQ(PixelOnScreen(pages, content.Left + x, content.Top + 30), expected.PixelColor(x, 30))
          << "tab " << tab << " x " << x;
    }
  }
}

// The cut sliders and the output pages have the sizes the window was drawn for, and on each of
// the three pages every control lies inside its parent and shows its caption whole.
TEST_F(AppWindows, SlidersAndPagesHaveTheirSizesAndEveryCaptionFits) {
  ShowActive(main);
  for (TClSlider* slider : {main->split_begin, main->split_end}) {
    EXPECT_EQ(slider->Width(), 885) << slider->Name();
    EXPECT_EQ(slider->Height(), 24) << slider->Name();
    const TRect r = slider->BoundsRect();
    EXPECT_TRUE(r.Left >= 0 && r.Right <= slider->Parent()->ClientWidth()) << slider->Name();
  }
  TClPageControl* pages = main->pageto;
  EXPECT_EQ(pages->Width(), 894);
  EXPECT_EQ(pages->Height(), 302);
  pages->UpdateLayout();
  EXPECT_EQ(pages->PageRect(), Rect(1, 66, 891, 299));
  const TRect onWindow = pages->BoundsRect();
  EXPECT_TRUE(onWindow.Right <= main->TabSheet6->ClientWidth() && onWindow.Bottom <= main->btn_extract->Top());

  Integer checked = 0;
  for (Integer p = 0; p < pages->PageTotal(); ++p) {
    TClTabSheet* page = pages->PageAt(p);
    pages->SetActivePage(page);
    Application->ProcessMessages();
    for (Integer i = 0; i < main->ComponentCount(); ++i) {
      auto* c = dynamic_cast<TControl*>(main->Components(i));
      if (!c || c == page || !LiesOn(c, page)) continue;
      const AnsiString what = c->Name() + " \"" + c->Caption() + "\"";
      const TRect r = c->BoundsRect();
      EXPECT_TRUE(r.Left >= 0 && r.Top >= 0 && r.Right <= c->Parent()->ClientWidth() &&
                  r.Bottom <= c->Parent()->ClientHeight())
          << what << " sticks out of " << c->Parent()->Name();
      const Integer needed = CaptionWidthNeeded(c);
      if (needed == 0) continue;
      ++checked;
      EXPECT_LE(needed, c->Width()) << what << " is cut off: needs " << needed << ", has " << c->Width();
    }
  }
  pages->SetActivePage(main->imagesheet);
  EXPECT_GT(checked, 40);
}

TEST_F(AppWindows, ClickingATabShowsItsPage) {
  ShowActive(main);
  TClPageControl* pages = main->pageto;
  pages->UpdateLayout();
  auto clickTab = [pages](Integer Tab) {
    const TRect r = pages->TabContentRect(pages->TabRect(Tab));
    SimulateClick(pages, (r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
    Application->ProcessMessages();
  };
  struct Case {
    Integer Tab;
    TClTabSheet* Page;
    TControl* Field;
  };
  const Case cases[] = {{2, main->videosheet, main->spin_motion},
                        {1, main->audiosheet, main->spin_volume},
                        {0, main->imagesheet, main->cb_imageformats}};
  for (const Case& c : cases) {
    clickTab(c.Tab);
    EXPECT_EQ(pages->ActivePage(), c.Page) << "tab " << c.Tab;
    EXPECT_EQ(pages->TabIndex(), c.Tab);
    for (Integer i = 0; i < pages->PageTotal(); ++i)
      EXPECT_EQ(pages->PageAt(i)->Visible(), pages->PageAt(i) == c.Page) << "tab " << c.Tab << " page " << i;
    EXPECT_TRUE(c.Field->Showing()) << "tab " << c.Tab;
  }
}

// Ctrl+Tab from a field of the output pages shows the next page and puts the focus on its
// first field, not on the page control.
TEST_F(AppWindows, CtrlTabMovesTheFocusToTheNextPagesFirstField) {
  ShowActive(main);
  TClPageControl* pages = main->pageto;
  main->cb_imageformats->SetFocus();
  Application->ProcessMessages();
  const TClTabSheet* order[] = {main->audiosheet, main->videosheet, main->imagesheet};
  for (const TClTabSheet* page : order) {
    SimulateKey(main->ActiveControl(), VK_TAB, ssCtrl);
    Application->ProcessMessages();
    EXPECT_EQ(pages->ActivePage(), page);
    TWinControl* focus = main->ActiveControl();
    ASSERT_NE(focus, nullptr);
    EXPECT_TRUE(LiesOn(focus, page)) << focus->Name();
    EXPECT_NE(focus, page);
    EXPECT_TRUE(focus->Focused()) << focus->Name();
  }
}

}  // namespace
