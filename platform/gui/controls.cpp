#include "platform/gui/controls.h"

#include <algorithm>
#include <cstdint>

#include <QApplication>
#include <QScrollBar>
#include <QVariant>
#include <QWidget>
#include <QWindow>

#include "platform/gui/application.h"
#include "platform/gui/drag_dock.h"
#include "platform/gui/dragdrop.h"
#include "platform/gui/forms.h"
#include "platform/gui/graphics.h"
#include "platform/gui/menus.h"
#include "platform/gui/qt_accessibility.h"
#include "platform/gui/qt_control_bridge.h"
#include "platform/gui/qt_cursors.h"
#include "platform/gui/qt_graphics_bridge.h"
#include "platform/gui/qt_surface.h"
#include "platform/rtl/mainthread.h"
#include "platform/rtl/sync.h"

// ---------------------------------------------------------------------------------------------
// TSizeConstraints

void TSizeConstraints::Set(Integer& Field, Integer Value) {
  Value = std::max<Integer>(Value, 0);
  if (Value == Field) return;
  Field = Value;
  if (OnChange) OnChange(this);
}

void TSizeConstraints::SetMinWidth(Integer Value) { Set(FMinWidth, Value); }
void TSizeConstraints::SetMinHeight(Integer Value) { Set(FMinHeight, Value); }
void TSizeConstraints::SetMaxWidth(Integer Value) { Set(FMaxWidth, Value); }
void TSizeConstraints::SetMaxHeight(Integer Value) { Set(FMaxHeight, Value); }

void TSizeConstraints::Assign(TPersistent* Source) {
  auto* S = dynamic_cast<TSizeConstraints*>(Source);
  if (!S) {
    TPersistent::Assign(Source);
    return;
  }
  FMinWidth = S->FMinWidth;
  FMinHeight = S->FMinHeight;
  FMaxWidth = S->FMaxWidth;
  FMaxHeight = S->FMaxHeight;
  if (OnChange) OnChange(this);
}

Integer TSizeConstraints::ConstrainWidth(Integer Value) const {
  if (FMaxWidth > 0 && Value > FMaxWidth) Value = FMaxWidth;
  if (FMinWidth > 0 && Value < FMinWidth) Value = FMinWidth;
  return Value;
}

Integer TSizeConstraints::ConstrainHeight(Integer Value) const {
  if (FMaxHeight > 0 && Value > FMaxHeight) Value = FMaxHeight;
  if (FMinHeight > 0 && Value < FMinHeight) Value = FMinHeight;
  return Value;
}

// ---------------------------------------------------------------------------------------------
// TControl

TControl::TControl(TComponent* AOwner) : TControl(AOwner, new QWidget()) {}

TControl::TControl(TComponent* AOwner, QWidget* AWidget) : TComponent(AOwner) {
  FConstraints = new TSizeConstraints();
  FConstraints->OnChange = [this](TObject*) { SetBounds(Left(), Top(), Width(), Height()); };
  FFont = new TFont();
  FFont->OnChange = [this](TObject*) {
    if (!FInFontChange) {
      FParentFont = false;
      FontChanged();
    }
  };
  AttachWidget(AWidget);
}

TControl::~TControl() {
  Destroying();
  TDragDockProtocol::ControlGone(this);
  if (FFont) FFont->OnChange = nullptr;
  FConstraints->OnChange = nullptr;
  if (FParent) FParent->RemoveControl(this);
  FParent = nullptr;
  if (FWidget) {
    QWidget* W = FWidget;
    FWidget = nullptr;
    W->setProperty(clvqt::ControlBridge::PropertyName, QVariant());
    delete W;
  }
  delete FFont;
  delete FConstraints;
}

void TControl::AttachWidget(QWidget* AWidget) {
  FWidget = AWidget;
  clvqt::ControlBridge::Bind(AWidget, this);
  FWidget->hide();
}

void TControl::WidgetGone() { FWidget = nullptr; }

void TControl::SetParent(TWinControl* AParent) {
  if (AParent == FParent) return;
  if (AParent == this) throw EInvalidOperation("A control cannot have itself as its parent");
  if (FParent) FParent->RemoveControl(this);
  FParent = AParent;
  if (FWidget) {
    QRect G = FWidget->geometry();
    FWidget->setParent(AParent ? AParent->ClientWidget() : nullptr);
    FWidget->setGeometry(G);
  }
  if (AParent) {
    AParent->InsertControl(this);
    ParentColorChanged();
    if (FParentFont) ParentFontChanged();
  }
  UpdateAnchorRules();
  VisibleChanged();
  if (FParent && FAlign != alNone) FParent->AlignControls();
}

