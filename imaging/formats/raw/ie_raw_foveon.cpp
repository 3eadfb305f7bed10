// Colour reconstruction of three-layer sensors. The layers' responses overlap and are noisy, so
// the samples are linearised and unmixed, layer 0 is sharpened, each pixel is held to the range
// of its neighbours, the colours are pulled toward a local average, turned into R, G, B, and a
// low-frequency colour cast measured on a quarter-size copy is taken out.
#include <vector>

#include "imaging/formats/raw/ie_raw_decoders.h"

namespace {

const char* const kStage = "foveon_interpolate()";

// Shifts that divide by 2^n and truncate toward zero, negative values included.
inline Int64 tz(Int64 v, Integer n) { return v / (Int64(1) << n); }

// A curve as (value, repeat) runs; expanded to its length followed by its values.
std::vector<short> expand(std::initializer_list<std::pair<short, short>> runs) {
  std::vector<short> out(1, 0);
  for (auto [v, k] : runs)
    for (short i = 0; i < k; ++i) out.push_back(v);
  out[0] = static_cast<short>(out.size() - 1);
  return out;
}

const std::vector<short>& curve_a() {
  static const std::vector<short> c = expand({{0, 1}, {1, 1}, {2, 2}, {3, 1}, {4, 1}, {5, 1}, {6, 2}, {7, 1}, {8, 1},
                                              {9, 2}, {10, 1}, {11, 2}, {12, 1}, {13, 2}, {14, 2}, {15, 1}, {16, 2},
                                              {17, 2}, {18, 3}, {19, 2}, {20, 3}, {21, 3}, {22, 3}, {23, 5}, {24, 5},
                                              {25, 8}, {26, 14}});
  return c;
}
const std::vector<short>& curve_b() {
  static const std::vector<short> c = expand({{0, 1}, {1, 2}, {2, 1}, {3, 2}, {4, 2}, {5, 2}, {6, 3}, {7, 7}});
  return c;
}
const std::vector<short>& curve_c(Integer i) {
  static const std::vector<short> c0 = expand({{0, 1}, {1, 2}, {2, 2}, {3, 1}, {4, 2}, {5, 2}, {6, 2}, {7, 2}, {8, 3},
                                               {9, 2}, {10, 4}, {11, 3}, {12, 6}, {13, 8}, {14, 32}});
  static const std::vector<short> c1 = expand({{0, 1}, {1, 2}, {2, 1}, {3, 2}, {4, 2}, {5, 1}, {6, 2}, {7, 3}, {8, 2},
                                               {9, 3}, {10, 3}, {11, 5}, {12, 9}});
  static const std::vector<short> c2 =
      expand({{0, 1},  {1, 2},  {2, 1},  {3, 2},  {4, 1},  {5, 1},  {6, 2},  {7, 2},  {8, 1},  {9, 2},
              {10, 1}, {11, 2}, {12, 2}, {13, 2}, {14, 2}, {15, 2}, {16, 2}, {17, 2}, {18, 3}, {19, 3},
              {20, 3}, {21, 4}, {22, 5}, {23, 5}, {24, 8}, {25, 12}, {26, 37}});
  return i == 0 ? c0 : i == 1 ? c1 : c2;
}

const Int64 kTransform[3][9] = {
    {4141, 37726, 11265, -30437, 16066, -41102, 326, -413, 362},
    {1770, -1316, 3480, -2139, 213, -4998, -2381, 3496, -2008},
    {-3838, -24025, -12968, 20144, -12195, 30272, -631, -2025, 822},
};
const float kLayerFactor[3] = {1.0321f, 1.0f, 1.1124f};
const Int64 kOutput[3][3] = {{7576, -2933, 1279}, {-11594, 29911, -12394}, {4000, -18850, 20772}};

Int64 clamp64(Int64 v, Int64 lo, Int64 hi) { return v < lo ? lo : v > hi ? hi : v; }

Integer curve(Int64 i, const std::vector<short>& c) { return foveon_apply_curve(static_cast<Integer>(clamp64(i, -0x7FFFFFFF, 0x7FFFFFFF)), c.data()); }

}  // namespace

Integer foveon_apply_curve(Integer i, const short* Curve) {
  const Integer n = Curve[0];
  const short* v = Curve + 1;
  if (i <= -n) return -v[n - 1] - 1;
  if (i < 0) return -v[-i];
  if (i < n) return v[i];
  return v[n - 1] + 1;
}

