// For platform/gui code only: the Qt event side of controls. The application's event hook
// turns Qt input into the framework's calls through here, and the widgets reach the protected
// parts of their controls.
#pragma once

#include <QEvent>
#include <QPoint>

#include "platform/gui/controls.h"

class QWidget;
class QKeyEvent;
class QMouseEvent;
class QWheelEvent;

namespace clvqt {

class ControlBridge {
 public:
  // Qt's name for the property that ties a widget to its control.
  static const char* const PropertyName;

  static void Bind(QWidget* Widget, TControl* Control);
  static void PaintCustom(TCustomControl* Control);
  static void PaintGraphic(TGraphicControl* Control);
  static void Scroll(TCustomControl* Control, TScrollBarKind Kind, TScrollCode Code, int Pos);
  static void Resized(TControl* Control);
  static void WidgetGone(TControl* Control);
  static void MouseEnter(TControl* Control);
  static void MouseLeave(TControl* Control);
  static void WindowMessage(TControl* Control, TMessage& Message);
};

// A message sent to a control's window (SendMessage), delivered to its widget like any event.
class WindowMessageEvent : public QEvent {
 public:
  explicit WindowMessageEvent(TMessage& AMessage) : QEvent(EventType()), Message(AMessage) {}
  static QEvent::Type EventType();
  TMessage& Message;
};

TShiftState ShiftFromModifiers(Qt::KeyboardModifiers Modifiers, Qt::MouseButtons Buttons);
// The framework's virtual key code for a Qt key (0 when it has none).
Word VirtualKeyFromQt(int QtKey);
// The Qt key for a virtual key code (Qt::Key_unknown when it has none).
int QtKeyFromVirtualKey(Word Key);

// The event hook of the application object: runs the framework's handling of an input event
// addressed to Receiver. Returns true when the event was consumed and must not reach Qt.
// Deliver is how the event reaches Qt's own handling (the base notify).
using DeliverFn = bool (*)(QObject* Receiver, QEvent* Event);
bool FrameworkNotify(QObject* Receiver, QEvent* Event, DeliverFn Deliver, bool& Result);

// Connects the focus-change tracking (OnEnter/OnExit) once the Qt application exists.
void InstallFocusTracking();

}  // namespace clvqt
