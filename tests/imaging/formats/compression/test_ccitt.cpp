// The fax coders: strips that libtiff's tools wrote (Modified Huffman, T.4 one- and
// two-dimensional with and without fill, T.6, both fill orders, both photometric senses) decode
// to what tifftopnm shows; strips ours wrote, wrapped in a TIFF by hand, read back through
// tifftopnm as the source, down to rows of a single pixel; damaged strips end in bounded time
// with a reason, the rows before the damage kept and nothing read or written out of bounds.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <algorithm>
#include <string>
#include <vector>

#include "imaging/core/ie_startup.h"
#include "imaging/formats/compression/ie_ccitt.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/support/fixtures.h"

namespace {

using Rows = std::vector<std::vector<Byte>>;

Integer RowBytes(Integer Width) { return (Width + 7) / 8; }

// --- images ----------------------------------------------------------------------------------

struct TBilevel {
  Integer Width = 0;
  Rows Data;  // 1 = black, padding bits zero
};

void SetPixel(std::vector<Byte>& Row, Integer X) { Row[size_t(X >> 3)] = Byte(Row[size_t(X >> 3)] | (0x80 >> (X & 7))); }

// A raw PBM as netpbm writes it.
TBilevel ParsePbm(const std::vector<Byte>& D) {
  TBilevel img;
  size_t i = 0;
  auto token = [&]() {
    std::string t;
    while (i < D.size()) {
      if (D[i] == '#') {
        while (i < D.size() && D[i] != '\n') ++i;
      } else if (std::isspace(D[i])) {
        ++i;
      } else {
        break;
      }
    }
    while (i < D.size() && !std::isspace(D[i])) t += char(D[i++]);
    return t;
  };
  EXPECT_EQ(token(), "P4");
  img.Width = std::stoi(token());
  const Integer h = std::stoi(token());
  ++i;
  const size_t rb = size_t(RowBytes(img.Width));
  EXPECT_GE(D.size(), i + rb * size_t(h));
  for (Integer y = 0; y < h && i + rb <= D.size(); ++y, i += rb) img.Data.emplace_back(D.begin() + long(i), D.begin() + long(i + rb));
  return img;
}

void WritePbm(const std::string& Path, const TBilevel& Img) {
  std::string head = "P4\n" + std::to_string(Img.Width) + " " + std::to_string(Img.Data.size()) + "\n";
  std::vector<Byte> out(head.begin(), head.end());
  for (const auto& r : Img.Data) out.insert(out.end(), r.begin(), r.end());
  ietest::WriteFileBytes(Path, out);
}

// Rows whose runs take every terminating and make-up length of both colours, runs longer than
// the largest make-up code, single-pixel alternations, rows that repeat or shift the row above
// (vertical and pass codes) and rows all of one colour.
TBilevel Ladder(Integer Width) {
  TBilevel img;
  img.Width = Width;
  unsigned seed = 12345;
  auto rnd = [&](unsigned N) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % N;
  };
  auto row = [&]() { return std::vector<Byte>(size_t(RowBytes(Width)), 0); };
  auto runs = [&](const std::function<Integer(Integer)>& Len, bool StartBlack) {
    std::vector<Byte> r = row();
    Integer x = 0, k = 0;
    bool black = StartBlack;
    while (x < Width) {
      const Integer n = std::max(1, Len(k++));
      if (black)
        for (Integer i = x; i < std::min(Width, x + n); ++i) SetPixel(r, i);
      x += n;
      black = !black;
    }
    return r;
  };
  img.Data.push_back(row());                                                        // all white
  img.Data.push_back(runs([&](Integer k) { return k % 64 + 1; }, false));           // 1..64
  img.Data.push_back(runs([&](Integer k) { return 64 * (k % 27 + 1) + k % 7; }, true));  // make-ups
  img.Data.push_back(runs([&](Integer k) { return 1792 + 64 * (k % 13) + k; }, false));  // extended
  img.Data.push_back(runs([&](Integer k) { return k % 2 ? 5000 : 2560 + k; }, true));     // past 2560
  img.Data.push_back(runs([](Integer) { return 1; }, false));                         // alternating
  img.Data.push_back(runs([](Integer) { return 1; }, true));
  std::vector<Byte> black = row();
  for (Integer x = 0; x < Width; ++x) SetPixel(black, x);
  img.Data.push_back(black);
  img.Data.push_back(black);
  img.Data.push_back(row());
  for (Integer y = 0; y < 24; ++y) {
    // A random row, then copies shifted by 0..5 pixels and one with a few runs cut short.
    const std::vector<Byte> r = runs([&](Integer) { return Integer(rnd(9) == 0 ? 1 + rnd(3000) : 1 + rnd(40)); }, y % 2);
    img.Data.push_back(r);
    for (Integer s = 1; s <= 5; ++s) {
      std::vector<Byte> t = row();
      for (Integer x = 0; x < Width; ++x) {
        const Integer from = y % 2 ? x - s : x + s;
        if (from >= 0 && from < Width && (r[size_t(from >> 3)] & (0x80 >> (from & 7)))) SetPixel(t, x);
      }
      if (s == 5 && Width > 10) t[0] = Byte(~t[0]);
      img.Data.push_back(t);
    }
  }
  // Pixels of the last byte past the width stay zero.
  for (auto& r : img.Data)
    if (Width % 8) r.back() = Byte(r.back() & (0xFF00 >> (Width % 8)));
  return img;
}

