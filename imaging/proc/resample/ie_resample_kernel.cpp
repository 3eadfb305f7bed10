// Dispatch among the resampling engines and the separable kernel resampler with integer
// weights (8 fractional bits).
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "imaging/core/ie_helpers.h"
#include "imaging/proc/resample/ie_resample.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/numerics.h"

void TIEProgressReporter::Report(Integer Percent, bool OnlyChanges) {
  if (!Event) return;
  if (Percent > 100) Percent = 100;
  if (Percent < 0) Percent = 0;
  if (OnlyChanges && Percent == Last) return;
  Last = Percent;
  Event(Sender, Percent);
}

namespace {

double Sinc(double X) {
  if (X == 0) return 1.0;
  const double p = X * std::numbers::pi;
  return std::sin(p) / p;
}

double KernelValue(TResampleFilter Filter, double X) {
  const double a = std::fabs(X);
  switch (Filter) {
    case rfTriangle:
      return a < 1 ? 1 - a : 0;
    case rfHermite:
      return a < 1 ? (2 * a - 3) * X * X + 1 : 0;
    case rfBell:
      if (a < 0.5) return 0.75 - X * X;
      if (a < 1.5) return 0.5 * (a - 1.5) * (a - 1.5);
      return 0;
    case rfBSpline:
      if (a < 1) return 0.5 * a * a * a - X * X + 2.0 / 3.0;
      if (a < 2) return (2 - a) * (2 - a) * (2 - a) / 6;
      return 0;
    case rfLanczos3:
      return a < 3 ? Sinc(X) * Sinc(X / 3) : 0;
    case rfMitchell:
      if (a < 1) return (7 * a * a * a - 12 * X * X + 16.0 / 3.0) / 6;
      if (a < 2) return (-7.0 / 3.0 * a * a * a + 12 * X * X - 20 * a + 32.0 / 3.0) / 6;
      return 0;
    case rfNearest:
      return (X > -0.5 && X <= 0.5) ? 1 : 0;
    case rfLinear:
      if (X >= -1 && X < 0) return 1 + X;
      if (X >= 0 && X < 1) return 1 - X;
      return 0;
    default:
      return 0;
  }
}

double KernelSupport(TResampleFilter Filter) {
  switch (Filter) {
    case rfBell: return 1.5;
    case rfBSpline:
    case rfMitchell: return 2.0;
    case rfLanczos3: return 3.0;
    default: return 1.0;
  }
}

struct TContributor {
  Integer Index;
  Integer Weight;
};
using TContributorList = std::vector<TContributor>;

// One list per destination column (or row). An axis whose size does not change is copied one
// to one: a kernel wider than a pixel would otherwise blur it.
std::vector<TContributorList> BuildContributors(TResampleFilter Filter, Integer SrcSize, Integer DstSize) {
  std::vector<TContributorList> lists(DstSize);
  if (SrcSize == DstSize) {
    for (Integer i = 0; i < DstSize; ++i) lists[i].push_back({i, 256});
    return lists;
  }
  const double support = KernelSupport(Filter);
  const double scale = (SrcSize == 1 || DstSize == 1) ? double(DstSize) / SrcSize : double(DstSize - 1) / (SrcSize - 1);
  const bool enlarging = scale >= 1;
  const double width = enlarging ? support : support / scale;
  const double fscale = 1.0 / scale;
  auto sourceIndex = [SrcSize](Integer j) {
    if (j < 0) j = -j;
    else if (j >= SrcSize) j = 2 * SrcSize - j - 1;
    return IEClamp(j, 0, SrcSize - 1);
  };
  for (Integer i = 0; i < DstSize; ++i) {
    const double center = i / scale;
    const Integer left = IEFloor(center - width), right = IECeil(center + width);
    TContributorList& list = lists[i];
    list.reserve(right - left + 1);
    for (Integer j = left; j <= right; ++j) {
      const Integer w = enlarging ? SafeRound<Integer>(KernelValue(Filter, center - j) * 256)
                                  : SafeRound<Integer>(KernelValue(Filter, (center - j) / fscale) * 256 / fscale);
      if (w != 0) list.push_back({sourceIndex(j), w});
    }
    // At very strong reductions every weight rounds to 0 and the pixel would turn black; an
    // even mean over the kernel's positive part keeps the picture.
    if (list.empty() && !enlarging) {
      for (Integer j = left; j <= right; ++j)
        if (KernelValue(Filter, (center - j) / fscale) > 0) list.push_back({sourceIndex(j), 1});
    }
  }
  return lists;
}

inline Integer Finish(Integer S, Integer W) {
  if (W != 0) return IEClamp255(S / W);
  // Weights that cancel out: the sum is taken as it stands, so a negative one stays black.
  return IEClamp255(S >> 8);
}

// Finish for one weight list, with the division by a positive weight sum done as a multiply and
// shift that gives the same quotient for every sum an Integer holds (the usual invariant-divisor
// method: M = ceil(2^Shift / W), Shift = 32 + ceil(log2 W)). A negative sum divided by a positive
// one truncates to at most 0, which clamps to 0 anyway.
struct TFinisher {
  Integer W = 0;
  UInt64 M = 0;
  Integer Shift = 0;

