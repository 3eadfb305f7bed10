// Every sensor data decoder against a file written by an encoder made here from the same byte
// layout: the round trip must give back each sample, a truncated copy must be reported, and a
// damaged copy must neither crash nor run out of bounds (the ASan build checks the latter).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>

#include "imaging/formats/raw/ie_raw_decoders.h"
#include "tests/imaging/formats/raw/raw_test_support.h"

namespace {

// What an encoder hands the runner: the file and, for each sample of the image buffer, the value
// the decoder must store (-1: not checked).
struct TEncoded {
  std::vector<Byte> file;
  std::vector<int> expect;
};

struct TDecoderCase {
  const char* name;
  std::function<TEncoded(TRawFixture&)> make;  // sets the sizes, answers the file
  TIERawLoadProc load;
  bool reports_truncation = true;
};

std::vector<int> blank(TRawFixture& f) { return std::vector<int>(f.Image.size(), -1); }
void want(TRawFixture& f, std::vector<int>& e, int row, int col, int v) { e[f.CellIndex(row, col)] = v & 0xFFFF; }

void put16be(std::vector<Byte>& b, size_t at, unsigned v) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = Byte(v >> 8);
  b[at + 1] = Byte(v);
}
void put16le(std::vector<Byte>& b, size_t at, unsigned v) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = Byte(v);
  b[at + 1] = Byte(v >> 8);
}
void put32be(std::vector<Byte>& b, size_t at, Cardinal v) {
  put16be(b, at, v >> 16);
  put16be(b, at + 2, v & 0xFFFF);
}

std::mt19937& rng() {
  static std::mt19937 r(1234);
  return r;
}
int rnd(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng()); }

// ---- encoders of the packed layouts ----

TEncoded canon_interleaved(TRawFixture& f) {
  // An even height: the second field must start at row 1, not be cut after row height.
  f.Size(4, 896, 4, 880);
  TEncoded e{{}, blank(f)};
  const int order[4] = {0, 2, 1, 3};
  long long masked = 0;
  for (int irow = 0; irow < 4; ++irow) {
    int s[896];
    for (int& v : s) v = rnd(0, 1023);
    for (int g = 0; g < 112; ++g) {
      const int* p = s + g * 8;
      const Byte b[10] = {Byte(p[0] >> 2), Byte((p[0] & 3) << 6 | (p[1] & 3) << 4 | (p[2] & 3) << 2 | (p[3] & 3)),
                          Byte(p[1] >> 2), Byte(p[2] >> 2), Byte(p[3] >> 2), Byte(p[4] >> 2), Byte(p[5] >> 2),
                          Byte(p[6] >> 2), Byte(p[7] >> 2),
                          Byte((p[7] & 3) << 6 | (p[6] & 3) << 4 | (p[5] & 3) << 2 | (p[4] & 3))};
      e.file.insert(e.file.end(), b, b + 10);
    }
    for (int c = 0; c < 880; ++c) want(f, e.expect, order[irow], c, s[c] << 4);
    for (int c = 880; c < 896; ++c) masked += s[c];
  }
  return e;
}

TEncoded canon_packed(TRawFixture& f) {
  f.Size(3, 64, 3, 56);
  TEncoded e{{}, blank(f)};
  for (int row = 0; row < 3; ++row) {
    int s[64];
    for (int& v : s) v = rnd(0, 1023);
    for (int g = 0; g < 8; ++g) {
      const int* p = s + g * 8;
      const Byte d[10] = {Byte((p[0] & 3) << 6 | p[1] >> 4), Byte(p[0] >> 2), Byte((p[2] & 63) << 2 | p[3] >> 8),
                          Byte((p[1] & 15) << 4 | p[2] >> 6), Byte(p[4] >> 2), Byte(p[3]),
                          Byte((p[5] & 15) << 4 | p[6] >> 6), Byte((p[4] & 3) << 6 | p[5] >> 4), Byte(p[7]),
                          Byte((p[6] & 63) << 2 | p[7] >> 8)};
      e.file.insert(e.file.end(), d, d + 10);
    }
    for (int c = 0; c < 56; ++c) want(f, e.expect, row, c, s[c] << 4);
  }
  return e;
}

// Nikon 12-bit rows; Model picks the field order, Compression the dropped byte.
TEncoded nikon12(TRawFixture& f, const char* Model, int Compression) {
  f.Size(4, 20, 4, 16);
  f.S->active_left = 2;
  f.S->compression = Compression;
  std::strcpy(f.S->model, Model);
  const bool fields = Model[0] == 'E';
  const bool split = fields && std::atoi(Model + 1) < 5000;
  TEncoded e{{}, blank(f)};
  TBitWriter w[2];
  for (int irow = 0; irow < 4; ++irow) {
    const int row = fields ? irow / 2 + (2 * irow) % 4 : irow;
    TBitWriter& out = w[split && irow >= 2 ? 1 : 0];
    for (int col = 0; col < 20; ++col) {
      const int v = rnd(0, 4095);
      out.Put(v, 12);
      if (col >= 2 && col < 18) want(f, e.expect, row, col - 2, v << 2);
      if (Compression == 34713 && col % 10 == 9) out.Put(0xAB, 8);
    }
  }
  e.file = w[0].Finish();
  if (split) {
    // The second field starts at half the file.
    auto second = w[1].Finish();
    const size_t half = std::max(e.file.size(), second.size());
    e.file.resize(half, 0);
    second.resize(half, 0);
    e.file.insert(e.file.end(), second.begin(), second.end());
  }
  return e;
}