// --- a tiny TIFF walker ----------------------------------------------------------------------

struct TFaxTiff {
  Integer Width = 0, Height = 0, Compression = 1, Photometric = 0, FillOrder = 1, RowsPerStrip = 0;
  unsigned T4Options = 0, T6Options = 0;
  Rows Strips;
};

TFaxTiff WalkTiff(const std::vector<Byte>& T) {
  TFaxTiff t;
  if (T.size() < 8) {
    ADD_FAILURE() << "not a TIFF";
    return t;
  }
  const bool be = T[0] == 'M';
  auto u16 = [&](size_t o) { return be ? unsigned(T.at(o) << 8 | T.at(o + 1)) : unsigned(T.at(o) | T.at(o + 1) << 8); };
  auto u32 = [&](size_t o) { return be ? (u16(o) << 16 | u16(o + 2)) : (u16(o) | u16(o + 2) << 16); };
  const size_t ifd = u32(4);
  std::vector<unsigned> offsets, counts;
  for (unsigned i = 0, n = u16(ifd); i < n; ++i) {
    const size_t e = ifd + 2 + 12 * i;
    const unsigned tag = u16(e), type = u16(e + 2), count = u32(e + 4);
    if (type != 3 && type != 4) continue;
    const unsigned size = type == 3 ? 2 : 4;
    const size_t at = count * size <= 4 ? e + 8 : u32(e + 8);
    std::vector<unsigned> v;
    for (unsigned k = 0; k < count; ++k) v.push_back(size == 2 ? u16(at + 2 * k) : u32(at + 4 * k));
    if (v.empty()) continue;
    switch (tag) {
      case 256: t.Width = Integer(v[0]); break;
      case 257: t.Height = Integer(v[0]); break;
      case 259: t.Compression = Integer(v[0]); break;
      case 262: t.Photometric = Integer(v[0]); break;
      case 266: t.FillOrder = Integer(v[0]); break;
      case 273: offsets = v; break;
      case 278: t.RowsPerStrip = Integer(v[0]); break;
      case 279: counts = v; break;
      case 292: t.T4Options = v[0]; break;
      case 293: t.T6Options = v[0]; break;
    }
  }
  if (t.RowsPerStrip == 0) t.RowsPerStrip = t.Height;
  for (size_t s = 0; s < offsets.size() && s < counts.size(); ++s)
    t.Strips.emplace_back(T.begin() + long(offsets[s]), T.begin() + long(offsets[s] + counts[s]));
  return t;
}

