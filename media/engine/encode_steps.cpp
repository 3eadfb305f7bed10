// Filtered frames and subtitles into packets, packets into the output files: frame-rate
// decisions, the encoders (zero or more packets per frame, flushed with no frame), the packet
// writer with its timestamp rules, and the video statistics file.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "media/binding/entry_points.h"
#include "media/binding/error_text.h"
#include "media/binding/ffmpeg_exception.h"
#include "media/engine/encode_worker.h"
#include "media/engine/transcode_task.h"
#include "platform/rtl/numerics.h"

namespace {
const char* const HintSentence =
    "Please check error log message(reported by FFLogger) to find out more detail information.";

int64_t LlRound(double v) { return static_cast<int64_t>(std::llrint(v)); }
}  // namespace

int TCustomFFmpeg::EffectiveVideoSync(const AVOutputFormat* Format) const {
  if (VideoSyncMethod != vsAuto) return VideoSyncMethod;
  // AVI marks a repeated picture with an empty chunk of its own, so the gaps of a variable rate
  // cost nothing there; at a constant rate every repeat would be encoded and stored again.
  if (std::strcmp(Format->name, "avi") == 0) return vsVfr;
  // A format that cannot take a variable rate gets a constant one, timestamps or not: image
  // sequences written "every N seconds" must get one picture per period.
  if (Format->flags & AVFMT_VARIABLE_FPS) return (Format->flags & AVFMT_NOTIMESTAMPS) ? vsPassthrough : vsVfr;
  return vsCfr;
}

int TCustomFFmpeg::CheckRecordingTime(TOutputStream* Ost) {
  const TOutputFile* of = OutputFiles[Ost->FileIndex];
  if (of->RecordingTime != INT64_MAX &&
      ff::av_compare_ts(Ost->SyncOpts - Ost->FirstPts, Ost->EncCtx->time_base, of->RecordingTime, AV_TIME_BASE_Q) >=
          0) {
    CloseOutputStream(Ost);
    return 0;
  }
  return 1;
}

void TCustomFFmpeg::CloseOutputStream(TOutputStream* Ost) {
  Ost->Finished = 1;
  TOutputFile* of = OutputFiles[Ost->FileIndex];
  if (of->Shortest && Ost->EncCtx && Ost->EncCtx->time_base.num) {
    const int64_t end = ff::av_rescale_q(Ost->SyncOpts - Ost->FirstPts, Ost->EncCtx->time_base, AV_TIME_BASE_Q);
    if (end < of->RecordingTime) of->RecordingTime = end;
  }
}

