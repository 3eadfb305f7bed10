// The pixel side of the TIFF writer: cuts the page's image into strips, turns each row into the
// page's sample layout, compresses it and adds the strip tags to the page's tag list; also the
// two JPEG forms (one JPEG datastream as the single strip, and the old-style JPEG interchange
// stream that EXIF thumbnails are stored in).
#pragma once

#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_params.h"
#include "imaging/formats/codec.h"
#include "imaging/formats/compression/ie_lzw.h"
#include "imaging/formats/tiff/ie_tiff_writer_tags.h"
#include "platform/rtl/streams.h"

class TIEQuantizer;

// Photometric kinds of a page as the strip encoder produces them.
enum : Byte {
  tpkWhiteIsZero = 0,  // bilevel for the fax coders
  tpkBlackIsZero = 1,
  tpkRGB = 2,
  tpkPalette = 3,
  tpkCMYK = 5,
  tpkYCbCr = 6,
  tpkCIELab = 7,
};

struct TTIFFWriteVars {
  TIETiffLZWCompressProc LZWCompress = nullptr;
  DWORD Compression = 1;  // the TIFF value
  bool TwoDimensional = false;
  Integer FillOrder = 1;
  Byte Kind = tpkRGB;
  Integer Predictor = 1;
  TIEQuantizer* Quantizer = nullptr;
  Integer BitsPerSample = 8;
  Integer JpegQuality = 80;
  Byte JpegColorSpace = 2;  // the JPEG writer's colour space
  TIOParamsVals* IOParams = nullptr;
  bool Alpha = false;  // the fourth sample is the alpha channel (straight, not premultiplied)
  // The fax coder's state inside the current strip; every strip's closing call leaves it empty.
  Byte CCITTPendingByte = 0;
  Integer CCITTPendingBits = 0;
  std::vector<Byte> CCITTRefRow;
};

// Samples per pixel the strips of Bitmap get (alpha included when the encoder keeps it).
Integer TIFFStripSamples(TIEBitmap* Bitmap, const TTIFFWriteVars& Vars);

// True when Bitmap has an alpha channel that is not fully opaque.
bool TIFFHasTranslucentAlpha(TIEBitmap* Bitmap);

// Rows in each strip of an image whose bitmap rows have RowBytes bytes: about 512 KB of bitmap
// a strip, never 0.
Integer TIFFRowsPerStrip(Integer Height, Int64 RowBytes);

// Writes every strip of the page at the stream's position and adds RowsPerStrip, StripOffsets
// and StripByteCounts. Failures go through Progress (with the reason) and Aborting.
void TIFFWriteStrips(TStream* Stream, TIEBitmap* Bitmap, TTIFFTagList& Tags, TIECodecProgress& Progress,
                     TTIFFWriteVars& Vars, bool& Aborting);

// Compression 6, the form of EXIF thumbnails: the JPEG interchange stream and the two tags that
// locate it (JPEGInterchangeFormat and its length), nothing else.
void TIFFWriteOldJPEG(TStream* Stream, TIEBitmap* Bitmap, TTIFFTagList& Tags, TIECodecProgress& Progress,
                      TTIFFWriteVars& Vars, bool& Aborting);

// One row of a bilevel strip through the fax coder of Vars.Compression (2, 3 or 4); Row nil
// ends the strip's bit stream. False, with the reason in Progress, when the row cannot be coded.
bool TIFFCCITTEncodeRow(const Byte* Row, Integer Width, TStream* Stream, TTIFFWriteVars& Vars,
                        TIECodecProgress& Progress, bool& Aborting);

// Horizontal differencing (TIFF predictor 2) of one row of Count samples of Bits (8 or 16) bits,
// Samples to a pixel, in place; 16-bit samples are differenced as numbers and stored
// little-endian, the order of the file this writer makes.
void TIFFApplyPredictor(Byte* Row, Integer Pixels, Integer Samples, Integer Bits);