  explicit TFinisher(Integer Sum) : W(Sum) {
    if (W <= 0) return;
    Integer bits = 0;
    while ((UInt64(1) << bits) < UInt64(W)) ++bits;
    Shift = 32 + bits;
    M = ((UInt64(1) << Shift) + UInt64(W) - 1) / UInt64(W);
  }
  Integer operator()(Integer S) const {
    if (W <= 0) return Finish(S, W);
    if (S <= 0) return 0;
    const UInt64 q = (UInt64(Cardinal(S)) * M) >> Shift;
    return q > 255 ? 255 : Integer(q);
  }
};

// The weight lists of an axis laid out flat, with source positions already multiplied by the
// distance between neighbouring samples. The lists are also kept as pairs of taps with both 16-bit
// weights packed in one word, the shape the vector code multiplies and adds in one step (an odd
// list ends with a pair whose second weight is 0).
struct TContributorTable {
  std::vector<size_t> Start;  // list i is [Start[i], Start[i + 1])
  std::vector<size_t> Offset;
  std::vector<Integer> Weight;
  std::vector<TFinisher> Finishers;
  std::vector<size_t> PairStart;  // list i's pairs are [PairStart[i], PairStart[i + 1])
  std::vector<size_t> PairFirst, PairSecond;
  std::vector<Cardinal> PairWeight;
  // The list's weight sum as a float, or 0 where a float division could differ from the integer
  // one (see FloatDivisionExact).
  std::vector<float> FloatDivisor;
  bool Packed = true;  // every weight fits 16 bits
};

// The truncated float quotient equals the integer one, before clamping to 0..255, when every sum
// is exact as a float (|S| < 2^24) and W < 2^15: a quotient below 256 is then off by less than
// 2^-16 < 1/W, not enough to cross an integer, and one of 256 or more stays at least 256.
bool FloatDivisionExact(Integer W, Int64 AbsoluteWeights) { return W > 0 && W < 32768 && AbsoluteWeights * 255 < (1 << 24); }

TContributorTable FlattenContributors(const std::vector<TContributorList>& Lists, size_t Step) {
  TContributorTable t;
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
        const Integer second = single ? 0 : d.Weight;
        t.PairFirst.push_back(size_t(c.Index) * Step);
        t.PairSecond.push_back(size_t(d.Index) * Step);
        t.PairWeight.push_back((Cardinal(second) << 16) | (Cardinal(c.Weight) & 0xFFFF));
      }
    }
    t.Start.push_back(t.Offset.size());
    t.PairStart.push_back(t.PairFirst.size());
    t.Finishers.emplace_back(sum);
    t.FloatDivisor.push_back(FloatDivisionExact(sum, absolute) ? float(sum) : 0.0f);
  }
  return t;
}

enum class TKernelSource { Rgb24, Gray8, Bits };

