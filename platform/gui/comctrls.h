// The common controls: up-down arrows tied to an edit field, progress bar, track bar, and a
// plain page control with tab sheets.
#pragma once

#include <vector>

#include "platform/gui/controls.h"

class QObject;
class QTabBar;

enum TUDBtnType { btNext, btPrev };
using TUDClickEvent = std::function<void(TObject* Sender, TUDBtnType Button)>;
using TUDChangingEvent = std::function<void(TObject* Sender, bool& AllowChange)>;

// Arrow buttons that step Position between Min and Max. With an Associate (an edit field) the
// arrows sit against its right edge (the field gives up that width), its text shows Position,
// Position reads a number typed into it, and its Up and Down keys step as the arrows do. A click
// asks OnChanging, moves, writes the text, then fires OnClick; Position set from code fires
// neither.
class TUpDown : public TWinControl {
 public:
  explicit TUpDown(TComponent* AOwner);
  ~TUpDown() override;

  TWinControl* Associate() const { return FAssociate; }
  void SetAssociate(TWinControl* Value);
  Integer Min() const { return FMin; }
  void SetMin(Integer Value);
  Integer Max() const { return FMax; }
  void SetMax(Integer Value);
  Integer Increment() const { return FIncrement; }
  void SetIncrement(Integer Value) { FIncrement = Value; }
  // The associate's number when it holds one in range, else the last position set.
  Integer Position() const;
  void SetPosition(Integer Value);
  // The associate shows "1,000" rather than "1000".
  bool Thousands() const { return FThousands; }
  void SetThousands(bool Value);

  // One step as a click on an arrow does.
  void Step(TUDBtnType Button);

  TUDChangingEvent OnChanging;
  // Hides the plain OnClick: an up-down reports which arrow was clicked.
  TUDClickEvent OnClick;

 protected:
  virtual bool CanChange();
  virtual void Click(TUDBtnType Button);
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  friend struct UpDownAccess;
  void ShowPosition();
  void PlaceAgainstAssociate();

  TWinControl* FAssociate = nullptr;
  // Owned by the widget; watches the associate's keys.
  QObject* FKeyFilter = nullptr;
  Integer FMin = 0;
  Integer FMax = 100;
  Integer FIncrement = 1;
  Integer FPosition = 0;
  bool FThousands = true;
};

class TProgressBar : public TWinControl {
 public:
  explicit TProgressBar(TComponent* AOwner);

  Integer Min() const { return FMin; }
  void SetMin(Integer Value);
  Integer Max() const { return FMax; }
  void SetMax(Integer Value);
  // Kept within Min..Max.
  Integer Position() const { return FPosition; }
  void SetPosition(Integer Value);
  Integer Step() const { return FStep; }
  void SetStep(Integer Value) { FStep = Value; }
  // Advances by Step; passing Max starts over from Min, as the desktop's bar does.
  void StepIt();

 private:
  void Apply();

  Integer FMin = 0;
  Integer FMax = 100;
  Integer FPosition = 0;
  Integer FStep = 10;
};

enum TTickStyle { tsNone, tsAuto, tsManual };
enum TTickMark { tmBottomRight, tmTopLeft, tmBoth };

// A slider with tick marks. OnChange fires whenever Position changes, by the user or from code
// (a position set outside Min..Max is brought inside first).
class TTrackBar : public TWinControl {
 public:
  explicit TTrackBar(TComponent* AOwner);
  ~TTrackBar() override;

  Integer Min() const { return FMin; }
  void SetMin(Integer Value);
  Integer Max() const { return FMax; }
  void SetMax(Integer Value);
  Integer Position() const { return FPosition; }
  void SetPosition(Integer Value);
  // A tick every Frequency positions.
  Integer Frequency() const { return FFrequency; }
  void SetFrequency(Integer Value);
  Integer LineSize() const { return FLineSize; }
  void SetLineSize(Integer Value);
  Integer PageSize() const { return FPageSize; }
  void SetPageSize(Integer Value);
  TTickStyle TickStyle() const { return FTickStyle; }
  void SetTickStyle(TTickStyle Value);
  TTickMark TickMarks() const { return FTickMarks; }
  void SetTickMarks(TTickMark Value);
  // Kept for the framework's property; the style decides the thumb's size.
  Integer ThumbLength() const { return FThumbLength; }
  void SetThumbLength(Integer Value) { FThumbLength = Value; }

