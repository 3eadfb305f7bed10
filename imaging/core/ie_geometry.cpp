#include "imaging/core/ie_geometry.h"

#include <cmath>
#include <cstdlib>
#include <numbers>

#include "imaging/core/ie_helpers.h"
#include "platform/rtl/numerics.h"

namespace {

constexpr double kFar = 1000000.0;
constexpr double kNothing = 2147483647.0;
constexpr Int64 kNearLimit = 45000;

// Differences are squared in floating point: the 32-bit products of the original wrapped
// silently for points far apart, and even 64 bits do not hold every such square.
double Hypot64(Int64 dx, Int64 dy) { return std::hypot(static_cast<double>(dx), static_cast<double>(dy)); }

bool FarAway(Int64 dx, Int64 dy) { return std::llabs(dx) > kNearLimit || std::llabs(dy) > kNearLimit; }

}  // namespace

double IEDistance(Integer X1, Integer Y1, Integer X2, Integer Y2) { return Hypot64(Int64(X2) - X1, Int64(Y2) - Y1); }

double IEDistPointLine(Integer X, Integer Y, Integer X1, Integer Y1, Integer X2, Integer Y2) {
  double len = Hypot64(Int64(Y1) - Y2, Int64(X2) - X1);
  if (len == 0) return IEDistance(X, Y, X1, Y1);
  double num = (double(Y1) - Y2) * X + (double(X2) - X1) * Y + (double(X1) * Y2 - double(X2) * Y1);
  return std::fabs(num) / len;
}

double IEDistPointSegment(Integer X, Integer Y, Integer X1, Integer Y1, Integer X2, Integer Y2) {
  if (X1 == X2 && Y1 == Y2) return IEDistance(X, Y, X1, Y1);
  double ex = double(X2) - X1, ey = double(Y2) - Y1;
  double t = ((double(X) - X1) * ex + (double(Y) - Y1) * ey) / (ex * ex + ey * ey);
  if (t > 1) return FarAway(Int64(X) - X2, Int64(Y) - Y2) ? kFar : IEDistance(X, Y, X2, Y2);
  if (t < 0) return FarAway(Int64(X1) - X, Int64(Y1) - Y) ? kFar : IEDistance(X, Y, X1, Y1);
  double d = IEDistPointLine(X, Y, X1, Y1, X2, Y2);
  return std::isfinite(d) ? d : kFar;
}

double IEDistPointPolyline(Integer X, Integer Y, const TPoint* Points, Integer Count, bool Closed,
                           const TIEPointMapping& Map, Integer PenWidth) {
  if (Count <= 0 || !Points) return kFar;
  auto mapped = [&](Integer i) {
    return TPoint{SafeRound<Integer>((Points[i].X - Map.OriginX) * Map.ScaleX + Map.DestX),
                  SafeRound<Integer>((Points[i].Y - Map.OriginY) * Map.ScaleY + Map.DestY)};
  };
  Integer half = PenWidth / 2;
  auto segment = [&](TPoint a, TPoint b) {
    double best = IEDistPointSegment(X, Y, a.X, a.Y, b.X, b.Y);
    if (PenWidth > 1)
      for (Integer i = -half; i <= half; ++i)
        for (Integer j = 2; j <= half; ++j)
          best = IEMinFloat(best, IEDistPointSegment(X, Y, a.X + i, a.Y + j, b.X + i, b.Y + j));
    return best;
  };
  double best = kFar;
  TPoint prev = mapped(0);
  for (Integer i = 1; i < Count; ++i) {
    TPoint cur = mapped(i);
    best = IEMinFloat(best, segment(prev, cur));
    prev = cur;
  }
  if (Closed) best = IEMinFloat(best, segment(prev, mapped(0)));
  return best > kFar ? kFar : best;
}

double IEDistanceToEllipse(Integer X, Integer Y, Integer X1, Integer Y1, Integer X2, Integer Y2, bool Filled,
                           Integer PenWidth) {
  Integer cx = X1 + (X2 - X1) / 2, cy = Y1 + (Y2 - Y1) / 2;
  Integer px = X - cx, py = Y - cy;
  double best = kNothing;
  const double twoPi = 2 * std::numbers::pi;
  Integer half = PenWidth / 2;
  for (Integer k = -half; k <= half; ++k) {
    Integer rx = (X2 - X1) / 2 + k, ry = (Y2 - Y1) / 2 + k;
    Integer n = SafeTrunc<Integer>(IEMin(rx, ry) * twoPi);
    if (!Filled) n /= 8;
    if (n < 2) n = 2;
    Integer prevX = rx, prevY = 0;
    for (Integer w = 1; w < n; ++w) {
      double a = twoPi * w / n;
      Integer qx = SafeTrunc<Integer>(std::cos(a) * rx), qy = SafeTrunc<Integer>(std::sin(a) * ry);
      double d;
      if (Filled) {
        d = std::trunc(IEDistPointSegment(px, py, 0, 0, qx, qy));
      } else {
        d = IEDistPointSegment(px, py, prevX, prevY, qx, qy);
        prevX = qx;
        prevY = qy;
      }
      best = IEMinFloat(best, d);
    }
  }
  return best;
}

