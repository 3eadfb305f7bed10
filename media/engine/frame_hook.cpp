#include "media/engine/frame_hook.h"

#include <map>
#include <mutex>
#include <string>

#include "media/binding/entry_points.h"
#include "platform/rtl/dynlib.h"

namespace {

// Names compare exactly: on this system two spellings are two files.
struct TFrameHookModuleList {
  std::mutex Lock;
  std::map<std::string, HMODULE> Modules;
};

TFrameHookModuleList& FrameHookModules() {
  static TFrameHookModuleList list;
  return list;
}

void LogHookError(const char* Format, const char* Name) { ff::av_log(nullptr, AV_LOG_ERROR, Format, Name); }

}  // namespace

Integer FrameHookAdd(TFrameHookEntry*& List, Integer ArgCount, char** Args, Integer MaxArgIndex) {
  if (ArgCount < 1 || !Args || !Args[0]) return -2;
  const char* name = Args[0];

  HMODULE module = nullptr;
  {
    TFrameHookModuleList& modules = FrameHookModules();
    std::lock_guard<std::mutex> guard(modules.Lock);
    auto it = modules.Modules.find(name);
    if (it != modules.Modules.end()) {
      module = it->second;
    } else {
      module = LoadLibrary(AnsiString(name));
      if (!module) {
        const AnsiString reason = LastDynLibError();
        LogHookError("%s\n", reason.c_str());
        return -1;
      }
      modules.Modules.emplace(name, module);
    }
  }

  auto* entry = static_cast<TFrameHookEntry*>(ff::av_mallocz(sizeof(TFrameHookEntry)));
  if (!entry) return -12;
  entry->Configure = reinterpret_cast<TFrameHookConfigureFn>(GetProcAddress(module, "Configure"));
  entry->Process = reinterpret_cast<TFrameHookProcessFn>(GetProcAddress(module, "Process"));
  entry->Release = reinterpret_cast<TFrameHookReleaseFn>(GetProcAddress(module, "Release"));

  if (!entry->Process) {
    LogHookError("Failed to find Process entrypoint in %s\n", name);
    ff::av_free(entry);
    return -2;
  }
  if (!entry->Configure && ArgCount > 1) {
    LogHookError("Failed to find Configure entrypoint in %s\n", name);
    ff::av_free(entry);
    return -2;
  }
  if (entry->Configure && entry->Configure(&entry->Context, ArgCount, Args, MaxArgIndex) != 0) {
    LogHookError("Failed to Configure %s\n", name);
    ff::av_free(entry);
    return -22;
  }

  TFrameHookEntry** tail = &List;
  while (*tail) tail = &(*tail)->Next;
  *tail = entry;
  return 0;
}

void FrameHookProcess(TFrameHookEntry* List, void* Picture, Integer PixFmt, Integer Width, Integer Height, Int64 PTS) {
  for (TFrameHookEntry* e = List; e; e = e->Next) e->Process(e->Context, Picture, PixFmt, Width, Height, PTS);
}

void FrameHookRelease(TFrameHookEntry*& List) {
  TFrameHookEntry* e = List;
  List = nullptr;
  while (e) {
    TFrameHookEntry* next = e->Next;
    if (e->Release) e->Release(e->Context);
    ff::av_free(e);
    e = next;
  }
}
