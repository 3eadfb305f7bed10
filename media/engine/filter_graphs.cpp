// Building a task's filter graphs: binding their pads to streams and inserting the buffer sources,
// sinks and the format steps the encoders need.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "media/binding/entry_points.h"
#include "media/binding/ffmpeg_exception.h"
#include "media/engine/custom_ffmpeg_opt.h"

namespace {

// C formatting for filter arguments, whose numbers the filters read with C rules.
AnsiString CFormat(const char* fmt, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, fmt);
  const int n = std::vsnprintf(buffer, sizeof(buffer), fmt, args);
  va_end(args);
  return n < 0 ? AnsiString() : AnsiString(buffer, std::min<size_t>(static_cast<size_t>(n), sizeof(buffer) - 1));
}

AnsiString DescribeFilterLink(const AVFilterInOut* InOut, bool Input) {
  const AVFilterContext* ctx = InOut->filter_ctx;
  const AVFilterPad* pads = Input ? ctx->input_pads : ctx->output_pads;
  const unsigned count = Input ? ctx->nb_inputs : ctx->nb_outputs;
  AnsiString text = ctx->filter->name;
  if (count > 1) text += AnsiString(":") + ff::avfilter_pad_get_name(pads, InOut->pad_idx);
  return text;
}

AVMediaType PadType(const AVFilterInOut* InOut, bool Input) {
  return ff::avfilter_pad_get_type(Input ? InOut->filter_ctx->input_pads : InOut->filter_ctx->output_pads,
                                   InOut->pad_idx);
}

AnsiString DictAsFilterOptions(const AVDictionary* Dict) {
  AnsiString text;
  for (const AVDictionaryEntry* e = nullptr; (e = ff::av_dict_get(Dict, "", e, AV_DICT_IGNORE_SUFFIX));)
    text += AnsiString(e->key) + "=" + e->value + ":";
  if (!text.empty()) text.pop_back();
  return text;
}

// Inserts one filter between Last (output pad LastPad) and the rest of the chain.
int InsertFilter(AVFilterGraph* Graph, const char* FilterName, const AnsiString& Name, const AnsiString& Args,
                 AVFilterContext*& Last, int& LastPad) {
  AVFilterContext* filter = nullptr;
  int ret = ff::avfilter_graph_create_filter(&filter, ff::avfilter_get_by_name(FilterName), Name.c_str(),
                                             Args.empty() ? nullptr : Args.c_str(), nullptr, Graph);
  if (ret < 0) return ret;
  ret = ff::avfilter_link(Last, LastPad, filter, 0);
  if (ret < 0) return ret;
  Last = filter;
  LastPad = 0;
  return 0;
}

// The MJPEG encoder of this library generation takes only full-range formats at normal compliance.
const AVPixelFormat MjpegFullRange[] = {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_YUVJ444P, AV_PIX_FMT_NONE};
const AVPixelFormat MjpegUnofficial[] = {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_YUV420P,
                                         AV_PIX_FMT_YUV422P, AV_PIX_FMT_NONE};
const AVPixelFormat LjpegUnofficial[] = {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_YUVJ444P,
                                         AV_PIX_FMT_YUV420P,  AV_PIX_FMT_YUV422P,  AV_PIX_FMT_YUV444P,
                                         AV_PIX_FMT_BGRA,     AV_PIX_FMT_NONE};

const AVPixelFormat* EncoderPixelFormats(const AVCodecContext* EncCtx, const AVCodec* Codec) {
  if (!Codec) return nullptr;
  const bool unofficial = EncCtx && EncCtx->strict_std_compliance < FF_COMPLIANCE_NORMAL;
  if (Codec->id == AV_CODEC_ID_MJPEG) return unofficial ? MjpegUnofficial : MjpegFullRange;
  if (Codec->id == AV_CODEC_ID_LJPEG && unofficial) return LjpegUnofficial;
  return Codec->pix_fmts;
}

}  // namespace