TEncoded swapped12(TRawFixture& f) {
  f.Size(4, 16, 4, 16);
  TEncoded e{{}, blank(f)};
  const int rows[4] = {0, 2, 1, 3};
  for (int i = 0; i < 4; ++i) {
    if (i == 2) e.file.resize(e.file.size() + 424, 0x77);
    for (int g = 0; g < 2; ++g) {
      int s[8];
      for (int& v : s) v = rnd(0, 4095);
      Byte d[12];
      d[3] = Byte(s[0] >> 4);
      d[2] = Byte((s[0] & 15) << 4 | s[1] >> 8);
      d[1] = Byte(s[1]);
      d[0] = Byte(s[2] >> 4);
      d[7] = Byte((s[2] & 15) << 4 | s[3] >> 8);
      d[6] = Byte(s[3]);
      d[5] = Byte(s[4] >> 4);
      d[4] = Byte((s[4] & 15) << 4 | s[5] >> 8);
      d[11] = Byte(s[5]);
      d[10] = Byte(s[6] >> 4);
      d[9] = Byte((s[6] & 15) << 4 | s[7] >> 8);
      d[8] = Byte(s[7]);
      e.file.insert(e.file.end(), d, d + 12);
      for (int k = 0; k < 8; ++k) want(f, e.expect, rows[i], g * 8 + k, s[k] << 2);
    }
  }
  return e;
}

TEncoded coolpix10(TRawFixture& f) {
  f.Size(4, 8, 4, 8);
  TEncoded e{{}, blank(f)};
  const int rows[4] = {0, 2, 1, 3};  // both fields, none written over the other
  TBitWriter w;
  for (int i = 0; i < 4; ++i) {
    for (int c = 0; c < 8; ++c) {
      const int v = rnd(0, 1023);
      w.Put(v, 10);
      want(f, e.expect, rows[i], c, v << 4);
    }
    for (int k = 0; k < 28; ++k) w.Put(0x5C, 8);
  }
  e.file = w.Finish();
  return e;
}

TEncoded rollei10(TRawFixture& f) {
  f.Size(4, 8, 3, 6);
  f.S->active_top = 1;
  f.S->active_left = 1;
  TEncoded e{{}, blank(f)};
  std::vector<int> s(32);
  for (int& v : s) v = rnd(0, 1023);
  int six = 20;
  for (int run = 0; run < 4; ++run) {
    const Cardinal store = Cardinal(s[six]) << 20 | Cardinal(s[six + 1]) << 10 | Cardinal(s[six + 2]);
    six += 3;
    for (int k = 0; k < 5; ++k) {
      const unsigned chunk = (store >> (24 - 6 * k)) & 63;
      const unsigned word = chunk << 10 | unsigned(s[run * 5 + k]);
      e.file.push_back(Byte(word >> 8));
      e.file.push_back(Byte(word));
    }
  }
  for (int i = 0; i < 32; ++i) {
    const int row = i / 8 - 1, col = i % 8 - 1;
    if (row >= 0 && row < 3 && col >= 0 && col < 6) want(f, e.expect, row, col, s[i] << 4);
  }
  return e;
}

TEncoded phase_one(TRawFixture& f) {
  f.Size(3, 8, 2, 4);
  f.S->active_top = 1;
  f.S->active_left = 2;
  f.S->order = kRawOrderMotorola;
  TEncoded e{{}, blank(f)};
  const unsigned akey = 0x3C5A, bkey = 0xA1B2;
  const Cardinal x = 3 * 8 * 2;
  put32be(e.file, 8, x);
  put16be(e.file, 12 + x + 296, akey);
  put16be(e.file, 12 + x + 296 + 2, bkey);
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 8; col += 2) {
      const unsigned first = rnd(0, 65535), second = rnd(0, 65535);
      const unsigned xv = (first & 0x5555) | (second & 0xAAAA), yv = (first & 0xAAAA) | (second & 0x5555);
      put16be(e.file, 12 + (row * 8 + col) * 2, xv ^ akey);
      put16be(e.file, 12 + (row * 8 + col + 1) * 2, yv ^ bkey);
      for (int k = 0; k < 2; ++k) {
        const int r = row - 1, c = col + k - 2;
        if (r >= 0 && r < 2 && c >= 0 && c < 4) want(f, e.expect, r, c, k ? second : first);
      }
    }
  return e;
}

TEncoded imacon(TRawFixture& f) {
  f.Size(3, 6, 3, 6);
  TEncoded e{std::vector<Byte>(49384 + 3 * 8180, 0), blank(f)};
  for (int i = 0; i < 3; ++i)
    for (int k = 0; k < 6; ++k) {
      const int v = rnd(0, 65535);
      put16le(e.file, 49384 + i * 8180 + k * 2, v);
      want(f, e.expect, 2 - i, 5 - k, v);
    }
  return e;
}

TEncoded packed12(TRawFixture& f, int SensorBytes) {
  f.Size(3, SensorBytes, 3, 8);
  TEncoded e{{}, blank(f)};
  TBitWriter w;
  for (int row = 0; row < 3; ++row) {
    for (int c = 0; c < 8; ++c) {
      const int v = rnd(0, 4095);
      w.Put(v, 12);
      want(f, e.expect, row, c, v << 2);
    }
    for (int k = 12; k < SensorBytes; ++k) w.Put(0xEE, 8);
  }
  e.file = w.Finish();
  return e;
}

TEncoded unpacked(TRawFixture& f, bool BigEndian, int Shift) {
  f.Size(3, 6, 3, 5);
  TEncoded e{{}, blank(f)};
  for (int row = 0; row < 3; ++row)
    for (int c = 0; c < 6; ++c) {
      const int v = rnd(0, Shift < 0 ? (65535 >> -Shift) : 65535);
      BigEndian ? put16be(e.file, (row * 6 + c) * 2, v) : put16le(e.file, (row * 6 + c) * 2, v);
      if (c < 5) want(f, e.expect, row, c, Shift < 0 ? v << -Shift : v >> Shift);
    }
  return e;
}

TEncoded olympus(TRawFixture& f) {
  f.Size(4, 8, 4, 8);
  f.S->data_offset = 100;
  TEncoded e{std::vector<Byte>(100, 0x11), blank(f)};
  const int rows[4] = {0, 2, 1, 3};
  TBitWriter w[2];
  for (int i = 0; i < 4; ++i)
    for (int c = 0; c < 8; ++c) {
      const int v = rnd(0, 4095);
      w[i / 2].Put(v, 12);
      want(f, e.expect, rows[i], c, v << 2);
    }
  auto a = w[0].Finish(), b = w[1].Finish();
  e.file.insert(e.file.end(), a.begin(), a.end());
  e.file.resize(100 + 2048, 0x22);  // each field starts on a 2048-byte boundary after the offset
  e.file.insert(e.file.end(), b.begin(), b.end());
  return e;
}

