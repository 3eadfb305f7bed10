// The frame run's Express mode in one process, as the application runs it: COUNT tasks, each
// taking one JPEG at the centre of its share of the clip, five at a time, RUNS times over. Prints
// the process's resident memory after each run and after the task list is cleared, and its peak,
// in MB: whether the memory stays flat from run to run. It times nothing; the time and peak
// against the ffmpeg tool come from compare-transcode.sh express100, whole process against
// whole processes.
//   bench_express_memory INPUT DURATION-SECONDS OUTPUT-FOLDER [COUNT] [RUNS]
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "media/binding/logger.h"
#include "media/components/encoder.h"
#include "platform/rtl/mainthread.h"
#include "platform/rtl/strings.h"
#include "platform/rtl/sysutils.h"
#include "platform/startup.h"

namespace {

// A field of /proc/self/status in MB ("VmRSS", "VmHWM").
double StatusMB(const std::string& Field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(Field + ":", 0) == 0) return std::atof(line.c_str() + Field.size() + 1) / 1024.0;
  return -1;
}

std::string TimeText(double Seconds) {
  const long ms = static_cast<long>(Seconds * 1000.0 + 0.5);
  char text[32];
  std::snprintf(text, sizeof(text), "%02ld:%02ld:%02ld.%03ld", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60,
                ms % 1000);
  return text;
}

bool RunExpress(TFFEncoder& Encoder, const std::string& Input, double Duration, const std::string& Folder,
                int Count) {
  for (int k = 1; k <= Count; ++k) {
    TInputOptions in;
    InitInputOptions(in);
    in.Options = " -ss " + TimeText((k - 0.5) / Count * Duration);
    const Integer index = Encoder.AddTask(UTF8Decode(Input), &in);
    if (index < 0) {
      std::fprintf(stderr, "add: %s\n", Encoder.LastErrorMessage.c_str());
      return false;
    }
    TOutputOptions out;
    InitOutputOptions(out);
    out.Options = " -y -q:v 0 -f image2 -vframes 1";
    const std::string name = Folder + "/express-" + std::to_string(k) + ".jpg";
    if (Encoder.SetOutput(index, UTF8Decode(name), &out) < 0) {
      std::fprintf(stderr, "output: %s\n", Encoder.LastErrorMessage.c_str());
      return false;
    }
  }
  std::printf("  %d tasks added: resident %.0f MB\n", Count, StatusMB("VmRSS"));
  Encoder.StartTask(5);
  while (!Encoder.Finished()) CheckSynchronize(5);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 1) {
    std::printf("usage: bench_express_memory INPUT DURATION-SECONDS OUTPUT-FOLDER [COUNT] [RUNS]\n");
    return 0;
  }
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s INPUT DURATION-SECONDS OUTPUT-FOLDER [COUNT] [RUNS]\n", argv[0]);
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  PlatformStartup(argc, argv);
  const std::string input = argv[1];
  const double duration = std::atof(argv[2]);
  const std::string folder = argv[3];
  const int count = argc > 4 ? std::atoi(argv[4]) : 100;
  const int runs = argc > 5 ? std::atoi(argv[5]) : 1;
  TFFEncoder encoder(nullptr);
  if (!encoder.LoadLibraries(UTF8Decode(""))) {
    std::fprintf(stderr, "libraries: %s\n", encoder.LastErrorMessage.c_str());
    return 1;
  }
  FFLogger()->SetLogLevel(llQuiet);
  for (int run = 1; run <= runs; ++run) {
    if (!RunExpress(encoder, input, duration, folder, count)) return 1;
    const double afterRun = StatusMB("VmRSS");
    encoder.ClearTasks();
    std::printf("run %d: resident after the run %.0f MB, after ClearTasks %.0f MB, peak %.0f MB\n", run, afterRun,
                StatusMB("VmRSS"), StatusMB("VmHWM"));
  }
  return 0;
}
