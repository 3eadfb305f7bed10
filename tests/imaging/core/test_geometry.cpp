// Geometry helpers against python3's math, plus the cases where the rules are the system's own.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <sstream>

#include "imaging/core/ie_geometry.h"
#include "tests/support/fixtures.h"

namespace {

constexpr double kPi = std::numbers::pi;

TEST(IEGeometry, DistancesAndAnglesMatchPython) {
  // Each line: x y x1 y1 x2 y2 distance point-line point-segment segment-angle angle-between.
  const char* script = R"PY(python3 - <<'EOF'
import math, random
random.seed(9)
def seg(x, y, x1, y1, x2, y2):
    dx, dy = x2 - x1, y2 - y1
    t = ((x - x1)*dx + (y - y1)*dy) / (dx*dx + dy*dy)
    t = max(0, min(1, t))
    return math.hypot(x - (x1 + t*dx), y - (y1 + t*dy))
for _ in range(200):
    x, y, x1, y1, x2, y2 = (random.randint(-500, 500) for _ in range(6))
    if (x1, y1) == (x2, y2): x2 += 1
    line = abs((x2-x1)*(y1-y) - (x1-x)*(y2-y1)) / math.hypot(x2-x1, y2-y1)
    ang = math.atan2(-(y2-y1), x2-x1) % (2*math.pi)
    u, v = (x1-x, y1-y), (x2-x1, y2-y1)
    c = (u[0]*v[0] + u[1]*v[1]) / (math.hypot(*u) * math.hypot(*v)) if math.hypot(*u) else 1
    between = math.acos(max(-1, min(1, c))) if abs(c) < 1 else 0
    print(x, y, x1, y1, x2, y2, repr(math.hypot(x2-x1, y2-y1)), repr(line), repr(seg(x, y, x1, y1, x2, y2)),
          repr(ang), repr(between))
EOF)PY";
  std::istringstream in(testsupport::RunOk(script));
  Integer x, y, x1, y1, x2, y2;
  double dist, line, seg, ang, between;
  int n = 0;
  while (in >> x >> y >> x1 >> y1 >> x2 >> y2 >> dist >> line >> seg >> ang >> between) {
    ++n;
    EXPECT_NEAR(IEDistance(x1, y1, x2, y2), dist, 1e-9);
    EXPECT_NEAR(IEDistPointLine(x, y, x1, y1, x2, y2), line, 1e-9);
    EXPECT_NEAR(IEDistPointSegment(x, y, x1, y1, x2, y2), seg, 1e-9);
    EXPECT_NEAR(IESegmentAngle(x1, y1, x2, y2), ang, 1e-12);
    EXPECT_NEAR(IEAngleBetweenSegments(x, y, x1, y1, x2, y2), between, 1e-9);
  }
  EXPECT_EQ(n, 200);
}

TEST(IEGeometry, SystemRulesAtTheEdges) {
  EXPECT_EQ(IEDistPointSegment(0, 0, 10, 0, 20, 0), 10);
  EXPECT_EQ(IEDistPointSegment(0, 0, 50000, 0, 60000, 0), 1000000);
  // Far apart points no longer wrap 32-bit squares into nonsense.
  EXPECT_NEAR(IEDistance(-2000000000, 0, 2000000000, 0), 4e9, 1);
  EXPECT_NEAR(IESegmentAngle(0, 0, 10, -10), kPi / 4, 1e-12);
  EXPECT_NEAR(IESegmentAngle(0, 0, -10, 10), 5 * kPi / 4, 1e-12);
  EXPECT_EQ(IEOrientation(10, 0, 0, 0, 0, -10), 1);
  EXPECT_NEAR(IEVertexAngle(10, 0, 0, 0, 0, -10), kPi / 2, 1e-12);
  EXPECT_EQ(IEOrientation(10, 0, 0, 0, 0, 10), -1);
  EXPECT_NEAR(IEVertexAngle(10, 0, 0, 0, 0, 10), 3 * kPi / 2, 1e-12);
  EXPECT_EQ(IEArcCos(-1), 0);
  EXPECT_NEAR(IEArcCos(0), kPi / 2, 1e-12);

  Integer w = 0, h = 0;
  IEFitSizeInBox(400, 200, 100, 100, w, h);
  EXPECT_EQ(w, 100);
  EXPECT_EQ(h, 50);
  IEFitSizeInBox(1, 1000, 10, 10, w, h);
  EXPECT_EQ(w, 1);
  EXPECT_EQ(h, 10);
  w = h = 7;
  IEFitSizeInBox(0, 10, 10, 10, w, h);
  EXPECT_EQ(w, 7);

  struct {
    Integer x2, y2, ex, ey;
  } snaps[] = {{100, 5, 100, 0},   {100, 90, 100, 100}, {5, 100, 0, 100},  {-20, -10, -10, -10},
               {-10, -20, -10, -10}, {0, 10, 0, 10},    {-10, 0, -10, 10}, {10, 0, 10, 0},
               {0, -10, 10, -10},  {-20, 10, -20, 20}};
  for (auto s : snaps) {
    Integer x = s.x2, y = s.y2;
    IESnapLineAngle(0, 0, x, y);
    EXPECT_EQ(x, s.ex) << s.x2 << "," << s.y2;
    EXPECT_EQ(y, s.ey) << s.x2 << "," << s.y2;
  }
}

