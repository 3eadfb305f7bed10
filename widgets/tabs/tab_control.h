// An owner-drawn strip of shaped tabs joined to a card. The control keeps the tab records, the
// selection, the hot tab and the scroll position, fires the change events around every change of
// the selection, and repaints itself completely from an off-screen bitmap. Geometry lives in
// tab_layout.cpp, drawing in tab_painting.cpp.
#pragma once

#include <memory>
#include <vector>

#include "platform/gui/controls.h"
#include "platform/gui/graphics.h"
#include "platform/gui/imglist.h"
#include "platform/gui/timers.h"
#include "widgets/tabs/tab_data.h"
#include "widgets/tabs/tab_region_cache.h"
#include "widgets/tabs/tab_types.h"

class TClTabScroller;
class TClTabControlCloseButton;
class TClActiveTabCloseButton;
class TClTabMenuButton;

class TClCustomTabControl : public TCustomControl {
 public:
  explicit TClCustomTabControl(TComponent* AOwner);
  ~TClCustomTabControl() override;

  // --- properties (a writer does nothing when the value does not change)
  bool AlignTabs() const { return FAlignTabs; }
  virtual void SetAlignTabs(bool Value);
  bool AllowTabDragging() const { return FAllowTabDragging; }
  void SetAllowTabDragging(bool Value) { FAllowTabDragging = Value; }
  TColor BackgroundColor() const { return FBackgroundColor; }
  virtual void SetBackgroundColor(TColor Value);
  bool BoldCurrentTab() const { return FBoldCurrentTab; }
  virtual void SetBoldCurrentTab(bool Value);
  TColor ButtonColor() const { return FButtonColor; }
  virtual void SetButtonColor(TColor Value);
  Integer CutCornerSize() const { return FCutCornerSize; }
  virtual void SetCutCornerSize(Integer Value);
  TColor DragIndicatorColor() const { return FDragIndicatorColor; }
  void SetDragIndicatorColor(TColor Value) { FDragIndicatorColor = Value; }
  TColor FlatColor() const { return FFlatColor; }
  virtual void SetFlatColor(TColor Value);
  Integer FlatColorAdjustment() const { return FFlatColorAdjustment; }
  virtual void SetFlatColorAdjustment(Integer Value);
  bool HotTrack() const { return FHotTrack; }
  virtual void SetHotTrack(bool Value);
  TColor HotTrackColor() const { return FHotTrackColor; }
  virtual void SetHotTrackColor(TColor Value);
  TClTabHotTrackColorSource HotTrackColorSource() const { return FHotTrackColorSource; }
  virtual void SetHotTrackColorSource(TClTabHotTrackColorSource Value);
  TClHotTrackColorType HotTrackColorType() const { return FHotTrackColorType; }
  virtual void SetHotTrackColorType(TClHotTrackColorType Value);
  TClTabHotTrackStyle HotTrackStyle() const { return FHotTrackStyle; }
  virtual void SetHotTrackStyle(TClTabHotTrackStyle Value);
  TClHorizontalAlignment ImageAlignment() const { return FImageAlignment; }
  virtual void SetImageAlignment(TClHorizontalAlignment Value);
  TClVerticalAlignment ImageAlignmentVertical() const { return FImageAlignmentVertical; }
  virtual void SetImageAlignmentVertical(TClVerticalAlignment Value);
  Integer ImageMargin() const { return FImageMargin; }
  virtual void SetImageMargin(Integer Value);
  TClImagePosition ImagePosition() const { return FImagePosition; }
  virtual void SetImagePosition(TClImagePosition Value);
  TCustomImageList* Images() const { return FImages; }
  virtual void SetImages(TCustomImageList* Value);
  Integer Margin() const { return FMargin; }
  virtual void SetMargin(Integer Value);
  bool MultiLine() const { return FMultiLine; }
  virtual void SetMultiLine(bool Value);
  bool ParentBackgroundColor() const { return FParentBackgroundColor; }
  virtual void SetParentBackgroundColor(bool Value);
  Integer RowIndent() const { return FRowIndent; }
  virtual void SetRowIndent(Integer Value);
  Integer RowOverlap() const { return FRowOverlap; }
  virtual void SetRowOverlap(Integer Value);
  bool ShowCardFrame() const { return FShowCardFrame; }
  virtual void SetShowCardFrame(bool Value);
  bool ShowCloseButton() const { return FShowCloseButton; }
  virtual void SetShowCloseButton(bool Value);
  bool ShowCloseButtonOnActiveTab() const { return FShowCloseButtonOnActiveTab; }
  virtual void SetShowCloseButtonOnActiveTab(bool Value);
  bool ShowMenuButton() const { return FShowMenuButton; }
  virtual void SetShowMenuButton(bool Value);
  bool ShowFocusRect() const { return FShowFocusRect; }
  virtual void SetShowFocusRect(bool Value);
  bool ShowFullFrame() const { return FShowFullFrame; }
  virtual void SetShowFullFrame(bool Value);
  bool ShowShadow() const { return FShowShadow; }
  virtual void SetShowShadow(bool Value);
  bool SoftCorners() const { return FSoftCorners; }
  virtual void SetSoftCorners(bool Value);
  bool SortTabMenu() const { return FSortTabMenu; }
  void SetSortTabMenu(bool Value) { FSortTabMenu = Value; }
  TClTabColors* TabColors() const { return FTabColors.get(); }
  void SetTabColors(TClTabColors* Value) { FTabColors->Assign(Value); }
  Integer TabHeight() const { return FTabHeight; }
  virtual void SetTabHeight(Integer Value);
  bool TabHints() const { return FTabHints; }
  virtual void SetTabHints(bool Value);
  Integer TabIndex() const { return FTabIndex; }
  virtual void SetTabIndex(Integer Value);
  TClTabOrientation TabOrientation() const { return FTabOrientation; }
  virtual void SetTabOrientation(TClTabOrientation Value);
  Integer TabOverlap() const { return FTabOverlap; }
  virtual void SetTabOverlap(Integer Value);
  TClTabSequence TabSequence() const { return FTabSequence; }
  virtual void SetTabSequence(TClTabSequence Value);
  TClTabStyle TabStyle() const { return FTabStyle; }
  virtual void SetTabStyle(TClTabStyle Value);
  Integer TabWidth() const { return FTabWidth; }
  virtual void SetTabWidth(Integer Value);
  TClHorizontalAlignment TextAlignment() const { return FTextAlignment; }
  virtual void SetTextAlignment(TClHorizontalAlignment Value);
  TClVerticalAlignment TextAlignmentVertical() const { return FTextAlignmentVertical; }
  virtual void SetTextAlignmentVertical(TClVerticalAlignment Value);
  TClTextColors* TextColors() const { return FTextColors.get(); }
  void SetTextColors(TClTextColors* Value) { FTextColors->Assign(Value); }
  TOrientation TextOrientation() const { return FTextOrientation; }
  virtual void SetTextOrientation(TOrientation Value);
  bool Transparent() const { return FTransparent; }
  virtual void SetTransparent(bool Value);
  bool UseColoredTabs() const { return FUseColoredTabs; }
  virtual void SetUseColoredTabs(bool Value);
  bool UseGradients() const { return FUseGradients; }
  virtual void SetUseGradients(bool Value);
  Integer RegionCacheCapacity() const { return FRegionCache.Capacity(); }
  virtual void SetRegionCacheCapacity(Integer Value);

