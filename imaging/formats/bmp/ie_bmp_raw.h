// Header-less pixel data loaded into an image the caller has already sized and given its pixel
// format. The layout comes from the parameter record: BmpRawHeaderSize bytes skipped first,
// rows aligned to BmpRawRowAlign bits and stored from the top, channels interleaved or in planes
// (BmpRawPlanar 1: one complete single-channel image per channel), colour samples red first
// unless BmpRawStoredBGR. Samples wider than a byte are in the machine's byte order.
#pragma once

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_params.h"
#include "imaging/formats/codec.h"
#include "platform/rtl/streams.h"

// Fills the rows of Bitmap (ie1g, ie8p, ie8g, ie16g, ie32f interleaved; ie24RGB, ieCMYK and
// ieRGB48 interleaved or planar). Data that ends early, a layout the image cannot take and an
// empty image fail through the progress record; the rows read stay.
void ReadBMPRAWStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress);
