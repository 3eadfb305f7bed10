// What the I/O component tests share: the I/O unit started once, a component whose events are
// recorded in order, and the fixture images made by the peer tools.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/io/ie_file_formats.h"
#include "imaging/io/ie_io_unit.h"
#include "imaging/io/ie_zodiver_io.h"
#include "platform/rtl/strings.h"
#include "tests/imaging/formats/codec_test_util.h"

namespace iotest {

// The registry exists from the unit's start-up on; tests that run before any program start-up
// start the unit themselves.
inline void EnsureIOUnit() {
  if (IEFileFormatCount() == 0) IEInitZodivErIO();
}

// A component that records "p<percent>" for every progress report and "finish:<file name>" for
// the finish event, with Aborting as it stood then.
struct TRecordedIO {
  TZodivErIO IO{nullptr};
  std::vector<std::string> Events;
  std::vector<bool> AbortingAtFinish;
  TRecordedIO() {
    EnsureIOUnit();
    IO.OnProgress = [this](TObject*, Integer Percent) { Events.push_back("p" + std::to_string(Percent)); };
    IO.OnFinishWork = [this](TObject*) {
      Events.push_back("finish:" + WideToAnsi(IO.IOParams()->FileName));
      AbortingAtFinish.push_back(IO.Aborting.load());
    };
  }
  void Clear() {
    Events.clear();
    AbortingAtFinish.clear();
  }
  Integer Finishes() const {
    Integer n = 0;
    for (const auto& e : Events) n += e.rfind("finish:", 0) == 0;
    return n;
  }
  // The finish event came once, last, right after a progress report of 100.
  void ExpectEndedOnce() const {
    ASSERT_GE(Events.size(), 2u);
    EXPECT_EQ(Finishes(), 1);
    EXPECT_EQ(Events[Events.size() - 2], "p100");
    EXPECT_EQ(Events.back().rfind("finish:", 0), 0u);
  }
};

// A 23 x 13 colour image with many colours, as netpbm's P6.
inline std::string SourcePPM() {
  return testsupport::Fixture("io-src-23x13.ppm", std::string("python3 ") + CLAVORNE_SOURCE_DIR +
                                                      "/tests/imaging/formats/tools/make_netpbm.py rgb 23 13 255 0 {out}");
}

inline WideString W(const std::string& S) { return AnsiToWide(S); }

}  // namespace iotest
