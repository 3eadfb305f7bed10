// Faults users meet while a task runs: an input that is a FIFO, an input cut short, an output
// folder removed in the middle of a run or never there.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "media/components/encoder.h"
#include "tests/media/engine/transcode_test_support.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class TranscodeFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadFFmpegForTest();
    Dir = testsupport::MakeTempDir("faults");
  }
  void TearDown() override { testsupport::RemoveTree(Dir); }
  std::string Dir;
};

// Ten seconds in a stream format, which a pipe can carry.
std::string TenSecondTs() {
  return testsupport::Fixture(
      "faults-10s.ts",
      "ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=320x240:rate=25:duration=10 "
      "-f lavfi -i sine=f=440:sample_rate=44100:duration=10 -c:v mpeg4 -q:v 5 -c:a mp2 -f mpegts {out}");
}

std::string ReadAll(const std::string& File) {
  std::ifstream in(File, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& File, const std::string& Bytes) {
  std::ofstream out(File, std::ios::binary | std::ios::trunc);
  out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
}

// A FIFO held open for writing by the test itself, so a reader sees neither data nor an end.
struct TSilentFifo {
  explicit TSilentFifo(const std::string& Path) : Path(Path) {
    EXPECT_EQ(mkfifo(Path.c_str(), 0600), 0);
    Writer = open(Path.c_str(), O_RDWR | O_NONBLOCK);
    EXPECT_GE(Writer, 0);
  }
  ~TSilentFifo() {
    if (Writer >= 0) close(Writer);
  }
  std::string Path;
  int Writer = -1;
};

TEST_F(TranscodeFaults, FifoThatNeverDeliversEndsInTheReadTimeOutAndSaysSo) {
  // Nobody ever opens it for writing; or a writer holds it open and writes nothing.
  for (const bool writer : {false, true}) {
    SCOPED_TRACE(writer ? "silent writer" : "no writer");
    const std::string path = Dir + (writer ? "/silent.ts" : "/unopened.ts");
    std::unique_ptr<TSilentFifo> silent;
    if (writer) silent = std::make_unique<TSilentFifo>(path);
    else ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    const std::string expected = "No data arrived from \"" + path + "\" within the read time-out of 300 ms.";

    TCustomFFmpeg task;
    task.ReadTimeout = 300;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_LT(OpenInput(task, path), 0);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(300));
    EXPECT_LT(elapsed, std::chrono::seconds(10));
    EXPECT_EQ(task.LastErrorMessage, expected);
    EXPECT_TRUE(task.InputFiles.empty());

    // The component's AddTask, as the application calls it on its main thread.
    TFFEncoder encoder(nullptr);
    encoder.ReadTimeout = 300;
    const auto added = std::chrono::steady_clock::now();
    EXPECT_LT(encoder.AddTask(UTF8Decode(path), nullptr), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - added, std::chrono::seconds(10));
    EXPECT_EQ(encoder.LastErrorMessage, expected);
  }
}

