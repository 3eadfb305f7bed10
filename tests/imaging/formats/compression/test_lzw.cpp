// The LZW coders: GIF data round-trips at every code size and interlaced, streams of other
// encoders (deferred clear, no leading clear) decode, impossible codes leave the stream where it
// was; TIFF strips written by libtiff decode, ours decode row by row in either fill order, and
// the decoder never reads past the strip it was given nor writes past its own buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "imaging/core/ie_bits.h"
#include "imaging/formats/compression/ie_lzw.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/support/fixtures.h"

namespace {

std::vector<Byte> Pixels(Integer W, Integer H, Integer Bits, unsigned Seed) {
  std::vector<Byte> d(size_t(W) * size_t(H));
  unsigned x = Seed;
  for (size_t i = 0; i < d.size(); ++i) {
    x = x * 1103515245u + 12345u;
    // Runs and noise, so that the table both grows long strings and fills up.
    d[i] = static_cast<Byte>(((x >> 16) % 5 == 0 ? (x >> 20) : (i / 13)) & ((1u << Bits) - 1));
  }
  return d;
}

// GIF data from a list of codes of the given widths, least significant bit first, framed in
// sub-blocks: how another encoder may have written it.
std::vector<Byte> GifData(Integer CodeSize, const std::vector<std::pair<Integer, Integer>>& Codes) {
  std::vector<Byte> raw;
  unsigned acc = 0;
  int n = 0;
  for (auto [code, width] : Codes) {
    acc |= unsigned(code) << n;
    n += width;
    while (n >= 8) {
      raw.push_back(Byte(acc));
      acc >>= 8;
      n -= 8;
    }
  }
  if (n > 0) raw.push_back(Byte(acc));
  std::vector<Byte> out{Byte(CodeSize)};
  for (size_t i = 0; i < raw.size(); i += 255) {
    const size_t len = std::min<size_t>(255, raw.size() - i);
    out.push_back(Byte(len));
    out.insert(out.end(), raw.begin() + i, raw.begin() + i + len);
  }
  out.push_back(0);
  return out;
}

TEST(GifLZW, RoundTripsAtEveryCodeSizeAndInterlaced) {
  struct Case {
    Integer W, H, Bits;
    bool Interlaced;
  } cases[] = {{300, 200, 8, false}, {300, 200, 8, true}, {97, 61, 4, false}, {64, 3, 2, true},
               {9, 1, 1, true},      {1, 1, 1, false},    {513, 129, 7, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.W) + "x" + std::to_string(c.H) + " bits " + std::to_string(c.Bits));
    const std::vector<Byte> px = Pixels(c.W, c.H, c.Bits, unsigned(c.W * 7 + c.H));
    TMemoryStream m;
    GIFLZWCompress(&m, c.H, c.W, c.Interlaced, px.data(), c.Bits);
    const std::vector<Byte> data = ietest::StreamBytes(m);
    ASSERT_GE(data.size(), 3u);
    EXPECT_EQ(data[0], c.Bits <= 1 ? 2 : c.Bits);
    // Sub-blocks of at most 254 bytes, ended by the zero length.
    size_t i = 1;
    while (i < data.size() && data[i] != 0) {
      EXPECT_LE(data[i], 254);
      i += data[i] + 1u;
    }
    EXPECT_EQ(i, data.size() - 1);
    std::vector<Byte> back(px.size(), 0xEE);
    m.SetPosition(0);
    EXPECT_EQ(GIFLZWDecompress(&m, c.H, c.W, c.Interlaced, back.data()), glzOK);
    EXPECT_EQ(m.Position(), m.Size());
    EXPECT_EQ(back, px);
  }
}

TEST(GifLZW, InterlacedShortFramesPlaceTheirRows) {
  // Three rows in file order 0, 2, 1; one row: just row 0.
  for (Integer h : {1, 2, 3, 5}) {
    std::vector<Byte> px(size_t(h) * 4);
    for (size_t i = 0; i < px.size(); ++i) px[i] = Byte(i / 4);  // each row its own index
    TMemoryStream m;
    GIFLZWCompress(&m, h, 4, true, px.data(), 4);
    std::vector<Byte> back(px.size(), 0xEE);
    m.SetPosition(0);
    ASSERT_EQ(GIFLZWDecompress(&m, h, 4, true, back.data()), glzOK) << h;
    EXPECT_EQ(back, px) << h;
  }
}

