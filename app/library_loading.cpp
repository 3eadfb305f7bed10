#include "app/library_loading.h"

#include "media/components/encoder.h"
#include "platform/rtl/strings.h"

namespace {
TLibraryLoadHook& LoadHook() {
  static TLibraryLoadHook hook;
  return hook;
}
}  // namespace

void SetLibraryLoadHook(TLibraryLoadHook Hook) { LoadHook() = std::move(Hook); }

bool EncoderLibrariesLoaded(TFFEncoder* Encoder) {
  // While a hook stands in for the loader, what is really mapped does not count.
  if (LoadHook()) return false;
  return Encoder->LibrariesLoaded();
}

bool EncoderLoadLibraries(TFFEncoder* Encoder, const AnsiString& Folder) {
  if (LoadHook()) return LoadHook()(Folder);
  return Encoder->LoadLibraries(AnsiToWide(Folder));
}