int TCustomFFmpegOpt::OptFilterComplex(void*, const AnsiString&, const AnsiString& Arg) {
  auto* fg = new TFilterGraph();
  fg->Index = static_cast<int>(FilterGraphs.size());
  fg->GraphDesc = Arg;
  FilterGraphs.push_back(fg);
  return 0;
}

TFilterGraph* TCustomFFmpegOpt::InitSimpleFilterGraph(TInputStream* Ist, TOutputStream* Ost) {
  auto* fg = new TFilterGraph();
  fg->Index = static_cast<int>(FilterGraphs.size());
  auto* ofilter = new TOutputFilter();
  ofilter->Ost = Ost;
  ofilter->Graph = fg;
  Ost->Filter = ofilter;
  fg->Outputs.push_back(ofilter);
  auto* ifilter = new TInputFilter();
  ifilter->Ist = Ist;
  ifilter->Graph = fg;
  fg->Inputs.push_back(ifilter);
  if (Ist) Ist->Filters.push_back(ifilter);
  FilterGraphs.push_back(fg);
  return fg;
}

bool TCustomFFmpegOpt::IsInputStreamInFilterGraph(TFilterGraph* Fg, TInputStream* Ist) {
  for (TInputFilter* f : Fg->Inputs)
    if (f->Ist == Ist) return true;
  return false;
}

void TCustomFFmpegOpt::FreeFilterGraphs() {
  for (TFilterGraph* fg : FilterGraphs) {
    ff::avfilter_graph_free(&fg->Graph);
    for (TInputFilter* f : fg->Inputs) {
      if (f->Ist) std::erase(f->Ist->Filters, f);
      delete f;
    }
    for (TOutputFilter* f : fg->Outputs) {
      if (f->Ost) f->Ost->Filter = nullptr;
      ff::avfilter_inout_free(&f->OutTmp);
      delete f;
    }
    delete fg;
  }
  FilterGraphs.clear();
}

int TCustomFFmpegOpt::ConfigureComplexFilters() {
  for (TFilterGraph* fg : FilterGraphs) {
    if (fg->Graph) continue;
    const int ret = ConfigureFilterGraph(fg);
    if (ret < 0) return ret;
  }
  return 0;
}

void TCustomFFmpegOpt::InitInputFilter(TFilterGraph* Fg, AVFilterInOut* In) {
  const AVMediaType type = PadType(In, true);
  if (type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO)
    RaiseError("Only video and audio filters supported currently.");
  TInputStream* ist = nullptr;
  const AnsiString desc = Fg->GraphDesc.value_or("");
  if (In->name) {
    char* p = nullptr;
    const long fileIndex = std::strtol(In->name, &p, 0);
    if (fileIndex < 0 || fileIndex >= static_cast<long>(InputFiles.size()))
      RaiseErrorFmt("Invalid file index %d in filtergraph description %s.", static_cast<int>(fileIndex), desc);
    const TInputFile* f = InputFiles[fileIndex];
    const char* spec = *p == ':' ? p + 1 : p;
    for (int i = 0; i < f->NbStreams; ++i) {
      AVStream* st = f->Ctx->streams[i];
      const AVMediaType stType = st->codecpar->codec_type;
      if (stType != type && !(type == AVMEDIA_TYPE_VIDEO && stType == AVMEDIA_TYPE_SUBTITLE)) continue;
      if (CheckStreamSpecifier(f->Ctx, st, spec) == 1) {
        ist = InputStreams[f->IstIndex + i];
        break;
      }
    }
    if (!ist) RaiseErrorFmt("Stream specifier \"%s\" in filtergraph description %s matches no streams.", p, desc);
  } else {
    for (TInputStream* candidate : InputStreams) {
      if (candidate->St->codecpar->codec_type == type && candidate->Discard) {
        ist = candidate;
        break;
      }
    }
    if (!ist)
      RaiseErrorFmt("Cannot find a matching stream for unlabeled input pad %d on filter %s", In->pad_idx,
                    In->filter_ctx->name);
  }
  ist->Discard = 0;
  ist->DecodingNeeded++;
  ist->St->discard = AVDISCARD_NONE;
  auto* ifilter = new TInputFilter();
  ifilter->Ist = ist;
  ifilter->Graph = Fg;
  Fg->Inputs.push_back(ifilter);
  ist->Filters.push_back(ifilter);
}

