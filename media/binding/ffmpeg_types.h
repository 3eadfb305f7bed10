// The few FFmpeg types an interface above the engine shows: value types and constants from
// libavutil's core header, and the contexts by name only. Code that works on them includes
// ffmpeg_headers.h instead.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/samplefmt.h>
}

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVIOContext;
struct AVPacket;
struct SwrContext;

// FFmpeg's picture layout: plane pointers and line sizes.
struct TAVPicture {
  uint8_t* data[8] = {};
  int linesize[8] = {};
};
