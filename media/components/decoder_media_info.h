// The decoder's multi-line media information text and the stream facts it shares with the
// decoder's getters. Nothing here writes into the format context: a task's thread may be reading
// the same streams.
#pragma once

#include <memory>
#include <vector>

#include "media/binding/ffmpeg_headers.h"
#include "platform/rtl/types.h"

// A stream's time base with a zero denominator replaced (by the numerator, or 1), so that times
// can be rescaled.
AVRational UsableTimeBase(AVRational TimeBase);

struct TCodecContextDeleter {
  void operator()(AVCodecContext* Context) const;
};
using TCodecContextPtr = std::unique_ptr<AVCodecContext, TCodecContextDeleter>;
// A throw-away codec context filled from the stream's parameters, for FFmpeg's describing
// calls; null without memory.
TCodecContextPtr DescribingContext(const AVStream* Stream);

// The open file's size: the I/O stream's, else the size on disk of the file it names; 0 when
// neither tells.
Int64 ContextFileSize(const AVFormatContext* Context);

// ", 25 fps", ", 29.97 tbr", ", 90k tbn".
AnsiString FormatRateSuffix(double Rate, const char* Word);

// The "Metadata:" block of a dictionary; nothing when it is empty or holds only "language".
void DumpMetadata(const AVDictionary* Dictionary, const AnsiString& Indent, std::vector<AnsiString>& Lines);

// The stream line of stream Index with its metadata.
void DumpStreamFormat(const AVFormatContext* Context, unsigned Index, std::vector<AnsiString>& Lines);

// The whole text, each line ended by CR LF.
AnsiString MediaInfoText(const AVFormatContext* Context);
