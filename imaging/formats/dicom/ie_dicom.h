// DICOM (medical images, the file format with the 128-byte preamble and "DICM", or a bare data
// set): one frame of native, RLE, baseline JPEG or lossless JPEG pixel data, grey (8 to 16 bits)
// or RGB, rescaled, windowed and stretched as the file asks; every data element before the pixel
// data goes to the parameters' tag list. Read only.
#pragma once

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_params.h"
#include "imaging/formats/codec.h"
#include "platform/rtl/streams.h"

// True when "DICM" follows the 128-byte preamble at the stream's position; the position is kept.
bool IsDICOM(TStream* Stream);

// Loads frame IOParams.ImageIndex (the last one when it is beyond them). A damaged, truncated,
// unsupported or refused file fails through the progress record with the reason; what was decoded
// of a damaged frame is kept. Preview fills the size, samples, frame count and tags only.
void ReadDICOMStream(TStream* Stream, TIOParamsVals& IOParams, TIEBitmap* Bitmap, TIECodecProgress& Progress,
                     bool Preview);

// The value representation the data dictionary gives the tag: two letters, "xs" when the tag
// may have several (or is not listed), "!!" for the item and delimitation tags.
const char* DICOMDictionaryVR(Word Group, Word Element);

