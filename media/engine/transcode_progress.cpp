// What the owner sees of a running task: hooks on decoded and on encoded pictures and audio,
// previews, and the progress reports with their status line and progress script.
#include <cmath>
#include <cstring>

#include "media/binding/engine_utils.h"
#include "media/binding/entry_points.h"
#include "media/engine/frame_hook.h"
#include "media/engine/transcode_task.h"
#include "platform/rtl/numerics.h"

namespace {

TTaskFrame TaskFrame(AVFrame* Picture, int FrameNumber, Int64 Pts) {
  TTaskFrame frame;
  frame.Picture = Picture;
  frame.PixFmt = Picture->format;
  frame.FrameNumber = FrameNumber;
  frame.Width = Picture->width;
  frame.Height = Picture->height;
  frame.PTS = Pts;
  return frame;
}

}  // namespace

TTaskAudio TaskAudio(const AVFrame* Frame, Int64 PTS) {
  const AVSampleFormat fmt = static_cast<AVSampleFormat>(Frame->format);
  TTaskAudio audio;
  audio.Sample = Frame->extended_data[0];
  audio.PTS = PTS;
  audio.Channels = Frame->ch_layout.nb_channels;
  audio.Size = ff::av_get_bytes_per_sample(fmt) * Frame->nb_samples;
  if (!ff::av_sample_fmt_is_planar(fmt)) audio.Size *= audio.Channels;
  audio.SampleRate = Frame->sample_rate;
  audio.SampleFormat = fmt;
  return audio;
}

void TCustomFFmpeg::RunVideoHook(TVideoHookProc& Hook, TFormatConverter* Converter, AVFrame* Picture, Int64 Pts,
                                 int FrameNumber, bool& ConverterReady) {
  bool stop = false;
  ConverterReady = Converter->PictureToBitmap(Picture, true);
  if (!ConverterReady) {
    Log(llError, Converter->LastError());
    stop = true;
  } else {
    TTaskBitmap frame;
    frame.Bitmap = Converter->Bitmap();
    frame.FrameNumber = FrameNumber;
    frame.PTS = Pts;
    bool update = true;
    try {
      Hook(this, frame);
      update = frame.Update;
      stop = frame.StopHook;
    } catch (const Exception& e) {
      Log(llError, "Error occurs VideoHook event: " + e.Message);
      update = false;
    }
    if (update) {
      Converter->CopyFromBitmap();
      if (Converter->BitmapInfo().Bits != Picture->data[0] &&
          !Converter->BitmapToPicture(Picture->data, Picture->linesize, static_cast<AVPixelFormat>(Picture->format),
                                      Picture->height, Picture->width)) {
        Log(llError, Converter->LastError());
        stop = true;
      }
    } else if (PreviewFlags() != 0) {
      ConverterReady = false;
    }
  }
  if (stop) Hook = nullptr;
}

void TCustomFFmpeg::PreProcessVideoFrame(TInputStream* Ist, AVFrame* Frame) {
  ++Ist->HookFrameCount;
  if (!FrameInputHookProc && !VideoInputHookProc && !VHookPresent) return;
  // Hooks write into the decoded picture itself; it must not be shared with the decoder.
  if (ff::av_frame_make_writable(Frame) < 0) {
    Log(llError, "memory malloc error in pre_process_video_frame().");
    return;
  }
  const int frameNumber = static_cast<int>(Ist->HookFrameCount);
  const Int64 pts = Ist->Pts;
  if (FrameInputHookProc) FrameInputHookProc(this, TaskFrame(Frame, frameNumber, pts));
  if (VideoInputHookProc) {
    bool ready = false;
    RunVideoHook(VideoInputHookProc, HookConverter, Frame, pts, frameNumber, ready);
  } else if (VHookPresent) {
    FrameHookProcess(VHookModules, Frame, Frame->format, Frame->width, Frame->height, pts);
  }
}

void TCustomFFmpeg::ApplyOutputHooks(TOutputStream*, AVFrame* Picture, Int64 Pts, int FrameNumber,
                                     bool& ConverterReady) {
  ConverterReady = false;
  if (ff::av_frame_make_writable(Picture) < 0) {
    Log(llError, "hook buf malloc error.");
    return;
  }
  if (VideoOutputHookProc) RunVideoHook(VideoOutputHookProc, PreviewConverter, Picture, Pts, FrameNumber, ConverterReady);
  if (FrameOutputHookProc) FrameOutputHookProc(this, TaskFrame(Picture, FrameNumber, Pts));
}

