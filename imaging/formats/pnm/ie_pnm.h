// Portable anymaps: P1 to P6 read (with comments, any maximum value, 16-bit samples), P4, P5
// and P6 written with the parameters' comments.
#pragma once

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_params.h"
#include "imaging/formats/codec.h"
#include "platform/rtl/streams.h"

// The next token: a word of letters and digits, or "#" and a comment's trimmed text; empty at
// the end of the stream.
void PXMReadToken(TStream* Stream, AnsiString& Token);

bool IsPXM(TStream* Stream);

// P1, P4 give ie1g; P6 above 255 gives ieRGB48 with NativePixelFormat; all else ie24RGB.
// Samples are scaled from the file's maximum value to 0..255. A damaged or truncated file fails
// through the progress record.
void ReadPXMStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress,
                   bool Preview);

void WritePXMStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress);
