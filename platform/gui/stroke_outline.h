// Outlines of wide pens with flat ends, laid into a coverage raster as closed contours whose
// non-zero winding is the stroked area. They follow the desktop painter's stroker: each side of
// a figure is offset by half the pen width; an outer corner gets its join (mitre, bevel or
// round), an inner corner runs through the vertex itself; curves are offset along their normals.
#pragma once

#include <vector>

#include "platform/gui/coverage_raster.h"

struct TStrokePoint {
  double X, Y;
};

enum class TStrokeJoin { Miter, Bevel, Round };

// A polyline, or a polygon when Closed. False, with nothing added, for a figure of fewer than
// two distinct points or a mitre longer than MiterLimit half widths (the painter bevels those).
bool AddPolylineStroke(TCoverageRaster& Raster, const std::vector<TStrokePoint>& Points, bool Closed,
                       double HalfWidth, TStrokeJoin Join, double MiterLimit);

// The ellipse with centre (CX, CY) and radii RX, RY, or the part of it from the parametric angle
// Start through Sweep radians (positive turns from +x towards +y). False, with nothing added,
// when the pen is wider than the curve is round (its inner side would fold over itself) or the
// sweep is empty or more than a turn.
bool AddEllipseStroke(TCoverageRaster& Raster, double CX, double CY, double RX, double RY, double HalfWidth);
bool AddArcStroke(TCoverageRaster& Raster, double CX, double CY, double RX, double RY, double Start, double Sweep,
                  double HalfWidth);
