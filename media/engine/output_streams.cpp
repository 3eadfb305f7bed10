// Creating the streams of an output: encoder or stream copy, and the stream-specific options.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "media/binding/entry_points.h"
#include "media/binding/ffmpeg_exception.h"
#include "media/engine/codec_tag.h"
#include "media/engine/custom_ffmpeg_opt.h"
#include "platform/rtl/numerics.h"

void TCustomFFmpegOpt::ChooseEncoder(TOptionsContext& Context, AVFormatContext* Oc, TOutputStream* Ost) {
  const AVMediaType type = Ost->St->codecpar->codec_type;
  char* name = nullptr;
  MatchPerStreamOption(Oc, Ost->St, Context.CodecNames, name);
  if (!name) {
    const AVCodecID id = ff::av_guess_codec(Oc->oformat, nullptr, Oc->url, nullptr, type);
    Ost->St->codecpar->codec_id = id;
    Ost->Enc = ff::avcodec_find_encoder(id);
  } else if (std::strcmp(name, "copy") == 0) {
    Ost->StreamCopy = 1;
  } else {
    Ost->Enc = FindCodec(name, type, true);
    Ost->St->codecpar->codec_id = Ost->Enc->id;
  }
}

TOutputStream* TCustomFFmpegOpt::NewOutputStream(TOptionsContext& Context, AVFormatContext* Oc, AVMediaType Type,
                                                 int SourceIndex) {
  AVStream* st = ff::avformat_new_stream(Oc, nullptr);
  if (!st) RaiseError("Could not alloc stream.");
  const int idx = static_cast<int>(Oc->nb_streams) - 1;
  if (idx < Context.NbStreamIdMap) st->id = Context.StreamIdMap[idx];

  auto* ost = new TOutputStream();
  OutputStreams.push_back(ost);
  ost->FileIndex = static_cast<int>(OutputFiles.size());
  ost->Index = idx;
  ost->St = st;
  ost->JoinLastPts = AV_NOPTS_VALUE;
  ost->JoinLastDts = AV_NOPTS_VALUE;
  st->codecpar->codec_type = Type;

  ChooseEncoder(Context, Oc, ost);
  ost->Opts = FilterCodecOptions(Context.Group->CodecOpts, ost->Enc ? ost->Enc->id : AV_CODEC_ID_NONE, Oc, st, ost->Enc);
  ost->OwnsOpts = 1;

  ost->EncCtx = ff::avcodec_alloc_context3(ost->Enc);
  if (!ost->EncCtx) RaiseError("Error allocating the encoding context.");
  ost->EncCtx->codec_type = Type;
  ost->EncCtx->codec_id = st->codecpar->codec_id;
  ost->OwnsCodecData = 1;

  ost->MaxFrames = INT64_MAX;
  MatchPerStreamOption(Oc, st, Context.MaxFrames, ost->MaxFrames);
  ost->CopyPriorStart = -1;
  MatchPerStreamOption(Oc, st, Context.CopyPriorStart, ost->CopyPriorStart);

  char* bsfs = nullptr;
  MatchPerStreamOption(Oc, st, Context.BitstreamFilters, bsfs);
  if (bsfs) {
    AnsiString rest = bsfs;
    for (;;) {
      const size_t comma = rest.find(',');
      const AnsiString name = rest.substr(0, comma);
      const AVBitStreamFilter* filter = ff::av_bsf_get_by_name(name.c_str());
      if (!filter) RaiseErrorFmt("Unknown bitstream filter \"%s\"", name);
      AVBSFContext* bsf = nullptr;
      if (ff::av_bsf_alloc(filter, &bsf) < 0) RaiseError("av_mallocz() failed");
      ost->BitstreamFilters.push_back(bsf);
      if (comma == AnsiString::npos) break;
      rest.erase(0, comma + 1);
    }
  }

  char* tag = nullptr;
  MatchPerStreamOption(Oc, st, Context.CodecTags, tag);
  if (tag) ost->EncCtx->codec_tag = CodecTagFromText(tag);

  double qscale = -1.0;
  MatchPerStreamOption(Oc, st, Context.QScale, qscale);
  if (qscale >= 0) {
    ost->EncCtx->flags |= AV_CODEC_FLAG_QSCALE;
    ost->EncCtx->global_quality = SafeTrunc<int>(FF_QP2LAMBDA * qscale);
  }
  if (Oc->oformat->flags & AVFMT_GLOBALHEADER) ost->EncCtx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

  int64_t swsFlags = 0;
  if (Context.Group->SwsOpts && ff::av_opt_get_int(Context.Group->SwsOpts, "sws_flags", 0, &swsFlags) >= 0)
    ost->SwsFlags = swsFlags;
  ff::av_dict_copy(&ost->SwrOpts, Context.Group->SwrOpts, 0);
  if (ost->Enc && ff::av_get_exact_bits_per_sample(ost->Enc->id) == 24)
    ff::av_dict_set(&ost->SwrOpts, "output_sample_bits", "24", 0);
  ff::av_dict_copy(&ost->ResampleOpts, Context.Group->ResampleOpts, 0);

  ost->SourceIndex = SourceIndex;
  if (SourceIndex >= 0) {
    ost->SyncIst = InputStreams[SourceIndex];
    ost->SyncIst->Discard = 0;
    ost->SyncIst->St->discard = AVDISCARD_NONE;
  }
  return ost;
}

