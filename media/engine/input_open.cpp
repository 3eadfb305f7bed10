// Opening a task's input: demuxer, probing, start position and the input stream records.
#include <cstring>

#include <unistd.h>

#include "media/binding/entry_points.h"
#include "media/binding/error_text.h"
#include "media/binding/ffmpeg_exception.h"
#include "media/binding/file_names.h"
#include "media/binding/unicode_protocol.h"
#include "media/engine/codec_tag.h"
#include "media/engine/custom_ffmpeg_opt.h"
#include "platform/rtl/strings.h"

namespace {

const TSpecifierOpt* LastEntry(const TSpecifierList& List) { return List.Count ? &List.Items[List.Count - 1] : nullptr; }

bool PrivClassHasOption(const AVInputFormat* Fmt, const char* Name) {
  if (!Fmt || !Fmt->priv_class) return false;
  const AVClass* cls = Fmt->priv_class;
  return ff::av_opt_find(&cls, Name, nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ) != nullptr;
}

}  // namespace

const AVCodec* TCustomFFmpegOpt::FindCodec(const AnsiString& Name, AVMediaType MediaType, bool Encoder) {
  const char* kind = Encoder ? "encoder" : "decoder";
  const AVCodec* codec =
      Encoder ? ff::avcodec_find_encoder_by_name(Name.c_str()) : ff::avcodec_find_decoder_by_name(Name.c_str());
  if (!codec) {
    const AVCodecDescriptor* desc = ff::avcodec_descriptor_get_by_name(Name.c_str());
    if (desc) {
      codec = Encoder ? ff::avcodec_find_encoder(desc->id) : ff::avcodec_find_decoder(desc->id);
      if (codec) LogFmt(llVerbose, "Matched %s \"%s\" for codec \"%s\".", kind, codec->name, desc->name);
    }
  }
  if (!codec) RaiseErrorFmt("Unknown %s \"%s\"", kind, Name);
  if (codec->type != MediaType) RaiseErrorFmt("Invalid %s type \"%s\"", kind, Name);
  return codec;
}

const AVCodec* TCustomFFmpegOpt::ChooseDecoder(TOptionsContext& Context, AVFormatContext* Ctx, AVStream* St) {
  char* name = nullptr;
  MatchPerStreamOption(Ctx, St, Context.CodecNames, name);
  if (name) {
    const AVCodec* codec = FindCodec(name, St->codecpar->codec_type, false);
    St->codecpar->codec_id = codec->id;
    return codec;
  }
  return ff::avcodec_find_decoder(St->codecpar->codec_id);
}

bool TCustomFFmpegOpt::GuessInputChannelLayout(TInputStream* Ist) {
  AVCodecParameters* par = Ist->St->codecpar;
  if (par->ch_layout.order != AV_CHANNEL_ORDER_UNSPEC) return true;
  const int channels = par->ch_layout.nb_channels;
  if (channels > Ist->GuessLayoutMax) return false;
  AVChannelLayout layout{};
  ff::av_channel_layout_default(&layout, channels);
  if (layout.order != AV_CHANNEL_ORDER_NATIVE || layout.u.mask == 0) {
    ff::av_channel_layout_uninit(&layout);
    return false;
  }
  ff::av_channel_layout_copy(&par->ch_layout, &layout);
  if (Ist->DecCtx) ff::av_channel_layout_copy(&Ist->DecCtx->ch_layout, &layout);
  char name[256] = {};
  ff::av_channel_layout_describe(&layout, name, sizeof(name));
  ff::av_channel_layout_uninit(&layout);
  LogFmt(llWarning, "Guessed Channel Layout for  Input Stream #%d.%d : %s", Ist->FileIndex, Ist->St->index, name);
  return true;
}

