#include "platform/gui/forms.h"

#include <algorithm>

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWindow>

#include "platform/gui/application.h"
#include "platform/gui/drag_dock.h"
#include "platform/gui/graphics.h"
#include "platform/gui/qt_accessibility.h"
#include "platform/gui/qt_control_bridge.h"
#include "platform/gui/qt_form_widget.h"
#include "platform/gui/qt_surface.h"

namespace clvqt {

FormClientArea::FormClientArea(QWidget* Parent) : QWidget(Parent) {
  // Moves over the client area are the form's mouse moves, buttons held or not.
  setMouseTracking(true);
}

void FormClientArea::paintEvent(QPaintEvent*) {
  if (FForm) FForm->PaintNow();
}

FormWidget::FormWidget() : QWidget(nullptr, Qt::Window), FClient(new FormClientArea(this)) {
  FClient->show();
}

void FormWidget::SetForm(TCustomForm* Form) {
  FForm = Form;
  FClient->SetForm(Form);
}

int FormWidget::MenuBarHeight() const {
  if (!FMenuBar || FMenuBar->isHidden()) return 0;
  return FMenuBar->sizeHint().height();
}

void FormWidget::SetMenuBar(QWidget* Bar) {
  if (FMenuBar == Bar) return;
  if (FMenuBar) FMenuBar->removeEventFilter(this);
  FMenuBar = Bar;
  if (Bar) {
    Bar->setParent(this);
    Bar->installEventFilter(this);
    Bar->show();
    connect(Bar, &QObject::destroyed, this, [this, Bar] {
      if (FMenuBar && FMenuBar != Bar) return;
      FMenuBar = nullptr;
      BarMayHaveChanged();
    });
  }
  BarMayHaveChanged();
}

void FormWidget::BarMayHaveChanged() {
  const int Height = MenuBarHeight();
  const int Delta = Height - FBarHeight;
  FBarHeight = Height;
  // The bar takes its room from the window, not from the client area (the framework's forms
  // grow by their menu), so a ClientHeight set before the menu was filled stays.
  if (Delta != 0 && FForm) FForm->KeepClientHeight(Delta);
  LayoutClient();
}

void FormWidget::LayoutClient() {
  const bool Shown = FMenuBar && !FMenuBar->isHidden();
  const int Bar = Shown ? std::min(FBarHeight, height()) : 0;
  if (Shown) {
    FMenuBar->setGeometry(0, 0, width(), Bar);
    FMenuBar->raise();
  }
  FClient->setGeometry(0, Bar, width(), height() - Bar);
}

bool FormWidget::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched != FMenuBar) return QWidget::eventFilter(Watched, Event);
  switch (Event->type()) {
    case QEvent::ActionAdded:
    case QEvent::ActionRemoved:
    case QEvent::ActionChanged: {
      // The bar works out its new height while it handles the event: let it, then follow.
      QPointer<QWidget> Bar = FMenuBar;
      const bool Result = Watched->event(Event);
      if (Bar) BarMayHaveChanged();
      return Result;
    }
    case QEvent::ShowToParent:
    case QEvent::HideToParent: BarMayHaveChanged(); break;
    default: break;
  }
  return QWidget::eventFilter(Watched, Event);
}

void FormWidget::closeEvent(QCloseEvent* Event) {
  // The form decides whether and how it goes away; Qt must not hide it on its own.
  Event->ignore();
  if (FForm) GuardedCall(FForm, [this] { FForm->WindowCloseRequest(); });
}

void FormWidget::changeEvent(QEvent* Event) {
  QWidget::changeEvent(Event);
  if (Event->type() == QEvent::ActivationChange && FForm) {
    TCustomForm* F = FForm;
    if (isActiveWindow())
      GuardedCall(F, [F] { F->DoActivate(); });
    else
      GuardedCall(F, [F] { F->DoDeactivate(); });
  }
}

