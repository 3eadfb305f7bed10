// Byte encodings of the PostScript and PDF writers (ASCII85, run-length) and of the writer that
// saves an image as program source (base64).
#pragma once

#include "platform/rtl/types.h"

class TStream;

// One ASCII85 group of Count (1 .. 4) bytes: "z" for four zero bytes, else Count + 1 characters.
// Both pointers advance; answers the characters written.
Integer IEEncodeASCII85Group(const Byte*& Source, Integer Count, char*& Dest);
// Count bytes as ASCII85 lines of 75 to 79 characters ending in CR LF, then "~>" CR LF. Len
// grows by the group characters only; answers every character written. The caller provides the room.
Integer IEEncodeASCII85(const Byte*& Source, Integer Count, char*& Dest, Integer& Len);
// PostScript RunLengthDecode form ending with the byte 128; answers the bytes written. The output
// never exceeds Count x 3 / 2 + 2 bytes; the caller provides that room.
Integer IEEncodeRunLength(const Byte* Source, Integer Count, Byte* Dest);
// One base64 group of Count (1 .. 3) real bytes, padded with "=".
void IEEncodeBase64Group(const Byte* Source, char* Dest, Integer Count);
// The rest of Stream as base64 lines of 4 x ceil(LineLength / 4) characters, each ending in
// CR LF, written to F. A short write raises EInOutError.
void IEEncodeStreamBase64(TStream* Stream, TStream* F, Integer LineLength);