// A one-page TIFF around our strips: white is zero, so the coders' 1 = black is the file's.
std::vector<Byte> WrapTiff(Integer Width, Integer Height, Integer Compression, unsigned T4Options, Integer FillOrder,
                           Integer RowsPerStrip, const Rows& Strips) {
  std::vector<Byte> f = {'I', 'I', 42, 0, 0, 0, 0, 0};
  auto put32 = [&](std::vector<Byte>& d, unsigned v) {
    for (int k = 0; k < 4; ++k) d.push_back(Byte(v >> (8 * k)));
  };
  std::vector<unsigned> offsets, counts;
  for (const auto& s : Strips) {
    offsets.push_back(unsigned(f.size()));
    counts.push_back(unsigned(s.size()));
    f.insert(f.end(), s.begin(), s.end());
    if (f.size() % 2) f.push_back(0);
  }
  auto array = [&](const std::vector<unsigned>& v) {
    const unsigned at = unsigned(f.size());
    for (unsigned x : v) put32(f, x);
    return at;
  };
  const unsigned offAt = Strips.size() > 1 ? array(offsets) : offsets[0];
  const unsigned cntAt = Strips.size() > 1 ? array(counts) : counts[0];
  struct E {
    unsigned Tag, Type, Count, Value;
  };
  std::vector<E> tags = {{256, 4, 1, unsigned(Width)},          {257, 4, 1, unsigned(Height)},
                         {258, 3, 1, 1},                         {259, 3, 1, unsigned(Compression)},
                         {262, 3, 1, 0},                         {266, 3, 1, unsigned(FillOrder)},
                         {273, 4, unsigned(Strips.size()), offAt}, {277, 3, 1, 1},
                         {278, 4, 1, unsigned(RowsPerStrip)},   {279, 4, unsigned(Strips.size()), cntAt}};
  if (Compression == 3) tags.push_back({292, 4, 1, T4Options});
  if (Compression == 4) tags.push_back({293, 4, 1, 0});
  const unsigned ifd = unsigned(f.size());
  for (int k = 0; k < 4; ++k) f[size_t(4 + k)] = Byte(ifd >> (8 * k));
  f.push_back(Byte(tags.size()));
  f.push_back(0);
  for (const E& e : tags) {
    f.push_back(Byte(e.Tag));
    f.push_back(Byte(e.Tag >> 8));
    f.push_back(Byte(e.Type));
    f.push_back(0);
    put32(f, e.Count);
    put32(f, e.Value);
  }
  put32(f, 0);
  return f;
}

// --- driving the coders as the TIFF codec does -----------------------------------------------

// Decodes every strip; rows in the decoders' sense (1 = white). Fault gets the first reason.
Rows DecodeStrips(const TFaxTiff& T, AnsiString* Fault) {
  Rows out;
  const Integer rb = RowBytes(T.Width);
  for (size_t s = 0; s < T.Strips.size(); ++s) {
    const std::vector<Byte>& d = T.Strips[s];
    const Int64 len = Int64(d.size());
    std::vector<Byte> ref(size_t(rb), 0xFF);
    Int64 bit = 0, pos = 0;
    const Integer rows = std::min<Integer>(T.RowsPerStrip, T.Height - Integer(s) * T.RowsPerStrip);
    for (Integer r = 0; r < rows; ++r) {
      std::vector<Byte> row(static_cast<size_t>(rb));
      if (T.Compression == 2) {
        pos += IECCITTDecodeMHRow(row.data(), d.data() + pos, len - pos, T.Width, T.FillOrder, Fault);
        EXPECT_LE(pos, len);
      } else if (T.Compression == 3 && !(T.T4Options & 1)) {
        bit = IECCITTDecode1DRow(row.data(), d.data(), len, T.Width, bit, T.FillOrder, Fault);
      } else {
        bit = IECCITTDecode2DRow(row.data(), d.data(), len, T.Width, ref.data(), bit, T.FillOrder,
                                 T.Compression == 3 || (T.T4Options & 4), Fault);
      }
      EXPECT_LE(bit, len * 8);
      out.push_back(row);
    }
  }
  return out;
}

