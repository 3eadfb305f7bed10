#include "widgets/tabs/page_control.h"

#include <algorithm>

#include "platform/gui/application.h"
#include "platform/gui/drag_dock.h"
#include "platform/gui/forms.h"
#include "platform/rtl/sysutils.h"

namespace {

bool IsInside(const TControl* Control, const TControl* Container) {
  for (const TControl* c = Control; c; c = c->Parent())
    if (c == Container) return true;
  return false;
}

// The windowed controls inside Root in tab order, each followed by the controls inside it.
void TabOrderList(TWinControl* Root, std::vector<TWinControl*>& List) {
  for (Integer i = 0; i < Root->ControlCount(); ++i)
    if (auto* w = dynamic_cast<TWinControl*>(Root->Controls(i))) {
      List.push_back(w);
      TabOrderList(w, List);
    }
}

// The first control inside Root, in tab order, that can take the focus: one that is a tab stop
// when there is such a control, otherwise any.
TWinControl* FirstFocusableChild(TWinControl* Root) {
  std::vector<TWinControl*> list;
  TabOrderList(Root, list);
  for (TWinControl* w : list)
    if (w->TabStop() && w->CanFocus()) return w;
  for (TWinControl* w : list)
    if (w->CanFocus()) return w;
  return nullptr;
}

}  // namespace

// ------------------------------------------------------------------------------ page

TClTabSheet::TClTabSheet(TComponent* AOwner) : TCustomControl(AOwner) {
  ControlStyle = csCaptureMouse | csClickEvents | csOpaque | csDoubleClicks;
  TCustomControl::SetVisible(false);
  SetAlign(alClient);
  SetColor(clBtnFace);
}

TClTabSheet::~TClTabSheet() {
  if (FPageControl) FPageControl->DropPageFromList(this);
}

void TClTabSheet::AttachToPageControl(TClPageControl* Value) {
  if (Value == FPageControl) return;
  if (FPageControl) FPageControl->DropPageFromList(this);
  SetParent(Value);
  if (Value) Value->AddPageToList(this);
}

void TClTabSheet::Changed() {
  if (FPageControl) FPageControl->RefreshTabs();
}

void TClTabSheet::SetPageColor(TColor Value) {
  if (FPageControl && !FPageControl->UseColoredTabs() && Value != FPageControl->Color())
    FPageControl->SetUseColoredTabs(true);
  // Without coloured tabs every page keeps the page control's colour.
  if (FPageControl && !FPageControl->UseColoredTabs() && !(Value == FPageControl->Color() && Color() != Value))
    return;
  SetColor(Value);
  Invalidate();
  Changed();
}

void TClTabSheet::SetDisabledIndex(Integer Value) {
  if (Value == FDisabledIndex) return;
  FDisabledIndex = Value;
  Changed();
}

void TClTabSheet::SetImageIndex(Integer Value) {
  if (Value == FImageIndex) return;
  FImageIndex = Value;
  Changed();
}

Integer TClTabSheet::PageIndex() const {
  if (!FPageControl) return -1;
  const auto& pages = FPageControl->FPages;
  const auto it = std::find(pages.begin(), pages.end(), this);
  return it == pages.end() ? -1 : Integer(it - pages.begin());
}

void TClTabSheet::SetPageIndex(Integer Value) {
  if (!FPageControl) return;
  const Integer last = FPageControl->PageTotal() - 1;
  if (Value < 0 || Value > last)
    throw EClTabControlError(
        Format("%d is an invalid PageIndex value. PageIndex must be between 0 and %d", Value, last));
  FPageControl->MovePage(this, Value);
}

void TClTabSheet::SetTabEnabled(bool Value) {
  if (Value == FTabEnabled) return;
  FTabEnabled = Value;
  Changed();
}

void TClTabSheet::SetTabVisible(bool Value) {
  if (Value == FTabVisible) return;
  FTabVisible = Value;
  Changed();
}

Integer TClTabSheet::TabPosition() const {
  if (!FTabVisible || !FPageControl) return -1;
  Integer n = 0;
  for (TClTabSheet* p : FPageControl->FPages) {
    if (p == this) return n;
    if (p->FTabVisible) ++n;
  }
  return -1;
}

void TClTabSheet::SetVisible(bool) { throw EClTabControlError("You cannot change the Visible property of a page"); }

void TClTabSheet::ShowPage(bool Value) {
  if (Value == Visible()) return;
  TCustomControl::SetVisible(Value);
  // A failing handler is reported like any event handler's failure and the switch goes on.
  GuardedCall(this, [this, Value] {
    if (Value) {
      if (OnShow) OnShow(this);
    } else if (OnHide) {
      OnHide(this);
    }
  });
}

