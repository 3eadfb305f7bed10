#include "widgets/tabs/tab_buttons.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/gui/graphics.h"
#include "platform/rtl/sysutils.h"
#include "widgets/tabs/tab_control.h"
#include "widgets/tabs/tab_draw.h"

// ------------------------------------------------------------------------------ common

TClTabButtonBase::TClTabButtonBase(TComponent* AOwner, TClCustomTabControl* TabControl)
    : TCustomControl(AOwner), FTabControl(TabControl) {
  ControlStyle = csCaptureMouse | csOpaque;
}

void TClTabButtonBase::SetFrameColor(TColor Value) {
  if (Value == FFrameColor) return;
  FFrameColor = Value;
  Invalidate();
}

void TClTabButtonBase::MouseEnter() {
  if (ComponentState() & csDesigning) return;
  FHot = true;
  TCustomControl::MouseEnter();
  Repaint();
}

void TClTabButtonBase::MouseLeave() {
  FHot = false;
  TCustomControl::MouseLeave();
  Repaint();
}

void TClTabButtonBase::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  FButtonHeld = true;
  FPressed = true;
  Invalidate();
  SetMouseCapture(true);
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TClTabButtonBase::MouseMove(TShiftState Shift, Integer X, Integer Y) {
  if (FButtonHeld) {
    const bool inside = PtInRect(ClientRect(), Point(X, Y));
    if (inside != FPressed) {
      FPressed = inside;
      Repaint();
    }
  }
  TCustomControl::MouseMove(Shift, X, Y);
}

void TClTabButtonBase::MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  SetMouseCapture(false);
  FButtonHeld = false;
  if (FPressed) {
    FPressed = false;
    Action();
    Repaint();
  }
  TCustomControl::MouseUp(Button, Shift, X, Y);
}

// ------------------------------------------------------------------------------ scroller

TClTabScroller::TClTabScroller(TComponent* AOwner, TClCustomTabControl* TabControl)
    : TClTabButtonBase(AOwner, TabControl) {}

void TClTabScroller::SetOrientation(TOrientation Value) {
  if (Value == FOrientation) return;
  FOrientation = Value;
  Invalidate();
}

Integer TClTabScroller::HalfAt(Integer X, Integer Y) const {
  if (FOrientation == orHorizontal) return X >= Width() / 2 ? 1 : 0;
  return Y <= Height() / 2 ? 1 : 0;
}

void TClTabScroller::DownLeftClick() {
  if (OnDownLeftClick) OnDownLeftClick(this);
}

void TClTabScroller::UpRightClick() {
  if (OnUpRightClick) OnUpRightClick(this);
}

void TClTabScroller::FireHalf(Integer Half) {
  if (Half == 0)
    DownLeftClick();
  else
    UpRightClick();
}

void TClTabScroller::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  FPressedHalf = HalfAt(X, Y);
  TClTabButtonBase::MouseDown(Button, Shift, X, Y);
  if (!FTimer) {
    FTimer = new TTimer(this);
    FTimer->SetEnabled(false);
    FTimer->OnTimer = [this](TObject*) { ScrollerRepeat(); };
  }
  FTimer->SetInterval(FFirstInterval);
  FTimer->SetEnabled(true);
}

void TClTabScroller::MouseMove(TShiftState Shift, Integer X, Integer Y) {
  if (FButtonHeld) {
    bool inHalf;
    if (FOrientation == orHorizontal)
      inHalf = FPressedHalf == 1 ? (X >= Width() / 2 && X < Width()) : (X >= 0 && X < Width() / 2);
    else
      inHalf = FPressedHalf == 1 ? (Y >= 0 && Y <= Height() / 2) : (Y > Height() / 2 && Y < Height());
    if (inHalf != FPressed) {
      FPressed = inHalf;
      Repaint();
    }
  } else if (FHot) {
    const Integer half = HalfAt(X, Y);
    if (half != FHotHalf) {
      FHotHalf = half;
      Invalidate();
    }
  }
  TCustomControl::MouseMove(Shift, X, Y);
}

