#include "imaging/proc/ie_blur.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/proc/ie_conversions.h"
#include "imaging/proc/ie_filter_presets.h"
#include "platform/rtl/numerics.h"

namespace {

constexpr Integer kCentre = IEGaussMaxRadius;

// The row loops below carry the whole cost of the blur. The build's -O2 does not widen loops
// whose length is not fixed, so these two ask for it; restrict tells the compiler that the sums
// never overlap the samples.
// Where the processor has 256-bit integer vectors a second copy of each uses them; the sums are
// whole numbers, so both copies give the same bytes.
#if defined(__SANITIZE_THREAD__)
// The resolver that picks a copy runs while the program is being loaded, before the thread
// sanitizer's runtime can take the instrumented code it is made of: such a build keeps one copy.
#define IE_WIDENED_LOOP __attribute__((optimize("O3")))
#else
#define IE_WIDENED_LOOP __attribute__((optimize("O3"), target_clones("avx2", "default")))
#endif

IE_WIDENED_LOOP void StartSums(DWORD* __restrict Acc, const Byte* __restrict Mid, DWORD Centre, Integer Count) {
  for (Integer i = 0; i < Count; ++i) Acc[i] = 32768u + Centre * Mid[i];
}

IE_WIDENED_LOOP void AddPair(DWORD* __restrict Acc, const Byte* __restrict A, const Byte* __restrict B, DWORD Weight,
                             Integer Count) {
  for (Integer i = 0; i < Count; ++i) Acc[i] += Weight * static_cast<DWORD>(A[i] + B[i]);
}

// Acc[i] = 32768 + sum over t of Weights[t] * Lines(t)[i], summed a whole row at a time; the
// weights are symmetric, so each pair of taps shares one product. Integer sums make the order
// irrelevant to the result.
template <typename TLine>
void Accumulate(const TIEGaussKernel& Kernel, TLine&& Line, Integer Count, DWORD* Acc) {
  StartSums(Acc, Line(0), static_cast<DWORD>(Kernel.Weights[kCentre]), Count);
  for (Integer t = 1; t <= Kernel.Radius; ++t)
    AddPair(Acc, Line(-t), Line(t), static_cast<DWORD>(Kernel.Weights[kCentre + t]), Count);
}

IE_WIDENED_LOOP void Store(const DWORD* __restrict Acc, Byte* __restrict Dest, Integer Count) {
  for (Integer i = 0; i < Count; ++i) Dest[i] = static_cast<Byte>(Acc[i] >> 16);
}

// One line through a padded copy: the end samples repeated Radius times on each side.
void BlurPadded(const TIEGaussKernel& Kernel, const Byte* Source, Byte* Dest, Integer Count, std::vector<Byte>& Pad,
                std::vector<DWORD>& Acc) {
  const Integer r = Kernel.Radius;
  Pad.resize(static_cast<size_t>(Count + 2 * r));
  std::memset(Pad.data(), Source[0], static_cast<size_t>(r));
  std::memcpy(Pad.data() + r, Source, static_cast<size_t>(Count));
  std::memset(Pad.data() + r + Count, Source[Count - 1], static_cast<size_t>(r));
  Acc.resize(static_cast<size_t>(Count));
  const Byte* base = Pad.data() + r;
  Accumulate(Kernel, [&](Integer t) { return base + t; }, Count, Acc.data());
  Store(Acc.data(), Dest, Count);
}

}  // namespace

void IEBuildGaussKernel(TIEGaussKernel& Kernel, double Radius) {
  double sum = 0;
  for (Integer i = -IEGaussMaxRadius; i <= IEGaussMaxRadius; ++i) {
    const double q = i / Radius;
    Kernel.Values[kCentre + i] = std::exp(-q * q / 2);
    sum += Kernel.Values[kCentre + i];
  }
  for (Integer i = 0; i <= 2 * IEGaussMaxRadius; ++i)
    Kernel.Weights[i] = SafeRound<Integer>(Kernel.Values[i] * 65536.0 / sum);
  Integer r = IEGaussMaxRadius;
  while (r > 1 && Kernel.Weights[kCentre + r] == 0 && Kernel.Weights[kCentre - r] == 0) --r;
  Kernel.Radius = static_cast<Byte>(r);
}

void IEBlurLine(const TIEGaussKernel& Kernel, const Byte* Source, Byte* Dest, Integer Count) {
  if (Count <= 0) return;
  std::vector<Byte> pad;
  std::vector<DWORD> acc;
  BlurPadded(Kernel, Source, Dest, Count, pad, acc);
}

