#include "platform/rtl/dynlib.h"

#include <dlfcn.h>
#include <link.h>

#include <map>
#include <mutex>

#include "platform/rtl/strings.h"

namespace {

thread_local AnsiString lastError;

// The handles this layer gave out, with their reference counts. The loader does not validate a
// handle it is passed: a stale or foreign one would crash dlclose or dlinfo, so only these reach it.
std::mutex handlesLock;
std::map<void*, int>& Handles() {
  static std::map<void*, int> handles;
  return handles;
}

bool IsOurs(void* module) {
  std::lock_guard<std::mutex> guard(handlesLock);
  return Handles().count(module) != 0;
}

void RecordLoaderError(const char* fallback) {
  const char* text = dlerror();
  lastError = text ? text : fallback;
}

}  // namespace

HMODULE LoadLibrary(const AnsiString& name) {
  if (name.empty()) {
    lastError = "empty library name";
    return nullptr;
  }
  dlerror();
  void* h = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    RecordLoaderError("cannot load library");
    return nullptr;
  }
  std::lock_guard<std::mutex> guard(handlesLock);
  ++Handles()[h];
  return h;
}

HMODULE LoadLibrary(const WideString& name) { return LoadLibrary(WideToAnsi(name)); }

void* GetProcAddress(HMODULE module, const char* name) {
  if (!module || !name || !IsOurs(module)) {
    lastError = "invalid library handle or entry-point name";
    return nullptr;
  }
  dlerror();
  void* p = dlsym(module, name);
  if (!p) RecordLoaderError("entry point not found");
  return p;
}

bool FreeLibrary(HMODULE module) {
  {
    std::lock_guard<std::mutex> guard(handlesLock);
    auto it = Handles().find(module);
    if (!module || it == Handles().end()) {
      lastError = "invalid library handle";
      return false;
    }
    if (--it->second == 0) Handles().erase(it);
  }
  dlerror();
  if (dlclose(module) != 0) {
    RecordLoaderError("cannot unload library");
    return false;
  }
  return true;
}

AnsiString GetModuleFileName(HMODULE module) {
  if (!module || !IsOurs(module)) return AnsiString();
  link_map* map = nullptr;
  if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name) return AnsiString();
  return map->l_name;
}

AnsiString LastDynLibError() { return lastError; }
