// An opened input of a task and its streams.
#pragma once

#include <cstdint>
#include <vector>

#include "media/binding/ffmpeg_headers.h"

struct TInputFilter;

struct TInputFile {
  AVFormatContext* Ctx = nullptr;  // owned by the task until its clean-up
  int EofReached = 0;
  int Unavailable = 0;
  int IstIndex = 0;  // the input's first stream in InputStreams
  int64_t TsOffset = 0;
  int64_t InputTsOffset = 0;  // the offset the task asked for, before the start time is taken off
  int NbStreams = 0;
  int NbStreamsWarn = 0;
  int RateEmu = 0;
};

struct TInputStream {
  int FileIndex = 0;
  AVStream* St = nullptr;
  int Discard = 1;  // nothing wants the stream until an output or a graph takes it
  int DecodingNeeded = 0;
  const AVCodec* Dec = nullptr;
  // The decoder's own context: the container's streams carry only parameters. Made from the
  // stream's parameters when the input opens; the transcoding engine opens it.
  AVCodecContext* DecCtx = nullptr;

  // Decoding state of the transcode loop.
  AVFrame* DecodedFrame = nullptr;
  AVFrame* FilterFrame = nullptr;
  int64_t Start = 0;
  int64_t NextDts = 0;
  int64_t Dts = 0;
  int64_t NextPts = 0;
  int64_t Pts = 0;
  int WrapCorrectionDone = 0;

  int64_t FilterInRescaleDeltaLast = AV_NOPTS_VALUE;
  double TsScale = 1.0;
  int SawFirstTs = 0;
  int ShowedMultiPacketWarning = 0;

  AVDictionary* Opts = nullptr;
  AVRational Framerate{0, 0};  // a forced constant rate, 0/0 when none
  int TopFieldFirst = -1;
  int GuessLayoutMax = INT32_MAX;

  int ResampleHeight = 0;
  int ResampleWidth = 0;
  int ResamplePixFmt = 0;
  int ResampleSampleFmt = 0;
  int ResampleSampleRate = 0;
  int ResampleChannels = 0;
  uint64_t ResampleChannelLayout = 0;

  int FixSubDuration = 0;
  struct {
    int GotOutput = 0;
    int Ret = 0;
    AVSubtitle Subtitle{};
  } PrevSub;
  struct {
    int64_t LastPts = 0;
    int64_t EndPts = 0;
    AVFrame* Frame = nullptr;  // the canvas a subtitle is drawn on
    int W = 0;
    int H = 0;
  } Sub2Video;

  int DrRequested = 0;
  std::vector<TInputFilter*> Filters;
  int ReinitFilters = -1;
  int64_t HookFrameCount = 0;
};
