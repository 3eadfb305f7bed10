// Dispatch among the resampling engines and the separable kernel resampler with integer
// weights (8 fractional bits).
#include <cmath>
#include <numbers>
#include <vector>

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
// distance between neighbouring samples.
struct TContributorTable {
  std::vector<size_t> Start;  // list i is [Start[i], Start[i + 1])
  std::vector<size_t> Offset;
  std::vector<Integer> Weight;
  std::vector<TFinisher> Finishers;
};

TContributorTable FlattenContributors(const std::vector<TContributorList>& Lists, size_t Step) {
  TContributorTable t;
  t.Start.reserve(Lists.size() + 1);
  t.Start.push_back(0);
  for (const TContributorList& list : Lists) {
    Integer sum = 0;
    for (const TContributor& c : list) {
      t.Offset.push_back(size_t(c.Index) * Step);
      t.Weight.push_back(c.Weight);
      sum += c.Weight;
    }
    t.Start.push_back(t.Offset.size());
    t.Finishers.emplace_back(sum);
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
  std::vector<Byte> work(stride * sh);
  std::vector<Byte> row(size_t(sw) * channels);
  for (Integer y = 0; y < sh; ++y) {
    const Byte* src = static_cast<const Byte*>(Source->GetScanline(y));
    const Byte* in = src;
    if (Kind == TKernelSource::Bits) {
      for (Integer x = 0; x < sw; ++x) row[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
      in = row.data();
    }
    Byte* out = work.data() + size_t(y) * stride;
    if (channels == 3) HorizontalPass<3>(columns, in, out, dw);
    else HorizontalPass<1>(columns, in, out, dw);
    if (Kind == TKernelSource::Rgb24) progress.Report(SafeTrunc<Integer>((y + 1) * g), true);
  }

  // Down the columns: whole rows of the intermediate image weighted into a row of sums, so the
  // inner loop runs along memory.
  const TContributorTable rows = FlattenContributors(BuildContributors(Filter, sh, dh), stride);
  std::vector<Integer> sums(stride);
  for (Integer y = 0; y < dh; ++y) {
    std::fill(sums.begin(), sums.end(), 0);
    Integer* acc = sums.data();
    for (size_t k = rows.Start[size_t(y)]; k < rows.Start[size_t(y) + 1]; ++k) {
      const Byte* p = work.data() + rows.Offset[k];
      const Integer w = rows.Weight[k];
      for (size_t x = 0; x < stride; ++x) acc[x] += w * p[x];
    }
    const TFinisher& finish = rows.Finishers[size_t(y)];
    Byte* out = static_cast<Byte*>(Dest->GetScanline(y));
    if (Kind == TKernelSource::Gray8) {
      for (Integer x = 0; x < dw; ++x) out[x] = Byte(finish(acc[x]));
    } else if (Kind == TKernelSource::Bits) {
      for (Integer x = 0; x < dw; ++x) out[x * 3] = out[x * 3 + 1] = out[x * 3 + 2] = Byte(finish(acc[x]));
    } else {
      for (size_t x = 0; x < stride; ++x) out[x] = Byte(finish(acc[x]));
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
