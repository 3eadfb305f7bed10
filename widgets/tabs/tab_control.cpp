#include "widgets/tabs/tab_control.h"

#include <algorithm>
#include <cctype>

#include "platform/gui/application.h"
#include "platform/gui/drag_dock.h"
#include "platform/gui/forms.h"
#include "platform/gui/stdctrls.h"
#include "widgets/tabs/tab_buttons.h"
#include "widgets/tabs/tab_draw.h"

TClCustomTabControl::TClCustomTabControl(TComponent* AOwner) : TCustomControl(AOwner) {
  ControlStyle = csCaptureMouse | csClickEvents | csDoubleClicks;
  SetTabStop(true);
  SetColor(clBtnFace);
  FTabs = std::make_unique<TClTabDataList>();
  FBuffer = std::make_unique<TBitmap>();
  FBuffer->SetPixelFormat(pf32bit);
  FTabFont = std::make_unique<TFont>();
  FTabFont->Assign(Font());
  FTabColors = std::make_unique<TClTabColors>(this);
  FTextColors = std::make_unique<TClTextColors>(this);
  FImageChangeLink = std::make_unique<TChangeLink>();
  FImageChangeLink->OnChange = [this](TObject*) { RepaintTabs(); };
  SetBounds(Left(), Top(), 300, 100);
}

TClCustomTabControl::~TClCustomTabControl() {
  StopHoverTimer();
  if (FImages) FImages->UnRegisterChanges(FImageChangeLink.get());
  // Child buttons refer back to this control: they go before its parts do.
  DestroyComponents();
  delete FHoverTimer;
  delete FDragScrollTimer;
}

// ------------------------------------------------------------------------------ property writers

void TClCustomTabControl::SetAlignTabs(bool Value) {
  if (Value == FAlignTabs) return;
  FAlignTabs = Value;
  if (FMultiLine) SetLayoutDirty(true);
}

void TClCustomTabControl::SetBackgroundColor(TColor Value) {
  if (Value == FBackgroundColor) return;
  FBackgroundColor = Value;
  FParentBackgroundColor = false;
  RepaintTabs();
}

void TClCustomTabControl::SetBoldCurrentTab(bool Value) { SetLayoutField(FBoldCurrentTab, Value); }
void TClCustomTabControl::SetButtonColor(TColor Value) { SetRepaintField(FButtonColor, Value); }

void TClCustomTabControl::SetCutCornerSize(Integer Value) {
  if (Value < 0 || Value == FCutCornerSize) return;
  FCutCornerSize = Value;
  if (FTabStyle == tsCutCorner) SetLayoutDirty(true);
}

void TClCustomTabControl::UpdateButtonFrameColors() {
  const TColor frame = ShiftColorLuminance(FFlatColor, FFlatColorAdjustment);
  if (FScroller) FScroller->SetFrameColor(frame);
  if (FCloseButton) FCloseButton->SetFrameColor(frame);
  if (FActiveTabCloseButton) FActiveTabCloseButton->SetFrameColor(frame);
  if (FMenuButton) FMenuButton->SetFrameColor(frame);
}

void TClCustomTabControl::SetFlatColor(TColor Value) {
  if (Value == FFlatColor) return;
  FFlatColor = Value;
  UpdateButtonFrameColors();
  RepaintTabs();
}

void TClCustomTabControl::SetFlatColorAdjustment(Integer Value) {
  if (Value == FFlatColorAdjustment) return;
  FFlatColorAdjustment = Value;
  UpdateButtonFrameColors();
  RepaintTabs();
}

void TClCustomTabControl::SetHotTrack(bool Value) {
  if (Value == FHotTrack) return;
  FHotTrack = Value;
  if (!Value && !FTabHints) StopHoverTimer();
}

