// The record of everything about one image that is not its pixels: the options each writer
// needs, what a reader found in the file, the metadata carried from file to file and the page a
// reader is asked to load. Every reader fills one and every writer reads one; the I/O component
// owns one.
#pragma once

#include "imaging/core/ie_markers.h"
#include "imaging/core/ie_types.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/lists.h"
#include "platform/rtl/sysutils.h"

class TIEBitmap;
class TIEICC;
class TIEImagingAnnot;
class TIEDICOMTags;
class TIETagsHandler;

// What the record needs of the component that owns it. The I/O component implements it; the
// record only calls up through it, so the core does not depend on the I/O layer.
class TIEParamsOwner {
 public:
  virtual ~TIEParamsOwner() = default;
  // The component's image, or nil when it has none.
  virtual TIEBitmap* GetBitmap() = 0;
  // Passes a resolution on to the attached view, when there is one.
  virtual void SetViewDpiX(Integer Value) = 0;
  virtual void SetViewDpiY(Integer Value) = 0;
};

// The LZW coders are installed library-wide by the I/O unit's start-up and copied into every
// record by SetDefaultParams; the record only carries them, the codecs cast them back.
using TIELZWProcedure = void (*)();
extern TIELZWProcedure IEGlobalGifLZWDecompress;
extern TIELZWProcedure IEGlobalGifLZWCompress;
extern TIELZWProcedure IEGlobalTiffLZWDecompress;
extern TIELZWProcedure IEGlobalTiffLZWCompress;

// The library's default resolution, set at start-up by the view unit; read at every
// SetDefaultParams.
extern Integer IEGlobalDefaultDpiX;
extern Integer IEGlobalDefaultDpiY;

// The plain values of the record: numbers, texts and arrays that a copy takes as they are.
struct TIOParamsValues {
  // --- generic ---
  Integer BitsPerSample = 8;
  WideString FileName;
  Integer SamplesPerPixel = 3;
  Integer Width = 0;
  Integer Height = 0;
  Integer DpiX = 0;  // change through SetDpiX
  Integer DpiY = 0;  // change through SetDpiY
  Integer FileType = 0;
  Integer ImageIndex = 0;
  Integer ImageCount = 0;
  bool GetExifThumbnail = false;
  Integer OriginalWidth = 0;
  Integer OriginalHeight = 0;

  // --- TIFF ---
  Byte TiffCompression = 0;
  Integer TiffImageIndex = 0;
  Integer TiffSubIndex = -1;
  Byte TiffPhotometInterpret = 2;
  Integer TiffPlanarConfig = 1;
  Integer TiffXPos = 0;
  Integer TiffYPos = 0;
  Integer TiffGetTile = -1;
  AnsiString TiffDocumentName;
  AnsiString TiffImageDescription;
  AnsiString TiffPageName;
  Integer TiffPageNumber = -1;
  Integer TiffPageCount = -1;
  Integer TiffOrientation = 1;
  TIELZWProcedure TiffLZWDecompress = nullptr;
  TIELZWProcedure TiffLZWCompress = nullptr;
  bool TiffEnableAdjustOrientation = false;
  Integer TiffJpegQuality = 80;
  Byte TiffJpegColorSpace = 2;
  Integer TiffZipCompression = 1;
  Integer TiffImageCount = 0;
  Integer TiffFillOrder = 1;
  bool TiffByteOrder = true;

  // --- DCX ---
  Integer DcxImageIndex = 0;

  // --- GIF ---
  AnsiString GifVersion = "GIF89a";
  Integer GifImageIndex = 0;
  Integer GifXPos = 0;
  Integer GifYPos = 0;
  Integer GifDelayTime = 0;
  bool GifFlagTranspColor = false;
  TRGB GifTranspColor{0, 0, 0};
  bool GifInterlaced = false;
  Integer GifWinWidth = 0;
  Integer GifWinHeight = 0;
  TRGB GifBackground{0, 0, 0};
  Integer GifRatio = 0;
  Byte GifAction = 2;
  TIELZWProcedure GifLZWDecompress = nullptr;
  TIELZWProcedure GifLZWCompress = nullptr;
  Integer GifImageCount = 0;

