#include "platform/gui/comctrls.h"

#include <algorithm>

#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabBar>

#include "platform/gui/application.h"
#include "platform/rtl/flag_guard.h"
#include "platform/gui/qt_graphics_bridge.h"
#include "platform/gui/qt_strings.h"
#include "platform/gui/spin_qt.h"
#include "platform/rtl/sysutils.h"

namespace {

AnsiString GroupThousands(Integer Value) {
  AnsiString Digits = IntToStr(static_cast<Int64>(Value) < 0 ? -static_cast<Int64>(Value) : static_cast<Int64>(Value));
  AnsiString Result;
  const std::size_t N = Digits.size();
  for (std::size_t I = 0; I < N; ++I) {
    if (I > 0 && (N - I) % 3 == 0) Result += ',';
    Result += Digits[I];
  }
  return Value < 0 ? "-" + Result : Result;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TUpDown

struct UpDownAccess {
  static bool Key(TUpDown* U, int QtKey) {
    if (!U->Enabled()) return false;
    if (QtKey == Qt::Key_Up) {
      GuardedCall(U, [U] { U->Step(btNext); });
      return true;
    }
    if (QtKey == Qt::Key_Down) {
      GuardedCall(U, [U] { U->Step(btPrev); });
      return true;
    }
    return false;
  }
};

namespace {

// Lets the arrow keys typed in the associate step the up-down.
class AssociateKeyFilter : public QObject {
 public:
  AssociateKeyFilter(TUpDown* Owner, QObject* Parent) : QObject(Parent), FOwner(Owner) {}

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Event->type() == QEvent::KeyPress && UpDownAccess::Key(FOwner, static_cast<QKeyEvent*>(Event)->key()))
      return true;
    return QObject::eventFilter(Watched, Event);
  }

 private:
  TUpDown* FOwner;
};

}  // namespace

TUpDown::TUpDown(TComponent* AOwner) : TWinControl(AOwner, new clvqt::ArrowPairWidget()) {
  // The arrows report their clicks; OnClick here carries the arrow.
  ControlStyle = csDoubleClicks;
  auto* W = static_cast<clvqt::ArrowPairWidget*>(Widget());
  QObject::connect(W->Next, &QToolButton::clicked, [this] { GuardedCall(this, [this] { Step(btNext); }); });
  QObject::connect(W->Prev, &QToolButton::clicked, [this] { GuardedCall(this, [this] { Step(btPrev); }); });
  FKeyFilter = new AssociateKeyFilter(this, Widget());
  SetBounds(Left(), Top(), 17, 25);
}

TUpDown::~TUpDown() { SetAssociate(nullptr); }

void TUpDown::SetAssociate(TWinControl* Value) {
  if (Value == FAssociate) return;
  if (Value == this) throw EInvalidOperation("An up-down cannot be its own associate");
  if (FAssociate) {
    if (FAssociate->Widget() && FKeyFilter) FAssociate->Widget()->removeEventFilter(FKeyFilter);
    FAssociate->RemoveFreeNotification(this);
  }
  FAssociate = Value;
  if (!FAssociate) return;
  FAssociate->FreeNotification(this);
  if (FAssociate->Widget() && FKeyFilter) FAssociate->Widget()->installEventFilter(FKeyFilter);
  PlaceAgainstAssociate();
  ShowPosition();
}

void TUpDown::PlaceAgainstAssociate() {
  TWinControl* A = FAssociate;
  if (A->Parent() != Parent()) SetParent(A->Parent());
  const Integer W = Width();
  // The field gives up the arrows' width, as the desktop's buddy does.
  A->SetWidth(std::max<Integer>(A->Width() - W, 0));
  SetBounds(A->Left() + A->Width(), A->Top(), W, A->Height());
}

void TUpDown::Notification(TComponent* AComponent, TOperation Operation) {
  TWinControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FAssociate) FAssociate = nullptr;
}

void TUpDown::SetMin(Integer Value) {
  FMin = Value;
  if (FMin <= FMax) FPosition = std::clamp(FPosition, FMin, FMax);
}