int TCustomFFmpegOpt::Sub2VideoPrepare(TInputStream* Ist) {
  AVCodecContext* dec = Ist->DecCtx;
  int w = dec ? dec->width : 0;
  int h = dec ? dec->height : 0;
  if (!w || !h) {
    w = h = 0;
    for (TInputStream* other : InputStreams) {
      if (other->FileIndex != Ist->FileIndex || other->St->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
      w = std::max(w, other->St->codecpar->width);
      h = std::max(h, other->St->codecpar->height);
    }
    if (!w || !h) {
      w = std::max(w, 720);
      h = std::max(h, 576);
    }
    ff::av_log(InputFiles[Ist->FileIndex]->Ctx, AV_LOG_INFO, "sub2video: using %dx%d canvas\n", w, h);
  }
  if (dec) {
    dec->width = w;
    dec->height = h;
    dec->pix_fmt = AV_PIX_FMT_BGRA;
  }
  Ist->ResampleWidth = w;
  Ist->ResampleHeight = h;
  Ist->ResamplePixFmt = AV_PIX_FMT_BGRA;
  ff::av_frame_free(&Ist->Sub2Video.Frame);
  AVFrame* frame = ff::av_frame_alloc();
  if (!frame) return AVERROR(ENOMEM);
  frame->width = w;
  frame->height = h;
  frame->format = AV_PIX_FMT_BGRA;
  if (ff::av_frame_get_buffer(frame, 32) < 0) {
    ff::av_frame_free(&frame);
    return AVERROR(ENOMEM);
  }
  for (int y = 0; y < h; ++y) std::memset(frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0], 0, w * 4);
  Ist->Sub2Video.Frame = frame;
  // Nothing shown yet: the first packet read pushes a blank canvas.
  Ist->Sub2Video.LastPts = INT64_MIN;
  Ist->Sub2Video.EndPts = INT64_MIN;
  Ist->Sub2Video.W = w;
  Ist->Sub2Video.H = h;
  return 0;
}

