#include "imaging/proc/ie_conversions.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_bitmap_pixels.h"
#include "imaging/core/ie_bits.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_quantizer.h"
#include "imaging/core/ie_threshold.h"
#include "imaging/proc/ie_bit_rows.h"
#include "platform/rtl/numerics.h"

using namespace iebitmap_local;

namespace {

// 8 x 8 ordered-dither matrix, indexed [x mod 8][y mod 8].
constexpr Byte kDither[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},   {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},    {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},   {63, 31, 55, 23, 61, 29, 53, 21},
};

Integer RowPercent(Integer Done, Integer Rows) { return SafeTrunc<Integer>(Done * 100.0 / (Rows + 0.5)); }

}  // namespace

void IEConvertToGrayRect(TIEBitmap* Bitmap, Integer X1, Integer Y1, Integer X2, Integer Y2,
                         const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB) return;
  X1 = IEMax(X1, 0);
  Y1 = IEMax(Y1, 0);
  X2 = IEMin(X2, Bitmap->GetWidth());
  Y2 = IEMin(Y2, Bitmap->GetHeight());
  const Integer rows = Y2 - Y1;
  for (Integer y = Y1; y < Y2; ++y) {
    auto* p = static_cast<TRGB*>(Bitmap->GetScanline(y));
    for (Integer x = X1; x < X2; ++x) {
      const Byte g = static_cast<Byte>(IERGBToGray(p[x]));
      p[x] = TRGB{g, g, g};
    }
    if (OnProgress) OnProgress(Sender, RowPercent(y - Y1 + 1, rows));
  }
}

void IEConvertToBWOrdered(TIEBitmap* Bitmap, TIECodecProgress& Progress) {
  if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB) return;
  const Integer w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  TIEBitmap bw(w, h, ie1g);
  if (bw.GetWidth() != w || bw.GetHeight() != h) return;
  Progress.Per = 100.0 / (h + 0.5);
  for (Integer y = 0; y < h; ++y) {
    const auto* s = static_cast<const TRGB*>(Bitmap->GetScanline(y));
    auto* d = static_cast<Byte*>(bw.GetScanline(y));
    std::memset(d, 0, static_cast<size_t>(bw.GetRowLen()));
    for (Integer x = 0; x < w; ++x) {
      const TRGB c = s[x];
      // Near-white pixels stay white everywhere: the matrix's 63 would otherwise speckle them.
      const Integer level = (c.r >= 251 && c.g >= 251 && c.b >= 251) ? 64 : (IERGBToGray(c) >> 2);
      if (kDither[x & 7][y & 7] < level) d[x >> 3] |= static_cast<Byte>(0x80 >> (x & 7));
    }
    if (Progress.OnProgress) Progress.OnProgress(Progress.Sender, SafeTrunc<Integer>(Progress.Per * (y + 1)));
    if (IEAborting(Progress)) return;
  }
  Bitmap->AssignImage(&bw);
}

void IEConvertToBWThreshold(TIEBitmap* Bitmap, Integer Threshold, TIECodecProgress& Progress) {
  if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB) return;
  const Integer w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  TIEBitmap bw(w, h, ie1g);
  if (bw.GetWidth() != w || bw.GetHeight() != h) return;
  IEThresholdToBW(Bitmap, &bw, Threshold, Progress);
  if (IEAborting(Progress)) return;
  Bitmap->AssignImage(&bw);
}

Integer IEQuantizedPaletteSize(Integer NumColors) { return IEMin(IEMax(NumColors, 1), 256); }

bool IEQuantizeRGBInPlace(TIEBitmap* Bitmap, Integer NumColors, std::span<TRGB> Palette,
                          const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB) return false;
  // The quantizer writes at most 256 entries, whatever was asked.
  const size_t needed = static_cast<size_t>(IEQuantizedPaletteSize(NumColors));
  std::vector<TRGB> own;
  if (Palette.empty()) {
    own.assign(needed, TRGB{0, 0, 0});
    Palette = own;
  } else if (Palette.size() < needed) {
    return false;
  }
  const Integer w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  TIEQuantizer quantizer(Bitmap, Palette.data(), NumColors);
  for (Integer y = 0; y < h; ++y) {
    auto* p = static_cast<TRGB*>(Bitmap->GetScanline(y));
    for (Integer x = 0; x < w; ++x) {
      const Integer index = quantizer.RGBIndex(p[x]);
      if (index >= 0 && static_cast<size_t>(index) < needed) p[x] = Palette[static_cast<size_t>(index)];
    }
    if (OnProgress) OnProgress(Sender, RowPercent(y + 1, h));
  }
  return true;
}