TEncoded eight_bit(TRawFixture& f) {
  f.Size(3, 6, 3, 5);
  TEncoded e{{}, blank(f)};
  for (int row = 0; row < 3; ++row)
    for (int c = 0; c < 6; ++c) {
      const int v = rnd(0, 255);
      e.file.push_back(Byte(v));
      if (c < 5) want(f, e.expect, row, c, v << 6);
    }
  return e;
}

TEncoded casio(TRawFixture& f) {
  f.Size(2, 12, 2, 12);
  TEncoded e{{}, blank(f)};
  for (int row = 0; row < 2; ++row) {
    std::vector<Byte> r(3232, 0);
    for (int g = 0; g < 3; ++g) {
      int s[4];
      for (int& v : s) v = rnd(0, 1023);
      Byte* d = &r[g * 5];
      d[0] = Byte(s[0] >> 2);
      d[1] = Byte((s[0] & 3) << 6 | s[1] >> 4);
      d[2] = Byte((s[1] & 15) << 4 | s[2] >> 6);
      d[3] = Byte((s[2] & 63) << 2 | s[3] >> 8);
      d[4] = Byte(s[3]);
      for (int k = 0; k < 4; ++k) want(f, e.expect, row, g * 4 + k, s[k] << 4);
    }
    e.file.insert(e.file.end(), r.begin(), r.end());
  }
  return e;
}

TEncoded nucore(TRawFixture& f, const char* Model, int Width) {
  f.Size(4, Width, 4, Width);
  std::strcpy(f.S->model, Model);
  TEncoded e{{}, blank(f)};
  const bool reordered = Model[0] == 'B' && Width == 2598;
  const int rows[4] = {3, 1, 2, 0};
  for (int i = 0; i < 4; ++i)
    for (int c = 0; c < Width; ++c) {
      const int v = rnd(0, 16383);
      put16le(e.file, (size_t(i) * Width + c) * 2, v);
      want(f, e.expect, reordered ? rows[i] : i, c, v << 2);
    }
  return e;
}

// The Fuji diagonal layouts: a window of the diamond is checked, cells outside the buffer are
// dropped by the decoder.
TEncoded fuji(TRawFixture& f, int Skip, int Rows, int Samples, bool BigEndian, int Shift,
              std::function<std::pair<int, int>(int, int)> Where, int First, int Count) {
  f.Size(1200, 2300, 1200, 2300);
  TEncoded e{std::vector<Byte>(size_t(Skip) + size_t(Rows) * Samples * 2), blank(f)};
  for (int i = 0; i < Rows; ++i)
    for (int j = 0; j < Samples; ++j) {
      const int v = (i * 7 + j * 13) & 0x3FFF;
      const size_t at = Skip + (size_t(i) * Samples + j) * 2;
      BigEndian ? put16be(e.file, at, v) : put16le(e.file, at, v);
      if (j >= First && j < First + Count) {
        auto [r, c] = Where(i, j - First);
        if (r >= 0 && c >= 0 && r < 1200 && c < 2300) want(f, e.expect, r, c, v << Shift);
      }
    }
  return e;
}

// ---- Kodak ----

std::vector<Byte> kodak_header_with_curve(int Entries, std::vector<Word>& Curve, int CurveAt) {
  std::vector<Byte> b(CurveAt + Entries * 2, 0);
  put16be(b, 12, 1);
  put16be(b, 14, 0x090D);
  put16be(b, 16, 3);
  put32be(b, 18, Entries);
  put32be(b, 22, CurveAt);
  Curve.assign(4096, 0);
  for (int i = 0; i < 4096; ++i) Curve[i] = Word(i < Entries ? i * 3 + 5 : (Entries ? Entries * 3 + 2 : i));
  for (int i = 0; i < Entries; ++i) put16be(b, CurveAt + i * 2, Curve[i]);
  if (Entries == 0)
    for (int i = 0; i < 4096; ++i) Curve[i] = Word(i);
  return b;
}

TEncoded kodak_easy(TRawFixture& f, int Entries) {
  f.Size(3, 8, 3, 6);
  std::strcpy(f.S->make, "KODAK");
  std::strcpy(f.S->model, "DC50");
  f.S->order = kRawOrderMotorola;
  std::vector<Word> curve;
  TEncoded e{kodak_header_with_curve(Entries, curve, 64), blank(f)};
  f.S->data_offset = static_cast<Integer>(e.file.size());
  for (int row = 0; row < 3; ++row)
    for (int c = 0; c < 8; ++c) {
      const int v = rnd(0, 255);
      e.file.push_back(Byte(v));
      if (c < 6) want(f, e.expect, row, c, curve[v] << 2);
    }
  return e;
}

TEncoded dc120_shuffled(TRawFixture& f) {
  f.Size(5, 848, 5, 848);
  TEncoded e{std::vector<Byte>(5 * 848), blank(f)};
  const int m[4] = {162, 192, 187, 92}, a[4] = {0, 636, 424, 212};
  for (int r = 0; r < 5; ++r)
    for (int c = 0; c < 848; ++c) {
      const int v = rnd(0, 255);
      e.file[r * 848 + (c + r * m[r % 4] + a[r % 4]) % 848] = Byte(v);
      want(f, e.expect, r, c, v << 6);
    }
  return e;
}

// Packed differences: code lengths as nibbles, then the bits low end first in 16-bit big-endian
// pairs of a little-endian 32-bit word, as the decoder's store takes them.
struct TLowBits {
  std::vector<int> bits;
  void put(Cardinal v, int n) {
    for (int i = 0; i < n; ++i) bits.push_back((v >> i) & 1);
  }
  void emit(std::vector<Byte>& out, int len) {
    size_t at = 0;
    auto take = [&](int n) {
      Cardinal v = 0;
      for (int i = 0; i < n; ++i, ++at) v |= Cardinal(at < bits.size() ? bits[at] : 0) << i;
      return v;
    };
    if (len % 8 == 4) {
      const Cardinal p = take(16);
      out.push_back(Byte(p >> 8));
      out.push_back(Byte(p));
    }
    while (at < bits.size()) {
      const Cardinal c = take(32);
      out.push_back(Byte(c >> 8));
      out.push_back(Byte(c));
      out.push_back(Byte(c >> 24));
      out.push_back(Byte(c >> 16));
    }
    bits.clear();
  }
};

