// Blend operations against an independent python3 model of their rules, and the standard ones
// against ImageMagick's compose operators.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "imaging/core/ie_blend.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_startup.h"
#include "tests/support/fixtures.h"

namespace {

class Blend : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { IEInitialize(); }
  static void TearDownTestSuite() { IEFinalize(); }
};

TRGB Grey(Byte v) { return TRGB{v, v, v}; }

TEST_F(Blend, EveryOperationMatchesTheReferenceModel) {
  std::istringstream in(testsupport::RunOk(std::string("python3 ") + CLAVORNE_SOURCE_DIR +
                                           "/tests/imaging/core/blend_reference.py"));
  std::string line;
  int cases = 0;
  while (std::getline(in, line)) {
    std::istringstream row(line);
    if (line.rfind("rgb", 0) == 0) {
      std::string tag;
      int op, sr, sg, sb, dr, dg, db, rr, rg, rb;
      row >> tag >> op >> sr >> sg >> sb >> dr >> dg >> db >> rr >> rg >> rb;
      TRGB dest = IECreateRGB(dr, dg, db);
      IEBlendRGB(IECreateRGB(sr, sg, sb), dest, op);
      EXPECT_EQ(dest, IECreateRGB(rr, rg, rb)) << line;
    } else {
      int op, s, d, want;
      row >> op >> s >> d >> want;
      // Distinct channel values show that each channel pairs with its own counterpart.
      TRGB dest{static_cast<Byte>(d), Byte(255 - d), static_cast<Byte>(d)};
      IEBlendRGB(TRGB{static_cast<Byte>(s), Byte(255 - s), static_cast<Byte>(s)}, dest, op);
      EXPECT_EQ(dest.b, want) << line;
      EXPECT_EQ(dest.r, want) << line;
    }
    ++cases;
  }
  EXPECT_GT(cases, 5000);
}

TEST_F(Blend, EdgeValues) {
  struct Row { TIEBlendOp Op; Byte S, D, Want; };
  const Row rows[] = {
      {0, 7, 99, 7},     {1, 200, 100, 255}, {2, 10, 30, 20},  {3, 0, 77, 77},   {11, 255, 3, 255},
      {12, 0, 0, 0},     {12, 128, 127, 255}, {18, 255, 0, 255}, {19, 0, 200, 0}, {16, 255, 0, 0},
      {16, 0, 255, 255},
      // Multiplying by white and screening with black leave the destination as it is.
      {4, 255, 255, 255}, {4, 255, 77, 77}, {11, 0, 0, 0},    {11, 0, 77, 77},
  };
  for (const Row& r : rows) {
    TRGB dest = Grey(r.D);
    IEBlendRGB(Grey(r.S), dest, r.Op);
    EXPECT_EQ(dest, Grey(r.Want)) << "op " << r.Op << " s " << int(r.S) << " d " << int(r.D);
  }
  for (TIEBlendOp op : {38, 100, -1}) {
    TRGB dest = IECreateRGB(1, 2, 3);
    IEBlendRGB(IECreateRGB(200, 201, 202), dest, op);
    EXPECT_EQ(dest, IECreateRGB(1, 2, 3)) << op;
  }
  TRGB dest = IECreateRGB(1, 2, 3);
  IEBlendRGB(IECreateRGB(200, 201, 202), dest, 31);
  EXPECT_EQ(dest, IECreateRGB(200, 2, 3));
}

// A 16 x 16 grid: the source varies along x, the destination along y.
std::string WriteGrid(const std::string& path, bool Source) {
  std::ofstream f(path, std::ios::binary);
  f << "P6\n16 16\n255\n";
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const int v = (Source ? x : y) * 17;
      const char px[3] = {char(v), char(255 - v), char(v / 2)};
      f.write(px, 3);
    }
  return path;
}

TEST_F(Blend, StandardOperationsAgreeWithImageMagickCompose) {
  const std::string dir = testsupport::MakeTempDir("blend");
  const std::string src = WriteGrid(dir + "/src.ppm", true), dst = WriteGrid(dir + "/dst.ppm", false);
  struct Row { TIEBlendOp Op; const char* Compose; };
  for (const Row& r : {Row{1, "Plus"}, Row{2, "Difference"}, Row{4, "Multiply"}, Row{8, "Lighten"},
                       Row{9, "Darken"}, Row{11, "Screen"}}) {
    const std::string out = dir + "/" + r.Compose + ".ppm";
    testsupport::RunOk("convert " + dst + " " + src + " -compose " + r.Compose + " -composite -depth 8 " + out);
    std::ifstream f(out, std::ios::binary);
    std::string magic;
    int w, h, maxv;
    f >> magic >> w >> h >> maxv;
    f.get();
    ASSERT_EQ(w * h, 256);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        unsigned char px[3];
        f.read(reinterpret_cast<char*>(px), 3);
        const int s = x * 17, d = y * 17;
        TRGB dest = IECreateRGB(d, 255 - d, d / 2);
        IEBlendRGB(IECreateRGB(s, 255 - s, s / 2), dest, r.Op);
        EXPECT_NEAR(dest.r, px[0], 2) << r.Compose << " at " << x << "," << y;
        EXPECT_NEAR(dest.g, px[1], 2) << r.Compose << " at " << x << "," << y;
        EXPECT_NEAR(dest.b, px[2], 2) << r.Compose << " at " << x << "," << y;
      }
  }
  testsupport::RemoveTree(dir);
}

}  // namespace
