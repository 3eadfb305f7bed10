#include "imaging/formats/tiff/ie_exif_tiff_reader.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/core/ie_exif.h"
#include "imaging/core/ie_stream_classes.h"
#include "imaging/core/ie_tags_handler.h"
#include "imaging/formats/jpeg/ie_jpeg.h"
#include "imaging/formats/tiff/ie_tiff_directory.h"
#include "platform/rtl/exceptions.h"

namespace {

constexpr UInt64 kMaxValueBytes = 16u << 20;  // one tag's data
constexpr Integer kThumbnailLimit = 400;

UInt64 TypeSize(Word Type) { return Type == 0 ? 0 : TIFFTypeSize(Type); }

using TEntry = TTIFFEntry;

// The shared directory with the readings the EXIF fields want.
class TDirectory : public TTIFFDirectory {
 public:
  using TTIFFDirectory::TTIFFDirectory;
  const TEntry* Find(Word Tag) const { return Entry(Tag); }
  Integer Number(Word Tag, Integer Default = 0) const {
    const double v = Item(Tag, 0, Default);
    return v >= -2147483648.0 && v <= 2147483647.0 ? static_cast<Integer>(v) : Default;
  }
  // The bytes up to the first zero: ASCII texts and the short UNDEFINED ones (versions,
  // references).
  AnsiString Text(Word Tag) const {
    const TEntry* e = Find(Tag);
    if (!e || TypeSize(e->Type) != 1) return AnsiString();
    const std::vector<Byte> d = Data(*e);
    size_t n = 0;
    while (n < d.size() && d[n] != 0) ++n;
    return AnsiString(reinterpret_cast<const char*>(d.data()), n);
  }
  // The Windows XP tags: UTF-16 little-endian in BYTE items, up to the first zero character.
  WideString Wide(Word Tag) const {
    const TEntry* e = Find(Tag);
    if (!e || TypeSize(e->Type) != 1) return WideString();
    const std::vector<Byte> d = Data(*e);
    WideString out;
    for (size_t i = 0; i + 1 < d.size(); i += 2) {
      const char16_t c = static_cast<char16_t>(d[i] | d[i + 1] << 8);
      if (c == 0) break;
      out += c;
    }
    return out;
  }
  AnsiString Bytes(Word Tag) const {
    const TEntry* e = Find(Tag);
    if (!e || TypeSize(e->Type) != 1) return AnsiString();
    const std::vector<Byte> d = Data(*e);
    return AnsiString(d.begin(), d.end());
  }
  const TTIFFDirectory& Source() const { return *this; }
};

bool LoadPointed(const TDirectory& Page, Word Tag, TDirectory& Dir) {
  const TEntry* e = Page.Find(Tag);
  if (!e || (e->Type != 4 && e->Type != 13) || e->Count < 1) return false;
  return Dir.LoadAt(Page.Source().U32(e->Value));
}

// The maker note as a directory of its own: entries in little-endian order, each one's data
// copied after the entry table with its offset made relative to the note. Entries whose data
// lie outside the structure are left out; a note that does not hold its table is dropped.
void ReadMakerNote(const TDirectory& Exif, TIETagsHandler* Handler) {
  if (!Handler) return;
  Handler->Clear();
  const TEntry* note = Exif.Find(37500);
  if (!note) return;
  const std::vector<Byte> raw = Exif.Data(*note);
  const TTIFFDirectory& bytes = Exif.Source();
  if (raw.size() < 2) return;
  const Integer n = bytes.U16(raw.data());
  if (n >= 257 || size_t(n) * 12 + 2 > raw.size()) return;
  std::vector<Byte> table, data;
  Integer kept = 0;
  auto put16 = [](std::vector<Byte>& v, Word w) { v.push_back(Byte(w)); v.push_back(Byte(w >> 8)); };
  auto put32 = [](std::vector<Byte>& v, DWORD d) { for (int k = 0; k < 4; ++k) v.push_back(Byte(d >> (8 * k))); };
  struct TKept { Word Tag, Type; DWORD Count; std::vector<Byte> Data; Byte Value[4]; };
  std::vector<TKept> entries;
  for (Integer i = 0; i < n; ++i) {
    const Byte* p = raw.data() + 2 + i * 12;
    TKept k{bytes.U16(p), bytes.U16(p + 2), bytes.U32(p + 4), {}, {}};
    std::memcpy(k.Value, p + 8, 4);
    if (k.Type > 12 || TypeSize(k.Type) == 0) {
      Handler->Clear();
      return;
    }
    const UInt64 size = UInt64(k.Count) * TypeSize(k.Type);
    if (size > 4) {
      // Offsets inside a maker note count from the structure's start for most cameras.
      if (size > kMaxValueBytes) continue;
      k.Data.resize(static_cast<size_t>(size));
      if (!bytes.ReadAt(bytes.U32(k.Value), k.Data.data(), size)) continue;
    } else if (!bytes.Little && size > 0) {
      // Inline values are turned round item by item below.
      k.Data.assign(k.Value, k.Value + size);
    }
    entries.push_back(std::move(k));
    ++kept;
  }
  const DWORD dataStart = 2 + 12 * DWORD(kept);
  put16(table, static_cast<Word>(kept));
  for (TKept& k : entries) {
    // Items in little-endian order, as the handler keeps them.
    const UInt64 item = TypeSize(k.Type);
    std::vector<Byte> items = k.Data.empty() ? std::vector<Byte>(k.Value, k.Value + 4) : k.Data;
    if (!bytes.Little && item > 1) {
      const UInt64 unit = (k.Type == 5 || k.Type == 10) ? 4 : item;
      for (size_t at = 0; at + unit <= items.size(); at += unit) std::reverse(items.begin() + at, items.begin() + at + unit);
    }
    put16(table, k.Tag);
    put16(table, k.Type);
    put32(table, k.Count);
    if (UInt64(k.Count) * item > 4) {
      put32(table, dataStart + static_cast<DWORD>(data.size()));
      data.insert(data.end(), items.begin(), items.end());
    } else {
      items.resize(4, 0);
      table.insert(table.end(), items.begin(), items.begin() + 4);
    }
  }
  TMemoryStream* s = Handler->Stream();
  s->WriteBuffer(table.data(), static_cast<Int64>(table.size()));
  if (!data.empty()) s->WriteBuffer(data.data(), static_cast<Int64>(data.size()));
  Handler->LittleEndian = true;
  Handler->ReadDirectory();
}

void ReadPageTags(const TDirectory& D, TIOParamsVals* P) {
  P->ExifMake = D.Text(271);
  P->ExifModel = D.Text(272);
  P->ExifDateTime = D.Text(306);
  P->TiffImageDescription = D.Text(270);
  P->SetExifOrientation(D.Number(274, 1));
  P->ExifResolutionUnit = D.Number(296, 2);
  // The resolution as stored: whoever turns it into dots per inch applies the unit once.
  P->SetExifXResolution(D.Item(282, 0));
  P->SetExifYResolution(D.Item(283, 0));
  P->ExifSoftware = D.Text(305);
  P->ExifArtist = D.Text(315);
  P->ExifCopyright = D.Text(33432);
  P->ExifRating = D.Number(18246, -1);
  P->ExifXPTitle = D.Wide(40091);
  P->ExifXPComment = D.Wide(40092);
  P->ExifXPAuthor = D.Wide(40093);
  P->ExifXPKeywords = D.Wide(40094);
  P->ExifXPSubject = D.Wide(40095);
  for (Integer i = 0; i < 2; ++i) P->ExifWhitePoint[i] = D.Item(318, i);
  for (Integer i = 0; i < 6; ++i) P->ExifPrimaryChromaticities[i] = D.Item(319, i);
  for (Integer i = 0; i < 3; ++i) P->ExifYCbCrCoefficients[i] = D.Item(529, i);
  P->ExifYCbCrPositioning = D.Number(531);
  for (Integer i = 0; i < 6; ++i) P->ExifReferenceBlackWhite[i] = D.Item(532, i);
}

void ReadExifTags(const TDirectory& D, TIOParamsVals* P) {
  P->ExifExposureTime = D.Item(33434, 0);
  P->ExifFNumber = D.Item(33437, 0);
  P->ExifExposureProgram = D.Number(34850);
  P->ExifISOSpeedRatings[0] = static_cast<Integer>(D.Item(34855, 0));
  P->ExifISOSpeedRatings[1] = static_cast<Integer>(D.Item(34855, 1));
  P->ExifExifVersion = D.Text(36864);
  P->ExifFlashPixVersion = D.Text(40960);
  P->ExifDateTimeOriginal = D.Text(36867);
  P->ExifDateTimeDigitized = D.Text(36868);
  P->ExifCompressedBitsPerPixel = D.Item(37122, 0);
  P->ExifShutterSpeedValue = D.Item(37377, 0);
  P->ExifApertureValue = D.Item(37378, 0);
  P->ExifBrightnessValue = D.Item(37379, 0);
  P->ExifExposureBiasValue = D.Item(37380, 0);
  P->ExifMaxApertureValue = D.Item(37381, 0);
  P->ExifSubjectDistance = D.Item(37382, 0);
  P->ExifFocalLength = D.Item(37386, 0);
  P->ExifMeteringMode = D.Number(37383);
  P->ExifLightSource = D.Number(37384);
  P->ExifFlash = D.Number(37385);
  P->ExifSubsecTime = D.Text(37520);
  P->ExifSubsecTimeOriginal = D.Text(37521);
  P->ExifSubsecTimeDigitized = D.Text(37522);
  P->ExifColorSpace = D.Number(40961);
  P->ExifExifImageWidth = D.Number(40962);
  P->ExifExifImageHeight = D.Number(40963);
  P->ExifRelatedSoundFile = D.Text(40964);
  P->ExifImageUniqueID = D.Text(42016);
  P->ExifFocalPlaneXResolution = D.Item(41486, 0);
  P->ExifFocalPlaneYResolution = D.Item(41487, 0);
  P->ExifExposureIndex = D.Item(41493, 0);
  P->ExifDigitalZoomRatio = D.Item(41988, 0);
  P->ExifFocalPlaneResolutionUnit = D.Number(41488);
  P->ExifSensingMethod = D.Number(41495);
  P->ExifFileSource = D.Number(41728);
  P->ExifSceneType = D.Number(41729);
  P->ExifExposureMode = D.Number(41986);
  P->ExifWhiteBalance = D.Number(41987);
  P->ExifFocalLengthIn35mmFilm = D.Number(41989);
  P->ExifSceneCaptureType = D.Number(41990);
  P->ExifGainControl = D.Number(41991);
  P->ExifContrast = D.Number(41992);
  P->ExifSaturation = D.Number(41993);
  P->ExifSharpness = D.Number(41994);
  P->ExifSubjectDistanceRange = D.Number(41996);
  const AnsiString comment = D.Bytes(37510);
  P->ExifUserCommentCode = comment.substr(0, 8);
  P->ExifUserComment = comment.size() > 8 ? comment.substr(8) : AnsiString();
  while (!P->ExifUserComment.empty() && P->ExifUserComment.back() == '\0') P->ExifUserComment.pop_back();
  ReadMakerNote(D, P->ExifMakerNote);
}

void ReadGpsTags(const TDirectory& D, TIOParamsVals* P) {
  const AnsiString version = D.Bytes(0);
  AnsiString dotted;
  for (size_t i = 0; i < version.size(); ++i) dotted += (i ? "." : "") + std::to_string(Byte(version[i]));
  P->GpsVersionID = dotted;
  P->GpsLatitudeRef = D.Text(1);
  P->GpsLongitudeRef = D.Text(3);
  P->GpsStatus = D.Text(9);
  P->GpsMeasureMode = D.Text(10);
  P->GpsSpeedRef = D.Text(12);
  P->GpsTrackRef = D.Text(14);
  P->GpsImgDirectionRef = D.Text(16);
  P->GpsDestLatitudeRef = D.Text(19);
  P->GpsDestLongitudeRef = D.Text(21);
  P->GpsDestBearingRef = D.Text(23);
  P->GpsDestDistanceRef = D.Text(25);
  auto triple = [&](Word Tag, double& A, double& B, double& C) {
    A = D.Item(Tag, 0);
    B = D.Item(Tag, 1);
    C = D.Item(Tag, 2);
  };
  triple(2, P->GpsLatitudeDegrees, P->GpsLatitudeMinutes, P->GpsLatitudeSeconds);
  triple(4, P->GpsLongitudeDegrees, P->GpsLongitudeMinutes, P->GpsLongitudeSeconds);
  triple(20, P->GpsDestLatitudeDegrees, P->GpsDestLatitudeMinutes, P->GpsDestLatitudeSeconds);
  triple(22, P->GpsDestLongitudeDegrees, P->GpsDestLongitudeMinutes, P->GpsDestLongitudeSeconds);
  triple(7, P->GpsTimeStampHour, P->GpsTimeStampMinute, P->GpsTimeStampSecond);
  P->GpsAltitudeRef = std::to_string(D.Number(5));
  P->GpsAltitude = D.Item(6, 0);
  P->GpsDOP = D.Item(11, 0);
  P->GpsSpeed = D.Item(13, 0);
  P->GpsTrack = D.Item(15, 0);
  P->GpsImgDirection = D.Item(17, 0);
  P->GpsDestBearing = D.Item(24, 0);
  P->GpsDestDistance = D.Item(26, 0);
  P->GpsSatellites = D.Text(8);
  P->GpsMapDatum = D.Text(18);
  P->GpsDateStamp = D.Text(29);
}

// The directory's JPEG image (the thumbnail's JPEGInterchangeFormat pair, or a single JPEG
// strip); False when there is none or it cannot be decoded.
bool ReadJpegImage(const TDirectory& D, TIEBitmap* Bitmap, bool Thumbnail) {
  if (!Bitmap) return false;
  const TTIFFDirectory& bytes = D.Source();
  UInt64 at = 0, length = 0;
  if (D.Find(513) && D.Find(514)) {
    at = static_cast<UInt64>(D.Item(513, 0));
    length = static_cast<UInt64>(D.Item(514, 0));
  } else {
    const Integer compression = D.Number(259, 1);
    const TEntry* strips = D.Find(273);
    if ((compression != 6 && compression != 7) || !strips || strips->Count != 1 || !D.Find(279)) return false;
    at = static_cast<UInt64>(D.Item(273, 0));
    length = static_cast<UInt64>(D.Item(279, 0));
  }
  if (length < 4 || length > kMaxValueBytes) return false;
  std::vector<Byte> jpeg(static_cast<size_t>(length));
  if (!bytes.ReadAt(at, jpeg.data(), length)) return false;

  TIEMemStream stream(jpeg.data(), static_cast<Int64>(jpeg.size()));
  TIOParamsVals params(nullptr);
  std::atomic<bool> aborting{false};
  TIECodecProgress progress;
  progress.Aborting = &aborting;
  if (Thumbnail) {
    // The size first: a preview of camera size is not decoded only to be thrown away.
    ReadJPEGStream(&stream, nullptr, Bitmap, params, progress, true, false, false, false, false, false, -1, false);
    if (aborting) return false;
    if (params.Width > kThumbnailLimit || params.Height > kThumbnailLimit) {
      Bitmap->FreeImage(true);
      return true;
    }
    stream.SetPosition(0);
  }
  TIEBitmap decoded;
  ReadJPEGStream(&stream, nullptr, &decoded, params, progress, false, false, false, false, false, false, -1, false);
  if (aborting || decoded.IsEmpty()) return false;
  Bitmap->Assign(&decoded);
  return true;
}

}  // namespace

