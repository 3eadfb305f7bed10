// The I/O component's JPEG and TIFF saves write the image's EXIF data as it stands when saved:
// a photo whose orientation, resolution and position were changed reads back changed with
// exiftool (one EXIF block, not the file's old one beside or instead of it), and an image that
// never had EXIF gets a block when the parameters ask for one.
#include <gtest/gtest.h>

#include "imaging/core/ie_exif.h"
#include "imaging/formats/tiff/ie_exif_tiff_reader.h"
#include "imaging/formats/tiff/ie_tiff_writer.h"
#include "tests/imaging/io/io_test_util.h"

using namespace ietest;
using namespace iotest;
using testsupport::Fixture;
using testsupport::RunOk;
using testsupport::ShellQuote;

namespace {

struct TTempDir {
  std::string Path = testsupport::MakeTempDir("exifsave");
  ~TTempDir() { testsupport::RemoveTree(Path); }
  std::string operator/(const std::string& Name) const { return Path + "/" + Name; }
};

class ExifSaves : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureIOUnit();
    Saved = IEExifTiffCodec;
    // Both halves as the program's start-up installs them (other tests swap the codec).
    IERegisterExifTiffReader();
    IERegisterExifTiffWriter();
  }
  void TearDown() override { IEExifTiffCodec = Saved; }
  TIEExifTiffCodec Saved;
};

std::string Exif(const std::string& Path, const std::string& Tags) {
  return RunOk("exiftool -n -s -s -s -f " + Tags + " " + ShellQuote(Path));
}

TEST_F(ExifSaves, ChangedOrientationResolutionAndPositionReadBackChanged) {
  const std::string photo =
      Fixture("exifsave-photo.jpg", "convert " + ShellQuote(SourcePPM()) + " {out} && exiftool -q -q -overwrite_original "
                                    "-Make=Oldcam -Orientation#=3 -XResolution=72 -YResolution=72 -ResolutionUnit=inches "
                                    "-GPSLatitude=10 -GPSLatitudeRef=N -GPSLongitude=20 -GPSLongitudeRef=E {out}");
  TTempDir dir;
  TRecordedIO io;
  io.IO.LoadFromFile(W(photo));
  ASSERT_FALSE(io.IO.Aborting) << io.IO.FailureReason();
  TIOParamsVals* p = io.IO.IOParams();
  ASSERT_TRUE(p->ExifHasEXIFData);
  ASSERT_EQ(p->ExifMake, "Oldcam");
  p->SetExifOrientation(8);
  p->SetDpiX(240);
  p->SetDpiY(240);
  p->GpsLatitudeRef = "S";
  p->GpsLatitudeDegrees = 33;
  p->GpsLongitudeRef = "W";
  p->GpsLongitudeDegrees = 70;
  for (const char* name : {"changed.jpg", "changed.tif"}) {
    SCOPED_TRACE(name);
    const std::string out = dir / name;
    io.IO.SaveToFile(W(out));
    ASSERT_FALSE(io.IO.Aborting) << io.IO.FailureReason();
    EXPECT_EQ(Exif(out, "-Make -Orientation -XResolution -YResolution -GPSLatitude -GPSLongitude"),
              "Oldcam\n8\n240\n240\n-33\n-70\n");
    // One EXIF block: the old one was replaced, not kept beside the new one.
    EXPECT_EQ(RunOk("exiftool -a -s -s -s -Orientation " + ShellQuote(out)), "Rotate 270 CW\n");
  }
  EXPECT_EQ(Exif(dir / "changed.jpg", "-ExifImageWidth -ExifImageHeight"), "23\n13\n");
  const std::string valid = RunOk("exiftool -validate -warning -a " + ShellQuote(dir / "changed.jpg"));
  EXPECT_NE(valid.find("Validate                        : OK"), std::string::npos) << valid;
}

TEST_F(ExifSaves, AnImageWithoutExifGetsABlockWhenAskedFor) {
  TTempDir dir;
  TRecordedIO io;
  io.IO.LoadFromFile(W(SourcePPM()));
  ASSERT_FALSE(io.IO.Aborting) << io.IO.FailureReason();
  TIOParamsVals* p = io.IO.IOParams();
  p->ExifHasEXIFData = true;
  p->ExifMake = "Clavorne";
  p->ExifDateTime = "2026:12:11 06:00:00";
  const std::string out = dir / "new.jpg";
  io.IO.SaveToFile(W(out));
  ASSERT_FALSE(io.IO.Aborting) << io.IO.FailureReason();
  EXPECT_EQ(Exif(out, "-Make -ModifyDate -Orientation"), "Clavorne\n2026:12:11 06:00:00\n1\n");
}

}  // namespace
