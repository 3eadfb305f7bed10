#include "platform/gui/input_simulation.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QCloseEvent>
#include <QDialog>
#include <QDropEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>
#include <QScrollBar>
#include <QTabBar>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include "platform/gui/application.h"
#include "platform/gui/comctrls.h"
#include "platform/gui/forms.h"
#include "platform/gui/qt_control_bridge.h"
#include "platform/gui/qt_file_names.h"
#include "platform/gui/qt_graphics_bridge.h"

// Qt's own entry for offering a key to the shortcut map before the focus widget sees it (the
// road a key from the window system takes); exported by Qt Gui for its test library.
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject* o, ulong timestamp, int k, Qt::KeyboardModifiers mods,
                                               const QString& text, bool autorep, ushort count);

namespace {

// What a US keyboard types for a key (nothing while Ctrl or Alt is held).
char UsCharacterFor(Word Key, TShiftState Shift) {
  if (Shift & (ssCtrl | ssAlt)) return 0;
  if (Key >= 'A' && Key <= 'Z') return char((Shift & ssShift) ? Key : Key + ('a' - 'A'));
  if (Key >= '0' && Key <= '9' && !(Shift & ssShift)) return char(Key);
  switch (Key) {
    case VK_BACK: return '\b';
    case VK_RETURN: return '\r';
    case VK_ESCAPE: return '\x1b';
    case VK_TAB: return '\t';
    case VK_SPACE: return ' ';
    default: return 0;
  }
}

QString TextFor(char Ch) { return Ch ? QString(QChar(Ch)) : QString(); }

Qt::KeyboardModifiers ModifiersFor(TShiftState Shift) {
  Qt::KeyboardModifiers M;
  if (Shift & ssShift) M |= Qt::ShiftModifier;
  if (Shift & ssCtrl) M |= Qt::ControlModifier;
  if (Shift & ssAlt) M |= Qt::AltModifier;
  return M;
}

Qt::MouseButton QtButton(TMouseButton Button) {
  return Button == mbRight ? Qt::RightButton : Button == mbMiddle ? Qt::MiddleButton : Qt::LeftButton;
}

// The part of Control that has the focus; Control is given the focus first when it lies
// elsewhere.
QWidget* KeyTarget(TWinControl* Control) {
  QWidget* W = Control->Widget();
  if (!W) return nullptr;
  auto FocusInside = [W]() -> QWidget* {
    QWidget* Focus = QApplication::focusWidget();
    return Focus && (Focus == W || W->isAncestorOf(Focus)) ? Focus : nullptr;
  };
  if (QWidget* Focus = FocusInside()) return Focus;
  QWidget* Target = W->focusProxy() ? W->focusProxy() : W;
  Target->setFocus(Qt::OtherFocusReason);
  if (QWidget* Focus = FocusInside()) return Focus;
  return Target;
}

void SendKeyEvent(QWidget* Target, QEvent::Type Type, Word Key, TShiftState Shift, char Ch) {
  QKeyEvent E(Type, clvqt::QtKeyFromVirtualKey(Key), ModifiersFor(Shift), TextFor(Ch));
  QApplication::sendEvent(Target, &E);
}

void SendMouse(QWidget* Target, QEvent::Type Type, QPoint Local, Qt::MouseButton Button, Qt::MouseButtons Held,
               Qt::KeyboardModifiers Mods) {
  const QPointF Global = Target->mapToGlobal(QPointF(Local));
  QMouseEvent E(Type, QPointF(Local), QPointF(Local), Global, Button, Held, Mods);
  QApplication::sendEvent(Target, &E);
}

void SendClick(QWidget* Target, QPoint Local, Qt::MouseButton Button) {
  QPointer<QWidget> Alive = Target;
  SendMouse(Target, QEvent::MouseButtonPress, Local, Button, Button, Qt::NoModifier);
  if (Alive) SendMouse(Target, QEvent::MouseButtonRelease, Local, Button, Qt::NoButton, Qt::NoModifier);
}

}  // namespace

void SimulateKey(TWinControl* Control, Word Key, TShiftState Shift) {
  SimulateKey(Control, Key, Shift, UsCharacterFor(Key, Shift));
}

