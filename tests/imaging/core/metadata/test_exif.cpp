// EXIF blocks: detection, the payload written through the TIFF codec seam (read back by exiftool
// from a JPEG), payloads exiftool wrote read through it, camera-raw style TIFF structures, the
// field copy, the maker-note directory in either byte order, and damaged blocks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_orientation.h"
#include "imaging/core/ie_exif.h"
#include "imaging/core/ie_stream_classes.h"
#include "imaging/core/ie_tags_handler.h"
#include "metadata_test_util.h"
#include "tool_tiff_codec.h"

using namespace metatest;

namespace {

Bytes SaveExif(TIOParamsVals* p) {
  void* buf = nullptr;
  Integer len = -1;
  IESaveEXIFToBuffer(p, buf, len);
  Bytes out = ToBytes(buf, len);
  std::free(buf);
  return out;
}

void Thumbnail(TIOParamsVals& p, Integer w, Integer h) {
  TIEBitmap* t = p.GetExifBitmap();
  ASSERT_TRUE(t->Allocate(w, h, ie24RGB));
  for (Integer y = 0; y < h; ++y)
    for (Integer x = 0; x < w; ++x) t->SetPixelRGB(x, y, TRGB{40, static_cast<Byte>(y * 30), static_cast<Byte>(x * 30)});
  t->SetPixelRGB(0, 0, TRGB{255, 255, 255});
}

TEST(ExifBlocks, DetectionChecksTheHeaderWithinTheLength) {
  const Byte good[] = {0x45, 0x78, 0x69, 0x66, 0x00, 0x00, 'I', 'I'};
  const Byte upper[] = {0x45, 0x58, 0x49, 0x46, 0x00, 0x00};
  const Byte noZero[] = {0x45, 0x78, 0x69, 0x66, 0x01, 0x00};
  EXPECT_TRUE(IEIsEXIFBlock(good, sizeof good));
  EXPECT_FALSE(IEIsEXIFBlock(upper, sizeof upper));
  EXPECT_FALSE(IEIsEXIFBlock(noZero, sizeof noZero));
  EXPECT_FALSE(IEIsEXIFBlock(good, 4));  // "Exif" at the very end of a payload
  EXPECT_FALSE(IEIsEXIFBlock(nullptr, 8));
}

TEST(ExifBlocks, WithoutATiffCodecNothingIsClaimed) {
  IEExifTiffCodec = TIEExifTiffCodec();
  TIOParamsVals p(nullptr);
  p.ExifMake = "Canon";
  EXPECT_TRUE(SaveExif(&p).empty());
  const Byte block[] = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0};
  TIOParamsVals q(nullptr);
  q.ExifModel = "kept";
  EXPECT_FALSE(IELoadEXIFFromBuffer(block, sizeof block, &q));
  EXPECT_EQ(q.ExifModel, "kept");
  EXPECT_FALSE(q.ExifHasEXIFData);
  TIEMemStream s(block + 6, 8);
  EXPECT_FALSE(IEReadEXIFFromTIFFStream(&s, &q));
}

