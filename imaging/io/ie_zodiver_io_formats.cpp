// One load and one save family per built-in format, each the common frame around its codec.
// Formats whose codec the library does not carry yet end with a reason and the finish event.
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <cstring>

#include "imaging/core/ie_buffered_read_stream.h"
#include "imaging/core/ie_exif.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_markers.h"
#include "imaging/core/ie_text.h"
#include "imaging/core/ie_wide_file_stream.h"
#include "imaging/core/ie_xmp.h"
#include "imaging/formats/bmp/ie_bmp.h"
#include "imaging/formats/bmp/ie_bmp_raw.h"
#include "imaging/formats/dicom/ie_dicom.h"
#include "imaging/formats/gif/ie_gif.h"
#include "imaging/formats/ico/ie_ico.h"
#include "imaging/formats/jp2/ie_jp2.h"
#include "imaging/formats/jpeg/ie_jpeg.h"
#include "imaging/formats/pcx/ie_pcx.h"
#include "imaging/formats/pdf/ie_pdf.h"
#include "imaging/formats/png/ie_png.h"
#include "imaging/formats/pnm/ie_pnm.h"
#include "imaging/formats/ps/ie_ps.h"
#include "imaging/formats/raw/ie_raw.h"
#include "imaging/formats/tga/ie_tga.h"
#include "imaging/formats/tiff/ie_tiff_reader.h"
#include "imaging/formats/tiff/ie_tiff_writer.h"
#include "imaging/formats/wbmp/ie_wbmp.h"
#include "imaging/io/ie_format_detection.h"
#include "imaging/io/ie_gif_frames.h"
#include "imaging/io/ie_stream_header.h"
#include "imaging/view/ie_vect.h"
#include "platform/rtl/strings.h"
#include "imaging/io/ie_zodiver_io.h"
#include "platform/rtl/files.h"
#include "platform/rtl/strings.h"

namespace {

constexpr Byte kAPP1 = 225, kAPP13 = 237;
constexpr Integer kMaxMarkerPayload = 65533;

TColor RGBToColor(TRGB C) { return TColor(C.r | C.g << 8 | C.b << 16); }

// The first APP1 marker whose payload Holds, -1 when none.
template <class TTest>
Integer FindAPP1(const TIEMarkerList* List, TTest Holds) {
  for (Integer i = 0; i < List->Count(); ++i)
    if (List->MarkerType(i) == kAPP1 && Holds(List->MarkerData(i), Integer(List->MarkerLength(i)))) return i;
  return -1;
}

// Adds a std::malloc'd payload as a marker and frees it. A payload too long for one marker is
// dropped rather than cut.
bool AddPayload(TIEMarkerList* List, Byte Type, void* Payload, Integer Length, Integer ReplaceIndex) {
  const bool Fits = Payload && Length > 0 && Length <= kMaxMarkerPayload;
  if (Fits) {
    if (ReplaceIndex >= 0) List->SetMarker(ReplaceIndex, Type, Payload, Word(Length));
    else List->AddMarker(Type, Payload, Word(Length));
  }
  std::free(Payload);
  return Fits;
}

}  // namespace

// --- loads of the built codecs -------------------------------------------------------------

void TZodivErIO::LoadFromFileJPEG(const WideString& FileName) {
  if (InThread(&TZodivErIO::LoadFromFileJPEG, FileName)) return;
  LoadFile(FileName, ioJPEG, {true, false, true, true}, [this](TStream* S, TIECodecProgress& P, TIEMask*&) {
    TIEBufferedReadStream Buffered(S, 8192, true);
    ReadJPEGStream(&Buffered, nullptr, FImage, *FParams, P, false, false, true, false, true, true, -1,
                   FParams->NativePixelFormat);
  });
}

void TZodivErIO::LoadFromStreamJPEG(TStream* Stream) {
  if (InThread(&TZodivErIO::LoadFromStreamJPEG, Stream)) return;
  LoadStream(Stream, ioJPEG, {true, false, true, true}, [this](TStream* S, TIECodecProgress& P, TIEMask*&) {
    TIEStreamHeader Header;
    const bool Headed = IEReadStreamHeader(S, Header) && Header.Tag == "JFIF";
    if (!Headed) S->SetPosition(Header.Start);
    ReadJPEGStream(S, nullptr, FImage, *FParams, P, false, false, true, false, true, true, -1,
                   FParams->NativePixelFormat);
    if (Headed) IESkipStreamImage(S, Header);
  });
}

void TZodivErIO::LoadFromFileBMP(const WideString& FileName) {
  if (InThread(&TZodivErIO::LoadFromFileBMP, FileName)) return;
  LoadFileThroughStream(FileName, [this](TStream* S) { LoadFromStreamBMP(S); });
}

void TZodivErIO::LoadFromStreamBMP(TStream* Stream) {
  if (InThread(&TZodivErIO::LoadFromStreamBMP, Stream)) return;
  LoadStream(Stream, ioBMP, {true, true, true, true}, [this](TStream* S, TIECodecProgress& P, TIEMask*& Alpha) {
    ReadBMPStream(S, FImage, 0, *FParams, P, false, false, Alpha, !FParams->BmpHandleTransparency);
  });
}

void TZodivErIO::LoadFromFilePNG(const WideString& FileName) {
  if (InThread(&TZodivErIO::LoadFromFilePNG, FileName)) return;
  FParams->PngBackground = IETColorToTRGB(Background());
  LoadFile(FileName, ioPNG, {true, false, true, true}, [this](TStream* S, TIECodecProgress& P, TIEMask*&) {
    ReadPNGStream(S, FImage, *FParams, P, false);
    SetBackground(RGBToColor(FParams->PngBackground));
  });
}

