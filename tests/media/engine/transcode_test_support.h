// Tasks built the way the application builds them (input options, output file, output options),
// run to the end, and what ffprobe says about what they wrote.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "media/engine/transcode_task.h"
#include "tests/media/engine/engine_test_model.h"

// A 10-second 320x240 clip at 25 frames a second with stereo AAC audio.
inline std::string TenSecondClip() {
  return testsupport::Fixture(
      "transcode-10s.mp4",
      "ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=320x240:rate=25:duration=10 "
      "-f lavfi -i sine=f=440:sample_rate=44100:duration=10 -ac 2 -c:v mpeg4 -q:v 5 -c:a aac -b:a 96k "
      "-f mp4 {out}");
}

struct TRunResult {
  bool Started = false;
  bool Finished = false;
  bool ExceptionRaised = false;
  AnsiString ExceptionMessage;
};

// Opens Input and Output in Task; fails the test when either is refused.
inline void OpenTask(TCustomFFmpeg& Task, const std::string& Input, const AnsiString& InputOptions,
                     const std::string& Output, const AnsiString& OutputOptions) {
  ASSERT_GE(OpenInput(Task, Input, InputOptions), 0) << Task.LastErrorMessage;
  ASSERT_GE(OpenOutput(Task, Output, OutputOptions), 0) << Task.LastErrorMessage;
}

// Runs one task in the calling thread.
inline TRunResult RunTask(const std::string& Input, const AnsiString& InputOptions, const std::string& Output,
                          const AnsiString& OutputOptions) {
  TRunResult r;
  TCustomFFmpeg task;
  OpenTask(task, Input, InputOptions, Output, OutputOptions);
  if (::testing::Test::HasFatalFailure()) return r;
  task.TerminateProc = [&](TObject*) {
    r.Started = true;
    r.Finished = task.Finished;
    r.ExceptionRaised = task.ExceptionRaised;
    r.ExceptionMessage = task.ExceptionMessage;
  };
  task.Start(false);
  return r;
}

inline std::string Probe(const std::string& File, const std::string& Entries, const std::string& Streams = "") {
  std::string cmd = "ffprobe -v error " + (Streams.empty() ? std::string() : "-select_streams " + Streams + " ") +
                    "-show_entries " + Entries + " -of default=nw=1:nk=1 " + testsupport::ShellQuote(File);
  std::string out = testsupport::RunOk(cmd);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

inline double ProbeDuration(const std::string& File, const std::string& Streams = "") {
  const std::string text = Streams.empty() ? Probe(File, "format=duration") : Probe(File, "stream=duration", Streams);
  return std::atof(text.c_str());
}

inline int CountFiles(const std::string& Folder, const std::string& Pattern) {
  std::string out;
  testsupport::Run("ls " + testsupport::ShellQuote(Folder) + " | grep -c -E " + testsupport::ShellQuote(Pattern), &out);
  return std::atoi(out.c_str());
}

// The options as shell words, for running the ffmpeg tool with the same text.
inline std::string ShellWords(const AnsiString& Options) {
  std::string out, word;
  for (size_t i = 0; i <= Options.size(); ++i) {
    if (i == Options.size() || Options[i] == ' ') {
      if (!word.empty()) out += " " + testsupport::ShellQuote(word);
      word.clear();
    } else {
      word += Options[i];
    }
  }
  return out;
}

// Each picture of a file's video as "timestamp, size, checksum".
inline std::string FrameChecksums(const std::string& File) {
  std::string out;
  std::string lines =
      testsupport::RunOk("ffmpeg -nostdin -v error -i " + testsupport::ShellQuote(File) + " -map 0:v -f framemd5 -");
  size_t at = 0;
  while (at < lines.size()) {
    size_t end = lines.find('\n', at);
    if (end == std::string::npos) end = lines.size();
    if (lines[at] != '#') out += lines.substr(at, end - at) + "\n";
    at = end + 1;
  }
  return out;
}
