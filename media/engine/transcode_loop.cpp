// The body of a task: set-up, the read/decode/filter/encode/write loop, flushing, trailers, and
// the release of everything the task opened.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <cstring>

#include <sys/stat.h>

#include "media/binding/engine_utils.h"
#include "media/binding/entry_points.h"
#include "media/binding/error_text.h"
#include "media/binding/ffmpeg_exception.h"
#include "media/binding/file_names.h"
#include "media/binding/unicode_protocol.h"
#include "media/binding/wide_files.h"
#include "media/engine/transcode_task.h"
#include "platform/rtl/files.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/strings.h"

namespace {
const char* const HintSentence =
    "Please check error log message(reported by FFLogger) to find out more detail information.";
// How often the loop looks whether its outputs can still be reached: often enough that a
// removed folder ends the task within moments, rarely enough to cost nothing next to a packet.
constexpr int64_t OutputCheckIntervalUs = 250000;
}

void TCustomFFmpeg::UpdateActiveStreams() {
  if (Joined && JoinStreamCount > 0) {
    FirstActiveStream = JoinSegment * JoinStreamCount;
    LastActiveStream = FirstActiveStream + JoinStreamCount - 1;
    return;
  }
  FirstActiveStream = 0;
  LastActiveStream = static_cast<int>(OutputStreams.size()) - 1;
}

bool TCustomFFmpeg::IsJoinClone(const TOutputStream* Ost) const {
  return Joined && JoinStreamCount > 0 && Ost->FileIndex > 0;
}

void TCustomFFmpeg::SwitchJoinSegment(int F) {
  TInputFile* f = InputFiles[F];
  // What the ending input's decoders and filters still hold goes to the encoders.
  for (int i = 0; i < f->NbStreams; ++i) {
    TInputStream* ist = InputStreams[f->IstIndex + i];
    TInputState& st = FInputState[f->IstIndex + i];
    if (!ist->DecodingNeeded || st.Flushed) continue;
    st.Flushed = true;
    OutputPacket(ist, nullptr);
  }
  ReapFilters();
  for (int i = 0; i < f->NbStreams; ++i) {
    TInputStream* ist = InputStreams[f->IstIndex + i];
    TInputState& st = FInputState[f->IstIndex + i];
    if (!ist->DecodingNeeded || st.DecoderClosed) continue;
    st.DecoderClosed = true;
    ff::avcodec_close(ist->DecCtx);
    UnregisterOpenCodec(OpenDecoders, ist);
    ff::av_frame_free(&ist->DecodedFrame);
  }
  // The encoders run on across the join: this library generation cannot reopen a closed codec
  // context, and one uninterrupted encoder is what a single long input would have had.
  int64_t endUs = 0;
  for (int i = FirstActiveStream; i <= LastActiveStream; ++i) {
    TOutputStream* ost = OutputStreams[i];
    int64_t end = OState(ost).EndUs;
    if (ost->EncodingNeeded && ost->EncCtx && ost->EncCtx->time_base.num &&
        ost->EncCtx->codec_type != AVMEDIA_TYPE_SUBTITLE)
      end = std::max(end, ff::av_rescale_q(ost->SyncOpts, ost->EncCtx->time_base, AV_TIME_BASE_Q));
    endUs = std::max(endUs, end);
  }
  ++JoinSegment;
  UpdateActiveStreams();
  // Numbering and timestamps go on from where the previous input left them.
  for (int i = FirstActiveStream; i <= LastActiveStream; ++i) {
    TOutputStream* ost = OutputStreams[i];
    const TOutputStream* before = OutputStreams[i - JoinStreamCount];
    ost->FrameNumber = before->FrameNumber;
    ost->SyncOpts = before->SyncOpts;
    ost->FirstPts = before->FirstPts;
    ost->LastMuxDts = before->LastMuxDts;
    ost->JoinLastPts = before->JoinLastPts;
    ost->JoinLastDts = before->JoinLastDts;
    // The picture kept for repeats moves on with the stream rather than being shared by the two
    // records, which would free it twice.
    TOutputState& previous = OState(OutputStreams[i - JoinStreamCount]);
    TOutputState state = previous;
    previous.LastFrame = nullptr;
    state.Flushed = false;
    TOutputState& next = OState(ost);
    ff::av_frame_free(&next.LastFrame);
    next = state;
  }
  InputFiles[F + 1]->TsOffset += endUs;
}