void TUpDown::SetMax(Integer Value) {
  FMax = Value;
  if (FMin <= FMax) FPosition = std::clamp(FPosition, FMin, FMax);
}

Integer TUpDown::Position() const {
  if (FAssociate) {
    AnsiString T = StringReplace(Trim(FAssociate->Text()), ",", "", rfReplaceAll);
    Integer V = 0;
    if (TryStrToInt(T, V)) return FMin <= FMax ? std::clamp(V, FMin, FMax) : V;
  }
  return FPosition;
}

void TUpDown::SetPosition(Integer Value) {
  FPosition = FMin <= FMax ? std::clamp(Value, FMin, FMax) : Value;
  ShowPosition();
}

void TUpDown::SetThousands(bool Value) {
  FThousands = Value;
  ShowPosition();
}

void TUpDown::ShowPosition() {
  if (FAssociate) FAssociate->SetText(FThousands ? GroupThousands(FPosition) : IntToStr(FPosition));
}

void TUpDown::Step(TUDBtnType Button) {
  const Integer Cur = Position();
  Int64 Next = static_cast<Int64>(Cur) + (Button == btNext ? FIncrement : -static_cast<Int64>(FIncrement));
  Next = std::clamp<Int64>(Next, FMin, std::max(FMin, FMax));
  if (Next != Cur || Cur != FPosition) {
    if (!CanChange()) return;
    FPosition = static_cast<Integer>(Next);
    ShowPosition();
  }
  Click(Button);
}

bool TUpDown::CanChange() {
  bool Allow = true;
  if (OnChanging) OnChanging(this, Allow);
  return Allow;
}

void TUpDown::Click(TUDBtnType Button) {
  if (OnClick) OnClick(this, Button);
}

// ---------------------------------------------------------------------------------------------
// TProgressBar

TProgressBar::TProgressBar(TComponent* AOwner) : TWinControl(AOwner, new QProgressBar()) {
  static_cast<QProgressBar*>(Widget())->setTextVisible(false);
  Apply();
  SetBounds(Left(), Top(), 150, 16);
}

void TProgressBar::Apply() {
  auto* P = static_cast<QProgressBar*>(Widget());
  P->setRange(FMin, std::max(FMin, FMax));
  P->setValue(FPosition);
}

void TProgressBar::SetMin(Integer Value) {
  FMin = Value;
  FPosition = std::clamp(FPosition, FMin, std::max(FMin, FMax));
  Apply();
}

void TProgressBar::SetMax(Integer Value) {
  FMax = Value;
  FPosition = std::clamp(FPosition, FMin, std::max(FMin, FMax));
  Apply();
}

void TProgressBar::SetPosition(Integer Value) {
  FPosition = std::clamp(Value, FMin, std::max(FMin, FMax));
  Apply();
}

void TProgressBar::StepIt() {
  Int64 P = static_cast<Int64>(FPosition) + FStep;
  const Int64 Range = static_cast<Int64>(FMax) - FMin;
  if (P > FMax) P = Range > 0 ? FMin + (P - FMin) % Range : FMin;
  if (P < FMin) P = FMin;
  SetPosition(static_cast<Integer>(P));
}

// ---------------------------------------------------------------------------------------------
// TTrackBar

struct TrackBarAccess {
  static void Moved(TTrackBar* T, int Value) {
    if (T->FCodeChange || Value == T->FPosition) return;
    T->FPosition = Value;
    T->Changed();
  }
};

TTrackBar::TTrackBar(TComponent* AOwner) : TWinControl(AOwner, new QSlider(Qt::Horizontal)) {
  ControlStyle = csDoubleClicks;
  auto* S = static_cast<QSlider*>(Widget());
  QObject::connect(S, &QSlider::valueChanged,
                   [this](int V) { GuardedCall(this, [this, V] { TrackBarAccess::Moved(this, V); }); });
  ApplyRange();
  ApplyTicks();
  SetTabStop(true);
  SetBounds(Left(), Top(), 150, 45);
}

TTrackBar::~TTrackBar() {
  if (Widget()) QObject::disconnect(Widget(), nullptr, Widget(), nullptr);
}