void TClTabSheet::Paint() {
  bool handled = false;
  const TRect r = Rect(0, 0, Width(), Height());
  if (OnPaintBackground) OnPaintBackground(this, Canvas(), r, handled);
  if (!handled) {
    Canvas()->Brush()->SetStyle(bsSolid);
    Canvas()->Brush()->SetColor(Color());
    Canvas()->FillRect(r);
  }
}

void TClTabSheet::TextChanged() {
  TCustomControl::TextChanged();
  Changed();
}

// ------------------------------------------------------------------------------ page control

TClPageControl::TClPageControl(TComponent* AOwner) : TClCustomTabControl(AOwner) {
  ControlStyle |= csOpaque;
  SetHeight(150);
  SetUseColoredTabs(false);
}

TClPageControl::~TClPageControl() {
  for (TClTabSheet* p : FPages) p->FPageControl = nullptr;
  FPages.clear();
  FActivePage = nullptr;
}

TClTabSheet* TClPageControl::PageAt(Integer Index) const {
  if (Index < 0 || Index >= PageTotal()) return nullptr;
  return FPages[std::size_t(Index)];
}

void TClPageControl::AddPageToList(TClTabSheet* Page) {
  FPages.push_back(Page);
  Page->FPageControl = this;
  RefreshTabs();
}

void TClPageControl::DropPageFromList(TClTabSheet* Page) {
  if (Page == FActivePage) SetActivePage(nullptr);
  FPages.erase(std::remove(FPages.begin(), FPages.end(), Page), FPages.end());
  RefreshTabs();
  Page->FPageControl = nullptr;
}

void TClPageControl::MovePage(TClTabSheet* Page, Integer NewIndex) {
  const Integer old = Page->PageIndex();
  if (old < 0 || old == NewIndex) return;
  FPages.erase(FPages.begin() + old);
  FPages.insert(FPages.begin() + NewIndex, Page);
  RefreshTabs();
  NotifyTabOrderChange(old, NewIndex);
}

void TClPageControl::RefreshTabs() {
  TClTabDataList* tabs = TabDataList();
  tabs->ClearTabData();
  for (TClTabSheet* p : FPages) {
    if (!p->TabVisible()) continue;
    auto* data = new TClTabData();
    data->Caption = p->Caption();
    data->Color = p->Color();
    data->Enabled = p->TabEnabled();
    data->Visible = p->TabVisible();
    data->Hint = p->Hint();
    data->ImageIndex = p->ImageIndex();
    data->DisabledIndex = p->DisabledIndex();
    tabs->AddTabData(data);
  }
  if (FActivePage) {
    const Integer t = FActivePage->TabPosition();
    if (t >= 0) {
      if (t != TabIndex()) SetTabIndex(t);
    } else {
      SetTabIndex(-1);
    }
  }
  TClCustomTabControl::RefreshTabs();
}

AnsiString TClPageControl::TabAccessibleName(Integer Index) const {
  const TClTabSheet* Page = PageOfTab(Index);
  if (Page && !Page->AccessibleName().empty()) return Page->AccessibleName();
  return TClCustomTabControl::TabAccessibleName(Index);
}

TClTabSheet* TClPageControl::PageOfTab(Integer Tab) const {
  if (Tab < 0) return nullptr;
  for (TClTabSheet* p : FPages)
    if (p->TabPosition() == Tab) return p;
  return nullptr;
}

TClTabSheet* TClPageControl::NextPageFrom(TClTabSheet* Current, bool GoForward, bool CheckTabVisible) const {
  const Integer n = PageTotal();
  if (n == 0) return nullptr;
  const auto it = std::find(FPages.begin(), FPages.end(), Current);
  const Integer start = it == FPages.end() ? (GoForward ? n - 1 : 0) : Integer(it - FPages.begin());
  Integer i = start;
  for (Integer step = 0; step < n; ++step) {
    i = GoForward ? (i + 1) % n : (i + n - 1) % n;
    if (i == start) return nullptr;
    TClTabSheet* p = FPages[std::size_t(i)];
    if (!CheckTabVisible || p->TabVisible()) return p;
  }
  return nullptr;
}

void TClPageControl::StepActivePage(bool GoForward) {
  if (TClTabSheet* p = NextPageFrom(FActivePage, GoForward, true)) SetActivePage(p);
}

void TClPageControl::QueryTabChange(Integer NewIndex, bool& AllowChange) {
  if (!FLoadingPages) TClCustomTabControl::QueryTabChange(NewIndex, AllowChange);
  if (AllowChange) SwitchActivePage(PageOfTab(NewIndex));
}

void TClPageControl::NotifyChange() {
  if (!FLoadingPages) TClCustomTabControl::NotifyChange();
}

void TClPageControl::NotifyPageChange() {
  if (!FLoadingPages) TClCustomTabControl::NotifyPageChange();
}