namespace {
// A window's bounds include its frame, as the framework counts them; a child's are its widget's.
QRect OuterGeometry(const QWidget* W) { return W->isWindow() ? W->frameGeometry() : W->geometry(); }
}  // namespace

Integer TControl::Left() const { return FWidget ? OuterGeometry(FWidget).x() : 0; }
Integer TControl::Top() const { return FWidget ? OuterGeometry(FWidget).y() : 0; }
Integer TControl::Width() const { return FWidget ? OuterGeometry(FWidget).width() : 0; }
Integer TControl::Height() const { return FWidget ? OuterGeometry(FWidget).height() : 0; }
void TControl::SetLeft(Integer Value) { SetBounds(Value, Top(), Width(), Height()); }
void TControl::SetTop(Integer Value) { SetBounds(Left(), Value, Width(), Height()); }
void TControl::SetWidth(Integer Value) { SetBounds(Left(), Top(), Value, Height()); }
void TControl::SetHeight(Integer Value) { SetBounds(Left(), Top(), Width(), Value); }

void TControl::SetBounds(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight) {
  if (!FWidget) return;
  AWidth = std::max<Integer>(FConstraints->ConstrainWidth(AWidth), 0);
  AHeight = std::max<Integer>(FConstraints->ConstrainHeight(AHeight), 0);
  bool Sized = AWidth != Width() || AHeight != Height();
  FWidget->setGeometry(ALeft, ATop, AWidth, AHeight);
  if (Sized && !FWidget->isVisible()) {
    // Qt reports the size of hidden widgets only when they are shown; the framework reports
    // it at once.
    WidgetResized();
  }
  if (!FAnchoring) UpdateAnchorRules();
  if (FParent && FAlign != alNone) FParent->AlignControls();
}

TRect TControl::BoundsRect() const { return Bounds(Left(), Top(), Width(), Height()); }
void TControl::SetBoundsRect(const TRect& R) { SetBounds(R.Left, R.Top, R.Width(), R.Height()); }
TRect TControl::ClientRect() const {
  return FWidget ? Rect(0, 0, FWidget->width(), FWidget->height()) : TRect();
}
Integer TControl::ClientWidth() const { return ClientRect().Width(); }
Integer TControl::ClientHeight() const { return ClientRect().Height(); }
void TControl::SetClientWidth(Integer Value) { SetWidth(Width() - ClientWidth() + Value); }
void TControl::SetClientHeight(Integer Value) { SetHeight(Height() - ClientHeight() + Value); }

void TControl::SetVisible(bool Value) {
  if (Value == FVisible) return;
  FVisible = Value;
  VisibleChanged();
  if (FParent && FAlign != alNone) FParent->AlignControls();
  TDragDockProtocol::ClientChanged(this, true);
}

void TControl::Show() {
  if (FParent) FParent->ShowControl(this);
  if (!FVisible) SetVisible(true);
}
void TControl::Hide() { SetVisible(false); }

bool TControl::Showing() const {
  if (!FVisible) return false;
  if (auto* F = dynamic_cast<const TCustomForm*>(this)) return F->Widget() && F->Widget()->isVisible();
  return FParent && FParent->Showing();
}

void TControl::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  FEnabled = Value;
  if (FWidget) FWidget->setEnabled(Value);
  EnabledChanged();
}

void TControl::SetColor(TColor Value) {
  FParentColor = false;
  if (Value == FColor) return;
  FColor = Value;
  ColorChanged();
}

void TControl::SetParentColor(bool Value) {
  FParentColor = Value;
  if (Value) ParentColorChanged();
}

void TControl::ParentColorChanged() {
  if (!FParentColor || !FParent) return;
  if (FColor != FParent->Color()) {
    FColor = FParent->Color();
    ColorChanged();
  }
}

TFont* TControl::Font() const { return FFont; }

void TControl::SetFont(TFont* Value) {
  if (Value) FFont->Assign(Value);
}

void TControl::SetParentFont(bool Value) {
  FParentFont = Value;
  if (Value) ParentFontChanged();
}

void TControl::ParentFontChanged() {
  if (!FParentFont || !FParent) return;
  FInFontChange = true;
  try {
    FFont->Assign(FParent->Font());
  } catch (...) {
    FInFontChange = false;
    throw;
  }
  FInFontChange = false;
  FontChanged();
}

void TControl::SetCaption(const AnsiString& Value) {
  if (Value == FCaption) return;
  FCaption = Value;
  TextChanged();
  TDragDockProtocol::ClientChanged(this, false);
}

void TControl::SetHint(const AnsiString& Value) {
  FHint = Value;
  if (FWidget) FWidget->setToolTip(FShowHint ? QString::fromStdString(Value) : QString());
}

void TControl::SetShowHint(bool Value) {
  FShowHint = Value;
  FParentShowHint = false;
  SetHint(FHint);
}

