#include "imaging/core/ie_limits.h"

#include <climits>
#include <string>

TImageLimits IEImageLimits{Int64(1) << 20, Int64(1) << 20, Int64(1) << 31, Int64(1) << 34};

Int64 IESparseImageMaxPixels = Int64(1) << 28;

AnsiString IEImageSizeRefusal(Int64 Width, Int64 Height, Int64 BitsPerPixel) {
  AnsiString reason = ImageSizeRefusal(IEImageLimits, Width, Height, BitsPerPixel);
  if (reason.empty() && static_cast<long double>(Width) * BitsPerPixel / 8.0L > static_cast<long double>(INT_MAX) - 8)
    reason = "a row of " + std::to_string(Width) + " pixels of " + std::to_string(BitsPerPixel) + " bits is too long";
  return reason;
}
