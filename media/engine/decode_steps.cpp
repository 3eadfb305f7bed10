// What happens to a packet read from an input: decoding (several frames per packet, drained at
// the end), the hand-over of frames to the filter graphs, stream copy, and taking filtered
// frames out of the graphs for the encoders.
#include <cmath>
#include <cstring>

#include "media/binding/entry_points.h"
#include "media/binding/error_text.h"
#include "media/binding/ffmpeg_exception.h"
#include "media/engine/transcode_task.h"

void TCustomFFmpeg::RateEmuSleep(TInputStream* Ist) {
  if (!InputFiles[Ist->FileIndex]->RateEmu) return;
  const int64_t pts = ff::av_rescale(Ist->Dts, 1000000, AV_TIME_BASE);
  const int64_t now = ff::av_gettime() - Ist->Start;
  if (pts > now) ff::av_usleep(static_cast<unsigned>(std::min<int64_t>(pts - now, 1000000)));
}

bool TCustomFFmpeg::CheckOutputConstraints(TInputStream* Ist, TOutputStream* Ost) {
  if (Ost->SourceIndex < 0 || InputStreams[Ost->SourceIndex] != Ist) return false;
  const TOutputFile* of = OutputFiles[Ost->FileIndex];
  if (of->StartTime != INT64_MAX && of->StartTime > 0 && Ist->Pts < of->StartTime) return false;
  return true;
}

void TCustomFFmpeg::SendEofToFilters(TInputStream* Ist) {
  TInputState& st = IState(Ist);
  if (st.EofSentToFilters) return;
  st.EofSentToFilters = true;
  for (TInputFilter* f : Ist->Filters)
    if (f->Filter && ff::av_buffersrc_add_frame_flags(f->Filter, nullptr, AV_BUFFERSRC_FLAG_PUSH) < 0)
      Log(llWarning, "Could not close a filter input");
}

void TCustomFFmpeg::ReconfigureGraphsOf(TInputStream* Ist) {
  for (TFilterGraph* fg : FilterGraphs) {
    if (!IsInputStreamInFilterGraph(fg, Ist)) continue;
    if (ConfigureFilterGraph(fg) < 0) RaiseError("Error reinitializing filters!");
  }
}

void TCustomFFmpeg::PushFrameToFilters(TInputStream* Ist, AVFrame* Frame) {
  const size_t count = Ist->Filters.size();
  for (size_t i = 0; i < count; ++i) {
    AVFilterContext* src = Ist->Filters[i]->Filter;
    if (!src) continue;
    // The last consumer may take the frame itself; the others get references.
    const int flags = AV_BUFFERSRC_FLAG_PUSH | (i + 1 < count ? AV_BUFFERSRC_FLAG_KEEP_REF : 0);
    if (ff::av_buffersrc_add_frame_flags(src, Frame, flags) < 0) RaiseError("Failed to inject frame into filter network");
  }
}