TEST(GifLZW, DeferredClearAndMissingLeadingClearDecode) {
  // Only literals, never a clear: the table fills after 4094 codes and the encoder goes on at 12
  // bits without clearing, as some encoders do.
  const Integer n = 6000;
  std::vector<std::pair<Integer, Integer>> codes;
  std::vector<Byte> want;
  Integer width = 9, next = 258;
  for (Integer i = 0; i < n; ++i) {
    const Integer c = (i * 37) & 0xFF;
    codes.push_back({c, width});
    want.push_back(Byte(c));
    // The decoder adds an entry from the second code on.
    if (i > 0 && next < 4096) {
      ++next;
      if (next == (1 << width) && width < 12) ++width;
    }
  }
  codes.push_back({257, width});
  const std::vector<Byte> data = GifData(8, codes);
  TMemoryStream m;
  m.WriteBuffer(data.data(), Int64(data.size()));
  m.SetPosition(0);
  std::vector<Byte> back(n, 0xEE);
  EXPECT_EQ(GIFLZWDecompress(&m, 1, n, false, back.data()), glzOK);
  EXPECT_EQ(back, want);
}

TEST(GifLZW, ImpossibleDataFailsAndLeavesTheStream) {
  struct Case {
    const char* Name;
    std::vector<Byte> Data;
    TIEGifLZWResult Want;
  } cases[] = {
      {"code size 1", {1, 1, 0, 0}, glzFailed},
      {"code size 12", {12, 1, 0, 0}, glzFailed},
      // clear, 'a', then a code beyond the next free one (260 while 258 is next).
      {"code beyond the table", GifData(8, {{256, 9}, {97, 9}, {300, 9}, {257, 9}}), glzFailed},
      // clear, end, with bytes still to come
      {"end after clear with data left", GifData(2, {{4, 3}, {5, 3}, {1, 3}, {1, 3}, {1, 3}, {1, 3}, {1, 3}, {1, 3}}), glzFailed},
      {"clear and end only", GifData(2, {{4, 3}, {5, 3}}), glzShort},
      {"data cut short", GifData(2, {{4, 3}, {1, 3}, {1, 3}}), glzShort},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TMemoryStream m;
    const Byte lead[3] = {7, 7, 7};
    m.WriteBuffer(lead, 3);
    m.WriteBuffer(c.Data.data(), Int64(c.Data.size()));
    m.SetPosition(3);
    std::vector<Byte> back(16, 0);
    EXPECT_EQ(GIFLZWDecompress(&m, 4, 4, false, back.data()), c.Want);
    if (c.Want == glzFailed) EXPECT_EQ(m.Position(), 3);
    else EXPECT_GT(m.Position(), 3);
  }
}

// Decodes a strip row by row; empty when the decoder refuses it.
std::vector<Byte> TiffDecode(const std::vector<Byte>& Strip, Int64 StripSize, Integer RowBytes, Integer Rows,
                             Integer FillOrder) {
  std::vector<Byte> out;
  void* state = nullptr;
  for (Integer r = 0; r < Rows; ++r) {
    Byte* row = TIFFLZWDecompress(Strip.data(), RowBytes, state, FillOrder, StripSize);
    if (!row) {
      out.clear();
      break;
    }
    out.insert(out.end(), row, row + RowBytes);
  }
  TIFFLZWDecompress(nullptr, 0, state, FillOrder, 0);
  EXPECT_EQ(state, nullptr);
  return out;
}

std::vector<Byte> TiffEncode(const std::vector<Byte>& Data, Integer RowBytes) {
  TMemoryStream m;
  void* state = nullptr;
  for (size_t i = 0; i < Data.size(); i += size_t(RowBytes)) TIFFLZWCompress(Data.data() + i, RowBytes, &m, state);
  TIFFLZWCompress(nullptr, 0, &m, state);
  EXPECT_EQ(state, nullptr);
  return ietest::StreamBytes(m);
}

