// Decoded subtitles: to the subtitle encoders, held back one step to fix their durations when
// asked, and drawn on a canvas for filter graphs that take a subtitle stream as video.
#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

#include "media/binding/entry_points.h"
#include "media/engine/transcode_task.h"

int TCustomFFmpeg::TranscodeSubtitles(TInputStream* Ist, const AVPacket* Pkt, bool& GotOutput) {
  AVSubtitle sub{};
  int got = 0;
  int ret = 0;
  AVPacket* copy = Pkt ? ff::av_packet_clone(Pkt) : ff::av_packet_alloc();
  if (!copy) return AVERROR(ENOMEM);
  ret = ff::avcodec_decode_subtitle2(Ist->DecCtx, &sub, &got, copy);
  ff::av_packet_free(&copy);
  if (ret < 0) got = 0;
  if (got && sub.pts == AV_NOPTS_VALUE && Pkt && Pkt->pts != AV_NOPTS_VALUE)
    sub.pts = ff::av_rescale_q(Pkt->pts, Ist->St->time_base, AV_TIME_BASE_Q);

  if (Ist->FixSubDuration) {
    auto& prev = Ist->PrevSub;
    if (got) {
      // Each subtitle goes out one step late, cut short where the next one starts.
      int64_t end = 1;
      if (prev.GotOutput) {
        end = ff::av_rescale(sub.pts - prev.Subtitle.pts, 1000, AV_TIME_BASE);
        if (end < prev.Subtitle.end_display_time) {
          ff::av_log(Ist->DecCtx, AV_LOG_VERBOSE, "Subtitle duration reduced from %d to %d\n",
                     static_cast<int>(prev.Subtitle.end_display_time), static_cast<int>(end));
          prev.Subtitle.end_display_time = static_cast<uint32_t>(std::max<int64_t>(end, 0));
        }
      }
      std::swap(sub, prev.Subtitle);
      std::swap(got, prev.GotOutput);
      std::swap(ret, prev.Ret);
      if (end <= 0) {
        // Two subtitles at one time: the earlier one has no time to show.
        ff::avsubtitle_free(&sub);
        got = 0;
      }
    } else if (!Pkt && prev.GotOutput) {
      // The input has ended: the subtitle held back keeps its own duration, rather than being
      // lost for want of a successor.
      std::swap(sub, prev.Subtitle);
      got = 1;
      prev.GotOutput = 0;
    }
  }

  GotOutput = got != 0;
  if (!got) {
    if (!Pkt) Sub2VideoFlush(Ist);
    return ret;
  }
  if (Ist->Sub2Video.Frame) Sub2VideoUpdate(Ist, INT64_MIN, &sub);
  RateEmuSleep(Ist);
  for (int i = FirstActiveStream; i <= LastActiveStream; ++i) {
    TOutputStream* ost = OutputStreams[i];
    if (!ost->EncodingNeeded || !CheckOutputConstraints(Ist, ost)) continue;
    if (ost->EncCtx->codec_type != AVMEDIA_TYPE_SUBTITLE) continue;
    DoSubtitleOut(OutputFiles[ost->FileIndex]->Ctx, ost, &sub, Ist);
  }
  ff::avsubtitle_free(&sub);
  if (!Pkt) Sub2VideoFlush(Ist);
  return ret;
}

void TCustomFFmpeg::Sub2VideoCopyRect(AVFrame* Canvas, const AVSubtitleRect* Rect) {
  if (Rect->type != SUBTITLE_BITMAP) {
    Log(llWarning, "sub2video: non-bitmap subtitle");
    return;
  }
  // The rectangle's place and size come from the file.
  if (Rect->x < 0 || Rect->y < 0 || Rect->w < 0 || Rect->h < 0 ||
      static_cast<int64_t>(Rect->x) + Rect->w > Canvas->width ||
      static_cast<int64_t>(Rect->y) + Rect->h > Canvas->height) {
    Log(llWarning, "sub2video: rectangle overflowing");
    return;
  }
  if (!Rect->data[0] || !Rect->data[1] || Rect->linesize[0] < Rect->w) return;
  const auto* palette = reinterpret_cast<const uint32_t*>(Rect->data[1]);
  const int colours = std::clamp(Rect->nb_colors, 0, 256);
  for (int y = 0; y < Rect->h; ++y) {
    const uint8_t* src = Rect->data[0] + static_cast<ptrdiff_t>(y) * Rect->linesize[0];
    auto* dst = reinterpret_cast<uint32_t*>(Canvas->data[0] + static_cast<ptrdiff_t>(Rect->y + y) * Canvas->linesize[0]) +
                Rect->x;
    // An index beyond the palette is drawn transparent.
    for (int x = 0; x < Rect->w; ++x) dst[x] = src[x] < colours ? palette[src[x]] : 0;
  }
}

