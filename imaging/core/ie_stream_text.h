// Strings and lines written to and read from streams by the library's file formats.
#pragma once

#include "platform/rtl/streams.h"

// A 32-bit little-endian length, then the bytes (no terminator).
void IESaveStringToStream(TStream* Stream, const AnsiString& S);
// Reads what IESaveStringToStream wrote. A negative length or one beyond the stream's end
// raises EReadError "Stream read error" before any memory is reserved for it.
void IELoadStringFromStream(TStream* Stream, AnsiString& S);
// Text followed by CR LF.
void IEStreamWriteCRLFLine(TStream* Stream, const AnsiString& Text);
