// Loading from streams, buffers and by explicit format id, saving by id, and reading only an
// image's parameters. A format that is not recognised, has no row or cannot be read ends like
// every other failure: Aborting set, a reason, and the finish event.
#include "imaging/core/ie_stream_classes.h"
#include "imaging/core/ie_wide_file_stream.h"
#include "imaging/formats/bmp/ie_bmp.h"
#include "imaging/formats/dicom/ie_dicom.h"
#include "imaging/formats/gif/ie_gif.h"
#include "imaging/formats/raw/ie_raw.h"
#include "imaging/formats/ico/ie_ico.h"
#include "imaging/formats/jp2/ie_jp2.h"
#include "imaging/formats/jpeg/ie_jpeg.h"
#include "imaging/formats/pcx/ie_pcx.h"
#include "imaging/formats/png/ie_png.h"
#include "imaging/formats/pnm/ie_pnm.h"
#include "imaging/formats/psd/ie_psd.h"
#include "imaging/formats/tga/ie_tga.h"
#include "imaging/formats/tiff/ie_tiff_reader.h"
#include "imaging/formats/wbmp/ie_wbmp.h"
#include "imaging/io/ie_format_detection.h"
#include "imaging/io/ie_zodiver_io.h"

namespace {

AnsiString NoRowReason(Integer FileType) { return "No image format has the id " + IntToStr(FileType); }

}  // namespace

bool TZodivErIO::DispatchStreamLoad(TStream* Stream, Integer FileType, bool WithExtras) {
  switch (FileType) {
    case ioTIFF: LoadFromStreamTIFF(Stream); return true;
    case ioGIF: LoadFromStreamGIF(Stream); return true;
    case ioJPEG: LoadFromStreamJPEG(Stream); return true;
    case ioPCX: LoadFromStreamPCX(Stream); return true;
    case ioBMP: LoadFromStreamBMP(Stream); return true;
    case ioICO: LoadFromStreamICO(Stream); return true;
    case ioCUR: LoadFromStreamCUR(Stream); return true;
    case ioPNG: LoadFromStreamPNG(Stream); return true;
    case ioTGA: LoadFromStreamTGA(Stream); return true;
    case ioPXM: LoadFromStreamPXM(Stream); return true;
    case ioJP2: LoadFromStreamJP2(Stream); return true;
    case ioJ2K: LoadFromStreamJ2K(Stream); return true;
    case ioDCX: LoadFromStreamDCX(Stream); return true;
    case ioRAW: LoadFromStreamRAW(Stream); return true;
    case ioPSD: LoadFromStreamPSD(Stream); return true;
    case ioIEV:
    case ioLYR:
    case ioALL: LoadFromStreamObjectsLayers(Stream, FileType); return true;
    case ioDICOM: LoadFromStreamDICOM(Stream); return true;
    case ioWBMP:
      if (!WithExtras) return false;
      LoadFromStreamWBMP(Stream);
      return true;
    case ioBMPRAW:
      if (!WithExtras) return false;
      LoadFromStreamBMPRAW(Stream);
      return true;
    default: return false;
  }
}

void TZodivErIO::LoadFromStream(TStream* Stream) {
  const Integer FileType = FindStreamFormat(Stream);
  TIEFileFormatInfo* Row = IEFileFormatGetInfo(FileType);
  if (!Row) {
    FFailureReason.clear();
    Fail(FileType == ioAVI ? AnsiString("Reading AVI frames from a stream is not available")
                           : AnsiString("The image format was not recognised"));
    DoFinishWork();
    return;
  }
  if (!Row->InternalFormat) {
    // Detection left the stream where it was: the thread detects the format again.
    if (Row->ReadFunction && InThread(&TZodivErIO::LoadFromStream, Stream)) return;
    return RegisteredLoad(Stream, Row, WideString(), false);
  }
  if (!DispatchStreamLoad(Stream, FileType, false)) NotAvailable(FileType, false);
}

