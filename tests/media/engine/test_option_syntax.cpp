#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "media/binding/error_text.h"
#include "tests/media/engine/engine_test_model.h"

using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

// The last entry of a per-stream list, as "specifier=value" for text values.
AnsiString LastText(const TSpecifierList& l) {
  if (!l.Count) return "<none>";
  return AnsiString(l.Items[l.Count - 1].Specifier) + "=" + l.Items[l.Count - 1].U.Str;
}

AnsiString Dict(AVDictionary* d, const char* key) {
  const AVDictionaryEntry* e = ff::av_dict_get(d, key, nullptr, 0);
  return e ? e->value : "<none>";
}

class OptionSyntax : public ::testing::Test {
 protected:
  void SetUp() override { LoadFFmpegForTest(); }
};

struct TParseCase {
  const char* Options;
  std::function<void(const TTestOptionModel&, const TOptionsContext&)> Check;
};

// Every option shape the frame, audio and clip runs write.
TEST_F(OptionSyntax, ApplicationOptionStringsReachTheirValues) {
  const TParseCase cases[] = {
      {" -ss 00:00:10.000", [](auto&, auto& c) { EXPECT_EQ(c.StartTime, 10000000); }},
      {" -ss 12.5", [](auto&, auto& c) { EXPECT_EQ(c.StartTime, 12500000); }},
      {" -f mpeg -ss 1", [](auto&, auto& c) { EXPECT_STREQ(c.Format, "mpeg"); }},
      {" -y", [](auto& m, auto&) { EXPECT_EQ(m.FileOverwrite, 1); }},
      {" -q:v 0", [](auto&, auto& c) {
         ASSERT_EQ(c.QScale.Count, 1);
         EXPECT_STREQ(c.QScale.Items[0].Specifier, "v");
         EXPECT_EQ(c.QScale.Items[0].U.Dbl, 0.0);
       }},
      {" -q:a 0", [](auto&, auto& c) {
         ASSERT_EQ(c.QScale.Count, 1);
         EXPECT_STREQ(c.QScale.Items[0].Specifier, "a");
       }},
      {" -f image2", [](auto&, auto& c) { EXPECT_STREQ(c.Format, "image2"); }},
      {" -t 00:00:02.500", [](auto&, auto& c) { EXPECT_EQ(c.RecordingTime, 2500000); }},
      {" -r 0.333333333333333", [](auto&, auto& c) { EXPECT_EQ(LastText(c.FrameRates), "=0.333333333333333"); }},
      {" -r 25", [](auto&, auto& c) { EXPECT_EQ(LastText(c.FrameRates), "=25"); }},
      {" -vsync vfr", [](auto& m, auto&) { EXPECT_EQ(m.VideoSyncMethod, 2); }},
      {" -vframes 1", [](auto&, auto& c) {
         ASSERT_EQ(c.MaxFrames.Count, 1);
         EXPECT_STREQ(c.MaxFrames.Items[0].Specifier, "v");
         EXPECT_EQ(c.MaxFrames.Items[0].U.I64, 1);
       }},
      {" -aspect 642:480", [](auto&, auto& c) { EXPECT_EQ(LastText(c.FrameAspectRatios), "=642:480"); }},
      {" -c:v libx264 -c:a libmp3lame", [](auto&, auto& c) {
         ASSERT_EQ(c.CodecNames.Count, 2);
         EXPECT_EQ(AnsiString(c.CodecNames.Items[0].Specifier) + c.CodecNames.Items[0].U.Str, "vlibx264");
         EXPECT_EQ(AnsiString(c.CodecNames.Items[1].Specifier) + c.CodecNames.Items[1].U.Str, "alibmp3lame");
       }},
      {" -b:v 1500000", [](auto&, auto& c) { EXPECT_EQ(Dict(c.Group->CodecOpts, "b:v"), "1500000"); }},
      {" -ar 8000 -ac 1", [](auto&, auto& c) {
         ASSERT_EQ(c.AudioSampleRate.Count, 1);
         EXPECT_EQ(c.AudioSampleRate.Items[0].U.I, 8000);
         ASSERT_EQ(c.AudioChannels.Count, 1);
         EXPECT_EQ(c.AudioChannels.Items[0].U.I, 1);
       }},
      {" -vn", [](auto&, auto& c) { EXPECT_EQ(c.VideoDisable, 1); }},
      {" -vf select=not(mod(n\\,50)),tile=3x2",
       [](auto&, auto& c) { EXPECT_EQ(LastText(c.Filters), "v=select=not(mod(n\\,50)),tile=3x2"); }},
      {" -af volume=1.5,atempo=2", [](auto&, auto& c) { EXPECT_EQ(LastText(c.Filters), "a=volume=1.5,atempo=2"); }},
      // The frame run's whole string for "every 50 frames".
      {" -y -q:v 0 -f image2 -t 00:00:20.000 -vsync vfr -vf select=not(mod(n\\,50))",
       [](auto& m, auto& c) {
         EXPECT_EQ(m.FileOverwrite, 1);
         EXPECT_STREQ(c.Format, "image2");
         EXPECT_EQ(c.RecordingTime, 20000000);
         EXPECT_EQ(m.VideoSyncMethod, 2);
         EXPECT_EQ(LastText(c.Filters), "v=select=not(mod(n\\,50))");
       }},
      // The clip run's order: -y, -t, codecs, quality, aspect, -vf, -af.
      {" -y -t 5 -c:v mpeg4 -r 29.97 -ac 2 -q:v 0 -q:a 0 -aspect 644:364 -vf hflip,setpts=0.5*PTS,scale=644:364 "
       "-af volume=2",
       [](auto&, auto& c) {
         EXPECT_EQ(c.RecordingTime, 5000000);
         EXPECT_EQ(c.QScale.Count, 2);
         EXPECT_EQ(c.Filters.Count, 2);
         EXPECT_EQ(LastText(c.FrameRates), "=29.97");
       }},
  };
  for (const TParseCase& tc : cases) {
    SCOPED_TRACE(tc.Options);
    TTestOptionModel model;
    TScopedContext ctx(model);
    ASSERT_EQ(model.ParseOptions(ctx.C, tc.Options, "output file", ""), 0) << model.LastErrorMessage;
    tc.Check(model, ctx.C);
  }
}

