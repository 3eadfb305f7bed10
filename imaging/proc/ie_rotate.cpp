#include "imaging/proc/ie_rotate.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/core/ie_bits.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_pixel_format.h"
#include "imaging/proc/ie_rotate_kernels.h"
#include "platform/rtl/numerics.h"

namespace {

constexpr long double kPi = 3.14159265358979323846264338327950288L;

// A picture as one packed block of N-byte pixels, top row first.
struct TPacked {
  Integer Width = 0;
  Integer Height = 0;
  std::vector<Byte> Pixels;
};

template <int N>
Byte* PackedRow(TPacked& P, Integer Y) {
  return P.Pixels.data() + static_cast<size_t>(Y) * static_cast<size_t>(P.Width) * N;
}

template <int N>
TPacked Load(TIEBitmap* Bitmap) {
  TPacked p;
  p.Width = Bitmap->GetWidth();
  p.Height = Bitmap->GetHeight();
  p.Pixels.resize(static_cast<size_t>(p.Width) * static_cast<size_t>(p.Height) * N);
  for (Integer y = 0; y < p.Height; ++y)
    std::memcpy(PackedRow<N>(p, y), Bitmap->GetScanline(y), static_cast<size_t>(p.Width) * N);
  return p;
}

// Counter-clockwise: the source's right column becomes the top row.
template <int N>
TPacked Quarter(TPacked& S, bool Clockwise) {
  TPacked d;
  d.Width = S.Height;
  d.Height = S.Width;
  d.Pixels.resize(S.Pixels.size());
  for (Integer y = 0; y < d.Height; ++y) {
    Byte* out = PackedRow<N>(d, y);
    const Integer sx = Clockwise ? y : S.Width - 1 - y;
    for (Integer x = 0; x < d.Width; ++x) {
      const Integer sy = Clockwise ? S.Height - 1 - x : x;
      std::memcpy(out + static_cast<size_t>(x) * N, PackedRow<N>(S, sy) + static_cast<size_t>(sx) * N, N);
    }
  }
  return d;
}

// The image takes the packed picture over; its palette and its own alpha channel stay.
template <int N>
void Store(TIEBitmap* Bitmap, TPacked& P) {
  TIEBitmap out(P.Width, P.Height, Bitmap->GetPixelFormat());
  if (out.IsEmpty()) return;
  Bitmap->CopyPaletteTo(&out);
  for (Integer y = 0; y < P.Height; ++y)
    std::memcpy(out.GetScanline(y), PackedRow<N>(P, y), static_cast<size_t>(P.Width) * N);
  Bitmap->AssignImage(&out);
}

// Writes Count pixels (source step SrcStep bytes) into a line of DestLen positions (step
// DestStep bytes) from position Shift on; with blending each written pixel mixes the previous
// source pixel by K/4096 into the current one, and the pixel after the run takes the rest of the
// last one over the background.
template <int N>
void ShearRun(const Byte* Src, ptrdiff_t SrcStep, Integer Count, Byte* Dest, ptrdiff_t DestStep, Integer DestLen,
              Integer Shift, const Byte* Background, bool Blend, Integer K) {
  const Integer L = 4096 - K;
  const Byte* prev = Background;
  for (Integer i = 0; i < Count; ++i) {
    const Byte* s = Src + i * SrcStep;
    const Integer pos = i + Shift;
    if (pos >= 0 && pos < DestLen) {
      Byte* d = Dest + pos * DestStep;
      if (Blend)
        for (int c = 0; c < N; ++c) d[c] = static_cast<Byte>(IEClamp255((prev[c] * K + s[c] * L + 2048) >> 12));
      else
        std::memcpy(d, s, N);
    }
    prev = s;
  }
  const Integer next = Count + Shift;
  if (Blend && K > 0 && next >= 0 && next < DestLen) {
    Byte* d = Dest + next * DestStep;
    for (int c = 0; c < N; ++c) d[c] = static_cast<Byte>(IEClamp255((prev[c] * K + Background[c] * L + 2048) >> 12));
  }
}

template <int N>
void FillLine(Byte* Dest, ptrdiff_t Step, Integer Count, const Byte* Background) {
  for (Integer i = 0; i < Count; ++i) std::memcpy(Dest + i * Step, Background, N);
}

template <int N>
void RotateByShears(TIEBitmap* Bitmap, bool AntiAlias, double Angle, const Byte* Background,
                    const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (Bitmap->IsEmpty() || Angle == 0 || !std::isfinite(Angle)) return;
  // Thousandths of a degree, so that quarter turns are recognised exactly.
  const Int64 thousandths = SafeTrunc<Int64>(Angle * 1000) % 360000;
  double a = thousandths / 1000.0;
  TPacked t = Load<N>(Bitmap);
  while (a > 45) {
    t = Quarter<N>(t, false);
    a -= 90;
  }
  while (a < -45) {
    t = Quarter<N>(t, true);
    a += 90;
  }
  if (a == 0) {
    Store<N>(Bitmap, t);
    return;
  }

  const Integer w = t.Width, h = t.Height;
  const double r = static_cast<double>(a * kPi / 180.0L);
  const double tn = std::fabs(std::sin(r / 2) / std::cos(r / 2)), sn = std::fabs(std::sin(r));
  const Integer w1 = SafeRound<Integer>(h * tn + w + 1);
  const Integer s = SafeRound<Integer>((w1 - w) * sn);
  const Integer h2 = SafeRound<Integer>(sn * w1 + h + 1);
  const Integer dd = SafeRound<Integer>(tn * (h2 - h - s));
  const Integer h3 = SafeRound<Integer>(h2 - 2.0 * s);
  const Integer w3 = SafeRound<Integer>(tn * h3 + w1 + 1 - 2.0 * dd);
  if (w3 < 1 || h3 < 1) return;
  const double step = 100.0 / (h + w1 + h3);
  const auto report = [&](Integer Done) {
    if (OnProgress) OnProgress(Sender, SafeTrunc<Integer>(Done * step));
  };
  const auto fraction = [](double Offset) { return Offset - std::trunc(Offset); };
  // A blended run starts at the whole part of its offset: the blend weight supplies the
  // fraction. Starting it at the rounded offset as well would push every line whose fraction
  // is a half or more one pixel too far, and the edges and details would zigzag.
  const auto start = [AntiAlias](double Offset) {
    return AntiAlias ? SafeTrunc<Integer>(Offset) : SafeRound<Integer>(Offset);
  };

  // Pass 1: rows slide right by y * tan(a / 2).
  std::vector<Byte> one(static_cast<size_t>(w1) * static_cast<size_t>(h) * N);
  for (Integer y = 0; y < h; ++y) {
    const double offset = (r > 0 ? y : h - y) * tn;
    Byte* line = one.data() + static_cast<size_t>(y) * w1 * N;
    FillLine<N>(line, N, w1, Background);
    ShearRun<N>(PackedRow<N>(t, y), N, w, line, N, w1, start(offset), Background, AntiAlias,
                SafeTrunc<Integer>(fraction(offset) * 4096));
    report(y);
  }
  t.Pixels.clear();
  t.Pixels.shrink_to_fit();

  // Pass 2: columns slide down by x * sin(a).
  std::vector<Byte> two(static_cast<size_t>(w1) * static_cast<size_t>(h2) * N);
  const ptrdiff_t stride = static_cast<ptrdiff_t>(w1) * N;
  for (Integer x = 0; x < w1; ++x) {
    const double offset = (r > 0 ? w1 - x : x) * sn;
    Byte* column = two.data() + static_cast<size_t>(x) * N;
    FillLine<N>(column, stride, h2, Background);
    ShearRun<N>(one.data() + static_cast<size_t>(x) * N, stride, h, column, stride, h2,
                start(offset) - s, Background, AntiAlias, SafeRound<Integer>(fraction(offset) * 4096));
    report(h + x);
  }
  one.clear();
  one.shrink_to_fit();

  // Pass 3: rows slide again by y * tan(a / 2), into the image at its final size.
  TIEBitmap out(w3, h3, Bitmap->GetPixelFormat());
  if (out.IsEmpty()) return;
  Bitmap->CopyPaletteTo(&out);
  for (Integer y = 0; y < h3; ++y) {
    const double offset = (r > 0 ? y : h3 - y) * tn;
    Byte* line = static_cast<Byte*>(out.GetScanline(y));
    FillLine<N>(line, N, w3, Background);
    ShearRun<N>(two.data() + static_cast<size_t>(y) * stride, N, w1, line, N, w3, start(offset) - dd,
                Background, AntiAlias, SafeRound<Integer>(fraction(offset) * 4096));
    report(h + w1 + y);
  }
  Bitmap->AssignImage(&out);
}

// Nearest-pixel rotation with four-decimal sines and truncated coordinates. Bits: 1-bit rows,
// set outside when Outside is not 0; else one byte per pixel with Outside outside.
void RotateNearestTruncated(TIEBitmap* Bitmap, double Angle, bool Bits, Byte Outside, TIECodecProgress* Progress) {
  const Integer w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  const double r = -Angle / 57.295779513082320877;
  const double c = std::trunc(std::cos(r) * 10000) / 10000, sn = std::trunc(std::sin(r) * 10000) / 10000;
  const Integer nw = SafeTrunc<Integer>(std::fabs(h * sn) + std::fabs(w * c));
  const Integer nh = SafeTrunc<Integer>(std::fabs(h * c) + std::fabs(w * sn));
  if (nw < 1 || nh < 1) return;
  TIEBitmap out(nw, nh, Bitmap->GetPixelFormat());
  if (out.IsEmpty()) return;
  Bitmap->CopyPaletteTo(&out);
  const double cx = w / 2.0 - 0.5, cy = h / 2.0 - 0.5, ncx = nw / 2.0 - 0.5, ncy = nh / 2.0 - 0.5;
  std::vector<Integer> dx(static_cast<size_t>(nw)), dy(static_cast<size_t>(nw));
  for (Integer i = 0; i < nw; ++i) {
    dx[static_cast<size_t>(i)] = SafeTrunc<Integer>((i - ncx) * c);
    dy[static_cast<size_t>(i)] = SafeTrunc<Integer>(-(i - ncx) * sn);
  }
  std::vector<const Byte*> src(static_cast<size_t>(h));
  for (Integer y = 0; y < h; ++y) src[static_cast<size_t>(y)] = static_cast<const Byte*>(Bitmap->GetScanline(y));
  for (Integer j = 0; j < nh; ++j) {
    const Integer rx = SafeTrunc<Integer>((j - ncy) * sn + cx), ry = SafeTrunc<Integer>((j - ncy) * c + cy);
    Byte* d = static_cast<Byte*>(out.GetScanline(j));
    if (Bits) std::memset(d, 0, static_cast<size_t>(out.GetRowLen()));
    for (Integer i = 0; i < nw; ++i) {
      const Int64 x = Int64(dx[static_cast<size_t>(i)]) + rx, y = Int64(dy[static_cast<size_t>(i)]) + ry;
      const bool inside = x >= 0 && x < w && y >= 0 && y < h;
      if (Bits) {
        if (inside ? IEGetBit(src[static_cast<size_t>(y)], static_cast<Integer>(x)) : Outside != 0) IESetBit(d, i, true);
      } else {
        d[i] = inside ? src[static_cast<size_t>(y)][x] : Outside;
      }
    }
    if (Progress && Progress->OnProgress) Progress->OnProgress(Progress->Sender, static_cast<Integer>(Int64(j) * 100 / nh));
  }
  Bitmap->Assign(&out);
}

// The exact turns of the nearest-pixel rotations; false for any other angle.
bool ExactTurn(TIEBitmap* Bitmap, double Angle) {
  TIEBitmap out;
  if (Angle == 90 || Angle == -270) IERotateQuarter(Bitmap, &out, false);
  else if (Angle == -90 || Angle == 270) IERotateQuarter(Bitmap, &out, true);
  else if (Angle == 180 || Angle == -180) IERotateHalf(Bitmap, &out);
  else return false;
  if (!out.IsEmpty()) Bitmap->Assign(&out);
  return true;
}

void TurnCopy(TIEBitmap* Source, TIEBitmap* Dest, bool Clockwise, Integer Bytes) {
  if (!Source || !Dest || Source->IsEmpty() || IEBytesPerPixel(Source->GetPixelFormat()) != Bytes) return;
  IERotateQuarter(Source, Dest, Clockwise);
}

}  // namespace