int TCustomFFmpeg::OutputPacket(TInputStream* Ist, const AVPacket* Pkt) {
  TInputState& state = IState(Ist);
  const AVRational tb = Ist->St->time_base;
  const AVMediaType type = Ist->St->codecpar->codec_type;
  if (!Ist->SawFirstTs) {
    const AVRational avg = Ist->St->avg_frame_rate;
    Ist->Dts = (avg.num && Ist->DecCtx) ? -static_cast<int64_t>(Ist->DecCtx->has_b_frames) * AV_TIME_BASE / av_q2d(avg) : 0;
    Ist->Pts = 0;
    if (Pkt && Pkt->pts != AV_NOPTS_VALUE && !Ist->DecodingNeeded) {
      Ist->Dts += ff::av_rescale_q(Pkt->pts, tb, AV_TIME_BASE_Q);
      Ist->Pts = Ist->Dts;
    }
    Ist->SawFirstTs = 1;
  }
  if (Ist->NextDts == AV_NOPTS_VALUE) Ist->NextDts = Ist->Dts;
  if (Ist->NextPts == AV_NOPTS_VALUE) Ist->NextPts = Ist->Pts;
  if (Pkt && Pkt->dts != AV_NOPTS_VALUE) {
    Ist->NextDts = Ist->Dts = ff::av_rescale_q(Pkt->dts, tb, AV_TIME_BASE_Q);
    if (type != AVMEDIA_TYPE_VIDEO || !Ist->DecodingNeeded) Ist->NextPts = Ist->Pts = Ist->Dts;
  }

  if (Ist->DecodingNeeded) {
    if (type == AVMEDIA_TYPE_SUBTITLE) {
      // Without a packet: the end of the input, which gives up a subtitle held back.
      bool got = false;
      const int ret = TranscodeSubtitles(Ist, Pkt, got);
      if (ret < 0) return ret;
    } else if (type == AVMEDIA_TYPE_AUDIO || type == AVMEDIA_TYPE_VIDEO) {
      if (!Ist->DecodedFrame) Ist->DecodedFrame = ff::av_frame_alloc();
      if (!Ist->DecodedFrame) return AVERROR(ENOMEM);
      Ist->Pts = Ist->NextPts;
      Ist->Dts = Ist->NextDts;
      int ret = ff::avcodec_send_packet(Ist->DecCtx, Pkt);
      if (ret < 0 && ret != AVERROR_EOF && ret != AVERROR(EAGAIN)) {
        if (!Pkt) SendEofToFilters(Ist);
        return ret;
      }
      int frames = 0;
      for (;;) {
        ret = ff::avcodec_receive_frame(Ist->DecCtx, Ist->DecodedFrame);
        if (ret == AVERROR(EAGAIN)) break;
        if (ret == AVERROR_EOF) {
          SendEofToFilters(Ist);
          break;
        }
        if (ret < 0) return ret;
        if (++frames > 1 && type == AVMEDIA_TYPE_AUDIO) {
          const TLogLevel level = Ist->ShowedMultiPacketWarning ? llVerbose : llWarning;
          LogFmt(level, "Multiple frames in a packet from stream %d", Ist->St->index);
          Ist->ShowedMultiPacketWarning = 1;
        }
        ++state.FramesDecoded;
        {
          // Released on every way out: a failure further down must not keep the decoder's
          // picture (and with it the decoder's whole buffer pool) alive.
          struct TUnrefFrame {
            AVFrame* F;
            ~TUnrefFrame() { ff::av_frame_unref(F); }
          } unrefFrame{Ist->DecodedFrame};
          ret = type == AVMEDIA_TYPE_AUDIO ? DecodeAudio(Ist, Ist->DecodedFrame, Pkt)
                                           : DecodeVideo(Ist, Ist->DecodedFrame, Pkt);
        }
        if (ret < 0) return ret;
      }
      if (type == AVMEDIA_TYPE_VIDEO && Pkt) {
        if (Pkt->duration) {
          Ist->NextDts += ff::av_rescale_q(Pkt->duration, tb, AV_TIME_BASE_Q);
        } else if (Ist->DecCtx->framerate.num) {
          Ist->NextDts += ff::av_rescale_q(1, av_inv_q(Ist->DecCtx->framerate), AV_TIME_BASE_Q);
        }
      }
      if (!Pkt) SendEofToFilters(Ist);
    }
  } else {
    RateEmuSleep(Ist);
    Ist->Dts = Ist->NextDts;
    const AVCodecParameters* par = Ist->St->codecpar;
    if (type == AVMEDIA_TYPE_AUDIO && par->sample_rate > 0) {
      int samples = Pkt ? ff::av_get_audio_frame_duration2(Ist->St->codecpar, Pkt->size) : 0;
      if (samples <= 0) samples = par->frame_size;
      if (Pkt && Pkt->duration)
        Ist->NextDts += ff::av_rescale_q(Pkt->duration, tb, AV_TIME_BASE_Q);
      else
        Ist->NextDts += static_cast<int64_t>(AV_TIME_BASE) * samples / par->sample_rate;
    } else if (type == AVMEDIA_TYPE_VIDEO && Pkt) {
      if (Pkt->duration)
        Ist->NextDts += ff::av_rescale_q(Pkt->duration, tb, AV_TIME_BASE_Q);
      else if (Ist->St->avg_frame_rate.num)
        Ist->NextDts += ff::av_rescale_q(1, av_inv_q(Ist->St->avg_frame_rate), AV_TIME_BASE_Q);
    }
    Ist->Pts = Ist->Dts;
    Ist->NextPts = Ist->NextDts;
  }

  if (!Pkt) return 0;
  for (int i = FirstActiveStream; i <= LastActiveStream; ++i) {
    TOutputStream* ost = OutputStreams[i];
    if (ost->EncodingNeeded || !CheckOutputConstraints(Ist, ost)) continue;
    DoStreamCopy(Ist, ost, Pkt);
  }
  return 0;
}

