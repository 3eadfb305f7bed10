// The directory reader every TIFF user shares: both byte orders, typed values inline and out of
// line, chains that loop, and counts and offsets that point past the end of the stream.
#include <gtest/gtest.h>

#include <chrono>

#include "imaging/formats/tiff/ie_tiff_directory.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/imaging/formats/tiff_test_util.h"

using namespace ietest;
using namespace tifftest;

namespace {

TEST(TiffDirectory, TypedValuesInBothByteOrders) {
  for (bool little : {true, false}) {
    SCOPED_TRACE(little ? "II" : "MM");
    TTiffFile f(little);
    const DWORD second = 0;  // linked below
    const DWORD first = f.Directory({Short(256, {640}),
                                     Long(257, {480}),
                                     Short(258, {8, 8, 8}),
                                     Long(273, {100, 2000, 70000}),
                                     Rational(282, 300, 2),
                                     Ascii(305, "a program"),
                                     Ascii(269, "ab"),
                                     {338, 1, {2}}},
                                    second);
    const DWORD two = f.Directory({Short(256, {7}), Short(297, {1, 3})});
    const DWORD three = f.Directory({Short(256, {9})});
    f.Set32(f.NextField(first), two);
    f.Set32(f.NextField(two), three);
    // Some bytes before the header: offsets count from the base.
    std::vector<Byte> data = {1, 2, 3};
    data.insert(data.end(), f.Bytes.begin(), f.Bytes.end());
    TMemoryStream m;
    FillStream(m, data);

    TTIFFDirectory d(&m, little, 3);
    Integer count = 0;
    EXPECT_FALSE(d.LoadIFD(-1, first, count));
    EXPECT_EQ(count, 3);
    ASSERT_TRUE(d.LoadIFD(0, first, count));
    EXPECT_EQ(d.Next(), two);
    EXPECT_EQ(d.GetTagValue(256), 640);
    EXPECT_EQ(d.GetTagValue(257), 480);
    EXPECT_EQ(d.GetTagValue(999, -5), -5);
    EXPECT_EQ(d.GetTagValue(338), 2);  // a BYTE in the value field
    EXPECT_EQ(d.GetTagItem(258, 2), 8);
    EXPECT_EQ(d.GetTagItem(258, 3), 0);
    std::vector<DWORD> strips;
    ASSERT_EQ(d.GetTagArray(273, strips), 3);
    EXPECT_EQ(strips, (std::vector<DWORD>{100, 2000, 70000}));
    EXPECT_DOUBLE_EQ(d.GetRational(282), 150.0);
    EXPECT_EQ(d.GetString(305), "a program");
    EXPECT_EQ(d.GetString(269), "ab");
    ASSERT_TRUE(d.LoadIFD(1, first, count));
    EXPECT_EQ(d.GetTagValue(256), 7);
    EXPECT_EQ(d.GetTagItem(297, 1), 3);
    EXPECT_FALSE(d.LoadIFD(3, first, count));
    EXPECT_EQ(count, 3);
  }
}

// Chains that come back to a directory already walked end there: the walk neither hangs nor
// counts a directory twice.
TEST(TiffDirectory, ChainsThatLoopEnd) {
  struct TCase {
    const char* Name;
    Integer Directories;  // in the chain before it loops
    Integer LinkTo;       // the last one's next directory (index in the chain)
  } cases[] = {{"self-linked", 1, 0}, {"two linked to each other", 2, 0}, {"three back to the second", 3, 1}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TTiffFile f(true);
    std::vector<DWORD> at;
    for (Integer i = 0; i < c.Directories; ++i) at.push_back(f.Directory({Short(256, {DWORD(i + 1)})}));
    for (Integer i = 0; i + 1 < c.Directories; ++i) f.Set32(f.NextField(at[i]), at[i + 1]);
    f.Set32(f.NextField(at.back()), at[size_t(c.LinkTo)]);
    TMemoryStream m;
    FillStream(m, f.Bytes);
    TTIFFDirectory d(&m, true, 0);
    Integer count = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(d.LoadIFD(1000, at[0], count));
    EXPECT_EQ(count, c.Directories);
    ASSERT_TRUE(d.LoadIFD(c.Directories - 1, at[0], count));
    EXPECT_EQ(d.GetTagValue(256), c.Directories);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  }
}

TEST(TiffDirectory, CountsAndOffsetsPastTheEndReadAsAbsent) {
  TTiffFile f(true);
  TTag strips = Long(273, {10, 20, 30});
  strips.ForceCount = 0x40000000;  // a gigabyte of offsets in a few bytes
  TTag name = Ascii(305, "some program");
  name.ForceOffset = 0xFFFFFF00;
  TTag counts = Long(279, {1, 2});
  counts.ForceOffset = 0x7FFFFFF0;
  TTag rational = Rational(282, 72, 1);
  rational.ForceOffset = 0xFFFFFFF8;
  const DWORD first = f.Directory({Short(256, {5}), strips, counts, rational, name});
  TMemoryStream m;
  FillStream(m, f.Bytes);
  TTIFFDirectory d(&m, true, 0);
  Integer count = 0;
  ASSERT_TRUE(d.LoadIFD(0, first, count));
  std::vector<DWORD> values;
  EXPECT_EQ(d.GetTagArray(273, values), 0);
  EXPECT_TRUE(values.empty());
  EXPECT_EQ(d.GetTagArray(279, values), 0);
  EXPECT_EQ(d.GetTagItem(279, 1), 0);
  EXPECT_EQ(d.GetString(305), "");
  EXPECT_EQ(d.GetRational(282), 0);
  std::vector<Byte> block;
  EXPECT_FALSE(d.GetTagBlock(273, block));
  EXPECT_EQ(d.GetTagValue(256), 5);

  // A table whose entry count runs past the end: refused, or read as far as it goes on request.
  std::vector<Byte> cut = f.Bytes;
  cut[first] = 200;
  FillStream(m, cut);
  TTIFFDirectory strict(&m, true, 0);
  EXPECT_FALSE(strict.LoadIFD(0, first, count));
  TTIFFDirectory lenient(&m, true, 0);
  lenient.AcceptCutTables = true;
  ASSERT_TRUE(lenient.LoadIFD(0, first, count));
  EXPECT_EQ(lenient.GetTagValue(256), 5);
  // A first directory outside the stream.
  TTIFFDirectory outside(&m, true, 0);
  EXPECT_FALSE(outside.LoadIFD(0, 0x7FFFFFF0, count));
  EXPECT_EQ(count, 0);
}

}  // namespace