void TCustomFFmpeg::WriteFrame(AVFormatContext* S, AVPacket* Pkt, TOutputStream* Ost) {
  const AVMediaType type = Ost->St->codecpar->codec_type;
  if ((type == AVMEDIA_TYPE_VIDEO && EffectiveVideoSync(S->oformat) == vsDrop) ||
      (type == AVMEDIA_TYPE_AUDIO && AudioSyncMethod < 0))
    Pkt->pts = Pkt->dts = AV_NOPTS_VALUE;

  if (Joined) {
    // Across the joins each stream's timestamps keep rising.
    if (Pkt->pts != AV_NOPTS_VALUE && Ost->JoinLastPts != AV_NOPTS_VALUE && Pkt->pts <= Ost->JoinLastPts)
      Pkt->pts = Ost->JoinLastPts + 1;
    if (Pkt->dts != AV_NOPTS_VALUE && Ost->JoinLastDts != AV_NOPTS_VALUE && Pkt->dts <= Ost->JoinLastDts)
      Pkt->dts = Ost->JoinLastDts + 1;
    if (Pkt->pts != AV_NOPTS_VALUE) Ost->JoinLastPts = Pkt->pts;
    if (Pkt->dts != AV_NOPTS_VALUE) Ost->JoinLastDts = Pkt->dts;
  }
  if ((type == AVMEDIA_TYPE_AUDIO || type == AVMEDIA_TYPE_VIDEO) && Pkt->dts != AV_NOPTS_VALUE &&
      !(S->oformat->flags & AVFMT_NOTIMESTAMPS)) {
    if (Pkt->pts != AV_NOPTS_VALUE && Pkt->pts < Pkt->dts) Pkt->pts = Pkt->dts;
    if (Ost->LastMuxDts != AV_NOPTS_VALUE) {
      const int64_t least = Ost->LastMuxDts + !(S->oformat->flags & AVFMT_TS_NONSTRICT);
      if (Pkt->dts < least) {
        const int level = (least - Pkt->dts > 2 || type == AVMEDIA_TYPE_VIDEO) ? AV_LOG_WARNING : AV_LOG_DEBUG;
        ff::av_log(S, level, "st:%d PTS: %lld DTS: %lld < %lld invalid, clipping\n", Ost->St->index,
                   static_cast<long long>(Pkt->pts), static_cast<long long>(Pkt->dts), static_cast<long long>(least));
        if (Pkt->pts >= Pkt->dts) Pkt->pts = std::max(Pkt->pts, least);
        Pkt->dts = least;
      }
    }
  }
  if (Pkt->dts != AV_NOPTS_VALUE) Ost->LastMuxDts = Pkt->dts;
  if (Pkt->pts != AV_NOPTS_VALUE) {
    int64_t& end = OState(Ost).EndUs;
    end = std::max(end, ff::av_rescale_q(Pkt->pts + Pkt->duration, Ost->St->time_base, AV_TIME_BASE_Q));
  }

  if (!(type == AVMEDIA_TYPE_VIDEO && Ost->EncodingNeeded)) {
    if (Ost->FrameNumber >= Ost->MaxFrames) {
      ff::av_packet_unref(Pkt);
      return;
    }
    ++Ost->FrameNumber;
  }

  // A joined input's streams go through the first set's filters.
  const std::vector<AVBSFContext*>& bitstreamFilters =
      IsJoinClone(Ost) ? OutputStreams[OutputIndex(Ost) % JoinStreamCount]->BitstreamFilters : Ost->BitstreamFilters;
  std::vector<AVPacket*> packets;
  if (bitstreamFilters.empty()) {
    packets.push_back(ff::av_packet_clone(Pkt));
  } else {
    std::vector<AVPacket*> in{ff::av_packet_clone(Pkt)};
    for (AVBSFContext* bsf : bitstreamFilters) {
      std::vector<AVPacket*> out;
      for (AVPacket* p : in) {
        int ret = ff::av_bsf_send_packet(bsf, p);
        ff::av_packet_free(&p);
        while (ret >= 0) {
          AVPacket* o = ff::av_packet_alloc();
          ret = ff::av_bsf_receive_packet(bsf, o);
          if (ret < 0) {
            ff::av_packet_free(&o);
            break;
          }
          out.push_back(o);
        }
        if (ret < 0 && ret != AVERROR(EAGAIN) && ret != AVERROR_EOF) {
          const AnsiString text =
              ErrorText(Format("Failed to open bitstream filter %s for stream %d with codec %s", bsf->filter->name,
                               Ost->St->index, Ost->Enc ? AnsiString(Ost->Enc->name) : AnsiString("copy")),
                        ret);
          if (ExitOnError) {
            for (AVPacket* q : out) ff::av_packet_free(&q);
            RaiseError(text);
          }
          Log(llError, text);
        }
      }
      in = std::move(out);
    }
    packets = std::move(in);
  }
  ff::av_packet_unref(Pkt);

  for (size_t i = 0; i < packets.size(); ++i) {
    AVPacket* p = packets[i];
    if (!p) continue;
    p->stream_index = Ost->Index;
    WriteStartTime = ff::av_gettime();
    int ret = ff::av_interleaved_write_frame(S, p);
    // Muxers that write a file per packet let a failed write pass; the hooks saw it.
    if (ret >= 0 && OutputFiles[Ost->FileIndex]->WriteError < 0) ret = OutputFiles[Ost->FileIndex]->WriteError;
    WriteStartTime = INT64_MAX;
    ff::av_packet_free(&p);
    ++OState(Ost).PacketsWritten;
    if (ret < 0) {
      for (size_t j = i + 1; j < packets.size(); ++j) ff::av_packet_free(&packets[j]);
      RaiseError(ErrorText("av_interleaved_write_frame()", ret) + ". " + HintSentence);
    }
  }
}

