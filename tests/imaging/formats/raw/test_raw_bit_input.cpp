#include <gtest/gtest.h>

#include "tests/imaging/formats/raw/raw_test_support.h"

TEST(RawBitInput, ReadsBitsWithAndWithoutByteStuffing) {
  struct Case {
    std::vector<Byte> data;
    int stuffing;
    std::vector<int> widths;
    std::vector<int> expected;
  };
  const Case cases[] = {
      {{0xA5, 0x3C, 0x01}, 0, {8}, {0xA5}},
      {{0xA5, 0x3C, 0x01}, 0, {4, 4, 1, 7}, {0xA, 0x5, 0, 0x3C}},
      {{0xFF, 0x00, 0x12}, 1, {8, 8}, {0xFF, 0x12}},  // the stuffed 00 is dropped
      {{0xFF, 0x00, 0x12}, 0, {8, 8, 8}, {0xFF, 0x00, 0x12}},
      {{0x80, 0x00, 0x00, 0x00, 0x01}, 0, {0, 1, 24, 15}, {0, 1, 0, 1}},
  };
  for (const Case& c : cases) {
    TRawFixture f(c.data);
    f.S->ff_stuffing = c.stuffing;
    EXPECT_EQ(read_bits(*f.S, -1), 0);
    for (size_t i = 0; i < c.widths.size(); ++i) EXPECT_EQ(read_bits(*f.S, c.widths[i]), c.expected[i]) << i;
  }
}

TEST(RawBitInput, TellsConsumedMissingBitsFromReadAhead) {
  // Three bytes: the reader reads ahead past them, which is no truncation until a caller takes
  // bits the file does not hold.
  TRawFixture f({0x12, 0x34, 0x56});
  read_bits(*f.S, -1);
  read_bits(*f.S, 16);
  read_bits(*f.S, 8);
  EXPECT_FALSE(RawInputEnded(*f.S));
  read_bits(*f.S, 1);
  EXPECT_TRUE(RawInputEnded(*f.S));
  EXPECT_TRUE(raw_check_truncated(*f.S, "test()"));
  EXPECT_TRUE(f.Aborting);
  EXPECT_NE(f.Reason.find("ends early"), std::string::npos);
}

TEST(RawBitInput, ByteOrderReadersFollowOrder) {
  TRawFixture f({0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08});
  f.S->order = kRawOrderIntel;
  EXPECT_EQ(read_u16(*f.S), 0x0201);
  EXPECT_EQ(read_u32(*f.S), 0x06050403u);
  f.S->order = kRawOrderMotorola;
  EXPECT_EQ(read_u16(*f.S), 0x0708);
  EXPECT_EQ(f.S->short_reads, 0);
  EXPECT_EQ(read_u16(*f.S), 0);  // past the end: zeros, counted
  EXPECT_EQ(f.S->short_reads, 2);
}

TEST(RawBitInput, FilterColourAndSensorCellBounds) {
  TRawFixture f({});
  f.Size(4, 4, 4, 4, 0x94949494);
  EXPECT_EQ(filter_colour(*f.S, 0, 0), 0);
  EXPECT_EQ(filter_colour(*f.S, 0, 1), 1);
  EXPECT_EQ(filter_colour(*f.S, 1, 0), 1);
  EXPECT_EQ(filter_colour(*f.S, 1, 1), 2);
  EXPECT_EQ(sensor_cell(*f.S, 1, 1), &f.Image[(1 * 4 + 1) * 4 + 2]);
  for (auto [r, c] : {std::pair{-1, 0}, {0, -1}, {4, 0}, {0, 4}, {100000, 100000}}) EXPECT_EQ(sensor_cell(*f.S, r, c), nullptr);
  f.S->halve = 1;
  f.S->out_height = f.S->out_width = 2;
  EXPECT_EQ(sensor_cell(*f.S, 3, 3), &f.Image[(1 * 2 + 1) * 4 + 2]);
  EXPECT_EQ(sensor_cell(*f.S, 4, 0), nullptr);
}

