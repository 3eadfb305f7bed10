#include "media/binding/loader.h"

#include <exception>

#include "media/binding/entry_points.h"
#include "media/binding/ffmpeg_exception.h"
#include "media/binding/lock_manager.h"
#include "media/binding/logger.h"
#include "media/binding/file_names.h"
#include "platform/rtl/dynlib.h"
#include "platform/rtl/files.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/strings.h"
#include "platform/rtl/sysutils.h"

namespace {

struct TLibraryItem {
  TLibraryKind Kind;
  const char* Name;
  bool System;
  Integer Major;  // -1: the file name carries no version
  void (*Bind)(const WideString&, void*);
  void (*Unbind)();
};

const TLibraryItem LibraryTable[LibraryKindCount] = {
    {lkAVCodec, "avcodec", false, 59, BindAVCodec, UnbindAVCodec},
    {lkAVDevice, "avdevice", false, 59, BindAVDevice, UnbindAVDevice},
    {lkAVFilter, "avfilter", false, 8, BindAVFilter, UnbindAVFilter},
    {lkAVFormat, "avformat", false, 59, BindAVFormat, UnbindAVFormat},
    {lkAVUtil, "avutil", false, 57, BindAVUtil, UnbindAVUtil},
    {lkSwResample, "swresample", false, 4, BindSwResample, UnbindSwResample},
    {lkSwScale, "swscale", false, 6, BindSwScale, UnbindSwScale},
    {lkMsvcrt, "c", true, 6, BindMsvcrt, UnbindMsvcrt},
};

// A library must be mapped after the ones it needs: mapped the other way round, a copy in the
// caller's folder would be mapped beside the system's copy that the dependent already pulled in.
const TLibraryKind DependencyOrder[LibraryKindCount] = {lkMsvcrt,  lkAVUtil,   lkSwResample, lkSwScale,
                                                        lkAVCodec, lkAVFormat, lkAVFilter,   lkAVDevice};

AnsiString FolderOf(const AnsiString& name) {
  const size_t slash = name.rfind('/');
  return slash == AnsiString::npos ? AnsiString() : name.substr(0, slash + 1);
}

AnsiString NameOf(const AnsiString& name) {
  const size_t slash = name.rfind('/');
  return slash == AnsiString::npos ? name : name.substr(slash + 1);
}

}  // namespace

namespace {
Word SavedFPUControlWord = 0;
}

TFFLoader::TFFLoader() = default;

const char* TFFLoader::LibraryName(TLibraryKind Kind) { return LibraryTable[Kind].Name; }

void TFFLoader::SetLibraryPath(const TPathFileName& Folder) { FLibraryPath = Folder; }

TPathFileName TFFLoader::GetLibraryFileName(TLibraryKind Kind) const {
  if (!FStatus[Kind].FullFileName.empty()) return FStatus[Kind].FullFileName;
  const TLibraryItem& item = LibraryTable[Kind];
  AnsiString name = "lib" + AnsiString(item.Name) + ".so";
  if (item.Major >= 0) name += "." + IntToStr(item.Major);
  return AnsiToWide(name);
}

bool TFFLoader::MapLibrary(TLibraryKind Kind) {
  TLibraryStatus& status = FStatus[Kind];
  if (status.Handle) return true;
  const AnsiString fileName = WideToAnsi(GetLibraryFileName(Kind));
  AnsiString folder = FolderOf(fileName);
  if (folder.empty() && !FLibraryPath.empty() && !LibraryTable[Kind].System) {
    folder = IncludeTrailingPathDelimiter(WideToAnsi(FLibraryPath));
  }
  const AnsiString name = NameOf(fileName);
  // A file missing from the folder is still looked for on the system's search path.
  const bool fromFolder = !folder.empty() && FileExists(folder + name);
  void* handle = ::LoadLibrary(fromFolder ? folder + name : name);
  if (!handle) {
    FLastError = Format("Load library %s error: %s", folder + name, LastDynLibError());
    return false;
  }
  status.Handle = handle;
  return true;
}