void TCustomFFmpeg::ReceivePackets(AVFormatContext* S, TOutputStream* Ost, bool Flushing, int64_t SlotPts) {
  AVCodecContext* enc = Ost->EncCtx;
  const bool video = enc->codec_type == AVMEDIA_TYPE_VIDEO;
  AVPacket* pkt = ff::av_packet_alloc();
  if (!pkt) RaiseError("av_packet_alloc failed");
  struct TFree {
    AVPacket*& P;
    ~TFree() { ff::av_packet_free(&P); }
  } guard{pkt};
  for (;;) {
    const int ret = ff::avcodec_receive_packet(enc, pkt);
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) break;
    if (ret < 0) {
      if (Flushing) RaiseErrorFmt("%s encoding failed", video ? "Video" : "Audio");
      RaiseError(video ? "Video encoding failed" : "Audio encoding failed (avcodec_encode_audio2)");
    }
    WriteEncodedPacket(S, Ost, pkt, SlotPts);
  }
}

void TCustomFFmpeg::WriteEncodedPacket(AVFormatContext* S, TOutputStream* Ost, AVPacket* Pkt, int64_t SlotPts) {
  AVCodecContext* enc = Ost->EncCtx;
  const bool video = enc->codec_type == AVMEDIA_TYPE_VIDEO;
  TOutputState& state = OState(Ost);
  size_t sdSize = 0;
  const uint8_t* sd = ff::av_packet_get_side_data(Pkt, AV_PKT_DATA_QUALITY_STATS, &sdSize);
  if (sd && sdSize >= 6) {
    state.Quality = static_cast<int>(sd[0] | (sd[1] << 8) | (sd[2] << 16) | (static_cast<uint32_t>(sd[3]) << 24));
    state.PictType = sd[4];
    const int errors = std::min<int>(sd[5], 4);
    for (int i = 0; i < errors && 8 + 8 * static_cast<size_t>(i) + 8 <= sdSize; ++i) {
      uint64_t v = 0;
      for (int b = 7; b >= 0; --b) v = (v << 8) | sd[8 + 8 * i + b];
      state.Error[i] = static_cast<int64_t>(v);
    }
  }
  if (Ost->Logfile && enc->stats_out) std::fprintf(Ost->Logfile, "%s", enc->stats_out);
  if (video && Pkt->pts == AV_NOPTS_VALUE && !(Ost->Enc->capabilities & AV_CODEC_CAP_DELAY))
    Pkt->pts = Pkt->dts = SlotPts;
  ff::av_packet_rescale_ts(Pkt, enc->time_base, Ost->St->time_base);
  const int size = Pkt->size;
  if (video)
    VideoSize += size;
  else
    AudioSize += size;
  ++state.FramesEncoded;
  WriteFrame(S, Pkt, Ost);
  if (video && !VstatsFilename.empty()) DoVideoStats(Ost, size);
}

void TCustomFFmpeg::DoAudioOut(AVFormatContext* S, TOutputStream* Ost, AVFrame* Frame) {
  AVCodecContext* enc = Ost->EncCtx;
  if (!CheckRecordingTime(Ost)) return;
  if (Frame->pts == AV_NOPTS_VALUE || AudioSyncMethod < 0) Frame->pts = Ost->SyncOpts;
  // The frame that crosses the recording time is cut to it, where the encoder takes a short
  // last frame, so the output lasts what was asked rather than up to a whole frame more.
  const TOutputFile* of = OutputFiles[Ost->FileIndex];
  if (of->RecordingTime != INT64_MAX &&
      (Ost->Enc->capabilities & (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE))) {
    const int64_t limit = ff::av_rescale_q(of->RecordingTime, AV_TIME_BASE_Q, enc->time_base) + Ost->FirstPts;
    const int64_t left = limit - Frame->pts;
    if (left > 0 && left < Frame->nb_samples) Frame->nb_samples = static_cast<int>(left);
  }
  Ost->SyncOpts = Frame->pts + Frame->nb_samples;

  if (AudioOutputHookProc) {
    if (ff::av_frame_make_writable(Frame) < 0) RaiseError("Audio encoding failed (avcodec_encode_audio2)");
    TTaskAudio audio = TaskAudio(Frame, ff::av_rescale_q(Frame->pts, enc->time_base, AV_TIME_BASE_Q));
    audio.SampleRate = enc->sample_rate;
    audio.Channels = enc->ch_layout.nb_channels;
    audio.SampleFormat = enc->sample_fmt;
    AudioOutputHookProc(this, audio);
  }
  if (ff::avcodec_send_frame(enc, Frame) < 0) RaiseError("Audio encoding failed (avcodec_encode_audio2)");
  ReceivePackets(S, Ost, false, Ost->SyncOpts);
}

