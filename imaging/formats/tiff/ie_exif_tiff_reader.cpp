#include "imaging/formats/tiff/ie_exif_tiff_reader.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <set>
#include <vector>

#include "imaging/core/ie_exif.h"
#include "imaging/core/ie_stream_classes.h"
#include "imaging/core/ie_tags_handler.h"
#include "imaging/formats/jpeg/ie_jpeg.h"
#include "platform/rtl/exceptions.h"

namespace {

constexpr Integer kMaxEntries = 4096;         // more than any real directory holds
constexpr Integer kMaxChainSteps = 256;       // directories followed to reach the one asked for
constexpr UInt64 kMaxValueBytes = 16u << 20;  // one tag's data
constexpr Integer kThumbnailLimit = 400;

// Bytes of one TIFF type, 0 for an unknown type.
UInt64 TypeSize(Word Type) {
  static const Byte sizes[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
  return Type < 13 ? sizes[Type] : 0;
}

struct TEntry {
  Word Tag = 0, Type = 0;
  DWORD Count = 0;
  Byte Value[4] = {};
};

// The structure as offsets from its header; nothing is read outside [0, Size).
class TTiffBytes {
 public:
  TTiffBytes(TStream* S) : FStream(S), FBase(S->Position()) {
    const Int64 size = S->Size() - FBase;
    FSize = size > 0 ? static_cast<UInt64>(size) : 0;
  }
  bool Read(UInt64 Offset, void* Dest, UInt64 Count) const {
    if (Offset > FSize || Count > FSize - Offset) return false;
    if (Count == 0) return true;
    FStream->SetPosition(FBase + static_cast<Int64>(Offset));
    return FStream->Read(Dest, static_cast<Integer>(Count)) == static_cast<Integer>(Count);
  }
  UInt64 Size() const { return FSize; }
  bool Little = true;

  Word U16(const Byte* P) const { return Little ? Word(P[0] | P[1] << 8) : Word(P[0] << 8 | P[1]); }
  DWORD U32(const Byte* P) const {
    return Little ? DWORD(P[0]) | DWORD(P[1]) << 8 | DWORD(P[2]) << 16 | DWORD(P[3]) << 24
                  : DWORD(P[0]) << 24 | DWORD(P[1]) << 16 | DWORD(P[2]) << 8 | DWORD(P[3]);
  }

 private:
  TStream* FStream;
  Int64 FBase;
  UInt64 FSize;
};

class TDirectory {
 public:
  TDirectory(const TTiffBytes& Bytes) : FBytes(Bytes) {}

  // False when the directory does not lie inside the structure.
  bool Load(UInt64 Offset) {
    Clear();
    Byte b[12];
    if (!FBytes.Read(Offset, b, 2)) return false;
    const Integer count = FBytes.U16(b);
    if (count > kMaxEntries) return false;
    for (Integer i = 0; i < count; ++i) {
      if (!FBytes.Read(Offset + 2 + UInt64(i) * 12, b, 12)) {
        Clear();
        return false;
      }
      TEntry e;
      e.Tag = FBytes.U16(b);
      e.Type = FBytes.U16(b + 2);
      e.Count = FBytes.U32(b + 4);
      std::memcpy(e.Value, b + 8, 4);
      FEntries.push_back(e);
    }
    Byte next[4];
    FNext = FBytes.Read(Offset + 2 + UInt64(count) * 12, next, 4) ? FBytes.U32(next) : 0;
    return true;
  }
  DWORD Next() const { return FNext; }
  void Clear() {
    FEntries.clear();
    FNext = 0;
  }

  const TEntry* Find(Word Tag) const {
    for (const TEntry& e : FEntries)
      if (e.Tag == Tag) return &e;
    return nullptr;
  }
  // The tag's data, inline or where its offset points; empty for an unknown type, a size past
  // the limit or data outside the structure.
  std::vector<Byte> Data(const TEntry& E) const {
    const UInt64 size = UInt64(E.Count) * TypeSize(E.Type);
    if (size == 0 || size > kMaxValueBytes) return {};
    std::vector<Byte> out(static_cast<size_t>(size));
    if (size <= 4) {
      std::memcpy(out.data(), E.Value, out.size());
      return out;
    }
    if (!FBytes.Read(FBytes.U32(E.Value), out.data(), size)) return {};
    return out;
  }
  // Item Index of a numeric tag; Default when absent, not numeric or too short.
  double Item(Word Tag, Integer Index, double Default = 0) const {
    const TEntry* e = Find(Tag);
    if (!e || Index < 0 || DWORD(Index) >= e->Count) return Default;
    const std::vector<Byte> d = Data(*e);
    const UInt64 at = UInt64(Index) * TypeSize(e->Type);
    if (d.empty() || at + TypeSize(e->Type) > d.size()) return Default;
    const Byte* p = d.data() + at;
    switch (e->Type) {
      case 1: case 7: return p[0];
      case 6: return static_cast<signed char>(p[0]);
      case 3: return FBytes.U16(p);
      case 8: return static_cast<int16_t>(FBytes.U16(p));
      case 4: return FBytes.U32(p);
      case 9: return static_cast<int32_t>(FBytes.U32(p));
      case 5: case 10: {
        const DWORD n = FBytes.U32(p), m = FBytes.U32(p + 4);
        if (m == 0) return 0;
        return e->Type == 5 ? double(n) / double(m) : double(static_cast<int32_t>(n)) / double(static_cast<int32_t>(m));
      }
      case 11: {
        const DWORD v = FBytes.U32(p);
        float f;
        std::memcpy(&f, &v, 4);
        return std::isfinite(f) ? f : Default;
      }
      case 12: {
        UInt64 v = FBytes.Little ? UInt64(FBytes.U32(p)) | UInt64(FBytes.U32(p + 4)) << 32
                                 : UInt64(FBytes.U32(p)) << 32 | FBytes.U32(p + 4);
        double f;
        std::memcpy(&f, &v, 8);
        return std::isfinite(f) ? f : Default;
      }
      default: return Default;
    }
  }
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
  const TTiffBytes& Source() const { return FBytes; }

 private:
  const TTiffBytes& FBytes;
  std::vector<TEntry> FEntries;
  DWORD FNext = 0;
};

// Directory Index of the chain, following each next-directory offset once at most.
bool LoadChained(DWORD First, Integer Index, TDirectory& Dir) {
  std::set<DWORD> seen;
  DWORD at = First;
  for (Integer step = 0; step <= kMaxChainSteps; ++step) {
    if (at == 0 || !seen.insert(at).second || !Dir.Load(at)) return false;
    if (step == Index) return true;
    at = Dir.Next();
  }
  return false;
}

bool LoadPointed(const TDirectory& Page, Word Tag, TDirectory& Dir) {
  const TEntry* e = Page.Find(Tag);
  if (!e || (e->Type != 4 && e->Type != 13) || e->Count < 1) return false;
  return Dir.Load(Page.Source().U32(e->Value));
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
  const TTiffBytes& bytes = Exif.Source();
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
      if (!bytes.Read(bytes.U32(k.Value), k.Data.data(), size)) continue;
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
  const TTiffBytes& bytes = D.Source();
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
  if (!bytes.Read(at, jpeg.data(), length)) return false;

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
  TTiffBytes bytes(Stream);
  Byte head[8];
  if (!bytes.Read(0, head, 8)) return false;
  if (head[0] == 'I' && head[1] == 'I') bytes.Little = true;
  else if (head[0] == 'M' && head[1] == 'M') bytes.Little = false;
  else return false;
  const Word magic = bytes.U16(head + 2);
  if (magic != 42 && magic != 0x4F52 && magic != 0x5352) return false;
  TDirectory page(bytes);
  if (!LoadChained(bytes.U32(head + 4), Params->TiffImageIndex, page)) return false;
  if (!TagsOnly) return ReadJpegImage(page, Bitmap, Thumbnail);

  ReadPageTags(page, Params);
  // A directory that is absent or damaged reads as one without tags.
  TDirectory exif(bytes), gps(bytes);
  if (!LoadPointed(page, 34665, exif)) exif.Clear();
  ReadExifTags(exif, Params);
  if (!LoadPointed(page, 34853, gps)) gps.Clear();
  ReadGpsTags(gps, Params);
  return true;
}

void IERegisterExifTiffReader() { IEExifTiffCodec.Read = IEReadExifTiffDirectory; }
