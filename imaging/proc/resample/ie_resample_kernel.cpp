// Dispatch among the resampling engines and the separable kernel resampler with integer
// weights (8 fractional bits).
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "imaging/core/ie_helpers.h"
#include "imaging/proc/resample/ie_resample.h"
#include "imaging/proc/resample/ie_resample_taps.h"
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

enum class TKernelSource { Rgb24, Gray8, Bits };

void KernelResample(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, TResampleFilter Filter, TKernelSource Kind,
                    const TIEProgressEvent& OnProgress, TObject* Sender) {
  const Integer sw = Source->GetWidth(), sh = Source->GetHeight();
  const Integer dw = Dest->GetWidth(), dh = Dest->GetHeight();
  if (sw == 0 || sh == 0 || (sw < 2 && sh < 2) || dw < 1 || dh < 1) return;
  const Integer channels = Kind == TKernelSource::Rgb24 ? 3 : 1;
  TIEProgressReporter progress(OnProgress, Sender);
  const double g = 100.0 / (sh + dh + 0.5);

  const TIETapTable columns = IEBuildTapTable(BuildContributors(Filter, sw, dw), size_t(channels));
  const size_t stride = size_t(dw) * channels;
  // A spare byte after the intermediate image and after the row: pixels move four bytes at a time.
  std::vector<Byte> work(stride * sh + 1);
  std::vector<Byte> row(size_t(sw) * channels + 1);
  for (Integer y = 0; y < sh; ++y) {
    const Byte* src = static_cast<const Byte*>(Source->GetScanline(y));
    if (Kind == TKernelSource::Bits) {
      for (Integer x = 0; x < sw; ++x) row[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
    } else {
      std::memcpy(row.data(), src, size_t(sw) * channels);
    }
    IETapsAcross(columns, channels, row.data(), work.data() + size_t(y) * stride, dw);
    if (Kind == TKernelSource::Rgb24) progress.Report(SafeTrunc<Integer>((y + 1) * g), true);
  }

  const TIETapTable rows = IEBuildTapTable(BuildContributors(Filter, sh, dh), stride);
  std::vector<Byte> line(stride);
  for (Integer y = 0; y < dh; ++y) {
    Byte* out = static_cast<Byte*>(Dest->GetScanline(y));
    if (Kind == TKernelSource::Bits) {
      IETapsDown(rows, y, work.data(), line.data(), stride);
      for (Integer x = 0; x < dw; ++x) out[x * 3] = out[x * 3 + 1] = out[x * 3 + 2] = line[x];
    } else {
      IETapsDown(rows, y, work.data(), out, stride);
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
