// The decompressor entry points against djpeg, their error path, and the length of a JPEG
// datastream inside a larger file.
#include <gtest/gtest.h>

#include <algorithm>

#include "imaging/formats/jpeg/ie_jpeg.h"
#include "imaging/formats/jpeg/ie_jpeg_decompressor.h"
#include "tests/imaging/formats/codec_test_util.h"

using namespace ietest;
using testsupport::Fixture;
using testsupport::ShellQuote;

namespace {

const std::string kMake = std::string("python3 ") + CLAVORNE_SOURCE_DIR + "/tests/imaging/formats/tools/make_netpbm.py ";

std::string Source() { return Fixture("jpeg-entry-src-40x30.ppm", kMake + "rgb 40 30 255 0 {out}"); }

// Decodes Data through the entry points; answers the rows as decoded.
std::vector<std::vector<Byte>> DecodeRows(const std::vector<Byte>& Data, Integer& Width, Integer& Components) {
  TMemoryStream m;
  FillStream(m, Data);
  jpeg_decompress_struct* d = JpegNewDecompressor();
  TIEJpegErrorManager* err = JpegNewErrorManager(d);
  std::vector<std::vector<Byte>> rows;
  bool created = false;
  try {
    JpegCreateDecompressor(d);
    created = true;
    JpegStreamSource(d, &m);
    EXPECT_EQ(JpegReadHeader(d, true), JPEG_HEADER_OK);
    EXPECT_TRUE(JpegStartDecompress(d));
    Width = JpegOutputWidth(d);
    Components = JpegOutputComponents(d);
    JSAMPARRAY buf = JpegAllocSampleArray(d, JPOOL_IMAGE, Width * Components, 1);
    while (JpegOutputScanline(d) < JpegOutputHeight(d)) {
      EXPECT_EQ(JpegReadScanlines(d, buf, 1), 1);
      rows.emplace_back(buf[0], buf[0] + Width * Components);
    }
    EXPECT_TRUE(JpegFinishDecompress(d));
  } catch (...) {
    if (created) JpegDestroyDecompressor(d);
    JpegDisposeDecompressor(d);
    JpegDisposeErrorManager(err);
    throw;
  }
  JpegDestroyDecompressor(d);
  JpegDisposeDecompressor(d);
  JpegDisposeErrorManager(err);
  return rows;
}

TEST(JpegEntryPoints, DecodeEqualsDjpegAndErrorsRaise) {
  const std::string jpg = Fixture("jpeg-entry-40x30.jpg", "cjpeg -quality 90 " + ShellQuote(Source()) + " > {out}");
  const TPam ref = PamFromCommand("djpeg -pnm " + ShellQuote(jpg));
  Integer w = 0, comps = 0;
  const auto rows = DecodeRows(ReadWholeFile(jpg), w, comps);
  ASSERT_EQ(w, 40);
  ASSERT_EQ(comps, 3);
  ASSERT_EQ(rows.size(), 30u);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x)
      for (int c = 0; c < 3; ++c) ASSERT_EQ(rows[y][x * 3 + c], ref.At(x, y, c)) << x << "," << y;
  // Not a JPEG: the library's error comes out of the entry point as an exception.
  try {
    DecodeRows({0x89, 'P', 'N', 'G', 0, 0, 0, 0}, w, comps);
    FAIL();
  } catch (const EIEJpegError& e) {
    EXPECT_NE(e.Message.find("JPEG"), std::string::npos) << e.Message;
  }
}

TEST(JpegStreamLength, StuffedBytesRestartsAndMissingEnd) {
  // Restart markers every MCU and a busy image give FF Dn and FF 00 inside the scan.
  const std::string jpg = Fixture("jpeg-entry-restart.jpg", "cjpeg -quality 100 -restart 1B " + ShellQuote(Source()) + " > {out}");
  const std::vector<Byte> data = ReadWholeFile(jpg);
  size_t sos = 0;
  for (size_t i = 0; i + 1 < data.size(); ++i)
    if (data[i] == 0xFF && data[i + 1] == 0xDA) sos = i;
  auto inside = [&](Byte second) {
    for (size_t i = sos + 2; i + 3 < data.size(); ++i)
      if (data[i] == 0xFF && data[i + 1] == second) return true;
    return false;
  };
  ASSERT_TRUE(inside(0x00));
  ASSERT_TRUE(inside(0xD3));
  ASSERT_EQ(data[data.size() - 2], 0xFF);
  ASSERT_EQ(data.back(), 0xD9);

  struct Case {
    const char* name;
    std::vector<Byte> jpeg;
    size_t tail;
    Integer expected;
  };
  const std::vector<Byte> no_end(data.begin(), data.end() - 2);
  const Case cases[] = {
      {"ends at its FF D9", data, 500, Integer(data.size())},
      {"no end marker", no_end, 77, Integer(no_end.size() + 77)},
  };
  for (const Case& c : cases) {
    // The datastream starts inside a larger file.
    std::vector<Byte> all;
    all.reserve(33 + c.jpeg.size() + size_t(c.tail));
    all.resize(33, 0x11);
    all.insert(all.end(), c.jpeg.begin(), c.jpeg.end());
    all.insert(all.end(), c.tail, 0xAB);
    TMemoryStream m;
    FillStream(m, all);
    m.SetPosition(33);
    EXPECT_EQ(GetJPEGStreamLength(&m), c.expected) << c.name;
    EXPECT_EQ(m.Position(), 33) << c.name;
  }
}

}  // namespace
