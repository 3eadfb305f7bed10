// Files whose headers claim images their data cannot hold: every reader refuses them at once,
// before it allocates or fills anything of the claimed size, with a reason; each read runs in a
// child process that is timed and whose peak memory is measured (the packed DIB's twin is in
// tests/imaging/proc/test_dib.cpp). A real image of the same size made by a tool still loads.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>
#include <functional>

#include "imaging/core/ie_helpers.h"
#include "imaging/formats/bmp/ie_bmp.h"
#include "imaging/formats/jpeg/ie_jpeg.h"
#include "imaging/formats/png/ie_png.h"
#include "imaging/formats/pnm/ie_pnm.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/imaging/support/measured_read.h"

using namespace ietest;

namespace {

void Put32BE(std::vector<Byte>& D, uint32_t V) {
  for (int s = 24; s >= 0; s -= 8) D.push_back(Byte(V >> s));
}
void Put16LE(std::vector<Byte>& D, size_t At, uint32_t V) {
  D[At] = Byte(V);
  D[At + 1] = Byte(V >> 8);
}
void Put32LE(std::vector<Byte>& D, size_t At, uint32_t V) {
  Put16LE(D, At, V & 0xFFFF);
  Put16LE(D, At + 2, V >> 16);
}

void PngChunk(std::vector<Byte>& D, const char* Type, const std::vector<Byte>& Data) {
  Put32BE(D, uint32_t(Data.size()));
  const size_t at = D.size();
  D.insert(D.end(), Type, Type + 4);
  D.insert(D.end(), Data.begin(), Data.end());
  Put32BE(D, uint32_t(crc32(0, D.data() + at, uInt(D.size() - at))));
}

// A PNG with a valid header of the claimed size and a few bytes of real zlib data.
std::vector<Byte> TinyPng(uint32_t W, uint32_t H, Byte ColourType, Byte Interlace) {
  std::vector<Byte> d = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<Byte> ihdr;
  Put32BE(ihdr, W);
  Put32BE(ihdr, H);
  ihdr.insert(ihdr.end(), {8, ColourType, 0, 0, Interlace});
  PngChunk(d, "IHDR", ihdr);
  std::vector<Byte> raw(16, 0), packed(64);
  uLongf len = packed.size();
  compress(packed.data(), &len, raw.data(), raw.size());
  packed.resize(len);
  PngChunk(d, "IDAT", packed);
  PngChunk(d, "IEND", {});
  return d;
}

// A BMP file header and 40-byte info header, then Palette entries and Data.
std::vector<Byte> TinyBmp(int32_t W, int32_t H, uint16_t Bits, uint32_t Compression, uint32_t Entries,
                          const std::vector<Byte>& Data) {
  std::vector<Byte> d(54 + Entries * 4, 0);
  d[0] = 'B';
  d[1] = 'M';
  Put32LE(d, 2, uint32_t(d.size() + Data.size()));
  Put32LE(d, 10, uint32_t(d.size()));
  Put32LE(d, 14, 40);
  Put32LE(d, 18, uint32_t(W));
  Put32LE(d, 22, uint32_t(H));
  Put16LE(d, 26, 1);
  Put16LE(d, 28, Bits);
  Put32LE(d, 30, Compression);
  Put32LE(d, 34, uint32_t(Data.size()));
  Put32LE(d, 46, Entries);
  for (uint32_t k = 0; k < Entries; ++k) d[54 + 4 * k] = d[55 + 4 * k] = d[56 + 4 * k] = Byte(k * 40);
  d.insert(d.end(), Data.begin(), Data.end());
  return d;
}

// A real 8 x 8 baseline JPEG from ImageMagick with the frame header's size patched.
std::vector<Byte> JpegClaiming(uint16_t W, uint16_t H, bool Progressive) {
  const std::string small = testsupport::Fixture(Progressive ? "bomb-8x8-progressive.jpg" : "bomb-8x8.jpg",
                                                 std::string("convert -seed 1 -size 8x8 plasma:fractal -strip ") +
                                                     (Progressive ? "-interlace JPEG " : "") + "{out}");
  std::vector<Byte> d = ReadWholeFile(small);
  for (size_t i = 2; i + 9 < d.size(); ++i)
    if (d[i] == 0xFF && (d[i + 1] == 0xC0 || d[i + 1] == 0xC2)) {
      d[i + 5] = Byte(H >> 8);
      d[i + 6] = Byte(H);
      d[i + 7] = Byte(W >> 8);
      d[i + 8] = Byte(W);
      return d;
    }
  ADD_FAILURE() << "no frame header in " << small;
  return d;
}

std::vector<Byte> Bytes(const std::string& S) { return std::vector<Byte>(S.begin(), S.end()); }

using TReader = std::function<void(TMemoryStream&, TIEBitmap&, TIOParamsVals&, TIECodecProgress&)>;

std::string ReadWith(const TReader& Reader, const std::vector<Byte>& Data) {
  TMemoryStream m;
  FillStream(m, Data);
  TIEBitmap b;
  TIOParamsVals p(nullptr);
  TProgressProbe probe;
  Reader(m, b, p, probe.Progress);
  return probe.Failed() ? (probe.Reason.empty() ? std::string("(no reason)") : probe.Reason) : std::string();
}

const TReader kPng = [](TMemoryStream& M, TIEBitmap& B, TIOParamsVals& P, TIECodecProgress& G) {
  ReadPNGStream(&M, &B, P, G, false);
};
const TReader kBmp = [](TMemoryStream& M, TIEBitmap& B, TIOParamsVals& P, TIECodecProgress& G) {
  TIEMask* alpha = nullptr;
  ReadBMPStream(&M, &B, 0, P, G, false, false, alpha, false);
  delete alpha;
};
const TReader kBmpNative = [](TMemoryStream& M, TIEBitmap& B, TIOParamsVals& P, TIECodecProgress& G) {
  P.NativePixelFormat = true;
  kBmp(M, B, P, G);
};
const TReader kJpeg = [](TMemoryStream& M, TIEBitmap& B, TIOParamsVals& P, TIECodecProgress& G) {
  ReadJPEGStream(&M, nullptr, &B, P, G, false, false, true, false, true, true, -1, false);
};
const TReader kPnm = [](TMemoryStream& M, TIEBitmap& B, TIOParamsVals& P, TIECodecProgress& G) {
  ReadPXMStream(&M, &B, P, G, false);
};

TEST(Bombs, ClaimsTheDataCannotHoldAreRefusedAtOnce) {
  TIEBitmap small(3, 2, ie24RGB);
  TMemoryStream record;
  small.SaveRawToStream(nullptr, &record);
  std::vector<Byte> hugeRecord = StreamBytes(record);
  const Integer claim = 40000;
  std::memcpy(&hugeRecord[20], &claim, 4);  // width and height follow signature, version, palette length
  std::memcpy(&hugeRecord[24], &claim, 4);

  struct TCase {
    std::string Name;
    std::function<std::string()> Read;
    std::string Expect;  // part of the reason
    size_t Size = 0;
  };
  auto file = [](const std::string& Name, const TReader& R, const std::vector<Byte>& D, const std::string& Expect) {
    return TCase{Name, [R, D] { return ReadWith(R, D); }, Expect, D.size()};
  };
  const std::vector<TCase> cases = {
      file("68-byte interlaced RGBA PNG of 20000 x 20000", kPng, TinyPng(20000, 20000, 6, 1), "too few for 20000 x 20000"),
      file("PNG of 20000 x 20000 RGB rows", kPng, TinyPng(20000, 20000, 2, 0), "too few for 20000 x 20000"),
      file("100-byte RLE8 BMP of 46340 x 46340", kBmpNative, TinyBmp(46340, 46340, 8, 1, 11, {0, 1}), "above the limit"),
      file("RLE8 BMP of 46340 x 46340 with a full palette", kBmp, TinyBmp(46340, 46340, 8, 1, 256, {0, 0, 0, 1}),
           "above the limit"),
      file("RLE4 BMP of 40000 x 40000", kBmp, TinyBmp(40000, 40000, 4, 2, 16, {0, 1}), "above the limit"),
      file("BMP of 42000 x 42000 24-bit rows", kBmp, TinyBmp(42000, 42000, 24, 0, 0, std::vector<Byte>(1042, 9)),
           "too few for 42000 x 42000"),
      file("JPEG of 46340 x 46340", kJpeg, JpegClaiming(46340, 46340, false), "too few for 46340 x 46340"),
      file("progressive JPEG of 46340 x 46340", kJpeg, JpegClaiming(46340, 46340, true), "above the limit"),
      file("327-byte PPM of 46340 x 46340", kPnm, Bytes("P6 46340 46340 255\n" + std::string(308, 'x')), "too few"),
      file("plain PGM of 30000 x 30000", kPnm, Bytes("P2 30000 30000 255\n1 2 3 4 5\n"), "too few"),
      file("plain PBM of 30000 x 30000", kPnm, Bytes("P1 30000 30000\n0101"), "too few"),
      {"raw image record of 40000 x 40000",
       [hugeRecord] {
         TMemoryStream m;
         FillStream(m, hugeRecord);
         TIEBitmap b;
         return b.LoadRawFromStream(nullptr, &m) ? std::string() : std::string("refused");
       },
       "refused", hugeRecord.size()},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name + " (" + std::to_string(c.Size) + " bytes)");
    const TMeasuredRead r = Measure(c.Read);
    ExpectRefusedAtOnce(r);
    EXPECT_NE(std::string(r.Reason).find(c.Expect), std::string::npos) << r.Reason;
  }
}

