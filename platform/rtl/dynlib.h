// Shared libraries loaded at run time.
#pragma once

#include "platform/rtl/types.h"

using HMODULE = void*;

// Loads a library (RTLD_NOW | RTLD_LOCAL). A name with a "/" is opened as that file; a bare
// name is looked up in the system's search path. nullptr on failure, with LastDynLibError() set.
HMODULE LoadLibrary(const AnsiString& name);
HMODULE LoadLibrary(const WideString& name);
// The entry point's address, nullptr (and LastDynLibError() set) when it is not there.
void* GetProcAddress(HMODULE module, const char* name);
inline void* GetProcAddress(HMODULE module, const AnsiString& name) { return GetProcAddress(module, name.c_str()); }
// Drops one reference; false (and LastDynLibError() set) on failure or for nullptr.
bool FreeLibrary(HMODULE module);
// The file a loaded library was mapped from; "" for an unknown handle.
AnsiString GetModuleFileName(HMODULE module);
// The loader's text for the last failure of this thread (dlerror()); "" when none.
AnsiString LastDynLibError();
