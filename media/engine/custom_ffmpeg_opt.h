// The option model of one transcoding task: the option table, the per-task "global" option values,
// and the operations that turn a task's option strings into opened inputs, outputs, streams and
// filter graphs. The transcoding engine builds on it.
#pragma once

#include <atomic>
#include <functional>
#include <string_view>
#include <vector>

#include "media/binding/ffmpeg_headers.h"
#include "media/binding/logger.h"
#include "media/binding/option_parser.h"
#include "media/engine/filter_graph.h"
#include "media/engine/input_file.h"
#include "media/engine/options_context.h"
#include "media/engine/output_file.h"
#include "media/engine/output_stream.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/sysutils.h"
#include "platform/rtl/types.h"

using TBeforeFindStreamInfoEvent = std::function<void(TObject* Sender, AVFormatContext* Context)>;

class TCustomFFmpegOpt : public TObject {
 public:
  TCustomFFmpegOpt();
  ~TCustomFFmpegOpt() override;

  // Implemented by the task object.
  virtual int OptVHook(void* Context, const AnsiString& Option, const AnsiString& Arg) = 0;
  virtual int OptVideoHookBitsPixel(void* Context, const AnsiString& Option, const AnsiString& Arg) = 0;

  // ---- option table and parsing
  void InitOptionTable();
  const TOptionDef* OptionTable() const { return FOptionTable; }
  int OptionCount() const { return static_cast<int>(FTable.size()) - (FTable.empty() ? 0 : 1); }
  void InitOptionsContext(TOptionsContext& Context);
  void UninitOptionsContext(TOptionsContext& Context);
  int ParseOptions(TOptionsContext& Context, const AnsiString& OptionString, const AnsiString& WhatFor,
                   const AnsiString& Presets);
  int ParsePresets(TOptionsContext& Context, const AnsiString& Presets, const AnsiString& WhatFor);

  [[noreturn]] void RaiseError(const AnsiString& Msg);
  template <class... Args>
  [[noreturn]] void RaiseErrorFmt(std::string_view Fmt, const Args&... args) {
    RaiseError(Format(Fmt, args...));
  }
  void CheckLeftoverOptions(AVDictionary* Dictionary);
  [[noreturn]] void AbortCodecExperimental();

  // The value of the last entry of List whose specifier matches the stream; Value stays otherwise.
  void MatchPerStreamOption(AVFormatContext* Ctx, AVStream* St, const TSpecifierList& List, char*& Value);
  void MatchPerStreamOption(AVFormatContext* Ctx, AVStream* St, const TSpecifierList& List, int& Value);
  void MatchPerStreamOption(AVFormatContext* Ctx, AVStream* St, const TSpecifierList& List, int64_t& Value);
  void MatchPerStreamOption(AVFormatContext* Ctx, AVStream* St, const TSpecifierList& List, double& Value);
  void MatchPerTypeCodecName(const TOptionsContext& Context, char Letter, char*& Name);

  static int ReadInterruptCallback(void* Opaque);
  static int WriteInterruptCallback(void* Opaque);
  // The failure text of a read of File that ended with Code: a read the time-out cut off says
  // so, where FFmpeg's own text ("Immediate exit requested") would tell the user nothing.
  bool ReadTimedOut(int Code) const;
  AnsiString ReadTimeoutText(const AnsiString& File) const;
  AnsiString ReadFailureText(const AnsiString& File, int Code) const;

  // ---- inputs
  int OpenInputFile(TOptionsContext& Context, const AnsiString& OptionString, const WideString& FileName,
                    const AnsiString& Presets);
  const AVCodec* FindCodec(const AnsiString& Name, AVMediaType MediaType, bool Encoder);
  const AVCodec* ChooseDecoder(TOptionsContext& Context, AVFormatContext* Ctx, AVStream* St);
  void AddInputStreams(TOptionsContext& Context, AVFormatContext* Ctx);
  bool GuessInputChannelLayout(TInputStream* Ist);
  void DumpAttachment(AVStream* St, const AnsiString& FileName);
  bool CheckFileOverwrite(const AnsiString& FileName);