void TControl::SetCursor(TCursor Value) {
  FCursor = Value;
  ApplyCursor();
}

void TControl::ApplyCursor() {
  if (!FWidget) return;
  if (FCursor == crDefault)
    FWidget->unsetCursor();
  else
    FWidget->setCursor(clvqt::CursorFor(FCursor));
}

void TControl::SetAlign(TAlign Value) {
  if (Value == FAlign) return;
  FAlign = Value;
  if (FParent) FParent->AlignControls();
}

void TControl::SetAnchors(TAnchors Value) {
  if (Value == FAnchors) return;
  FAnchors = Value;
  UpdateAnchorRules();
}

void TControl::SetConstraints(TSizeConstraints* Value) {
  if (Value) FConstraints->Assign(Value);
}

TRect TControl::ParentClientRect() const { return FParent ? FParent->ClientRect() : TRect(); }

void TControl::UpdateAnchorRules() {
  if (FAnchoring || !FParent) return;
  const TRect P = ParentClientRect();
  FOriginalParentSize = Point(P.Width(), P.Height());
  if ((FAnchors & akRight) != 0)
    FAnchorRules.X = (FAnchors & akLeft) != 0 ? Width() : P.Width() - Left();
  else
    FAnchorRules.X = Left() + Width() / 2;
  if ((FAnchors & akBottom) != 0)
    FAnchorRules.Y = (FAnchors & akTop) != 0 ? Height() : P.Height() - Top();
  else
    FAnchorRules.Y = Top() + Height() / 2;
}

void TControl::ApplyAnchors(const TPoint& ParentSize) {
  if (FAnchors == (akLeft | akTop) || FAlign != alNone) return;
  // A parent that had no size when the control was placed gives nothing to keep.
  if (FOriginalParentSize.X <= 0 || FOriginalParentSize.Y <= 0) {
    UpdateAnchorRules();
    return;
  }
  Integer L = Left(), T = Top(), W = Width(), H = Height();
  if ((FAnchors & akRight) != 0) {
    if ((FAnchors & akLeft) != 0)
      W = ParentSize.X - FOriginalParentSize.X + FAnchorRules.X;
    else
      L = ParentSize.X - FAnchorRules.X;
  } else if ((FAnchors & akLeft) == 0) {
    L = Integer(std::int64_t(FAnchorRules.X) * ParentSize.X / FOriginalParentSize.X) - W / 2;
  }
  if ((FAnchors & akBottom) != 0) {
    if ((FAnchors & akTop) != 0)
      H = ParentSize.Y - FOriginalParentSize.Y + FAnchorRules.Y;
    else
      T = ParentSize.Y - FAnchorRules.Y;
  } else if ((FAnchors & akTop) == 0) {
    T = Integer(std::int64_t(FAnchorRules.Y) * ParentSize.Y / FOriginalParentSize.Y) - H / 2;
  }
  FAnchoring = true;
  try {
    SetBounds(L, T, W, H);
  } catch (...) {
    FAnchoring = false;
    throw;
  }
  FAnchoring = false;
}

void TControl::SetPopupMenu(TPopupMenu* Value) {
  if (Value == FPopupMenu) return;
  if (FPopupMenu) FPopupMenu->RemoveFreeNotification(this);
  FPopupMenu = Value;
  if (FPopupMenu) FPopupMenu->FreeNotification(this);
}

void TControl::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FPopupMenu) FPopupMenu = nullptr;
}

void TControl::ContextPopup(TPoint MousePos, bool& Handled) {
  if (OnContextPopup) OnContextPopup(this, MousePos, Handled);
}

bool TControl::DoContextPopup(TPoint MousePos) {
  bool Handled = false;
  ContextPopup(MousePos, Handled);
  if (Handled) return true;
  if (FPopupMenu) {
    const TPoint At = ClientToScreen(MousePos.X == -1 && MousePos.Y == -1 ? Point(0, 0) : MousePos);
    FPopupMenu->SetPopupComponent(this);
    FPopupMenu->Popup(At.X, At.Y);
    return true;
  }
  // Unanswered, the request goes to the parent, in the parent's coordinates.
  if (!FParent) return false;
  const bool FromKeyboard = MousePos.X == -1 && MousePos.Y == -1;
  return FParent->DoContextPopup(FromKeyboard ? MousePos : FParent->ScreenToClient(ClientToScreen(MousePos)));
}

void TControl::SetAccessibleName(const AnsiString& Value) {
  FAccessibleName = Value;
  if (FWidget) FWidget->setAccessibleName(QString::fromStdString(Value));
}

