#include "media/binding/logger.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "media/binding/entry_points.h"
#include "media/binding/ffmpeg_exception.h"
#include "platform/rtl/files.h"
#include "platform/rtl/mainthread.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sync.h"

std::atomic<int> FFLogCallbackLevel{AV_LOG_INFO};

namespace {

const char* const LevelNames[] = {"Quiet", "Panic", "Fatal", "Error", "Warning", "Info", "Verbose", "Debug"};

// Unit state shared by every logger instance. Lock order: the callback lock, then the state lock.
struct TLoggerUnit {
  std::recursive_mutex StateLock;
  std::mutex CallbackLock;
  std::mutex InstanceLock;
  std::mutex CreateLock;
  TFFLogger* TheLogger = nullptr;
  AnsiString LogFileName;
  bool LogToFileSwitch = false;
  std::unique_ptr<TFileStream> LogStream;
  // The FFmpeg callback's memory: the pending text per thread, the previous line of any thread
  // and how often it came again at once.
  std::map<DWORD, AnsiString> PendingText;
  AnsiString PreviousLine;
  int RepeatCount = 0;
  // Deliveries run one at a time; the hand-over to the main thread happens outside the state lock.
  std::mutex DeliveryLock;
};

TLoggerUnit& Unit() {
  static TLoggerUnit* unit = new TLoggerUnit;  // lives to the end: FFmpeg may log during exit
  return *unit;
}

// Deliveries in progress on this thread; a message logged from inside OnLog is delivered at once.
thread_local int DeliveryDepth = 0;

struct TDepthGuard {
  TDepthGuard() { ++DeliveryDepth; }
  ~TDepthGuard() { --DeliveryDepth; }
};

// The main thread keeps serving hand-overs while it waits for the delivery lock: the worker that
// holds it may be waiting for the main thread to run its OnLog.
void AcquireDeliveryLock() {
  std::mutex& lock = Unit().DeliveryLock;
  if (!IsMainThread()) {
    lock.lock();
    return;
  }
  if (lock.try_lock()) return;
  bool owned = false;
  ServeMainThreadUntil([&] { return owned || (owned = lock.try_lock()); }, INFINITE);
}

void ReleaseDeliveryLock() {
  Unit().DeliveryLock.unlock();
  WakeMainThreadWaiters();
}

void CloseLogStream() { Unit().LogStream.reset(); }

void WriteLogFile(DWORD threadId, TLogLevel level, const AnsiString& text) {
  TLoggerUnit& u = Unit();
  std::lock_guard<std::recursive_mutex> guard(u.StateLock);
  if (!u.LogToFileSwitch || u.LogFileName.empty()) return;
  // A log that cannot be written (a full disk) must not stop the work it records.
  try {
    if (!u.LogStream) {
      if (FileExists(u.LogFileName)) {
        u.LogStream = std::make_unique<TFileStream>(u.LogFileName, fmOpenWrite | fmShareDenyWrite);
        u.LogStream->Seek(0, soEnd);
      } else {
        u.LogStream = std::make_unique<TFileStream>(u.LogFileName, fmCreate);
      }
    }
    const AnsiString line = Format("%s [%.8x] %s: %s\r\n", FormatDateTime("hh:nn:ss zzz", Now()), threadId,
                                   LogLevelName(level), text);
    u.LogStream->WriteBuffer(line.data(), static_cast<Integer>(line.size()));
  } catch (const Exception&) {
    u.LogStream.reset();
  }
}

}  // namespace

const char* LogLevelName(TLogLevel Level) { return LevelNames[std::clamp<int>(Level, llQuiet, llDebug)]; }

int LogLevelToFFmpeg(TLogLevel Level) { return (static_cast<int>(Level) - 1) * 8; }

TLogLevel FFmpegToLogLevel(int Level) { return static_cast<TLogLevel>(std::clamp(Level / 8 + 1, 0, 7)); }

TFFLogger::TFFLogger(TComponent* AOwner) : TFFBaseComponent(AOwner) {
  TLoggerUnit& u = Unit();
  std::unique_lock<std::mutex> guard(u.InstanceLock);
  if (u.TheLogger && u.TheLogger->FInternal) {
    TFFLogger* internal = u.TheLogger;
    guard.unlock();
    delete internal;
    guard.lock();
  }
  if (u.TheLogger) throw EEngineAssertion("Allow creating only one instance of TFFLogger.");
  FLogLevel = FFmpegToLogLevel(FFLogCallbackLevel);
  u.TheLogger = this;
}

