// Preparing a task's opened inputs and outputs for the loop: codec parameters, encoders, decoders,
// headers, and the stream mapping report.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "media/binding/engine_utils.h"
#include "media/binding/entry_points.h"
#include "media/binding/error_text.h"
#include "media/binding/ffmpeg_exception.h"
#include "media/binding/media_text.h"
#include "media/engine/transcode_task.h"

namespace {

constexpr int ExtradataPadding = AV_INPUT_BUFFER_PADDING_SIZE;  // 64 in this library generation

bool MuxerIn(const AVOutputFormat* Format, std::initializer_list<const char*> Names) {
  for (const char* n : Names)
    if (std::strcmp(Format->name, n) == 0) return true;
  return false;
}

}  // namespace

TInputStream* TCustomFFmpeg::GetInputStream(TOutputStream* Ost) {
  if (Ost->SourceIndex < 0 || Ost->SourceIndex >= static_cast<int>(InputStreams.size())) return nullptr;
  return InputStreams[Ost->SourceIndex];
}

int TCustomFFmpeg::PrepareStreamCopy(TOutputStream* Ost, TInputStream* Ist) {
  const AVCodecParameters* in = Ist->St->codecpar;
  AVCodecParameters* out = Ost->St->codecpar;
  const AVOutputFormat* format = OutputFiles[Ost->FileIndex]->Ctx->oformat;
  if (in->extradata_size < 0 || static_cast<int64_t>(in->extradata_size) + ExtradataPadding > INT_MAX) {
    LastErrorMessage = "icodec.extradata_size is invalid (too large)";
    return AVERROR(EINVAL);
  }
  if (ff::avcodec_parameters_copy(out, in) < 0) {
    LastErrorMessage = "av_mallocz() failed";
    return AVERROR(ENOMEM);
  }
  // Keep the source's tag only where the muxer has no other idea of it.
  uint32_t tag = in->codec_tag;
  if (format->codec_tag) {
    unsigned int known = 0;
    if (ff::av_codec_get_id(format->codec_tag, tag) != in->codec_id ||
        !ff::av_codec_get_tag2(format->codec_tag, in->codec_id, &known))
      tag = 0;
  }
  out->codec_tag = tag;

  Ost->St->time_base = Ist->St->time_base;
  const bool fixedRateMuxer = !(format->flags & AVFMT_VARIABLE_FPS);
  if (in->codec_type == AVMEDIA_TYPE_VIDEO && CopyTb < 0 && fixedRateMuxer &&
      !MuxerIn(format, {"mov", "mp4", "3gp", "3g2", "psp", "ipod", "f4v"}) && Ist->St->r_frame_rate.num) {
    Ost->St->time_base = av_inv_q(Ist->St->r_frame_rate);
  }
  Ost->St->avg_frame_rate = Ist->St->avg_frame_rate;
  Ost->St->r_frame_rate = Ist->St->r_frame_rate;
  Ost->St->disposition = Ist->St->disposition;

  switch (in->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
      if (AudioVolume != 256) {
        LastErrorMessage = "-acodec copy and -vol are incompatible (frames are not decoded)";
        return AVERROR(EINVAL);
      }
      if (AudioInputHookProc || AudioOutputHookProc) {
        LastErrorMessage = "-acodec copy and AudioHook are incompatible (frames are not decoded)";
        return AVERROR(EINVAL);
      }
      if ((in->block_align == 1 || in->block_align == 1152 || in->block_align == 576) &&
          in->codec_id == AV_CODEC_ID_MP3)
        out->block_align = 0;
      if (in->codec_id == AV_CODEC_ID_AC3) out->block_align = 0;
      break;
    case AVMEDIA_TYPE_VIDEO:
      if (VideoInputHookProc || VideoOutputHookProc) {
        LastErrorMessage = "-vcodec copy and VideoHook are incompatible (frames are not decoded)";
        return AVERROR(EINVAL);
      }
      if (FrameInputHookProc || FrameOutputHookProc) {
        LastErrorMessage = "-vcodec copy and FrameHook are incompatible (frames are not decoded)";
        return AVERROR(EINVAL);
      }
      if (VHookPresent) {
        LastErrorMessage = "-vcodec copy and -vhook are incompatible (frames are not decoded)";
        return AVERROR(EINVAL);
      }
      if (PreviewFlags() != 0) {
        LastErrorMessage = "-vcodec copy and PostHooks are incompatible (frames are not decoded)";
        return AVERROR(EINVAL);
      }
      Ost->St->sample_aspect_ratio = Ist->St->sample_aspect_ratio;
      break;
    case AVMEDIA_TYPE_SUBTITLE:
    case AVMEDIA_TYPE_DATA:
    case AVMEDIA_TYPE_ATTACHMENT:
      break;
    default:
      LastErrorMessage = "invalid codec_type of output stream";
      return AVERROR(EINVAL);
  }
  return 0;
}