// Our rows (1 = white) in the PBM sense of the page (1 = black shown).
Rows AsShown(const Rows& Decoded, Integer Width, Integer Photometric) {
  Rows out = Decoded;
  for (auto& r : out) {
    if (Photometric == 0)
      for (Byte& b : r) b = Byte(~b);
    if (Width % 8) r.back() = Byte(r.back() & (0xFF00 >> (Width % 8)));
  }
  return out;
}

enum TMode { mMH, m1D, mG3, mG4 };
const char* ModeName(TMode M) { return M == mMH ? "MH" : M == m1D ? "T.4 1D" : M == mG3 ? "T.4 2D" : "T.6"; }

// Our strips of RowsPerStrip rows each, written as the TIFF writer does, closing call included.
Rows EncodeStrips(const TBilevel& Img, TMode Mode, Integer FillOrder, Integer RowsPerStrip) {
  Rows strips;
  for (size_t y0 = 0; y0 < Img.Data.size(); y0 += size_t(RowsPerStrip)) {
    TMemoryStream m;
    bool aborting = false;
    Byte pending = 0;
    Integer pendingBits = 0;
    std::vector<Byte> ref;
    for (size_t y = y0; y < std::min(Img.Data.size(), y0 + size_t(RowsPerStrip)); ++y) {
      const Byte* row = Img.Data[y].data();
      switch (Mode) {
        case mMH: IECCITTEncodeMHRow(row, Img.Width, &m, aborting, FillOrder); break;
        case m1D: IECCITTEncode1DRow(row, Img.Width, &m, pending, pendingBits, aborting, FillOrder); break;
        case mG3: IECCITTEncodeG3Row(row, Img.Width, &m, pending, pendingBits, ref, aborting, FillOrder); break;
        case mG4: IECCITTEncodeG4Row(row, Img.Width, &m, pending, pendingBits, ref, aborting, FillOrder); break;
      }
    }
    switch (Mode) {
      case mMH: IECCITTEncodeMHRow(nullptr, Img.Width, &m, aborting, FillOrder); break;
      case m1D: IECCITTEncode1DRow(nullptr, Img.Width, &m, pending, pendingBits, aborting, FillOrder); break;
      case mG3: IECCITTEncodeG3Row(nullptr, Img.Width, &m, pending, pendingBits, ref, aborting, FillOrder); break;
      case mG4: IECCITTEncodeG4Row(nullptr, Img.Width, &m, pending, pendingBits, ref, aborting, FillOrder); break;
    }
    EXPECT_FALSE(aborting);
    EXPECT_EQ(pendingBits, 0) << "the closing call leaves bits pending";
    EXPECT_EQ(pending, 0);
    EXPECT_TRUE(ref.empty()) << "the closing call keeps the reference row";
    strips.push_back(ietest::StreamBytes(m));
  }
  return strips;
}

Integer Compression(TMode M) { return M == mMH ? 2 : M == mG4 ? 4 : 3; }

// Text and shapes drawn by ImageMagick, 997 pixels wide (not a multiple of 8); made once.
TBilevel TextImage() {
  const std::string pbm = testsupport::Fixture(
      "ccitt-text-997.pbm",
      "convert -size 997x90 xc:white -fill black -font DejaVu-Sans -pointsize 30 -draw \"text 4,34 'Clavorne Pro: fax 0123456789'\""
      " -draw \"circle 60,60 80,75\" -draw \"rectangle 300,50 994,58\" -draw \"line 0,89 997,60\" -monochrome pbm:{out}");
  return ParsePbm(ietest::ReadWholeFile(pbm));
}

