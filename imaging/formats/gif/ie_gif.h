// GIF: reader of one frame of a file (and the count of its frames), writer of a single-frame
// file. The image data goes through the LZW coders the parameter record selects.
#pragma once

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_mask.h"
#include "imaging/core/ie_params.h"
#include "imaging/formats/codec.h"
#include "platform/rtl/streams.h"

// Reads frame IOParams.GifImageIndex into Bitmap: ie1g for a black-then-white two-entry table,
// ie8p with NativePixelFormat, else ie24RGB. FrameCount receives the number of frames met.
// AlphaChannel (made when nil) receives the frame's transparency, and is freed and set nil when
// the frame is fully opaque or IgnoreAlpha is set. A damaged frame keeps what was decoded and
// fails through the progress record.
void ReadGIFStream(TStream* Stream, TIEBitmap* Bitmap, Integer& FrameCount, TIOParamsVals& IOParams,
                   TIECodecProgress& Progress, bool Preview, TIEMask*& AlphaChannel, bool IgnoreAlpha);

// Writes Bitmap (and its alpha channel, as the transparent index) as a one-frame GIF of
// IOParams.BitsPerSample bits (1..8), its colours reduced to the table's size.
void WriteGIFStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress);