void TCustomFFmpeg::PreviewFrame(AVFrame* Picture, int FrameNumber, Int64 Pts, bool ConverterReady) {
  TCriticalSection& lock = TranscodePreviewLock();
  lock.Acquire();
  struct TRelease {
    TCriticalSection& L;
    ~TRelease() { L.Release(); }
  } release{lock};
  int flags = FPreviewFlags;
  int attempted = 0;
  if ((flags & PreviewBitmapFlag) && PreviewBitmapProc)
    attempted = PreviewBitmapFlag;
  else if (flags & PreviewWindowFlag)
    attempted = PreviewWindowFlag;
  if (!attempted) return;
  const Int64 now = ff::av_gettime();
  if (LastPreviewTime != 0 && now - LastPreviewTime <= PreviewInterval) return;
  bool ready = ConverterReady && !FPreviewFlagsChanged;
  if (!ready) ready = PreviewConverter->PictureToBitmap(Picture, true);
  bool failed = !ready;
  if (attempted == PreviewBitmapFlag) {
    if (ready) {
      TTaskBitmap frame;
      frame.Bitmap = PreviewConverter->Bitmap();
      frame.FrameNumber = FrameNumber;
      frame.PTS = Pts;
      PreviewBitmapProc(this, frame);
    } else
      Log(llError, PreviewConverter->LastError());
  } else {
    if (ready) {
      if (!Previewer && MakePreviewSink) Previewer = MakePreviewSink();
      // False: the user closed the window.
      failed = !Previewer || !Previewer->Update(PreviewConverter->Bitmap(), FrameNumber, Pts);
    } else {
      Log(llError, PreviewConverter->LastError());
    }
  }
  LastPreviewTime = now;
  if (failed) flags &= ~attempted;
  ApplyPreviewFlags(flags);
  FPreviewFlagsChanged = false;
}

