#include "imaging/core/ie_neuquant.h"

#include <cstdlib>
#include <limits>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_helpers.h"
#include "platform/rtl/numerics.h"

namespace {
constexpr Integer kInitAlpha = 1024;
constexpr Integer kRadiusDecrease = 30;
}  // namespace

Integer TIENeuQuant::FactorFor(Integer Quality, Int64 Pixels) {
  if (Quality >= 0) {
    if (Quality > 100) Quality = 100;
    return SafeTrunc<Integer>((100 - Quality) / 100.0 * 29) + 1;
  }
  if (Pixels < 2000) return 1;
  return IEClamp(SafeRound<Integer>((Pixels - 2000) * 13.0 / 148000.0 + 2), 1, 30);
}

Integer TIENeuQuant::StepFor(Int64 Length) {
  if (Length % 499) return 499;
  if (Length % 491) return 491;
  if (Length % 487) return 487;
  return 503;
}

TIENeuQuant::TIENeuQuant(TIEBitmap* Bitmap, TRGB* Palette, Integer N, Integer Quality)
    : FSize(N < 1 ? 1 : (N > 256 ? 256 : N)) {
  FNet.resize(static_cast<size_t>(FSize));
  FBias.assign(static_cast<size_t>(FSize), 0);
  FFreq.assign(static_cast<size_t>(FSize), 65536 / FSize);
  for (Integer i = 0; i < FSize; ++i) {
    Integer v = (i * 4096) / FSize;
    FNet[static_cast<size_t>(i)] = TNeuron{v, v, v, 0};
  }
  FRadPower.assign(static_cast<size_t>(FSize / 8), 0);
  FFactor = FactorFor(Quality, Int64(Bitmap->GetWidth()) * Bitmap->GetHeight());
  Learn(Bitmap);
  for (Integer i = 0; i < FSize; ++i) {
    TNeuron& n = FNet[static_cast<size_t>(i)];
    for (Integer* x : {&n.B, &n.G, &n.R}) *x = IEMin((*x + 8) >> 4, 255);
    n.Position = i;
    Palette[i] = IECreateRGB(static_cast<Byte>(n.R), static_cast<Byte>(n.G), static_cast<Byte>(n.B));
  }
  BuildGreenIndex();
}

void TIENeuQuant::SetRadiusPowers(Integer Rad, Integer Alpha) {
  for (Integer i = 0; i < Rad; ++i)
    FRadPower[static_cast<size_t>(i)] = Alpha * (((Rad * Rad - i * i) * 256) / (Rad * Rad));
}

Integer TIENeuQuant::Contest(Integer B, Integer G, Integer R) {
  Integer bestd = std::numeric_limits<Integer>::max(), bestbiasd = bestd;
  Integer bestpos = 0, bestbiaspos = 0;
  for (Integer i = 0; i < FSize; ++i) {
    const TNeuron& n = FNet[static_cast<size_t>(i)];
    Integer dist = std::abs(n.B - B) + std::abs(n.G - G) + std::abs(n.R - R);
    if (dist < bestd) {
      bestd = dist;
      bestpos = i;
    }
    Integer biasdist = dist - (FBias[static_cast<size_t>(i)] >> 12);
    if (biasdist < bestbiasd) {
      bestbiasd = biasdist;
      bestbiaspos = i;
    }
    Integer betafreq = FFreq[static_cast<size_t>(i)] >> 10;
    FFreq[static_cast<size_t>(i)] -= betafreq;
    FBias[static_cast<size_t>(i)] += betafreq << 10;
  }
  FFreq[static_cast<size_t>(bestpos)] += 64;
  FBias[static_cast<size_t>(bestpos)] -= 65536;
  return bestbiaspos;
}

void TIENeuQuant::AlterSingle(Integer Alpha, Integer J, Integer B, Integer G, Integer R) {
  TNeuron& n = FNet[static_cast<size_t>(J)];
  n.B -= ((n.B - B) * Alpha) / kInitAlpha;
  n.G -= ((n.G - G) * Alpha) / kInitAlpha;
  n.R -= ((n.R - R) * Alpha) / kInitAlpha;
}

void TIENeuQuant::AlterNeighbours(Integer Rad, Integer J, Integer B, Integer G, Integer R) {
  Integer lo = IEMax(J - Rad, -1), hi = IEMin(J + Rad, FSize);
  Integer up = J + 1, down = J - 1, m = 1;
  auto move = [&](Integer index, Integer power) {
    TNeuron& n = FNet[static_cast<size_t>(index)];
    n.B -= static_cast<Integer>((Int64(n.B - B) * power) / 262144);
    n.G -= static_cast<Integer>((Int64(n.G - G) * power) / 262144);
    n.R -= static_cast<Integer>((Int64(n.R - R) * power) / 262144);
  };
  while (up < hi || down > lo) {
    Integer power = FRadPower[static_cast<size_t>(m++)];
    if (up < hi) move(up++, power);
    if (down > lo) move(down--, power);
  }
}

