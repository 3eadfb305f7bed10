#include "media/engine/custom_ffmpeg_opt.h"

#include <cstring>
#include <mutex>

#include "media/binding/entry_points.h"
#include "media/binding/error_text.h"
#include "media/binding/ffmpeg_exception.h"

namespace {
// A task's encoder worker and its loop may fail at the same moment.
std::mutex& ErrorMessageLock() {
  static std::mutex lock;
  return lock;
}
}  // namespace

TCustomFFmpegOpt::TCustomFFmpegOpt() {
  OptionsParser = new TFFOptions();
  ReadInterrupt.callback = &TCustomFFmpegOpt::ReadInterruptCallback;
  ReadInterrupt.opaque = this;
  WriteInterrupt.callback = &TCustomFFmpegOpt::WriteInterruptCallback;
  WriteInterrupt.opaque = this;
}

TCustomFFmpegOpt::~TCustomFFmpegOpt() {
  delete OptionsParser;
}

AnsiString TCustomFFmpegOpt::ThreadsOption() const { return ThreadShare > 0 ? IntToStr(ThreadShare) : "auto"; }

int TCustomFFmpegOpt::Fail(const AnsiString& Msg, int Code) {
  LastErrorMessage = Msg;
  Log(llFatal, Msg);
  return Code;
}

void TCustomFFmpegOpt::RaiseError(const AnsiString& Msg) {
  {
    std::lock_guard<std::mutex> hold(ErrorMessageLock());
    LastErrorMessage = Msg;
  }
  Log(llFatal, Msg);
  throw FFmpegException(Msg);
}

void TCustomFFmpegOpt::AbortCodecExperimental() { RaiseError("abort codec experimental"); }

void TCustomFFmpegOpt::CheckLeftoverOptions(AVDictionary* Dictionary) {
  const AVDictionaryEntry* e = ff::av_dict_get(Dictionary, "", nullptr, AV_DICT_IGNORE_SUFFIX);
  if (!e) return;
  const AnsiString text = Format("Option %s not found.", e->key);
  if (StrictOptions) RaiseError(text);
  LastErrorMessage = text;
}

void TCustomFFmpegOpt::InitOptionsContext(TOptionsContext& Context) {
  std::memset(&Context, 0, sizeof(Context));
  Context.RecordingTime = OptionNotSet;
  Context.StopTime = OptionNotSet;
  Context.LimitFilesize = OptionNotSet;
  Context.MuxMaxDelay = 0.7f;
  Context.ChaptersInputFile = ChaptersAutomatic;
  OptionsParser->InitParseContext();
  Context.Group = &OptionsParser->FileGroup();
}

void TCustomFFmpegOpt::UninitOptionsContext(TOptionsContext& Context) {
  for (const TOptionDef* po = FOptionTable; po && !po->Name.empty(); ++po) {
    char* base = reinterpret_cast<char*>(&Context) + po->Offset;
    if (po->Flags & OPT_SPEC) {
      auto* list = reinterpret_cast<TSpecifierList*>(base);
      for (int i = 0; i < list->Count; ++i) {
        ff::av_freep(&list->Items[i].Specifier);
        if (po->Flags & OPT_STRING) ff::av_freep(&list->Items[i].U.Str);
      }
      ff::av_freep(&list->Items);
      list->Count = 0;
    } else if ((po->Flags & OPT_OFFSET) && (po->Flags & OPT_STRING)) {
      ff::av_freep(reinterpret_cast<char**>(base));
    }
  }
  for (int i = 0; i < Context.NbStreamMaps; ++i) ff::av_freep(&Context.StreamMaps[i].LinkLabel);
  ff::av_freep(&Context.StreamMaps);
  Context.NbStreamMaps = 0;
  ff::av_freep(&Context.AudioChannelMaps);
  Context.NbAudioChannelMaps = 0;
  ff::av_freep(&Context.StreamIdMap);
  Context.NbStreamIdMap = 0;
  for (int i = 0; i < Context.NbAttachments; ++i) ff::av_freep(&Context.Attachments[i]);
  ff::av_freep(&Context.Attachments);
  Context.NbAttachments = 0;
  OptionsParser->UninitParseContext();
  Context.Group = nullptr;
}

int TCustomFFmpegOpt::ParseOptions(TOptionsContext& Context, const AnsiString& OptionString, const AnsiString& WhatFor,
                                   const AnsiString& Presets) {
  InitOptionTable();
  int ret = 0;
  std::vector<AnsiString> args;
  if (!OptionString.empty()) {
    LogFmt(llInfo, "ParseOptions for %s: %s", WhatFor, OptionString);
    args = ParseCommandLineArgs(OptionString);
    ParseLogLevel(args, FOptionTable);
    LastOptionMessage.clear();
    ret = OptionsParser->SplitOptions(args, StrictOptions, FOptionTable);
    if (ret >= 0 && !OptionsParser->GlobalGroup().Opts.empty())
      ret = ParseOptionGroup(nullptr, OptionsParser->GlobalGroup(), "global");
  } else {
    LastOptionMessage.clear();
  }
  if (ret >= 0) ret = ParsePresets(Context, Presets, WhatFor);
  if (ret >= 0 && !OptionsParser->FileGroup().Opts.empty())
    ret = ParseOptionGroup(&Context, OptionsParser->FileGroup(), WhatFor);
  if (ret < 0) {
    const AnsiString text = ErrorText(ret);
    Log(llFatal, text);
    if (StrictOptions) {
      LastErrorMessage = LastOptionMessage.empty() ? text : LastOptionMessage + "\r\n" + text;
      return ret;
    }
  }
  return StrictOptions ? ret : 0;
}

