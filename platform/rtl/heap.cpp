#include "platform/rtl/heap.h"

#include <malloc.h>

#include <mutex>

namespace {
// Above a video line, below a small picture: a 1080p frame plane is far above it.
constexpr int LargeBlockBytes = 256 * 1024;
}  // namespace

void ReturnLargeBlocksAtOnce() {
  static std::once_flag once;
  std::call_once(once, [] { mallopt(M_MMAP_THRESHOLD, LargeBlockBytes); });
}

void ReturnFreedMemory() { malloc_trim(0); }