void TCustomFFmpegOpt::ParseMatrixCoeffs(uint16_t* Matrix, const AnsiString& Text) {
  const char* p = Text.c_str();
  for (int i = 0;; ++i) {
    Matrix[i] = static_cast<uint16_t>(std::atoi(p));
    if (i == 63) break;
    p = std::strchr(p, ',');
    if (!p) RaiseErrorFmt("Syntax error in matrix \"%s\" at coeff %d", Text, i);
    ++p;
  }
}

TOutputStream* TCustomFFmpegOpt::NewVideoStream(TOptionsContext& Context, AVFormatContext* Oc, int SourceIndex) {
  TOutputStream* ost = NewOutputStream(Context, Oc, AVMEDIA_TYPE_VIDEO, SourceIndex);
  AVStream* st = ost->St;
  AVCodecContext* enc = ost->EncCtx;

  char* rate = nullptr;
  MatchPerStreamOption(Oc, st, Context.FrameRates, rate);
  if (rate && ff::av_parse_video_rate(&ost->FrameRate, rate) < 0) RaiseErrorFmt("Invalid framerate value: %s", rate);

  if (ost->StreamCopy) {
    MatchPerStreamOption(Oc, st, Context.CopyInitialNonKeyframes, ost->CopyInitialNonKeyframes);
    return ost;
  }

  char* size = nullptr;
  MatchPerStreamOption(Oc, st, Context.FrameSizes, size);
  if (size && ff::av_parse_video_size(&enc->width, &enc->height, size) < 0) RaiseErrorFmt("Invalid frame size: %s.", size);

  char* aspect = nullptr;
  MatchPerStreamOption(Oc, st, Context.FrameAspectRatios, aspect);
  if (aspect) {
    AVRational q{0, 0};
    if (ff::av_parse_ratio(&q, aspect, 255, 0, nullptr) < 0 || q.num <= 0 || q.den <= 0)
      RaiseErrorFmt("Invalid aspect ratio: %s", aspect);
    ost->FrameAspectRatio = static_cast<float>(static_cast<double>(q.num) / q.den);
  }

  enc->bits_per_raw_sample = FrameBitsPerRawSample;

  char* pixFmt = nullptr;
  MatchPerStreamOption(Oc, st, Context.FramePixFmts, pixFmt);
  if (pixFmt) {
    if (*pixFmt == '+') {
      ost->KeepPixFmt = 1;
      ++pixFmt;
    }
    if (*pixFmt) {
      enc->pix_fmt = ff::av_get_pix_fmt(pixFmt);
      if (enc->pix_fmt == AV_PIX_FMT_NONE) RaiseErrorFmt("Unknown pixel format requested: %s.", pixFmt);
    }
  }
  st->sample_aspect_ratio = enc->sample_aspect_ratio;
  if (IntraOnly) enc->gop_size = 0;

  char* matrix = nullptr;
  MatchPerStreamOption(Oc, st, Context.IntraMatrices, matrix);
  if (matrix) {
    enc->intra_matrix = static_cast<uint16_t*>(ff::av_mallocz(sizeof(uint16_t) * 64));
    if (!enc->intra_matrix) RaiseError("Could not allocate memory for intra matrix.");
    ParseMatrixCoeffs(enc->intra_matrix, matrix);
  }
  matrix = nullptr;
  MatchPerStreamOption(Oc, st, Context.InterMatrices, matrix);
  if (matrix) {
    enc->inter_matrix = static_cast<uint16_t*>(ff::av_mallocz(sizeof(uint16_t) * 64));
    if (!enc->inter_matrix) RaiseError("Could not allocate memory for inter matrix.");
    ParseMatrixCoeffs(enc->inter_matrix, matrix);
  }

  char* overrides = nullptr;
  MatchPerStreamOption(Oc, st, Context.RcOverrides, overrides);
  if (overrides) {
    const char* p = overrides;
    int count = 0;
    for (;;) {
      int start = 0, end = 0, q = 0;
      if (std::sscanf(p, "%d,%d,%d", &start, &end, &q) != 3) RaiseError("error parsing rc_override");
      auto* grown = static_cast<RcOverride*>(ff::av_realloc_array(enc->rc_override, count + 1, sizeof(RcOverride)));
      if (!grown) RaiseError("Could not allocate memory for rc_override.");
      enc->rc_override = grown;
      RcOverride& r = grown[count++];
      r.start_frame = start;
      r.end_frame = end;
      if (q > 0) {
        r.qscale = q;
        r.quality_factor = 1.0f;
      } else {
        r.qscale = 0;
        r.quality_factor = -q / 100.0f;
      }
      enc->rc_override_count = count;
      p = std::strchr(p, '/');
      if (!p) break;
      ++p;
    }
  }

  enc->intra_dc_precision = IntraDcPrecision - 8;
  if (DoPsnr) enc->flags |= AV_CODEC_FLAG_PSNR;

  int pass = 0;
  MatchPerStreamOption(Oc, st, Context.Pass, pass);
  if (pass & 1) {
    enc->flags |= AV_CODEC_FLAG_PASS1;
    ff::av_dict_set(&ost->Opts, "flags", "+pass1", AV_DICT_APPEND);
  }
  if (pass & 2) {
    enc->flags |= AV_CODEC_FLAG_PASS2;
    ff::av_dict_set(&ost->Opts, "flags", "+pass2", AV_DICT_APPEND);
  }

  char* text = nullptr;
  MatchPerStreamOption(Oc, st, Context.PassLogFiles, text);
  if (text) ost->LogfilePrefix = text;
  text = nullptr;
  MatchPerStreamOption(Oc, st, Context.ForcedKeyFrames, text);
  if (text) ost->ForcedKeyframes = text;
  MatchPerStreamOption(Oc, st, Context.ForceFps, ost->ForceFps);
  ost->TopFieldFirst = -1;
  MatchPerStreamOption(Oc, st, Context.TopFieldFirst, ost->TopFieldFirst);

  char* filters = nullptr;
  MatchPerStreamOption(Oc, st, Context.Filters, filters);
  ost->Avfilter = filters ? filters : "null";
  return ost;
}

