// The TIFF reader: one page (image file directory) of a TIFF stream into an image, its
// parameters and the file's metadata into the parameter record, its alpha into a mask.
#pragma once

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_mask.h"
#include "imaging/core/ie_params.h"
#include "imaging/formats/codec.h"
#include "platform/rtl/streams.h"

// Reads page IOParams->TiffImageIndex (sub-directory TiffSubIndex when that is 0 or more).
// PageCount receives the number of pages in the file's chain. IOParams nil: only PageCount.
// Preview: the parameters only, no pixel is decoded. AlphaChannel: made when the page has alpha
// and none was passed (the caller's to free either way); IgnoreAlpha makes none. TranslateBase:
// offsets count from the stream's position at the call, else from 0. IsExifThumb: a thumbnail
// page, refused above 400 pixels either way.
// Every failure (not a TIFF, a page beyond the last, damaged or truncated data, an unsupported
// kind of page) sets the abort flag with the reason; nothing is raised for bad data.
void ReadTIFFStream(TIEBitmap* Bitmap, TStream* Stream, Integer& PageCount, TIOParamsVals* IOParams,
                    TIECodecProgress& Progress, bool Preview, TIEMask*& AlphaChannel, bool TranslateBase,
                    bool IgnoreAlpha, bool IsExifThumb);

// The content tests of detection: a TIFF image, and a TIFF-structured camera raw file (DNG or a
// TIFF/EP raw). Both answer False for short or malformed data and keep the stream's position.
bool IsTIFF(TStream* Stream);
bool IsCameraRawTIFF(TStream* Stream);
