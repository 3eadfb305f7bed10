#include "imaging/formats/tiff/ie_exif_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "imaging/core/ie_tags_handler.h"
#include "imaging/formats/ie_le_bytes.h"
#include "imaging/core/ie_mask.h"

namespace {

constexpr double kRationalLimit = 2147483640.0;

// Sizes of the TIFF field types 0 .. 12.
const Integer kTypeSizes[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};

// A rational of Value, signed or not; negative values have no unsigned form and give 0.
std::vector<DWORD> Rational(double Value, bool Signed) {
  if (!Signed && Value < 0) Value = 0;
  Integer den = 1000000;
  const Integer num = TIFFRationalFromFloat(den, Value);
  return {static_cast<DWORD>(num), static_cast<DWORD>(den)};
}

void AddRationalValue(TTIFFTagList& L, Word Tag, double Value, bool Signed = false) {
  L.AddRationals(Tag, Rational(Value, Signed), Signed);
}

// Several rationals; nothing when every value is 0 (the record holds none).
void AddRationalArray(TTIFFTagList& L, Word Tag, const double* Values, Integer Count) {
  bool any = false;
  for (Integer i = 0; i < Count; ++i) any |= Values[i] != 0;
  if (!any) return;
  std::vector<DWORD> pairs;
  for (Integer i = 0; i < Count; ++i) {
    const std::vector<DWORD> r = Rational(Values[i], false);
    pairs.insert(pairs.end(), r.begin(), r.end());
  }
  L.AddRationals(Tag, pairs);
}

void AddNonZeroRational(TTIFFTagList& L, Word Tag, double Value, bool Signed = false) {
  if (Value != 0) AddRationalValue(L, Tag, Value, Signed);
}

void AddNonZeroShort(TTIFFTagList& L, Word Tag, Integer Value) {
  if (Value > 0 && Value <= 65535) L.AddShort(Tag, static_cast<Word>(Value));
}

void AddSetShort(TTIFFTagList& L, Word Tag, Integer Value) {
  if (Value >= 0 && Value <= 65535) L.AddShort(Tag, static_cast<Word>(Value));
}

// A resolution as a whole number of dots: 118.11 dots a centimetre read as 299.9994 dots an inch
// is meant as 300, not 299.
DWORD WholeResolution(double Value) {
  if (!(Value > 0)) return 0;
  if (Value > 4294967295.0) return 0xFFFFFFFF;
  return static_cast<DWORD>(std::lround(Value));
}

// Four bytes of an UNDEFINED version field ("0220"); nothing for an empty text.
void AddVersion(TTIFFTagList& L, Word Tag, const AnsiString& Text) {
  if (Text.empty()) return;
  Byte b[4] = {'0', '0', '0', '0'};
  std::memcpy(b, Text.data(), Text.size() < 4 ? Text.size() : 4);
  L.AddBytes(Tag, tftUndefined, b, 4);
}

// A reference letter of the GPS directory ("N", "E", "K"...): ASCII with its terminating zero,
// however long, so that the count and the bytes agree; nothing when the record has none.
void AddReference(TTIFFTagList& L, Word Tag, const AnsiString& Text) { L.AddAscii(Tag, Text); }

void AddTriple(TTIFFTagList& L, Word Tag, double A, double B, double C) {
  const double v[3] = {A, B, C};
  std::vector<DWORD> pairs;
  for (double x : v) {
    const std::vector<DWORD> r = Rational(x, false);
    pairs.insert(pairs.end(), r.begin(), r.end());
  }
  L.AddRationals(Tag, pairs);
}

// Writes a sub-directory's list at the next even position; answers its offset.
DWORD WriteSubDirectory(TTIFFTagList& Sub) { return Sub.WriteDirectory(0); }

}  // namespace

Integer TIFFRationalFromFloat(Integer& Denominator, double Value) {
  Denominator = 1000000;
  if (!std::isfinite(Value)) {
    Denominator = 1;
    return 0;
  }
  while (Denominator > 1 && std::fabs(Value * Denominator) > kRationalLimit) Denominator /= 10;
  const double n = std::round(Value * Denominator);
  if (n > kRationalLimit) return static_cast<Integer>(kRationalLimit);
  if (n < -kRationalLimit) return -static_cast<Integer>(kRationalLimit);
  return static_cast<Integer>(n);
}