void TTrackBar::ApplyRange() {
  auto* S = static_cast<QSlider*>(Widget());
  FlagGuard Code(FCodeChange);
  S->setRange(FMin, FMax);
  S->setSingleStep(FLineSize);
  S->setPageStep(FPageSize);
  S->setValue(FPosition);
}

void TTrackBar::ApplyTicks() {
  auto* S = static_cast<QSlider*>(Widget());
  S->setTickInterval(std::max<Integer>(FFrequency, 1));
  if (FTickStyle == tsNone) {
    S->setTickPosition(QSlider::NoTicks);
    return;
  }
  switch (FTickMarks) {
    case tmBottomRight: S->setTickPosition(QSlider::TicksBelow); break;
    case tmTopLeft: S->setTickPosition(QSlider::TicksAbove); break;
    case tmBoth: S->setTickPosition(QSlider::TicksBothSides); break;
  }
}

void TTrackBar::SetMin(Integer Value) {
  if (Value > FMax) return;
  FMin = Value;
  FPosition = std::max(FPosition, FMin);
  ApplyRange();
}

void TTrackBar::SetMax(Integer Value) {
  if (Value < FMin) return;
  FMax = Value;
  FPosition = std::min(FPosition, FMax);
  ApplyRange();
}

void TTrackBar::SetPosition(Integer Value) {
  Value = std::clamp(Value, FMin, FMax);
  if (Value == FPosition) return;
  FPosition = Value;
  ApplyRange();
  Changed();
}

void TTrackBar::SetFrequency(Integer Value) {
  FFrequency = Value;
  ApplyTicks();
}

void TTrackBar::SetLineSize(Integer Value) {
  FLineSize = Value;
  ApplyRange();
}

void TTrackBar::SetPageSize(Integer Value) {
  FPageSize = Value;
  ApplyRange();
}

void TTrackBar::SetTickStyle(TTickStyle Value) {
  FTickStyle = Value;
  ApplyTicks();
}

void TTrackBar::SetTickMarks(TTickMark Value) {
  FTickMarks = Value;
  ApplyTicks();
}

void TTrackBar::Changed() {
  if (OnChange) OnChange(this);
}

// ---------------------------------------------------------------------------------------------
// TTabSheet

TTabSheet::TTabSheet(TComponent* AOwner) : TWinControl(AOwner) {
  // A page is shown only while it is the active one.
  SetVisible(false);
}

TTabSheet::~TTabSheet() {
  if (FPageControl) FPageControl->RemovePage(this);
  FPageControl = nullptr;
}

void TTabSheet::SetPageControl(TPageControl* APageControl) { SetParent(APageControl); }

void TTabSheet::SetParent(TWinControl* AParent) {
  TWinControl::SetParent(AParent);
  auto* Now = dynamic_cast<TPageControl*>(AParent);
  if (Now == FPageControl) return;
  if (FPageControl) FPageControl->RemovePage(this);
  FPageControl = Now;
  if (Now) Now->InsertPage(this);
}

void TTabSheet::SetTabVisible(bool Value) {
  if (Value == FTabVisible) return;
  FTabVisible = Value;
  if (FPageControl) FPageControl->UpdateTab(this);
}

Integer TTabSheet::PageIndex() const {
  if (!FPageControl) return -1;
  const auto& P = FPageControl->FPages;
  return static_cast<Integer>(std::find(P.begin(), P.end(), this) - P.begin());
}

void TTabSheet::SetPageIndex(Integer Value) {
  if (FPageControl) FPageControl->MovePage(this, Value);
}

Integer TTabSheet::TabIndex() const {
  if (!FPageControl || !FTabVisible) return -1;
  Integer Result = 0;
  for (TTabSheet* P : FPageControl->FPages) {
    if (P == this) return Result;
    if (P->FTabVisible) ++Result;
  }
  return -1;
}

void TTabSheet::TextChanged() {
  if (FPageControl) FPageControl->UpdateTab(this);
  TWinControl::TextChanged();
}

// ---------------------------------------------------------------------------------------------
// TPageControl

struct PageControlAccess {
  static void Clicked(TPageControl* P, int Index) { P->TabClicked(Index); }
};

