#include "imaging/proc/ie_rotate_kernels.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/core/ie_bits.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_pixel_format.h"
#include "platform/rtl/numerics.h"

namespace {

constexpr long double kPi = 3.14159265358979323846264338327950288L;

double Radians(double Angle) { return static_cast<double>(Angle * kPi / 180.0L); }

std::vector<Byte*> RowTable(TIEBitmap* Bitmap) {
  std::vector<Byte*> rows(static_cast<size_t>(Bitmap->GetHeight()));
  for (Integer y = 0; y < Bitmap->GetHeight(); ++y) rows[static_cast<size_t>(y)] = static_cast<Byte*>(Bitmap->GetScanline(y));
  return rows;
}

void Report(const TIEProgressEvent& OnProgress, TObject* Sender, Integer Done, Integer Total) {
  if (OnProgress && Total > 0) OnProgress(Sender, static_cast<Integer>(Int64(Done) * 100 / Total));
}

// Prepares Dest for a copy of Source's pixels at the given size: same format and palette, and
// black for 1-bit images, whose copies only ever set bits.
bool PrepareDest(TIEBitmap* Source, TIEBitmap* Dest, Integer Width, Integer Height) {
  const TIEPixelFormat format = Source->GetPixelFormat();
  if (!Dest->Allocate(Width, Height, format)) return false;
  if (format == ie8p) Source->CopyPaletteTo(Dest);
  if (format == ie1g) Dest->Fill(0);
  return true;
}

// Copies pixel (SX of row S) to pixel (DX of row D): N bytes, or one bit when N is 0.
inline void CopyPixel(const Byte* S, Integer SX, Byte* D, Integer DX, Integer N) {
  if (N == 0) {
    if (IEGetBit(S, SX)) D[DX >> 3] |= static_cast<Byte>(0x80 >> (DX & 7));
  } else {
    std::memcpy(D + static_cast<ptrdiff_t>(DX) * N, S + static_cast<ptrdiff_t>(SX) * N, static_cast<size_t>(N));
  }
}

// Channel samplers over N bytes per pixel.
template <int N>
inline const Byte* Fetch(const TIERotSource& S, Integer X, Integer Y, const Byte* Background) {
  if (X < 0 || Y < 0 || X >= S.Width || Y >= S.Height) return Background;
  return S.Rows[Y] + static_cast<ptrdiff_t>(X) * N;
}

template <int N>
void Bilinear(const TIERotSource& S, double X, double Y, const Byte* Background, Byte* Out) {
  const Integer x0 = SafeTrunc<Integer>(X), y0 = SafeTrunc<Integer>(Y);
  const double fx = X - std::floor(X), fy = Y - std::floor(Y);
  const Byte* p00 = Fetch<N>(S, x0, y0, Background);
  const Byte* p10 = Fetch<N>(S, x0 + 1, y0, Background);
  const Byte* p01 = Fetch<N>(S, x0, y0 + 1, Background);
  const Byte* p11 = Fetch<N>(S, x0 + 1, y0 + 1, Background);
  for (int c = 0; c < N; ++c) {
    const double top = p00[c] + (p10[c] - p00[c]) * fx;
    const double bottom = p01[c] + (p11[c] - p01[c]) * fx;
    Out[c] = static_cast<Byte>(IEClamp255(SafeTrunc<Integer>(top + (bottom - top) * fy)));
  }
}

// Cubic convolution with a = -1 over the 4 x 4 neighbourhood. An overshoot beyond either end
// is cut at 0 or 255: a dark pixel beside a bright edge stays dark.
template <int N>
void Bicubic(const TIERotSource& S, double X, double Y, const Byte* Background, Byte* Out) {
  const Integer x0 = SafeTrunc<Integer>(X), y0 = SafeTrunc<Integer>(Y);
  const double t = X - x0, u = Y - y0;
  const double wx[4] = {-t * (1 - t) * (1 - t), 1 - 2 * t * t + t * t * t, t * (1 + t - t * t), -t * t * (1 - t)};
  const double wy[4] = {-u * (1 - u) * (1 - u), 1 - 2 * u * u + u * u * u, u * (1 + u - u * u), -u * u * (1 - u)};
  // Summed as differences from the pixel at (x0, y0): the weights add up to 1 only up to
  // rounding, and a flat area must come out exactly flat, not a level darker.
  const Byte* centre = Fetch<N>(S, x0, y0, Background);
  double sum[N] = {};
  for (int r = 0; r < 4; ++r) {
    double row[N] = {};
    for (int k = 0; k < 4; ++k) {
      const Byte* p = Fetch<N>(S, x0 - 1 + k, y0 - 1 + r, Background);
      for (int c = 0; c < N; ++c) row[c] += wx[k] * (p[c] - centre[c]);
    }
    for (int c = 0; c < N; ++c) sum[c] += wy[r] * row[c];
  }
  for (int c = 0; c < N; ++c) Out[c] = static_cast<Byte>(IEClamp255(SafeTrunc<Integer>(centre[c] + sum[c])));
}

template <int N>
void RotateAntialias(TIEBitmap* Bitmap, double Angle, const Byte* Background, Byte Mode,
                     const TIEProgressEvent& OnProgress, TObject* Sender) {
  const Integer w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  // The picture with a three-pixel frame of background, so that samples near its edges blend
  // into the background instead of stopping short.
  const Integer gw = w + 6, gh = h + 6;
  std::vector<Byte> grown(static_cast<size_t>(gw) * static_cast<size_t>(gh) * N);
  for (size_t i = 0; i < grown.size(); i += N) std::memcpy(&grown[i], Background, N);
  std::vector<Byte*> rows(static_cast<size_t>(gh));
  for (Integer y = 0; y < gh; ++y) rows[static_cast<size_t>(y)] = &grown[static_cast<size_t>(y) * gw * N];
  for (Integer y = 0; y < h; ++y)
    std::memcpy(rows[static_cast<size_t>(y + 3)] + 3 * N, Bitmap->GetScanline(y), static_cast<size_t>(w) * N);

  const double a = Radians(Angle), c = std::cos(a), s = std::sin(a);
  const Integer nw = SafeRound<Integer>(std::fabs(c) * (gw - 1) + std::fabs(s) * (gh - 1));
  const Integer nh = SafeRound<Integer>(std::fabs(s) * (gw - 1) + std::fabs(c) * (gh - 1));
  // The frame is cut off again at the end; a result without pixels leaves the image alone.
  if (nw - 6 < 1 || nh - 6 < 1) return;
  TIEBitmap out(nw - 6, nh - 6, Bitmap->GetPixelFormat());
  if (out.IsEmpty()) return;
  if (Bitmap->GetPixelFormat() == ie8p) Bitmap->CopyPaletteTo(&out);

  const double cxs = (gw - 1) / 2.0, cys = (gh - 1) / 2.0, cxd = (nw - 1) / 2.0, cyd = (nh - 1) / 2.0;
  std::vector<double> colCos(static_cast<size_t>(nw)), colSin(static_cast<size_t>(nw));
  for (Integer i = 0; i < nw; ++i) {
    colCos[static_cast<size_t>(i)] = (i - cxd) * c;
    colSin[static_cast<size_t>(i)] = (i - cxd) * s;
  }
  const TIERotSource source{rows.data(), gw, gh};
  for (Integer j = 0; j < nh; ++j) {
    if (j >= 3 && j < nh - 3) {
      const double rowSin = (j - cyd) * s, rowCos = (j - cyd) * c;
      Byte* d = static_cast<Byte*>(out.GetScanline(j - 3));
      for (Integer i = 3; i < nw - 3; ++i) {
        const double sx = colCos[static_cast<size_t>(i)] - rowSin + cxs;
        const double sy = colSin[static_cast<size_t>(i)] + rowCos + cys;
        Byte* px = d + static_cast<ptrdiff_t>(i - 3) * N;
        if (Mode == 2) Bicubic<N>(source, sx, sy, Background, px);
        else Bilinear<N>(source, sx, sy, Background, px);
      }
    }
    Report(OnProgress, Sender, j + 1, nh);
  }
  Bitmap->AssignImage(&out);
}

}  // namespace

