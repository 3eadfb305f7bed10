#include "media/components/decoder.h"

#include <cstring>
#include <limits>

#include "media/binding/engine_utils.h"
#include "media/binding/entry_points.h"
#include "media/binding/format_converter.h"
#include "media/binding/loader.h"
#include "media/binding/option_parser.h"
#include "media/binding/logger.h"
#include "media/binding/media_text.h"
#include "media/components/decoder_media_info.h"
#include "platform/gui/bitmap.h"
#include "platform/gui/canvas.h"
#include "platform/gui/colors.h"
#include "platform/gui/graphics_objects.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/sysprobe.h"
#include "platform/rtl/sysutils.h"

namespace {

constexpr AVRational MicrosecondBase{1, 1000000};
constexpr const char* SeekLabel = "Seek()";
constexpr const char* DecodeLabel = "Decode() for video";

}  // namespace

TFFDecoder::TFFDecoder(TComponent* AOwner) : TCustomDecoder(AOwner), Converter(new TFormatConverter) {}

TFFDecoder::~TFFDecoder() {
  TFFDecoder::CloseFile();
  if (ff::av_free) ff::av_free(PictureBuffer);
  PictureBuffer = nullptr;
  delete Converter;
  if (ff::av_packet_free) ff::av_packet_free(&FPacket);
  if (ff::av_frame_free) ff::av_frame_free(&FFrame);
  if (ff::av_frame_free) ff::av_frame_free(&FShownFrame);
}

void TFFDecoder::UpdateStreamInfo() { TCustomDecoder::UpdateStreamInfo(); }

void TFFDecoder::ApplyOpenOptions() {
  int64_t flags = -1;
  if (Options->SwsOpts && ff::av_opt_get_int(Options->SwsOpts, "sws_flags", 0, &flags) >= 0 && flags >= 0 &&
      flags <= std::numeric_limits<int>::max()) {
    Converter->SwsFlags = static_cast<int>(flags);
  }
}

void TFFDecoder::FreeAudioResampler() {
  if (FAudioResampler && ff::swr_free) ff::swr_free(&FAudioResampler);
  FAudioResampler = nullptr;
}

void TFFDecoder::CloseVideoCodec() {
  if (VideoCodecContext && ff::avcodec_free_context) ff::avcodec_free_context(&VideoCodecContext);
  VideoCodecContext = nullptr;
  FVideoCodecStream = -1;
  FDrainedEarly = false;
}

void TFFDecoder::CloseFile() {
  SeekStreamIndex = -1;
  VideoStreamIndex = -1;
  FrameRate = AVRational{0, 0};
  EndOfStream = false;
  Draining = false;
  ResetVideoState();
  PreviousPTS = AV_NOPTS_VALUE;
  ResetAudioState();
  FreeAudioResampler();
  CloseVideoCodec();
  TCustomDecoder::CloseFile();
}

void TFFDecoder::ResetVideoState() {
  if (LastPicture.PTS != AV_NOPTS_VALUE) PreviousPTS = LastPicture.PTS;
  LastPicture = TDecodedPicture{};
  FLastPacket = TPacketFacts{};
}

void TFFDecoder::ResetAudioState() { AudioState = TAudioDecodeState{AudioOutputFormat}; }

bool TFFDecoder::IsImage2Input() const {
  if (!FormatContext || !FormatContext->iformat || !FormatContext->iformat->name) return false;
  // A still image opened without a forced format comes through the probing image demuxers,
  // named after their codec ("png_pipe", "jpeg_pipe", ...) or, for two of them, "..._pix": they
  // read the same way as "image2" and can no more seek than it can.
  const AnsiString name = FormatContext->iformat->name;
  auto endsWith = [&name](const char* Suffix) {
    const size_t n = std::strlen(Suffix);
    return name.size() > n && name.compare(name.size() - n, n, Suffix) == 0;
  };
  return SameText(name, "image2") || endsWith("_pipe") || name == "alias_pix" || name == "brender_pix";
}

bool TFFDecoder::CheckSeekable() {
  if (!FormatContext) {
    ReportMessage(AV_LOG_WARNING, "file not loaded.");
    return false;
  }
  if (!OwnsFormatContext) {
    const AnsiString text = "file cannot be seeked, handle is readonly.";
    ReportMessage(AV_LOG_WARNING, text);
    throw Exception(text);
  }
  return true;
}

