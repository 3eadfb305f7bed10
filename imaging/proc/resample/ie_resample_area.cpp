// Area-coverage resampling: each destination pixel is the area-weighted mean of the pieces into
// which the source and destination grids cut each other; along a growing axis every piece is
// sampled bilinearly or bicubically at its end.
#include <cmath>
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

template <class T>
void AreaResample(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, Integer Mode, const TIEProgressEvent& OnProgress,
                  TObject* Sender, Integer Channels, Integer Limit) {
  const Integer sw = Source->GetWidth(), sh = Source->GetHeight();
  const Integer dw = Dest->GetWidth(), dh = Dest->GetHeight();
  if (sw < 1 || sh < 1 || dw < 1 || dh < 1 || Dest->GetPixelFormat() != Source->GetPixelFormat()) return;
  const double rx = double(sw) / dw, ry = double(sh) / dh;
  const bool interpX = rx < 1, interpY = ry < 1;
  const bool bicubic = Mode == 1;
  const std::vector<TPiece> pieces = BuildPieces(sw, dw, rx);
  TIEProgressReporter progress(OnProgress, Sender);

  const size_t rowSamples = size_t(sw) * Channels;
  std::vector<Integer> window[4];
  auto loadRow = [&](std::vector<Integer>& buffer, Integer row) {
    const T* src = static_cast<const T*>(Source->GetScanline(IEClamp(row, 0, sh - 1)));
    buffer.assign(src, src + rowSamples);
  };
  for (Integer r = 0; r < 4; ++r) loadRow(window[r], r - 1);

  std::vector<double> acc(size_t(dw) * Channels, 0.0);
  std::vector<T> outRow(size_t(dw) * Channels);
  const double inv = 1 / (rx * ry);
  const double limit = Limit;
  auto px = [&](Integer x, Integer r, Integer c) -> Integer {
    return window[r + 1][size_t(IEClamp(x, 0, sw - 1)) * Channels + c];
  };
  auto cubic = [&](Integer p0, Integer p1, Integer p2, Integer p3, double t) {
    return IECubicInterpolate(p0, p1, p2, t, p3, 0, limit);
  };

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

    Integer col = 0;
    for (const TPiece& piece : pieces) {
      const double weight = piece.Length * ly;
      const Integer k = piece.Source;
      const double fx = piece.End;
      for (Integer c = 0; c < Channels; ++c) {
        double value;
        if (!bicubic) {
          if (interpX && interpY)
            value = (1 - fy) * ((1 - fx) * px(k, 0, c) + fx * px(k + 1, 0, c)) +
                    fy * ((1 - fx) * px(k, 1, c) + fx * px(k + 1, 1, c));
          else if (interpX)
            value = (1 - fx) * px(k, 0, c) + fx * px(k + 1, 0, c);
          else if (interpY)
            value = (1 - fy) * px(k, 0, c) + fy * px(k, 1, c);
          else
            value = px(k, 0, c);
        } else {
          if (interpX && interpY) {
            Integer v[4];
            for (Integer r = -1; r <= 2; ++r)
              v[r + 1] = SafeRound<Integer>(cubic(px(k - 1, r, c), px(k, r, c), px(k + 1, r, c), px(k + 2, r, c), fx));
            value = cubic(v[0], v[1], v[2], v[3], fy);
          } else if (interpX) {
            value = cubic(px(k - 1, 0, c), px(k, 0, c), px(k + 1, 0, c), px(k + 2, 0, c), fx);
          } else if (interpY) {
            value = cubic(px(k, -1, c), px(k, 0, c), px(k, 1, c), px(k, 2, c), fy);
          } else {
            value = px(k, 0, c);
          }
        }
        acc[size_t(col) * Channels + c] += value * weight;
      }
      if (!piece.SourceBoundary) ++col;
    }

    if (rowEnd) {
      for (size_t i = 0; i < acc.size(); ++i) {
        outRow[i] = T(IEClamp(SafeRound<Integer>(acc[i] * inv), 0, Limit));
        acc[i] = 0;
      }
      T* out = static_cast<T*>(Dest->GetScanline(rowsDone));
      std::copy(outRow.begin(), outRow.end(), out);
      ++rowsDone;
      progress.Report(SafeTrunc<Integer>(double(rowsDone) / dh * 100), false);
    } else {
      ++j;
      std::swap(window[0], window[1]);
      std::swap(window[1], window[2]);
      std::swap(window[2], window[3]);
      loadRow(window[3], j + 2);
    }
  }
}

}  // namespace

void IEResampleArea8(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, Integer Mode, const TIEProgressEvent& OnProgress,
                     TObject* Sender) {
  const TIEPixelFormat pf = Source->GetPixelFormat();
  if (pf != ie8g && pf != ie24RGB) return;
  AreaResample<Byte>(Source, Dest, Mode, OnProgress, Sender, pf == ie8g ? 1 : 3, 255);
}

void IEResampleArea16(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, Integer Mode, const TIEProgressEvent& OnProgress,
                      TObject* Sender) {
  const TIEPixelFormat pf = Source->GetPixelFormat();
  if (pf != ie16g && pf != ieRGB48) return;
  AreaResample<Word>(Source, Dest, Mode, OnProgress, Sender, pf == ie16g ? 1 : 3, 65535);
}
