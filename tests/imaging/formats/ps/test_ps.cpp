// The PostScript writer against Ghostscript: every page it writes is drawn by gs at one device
// pixel per image pixel and must give the image back (lossless codings exactly, JPEG within its
// loss); the document's structure comments hold what a DSC reader needs to skip the data.
#include <gtest/gtest.h>

#include <regex>

#include "imaging/formats/ps/ie_ps.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/imaging/formats/page_images.h"

using namespace ietest;
using testsupport::MakeTempDir;
using testsupport::RemoveTree;
using testsupport::Run;
using testsupport::ShellQuote;

namespace {

std::string Text(const std::vector<Byte>& Data) { return std::string(Data.begin(), Data.end()); }

// Writes one page on paper of the image's own size, so that 72 dpi is one pixel per point.
std::vector<Byte> WritePage(TIEBitmap& B, Integer Compression, TProgressProbe& Probe, Integer Quality = 80,
                            Byte JpegColorSpace = 2) {
  TIOParamsVals p(nullptr);
  p.PsCompression = Byte(Compression);
  p.PsPaperWidth = B.GetWidth();
  p.PsPaperHeight = B.GetHeight();
  p.JpegQuality = Quality;
  p.JpegColorSpace = JpegColorSpace;
  TMemoryStream m;
  WritePSStream(&m, &B, p, Probe.Progress);
  return StreamBytes(m);
}

// Draws every page of Document with gs into one PPM a page.
std::vector<TPam> Render(const std::vector<Byte>& Document, Integer W, Integer H, Integer Pages = 1) {
  const std::string dir = MakeTempDir("ps");
  WriteFileBytes(dir + "/doc.ps", Document);
  std::string out;
  const int rc = Run("gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=ppmraw -r72 -dFIXEDMEDIA -g" + std::to_string(W) + "x" +
                         std::to_string(H) + " -sOutputFile=" + ShellQuote(dir + "/page%d.ppm") + " " +
                         ShellQuote(dir + "/doc.ps") + " 2>&1",
                     &out);
  EXPECT_EQ(rc, 0) << out;
  std::vector<TPam> pages;
  for (Integer i = 1; i <= Pages; ++i) pages.push_back(ReadPamFile(dir + "/page" + std::to_string(i) + ".ppm"));
  RemoveTree(dir);
  return pages;
}

double MeanDifference(TIEBitmap& B, const TPam& Pam) {
  double sum = 0;
  for (Integer y = 0; y < Pam.Height; ++y)
    for (Integer x = 0; x < Pam.Width; ++x) {
      const TRGB c = B.GetPixelAsRGB(x, y);
      sum += std::abs(c.r - Pam.At8(x, y, 0)) + std::abs(c.g - Pam.At8(x, y, 1)) + std::abs(c.b - Pam.At8(x, y, 2));
    }
  return sum / (3.0 * Pam.Width * Pam.Height);
}

}  // namespace

