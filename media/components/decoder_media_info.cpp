#include "media/components/decoder_media_info.h"

#include "media/binding/engine_utils.h"
#include "media/binding/entry_points.h"
#include "media/binding/file_names.h"
#include "media/binding/media_text.h"
#include "media/binding/wide_files.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/strings.h"
#include "platform/rtl/sysutils.h"

namespace {

constexpr AVRational MicrosecondBase{1, 1000000};
constexpr int DescriptionSize = 256;

struct TDispositionText {
  int Flag;
  const char* Text;
};

const TDispositionText DispositionTexts[] = {
    {AV_DISPOSITION_DEFAULT, " (default)"},
    {AV_DISPOSITION_DUB, " (dub)"},
    {AV_DISPOSITION_ORIGINAL, " (original)"},
    {AV_DISPOSITION_COMMENT, " (comment)"},
    {AV_DISPOSITION_LYRICS, " (lyrics)"},
    {AV_DISPOSITION_KARAOKE, " (karaoke)"},
    {AV_DISPOSITION_FORCED, " (forced)"},
    {AV_DISPOSITION_HEARING_IMPAIRED, " (hearing impaired)"},
    {AV_DISPOSITION_VISUAL_IMPAIRED, " (visual impaired)"},
    {AV_DISPOSITION_CLEAN_EFFECTS, " (clean effects)"},
};

bool BothParts(AVRational r) { return r.num != 0 && r.den != 0; }

AnsiString MetadataLineStart(const AnsiString& indent, const char* key) {
  return Format("%s  %-16s: ", indent, AnsiString(key));
}

AnsiString CodecDescription(const AVStream* stream) {
  TCodecContextPtr context = DescribingContext(stream);
  if (!context) return AnsiString();
  char text[DescriptionSize] = {};
  ff::avcodec_string(text, sizeof(text), context.get(), 0);
  return AnsiString(text);
}

// Display ratio of a picture size and a sample ratio, reduced the way FFmpeg reports it.
AVRational DisplayRatio(int width, int height, AVRational sar) {
  int num = 0, den = 0;
  ff::av_reduce(&num, &den, static_cast<int64_t>(width) * sar.num, static_cast<int64_t>(height) * sar.den, 1024 * 1024);
  return AVRational{num, den};
}

}  // namespace

AVRational UsableTimeBase(AVRational TimeBase) {
  if (TimeBase.den == 0) TimeBase.den = TimeBase.num != 0 ? TimeBase.num : 1;
  return TimeBase;
}

void TCodecContextDeleter::operator()(AVCodecContext* Context) const {
  if (ff::avcodec_free_context) ff::avcodec_free_context(&Context);
}

TCodecContextPtr DescribingContext(const AVStream* Stream) {
  TCodecContextPtr context(ff::avcodec_alloc_context3(nullptr));
  if (!context) return context;
  if (ff::avcodec_parameters_to_context(context.get(), Stream->codecpar) < 0) context.reset();
  return context;
}

Int64 ContextFileSize(const AVFormatContext* Context) {
  Int64 size = 0;
  if (Context->iformat && (Context->iformat->flags & AVFMT_NOFILE)) {
    size = 0;
  } else if (Context->pb) {
    size = ff::avio_size(Context->pb);
    if (size < 0) size = 0;
  }
  if (size == 0 && Context->url) {
    const WideString name = FFmpegFileNameToWide(Context->url);
    if (WideFileExists(name)) size = WideGetFileSize(name);
    if (size < 0) size = 0;
  }
  return size;
}

AnsiString FormatRateSuffix(double Rate, const char* Word) {
  const Int64 v = Round(Rate * 100);
  if (v % 100 != 0) return Format(", %3.2f %s", Rate, AnsiString(Word));
  if (v % (100 * 1000) != 0) return Format(", %1.0f %s", Rate, AnsiString(Word));
  return Format(", %1.0fk %s", Rate / 1000, AnsiString(Word));
}