TEST(CCITT, DecodesWhatLibtiffWrote) {
  const std::string dir = testsupport::MakeTempDir("ccitt");
  struct Source {
    std::string Name;
    TBilevel Img;
  };
  std::vector<Source> sources = {{"text", TextImage()}, {"ladder", Ladder(5301)}};
  for (Integer w : {1, 3, 7, 9}) sources.push_back({"narrow" + std::to_string(w), Ladder(w)});
  const std::vector<std::string> writers = {
      "tiffcp -c g3:1d {in} {out}",          "tiffcp -c g3:1d:fill {in} {out}",   "tiffcp -c g3:2d {in} {out}",
      "tiffcp -c g3:2d:fill {in} {out}",     "tiffcp -c g4 {in} {out}",           "tiffcp -c g4 -f lsb2msb {in} {out}",
      "tiffcp -c g3:2d -f lsb2msb -r 7 {in} {out}", "tiffcp -c g3:1d -r 5 {in} {out}",
      "pamtotiff -g3 -miniswhite {pbm} > {out}", "pamtotiff -g4 -miniswhite {pbm} > {out}",
      "pamtotiff -g3 -2d -fill {pbm} > {out}",  "pamtotiff -g4 -minisblack -lsb2msb {pbm} > {out}"};
  for (const Source& src : sources) {
    const std::string pbm = dir + "/" + src.Name + ".pbm", in = dir + "/" + src.Name + ".tif";
    WritePbm(pbm, src.Img);
    testsupport::RunOk("pamtotiff -none " + pbm + " > " + in);
    for (size_t k = 0; k < writers.size(); ++k) {
      // Narrow images through one writer of each coding are enough.
      if (src.Img.Width < 10 && k != 1 && k != 3 && k != 4 && k != 7) continue;
      const std::string& w = writers[k];
      SCOPED_TRACE(src.Name + ": " + w);
      std::string cmd = w;
      auto subst = [&](const std::string& k, const std::string& v) { cmd.replace(cmd.find(k), k.size(), v); };
      const std::string out = dir + "/out.tif";
      if (cmd.find("{in}") != std::string::npos) subst("{in}", in);
      if (cmd.find("{pbm}") != std::string::npos) subst("{pbm}", pbm);
      subst("{out}", out);
      testsupport::RunOk(cmd);
      const TFaxTiff t = WalkTiff(ietest::ReadWholeFile(out));
      ASSERT_EQ(t.Width, src.Img.Width);
      ASSERT_FALSE(t.Strips.empty());
      AnsiString fault;
      const Rows ours = AsShown(DecodeStrips(t, &fault), t.Width, t.Photometric);
      testsupport::RunOk("tifftopnm " + out + " 2>/dev/null > " + out + ".pbm");
      const TBilevel shown = ParsePbm(ietest::ReadWholeFile(out + ".pbm"));
      EXPECT_EQ(fault, "");
      ASSERT_EQ(ours.size(), shown.Data.size());
      for (size_t y = 0; y < ours.size(); ++y) ASSERT_EQ(ours[y], shown.Data[y]) << "row " << y;
    }
  }
}

// Ours, in every coding and fill order, several strips a page, read back by libtiff as the
// source and by our own decoders; rows of one to nine pixels with a run at every pixel are the
// densest coding there is, so no coder may keep its bits in a store sized by the width alone.
TEST(CCITT, LibtiffReadsWhatWeWrite) {
  const std::string dir = testsupport::MakeTempDir("ccitt");
  std::vector<TBilevel> images = {TextImage(), Ladder(5301)};
  for (Integer w = 1; w <= 9; ++w) images.push_back(Ladder(w));
  for (const TBilevel& img : images) {
    for (TMode mode : {mMH, m1D, mG3, mG4}) {
      for (Integer fill : {1, 2}) {
        SCOPED_TRACE(std::string(ModeName(mode)) + " width " + std::to_string(img.Width) + " fill order " + std::to_string(fill));
        const Integer perStrip = 7;
        const Rows strips = EncodeStrips(img, mode, fill, perStrip);
        const std::vector<Byte> tif =
            WrapTiff(img.Width, Integer(img.Data.size()), Compression(mode), mode == mG3 ? 1 : 0, fill, perStrip, strips);
        const std::string path = dir + "/ours.tif";
        ietest::WriteFileBytes(path, tif);
        testsupport::RunOk("tifftopnm " + path + " 2>/dev/null > " + path + ".pbm");
        const TBilevel shown = ParsePbm(ietest::ReadWholeFile(path + ".pbm"));
        ASSERT_EQ(shown.Data.size(), img.Data.size());
        for (size_t y = 0; y < img.Data.size(); ++y) ASSERT_EQ(shown.Data[y], img.Data[y]) << "row " << y;
        // And back through our decoders.
        AnsiString fault;
        const Rows back = AsShown(DecodeStrips(WalkTiff(tif), &fault), img.Width, 0);
        EXPECT_EQ(fault, "");
        EXPECT_EQ(back, img.Data);
      }
    }
  }
}