// The lossless codings come back exactly; JPEG pages come back within the loss, also when the
// record still asks for a grey or CMYK JPEG (left there by loading one), which "false 3" pages
// cannot show.
TEST(PsWriter, GhostscriptDrawsThePageAsTheImage) {
  struct Case {
    const char* Name;
    bool Mono;
    Integer W, H, Compression;
    Byte JpegColorSpace;
    bool Lossy;
  };
  const Case cases[] = {
      {"colour, run length", false, 61, 37, 0, 2, false},
      {"colour, value 1 is run length", false, 8, 300, 1, 2, false},
      {"colour, JPEG", false, 64, 48, 3, 2, true},
      {"colour, JPEG, grey asked", false, 64, 48, 3, 1, true},
      {"colour, JPEG, CMYK asked", false, 64, 48, 3, 3, true},
      {"mono, run length", true, 75, 33, 0, 2, false},
      {"mono, JPEG value is run length", true, 9, 5, 3, 2, false},
      {"mono, fax Group 4", true, 40, 20, 1, 2, false},
      {"mono, fax Group 3 two-dimensional", true, 77, 9, 2, 2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TIEBitmap b;
    if (c.Mono) MakeMonoImage(b, c.W, c.H);
    else MakeColourImage(b, c.W, c.H);
    TProgressProbe probe;
    const std::vector<Byte> doc = WritePage(b, c.Compression, probe, 95, c.JpegColorSpace);
    const bool fax = c.Mono && (c.Compression == 1 || c.Compression == 2);
    ASSERT_FALSE(probe.Failed()) << probe.Reason;
    if (fax) {
      const std::string filter = "currentfile /ASCII85Decode filter << /K " + std::string(c.Compression == 1 ? "-1" : "1") +
                                 " /BlackIs1 true /Columns " + std::to_string(c.W) + " /Rows " + std::to_string(c.H) +
                                 " /EndOfLine false /Uncompressed true /EncodedByteAlign false /EndOfBlock false >> "
                                 "/CCITTFaxDecode filter\r\n%%BeginData";
      EXPECT_NE(Text(doc).find(filter), std::string::npos);
    }
    const TPam page = Render(doc, c.W, c.H).front();
    ASSERT_EQ(page.Width, c.W);
    ASSERT_EQ(page.Height, c.H);
    if (c.Lossy) {
      // gs decodes the JPEG as libjpeg's own tool does, up to the rounding of their colour
      // conversions; the page as a whole stays near the image.
      EXPECT_LE(MaxDifference(page, JpegAsDecoded(b, 95)), 6);
      EXPECT_LE(MeanDifference(b, page), 30.0);
    } else {
      EXPECT_EQ(MaxDifference(b, page), 0);
    }
  }
}

// The texts of a page: the fit on the default paper, the operators of each coding, and the data
// size announced by "%%BeginData:", which must be every byte up to "%%EndData" so that a
// document reader can skip the data by it.
TEST(PsWriter, PageTextsAndDataSize) {
  TIEBitmap wide;
  MakeColourImage(wide, 1190, 421);
  TIOParamsVals p(nullptr);
  TProgressProbe probe;
  TMemoryStream m;
  p.PsCompression = 0;
  WritePSStream(&m, &wide, p, probe.Progress);
  ASSERT_FALSE(probe.Failed()) << probe.Reason;
  const std::string doc = Text(StreamBytes(m));
  EXPECT_EQ(doc.rfind("%!PS-Adobe-3.0\r\n", 0), 0u);
  for (const char* line : {"%%Title: No Title\r\n", "%%Pages: 1     \r\n", "%%BoundingBox: 0 0 594 841\r\n",
                           "%%Page: 1 1\r\n0 842 translate\r\n595 -210 scale\r\n1190 421 8\r\n[ 1190 0 0 421 0 0 ]\r\n",
                           "/rstr 1190 string def\r\n", "true 3\r\n", "%%EndData\r\nshowpage\r\n%%Trailer\r\nend\r\n%%EOF\r\n"})
    EXPECT_NE(doc.find(line), std::string::npos) << line;
  EXPECT_NE(doc.find(" ASCII Bytes\r\ncolorimage\r\n"), std::string::npos);
  EXPECT_TRUE(std::regex_search(doc, std::regex("%%CreationDate: [A-Z][a-z]{2} [A-Z][a-z]{2} \\d\\d \\d\\d:\\d\\d:\\d\\d \\d{4}\r\n")));
  // Three ASCII85 blocks a row, one for each channel.
  size_t blocks = 0;
  for (size_t at = doc.find("~>"); at != std::string::npos; at = doc.find("~>", at + 2)) ++blocks;
  EXPECT_EQ(blocks, 421u * 3);

  struct Case {
    const char* Name;
    bool Mono;
    Integer Compression;
    const char* Operator;
  };
  const Case cases[] = {{"colour run length", false, 0, "colorimage"},
                        {"colour JPEG", false, 3, "colorimage"},
                        {"mono run length", true, 0, "image"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TIEBitmap b;
    if (c.Mono) MakeMonoImage(b, 300, 200);
    else MakeColourImage(b, 300, 200);
    TProgressProbe pr;
    const std::string page = Text(WritePage(b, c.Compression, pr));
    ASSERT_FALSE(pr.Failed()) << pr.Reason;
    std::smatch match;
    ASSERT_TRUE(std::regex_search(page, match, std::regex("%%BeginData:      (\\d+) ASCII Bytes\r\n")));
    const size_t start = size_t(match.position(0) + match.length(0));
    const size_t count = std::stoul(match[1].str());
    EXPECT_EQ(page.compare(start, std::string(c.Operator).size() + 2, std::string(c.Operator) + "\r\n"), 0);
    ASSERT_LE(start + count, page.size());
    EXPECT_EQ(page.compare(start + count, 11, "%%EndData\r\n"), 0) << "the data size is off";
    if (c.Compression == 3) {
      EXPECT_NE(page.find("/DCTDecode filter\r\nfalse 3\r\n%%BeginData"), std::string::npos);
    }
    if (c.Mono) {
      EXPECT_NE(page.find("/RunLengthDecode filter\r\n%%BeginData"), std::string::npos);
    }
  }
}

// Pages added one after another into one document: the count line is rewritten in place, each
// page is numbered, the trailer follows the last, and gs draws both pages.
TEST(PsWriter, MultiPageDocument) {
  TIEBitmap first, second;
  MakeColourImage(first, 50, 30);
  MakeMonoImage(second, 50, 30);
  TIOParamsVals p(nullptr);
  p.PsCompression = 0;
  p.PsPaperWidth = 50;
  p.PsPaperHeight = 30;
  p.PsTitle = "Two pages";
  TMemoryStream m;
  TProgressProbe probe(true);
  TIEPSDocument* doc = PSCreateDocument(&m, p);
  PSAddPage(doc, &m, &first, p, probe.Progress);
  EXPECT_EQ(p.SamplesPerPixel, 3);
  // A page that cannot be written leaves no page and no count behind.
  TIEBitmap empty;
  TProgressProbe refused;
  PSAddPage(doc, &m, &empty, p, refused.Progress);
  EXPECT_TRUE(refused.Failed());
  PSAddPage(doc, &m, &second, p, probe.Progress);
  EXPECT_EQ(p.BitsPerSample, 1);
  EXPECT_EQ(p.SamplesPerPixel, 1);
  PSCloseDocument(doc, &m);
  PSCloseDocument(nullptr, &m);
  ASSERT_FALSE(probe.Failed()) << probe.Reason;
  EXPECT_FALSE(probe.Reports.empty());
  const std::vector<Byte> bytes = StreamBytes(m);
  const std::string text = Text(bytes);
  EXPECT_NE(text.find("%%Title: Two pages\r\n"), std::string::npos);
  EXPECT_NE(text.find("%%Pages: 2     \r\n"), std::string::npos);
  EXPECT_NE(text.find("%%Page: 2 2\r\n"), std::string::npos);
  EXPECT_LT(text.find("%%Page: 2 2"), text.find("%%Trailer"));
  EXPECT_EQ(text.size() - text.rfind("showpage\r\n%%Trailer\r\nend\r\n%%EOF\r\n"), 33u);
  const std::vector<TPam> pages = Render(bytes, 50, 30, 2);
  EXPECT_EQ(MaxDifference(first, pages[0]), 0);
  EXPECT_EQ(MaxDifference(second, pages[1]), 0);
}
