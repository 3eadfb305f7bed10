// Small helpers shared by the image-buffer tests; the four-store fixture is shared by every
// imaging test.
#pragma once

#include <cstring>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "tests/imaging/support/ie_stores.h"

namespace ietest {

inline std::vector<Byte> Row(TIEBitmap& b, Integer y, size_t bytes) {
  const Byte* p = static_cast<const Byte*>(b.GetScanline(y));
  return std::vector<Byte>(p, p + bytes);
}

inline void SetRow(TIEBitmap& b, Integer y, const std::vector<Byte>& bytes) {
  std::memcpy(b.GetScanline(y), bytes.data(), bytes.size());
}

}  // namespace ietest
