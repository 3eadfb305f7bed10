// Filling a rectangle with one colour and finding the part of an image that is not fully
// transparent.
#pragma once

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_progress.h"
#include "imaging/core/ie_types.h"
#include "platform/rtl/geometry.h"

// Columns X1..X2-1 of rows Y1..Y2-1, clipped to the image. ie24RGB takes the colour; ie1g is
// white where the red byte is not 0, else black. Other formats are left as they are.
void IEFillRect(TIEBitmap* Bitmap, Integer X1, Integer Y1, Integer X2, Integer Y2, TRGB Color,
                const TIEProgressEvent& OnProgress, TObject* Sender);

// Inclusive corners of the pixels whose alpha is not 0; the whole image without an alpha
// channel. An alpha channel that is 0 everywhere gives an empty rectangle (Right < Left).
TRect IEGetOpaqueBounds(TIEBitmap* Bitmap);