// One row across: each destination pixel from its weight list over the source row In.
template <Integer C>
void HorizontalPass(const TContributorTable& t, const Byte* In, Byte* Out, Integer DstWidth) {
  const size_t* offset = t.Offset.data();
  const Integer* weight = t.Weight.data();
  for (Integer i = 0; i < DstWidth; ++i) {
    const size_t first = t.Start[size_t(i)], last = t.Start[size_t(i) + 1];
    const TFinisher& finish = t.Finishers[size_t(i)];
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

// Down the columns: destination row Row from whole rows of the intermediate image, Count bytes.
void VerticalPassScalar(const TContributorTable& t, Integer Row, const Byte* Work, Byte* Out, size_t From,
                        size_t Count) {
  const TFinisher& finish = t.Finishers[size_t(Row)];
  const size_t first = t.Start[size_t(Row)], last = t.Start[size_t(Row) + 1];
  for (size_t x = From; x < Count; ++x) {
    Integer sum = 0;
    for (size_t k = first; k < last; ++k) sum += t.Weight[k] * Work[t.Offset[k] + x];
    Out[x] = Byte(finish(sum));
  }
}

#if defined(__SSE2__)

inline __m128i LoadFour(const Byte* P) {
  Integer v;
  std::memcpy(&v, P, 4);
  return _mm_cvtsi32_si128(v);
}

// Four sums divided by W and clamped to 0..255, in the low four bytes.
inline __m128i DivideAndPack(__m128i Sums, __m128 W) {
  const __m128i q = _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(Sums), W));
  const __m128i words = _mm_packs_epi32(q, q);
  return _mm_packus_epi16(words, words);
}

// 24-bit rows across, two taps per step. In must have a byte to spare after its last pixel, Out
// too (each pixel is written as four bytes, the fourth overwritten by the next pixel).
void HorizontalPass24(const TContributorTable& t, const Byte* In, Byte* Out, Integer DstWidth) {
  const __m128i zero = _mm_setzero_si128();
  for (Integer i = 0; i < DstWidth; ++i) {
    __m128i acc = zero;
    for (size_t k = t.PairStart[size_t(i)]; k < t.PairStart[size_t(i) + 1]; ++k) {
      const __m128i a = LoadFour(In + t.PairFirst[k]), b = LoadFour(In + t.PairSecond[k]);
      const __m128i taps = _mm_unpacklo_epi8(_mm_unpacklo_epi8(a, b), zero);
      acc = _mm_add_epi32(acc, _mm_madd_epi16(taps, _mm_set1_epi32(Integer(t.PairWeight[k]))));
    }
    const float w = t.FloatDivisor[size_t(i)];
    if (w != 0) {
      const Integer v = _mm_cvtsi128_si32(DivideAndPack(acc, _mm_set1_ps(w)));
      std::memcpy(Out + size_t(i) * 3, &v, 4);
    } else {
      alignas(16) Integer sums[4];
      _mm_store_si128(reinterpret_cast<__m128i*>(sums), acc);
      const TFinisher& finish = t.Finishers[size_t(i)];
      for (Integer c = 0; c < 3; ++c) Out[size_t(i) * 3 + c] = Byte(finish(sums[c]));
    }
  }
}

