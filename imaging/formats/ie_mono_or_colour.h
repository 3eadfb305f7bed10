// The image as ie1g or ie24RGB, the two pixel formats that writers of black-and-white and
// colour pages code: the bitmap itself when it is one of them, else a 24-bit copy held in Copy.
#pragma once

#include <memory>

#include "imaging/core/ie_bitmap.h"

inline TIEBitmap* IEMonoOrColourImage(TIEBitmap* Bitmap, std::unique_ptr<TIEBitmap>& Copy) {
  const TIEPixelFormat Format = Bitmap->GetPixelFormat();
  if (Format == ie1g || Format == ie24RGB) return Bitmap;
  Copy = std::make_unique<TIEBitmap>();
  Copy->Assign(Bitmap);
  Copy->ConvertPixelFormat(ie24RGB);
  return Copy.get();
}