int TCustomFFmpeg::OpenEncoder(TOutputStream* Ost, TInputStream* Ist, AnsiString& Error) {
  AVCodecContext* enc = Ost->EncCtx;
  const AVOutputFormat* format = OutputFiles[Ost->FileIndex]->Ctx->oformat;
  AVFilterContext* sink = Ost->Filter ? Ost->Filter->Filter : nullptr;

  if (enc->codec_type == AVMEDIA_TYPE_VIDEO && sink) {
    AVRational rate = Ost->FrameRate;
    if (!rate.num) rate = ff::av_buffersink_get_frame_rate(sink);
    if (!rate.num && Ist) rate = Ist->St->r_frame_rate;
    if (!rate.num || !rate.den) rate = AVRational{25, 1};
    if (Ost->Enc && Ost->Enc->supported_framerates && !Ost->ForceFps) {
      const int idx = ff::av_find_nearest_q_idx(rate, Ost->Enc->supported_framerates);
      rate = Ost->Enc->supported_framerates[idx];
    }
    // The MPEG-4 family keeps its time base within 16 bits.
    if (enc->codec_id == AV_CODEC_ID_MPEG4 && (rate.num > 65535 || rate.den > 65535))
      ff::av_reduce(&rate.num, &rate.den, rate.num, rate.den, 65535);
    Ost->FrameRate = rate;
    enc->time_base = av_inv_q(rate);
    enc->framerate = rate;
    if (av_q2d(enc->time_base) < 0.001) {
      const int sync = EffectiveVideoSync(format);
      if (sync == vsCfr)
        ff::av_log(OutputFiles[Ost->FileIndex]->Ctx, AV_LOG_WARNING,
                   "Frame rate very high for a muxer not efficiently supporting it.\n"
                   "Please consider specifying a lower framerate, a different muxer or -vsync 2\n");
    }
    enc->width = ff::av_buffersink_get_w(sink);
    enc->height = ff::av_buffersink_get_h(sink);
    enc->pix_fmt = static_cast<AVPixelFormat>(ff::av_buffersink_get_format(sink));
    if (Ost->FrameAspectRatio > 0 && enc->width > 0 && enc->height > 0) {
      enc->sample_aspect_ratio =
          ff::av_d2q(static_cast<double>(Ost->FrameAspectRatio) * enc->height / enc->width, 255);
    } else {
      enc->sample_aspect_ratio = ff::av_buffersink_get_sample_aspect_ratio(sink);
    }
    Ost->St->sample_aspect_ratio = enc->sample_aspect_ratio;
    if (!FrameBitsPerRawSample && Ist && Ist->DecCtx)
      enc->bits_per_raw_sample =
          std::min(Ist->DecCtx->bits_per_raw_sample, ff::av_pix_fmt_desc_get(enc->pix_fmt)->comp[0].depth);
    Ost->St->avg_frame_rate = rate;
  } else if (enc->codec_type == AVMEDIA_TYPE_AUDIO && sink) {
    enc->sample_fmt = static_cast<AVSampleFormat>(ff::av_buffersink_get_format(sink));
    enc->sample_rate = ff::av_buffersink_get_sample_rate(sink);
    ff::av_channel_layout_uninit(&enc->ch_layout);
    ff::av_buffersink_get_ch_layout(sink, &enc->ch_layout);
    enc->time_base = AVRational{1, enc->sample_rate};
  } else if (enc->codec_type == AVMEDIA_TYPE_SUBTITLE) {
    enc->time_base = AVRational{1, 1000};
    if (!enc->width && Ist && Ist->DecCtx) {
      enc->width = Ist->DecCtx->width;
      enc->height = Ist->DecCtx->height;
    }
    if (Ist && Ist->DecCtx && Ist->DecCtx->subtitle_header) {
      enc->subtitle_header = static_cast<uint8_t*>(ff::av_mallocz(Ist->DecCtx->subtitle_header_size + 1));
      if (!enc->subtitle_header) {
        Error = "av_malloc failed";
        return AVERROR(ENOMEM);
      }
      std::memcpy(enc->subtitle_header, Ist->DecCtx->subtitle_header, Ist->DecCtx->subtitle_header_size);
      enc->subtitle_header_size = Ist->DecCtx->subtitle_header_size;
    }
  }

  if (!Ost->ForcedKeyframes.empty()) {
    if (Ost->ForcedKeyframes.rfind("expr:", 0) == 0) {
      static const char* const names[] = {"n", "n_forced", "prev_forced_n", "prev_forced_t", "t", nullptr};
      const int ret = ff::av_expr_parse(&Ost->ForcedKeyframesPexpr, Ost->ForcedKeyframes.c_str() + 5, names, nullptr,
                                        nullptr, nullptr, nullptr, 0, nullptr);
      if (ret < 0) {
        LogFmt(llError, "Invalid force_key_frames expression \"%s\"", Ost->ForcedKeyframes.substr(5));
        return ret;
      }
    } else {
      ParseForcedKeyFrames(Ost->ForcedKeyframes, Ost, enc);
    }
  }

  if (enc->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2)) {
    const AnsiString name =
        Format("%s-%d.log", Ost->LogfilePrefix.empty() ? AnsiString("ffencoder2pass") : Ost->LogfilePrefix,
               OutputIndex(Ost));
    if (Ost->Enc && std::strcmp(Ost->Enc->name, "libx264") == 0) {
      ff::av_dict_set(&Ost->Opts, "stats", name.c_str(), AV_DICT_DONT_OVERWRITE);
    } else if (enc->flags & AV_CODEC_FLAG_PASS2) {
      uint8_t* buffer = nullptr;
      int size = 0;
      const int ret = ReadFileToBuffer(name, buffer, size);
      if (ret < 0) {
        const AnsiString text = ret == AVERROR(ENOMEM)
                                    ? Format("Could not allocate file buffer: Error reading log file \"%s\" for pass-2 encoding", name)
                                    : Format("Error reading log file \"%s\" for pass-2 encoding", name);
        LastErrorMessage = text;
        Log(llFatal, text);
        return ret == AVERROR(ENOMEM) ? ret : -1;
      }
      enc->stats_in = reinterpret_cast<char*>(buffer);
    } else {
      Ost->Logfile = std::fopen(name.c_str(), "wb");
      if (!Ost->Logfile) {
        LastErrorMessage = Format("Cannot write log file %s for pass-1 encoding", name);
        Log(llFatal, LastErrorMessage);
        return AVERROR(EIO);
      }
    }
  }

  // The JPEG encoder of this FFmpeg generation gives the same bytes with its slice threads as
  // without, so it gets threads like every other encoder.
  if (!ff::av_dict_get(Ost->Opts, "threads", nullptr, 0))
    ff::av_dict_set(&Ost->Opts, "threads", ThreadsOption().c_str(), 0);

  int ret = ff::avcodec_open2(enc, Ost->Enc, &Ost->Opts);
  if (ret == AVERROR_EXPERIMENTAL) AbortCodecExperimental();
  if (ret < 0) {
    Error = Format(
        "Error while opening encoder for output stream #%d:%d (%s) - maybe incorrect parameters such as bit_rate, "
        "rate, width or height. Please check error log message(reported by FFLogger) to find out more detail "
        "information.",
        Ost->FileIndex, Ost->Index, MediaTypeName(enc->codec_type));
    return ret;
  }
  Ost->EncoderOpened = 1;
  RegisterOpenCodec(OpenEncoders, Ost);
  if (enc->codec_type == AVMEDIA_TYPE_AUDIO && sink &&
      !(Ost->Enc->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) && enc->frame_size > 0)
    ff::av_buffersink_set_frame_size(sink, enc->frame_size);
  CheckLeftoverOptions(Ost->Opts);
  if (enc->bit_rate > 0 && enc->bit_rate < 1000 && enc->codec_id != AV_CODEC_ID_CODEC2)
    Log(llWarning, "The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s");
  ExtraSize += enc->extradata_size;

  ret = ff::avcodec_parameters_from_context(Ost->St->codecpar, enc);
  if (ret < 0) return ret;
  Ost->St->time_base = enc->time_base;
  if (Ist && Ist->St) Ost->St->disposition = Ist->St->disposition;
  return 0;
}