std::vector<Byte> IEDottedTextToBytes(const AnsiString& Text) {
  std::vector<Byte> out;
  size_t start = 0;
  while (start <= Text.size()) {
    size_t dot = Text.find('.', start);
    if (dot == AnsiString::npos) dot = Text.size();
    const AnsiString part = Text.substr(start, dot - start);
    char* end = nullptr;
    const long v = std::strtol(part.c_str(), &end, 10);
    out.push_back(!part.empty() && end && *end == 0 && v >= 0 && v <= 255 ? static_cast<Byte>(v) : 0);
    start = dot + 1;
  }
  return out;
}

void TIFFAddMakerNote(TTIFFTagList& List, TStream* Stream, Word Tag, Integer MaxSize, bool& Aborting,
                      TIETagsHandler* Handler) {
  if (!Handler) return;
  TMemoryStream* src = Handler->Stream();
  const Int64 srcSize = src->Size();
  if (srcSize < 12) return;
  const Byte* s = static_cast<const Byte*>(src->Memory());
  const bool le = Handler->LittleEndian;
  auto get16 = [&](const Byte* p) -> Word { return le ? IEGetLE16(p) : Word(p[0] << 8 | p[1]); };
  auto get32 = [&](const Byte* p) -> DWORD {
    return le ? IEGetLE32(p) : DWORD(p[0]) << 24 | DWORD(p[1]) << 16 | DWORD(p[2]) << 8 | DWORD(p[3]);
  };
  const Integer n = get16(s);
  if (2 + Int64(n) * 12 > srcSize) return;
  struct TKept {
    Word Tag, Type;
    DWORD Count;
    const Byte* Data;  // the value's bytes in the handler's order
    Int64 Size;
  };
  std::vector<TKept> kept;
  for (Integer i = 0; i < n; ++i) {
    const Byte* e = s + 2 + 12 * i;
    TKept k{get16(e), get16(e + 2), get32(e + 4), e + 8, 0};
    if (k.Type == 0 || k.Type > 12) continue;
    k.Size = Int64(k.Count) * kTypeSizes[k.Type];
    if (k.Size >= MaxSize) continue;
    if (k.Size > 4) {
      // Data outside the handler's bytes cannot be carried over: the entry is left out.
      const Int64 off = get32(e + 8);
      if (off + k.Size > srcSize) continue;
      k.Data = s + off;
    }
    kept.push_back(k);
  }
  if (kept.empty()) return;
  List.Align();
  const DWORD at = List.Offset();
  std::vector<Byte> block(2 + 12 * kept.size() + 4, 0);
  IEPutLE16(block.data(), static_cast<Integer>(kept.size()));
  for (size_t i = 0; i < kept.size(); ++i) {
    const TKept& k = kept[i];
    const Integer unit = kTypeSizes[k.Type];
    const Integer item = (k.Type == 5 || k.Type == 10) ? 4 : unit;  // rationals: two longs
    // The block is little-endian like the file: a big-endian note's numbers are turned round.
    auto put = [&](Byte* dest) {
      for (Int64 j = 0; j + item <= k.Size; j += item)
        for (Integer b = 0; b < item; ++b) dest[j + b] = k.Data[j + (le ? b : item - 1 - b)];
    };
    Byte* e = &block[2 + 12 * i];
    IEPutLE16(e, k.Tag);
    IEPutLE16(e + 2, k.Type);
    IEPutLE32(e + 4, k.Count);
    if (k.Size > 4) {
      const size_t where = block.size();
      block.resize(where + static_cast<size_t>((k.Size + 1) & ~Int64(1)), 0);
      e = &block[2 + 12 * i];
      put(&block[where]);
      IEPutLE32(e + 8, at + static_cast<DWORD>(where));
    } else {
      put(e + 8);
    }
  }
  IESafeStreamWrite(Stream, Aborting, block.data(), static_cast<Integer>(block.size()));
  List.AddAt(Tag, tftUndefined, static_cast<DWORD>(block.size()), at);
}

