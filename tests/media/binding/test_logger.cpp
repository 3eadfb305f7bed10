#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cstddef>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "media/binding/entry_points.h"
#include "media/binding/ffmpeg_exception.h"
#include "media/binding/logger.h"
#include "platform/rtl/mainthread.h"
#include "platform/rtl/sync.h"
#include "tests/media/binding/load_ffmpeg.h"
#include "tests/support/fixtures.h"

namespace {

struct TDelivery {
  DWORD Thread;  // where OnLog ran
  DWORD LoggedBy;
  TLogLevel Level;
  AnsiString Text;
};

// A logger of the test's own in place of the internal one, recording what OnLog receives.
class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadFFmpegForTest();
    Logger = new TFFLogger(nullptr);
    Logger->SetLogLevel(llInfo);
    Logger->SetOnLog([this](TObject*, DWORD threadId, TLogLevel level, const AnsiString& text) {
      std::lock_guard<std::mutex> guard(Lock);
      Deliveries.push_back({GetCurrentThreadId(), threadId, level, text});
    });
  }
  void TearDown() override {
    Logger->SetLogToFile(false);
    Logger->SetLogFile("");
    delete Logger;
  }
  std::vector<AnsiString> Texts() {
    std::lock_guard<std::mutex> guard(Lock);
    std::vector<AnsiString> texts;
    for (const auto& d : Deliveries) texts.push_back(d.Text);
    return texts;
  }

  TFFLogger* Logger = nullptr;
  std::mutex Lock;
  std::vector<TDelivery> Deliveries;
};

// Something FFmpeg can name in a line's prefix, optionally inside a parent.
struct TNamedObject {
  const AVClass* Class;
  void* Parent;
};

AVClass MakeClass(const char* name, int parentOffset) {
  AVClass c{};
  c.class_name = name;
  c.item_name = [](void* o) -> const char* { return (*static_cast<AVClass**>(o))->class_name; };
  c.version = LIBAVUTIL_VERSION_INT;
  c.parent_log_context_offset = parentOffset;
  return c;
}
const AVClass TestClass = MakeClass("probe", 0);
const AVClass ChildClass = MakeClass("child", offsetof(TNamedObject, Parent));

AnsiString PrefixOf(const TNamedObject* object) {
  char buf[128];
  if (object->Parent) {
    std::snprintf(buf, sizeof buf, "[probe @ %p] [child @ %p]", object->Parent, static_cast<const void*>(object));
  } else {
    std::snprintf(buf, sizeof buf, "[probe @ %p]", static_cast<const void*>(object));
  }
  return buf;
}

}  // namespace

TEST_F(LoggerTest, LevelsConvertBothWays) {
  EXPECT_EQ(LogLevelToFFmpeg(llQuiet), AV_LOG_QUIET);
  EXPECT_EQ(LogLevelToFFmpeg(llDebug), AV_LOG_DEBUG);
  const std::pair<int, TLogLevel> back[] = {{-8, llQuiet}, {-7, llPanic}, {7, llPanic}, {8, llFatal},
                                            {AV_LOG_INFO, llInfo}, {48, llDebug}, {56, llDebug}, {-100, llQuiet}};
  for (const auto& [ff, level] : back) EXPECT_EQ(FFmpegToLogLevel(ff), level) << ff;
}

TEST_F(LoggerTest, PiecesFromSeveralThreadsBecomeWholePrefixedLines) {
  Logger->SetTriggerEventInMainThread(false);
  TNamedObject a{&TestClass, nullptr}, b{&TestClass, nullptr}, child{&ChildClass, &a};
  auto logFrom = [](TNamedObject* object, const char* text) {
    std::thread([=] { ff::av_log(object, AV_LOG_INFO, "%s", text); }).join();
  };
  // Thread ids may be reused once a thread ends, so each writer keeps one thread for its pieces.
  std::thread writerA([&] {
    ff::av_log(&a, AV_LOG_INFO, "one ");
    ff::av_log(&a, AV_LOG_INFO, "%s ", "two");
  });
  writerA.join();
  logFrom(&b, "other line\n");
  std::thread writerC([&] {
    ff::av_log(&a, AV_LOG_INFO, "first ");
    std::thread([&] { ff::av_log(&b, AV_LOG_INFO, "between\n"); }).join();
    ff::av_log(&a, AV_LOG_INFO, "half, %d\n", 2);
  });
  writerC.join();
  logFrom(&child, "inner\n");
  ff::av_log(&a, AV_LOG_DEBUG, "below the level\n");
  const std::vector<AnsiString> expected = {PrefixOf(&b) + "other line", PrefixOf(&b) + "between",
                                            PrefixOf(&a) + "first half, 2", PrefixOf(&child) + "inner"};
  EXPECT_EQ(Texts(), expected);
}

