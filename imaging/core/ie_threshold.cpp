#include "imaging/core/ie_threshold.h"

#include <cmath>
#include <cstring>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_bitmap_pixels.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/sysutils.h"

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

Integer Scale16(Word v) { return SafeTrunc<Integer>(v / 65535.0 * 255.0); }

// Kapur's maximum-entropy threshold; -2 when no cut leaves pixels on both sides. The criterion
// is the sum of the two classes' entropies, which is exactly 0 for an image of two levels: a
// search that let only positive values win would find no cut there and turn it all white.
Integer MaxEntropyThreshold(const Integer (&hist)[256], double count) {
  double p[256];
  double total = 0;
  for (int i = 0; i < 256; ++i) {
    p[i] = hist[i] / count;
    if (p[i] > 0) total -= p[i] * std::log(p[i]);
  }
  Integer best = -2;
  double bestValue = -HUGE_VAL;
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

void IEGetAverageColor(TIEBitmap* Bitmap, Integer& R, Integer& G, Integer& B) {
  R = G = B = 0;
  if (!Bitmap) return;
  const Integer w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  if (w <= 0 || h <= 0) return;
  const TIEPixelFormat format = Bitmap->GetPixelFormat();
  TRGB palette[256] = {};
  const Integer paletteLength = IEMin(Bitmap->GetPaletteLength(), 256);
  for (Integer i = 0; i < paletteLength; ++i) palette[i] = Bitmap->GetPaletteEntry(i);
  const TIEDataAccess access = Bitmap->Access;
  Bitmap->Access = iedRead;
  UInt64 totalR = 0, totalG = 0, totalB = 0;
  try {
    for (Integer y = 0; y < h; ++y) {
      const auto* s = static_cast<const Byte*>(Bitmap->GetScanline(y));
      if (!s || format == ieNull) continue;
      UInt64 sr = 0, sg = 0, sb = 0;
      for (Integer x = 0; x < w; ++x) {
        Integer r, g, b;
        if (format == ie16g) {
          r = g = b = Scale16(ReadWord(s + 2 * x));
        } else if (format == ieRGB48) {
          r = Scale16(ReadWord(s + 6 * x));
          g = Scale16(ReadWord(s + 6 * x + 2));
          b = Scale16(ReadWord(s + 6 * x + 4));
        } else {
          const TRGB c = PixelToRGB(format, s, x, palette, paletteLength);
          r = c.r;
          g = c.g;
          b = c.b;
        }
        sr += static_cast<UInt64>(r);
        sg += static_cast<UInt64>(g);
        sb += static_cast<UInt64>(b);
      }
      totalR += sr / static_cast<UInt64>(w);
      totalG += sg / static_cast<UInt64>(w);
      totalB += sb / static_cast<UInt64>(w);
    }
  } catch (...) {
    Bitmap->Access = access;
    R = G = B = 128;
    return;
  }
  Bitmap->Access = access;
  R = static_cast<Integer>(totalR / static_cast<UInt64>(h));
  G = static_cast<Integer>(totalG / static_cast<UInt64>(h));
  B = static_cast<Integer>(totalB / static_cast<UInt64>(h));
}

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
  if (format == ie1g && Dest) {
    Dest->AssignImage(Source);
    return;
  }
  if (!Dest || Dest->GetWidth() != w || Dest->GetHeight() != h || Dest->GetPixelFormat() != ie1g) {
    IEFail(Progress, "the black-and-white destination is not a 1-bit image of " + IntToStr(w) + " x " +
                         IntToStr(h) + " pixels");
    return;
  }
  const UInt64 count = UInt64(w) * UInt64(h);
  if (count == 0) return;
  Progress.Per = 100.0 / (h + 0.5);
  TPaletteCopy palette(Source);

  Integer threshold = Threshold;
  if (Threshold == -1) {
    Integer r, g, b;
    IEGetAverageColor(Source, r, g, b);
    threshold = Grey(IECreateRGB(Byte(r), Byte(g), Byte(b)));
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