TEncoded kodak_packed_diff(TRawFixture& f) {
  f.Size(2, 300, 2, 300);
  TEncoded e{{}, blank(f)};
  for (int row = 0; row < 2; ++row)
    for (int start = 0; start < 300; start += 256) {
      const int len = std::min(256, 300 - start);
      std::vector<int> v(len);
      for (int& x : v) x = rnd(0, 4095);
      if (row == 1 && start == 0) {
        // Stored uncompressed: a top nibble above 12 in the first word says so.
        v[0] = 0xD00 | (v[0] & 0xFF);
        for (int g = 0; g < len; g += 8) {
          int s[8];
          for (int k = 0; k < 8; ++k) s[k] = g + k < len ? v[g + k] : 0;
          const int words[6] = {(s[0] >> 8) << 12 | s[2], (s[1] >> 8) << 12 | s[3], ((s[0] >> 4) & 15) << 12 | s[4],
                                ((s[1] >> 4) & 15) << 12 | s[5], (s[0] & 15) << 12 | s[6], (s[1] & 15) << 12 | s[7]};
          for (int wv : words) {
            e.file.push_back(Byte(wv >> 8));
            e.file.push_back(Byte(wv));
          }
        }
      } else {
        int pred[2] = {0, 0};
        std::vector<int> lens(len);
        TLowBits bits;
        for (int k = 0; k < len; ++k) {
          const int d = v[k] - pred[k & 1];
          pred[k & 1] = v[k];
          lens[k] = DiffLength(d);
          bits.put(DiffBits(d, lens[k]), lens[k]);
        }
        for (int k = 0; k < len; k += 2) e.file.push_back(Byte(lens[k] | (k + 1 < len ? lens[k + 1] << 4 : 0)));
        bits.emit(e.file, len);
      }
      for (int k = 0; k < len; ++k) want(f, e.expect, row, start + k, v[k] << 2);
    }
  return e;
}

TEncoded kodak_ycc(TRawFixture& f) {
  f.Size(2, 4, 2, 4, 0);
  TEncoded e{{}, blank(f)};
  std::vector<int> lens;
  TLowBits bits;
  std::vector<std::array<int, 6>> diffs;
  int y1 = 0, y3 = 0, cb = 0, cr = 0;
  for (int col = 0; col < 4; col += 2) {
    int y[4];
    for (int& v : y) v = rnd(200, 3000);
    const int ncb = rnd(-150, 150), ncr = rnd(-150, 150);
    const std::array<int, 6> d = {y[0] - y1, y[1] - y[0], y[2] - y3, y[3] - y[2], ncb - cb, ncr - cr};
    y1 = y[1];
    y3 = y[3];
    cb = ncb;
    cr = ncr;
    for (int k : d) {
      lens.push_back(DiffLength(k));
      bits.put(DiffBits(k, lens.back()), lens.back());
    }
    for (int i = 0; i < 4; ++i) {
      const int rgb[3] = {y[i] + cr, y[i], y[i] + cb};
      for (int c = 0; c < 3; ++c)
        e.expect[((i >> 1) * 4 + col + (i & 1)) * 4 + c] = rgb[c] > 0 ? std::min(rgb[c], 4095) << 2 : 0;
    }
  }
  const int len = (4 * 3 + 3) & ~3;
  lens.resize(len, 0);
  for (int k = 0; k < len; k += 2) e.file.push_back(Byte(lens[k] | lens[k + 1] << 4));
  bits.emit(e.file, len);
  return e;
}

// ---- entropy-coded ----

// A second tree for the Canon coding: every run of 0..15 zeros with every length 1..11, the run
// of 16 zeros and the end of the block, all 8 bits long.
std::vector<Byte> canon_second_tree() {
  std::vector<Byte> t(16, 0);
  for (int run = 0; run < 16; ++run)
    for (int len = 1; len <= 11; ++len) t.push_back(Byte(run << 4 | len));
  t.push_back(0x00);
  t.push_back(0xF0);
  t[7] = Byte(t.size() - 16);
  return t;
}

TEncoded canon_crw(TRawFixture& f, bool LowBits) {
  const int SH = 16, SW = 16, W = 14;
  f.Size(SH, SW, SH, W);
  const auto second = canon_second_tree();
  canon_huffman_tables(*f.S, 1, second.data(), static_cast<Integer>(second.size()));
  const auto c1 = HuffmanCodes(canon_first_tree_source(1)), c2 = HuffmanCodes(second.data());
  TEncoded e{std::vector<Byte>(540, 0), blank(f)};
  std::vector<int> hi(SH * SW), lo(SH * SW);
  for (int& v : hi) v = rnd(0, 1023);
  for (int& v : lo) v = rnd(0, 3);
  TBitWriter w;
  w.Stuff = true;
  int base[2] = {512, 512}, carry = 0;
  long pnum = 0;
  for (int band = 0; band < SH; band += 8)
    for (int block = 0; block < SW / 8; ++block) {
      int diff[64];
      for (int i = 0; i < 64; ++i) {
        if (pnum++ % SW == 0) base[0] = base[1] = 512;
        const int v = hi[band * SW + block * 64 + i];
        diff[i] = v - base[i & 1];
        base[i & 1] = v;
      }
      const int d0 = diff[0] - carry;
      carry = diff[0];
      const int n0 = DiffLength(d0);
      w.Put(c1.at(n0).first, c1.at(n0).second);
      w.Put(DiffBits(d0, n0), n0);
      int i = 1;
      while (i < 64) {
        int t = i;
        while (t < 64 && diff[t] == 0) ++t;
        if (t == 64) {
          w.Put(c2.at(0).first, c2.at(0).second);
          break;
        }
        while (t - i > 15) {
          w.Put(c2.at(0xF0).first, c2.at(0xF0).second);
          i += 16;
        }
        const int n = DiffLength(diff[t]);
        const int sym = (t - i) << 4 | n;
        w.Put(c2.at(sym).first, c2.at(sym).second);
        w.Put(DiffBits(diff[t], n), n);
        i = t + 1;
      }
    }
  auto data = w.Finish();
  if (LowBits) {
    e.file.resize(540 + SH * SW / 4, 0);
    e.file[540] = 0xFF;
    e.file[541] = 0x01;
    for (int k = 0; k < SH * SW / 4; ++k) {
      Byte c = 0;
      for (int j = 0; j < 4; ++j) c |= Byte(lo[k * 4 + j] << (2 * j));
      e.file[26 + k] = c;
    }
  }
  e.file.insert(e.file.end(), data.begin(), data.end());
  e.file.push_back(0xFF);
  e.file.push_back(0x00);
  for (int r = 0; r < SH; ++r)
    for (int c = 0; c < W; ++c) {
      const int v = LowBits ? (hi[r * SW + c] << 2 | lo[r * SW + c]) << 2 : hi[r * SW + c] << 4;
      want(f, e.expect, r, c, v);
    }
  return e;
}