int TCustomFFmpegOpt::ConfigureInputVideoFilter(TFilterGraph* Fg, TInputFilter* Ifilter, AVFilterInOut* In) {
  TInputStream* ist = Ifilter->Ist;
  const AVStream* st = ist->St;
  const bool forced = ist->Framerate.num != 0 && ist->Framerate.den != 0;
  const AVRational tb = forced ? AVRational{ist->Framerate.den, ist->Framerate.num} : st->time_base;
  AVRational fr = forced ? ist->Framerate : st->r_frame_rate;
  const AVCodecContext* dec = ist->DecCtx;
  if (!forced && dec && dec->ticks_per_frame > 1) {
    AVRational codecFr{dec->time_base.den, dec->time_base.num * dec->ticks_per_frame};
    if (codecFr.num > 0 && codecFr.den > 0 && fr.num > 0 && fr.den > 0 &&
        static_cast<double>(codecFr.num) / codecFr.den < 0.7 * fr.num / fr.den && st->avg_frame_rate.den &&
        std::abs(static_cast<double>(st->avg_frame_rate.num) / st->avg_frame_rate.den / (static_cast<double>(fr.num) / fr.den) - 1) > 0.1)
      fr = codecFr;
  }
  if (st->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE) {
    const int ret = Sub2VideoPrepare(ist);
    if (ret < 0) return ret;
  }
  AVRational sar = st->sample_aspect_ratio.num ? st->sample_aspect_ratio : st->codecpar->sample_aspect_ratio;
  if (!sar.den) sar = AVRational{0, 1};

  AnsiString args = CFormat("video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d", ist->ResampleWidth,
                            ist->ResampleHeight, ist->ResamplePixFmt, tb.num, tb.den, sar.num, sar.den);
  if (fr.num && fr.den) args += CFormat(":frame_rate=%d/%d", fr.num, fr.den);
  // The source's scaler flags now travel with the graph; a simple graph has its output's already,
  // and a complex one keeps the filters' own default (as the tool's does, pixel for pixel).
  if (Fg->Simple() && !Fg->Graph->scale_sws_opts) {
    const int flags = SWS_BILINEAR | (dec && (dec->flags & AV_CODEC_FLAG_BITEXACT) ? SWS_BITEXACT : 0);
    Fg->Graph->scale_sws_opts = ff::av_strdup(CFormat("flags=0x%X", flags).c_str());
  }
  const AnsiString name = CFormat("graph %d input from stream %d:%d", Fg->Index, ist->FileIndex, st->index);
  int ret = ff::avfilter_graph_create_filter(&Ifilter->Filter, ff::avfilter_get_by_name("buffer"), name.c_str(),
                                             args.c_str(), nullptr, Fg->Graph);
  if (ret < 0) return ret;
  AVFilterContext* last = Ifilter->Filter;
  int pad = 0;
  if (forced) {
    ret = InsertFilter(Fg->Graph, "setpts", CFormat("force CFR for input from stream %d:%d", ist->FileIndex, st->index),
                       "N", last, pad);
    if (ret < 0) return ret;
  }
  // "-deinterlace": the libraries have no picture deinterlacer any more; their filter does it.
  if (DoDeinterlace && st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
    ret = InsertFilter(Fg->Graph, "yadif", CFormat("deinterlace input from stream %d:%d", ist->FileIndex, st->index), "",
                       last, pad);
    if (ret < 0) return ret;
  }
  return ff::avfilter_link(last, pad, In->filter_ctx, In->pad_idx);
}

int TCustomFFmpegOpt::ConfigureInputAudioFilter(TFilterGraph* Fg, TInputFilter* Ifilter, AVFilterInOut* In) {
  TInputStream* ist = Ifilter->Ist;
  const AVCodecParameters* par = ist->St->codecpar;
  const char* fmtName = ff::av_get_sample_fmt_name(static_cast<AVSampleFormat>(par->format));
  AnsiString args = CFormat("time_base=%d/%d:sample_rate=%d:sample_fmt=%s", 1, par->sample_rate, par->sample_rate,
                            fmtName ? fmtName : "none");
  if (par->ch_layout.order == AV_CHANNEL_ORDER_NATIVE && par->ch_layout.u.mask)
    args += CFormat(":channel_layout=0x%llx", static_cast<unsigned long long>(par->ch_layout.u.mask));
  else
    args += CFormat(":channels=%d", par->ch_layout.nb_channels);
  const AnsiString name = CFormat("graph %d input from stream %d:%d", Fg->Index, ist->FileIndex, ist->St->index);
  int ret = ff::avfilter_graph_create_filter(&Ifilter->Filter, ff::avfilter_get_by_name("abuffer"), name.c_str(),
                                             args.c_str(), nullptr, Fg->Graph);
  if (ret < 0) return ret;
  AVFilterContext* last = Ifilter->Filter;
  int pad = 0;
  if (AudioSyncMethod > 0) {
    AnsiString a = CFormat("async=%d", AudioSyncMethod);
    if (AudioDriftThreshold != 0.1f) a += CFormat(":min_hard_comp=%f", AudioDriftThreshold);
    if (!Fg->Reconfiguration) a += ":first_pts=0";
    LogFmt(llInfo, "%s is forwarded to lavfi similarly to -af %s=%s.", "-async", "aresample", a);
    ret = InsertFilter(Fg->Graph, "aresample",
                       CFormat("graph %d %s for input stream %d:%d", Fg->Index, "aresample", ist->FileIndex, ist->St->index),
                       a, last, pad);
    if (ret < 0) return ret;
  }
  if (AudioVolume != 256) {
    ff::av_log(nullptr, AV_LOG_WARNING, "-vol has been deprecated. Use the volume audio filter instead.\n");
    const AnsiString a = CFormat("%f", AudioVolume / 256.0);
    LogFmt(llInfo, "%s is forwarded to lavfi similarly to -af %s=%s.", "-vol", "volume", a);
    ret = InsertFilter(Fg->Graph, "volume",
                       CFormat("graph %d %s for input stream %d:%d", Fg->Index, "volume", ist->FileIndex, ist->St->index),
                       a, last, pad);
    if (ret < 0) return ret;
  }
  return ff::avfilter_link(last, pad, In->filter_ctx, In->pad_idx);
}

