#include "media/components/decoder_custom.h"

#include <charconv>
#include <limits>

#include "media/binding/engine_utils.h"
#include "media/binding/entry_points.h"
#include "media/binding/format_converter.h"
#include "media/binding/loader.h"
#include "media/binding/option_parser.h"
#include "media/binding/error_text.h"
#include "media/binding/file_names.h"
#include "media/binding/logger.h"
#include "media/binding/media_text.h"
#include "media/binding/unicode_protocol.h"
#include "media/components/decoder_media_info.h"
#include "platform/rtl/mainthread.h"
#include "platform/rtl/strings.h"

namespace {

constexpr AVRational MicrosecondBase{1, 1000000};

Integer ClampToInteger(int64_t v) {
  if (v > std::numeric_limits<Integer>::max()) return std::numeric_limits<Integer>::max();
  if (v < std::numeric_limits<Integer>::min()) return std::numeric_limits<Integer>::min();
  return static_cast<Integer>(v);
}

// A whole decimal number, or Default ("2012a", "3/12" and "" are not numbers).
Integer TagToInteger(const AVDictionary* dict, const char* key, Integer Default) {
  const AVDictionaryEntry* e = ff::av_dict_get(dict, key, nullptr, 0);
  if (!e) return Default;
  const std::string_view text(e->value);
  Integer value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return Default;
  return value;
}

AnsiString TagText(const AVDictionary* dict, const char* key) { return DictValueOr(dict, key, AnsiString()); }

Int64 ToMicroseconds(Int64 ts, AVRational timeBase) {
  return ts == AV_NOPTS_VALUE ? -1 : ff::av_rescale_q(ts, timeBase, MicrosecondBase);
}

}  // namespace

extern "C" int DecoderInterruptCallback(void* Decoder) {
  try {
    auto* decoder = static_cast<TCustomDecoder*>(Decoder);
    if (decoder->ReadTimeout <= 0) return 0;
    if (ff::av_gettime() - decoder->IOStartTime.load() > static_cast<Int64>(decoder->ReadTimeout) * 1000) {
      FFLogger()->Log(decoder, llInfo, "connecting/reading timeout");
      return 1;
    }
    return 0;
  } catch (...) {
    return 1;
  }
}

TCustomDecoder::TCustomDecoder(TComponent* AOwner) : TFFBaseComponent(AOwner), Options(new TFFOptions) {
  UpdateStreamInfo();
}

TCustomDecoder::~TCustomDecoder() {
  TCustomDecoder::CloseFile();
  delete Options;
}

void TCustomDecoder::CheckLibraries() { FFLoader()->CheckLoaded(DecoderLibraries); }

void TCustomDecoder::RestartIOClock() { IOStartTime = ff::av_gettime(); }

void TCustomDecoder::ReportMessage(int Level, const AnsiString& Text) {
  LastErrorMessage = Text;
  FFLogger()->Log(this, FFmpegToLogLevel(Level), Text);
}

