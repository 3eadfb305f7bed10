// PackBits: packets decode within the bounds of both buffers (the control byte 128 does
// nothing), rows pack with runs of four or more, and whatever is packed unpacks to itself.
#include <gtest/gtest.h>

#include <vector>

#include "imaging/formats/compression/ie_packbits.h"

namespace {

std::vector<Byte> Pack(const std::vector<Byte>& Row) {
  std::vector<Byte> out(IEPackBitsMaxPacked(Row.size()));
  Integer n = 0;
  PackBitsRow(Row.data(), Integer(Row.size()), out.data(), n);
  EXPECT_LE(size_t(n), out.size());
  out.resize(size_t(n));
  return out;
}

TEST(PackBits, DecodesWithinBothBuffers) {
  struct TCase {
    const char* Name;
    std::vector<Byte> Packed;
    size_t Room;
    std::vector<Byte> Expected;
    size_t Read;
    bool Clipped;
  };
  const std::vector<TCase> cases = {
      {"literal and run", {0x01, 7, 9, 0xFE, 4}, 5, {7, 9, 4, 4, 4}, 5, false},
      {"128 is a no-op", {0x80, 0x01, 7, 9}, 2, {7, 9}, 4, false},
      {"run of 128", {0x81, 6}, 128, std::vector<Byte>(128, 6), 2, false},
      {"run past the room", {0xFD, 5, 0x00, 8}, 2, {5, 5}, 2, true},
      {"literal past the room", {0x03, 1, 2, 3, 4}, 3, {1, 2, 3}, 5, true},
      {"literal cut by the input", {0x05, 1, 2}, 6, {1, 2}, 3, false},
      {"run without its byte", {0x00, 3, 0xF0}, 6, {3}, 3, false},
      {"no input", {}, 4, {}, 0, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    // A guard byte after the room shows any write past it.
    std::vector<Byte> dest(c.Room + 1, 0xEE);
    const TIEPackBitsResult r = IEPackBitsDecode(c.Packed.data(), c.Packed.size(), dest.data(), c.Room);
    EXPECT_EQ(std::vector<Byte>(dest.begin(), dest.begin() + Int64(r.Written)), c.Expected);
    EXPECT_EQ(r.Read, c.Read);
    EXPECT_EQ(r.Clipped, c.Clipped);
    EXPECT_EQ(dest[c.Room], 0xEE);
  }
}

TEST(PackBits, RowsPackAndUnpackToThemselves) {
  // Ten equal bytes are one run packet; three are literals; 300 distinct bytes need three
  // literal packets.
  EXPECT_EQ(Pack(std::vector<Byte>(10, 0x33)), (std::vector<Byte>{0xF7, 0x33}));
  EXPECT_EQ(Pack({1, 1, 1, 2}), (std::vector<Byte>{0x03, 1, 1, 1, 2}));
  EXPECT_EQ(Pack({5, 6, 6, 6, 6}), (std::vector<Byte>{0x00, 5, 0xFD, 6}));
  std::vector<Byte> ramp(300);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = Byte(i * 7);
  EXPECT_EQ(Pack(ramp).size(), IEPackBitsMaxPacked(300));
  unsigned seed = 7;
  for (Integer length : {0, 1, 2, 127, 128, 129, 257, 1000}) {
    SCOPED_TRACE(length);
    std::vector<Byte> row(static_cast<size_t>(length));
    for (Byte& b : row) {
      seed = seed * 1103515245u + 12345u;
      b = (seed >> 16) % 3 ? Byte(seed >> 24) : Byte(0);
    }
    for (size_t i = 0; i + 200 < row.size(); i += 400) std::fill(row.begin() + Int64(i), row.begin() + Int64(i) + 200, 9);
    const std::vector<Byte> packed = Pack(row);
    std::vector<Byte> back(row.size());
    const TIEPackBitsResult r = IEPackBitsDecode(packed.data(), packed.size(), back.data(), back.size());
    EXPECT_EQ(r.Written, row.size());
    EXPECT_EQ(r.Read, packed.size());
    EXPECT_EQ(back, row);
  }
}

}  // namespace
