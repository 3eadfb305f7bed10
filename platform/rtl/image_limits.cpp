#include "platform/rtl/image_limits.h"

#include <string>

AnsiString ImageSizeRefusal(const TImageLimits& Limits, Int64 Width, Int64 Height, Int64 BitsPerPixel) {
  auto n = [](Int64 v) { return std::to_string(v); };
  if (Width < 0 || Height < 0) return "the size " + n(Width) + " x " + n(Height) + " is negative";
  if (BitsPerPixel <= 0 || BitsPerPixel > 1024) return n(BitsPerPixel) + " bits per pixel is not a pixel size";
  if (Width > Limits.MaxWidth) return "width " + n(Width) + " is above the limit of " + n(Limits.MaxWidth) + " pixels";
  if (Height > Limits.MaxHeight)
    return "height " + n(Height) + " is above the limit of " + n(Limits.MaxHeight) + " pixels";
  // Both factors are at most MaxWidth and MaxHeight here; the limits keep the products in range.
  const long double pixels = static_cast<long double>(Width) * static_cast<long double>(Height);
  if (pixels > static_cast<long double>(Limits.MaxPixels))
    return n(Width) + " x " + n(Height) + " pixels is above the limit of " + n(Limits.MaxPixels) + " pixels";
  const long double bytes = pixels * static_cast<long double>(BitsPerPixel) / 8.0L;
  if (bytes > static_cast<long double>(Limits.MaxBytes))
    return n(Width) + " x " + n(Height) + " pixels of " + n(BitsPerPixel) + " bits need more than the limit of " +
           n(Limits.MaxBytes) + " bytes";
  return AnsiString();
}