TEST(ExifBlocks, OurPayloadInAJpegIsReadByExifToolAndByUs) {
  ToolTiffCodec codec;
  TIOParamsVals p(nullptr);
  p.ExifMake = "Canon";
  p.ExifModel = "EOS 5D";
  p.SetExifXResolution(300);
  p.SetExifYResolution(240);
  p.SetExifOrientation(6);
  Thumbnail(p, 8, 6);
  Bytes payload = SaveExif(&p);
  ASSERT_GE(payload.size(), 10u);
  EXPECT_EQ(Bytes(payload.begin(), payload.begin() + 10), (Bytes{0x45, 0x78, 0x69, 0x66, 0x00, 0x00, 0x49, 0x49, 0x2A, 0x00}));
  ASSERT_LE(payload.size(), 65533u);

  std::string file = codec.Dir() + "/ours.jpg";
  WriteFileBytes(file, SpliceMarkers(ReadFileBytes(PlainJpeg()), {{0xE1, payload}}));
  EXPECT_EQ(ExifTool(file, "IFD0:Make"), "Canon");
  EXPECT_EQ(ExifTool(file, "IFD0:Model"), "EOS 5D");
  EXPECT_EQ(ExifTool(file, "IFD0:XResolution"), "300");
  EXPECT_EQ(ExifTool(file, "IFD0:YResolution"), "240");
  EXPECT_EQ(ExifTool(file, "IFD0:Orientation", true), "6");
  EXPECT_EQ(ExifTool(file, "IFD1:ImageWidth"), "8");

  TIOParamsVals back(nullptr);
  ASSERT_TRUE(IELoadEXIFFromBuffer(payload.data(), static_cast<Integer>(payload.size()), &back));
  EXPECT_TRUE(back.ExifHasEXIFData);
  EXPECT_EQ(back.ExifMake, "Canon");
  EXPECT_EQ(back.ExifModel, "EOS 5D");
  EXPECT_EQ(back.DpiX, 300);
  EXPECT_EQ(back.DpiY, 240);
  EXPECT_EQ(back.TiffOrientation, 6);
  // The thumbnail is turned upright by its orientation: the stored top-left pixel ends top-right.
  ASSERT_NE(back.ExifBitmap, nullptr);
  ASSERT_EQ(back.ExifBitmap->GetWidth(), 6);
  ASSERT_EQ(back.ExifBitmap->GetHeight(), 8);
  EXPECT_EQ(back.ExifBitmap->GetPixelRGB(5, 0), (TRGB{255, 255, 255}));
}

TEST(ExifBlocks, PayloadsExifToolWroteAreReadAndDamagedOnesRefused) {
  ToolTiffCodec codec;
  std::string file = codec.Dir() + "/theirs.jpg";
  testsupport::RunOk("cp " + PlainJpeg() + " " + file + " && exiftool -q -overwrite_original -Make=Nikon "
                     "-Model='D 1' -XResolution=180 -YResolution=180 -Orientation#=1 " + file);
  Bytes payload;
  for (const auto& [code, data] : ListMarkers(ReadFileBytes(file)))
    if (code == 0xE1 && IEIsEXIFBlock(data.data(), static_cast<Integer>(data.size()))) payload = data;
  ASSERT_FALSE(payload.empty());
  TIOParamsVals p(nullptr);
  ASSERT_TRUE(IELoadEXIFFromBuffer(payload.data(), static_cast<Integer>(payload.size()), &p));
  EXPECT_EQ(p.ExifMake, "Nikon");
  EXPECT_EQ(p.ExifModel, "D 1");
  EXPECT_EQ(p.DpiX, 180);

  // Damaged blocks: refused, and the record keeps what it had.
  std::vector<Bytes> damaged = {Bytes(payload.begin(), payload.begin() + 6), Bytes(payload.begin(), payload.begin() + 9)};
  Bytes noMagic = payload;
  noMagic[6] = 'X';
  damaged.push_back(noMagic);
  Bytes cut = Bytes(payload.begin(), payload.begin() + 12);
  damaged.push_back(cut);
  for (const Bytes& b : damaged) {
    TIOParamsVals q(nullptr);
    q.ExifMake = "kept";
    EXPECT_FALSE(IELoadEXIFFromBuffer(b.data(), static_cast<Integer>(b.size()), &q)) << b.size();
    EXPECT_EQ(q.ExifMake, "kept");
    EXPECT_FALSE(q.ExifHasEXIFData);
  }
}