void TZodivErIO::LoadFromStreamPNG(TStream* Stream) {
  if (InThread(&TZodivErIO::LoadFromStreamPNG, Stream)) return;
  LoadStream(Stream, ioPNG, {true, false, true, true}, [this](TStream* S, TIECodecProgress& P, TIEMask*&) {
    ReadPNGStream(S, FImage, *FParams, P, false);
    SetBackground(RGBToColor(FParams->PngBackground));
  });
}

void TZodivErIO::LoadFromFilePXM(const WideString& FileName) {
  if (InThread(&TZodivErIO::LoadFromFilePXM, FileName)) return;
  LoadFile(FileName, ioPXM, {true, false, true, false}, [this](TStream* S, TIECodecProgress& P, TIEMask*&) {
    ReadPXMStream(S, FImage, *FParams, P, false);
  });
}

void TZodivErIO::LoadFromStreamPXM(TStream* Stream) {
  if (InThread(&TZodivErIO::LoadFromStreamPXM, Stream)) return;
  LoadStream(Stream, ioPXM, {true, false, true, false}, [this](TStream* S, TIECodecProgress& P, TIEMask*&) {
    ReadPXMStream(S, FImage, *FParams, P, false);
  });
}

void TZodivErIO::LoadFromFileDICOM(const WideString& FileName) {
  if (InThread(&TZodivErIO::LoadFromFileDICOM, FileName)) return;
  LoadFile(FileName, ioDICOM, {false, false, false, false}, [this](TStream* S, TIECodecProgress& P, TIEMask*&) {
    ReadDICOMStream(S, *FParams, FImage, P, false);
  });
}

void TZodivErIO::LoadFromStreamDICOM(TStream* Stream) {
  if (InThread(&TZodivErIO::LoadFromStreamDICOM, Stream)) return;
  LoadStream(Stream, ioDICOM, {false, false, false, false}, [this](TStream* S, TIECodecProgress& P, TIEMask*&) {
    ReadDICOMStream(S, *FParams, FImage, P, false);
  });
}

Integer TZodivErIO::LoadFromFileTIFF(const WideString& FileName) {
  if (InThread(&TZodivErIO::LoadFromFileTIFF, FileName)) return -1;
  Integer Pages = 0;
  LoadFile(FileName, ioTIFF, {true, true, true, true}, [&](TStream* S, TIECodecProgress& P, TIEMask*& Alpha) {
    TIEBufferedReadStream Buffered(S, 8192, IEBufferedReadRelative);
    ReadTIFFStream(FImage, &Buffered, Pages, FParams.get(), P, false, Alpha, true, false, false);
  });
  return Pages;
}

Integer TZodivErIO::LoadFromStreamTIFF(TStream* Stream) {
  if (InThread(&TZodivErIO::LoadFromStreamTIFF, Stream)) return -1;
  Integer Pages = 0;
  LoadStream(Stream, ioTIFF, {true, true, true, true}, [&](TStream* S, TIECodecProgress& P, TIEMask*& Alpha) {
    TIEStreamHeader Header;
    if (StreamHeaders && (!IEReadStreamHeader(S, Header) || Header.Tag != "TIFF"))
      return IEFail(P, "the stream holds no TIFF stream header");
    {
      // The view counts positions from the image's start, where the file's offsets count from.
      TIEBufferedReadStream Buffered(S, 8192, true);
      ReadTIFFStream(FImage, &Buffered, Pages, FParams.get(), P, false, Alpha, true, false, false);
    }
    if (StreamHeaders) IESkipStreamImage(S, Header);
  });
  return Pages;
}

Integer TZodivErIO::LoadFromFileGIF(const WideString& FileName) {
  if (InThread(&TZodivErIO::LoadFromFileGIF, FileName)) return -1;
  Integer Count = 0;
  LoadFileThroughStream(FileName, [&](TStream* S) { Count = LoadFromStreamGIF(S); });
  return Count;
}

Integer TZodivErIO::LoadFromStreamGIF(TStream* Stream) {
  if (InThread(&TZodivErIO::LoadFromStreamGIF, Stream)) return -1;
  Integer Count = 0;
  LoadStream(Stream, ioGIF, {true, true, true, false}, [&](TStream* S, TIECodecProgress& P, TIEMask*& Alpha) {
    Count = IELoadGIFFrame(S, FImage, Alpha, *FParams, P);
    SetBackground(RGBToColor(FParams->GifFlagTranspColor ? FParams->GifTranspColor : FParams->GifBackground));
  });
  return Count;
}

void TZodivErIO::LoadFromFileICO(const WideString& FileName) {
  if (InThread(&TZodivErIO::LoadFromFileICO, FileName)) return;
  LoadFile(FileName, ioICO, {true, true, true, true}, [this](TStream* S, TIECodecProgress& P, TIEMask*& Alpha) {
    ReadICOStream(S, FImage, *FParams, false, P, Alpha, false);
  });
}

void TZodivErIO::LoadFromStreamICO(TStream* Stream) {
  if (InThread(&TZodivErIO::LoadFromStreamICO, Stream)) return;
  LoadStream(Stream, ioICO, {true, true, true, false}, [this](TStream* S, TIECodecProgress& P, TIEMask*& Alpha) {
    ReadICOStream(S, FImage, *FParams, false, P, Alpha, false);
  });
}