int TCustomFFmpegOpt::ConfigureInputFilter(TFilterGraph* Fg, TInputFilter* Ifilter, AVFilterInOut* In) {
  Ifilter->Name = DescribeFilterLink(In, true);
  if (!Ifilter->Ist) return AVERROR(EINVAL);
  switch (PadType(In, true)) {
    case AVMEDIA_TYPE_VIDEO:
      return ConfigureInputVideoFilter(Fg, Ifilter, In);
    case AVMEDIA_TYPE_AUDIO:
      return ConfigureInputAudioFilter(Fg, Ifilter, In);
    default:
      RaiseError("Never occur");
  }
}

AVPixelFormat TCustomFFmpegOpt::ChoosePixelFmt(AVStream*, AVCodecContext* EncCtx, const AVCodec* Codec,
                                               AVPixelFormat Target) {
  const AVPixelFormat* list = EncoderPixelFormats(EncCtx, Codec);
  if (!list) return Target;
  const AVPixFmtDescriptor* desc = ff::av_pix_fmt_desc_get(Target);
  const int hasAlpha = desc ? (desc->nb_components % 2 == 0) : 0;
  AVPixelFormat best = AV_PIX_FMT_NONE;
  for (const AVPixelFormat* p = list; *p != AV_PIX_FMT_NONE; ++p) {
    if (*p == Target) return Target;
    best = ff::av_find_best_pix_fmt_of_2(best, *p, Target, hasAlpha, nullptr);
  }
  if (Target != AV_PIX_FMT_NONE)
    ff::av_log(nullptr, AV_LOG_WARNING, "Incompatible pixel format \"%s\" for codec \"%s\", auto-selecting format \"%s\"\n",
               ff::av_get_pix_fmt_name(Target), Codec->name, ff::av_get_pix_fmt_name(best));
  return best;
}

void TCustomFFmpegOpt::ChooseSampleFmt(AVCodecContext* EncCtx, const AVCodec* Codec) {
  if (!Codec || !Codec->sample_fmts) return;
  for (const AVSampleFormat* p = Codec->sample_fmts; *p != AV_SAMPLE_FMT_NONE; ++p)
    if (*p == EncCtx->sample_fmt) return;
  const char* name = ff::av_get_sample_fmt_name(EncCtx->sample_fmt);
  if (name)
    ff::av_log(nullptr, AV_LOG_WARNING, "Incompatible sample format \"%s\" for codec \"%s\", auto-selecting format \"%s\"\n",
               name, Codec->name, ff::av_get_sample_fmt_name(Codec->sample_fmts[0]));
  EncCtx->sample_fmt = Codec->sample_fmts[0];
}

