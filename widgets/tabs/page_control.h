// The tab control with pages: each page is a TClTabSheet holding child controls, and each page
// whose tab is visible contributes one tab. Selecting a tab shows its page and hides the previous
// one.
#pragma once

#include <vector>

#include "widgets/tabs/tab_control.h"

class TClPageControl;

class TClTabSheet : public TCustomControl {
 public:
  explicit TClTabSheet(TComponent* AOwner);
  ~TClTabSheet() override;

  TClPageControl* PageControl() const { return FPageControl; }
  // Moves the page to another page control (or out of any with nil).
  void SetPageControl(TClPageControl* Value) { AttachToPageControl(Value); }
  virtual void AttachToPageControl(TClPageControl* Value);

  TColor PageColor() const { return Color(); }
  virtual void SetPageColor(TColor Value);
  Integer DisabledIndex() const { return FDisabledIndex; }
  virtual void SetDisabledIndex(Integer Value);
  Integer ImageIndex() const { return FImageIndex; }
  virtual void SetImageIndex(Integer Value);
  virtual Integer PageIndex() const;
  // Outside 0 .. page count - 1 raises EClTabControlError.
  virtual void SetPageIndex(Integer Value);
  bool TabEnabled() const { return FTabEnabled; }
  virtual void SetTabEnabled(bool Value);
  bool TabVisible() const { return FTabVisible; }
  virtual void SetTabVisible(bool Value);
  // The page's index among the visible tabs; -1 when its tab is hidden.
  virtual Integer TabPosition() const;
  // Pages are shown and hidden by their page control only.
  void SetVisible(bool Value) override;

  TClPaintBackgroundEvent OnPaintBackground;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;

 protected:
  void Paint() override;
  void TextChanged() override;

 private:
  friend class TClPageControl;
  // The page control's way of showing and hiding a page; fires OnShow or OnHide.
  void ShowPage(bool Value);
  void Changed();

  TClPageControl* FPageControl = nullptr;
  Integer FImageIndex = -1;
  Integer FDisabledIndex = -1;
  bool FTabEnabled = true;
  bool FTabVisible = true;
};

class TClPageControl : public TClCustomTabControl {
 public:
  explicit TClPageControl(TComponent* AOwner);
  ~TClPageControl() override;

  virtual TClTabSheet* PageAt(Integer Index) const;
  virtual Integer PageTotal() const { return Integer(FPages.size()); }
  TClTabSheet* ActivePage() const { return FActivePage; }
  virtual void SetActivePage(TClTabSheet* Page);
  TClTabSheet* ActivePageDefault() const { return FActivePageDefault; }
  void SetActivePageDefault(TClTabSheet* Page);
  virtual Integer ActivePagePosition() const;
  virtual void SetActivePagePosition(Integer Value);
  bool SaveResources() const { return FSaveResources; }
  // Turning it on gives back the window resources of every page but the active one; while it
  // is on, a page that is hidden gives them back and gets them again when shown.
  virtual void SetSaveResources(bool Value);
  bool DblClickUndocks() const { return FDblClickUndocks; }
  void SetDblClickUndocks(bool Value) { FDblClickUndocks = Value; }

  TClTabSheet* PageOfTab(Integer TabIndex) const;
  TClTabSheet* NextPageFrom(TClTabSheet* Current, bool GoForward, bool CheckTabVisible) const;
  void StepActivePage(bool GoForward);
  // A page of this control becomes the active page before its parents are asked to show it.
  void ShowControl(TControl* AControl) override;
  // Ctrl+Tab and Ctrl+Shift+Tab from the form, when no page took them and the form's active
  // control lies inside this page control, step to the next or previous page with a visible tab.
  void DialogKey(Word& Key, TShiftState Shift) override;

  void RefreshTabs() override;
  void SetUseColoredTabs(bool Value) override;

  // Docking (with DockSite set): a control docked here gets a page of its own, whose tab
  // follows its caption and visibility; taking it out frees that page.
  void DockClient(TDragDockObject* Source, TPoint MousePos) override;
  void UndockClient(TWinControl* NewTarget, TControl* Client) override;
  void DockNotification(TControl* Client, bool VisibilityChanged) override;
  void DoAddDockClient(TControl* Client, const TRect& ARect) override;
  void DoRemoveDockClient(TControl* Client) override;
  void GetSiteInfo(TControl* Client, TRect& InfluenceRect, TPoint MousePos, bool& CanDock) override;
  // The control docked on the page whose tab lies at (X, Y), or nil.
  TControl* DockClientAt(Integer X, Integer Y);
  void HideAllTabs() override;
  void ShowAllTabs() override;
  void Loaded() override;
  void DoEnter() override;

 protected:
  // A page's own accessible name when it has one (its tab may show a picture only).
  AnsiString TabAccessibleName(Integer Index) const override;
  void QueryTabChange(Integer NewIndex, bool& AllowChange) override;
  void NotifyChange() override;
  void NotifyPageChange() override;
  void QueryPaintCardBackground(TCanvas* ACanvas, Integer Row, const TRect& R, bool& Handled) override;
  void CloseActiveTab() override;
  void MoveActiveTab(Integer NewIndex) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void ColorChanged() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  friend class TClTabSheet;
  void AddPageToList(TClTabSheet* Page);
  void DropPageFromList(TClTabSheet* Page);
  void MovePage(TClTabSheet* Page, Integer NewIndex);
  void SwitchActivePage(TClTabSheet* Page);
  // The page Client is docked on, when it is docked in this control; nil otherwise.
  TClTabSheet* DockPageOf(const TControl* Client) const;

  std::vector<TClTabSheet*> FPages;
  TClTabSheet* FActivePage = nullptr;
  TClTabSheet* FActivePageDefault = nullptr;
  bool FSaveResources = false;
  bool FDblClickUndocks = true;
  bool FLoadingPages = false;
  TClTabSheet* FNewDockSheet = nullptr;
  TClTabSheet* FUndockingPage = nullptr;
};