void TClTabScroller::ScrollerRepeat() {
  if (!FTimer) return;
  FTimer->SetInterval(FRepeatInterval);
  if (FPressed && FButtonHeld) {
    try {
      FireHalf(FPressedHalf);
    } catch (...) {
      FTimer->SetEnabled(false);
      throw;
    }
  }
}

void TClTabScroller::MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  if (FTimer) FTimer->SetEnabled(false);
  SetMouseCapture(false);
  FButtonHeld = false;
  if (FPressed) {
    FPressed = false;
    FireHalf(FPressedHalf);
    Invalidate();
  }
  TCustomControl::MouseUp(Button, Shift, X, Y);
}

void TClTabScroller::Paint() {
  TCanvas* c = Canvas();
  const TRect r = ClientRect();
  TRect first = r, second = r;  // half 0 and half 1
  if (FOrientation == orHorizontal) {
    first.Right = r.Left + Width() / 2 + 1;
    second.Left = r.Right - Width() / 2 - 1;
  } else {
    first.Top = r.Bottom - Height() / 2 - 1;
    second.Bottom = r.Top + Height() / 2 + 1;
  }
  bool atStart = true, atEnd = true;
  if (FTabControl) {
    atStart = FTabControl->FirstShownTab() == 0;
    const Integer last = FTabControl->LastVisibleTab();
    atEnd = last < 0 || FTabControl->TabInView(last);
  }
  const bool right = FTabControl && FTabControl->TabOrientation() == toRight;
  const bool reverse = FTabControl && FTabControl->TabSequence() == tsReverse;
  // Which end of the strip each half moves towards decides when it has nowhere to go.
  const bool firstDisabled = (reverse != right) ? atEnd : atStart;
  const bool secondDisabled = (reverse != right) ? atStart : atEnd;
  const TColor frame = LightenColor(FFrameColor, 30);
  const Integer halves[2] = {0, 1};
  for (Integer half : halves) {
    const TRect& hr = half == 0 ? first : second;
    const bool enabled = half == 0 ? !firstDisabled : !secondDisabled;
    DrawTabButtonFace(c, hr, FTabControl, enabled, frame, FHot && FHotHalf == half, FPressed && FPressedHalf == half);
    const Integer direction = FOrientation == orHorizontal ? (half == 0 ? 2 : 3) : (half == 0 ? 1 : 0);
    DrawArrowGlyph(c, hr, enabled, direction);
  }
}

// ------------------------------------------------------------------------------ close button

TClTabControlCloseButton::TClTabControlCloseButton(TComponent* AOwner, TClCustomTabControl* TabControl)
    : TClTabButtonBase(AOwner, TabControl) {}

void TClTabControlCloseButton::Paint() {
  const TRect r = ClientRect();
  DrawTabButtonFace(Canvas(), r, FTabControl, true, LightenColor(FFrameColor, 30), FHot, FPressed);
  DrawCloseCross(Canvas(), r, true);
}

// ------------------------------------------------------------------------------ active-tab close

TClActiveTabCloseButton::TClActiveTabCloseButton(TComponent* AOwner, TClCustomTabControl* TabControl)
    : TGraphicControl(AOwner), FTabControl(TabControl) {}

void TClActiveTabCloseButton::SetFrameColor(TColor Value) {
  if (Value == FFrameColor) return;
  FFrameColor = Value;
  Invalidate();
}

void TClActiveTabCloseButton::Paint() {
  const TRect r = ClientRect();
  if (FHot) {
    DrawTabButtonFace(Canvas(), r, FTabControl, true, FFrameColor, true, FPressed);
    DrawCloseGlyph(Canvas(), r, FTabControl ? FTabControl->TabColors()->HighlightBar() : clHighlight);
  } else {
    DrawCloseGlyph(Canvas(), r, FFrameColor);
  }
}

void TClActiveTabCloseButton::MouseEnter() {
  if (ComponentState() & csDesigning) return;
  FHot = true;
  TGraphicControl::MouseEnter();
  Repaint();
}