void TCustomFFmpeg::Sub2VideoPushRef(TInputStream* Ist, int64_t Pts) {
  AVFrame* frame = Ist->Sub2Video.Frame;
  frame->pts = Pts;
  frame->sample_aspect_ratio = Ist->St->sample_aspect_ratio;
  Ist->Sub2Video.LastPts = Pts;
  for (TInputFilter* f : Ist->Filters) {
    if (!f->Filter) continue;
    const int ret = ff::av_buffersrc_add_frame_flags(f->Filter, frame, AV_BUFFERSRC_FLAG_KEEP_REF | AV_BUFFERSRC_FLAG_PUSH);
    if (ret < 0 && ret != AVERROR_EOF) LogFmt(llWarning, "Error while add the frame to buffer source(%s).", f->Name);
  }
}

void TCustomFFmpeg::Sub2VideoUpdate(TInputStream* Ist, int64_t HeartbeatPts, const AVSubtitle* Sub) {
  AVFrame* frame = Ist->Sub2Video.Frame;
  if (!frame) return;
  int64_t pts, endPts;
  if (Sub) {
    const AVRational tb = Ist->St->time_base;
    pts = ff::av_rescale_q(Sub->pts + static_cast<int64_t>(Sub->start_display_time) * 1000, AV_TIME_BASE_Q, tb);
    endPts = ff::av_rescale_q(Sub->pts + static_cast<int64_t>(Sub->end_display_time) * 1000, AV_TIME_BASE_Q, tb);
  } else {
    pts = HeartbeatPts;
    endPts = INT64_MAX;
  }
  // A fresh canvas each time: the previous one may still be queued in the filters.
  ff::av_frame_unref(frame);
  frame->width = Ist->Sub2Video.W;
  frame->height = Ist->Sub2Video.H;
  frame->format = AV_PIX_FMT_BGRA;
  if (ff::av_frame_get_buffer(frame, 0) < 0) {
    Log(llWarning, "Impossible to get a blank canvas.");
    return;
  }
  for (int y = 0; y < frame->height; ++y)
    std::memset(frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0], 0, static_cast<size_t>(frame->width) * 4);
  if (Sub)
    for (unsigned i = 0; i < Sub->num_rects; ++i) Sub2VideoCopyRect(frame, Sub->rects[i]);
  Sub2VideoPushRef(Ist, pts);
  Ist->Sub2Video.EndPts = endPts;
}

void TCustomFFmpeg::Sub2VideoHeartbeat(TInputStream* Ist, int64_t Pts) {
  if (Pts == AV_NOPTS_VALUE) return;
  const TInputFile* f = InputFiles[Ist->FileIndex];
  // Every subtitle canvas of the same input keeps pace with what is read, so a filter waiting
  // for it (an overlay) is not held up between two subtitles.
  for (int i = 0; i < f->NbStreams; ++i) {
    TInputStream* other = InputStreams[f->IstIndex + i];
    if (!other->Sub2Video.Frame) continue;
    const int64_t pts = ff::av_rescale_q(Pts, Ist->St->time_base, other->St->time_base) - 1;
    if (pts <= other->Sub2Video.LastPts) continue;
    if (pts >= other->Sub2Video.EndPts || !other->Sub2Video.Frame->data[0]) Sub2VideoUpdate(other, pts, nullptr);
    unsigned requests = 0;
    for (TInputFilter* filter : other->Filters)
      if (filter->Filter) requests += ff::av_buffersrc_get_nb_failed_requests(filter->Filter);
    if (requests) Sub2VideoPushRef(other, pts);
  }
}

void TCustomFFmpeg::Sub2VideoFlush(TInputStream* Ist) {
  if (!Ist->Sub2Video.Frame) return;
  // The last subtitle is taken off the picture at its end, then the stream ends.
  if (Ist->Sub2Video.EndPts < INT64_MAX) Sub2VideoUpdate(Ist, Ist->Sub2Video.EndPts, nullptr);
  SendEofToFilters(Ist);
}
