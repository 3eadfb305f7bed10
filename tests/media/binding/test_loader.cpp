#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "media/binding/entry_points.h"
#include "media/binding/ffmpeg_exception.h"
#include "media/binding/loader.h"
#include "media/binding/lock_manager.h"
#include "media/binding/logger.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/strings.h"
#include "tests/support/fixtures.h"

namespace {

// The mapped files whose name contains `part`, one entry per distinct path.
std::vector<std::string> MappedFiles(const std::string& part) {
  std::ifstream maps("/proc/self/maps");
  std::vector<std::string> paths;
  for (std::string line; std::getline(maps, line);) {
    const size_t slash = line.find('/');
    if (slash == std::string::npos) continue;
    const std::string path = line.substr(slash);
    if (path.find(part) != std::string::npos && std::find(paths.begin(), paths.end(), path) == paths.end()) {
      paths.push_back(path);
    }
  }
  return paths;
}

bool AnyEntryPointBound() {
  bool any = false;
#define CHECK_ENTRY(name, optional) any = any || ff::name != nullptr;
#define CHECK_LIBC_ENTRY(name, optional, type) any = any || ff::name != nullptr;
  CLV_AVCODEC_ENTRY_POINTS(CHECK_ENTRY)
  CLV_AVDEVICE_ENTRY_POINTS(CHECK_ENTRY)
  CLV_AVFILTER_ENTRY_POINTS(CHECK_ENTRY)
  CLV_AVFORMAT_ENTRY_POINTS(CHECK_ENTRY)
  CLV_AVUTIL_ENTRY_POINTS(CHECK_ENTRY)
  CLV_SWRESAMPLE_ENTRY_POINTS(CHECK_ENTRY)
  CLV_SWSCALE_ENTRY_POINTS(CHECK_ENTRY)
  CLV_LIBC_ENTRY_POINTS(CHECK_LIBC_ENTRY)
#undef CHECK_ENTRY
#undef CHECK_LIBC_ENTRY
  return any;
}

// The checks that load or unload the process's one library set run in a fresh copy of the test
// program, so that what one of them maps or unmaps cannot reach the others.
class LoaderProcessTest : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

#define CHECK_OR_EXIT(cond, text)                 \
  do {                                            \
    if (!(cond)) {                                \
      std::fprintf(stderr, "FAILED: %s\n", text); \
      std::exit(1);                               \
    }                                             \
  } while (0)

}  // namespace

TEST(Loader, FileNamesAreTheInstalledSonames) {
  TFFLoader loader;
  const std::pair<TLibraryKind, const char*> rows[] = {
      {lkAVCodec, "libavcodec.so.59"},     {lkAVDevice, "libavdevice.so.59"}, {lkAVFilter, "libavfilter.so.8"},
      {lkAVFormat, "libavformat.so.59"},   {lkAVUtil, "libavutil.so.57"},     {lkSwResample, "libswresample.so.4"},
      {lkSwScale, "libswscale.so.6"},      {lkMsvcrt, "libc.so.6"}};
  for (const auto& [kind, name] : rows) EXPECT_EQ(WideToAnsi(loader.GetLibraryFileName(kind)), name);
}

TEST(Loader, LoadsEveryLibraryFromTheSearchPathOnce) {
  TFFLoader* loader = FFLoader();
  EXPECT_EQ(Get8087CW(), 0x133F);
  volatile double zero = 0.0;
  EXPECT_TRUE(std::isinf(1.0 / zero));
  ASSERT_TRUE(loader->Load(AllLibraries)) << loader->GetLastError();
  EXPECT_TRUE(loader->AllLoaded(AllLibraries));
  EXPECT_NO_THROW(loader->CheckLoaded(AllLibraries));
  EXPECT_EQ(MappedFiles("libavutil.so.57").size(), 1u);
  EXPECT_EQ(ff::avcodec_version(), unsigned(LIBAVCODEC_VERSION_INT));
  EXPECT_EQ(ff::avformat_version(), unsigned(LIBAVFORMAT_VERSION_INT));
  // A second load maps and binds nothing new and still succeeds.
  ASSERT_TRUE(loader->Load(AllLibraries));
  EXPECT_EQ(MappedFiles("libavcodec.so.59").size(), 1u);
}

