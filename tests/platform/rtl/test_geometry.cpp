#include <gtest/gtest.h>

#include "platform/rtl/geometry.h"

TEST(Geometry, RightAndBottomEdgesAreOutside) {
  const TRect R = Bounds(10, 20, 5, 4);
  EXPECT_EQ(R, Rect(10, 20, 15, 24));
  struct Case { TPoint P; bool Inside; };
  const Case Cases[] = {{{10, 20}, true}, {{14, 23}, true}, {{15, 20}, false},
                        {{10, 24}, false}, {{9, 20}, false}, {{10, 19}, false}};
  for (const auto& C : Cases) EXPECT_EQ(PtInRect(R, C.P), C.Inside) << C.P.X << "," << C.P.Y;
}

TEST(Geometry, IntersectionAndUnion) {
  TRect D = Rect(1, 1, 1, 1);
  EXPECT_TRUE(IntersectRect(D, Rect(0, 0, 10, 10), Rect(5, 5, 20, 20)));
  EXPECT_EQ(D, Rect(5, 5, 10, 10));
  // Touching edges share no pixel.
  EXPECT_FALSE(IntersectRect(D, Rect(0, 0, 10, 10), Rect(10, 0, 20, 10)));
  EXPECT_EQ(D, TRect{});
  EXPECT_TRUE(UnionRect(D, Rect(0, 0, 0, 0), Rect(2, 3, 4, 5)));  // empty operand ignored
  EXPECT_EQ(D, Rect(2, 3, 4, 5));
  EXPECT_TRUE(UnionRect(D, Rect(0, 0, 2, 2), Rect(5, 5, 6, 7)));
  EXPECT_EQ(D, Rect(0, 0, 6, 7));
  EXPECT_FALSE(UnionRect(D, Rect(3, 3, 3, 9), Rect(4, 4, 1, 1)));
  EXPECT_TRUE(IsRectEmpty(D));
  TRect M = Rect(0, 0, 4, 4);
  InflateRect(M, -1, 2);
  OffsetRect(M, 10, 10);
  EXPECT_EQ(M, Rect(11, 8, 13, 16));
}