TEST_F(TranscodeFaults, FifoWhoseWriterFallsSilentEndsTheRunInTheReadTimeOutAndSaysSo) {
  const std::string fifo = Dir + "/stalled.ts";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string bytes = ReadAll(TenSecondTs());
  // The writer sends the first half and then keeps the FIFO open without a further byte, as a
  // stalled recorder or download does.
  std::atomic<bool> release{false};
  std::atomic<bool> halfSent{false};
  std::thread writer([&] {
    const int fd = open(fifo.c_str(), O_WRONLY);
    for (size_t done = 0; fd >= 0 && done < bytes.size() / 2;) {
      const ssize_t n = write(fd, bytes.data() + done, bytes.size() / 2 - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    halfSent = true;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (fd >= 0) close(fd);
  });
  const auto previousPipeHandler = signal(SIGPIPE, SIG_IGN);

  TFFEncoder encoder(nullptr);
  encoder.ReadTimeout = 1000;
  const int index = encoder.AddTask(UTF8Decode(fifo), nullptr);
  EXPECT_GE(index, 0) << encoder.LastErrorMessage;
  const std::string out = Dir + "/stalled.mkv";
  TOutputOptions options;
  InitOutputOptions(options);
  options.Options = "-y -c:v mpeg4 -c:a mp2";
  if (index >= 0) {
    EXPECT_GE(encoder.SetOutput(index, UTF8Decode(out), &options), 0) << encoder.LastErrorMessage;
  }
  std::vector<TTerminateInfo> ends;
  encoder.OnTerminate = [&](TObject*, const TTerminateInfo& Info) { ends.push_back(Info); };
  const auto start = std::chrono::steady_clock::now();
  if (index >= 0) encoder.StartTask(0);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  release = true;
  writer.join();
  signal(SIGPIPE, previousPipeHandler);

  EXPECT_TRUE(halfSent);
  EXPECT_LT(elapsed, std::chrono::seconds(15));
  ASSERT_EQ(ends.size(), 2u);
  EXPECT_EQ(ends[0].TaskIndex, 0);
  EXPECT_FALSE(ends[0].Finished);
  EXPECT_TRUE(ends[0].ExceptionRaised);
  EXPECT_THAT(ends[0].ExceptionMessage,
              HasSubstr("No data arrived from \"" + fifo + "\" within the read time-out of 1 s."));
  EXPECT_THAT(ends[0].ExceptionMessage, Not(HasSubstr("Immediate exit requested")));
  // What came before the writer stalled is kept, readable.
  EXPECT_GT(ProbeDuration(out), 1.0);
}

TEST_F(TranscodeFaults, StopAtARandomMomentEndsTheWaitOnAFifo) {
  TSilentFifo fifo(Dir + "/stopped.ts");
  std::random_device seed;
  const unsigned delayMs = 20 + seed() % 400;
  TCustomFFmpeg task;
  task.ReadTimeout = 600000;
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    task.Stop(false);
  });
  const auto start = std::chrono::steady_clock::now();
  const int ret = OpenInput(task, fifo.Path);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  stopper.join();
  EXPECT_LT(ret, 0) << "stop after " << delayMs << " ms";
  EXPECT_LT(elapsed, std::chrono::milliseconds(delayMs + 3000)) << "stop after " << delayMs << " ms";
  EXPECT_THAT(task.LastErrorMessage, HasSubstr(fifo.Path));
}

