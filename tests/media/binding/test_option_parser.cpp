#include <gtest/gtest.h>

#include <cstddef>

#include "media/binding/entry_points.h"
#include "media/binding/ffmpeg_exception.h"
#include "media/binding/logger.h"
#include "media/binding/option_parser.h"
#include "tests/media/binding/load_ffmpeg.h"

namespace {

struct TTestContext {
  int An;
  TSpecifierList Bitrates;
  int64_t Start;
  char* Format;
};

int GlobalStats = 1;

std::vector<TOptionDef> TestTable() {
  return {
      {"stats", OPT_BOOL, &GlobalStats, 0, {}, "print progress", ""},
      {"an", OPT_BOOL | OPT_OFFSET, nullptr, offsetof(TTestContext, An), {}, "disable audio", ""},
      {"b", OPT_HAS_ARG | OPT_STRING | OPT_SPEC, nullptr, offsetof(TTestContext, Bitrates), {}, "bit rate", "rate"},
      {"ss", OPT_HAS_ARG | OPT_TIME | OPT_OFFSET, nullptr, offsetof(TTestContext, Start), {}, "start", "time"},
      {"f", OPT_HAS_ARG | OPT_STRING | OPT_OFFSET, nullptr, offsetof(TTestContext, Format), {}, "format", "fmt"},
      {"fail", OPT_HAS_ARG, nullptr, 0, [](void*, const AnsiString&, const AnsiString&) { return AVERROR(EINVAL); },
       "always fails", ""},
      {"loglevel", OPT_HAS_ARG, nullptr, 0, [](void*, const AnsiString&, const AnsiString& a) { return OptLogLevel(a); },
       "log level", ""},
      {"v", OPT_HAS_ARG, nullptr, 0, [](void*, const AnsiString&, const AnsiString& a) { return OptLogLevel(a); },
       "log level", ""},
      {},
  };
}

}  // namespace

TEST(OptionParser, SplitsLikeACommandLine) {
  const std::pair<const char*, std::vector<AnsiString>> cases[] = {
      {R"(-i "my file.mp4" -vf "scale=320:240, fps=5")", {"-i", "my file.mp4", "-vf", "scale=320:240, fps=5"}},
      {R"(a\"b)", {"a\"b"}},
      {R"(a\\"b c")", {"a\\b c"}},
      {R"("a""b c)", {"a\"b", "c"}},
      {R"(a\\b \\\"x)", {"a\\\\b", "\\\"x"}},
      {"  \t ", {}},
      {"\"\" x", {"", "x"}},
      {"one\ttwo  three", {"one", "two", "three"}},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(ParseCommandLineArgs(text), expected) << text;
}

TEST(OptionParser, RoutesOptionsToGroupsAndLibraryLayers) {
  LoadFFmpegForTest();
  const std::vector<TOptionDef> table = TestTable();
  TFFOptions options;
  options.InitParseContext();
  const auto args = ParseCommandLineArgs(
      "-nostats -an -b:v 300k -ss 1.5 -f mp4 -g 12 -fflags +genpts -sws_flags lanczos -dither_method triangular stray");
  ASSERT_EQ(options.SplitOptions(args, false, table.data()), 0);

  ASSERT_EQ(options.GlobalGroup().Opts.size(), 1u);
  EXPECT_EQ(options.GlobalGroup().Opts[0].Key, "stats");
  EXPECT_EQ(options.GlobalGroup().Opts[0].Val, "0");
  ASSERT_EQ(options.FileGroup().Opts.size(), 4u);

  TOptionGroup& file = options.FileGroup();
  EXPECT_STREQ(ff::av_dict_get(file.CodecOpts, "g", nullptr, 0)->value, "12");
  EXPECT_EQ(ff::av_dict_get(file.CodecOpts, "fflags", nullptr, 0), nullptr);
  EXPECT_STREQ(ff::av_dict_get(file.FormatOpts, "fflags", nullptr, 0)->value, "+genpts");
  EXPECT_STREQ(ff::av_dict_get(file.SwrOpts, "dither_method", nullptr, 0)->value, "triangular");
  int64_t swsFlags = 0;
  ASSERT_EQ(ff::av_opt_get_int(file.SwsOpts, "sws_flags", 0, &swsFlags), 0);
  EXPECT_EQ(swsFlags, SWS_LANCZOS);

  TTestContext ctx{};
  ASSERT_EQ(ParseOptionGroup(nullptr, options.GlobalGroup(), "global"), 0);
  ASSERT_EQ(ParseOptionGroup(&ctx, file, "input file"), 0);
  EXPECT_EQ(GlobalStats, 0);
  EXPECT_EQ(ctx.An, 1);
  EXPECT_EQ(ctx.Start, 1500000);
  EXPECT_STREQ(ctx.Format, "mp4");
  ASSERT_EQ(ctx.Bitrates.Count, 1);
  EXPECT_STREQ(ctx.Bitrates.Items[0].Specifier, "v");
  EXPECT_STREQ(ctx.Bitrates.Items[0].U.Str, "300k");
  ff::av_free(ctx.Bitrates.Items[0].Specifier);
  ff::av_free(ctx.Bitrates.Items[0].U.Str);
  ff::av_free(ctx.Bitrates.Items);
  ff::av_free(ctx.Format);
}

