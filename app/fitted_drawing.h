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