void TZodivErIO::LoadFromFileCUR(const WideString& FileName) {
  if (InThread(&TZodivErIO::LoadFromFileCUR, FileName)) return;
  LoadFile(FileName, ioCUR, {true, true, true, true}, [this](TStream* S, TIECodecProgress& P, TIEMask*& Alpha) {
    ReadCURStream(S, FImage, *FParams, false, P, Alpha, false);
  });
}

void TZodivErIO::LoadFromStreamCUR(TStream* Stream) {
  if (InThread(&TZodivErIO::LoadFromStreamCUR, Stream)) return;
  LoadStream(Stream, ioCUR, {true, true, true, false}, [this](TStream* S, TIECodecProgress& P, TIEMask*& Alpha) {
    ReadCURStream(S, FImage, *FParams, false, P, Alpha, false);
  });
}

void TZodivErIO::LoadFromFileWBMP(const WideString& FileName) {
  if (InThread(&TZodivErIO::LoadFromFileWBMP, FileName)) return;
  LoadFile(FileName, ioWBMP, {true, false, false, false}, [this](TStream* S, TIECodecProgress& P, TIEMask*&) {
    ReadWBMPStream(S, FImage, *FParams, P, false);
  });
}

void TZodivErIO::LoadFromStreamWBMP(TStream* Stream) {
  if (InThread(&TZodivErIO::LoadFromStreamWBMP, Stream)) return;
  LoadStream(Stream, ioWBMP, {true, false, false, false}, [this](TStream* S, TIECodecProgress& P, TIEMask*&) {
    ReadWBMPStream(S, FImage, *FParams, P, false);
  });
}

// A file holds one image and no stream header, whatever StreamHeaders says.
void TZodivErIO::LoadFromFilePCX(const WideString& FileName) {
  if (InThread(&TZodivErIO::LoadFromFilePCX, FileName)) return;
  LoadFileThroughStream(FileName, [this](TStream* File) {
    LoadStream(File, ioPCX, {true, false, true, true}, [this](TStream* S, TIECodecProgress& P, TIEMask*&) {
      ReadPCXStream(S, FImage, *FParams, S->Size(), P, false);
    });
  });
}

void TZodivErIO::LoadFromStreamPCX(TStream* Stream) {
  if (InThread(&TZodivErIO::LoadFromStreamPCX, Stream)) return;
  LoadStream(Stream, ioPCX, {true, false, true, true}, [this](TStream* S, TIECodecProgress& P, TIEMask*&) {
    if (!StreamHeaders) return ReadPCXStream(S, FImage, *FParams, S->Size(), P, false);
    TIEStreamHeader Header;
    if (!IEReadStreamHeader(S, Header) || Header.Tag.compare(0, 3, "PCX") != 0)
      return IEFail(P, "the stream holds no PCX stream header");
    if (Header.Tag == "PCX2") {
      ReadPCXStream(S, FImage, *FParams, Header.Length, P, false);
      IESkipStreamImage(S, Header);
      return;
    }
    // The older header is four bytes long and gives no length: the image runs to the end.
    S->SetPosition(Header.Start + 4);
    ReadPCXStream(S, FImage, *FParams, S->Size(), P, false);
  });
}

void TZodivErIO::LoadFromFileDCX(const WideString& FileName) {
  if (InThread(&TZodivErIO::LoadFromFileDCX, FileName)) return;
  LoadFileThroughStream(FileName, [this](TStream* S) { LoadFromStreamDCX(S); });
}

void TZodivErIO::LoadFromStreamDCX(TStream* Stream) {
  if (InThread(&TZodivErIO::LoadFromStreamDCX, Stream)) return;
  LoadStream(Stream, ioDCX, {true, false, true, true}, [this](TStream* S, TIECodecProgress& P, TIEMask*&) {
    ReadDCXStream(S, FImage, *FParams, P, false);
  });
}

void TZodivErIO::LoadFromFileTGA(const WideString& FileName) {
  if (InThread(&TZodivErIO::LoadFromFileTGA, FileName)) return;
  LoadFile(FileName, ioTGA, {true, true, true, true}, [this](TStream* S, TIECodecProgress& P, TIEMask*& Alpha) {
    ReadTGAStream(S, FImage, *FParams, P, false, Alpha, false);
  });
}

void TZodivErIO::LoadFromStreamTGA(TStream* Stream) {
  if (InThread(&TZodivErIO::LoadFromStreamTGA, Stream)) return;
  LoadStream(Stream, ioTGA, {true, true, true, false}, [this](TStream* S, TIECodecProgress& P, TIEMask*& Alpha) {
    ReadTGAStream(S, FImage, *FParams, P, false, Alpha, false);
  });
}

// Both containers go through one reader, which tells them apart by content; the method only
// decides the file type recorded.
void TZodivErIO::LoadFromFileJP2(const WideString& FileName) {
  if (InThread(&TZodivErIO::LoadFromFileJP2, FileName)) return;
  LoadFile(FileName, ioJP2, {true, false, true, true}, [this](TStream* S, TIECodecProgress& P, TIEMask*&) {
    ReadJ2000Stream(S, FImage, *FParams, P, false);
  });
}

void TZodivErIO::LoadFromFileJ2K(const WideString& FileName) {
  if (InThread(&TZodivErIO::LoadFromFileJ2K, FileName)) return;
  LoadFile(FileName, ioJ2K, {true, false, true, true}, [this](TStream* S, TIECodecProgress& P, TIEMask*&) {
    ReadJ2000Stream(S, FImage, *FParams, P, false);
  });
}

