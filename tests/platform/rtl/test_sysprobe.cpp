#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/rtl/sysprobe.h"

TEST(SysProbe, TickCountAdvancesInMilliseconds) {
  const UInt64 t0 = GetTickCount64();
  const DWORD s0 = GetTickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  const UInt64 elapsed = GetTickCount64() - t0;
  EXPECT_GE(elapsed, 59u);
  EXPECT_LT(elapsed, 5000u);
  // Differences of the 32-bit count stay right across its wrap.
  EXPECT_GE(static_cast<DWORD>(GetTickCount() - s0), 59u);
}

TEST(SysProbe, MemoryAndProcessors) {
  TMemoryStatus m;
  GlobalMemoryStatus(m);
  EXPECT_GT(m.TotalPhys, 16ull << 20);
  EXPECT_GT(m.AvailPhys, 0u);
  EXPECT_LE(m.AvailPhys, m.TotalPhys);
  EXPECT_GE(m.TotalPageFile, m.TotalPhys);
  EXPECT_LE(m.dwMemoryLoad, 100u);
  EXPECT_GT(m.AvailVirtual, 0u);
  EXPECT_LE(m.AvailVirtual, m.TotalVirtual);
  EXPECT_GE(ProcessorCount(), 1);
  EXPECT_LE(ProcessorCount(), static_cast<int>(std::thread::hardware_concurrency() ? std::thread::hardware_concurrency() : 1));
}
