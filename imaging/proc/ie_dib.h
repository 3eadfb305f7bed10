// Packed device-independent bitmaps (a 40-byte or longer info header, the colour table or bit
// masks, then the rows padded to 4 bytes), as the clipboard and capture drivers exchange them,
// to and from image buffers.
//
// A packed picture arrives as one memory block whose size is known; nothing is read outside
// it. Bits, when given, is where the pixel data lie instead of after the header (a capture
// frame, or a file's pixel offset), with its own size.
#pragma once

#include <cstddef>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_dib_bitmap.h"

// Reads a packed picture into Bitmap (ie1g for 1 bit per pixel, ie24RGB otherwise) and answers
// its bits per pixel. Uncompressed and bit-field pictures of 1, 4, 8, 16, 24 and 32 bits and
// the YUV layouts of ie_yuv.h are converted; another compression or bit count leaves the
// bitmap allocated at the picture's size but unconverted. Rows run bottom-up unless the height
// is negative. 0, with Bitmap untouched, when the header, the colour table or the pixel data do
// not fit their blocks.
Integer IEDIBToBitmap(const void* DIB, size_t DIBSize, TIEBitmap* Bitmap, const void* Bits = nullptr,
                      size_t BitsSize = 0);

// The same into a device-independent section: 1 bit for 1-bit pictures, 24 for 4, 8, 16, 24
// and 32; nothing for other bit counts. Answers the bits per pixel as IEDIBToBitmap does.
Integer IEDIBToDibbitmap(const void* DIB, size_t DIBSize, TIEDibbitmap* Dest, const void* Bits = nullptr,
                         size_t BitsSize = 0);

// A packed picture of columns X1..X2-1 and rows Y1..Y2-1 in a new zero-filled block (free it
// with IEGlobalFree); X2 = 0 and Y2 = 0 stand for the width and the height. 1-bit, 8-bit
// palette and grey images keep their depth, everything else becomes 24-bit. The corners are
// put in order and clipped to the image; nil for an empty rectangle or when the memory cannot
// be had. Size, when given, receives the block's size.
void* _CopyBitmaptoDIBEx(TIEBitmap* Bitmap, Integer X1, Integer Y1, Integer X2, Integer Y2, Integer DpiX,
                         Integer DpiY, size_t* Size = nullptr);