void TCustomFFmpeg::Transcode() {
  LastErrorMessage.clear();
  FFinishing = false;
  FInputCutShort.clear();
  if (!FPacket) FPacket = ff::av_packet_alloc();
  if (!FPacket) throw FFmpegException("av_packet_alloc failed");
  try {
    const int ret = TranscodeInit();
    if (ret < 0) {
      if (LastErrorMessage.empty())
        LastErrorMessage = ErrorText("transcode_init() error", ret) + ". " + HintSentence;
      throw FFmpegException(LastErrorMessage);
    }
  } catch (...) {
    FinishTranscode();
    throw;
  }
  if (TotalDuration < 0) TotalDuration = MaxInputDuration;
  FInputReadEnd.assign(InputFiles.size(), INT64_MIN);

  const int64_t loopStart = ff::av_gettime();
  JoinSegment = 0;
  UpdateActiveStreams();
  // Failures of the loop stop it like a stop request does: what was written so far is flushed
  // and closed properly, and the failure is reported afterwards.
  AnsiString loopFailure;
  int64_t nextOutputCheck = loopStart + OutputCheckIntervalUs;
  try {
    while (!IOBroken) {
      const int64_t now = ff::av_gettime();
      if (now >= nextOutputCheck) {
        nextOutputCheck = now + OutputCheckIntervalUs;
        // A removed folder leaves the open file writable: nothing else would fail before the
        // input ends.
        const AnsiString gone = CheckOutputsExist();
        if (!gone.empty()) {
          Log(llError, gone);
          loopFailure = gone;
          break;
        }
      }
      if (!NeedOutput()) {
        Log(llVerbose, "No more output streams to write to, finishing.");
        break;
      }
      const int ret = TranscodeStep();
      if (ret >= 0) {
        ReportProgress(JoinSegment, false, now, loopStart);
      } else if (ret == AVERROR_EOF || ret == AVERROR(EAGAIN)) {
        if (ret == AVERROR_EOF) break;
      } else {
        const AnsiString text = ErrorText("Error while filtering", ret);
        Log(llError, text);
        loopFailure = text;
        break;
      }
    }
  } catch (const Exception& e) {
    loopFailure = e.Message;
  }

  FFinishing = true;
  try {
    // The picture the worker holds was handed over before the loop ended: it is written first.
    CollectEncodedPicture();
    for (size_t i = 0; i < InputStreams.size(); ++i) {
      TInputStream* ist = InputStreams[i];
      TInputState& st = FInputState[i];
      if (!InputFiles[ist->FileIndex]->EofReached && ist->DecodingNeeded && !st.Flushed) {
        st.Flushed = true;
        OutputPacket(ist, nullptr);
      }
    }
    ReapFilters();
    FlushEncoders();
  } catch (const Exception& e) {
    if (loopFailure.empty()) loopFailure = e.Message;
  }
  StopEncodeWorker();
  for (TOutputFile* of : OutputFiles) {
    // The joined inputs share the first output's muxer.
    if (Joined && of != OutputFiles.front()) break;
    WriteStartTime = ff::av_gettime();
    const int ret = ff::av_write_trailer(of->Ctx);
    WriteStartTime = INT64_MAX;
    if (ret < 0 && loopFailure.empty()) loopFailure = ErrorText("av_write_trailer()", ret);
    of->TrailerWritten = ret >= 0;
  }
  ReportProgress(-1, true, ff::av_gettime(), loopStart);
  // What was written stays; but a run whose input broke off, or whose file is gone, failed.
  if (loopFailure.empty() && !IOBroken) loopFailure = FInputCutShort;
  if (!IOBroken) {
    // A vanished output is the cause of any write failure it brought; it leads the message.
    const AnsiString missing = CheckOutputsExist();
    if (!missing.empty() && loopFailure.compare(0, missing.size(), missing) != 0)
      loopFailure = loopFailure.empty() ? missing : missing + " " + loopFailure;
  }

  for (TOutputStream* ost : OutputStreams) {
    if (!ost->EncodingNeeded || !ost->EncoderOpened || ost->CodecClosed) continue;
    ff::av_freep(&ost->EncCtx->stats_in);
    ff::avcodec_close(ost->EncCtx);
    ost->CodecClosed = 1;
    UnregisterOpenCodec(OpenEncoders, ost);
  }
  for (size_t i = 0; i < InputStreams.size(); ++i) {
    TInputStream* ist = InputStreams[i];
    if (!ist->DecodingNeeded || FInputState[i].DecoderClosed) continue;
    FInputState[i].DecoderClosed = true;
    ff::avcodec_close(ist->DecCtx);
    UnregisterOpenCodec(OpenDecoders, ist);
  }
  Finished = !IOBroken && loopFailure.empty();
  FinishTranscode();
  if (!loopFailure.empty()) {
    LastErrorMessage = loopFailure;
    throw FFmpegException(loopFailure);
  }
}