bool TControl::GetAccessibleValue(Integer&, Integer&, Integer&, Integer&) const { return false; }
void TControl::SetAccessibleValue(Integer) {}
void TControl::SelectAccessibleTab(Integer) {}
void TControl::AccessibleValueChanged() { clvqt::NotifyAccessibleValue(this); }
void TControl::AccessibleTabsChanged() { clvqt::NotifyAccessibleTabs(this); }

void TControl::Invalidate() {
  if (FWidget) FWidget->update();
}

void TControl::Repaint() {
  Invalidate();
  Update();
}

void TControl::Update() {
  if (FWidget && FWidget->isVisible()) FWidget->repaint();
}

bool TControl::MouseCapture() const {
  return FPressed || (FWidget && QWidget::mouseGrabber() == FWidget);
}

void TControl::SetMouseCapture(bool Value) {
  if (!FWidget) return;
  if (Value) {
    if (FWidget->isVisible()) FWidget->grabMouse();
  } else {
    if (QWidget::mouseGrabber() == FWidget) FWidget->releaseMouse();
    FPressed = false;
  }
}

TPoint TControl::ClientToScreen(const TPoint& P) const {
  QWidget* W = ClientWidget();
  if (!W) return P;
  QPoint G = W->mapToGlobal(QPoint(P.X, P.Y));
  return Point(G.x(), G.y());
}

TPoint TControl::ScreenToClient(const TPoint& P) const {
  QWidget* W = ClientWidget();
  if (!W) return P;
  QPoint L = W->mapFromGlobal(QPoint(P.X, P.Y));
  return Point(L.x(), L.y());
}

void TControl::BringToFront() {
  if (FWidget) FWidget->raise();
  if (FParent) {
    auto& L = FParent->FControls;
    L.erase(std::remove(L.begin(), L.end(), this), L.end());
    L.push_back(this);
  }
}

void TControl::SendToBack() {
  if (FWidget) FWidget->lower();
  if (FParent) {
    auto& L = FParent->FControls;
    L.erase(std::remove(L.begin(), L.end(), this), L.end());
    L.insert(L.begin(), this);
  }
}

TCustomForm* TControl::GetParentForm() const { return ::GetParentForm(this); }

NativeInt TControl::Perform(Cardinal Msg, NativeUInt WParam, NativeInt LParam) {
  TMessage M{Msg, WParam, LParam, 0};
  WndProc(M);
  return M.Result;
}

void TControl::WndProc(TMessage& Message) { Message.Result = 0; }

NativeInt SendMessage(TWinControl* Control, Cardinal Msg, NativeUInt WParam, NativeInt LParam) {
  if (!Control) return 0;
  if (!IsMainThread()) {
    NativeInt Result = 0;
    Synchronize([&] { Result = SendMessage(Control, Msg, WParam, LParam); });
    return Result;
  }
  QWidget* W = Control->Widget();
  if (!W) return 0;
  TMessage M{Msg, WParam, LParam, 0};
  clvqt::WindowMessageEvent Event(M);
  QCoreApplication::sendEvent(W, &Event);
  return M.Result;
}

void TControl::Loaded() { TComponent::Loaded(); }

void TControl::SetName(const AnsiString& NewName) {
  TComponent::SetName(NewName);
  if (FWidget) FWidget->setObjectName(QString::fromStdString(NewName));
}

void TControl::DoMouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TDragDockProtocol::NoteMouse(this, X, Y);
  if (Button == mbLeft && TDragDockProtocol::AutomaticDrag(this)) return;
  if (Button == mbLeft && (ControlStyle & csClickEvents)) FPressed = true;
  MouseDown(Button, Shift, X, Y);
}

void TControl::DoMouseMove(TShiftState Shift, Integer X, Integer Y) {
  TDragDockProtocol::NoteMouse(this, X, Y);
  if (TDragDockProtocol::MouseMoved(this, X, Y)) return;
  MouseMove(Shift, X, Y);
}

void TControl::DoMouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TDragDockProtocol::NoteMouse(this, X, Y);
  if (Button == mbLeft && TDragDockProtocol::MouseReleased(this, X, Y)) {
    FPressed = false;
    return;
  }
  bool WasPressed = FPressed && Button == mbLeft;
  if (Button == mbLeft) FPressed = false;
  if (WasPressed && (ControlStyle & csClickEvents) && PtInRect(ClientRect(), Point(X, Y))) Click();
  MouseUp(Button, Shift, X, Y);
}

void TControl::DoDblClick(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TDragDockProtocol::NoteMouse(this, X, Y);
  if (Button == mbLeft && (ControlStyle & csClickEvents)) DblClick();
  MouseDown(Button, Shift | ssDouble, X, Y);
}

bool TControl::DoMouseWheel(TShiftState Shift, Integer WheelDelta, TPoint MousePos) {
  return MouseWheel(Shift, WheelDelta, MousePos);
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}

void TControl::MouseMove(TShiftState Shift, Integer X, Integer Y) {
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}

