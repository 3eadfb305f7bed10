// Turning and mirroring images: the three-shear rotation of 24-bit and 8-bit images (exact
// quarter turns, then at most 45 degrees of shearing, optionally blended), the nearest-pixel
// rotations of 1-bit and 8-bit images, the quarter-turn copies and the mirror. Positive angles
// turn the picture counter-clockwise as it is seen on the screen.
#pragma once

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_progress.h"
#include "imaging/core/ie_types.h"

// In place for ie24RGB; an ie1g image goes to IERotateBW (white outside unless a channel of
// Background is 0). Other formats are left alone.
void IERotateBitmap(TIEBitmap* Bitmap, bool AntiAlias, TObject* Sender, double Angle, TRGB Background,
                    const TIEProgressEvent& OnProgress);
// The same on one byte per pixel (ie8g, ie8p, alpha channels); other formats are left alone.
void IERotateBitmap8(TIEBitmap* Bitmap, bool AntiAlias, Byte Background, double Angle,
                     const TIEProgressEvent& OnProgress, TObject* Sender);

// Nearest-pixel rotations of ie1g and of ie8g/ie8p images; exact for the multiples of 90 but 0
// and 360, which go through the general path (and so copy the image).
void IERotateBW(TIEBitmap* Bitmap, bool BackgroundBit, TIECodecProgress& Progress, double Angle);
void IERotateGray8Nearest(TIEBitmap* Bitmap, Byte Fill, double Angle);

// Dest becomes Source turned by a quarter (Dest is Source's height wide and its width high).
void IERotate24Clockwise90(TIEBitmap* Source, TIEBitmap* Dest);
void IERotate24CounterClockwise90(TIEBitmap* Source, TIEBitmap* Dest);
void IERotate8Clockwise90(TIEBitmap* Source, TIEBitmap* Dest);
void IERotate8CounterClockwise90(TIEBitmap* Source, TIEBitmap* Dest);

// A whole number of degrees divisible by 90.
bool IEIsMultipleOf90(double Angle);

// Direction 0 mirrors left to right, 1 top to bottom; every pixel format, alpha channel included.
void IEFlipBitmap(TIEBitmap* Bitmap, Integer Direction);
