// The wide forms of the folder, environment and search calls: UTF-16 names in, UTF-8 file system
// underneath, with names outside the Basic Multilingual Plane and values longer than the old
// fixed buffers.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <set>
#include <thread>

#include "media/binding/engine_utils.h"
#include "media/binding/wide_system.h"
#include "platform/rtl/mainthread.h"
#include "platform/rtl/strings.h"
#include "tests/support/fixtures.h"

namespace {

// "Größe 日本 " and a character written as a surrogate pair.
const WideString Unusual = u"Gr\u00f6\u00dfe \u65e5\u672c \U0001F600";

class WideSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = UTF8Decode(testsupport::MakeTempDir("wide"));
    Saved = WideGetCurrentDir();
  }
  void TearDown() override {
    WideSetCurrentDir(Saved);
    testsupport::RemoveTree(UTF8Encode(Dir));
  }
  void Touch(const WideString& Name, size_t Bytes) {
    testsupport::RunOk("head -c " + std::to_string(Bytes) + " /dev/zero > " + testsupport::ShellQuote(UTF8Encode(Name)));
  }
  WideString Dir, Saved;
};

TEST_F(WideSystem, WorkingFolderAndFullNamesKeepEveryCharacter) {
  const WideString folder = Dir + u"/" + Unusual;
  testsupport::RunOk("mkdir " + testsupport::ShellQuote(UTF8Encode(folder)));
  ASSERT_TRUE(WideSetCurrentDir(folder));
  EXPECT_EQ(WideGetCurrentDir(), folder);
  EXPECT_EQ(WideExpandFileName(u"a/../" + Unusual + u".txt"), folder + u"/" + Unusual + u".txt");
  EXPECT_EQ(WideExpandFileName(u"/x/./y/../z"), u"/x/z");
  // A folder that is not there leaves the working folder as it was.
  EXPECT_FALSE(WideSetCurrentDir(Dir + u"/missing"));
  EXPECT_FALSE(WideSetCurrentDir(u""));
  EXPECT_EQ(WideGetCurrentDir(), folder);
}

TEST_F(WideSystem, EnvironmentValuesComeWholeInAnyLength) {
  WideString longValue;
  while (longValue.size() < 5000) longValue += Unusual;
  ASSERT_EQ(setenv("CLAVORNE_WIDE_TEST", UTF8Encode(longValue).c_str(), 1), 0);
  EXPECT_EQ(WideGetEnvironmentVariable(u"CLAVORNE_WIDE_TEST"), longValue);
  unsetenv("CLAVORNE_WIDE_TEST");
  EXPECT_EQ(WideGetEnvironmentVariable(u"CLAVORNE_WIDE_TEST"), u"");
  EXPECT_EQ(WideGetEnvironmentVariable(u""), u"");
  EXPECT_EQ(WideGetEnvironmentVariable(u"PATH=x"), u"");
}

TEST_F(WideSystem, SearchesListWhatTheAttributesAllow) {
  Touch(Dir + u"/" + Unusual + u".txt", 3);
  Touch(Dir + u"/b.TXT", 70000);
  Touch(Dir + u"/.hidden.txt", 1);
  Touch(Dir + u"/other.dat", 1);
  testsupport::RunOk("mkdir " + testsupport::ShellQuote(UTF8Encode(Dir + u"/folder.txt")));

  auto list = [&](Integer Attr) {
    std::set<WideString> names;
    TWideSearchRec rec;
    for (int r = WideFindFirst(Dir + u"/*.txt", Attr, rec); r == 0; r = WideFindNext(rec)) {
      names.insert(rec.Name);
      if (rec.Name == u"b.TXT") {
        EXPECT_EQ(rec.Size, 70000);
      }
      if (rec.Name == Unusual + u".txt") {
        EXPECT_EQ(rec.Size, 3);
        EXPECT_NE(rec.Time, 0);
      }
    }
    WideFindClose(rec);
    WideFindClose(rec);  // once only
    return names;
  };
  EXPECT_EQ(list(0), (std::set<WideString>{Unusual + u".txt", u"b.TXT"}));
  EXPECT_EQ(list(faHidden | faDirectory), (std::set<WideString>{Unusual + u".txt", u"b.TXT", u".hidden.txt", u"folder.txt"}));

  TWideSearchRec rec;
  EXPECT_EQ(WideFindFirst(Dir + u"/*.txt", faHidden, rec), 0);
  EXPECT_EQ(rec.ExcludeAttr, faSysFile | faDirectory);
  WideFindClose(rec);
  EXPECT_EQ(WideFindFirst(Dir + u"/missing/*", faAnyFile, rec), ENOENT);
  EXPECT_EQ(rec.FindHandle, nullptr);
  EXPECT_EQ(WideFindNext(rec), EBADF);
}

TEST(WideText, LastDelimiterAndLeadBytes) {
  EXPECT_EQ(WideLastDelimiter(u"/:", u"a/b:c"), 4);
  EXPECT_EQ(WideLastDelimiter(u"/:", u"abc"), 0);
  EXPECT_EQ(WideLastDelimiter(u"/", u""), 0);
  EXPECT_EQ(WideLastDelimiter(u"", u"a/b"), 0);
  // The halves of a pair are not characters of their own, even when named as delimiters.
  const WideString pair = u"\U0001F600";
  EXPECT_EQ(WideLastDelimiter(pair, u"a" + pair), 0);
  EXPECT_EQ(WideLastDelimiter(u".", u"a." + pair), 2);

  for (int b : {0x00, 0x41, 0x7F, 0x80, 0xBF, 0xC0, 0xC1, 0xF5, 0xFF}) EXPECT_FALSE(IsLeadByte(b)) << b;
  for (int b : {0xC2, 0xC3, 0xDF, 0xE0, 0xE6, 0xEF, 0xF0, 0xF4}) EXPECT_TRUE(IsLeadByte(b)) << b;
}

// One message at a time: a hand-over from a worker is served, an empty queue says so, and a
// worker thread has no queue to pump.
TEST(ProcessMessage, ServesWhatWaitsAndSaysWhenNothingDoes) {
  for (int i = 0; i < 1000 && ProcessMessage(); ++i) {
  }
  EXPECT_FALSE(ProcessMessage());
  std::atomic<bool> ran{false}, done{false};
  std::thread worker([&] {
    RunInMainThread([&] { ran = true; });
    done = true;
  });
  bool served = false;
  for (int i = 0; i < 2000 && !ran; ++i) {
    served = ProcessMessage() || served;
    if (!ran) usleep(1000);
  }
  worker.join();
  EXPECT_TRUE(ran);
  EXPECT_TRUE(served);
  bool onWorker = true;
  std::thread other([&] { onWorker = ProcessMessage(); });
  other.join();
  EXPECT_FALSE(onWorker);
}

}  // namespace
