// From an option string in the FFmpeg command-line syntax to option values and FFmpeg option
// dictionaries: splitting into arguments, sorting them into a global and a per-file group,
// routing unknown options to the library that knows them, and writing the known ones.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "media/binding/ffmpeg_headers.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/types.h"

constexpr int OPT_HAS_ARG = 0x1;
constexpr int OPT_BOOL = 0x2;
constexpr int OPT_EXPERT = 0x4;
constexpr int OPT_STRING = 0x8;
constexpr int OPT_VIDEO = 0x10;
constexpr int OPT_AUDIO = 0x20;
constexpr int OPT_INT = 0x80;
constexpr int OPT_FLOAT = 0x100;
constexpr int OPT_SUBTITLE = 0x200;
constexpr int OPT_INT64 = 0x400;
constexpr int OPT_EXIT = 0x800;
constexpr int OPT_DATA = 0x1000;
constexpr int OPT_PERFILE = 0x2000;
constexpr int OPT_OFFSET = 0x4000;
constexpr int OPT_SPEC = 0x8000;
constexpr int OPT_TIME = 0x10000;
constexpr int OPT_DOUBLE = 0x20000;

// A handler gets the options context (none for global options), the option name as written and
// the argument; 0 or a negative FFmpeg error code.
using TOptionHandler = std::function<int(void* Context, const AnsiString& Option, const AnsiString& Arg)>;

// One entry of an option table; a table ends with an entry whose Name is empty. The target is
// Dest (a field of the option model), or Offset into the options context (OPT_OFFSET: a single
// value; OPT_SPEC: a TSpecifierList), or Handler for entries without a value kind.
struct TOptionDef {
  AnsiString Name;
  int Flags = 0;
  void* Dest = nullptr;
  std::size_t Offset = 0;
  TOptionHandler Handler;
  AnsiString Help;
  AnsiString ArgName;
};

// One per-stream value. Texts (the specifier and string values) are av_strdup copies.
struct TSpecifierOpt {
  char* Specifier;
  union {
    char* Str;
    int I;
    int64_t I64;
    float F;
    double Dbl;
  } U;
};

// A per-stream destination: the array and its element count.
struct TSpecifierList {
  TSpecifierOpt* Items;
  int Count;
};

struct TParsedOption {
  const TOptionDef* Opt;
  AnsiString Key;
  AnsiString Val;
};

struct TOptionGroup {
  std::vector<TParsedOption> Opts;
  AVDictionary* CodecOpts = nullptr;
  AVDictionary* FormatOpts = nullptr;
  AVDictionary* ResampleOpts = nullptr;
  SwsContext* SwsOpts = nullptr;
  AVDictionary* SwrOpts = nullptr;
};

// The text of the last option failure on this thread; the option model reads it right after a
// failure. Kept per thread so tasks parsing at once do not mix their texts.
extern thread_local AnsiString LastOptionMessage;

// Splits a command line: blanks and tabs separate arguments outside double quotes; a backslash
// run before a quote is halved, an odd run makes the quote literal; inside quotes a doubled quote
// gives one literal quote and ends the quoted stretch.
std::vector<AnsiString> ParseCommandLineArgs(const AnsiString& Text);

class TFFOptions : public TObject {
 public:
  TFFOptions();
  ~TFFOptions() override;

  void InitOpts();
  void UninitOpts();
  void InitParseContext();
  void UninitParseContext();
  // Moves the dictionaries gathered so far into the file group and starts fresh ones.
  void FinishGroup();
  TOptionGroup& GlobalGroup() { return FGlobalGroup; }
  TOptionGroup& FileGroup() { return FFileGroup; }

  // Sorts the arguments into the two groups; 0 or a negative FFmpeg error code.
  int SplitOptions(const std::vector<AnsiString>& Args, bool Strict, const TOptionDef* Table);
  // Routes an option that the table does not know to the codec, format, scaler or resampler
  // layer; 0, or AVERROR_OPTION_NOT_FOUND when none knows it.
  int OptDefault(const AnsiString& Name, const AnsiString& Arg);

  int SwsFlags = SWS_BICUBIC;
  SwsContext* SwsOpts = nullptr;
  AVDictionary* SwrOpts = nullptr;
  AVDictionary* FormatOpts = nullptr;
  AVDictionary* CodecOpts = nullptr;
  AVDictionary* ResampleOpts = nullptr;

 private:
  TOptionGroup FGlobalGroup;
  TOptionGroup FFileGroup;
};

// The entry whose name equals Name up to Name's first ":", else the table's end entry.
const TOptionDef* FindOption(const TOptionDef* Table, const AnsiString& Name);
int ParseOptionGroup(void* Context, TOptionGroup& Group, const AnsiString& GroupName);
// Applies one option; the number of arguments used (0 or 1), or a negative error code. A null
// Arg means that no argument followed.
int ParseOption(void* Context, const AnsiString& Name, const char* Arg, const TOptionDef* Table);
int WriteOption(void* Context, const TOptionDef* Def, const AnsiString& Key, const AnsiString& Arg);
// The index of the argument that names the option, -1 when none does.
int LocateOption(const std::vector<AnsiString>& Args, const TOptionDef* Table, const AnsiString& Wanted);
// Applies "-loglevel" (or "-v") ahead of the other options.
int ParseLogLevel(const std::vector<AnsiString>& Args, const TOptionDef* Table);
int OptLogLevel(const AnsiString& Arg);

// Number readers; a bad text raises FFmpegException naming the option and the text.
int ParseInt(const AnsiString& Option, const AnsiString& Text);
int64_t ParseInt64(const AnsiString& Option, const AnsiString& Text);
float ParseFloat(const AnsiString& Option, const AnsiString& Text);
double ParseDouble(const AnsiString& Option, const AnsiString& Text);
int64_t ParseTime(const AnsiString& Option, const AnsiString& Text, bool IsDuration);

int CheckStreamSpecifier(AVFormatContext* Context, AVStream* Stream, const char* Spec);
// The entries of Opts that apply to one stream's codec; null when a specifier is malformed.
AVDictionary* FilterCodecOptions(AVDictionary* Opts, AVCodecID CodecId, AVFormatContext* Context, AVStream* Stream,
                                 const AVCodec* Codec);
// One dictionary per stream of an input, for avformat_find_stream_info; null without streams.
AVDictionary** SetupFindStreamInfoOptions(AVFormatContext* Context, AVDictionary* CodecOpts);
// Grows an av_malloc'ed array to NewCount zeroed elements.
void* GrowArray(void* Array, int ElemSize, int& Count, int NewCount);
// Reads a whole file into an av_malloc'ed, zero-terminated buffer; Size counts the terminator.
int ReadFileToBuffer(const AnsiString& FileName, uint8_t*& Buffer, int& Size);
