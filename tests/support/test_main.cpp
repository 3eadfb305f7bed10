#include <gmock/gmock.h>

#include <cstdlib>

#include "platform/startup.h"

int main(int argc, char** argv) {
  // Tests are headless everywhere, including test discovery, which ctest runs without the
  // environment of the test properties.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  ::testing::InitGoogleMock(&argc, argv);
  PlatformStartup(argc, argv);
  return RUN_ALL_TESTS();
}
