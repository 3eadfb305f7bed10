// The cheap engines: linear interpolation in 17-bit fixed point when growing and box means when
// shrinking, the 1-bit variants, and the projections onto 1 bit that keep one-pixel lines.
#include <vector>

#include "imaging/core/ie_helpers.h"
#include "imaging/proc/resample/ie_resample.h"
#include "imaging/proc/resample/ie_resample_taps.h"
#include "platform/rtl/numerics.h"

namespace {

constexpr Integer FractionOne = 131072;

inline bool BitSet(const Byte* Row, Integer X) { return (Row[X >> 3] & (0x80 >> (X & 7))) != 0; }

struct TAxisTable {
  std::vector<Integer> First, Fraction, Last;
};

// Where each destination column starts, its fraction towards the next source pixel and, when
// shrinking, the last source pixel of its box (the next box's first one included).
TAxisTable BuildAxis(Integer SrcSize, Integer DstSize, double Scale, double Epsilon) {
  TAxisTable t;
  t.First.resize(DstSize);
  t.Fraction.resize(DstSize);
  t.Last.resize(DstSize);
  for (Integer i = 0; i < DstSize; ++i) {
    const double pos = i / Scale;
    t.First[i] = IEClamp(SafeTrunc<Integer>(pos), 0, SrcSize - 1);
    t.Fraction[i] = SafeTrunc<Integer>((pos - t.First[i]) * FractionOne);
    t.Last[i] = IEClamp(SafeTrunc<Integer>(IEMin(i + 1, DstSize - 1) / Scale + Epsilon), t.First[i], SrcSize - 1);
  }
  return t;
}

inline Integer Lerp(Integer A, Integer B, Integer F) { return A + (((B - A) * F) >> 17); }

// Channels bytes per pixel in and out; Interpolate forces interpolation on shrinking axes too.
struct TFastLinear {
  Integer SW, SH, DW, DH, Channels;
  bool AlwaysInterpolate;

  template <class ReadRow, class WriteRow>
  void Run(ReadRow readRow, WriteRow writeRow, TIEProgressReporter& progress) {
    const double xs = double(DW) / SW, ys = double(DH) / SH;
    const double g = 100.0 / (SH + DH + 0.5);
    const TAxisTable cols = BuildAxis(SW, DW, xs, 1e-10);
    const Integer ch = Channels;
    const size_t stride = size_t(DW) * ch;
    const bool boxAcross = xs < 1 && !AlwaysInterpolate, boxDown = ys < 1 && !AlwaysInterpolate;
    // Box means are weighted sums with weights of 1: the shared tap code does them.
    TIETapTable across, down;
    if (boxAcross) {
      std::vector<TContributorList> lists(DW);
      for (Integer i = 0; i < DW; ++i)
        for (Integer x = cols.First[i]; x <= cols.Last[i]; ++x) lists[i].push_back({x, 1});
      across = IEBuildTapTable(lists, size_t(ch));
    }
    if (boxDown) {
      std::vector<TContributorList> lists(DH);
      for (Integer y = 0; y < DH; ++y) {
        const Integer first = IEClamp(SafeTrunc<Integer>(y / ys), 0, SH - 1);
        const Integer last = IEClamp(SafeTrunc<Integer>(IEMin(y + 1, DH - 1) / ys), first, SH - 1);
        for (Integer r = first; r <= last; ++r) lists[y].push_back({r, 1});
      }
      down = IEBuildTapTable(lists, stride);
    }
    // A spare byte after the row and after the intermediate image: pixels move four bytes at a time.
    std::vector<Byte> work(stride * SH + 1);
    std::vector<Byte> in(size_t(SW) * ch + 1);
    for (Integer y = 0; y < SH; ++y) {
      readRow(y, in.data());
      Byte* out = work.data() + stride * y;
      if (xs == 1) {
        // An axis that keeps its size is copied as it is.
        std::copy(in.begin(), in.begin() + stride, out);
      } else if (xs > 1 || AlwaysInterpolate) {
        for (Integer i = 0; i < DW; ++i) {
          const Byte* a = in.data() + size_t(cols.First[i]) * ch;
          const Byte* b = in.data() + size_t(IEMin(cols.First[i] + 1, SW - 1)) * ch;
          for (Integer c = 0; c < ch; ++c) out[i * ch + c] = Byte(Lerp(a[c], b[c], cols.Fraction[i]));
        }
      } else {
        IETapsAcross(across, ch, in.data(), out, DW);
      }
      progress.Report(SafeTrunc<Integer>(y * g), false);
    }
    std::vector<Byte> row(stride);
    for (Integer y = 0; y < DH; ++y) {
      if (ys == 1) {
        std::copy(work.begin() + stride * y, work.begin() + stride * (y + 1), row.begin());
      } else if (ys > 1 || AlwaysInterpolate) {
        const double pos = y / ys;
        const Integer y0 = IEClamp(SafeTrunc<Integer>(pos), 0, SH - 1);
        const Integer f = SafeTrunc<Integer>((pos - y0) * FractionOne);
        const Byte* a = work.data() + stride * y0;
        const Byte* b = work.data() + stride * IEMin(y0 + 1, SH - 1);
        for (size_t i = 0; i < stride; ++i) row[i] = Byte(Lerp(a[i], b[i], f));
      } else {
        IETapsDown(down, y, work.data(), row.data(), stride);
      }
      writeRow(y, row.data());
      progress.Report(SafeTrunc<Integer>((SH + y) * g), false);
    }
  }
};

void FastLinearBytes(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, Integer Channels, TObject* Sender,
                     const TIEProgressEvent& OnProgress) {
  const Integer sw = Source->GetWidth(), sh = Source->GetHeight();
  const Integer dw = Dest->GetWidth(), dh = Dest->GetHeight();
  if (sw < 1 || sh < 1 || dw < 1 || dh < 1) return;
  if (sw == dw && sh == dh) {
    Dest->Assign(Source);
    return;
  }
  TIEProgressReporter progress(OnProgress, Sender);
  TFastLinear engine{sw, sh, dw, dh, Channels, false};
  const size_t inBytes = size_t(sw) * Channels, outBytes = size_t(dw) * Channels;
  engine.Run(
      [&](Integer y, Byte* to) {
        const Byte* src = static_cast<const Byte*>(Source->GetScanline(y));
        std::copy(src, src + inBytes, to);
      },
      [&](Integer y, const Byte* from) { std::copy(from, from + outBytes, static_cast<Byte*>(Dest->GetScanline(y))); },
      progress);
}

}  // namespace

