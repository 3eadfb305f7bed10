// Filtered resampling and blurring belong to image processing, a layer above the image buffer.
// It fills these in when it starts. While they are empty, rendering with a filter scales by the
// nearest pixel (as it does for formats the filters do not take) and a soft shadow is drawn
// without its blur.
#pragma once

#include "imaging/core/ie_types.h"

class TIEBaseBitmap;
class TIEBitmap;

struct TIEProcessingServices {
  // Source into Dest's preset size: 24-bit with a filter; 1-bit into ie1g (project filters) or
  // ie24RGB; an 8-bit channel; a 1-bit rectangle shrunk to grey means. A 24-bit source may be
  // scaled into any 24-bit rows (a window on a larger image), read and written only through
  // GetScanline, GetWidth, GetHeight and GetPixelFormat.
  void (*ResampleFiltered)(TIEBitmap* Source, TIEBaseBitmap* Dest, TResampleFilter Filter) = nullptr;
  void (*ResampleBW)(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter) = nullptr;
  void (*ResampleGray8)(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter) = nullptr;
  void (*ShrinkBWRect)(TIEBitmap* Source, Integer X1, Integer Y1, TIEBitmap* Dest, Integer Y2, Integer X2) = nullptr;

  // Gaussian blur of the inclusive rectangle of an ie8g image, Radius its standard deviation.
  void (*BlurGrayRect)(TIEBitmap* Bitmap, Integer X1, Integer Y1, Integer X2, Integer Y2, double Radius) = nullptr;

  bool ResamplingAvailable() const { return ResampleFiltered && ResampleBW && ResampleGray8 && ShrinkBWRect; }
};

extern TIEProcessingServices IEProcessingServices;
