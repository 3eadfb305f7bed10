// Area-coverage resampling: each destination pixel is the area-weighted mean of the pieces into
// which the source and destination grids cut each other; along a growing axis every piece is
// sampled bilinearly or bicubically at its end.
#include <array>
#include <cmath>
#include <type_traits>
#include <vector>

#include "imaging/core/ie_helpers.h"
#include "imaging/proc/resample/ie_resample.h"
#include "platform/rtl/numerics.h"

double IECubicInterpolate(Integer P0, Integer P1, Integer P2, double T, Integer P3, double Min, double Max) {
  auto nearTerm = [](double x) {
    const double a = std::fabs(x);
    return a * a * a - 2 * x * x + 1;
  };
  auto farTerm = [](double x) {
    const double a = std::fabs(x);
    return -(a * a * a) + 5 * x * x - 8 * a + 4;
  };
  double v = P0 * farTerm(T + 1) + P1 * nearTerm(T) + P2 * nearTerm(T - 1) + P3 * farTerm(T - 2);
  if (v < Min) v = Min;
  if (v > Max) v = Max;
  return v;
}

namespace {

// One piece of a row: the source pixel it lies in, where it ends inside that pixel, its length
// and whether it ends at a source boundary (else at a destination boundary).
struct TPiece {
  Integer Source;
  double End;
  double Length;
  bool SourceBoundary;
};

std::vector<TPiece> BuildPieces(Integer SrcSize, Integer DstSize, double Ratio) {
  std::vector<TPiece> pieces;
  pieces.reserve(size_t(SrcSize) + DstSize);
  double p = 0, a = 0;
  Integer k = 0, done = 0;
  // The tolerance lets a source boundary that nearly meets a destination boundary count as the
  // destination boundary first (the next piece is then about 0 long).
  while (done < DstSize && pieces.size() < size_t(SrcSize) + DstSize) {
    TPiece piece{k, 1.0, 0, false};
    if ((k + 1) + 0.0001 < a + Ratio) {
      piece.Length = (k + 1) - p;
      piece.SourceBoundary = true;
    } else {
      a = a + Ratio;
      piece.End = a - k;
      piece.Length = a - p;
    }
    p = p + piece.Length;
    pieces.push_back(piece);
    if (piece.SourceBoundary) ++k;
    else ++done;
  }
  return pieces;
}

// Everything about a piece that does not depend on the row: the offsets of the four source
// samples around it (clamped at the edges), its interpolation fractions and its length.
struct TPieceTable {
  std::vector<size_t> Left, At, Right, Right2;  // samples k-1, k, k+1, k+2, times the channel count
  std::vector<double> Fx, OneMinusFx, Length;
  std::vector<size_t> ColumnEnd;  // pieces [ColumnEnd[col-1], ColumnEnd[col]) fall into column col
};

TPieceTable BuildPieceTable(const std::vector<TPiece>& Pieces, Integer SrcSize, Integer DstSize, Integer Channels) {
  TPieceTable t;
  const size_t n = Pieces.size();
  for (auto* v : {&t.Left, &t.At, &t.Right, &t.Right2}) v->resize(n);
  t.Fx.resize(n);
  t.OneMinusFx.resize(n);
  t.Length.resize(n);
  // Should the walk stop early (it gives up after SrcSize + DstSize pieces), the column it was
  // filling keeps the remaining pieces and the columns after it stay empty.
  t.ColumnEnd.assign(size_t(DstSize), n);
  auto offset = [&](Integer x) { return size_t(IEClamp(x, 0, SrcSize - 1)) * size_t(Channels); };
  size_t col = 0;
  for (size_t i = 0; i < n; ++i) {
    const TPiece& p = Pieces[i];
    t.Left[i] = offset(p.Source - 1);
    t.At[i] = offset(p.Source);
    t.Right[i] = offset(p.Source + 1);
    t.Right2[i] = offset(p.Source + 2);
    t.Fx[i] = p.End;
    t.OneMinusFx[i] = 1 - p.End;
    t.Length[i] = p.Length;
    if (!p.SourceBoundary && col < t.ColumnEnd.size()) t.ColumnEnd[col++] = i + 1;
  }
  return t;
}

// Adds each piece's samples, weighted by its length times the row piece's height LY, into the
// accumulators of its column, in the order of the walk. Sample(i, c) gives piece i's value of
// channel c.
template <Integer C, class SampleFn>
inline void Accumulate(const TPieceTable& t, double LY, double* Acc, Integer DstWidth, SampleFn Sample) {
  const double* length = t.Length.data();
  size_t i = 0;
  for (Integer col = 0; col < DstWidth; ++col) {
    const size_t end = t.ColumnEnd[size_t(col)];
    double* a = Acc + size_t(col) * C;
    if constexpr (C == 3) {
      double a0 = a[0], a1 = a[1], a2 = a[2];
      for (; i < end; ++i) {
        const double w = length[i] * LY;
        a0 += Sample(i, 0) * w;
        a1 += Sample(i, 1) * w;
        a2 += Sample(i, 2) * w;
      }
      a[0] = a0;
      a[1] = a1;
      a[2] = a2;
    } else {
      double a0 = a[0];
      for (; i < end; ++i) a0 += Sample(i, 0) * (length[i] * LY);
      a[0] = a0;
    }
  }
}

// Round half to even of a value the accumulators can hold (well inside the Integer range), with
// no library call and whatever the rounding mode; anything else goes the long way.
inline Integer RoundSample(double V) {
  if (!(V > -1e9 && V < 1e9)) return SafeRound<Integer>(V);
  // Branch-free: the fractions are as good as random, a branch on them mostly mispredicts.
  const Integer i = Integer(V);
  const double f = V - i;
  const Integer odd = i & 1;
  const Integer up = Integer(f > 0.5) | (Integer(f == 0.5) & odd);
  const Integer down = Integer(f < -0.5) | (Integer(f == -0.5) & odd);
  return i + up - down;
}

// Bytes to doubles through a table, cheaper than converting each sample where it is used.
const std::array<double, 256>& ByteValues() {
  static const auto table = [] {
    std::array<double, 256> t{};
    for (size_t i = 0; i < t.size(); ++i) t[i] = double(i);
    return t;
  }();
  return table;
}

template <class T, Integer C>
void AreaResample(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, Integer Mode, const TIEProgressEvent& OnProgress,
                  TObject* Sender, Integer Limit) {
  const Integer sw = Source->GetWidth(), sh = Source->GetHeight();
  const Integer dw = Dest->GetWidth(), dh = Dest->GetHeight();
  if (sw < 1 || sh < 1 || dw < 1 || dh < 1 || Dest->GetPixelFormat() != Source->GetPixelFormat()) return;
  const double rx = double(sw) / dw, ry = double(sh) / dh;
  const bool interpX = rx < 1, interpY = ry < 1;
  const bool bicubic = Mode == 1;
  const TPieceTable t = BuildPieceTable(BuildPieces(sw, dw, rx), sw, dw, C);
  const size_t n = t.Length.size();
  TIEProgressReporter progress(OnProgress, Sender);

  // Rows j-1 .. j+2 of the source, clamped at its edges. Rows stay valid while the image lives.
  const T* window[4];
  auto row = [&](Integer y) { return static_cast<const T*>(Source->GetScanline(IEClamp(y, 0, sh - 1))); };
  for (Integer r = 0; r < 4; ++r) window[r] = row(r - 1);
  if (!window[0] || !window[1] || !window[2] || !window[3]) return;

  std::vector<double> acc(size_t(dw) * C, 0.0);
  // For the plain reduction of 16-bit samples, the current source row as doubles: converted once
  // per row instead of once per piece.
  std::vector<double> current((!interpX && !interpY && sizeof(T) > 1) ? size_t(sw) * C : 0);
  const T* currentFrom = nullptr;
  // Interpolated samples of the current row, one per piece and channel.
  std::vector<double> sampled((interpX || interpY) ? n * C : 0);
  const double inv = 1 / (rx * ry);
  const double limit = Limit;

  Integer j = 0, rowsDone = 0;
  double py = 0, ay = 0;
  while (rowsDone < dh) {
    double fy, ly;
    bool rowEnd;
    if ((j + 1) + 0.0001 < ay + ry) {
      fy = 1.0;
      ly = (j + 1) - py;
      rowEnd = false;
    } else {
      ay = ay + ry;
      fy = ay - j;
      ly = ay - py;
      rowEnd = true;
    }
    py = py + ly;

    if (!interpX && !interpY) {
      const size_t* at = t.At.data();
      if constexpr (std::is_same_v<T, Byte>) {
        const Byte* r0 = window[1];
        const double* value = ByteValues().data();
        Accumulate<C>(t, ly, acc.data(), dw, [&](size_t i, Integer c) { return value[r0[at[i] + c]]; });
      } else {
        if (currentFrom != window[1]) {
          currentFrom = window[1];
          for (size_t i = 0; i < current.size(); ++i) current[i] = double(currentFrom[i]);
        }
        const double* r0 = current.data();
        Accumulate<C>(t, ly, acc.data(), dw, [&](size_t i, Integer c) { return r0[at[i] + c]; });
      }
    } else {
      const T* rm = window[0];
      const T* r0 = window[1];
      const T* r1 = window[2];
      const T* r2 = window[3];
      const double oneMinusFy = 1 - fy;
      double* out = sampled.data();
      for (size_t i = 0; i < n; ++i) {
        const size_t l = t.Left[i], k = t.At[i], k1 = t.Right[i], k2 = t.Right2[i];
        const double fx = t.Fx[i], gx = t.OneMinusFx[i];
        for (Integer c = 0; c < C; ++c) {
          double value;
          if (!bicubic) {
            if (interpX && interpY)
              value = oneMinusFy * (gx * Integer(r0[k + c]) + fx * Integer(r0[k1 + c])) +
                      fy * (gx * Integer(r1[k + c]) + fx * Integer(r1[k1 + c]));
            else if (interpX)
              value = gx * Integer(r0[k + c]) + fx * Integer(r0[k1 + c]);
            else
              value = oneMinusFy * Integer(r0[k + c]) + fy * Integer(r1[k + c]);
          } else {
            if (interpX && interpY) {
              Integer v[4];
              const T* rows[4] = {rm, r0, r1, r2};
              for (Integer r = 0; r < 4; ++r)
                v[r] = SafeRound<Integer>(IECubicInterpolate(rows[r][l + c], rows[r][k + c], rows[r][k1 + c], fx,
                                                             rows[r][k2 + c], 0, limit));
              value = IECubicInterpolate(v[0], v[1], v[2], fy, v[3], 0, limit);
            } else if (interpX) {
              value = IECubicInterpolate(r0[l + c], r0[k + c], r0[k1 + c], fx, r0[k2 + c], 0, limit);
            } else {
              value = IECubicInterpolate(rm[k + c], r0[k + c], r1[k + c], fy, r2[k + c], 0, limit);
            }
          }
          out[i * C + c] = value;
        }
      }
      Accumulate<C>(t, ly, acc.data(), dw, [&](size_t i, Integer c) { return out[i * C + c]; });
    }

    if (rowEnd) {
      T* dest = static_cast<T*>(Dest->GetScanline(rowsDone));
      for (size_t i = 0; i < acc.size(); ++i) {
        dest[i] = T(IEClamp(RoundSample(acc[i] * inv), 0, Limit));
        acc[i] = 0;
      }
      ++rowsDone;
      progress.Report(SafeTrunc<Integer>(double(rowsDone) / dh * 100), false);
    } else {
      ++j;
      window[0] = window[1];
      window[1] = window[2];
      window[2] = window[3];
      window[3] = row(j + 2);
    }
  }
}

}  // namespace

void IEResampleArea8(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, Integer Mode, const TIEProgressEvent& OnProgress,
                     TObject* Sender) {
  const TIEPixelFormat pf = Source->GetPixelFormat();
  if (pf != ie8g && pf != ie24RGB) return;
  if (pf == ie8g) AreaResample<Byte, 1>(Source, Dest, Mode, OnProgress, Sender, 255);
  else AreaResample<Byte, 3>(Source, Dest, Mode, OnProgress, Sender, 255);
}

void IEResampleArea16(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, Integer Mode, const TIEProgressEvent& OnProgress,
                      TObject* Sender) {
  const TIEPixelFormat pf = Source->GetPixelFormat();
  if (pf != ie16g && pf != ieRGB48) return;
  if (pf == ie16g) AreaResample<Word, 1>(Source, Dest, Mode, OnProgress, Sender, 65535);
  else AreaResample<Word, 3>(Source, Dest, Mode, OnProgress, Sender, 65535);
}
