// Frame-hook plug-ins built here as shared objects: loading, configuring, refusing, and an
// inverting plug-in on a frame task compared with the ffmpeg tool's negate filter.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>

#include "media/binding/logger.h"
#include "media/engine/frame_hook.h"
#include "tests/media/components/test_encoder_support.h"

using namespace encodertest;

namespace {

// Inverts packed 24-bit pictures; counts its instances so a test sees configuration and release.
const char* kInvertSource = R"(
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
int live_instances = 0;
typedef struct { uint8_t* data[8]; int linesize[8]; } Picture;
typedef struct { int argc; } Instance;
int Configure(void** ctx, int argc, char** argv, int max) {
  (void)argv; (void)max;
  if (argc > 1 && strcmp(argv[1], "refuse") == 0) return 1;
  Instance* i = calloc(1, sizeof(Instance));
  i->argc = argc;
  *ctx = i;
  ++live_instances;
  return 0;
}
void Process(void* ctx, Picture* p, int pix_fmt, int w, int h, int64_t pts) {
  (void)ctx; (void)pts;
  if (pix_fmt != 2 && pix_fmt != 3) return; /* rgb24, bgr24 */
  for (int y = 0; y < h; ++y) {
    uint8_t* row = p->data[0] + (long)y * p->linesize[0];
    for (int x = 0; x < 3 * w; ++x) row[x] = (uint8_t)(255 - row[x]);
  }
}
void Release(void* ctx) { free(ctx); --live_instances; }
)";

// Has Process only.
const char* kProcessOnlySource = R"(
#include <stdint.h>
void Process(void* ctx, void* p, int f, int w, int h, int64_t pts) { (void)ctx; (void)p; (void)f; (void)w; (void)h; (void)pts; }
)";

const char* kNoProcessSource = R"(
int Configure(void** ctx, int argc, char** argv, int max) { (void)ctx; (void)argc; (void)argv; (void)max; return 0; }
)";

std::string BuildPlugin(const std::string& Name, const char* Source) {
  static const std::string dir = testsupport::MakeTempDir("hooks");
  const std::string c = dir + "/" + Name + ".c";
  const std::string so = dir + "/" + Name + ".so";
  testsupport::RunOk("cat > " + testsupport::ShellQuote(c) + " <<'EOF'\n" + Source + "\nEOF\n");
  testsupport::RunOk("cc -shared -fPIC -O1 -o " + testsupport::ShellQuote(so) + " " + testsupport::ShellQuote(c));
  return so;
}

struct TArgs {
  explicit TArgs(std::initializer_list<std::string> Items) : Text(Items) {
    for (std::string& s : Text) Pointers.push_back(s.data());
  }
  int Count() const { return static_cast<int>(Pointers.size()); }
  std::vector<std::string> Text;
  std::vector<char*> Pointers;
};

// Collects what the engine logs at error level.
struct TLogCapture {
  TLogCapture() {
    FFLogger()->SetOnLog([this](TObject*, DWORD, TLogLevel Level, const AnsiString& Msg) {
      if (Level <= llError) Text += Msg;
    });
  }
  ~TLogCapture() { FFLogger()->SetOnLog(nullptr); }
  std::string Text;
};