int TCustomFFmpeg::DecodeAudio(TInputStream* Ist, AVFrame* Frame, const AVPacket* Pkt) {
  AVCodecContext* dec = Ist->DecCtx;
  if (Frame->sample_rate <= 0) {
    ff::av_log(dec, AV_LOG_ERROR, "Sample rate %d invalid\n", Frame->sample_rate);
    return AVERROR_INVALIDDATA;
  }
  if (Frame->nb_samples <= 0) RaiseErrorFmt("the decoder \"%s\" return bad result.", Ist->Dec ? Ist->Dec->name : "?");

  AVRational frameTb;
  int64_t pts;
  if (Frame->pts != AV_NOPTS_VALUE) {
    pts = Frame->pts;
    frameTb = Ist->St->time_base;
  } else if (Pkt && Pkt->pts != AV_NOPTS_VALUE) {
    pts = Pkt->pts;
    frameTb = Ist->St->time_base;
  } else {
    pts = Ist->Dts;
    frameTb = AV_TIME_BASE_Q;
  }
  const int64_t startUs = ff::av_rescale_q(pts, frameTb, AV_TIME_BASE_Q);
  const int64_t lengthUs = static_cast<int64_t>(Frame->nb_samples) * AV_TIME_BASE / Frame->sample_rate;
  Ist->NextPts = startUs + lengthUs;
  Ist->NextDts = Ist->NextPts;
  Ist->Pts = startUs;

  // Decoding restarts at the key point before the requested start: what lies before the start
  // (time 0 of the output) is cut off, to the sample.
  if (!CopyTs && startUs < 0) {
    if (startUs + lengthUs <= 0) return 0;
    const int skip = static_cast<int>(ff::av_rescale(-startUs, Frame->sample_rate, AV_TIME_BASE));
    if (skip > 0 && skip < Frame->nb_samples) {
      if (ff::av_frame_make_writable(Frame) < 0) return AVERROR(ENOMEM);
      const int channels = Frame->ch_layout.nb_channels;
      const int bps = ff::av_get_bytes_per_sample(static_cast<AVSampleFormat>(Frame->format));
      const bool planar = ff::av_sample_fmt_is_planar(static_cast<AVSampleFormat>(Frame->format));
      const int planes = planar ? channels : 1;
      const size_t shift = static_cast<size_t>(skip) * bps * (planar ? 1 : channels);
      for (int p = 0; p < planes; ++p) {
        Frame->extended_data[p] += shift;
        if (p < AV_NUM_DATA_POINTERS && Frame->extended_data != Frame->data) Frame->data[p] = Frame->extended_data[p];
      }
      Frame->nb_samples -= skip;
      pts = ff::av_rescale_q(0, AV_TIME_BASE_Q, frameTb);
      Ist->FilterInRescaleDeltaLast = AV_NOPTS_VALUE;
    }
  }

  if (AudioInputHookProc) {
    if (ff::av_frame_make_writable(Frame) < 0) return AVERROR(ENOMEM);
    AudioInputHookProc(this, TaskAudio(Frame, Ist->Pts));
  }
  RateEmuSleep(Ist);

  // The input filter was built with the stream's layout; frames that do not name one carry it.
  if (Frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC && dec->ch_layout.order == AV_CHANNEL_ORDER_NATIVE &&
      dec->ch_layout.nb_channels == Frame->ch_layout.nb_channels)
    ff::av_channel_layout_copy(&Frame->ch_layout, &dec->ch_layout);

  const uint64_t layout = Frame->ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? Frame->ch_layout.u.mask : 0;
  if (Ist->ResampleSampleFmt != Frame->format || Ist->ResampleSampleRate != Frame->sample_rate ||
      Ist->ResampleChannels != Frame->ch_layout.nb_channels || (layout && Ist->ResampleChannelLayout != layout)) {
    if (!layout && !GuessInputChannelLayout(Ist))
      RaiseErrorFmt("Unable to find default channel layout for Input Stream #%d.%d", Ist->FileIndex, Ist->St->index);
    char from[128] = "", to[128] = "";
    AVChannelLayout old{};
    ff::av_channel_layout_from_mask(&old, Ist->ResampleChannelLayout);
    ff::av_channel_layout_describe(&old, from, sizeof(from));
    ff::av_channel_layout_describe(&Frame->ch_layout, to, sizeof(to));
    const char* oldFmt = ff::av_get_sample_fmt_name(static_cast<AVSampleFormat>(Ist->ResampleSampleFmt));
    const char* newFmt = ff::av_get_sample_fmt_name(static_cast<AVSampleFormat>(Frame->format));
    LogFmt(llInfo,
           "Input stream #%d:%d frame changed from rate:%d fmt:%s ch:%d chl:%s to rate:%d fmt:%s ch:%d chl:%s",
           Ist->FileIndex, Ist->St->index, Ist->ResampleSampleRate, oldFmt ? oldFmt : "?", Ist->ResampleChannels,
           from, Frame->sample_rate, newFmt ? newFmt : "?", Frame->ch_layout.nb_channels, to);
    Ist->ResampleSampleFmt = Frame->format;
    Ist->ResampleSampleRate = Frame->sample_rate;
    Ist->ResampleChannels = Frame->ch_layout.nb_channels;
    Ist->ResampleChannelLayout = layout;
    // The input filter takes its parameters from the stream's.
    AVCodecParameters* par = Ist->St->codecpar;
    par->format = Frame->format;
    par->sample_rate = Frame->sample_rate;
    ff::av_channel_layout_copy(&par->ch_layout, &Frame->ch_layout);
    ReconfigureGraphsOf(Ist);
  }

  const AVRational sampleTb{1, Frame->sample_rate};
  Frame->pts = ff::av_rescale_delta(frameTb, pts, sampleTb, Frame->nb_samples, &Ist->FilterInRescaleDeltaLast, sampleTb);
  PushFrameToFilters(Ist, Frame);
  return 0;
}

