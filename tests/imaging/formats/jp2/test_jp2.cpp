// The JPEG 2000 codec against OpenJPEG's own tools: what opj_compress writes (lossless, lossy,
// tiled, 16-bit, with alpha, tiny, sub-sampled YCbCr) we decode as opj_decompress does; what
// we write opj_decompress decodes and opj_dump describes as asked. Damage, truncation and bombs
// end with a reason, inside the time and memory caps.
#include <gtest/gtest.h>

#include <cmath>

#include "imaging/core/ie_helpers.h"
#include "imaging/formats/jp2/ie_jp2.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/imaging/support/ie_stores.h"

using namespace ietest;
using testsupport::Fixture;
using testsupport::RunOk;
using testsupport::ShellQuote;

namespace {

const std::string kMake = std::string("python3 ") + CLAVORNE_SOURCE_DIR + "/tests/imaging/formats/tools/make_netpbm.py ";

struct TRead {
  TIEBitmap Bitmap;
  TIOParamsVals Params{nullptr};
  TProgressProbe Probe;
};

void ReadJ2000(const std::vector<Byte>& Data, TRead& R, bool Preview = false) {
  TMemoryStream m;
  FillStream(m, Data);
  ReadJ2000Stream(&m, &R.Bitmap, R.Params, R.Probe.Progress, Preview);
}

// What opj_decompress makes of File, as netpbm samples at the code stream's precision.
TPam Decompressed(const std::string& File) {
  const std::string dir = testsupport::MakeTempDir("opjd");
  RunOk("opj_decompress -quiet -i " + ShellQuote(File) + " -o " + ShellQuote(dir + "/out.pnm") + " >/dev/null");
  TPam pam = ReadPamFile(dir + "/out.pnm");
  testsupport::RemoveTree(dir);
  return pam;
}

// A sample of Precision bits as the reader shows it: its top 8 bits.
Integer Top8(Integer Sample, Integer Precision) {
  return Precision >= 8 ? Sample >> (Precision - 8) : Sample << (8 - Precision);
}

// Largest difference between the decoded bitmap and opj_decompress's samples reduced to 8 bits;
// the fourth sample, when there is one, against the alpha channel.
Integer TopBitsDifference(TIEBitmap& B, const TPam& Pam, Integer Precision) {
  EXPECT_EQ(B.GetWidth(), Pam.Width);
  EXPECT_EQ(B.GetHeight(), Pam.Height);
  if (B.GetWidth() != Pam.Width || B.GetHeight() != Pam.Height) return 1000;
  Integer worst = 0;
  for (Integer y = 0; y < Pam.Height; ++y)
    for (Integer x = 0; x < Pam.Width; ++x) {
      const TRGB c = B.GetPixelAsRGB(x, y);
      const Byte got[3] = {c.r, c.g, c.b};
      for (Integer s = 0; s < 3; ++s) {
        const Integer want = Top8(Pam.At(x, y, Pam.Depth >= 3 ? s : 0), Precision);
        worst = std::max(worst, std::abs(got[s] - want));
      }
      if (Pam.Depth == 4 || Pam.Depth == 2)
        worst = std::max(worst, std::abs(B.GetAlphaValue(x, y) - Top8(Pam.At(x, y, Pam.Depth - 1), Precision)));
    }
  return worst;
}

// Every kind opj_compress makes, each read under the four stores and compared with
// opj_decompress's decoding of the same file.
TEST(Jp2Reader, OpjCompressFilesReadAsOpjDecompressDecodesThem) {
  struct TCase {
    std::string Name, Source, Options, Ext;
    Integer Bits, Samples;
    bool Alpha;
  };
  const std::string rgb = kMake + "rgb 33 21 255 0 {out}.src.ppm && ";
  const std::string alpha = kMake + "rgb 21 13 255 0 {out}.s.ppm && convert {out}.s.ppm -alpha set -channel A -fx '(i+j)/(w+h)' +channel -depth 8 PNG32:{out}.src.png && ";
  const std::vector<TCase> cases = {
      {"rgb-lossless", rgb, "-n 3", "jp2", 8, 3, false},
      {"rgb-lossless", rgb, "-n 3", "j2k", 8, 3, false},
      {"rgb-lossy", rgb, "-n 3 -r 20", "j2k", 8, 3, false},
      {"rgb-lossy-irreversible", rgb, "-n 2 -r 10 -I", "jp2", 8, 3, false},
      {"rgb-tiled", rgb, "-n 2 -t 16,8", "jp2", 8, 3, false},
      {"rgb-16", kMake + "rgb 19 11 65535 0 {out}.src.ppm && ", "-n 2", "j2k", 16, 3, false},
      {"grey-8", kMake + "grey 23 9 255 0 {out}.src.pgm && ", "-n 2", "jp2", 8, 1, false},
      {"grey-12", kMake + "grey 23 9 4095 0 {out}.src.pgm && ", "-n 2", "j2k", 12, 1, false},
      {"grey-4", "python3 -c \"import sys; open(sys.argv[1],'wb').write(bytes((x*3+y)%16 for y in range(7) for x in range(13)))\" {out}.src.raw && ",
       "-n 2 -F 13,7,1,4,u", "j2k", 4, 1, false},
      // Signed samples are shown moved up by half their range, as opj_decompress writes them.
      {"grey-signed", "python3 -c \"import sys; open(sys.argv[1],'wb').write(bytes((x*16+y*3-128)&255 for y in range(7) for x in range(13)))\" {out}.src.raw && ",
       "-n 2 -F 13,7,1,8,s", "j2k", 8, 1, false},
      {"alpha", alpha, "-n 3", "jp2", 8, 3, true},
      {"alpha", alpha, "-n 3", "j2k", 8, 3, true},
      {"tiny-7x5", kMake + "rgb 7 5 255 0 {out}.src.ppm && ", "-n 1", "j2k", 8, 3, false},
      {"tiny-1x1", kMake + "rgb 1 1 255 0 {out}.src.ppm && ", "-n 1", "jp2", 8, 3, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name + "." + c.Ext);
    // The source is the last file the recipe names: {out}.src.<kind>.
    const size_t at = c.Source.rfind("{out}.src");
    const std::string source = c.Source.substr(at, c.Source.find(' ', at) - at);
    const std::string file = Fixture("jp2-" + c.Name + "." + c.Ext,
                                     c.Source + "opj_compress -i " + source + " -o {out}." + c.Ext + " " + c.Options +
                                         " >/dev/null && mv {out}." + c.Ext + " {out} && rm -f {out}.s*");
    const TPam pam = Decompressed(file);
    ForEachStore([&](Store, StoreScope& scope) {
      TRead r;
      scope.Prepare(r.Bitmap);
      ReadJ2000(ReadWholeFile(file), r);
      ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
      EXPECT_EQ(r.Bitmap.GetPixelFormat(), ie24RGB);
      EXPECT_EQ(TopBitsDifference(r.Bitmap, pam, c.Bits), 0);
      EXPECT_EQ(r.Bitmap.HasAlphaChannel(), c.Alpha);
      EXPECT_EQ(r.Params.BitsPerSample, c.Bits);
      EXPECT_EQ(r.Params.SamplesPerPixel, c.Samples);
      EXPECT_EQ(r.Params.Width, pam.Width);
      EXPECT_EQ(r.Params.DpiX, IEGlobalDefaultDpiX);
      EXPECT_EQ(r.Params.DpiY, IEGlobalDefaultDpiY);
    });
  }
}

// A JP2 of sub-sampled YCbCr (4:2:0) loads at full size through the chroma tables: each chroma
// sample covers 2 x 2 pixels; Y, Cb and Cr 128 is grey 128, and Cr 255 adds 178 to red.
TEST(Jp2Reader, SubsampledYCbCrSpreadsChromaOverTheImage) {
  // 16 x 16 luma of 128; the chroma planes (8 x 8) are 128 but for Cr 255 in their top half.
  const std::string file = Fixture(
      "jp2-ycc420.jp2",
      "python3 -c \"import sys; open(sys.argv[1],'wb').write(bytes([128]*256 + [128]*64 + [255]*32 + [128]*32))\" {out}.raw && "
      "opj_compress -i {out}.raw -o {out}.jp2 -F 16,16,3,8,u@1x1:2x2:2x2 -n 2 >/dev/null && mv {out}.jp2 {out} && rm {out}.raw");
  ForEachStore([&](Store, StoreScope& scope) {
    TRead r;
    scope.Prepare(r.Bitmap);
    ReadJ2000(ReadWholeFile(file), r);
    ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
    ASSERT_EQ(r.Bitmap.GetWidth(), 16);
    ASSERT_EQ(r.Bitmap.GetHeight(), 16);
    // Chroma rows 0..3 are Cr 255: image rows 0..7.
    for (Integer y : {0, 7})
      for (Integer x : {0, 15}) EXPECT_EQ(r.Bitmap.GetPixelAsRGB(x, y), IECreateRGB(255, 37, 128)) << x << "," << y;
    for (Integer y : {8, 15})
      for (Integer x : {0, 15}) EXPECT_EQ(r.Bitmap.GetPixelAsRGB(x, y), IECreateRGB(128, 128, 128)) << x << "," << y;
  });
}

// Probes look without moving; a preview reads the header alone; what is not JPEG 2000, what is
// damaged or cut short and what claims a huge image ends with a reason.
TEST(Jp2Reader, ProbesPreviewAndRefusedInput) {
  const std::string j2k = Fixture("jp2-probe.j2k", kMake + "rgb 40 24 255 0 {out}.ppm && opj_compress -i {out}.ppm -o {out}.j2k -n 3 >/dev/null && mv {out}.j2k {out} && rm {out}.ppm");
  const std::string jp2 = Fixture("jp2-probe.jp2", kMake + "grey 40 24 255 0 {out}.pgm && opj_compress -i {out}.pgm -o {out}.jp2 -n 3 >/dev/null && mv {out}.jp2 {out} && rm {out}.pgm");
  const std::vector<Byte> good = ReadWholeFile(j2k), goodJp2 = ReadWholeFile(jp2);
  TMemoryStream m;
  FillStream(m, goodJp2);
  EXPECT_TRUE(IsJP2(&m));
  EXPECT_FALSE(IsJ2K(&m));
  EXPECT_EQ(m.Position(), 0);
  FillStream(m, good);
  EXPECT_TRUE(IsJ2K(&m));
  EXPECT_FALSE(IsJP2(&m));
  EXPECT_EQ(m.Position(), 0);

  // The preview of a file whose data is gone: the header is all it needs.
  TRead preview;
  ReadJ2000(std::vector<Byte>(good.begin(), good.begin() + good.size() / 3), preview, true);
  EXPECT_FALSE(preview.Probe.Failed()) << preview.Probe.Reason;
  EXPECT_EQ(preview.Params.Width, 40);
  EXPECT_EQ(preview.Params.Height, 24);
  EXPECT_EQ(preview.Bitmap.GetWidth(), 0);

  // Xsiz and Ysiz of the image and tile size segment (big-endian at bytes 8 and 12), the
  // component count at 40.
  auto withSize = [&](uint32_t W, uint32_t H, uint32_t TileW, uint32_t TileH) {
    std::vector<Byte> d = good;
    for (int i = 0; i < 4; ++i) {
      d[8 + i] = Byte(W >> (24 - 8 * i));
      d[12 + i] = Byte(H >> (24 - 8 * i));
      d[24 + i] = Byte(TileW >> (24 - 8 * i));
      d[28 + i] = Byte(TileH >> (24 - 8 * i));
    }
    return d;
  };
  // Two components, the JP2 colour box set to sRGB: a colour image short of its blue.
  const std::string two = Fixture("jp2-two-components.jp2",
                                  "python3 -c \"import sys; open(sys.argv[1],'wb').write(bytes(range(128)))\" {out}.raw && "
                                  "opj_compress -i {out}.raw -o {out}.jp2 -F 8,8,2,8,u -n 2 >/dev/null && mv {out}.jp2 {out} && rm {out}.raw");
  std::vector<Byte> twoAsRgb = ReadWholeFile(two);
  for (size_t i = 0; i + 11 < twoAsRgb.size(); ++i)
    if (std::string(twoAsRgb.begin() + i, twoAsRgb.begin() + i + 4) == "colr") {
      twoAsRgb[i + 10] = 16;
      break;
    }
  std::vector<Byte> corrupt = good;
  for (size_t i = good.size() / 2; i < good.size() / 2 + 40; ++i) corrupt[i] ^= 0x5A;
  std::vector<Byte> noComponents = good;
  noComponents[40] = 0;
  noComponents[41] = 0;
  struct TCase {
    std::string Name;
    std::vector<Byte> Data;
    std::string Reason;  // part of the reason
  };
  const std::vector<TCase> cases = {
      {"not JPEG 2000", std::vector<Byte>(64, 'x'), "not a JPEG 2000 file"},
      {"empty", {}, "not a JPEG 2000 file"},
      {"signature only", std::vector<Byte>(goodJp2.begin(), goodJp2.begin() + 12), "cannot be read"},
      {"code stream cut in half", std::vector<Byte>(good.begin(), good.begin() + good.size() / 2), "cannot be read"},
      {"JP2 cut short", std::vector<Byte>(goodJp2.begin(), goodJp2.end() - 30), "cannot be read"},
      {"header cut short", std::vector<Byte>(good.begin(), good.begin() + 30), "cannot be read"},
      {"data corrupted", corrupt, ""},
      {"no components", noComponents, "cannot be read"},
      {"sRGB of two components", twoAsRgb, "component"},
      {"100000 x 100000 in a few bytes", withSize(100000, 100000, 100000, 100000), "above the limit"},
      {"2000000 pixels wide", withSize(2000000, 24, 2000000, 24), "above the limit"},
      // Within the image size limits, but 1.2 billion 32-bit samples for the library to hold.
      {"20000 x 20000 in one tile", withSize(20000, 20000, 20000, 20000), "above the limit"},
      {"20000 x 20000 in tiles of 1000", withSize(20000, 20000, 1000, 1000), "too few for its 400 tiles"},
      // 12000 tiles of 4 x 4 pixels in a kilobyte: each tile needs a header of its own.
      {"12000 tiles", withSize(480, 400, 4, 4), "too few for its 12000 tiles"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    // Each read in a child process under the time and memory caps: a bomb that allocates, a
    // hang or a crash fails here instead of taking the test run with it.
    const TCorpusReplay replay = ReplayOne(c.Data, 1, [](const std::vector<Byte>& data, size_t) -> TCorpusResult {
      TRead r;
      ReadJ2000(data, r);
      return CorpusOutcome(r);
    }, DefaultCorpusCaps(), c.Name);
    EXPECT_EQ(replay.Problem, "");
    if (c.Name == "data corrupted" && replay.Result.Read) continue;  // the damage may fall in coded data the decoder takes
    EXPECT_FALSE(replay.Result.Read);
    EXPECT_NE(replay.Result.Reason.find(c.Reason), std::string::npos) << replay.Result.Reason;
    EXPECT_FALSE(replay.Result.Reason.empty());
  }
}

// Ours, read by opj_decompress and described by opj_dump: the components, precision,
// resolutions and progression asked for, samples scaled from 8 bits as Trunc(v / 255 x max).
TEST(Jp2Writer, OpjDecompressReadsOursAndOpjDumpDescribesThem) {
  const std::string dir = testsupport::MakeTempDir("jp2w");
  struct TCase {
    std::string Name;
    Integer Format, Width, Height;
    TIEPixelFormat Pixels;
    Integer Bits, ColorSpace;
    Integer AlphaKind;  // 0 none, 1 partly transparent, 2 fully opaque (not written)
    double Rate;
    Integer Progression;
    Integer Components;
    std::string Dump;  // lines opj_dump must show
  };
  const std::vector<TCase> cases = {
      {"rgb", IEJ2000FormatJP2, 37, 29, ie24RGB, 8, 1, 0, 1.0, 0, 3, "prg=0\n|numresolutions=5|prec=8"},
      {"rgb-code-stream", IEJ2000FormatJ2K, 37, 29, ie24RGB, 8, 1, 0, 1.0, 1, 3, "prg=0x1"},
      {"ycbcr-as-rgb", IEJ2000FormatJ2K, 20, 20, ie24RGB, 8, 2, 0, 1.0, 2, 3, "prg=0\n|mct=1"},
      {"grey", IEJ2000FormatJP2, 24, 16, ie24RGB, 8, 0, 0, 1.0, 0, 1, "numcomps=1"},
      {"grey-4", IEJ2000FormatJ2K, 24, 16, ie24RGB, 4, 0, 0, 1.0, 0, 1, "prec=4"},
      {"rgb-16", IEJ2000FormatJ2K, 17, 9, ie24RGB, 16, 1, 0, 1.0, 0, 3, "prec=16"},
      {"mono", IEJ2000FormatJP2, 21, 13, ie1g, 8, 1, 0, 1.0, 0, 1, "prec=1"},
      {"alpha", IEJ2000FormatJP2, 21, 13, ie24RGB, 8, 1, 1, 1.0, 0, 4, "numcomps=4"},
      {"opaque alpha", IEJ2000FormatJ2K, 21, 13, ie24RGB, 8, 1, 2, 1.0, 0, 3, "numcomps=3"},
      {"1x1", IEJ2000FormatJ2K, 1, 1, ie24RGB, 8, 1, 0, 1.0, 0, 3, "numresolutions=1"},
      {"3x2", IEJ2000FormatJP2, 3, 2, ie24RGB, 8, 1, 0, 1.0, 0, 3, "numresolutions=2"},
      {"paletted", IEJ2000FormatJP2, 9, 7, ie8p, 8, 1, 0, 1.0, 0, 3, "numcomps=3"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TIEBitmap b;
    b.Allocate(c.Width, c.Height, ie24RGB);
    for (Integer y = 0; y < c.Height; ++y)
      for (Integer x = 0; x < c.Width; ++x)
        b.SetPixelRGB(x, y, IECreateRGB(Byte(x * 255 / std::max(1, c.Width - 1)), Byte(y * 17 + 128), Byte(255 - x * 5 - y)));
    if (c.Pixels == ie1g || c.Pixels == ie8p) b.SetPixelFormat(c.Pixels);
    if (c.AlphaKind) {
      TIEBitmap* a = b.GetAlphaChannel();
      for (Integer y = 0; y < c.Height; ++y)
        for (Integer x = 0; x < c.Width; ++x) b.SetAlphaValue(x, y, c.AlphaKind == 1 ? Byte(x * 12) : 255);
      a->Full = c.AlphaKind == 2;
    }
    TIOParamsVals p(nullptr);
    p.BitsPerSample = c.Bits;
    p.J2000ColorSpace = Byte(c.ColorSpace);
    p.J2000Rate = c.Rate;
    p.J2000Progression = Byte(c.Progression);
    TProgressProbe probe(true);
    TMemoryStream m;
    WriteJ2000Stream(&m, &b, p, probe.Progress, c.Format);
    ASSERT_FALSE(probe.Failed()) << probe.Reason;
    ASSERT_FALSE(probe.Reports.empty());
    EXPECT_LT(probe.Reports.back(), 100);
    if (c.Pixels == ie1g) {
      EXPECT_EQ(p.BitsPerSample, 1);
      EXPECT_EQ(p.J2000ColorSpace, 0);
    }
    const std::vector<Byte> bytes = StreamBytes(m);
    const std::string path = dir + "/" + c.Name + (c.Format == IEJ2000FormatJP2 ? ".jp2" : ".j2k");
    WriteFileBytes(path, bytes);
    const std::string dump = RunOk("opj_dump -i " + ShellQuote(path) + " 2>/dev/null");
    EXPECT_NE(dump.find("numcomps=" + std::to_string(c.Components)), std::string::npos) << dump;
    for (size_t from = 0; from < c.Dump.size();) {
      const size_t bar = c.Dump.find('|', from);
      const std::string want = c.Dump.substr(from, bar == std::string::npos ? std::string::npos : bar - from);
      EXPECT_NE(dump.find(want), std::string::npos) << want << "\n" << dump;
      from = bar == std::string::npos ? c.Dump.size() : bar + 1;
    }

    // opj_decompress's samples, lossless: each source byte v as v x max div 255.
    const TPam pam = Decompressed(path);
    ASSERT_EQ(pam.Width, c.Width);
    ASSERT_EQ(pam.Depth, c.Components);
    const Integer bits = c.Pixels == ie1g ? 1 : c.Bits;
    const Integer maxVal = (1 << bits) - 1;
    Integer worst = 0;
    for (Integer y = 0; y < c.Height; ++y)
      for (Integer x = 0; x < c.Width; ++x) {
        const TRGB px = b.GetPixelAsRGB(x, y);
        std::vector<Integer> want;
        if (c.Components == 1) want = {IERGBToGray(px) * maxVal / 255};
        else want = {px.r * maxVal / 255, px.g * maxVal / 255, px.b * maxVal / 255};
        if (c.Pixels == ie1g) want = {px.r ? 1 : 0};
        if (c.Components == 4) want.push_back(b.GetAlphaValue(x, y) * maxVal / 255);
        for (size_t s = 0; s < want.size(); ++s) worst = std::max(worst, std::abs(pam.At(x, y, Integer(s)) - want[s]));
      }
    EXPECT_EQ(worst, 0);

    // And ours reads it back: the mono image as bits, the alpha as the alpha channel.
    TRead back;
    ReadJ2000(bytes, back);
    ASSERT_FALSE(back.Probe.Failed()) << back.Probe.Reason;
    EXPECT_EQ(back.Bitmap.GetPixelFormat(), c.Pixels == ie1g ? ie1g : ie24RGB);
    EXPECT_EQ(back.Bitmap.HasAlphaChannel(), c.Components == 4);
    if (c.Bits == 8 && c.Components >= 3) {
      EXPECT_EQ(MaxDifference(back.Bitmap, b), 0);
    }
    if (c.Pixels == ie1g) {
      EXPECT_EQ(MaxDifference(back.Bitmap, b), 0);
    }
  }
  testsupport::RemoveTree(dir);
}

// A rate below 1 is the share of the raw size to aim at; the image stays close.
TEST(Jp2Writer, RateBelowOneShrinksTheFile) {
  TIEBitmap b;
  b.Allocate(64, 48, ie24RGB);
  for (Integer y = 0; y < 48; ++y)
    for (Integer x = 0; x < 64; ++x) b.SetPixelRGB(x, y, IECreateRGB(Byte(x * 4), Byte(y * 5), Byte((x ^ y) * 3)));
  size_t sizes[2] = {0, 0};
  Integer i = 0;
  for (double rate : {1.0, 0.1}) {
    TIOParamsVals p(nullptr);
    p.J2000Rate = rate;
    TProgressProbe probe;
    TMemoryStream m;
    WriteJ2000Stream(&m, &b, p, probe.Progress, IEJ2000FormatJ2K);
    ASSERT_FALSE(probe.Failed()) << probe.Reason;
    sizes[i++] = size_t(m.Size());
    TRead back;
    ReadJ2000(StreamBytes(m), back);
    ASSERT_FALSE(back.Probe.Failed()) << back.Probe.Reason;
    EXPECT_LE(MaxDifference(back.Bitmap, b), rate < 1 ? 96 : 0);
  }
  // 64 x 48 x 3 bytes raw: a tenth is 922 bytes.
  EXPECT_LE(sizes[1], 64u * 48 * 3 / 10 + 64);
  EXPECT_LT(sizes[1], sizes[0]);
}

// A stream that takes no more than a few bytes, as a full disk does.
class TFullStream : public TMemoryStream {
 public:
  explicit TFullStream(Int64 Room) : FRoom(Room) {}
  Integer Write(const void* Buffer, Integer Count) override {
    if (Size() + Count > FRoom) Count = Integer(std::max<Int64>(0, FRoom - Size()));
    return Count ? TMemoryStream::Write(Buffer, Count) : 0;
  }

 private:
  Int64 FRoom;
};

// The encoder's result is checked: a stream that refuses bytes, and parameters no image can be
// written with, fail with a reason instead of being reported as written.
TEST(Jp2Writer, FailuresAreReportedWithAReason) {
  TIEBitmap b;
  b.Allocate(40, 30, ie24RGB);
  for (Integer y = 0; y < 30; ++y)
    for (Integer x = 0; x < 40; ++x) b.SetPixelRGB(x, y, IECreateRGB(Byte(x * 6), Byte(y * 8), Byte(x * y)));
  TMemoryStream whole;
  {
    TIOParamsVals p(nullptr);
    TProgressProbe probe;
    WriteJ2000Stream(&whole, &b, p, probe.Progress, IEJ2000FormatJ2K);
    ASSERT_FALSE(probe.Failed()) << probe.Reason;
  }
  struct TCase {
    std::string Name;
    Int64 Room;  // below 0: that many bytes fewer than the whole code stream
    Integer Bits;
    double Rate;
    Integer Format;
    bool Empty;
  };
  const std::vector<TCase> cases = {
      {"disk full at once", 0, 8, 1.0, IEJ2000FormatJ2K, false},
      {"disk full after the header", 200, 8, 1.0, IEJ2000FormatJP2, false},
      {"disk full near the end", -10, 8, 1.0, IEJ2000FormatJ2K, false},
      {"0 bits", 1 << 20, 0, 1.0, IEJ2000FormatJ2K, false},
      {"17 bits", 1 << 20, 17, 1.0, IEJ2000FormatJ2K, false},
      {"rate 0", 1 << 20, 8, 0.0, IEJ2000FormatJ2K, false},
      {"rate NaN", 1 << 20, 8, std::nan(""), IEJ2000FormatJ2K, false},
      {"format 2", 1 << 20, 8, 1.0, 2, false},
      {"empty image", 1 << 20, 8, 1.0, IEJ2000FormatJ2K, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TIEBitmap empty;
    TIOParamsVals p(nullptr);
    p.BitsPerSample = c.Bits;
    p.J2000Rate = c.Rate;
    TProgressProbe probe;
    TFullStream s(c.Room < 0 ? whole.Size() + c.Room : c.Room);
    WriteJ2000Stream(&s, c.Empty ? &empty : &b, p, probe.Progress, c.Format);
    EXPECT_TRUE(probe.Failed());
    EXPECT_FALSE(probe.Reason.empty());
  }
}

// The inputs that once upset the JPEG 2000 fuzzing target (a tile count whose product overflowed
// a signed 64-bit sum, which the sanitized build reports).
TEST(Corpus, Jp2FuzzFindings) {
  ReplayFuzzFindings("jp2", [](const std::vector<Byte>& data, size_t) -> TCorpusResult {
    TRead r;
    ReadJ2000(data, r);
    return CorpusOutcome(r);
  });
}

TEST(Corpus, Jp2Reader) {
  const size_t reads = ReplayCorpus("jp2", [](const std::vector<Byte>& data, size_t index) -> TCorpusResult {
    TRead r;
    ReadJ2000(data, r, index % 7 == 3);
    return CorpusOutcome(r);
  });
  EXPECT_GT(reads, 100u);
}

}  // namespace
