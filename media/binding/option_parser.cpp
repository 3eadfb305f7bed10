#include "media/binding/option_parser.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "media/binding/entry_points.h"
#include "media/binding/ffmpeg_exception.h"
#include "media/binding/logger.h"
#include "platform/rtl/sysutils.h"

thread_local AnsiString LastOptionMessage;

namespace {

void LogAt(int level, const AnsiString& text) {
  if (ff::av_log) ff::av_log(nullptr, level, "%s", text.c_str());
}

bool StartsWith(const AnsiString& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

void AppendOptionMessage(const AnsiString& text) {
  if (!LastOptionMessage.empty()) LastOptionMessage += "\r\n";
  LastOptionMessage += text;
}

// AV_OPT_SEARCH_FAKE_OBJ: the searches below look at classes, not at objects.
const AVOption* FindClassOption(const AVClass* cls, const AnsiString& name, int flags, bool children) {
  if (!cls) return nullptr;
  return ff::av_opt_find(&cls, name.c_str(), nullptr, flags,
                         AV_OPT_SEARCH_FAKE_OBJ | (children ? AV_OPT_SEARCH_CHILDREN : 0));
}

int DictFlagsFor(const AVOption* o) { return o && o->type == AV_OPT_TYPE_FLAGS ? AV_DICT_APPEND : 0; }

}  // namespace

std::vector<AnsiString> ParseCommandLineArgs(const AnsiString& Text) {
  std::vector<AnsiString> args;
  const char* p = Text.c_str();
  bool inQuote = false;
  for (;;) {
    while (*p == ' ' || *p == '\t') ++p;
    if (!*p) break;
    AnsiString arg;
    for (;;) {
      bool copy = true;
      size_t slashes = 0;
      while (*p == '\\') {
        ++p;
        ++slashes;
      }
      if (*p == '"') {
        if (slashes % 2 == 0) {
          if (inQuote && p[1] == '"') ++p;  // a doubled quote inside quotes: one literal quote
          else copy = false;
          inQuote = !inQuote;
        }
        slashes /= 2;
      }
      arg.append(slashes, '\\');
      if (!*p || (!inQuote && (*p == ' ' || *p == '\t'))) break;
      if (copy) arg += *p;
      ++p;
    }
    args.push_back(std::move(arg));
  }
  return args;
}

TFFOptions::TFFOptions() = default;

TFFOptions::~TFFOptions() {
  UninitParseContext();
}

void TFFOptions::UninitOpts() {
  if (SwsOpts && ff::sws_freeContext) ff::sws_freeContext(SwsOpts);
  SwsOpts = nullptr;
  if (ff::av_dict_free) {
    ff::av_dict_free(&SwrOpts);
    ff::av_dict_free(&FormatOpts);
    ff::av_dict_free(&CodecOpts);
    ff::av_dict_free(&ResampleOpts);
  }
}

void TFFOptions::InitOpts() {
  UninitOpts();
  // The scaler options live on a scaler object; a bare one holds them as well as a working one.
  if (ff::sws_alloc_context) SwsOpts = ff::sws_alloc_context();
}

namespace {

void FreeGroup(TOptionGroup& g) {
  g.Opts.clear();
  if (ff::av_dict_free) {
    ff::av_dict_free(&g.CodecOpts);
    ff::av_dict_free(&g.FormatOpts);
    ff::av_dict_free(&g.ResampleOpts);
    ff::av_dict_free(&g.SwrOpts);
  }
  if (g.SwsOpts && ff::sws_freeContext) ff::sws_freeContext(g.SwsOpts);
  g.SwsOpts = nullptr;
}

}  // namespace

void TFFOptions::InitParseContext() {
  FreeGroup(FGlobalGroup);
  FreeGroup(FFileGroup);
  InitOpts();
}

void TFFOptions::UninitParseContext() {
  FreeGroup(FGlobalGroup);
  FreeGroup(FFileGroup);
  UninitOpts();
}

void TFFOptions::FinishGroup() {
  EngineAssert(!FFileGroup.CodecOpts && !FFileGroup.FormatOpts && !FFileGroup.ResampleOpts && !FFileGroup.SwrOpts &&
                   !FFileGroup.SwsOpts,
               "The file group is finished already");
  FFileGroup.SwsOpts = SwsOpts;
  FFileGroup.SwrOpts = SwrOpts;
  FFileGroup.CodecOpts = CodecOpts;
  FFileGroup.FormatOpts = FormatOpts;
  FFileGroup.ResampleOpts = ResampleOpts;
  SwsOpts = nullptr;
  SwrOpts = FormatOpts = CodecOpts = ResampleOpts = nullptr;
  InitOpts();
}

const TOptionDef* FindOption(const TOptionDef* Table, const AnsiString& Name) {
  const AnsiString bare = Name.substr(0, Name.find(':'));
  const TOptionDef* po = Table;
  while (!po->Name.empty() && po->Name != bare) ++po;
  return po;
}

int TFFOptions::SplitOptions(const std::vector<AnsiString>& Args, bool Strict, const TOptionDef* Table) {
  LogAt(AV_LOG_DEBUG, "Parsing the options.\n");
  for (size_t i = 0; i < Args.size(); ++i) {
    const AnsiString& arg = Args[i];
    LogAt(AV_LOG_DEBUG, Format("Reading option \"%s\" ... ", arg));
    if (arg.size() < 2 || arg[0] != '-') {
      if (Strict) {
        LastOptionMessage = arg.empty() ? AnsiString("Failed to parse options") : "Failed to parse options on " + arg;
        LogAt(AV_LOG_ERROR, LastOptionMessage + "\n");
        return AVERROR(EINVAL);
      }
      LogAt(AV_LOG_ERROR, arg.empty() ? AnsiString("Invalid option found while parsing options, ignore\n")
                                      : Format("Invalid option %s found while parsing options, ignore\n", arg));
      continue;
    }
    const AnsiString name = arg.substr(1);
    const TOptionDef* po = FindOption(Table, name);
    if (!po->Name.empty()) {
      AnsiString value = "1";
      if (po->Flags & OPT_HAS_ARG) {
        if (i + 1 >= Args.size()) {
          LogAt(AV_LOG_ERROR, Format("Missing argument for option \"%s\".\n", name));
          return AVERROR(EINVAL);
        }
        value = Args[++i];
      }
      TOptionGroup& group = (po->Flags & (OPT_PERFILE | OPT_OFFSET | OPT_SPEC)) ? FFileGroup : FGlobalGroup;
      group.Opts.push_back({po, name, value});
      LogAt(AV_LOG_DEBUG, Format("matched as option \"%s\" (%s) with argument \"%s\".\n", po->Name, po->Help, value));
      continue;
    }
    if (i + 1 < Args.size()) {
      const int ret = OptDefault(name, Args[i + 1]);
      if (ret >= 0) {
        LogAt(AV_LOG_DEBUG, Format("matched as AVOption \"%s\" with argument \"%s\".\n", name, Args[i + 1]));
        ++i;
        continue;
      }
      if (ret != AVERROR_OPTION_NOT_FOUND) {
        LogAt(AV_LOG_ERROR, Format("Error parsing option \"%s\" with argument \"%s\".\n", name, Args[i + 1]));
        return ret;
      }
    }
    if (StartsWith(name, "no")) {
      const TOptionDef* negated = FindOption(Table, name.substr(2));
      if (!negated->Name.empty() && (negated->Flags & OPT_BOOL)) {
        TOptionGroup& group = (negated->Flags & (OPT_PERFILE | OPT_OFFSET | OPT_SPEC)) ? FFileGroup : FGlobalGroup;
        group.Opts.push_back({negated, name.substr(2), "0"});
        LogAt(AV_LOG_DEBUG, Format("matched as option \"%s\" (%s) with argument 0.\n", negated->Name, negated->Help));
        continue;
      }
    }
    LogAt(AV_LOG_ERROR, Format("Unrecognized option \"%s\".\n", name));
    if (Strict) return AVERROR_OPTION_NOT_FOUND;
  }
  FinishGroup();
  LogAt(AV_LOG_DEBUG, "Finished parsing the options.\n");
  return 0;
}

int TFFOptions::OptDefault(const AnsiString& Name, const AnsiString& Arg) {
  if (Name == "debug" || Name == "fdebug") FFLogger()->SetLogLevel(llDebug);
  const AnsiString stripped = Name.substr(0, std::min<size_t>(Name.find(':'), 127));
  bool used = false;

  const AVClass* cc = ff::avcodec_get_class();
  const AVOption* o = FindClassOption(cc, stripped, 0, true);
  if (!o && !Name.empty() && (Name[0] == 'v' || Name[0] == 'a' || Name[0] == 's')) o = FindClassOption(cc, Name.substr(1), 0, false);
  if (o) {
    ff::av_dict_set(&CodecOpts, Name.c_str(), Arg.c_str(), DictFlagsFor(o));
    used = true;
  }
  o = FindClassOption(ff::avformat_get_class(), Name, 0, true);
  if (o) {
    ff::av_dict_set(&FormatOpts, Name.c_str(), Arg.c_str(), DictFlagsFor(o));
    if (used) LogAt(AV_LOG_VERBOSE, Format("Routing %s to codec and muxer layer\n", Name));
    used = true;
  }
  if (!used && FindClassOption(ff::sws_get_class(), Name, 0, true)) {
    if (!SwsOpts) InitOpts();
    const int ret = SwsOpts ? ff::av_opt_set(SwsOpts, Name.c_str(), Arg.c_str(), 0) : AVERROR(ENOMEM);
    if (ret < 0) {
      LastOptionMessage = Format("Error setting option \"%s\"", Name);
      LogAt(AV_LOG_ERROR, LastOptionMessage + "\n");
      return ret;
    }
    used = true;
  }
  if (!used && (o = FindClassOption(ff::swr_get_class(), Name, 0, true))) {
    SwrContext* swr = ff::swr_alloc();
    const int ret = swr ? ff::av_opt_set(swr, Name.c_str(), Arg.c_str(), 0) : AVERROR(ENOMEM);
    ff::swr_free(&swr);
    if (ret < 0) {
      LastOptionMessage = Format("Error setting option \"%s\"", Name);
      LogAt(AV_LOG_ERROR, LastOptionMessage + "\n");
      return ret;
    }
    ff::av_dict_set(&SwrOpts, Name.c_str(), Arg.c_str(), DictFlagsFor(o));
    used = true;
  }
  return used ? 0 : AVERROR_OPTION_NOT_FOUND;
}

int ParseOptionGroup(void* Context, TOptionGroup& Group, const AnsiString& GroupName) {
  LogAt(AV_LOG_DEBUG, Format("Parsing a group of options: %s.\n", GroupName));
  for (const TParsedOption& o : Group.Opts) {
    LogAt(AV_LOG_DEBUG, Format("Applying option %s (%s) with argument %s.\n", o.Key, o.Opt->Help, o.Val));
    const int ret = WriteOption(Context, o.Opt, o.Key, o.Val);
    if (ret < 0) return ret;
  }
  LogAt(AV_LOG_DEBUG, "Successfully parsed a group of options.\n");
  return 0;
}

int WriteOption(void* Context, const TOptionDef* Def, const AnsiString& Key, const AnsiString& Arg) {
  void* dest = Def->Dest;
  if (Def->Flags & (OPT_OFFSET | OPT_SPEC)) {
    EngineAssert(Context != nullptr, "An options context is needed for a per-file option");
    dest = static_cast<char*>(Context) + Def->Offset;
  }
  if (Def->Flags & OPT_SPEC) {
    auto* list = static_cast<TSpecifierList*>(dest);
    list->Items = static_cast<TSpecifierOpt*>(GrowArray(list->Items, sizeof(TSpecifierOpt), list->Count, list->Count + 1));
    TSpecifierOpt& item = list->Items[list->Count - 1];
    const size_t colon = Key.find(':');
    item.Specifier = ff::av_strdup(colon == AnsiString::npos ? "" : Key.c_str() + colon + 1);
    dest = &item.U;
  }
  if (Def->Flags & OPT_STRING) {
    // A repeated single-valued option replaces the text it gave before; per-stream lists grow
    // instead, so their new item holds nothing yet.
    auto** text = static_cast<char**>(dest);
    if (!(Def->Flags & OPT_SPEC)) ff::av_freep(text);
    *text = ff::av_strdup(Arg.c_str());
  } else if (Def->Flags & (OPT_BOOL | OPT_INT)) {
    *static_cast<int*>(dest) = ParseInt(Key, Arg);
  } else if (Def->Flags & OPT_INT64) {
    *static_cast<int64_t*>(dest) = ParseInt64(Key, Arg);
  } else if (Def->Flags & OPT_TIME) {
    *static_cast<int64_t*>(dest) = ParseTime(Key, Arg, true);
  } else if (Def->Flags & OPT_FLOAT) {
    *static_cast<float*>(dest) = ParseFloat(Key, Arg);
  } else if (Def->Flags & OPT_DOUBLE) {
    *static_cast<double*>(dest) = ParseDouble(Key, Arg);
  } else if (Def->Handler) {
    LastOptionMessage.clear();
    const int ret = Def->Handler(Context, Key, Arg);
    if (ret < 0) {
      const AnsiString text = Format("Failed to set value \"%s\" for option \"%s\"", Arg, Key);
      AppendOptionMessage(text);
      LogAt(AV_LOG_ERROR, text + "\n");
      return ret;
    }
  }
  return 0;
}

int ParseOption(void* Context, const AnsiString& Name, const char* Arg, const TOptionDef* Table) {
  const TOptionDef* po = FindOption(Table, Name);
  AnsiString value = Arg ? Arg : "";
  bool haveArg = Arg != nullptr;
  if (po->Name.empty() && StartsWith(Name, "no")) {
    const TOptionDef* negated = FindOption(Table, Name.substr(2));
    if (!negated->Name.empty() && (negated->Flags & OPT_BOOL)) {
      po = negated;
      value = "0";
      haveArg = true;
    }
  } else if (po->Flags & OPT_BOOL) {
    value = "1";
    haveArg = true;
  }
  if (po->Name.empty()) po = FindOption(Table, "default");
  if (po->Name.empty()) {
    LastOptionMessage = Format("Unrecognized option \"%s\"", Name);
    LogAt(AV_LOG_ERROR, LastOptionMessage + "\n");
    return AVERROR(EINVAL);
  }
  if ((po->Flags & OPT_HAS_ARG) && !haveArg) {
    LastOptionMessage = Format("Missing argument for option \"%s\"", Name);
    LogAt(AV_LOG_ERROR, LastOptionMessage + "\n");
    return AVERROR(EINVAL);
  }
  const int ret = WriteOption(Context, po, Name, value);
  if (ret < 0) return ret;
  return (po->Flags & OPT_HAS_ARG) ? 1 : 0;
}

int LocateOption(const std::vector<AnsiString>& Args, const TOptionDef* Table, const AnsiString& Wanted) {
  for (size_t i = 0; i < Args.size(); ++i) {
    const AnsiString& arg = Args[i];
    if (arg.empty() || arg[0] != '-') continue;
    const AnsiString name = arg.substr(1);
    const TOptionDef* po = FindOption(Table, name);
    if (po->Name.empty() && StartsWith(name, "no")) po = FindOption(Table, name.substr(2));
    if ((po->Name.empty() && name == Wanted) || (!po->Name.empty() && po->Name == Wanted)) return static_cast<int>(i);
    if (po->Flags & OPT_HAS_ARG) ++i;
  }
  return -1;
}

int ParseLogLevel(const std::vector<AnsiString>& Args, const TOptionDef* Table) {
  int index = LocateOption(Args, Table, "loglevel");
  if (index < 0) index = LocateOption(Args, Table, "v");
  if (index >= 0 && static_cast<size_t>(index) + 1 < Args.size()) return OptLogLevel(Args[index + 1]);
  return 0;
}

int OptLogLevel(const AnsiString& Arg) {
  static const struct {
    const char* Name;
    int Level;
  } levels[] = {{"quiet", AV_LOG_QUIET},     {"panic", AV_LOG_PANIC}, {"fatal", AV_LOG_FATAL},
                {"error", AV_LOG_ERROR},     {"warning", AV_LOG_WARNING}, {"info", AV_LOG_INFO},
                {"verbose", AV_LOG_VERBOSE}, {"debug", AV_LOG_DEBUG}};
  for (const auto& l : levels) {
    if (Arg == l.Name) {
      FFLogger()->SetLogLevel(FFmpegToLogLevel(l.Level));
      return 0;
    }
  }
  char* tail = nullptr;
  errno = 0;
  const long value = std::strtol(Arg.c_str(), &tail, 10);
  if (*tail == '\0' && errno == 0 && value >= INT_MIN && value <= INT_MAX) {
    FFLogger()->SetLogLevel(FFmpegToLogLevel(static_cast<int>(value)));
    return 0;
  }
  AnsiString text = Format("Invalid loglevel \"%s\". Possible levels are numbers or:\r\n", Arg);
  for (const auto& l : levels) text += Format("\"%s\"\r\n", l.Name);
  LastOptionMessage = text;
  AnsiString logged;
  for (char c : text) {
    if (c != '\r') logged += c;
  }
  LogAt(AV_LOG_ERROR, logged);
  return AVERROR(EINVAL);
}

namespace {

// Leading blanks, an optional sign, decimal digits or hexadecimal digits after "$", "x" or "0x",
// nothing after them, within [low, high].
bool ReadInteger(const AnsiString& text, int64_t low, int64_t high, int64_t& value) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  } else if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) {
    base = 16;
    ++i;
  }
  if (i >= text.size()) return false;
  unsigned __int128 magnitude = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return false;
    magnitude = magnitude * base + digit;
    if (magnitude > (static_cast<unsigned __int128>(1) << 64)) return false;
  }
  const __int128 signedValue = negative ? -static_cast<__int128>(magnitude) : static_cast<__int128>(magnitude);
  if (signedValue < low || signedValue > high) return false;
  value = static_cast<int64_t>(signedValue);
  return true;
}

}  // namespace

