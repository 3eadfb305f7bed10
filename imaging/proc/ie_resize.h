// Scaling one image into another of preset size, for every pixel format: the filters go to the
// resampling engines, rfNone and the formats the filters do not take to the nearest pixel.
#pragma once

#include "imaging/core/ie_progress.h"
#include "imaging/core/ie_types.h"

class TIEBitmap;
class TObject;

// Scales Source into Dest, which has its size already; Dest takes Source's pixel format, except
// that a 1-bit source gives ie1g with the projections and ie24RGB with the other filters. The
// alpha channel is scaled alongside. Fully transparent pixels of Source become grey first, so
// their colour cannot bleed into visible ones.
void IEResample(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter, const TIEProgressEvent& OnProgress,
                TObject* Sender);
// Nearest pixel scaling of Source into Dest's size; both of the same pixel format (Dest is left
// alone otherwise). Returns Dest.
TIEBitmap* IEStretchNearest(TIEBitmap* Source, TIEBitmap* Dest, TObject* Sender, const TIEProgressEvent& OnProgress);
// Every fully transparent pixel of an ie24RGB image takes Color.
void IEFillTransparentRGB(TIEBitmap* Bitmap, TRGB Color);
