// A whole black-and-white image as one CCITT fax block, the way page-description writers embed
// it (PostScript and PDF): rows as stored (1 bits coded black, so a reader that takes BlackIs1
// gets the image's own bits back), bits from the most significant, the end-of-block or closing
// end-of-line code after the last row, and the block padded with zero bytes to a multiple of 4.
#pragma once

#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/formats/codec.h"

// K -1: two-dimensional T.6; K 1: T.4 with an end-of-line code and a tag bit before every row,
// the first row one-dimensional. Bitmap is ie1g. Progress reports each row. Answers False,
// after IEFail with the reason, when the block could not be made; Out is then empty.
bool IEEncodeCCITTImage(TIEBitmap* Bitmap, Integer K, std::vector<Byte>& Out, TIECodecProgress& Progress);