int ParseInt(const AnsiString& Option, const AnsiString& Text) {
  int64_t value;
  if (!ReadInteger(Text, INT_MIN, INT_MAX, value))
    throw FFmpegException(Format("Expected integer for \"%s\" but found \"%s\"", Option, Text));
  return static_cast<int>(value);
}

int64_t ParseInt64(const AnsiString& Option, const AnsiString& Text) {
  int64_t value;
  if (!ReadInteger(Text, INT64_MIN, INT64_MAX, value))
    throw FFmpegException(Format("Expected int64 for \"%s\" but found \"%s\"", Option, Text));
  return value;
}

float ParseFloat(const AnsiString& Option, const AnsiString& Text) {
  double value;
  if (!TryStrToFloat(Text, value) || std::abs(value) > 3.4028234663852886e38)
    throw FFmpegException(Format("Expected float for \"%s\" but found \"%s\"", Option, Text));
  return static_cast<float>(value);
}

double ParseDouble(const AnsiString& Option, const AnsiString& Text) {
  double value;
  if (!TryStrToFloat(Text, value))
    throw FFmpegException(Format("Expected double for \"%s\" but found \"%s\"", Option, Text));
  return value;
}

int64_t ParseTime(const AnsiString& Option, const AnsiString& Text, bool IsDuration) {
  int64_t us = 0;
  if (ff::av_parse_time(&us, Text.c_str(), IsDuration ? 1 : 0) < 0)
    throw FFmpegException(
        Format("Invalid %s specification for \"%s\": \"%s\"", IsDuration ? "duration" : "date", Option, Text));
  return us;
}