// Bits written as "0101..." (other characters ignored), packed most significant bit first.
std::vector<Byte> Bits(const std::string& Text) {
  std::vector<Byte> out;
  Integer n = 0;
  for (char c : Text) {
    if (c != '0' && c != '1') continue;
    if (n % 8 == 0) out.push_back(0);
    if (c == '1') out.back() = Byte(out.back() | (0x80 >> (n % 8)));
    ++n;
  }
  return out;
}

// The code words the standard gives for long runs and the shapes of a strip, bit for bit.
TEST(CCITT, WritesTheStandardsCodeWords) {
  struct Case {
    const char* What;
    Integer Width;
    std::vector<Integer> BlackPixels;
    TMode Mode;
    std::string Expected;
  } cases[] = {
      {"1728 white: make-up 1728, terminating 0", 1728, {}, mMH, "010011011 00110101"},
      {"5000 white: make-ups 2560 and 2432, terminating 8", 5000, {}, mMH, "000000011111 000000011101 10011"},
      {"black first: white 0, black 1, white 2", 3, {0}, mMH, "00110101 010 0111"},
      {"an EOL first, tag 1, the row one-dimensional", 4, {1, 2}, mG3, "000000000001 1 000111 11 000111"},
      {"T.6: VL3, VL1, V0 against the white row", 4, {1, 2}, mG4, "0000010 010 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    TBilevel img;
    img.Width = c.Width;
    img.Data.emplace_back(size_t(RowBytes(c.Width)), 0);
    for (Integer x : c.BlackPixels) SetPixel(img.Data[0], x);
    TMemoryStream m;
    bool aborting = false;
    Byte pending = 0;
    Integer bits = 0;
    std::vector<Byte> ref;
    if (c.Mode == mMH) IECCITTEncodeMHRow(img.Data[0].data(), c.Width, &m, aborting, 1);
    if (c.Mode == mG3) IECCITTEncodeG3Row(img.Data[0].data(), c.Width, &m, pending, bits, ref, aborting, 1);
    if (c.Mode == mG4) IECCITTEncodeG4Row(img.Data[0].data(), c.Width, &m, pending, bits, ref, aborting, 1);
    std::vector<Byte> got = ietest::StreamBytes(m);
    if (bits) got.push_back(pending);
    EXPECT_EQ(got, Bits(c.Expected));
  }
  // A second T.4 row is coded against the first after an EOL and tag 0; the closing EOL pads
  // with zeros to the byte's end.
  const Rows two = EncodeStrips(TBilevel{4, {{0x60}, {0x60}}}, mG3, 1, 2);
  EXPECT_EQ(two[0], Bits("000000000001 1 000111 11 000111  000000000001 0 1 1 1  000000000001"));
  // The end of a T.6 block: two EOLs, then zeros to the byte's end.
  EXPECT_EQ(EncodeStrips(TBilevel{4, {{0x60}}}, mG4, 1, 1)[0], Bits("0000010 010 1  000000000001 000000000001"));

  // A Modified Huffman row of 10 pixels in 13 bits (white 1, black 4, white 5) uses 2 bytes.
  const std::vector<Byte> mh = Bits("000111 011 1100 000 11111111");
  std::vector<Byte> row(2);
  EXPECT_EQ(IECCITTDecodeMHRow(row.data(), mh.data(), Int64(mh.size()), 10, 1), 2);
  EXPECT_EQ(row, (std::vector<Byte>{0x87, 0xFF}));
}

// The uncompressed mode of T.4's extensions: its pattern words give their black pixels and the
// exit word's tag bit the colour that follows (1 black), as the standard defines them.
TEST(CCITT, DecodesUncompressedMode) {
  // Ten pixels against a white row: enter; "1" black; "01" white, black; "000001" five white;
  // "0000001" exit with no white and tag 1; V0 paints the rest black up to b1 at the row's end.
  const std::vector<Byte> d = Bits("0000001111 1 01 000001 0000001 1 1");
  std::vector<Byte> row(2), ref(2, 0xFF);
  AnsiString fault;
  IECCITTDecode2DRow(row.data(), d.data(), Int64(d.size()), 10, ref.data(), 0, 1, false, &fault);
  // 1 = white: B W B W W W W W B B.
  EXPECT_EQ(row[0], 0x5F);
  EXPECT_EQ(row[1] & 0xC0, 0x00);
  EXPECT_EQ(fault, "");
}

// Truncated strips, bytes overwritten with noise or zeros, rows whose runs pass the width and
// rows too short for it: each row ends in time with a reason, the rows before the damage stay
// as they were, and nothing is read past the data or written past the row.
TEST(CCITT, DamagedStripsEndWithAReason) {
  const TBilevel img = Ladder(517);
  struct TDecoded {
    Rows Shown;
    std::vector<Int64> EndBits;
    AnsiString Fault;
  };
  // Decodes every row of a one-strip page from an exact-size copy of Data (a read past its end is
  // a read past the allocation), with guard bytes behind each row and the reference row.
  auto decode = [&](TMode Mode, const std::vector<Byte>& Data, Integer Width) {
    TDecoded out;
    const std::unique_ptr<Byte[]> exact(new Byte[Data.size()]);
    std::memcpy(exact.get(), Data.data(), Data.size());
    const Int64 len = Int64(Data.size());
    const Integer wb = RowBytes(Width);
    std::vector<Byte> ref(size_t(wb) + 8, 0xFF), row(size_t(wb) + 8);
    Int64 bit = 0;
    for (size_t y = 0; y < img.Data.size(); ++y) {
      std::fill(row.begin() + wb, row.end(), 0xA5);
      std::fill(ref.begin() + wb, ref.end(), 0x5A);
      if (Mode == mMH) bit += 8 * IECCITTDecodeMHRow(row.data(), exact.get() + bit / 8, len - bit / 8, Width, 1, &out.Fault);
      else if (Mode == m1D) bit = IECCITTDecode1DRow(row.data(), exact.get(), len, Width, bit, 1, &out.Fault);
      else bit = IECCITTDecode2DRow(row.data(), exact.get(), len, Width, ref.data(), bit, 1, Mode == mG3, &out.Fault);
      EXPECT_LE(bit, len * 8);
      for (Integer k = wb; k < wb + 8; ++k) {
        EXPECT_EQ(row[size_t(k)], 0xA5) << "written past the row";
        EXPECT_EQ(ref[size_t(k)], 0x5A) << "written past the reference row";
      }
      out.Shown.push_back(AsShown({std::vector<Byte>(row.begin(), row.begin() + wb)}, Width, 0)[0]);
      out.EndBits.push_back(bit);
    }
    return out;
  };
  for (TMode mode : {mMH, m1D, mG3, mG4}) {
    const std::vector<Byte> good = EncodeStrips(img, mode, 1, Integer(img.Data.size()))[0];
    const TDecoded sound = decode(mode, good, 517);
    ASSERT_EQ(sound.Shown, img.Data);
    ASSERT_EQ(sound.Fault, "");
    const size_t half = good.size() / 2;
    struct Damage {
      std::string What;
      size_t From;  // the first byte changed or missing
      std::function<void(std::vector<Byte>&)> Apply;
      Integer Width;
    } damages[] = {
        {"cut at a third", good.size() / 3, [](std::vector<Byte>& d) { d.resize(d.size() / 3); }, 517},
        {"cut near the end", good.size() - 5, [](std::vector<Byte>& d) { d.resize(d.size() - 5); }, 517},
        {"noise", half, [&](std::vector<Byte>& d) {
           unsigned x = 7;
           for (size_t i = half; i < half + 40; ++i) d[i] = Byte((x = x * 1103515245u + 12345u) >> 16);
         }, 517},
        {"zeros", half, [&](std::vector<Byte>& d) { std::fill(d.begin() + long(half), d.begin() + long(half + 40), 0); }, 517},
        {"rows too long", 0, [](std::vector<Byte>&) {}, 300},
        {"rows too short", 0, [](std::vector<Byte>&) {}, 700},
    };
    for (const Damage& dmg : damages) {
      SCOPED_TRACE(std::string(ModeName(mode)) + ": " + dmg.What);
      std::vector<Byte> data = good;
      dmg.Apply(data);
      const auto t0 = std::chrono::steady_clock::now();
      const TDecoded got = decode(mode, data, dmg.Width);
      EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
      EXPECT_NE(got.Fault, "") << "damage decoded as a sound strip";
      Integer kept = 0;
      for (size_t y = 0; y < img.Data.size() && sound.EndBits[y] + 8 <= Int64(dmg.From) * 8; ++y, ++kept)
        EXPECT_EQ(got.Shown[y], img.Data[y]) << "row " << y << " before the damage";
      if (dmg.From > 0) {
        EXPECT_GT(kept, 2);
      }
    }
  }
  // Noise alone, a megabyte of it, in rows wider than any fax: every coder ends each row in
  // time and the strip's position never passes the data.
  std::vector<Byte> noise(1 << 20);
  unsigned x = 99;
  for (Byte& b : noise) b = Byte((x = x * 1103515245u + 12345u) >> 16);
  for (bool fill : {false, true}) {
    const Integer width = 60000;
    std::vector<Byte> row(size_t(RowBytes(width))), ref(row.size(), 0xFF);
    const auto t0 = std::chrono::steady_clock::now();
    Int64 bit2 = 0, bit1 = 0, pos = 0;
    for (Integer y = 0; y < 200; ++y) {
      bit2 = IECCITTDecode2DRow(row.data(), noise.data(), Int64(noise.size()), width, ref.data(), bit2, 1, fill);
      bit1 = IECCITTDecode1DRow(row.data(), noise.data(), Int64(noise.size()), width, bit1, 2);
      pos += IECCITTDecodeMHRow(row.data(), noise.data() + pos, Int64(noise.size()) - pos, width, 1);
    }
    EXPECT_LE(pos, Int64(noise.size()));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
  }
}

// The library's start-up builds the decode trees in its CCITT step and the shutdown frees
// them; a decoder used outside that span still decodes.
TEST(CCITT, DecodesInsideAndOutsideTheLibrarysLifetime) {
  const std::vector<Byte> d = Bits("0111 11 0111");  // a Modified Huffman row: white 2, black 2, white 2
  std::vector<TIEStartupStep> steps;
  IEStartupTrace = [&](TIEStartupStep Step, bool) { steps.push_back(Step); };
  IERegisterCCITTUnit();
  auto decode = [&]() {
    std::vector<Byte> row(1);
    IECCITTDecodeMHRow(row.data(), d.data(), Int64(d.size()), 6, 1);
    return row[0] & 0xFC;
  };
  const bool wasStarted = IELibraryStarted();
  IEInitialize();
  EXPECT_EQ(decode(), 0xCC);
  IEFinalize();
  IEStartupTrace = nullptr;
  if (!wasStarted) {
    EXPECT_EQ(std::count(steps.begin(), steps.end(), iessCCITT), 2);
  }
  EXPECT_EQ(decode(), 0xCC);
  IERegisterStartupStep(iessCCITT, nullptr, nullptr);
}

}  // namespace