void SimulateKey(TWinControl* Control, Word Key, TShiftState Shift, char Ch) {
  QPointer<QWidget> Target = KeyTarget(Control);
  if (!Target) return;
  const int QtKey = clvqt::QtKeyFromVirtualKey(Key);
  if (!qt_sendShortcutOverrideEvent(Target, 0, QtKey, ModifiersFor(Shift), TextFor(Ch), false, 1)) {
    if (!Target) return;
    SendKeyEvent(Target, QEvent::KeyPress, Key, Shift, Ch);
  }
  if (Target) SendKeyEvent(Target, QEvent::KeyRelease, Key, Shift, Ch);
}

void SimulateKeyDown(TWinControl* Control, Word Key, TShiftState Shift, char Ch) {
  if (QWidget* Target = KeyTarget(Control)) SendKeyEvent(Target, QEvent::KeyPress, Key, Shift, Ch);
}

void SimulateKeyUp(TWinControl* Control, Word Key, TShiftState Shift) {
  if (QWidget* Target = KeyTarget(Control)) SendKeyEvent(Target, QEvent::KeyRelease, Key, Shift, 0);
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
    QKeyEvent Press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(C));
    QApplication::sendEvent(W, &Press);
    if (!W) return;
    QKeyEvent Release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(C));
    QApplication::sendEvent(W, &Release);
  }
}

void SimulateMouse(TControl* Control, TSimulatedMouse Kind, TMouseButton Button, Integer X, Integer Y,
                   TShiftState Shift) {
  QWidget* W = Control->ClientWidget();
  if (!W) return;
  Qt::MouseButton B = QtButton(Button);
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
  SendMouse(W, T, QPoint(X, Y), B, Held, ModifiersFor(Shift));
}

void SimulateClick(TControl* Control, Integer X, Integer Y, TMouseButton Button) {
  QWidget* W = Control->ClientWidget();
  if (!W) return;
  const QPoint P(X, Y);
  QWidget* Target = W->childAt(P);
  if (!Target) Target = W;
  SendClick(Target, Target->mapFrom(W, P), QtButton(Button));
}

void SimulateClick(TControl* Control) {
  const TRect R = Control->ClientRect();
  SimulateClick(Control, R.Width() / 2, R.Height() / 2);
}

