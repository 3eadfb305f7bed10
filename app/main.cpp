#include "app/program.h"
#include "platform/startup.h"

int main(int argc, char** argv) {
  PlatformStartup(argc, argv);
  return RunProgram();
}
