// Clock, memory and processor probes.
#pragma once

#include "platform/rtl/types.h"

// Milliseconds of a monotonic clock; the 32-bit form wraps after about 49.7 days.
DWORD GetTickCount();
UInt64 GetTickCount64();

// Memory figures in bytes, from /proc/meminfo (0 where it cannot be read).
struct TMemoryStatus {
  DWORD dwMemoryLoad = 0;  // percentage of physical memory in use
  UInt64 TotalPhys = 0;
  UInt64 AvailPhys = 0;
  UInt64 TotalPageFile = 0;  // physical memory plus swap
  UInt64 AvailPageFile = 0;
  UInt64 TotalVirtual = 0;  // the process's address space
  UInt64 AvailVirtual = 0;
};
void GlobalMemoryStatus(TMemoryStatus& status);

// Processors this process may run on (at least 1).
int ProcessorCount();
// Of those, how many the other work of the machine leaves free, judged by the threads of other
// processes runnable at this moment (at least 1; all of them when that cannot be read).
int IdleProcessorCount();