void SimulateTabClick(TPageControl* Control, Integer PageIndex) {
  QTabBar* Bar = Control->Widget() ? Control->Widget()->findChild<QTabBar*>() : nullptr;
  if (!Bar || PageIndex < 0 || PageIndex >= Bar->count()) return;
  SendClick(Bar, Bar->tabRect(PageIndex).center(), Qt::LeftButton);
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
  for (const AnsiString& N : Names) Urls << clvqt::LocalFileUrl(N);
  Data.setUrls(Urls);
  QPointF At(1, 1);
  QDragEnterEvent Enter(At.toPoint(), Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(W, &Enter);
  if (!Enter.isAccepted()) return;
  QDropEvent Drop(At, Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(W, &Drop);
}

namespace {

QWidget* TopWindow() {
  if (QWidget* M = QApplication::activeModalWidget()) return M;
  return QApplication::activeWindow();
}

}  // namespace

namespace {

void PressOnTopWindow(Word Key, TShiftState Shift) {
  QWidget* Window = TopWindow();
  if (!Window) return;
  QWidget* Focus = QApplication::focusWidget();
  if (!Focus || Focus->window() != Window) Focus = Window->focusWidget();
  QPointer<QWidget> Target = Focus ? Focus : Window;
  const char Ch = UsCharacterFor(Key, Shift);
  const int QtKey = clvqt::QtKeyFromVirtualKey(Key);
  if (!qt_sendShortcutOverrideEvent(Target, 0, QtKey, ModifiersFor(Shift), TextFor(Ch), false, 1)) {
    if (!Target) return;
    SendKeyEvent(Target, QEvent::KeyPress, Key, Shift, Ch);
  }
  if (Target) SendKeyEvent(Target, QEvent::KeyRelease, Key, Shift, Ch);
}

}  // namespace

void SimulateKeyToTopWindow(Word Key, TShiftState Shift) {
  QTimer::singleShot(0, QApplication::instance(), [Key, Shift] { PressOnTopWindow(Key, Shift); });
}

AnsiString TopWindowCaption() {
  QWidget* W = TopWindow();
  return W ? W->windowTitle().toStdString() : AnsiString();
}

AnsiString TopWindowText() {
  auto* Box = qobject_cast<QMessageBox*>(TopWindow());
  return Box ? Box->text().toStdString() : AnsiString();
}

Integer OpenModalWindows() {
  Integer N = 0;
  for (QWidget* W : QApplication::topLevelWidgets())
    if (W->isVisible() && W->isModal()) ++N;
  return N;
}

void DismissModalWindows() {
  for (QWidget* W : QApplication::topLevelWidgets())
    if (auto* D = qobject_cast<QDialog*>(W); D && D->isVisible() && D->isModal()) D->reject();
}

Integer CaptionWidthNeeded(TControl* Control) {
  QWidget* W = Control->Widget();
  if (!W) return 0;
  if (auto* B = qobject_cast<QAbstractButton*>(W)) return B->text().isEmpty() ? 0 : B->sizeHint().width();
  if (auto* L = qobject_cast<QLabel*>(W)) return L->text().isEmpty() ? 0 : L->sizeHint().width();
  if (auto* G = qobject_cast<QGroupBox*>(W)) return G->title().isEmpty() ? 0 : G->minimumSizeHint().width();
  return 0;
}

namespace {

QAccessibleInterface* AccessibleOf(TControl* Control) {
  return Control->Widget() ? QAccessible::queryAccessibleInterface(Control->Widget()) : nullptr;
}

}  // namespace

AnsiString AccessibleRole(TControl* Control) {
  QAccessibleInterface* A = AccessibleOf(Control);
  if (!A) return AnsiString();
  switch (A->role()) {
    case QAccessible::RadioButton: return "radio button";
    case QAccessible::CheckBox: return "check box";
    case QAccessible::EditableText: return "editable text";
    case QAccessible::SpinBox: return "spin box";
    case QAccessible::Button: return "push button";
    case QAccessible::ComboBox: return "combo box";
    case QAccessible::Window: return "window";
    case QAccessible::Dialog: return "dialog";
    case QAccessible::StaticText: return "label";
    case QAccessible::Grouping: return "group box";
    case QAccessible::Slider: return "slider";
    case QAccessible::PageTabList: return "page tab list";
    case QAccessible::PageTab: return "page tab";
    case QAccessible::Graphic: return "image";
    case QAccessible::Client: return "filler";
    default: return "role " + std::to_string(int(A->role()));
  }
}

AnsiString AccessibleName(TControl* Control) {
  QAccessibleInterface* A = AccessibleOf(Control);
  return A ? A->text(QAccessible::Name).toStdString() : AnsiString();
}

bool AccessibleShowing(TControl* Control) {
  QAccessibleInterface* A = AccessibleOf(Control);
  return A && !A->state().invisible && !A->state().offscreen;
}

std::vector<AnsiString> AccessiblePartNames(TControl* Control) {
  std::vector<AnsiString> Names;
  QAccessibleInterface* A = AccessibleOf(Control);
  if (!A) return Names;
  for (int I = 0; I < A->childCount(); ++I)
    if (QAccessibleInterface* C = A->child(I)) Names.push_back(C->text(QAccessible::Name).toStdString());
  return Names;
}

void ShowActive(TCustomForm* Form) {
  Form->Show();
  QWidget* W = Form->Widget();
  W->activateWindow();
  QApplication::setActiveWindow(W);
  Application->ProcessMessages();
}

TColor PixelOnScreen(TControl* Control, Integer X, Integer Y) {
  QWidget* C = Control->ClientWidget();
  if (!C) return clNone;
  Application->ProcessMessages();
  QWidget* Window = C->window();
  const QPoint At = C->mapTo(Window, QPoint(X, Y));
  const QImage Shown = Window->grab().toImage();
  if (X < 0 || Y < 0 || X >= C->width() || Y >= C->height() || !Shown.rect().contains(At)) return clNone;
  return FromQColor(Shown.pixelColor(At));
}

bool SaveFormImage(TCustomForm* Form, const AnsiString& FileName) {
  if (!Form->Widget()) return false;
  QFile File;
  return clvqt::OpenQtFile(File, FileName, QIODevice::WriteOnly) && Form->Widget()->grab().save(&File, "PNG");
}