void TClCustomTabControl::SetHotTrackColor(TColor Value) { SetRepaintField(FHotTrackColor, Value); }
void TClCustomTabControl::SetHotTrackColorSource(TClTabHotTrackColorSource Value) {
  SetRepaintField(FHotTrackColorSource, Value);
}
void TClCustomTabControl::SetHotTrackColorType(TClHotTrackColorType Value) { SetRepaintField(FHotTrackColorType, Value); }
void TClCustomTabControl::SetHotTrackStyle(TClTabHotTrackStyle Value) { SetRepaintField(FHotTrackStyle, Value); }
void TClCustomTabControl::SetImageAlignment(TClHorizontalAlignment Value) { SetLayoutField(FImageAlignment, Value); }
void TClCustomTabControl::SetImageAlignmentVertical(TClVerticalAlignment Value) {
  SetLayoutField(FImageAlignmentVertical, Value);
}

void TClCustomTabControl::SetImageMargin(Integer Value) {
  if (Value >= 0) SetLayoutField(FImageMargin, Value);
}

void TClCustomTabControl::SetImagePosition(TClImagePosition Value) { SetLayoutField(FImagePosition, Value); }

void TClCustomTabControl::SetImages(TCustomImageList* Value) {
  if (Value == FImages) return;
  if (FImages) {
    FImages->UnRegisterChanges(FImageChangeLink.get());
    FImages->RemoveFreeNotification(this);
  }
  FImages = Value;
  if (FImages) {
    FImages->RegisterChanges(FImageChangeLink.get());
    FImages->FreeNotification(this);
  }
  SetLayoutDirty(true);
}

void TClCustomTabControl::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FImages) {
    FImages = nullptr;
    SetLayoutDirty(true);
  }
}

void TClCustomTabControl::SetMargin(Integer Value) {
  if (Value >= 0) SetLayoutField(FMargin, Value);
}

void TClCustomTabControl::SetMultiLine(bool Value) { SetLayoutField(FMultiLine, Value); }

void TClCustomTabControl::SetParentBackgroundColor(bool Value) {
  if (Value == FParentBackgroundColor) return;
  FParentBackgroundColor = Value;
  if (Parent()) ParentColorChanged();
}

void TClCustomTabControl::SetRowIndent(Integer Value) {
  if (Value >= 0) SetLayoutField(FRowIndent, Value);
}

void TClCustomTabControl::SetRowOverlap(Integer Value) {
  if (Value >= 0) SetLayoutField(FRowOverlap, Value);
}

void TClCustomTabControl::SetShowCardFrame(bool Value) { SetLayoutField(FShowCardFrame, Value); }

void TClCustomTabControl::SetShowCloseButton(bool Value) {
  if (Value == FShowCloseButton) return;
  FShowCloseButton = Value;
  if (!FCloseButton && Value) {
    FCloseButton = new TClTabControlCloseButton(this, this);
    FCloseButton->SetParent(this);
    FCloseButton->SetFrameColor(ShiftColorLuminance(FFlatColor, FFlatColorAdjustment));
    FCloseButton->OnClose = [this](TObject* S) { CloseClicked(S); };
  }
  if (FCloseButton) FCloseButton->SetVisible(Value);
  SetLayoutDirty(true);
  RepaintTabs();
}

void TClCustomTabControl::SetShowCloseButtonOnActiveTab(bool Value) {
  if (Value == FShowCloseButtonOnActiveTab) return;
  FShowCloseButtonOnActiveTab = Value;
  if (!FActiveTabCloseButton && Value) {
    FActiveTabCloseButton = new TClActiveTabCloseButton(this, this);
    FActiveTabCloseButton->SetParent(this);
    FActiveTabCloseButton->SetFrameColor(ShiftColorLuminance(FFlatColor, FFlatColorAdjustment));
    FActiveTabCloseButton->OnClose = [this](TObject* S) { CloseClicked(S); };
  }
  if (FActiveTabCloseButton) FActiveTabCloseButton->SetVisible(Value && FTabIndex >= 0);
  SetLayoutDirty(true);
  RepaintTabs();
}