TOutputStream* TCustomFFmpeg::ChooseOutput() {
  const auto muxDts = [](const TOutputStream* Ost) {
    return Ost->LastMuxDts == AV_NOPTS_VALUE ? INT64_MIN
                                             : ff::av_rescale_q(Ost->LastMuxDts, Ost->St->time_base, AV_TIME_BASE_Q);
  };
  // A lone candidate is taken without reading its muxing position, which the encoder worker may
  // be moving on meanwhile.
  int64_t best = INT64_MAX;
  bool bestKnown = false;
  TOutputStream* chosen = nullptr;
  for (int i = FirstActiveStream; i <= LastActiveStream; ++i) {
    TOutputStream* ost = OutputStreams[i];
    if (ost->Unavailable || ost->Finished) continue;
    if (!chosen) {
      chosen = ost;
      continue;
    }
    if (!bestKnown) {
      best = muxDts(chosen);
      bestKnown = true;
    }
    const int64_t dts = muxDts(ost);
    if (dts < best) {
      best = dts;
      chosen = ost;
    }
  }
  return chosen;
}

bool TCustomFFmpeg::GotEagain() {
  for (int i = FirstActiveStream; i <= LastActiveStream; ++i)
    if (OutputStreams[i]->Unavailable) return true;
  return false;
}

void TCustomFFmpeg::ResetEagain() {
  for (TInputFile* f : InputFiles) f->Unavailable = 0;
  for (int i = FirstActiveStream; i <= LastActiveStream; ++i) OutputStreams[i]->Unavailable = 0;
}

bool TCustomFFmpeg::NeedOutput() {
  for (int i = FirstActiveStream; i <= LastActiveStream; ++i) {
    TOutputStream* ost = OutputStreams[i];
    TOutputFile* of = OutputFiles[ost->FileIndex];
    if (ost->Finished) continue;
    if (of->Ctx->pb && of->LimitFilesize != INT64_MAX && AVIOTell(of->Ctx->pb) >= of->LimitFilesize) continue;
    if (ost->FrameNumber >= ost->MaxFrames) {
      for (TOutputStream* other : OutputStreams)
        if (other->FileIndex == ost->FileIndex) CloseOutputStream(other);
      continue;
    }
    return true;
  }
  return false;
}

