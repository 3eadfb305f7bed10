// PaintBrush images (PCX, one image a file) and their multi-page container (DCX: a table of page
// offsets followed by PCX images). Read: 1, 2, 4 and 8 bits in one plane, 1 bit in two to four
// planes, 8 bits in three or four planes (the fourth, alpha, is passed over). Written: 1, 4, 8
// and 24 bits, raw or run-length coded.
#pragma once

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_params.h"
#include "imaging/formats/codec.h"
#include "platform/rtl/streams.h"

// The DCX signature, little-endian at the start of the file (bytes B1 68 DE 3A).
constexpr DWORD IEDcxMagic = 987654321;
// A DCX table holds at most this many page offsets.
constexpr Integer IEDcxMaxPages = 1024;

// Size is the number of bytes of this image from the stream's position; no read goes past it
// or past the end of the stream. Fills the parameters and, unless Preview, Bitmap (ie1g for one
// bit in one plane, else ie24RGB).
void ReadPCXStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, Int64 Size,
                   TIECodecProgress& Progress, bool Preview);

// The depth is 1 when BitsPerSample is 1, else BitsPerSample x SamplesPerPixel (1, 4, 8 or 24);
// any other depth is refused.
void WritePCXStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress);

// The DCX signature at the position, and every offset of the table before the stream's end.
bool IsDCX(TStream* Stream);

// Page DcxImageIndex (clamped to the pages there are).
void ReadDCXStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress,
                   bool Preview);

// Inserts Bitmap as page DcxImageIndex of the DCX that Stream holds from its start (a new DCX
// when Stream is empty); an index equal to the page count appends. Stream is left as it was
// when it holds no DCX, when the index is outside 0 .. the page count, or when the table is full.
void WriteDCXStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress);
