// The option values of one input or one output, as a task's option string and presets leave them.
// The option table writes into it by field offset, so it stays a plain record of C arrays.
#pragma once

#include <cstdint>

#include "media/binding/option_parser.h"

// One entry of "-map": an input stream, or a filter-graph output named by LinkLabel.
struct TStreamMap {
  int Disabled;
  int FileIndex;
  int StreamIndex;
  int SyncFileIndex;
  int SyncStreamIndex;
  char* LinkLabel;  // av_strdup copy, or null
};

// One entry of "-map_channel"; -1 stands for "any" (or, as ChannelIndex, for a muted channel).
struct TAudioChannelMap {
  int FileIndex;
  int StreamIndex;
  int ChannelIndex;
  int OutputFileIndex;
  int OutputStreamIndex;
};

struct TOptionsContext {
  TOptionGroup* Group;

  int64_t StartTime;
  char* Format;
  TSpecifierList CodecNames;
  TSpecifierList AudioChannels;
  TSpecifierList AudioSampleRate;
  TSpecifierList FrameRates;
  TSpecifierList FrameSizes;
  TSpecifierList FramePixFmts;

  int64_t InputTsOffset;
  int RateEmu;
  TSpecifierList TsScale;
  TSpecifierList DumpAttachment;

  TStreamMap* StreamMaps;
  int NbStreamMaps;
  TAudioChannelMap* AudioChannelMaps;
  int NbAudioChannelMaps;
  int MetadataGlobalManual;
  int MetadataStreamsManual;
  int MetadataChaptersManual;
  char** Attachments;
  int NbAttachments;
  int ChaptersInputFile;

  int64_t RecordingTime;
  int64_t StopTime;
  int64_t LimitFilesize;
  float MuxPreload;
  float MuxMaxDelay;
  int Shortest;
  int VideoDisable;
  int AudioDisable;
  int SubtitleDisable;
  int DataDisable;

  int* StreamIdMap;
  int NbStreamIdMap;

  TSpecifierList Metadata;
  TSpecifierList MaxFrames;
  TSpecifierList BitstreamFilters;
  TSpecifierList CodecTags;
  TSpecifierList SampleFmts;
  TSpecifierList QScale;
  TSpecifierList ForcedKeyFrames;
  TSpecifierList ForceFps;
  TSpecifierList FrameAspectRatios;
  TSpecifierList RcOverrides;
  TSpecifierList IntraMatrices;
  TSpecifierList InterMatrices;
  TSpecifierList TopFieldFirst;
  TSpecifierList MetadataMap;
  TSpecifierList CopyInitialNonKeyframes;
  TSpecifierList CopyPriorStart;
  TSpecifierList Filters;
  TSpecifierList ReinitFilters;
  TSpecifierList FixSubDuration;
  TSpecifierList Pass;
  TSpecifierList PassLogFiles;
  TSpecifierList GuessLayoutMax;
};

// "Not set" for the Int64 limits and "automatic" for ChaptersInputFile.
constexpr int64_t OptionNotSet = INT64_MAX;
constexpr int ChaptersAutomatic = INT32_MAX;
