// The size gate every image decoder passes before it allocates: a header is untrusted, and a
// few bytes claiming 2^31 x 2^31 pixels must end in a clear refusal, not in an allocation that
// fails (or, worse, succeeds and swaps the machine). The imaging library's codecs and the
// framework bitmap's own BMP reader share it.
#pragma once

#include "platform/rtl/types.h"

struct TImageLimits {
  Int64 MaxWidth;
  Int64 MaxHeight;
  Int64 MaxPixels;  // width x height
  Int64 MaxBytes;   // the decoded rows: width x height x bits per pixel / 8
};

// Empty when an image of Width x Height pixels of BitsPerPixel bits fits the limits (a zero
// width or height fits: it allocates nothing); otherwise the reason, e.g. "width 70000 is
// above the limit of 65536 pixels". Negative sizes and bit counts are refused too.
AnsiString ImageSizeRefusal(const TImageLimits& Limits, Int64 Width, Int64 Height, Int64 BitsPerPixel);