TRGB IERotPixel24(const TIERotSource& Source, Integer X, Integer Y, TRGB Background) {
  TRGB r;
  std::memcpy(&r, Fetch<3>(Source, X, Y, reinterpret_cast<const Byte*>(&Background)), 3);
  return r;
}
TRGB IERotSampleBilinear24(const TIERotSource& Source, double X, double Y, TRGB Background) {
  TRGB r;
  Bilinear<3>(Source, X, Y, reinterpret_cast<const Byte*>(&Background), reinterpret_cast<Byte*>(&r));
  return r;
}
TRGB IERotSampleBicubic24(const TIERotSource& Source, double X, double Y, TRGB Background) {
  TRGB r;
  Bicubic<3>(Source, X, Y, reinterpret_cast<const Byte*>(&Background), reinterpret_cast<Byte*>(&r));
  return r;
}
Byte IERotPixel8(const TIERotSource& Source, Integer X, Integer Y, Byte Background) {
  return *Fetch<1>(Source, X, Y, &Background);
}
Byte IERotSampleBilinear8(const TIERotSource& Source, double X, double Y, Byte Background) {
  Byte r;
  Bilinear<1>(Source, X, Y, &Background, &r);
  return r;
}
Byte IERotSampleBicubic8(const TIERotSource& Source, double X, double Y, Byte Background) {
  Byte r;
  Bicubic<1>(Source, X, Y, &Background, &r);
  return r;
}

