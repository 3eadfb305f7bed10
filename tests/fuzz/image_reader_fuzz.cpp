// One fuzzing target for one image reader: the bytes are handed to the I/O component as a
// stream of the format FUZZ_FILE_TYPE names (0: the component detects the format itself, as a
// user's open does), or, for the readers that work on files only (AVI frames, metafiles), as a
// file whose extension FUZZ_FILE_EXT names. A reader must end every input with an image or with a reason; a crash, a
// sanitizer report, a leak, a hang or a run past the memory cap is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include <unistd.h>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_limits.h"
#include "imaging/core/ie_startup.h"
#include "imaging/io/ie_io_unit.h"
#include "imaging/io/ie_zodiver_io.h"
#include "platform/rtl/streams.h"
#include "platform/startup.h"

#ifndef FUZZ_FILE_TYPE
#error "FUZZ_FILE_TYPE names the file type the target reads"
#endif

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  PlatformStartup(*argc, *argv);
  IERegisterFileIOUnit();
  IEInitialize();
  // Blank area a few bytes may claim (a GIF's logical screen, run-length data that ends early)
  // is allowed up to 2^28 pixels, which the sanitized build takes over ten seconds to fill and
  // copy: a timeout that says nothing about the reader. A lower bound still refuses every claim
  // the reader checks and keeps the fuzzer's time on the parsing; a claim it does not check
  // still shows as a timeout or a balloon.
  IESparseImageMaxPixels = Int64(1) << 22;
#ifdef FUZZ_FILE_EXT
  // A metafile is drawn at the size its header asks for, up to 8000 pixels a side: clearing and
  // copying surfaces of that size takes the sanitized build half a minute whatever the records
  // say. Smaller surfaces keep the fuzzer's time on the records themselves.
  IEMaxMetafileSize = 1024;
#endif
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size > 16 * 1024 * 1024) return 0;
  TMemoryStream Stream;
  if (Size) Stream.Write(Data, static_cast<Integer>(Size));
  Stream.SetPosition(0);
  TIEBitmap Image;
  TZodivErIO IO(nullptr);
  IO.SetAttachedIEBitmap(&Image);
  try {
#ifdef FUZZ_FILE_EXT
    static const std::string File = "/tmp/clavorne-fuzz-" + std::to_string(getpid()) + "." FUZZ_FILE_EXT;
    std::ofstream(File, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(Data), std::streamsize(Size));
    std::u16string Name(File.begin(), File.end());
    IO.LoadFromFile(Name);
#else
    if (FUZZ_FILE_TYPE == 0)
      IO.LoadFromStream(&Stream);
    else
      IO.LoadFromStreamFormat(&Stream, FUZZ_FILE_TYPE);
#endif
  } catch (...) {
    // The component reports through its abort flag; an exception that reaches the caller is
    // not a finding for this target (the caller's handler shows it), a crash is.
  }
  return 0;
}