bool TFFDecoder::CanSeek() {
  if (!CheckSeekable()) return false;
  if (IsImage2Input()) {
    ReportMessage(AV_LOG_INFO, "\"image2\" format cannot to be seeked.");
    return false;
  }
  return true;
}

bool TFFDecoder::Seek(Int64 Position, TSeekFlags Flags) {
  if (!CanSeek()) return false;
  AVIOContext* pb = FormatContext->pb;
  if (pb) FFLogger()->LogFmt(this, llDebug, "%s.%s: current position %d bytes", ClassName(), SeekLabel, AVIOTell(pb));

  const bool byBytes = Flags.Contains(sfByte);
  Int64 target = Position;
  // Half a frame before the first picture, so that a demuxer rounding to the nearest frame still
  // lands on it. Not for byte positions, which cannot be negative.
  if (!byBytes && Position == 0 && FrameRate.den != 0 && SeekStreamIndex >= 0 && IsVideoStream(SeekStreamIndex)) {
    target = -(FrameDurationUs(FrameRate) / 2);
  }
  if (!byBytes) {
    Int64 start;
    if (SeekStreamIndex >= 0) {
      const AVStream* stream = FormatContext->streams[SeekStreamIndex];
      target = ff::av_rescale_q(target, MicrosecondBase, UsableTimeBase(stream->time_base));
      start = stream->start_time;
    } else {
      start = FormatContext->start_time;
    }
    if (start != AV_NOPTS_VALUE) target += start;
  }

  if (VideoCodecContext) ff::avcodec_flush_buffers(VideoCodecContext);
  FDrainedEarly = false;
  EndOfStream = false;
  Draining = false;
  ResetVideoState();
  ResetAudioState();

  const int flags = SeekFlagsToInt(Flags);
  auto attempt = [&](int f) {
    if (FormatContext->iformat && FormatContext->iformat->read_seek2) {
      return ff::avformat_seek_file(FormatContext, SeekStreamIndex, std::numeric_limits<int64_t>::min(), target,
                                    std::numeric_limits<int64_t>::max(), f);
    }
    return ff::av_seek_frame(FormatContext, SeekStreamIndex, target, f);
  };
  int result = attempt(flags);
  if (result < 0) result = attempt(flags ^ AVSEEK_FLAG_BACKWARD);
  if (result < 0) {
    if (byBytes) {
      ReportMessageFmt(AV_LOG_ERROR, "%s.%s: could not seek to position %d bytes", ClassName(), SeekLabel, Position);
    } else {
      ReportMessageFmt(AV_LOG_ERROR, "%s.%s: could not seek to position %0.3f seconds", ClassName(), SeekLabel,
                       static_cast<double>(Position) / 1000000);
    }
    return false;
  }
  if (FormatContext->pb) {
    FFLogger()->LogFmt(this, llDebug, "%s.%s: seek to position %d bytes", ClassName(), SeekLabel,
                       AVIOTell(FormatContext->pb));
  }
  return true;
}

Integer TFFDecoder::SelectVideoStream(Integer StreamIndex) {
  if (!CheckSeekable()) return -1;
  Integer index = StreamIndex;
  if (index < 0) {
    index = VideoStreamIndex >= 0 ? VideoStreamIndex : FirstVideoStreamIndex;
    if (index < 0) {
      ReportMessage(AV_LOG_ERROR, "no video stream.");
      return -1;
    }
  }
  if (index >= StreamCount) {
    ReportMessageFmt(AV_LOG_ERROR, "stream index #%d is invalid.", index);
    return -1;
  }
  const AVStream* stream = FormatContext->streams[index];
  if (stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) {
    ReportMessageFmt(AV_LOG_ERROR, "stream #%d is not video stream.", index);
    return -1;
  }
  if (index != VideoStreamIndex) {
    ResetVideoState();
    const AVRational average = stream->avg_frame_rate;
    const AVRational real = stream->r_frame_rate;
    if (average.num != 0 && average.den != 0) {
      FrameRate = average;
    } else {
      const AVRational codecBase = ff::av_stream_get_codec_timebase(stream);
      // The decoding context is not open yet; one made from the stream's parameters counts one
      // tick per frame.
      const int ticksPerFrame = 1;
      if (codecBase.num == real.den && static_cast<Int64>(codecBase.den) == static_cast<Int64>(ticksPerFrame) * real.num &&
          codecBase.num != 0) {
        FrameRate = AVRational{codecBase.den, codecBase.num};
      } else {
        FFLogger()->LogFmt(this, llInfo,
                           "Seems stream %d codec frame rate differs from container frame rate: %2.2f (%d/%d) -> "
                           "%2.2f (%d/%d)",
                           index, codecBase.num ? static_cast<double>(codecBase.den) / codecBase.num : 0.0,
                           codecBase.den, codecBase.num, real.den ? RationalToDouble(real) : 0.0, real.num, real.den);
        FrameRate = real;
      }
    }
  }
  VideoStreamIndex = index;
  SeekStreamIndex = index;
  return index;
}

