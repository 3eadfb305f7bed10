// The pixel side of the TIFF reader: a page's strips or tiles, each one's bytes decoded row by
// row by the page's compression, predictor and bit depth, and handed to the sample conversion.
#pragma once

#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_mask.h"
#include "imaging/core/ie_params.h"
#include "imaging/formats/codec.h"
#include "imaging/formats/compression/ie_lzw.h"
#include "imaging/formats/tiff/ie_tiff_directory.h"

// What the decoding needs of one page, read from its directory.
struct TTIFFVars {
  Integer ImageWidth = 0, ImageLength = 0, SamplesPerPixel = 1, BitsPerSample = 1;
  Integer RowsPerStrip = 0, TileWidth = -1, TileLength = -1;
  Word Photometric = 2, PlanarConfig = 1, Orientation = 1, Compression = 1;
  std::vector<DWORD> StripOffsets, StripByteCounts, TileOffsets, TileByteCounts;
  std::vector<TRGB> ColorMap;  // as many entries as the tag holds (at most 1 shl BitsPerSample)
  Integer Predictor = 1;
  std::vector<Byte> JPEGTables;
  Integer T4Options = 0, T6Options = 0, FillOrder = 1;
  AnsiString Software;
  Integer YCbCrSubsampling[2] = {2, 2};
  // The codes of black and white of Y, Cb and Cr; video-range YCbCr (16..235, chroma 128 +- 112)
  // says so here and must be stretched to full range before conversion.
  double ReferenceBlackWhite[6] = {0, 255, 128, 255, 128, 255};
  Integer JPEGProc = 0;
  DWORD JPEGInterchangeFormat = 0, JPEGInterchangeFormatLength = 0;
  // Old-style JPEG pages whose strips or tiles hold only entropy-coded data: the quantisation
  // and Huffman tables (and restart interval) as JPEG marker segments, ready to go in front of
  // each block's frame header. Empty otherwise.
  std::vector<Byte> OldJPEGTables;
  // Strips or tiles that are each a JPEG datastream of their own, made or as stored.
  bool JpegBlocks() const { return Compression == 7 || !OldJPEGTables.empty(); }
  TIETiffLZWDecompressProc LZW = nullptr;
  bool Little = true;
  TIOParamsVals* IOParams = nullptr;
  TIEMask* Alpha = nullptr;  // the page's mask when it has alpha and alpha is wanted
  bool IgnoreAlpha = false;
  std::vector<Integer> ExtraSamples;  // at most 10 values
  Integer GetTile = -1;               // one tile alone (IOParams.TiffGetTile)
};

// Decodes every strip or tile of the page into Bitmap, allocated ImageWidth x ImageLength in
// the pixel format the sample conversion writes (Bitmap's own). Damaged or missing data fail
// through Progress with the reason; what was decoded before stays.
void TIFFReadImage(const TTIFFDirectory& Dir, TTIFFVars& Vars, TIEBitmap* Bitmap, TIECodecProgress& Progress);

// The CCITT fax codings (compressions 2, 3 and 4): decodes the next row of Width pixels from the strip's Data (DataSize
// bytes) starting at bit BitPos into Row (packed, most significant bit first, white as 1 as the fax decoders write it;
// the sample conversion inverts photometric-1 pages), RefRow being the row above for the two-dimensional codings (all
// 0xFF at the strip's start); BitPos moves past what was used (whole bytes for compression 2). False after IEFail when
// the row cannot be decoded.
bool TIFFDecodeCCITTRow(const TTIFFVars& Vars, Integer Width, const Byte* Data, Int64 DataSize, Int64& BitPos,
                        Byte* Row, Byte* RefRow, TIECodecProgress& Progress);