void TCustomFFmpeg::ReportProgress(int FileIndex, bool IsLastReport, Int64 CurrentTime, Int64 StartTime) {
  if (!PrintStats && !IsLastReport && !ProgressAvio && !ProgressProc) return;
  if (!IsLastReport) {
    if (LastReportTime == -1) {
      LastReportTime = CurrentTime;
      return;
    }
    if (CurrentTime - LastReportTime < ProgressInterval) return;
    LastReportTime = CurrentTime;
  }
  // The counters and the output's size are the worker's while it holds a picture.
  CollectEncodedPicture();

  int64_t pts = INT64_MIN;
  int frameNumber = -1;
  double fps = -1.0;
  float quality = -1.0f;
  Int64 currentTime = 0;
  // An output without its own I/O context (a numbered image sequence) has no size to report.
  Int64 totalSize = -1;
  if (!OutputFiles.empty() && OutputFiles[0]->Ctx->pb) {
    AVIOContext* pb = OutputFiles[0]->Ctx->pb;
    totalSize = ff::avio_size(pb);
    if (totalSize <= 0) totalSize = AVIOTell(pb);
  }

  AnsiString line, script;
  bool firstVideo = true;
  const double elapsed = (CurrentTime - StartTime) / 1000000.0;
  for (int i = FirstActiveStream; i <= LastActiveStream && i < static_cast<int>(OutputStreams.size()); ++i) {
    TOutputStream* ost = OutputStreams[i];
    const TOutputState& state = OState(ost);
    AVCodecContext* enc = ost->EncCtx;
    quality = (ost->EncodingNeeded && state.FramesEncoded > 0) ? static_cast<float>(state.Quality) / FF_QP2LAMBDA
                                                                : -1.0f;
    const bool video = ost->St->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
    if (video) {
      if (!ost->EncodingNeeded || ost->FrameNumber < 1) continue;
      if (firstVideo) {
        firstVideo = false;
        frameNumber = static_cast<int>(ost->FrameNumber);
        fps = elapsed > 1 ? frameNumber / elapsed : 0;
        line += Format("frame=%5d fps=%3.*f q=%3.1f ", frameNumber, fps < 9.95 ? 1 : 0, fps, quality);
        script += Format("frame=%d\n", frameNumber);
        script += Format("fps=%.1f\n", fps);
        script += Format("stream_%d_%d_q=%.1f\n", ost->FileIndex, ost->Index, quality);
        if (IsLastReport) line += "L";
        if (QpHist) {
          const int q = static_cast<int>(std::lrint(quality));
          if (q >= 0 && q < 52) ++QPHistogram[q];
          for (int j = 0; j < 32; ++j)
            line += Format("%X", static_cast<int>(std::lrint(std::log2(QPHistogram[j] + 1))));
        }
        if ((enc->flags & AV_CODEC_FLAG_PSNR) && state.Error[0] && enc->width > 0) {
          const char types[3] = {'Y', 'U', 'V'};
          line += "PSNR=";
          double total = 0, scaleTotal = 0;
          for (int j = 0; j < 3; ++j) {
            double scale = static_cast<double>(enc->width) * enc->height * 255.0 * 255.0 * ost->FrameNumber;
            if (j) scale /= 4;
            const double p = -10.0 * std::log10(state.Error[j] / scale);
            total += state.Error[j];
            scaleTotal += scale;
            line += Format("%s:%2.2f ", AnsiString(1, types[j]), p);
            script += Format("stream_%d_%d_psnr_%s=%2.2f\n", ost->FileIndex, ost->Index,
                             AnsiString(1, static_cast<char>(types[j] + 32)), p);
          }
          const double all = -10.0 * std::log10(total / scaleTotal);
          line += Format("*:%2.2f ", all);
          script += Format("stream_%d_%d_psnr_all=%2.2f\n", ost->FileIndex, ost->Index, all);
        }
      } else {
        line += Format("q=%2.1f ", quality);
        script += Format("stream_%d_%d_q=%.1f\n", ost->FileIndex, ost->Index, quality);
      }
    }
    int64_t t = AV_NOPTS_VALUE;
    if (ost->EncodingNeeded && enc->time_base.num)
      t = ff::av_rescale_q(ost->SyncOpts, enc->time_base, AV_TIME_BASE_Q);
    else if (ost->LastMuxDts != AV_NOPTS_VALUE)
      t = ff::av_rescale_q(ost->LastMuxDts, ost->St->time_base, AV_TIME_BASE_Q);
    if (t != AV_NOPTS_VALUE) {
      currentTime = t;
      if ((!ost->Finished || IsLastReport) && t > pts) pts = t;
    }
  }
  if (pts == INT64_MIN) pts = 0;

  const double bitrate = (pts > 0 && totalSize >= 0) ? totalSize * 8 / (pts / 1000.0) : -1;
  const int64_t absPts = pts < 0 ? -pts : pts;
  const int secs = static_cast<int>(absPts / AV_TIME_BASE);
  const int us = static_cast<int>(absPts % AV_TIME_BASE);
  const int mins = secs / 60;
  const int hours = mins / 60;
  line += totalSize < 0 ? AnsiString("size=N/A time=") : Format("size=%8.0fkB time=", totalSize / 1024.0);
  line += Format("%s%.2d:%.2d:%.2d.%.3d ", AnsiString(pts < 0 ? "-" : ""), hours, mins % 60, secs % 60, us / 1000);
  line += bitrate < 0 ? AnsiString("bitrate=N/A") : Format("bitrate=%6.1fkbits/s", bitrate);
  script += totalSize < 0 ? AnsiString("total_size=N/A\n") : Format("total_size=%d\n", totalSize);
  script += Format("out_time_ms=%d\n", pts);
  script += Format("out_time=%s%.2d:%.2d:%.2d.%.6d\n", AnsiString(pts < 0 ? "-" : ""), hours, mins % 60, secs % 60, us);
  if (FramesDuplicated || FramesDropped) {
    line += Format(" dup=%d drop=%d", FramesDuplicated, FramesDropped);
    if (DupDropNoticed && ProgressProc) {
      DupDropNoticed = false;
      Log(llInfo, line);
    }
  }
  script += Format("dup_frames=%d\n", FramesDuplicated);
  script += Format("drop_frames=%d\n", FramesDropped);

  if (ProgressProc) {
    TTaskProgress report;
    report.FileIndex = IsLastReport ? -1 : FileIndex;
    report.FrameNumber = frameNumber;
    report.FPS = static_cast<int>(Round(fps));
    report.Quality = quality;
    report.BitRate = static_cast<float>(bitrate);
    report.TotalSize = totalSize < 0 ? 0 : totalSize;
    report.CurrentTime = currentTime;
    report.TotalDuration = TotalDuration;
    ProgressProc(this, report);
  }
  if ((PrintStats && !ProgressProc) || IsLastReport) Log(llInfo, line);

  if (ProgressAvio) {
    script += Format("progress=%s\n", AnsiString(IsLastReport ? "end" : "continue"));
    ff::avio_write(ProgressAvio, reinterpret_cast<const unsigned char*>(script.data()),
                   static_cast<int>(std::min<size_t>(script.size(), INT32_MAX)));
    ff::avio_flush(ProgressAvio);
    if (IsLastReport) ff::avio_closep(&ProgressAvio);
  }

  if (IsLastReport) {
    const double sum = static_cast<double>(VideoSize + AudioSize + SubtitleSize + ExtraSize);
    const double overhead = sum > 0 ? (static_cast<double>(totalSize) - sum) * 100.0 / sum : 0.0;
    AnsiString totals = Format("video:%1.0fkB audio:%1.0fkB subtitle:%1.0f global headers:%1.0fkB muxing overhead ",
                               VideoSize / 1024.0, AudioSize / 1024.0, SubtitleSize / 1024.0, ExtraSize / 1024.0);
    totals += totalSize < 0 ? AnsiString("unknown") : Format("%.2f%%", overhead);
    Log(llInfo, totals);
    if (sum == 0)
      Log(llWarning, "Output file is empty, nothing was encoded (check -ss / -t / -frames parameters if used)");
  }
}
