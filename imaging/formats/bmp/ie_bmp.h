// Windows device-independent bitmaps (BMP and DIB): core, info, V4 and V5 headers; 1, 4, 8,
// 16, 24 and 32 bits; RLE4, RLE8 and bit fields on reading; RLE4 and RLE8 on writing.
#pragma once

#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_mask.h"
#include "imaging/core/ie_params.h"
#include "imaging/formats/codec.h"
#include "platform/rtl/streams.h"

// Reads one BMP at the stream's position. Size: the bytes it occupies (0 or less: the file
// header's size). NoFileHeader: the stream starts with the image header (a DIB). A 32-bit image
// whose fourth bytes carry transparency gives an 8-bit mask in AlphaChannel (the caller owns
// it) unless IgnoreAlpha. A damaged, truncated or unsupported file fails through the progress
// record; the rows read so far stay in the bitmap.
void ReadBMPStream(TStream* Stream, TIEBitmap* Bitmap, Integer Size, TIOParamsVals& IOParams,
                   TIECodecProgress& Progress, bool Preview, bool NoFileHeader, TIEMask*& AlphaChannel,
                   bool IgnoreAlpha);

// Writes one BMP at the stream's position; SaveAlpha stores the alpha channel in the fourth
// byte of 32-bit pixels. A short write fails through the progress record.
void WriteBMPStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress,
                    bool SaveAlpha);

// One row of indexes (one a byte; 0..15 for RLE4) as RLE codes ending in the end-of-line code.
void BMPEncodeRLE8Row(const Byte* Indexes, Integer Width, std::vector<Byte>& Out);
void BMPEncodeRLE4Row(const Byte* Indexes, Integer Width, std::vector<Byte>& Out);