// The bound of the densest coding is not a cap on size: a real 20000 x 20000 PNG, whose rows
// Deflate packs about as tightly as it can, loads whole.
TEST(Bombs, ARealImageOfTheSameSizeStillLoads) {
  const std::string png = testsupport::Fixture("bomb-real-20000.png", "pbmmake -white 20000 20000 | pnmtopng > {out}");
  TIEBitmap b;
  TIOParamsVals p(nullptr);
  TProgressProbe probe;
  TFileStream f(AnsiString(png), fmOpenRead);
  ReadPNGStream(&f, &b, p, probe.Progress, false);
  ASSERT_FALSE(probe.Failed()) << probe.Reason;
  ASSERT_EQ(b.GetWidth(), 20000);
  ASSERT_EQ(b.GetHeight(), 20000);
  EXPECT_EQ(b.GetPixelAsRGB(19999, 19999), IECreateRGB(255, 255, 255));
  EXPECT_EQ(b.GetPixelAsRGB(123, 4567), IECreateRGB(255, 255, 255));
}

// A caller that takes only the first rows of a JPEG (a TIFF strip) needs data for those rows
// only: the bound shrinks with them.
TEST(Bombs, AJpegReadForItsFirstRowsNeedsDataForThoseOnly) {
  const std::vector<Byte> tall = JpegClaiming(64, 46340, false);
  TMemoryStream m;
  FillStream(m, tall);
  TIEBitmap b;
  TIOParamsVals p(nullptr);
  TProgressProbe whole;
  ReadJPEGStream(&m, nullptr, &b, p, whole.Progress, false, false, false, false, false, false, -1, false);
  EXPECT_NE(whole.Reason.find("too few for 64 x 46340"), std::string::npos) << whole.Reason;
  m.SetPosition(0);
  TProgressProbe strip;
  EXPECT_EQ(ReadJPEGStream(&m, nullptr, &b, p, strip.Progress, false, false, false, false, false, false, 8, false), 8);
  EXPECT_EQ(strip.Reason.find("too few"), std::string::npos) << strip.Reason;
}

}  // namespace
