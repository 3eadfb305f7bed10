// The PDF object model and document routines: the exact syntax of each object, and a whole
// document built from them that qpdf checks and poppler renders.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "imaging/core/ie_pdf_objects.h"
#include "metadata_test_util.h"
#include "platform/rtl/streams.h"

using namespace metatest;

namespace {

std::string Written(TIEPDFObject& o) {
  TStringStream s;
  o.Write(&s);
  return s.DataString();
}

std::string Written(TIEPDFObject&& o) { return Written(o); }

TEST(PDFObjects, EachObjectWritesItsSyntax) {
  EXPECT_EQ(Written(TIEPDFRefObject(12, 0)), "12 0 R");
  EXPECT_EQ(Written(TIEPDFBooleanObject(true)), "true");
  EXPECT_EQ(Written(TIEPDFBooleanObject(false)), "false");
  EXPECT_EQ(Written(TIEPDFStringObject("a(b)\\c")), "(a\\(b\\)\\\\c)");
  EXPECT_EQ(Written(TIEPDFStringObject("\b\t\n\f\r")), "(\\b\\t\\n\\f\\r)");
  EXPECT_EQ(Written(TIEPDFNameObject("Device RGB")), "/Device#20RGB");
  // Delimiters and the escape character itself would break the name; bytes above 126 too.
  EXPECT_EQ(Written(TIEPDFNameObject("A/B(C)<D>[E]{F}%G#H")), "/A#2FB#28C#29#3CD#3E#5BE#5D#7BF#7D#25G#23H");
  EXPECT_EQ(Written(TIEPDFNameObject("\xC3\xA9")), "/#C3#A9");

  TIEPDFArrayObject empty;
  EXPECT_EQ(Written(empty), "[]");
  TIEPDFArrayObject arr;
  arr.Add(new TIEPDFNumericObject(1));
  arr.Add(new TIEPDFNumericObject(2));
  EXPECT_EQ(Written(arr), "[1 2 ]");
  EXPECT_EQ(Written(TIEPDFDictionaryObject()), "<< >>");

  TIEPDFStreamObject stream("abc", 3);
  EXPECT_EQ(Written(stream), "<< /Length 3\n>>\nstream\nabc\nendstream");
  TIEPDFNumericObject n(0);
  TStringStream s;
  s.WriteString("xyz");
  n.Write(&s);
  EXPECT_EQ(n.Offset, 3);
}

TEST(PDFObjects, NumbersArePlainDecimalsNeverExponents) {
  struct Case {
    double v;
    const char* text;
  } cases[] = {
      {595, "595"},
      {0.5, "0.5"},
      {-0.25, "-0.25"},
      {1.0 / 3, "0.333333333333333"},
      {1e20, "100000000000000000000"},
      {1e-7, "0.0000001"},
      {123456789012345678.0, "123456789012346000"},
      {-0.0, "0"},
      {2.5e-300 * 0, "0"},
      {std::numeric_limits<double>::quiet_NaN(), "0"},
      {std::numeric_limits<double>::infinity(), "0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IEPDFNumberText(c.v), c.text) << c.v;
    EXPECT_EQ(Written(TIEPDFNumericObject(c.v)), c.text);
  }
  EXPECT_EQ(IEPDFNumberText(1e-300).find_first_of("eE"), std::string::npos);
}

TEST(PDFObjects, CrossReferenceTableAndHeaderBytes) {
  TIEPDFObjectList objects;
  TIEPDFNumericObject a(1), b(2), c(3);
  IEPDFAddObject(objects, &a);
  IEPDFAddObject(objects, &b);
  IEPDFAddObject(objects, &c);
  EXPECT_EQ(c.ObjectNumber, 3);
  a.Offset = 15;
  b.Offset = 64;
  c.Offset = 230;
  TStringStream s;
  IEPDFWriteHeader(&s);
  Int64 xrefAt = s.Position();
  IEPDFWriteXRefAndTrailer(&s, objects, &b);
  EXPECT_EQ(s.DataString(),
            "%PDF-1.4\n%\xC8\xD2\xF0\xFE\n"
            "xref\n0 4\n0000000000 65535 f \n0000000015 00000 n \n0000000064 00000 n \n0000000230 00000 n \n"
            "trailer\n<< /Size 4\n/Root 1 0 R\n/Info 2 0 R\n>>\nstartxref\n" +
                std::to_string(xrefAt) + "\n%%EOF\n");
  EXPECT_EQ(IEPadLeft("15", 10, '0'), "0000000015");
  EXPECT_EQ(IEPadLeft("12345678901", 10, '0'), "12345678901");
}

TEST(PDFObjects, ADocumentPassesQpdfAndRendersWithPoppler) {
  TIEPDFObjectList objects;
  IEPDFCreateCatalog(objects);
  const char content[] = "0 0 1 rg 100 100 200 300 re f";
  auto* contents = new TIEPDFStreamObject(content, sizeof content - 1);
  IEPDFAddObject(objects, contents);
  auto* resources = new TIEPDFDictionaryObject;
  resources->AddItem("ProcSet", new TIEPDFArrayObject);
  IEPDFAddObject(objects, resources);
  std::vector<TIEPDFDictionaryObject*> pages;
  auto* box = new TIEPDFArrayObject;
  for (double v : {0.0, 0.0, 595.0, 842.0}) box->Add(new TIEPDFNumericObject(v));
  IEPDFCreatePage(objects, pages, resources, box, contents->ObjectNumber);
  IEPDFCreatePages(objects, pages);
  auto* info = new TIEPDFDictionaryObject;
  info->AddItem("Title", new TIEPDFStringObject("Tide (low) \\ high"));
  info->AddItem("Odd Key(1)/x", new TIEPDFStringObject("escaped name"));
  info->AddItem("Scale", new TIEPDFNumericObject(1e-7));
  IEPDFAddObject(objects, info);

  TMemoryStream out;
  IEPDFWriteHeader(&out);
  IEPDFWriteObjects(&out, objects);
  IEPDFWriteXRefAndTrailer(&out, objects, info);
  for (TIEPDFObject* o : objects) delete o;

  std::string dir = testsupport::MakeTempDir("pdf");
  std::string file = dir + "/doc.pdf";
  out.SaveToFile(file);
  std::string check;
  EXPECT_EQ(testsupport::Run("qpdf --check " + file + " 2>&1", &check), 0) << check;
  EXPECT_NE(check.find("No syntax or stream encoding errors found"), std::string::npos) << check;
  std::string meta = testsupport::RunOk("qpdf --json --json-key=qpdf " + file);
  EXPECT_NE(meta.find("\"/Odd Key(1)/x\""), std::string::npos) << meta;
  EXPECT_EQ(ExifTool(file, "PDF:Title"), "Tide (low) \\ high");

  testsupport::RunOk("pdftoppm -r 72 -singlefile " + file + " " + dir + "/page");
  Bytes ppm = ReadFileBytes(dir + "/page.ppm");
  // P6 595 842 255, then RGB rows from the top; the rectangle covers x 100..300, y 100..400 up from the bottom.
  ASSERT_GT(ppm.size(), 15u);
  std::string head(ppm.begin(), ppm.begin() + 15);
  ASSERT_EQ(head, "P6\n595 842\n255\n");
  auto pixel = [&](int x, int y) {
    size_t at = 15 + (static_cast<size_t>(y) * 595 + static_cast<size_t>(x)) * 3;
    return std::vector<int>{ppm[at], ppm[at + 1], ppm[at + 2]};
  };
  EXPECT_EQ(pixel(200, 842 - 250), (std::vector<int>{0, 0, 255}));
  EXPECT_EQ(pixel(50, 50), (std::vector<int>{255, 255, 255}));
  testsupport::RemoveTree(dir);
}

}  // namespace
