// Source-array export: the exact text of each style, base64 that the system's decoder turns
// back into a PNG that ImageMagick reads, the character picture, and the edges where the text
// could reach past the data (an empty encoding, a white pixel).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/io/ie_source_export.h"
#include "platform/rtl/exceptions.h"
#include "tests/imaging/io/io_test_util.h"
#include "tests/support/fixtures.h"

namespace {

using iotest::W;

// A registered format whose writer puts exactly these bytes.
constexpr Integer kBytesType = 0x7A02;
std::vector<Byte> BytesToWrite;

void WriteBytes(TStream* Stream, TIEBitmap*, TIOParamsVals&, TIECodecProgress&) {
  if (!BytesToWrite.empty()) Stream->Write(BytesToWrite.data(), Integer(BytesToWrite.size()));
}

struct SourceExport : ::testing::Test {
  std::string Dir;
  iotest::TRecordedIO R;

  void SetUp() override {
    Dir = testsupport::MakeTempDir("srcarray");
    auto* Row = new TIEFileFormatInfo;
    Row->FileType = kBytesType;
    Row->FullName = "Fixed bytes";
    Row->Extensions = "FIXEDBYTES";
    Row->WriteFunction = WriteBytes;
    IEFileFormatAdd(Row);
    R.IO.IEBitmap()->Allocate(2, 2, ie24RGB);
  }
  void TearDown() override {
    IEFileFormatRemove(kBytesType);
    testsupport::RemoveTree(Dir);
  }

  std::vector<std::string> Lines(const std::string& File) {
    std::ifstream In(File, std::ios::binary);
    std::vector<std::string> Out;
    for (std::string L; std::getline(In, L);) Out.push_back(L);
    return Out;
  }
  static std::string ArrayName(std::string File) {
    File[File.find('.')] = '_';
    return File;
  }
  static std::string Hex(Byte B) {
    char T[3];
    std::snprintf(T, sizeof T, "%02X", B);
    return T;
  }
};

TEST_F(SourceExport, StyleZeroDeclaresAConstantArray) {
  const std::string File = Dir + "/three.inc";
  BytesToWrite = {0x01, 0xAB, 0xFF};
  R.IO.SaveToSourceArray(W(File), kBytesType, 0);
  const std::string Name = ArrayName(File);
  EXPECT_EQ(Lines(File), (std::vector<std::string>{"const", "  " + Name + "_Size = 3;",
                                                   "  " + Name + " : array [0.." + Name + "_Size-1] of byte = (",
                                                   "    $01,$AB,$FF);"}));
  EXPECT_EQ(WideToAnsi(R.IO.IOParams()->FileName), File);
}

TEST_F(SourceExport, StyleOneCutsLinesOnceTheyPassSeventyCharacters) {
  const std::string File = Dir + "/forty.h";
  BytesToWrite.clear();
  for (int i = 0; i < 40; ++i) BytesToWrite.push_back(Byte(i * 7));
  R.IO.SaveToSourceArray(W(File), kBytesType, 1);
  const auto L = Lines(File);
  ASSERT_GE(L.size(), 3u);
  EXPECT_EQ(L[0], "\\\\ Size=40");
  EXPECT_EQ(L[1].size(), 75u);  // 15 entries of 5 characters
  std::string All;
  for (size_t i = 1; i < L.size(); ++i) All += L[i];
  std::string Expected;
  for (size_t i = 0; i < 40; ++i) Expected += "0x" + Hex(BytesToWrite[i]) + (i + 1 < 40 ? "," : "");
  EXPECT_EQ(All, Expected);
}

// An encoding of no bytes has no last byte: nothing is written in its place.
TEST_F(SourceExport, AnEmptyEncodingWritesOnlyItsSize) {
  BytesToWrite.clear();
  const std::string Zero = Dir + "/zero.inc", One = Dir + "/one.h";
  R.IO.SaveToSourceArray(W(Zero), kBytesType, 0);
  R.IO.SaveToSourceArray(W(One), kBytesType, 1);
  EXPECT_EQ(Lines(Zero), (std::vector<std::string>{"const", "  " + ArrayName(Zero) + "_Size = 0;"}));
  EXPECT_EQ(Lines(One), (std::vector<std::string>{"\\\\ Size=0"}));
}

TEST_F(SourceExport, StyleTwoIsBase64ThatDecodesToTheEncodedImage) {
  const std::string File = Dir + "/picture.b64";
  R.IO.IEBitmap()->Allocate(23, 13, ie24RGB);
  R.IO.IEBitmap()->Fill(static_cast<double>(0x3366CC));
  R.IO.SaveToSourceArray(W(File), ioPNG, 2);
  ASSERT_FALSE(R.IO.Aborting.load()) << R.IO.FailureReason();
  for (const auto& L : Lines(File)) EXPECT_LE(L.size(), 77u);  // 76 and the CR
  const std::string Png = Dir + "/decoded.png";
  testsupport::RunOk("tr -d '\\r' < " + testsupport::ShellQuote(File) + " | base64 -d > " + testsupport::ShellQuote(Png));
  EXPECT_EQ(testsupport::RunOk("identify -format '%m %wx%h' " + testsupport::ShellQuote(Png)), "PNG 23x13");
}

TEST_F(SourceExport, StyleThreeDrawsTheGreyLevelsInCharacters) {
  const std::string File = Dir + "/picture.txt";
  TIEBitmap* B = R.IO.IEBitmap();
  B->Allocate(4, 2, ie24RGB);
  const TRGB Black{0, 0, 0}, White{255, 255, 255}, Mid{128, 128, 128}, Dark{40, 40, 40};
  B->SetPixelRGB(0, 0, Black);
  B->SetPixelRGB(1, 0, White);
  B->SetPixelRGB(2, 0, Mid);
  B->SetPixelRGB(3, 0, Dark);
  for (Integer x = 0; x < 4; ++x) B->SetPixelRGB(x, 1, White);
  R.IO.SaveToSourceArray(W(File), 0, 3);
  // Grey 128 -> 4 "+", grey 40 -> 1 "@"; white is the lightest shade, a space.
  EXPECT_EQ(Lines(File), (std::vector<std::string>{"W +@", "    "}));
  EXPECT_EQ(IESourceArrayShade(White), ' ');
}

TEST_F(SourceExport, StyleThreeOfAnImageThatIsNotRGBLeavesTheFileEmpty) {
  const std::string File = Dir + "/grey.txt";
  R.IO.IEBitmap()->Allocate(3, 3, ie8g);
  R.IO.SaveToSourceArray(W(File), 0, 3);
  EXPECT_TRUE(Lines(File).empty());
  EXPECT_NE(WideToAnsi(R.IO.IOParams()->FileName), File);
}

TEST_F(SourceExport, AFileThatCannotBeCreatedRaisesAnInputOutputError) {
  BytesToWrite = {1};
  EXPECT_THROW(R.IO.SaveToSourceArray(W(Dir + "/missing/dir/x.inc"), kBytesType, 0), EInOutError);
}

}  // namespace
