#include "imaging/core/ie_exif.h"

#include "imaging/core/ie_orientation.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_stream_classes.h"
#include "imaging/core/ie_tags_handler.h"
#include "platform/rtl/exceptions.h"
#include "imaging/core/ie_streams.h"
#include "platform/rtl/streams.h"

TIEExifTiffCodec IEExifTiffCodec;

namespace {

const Byte kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr Int64 kTIFFHeaderSearch = 131072;

}  // namespace

bool IEIsEXIFBlock(const void* Data, Integer Length) {
  return Data && Length >= 6 && std::memcmp(Data, kExifHeader, 5) == 0;
}

void IECopyEXIFValues(const TIOParamsValues& S, TIOParamsValues& D) {
  D.ExifResolutionUnit = S.ExifResolutionUnit;
  D.ExifSoftware = S.ExifSoftware;
  D.ExifRating = S.ExifRating;
  D.ExifXPTitle = S.ExifXPTitle;
  D.ExifXPComment = S.ExifXPComment;
  D.ExifXPAuthor = S.ExifXPAuthor;
  D.ExifXPKeywords = S.ExifXPKeywords;
  D.ExifXPSubject = S.ExifXPSubject;
  D.ExifArtist = S.ExifArtist;
  D.ExifDateTime = S.ExifDateTime;
  std::memcpy(D.ExifWhitePoint, S.ExifWhitePoint, sizeof D.ExifWhitePoint);
  std::memcpy(D.ExifPrimaryChromaticities, S.ExifPrimaryChromaticities, sizeof D.ExifPrimaryChromaticities);
  std::memcpy(D.ExifYCbCrCoefficients, S.ExifYCbCrCoefficients, sizeof D.ExifYCbCrCoefficients);
  D.ExifYCbCrPositioning = S.ExifYCbCrPositioning;
  std::memcpy(D.ExifReferenceBlackWhite, S.ExifReferenceBlackWhite, sizeof D.ExifReferenceBlackWhite);
  D.ExifCopyright = S.ExifCopyright;
  D.ExifExposureTime = S.ExifExposureTime;
  D.ExifFNumber = S.ExifFNumber;
  D.ExifExposureProgram = S.ExifExposureProgram;
  std::memcpy(D.ExifISOSpeedRatings, S.ExifISOSpeedRatings, sizeof D.ExifISOSpeedRatings);
  D.ExifExifVersion = S.ExifExifVersion;
  D.ExifDateTimeOriginal = S.ExifDateTimeOriginal;
  D.ExifDateTimeDigitized = S.ExifDateTimeDigitized;
  D.ExifCompressedBitsPerPixel = S.ExifCompressedBitsPerPixel;
  D.ExifShutterSpeedValue = S.ExifShutterSpeedValue;
  D.ExifApertureValue = S.ExifApertureValue;
  D.ExifBrightnessValue = S.ExifBrightnessValue;
  D.ExifExposureBiasValue = S.ExifExposureBiasValue;
  D.ExifMaxApertureValue = S.ExifMaxApertureValue;
  D.ExifSubjectDistance = S.ExifSubjectDistance;
  D.ExifMeteringMode = S.ExifMeteringMode;
  D.ExifLightSource = S.ExifLightSource;
  D.ExifFlash = S.ExifFlash;
  D.ExifFocalLength = S.ExifFocalLength;
  D.ExifSubsecTime = S.ExifSubsecTime;
  D.ExifSubsecTimeOriginal = S.ExifSubsecTimeOriginal;
  D.ExifSubsecTimeDigitized = S.ExifSubsecTimeDigitized;
  D.ExifFlashPixVersion = S.ExifFlashPixVersion;
  D.ExifColorSpace = S.ExifColorSpace;
  D.ExifExifImageWidth = S.ExifExifImageWidth;
  D.ExifExifImageHeight = S.ExifExifImageHeight;
  D.ExifRelatedSoundFile = S.ExifRelatedSoundFile;
  D.ExifFocalPlaneXResolution = S.ExifFocalPlaneXResolution;
  D.ExifFocalPlaneYResolution = S.ExifFocalPlaneYResolution;
  D.ExifFocalPlaneResolutionUnit = S.ExifFocalPlaneResolutionUnit;
  D.ExifExposureIndex = S.ExifExposureIndex;
  D.ExifSensingMethod = S.ExifSensingMethod;
  D.ExifFileSource = S.ExifFileSource;
  D.ExifSceneType = S.ExifSceneType;
  D.ExifUserComment = S.ExifUserComment;
  D.ExifUserCommentCode = S.ExifUserCommentCode;
  D.ExifExposureMode = S.ExifExposureMode;
  D.ExifWhiteBalance = S.ExifWhiteBalance;
  D.ExifDigitalZoomRatio = S.ExifDigitalZoomRatio;
  D.ExifFocalLengthIn35mmFilm = S.ExifFocalLengthIn35mmFilm;
  D.ExifSceneCaptureType = S.ExifSceneCaptureType;
  D.ExifGainControl = S.ExifGainControl;
  D.ExifContrast = S.ExifContrast;
  D.ExifSaturation = S.ExifSaturation;
  D.ExifSharpness = S.ExifSharpness;
  D.ExifSubjectDistanceRange = S.ExifSubjectDistanceRange;
  D.ExifImageUniqueID = S.ExifImageUniqueID;
}

