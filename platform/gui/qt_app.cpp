#include "platform/gui/qt_app.h"

#include <atomic>

#include <cstdlib>
#include <cstring>

#include <QGuiApplication>
#include <QPalette>
#include <QWidget>
#include <QWindow>
#include <xcb/xcb.h>

#include "platform/gui/application.h"
#include "platform/gui/colors.h"
#include "platform/gui/qt_accessibility.h"
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

xcb_atom_t Atom(xcb_connection_t* C, const char* Name) {
  xcb_intern_atom_reply_t* R =
      xcb_intern_atom_reply(C, xcb_intern_atom(C, 0, uint16_t(std::strlen(Name)), Name), nullptr);
  const xcb_atom_t A = R ? R->atom : xcb_atom_t(XCB_ATOM_NONE);
  std::free(R);
  return A;
}

// On X11 Qt never gives a window an empty title: it puts the program's name there instead. A
// window whose caption is empty is told so directly.
void KeepEmptyTitle(QObject* Receiver) {
  auto* W = qobject_cast<QWidget*>(Receiver);
  if (!W || !W->isWindow() || !W->windowTitle().isEmpty() || !W->testAttribute(Qt::WA_WState_Created)) return;
  auto* X11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (!X11 || !W->windowHandle()) return;
  xcb_connection_t* C = X11->connection();
  if (!C) return;
  const auto Window = xcb_window_t(W->winId());
  const xcb_atom_t Utf8 = Atom(C, "UTF8_STRING");
  for (const char* Name : {"_NET_WM_NAME", "_NET_WM_VISIBLE_NAME"})
    xcb_change_property(C, XCB_PROP_MODE_REPLACE, Window, Atom(C, Name), Utf8, 8, 0, "");
  xcb_change_property(C, XCB_PROP_MODE_REPLACE, Window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0, "");
  xcb_flush(C);
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
    Result = QApplication::notify(Receiver, Event);
    if (Event->type() == QEvent::Show || Event->type() == QEvent::WindowTitleChange) KeepEmptyTitle(Receiver);
    return Result;
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
  InstallAccessibility();
  WakeMainThread = [] { WakeEventLoop(); };
  QueuedCallFailed = [] {
    if (Application) Application->HandleException(nullptr);
  };
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