TEST_F(TranscodeFaults, FifoThatDeliversIsTranscodedToTheEnd) {
  const std::string fifo = Dir + "/fed.ts";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string bytes = ReadAll(TenSecondTs());
  const auto previousPipeHandler = signal(SIGPIPE, SIG_IGN);
  std::thread feeder([&] {
    const int fd = open(fifo.c_str(), O_WRONLY);
    for (size_t done = 0; fd >= 0 && done < bytes.size();) {
      const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    if (fd >= 0) close(fd);
  });
  const std::string out = Dir + "/fed.mkv";
  TCustomFFmpeg task;
  task.ReadTimeout = 20000;
  OpenTask(task, fifo, "", out, " -y -c:v mpeg4 -c:a mp2");
  bool finished = false;
  AnsiString message;
  task.TerminateProc = [&](TObject*) {
    finished = task.Finished;
    message = task.ExceptionMessage;
  };
  task.Start(false);
  feeder.join();
  signal(SIGPIPE, previousPipeHandler);
  EXPECT_TRUE(finished) << message;
  EXPECT_NEAR(ProbeDuration(out), 10.0, 0.2);
}

// The first Percent of File, as a download cut off or still in progress leaves it.
std::string CutShort(const std::string& File, const std::string& Folder, int Percent) {
  const std::string bytes = ReadAll(File);
  const std::string name = File.substr(File.find_last_of('/') + 1);
  const std::string cut = Folder + "/cut-" + name;
  WriteAll(cut, bytes.substr(0, bytes.size() * static_cast<size_t>(Percent) / 100));
  return cut;
}

struct TCutCase {
  const char* Source;     // fixture recipe name
  const char* Recipe;     // how the fixture is made
  int Percent;            // how much of it is left
  const char* Output;     // output file name
  const char* Options;    // output options
  bool Fails;
};

TEST_F(TranscodeFaults, InputCutShortFailsAndSaysWhereItEndedButKeepsWhatWasWritten) {
  const char* const mp4 =
      "ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=320x240:rate=25:duration=10 "
      "-f lavfi -i sine=f=440:sample_rate=44100:duration=10 -ac 2 -c:v mpeg4 -q:v 5 -c:a aac "
      "-movflags +faststart -f mp4 {out}";
  const char* const mkv =
      "ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=320x240:rate=25:duration=10 "
      "-c:v mpeg4 -q:v 5 -f matroska {out}";
  const char* const mp3 =
      "ffmpeg -hide_banner -loglevel error -y -f lavfi -i sine=f=440:sample_rate=44100:duration=10 "
      "-c:a libmp3lame -f mp3 {out}";
  const TCutCase cases[] = {
      {"faults-faststart.mp4", mp4, 30, "clip.mp4", " -y -c:v mpeg4 -c:a aac", true},
      {"faults-faststart.mp4", mp4, 30, "frames_%03d.jpg", " -y -q:v 5 -f image2", true},
      {"faults-video.mkv", mkv, 40, "clip.avi", " -y -c:v mpeg4", true},
      {"faults-sine.mp3", mp3, 50, "sound.wav", " -y", true},
      // The outputs need only the first two seconds, which the cut input still holds.
      {"faults-faststart.mp4", mp4, 50, "short.mp4", " -y -t 00:00:02.000 -c:v mpeg4 -c:a aac", false},
      // The whole input.
      {"faults-faststart.mp4", mp4, 100, "whole.mp4", " -y -c:v mpeg4 -c:a aac", false},
  };
  for (const TCutCase& c : cases) {
    SCOPED_TRACE(std::string(c.Source) + " " + std::to_string(c.Percent) + "% -> " + c.Output);
    const std::string folder = testsupport::MakeTempDir("cut");
    const std::string input = CutShort(testsupport::Fixture(c.Source, c.Recipe), folder, c.Percent);
    const std::string output = folder + "/" + c.Output;
    const TRunResult r = RunTask(input, "", output, c.Options);
    EXPECT_TRUE(r.Started);
    EXPECT_EQ(r.Finished, !c.Fails) << r.ExceptionMessage;
    EXPECT_EQ(r.ExceptionRaised, c.Fails) << r.ExceptionMessage;
    if (c.Fails) {
      EXPECT_THAT(r.ExceptionMessage, HasSubstr("Input file \"" + input + "\" ended at 00:00:0"));
      EXPECT_THAT(r.ExceptionMessage, HasSubstr("of the expected 00:00:10.0"));
    }
    // What was read is written out all the same.
    if (std::string(c.Output).find('%') != std::string::npos)
      EXPECT_GT(CountFiles(folder, "^frames_[0-9]{3}\\.jpg$"), 20);
    else
      EXPECT_GT(ProbeDuration(output), 1.5);
    testsupport::RemoveTree(folder);
  }
}

TEST_F(TranscodeFaults, OutputFolderRemovedDuringTheRunEndsTheTaskWithinMomentsNamingTheFile) {
  struct TRemovedCase {
    const char* Output;
    const char* Options;
    const char* Reason;
  };
  const TRemovedCase cases[] = {
      {"clip.mp4", " -y -c:v mpeg4 -c:a aac", "no longer exists: it or its folder was removed while it was written."},
      {"sound.mp3", " -y -vn -c:a libmp3lame", "no longer exists: it or its folder was removed while it was written."},
      {"frames_%03d.jpg", " -y -q:v 5 -f image2", "no longer exists: it was removed while the files were written."},
      // One picture every three seconds, as the application's every-N-frames selection writes
      // them: the next picture's file would be tried too late to tell.
      {"every75_%03d.jpg", " -y -q:v 5 -f image2 -vf select=not(mod(n\\,75)) -vsync vfr",
       "no longer exists: it was removed while the files were written."},
  };
  for (const TRemovedCase& c : cases) {
    SCOPED_TRACE(c.Output);
    const std::string folder = Dir + "/out";
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    const std::string output = folder + "/" + c.Output;
    TCustomFFmpeg task;
    // Read at its own pace, so the removal lands in the middle of a run that would go on for
    // five seconds more.
    OpenTask(task, TenSecondClip(), " -re -ss 00:00:05.000", output, c.Options);
    task.ProgressInterval = 100000;
    std::atomic<bool> removed{false};
    std::chrono::steady_clock::time_point removedAt, endedAt;
    task.ProgressProc = [&](TObject*, const TTaskProgress&) {
      if (removed.exchange(true)) return;
      testsupport::RemoveTree(folder);
      removedAt = std::chrono::steady_clock::now();
    };
    TRunResult r;
    task.TerminateProc = [&](TObject*) {
      endedAt = std::chrono::steady_clock::now();
      r.Finished = task.Finished;
      r.ExceptionRaised = task.ExceptionRaised;
      r.ExceptionMessage = task.ExceptionMessage;
    };
    task.Start(false);
    ASSERT_TRUE(removed);
    EXPECT_LT(endedAt - removedAt, std::chrono::seconds(2));
    EXPECT_FALSE(r.Finished);
    EXPECT_TRUE(r.ExceptionRaised);
    EXPECT_THAT(r.ExceptionMessage, HasSubstr("\"" + output + "\""));
    EXPECT_THAT(r.ExceptionMessage, HasSubstr(c.Reason));
    EXPECT_NE(access(folder.c_str(), F_OK), 0);
    testsupport::RemoveTree(folder);
  }
}

TEST_F(TranscodeFaults, OutputIntoAFolderThatDoesNotExistIsRefusedBySetOutputNamingTheFolder) {
  struct TMissingCase {
    const char* Folder;  // under the test's folder
    const char* Output;
    const char* Options;
  };
  WriteAll(Dir + "/plain-file", "not a folder");
  const TMissingCase cases[] = {
      {"missing", "frames_%03d.jpg", "-y -q:v 5 -f image2"},
      {"missing", "clip.mp4", "-y -c:v mpeg4 -c:a aac"},
      {"missing/deeper", "sound.mp3", "-y -vn -c:a libmp3lame"},
      {"plain-file", "frames_%03d.png", "-y -f image2"},
  };
  TFFEncoder encoder(nullptr);
  for (const TMissingCase& c : cases) {
    SCOPED_TRACE(std::string(c.Folder) + "/" + c.Output);
    const std::string folder = Dir + "/" + c.Folder;
    const std::string output = folder + "/" + c.Output;
    const int index = encoder.AddTask(UTF8Decode(TenSecondClip()), nullptr);
    ASSERT_GE(index, 0) << encoder.LastErrorMessage;
    TOutputOptions options;
    InitOutputOptions(options);
    options.Options = c.Options;
    EXPECT_LT(encoder.SetOutput(index, UTF8Decode(output), &options), 0);
    EXPECT_EQ(encoder.LastErrorMessage, "Output folder \"" + folder + "\" of \"" + output + "\" does not exist.");
    encoder.RemoveTask(index);
  }
  EXPECT_NE(access((Dir + "/missing").c_str(), F_OK), 0);

  // A folder that is there still takes the same outputs, and the run writes them.
  for (const TMissingCase& c : cases) {
    if (std::string(c.Folder) != "missing") continue;
    SCOPED_TRACE(std::string("present/") + c.Output);
    const std::string folder = testsupport::MakeTempDir("present");
    const TRunResult r = RunTask(TenSecondClip(), " -ss 00:00:09.000", folder + "/" + c.Output, c.Options);
    EXPECT_TRUE(r.Finished) << r.ExceptionMessage;
    EXPECT_FALSE(r.ExceptionRaised) << r.ExceptionMessage;
    EXPECT_GT(CountFiles(folder, "."), 0);
    testsupport::RemoveTree(folder);
  }
}

}  // namespace

