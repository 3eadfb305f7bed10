#include <gmock/gmock.h>

#include "platform/startup.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleMock(&argc, argv);
  PlatformStartup(argc, argv);
  return RUN_ALL_TESTS();
}
