// EXIF and GPS directories as we write them, into JPEG's APP1 block and into TIFF pages, judged
// by exiftool: -validate finds nothing to warn about, and the values it reads are the values
// we wrote, negative APEX values, reference letters and the thumbnail included; fields the
// record does not hold are not written at all.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "imaging/core/ie_exif.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_markers.h"
#include "imaging/core/ie_tags_handler.h"
#include "imaging/formats/ie_le_bytes.h"
#include "imaging/formats/compression/ie_lzw.h"
#include "imaging/formats/jpeg/ie_jpeg.h"
#include "imaging/formats/tiff/ie_exif_tiff_reader.h"
#include "imaging/formats/tiff/ie_exif_writer.h"
#include "imaging/formats/tiff/ie_tiff_writer.h"
#include "tests/imaging/formats/codec_test_util.h"

using namespace ietest;
using testsupport::RunOk;
using testsupport::ShellQuote;

namespace {

struct TTempDir {
  std::string Path = testsupport::MakeTempDir("exifw");
  ~TTempDir() { testsupport::RemoveTree(Path); }
  std::string operator/(const std::string& Name) const { return Path + "/" + Name; }
};

class ExifWriter : public ::testing::Test {
 protected:
  void SetUp() override {
    Saved = IEExifTiffCodec;
    IERegisterExifTiffReader();
    IERegisterExifTiffWriter();
    IEInstallLZWCoders();
  }
  void TearDown() override { IEExifTiffCodec = Saved; }
  TIEExifTiffCodec Saved;
};

// A camera's record: texts, exposure with negative APEX values, and a position south-west of
// the equator with its references.
void FillCamera(TIOParamsVals& P, bool Gps) {
  P.ExifHasEXIFData = true;
  P.ExifMake = "Clavorne";
  P.ExifModel = "Test Body 2";
  P.ExifDateTime = "2026:12:11 06:00:00";
  P.SetTiffOrientation(6);
  P.SetExifXResolution(118.11 * 2.54);
  P.SetExifYResolution(118.11 * 2.54);
  P.ExifExposureTime = 0.004;
  P.ExifFNumber = 2.8;
  P.ExifISOSpeedRatings[0] = 200;
  P.ExifShutterSpeedValue = -1.5;
  P.ExifBrightnessValue = -2.25;
  P.ExifExposureBiasValue = -0.7;
  P.ExifDateTimeOriginal = "2026:12:10 18:30:00";
  P.ExifUserCommentCode = AnsiString("ASCII\0\0\0", 8);
  P.ExifUserComment = "hello";
  P.ExifRating = 0;
  P.ExifXPTitle = u"Harbour";
  if (!Gps) return;
  P.GpsVersionID = "2.2.0.0";
  P.GpsLatitudeRef = "S";
  P.GpsLatitudeDegrees = 33;
  P.GpsLatitudeMinutes = 52;
  P.GpsLatitudeSeconds = 4.5;
  P.GpsLongitudeRef = "W";
  P.GpsLongitudeDegrees = 70;
  P.GpsLongitudeMinutes = 40;
  P.GpsLongitudeSeconds = 0;
  P.GpsAltitudeRef = "1";
  P.GpsAltitude = 12.5;
  P.GpsDestLatitudeRef = "N";
  P.GpsDestLongitudeRef = "E";
  P.GpsMapDatum = "WGS-84";
  P.GpsDateStamp = "2026:12:10";
  P.GpsTimeStampHour = 18;
  P.GpsTimeStampMinute = 30;
}

std::string Exif(const std::string& Path, const std::string& Tags) {
  return RunOk("exiftool -n -s -s -s -f " + Tags + " " + ShellQuote(Path));
}

// exiftool -validate has nothing to say but that the Windows rating and title tags are not
// part of the standards (they are Microsoft's, and meant to be there).
void ExpectValid(const std::string& Path) {
  const std::string out = RunOk("exiftool -validate -warning -a " + ShellQuote(Path));
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("Validate ", 0) == 0) continue;
    EXPECT_TRUE(line.find("Non-standard IFD0 tag 0x4746 Rating") != std::string::npos ||
                line.find("Non-standard IFD0 tag 0x9c9b XPTitle") != std::string::npos)
        << line;
  }
}

// A JPEG of Image carrying Block as its APP1 marker.
void WriteJpegWithBlock(const std::string& Path, TIEBitmap& Image, void* Block, Integer Length) {
  TIOParamsVals p(nullptr);
  p.JpegMarkerList->AddMarker(0xE1, Block, Word(Length));
  TMemoryStream m;
  TProgressProbe probe;
  WriteJPEGStream(&m, &Image, p, probe.Progress);
  ASSERT_FALSE(probe.Failed()) << probe.Reason;
  WriteFileBytes(Path, StreamBytes(m));
}