// A lossless JPEG of two interleaved tables; Tables picks one table segment or two.
std::vector<Byte> lossless_tables(bool TwoSegments, bool SecondTable = true) {
  std::vector<Byte> t;
  auto table = [&](Byte id) {
    t.push_back(id);
    for (int i = 0; i < 16; ++i) t.push_back(i == 3 ? 13 : 0);
    for (int s = 0; s <= 12; ++s) t.push_back(Byte(s));
  };
  std::vector<Byte> out = {0xFF, 0xC4, 0, 0};
  table(0);
  if (SecondTable && TwoSegments) {
    put16be(out, 2, Cardinal(t.size() + 2));
    out.insert(out.end(), t.begin(), t.end());
    t.clear();
    out.insert(out.end(), {0xFF, 0xC4, 0, 0});
    table(1);
    put16be(out, out.size() - 2, Cardinal(t.size() + 2));
    out.insert(out.end(), t.begin(), t.end());
    return out;
  }
  if (SecondTable) table(1);
  put16be(out, 2, Cardinal(t.size() + 2));
  out.insert(out.end(), t.begin(), t.end());
  return out;
}

TEncoded lossless(TRawFixture& f, bool TwoSegments, const char* Make) {
  const int rows = 3, spr = 8;
  f.Size(rows, spr, rows, 6);
  std::strcpy(f.S->make, Make);
  TEncoded e{{0xFF, 0xD8, 0xFF, 0xC3, 0, 7, 12, 0, rows, 0, spr / 2}, blank(f)};
  const auto tables = lossless_tables(TwoSegments);
  e.file.insert(e.file.end(), tables.begin(), tables.end());
  e.file.insert(e.file.end(), {0xFF, 0xDA, 0, 4, 1, 0});
  Byte codes[29] = {0, 0, 0, 13};
  for (int s = 0; s <= 12; ++s) codes[16 + s] = Byte(s);
  const auto c = HuffmanCodes(codes);
  TBitWriter w;
  w.Stuff = true;
  int vpred[2] = {2048, 2048}, hpred[2] = {0, 0};
  int smallest = 1 << 30;
  long long black = 0;
  for (int row = 0; row < rows; ++row)
    for (int j = 0; j < spr; ++j) {
      const int v = rnd(0, 4095);
      int d;
      if (j < 2) {
        d = v - vpred[j];
        vpred[j] = hpred[j] = v;
      } else {
        d = v - hpred[j & 1];
        hpred[j & 1] = v;
      }
      const int n = DiffLength(d);
      w.Put(c.at(n).first, c.at(n).second);
      w.Put(DiffBits(d, n), n);
      if (j < 6) {
        want(f, e.expect, row, j, v << 2);
        smallest = std::min(smallest, v);
      } else {
        black += v;
      }
    }
  const auto data = w.Finish();
  e.file.insert(e.file.end(), data.begin(), data.end());
  (void)smallest;
  (void)black;
  return e;
}

TEncoded nikon_compressed(TRawFixture& f, int CurveEntries) {
  f.Size(3, 8, 3, 6);
  f.S->active_left = 1;
  f.S->order = kRawOrderMotorola;
  f.S->tone_curve_start = 16;
  TEncoded e{std::vector<Byte>(16, 0), blank(f)};
  int vpred[4];
  for (int& v : vpred) v = rnd(0, 4095);
  for (int k = 0; k < 4; ++k) put16be(e.file, 16 + k * 2, vpred[k]);
  put16be(e.file, 24, CurveEntries);
  const int n = CurveEntries ? CurveEntries : 4096;
  std::vector<int> curve(n);
  for (int i = 0; i < n; ++i) curve[i] = CurveEntries ? (i * 5 + 3) & 0x3FFF : i;
  for (int i = 0; i < CurveEntries; ++i) put16be(e.file, 26 + i * 2, curve[i]);
  f.S->data_offset = static_cast<Integer>(e.file.size());
  const auto codes = HuffmanCodes(nikon_tree_source());
  TBitWriter w;
  for (int row = 0; row < 3; ++row) {
    int hpred[2] = {0, 0};
    for (int col = 0; col < 8; ++col) {
      const int v = rnd(0, n - 1);
      int& pred = col < 2 ? vpred[2 * (row & 1) + col] : hpred[col & 1];
      const int d = v - pred;
      pred = v;
      if (col < 2) hpred[col] = v;
      const int len = DiffLength(d);
      w.Put(codes.at(len).first, codes.at(len).second);
      w.Put(DiffBits(d, len), len);
      if (col >= 1 && col < 7) want(f, e.expect, row, col - 1, curve[v] << 2);
    }
  }
  const auto data = w.Finish();
  e.file.insert(e.file.end(), data.begin(), data.end());
  return e;
}

