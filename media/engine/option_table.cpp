// The option table of a task: every option name the option strings may use, with its kind and the
// value or handler it reaches.
#include <cstddef>

#include "media/engine/custom_ffmpeg_opt.h"

#define CTX(field) offsetof(TOptionsContext, field)

void TCustomFFmpegOpt::InitOptionTable() {
  if (FOptionTable) return;
  using M = int (TCustomFFmpegOpt::*)(void*, const AnsiString&, const AnsiString&);
  auto h = [this](M method) -> TOptionHandler {
    return [this, method](void* c, const AnsiString& o, const AnsiString& a) { return (this->*method)(c, o, a); };
  };
  auto global = [](const char* name, int flags, void* dest) { return TOptionDef{name, flags, dest, 0, {}, name, ""}; };
  auto offset = [](const char* name, int flags, std::size_t off) {
    return TOptionDef{name, flags, nullptr, off, {}, name, ""};
  };
  auto handler = [](const char* name, int flags, TOptionHandler fn, const char* help = "", const char* arg = "") {
    return TOptionDef{name, flags, nullptr, 0, std::move(fn), help, arg};
  };
  std::vector<TOptionDef>& t = FTable;
  t.clear();

  // Printing options of the command-line tool: nothing to print here, so they are only noted.
  for (const char* name : {"L", "h", "?", "help", "-help", "version", "formats", "codecs", "decoders", "encoders",
                           "bsfs", "protocols", "filters", "pix_fmts", "layouts", "sample_fmts"})
    t.push_back(handler(name, OPT_EXIT, h(&TCustomFFmpegOpt::OptIgnored)));
  t.push_back(handler("report", 0, h(&TCustomFFmpegOpt::OptUnsupported)));
  for (const char* name : {"pre", "benchmark", "benchmark_all", "stdin", "timelimit"})
    t.push_back(handler(name, OPT_EXIT, h(&TCustomFFmpegOpt::OptUnsupported)));
  for (const char* name : {"sameq", "same_quant"})
    t.push_back(handler(name, OPT_VIDEO | OPT_EXPERT, h(&TCustomFFmpegOpt::OptRemoved)));

  t.push_back(global("y", OPT_BOOL, &FileOverwrite));
  t.push_back(global("n", OPT_BOOL, &NoFileOverwrite));
  t.push_back(global("dump", OPT_BOOL | OPT_EXPERT, &DoPktDump));
  t.push_back(global("hex", OPT_BOOL | OPT_EXPERT, &DoHexDump));
  t.push_back(global("copyts", OPT_BOOL | OPT_EXPERT, &CopyTs));
  t.push_back(global("xerror", OPT_BOOL, &ExitOnError));
  t.push_back(global("stats", OPT_BOOL, &PrintStats));
  t.push_back(global("intra", OPT_BOOL | OPT_EXPERT | OPT_VIDEO, &IntraOnly));
  t.push_back(global("psnr", OPT_BOOL | OPT_EXPERT | OPT_VIDEO, &DoPsnr));
  t.push_back(global("qphist", OPT_BOOL | OPT_EXPERT | OPT_VIDEO, &QpHist));
  t.push_back(global("isync", OPT_BOOL | OPT_EXPERT, &InputSync));
  t.push_back(global("async", 0x85, &AudioSyncMethod));
  t.push_back(global("copytb", 0x85, &CopyTb));
  t.push_back(global("bits_per_raw_sample", 0x91, &FrameBitsPerRawSample));
  t.push_back(global("vdt", 0x95, &VideoDiscard));
  t.push_back(global("dc", 0x95, &IntraDcPrecision));
  t.push_back(global("vol", 0xA1, &AudioVolume));
  t.push_back(global("adrift_threshold", 0x105, &AudioDriftThreshold));
  t.push_back(global("dts_delta_threshold", 0x105, &DtsDeltaThreshold));
  t.push_back(global("dts_error_threshold", 0x105, &DtsErrorThreshold));

  const TOptionHandler logLevel = [](void*, const AnsiString&, const AnsiString& a) { return OptLogLevel(a); };
  t.push_back(handler("loglevel", OPT_HAS_ARG, logLevel));
  t.push_back(handler("v", OPT_HAS_ARG, logLevel));
  t.push_back(handler("max_alloc", OPT_HAS_ARG, h(&TCustomFFmpegOpt::OptMaxAlloc)));
  t.push_back(handler("cpuflags", OPT_HAS_ARG, h(&TCustomFFmpegOpt::OptCpuflags)));
  t.push_back(handler("progress", 0x5, h(&TCustomFFmpegOpt::OptProgress)));
  t.push_back(handler("vsync", 0x5, h(&TCustomFFmpegOpt::OptVsync)));
  t.push_back(handler("filter_complex", 0x5, h(&TCustomFFmpegOpt::OptFilterComplex)));
  t.push_back(handler("deinterlace", 0x14, h(&TCustomFFmpegOpt::OptDeinterlace)));
  t.push_back(handler("vstats", 0x14, h(&TCustomFFmpegOpt::OptVstats)));
  t.push_back(handler("vstats_file", 0x15, h(&TCustomFFmpegOpt::OptVstatsFile)));
  t.push_back(handler("vc", 0x15, h(&TCustomFFmpegOpt::OptVideoChannel)));
  t.push_back(handler("tvstd", 0x15, h(&TCustomFFmpegOpt::OptVideoStandard)));
  t.push_back(handler("vhook", 0x15, h(&TCustomFFmpegOpt::OptVHook), "insert video processing module", "module"));
  t.push_back(handler("VideoHookBitsPixel", 0x15, h(&TCustomFFmpegOpt::OptVideoHookBitsPixel), "VideoHookBitsPixel",
                      "bpp"));
  // Hooks and joining are requested through the output record; in the text they change nothing.
  for (const char* name : {"AudioInputHook", "AudioOutputHook", "VideoInputHook", "VideoOutputHook", "FrameInputHook",
                           "FrameOutputHook", "Join"})
    t.push_back(handler(name, OPT_EXIT, h(&TCustomFFmpegOpt::OptSwitchNoOp), name));

  t.push_back(offset("f", 0x4009, CTX(Format)));
  t.push_back(offset("map_chapters", 0x4085, CTX(ChaptersInputFile)));
  t.push_back(offset("t", 0x14001, CTX(RecordingTime)));
  t.push_back(offset("to", 0x14001, CTX(StopTime)));
  t.push_back(offset("ss", 0x14001, CTX(StartTime)));
  t.push_back(offset("itsoffset", 0x14005, CTX(InputTsOffset)));
  t.push_back(offset("t_microsecond", 0x4401, CTX(RecordingTime)));
  t.push_back(offset("to_microsecond", 0x4401, CTX(StopTime)));
  t.push_back(offset("ss_microsecond", 0x4401, CTX(StartTime)));
  t.push_back(offset("itsoffset_microsecond", 0x4405, CTX(InputTsOffset)));
  t.push_back(offset("fs", 0x4401, CTX(LimitFilesize)));
  t.push_back(offset("re", 0x4006, CTX(RateEmu)));
  t.push_back(offset("shortest", 0x4006, CTX(Shortest)));
  t.push_back(offset("vn", 0x4012, CTX(VideoDisable)));
  t.push_back(offset("an", 0x4022, CTX(AudioDisable)));
  t.push_back(offset("sn", 0x4202, CTX(SubtitleDisable)));
  t.push_back(offset("dn", 0x4012, CTX(DataDisable)));
  t.push_back(offset("muxdelay", 0x4105, CTX(MuxMaxDelay)));
  t.push_back(offset("muxpreload", 0x4105, CTX(MuxPreload)));

  t.push_back(offset("c", 0x8009, CTX(CodecNames)));
  t.push_back(offset("codec", 0x8009, CTX(CodecNames)));
  t.push_back(offset("map_metadata", 0x8009, CTX(MetadataMap)));
  t.push_back(offset("metadata", 0x8009, CTX(Metadata)));
  t.push_back(offset("filter", 0x8009, CTX(Filters)));
  t.push_back(offset("tag", 0x800D, CTX(CodecTags)));
  t.push_back(offset("dump_attachment", 0x800D, CTX(DumpAttachment)));
  t.push_back(offset("bsf", 0x800D, CTX(BitstreamFilters)));
  t.push_back(offset("r", 0x8019, CTX(FrameRates)));
  t.push_back(offset("s", 0x8219, CTX(FrameSizes)));
  t.push_back(offset("aspect", 0x8019, CTX(FrameAspectRatios)));
  t.push_back(offset("pix_fmt", 0x801D, CTX(FramePixFmts)));
  t.push_back(offset("rc_override", 0x801D, CTX(RcOverrides)));
  t.push_back(offset("passlogfile", 0x801D, CTX(PassLogFiles)));
  t.push_back(offset("intra_matrix", 0x801D, CTX(IntraMatrices)));
  t.push_back(offset("inter_matrix", 0x801D, CTX(InterMatrices)));
  t.push_back(offset("force_key_frames", 0x801D, CTX(ForcedKeyFrames)));
  t.push_back(offset("sample_fmt", 0x802D, CTX(SampleFmts)));
  t.push_back(offset("reinit_filter", 0x8081, CTX(ReinitFilters)));
  t.push_back(offset("pass", 0x8091, CTX(Pass)));
  t.push_back(offset("top", 0x8095, CTX(TopFieldFirst)));
  t.push_back(offset("copypriorss", 0x8085, CTX(CopyPriorStart)));
  t.push_back(offset("ar", 0x80A1, CTX(AudioSampleRate)));
  t.push_back(offset("ac", 0x80A1, CTX(AudioChannels)));
  t.push_back(offset("guess_layout_max", 0x80A5, CTX(GuessLayoutMax)));
  t.push_back(offset("copyinkf", 0x8006, CTX(CopyInitialNonKeyframes)));
  t.push_back(offset("force_fps", 0x8016, CTX(ForceFps)));
  t.push_back(offset("fix_sub_duration", 0x8206, CTX(FixSubDuration)));
  t.push_back(offset("frames", 0x8401, CTX(MaxFrames)));
  t.push_back(offset("itsscale", 0x28005, CTX(TsScale)));
  t.push_back(offset("q", 0x28005, CTX(QScale)));

  auto alias = [this](const char* target) -> TOptionHandler {
    const AnsiString to = target;
    return [this, to](void* c, const AnsiString&, const AnsiString& a) { return OptAlias(c, to, a); };
  };
  t.push_back(handler("map", 0x2005, h(&TCustomFFmpegOpt::OptMap)));
  t.push_back(handler("map_channel", 0x2005, h(&TCustomFFmpegOpt::OptMapChannel)));
  t.push_back(handler("attach", 0x2005, h(&TCustomFFmpegOpt::OptAttach)));
  t.push_back(handler("timestamp", 0x2001, h(&TCustomFFmpegOpt::OptRecordingTimestamp)));
  t.push_back(handler("target", 0x2001, h(&TCustomFFmpegOpt::OptTarget)));
  t.push_back(handler("dframes", 0x2005, alias("frames:d")));
  t.push_back(handler("qscale", 0x2005, h(&TCustomFFmpegOpt::OptQscale)));
  t.push_back(handler("profile", 0x2005, h(&TCustomFFmpegOpt::OptProfile)));
  t.push_back(handler("fpre", 0x2005, h(&TCustomFFmpegOpt::OptPreset)));
  t.push_back(handler("vframes", 0x2011, alias("frames:v")));
  t.push_back(handler("vcodec", 0x2011, alias("codec:v")));
  t.push_back(handler("timecode", 0x2011, h(&TCustomFFmpegOpt::OptTimecode)));
  t.push_back(handler("vf", 0x2011, alias("filter:v")));
  t.push_back(handler("b", 0x2011, h(&TCustomFFmpegOpt::OptBitrate)));
  t.push_back(handler("vtag", 0x2015, h(&TCustomFFmpegOpt::OptOld2New)));
  t.push_back(handler("streamid", 0x2015, h(&TCustomFFmpegOpt::OptStreamId)));
  t.push_back(handler("vbsf", 0x2015, h(&TCustomFFmpegOpt::OptOld2New)));
  t.push_back(handler("vpre", 0x2015, h(&TCustomFFmpegOpt::OptPreset)));
  t.push_back(handler("aframes", 0x2021, alias("frames:a")));
  t.push_back(handler("aq", 0x2021, alias("q:a")));
  t.push_back(handler("acodec", 0x2021, alias("codec:a")));
  t.push_back(handler("af", 0x2021, alias("filter:a")));
  t.push_back(handler("atag", 0x2025, h(&TCustomFFmpegOpt::OptOld2New)));
  t.push_back(handler("channel_layout", 0x2025, h(&TCustomFFmpegOpt::OptChannelLayout)));
  t.push_back(handler("absf", 0x2025, h(&TCustomFFmpegOpt::OptOld2New)));
  t.push_back(handler("apre", 0x2025, h(&TCustomFFmpegOpt::OptPreset)));
  t.push_back(handler("scodec", 0x2201, alias("codec:s")));
  t.push_back(handler("stag", 0x2205, h(&TCustomFFmpegOpt::OptOld2New)));
  t.push_back(handler("spre", 0x2205, h(&TCustomFFmpegOpt::OptPreset)));
  t.push_back(handler("dcodec", 0x3005, alias("codec:d")));
  for (const char* name : {"TimeStart", "timestart"})
    t.push_back(handler(name, 0x2005, h(&TCustomFFmpegOpt::OptTimeStart), name));
  for (const char* name : {"TimeLength", "timelength"})
    t.push_back(handler(name, 0x2005, h(&TCustomFFmpegOpt::OptTimeLength), name));

  t.push_back(TOptionDef{});
  FOptionTable = t.data();
}