void TClActiveTabCloseButton::MouseLeave() {
  FHot = false;
  TGraphicControl::MouseLeave();
  Repaint();
}

void TClActiveTabCloseButton::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  if (Button == mbLeft) {
    FButtonHeld = true;
    FPressed = true;
    Repaint();
  }
  TGraphicControl::MouseDown(Button, Shift, X, Y);
}

void TClActiveTabCloseButton::MouseMove(TShiftState Shift, Integer X, Integer Y) {
  if (FButtonHeld) {
    const bool inside = PtInRect(ClientRect(), Point(X, Y));
    if (inside != FPressed) {
      FPressed = inside;
      Repaint();
    }
  }
  TGraphicControl::MouseMove(Shift, X, Y);
}

void TClActiveTabCloseButton::MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  FButtonHeld = false;
  if (FPressed) {
    FPressed = false;
    if (OnClose) OnClose(this);
    Repaint();
  }
  TGraphicControl::MouseUp(Button, Shift, X, Y);
}

// ------------------------------------------------------------------------------ menu button

TClTabMenuButton::TClTabMenuButton(TComponent* AOwner, TClCustomTabControl* TabControl)
    : TClTabButtonBase(AOwner, TabControl) {
  FMenu = new TPopupMenu(nullptr);
}

TClTabMenuButton::~TClTabMenuButton() { delete FMenu; }

void TClTabMenuButton::Paint() {
  const TRect r = ClientRect();
  DrawTabButtonFace(Canvas(), r, FTabControl, true, LightenColor(FFrameColor, 30), FHot, FPressed);
  Integer direction = 1;
  if (FTabControl) {
    switch (FTabControl->TabOrientation()) {
      case toTop: direction = 1; break;
      case toLeft: direction = 3; break;
      case toBottom: direction = 0; break;
      case toRight: direction = 2; break;
    }
  }
  DrawArrowGlyph(Canvas(), r, true, direction);
}

void TClTabMenuButton::DisplayTabMenu() {
  FMenu->Items()->Clear();
  if (!FTabControl) return;
  FMenu->SetImages(FTabControl->Images());
  TClTabDataList* tabs = FTabControl->TabDataList();
  std::vector<std::pair<AnsiString, Integer>> entries;
  for (Integer i = 0; i < tabs->Count(); ++i)
    if (tabs->Items(i)->Visible) entries.emplace_back(tabs->Items(i)->Caption, i);
  if (FTabControl->SortTabMenu())
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return CompareText(a.first, b.first) < 0; });
  for (const auto& [caption, index] : entries) {
    TClTabData* tab = tabs->Items(index);
    auto* item = new TMenuItem(nullptr);
    item->SetCaption(caption);
    item->SetEnabled(tab->Enabled);
    item->SetChecked(index == FTabControl->TabIndex());
    item->SetImageIndex(!tab->Enabled && tab->DisabledIndex != -1 ? tab->DisabledIndex : tab->ImageIndex);
    item->Tag = index;
    item->OnClick = [this](TObject* Sender) { TabMenuItemClick(Sender); };
    FMenu->Items()->Add(item);
  }
  TPoint at{Width(), 0};
  TPopupAlignment align = paLeft;
  const bool reverse = FTabControl->TabSequence() == tsReverse;
  switch (FTabControl->TabOrientation()) {
    case toTop:
      at = reverse ? Point(0, Height()) : Point(Width() - 1, Height());
      align = reverse ? paLeft : paRight;
      break;
    case toLeft: at = Point(Width(), 0); align = paLeft; break;
    case toBottom:
      at = reverse ? Point(0, 0) : Point(Width(), 0);
      align = reverse ? paLeft : paRight;
      break;
    case toRight: at = Point(0, 0); align = paRight; break;
  }
  const TPoint screen = ClientToScreen(at);
  FMenu->SetAlignment(align);
  FMenu->Popup(screen.X, screen.Y);
}

void TClTabMenuButton::TabMenuItemClick(TObject* Sender) {
  if (auto* item = dynamic_cast<TMenuItem*>(Sender)) FTabControl->SetTabIndex(Integer(item->Tag));
}
