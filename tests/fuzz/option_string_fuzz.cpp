// The media engine's option strings: the bytes are split into arguments as a user's option text
// is, and each argument goes through the number readers the option table uses. Routing an
// unknown option needs the FFmpeg libraries loaded (their option classes answer), and so does
// reading a time: those stay out of this target.
#include <cstddef>
#include <cstdint>

#include "media/binding/ffmpeg_exception.h"
#include "media/binding/option_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size > 64 * 1024) return 0;
  const AnsiString Text(reinterpret_cast<const char*>(Data), Size);
  for (const AnsiString& Arg : ParseCommandLineArgs(Text)) {
    try { (void)ParseInt("i", Arg); } catch (const FFmpegException&) {}
    try { (void)ParseInt64("l", Arg); } catch (const FFmpegException&) {}
    try { (void)ParseFloat("f", Arg); } catch (const FFmpegException&) {}
    try { (void)ParseDouble("d", Arg); } catch (const FFmpegException&) {}
  }
  return 0;
}
