// The orientation tag of image files (EXIF and TIFF) applied to a decoded image.
#pragma once

#include "imaging/core/ie_types.h"

class TIEBitmap;

// Turns and mirrors the image as the EXIF/TIFF orientation tag (1..8) says it was stored.
void IEApplyExifOrientation(TIEBitmap* Bitmap, Integer Orientation);
