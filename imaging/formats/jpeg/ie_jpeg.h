// JPEG files on libjpeg (the 6.2 interface of libjpeg-turbo): the TStream source and
// destination, the output size and pixel format, CMYK, the ICC profile split over APP2 markers,
// the APPn and comment markers kept in the parameters for the next save, and the IPTC, EXIF
// and XMP payloads handed to the metadata holders.
#pragma once

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_params.h"
#include "imaging/formats/codec.h"
#include "imaging/formats/jpeg/ie_jpeg_glue.h"
#include "platform/rtl/streams.h"

// Decodes the first JPEG that starts within 150 bytes of the stream's position; answers the rows
// decoded (0 for a parameters-only read, the EXIF-thumbnail shortcut and when no JPEG is found).
// A damaged or truncated file fails through the progress record; nothing is raised, except a
// library error in TablesStream (a table-only datastream read before the image), which raises
// EIEJpegError after the failure is recorded.
Integer ReadJPEGStream(TStream* Stream, TStream* TablesStream, TIEBitmap* Bitmap, TIOParamsVals& IOParams,
                       TIECodecProgress& Progress, bool Preview, bool RawColorSpace, bool ReadMetadata,
                       bool InvertCMYK, bool ApplyICC, bool ReadICC, Integer MaxRows, bool NativePixelFormat);

// Encodes Bitmap as one JPEG with the options and markers of IOParams. A library error raises
// EIEJpegError (after the failure is recorded); a destination that takes fewer bytes fails
// through the progress record and leaves a cut JPEG.
void WriteJPEGStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress);

// Absolute position of the first FF D8 FF starting at one of the 150 positions from the current
// one, -1 when none; the position is kept.
Int64 FindJPEGStart(TStream* Stream);

// Joins the APP2 "ICC_PROFILE" chunks before the first frame header into the parameters'
// embedded profile; the position is kept.
void ReadJPEGICCProfile(TStream* Stream, TIOParamsVals& IOParams);

// Makes Stream the source of Info through a source manager taken from Info's permanent pool (so
// it goes with the decompressor). Progress, when given, records a stream that is empty. Calls
// libjpeg's allocator: run it inside IEJpegCall.
void SetJPEGStreamSource(jpeg_decompress_struct& Info, TStream* Stream, TIECodecProgress* Progress = nullptr);

// Bytes from the position through the end-of-image marker of the JPEG datastream starting there
// (through the end of the data when none comes); the position is kept.
Integer GetJPEGStreamLength(TStream* Stream);