  // The streamed thickness of the tabs; only a cache that the layout overwrites.
  Integer FixedDimension() const { return FFixedDimension; }
  void SetFixedDimension(Integer Value) { FFixedDimension = Value; }

  // --- state
  Integer FirstShownTab() const { return FFirstShownTab; }
  Integer HotTab() const { return FHotTab; }
  Integer RowCount() const { return FRowCount; }
  bool ScrollNeeded() const { return FScrollNeeded; }
  bool LayoutDirty() const { return FLayoutDirty; }
  bool CardVisible() const { return FCardVisible; }
  TClTabDataList* TabDataList() const { return FTabs.get(); }
  TClTabRegionCache* RegionCache() { return &FRegionCache; }
  TClTabScroller* Scroller() const { return FScroller; }
  TClTabControlCloseButton* CloseButton() const { return FCloseButton; }
  TClActiveTabCloseButton* ActiveTabCloseButton() const { return FActiveTabCloseButton; }
  TClTabMenuButton* MenuButton() const { return FMenuButton; }
  // The timer that scrolls the tabs while a tab is dragged beyond the control (nil until the
  // first drag over an empty part of the strip).
  TTimer* DragScrollTimer() const { return FDragScrollTimer; }
  // The tick of that timer: scrolls towards the side of the control the pointer is beyond.
  void DragScrollTick();
  // Where the drag indicator stands for a drop on tab Target: across the edge of the target
  // that faces away from the selected tab, in control coordinates.
  TRect DragIndicatorRect(Integer Target) const;
  bool DragIndicatorShown() const { return FDragIndicatorShown; }
  // The off-screen bitmap every paint draws into.
  TBitmap* PaintBuffer() const { return FBuffer.get(); }

