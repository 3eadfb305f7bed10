// PDF output: one page per image, each showing its image scaled to fit the page from the
// top-left corner. The document is built in memory (create, add pages, save) and reaches the
// stream only when it is saved. There is no PDF reader.
#pragma once

#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_params.h"
#include "imaging/core/ie_pdf_objects.h"
#include "imaging/formats/codec.h"
#include "platform/rtl/streams.h"

// An open document: the indirect objects in creation order (object n is Objects[n - 1]) and the
// pages, images and contents among them, with the shared resources and the catalog.
struct TIEPDFDocument {
  TIEPDFObjectList Objects;
  std::vector<TIEPDFDictionaryObject*> Pages;
  std::vector<TIEPDFStreamObject*> Images;
  std::vector<TIEPDFStreamObject*> Contents;
  TIEPDFDictionaryObject* Resources = nullptr;
  TIEPDFDictionaryObject* Catalog = nullptr;
  ~TIEPDFDocument();
};

// The catalog (object 1) and the resources shared by every page (object 2).
TIEPDFDocument* PDFCreateDocument();
// The image, its content stream and its page. Bitmap is ie1g or ie24RGB. PdfCompression:
// 0 none; 1 run length for ie1g; 2 fax Group 4 and 3 (and 4) fax Group 3 two-dimensional for
// ie1g; 4 JPEG for colour; 5 LZW (unfiltered when the record names no LZW coder); values above
// 5 as 0. A page that cannot be made fails through the progress record and adds nothing.
void PDFAddPage(TIEPDFDocument* Handle, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress);
// The page tree and the document information (PdfTitle ... PdfProducer when not empty, and the
// creation date), then the whole document at the stream's position; frees the handle. Nothing
// for a nil handle.
void PDFSaveDocument(TIEPDFDocument* Handle, TStream* Stream, TIOParamsVals& IOParams);
// A whole document of one page; nothing is written when the page fails. A stream that refuses
// bytes fails through the progress record.
void WritePDFStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIECodecProgress& Progress);