void foveon_interpolate(TIERawDecoder& S) {
  const Integer h = S.height, w = S.width;
  if (!S.image || h <= 0 || w <= 0 || h > S.out_height || w > S.out_width) return;
  auto px = [&](Integer r, Integer c) { return S.image[static_cast<size_t>(r) * S.out_width + c]; };

  // 1. Linearise and unmix.
  for (Integer r = 0; r < h; ++r) {
    Int64 prev[3];
    for (Integer c = 0; c < 3; ++c) prev[c] = px(r, 0)[c];
    for (Integer x = 0; x < w; ++x) {
      Word* s = px(r, x);
      Int64 p[3], wk[9];
      for (Integer c = 0; c < 3; ++c) {
        const Int64 d = Int64(s[c]) - prev[c];
        prev[c] = s[c];
        const Int64 dd = static_cast<Int64>(static_cast<UInt64>(d * d) / 16384);
        p[c] = s[c] + tz((d + dd) * 13107, 14);
      }
      for (Integer c = 0; c < 3; ++c) wk[c] = tz(p[c] * p[c], 14);
      wk[3] = tz(p[0] * p[1], 14);
      wk[4] = tz(p[2] * p[0], 14);
      wk[5] = tz(p[1] * p[2], 14);
      for (Integer c = 0; c < 3; ++c) wk[6 + c] = tz(p[c] * wk[c], 14);
      for (Integer c = 0; c < 3; ++c) {
        Int64 v = 0;
        for (Integer k = 0; k < 9; ++k) v += kTransform[c][k] * wk[k];
        const double f = static_cast<double>(static_cast<float>(p[c] + tz(v, 14)) * kLayerFactor[c]);
        s[c] = static_cast<Word>(clamp64(f < -1e15 ? -1 : f > 1e15 ? 1e15 : static_cast<Int64>(f), 0, 32000));
      }
    }
  }

  // 2. Sharpen layer 0 against its smoothed value; the ring keeps the horizontal pass of the
  // five rows around the current one, made before those rows are touched.
  if (h >= 5 && w >= 5) {
    std::vector<Integer> ring = raw_work_buffer<Integer>(Int64(5) * w * 3, kStage);
    auto hrow = [&](Integer r) { return ring.data() + (r % 5) * w * 3; };
    auto fill = [&](Integer r) {
      Integer* out = hrow(r);
      for (Integer x = 2; x < w - 2; ++x) {
        const Int64 a = px(r, x - 1)[0] + Int64(px(r, x + 1)[0]);
        out[x] = static_cast<Integer>(tz(a * 4 + Int64(px(r, x)[0]) * 6 + px(r, x - 2)[0] + px(r, x + 2)[0] + 8, 4));
      }
    };
    for (Integer r = 0; r < 4; ++r) fill(r);
    for (Integer r = 2; r < h - 2; ++r) {
      fill(r + 2);
      Int64 mprev = 0;
      for (Integer x = 2; x < w - 2; ++x) {
        const Int64 m = tz((Int64(hrow(r - 1)[x]) + hrow(r + 1)[x]) * 4 + Int64(hrow(r)[x]) * 6 + hrow(r - 2)[x] +
                               hrow(r + 2)[x] + 8,
                           4);
        if (x == 2) mprev = m;
        Word* s = px(r, x);
        const Int64 v = s[0] + tz(s[0] - tz(7 * m + mprev, 3), 2);
        s[0] = static_cast<Word>(clamp64(v, 0, 10000));
        mprev = m;
      }
    }
  }

  // 3. Hold each sample to the range of its eight neighbours.
  if (h >= 3 && w >= 3) {
    for (Integer r = 1; r < h - 1; ++r) {
      Integer left[3];
      for (Integer c = 0; c < 3; ++c) left[c] = px(r, 0)[c];
      for (Integer x = 1; x < w - 1; ++x) {
        Word* s = px(r, x);
        for (Integer c = 0; c < 3; ++c) {
          Integer lo = left[c], hi = left[c];
          auto take = [&](Integer v) {
            if (v < lo) lo = v;
            if (v > hi) hi = v;
          };
          take(px(r, x + 1)[c]);
          for (Integer dx = -1; dx <= 1; ++dx) {
            take(px(r - 1, x + dx)[c]);
            take(px(r + 1, x + dx)[c]);
          }
          left[c] = s[c];
          s[c] = static_cast<Word>(clamp64(s[c], lo, hi));
        }
      }
    }
  }

  // 4. Pull the colours toward their neighbourhood's average.
  if (h >= 5 && w >= 5) {
    std::vector<Integer> ring = raw_work_buffer<Integer>(Int64(5) * w * 3, kStage);
    auto srow = [&](Integer r) { return ring.data() + (r % 5) * w * 3; };
    auto fill = [&](Integer r) {
      Integer* out = srow(r);
      for (Integer x = 2; x < w - 2; ++x)
        for (Integer c = 0; c < 3; ++c) {
          Integer sum = 0;
          for (Integer dx = -2; dx <= 2; ++dx) sum += px(r, x + dx)[c];
          out[x * 3 + c] = sum;
        }
    };
    for (Integer r = 0; r < 4; ++r) fill(r);
    for (Integer r = 2; r < h - 2; ++r) {
      fill(r + 2);
      for (Integer x = 2; x < w - 2; ++x) {
        Word* s = px(r, x);
        Int64 sum[3] = {0, 0, 0};
        for (Integer k = -2; k <= 2; ++k)
          for (Integer c = 0; c < 3; ++c) sum[c] += srow(r + k)[x * 3 + c];
        const Int64 total = 1500 + sum[0] + sum[1] + sum[2];
        const Int64 t = ((60 + Int64(s[0]) + s[1] + s[2]) * 65536) / total;
        Int64 q[3];
        for (Integer c = 0; c < 3; ++c) {
          const Int64 xv = tz(t * sum[c], 16);
          const Int64 v = curve(xv - s[c], curve_a()) + Int64(s[c]) - (c == 1 ? 14 : 13);
          q[c] = v - curve(v, curve_b());
        }
        const Int64 y = tz(q[0] + 2 * q[1] + q[2], 2);
        for (Integer c = 0; c < 3; ++c) s[c] = static_cast<Word>(clamp64(q[c] - curve(q[c] - y, curve_b()), 0, 65535));
      }
    }
  }

  // 5. To R, G, B.
  for (Integer r = 0; r < h; ++r)
    for (Integer x = 0; x < w; ++x) {
      Word* s = px(r, x);
      Int64 out[3];
      for (Integer k = 0; k < 3; ++k)
        out[k] = clamp64(tz(kOutput[k][0] * s[0] + kOutput[k][1] * s[1] + kOutput[k][2] * s[2] + 4096, 13), 0, 24000);
      for (Integer k = 0; k < 3; ++k) s[k] = static_cast<Word>(out[k]);
    }

  // 6. Take out the low-frequency colour cast seen on a quarter-size copy.
  if (w < 4 || h < 4) return;
  const Integer qh = h / 4, qw = w / 4;
  std::vector<Word> quarter = raw_work_buffer<Word>(Int64(qh) * qw * 3, kStage);
  auto q = [&](Integer qr, Integer qc) { return quarter.data() + (static_cast<size_t>(qr) * qw + qc) * 3; };
  for (Integer qr = qh - 1; qr >= 0; --qr)
    for (Integer qc = 0; qc < qw; ++qc) {
      Int64 sum[3] = {0, 0, 0};
      for (Integer dy = 0; dy < 4; ++dy)
        for (Integer dx = 0; dx < 4; ++dx)
          for (Integer c = 0; c < 3; ++c) sum[c] += px(qr * 4 + dy, qc * 4 + dx)[c];
      for (Integer c = 0; c < 3; ++c)
        q(qr, qc)[c] = static_cast<Word>(qr == qh - 1 ? sum[c] >> 4 : (Int64(q(qr + 1, qc)[c]) * 1840 + sum[c] * 141) >> 12);
    }
  const Integer w4 = w & ~3, h4 = h & ~3;
  std::vector<Int64> smooth = raw_work_buffer<Int64>(Int64(3) * w4 * 3, kStage);
  auto ring = [&](Integer k, Integer x) { return smooth.data() + (static_cast<size_t>(k) * w4 + x) * 3; };
  for (Integer r = 0; r < h4; ++r) {
    if ((r & 3) == 0) {
      Int64 a[3] = {0, 0, 0};
      for (Integer x = w4 - 1; x >= 0; --x)
        for (Integer c = 0; c < 3; ++c) ring(0, x)[c] = a[c] = (Int64(q(r / 4, x / 4)[c]) * 1485 + a[c] * 6707) >> 13;
      Int64 b[3] = {0, 0, 0};
      for (Integer x = 0; x < w4; ++x)
        for (Integer c = 0; c < 3; ++c) ring(1, x)[c] = b[c] = (ring(0, x)[c] * 1485 + b[c] * 6707) >> 13;
      for (Integer x = 0; x < w4; ++x)
        for (Integer c = 0; c < 3; ++c)
          ring(2, x)[c] = r == 0 ? ring(1, x)[c] : (ring(2, x)[c] * 6707 + ring(1, x)[c] * 1485) >> 13;
    }
    for (Integer x = 0; x < w4; ++x) {
      Word* s = px(r, x);
      const Int64* m = ring(2, x);
      const Int64 k = ((60 + Int64(s[0]) + s[1] + s[2]) << 16) / (60 + m[0] + m[1] + m[2]);
      Int64 e[3];
      for (Integer c = 0; c < 3; ++c) e[c] = curve(tz(k * m[c], 16) - s[c], curve_c(c));
      const Int64 z = tz(e[0] + e[1] + e[2], 3);
      // The cast correction moves a value by a few units; it stays inside the output range.
      for (Integer c = 0; c < 3; ++c) s[c] = static_cast<Word>(clamp64(s[c] + e[c] - z, 0, 24000));
    }
  }
}