TEST(IEGeometry, RectanglesPolygonsAndHitTests) {
  EXPECT_TRUE(IEPointInRect(5, 5, 5, 5, 10, 10));
  EXPECT_FALSE(IEPointInRect(5, 5, 10, 10, 5, 5));
  EXPECT_TRUE(IEPointInRectNormalized(5, 5, 10, 10, 5, 5));
  EXPECT_TRUE(IERectsIntersect(10, 10, 0, 0, 10, 10, 20, 20));
  EXPECT_FALSE(IERectsIntersect(0, 0, 9, 9, 10, 10, 20, 20));
  TRect r{5, 5, 6, 6};
  IEAddPointToRect(r, 1, 9);
  EXPECT_EQ(r.Left, 1);
  EXPECT_EQ(r.Bottom, 9);

  const TPoint square[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  EXPECT_TRUE(IEPointInPolygon(5, 5, square, 3));
  EXPECT_TRUE(IEPointInPolygon(0, 5, square, 3));    // left edge inside
  EXPECT_FALSE(IEPointInPolygon(10, 5, square, 3));  // right edge outside
  EXPECT_TRUE(IEPointInPolygon(5, 0, square, 3));    // top row counts (y grows downward)
  EXPECT_FALSE(IEPointInPolygon(5, 10, square, 3));
  TIEPointMapping twice;
  twice.ScaleX = twice.ScaleY = 2;
  twice.DestX = 100;
  EXPECT_TRUE(IEPointInScaledPolygon(115, 15, square, 4, twice));
  EXPECT_FALSE(IEPointInScaledPolygon(15, 15, square, 4, twice));

  EXPECT_EQ(IEDistPointPolyline(5, 3, square, 4, false, TIEPointMapping(), 1), 3);
  EXPECT_EQ(IEDistPointPolyline(3, 5, square, 4, false, TIEPointMapping(), 1), 5);  // open: no left edge
  EXPECT_EQ(IEDistPointPolyline(3, 5, square, 4, true, TIEPointMapping(), 1), 3);
  EXPECT_EQ(IEDistPointPolyline(3, 5, square, 0, true, TIEPointMapping(), 1), 1000000);
  EXPECT_EQ(IEDistanceToRect(5, 5, 0, 0, 10, 10, true, 1), 0);
  EXPECT_EQ(IEDistanceToRect(5, 3, 0, 0, 10, 10, false, 1), 3);
  EXPECT_EQ(IEDistanceToRect(5, 3, 0, 0, 10, 10, false, 3), 2);  // the pen reaches out one pixel
  EXPECT_LT(IEDistanceToEllipse(100, 50, 0, 0, 100, 100, false, 1), 1.5);
  EXPECT_NEAR(IEDistanceToEllipse(50, 20, 0, 0, 100, 100, false, 1), 20, 1.5);
  EXPECT_EQ(IEDistanceToEllipse(50, 50, 0, 0, 100, 100, true, 1), 0);

  TPoint pts[] = {{10, 0}, {0, 10}};
  IERotatePoints(pts, 1, 0, 90, 0);  // counter-clockwise on the screen: right goes up
  EXPECT_EQ(pts[0], (TPoint{0, -10}));
  EXPECT_EQ(pts[1], (TPoint{10, 0}));
}

}  // namespace
