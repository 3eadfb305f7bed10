#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/gui/pixel_rows.h"

TEST(PixelRows, EveryLengthConvertsEachPixelAndWritesNothingPastTheRow) {
  // Lengths around the four-pixel steps and the six-pixel tail, with guard values after each
  // row that must survive.
  for (int n = 0; n <= 23; ++n) {
    SCOPED_TRACE(n);
    std::vector<uint8_t> bgr(size_t(3 * n) + 16, 0xA5);
    for (int i = 0; i < 3 * n; ++i) bgr[size_t(i)] = uint8_t(i * 37 + 11);
    std::vector<uint32_t> wide(size_t(n) + 4, 0x5A5A5A5Au);
    BgrRowToRgb32(bgr.data(), wide.data(), n);
    for (int i = 0; i < n; ++i) {
      const uint32_t want = 0xFF000000u | uint32_t(bgr[size_t(3 * i + 2)]) << 16 |
                            uint32_t(bgr[size_t(3 * i + 1)]) << 8 | bgr[size_t(3 * i)];
      EXPECT_EQ(wide[size_t(i)], want) << i;
    }
    for (size_t i = size_t(n); i < wide.size(); ++i) EXPECT_EQ(wide[i], 0x5A5A5A5Au);

    std::vector<uint8_t> back(size_t(3 * n) + 16, 0xA5);
    for (int i = 0; i < n; ++i) wide[size_t(i)] = (wide[size_t(i)] & 0xFFFFFFu) | 0x12000000u;
    Rgb32RowToBgr(wide.data(), back.data(), n);
    EXPECT_EQ(back, bgr);

    // Over pixels whose fourth bytes differ, each keeps its own.
    std::vector<uint32_t> under(size_t(n) + 4, 0x5A5A5A5Au);
    for (int i = 0; i < n; ++i) under[size_t(i)] = uint32_t(i * 29 + 3) << 24 | 0x123456u;
    BgrRowOverRgb32(bgr.data(), under.data(), n);
    for (int i = 0; i < n; ++i) EXPECT_EQ(under[size_t(i)], (uint32_t(i * 29 + 3) << 24) | (wide[size_t(i)] & 0xFFFFFFu)) << i;
    for (size_t i = size_t(n); i < under.size(); ++i) EXPECT_EQ(under[i], 0x5A5A5A5Au);
  }
}
