// The small child buttons of the tab control: the two-arrow scroller, the close button, the close
// button drawn on the active tab and the tab menu button.
#pragma once

#include <memory>

#include "platform/gui/controls.h"
#include "platform/gui/menus.h"
#include "platform/gui/timers.h"
#include "widgets/tabs/tab_types.h"

class TClCustomTabControl;

// Hover, press and release rules shared by the windowed buttons.
class TClTabButtonBase : public TCustomControl {
 public:
  TClTabButtonBase(TComponent* AOwner, TClCustomTabControl* TabControl);
  TColor FrameColor() const { return FFrameColor; }
  virtual void SetFrameColor(TColor Value);
  bool Hot() const { return FHot; }
  bool IsPressed() const { return FPressed; }

 protected:
  void MouseEnter() override;
  void MouseLeave() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void MouseMove(TShiftState Shift, Integer X, Integer Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  // What a release over the pressed button does.
  virtual void Action() {}

  TClCustomTabControl* FTabControl;
  TColor FFrameColor = clBtnShadow;
  bool FButtonHeld = false;
  bool FPressed = false;
  bool FHot = false;
};

class TClTabScroller : public TClTabButtonBase {
 public:
  TClTabScroller(TComponent* AOwner, TClCustomTabControl* TabControl);
  TOrientation Orientation() const { return FOrientation; }
  virtual void SetOrientation(TOrientation Value);
  // Nil until the first press.
  TTimer* RepeatTimer() const { return FTimer; }
  // One tick of the repeat timer: 400 ms for the first, 100 ms after.
  void ScrollerRepeat();

  TNotifyEvent OnUpRightClick;
  TNotifyEvent OnDownLeftClick;

 protected:
  void DownLeftClick();
  void UpRightClick();
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void MouseMove(TShiftState Shift, Integer X, Integer Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;

 private:
  Integer HalfAt(Integer X, Integer Y) const;
  void FireHalf(Integer Half);
  TOrientation FOrientation = orHorizontal;
  Integer FHotHalf = 0;
  Integer FPressedHalf = 0;
  TTimer* FTimer = nullptr;
  Word FFirstInterval = 400;
  Word FRepeatInterval = 100;
};

class TClTabControlCloseButton : public TClTabButtonBase {
 public:
  TClTabControlCloseButton(TComponent* AOwner, TClCustomTabControl* TabControl);
  TNotifyEvent OnClose;

 protected:
  void Paint() override;
  void Action() override {
    if (OnClose) OnClose(this);
  }
};

class TClActiveTabCloseButton : public TGraphicControl {
 public:
  TClActiveTabCloseButton(TComponent* AOwner, TClCustomTabControl* TabControl);
  TColor FrameColor() const { return FFrameColor; }
  virtual void SetFrameColor(TColor Value);
  TNotifyEvent OnClose;

 protected:
  void Paint() override;
  void MouseEnter() override;
  void MouseLeave() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void MouseMove(TShiftState Shift, Integer X, Integer Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;

 private:
  TClCustomTabControl* FTabControl;
  TColor FFrameColor = clBtnShadow;
  bool FButtonHeld = false;
  bool FPressed = false;
  bool FHot = false;
};

class TClTabMenuButton : public TClTabButtonBase {
 public:
  TClTabMenuButton(TComponent* AOwner, TClCustomTabControl* TabControl);
  ~TClTabMenuButton() override;
  TPopupMenu* Menu() const { return FMenu; }
  // Fills the menu with the visible tabs and pops it up beside the button.
  virtual void DisplayTabMenu();
  TNotifyEvent OnDisplayMenu;

 protected:
  void Paint() override;
  void Action() override { DisplayTabMenu(); }

 private:
  void TabMenuItemClick(TObject* Sender);
  TPopupMenu* FMenu = nullptr;
};
