// One preview as a whole process, for a side-by-side run with the ffmpeg tool: opens the video,
// seeks and decodes to the picture at T as the main window's preview does, and writes it as a
// 24-bit BMP (the tool's own BMP layout for the same picture).
//
//   bench_preview FILE SECONDS OUT.bmp
#include <cstdio>
#include <cstdlib>
#include <string>

#include "media/binding/loader.h"
#include "media/components/decoder.h"
#include "platform/gui/bitmap.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/strings.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: bench_preview FILE SECONDS OUT.bmp\n");
    return 2;
  }
  char* end = nullptr;
  const double seconds = std::strtod(argv[2], &end);
  if (end == argv[2] || *end != '\0' || !(seconds >= 0) || seconds > 1e9) {
    std::fprintf(stderr, "bench_preview: bad time \"%s\"\n", argv[2]);
    return 2;
  }
  if (!FFLoader()->Load(DecoderLibraries)) {
    std::fprintf(stderr, "bench_preview: %s\n", FFLoader()->GetLastError().c_str());
    return 1;
  }
  try {
    TFFDecoder decoder(nullptr);
    if (!decoder.OpenFile(AnsiToWide(argv[1]))) {
      std::fprintf(stderr, "bench_preview: %s\n", decoder.LastErrorMessage.c_str());
      return 1;
    }
    const Int64 us = SafeRound<Int64>(seconds * 1000000);
    TBitmap bitmap;
    if (!decoder.Seek(us, {sfBackward}) || !decoder.DecodeTo(us) || !decoder.CopyToBitmap(&bitmap)) {
      std::fprintf(stderr, "bench_preview: %s\n", decoder.LastErrorMessage.c_str());
      return 1;
    }
    bitmap.SetPixelFormat(pf24bit);
    bitmap.SaveToFile(argv[3]);
  } catch (const Exception& e) {
    std::fprintf(stderr, "bench_preview: %s\n", e.Message.c_str());
    return 1;
  }
  return 0;
}
