#include "platform/startup.h"

int main(int argc, char** argv) {
  PlatformStartup(argc, argv);
  return 0;
}