void TCustomFFmpeg::EncodeVideoFrame(AVFormatContext* S, TOutputStream* Ost, AVFrame* Frame) {
  AVCodecContext* enc = Ost->EncCtx;
  TOutputState& state = OState(Ost);
  Frame->pict_type = AV_PICTURE_TYPE_NONE;
  if (enc->flags & AV_CODEC_FLAG_QSCALE) Frame->quality = enc->global_quality;
  if (Ost->ForcedKfIndex < static_cast<int>(Ost->ForcedKfPts.size()) &&
      Frame->pts >= Ost->ForcedKfPts[Ost->ForcedKfIndex]) {
    ++Ost->ForcedKfIndex;
    Frame->pict_type = AV_PICTURE_TYPE_I;
  } else if (Ost->ForcedKeyframesPexpr) {
    const double t = Frame->pts * av_q2d(enc->time_base);
    const double values[5] = {state.KfN, state.KfNForced, state.KfPrevN, state.KfPrevT, t};
    const double res = ff::av_expr_eval(Ost->ForcedKeyframesPexpr, values, nullptr);
    LogFmt(llDebug, "force_key_frame: n:%f n_forced:%f prev_forced_n:%f t:%f prev_forced_t:%f -> res:%f", state.KfN,
           state.KfNForced, state.KfPrevN, t, state.KfPrevT, res);
    if (res) {
      Frame->pict_type = AV_PICTURE_TYPE_I;
      state.KfPrevN = state.KfN;
      state.KfPrevT = t;
      state.KfNForced += 1;
    }
    state.KfN += 1;
  }
  if (Frame->pict_type == AV_PICTURE_TYPE_I)
    LogFmt(llDebug, "Forced keyframe at time %f", Frame->pts * av_q2d(enc->time_base));
  if (EncodesAside(Ost)) {
    CollectEncodedPicture();
    // The worker holds a reference of its own: the loop may repeat, keep or release the picture.
    AVFrame* picture = ff::av_frame_clone(Frame);
    if (!picture) RaiseError("Video encoding failed");
    const int64_t slot = Ost->SyncOpts;
    try {
      if (!FEncodeWorker) FEncodeWorker = std::make_unique<TEncodeWorker>();
      FEncodeWorker->Submit([this, S, Ost, picture, slot] {
        AVFrame* frame = picture;
        const int sent = ff::avcodec_send_frame(Ost->EncCtx, frame);
        ff::av_frame_free(&frame);
        if (sent < 0) RaiseError("Video encoding failed");
        ReceivePackets(S, Ost, false, slot);
      });
    } catch (...) {
      AVFrame* frame = picture;
      ff::av_frame_free(&frame);
      throw;
    }
    return;
  }
  if (ff::avcodec_send_frame(enc, Frame) < 0) RaiseError("Video encoding failed");
  ReceivePackets(S, Ost, false, Ost->SyncOpts);
}

bool TCustomFFmpeg::EncodesAside(const TOutputStream* Ost) const {
  // Only the single output of a task: nothing else then shares the muxer with the worker, and
  // its packets reach the file in the order they would in line. Two-pass logs, statistics files
  // and size limits look at the encoder or the file after each picture, so they keep it in line.
  return OutputStreams.size() == 1 && !Joined && Ost->EncCtx->codec_type == AVMEDIA_TYPE_VIDEO && !Ost->Logfile &&
         VstatsFilename.empty() && OutputFiles[Ost->FileIndex]->LimitFilesize == INT64_MAX;
}

void TCustomFFmpeg::CollectEncodedPicture() {
  if (FEncodeWorker) FEncodeWorker->Wait();
}