void FormWidget::resizeEvent(QResizeEvent* Event) {
  LayoutClient();
  QWidget::resizeEvent(Event);
  if (!FForm || FForm->FInSetBounds) return;
  // A resize the window system made: the form may still refuse it.
  Integer W = width();
  Integer H = height();
  Integer OldW = Event->oldSize().width();
  Integer OldH = Event->oldSize().height();
  if (OldW < 0 || OldH < 0) return;
  bool Allowed = true;
  TCustomForm* F = FForm;
  GuardedCall(F, [&] { Allowed = F->CanResize(W, H); });
  if (!Allowed) {
    QPointer<QWidget> Self = this;
    QMetaObject::invokeMethod(this, [Self, OldW, OldH] { if (Self) Self->resize(OldW, OldH); },
                              Qt::QueuedConnection);
  }
}

}  // namespace clvqt

namespace {
// Brings a window forward. The headless platform of the tests has no stacking to change (and
// says so on every call).
void RaiseWindow(QWidget* W) {
  static const bool Headless = QGuiApplication::platformName() == QLatin1String("offscreen");
  if (!Headless) W->raise();
  W->activateWindow();
}

clvqt::FormWidget* FormWidgetOf(const TCustomForm* F) {
  return static_cast<clvqt::FormWidget*>(F->Widget());
}
}  // namespace

TCustomForm::TCustomForm(TComponent* AOwner) : TWinControl(AOwner, new clvqt::FormWidget()) {
  FormWidgetOf(this)->SetForm(this);
  FVisible = false;
  FSurface = new clvqt::PaintSurface(FormWidgetOf(this)->ClientArea(), false);
  SetColor(clBtnFace);
  FParentFont = false;
  ControlStyle = csCaptureMouse | csClickEvents | csDoubleClicks;
  Widget()->resize(320, 240);
  FormWidgetOf(this)->LayoutClient();
  ApplyWindowFlags();
}

TCustomForm::~TCustomForm() {
  Destroying();
  if (OnDestroy) GuardedCall(this, [this] { OnDestroy(this); });
  // The form's components use the form; they go while it is still whole.
  DestroyComponents();
  if (auto* W = FormWidgetOf(this)) {
    W->SetForm(nullptr);
    W->hide();
  }
  delete FSurface;
  FSurface = nullptr;
}

void TCustomForm::AfterConstruction() {
  if (FCreated) return;
  FCreated = true;
  if (OnCreate) OnCreate(this);
}

void TCustomForm::SetBorderStyle(TFormBorderStyle Value) {
  FBorderStyle = Value;
  ApplyWindowFlags();
}

void TCustomForm::SetBorderIcons(TBorderIcons Value) {
  FBorderIcons = Value;
  ApplyWindowFlags();
}

void TCustomForm::SetPosition(TPosition Value) { FPosition = Value; }

void TCustomForm::SetFormStyle(TFormStyle Value) {
  FFormStyle = Value;
  ApplyWindowFlags();
}

TWindowState TCustomForm::WindowState() const {
  if (!Widget()) return wsNormal;
  if (Widget()->isMinimized()) return wsMinimized;
  if (Widget()->isMaximized()) return wsMaximized;
  return wsNormal;
}

void TCustomForm::SetWindowState(TWindowState Value) {
  if (!Widget()) return;
  Qt::WindowStates S = Widget()->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
  if (Value == wsMinimized) S |= Qt::WindowMinimized;
  if (Value == wsMaximized) S |= Qt::WindowMaximized;
  Widget()->setWindowState(S);
}

bool TCustomForm::FixedSize() const {
  return FBorderStyle == bsNone || FBorderStyle == bsSingle || FBorderStyle == bsDialog ||
         FBorderStyle == bsToolWindow;
}

void TCustomForm::KeepFixedSize() {
  QWidget* W = Widget();
  if (!W) return;
  if (FixedSize()) {
    W->setFixedSize(W->size());
  } else {
    W->setMinimumSize(0, 0);
    W->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  }
}

void TCustomForm::ApplyWindowFlags() {
  QWidget* W = Widget();
  if (!W) return;
  Qt::WindowFlags F;
  switch (FBorderStyle) {
    case bsNone: F = Qt::Window | Qt::FramelessWindowHint; break;
    case bsDialog: F = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint; break;
    case bsToolWindow:
    case bsSizeToolWin: F = Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint; break;
    default: F = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint; break;
  }
  if (FBorderStyle != bsNone) {
    if (FBorderIcons & biSystemMenu) F |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (FBorderStyle == bsSingle || FBorderStyle == bsSizeable) {
      if ((FBorderIcons & biSystemMenu) && (FBorderIcons & biMinimize)) F |= Qt::WindowMinimizeButtonHint;
      if ((FBorderIcons & biSystemMenu) && (FBorderIcons & biMaximize) && FBorderStyle == bsSizeable)
        F |= Qt::WindowMaximizeButtonHint;
    }
  }
  if (FFormStyle == fsStayOnTop) F |= Qt::WindowStaysOnTopHint;
  bool WasVisible = W->isVisible();
  QRect G = W->geometry();
  W->setWindowFlags(F);
  W->setGeometry(G);
  KeepFixedSize();
  if (WasVisible) W->show();
}

