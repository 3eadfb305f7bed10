// Frame-hook plug-ins: shared objects with the C entry points "Configure", "Process" and
// "Release" that change decoded pictures in place. A task keeps its configured instances in a
// list of its own; the shared objects stay mapped for the life of the process.
#pragma once

#include <cstdint>

#include "platform/rtl/types.h"

extern "C" {
// Instance: where the plug-in puts its context. MaxArgIndex is the highest index the caller's
// argument array has room for; plug-ins of this interface ignore it.
typedef int (*TFrameHookConfigureFn)(void** Instance, int ArgCount, char** Args, int MaxArgIndex);
// Picture: eight plane pointers followed by eight line sizes. PTS in microseconds.
typedef void (*TFrameHookProcessFn)(void* Instance, void* Picture, int PixFmt, int Width, int Height, int64_t PTS);
typedef void (*TFrameHookReleaseFn)(void* Instance);
}

struct TFrameHookEntry {
  TFrameHookEntry* Next;
  TFrameHookConfigureFn Configure;
  TFrameHookProcessFn Process;
  TFrameHookReleaseFn Release;
  void* Context;
};

// What the "vhook" option hands to Configure as the highest index of its argument array.
inline constexpr int FrameHookMaxArgIndex = 63;

// Loads Args[0] (once per process for each exact name), configures an instance with the
// arguments and appends it to List. 0 on success; -2 without arguments, without "Process", or
// without "Configure" while arguments follow the name; -1 when the library cannot be loaded;
// -12 without memory; -22 when Configure refuses.
Integer FrameHookAdd(TFrameHookEntry*& List, Integer ArgCount, char** Args, Integer MaxArgIndex = FrameHookMaxArgIndex);
// Calls every instance of the list, in list order, on the picture.
void FrameHookProcess(TFrameHookEntry* List, void* Picture, Integer PixFmt, Integer Width, Integer Height, Int64 PTS);
// Releases every instance and empties the list.
void FrameHookRelease(TFrameHookEntry*& List);