void TIENeuQuant::Learn(TIEBitmap* Bitmap) {
  Integer width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
  Int64 pixels = Int64(width) * height;
  if (pixels <= 0) return;
  Int64 length = pixels * 3;
  Integer alphadec = 30 + (FFactor - 1) / 3;
  Int64 samples = length / (3 * FFactor);
  Int64 delta = samples / 100;
  if (delta == 0) delta = 1;
  Integer alpha = kInitAlpha;
  Integer radius = (FSize / 8) * 64;
  Integer rad = radius / 64;
  if (rad <= 1) rad = 0;
  SetRadiusPowers(rad, alpha);
  FStep = StepFor(length);

  bool packed = Bitmap->GetPixelFormat() == ie24RGB;
  Int64 position = 0;
  for (Int64 i = 0; i < samples;) {
    Integer px = static_cast<Integer>(position % width), py = static_cast<Integer>(position / width);
    TRGB p = packed ? static_cast<const TRGB*>(Bitmap->GetScanline(py))[px] : Bitmap->GetPixelAsRGB(px, py);
    Integer b = p.b << 4, g = p.g << 4, r = p.r << 4;
    Integer j = Contest(b, g, r);
    AlterSingle(alpha, j, b, g, r);
    if (rad > 0) AlterNeighbours(rad, j, b, g, r);
    // Wrapped by the remainder: an image smaller than the step would otherwise be read past
    // its last row.
    position = (position + FStep) % pixels;
    ++i;
    if (i % delta == 0) {
      alpha -= alpha / alphadec;
      radius -= radius / kRadiusDecrease;
      rad = radius / 64;
      if (rad <= 1) rad = 0;
      SetRadiusPowers(rad, alpha);
    }
  }
}

void TIENeuQuant::BuildGreenIndex() {
  Integer previous = 0, start = 0;
  for (Integer i = 0; i < FSize; ++i) {
    Integer smallpos = i, smallval = FNet[static_cast<size_t>(i)].G;
    for (Integer j = i + 1; j < FSize; ++j)
      if (FNet[static_cast<size_t>(j)].G < smallval) {
        smallpos = j;
        smallval = FNet[static_cast<size_t>(j)].G;
      }
    if (smallpos != i) std::swap(FNet[static_cast<size_t>(i)], FNet[static_cast<size_t>(smallpos)]);
    if (smallval != previous) {
      FGreenIndex[previous] = (start + i) / 2;
      for (Integer j = previous + 1; j < smallval; ++j) FGreenIndex[j] = i;
      previous = smallval;
      start = i;
    }
  }
  FGreenIndex[previous] = (start + FSize - 1) / 2;
  for (Integer j = previous + 1; j < 256; ++j) FGreenIndex[j] = FSize - 1;
}

Integer TIENeuQuant::Index(TRGB Color) const {
  Integer b = Color.b, g = Color.g, r = Color.r;
  Integer up = FGreenIndex[g], down = up - 1, bestd = 1000, best = -1;
  while (up < FSize || down >= 0) {
    if (up < FSize) {
      const TNeuron& n = FNet[static_cast<size_t>(up)];
      Integer dist = n.G - g;
      if (dist >= bestd) {
        up = FSize;
      } else {
        ++up;
        dist = std::abs(dist) + std::abs(n.B - b);
        if (dist < bestd) {
          dist += std::abs(n.R - r);
          if (dist < bestd) {
            bestd = dist;
            best = n.Position;
          }
        }
      }
    }
    if (down >= 0) {
      const TNeuron& n = FNet[static_cast<size_t>(down)];
      Integer dist = g - n.G;
      if (dist >= bestd) {
        down = -1;
      } else {
        --down;
        dist = std::abs(dist) + std::abs(n.B - b);
        if (dist < bestd) {
          dist += std::abs(n.R - r);
          if (dist < bestd) {
            bestd = dist;
            best = n.Position;
          }
        }
      }
    }
  }
  return best;
}

TIENeuQuant* IENeuQuantCreate(TIEBitmap* Bitmap, TRGB* Palette, Integer N, Integer Quality) {
  return new TIENeuQuant(Bitmap, Palette, N, Quality);
}

Integer IENeuQuantIndex(const TIENeuQuant* Net, TRGB Color) { return Net->Index(Color); }

void IENeuQuantFree(TIENeuQuant*& Net) {
  delete Net;
  Net = nullptr;
}