void TCustomFFmpegOpt::AddInputStreams(TOptionsContext& Context, AVFormatContext* Ctx) {
  for (unsigned i = 0; i < Ctx->nb_streams; ++i) {
    AVStream* st = Ctx->streams[i];
    AVCodecParameters* par = st->codecpar;
    auto* ist = new TInputStream();
    InputStreams.push_back(ist);
    ist->St = st;
    ist->FileIndex = static_cast<int>(InputFiles.size());
    ist->Discard = 1;
    st->discard = AVDISCARD_ALL;

    ist->TsScale = 1.0;
    MatchPerStreamOption(Ctx, st, Context.TsScale, ist->TsScale);

    char* tag = nullptr;
    MatchPerStreamOption(Ctx, st, Context.CodecTags, tag);
    if (tag) par->codec_tag = CodecTagFromText(tag);

    ist->Dec = ChooseDecoder(Context, Ctx, st);
    ist->Opts = FilterCodecOptions(Context.Group->CodecOpts, par->codec_id, Ctx, st, ist->Dec);

    ist->ReinitFilters = -1;
    MatchPerStreamOption(Ctx, st, Context.ReinitFilters, ist->ReinitFilters);
    ist->FilterInRescaleDeltaLast = AV_NOPTS_VALUE;

    ist->DecCtx = ff::avcodec_alloc_context3(ist->Dec);
    if (!ist->DecCtx) RaiseError("Error allocating the decoder context.");
    if (ff::avcodec_parameters_to_context(ist->DecCtx, par) < 0)
      RaiseError("Error initializing the decoder context.");

    switch (par->codec_type) {
      case AVMEDIA_TYPE_VIDEO: {
        if (!ist->Dec) ist->Dec = ff::avcodec_find_decoder(par->codec_id);
        ist->ResampleHeight = par->height;
        ist->ResampleWidth = par->width;
        ist->ResamplePixFmt = par->format;
        char* rate = nullptr;
        MatchPerStreamOption(Ctx, st, Context.FrameRates, rate);
        if (rate && ff::av_parse_video_rate(&ist->Framerate, rate) < 0) RaiseErrorFmt("Error parsing framerate %s.", rate);
        ist->TopFieldFirst = -1;
        MatchPerStreamOption(Ctx, st, Context.TopFieldFirst, ist->TopFieldFirst);
        break;
      }
      case AVMEDIA_TYPE_AUDIO:
        ist->GuessLayoutMax = INT32_MAX;
        MatchPerStreamOption(Ctx, st, Context.GuessLayoutMax, ist->GuessLayoutMax);
        GuessInputChannelLayout(ist);
        ist->ResampleSampleFmt = par->format;
        ist->ResampleSampleRate = par->sample_rate;
        ist->ResampleChannels = par->ch_layout.nb_channels;
        ist->ResampleChannelLayout = par->ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? par->ch_layout.u.mask : 0;
        break;
      case AVMEDIA_TYPE_DATA:
      case AVMEDIA_TYPE_SUBTITLE:
        if (!ist->Dec) ist->Dec = ff::avcodec_find_decoder(par->codec_id);
        MatchPerStreamOption(Ctx, st, Context.FixSubDuration, ist->FixSubDuration);
        break;
      case AVMEDIA_TYPE_ATTACHMENT:
      case AVMEDIA_TYPE_UNKNOWN:
        break;
      default:
        RaiseError("Never occur");
    }
  }
}

bool TCustomFFmpegOpt::CheckFileOverwrite(const AnsiString& FileName) {
  if (FileOverwrite && !NoFileOverwrite) return true;
  // Only a name whose prefix FFmpeg knows as a protocol is a URL; "a:b.bin" is a local file.
  const char* protocol = ff::avio_find_protocol_name(FileName.c_str());
  if (protocol && std::strcmp(protocol, "file") != 0) return true;
  const AnsiString path = FileName.rfind("file:", 0) == 0 ? FileName.substr(5) : FileName;
  if (::access(path.c_str(), F_OK) != 0) return true;
  LastErrorMessage = Format("File \"%s\" already exists. Ignore.", FileName);
  Log(llWarning, LastErrorMessage);
  return false;
}