void IEResampleFastLinear24(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, TObject* Sender,
                            const TIEProgressEvent& OnProgress) {
  FastLinearBytes(Source, Dest, 3, Sender, OnProgress);
}

void IEResampleFastLinearGray8(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, TObject* Sender,
                               const TIEProgressEvent& OnProgress) {
  FastLinearBytes(Source, Dest, 1, Sender, OnProgress);
}

void IEResampleFastLinearBW(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, TObject* Sender,
                            const TIEProgressEvent& OnProgress) {
  const Integer sw = Source->GetWidth(), sh = Source->GetHeight();
  const Integer dw = Dest->GetWidth(), dh = Dest->GetHeight();
  if (sw < 1 || sh < 1 || dw < 1 || dh < 1) return;
  const double xs = double(dw) / sw, ys = double(dh) / sh;
  if (xs < 1 && ys < 1) {
    IEShrinkBWRect(Source, 0, 0, sw - 1, sh - 1, Dest);
    return;
  }
  // Same size included: the destination stays 24-bit grey, as every caller of this path expects.
  TIEProgressReporter progress(OnProgress, Sender);
  TFastLinear engine{sw, sh, dw, dh, 1, true};
  engine.Run(
      [&](Integer y, Byte* to) {
        const Byte* src = static_cast<const Byte*>(Source->GetScanline(y));
        for (Integer x = 0; x < sw; ++x) to[x] = BitSet(src, x) ? 255 : 0;
      },
      [&](Integer y, const Byte* from) {
        Byte* out = static_cast<Byte*>(Dest->GetScanline(y));
        for (Integer x = 0; x < dw; ++x) out[x * 3] = out[x * 3 + 1] = out[x * 3 + 2] = from[x];
      },
      progress);
}

namespace {

// HitOf(row, x) tells whether source pixel x of a row decides the box.
template <class HitOf>
TIEBaseBitmap* Project(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, bool WhiteOnBlack, TObject* Sender,
                       const TIEProgressEvent& OnProgress, HitOf hitOf) {
  const Integer sw = Source->GetWidth(), sh = Source->GetHeight();
  const Integer dw = Dest->GetWidth(), dh = Dest->GetHeight();
  if (sw < 1 || sh < 1 || dw < 1 || dh < 1) return Dest;
  if (Dest->GetPixelFormat() != ie1g) Dest->Allocate(dw, dh, ie1g);
  const TIEDataAccess sourceAccess = Source->Access, destAccess = Dest->Access;
  Source->Access = iedRead;
  Dest->Access = iedWrite;
  std::vector<Integer> starts(dw);
  for (Integer i = 0; i < dw; ++i) starts[i] = IEClamp(SafeTrunc<Integer>((double(sw) / dw) * i), 0, sw - 1);
  const double r = double(sh) / dh;
  const double g = 100.0 / (dh + 0.5);
  TIEProgressReporter progress(OnProgress, Sender);
  std::vector<Byte> hit(dw);
  for (Integer y = 0; y < dh; ++y) {
    std::fill(hit.begin(), hit.end(), 0);
    const Integer top = y == 0 ? 0 : IEClamp(SafeTrunc<Integer>(r * (y - 1)), 0, sh - 1);
    const Integer bottom = y == 0 ? 0 : IEClamp(SafeTrunc<Integer>(r * y), top, sh - 1);
    for (Integer sy = top; sy <= bottom; ++sy) {
      const Byte* src = static_cast<const Byte*>(Source->GetScanline(sy));
      for (Integer x = 0; x < dw; ++x) {
        if (hit[x]) continue;
        const Integer first = x == 0 ? 0 : starts[x - 1], last = x == 0 ? 0 : starts[x];
        for (Integer sx = first; sx <= last; ++sx)
          if (hitOf(src, sx)) {
            hit[x] = 1;
            break;
          }
      }
    }
    Byte* out = static_cast<Byte*>(Dest->GetScanline(y));
    std::fill(out, out + Dest->GetRowLen(), WhiteOnBlack ? 0 : 255);
    for (Integer x = 0; x < dw; ++x) {
      if (!hit[x]) continue;
      if (WhiteOnBlack) out[x >> 3] |= Byte(0x80 >> (x & 7));
      else out[x >> 3] &= Byte(~(0x80 >> (x & 7)));
    }
    progress.Report(SafeTrunc<Integer>(y * g), false);
  }
  Source->Access = sourceAccess;
  Dest->Access = destAccess;
  return Dest;
}

}  // namespace

