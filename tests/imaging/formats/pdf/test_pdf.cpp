// The PDF writer against poppler and qpdf: every document passes qpdf's check, pdfimages lists
// its images as written, and pdftoppm draws each page at one pixel per point as the image
// (lossless codings exactly, JPEG as libjpeg decodes the same stream).
#include <gtest/gtest.h>

#include <regex>

#include "imaging/formats/pdf/ie_pdf.h"
#include "tests/imaging/formats/page_images.h"

using namespace ietest;
using testsupport::MakeTempDir;
using testsupport::RemoveTree;
using testsupport::Run;
using testsupport::RunOk;
using testsupport::ShellQuote;

namespace {

std::string Text(const std::vector<Byte>& Data) { return std::string(Data.begin(), Data.end()); }

std::vector<Byte> WriteDocument(TIEBitmap& B, TIOParamsVals& P, TProgressProbe& Probe) {
  TMemoryStream m;
  WritePDFStream(&m, &B, P, Probe.Progress);
  return StreamBytes(m);
}

// What the tools say about a document: qpdf's check, pdfimages' list and the pages drawn.
struct TChecked {
  std::string Check, Images;
  std::vector<TPam> Pages;
};

TChecked CheckWithTools(const std::vector<Byte>& Document, Integer Pages) {
  TChecked out;
  const std::string dir = MakeTempDir("pdf");
  const std::string file = dir + "/doc.pdf";
  WriteFileBytes(file, Document);
  EXPECT_EQ(Run("qpdf --check " + ShellQuote(file) + " 2>&1", &out.Check), 0) << out.Check;
  out.Images = RunOk("pdfimages -list " + ShellQuote(file));
  // Below four device pixels a sample poppler interpolates between samples; from four on it
  // repeats each, so the centre of every 4 x 4 block is the sample itself.
  RunOk("pdftoppm -r 288 " + ShellQuote(file) + " " + ShellQuote(dir + "/page"));
  for (Integer i = 1; i <= Pages; ++i) {
    const TPam big = ReadPamFile(dir + "/page-" + std::to_string(i) + ".ppm");
    TPam page;
    page.Width = big.Width / 4;
    page.Height = big.Height / 4;
    page.Depth = big.Depth;
    page.MaxVal = big.MaxVal;
    for (Integer y = 0; y < page.Height; ++y)
      for (Integer x = 0; x < page.Width; ++x)
        for (Integer c = 0; c < big.Depth; ++c) page.Samples.push_back(big.At(4 * x + 2, 4 * y + 2, c));
    out.Pages.push_back(page);
  }
  RemoveTree(dir);
  return out;
}

// The line of pdfimages' list for image Index (from 0).
std::vector<std::string> ImageColumns(const std::string& List, size_t Index) {
  std::istringstream in(List);
  std::string line;
  std::getline(in, line);
  std::getline(in, line);
  for (size_t i = 0; i <= Index && std::getline(in, line);) {
    if (i++ < Index) continue;
    std::istringstream cols(line);
    std::vector<std::string> v;
    for (std::string c; cols >> c;) v.push_back(c);
    return v;
  }
  return {};
}

}  // namespace