namespace {

class PageControlWidget : public QWidget {
 public:
  PageControlWidget() : Tabs(new QTabBar(this)) {
    Tabs->setDrawBase(false);
    Tabs->setExpanding(false);
    Tabs->setFocusPolicy(Qt::TabFocus);
  }

  QTabBar* Tabs;
  QRect Display;

 protected:
  // A raised two-line frame around the page area; the pages show their own colour inside.
  void paintEvent(QPaintEvent*) override {
    QPainter P(this);
    const QRect R = Display.adjusted(-2, -2, 1, 1);
    auto Edge = [&](const QRect& Box, TColor TopLeft, TColor BottomRight) {
      P.setPen(ToQColor(TopLeft));
      P.drawLine(Box.left(), Box.bottom(), Box.left(), Box.top());
      P.drawLine(Box.left(), Box.top(), Box.right(), Box.top());
      P.setPen(ToQColor(BottomRight));
      P.drawLine(Box.right(), Box.top(), Box.right(), Box.bottom());
      P.drawLine(Box.right(), Box.bottom(), Box.left(), Box.bottom());
    };
    Edge(R, clBtnHighlight, cl3DDkShadow);
    Edge(R.adjusted(1, 1, -1, -1), cl3DLight, clBtnShadow);
  }
};

PageControlWidget* PageWidget(const TPageControl* P) { return static_cast<PageControlWidget*>(P->Widget()); }

}  // namespace

TPageControl::TPageControl(TComponent* AOwner) : TWinControl(AOwner, new PageControlWidget()) {
  QObject::connect(TabBar(), &QTabBar::currentChanged, [this](int Index) {
    if (FCodeChange) return;
    GuardedCall(this, [this, Index] { PageControlAccess::Clicked(this, Index); });
  });
  SetTabStop(true);
  SetBounds(Left(), Top(), 289, 193);
}

TPageControl::~TPageControl() {
  if (Widget()) QObject::disconnect(TabBar(), nullptr, TabBar(), nullptr);
  // The pages outlive this part of the control while the child controls are freed.
  for (TTabSheet* P : FPages) P->FPageControl = nullptr;
  FPages.clear();
  FActivePage = nullptr;
}

QTabBar* TPageControl::TabBar() const { return PageWidget(this)->Tabs; }