void TCustomFFmpeg::StopEncodeWorker() { FEncodeWorker.reset(); }

bool TCustomFFmpeg::StartsAtFirstPicture(const TOutputStream* Ost, int Sync) const {
  // A constant rate fed from a lone stream begins with that stream's first picture instead of
  // repeating it back to the start: the picture after a seek is seldom exactly at the seek point.
  if (VideoSyncMethod != vsAuto || Sync != vsCfr) return false;
  if (CopyTs) return true;
  if (Ost->SourceIndex < 0) return false;
  const TInputFile* f = InputFiles[InputStreams[Ost->SourceIndex]->FileIndex];
  return f->Ctx && f->Ctx->nb_streams == 1 && f->InputTsOffset == 0;
}

void TCustomFFmpeg::DoVideoOut(AVFormatContext* S, TOutputStream* Ost, AVFrame* Picture, double FloatPts) {
  AVCodecContext* enc = Ost->EncCtx;
  TOutputState& state = OState(Ost);
  const int sync = EffectiveVideoSync(S->oformat);
  const TInputStream* ist = Ost->SourceIndex >= 0 ? InputStreams[Ost->SourceIndex] : nullptr;

  // The picture's length in the encoder's time base: from the rate the filters deliver, no
  // longer than a period of a forced output rate, and from the packet itself when no filter
  // stands between the decoder and the encoder.
  double duration = 1.0;
  const AVRational filterRate = Ost->Filter && Ost->Filter->Filter
                                    ? ff::av_buffersink_get_frame_rate(Ost->Filter->Filter)
                                    : AVRational{0, 1};
  if (filterRate.num > 0 && filterRate.den > 0) duration = 1.0 / (av_q2d(filterRate) * av_q2d(enc->time_base));
  if (ist && ist->St->start_time != AV_NOPTS_VALUE && Ost->FrameRate.num > 0 && Ost->FrameRate.den > 0)
    duration = std::min(duration, 1.0 / (av_q2d(Ost->FrameRate) * av_q2d(enc->time_base)));
  if (ist && Ost->Avfilter == "null" && Picture->pkt_duration > 0) {
    const long packetSlots =
        std::lrint(static_cast<float>(Picture->pkt_duration * av_q2d(ist->St->time_base) / av_q2d(enc->time_base)));
    if (packetSlots > 0) duration = static_cast<double>(packetSlots);
  }

  double syncIpts = FloatPts == static_cast<double>(AV_NOPTS_VALUE) ? static_cast<double>(Ost->SyncOpts) : FloatPts;
  double delta0 = syncIpts - static_cast<double>(Ost->SyncOpts);  // how far the picture lies past the next slot
  double delta = delta0 + duration;                                  // how far its end lies past it

  // A picture that starts before the next slot but reaches into it is shortened to the slot.
  if (delta0 < 0 && delta > 0 && sync != vsPassthrough && sync != vsDrop) {
    if (delta0 < -0.6)
      LogFmt(llVerbose, "Past duration %f too large", -delta0);
    else
      LogFmt(llDebug, "Clipping frame in rate conversion by %f", -delta0);
    syncIpts = static_cast<double>(Ost->SyncOpts);
    duration += delta0;
    delta0 = 0;
  }

  // nbFrames slots are filled; the first nbPrevious of them repeat the previous picture, which
  // a gap left on screen.
  int64_t nbFrames = 1;
  int64_t nbPrevious = 0;
  switch (sync) {
    case vsCfr:
      if (Ost->FrameNumber == 0 && delta0 >= 0.5 && StartsAtFirstPicture(Ost, sync)) {
        LogFmt(llDebug, "Not duplicating %d initial frames", static_cast<int>(std::lrint(static_cast<float>(delta0))));
        delta = duration;
        delta0 = 0;
        Ost->SyncOpts = LlRound(syncIpts);
      }
      if (delta < -1.1) {
        nbFrames = 0;
      } else if (delta > 1.1) {
        nbFrames = std::lrint(static_cast<float>(delta));
        if (delta0 > 1.1) nbPrevious = std::llrint(static_cast<float>(delta0 - 0.6));
      }
      break;
    case vsVfr:
      if (delta <= -0.6)
        nbFrames = 0;
      else if (delta > 0.6)
        Ost->SyncOpts = LlRound(syncIpts);
      break;
    case vsDrop:
    case vsPassthrough:
      Ost->SyncOpts = LlRound(syncIpts);
      break;
    default:
      RaiseError("Never occur");
  }
  // A frame limit holds for repeated pictures too.
  if (Ost->MaxFrames != INT64_MAX) nbFrames = std::min(nbFrames, std::max<int64_t>(Ost->MaxFrames - Ost->FrameNumber, 0));
  nbPrevious = std::min(nbPrevious, nbFrames);
  if (!state.LastFrame || !state.LastFrame->buf[0]) nbPrevious = 0;

  if (nbFrames == 0) {
    ++FramesDropped;
    DupDropNoticed = true;
    Log(llVerbose, "*** drop!");
    return;
  }
  if (nbFrames > 1) {
    if (nbFrames > SafeTrunc<int64_t>(30.0 * DtsErrorThreshold)) {
      LogFmt(llError, "%d frame duplication too large, skipping", nbFrames - 1);
      ++FramesDropped;
      return;
    }
    FramesDuplicated += static_cast<int>(nbFrames - 1);
    DupDropNoticed = true;
    LogFmt(llVerbose, "*** %d dup!", nbFrames - 1);
  }

  for (int64_t i = 0; i < nbFrames && !IOBroken; ++i) {
    // The picture before is written first: a failure to write it stops the run before hooks
    // and preview see this one.
    CollectEncodedPicture();
    AVFrame* shown = i < nbPrevious ? state.LastFrame : Picture;
    shown->pts = Ost->SyncOpts;
    if (!CheckRecordingTime(Ost)) return;
    const int frameNumber = static_cast<int>(Ost->FrameNumber + 1);
    const int64_t ptsUs = ff::av_rescale_q(shown->pts, enc->time_base, AV_TIME_BASE_Q);
    bool converterReady = false;
    if (VideoOutputHookProc || FrameOutputHookProc) ApplyOutputHooks(Ost, shown, ptsUs, frameNumber, converterReady);
    if (PreviewFlags() != 0) PreviewFrame(shown, frameNumber, ptsUs, converterReady);
    EncodeVideoFrame(S, Ost, shown);
    ++Ost->SyncOpts;
    ++Ost->FrameNumber;
  }
  // Kept for the slots a later gap leaves to this picture.
  if (!state.LastFrame) state.LastFrame = ff::av_frame_alloc();
  if (state.LastFrame) {
    ff::av_frame_unref(state.LastFrame);
    if (ff::av_frame_ref(state.LastFrame, Picture) < 0) ff::av_frame_unref(state.LastFrame);
  }
}

