// The metadata of camera raw files kept in a CIFF heap (the Canon CRW layout) instead of a TIFF
// structure: names, image size, the camera's settings as a maker note, and the smallest of the
// embedded JPEG previews as the EXIF thumbnail.
#pragma once

#include "imaging/core/ie_params.h"
#include "platform/rtl/streams.h"

// Reads what the CIFF heap at the start of Stream holds into IOParams (the EXIF names, the EXIF
// image size, the maker note and ExifBitmap). Always False: its effect is on IOParams. A stream
// that is not a CIFF file leaves IOParams as it was; a damaged heap is read as far as it goes.
bool IEReadCIFFMetadata(TStream* Stream, TIOParamsVals& IOParams);

// How deep heaps may nest and how many records one file may hold in all: a heap that holds
// itself, or a few heaps naming one another many times over, end here instead of recursing
// without end.
constexpr Integer IECIFFMaxDepth = 16;
constexpr Integer IECIFFMaxRecords = 65536;