TFFLogger::~TFFLogger() {
  TLoggerUnit& u = Unit();
  {
    std::lock_guard<std::mutex> guard(u.InstanceLock);
    if (u.TheLogger == this) u.TheLogger = nullptr;
  }
  std::lock_guard<std::recursive_mutex> state(u.StateLock);
  CloseLogStream();
}

TFFLogger* FFLogger() {
  TLoggerUnit& u = Unit();
  {
    std::lock_guard<std::mutex> guard(u.InstanceLock);
    if (u.TheLogger) return u.TheLogger;
  }
  // Threads that log first at the same moment must not each make a logger: the second would be
  // refused as a second instance.
  std::lock_guard<std::mutex> creating(u.CreateLock);
  {
    std::lock_guard<std::mutex> guard(u.InstanceLock);
    if (u.TheLogger) return u.TheLogger;
  }
  TFFLogger* logger = new TFFLogger(nullptr);
  logger->FInternal = true;
  return logger;
}

bool TFFLogger::Active() const {
  std::lock_guard<std::recursive_mutex> guard(Unit().StateLock);
  return FActive;
}

void TFFLogger::SetActive(bool Value) {
  std::lock_guard<std::recursive_mutex> guard(Unit().StateLock);
  FActive = Value;
  UpdateSilent();
}

void TFFLogger::SetLogLevel(TLogLevel Value) {
  if (Value == FLogLevel) return;
  FLogLevel = Value;
  ApplyLogLevel();
}

AnsiString TFFLogger::LogFile() const {
  std::lock_guard<std::recursive_mutex> guard(Unit().StateLock);
  return Unit().LogFileName;
}

void TFFLogger::SetLogFile(const AnsiString& Value) {
  TLoggerUnit& u = Unit();
  std::lock_guard<std::recursive_mutex> guard(u.StateLock);
  if (u.LogFileName != Value) {
    u.LogFileName = Value;
    CloseLogStream();
  }
  UpdateSilent();
}

bool TFFLogger::LogToFile() const {
  std::lock_guard<std::recursive_mutex> guard(Unit().StateLock);
  return Unit().LogToFileSwitch;
}

void TFFLogger::SetLogToFile(bool Value) {
  TLoggerUnit& u = Unit();
  std::lock_guard<std::recursive_mutex> guard(u.StateLock);
  if (u.LogToFileSwitch != Value) {
    u.LogToFileSwitch = Value;
    CloseLogStream();
  }
  UpdateSilent();
}

bool TFFLogger::TriggerEventInMainThread() const {
  std::lock_guard<std::recursive_mutex> guard(Unit().StateLock);
  return FTriggerEventInMainThread;
}

void TFFLogger::SetTriggerEventInMainThread(bool Value) {
  std::lock_guard<std::recursive_mutex> guard(Unit().StateLock);
  FTriggerEventInMainThread = Value;
}

TLogEvent TFFLogger::OnLog() const {
  std::lock_guard<std::recursive_mutex> guard(Unit().StateLock);
  return FOnLog;
}

void TFFLogger::SetOnLog(TLogEvent Value) {
  std::lock_guard<std::recursive_mutex> guard(Unit().StateLock);
  FOnLog = std::move(Value);
  UpdateSilent();
}

void TFFLogger::UpdateSilent() {
  const TLoggerUnit& u = Unit();
  FSilent = !(FActive && (static_cast<bool>(FOnLog) || (u.LogToFileSwitch && !u.LogFileName.empty())));
}

void TFFLogger::ApplyLogLevel() {
  if (!ff::av_log_set_level) return;
  FFLogCallbackLevel = LogLevelToFFmpeg(FLogLevel);
  ff::av_log_set_level(FFLogCallbackLevel);
}

void TFFLogger::InstallCallback() {
  EngineAssert(ff::av_log_set_callback && ff::av_log_set_level, "avutil is not bound");
  ff::av_log_set_callback(FFLogCallback);
  ApplyLogLevel();
}

void TFFLogger::Log(TObject* Sender, TLogLevel Level, const AnsiString& Text) {
  if (FSilent || Level > FLogLevel) return;
  Deliver(Sender, GetCurrentThreadId(), Level, Text);
}

