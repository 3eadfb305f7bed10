// The weighted sums shared by the resampling engines: every path (vector, scalar, the multiply
// that stands in for a division) must give the truncated integer quotient, clamped to 0..255.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <vector>

#include "imaging/proc/resample/ie_resample_taps.h"

namespace {

Integer Expected(Int64 S, Integer W) {
  const Int64 q = W != 0 ? S / W : (S >> 8);
  return Integer(q < 0 ? 0 : (q > 255 ? 255 : q));
}

TEST(ResampleTaps, FinisherMatchesIntegerDivisionAcrossDivisorSizes) {
  std::mt19937 rng(11);
  const Integer divisors[] = {1, 2, 3, 7, 255, 256, 257, 1000, 32767, 32768, 65535, 65537, 1 << 20, (1 << 30) + 1,
                              INT_MAX, 0, -1, -300};
  for (Integer w : divisors) {
    const TIETapFinisher finish(w);
    std::vector<Integer> sums = {0, 1, -1, 255, -255, 65535, INT_MAX, INT_MIN + 1};
    if (w > 0) {
      // Quotients right at and beside each integer up to past the clamp.
      for (Int64 q : {0, 1, 2, 127, 254, 255, 256, 1000}) {
        for (Int64 d : {-1, 0, 1}) {
          const Int64 s = q * w + d;
          if (s >= INT_MIN && s <= INT_MAX) sums.push_back(Integer(s));
        }
      }
    }
    for (int i = 0; i < 200; ++i) sums.push_back(Integer(rng() >> 1) - (i % 2 ? 0 : INT_MAX / 2));
    for (Integer s : sums) ASSERT_EQ(finish(s), Expected(s, w)) << "sum " << s << " weights " << w;
  }
}

TEST(ResampleTaps, AcrossAndDownGiveTheQuotientForEveryKindOfList) {
  // Weight sums inside and just outside what a float division handles exactly, sums that cancel
  // to 0 or go negative, a list long enough to saturate, and a weight too wide to pack.
  std::vector<TContributorList> cases = {
      {{0, 1}},
      {{0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 1}},
      {{0, -20}, {1, 100}, {2, 200}, {3, 100}, {4, -20}},
      {{0, 100}, {1, -100}},
      {{0, -50}, {1, 10}},
      {{0, 40000}, {1, -39000}},
  };
  for (Integer n : {127, 128, 300}) {
    TContributorList big;
    for (Integer i = 0; i < n; ++i) big.push_back({i, 256});
    if (n == 127) big.push_back({n, 255});  // a weight sum of 32767
    cases.push_back(big);
  }
  // A sum one short of 100 times a weight sum of 2^18: a float division past its exact range
  // rounds the quotient up to 100.
  TContributorList justBelow;
  for (Integer i = 400; i < 1423; ++i) justBelow.push_back({i, 256});
  justBelow.push_back({1423, 255});
  justBelow.push_back({1424, 1});
  cases.push_back(justBelow);
  std::mt19937 rng(5);
  const Integer sources = 1425, width = 35;  // two vector blocks and a remainder
  // Bright samples too, so that the long lists reach the clamp.
  std::vector<Byte> work(size_t(sources) * width * 3 + 1);
  for (Byte& b : work) b = rng() % 4 ? Byte(rng()) : 255;
  std::fill(work.begin() + 400 * width, work.begin() + 1424 * width, 100);
  std::fill(work.begin() + 1424 * width, work.begin() + 1425 * width, 99);
  for (size_t c = 0; c < cases.size(); ++c) {
    const TContributorList& list = cases[c];
    Integer w = 0;
    for (const TContributor& t : list) w += t.Weight;
    // Down: one destination line over whole rows of `width` bytes.
    const std::vector<TContributorList> lines(1, list);
    std::vector<Byte> out(width);
    IETapsDown(IEBuildTapTable(lines, size_t(width)), 0, work.data(), out.data(), size_t(width));
    for (Integer x = 0; x < width; ++x) {
      Int64 s = 0;
      for (const TContributor& t : list) s += Int64(t.Weight) * work[size_t(t.Index) * width + x];
      ASSERT_EQ(out[x], Expected(s, w)) << "list " << c << " byte " << x;
    }
    // Across: the same list for each of a few destination pixels, the taps shifted along the row.
    for (Integer channels : {1, 3}) {
      std::vector<TContributorList> pixels;
      for (Integer i = 0; i < 3; ++i) {
        TContributorList shifted = list;
        for (TContributor& t : shifted) t.Index += i;
        pixels.push_back(shifted);
      }
      std::vector<Byte> row(pixels.size() * channels + 1);
      IETapsAcross(IEBuildTapTable(pixels, size_t(channels)), channels, work.data(), row.data(), Integer(pixels.size()));
      for (size_t i = 0; i < pixels.size(); ++i)
        for (Integer ch = 0; ch < channels; ++ch) {
          Int64 s = 0;
          for (const TContributor& t : pixels[i]) s += Int64(t.Weight) * work[size_t(t.Index) * channels + ch];
          ASSERT_EQ(row[i * channels + ch], Expected(s, w)) << "list " << c << " pixel " << i << " channels " << channels;
        }
    }
  }
}

}  // namespace