void TZodivErIO::LoadFromStreamFormat(TStream* Stream, Integer FileType) {
  if (FileType == ioUnknown) return LoadFromStream(Stream);
  TIEFileFormatInfo* Row = IEFileFormatGetInfo(FileType);
  if (!Row) {
    FFailureReason.clear();
    Fail(NoRowReason(FileType));
    DoFinishWork();
    return;
  }
  if (!Row->InternalFormat) {
    if (Row->ReadFunction && InThread(&TZodivErIO::LoadFromStreamFormat, Stream, FileType)) return;
    return RegisteredLoad(Stream, Row, WideString(), false);
  }
  if (DispatchStreamLoad(Stream, FileType, true)) return;
  if (!Row->ReadFunction) {
    FFailureReason.clear();
    Fail(Row->FullName + " files cannot be read");
    DoFinishWork();
    return;
  }
  NotAvailable(FileType, false);
}

void TZodivErIO::SaveToStream(TStream* Stream, Integer FileType) {
  switch (FileType) {
    case ioTIFF: SaveToStreamTIFF(Stream); return;
    case ioGIF: SaveToStreamGIF(Stream); return;
    case ioJPEG: SaveToStreamJPEG(Stream); return;
    case ioPCX: SaveToStreamPCX(Stream); return;
    case ioBMP: SaveToStreamBMP(Stream); return;
    case ioICO: SaveToStreamICO(Stream); return;
    case ioPNG: SaveToStreamPNG(Stream); return;
    case ioTGA: SaveToStreamTGA(Stream); return;
    case ioPXM: SaveToStreamPXM(Stream); return;
    case ioJP2: SaveToStreamJP2(Stream); return;
    case ioJ2K: SaveToStreamJ2K(Stream); return;
    case ioWBMP: SaveToStreamWBMP(Stream); return;
    case ioPS: SaveToStreamPS(Stream); return;
    case ioPDF: SaveToStreamPDF(Stream); return;
    case ioDCX: SaveToStreamDCX(Stream); return;
    case ioPSD: SaveToStreamPSD(Stream); return;
    case ioIEV:
    case ioLYR:
    case ioALL: SaveToStreamObjectsLayers(Stream, FileType); return;
    default: break;
  }
  FFailureReason.clear();
  TIEFileFormatInfo* Row = IEFileFormatGetInfo(FileType);
  if (!Row || !Row->WriteFunction) {
    Fail(Row ? Row->FullName + " files cannot be written" : NoRowReason(FileType));
    DoFinishWork();
    return;
  }
  // A built-in row left here holds a placeholder that writes nothing.
  if (Row->InternalFormat) return NotAvailable(FileType, true);
  if (InThread(&TZodivErIO::SaveToStream, Stream, FileType)) return;
  SaveStream(Stream, FileType, true, [this, Row](TStream* S, TIECodecProgress& P) {
    FParams->FileType = Row->FileType;
    Row->WriteFunction(S, FImage, *FParams, P);
  });
}

void TZodivErIO::LoadFromFileFormat(const WideString& FileName, Integer FileType) {
  TIEFileFormatInfo* Row = IEFileFormatGetInfo(FileType);
  if (!Row) {
    FFailureReason.clear();
    Fail(NoRowReason(FileType));
    DoFinishWork();
    return;
  }
  if (Row->InternalFormat) {
    if (FileType == ioBMPRAW) return LoadFromFileBMPRAW(FileName);
    if (!LoadFileById(FileName, FileType)) LoadFromFile(FileName);
    return;
  }
  if (Row->ReadFunction && InThread(&TZodivErIO::LoadFromFileFormat, FileName, FileType)) return;
  RegisteredLoad(nullptr, Row, FileName, false);
}

void TZodivErIO::LoadFromFileAuto(const WideString& FileName) {
  const Integer FileType = FindFileFormat(FileName, false);
  if (FileType == ioUnknown) LoadFromFile(FileName);
  else LoadFromFileFormat(FileName, FileType);
}

void TZodivErIO::LoadFromBuffer(const void* Buffer, Integer BufferSize, Integer FileType) {
  TIEMemStream Memory(Buffer, Buffer ? BufferSize : 0);
  // The wrapper goes when this call returns: a worker thread must not be left reading it.
  TIESynchronousScope Synchronous;
  if (FileType == ioUnknown) LoadFromStream(&Memory);
  else LoadFromStreamFormat(&Memory, FileType);
}

// --- parameters only -----------------------------------------------------------------------