int TCustomFFmpeg::DecodeVideo(TInputStream* Ist, AVFrame* Frame, const AVPacket*) {
  const int64_t best = Frame->best_effort_timestamp;
  if (best != AV_NOPTS_VALUE) {
    Frame->pts = best;
    Ist->NextPts = Ist->Pts = ff::av_rescale_q(best, Ist->St->time_base, AV_TIME_BASE_Q);
  }
  // Frames before the requested start only served to reach it.
  if (!CopyTs && best != AV_NOPTS_VALUE && Ist->Pts < 0) return 0;

  PreProcessVideoFrame(Ist, Frame);
  RateEmuSleep(Ist);
  if (!Frame->sample_aspect_ratio.num) Frame->sample_aspect_ratio = Ist->St->sample_aspect_ratio;

  if (Ist->ResampleWidth != Frame->width || Ist->ResampleHeight != Frame->height ||
      Ist->ResamplePixFmt != Frame->format) {
    const char* oldFmt = ff::av_get_pix_fmt_name(static_cast<AVPixelFormat>(Ist->ResamplePixFmt));
    const char* newFmt = ff::av_get_pix_fmt_name(static_cast<AVPixelFormat>(Frame->format));
    LogFmt(llInfo, "Input stream #%d:%d frame changed from size:%dx%d fmt:%s to size:%dx%d fmt:%s", Ist->FileIndex,
           Ist->St->index, Ist->ResampleWidth, Ist->ResampleHeight, oldFmt ? oldFmt : "?", Frame->width,
           Frame->height, newFmt ? newFmt : "?");
    Ist->ResampleWidth = Frame->width;
    Ist->ResampleHeight = Frame->height;
    Ist->ResamplePixFmt = Frame->format;
    bool reinit = Ist->ReinitFilters != 0;
    for (TInputFilter* f : Ist->Filters)
      if (f->Graph && f->Graph->Graph == nullptr) reinit = true;
    if (reinit) ReconfigureGraphsOf(Ist);
  }
  PushFrameToFilters(Ist, Frame);
  return 0;
}