  // --- operations
  bool CanSelectTab(Integer Index);
  void UpdateLayout();
  Integer FirstVisibleTab() const;
  Integer LastVisibleTab() const;
  void StopHoverTimer();
  void EndHotTracking();
  virtual void RefreshTabs();
  virtual void RepaintTabs();
  virtual void SetLayoutDirty(bool Flag);
  virtual void SetCardVisible(bool Flag);
  virtual void SetRowCount(Integer N) { FRowCount = N; }
  virtual void HideAllTabs() {}
  virtual void ShowAllTabs() {}
  // The hover timer's tick (60 ms): ends hot tracking once the mouse has left the tabs.
  void HoverTimerTick();
  TTimer* HoverTimer() const { return FHoverTimer; }
  // An accelerator character from the form: the first visible, enabled tab whose caption marks
  // it takes the focus and is selected; otherwise the children (the pages) get it.
  void DialogChar(char& Key, TShiftState Shift) override;

  // Geometry (tab_layout.cpp).
  TPoint MeasureCaption(const AnsiString& Text, bool Horizontal);
  TPoint MinimumContentSize();
  TPoint TabContentSize(Integer Index);
  TPoint TabSizeForContent(TPoint Content) const;
  Integer TabOverlapFor(Integer Thickness) const;
  void ArrangeTabs();
  void BringRowToFront(Integer Tab);
  TRect DrawingBounds() const;
  Integer TabAreaDepth() const;
  TRect TabAreaRect() const;
  Integer TabStripLength() const;
  TRect CardRect(Integer Row) const;
  TRect PageRect() const;
  Integer ScrollOffset() const;
  TRect TabLogicalRect(Integer Index) const;
  TRect TabRect(Integer Index) const;
  TPoint StripToControl(TPoint P) const;
  bool TabInView(Integer Index) const;
  void UpdateScrollNeeded();
  void ScrollTabs(bool Forward);
  Integer TabAtPos(Integer X, Integer Y);
  Integer ButtonLength();
  Integer ButtonBreadth();
  void PositionScroller();
  void PositionCloseButton();
  void PositionMenuButton();

  // Painting (tab_painting.cpp).
  std::vector<TPoint> TabShapePoints(Integer Index) const;
  std::vector<TPoint> TabPolygon(Integer Index) const;
  const TRegion* TabRegion(Integer Index, const TRect& R);
  TRect TabContentRect(const TRect& TabR) const;

  // Lays the client-aligned children (the pages) out in PageRect; the painted surface keeps the
  // whole control, so ClientRect stays the control's own.
  void AlignControls() override;
  TDlgCode GetDlgCode() const override { return dlgcWantArrows; }
  TAccessibleRole AccessibleKind() const override { return arPageTabList; }
  std::vector<TAccessibleTab> AccessibleTabs() const override;
  void SelectAccessibleTab(Integer Index) override;
  void Loaded() override;
  void DoEnter() override;
  void DoExit() override;

