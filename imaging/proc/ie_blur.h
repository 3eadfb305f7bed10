// Separable Gaussian blur of 8-bit grey rectangles in 16.16 fixed point, and the soft shadow
// that blurs an object's alpha channel into a shadow around it.
#pragma once

#include "imaging/core/ie_types.h"

class TIEBitmap;

constexpr Integer IEGaussMaxRadius = 100;

struct TIEGaussKernel {
  // Taps used on each side of the centre, 1 .. 100.
  Byte Radius = 1;
  // Offsets -100 .. 100 at index offset + 100: the Gaussian itself, and the weights in 16.16
  // fixed point that sum to about 65536.
  double Values[2 * IEGaussMaxRadius + 1] = {};
  Integer Weights[2 * IEGaussMaxRadius + 1] = {};
};

// Radius is the standard deviation in pixels (above 0).
void IEBuildGaussKernel(TIEGaussKernel& Kernel, double Radius);
// Count samples; positions before the first and after the last repeat the end samples.
void IEBlurLine(const TIEGaussKernel& Kernel, const Byte* Source, Byte* Dest, Integer Count);
// Blurs the inclusive rectangle (corners clamped into the bitmap) of an ie8g bitmap in place;
// pixels outside it do not contribute. Nothing for other formats or a Radius not above 0.
void IEBlurGrayRect(TIEBitmap* Bitmap, Integer X1, Integer Y1, Integer X2, Integer Y2, double Radius);

// Adds the shadow of the object in the inclusive box X1..X2 x Y1..Y2, whose shape is Bitmap's
// alpha channel: blurred by Radius (0: the 3 x 3 "Blur" preset), moved by the offsets, tinted
// with Color and Intensity (0..100). Returns the margin the shadow needs on each side of the
// box; closer to the bitmap's border it is cut off.
Integer IEAddSoftShadow(TIEBitmap* Bitmap, double Radius, Integer OffsetX, Integer OffsetY, Integer Intensity,
                        TRGB Color, Integer X1, Integer Y1, Integer X2, Integer Y2);
