#include "imaging/io/ie_format_detection.h"

#include <cstring>
#include <memory>

#include "imaging/core/ie_streams.h"
#include "imaging/core/ie_text.h"
#include "imaging/core/ie_wide_file_stream.h"
#include "imaging/formats/dicom/ie_dicom.h"
#include "imaging/formats/ico/ie_ico.h"
#include "imaging/formats/jp2/ie_jp2.h"
#include "imaging/formats/jpeg/ie_jpeg.h"
#include "imaging/formats/metafile/ie_metafile.h"
#include "imaging/formats/pcx/ie_pcx.h"
#include "imaging/formats/png/ie_png.h"
#include "imaging/formats/tga/ie_tga.h"
#include "imaging/formats/tiff/ie_tiff_directory.h"
#include "imaging/formats/tiff/ie_tiff_reader.h"
#include "imaging/formats/pnm/ie_pnm.h"
#include "imaging/formats/psd/ie_psd.h"
#include "imaging/formats/raw/ie_raw.h"
#include "imaging/io/ie_file_formats.h"
#include "imaging/view/ie_layer_file.h"
#include "imaging/view/ie_vect.h"
#include "platform/rtl/files.h"
#include "platform/rtl/strings.h"

namespace {

// Count bytes from Start into Buffer, the position set back to Start. A short read (less left
// than the total size promised) does not match anything.
bool Peek(TStream* Stream, Int64 Start, Byte* Buffer, Integer Count) {
  std::memset(Buffer, 0, size_t(Count));
  Stream->SetPosition(Start);
  const Integer Got = Stream->Read(Buffer, Count);
  Stream->SetPosition(Start);
  return Got == Count;
}

// The text of the first Count bytes up to their first zero byte.
AnsiString TagText(const Byte* Buffer, Integer Count) {
  Integer n = 0;
  while (n < Count && Buffer[n] != 0) ++n;
  return AnsiString(reinterpret_cast<const char*>(Buffer), size_t(n));
}

bool HeaderTag(TStream* S, Int64 Size, Int64 Start, const char* Tag) {
  Byte b[12];
  return Size > 12 && Peek(S, Start, b, 12) && TagText(b, 5) == Tag;
}

bool IsJPEGStart(TStream* S) { return FindJPEGStart(S) >= 0; }

using TProbe = bool (*)(TStream*);

// The content tests of the codecs, in the order they are asked. A nil probe is a format whose
// codec the library does not carry yet: its step is passed over.
struct TProbeStep {
  TProbe Probe;
  Integer FileType;
};
const TProbeStep kCodecProbes[] = {
    {IsDICOM, ioDICOM},      // DICOM
    {IsICO, ioICO},          // icon
    {IsCUR, ioCUR},          // cursor
    {IsTGA, ioTGA},          // Targa
    {IsPXM, ioPXM},          // PBM, PGM, PPM
    {IsJPEGStart, ioJPEG},   // a JPEG start within the first bytes
    {IsJP2, ioJP2},          // JPEG 2000 file
    {IsJ2K, ioJ2K},          // JPEG 2000 code stream
    {IsAVI, ioAVI},          // AVI
    {IsDCX, ioDCX},          // multi-page PCX
    {IsWMF, ioWMF},          // Windows metafile
    {IsEMF, ioEMF},          // enhanced metafile
    {IsPSD, ioPSD},          // Photoshop
    {IETestObjectsStream, ioIEV},        // vector objects
    {IETestLayersStream, ioLYR},         // layers
    {IETestLayersObjectsStream, ioALL},  // layers and objects
};

// TIFF with its camera raw exclusion, and the camera raw identification.
TProbe IsTIFFProbe = IsTIFF;
TProbe IsCameraRawTIFFProbe = IsCameraRawTIFF;
TProbe IsRAWProbe = IsRAW;

Integer Detect(TStream* S) {
  const Int64 Size = S->Size();
  TIEStreamPositionKeeper Keep(S);
  const Int64 Start = Keep.Position();
  Byte b[128];

  if (HeaderTag(S, Size, Start, "JFIF")) return ioJPEG;
  if (Size > 13 && Peek(S, Start, b, 13) && b[0] == 'G' && b[1] == 'I' && b[2] == 'F') return ioGIF;
  if (HeaderTag(S, Size, Start, "PCX2")) return ioPCX;
  if (Size > 4 && Peek(S, Start, b, 4) && TagText(b, 4) == "PCX") return ioPCX;
  if (Size > 14 && Peek(S, Start, b, 14) && b[0] == 'B' && b[1] == 'M') return ioBMP;
  if (Size > 128 && Peek(S, Start, b, 128) && b[0] == 0x0A && b[1] <= 5) return ioPCX;
  if (HeaderTag(S, Size, Start, "TIFF")) return ioTIFF;
  if (IsTIFFProbe) {
    S->SetPosition(Start);
    if (IsTIFFProbe(S)) {
      S->SetPosition(Start);
      if (!(IsCameraRawTIFFProbe && IsCameraRawTIFFProbe(S))) return ioTIFF;
    }
  }
  S->SetPosition(Start);
  if (Size > 8 && IsPNG(S)) return ioPNG;
  for (const TProbeStep& Step : kCodecProbes) {
    if (!Step.Probe) continue;
    S->SetPosition(Start);
    if (Step.Probe(S)) return Step.FileType;
  }
  for (Integer i = 0; i < IEFileFormatCount(); ++i) {
    TIEFileFormatInfo* Row = IEFileFormatAt(i);
    if (!Row->TryFunction) continue;
    S->SetPosition(Start);
    if (Row->TryFunction(S, Row->FileType)) return Row->FileType;
  }
  S->SetPosition(Start);
  if (IsRAWProbe && IsRAWProbe(S)) return ioRAW;
  return ioUnknown;
}

}  // namespace

