// Wireless bitmaps of type 0: black and white, uncompressed, a header of four multi-byte
// integers (type, fixed header, width, height) and packed rows, 1 meaning white.
#pragma once

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_params.h"
#include "imaging/formats/codec.h"
#include "platform/rtl/streams.h"

// Reads into an ie1g image. A header that is not type 0 or gives no pixels, and rows cut short
// by the end of the stream, fail through the progress record (the rows read stay).
void ReadWBMPStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress,
                    bool Preview);

// Writes the whole image, converted to black and white when it is not ie1g; sides of any
// length are written as multi-byte integers. A short write fails through the progress record.
void WriteWBMPStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress);
