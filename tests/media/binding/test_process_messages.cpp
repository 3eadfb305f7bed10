#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <thread>

#include "media/binding/engine_utils.h"
#include "platform/gui/application.h"
#include "platform/rtl/mainthread.h"
#include "platform/rtl/sync.h"

// Pumping messages serves hand-overs from workers and leaves a quit request for the main loop,
// which then ends at once. Run in a fresh process: the quit request is for good.
TEST(ProcessMessages, ServesHandOversAndKeepsAQuitRequest) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        alarm(20);  // a main loop that swallowed the request would otherwise never end
        std::atomic<DWORD> ranOn{0};
        std::atomic<bool> done{false};
        std::thread worker([&] {
          RunInMainThread([&] { ranOn = GetCurrentThreadId(); });
          done = true;
        });
        while (!done) ProcessMessages();
        worker.join();
        if (ranOn != MainThreadID) std::exit(2);
        Application->Terminate();
        ProcessMessages();
        if (!Application->Terminated()) std::exit(3);
        Application->Run();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}
