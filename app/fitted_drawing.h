// Drawing a picture into a box without distorting it: the previews of the main window.
#pragma once

#include "platform/rtl/geometry.h"

class TCanvas;
class TBitmap;

// The largest rectangle of Source's proportions inside Box, centred along the other side.
void fit_rect(const TRect& Source, const TRect& Box, TRect& Result);
// Stretches Bitmap into the fitted rectangle of Canvas's clip area; the margins keep what was
// drawn there before. An empty bitmap draws nothing.
void draw_fitted(TCanvas* Canvas, TBitmap* Bitmap);
// The part of draw_fitted that costs: Fitted becomes Bitmap stretched to the fitted rectangle of
// Box, which is returned; drawing Fitted unscaled at its top-left corner then gives what
// draw_fitted gives. Runs on any thread. An empty bitmap gives an empty rectangle.
TRect prepare_fitted(TBitmap* Bitmap, const TRect& Box, TBitmap* Fitted);