TEncoded sigma(TRawFixture& f) {
  f.Size(4, 5, 3, 4, 0);
  f.S->active_top = 1;
  f.S->active_left = 1;
  f.S->order = kRawOrderMotorola;
  TEncoded e{std::vector<Byte>(260 + 1024 * 6, 0), blank(f)};
  const int diffs[16] = {-300, -100, -30, -10, -3, -1, 0, 1, 3, 10, 30, 100, 300, 1000, 2000, 5};
  for (int i = 0; i < 16; ++i) {
    put16be(e.file, 260 + i * 2, Cardinal(diffs[i]) & 0xFFFF);
    put32be(e.file, 260 + 2048 + i * 4, (4u << 27) | Cardinal(i));
  }
  for (int row = 0; row < 4; ++row) {
    TBitWriter w;
    int pred[3] = {0, 0, 0};
    for (int col = 0; col < 5; ++col) {
      for (int c = 0; c < 3; ++c) {
        const int sym = col == 0 ? rnd(9, 14) : rnd(0, 15);
        w.Put(sym, 4);
        pred[c] = SmallInt(pred[c] + diffs[sym]);
      }
      if (row >= 1 && col >= 1)
        for (int c = 0; c < 3; ++c) e.expect[((row - 1) * 4 + col - 1) * 4 + c] = pred[c] > 0 ? pred[c] : -1;
    }
    const size_t bits = w.Bytes.size() * 8 + w.Count;
    auto data = w.Finish();
    data.resize((data.size() + 3) / 4 * 4, 0);
    if (bits % 32 == 0) data.resize(data.size() + 4, 0);  // the spare word after a full one
    e.file.insert(e.file.end(), data.begin(), data.end());
  }
  return e;
}

TEncoded sony(TRawFixture& f) {
  const int SW = 3360, H = 2, W = 3300, left = 10;
  f.Size(H, SW, H, W);
  f.S->active_left = left;
  TEncoded e{std::vector<Byte>(862144 + H * SW * 2, 0), blank(f)};
  const Byte skip = 3;
  e.file[200896] = skip;
  const Cardinal key = 0x12345678, key2 = 0x9ABCDEF0;
  put32be(e.file, 200896 + 4 * skip, key);
  // The head decrypts to bytes holding the second key (little-endian at 22).
  Byte head[40] = {};
  for (int k = 0; k < 4; ++k) head[22 + k] = Byte(key2 >> (8 * k));
  auto xor_le = [&](Byte* data, int words, bool start, Cardinal k) {
    std::vector<Cardinal> w(words);
    for (int i = 0; i < words; ++i) std::memcpy(&w[i], data + 4 * i, 4);  // the camera's little-endian words
    sony_keystream_xor(*f.S, w.data(), words, start, k);
    for (int i = 0; i < words; ++i) std::memcpy(data + 4 * i, &w[i], 4);
  };
  xor_le(head, 10, true, key);
  std::memcpy(&e.file[164600], head, 40);
  for (int row = 0; row < H; ++row) {
    std::vector<Byte> r(SW * 2);
    for (int col = 0; col < SW; ++col) {
      const int v = rnd(0, 65535);
      put16be(r, col * 2, v);
      if (col >= left && col - left < W) want(f, e.expect, row, col - left, v);
    }
    xor_le(r.data(), SW / 2, row == 0, key2);
    std::memcpy(&e.file[862144 + row * SW * 2], r.data(), r.size());
  }
  return e;
}

const TDecoderCase kCases[] = {
    {"canon_10bit_interleaved", canon_interleaved, canon_10bit_interleaved_load_raw},
    {"canon_10bit_packed", canon_packed, canon_10bit_packed_load_raw},
    {"nikon_12bit", [](TRawFixture& f) { return nikon12(f, "D1", 0); }, nikon_12bit_load_raw},
    {"nikon_12bit_dropped_bytes", [](TRawFixture& f) { return nikon12(f, "D1H", 34713); }, nikon_12bit_load_raw},
    {"nikon_12bit_fields", [](TRawFixture& f) { return nikon12(f, "E5700", 0); }, nikon_12bit_load_raw},
    {"nikon_12bit_split_fields", [](TRawFixture& f) { return nikon12(f, "E990", 0); }, nikon_12bit_load_raw},
    {"swapped_12bit", swapped12, swapped_12bit_load_raw},
    {"coolpix_10bit", coolpix10, coolpix_10bit_load_raw},
    {"rollei_10bit", rollei10, rollei_10bit_load_raw, false},
    {"phase_one_masked", phase_one, phase_one_masked_load_raw},
    {"imacon_reversed", imacon, imacon_reversed_load_raw},
    {"packed_12bit", [](TRawFixture& f) { return packed12(f, 14); }, packed_12bit_load_raw},
    {"packed_12bit_short_rows", [](TRawFixture& f) { return packed12(f, 10); }, packed_12bit_load_raw},
    {"unpacked_mm_left2", [](TRawFixture& f) { return unpacked(f, true, -2); }, unpacked_mm_left2_load_raw},
    {"unpacked_mm_left4", [](TRawFixture& f) { return unpacked(f, true, -4); }, unpacked_mm_left4_load_raw},
    {"unpacked_mm", [](TRawFixture& f) { return unpacked(f, true, 0); }, unpacked_mm_load_raw},
    {"unpacked_mm_right2", [](TRawFixture& f) { return unpacked(f, true, 2); }, unpacked_mm_right2_load_raw},
    {"unpacked_ii_right2", [](TRawFixture& f) { return unpacked(f, false, 2); }, unpacked_ii_right2_load_raw},
    {"olympus_interlaced", olympus, olympus_interlaced_load_raw},
    {"eight_bit", eight_bit, eight_bit_load_raw},
    {"casio_10bit", casio, casio_10bit_load_raw},
    {"nucore", [](TRawFixture& f) { return nucore(f, "RAW", 5); }, nucore_load_raw},
    {"nucore_reordered", [](TRawFixture& f) { return nucore(f, "BMQ", 2598); }, nucore_load_raw},
    {"fuji_s2_diagonal",
     [](TRawFixture& f) {
       return fuji(f, 141376, 2144, 2944, true, 2, [](int i, int j) { return std::pair{(j + 1) / 2 + i, j / 2 - i + 2143}; }, 0, 2880);
     },
     fuji_s2_diagonal_load_raw},
    {"fuji_s5000_diagonal",
     [](TRawFixture& f) {
       return fuji(f, 11824, 2152, 1472, false, 2, [](int r, int c) { return std::pair{1423 - c + r / 2, c + (r + 1) / 2}; }, 0, 1424);
     },
     fuji_s5000_diagonal_load_raw},
    {"fuji_s7000_diagonal",
     [](TRawFixture& f) {
       return fuji(f, 0, 3080, 2048, false, 2, [](int r, int c) { return std::pair{2047 - c + r / 2, c + (r + 1) / 2}; }, 0, 2048);
     },
     fuji_s7000_diagonal_load_raw},
    {"fuji_f700_diagonal",
     [](TRawFixture& f) {
       return fuji(f, 0, 2168, 2944, false, 0, [](int i, int j) { return std::pair{i / 2 - j + 1439, j + (i + 1) / 2}; }, 16, 1440);
     },
     fuji_f700_diagonal_load_raw},
    {"kodak_easy", [](TRawFixture& f) { return kodak_easy(f, 300); }, kodak_easy_load_raw},
    {"kodak_dc120_shuffled", dc120_shuffled, kodak_dc120_shuffled_load_raw},
    {"kodak_packed_diff", kodak_packed_diff, kodak_packed_diff_load_raw},
    {"kodak_ycc", kodak_ycc, kodak_ycc_load_raw},
    // Cutting this file also cuts the FF 00 pair after the data that tells it has no low bits, so
    // the cut copy reads as another layout; the low-bits variant below covers the truncation.
    {"canon_compressed", [](TRawFixture& f) { return canon_crw(f, false); }, canon_compressed_load_raw, false},
    {"canon_compressed_low_bits", [](TRawFixture& f) { return canon_crw(f, true); }, canon_compressed_load_raw},
    {"lossless_huffman", [](TRawFixture& f) { return lossless(f, false, "Canon"); }, lossless_huffman_load_raw},
    {"lossless_huffman_two_table_segments", [](TRawFixture& f) { return lossless(f, true, "Canon"); },
     lossless_huffman_load_raw},
    {"nikon_compressed", [](TRawFixture& f) { return nikon_compressed(f, 4096); }, nikon_compressed_load_raw},
    {"sigma_huffman", sigma, sigma_huffman_load_raw},
    {"sony_f828", sony, sony_f828_load_raw},
};