void IERotateBitmap(TIEBitmap* Bitmap, bool AntiAlias, TObject* Sender, double Angle, TRGB Background,
                    const TIEProgressEvent& OnProgress) {
  if (!Bitmap) return;
  if (Bitmap->GetPixelFormat() == ie1g) {
    TIECodecProgress progress;
    progress.OnProgress = OnProgress;
    progress.Sender = Sender;
    IERotateBW(Bitmap, Background.r != 0 && Background.g != 0 && Background.b != 0, progress, Angle);
    return;
  }
  if (Bitmap->GetPixelFormat() != ie24RGB) return;
  RotateByShears<3>(Bitmap, AntiAlias, Angle, reinterpret_cast<const Byte*>(&Background), OnProgress, Sender);
}

void IERotateBitmap8(TIEBitmap* Bitmap, bool AntiAlias, Byte Background, double Angle,
                     const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Bitmap || (Bitmap->GetPixelFormat() != ie8g && Bitmap->GetPixelFormat() != ie8p)) return;
  RotateByShears<1>(Bitmap, AntiAlias, Angle, &Background, OnProgress, Sender);
}

void IERotateBW(TIEBitmap* Bitmap, bool BackgroundBit, TIECodecProgress& Progress, double Angle) {
  if (!Bitmap || Bitmap->IsEmpty() || Bitmap->GetPixelFormat() != ie1g || !std::isfinite(Angle)) return;
  if (ExactTurn(Bitmap, Angle)) return;
  RotateNearestTruncated(Bitmap, Angle, true, BackgroundBit ? 1 : 0, &Progress);
}

