// PackBits (the Macintosh run-length coding that TIFF, Photoshop and others carry): the coding
// side, one row or block at a time.
#pragma once

#include "platform/rtl/streams.h"

// Codes Count bytes of Data and writes the result to Stream. Runs of four or more equal bytes
// become a run (a count byte 1 - n and the byte, n at most 128); everything else, runs of two
// and three included, goes into literals of at most 128 bytes (a count byte n - 1 and the
// bytes). A short write raises Aborting; it is never lowered.
void IEPackBitsEncode(const Byte* Data, Integer Count, TStream* Stream, bool& Aborting);
