// What the encoder tests share: fixtures, a frame task list and a main-thread wait.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

#include "media/components/encoder.h"
#include "platform/rtl/mainthread.h"
#include "platform/rtl/strings.h"
#include "platform/rtl/sysutils.h"
#include "tests/media/binding/load_ffmpeg.h"
#include "tests/support/fixtures.h"

namespace encodertest {

// Three frames of 160x120 video.
inline std::string ShortClip() {
  return testsupport::Fixture("encoder-3frames.mkv",
                              "ffmpeg -hide_banner -loglevel error -y -f lavfi -i "
                              "testsrc2=size=160x120:rate=10:duration=0.3 -c:v mpeg4 -f matroska {out}");
}

// Thirty seconds, read at its own pace with "-re": long enough to be stopped in the middle.
inline std::string LongClip() {
  return testsupport::Fixture("encoder-long.mkv",
                              "ffmpeg -hide_banner -loglevel error -y -f lavfi -i "
                              "testsrc2=size=160x120:rate=10:duration=30 -c:v mpeg4 -f matroska {out}");
}

// Adds a task that writes the frames of Input, scaled to 96x72, to Folder/tNN_%03d.bmp.
inline void AddFrameTask(TCustomEncoder& Encoder, const std::string& Input, const std::string& Folder, int N,
                         const AnsiString& InputOptions = "") {
  TInputOptions in;
  InitInputOptions(in);
  in.Options = InputOptions;
  const int index = Encoder.AddTask(UTF8Decode(Input), &in);
  ASSERT_GE(index, 0) << Encoder.LastErrorMessage;
  TOutputOptions out;
  InitOutputOptions(out);
  out.Options = "-s 96x72 -f image2";
  const std::string name = Folder + Format("/t%.2d_%%03d.bmp", N);
  ASSERT_GE(Encoder.SetOutput(index, UTF8Decode(name), &out), 0) << Encoder.LastErrorMessage;
}

// Serves the main thread's queue until Done() or the time-out; Tick runs between servings.
inline bool ServeUntil(const std::function<bool()>& Done, int TimeoutMs,
                       const std::function<void()>& Tick = nullptr) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  while (!Done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    CheckSynchronize(2);
    if (Tick) Tick();
  }
  return true;
}

// "W H" per file matching Pattern, sorted, one per line.
inline std::string Identify(const std::string& Pattern) {
  return testsupport::RunOk("identify -format '%w %h\\n' " + Pattern + " | sort");
}

}  // namespace encodertest