// Sixteen bytes of a row at a time, all taps held in registers; the remainder goes the scalar way.
void VerticalPass(const TContributorTable& t, Integer Row, const Byte* Work, Byte* Out, size_t Count) {
  const float w = t.FloatDivisor[size_t(Row)];
  if (w == 0 || !t.Packed) return VerticalPassScalar(t, Row, Work, Out, 0, Count);
  const __m128i zero = _mm_setzero_si128();
  const __m128 divisor = _mm_set1_ps(w);
  const size_t firstPair = t.PairStart[size_t(Row)], lastPair = t.PairStart[size_t(Row) + 1];
  size_t x = 0;
  for (; x + 16 <= Count; x += 16) {
    __m128i a0 = zero, a1 = zero, a2 = zero, a3 = zero;
    for (size_t k = firstPair; k < lastPair; ++k) {
      const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Work + t.PairFirst[k] + x));
      const __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Work + t.PairSecond[k] + x));
      const __m128i weights = _mm_set1_epi32(Integer(t.PairWeight[k]));
      const __m128i lo = _mm_unpacklo_epi8(p, q), hi = _mm_unpackhi_epi8(p, q);
      a0 = _mm_add_epi32(a0, _mm_madd_epi16(_mm_unpacklo_epi8(lo, zero), weights));
      a1 = _mm_add_epi32(a1, _mm_madd_epi16(_mm_unpackhi_epi8(lo, zero), weights));
      a2 = _mm_add_epi32(a2, _mm_madd_epi16(_mm_unpacklo_epi8(hi, zero), weights));
      a3 = _mm_add_epi32(a3, _mm_madd_epi16(_mm_unpackhi_epi8(hi, zero), weights));
    }
    auto quotient = [&](__m128i s) { return _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(s), divisor)); };
    const __m128i words = _mm_packs_epi32(quotient(a0), quotient(a1));
    const __m128i words2 = _mm_packs_epi32(quotient(a2), quotient(a3));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + x), _mm_packus_epi16(words, words2));
  }
  VerticalPassScalar(t, Row, Work, Out, x, Count);
}

#else

void VerticalPass(const TContributorTable& t, Integer Row, const Byte* Work, Byte* Out, size_t Count) {
  VerticalPassScalar(t, Row, Work, Out, 0, Count);
}

#endif

void KernelResample(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, TResampleFilter Filter, TKernelSource Kind,
                    const TIEProgressEvent& OnProgress, TObject* Sender) {
  const Integer sw = Source->GetWidth(), sh = Source->GetHeight();
  const Integer dw = Dest->GetWidth(), dh = Dest->GetHeight();
  if (sw == 0 || sh == 0 || (sw < 2 && sh < 2) || dw < 1 || dh < 1) return;
  const Integer channels = Kind == TKernelSource::Rgb24 ? 3 : 1;
  TIEProgressReporter progress(OnProgress, Sender);
  const double g = 100.0 / (sh + dh + 0.5);

  const TContributorTable columns = FlattenContributors(BuildContributors(Filter, sw, dw), size_t(channels));
  const size_t stride = size_t(dw) * channels;
  // A spare byte after the intermediate image and after the row copy: the 24-bit vector code
  // reads and writes pixels four bytes at a time.
  std::vector<Byte> work(stride * sh + 1);
  std::vector<Byte> row(size_t(sw) * channels + 1);
#if defined(__SSE2__)
  const bool vector24 = Kind == TKernelSource::Rgb24 && columns.Packed;
#endif
  for (Integer y = 0; y < sh; ++y) {
    const Byte* src = static_cast<const Byte*>(Source->GetScanline(y));
    const Byte* in = src;
    Byte* out = work.data() + size_t(y) * stride;
    if (Kind == TKernelSource::Bits) {
      for (Integer x = 0; x < sw; ++x) row[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
      in = row.data();
    }
#if defined(__SSE2__)
    if (vector24) {
      std::memcpy(row.data(), src, size_t(sw) * 3);
      HorizontalPass24(columns, row.data(), out, dw);
    } else
#endif
    if (channels == 3) HorizontalPass<3>(columns, in, out, dw);
    else HorizontalPass<1>(columns, in, out, dw);
    if (Kind == TKernelSource::Rgb24) progress.Report(SafeTrunc<Integer>((y + 1) * g), true);
  }

  const TContributorTable rows = FlattenContributors(BuildContributors(Filter, sh, dh), stride);
  std::vector<Byte> line(stride);
  for (Integer y = 0; y < dh; ++y) {
    Byte* out = static_cast<Byte*>(Dest->GetScanline(y));
    if (Kind == TKernelSource::Bits) {
      VerticalPass(rows, y, work.data(), line.data(), stride);
      for (Integer x = 0; x < dw; ++x) out[x * 3] = out[x * 3 + 1] = out[x * 3 + 2] = line[x];
    } else {
      VerticalPass(rows, y, work.data(), out, stride);
    }
    if (Kind == TKernelSource::Rgb24) progress.Report(SafeTrunc<Integer>((sh + y + 1) * g), true);
  }
}

bool IsKernelFilter(TResampleFilter Filter) { return Filter >= rfTriangle && Filter <= rfLinear; }

// Nearest neighbour for filters no engine knows (callers never pass them).
void NearestFallback(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, Integer BytesPerPixel) {
  const Integer sw = Source->GetWidth(), sh = Source->GetHeight();
  const Integer dw = Dest->GetWidth(), dh = Dest->GetHeight();
  if (sw < 1 || sh < 1) return;
  for (Integer y = 0; y < dh; ++y) {
    const Byte* src = static_cast<const Byte*>(Source->GetScanline(Integer(Int64(y) * sh / dh)));
    std::vector<Byte> copy(src, src + size_t(sw) * BytesPerPixel);
    Byte* out = static_cast<Byte*>(Dest->GetScanline(y));
    for (Integer x = 0; x < dw; ++x) {
      const Byte* p = copy.data() + size_t(Int64(x) * sw / dw) * BytesPerPixel;
      for (Integer c = 0; c < BytesPerPixel; ++c) out[x * BytesPerPixel + c] = p[c];
    }
  }
}

}  // namespace

