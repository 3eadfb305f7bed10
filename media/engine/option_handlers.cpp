// The handlers of the option table that write several settings, forward to other options, or act
// on the task's global state; and the preset text and preset files.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "media/binding/entry_points.h"
#include "media/binding/error_text.h"
#include "media/binding/ffmpeg_exception.h"
#include "media/binding/media_text.h"
#include "media/engine/custom_ffmpeg_opt.h"
#include "platform/rtl/numerics.h"

namespace {

TOptionsContext* Ctx(void* Context) {
  EngineAssert(Context != nullptr, "A per-file option needs an options context");
  return static_cast<TOptionsContext*>(Context);
}

// Stores the failure text where the task's error message picks it up in strict mode.
int OptionFailure(TObject* Sender, TLogLevel Level, const AnsiString& Text, int Code) {
  LastOptionMessage = Text;
  FFLogger()->Log(Sender, Level, Text);
  return Code;
}

// Lines of a text whose breaks are CR LF, CR or LF.
std::vector<AnsiString> SplitLines(const AnsiString& Text) {
  std::vector<AnsiString> lines;
  AnsiString line;
  for (size_t i = 0; i < Text.size(); ++i) {
    const char c = Text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

}  // namespace

int TCustomFFmpegOpt::OptIgnored(void*, const AnsiString& Option, const AnsiString&) {
  return OptionFailure(this, llWarning, Format("options \"%s\" not supported, ignore", Option), 0);
}

int TCustomFFmpegOpt::OptUnsupported(void*, const AnsiString& Option, const AnsiString&) {
  return OptionFailure(this, llError, Format("options \"%s\" not supported", Option), AVERROR(EINVAL));
}

int TCustomFFmpegOpt::OptRemoved(void*, const AnsiString& Option, const AnsiString&) {
  return OptionFailure(this, llWarning,
                       Format("Option \"%s\" was removed. If you are looking for an option to preserve the quality "
                              "(which is not what -%s was for), use -qscale 0 or an equivalent quality factor option.",
                              Option, Option),
                       AVERROR(EINVAL));
}

int TCustomFFmpegOpt::OptSwitchNoOp(void*, const AnsiString&, const AnsiString&) { return 0; }

namespace {

// Seconds as a decimal number with "." whatever the locale, to whole microseconds as text.
bool SecondsToMicrosecondText(const AnsiString& Arg, AnsiString& Text, AnsiString& Error) {
  try {
    const double seconds = StrToFloat(Arg);
    Text = IntToStr(Round(seconds * 1000000.0));
    return true;
  } catch (const EConvertError& e) {
    Error = e.Message;
    return false;
  }
}

}  // namespace

int TCustomFFmpegOpt::OptTimeStart(void* Context, const AnsiString&, const AnsiString& Arg) {
  AnsiString us, error;
  if (!SecondsToMicrosecondText(Arg, us, error)) return OptionFailure(this, llError, error, AVERROR(EINVAL));
  return OptAlias(Context, "ss_microsecond", us);
}

int TCustomFFmpegOpt::OptTimeLength(void* Context, const AnsiString&, const AnsiString& Arg) {
  AnsiString us, error;
  if (!SecondsToMicrosecondText(Arg, us, error)) return OptionFailure(this, llError, error, AVERROR(EINVAL));
  return OptAlias(Context, "t_microsecond", us);
}

int TCustomFFmpegOpt::OptAlias(void* Context, const AnsiString& Target, const AnsiString& Arg) {
  const int ret = ParseOption(Context, Target, Arg.c_str(), FOptionTable);
  return ret < 0 ? ret : 0;
}

int TCustomFFmpegOpt::OptOld2New(void* Context, const AnsiString& Option, const AnsiString& Arg) {
  return OptAlias(Context, Format("%s:%s", Option.substr(1), Option.substr(0, 1)), Arg);
}

int TCustomFFmpegOpt::OptQscale(void* Context, const AnsiString& Option, const AnsiString& Arg) {
  if (Option == "qscale") {
    Log(llWarning, "Please use -q:a or -q:v, -qscale is ambiguous");
    return OptAlias(Context, "q:v", Arg);
  }
  return OptAlias(Context, "q" + Option.substr(6), Arg);
}

int TCustomFFmpegOpt::OptBitrate(void* Context, const AnsiString& Option, const AnsiString& Arg) {
  AnsiString key = Option;
  if (Option == "b") {
    Log(llWarning, "Please use -b:a or -b:v, -b is ambiguous");
    key = "b:v";
  }
  ff::av_dict_set(&Ctx(Context)->Group->CodecOpts, key.c_str(), Arg.c_str(), 0);
  return 0;
}

int TCustomFFmpegOpt::OptProfile(void* Context, const AnsiString& Option, const AnsiString& Arg) {
  AnsiString key = Option;
  if (Option == "profile") {
    Log(llWarning, "Please use -profile:a or -profile:v, -profile is ambiguous");
    key = "profile:v";
  }
  ff::av_dict_set(&Ctx(Context)->Group->CodecOpts, key.c_str(), Arg.c_str(), 0);
  return 0;
}

int TCustomFFmpegOpt::OptVideoChannel(void* Context, const AnsiString&, const AnsiString& Arg) {
  Log(llWarning, "This option is deprecated, use -channel.");
  return OptDefaultNew(Context, "channel", Arg);
}

int TCustomFFmpegOpt::OptVideoStandard(void* Context, const AnsiString&, const AnsiString& Arg) {
  Log(llWarning, "This option is deprecated, use -standard.");
  return OptDefaultNew(Context, "standard", Arg);
}

int TCustomFFmpegOpt::OptDefaultNew(void* Context, const AnsiString& Option, const AnsiString& Arg) {
  TOptionsContext* o = Ctx(Context);
  TFFOptions& p = *OptionsParser;
  AVDictionary* ownCodec = p.CodecOpts;
  AVDictionary* ownFormat = p.FormatOpts;
  AVDictionary* ownSwr = p.SwrOpts;
  SwsContext* ownSws = p.SwsOpts;
  p.CodecOpts = p.FormatOpts = p.SwrOpts = nullptr;
  // Scaler options are set on an object, so they go straight to the file group's (made here when
  // the group has none yet).
  p.SwsOpts = o->Group->SwsOpts;
  int ret;
  try {
    ret = p.OptDefault(Option, Arg);
  } catch (...) {
    ff::av_dict_free(&p.CodecOpts);
    ff::av_dict_free(&p.FormatOpts);
    ff::av_dict_free(&p.SwrOpts);
    p.CodecOpts = ownCodec;
    p.FormatOpts = ownFormat;
    p.SwrOpts = ownSwr;
    p.SwsOpts = ownSws;
    throw;
  }
  if (!o->Group->SwsOpts) o->Group->SwsOpts = p.SwsOpts;
  ff::av_dict_copy(&o->Group->CodecOpts, p.CodecOpts, 0);
  ff::av_dict_copy(&o->Group->FormatOpts, p.FormatOpts, 0);
  ff::av_dict_copy(&o->Group->SwrOpts, p.SwrOpts, 0);
  ff::av_dict_free(&p.CodecOpts);
  ff::av_dict_free(&p.FormatOpts);
  ff::av_dict_free(&p.SwrOpts);
  p.CodecOpts = ownCodec;
  p.FormatOpts = ownFormat;
  p.SwrOpts = ownSwr;
  p.SwsOpts = ownSws;
  return ret;
}

int TCustomFFmpegOpt::OptTimecode(void* Context, const AnsiString&, const AnsiString& Arg) {
  if (OptAlias(Context, "metadata:g", "timecode=" + Arg) >= 0)
    ff::av_dict_set(&Ctx(Context)->Group->CodecOpts, "gop_timecode", Arg.c_str(), 0);
  return 0;
}

int TCustomFFmpegOpt::OptChannelLayout(void* Context, const AnsiString& Option, const AnsiString& Arg) {
  AVChannelLayout layout{};
  // Only layouts with a channel mask have the number the codec and resampler layers take.
  if (ff::av_channel_layout_from_string(&layout, Arg.c_str()) < 0 || layout.order != AV_CHANNEL_ORDER_NATIVE ||
      layout.u.mask == 0) {
    ff::av_channel_layout_uninit(&layout);
    return OptionFailure(this, llError, Format("Unknown channel layout: %s", Arg), AVERROR(EINVAL));
  }
  const uint64_t mask = layout.u.mask;
  const int channels = layout.nb_channels;
  ff::av_channel_layout_uninit(&layout);
  int ret = OptDefaultNew(Context, Option, UIntToStr(mask));
  if (ret < 0) return ret;
  const size_t colon = Option.find(':');
  return OptAlias(Context, "ac" + (colon == AnsiString::npos ? AnsiString() : Option.substr(colon)), IntToStr(channels));
}

int TCustomFFmpegOpt::OptRecordingTimestamp(void* Context, const AnsiString& Option, const AnsiString& Arg) {
  const int64_t us = ParseTime(Option, Arg, false);
  const TDateTime local = UnixTimeToLocalDateTime(Round(static_cast<double>(us) / 1000000.0));
  const AnsiString text = FormatDateTime("yyyy-mm-dd hh:nn:ss", local) + " " + UTCOffsetText();
  const int ret = OptAlias(Context, "metadata", "creation_time=" + text);
  LogFmt(llWarning, "%s is deprecated, set the \"creation_time\" metadata tag instead.", Option);
  return ret;
}

int TCustomFFmpegOpt::OptStreamId(void* Context, const AnsiString& Option, const AnsiString& Arg) {
  TOptionsContext* o = Ctx(Context);
  const size_t colon = Arg.find(':');
  const AnsiString indexText = Arg.substr(0, colon);
  const AnsiString valueText = colon == AnsiString::npos ? AnsiString() : Arg.substr(colon + 1);
  Integer index = 0, value = 0;
  if (!TryStrToInt(indexText, index) || !TryStrToInt(valueText, value))
    return OptionFailure(this, llError,
                         Format("Invalid value \"%s\" for option \"%s\", required syntax is \"index:value\"", Arg, Option),
                         AVERROR(EINVAL));
  if (index < 0 || index > 1023)
    return OptionFailure(this, llError,
                         Format("The value for \"%s\" was \"%s\" which is not within %d - %d", "streamid", indexText, 0, 1023),
                         AVERROR(EINVAL));
  if (value < 0)
    return OptionFailure(
        this, llError,
        Format("The value for \"%s\" was \"%s\" which is not within %d - %d", "streamid", valueText, 0, 2147483647),
        AVERROR(EINVAL));
  if (index + 1 > o->NbStreamIdMap)
    o->StreamIdMap = static_cast<int*>(GrowArray(o->StreamIdMap, sizeof(int), o->NbStreamIdMap, index + 1));
  o->StreamIdMap[index] = value;
  return 0;
}

int TCustomFFmpegOpt::OptVsync(void*, const AnsiString&, const AnsiString& Arg) {
  static const struct {
    const char* Word;
    int Method;
  } words[] = {{"cfr", 1}, {"vfr", 2}, {"passthrough", 0}, {"drop", 255}};
  for (const auto& w : words) {
    if (SameText(Arg, w.Word)) {
      VideoSyncMethod = w.Method;
      return 0;
    }
  }
  // Every argument is judged on its own: a number after an earlier word still counts, and a text
  // that is neither a word nor a valid number is reported.
  Integer number = 0;
  if (TryStrToInt(Arg, number) && (number == -1 || number == 0 || number == 1 || number == 2 || number == 255)) {
    VideoSyncMethod = number;
    return 0;
  }
  return OptionFailure(this, llError, Format("The value for \"%s\" was \"%s\" which is invalid", "vsync", Arg),
                       AVERROR(EINVAL));
}

int TCustomFFmpegOpt::OptTarget(void* Context, const AnsiString&, const AnsiString& Arg) {
  TOptionsContext* o = Ctx(Context);
  enum { PAL, NTSC, FILM, UNKNOWN } norm = UNKNOWN;
  AnsiString name = Arg;
  if (name.rfind("pal-", 0) == 0) {
    norm = PAL;
    name.erase(0, 4);
  } else if (name.rfind("ntsc-", 0) == 0) {
    norm = NTSC;
    name.erase(0, 5);
  } else if (name.rfind("film-", 0) == 0) {
    norm = FILM;
    name.erase(0, 5);
  } else {
    for (TInputStream* ist : InputStreams) {
      if (ist->St->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
      // The stream's frame rate stands in for the codec time base the norm was once read from.
      AVRational rate = ist->St->r_frame_rate;
      if (rate.num <= 0 || rate.den <= 0) rate = ist->St->avg_frame_rate;
      if (rate.num <= 0 || rate.den <= 0) continue;
      const int64_t fr = Round(static_cast<double>(rate.num) * 1000.0 / rate.den);
      if (fr == 25000) norm = PAL;
      else if (fr == 29970 || fr == 23976) norm = NTSC;
      if (norm != UNKNOWN) {
        LogFmt(llInfo, "Assuming %s for target.", norm == PAL ? "PAL" : "NTSC");
        break;
      }
    }
    if (norm == UNKNOWN)
      RaiseError(
          "Could not determine norm (PAL/NTSC/NTSC-Film) for target.\r\nPlease prefix target with \"pal-\", "
          "\"ntsc-\" or \"film-\",\r\nor set a framerate with \"-r xxx\".");
  }
  const char* rate = norm == PAL ? "25" : norm == NTSC ? "30000/1001" : "24000/1001";
  const bool pal = norm == PAL;
  auto opt = [&](const AnsiString& n, const AnsiString& v) { return OptAlias(Context, n, v); };
  auto codec = [&](const char* k, const char* v) { ff::av_dict_set(&o->Group->CodecOpts, k, v, 0); };
  auto format = [&](const char* k, const char* v) { ff::av_dict_set(&o->Group->FormatOpts, k, v, 0); };
  if (name == "vcd") {
    opt("vcodec", "mpeg1video");
    opt("acodec", "mp2");
    opt("f", "vcd");
    opt("s", pal ? "352x288" : "352x240");
    opt("r", rate);
    codec("g", pal ? "15" : "18");
    codec("b:v", "1150000");
    codec("maxrate", "1150000");
    codec("minrate", "1150000");
    codec("bufsize", "327680");
    codec("b:a", "224000");
    opt("ar", "44100");
    opt("ac", "2");
    format("packetsize", "2324");
    format("muxrate", "1411200");
    o->MuxPreload = 0.44f;
  } else if (name == "svcd") {
    opt("vcodec", "mpeg2video");
    opt("acodec", "mp2");
    opt("f", "svcd");
    opt("s", pal ? "480x576" : "480x480");
    opt("r", rate);
    opt("pix_fmt", "yuv420p");
    codec("g", pal ? "15" : "18");
    codec("b:v", "2040000");
    codec("maxrate", "2516000");
    codec("minrate", "0");
    codec("bufsize", "1835008");
    codec("scan_offset", "1");
    codec("b:a", "224000");
    opt("ar", "44100");
    format("packetsize", "2324");
  } else if (name == "dvd") {
    opt("vcodec", "mpeg2video");
    opt("acodec", "ac3");
    opt("f", "dvd");
    opt("s", pal ? "720x576" : "720x480");
    opt("r", rate);
    opt("pix_fmt", "yuv420p");
    codec("g", pal ? "15" : "18");
    codec("b:v", "6000000");
    codec("maxrate", "9000000");
    codec("minrate", "0");
    codec("bufsize", "1835008");
    codec("b:a", "448000");
    opt("ar", "48000");
    format("packetsize", "2048");
    format("muxrate", "10080000");
  } else if (name.rfind("dv", 0) == 0) {
    opt("f", "dv");
    opt("s", pal ? "720x576" : "720x480");
    opt("pix_fmt", name == "dv50" ? "yuv422p" : pal ? "yuv420p" : "yuv411p");
    opt("r", rate);
    opt("ar", "48000");
    opt("ac", "2");
  } else {
    return OptionFailure(this, llError, Format("Unknown target: %s", name), AVERROR(EINVAL));
  }
  return 0;
}

int TCustomFFmpegOpt::OptMaxAlloc(void*, const AnsiString&, const AnsiString& Arg) {
  char* tail = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(Arg.c_str(), &tail, 10);
  const bool digitsOnly = !Arg.empty() && Arg.find_first_not_of("0123456789") == AnsiString::npos;
  if (!digitsOnly || *tail || errno == ERANGE || value > SIZE_MAX)
    return OptionFailure(this, llFatal, Format("Invalid max_alloc \"%s\".", Arg), AVERROR(EINVAL));
  ff::av_max_alloc(static_cast<size_t>(value));
  return 0;
}

int TCustomFFmpegOpt::OptCpuflags(void*, const AnsiString&, const AnsiString& Arg) {
  unsigned flags = static_cast<unsigned>(ff::av_get_cpu_flags());
  const int ret = ff::av_parse_cpu_caps(&flags, Arg.c_str());
  if (ret < 0) return OptionFailure(this, llFatal, ErrorText(Format("Failed to parse cpu flags \"%s\"", Arg), ret), ret);
  ff::av_force_cpu_flags(static_cast<int>(flags));
  return 0;
}

int TCustomFFmpegOpt::OptProgress(void*, const AnsiString&, const AnsiString& Arg) {
  const AnsiString url = Arg == "-" ? AnsiString("pipe:") : Arg;
  AVIOContext* avio = nullptr;
  WriteStartTime = ff::av_gettime();
  const int ret = ff::avio_open2(&avio, url.c_str(), AVIO_FLAG_WRITE, &WriteInterrupt, nullptr);
  if (ret < 0)
    return OptionFailure(this, llError, Format("Failed to open progress URL \"%s\": %s", url, ErrorText(ret)), ret);
  if (ProgressAvio) ff::avio_closep(&ProgressAvio);
  ProgressAvio = avio;
  return 0;
}

int TCustomFFmpegOpt::OptVstats(void* Context, const AnsiString& Option, const AnsiString&) {
  return OptVstatsFile(Context, Option, Format("vstats_%s.log", FormatDateTime("hhnnss", Now())));
}

int TCustomFFmpegOpt::OptVstatsFile(void*, const AnsiString&, const AnsiString& Arg) {
  VstatsFilename = Arg;
  return 0;
}

int TCustomFFmpegOpt::OptDeinterlace(void*, const AnsiString& Option, const AnsiString&) {
  LogFmt(llWarning, "-%s is deprecated, use -filter:v yadif instead", Option);
  DoDeinterlace = 1;
  return 0;
}

// ---- presets

int TCustomFFmpegOpt::ApplyPresetLine(TOptionsContext& Context, const AnsiString& RawLine,
                                      const AnsiString& SyntaxPrefix, const AnsiString& OptionPrefix) {
  const AnsiString line = Trim(RawLine);
  if (line.empty() || line[0] == '#') return 0;
  const size_t eq = line.find('=');
  const AnsiString key = line.substr(0, eq);
  const AnsiString value = eq == AnsiString::npos ? AnsiString() : line.substr(eq + 1);
  if (key.empty() || value.empty()) {
    const AnsiString text = Format("%sInvalid syntax: \"%s\"", SyntaxPrefix, line);
    Log(llError, text);
    if (StrictOptions) {
      LastOptionMessage = text;
      return AVERROR(EINVAL);
    }
  }
  Log(llDebug, Format("Applying preset %s with argument %s.\n", key, value));
  LastOptionMessage.clear();
  int ret;
  const AnsiString lower = LowerCase(key);
  if (lower == "acodec") ret = OptAlias(&Context, "codec:a", value);
  else if (lower == "vcodec") ret = OptAlias(&Context, "codec:v", value);
  else if (lower == "scodec") ret = OptAlias(&Context, "codec:s", value);
  else if (lower == "dcodec") ret = OptAlias(&Context, "codec:d", value);
  else ret = OptDefaultNew(&Context, key, value);
  if (ret < 0) {
    const AnsiString text =
        Format("%sInvalid option or argument: \"%s\", parsed as \"%s\" = \"%s\"", OptionPrefix, line, key, value);
    Log(llError, text);
    if (StrictOptions) {
      LastOptionMessage = LastOptionMessage.empty() ? text : LastOptionMessage + "\r\n" + text;
      return ret;
    }
  }
  return 0;
}

int TCustomFFmpegOpt::ParsePresets(TOptionsContext& Context, const AnsiString& Presets, const AnsiString& WhatFor) {
  if (Presets.empty()) return 0;
  AnsiString text = Trim(Presets);
  AnsiString crlf;
  for (const AnsiString& l : SplitLines(text)) crlf += (crlf.empty() ? "" : "\r\n") + l;
  LogFmt(llInfo, "ParsePresets for %s:%s%s", WhatFor, "\r\n", crlf);
  text = StringReplace(text, "<CRLF>", "\n", rfReplaceAll);
  for (const AnsiString& line : SplitLines(text)) {
    const int ret = ApplyPresetLine(Context, line, "", "");
    if (ret < 0) return ret;
  }
  return 0;
}

int TCustomFFmpegOpt::OptPreset(void* Context, const AnsiString&, const AnsiString& Arg) {
  std::error_code ec;
  if (Arg.empty() || !std::filesystem::is_regular_file(std::filesystem::path(Arg), ec))
    return OptionFailure(this, llError, Format("Preset file \"%s\" not found", Arg), AVERROR(EINVAL));
  std::ifstream in(Arg, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  LogFmt(llInfo, "Parse preset file: %s", Arg);
  const AnsiString fileName = std::filesystem::path(Arg).filename().string();
  for (const AnsiString& line : SplitLines(content.str())) {
    const int ret = ApplyPresetLine(*Ctx(Context), line, Arg + ": ", fileName + ": ");
    if (ret < 0) return ret;
  }
  return 0;
}
