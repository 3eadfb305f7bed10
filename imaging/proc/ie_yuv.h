// YUV frames as capture drivers hand them over (the packed and planar layouts named by their
// four-character codes) turned into 24-bit images.
#pragma once

#include <cstddef>

#include "imaging/core/ie_bitmap.h"

// Four-character codes as they appear in a bitmap header's compression field.
constexpr DWORD IEFourCC(char A, char B, char C, char D) {
  return DWORD(Byte(A)) | DWORD(Byte(B)) << 8 | DWORD(Byte(C)) << 16 | DWORD(Byte(D)) << 24;
}

// Video-range BT.601; Pixel receives B, G, R, each rounded and clamped to 0..255.
void IEYUVToRGB(Integer Y, Integer U, Integer V, Byte* Pixel);

// Each converts a frame of Bitmap's size (Bitmap is ie24RGB and allocated) from Data, which
// holds Size bytes. TopDown puts the first stored row at the top. False, with nothing
// converted, when Data is too short for the frame.
bool IEConvertIYU1(const Byte* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown);
bool IEConvertIYU2(const Byte* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown);
bool IEConvertUYVY(const Byte* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown);
bool IEConvertYUY2(const Byte* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown);
bool IEConvertYVYU(const Byte* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown);
bool IEConvertY41P(const Byte* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown);
bool IEConvertY211(const Byte* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown);
bool IEConvertCLJR(const Byte* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown);
bool IEConvertYVU9(const Byte* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown);
bool IEConvertYV12(const Byte* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown);
bool IEConvertI420(const Byte* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown);

// The converter of a four-character code, or nil for a code that is not a YUV layout we read.
using TIEYUVConverter = bool (*)(const Byte* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown);
TIEYUVConverter IEYUVConverterFor(DWORD FourCC);
