// The processing unit's start-up: the named 3 x 3 convolution presets and the private clipboard
// format of the library's raw images.
#pragma once

#include "platform/rtl/types.h"

// Nine coefficients row by row (top row first), then the divisor.
struct TIEKernel3x3 {
  Integer Values[9];
  Integer Divisor;
};
static_assert(sizeof(TIEKernel3x3) == 40);

// Run once by the library's start-up and shutdown.
void IEInitZodivErProc();
void IEFinalZodivErProc();

void IEInitFilterPresets();
void IEFreeFilterPresets();
// Appends a copy of Kernel under Name; the preset's index.
Integer IEAddFilterPreset(const TIEKernel3x3& Kernel, const AnsiString& Name);
Integer IEFilterPresetCount();
// Nil outside the list (and before start-up).
const TIEKernel3x3* IEFilterPreset(Integer Index);
AnsiString IEFilterPresetName(Integer Index);

// The identifier of the "ZODIVER RAW FORMAT" clipboard format, 0 before start-up.
extern Integer IEZodivErRawFormat;