  TClTabChangingEvent OnChanging;
  TNotifyEvent OnChange;
  TNotifyEvent OnPageChange;
  TNotifyEvent OnTabClick;
  TClTabCloseEvent OnClose;
  TClGetTextColorEvent OnGetTextColor;
  TClPaintBackgroundEvent OnPaintBackground;
  TClPaintCardBackgroundEvent OnPaintCardBackground;
  TClPaintTabBackgroundEvent OnPaintTabBackground;
  TClTabDraggingEvent OnTabDragging;
  TClTabOrderChangeEvent OnTabOrderChange;
  TNotifyEvent OnScrolledTabs;

 protected:
  // What a screen reader speaks for tab Index: its caption without accelerator marks, else its
  // hint.
  virtual AnsiString TabAccessibleName(Integer Index) const;
  virtual void QueryTabChange(Integer NewIndex, bool& AllowChange);
  virtual void QueryTextColor(Integer Index, TClTextStyle Style, TColor& Color, bool& Handled);
  virtual void NotifyTabClick();
  virtual void QueryPaintBackground(TCanvas* ACanvas, const TRect& R, bool& Handled);
  virtual void QueryPaintCardBackground(TCanvas* ACanvas, Integer Row, const TRect& R, bool& Handled);
  virtual void QueryPaintTabBackground(TCanvas* ACanvas, Integer Index, const TRect& R, bool& Handled);
  virtual void ToggleDragIndicator(const TRect& R);
  virtual void CloseActiveTab() {}
  virtual void MoveActiveTab(Integer) {}
  virtual bool TabIndexDeferred() { return false; }
  virtual void NotifyChange();
  virtual void NotifyTabOrderChange(Integer OldIndex, Integer NewIndex);
  virtual bool QueryTabDragging(Integer Index);
  virtual void NotifyPageChange();
  virtual bool QueryClose();

  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void MouseMove(TShiftState Shift, Integer X, Integer Y) override;
  void MouseLeave() override;
  void DragOver(TObject* Source, Integer X, Integer Y, TDragState State, bool& Accept) override;
  void DragDrop(TObject* Source, Integer X, Integer Y) override;
  void DoEndDrag(TObject* Target, Integer X, Integer Y) override;
  void KeyDown(Word& Key, TShiftState Shift) override;
  void Resize() override;
  void FontChanged() override;
  void ColorChanged() override;
  void ParentColorChanged() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

  bool Loading() const { return (ComponentState() & (csLoading | csReading)) != 0; }
  bool Designing() const { return (ComponentState() & csDesigning) != 0; }
  bool SideTabs() const { return FTabOrientation == toLeft || FTabOrientation == toRight; }

  bool FChangeQueried = false;

 private:
  friend class TClTabPainter;
  // Writers sharing the "store, mark the layout dirty" and "store, repaint" rules.
  template <class T>
  void SetLayoutField(T& Field, T Value) {
    if (Field == Value) return;
    Field = Value;
    SetLayoutDirty(true);
  }
  template <class T>
  void SetRepaintField(T& Field, T Value) {
    if (Field == Value) return;
    Field = Value;
    RepaintTabs();
  }
  void UpdateButtonFrameColors();
  void StartHoverTimer();
  bool PointInTabArea(Integer X, Integer Y) const;
  // The first visible, enabled tab whose caption marks Ch as its accelerator; -1 for none.
  Integer AcceleratorTab(char Ch) const;
  void CloseClicked(TObject*);
  void StartDragScrollTimer();
  void StopDragScrollTimer();
  void HideDragIndicator();

  // Painting steps (tab_painting.cpp).
  void PaintTabs();
  void PaintTab(Integer Index);
  void PaintCard(Integer Row);
  void PaintTabBackground(Integer Index, const TRect& R);
  void PaintTabContent(Integer Index, const TRect& R);
  void PaintCaption(Integer Index, TRect TextRect, TColor Color);
  void DrawCaptionLine(Integer X, Integer Y, TColor Color, bool Horizontal, TCanvas* ACanvas,
                       const AnsiString& Text);
  void DrawHotTrackBar(Integer Index, TColor Color);
  void RecordTabOutline(Integer Index);
  void RecordCardFrame(Integer Row);
  void ReplayDrawingList();
  void SelectTabFont(TCanvas* ACanvas);
  void RestoreTabFont(TCanvas* ACanvas);
  TRect ActiveCloseButtonRect(Integer Index, const TRect& Content) const;
  Integer ContentImageMargin(Integer Index) const;

