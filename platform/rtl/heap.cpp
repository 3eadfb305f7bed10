#include "platform/rtl/heap.h"

#include <malloc.h>

#include <mutex>

namespace {
// Few enough that freed frame buffers are found again by the next task's threads; the codecs
// allocate per picture, not per pixel, so threads seldom wait on an arena's lock.
constexpr int SharedArenas = 2;
}  // namespace

void ShareAllocatorArenas() {
  static std::once_flag once;
  std::call_once(once, [] { mallopt(M_ARENA_MAX, SharedArenas); });
}

void ReturnFreedMemory() { malloc_trim(0); }