namespace {

// The numbered JPEG files of a folder, by number; each must be a whole picture (ending in the
// end-of-image marker).
std::vector<int> WholeJpegNumbers(const std::string& Folder, const std::string& Prefix) {
  std::vector<int> numbers;
  for (const auto& entry : std::filesystem::directory_iterator(Folder)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(Prefix, 0) != 0 || !entry.is_regular_file()) continue;
    const std::string bytes = ReadAll(entry.path().string());
    EXPECT_GE(bytes.size(), 4u) << name;
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xD8") << name;
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\xFF\xD9") << name << " is cut short";
    numbers.push_back(std::atoi(name.c_str() + Prefix.size()));
  }
  std::sort(numbers.begin(), numbers.end());
  return numbers;
}

}  // namespace

// Pictures are encoded and written beside the loop, which meanwhile decodes the next one. A
// picture that cannot be written (its name is taken by a folder) still ends the run at that
// picture: the failure is reported, the pictures before it are whole, none after it is written.
TEST_F(TranscodeFaults, PictureThatCannotBeWrittenEndsTheRunThereWithThePicturesBeforeItWhole) {
  const std::string folder = Dir + "/out";
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  ASSERT_EQ(mkdir((folder + "/frames_005.jpg").c_str(), 0700), 0);
  const TRunResult r = RunTask(TenSecondClip(), "", folder + "/frames_%03d.jpg", " -y -q:v 5 -f image2");
  EXPECT_FALSE(r.Finished);
  EXPECT_TRUE(r.ExceptionRaised);
  EXPECT_THAT(r.ExceptionMessage, HasSubstr("av_interleaved_write_frame()"));
  EXPECT_EQ(WholeJpegNumbers(folder, "frames_"), (std::vector<int>{1, 2, 3, 4}));
}