TEST(RawBitInput, HuffmanTreesDecodeTheirCanonicalCodes) {
  const Byte* sources[] = {nikon_tree_source(), canon_first_tree_source(0), canon_first_tree_source(1),
                           canon_first_tree_source(2)};
  for (const Byte* src : sources) {
    const auto codes = HuffmanCodes(src);
    TBitWriter w;
    for (const auto& [sym, code] : codes) w.Put(code.first, code.second);
    TRawFixture f(w.Finish());
    reset_tree_pool(*f.S);
    int symbols = 0;
    for (int i = 0; i < 16; ++i) symbols += src[i];
    Integer used = 0;
    const Integer root = build_huffman_tree(*f.S, src, 16 + symbols, &used);
    EXPECT_EQ(used, 16 + symbols);
    read_bits(*f.S, -1);
    for (const auto& [sym, code] : codes) EXPECT_EQ(decode_symbol(*f.S, root), sym);
  }
}

TEST(RawBitInput, DamagedTreeSourcesAreRefused) {
  // Counts that need more nodes than the pool has.
  std::vector<Byte> big(16, 0);
  for (int i = 11; i < 16; ++i) big[i] = 255;
  big.resize(16 + 5 * 255, 7);
  // Counts that promise more symbols than the table holds.
  std::vector<Byte> short_table = {0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  TRawFixture f({});
  reset_tree_pool(*f.S);
  try {
    build_huffman_tree(*f.S, big.data(), static_cast<Integer>(big.size()));
    FAIL() << "no overflow";
  } catch (const EIERawError& e) {
    EXPECT_EQ(e.Message, ": decoder table overflow");
  }
  reset_tree_pool(*f.S);
  EXPECT_THROW(build_huffman_tree(*f.S, short_table.data(), static_cast<Integer>(short_table.size())), EIERawError);
  reset_tree_pool(*f.S);
  EXPECT_THROW(decode_symbol(*f.S, f.S->tree_root[1]), EIERawError);  // a table never defined
}

TEST(RawBitInput, SigmaAndRadcTreesDecode) {
  // Sigma codes: length in the top 5 bits, code in the low 27.
  std::vector<Cardinal> codes(1024, 0);
  codes[5] = (1u << 27) | 0;      // "0"
  codes[9] = (2u << 27) | 2;      // "10"
  codes[700] = (2u << 27) | 3;    // "11"
  TRawFixture f({0x6C});            // 0 11 0 11 00 -> 5, 700, 5, 700, 5, 5
  reset_tree_pool(*f.S);
  const Integer root = build_sigma_tree(*f.S, codes.data());
  read_bits(*f.S, -1);
  for (int expect : {5, 700, 5, 700, 5, 5}) EXPECT_EQ(decode_symbol(*f.S, root), expect);

  const Byte pairs[] = {1, 3, 2, 0xFE, 2, 9};  // "0" -> 3, "10" -> -2, "11" -> 9
  TRawFixture g({0xB0});                        // 10 11 0 0..
  reset_tree_pool(*g.S);
  const Integer r2 = build_radc_tree(*g.S, pairs, 3);
  read_bits(*g.S, -1);
  for (int expect : {-2, 9, 3}) EXPECT_EQ(decode_symbol(*g.S, r2), expect);
}

TEST(RawBitInput, CanonLowBitsProbe) {
  struct Case {
    std::vector<std::pair<int, Byte>> bytes;
    bool expected;
  };
  const Case cases[] = {
      {{}, true},                                  // no FF at all
      {{{600, 0xFF}, {601, 0x00}}, false},         // only stuffed FF 00
      {{{600, 0xFF}, {601, 0x00}, {900, 0xFF}, {901, 0x12}}, true},
      {{{100, 0xFF}, {101, 0x12}, {600, 0xFF}, {601, 0x00}}, false},  // before 540 does not count
  };
  for (const Case& c : cases) {
    std::vector<Byte> data(20000, 0x11);
    for (auto [at, v] : c.bytes) data[at] = v;
    TRawFixture f(data);
    EXPECT_EQ(canon_low_bits_present(*f.S), c.expected);
  }
}

TEST(RawBitInput, AllocationCheckNamesTheStage) {
  try {
    check_allocation(nullptr, "vng_interpolate()");
    FAIL();
  } catch (const EIERawError& e) {
    EXPECT_EQ(e.Message, ": Out of memory in vng_interpolate()");
  }
  EXPECT_THROW(raw_work_buffer<Word>(Int64(1) << 50, "x()"), EIERawError);
  EXPECT_EQ(raw_work_buffer<Word>(3, "x()").size(), 3u);
}
