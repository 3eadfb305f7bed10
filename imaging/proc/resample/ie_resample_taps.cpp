// Weighted sums along one axis: scalar code everywhere, SSE2 for 24-bit rows and for whole rows.
#include "imaging/proc/resample/ie_resample_taps.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

TIETapFinisher::TIETapFinisher(Integer WeightSum) : W(WeightSum) {
  if (W <= 0) return;
  Integer bits = 0;
  while ((UInt64(1) << bits) < UInt64(W)) ++bits;
  Shift = 32 + bits;
  M = ((UInt64(1) << Shift) + UInt64(W) - 1) / UInt64(W);
}

namespace {

// The truncated float quotient equals the integer one, before clamping to 0..255, when every sum
// is exact as a float (|S| < 2^24) and W < 2^15: a quotient below 256 is then off by less than
// 2^-16 < 1/W, not enough to cross an integer, and one of 256 or more stays at least 256.
bool FloatDivisionExact(Integer W, Int64 AbsoluteWeights) {
  return W > 0 && W < 32768 && AbsoluteWeights * 255 < (1 << 24);
}

template <Integer C>
void AcrossScalar(const TIETapTable& t, const Byte* In, Byte* Out, Integer DstWidth) {
  const size_t* start = t.Start.data();
  const size_t* offset = t.Offset.data();
  const Integer* weight = t.Weight.data();
  const TIETapFinisher* finishers = t.Finishers.data();
  for (Integer i = 0; i < DstWidth; ++i) {
    const size_t first = start[i], last = start[i + 1];
    const TIETapFinisher& finish = finishers[i];
    if constexpr (C == 3) {
      Integer s0 = 0, s1 = 0, s2 = 0;
      for (size_t k = first; k < last; ++k) {
        const Byte* p = In + offset[k];
        const Integer w = weight[k];
        s0 += w * p[0];
        s1 += w * p[1];
        s2 += w * p[2];
      }
      Out[i * 3] = Byte(finish(s0));
      Out[i * 3 + 1] = Byte(finish(s1));
      Out[i * 3 + 2] = Byte(finish(s2));
    } else {
      Integer s0 = 0;
      for (size_t k = first; k < last; ++k) s0 += weight[k] * In[offset[k]];
      Out[i] = Byte(finish(s0));
    }
  }
}

void DownScalar(const TIETapTable& t, Integer Line, const Byte* Work, Byte* Out, size_t From, size_t Count) {
  const TIETapFinisher finish = t.Finishers[size_t(Line)];
  const size_t first = t.Start[size_t(Line)], last = t.Start[size_t(Line) + 1];
  const size_t* offset = t.Offset.data();
  const Integer* weight = t.Weight.data();
  for (size_t x = From; x < Count; ++x) {
    Integer sum = 0;
    for (size_t k = first; k < last; ++k) sum += weight[k] * Work[offset[k] + x];
    Out[x] = Byte(finish(sum));
  }
}

#if defined(__SSE2__)

inline __m128i LoadFour(const Byte* P) {
  Integer v;
  std::memcpy(&v, P, 4);
  return _mm_cvtsi32_si128(v);
}

inline __m128i Quotient(__m128i Sums, __m128 W) { return _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(Sums), W)); }

// 24-bit pixels, two taps per multiply-add; each pixel's three sums share one division.
void Across24(const TIETapTable& t, const Byte* In, Byte* Out, Integer DstWidth) {
  // Out is bytes and may alias anything: the tables are read through locals, not reloaded
  // after every store.
  const size_t* pairStart = t.PairStart.data();
  const size_t* pairFirst = t.PairFirst.data();
  const size_t* pairSecond = t.PairSecond.data();
  const Cardinal* pairWeight = t.PairWeight.data();
  const float* divisor = t.FloatDivisor.data();
  const __m128i zero = _mm_setzero_si128();
  for (Integer i = 0; i < DstWidth; ++i) {
    __m128i acc = zero;
    for (size_t k = pairStart[i]; k < pairStart[i + 1]; ++k) {
      const __m128i a = LoadFour(In + pairFirst[k]), b = LoadFour(In + pairSecond[k]);
      const __m128i taps = _mm_unpacklo_epi8(_mm_unpacklo_epi8(a, b), zero);
      acc = _mm_add_epi32(acc, _mm_madd_epi16(taps, _mm_set1_epi32(Integer(pairWeight[k]))));
    }
    const float w = divisor[i];
    if (w != 0) {
      const __m128i q = Quotient(acc, _mm_set1_ps(w));
      const __m128i words = _mm_packs_epi32(q, q);
      const Integer v = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
      std::memcpy(Out + size_t(i) * 3, &v, 4);
    } else {
      alignas(16) Integer sums[4];
      _mm_store_si128(reinterpret_cast<__m128i*>(sums), acc);
      const TIETapFinisher& finish = t.Finishers[size_t(i)];
      for (Integer c = 0; c < 3; ++c) Out[size_t(i) * 3 + c] = Byte(finish(sums[c]));
    }
  }
}