AnsiString TCustomFFmpegOpt::ChoosePixFmts(TOutputStream* Ost) {
  AVCodecContext* enc = Ost->EncCtx;
  if (Ost->KeepPixFmt) {
    if (Ost->Filter && Ost->Filter->Graph && Ost->Filter->Graph->Graph)
      ff::avfilter_graph_set_auto_convert(Ost->Filter->Graph->Graph, AVFILTER_AUTO_CONVERT_NONE);
    if (enc->pix_fmt == AV_PIX_FMT_NONE) return AnsiString();
    return ff::av_get_pix_fmt_name(enc->pix_fmt);
  }
  if (enc->pix_fmt != AV_PIX_FMT_NONE) {
    const char* name = ff::av_get_pix_fmt_name(ChoosePixelFmt(Ost->St, enc, Ost->Enc, enc->pix_fmt));
    return name ? name : "";
  }
  const AVPixelFormat* list = EncoderPixelFormats(enc, Ost->Enc);
  if (!list) return AnsiString();
  AnsiString text;
  for (const AVPixelFormat* p = list; *p != AV_PIX_FMT_NONE; ++p) text += AnsiString(ff::av_get_pix_fmt_name(*p)) + "|";
  if (!text.empty()) text.pop_back();
  return text;
}

int TCustomFFmpegOpt::ConfigureOutputVideoFilter(TFilterGraph* Fg, TOutputFilter* Ofilter, AVFilterInOut* Out) {
  TOutputStream* ost = Ofilter->Ost;
  AVCodecContext* enc = ost->EncCtx;
  const AnsiString name = CFormat("output stream %d:%d", ost->FileIndex, ost->Index);
  int ret = ff::avfilter_graph_create_filter(&Ofilter->Filter, ff::avfilter_get_by_name("buffersink"), name.c_str(),
                                             nullptr, nullptr, Fg->Graph);
  if (ret < 0) return ret;
  AVFilterContext* last = Out->filter_ctx;
  int pad = Out->pad_idx;
  if (enc->width || enc->height) {
    ret = InsertFilter(Fg->Graph, "scale", CFormat("scaler for output stream %d:%d", ost->FileIndex, ost->Index),
                       CFormat("%d:%d:flags=0x%X", enc->width, enc->height, static_cast<unsigned>(ost->SwsFlags)), last,
                       pad);
    if (ret < 0) return ret;
  }
  const AnsiString formats = ChoosePixFmts(ost);
  if (!formats.empty()) {
    ret = InsertFilter(Fg->Graph, "format", CFormat("pixel format for output stream %d:%d", ost->FileIndex, ost->Index),
                       formats, last, pad);
    if (ret < 0) return ret;
  }
  return ff::avfilter_link(last, pad, Ofilter->Filter, 0);
}