AVCodecContext* TFFDecoder::OpenVideoCodec(Integer StreamIndex) {
  const AVStream* stream = FormatContext->streams[StreamIndex];
  const AVCodecParameters* par = stream->codecpar;
  if (par->width == 0 || par->height == 0) {
    ReportMessage(AV_LOG_ERROR, "frame size of codec is invalid.");
    return nullptr;
  }
  if (VideoCodecContext && FVideoCodecStream == StreamIndex) return VideoCodecContext;
  CloseVideoCodec();
  const AVCodec* codec = ff::avcodec_find_decoder(par->codec_id);
  if (!codec) {
    ReportMessageFmt(AV_LOG_ERROR, "Unsupported codec (id=%d) for input file stream #%d", static_cast<Integer>(par->codec_id),
                     StreamIndex);
    return nullptr;
  }
  AVCodecContext* context = ff::avcodec_alloc_context3(codec);
  if (!context || ff::avcodec_parameters_to_context(context, par) < 0) {
    if (context) ff::avcodec_free_context(&context);
    ReportMessageFmt(AV_LOG_ERROR, "Error while opening codec for input file stream #%d", StreamIndex);
    return nullptr;
  }
  context->pkt_timebase = stream->time_base;
  // A preview between keyframes decodes a whole interval on the way to its picture: frame
  // threads make that road several times shorter, and slice threads help the keyframe itself.
  // But each frame thread is a decoder of its own, with its own pictures to allocate: one per
  // core that other work leaves free, not one per core as FFmpeg's automatic count would have
  // (on a busy machine the extra threads cost more than they gain).
  context->thread_count = IdleProcessorCount();
  context->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  if (ff::avcodec_open2(context, codec, nullptr) < 0) {
    ff::avcodec_free_context(&context);
    ReportMessageFmt(AV_LOG_ERROR, "Error while opening codec for input file stream #%d", StreamIndex);
    return nullptr;
  }
  VideoCodecContext = context;
  FVideoCodecStream = StreamIndex;
  return context;
}

void TFFDecoder::SendPacket(const AVPacket* Packet) {
  int result = ff::avcodec_send_packet(VideoCodecContext, Packet);
  if (result == AVERROR_EOF && Packet) {
    // Drained after a read that failed for a while only: take input again.
    ff::avcodec_flush_buffers(VideoCodecContext);
    result = ff::avcodec_send_packet(VideoCodecContext, Packet);
  }
  (void)result;  // a packet the codec rejects is skipped, as a corrupt one is
}

int TFFDecoder::ReceivePicture() {
  const int result = ff::avcodec_receive_frame(VideoCodecContext, FFrame);
  if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return 0;
  if (result < 0) return result;
  const bool stored = StorePicture(FFrame);
  ff::av_frame_unref(FFrame);
  return stored ? 1 : AVERROR(ENOMEM);
}

bool TFFDecoder::Decode(Integer StreamIndex) {
  const Integer index = SelectVideoStream(StreamIndex);
  if (index < 0) return false;
  // An image input holds one picture.
  if (LastPicture.Ready && IsImage2Input()) return true;
  if (FDrainedEarly) {
    // What the emptied codec still hands out skips the pictures it was never given.
    const bool hadPicture = LastPicture.Ready;
    if (!ResumeAfterEarlyDrain(index)) return false;
    if (!hadPicture) return true;
  }
  return DecodeNext(index);
}