TEST(FrameHook, LoadsOnceConfiguresPerInstanceAndRefusesIncompletePlugins) {
  LoadFFmpegForTest();
  const std::string invert = BuildPlugin("invert", kInvertSource);
  TFrameHookEntry* a = nullptr;
  TFrameHookEntry* b = nullptr;
  TArgs one{invert};
  TArgs two{invert, "x"};
  ASSERT_EQ(FrameHookAdd(a, one.Count(), one.Pointers.data()), 0);
  ASSERT_EQ(FrameHookAdd(a, two.Count(), two.Pointers.data()), 0);
  ASSERT_EQ(FrameHookAdd(b, one.Count(), one.Pointers.data()), 0);
  ASSERT_TRUE(a && a->Next && !a->Next->Next && b);
  EXPECT_NE(a->Context, b->Context);
  // One mapping for the three instances.
  auto* live = static_cast<int*>(dlsym(RTLD_DEFAULT, "live_instances"));
  if (!live) {
    void* h = dlopen(invert.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_TRUE(h);
    live = static_cast<int*>(dlsym(h, "live_instances"));
    dlclose(h);
  }
  ASSERT_TRUE(live);
  EXPECT_EQ(*live, 3);
  FrameHookRelease(a);
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(*live, 1);
  FrameHookRelease(b);
  EXPECT_EQ(*live, 0);

  const std::string processOnly = BuildPlugin("processonly", kProcessOnlySource);
  const std::string noProcess = BuildPlugin("noprocess", kNoProcessSource);
  struct TCase {
    TArgs Args;
    int Result;
    std::string Logged;
  };
  const TCase cases[] = {
      {TArgs{processOnly}, 0, ""},
      {TArgs{processOnly, "arg"}, -2, "Failed to find Configure entrypoint in " + processOnly},
      {TArgs{noProcess}, -2, "Failed to find Process entrypoint in " + noProcess},
      {TArgs{invert, "refuse"}, -22, "Failed to Configure " + invert},
      {TArgs{"/nonexistent/hook.so"}, -1, "/nonexistent/hook.so"},
  };
  for (const TCase& c : cases) {
    TLogCapture log;
    TFrameHookEntry* list = nullptr;
    TArgs args = c.Args;
    EXPECT_EQ(FrameHookAdd(list, args.Count(), args.Pointers.data()), c.Result) << c.Args.Text[0];
    EXPECT_EQ(list != nullptr, c.Result == 0);
    if (!c.Logged.empty()) {
      EXPECT_NE(log.Text.find(c.Logged), std::string::npos) << log.Text;
    }
    FrameHookRelease(list);
  }
  TFrameHookEntry* none = nullptr;
  EXPECT_EQ(FrameHookAdd(none, 0, nullptr), -2);
}

// The option names the plug-in and its arguments; a plug-in without Process stops the output.
TEST(FrameHook, InvertingPluginOnAFrameTaskMatchesTheNegateFilter) {
  LoadFFmpegForTest();
  const std::string invert = BuildPlugin("invert", kInvertSource);
  const std::string noProcess = BuildPlugin("noprocess", kNoProcessSource);
  const std::string input = testsupport::Fixture(
      "encoder-rgb.nut",
      "ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=64x48:rate=10:duration=1 "
      "-pix_fmt rgb24 -c:v rawvideo -f nut {out}");
  const std::string dir = testsupport::MakeTempDir("enc-hook");
  testsupport::RunOk("ffmpeg -hide_banner -loglevel error -y -i " + input + " -vf negate -vframes 3 " + dir +
                     "/ref_%03d.bmp");

  TFFEncoder encoder(nullptr);
  const int index = encoder.AddTask(UTF8Decode(input));
  ASSERT_GE(index, 0) << encoder.LastErrorMessage;
  TOutputOptions out;
  InitOutputOptions(out);
  out.Options = "-vhook " + invert + " -vframes 3 -f image2";
  ASSERT_GE(encoder.SetOutput(index, UTF8Decode(dir + "/out_%03d.bmp"), &out), 0) << encoder.LastErrorMessage;
  bool done = false;
  TTerminateInfo taskInfo;
  encoder.OnTerminate = [&](TObject*, const TTerminateInfo& Info) {
    if (Info.TaskIndex == -1)
      done = true;
    else
      taskInfo = Info;
  };
  encoder.StartTask(1);
  ASSERT_TRUE(ServeUntil([&] { return done; }, 30000));
  EXPECT_FALSE(taskInfo.ExceptionRaised) << taskInfo.ExceptionMessage;
  // The task's end released its module instance, though the task itself is still listed.
  void* module = dlopen(invert.c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(*static_cast<int*>(dlsym(module, "live_instances")), 0);
  dlclose(module);
  EXPECT_EQ(encoder.TaskCount(), 1);
  for (int i = 1; i <= 3; ++i) {
    const std::string n = Format("%.3d", i);
    EXPECT_EQ(testsupport::RunOk("compare -metric AE " + dir + "/out_" + n + ".bmp " + dir + "/ref_" + n +
                                 ".bmp null: 2>&1; echo"),
              "0\n")
        << n;
  }

  TLogCapture log;
  TFFEncoder refused(nullptr);
  const int second = refused.AddTask(UTF8Decode(input));
  ASSERT_GE(second, 0);
  out.Options = "-vhook " + noProcess + " -vframes 1 -f image2";
  EXPECT_LT(refused.SetOutput(second, UTF8Decode(dir + "/no_%03d.bmp"), &out), 0);
  EXPECT_NE(refused.LastErrorMessage.find("Failed to add video hook function: " + noProcess), std::string::npos)
      << refused.LastErrorMessage;
  EXPECT_NE(log.Text.find("Failed to find Process entrypoint in " + noProcess), std::string::npos) << log.Text;
  testsupport::RemoveTree(dir);
}

}  // namespace