TIEBitmap* IETwoColorsToBW(TIEBitmap* Bitmap, TRGB& Color0, TRGB& Color1) {
  if (!Bitmap) return nullptr;
  const Integer w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  if (w <= 0 || h <= 0) return nullptr;
  auto* bw = new TIEBitmap(w, h, ie1g);
  if (bw->GetWidth() != w || bw->GetHeight() != h) {
    delete bw;
    return nullptr;
  }
  // Only whether a third colour exists matters, so three slots do the work of a set.
  TRGB found[3] = {};
  Integer count = 0;
  for (Integer y = 0; y < h && count <= 2; ++y) {
    for (Integer x = 0; x < w; ++x) {
      const TRGB c = Bitmap->GetPixelAsRGB(x, y);
      bool known = false;
      for (Integer i = 0; i < count; ++i) known = known || found[i] == c;
      if (!known && count < 3) found[count++] = c;
      auto* d = static_cast<Byte*>(bw->GetScanline(y));
      IESetBit(d, x, !(c == found[0]));
    }
  }
  if (count != 2) {
    delete bw;
    return nullptr;
  }
  Color0 = found[0];
  Color1 = found[1];
  const auto lightness = [](TRGB c) {
    return static_cast<Byte>(SafeRound<Integer>(
        (c.r * IEGrayWeights.Red + c.g * IEGrayWeights.Green + c.b * IEGrayWeights.Blue) / 100.0));
  };
  if (lightness(Color1) < lightness(Color0)) {
    IEInvertBitmapRows(bw);
    std::swap(Color0, Color1);
  }
  return bw;
}

Integer IENearestPaletteIndex(std::span<const TRGB> Palette, Integer Count, TRGB Color) {
  const Integer n = IEMin(Count, static_cast<Integer>(Palette.size()));
  Integer best = 0, bestDistance = 1000;
  for (Integer i = 0; i < n; ++i) {
    const TRGB& e = Palette[static_cast<size_t>(i)];
    const Integer d = std::abs(e.r - Color.r) + std::abs(e.g - Color.g) + std::abs(e.b - Color.b);
    if (d < bestDistance) {
      bestDistance = d;
      best = i;
    }
  }
  return best;
}