int TCustomFFmpegOpt::ConfigureOutputAudioFilter(TFilterGraph* Fg, TOutputFilter* Ofilter, AVFilterInOut* Out) {
  TOutputStream* ost = Ofilter->Ost;
  AVCodecContext* enc = ost->EncCtx;
  const AnsiString name = CFormat("output stream %d:%d", ost->FileIndex, ost->Index);
  // The sink's list options must be in place before it initialises.
  Ofilter->Filter = ff::avfilter_graph_alloc_filter(Fg->Graph, ff::avfilter_get_by_name("abuffersink"), name.c_str());
  if (!Ofilter->Filter) return AVERROR(ENOMEM);
  int ret = ff::av_opt_set_int(Ofilter->Filter, "all_channel_counts", 1, AV_OPT_SEARCH_CHILDREN);
  if (ret < 0) return ret;
  ret = ff::avfilter_init_str(Ofilter->Filter, nullptr);
  if (ret < 0) return ret;

  AVFilterContext* last = Out->filter_ctx;
  int pad = Out->pad_idx;
  if (ost->AudioChannelsMapped > 0) {
    AVChannelLayout layout{};
    ff::av_channel_layout_default(&layout, ost->AudioChannelsMapped);
    const unsigned long long mask = layout.order == AV_CHANNEL_ORDER_NATIVE ? layout.u.mask : 0;
    ff::av_channel_layout_uninit(&layout);
    // This library generation separates pan's channel terms with "|".
    AnsiString args = CFormat("0x%llx", mask);
    for (int i = 0; i < ost->AudioChannelsMapped; ++i)
      if (ost->AudioChannelsMap[i] != -1) args += CFormat("|c%d=c%d", i, ost->AudioChannelsMap[i]);
    LogFmt(llInfo, "%s is forwarded to lavfi similarly to -af %s=%s.", "-map_channel", "pan", args);
    ret = InsertFilter(Fg->Graph, "pan", "pan", args, last, pad);
    if (ret < 0) return ret;
  }
  if (enc->ch_layout.nb_channels > 0 && enc->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
    const int channels = enc->ch_layout.nb_channels;
    ff::av_channel_layout_uninit(&enc->ch_layout);
    ff::av_channel_layout_default(&enc->ch_layout, channels);
  }

  AnsiString sampleFmts, sampleRates, layouts;
  const AVCodec* codec = ost->Enc;
  if (enc->sample_fmt != AV_SAMPLE_FMT_NONE) {
    sampleFmts = ff::av_get_sample_fmt_name(enc->sample_fmt);
  } else if (codec && codec->sample_fmts) {
    for (const AVSampleFormat* p = codec->sample_fmts; *p != AV_SAMPLE_FMT_NONE; ++p)
      sampleFmts += AnsiString(ff::av_get_sample_fmt_name(*p)) + "|";
    sampleFmts.pop_back();
  }
  if (enc->sample_rate) {
    sampleRates = CFormat("%d", enc->sample_rate);
  } else if (codec && codec->supported_samplerates) {
    for (const int* p = codec->supported_samplerates; *p; ++p) sampleRates += CFormat("%d|", *p);
    sampleRates.pop_back();
  }
  if (enc->ch_layout.order == AV_CHANNEL_ORDER_NATIVE && enc->ch_layout.u.mask) {
    layouts = CFormat("0x%llx", static_cast<unsigned long long>(enc->ch_layout.u.mask));
  } else if (codec && codec->ch_layouts) {
    for (const AVChannelLayout* p = codec->ch_layouts; p->nb_channels; ++p)
      if (p->order == AV_CHANNEL_ORDER_NATIVE) layouts += CFormat("0x%llx|", static_cast<unsigned long long>(p->u.mask));
    if (!layouts.empty()) layouts.pop_back();
  }
  if (!sampleFmts.empty() || !sampleRates.empty() || !layouts.empty()) {
    AnsiString args;
    if (!sampleFmts.empty()) args += "sample_fmts=" + sampleFmts + ":";
    if (!sampleRates.empty()) args += "sample_rates=" + sampleRates + ":";
    if (!layouts.empty()) args += "channel_layouts=" + layouts + ":";
    args.pop_back();
    ret = InsertFilter(Fg->Graph, "aformat", CFormat("audio format for output stream %d:%d", ost->FileIndex, ost->Index),
                       args, last, pad);
    if (ret < 0) return ret;
  }
  return ff::avfilter_link(last, pad, Ofilter->Filter, 0);
}

int TCustomFFmpegOpt::ConfigureOutputFilter(TFilterGraph* Fg, TOutputFilter* Ofilter, AVFilterInOut* Out) {
  Ofilter->Name = DescribeFilterLink(Out, false);
  switch (PadType(Out, false)) {
    case AVMEDIA_TYPE_VIDEO:
      return ConfigureOutputVideoFilter(Fg, Ofilter, Out);
    case AVMEDIA_TYPE_AUDIO:
      return ConfigureOutputAudioFilter(Fg, Ofilter, Out);
    default:
      RaiseError("Never occur");
  }
}

