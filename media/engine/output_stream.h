// One stream of an opened output.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "media/binding/ffmpeg_headers.h"
#include "platform/rtl/types.h"

struct TInputStream;
struct TOutputFilter;

constexpr int MaxAudioChannelsMap = 32;

struct TOutputStream {
  int FileIndex = 0;
  int Index = 0;         // within its output
  int SourceIndex = -1;  // in InputStreams; -1 for none
  AVStream* St = nullptr;
  // The encoder's own context: filled here, opened by the engine, then copied to St->codecpar.
  AVCodecContext* EncCtx = nullptr;

  int EncodingNeeded = 0;
  int64_t FrameNumber = 0;
  TInputStream* SyncIst = nullptr;
  int64_t SyncOpts = 0;
  int64_t FirstPts = 0;
  int64_t LastMuxDts = AV_NOPTS_VALUE;

  // Allocated in the given order; initialised by the engine once the stream's parameters exist.
  std::vector<AVBSFContext*> BitstreamFilters;
  const AVCodec* Enc = nullptr;
  int64_t MaxFrames = INT64_MAX;
  AVFrame* FilteredFrame = nullptr;

  AVRational FrameRate{0, 0};
  int ForceFps = 0;
  int TopFieldFirst = -1;
  float FrameAspectRatio = 0;

  std::vector<int64_t> ForcedKfPts;
  int ForcedKfIndex = 0;
  AnsiString ForcedKeyframes;
  AVExpr* ForcedKeyframesPexpr = nullptr;
  double ForcedKeyframesExprConstValues[5] = {};

  int AudioChannelsMap[MaxAudioChannelsMap] = {};
  int AudioChannelsMapped = 0;

  AnsiString LogfilePrefix;
  FILE* Logfile = nullptr;

  TOutputFilter* Filter = nullptr;
  AnsiString Avfilter;  // empty: none
  int64_t SwsFlags = 0;
  AVDictionary* Opts = nullptr;
  AVDictionary* SwrOpts = nullptr;
  AVDictionary* ResampleOpts = nullptr;

  int Finished = 0;
  int Unavailable = 0;
  int StreamCopy = 0;
  AnsiString AttachmentFilename;
  int CopyInitialNonKeyframes = 0;
  int CopyPriorStart = -1;
  int KeepPixFmt = 0;

  int64_t JoinLastPts = AV_NOPTS_VALUE;
  int64_t JoinLastDts = AV_NOPTS_VALUE;
  int OwnsOpts = 0;
  int OwnsCodecData = 0;
  int EncoderOpened = 0;
  int CodecClosed = 0;
};
