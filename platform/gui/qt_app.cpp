#include "platform/gui/qt_app.h"

#include <atomic>

#include "platform/gui/application.h"
#include "platform/gui/qt_control_bridge.h"
#include "platform/rtl/mainthread.h"

namespace clvqt {

namespace {

const QEvent::Type kWakeEvent = QEvent::Type(QEvent::registerEventType());
// One wake-up in the queue is enough: CheckSynchronize runs everything posted so far.
std::atomic<bool> g_WakePending{false};

bool BaseNotify(QObject* Receiver, QEvent* Event) {
  return static_cast<ClvApplication*>(qApp)->QApplication::notify(Receiver, Event);
}

}  // namespace

ClvApplication::ClvApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool ClvApplication::notify(QObject* Receiver, QEvent* Event) {
  try {
    bool Result = false;
    if (FrameworkNotify(Receiver, Event, &BaseNotify, Result)) return Result;
    return QApplication::notify(Receiver, Event);
  } catch (...) {
    // A handler that did not guard itself: the exception stops here, never inside Qt's frames
    // above us.
    if (Application) Application->HandleException(nullptr);
    return true;
  }
}

bool ClvApplication::event(QEvent* Event) {
  if (Event->type() == kWakeEvent) {
    g_WakePending = false;
    GuardedCall(nullptr, [] { CheckSynchronize(); });
    return true;
  }
  return QApplication::event(Event);
}

void CreateQtApplication(int& argc, char** argv) {
  if (QCoreApplication::instance()) return;
  new ClvApplication(argc, argv);
  InstallFocusTracking();
  WakeMainThread = [] { WakeEventLoop(); };
}

void WakeEventLoop() {
  if (g_WakePending.exchange(true)) return;
  if (QCoreApplication* App = QCoreApplication::instance())
    QCoreApplication::postEvent(App, new QEvent(kWakeEvent));
}

}  // namespace clvqt
