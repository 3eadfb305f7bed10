#include "platform/gui/qt_app.h"

#include <atomic>

#include <QPalette>

#include "platform/gui/application.h"
#include "platform/gui/colors.h"
#include "platform/gui/qt_control_bridge.h"
#include "platform/gui/qt_graphics_bridge.h"
#include "platform/rtl/mainthread.h"

namespace clvqt {

namespace {

const QEvent::Type kWakeEvent = QEvent::Type(QEvent::registerEventType());
// One wake-up in the queue is enough: CheckSynchronize runs everything posted so far.
std::atomic<bool> g_WakePending{false};

bool BaseNotify(QObject* Receiver, QEvent* Event) {
  return static_cast<ClvApplication*>(qApp)->QApplication::notify(Receiver, Event);
}

// The style's own disabled text is a pale grey made for its near-white windows; on the button
// face of the classic scheme it all but vanishes. Disabled captions take the scheme's grey text
// instead, as the framework draws them.
void UseClassicDisabledText() {
  QPalette P = QApplication::palette();
  const QColor Grey = ToQColor(clGrayText);
  for (QPalette::ColorRole Role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
    P.setColor(QPalette::Disabled, Role, Grey);
  QApplication::setPalette(P);
}

}  // namespace

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* Address);
extern "C" void __tsan_release(void* Address);
static void TsanAcquire(void* Address) { __tsan_acquire(Address); }
static void TsanRelease(void* Address) { __tsan_release(Address); }
#else
static void TsanAcquire(void*) {}
static void TsanRelease(void*) {}
#endif

ClvApplication::ClvApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool ClvApplication::notify(QObject* Receiver, QEvent* Event) {
  // An event posted by another thread reaches here through Qt's own queue lock, which the
  // thread sanitizer cannot see (Qt is not built with it): the poster's release is paired here.
  TsanAcquire(Event);
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
  UseClassicDisabledText();
  InstallFocusTracking();
  WakeMainThread = [] { WakeEventLoop(); };
}

void WakeEventLoop() {
  if (g_WakePending.exchange(true)) return;
  if (QCoreApplication* App = QCoreApplication::instance()) {
    auto* Event = new QEvent(kWakeEvent);
    TsanRelease(Event);
    QCoreApplication::postEvent(App, Event);
  }
}

}  // namespace clvqt