void TCustomFFmpeg::DoStreamCopy(TInputStream* Ist, TOutputStream* Ost, const AVPacket* Pkt) {
  const TOutputFile* of = OutputFiles[Ost->FileIndex];
  const int64_t startTime = (of->StartTime == INT64_MAX) ? 0 : of->StartTime;
  const int64_t ostTbStart = ff::av_rescale_q(startTime, AV_TIME_BASE_Q, Ost->St->time_base);
  TOutputState& state = OState(Ost);

  if (!state.FirstPacketKept && !(Pkt->flags & AV_PKT_FLAG_KEY) && !Ost->CopyInitialNonKeyframes) return;
  if (!state.FirstPacketKept && Ost->CopyPriorStart != 1 && Ist->Pts < startTime) return;
  if (of->RecordingTime != INT64_MAX && Ist->Pts >= of->RecordingTime + startTime) {
    CloseOutputStream(Ost);
    return;
  }
  state.FirstPacketKept = true;

  AVPacket* opkt = ff::av_packet_clone(Pkt);
  if (!opkt) RaiseError("av_packet_clone failed");
  if (Pkt->pts != AV_NOPTS_VALUE)
    opkt->pts = ff::av_rescale_q(Pkt->pts, Ist->St->time_base, Ost->St->time_base) - ostTbStart;
  if (Pkt->dts == AV_NOPTS_VALUE)
    opkt->dts = ff::av_rescale_q(Ist->Dts, AV_TIME_BASE_Q, Ost->St->time_base);
  else
    opkt->dts = ff::av_rescale_q(Pkt->dts, Ist->St->time_base, Ost->St->time_base);
  opkt->dts -= ostTbStart;
  if (Ist->St->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && Pkt->dts != AV_NOPTS_VALUE) {
    int duration = ff::av_get_audio_frame_duration2(Ist->St->codecpar, Pkt->size);
    if (!duration) duration = Ist->St->codecpar->frame_size;
    if (Ist->St->codecpar->sample_rate > 0) {
      int64_t last = Ist->FilterInRescaleDeltaLast;
      opkt->dts = ff::av_rescale_delta(Ist->St->time_base, Pkt->dts, AVRational{1, Ist->St->codecpar->sample_rate},
                                       duration, &last, Ost->St->time_base) -
                  ostTbStart;
      Ist->FilterInRescaleDeltaLast = last;
      opkt->pts = opkt->dts;
    }
  }
  opkt->duration = ff::av_rescale_q(Pkt->duration, Ist->St->time_base, Ost->St->time_base);

  switch (Ist->St->codecpar->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
      AudioSize += Pkt->size;
      break;
    case AVMEDIA_TYPE_VIDEO:
      VideoSize += Pkt->size;
      break;
    case AVMEDIA_TYPE_SUBTITLE:
      SubtitleSize += Pkt->size;
      break;
    default:
      break;
  }
  WriteFrame(OutputFiles[Ost->FileIndex]->Ctx, opkt, Ost);
  ff::av_packet_free(&opkt);
}