bool TCustomDecoder::OpenFile(const TPathFileName& FileName, const AnsiString& FormatName) {
  CheckLibraries();
  CloseFile();
  if (!Options->SwsOpts) Options->InitOpts();

  const AVInputFormat* format = nullptr;
  if (!FormatName.empty()) {
    format = ff::av_find_input_format(FormatName.c_str());
    if (!format) {
      ReportMessageFmt(AV_LOG_ERROR, "Unknown input format: %s", FormatName);
      Options->InitOpts();
      CloseFile();
      return false;
    }
  }

  const AnsiString name = WideToFFmpegFileName(FileName);
  auto fail = [&](const AnsiString& message) {
    LastErrorMessage = message;
    Options->InitOpts();
    CloseFile();
    return false;
  };

  AVFormatContext* context = ff::avformat_alloc_context();
  if (!context) return fail(ErrorText(name, AVERROR(ENOMEM)));
  context->interrupt_callback.callback = DecoderInterruptCallback;
  context->interrupt_callback.opaque = this;
  RestartIOClock();

  AVDictionary* formatOptions = nullptr;
  ff::av_dict_copy(&formatOptions, Options->FormatOpts, 0);
  const int opened = OpenInputFile(&context, name.c_str(), format, &formatOptions);
  if (opened < 0) {
    ff::av_dict_free(&formatOptions);
    // The failed open has freed the context already.
    return fail(ErrorText(name, opened));
  }
  FormatContext = context;
  OwnsFormatContext = true;

  const AVDictionaryEntry* unused = nullptr;
  while ((unused = ff::av_dict_get(formatOptions, "", unused, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
    FFLogger()->LogFmt(this, llError, "Option %s not found, ignored.", AnsiString(unused->key));
  }
  ff::av_dict_free(&formatOptions);

  FormatContext->flags |= AVFMT_FLAG_NONBLOCK;

  if (OnBeforeFindStreamInfo) {
    try {
      if (TriggerEventInMainThread) {
        RunInMainThread([this] { OnBeforeFindStreamInfo(this, FormatContext); });
      } else {
        OnBeforeFindStreamInfo(this, FormatContext);
      }
    } catch (...) {
      Options->InitOpts();
      CloseFile();
      throw;
    }
  }

  const unsigned probedStreams = FormatContext->nb_streams;
  AVDictionary** streamOptions = SetupFindStreamInfoOptions(FormatContext, Options->CodecOpts);
  RestartIOClock();
  const int found = ff::avformat_find_stream_info(FormatContext, streamOptions);
  if (streamOptions) {
    for (unsigned i = 0; i < probedStreams; ++i) ff::av_dict_free(&streamOptions[i]);
    ff::av_freep(&streamOptions);
  }
  if (found < 0) return fail(Format("%s: could not find codec parameters", WideToAnsi(FileName)));

  if (FormatContext->pb) {
    // The probe may have read to the end; later reads start afresh.
    FormatContext->pb->eof_reached = 0;
    FormatContext->pb->error = 0;
  }
  UpdateStreamInfo();
  ApplyOpenOptions();
  Options->InitOpts();
  ForcedFormatName = FormatName;
  return true;
}

void TCustomDecoder::CloseFile() {
  ForcedFormatName.clear();
  if (FormatContext) {
    if (OwnsFormatContext) CloseInputFile(&FormatContext);
    FormatContext = nullptr;
  }
  OwnsFormatContext = false;
  UpdateStreamInfo();
}

void TCustomDecoder::AttachFormatContext(AVFormatContext* Context) {
  if (Context == FormatContext) return;
  CheckLibraries();
  CloseFile();
  OwnsFormatContext = false;
  FormatContext = Context;
  UpdateStreamInfo();
}

void TCustomDecoder::UpdateStreamInfo() {
  FileSize = -1;
  StreamCount = ProgramCount = AudioStreamCount = VideoStreamCount = SubtitleStreamCount = -1;
  FirstAudioStreamIndex = FirstVideoStreamIndex = FirstSubtitleStreamIndex = -1;
  if (!FormatContext) return;
  FileSize = ContextFileSize(FormatContext);
  StreamCount = ClampToInteger(FormatContext->nb_streams);
  ProgramCount = ClampToInteger(FormatContext->nb_programs);
  AudioStreamCount = VideoStreamCount = SubtitleStreamCount = 0;
  for (Integer i = 0; i < StreamCount; ++i) {
    switch (FormatContext->streams[i]->codecpar->codec_type) {
      case AVMEDIA_TYPE_VIDEO:
        ++VideoStreamCount;
        if (FirstVideoStreamIndex < 0) FirstVideoStreamIndex = i;
        break;
      case AVMEDIA_TYPE_AUDIO:
        ++AudioStreamCount;
        if (FirstAudioStreamIndex < 0) FirstAudioStreamIndex = i;
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        ++SubtitleStreamCount;
        if (FirstSubtitleStreamIndex < 0) FirstSubtitleStreamIndex = i;
        break;
      default: break;
    }
  }
}

void TCustomDecoder::GetFileStreamInfo(TFileStreamInfo& Info) {
  Info = TFileStreamInfo{};
  if (!FormatContext) {
    ReportMessage(AV_LOG_WARNING, "file not loaded.");
    return;
  }
  const AVDictionary* tags = FormatContext->metadata;
  Info.StartTime = FormatContext->start_time;
  Info.Duration = FormatContext->duration == AV_NOPTS_VALUE ? -1 : FormatContext->duration;
  Info.BitRate = ClampToInteger(FormatContext->bit_rate);
  Info.Year = TagToInteger(tags, "year", 0);
  Info.Track = TagToInteger(tags, "track", 0);
  Info.Title = TagText(tags, "title");
  Info.Author = TagText(tags, "author");
  Info.Copyright = TagText(tags, "copyright");
  Info.Comment = TagText(tags, "comment");
  Info.Album = TagText(tags, "album");
  Info.Genre = TagText(tags, "genre");
}

Integer TCustomDecoder::ResolveStream(Integer StreamIndex, AVMediaType Kind, const char* NoStream, const char* WrongKind) {
  if (!FormatContext) {
    ReportMessage(AV_LOG_WARNING, "file not loaded.");
    return -1;
  }
  if (StreamIndex < 0) {
    StreamIndex = Kind == AVMEDIA_TYPE_VIDEO ? FirstVideoStreamIndex : FirstAudioStreamIndex;
    if (StreamIndex < 0) {
      ReportMessage(AV_LOG_ERROR, NoStream);
      return -1;
    }
  }
  if (StreamIndex >= StreamCount) {
    ReportMessageFmt(AV_LOG_ERROR, "stream index #%d is invalid.", StreamIndex);
    return -1;
  }
  if (FormatContext->streams[StreamIndex]->codecpar->codec_type != Kind) {
    ReportMessageFmt(AV_LOG_ERROR, WrongKind, StreamIndex);
    return -1;
  }
  return StreamIndex;
}

void TCustomDecoder::GetVideoStreamInfo(Integer StreamIndex, TVideoStreamInfo& Info) {
  Info = TVideoStreamInfo{};
  const Integer index = ResolveStream(StreamIndex, AVMEDIA_TYPE_VIDEO, "no video stream.", "stream #%d is not video stream.");
  if (index < 0) return;
  const AVStream* stream = FormatContext->streams[index];
  const AVCodecParameters* par = stream->codecpar;
  // Worked on a copy: a task's thread may be reading this stream's time base.
  const AVRational timeBase = UsableTimeBase(stream->time_base);

  Info.Language = TagText(stream->metadata, "language");
  if (TCodecContextPtr context = DescribingContext(stream)) Info.CodecName = CodecNameText(context.get(), false);
  Info.StartTime = stream->start_time;
  Info.StartTimeUs = ToMicroseconds(stream->start_time, timeBase);
  Info.Duration = stream->duration;
  Info.DurationUs = ToMicroseconds(stream->duration, timeBase);
  Info.BitRate = ClampToInteger(par->bit_rate);
  Info.Height = par->height;
  Info.Width = par->width;
  Info.SampleAspect = stream->sample_aspect_ratio.num != 0 ? stream->sample_aspect_ratio : par->sample_aspect_ratio;
  Info.SampleAspectRatio =
      Info.SampleAspect.den != 0 ? static_cast<float>(Info.SampleAspect.num) / Info.SampleAspect.den : 0.0f;
  if (Info.SampleAspect.num != 0) {
    ff::av_reduce(&Info.DisplayAspect.num, &Info.DisplayAspect.den, static_cast<int64_t>(par->width) * Info.SampleAspect.num,
                  static_cast<int64_t>(par->height) * Info.SampleAspect.den, 1024 * 1024);
    if (Info.DisplayAspect.den != 0) {
      Info.DisplayAspectRatio = static_cast<float>(Info.DisplayAspect.num) / Info.DisplayAspect.den;
    }
  }
  Info.PixelFormat = par->format;
  Info.FrameRate = stream->avg_frame_rate.num != 0 && stream->avg_frame_rate.den != 0 ? stream->avg_frame_rate
                                                                                       : stream->r_frame_rate;
}

void TCustomDecoder::GetAudioStreamInfo(Integer StreamIndex, TAudioStreamInfo& Info) {
  Info = TAudioStreamInfo{};
  const Integer index = ResolveStream(StreamIndex, AVMEDIA_TYPE_AUDIO, "no audio stream.", "stream #%d is not audio stream.");
  if (index < 0) return;
  const AVStream* stream = FormatContext->streams[index];
  const AVCodecParameters* par = stream->codecpar;
  const AVRational timeBase = UsableTimeBase(stream->time_base);

  Info.Language = TagText(stream->metadata, "language");
  if (TCodecContextPtr context = DescribingContext(stream)) Info.CodecName = CodecNameText(context.get(), false);
  Info.StartTime = stream->start_time;
  Info.StartTimeUs = ToMicroseconds(stream->start_time, timeBase);
  Info.Duration = stream->duration;
  Info.DurationUs = ToMicroseconds(stream->duration, timeBase);
  Info.BitRate = ClampToInteger(par->bit_rate);
  Info.Channels = par->ch_layout.nb_channels;
  Info.SampleRate = par->sample_rate;
  Info.SampleFormat = par->format;
}

bool TCustomDecoder::IsVideoStream(Integer StreamIndex) {
  if (!FormatContext) {
    ReportMessage(AV_LOG_WARNING, "file not loaded.");
    return false;
  }
  if (StreamIndex < 0 || StreamIndex >= StreamCount) {
    ReportMessageFmt(AV_LOG_ERROR, "stream index #%d is invalid.", StreamIndex);
    return false;
  }
  return FormatContext->streams[StreamIndex]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
}

AnsiString TCustomDecoder::GetMediaInfoText() {
  if (!FormatContext) {
    ReportMessage(AV_LOG_WARNING, "file not loaded.");
    return AnsiString();
  }
  return MediaInfoText(FormatContext);
}
