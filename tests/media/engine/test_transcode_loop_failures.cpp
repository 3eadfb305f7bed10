// Failures inside the transcode loop end the task as failed, with what was written kept: an
// input whose download breaks off, and a filter whose own source does.
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "tests/media/engine/transcode_test_support.h"

namespace {

// A web server that announces a file whole but sends only the first 40 % of it.
class TShortServer {
 public:
  TShortServer(const std::string& File, const std::string& Dir) : FPidFile(Dir + "/server.pid") {
    const std::string portFile = Dir + "/server.port";
    testsupport::RunOk("python3 " + testsupport::ShellQuote(std::string(CLAVORNE_SOURCE_DIR) +
                                                            "/tests/media/engine/short_http_server.py") +
                       " " + testsupport::ShellQuote(File) + " 0.4 " + testsupport::ShellQuote(portFile) +
                       " >/dev/null 2>&1 & echo $! > " + testsupport::ShellQuote(FPidFile));
    // A loaded machine can take seconds to start the interpreter.
    for (int i = 0; i < 1200 && Port.empty(); ++i) {
      std::ifstream in(portFile);
      std::getline(in, Port);
      if (Port.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
  }
  ~TShortServer() { testsupport::Run("kill $(cat " + testsupport::ShellQuote(FPidFile) + ")"); }
  std::string Port;

 private:
  std::string FPidFile;
};

// Matroska, so that the first part of the file can be read on its own.
std::string TenSecondMkv() {
  return testsupport::Fixture("loopfail-10s.mkv", "ffmpeg -hide_banner -loglevel error -y -i " +
                                                      testsupport::ShellQuote(TenSecondClip()) +
                                                      " -c copy -f matroska {out}");
}

class TranscodeLoopFailures : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadFFmpegForTest();
    Dir = testsupport::MakeTempDir("loopfail");
  }
  void TearDown() override { testsupport::RemoveTree(Dir); }
  std::string Dir;
};

TEST_F(TranscodeLoopFailures, AnInputCutOffByAReadErrorFailsTheTaskAndKeepsWhatWasWritten) {
  TShortServer server(TenSecondMkv(), Dir);
  ASSERT_FALSE(server.Port.empty()) << "the server did not start";
  const std::string url = "http://127.0.0.1:" + server.Port + "/clip.mkv";
  const std::string out = Dir + "/cut.mkv";
  const TRunResult r = RunTask(url, "", out, " -y -c:v mpeg4 -an -f matroska");
  EXPECT_TRUE(r.Started);
  EXPECT_FALSE(r.Finished);
  EXPECT_TRUE(r.ExceptionRaised);
  // Names the input and the cause.
  EXPECT_EQ(r.ExceptionMessage, url + ": I/O error");
  const double seconds = ProbeDuration(out);
  EXPECT_GT(seconds, 0.5);
  EXPECT_LT(seconds, 9.0);
}

TEST_F(TranscodeLoopFailures, AFilterThatFailsEndsTheTaskAsFailed) {
  TShortServer server(TenSecondMkv(), Dir);
  ASSERT_FALSE(server.Port.empty()) << "the server did not start";
  const std::string out = Dir + "/overlaid.mkv";
  // The graph reads the broken download itself (the task's input only opens the task), so the
  // failure comes from asking the graph for a picture.
  // The filter text escapes the colons of the address twice: once for the graph, once for the
  // filter's options.
  const AnsiString options = " -y -filter_complex movie=http\\\\://127.0.0.1\\\\:" + server.Port +
                             "/clip.mkv[m];[m]hflip -c:v mpeg4 -f matroska";
  const TRunResult r = RunTask(TenSecondClip(), "", out, options);
  EXPECT_TRUE(r.Started);
  EXPECT_FALSE(r.Finished);
  EXPECT_TRUE(r.ExceptionRaised);
  EXPECT_EQ(r.ExceptionMessage, "Error while filtering: I/O error");
  const double seconds = ProbeDuration(out);
  EXPECT_GT(seconds, 0.5);
  EXPECT_LT(seconds, 9.0);
}

}  // namespace