void IERotateGray8Nearest(TIEBitmap* Bitmap, Byte Fill, double Angle) {
  if (!Bitmap || Bitmap->IsEmpty() || !std::isfinite(Angle)) return;
  if (Bitmap->GetPixelFormat() != ie8g && Bitmap->GetPixelFormat() != ie8p) return;
  if (ExactTurn(Bitmap, Angle)) return;
  RotateNearestTruncated(Bitmap, Angle, false, Fill, nullptr);
}

void IERotate24Clockwise90(TIEBitmap* Source, TIEBitmap* Dest) { TurnCopy(Source, Dest, true, 3); }
void IERotate24CounterClockwise90(TIEBitmap* Source, TIEBitmap* Dest) { TurnCopy(Source, Dest, false, 3); }
void IERotate8Clockwise90(TIEBitmap* Source, TIEBitmap* Dest) { TurnCopy(Source, Dest, true, 1); }
void IERotate8CounterClockwise90(TIEBitmap* Source, TIEBitmap* Dest) { TurnCopy(Source, Dest, false, 1); }

bool IEIsMultipleOf90(double Angle) {
  if (!std::isfinite(Angle) || Angle != std::trunc(Angle)) return false;
  return SafeTrunc<Int64>(Angle) % 90 == 0;
}

namespace {

void FlipOne(TIEBitmap* Bitmap, Integer Direction) {
  const Integer w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  const TIEPixelFormat format = Bitmap->GetPixelFormat();
  TIEBitmap out(w, h, format);
  if (out.IsEmpty()) return;
  Bitmap->CopyPaletteTo(&out);
  const size_t rowLen = static_cast<size_t>(IEMin(Bitmap->GetRowLen(), out.GetRowLen()));
  const Integer n = IEBytesPerPixel(format);
  for (Integer y = 0; y < h; ++y) {
    Byte* d = static_cast<Byte*>(out.GetScanline(y));
    if (Direction == 1) {
      std::memcpy(d, Bitmap->GetScanline(h - 1 - y), rowLen);
      continue;
    }
    const Byte* s = static_cast<const Byte*>(Bitmap->GetScanline(y));
    if (format == ie1g) {
      std::memset(d, 0, rowLen);
      for (Integer x = 0; x < w; ++x)
        if (IEGetBit(s, x)) IESetBit(d, w - 1 - x, true);
    } else {
      for (Integer x = 0; x < w; ++x)
        std::memcpy(d + static_cast<size_t>(w - 1 - x) * n, s + static_cast<size_t>(x) * n, static_cast<size_t>(n));
    }
  }
  Bitmap->AssignImage(&out);
}

}  // namespace

void IEFlipBitmap(TIEBitmap* Bitmap, Integer Direction) {
  if (!Bitmap || Bitmap->IsEmpty() || (Direction != 0 && Direction != 1)) return;
  FlipOne(Bitmap, Direction);
  if (Bitmap->HasAlphaChannel()) {
    FlipOne(Bitmap->GetAlphaChannel(), Direction);
    Bitmap->GetAlphaChannel()->SyncOpaqueFlag();
  }
}
