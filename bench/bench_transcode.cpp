// Runs one task the way the frame extraction builds it and prints how long it took, for
// compare-transcode.sh to set against the ffmpeg tool given the same options.
//   bench_transcode INPUT "INPUT OPTIONS" OUTPUT "OUTPUT OPTIONS"
#include <chrono>
#include <cstdio>
#include <string>

#include "media/binding/logger.h"
#include "media/binding/loader.h"
#include "media/engine/transcode_task.h"
#include "platform/rtl/strings.h"

namespace {

int RunOnce(const std::string& Input, const std::string& InputOptions, const std::string& Output,
            const std::string& OutputOptions) {
  TCustomFFmpeg task;
  TOptionsContext in;
  task.InitOptionsContext(in);
  int ret = task.OpenInputFile(in, InputOptions, UTF8Decode(Input), "");
  task.UninitOptionsContext(in);
  if (ret < 0) {
    std::fprintf(stderr, "input: %s\n", task.LastErrorMessage.c_str());
    return 1;
  }
  TOptionsContext out;
  task.InitOptionsContext(out);
  ret = task.OpenOutputFile(out, OutputOptions, false, UTF8Decode(Output), "");
  task.UninitOptionsContext(out);
  if (ret < 0) {
    std::fprintf(stderr, "output: %s\n", task.LastErrorMessage.c_str());
    return 1;
  }
  task.Start(false);
  if (task.ExceptionRaised) {
    std::fprintf(stderr, "run: %s\n", task.ExceptionMessage.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 1) {
    std::printf("bench_transcode: compare-transcode.sh runs it with a task\n");
    return 0;
  }
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s INPUT INPUT-OPTIONS OUTPUT OUTPUT-OPTIONS\n", argv[0]);
    return 2;
  }
  if (!FFLoader()->Load(AllLibraries)) {
    std::fprintf(stderr, "%s\n", FFLoader()->GetLastError().c_str());
    return 1;
  }
  FFLogger()->SetLogLevel(llQuiet);
  const auto t0 = std::chrono::steady_clock::now();
  const int rc = RunOnce(argv[1], argv[2], argv[3], argv[4]);
  const auto t1 = std::chrono::steady_clock::now();
  std::printf("%.3f\n", std::chrono::duration<double, std::milli>(t1 - t0).count());
  return rc;
}