int TCustomFFmpeg::InitBitstreamFilters(TOutputStream* Ost) {
  if (Ost->BitstreamFilters.empty()) return 0;
  const AVCodecParameters* par = Ost->St->codecpar;
  AVRational tb = Ost->St->time_base;
  for (AVBSFContext* bsf : Ost->BitstreamFilters) {
    int ret = ff::avcodec_parameters_copy(bsf->par_in, par);
    if (ret < 0) return ret;
    bsf->time_base_in = tb;
    ret = ff::av_bsf_init(bsf);
    if (ret < 0) {
      LogFmt(llError, "Error initializing bitstream filter: %s", bsf->filter->name);
      return ret;
    }
    par = bsf->par_out;
    tb = bsf->time_base_out;
  }
  const int ret = ff::avcodec_parameters_copy(Ost->St->codecpar, par);
  Ost->St->time_base = tb;
  return ret;
}

int TCustomFFmpeg::InitInputStream(int Index, AnsiString& Error) {
  TInputStream* ist = InputStreams[Index];
  // Opened already when a subtitle encoder needed its header.
  if (ist->DecodingNeeded && !ff::avcodec_is_open(ist->DecCtx)) {
    const AVCodec* codec = ist->Dec;
    if (!codec) {
      Error = Format("Decoder (codec %s) not found for input stream #%d:%d",
                     ff::avcodec_get_name(ist->St->codecpar->codec_id), ist->FileIndex, ist->St->index);
      return AVERROR(EINVAL);
    }
    ist->DecCtx->pkt_timebase = ist->St->time_base;
    if (!ff::av_dict_get(ist->Opts, "threads", nullptr, 0))
      ff::av_dict_set(&ist->Opts, "threads", ThreadsOption().c_str(), 0);
    const int ret = ff::avcodec_open2(ist->DecCtx, codec, &ist->Opts);
    if (ret == AVERROR_EXPERIMENTAL) AbortCodecExperimental();
    if (ret < 0) {
      Error = Format("Error while opening decoder for input stream #%d:%d", ist->FileIndex, ist->St->index);
      return ret;
    }
    RegisterOpenCodec(OpenDecoders, ist);
    CheckLeftoverOptions(ist->Opts);
  }
  ist->NextPts = AV_NOPTS_VALUE;
  ist->NextDts = AV_NOPTS_VALUE;
  IState(ist).SawFirstFrame = false;
  return 0;
}

