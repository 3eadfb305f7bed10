// The imaging library's one start-up and one shutdown. They run the start-up steps of every
// imaging unit in one fixed order and the shutdown steps in its exact reverse, so no unit
// depends on the order in which the program's modules happen to initialise. The pair nests:
// only the first IEInitialize and the matching last IEFinalize run the steps.
#pragma once

#include <functional>

#include "platform/rtl/types.h"

// The twelve steps, in start-up order. Units that are not in the library contribute nothing
// until they register their step.
enum TIEStartupStep : Byte {
  iessAntiAliasedDrawing = 0,
  iessDefinitions,
  iessUtilities,
  iessJpeg2000,
  iessVectorObjects,
  iessFileIO,
  iessProcessing,
  iessView,
  iessCCITT,
  iessTextControl,
  iessWia,
  iessPresetImages,
};
inline constexpr Integer IEStartupStepCount = 12;

using TIEStepProc = void (*)();

// Gives a unit's step its start-up and shutdown routines (either may be nil), replacing what
// was registered for that step before. Registration belongs before the first IEInitialize.
void IERegisterStartupStep(TIEStartupStep Step, TIEStepProc Init, TIEStepProc Final);
const char* IEStartupStepName(TIEStartupStep Step);

void IEInitialize();
void IEFinalize();
// True between the first IEInitialize and the last IEFinalize.
bool IELibraryStarted();
// "STATICINIT" while the library is started, empty otherwise.
AnsiString IEStartupSentinel();

// Test seam: told about every step as it runs (Starting is false during the shutdown).
extern std::function<void(TIEStartupStep Step, bool Starting)> IEStartupTrace;

// Background of the I/O parameter dialogs: 0 plain, 1 stripes, 2 brushed.
extern Byte IEDialogsBackground;
// Entry i = Round(64 - cos(i x pi / 255) x 64): rises from 0 to 128.
extern Integer IECosineTable[256];