TEST_F(LoggerTest, ARepeatedLineIsFolded) {
  Logger->SetTriggerEventInMainThread(false);
  for (int i = 0; i < 5; ++i) ff::av_log(nullptr, AV_LOG_WARNING, "same line\n");
  ff::av_log(nullptr, AV_LOG_WARNING, "next line\n");
  ff::av_log(nullptr, AV_LOG_WARNING, "next line\n");
  ff::av_log(nullptr, AV_LOG_WARNING, "last line\n");
  const std::vector<AnsiString> expected = {"same line", "    Last message repeated 4 times", "next line", "last line"};
  EXPECT_EQ(Texts(), expected);
  EXPECT_EQ(Deliveries[0].Level, llWarning);
}

TEST_F(LoggerTest, LongMessagesArriveWhole) {
  Logger->SetTriggerEventInMainThread(false);
  const std::string longText(10000, 'x');
  ff::av_log(nullptr, AV_LOG_ERROR, "%s!\n", longText.c_str());
  ASSERT_EQ(Texts().size(), 1u);
  EXPECT_EQ(Texts()[0], longText + "!");
}

TEST_F(LoggerTest, LogFileLines) {
  const std::string dir = testsupport::MakeTempDir("log");
  const std::string file = dir + "/engine.log";
  Logger->SetOnLog(nullptr);
  EXPECT_TRUE(Logger->Silent());
  Logger->SetLogFile(file);
  Logger->SetLogToFile(true);
  EXPECT_FALSE(Logger->Silent());
  Logger->Log(nullptr, llInfo, "hello file");
  Logger->LogFmt(nullptr, llError, "code %d", -22);
  Logger->Log(nullptr, llDebug, "dropped by level");
  Logger->SetLogToFile(false);  // closes the file
  std::ifstream in(file, std::ios::binary);
  const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // "hh:nn:ss zzz [XXXXXXXX] Level: text" and CR LF, one line per message.
  auto shaped = [](const std::string& line, const std::string& tail) {
    const std::string pattern = "dd:dd:dd ddd [hhhhhhhh] ";
    if (line.size() != pattern.size() + tail.size() + 2 || line.compare(line.size() - 2, 2, "\r\n") != 0) return false;
    for (size_t i = 0; i < pattern.size(); ++i) {
      const char c = line[i];
      if (pattern[i] == 'd' && !std::isdigit(static_cast<unsigned char>(c))) return false;
      if (pattern[i] == 'h' && !std::isdigit(static_cast<unsigned char>(c)) && !(c >= 'A' && c <= 'F')) return false;
      if (pattern[i] != 'd' && pattern[i] != 'h' && pattern[i] != c) return false;
    }
    return line.compare(pattern.size(), tail.size(), tail) == 0;
  };
  const size_t split = content.find('\n') + 1;
  EXPECT_TRUE(shaped(content.substr(0, split), "Info: hello file")) << content;
  EXPECT_TRUE(shaped(content.substr(split), "Error: code -22")) << content;
  testsupport::RemoveTree(dir);

  // A log on a full disk loses its lines, never the work that logs them.
  Logger->SetLogFile("/dev/full");
  Logger->SetLogToFile(true);
  EXPECT_NO_THROW(Logger->Log(nullptr, llError, "lost"));
  EXPECT_NO_THROW(Logger->Log(nullptr, llError, "lost again"));
  Logger->SetLogToFile(false);
}

// OnLog runs on the main thread while workers wait for it, and the main thread logging at the
// same time neither deadlocks nor breaks the one-at-a-time delivery.
TEST_F(LoggerTest, OnLogRunsOnTheMainThreadWithoutDeadlock) {
  ASSERT_TRUE(Logger->TriggerEventInMainThread());
  std::atomic<int> done{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < 4; ++w) {
    workers.emplace_back([&, w] {
      for (int i = 0; i < 25; ++i) Logger->LogFmt(nullptr, llInfo, "worker %d line %d", w, i);
      ff::av_log(nullptr, AV_LOG_INFO, "from ffmpeg %d\n", w);
      ++done;
      WakeMainThreadWaiters();
    });
  }
  for (int i = 0; i < 25; ++i) Logger->Log(nullptr, llInfo, "main line");
  EXPECT_TRUE(ServeMainThreadUntil([&] { return done == 4; }, 20000));
  for (auto& t : workers) t.join();
  std::lock_guard<std::mutex> guard(Lock);
  EXPECT_EQ(Deliveries.size(), 4u * 26 + 25);
  for (const auto& d : Deliveries) EXPECT_EQ(d.Thread, MainThreadID);
}

TEST_F(LoggerTest, ASecondLoggerIsRefused) {
  try {
    TFFLogger second(nullptr);
    ADD_FAILURE() << "a second logger was made";
  } catch (const EEngineAssertion& e) {
    EXPECT_EQ(e.Message, "Allow creating only one instance of TFFLogger.");
  }
  EXPECT_EQ(FFLogger(), Logger);
}

TEST_F(LoggerTest, NoExceptionLeavesTheCallback) {
  Logger->SetTriggerEventInMainThread(false);
  Logger->SetOnLog([](TObject*, DWORD, TLogLevel, const AnsiString&) { throw Exception("handler failed"); });
  EXPECT_NO_THROW(ff::av_log(nullptr, AV_LOG_ERROR, "reaches a failing handler\n"));
  EXPECT_THROW(Logger->Log(nullptr, llError, "direct"), Exception);
}