TEST(TiffLZW, RoundTripsRowByRowInBothFillOrders) {
  const Integer rowBytes = 333, rows = 400;  // long enough to clear the table several times
  const std::vector<Byte> px = Pixels(rowBytes, rows, 8, 99);
  std::vector<Byte> strip = TiffEncode(px, rowBytes);
  EXPECT_EQ(TiffDecode(strip, Int64(strip.size()), rowBytes, rows, 1), px);
  for (Byte& b : strip) IEReverseBitsInByte(b);
  EXPECT_EQ(TiffDecode(strip, Int64(strip.size()), rowBytes, rows, 2), px);
}

// One code stream far longer than a strip, as the PDF writer makes for a whole page: the table
// is cleared thousands of times, each clear a new generation of the encoder's hash table.
TEST(TiffLZW, RoundTripsThroughThousandsOfClears) {
  const Integer rowBytes = 60000, rows = 400;  // 24 MB of mostly noise: a clear every few KB
  std::vector<Byte> px(size_t(rowBytes) * rows);
  unsigned x = 7;
  for (size_t i = 0; i < px.size(); ++i) {
    x = x * 1103515245u + 12345u;
    px[i] = Byte(i % 4096 < 300 ? i / 4096 : x >> 16);
  }
  const std::vector<Byte> strip = TiffEncode(px, rowBytes);
  EXPECT_TRUE(TiffDecode(strip, Int64(strip.size()), rowBytes, rows, 1) == px);
}

// A TIFF strip from a list of 9-bit codes, most significant bit first, the last byte padded.
std::vector<Byte> TiffCodes(const std::vector<Integer>& Codes) {
  std::vector<Byte> out;
  unsigned acc = 0;
  int n = 0;
  for (Integer code : Codes) {
    acc = acc << 9 | unsigned(code);
    n += 9;
    while (n >= 8) {
      n -= 8;
      out.push_back(Byte(acc >> n));
    }
  }
  if (n > 0) out.push_back(Byte(acc << (8 - n)));
  return out;
}

