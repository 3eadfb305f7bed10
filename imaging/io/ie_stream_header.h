// The 12-byte header that lets several images follow one another in one stream: a four-letter
// tag ("TIFF", "PCX2" or "JFIF") ending in a zero byte, three reserved zero bytes, and the
// little-endian 32-bit length of the image that follows.
#pragma once

#include "platform/rtl/streams.h"

struct TIEStreamHeader {
  Int64 Start = 0;  // where the header begins
  AnsiString Tag;   // the text of the first five bytes up to their first zero byte
  Cardinal Length = 0;
};

// Reads the 12 bytes at the position; False (position not restored) when fewer are there.
bool IEReadStreamHeader(TStream* Stream, TIEStreamHeader& Header);
// Moves past the image the header announces, whatever its reader consumed; never past the end.
void IESkipStreamImage(TStream* Stream, const TIEStreamHeader& Header);
// Writes a placeholder header and answers where it begins.
Int64 IEBeginStreamHeader(TStream* Stream);
// Writes the final header for everything written since Start and returns to the end.
void IEEndStreamHeader(TStream* Stream, Int64 Start, const AnsiString& Tag);
