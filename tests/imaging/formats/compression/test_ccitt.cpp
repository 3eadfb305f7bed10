// The fax coders: strips that libtiff's tools wrote (Modified Huffman, T.4 one- and
// two-dimensional with and without fill, T.6, both fill orders, both photometric senses) decode
// to what tifftopnm shows; strips ours wrote, wrapped in a TIFF by hand, read back through
// tifftopnm as the source, down to rows of a single pixel; damaged strips end in bounded time
// with a reason, the rows before the damage kept and nothing read or written out of bounds.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
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
      case mMH: break;
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

TBilevel TextImage(const std::string& Dir, Integer Width) {
  const std::string pbm = Dir + "/text" + std::to_string(Width) + ".pbm";
  testsupport::RunOk("convert -size " + std::to_string(Width) +
                     "x90 xc:white -fill black -font DejaVu-Sans -pointsize 30 -draw \"text 4,34 'Clavorne Pro: fax 0123456789'\""
                     " -draw \"circle 60,60 80,75\" -draw \"rectangle 300,50 " + std::to_string(Width - 3) +
                     ",58\" -draw \"line 0,89 " + std::to_string(Width) + ",60\" -monochrome " + testsupport::ShellQuote(pbm));
  return ParsePbm(ietest::ReadWholeFile(pbm));
}

TEST(CCITT, DecodesWhatLibtiffWrote) {
  const std::string dir = testsupport::MakeTempDir("ccitt");
  struct Source {
    std::string Name;
    TBilevel Img;
  };
  std::vector<Source> sources = {{"text", TextImage(dir, 997)}, {"ladder", Ladder(5301)}};
  for (Integer w = 1; w <= 9; ++w) sources.push_back({"narrow" + std::to_string(w), Ladder(w)});
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
    for (const std::string& w : writers) {
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

}  // namespace