void TControl::MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

bool TControl::MouseWheel(TShiftState Shift, Integer WheelDelta, TPoint MousePos) {
  bool Handled = false;
  if (OnMouseWheel) OnMouseWheel(this, Shift, WheelDelta, MousePos, Handled);
  if (!Handled) {
    if (WheelDelta < 0 && OnMouseWheelDown) OnMouseWheelDown(this, Shift, MousePos, Handled);
    if (WheelDelta > 0 && OnMouseWheelUp) OnMouseWheelUp(this, Shift, MousePos, Handled);
  }
  return Handled;
}

void TControl::EnabledChanged() { Invalidate(); }

void TControl::VisibleChanged() {
  if (!FWidget) return;
  FWidget->setVisible(FVisible && FParent != nullptr);
}

void TControl::FontChanged() {
  if (FWidget) FWidget->setFont(ToQFont(*FFont));
  Invalidate();
}

void TControl::ColorChanged() { Invalidate(); }
void TControl::TextChanged() { Invalidate(); }

void TControl::MouseEnter() {
  if (OnMouseEnter) OnMouseEnter(this);
}

void TControl::MouseLeave() {
  if (OnMouseLeave) OnMouseLeave(this);
}

void TControl::Resize() {
  if (OnResize) OnResize(this);
}

void TControl::WidgetResized() { Resize(); }

// ---------------------------------------------------------------------------------------------
// TWinControl

TWinControl::TWinControl(TComponent* AOwner) : TWinControl(AOwner, new QWidget()) {
  ControlStyle |= csClickEvents;
}

TWinControl::TWinControl(TComponent* AOwner, QWidget* AWidget) : TControl(AOwner, AWidget) {
  // A control that brings its own widget (a button, a check box) reports clicks as that widget
  // does; clicks made up from press and release would come twice.
  ControlStyle = csCaptureMouse | csDoubleClicks;
}

TWinControl::~TWinControl() {
  Destroying();
  DragAcceptFiles(this, false);
  TDragDockProtocol::SiteGone(this);
  // Child controls go with their parent (whoever owns them), before the parent's widget.
  while (!FControls.empty()) {
    TControl* Child = FControls.back();
    Child->Destroying();
    RemoveControl(Child);
    Child->FParent = nullptr;
    delete Child;
  }
  if (auto* F = GetParentForm(); F && F != this && F->ActiveControl() == this) F->SetActiveControl(nullptr);
}

TControl* TWinControl::Controls(Integer Index) const {
  if (Index < 0 || Index >= ControlCount())
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FControls[static_cast<std::size_t>(Index)];
}

void TWinControl::InsertControl(TControl* AControl) {
  if (std::find(FControls.begin(), FControls.end(), AControl) == FControls.end())
    FControls.push_back(AControl);
}

void TWinControl::RemoveControl(TControl* AControl) {
  FControls.erase(std::remove(FControls.begin(), FControls.end(), AControl), FControls.end());
  if (auto* F = ::GetParentForm(this)) {
    if (F->ActiveControl() == AControl) F->SetActiveControl(nullptr);
  }
}

void TWinControl::SetTabStop(bool Value) {
  FTabStop = Value;
  if (!Widget()) return;
  if (Value)
    Widget()->setFocusPolicy(Qt::StrongFocus);
  else
    Widget()->setFocusPolicy(Qt::FocusPolicy(Widget()->focusPolicy() & ~Qt::TabFocus));
}

Integer TWinControl::TabOrder() const {
  if (!Parent()) return -1;
  Integer Order = 0;
  for (TControl* C : Parent()->FControls) {
    if (C == this) return Order;
    if (dynamic_cast<TWinControl*>(C)) ++Order;
  }
  return -1;
}

namespace {

void CollectTabChain(TWinControl* Parent, std::vector<QWidget*>& Chain) {
  for (Integer I = 0; I < Parent->ControlCount(); ++I) {
    auto* W = dynamic_cast<TWinControl*>(Parent->Controls(I));
    if (!W || !W->Widget() || W->Widget()->isWindow()) continue;
    QWidget* Q = W->Widget();
    while (Q->focusProxy()) Q = Q->focusProxy();
    if (Q->focusPolicy() != Qt::NoFocus) Chain.push_back(Q);
    CollectTabChain(W, Chain);
  }
}

}  // namespace

void RebuildTabChain(TWinControl* Root) {
  // Qt keeps one focus chain per window, in the order widgets were made; the framework's order is
  // each parent's children in tab order, depth first.
  std::vector<QWidget*> Chain;
  CollectTabChain(Root, Chain);
  for (std::size_t I = 1; I < Chain.size(); ++I) QWidget::setTabOrder(Chain[I - 1], Chain[I]);
}