void TZodivErIO::LoadFromStreamJP2(TStream* Stream) {
  if (InThread(&TZodivErIO::LoadFromStreamJP2, Stream)) return;
  LoadStream(Stream, ioJP2, {true, false, true, true}, [this](TStream* S, TIECodecProgress& P, TIEMask*&) {
    ReadJ2000Stream(S, FImage, *FParams, P, false);
  });
}

void TZodivErIO::LoadFromStreamJ2K(TStream* Stream) {
  if (InThread(&TZodivErIO::LoadFromStreamJ2K, Stream)) return;
  LoadStream(Stream, ioJ2K, {true, false, true, true}, [this](TStream* S, TIECodecProgress& P, TIEMask*&) {
    ReadJ2000Stream(S, FImage, *FParams, P, false);
  });
}

// --- camera raw ----------------------------------------------------------------------------

void TZodivErIO::LoadFromFileRAW(const WideString& FileName) {
  if (InThread(&TZodivErIO::LoadFromFileRAW, FileName)) return;
  LoadFileThroughStream(FileName, [this](TStream* S) { LoadFromStreamRAW(S); });
}

void TZodivErIO::LoadFromStreamRAW(TStream* Stream) {
  if (InThread(&TZodivErIO::LoadFromStreamRAW, Stream)) return;
  // A format registered later for the "RAW" extension takes such streams over.
  const Integer Owner = IEFileTypeFromExt("RAW");
  if (Owner != ioUnknown && Owner != ioRAW) return LoadFromStreamFormat(Stream, Owner);
  LoadStream(Stream, ioRAW, {true, false, true, true}, [this](TStream* S, TIECodecProgress& P, TIEMask*&) {
    ReadCameraRaw(S, P, false);
  });
}

// DNG files are TIFF-structured raw files; the reader decodes those made by the cameras it knows
// and refuses the others (those a converter wrote) by name rather than as unknown files.
void TZodivErIO::ReadCameraRaw(TStream* Stream, TIECodecProgress& Progress, bool Preview) {
  const Int64 start = Stream->Position();
  if (IEIsDNG(Stream) && !IsRAW(Stream)) {
    IEFail(Progress, "DNG files are not supported: the camera raw reader cannot decode this one");
    return;
  }
  Stream->SetPosition(start);
  ReadRAWStream(Stream, FImage, *FParams, Progress, Preview);
}

// --- raw pixels -----------------------------------------------------------------------------

// The image keeps the size and pixel format the caller gave it: the data has no header to say.
void TZodivErIO::LoadFromFileBMPRAW(const WideString& FileName) {
  if (InThread(&TZodivErIO::LoadFromFileBMPRAW, FileName)) return;
  if (FileName.empty()) return;
  LoadFileThroughStream(FileName, [this](TStream* S) { LoadFromStreamBMPRAW(S); });
}

void TZodivErIO::LoadFromStreamBMPRAW(TStream* Stream) {
  if (InThread(&TZodivErIO::LoadFromStreamBMPRAW, Stream)) return;
  LoadStream(Stream, ioBMPRAW, {false, false, false, false}, [this](TStream* S, TIECodecProgress& P, TIEMask*&) {
    ReadBMPRAWStream(S, FImage, *FParams, P);
  });
}

// --- loads whose codecs the library does not carry yet -------------------------------------

void TZodivErIO::LoadFromFileObjectsLayers(const WideString& FileName, Integer FileType) {
  if (FileType == ioLYR || FileType == ioALL) {
    FFailureReason.clear();
    const AnsiString Name = WideToAnsi(FileName);
    std::unique_ptr<TFileStream> F;
    try {
      F = std::make_unique<TFileStream>(Name, fmOpenRead | fmShareDenyWrite);
    } catch (Exception& E) {
      FParams->FileType = FileType;
      Fail("Cannot read \"" + Name + "\": " + E.Message);
      return DoFinishWork();
    }
    LoadFromStreamObjectsLayers(F.get(), FileType);
    // The stream form does not know the file: the reason names it.
    if (Aborting && !FFailureReason.empty()) FFailureReason = "\"" + Name + "\": " + FFailureReason;
    return;
  }
  if (FileType != ioIEV) return NotAvailable(FileType, false);
  FFailureReason.clear();
  FParams->FileType = FileType;
  const AnsiString Name = WideToAnsi(FileName);
  // A view that shows objects keeps them as objects over a white picture of their extent;
  // otherwise a view of our own draws them into the component's image.
  auto* Attached = dynamic_cast<TZodivErVect*>(FAttachedZodivEr);
  std::unique_ptr<TZodivErVect> Temporary;
  TZodivErVect* V = Attached;
  if (!V) {
    Temporary = std::make_unique<TZodivErVect>(nullptr);
    V = Temporary.get();
  }
  try {
    if (!V->LoadObjectsFromFile(Name)) {
      Fail("\"" + Name + "\" is not a vector objects file");
      return DoFinishWork();
    }
  } catch (Exception& E) {
    Fail("Cannot read \"" + Name + "\": " + E.Message);
    return DoFinishWork();
  }
  const TRect R = V->GetObjectsExtent();
  TIEBitmap* Img = V->IEBitmap();
  Img->Allocate(std::max<Integer>(R.Right, 1), std::max<Integer>(R.Bottom, 1), ie24RGB);
  Img->Fill(static_cast<double>(0xFFFFFF));
  // Clear under the objects the view keeps; a flattened picture stays opaque, or the objects
  // just drawn into it would be invisible wherever its alpha is honoured.
  if (!Temporary) Img->GetAlphaChannel()->Fill(0);
  if (Temporary) {
    V->DrawObjectsToBitmap(true);
    if (FImage) FImage->Assign(Img);
  } else {
    V->Update();
  }
  DoFinishWork();
}

