// How the main window makes sure the FFmpeg libraries are loaded before anything uses them.
//
// The encoder components answer these questions once they exist; until then the window asks the
// process's loader through these calls, which load the encoder's full library set.
#pragma once

#include <functional>

#include "platform/rtl/types.h"

bool EncoderLibrariesLoaded();
// Loads the encoder's libraries from Folder (files missing there come from the system's search
// path); false when the set cannot be loaded.
bool EncoderLoadLibraries(const AnsiString& Folder);

// Replaces the loading step (tests: a machine without loadable libraries). An empty function
// brings back the real loader.
using TLibraryLoadHook = std::function<bool(const AnsiString& Folder)>;
void SetLibraryLoadHook(TLibraryLoadHook Hook);