void TWinControl::SetTabOrder(Integer Value) {
  TWinControl* P = Parent();
  if (!P) return;
  std::vector<TWinControl*> Wins;
  for (TControl* C : P->FControls)
    if (auto* W = dynamic_cast<TWinControl*>(C); W && W != this) Wins.push_back(W);
  Value = std::clamp<Integer>(Value, 0, static_cast<Integer>(Wins.size()));
  Wins.insert(Wins.begin() + Value, this);
  // Keep the windowed children in tab order inside the list, graphic ones where they were.
  std::size_t K = 0;
  for (TControl*& C : P->FControls)
    if (dynamic_cast<TWinControl*>(C)) C = Wins[K++];
  TWinControl* Root = P;
  while (Root->Parent() && !dynamic_cast<TCustomForm*>(Root)) Root = Root->Parent();
  RebuildTabChain(Root);
}

bool TWinControl::CanFocus() const {
  for (const TControl* C = this; C; C = C->Parent()) {
    if (!C->Visible() || !C->Enabled()) return false;
  }
  TCustomForm* F = ::GetParentForm(this);
  return F != nullptr;
}

void TWinControl::SetFocus() {
  if (!CanFocus()) throw EInvalidOperation("Cannot focus a disabled or invisible window");
  TCustomForm* F = ::GetParentForm(this);
  if (F && F != this) F->SetActiveControl(this);
  if (Widget()) Widget()->setFocus(Qt::OtherFocusReason);
}

bool TWinControl::Focused() const {
  QWidget* Focus = QApplication::focusWidget();
  if (Widget() && Focus && (Focus == Widget() || Widget()->isAncestorOf(Focus)))
    return FindControl(Focus) == this;
  TCustomForm* F = ::GetParentForm(this);
  return F && F != this && F->ActiveControl() == this && F->Active();
}

bool TWinControl::DoKeyDown(Word& Key, TShiftState Shift) {
  KeyDown(Key, Shift);
  return Key != 0;
}

bool TWinControl::DoKeyPress(char& Key) {
  KeyPress(Key);
  return Key != 0;
}

bool TWinControl::DoKeyUp(Word& Key, TShiftState Shift) {
  KeyUp(Key, Shift);
  return Key != 0;
}

void TWinControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}

void TWinControl::DoExit() {
  if (OnExit) OnExit(this);
}

void TWinControl::KeyDown(Word& Key, TShiftState Shift) {
  if (OnKeyDown) OnKeyDown(this, Key, Shift);
}

void TWinControl::KeyPress(char& Key) {
  if (OnKeyPress) OnKeyPress(this, Key);
}

void TWinControl::KeyUp(Word& Key, TShiftState Shift) {
  if (OnKeyUp) OnKeyUp(this, Key, Shift);
}

// Children are looked up by index on every step: a control that acts on the key may add or
// remove controls (a page switch, a closing dialog), and the walk must not touch a stale list.
void TWinControl::DialogKey(Word& Key, TShiftState Shift) {
  for (std::size_t I = 0; Key != 0 && I < FControls.size(); ++I)
    if (auto* W = dynamic_cast<TWinControl*>(FControls[I])) W->DialogKey(Key, Shift);
}

void TWinControl::DialogChar(char& Key, TShiftState Shift) {
  for (std::size_t I = 0; Key != 0 && I < FControls.size(); ++I)
    if (auto* W = dynamic_cast<TWinControl*>(FControls[I])) W->DialogChar(Key, Shift);
}

void TWinControl::VisibleChanged() {
  if (Visible()) HandleNeeded();
  TControl::VisibleChanged();
}

void TWinControl::ShowControl(TControl*) {
  if (Parent()) Parent()->ShowControl(this);
}

void TWinControl::DestroyHandle() {
  if (!FHandleAllocated) return;
  FHandleAllocated = false;
  for (TControl* C : FControls)
    if (auto* W = dynamic_cast<TWinControl*>(C)) W->DestroyHandle();
  // Child widgets draw through their parent's window; only a control with a native window of
  // its own has one to give back.
  if (Widget() && Widget()->windowHandle() && !Widget()->isWindow()) Widget()->windowHandle()->destroy();
}

void TWinControl::HandleNeeded() {
  if (FHandleAllocated) return;
  FHandleAllocated = true;
  for (TControl* C : FControls)
    if (auto* W = dynamic_cast<TWinControl*>(C)) W->HandleNeeded();
  Invalidate();
}

void TWinControl::FontChanged() {
  TControl::FontChanged();
  for (TControl* C : std::vector<TControl*>(FControls)) C->ParentFontChanged();
}

void TWinControl::ColorChanged() {
  TControl::ColorChanged();
  for (TControl* C : std::vector<TControl*>(FControls)) C->ParentColorChanged();
}

