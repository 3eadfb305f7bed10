#include "imaging/core/ie_threshold.h"

#include <cmath>
#include <cstring>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_bitmap_pixels.h"

using namespace iebitmap_local;

namespace {

// The bitmap's palette as a plain table, so that every row reads the same copy.
struct TPaletteCopy {
  TRGB Entries[256] = {};
  Integer Length = 0;
  explicit TPaletteCopy(TIEBitmap* b) {
    Length = IEMin(b->GetPaletteLength(), 256);
    for (Integer i = 0; i < Length; ++i) Entries[i] = b->GetPaletteEntry(i);
  }
};

Integer Grey(TRGB c) { return IERGBToGray(c); }

// Kapur's maximum-entropy threshold; -2 when no cut gives a positive criterion.
Integer MaxEntropyThreshold(const Integer (&hist)[256], double count) {
  double p[256];
  double total = 0;
  for (int i = 0; i < 256; ++i) {
    p[i] = hist[i] / count;
    if (p[i] > 0) total -= p[i] * std::log(p[i]);
  }
  Integer best = -2;
  double bestValue = 0;
  double P = 0, Hs = 0;
  for (int t = 1; t < 256; ++t) {
    P += p[t - 1];
    if (p[t - 1] > 0) Hs -= p[t - 1] * std::log(p[t - 1]);
    if (P <= 0 || P >= 1) continue;
    double e = std::log(P * (1 - P)) + Hs / P + (total - Hs) / (1 - P);
    if (e > bestValue) {
      bestValue = e;
      best = t;
    }
  }
  return best;
}

}  // namespace

void IEGetGrayHistogram(TIEBitmap* Bitmap, Integer (&Histogram)[256]) {
  std::memset(Histogram, 0, sizeof Histogram);
  const Integer w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  const TIEPixelFormat format = Bitmap->GetPixelFormat();
  TPaletteCopy palette(Bitmap);
  for (Integer y = 0; y < h; ++y) {
    const Byte* s = static_cast<const Byte*>(Bitmap->GetScanline(y));
    if (!s) continue;
    for (Integer x = 0; x < w; ++x) {
      if (format == ie1g) ++Histogram[IEGetBit(s, x) ? 1 : 0];
      else ++Histogram[Grey(PixelToRGB(format, s, x, palette.Entries, palette.Length))];
    }
  }
}

void IEThresholdToBW(TIEBitmap* Source, TIEBitmap* Dest, Integer Threshold, TIECodecProgress& Progress) {
  const Integer w = Source->GetWidth(), h = Source->GetHeight();
  const TIEPixelFormat format = Source->GetPixelFormat();
  if (format == ie1g) {
    Dest->AssignImage(Source);
    return;
  }
  if (Dest->GetWidth() != w || Dest->GetHeight() != h || Dest->GetPixelFormat() != ie1g) return;
  const UInt64 count = UInt64(w) * UInt64(h);
  if (count == 0) return;
  Progress.Per = 100.0 / (h + 0.5);
  TPaletteCopy palette(Source);

  Integer threshold = Threshold;
  if (Threshold == -1) {
    UInt64 sumR = 0, sumG = 0, sumB = 0;
    for (Integer y = 0; y < h; ++y) {
      const Byte* s = static_cast<const Byte*>(Source->GetScanline(y));
      for (Integer x = 0; x < w; ++x) {
        TRGB c = PixelToRGB(format, s, x, palette.Entries, palette.Length);
        sumR += c.r;
        sumG += c.g;
        sumB += c.b;
      }
    }
    threshold = Grey(IECreateRGB(Byte(sumR / count), Byte(sumG / count), Byte(sumB / count)));
  } else if (Threshold == -2) {
    Integer hist[256];
    IEGetGrayHistogram(Source, hist);
    threshold = MaxEntropyThreshold(hist, static_cast<double>(count));
  }

  for (Integer y = 0; y < h; ++y) {
    const Byte* s = static_cast<const Byte*>(Source->GetScanline(y));
    Byte* d = static_cast<Byte*>(Dest->GetScanline(y));
    std::memset(d, 0, static_cast<size_t>(Dest->GetRowLen()));
    for (Integer x = 0; x < w; ++x)
      if (Grey(PixelToRGB(format, s, x, palette.Entries, palette.Length)) >= threshold) IESetBit(d, x, true);
    if (Progress.OnProgress) Progress.OnProgress(Progress.Sender, static_cast<Integer>((y + 1) * Progress.Per));
    if (IEAborting(Progress)) return;
  }
}
