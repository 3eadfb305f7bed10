#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "platform/gui/coverage_raster.h"

namespace {

constexpr int kW = 24, kH = 20;
constexpr uint32_t kBack = 0xFF000000u, kInk = 0xFFFFFFFFu;

// A surface with a guard band of one row above and below, to catch writes off it.
struct TSurface {
  std::vector<uint32_t> Pixels = std::vector<uint32_t>((kH + 2) * kW, kBack);
  uint32_t* Rows() { return Pixels.data() + kW; }
  // Coverage of white over black: the blue byte.
  int At(int X, int Y) const { return int(Pixels[size_t((Y + 1) * kW + X)] & 0xFF); }
  bool GuardsClean() const {
    for (int x = 0; x < kW; ++x)
      if (Pixels[size_t(x)] != kBack || Pixels[size_t((kH + 1) * kW + x)] != kBack) return false;
    return true;
  }
};

void Rect(TCoverageRaster& R, double L, double T, double Rt, double B, bool Clockwise = true) {
  R.MoveTo(L, T);
  if (Clockwise) {
    R.LineTo(Rt, T), R.LineTo(Rt, B), R.LineTo(L, B);
  } else {
    R.LineTo(L, B), R.LineTo(Rt, B), R.LineTo(Rt, T);
  }
  R.Close();
}

}  // namespace

TEST(CoverageRaster, CoverageIsTheAreaUnderTheNonZeroRule) {
  struct Case {
    const char* Name;
    void (*Draw)(TCoverageRaster&);
    int X, Y, Want;
  } Cases[] = {
      {"whole pixels inside", [](TCoverageRaster& R) { Rect(R, 2, 2, 10, 8); }, 5, 5, 255},
      {"whole pixels outside", [](TCoverageRaster& R) { Rect(R, 2, 2, 10, 8); }, 10, 5, 0},
      {"half a column", [](TCoverageRaster& R) { Rect(R, 2.5, 2, 10, 8); }, 2, 4, 128},
      {"a quarter corner", [](TCoverageRaster& R) { Rect(R, 2.5, 2.5, 10, 8); }, 2, 2, 64},
      {"a sliver inside one pixel", [](TCoverageRaster& R) { Rect(R, 3.25, 4, 3.5, 5); }, 3, 4, 64},
      {"overlap of one winding counts once",
       [](TCoverageRaster& R) { Rect(R, 2, 2, 10, 8), Rect(R, 6.5, 4, 14, 12); }, 6, 5, 255},
      {"overlap edge inside the other shape",
       [](TCoverageRaster& R) { Rect(R, 2, 2, 10, 8), Rect(R, 6.5, 4, 14, 12); }, 6, 9, 128},
      {"opposite windings cancel",
       [](TCoverageRaster& R) { Rect(R, 2, 2, 14, 12), Rect(R, 5, 5, 9, 9, false); }, 6, 6, 0},
      {"opposite windings keep the ring",
       [](TCoverageRaster& R) { Rect(R, 2, 2, 14, 12), Rect(R, 5, 5, 9, 9, false); }, 3, 6, 255},
      {"diagonal halves a pixel",
       [](TCoverageRaster& R) { R.MoveTo(2, 2), R.LineTo(12, 12), R.LineTo(2, 12), R.Close(); }, 6, 6, 127},
      {"shallow edge across columns",
       [](TCoverageRaster& R) { R.MoveTo(1, 1), R.LineTo(20, 3), R.LineTo(20, 14), R.LineTo(1, 14), R.Close(); }, 10,
       2, 252},
      {"an open contour is closed",
       [](TCoverageRaster& R) { R.MoveTo(4, 4), R.LineTo(12, 4), R.LineTo(12, 10), R.LineTo(4, 10); }, 8, 8, 255},
  };
  for (const Case& c : Cases) {
    SCOPED_TRACE(c.Name);
    TSurface S;
    TCoverageRaster R;
    R.Reset(kW, kH);
    c.Draw(R);
    R.CompositeOpaque(S.Rows(), kW, 0xFFFFFF);
    EXPECT_NEAR(S.At(c.X, c.Y), c.Want, 1);
  }
  // A wedge's coverage, summed, is its area.
  TSurface S;
  TCoverageRaster R;
  R.Reset(kW, kH);
  R.MoveTo(1.3, 2.7), R.LineTo(19.6, 5.2), R.LineTo(7.1, 17.9), R.Close();
  R.CompositeOpaque(S.Rows(), kW, 0xFFFFFF);
  double sum = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) sum += S.At(x, y) / 255.0;
  const double area = std::abs((19.6 - 1.3) * (17.9 - 2.7) - (7.1 - 1.3) * (5.2 - 2.7)) / 2;
  EXPECT_NEAR(sum, area, area * 0.01);
}

TEST(CoverageRaster, FrameIsTheRasterOfItsTwoContours) {
  // Upright frames with edges at many fractions of a pixel, filled directly and traced as two
  // opposed contours: the same pixels.
  struct Case {
    double O[4], I[4];
  } Cases[] = {
      {{2, 2, 20, 16}, {4, 4, 18, 14}},           {{2.5, 2.5, 20.5, 16.5}, {3.5, 3.5, 19.5, 15.5}},
      {{1.25, 2.75, 21.1, 17.9}, {3.6, 4.3, 6.2, 15.05}}, {{3, 3, 12.5, 9.5}, {5, 5, 5, 9}},
      {{0, 0, 24, 20}, {0.5, 0.5, 23.5, 19.5}},   {{4.1, 5.9, 4.9, 6.4}, {0, 0, 0, 0}},
  };
  for (const Case& c : Cases) {
    SCOPED_TRACE(std::to_string(c.O[0]) + "," + std::to_string(c.O[1]) + " inner " + std::to_string(c.I[0]) + "," +
                 std::to_string(c.I[1]));
    TSurface Frame, Traced;
    CompositeOpaqueFrame(Frame.Rows(), kW, kW, kH, c.O, c.I, 0xFFFFFF);
    TCoverageRaster R;
    R.Reset(kW, kH);
    Rect(R, c.O[0], c.O[1], c.O[2], c.O[3]);
    if (c.I[2] > c.I[0] && c.I[3] > c.I[1]) Rect(R, c.I[0], c.I[1], c.I[2], c.I[3], false);
    R.CompositeOpaque(Traced.Rows(), kW, 0xFFFFFF);
    EXPECT_EQ(Frame.Pixels, Traced.Pixels);
  }
}

TEST(CoverageRaster, PointsOffTheSurfaceNeverWriteOffIt) {
  const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  const double Points[][2] = {{-5, -5}, {1e12, 3}, {30, 1e300}, {nan, 4}, {-inf, inf}, {12, -1e9}};
  TSurface S;
  TCoverageRaster R;
  R.Reset(kW, kH);
  R.MoveTo(Points[0][0], Points[0][1]);
  for (const auto& p : Points) R.LineTo(p[0], p[1]);
  R.CompositeOpaque(S.Rows(), kW, 0xFFFFFF);
  EXPECT_TRUE(S.GuardsClean());
  TSurface F;
  const double O[4] = {-1e9, nan, 1e9, inf}, I[4] = {3, 3, 1e20, 7};
  CompositeOpaqueFrame(F.Rows(), kW, kW, kH, O, I, 0xFFFFFF);
  EXPECT_TRUE(F.GuardsClean());
}
