// The EXIF side of the TIFF writer: the EXIF-style tags of a page's own directory, the EXIF
// directory (tag 34665), the GPS directory (tag 34853) and the maker note kept raw in the
// parameter record. JPEG's EXIF block is a TIFF stream written through the same code.
#pragma once

#include <vector>

#include "imaging/core/ie_params.h"
#include "imaging/formats/tiff/ie_tiff_writer_tags.h"
#include "platform/rtl/streams.h"

class TIETagsHandler;

// Adds the page directory's camera tags to List, writes the EXIF directory (and the GPS one
// when the record has a GPS version) and adds the tags that point to them. Fields the record
// does not hold (empty texts, zero or -1 numbers) are not written, except the few that EXIF
// requires, which get their "unknown" values. ForJpeg: the directory is a JPEG file's EXIF block
// and also carries what EXIF requires of JPEG files (component order, pixel dimensions).
void TIFFWriteEXIFTags(TTIFFTagList& List, TStream* Stream, TIOParamsVals& IOParams, bool& Aborting,
                       bool ForJpeg = false);

// Writes the GPS directory and adds tag 34853 to List.
void TIFFWriteGPSIFD(TTIFFTagList& List, TStream* Stream, TIOParamsVals& IOParams, bool& Aborting);

// Writes the maker note held by Handler as one block of tag Tag; entries whose data is MaxSize
// bytes or more, or that the handler's bytes do not hold, are left out.
void TIFFAddMakerNote(TTIFFTagList& List, TStream* Stream, Word Tag, Integer MaxSize, bool& Aborting,
                      TIETagsHandler* Handler);

// Value as a fraction over a power of ten, with as many decimals as a signed 32-bit numerator
// allows (Denominator starts at 1,000,000); values too large for any denominator are clamped.
Integer TIFFRationalFromFloat(Integer& Denominator, double Value);

// One byte per "."-separated decimal number ("2.2.0.0"); numbers that do not parse give 0.
std::vector<Byte> IEDottedTextToBytes(const AnsiString& Text);
