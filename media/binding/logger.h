// The engine's one logger: every message of the engine and of the FFmpeg libraries passes here.
// It filters by level, hands each message to OnLog (by default on the main thread) and can append
// it to a log file.
#pragma once

#include <atomic>
#include <cstdarg>
#include <functional>
#include <string_view>

#include "media/binding/base_component.h"
#include "platform/rtl/sysutils.h"
#include "platform/rtl/types.h"

enum TLogLevel { llQuiet, llPanic, llFatal, llError, llWarning, llInfo, llVerbose, llDebug };

// "Quiet" ... "Debug".
const char* LogLevelName(TLogLevel Level);
// FFmpeg's level = (ordinal - 1) x 8; back: level / 8 (toward zero) + 1, clamped to the range.
int LogLevelToFFmpeg(TLogLevel Level);
TLogLevel FFmpegToLogLevel(int Level);

using TLogEvent = std::function<void(TObject* Sender, DWORD AThreadID, TLogLevel ALogLevel, const AnsiString& ALogMsg)>;

class TFFLogger : public TFFBaseComponent {
 public:
  // A second logger while one exists raises EEngineAssertion
  // "Allow creating only one instance of TFFLogger." (an internal one is replaced instead).
  explicit TFFLogger(TComponent* AOwner);
  ~TFFLogger() override;

  bool Active() const;
  void SetActive(bool Value);
  TLogLevel LogLevel() const { return FLogLevel; }
  void SetLogLevel(TLogLevel Value);
  // The file name and the switch are shared by every logger instance of the process.
  AnsiString LogFile() const;
  void SetLogFile(const AnsiString& Value);
  bool LogToFile() const;
  void SetLogToFile(bool Value);
  bool TriggerEventInMainThread() const;
  void SetTriggerEventInMainThread(bool Value);
  TLogEvent OnLog() const;
  void SetOnLog(TLogEvent Value);

  // Nothing to deliver to: inactive, or neither OnLog nor a log file.
  bool Silent() const { return FSilent; }

  // Hands LogLevel to FFmpeg when avutil is bound.
  void ApplyLogLevel();
  // Makes FFLogCallback FFmpeg's log callback (avutil must be bound).
  void InstallCallback();

  void Log(TObject* Sender, TLogLevel Level, const AnsiString& Text);
  template <class... Args>
  void LogFmt(TObject* Sender, TLogLevel Level, std::string_view Fmt, const Args&... args) {
    if (FSilent || Level > FLogLevel) return;
    Log(Sender, Level, Format(Fmt, args...));
  }
  // A whole line gathered by the FFmpeg callback; the callback has already applied the level.
  void LogFromCallback(DWORD ThreadID, int FFmpegLevel, const AnsiString& Text);

  bool IsInternal() const { return FInternal; }

 private:
  friend TFFLogger* FFLogger();
  void UpdateSilent();
  void Deliver(TObject* Sender, DWORD ThreadID, TLogLevel Level, const AnsiString& Text);

  bool FInternal = false;
  std::atomic<bool> FSilent{true};
  bool FActive = true;
  bool FTriggerEventInMainThread = true;
  std::atomic<TLogLevel> FLogLevel{llInfo};
  TLogEvent FOnLog;
};

// The process's logger, made on first use (an internal one, silent until something is set on it).
TFFLogger* FFLogger();

// The FFmpeg level above which the callback drops messages; 32 at start.
extern std::atomic<int> FFLogCallbackLevel;

// FFmpeg's log callback: rebuilds whole lines per thread, prefixes them with the writing object's
// name and address and folds a line repeated at once into one note. Never raises.
extern "C" void FFLogCallback(void* Avcl, int Level, const char* Fmt, va_list Args);
