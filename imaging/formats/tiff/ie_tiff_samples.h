// TIFF sample conversion: one decoded row of a page (samples of 8 bits or less one per byte,
// 16-bit samples in the file's byte order, bilevel rows packed) into a bitmap row in the
// bitmap's pixel format, with the alpha sample into the page's mask.
#pragma once

#include "imaging/formats/tiff/ie_tiff_strips.h"

enum class TTIFFSampleKind {
  Unsupported,
  RGB8,
  RGB16,
  RGB555,
  Palette,
  Grey8,
  Grey16,
  Bilevel,
  CMYK8,
  CMYK16,
  Lab8,
  YCbCr
};

struct TTIFFConversion {
  TTIFFSampleKind Kind = TTIFFSampleKind::Unsupported;
  Integer AlphaSample = -1;      // the sample that goes to the mask, -1 for none
  bool AssociatedAlpha = false;  // colours stored premultiplied by alpha
};

// The conversion of a page by its Photometric, samples and bits (Compression 7 pages, decoded by
// the JPEG reader, are not converted here).
TTIFFConversion TIFFChooseConversion(const TTIFFVars& Vars);

// Why a page has no conversion, for the failure reason.
AnsiString TIFFUnsupportedText(const TTIFFVars& Vars);

// Writes Count pixels of Row (already expanded and undone of its predictor) into Bitmap's row Y
// from pixel X; the alpha sample, when the conversion has one and Vars.Alpha is set, goes to the
// mask. Scratch is the caller's buffer, reused between rows.
void TIFFConvertRow(const TTIFFVars& Vars, const TTIFFConversion& C, const Byte* Row, TIEBitmap* Bitmap, Integer X,
                    Integer Y, Integer Count, std::vector<Byte>& Scratch);