void TWinControl::Resize() {
  AlignControls();
  TControl::Resize();
}

void TWinControl::AlignControls() {
  if (FAligning) return;
  FAligning = true;
  TRect R = ClientRect();
  const TPoint Size = Point(R.Width(), R.Height());
  auto Place = [&](TAlign Which) {
    std::vector<TControl*> Group;
    for (TControl* C : FControls)
      if (C->Align() == Which && C->Visible()) Group.push_back(C);
    // Within a group the control nearer its edge goes first, as the user placed them.
    std::stable_sort(Group.begin(), Group.end(), [Which](TControl* A, TControl* B) {
      switch (Which) {
        case alTop: return A->Top() < B->Top();
        case alBottom: return A->Top() + A->Height() > B->Top() + B->Height();
        case alLeft: return A->Left() < B->Left();
        case alRight: return A->Left() + A->Width() > B->Left() + B->Width();
        default: return false;
      }
    });
    for (TControl* C : Group) {
      Integer W = C->Width();
      Integer H = C->Height();
      switch (Which) {
        case alTop:
          C->FWidget->setGeometry(R.Left, R.Top, R.Width(), H);
          R.Top += H;
          break;
        case alBottom:
          C->FWidget->setGeometry(R.Left, R.Bottom - H, R.Width(), H);
          R.Bottom -= H;
          break;
        case alLeft:
          C->FWidget->setGeometry(R.Left, R.Top, W, R.Height());
          R.Left += W;
          break;
        case alRight:
          C->FWidget->setGeometry(R.Right - W, R.Top, W, R.Height());
          R.Right -= W;
          break;
        case alClient:
          C->FWidget->setGeometry(R.Left, R.Top, std::max(R.Width(), 0), std::max(R.Height(), 0));
          break;
        default: break;
      }
      if (!C->FWidget->isVisible() && (C->Width() != W || C->Height() != H)) C->WidgetResized();
    }
  };
  try {
    for (TAlign A : {alTop, alBottom, alLeft, alRight, alClient}) Place(A);
    for (TControl* C : std::vector<TControl*>(FControls)) C->ApplyAnchors(Size);
  } catch (...) {
    FAligning = false;
    throw;
  }
  FAligning = false;
}

// ---------------------------------------------------------------------------------------------
// TCustomControl

TCustomControl::TCustomControl(TComponent* AOwner)
    : TWinControl(AOwner, new clvqt::PaintedWidget(nullptr)) {
  auto* W = static_cast<clvqt::PaintedWidget*>(Widget());
  W->SetOwnerControl(this);
  FSurface = new clvqt::PaintSurface(W, false);
  Widget()->setFocusPolicy(Qt::NoFocus);
  ControlStyle |= csClickEvents;
}

TCustomControl::~TCustomControl() {
  if (auto* W = static_cast<clvqt::PaintedWidget*>(Widget())) W->SetOwnerControl(nullptr);
  delete FSurface;
  FSurface = nullptr;
}

TCanvas* TCustomControl::Canvas() const { return FSurface->Canvas(); }

void TCustomControl::Invalidate() { FSurface->Invalidate(); }

void TCustomControl::Update() {
  // Paint runs now, into the surface, whether or not the window system has shown the window
  // yet; the screen copy follows with the next paint pass.
  if (Widget() && Widget()->isVisible() && FSurface->NeedsPaint()) {
    RenderSurface();
    FSurface->ScheduleShow();
  }
}

TRect TCustomControl::ClientRect() const {
  auto* W = static_cast<clvqt::PaintedWidget*>(Widget());
  if (!W) return TRect();
  QRect C = W->ClientArea();
  return Rect(0, 0, C.width(), C.height());
}

void TCustomControl::Paint() {}

void TCustomControl::DestroyHandle() {
  if (!HandleAllocated()) return;
  TWinControl::DestroyHandle();
  FSurface->Release();
}

void TCustomControl::Scroll(TScrollBarKind, TScrollCode, Integer) {}

void TCustomControl::Resize() {
  TRect C = ClientRect();
  FSurface->Resize(C.Width(), C.Height());
  TWinControl::Resize();
}

void TCustomControl::RenderSurface() {
  TRect C = ClientRect();
  FSurface->Render(this, C.Width(), C.Height(), (ControlStyle & csOpaque) != 0, [this] { Paint(); });
}

void TCustomControl::PaintNow() {
  HandleNeeded();
  if (FSurface->NeedsPaint()) RenderSurface();
  if (Widget()) FSurface->DrawOn(Widget());
}