void IECopyGPSValues(const TIOParamsValues& S, TIOParamsValues& D) {
  D.GpsVersionID = S.GpsVersionID;
  D.GpsLatitudeRef = S.GpsLatitudeRef;
  D.GpsLatitudeDegrees = S.GpsLatitudeDegrees;
  D.GpsLatitudeMinutes = S.GpsLatitudeMinutes;
  D.GpsLatitudeSeconds = S.GpsLatitudeSeconds;
  D.GpsLongitudeRef = S.GpsLongitudeRef;
  D.GpsLongitudeDegrees = S.GpsLongitudeDegrees;
  D.GpsLongitudeMinutes = S.GpsLongitudeMinutes;
  D.GpsLongitudeSeconds = S.GpsLongitudeSeconds;
  D.GpsAltitudeRef = S.GpsAltitudeRef;
  D.GpsAltitude = S.GpsAltitude;
  D.GpsTimeStampHour = S.GpsTimeStampHour;
  D.GpsTimeStampMinute = S.GpsTimeStampMinute;
  D.GpsTimeStampSecond = S.GpsTimeStampSecond;
  D.GpsSatellites = S.GpsSatellites;
  D.GpsStatus = S.GpsStatus;
  D.GpsMeasureMode = S.GpsMeasureMode;
  D.GpsDOP = S.GpsDOP;
  D.GpsSpeedRef = S.GpsSpeedRef;
  D.GpsSpeed = S.GpsSpeed;
  D.GpsTrackRef = S.GpsTrackRef;
  D.GpsTrack = S.GpsTrack;
  D.GpsImgDirectionRef = S.GpsImgDirectionRef;
  D.GpsImgDirection = S.GpsImgDirection;
  D.GpsMapDatum = S.GpsMapDatum;
  D.GpsDestLatitudeRef = S.GpsDestLatitudeRef;
  D.GpsDestLatitudeDegrees = S.GpsDestLatitudeDegrees;
  D.GpsDestLatitudeMinutes = S.GpsDestLatitudeMinutes;
  D.GpsDestLatitudeSeconds = S.GpsDestLatitudeSeconds;
  D.GpsDestLongitudeRef = S.GpsDestLongitudeRef;
  D.GpsDestLongitudeDegrees = S.GpsDestLongitudeDegrees;
  D.GpsDestLongitudeMinutes = S.GpsDestLongitudeMinutes;
  D.GpsDestLongitudeSeconds = S.GpsDestLongitudeSeconds;
  D.GpsDestBearingRef = S.GpsDestBearingRef;
  D.GpsDestBearing = S.GpsDestBearing;
  D.GpsDestDistanceRef = S.GpsDestDistanceRef;
  D.GpsDestDistance = S.GpsDestDistance;
  D.GpsDateStamp = S.GpsDateStamp;
}

void IECopyEXIF(TIOParamsVals* Source, TIOParamsVals* Dest) {
  if (!Source || !Dest || Source == Dest) return;
  // The TIFF codec reads tag 270 into the TIFF description.
  Dest->ExifImageDescription = Source->TiffImageDescription;
  Dest->ExifMake = Source->ExifMake;
  Dest->ExifModel = Source->ExifModel;
  Dest->SetExifOrientation(Source->ExifOrientation);
  Dest->SetExifXResolution(Source->ExifXResolution);
  Dest->SetExifYResolution(Source->ExifYResolution);
  IECopyEXIFValues(*Source, *Dest);
  Dest->ExifMakerNote->CopyFrom(Source->ExifMakerNote);
  IECopyGPSValues(*Source, *Dest);
}