void TClCustomTabControl::SetShowMenuButton(bool Value) {
  if (Value == FShowMenuButton) return;
  FShowMenuButton = Value;
  if (!FMenuButton && Value) {
    FMenuButton = new TClTabMenuButton(this, this);
    FMenuButton->SetParent(this);
    FMenuButton->SetFrameColor(ShiftColorLuminance(FFlatColor, FFlatColorAdjustment));
  }
  if (FMenuButton) FMenuButton->SetVisible(Value);
  SetLayoutDirty(true);
  RepaintTabs();
}

void TClCustomTabControl::SetShowFocusRect(bool Value) {
  if (Value == FShowFocusRect) return;
  FShowFocusRect = Value;
  Invalidate();
}

void TClCustomTabControl::SetShowFullFrame(bool Value) {
  if (Value == FShowFullFrame) return;
  FShowFullFrame = Value;
  if (!Value) FShowShadow = false;
  SetLayoutDirty(true);
}

void TClCustomTabControl::SetShowShadow(bool Value) {
  if (Value == FShowShadow) return;
  FShowShadow = Value;
  if (Value) FShowFullFrame = true;
  SetLayoutDirty(true);
  RepaintTabs();
}

void TClCustomTabControl::SetSoftCorners(bool Value) { SetLayoutField(FSoftCorners, Value); }

void TClCustomTabControl::SetTabHeight(Integer Value) {
  if (Value >= 0) SetLayoutField(FTabHeight, Value);
}

void TClCustomTabControl::SetTabHints(bool Value) {
  if (Value == FTabHints) return;
  FTabHints = Value;
  if (!Value && !FHotTrack) StopHoverTimer();
}

void TClCustomTabControl::SetTabOrientation(TClTabOrientation Value) {
  if (Value == FTabOrientation) return;
  FTabOrientation = Value;
  if (FScroller) FScroller->SetOrientation(SideTabs() ? orVertical : orHorizontal);
  if (!Loading()) SetLayoutDirty(true);
}

void TClCustomTabControl::SetTabOverlap(Integer Value) { SetLayoutField(FTabOverlap, Value); }
void TClCustomTabControl::SetTabSequence(TClTabSequence Value) { SetLayoutField(FTabSequence, Value); }
void TClCustomTabControl::SetTabStyle(TClTabStyle Value) { SetLayoutField(FTabStyle, Value); }

void TClCustomTabControl::SetTabWidth(Integer Value) {
  if (Value >= 0) SetLayoutField(FTabWidth, Value);
}

void TClCustomTabControl::SetTextAlignment(TClHorizontalAlignment Value) { SetLayoutField(FTextAlignment, Value); }
void TClCustomTabControl::SetTextAlignmentVertical(TClVerticalAlignment Value) {
  SetLayoutField(FTextAlignmentVertical, Value);
}

void TClCustomTabControl::SetTextOrientation(TOrientation Value) {
  if (Value == FTextOrientation) return;
  FTextOrientation = Value;
  if (!Loading() && !IsTrueTypeFont(Font())) Font()->SetName("Verdana");
  SetLayoutDirty(true);
}

void TClCustomTabControl::SetTransparent(bool Value) { SetRepaintField(FTransparent, Value); }
void TClCustomTabControl::SetUseColoredTabs(bool Value) { SetRepaintField(FUseColoredTabs, Value); }
void TClCustomTabControl::SetUseGradients(bool Value) { SetRepaintField(FUseGradients, Value); }

void TClCustomTabControl::SetRegionCacheCapacity(Integer Value) {
  if ((Value == -1 || Value > 0) && Value != FRegionCache.Capacity()) FRegionCache.SetCacheCapacity(Value);
}

// ------------------------------------------------------------------------------ virtual hooks