TOutputStream* TCustomFFmpegOpt::NewAudioStream(TOptionsContext& Context, AVFormatContext* Oc, int SourceIndex) {
  TOutputStream* ost = NewOutputStream(Context, Oc, AVMEDIA_TYPE_AUDIO, SourceIndex);
  AVStream* st = ost->St;
  AVCodecContext* enc = ost->EncCtx;
  if (!ost->StreamCopy) {
    int channels = 0;
    MatchPerStreamOption(Oc, st, Context.AudioChannels, channels);
    if (channels > 0) {
      ff::av_channel_layout_uninit(&enc->ch_layout);
      enc->ch_layout.order = AV_CHANNEL_ORDER_UNSPEC;
      enc->ch_layout.nb_channels = channels;
    }
    char* sampleFmt = nullptr;
    MatchPerStreamOption(Oc, st, Context.SampleFmts, sampleFmt);
    if (sampleFmt) {
      enc->sample_fmt = ff::av_get_sample_fmt(sampleFmt);
      if (enc->sample_fmt == AV_SAMPLE_FMT_NONE) RaiseErrorFmt("Invalid sample format \"%s\"", sampleFmt);
    }
    MatchPerStreamOption(Oc, st, Context.AudioSampleRate, enc->sample_rate);
    char* filters = nullptr;
    MatchPerStreamOption(Oc, st, Context.Filters, filters);
    ost->Avfilter = filters ? filters : "anull";
  }
  const TInputStream* src = ost->SourceIndex >= 0 ? InputStreams[ost->SourceIndex] : nullptr;
  for (int i = 0; i < Context.NbAudioChannelMaps; ++i) {
    const TAudioChannelMap& map = Context.AudioChannelMaps[i];
    const bool sourceMatches =
        map.ChannelIndex == -1 ||
        (src && map.FileIndex == src->FileIndex && map.StreamIndex == src->St->index);
    const bool outputMatches = map.OutputFileIndex == -1 || map.OutputFileIndex == ost->FileIndex;
    const bool streamMatches = map.OutputStreamIndex == -1 || map.OutputStreamIndex == ost->Index;
    if (!sourceMatches || !outputMatches || !streamMatches) continue;
    if (ost->AudioChannelsMapped == MaxAudioChannelsMap) {
      LogFmt(llFatal, "Max channel mapping for output %d.%d reached", ost->FileIndex, ost->Index);
      continue;
    }
    ost->AudioChannelsMap[ost->AudioChannelsMapped++] = map.ChannelIndex;
  }
  return ost;
}

