// The frames of an animated GIF as a viewer shows them: frame N is the logical screen after
// frames 0 to N have been drawn, each disposed of as its graphic control extension says.
#pragma once

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_mask.h"
#include "imaging/core/ie_params.h"
#include "imaging/formats/codec.h"
#include "platform/rtl/streams.h"

// Puts frame Params.GifImageIndex of the GIF at the stream's position into Image: a file of one
// frame as the reader gives it (its transparency in Mask), an animation composed on its screen
// in ie24RGB, with the screen's transparency in Mask. Answers the file's frame count. Params
// afterwards describe the composed picture (GifXPos, GifYPos 0, GifAction 2) and GifImageIndex
// is the caller's again. A failing frame stops the run with its reason; Image keeps the frames
// composed up to it, and what the failing frame had decoded.
Integer IELoadGIFFrame(TStream* Stream, TIEBitmap* Image, TIEMask*& Mask, TIOParamsVals& Params,
                       TIECodecProgress& Progress);