void TCustomForm::SetBounds(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight) {
  QWidget* W = Widget();
  if (!W) return;
  AWidth = Constraints()->ConstrainWidth(AWidth);
  AHeight = Constraints()->ConstrainHeight(AHeight);
  if (AWidth != Width() || AHeight != Height()) {
    bool Allowed = true;
    Integer NewW = AWidth;
    Integer NewH = AHeight;
    if (FCreated || OnCanResize) Allowed = CanResize(NewW, NewH);
    if (!Allowed) {
      AWidth = Width();
      AHeight = Height();
    } else {
      AWidth = NewW;
      AHeight = NewH;
    }
  }
  FInSetBounds = true;
  try {
    W->setMinimumSize(0, 0);
    W->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    // Left/Top place the window frame on the screen, as the framework counts them.
    QRect Frame = W->frameGeometry();
    QRect Client = W->geometry();
    int DX = Client.x() - Frame.x();
    int DY = Client.y() - Frame.y();
    int DW = Frame.width() - Client.width();
    int DH = Frame.height() - Client.height();
    bool Sized = AWidth != Width() || AHeight != Height();
    W->setGeometry(ALeft + DX, ATop + DY, std::max(AWidth - DW, 0), std::max(AHeight - DH, 0));
    FormWidgetOf(this)->LayoutClient();
    KeepFixedSize();
    FPlaced = true;
    if (Sized && !W->isVisible()) clvqt::ControlBridge::Resized(this);
  } catch (...) {
    FInSetBounds = false;
    throw;
  }
  FInSetBounds = false;
}

TRect TCustomForm::ClientRect() const {
  const QWidget* C = ClientWidget();
  return C ? Rect(0, 0, C->width(), C->height()) : TRect();
}

QWidget* TCustomForm::ClientWidget() const {
  auto* W = FormWidgetOf(this);
  return W ? W->ClientArea() : nullptr;
}

void TCustomForm::KeepClientHeight(Integer Delta) {
  QWidget* W = Widget();
  if (!W || (ComponentState() & csDestroying) || W->isMaximized() || W->isFullScreen()) return;
  FInSetBounds = true;
  W->setMinimumSize(0, 0);
  W->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  W->resize(W->width(), std::max(W->height() + Delta, 0));
  KeepFixedSize();
  FInSetBounds = false;
}

bool TCustomForm::CanResize(Integer& NewWidth, Integer& NewHeight) {
  bool Resize = true;
  if (OnCanResize) OnCanResize(this, NewWidth, NewHeight, Resize);
  return Resize;
}

void TCustomForm::SetVisible(bool Value) {
  if (Value == FVisible) {
    // Show on a visible form still brings it forward.
    if (Value && Widget()) RaiseWindow(Widget());
    return;
  }
  FVisible = Value;
  VisibleChanged();
  TDragDockProtocol::ClientChanged(this, true);
}

void TCustomForm::VisibleChanged() {
  QWidget* W = Widget();
  if (!W) return;
  if (FVisible) {
    PlaceOnShow();
    DoShow();
    if (!FVisible) return;  // OnShow hid it again
    RebuildTabChain(this);
    clvqt::NameFieldsAfterTheirLabels(this);
    W->show();
    // The frame is known once the window is up: centre again with it.
    PlaceOnShow();
    RaiseWindow(W);
  } else {
    DoHide();
    W->hide();
  }
}