Integer IEConvertRowBits(const void* Source, void* Dest, Word SourceBits, Word DestBits, Word Width,
                         std::span<const TRGB> Palette, const TIEQuantizer* Quantizer) {
  const auto* s = static_cast<const Byte*>(Source);
  auto* d = static_cast<Byte*>(Dest);
  const Integer w = Width;
  Integer bytes = 0;
  switch (DestBits) {
    case 1: bytes = (w + 7) / 8; break;
    case 4: bytes = (w + 1) / 2; break;
    case 8: bytes = w; break;
    case 24: bytes = w * 3; break;
    default: return 0;
  }
  const auto colour = [&](Integer Index) {
    return Index >= 0 && static_cast<size_t>(Index) < Palette.size() ? Palette[static_cast<size_t>(Index)] : TRGB{0, 0, 0};
  };
  const auto nibble = [&](Integer x) { return (s[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F; };
  const auto orNibble = [&](Integer x, Integer v) { d[x >> 1] |= static_cast<Byte>((v & 0x0F) << ((x & 1) ? 0 : 4)); };
  const auto index = [&](TRGB c) { return Quantizer ? IEMax(Quantizer->RGBIndex(c), 0) : 0; };
  auto* rgb = reinterpret_cast<TRGB*>(d);
  const auto* srgb = reinterpret_cast<const TRGB*>(s);

  if (SourceBits == DestBits && SourceBits != 32) {
    std::memmove(d, s, static_cast<size_t>(bytes));
    return bytes;
  }
  switch (SourceBits) {
    case 1:
      for (Integer x = 0; x < w; ++x) {
        const Integer bit = IEGetBit(s, x) ? 1 : 0;
        if (DestBits == 4) orNibble(x, bit);
        else if (DestBits == 8) d[x] = static_cast<Byte>(bit);
        else rgb[x] = colour(bit);
      }
      break;
    case 4:
      if (DestBits == 8)
        for (Integer x = 0; x < w; ++x) d[x] = static_cast<Byte>(nibble(x));
      else if (DestBits == 24)
        for (Integer x = 0; x < w; ++x) rgb[x] = colour(nibble(x));
      break;
    case 8:
      if (DestBits == 1) {
        // A byte is a palette index of a two-colour image: anything but 0 is the second colour.
        std::memset(d, 0, static_cast<size_t>(bytes));
        for (Integer x = 0; x < w; ++x)
          if (s[x]) d[x >> 3] |= static_cast<Byte>(0x80 >> (x & 7));
      } else if (DestBits == 24) {
        for (Integer x = 0; x < w; ++x) rgb[x] = colour(s[x]);
      }
      break;
    case 24:
      if (!Quantizer) break;
      if (DestBits == 4)
        for (Integer x = 0; x < w; ++x) orNibble(x, index(srgb[x]));
      else if (DestBits == 8)
        for (Integer x = 0; x < w; ++x) d[x] = static_cast<Byte>(index(srgb[x]));
      break;
    case 32:
      if (DestBits == 24)
        for (Integer x = 0; x < w; ++x) std::memcpy(rgb + x, s + 4 * x, 3);
      break;
    default: break;
  }
  return bytes;
}

void IEConvolve3x3Gray(TIEBitmap* Bitmap, const TIEKernel3x3& Kernel, Integer X1, Integer Y1, Integer X2, Integer Y2) {
  if (!Bitmap || Bitmap->GetPixelFormat() != ie8g) return;
  const Integer w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  X1 = IEMax(X1, 0);
  Y1 = IEMax(Y1, 0);
  X2 = IEMin(X2, w);
  Y2 = IEMin(Y2, h);
  if (X2 <= X1 || Y2 <= Y1) return;
  const Integer divisor = Kernel.Divisor == 0 ? 1 : Kernel.Divisor;
  std::vector<Integer> products(9 * 256);
  for (Integer k = 0; k < 9; ++k)
    for (Integer v = 0; v < 256; ++v) products[static_cast<size_t>(k * 256 + v)] = Kernel.Values[k] * v;
  TIEBitmap out(w, h, ie8g);
  if (out.GetWidth() != w || out.GetHeight() != h) return;
  std::vector<Byte> rows[3];
  for (auto& r : rows) r.resize(static_cast<size_t>(w));
  for (Integer y = Y1; y < Y2; ++y) {
    // Copied out because file-backed rows stay mapped only while they are the current one.
    for (Integer k = 0; k < 3; ++k) {
      const Integer row = IEMin(IEMax(y - 1 + k, 0), h - 1);
      std::memcpy(rows[k].data(), Bitmap->GetScanline(row), static_cast<size_t>(w));
    }
    auto* d = static_cast<Byte*>(out.GetScanline(y));
    for (Integer x = X1; x < X2; ++x) {
      const Integer xs[3] = {IEMax(x - 1, 0), x, IEMin(x + 1, w - 1)};
      Integer sum = 0;
      for (Integer k = 0; k < 3; ++k)
        for (Integer j = 0; j < 3; ++j) sum += products[static_cast<size_t>((k * 3 + j) * 256 + rows[k][static_cast<size_t>(xs[j])])];
      d[x] = static_cast<Byte>(IEClamp255(std::abs(sum) / divisor));
    }
  }
  out.CopyRectTo(Bitmap, X1, Y1, X1, Y1, X2 - X1, Y2 - Y1);
}
