// An opened output of a task.
#pragma once

#include <cstdint>

#include "media/binding/ffmpeg_headers.h"

struct TOutputFile {
  AVFormatContext* Ctx = nullptr;  // the muxer's context, owned by the task
  AVDictionary* Opts = nullptr;    // handed to the muxer when the header is written
  int OstIndex = 0;                // the output's first stream in OutputStreams
  int64_t RecordingTime = INT64_MAX;
  int64_t StartTime = 0;
  int64_t LimitFilesize = INT64_MAX;
  int Shortest = 0;
};