TEST_F(ExifWriter, JpegBlockIsValidAndExiftoolReadsWhatWasWritten) {
  TTempDir dir;
  TIOParamsVals p(nullptr);
  FillCamera(p, true);
  p.ExifExifImageWidth = 40;
  p.ExifExifImageHeight = 30;
  TIEBitmap* thumb = p.GetExifBitmap();
  thumb->Allocate(32, 24, ie24RGB);
  for (Integer y = 0; y < 24; ++y)
    for (Integer x = 0; x < 32; ++x) thumb->SetPixelRGB(x, y, IECreateRGB(Byte(x * 8), Byte(y * 10), 90));
  void* block = nullptr;
  Integer length = 0;
  IESaveEXIFToBuffer(&p, block, length);
  ASSERT_TRUE(block);
  ASSERT_GT(length, 6 + 8);
  EXPECT_EQ(std::string(static_cast<char*>(block), 10), std::string("Exif\0\0II*\0", 10));
  TIEBitmap image(40, 30, ie24RGB);
  image.Fill(0x808080);
  WriteJpegWithBlock(dir / "camera.jpg", image, block, length);

  // Our own reader gets the same record back.
  TIOParamsVals back(nullptr);
  ASSERT_TRUE(IELoadEXIFFromBuffer(block, length, &back));
  std::free(block);
  EXPECT_EQ(back.ExifMake, "Clavorne");
  EXPECT_EQ(back.TiffOrientation, 6);
  EXPECT_DOUBLE_EQ(back.ExifExposureBiasValue, -0.7);
  EXPECT_EQ(back.GpsDestLatitudeRef, "N");
  EXPECT_EQ(back.GpsDestLongitudeRef, "E");
  EXPECT_EQ(back.ExifBitmap->GetWidth(), 24);  // turned upright by the orientation 6

  const std::string file = dir / "camera.jpg";
  ExpectValid(file);
  struct TCase {
    std::string Tag, Value;
  };
  const std::vector<TCase> cases = {
      {"Make", "Clavorne"}, {"Model", "Test Body 2"}, {"Orientation", "6"},
      {"XResolution", "300"}, {"YResolution", "300"}, {"ResolutionUnit", "2"},
      {"ExposureTime", "0.004"}, {"FNumber", "2.8"}, {"ISO", "200"},
      // Signed APEX values: a slow shutter (2^1.5 seconds), a dark scene, a negative bias.
      {"ShutterSpeedValue", "2.82842712474619"}, {"BrightnessValue", "-2.25"}, {"ExposureCompensation", "-0.7"},
      {"UserComment", "hello"}, {"Rating", "0"}, {"XPTitle", "Harbour"},
      {"GPSVersionID", "2 2 0 0"}, {"GPSLatitudeRef", "S"}, {"GPSLatitude", "-33.8679166666667"},
      {"GPSLongitudeRef", "W"}, {"GPSLongitude", "-70.6666666666667"}, {"GPSAltitudeRef", "1"},
      {"GPSAltitude", "-12.5"}, {"GPSDestLatitudeRef", "N"}, {"GPSDestLongitudeRef", "E"},
      {"GPSMapDatum", "WGS-84"}, {"GPSDateStamp", "2026:12:10"}, {"GPSTimeStamp", "18:30:00"},
      {"ExifImageWidth", "40"}, {"ExifImageHeight", "30"},
      {"ThumbnailLength", ""},
      // Not in the record, so not in the file: no zeros standing for "unknown".
      {"FocalLength", "-"}, {"Flash", "-"}, {"WhiteBalance", "-"}, {"DigitalZoomRatio", "-"},
      {"MeteringMode", "-"}, {"GPSSpeed", "-"}, {"GPSSpeedRef", "-"}, {"WhitePoint", "-"},
      {"FocalPlaneXResolution", "-"}, {"GPSImgDirectionRef", "-"},
  };
  std::string tags;
  for (const TCase& c : cases) tags += " -" + c.Tag;
  std::istringstream values(Exif(file, tags));
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Tag);
    std::string v;
    std::getline(values, v);
    if (c.Value.empty()) EXPECT_NE(v, "-");
    else EXPECT_EQ(v, c.Value);
  }
  // The thumbnail is a JPEG of the size it had.
  EXPECT_EQ(RunOk("exiftool -b -ThumbnailImage " + ShellQuote(file) + " | identify -format '%w %h' -"), "32 24");
  // Reference letters are counted with their terminating zero, as ASCII is.
  const std::string verbose = RunOk("exiftool -v3 " + ShellQuote(file));
  for (const char* ref : {"GPSLatitudeRef", "GPSLongitudeRef", "GPSDestLatitudeRef", "GPSDestLongitudeRef"}) {
    const size_t at = verbose.find(std::string(ref) + " = ");
    ASSERT_NE(at, std::string::npos) << ref;
    EXPECT_NE(verbose.substr(at, 120).find("(2 bytes, string[2])"), std::string::npos) << verbose.substr(at, 120);
  }
}

