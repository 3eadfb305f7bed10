#include <gtest/gtest.h>

#include <algorithm>

#include "tests/media/engine/engine_test_model.h"

namespace {

class FilterChains : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadFFmpegForTest();
    Dir = testsupport::MakeTempDir("chains");
  }
  void TearDown() override { testsupport::RemoveTree(Dir); }

  // Opens the clip and the output, then builds the simple graph of every encoded stream. Returns
  // the number of graphs built; each one must configure.
  int BuildGraphs(TTestOptionModel& model, const std::string& target, const AnsiString& options) {
    EXPECT_EQ(OpenInput(model, SimpleClip(), " -ss 0.5"), 0) << model.LastErrorMessage;
    const int out = OpenOutput(model, Dir + "/" + target, options);
    EXPECT_GE(out, 0) << model.LastErrorMessage;
    if (out < 0) return 0;
    int built = 0;
    for (TOutputStream* ost : model.OutputStreams) {
      if (ost->StreamCopy || ost->Filter) continue;
      TFilterGraph* fg = model.InitSimpleFilterGraph(ost->SyncIst, ost);
      const int ret = model.ConfigureFilterGraph(fg);
      EXPECT_EQ(ret, 0) << "stream " << ost->Index << ": " << ost->Avfilter;
      if (ret < 0) continue;
      ++built;
      CheckSinkSuitsEncoder(ost);
    }
    return built;
  }

  static void CheckSinkSuitsEncoder(const TOutputStream* ost) {
    const AVFilterContext* sink = ost->Filter->Filter;
    if (!ost->Enc) return;
    const int format = ff::av_buffersink_get_format(sink);
    if (ost->St->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
      if (ost->Enc->id == AV_CODEC_ID_MJPEG) {
        EXPECT_EQ(format, AV_PIX_FMT_YUVJ420P) << "MJPEG takes full-range input at normal compliance";
      } else if (ost->Enc->pix_fmts) {
        const AVPixelFormat* p = ost->Enc->pix_fmts;
        while (*p != AV_PIX_FMT_NONE && *p != format) ++p;
        EXPECT_NE(*p, AV_PIX_FMT_NONE) << ost->Enc->name << " cannot take " << ff::av_get_pix_fmt_name((AVPixelFormat)format);
      }
      if (ost->EncCtx->width) {
        EXPECT_EQ(ff::av_buffersink_get_w(sink), ost->EncCtx->width);
      }
    } else if (ost->Enc->sample_fmts) {
      const AVSampleFormat* p = ost->Enc->sample_fmts;
      while (*p != AV_SAMPLE_FMT_NONE && *p != format) ++p;
      EXPECT_NE(*p, AV_SAMPLE_FMT_NONE) << ost->Enc->name;
      if (ost->EncCtx->sample_rate) {
        EXPECT_EQ(ff::av_buffersink_get_sample_rate(sink), ost->EncCtx->sample_rate);
      }
    }
  }
  std::string Dir;
};

TEST_F(FilterChains, EveryFrameRunChainConfiguresForEveryImageType) {
  const char* types[] = {"jpg", "jpeg", "gif", "bmp", "png", "pcx", "tiff", "tga", "pgm", "ppm", "pam", "sgi"};
  const char* modes[] = {
      "",
      " -vf tile=3x2",
      " -r 0.333333333333333",
      " -r 5 -vf fps=5",
      " -vsync vfr -vf select=not(mod(n\\,50)),tile=3x2",
      " -vsync vfr -vf select=gt(scene\\,0.3)",
      " -vframes 1 -vf hflip,vflip,transpose=1,transpose=2",
      " -vf scale=480*(iw/ih):480,pad=642:480:(ow-oh*(iw/ih))/2:0:black -aspect 642:480",
      " -vf scale=640:640/(iw/ih),pad=640:600:0:(oh-ow/(iw/ih))/2:black,crop=100:80:10:20 -aspect 640:600",
      " -s 200x150",
  };
  for (const char* type : types) {
    for (const char* mode : modes) {
      SCOPED_TRACE(std::string(type) + ":" + mode);
      TTestOptionModel model;
      EXPECT_EQ(BuildGraphs(model, std::string("clip.avi-%d.") + type,
                            AnsiString(" -y -q:v 0 -f image2 -t 00:00:01.000") + mode),
                1);
    }
  }
}

TEST_F(FilterChains, EngineInsertsScaleAndFormatSteps) {
  TTestOptionModel model;
  ASSERT_EQ(BuildGraphs(model, "x-%d.jpg", " -y -q:v 0 -f image2 -s 200x150"), 1);
  AVFilterGraph* graph = model.FilterGraphs[0]->Graph;
  EXPECT_NE(ff::avfilter_graph_get_filter(graph, "scaler for output stream 0:0"), nullptr);
  EXPECT_NE(ff::avfilter_graph_get_filter(graph, "pixel format for output stream 0:0"), nullptr);
  EXPECT_NE(ff::avfilter_graph_get_filter(graph, "graph 0 input from stream 0:0"), nullptr);
  EXPECT_EQ(model.OutputStreams[0]->Filter->Name, "null");
}

TEST_F(FilterChains, AudioRunChainsConfigure) {
  const char* targets[] = {"song.mp3", "song.wav", "song.ogg", "song.m4a", "song.flac", "song.wma", "song.ac3",
                           "song.aac", "song.mp2"};
  const char* chains[] = {"", " -af volume=1.5", " -af atempo=2,atempo=1.5", " -af volume=0.5,atempo=0.5,atempo=0.7",
                          " -af atempo=2,atempo=2,atempo=2,atempo=2"};
  for (const char* target : targets) {
    for (const char* chain : chains) {
      SCOPED_TRACE(std::string(target) + chain);
      TTestOptionModel model;
      EXPECT_EQ(BuildGraphs(model, target, AnsiString(" -y -t 00:00:01.000 -vn -q:a 0") + chain), 1);
    }
  }
}

