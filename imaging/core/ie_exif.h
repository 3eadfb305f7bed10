// EXIF data: detection of an EXIF block in a JPEG APP1 payload, reading it (tags and thumbnail)
// into a parameter record, writing a record's EXIF data as an APP1 payload, finding the TIFF
// structure inside camera-raw files, and the field copy between records. The TIFF structure
// itself is read and written by the TIFF codec, reached through IEExifTiffCodec.
#pragma once

#include <functional>

#include "imaging/core/ie_params.h"

class TStream;
class TIEBitmap;

// The TIFF codec as the EXIF routines use it. The image-formats layer installs it when the
// library starts; while it is not installed, EXIF blocks are recognised but not read or written,
// and the routines say so in their results.
struct TIEExifTiffCodec {
  // Reads the directory selected by Params' TIFF image index from the TIFF stream at Stream's
  // position. TagsOnly: fills Params' TIFF, EXIF and GPS fields and the maker note without
  // decoding an image. Otherwise decodes the directory's image into Bitmap; with Thumbnail an
  // image larger than 400 pixels is refused and Bitmap left empty. False for a damaged stream.
  std::function<bool(TIEBitmap* Bitmap, TStream* Stream, TIOParamsVals* Params, bool TagsOnly, bool Thumbnail)> Read;
  // Writes a little-endian TIFF stream ("II", 42) of Params' tags, with Bitmap's image when
  // given (compressed as Params' TiffCompression says); Append links a new directory after the
  // stream's last one instead of writing a header. False when nothing usable was written.
  std::function<bool(TStream* Stream, bool Append, TIEBitmap* Bitmap, TIOParamsVals* Params)> Write;
  bool Installed() const { return Read && Write; }
  // Reading needs only the reader: EXIF blocks are read before the writer exists.
  bool CanRead() const { return static_cast<bool>(Read); }
};
extern TIEExifTiffCodec IEExifTiffCodec;

// "Exif" and two zero bytes, checked within Length.
bool IEIsEXIFBlock(const void* Data, Integer Length);
// Reads an EXIF APP1 payload into Params. False when the payload is not an EXIF block, when
// the TIFF codec's reader is not installed or when the block's tags cannot be read; Params then keeps
// its EXIF data.
bool IELoadEXIFFromBuffer(const void* Data, Integer Length, TIOParamsVals* Params);
// The APP1 payload of Params' EXIF data, std::malloc'd for the caller to free with std::free;
// nil and 0 when it cannot be made.
void IESaveEXIFToBuffer(TIOParamsVals* Params, void*& Buffer, Integer& Length);
// Offset from Stream's position of the first TIFF header within the next 131072 bytes, -1 when
// none; the position is the same afterwards.
Int64 IEFindTIFFHeader(TStream* Stream);
// Reads the EXIF tags and the smaller preview of a TIFF-structured file (camera raw) at the
// stream's position into Params; the position is the same afterwards, also after a failure.
// False when the codec is missing or the tags cannot be read.
bool IEReadEXIFFromTIFFStream(TStream* Stream, TIOParamsVals* Params);
// Copies the EXIF and GPS fields; Dest's DPI and TIFF orientation follow. The EXIF flag and the
// thumbnail are not copied.
void IECopyEXIF(TIOParamsVals* Source, TIOParamsVals* Dest);

// The parts of the copy that are plain values, shared with the record's reset: the camera and
// exposure fields from the resolution unit on (without the maker note), and the GPS fields.
void IECopyEXIFValues(const TIOParamsValues& Source, TIOParamsValues& Dest);
void IECopyGPSValues(const TIOParamsValues& Source, TIOParamsValues& Dest);