void PrintTo(const TDecoderCase& c, std::ostream* os) { *os << c.name; }

class RawDecoders : public ::testing::TestWithParam<TDecoderCase> {};

TEST_P(RawDecoders, RoundTrip) {
  const TDecoderCase& c = GetParam();
  TRawFixture f({});
  const TEncoded e = c.make(f);
  f.SetData(e.file);
  c.load(*f.S);
  EXPECT_FALSE(f.Aborting) << f.Reason;
  size_t wrong = 0, checked = 0;
  for (size_t i = 0; i < e.expect.size(); ++i) {
    if (e.expect[i] < 0) continue;
    ++checked;
    if (f.Image[i] != e.expect[i] && wrong++ < 5)
      ADD_FAILURE() << c.name << ": sample " << i << " (pixel " << i / 4 / f.S->out_width << ", " << i / 4 % f.S->out_width
                    << ", channel " << i % 4 << ") is " << f.Image[i] << ", want " << e.expect[i];
  }
  EXPECT_GT(checked, 0u);
  EXPECT_EQ(wrong, 0u);
}

// Layouts that end where the file ends, or whose cut copy reads as another layout, have no
// truncation of their own to report.
std::vector<TDecoderCase> TruncationCases() {
  std::vector<TDecoderCase> out;
  for (const TDecoderCase& c : kCases)
    if (c.reports_truncation) out.push_back(c);
  return out;
}

class RawDecodersCut : public ::testing::TestWithParam<TDecoderCase> {};

TEST_P(RawDecodersCut, TruncatedFileIsReported) {
  const TDecoderCase& c = GetParam();
  TRawFixture f({});
  TEncoded e = c.make(f);
  e.file.resize(e.file.size() * 3 / 4);
  f.SetData(e.file);
  c.load(*f.S);
  EXPECT_TRUE(f.Aborting);
  EXPECT_NE(f.Reason.find("ends early"), std::string::npos) << f.Reason;
}

