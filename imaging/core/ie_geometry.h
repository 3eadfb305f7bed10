// Plane geometry on screen coordinates (y grows downward) for hit-testing, dragging and
// rotating vector objects, and for the arcs of the anti-aliased canvas. Angles are radians.
#pragma once

#include "platform/rtl/geometry.h"
#include "platform/rtl/types.h"

// Maps a point list onto the screen: x' = (x - OriginX) * ScaleX + DestX, y' likewise.
struct TIEPointMapping {
  double OriginX = 0, OriginY = 0;
  double ScaleX = 1, ScaleY = 1;
  double DestX = 0, DestY = 0;
};

double IEDistance(Integer X1, Integer Y1, Integer X2, Integer Y2);
// Distance to the infinite line through P1 and P2 (to P1 itself when the two coincide).
double IEDistPointLine(Integer X, Integer Y, Integer X1, Integer Y1, Integer X2, Integer Y2);
// Beyond an end, the distance to that end; 1,000,000 when that end lies more than 45,000
// pixels away along either axis (hit-testing treats such points as far off).
double IEDistPointSegment(Integer X, Integer Y, Integer X1, Integer Y1, Integer X2, Integer Y2);
// Smallest distance to the mapped polyline (closed back to the first point when Closed), never
// above 1,000,000; pens of width 4 and more add shifted copies of every segment.
double IEDistPointPolyline(Integer X, Integer Y, const TPoint* Points, Integer Count, bool Closed,
                           const TIEPointMapping& Map, Integer PenWidth);
// To the outline of the ellipse inscribed in the rectangle, measured on sampled chords (or,
// when Filled, on spokes from the centre).
double IEDistanceToEllipse(Integer X, Integer Y, Integer X1, Integer Y1, Integer X2, Integer Y2, bool Filled,
                           Integer PenWidth);
// To the rectangle's edges; 0 inside when Filled.
double IEDistanceToRect(Integer X, Integer Y, Integer X1, Integer Y1, Integer X2, Integer Y2, bool Filled,
                        Integer PenWidth);

double IEArcTan2(double Y, double X);
// 0 for exactly 1 and exactly -1 (not pi for -1).
double IEArcCos(double X);
// Angle 0 .. pi between P1->P2 and P2->P3; 0 when a segment has no length.
double IEAngleBetweenSegments(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3);
// Direction of P1->P2 in 0 .. 2 pi, counter-clockwise as seen on the screen (pi/2 is up).
double IESegmentAngle(Integer X1, Integer Y1, Integer X2, Integer Y2);
// 1 or -1 by the turn from P1->P2 to P1->P3; for collinear points -1 when P3 lies behind P1,
// 1 when beyond P2, else 0.
Integer IEOrientation(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3);
// Angle at P2, 0 .. 2 pi by the turn direction.
double IEVertexAngle(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3);

// Edges included.
bool IEPointInRect(Integer X, Integer Y, Integer X1, Integer Y1, Integer X2, Integer Y2);
bool IEPointInRectNormalized(Integer X, Integer Y, Integer X1, Integer Y1, Integer X2, Integer Y2);
// A with corners in any order against the ordered B, edges included.
bool IERectsIntersect(Integer AX1, Integer AY1, Integer AX2, Integer AY2, Integer BX1, Integer BY1, Integer BX2,
                      Integer BY2);
void IEAddPointToRect(TRect& Rect, Integer X, Integer Y);
// Even-odd rule over Points[0 .. LastIndex]: a point on a left or bottom edge is inside, on a
// right or top edge outside.
bool IEPointInPolygon(Integer X, Integer Y, const TPoint* Points, Integer LastIndex);
// The same test on the points mapped by Map, in floating point.
bool IEPointInScaledPolygon(Integer X, Integer Y, const TPoint* Points, Integer Count, const TIEPointMapping& Map);

// Rotates Points[0 .. LastIndex] about the centre by Angle degrees; a positive angle turns them
// counter-clockwise as seen on the screen (y grows downward), as the image rotations turn pixels.
void IERotatePoints(TPoint* Points, Integer LastIndex, Integer CenterX, double Angle, Integer CenterY);
// Largest size of the same aspect inside the box, each side at least 1; nothing for an empty
// source size.
void IEFitSizeInBox(Integer Width, Integer Height, Integer BoxWidth, Integer BoxHeight, Integer& FitWidth,
                    Integer& FitHeight);
// Snaps the end of a line drawn from (X1, Y1) to vertical, horizontal or the 45-degree diagonal.
void IESnapLineAngle(Integer X1, Integer Y1, Integer& X2, Integer& Y2);
