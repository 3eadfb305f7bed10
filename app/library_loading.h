// How the main window makes sure an encoder's FFmpeg libraries are loaded before anything uses
// them, with a seam through which tests stand in for the loader (a machine without loadable
// libraries).
#pragma once

#include <functional>

#include "platform/rtl/types.h"

class TFFEncoder;

bool EncoderLibrariesLoaded(TFFEncoder* Encoder);
// Loads the encoder's libraries from Folder (files missing there come from the system's search
// path); false when the set cannot be loaded.
bool EncoderLoadLibraries(TFFEncoder* Encoder, const AnsiString& Folder);

// Replaces the loading step. An empty function brings back the encoders' own loading.
using TLibraryLoadHook = std::function<bool(const AnsiString& Folder)>;
void SetLibraryLoadHook(TLibraryLoadHook Hook);
