// The I/O component's PostScript and PDF saves and its raw pixel load: saves by extension and
// by stream make documents the peer tools read, other pixel formats are converted first, and a
// save that fails (a refused page, a full disk) leaves the target as it was with a reason that
// names the file; the raw load fills the image the caller sized.
#include <gtest/gtest.h>

#include "imaging/core/ie_helpers.h"
#include "tests/imaging/formats/page_images.h"
#include "tests/imaging/io/io_test_util.h"
#include "tests/support/full_disk.h"

using namespace ietest;
using namespace iotest;
using testsupport::RunOk;
using testsupport::ShellQuote;

namespace {

const std::vector<Byte> kOldBytes(700, Byte('o'));

// A grey ramp the saves must turn into colour pages.
void GreyImage(TIEBitmap& B) {
  B.Allocate(30, 20, ie8g);
  for (Integer y = 0; y < 20; ++y)
    for (Integer x = 0; x < 30; ++x) static_cast<Byte*>(B.GetScanline(y))[x] = Byte(x * 8 + y);
}

}  // namespace

TEST(ZodivErIOPages, SavesByExtensionAndStream) {
  const std::string dir = testsupport::MakeTempDir("pages");
  for (const char* ext : {"ps", "eps", "pdf"}) {
    SCOPED_TRACE(ext);
    const std::string file = dir + "/grey." + ext;
    TRecordedIO r;
    GreyImage(*r.IO.IEBitmap());
    r.IO.IOParams()->PsPaperWidth = r.IO.IOParams()->PdfPaperWidth = 30;
    r.IO.IOParams()->PsPaperHeight = r.IO.IOParams()->PdfPaperHeight = 20;
    r.IO.SaveToFile(W(file));
    ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
    r.ExpectEndedOnce();
    EXPECT_EQ(r.IO.IOParams()->FileType, std::string(ext) == "pdf" ? ioPDF : ioPS);
    EXPECT_EQ(r.IO.IEBitmap()->GetPixelFormat(), ie24RGB);
    EXPECT_EQ(r.IO.IOParams()->SamplesPerPixel, 3);
    const std::string page = dir + "/page.ppm";
    if (std::string(ext) == "pdf") {
      RunOk("qpdf --check " + ShellQuote(file));
      EXPECT_NE(RunOk("pdfimages -list " + ShellQuote(file)).find("30    20  rgb     3   8  image"), std::string::npos);
    } else {
      RunOk("gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=ppmraw -r72 -dFIXEDMEDIA -g30x20 -sOutputFile=" +
            ShellQuote(page) + " " + ShellQuote(file));
      EXPECT_EQ(MaxDifference(*r.IO.IEBitmap(), ReadPamFile(page)), 0);
    }
  }
  TRecordedIO r;
  MakeColourImage(*r.IO.IEBitmap(), 16, 16);
  TMemoryStream ps, pdf;
  r.IO.SaveToStreamPS(&ps);
  r.IO.SaveToStreamPDF(&pdf);
  ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
  EXPECT_EQ(std::string(static_cast<const char*>(ps.Memory()), 14), "%!PS-Adobe-3.0");
  EXPECT_EQ(std::string(static_cast<const char*>(pdf.Memory()), 8), "%PDF-1.4");
  testsupport::RemoveTree(dir);
}

// An empty image makes no page, and a full disk stops any page: the old file stays, nothing else
// is left, and the reason names the file and the cause.
TEST(ZodivErIOPages, AFailedSaveLeavesTheTargetAsItWas) {
  for (bool full : {false, true})
    for (const char* ext : {"ps", "pdf"}) {
      SCOPED_TRACE(std::string(ext) + (full ? ", full disk" : ", empty image"));
      std::unique_ptr<testsupport::TFullDisk> disk;
      std::string dir;
      if (full) {
        disk = std::make_unique<testsupport::TFullDisk>();
        dir = disk->Path();
      } else {
        dir = testsupport::MakeTempDir("pages");
      }
      const std::string target = dir + "/old." + ext;
      WriteFileBytes(target, kOldBytes);
      TRecordedIO r;
      if (full) MakeColourImage(*r.IO.IEBitmap(), 300, 200);
      else r.IO.IEBitmap()->Allocate(0, 0, ie24RGB);
      if (full) disk->Fill(4096);
      r.IO.SaveToFile(W(target));
      EXPECT_TRUE(r.IO.Aborting);
      EXPECT_EQ(r.AbortingAtFinish, std::vector<bool>{true});
      EXPECT_EQ(ReadWholeFile(target), kOldBytes);
      const std::string reason = r.IO.FailureReason();
      EXPECT_NE(reason.find("\"" + target + "\""), std::string::npos) << reason;
      EXPECT_NE(reason.find(full ? disk->Cause() : std::string("empty image")), std::string::npos) << reason;
      if (full) {
        EXPECT_EQ(disk->Entries(), std::vector<std::string>{std::string("old.") + ext});
      } else {
        testsupport::RemoveTree(dir);
      }
    }
}

// The raw load keeps the caller's size and pixel format, by file and by stream; an empty name
// does nothing at all.
TEST(ZodivErIOPages, RawPixelsLoadIntoTheImageTheCallerSized) {
  const std::string file = testsupport::Fixture(
      "io-raw-5x3.raw", std::string("python3 ") + CLAVORNE_SOURCE_DIR +
                            "/tests/imaging/formats/tools/make_raw.py {out} 5 3 3 8 32 0 rgb 10");
  const std::vector<Byte> data = ReadWholeFile(file);
  for (int way = 0; way < 2; ++way) {
    SCOPED_TRACE(way);
    TRecordedIO r;
    r.IO.IEBitmap()->Allocate(5, 3, ie24RGB);
    r.IO.IOParams()->BmpRawRowAlign = 32;
    r.IO.IOParams()->BmpRawHeaderSize = 10;
    TMemoryStream m;
    FillStream(m, data);
    if (way == 0) r.IO.LoadFromFileBMPRAW(W(file));
    if (way == 1) r.IO.LoadFromStreamBMPRAW(&m);
    ASSERT_FALSE(r.IO.Aborting) << r.IO.FailureReason();
    EXPECT_EQ(r.Finishes(), 1);
    EXPECT_EQ(r.IO.IOParams()->FileType, ioBMPRAW);
    EXPECT_EQ(WideToAnsi(r.IO.IOParams()->FileName), way == 1 ? std::string() : file);
    ASSERT_EQ(r.IO.IEBitmap()->GetWidth(), 5);
    // Pixel (4, 2): samples (4*37 + 2*101 + c*59) mod 256 for red, green, blue.
    EXPECT_EQ(r.IO.IEBitmap()->GetPixelAsRGB(4, 2), IECreateRGB(94, 153, 212));
  }
  TRecordedIO r;
  r.IO.IEBitmap()->Allocate(5, 3, ie24RGB);
  r.IO.LoadFromFileBMPRAW(WideString());
  EXPECT_TRUE(r.Events.empty());
}