  bool FAlignTabs = false;
  bool FAllowTabDragging = false;
  TColor FBackgroundColor = clBtnFace;
  bool FBoldCurrentTab = false;
  TColor FButtonColor = clBtnFace;
  Integer FCutCornerSize = 6;
  TColor FDragIndicatorColor = 0x505050;
  TColor FFlatColor = clBtnShadow;
  Integer FFlatColorAdjustment = 0;
  bool FHotTrack = true;
  TColor FHotTrackColor = 0x149BF0;
  TClTabHotTrackColorSource FHotTrackColorSource = htcsTabColor;
  TClHotTrackColorType FHotTrackColorType = htctActual;
  TClTabHotTrackStyle FHotTrackStyle = htsTab;
  TClHorizontalAlignment FImageAlignment = haCenter;
  TClVerticalAlignment FImageAlignmentVertical = vaCenter;
  Integer FImageMargin = 2;
  TClImagePosition FImagePosition = ipLeft;
  TCustomImageList* FImages = nullptr;
  Integer FMargin = 0;
  bool FMultiLine = false;
  bool FParentBackgroundColor = true;
  Integer FRowIndent = 5;
  Integer FRowOverlap = 5;
  bool FShowCardFrame = true;
  bool FShowCloseButton = false;
  bool FShowCloseButtonOnActiveTab = false;
  bool FShowMenuButton = false;
  bool FShowFocusRect = true;
  bool FShowFullFrame = true;
  bool FShowShadow = true;
  bool FSoftCorners = false;
  bool FSortTabMenu = true;
  Integer FTabHeight = 0;
  bool FTabHints = false;
  Integer FTabIndex = -1;
  TClTabOrientation FTabOrientation = toTop;
  Integer FTabOverlap = -1;
  TClTabSequence FTabSequence = tsStandard;
  TClTabStyle FTabStyle = tsSingleSlant;
  Integer FTabWidth = 0;
  TClHorizontalAlignment FTextAlignment = haCenter;
  TClVerticalAlignment FTextAlignmentVertical = vaCenter;
  TOrientation FTextOrientation = orHorizontal;
  bool FTransparent = false;
  bool FUseColoredTabs = false;
  bool FUseGradients = true;

  Integer FFirstShownTab = 0;
  Integer FHotTab = -1;
  Integer FRowCount = 1;
  Integer FFixedDimension = 0;
  bool FScrollNeeded = false;
  bool FLayoutDirty = true;
  bool FPaintedOnce = false;
  bool FCardVisible = true;
  bool FTabAreaOnly = false;
  Integer FMouseDownTab = 0;
  AnsiString FSavedHint;
  bool FHoverTimerRunning = false;
  bool FAligningChildren = false;
  TPoint FLastHover = {-1, -1};
  TRect FLastPageRect = {-1, -1, -1, -1};
  TRect FDragIndicatorRect;
  bool FDragIndicatorShown = false;
  Integer FDragTarget = 0;

  std::unique_ptr<TClTabDataList> FTabs;
  TClTabRegionCache FRegionCache;
  std::vector<Integer> FDrawingList;
  std::unique_ptr<TBitmap> FBuffer;
  std::unique_ptr<TFont> FTabFont;
  std::vector<std::unique_ptr<TFont>> FFontStack;
  std::vector<Integer> FSavedDCs;
  std::unique_ptr<TClTabColors> FTabColors;
  std::unique_ptr<TClTextColors> FTextColors;
  std::unique_ptr<TChangeLink> FImageChangeLink;
  TTimer* FHoverTimer = nullptr;
  TTimer* FDragScrollTimer = nullptr;
  TClTabScroller* FScroller = nullptr;
  TClTabControlCloseButton* FCloseButton = nullptr;
  TClActiveTabCloseButton* FActiveTabCloseButton = nullptr;
  TClTabMenuButton* FMenuButton = nullptr;
};