void TCustomFFmpeg::DoSubtitleOut(AVFormatContext* S, TOutputStream* Ost, AVSubtitle* Sub, TInputStream*) {
  AVCodecContext* enc = Ost->EncCtx;
  if (Sub->pts == AV_NOPTS_VALUE) {
    Log(llError, "Subtitle packets must have a pts");
    if (ExitOnError) RaiseError("Subtitle packets must have a pts");
    return;
  }
  constexpr int SubtitleBufferSize = 1024 * 1024;
  if (!SubtitleBuffer) SubtitleBuffer = static_cast<uint8_t*>(ff::av_malloc(SubtitleBufferSize));
  if (!SubtitleBuffer) RaiseError("Subtitle encoding failed");
  const int passes = enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE ? 2 : 1;
  const int64_t start = OutputFiles[Ost->FileIndex]->StartTime == INT64_MAX ? 0 : OutputFiles[Ost->FileIndex]->StartTime;
  int64_t pts = Sub->pts - start;
  for (int i = 0; i < passes; ++i) {
    Ost->SyncOpts = ff::av_rescale_q(pts, AV_TIME_BASE_Q, enc->time_base);
    if (!CheckRecordingTime(Ost)) return;
    Sub->pts = pts;
    Sub->pts += ff::av_rescale_q(Sub->start_display_time, AVRational{1, 1000}, AV_TIME_BASE_Q);
    Sub->end_display_time -= Sub->start_display_time;
    Sub->start_display_time = 0;
    const unsigned savedRects = Sub->num_rects;
    if (i == 1) Sub->num_rects = 0;
    const int size = ff::avcodec_encode_subtitle(enc, SubtitleBuffer, SubtitleBufferSize, Sub);
    if (i == 1) Sub->num_rects = savedRects;
    if (size < 0) RaiseError("Subtitle encoding failed");
    AVPacket* pkt = ff::av_packet_alloc();
    if (!pkt || ff::av_new_packet(pkt, size) < 0) {
      ff::av_packet_free(&pkt);
      RaiseError("Subtitle encoding failed");
    }
    std::memcpy(pkt->data, SubtitleBuffer, static_cast<size_t>(size));
    pkt->pts = ff::av_rescale_q(Sub->pts, AV_TIME_BASE_Q, Ost->St->time_base);
    pkt->duration = ff::av_rescale_q(Sub->end_display_time, AVRational{1, 1000}, Ost->St->time_base);
    if (enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE)
      pkt->pts += static_cast<int64_t>(90) * (i == 0 ? Sub->start_display_time : Sub->end_display_time);
    pkt->dts = pkt->pts;
    SubtitleSize += size;
    WriteFrame(S, pkt, Ost);
    ff::av_packet_free(&pkt);
  }
}