TTabSheet* TPageControl::Pages(Integer Index) const {
  if (Index < 0 || Index >= PageCount()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FPages[static_cast<std::size_t>(Index)];
}

void TPageControl::InsertPage(TTabSheet* Page) {
  FPages.push_back(Page);
  {
    FlagGuard Code(FCodeChange);
    const int I = TabBar()->addTab(QStr(Page->Caption()));
    TabBar()->setTabVisible(I, Page->FTabVisible);
  }
  if (!FActivePage) FActivePage = Page;
  ShowActivePage();
  Relayout();
}

void TPageControl::RemovePage(TTabSheet* Page) {
  auto It = std::find(FPages.begin(), FPages.end(), Page);
  if (It == FPages.end()) return;
  const int Index = static_cast<int>(It - FPages.begin());
  TTabSheet* Next = Page == FActivePage ? FindNextPage(Page, true, true) : FActivePage;
  if (Next == Page) Next = nullptr;
  FPages.erase(It);
  {
    FlagGuard Code(FCodeChange);
    TabBar()->removeTab(Index);
  }
  FActivePage = Next;
  ShowActivePage();
  Relayout();
}

void TPageControl::MovePage(TTabSheet* Page, Integer NewIndex) {
  auto It = std::find(FPages.begin(), FPages.end(), Page);
  if (It == FPages.end()) return;
  const int From = static_cast<int>(It - FPages.begin());
  NewIndex = std::clamp<Integer>(NewIndex, 0, PageCount() - 1);
  FPages.erase(It);
  FPages.insert(FPages.begin() + NewIndex, Page);
  FlagGuard Code(FCodeChange);
  TabBar()->moveTab(From, NewIndex);
  ShowActivePage();
}

void TPageControl::UpdateTab(TTabSheet* Page) {
  const Integer I = Page->PageIndex();
  if (I < 0 || I >= PageCount()) return;
  {
    FlagGuard Code(FCodeChange);
    TabBar()->setTabText(I, QStr(Page->Caption()));
    TabBar()->setTabVisible(I, Page->FTabVisible);
  }
  ShowActivePage();
  Relayout();
}

void TPageControl::SetActivePage(TTabSheet* Page) {
  if (Page && Page->FPageControl != this) throw EInvalidOperation("The page belongs to another page control");
  if (Page == FActivePage) return;
  FActivePage = Page;
  ShowActivePage();
}

// Shows the active page alone and keeps the tab row in step with it (Qt moves its current tab
// by itself when tabs are hidden or removed).
void TPageControl::ShowActivePage() {
  {
    FlagGuard Code(FCodeChange);
    const Integer I = ActivePageIndex();
    if (I >= 0 && FActivePage->FTabVisible) TabBar()->setCurrentIndex(I);
  }
  for (TTabSheet* P : FPages) {
    if (P == FActivePage) continue;
    P->SetVisible(false);
  }
  if (FActivePage) {
    FActivePage->SetBoundsRect(DisplayRect());
    FActivePage->SetVisible(true);
    FActivePage->BringToFront();
  }
}

Integer TPageControl::ActivePageIndex() const { return FActivePage ? FActivePage->PageIndex() : -1; }

void TPageControl::SetActivePageIndex(Integer Value) {
  SetActivePage(Value >= 0 && Value < PageCount() ? FPages[static_cast<std::size_t>(Value)] : nullptr);
}

Integer TPageControl::TabIndex() const { return FActivePage ? FActivePage->TabIndex() : -1; }

void TPageControl::SetTabIndex(Integer Value) {
  for (TTabSheet* P : FPages)
    if (P->TabIndex() == Value && Value >= 0) {
      SetActivePage(P);
      return;
    }
}

TTabSheet* TPageControl::FindNextPage(TTabSheet* CurPage, bool GoForward, bool CheckTabVisible) const {
  if (FPages.empty()) return nullptr;
  const auto N = static_cast<std::ptrdiff_t>(FPages.size());
  auto It = std::find(FPages.begin(), FPages.end(), CurPage);
  std::ptrdiff_t Start = It == FPages.end() ? (GoForward ? N - 1 : 0) : It - FPages.begin();
  std::ptrdiff_t I = Start;
  for (std::ptrdiff_t K = 0; K < N; ++K) {
    I = (I + (GoForward ? 1 : -1) + N) % N;
    TTabSheet* P = FPages[static_cast<std::size_t>(I)];
    if (!CheckTabVisible || P->FTabVisible) return P;
  }
  return nullptr;
}

TRect TPageControl::DisplayRect() const {
  const QRect R = PageWidget(this)->Display;
  return Rect(R.left(), R.top(), R.left() + R.width(), R.top() + R.height());
}

void TPageControl::Relayout() {
  auto* W = PageWidget(this);
  bool AnyTab = false;
  for (TTabSheet* P : FPages) AnyTab = AnyTab || P->FTabVisible;
  int Top = 0;
  if (AnyTab) {
    const int H = W->Tabs->sizeHint().height();
    W->Tabs->setGeometry(0, 0, std::max(Width(), 0), H);
    W->Tabs->show();
    Top = H;
  } else {
    W->Tabs->hide();
  }
  W->Display = QRect(4, Top + 4, std::max(Width() - 8, 0), std::max(Height() - Top - 8, 0));
  if (FActivePage) FActivePage->SetBoundsRect(DisplayRect());
  W->update();
}

void TPageControl::Resize() {
  Relayout();
  TWinControl::Resize();
}

void TPageControl::TabClicked(int Index) {
  if (Index < 0 || Index >= PageCount()) return;
  TTabSheet* Page = FPages[static_cast<std::size_t>(Index)];
  if (Page == FActivePage) return;
  if (!CanChange()) {
    ShowActivePage();
    return;
  }
  SetActivePage(Page);
  Change();
}

bool TPageControl::CanChange() {
  bool Allow = true;
  if (OnChanging) OnChanging(this, Allow);
  return Allow;
}

void TPageControl::Change() {
  if (OnChange) OnChange(this);
}
