#include "app/program.h"
#include "platform/startup.h"

int main(int argc, char** argv) {
  PlatformStartup(argc, argv);
  // The imaging library lives for the whole program: it starts before the first window and
  // shuts down after the last one has gone.
  StartImagingLibrary();
  const int exitCode = RunProgram();
  StopImagingLibrary();
  return exitCode;
}