void TZodivErIO::LoadFromStreamObjectsLayers(TStream* Stream, Integer FileType) {
  if (FileType == ioLYR || FileType == ioALL) {
    // An attached view of the right class takes the layers (and objects); without one a view
    // of our own reads them and the component's image becomes their flattened picture.
    FFailureReason.clear();
    const bool All = FileType == ioALL;
    TZodivErView* Target = All ? dynamic_cast<TZodivErVect*>(FAttachedZodivEr)
                               : dynamic_cast<TZodivErView*>(FAttachedZodivEr);
    std::unique_ptr<TZodivErView> Temporary;
    if (!Target) {
      Temporary = All ? std::make_unique<TZodivErVect>(nullptr) : std::make_unique<TZodivErView>(nullptr);
      Target = Temporary.get();
    }
    try {
      const bool Ok = All ? static_cast<TZodivErVect*>(Target)->LoadLayersAndObjectsFromStream(Stream)
                          : Target->LoadLayersFromStream(Stream);
      if (!Ok) {
        Fail(All ? "The stream does not hold layers and vector objects" : "The stream does not hold layers");
      } else if (Temporary) {
        Temporary->SetCurrentLayer(0);
        Temporary->FlattenLayers();
        if (All) static_cast<TZodivErVect*>(Target)->DrawObjectsToBitmap(true);
        if (FImage) FImage->Assign(Temporary->IEBitmap());
      }
    } catch (Exception& E) {
      Fail((All ? "Cannot read the layers and vector objects: " : "Cannot read the layers: ") + E.Message);
    }
    FParams->FileType = FileType;
    return DoFinishWork();
  }
  auto* Attached = dynamic_cast<TZodivErVect*>(FAttachedZodivEr);
  if (FileType != ioIEV || !Attached) return NotAvailable(FileType, false);
  FFailureReason.clear();
  try {
    if (!Attached->LoadObjectsFromStream(Stream)) Fail("The stream does not hold vector objects");
  } catch (Exception& E) {
    Fail("Cannot read the vector objects: " + E.Message);
  }
  FParams->FileType = FileType;
  DoFinishWork();
}

namespace {
// The attached view that holds what FileType stores, or nil.
TZodivErView* ObjectsLayersHolder(TIEView* Attached, Integer FileType) {
  if (FileType == ioLYR) return dynamic_cast<TZodivErView*>(Attached);
  return FileType == ioIEV || FileType == ioALL ? dynamic_cast<TZodivErVect*>(Attached) : nullptr;
}

AnsiString ObjectsLayersMissingHolder(Integer FileType) {
  switch (FileType) {
    case ioIEV: return "vector objects are saved from an attached vector view, and none is attached";
    case ioLYR: return "layers are saved from an attached image view, and none is attached";
    default: return "layers and vector objects are saved from an attached vector view, and none is attached";
  }
}

void WriteObjectsLayers(TZodivErView* View, TStream* Stream, Integer FileType) {
  // Layer images go as zlib streams of their raw records: what is read back is what was shown.
  if (FileType == ioIEV) static_cast<TZodivErVect*>(View)->SaveObjectsToStream(Stream);
  else if (FileType == ioLYR) View->SaveLayersToStream(Stream, -1);
  else static_cast<TZodivErVect*>(View)->SaveLayersAndObjectsToStream(Stream, -1);
}
}  // namespace

// Always in the caller's thread: a worker would read the view's objects and layers while the
// main thread may be changing them.
void TZodivErIO::SaveToFileObjectsLayers(const WideString& FileName, Integer FileType) {
  TZodivErView* View = ObjectsLayersHolder(FAttachedZodivEr, FileType);
  if (!View) {
    FFailureReason.clear();
    Fail("Cannot save \"" + ExpandFileName(WideToAnsi(FileName)) + "\": " + ObjectsLayersMissingHolder(FileType));
    return DoFinishWork();
  }
  SaveFile(FileName, FileType, false,
           [&](TStream* S, TIECodecProgress&) { WriteObjectsLayers(View, S, FileType); });
}

void TZodivErIO::SaveToStreamObjectsLayers(TStream* Stream, Integer FileType) {
  TZodivErView* View = ObjectsLayersHolder(FAttachedZodivEr, FileType);
  if (!View) {
    FFailureReason.clear();
    Fail("Cannot save: " + ObjectsLayersMissingHolder(FileType));
    return DoFinishWork();
  }
  SaveStream(Stream, FileType, false, [&](TStream* S, TIECodecProgress&) { WriteObjectsLayers(View, S, FileType); });
}

// --- saves of the built codecs -------------------------------------------------------------