TEST_F(OptionSyntax, StartTimeFormsAgree) {
  for (const char* options : {"-ss 10", "-ss_microsecond 10000000", "-TimeStart 10", "-timestart 10.0"}) {
    SCOPED_TRACE(options);
    TTestOptionModel model;
    TScopedContext ctx(model);
    ASSERT_EQ(model.ParseOptions(ctx.C, options, "input file", ""), 0) << model.LastErrorMessage;
    EXPECT_EQ(ctx.C.StartTime, 10000000);
  }
  TTestOptionModel model;
  TScopedContext ctx(model);
  ASSERT_EQ(model.ParseOptions(ctx.C, "-TimeLength 2.5 -ss 3 -ss_microsecond 4", "input file", ""), 0);
  EXPECT_EQ(ctx.C.RecordingTime, 2500000);
  EXPECT_EQ(ctx.C.StartTime, 4) << "the last of the forms wins";
}

TEST_F(OptionSyntax, DecimalCommaInTimeStartFails) {
  TTestOptionModel model;
  TScopedContext ctx(model);
  EXPECT_EQ(model.ParseOptions(ctx.C, "-TimeStart 10,5", "input file", ""), AVERROR(EINVAL));
  EXPECT_THAT(model.LastErrorMessage, StartsWith("'10,5' is not a valid floating point value\r\n"));
}

struct TTextCase {
  const char* Options;
  int Result;
  const char* FirstLine;  // of LastErrorMessage, or of LastOptionMessage when the parse succeeds
};

TEST_F(OptionSyntax, RefusedRemovedIgnoredAndBadValuesGiveTheirTexts) {
  const TTextCase cases[] = {
      {"-benchmark", AVERROR(EINVAL), "options \"benchmark\" not supported"},
      {"-report", AVERROR(EINVAL), "options \"report\" not supported"},
      {"-sameq", AVERROR(EINVAL),
       "Option \"sameq\" was removed. If you are looking for an option to preserve the quality (which is not what "
       "-sameq was for), use -qscale 0 or an equivalent quality factor option."},
      {"-help", 0, "options \"help\" not supported, ignore"},
      {"--help", 0, "options \"-help\" not supported, ignore"},
      {"-vsync 7", AVERROR(EINVAL), "The value for \"vsync\" was \"7\" which is invalid"},
      {"-vsync vfr -vsync sometimes", AVERROR(EINVAL), "The value for \"vsync\" was \"sometimes\" which is invalid"},
      {"-streamid 1024:1", AVERROR(EINVAL), "The value for \"streamid\" was \"1024\" which is not within 0 - 1023"},
      {"-streamid 1:-5", AVERROR(EINVAL), "The value for \"streamid\" was \"-5\" which is not within 0 - 2147483647"},
      {"-streamid 7", AVERROR(EINVAL), "Invalid value \"7\" for option \"streamid\", required syntax is \"index:value\""},
      {"-channel_layout nonsense", AVERROR(EINVAL), "Unknown channel layout: nonsense"},
      {"-target pal-xvcd", AVERROR(EINVAL), "Unknown target: xvcd"},
      {"-max_alloc 12x", AVERROR(EINVAL), "Invalid max_alloc \"12x\"."},
      {"-fpre /nonexistent/preset.ffpreset", AVERROR(EINVAL), "Preset file \"/nonexistent/preset.ffpreset\" not found"},
      {"-frobnicate 1", AVERROR_OPTION_NOT_FOUND, ""},
      {"stray", AVERROR(EINVAL), "Failed to parse options on stray"},
  };
  for (const TTextCase& tc : cases) {
    SCOPED_TRACE(tc.Options);
    TTestOptionModel model;
    TScopedContext ctx(model);
    const int ret = model.ParseOptions(ctx.C, tc.Options, "output file", "");
    EXPECT_EQ(ret, tc.Result);
    const AnsiString text = ret < 0 ? model.LastErrorMessage : LastOptionMessage;
    if (ret < 0) {
      EXPECT_THAT(text, HasSubstr(ErrorText(ret)));
    }
    EXPECT_EQ(text.substr(0, text.find("\r\n")), AnsiString(tc.FirstLine).empty() ? ErrorText(ret) : tc.FirstLine);
  }
}