bool TFFDecoder::DecodeNext(Integer StreamIndex) {
  const Integer index = StreamIndex;
  if (EndOfStream && Draining) {
    ReportMessageFmt(AV_LOG_INFO, "%s.%s: stream eof reached.", ClassName(), DecodeLabel);
    return false;
  }
  if (!OpenVideoCodec(index)) return false;
  if (!FPacket) FPacket = ff::av_packet_alloc();
  if (!FFrame) FFrame = ff::av_frame_alloc();
  if (!FPacket || !FFrame) {
    ReportMessageFmt(AV_LOG_ERROR, "%s.%s: %s", ClassName(), DecodeLabel, AnsiString("out of memory"));
    return false;
  }

  for (;;) {
    // A packet may have left more than one picture in the codec.
    if (ReceivePicture() > 0) return true;
    if (FDrainedEarly) {
      // Emptied without handing out the picture DecodeTo is after (its packet was damaged):
      // decode the ordinary way from the key frame.
      const bool hadPicture = LastPicture.Ready;
      if (!ResumeAfterEarlyDrain(index)) return false;
      if (!hadPicture) return true;
      continue;
    }

    RestartIOClock();
    const int read = ff::av_read_frame(FormatContext, FPacket);
    if (read == AVERROR(EAGAIN)) {
      ReportMessageFmt(AV_LOG_INFO, "%s.%s: no data, please try again.", ClassName(), DecodeLabel);
      return false;
    }
    if (read < 0) {
      if (Draining) {
        const bool atEnd =
            read == AVERROR(EPIPE) || read == AVERROR_EOF || (FormatContext->pb && ff::avio_feof(FormatContext->pb));
        if (!atEnd) {
          ReportMessageFmt(AV_LOG_INFO, "%s.%s: unknown error #%d.", ClassName(), DecodeLabel, read);
          return false;
        }
        ReportMessageFmt(AV_LOG_INFO, "%s.%s: stream eof reached.", ClassName(), DecodeLabel);
        EndOfStream = true;
        return false;
      }
      // The end of the input: the codec hands out the pictures it still holds.
      Draining = true;
      FLastPacket = TPacketFacts{};
      FLastPacket.StreamIndex = index;
      SendPacket(nullptr);
      continue;
    }
    if (FPacket->stream_index != index) {
      ff::av_packet_unref(FPacket);
      continue;
    }
    if (FEarlyDrainAllowed && TargetAlreadySent(StreamTimeToUs(index, FPacket->dts))) {
      ff::av_packet_unref(FPacket);
      FDrainedEarly = true;
      FDrainTargetUs = FSkipBeforeUs;
      FLastPacket = TPacketFacts{};
      FLastPacket.StreamIndex = index;
      SendPacket(nullptr);
      continue;
    }
    FLastPacket = TPacketFacts{FPacket->dts, FPacket->pts, FPacket->stream_index, FPacket->pos};
    FLastPacketFlags = FPacket->flags;
    VideoCodecContext->skip_frame = PacketShownBeforeTarget(FPacket) ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
    if (FEarlyDrainAllowed) {
      const Int64 shownUs = StreamTimeToUs(index, FPacket->pts);
      if (shownUs != AV_NOPTS_VALUE && shownUs >= FSkipBeforeUs && (FBestSentUs == AV_NOPTS_VALUE || shownUs < FBestSentUs))
        FBestSentUs = shownUs;
    }
    SendPacket(FPacket);
    ff::av_packet_unref(FPacket);
  }
}

Int64 TFFDecoder::StreamTimeToUs(Integer StreamIndex, Int64 Time) const {
  if (Time == AV_NOPTS_VALUE) return AV_NOPTS_VALUE;
  const AVStream* stream = FormatContext->streams[StreamIndex];
  const Int64 start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
  return ff::av_rescale_q(Time - start, UsableTimeBase(stream->time_base), MicrosecondBase);
}

bool TFFDecoder::TargetAlreadySent(Int64 PacketDtsUs) const {
  // A packet is never shown before it is decoded and decoding times only rise, so no packet
  // from this one on can be shown between the target and the best picture sent.
  return FBestSentUs != AV_NOPTS_VALUE && PacketDtsUs != AV_NOPTS_VALUE && PacketDtsUs >= FBestSentUs;
}

