// Format detection on files the peer tools write (ImageMagick, netpbm, the ffmpeg tool) and on
// crafted headers: one case per signature step, the stream always left where it was.
#include <gtest/gtest.h>

#include <cstring>

#include "imaging/io/ie_format_detection.h"
#include "tests/imaging/io/io_test_util.h"

using namespace ietest;
using namespace iotest;
using testsupport::Fixture;
using testsupport::ShellQuote;

namespace {

std::vector<Byte> Bytes(const std::string& S) { return std::vector<Byte>(S.begin(), S.end()); }

std::vector<Byte> Concat(std::vector<Byte> A, const std::vector<Byte>& B) {
  A.insert(A.end(), B.begin(), B.end());
  return A;
}

std::string ToolFile(const std::string& Name, const std::string& Recipe) {
  return Fixture("io-detect-" + Name, Recipe);
}

std::vector<Byte> Jpeg() {
  return ReadWholeFile(ToolFile("photo.jpg", "convert " + ShellQuote(SourcePPM()) + " JPEG:{out}"));
}

// A 12-byte stream header with this tag and length.
std::vector<Byte> Header(const char* Tag, Cardinal Length) {
  std::vector<Byte> h(12, 0);
  std::memcpy(h.data(), Tag, std::strlen(Tag));
  for (int i = 0; i < 4; ++i) h[8 + i] = Byte(Length >> (8 * i));
  return h;
}

// A little-endian TIFF whose first directory has a 1 x 1 size and, when Dng, a DNG version.
std::vector<Byte> TinyTiff(bool Dng, Word ClaimedEntries = 0) {
  std::vector<Byte> d = {'I', 'I', 42, 0, 8, 0, 0, 0};
  struct TEntry {
    Word Tag, Type;
    DWORD Count, Value;
  };
  std::vector<TEntry> entries = {{256, 3, 1, 1}, {257, 3, 1, 1}};
  if (Dng) entries.push_back({50706, 1, 4, 0x00000101});
  const Word count = ClaimedEntries ? ClaimedEntries : Word(entries.size());
  d.push_back(Byte(count));
  d.push_back(Byte(count >> 8));
  for (const TEntry& e : entries) {
    const Byte b[12] = {Byte(e.Tag), Byte(e.Tag >> 8), Byte(e.Type), 0, Byte(e.Count), Byte(e.Count >> 8), 0, 0,
                        Byte(e.Value), Byte(e.Value >> 8), Byte(e.Value >> 16), Byte(e.Value >> 24)};
    d.insert(d.end(), b, b + 12);
  }
  if (!ClaimedEntries) d.insert(d.end(), 4, 0);
  return d;
}

// Detects Data placed after a few unrelated bytes, starting from its first byte.
Integer DetectAt7(const std::vector<Byte>& Data) {
  TMemoryStream m;
  FillStream(m, Concat(Bytes("\x01\x02\x03\x04\x05\x06\x07"), Data));
  m.SetPosition(7);
  const Integer id = FindStreamFormat(&m);
  EXPECT_EQ(m.Position(), 7);
  return id;
}

TEST(FormatDetection, OneCasePerSignatureStep) {
  EnsureIOUnit();
  const std::string src = ShellQuote(SourcePPM());
  const std::vector<Byte> jpeg = Jpeg();
  std::vector<Byte> pcxByte(200, 0);
  pcxByte[0] = 0x0A;
  pcxByte[1] = 0x05;
  std::vector<Byte> gif13 = Bytes("GIF89a");
  gif13.resize(13, 0);
  struct TCase {
    const char* Name;
    std::vector<Byte> Data;
    Integer Expected;
  };
  const std::vector<TCase> cases = {
      {"JPEG stream header", Concat(Header("JFIF", Cardinal(jpeg.size())), jpeg), ioJPEG},
      {"GIF by ImageMagick", ReadWholeFile(ToolFile("gif", "convert " + src + " GIF:{out}")), ioGIF},
      {"PCX2 stream header", Concat(Header("PCX2", 100), std::vector<Byte>(100, 0)), ioPCX},
      {"old PCX stream header", Bytes(std::string("PCX\0zzzz", 8)), ioPCX},
      {"BMP by ImageMagick", ReadWholeFile(ToolFile("bmp", "convert " + src + " BMP3:{out}")), ioBMP},
      {"BMP by netpbm", ReadWholeFile(ToolFile("nbmp", "ppmtobmp " + src + " > {out}")), ioBMP},
      {"PCX by ImageMagick", ReadWholeFile(ToolFile("pcx", "convert " + src + " PCX:{out}")), ioPCX},
      {"0A 05 and 200 bytes", pcxByte, ioPCX},
      {"TIFF stream header", Concat(Header("TIFF", 8), TinyTiff(false)), ioTIFF},
      {"PNG by ImageMagick", ReadWholeFile(ToolFile("png", "convert " + src + " PNG:{out}")), ioPNG},
      {"PGM by netpbm", ReadWholeFile(ToolFile("pgm", "ppmtopgm " + src + " > {out}")), ioPXM},
      {"PPM by netpbm", ReadWholeFile(SourcePPM()), ioPXM},
      {"TGA by ImageMagick", ReadWholeFile(ToolFile("tga", "convert " + src + " TGA:{out}")), ioTGA},
      {"TGA by netpbm", ReadWholeFile(ToolFile("ntga", "pamtotga -rgb -norle " + src + " > {out}")), ioTGA},
      {"JPEG by ImageMagick", jpeg, ioJPEG},
      {"JPEG after 40 bytes of garbage", Concat(std::vector<Byte>(40, 'x'), jpeg), ioJPEG},
      {"AVI by ffmpeg",
       ReadWholeFile(ToolFile("avi", "ffmpeg -v error -f lavfi -i testsrc2=size=32x24:rate=5 -frames:v 2 "
                                     "-c:v rawvideo -pix_fmt bgr24 -f avi -y {out}")),
       ioAVI},
      {"DCX by ImageMagick", ReadWholeFile(ToolFile("dcx", "convert " + src + " DCX:{out}")), ioDCX},
      {"text", Bytes("nothing an image reader would take for itself"), ioUnknown},
      {"empty", {}, ioUnknown},
  };
  for (const TCase& c : cases) EXPECT_EQ(DetectAt7(c.Data), c.Expected) << c.Name;
  // The signature steps go by the stream's whole size: 13 bytes of GIF signature alone are not
  // enough.
  TMemoryStream m;
  FillStream(m, gif13);
  EXPECT_EQ(FindStreamFormat(&m), ioUnknown);
}

TEST(FormatDetection, RegisteredContentTestsComeAfterTheBuiltinOnes) {
  EnsureIOUnit();
  auto* row = new TIEFileFormatInfo;
  row->FileType = 92;
  row->Extensions = "PNG";  // shadowed by the built-in row, but still found by content
  row->TryFunction = [](TStream* S, Integer FileType) {
    char b[4] = {};
    return FileType == 92 && S->Read(b, 4) == 4 && std::memcmp(b, "TST!", 4) == 0;
  };
  IEFileFormatAdd(row);
  EXPECT_EQ(DetectAt7(Bytes("TST!and more")), 92);
  EXPECT_EQ(DetectAt7(ReadWholeFile(SourcePPM())), ioPXM);
  IEFileFormatRemove(92);
}

TEST(FormatDetection, ProbesThatRaiseEndDetectionQuietly) {
  // A stream whose reads raise: detection answers 0 and the position is back.
  class TFailingStream : public TMemoryStream {
   public:
    Integer Read(void*, Integer) override { throw EReadError("Stream read error"); }
  } m;
  m.SetSize(300);
  m.SetPosition(5);
  EXPECT_EQ(FindStreamFormat(&m), ioUnknown);
  EXPECT_EQ(m.Position(), 5);
}

TEST(FormatDetection, DngAndTiffStructure) {
  const std::string tiff = ToolFile("tif", "convert " + ShellQuote(SourcePPM()) + " TIFF:{out}");
  const struct {
    const char* Name;
    std::vector<Byte> Data;
    bool Dng;
  } cases[] = {
      {"crafted DNG", TinyTiff(true), true},
      {"crafted TIFF", TinyTiff(false), false},
      {"TIFF by ImageMagick", ReadWholeFile(tiff), false},
      {"directory claiming 4000 entries", TinyTiff(true, 4000), true},  // those there are read
      {"directory beyond the end", [] { auto d = TinyTiff(true); d[5] = 0x10; return d; }(), false},
      {"JPEG", Jpeg(), false},
      {"header only", Bytes("II*\0"), false},
  };
  for (const auto& c : cases) {
    TMemoryStream m;
    FillStream(m, Concat(Bytes("abc"), c.Data));
    m.SetPosition(3);
    EXPECT_EQ(IEIsDNG(&m), c.Dng) << c.Name;
    EXPECT_EQ(m.Position(), 3) << c.Name;
  }
}

TEST(FormatDetection, FileContentReconciledWithExtension) {
  EnsureIOUnit();
  const std::string dir = testsupport::MakeTempDir("iodetect");
  const std::string misnamed = dir + "/photo.png", plain = dir + "/photo.jpg", unknown = dir + "/photo.xyz";
  for (const std::string& p : {misnamed, plain, unknown}) WriteFileBytes(p, Jpeg());
  EXPECT_EQ(FindFileFormat(W(misnamed), false), ioJPEG);
  EXPECT_EQ(FindFileFormat(W(misnamed), true), ioUnknown);
  EXPECT_EQ(FindFileFormat(W(plain), true), ioJPEG);
  EXPECT_EQ(FindFileFormat(W(unknown), false), ioJPEG);
  EXPECT_EQ(FindFileFormat(W(unknown), true), ioUnknown);
  EXPECT_EQ(FindFileFormat(W(dir + "/missing.jpg"), false), ioUnknown);
  EXPECT_EQ(FindFileFormat(WideString(), false), ioUnknown);
  testsupport::RemoveTree(dir);
}

}  // namespace