  // ---- outputs
  int OpenOutputFile(TOptionsContext& Context, const AnsiString& OptionString, bool Join, const WideString& FileName,
                     const AnsiString& Presets);
  int CopyMetadata(const AnsiString& OutSpec, const AnsiString& InSpec, AVFormatContext* OutCtx, AVFormatContext* InCtx,
                   TOptionsContext& Context);
  int ParseMetaType(const AnsiString& Spec, char& Type, AnsiString& StreamSpec, int& Index);
  int CopyChapters(TInputFile* Ifile, TOutputFile* Ofile, bool CopyMetadata);
  void FreeOutputStreams();
  // Where an output's bytes end up on this machine: its file, or for a muxer that makes its own
  // files, their folder (Folder True); empty for a pipe, a network address or a device.
  static AnsiString OutputLocation(const AVFormatContext* Oc, bool& Folder);
  // Join mode: each further input gets its own set of output streams writing into output 0.
  int SetupJoin(TOptionsContext& Context);
  int JoinInputFile(TOptionsContext& Context, int InputIndex);

  // ---- output streams
  TOutputStream* NewOutputStream(TOptionsContext& Context, AVFormatContext* Oc, AVMediaType Type, int SourceIndex);
  TOutputStream* NewVideoStream(TOptionsContext& Context, AVFormatContext* Oc, int SourceIndex);
  TOutputStream* NewAudioStream(TOptionsContext& Context, AVFormatContext* Oc, int SourceIndex);
  TOutputStream* NewSubtitleStream(TOptionsContext& Context, AVFormatContext* Oc, int SourceIndex);
  TOutputStream* NewDataStream(TOptionsContext& Context, AVFormatContext* Oc, int SourceIndex);
  TOutputStream* NewAttachmentStream(TOptionsContext& Context, AVFormatContext* Oc, int SourceIndex);
  void ChooseEncoder(TOptionsContext& Context, AVFormatContext* Oc, TOutputStream* Ost);
  void ParseMatrixCoeffs(uint16_t* Matrix, const AnsiString& Text);

  // ---- filter graphs
  TFilterGraph* InitSimpleFilterGraph(TInputStream* Ist, TOutputStream* Ost);
  int ConfigureFilterGraph(TFilterGraph* Fg);
  int ConfigureComplexFilters();
  void InitOutputFilter(TOutputFilter* Ofilter, TOptionsContext& Context, AVFormatContext* Oc);
  bool IsInputStreamInFilterGraph(TFilterGraph* Fg, TInputStream* Ist);
  AVPixelFormat ChoosePixelFmt(AVStream* St, AVCodecContext* EncCtx, const AVCodec* Codec, AVPixelFormat Target);
  void ChooseSampleFmt(AVCodecContext* EncCtx, const AVCodec* Codec);
  // The "format" list of a video output stream ("|"-separated), empty for none.
  AnsiString ChoosePixFmts(TOutputStream* Ost);
  void FreeFilterGraphs();

  // ---- the task's "global" option values
  AnsiString VstatsFilename;
  float AudioDriftThreshold = 0.1f;
  float DtsDeltaThreshold = 10;
  float DtsErrorThreshold = 3600 * 30;
  int AudioVolume = 256;
  int AudioSyncMethod = 0;
  int VideoSyncMethod = -1;
  int DoDeinterlace = 0;
  int DoHexDump = 0;
  int DoPktDump = 0;
  int CopyTs = 0;
  int CopyTb = -1;
  int DebugTs = 0;
  int ExitOnError = 0;
  int PrintStats = -1;
  int QpHist = 0;
  int FrameBitsPerRawSample = 0;
  int IntraOnly = 0;
  int FileOverwrite = 0;
  int NoFileOverwrite = 0;
  int VideoDiscard = 0;
  int IntraDcPrecision = 8;
  int DoPsnr = 0;
  int InputSync = 0;
  AVIOContext* ProgressAvio = nullptr;

  std::vector<TInputStream*> InputStreams;
  std::vector<TInputFile*> InputFiles;
  std::vector<TOutputStream*> OutputStreams;
  std::vector<TOutputFile*> OutputFiles;
  std::vector<TFilterGraph*> FilterGraphs;