void TZodivErIO::SyncPhotoshopResolution() {
  TIEMarkerList* List = FParams->JpegMarkerList;
  const Integer Index = List->IndexOf(kAPP13);
  if (Index < 0) return;
  const Integer Len = List->MarkerLength(Index);
  std::vector<Byte> Data(List->MarkerData(Index), List->MarkerData(Index) + Len);
  static const Byte kResolutionId[6] = {'8', 'B', 'I', 'M', 0x03, 0xED};
  for (Integer P = 0; P + 6 <= Len; ++P) {
    if (std::memcmp(&Data[size_t(P)], kResolutionId, 6) != 0) continue;
    if (P + 8 > Len) return;
    const Integer NameLen = Integer(Data[size_t(P) + 6]) << 8 | Data[size_t(P) + 7];
    const Int64 SizeAt = Int64(P) + 8 + NameLen;
    if (SizeAt + 4 > Len) return;
    const Byte* s = &Data[size_t(SizeAt)];
    const UInt64 Size = UInt64(s[0]) << 24 | UInt64(s[1]) << 16 | UInt64(s[2]) << 8 | s[3];
    const Int64 At = SizeAt + 4;
    if (Size < 16 || At + 16 > Len) return;
    Byte* d = &Data[size_t(At)];
    auto Put32 = [](Byte* p, UInt64 v) {
      for (int i = 0; i < 4; ++i) p[i] = Byte(v >> (24 - 8 * i));
    };
    auto Put16 = [](Byte* p, Word v) {
      p[0] = Byte(v >> 8);
      p[1] = Byte(v);
    };
    Put32(d, UInt64(Cardinal(FParams->DpiX)) << 16);
    Put16(d + 4, 1);
    Put16(d + 6, 1);
    Put32(d + 8, UInt64(Cardinal(FParams->DpiY)) << 16);
    Put16(d + 12, 1);
    Put16(d + 14, 1);
    List->SetMarker(Index, kAPP13, Data.data(), Word(Len));
    return;
  }
}

void TZodivErIO::PrepareJPEGMarkers() {
  SyncPhotoshopResolution();
  TIEMarkerList* List = FParams->JpegMarkerList;
  TIEIPTCInfoList* Iptc = FParams->IptcInfo;
  if (Iptc->UserChanged || (Iptc->Count() > 0 && List->Count() == 0)) {
    void* Block = nullptr;
    Integer Length = 0;
    Iptc->SaveToBuffer(Block, Length, true);
    const Integer Index = List->IndexOf(kAPP13);
    if (Length > 0) AddPayload(List, kAPP13, Block, Length, Index);
    else {
      std::free(Block);
      if (Index >= 0) List->DeleteMarker(Index);
    }
  }
  if (FParams->ExifHasEXIFData) {
    // The block describes the image written now, not the one it was read with.
    FParams->ExifExifImageWidth = FImage->GetWidth();
    FParams->ExifExifImageHeight = FImage->GetHeight();
    void* Block = nullptr;
    Integer Length = 0;
    IESaveEXIFToBuffer(FParams.get(), Block, Length);
    // Without a new block the old one stays: better the file's own EXIF than none.
    if (Block && Length > 0 && Length <= kMaxMarkerPayload) {
      const Integer Old = FindAPP1(List, [](const Byte* D, Integer L) { return IEIsEXIFBlock(D, L); });
      if (Old >= 0) List->DeleteMarker(Old);
    }
    AddPayload(List, kAPP1, Block, Length, -1);
  }
  if (!FParams->XMP.empty()) {
    void* Block = nullptr;
    Integer Length = 0;
    IEWriteXMPToAPP1(FParams.get(), Block, Length);
    if (Block && Length > 0 && Length <= kMaxMarkerPayload) {
      const Integer Old = FindAPP1(List, [](const Byte* D, Integer L) { return IEFindXMPPacket(D, L) != nullptr; });
      if (Old >= 0) List->DeleteMarker(Old);
    }
    AddPayload(List, kAPP1, Block, Length, -1);
  }
}

void TZodivErIO::SaveToFileJPEG(const WideString& FileName) {
  if (InThread(&TZodivErIO::SaveToFileJPEG, FileName)) return;
  SaveFile(FileName, ioJPEG, true, [this](TStream* S, TIECodecProgress& P) {
    PrepareJPEGMarkers();
    WriteJPEGStream(S, FImage, *FParams, P);
  });
}

void TZodivErIO::SaveToStreamJPEG(TStream* Stream) {
  if (InThread(&TZodivErIO::SaveToStreamJPEG, Stream)) return;
  SaveStream(Stream, ioJPEG, true, [this](TStream* S, TIECodecProgress& P) {
    PrepareJPEGMarkers();
    const Int64 Start = StreamHeaders ? IEBeginStreamHeader(S) : -1;
    try {
      WriteJPEGStream(S, FImage, *FParams, P);
    } catch (...) {
      if (Start >= 0) IEEndStreamHeader(S, Start, "JFIF");
      throw;
    }
    if (Start >= 0) IEEndStreamHeader(S, Start, "JFIF");
  });
}

void TZodivErIO::SaveToFileBMP(const WideString& FileName) {
  if (InThread(&TZodivErIO::SaveToFileBMP, FileName)) return;
  SaveFile(FileName, ioBMP, false, [this](TStream* S, TIECodecProgress& P) {
    WriteBMPStream(S, FImage, *FParams, P, FParams->BmpHandleTransparency);
  });
}

void TZodivErIO::SaveToStreamBMP(TStream* Stream) {
  if (InThread(&TZodivErIO::SaveToStreamBMP, Stream)) return;
  SaveStream(Stream, ioBMP, false, [this](TStream* S, TIECodecProgress& P) {
    WriteBMPStream(S, FImage, *FParams, P, FParams->BmpHandleTransparency);
  });
}

void TZodivErIO::SaveToFilePNG(const WideString& FileName) {
  if (InThread(&TZodivErIO::SaveToFilePNG, FileName)) return;
  SaveFile(FileName, ioPNG, false, [this](TStream* S, TIECodecProgress& P) {
    std::unique_ptr<TIEMask> Alpha(AlphaToMask());
    WritePNGStream(S, FImage, *FParams, P, Alpha.get());
  });
}