TEST_F(OptionSyntax, NonStrictParsingOnlyLogs) {
  TTestOptionModel model;
  model.StrictOptions = false;
  TScopedContext ctx(model);
  EXPECT_EQ(model.ParseOptions(ctx.C, "-frobnicate 1 -y", "output file", ""), 0);
  EXPECT_EQ(model.FileOverwrite, 1);
}

TEST_F(OptionSyntax, GlobalSwitchesAndNegations) {
  TTestOptionModel model;
  TScopedContext ctx(model);
  ASSERT_EQ(model.ParseOptions(ctx.C,
                               "-copyts -nocopyts -shortest -noshortest -stats -AudioInputHook -Join -vhook mod.so "
                               "-VideoHookBitsPixel 24 -vsync vfr -vsync 0 -vol 512",
                               "output file", ""),
            0)
      << model.LastErrorMessage;
  EXPECT_EQ(model.CopyTs, 0);
  EXPECT_EQ(ctx.C.Shortest, 0);
  EXPECT_EQ(model.PrintStats, 1);
  EXPECT_EQ(model.DebugTs, 0);
  EXPECT_EQ(model.VHook, "mod.so");
  EXPECT_EQ(model.HookBits, "24");
  EXPECT_EQ(model.VideoSyncMethod, 0) << "a number after a word still counts";
  EXPECT_EQ(model.AudioVolume, 512);
}

TEST_F(OptionSyntax, HandlersWriteCodecOptionsAndStreamIds) {
  TTestOptionModel model;
  TScopedContext ctx(model);
  ASSERT_EQ(model.ParseOptions(ctx.C, "-b 500k -b:a 128k -channel_layout stereo -streamid 2:100 -qscale 3 -vsync drop",
                               "output file", ""),
            0)
      << model.LastErrorMessage;
  EXPECT_EQ(Dict(ctx.C.Group->CodecOpts, "b:v"), "500k");
  EXPECT_EQ(Dict(ctx.C.Group->CodecOpts, "b:a"), "128k");
  EXPECT_EQ(Dict(ctx.C.Group->CodecOpts, "channel_layout"), "3");
  ASSERT_EQ(ctx.C.AudioChannels.Count, 1);
  EXPECT_EQ(ctx.C.AudioChannels.Items[0].U.I, 2);
  ASSERT_EQ(ctx.C.NbStreamIdMap, 3);
  EXPECT_EQ(ctx.C.StreamIdMap[0], 0);
  EXPECT_EQ(ctx.C.StreamIdMap[2], 100);
  EXPECT_STREQ(ctx.C.QScale.Items[0].Specifier, "v");
  EXPECT_EQ(model.VideoSyncMethod, 255);
}

TEST_F(OptionSyntax, PresetTextAppliesBetweenGlobalAndFileOptions) {
  TTestOptionModel model;
  TScopedContext ctx(model);
  ASSERT_EQ(model.ParseOptions(ctx.C, "-c:v libx264 -g 50", "output file",
                               "# a comment<CRLF>vcodec=mpeg4<CRLF>\r\n  \r\nb=1000000\ng=12"),
            0)
      << model.LastErrorMessage;
  ASSERT_EQ(ctx.C.CodecNames.Count, 2);
  EXPECT_STREQ(ctx.C.CodecNames.Items[0].U.Str, "mpeg4") << "presets come before the option string's own";
  EXPECT_STREQ(ctx.C.CodecNames.Items[1].U.Str, "libx264");
  EXPECT_EQ(Dict(ctx.C.Group->CodecOpts, "b"), "1000000");
  EXPECT_EQ(Dict(ctx.C.Group->CodecOpts, "g"), "12") << "a preset AVOption replaces the string's";

  TTestOptionModel strict;
  TScopedContext bad(strict);
  EXPECT_EQ(strict.ParseOptions(bad.C, "", "output file", "vcodec=mpeg4<CRLF>novalue"), AVERROR(EINVAL));
  EXPECT_THAT(strict.LastErrorMessage, StartsWith("Invalid syntax: \"novalue\"\r\n"));
}