void TClPageControl::SwitchActivePage(TClTabSheet* Page) {
  if (Page == FActivePage) return;
  TCustomForm* form = GetParentForm();
  if (form && FActivePage && form->ActiveControl() && IsInside(form->ActiveControl(), FActivePage))
    form->SetActiveControl(FActivePage);
  if (Page) {
    Page->BringToFront();
    Page->ShowPage(true);
    if (form && form->ActiveControl() == FActivePage && FActivePage)
      form->SetActiveControl(Page->CanFocus() ? static_cast<TWinControl*>(Page) : this);
  }
  if (TClTabSheet* old = FActivePage) {
    old->ShowPage(false);
    if (FSaveResources && !Designing()) old->DestroyHandle();
  }
  FActivePage = Page;
  // The focus does not stay on the page itself: it goes on to the page's first control.
  if (form && Page && form->ActiveControl() == Page)
    if (TWinControl* first = FirstFocusableChild(Page)) form->SetActiveControl(first);
}

void TClPageControl::SetSaveResources(bool Value) {
  if (Value == FSaveResources) return;
  FSaveResources = Value;
  if (Value && !Designing())
    for (TClTabSheet* p : FPages)
      if (p != FActivePage) p->DestroyHandle();
}

void TClPageControl::ShowControl(TControl* AControl) {
  if (auto* page = dynamic_cast<TClTabSheet*>(AControl); page && page->PageControl() == this) SetActivePage(page);
  TClCustomTabControl::ShowControl(AControl);
}

void TClPageControl::SetActivePage(TClTabSheet* Page) {
  if (Page && Page->PageControl() != this) return;
  if (Loading()) {
    FActivePage = Page;
    return;
  }
  const Integer t = Page ? Page->TabPosition() : -1;
  if (t < 0) {
    SwitchActivePage(Page);
    NotifyPageChange();
  }
  SetTabIndex(t);
}

void TClPageControl::SetActivePageDefault(TClTabSheet* Page) {
  if (Page == FActivePageDefault) return;
  if (FActivePageDefault) FActivePageDefault->RemoveFreeNotification(this);
  FActivePageDefault = Page;
  if (Page) Page->FreeNotification(this);
}

void TClPageControl::Notification(TComponent* AComponent, TOperation Operation) {
  TClCustomTabControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FActivePageDefault) FActivePageDefault = nullptr;
}

Integer TClPageControl::ActivePagePosition() const { return FActivePage ? FActivePage->PageIndex() : -1; }

void TClPageControl::SetActivePagePosition(Integer Value) {
  if (Value < 0 || Value >= PageTotal())
    SetTabIndex(-1);
  else
    SetActivePage(FPages[std::size_t(Value)]);
}

void TClPageControl::DialogKey(Word& Key, TShiftState Shift) {
  TClCustomTabControl::DialogKey(Key, Shift);
  if (Key != VK_TAB || !(Shift & ssCtrl)) return;
  TCustomForm* form = GetParentForm();
  TControl* active = form ? form->ActiveControl() : nullptr;
  if (!active || !IsInside(active, this)) return;
  Key = 0;
  StepActivePage(!(Shift & ssShift));
}

void TClPageControl::DoEnter() {
  TClCustomTabControl::DoEnter();
  if (FActivePage && !FActivePage->TabVisible()) {
    for (Integer i = 0; i < FActivePage->ControlCount(); ++i)
      if (auto* w = dynamic_cast<TWinControl*>(FActivePage->Controls(i)); w && w->CanFocus()) {
        w->SetFocus();
        break;
      }
  }
}

void TClPageControl::Loaded() {
  TClCustomTabControl::Loaded();
  FLoadingPages = true;
  try {
    ArrangeTabs();
    SetTabIndex(-1);
    TClTabSheet* chosen = FActivePage;
    if (FActivePageDefault && FActivePageDefault != FActivePage) {
      if (FActivePage) FActivePage->ShowPage(false);
      chosen = FActivePageDefault;
    }
    FActivePage = nullptr;
    RefreshTabs();
    SetActivePage(chosen);
  } catch (...) {
    FLoadingPages = false;
    throw;
  }
  FLoadingPages = false;
}

void TClPageControl::QueryPaintCardBackground(TCanvas* ACanvas, Integer Row, const TRect& R, bool& Handled) {
  TClCustomTabControl::QueryPaintCardBackground(ACanvas, Row, R, Handled);
  if (!Handled && Row == 0 && TabIndex() >= 0 && FActivePage) {
    ACanvas->Brush()->SetStyle(bsSolid);
    ACanvas->Brush()->SetColor(FActivePage->Color());
    ACanvas->FillRect(R);
    Handled = true;
  }
}

