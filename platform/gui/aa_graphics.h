// Anti-aliased drawing on a canvas, the desktop's 2-D graphics service: lines, rectangles,
// ellipses, arcs, polygons and paths with float coordinates; pens with width, dash style and
// line join; solid and hatched brushes, each colour with its own transparency (ARGB).
//
// Coordinates name pixel centres, as the other platform's graphics library counts them: a line
// from (0, 0) to (4, 0) of width 1 covers pixels 0..4 of row 0. Fills cover the area between
// the given edges: a 9 x 9 rectangle at (10, 10) covers pixels 10..18.
#pragma once

#include <memory>
#include <vector>

#include "platform/gui/canvas.h"

struct TAAPen {
  DWORD ARGB = 0xFF000000u;
  float Width = 1.0f;
  // 0 solid, 1 dash, 2 dot, 3 dash-dot, 4 dash-dot-dot.
  Integer DashStyle = 0;
  // 0 miter, 1 bevel, 2 round, 3 miter clipped.
  Integer LineJoin = 2;
};

struct TAABrush {
  DWORD ARGB = 0xFF000000u;
  // -1 solid; 0 horizontal, 1 vertical, 2 forward diagonal, 3 backward diagonal, 4 cross,
  // 5 diagonal cross lines in ARGB over BackARGB.
  Integer Hatch = -1;
  DWORD BackARGB = 0;
};

// A figure of arcs and lines, each joined to the one before; filled with the alternate rule.
class TAAPath {
 public:
  TAAPath();
  ~TAAPath();
  void AddArc(float X, float Y, float Width, float Height, float StartDegrees, float SweepDegrees);
  void AddLine(float X1, float Y1, float X2, float Y2);

  struct Impl;
  Impl* Internals() const { return FImpl.get(); }

 private:
  std::unique_ptr<Impl> FImpl;
};

class TAAGraphics {
 public:
  // Draws on Canvas through its clip region. The canvas must outlive this object.
  explicit TAAGraphics(TCanvas* Canvas);

  // Angles are in degrees, clockwise from the positive x axis (y grows downward).
  void SetAntiAlias(bool Value) { FAntiAlias = Value; }
  bool AntiAlias() const { return FAntiAlias; }

  void DrawLine(const TAAPen& Pen, float X1, float Y1, float X2, float Y2);
  void DrawLines(const TAAPen& Pen, const std::vector<TPoint>& Points);
  void FillRectangle(const TAABrush& Brush, float X, float Y, float Width, float Height);
  void DrawRectangle(const TAAPen& Pen, float X, float Y, float Width, float Height);
  void FillEllipse(const TAABrush& Brush, float X, float Y, float Width, float Height);
  void DrawEllipse(const TAAPen& Pen, float X, float Y, float Width, float Height);
  void FillPolygon(const TAABrush& Brush, const std::vector<TPoint>& Points);
  void DrawPolygon(const TAAPen& Pen, const std::vector<TPoint>& Points);
  void DrawArc(const TAAPen& Pen, float X, float Y, float Width, float Height, float StartDegrees,
               float SweepDegrees);
  void FillPath(const TAABrush& Brush, const TAAPath& Path);
  void DrawPath(const TAAPen& Pen, const TAAPath& Path);

 private:
  TCanvas* FCanvas;
  bool FAntiAlias = true;
};
