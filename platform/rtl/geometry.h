// Points, sizes and rectangles with the desktop's pixel rules: a rectangle covers the columns
// Left..Right-1 and the rows Top..Bottom-1, so Right and Bottom are outside it.
#pragma once

#include "platform/rtl/types.h"

struct TPoint {
  Integer X = 0;
  Integer Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TSize {
  Integer cx = 0;
  Integer cy = 0;
  friend bool operator==(const TSize&, const TSize&) = default;
};

struct TRect {
  Integer Left = 0;
  Integer Top = 0;
  Integer Right = 0;
  Integer Bottom = 0;

  Integer Width() const { return Right - Left; }
  Integer Height() const { return Bottom - Top; }
  TPoint TopLeft() const { return {Left, Top}; }
  TPoint BottomRight() const { return {Right, Bottom}; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

TPoint Point(Integer X, Integer Y);
TRect Rect(Integer Left, Integer Top, Integer Right, Integer Bottom);
// A rectangle from its top-left corner and its extent.
TRect Bounds(Integer Left, Integer Top, Integer Width, Integer Height);

// True when the point lies inside; the right and bottom edges are outside.
bool PtInRect(const TRect& R, const TPoint& P);
// True when the rectangle covers no pixel (Right <= Left or Bottom <= Top).
bool IsRectEmpty(const TRect& R);
bool EqualRect(const TRect& A, const TRect& B);
// The common part of A and B in Dest. When they share no pixel Dest becomes all zero and the
// answer is false.
bool IntersectRect(TRect& Dest, const TRect& A, const TRect& B);
// The smallest rectangle holding both; an empty operand is ignored. False (Dest all zero) when
// both are empty.
bool UnionRect(TRect& Dest, const TRect& A, const TRect& B);
// Moves R by (dx, dy). Always true.
bool OffsetRect(TRect& R, Integer dx, Integer dy);
// Grows R by dx on the left and right and by dy on the top and bottom (negative shrinks).
bool InflateRect(TRect& R, Integer dx, Integer dy);