  // --- JPEG ---
  Byte JpegColorSpace = 2;
  Integer JpegQuality = 80;
  Byte JpegDCTMethod = 0;
  Byte JpegChromaSubsampling = 1;
  bool JpegOptimalHuffman = false;
  Integer JpegSmooth = 0;
  bool JpegProgressive = false;
  Byte JpegScale = 1;
  Integer JpegScaleUsed = 1;
  Integer JpegWarningCount = 0;
  Integer JpegLastWarning = 0;
  bool JpegEnableAdjustOrientation = false;
  bool JpegGetExifThumbnail = false;

  // --- JPEG 2000 ---
  Byte J2000ColorSpace = 1;
  double J2000Rate = 1.0;
  Byte J2000Progression = 0;

  // --- PCX ---
  Integer PcxVersion = 5;
  Byte PcxCompression = 1;

  // --- BMP ---
  Byte BmpVersion = 1;
  Byte BmpCompression = 0;
  bool BmpHandleTransparency = false;

  // --- icons and cursors ---
  Integer IcoImageIndex = 0;
  TRGB IcoBackground{255, 255, 255};
  Integer CurImageIndex = 0;
  Integer CurXHotSpot = 0;
  Integer CurYHotSpot = 0;
  TRGB CurBackground{255, 255, 255};

  // --- PNG ---
  bool PngInterlaced = false;
  TRGB PngBackground{0, 0, 0};
  Byte PngFilter = 0;
  Integer PngCompression = 5;

  // --- DICOM ---

  // --- Targa ---
  Integer TgaXPos = 0;
  Integer TgaYPos = 0;
  bool TgaCompressed = true;
  AnsiString TgaDescriptor;
  AnsiString TgaAuthor;
  TDateTime TgaDate = 0;
  AnsiString TgaImageName;
  TRGB TgaBackground{0, 0, 0};
  double TgaAspectRatio = 1.0;
  double TgaGamma = 2.2;
  bool TgaGrayscale = false;

  // --- metadata holders ---

  // --- EXIF ---
  bool ExifHasEXIFData = false;
  AnsiString ExifImageDescription;
  AnsiString ExifMake;
  AnsiString ExifModel;
  Integer ExifOrientation = 0;
  double ExifXResolution = 0;
  double ExifYResolution = 0;
  Integer ExifResolutionUnit = 0;
  AnsiString ExifSoftware;
  AnsiString ExifArtist;
  AnsiString ExifDateTime;
  double ExifWhitePoint[2] = {};
  double ExifPrimaryChromaticities[6] = {};
  double ExifYCbCrCoefficients[3] = {};
  Integer ExifYCbCrPositioning = 0;
  double ExifReferenceBlackWhite[6] = {};
  AnsiString ExifCopyright;
  double ExifExposureTime = 0;
  double ExifFNumber = 0;
  Integer ExifExposureProgram = 0;
  Integer ExifISOSpeedRatings[2] = {};
  AnsiString ExifExifVersion;
  AnsiString ExifDateTimeOriginal;
  AnsiString ExifDateTimeDigitized;
  double ExifCompressedBitsPerPixel = 0;
  double ExifShutterSpeedValue = 0;
  double ExifApertureValue = 0;
  double ExifBrightnessValue = 0;
  double ExifExposureBiasValue = 0;
  double ExifMaxApertureValue = 0;
  double ExifSubjectDistance = 0;
  Integer ExifMeteringMode = 0;
  Integer ExifLightSource = 0;
  Integer ExifFlash = 0;
  double ExifFocalLength = 0;
  AnsiString ExifSubsecTime;
  AnsiString ExifSubsecTimeOriginal;
  AnsiString ExifSubsecTimeDigitized;
  AnsiString ExifFlashPixVersion;
  Integer ExifColorSpace = 0;
  Integer ExifExifImageWidth = 0;
  Integer ExifExifImageHeight = 0;
  AnsiString ExifRelatedSoundFile;
  double ExifFocalPlaneXResolution = 0;
  double ExifFocalPlaneYResolution = 0;
  Integer ExifFocalPlaneResolutionUnit = 0;
  double ExifExposureIndex = 0;
  Integer ExifSensingMethod = 0;
  Integer ExifFileSource = 0;
  Integer ExifSceneType = 0;
  AnsiString ExifUserComment;
  AnsiString ExifUserCommentCode;
  Integer ExifRating = -1;
  WideString ExifXPTitle;
  WideString ExifXPComment;
  WideString ExifXPAuthor;
  WideString ExifXPKeywords;
  WideString ExifXPSubject;
  Integer ExifExposureMode = -1;
  Integer ExifWhiteBalance = -1;
  double ExifDigitalZoomRatio = -1.0;
  Integer ExifFocalLengthIn35mmFilm = -1;
  Integer ExifSceneCaptureType = -1;
  Integer ExifGainControl = -1;
  Integer ExifContrast = -1;
  Integer ExifSaturation = -1;
  Integer ExifSharpness = -1;
  Integer ExifSubjectDistanceRange = -1;
  AnsiString ExifImageUniqueID;