TEST_F(FilterChains, ClipRunChainsConfigure) {
  const struct {
    const char* Target;
    const char* Codecs;
  } targets[] = {
      {"clip.avi", " -c:v mpeg4 -ac 2"},        {"clip.mp4", " -c:v libx264"},
      {"clip.flv", " -ar 44100 -c:v flv1"},     {"clip.3gp", " -c:v mpeg4 -ar 8000 -ac 1"},
      {"clip.mkv", " -c:v libx264"},            {"clip.webm", " -f webm -c:v libvpx -c:a libvorbis"},
      {"clip.wmv", " -c:v wmv2 -c:a wmav2"},   {"clip.mpg", " -r 20"},
      {"clip.rm", " -c:v rv20"},                {"clip.m4v", " -c:v mpeg4"},
      {"clip.vob", " -ac 2"},
  };
  const char* chains[] = {
      " -q:v 0 -q:a 0",
      " -q:v 0 -q:a 0 -aspect 644:364 -vf hflip,vflip,transpose=1,transpose=2,setpts=0.5*PTS,scale=644:364 "
      "-af volume=2,atempo=2",
      " -b:v 400000 -q:a 0 -aspect 320:240 -vf scale=320:320/(iw/ih),pad=320:240:0:(oh-ow/(iw/ih))/2:black "
      "-af atempo=0.5,atempo=0.9",
      " -q:v 0 -vf crop=160:120:10:20,setpts=0.33*PTS",
  };
  for (const auto& t : targets) {
    for (const char* chain : chains) {
      SCOPED_TRACE(std::string(t.Target) + t.Codecs + chain);
      TTestOptionModel model;
      EXPECT_EQ(BuildGraphs(model, t.Target, AnsiString(" -y -t 00:00:01.000") + t.Codecs + chain), 2);
    }
  }
}

TEST_F(FilterChains, GlobalAudioSettingsInsertTheirFilters) {
  TLogCapture log;
  TTestOptionModel model;
  ASSERT_EQ(BuildGraphs(model, "song.wav", " -y -async 1 -vol 512"), 1);
  EXPECT_TRUE(log.Has("-async is forwarded to lavfi similarly to -af aresample=async=1:first_pts=0."));
  EXPECT_TRUE(log.Has("-vol is forwarded to lavfi similarly to -af volume=2.000000."));
  EXPECT_EQ(ff::avfilter_graph_get_filter(model.FilterGraphs[0]->Graph, "graph 0 volume for input stream 0:1") != nullptr,
            true);
  // A rebuild no longer asks for the first timestamp.
  ASSERT_EQ(model.ConfigureFilterGraph(model.FilterGraphs[0]), 0);
  EXPECT_TRUE(log.Has("-af aresample=async=1."));
}

TEST_F(FilterChains, ChannelMapsBecomeAPanFilter) {
  TLogCapture log;
  TTestOptionModel model;
  ASSERT_EQ(BuildGraphs(model, "three.wav", " -y -map_channel 0.1.1 -map_channel 0.1.0 -map_channel -1"), 1);
  AVChannelLayout three{};
  ff::av_channel_layout_default(&three, 3);
  // The silent third channel has no term.
  EXPECT_TRUE(log.Has(Format("-map_channel is forwarded to lavfi similarly to -af pan=0x%s|c0=c1|c1=c0.",
                             LowerCase(IntToHex(static_cast<Int64>(three.u.mask), 1)))));
  EXPECT_EQ(model.OutputStreams[0]->AudioChannelsMapped, 3);
  EXPECT_EQ(ff::av_buffersink_get_channels(model.OutputStreams[0]->Filter->Filter), 3);
}

TEST_F(FilterChains, ComplexGraphBindsLabelledAndUnlabelledPads) {
  TTestOptionModel model;
  ASSERT_EQ(OpenInput(model, SimpleClip()), 0);
  ASSERT_EQ(OpenOutput(model, Dir + "/c.mkv", "-y -filter_complex [0:a]volume=2[vol];hflip -map [vol] -c:v mpeg4"), 0)
      << model.LastErrorMessage;
  ASSERT_EQ(model.FilterGraphs.size(), 1u);
  TFilterGraph* fg = model.FilterGraphs[0];
  ASSERT_EQ(fg->Inputs.size(), 2u);
  EXPECT_EQ(fg->Inputs[0]->Ist, model.InputStreams[1]);
  EXPECT_EQ(fg->Inputs[1]->Ist, model.InputStreams[0]);
  ASSERT_EQ(model.OutputStreams.size(), 2u);
  EXPECT_EQ(model.OutputStreams[0]->SourceIndex, -1);
  for (TOutputFilter* o : fg->Outputs) EXPECT_NE(o->Ost, nullptr);
  EXPECT_EQ(model.ConfigureFilterGraph(fg), 0) << "the rebuild configures the whole graph";

  TTestOptionModel bad;
  ASSERT_EQ(OpenInput(bad, SimpleClip()), 0);
  EXPECT_EQ(OpenOutput(bad, Dir + "/d.mkv", "-y -filter_complex [0:a]anull[x] -map [y]"), -1);
  EXPECT_EQ(bad.LastErrorMessage,
            "Output with label \"y\" does not exist in any defined filter graph, or was already used elsewhere.");
}

}  // namespace