void TClCustomTabControl::QueryTabChange(Integer NewIndex, bool& AllowChange) {
  if (OnChanging) OnChanging(this, NewIndex, AllowChange);
}

void TClCustomTabControl::QueryTextColor(Integer Index, TClTextStyle Style, TColor& Color, bool& Handled) {
  if (OnGetTextColor) OnGetTextColor(this, Index, Style, Color, Handled);
}

void TClCustomTabControl::RefreshTabs() { SetLayoutDirty(true); }

void TClCustomTabControl::NotifyTabClick() {
  if (OnTabClick) OnTabClick(this);
}

void TClCustomTabControl::RepaintTabs() {
  FTabAreaOnly = false;
  Invalidate();
}

void TClCustomTabControl::QueryPaintBackground(TCanvas* ACanvas, const TRect& R, bool& Handled) {
  if (OnPaintBackground) OnPaintBackground(this, ACanvas, R, Handled);
}

void TClCustomTabControl::QueryPaintCardBackground(TCanvas* ACanvas, Integer Row, const TRect& R, bool& Handled) {
  if (OnPaintCardBackground) OnPaintCardBackground(this, ACanvas, Row, R, Handled);
}

void TClCustomTabControl::QueryPaintTabBackground(TCanvas* ACanvas, Integer Index, const TRect& R, bool& Handled) {
  if (OnPaintTabBackground) OnPaintTabBackground(this, ACanvas, Index, R, Handled);
}

void TClCustomTabControl::SetLayoutDirty(bool Flag) {
  FLayoutDirty = Flag;
  if (Flag) RepaintTabs();
}

void TClCustomTabControl::SetCardVisible(bool Flag) {
  FCardVisible = Flag;
  RefreshTabs();
}

AnsiString TClCustomTabControl::TabAccessibleName(Integer Index) const {
  const TClTabData* Data = FTabs->Items(Index);
  const AnsiString Caption = StripHotkey(Data->Caption);
  return Caption.empty() ? Data->Hint : Caption;
}

std::vector<TAccessibleTab> TClCustomTabControl::AccessibleTabs() const {
  std::vector<TAccessibleTab> Tabs;
  for (Integer I = 0; I < FTabs->Count(); ++I) {
    if (!FTabs->Items(I)->Visible) continue;
    TAccessibleTab T;
    T.Name = TabAccessibleName(I);
    T.Bounds = TabRect(I);
    T.Selected = I == FTabIndex;
    Tabs.push_back(T);
  }
  return Tabs;
}

// Chosen by a screen reader: as a click on the tab would choose it.
void TClCustomTabControl::SelectAccessibleTab(Integer Index) {
  Integer Shown = -1;
  for (Integer I = 0; I < FTabs->Count(); ++I) {
    if (!FTabs->Items(I)->Visible || ++Shown != Index) continue;
    if (FTabs->Items(I)->Enabled) SetTabIndex(I);
    return;
  }
}

void TClCustomTabControl::NotifyChange() {
  if (OnChange) OnChange(this);
}

void TClCustomTabControl::NotifyTabOrderChange(Integer OldIndex, Integer NewIndex) {
  if (OnTabOrderChange) OnTabOrderChange(this, OldIndex, NewIndex);
}

bool TClCustomTabControl::QueryTabDragging(Integer Index) {
  bool allow = true;
  if (OnTabDragging) OnTabDragging(this, Index, allow);
  return allow;
}

void TClCustomTabControl::NotifyPageChange() {
  if (OnPageChange) OnPageChange(this);
}

bool TClCustomTabControl::QueryClose() {
  bool allow = false;
  if (OnClose) OnClose(this, allow);
  return allow;
}

void TClCustomTabControl::CloseClicked(TObject*) {
  if (FTabIndex != -1 && QueryClose()) CloseActiveTab();
}

// ------------------------------------------------------------------------------ selection

