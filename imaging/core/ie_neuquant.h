// Palette by the NeuQuant neural net: a one-dimensional self-organising map of N neurons trained
// on pixels sampled in a prime-stepped order, in 32-bit integer arithmetic only.
#pragma once

#include <vector>

#include "imaging/core/ie_types.h"

class TIEBitmap;

class TIENeuQuant {
 public:
  // Quality 0 .. 100 sets the sampling factor; -1 derives it from the image size.
  TIENeuQuant(TIEBitmap* Bitmap, TRGB* Palette, Integer N, Integer Quality);
  Integer Index(TRGB Color) const;

  Integer SamplingFactor() const { return FFactor; }
  Integer PixelStep() const { return FStep; }

  // The sampling factor for a quality and a pixel count.
  static Integer FactorFor(Integer Quality, Int64 Pixels);
  // Pixels between samples for a sample length of Length bytes.
  static Integer StepFor(Int64 Length);

 private:
  struct TNeuron {
    Integer B, G, R, Position;
  };
  Integer Contest(Integer B, Integer G, Integer R);
  void AlterSingle(Integer Alpha, Integer J, Integer B, Integer G, Integer R);
  void AlterNeighbours(Integer Rad, Integer J, Integer B, Integer G, Integer R);
  void SetRadiusPowers(Integer Rad, Integer Alpha);
  void Learn(TIEBitmap* Bitmap);
  void BuildGreenIndex();

  Integer FSize;
  Integer FFactor = 1;
  Integer FStep = 499;
  std::vector<TNeuron> FNet;
  std::vector<Integer> FBias, FFreq, FRadPower;
  Integer FGreenIndex[256] = {};
};

TIENeuQuant* IENeuQuantCreate(TIEBitmap* Bitmap, TRGB* Palette, Integer N, Integer Quality);
Integer IENeuQuantIndex(const TIENeuQuant* Net, TRGB Color);
void IENeuQuantFree(TIENeuQuant*& Net);