double IEDistanceToRect(Integer X, Integer Y, Integer X1, Integer Y1, Integer X2, Integer Y2, bool Filled,
                        Integer PenWidth) {
  double best = kNothing;
  Integer half = PenWidth / 2;
  for (Integer k = -half; k <= half; ++k) {
    Integer l = X1 + k, t = Y1 + k, r = X2 + k, b = Y2 + k;
    if (Filled && IEPointInRect(X, Y, l, t, r, b)) return 0;
    best = IEMinFloat(best, IEDistPointSegment(X, Y, l, t, r, t));
    best = IEMinFloat(best, IEDistPointSegment(X, Y, r, t, r, b));
    best = IEMinFloat(best, IEDistPointSegment(X, Y, r, b, l, b));
    best = IEMinFloat(best, IEDistPointSegment(X, Y, l, b, l, t));
  }
  return best;
}

double IEArcTan2(double Y, double X) { return std::atan2(Y, X); }

double IEArcCos(double X) {
  if (X == 1.0 || X == -1.0) return 0;
  return IEArcTan2(std::sqrt(1 - X * X), X);
}

double IEAngleBetweenSegments(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3) {
  double ux = double(X2) - X1, uy = double(Y2) - Y1, vx = double(X3) - X2, vy = double(Y3) - Y2;
  double lu = std::sqrt(ux * ux + uy * uy), lv = std::sqrt(vx * vx + vy * vy);
  if (lu == 0 || lv == 0) return 0;
  double c = (ux * vx + uy * vy) / (lu * lv);
  if (std::fabs(c) > 1) return 0;
  return IEArcCos(c);
}

double IESegmentAngle(Integer X1, Integer Y1, Integer X2, Integer Y2) {
  if (X1 == X2 && Y1 == Y2) return 0;
  double a = std::atan2(double(Y1) - Y2, double(X2) - X1);
  return a < 0 ? a + 2 * std::numbers::pi : a;
}

Integer IEOrientation(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3) {
  // 128-bit products: exact for every pair of 32-bit coordinates.
  using Wide = __int128;
  Wide d1x = Wide(X2) - X1, d1y = Wide(Y2) - Y1, d2x = Wide(X3) - X1, d2y = Wide(Y3) - Y1;
  Wide a = d1x * d2y, b = d1y * d2x;
  if (a > b) return 1;
  if (a < b) return -1;
  if (d1x * d2x < 0 || d1y * d2y < 0) return -1;
  if (d1x * d1x + d1y * d1y < d2x * d2x + d2y * d2y) return 1;
  return 0;
}

double IEVertexAngle(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3) {
  double a = IEDistance(X3, Y3, X2, Y2), b = IEDistance(X2, Y2, X1, Y1), c = IEDistance(X3, Y3, X1, Y1);
  if (a == 0) a = 1;
  if (b == 0) b = 1;
  if (c == 0) c = 1;
  double theta = IEArcCos((a * a + b * b - c * c) / (2 * a * b));
  if (IEOrientation(X1, Y1, X2, Y2, X3, Y3) == -1) theta = 2 * std::numbers::pi - theta;
  return theta;
}

bool IEPointInRect(Integer X, Integer Y, Integer X1, Integer Y1, Integer X2, Integer Y2) {
  return X >= X1 && X <= X2 && Y >= Y1 && Y <= Y2;
}

bool IEPointInRectNormalized(Integer X, Integer Y, Integer X1, Integer Y1, Integer X2, Integer Y2) {
  IEOrderCorners(X1, Y1, X2, Y2);
  return IEPointInRect(X, Y, X1, Y1, X2, Y2);
}

