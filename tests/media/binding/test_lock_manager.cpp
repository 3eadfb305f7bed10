#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

#include "media/binding/lock_manager.h"
#include "media/binding/logger.h"

namespace {

// Records what the lock manager logs.
class LockManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Logger = new TFFLogger(nullptr);
    Logger->SetTriggerEventInMainThread(false);
    Logger->SetLogLevel(llDebug);
    Logger->SetOnLog([this](TObject*, DWORD, TLogLevel level, const AnsiString& text) {
      std::lock_guard<std::mutex> guard(Lock);
      Lines.push_back({level, text});
    });
  }
  void TearDown() override {
    Logger->SetLogLevel(llInfo);
    delete Logger;
  }
  std::pair<TLogLevel, AnsiString> LastLine() {
    std::lock_guard<std::mutex> guard(Lock);
    return Lines.empty() ? std::pair<TLogLevel, AnsiString>{llQuiet, ""} : Lines.back();
  }

  TFFLogger* Logger = nullptr;
  std::mutex Lock;
  std::vector<std::pair<TLogLevel, AnsiString>> Lines;
};

}  // namespace

TEST_F(LockManagerTest, CreateObtainReleaseDestroy) {
  void* slot = nullptr;
  const int before = LockNodeCount();
  ASSERT_EQ(LockManagerCallback(&slot, lockCreate), 0);
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(LockNodeCount(), before + 1);
  EXPECT_EQ(LastLine().first, llDebug);
  EXPECT_EQ(LockManagerCallback(&slot, lockCreate), -1);
  EXPECT_EQ(LastLine().first, llError);

  // The mutex really excludes: a second thread gets it only after the release.
  ASSERT_EQ(LockManagerCallback(&slot, lockObtain), 0);
  int shared = 0;
  std::thread other([&] {
    if (LockManagerCallback(&slot, lockObtain) == 0) {
      shared = shared * 10 + 2;
      LockManagerCallback(&slot, lockRelease);
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  shared = 1;
  ASSERT_EQ(LockManagerCallback(&slot, lockRelease), 0);
  other.join();
  EXPECT_EQ(shared, 12);

  EXPECT_EQ(LockManagerCallback(&slot, lockDestroy), 0);
  EXPECT_EQ(slot, nullptr);
  EXPECT_EQ(LockNodeCount(), before);
}

TEST_F(LockManagerTest, Failures) {
  void* slot = nullptr;
  const int before = LockNodeCount();
  EXPECT_EQ(LockManagerCallback(&slot, lockObtain), -1);
  EXPECT_EQ(LastLine(), std::make_pair(llError, AnsiString("[lock manager] error, mutex not available.")));
  // The request left an empty node, which destroy removes.
  EXPECT_EQ(LockNodeCount(), before + 1);
  EXPECT_EQ(LockManagerCallback(&slot, lockRelease), -1);
  EXPECT_EQ(LockManagerCallback(&slot, 7), -1);
  EXPECT_EQ(LastLine().second, "[lock manager] error, invalid mutex operation 7.");
  EXPECT_EQ(LockManagerCallback(&slot, 255), -1);
  EXPECT_EQ(LastLine().second, "[lock manager] error, invalid mutex operation -1.");
  EXPECT_EQ(LockManagerCallback(&slot, lockDestroy), -1);
  EXPECT_EQ(slot, nullptr);
  EXPECT_EQ(LockNodeCount(), before);

  // A release by a thread that does not hold the mutex fails without raising.
  ASSERT_EQ(LockManagerCallback(&slot, lockCreate), 0);
  ASSERT_EQ(LockManagerCallback(&slot, lockObtain), 0);
  int result = 0;
  std::thread([&] { result = LockManagerCallback(&slot, lockRelease); }).join();
  EXPECT_EQ(result, -1);
  EXPECT_EQ(LastLine().second.rfind("[lock manager] error, could not release mutex [", 0), 0u);
  EXPECT_EQ(LockManagerCallback(&slot, lockRelease), 0);
  EXPECT_EQ(LockManagerCallback(&slot, lockDestroy), 0);

  LoaderShuttingDown = true;
  EXPECT_EQ(LockManagerCallback(&slot, lockObtain), 0);
  EXPECT_EQ(slot, nullptr);
  LoaderShuttingDown = false;
}
