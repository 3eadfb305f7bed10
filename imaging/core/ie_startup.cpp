#include "imaging/core/ie_startup.h"

#include <cmath>
#include <mutex>
#include <numbers>

#include "imaging/core/ie_dialog_texts.h"
#include "imaging/core/ie_helpers.h"
#include "platform/rtl/numerics.h"

Byte IEDialogsBackground = 0;
Integer IECosineTable[256];
std::function<void(TIEStartupStep Step, bool Starting)> IEStartupTrace;

namespace {

void InitDefinitions() {
  IEGrayWeights = TIEGrayWeights{21, 71, 8};
  IEDialogsBackground = 0;
}

void InitUtilities() {
  for (int i = 0; i < 256; ++i)
    IECosineTable[i] = SafeRound<Integer>(64.0 - std::cos(i * std::numbers::pi / 255.0) * 64.0);
  IEInitLanguageTexts();
}

void FinalUtilities() { IEFreeLanguageTexts(); }

struct TStepEntry {
  const char* Name;
  TIEStepProc Init;
  TIEStepProc Final;
};

// The one order table of the library's start-up; the shutdown walks it backwards. Units that
// join the library fill their row here or through IERegisterStartupStep.
TStepEntry gSteps[IEStartupStepCount] = {
    {"anti-aliased drawing", nullptr, nullptr},
    {"definitions", InitDefinitions, nullptr},
    {"utilities", InitUtilities, FinalUtilities},
    {"JPEG 2000", nullptr, nullptr},
    {"vector objects", nullptr, nullptr},
    {"file I/O", nullptr, nullptr},
    {"processing", nullptr, nullptr},
    {"view", nullptr, nullptr},
    {"CCITT", nullptr, nullptr},
    {"text control", nullptr, nullptr},
    {"WIA", nullptr, nullptr},
    {"preset images", nullptr, nullptr},
};

// A lock that is never destroyed: a library stopped on one thread while another starts it must
// not leave that thread waiting on a deleted lock.
std::recursive_mutex& Lock() {
  static std::recursive_mutex lock;
  return lock;
}

Integer gCount = 0;
AnsiString gSentinel;

void RunStep(Integer Index, bool Starting) {
  TIEStartupStep step = static_cast<TIEStartupStep>(Index);
  if (IEStartupTrace) IEStartupTrace(step, Starting);
  TIEStepProc proc = Starting ? gSteps[Index].Init : gSteps[Index].Final;
  if (proc) proc();
}

}  // namespace

void IERegisterStartupStep(TIEStartupStep Step, TIEStepProc Init, TIEStepProc Final) {
  if (Step >= IEStartupStepCount) return;
  std::lock_guard<std::recursive_mutex> guard(Lock());
  gSteps[Step].Init = Init;
  gSteps[Step].Final = Final;
}

const char* IEStartupStepName(TIEStartupStep Step) {
  return Step < IEStartupStepCount ? gSteps[Step].Name : "";
}

void IEInitialize() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  if (gSentinel != "STATICINIT") {
    gSentinel = "STATICINIT";
    gCount = 0;
  }
  if (gCount == 0)
    for (Integer i = 0; i < IEStartupStepCount; ++i) RunStep(i, true);
  ++gCount;
}

void IEFinalize() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  if (gSentinel != "STATICINIT") return;
  if (--gCount > 0) return;
  for (Integer i = IEStartupStepCount - 1; i >= 0; --i) RunStep(i, false);
  gCount = 0;
  gSentinel.clear();
}

bool IELibraryStarted() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return gSentinel == "STATICINIT";
}

AnsiString IEStartupSentinel() {
  std::lock_guard<std::recursive_mutex> guard(Lock());
  return gSentinel;
}