int CheckStreamSpecifier(AVFormatContext* Context, AVStream* Stream, const char* Spec) {
  const int ret = ff::avformat_match_stream_specifier(Context, Stream, Spec);
  if (ret < 0) ff::av_log(Context, AV_LOG_ERROR, "Invalid stream specifier: %s.\n", Spec);
  return ret;
}

AVDictionary* FilterCodecOptions(AVDictionary* Opts, AVCodecID CodecId, AVFormatContext* Context, AVStream* Stream,
                                 const AVCodec* Codec) {
  AVDictionary* result = nullptr;
  int flags = Context->oformat ? AV_OPT_FLAG_ENCODING_PARAM : AV_OPT_FLAG_DECODING_PARAM;
  if (!Codec) Codec = Context->oformat ? ff::avcodec_find_encoder(CodecId) : ff::avcodec_find_decoder(CodecId);
  char prefix = 0;
  switch (Stream->codecpar->codec_type) {
    case AVMEDIA_TYPE_VIDEO:
      prefix = 'v';
      flags |= AV_OPT_FLAG_VIDEO_PARAM;
      break;
    case AVMEDIA_TYPE_AUDIO:
      prefix = 'a';
      flags |= AV_OPT_FLAG_AUDIO_PARAM;
      break;
    case AVMEDIA_TYPE_SUBTITLE:
      prefix = 's';
      flags |= AV_OPT_FLAG_SUBTITLE_PARAM;
      break;
    default:
      break;
  }
  const AVClass* cc = ff::avcodec_get_class();
  const AVDictionaryEntry* t = nullptr;
  while ((t = ff::av_dict_get(Opts, "", t, AV_DICT_IGNORE_SUFFIX))) {
    AnsiString key = t->key;
    const size_t colon = key.find(':');
    if (colon != AnsiString::npos) {
      const int match = CheckStreamSpecifier(Context, Stream, key.c_str() + colon + 1);
      if (match < 0) {
        ff::av_dict_free(&result);
        return nullptr;
      }
      if (match == 0) continue;
      key.resize(colon);
    }
    // A stream whose codec this build lacks still gets the generic codec options.
    if (FindClassOption(cc, key, flags, false) ||
        (Codec && Codec->priv_class && FindClassOption(Codec->priv_class, key, flags, false))) {
      ff::av_dict_set(&result, key.c_str(), t->value, 0);
    } else if (prefix && !key.empty() && key[0] == prefix && FindClassOption(cc, key.substr(1), flags, false)) {
      ff::av_dict_set(&result, key.c_str() + 1, t->value, 0);
    }
  }
  return result;
}