void TCustomFFmpeg::FlushEncoders() {
  CollectEncodedPicture();
  for (int i = FirstActiveStream; i <= LastActiveStream; ++i) {
    TOutputStream* ost = OutputStreams[i];
    TOutputState& state = OState(ost);
    if (state.Flushed) continue;
    state.Flushed = true;
    // A joined input's stream borrows its encoder: it flushes it, though it never closes it.
    if (!ost->EncodingNeeded || !ost->EncoderOpened || (ost->CodecClosed && !IsJoinClone(ost))) continue;
    AVCodecContext* enc = ost->EncCtx;
    if (enc->codec_type != AVMEDIA_TYPE_AUDIO && enc->codec_type != AVMEDIA_TYPE_VIDEO) continue;
    const int ret = ff::avcodec_send_frame(enc, nullptr);
    if (ret < 0 && ret != AVERROR_EOF)
      RaiseErrorFmt("%s encoding failed", enc->codec_type == AVMEDIA_TYPE_VIDEO ? "Video" : "Audio");
    ReceivePackets(OutputFiles[ost->FileIndex]->Ctx, ost, true, ost->SyncOpts);
  }
}

void TCustomFFmpeg::DoVideoStats(TOutputStream* Ost, int FrameSize) {
  if (Ost->EncCtx->codec_type != AVMEDIA_TYPE_VIDEO) return;
  if (!VStatsFile) {
    VStatsFile = std::fopen(VstatsFilename.c_str(), "w");
    if (!VStatsFile) RaiseError("fopen fail: " + VstatsFilename);
  }
  const TOutputState& state = OState(Ost);
  AVCodecContext* enc = Ost->EncCtx;
  const int frameNumber = static_cast<int>(state.FramesEncoded);
  std::fprintf(VStatsFile, "frame= %5d q= %2.1f ", frameNumber, state.Quality / static_cast<double>(FF_QP2LAMBDA));
  if (state.Error[0] && (enc->flags & AV_CODEC_FLAG_PSNR))
    std::fprintf(VStatsFile, "PSNR= %6.2f ",
                 -10.0 * std::log10(state.Error[0] / (enc->width * enc->height * 255.0 * 255.0)));
  std::fprintf(VStatsFile, "f_size= %6d ", FrameSize);
  double ti = Ost->SyncOpts * av_q2d(enc->time_base);
  if (ti < 0.01) ti = 0.01;
  const double bitrate = (FrameSize * 8) / av_q2d(enc->time_base) / 1000.0;
  const double avgBitrate = static_cast<double>(VideoSize) * 8 / ti / 1000.0;
  std::fprintf(VStatsFile, "s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ",
               static_cast<double>(VideoSize) / 1024, ti, bitrate, avgBitrate);
  std::fprintf(VStatsFile, "type= %c\n", ff::av_get_picture_type_char(static_cast<AVPictureType>(state.PictType)));
}
