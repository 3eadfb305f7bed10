// Palette by box splitting on a 32 x 32 x 32 colour histogram: the box with the largest
// weighted variance is cut where the two parts separate best, until N boxes exist or no box
// can be cut. Each pixel is read once; the lookup is one table read.
#pragma once

#include <functional>
#include <vector>

#include "imaging/core/ie_types.h"

class TBitmap;
class TIEBitmap;

struct TIEColorBox {
  double Score = 0;
  double Mean[3] = {0, 0, 0};   // red, green, blue, in 5-bit units
  Integer Count = 0;
  Integer Hist[3][32] = {};
  Integer Low[3] = {0, 0, 0};
  Integer High[3] = {0, 0, 0};   // exclusive
};

class TIEBoxQuantizer {
 public:
  // Builds up to N (1 .. 256) colours of the ie24RGB Bitmap into Palette[0 ..]; entries beyond
  // the boxes made are left as they were.
  TIEBoxQuantizer(TIEBitmap* Bitmap, TRGB* Palette, Integer N);
  // The same over a framework bitmap (pixels of any of its formats).
  TIEBoxQuantizer(TBitmap* Bitmap, TRGB* Palette, Integer N);
  Byte Index(TRGB Color) const { return FIndex[Cell(Color.r >> 3, Color.g >> 3, Color.b >> 3)]; }
  Integer BoxCount() const { return FBoxCount; }
  const TIEColorBox& Box(Integer I) const { return FBoxes[static_cast<size_t>(I)]; }

  static size_t Cell(Integer R, Integer G, Integer B) { return static_cast<size_t>((R << 10) | (G << 5) | B); }

 private:
  // Fills Row with the colours of row Y.
  using TRowReader = std::function<void(Integer Y, std::vector<TRGB>& Row)>;
  void Build(Integer Width, Integer Height, const TRowReader& ReadRow, TRGB* Palette);
  void Statistics(TIEColorBox& Box) const;
  bool Split(Integer Slot, Integer NewSlot);
  bool TrialCut(const TIEColorBox& Box, Integer Channel, TIEColorBox& Lower, TIEColorBox& Upper) const;

  std::vector<DWORD> FHistogram;
  std::vector<TIEColorBox> FBoxes;
  std::vector<Byte> FIndex;
  double FPixels = 0;
  Integer FWanted = 0;
  Integer FBoxCount = 0;
};

TIEBoxQuantizer* IEBoxQuantizerCreate(TIEBitmap* Bitmap, TRGB* Palette, Integer N);
TIEBoxQuantizer* IEBoxQuantizerCreate(TBitmap* Bitmap, TRGB* Palette, Integer N);
Byte IEBoxQuantizerIndex(const TIEBoxQuantizer* Quantizer, TRGB Color);
void IEBoxQuantizerFree(TIEBoxQuantizer*& Quantizer);
