// An option model for tests: the task object's two hook handlers record their arguments, and the
// records a task's clean-up would release are released when the model goes.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "media/binding/entry_points.h"
#include "media/binding/unicode_protocol.h"
#include "media/engine/custom_ffmpeg_opt.h"
#include "platform/rtl/strings.h"
#include "tests/media/binding/load_ffmpeg.h"
#include "tests/support/fixtures.h"

class TTestOptionModel : public TCustomFFmpegOpt {
 public:
  TTestOptionModel() { InitOptionTable(); }
  ~TTestOptionModel() override {
    FreeFilterGraphs();
    for (TOutputFile* of : OutputFiles) {
      if (!(of->Ctx->oformat->flags & AVFMT_NOFILE)) CloseOutputIO(of->Ctx);
      ff::avformat_free_context(of->Ctx);
      ff::av_dict_free(&of->Opts);
      delete of;
    }
    FreeOutputStreams();
    for (TInputStream* ist : InputStreams) {
      ff::avcodec_free_context(&ist->DecCtx);
      ff::av_dict_free(&ist->Opts);
      ff::av_frame_free(&ist->Sub2Video.Frame);
      delete ist;
    }
    for (TInputFile* f : InputFiles) {
      CloseInputFile(&f->Ctx);
      delete f;
    }
    if (ProgressAvio) ff::avio_closep(&ProgressAvio);
  }
  int OptVHook(void*, const AnsiString&, const AnsiString& Arg) override {
    VHook = Arg;
    return 0;
  }
  int OptVideoHookBitsPixel(void*, const AnsiString&, const AnsiString& Arg) override {
    HookBits = Arg;
    return 0;
  }
  AnsiString VHook, HookBits;
};

// One options context, initialised and finalised around a test's use of it.
struct TScopedContext {
  explicit TScopedContext(TCustomFFmpegOpt& m) : Model(m) { Model.InitOptionsContext(C); }
  ~TScopedContext() { Model.UninitOptionsContext(C); }
  TCustomFFmpegOpt& Model;
  TOptionsContext C;
};

// Opens Input in the model with the given input options; returns its index (negative on failure).
inline int OpenInput(TCustomFFmpegOpt& Model, const std::string& Input, const AnsiString& Options = "",
                     const AnsiString& Presets = "") {
  TScopedContext ctx(Model);
  return Model.OpenInputFile(ctx.C, Options, UTF8Decode(Input), Presets);
}

inline int OpenOutput(TCustomFFmpegOpt& Model, const std::string& Output, const AnsiString& Options,
                      const AnsiString& Presets = "") {
  TScopedContext ctx(Model);
  return Model.OpenOutputFile(ctx.C, Options, false, UTF8Decode(Output), Presets);
}

// A short clip: 320x240 video at 10 frames a second with stereo audio, 2 seconds.
inline std::string SimpleClip() {
  return testsupport::Fixture(
      "engine-simple.mkv",
      "ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=320x240:rate=10:duration=2 "
      "-f lavfi -i sine=f=440:sample_rate=44100:duration=2 -ac 2 -c:v mpeg4 -c:a pcm_s16le -f matroska {out}");
}

// Two video streams (160x120, 320x240) and two audio streams (2 and 6 channels), with global
// metadata, stream titles and two chapters.
inline std::string MultiStreamClip() {
  return testsupport::Fixture(
      "engine-multi.mkv",
      "printf ';FFMETADATA1\\ntitle=Clip Title\\nartist=Someone\\n[CHAPTER]\\nTIMEBASE=1/1000\\nSTART=0\\nEND=500\\n"
      "title=First\\n[CHAPTER]\\nTIMEBASE=1/1000\\nSTART=500\\nEND=1000\\ntitle=Second\\n' > {out}.meta && "
      "ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=160x120:rate=10:duration=1 "
      "-f lavfi -i testsrc2=size=320x240:rate=10:duration=1 -f lavfi -i sine=f=440:duration=1 "
      "-f lavfi -i sine=f=220:duration=1 -i {out}.meta "
      "-filter_complex '[2]aformat=channel_layouts=stereo[a2];[3]aformat=channel_layouts=5.1[a6]' "
      "-map 0:v -map 1:v -map '[a2]' -map '[a6]' -map_metadata 4 -map_chapters 4 "
      "-metadata:s:v:1 title=BigVideo -metadata:s:a:1 title=SurroundAudio "
      "-c:v mpeg4 -c:a pcm_s16le -f matroska {out} && rm -f {out}.meta");
}

// Collects the logger's lines while it lives.
class TLogCapture {
 public:
  TLogCapture() {
    FFLogger()->SetTriggerEventInMainThread(false);
    FFLogger()->SetLogLevel(llDebug);
    FFLogger()->SetOnLog([this](TObject*, DWORD, TLogLevel, const AnsiString& text) { Lines.push_back(text); });
  }
  ~TLogCapture() {
    FFLogger()->SetOnLog(nullptr);
    FFLogger()->SetLogLevel(llInfo);
  }
  bool Has(const AnsiString& text) const {
    for (const AnsiString& l : Lines)
      if (l.find(text) != AnsiString::npos) return true;
    return false;
  }
  std::vector<AnsiString> Lines;
};