// A stop at any moment of a run of numbered pictures leaves whole pictures only, numbered from
// the first without a gap: the picture the worker holds is finished, not cut.
TEST_F(TranscodeFaults, StopAtARandomMomentLeavesWholePicturesNumberedWithoutAGap) {
  std::random_device seed;
  for (int round = 0; round < 3; ++round) {
    const std::string folder = Dir + "/stop" + std::to_string(round);
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    const unsigned delayMs = 50 + seed() % 500;
    SCOPED_TRACE("stop after " + std::to_string(delayMs) + " ms");
    TCustomFFmpeg task;
    // Read at its own pace, so the stop lands in the middle of the run.
    OpenTask(task, TenSecondClip(), " -re", folder + "/frames_%03d.jpg", " -y -q:v 2 -f image2");
    TRunResult r;
    task.TerminateProc = [&](TObject*) {
      r.Finished = task.Finished;
      r.ExceptionRaised = task.ExceptionRaised;
    };
    std::thread stopper([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
      task.Stop(false);
    });
    const auto start = std::chrono::steady_clock::now();
    task.Start(false);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    stopper.join();
    EXPECT_LT(elapsed, std::chrono::milliseconds(delayMs + 2000));
    const std::vector<int> numbers = WholeJpegNumbers(folder, "frames_");
    for (size_t i = 0; i < numbers.size(); ++i) EXPECT_EQ(numbers[i], static_cast<int>(i) + 1);
  }
}
