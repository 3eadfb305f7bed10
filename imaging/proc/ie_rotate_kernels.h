// Rotation by any angle in degrees (positive turns counter-clockwise on the screen): sampled
// bilinearly or bicubically for 24-bit and 8-bit images, by the nearest pixel for every pixel
// format, with the whole quarter and half turns done as exact copies.
#pragma once

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_progress.h"
#include "imaging/core/ie_types.h"
#include "platform/gui/colors.h"

// In place. Mode 1 bilinear, 2 bicubic. The result is one pixel smaller per axis than the
// rotated bounding box, because the sampling grid spans the centres of the outer pixels.
void IERotateAntialias24(TIEBitmap* Bitmap, double Angle, TColor Background, Byte Mode,
                         const TIEProgressEvent& OnProgress, TObject* Sender);
void IERotateAntialias8(TIEBitmap* Bitmap, double Angle, Integer Background, Byte Mode);

// Source turned into Dest (allocated here), any pixel format; uncovered pixels take Background
// (black for ie1g).
void IERotateNearest(TIEBitmap* Source, TIEBitmap* Dest, double Angle, TColor Background,
                     const TIEProgressEvent& OnProgress, TObject* Sender);
void IERotateNearestInPlace(TIEBitmap* Bitmap, double Angle, TColor Background, const TIEProgressEvent& OnProgress,
                            TObject* Sender);

// Exact turns into Dest, any pixel format (the palette goes along); the alpha channel is not
// touched.
void IERotateQuarter(TIEBitmap* Source, TIEBitmap* Dest, bool Clockwise);
void IERotateHalf(TIEBitmap* Source, TIEBitmap* Dest);

// Samplers of one pixel at a source position (the background outside the picture), over a
// table of the source rows.
struct TIERotSource {
  Byte** Rows;
  Integer Width;
  Integer Height;
};
TRGB IERotPixel24(const TIERotSource& Source, Integer X, Integer Y, TRGB Background);
TRGB IERotSampleBilinear24(const TIERotSource& Source, double X, double Y, TRGB Background);
TRGB IERotSampleBicubic24(const TIERotSource& Source, double X, double Y, TRGB Background);
Byte IERotPixel8(const TIERotSource& Source, Integer X, Integer Y, Byte Background);
Byte IERotSampleBilinear8(const TIERotSource& Source, double X, double Y, Byte Background);
Byte IERotSampleBicubic8(const TIERotSource& Source, double X, double Y, Byte Background);