void TCustomFFmpegOpt::DumpAttachment(AVStream* St, const AnsiString& FileName) {
  const int fileIndex = static_cast<int>(InputFiles.size()) - 1;
  AVCodecParameters* par = St->codecpar;
  if (!par->extradata_size || !par->extradata) {
    LogFmt(llWarning, "No extradata to dump in stream #%d:%d.", fileIndex, St->index);
    return;
  }
  AnsiString name = FileName;
  if (name.empty()) {
    const AVDictionaryEntry* e = ff::av_dict_get(St->metadata, "filename", nullptr, 0);
    if (e) name = e->value;
  }
  if (name.empty()) RaiseErrorFmt("No filename specified and no \"filename\" tag in stream #%d:%d.", fileIndex, St->index);
  if (!CheckFileOverwrite(name)) return;
  AVIOContext* out = nullptr;
  WriteStartTime = ff::av_gettime();
  if (ff::avio_open2(&out, name.c_str(), AVIO_FLAG_WRITE, &WriteInterrupt, nullptr) < 0) {
    LogFmt(llError, "Could not open file %s for writing.", name);
    return;
  }
  WriteStartTime = ff::av_gettime();
  ff::avio_write(out, par->extradata, par->extradata_size);
  ff::avio_flush(out);
  ff::avio_closep(&out);
}