TEST(ExifBlocks, CameraRawStructureGivesItsSmallerPreview) {
  ToolTiffCodec codec;
  const std::string d = codec.Dir();
  // A raw-like file: junk, then a TIFF whose first page is large and whose second is a preview.
  testsupport::RunOk("convert -size 500x20 xc:'#808080' -depth 8 " + d + "/big.ppm && convert -size 12x9 "
                     "gradient:red-blue -depth 8 " + d + "/small.ppm && ppm2tiff " + d + "/big.ppm " + d + "/big.tif && "
                     "ppm2tiff " + d + "/small.ppm " + d + "/small.tif && tiffcp " + d + "/big.tif " + d + "/small.tif " +
                     d + "/raw.tif && tiffset -s 271 Pentax " + d + "/raw.tif");
  Bytes raw(37, 0x5A);
  Bytes tiff = ReadFileBytes(d + "/raw.tif");
  raw.insert(raw.end(), tiff.begin(), tiff.end());
  TMemoryStream s;
  s.WriteBuffer(raw.data(), static_cast<Int64>(raw.size()));
  s.SetPosition(0);
  Int64 at = IEFindTIFFHeader(&s);
  EXPECT_EQ(at, 37);
  EXPECT_EQ(s.Position(), 0);
  s.SetPosition(at);
  TIOParamsVals p(nullptr);
  ASSERT_TRUE(IEReadEXIFFromTIFFStream(&s, &p));
  EXPECT_EQ(s.Position(), at);
  EXPECT_EQ(p.ExifMake, "Pentax");
  ASSERT_NE(p.ExifBitmap, nullptr);
  EXPECT_EQ(p.ExifBitmap->GetWidth(), 12);
  EXPECT_EQ(p.ExifBitmap->GetHeight(), 9);
}