// Sixteen bytes of the line at a time with all its taps summed in registers.
size_t Down16(const TIETapTable& t, Integer Line, const Byte* Work, Byte* Out, size_t Count) {
  const __m128i zero = _mm_setzero_si128();
  const __m128 divisor = _mm_set1_ps(t.FloatDivisor[size_t(Line)]);
  const size_t firstPair = t.PairStart[size_t(Line)], lastPair = t.PairStart[size_t(Line) + 1];
  const size_t* pairFirst = t.PairFirst.data();
  const size_t* pairSecond = t.PairSecond.data();
  const Cardinal* pairWeight = t.PairWeight.data();
  size_t x = 0;
  for (; x + 16 <= Count; x += 16) {
    __m128i a0 = zero, a1 = zero, a2 = zero, a3 = zero;
    for (size_t k = firstPair; k < lastPair; ++k) {
      const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Work + pairFirst[k] + x));
      const __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Work + pairSecond[k] + x));
      const __m128i weights = _mm_set1_epi32(Integer(pairWeight[k]));
      const __m128i lo = _mm_unpacklo_epi8(p, q), hi = _mm_unpackhi_epi8(p, q);
      a0 = _mm_add_epi32(a0, _mm_madd_epi16(_mm_unpacklo_epi8(lo, zero), weights));
      a1 = _mm_add_epi32(a1, _mm_madd_epi16(_mm_unpackhi_epi8(lo, zero), weights));
      a2 = _mm_add_epi32(a2, _mm_madd_epi16(_mm_unpacklo_epi8(hi, zero), weights));
      a3 = _mm_add_epi32(a3, _mm_madd_epi16(_mm_unpackhi_epi8(hi, zero), weights));
    }
    const __m128i low = _mm_packs_epi32(Quotient(a0, divisor), Quotient(a1, divisor));
    const __m128i high = _mm_packs_epi32(Quotient(a2, divisor), Quotient(a3, divisor));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + x), _mm_packus_epi16(low, high));
  }
  return x;
}

#endif

}  // namespace

TIETapTable IEBuildTapTable(const std::vector<TContributorList>& Lists, size_t Step) {
  TIETapTable t;
  t.Start.reserve(Lists.size() + 1);
  t.Start.push_back(0);
  t.PairStart.push_back(0);
  for (const TContributorList& list : Lists) {
    Integer sum = 0;
    Int64 absolute = 0;
    for (size_t k = 0; k < list.size(); ++k) {
      const TContributor& c = list[k];
      t.Offset.push_back(size_t(c.Index) * Step);
      t.Weight.push_back(c.Weight);
      sum += c.Weight;
      absolute += c.Weight < 0 ? -Int64(c.Weight) : c.Weight;
      if (c.Weight < -32768 || c.Weight > 32767) t.Packed = false;
      if (k % 2 == 0) {
        const bool single = k + 1 == list.size();
        const TContributor& d = single ? c : list[k + 1];
        t.PairFirst.push_back(size_t(c.Index) * Step);
        t.PairSecond.push_back(size_t(d.Index) * Step);
        t.PairWeight.push_back((Cardinal(single ? 0 : d.Weight) << 16) | (Cardinal(c.Weight) & 0xFFFF));
      }
    }
    t.Start.push_back(t.Offset.size());
    t.PairStart.push_back(t.PairFirst.size());
    t.Finishers.emplace_back(sum);
    t.FloatDivisor.push_back(FloatDivisionExact(sum, absolute) ? float(sum) : 0.0f);
  }
  return t;
}

void IETapsAcross(const TIETapTable& Taps, Integer Channels, const Byte* In, Byte* Out, Integer DstWidth) {
  if (Channels == 1) return AcrossScalar<1>(Taps, In, Out, DstWidth);
#if defined(__SSE2__)
  if (Taps.Packed) return Across24(Taps, In, Out, DstWidth);
#endif
  AcrossScalar<3>(Taps, In, Out, DstWidth);
}

void IETapsDown(const TIETapTable& Taps, Integer Line, const Byte* Work, Byte* Out, size_t Count) {
  size_t done = 0;
#if defined(__SSE2__)
  if (Taps.Packed && Taps.FloatDivisor[size_t(Line)] != 0) done = Down16(Taps, Line, Work, Out, Count);
#endif
  DownScalar(Taps, Line, Work, Out, done, Count);
}