Integer FindStreamFormat(TStream* Stream) {
  if (!Stream) return ioUnknown;
  try {
    return Detect(Stream);
  } catch (...) {
    return ioUnknown;
  }
}

bool IsAVI(TStream* Stream) {
  TIEStreamPositionKeeper Keep(Stream);
  Byte b[12];
  return Peek(Stream, Keep.Position(), b, 12) && std::memcmp(b, "RIFF", 4) == 0 && std::memcmp(b + 8, "AVI ", 4) == 0;
}

bool IEIsDNG(TStream* Stream) {
  constexpr Word kDNGVersion = 50706, kByte = 1;
  try {
    TIEStreamPositionKeeper Keep(Stream);
    const Int64 Start = Keep.Position();
    Byte h[8];
    if (Stream->Size() - Start < 8 || !Peek(Stream, Start, h, 8)) return false;
    if (!((h[0] == 'I' && h[1] == 'I') || (h[0] == 'M' && h[1] == 'M'))) return false;
    TTIFFDirectory Dir(Stream, h[0] == 'I', Start);
    // A directory cut short still shows the version when its entry is among those there.
    Dir.AcceptCutTables = true;
    Integer Count = 0;
    if (!Dir.LoadIFD(0, Dir.U32(h + 4), Count)) return false;
    const TTIFFEntry* e = Dir.Entry(kDNGVersion);
    return e && e->Type == kByte && e->Count == 4;
  } catch (...) {
    return false;
  }
}

Integer FindFileFormat(const WideString& FileName, bool VerifyWithExtension) {
  if (FileName.empty() || !FileExists(WideToAnsi(FileName))) return ioUnknown;
  Integer Content = ioUnknown;
  try {
    TIEWideFileStream File(FileName, fmOpenRead | fmShareDenyWrite);
    Content = FindStreamFormat(&File);
  } catch (...) {
  }
  WideString Ext;
  IEExtractFileExtW(FileName, false, Ext);
  TIEFileFormatInfo* Row = IEFileFormatGetInfoByExt(WideToAnsi(Ext));
  if (Row && Row->FileType == ioRAW && Content == ioTIFF) Content = ioRAW;
  if (Row && !Row->InternalFormat) return Row->FileType;
  if (VerifyWithExtension && Content != ioUnknown) {
    if (!Row) return ioUnknown;
    if (Content == ioICO || Content == ioCUR) return Row->FileType;
    if (Row->FileType != Content) return ioUnknown;
  }
  return Content;
}