TEST(ExifBlocks, FindTiffHeaderAcceptsOnlyPlausibleHeaders) {
  struct Case {
    const char* what;
    Bytes data;
    Int64 expect;
  } cases[] = {
      {"little-endian after junk", [] {
         Bytes b(32, 'j');
         b.insert(b.end(), {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0});
         return b;
       }(), 32},
      {"big-endian", {'x', 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0}, 1},
      {"raw variant", {'I', 'I', 'R', 'O', 8, 0, 0, 0, 0}, 0},
      {"directory beyond the data", {'I', 'I', 42, 0, 0xFF, 0xFF, 0, 0, 'I', 'I', 42, 0, 1, 0, 0, 0}, 8},
      {"directory offset with the top bit set", {'M', 'M', 0, 42, 0x80, 0, 0, 0, 0}, -1},
      {"cut short", {'I', 'I', 42, 0, 8, 0, 0}, -1},
      {"nothing", {}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TMemoryStream s;
    if (!c.data.empty()) s.WriteBuffer(c.data.data(), static_cast<Int64>(c.data.size()));
    s.SetPosition(0);
    EXPECT_EQ(IEFindTIFFHeader(&s), c.expect);
    EXPECT_EQ(s.Position(), 0);
  }
}

TEST(ExifBlocks, MakerNoteDirectoryIsReadInItsOwnByteOrder) {
  TIETagsHandler h;
  Bytes entry = {0x01, 0x02, 0x00, 0x03, 0x00, 0x00, 0x00, 0x01, 0x00, 0x05, 0x00, 0x00};
  struct Case {
    const char* what;
    bool little;
    Bytes data;
    Integer entries;
  } cases[] = {
      {"big-endian, one entry", false, {0x00, 0x01}, 1},
      {"little-endian, one entry", true, {0x01, 0x00}, 1},
      {"big-endian count read as little-endian would claim 256", true, {0x00, 0x01}, 0},
      {"count beyond the stream", false, {0x00, 0x02}, 0},
      {"a single byte", true, {0x01}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    h.Stream()->Clear();
    h.LittleEndian = c.little;
    Bytes b = c.data;
    if (b.size() == 2) b.insert(b.end(), entry.begin(), entry.end());
    h.Stream()->WriteBuffer(b.data(), static_cast<Int64>(b.size()));
    h.ReadDirectory();
    EXPECT_EQ(h.EntryCount(), c.entries);
  }
  h.Stream()->Clear();
  h.LittleEndian = false;
  Bytes one = {0x00, 0x01};
  one.insert(one.end(), entry.begin(), entry.end());
  h.Stream()->WriteBuffer(one.data(), static_cast<Int64>(one.size()));
  h.ReadDirectory();
  EXPECT_EQ(h.EntryTag(0), 0x0102);
  TIETagsHandler copy;
  copy.CopyFrom(&h);
  EXPECT_FALSE(copy.LittleEndian);
  EXPECT_EQ(copy.EntryCount(), 1);
  h.Clear();
  EXPECT_EQ(h.EntryCount(), 0);
}

TEST(ExifBlocks, CopyTakesEveryExifAndGpsFieldButNotTheThumbnail) {
  TIOParamsVals s(nullptr), d(nullptr);
  s.TiffImageDescription = "harbour";
  s.ExifMake = "Fuji";
  s.ExifOrientation = 8;
  s.ExifXResolution = 72.5;
  s.ExifYResolution = 96;
  s.ExifFNumber = 2.8;
  s.ExifISOSpeedRatings[1] = 400;
  s.ExifXPTitle = u"Titre";
  s.ExifSharpness = 2;
  s.ExifImageUniqueID = "abc";
  s.GpsDestLatitudeRef = "N";
  s.GpsDestLongitudeRef = "E";
  s.GpsLatitudeSeconds = 12.5;
  s.GpsDateStamp = "2026:12:10";
  s.ExifHasEXIFData = true;
  Thumbnail(s, 2, 2);
  s.ExifMakerNote->Stream()->WriteBuffer("\x00\x00", 2);
  IECopyEXIF(&s, &d);
  EXPECT_EQ(d.ExifImageDescription, "harbour");
  EXPECT_EQ(d.ExifMake, "Fuji");
  EXPECT_EQ(d.TiffOrientation, 8);
  EXPECT_EQ(d.DpiX, 72);
  EXPECT_DOUBLE_EQ(d.ExifXResolution, 72.5);
  EXPECT_EQ(d.DpiY, 96);
  EXPECT_DOUBLE_EQ(d.ExifFNumber, 2.8);
  EXPECT_EQ(d.ExifISOSpeedRatings[1], 400);
  EXPECT_EQ(d.ExifXPTitle, u"Titre");
  EXPECT_EQ(d.ExifSharpness, 2);
  EXPECT_EQ(d.ExifImageUniqueID, "abc");
  EXPECT_EQ(d.GpsDestLatitudeRef, "N");
  EXPECT_EQ(d.GpsDestLongitudeRef, "E");
  EXPECT_DOUBLE_EQ(d.GpsLatitudeSeconds, 12.5);
  EXPECT_EQ(d.GpsDateStamp, "2026:12:10");
  EXPECT_EQ(d.ExifMakerNote->Stream()->Size(), 2);
  EXPECT_FALSE(d.ExifHasEXIFData);
  EXPECT_EQ(d.ExifBitmap, nullptr);
}

TEST(ExifBlocks, ThumbnailOrientationTurnsAndFlips) {
  // 4 x 2 with distinct pixels; each orientation shows a known pixel at the top-left and top-right.
  TIEBitmap src;
  ASSERT_TRUE(src.Allocate(4, 2, ie24RGB));
  for (Integer y = 0; y < 2; ++y)
    for (Integer x = 0; x < 4; ++x) src.SetPixelRGB(x, y, TRGB{static_cast<Byte>(x), static_cast<Byte>(y), 0});
  struct Case {
    Integer o, w, h;
    TRGB topLeft, topRight;
  } cases[] = {
      {1, 4, 2, {0, 0, 0}, {3, 0, 0}}, {2, 4, 2, {3, 0, 0}, {0, 0, 0}}, {3, 4, 2, {3, 1, 0}, {0, 1, 0}},
      {4, 4, 2, {0, 1, 0}, {3, 1, 0}}, {5, 2, 4, {0, 0, 0}, {0, 1, 0}}, {6, 2, 4, {0, 1, 0}, {0, 0, 0}},
      {7, 2, 4, {3, 1, 0}, {3, 0, 0}}, {8, 2, 4, {3, 0, 0}, {3, 1, 0}}, {9, 4, 2, {0, 0, 0}, {3, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.o);
    TIEBitmap b;
    b.Assign(&src);
    IEApplyExifOrientation(&b, c.o);
    ASSERT_EQ(b.GetWidth(), c.w);
    ASSERT_EQ(b.GetHeight(), c.h);
    EXPECT_EQ(b.GetPixelRGB(0, 0), c.topLeft);
    EXPECT_EQ(b.GetPixelRGB(c.w - 1, 0), c.topRight);
  }
}

}  // namespace
