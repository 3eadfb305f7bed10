// Selection by colour: from a clicked pixel, the 4-connected region of pixels whose red, green
// and blue each lie within a tolerance of the clicked colour, as an outline polygon or written
// into a mask, or every such pixel of the image whether connected or not.
#pragma once

#include "imaging/core/ie_types.h"
#include "platform/rtl/geometry.h"

class TIEBitmap;
class TIEMask;

// The outline of the region around (X, Y) in image coordinates, closing on its first vertex;
// allocated with new[] (the caller deletes it). nullptr and PolyCount 0 when the point lies
// outside the image. MaxFilter grows the region by one pixel in every direction first.
TPoint* IEMagicWandOutline(TIEBitmap* Bitmap, Integer X, Integer Y, bool MaxFilter, Integer Tolerance,
                           Integer& PolyCount);
// Sets the region's pixels in Mask (the bitmap's size) to Value; nothing for a point outside.
void IEMagicWandRegion(TIEBitmap* Bitmap, Integer X, Integer Y, bool MaxFilter, Integer Tolerance, TIEMask* Mask,
                       Integer Value);
// Sets every pixel of a similar colour in Mask to Value; nothing for a point outside.
void IEMagicWandColor(TIEBitmap* Bitmap, Integer X, Integer Y, Integer Tolerance, TIEMask* Mask, Integer Value);

void IEPointAdd(const TPoint& A, const TPoint& B, TPoint& C);
void IEPointSub(const TPoint& A, const TPoint& B, TPoint& C);
