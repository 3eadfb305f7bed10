// Colour operations the readers run after decoding: each channel's histogram brought to that
// of a reference image, and the three bytes of 24-bit pixels put in another order.
#pragma once

#include "imaging/core/ie_progress.h"
#include "imaging/core/ie_types.h"

class TIEBitmap;

// Reference must be ie24RGB; Bitmap ie24RGB or ieRGB48 (others are left alone).
void IEMatchHistograms(TIEBitmap* Reference, TIEBitmap* Bitmap);
// Channel 0 blue, 1 green, 2 red: equalised, then mapped through the inverse of the target's
// cumulative histogram (TargetCount pixels).
void IEMatchChannel(TIEBitmap* Bitmap, Integer Channel, const Integer (&TargetHistogram)[256], Integer TargetCount);
// Order names, for destination bytes 0, 1 and 2, the source byte by the letters B, G, R (any
// case): "RGB" swaps red and blue, "GGG" makes grey of green. False, and nothing changed, for
// an Order that is not three such letters or a bitmap that is not ie24RGB.
bool IEReorderChannels(TIEBitmap* Bitmap, const AnsiString& Order, TObject* Sender, const TIEProgressEvent& OnProgress);