TEST(OptionParser, Failures) {
  LoadFFmpegForTest();
  const std::vector<TOptionDef> table = TestTable();
  {
    TFFOptions options;
    options.InitParseContext();
    EXPECT_EQ(options.SplitOptions({"-nosuchoption"}, true, table.data()), AVERROR_OPTION_NOT_FOUND);
  }
  {
    TFFOptions options;
    options.InitParseContext();
    EXPECT_EQ(options.SplitOptions({"-nosuchoption"}, false, table.data()), 0);
  }
  {
    TFFOptions options;
    options.InitParseContext();
    EXPECT_EQ(options.SplitOptions({"-an", "-ss"}, false, table.data()), AVERROR(EINVAL));
  }
  {
    TFFOptions options;
    options.InitParseContext();
    EXPECT_EQ(options.SplitOptions({"stray"}, true, table.data()), AVERROR(EINVAL));
    EXPECT_EQ(LastOptionMessage, "Failed to parse options on stray");
  }
  {
    TFFOptions options;
    options.InitParseContext();
    ASSERT_EQ(options.SplitOptions({"-fail", "x"}, true, table.data()), 0);
    EXPECT_EQ(ParseOptionGroup(nullptr, options.GlobalGroup(), "global"), AVERROR(EINVAL));
    EXPECT_EQ(LastOptionMessage, "Failed to set value \"x\" for option \"fail\"");
  }
  TTestContext ctx{};
  EXPECT_EQ(ParseOption(&ctx, "ss", nullptr, table.data()), AVERROR(EINVAL));
  EXPECT_EQ(LastOptionMessage, "Missing argument for option \"ss\"");
  EXPECT_EQ(ParseOption(&ctx, "nosuch", "1", table.data()), AVERROR(EINVAL));
  EXPECT_EQ(LastOptionMessage, "Unrecognized option \"nosuch\"");
  EXPECT_EQ(ParseOption(&ctx, "noan", nullptr, table.data()), 0);
  EXPECT_EQ(ctx.An, 0);
  EXPECT_THROW(ParseOption(&ctx, "ss", "soon", table.data()), FFmpegException);
}

TEST(OptionParser, LogLevelOption) {
  LoadFFmpegForTest();
  const std::vector<TOptionDef> table = TestTable();
  FFLogger()->SetLogLevel(llInfo);
  EXPECT_EQ(ParseLogLevel({"-an", "-loglevel", "debug"}, table.data()), 0);
  EXPECT_EQ(FFLogger()->LogLevel(), llDebug);
  FFLogger()->SetLogLevel(llInfo);
  EXPECT_EQ(ParseLogLevel({"-v", "48"}, table.data()), 0);
  EXPECT_EQ(FFLogger()->LogLevel(), llDebug);
  FFLogger()->SetLogLevel(llInfo);
  EXPECT_EQ(ParseLogLevel({"-loglevel"}, table.data()), 0);
  EXPECT_EQ(FFLogger()->LogLevel(), llInfo);
  EXPECT_EQ(ParseLogLevel({"-loglevel", "foo"}, table.data()), AVERROR(EINVAL));
  EXPECT_EQ(LastOptionMessage,
            "Invalid loglevel \"foo\". Possible levels are numbers or:\r\n\"quiet\"\r\n\"panic\"\r\n\"fatal\"\r\n"
            "\"error\"\r\n\"warning\"\r\n\"info\"\r\n\"verbose\"\r\n\"debug\"\r\n");
  EXPECT_EQ(FFLogger()->LogLevel(), llInfo);
}

TEST(OptionParser, NumberReaders) {
  const std::pair<const char*, int> good[] = {{"12", 12}, {"$1F", 31}, {"0x10", 16}, {"x10", 16},
                                              {"  -7", -7}, {"+2147483647", 2147483647}, {"-2147483648", -2147483647 - 1}};
  for (const auto& [text, value] : good) EXPECT_EQ(ParseInt("n", text), value) << text;
  for (const char* bad : {"12a", "2147483648", "", "-", "0x", "1 "}) {
    try {
      ParseInt("n", bad);
      ADD_FAILURE() << "accepted " << bad;
    } catch (const FFmpegException& e) {
      EXPECT_EQ(e.Message, "Expected integer for \"n\" but found \"" + AnsiString(bad) + "\"");
    }
  }
  EXPECT_EQ(ParseInt64("n", "9223372036854775807"), INT64_MAX);
  EXPECT_THROW(ParseInt64("n", "9223372036854775808"), FFmpegException);
  EXPECT_DOUBLE_EQ(ParseDouble("q", "2.5"), 2.5);
  EXPECT_THROW(ParseDouble("q", "2,5"), FFmpegException);
  EXPECT_FLOAT_EQ(ParseFloat("q", "0.7"), 0.7f);
}