void IERotateAntialias24(TIEBitmap* Bitmap, double Angle, TColor Background, Byte Mode,
                         const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Bitmap || Bitmap->IsEmpty() || Bitmap->GetPixelFormat() != ie24RGB || !std::isfinite(Angle)) return;
  const TRGB bg = IETColorToTRGB(Background);
  RotateAntialias<3>(Bitmap, Angle, reinterpret_cast<const Byte*>(&bg), Mode, OnProgress, Sender);
}

void IERotateAntialias8(TIEBitmap* Bitmap, double Angle, Integer Background, Byte Mode) {
  if (!Bitmap || Bitmap->IsEmpty() || Bitmap->GetBitCount() != 8 || !std::isfinite(Angle)) return;
  const Byte bg = static_cast<Byte>(Background);
  RotateAntialias<1>(Bitmap, Angle, &bg, Mode, nullptr, nullptr);
}

void IERotateQuarter(TIEBitmap* Source, TIEBitmap* Dest, bool Clockwise) {
  if (!Source || !Dest || Source == Dest || Source->IsEmpty()) return;
  const Integer w = Source->GetWidth(), h = Source->GetHeight();
  if (!PrepareDest(Source, Dest, h, w)) return;
  const Integer n = IEBytesPerPixel(Source->GetPixelFormat());
  const std::vector<Byte*> src = RowTable(Source);
  // Destination row y is source column W-1-y (counter-clockwise) or y (clockwise), read from
  // the top (clockwise: from the bottom).
  for (Integer y = 0; y < w; ++y) {
    Byte* d = static_cast<Byte*>(Dest->GetScanline(y));
    const Integer sx = Clockwise ? y : w - 1 - y;
    for (Integer x = 0; x < h; ++x) CopyPixel(src[static_cast<size_t>(Clockwise ? h - 1 - x : x)], sx, d, x, n);
  }
}

