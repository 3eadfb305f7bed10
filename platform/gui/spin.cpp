#include "platform/gui/spin.h"

#include <algorithm>
#include <cstdint>

#include <QApplication>
#include <QLineEdit>
#include <QResizeEvent>
#include <QToolButton>

#include "platform/gui/application.h"
#include "platform/gui/spin_qt.h"
#include "platform/rtl/sysutils.h"

namespace {

// The Up and Down keys step as the arrow buttons do, and go no further.
template <class Spinner>
void StepOnArrowKey(Spinner& Control, Word& Key) {
  if (Key == VK_UP) {
    Key = 0;
    Control.UpClick();
  } else if (Key == VK_DOWN) {
    Key = 0;
    Control.DownClick();
  }
}

}  // namespace

namespace clvqt {

QToolButton* MakeArrowButton(QWidget* Parent, Qt::ArrowType Arrow) {
  auto* B = new QToolButton(Parent);
  B->setArrowType(Arrow);
  B->setAccessibleName(Arrow == Qt::UpArrow ? QStringLiteral("Up") : QStringLiteral("Down"));
  B->setFocusPolicy(Qt::NoFocus);
  B->setAutoRepeat(true);
  B->setAutoRaise(false);
  return B;
}

void PlaceArrowsStacked(QToolButton* Upper, QToolButton* Lower, const QRect& R) {
  const int Half = R.height() / 2;
  Upper->setGeometry(R.x(), R.y(), R.width(), Half);
  Lower->setGeometry(R.x(), R.y() + Half, R.width(), R.height() - Half);
}

ArrowPairWidget::ArrowPairWidget()
    : Next(MakeArrowButton(this, Qt::UpArrow)), Prev(MakeArrowButton(this, Qt::DownArrow)) {}

void ArrowPairWidget::resizeEvent(QResizeEvent* E) {
  QWidget::resizeEvent(E);
  PlaceArrowsStacked(Next, Prev, rect());
}

}  // namespace clvqt

namespace {

using clvqt::MakeArrowButton;

// A line edit with its arrow pair inside its right edge, as the framework's spin edit is an edit
// with a spin button child.
class SpinEditWidget : public QLineEdit {
 public:
  static constexpr int ArrowWidth = 15;

  SpinEditWidget() : Up(MakeArrowButton(this, Qt::UpArrow)), Down(MakeArrowButton(this, Qt::DownArrow)) {
    setTextMargins(0, 0, ArrowWidth, 0);
  }

  QToolButton* Up;
  QToolButton* Down;

 protected:
  void resizeEvent(QResizeEvent* E) override {
    QLineEdit::resizeEvent(E);
    clvqt::PlaceArrowsStacked(Up, Down, QRect(width() - ArrowWidth - 1, 1, ArrowWidth, height() - 2));
  }
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// TSpinButton

TSpinButton::TSpinButton(TComponent* AOwner) : TWinControl(AOwner, new clvqt::ArrowPairWidget()) {
  auto* W = static_cast<clvqt::ArrowPairWidget*>(Widget());
  QObject::connect(W->Next, &QToolButton::clicked, [this] { GuardedCall(this, [this] { UpClick(); }); });
  QObject::connect(W->Prev, &QToolButton::clicked, [this] { GuardedCall(this, [this] { DownClick(); }); });
  SetTabStop(true);
  SetBounds(Left(), Top(), 20, 25);
}

TSpinButton::~TSpinButton() = default;

void TSpinButton::SetFocusControl(TWinControl* Value) {
  if (Value == FFocusControl) return;
  if (FFocusControl) FFocusControl->RemoveFreeNotification(this);
  FFocusControl = Value;
  if (FFocusControl) FFocusControl->FreeNotification(this);
}

void TSpinButton::Notification(TComponent* AComponent, TOperation Operation) {
  TWinControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FFocusControl) FFocusControl = nullptr;
}

void TSpinButton::UpClick() {
  if (FFocusControl && FFocusControl->CanFocus()) FFocusControl->SetFocus();
  if (OnUpClick) OnUpClick(this);
}

void TSpinButton::DownClick() {
  if (FFocusControl && FFocusControl->CanFocus()) FFocusControl->SetFocus();
  if (OnDownClick) OnDownClick(this);
}

void TSpinButton::KeyDown(Word& Key, TShiftState Shift) {
  TWinControl::KeyDown(Key, Shift);
  StepOnArrowKey(*this, Key);
}

// ---------------------------------------------------------------------------------------------
// TSpinEdit

struct SpinEditAccess {
  static void FocusChanged(TSpinEdit* S, QWidget* Old, QWidget* Now) {
    QWidget* W = S->Widget();
    if (!W || Old != W || !Now || W->isAncestorOf(Now)) return;
    S->ClampAfterExit();
  }
};

TSpinEdit::TSpinEdit(TComponent* AOwner) : TCustomEdit(AOwner, new SpinEditWidget()) {
  auto* W = static_cast<SpinEditWidget*>(Widget());
  QObject::connect(W->Up, &QToolButton::clicked, [this] { GuardedCall(this, [this] { UpClick(); }); });
  QObject::connect(W->Down, &QToolButton::clicked, [this] { GuardedCall(this, [this] { DownClick(); }); });
  // Connected after the application's own focus tracking, so the clamp follows OnExit.
  QObject::connect(qApp, &QApplication::focusChanged, W, [this](QWidget* Old, QWidget* Now) {
    GuardedCall(this, [&] { SpinEditAccess::FocusChanged(this, Old, Now); });
  });
  SetText("0");
}

TSpinEdit::~TSpinEdit() {
  // Destroying the widget moves the focus; that must not reach a half-destroyed control.
  if (Widget()) QObject::disconnect(qApp, &QApplication::focusChanged, Widget(), nullptr);
}

Integer TSpinEdit::Value() const {
  Integer Result = 0;
  if (!TryStrToInt(Text(), Result)) Result = FMinValue;
  return Result;
}

void TSpinEdit::SetValue(Integer NewValue) { SetText(IntToStr(CheckValue(NewValue))); }

Integer TSpinEdit::CheckValue(Integer NewValue) const {
  if (FMaxValue <= FMinValue) return NewValue;
  return std::clamp(NewValue, FMinValue, FMaxValue);
}

void TSpinEdit::UpClick() {
  if (ReadOnly()) {
    QApplication::beep();
    return;
  }
  // Widened so that a step past the integer range saturates instead of overflowing.
  const Int64 Next = static_cast<Int64>(Value()) + FIncrement;
  SetValue(static_cast<Integer>(std::clamp<Int64>(Next, INT32_MIN, INT32_MAX)));
}

void TSpinEdit::DownClick() {
  if (ReadOnly()) {
    QApplication::beep();
    return;
  }
  const Int64 Next = static_cast<Int64>(Value()) - FIncrement;
  SetValue(static_cast<Integer>(std::clamp<Int64>(Next, INT32_MIN, INT32_MAX)));
}

void TSpinEdit::KeyDown(Word& Key, TShiftState Shift) {
  TCustomEdit::KeyDown(Key, Shift);
  StepOnArrowKey(*this, Key);
}

void TSpinEdit::ClampAfterExit() {
  const Integer V = Value();
  if (CheckValue(V) != V) SetValue(V);
}