int TCustomFFmpeg::ReapFilters() {
  for (int i = FirstActiveStream; i <= LastActiveStream; ++i) {
    TOutputStream* ost = OutputStreams[i];
    if (!ost->Filter || !ost->Filter->Filter || !ost->EncoderOpened) continue;
    TOutputFile* of = OutputFiles[ost->FileIndex];
    AVFilterContext* sink = ost->Filter->Filter;
    AVCodecContext* enc = ost->EncCtx;
    if (!ost->FilteredFrame) ost->FilteredFrame = ff::av_frame_alloc();
    if (!ost->FilteredFrame) return AVERROR(ENOMEM);
    AVFrame* frame = ost->FilteredFrame;
    for (;;) {
      const int ret = ff::av_buffersink_get_frame_flags(sink, frame, AV_BUFFERSINK_FLAG_NO_REQUEST);
      if (ret < 0) {
        if (ret == AVERROR_EOF)
          CloseOutputStream(ost);
        else if (ret != AVERROR(EAGAIN))
          Log(llWarning, ErrorText("Error in av_buffersink_get_frame_flags()", ret));
        break;
      }
      if (ost->Finished) {
        ff::av_frame_unref(frame);
        continue;
      }
      const int64_t start = (of->StartTime == INT64_MAX) ? 0 : of->StartTime;
      double floatPts = AV_NOPTS_VALUE;
      if (frame->pts != AV_NOPTS_VALUE) {
        const AVRational filterTb = ff::av_buffersink_get_time_base(sink);
        // Extra fractional precision for the frame-rate decisions of the video step.
        AVRational fine = enc->time_base;
        int extra = 29 - static_cast<int>(std::log2(std::max(fine.den, 1)));
        extra = std::clamp(extra, 0, 16);
        fine.den <<= extra;
        floatPts = static_cast<double>(ff::av_rescale_q(frame->pts, filterTb, fine) -
                                       ff::av_rescale_q(start, AV_TIME_BASE_Q, fine));
        floatPts /= static_cast<double>(1 << extra);
        // Off the exact middle between two slots, so rounding cannot go either way (a picture
        // exactly at the start counts as just before it).
        floatPts += (floatPts > 0 ? 1.0 : -1.0) / (1 << 17);
        frame->pts = ff::av_rescale_q(frame->pts, filterTb, enc->time_base) -
                     ff::av_rescale_q(start, AV_TIME_BASE_Q, enc->time_base);
        if (frame->pts < 0 && start > 0) {
          ff::av_frame_unref(frame);
          continue;
        }
      }
      switch (ff::av_buffersink_get_type(sink)) {
        case AVMEDIA_TYPE_VIDEO:
          if (ost->FrameAspectRatio <= 0 && frame->sample_aspect_ratio.num)
            ost->St->sample_aspect_ratio = frame->sample_aspect_ratio;
          try {
            DoVideoOut(of->Ctx, ost, frame, floatPts);
          } catch (...) {
            ff::av_frame_unref(frame);  // the filters' picture goes back to their pool
            throw;
          }
          break;
        case AVMEDIA_TYPE_AUDIO:
          if (!(ost->Enc->capabilities & AV_CODEC_CAP_PARAM_CHANGE) &&
              enc->ch_layout.nb_channels != frame->ch_layout.nb_channels) {
            Log(llError,
                "Audio filter graph output is not normalized and encoder does not support parameter changes");
            ff::av_frame_unref(frame);
            goto next_stream;
          }
          try {
            DoAudioOut(of->Ctx, ost, frame);
          } catch (...) {
            ff::av_frame_unref(frame);
            throw;
          }
          break;
        default:
          RaiseError("Never occur");
      }
      ff::av_frame_unref(frame);
    }
  next_stream:;
  }
  return 0;
}
