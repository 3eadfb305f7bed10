// Lets tests put the application object back as a fresh process has it.
#pragma once

#include "platform/gui/application.h"

struct TApplicationTestAccess {
  static void ClearTerminated() { Application->FTerminated = false; }
};