void TCustomFFmpeg::ParseForcedKeyFrames(const AnsiString& Text, TOutputStream* Ost, AVCodecContext* Avctx) {
  std::vector<int64_t> pts;
  AVFormatContext* oc = OutputFiles[Ost->FileIndex]->Ctx;
  size_t start = 0;
  while (start <= Text.size()) {
    size_t comma = Text.find(',', start);
    if (comma == AnsiString::npos) comma = Text.size();
    const AnsiString item = Text.substr(start, comma - start);
    if (item.rfind("chapters", 0) == 0) {
      const int64_t offset = item.size() > 8 ? ParseTime("force_key_frames", item.substr(8), true) : 0;
      if (pts.size() + oc->nb_chapters > static_cast<size_t>(INT_MAX))
        throw FFmpegException("Could not allocate forced key frames array.");
      for (unsigned i = 0; i < oc->nb_chapters; ++i) {
        const AVChapter* c = oc->chapters[i];
        pts.push_back(ff::av_rescale_q(c->start, c->time_base, Avctx->time_base) +
                      ff::av_rescale_q(offset, AV_TIME_BASE_Q, Avctx->time_base));
      }
    } else if (!item.empty()) {
      const int64_t t = ParseTime("force_key_frames", item, true);
      pts.push_back(ff::av_rescale_q(t, AV_TIME_BASE_Q, Avctx->time_base));
    }
    start = comma + 1;
  }
  std::sort(pts.begin(), pts.end());
  Ost->ForcedKfPts = std::move(pts);
  Ost->ForcedKfIndex = 0;
}