bool TClCustomTabControl::CanSelectTab(Integer Index) {
  if (FTabs->Count() == 0 || Index < 0 || Index >= FTabs->Count()) return false;
  TClTabData* tab = FTabs->Items(Index);
  bool allow = tab->Visible && (tab->Enabled || Designing());
  if (allow && Index != FTabIndex) QueryTabChange(Index, allow);
  return allow;
}

Integer TClCustomTabControl::FirstVisibleTab() const {
  for (Integer i = 0; i < FTabs->Count(); ++i)
    if (FTabs->Items(i)->Visible) return i;
  return -1;
}

Integer TClCustomTabControl::LastVisibleTab() const {
  for (Integer i = FTabs->Count() - 1; i >= 0; --i)
    if (FTabs->Items(i)->Visible) return i;
  return -1;
}

void TClCustomTabControl::SetTabIndex(Integer Value) {
  if (Loading() || TabIndexDeferred()) {
    FTabIndex = Value;
    return;
  }
  if (Value < 0 || Value >= FTabs->Count()) {
    FTabIndex = -1;
    RepaintTabs();
  } else {
    const bool permitted = Value == FTabIndex || FChangeQueried || CanSelectTab(Value);
    FChangeQueried = false;
    if (permitted) {
      const Integer oldIndex = FTabIndex, oldFirst = FFirstShownTab;
      FTabIndex = Value;
      if (!FScrollNeeded) {
        if (FMultiLine) BringRowToFront(Value);
      } else if (Value < FFirstShownTab) {
        FFirstShownTab = Value;
      } else {
        while (FFirstShownTab < Value && !TabInView(Value)) ++FFirstShownTab;
      }
      if (FFirstShownTab != oldFirst || oldIndex != FTabIndex) {
        RepaintTabs();
        if (FScroller) FScroller->Invalidate();
      }
      if (oldIndex != FTabIndex) {
        AccessibleTabsChanged();
        NotifyChange();
        NotifyPageChange();
        if (Designing() && FPaintedOnce) NotifyDesignerModified(this);
      }
    }
  }
  FChangeQueried = false;
  if (FShowCloseButton && FCloseButton) FCloseButton->Invalidate();
  if (FShowCloseButtonOnActiveTab && FActiveTabCloseButton) FActiveTabCloseButton->SetVisible(FTabIndex >= 0);
  if (FShowMenuButton && FMenuButton) FMenuButton->Invalidate();
}

void TClCustomTabControl::UpdateLayout() {
  if (!FLayoutDirty) return;
  FLayoutDirty = false;
  ArrangeTabs();
  FRegionCache.ClearTabRegions();
  UpdateScrollNeeded();
  const Integer count = FTabs->Count();
  if (FScrollNeeded) {
    const Integer old = FFirstShownTab;
    Integer i = std::max(old, 0);
    while (i < count && !TabInView(i)) ++i;
    if (i >= count) {
      i = old - 1;
      while (i >= 0 && !TabInView(i)) --i;
    }
    FFirstShownTab = i < 0 ? FirstVisibleTab() : i;
  } else {
    FFirstShownTab = FirstVisibleTab();
  }

  Integer found = -1;
  if (FirstVisibleTab() >= 0 && FTabIndex >= 0) {
    for (Integer i = FTabIndex; i < count; ++i)
      if (CanSelectTab(i)) {
        found = i;
        break;
      }
    if (found < 0)
      for (Integer i = std::min(FTabIndex, count - 1); i >= 0; --i)
        if (CanSelectTab(i)) {
          found = i;
          break;
        }
  }
  if (found != -1) {
    FChangeQueried = found != FTabIndex;
    SetTabIndex(found);
  } else if (FTabIndex > count) {
    SetTabIndex(FTabIndex);
  }
  const TRect page = PageRect();
  if (!(page == FLastPageRect)) AlignControls();
}

