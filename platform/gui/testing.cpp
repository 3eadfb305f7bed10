#include "platform/gui/testing.h"

#include <QApplication>
#include <QKeyEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QTabBar>
#include <QWidget>

#include "platform/gui/comctrls.h"
#include "platform/gui/forms.h"
#include "platform/gui/qt_control_bridge.h"
#include "platform/gui/qt_graphics_bridge.h"

// Qt's own entry for offering a key to the shortcut map before the focus widget sees it (the
// road a key from the window system takes); exported by Qt Gui for its test library.
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject* o, ulong timestamp, int k, Qt::KeyboardModifiers mods,
                                               const QString& text, bool autorep, ushort count);

namespace guitest {

namespace {

QString TextForKey(Word Key, TShiftState Shift) {
  if (Shift & (ssCtrl | ssAlt)) return QString();
  if (Key >= 'A' && Key <= 'Z') return QString(QChar((Shift & ssShift) ? Key : Key + ('a' - 'A')));
  if (Key >= '0' && Key <= '9' && !(Shift & ssShift)) return QString(QChar(Key));
  switch (Key) {
    case VK_BACK: return QString(QChar(0x08));
    case VK_RETURN: return QString(QChar(0x0D));
    case VK_ESCAPE: return QString(QChar(0x1B));
    case VK_TAB: return QString(QChar(0x09));
    case VK_SPACE: return QStringLiteral(" ");
    default: return QString();
  }
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
  QWidget* Focus = QApplication::focusWidget();
  if (Focus && (Focus == W || W->isAncestorOf(Focus))) return Focus;
  return W;
}

void SendKey(QWidget* Target, int QtKey, Qt::KeyboardModifiers Mods, const QString& Text) {
  QPointer<QWidget> Alive = Target;
  if (!qt_sendShortcutOverrideEvent(Target, 0, QtKey, Mods, Text, false, 1)) {
    if (!Alive) return;
    QKeyEvent Press(QEvent::KeyPress, QtKey, Mods, Text);
    QApplication::sendEvent(Target, &Press);
  }
  if (!Alive) return;
  QKeyEvent Release(QEvent::KeyRelease, QtKey, Mods, Text);
  QApplication::sendEvent(Target, &Release);
}

void SendClick(QWidget* Target, QPoint Local, Qt::MouseButton Button) {
  QPointer<QWidget> Alive = Target;
  const QPointF Global = Target->mapToGlobal(QPointF(Local));
  QMouseEvent Press(QEvent::MouseButtonPress, QPointF(Local), Global, Button, Button, Qt::NoModifier);
  QApplication::sendEvent(Target, &Press);
  if (!Alive) return;
  QMouseEvent Release(QEvent::MouseButtonRelease, QPointF(Local), Global, Button, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(Target, &Release);
}

}  // namespace

void ProcessEvents() {
  QApplication::sendPostedEvents();
  QApplication::processEvents();
}

void ShowActive(TCustomForm* Form) {
  Form->Show();
  QWidget* W = Form->Widget();
  W->activateWindow();
  QApplication::setActiveWindow(W);
  ProcessEvents();
}

void PressKey(TWinControl* Control, Word Key, TShiftState Shift) {
  const int QtKey = clvqt::QtKeyFromVirtualKey(Key);
  SendKey(KeyTarget(Control), QtKey, ModifiersFor(Shift), TextForKey(Key, Shift));
}

void ClickAt(TControl* Control, Integer X, Integer Y, TMouseButton Button) {
  QWidget* W = Control->Widget();
  QPoint P(X, Y);
  QWidget* Target = W->childAt(P);
  if (!Target) Target = W;
  const Qt::MouseButton B = Button == mbRight ? Qt::RightButton : Button == mbMiddle ? Qt::MiddleButton : Qt::LeftButton;
  SendClick(Target, Target->mapFrom(W, P), B);
}

void Click(TControl* Control) { ClickAt(Control, Control->Width() / 2, Control->Height() / 2); }

void ClickTab(TPageControl* Control, Integer PageIndex) {
  QTabBar* Bar = Control->Widget()->findChild<QTabBar*>();
  if (!Bar || PageIndex < 0 || PageIndex >= Bar->count()) return;
  SendClick(Bar, Bar->tabRect(PageIndex).center(), Qt::LeftButton);
}

TColor PixelOnScreen(TControl* Control, Integer X, Integer Y) {
  ProcessEvents();
  const QImage Shown = Control->Widget()->grab().toImage();
  if (X < 0 || Y < 0 || X >= Shown.width() || Y >= Shown.height()) return clNone;
  return FromQColor(Shown.pixelColor(X, Y));
}

}  // namespace guitest