  TFFOptions* OptionsParser = nullptr;
  bool StrictOptions = true;
  bool Joined = false;
  int JoinStreamCount = 0;
  std::atomic<bool> IOBroken{false};
  int ReadTimeout = 30000;
  int WriteTimeout = 30000;
  // Threads for each codec and filter graph of the task that the options leave to the engine;
  // 0 lets FFmpeg size them from all the cores. The owner of several tasks running at once
  // gives each a share, so the tasks do not start a full set of threads each.
  int ThreadShare = 0;
  // The "threads" value for a codec whose options name none.
  AnsiString ThreadsOption() const;
  AVIOInterruptCB ReadInterrupt{};
  AVIOInterruptCB WriteInterrupt{};
  std::atomic<int64_t> ReadStartTime{INT64_MAX};
  std::atomic<int64_t> WriteStartTime{INT64_MAX};
  // While set, the write interrupt callback honours only its time-out, not the break flag: the
  // transcoding engine sets it so a stop never cuts a write short (a failed write latches an
  // error in the I/O context and the file would get no trailer).
  std::atomic<bool> WriteIgnoresBreak{false};
  int64_t MaxInputDuration = -1;
  int64_t TotalDuration = -1;
  AnsiString LastErrorMessage;
  TBeforeFindStreamInfoEvent OnBeforeFindStreamInfo;

 protected:
  void Log(TLogLevel Level, const AnsiString& Text) { FFLogger()->Log(this, Level, Text); }
  template <class... Args>
  void LogFmt(TLogLevel Level, std::string_view Fmt, const Args&... args) {
    FFLogger()->LogFmt(this, Level, Fmt, args...);
  }
  // Returns a failure: LastErrorMessage := Msg, logged as fatal.
  int Fail(const AnsiString& Msg, int Code);

 private:
  // Option handlers (the table's targets).
  int OptIgnored(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int OptUnsupported(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int OptRemoved(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int OptSwitchNoOp(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int OptTimeStart(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int OptTimeLength(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int OptMap(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int OptMapChannel(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int OptAttach(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int OptFilterComplex(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int OptPreset(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int OptDefaultNew(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int OptAlias(void* Context, const AnsiString& Target, const AnsiString& Arg);
  int OptOld2New(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int OptQscale(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int OptBitrate(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int OptProfile(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int OptVideoChannel(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int OptVideoStandard(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int OptTimecode(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int OptChannelLayout(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int OptRecordingTimestamp(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int OptStreamId(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int OptVsync(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int OptTarget(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int OptMaxAlloc(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int OptCpuflags(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int OptProgress(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int OptVstats(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int OptVstatsFile(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int OptDeinterlace(void* Context, const AnsiString& Option, const AnsiString& Arg);
  int ApplyPresetLine(TOptionsContext& Context, const AnsiString& Line, const AnsiString& SyntaxPrefix,
                      const AnsiString& OptionPrefix);

  // Output opening steps.
  int RollBackOutput(AVFormatContext* Oc, const AnsiString& FileName, bool FileRecord, int Code);
  // Follows the files a muxer opens itself, so that a failed task knows which one it left
  // unfinished.
  void TrackMuxerFiles(TOutputFile* Of);
  int OpenOutputStreams(TOptionsContext& Context, AVFormatContext* Oc);
  void SelectStreamsAutomatically(TOptionsContext& Context, AVFormatContext* Oc);
  // The input streams automatic selection takes (video, audio, subtitle), from one input or all.
  std::vector<int> AutoSelectedStreams(TOptionsContext& Context, AVFormatContext* Oc, int FileIndex,
                                       bool NamedSubtitleCodec);
  bool FJoinOpening = false;
  int ApplyMetadataOptions(TOptionsContext& Context, AVFormatContext* Oc, TOutputFile* Of);
  int AddAttachments(TOptionsContext& Context, AVFormatContext* Oc);

  // Filter graph steps.
  void InitInputFilter(TFilterGraph* Fg, AVFilterInOut* In);
  int ConfigureInputFilter(TFilterGraph* Fg, TInputFilter* Ifilter, AVFilterInOut* In);
  int ConfigureInputVideoFilter(TFilterGraph* Fg, TInputFilter* Ifilter, AVFilterInOut* In);
  int ConfigureInputAudioFilter(TFilterGraph* Fg, TInputFilter* Ifilter, AVFilterInOut* In);
  int ConfigureOutputFilter(TFilterGraph* Fg, TOutputFilter* Ofilter, AVFilterInOut* Out);
  int ConfigureOutputVideoFilter(TFilterGraph* Fg, TOutputFilter* Ofilter, AVFilterInOut* Out);
  int ConfigureOutputAudioFilter(TFilterGraph* Fg, TOutputFilter* Ofilter, AVFilterInOut* Out);
  int Sub2VideoPrepare(TInputStream* Ist);

  std::vector<TOptionDef> FTable;
  const TOptionDef* FOptionTable = nullptr;
};
