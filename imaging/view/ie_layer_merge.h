// Composes two layers into one image as large as the union of both: the upper layer over the
// lower by opacity, alpha and its blend operation, optionally limited by a mask layer.
#pragma once

#include "imaging/core/ie_types.h"
#include "platform/gui/colors.h"

class TIEBitmap;
class TIELayer;

// Dest becomes ie24RGB with an alpha channel (dropped again when every pixel is opaque); the area
// neither layer covers is Background with alpha 0. A layer whose image differs from its display
// size is resampled to it in place with Filter. With UnionOrigin the result starts at the union's
// top-left corner; without it at the lower layer's origin, as a merge into the base layer needs.
void IEMergeLayerPair(TIELayer* Lower, TIELayer* Upper, TIELayer* Mask, TIEBitmap* Dest, TResampleFilter Filter,
                      TColor Background, bool UnionOrigin);
