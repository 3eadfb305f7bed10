// PostScript Level 2 output following the Document Structuring Conventions: one page per image,
// each drawing its image scaled to fit the paper from the top-left corner. A document is made in
// three steps (create, add pages, close) so that a caller can keep one open over several saves.
// There is no PostScript reader.
#pragma once

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_params.h"
#include "imaging/formats/codec.h"
#include "platform/rtl/streams.h"

// Where the open document's page count line starts and where the next page (or the trailer)
// goes. Owned by the caller from PSCreateDocument to PSCloseDocument.
struct TIEPSDocument {
  Int64 PagesLine = 0;
  Int64 End = 0;
};

// Writes the header at the stream's position: title, creation date, page count 0 and the
// bounding box of the paper (PsPaperWidth x PsPaperHeight points).
TIEPSDocument* PSCreateDocument(TStream* Stream, TIOParamsVals& IOParams);
// Appends one page after the pages already there and counts it in the header. Bitmap is ie1g or
// ie24RGB. A page that cannot be written fails through the progress record.
void PSAddPage(TIEPSDocument* Handle, TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams,
               TIECodecProgress& Progress);
// Writes the trailer and frees the handle; nothing for a nil handle.
void PSCloseDocument(TIEPSDocument* Handle, TStream* Stream);
// A whole document of one page. A stream that refuses bytes fails through the progress record.
void WritePSStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress);
// The body of page PageNumber, at the stream's position. PsCompression: 0 run length, 1 fax
// Group 4, 2 fax Group 3 two-dimensional (both for ie1g; colour images take run length), 3 JPEG
// (colour images; ie1g takes run length).
void PSWritePage(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, Integer PageNumber, Integer PaperWidth,
                 Integer PaperHeight, TIECodecProgress& Progress);