void TZodivErIO::ParamsRead(TStream* Stream, Integer FileType, bool FromFile) {
  (void)FromFile;
  TIECodecProgress Progress;
  Progress.Aborting = &Aborting;
  Progress.FailureReason = &FFailureReason;
  TIEMask* Mask = nullptr;
  switch (FileType) {
    case ioJPEG:
      ReadJPEGStream(Stream, nullptr, FImage, *FParams, Progress, true, false, true, false, true, true, -1,
                     FParams->NativePixelFormat);
      return;
    case ioBMP:
      ReadBMPStream(Stream, FImage, Integer(std::min<Int64>(Stream->Size(), 0x7FFFFFFF)), *FParams, Progress, true,
                    false, Mask, true);
      delete Mask;
      return;
    case ioICO:
      ReadICOStream(Stream, FImage, *FParams, true, Progress, Mask, true);
      delete Mask;
      return;
    case ioCUR:
      ReadCURStream(Stream, FImage, *FParams, true, Progress, Mask, true);
      delete Mask;
      return;
    case ioPNG: ReadPNGStream(Stream, FImage, *FParams, Progress, true); return;
    case ioPXM: ReadPXMStream(Stream, FImage, *FParams, Progress, true); return;
    case ioDICOM: ReadDICOMStream(Stream, *FParams, FImage, Progress, true); return;
    case ioTIFF: {
      Integer Pages = 0;
      ReadTIFFStream(FImage, Stream, Pages, FParams.get(), Progress, true, Mask, true, true, false);
      delete Mask;
      return;
    }
    case ioJP2:
    case ioJ2K: ReadJ2000Stream(Stream, FImage, *FParams, Progress, true); return;
    case ioGIF: {
      Integer Frames = 0;
      ReadGIFStream(Stream, FImage, Frames, *FParams, Progress, true, Mask, true);
      delete Mask;
      return;
    }
    case ioWBMP: ReadWBMPStream(Stream, FImage, *FParams, Progress, true); return;
    case ioPCX: ReadPCXStream(Stream, FImage, *FParams, Stream->Size(), Progress, true); return;
    case ioDCX: ReadDCXStream(Stream, FImage, *FParams, Progress, true); return;
    case ioTGA:
      ReadTGAStream(Stream, FImage, *FParams, Progress, true, Mask, true);
      delete Mask;
      return;
    case ioPSD: ReadPSDStream(Stream, nullptr, *FParams, Progress, false, nullptr); return;
    case ioRAW: ReadCameraRaw(Stream, Progress, true); return;
    default: break;
  }
  TIEFileFormatInfo* Row = IEFileFormatGetInfo(FileType);
  if (!Row) return Fail(FileType == ioUnknown ? AnsiString("The image format was not recognised") : NoRowReason(FileType));
  if (Row->InternalFormat)
    return Fail(Row->ReadFunction ? "Reading " + Row->FullName + " files is not available"
                                  : Row->FullName + " files cannot be read");
  if (!Row->ReadFunction) return Fail(Row->FullName + " files cannot be read");
  Row->ReadFunction(Stream, FImage, *FParams, Progress, true);
}

void TZodivErIO::ParamsFromFileFormat(const WideString& FileName, Integer FileType) {
  FFailureReason.clear();
  FParams->ResetInfo();
  FParams->FileType = FileType;
  Aborting = true;
  try {
    TIEWideFileStream File(FileName, fmOpenRead | fmShareDenyWrite);
    Aborting = false;
    ParamsRead(&File, FileType, true);
  } catch (const std::exception& E) {
    Fail(E.what());
  } catch (...) {
    Fail("The reader failed");
  }
  if (Aborting) FParams->FileType = ioUnknown;
  FParams->FileName = FileName;
  DoFinishWork();
}

void TZodivErIO::ParamsFromStreamFormat(TStream* Stream, Integer FileType) {
  FFailureReason.clear();
  FParams->ResetInfo();
  FParams->FileType = FileType;
  Aborting = false;
  try {
    ParamsRead(Stream, FileType, false);
  } catch (const std::exception& E) {
    Fail(E.what());
  } catch (...) {
    Fail("The reader failed");
  }
  if (Aborting) FParams->FileType = ioUnknown;
  DoFinishWork();
}

void TZodivErIO::ParamsFromFile(const WideString& FileName) {
  try {
    ParamsFromFileFormat(FileName, FindFileFormat(FileName, true));
  } catch (...) {
    FParams->FileType = ioUnknown;
  }
}

void TZodivErIO::ParamsFromStream(TStream* Stream) {
  try {
    ParamsFromStreamFormat(Stream, FindStreamFormat(Stream));
  } catch (...) {
    FParams->FileType = ioUnknown;
  }
}