void TCustomControl::SetScrollInfo(TScrollBarKind Kind, const TScrollInfo& Info) {
  auto* W = static_cast<clvqt::PaintedWidget*>(Widget());
  QScrollBar* B = W->Bar(Kind, true);
  Integer Page = std::max<Integer>(Info.Page, 0);
  Integer Top = Page > 0 ? Info.Max - Page + 1 : Info.Max;
  Top = std::max(Top, Info.Min);
  QSignalBlocker Block(B);
  B->setRange(Info.Min, Top);
  B->setPageStep(std::max<Integer>(Page, 1));
  B->setValue(std::clamp(Info.Pos, Info.Min, Top));
  B->setProperty("clvMax", Info.Max);
  B->setProperty("clvPage", Page);
}

TScrollInfo TCustomControl::GetScrollInfo(TScrollBarKind Kind) const {
  auto* W = static_cast<clvqt::PaintedWidget*>(Widget());
  TScrollInfo I;
  QScrollBar* B = W ? W->Bar(Kind, false) : nullptr;
  if (!B) return I;
  I.Min = B->minimum();
  I.Max = B->property("clvMax").isValid() ? B->property("clvMax").toInt() : B->maximum();
  I.Page = B->property("clvPage").toInt();
  I.Pos = B->value();
  return I;
}

void TCustomControl::SetScrollPos(TScrollBarKind Kind, Integer Pos) {
  auto* W = static_cast<clvqt::PaintedWidget*>(Widget());
  QScrollBar* B = W->Bar(Kind, true);
  QSignalBlocker Block(B);
  B->setValue(std::clamp(Pos, B->minimum(), B->maximum()));
}

Integer TCustomControl::GetScrollPos(TScrollBarKind Kind) const {
  auto* W = static_cast<clvqt::PaintedWidget*>(Widget());
  QScrollBar* B = W ? W->Bar(Kind, false) : nullptr;
  return B ? B->value() : 0;
}

void TCustomControl::ShowScrollBar(TScrollBarKind Kind, bool Show) {
  auto* W = static_cast<clvqt::PaintedWidget*>(Widget());
  QScrollBar* B = W->Bar(Kind, Show);
  if (!B || B->isHidden() != Show) return;
  B->setVisible(Show);
  W->LayoutBars();
  // The client area changed size.
  clvqt::ControlBridge::Resized(this);
}

bool TCustomControl::ScrollBarVisible(TScrollBarKind Kind) const {
  auto* W = static_cast<clvqt::PaintedWidget*>(Widget());
  QScrollBar* B = W ? W->Bar(Kind, false) : nullptr;
  return B && !B->isHidden();
}

void TCustomControl::EnableScrollBar(TScrollBarKind Kind, bool Enable) {
  auto* W = static_cast<clvqt::PaintedWidget*>(Widget());
  if (QScrollBar* B = W->Bar(Kind, true)) B->setEnabled(Enable);
}

// ---------------------------------------------------------------------------------------------
// TGraphicControl

TGraphicControl::TGraphicControl(TComponent* AOwner)
    : TControl(AOwner, new clvqt::PaintedWidget(nullptr)) {
  auto* W = static_cast<clvqt::PaintedWidget*>(Widget());
  W->SetOwnerControl(this);
  W->setFocusPolicy(Qt::NoFocus);
  FSurface = new clvqt::PaintSurface(W, true);
}

TGraphicControl::~TGraphicControl() {
  if (auto* W = static_cast<clvqt::PaintedWidget*>(Widget())) W->SetOwnerControl(nullptr);
  delete FSurface;
  FSurface = nullptr;
}

TCanvas* TGraphicControl::Canvas() const { return FSurface->Canvas(); }
void TGraphicControl::Invalidate() { FSurface->Invalidate(); }

void TGraphicControl::Update() {
  if (Widget() && Widget()->isVisible() && FSurface->NeedsPaint()) {
    RenderSurface();
    FSurface->ScheduleShow();
  }
}

void TGraphicControl::Paint() {}

void TGraphicControl::Resize() {
  FSurface->Resize(Width(), Height());
  TControl::Resize();
}

void TGraphicControl::RenderSurface() {
  FSurface->Render(this, Width(), Height(), true, [this] { Paint(); });
}

void TGraphicControl::PaintNow() {
  if (FSurface->NeedsPaint()) RenderSurface();
  if (Widget()) FSurface->DrawOn(Widget());
}

// ---------------------------------------------------------------------------------------------

TControl* FindControl(QWidget* Widget) {
  for (QWidget* W = Widget; W; W = W->parentWidget()) {
    QVariant V = W->property(clvqt::ControlBridge::PropertyName);
    if (V.isValid()) return static_cast<TControl*>(V.value<void*>());
    // A window of its own (a message box, a file dialog, a drop-down list) is not part of the
    // form it was opened over: its keys and clicks are its own, never the form's.
    if (W->isWindow()) break;
  }
  return nullptr;
}