TIEBaseBitmap* IEProjectBW(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, bool WhiteOnBlack, TObject* Sender,
                           const TIEProgressEvent& OnProgress) {
  return Project(Source, Dest, WhiteOnBlack, Sender, OnProgress,
                 [WhiteOnBlack](const Byte* row, Integer x) { return BitSet(row, x) == WhiteOnBlack; });
}

TIEBaseBitmap* IEProjectRGBToBW(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, bool WhiteOnBlack, TObject* Sender,
                                const TIEProgressEvent& OnProgress) {
  return Project(Source, Dest, WhiteOnBlack, Sender, OnProgress, [WhiteOnBlack](const Byte* row, Integer x) {
    const Byte* p = row + size_t(x) * 3;
    if (WhiteOnBlack) return p[0] > 128 && p[1] > 128 && p[2] > 128;
    return p[0] < 128 && p[1] < 128 && p[2] < 128;
  });
}

void IEShrinkBWRect(TIEBaseBitmap* Source, Integer X1, Integer Y1, Integer X2, Integer Y2, TIEBaseBitmap* Dest) {
  const Integer sw = Source->GetWidth(), sh = Source->GetHeight();
  const Integer dw = Dest->GetWidth(), dh = Dest->GetHeight();
  if (sw < 1 || sh < 1 || dw < 1 || dh < 1) return;
  // A rectangle given corner-wise or reaching outside the source is ordered and clipped.
  IEOrderCorners(X1, Y1, X2, Y2);
  X1 = IEMax(X1, 0);
  Y1 = IEMax(Y1, 0);
  X2 = IEMin(X2, sw - 1);
  Y2 = IEMin(Y2, sh - 1);
  if (X1 > X2 || Y1 > Y2) return;
  if (Dest->GetPixelFormat() != ie24RGB) Dest->Allocate(dw, dh, ie24RGB);
  const double xr = double(X2 - X1 + 1) / dw, yr = double(Y2 - Y1 + 1) / dh;
  std::vector<Integer> left(dw), right(dw);
  for (Integer i = 0; i < dw; ++i) {
    left[i] = IEClamp(X1 + SafeTrunc<Integer>(i * xr - xr / 2), 0, sw - 1);
    right[i] = IEClamp(X1 + SafeTrunc<Integer>(i * xr + xr / 2), left[i], sw - 1);
  }
  const Integer spanFirst = left[0], spanLast = right[dw - 1];
  std::vector<Integer> columnCount(size_t(sw) + 1);
  const double halfRows = double(SafeTrunc<Integer>(yr)) / 2;
  for (Integer i = 0; i < dh; ++i) {
    const Integer top = IEClamp(IEClamp(SafeTrunc<Integer>(i * yr - yr / 2), 0, sh - 1) + Y1, 0, sh - 1);
    const Integer bottom = IEClamp(IEClamp(SafeTrunc<Integer>(i * yr + halfRows), 0, sh - 1) + Y1, top, sh - 1);
    std::fill(columnCount.begin(), columnCount.end(), 0);
    for (Integer y = top; y <= bottom; ++y) {
      const Byte* src = static_cast<const Byte*>(Source->GetScanline(y));
      for (Integer x = spanFirst; x <= spanLast; ++x) columnCount[x] += BitSet(src, x) ? 1 : 0;
    }
    const Integer rows = bottom - top + 1;
    Byte* out = static_cast<Byte*>(Dest->GetScanline(i));
    for (Integer x = 0; x < dw; ++x) {
      Integer set = 0;
      for (Integer c = left[x]; c <= right[x]; ++c) set += columnCount[c];
      const Integer pixels = (right[x] - left[x] + 1) * rows;
      out[x * 3] = out[x * 3 + 1] = out[x * 3 + 2] = Byte(255 * set / pixels);
    }
  }
}
