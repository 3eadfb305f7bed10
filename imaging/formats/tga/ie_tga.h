// Truevision Targa images: colour-mapped, true-colour and grey, raw or run-length coded, with
// the footer and the 495-byte extension area of Targa 2.0 files (author, job name, date, key
// colour, aspect ratio, gamma).
#pragma once

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_mask.h"
#include "imaging/core/ie_params.h"
#include "imaging/formats/codec.h"
#include "platform/rtl/streams.h"

// The size of the extension area this codec writes and reads.
constexpr Integer IETgaExtensionSize = 495;

// The 18 header bytes at the position show a type, depth and colour-map type the codec knows
// and a size; the position is restored.
bool IsTGA(TStream* Stream);

// Fills the parameters and, unless Preview, Bitmap (ie1g for 1 bit, else ie24RGB). Unless
// IgnoreAlpha, 32-bit pixels or colour maps give AlphaChannel (made when nil); an alpha of all
// zeros gives none (AlphaChannel freed and nil).
void ReadTGAStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress,
                   bool Preview, TIEMask*& AlphaChannel, bool IgnoreAlpha);

// Depth from the parameters: 1 or 4 or 8 bits in one sample, else 24, or 32 when AlphaChannel
// is given and not full. Run-length coding (TgaCompressed) for 8 and 24 bits only.
void WriteTGAStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress,
                    TIEMask* AlphaChannel);
