#include "imaging/core/ie_box_quantizer.h"

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_helpers.h"
#include "platform/rtl/numerics.h"

TIEBoxQuantizer::TIEBoxQuantizer(TIEBitmap* Bitmap, TRGB* Palette, Integer N)
    : FHistogram(32768, 0), FBoxes(256), FIndex(32768, 0), FWanted(N < 1 ? 1 : (N > 256 ? 256 : N)) {
  Integer width = Bitmap->GetWidth();
  bool packed = Bitmap->GetPixelFormat() == ie24RGB;
  Build(width, Bitmap->GetHeight(), [&](Integer y, std::vector<TRGB>& row) {
    if (packed) {
      const TRGB* src = static_cast<const TRGB*>(Bitmap->GetScanline(y));
      row.assign(src, src + width);
    } else {
      for (Integer x = 0; x < width; ++x) row[static_cast<size_t>(x)] = Bitmap->GetPixelAsRGB(x, y);
    }
  }, Palette);
}

void TIEBoxQuantizer::Build(Integer Width, Integer Height, const TRowReader& ReadRow, TRGB* Palette) {
  if (Width < 0) Width = 0;
  if (Height < 0) Height = 0;
  FPixels = double(Width) * Height;
  TIEColorBox& first = FBoxes[0];
  std::vector<TRGB> row(static_cast<size_t>(Width));
  for (Integer y = 0; y < Height; ++y) {
    ReadRow(y, row);
    for (Integer x = 0; x < Width; ++x) {
      const TRGB& p = row[static_cast<size_t>(x)];
      Integer r = p.r >> 3, g = p.g >> 3, b = p.b >> 3;
      ++FHistogram[Cell(r, g, b)];
      ++first.Hist[0][r];
      ++first.Hist[1][g];
      ++first.Hist[2][b];
    }
  }
  for (int c = 0; c < 3; ++c) first.High[c] = 32;
  first.Count = SafeTrunc<Integer>(FPixels);
  Statistics(first);

  Integer k = 1;
  while (k < FWanted) {
    Integer chosen = -1;
    double best = 0;
    for (Integer i = 0; i < k; ++i)
      if (FBoxes[static_cast<size_t>(i)].Score > best) {
        best = FBoxes[static_cast<size_t>(i)].Score;
        chosen = i;
      }
    if (chosen < 0) break;
    if (Split(chosen, k))
      ++k;
    else
      FBoxes[static_cast<size_t>(chosen)].Score = 0;
  }
  FBoxCount = k;

  for (Integer i = 0; i < k; ++i) {
    const TIEColorBox& box = FBoxes[static_cast<size_t>(i)];
    Palette[i] = IECreateRGB(static_cast<Byte>(SafeRound<Integer>(box.Mean[0]) * 8),
                             static_cast<Byte>(SafeRound<Integer>(box.Mean[1]) * 8),
                             static_cast<Byte>(SafeRound<Integer>(box.Mean[2]) * 8));
    for (Integer r = box.Low[0]; r < box.High[0]; ++r)
      for (Integer g = box.Low[1]; g < box.High[1]; ++g)
        for (Integer b = box.Low[2]; b < box.High[2]; ++b) FIndex[Cell(r, g, b)] = static_cast<Byte>(i);
  }
}

void TIEBoxQuantizer::Statistics(TIEColorBox& Box) const {
  if (Box.Count == 0) {
    Box.Score = 0;
    return;
  }
  double score = 0;
  for (int c = 0; c < 3; ++c) {
    double s1 = 0, s2 = 0;
    for (Integer j = Box.Low[c]; j < Box.High[c]; ++j) {
      s1 += double(j) * Box.Hist[c][j];
      s2 += double(j) * j * Box.Hist[c][j];
    }
    Box.Mean[c] = s1 / Box.Count;
    score += s2 - Box.Mean[c] * Box.Mean[c] * Box.Count;
  }
  Box.Score = score / FPixels;
}

