#include "imaging/core/ie_params.h"

#include <cstdlib>
#include <cstring>

#include "imaging/core/ie_annot.h"
#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_dicom_tags.h"
#include "imaging/core/ie_exif.h"
#include "imaging/core/ie_icc.h"
#include "imaging/core/ie_tags_handler.h"
#include "platform/rtl/exceptions.h"

TIELZWProcedure IEGlobalGifLZWDecompress = nullptr;
TIELZWProcedure IEGlobalGifLZWCompress = nullptr;
TIELZWProcedure IEGlobalTiffLZWDecompress = nullptr;
TIELZWProcedure IEGlobalTiffLZWCompress = nullptr;
Integer IEGlobalDefaultDpiX = 300;
Integer IEGlobalDefaultDpiY = 300;

TIOParamsVals::TIOParamsVals(TIEParamsOwner* AIO) : IO(AIO) {
  JpegMarkerList = new TIEMarkerList;
  IptcInfo = new TIEIPTCInfoList;
  PxmComments = new TStringList;
  GifComments = new TStringList;
  PngTextKeys = new TStringList;
  PngTextValues = new TStringList;
  DicomTags = new TIEDICOMTags;
  ExifMakerNote = new TIETagsHandler;
  SetDefaultParams();
}

TIOParamsVals::~TIOParamsVals() {
  delete ExifMakerNote;
  FreeExifBitmap();
  FreeColorMap();
  delete JpegMarkerList;
  delete IptcInfo;
  FreeImagingAnnot();
  delete PxmComments;
  delete GifComments;
  delete PngTextKeys;
  delete PngTextValues;
  delete DicomTags;
  FreeProfiles();
}

void TIOParamsVals::FreeColorMap() {
  std::free(ColorMap);
  ColorMap = nullptr;
  ColorMapCount = 0;
}

void TIOParamsVals::FreeProfiles() {
  FreeAndNil(EmbeddedICCProfile);
  FreeAndNil(SystemICCProfile);
  FreeAndNil(FallbackICCProfile);
}

void TIOParamsVals::FreeImagingAnnot() { FreeAndNil(ImagingAnnot); }

void TIOParamsVals::FreeExifBitmap() { FreeAndNil(ExifBitmap); }

void TIOParamsVals::SetDefaultParams() {
  FreeColorMap();
  FileName.clear();
  FileType = 0;
  BitsPerSample = 8;
  SamplesPerPixel = 3;
  NativePixelFormat = false;
  if (IO) {
    if (TIEBitmap* image = IO->GetBitmap()) {
      Width = image->GetWidth();
      Height = image->GetHeight();
    }
    SetDpiX(IEGlobalDefaultDpiX);
    SetDpiY(IEGlobalDefaultDpiY);
  }
  ImageIndex = 0;
  ImageCount = 0;
  GetExifThumbnail = false;

  GifVersion = "GIF89a";
  SetImageIndex(0);
  GifXPos = GifYPos = GifDelayTime = 0;
  GifWinWidth = GifWinHeight = GifRatio = 0;
  GifTranspColor = GifBackground = TRGB{0, 0, 0};
  GifFlagTranspColor = GifInterlaced = false;
  GifLZWDecompress = IEGlobalGifLZWDecompress;
  GifLZWCompress = IEGlobalGifLZWCompress;
  GifImageCount = 0;
  GifComments->Clear();
  GifAction = 2;

  TiffCompression = 0;
  TiffPhotometInterpret = 2;
  TiffPlanarConfig = 1;
  TiffSubIndex = -1;
  TiffXPos = TiffYPos = 0;
  TiffGetTile = -1;
  TiffDocumentName.clear();
  TiffImageDescription.clear();
  TiffPageName.clear();
  TiffPageNumber = TiffPageCount = -1;
  SetTiffOrientation(1);
  TiffLZWDecompress = IEGlobalTiffLZWDecompress;
  TiffLZWCompress = IEGlobalTiffLZWCompress;
  TiffImageCount = 0;
  TiffEnableAdjustOrientation = false;
  TiffJpegQuality = 80;
  TiffJpegColorSpace = 2;
  TiffFillOrder = 1;
  TiffZipCompression = 1;
  TiffByteOrder = true;

  JpegColorSpace = 2;
  JpegQuality = 80;
  JpegDCTMethod = 0;
  JpegChromaSubsampling = 1;
  JpegOptimalHuffman = false;
  JpegSmooth = 0;
  JpegProgressive = false;
  JpegScale = 1;
  JpegMarkerList->Clear();
  JpegScaleUsed = 1;
  OriginalWidth = OriginalHeight = 0;
  JpegEnableAdjustOrientation = false;
  SetGetExifThumbnail(false);

  J2000ColorSpace = 1;
  J2000Rate = 1.0;
  J2000Progression = 0;
  BmpCompression = 0;
  BmpVersion = 1;
  BmpHandleTransparency = false;
  PcxVersion = 5;
  PcxCompression = 1;

  IcoBackground = TRGB{255, 255, 255};
  std::memset(IcoSizes, 0, sizeof IcoSizes);
  IcoSizes[0][0] = IcoSizes[0][1] = 64;
  std::memset(IcoBitCount, 0, sizeof IcoBitCount);
  IcoBitCount[0] = 8;
  CurXHotSpot = CurYHotSpot = 0;
  CurBackground = TRGB{255, 255, 255};

  PngInterlaced = false;
  PngBackground = TRGB{0, 0, 0};
  PngFilter = 0;
  PngCompression = 5;
  PngTextKeys->Clear();
  PngTextValues->Clear();
  DicomTags->Clear();

  PsdLoadLayers = false;
  PsdReplaceLayers = true;

  TgaXPos = TgaYPos = 0;
  TgaCompressed = true;
  TgaDescriptor.clear();
  TgaAuthor.clear();
  TgaDate = Date();
  TgaImageName.clear();
  TgaBackground = TRGB{0, 0, 0};
  TgaAspectRatio = 1.0;
  TgaGamma = 2.2;
  TgaGrayscale = false;

  AviFrameCount = AviFrameDelayTime = 0;
  IptcInfo->Clear();
  PxmComments->Clear();

  ResetEXIF();

  PsPaperWidth = 595;
  PsPaperHeight = 842;
  PsCompression = 1;
  PsTitle = "No Title";
  PdfPaperWidth = 595;
  PdfPaperHeight = 842;
  PdfCompression = 2;
  PdfTitle.clear();
  PdfAuthor.clear();
  PdfSubject.clear();
  PdfKeywords.clear();
  PdfCreator.clear();
  PdfProducer.clear();

  FreeImagingAnnot();
  FreeProfiles();

  RawHalfSize = false;
  RawGamma = 0.6;
  RawBrightness = 1.0;
  RawRedScale = RawBlueScale = 1.0;
  RawQuickInterpolate = true;
  RawAutoWB = RawCameraWB = RawFourColorRGB = false;
  RawCamera.clear();
  RawGetExifThumbnail = RawMatchExifThumbnail = false;
  BmpRawStoredBGR = false;
  BmpRawPlanar = 0;
  BmpRawRowAlign = 8;
  BmpRawHeaderSize = 0;
  XMP.clear();
}

