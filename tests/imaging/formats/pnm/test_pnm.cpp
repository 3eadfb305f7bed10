// The PNM codec against netpbm: P1 to P6 with comments and any maximum value (16-bit samples
// included) decode as netpbm scales them; what we write netpbm reads back with its comments.
#include <gtest/gtest.h>

#include "imaging/core/ie_helpers.h"
#include "imaging/formats/pnm/ie_pnm.h"
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

void ReadPnm(const std::vector<Byte>& Data, TRead& R, bool Native = false) {
  TMemoryStream m;
  FillStream(m, Data);
  R.Params.NativePixelFormat = Native;
  ReadPXMStream(&m, &R.Bitmap, R.Params, R.Probe.Progress, false);
}

std::vector<Byte> Bytes(const std::string& S) { return std::vector<Byte>(S.begin(), S.end()); }

// Every kind netpbm writes, plain and raw, at maximum values 1, 15, 100, 255, 1000 and 65535.
TEST(PnmReader, NetpbmFilesDecodeAsNetpbmScalesThem) {
  struct TCase {
    std::string Name, Recipe;
  };
  std::vector<TCase> cases;
  for (Integer maxval : {15, 100, 255, 1000, 65535}) {
    const std::string m = std::to_string(maxval);
    const std::string rgb = kMake + "rgb 17 9 " + m + " 0 {out}.src && ";
    const std::string grey = kMake + "grey 17 9 " + m + " 0 {out}.src && ";
    cases.push_back({"p6-" + m, rgb + "cp {out}.src {out}"});
    cases.push_back({"p3-" + m, rgb + "pnmtoplainpnm {out}.src > {out}"});
    cases.push_back({"p5-" + m, grey + "cp {out}.src {out}"});
    cases.push_back({"p2-" + m, grey + "pnmtoplainpnm {out}.src > {out}"});
  }
  cases.push_back({"p4", kMake + "rgb 19 7 255 0 {out}.src && pamthreshold {out}.src | pamtopnm > {out}"});
  cases.push_back({"p1", kMake + "rgb 19 7 255 0 {out}.src && pamthreshold {out}.src | pamtopnm | pnmtoplainpnm > {out}"});
  cases.push_back({"p6-comment", kMake + "rgb 5 4 255 0 {out}.src && (printf 'P6\\n# made for a test \\n'; tail -c +4 {out}.src) > {out}"});
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string file = Fixture("pnm-" + c.Name + ".pnm", c.Recipe);
    // pamdepth rescales to 255 with netpbm's rounding; our readers truncate: 1 apart at most.
    const TPam pam = PamFromCommand("pamdepth 255 " + ShellQuote(file));
    ForEachStore([&](Store, StoreScope& scope) {
      TRead r;
      scope.Prepare(r.Bitmap);
      ReadPnm(ReadWholeFile(file), r);
      ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
      EXPECT_LE(MaxDifference(r.Bitmap, pam), 1);
      if (c.Name == "p6-comment") {
        ASSERT_EQ(r.Params.PxmComments->Count(), 1);
        EXPECT_EQ(r.Params.PxmComments->Strings(0), "made for a test");
      }
    });
  }
}