int TCustomFFmpeg::TranscodeStep() {
  TOutputStream* ost = ChooseOutput();
  if (!ost) {
    if (GotEagain()) {
      ResetEagain();
      ff::av_usleep(10000);
      return 0;
    }
    Log(llVerbose, "No more inputs to read from, finishing.");
    return AVERROR_EOF;
  }
  TInputStream* ist = nullptr;
  // Every graph is pulled from its sink, simple ones too: a filter that ends before its input
  // does (a trim) announces its end only when asked for more, and only then do the filters after
  // it give up what they hold back. Pushing frames in and taking out what is ready never asks.
  if (ost->Filter && ost->Filter->Graph && ost->Filter->Graph->Graph) {
    const int ret = TranscodeFromFilter(ost->Filter->Graph, ist);
    if (ret < 0) return ret;
    if (!ist) return 0;
  } else {
    EngineAssert(ost->SourceIndex >= 0 && ost->SourceIndex < static_cast<int>(InputStreams.size()),
                 "Output stream without a source");
    ist = InputStreams[ost->SourceIndex];
  }
  if (InputFiles[ist->FileIndex]->EofReached) {
    // Its input has nothing more: what the filters still hold is taken, and the stream ends.
    const int ret = ReapFilters();
    CloseOutputStream(ost);
    return ret;
  }
  const int ret = ProcessInput(ist->FileIndex);
  if (ret == AVERROR(EAGAIN)) {
    if (InputFiles[ist->FileIndex]->Unavailable) ost->Unavailable = 1;
    return 0;
  }
  if (ret == AVERROR_EOF) return 0;
  if (ret < 0) return ret;
  return ReapFilters();
}

int TCustomFFmpeg::TranscodeFromFilter(TFilterGraph* Graph, TInputStream*& BestIst) {
  BestIst = nullptr;
  int ret = ff::avfilter_graph_request_oldest(Graph->Graph);
  if (ret >= 0) return ReapFilters();
  if (ret == AVERROR_EOF) {
    ret = ReapFilters();
    for (TOutputFilter* of : Graph->Outputs)
      if (of->Ost) CloseOutputStream(of->Ost);
    return ret;
  }
  if (ret != AVERROR(EAGAIN)) return ret;
  unsigned most = 0;
  bool inputLeft = false;
  for (TInputFilter* in : Graph->Inputs) {
    TInputStream* ist = in->Ist;
    if (!ist) continue;
    TInputFile* f = InputFiles[ist->FileIndex];
    if (f->EofReached) continue;
    inputLeft = true;
    if (f->Unavailable) continue;
    const unsigned failed = ff::av_buffersrc_get_nb_failed_requests(in->Filter);
    if (failed > most) {
      most = failed;
      BestIst = ist;
    }
  }
  if (!BestIst && !inputLeft) {
    // Every input has ended and the graph still waits: nothing will ever come, so what it gave
    // is all there is, rather than a wait without end.
    ret = ReapFilters();
    for (TOutputFilter* of : Graph->Outputs)
      if (of->Ost) CloseOutputStream(of->Ost);
    return ret;
  }
  if (!BestIst)
    for (TOutputFilter* of : Graph->Outputs)
      if (of->Ost) of->Ost->Unavailable = 1;
  return 0;
}