TEST_F(LoaderProcessTest, CallsBeforeLoadingNameTheFirstMissingLibrary) {
  EXPECT_EXIT(
      {
        CHECK_OR_EXIT(!FFLoader()->AllLoaded(DecoderLibraries), "nothing loaded yet");
        try {
          FFLoader()->CheckLoaded(DecoderLibraries);
          CHECK_OR_EXIT(false, "CheckLoaded raised nothing");
        } catch (const Exception& e) {
          std::fprintf(stderr, "[%s]\n", e.Message.c_str());
        }
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "\\[Library avcodec not loaded\\.\\]");
}

TEST_F(LoaderProcessTest, FolderCopiesAreMappedInsteadOfTheSystemOnes) {
  const std::string dir = testsupport::MakeTempDir("libs");
  testsupport::RunOk("cp /usr/lib/x86_64-linux-gnu/libavutil.so.57 /usr/lib/x86_64-linux-gnu/libswscale.so.6 " +
                     testsupport::ShellQuote(dir));
  EXPECT_EXIT(
      {
        FFLoader()->SetLibraryPath(AnsiToWide(dir));
        CHECK_OR_EXIT(FFLoader()->Load(AllLibraries), FFLoader()->GetLastError().c_str());
        const auto avutil = MappedFiles("libavutil.so.57");
        CHECK_OR_EXIT(avutil.size() == 1, "one libavutil");
        CHECK_OR_EXIT(avutil[0] == dir + "/libavutil.so.57", "libavutil from the folder");
        const auto swscale = MappedFiles("libswscale.so.6");
        CHECK_OR_EXIT(swscale.size() == 1 && swscale[0] == dir + "/libswscale.so.6", "libswscale from the folder");
        const auto avcodec = MappedFiles("libavcodec.so.59");
        CHECK_OR_EXIT(avcodec.size() == 1 && avcodec[0].rfind("/usr/lib", 0) == 0, "libavcodec from the system");
        CHECK_OR_EXIT(ff::av_malloc != nullptr, "avutil bound");
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  testsupport::RemoveTree(dir);
}

TEST_F(LoaderProcessTest, MissingEntryPointRollsTheWholeSetBack) {
  // A stand-in libswresample that exports everything but swr_init.
  const std::string dir = testsupport::MakeTempDir("stub");
  std::string source;
#define STUB_ENTRY(name, optional) \
  if (std::string(#name) != "swr_init") source += "void " #name "(void) {}\n";
  CLV_SWRESAMPLE_ENTRY_POINTS(STUB_ENTRY)
#undef STUB_ENTRY
  std::ofstream(dir + "/stub.c") << source;
  testsupport::RunOk("cc -shared -fPIC -o " + testsupport::ShellQuote(dir + "/libswresample.so.4") + " " +
                     testsupport::ShellQuote(dir + "/stub.c") + " 2>&1");
  EXPECT_EXIT(
      {
        FFLoader()->SetLibraryPath(AnsiToWide(dir));
        CHECK_OR_EXIT(!FFLoader()->Load(AllLibraries), "load must fail");
        std::fprintf(stderr, "[%s]\n", FFLoader()->GetLastError().c_str());
        for (int k = 0; k < LibraryKindCount; ++k) {
          CHECK_OR_EXIT(!FFLoader()->IsLoaded(static_cast<TLibraryKind>(k)), "a library stayed loaded");
        }
        CHECK_OR_EXIT(!AnyEntryPointBound(), "an entry point stayed bound");
        std::exit(0);
      },
      ::testing::ExitedWithCode(0),
      "\\[Load function swr_init@libswresample\\.so\\.4 error: .*undefined symbol: swr_init\\]");
  testsupport::RemoveTree(dir);
}

TEST_F(LoaderProcessTest, UnloadingClearsEveryEntryPoint) {
  EXPECT_EXIT(
      {
        CHECK_OR_EXIT(FFLoader()->Load(AllLibraries), FFLoader()->GetLastError().c_str());
        CHECK_OR_EXIT(ff::avsubtitle_free && ff::strtod && ff::sws_scale, "bound after loading");
        FFLoader()->Unload(AllLibraries);
        CHECK_OR_EXIT(!AnyEntryPointBound(), "an entry point stayed bound");
        CHECK_OR_EXIT(!FFLoader()->AllLoaded(AllLibraries), "still loaded");
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(LoaderProcessTest, AFileThatCannotBeMappedIsReported) {
  const std::string dir = testsupport::MakeTempDir("broken");
  std::ofstream(dir + "/libavutil.so.57") << "not a library";
  EXPECT_EXIT(
      {
        FFLoader()->SetLibraryPath(AnsiToWide(dir));
        CHECK_OR_EXIT(!FFLoader()->Load(DecoderLibraries), "load must fail");
        std::fprintf(stderr, "[%s]\n", FFLoader()->GetLastError().c_str());
        CHECK_OR_EXIT(!AnyEntryPointBound(), "an entry point stayed bound");
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "\\[Load library .*/libavutil\\.so\\.57 error: .*libavutil\\.so\\.57: .*\\]");
  testsupport::RemoveTree(dir);
}