void IEResampleFiltered(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, TResampleFilter Filter,
                        const TIEProgressEvent& OnProgress, TObject* Sender) {
  const TIEPixelFormat pf = Source->GetPixelFormat();
  const bool eight = pf == ie24RGB || pf == ie8g, sixteen = pf == ieRGB48 || pf == ie16g;
  if (Filter == rfBicubic && eight) return IEResampleArea8(Source, Dest, 1, OnProgress, Sender);
  if (Filter == rfBilinear && eight) return IEResampleArea8(Source, Dest, 0, OnProgress, Sender);
  if (Filter == rfBicubic && sixteen) return IEResampleArea16(Source, Dest, 1, OnProgress, Sender);
  if (Filter == rfBilinear && sixteen) return IEResampleArea16(Source, Dest, 0, OnProgress, Sender);
  if (pf == ie8g) {
    if (!dynamic_cast<TIEBitmap*>(Source) || !dynamic_cast<TIEBitmap*>(Dest)) throw EInvalidCast("Invalid class typecast");
    return IEResampleGray8(Source, Dest, Filter);
  }
  if (pf != ie24RGB) return;
  switch (Filter) {
    case rfFastLinear: return IEResampleFastLinear24(Source, Dest, Sender, OnProgress);
    case rfProjectBW: IEProjectRGBToBW(Source, Dest, false, Sender, OnProgress); return;
    case rfProjectWB: IEProjectRGBToBW(Source, Dest, true, Sender, OnProgress); return;
    default:
      if (IsKernelFilter(Filter)) return KernelResample(Source, Dest, Filter, TKernelSource::Rgb24, OnProgress, Sender);
      return NearestFallback(Source, Dest, 3);
  }
}

void IEResampleGray8(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, TResampleFilter Filter) {
  switch (Filter) {
    case rfFastLinear:
    case rfBilinear:
    case rfBicubic:
    case rfProjectBW:
    case rfProjectWB: return IEResampleFastLinearGray8(Source, Dest, nullptr, nullptr);
    default:
      if (IsKernelFilter(Filter)) return KernelResample(Source, Dest, Filter, TKernelSource::Gray8, nullptr, nullptr);
      return NearestFallback(Source, Dest, 1);
  }
}

void IEResampleBW(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, TResampleFilter Filter) {
  switch (Filter) {
    case rfFastLinear:
    case rfBilinear:
    case rfBicubic: return IEResampleFastLinearBW(Source, Dest, nullptr, nullptr);
    case rfProjectBW: IEProjectBW(Source, Dest, false, nullptr, nullptr); return;
    case rfProjectWB: IEProjectBW(Source, Dest, true, nullptr, nullptr); return;
    default:
      // Unknown filters take the triangle: the destination is 24-bit grey in every case.
      return KernelResample(Source, Dest, IsKernelFilter(Filter) ? Filter : rfTriangle, TKernelSource::Bits, nullptr,
                            nullptr);
  }
}