void TFFLogger::LogFromCallback(DWORD ThreadID, int FFmpegLevel, const AnsiString& Text) {
  if (FSilent) return;
  Deliver(this, ThreadID, FFmpegToLogLevel(FFmpegLevel), Text);
}

void TFFLogger::Deliver(TObject* Sender, DWORD ThreadID, TLogLevel Level, const AnsiString& Text) {
  // The message travels as a copy, so no lock is held while the main thread runs OnLog.
  TLogEvent handler;
  bool inMainThread;
  {
    std::lock_guard<std::recursive_mutex> guard(Unit().StateLock);
    handler = FOnLog;
    inMainThread = FTriggerEventInMainThread;
  }
  const bool nested = DeliveryDepth > 0;
  if (!nested) AcquireDeliveryLock();
  try {
    TDepthGuard depth;
    if (handler) {
      if (inMainThread && !nested) {
        RunInMainThread([&] {
          TDepthGuard mainDepth;
          handler(Sender, ThreadID, Level, Text);
        });
      } else {
        handler(Sender, ThreadID, Level, Text);
      }
    }
    WriteLogFile(ThreadID, Level, Text);
  } catch (...) {
    if (!nested) ReleaseDeliveryLock();
    throw;
  }
  if (!nested) ReleaseDeliveryLock();
}

namespace {

AnsiString ItemName(void* object) {
  const AVClass* cls = *static_cast<AVClass**>(object);
  const char* name = nullptr;
  if (cls->item_name) name = cls->item_name(object);
  return name ? name : (cls->class_name ? cls->class_name : "NULL");
}

AnsiString PointerText(const void* p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%p", p);
  return buf;
}

AnsiString LinePrefix(void* avcl) {
  const AVClass* cls = *static_cast<AVClass**>(avcl);
  if (!cls) return {};
  AnsiString prefix;
  if (cls->parent_log_context_offset != 0) {
    void* parent = *reinterpret_cast<void**>(static_cast<char*>(avcl) + cls->parent_log_context_offset);
    if (parent && *static_cast<AVClass**>(parent)) {
      prefix += "[" + ItemName(parent) + " @ " + PointerText(parent) + "] ";
    }
  }
  prefix += "[" + ItemName(avcl) + " @ " + PointerText(avcl) + "]";
  return prefix;
}

AnsiString FormatMessage(const char* fmt, va_list args) {
  char small[2048];
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(small, sizeof small, fmt, copy);
  va_end(copy);
  if (needed < 0) return {};
  if (static_cast<size_t>(needed) < sizeof small) return AnsiString(small, static_cast<size_t>(needed));
  AnsiString large(static_cast<size_t>(needed) + 1, '\0');
  va_copy(copy, args);
  std::vsnprintf(large.data(), large.size(), fmt, copy);
  va_end(copy);
  large.resize(static_cast<size_t>(needed));
  return large;
}

struct TCallbackLine {
  int Level;
  AnsiString Text;
};

}  // namespace

extern "C" void FFLogCallback(void* Avcl, int Level, const char* Fmt, va_list Args) {
  if (Level > FFLogCallbackLevel) return;
  // No exception may unwind through FFmpeg's frames; a message that cannot be delivered is lost.
  try {
    TLoggerUnit& u = Unit();
    const DWORD threadId = GetCurrentThreadId();
    std::vector<TCallbackLine> ready;
    {
      std::lock_guard<std::mutex> guard(u.CallbackLock);
      if (FFLogger()->Silent()) return;
      AnsiString& pending = u.PendingText[threadId];
      AnsiString line;
      if (Avcl && pending.empty()) line = LinePrefix(Avcl);
      line += FormatMessage(Fmt ? Fmt : "", Args);
      if (!line.empty() && line.back() == '\n' && line == u.PreviousLine) {
        ++u.RepeatCount;
        return;
      }
      if (u.RepeatCount > 1) ready.push_back({Level, Format("    Last message repeated %d times", u.RepeatCount)});
      u.RepeatCount = 0;
      u.PreviousLine = line;
      pending += line;
      for (size_t eol; (eol = pending.find('\n')) != AnsiString::npos;) {
        ready.push_back({Level, pending.substr(0, eol)});
        pending.erase(0, eol + 1);
      }
    }
    // Delivered outside the callback lock: a delivery may wait for the main thread, and the main
    // thread may be inside FFmpeg, logging.
    for (const TCallbackLine& l : ready) FFLogger()->LogFromCallback(threadId, l.Level, l.Text);
  } catch (...) {
  }
}
