// PackBits run-length coding, as Photoshop channels and TIFF strips use it: a control byte n
// followed by n + 1 literal bytes (n 0..127), or by one byte repeated 257 - n times (n 129..255).
// The control byte 128 is a no-op.
#pragma once

#include <cstddef>

#include "platform/rtl/streams.h"
#include "platform/rtl/types.h"

struct TIEPackBitsResult {
  size_t Read = 0;     // input bytes taken
  size_t Written = 0;  // output bytes produced (never above the room given)
  bool Clipped = false;  // a run or literal went past the room given; its excess was dropped
};

// Decodes Src until DestLength bytes are written or the input ends. Never reads past Src +
// SrcLength nor writes past Dest + DestLength.
TIEPackBitsResult IEPackBitsDecode(const Byte* Src, size_t SrcLength, Byte* Dest, size_t DestLength);

// The most bytes PackBitsRow can make of Length bytes: one control byte for each 128 literals.
constexpr size_t IEPackBitsMaxPacked(size_t Length) { return Length + (Length + 127) / 128; }

// Packs one row: runs of 4 to 128 equal bytes become repeat packets, everything else literal
// packets of up to 128 bytes. Dest has room for IEPackBitsMaxPacked(Length) bytes.
void PackBitsRow(const Byte* Data, Integer Length, Byte* Dest, Integer& DestLength);

// PackBitsRow's packets of Count bytes of Data, written to Stream in one write. A short write
// raises Aborting; it is never lowered.
void IEPackBitsEncode(const Byte* Data, Integer Count, TStream* Stream, bool& Aborting);
