#include "platform/rtl/sysprobe.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <limits>
#include <string>

UInt64 GetTickCount64() {
  // Boot time keeps counting through suspend, as the tick count of the original platform did.
  timespec ts{};
  if (clock_gettime(CLOCK_BOOTTIME, &ts) != 0) clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<UInt64>(ts.tv_sec) * 1000u + static_cast<UInt64>(ts.tv_nsec) / 1000000u;
}

DWORD GetTickCount() { return static_cast<DWORD>(GetTickCount64()); }

namespace {

// The value of a "Key:   123 kB" line in bytes; 0 when absent or not a number.
UInt64 KilobyteField(const std::string& text, const char* key) {
  const std::string k = std::string("\n") + key + ":";
  std::size_t at = ("\n" + text).find(k);
  if (at == std::string::npos) return 0;
  at += k.size() - 1;  // the "\n" we prepended shifts by one
  const char* p = text.c_str() + at;
  char* end = nullptr;
  const unsigned long long kb = std::strtoull(p, &end, 10);
  if (end == p || kb > std::numeric_limits<UInt64>::max() / 1024) return 0;
  return static_cast<UInt64>(kb) * 1024;
}

std::string ReadSmallFile(const char* path) {
  std::ifstream in(path);
  std::string text;
  char buf[4096];
  while (in && text.size() < (1u << 20)) {
    in.read(buf, sizeof buf);
    text.append(buf, static_cast<std::size_t>(in.gcount()));
  }
  return text;
}

}  // namespace

void GlobalMemoryStatus(TMemoryStatus& status) {
  status = TMemoryStatus{};
  const std::string info = ReadSmallFile("/proc/meminfo");
  status.TotalPhys = KilobyteField(info, "MemTotal");
  status.AvailPhys = KilobyteField(info, "MemAvailable");
  if (status.AvailPhys == 0)
    status.AvailPhys = KilobyteField(info, "MemFree") + KilobyteField(info, "Buffers") + KilobyteField(info, "Cached");
  if (status.AvailPhys > status.TotalPhys) status.AvailPhys = status.TotalPhys;
  status.TotalPageFile = status.TotalPhys + KilobyteField(info, "SwapTotal");
  status.AvailPageFile = status.AvailPhys + KilobyteField(info, "SwapFree");
  if (status.TotalPhys > 0)
    status.dwMemoryLoad = static_cast<DWORD>((status.TotalPhys - status.AvailPhys) * 100 / status.TotalPhys);

  // The user half of the 64-bit address space, unless a limit is set.
  UInt64 total = UInt64(1) << 47;
  rlimit lim{};
  if (getrlimit(RLIMIT_AS, &lim) == 0 && lim.rlim_cur != RLIM_INFINITY && lim.rlim_cur < total) total = lim.rlim_cur;
  status.TotalVirtual = total;
  const UInt64 used = KilobyteField(ReadSmallFile("/proc/self/status"), "VmSize");
  status.AvailVirtual = used < total ? total - used : 0;
}

int ProcessorCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return n;
  }
  const long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? static_cast<int>(n) : 1;
}

namespace {
// Threads of other processes runnable right now: the fourth field of /proc/loadavg
// ("running/total") counts the caller too. -1 when it cannot be read.
int OtherRunnableThreads() {
  const std::string text = ReadSmallFile("/proc/loadavg");
  int running = 0, total = 0;
  double avg[3];
  if (std::sscanf(text.c_str(), "%lf %lf %lf %d/%d", &avg[0], &avg[1], &avg[2], &running, &total) != 5 ||
      running < 1)
    return -1;
  return running - 1;
}
}  // namespace

int IdleProcessorCount() {
  // The work running now, not the average of the last minute: that one still counts work that
  // has ended (the previous preview's own threads among it) and misses work just begun.
  const int all = ProcessorCount();
  const int others = OtherRunnableThreads();
  if (others < 0) return all;
  return std::clamp(all - others, 1, all);
}