bool IERectsIntersect(Integer AX1, Integer AY1, Integer AX2, Integer AY2, Integer BX1, Integer BY1, Integer BX2,
                      Integer BY2) {
  if (IEMax(AX1, AX2) < BX1 || IEMin(AX1, AX2) > BX2) return false;
  if (IEMax(AY1, AY2) < BY1 || IEMin(AY1, AY2) > BY2) return false;
  return true;
}

void IEAddPointToRect(TRect& Rect, Integer X, Integer Y) {
  if (X < Rect.Left) Rect.Left = X;
  if (X > Rect.Right) Rect.Right = X;
  if (Y < Rect.Top) Rect.Top = Y;
  if (Y > Rect.Bottom) Rect.Bottom = Y;
}

namespace {

template <class PointAt>
bool EvenOdd(double X, double Y, Integer Count, PointAt At) {
  bool inside = false;
  if (Count <= 0) return false;
  Integer j = Count - 1;
  for (Integer i = 0; i < Count; j = i++) {
    auto [xi, yi] = At(i);
    auto [xj, yj] = At(j);
    if (((yi <= Y && Y < yj) || (yj <= Y && Y < yi)) && X < xi + (xj - xi) * (Y - yi) / (yj - yi)) inside = !inside;
  }
  return inside;
}

}  // namespace

bool IEPointInPolygon(Integer X, Integer Y, const TPoint* Points, Integer LastIndex) {
  if (!Points) return false;
  return EvenOdd(X, Y, LastIndex + 1,
                 [&](Integer i) { return std::pair<double, double>(Points[i].X, Points[i].Y); });
}

bool IEPointInScaledPolygon(Integer X, Integer Y, const TPoint* Points, Integer Count, const TIEPointMapping& Map) {
  if (!Points) return false;
  return EvenOdd(X, Y, Count, [&](Integer i) {
    return std::pair<double, double>((Points[i].X - Map.OriginX) * Map.ScaleX + Map.DestX,
                                     (Points[i].Y - Map.OriginY) * Map.ScaleY + Map.DestY);
  });
}

void IERotatePoints(TPoint* Points, Integer LastIndex, Integer CenterX, double Angle, Integer CenterY) {
  double d = -Angle * std::numbers::pi / 180.0;
  double c = std::cos(d), s = std::sin(d);
  for (Integer i = 0; i <= LastIndex; ++i) {
    double dx = double(Points[i].X) - CenterX, dy = double(Points[i].Y) - CenterY;
    Points[i].X = SafeTrunc<Integer>(CenterX + std::trunc(c * dx - s * dy));
    Points[i].Y = SafeTrunc<Integer>(CenterY + std::trunc(s * dx + c * dy));
  }
}

void IEFitSizeInBox(Integer Width, Integer Height, Integer BoxWidth, Integer BoxHeight, Integer& FitWidth,
                    Integer& FitHeight) {
  if (Width == 0 || Height == 0) return;
  double s = IEMinFloat(double(BoxWidth) / Width, double(BoxHeight) / Height);
  FitWidth = IEMax(1, SafeTrunc<Integer>(Width * s));
  FitHeight = IEMax(1, SafeTrunc<Integer>(Height * s));
}

void IESnapLineAngle(Integer X1, Integer Y1, Integer& X2, Integer& Y2) {
  Int64 dx = Int64(X1) - X2, dy = Int64(Y1) - Y2;
  Int64 ax = std::llabs(dx), ay = std::llabs(dy);
  if (ax + 30 < ay) {
    X2 = X1;
    return;
  }
  if (ay < ax - 30) {
    Y2 = Y1;
    return;
  }
  // Quadrants are half-open so that an end straight below or straight to the right of the
  // start stays put, while one straight to the left or straight above snaps.
  Int64 longer = ax > ay ? ax : ay;
  if (dx > 0 && dy > 0) {  // up and to the left: the longer offset shrinks
    if (ax > ay) X2 = static_cast<Integer>(X1 - ay); else Y2 = static_cast<Integer>(Y1 - ax);
  } else if (dx > 0 && dy <= 0) {  // down and to the left
    if (ax < ay) X2 = static_cast<Integer>(X1 - longer); else Y2 = static_cast<Integer>(Y1 + longer);
  } else if (dx <= 0 && dy > 0) {  // up and to the right
    if (ax < ay) X2 = static_cast<Integer>(X1 + longer); else Y2 = static_cast<Integer>(Y1 - longer);
  } else if (dx < 0 && dy < 0) {  // down and to the right
    if (ax < ay) X2 = static_cast<Integer>(X1 + longer); else Y2 = static_cast<Integer>(Y1 + longer);
  }
}
