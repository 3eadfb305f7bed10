#include "app/engine_log.h"

#include "media/binding/logger.h"
#include "platform/rtl/files.h"

namespace {
constexpr Int64 LargestKeptLog = 8 * 1024 * 1024;
}

AnsiString EngineLogFile() { return AppWorkFolder() + "engine.log"; }

void KeepEngineLog() {
  const AnsiString name = EngineLogFile();
  if (FileExists(name) && FileSize(name) > LargestKeptLog) DeleteFile(name);
  FFLogger()->SetLogFile(name);
  FFLogger()->SetLogToFile(true);
}
