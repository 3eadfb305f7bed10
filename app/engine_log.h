// The engine's log file: its messages point the user to "the error log", so the program keeps
// one in its working folder and names it in the run's error messages.
#pragma once

#include "platform/rtl/types.h"

// The log file's name.
AnsiString EngineLogFile();
// Makes the engine append its messages to EngineLogFile(); a log grown past a few megabytes is
// started afresh.
void KeepEngineLog();
