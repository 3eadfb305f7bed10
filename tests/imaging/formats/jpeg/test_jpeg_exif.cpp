// EXIF inside JPEG files written by exiftool: the orientation turned into the pixels as
// ImageMagick's -auto-orient turns them and cleared for the next save, the thumbnail, the
// resolution chosen between JFIF and EXIF, the camera and GPS tags, and blocks that lie about
// their own offsets and counts.
#include <gtest/gtest.h>

#include <random>

#include "imaging/core/ie_exif.h"
#include "imaging/core/ie_markers.h"
#include "imaging/formats/jpeg/ie_jpeg.h"
#include "imaging/formats/tiff/ie_exif_tiff_reader.h"
#include "tests/imaging/formats/codec_test_util.h"

using namespace ietest;
using testsupport::Fixture;
using testsupport::RunOk;
using testsupport::ShellQuote;

namespace {

// A 40 x 30 picture with a white mark near one corner, so every turn and flip shows.
std::string Base() {
  return Fixture("exif-base.jpg",
                 "convert -size 40x30 gradient:red-blue -fill white -draw 'rectangle 2,2 10,6' ppm:- | "
                 "cjpeg -quality 95 -sample 1x1 > {out}");
}

// The base picture with exiftool's Args applied.
std::string WithExif(const std::string& Name, const std::string& Args) {
  return Fixture("exif-" + Name + ".jpg",
                 "cp " + ShellQuote(Base()) + " {out} && exiftool -q -q -overwrite_original " + Args + " {out}");
}

// A small JPEG to carry as a thumbnail, and the base picture carrying it.
std::string ThumbSource() { return Fixture("exif-thumb-src.jpg", "convert -size 16x12 gradient:green-yellow jpg:{out}"); }
std::string WithThumb() { return WithExif("thumb", "'-ThumbnailImage<=" + ThumbSource() + "'"); }

class JpegExif : public ::testing::Test {
 protected:
  void SetUp() override {
    Saved = IEExifTiffCodec;
    IERegisterExifTiffReader();
  }
  void TearDown() override { IEExifTiffCodec = Saved; }
  TIEExifTiffCodec Saved;
};

struct TRead {
  TIEBitmap Bitmap;
  TIOParamsVals Params{nullptr};
  TProgressProbe Probe;
  Integer Rows = 0;
};

void Read(const std::string& File, TRead& R, bool Preview = false) {
  TMemoryStream m;
  FillStream(m, ReadWholeFile(File));
  R.Rows = ReadJPEGStream(&m, nullptr, &R.Bitmap, R.Params, R.Probe.Progress, Preview, false, true, false, true, true,
                          -1, false);
}

TEST_F(JpegExif, OrientationIsTurnedAsAutoOrientAndNotTwice) {
  for (Integer o = 1; o <= 8; ++o) {
    SCOPED_TRACE("orientation " + std::to_string(o));
    // Both byte orders of the TIFF structure.
    const std::string order = o % 2 ? "-ExifByteOrder=II " : "";
    const std::string file = WithExif("orient" + std::to_string(o), order + "-n -Orientation=" + std::to_string(o));
    TRead r;
    r.Params.JpegEnableAdjustOrientation = true;
    Read(file, r);
    ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
    EXPECT_TRUE(r.Params.ExifHasEXIFData);
    EXPECT_EQ(r.Params.ExifOrientation, 1);
    EXPECT_EQ(MaxDifference(r.Bitmap, PamFromCommand("convert " + ShellQuote(file) + " -auto-orient ppm:-")), 0);

    // Saved again and read again, the picture stands as it did: the file says it is upright.
    TMemoryStream out;
    TProgressProbe w;
    r.Params.JpegQuality = 100;
    r.Params.JpegChromaSubsampling = 2;
    WriteJPEGStream(&out, &r.Bitmap, r.Params, w.Progress);
    ASSERT_FALSE(w.Failed()) << w.Reason;
    const std::string again = testsupport::MakeTempDir("exif") + "/again.jpg";
    WriteFileBytes(again, StreamBytes(out));
    EXPECT_EQ(RunOk("exiftool -s3 -n -Orientation " + ShellQuote(again)), "1\n");
    TRead back;
    back.Params.JpegEnableAdjustOrientation = true;
    Read(again, back);
    EXPECT_EQ(back.Bitmap.GetWidth(), r.Bitmap.GetWidth());
    EXPECT_LE(MaxDifference(back.Bitmap, r.Bitmap), 6);
  }
  // Without the switch the pixels stay as stored and the orientation is reported.
  TRead r;
  Read(WithExif("orient6", "-n -Orientation=6"), r);
  EXPECT_EQ(r.Params.ExifOrientation, 6);
  EXPECT_EQ(r.Bitmap.GetWidth(), 40);
}

TEST_F(JpegExif, ThumbnailReadAloneOrBesideTheImage) {
  const std::string thumb = ThumbSource();
  const std::string file = WithThumb();
  const TPam expected = PamFromCommand("djpeg " + ShellQuote(thumb));

  TRead full;
  Read(file, full);
  ASSERT_FALSE(full.Probe.Failed()) << full.Probe.Reason;
  EXPECT_EQ(full.Rows, 30);
  ASSERT_TRUE(full.Params.ExifBitmap);
  EXPECT_EQ(MaxDifference(*full.Params.ExifBitmap, expected), 0);

  TRead only;
  only.Params.SetGetExifThumbnail(true);
  Read(file, only);
  EXPECT_EQ(only.Rows, 0);
  EXPECT_EQ(MaxDifference(only.Bitmap, expected), 0);
  EXPECT_EQ(only.Params.Width, 40);  // the image's own size stays in the parameters
  EXPECT_TRUE(only.Params.JpegGetExifThumbnail);

  // A file without a thumbnail is read whole instead.
  TRead none;
  none.Params.SetGetExifThumbnail(true);
  Read(WithExif("no-thumb", "-n -Orientation=1"), none);
  EXPECT_EQ(none.Rows, 30);
  EXPECT_EQ(none.Bitmap.GetWidth(), 40);

  // A preview larger than 400 pixels is no thumbnail.
  const std::string big = Fixture("exif-bigthumb-src.jpg", "convert -size 420x10 xc:gray jpg:{out}");
  TRead large;
  Read(WithExif("bigthumb", "'-ThumbnailImage<=" + big + "'"), large);
  EXPECT_FALSE(large.Probe.Failed());
  EXPECT_TRUE(!large.Params.ExifBitmap || large.Params.ExifBitmap->IsEmpty());
}

TEST_F(JpegExif, ResolutionBetweenJfifAndExif) {
  struct TCase {
    std::string Name, Args;
    Integer Dpi;
  } cases[] = {
      {"cm", "-JFIF:all= -XResolution=118.11 -YResolution=118.11 -ResolutionUnit=cm", 299},
      {"inch", "-JFIF:all= -XResolution=72 -YResolution=72 -ResolutionUnit=inches", 72},
      // The JFIF density wins over the EXIF one.
      {"jfifcm", "-JFIF:ResolutionUnit=cm -JFIF:XResolution=100 -JFIF:YResolution=100 -EXIF:XResolution=72 "
                 "-EXIF:YResolution=72 -EXIF:ResolutionUnit=inches",
       254},
      // exiftool gives a new EXIF block 72 DPI of its own; without any resolution it is 1 x 1.
      {"exifdefault", "-JFIF:all= -Make=NoResolution", 72},
      {"none", "-JFIF:all=", 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TRead r;
    Read(WithExif("res-" + c.Name, c.Args), r, c.Name == "cm");  // a parameters-only read as well
    ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
    EXPECT_EQ(r.Params.DpiX, c.Dpi);
    EXPECT_EQ(r.Params.DpiY, c.Dpi);
  }
}

TEST_F(JpegExif, CameraAndGpsTags) {
  const std::string file = WithExif(
      "tags",
      "-Make=Clavorne -Model='Test Body' -DateTimeOriginal='2024:05:06 07:08:09' -ISO=400 -ExposureTime=0.004 "
      "-FNumber=2.8 -FocalLength=35 -Software=tester -Artist=someone -XPTitle=Titel -UserComment=hello "
      "-GPSLatitude=48.5 -GPSLatitudeRef=N -GPSLongitude=9.25 -GPSLongitudeRef=E -GPSAltitude=310 "
      "-GPSAltitudeRef=0 -GPSMapDatum=WGS-84");
  TRead r;
  Read(file, r, true);
  ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
  const TIOParamsVals& p = r.Params;
  EXPECT_EQ(p.ExifMake, "Clavorne");
  EXPECT_EQ(p.ExifModel, "Test Body");
  EXPECT_EQ(p.ExifDateTimeOriginal, "2024:05:06 07:08:09");
  EXPECT_EQ(p.ExifISOSpeedRatings[0], 400);
  EXPECT_DOUBLE_EQ(p.ExifExposureTime, 0.004);
  EXPECT_DOUBLE_EQ(p.ExifFNumber, 2.8);
  EXPECT_DOUBLE_EQ(p.ExifFocalLength, 35);
  EXPECT_EQ(p.ExifSoftware, "tester");
  EXPECT_EQ(p.ExifArtist, "someone");
  EXPECT_EQ(p.ExifXPTitle, u"Titel");
  EXPECT_EQ(p.ExifUserComment, "hello");
  EXPECT_EQ(p.ExifUserCommentCode.substr(0, 5), "ASCII");
  EXPECT_EQ(p.ExifExifVersion, RunOk("exiftool -s3 -n -ExifVersion " + ShellQuote(file)).substr(0, 4));
  EXPECT_EQ(p.GpsLatitudeRef, "N");
  EXPECT_DOUBLE_EQ(p.GpsLatitudeDegrees, 48);
  EXPECT_DOUBLE_EQ(p.GpsLatitudeMinutes, 30);
  EXPECT_EQ(p.GpsLongitudeRef, "E");
  EXPECT_DOUBLE_EQ(p.GpsLongitudeMinutes, 15);
  EXPECT_DOUBLE_EQ(p.GpsAltitude, 310);
  EXPECT_EQ(p.GpsAltitudeRef, "0");
  EXPECT_EQ(p.GpsMapDatum, "WGS-84");
  EXPECT_EQ(p.GpsVersionID, "2.3.0.0");
}

// The APP1 payload of a file as the JPEG reader keeps it.
std::vector<Byte> ExifPayload(const std::string& File) {
  TRead r;
  Read(File, r, true);
  for (Integer i = 0; i < r.Params.JpegMarkerList->Count(); ++i)
    if (r.Params.JpegMarkerList->MarkerType(i) == 0xE1) {
      const Byte* d = r.Params.JpegMarkerList->MarkerData(i);
      return std::vector<Byte>(d, d + r.Params.JpegMarkerList->MarkerLength(i));
    }
  return {};
}

void PutU16(std::vector<Byte>& B, size_t At, Word V) { B[At] = Byte(V); B[At + 1] = Byte(V >> 8); }
void PutU32(std::vector<Byte>& B, size_t At, DWORD V) { for (int k = 0; k < 4; ++k) B[At + k] = Byte(V >> (8 * k)); }

TEST_F(JpegExif, BlocksThatLieAreRefusedOrReadInsideTheirBytes) {
  // Hand-made little-endian blocks: header, then a directory at 8.
  auto block = [](Word Entries) {
    std::vector<Byte> b = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0};
    b.resize(14 + 2 + 12 * size_t(Entries) + 4, 0);
    PutU16(b, 14, Entries);
    return b;
  };
  auto entry = [](std::vector<Byte>& B, Integer I, Word Tag, Word Type, DWORD Count, DWORD Value) {
    const size_t at = 16 + 12 * size_t(I);
    PutU16(B, at, Tag);
    PutU16(B, at + 2, Type);
    PutU32(B, at + 4, Count);
    PutU32(B, at + 8, Value);
  };
  struct TCase {
    std::string Name;
    std::vector<Byte> Data;
    bool Read;
  };
  std::vector<TCase> cases;
  {
    auto b = block(1);
    PutU16(b, 14, 5000);  // more entries than bytes
    cases.push_back({"entry count past the end", b, false});
  }
  {
    auto b = block(1);
    PutU32(b, 10, 0xFFFFFFF0);
    cases.push_back({"first directory outside", b, false});
  }
  {
    auto b = block(2);
    entry(b, 0, 271, 2, 0x40000000, 0xFFFFFF00);  // Make: a gigabyte far away
    entry(b, 1, 34665, 4, 1, 8);                   // the EXIF directory is the page directory again
    PutU32(b, 14 + 2 + 24, 8);                     // and the next directory is itself
    cases.push_back({"values and links that loop or point away", b, true});
  }
  {
    auto b = block(1);
    entry(b, 0, 274, 3, 1, 6);
    b.resize(b.size() - 4);  // no room for the next-directory offset
    cases.push_back({"cut after the entries", b, true});
  }
  for (TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TIOParamsVals p(nullptr);
    p.ExifModel = "kept";
    EXPECT_EQ(IELoadEXIFFromBuffer(c.Data.data(), Integer(c.Data.size()), &p), c.Read);
    EXPECT_EQ(p.ExifModel, c.Read ? "" : "kept");
    EXPECT_TRUE(p.GetExifBitmap()->IsEmpty());
  }

  // A real block from exiftool cut at every length and with bytes overwritten: never a read
  // outside the block (the sanitizer build watches), and the tags that are there stay right.
  const std::vector<Byte> real = ExifPayload(WithThumb());
  ASSERT_GT(real.size(), 100u);
  for (size_t n = 0; n <= real.size(); ++n) {
    std::vector<Byte> cut(real.begin(), real.begin() + n);
    TIOParamsVals p(nullptr);
    IELoadEXIFFromBuffer(cut.data(), Integer(cut.size()), &p);
  }
  std::mt19937 rng(22);
  for (Integer round = 0; round < 300; ++round) {
    std::vector<Byte> bad = real;
    for (Integer k = 0; k < 4; ++k) bad[6 + rng() % (bad.size() - 6)] = Byte(rng());
    TIOParamsVals p(nullptr);
    IELoadEXIFFromBuffer(bad.data(), Integer(bad.size()), &p);
  }
}

}  // namespace
