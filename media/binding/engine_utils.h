// Small services the engine shares: byte-count texts, a string splitter, seek flags, and the
// engine's own versions of FFmpeg's inline helpers for rationals, timestamps and I/O positions.
#pragma once

#include <initializer_list>

#include "media/binding/ffmpeg_headers.h"
#include "media/binding/seek_flags.h"
#include "platform/rtl/types.h"

// "1.50 KB", "12.00 MB", "1024 Byte": the unit is the largest whose size the count exceeds.
AnsiString FormatFileSize(Int64 Size);

// Part is Source up to the first Delimiter (all of it when there is none); with Cut, Source
// keeps what follows the delimiter (nothing when there is none).
void SplitFirst(AnsiString& Source, const AnsiString& Delimiter, bool Cut, AnsiString& Part);

int SeekFlagsToInt(TSeekFlags Flags);

// Comparison with FFmpeg's rules for zero denominators: INT_MIN for 0/0 against x/0.
int RationalCompare(AVRational A, AVRational B);
double RationalToDouble(AVRational A);
AVRational RationalDiv(AVRational B, AVRational C);
AVRational RationalInvert(AVRational A);
AVRational RationalFromDouble(double Value, int Max);

// "NOPTS" for a missing timestamp, else the number; the time variant in seconds as "%.6g".
AnsiString TimestampText(Int64 Ts);
AnsiString TimestampTimeText(AVRational TimeBase, Int64 Ts);

Int64 AVIOTell(AVIOContext* Pb);
// The frame rate at a buffer sink's input.
AVRational BufferSinkFrameRate(const AVFilterContext* Sink);
// -1, 0 or 1 by the first differing byte, compared as unsigned bytes.
int CompareMemory(const void* A, const void* B, size_t Length);

// Pumps the main thread's queue and events; a quit request stays pending for the main loop.
// (These two live in engine_messages.cpp, away from the window classes' users.)
void ProcessMessages();
// Handles what waits in the main thread's queue once; false when nothing was there (and always
// on another thread, which has no queue here). A quit request stays pending, as above.
bool ProcessMessage();