void TCustomForm::PlaceOnShow() {
  QWidget* W = Widget();
  QScreen* S = QGuiApplication::primaryScreen();
  if (!S) return;
  QRect Area = S->availableGeometry();
  QRect Target = Area;
  if (FPosition == poMainFormCenter || FPosition == poOwnerFormCenter) {
    TCustomForm* Ref = FPosition == poMainFormCenter && Application ? Application->MainForm()
                                                                    : dynamic_cast<TCustomForm*>(Owner());
    if (Ref && Ref != this && Ref->Widget() && Ref->Widget()->isVisible()) Target = Ref->Widget()->frameGeometry();
  }
  if (FPosition == poScreenCenter || FPosition == poDesktopCenter || FPosition == poMainFormCenter ||
      FPosition == poOwnerFormCenter) {
    QRect Frame = W->frameGeometry();
    int X = Target.x() + (Target.width() - Frame.width()) / 2;
    int Y = Target.y() + (Target.height() - Frame.height()) / 2;
    W->move(X, Y);
  }
}

void TCustomForm::Show() { SetVisible(true); }
void TCustomForm::Hide() { SetVisible(false); }

void TCustomForm::DoShow() {
  if (OnShow) OnShow(this);
}

void TCustomForm::DoHide() {
  if (OnHide) OnHide(this);
}

void TCustomForm::DoActivate() {
  if (OnActivate) OnActivate(this);
}

void TCustomForm::DoDeactivate() {
  if (OnDeactivate) OnDeactivate(this);
}

bool TCustomForm::CloseQuery() {
  bool CanClose = true;
  if (OnCloseQuery) OnCloseQuery(this, CanClose);
  return CanClose;
}

void TCustomForm::Close() {
  if (Modal()) {
    SetModalResult(mrCancel);
    return;
  }
  if (!Widget() || !Widget()->isVisible()) {
    // Not on screen yet: a ShowModal that follows before the loop runs again ends at once.
    FPendingClose = true;
    FPendingCloseGeneration = Application ? Application->LoopGeneration() : 0;
  }
  if (!CloseQuery()) return;
  TCloseAction Action = caHide;
  if (OnClose) OnClose(this, Action);
  if (Action == caNone) return;
  if (Application && Application->MainForm() == this) {
    Hide();
    Application->Terminate();
  } else if (Action == caHide) {
    Hide();
  } else if (Action == caMinimize) {
    SetWindowState(wsMinimized);
  } else {
    Release();
  }
}

void TCustomForm::WindowCloseRequest() {
  if (!(FBorderIcons & biSystemMenu) || FBorderStyle == bsNone) return;
  Close();
}

void TCustomForm::Release() {
  QPointer<QWidget> W = Widget();
  TCustomForm* Self = this;
  // Freed from the event loop, once the handler that asked for it has returned.
  struct Releaser {
    static void Post(QPointer<QWidget> W, TCustomForm* Self) {
      QMetaObject::invokeMethod(
          qApp,
          [W, Self] {
            if (!W) return;
            if (Self->Modal()) {
              Post(W, Self);
              return;
            }
            delete Self;
          },
          Qt::QueuedConnection);
    }
  };
  Releaser::Post(W, Self);
}

void TCustomForm::SetModalResult(TModalResult Value) {
  FModalResult = Value;
  if (Value != mrNone && Modal()) {
    // Wake the modal loop if it sleeps.
    QCoreApplication::postEvent(qApp, new QEvent(QEvent::None));
  }
}

void TCustomForm::CloseModal() {
  TCloseAction Action = caNone;
  if (CloseQuery()) {
    Action = caHide;
    if (OnClose) OnClose(this, Action);
  }
  if (Action == caNone) FModalResult = mrNone;
  if (Action == caFree) Release();
}

TModalResult TCustomForm::ShowModal() {
  QWidget* W = Widget();
  if (!W || FVisible || !Enabled() || Modal())
    throw EInvalidOperation("Cannot make a visible window modal");
  bool Pending = FPendingClose && Application && FPendingCloseGeneration == Application->LoopGeneration();
  FPendingClose = false;
  // Only a Terminate made while this loop runs ends it: one from before (the main form closed
  // earlier) must not cut short the messages a program shows on its way out.
  const Cardinal TerminatesBefore = Application->TerminateRequests();
  ++FModalLevel;
  FModalResult = mrNone;
  W->setWindowModality(Qt::ApplicationModal);
  auto Finish = [this, W] {
    if (FVisible) {
      FVisible = false;
      try {
        DoHide();
      } catch (...) {
        W->hide();
        W->setWindowModality(Qt::NonModal);
        --FModalLevel;
        throw;
      }
      W->hide();
    }
    W->setWindowModality(Qt::NonModal);
    --FModalLevel;
  };
  try {
    SetVisible(true);
    if (Pending && FModalResult == mrNone) FModalResult = mrCancel;
    for (;;) {
      if (FModalResult == mrNone) Application->HandleMessage();
      if (Application->TerminateRequests() != TerminatesBefore && FModalResult == mrNone) FModalResult = mrCancel;
      if (FModalResult != mrNone) {
        CloseModal();
        if (FModalResult != mrNone) break;
      }
    }
  } catch (...) {
    Finish();
    throw;
  }
  Finish();
  return FModalResult;
}