int TCustomFFmpeg::TranscodeInit() {
  AnsiString error;
  int ret = 0;
  FInputState.assign(InputStreams.size(), TInputState());
  for (TOutputState& state : FOutputState) ff::av_frame_free(&state.LastFrame);
  FOutputState.assign(OutputStreams.size(), TOutputState());
  WriteIgnoresBreak = true;

  for (TInputFile* f : InputFiles) {
    if (!f->RateEmu) continue;
    for (int j = 0; j < f->NbStreams; ++j) InputStreams[f->IstIndex + j]->Start = ff::av_gettime();
  }

  for (size_t i = 0; i < OutputFiles.size(); ++i) {
    AVFormatContext* oc = OutputFiles[i]->Ctx;
    if (oc->nb_streams == 0 && !(oc->oformat->flags & AVFMT_NOSTREAMS)) {
      ff::av_dump_format(oc, static_cast<int>(i), oc->url, 1);
      LastErrorMessage = Format("Output file #%d does not contain any stream", static_cast<int>(i));
      Log(llError, LastErrorMessage);
      return AVERROR(EINVAL);
    }
  }

  for (TFilterGraph* fg : FilterGraphs) {
    if (fg->Simple() || !fg->Graph) continue;
    ret = ff::avfilter_graph_config(fg->Graph, nullptr);
    if (ret < 0) return ret;
  }

  std::vector<TOutputStream*> joinClones;
  for (TOutputStream* ost : OutputStreams) {
    if (ost->St->codecpar->codec_type == AVMEDIA_TYPE_ATTACHMENT) continue;
    TInputStream* ist = GetInputStream(ost);
    if (IsJoinClone(ost)) {
      // The first input's streams set up the muxer's streams and the encoders; the later
      // inputs' streams only feed them, once the encoders' formats are known.
      if (!ist) {
        LastErrorMessage = "invalid codec_type of output stream";
        return AVERROR(EINVAL);
      }
      if (!ost->StreamCopy) {
        ist->DecodingNeeded++;
        ost->EncodingNeeded = 1;
        joinClones.push_back(ost);
      }
      ost->EncoderOpened = 1;
      ost->CodecClosed = 1;  // never closes: it does not own the encoder
      continue;
    }
    if (ost->StreamCopy) {
      if (!ist) {
        LastErrorMessage = "invalid codec_type of output stream";
        return AVERROR(EINVAL);
      }
      ret = PrepareStreamCopy(ost, ist);
      if (ret < 0) return ret;
      continue;
    }
    if (!ost->Enc) ost->Enc = ff::avcodec_find_encoder(ost->St->codecpar->codec_id);
    if (!ost->Enc) {
      error = Format("Encoder (codec %s) not found for output stream #%d:%d",
                     ff::avcodec_get_name(ost->St->codecpar->codec_id), ost->FileIndex, ost->Index);
      ret = AVERROR(EINVAL);
      break;
    }
    if (ist) {
      ist->DecodingNeeded++;
      ist->Discard = 0;
      ist->St->discard = AVDISCARD_NONE;
    }
    ost->EncodingNeeded = 1;
    const AVMediaType type = ost->EncCtx->codec_type;
    if ((type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO) && !ost->Filter) {
      TFilterGraph* fg = InitSimpleFilterGraph(ist, ost);
      if (ConfigureFilterGraph(fg) < 0) RaiseError("Error opening filters!");
    }
  }

  // A subtitle encoder starts from its decoder's header (styles, play resolution), which the
  // decoder fills only when it opens: those decoders open before the encoders.
  if (ret >= 0) {
    for (TOutputStream* ost : OutputStreams) {
      TInputStream* ist = GetInputStream(ost);
      if (!ost->EncodingNeeded || !ist || ost->EncCtx->codec_type != AVMEDIA_TYPE_SUBTITLE) continue;
      const auto at = std::find(InputStreams.begin(), InputStreams.end(), ist);
      ret = InitInputStream(static_cast<int>(at - InputStreams.begin()), error);
      if (ret < 0) break;
    }
  }
  if (ret >= 0) {
    for (TOutputStream* ost : OutputStreams) {
      if (!ost->EncodingNeeded || IsJoinClone(ost)) continue;
      ret = OpenEncoder(ost, GetInputStream(ost), error);
      if (ret < 0) break;
    }
  }
  if (ret >= 0) {
    for (TOutputStream* ost : joinClones) {
      const AVMediaType type = ost->EncCtx->codec_type;
      if (type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO) continue;
      // Built to the encoder's size and formats, so a later input that differs is converted.
      TFilterGraph* fg = InitSimpleFilterGraph(GetInputStream(ost), ost);
      if (ConfigureFilterGraph(fg) < 0) RaiseError("Error opening filters!");
      if (type == AVMEDIA_TYPE_AUDIO && !(ost->Enc->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) &&
          ost->EncCtx->frame_size > 0)
        ff::av_buffersink_set_frame_size(ost->Filter->Filter, ost->EncCtx->frame_size);
    }
  }
  if (ret >= 0) {
    for (TOutputStream* ost : OutputStreams) {
      if (IsJoinClone(ost)) continue;
      if (ost->StreamCopy && ost->Opts) ff::av_opt_set_dict(ost->EncCtx, &ost->Opts);
      ret = InitBitstreamFilters(ost);
      if (ret < 0) break;
    }
  }

  if (ret >= 0) {
    for (size_t i = 0; i < InputStreams.size(); ++i) {
      ret = InitInputStream(static_cast<int>(i), error);
      if (ret < 0) {
        for (TOutputStream* ost : OutputStreams) {
          if (!ost->EncoderOpened || ost->CodecClosed) continue;
          ff::av_freep(&ost->EncCtx->stats_in);
          ff::avcodec_close(ost->EncCtx);
          ost->CodecClosed = 1;
          UnregisterOpenCodec(OpenEncoders, ost);
        }
        break;
      }
    }
  }

  if (ret >= 0) {
    for (TInputFile* f : InputFiles) {
      AVFormatContext* ic = f->Ctx;
      for (unsigned p = 0; p < ic->nb_programs; ++p) {
        AVProgram* program = ic->programs[p];
        AVDiscard discard = AVDISCARD_ALL;
        for (unsigned k = 0; k < program->nb_stream_indexes; ++k)
          if (!InputStreams[f->IstIndex + static_cast<int>(program->stream_index[k])]->Discard) {
            discard = AVDISCARD_DEFAULT;
            break;
          }
        program->discard = discard;
      }
    }
  }

  if (ret >= 0) {
    for (size_t i = 0; i < OutputFiles.size(); ++i) {
      if (Joined && i > 0) break;  // one muxer for all the joined inputs
      TOutputFile* of = OutputFiles[i];
      of->Ctx->interrupt_callback = WriteInterrupt;
      WriteStartTime = ff::av_gettime();
      ret = ff::avformat_write_header(of->Ctx, &of->Opts);
      WriteStartTime = INT64_MAX;
      if (ret < 0) {
        error = Format("Could not write header for output file #%d (incorrect codec parameters ?): %s",
                       static_cast<int>(i), ErrorText(ret));
        ret = AVERROR(EINVAL);
        break;
      }
    }
  }

  DumpStreamMapping();
  if (ret < 0 && !error.empty()) {
    Log(llError, error);
    return ret;
  }
  if (ret < 0) return ret;
  // A session description only makes sense when everything goes out as RTP.
  bool wantSdp = !OutputFiles.empty();
  for (TOutputFile* of : OutputFiles)
    if (std::strcmp(of->Ctx->oformat->name, "rtp") != 0) wantSdp = false;
  if (wantSdp) PrintSdp();
  return 0;
}