bool TFFDecoder::ResumeAfterEarlyDrain(Integer StreamIndex) {
  const Int64 resumeUs = LastPicture.Ready && LastPicture.PresentationUs != AV_NOPTS_VALUE ? LastPicture.PresentationUs
                                                                                           : FDrainTargetUs;
  const Int64 skipBefore = FSkipBeforeUs;
  if (!Seek(resumeUs, {sfBackward})) return false;
  FEarlyDrainAllowed = false;
  FSkipBeforeUs = resumeUs;
  bool decoded = DecodeNext(StreamIndex);
  while (decoded && LastPicture.PresentationUs != AV_NOPTS_VALUE && LastPicture.PresentationUs < resumeUs)
    decoded = DecodeNext(StreamIndex);
  FSkipBeforeUs = skipBefore;
  return decoded;
}

bool TFFDecoder::PacketShownBeforeTarget(const AVPacket* Packet) const {
  if (FSkipBeforeUs == AV_NOPTS_VALUE || Packet->pts == AV_NOPTS_VALUE) return false;
  // The same reckoning as the picture's PresentationUs, so a packet passed over here is one
  // DecodeTo would have passed over too.
  return StreamTimeToUs(Packet->stream_index, Packet->pts) < FSkipBeforeUs;
}

Int64 TFFDecoder::StreamEndUs(Integer StreamIndex) const {
  if (StreamIndex < 0 || StreamIndex >= StreamCount) return AV_NOPTS_VALUE;
  const AVStream* stream = FormatContext->streams[StreamIndex];
  if (stream->duration > 0) return ff::av_rescale_q(stream->duration, UsableTimeBase(stream->time_base), MicrosecondBase);
  if (FormatContext->duration > 0) return FormatContext->duration;
  return AV_NOPTS_VALUE;
}

bool TFFDecoder::DecodeTo(Int64 Position, Integer StreamIndex) {
  // Pictures shown before Position that no other picture refers to are never the answer, so the
  // codec may pass over them; except near the end, where the last picture stands when none is
  // at or after Position, and that picture must be the true last one.
  const Integer index = SelectVideoStream(StreamIndex);
  if (index < 0) return false;
  if (LastPicture.Ready && IsImage2Input()) return true;
  if (FDrainedEarly && !ResumeAfterEarlyDrain(index)) return false;
  const Int64 end = StreamEndUs(index);
  const Int64 margin = FrameRate.num > 0 && FrameRate.den > 0 ? 2 * FrameDurationUs(FrameRate) : 1000000;
  struct TSkipScope {
    TFFDecoder* Decoder;
    ~TSkipScope() {
      Decoder->FSkipBeforeUs = AV_NOPTS_VALUE;
      Decoder->FEarlyDrainAllowed = false;
      Decoder->FBestSentUs = AV_NOPTS_VALUE;
      if (Decoder->VideoCodecContext) Decoder->VideoCodecContext->skip_frame = AVDISCARD_DEFAULT;
    }
  } scope{this};
  if (end != AV_NOPTS_VALUE && Position <= end - margin) {
    FSkipBeforeUs = Position;
    FEarlyDrainAllowed = true;
    FBestSentUs = AV_NOPTS_VALUE;
  }

  if (!DecodeNext(index)) return false;
  while (LastPicture.PresentationUs != AV_NOPTS_VALUE && LastPicture.PresentationUs < Position)
    if (!DecodeNext(index)) break;
  return true;
}

