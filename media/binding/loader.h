// The one loader of the FFmpeg library set and the C runtime row. Libraries are mapped once for
// the whole process; the first component that loads them serves all others.
#pragma once

#include <initializer_list>

#include "platform/rtl/classes.h"
#include "platform/rtl/types.h"

// Table order, which is also the order of binding and unloading.
enum TLibraryKind { lkAVCodec, lkAVDevice, lkAVFilter, lkAVFormat, lkAVUtil, lkSwResample, lkSwScale, lkMsvcrt };
constexpr int LibraryKindCount = 8;

class TLibraryKinds {
 public:
  constexpr TLibraryKinds() = default;
  constexpr TLibraryKinds(std::initializer_list<TLibraryKind> kinds) {
    for (TLibraryKind k : kinds) bits_ |= 1u << k;
  }
  constexpr bool Contains(TLibraryKind k) const { return (bits_ >> k) & 1u; }
  constexpr bool Empty() const { return bits_ == 0; }

 private:
  unsigned bits_ = 0;
};

// What the encoder and the transcoding engine need, and what the decoder needs.
constexpr TLibraryKinds AllLibraries{lkAVCodec, lkAVDevice, lkAVFilter, lkAVFormat,
                                     lkAVUtil, lkSwResample, lkSwScale, lkMsvcrt};
constexpr TLibraryKinds DecoderLibraries{lkAVCodec, lkAVFormat, lkAVUtil, lkSwResample, lkSwScale, lkMsvcrt};

using TPathFileName = WideString;

class TFFLoader : public TObject {
 public:
  TFFLoader();

  void SetLibraryPath(const TPathFileName& Folder);
  const TPathFileName& LibraryPath() const { return FLibraryPath; }
  AnsiString GetLastError() const { return FLastError; }
  // "lib<name>.so.<major>", or the status row's full file name when one is set.
  TPathFileName GetLibraryFileName(TLibraryKind Kind) const;
  // Maps, binds and registers one library; true when it ends loaded.
  bool LoadLibrary(TLibraryKind Kind);
  // Loads a set; on the first failure the whole set is unloaded again and the result is false.
  bool Load(TLibraryKinds Kinds);
  bool IsLoaded(TLibraryKind Kind) const;
  bool AllLoaded(TLibraryKinds Kinds) const;
  // Raises Exception "Library %s not loaded." for the first library of the set that is not loaded.
  void CheckLoaded(TLibraryKinds Kinds) const;
  void UnloadLibrary(TLibraryKind Kind);
  void Unload(TLibraryKinds Kinds);
  // The library table's Name of a kind ("avcodec", ..., "c").
  static const char* LibraryName(TLibraryKind Kind);
  // Whether the logger's FFmpeg callback is installed whenever avutil ends loaded.
  bool LogCallbackSwitch = true;

 private:
  struct TLibraryStatus {
    TPathFileName FullFileName;
    void* Handle = nullptr;
    bool Loaded = false;
  };
  bool MapLibrary(TLibraryKind Kind);
  void RegisterServices(TLibraryKind Kind);

  TLibraryStatus FStatus[LibraryKindCount];
  TPathFileName FLibraryPath;
  AnsiString FLastError;
};

// The process's loader.
TFFLoader* FFLoader();

// The end of the engine: no more lock requests are served, every library is unloaded and the
// lock nodes are freed. The components that use FFmpeg must be gone before this runs.
void FinalizeFFLoader();
