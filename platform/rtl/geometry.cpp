#include "platform/rtl/geometry.h"

#include <algorithm>

TPoint Point(Integer X, Integer Y) { return {X, Y}; }

TRect Rect(Integer Left, Integer Top, Integer Right, Integer Bottom) {
  return {Left, Top, Right, Bottom};
}

TRect Bounds(Integer Left, Integer Top, Integer Width, Integer Height) {
  // Unsigned arithmetic keeps an overflowing extent defined (it wraps) instead of undefined.
  auto Add = [](Integer A, Integer B) {
    return static_cast<Integer>(static_cast<Cardinal>(A) + static_cast<Cardinal>(B));
  };
  return {Left, Top, Add(Left, Width), Add(Top, Height)};
}

bool PtInRect(const TRect& R, const TPoint& P) {
  return P.X >= R.Left && P.X < R.Right && P.Y >= R.Top && P.Y < R.Bottom;
}

bool IsRectEmpty(const TRect& R) { return R.Right <= R.Left || R.Bottom <= R.Top; }

bool EqualRect(const TRect& A, const TRect& B) { return A == B; }

bool IntersectRect(TRect& Dest, const TRect& A, const TRect& B) {
  TRect R{std::max(A.Left, B.Left), std::max(A.Top, B.Top), std::min(A.Right, B.Right),
          std::min(A.Bottom, B.Bottom)};
  if (IsRectEmpty(R)) {
    Dest = TRect{};
    return false;
  }
  Dest = R;
  return true;
}

bool UnionRect(TRect& Dest, const TRect& A, const TRect& B) {
  const bool EmptyA = IsRectEmpty(A);
  const bool EmptyB = IsRectEmpty(B);
  if (EmptyA && EmptyB) {
    Dest = TRect{};
    return false;
  }
  if (EmptyA) {
    Dest = B;
  } else if (EmptyB) {
    Dest = A;
  } else {
    Dest = TRect{std::min(A.Left, B.Left), std::min(A.Top, B.Top), std::max(A.Right, B.Right),
                 std::max(A.Bottom, B.Bottom)};
  }
  return true;
}

bool OffsetRect(TRect& R, Integer dx, Integer dy) {
  R.Left += dx;
  R.Right += dx;
  R.Top += dy;
  R.Bottom += dy;
  return true;
}

bool InflateRect(TRect& R, Integer dx, Integer dy) {
  R.Left -= dx;
  R.Right += dx;
  R.Top -= dy;
  R.Bottom += dy;
  return true;
}