void TIFFWriteEXIFTags(TTIFFTagList& List, TStream* Stream, TIOParamsVals& P, bool& Aborting, bool ForJpeg) {
  List.AddAscii(270, P.ExifImageDescription);
  // The resolution is required; an unknown one is EXIF's default of 72 dots an inch.
  const double xres = P.ExifXResolution > 0 ? P.ExifXResolution : P.DpiX > 0 ? P.DpiX : 72;
  const double yres = P.ExifYResolution > 0 ? P.ExifYResolution : P.DpiY > 0 ? P.DpiY : 72;
  List.AddRational(282, std::max<DWORD>(WholeResolution(xres), 1), 1);
  List.AddRational(283, std::max<DWORD>(WholeResolution(yres), 1), 1);
  if (P.TiffOrientation >= 1 && P.TiffOrientation <= 8) List.AddShort(274, static_cast<Word>(P.TiffOrientation));
  List.AddShort(296, 2);
  List.AddAscii(305, P.ExifSoftware);
  AddSetShort(List, 18246, P.ExifRating);
  List.AddWideBytes(40091, P.ExifXPTitle);
  List.AddWideBytes(40092, P.ExifXPComment);
  List.AddWideBytes(40093, P.ExifXPAuthor);
  List.AddWideBytes(40094, P.ExifXPKeywords);
  List.AddWideBytes(40095, P.ExifXPSubject);
  List.AddAscii(315, P.ExifArtist);
  List.AddAscii(271, P.ExifMake);
  List.AddAscii(272, P.ExifModel);
  List.AddAscii(306, P.ExifDateTime);
  AddRationalArray(List, 318, P.ExifWhitePoint, 2);
  // JPEG's chroma samples are centred unless the record says otherwise.
  if (P.ExifYCbCrPositioning == 1 || P.ExifYCbCrPositioning == 2) List.AddShort(531, static_cast<Word>(P.ExifYCbCrPositioning));
  else if (ForJpeg) List.AddShort(531, 1);
  AddRationalArray(List, 319, P.ExifPrimaryChromaticities, 6);
  AddRationalArray(List, 529, P.ExifYCbCrCoefficients, 3);
  AddRationalArray(List, 532, P.ExifReferenceBlackWhite, 6);
  List.AddAscii(33432, P.ExifCopyright);

  TTIFFTagList exif(Stream, Aborting, List.Base());
  AddNonZeroRational(exif, 33434, P.ExifExposureTime);
  AddNonZeroRational(exif, 33437, P.ExifFNumber);
  AddNonZeroShort(exif, 34850, P.ExifExposureProgram);
  if (P.ExifISOSpeedRatings[0] > 0 && P.ExifISOSpeedRatings[0] <= 65535) {
    if (P.ExifISOSpeedRatings[1] > 0 && P.ExifISOSpeedRatings[1] <= 65535)
      exif.AddShortArray(34855, {static_cast<Word>(P.ExifISOSpeedRatings[0]), static_cast<Word>(P.ExifISOSpeedRatings[1])});
    else
      exif.AddShort(34855, static_cast<Word>(P.ExifISOSpeedRatings[0]));
  }
  // The version says which rules the directory follows; a record without one gets 2.2's.
  AddVersion(exif, 36864, P.ExifExifVersion.empty() ? AnsiString("0220") : P.ExifExifVersion);
  exif.AddAscii(36867, P.ExifDateTimeOriginal);
  exif.AddAscii(36868, P.ExifDateTimeDigitized);
  if (ForJpeg) {
    const Byte components[4] = {1, 2, 3, 0};  // Y, Cb, Cr
    exif.AddBytes(37121, tftUndefined, components, 4);
  }
  AddNonZeroRational(exif, 37122, P.ExifCompressedBitsPerPixel);
  // APEX values below 1 (shutter slower than a second, dark scenes, negative bias) are negative:
  // these three are signed.
  AddNonZeroRational(exif, 37377, P.ExifShutterSpeedValue, true);
  AddNonZeroRational(exif, 37378, P.ExifApertureValue);
  AddNonZeroRational(exif, 37379, P.ExifBrightnessValue, true);
  AddNonZeroRational(exif, 37380, P.ExifExposureBiasValue, true);
  AddNonZeroRational(exif, 37381, P.ExifMaxApertureValue);
  AddNonZeroRational(exif, 37382, P.ExifSubjectDistance);
  AddNonZeroShort(exif, 37383, P.ExifMeteringMode);
  AddNonZeroShort(exif, 37384, P.ExifLightSource);
  AddNonZeroShort(exif, 37385, P.ExifFlash);
  AddNonZeroRational(exif, 37386, P.ExifFocalLength);
  if (!P.ExifUserComment.empty() || !P.ExifUserCommentCode.empty()) {
    // The character code is always eight bytes; an unnamed code is ASCII.
    AnsiString code = P.ExifUserCommentCode.empty() ? AnsiString("ASCII", 5) : P.ExifUserCommentCode;
    code.resize(8, '\0');
    const AnsiString text = code + P.ExifUserComment;
    exif.AddBytes(37510, tftUndefined, text.data(), static_cast<DWORD>(text.size()));
  }
  exif.AddAscii(37520, P.ExifSubsecTime);
  exif.AddAscii(37521, P.ExifSubsecTimeOriginal);
  exif.AddAscii(37522, P.ExifSubsecTimeDigitized);
  AddVersion(exif, 40960, P.ExifFlashPixVersion.empty() ? AnsiString("0100") : P.ExifFlashPixVersion);
  // Colour space 1 is sRGB, 65535 uncalibrated; the record's 0 means it does not know, which
  // EXIF, where the tag is required, calls uncalibrated.
  exif.AddShort(40961, P.ExifColorSpace == 1 ? 1 : 65535);
  if (P.ExifExifImageWidth > 0) exif.AddLong(40962, static_cast<DWORD>(P.ExifExifImageWidth));
  if (P.ExifExifImageHeight > 0) exif.AddLong(40963, static_cast<DWORD>(P.ExifExifImageHeight));
  exif.AddAscii(40964, P.ExifRelatedSoundFile);
  AddNonZeroRational(exif, 41486, P.ExifFocalPlaneXResolution);
  AddNonZeroRational(exif, 41487, P.ExifFocalPlaneYResolution);
  AddNonZeroShort(exif, 41488, P.ExifFocalPlaneResolutionUnit);
  AddNonZeroRational(exif, 41493, P.ExifExposureIndex);
  AddNonZeroShort(exif, 41495, P.ExifSensingMethod);
  if (P.ExifFileSource > 0 && P.ExifFileSource <= 255) {
    const Byte b = static_cast<Byte>(P.ExifFileSource);
    exif.AddBytes(41728, tftUndefined, &b, 1);
  }
  if (P.ExifSceneType > 0 && P.ExifSceneType <= 255) {
    const Byte b = static_cast<Byte>(P.ExifSceneType);
    exif.AddBytes(41729, tftUndefined, &b, 1);
  }
  AddSetShort(exif, 41986, P.ExifExposureMode);
  AddSetShort(exif, 41987, P.ExifWhiteBalance);
  if (P.ExifDigitalZoomRatio >= 0) AddRationalValue(exif, 41988, P.ExifDigitalZoomRatio);
  AddSetShort(exif, 41989, P.ExifFocalLengthIn35mmFilm);
  AddSetShort(exif, 41990, P.ExifSceneCaptureType);
  AddSetShort(exif, 41991, P.ExifGainControl);
  AddSetShort(exif, 41992, P.ExifContrast);
  AddSetShort(exif, 41993, P.ExifSaturation);
  AddSetShort(exif, 41994, P.ExifSharpness);
  AddSetShort(exif, 41996, P.ExifSubjectDistanceRange);
  exif.AddAscii(42016, P.ExifImageUniqueID);
  TIFFAddMakerNote(exif, Stream, 37500, 1024, Aborting, P.ExifMakerNote);
  List.AddLong(34665, WriteSubDirectory(exif));
  if (!P.GpsVersionID.empty()) TIFFWriteGPSIFD(List, Stream, P, Aborting);
}