void TIOParamsVals::ResetEXIF() {
  ExifHasEXIFData = false;
  FreeExifBitmap();

  // Every EXIF and GPS value back to its reset value; the DPI and the TIFF orientation stay.
  TIOParamsValues fresh;
  ExifImageDescription = fresh.ExifImageDescription;
  ExifMake = fresh.ExifMake;
  ExifModel = fresh.ExifModel;
  ExifOrientation = 0;
  // The resolutions mirror the DPI, which a reset of the EXIF part does not touch.
  ExifXResolution = DpiX;
  ExifYResolution = DpiY;
  ExifResolutionUnit = fresh.ExifResolutionUnit;
  ExifSoftware = fresh.ExifSoftware;
  ExifArtist = fresh.ExifArtist;
  ExifDateTime = fresh.ExifDateTime;
  std::memset(ExifWhitePoint, 0, sizeof ExifWhitePoint);
  std::memset(ExifPrimaryChromaticities, 0, sizeof ExifPrimaryChromaticities);
  std::memset(ExifYCbCrCoefficients, 0, sizeof ExifYCbCrCoefficients);
  ExifYCbCrPositioning = 0;
  std::memset(ExifReferenceBlackWhite, 0, sizeof ExifReferenceBlackWhite);
  IECopyEXIFValues(fresh, *this);
  ExifMakerNote->Clear();
  IECopyGPSValues(fresh, *this);

  for (Integer i = 0; i < JpegMarkerList->Count(); ++i)
    if (JpegMarkerList->MarkerType(i) == 0xE1 &&
        IEIsEXIFBlock(JpegMarkerList->MarkerData(i), JpegMarkerList->MarkerLength(i))) {
      JpegMarkerList->DeleteMarker(i);
      break;
    }
}

void TIOParamsVals::ResetInfo() {
  IptcInfo->Clear();
  FreeImagingAnnot();
  JpegMarkerList->Clear();
  ResetEXIF();
  GifComments->Clear();
  DicomTags->Clear();
  PngTextKeys->Clear();
  PngTextValues->Clear();
  TiffDocumentName.clear();
  TiffImageDescription.clear();
  TiffPageName.clear();
  TgaDescriptor.clear();
  TgaAuthor.clear();
  TgaImageName.clear();
  PxmComments->Clear();
  XMP.clear();
  FreeAndNil(EmbeddedICCProfile);
}

