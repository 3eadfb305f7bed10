#include "app/program.h"
#include "imaging/core/ie_startup.h"
#include "imaging/io/ie_io_unit.h"
#include "imaging/proc/ie_proc_services.h"
#include "imaging/view/ie_view.h"
#include "platform/startup.h"

int main(int argc, char** argv) {
  PlatformStartup(argc, argv);
  // The imaging library lives for the whole program: it starts before the first window and
  // shuts down after the last one has gone.
  IERegisterProcessingServices();
  IERegisterFileIOUnit();
  IERegisterViewUnit();
  IEInitialize();
  const int exitCode = RunProgram();
  IEFinalize();
  return exitCode;
}