bool TCustomForm::Active() const { return Widget() && Widget()->isActiveWindow(); }

void TCustomForm::SetActiveControl(TWinControl* Control) {
  if (Control == FActiveControl) return;
  TWinControl* Old = FActiveControl;
  FActiveControl = Control;
  if (Old && !(Old->ComponentState() & csDestroying)) Old->DoExit();
  if (Control && FActiveControl == Control) {
    Control->DoEnter();
    QWidget* Focus = QApplication::focusWidget();
    QWidget* W = Control->Widget();
    if (W && Widget()->isVisible() && !(Focus && (Focus == W || W->isAncestorOf(Focus))))
      W->setFocus(Qt::OtherFocusReason);
  }
}

void TCustomForm::Invalidate() {
  if (FSurface) FSurface->Invalidate();
}

TCanvas* TCustomForm::Canvas() const { return FSurface->Canvas(); }

void TCustomForm::Paint() {
  if (OnPaint) OnPaint(this);
}

void TCustomForm::PaintNow() {
  QWidget* W = ClientWidget();
  if (!W) return;
  if (FSurface->NeedsPaint() || FSurface->Image().size() != W->size())
    FSurface->Render(this, W->width(), W->height(), false, [this] { Paint(); });
  FSurface->DrawOn(W);
}

void TCustomForm::TextChanged() {
  if (Widget()) Widget()->setWindowTitle(QString::fromStdString(Caption()));
}

void TCustomForm::Notification(TComponent* AComponent, TOperation Operation) {
  TWinControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FActiveControl) FActiveControl = nullptr;
}

bool TCustomForm::BeginWindowDrag() {
  QWidget* W = Widget();
  if (!W || !W->windowHandle()) return false;
  if (QWidget* G = QWidget::mouseGrabber()) G->releaseMouse();
  return W->windowHandle()->startSystemMove();
}

TDialogKeyTarget* TCustomForm::FindDialogTarget(TWinControl* Root, bool Cancel) const {
  for (Integer I = 0; I < Root->ControlCount(); ++I) {
    TControl* C = Root->Controls(I);
    if (!C->Visible() || !C->Enabled()) continue;
    if (auto* T = dynamic_cast<TDialogKeyTarget*>(C)) {
      if (Cancel ? T->IsCancelButton() : T->IsDefaultButton()) return T;
    }
    if (auto* W = dynamic_cast<TWinControl*>(C)) {
      if (TDialogKeyTarget* T = FindDialogTarget(W, Cancel)) return T;
    }
  }
  return nullptr;
}

void TCustomForm::DialogKey(Word& Key, TShiftState Shift) {
  TWinControl::DialogKey(Key, Shift);
  if (Key == 0 || (Shift & (ssCtrl | ssAlt | ssShift))) return;
  TDialogKeyTarget* Target = nullptr;
  if (Key == VK_RETURN) {
    if (auto* Focused = dynamic_cast<TDialogKeyTarget*>(FActiveControl);
        Focused && FActiveControl->Visible() && FActiveControl->Enabled())
      Target = Focused;
    else
      Target = FindDialogTarget(this, false);
  } else if (Key == VK_ESCAPE) {
    Target = FindDialogTarget(this, true);
  }
  if (!Target) return;
  Key = 0;
  Target->DialogKeyClick();
}

TCustomForm* GetParentForm(const TControl* Control) {
  const TControl* C = Control;
  while (C && C->Parent()) C = C->Parent();
  return dynamic_cast<TCustomForm*>(const_cast<TControl*>(C));
}
