// Windows icons and cursors: a directory of images, each a device-independent bitmap with its
// AND mask (1, 4, 8, 24 or 32 bits) or a PNG file. One image is read; icons are written with one
// image per size and bit count asked.
#pragma once

#include <utility>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_mask.h"
#include "imaging/core/ie_params.h"
#include "imaging/formats/codec.h"
#include "platform/rtl/streams.h"

// Content probes: a header of the type (1 icon, 2 cursor) with images, and a directory whose
// every entry has data after it. The position is kept.
bool IsICO(TStream* Stream);
bool IsCUR(TStream* Stream);

// Reads image IOParams.IcoImageIndex (a stream that starts with "BM" is read as a BMP file) and
// fills IcoSizes and IcoBitCount from the directory. 1-bit images give ie1g, DIBs of more bits
// ie24RGB, PNG entries what the PNG reader gives. Transparency comes back in AlphaChannel as an
// 8-bit mask (the caller owns it) unless IgnoreAlpha. An index outside the directory, and a
// damaged or truncated file, fail through the progress record with a reason.
void ReadICOStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, bool Preview,
                   TIECodecProgress& Progress, TIEMask*& AlphaChannel, bool IgnoreAlpha);
// As ReadICOStream for image IOParams.CurImageIndex of a cursor, with its hot spot in
// CurXHotSpot and CurYHotSpot.
void ReadCURStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, bool Preview,
                   TIECodecProgress& Progress, TIEMask*& AlphaChannel, bool IgnoreAlpha);

// Writes an icon of one image per entry of Sizes (1 to 256 pixels a side), each the bitmap
// resampled to that size, of the bit count BitCounts gives it (1, 4, 8, 24, 32; 0 takes the
// parameters' bits per sample and samples per pixel). The bitmap's alpha channel becomes the
// AND mask (and the alpha bytes of 32-bit images).
void WriteICOStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress,
                    const std::vector<std::pair<Integer, Integer>>& Sizes, const std::vector<Integer>& BitCounts);