TOutputStream* TCustomFFmpegOpt::NewSubtitleStream(TOptionsContext& Context, AVFormatContext* Oc, int SourceIndex) {
  TOutputStream* ost = NewOutputStream(Context, Oc, AVMEDIA_TYPE_SUBTITLE, SourceIndex);
  MatchPerStreamOption(Oc, ost->St, Context.CopyInitialNonKeyframes, ost->CopyInitialNonKeyframes);
  if (!ost->StreamCopy) {
    char* size = nullptr;
    MatchPerStreamOption(Oc, ost->St, Context.FrameSizes, size);
    if (size && ff::av_parse_video_size(&ost->EncCtx->width, &ost->EncCtx->height, size) < 0)
      RaiseErrorFmt("Invalid frame size: %s.", size);
  }
  return ost;
}

TOutputStream* TCustomFFmpegOpt::NewDataStream(TOptionsContext& Context, AVFormatContext* Oc, int SourceIndex) {
  TOutputStream* ost = NewOutputStream(Context, Oc, AVMEDIA_TYPE_DATA, SourceIndex);
  if (!ost->StreamCopy) RaiseError("Data stream encoding not supported yet (only streamcopy)");
  return ost;
}

TOutputStream* TCustomFFmpegOpt::NewAttachmentStream(TOptionsContext& Context, AVFormatContext* Oc, int SourceIndex) {
  TOutputStream* ost = NewOutputStream(Context, Oc, AVMEDIA_TYPE_ATTACHMENT, SourceIndex);
  ost->StreamCopy = 1;
  return ost;
}