AVDictionary** SetupFindStreamInfoOptions(AVFormatContext* Context, AVDictionary* CodecOpts) {
  if (!Context->nb_streams) return nullptr;
  auto** opts = static_cast<AVDictionary**>(ff::av_mallocz(Context->nb_streams * sizeof(AVDictionary*)));
  if (!opts) {
    ff::av_log(nullptr, AV_LOG_ERROR, "Could not alloc memory for stream options.\n");
    return nullptr;
  }
  for (unsigned i = 0; i < Context->nb_streams; ++i) {
    opts[i] = FilterCodecOptions(CodecOpts, Context->streams[i]->codecpar->codec_id, Context, Context->streams[i], nullptr);
  }
  return opts;
}

void* GrowArray(void* Array, int ElemSize, int& Count, int NewCount) {
  if (ElemSize <= 0 || NewCount < 0 || NewCount >= INT_MAX / ElemSize) throw FFmpegException("Array too big.");
  if (Count < NewCount) {
    auto* grown = static_cast<uint8_t*>(ff::av_realloc(Array, static_cast<size_t>(NewCount) * ElemSize));
    if (!grown) throw FFmpegException("Could not alloc buffer.");
    std::memset(grown + static_cast<size_t>(Count) * ElemSize, 0, static_cast<size_t>(NewCount - Count) * ElemSize);
    Count = NewCount;
    return grown;
  }
  return Array;
}