int TCustomFFmpeg::ProcessInput(int FileIndex) {
  TInputFile* f = InputFiles[FileIndex];
  AVPacket* pkt = FPacket;
  ReadStartTime = ff::av_gettime();
  int ret = ff::av_read_frame(f->Ctx, pkt);
  ReadStartTime = INT64_MAX;
  if (ret == AVERROR(EAGAIN)) {
    f->Unavailable = 1;
    return ret;
  }
  if (ret < 0) {
    if (ret != AVERROR_EOF) {
      const AnsiString text = ReadFailureText(UTF8Encode(FFmpegFileNameToWide(f->Ctx->url)), ret);
      if (ExitOnError) RaiseError(text);
      Log(llError, text);
      // A broken input ends the run as a failure once what was read is written out.
      if (!IOBroken) throw FFmpegException(text);
    } else if (!IOBroken && FInputCutShort.empty()) {
      FInputCutShort = CheckInputComplete(FileIndex);
      if (!FInputCutShort.empty()) Log(llError, FInputCutShort);
    }
    f->EofReached = 1;
    if (Joined && FileIndex + 1 < static_cast<int>(InputFiles.size())) {
      SwitchJoinSegment(FileIndex);
      return 0;
    }
    for (int i = 0; i < f->NbStreams; ++i) {
      TInputStream* ist = InputStreams[f->IstIndex + i];
      if (ist->DecodingNeeded) {
        FInputState[f->IstIndex + i].Flushed = true;
        OutputPacket(ist, nullptr);
      }
    }
    for (TOutputStream* ost : OutputStreams) {
      TInputStream* src = GetInputStream(ost);
      if (src && src->FileIndex == FileIndex &&
          (ost->StreamCopy || ost->EncCtx->codec_type == AVMEDIA_TYPE_SUBTITLE))
        CloseOutputStream(ost);
    }
    ReapFilters();
    return AVERROR(EAGAIN);
  }

  struct TUnref {
    AVPacket* P;
    ~TUnref() { ff::av_packet_unref(P); }
  } unref{pkt};

  ResetEagain();
  if (DoPktDump) ff::av_pkt_dump_log2(nullptr, AV_LOG_DEBUG, pkt, DoHexDump, f->Ctx->streams[pkt->stream_index]);
  if (pkt->stream_index >= f->NbStreams) {
    if (pkt->stream_index >= f->NbStreamsWarn) {
      const AVStream* st = f->Ctx->streams[pkt->stream_index];
      const char* type = ff::av_get_media_type_string(st->codecpar->codec_type);
      char dts[64];
      std::snprintf(dts, sizeof(dts), "%g",
                    pkt->dts == AV_NOPTS_VALUE ? NAN : pkt->dts * av_q2d(st->time_base));
      ff::av_log(f->Ctx, AV_LOG_WARNING, "New %s stream %d:%d at pos:%lld and DTS:%ss\n", type ? type : "unknown",
                 FileIndex, pkt->stream_index, static_cast<long long>(pkt->pos), dts);
      f->NbStreamsWarn = pkt->stream_index + 1;
    }
    return 0;
  }
  TInputStream* ist = InputStreams[f->IstIndex + pkt->stream_index];
  if (ist->Discard) return 0;
  NoteReadEnd(FileIndex, ist, pkt);

  const AVRational tb = ist->St->time_base;
  if (!ist->WrapCorrectionDone && f->Ctx->start_time != AV_NOPTS_VALUE && ist->St->pts_wrap_bits < 64) {
    const int64_t stime = ff::av_rescale_q(f->Ctx->start_time, AV_TIME_BASE_Q, tb);
    const int64_t stime2 = stime + (1ULL << ist->St->pts_wrap_bits);
    ist->WrapCorrectionDone = 1;
    if (stime2 > stime && pkt->dts != AV_NOPTS_VALUE && pkt->dts > stime + (1LL << (ist->St->pts_wrap_bits - 1))) {
      pkt->dts -= 1ULL << ist->St->pts_wrap_bits;
      ist->WrapCorrectionDone = 0;
    }
    if (stime2 > stime && pkt->pts != AV_NOPTS_VALUE && pkt->pts > stime + (1LL << (ist->St->pts_wrap_bits - 1))) {
      pkt->pts -= 1ULL << ist->St->pts_wrap_bits;
      ist->WrapCorrectionDone = 0;
    }
  }
  const int64_t offset = ff::av_rescale_q(f->TsOffset, AV_TIME_BASE_Q, tb);
  if (pkt->dts != AV_NOPTS_VALUE) pkt->dts += offset;
  if (pkt->pts != AV_NOPTS_VALUE) pkt->pts += offset;
  if (pkt->pts != AV_NOPTS_VALUE) pkt->pts = SafeTrunc<int64_t>(pkt->pts * ist->TsScale);
  if (pkt->dts != AV_NOPTS_VALUE) pkt->dts = SafeTrunc<int64_t>(pkt->dts * ist->TsScale);

  if (pkt->dts != AV_NOPTS_VALUE && ist->NextDts != AV_NOPTS_VALUE && !CopyTs) {
    const int64_t pktDts = ff::av_rescale_q(pkt->dts, tb, AV_TIME_BASE_Q);
    const int64_t delta = pktDts - ist->NextDts;
    if (f->Ctx->iformat->flags & AVFMT_TS_DISCONT) {
      if (std::llabs(delta) > SafeTrunc<int64_t>(double(DtsDeltaThreshold) * AV_TIME_BASE) ||
          pktDts + AV_TIME_BASE / 10 < ist->Dts) {
        f->TsOffset -= delta;
        LogFmt(llDebug, "timestamp discontinuity %d, new offset= %d", delta, f->TsOffset);
        pkt->dts -= ff::av_rescale_q(delta, AV_TIME_BASE_Q, tb);
        if (pkt->pts != AV_NOPTS_VALUE) pkt->pts -= ff::av_rescale_q(delta, AV_TIME_BASE_Q, tb);
      }
    } else {
      const int64_t limit = std::max<int64_t>(SafeTrunc<int64_t>(double(DtsErrorThreshold) * AV_TIME_BASE), -INT64_MAX);
      if (delta > limit || delta < -limit) {
        LogFmt(llWarning, "DTS %d, next:%d st:%d invalid dropping", pkt->dts, ist->NextDts, pkt->stream_index);
        pkt->dts = AV_NOPTS_VALUE;
      }
      if (pkt->pts != AV_NOPTS_VALUE) {
        const int64_t pktPts = ff::av_rescale_q(pkt->pts, tb, AV_TIME_BASE_Q);
        const int64_t pdelta = pktPts - ist->NextDts;
        if (pdelta > limit || pdelta < -limit) {
          LogFmt(llWarning, "PTS %d, next:%d invalid dropping st:%d", pkt->pts, ist->NextDts, pkt->stream_index);
          pkt->pts = AV_NOPTS_VALUE;
        }
      }
    }
  }

  Sub2VideoHeartbeat(ist, pkt->pts);
  ret = OutputPacket(ist, pkt);
  if (ret < 0) {
    const AnsiString text =
        Format("Error while decoding stream #%d:%d: %s", ist->FileIndex, ist->St->index, ErrorText(ret));
    if (ExitOnError) RaiseError(text);
    Log(llError, text);
  }
  return 0;
}

