// The media decoder's open and probe path: the bytes become a file (the decoder opens files
// only), which is opened, its streams and tags read as the file dialogs and the run windows read
// them, and its first picture decoded and copied into a bitmap as a preview does. FFmpeg's
// libraries are system copies loaded at run time, not built with the sanitizers: a report counts
// against this code only when one of its frames is in our own code (tests/fuzz/decoder.asan.supp
// keeps reports raised inside FFmpeg out of the run).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <string>

#include <unistd.h>

#include "media/binding/entry_points.h"
#include "media/binding/loader.h"
#include "media/binding/option_parser.h"
#include "media/components/decoder.h"
#include "platform/gui/bitmap.h"
#include "platform/rtl/strings.h"
#include "platform/startup.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  PlatformStartup(*argc, *argv);
  if (!FFLoader()->Load(DecoderLibraries)) {
    std::fprintf(stderr, "fuzz_decoder: %s\n", FFLoader()->GetLastError().c_str());
    std::abort();
  }
  ff::av_log_set_level(AV_LOG_QUIET);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size > 4 * 1024 * 1024) return 0;
  static const std::string File = "/tmp/clavorne-fuzz-decoder-" + std::to_string(getpid()) + ".bin";
  std::ofstream(File, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(Data), std::streamsize(Size));
  try {
    TFFDecoder Decoder(nullptr);
    Decoder.ReadTimeout = 5000;
    // The containers a user opens; playlists and the like would have FFmpeg read other files
    // of this machine named in the bytes, which is not the decoder's code at work.
    Decoder.Options->InitOpts();
    ff::av_dict_set(&Decoder.Options->FormatOpts, "format_whitelist",
                    "mov,matroska,avi,wav,mpegts,mp3,ogg,flv,asf,aiff,mpeg,png_pipe,jpeg_pipe,bmp_pipe", 0);
    if (!Decoder.OpenFile(AnsiToWide(File))) return 0;
    TFileStreamInfo FileInfo;
    Decoder.GetFileStreamInfo(FileInfo);
    TVideoStreamInfo VideoInfo;
    Decoder.GetFirstVideoStreamInfo(VideoInfo);
    TAudioStreamInfo AudioInfo;
    Decoder.GetFirstAudioStreamInfo(AudioInfo);
    (void)Decoder.GetMediaInfoText();
    if (Decoder.FirstVideoStreamIndex >= 0 && Decoder.Decode()) {
      TBitmap Picture;
      Decoder.CopyToBitmap(&Picture);
    }
  } catch (...) {
    // The decoder raises for missing libraries only; anything else reaching here is shown by
    // the caller's handler in the program, so it is not a finding.
  }
  return 0;
}