  // --- GPS ---
  AnsiString GpsVersionID;
  AnsiString GpsLatitudeRef;
  double GpsLatitudeDegrees = 0, GpsLatitudeMinutes = 0, GpsLatitudeSeconds = 0;
  AnsiString GpsLongitudeRef;
  double GpsLongitudeDegrees = 0, GpsLongitudeMinutes = 0, GpsLongitudeSeconds = 0;
  AnsiString GpsAltitudeRef;
  double GpsAltitude = 0;
  double GpsTimeStampHour = 0, GpsTimeStampMinute = 0, GpsTimeStampSecond = 0;
  AnsiString GpsSatellites;
  AnsiString GpsStatus;
  AnsiString GpsMeasureMode;
  double GpsDOP = 0;
  AnsiString GpsSpeedRef;
  double GpsSpeed = 0;
  AnsiString GpsTrackRef;
  double GpsTrack = 0;
  AnsiString GpsImgDirectionRef;
  double GpsImgDirection = 0;
  AnsiString GpsMapDatum;
  AnsiString GpsDestLatitudeRef;
  double GpsDestLatitudeDegrees = 0, GpsDestLatitudeMinutes = 0, GpsDestLatitudeSeconds = 0;
  AnsiString GpsDestLongitudeRef;
  double GpsDestLongitudeDegrees = 0, GpsDestLongitudeMinutes = 0, GpsDestLongitudeSeconds = 0;
  AnsiString GpsDestBearingRef;
  double GpsDestBearing = 0;
  AnsiString GpsDestDistanceRef;
  double GpsDestDistance = 0;
  AnsiString GpsDateStamp;

  // --- video, page description, raw ---
  Integer AviFrameCount = 0;
  Integer AviFrameDelayTime = 0;
  Integer PsPaperWidth = 595;
  Integer PsPaperHeight = 842;
  Byte PsCompression = 1;
  AnsiString PsTitle = "No Title";
  Integer PdfPaperWidth = 595;
  Integer PdfPaperHeight = 842;
  Byte PdfCompression = 2;
  AnsiString PdfTitle;
  AnsiString PdfAuthor;
  AnsiString PdfSubject;
  AnsiString PdfKeywords;
  AnsiString PdfCreator;
  AnsiString PdfProducer;
  bool RawHalfSize = false;
  double RawGamma = 0.6;
  double RawBrightness = 1.0;
  double RawRedScale = 1.0;
  double RawBlueScale = 1.0;
  bool RawQuickInterpolate = true;
  bool RawAutoWB = false;
  bool RawCameraWB = false;
  bool RawFourColorRGB = false;
  AnsiString RawCamera;
  bool RawGetExifThumbnail = false;
  bool RawMatchExifThumbnail = false;
  bool BmpRawStoredBGR = false;
  Byte BmpRawPlanar = 0;
  Integer BmpRawRowAlign = 8;
  Integer BmpRawHeaderSize = 0;
  bool PsdLoadLayers = false;
  bool PsdReplaceLayers = true;

