// The table of every transition effect's name, and the extra effects: procedures that draw one
// frame of the change from a source picture to a target picture into the engine's work picture,
// given the progress as a percentage. They either copy (and scale) rectangles of the target or
// draw the whole target through a clipping region that grows with the percentage.
//
// The effects work directly on the rows of 24-bit pictures rather than through a canvas: a frame
// of a full-HD picture has to be ready well inside a screen refresh.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/rtl/geometry.h"
#include "platform/rtl/types.h"

// A 24-bit picture (bytes B, G, R) seen through its row table, row 0 the top row.
struct TIETransitionRows {
  Byte** Rows = nullptr;
  Integer Width = 0;
  Integer Height = 0;
};

// Stretches the SourceRect of Source onto DestRect of Dest by nearest sampling. A rectangle whose
// right is left of its left (or bottom above its top) is mirrored; both are clipped to their
// pictures, so any rectangle is safe. Source may be Dest: the part read is taken aside first.
void IETransitionStretch(const TIETransitionRows& Dest, const TRect& DestRect, const TIETransitionRows& Source,
                         const TRect& SourceRect);

// A set of pixels of a picture, built as a union of shapes, through which a picture is drawn.
// Pixels are covered when their centres are inside a shape; right and bottom edges are excluded,
// polygons fill by the winding rule.
class TIETransitionRegion {
 public:
  TIETransitionRegion(Integer Width, Integer Height);
  void AddRect(Integer Left, Integer Top, Integer Right, Integer Bottom);
  void AddPolygon(const TPoint* Points, Integer Count);
  // Rounded rectangle whose corners are quarters of an EllipseWidth x EllipseHeight ellipse;
  // with Xor, the covered pixels are toggled instead of added.
  void AddRoundRect(Integer Left, Integer Top, Integer Right, Integer Bottom, Integer EllipseWidth,
                    Integer EllipseHeight, bool Xor = false);
  void IntersectWith(const TIETransitionRegion& Other);
  bool Contains(Integer X, Integer Y) const;
  // Copies the covered pixels of Source to the same places of Dest.
  void Paint(const TIETransitionRows& Dest, const TIETransitionRows& Source) const;

 private:
  void Span(Integer Row, Integer From, Integer To, bool Xor);
  Integer FWidth;
  Integer FHeight;
  std::vector<std::uint8_t> FMask;
};

using TExtraEffectProc = void (*)(const TIETransitionRows& Work, const TIETransitionRows& Source,
                                  const TIETransitionRows& Target, const TRect& Rect, Integer Parameter,
                                  Integer Percent);

struct TTransitionEffectRow {
  const char* Name;
  TExtraEffectProc Proc;  // nullptr for the effects the engine draws itself
};

inline constexpr Integer IETransitionEffectCount = 163;
extern const TTransitionEffectRow TransitionEffectTable[IETransitionEffectCount];

// The progressed extents of a rectangle at Percent, keeping its aspect ratio, and the unit: about
// one ninetieth of its longer side.
void ProgressExtents(const TRect& Rect, Integer Parameter, Integer Percent, Integer& W, Integer& H, Integer& PW,
                     Integer& PH, Integer& U);