TEST_F(OptionSyntax, PresetFilesApplyTheirLines) {
  const std::string dir = testsupport::MakeTempDir("preset");
  const std::string good = dir + "/good.ffpreset";
  const std::string bad = dir + "/bad.ffpreset";
  testsupport::RunOk("printf 'vcodec=mpeg4\\r\\n# note\\nb=5000\\n' > " + testsupport::ShellQuote(good) +
                     " && printf 'frobnicate=1\\n' > " + testsupport::ShellQuote(bad));
  TTestOptionModel model;
  TScopedContext ctx(model);
  ASSERT_EQ(model.ParseOptions(ctx.C, AnsiString("-vpre ") + good, "output file", ""), 0) << model.LastErrorMessage;
  ASSERT_EQ(ctx.C.CodecNames.Count, 1);
  EXPECT_STREQ(ctx.C.CodecNames.Items[0].U.Str, "mpeg4");
  EXPECT_EQ(Dict(ctx.C.Group->CodecOpts, "b"), "5000");

  TTestOptionModel strict;
  TScopedContext ctx2(strict);
  EXPECT_EQ(strict.ParseOptions(ctx2.C, AnsiString("-apre ") + bad, "output file", ""), AVERROR_OPTION_NOT_FOUND);
  EXPECT_THAT(strict.LastErrorMessage,
              StartsWith("bad.ffpreset: Invalid option or argument: \"frobnicate=1\", parsed as \"frobnicate\" = \"1\""));
  testsupport::RemoveTree(dir);
}

TEST_F(OptionSyntax, OptionTableHoldsEveryEntry) {
  TTestOptionModel model;
  EXPECT_EQ(model.OptionCount(), 149);
}

}  // namespace

namespace {

// Option strings a fuzzer found to misbehave, kept as they were found. Run under `make asan`
// (leak detection on) they also show the earlier value of a repeated option is freed.
struct TFuzzCase {
  const char* Options;
  std::function<void(const TTestOptionModel&)> Check;
};

TEST_F(OptionSyntax, FuzzFoundOptionStringsAreHandledSafely) {
  const TFuzzCase cases[] = {
      {" -f mp4 -f matroska", [](auto& m) { EXPECT_STREQ(m.OutputFiles[0]->Ctx->oformat->name, "matroska"); }},
      {" -f mp4 -f mp4 -f matroska -f nut", [](auto& m) { EXPECT_STREQ(m.OutputFiles[0]->Ctx->oformat->name, "nut"); }},
      // Out of range of an int once multiplied: the quality saturates instead.
      {" -f matroska -c:v mpeg4 -q:v 1e12", [](auto& m) { EXPECT_EQ(m.OutputStreams[0]->EncCtx->global_quality, INT_MAX); }},
      {" -f matroska -c:v mpeg4 -q:v 1e300",
       [](auto& m) { EXPECT_EQ(m.OutputStreams[0]->EncCtx->global_quality, INT_MAX); }},
      {" -f matroska -c:v mpeg4 -q:v 2", [](auto& m) { EXPECT_EQ(m.OutputStreams[0]->EncCtx->global_quality, 2 * FF_QP2LAMBDA); }},
      {" -f matroska -c:v mpeg4 -muxdelay 1e30 -muxpreload 1e30",
       [](auto& m) { EXPECT_EQ(m.OutputFiles[0]->Ctx->max_delay, INT_MAX); }},
  };
  const std::string dir = testsupport::MakeTempDir("fuzz");
  for (const TFuzzCase& c : cases) {
    SCOPED_TRACE(c.Options);
    TTestOptionModel model;
    ASSERT_GE(OpenInput(model, SimpleClip()), 0) << model.LastErrorMessage;
    ASSERT_GE(OpenOutput(model, dir + "/out.bin", AnsiString(" -y") + c.Options), 0) << model.LastErrorMessage;
    ASSERT_FALSE(model.OutputStreams.empty());
    c.Check(model);
  }
  testsupport::RemoveTree(dir);
}

}  // namespace
