#include "app/library_seam.h"

#include "media/binding/loader.h"
#include "platform/rtl/strings.h"

namespace {
TLibraryLoadHook& LoadHook() {
  static TLibraryLoadHook hook;
  return hook;
}
}  // namespace

void SetLibraryLoadHook(TLibraryLoadHook Hook) { LoadHook() = std::move(Hook); }

bool EncoderLibrariesLoaded() {
  // While a hook stands in for the loader, what is really mapped does not count.
  if (LoadHook()) return false;
  return FFLoader()->AllLoaded(AllLibraries);
}

bool EncoderLoadLibraries(const AnsiString& Folder) {
  if (LoadHook()) return LoadHook()(Folder);
  FFLoader()->SetLibraryPath(AnsiToWide(Folder));
  return FFLoader()->Load(AllLibraries);
}
