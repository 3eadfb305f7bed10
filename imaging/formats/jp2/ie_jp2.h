// JPEG 2000: the JP2 file and the bare code stream, read and written through OpenJPEG. The
// library does the wavelet coding; this unit converts between its component planes and our
// bitmaps and keeps every failure of the library (an error message, a refused call, a stream
// that ends early) a reason in the progress record.
#pragma once

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_params.h"
#include "imaging/formats/codec.h"
#include "platform/rtl/streams.h"

// The JP2 signature box at the stream's position; the position is kept.
bool IsJP2(TStream* Stream);
// A code stream's start and image size segment at the stream's position; the position is kept.
bool IsJ2K(TStream* Stream);

// Reads a JP2 file or a code stream (told apart by content). Grey images of 1 bit give ie1g,
// all else ie24RGB with each sample's top 8 bits; an opacity component becomes the alpha
// channel. YCbCr images are turned into RGB; sub-sampled components are spread over the image.
// Preview reads the header alone. Anything damaged, truncated or refused fails through Progress.
void ReadJ2000Stream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress,
                     bool Preview);

constexpr Integer IEJ2000FormatJP2 = 0;
constexpr Integer IEJ2000FormatJ2K = 1;

// Writes Bitmap as a JP2 file (Format 0) or a code stream (Format 1) with BitsPerSample bits a
// sample (1 to 16), J2000ColorSpace 0 grey, else RGB (with a fourth, opacity, component when the
// alpha channel is not fully opaque), J2000Rate as the fraction of the raw size to aim at (1 and
// above: lossless) and J2000Progression 0 LRCP, 1 RLCP. An ie1g bitmap sets BitsPerSample to 1
// and J2000ColorSpace to 0 in IOParams. A refused image or a failed encoding fails through Progress.
void WriteJ2000Stream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress,
                      Integer Format);