bool TFFDecoder::StorePicture(const AVFrame* Frame) {
  // The picture is shared with the codec's buffer pool rather than copied: a preview that
  // decodes on from a key frame stores every picture on the way.
  if (ff::av_image_get_buffer_size(static_cast<AVPixelFormat>(Frame->format), Frame->width, Frame->height, 1) <= 0)
    return false;
  if (!FShownFrame) FShownFrame = ff::av_frame_alloc();
  if (!FShownFrame) return false;
  ff::av_frame_unref(FShownFrame);
  if (ff::av_frame_ref(FShownFrame, Frame) < 0) {
    LastPicture.Ready = false;
    return false;
  }

  LastPicture.PixFmt = Frame->format;
  LastPicture.Width = Frame->width;
  LastPicture.Height = Frame->height;
  LastPicture.KeyFrame = Frame->key_frame == 1;
  LastPicture.PictType = Frame->pict_type;

  // The codec carries each packet's pts to the picture made from it; the dts of the packet that
  // released the picture is what the picture's time has always been taken from.
  Int64 t;
  if (Frame->pkt_dts == AV_NOPTS_VALUE && Frame->pts != AV_NOPTS_VALUE) {
    t = Frame->pts;
  } else if (Frame->pkt_dts != AV_NOPTS_VALUE) {
    t = Frame->pkt_dts;
  } else {
    t = FLastPacket.PTS;
  }
  Int64 extrapolated = AV_NOPTS_VALUE;
  if (t == AV_NOPTS_VALUE && Draining && PreviousPTS != AV_NOPTS_VALUE && LastPicture.PTS != AV_NOPTS_VALUE) {
    extrapolated = 2 * LastPicture.PTS - PreviousPTS;
  }
  if (LastPicture.PTS != AV_NOPTS_VALUE) PreviousPTS = LastPicture.PTS;
  if (t != AV_NOPTS_VALUE) {
    const AVStream* stream = FormatContext->streams[VideoStreamIndex];
    if (stream->start_time != AV_NOPTS_VALUE) t -= stream->start_time;
    LastPicture.PTS = ff::av_rescale_q(t, UsableTimeBase(stream->time_base), MicrosecondBase);
    FFLogger()->LogFmt(this, llDebug, "decode PTS: %0.3f", static_cast<double>(LastPicture.PTS) / 1000000);
  } else {
    LastPicture.PTS = extrapolated;
  }

  LastPicture.PresentationUs = AV_NOPTS_VALUE;
  const Int64 shown = Frame->best_effort_timestamp != AV_NOPTS_VALUE ? Frame->best_effort_timestamp : Frame->pts;
  if (shown != AV_NOPTS_VALUE) {
    const AVStream* stream = FormatContext->streams[VideoStreamIndex];
    const Int64 start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    LastPicture.PresentationUs = ff::av_rescale_q(shown - start, UsableTimeBase(stream->time_base), MicrosecondBase);
  }

  LastPicture.PacketDTS = FLastPacket.DTS;
  LastPicture.PacketPTS = FLastPacket.PTS;
  LastPicture.PacketStreamIndex = FLastPacket.StreamIndex;
  LastPicture.PacketPos = FLastPacket.Pos;

  LastPicture.Picture = TAVPicture{};
  for (int i = 0; i < 8 && i < AV_NUM_DATA_POINTERS; ++i) {
    LastPicture.Picture.data[i] = FShownFrame->data[i];
    LastPicture.Picture.linesize[i] = FShownFrame->linesize[i];
  }
  LastPicture.Ready = true;

  FFLogger()->LogFmt(this, llDebug, "pkt.st_idx=%d, dts=%d, pts=%d, flags=%d, pict_type=%d(%s)", FLastPacket.StreamIndex,
                     FLastPacket.DTS, FLastPacket.PTS, FLastPacketFlags, LastPicture.PictType,
                     PictureTypeName(LastPicture.PictType));
  return true;
}

bool TFFDecoder::CopyToBitmap(TBitmap* Bitmap) {
  if (!LastPicture.Ready) {
    ReportMessage(AV_LOG_ERROR, "picture not ready, please decode first");
    return false;
  }
  // Straight into the caller's bitmap: a picture of a video is large, and every copy of it on
  // the way costs as much as the conversion itself.
  if (Converter->PictureIntoBitmap(LastPicture.Picture.data, LastPicture.Picture.linesize,
                                   static_cast<AVPixelFormat>(LastPicture.PixFmt), LastPicture.Height, LastPicture.Width,
                                   Bitmap))
    return true;
  Bitmap->SetSize(LastPicture.Width, LastPicture.Height);
  TCanvas* canvas = Bitmap->Canvas();
  canvas->Brush()->SetStyle(bsSolid);
  canvas->Brush()->SetColor(clBlack);
  canvas->FillRect(canvas->ClipRect());
  ReportMessage(AV_LOG_ERROR, Converter->LastError());
  return false;
}
