#include "platform/startup.h"

#include <clocale>

#include "platform/gui/application.h"
#include "platform/gui/qt_app.h"
#include "platform/gui/unit_startup.h"
#include "platform/rtl/sync.h"

void PlatformStartup(int& argc, char** argv) {
  RecordMainThreadID();
  std::setlocale(LC_ALL, "");
  clvqt::CreateQtApplication(argc, argv);
  // Qt sets the locale from the environment when it starts. FFmpeg and our own option text
  // parse numbers with strtod: keep "." as the decimal point.
  std::setlocale(LC_NUMERIC, "C");
  CreateApplicationObjects();
  RunStartupRoutines();
}
