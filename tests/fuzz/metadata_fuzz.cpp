// One fuzzing target for one metadata parser, chosen by FUZZ_PARSER: the bytes are handed to
// the parser as the block a file would carry. Each parser must end every input with what it
// could read or with a refusal; a crash, a sanitizer report, a leak or a hang is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "imaging/core/ie_annot.h"
#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_exif.h"
#include "imaging/core/ie_icc.h"
#include "imaging/core/ie_markers.h"
#include "imaging/core/ie_params.h"
#include "imaging/core/ie_startup.h"
#include "imaging/core/ie_xmp.h"
#include "imaging/formats/tiff/ie_exif_tiff_reader.h"
#include "imaging/io/ie_io_unit.h"
#include "platform/rtl/streams.h"
#include "platform/startup.h"

#define FUZZ_EXIF 1
#define FUZZ_IPTC 2  // with and without the Photoshop image-resource wrapper
#define FUZZ_XMP 3
#define FUZZ_ICC 4
#define FUZZ_ANNOT 5
#define FUZZ_ANNOT_DIB 6
#define FUZZ_RAW_RECORD 7

#ifndef FUZZ_PARSER
#error "FUZZ_PARSER names the parser the target feeds"
#endif

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  PlatformStartup(*argc, *argv);
  IERegisterFileIOUnit();
  IEInitialize();
  IERegisterExifTiffReader();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size > 4 * 1024 * 1024) return 0;
  const Integer Length = static_cast<Integer>(Size);
  try {
#if FUZZ_PARSER == FUZZ_EXIF
    TIOParamsVals Params(nullptr);
    IELoadEXIFFromBuffer(Data, Length, &Params);
    // What was read is written back as the program does when it saves the image again.
    void* Out = nullptr;
    Integer OutLength = 0;
    IESaveEXIFToBuffer(&Params, Out, OutLength);
    std::free(Out);
#elif FUZZ_PARSER == FUZZ_IPTC
    TIEIPTCInfoList List;
    if (List.LoadFromBuffer(Data, Length)) {
      void* Out = nullptr;
      Integer OutLength = 0;
      List.SaveToBuffer(Out, OutLength, true);
      std::free(Out);
    }
#elif FUZZ_PARSER == FUZZ_XMP
    TIOParamsVals Params(nullptr);
    IEReadXMPFromAPP1(Data, Length, &Params);
#elif FUZZ_PARSER == FUZZ_ICC
    TIEICC Profile;
    Profile.LoadFromBuffer(Data, Length);
#elif FUZZ_PARSER == FUZZ_ANNOT
    TIEImagingAnnot Annot;
    Annot.LoadFromBuffer(Data, Length);
    void* Out = nullptr;
    Integer OutLength = 0;
    Annot.SaveToBuffer(Out, OutLength);
    std::free(Out);
#elif FUZZ_PARSER == FUZZ_ANNOT_DIB
    delete IEAnnotDIBToBitmap(Data, static_cast<Int64>(Size));
#elif FUZZ_PARSER == FUZZ_RAW_RECORD
    // A record read from a stream has a known end; read from a bare buffer it has none, so only
    // the stream form can take untrusted bytes.
    TMemoryStream Stream;
    if (Size) Stream.Write(Data, Length);
    Stream.SetPosition(0);
    TIEBitmap Image;
    Image.LoadRawFromStream(nullptr, &Stream);
#else
#error "unknown FUZZ_PARSER"
#endif
  } catch (...) {
    // An exception that reaches the caller is the caller's to show; a crash is the finding.
  }
  return 0;
}
