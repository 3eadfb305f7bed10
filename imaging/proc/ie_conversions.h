// Colour-reducing routines behind the processing component's ConvertTo family, and the colour
// helpers the codecs call directly: black and white by ordered dither or threshold, in-place
// quantisation, the mean colour, two-colour detection, nearest palette entry, row repacking
// between 1, 4, 8, 24 and 32 bits, and a 3 x 3 convolution of grey rectangles.
#pragma once

#include <span>

#include "imaging/core/ie_hsl.h"
#include "imaging/core/ie_progress.h"
#include "imaging/core/ie_threshold.h"
#include "imaging/core/ie_types.h"
#include "imaging/proc/ie_filter_presets.h"

class TIEBitmap;
class TIEQuantizer;

// Every pixel of the rectangle (X2, Y2 exclusive, clipped to the bitmap) becomes the grey of
// its colour. ie24RGB only.
void IEConvertToGrayRect(TIEBitmap* Bitmap, Integer X1, Integer Y1, Integer X2, Integer Y2,
                         const TIEProgressEvent& OnProgress, TObject* Sender);

// ie24RGB -> ie1g in place by the 8 x 8 ordered dither; the alpha channel stays.
void IEConvertToBWOrdered(TIEBitmap* Bitmap, TIECodecProgress& Progress);
// ie24RGB -> ie1g in place by a grey threshold: -1 the grey of the mean colour, -2 the
// maximum-entropy threshold, any other value as it is.
void IEConvertToBWThreshold(TIEBitmap* Bitmap, Integer Threshold, TIECodecProgress& Progress);

// Leaves at most NumColors (at most 256 in practice) distinct colours in an ie24RGB bitmap.
// Palette receives the colours used; empty takes a temporary table. False, and nothing changed,
// when the bitmap is not ie24RGB or Palette is too short for the colours it must receive.
bool IEQuantizeRGBInPlace(TIEBitmap* Bitmap, Integer NumColors, std::span<TRGB> Palette,
                          const TIEProgressEvent& OnProgress, TObject* Sender);
// How many palette entries a quantisation to NumColors colours writes.
Integer IEQuantizedPaletteSize(Integer NumColors);

// An ie1g copy of an image that has exactly two colours, bit 0 standing for the darker one
// (Color0); nil (and no bitmap to free) for one colour or more than two. The caller owns it.
TIEBitmap* IETwoColorsToBW(TIEBitmap* Bitmap, TRGB& Color0, TRGB& Color1);

// The first of the nearest entries by the sum of channel differences among the first Count
// entries (never past the table's end); 0 for an empty table.
Integer IENearestPaletteIndex(std::span<const TRGB> Palette, Integer Count, TRGB Color);

// Width pixels of one row from SourceBits to DestBits per pixel (1, 4, 8, 24; 32 as a source
// to 24 only); the destination's byte count. Indexes outside Palette give black, and a missing
// Quantizer converts nothing to 4 or 8 bits. Where bits are ORed in (1 -> 4, 24 -> 4) the
// caller clears Dest first.
Integer IEConvertRowBits(const void* Source, void* Dest, Word SourceBits, Word DestBits, Word Width,
                         std::span<const TRGB> Palette, const TIEQuantizer* Quantizer);

// 3 x 3 convolution of the rectangle (X2, Y2 exclusive) of an ie8g bitmap; neighbours outside
// the bitmap repeat its edge, results are |sum| div divisor limited to 0..255.
void IEConvolve3x3Gray(TIEBitmap* Bitmap, const TIEKernel3x3& Kernel, Integer X1, Integer Y1, Integer X2, Integer Y2);
