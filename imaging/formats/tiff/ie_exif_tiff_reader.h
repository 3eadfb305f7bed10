// The TIFF directories that EXIF data travel in, read without the TIFF image codec: the page
// directory's camera tags, the EXIF and GPS directories it points to, the maker note, and the
// JPEG image a directory carries as its thumbnail or preview. JPEG's APP1 block and the camera
// files' TIFF headers are read through it.
//
// Every offset, count and length comes from the file and is checked against the bytes there;
// the chain of directories is followed a bounded number of times and never round a loop, and
// the EXIF and GPS directories are followed from the page directory only (one level).
#pragma once

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_params.h"
#include "platform/rtl/streams.h"

// Reads directory Params->TiffImageIndex of the TIFF structure at the stream's position.
// TagsOnly: its tags, with those of its EXIF and GPS directories, into Params (absent tags get
// their defaults). Otherwise its JPEG image into Bitmap; with Thumbnail an image larger than 400
// pixels either way leaves Bitmap empty (still True). False when the header, the directory or
// the image cannot be read.
bool IEReadExifTiffDirectory(TIEBitmap* Bitmap, TStream* Stream, TIOParamsVals* Params, bool TagsOnly, bool Thumbnail);

// Makes the reader above the one the imaging core's EXIF routines read through.
void IERegisterExifTiffReader();