// Each coding of each kind of image: the document is sound, its image is listed with its size,
// colour and depth, and the page shows the image. A record that still asks for a CMYK JPEG (as
// loading one leaves it) gets a colour JPEG, which the page's colour space can show.
TEST(PdfWriter, PopplerDrawsThePageAsTheImage) {
  struct Case {
    const char* Name;
    bool Mono;
    Integer W, H, Compression;
    Byte JpegColorSpace;
    const char* Colour;  // pdfimages' words
    const char* Encoding;
  };
  const Case cases[] = {
      {"colour, none", false, 61, 37, 0, 2, "rgb", "image"},
      {"colour, value 2 is none", false, 20, 300, 2, 2, "rgb", "image"},
      {"colour, value 9 is none", false, 20, 30, 9, 2, "rgb", "image"},
      {"colour, LZW", false, 97, 41, 5, 2, "rgb", "image"},
      {"colour, JPEG", false, 64, 48, 4, 2, "rgb", "jpeg"},
      {"colour, JPEG, CMYK asked", false, 64, 48, 4, 3, "rgb", "jpeg"},
      {"colour, JPEG, grey", false, 64, 48, 4, 1, "gray", "jpeg"},
      {"mono, none", true, 75, 33, 0, 2, "gray", "image"},
      {"mono, run length", true, 130, 20, 1, 2, "gray", "image"},
      {"mono, LZW", true, 9, 70, 5, 2, "gray", "image"},
      {"mono, value 6 is none", true, 9, 7, 6, 2, "gray", "image"},
      {"mono, fax Group 4", true, 40, 20, 2, 2, "gray", "ccitt"},
      {"mono, fax Group 3 two-dimensional", true, 77, 9, 3, 2, "gray", "ccitt"},
      {"mono, value 4 is fax Group 3", true, 17, 4, 4, 2, "gray", "ccitt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TIEBitmap b;
    if (c.Mono) MakeMonoImage(b, c.W, c.H);
    else MakeColourImage(b, c.W, c.H);
    TIOParamsVals p(nullptr);
    p.PdfCompression = Byte(c.Compression);
    p.PdfPaperWidth = c.W;
    p.PdfPaperHeight = c.H;
    p.JpegQuality = 95;
    p.JpegColorSpace = c.JpegColorSpace;
    TProgressProbe probe(true);
    const std::vector<Byte> doc = WriteDocument(b, p, probe);
    const bool fax = c.Mono && c.Compression >= 2 && c.Compression <= 4;
    ASSERT_FALSE(probe.Failed()) << probe.Reason;
    EXPECT_FALSE(probe.Reports.empty());
    if (fax) {
      const std::string parms = "/Filter /CCITTFaxDecode\n/DecodeParms << /K " + std::string(c.Compression == 2 ? "-1" : "1") +
                                "\n/BlackIs1 true\n/Columns " + std::to_string(c.W) + "\n/Rows " + std::to_string(c.H) +
                                "\n/EndOfLine false\n/Uncompressed true\n/EncodedByteAlign false\n/EndOfBlock false\n>>\n"
                                "/ColorSpace /DeviceGray\n/BitsPerComponent 1\n";
      EXPECT_NE(Text(doc).find(parms), std::string::npos);
    }
    EXPECT_EQ(p.BitsPerSample, c.Mono ? 1 : 8);
    EXPECT_EQ(p.SamplesPerPixel, c.Mono ? 1 : 3);
    EXPECT_EQ(p.JpegColorSpace, c.JpegColorSpace);
    const TChecked tools = CheckWithTools(doc, 1);
    const std::vector<std::string> cols = ImageColumns(tools.Images, 0);
    ASSERT_GE(cols.size(), 9u) << tools.Images;
    EXPECT_EQ(cols[3], std::to_string(c.W));
    EXPECT_EQ(cols[4], std::to_string(c.H));
    EXPECT_EQ(cols[5], c.Colour);
    EXPECT_EQ(cols[7], c.Mono ? "1" : "8");
    EXPECT_EQ(cols[8], c.Encoding);
    const TPam& page = tools.Pages.front();
    if (c.Compression == 4) {
      EXPECT_LE(MaxDifference(page, JpegAsDecoded(b, 95, c.JpegColorSpace == 1 ? 1 : 2)), 6);
    } else {
      EXPECT_EQ(MaxDifference(b, page), 0);
    }
  }
}

// The objects of a one-page document in their order and with their texts: the image fitted to
// the default paper, the image dictionary's keys, the information that was given (and only
// that) with the creation date, and the trailer's root and information.
TEST(PdfWriter, OnePageObjects) {
  TIEBitmap b;
  MakeColourImage(b, 1190, 421);
  TIOParamsVals p(nullptr);
  p.PdfTitle = "Sheet (1)";
  p.PdfCreator = "Clavorne Pro";
  TProgressProbe probe;
  const std::string doc = Text(WriteDocument(b, p, probe));
  ASSERT_FALSE(probe.Failed()) << probe.Reason;
  const std::string image = "/Type /XObject\n/Subtype /Image\n/Length " + std::to_string(1190 * 421 * 3) +
                            "\n/ColorSpace /DeviceRGB\n/BitsPerComponent 8\n/Width 1190\n/Height 421\n>>\nstream\n";
  for (const std::string& part :
       {std::string("%PDF-1.4\n"), std::string("\n1 0 obj\n<< /Type /Catalog\n/Pages 6 0 R\n>>\nendobj\n"),
        std::string("2 0 obj\n<< /ProcSet [/PDF /ImageB ]\n/XObject << /lm1 3 0 R\n>>\n>>\nendobj\n"),
        "3 0 obj\n<< " + image, std::string("4 0 obj\n<< /Length 32\n>>\nstream\nq\n595 0 0 210 0 632 cm\n/lm1 Do\nQ\nendstream"),
        std::string("5 0 obj\n<< /Type /Page\n/Resources 2 0 R\n/MediaBox [0 0 595 842 ]\n/Contents 4 0 R\n/Parent 6 0 R\n>>"),
        std::string("6 0 obj\n<< /Type /Pages\n/Kids [5 0 R ]\n/Count 1\n>>"), std::string("7 0 obj\n<< /Title (Sheet \\(1\\))\n/Creator (Clavorne Pro)\n/CreationDate (D:"),
        std::string("/Size 8\n/Root 1 0 R\n/Info 7 0 R\n")})
    EXPECT_NE(doc.find(part), std::string::npos) << part;
  EXPECT_TRUE(std::regex_search(doc, std::regex("/CreationDate \\(D:\\d{14}\\)\n>>")));
  for (const char* absent : {"/Author", "/Subject", "/Keywords", "/Producer", "8 0 obj"})
    EXPECT_EQ(doc.find(absent), std::string::npos) << absent;
  const TChecked tools = CheckWithTools(std::vector<Byte>(doc.begin(), doc.end()), 1);
  EXPECT_NE(tools.Check.find("No syntax or stream encoding errors"), std::string::npos) << tools.Check;
}

// Three pages of three kinds in one document: names lm1 to lm3 in page order, a page tree of
// three, and each page drawn as its image.
TEST(PdfWriter, MultiPageDocument) {
  TIEBitmap a, b, c;
  MakeColourImage(a, 40, 30);
  MakeMonoImage(b, 40, 30);
  MakeColourImage(c, 40, 30);
  TIOParamsVals p(nullptr);
  p.PdfPaperWidth = 40;
  p.PdfPaperHeight = 30;
  p.PdfCompression = 0;
  TProgressProbe probe;
  TIEPDFDocument* doc = PDFCreateDocument();
  PDFAddPage(doc, &a, p, probe.Progress);
  PDFAddPage(doc, &b, p, probe.Progress);
  p.PdfCompression = 5;
  PDFAddPage(doc, &c, p, probe.Progress);
  ASSERT_FALSE(probe.Failed()) << probe.Reason;
  TMemoryStream m;
  PDFSaveDocument(doc, &m, p);
  PDFSaveDocument(nullptr, &m, p);
  const std::vector<Byte> bytes = StreamBytes(m);
  const std::string text = Text(bytes);
  EXPECT_NE(text.find("/XObject << /lm1 3 0 R\n/lm2 6 0 R\n/lm3 9 0 R\n>>"), std::string::npos);
  EXPECT_NE(text.find("/Kids [5 0 R 8 0 R 11 0 R ]\n/Count 3\n"), std::string::npos);
  EXPECT_NE(text.find("stream\nq\n40 0 0 30 0 0 cm\n/lm3 Do\nQ\nendstream"), std::string::npos);
  const TChecked tools = CheckWithTools(bytes, 3);
  EXPECT_EQ(MaxDifference(a, tools.Pages[0]), 0);
  EXPECT_EQ(MaxDifference(b, tools.Pages[1]), 0);
  EXPECT_EQ(MaxDifference(c, tools.Pages[2]), 0);
}