  // --- trailing ---
  AnsiString XMP;
  bool NativePixelFormat = false;
  Integer ColorMapCount = 0;
  Integer IcoSizes[16][2] = {};
  Integer IcoBitCount[16] = {};

};

class TIOParamsVals : public TObject, public TIOParamsValues {
 public:
  explicit TIOParamsVals(TIEParamsOwner* IO);
  ~TIOParamsVals() override;
  TIOParamsVals(const TIOParamsVals&) = delete;
  TIOParamsVals& operator=(const TIOParamsVals&) = delete;
  AnsiString ClassName() const override { return "TIOParamsVals"; }

  // --- owned objects and references (the record copies these by their own rules) ---
  TIEParamsOwner* IO = nullptr;
  TStringList* GifComments = nullptr;
  TIEMarkerList* JpegMarkerList = nullptr;
  TStringList* PngTextKeys = nullptr;
  TStringList* PngTextValues = nullptr;
  TIEDICOMTags* DicomTags = nullptr;
  TIEIPTCInfoList* IptcInfo = nullptr;
  TIEImagingAnnot* ImagingAnnot = nullptr;  // made on first use: GetImagingAnnot
  TStringList* PxmComments = nullptr;
  TIEBitmap* ExifBitmap = nullptr;  // the EXIF thumbnail, made when needed
  TIETagsHandler* ExifMakerNote = nullptr;
  TRGB* ColorMap = nullptr;  // std::malloc'd block of ColorMapCount entries
  TIEICC* EmbeddedICCProfile = nullptr;  // made on first use: GetEmbeddedICCProfile
  TIEICC* SystemICCProfile = nullptr;    // made on first use: GetSystemICCProfile
  TIEICC* FallbackICCProfile = nullptr;  // made on first use: GetFallbackICCProfile

  // --- operations ---
  void SetDefaultParams();
  void ResetInfo();
  void ResetEXIF();
  void Assign(const TIOParamsVals* Source);

  TIEICC* GetEmbeddedICCProfile();
  TIEICC* GetFallbackICCProfile();
  TIEICC* GetSystemICCProfile();
  TIEImagingAnnot* GetImagingAnnot();
  // Made on first use, like the profiles; SetDefaultParams leaves it alone, ResetEXIF frees it.
  TIEBitmap* GetExifBitmap();

  void SetDpiX(Integer Value);
  void SetDpiY(Integer Value);
  void SetExifXResolution(double Value);
  void SetExifYResolution(double Value);
  void SetImageIndex(Integer Value);
  void SetImageCount(Integer Value);
  void SetGetExifThumbnail(bool Value);
  void SetRawGetExifThumbnail(bool Value);
  void SetTiffOrientation(Integer Value);
  void SetExifOrientation(Integer Value);

  // No range check: callers pass indexes inside the arrays.
  Integer GetExifISOSpeedRatings(Integer Index) const { return ExifISOSpeedRatings[Index]; }
  void SetExifISOSpeedRatings(Integer Index, Integer Value) { ExifISOSpeedRatings[Index] = Value; }
  double GetExifReferenceBlackWhite(Integer Index) const { return ExifReferenceBlackWhite[Index]; }
  void SetExifReferenceBlackWhite(Integer Index, double Value) { ExifReferenceBlackWhite[Index] = Value; }
  double GetExifWhitePoint(Integer Index) const { return ExifWhitePoint[Index]; }
  void SetExifWhitePoint(Integer Index, double Value) { ExifWhitePoint[Index] = Value; }
  double GetExifPrimaryChromaticities(Integer Index) const { return ExifPrimaryChromaticities[Index]; }
  void SetExifPrimaryChromaticities(Integer Index, double Value) { ExifPrimaryChromaticities[Index] = Value; }
  double GetExifYCbCrCoefficients(Integer Index) const { return ExifYCbCrCoefficients[Index]; }
  void SetExifYCbCrCoefficients(Integer Index, double Value) { ExifYCbCrCoefficients[Index] = Value; }

 private:
  void FreeColorMap();
  void FreeProfiles();
  void FreeImagingAnnot();
  void FreeExifBitmap();
};
