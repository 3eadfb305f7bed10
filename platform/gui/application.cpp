#include "platform/gui/application.h"

#include <algorithm>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "platform/gui/qt_app.h"
#include "platform/gui/qt_cursors.h"
#include "platform/gui/services.h"
#include "platform/rtl/files.h"
#include "platform/rtl/mainthread.h"

TApplication* Application = nullptr;
TScreen* Screen = nullptr;

namespace {
// Senders whose exception is on screen now: a second one from the same place (a paint handler
// that fails on every repaint of the message box's loop) is not stacked on top.
std::vector<TObject*>& SendersInHandling() {
  static std::vector<TObject*> S;
  return S;
}
}  // namespace

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {}

TApplication::~TApplication() {
  // The forms go first, while the application object is still whole.
  Destroying();
  DestroyComponents();
}

void TApplication::Initialize() {}

void TApplication::SetTitle(const AnsiString& Value) {
  // Only the program's own texts use the title: given to Qt as the display name, it would be
  // appended to every window's caption on the desktop.
  FTitle = Value;
}

AnsiString TApplication::ExeName() const { return ParamStr(0); }

void TApplication::FormCreated(TCustomForm* Form) {
  if (!FMainForm) FMainForm = Form;
  Form->AfterConstruction();
}

void TApplication::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FMainForm) FMainForm = nullptr;
}

void TApplication::Run() {
  if (FMainForm && !FMainForm->Visible()) FMainForm->Show();
  while (!FTerminated) {
    HandleMessage();
    // The outermost loop is where objects Qt scheduled for deletion may go.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

void TApplication::ProcessMessages() {
  ++FLoopGeneration;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  CheckSynchronize();
}

bool TApplication::ProcessMessage() {
  ++FLoopGeneration;
  QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
  const bool events = dispatcher && dispatcher->processEvents(QEventLoop::AllEvents);
  const bool handedOver = CheckSynchronize();
  return events || handedOver;
}

void TApplication::HandleMessage() {
  ++FLoopGeneration;
  if (!MainThreadWorkPending()) QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  CheckSynchronize();
}

void TApplication::Terminate() {
  FTerminated = true;
  ++FTerminateRequests;
  clvqt::WakeEventLoop();
}

void TApplication::ShowException(const Exception& E) {
  AnsiString Msg = E.Message;
  // The framework ends the text with a period unless it ends in one or in punctuation.
  if (!Msg.empty() && static_cast<unsigned char>(Msg.back()) > '.') Msg += '.';
  PlatformServices()->MessageBox(nullptr, Msg, FTitle, MB_OK | MB_ICONSTOP);
}

void TApplication::HandleException(TObject* Sender) {
  std::exception_ptr Current = std::current_exception();
  if (!Current) return;
  auto& Busy = SendersInHandling();
  if (Sender && std::find(Busy.begin(), Busy.end(), Sender) != Busy.end()) return;
  Busy.push_back(Sender);
  auto Show = [&](Exception& E) {
    if (OnException)
      OnException(Sender, E);
    else
      ShowException(E);
  };
  try {
    try {
      std::rethrow_exception(Current);
    } catch (EAbort&) {
    } catch (Exception& E) {
      Show(E);
    } catch (std::exception& Std) {
      Exception E(Std.what());
      Show(E);
    } catch (...) {
      Exception E("Unknown exception");
      Show(E);
    }
  } catch (...) {
    // A failing exception handler must not take the program down with it.
  }
  Busy.erase(std::find(Busy.begin(), Busy.end(), Sender));
}

Integer TApplication::MessageBox(const AnsiString& Text, const AnsiString& Caption, Cardinal Flags) {
  return PlatformServices()->MessageBox(nullptr, Text, Caption, Flags);
}

bool TApplication::DispatchAppMessage(TMsg& Msg) {
  bool Handled = false;
  if (OnMessage) OnMessage(Msg, Handled);
  return Handled;
}

void GuardedCall(TObject* Sender, const std::function<void()>& Fn) {
  try {
    Fn();
  } catch (...) {
    if (Application) Application->HandleException(Sender);
  }
}

// ---------------------------------------------------------------------------------------------
// TScreen

TScreen::TScreen(TComponent* AOwner) : TComponent(AOwner) {}
TScreen::~TScreen() {
  if (FCursor != crDefault && QCoreApplication::instance()) QApplication::restoreOverrideCursor();
}

Integer TScreen::Width() const {
  QScreen* S = QGuiApplication::primaryScreen();
  return S ? S->geometry().width() : 0;
}

Integer TScreen::Height() const {
  QScreen* S = QGuiApplication::primaryScreen();
  return S ? S->geometry().height() : 0;
}

TRect TScreen::WorkAreaRect() const {
  QScreen* S = QGuiApplication::primaryScreen();
  if (!S) return TRect();
  QRect R = S->availableGeometry();
  return Bounds(R.x(), R.y(), R.width(), R.height());
}

void TScreen::SetCursors(TCursor Id, const TCursorImage& Image) {
  clvqt::RegisterCursorImage(Id, Image);
}

void TScreen::SetCursorAlias(TCursor Id, TCursor Stock) { clvqt::RegisterCursorAlias(Id, Stock); }

bool TScreen::HasCursor(TCursor Id) const { return clvqt::CursorKnown(Id); }

void TScreen::SetCursor(TCursor Value) {
  if (Value == FCursor) return;
  if (FCursor != crDefault) QApplication::restoreOverrideCursor();
  FCursor = Value;
  if (FCursor != crDefault) QApplication::setOverrideCursor(clvqt::CursorFor(FCursor));
}

Integer TScreen::FormCount() const {
  Integer N = 0;
  if (!Application) return 0;
  for (Integer I = 0; I < Application->ComponentCount(); ++I)
    if (dynamic_cast<TCustomForm*>(Application->Components(I))) ++N;
  return N;
}

TCustomForm* TScreen::Forms(Integer Index) const {
  Integer N = 0;
  if (Application) {
    for (Integer I = 0; I < Application->ComponentCount(); ++I)
      if (auto* F = dynamic_cast<TCustomForm*>(Application->Components(I))) {
        if (N == Index) return F;
        ++N;
      }
  }
  throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
}

TCustomForm* TScreen::ActiveForm() const {
  QWidget* W = QApplication::activeWindow();
  return W ? dynamic_cast<TCustomForm*>(FindControl(W)) : nullptr;
}

void CreateApplicationObjects() {
  if (!Application) Application = new TApplication(nullptr);
  if (!Screen) Screen = new TScreen(nullptr);
}

void DestroyApplicationObjects() {
  // Forms run their destruction with the application object still reachable.
  delete Application;
  Application = nullptr;
  delete Screen;
  Screen = nullptr;
}
