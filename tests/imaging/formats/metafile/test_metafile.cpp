// The metafile probes on headers python3 writes (tools/make_metafile.py), whole and damaged,
// at any stream position; and the size a metafile is imported at.
#include <gtest/gtest.h>

#include "imaging/formats/metafile/ie_metafile.h"
#include "tests/imaging/formats/codec_test_util.h"

using namespace ietest;
using testsupport::Fixture;

namespace {

const std::string kMake =
    std::string("python3 ") + CLAVORNE_SOURCE_DIR + "/tests/imaging/formats/tools/make_metafile.py {out} ";

std::vector<Byte> Metafile(const std::string& Kind) {
  return ReadWholeFile(Fixture("metafile-" + Kind + ".bin", kMake + Kind));
}

}  // namespace

// Each header as the probes and detection see it, at the start of a stream and after other
// bytes; the position is where it was afterwards whatever the answer.
TEST(MetafileProbes, WholeAndDamagedHeaders) {
  struct Case {
    const char* Kind;
    bool WMF, EMF;
  };
  const Case cases[] = {
      {"placeable", true, false}, {"plain", true, false},   {"disk", false, false},
      {"words10", false, false},  {"params", false, false}, {"cut", false, false},
      {"emf", false, true},       {"emfsig", false, false}, {"emfcut", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Kind);
    const std::vector<Byte> file = Metafile(c.Kind);
    for (size_t prefix : {size_t(0), size_t(7)}) {
      std::vector<Byte> data(prefix, 0x11);
      data.insert(data.end(), file.begin(), file.end());
      TMemoryStream m;
      FillStream(m, data);
      m.SetPosition(Int64(prefix));
      EXPECT_EQ(IsWMF(&m), c.WMF);
      EXPECT_EQ(m.Position(), Int64(prefix));
      EXPECT_EQ(IsEMF(&m), c.EMF);
      EXPECT_EQ(m.Position(), Int64(prefix));
    }
  }
  const std::string bmp = Fixture("metafile-probe.bmp", "convert -size 9x4 xc:red BMP3:{out}");
  TMemoryStream m;
  FillStream(m, ReadWholeFile(bmp));
  EXPECT_FALSE(IsWMF(&m));
  EXPECT_FALSE(IsEMF(&m));
  EXPECT_EQ(m.Position(), 0);
}

// The size of an import: a negative side follows the picture's proportions, both negative keep
// its size, sides beyond the largest come down to it. A picture with a zero side gives no
// proportions to follow and no image, instead of a division by zero.
TEST(MetafileImport, ImportSize) {
  struct Case {
    Integer PW, PH, W, H;
    bool Ok;
    Integer WantW, WantH;
  };
  const Case cases[] = {
      {1000, 500, -1, 250, true, 500, 250},
      {1000, 500, 300, -1, true, 300, 150},
      {1000, 500, -1, -1, true, 1000, 500},
      {1000, 500, 40, 30, true, 40, 30},
      {16000, 8000, -1, -1, true, 8000, 4000},
      {8000, 16000, -1, -1, true, 4000, 8000},
      {1, 100000, -1, -1, true, 1, 8000},
      {2000000000, 2, -1, 4, true, 8000, 1},  // 4 x 2000000000 does not fit 32 bits
      {1000, 0, -1, 250, false, 0, 250},
      {0, 500, 250, -1, false, 250, 0},
      {0, 0, -1, -1, false, 0, 0},
      {1000, 500, 0, 100, false, 0, 100},
      {1, 1000, 100, -1, true, 8, 8000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.PW) + " x " + std::to_string(c.PH) + " at " + std::to_string(c.W) + " x " +
                 std::to_string(c.H));
    Integer w = c.W, h = c.H;
    EXPECT_EQ(IEMetafileImportSize(c.PW, c.PH, w, h, 8000), c.Ok);
    if (c.Ok) {
      EXPECT_EQ(w, c.WantW);
      EXPECT_EQ(h, c.WantH);
    }
  }
}