int TCustomFFmpegOpt::OpenInputFile(TOptionsContext& Context, const AnsiString& OptionString,
                                    const WideString& FileName, const AnsiString& Presets) {
  int ret = ParseOptions(Context, OptionString, "input file", Presets);
  if (ret < 0) return ret;

  const AVInputFormat* fmt = nullptr;
  if (Context.Format) {
    fmt = ff::av_find_input_format(Context.Format);
    if (!fmt) return Fail(Format("Unknown input format: \"%s\"", Context.Format), AVERROR(EINVAL));
  }
  AVFormatContext* ic = ff::avformat_alloc_context();
  if (!ic) return Fail("avformat_alloc_context() failed", AVERROR(ENOMEM));

  AVDictionary*& formatOpts = Context.Group->FormatOpts;
  if (const TSpecifierOpt* o = LastEntry(Context.AudioSampleRate))
    ff::av_dict_set(&formatOpts, "sample_rate", IntToStr(o->U.I).c_str(), 0);
  if (const TSpecifierOpt* o = LastEntry(Context.AudioChannels); o && PrivClassHasOption(fmt, "channels"))
    ff::av_dict_set(&formatOpts, "channels", IntToStr(o->U.I).c_str(), 0);
  if (const TSpecifierOpt* o = LastEntry(Context.FrameRates); o && PrivClassHasOption(fmt, "framerate"))
    ff::av_dict_set(&formatOpts, "framerate", o->U.Str, 0);
  if (const TSpecifierOpt* o = LastEntry(Context.FrameSizes)) ff::av_dict_set(&formatOpts, "video_size", o->U.Str, 0);
  if (const TSpecifierOpt* o = LastEntry(Context.FramePixFmts))
    ff::av_dict_set(&formatOpts, "pixel_format", o->U.Str, 0);

  try {
    char* v = nullptr;
    char* a = nullptr;
    char* s = nullptr;
    MatchPerTypeCodecName(Context, 'v', v);
    MatchPerTypeCodecName(Context, 'a', a);
    MatchPerTypeCodecName(Context, 's', s);
    ic->video_codec_id = v ? FindCodec(v, AVMEDIA_TYPE_VIDEO, false)->id : AV_CODEC_ID_NONE;
    ic->audio_codec_id = a ? FindCodec(a, AVMEDIA_TYPE_AUDIO, false)->id : AV_CODEC_ID_NONE;
    ic->subtitle_codec_id = s ? FindCodec(s, AVMEDIA_TYPE_SUBTITLE, false)->id : AV_CODEC_ID_NONE;
  } catch (...) {
    ff::avformat_free_context(ic);
    throw;
  }
  ic->flags |= AVFMT_FLAG_NONBLOCK;
  ic->interrupt_callback = ReadInterrupt;

  const AnsiString name = WideToFFmpegFileName(FileName);
  const AnsiString shownName = UTF8Encode(FileName);
  ReadStartTime = ff::av_gettime();
  // "unicode:" names are read through the engine's own I/O; the clean-up closes with CloseInputFile.
  ret = ::OpenInputFile(&ic, name.c_str(), fmt, &formatOpts);
  ReadStartTime = INT64_MAX;
  if (ret < 0) return Fail(ReadFailureText(shownName, ret), ret);

  AVDictionary** probeOpts = nullptr;
  unsigned probeCount = 0;
  auto freeProbeOpts = [&] {
    for (unsigned i = 0; probeOpts && i < probeCount; ++i) ff::av_dict_free(&probeOpts[i]);
    ff::av_freep(&probeOpts);
  };
  try {
    CheckLeftoverOptions(formatOpts);
    for (unsigned i = 0; i < ic->nb_streams; ++i) ChooseDecoder(Context, ic, ic->streams[i]);
    probeOpts = SetupFindStreamInfoOptions(ic, Context.Group->CodecOpts);
    probeCount = ic->nb_streams;
    if (OnBeforeFindStreamInfo) OnBeforeFindStreamInfo(this, ic);
  } catch (...) {
    freeProbeOpts();
    CloseInputFile(&ic);
    throw;
  }
  ReadStartTime = ff::av_gettime();
  ret = ff::avformat_find_stream_info(ic, probeOpts);
  ReadStartTime = INT64_MAX;
  if (ret < 0) {
    freeProbeOpts();
    CloseInputFile(&ic);
    return Fail(ReadTimedOut(ret) ? ReadTimeoutText(shownName) : Format("%s: could not find codec parameters", shownName),
                ret);
  }

  int64_t timestamp = Context.StartTime;
  if (ic->start_time != AV_NOPTS_VALUE) timestamp += ic->start_time;
  if (Context.StartTime != 0) {
    ReadStartTime = ff::av_gettime();
    ret = ff::avformat_seek_file(ic, -1, INT64_MIN, timestamp, timestamp, 0);
    ReadStartTime = INT64_MAX;
    if (ret < 0) LogFmt(llWarning, "%s: could not seek to position %0.3f", shownName, timestamp / 1000000.0);
  }

  // From here on the context belongs to the new input record (or to the task, for streams added
  // before a raised failure): the task's clean-up closes it.
  auto* file = new TInputFile();
  file->Ctx = ic;
  try {
    AddInputStreams(Context, ic);
  } catch (...) {
    freeProbeOpts();
    InputFiles.push_back(file);
    file->IstIndex = static_cast<int>(InputStreams.size()) - static_cast<int>(ic->nb_streams);
    file->NbStreams = static_cast<int>(ic->nb_streams);
    throw;
  }
  ff::av_dump_format(ic, static_cast<int>(InputFiles.size()), name.c_str(), 0);
  if (ic->duration != AV_NOPTS_VALUE) {
    const int64_t duration = ic->duration - Context.StartTime;
    if (duration > MaxInputDuration) MaxInputDuration = duration;
  }
  InputFiles.push_back(file);
  file->IstIndex = static_cast<int>(InputStreams.size()) - static_cast<int>(ic->nb_streams);
  file->NbStreams = static_cast<int>(ic->nb_streams);
  file->RateEmu = Context.RateEmu;
  file->TsOffset = CopyTs ? Context.InputTsOffset : Context.InputTsOffset - timestamp;
  file->InputTsOffset = Context.InputTsOffset;

  try {
    for (int i = 0; i < Context.DumpAttachment.Count; ++i) {
      const TSpecifierOpt& o = Context.DumpAttachment.Items[i];
      for (unsigned j = 0; j < ic->nb_streams; ++j) {
        if (CheckStreamSpecifier(ic, ic->streams[j], o.Specifier ? o.Specifier : "") == 1)
          DumpAttachment(ic->streams[j], o.U.Str ? o.U.Str : "");
      }
    }
  } catch (...) {
    freeProbeOpts();
    throw;
  }
  freeProbeOpts();
  return static_cast<int>(InputFiles.size()) - 1;
}