void TIOParamsVals::Assign(const TIOParamsVals* Source) {
  if (!Source || Source == this) return;
  // Every plain value is copied as it is, so each page index, both orientations and both
  // thumbnail flags equal Source's; only the pixel-format choice stays the destination's.
  bool native = NativePixelFormat;
  static_cast<TIOParamsValues&>(*this) = static_cast<const TIOParamsValues&>(*Source);
  NativePixelFormat = native;
  // The DPI goes through the setters so that the owner's view follows.
  SetDpiX(Source->DpiX);
  SetDpiY(Source->DpiY);
  ExifXResolution = Source->ExifXResolution;
  ExifYResolution = Source->ExifYResolution;

  std::free(ColorMap);
  ColorMap = nullptr;
  if (Source->ColorMap && Source->ColorMapCount > 0) {
    size_t bytes = sizeof(TRGB) * static_cast<size_t>(Source->ColorMapCount);
    ColorMap = static_cast<TRGB*>(std::malloc(bytes));
    if (!ColorMap) throw EOutOfMemory("Out of memory");
    std::memcpy(ColorMap, Source->ColorMap, bytes);
  } else {
    ColorMapCount = 0;
  }

  GifComments->Assign(Source->GifComments);
  PngTextKeys->Assign(Source->PngTextKeys);
  PngTextValues->Assign(Source->PngTextValues);
  PxmComments->Assign(Source->PxmComments);
  JpegMarkerList->Assign(Source->JpegMarkerList);
  IptcInfo->Assign(Source->IptcInfo);
  DicomTags->Assign(Source->DicomTags);

  if (Source->ImagingAnnot)
    GetImagingAnnot()->Assign(Source->ImagingAnnot);
  else
    FreeImagingAnnot();
  auto copyProfile = [](TIEICC*& Dest, const TIEICC* From) {
    if (!From) {
      FreeAndNil(Dest);
      return;
    }
    if (!Dest) Dest = new TIEICC;
    Dest->Assign(From);
  };
  copyProfile(EmbeddedICCProfile, Source->EmbeddedICCProfile);
  copyProfile(FallbackICCProfile, Source->FallbackICCProfile);
  // The system profile has no bytes to copy: a copy of it is the system profile again.
  if (Source->SystemICCProfile) {
    if (Source->SystemICCProfile->RawLength() == 0 && Source->SystemICCProfile->IsValid())
      GetSystemICCProfile();
    else
      copyProfile(SystemICCProfile, Source->SystemICCProfile);
  } else {
    FreeAndNil(SystemICCProfile);
  }

  // A thumbnail left from the destination's own image would not belong to the copy.
  if (Source->ExifBitmap && !Source->ExifBitmap->IsEmpty())
    GetExifBitmap()->Assign(Source->ExifBitmap);
  else
    FreeExifBitmap();

  ExifMakerNote->CopyFrom(Source->ExifMakerNote);
}

TIEICC* TIOParamsVals::GetEmbeddedICCProfile() {
  if (!EmbeddedICCProfile) EmbeddedICCProfile = new TIEICC;
  return EmbeddedICCProfile;
}

TIEICC* TIOParamsVals::GetFallbackICCProfile() {
  if (!FallbackICCProfile) FallbackICCProfile = new TIEICC;
  return FallbackICCProfile;
}

TIEICC* TIOParamsVals::GetSystemICCProfile() {
  if (!SystemICCProfile) {
    SystemICCProfile = new TIEICC;
    SystemICCProfile->LoadSystemSRGB();
  }
  return SystemICCProfile;
}

TIEImagingAnnot* TIOParamsVals::GetImagingAnnot() {
  if (!ImagingAnnot) {
    ImagingAnnot = new TIEImagingAnnot;
    ImagingAnnot->Parent = this;
  }
  return ImagingAnnot;
}

TIEBitmap* TIOParamsVals::GetExifBitmap() {
  if (!ExifBitmap) ExifBitmap = new TIEBitmap;
  return ExifBitmap;
}

void TIOParamsVals::SetDpiX(Integer Value) {
  DpiX = Value;
  ExifXResolution = Value;
  if (IO) IO->SetViewDpiX(Value);
}

void TIOParamsVals::SetDpiY(Integer Value) {
  DpiY = Value;
  ExifYResolution = Value;
  if (IO) IO->SetViewDpiY(Value);
}

namespace {
// Truncation toward zero that stays defined for values an int cannot hold.
Integer TruncDpi(double Value) {
  if (!(Value > -2147483648.0 && Value < 2147483648.0)) return 0;
  return static_cast<Integer>(Value);
}
}  // namespace

void TIOParamsVals::SetExifXResolution(double Value) {
  SetDpiX(TruncDpi(Value));
  ExifXResolution = Value;
}

void TIOParamsVals::SetExifYResolution(double Value) {
  SetDpiY(TruncDpi(Value));
  ExifYResolution = Value;
}

void TIOParamsVals::SetImageIndex(Integer Value) {
  ImageIndex = TiffImageIndex = DcxImageIndex = GifImageIndex = IcoImageIndex = CurImageIndex = Value;
}

void TIOParamsVals::SetImageCount(Integer Value) { ImageCount = TiffImageCount = AviFrameCount = GifImageCount = Value; }

void TIOParamsVals::SetGetExifThumbnail(bool Value) { GetExifThumbnail = JpegGetExifThumbnail = Value; }

void TIOParamsVals::SetRawGetExifThumbnail(bool Value) { RawGetExifThumbnail = Value; }

void TIOParamsVals::SetTiffOrientation(Integer Value) { TiffOrientation = ExifOrientation = Value; }

void TIOParamsVals::SetExifOrientation(Integer Value) { ExifOrientation = TiffOrientation = Value; }
