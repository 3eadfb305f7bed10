// Runs a read in a forked child that is timed and whose peak memory is measured, so a test can
// show that a hostile file is refused at once and without allocating what it claims; the
// parent ends a child that runs away (past 10 s or 1 GB), as the readers of old did.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

namespace ietest {

// What a read in the child reported, through a pipe.
struct TChildReport {
  bool Refused = false;
  double Seconds = 0;
  long PeakGrowthKB = 0;    // peak resident memory above what the child started with
  long VirtualGrowthKB = 0;  // peak address space above it: what was allocated, touched or not
  char Reason[400] = {};
};

struct TMeasuredRead : TChildReport {
  std::string Killed;  // why the watchdog ended the child, if it did
};

inline long StatusKB(const char* Field, pid_t Pid = 0) {
  std::ifstream f(Pid ? "/proc/" + std::to_string(Pid) + "/status" : std::string("/proc/self/status"));
  std::string line;
  const size_t n = std::strlen(Field);
  while (std::getline(f, line))
    if (line.compare(0, n, Field) == 0) return std::atol(line.c_str() + n + 1);
  return -1;
}

// Runs Read in a forked child: Read answers the failure reason ("" when the image loaded). The
// parent ends a child that runs past 10 s or grows past 1 GB, which the old readers did.
inline TMeasuredRead Measure(const std::function<std::string()>& Read) {
  int fds[2];
  TMeasuredRead out;
  if (pipe(fds) != 0) {
    out.Killed = "no pipe";
    return out;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    // Resets the peak to the resident size now, so VmHWM afterwards is this read's own peak.
    { std::ofstream("/proc/self/clear_refs") << "5"; }
    TChildReport r;
    const long before = StatusKB("VmRSS:"), virtualBefore = StatusKB("VmSize:");
    const auto t0 = std::chrono::steady_clock::now();
    const std::string reason = Read();
    r.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    r.PeakGrowthKB = StatusKB("VmHWM:") - before;
    r.VirtualGrowthKB = StatusKB("VmPeak:") - virtualBefore;
    r.Refused = !reason.empty();
    std::strncpy(r.Reason, reason.c_str(), sizeof r.Reason - 1);
    const ssize_t written = write(fds[1], &r, sizeof r);
    _exit(written > 0 ? 0 : 1);
  }
  close(fds[1]);
  const auto t0 = std::chrono::steady_clock::now();
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    const long rss = StatusKB("VmRSS:", pid);
    if (rss > 1024 * 1024) out.Killed = "grew past 1 GB";
    if (std::chrono::steady_clock::now() - t0 > std::chrono::seconds(10)) out.Killed = "ran past 10 s";
    if (!out.Killed.empty()) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (out.Killed.empty() && read(fds[0], static_cast<TChildReport*>(&out), sizeof(TChildReport)) <= 0) out.Killed = "the child reported nothing";
  close(fds[0]);
  return out;
}

// A refusal made at once: the read ended by itself, refused, within 0.1 s, having touched less
// than 50 MB and taken less than 256 MB of address space.
inline void ExpectRefusedAtOnce(const TMeasuredRead& R) {
  EXPECT_EQ(R.Killed, "");
  if (!R.Killed.empty()) return;
  EXPECT_TRUE(R.Refused);
  EXPECT_LT(R.Seconds, 0.1);
  EXPECT_LT(R.PeakGrowthKB, 50 * 1024);
  EXPECT_LT(R.VirtualGrowthKB, 256 * 1024) << "allocated before the refusal";
}

}  // namespace ietest