void IERotateHalf(TIEBitmap* Source, TIEBitmap* Dest) {
  if (!Source || !Dest || Source == Dest || Source->IsEmpty()) return;
  const Integer w = Source->GetWidth(), h = Source->GetHeight();
  if (!PrepareDest(Source, Dest, w, h)) return;
  const Integer n = IEBytesPerPixel(Source->GetPixelFormat());
  for (Integer y = 0; y < h; ++y) {
    const Byte* s = static_cast<const Byte*>(Source->GetScanline(y));
    Byte* d = static_cast<Byte*>(Dest->GetScanline(h - 1 - y));
    for (Integer x = 0; x < w; ++x) CopyPixel(s, x, d, w - 1 - x, n);
  }
}

void IERotateNearest(TIEBitmap* Source, TIEBitmap* Dest, double Angle, TColor Background,
                     const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Source || !Dest || Source == Dest || Source->IsEmpty()) return;
  if (Angle == std::trunc(Angle) && SafeTrunc<Int64>(Angle) % 90 == 0) {
    switch (SafeTrunc<Int64>(Angle) % 360) {
      case 90: case -270: IERotateQuarter(Source, Dest, false); break;
      case 180: case -180: IERotateHalf(Source, Dest); break;
      case 270: case -90: IERotateQuarter(Source, Dest, true); break;
      default: Dest->Assign(Source); break;
    }
    return;
  }
  if (!std::isfinite(Angle)) return;
  const TIEPixelFormat format = Source->GetPixelFormat();
  const Integer w = Source->GetWidth(), h = Source->GetHeight();
  const double a = Radians(Angle), c = std::cos(a), s = std::sin(a);
  const Integer nw = SafeRound<Integer>(std::fabs(c) * w + std::fabs(s) * h);
  const Integer nh = SafeRound<Integer>(std::fabs(s) * w + std::fabs(c) * h);
  if (nw < 1 || nh < 1 || !Dest->Allocate(nw, nh, format)) return;
  if (format == ie8p) Source->CopyPaletteTo(Dest);
  Dest->Fill(format == ie1g ? 0.0 : static_cast<double>(Background));

  const Integer n = IEBytesPerPixel(format);
  const std::vector<Byte*> src = RowTable(Source);
  const double cxs = (w - 1) / 2.0, cys = (h - 1) / 2.0, cxd = (nw - 1) / 2.0, cyd = (nh - 1) / 2.0;
  std::vector<double> colCos(static_cast<size_t>(nw)), colSin(static_cast<size_t>(nw));
  for (Integer i = 0; i < nw; ++i) {
    colCos[static_cast<size_t>(i)] = (i - cxd) * c;
    colSin[static_cast<size_t>(i)] = (i - cxd) * s;
  }
  for (Integer j = 0; j < nh; ++j) {
    Byte* d = static_cast<Byte*>(Dest->GetScanline(j));
    const double rowSin = (j - cyd) * s, rowCos = (j - cyd) * c;
    for (Integer i = 0; i < nw; ++i) {
      const Int64 xs = SafeRound<Int64>(colCos[static_cast<size_t>(i)] - rowSin + cxs);
      const Int64 ys = SafeRound<Int64>(colSin[static_cast<size_t>(i)] + rowCos + cys);
      if (xs >= 0 && xs < w && ys >= 0 && ys < h)
        CopyPixel(src[static_cast<size_t>(ys)], static_cast<Integer>(xs), d, i, n);
    }
    Report(OnProgress, Sender, j + 1, nh);
  }
}

void IERotateNearestInPlace(TIEBitmap* Bitmap, double Angle, TColor Background, const TIEProgressEvent& OnProgress,
                            TObject* Sender) {
  if (!Bitmap || Bitmap->IsEmpty() || !std::isfinite(Angle)) return;
  TIEBitmap turned;
  IERotateNearest(Bitmap, &turned, Angle, Background, OnProgress, Sender);
  if (!turned.IsEmpty()) Bitmap->AssignImage(&turned);
}
