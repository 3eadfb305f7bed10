// For platform/gui code only: the Qt application object of the process.
#pragma once

#include <QApplication>

namespace clvqt {

// The Qt application with the framework's event hook: input reaches the controls' events
// first, and no exception thrown by program code unwinds through Qt.
class ClvApplication : public QApplication {
  Q_OBJECT
 public:
  ClvApplication(int& argc, char** argv);
  bool notify(QObject* Receiver, QEvent* Event) override;
  bool event(QEvent* Event) override;
};

// Creates the Qt application once (later calls do nothing).
void CreateQtApplication(int& argc, char** argv);

// Posts a wake-up to the main thread's event loop; safe from any thread.
void WakeEventLoop();

}  // namespace clvqt