int ReadFileToBuffer(const AnsiString& FileName, uint8_t*& Buffer, int& Size) {
  Buffer = nullptr;
  Size = 0;
  FILE* f = std::fopen(FileName.c_str(), "rb");
  if (!f) {
    ff::av_log(nullptr, AV_LOG_ERROR, "Cannot read file \"%s\"\n", FileName.c_str());
    return -1;
  }
  long length = -1;
  if (std::fseek(f, 0, SEEK_END) == 0) length = std::ftell(f);
  if (length < 0 || std::fseek(f, 0, SEEK_SET) != 0) {
    std::fclose(f);
    ff::av_log(nullptr, AV_LOG_ERROR, "IO error\n");
    return AVERROR(EIO);
  }
  // The size plus its terminator must fit the int the callers keep it in.
  uint8_t* buffer = length < INT_MAX ? static_cast<uint8_t*>(ff::av_malloc(static_cast<size_t>(length) + 1)) : nullptr;
  if (!buffer) {
    std::fclose(f);
    ff::av_log(nullptr, AV_LOG_ERROR, "Could not allocate file buffer\n");
    return AVERROR(ENOMEM);
  }
  const size_t got = std::fread(buffer, 1, static_cast<size_t>(length), f);
  if (got != static_cast<size_t>(length)) {
    const bool failed = std::ferror(f) != 0;
    ff::av_free(buffer);
    std::fclose(f);
    if (failed) {
      ff::av_log(nullptr, AV_LOG_ERROR, "Error while reading file \"%s\"\n", FileName.c_str());
      return AVERROR(EIO);
    }
    return AVERROR_EOF;
  }
  std::fclose(f);
  buffer[length] = 0;
  Buffer = buffer;
  Size = static_cast<int>(length) + 1;
  return 0;
}