void TIFFWriteGPSIFD(TTIFFTagList& List, TStream* Stream, TIOParamsVals& P, bool& Aborting) {
  TTIFFTagList gps(Stream, Aborting, List.Base());
  std::vector<Byte> version = IEDottedTextToBytes(P.GpsVersionID);
  version.resize(4, 0);
  gps.AddBytes(0, tftByte, version.data(), 4);
  auto any = [](double a, double b, double c) { return a != 0 || b != 0 || c != 0; };
  AddReference(gps, 1, P.GpsLatitudeRef);
  if (!P.GpsLatitudeRef.empty() || any(P.GpsLatitudeDegrees, P.GpsLatitudeMinutes, P.GpsLatitudeSeconds))
    AddTriple(gps, 2, P.GpsLatitudeDegrees, P.GpsLatitudeMinutes, P.GpsLatitudeSeconds);
  AddReference(gps, 3, P.GpsLongitudeRef);
  if (!P.GpsLongitudeRef.empty() || any(P.GpsLongitudeDegrees, P.GpsLongitudeMinutes, P.GpsLongitudeSeconds))
    AddTriple(gps, 4, P.GpsLongitudeDegrees, P.GpsLongitudeMinutes, P.GpsLongitudeSeconds);
  if (!P.GpsAltitudeRef.empty()) {
    char* end = nullptr;
    const long v = std::strtol(P.GpsAltitudeRef.c_str(), &end, 10);
    gps.AddByte(5, end && *end == 0 && v >= 0 && v <= 255 ? static_cast<Byte>(v) : 0);
  }
  if (!P.GpsAltitudeRef.empty() || P.GpsAltitude != 0) AddRationalValue(gps, 6, P.GpsAltitude);
  if (!P.GpsDateStamp.empty() || any(P.GpsTimeStampHour, P.GpsTimeStampMinute, P.GpsTimeStampSecond))
    AddTriple(gps, 7, P.GpsTimeStampHour, P.GpsTimeStampMinute, P.GpsTimeStampSecond);
  gps.AddAscii(8, P.GpsSatellites);
  AddReference(gps, 9, P.GpsStatus);
  AddReference(gps, 10, P.GpsMeasureMode);
  AddNonZeroRational(gps, 11, P.GpsDOP);
  AddReference(gps, 12, P.GpsSpeedRef);
  if (!P.GpsSpeedRef.empty() || P.GpsSpeed != 0) AddRationalValue(gps, 13, P.GpsSpeed);
  AddReference(gps, 14, P.GpsTrackRef);
  if (!P.GpsTrackRef.empty() || P.GpsTrack != 0) AddRationalValue(gps, 15, P.GpsTrack);
  AddReference(gps, 16, P.GpsImgDirectionRef);
  if (!P.GpsImgDirectionRef.empty() || P.GpsImgDirection != 0) AddRationalValue(gps, 17, P.GpsImgDirection);
  gps.AddAscii(18, P.GpsMapDatum);
  AddReference(gps, 19, P.GpsDestLatitudeRef);
  if (!P.GpsDestLatitudeRef.empty() ||
      any(P.GpsDestLatitudeDegrees, P.GpsDestLatitudeMinutes, P.GpsDestLatitudeSeconds))
    AddTriple(gps, 20, P.GpsDestLatitudeDegrees, P.GpsDestLatitudeMinutes, P.GpsDestLatitudeSeconds);
  AddReference(gps, 21, P.GpsDestLongitudeRef);
  if (!P.GpsDestLongitudeRef.empty() ||
      any(P.GpsDestLongitudeDegrees, P.GpsDestLongitudeMinutes, P.GpsDestLongitudeSeconds))
    AddTriple(gps, 22, P.GpsDestLongitudeDegrees, P.GpsDestLongitudeMinutes, P.GpsDestLongitudeSeconds);
  AddReference(gps, 23, P.GpsDestBearingRef);
  if (!P.GpsDestBearingRef.empty() || P.GpsDestBearing != 0) AddRationalValue(gps, 24, P.GpsDestBearing);
  AddReference(gps, 25, P.GpsDestDistanceRef);
  if (!P.GpsDestDistanceRef.empty() || P.GpsDestDistance != 0) AddRationalValue(gps, 26, P.GpsDestDistance);
  gps.AddAscii(29, P.GpsDateStamp);
  List.AddLong(34853, WriteSubDirectory(gps));
}