bool IELoadEXIFFromBuffer(const void* Data, Integer Length, TIOParamsVals* Params) {
  if (!IEIsEXIFBlock(Data, Length) || !Params || !IEExifTiffCodec.CanRead()) return false;
  TIOParamsVals scratch(Params->IO);
  TIEMemStream stream(static_cast<const Byte*>(Data) + 6, Length - 6);
  // A block whose tags cannot be read is refused whole: the record keeps what it had.
  bool ok;
  try {
    ok = IEExifTiffCodec.Read(nullptr, &stream, &scratch, true, false);
  } catch (const Exception&) {
    ok = false;
  }
  if (!ok) return false;
  TIEBitmap* thumb = Params->GetExifBitmap();
  thumb->FreeImage(true);
  IECopyEXIF(&scratch, Params);
  Params->ExifHasEXIFData = true;
  scratch.SetImageIndex(1);
  stream.SetPosition(0);
  try {
    // A damaged or missing thumbnail leaves the thumbnail empty; the tags stay read.
    if (!IEExifTiffCodec.Read(thumb, &stream, &scratch, false, true)) thumb->FreeImage(true);
  } catch (const Exception&) {
    thumb->FreeImage(true);
  }
  if (!thumb->IsEmpty()) IEApplyExifOrientation(thumb, Params->TiffOrientation);
  return true;
}

void IESaveEXIFToBuffer(TIOParamsVals* Params, void*& Buffer, Integer& Length) {
  Buffer = nullptr;
  Length = 0;
  if (!Params || !IEExifTiffCodec.Write) return;
  TMemoryStream stream;
  if (!IEExifTiffCodec.Write(&stream, false, nullptr, Params)) return;
  if (Params->ExifBitmap && !Params->ExifBitmap->IsEmpty()) {
    TIOParamsVals scratch(nullptr);
    scratch.SetImageIndex(1);
    scratch.TiffCompression = 6;
    // An append reads the file from its start to find where the new page links in.
    stream.SetPosition(0);
    if (!IEExifTiffCodec.Write(&stream, true, Params->ExifBitmap, &scratch)) return;
  }
  Int64 size = stream.Size();
  if (size <= 0 || size > 0x7FFFFFFF - 6) return;
  Byte* block = static_cast<Byte*>(std::malloc(static_cast<size_t>(size) + 6));
  if (!block) throw EOutOfMemory("Out of memory");
  std::memcpy(block, kExifHeader, 6);
  std::memcpy(block + 6, stream.Memory(), static_cast<size_t>(size));
  Buffer = block;
  Length = static_cast<Integer>(size + 6);
}

Int64 IEFindTIFFHeader(TStream* Stream) {
  TIEStreamPositionKeeper keep(Stream);
  std::vector<Byte> buf(kTIFFHeaderSearch);
  Integer got = Stream->Read(buf.data(), static_cast<Integer>(buf.size()));
  Int64 streamSize = Stream->Size();
  for (Integer i = 0; i + 8 <= got; ++i) {
    const Byte* p = buf.data() + i;
    bool little = p[0] == 'I' && p[1] == 'I';
    bool big = p[0] == 'M' && p[1] == 'M';
    if (!little && !big) continue;
    UInt64 magic = little ? (p[2] | (p[3] << 8)) : ((p[2] << 8) | p[3]);
    UInt64 offset = little ? (UInt64(p[4]) | (UInt64(p[5]) << 8) | (UInt64(p[6]) << 16) | (UInt64(p[7]) << 24))
                           : ((UInt64(p[4]) << 24) | (UInt64(p[5]) << 16) | (UInt64(p[6]) << 8) | UInt64(p[7]));
    if (offset < static_cast<UInt64>(streamSize) && (magic == 42 || magic == 0x4F52 || magic == 0x5352)) return i;
  }
  return -1;
}

bool IEReadEXIFFromTIFFStream(TStream* Stream, TIOParamsVals* Params) {
  if (!Stream || !Params || !IEExifTiffCodec.CanRead()) return false;
  TIEStreamPositionKeeper keep(Stream);
  Int64 start = keep.Position();
  TIOParamsVals scratch(Params->IO);
  TIEBitmap a, b;
  try {
    if (!IEExifTiffCodec.Read(nullptr, Stream, &scratch, true, false)) return false;
  } catch (const Exception&) {
    return false;
  }
  TIEBitmap* thumb = Params->GetExifBitmap();
  thumb->FreeImage(true);
  IECopyEXIF(&scratch, Params);
  Params->ExifHasEXIFData = true;
  auto readPage = [&](Integer Page, TIEBitmap& Into) {
    scratch.SetImageIndex(Page);
    Stream->SetPosition(start);
    try {
      if (!IEExifTiffCodec.Read(&Into, Stream, &scratch, false, true)) Into.FreeImage(true);
    } catch (const Exception&) {
      Into.FreeImage(true);
    }
  };
  readPage(0, a);
  readPage(1, b);
  Integer wa = a.IsEmpty() ? 0 : a.GetWidth();
  Integer wb = b.IsEmpty() ? 0 : b.GetWidth();
  if (wa > 0 && (wa < wb || wb == 0) && !a.IsAllZero())
    thumb->Assign(&a);
  else if (wb > 0 && (wb < wa || wa == 0) && !b.IsAllZero())
    thumb->Assign(&b);
  return true;
}