void TCustomFFmpeg::PrintSdp() {
  std::vector<AVFormatContext*> contexts;
  contexts.reserve(OutputFiles.size());
  for (TOutputFile* of : OutputFiles) contexts.push_back(of->Ctx);
  std::vector<char> sdp(16384);
  const int ret = ff::av_sdp_create(contexts.data(), static_cast<int>(contexts.size()), sdp.data(),
                                    static_cast<int>(sdp.size()));
  if (ret < 0) {
    Log(llWarning, ErrorText("av_sdp_create()", ret));
    return;
  }
  Log(llInfo, "SDP:\r\n" + Trim(AnsiString(sdp.data())));
}

void TCustomFFmpeg::DumpStreamMapping() {
  for (size_t i = 0; i < OutputFiles.size() && !(Joined && i > 0); ++i)
    ff::av_dump_format(OutputFiles[i]->Ctx, static_cast<int>(i), OutputFiles[i]->Ctx->url, 1);
  Log(llInfo, "Stream mapping:");
  for (TInputStream* ist : InputStreams) {
    for (TInputFilter* f : ist->Filters) {
      if (!f->Graph || f->Graph->Simple()) continue;
      AnsiString line = Format("  Stream #%d:%d (%s) -> %s", ist->FileIndex, ist->St->index,
                               ist->Dec ? AnsiString(ist->Dec->name) : AnsiString("?"), f->Name);
      if (FilterGraphs.size() > 1) line += Format(" (graph %d)", f->Graph->Index);
      Log(llInfo, line);
    }
  }
  for (TOutputStream* ost : OutputStreams) {
    AnsiString line;
    if (!ost->AttachmentFilename.empty()) {
      line = Format("  File %s -> Stream #%d:%d", ost->AttachmentFilename, ost->FileIndex, ost->Index);
    } else if (ost->Filter && ost->Filter->Graph && !ost->Filter->Graph->Simple()) {
      line = Format("  %s", ost->Filter->Name);
      if (FilterGraphs.size() > 1) line += Format(" (graph %d)", ost->Filter->Graph->Index);
      line += Format(" -> Stream #%d:%d (%s)", ost->FileIndex, ost->Index,
                     ost->Enc ? AnsiString(ost->Enc->name) : AnsiString("?"));
    } else {
      TInputStream* ist = GetInputStream(ost);
      if (!ist) continue;
      line = Format("  Stream #%d:%d -> #%d:%d", ist->FileIndex, ist->St->index, Joined ? 0 : ost->FileIndex,
                    ost->Index);
      if (ost->SyncIst && ost->SyncIst != ist)
        line += Format(" [sync #%d:%d]", ost->SyncIst->FileIndex, ost->SyncIst->St->index);
      if (ost->StreamCopy)
        line += " (copy)";
      else
        line += Format(" (%s -> %s)", ist->Dec ? AnsiString(ist->Dec->name) : AnsiString("?"),
                       ost->Enc ? AnsiString(ost->Enc->name) : AnsiString("?"));
      line += Format(" (%s)", MediaTypeName(ost->St->codecpar->codec_type));
    }
    Log(llInfo, line);
  }
}