void TClCustomTabControl::AlignControls() {
  if (FAligningChildren) return;
  FAligningChildren = true;
  try {
    if (!Loading()) {
      PositionCloseButton();
      PositionMenuButton();
      PositionScroller();
    }
    FLastPageRect = PageRect();
    const TRect& p = FLastPageRect;
    for (Integer i = 0; i < ControlCount(); ++i) {
      TControl* child = Controls(i);
      if (child->Align() == alClient && child->Visible())
        child->SetBounds(p.Left, p.Top, p.Right - p.Left, p.Bottom - p.Top);
    }
  } catch (...) {
    FAligningChildren = false;
    throw;
  }
  FAligningChildren = false;
}

// ------------------------------------------------------------------------------ keyboard

void TClCustomTabControl::KeyDown(Word& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  const Integer count = FTabs->Count();
  if (count == 0) return;
  const bool reversed =
      (FTabOrientation == toLeft && FTabSequence == tsStandard) || (FTabOrientation != toLeft && FTabSequence == tsReverse);
  Integer result = FTabIndex;
  if (Key == VK_HOME || Key == VK_END) {
    const bool forward = (Key == VK_HOME) != reversed;
    Integer i = forward ? 0 : count - 1;
    result = FTabIndex;
    while (i >= 0 && i < count && i != FTabIndex) {
      if (CanSelectTab(i)) {
        result = i;
        break;
      }
      i += forward ? 1 : -1;
    }
  } else if (Key == VK_LEFT || Key == VK_RIGHT || Key == VK_UP || Key == VK_DOWN) {
    bool plus;
    const bool leftUp = Key == VK_LEFT || Key == VK_UP;
    if (FTabOrientation == toLeft)
      plus = FTabSequence == tsStandard ? leftUp : !leftUp;
    else
      plus = FTabSequence == tsStandard ? !leftUp : leftUp;
    Integer candidate = FTabIndex;
    // Each index is tried at most once: a strip where nothing can be selected ends the search
    // where it started instead of going round for ever.
    for (Integer tries = 0; tries < count; ++tries) {
      if (plus)
        candidate = candidate >= count - 1 ? 0 : candidate + 1;
      else
        candidate = candidate <= 0 ? count - 1 : candidate - 1;
      if (candidate == FTabIndex || CanSelectTab(candidate)) break;
      if (tries == count - 1) candidate = FTabIndex;
    }
    result = candidate;
  } else {
    return;
  }
  if (result != FTabIndex) {
    FChangeQueried = true;
    SetTabIndex(result);
    NotifyTabClick();
  }
}

void TClCustomTabControl::DialogChar(char& Key, TShiftState Shift) {
  const Integer tab = CanFocus() ? AcceleratorTab(Key) : -1;
  if (tab < 0) {
    TCustomControl::DialogChar(Key, Shift);
    return;
  }
  Key = 0;
  SetFocus();
  if (Focused()) {
    SetTabIndex(tab);
    if (FTabIndex == tab) NotifyTabClick();
  }
}

Integer TClCustomTabControl::AcceleratorTab(char Ch) const {
  const char want = char(std::tolower(static_cast<unsigned char>(Ch)));
  for (Integer i = 0; i < FTabs->Count(); ++i) {
    const TClTabData* tab = FTabs->Items(i);
    if (!tab->Visible || !tab->Enabled) continue;
    const AnsiString& c = tab->Caption;
    for (std::size_t p = 0; p + 1 < c.size(); ++p) {
      if (c[p] != '&') continue;
      if (c[p + 1] == '&') {
        ++p;
        continue;
      }
      if (char(std::tolower(static_cast<unsigned char>(c[p + 1]))) == want) return i;
      break;
    }
  }
  return -1;
}

// ------------------------------------------------------------------------------ mouse