void TClPageControl::CloseActiveTab() {
  if (!FActivePage) return;
  const Integer previous = std::max(TabIndex() - 1, 0);
  delete FActivePage;
  SetTabIndex(previous);
}

void TClPageControl::MoveActiveTab(Integer NewIndex) {
  // NewIndex counts tabs; pages whose tabs are hidden lie between them in the page list.
  TClTabSheet* there = PageOfTab(NewIndex);
  if (FActivePage && there) FActivePage->SetPageIndex(there->PageIndex());
}

void TClPageControl::HideAllTabs() {
  for (TClTabSheet* p : std::vector<TClTabSheet*>(FPages)) p->SetTabVisible(false);
}

void TClPageControl::ShowAllTabs() {
  for (TClTabSheet* p : std::vector<TClTabSheet*>(FPages)) p->SetTabVisible(true);
}

void TClPageControl::SetUseColoredTabs(bool Value) {
  TClCustomTabControl::SetUseColoredTabs(Value);
  if (Parent() && !Value) ColorChanged();
}

void TClPageControl::ColorChanged() {
  if (!UseColoredTabs())
    for (TClTabSheet* p : FPages) p->SetPageColor(Color());
  TClCustomTabControl::ColorChanged();
}

// ------------------------------------------------------------------------------ docking

TClTabSheet* TClPageControl::DockPageOf(const TControl* Client) const {
  if (!Client || Client->HostDockSite() != this) return nullptr;
  auto* page = dynamic_cast<TClTabSheet*>(Client->Parent());
  return page && page->PageControl() == this ? page : nullptr;
}

void TClPageControl::DockClient(TDragDockObject* Source, TPoint) {
  TControl* client = Source->Control();
  FNewDockSheet = new TClTabSheet(this);
  try {
    if (auto* form = dynamic_cast<TCustomForm*>(client)) FNewDockSheet->SetCaption(form->Caption());
    FNewDockSheet->SetPageControl(this);
    client->Dock(this, Source->DockRect());
  } catch (...) {
    TClTabSheet* page = FNewDockSheet;
    FNewDockSheet = nullptr;
    delete page;
    throw;
  }
  TClTabSheet* page = FNewDockSheet;
  FNewDockSheet = nullptr;
  page->SetTabVisible(client->Visible());
  if (client->Visible()) SetActivePage(page);
  client->SetAlign(alClient);
}

void TClPageControl::DoAddDockClient(TControl* Client, const TRect& ARect) {
  if (FNewDockSheet) {
    Client->SetParent(FNewDockSheet);
    return;
  }
  TClCustomTabControl::DoAddDockClient(Client, ARect);
}

void TClPageControl::DockNotification(TControl* Client, bool VisibilityChanged) {
  if (TClTabSheet* page = DockPageOf(Client)) {
    if (VisibilityChanged) {
      page->SetTabVisible(Client->Visible());
    } else {
      const AnsiString& text = Client->Caption();
      page->SetCaption(text.substr(0, text.find_first_of("\r\n")));
    }
  }
  TClCustomTabControl::DockNotification(Client, VisibilityChanged);
}

void TClPageControl::UndockClient(TWinControl* NewTarget, TControl* Client) {
  if (TClTabSheet* page = DockPageOf(Client)) {
    FUndockingPage = page;
    Client->SetAlign(alNone);
  }
  TClCustomTabControl::UndockClient(NewTarget, Client);
}

void TClPageControl::DoRemoveDockClient(TControl* Client) {
  TClCustomTabControl::DoRemoveDockClient(Client);
  if (!FUndockingPage || (ComponentState() & csDestroying)) return;
  StepActivePage(true);
  TClTabSheet* page = FUndockingPage;
  FUndockingPage = nullptr;
  delete page;
}

void TClPageControl::GetSiteInfo(TControl* Client, TRect& InfluenceRect, TPoint MousePos, bool& CanDock) {
  if (DockPageOf(Client)) {
    CanDock = false;
    return;
  }
  TClCustomTabControl::GetSiteInfo(Client, InfluenceRect, MousePos, CanDock);
}

TControl* TClPageControl::DockClientAt(Integer X, Integer Y) {
  const Integer tab = TabAtPos(X, Y);
  TClTabSheet* page = PageOfTab(tab);
  if (!page) return nullptr;
  for (Integer i = 0; i < DockClientCount(); ++i)
    if (DockPageOf(DockClients(i)) == page) return DockClients(i);
  return nullptr;
}

void TClPageControl::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TClCustomTabControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  TControl* client = DockClientAt(X, Y);
  if (!client) return;
  if (Shift & ssDouble) {
    if (FDblClickUndocks) {
      const TPoint at = client->ClientToScreen(Point(0, 0));
      client->ManualFloat(Bounds(at.X, at.Y, client->Width(), client->Height()));
    }
  } else {
    client->BeginDrag(false);
  }
}