namespace {

AnsiString PositionText(int64_t Us) {
  const int64_t ms = std::max<int64_t>(Us, 0) / 1000;
  return Format("%.2d:%.2d:%.2d.%.3d", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
}

// Audio and video make the length of an input; cover pictures and subtitles do not.
bool CountsForLength(const TInputStream* Ist) {
  const AVStream* st = Ist->St;
  const AVMediaType type = st->codecpar->codec_type;
  return !Ist->Discard && (type == AVMEDIA_TYPE_AUDIO || type == AVMEDIA_TYPE_VIDEO) &&
         !(st->disposition & AV_DISPOSITION_ATTACHED_PIC);
}

}  // namespace

void TCustomFFmpeg::NoteReadEnd(int FileIndex, TInputStream* Ist, const AVPacket* Pkt) {
  if (static_cast<size_t>(FileIndex) >= FInputReadEnd.size() || !CountsForLength(Ist)) return;
  const int64_t ts = Pkt->pts != AV_NOPTS_VALUE ? Pkt->pts : Pkt->dts;
  if (ts == AV_NOPTS_VALUE) return;
  const int64_t end = ff::av_rescale_q(ts, Ist->St->time_base, AV_TIME_BASE_Q) +
                      ff::av_rescale_q(std::max<int64_t>(Pkt->duration, 0), Ist->St->time_base, AV_TIME_BASE_Q) +
                      InputFiles[FileIndex]->TsOffset;
  FInputReadEnd[FileIndex] = std::max(FInputReadEnd[FileIndex], end);
}

AnsiString TCustomFFmpeg::CheckInputComplete(int FileIndex) {
  const TInputFile* f = InputFiles[FileIndex];
  const AVFormatContext* ic = f->Ctx;
  // Only a length the container states is trusted; one guessed from the bit rate is not.
  if (ic->duration == AV_NOPTS_VALUE || ic->duration <= 0 ||
      ic->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE)
    return AnsiString();
  const int64_t fileStart = ic->start_time == AV_NOPTS_VALUE ? 0 : ic->start_time;
  int64_t streamsEnd = INT64_MIN;
  bool allKnown = true, anyUsed = false;
  for (int i = 0; i < f->NbStreams; ++i) {
    const TInputStream* ist = InputStreams[f->IstIndex + i];
    if (!CountsForLength(ist)) continue;
    anyUsed = true;
    const AVStream* st = ist->St;
    if (st->duration == AV_NOPTS_VALUE || st->duration <= 0) {
      allKnown = false;
      continue;
    }
    const int64_t start =
        st->start_time == AV_NOPTS_VALUE ? fileStart : ff::av_rescale_q(st->start_time, st->time_base, AV_TIME_BASE_Q);
    streamsEnd = std::max(streamsEnd, start + ff::av_rescale_q(st->duration, st->time_base, AV_TIME_BASE_Q));
  }
  if (!anyUsed) return AnsiString();
  const int64_t inputEnd = (allKnown ? streamsEnd : fileStart + ic->duration) + f->TsOffset;
  // The outputs may want less than the whole input (-t): the input only has to reach that.
  int64_t wanted = INT64_MIN;
  for (const TOutputFile* of : OutputFiles) {
    if (of->RecordingTime == INT64_MAX) {
      wanted = INT64_MAX;
      break;
    }
    const int64_t start = of->StartTime == INT64_MAX ? 0 : of->StartTime;
    wanted = std::max(wanted, start + of->RecordingTime);
  }
  const int64_t expected = std::min(inputEnd, wanted);
  const int64_t origin = fileStart + f->TsOffset;  // where the input's own time 0 lies
  const int64_t readEnd = FInputReadEnd[FileIndex] == INT64_MIN ? origin : FInputReadEnd[FileIndex];
  // Streams rarely end on the very microsecond their header gives: a second and a hundredth of
  // the length are allowed.
  const int64_t slack = AV_TIME_BASE + std::max<int64_t>(expected - origin, 0) / 100;
  if (readEnd >= expected - slack) return AnsiString();
  return Format("Input file \"%s\" ended at %s of the expected %s: it is cut short or still being written.",
                UTF8Encode(FFmpegFileNameToWide(ic->url)), PositionText(readEnd - origin),
                PositionText(expected - origin));
}

AnsiString TCustomFFmpeg::CheckOutputsExist() {
  for (const TOutputFile* of : OutputFiles) {
    const AVFormatContext* oc = of->Ctx;
    bool folderOutput = false;
    const AnsiString location = OutputLocation(oc, folderOutput);
    if (location.empty()) continue;
    bool gone;
    if (of->Watch) {
      gone = of->Watch->Gone();
    } else {
      // Not a file or folder when it was opened (a FIFO, say): at least its name must remain.
      struct stat st {};
      gone = ::stat(location.c_str(), &st) != 0 || (folderOutput && !S_ISDIR(st.st_mode));
    }
    if (!gone) continue;
    const AnsiString shown = UTF8Encode(FFmpegFileNameToWide(oc->url));
    // Numbered pictures: each is a file of its own, made in the output's folder.
    if (folderOutput)
      return Format("Output folder \"%s\" of \"%s\" no longer exists: it was removed while the files were written.",
                    UTF8Encode(FFmpegFileNameToWide(location)), shown);
    return Format("Output file \"%s\" no longer exists: it or its folder was removed while it was written.", shown);
  }
  return AnsiString();
}

void TCustomFFmpeg::FinishTranscode() {
  StopEncodeWorker();
  CloseOpenDecoders();
  CloseOpenEncoders();
  for (TOutputStream* ost : OutputStreams) {
    if (ost->Logfile) {
      std::fclose(ost->Logfile);
      ost->Logfile = nullptr;
    }
    if (ost->EncCtx) ff::av_freep(&ost->EncCtx->subtitle_header);
    ost->ForcedKfPts.clear();
  }
}

bool TCustomFFmpeg::OutputFileGotPackets(int FileIndex) {
  for (TOutputStream* ost : OutputStreams)
    if (ost->FileIndex == FileIndex && OState(ost).PacketsWritten > 0) return true;
  return false;
}

void TCustomFFmpeg::NoteRemovedFile(const AnsiString& Name) {
  ExceptionMessage += "\nThe unfinished file \"" + Name + "\" was removed.";
  Log(llInfo, "Removed the unfinished file " + Name);
}

void TCustomFFmpeg::Cleanup() {
  StopEncodeWorker();
  FreeFilterGraphs();
  ff::av_freep(&SubtitleBuffer);
  for (TOutputStream* ost : OutputStreams) {
    if (!ost->EncoderOpened && ost->Enc && ost->Enc->priv_class && ost->EncCtx && ost->EncCtx->priv_data)
      ff::av_opt_free(ost->EncCtx->priv_data);
    if (!ost->CodecClosed && ost->EncCtx) {
      ff::avcodec_close(ost->EncCtx);
      ost->CodecClosed = 1;
    }
  }
  for (size_t fileIndex = 0; fileIndex < OutputFiles.size(); ++fileIndex) {
    TOutputFile* of = OutputFiles[fileIndex];
    AVFormatContext* oc = of->Ctx;
    if (oc) {
      const bool hasFile = !(oc->oformat->flags & AVFMT_NOFILE);
      if (hasFile && oc->pb) {
        ff::avio_flush(oc->pb);
        const bool writeFailed = oc->pb->error < 0;
        const bool closeFailed = ff::avio_closep(&oc->pb) < 0;
        // Only a regular file goes (an output may be a device or a pipe): one that stayed empty,
        // or one of a stopped task that holds nothing but its headers, which no player can use.
        const WideString name = FFmpegFileNameToWide(oc->url);
        std::error_code error;
        const bool useless = WideGetFileSize(name) == 0 || (IOBroken && !OutputFileGotPackets(int(fileIndex)));
        // A failed task's file without its trailer, or cut short by the disk, cannot be played.
        const bool unfinished = ExceptionRaised && (!of->TrailerWritten || writeFailed || closeFailed);
        if ((useless || unfinished) && std::filesystem::is_regular_file(UTF8Encode(name), error)) {
          DeleteFile(UTF8Encode(name));
          if (unfinished && !useless) NoteRemovedFile(UTF8Encode(name));
        }
      } else if (!hasFile && ExceptionRaised && !of->WritingName.empty()) {
        const AnsiString name = UTF8Encode(FFmpegFileNameToWide(of->WritingName));
        std::error_code error;
        if (std::filesystem::is_regular_file(name, error) && DeleteFile(name)) NoteRemovedFile(name);
      }
      ff::avformat_free_context(oc);
    }
    ff::av_dict_free(&of->Opts);
    delete of;
    if (Joined && fileIndex == 0) {
      // The further records of a joined output share its muxer, which is gone now.
      for (size_t k = 1; k < OutputFiles.size(); ++k) delete OutputFiles[k];
      break;
    }
  }
  OutputFiles.clear();
  FreeOutputStreams();
  for (TInputFile* f : InputFiles) {
    CloseInputFile(&f->Ctx);
    delete f;
  }
  InputFiles.clear();
  for (TInputStream* ist : InputStreams) {
    ff::av_frame_free(&ist->DecodedFrame);
    ff::av_frame_free(&ist->FilterFrame);
    ff::av_dict_free(&ist->Opts);
    ff::avsubtitle_free(&ist->PrevSub.Subtitle);
    ff::av_frame_free(&ist->Sub2Video.Frame);
    ff::avcodec_free_context(&ist->DecCtx);
    delete ist;
  }
  InputStreams.clear();
  if (VStatsFile) {
    std::fclose(VStatsFile);
    VStatsFile = nullptr;
  }
  if (ProgressAvio) ff::avio_closep(&ProgressAvio);
  FInputState.clear();
  for (TOutputState& state : FOutputState) ff::av_frame_free(&state.LastFrame);
  FOutputState.clear();
}
