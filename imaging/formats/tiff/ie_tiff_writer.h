// TIFF writing: one image as one page of a little-endian ("II") TIFF, either a new file at the
// stream's position or a page linked into an existing "II" file; and the tags-only pages that
// JPEG's EXIF block is made of.
#pragma once

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_params.h"
#include "imaging/formats/codec.h"
#include "platform/rtl/streams.h"

// Writes Bitmap (nil: a page of tags only) as one page. The page's layout and compression come
// from IOParams (BitsPerSample, SamplesPerPixel, TiffPhotometInterpret, TiffCompression), which
// are changed to the values actually written. Offsets count from the structure's start (the
// stream's position at the call), so the TIFF reads the same wherever it is stored.
// Append: the stream stands at the start of an existing "II" file; the page becomes page
// TiffImageIndex (the last one when the index is beyond the end) and only one link field of the
// old pages changes. Answers the file's page count after writing: 1 for a new file, 0 when an
// append finds no "II" file. Failures go through Progress, with the reason.
Integer WriteTIFFStream(TStream* Stream, bool Append, TIEBitmap* Bitmap, TIOParamsVals& IOParams,
                        TIECodecProgress& Progress);

// Installs the writer as the one the imaging core's EXIF routines write through.
void IERegisterExifTiffWriter();