void TZodivErIO::SaveToStreamPNG(TStream* Stream) {
  if (InThread(&TZodivErIO::SaveToStreamPNG, Stream)) return;
  SaveStream(Stream, ioPNG, false, [this](TStream* S, TIECodecProgress& P) {
    std::unique_ptr<TIEMask> Alpha(AlphaToMask());
    WritePNGStream(S, FImage, *FParams, P, Alpha.get());
  });
}

void TZodivErIO::SaveToFileGIF(const WideString& FileName) {
  if (InThread(&TZodivErIO::SaveToFileGIF, FileName)) return;
  SaveFile(FileName, ioGIF, false, [this](TStream* S, TIECodecProgress& P) { WriteGIFStream(S, FImage, *FParams, P); });
}

void TZodivErIO::SaveToStreamGIF(TStream* Stream) {
  if (InThread(&TZodivErIO::SaveToStreamGIF, Stream)) return;
  SaveStream(Stream, ioGIF, false, [this](TStream* S, TIECodecProgress& P) { WriteGIFStream(S, FImage, *FParams, P); });
}

void TZodivErIO::SaveToFilePXM(const WideString& FileName) {
  if (InThread(&TZodivErIO::SaveToFilePXM, FileName)) return;
  SaveFile(FileName, ioPXM, true, [this](TStream* S, TIECodecProgress& P) { WritePXMStream(S, FImage, *FParams, P); });
}

void TZodivErIO::SaveToStreamPXM(TStream* Stream) {
  if (InThread(&TZodivErIO::SaveToStreamPXM, Stream)) return;
  SaveStream(Stream, ioPXM, true, [this](TStream* S, TIECodecProgress& P) { WritePXMStream(S, FImage, *FParams, P); });
}

// The sizes and bit counts of the icon's images: the parameters' entries before the first of
// width 0.
static void IcoEntries(const TIOParamsVals& P, std::vector<std::pair<Integer, Integer>>& Sizes,
                       std::vector<Integer>& BitCounts) {
  for (Integer i = 0; i < 16 && P.IcoSizes[i][0] != 0; ++i) {
    Sizes.emplace_back(P.IcoSizes[i][0], P.IcoSizes[i][1]);
    BitCounts.push_back(P.IcoBitCount[i]);
  }
}

void TZodivErIO::SaveToFileICO(const WideString& FileName) {
  if (InThread(&TZodivErIO::SaveToFileICO, FileName)) return;
  SaveFile(FileName, ioICO, true, [this](TStream* S, TIECodecProgress& P) {
    std::vector<std::pair<Integer, Integer>> Sizes;
    std::vector<Integer> BitCounts;
    IcoEntries(*FParams, Sizes, BitCounts);
    WriteICOStream(S, FImage, *FParams, P, Sizes, BitCounts);
  });
}

void TZodivErIO::SaveToStreamICO(TStream* Stream) {
  if (InThread(&TZodivErIO::SaveToStreamICO, Stream)) return;
  SaveStream(Stream, ioICO, true, [this](TStream* S, TIECodecProgress& P) {
    std::vector<std::pair<Integer, Integer>> Sizes;
    std::vector<Integer> BitCounts;
    IcoEntries(*FParams, Sizes, BitCounts);
    WriteICOStream(S, FImage, *FParams, P, Sizes, BitCounts);
  });
}

void TZodivErIO::SaveToFileWBMP(const WideString& FileName) {
  if (InThread(&TZodivErIO::SaveToFileWBMP, FileName)) return;
  SaveFile(FileName, ioWBMP, true, [this](TStream* S, TIECodecProgress& P) { WriteWBMPStream(S, FImage, *FParams, P); });
}

void TZodivErIO::SaveToStreamWBMP(TStream* Stream) {
  if (InThread(&TZodivErIO::SaveToStreamWBMP, Stream)) return;
  SaveStream(Stream, ioWBMP, true, [this](TStream* S, TIECodecProgress& P) { WriteWBMPStream(S, FImage, *FParams, P); });
}

void TZodivErIO::SaveToFileTIFF(const WideString& FileName) {
  if (InThread(&TZodivErIO::SaveToFileTIFF, FileName)) return;
  SaveFile(FileName, ioTIFF, false,
           [this](TStream* S, TIECodecProgress& P) { WriteTIFFStream(S, false, FImage, *FParams, P); });
}

void TZodivErIO::SaveToStreamTIFF(TStream* Stream) {
  if (InThread(&TZodivErIO::SaveToStreamTIFF, Stream)) return;
  SaveStream(Stream, ioTIFF, false, [this](TStream* S, TIECodecProgress& P) {
    const Int64 Start = StreamHeaders ? IEBeginStreamHeader(S) : -1;
    WriteTIFFStream(S, false, FImage, *FParams, P);
    if (Start >= 0 && !IEAborting(P)) IEEndStreamHeader(S, Start, "TIFF");
  });
}

void TZodivErIO::SaveToFilePCX(const WideString& FileName) {
  if (InThread(&TZodivErIO::SaveToFilePCX, FileName)) return;
  SaveFile(FileName, ioPCX, true, [this](TStream* S, TIECodecProgress& P) { WritePCXStream(S, FImage, *FParams, P); });
}

void TZodivErIO::SaveToStreamPCX(TStream* Stream) {
  if (InThread(&TZodivErIO::SaveToStreamPCX, Stream)) return;
  SaveStream(Stream, ioPCX, true, [this](TStream* S, TIECodecProgress& P) {
    const Int64 Start = StreamHeaders ? IEBeginStreamHeader(S) : -1;
    WritePCXStream(S, FImage, *FParams, P);
    if (Start >= 0 && !IEAborting(P)) IEEndStreamHeader(S, Start, "PCX2");
  });
}