TEST_P(RawDecoders, DamagedFileStaysInBounds) {
  const TDecoderCase& c = GetParam();
  for (int seed = 0; seed < 3; ++seed) {
    TRawFixture f({});
    TEncoded e = c.make(f);
    std::mt19937 r(seed);
    for (size_t i = 0; i < e.file.size(); i += 1 + r() % 13) e.file[i] ^= Byte(1 + r() % 255);
    f.SetData(e.file);
    try {
      c.load(*f.S);
    } catch (const EIERawError&) {
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, RawDecoders, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<TDecoderCase>& i) { return std::string(i.param.name); });
INSTANTIATE_TEST_SUITE_P(Layouts, RawDecodersCut, ::testing::ValuesIn(TruncationCases()),
                         [](const ::testing::TestParamInfo<TDecoderCase>& i) { return std::string(i.param.name); });


// ---- faults and refusals ----

TEST(RawDecoderFaults, MissingHuffmanTableIsRefused) {
  // Only table 0 is defined but the rows interleave two.
  TRawFixture f({});
  f.Size(2, 8, 2, 8);
  std::vector<Byte> file = {0xFF, 0xD8, 0xFF, 0xC3, 0, 7, 12, 0, 2, 0, 4};
  const auto tables = lossless_tables(false, false);
  file.insert(file.end(), tables.begin(), tables.end());
  file.insert(file.end(), {0xFF, 0xDA, 0, 4, 1, 0, 0x12, 0x34, 0x56});
  f.SetData(file);
  try {
    lossless_huffman_load_raw(*f.S);
    FAIL() << "decoded without a table";
  } catch (const EIERawError& e) {
    EXPECT_EQ(e.Message, ": Huffman table not defined");
  }
}

TEST(RawDecoderFaults, MalformedLosslessStreamsAreReported) {
  const std::vector<std::vector<Byte>> files = {
      {0x12, 0x34, 0xFF, 0xC3},                          // no start of image
      {0xFF, 0xD8, 0xFF, 0xC4, 0x01, 0x02, 0, 0},        // segment of 256 bytes or more
      {0xFF, 0xD8, 0xFF, 0xC4, 0x00, 0x01, 0, 0},        // length below its own two bytes
      {0xFF, 0xD8, 0x12, 0x34, 0x00, 0x04, 0, 0},        // not a marker
      {0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x04, 0, 0, 0, 0},  // no frame size
  };
  for (const auto& file : files) {
    TRawFixture f(file);
    f.Size(2, 8, 2, 8);
    lossless_huffman_load_raw(*f.S);
    EXPECT_TRUE(f.Aborting);
    EXPECT_NE(f.Reason.find("lossless"), std::string::npos) << f.Reason;
    for (Word v : f.Image) EXPECT_EQ(v, 0);
  }
}

TEST(RawDecoderFaults, EmptyToneCurvesKeepLinearValues) {
  {
    // Nikon: a curve of no entries is reported and the samples pass through unmapped.
    TRawFixture f({});
    TEncoded e = nikon_compressed(f, 0);
    f.SetData(e.file);
    nikon_compressed_load_raw(*f.S);
    EXPECT_NE(f.Reason.find("tone curve is empty"), std::string::npos);
    for (size_t i = 0; i < e.expect.size(); ++i) {
      if (e.expect[i] >= 0) {
        EXPECT_EQ(f.Image[i], e.expect[i]) << i;
      }
    }
  }
  {
    // Kodak: a directory entry naming a curve of no entries leaves the identity.
    TRawFixture f({});
    TEncoded e = kodak_easy(f, 0);
    f.SetData(e.file);
    kodak_easy_load_raw(*f.S);
    EXPECT_FALSE(f.Aborting) << f.Reason;
    for (size_t i = 0; i < e.expect.size(); ++i) {
      if (e.expect[i] >= 0) {
        EXPECT_EQ(f.Image[i], e.expect[i]) << i;
      }
    }
  }
}

TEST(RawDecoderFaults, ToneCurveSetsSaturationAndMaskedBlack) {
  TRawFixture f({});
  TEncoded e = kodak_easy(f, 300);
  f.SetData(e.file);
  kodak_easy_load_raw(*f.S);
  EXPECT_EQ(f.S->saturation_level, (299 * 3 + 5) * 4);
  EXPECT_GT(f.S->black, 0);
  TRawFixture g({});
  TEncoded e2 = kodak_easy(g, 300);
  std::strcpy(g.S->model, "DC25");
  g.SetData(e2.file);
  kodak_easy_load_raw(*g.S);
  EXPECT_EQ(g.S->black, 0);
}

TEST(RawDecoderFaults, SizesThatCannotBeAreReportedNotDecoded) {
  struct Case {
    int sh, sw, h, w, top, left;
  };
  const Case cases[] = {{4, -8, 4, 8, 0, 0}, {4, 8, 4, -8, 0, 0}, {4, 8, 0, 8, 0, 0},
                        {4, 8, 4, 8, -1, 0}, {4, 8, 4, 8, 0, -3}, {4, 1 << 20, 4, 8, 0, 0}};
  const TIERawLoadProc procs[] = {canon_10bit_packed_load_raw, packed_12bit_load_raw, unpacked_mm_load_raw,
                                  eight_bit_load_raw, nikon_compressed_load_raw, sony_f828_load_raw};
  for (const Case& c : cases)
    for (TIERawLoadProc load : procs) {
      TRawFixture f(std::vector<Byte>(4096, 0x55));
      f.Size(4, 8, 4, 8);
      f.S->sensor_height = c.sh;
      f.S->sensor_width = c.sw;
      f.S->height = c.h;
      f.S->width = c.w;
      f.S->active_top = c.top;
      f.S->active_left = c.left;
      load(*f.S);
      EXPECT_TRUE(f.Aborting);
      EXPECT_NE(f.Reason.find("sensor size is not valid"), std::string::npos) << f.Reason;
    }
}

TEST(RawDecoderFaults, MaskedBlackNeedsMaskedColumns) {
  // A sensor no wider than the active area has no masked columns: black stays as it was.
  TRawFixture f(std::vector<Byte>(3 * 80, 0x40));
  f.Size(3, 64, 3, 64);
  f.S->black = 7;
  canon_10bit_packed_load_raw(*f.S);
  EXPECT_EQ(f.S->black, 7);
  TRawFixture g({});
  TEncoded e = canon_packed(g);
  g.SetData(e.file);
  canon_10bit_packed_load_raw(*g.S);
  EXPECT_GT(g.S->black, 0);
}

TEST(RawDecoderFaults, CodingsWithoutKnownTablesAreNotSupported) {
  TRawFixture f(std::vector<Byte>(20000, 0));
  f.Size(8, 16, 8, 16);
  canon_huffman_tables(*f.S, 0);
  try {
    canon_compressed_load_raw(*f.S);
    FAIL();
  } catch (const EIERawError& e) {
    EXPECT_NE(e.Message.find("not supported"), std::string::npos);
  }
  try {
    kodak_dc40_load_raw(*f.S);
    FAIL();
  } catch (const EIERawError& e) {
    EXPECT_NE(e.Message.find("not supported"), std::string::npos);
  }
}

TEST(RawDecoderFaults, DecodersReportProgressPerRow) {
  TRawFixture f({});
  TEncoded e = unpacked(f, true, 0);
  f.SetData(e.file);
  std::vector<int> seen;
  f.S->progress.OnProgress = [&](TObject*, Integer p) { seen.push_back(p); };
  unpacked_mm_load_raw(*f.S);
  EXPECT_EQ(seen, (std::vector<int>{0, 16, 33}));
}

}  // namespace