namespace {

template <class T>
T& SpecValue(TSpecifierOpt& o);
template <>
char*& SpecValue<char*>(TSpecifierOpt& o) { return o.U.Str; }
template <>
int& SpecValue<int>(TSpecifierOpt& o) { return o.U.I; }
template <>
int64_t& SpecValue<int64_t>(TSpecifierOpt& o) { return o.U.I64; }
template <>
double& SpecValue<double>(TSpecifierOpt& o) { return o.U.Dbl; }

template <class T>
void MatchList(TCustomFFmpegOpt& model, AVFormatContext* Ctx, AVStream* St, const TSpecifierList& List, T& Value) {
  for (int i = 0; i < List.Count; ++i) {
    TSpecifierOpt& o = List.Items[i];
    const int ret = CheckStreamSpecifier(Ctx, St, o.Specifier ? o.Specifier : "");
    if (ret > 0) Value = SpecValue<T>(o);
    else if (ret < 0) model.RaiseError(ErrorText("check_stream_specifier", ret));
  }
}

}  // namespace

void TCustomFFmpegOpt::MatchPerStreamOption(AVFormatContext* Ctx, AVStream* St, const TSpecifierList& List,
                                            char*& Value) {
  MatchList(*this, Ctx, St, List, Value);
}
void TCustomFFmpegOpt::MatchPerStreamOption(AVFormatContext* Ctx, AVStream* St, const TSpecifierList& List,
                                            int& Value) {
  MatchList(*this, Ctx, St, List, Value);
}
void TCustomFFmpegOpt::MatchPerStreamOption(AVFormatContext* Ctx, AVStream* St, const TSpecifierList& List,
                                            int64_t& Value) {
  MatchList(*this, Ctx, St, List, Value);
}
void TCustomFFmpegOpt::MatchPerStreamOption(AVFormatContext* Ctx, AVStream* St, const TSpecifierList& List,
                                            double& Value) {
  MatchList(*this, Ctx, St, List, Value);
}

void TCustomFFmpegOpt::MatchPerTypeCodecName(const TOptionsContext& Context, char Letter, char*& Name) {
  const char spec[2] = {Letter, 0};
  for (int i = 0; i < Context.CodecNames.Count; ++i) {
    const TSpecifierOpt& o = Context.CodecNames.Items[i];
    if (o.Specifier && std::strcmp(o.Specifier, spec) == 0) Name = o.U.Str;
  }
}

namespace {

int InterruptCheck(TCustomFFmpegOpt* model, int64_t start, int timeout, const char* direction,
                   bool honourBreak = true) {
  if (honourBreak && model->IOBroken) {
    FFLogger()->Log(model, llInfo, "reading/writing broken");
    return 1;
  }
  if (start == INT64_MAX || timeout <= 0) return 0;
  const int64_t elapsed = ff::av_gettime() - start;
  if (elapsed > static_cast<int64_t>(timeout) * 1000) {
    // A start time of 0 is how a stop request that predates the call shows up.
    FFLogger()->Log(model, llInfo, Format(start == 0 ? "connecting/%s canceled" : "connecting/%s timeout", direction));
    return 1;
  }
  return 0;
}

}  // namespace

int TCustomFFmpegOpt::ReadInterruptCallback(void* Opaque) {
  auto* model = static_cast<TCustomFFmpegOpt*>(Opaque);
  return InterruptCheck(model, model->ReadStartTime, model->ReadTimeout, "reading");
}

int TCustomFFmpegOpt::WriteInterruptCallback(void* Opaque) {
  auto* model = static_cast<TCustomFFmpegOpt*>(Opaque);
  return InterruptCheck(model, model->WriteStartTime, model->WriteTimeout, "writing", !model->WriteIgnoresBreak);
}

bool TCustomFFmpegOpt::ReadTimedOut(int Code) const {
  // The read interrupt answers "abort" for a stop or for the time-out; without a stop it was
  // the time-out.
  return Code == AVERROR_EXIT && !IOBroken && ReadTimeout > 0;
}

AnsiString TCustomFFmpegOpt::ReadTimeoutText(const AnsiString& File) const {
  const AnsiString limit = ReadTimeout % 1000 == 0 ? Format("%d s", ReadTimeout / 1000) : Format("%d ms", ReadTimeout);
  return Format("No data arrived from \"%s\" within the read time-out of %s.", File, limit);
}

AnsiString TCustomFFmpegOpt::ReadFailureText(const AnsiString& File, int Code) const {
  return ReadTimedOut(Code) ? ReadTimeoutText(File) : ErrorText(File, Code);
}
