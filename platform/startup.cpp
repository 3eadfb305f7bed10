#include "platform/startup.h"

#include <clocale>

void PlatformStartup(int& argc, char** argv) {
  (void)argc;
  (void)argv;
  // FFmpeg and our own option text parse numbers with strtod: keep "." as the decimal point.
  std::setlocale(LC_ALL, "");
  std::setlocale(LC_NUMERIC, "C");
}
