// Filtered resampling belongs to image processing, a layer above the image buffer. It fills
// these in when it starts; while they are empty, rendering with a filter scales by the nearest
// pixel, as it does for formats the filters do not take.
#pragma once

#include "imaging/core/ie_types.h"

class TIEBitmap;

struct TIEResampleServices {
  // Source into Dest's preset size: 24-bit with a filter; 1-bit into ie1g (project filters) or
  // ie24RGB; an 8-bit channel; a 1-bit rectangle shrunk to grey means.
  void (*ResampleFiltered)(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter) = nullptr;
  void (*ResampleBW)(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter) = nullptr;
  void (*ResampleGray8)(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter) = nullptr;
  void (*ShrinkBWRect)(TIEBitmap* Source, Integer X1, Integer Y1, TIEBitmap* Dest, Integer Y2, Integer X2) = nullptr;

  bool Available() const { return ResampleFiltered && ResampleBW && ResampleGray8 && ShrinkBWRect; }
};

extern TIEResampleServices IEResampleServices;