void IEBlurGrayRect(TIEBitmap* Bitmap, Integer X1, Integer Y1, Integer X2, Integer Y2, double Radius) {
  if (!Bitmap || Bitmap->GetPixelFormat() != ie8g || !(Radius > 0)) return;
  const Integer w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  if (w <= 0 || h <= 0) return;
  X1 = IEClamp(X1, 0, w - 1);
  X2 = IEClamp(X2, 0, w - 1);
  Y1 = IEClamp(Y1, 0, h - 1);
  Y2 = IEClamp(Y2, 0, h - 1);
  if (X2 < X1 || Y2 < Y1) return;
  TIEGaussKernel kernel;
  IEBuildGaussKernel(kernel, Radius);
  const Integer rw = X2 - X1 + 1, rh = Y2 - Y1 + 1;
  // The rows after the horizontal pass, kept in a ring of 2 x radius + 1: the vertical pass for
  // row y needs rows y - radius .. y + radius of it, and writes row y of the image only after
  // the horizontal pass has read every row up to y + radius. The ring stays in the cache where
  // a copy of the whole image would not.
  const Integer r = kernel.Radius, ringRows = IEMin(2 * r + 1, rh);
  std::vector<Byte> ring(static_cast<size_t>(rw) * static_cast<size_t>(ringRows));
  auto passRow = [&](Integer y) { return ring.data() + static_cast<size_t>(y % ringRows) * rw; };
  std::vector<Byte> pad;
  std::vector<DWORD> acc;
  Integer done = 0;  // rows through the horizontal pass
  for (Integer y = 0; y < rh; ++y) {
    for (const Integer need = IEMin(y + r, rh - 1); done <= need; ++done) {
      const auto* row = static_cast<const Byte*>(Bitmap->GetScanline(Y1 + done)) + X1;
      BlurPadded(kernel, row, passRow(done), rw, pad, acc);
    }
    acc.resize(static_cast<size_t>(rw));
    Accumulate(kernel, [&](Integer t) { return passRow(IEClamp(y + t, 0, rh - 1)); }, rw, acc.data());
    Store(acc.data(), static_cast<Byte*>(Bitmap->GetScanline(Y1 + y)) + X1, rw);
  }
}

Integer IEAddSoftShadow(TIEBitmap* Bitmap, double Radius, Integer OffsetX, Integer OffsetY, Integer Intensity,
                        TRGB Color, Integer X1, Integer Y1, Integer X2, Integer Y2) {
  const double marginRadius = Radius == 0 ? 2.0 : Radius;
  const Integer margin =
      IEMax(2 * IEMax(std::abs(OffsetX), std::abs(OffsetY)) + SafeTrunc<Integer>(marginRadius * 5), 1);
  const Integer half = margin / 2;
  if (!Bitmap) return margin;
  const Integer w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  TIEBitmap* alpha = Bitmap->GetAlphaChannel();
  if (!alpha || w <= 0 || h <= 0) return margin;
  alpha->Full = false;
  TIEBitmap object;
  object.Location = ieMemory;
  object.Assign(alpha);

  const auto clampX = [&](Integer v) { return IEMin(IEMax(0, v), w - 1); };
  const auto clampY = [&](Integer v) { return IEMin(IEMax(0, v), h - 1); };
  const Integer bx1 = clampX(X1 - half), by1 = clampY(Y1 - half), bx2 = clampX(X2 + half), by2 = clampY(Y2 + half);
  if (Radius == 0) {
    const TIEKernel3x3* preset = nullptr;
    for (Integer i = 0; i < IEFilterPresetCount() && !preset; ++i)
      if (IEFilterPresetName(i) == "Blur") preset = IEFilterPreset(i);
    const TIEKernel3x3 box{{1, 1, 1, 1, 1, 1, 1, 1, 1}, 9};
    IEConvolve3x3Gray(alpha, preset ? *preset : box, bx1, by1, bx2, by2);
  } else {
    IEBlurGrayRect(alpha, bx1, by1, bx2, by2, Radius);
  }
  if (OffsetX != 0 || OffsetY != 0) alpha->MoveRegion(bx1, by1, bx2, by2, bx1 + OffsetX, by1 + OffsetY, 0);

  const Integer wx1 = clampX(X1 - margin), wy1 = clampY(Y1 - margin), wx2 = clampX(X2 + margin), wy2 = clampY(Y2 + margin);
  const double factor = 3.0 - IEClamp(Intensity, 0, 100) / 100.0 * 2.0;
  const TIEPixelFormat format = Bitmap->GetPixelFormat();
  for (Integer y = wy1; y <= wy2; ++y) {
    const auto* o = static_cast<const Byte*>(object.GetScanline(y));
    auto* s = static_cast<Byte*>(alpha->GetScanline(y));
    if (format == ie24RGB) {
      auto* p = static_cast<TRGB*>(Bitmap->GetScanline(y));
      for (Integer x = wx1; x <= wx2; ++x) {
        const Integer O = o[x], S = s[x];
        if (O == 0 && S != 0) {
          p[x] = Color;
          if (factor != 1.0) s[x] = static_cast<Byte>(SafeTrunc<Integer>(S / factor));
        } else if (O > 0 && O < 255) {
          const double ao = O / 255.0, as = S / 255.0;
          const auto mix = [&](Byte c, Byte v) {
            const double under = SafeTrunc<Integer>(c * as + v * (1 - as));
            return static_cast<Byte>(SafeTrunc<Integer>(v * ao + under * (1 - ao)));
          };
          p[x] = TRGB{mix(Color.b, p[x].b), mix(Color.g, p[x].g), mix(Color.r, p[x].r)};
          s[x] = static_cast<Byte>(SafeTrunc<Integer>((ao + as * (1 - ao)) * 255));
        } else {
          s[x] = static_cast<Byte>(O);
        }
      }
    } else if (format == ie1g) {
      auto* p = static_cast<Byte*>(Bitmap->GetScanline(y));
      for (Integer x = wx1; x <= wx2; ++x) {
        if (o[x] == 0 && s[x] != 0) p[x >> 3] &= static_cast<Byte>(~(0x80 >> (x & 7)));
        else s[x] = o[x];
      }
    }
  }
  return margin;
}