bool IEReadExifTiffDirectory(TIEBitmap* Bitmap, TStream* Stream, TIOParamsVals* Params, bool TagsOnly, bool Thumbnail) {
  if (!Stream || !Params) return false;
  const Int64 base = Stream->Position();
  Byte head[8];
  Stream->SetPosition(base);
  if (Stream->Size() - base < 8 || Stream->Read(head, 8) != 8) return false;
  bool little;
  if (head[0] == 'I' && head[1] == 'I') little = true;
  else if (head[0] == 'M' && head[1] == 'M') little = false;
  else return false;
  TDirectory page(Stream, little, base);
  const Word magic = page.U16(head + 2);
  if (magic != 42 && magic != 0x4F52 && magic != 0x5352) return false;
  Integer pages = 0;
  if (!page.LoadIFD(Params->TiffImageIndex, page.U32(head + 4), pages)) return false;
  if (!TagsOnly) return ReadJpegImage(page, Bitmap, Thumbnail);

  ReadPageTags(page, Params);
  // A directory that is absent or damaged reads as one without tags.
  TDirectory exif(Stream, little, base), gps(Stream, little, base);
  if (!LoadPointed(page, 34665, exif)) exif.Clear();
  ReadExifTags(exif, Params);
  if (!LoadPointed(page, 34853, gps)) gps.Clear();
  ReadGpsTags(gps, Params);
  return true;
}

void IERegisterExifTiffReader() { IEExifTiffCodec.Read = IEReadExifTiffDirectory; }
