// The library-wide size gate of decoded images: readers ask it before any allocation sized
// from their input (codecs through IECheckImageSize of the codec kit, the raw record loader
// directly). Callers and tests may lower the limits.
#pragma once

#include "platform/rtl/image_limits.h"

// 1 << 20 pixels a side and 1 << 31 pixels in all cover every real camera, scanner and stitched
// panorama; the bytes bound (16 GiB) is what the memory block, the fragments or the temporary
// file could be asked to hold.
extern TImageLimits IEImageLimits;

// Empty when the image passes IEImageLimits and its row fits the buffer's 32-bit row length;
// otherwise the reason.
AnsiString IEImageSizeRefusal(Int64 Width, Int64 Height, Int64 BitsPerPixel);

// Codings that can stand for a huge blank image in a few bytes (run-length data that ends the
// bitmap early, a compression the reader leaves undecoded) cannot be bounded by their input:
// their images stop at this many pixels, 1 << 28 by default (a desktop holds a 24-bit image of
// that size). Callers that trust their input may raise it.
extern Int64 IESparseImageMaxPixels;