void TFFLoader::RegisterServices(TLibraryKind Kind) {
  switch (Kind) {
    case lkAVUtil:
      if (LogCallbackSwitch) FFLogger()->InstallCallback();
      break;
    case lkAVFormat:
      RegisterUnicodeProtocol();
      break;
    default:
      // FFmpeg 5.1 takes no lock manager: its locking is its own. LockManagerCallback stays the
      // engine's service for callers that still hand out mutex slots.
      break;
  }
}

bool TFFLoader::LoadLibrary(TLibraryKind Kind) {
  TLibraryStatus& status = FStatus[Kind];
  if (!MapLibrary(Kind)) return false;
  if (!status.Loaded) {
    try {
      LibraryTable[Kind].Bind(GetLibraryFileName(Kind), status.Handle);
      status.Loaded = true;
    } catch (const Exception& e) {
      FLastError = e.Message;
    } catch (const std::exception& e) {
      FLastError = e.what();
    }
    // The entry points bound before the missing one would point into a module that is about to
    // be released.
    if (!status.Loaded) LibraryTable[Kind].Unbind();
  }
  if (!status.Loaded) {
    UnloadLibrary(Kind);
    return false;
  }
  RegisterServices(Kind);
  return true;
}

bool TFFLoader::Load(TLibraryKinds Kinds) {
  EngineAssert(!Kinds.Empty(), "Empty library set");
  for (TLibraryKind kind : DependencyOrder) {
    if (Kinds.Contains(kind) && !MapLibrary(kind)) {
      Unload(Kinds);
      return false;
    }
  }
  for (int k = 0; k < LibraryKindCount; ++k) {
    const auto kind = static_cast<TLibraryKind>(k);
    if (Kinds.Contains(kind) && !LoadLibrary(kind)) {
      Unload(Kinds);
      return false;
    }
  }
  return true;
}

bool TFFLoader::IsLoaded(TLibraryKind Kind) const { return FStatus[Kind].Handle && FStatus[Kind].Loaded; }

bool TFFLoader::AllLoaded(TLibraryKinds Kinds) const {
  EngineAssert(!Kinds.Empty(), "Empty library set");
  for (int k = 0; k < LibraryKindCount; ++k) {
    if (Kinds.Contains(static_cast<TLibraryKind>(k)) && !IsLoaded(static_cast<TLibraryKind>(k))) return false;
  }
  return true;
}

void TFFLoader::CheckLoaded(TLibraryKinds Kinds) const {
  for (int k = 0; k < LibraryKindCount; ++k) {
    const auto kind = static_cast<TLibraryKind>(k);
    if (Kinds.Contains(kind) && !IsLoaded(kind)) throw Exception(Format("Library %s not loaded.", LibraryTable[k].Name));
  }
}

void TFFLoader::UnloadLibrary(TLibraryKind Kind) {
  TLibraryStatus& status = FStatus[Kind];
  if (status.Loaded) {
    LibraryTable[Kind].Unbind();
    status.Loaded = false;
  }
  if (status.Handle) {
    FreeLibrary(status.Handle);
    status.Handle = nullptr;
  }
}

void TFFLoader::Unload(TLibraryKinds Kinds) {
  EngineAssert(!Kinds.Empty(), "Empty library set");
  // Messages must not reach a logger callback inside a library that is going away.
  if (Kinds.Contains(lkAVUtil) && ff::av_log_set_callback) ff::av_log_set_callback(ff::av_log_default_callback);
  for (int k = 0; k < LibraryKindCount; ++k) {
    if (Kinds.Contains(static_cast<TLibraryKind>(k))) UnloadLibrary(static_cast<TLibraryKind>(k));
  }
}

// From the engine's start on, no floating-point operation anywhere in the process may trap: a
// division by zero gives an infinity and an invalid operation a not-a-number.
static TFFLoader* MakeProcessLoader() {
  SavedFPUControlWord = Get8087CW();
  Set8087CW(0x133F);
  return new TFFLoader;
}

TFFLoader* FFLoader() {
  static TFFLoader* loader = MakeProcessLoader();  // lives to the end: nothing is unloaded at exit
  return loader;
}

void FinalizeFFLoader() {
  Set8087CW(SavedFPUControlWord);
  LoaderShuttingDown = true;
  FFLoader()->Unload(AllLibraries);
  FreeLockNodes();
}
