// Pixel copies of framework bitmaps.
#pragma once

#include "imaging/core/ie_progress.h"
#include "platform/gui/bitmap.h"

// A new bitmap (the caller's) with Source's format, size, colour table and pixels.
TBitmap* IECopyTBitmap(TBitmap* Source);
// Dest takes Source's format, size, colour table and pixels; an empty Source leaves Dest a
// single pixel of Source's format.
void IECopyTBitmapPixels(TBitmap* Source, TBitmap* Dest);
// Dest becomes a 24-bit copy of the 1-bit Source, a set bit white; progress per row.
void IEConvertTBitmapBWTo24(TBitmap* Source, TBitmap* Dest, TIECodecProgress& Progress);