void TClCustomTabControl::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Designing() ? Button != mbLeft : !Enabled()) return;
  const Integer tab = TabAtPos(X, Y);
  if (tab >= 0 && FTabs->Items(tab)->Enabled) {
    if (TabStop() && tab == FTabIndex && !Designing()) {
      if (CanFocus()) SetFocus();
      if (!Focused()) return;
    }
    SetTabIndex(tab);
    if (FTabIndex == tab) NotifyTabClick();
  }
  FMouseDownTab = tab;
}

bool TClCustomTabControl::PointInTabArea(Integer X, Integer Y) const {
  return PtInRect(TabAreaRect(), Point(X, Y));
}

void TClCustomTabControl::StartHoverTimer() {
  if (FHoverTimerRunning) return;
  if (!FHoverTimer) {
    FHoverTimer = new TTimer(nullptr);
    FHoverTimer->SetEnabled(false);
    FHoverTimer->SetInterval(60);
    FHoverTimer->OnTimer = [this](TObject*) { HoverTimerTick(); };
  }
  FHoverTimer->SetEnabled(true);
  FHoverTimerRunning = true;
}

void TClCustomTabControl::StopHoverTimer() {
  if (FHoverTimer) FHoverTimer->SetEnabled(false);
  FHoverTimerRunning = false;
}

void TClCustomTabControl::EndHotTracking() {
  StopHoverTimer();
  FHotTab = -1;
  FTabAreaOnly = true;
  Invalidate();
  SetHint(FSavedHint);
}

void TClCustomTabControl::HoverTimerTick() {
  if (!FHoverTimerRunning) return;
  // The platform has no pointer query; the last position the control saw stands in for it, and
  // leaving the control sets it outside.
  if (TabAtPos(FLastHover.X, FLastHover.Y) < 0) EndHotTracking();
}

void TClCustomTabControl::MouseMove(TShiftState Shift, Integer X, Integer Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  FLastHover = Point(X, Y);
  if (FAllowTabDragging && (Shift & ssLeft) && !Dragging() && FMouseDownTab >= 0 && FMouseDownTab < FTabs->Count() &&
      FTabs->Items(FMouseDownTab)->Enabled && QueryTabDragging(FMouseDownTab)) {
    FDragTarget = -1;
    BeginDrag(false);
  }
  if (!Designing() && (FHotTrack || FTabHints)) {
    const Integer tab = TabAtPos(X, Y);
    if (tab < 0) {
      const bool inArea = PointInTabArea(X, Y);
      EndHotTracking();
      if (FTabHints && inArea) SetHint("");
    } else if (tab != FHotTab) {
      FHotTab = tab;
      if (FHotTrack) {
        FTabAreaOnly = true;
        Invalidate();
      }
      if (FTabHints) SetHint(FTabs->Items(tab)->Hint);
      StartHoverTimer();
    }
  }
}

void TClCustomTabControl::MouseLeave() {
  TCustomControl::MouseLeave();
  FLastHover = Point(-1, -1);
}

// ------------------------------------------------------------------------------ tab dragging

void TClCustomTabControl::DragOver(TObject* Source, Integer X, Integer Y, TDragState State, bool& Accept) {
  if (Source != this) {
    TCustomControl::DragOver(Source, X, Y, State, Accept);
    return;
  }
  // A tab of this control is dragged: accepted unless an OnDragOver handler refuses.
  Accept = true;
  if (OnDragOver) OnDragOver(this, Source, X, Y, State, Accept);
  if (State == dsDragLeave) {
    HideDragIndicator();
    FDragTarget = -1;
    return;
  }
  if (!Accept) return;
  const Integer tab = TabAtPos(X, Y);
  if (tab < 0) StartDragScrollTimer();
  Accept = tab >= 0 && tab != FTabIndex;
  if (tab != FDragTarget) {
    HideDragIndicator();
    if (Accept) {
      FDragIndicatorRect = DragIndicatorRect(tab);
      ToggleDragIndicator(FDragIndicatorRect);
      FDragIndicatorShown = true;
    }
    FDragTarget = tab;
  }
}

