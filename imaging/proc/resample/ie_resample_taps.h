// Weighted sums of 8-bit samples along one axis, shared by the kernel resampler and the box means
// of the fast engine: each destination sample is the sum of its taps (source position, integer
// weight) divided by the sum of the weights, truncated and clamped to 0..255.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/rtl/types.h"

struct TContributor {
  Integer Index;
  Integer Weight;
};
using TContributorList = std::vector<TContributor>;

// The quotient and clamp for one list. A weight sum of 0 takes the sum as it stands (shifted by
// the 8 fractional bits of the weights), so a negative one stays black. Division by a positive
// sum is a multiply and shift that gives the same quotient for every Integer sum (M =
// ceil(2^Shift / W), Shift = 32 + ceil(log2 W)); a negative sum then truncates to at most 0,
// which clamps to 0 anyway.
class TIETapFinisher {
 public:
  explicit TIETapFinisher(Integer WeightSum);
  Integer operator()(Integer S) const {
    if (W <= 0) return Clamp(W != 0 ? S / W : S >> 8);
    if (S <= 0) return 0;
    const UInt64 q = (UInt64(Cardinal(S)) * M) >> Shift;
    return q > 255 ? 255 : Integer(q);
  }

 private:
  static Integer Clamp(Integer V) { return V < 0 ? 0 : (V > 255 ? 255 : V); }
  Integer W;
  UInt64 M = 0;
  Integer Shift = 0;
};

// The lists of an axis laid out flat, source positions already multiplied by the distance between
// neighbouring samples. They are also kept as pairs of taps with both 16-bit weights packed in one
// word, the shape the vector code multiplies and adds in one step (an odd list ends with a pair
// whose second weight is 0).
struct TIETapTable {
  std::vector<size_t> Start;  // list i is [Start[i], Start[i + 1])
  std::vector<size_t> Offset;
  std::vector<Integer> Weight;
  std::vector<TIETapFinisher> Finishers;
  std::vector<size_t> PairStart;  // list i's pairs are [PairStart[i], PairStart[i + 1])
  std::vector<size_t> PairFirst, PairSecond;
  std::vector<Cardinal> PairWeight;
  // The list's weight sum as a float where a float division gives the integer quotient, else 0.
  std::vector<float> FloatDivisor;
  bool Packed = true;  // every weight fits 16 bits
};

TIETapTable IEBuildTapTable(const std::vector<TContributorList>& Lists, size_t Step);

// One row across into DstWidth samples of Channels (1 or 3) bytes. In needs one readable byte
// after its last sample and Out one writable byte after its last (the vector code moves pixels
// four bytes at a time).
void IETapsAcross(const TIETapTable& Taps, Integer Channels, const Byte* In, Byte* Out, Integer DstWidth);
// Destination line Line, Count bytes, from whole rows of Work (the taps' offsets point at rows).
void IETapsDown(const TIETapTable& Taps, Integer Line, const Byte* Work, Byte* Out, size_t Count);
