#include "platform/gui/input_simulation.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>
#include <QScrollBar>
#include <QUrl>
#include <QWidget>

#include "platform/gui/forms.h"
#include "platform/gui/qt_control_bridge.h"

namespace {

QString TextFor(Word Key, char Ch) {
  if (Ch) return QString(QChar(Ch));
  (void)Key;
  return QString();
}

Qt::KeyboardModifiers ModifiersFor(TShiftState Shift) {
  Qt::KeyboardModifiers M;
  if (Shift & ssShift) M |= Qt::ShiftModifier;
  if (Shift & ssCtrl) M |= Qt::ControlModifier;
  if (Shift & ssAlt) M |= Qt::AltModifier;
  return M;
}

QWidget* KeyTarget(TWinControl* Control) {
  QWidget* W = Control->Widget();
  if (!W) return nullptr;
  if (QWidget* P = W->focusProxy()) return P;
  return W;
}

}  // namespace

void SimulateKeyDown(TWinControl* Control, Word Key, TShiftState Shift, char Ch) {
  QWidget* W = KeyTarget(Control);
  if (!W) return;
  W->setFocus(Qt::OtherFocusReason);
  QKeyEvent E(QEvent::KeyPress, clvqt::QtKeyFromVirtualKey(Key), ModifiersFor(Shift), TextFor(Key, Ch));
  QApplication::sendEvent(W, &E);
}

void SimulateKeyUp(TWinControl* Control, Word Key, TShiftState Shift) {
  QWidget* W = KeyTarget(Control);
  if (!W) return;
  QKeyEvent E(QEvent::KeyRelease, clvqt::QtKeyFromVirtualKey(Key), ModifiersFor(Shift));
  QApplication::sendEvent(W, &E);
}

void SimulateKey(TWinControl* Control, Word Key, TShiftState Shift, char Ch) {
  QPointer<QWidget> W = KeyTarget(Control);
  SimulateKeyDown(Control, Key, Shift, Ch);
  if (W) {
    QKeyEvent E(QEvent::KeyRelease, clvqt::QtKeyFromVirtualKey(Key), ModifiersFor(Shift));
    QApplication::sendEvent(W, &E);
  }
}

void SimulateTyping(TWinControl* Control, const AnsiString& Text) {
  for (char C : Text) {
    Word Key = 0;
    TShiftState Shift = 0;
    if (C >= 'a' && C <= 'z') Key = Word(C - 'a' + 'A');
    else if (C >= 'A' && C <= 'Z') { Key = Word(C); Shift = ssShift; }
    else if (C >= '0' && C <= '9') Key = Word(C);
    else if (C == ' ') Key = VK_SPACE;
    SimulateKey(Control, Key, Shift, C);
  }
}

void SimulateText(TWinControl* Control, const AnsiString& Utf8Text) {
  for (QChar C : QString::fromStdString(Utf8Text)) {
    QPointer<QWidget> W = KeyTarget(Control);
    if (!W) return;
    W->setFocus(Qt::OtherFocusReason);
    QKeyEvent Press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(C));
    QApplication::sendEvent(W, &Press);
    if (!W) return;
    QKeyEvent Release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(C));
    QApplication::sendEvent(W, &Release);
  }
}

void SimulateMouse(TControl* Control, TSimulatedMouse Kind, TMouseButton Button, Integer X, Integer Y,
                   TShiftState Shift) {
  QWidget* W = Control->Widget();
  if (!W) return;
  QPointF Local(X, Y);
  QPointF Global = W->mapToGlobal(QPoint(X, Y));
  Qt::MouseButton B = Button == mbRight ? Qt::RightButton : Button == mbMiddle ? Qt::MiddleButton : Qt::LeftButton;
  QEvent::Type T = QEvent::MouseMove;
  Qt::MouseButtons Held;
  if (Shift & ssLeft) Held |= Qt::LeftButton;
  if (Shift & ssRight) Held |= Qt::RightButton;
  if (Shift & ssMiddle) Held |= Qt::MiddleButton;
  switch (Kind) {
    case smPress: T = QEvent::MouseButtonPress; Held |= B; break;
    case smRelease: T = QEvent::MouseButtonRelease; Held &= ~Qt::MouseButtons(B); break;
    case smDoubleClick: T = QEvent::MouseButtonDblClick; Held |= B; break;
    case smMove: B = Qt::NoButton; break;
  }
  QMouseEvent E(T, Local, Local, Global, B, Held, ModifiersFor(Shift));
  QApplication::sendEvent(W, &E);
}

void SimulateClick(TControl* Control, Integer X, Integer Y, TMouseButton Button) {
  QPointer<QWidget> W = Control->Widget();
  SimulateMouse(Control, smPress, Button, X, Y);
  if (W) SimulateMouse(Control, smRelease, Button, X, Y);
}

void SimulateScrollBar(TCustomControl* Control, TScrollBarKind Kind, TScrollCode Code) {
  QWidget* W = Control->Widget();
  if (!W) return;
  for (QScrollBar* B : W->findChildren<QScrollBar*>(Qt::FindDirectChildrenOnly)) {
    if (B->isHidden() || B->orientation() != (Kind == sbHorizontal ? Qt::Horizontal : Qt::Vertical)) continue;
    QAbstractSlider::SliderAction A = QAbstractSlider::SliderNoAction;
    switch (Code) {
      case scLineUp: A = QAbstractSlider::SliderSingleStepSub; break;
      case scLineDown: A = QAbstractSlider::SliderSingleStepAdd; break;
      case scPageUp: A = QAbstractSlider::SliderPageStepSub; break;
      case scPageDown: A = QAbstractSlider::SliderPageStepAdd; break;
      case scTop: A = QAbstractSlider::SliderToMinimum; break;
      case scBottom: A = QAbstractSlider::SliderToMaximum; break;
      default: break;
    }
    B->triggerAction(A);
    return;
  }
}

void SimulateWindowClose(TCustomForm* Form) {
  if (!Form->Widget()) return;
  QCloseEvent E;
  QApplication::sendEvent(Form->Widget(), &E);
}

void SimulateDroppedFiles(TWinControl* Control, const std::vector<AnsiString>& Names) {
  QWidget* W = Control->Widget();
  if (!W) return;
  QMimeData Data;
  QList<QUrl> Urls;
  for (const AnsiString& N : Names) Urls << QUrl::fromLocalFile(QString::fromStdString(N));
  Data.setUrls(Urls);
  QPointF At(1, 1);
  QDragEnterEvent Enter(At.toPoint(), Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(W, &Enter);
  if (!Enter.isAccepted()) return;
  QDropEvent Drop(At, Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(W, &Drop);
}

bool SaveFormImage(TCustomForm* Form, const AnsiString& FileName) {
  if (!Form->Widget()) return false;
  return Form->Widget()->grab().save(QString::fromStdString(FileName), "PNG");
}
