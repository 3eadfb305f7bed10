// An opened output of a task.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "media/binding/ffmpeg_headers.h"
#include "media/engine/output_watch.h"

struct TOutputFile {
  AVFormatContext* Ctx = nullptr;  // the muxer's context, owned by the task
  AVDictionary* Opts = nullptr;    // handed to the muxer when the header is written
  int OstIndex = 0;                // the output's first stream in OutputStreams
  int64_t RecordingTime = INT64_MAX;
  int64_t StartTime = 0;
  int64_t LimitFilesize = INT64_MAX;
  int Shortest = 0;

  // Whether the file can be trusted whole: the trailer went out, and for muxers that open their
  // own files (numbered images), the name of the one being written until it is closed whole.
  bool TrailerWritten = false;
  std::string WritingName;
  int WriteError = 0;  // the first failure of such a file, which the muxer itself does not report
  decltype(AVFormatContext::io_open) InnerIOOpen = nullptr;
  decltype(AVFormatContext::io_close2) InnerIOClose2 = nullptr;
  // The file written, or the folder of a muxer that makes its own files; shared by the records
  // of a joined output, which all write into the first one's file.
  std::shared_ptr<TOutputWatch> Watch;
};
