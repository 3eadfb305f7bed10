#include "platform/gui/stroke_outline.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kPi = std::numbers::pi;
// Largest distance, in pixels, of a flattened curve from the true one.
constexpr double kTolerance = 0.05;
// Turns smaller than this (the sine of the angle) count as going straight on.
constexpr double kStraight = 1e-9;

TStrokePoint operator+(TStrokePoint A, TStrokePoint B) { return {A.X + B.X, A.Y + B.Y}; }
TStrokePoint operator-(TStrokePoint A, TStrokePoint B) { return {A.X - B.X, A.Y - B.Y}; }
TStrokePoint operator*(TStrokePoint A, double F) { return {A.X * F, A.Y * F}; }
double Cross(TStrokePoint A, TStrokePoint B) { return A.X * B.Y - A.Y * B.X; }
double Dot(TStrokePoint A, TStrokePoint B) { return A.X * B.X + A.Y * B.Y; }

// The angle step that keeps the chords of a curve of radius R within the tolerance.
double CurveStep(double R) { return std::sqrt(8.0 * kTolerance / std::max(R, kTolerance)); }

int StepsFor(double Angle, double R) {
  return std::max(1, static_cast<int>(std::ceil(std::abs(Angle) / CurveStep(R))));
}

// One side of a figure, offset by H to the left of the direction of travel (x right, y down:
// to the right of the screen's view of it), with its corners joined.
class TSideBuilder {
 public:
  // Dir is scratch space for the directions of the segments.
  TSideBuilder(const std::vector<TStrokePoint>& P, bool Closed, double H, TStrokeJoin Join, double Limit,
               std::vector<TStrokePoint>& Dir)
      : FP(P), FClosed(Closed), FH(H), FJoin(Join), FLimit(Limit), FDir(Dir) {
    const size_t n = P.size(), segments = Closed ? n : n - 1;
    FDir.clear();
    for (size_t i = 0; i < segments; ++i) {
      const TStrokePoint d = P[(i + 1) % n] - P[i];
      FDir.push_back(d * (1.0 / std::hypot(d.X, d.Y)));
    }
  }

  bool Build(std::vector<TStrokePoint>& Out) {
    const size_t n = FP.size(), segments = FDir.size();
    if (!FClosed) {
      Out.push_back(FP[0] + Normal(0) * FH);
      for (size_t i = 1; i + 1 < n; ++i)
        if (!Join(i - 1, i, FP[i], Out)) return false;
      Out.push_back(FP[n - 1] + Normal(segments - 1) * FH);
      return true;
    }
    for (size_t i = 0; i < n; ++i)
      if (!Join((i + segments - 1) % segments, i, FP[i], Out)) return false;
    return true;
  }

 private:
  TStrokePoint Normal(size_t Segment) const { return {-FDir[Segment].Y, FDir[Segment].X}; }

  bool Join(size_t Prev, size_t Next, TStrokePoint V, std::vector<TStrokePoint>& Out) const {
    const TStrokePoint a = V + Normal(Prev) * FH, b = V + Normal(Next) * FH;
    const double turn = Cross(FDir[Prev], FDir[Next]);
    const bool reversal = std::abs(turn) < kStraight && Dot(FDir[Prev], FDir[Next]) < 0;
    if (std::abs(turn) < kStraight && !reversal) {
      Out.push_back(a);
      return true;
    }
    if (turn > 0 && !reversal) {
      // The inner side of the corner: the two offset edges overlap and the path runs through
      // the vertex between them, as the painter's stroker does.
      Out.insert(Out.end(), {a, V, b});
      return true;
    }
    switch (FJoin) {
      case TStrokeJoin::Bevel: Out.insert(Out.end(), {a, b}); return true;
      case TStrokeJoin::Miter: {
        if (reversal) return false;
        const double t = Cross(b - a, FDir[Next]) / turn;
        const TStrokePoint m = a + FDir[Prev] * t;
        if (std::hypot(m.X - V.X, m.Y - V.Y) > FLimit * FH) return false;
        Out.insert(Out.end(), {a, m, b});
        return true;
      }
      case TStrokeJoin::Round: {
        const double a0 = std::atan2(a.Y - V.Y, a.X - V.X), a1 = std::atan2(b.Y - V.Y, b.X - V.X);
        double sweep = std::remainder(a1 - a0, 2 * kPi);
        // Round the outside of the corner: on a reversal, the side ahead of the first edge.
        const double mid = a0 + sweep / 2;
        if (Dot({std::cos(mid), std::sin(mid)}, FDir[Prev]) < 0) sweep += sweep > 0 ? -2 * kPi : 2 * kPi;
        const int steps = StepsFor(sweep, FH);
        Out.push_back(a);
        for (int k = 1; k < steps; ++k) {
          const double t = a0 + sweep * k / steps;
          Out.push_back({V.X + FH * std::cos(t), V.Y + FH * std::sin(t)});
        }
        Out.push_back(b);
        return true;
      }
    }
    return false;
  }

