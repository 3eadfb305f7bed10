// Black and white by a grey threshold. The processing operations own this routine; the image
// buffer's conversion to ie1g calls it too, so it lives below both of them.
#pragma once

#include "imaging/core/ie_progress.h"
#include "imaging/core/ie_types.h"

class TIEBitmap;

// Mean colour on the 0..255 scale: each row's sums divided by the width, their total by the
// height. 128, 128, 128 when a row cannot be read.
void IEGetAverageColor(TIEBitmap* Bitmap, Integer& R, Integer& G, Integer& B);

// Counts every pixel of Bitmap by its grey level (21, 71, 8 per cent weights). An ie1g bitmap
// counts clear bits in entry 0 and set bits in entry 1 only.
void IEGetGrayHistogram(TIEBitmap* Bitmap, Integer (&Histogram)[256]);

// Writes the black-and-white image of Source into Dest, an ie1g bitmap of Source's size: a
// pixel is white when its grey is at least the threshold. Threshold -1 is the grey of the mean
// colour, -2 the maximum-entropy threshold of the grey histogram, any other value itself. An
// ie1g Source is copied unchanged. Reports a percentage after each row; stops when aborted. A
// Dest of another size or format is left alone and the failure goes to Progress with its reason.
void IEThresholdToBW(TIEBitmap* Source, TIEBitmap* Dest, Integer Threshold, TIECodecProgress& Progress);