  TNotifyEvent OnChange;

 protected:
  virtual void Changed();

 private:
  friend struct TrackBarAccess;
  void ApplyRange();
  void ApplyTicks();

  Integer FMin = 0;
  Integer FMax = 10;
  Integer FPosition = 0;
  Integer FFrequency = 1;
  Integer FLineSize = 1;
  Integer FPageSize = 2;
  Integer FThumbLength = 20;
  TTickStyle FTickStyle = tsAuto;
  TTickMark FTickMarks = tmBottomRight;
  bool FCodeChange = false;
};

class TPageControl;

// One page of a page control. Its Caption is the tab's text; a page whose TabVisible is off keeps
// its place and can still be the active page, but shows no tab.
class TTabSheet : public TWinControl {
 public:
  explicit TTabSheet(TComponent* AOwner);
  ~TTabSheet() override;

  TPageControl* PageControl() const { return FPageControl; }
  // Makes the sheet the last page of APageControl (and its child control).
  void SetPageControl(TPageControl* APageControl);
  bool TabVisible() const { return FTabVisible; }
  void SetTabVisible(bool Value);
  // The place among all pages of the page control, -1 without one.
  Integer PageIndex() const;
  void SetPageIndex(Integer Value);
  // The place among the visible tabs, -1 when the tab is hidden.
  Integer TabIndex() const;

  void SetParent(TWinControl* AParent) override;

 protected:
  void TextChanged() override;

 private:
  friend class TPageControl;
  TPageControl* FPageControl = nullptr;
  bool FTabVisible = true;
};

using TTabChangingEvent = std::function<void(TObject* Sender, bool& AllowChange)>;

// Pages with a row of tabs. A tab clicked by the user asks OnChanging (which can refuse), shows
// its page, then fires OnChange; ActivePage set from code fires neither.
class TPageControl : public TWinControl {
 public:
  explicit TPageControl(TComponent* AOwner);
  ~TPageControl() override;

  Integer PageCount() const { return static_cast<Integer>(FPages.size()); }
  // Raises EListError "List index out of bounds (%d)" for a bad index.
  TTabSheet* Pages(Integer Index) const;
  TTabSheet* ActivePage() const { return FActivePage; }
  // Nil or one of this control's pages; another control's page is refused with EInvalidOperation.
  void SetActivePage(TTabSheet* Page);
  Integer ActivePageIndex() const;
  void SetActivePageIndex(Integer Value);
  // The active page's place among the visible tabs (-1 when none).
  Integer TabIndex() const;
  void SetTabIndex(Integer Value);
  // The next (or previous) page after CurPage (with a visible tab if asked), wrapping.
  TTabSheet* FindNextPage(TTabSheet* CurPage, bool GoForward, bool CheckTabVisible) const;
  // The area the pages fill, in client coordinates.
  TRect DisplayRect() const;
  bool HotTrack() const { return FHotTrack; }
  void SetHotTrack(bool Value) { FHotTrack = Value; }

  TNotifyEvent OnChange;
  TTabChangingEvent OnChanging;

 protected:
  virtual bool CanChange();
  virtual void Change();
  void Resize() override;

 private:
  friend class TTabSheet;
  friend struct PageControlAccess;
  QTabBar* TabBar() const;
  void InsertPage(TTabSheet* Page);
  void RemovePage(TTabSheet* Page);
  void MovePage(TTabSheet* Page, Integer NewIndex);
  void UpdateTab(TTabSheet* Page);
  void ShowActivePage();
  void Relayout();
  void TabClicked(int Index);

  std::vector<TTabSheet*> FPages;
  TTabSheet* FActivePage = nullptr;
  bool FHotTrack = false;
  bool FCodeChange = false;
};
