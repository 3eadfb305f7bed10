// PNG files on libpng: which pixel format a PNG becomes, how transparency reaches the alpha
// channel, which parameters are read and honoured, and how every library error becomes the
// codec kit's failure (reader) or EInvalidGraphic "Error on creating PNG" (writer).
#pragma once

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_mask.h"
#include "imaging/core/ie_params.h"
#include "imaging/formats/codec.h"
#include "platform/rtl/streams.h"

// Reads the PNG at the stream's position. Grey and palette images of 8 or 16 bits stay ie8g,
// ie16g or ie8p with NativePixelFormat; 1-bit grey gives ie1g; every other image ie24RGB, with
// an alpha channel when the file has alpha or tRNS. Fails through the progress record only.
void ReadPNGStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress,
                   bool Preview);

// Writes Bitmap as one PNG. AlphaChannel: an 8-bit mask of the bitmap's alpha, or nil. A
// library error raises EInvalidGraphic "Error on creating PNG"; a short write fails through the
// progress record.
void WritePNGStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress,
                    TIEMask* AlphaChannel);

// True when the stream starts with the PNG signature's first four bytes; the position is kept.
bool IsPNG(TStream* Stream);