void TClCustomTabControl::DragDrop(TObject* Source, Integer X, Integer Y) {
  if (Source == this) {
    StopDragScrollTimer();
    HideDragIndicator();
    FDragTarget = -1;
    const Integer tab = TabAtPos(X, Y);
    if (tab >= 0) MoveActiveTab(tab);
  }
  TCustomControl::DragDrop(Source, X, Y);
}

void TClCustomTabControl::DoEndDrag(TObject* Target, Integer X, Integer Y) {
  // However the drag ended, nothing of it stays on the screen or keeps ticking.
  StopDragScrollTimer();
  HideDragIndicator();
  FDragTarget = -1;
  TCustomControl::DoEndDrag(Target, X, Y);
}

void TClCustomTabControl::HideDragIndicator() {
  if (!FDragIndicatorShown) return;
  FDragIndicatorShown = false;
  ToggleDragIndicator(FDragIndicatorRect);
}

void TClCustomTabControl::StartDragScrollTimer() {
  if (!FDragScrollTimer) {
    FDragScrollTimer = new TTimer(nullptr);
    FDragScrollTimer->SetEnabled(false);
    FDragScrollTimer->OnTimer = [this](TObject*) { DragScrollTick(); };
  }
  if (FDragScrollTimer->Enabled()) return;
  FDragScrollTimer->SetInterval(400);
  FDragScrollTimer->SetEnabled(true);
}

void TClCustomTabControl::StopDragScrollTimer() {
  if (FDragScrollTimer) FDragScrollTimer->SetEnabled(false);
}

void TClCustomTabControl::DragScrollTick() {
  if (!FDragScrollTimer) return;
  FDragScrollTimer->SetInterval(300);
  try {
    if (!Dragging()) return;
    const TPoint p = ScreenToClient(GetCursorPos());
    Integer direction = 0;  // +1 towards the end of the strip, -1 towards its start
    switch (FTabOrientation) {
      case toTop:
      case toBottom: direction = p.X < 0 ? -1 : p.X >= Width() ? 1 : 0; break;
      case toLeft: direction = p.Y < 0 ? 1 : p.Y >= Height() ? -1 : 0; break;
      case toRight: direction = p.Y < 0 ? -1 : p.Y >= Height() ? 1 : 0; break;
    }
    if (FTabSequence == tsReverse) direction = -direction;
    if (direction != 0) ScrollTabs(direction > 0);
  } catch (...) {
    FDragScrollTimer->SetEnabled(false);
    throw;
  }
}

// ------------------------------------------------------------------------------ notifications

void TClCustomTabControl::Resize() {
  TCustomControl::Resize();
  RefreshTabs();
}

void TClCustomTabControl::FontChanged() {
  if (FTabFont) FTabFont->Assign(Font());
  RefreshTabs();
  TCustomControl::FontChanged();
}

void TClCustomTabControl::ColorChanged() {
  // The children hear of the change whether or not the tabs keep colours of their own; the
  // card shows Color while no tab is selected, so the control repaints in both cases.
  TCustomControl::ColorChanged();
  RepaintTabs();
}

void TClCustomTabControl::ParentColorChanged() {
  TCustomControl::ParentColorChanged();
  if (FParentBackgroundColor && Parent()) {
    SetBackgroundColor(Parent()->Color());
    FParentBackgroundColor = true;
  }
}

void TClCustomTabControl::DoEnter() {
  RepaintTabs();
  TCustomControl::DoEnter();
}

void TClCustomTabControl::DoExit() {
  RepaintTabs();
  TCustomControl::DoExit();
}

void TClCustomTabControl::Loaded() {
  TCustomControl::Loaded();
  FSavedHint = Hint();
  SetLayoutDirty(true);
  FTabIndex = 0;
  if (FTextOrientation == orVertical && !IsTrueTypeFont(Font())) Font()->SetName("Verdana");
  SetTabIndex(FTabIndex);
}