TEST(PnmReader, SixteenBitsScalingAndDamage) {
  // P6 at 65535: ie24RGB of the scaled samples, or ieRGB48 of the samples themselves.
  const std::vector<Byte> wide = Bytes(std::string("P6 2 1 65535\n") + std::string("\x12\x34\xff\xff\x00\x00\x80\x00\x00\x01\xfe\xdc", 12));
  // The framework bitmap holds no 48-bit colour: the native read into it says so.
  ForEachStore([&](Store s, StoreScope& scope) {
    TRead n;
    scope.Prepare(n.Bitmap);
    ReadPnm(wide, n, true);
    if (s == Store::TBitmap) {
      EXPECT_TRUE(n.Probe.Failed());
      EXPECT_EQ(n.Probe.Reason, "ieRGB48 pixel format not allowed when Location=ieTBitmap");
      return;
    }
    ASSERT_EQ(n.Bitmap.GetPixelFormat(), ieRGB48);
    EXPECT_EQ(n.Bitmap.GetPixelRGB48(0, 0).r, 0x1234);
    EXPECT_EQ(n.Bitmap.GetPixelRGB48(1, 0).b, 0xFEDC);
  });
  TRead e;
  ReadPnm(wide, e);
  EXPECT_EQ(e.Bitmap.GetPixelRGB(0, 0), IECreateRGB(0x12, 0xFF, 0));
  // P5 at 1000 has two bytes a sample; at 100 one byte, scaled (100 -> 255, 50 -> 127).
  TRead g;
  ReadPnm(Bytes(std::string("P5 2 1 1000\n") + std::string("\x03\xe8\x01\xf4", 4)), g);
  EXPECT_EQ(g.Bitmap.GetPixelRGB(0, 0).g, 255);
  EXPECT_EQ(g.Bitmap.GetPixelRGB(1, 0).g, 127);
  TRead h;
  ReadPnm(Bytes("P5 2 1 100\n\x64\x32"), h);
  EXPECT_EQ(h.Bitmap.GetPixelRGB(0, 0).r, 255);
  EXPECT_EQ(h.Bitmap.GetPixelRGB(1, 0).r, 127);
  // P2 at 15; P1 digits run together.
  TRead p2;
  ReadPnm(Bytes("P2\n2 1\n15\n15 0\n"), p2);
  EXPECT_EQ(p2.Bitmap.GetPixelRGB(0, 0).b, 255);
  EXPECT_EQ(p2.Bitmap.GetPixelRGB(1, 0).b, 0);
  TRead p1;
  ReadPnm(Bytes("P1 4 1 0101"), p1);
  ASSERT_EQ(p1.Bitmap.GetPixelFormat(), ie1g);
  EXPECT_EQ(p1.Bitmap.GetPixelAsRGB(0, 0), IECreateRGB(255, 255, 255));
  EXPECT_EQ(p1.Bitmap.GetPixelAsRGB(1, 0), IECreateRGB(0, 0, 0));

  const std::vector<std::pair<std::string, std::vector<Byte>>> refused = {
      {"P7", Bytes("P7 2 2 255\n")},
      {"no size", Bytes("P6\n# only a comment\n")},
      {"maxval 0", Bytes("P5 1 1 0\n\x00")},
      {"maxval 70000", Bytes("P6 1 1 70000\n\x00\x00\x00\x00\x00\x00")},
      {"truncated raw", Bytes("P6 4 4 255\nabcdef")},
      {"truncated plain", Bytes("P3 2 2 255\n1 2 3 4 5 6\n")},
      {"truncated P1", Bytes("P1 4 4 0101")},
  };
  for (const auto& [name, data] : refused) {
    SCOPED_TRACE(name);
    TRead r;
    ReadPnm(data, r);
    EXPECT_TRUE(r.Probe.Failed());
    EXPECT_FALSE(r.Probe.Reason.empty());
  }
  TMemoryStream m;
  FillStream(m, Bytes("P3\n# a comment\n4 4\n255\n"));
  EXPECT_TRUE(IsPXM(&m));
  EXPECT_EQ(m.Position(), 0);
  FillStream(m, Bytes("P7\n4 4\n"));
  EXPECT_FALSE(IsPXM(&m));
}

TEST(PnmWriter, NetpbmReadsOurFilesWithTheirComments) {
  const std::string dir = testsupport::MakeTempDir("pnmw");
  TIEBitmap b;
  b.Allocate(11, 4, ie24RGB);
  for (Integer y = 0; y < 4; ++y)
    for (Integer x = 0; x < 11; ++x) b.SetPixelRGB(x, y, IECreateRGB(Byte(x * 23), Byte(y * 60), Byte(200 - x * 9)));
  struct TKind {
    std::string Name;
    Integer Bits, Samples;
    const char* Magic;
  };
  for (const TKind& k : {TKind{"p6", 8, 3, "P6"}, {"p6-16", 16, 3, "P6"}, {"p5", 8, 1, "P5"}, {"p4", 1, 1, "P4"}}) {
    SCOPED_TRACE(k.Name);
    TIOParamsVals p(nullptr);
    p.BitsPerSample = k.Bits;
    p.SamplesPerPixel = k.Samples;
    p.PxmComments->Add("first line");
    p.PxmComments->Add("second line");
    TProgressProbe probe;
    TMemoryStream m;
    WritePXMStream(&m, &b, p, probe.Progress);
    ASSERT_FALSE(probe.Failed()) << probe.Reason;
    const std::vector<Byte> bytes = StreamBytes(m);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 2), k.Magic);
    const std::string path = dir + "/" + k.Name + ".pnm";
    WriteFileBytes(path, bytes);
    TRead back;
    ReadPnm(bytes, back);
    ASSERT_FALSE(back.Probe.Failed()) << back.Probe.Reason;
    ASSERT_EQ(back.Params.PxmComments->Count(), 2);
    EXPECT_EQ(back.Params.PxmComments->Strings(1), "second line");
    EXPECT_EQ(MaxDifference(back.Bitmap, PamFromCommand("pamdepth 255 " + ShellQuote(path))), 0);
    if (k.Samples == 3) {
      EXPECT_EQ(MaxDifference(back.Bitmap, b), 0);
    }
  }
  testsupport::RemoveTree(dir);
}

TEST(Corpus, PnmReader) {
  const size_t reads = ReplayCorpus("pnm", [](const std::vector<Byte>& data, size_t index) -> TCorpusResult {
    TRead r;
    ReadPnm(data, r, index % 2 == 1);
    return CorpusOutcome(r);
  });
  EXPECT_GT(reads, 100u);
}

}  // namespace