// A DCX that is already there gets the image as page DcxImageIndex; anything else at the name
// is replaced by a DCX of this one page. The new file is made beside the old one, so a failed
// insertion leaves the old pages as they were.
void TZodivErIO::SaveToFileDCX(const WideString& FileName) {
  if (InThread(&TZodivErIO::SaveToFileDCX, FileName)) return;
  TMemoryStream Pages;
  const AnsiString Name = WideToAnsi(FileName);
  if (FileExists(Name)) {
    try {
      TFileStream Old(Name, fmOpenRead | fmShareDenyWrite);
      if (IsDCX(&Old)) Pages.CopyFrom(&Old, Old.Size());
    } catch (const std::exception&) {
      Pages.SetSize(0);
    }
  }
  SaveFile(FileName, ioDCX, false, [this, &Pages](TStream* S, TIECodecProgress& P) {
    WriteDCXStream(&Pages, FImage, *FParams, P);
    if (IEAborting(P)) return;
    Pages.SetPosition(0);
    S->CopyFrom(&Pages, Pages.Size());
  });
}

// A stream that holds a DCX from its start gets the image as page DcxImageIndex; any other
// stream is emptied first and receives a DCX of this one page.
void TZodivErIO::SaveToStreamDCX(TStream* Stream) {
  if (InThread(&TZodivErIO::SaveToStreamDCX, Stream)) return;
  SaveStream(Stream, ioDCX, false, [this](TStream* S, TIECodecProgress& P) {
    S->SetPosition(0);
    if (!IsDCX(S)) S->SetSize(0);
    WriteDCXStream(S, FImage, *FParams, P);
  });
}

void TZodivErIO::SaveToFileTGA(const WideString& FileName) {
  if (InThread(&TZodivErIO::SaveToFileTGA, FileName)) return;
  SaveFile(FileName, ioTGA, true, [this](TStream* S, TIECodecProgress& P) {
    std::unique_ptr<TIEMask> Alpha(AlphaToMask());
    WriteTGAStream(S, FImage, *FParams, P, Alpha.get());
  });
}

void TZodivErIO::SaveToStreamTGA(TStream* Stream) {
  if (InThread(&TZodivErIO::SaveToStreamTGA, Stream)) return;
  SaveStream(Stream, ioTGA, true, [this](TStream* S, TIECodecProgress& P) {
    std::unique_ptr<TIEMask> Alpha(AlphaToMask());
    WriteTGAStream(S, FImage, *FParams, P, Alpha.get());
  });
}

// One page per call: every save makes a whole document.
void TZodivErIO::SaveToFilePS(const WideString& FileName) {
  if (InThread(&TZodivErIO::SaveToFilePS, FileName)) return;
  SaveFile(FileName, ioPS, true, [this](TStream* S, TIECodecProgress& P) { WritePSStream(S, FImage, *FParams, P); });
}

void TZodivErIO::SaveToStreamPS(TStream* Stream) {
  if (InThread(&TZodivErIO::SaveToStreamPS, Stream)) return;
  SaveStream(Stream, ioPS, true, [this](TStream* S, TIECodecProgress& P) { WritePSStream(S, FImage, *FParams, P); });
}

void TZodivErIO::SaveToFilePDF(const WideString& FileName) {
  if (InThread(&TZodivErIO::SaveToFilePDF, FileName)) return;
  SaveFile(FileName, ioPDF, true, [this](TStream* S, TIECodecProgress& P) { WritePDFStream(S, FImage, *FParams, P); });
}

void TZodivErIO::SaveToStreamPDF(TStream* Stream) {
  if (InThread(&TZodivErIO::SaveToStreamPDF, Stream)) return;
  SaveStream(Stream, ioPDF, true, [this](TStream* S, TIECodecProgress& P) { WritePDFStream(S, FImage, *FParams, P); });
}

void TZodivErIO::SaveToFileJP2(const WideString& FileName) {
  if (InThread(&TZodivErIO::SaveToFileJP2, FileName)) return;
  SaveFile(FileName, ioJP2, true, [this](TStream* S, TIECodecProgress& P) {
    WriteJ2000Stream(S, FImage, *FParams, P, IEJ2000FormatJP2);
  });
}

void TZodivErIO::SaveToFileJ2K(const WideString& FileName) {
  if (InThread(&TZodivErIO::SaveToFileJ2K, FileName)) return;
  SaveFile(FileName, ioJ2K, true, [this](TStream* S, TIECodecProgress& P) {
    WriteJ2000Stream(S, FImage, *FParams, P, IEJ2000FormatJ2K);
  });
}

void TZodivErIO::SaveToStreamJP2(TStream* Stream) {
  if (InThread(&TZodivErIO::SaveToStreamJP2, Stream)) return;
  SaveStream(Stream, ioJP2, true, [this](TStream* S, TIECodecProgress& P) {
    WriteJ2000Stream(S, FImage, *FParams, P, IEJ2000FormatJP2);
  });
}

void TZodivErIO::SaveToStreamJ2K(TStream* Stream) {
  if (InThread(&TZodivErIO::SaveToStreamJ2K, Stream)) return;
  SaveStream(Stream, ioJ2K, true, [this](TStream* S, TIECodecProgress& P) {
    WriteJ2000Stream(S, FImage, *FParams, P, IEJ2000FormatJ2K);
  });
}

// --- saves whose codecs the library does not carry yet -------------------------------------