void DumpMetadata(const AVDictionary* Dictionary, const AnsiString& Indent, std::vector<AnsiString>& Lines) {
  if (!Dictionary) return;
  const int count = ff::av_dict_count(Dictionary);
  if (count == 0 || (count == 1 && ff::av_dict_get(Dictionary, "language", nullptr, 0))) return;
  Lines.push_back(Indent + "Metadata:");
  const AVDictionaryEntry* entry = nullptr;
  while ((entry = ff::av_dict_get(Dictionary, "", entry, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
    if (std::string_view(entry->key) == "language") continue;
    AnsiString line = MetadataLineStart(Indent, entry->key);
    for (const char* p = entry->value; *p; ++p) {
      switch (*p) {
        case '\r': line += ' '; break;
        case '\n':
          Lines.push_back(line);
          line = MetadataLineStart(Indent, "");
          break;
        case '\b': case '\v': case '\f': break;
        default: line += *p;
      }
    }
    Lines.push_back(line);
  }
}

void DumpStreamFormat(const AVFormatContext* Context, unsigned Index, std::vector<AnsiString>& Lines) {
  const AVStream* stream = Context->streams[Index];
  const AVCodecParameters* par = stream->codecpar;
  AnsiString line = Format("  Stream #%d", static_cast<Integer>(Index));
  if (Context->iformat && (Context->iformat->flags & AVFMT_SHOW_IDS)) {
    line += "[0x" + LowerCase(Format("%x", stream->id)) + "]";
  }
  const AVDictionaryEntry* language = ff::av_dict_get(stream->metadata, "language", nullptr, 0);
  if (language) line += Format("(%s)", AnsiString(language->value));

  const AVRational timeBase = stream->time_base;
  int64_t g = ff::av_gcd(timeBase.num, timeBase.den);
  if (g == 0) g = 1;
  line += Format(", %d/%d", static_cast<Int64>(timeBase.num / g), static_cast<Int64>(timeBase.den / g));
  line += ": " + CodecDescription(stream);

  if (stream->sample_aspect_ratio.num != 0 && RationalCompare(stream->sample_aspect_ratio, par->sample_aspect_ratio) != 0) {
    const AVRational dar = DisplayRatio(par->width, par->height, stream->sample_aspect_ratio);
    line += Format(", SAR %d:%d DAR %d:%d", stream->sample_aspect_ratio.num, stream->sample_aspect_ratio.den, dar.num,
                   dar.den);
  }

  if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
    if (BothParts(stream->avg_frame_rate)) line += FormatRateSuffix(RationalToDouble(stream->avg_frame_rate), "fps");
    if (BothParts(stream->r_frame_rate)) line += FormatRateSuffix(RationalToDouble(stream->r_frame_rate), "tbr");
    if (BothParts(timeBase)) line += FormatRateSuffix(1 / RationalToDouble(timeBase), "tbn");
    const AVRational codecTimeBase = ff::av_stream_get_codec_timebase(stream);
    if (BothParts(codecTimeBase)) line += FormatRateSuffix(1 / RationalToDouble(codecTimeBase), "tbc");
  }

  for (const TDispositionText& d : DispositionTexts) {
    if (stream->disposition & d.Flag) line += d.Text;
  }

  const AVRational usable = UsableTimeBase(timeBase);
  if (stream->start_time != AV_NOPTS_VALUE) line += ", start: " + FormatSeconds(usable, stream->start_time);
  if (stream->duration != AV_NOPTS_VALUE) line += ", duration: " + FormatTimestamp(usable, stream->duration);
  Lines.push_back(line);
  DumpMetadata(stream->metadata, "  ", Lines);
}

AnsiString MediaInfoText(const AVFormatContext* Context) {
  std::vector<AnsiString> lines;
  const AnsiString url = Context->url ? AnsiString(Context->url) : AnsiString();
  lines.push_back(Format("File Name: %s", WideToAnsi(FFmpegFileNameToWide(url))));
  if (Context->iformat) {
    lines.push_back(Format("Format Name: %s", AnsiString(Context->iformat->name ? Context->iformat->name : "")));
    if (Context->iformat->long_name) lines.push_back(Format("Format Long Name: %s", AnsiString(Context->iformat->long_name)));
  }
  lines.push_back(Format("File Size: %s", FormatFileSize(ContextFileSize(Context))));
  DumpMetadata(Context->metadata, "", lines);

  AnsiString duration = "Duration: " + FormatTimeUs(Context->duration);
  if (Context->start_time != AV_NOPTS_VALUE) duration += ", start: " + FormatSeconds(MicrosecondBase, Context->start_time);
  duration += ", bitrate: ";
  duration += Context->bit_rate > 0 ? Format("%d kb/s", static_cast<Int64>(Context->bit_rate / 1000)) : AnsiString("N/A");
  lines.push_back(duration);

  for (unsigned i = 0; i < Context->nb_chapters; ++i) {
    const AVChapter* chapter = Context->chapters[i];
    const double unit = RationalToDouble(chapter->time_base);
    lines.push_back(Format("Chapter #%d: ", static_cast<Integer>(i)) +
                    Format("start %.6f, ", static_cast<double>(chapter->start) * unit) +
                    Format("end %.6f", static_cast<double>(chapter->end) * unit));
    DumpMetadata(chapter->metadata, "  ", lines);
  }

  std::vector<bool> written(Context->nb_streams, false);
  if (Context->nb_programs > 0) {
    Int64 listed = 0;
    for (unsigned p = 0; p < Context->nb_programs; ++p) {
      const AVProgram* program = Context->programs[p];
      const AVDictionaryEntry* name = ff::av_dict_get(program->metadata, "name", nullptr, 0);
      lines.push_back(Format("Program %d %s", program->id, AnsiString(name ? name->value : "")));
      DumpMetadata(program->metadata, "  ", lines);
      for (unsigned j = 0; j < program->nb_stream_indexes; ++j) {
        const unsigned index = program->stream_index[j];
        // A demuxer may list a stream it has not created (yet): skip what is not there.
        if (index >= Context->nb_streams) continue;
        DumpStreamFormat(Context, index, lines);
        written[index] = true;
      }
      listed += program->nb_stream_indexes;
    }
    if (listed < Context->nb_streams) lines.push_back("No Program");
  }
  for (unsigned i = 0; i < Context->nb_streams; ++i) {
    if (!written[i]) DumpStreamFormat(Context, i, lines);
  }

  AnsiString text;
  for (const AnsiString& line : lines) text += line + "\r\n";
  return text;
}
