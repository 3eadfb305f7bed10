// FFmpeg values as display texts (times, codec names, media and picture types) and in other units.
#pragma once

#include "media/binding/ffmpeg_headers.h"
#include "platform/rtl/sysutils.h"
#include "platform/rtl/types.h"

// "hh:mm:ss.zzz" of a time in microseconds after adding 5 ms; "N/A" for a missing timestamp.
// A negative time is written with a leading "-".
AnsiString FormatTimeUs(Int64 Us);
// A timestamp in its time base, as FormatTimeUs.
AnsiString FormatTimestamp(AVRational TimeBase, Int64 Ts);
// "s.uuuuuu" of a timestamp in its time base; empty for a missing timestamp.
AnsiString FormatSeconds(AVRational TimeBase, Int64 Ts);
// One frame's duration at a frame rate; 40000 (25 frames a second) without a usable rate.
Int64 FrameDurationUs(AVRational FrameRate);

// The local time's distance from UTC in days, now, with daylight saving time.
double LocalTimeOffsetDays();
// Seconds since 1970 (UTC) as a local date-time, with the offset in force at that moment.
TDateTime UnixTimeToLocalDateTime(Int64 Seconds);
// "UTC", or "UTC+hh:mm" / "UTC-hh:mm" for the current offset.
AnsiString UTCOffsetText();

// "name(long name)" of the context's encoder or decoder, or what its id or tag tells.
AnsiString CodecNameText(const AVCodecContext* Context, bool Encoder);
AnsiString MediaTypeName(int MediaType);
AnsiString PictureTypeName(int PictureType);
AnsiString DictValueOr(const AVDictionary* Dict, const AnsiString& Key, const AnsiString& Default);
bool IsPrintableChar(Byte C);
uint32_t MakeTag(Byte A, Byte B, Byte C, Byte D);
