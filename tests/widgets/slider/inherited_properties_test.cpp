// The framework properties the slider and the page control inherit from every control: anchors
// that follow the parent's resizes, size constraints, and the context menu after a right click.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/gui/application.h"
#include "platform/gui/forms.h"
#include "platform/gui/input_simulation.h"
#include "platform/gui/menus.h"
#include "widgets/slider/slider.h"
#include "widgets/tabs/page_control.h"

namespace {

// A menu that records where it was asked to show instead of opening.
class RecordingMenu : public TPopupMenu {
 public:
  explicit RecordingMenu(TComponent* AOwner) : TPopupMenu(AOwner) {}
  void Popup(Integer X, Integer Y) override {
    if (OnPopup) OnPopup(this);
    Shown.push_back(Point(X, Y));
  }
  std::vector<TPoint> Shown;
};

TEST(InheritedProperties, AnchoredControlsFollowTheirParentsResize) {
  TForm form(nullptr);
  form.SetClientWidth(400);
  form.SetClientHeight(300);
  struct Case {
    TAnchors Anchors;
    TRect After;  // after the parent grows by 100 x 50
  } const cases[] = {
      {akLeft | akTop, Rect(20, 30, 220, 54)},
      {akLeft | akTop | akRight, Rect(20, 30, 320, 54)},
      {akTop | akRight, Rect(120, 30, 320, 54)},
      {akLeft | akBottom, Rect(20, 80, 220, 104)},
      {akLeft | akTop | akRight | akBottom, Rect(20, 30, 320, 104)},
      {akTop, Rect(50, 30, 250, 54)},  // neither side: the centre keeps its proportion
  };
  for (const Case& c : cases) {
    form.SetClientWidth(400);
    form.SetClientHeight(300);
    auto* slider = new TClSlider(&form);
    slider->SetParent(&form);
    slider->SetBounds(20, 30, 200, 24);
    slider->SetAnchors(c.Anchors);
    auto* pages = new TClPageControl(&form);
    pages->SetParent(&form);
    pages->SetBounds(20, 30, 200, 24);
    pages->SetAnchors(c.Anchors);
    form.SetClientWidth(500);
    form.SetClientHeight(350);
    EXPECT_EQ(slider->BoundsRect(), c.After) << int(c.Anchors);
    EXPECT_EQ(pages->BoundsRect(), c.After) << int(c.Anchors);
    // A stretched slider lays its ruler out again for its new length.
    EXPECT_EQ(slider->RulerBitmap()->Width(), c.After.Width() - 12) << int(c.Anchors);
    delete slider;
    delete pages;
  }
}

TEST(InheritedProperties, ConstraintsCapTheBounds) {
  TClSlider slider(nullptr);
  EXPECT_EQ(slider.Constraints()->MaxWidth(), 0);
  EXPECT_EQ(slider.Anchors(), akLeft | akTop);
  slider.SetBounds(0, 0, 300, 40);
  slider.Constraints()->SetMaxWidth(250);  // applies to the present size at once
  EXPECT_EQ(slider.Width(), 250);
  slider.Constraints()->SetMinHeight(30);
  slider.Constraints()->SetMaxHeight(60);
  slider.SetBounds(5, 6, 900, 10);
  EXPECT_EQ(slider.BoundsRect(), Rect(5, 6, 255, 36));
  slider.SetHeight(100);
  EXPECT_EQ(slider.Height(), 60);
  EXPECT_EQ(slider.RulerBitmap()->Width(), 250 - 12);

  TClPageControl pages(nullptr);
  TSizeConstraints limits;
  limits.SetMinWidth(120);
  pages.SetConstraints(&limits);
  pages.SetBounds(0, 0, 50, 50);
  EXPECT_EQ(pages.Width(), 120);

  // A window holds to its limits too, and its anchored slider follows what the limits allow.
  TForm form(nullptr);
  form.SetBounds(0, 0, 400, 300);
  auto* anchored = new TClSlider(&form);
  anchored->SetParent(&form);
  anchored->SetBounds(10, 10, form.ClientWidth() - 20, 24);
  anchored->SetAnchors(akLeft | akTop | akRight);
  form.Constraints()->SetMaxWidth(350);
  EXPECT_EQ(form.Width(), 350);
  EXPECT_EQ(anchored->Width(), form.ClientWidth() - 20);
}

TEST(InheritedProperties, ARightClickAsksOnContextPopupThenShowsTheMenu) {
  TForm form(nullptr);
  form.SetClientWidth(400);
  form.SetClientHeight(300);
  auto* slider = new TClSlider(&form);
  slider->SetParent(&form);
  slider->SetBounds(10, 10, 200, 40);
  auto* pages = new TClPageControl(&form);
  pages->SetParent(&form);
  pages->SetBounds(10, 100, 300, 150);
  ShowActive(&form);

  for (TControl* control : std::vector<TControl*>{slider, pages}) {
    auto* menu = new RecordingMenu(&form);
    control->SetPopupMenu(menu);
    std::vector<TPoint> asked;
    bool handle = false;
    std::vector<std::string> order;
    menu->OnPopup = [&](TObject*) { order.push_back("menu"); };
    control->OnContextPopup = [&](TObject* Sender, TPoint MousePos, bool& Handled) {
      EXPECT_EQ(Sender, control);
      order.push_back("ask");
      asked.push_back(MousePos);
      Handled = handle;
    };
    SimulateMouse(control, smPress, mbRight, 30, 20);
    EXPECT_TRUE(asked.empty()) << control->ClassName();  // the release asks, not the press
    SimulateMouse(control, smRelease, mbRight, 30, 20);
    ASSERT_EQ(asked.size(), 1u) << control->ClassName();
    EXPECT_EQ(asked[0], Point(30, 20));
    ASSERT_EQ(menu->Shown.size(), 1u) << control->ClassName();
    EXPECT_EQ(menu->Shown[0], control->ClientToScreen(Point(30, 20)));
    EXPECT_EQ(menu->PopupComponent(), control);

    // Handled: no menu.
    handle = true;
    SimulateClick(control, 31, 21, mbRight);
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(menu->Shown.size(), 1u) << control->ClassName();

    // A left click asks nothing.
    SimulateClick(control, 31, 21, mbLeft);
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(order, (std::vector<std::string>{"ask", "menu", "ask"}));

    // A menu that goes leaves no dangling reference behind.
    delete menu;
    EXPECT_EQ(control->PopupMenu(), nullptr);
    control->OnContextPopup = nullptr;
  }

  // Without a menu of its own the control's parent is asked, in the parent's coordinates.
  auto* formMenu = new RecordingMenu(&form);
  form.SetPopupMenu(formMenu);
  SimulateClick(slider, 5, 6, mbRight);
  ASSERT_EQ(formMenu->Shown.size(), 1u);
  EXPECT_EQ(formMenu->Shown[0], slider->ClientToScreen(Point(5, 6)));
  EXPECT_EQ(formMenu->PopupComponent(), &form);
}

}  // namespace