  const std::vector<TStrokePoint>& FP;
  bool FClosed;
  double FH;
  TStrokeJoin FJoin;
  double FLimit;
  std::vector<TStrokePoint>& FDir;
};

// Scratch space kept between strokes, so that drawing many figures allocates nothing.
struct TScratch {
  std::vector<TStrokePoint> Points, There, Back, Dir;
};
TScratch& Scratch() {
  thread_local TScratch s;
  return s;
}

void AddContour(TCoverageRaster& Raster, const std::vector<TStrokePoint>& Points) {
  if (Points.empty()) return;
  Raster.MoveTo(Points[0].X, Points[0].Y);
  for (size_t i = 1; i < Points.size(); ++i) Raster.LineTo(Points[i].X, Points[i].Y);
  Raster.Close();
}

bool Finite(double V) { return std::isfinite(V); }

// The pen's inner side stays a simple curve only while the curve is rounder than the pen is wide.
bool CurveTakesPen(double RX, double RY, double H) {
  if (!(RX > 0 && RY > 0 && H > 0) || !Finite(RX) || !Finite(RY) || !Finite(H)) return false;
  return std::min(RX, RY) * std::min(RX, RY) / std::max(RX, RY) > H;
}

// A point of the ellipse at parametric angle T and the unit normal pointing out of it.
void EllipseAt(double CX, double CY, double RX, double RY, double T, TStrokePoint& P, TStrokePoint& N) {
  const double c = std::cos(T), s = std::sin(T);
  P = {CX + RX * c, CY + RY * s};
  N = {RY * c, RX * s};
  N = N * (1.0 / std::hypot(N.X, N.Y));
}

}  // namespace

bool AddPolylineStroke(TCoverageRaster& Raster, const std::vector<TStrokePoint>& Points, bool Closed,
                       double HalfWidth, TStrokeJoin Join, double MiterLimit) {
  if (!(HalfWidth > 0) || !Finite(HalfWidth)) return false;
  TScratch& scratch = Scratch();
  std::vector<TStrokePoint>& p = scratch.Points;
  p.clear();
  for (const TStrokePoint& q : Points) {
    if (!Finite(q.X) || !Finite(q.Y)) return false;
    if (p.empty() || q.X != p.back().X || q.Y != p.back().Y) p.push_back(q);
  }
  if (Closed && p.size() > 1 && p.front().X == p.back().X && p.front().Y == p.back().Y) p.pop_back();
  if (p.size() < (Closed ? 3u : 2u)) return false;

  std::vector<TStrokePoint>&there = scratch.There, &back = scratch.Back;
  there.clear(), back.clear();
  if (!TSideBuilder(p, Closed, HalfWidth, Join, MiterLimit, scratch.Dir).Build(there)) return false;
  std::reverse(p.begin(), p.end());
  if (!TSideBuilder(p, Closed, HalfWidth, Join, MiterLimit, scratch.Dir).Build(back)) return false;
  if (Closed) {
    AddContour(Raster, there);
    AddContour(Raster, back);
  } else {
    // The flat ends are the edges from one side to the other.
    there.insert(there.end(), back.begin(), back.end());
    AddContour(Raster, there);
  }
  return true;
}

bool AddEllipseStroke(TCoverageRaster& Raster, double CX, double CY, double RX, double RY, double HalfWidth) {
  if (!CurveTakesPen(RX, RY, HalfWidth) || !Finite(CX) || !Finite(CY)) return false;
  const int n = std::max(8, StepsFor(2 * kPi, std::max(RX, RY) + HalfWidth));
  std::vector<TStrokePoint>&outer = Scratch().There, &inner = Scratch().Back;
  outer.resize(static_cast<size_t>(n)), inner.resize(static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) {
    TStrokePoint p, nrm;
    EllipseAt(CX, CY, RX, RY, 2 * kPi * k / n, p, nrm);
    outer[size_t(k)] = p + nrm * HalfWidth;
    inner[size_t(n - 1 - k)] = p - nrm * HalfWidth;
  }
  AddContour(Raster, outer);
  AddContour(Raster, inner);
  return true;
}

bool AddArcStroke(TCoverageRaster& Raster, double CX, double CY, double RX, double RY, double Start, double Sweep,
                  double HalfWidth) {
  if (!CurveTakesPen(RX, RY, HalfWidth) || !Finite(CX) || !Finite(CY) || !Finite(Start) || !Finite(Sweep))
    return false;
  if (std::abs(Sweep) < kStraight || std::abs(Sweep) > 2 * kPi) return false;
  const int n = StepsFor(Sweep, std::max(RX, RY) + HalfWidth);
  std::vector<TStrokePoint>& band = Scratch().There;
  band.resize(static_cast<size_t>(2 * (n + 1)));
  for (int k = 0; k <= n; ++k) {
    TStrokePoint p, nrm;
    EllipseAt(CX, CY, RX, RY, Start + Sweep * k / n, p, nrm);
    band[size_t(k)] = p + nrm * HalfWidth;
    band[band.size() - 1 - size_t(k)] = p - nrm * HalfWidth;
  }
  AddContour(Raster, band);
  return true;
}