bool TIEBoxQuantizer::TrialCut(const TIEColorBox& Box, Integer Channel, TIEColorBox& Lower, TIEColorBox& Upper) const {
  Integer lo = Box.Low[Channel], hi = Box.High[Channel];
  if (hi == lo + 1) return false;
  double m = Box.Mean[Channel], count = Box.Count;
  Integer start = SafeRound<Integer>((lo + m) * 0.5), end = SafeRound<Integer>((hi + m) * 0.5);
  // Cells outside the box hold nothing; the cut search may look one past its upper end.
  auto h = [&](Integer j) { return (j >= lo && j < hi) ? double(Box.Hist[Channel][j]) : 0.0; };
  double s = 0, t = 0, bestValue = -1, bestCount = count;
  for (Integer j = lo; j < start; ++j) s += h(j);
  Integer best = start;
  for (Integer e = start; e <= end; ++e) {
    s += h(e);
    if (s == count) break;
    t += h(e) * e / count;
    double v = s / (count - s) * (m - t) * (m - t);
    if (v > bestValue) {
      bestValue = v;
      best = e;
      bestCount = s;
    }
  }
  Lower = Box;
  Upper = Box;
  Lower.High[Channel] = best + 1;
  Lower.Count = static_cast<Integer>(bestCount);
  Upper.Low[Channel] = best + 1;
  Upper.Count = Box.Count - Lower.Count;
  if (Lower.Count <= 0 || Upper.Count <= 0) return false;

  for (auto& channel : Lower.Hist)
    for (Integer& v : channel) v = 0;
  for (Integer r = Lower.Low[0]; r < Lower.High[0]; ++r)
    for (Integer g = Lower.Low[1]; g < Lower.High[1]; ++g)
      for (Integer b = Lower.Low[2]; b < Lower.High[2]; ++b) {
        Integer n = static_cast<Integer>(FHistogram[Cell(r, g, b)]);
        if (!n) continue;
        Lower.Hist[0][r] += n;
        Lower.Hist[1][g] += n;
        Lower.Hist[2][b] += n;
      }
  for (int c = 0; c < 3; ++c)
    for (int j = 0; j < 32; ++j) Upper.Hist[c][j] = Box.Hist[c][j] - Lower.Hist[c][j];

  for (TIEColorBox* part : {&Lower, &Upper}) {
    for (int c = 0; c < 3; ++c) {
      Integer first = part->Low[c], last = part->High[c] - 1;
      while (first <= last && part->Hist[c][first] == 0) ++first;
      while (last >= first && part->Hist[c][last] == 0) --last;
      part->Low[c] = first;
      part->High[c] = last + 1;
    }
    Statistics(*part);
  }
  return true;
}

bool TIEBoxQuantizer::Split(Integer Slot, Integer NewSlot) {
  const TIEColorBox& box = FBoxes[static_cast<size_t>(Slot)];
  TIEColorBox lower[3], upper[3];
  Integer chosen = -1;
  double bestSum = 0;
  for (Integer c = 0; c < 3; ++c) {
    if (!TrialCut(box, c, lower[c], upper[c])) continue;
    double sum = lower[c].Score + upper[c].Score;
    if (chosen < 0 || sum < bestSum) {
      chosen = c;
      bestSum = sum;
    }
  }
  if (chosen < 0) return false;
  FBoxes[static_cast<size_t>(NewSlot)] = upper[chosen];
  FBoxes[static_cast<size_t>(Slot)] = lower[chosen];
  return true;
}

TIEBoxQuantizer* IEBoxQuantizerCreate(TIEBitmap* Bitmap, TRGB* Palette, Integer N) {
  return new TIEBoxQuantizer(Bitmap, Palette, N);
}

Byte IEBoxQuantizerIndex(const TIEBoxQuantizer* Quantizer, TRGB Color) { return Quantizer->Index(Color); }

void IEBoxQuantizerFree(TIEBoxQuantizer*& Quantizer) {
  delete Quantizer;
  Quantizer = nullptr;
}