int TCustomFFmpegOpt::ConfigureFilterGraph(TFilterGraph* Fg) {
  const bool simple = Fg->Simple();
  const bool firstBuild = Fg->Graph == nullptr;
  const AnsiString desc = simple ? Fg->Outputs[0]->Ost->Avfilter : *Fg->GraphDesc;

  ff::avfilter_graph_free(&Fg->Graph);
  Fg->Graph = ff::avfilter_graph_alloc();
  if (!Fg->Graph) return AVERROR(ENOMEM);
  if (ThreadShare > 0) Fg->Graph->nb_threads = ThreadShare;

  if (simple) {
    TOutputStream* ost = Fg->Outputs[0]->Ost;
    Fg->Graph->scale_sws_opts = ff::av_strdup(CFormat("flags=0x%X", static_cast<unsigned>(ost->SwsFlags)).c_str());
    const AnsiString swr = DictAsFilterOptions(ost->SwrOpts);
    if (!swr.empty()) ff::av_opt_set(Fg->Graph, "aresample_swr_opts", swr.c_str(), 0);
  }

  AVFilterInOut* inputs = nullptr;
  AVFilterInOut* outputs = nullptr;
  int ret = ff::avfilter_graph_parse2(Fg->Graph, desc.c_str(), &inputs, &outputs);
  if (ret < 0) return ret;
  struct InOutGuard {
    AVFilterInOut*& a;
    AVFilterInOut*& b;
    ~InOutGuard() {
      ff::avfilter_inout_free(&a);
      ff::avfilter_inout_free(&b);
    }
  } guard{inputs, outputs};

  if (simple && (!inputs || inputs->next || !outputs || outputs->next)) {
    ff::av_log(nullptr, AV_LOG_ERROR, "Simple filtergraph \"%s\" does not have exactly one input and output.\n",
               desc.c_str());
    return AVERROR(EINVAL);
  }
  if (!simple && firstBuild)
    for (AVFilterInOut* cur = inputs; cur; cur = cur->next) InitInputFilter(Fg, cur);

  size_t i = 0;
  for (AVFilterInOut* cur = inputs; cur; cur = cur->next, ++i) {
    if (i >= Fg->Inputs.size()) return AVERROR(EINVAL);
    ret = ConfigureInputFilter(Fg, Fg->Inputs[i], cur);
    if (ret < 0) return ret;
  }

  if (simple || !firstBuild) {
    i = 0;
    for (AVFilterInOut* cur = outputs; cur; cur = cur->next, ++i) {
      if (i < Fg->Outputs.size() && Fg->Outputs[i]->Ost) ConfigureOutputFilter(Fg, Fg->Outputs[i], cur);
    }
    ret = ff::avfilter_graph_config(Fg->Graph, nullptr);
    if (ret < 0) return ret;
  } else {
    while (outputs) {
      AVFilterInOut* cur = outputs;
      outputs = cur->next;
      cur->next = nullptr;
      auto* ofilter = new TOutputFilter();
      ofilter->Graph = Fg;
      ofilter->OutTmp = cur;
      Fg->Outputs.push_back(ofilter);
    }
  }
  Fg->Reconfiguration = 1;
  return 0;
}

void TCustomFFmpegOpt::InitOutputFilter(TOutputFilter* Ofilter, TOptionsContext& Context, AVFormatContext* Oc) {
  TOutputStream* ost = nullptr;
  switch (PadType(Ofilter->OutTmp, false)) {
    case AVMEDIA_TYPE_VIDEO:
      ost = NewVideoStream(Context, Oc, -1);
      break;
    case AVMEDIA_TYPE_AUDIO:
      ost = NewAudioStream(Context, Oc, -1);
      break;
    default:
      RaiseError("Only video and audio filters are supported currently.");
  }
  ost->SourceIndex = -1;
  ost->Filter = Ofilter;
  Ofilter->Ost = ost;
  if (ost->StreamCopy)
    RaiseErrorFmt("Streamcopy requested for output stream %d:%d, which is fed from a complex filtergraph. Filtering "
                  "and streamcopy cannot be used together.",
                  ost->FileIndex, ost->Index);
  if (ConfigureOutputFilter(Ofilter->Graph, Ofilter, Ofilter->OutTmp) < 0) RaiseError("Error configuring filter.");
  ff::avfilter_inout_free(&Ofilter->OutTmp);
}