TEST_F(ExifWriter, TiffPageCarriesTheExifDirectoryExiftoolValidates) {
  TTempDir dir;
  TIEBitmap b(30, 20, ie24RGB);
  b.Fill(0x336699);
  TIOParamsVals p(nullptr);
  FillCamera(p, false);
  p.TiffCompression = 5;
  TMemoryStream m;
  TProgressProbe probe;
  EXPECT_EQ(WriteTIFFStream(&m, false, &b, p, probe.Progress), 1);
  ASSERT_FALSE(probe.Failed()) << probe.Reason;
  const std::string file = dir / "camera.tif";
  WriteFileBytes(file, StreamBytes(m));
  ExpectValid(file);
  EXPECT_EQ(Exif(file, "-Make -Orientation -XResolution -ExposureCompensation -ShutterSpeedValue -FocalLength"),
            "Clavorne\n6\n300\n-0.7\n2.82842712474619\n-\n");
  std::string out;
  EXPECT_EQ(testsupport::Run("tiffinfo -D " + ShellQuote(file) + " 2>/dev/null", &out), 0);
  EXPECT_NE(out.find("EXIFIFDOffset"), std::string::npos) << out;
}

TEST_F(ExifWriter, MakerNoteTravelsWithItsDataInEitherByteOrder) {
  for (bool little : {true, false}) {
    SCOPED_TRACE(little ? "II" : "MM");
    auto put16 = [&](std::vector<Byte>& v, Word w) {
      if (little) v.insert(v.end(), {Byte(w), Byte(w >> 8)});
      else v.insert(v.end(), {Byte(w >> 8), Byte(w)});
    };
    auto put32 = [&](std::vector<Byte>& v, DWORD d) {
      put16(v, Word(little ? d : d >> 16));
      put16(v, Word(little ? d >> 16 : d));
    };
    // Three entries: a SHORT inline, a text stored after the table, and a block too large to
    // carry (it is left out).
    std::vector<Byte> note;
    put16(note, 3);
    put16(note, 1), put16(note, 3), put32(note, 1), put16(note, 7), put16(note, 0);
    put16(note, 2), put16(note, 2), put32(note, 8), put32(note, 2 + 36);
    put16(note, 3), put16(note, 7), put32(note, 4000), put32(note, 2 + 36);
    for (char c : std::string("Maker1\0\0", 8)) note.push_back(Byte(c));
    TIOParamsVals p(nullptr);
    p.ExifHasEXIFData = true;
    p.ExifMakerNote->LittleEndian = little;
    p.ExifMakerNote->Stream()->WriteBuffer(note.data(), Int64(note.size()));
    p.ExifMakerNote->ReadDirectory();
    void* block = nullptr;
    Integer length = 0;
    IESaveEXIFToBuffer(&p, block, length);
    ASSERT_TRUE(block);
    TIOParamsVals back(nullptr);
    ASSERT_TRUE(IELoadEXIFFromBuffer(block, length, &back));
    std::free(block);
    TIETagsHandler* h = back.ExifMakerNote;
    ASSERT_EQ(h->EntryCount(), 2);
    EXPECT_EQ(IEGetLE16(h->Entry(0)), 1);
    EXPECT_EQ(IEGetLE16(h->Entry(0) + 8), 7);
    const DWORD at = IEGetLE32(h->Entry(1) + 8);
    ASSERT_LE(Int64(at) + 8, h->Stream()->Size());
    EXPECT_EQ(std::string(static_cast<const char*>(h->Stream()->Memory()) + at, 6), "Maker1");
  }
}

TEST_F(ExifWriter, RationalsKeepAsManyDecimalsAsTheyCan) {
  struct TCase {
    double Value;
    Integer Numerator, Denominator;
  };
  for (const TCase& c : {TCase{0.5, 500000, 1000000}, {5000.25, 500025000, 100000}, {-0.7, -700000, 1000000},
                         {3e9, 2147483640, 1}, {-3e9, -2147483640, 1}}) {
    SCOPED_TRACE(c.Value);
    Integer den = 0;
    EXPECT_EQ(TIFFRationalFromFloat(den, c.Value), c.Numerator);
    EXPECT_EQ(den, c.Denominator);
  }
  EXPECT_EQ(IEDottedTextToBytes("2.2.0.0"), (std::vector<Byte>{2, 2, 0, 0}));
  EXPECT_EQ(IEDottedTextToBytes("2.x.300"), (std::vector<Byte>{2, 0, 0}));
}

}  // namespace