// The codes at the edges of the decoder's loop: strips without a leading clear code, a code
// that names the entry being made, clear and end codes in every position, codes the table
// cannot hold, and strips that end before the row (the rest of the row stays zero).
TEST(TiffLZW, HandMadeCodeStreams) {
  const Integer a = 'a', b = 'b';
  struct Case {
    const char* Name;
    std::vector<Integer> Codes;
    std::vector<Byte> Want;  // one row of its size; empty when the decoder refuses the strip
  };
  auto bytes = [](const char* S) { return std::vector<Byte>(S, S + std::strlen(S)); };
  const std::vector<Case> cases = {
      {"no leading clear", {a, b, 258, 257}, bytes("abab")},
      {"the entry being made", {256, a, 258, 259, 257}, bytes("aaaaaa")},
      {"a clear in the middle", {256, a, b, 256, b, a, 258, 257}, bytes("abbaba")},
      {"ends without an end code", {256, a, b, 258}, bytes("abab")},
      {"ends before the row", {256, a, b, 257}, {'a', 'b', 0, 0, 0}},
      {"end right after a clear", {256, 257}, {0, 0, 0}},
      {"a code beyond the table", {256, a, 259, 257}, {}},
      {"no literal after a clear", {256, 300, 257}, {}},
      {"two clears in a row", {256, 256, a, 257}, {}},
      {"a string code first", {258, 257}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::vector<Byte> strip = TiffCodes(c.Codes);
    const Integer row = c.Want.empty() ? 4 : Integer(c.Want.size());
    EXPECT_EQ(TiffDecode(strip, Int64(strip.size()), row, 1, 1), c.Want);
  }
}

// The first strip of a single-strip little-endian TIFF.
std::vector<Byte> FirstStrip(const std::vector<Byte>& T) {
  auto u16 = [&](size_t o) { return unsigned(T.at(o) | T.at(o + 1) << 8); };
  auto u32 = [&](size_t o) { return u16(o) | u16(o + 2) << 16; };
  const size_t ifd = u32(4);
  size_t offset = 0, count = 0;
  for (unsigned i = 0, n = u16(ifd); i < n; ++i) {
    const size_t e = ifd + 2 + 12 * i;
    const unsigned tag = u16(e), type = u16(e + 2);
    const size_t value = type == 3 ? u16(e + 8) : u32(e + 8);
    if (tag == 273) offset = value;
    if (tag == 279) count = value;
  }
  return std::vector<Byte>(T.begin() + long(offset), T.begin() + long(offset + count));
}

TEST(TiffLZW, DecodesLibtiffStripsAndLibtiffReadsOurs) {
  const std::string dir = testsupport::MakeTempDir("lzw");
  // A grey picture with gradients and noise, one strip.
  testsupport::RunOk("cd " + dir + " && convert -seed 4 -size 256x300 plasma:fractal -colorspace gray -depth 8 gray:raw.gray"
                     " && convert -size 256x300 -depth 8 gray:raw.gray -define tiff:rows-per-strip=300 -define tiff:predictor=1 -compress lzw -endian LSB lzw.tif");
  const std::vector<Byte> raw = ietest::ReadWholeFile(dir + "/raw.gray");
  ASSERT_EQ(raw.size(), 256u * 300u);
  const std::vector<Byte> strip = FirstStrip(ietest::ReadWholeFile(dir + "/lzw.tif"));
  EXPECT_EQ(TiffDecode(strip, Int64(strip.size()), 256, 300, 1), raw);

  // Ours in place of libtiff's, same header: tiffinfo decodes it to the same bytes.
  std::vector<Byte> tif = ietest::ReadWholeFile(dir + "/lzw.tif");
  const std::vector<Byte> ours = TiffEncode(raw, 256);
  // Append our strip and point the strip entries at it.
  const size_t ifd = size_t(tif[4] | tif[5] << 8 | tif[6] << 16 | tif[7] << 24);
  const size_t at = tif.size();
  tif.insert(tif.end(), ours.begin(), ours.end());
  for (unsigned i = 0, n = unsigned(tif[ifd] | tif[ifd + 1] << 8); i < n; ++i) {
    const size_t e = ifd + 2 + 12 * i;
    const unsigned tag = unsigned(tif[e] | tif[e + 1] << 8);
    const size_t v = tag == 273 ? at : tag == 279 ? ours.size() : 0;
    if (tag != 273 && tag != 279) continue;
    tif[e + 2] = 4;  // LONG
    tif[e + 3] = 0;
    for (int k = 0; k < 4; ++k) tif[e + 8 + k] = Byte(v >> (8 * k));
  }
  std::ofstream(dir + "/ours.tif", std::ios::binary).write(reinterpret_cast<const char*>(tif.data()), std::streamsize(tif.size()));
  testsupport::RunOk("cd " + dir + " && convert ours.tif -depth 8 gray:back.gray");
  EXPECT_EQ(ietest::ReadWholeFile(dir + "/back.gray"), raw);
}

TEST(TiffLZW, StaysInsideTheStripAndItsBuffer) {
  // One long run: strings of hundreds of bytes, asked for one byte at a time.
  const std::vector<Byte> zeros(20000, 0);
  const std::vector<Byte> strip = TiffEncode(zeros, 20000);
  EXPECT_EQ(TiffDecode(strip, Int64(strip.size()), 1, 20000, 1), zeros);

  // A strip cut in half, followed in memory by bytes that would decode: the decoder stops at
  // the strip's end and never decodes what lies beyond it.
  const std::vector<Byte> px = Pixels(100, 100, 8, 5);
  const std::vector<Byte> full = TiffEncode(px, 100);
  std::vector<Byte> memory(full.begin(), full.begin() + long(full.size() / 2));
  const Int64 cut = Int64(memory.size());
  memory.insert(memory.end(), full.begin() + long(full.size() / 2), full.end());
  void* state = nullptr;
  Integer good = 0;
  bool differs = false;
  for (Integer r = 0; r < 100; ++r) {
    Byte* row = TIFFLZWDecompress(memory.data(), 100, state, 1, cut);
    if (!row) break;
    if (std::memcmp(row, px.data() + size_t(r) * 100, 100) == 0) ++good;
    else differs = true;
  }
  TIFFLZWDecompress(nullptr, 0, state, 1, 0);
  EXPECT_TRUE(differs) << "rows past the strip's end were decoded from the bytes behind it";
  EXPECT_GT(good, 10);
  EXPECT_LT(good, 100);
}

}  // namespace
