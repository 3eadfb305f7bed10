// Colour reductions and colour helpers: black and white, quantisation, grey levels, the palette
// operations and their undo and events, checked against python3 references, colorsys and
// ImageMagick's quantizer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <memory>
#include <cstring>
#include <random>
#include <set>
#include <sstream>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_bits.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_quantizer.h"
#include "imaging/proc/ie_conversions.h"
#include "imaging/proc/ie_proc.h"
#include "tests/imaging/proc/proc_images.h"
#include "tests/imaging/proc/proc_test_util.h"
#include "tests/support/fixtures.h"

namespace {

using proctest::Packed;
using proctest::Pixel;
using proctest::TEvents;

std::set<DWORD> Colours(TIEBitmap& Image) {
  std::set<DWORD> s;
  for (Integer y = 0; y < Image.GetHeight(); ++y)
    for (Integer x = 0; x < Image.GetWidth(); ++x) {
      const TRGB c = Pixel(Image, x, y);
      s.insert(DWORD(c.r) << 16 | DWORD(c.g) << 8 | c.b);
    }
  return s;
}

double Psnr(const std::vector<Byte>& A, const std::vector<Byte>& B) {
  double sum = 0;
  for (size_t i = 0; i < A.size(); ++i) sum += (double(A[i]) - B[i]) * (double(A[i]) - B[i]);
  const double mse = sum / A.size();
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

TEST(ProcConversions, BlackAndWhiteMatchesTheReferenceBitForBit) {
  TIEBitmap source;
  proctest::LoadPlasma(source, 61, 43);
  // Near-white pixels: all channels 251 and up stay white everywhere, 250 does not.
  source.SetPixelRGB(8, 8, IECreateRGB(251, 252, 255));
  source.SetPixelRGB(15, 8, IECreateRGB(250, 255, 255));
  const std::string dir = testsupport::MakeTempDir("bw");
  const std::vector<Byte> bgr = Packed(source);
  proctest::WriteFile(dir + "/in.bgr", bgr);
  struct TCase {
    const char* Name;
    Integer Dither;  // ConvertTo's method, or -1 for the maximum-entropy threshold
    std::string Reference;
  } cases[] = {
      {"ordered", 0, "dither 61 43"},
      {"mean threshold", 1, "threshold 61 43 -1"},
      {"maximum entropy", -1, "threshold 61 43 -2"},
  };
  for (const TCase& c : cases) {
    TIEBitmap image;
    image.Assign(&source);
    if (c.Dither >= 0) {
      TZodivErProc proc(nullptr);
      proc.AttachBitmap(&image);
      proc.ConvertTo(2, Byte(c.Dither));
    } else {
      TIECodecProgress progress;
      IEConvertToBWThreshold(&image, -2, progress);
    }
    ASSERT_EQ(image.GetPixelFormat(), ie1g) << c.Name;
    testsupport::RunOk(proctest::ReferenceScript() + " " + c.Reference + " " + dir + "/in.bgr " + dir + "/out.bits");
    EXPECT_TRUE(Packed(image) == proctest::ReadFile(dir + "/out.bits")) << c.Name;
  }
  testsupport::RemoveTree(dir);
}

TEST(ProcConversions, DitheredWhiteAndNearWhite) {
  TIEBitmap image(16, 16, ie24RGB);
  image.Fill(0xFFFFFF);
  image.SetPixelRGB(7, 0, IECreateRGB(250, 255, 255));
  image.SetPixelRGB(15, 8, IECreateRGB(250, 255, 255));
  image.SetPixelRGB(3, 3, IECreateRGB(250, 255, 255));
  TZodivErProc proc(nullptr);
  proc.AttachBitmap(&image);
  proc.ConvertTo(2, 0);
  ASSERT_EQ(image.GetPixelFormat(), ie1g);
  // Level 63 is white except where the matrix holds 63: x mod 8 = 7, y mod 8 = 0.
  for (Integer y = 0; y < 16; ++y)
    for (Integer x = 0; x < 16; ++x) {
      const bool black = (x == 7 && y == 0) || (x == 15 && y == 8);
      EXPECT_EQ(IEGetBit(static_cast<Byte*>(image.GetScanline(y)), x), !black) << x << "," << y;
    }
}

// Our quantizer against ImageMagick's on the same photo-like image, both without dithering:
// at most n colours, and an error of the same order.
TEST(ProcConversions, QuantisingLeavesAtMostNColoursWithAnErrorLikeImageMagicks) {
  const Integer W = 160, H = 120;
  TIEBitmap source;
  proctest::LoadPlasma(source, W, H, 11);
  const std::string plasma = proctest::PlasmaFixture(W, H, 11);
  const std::vector<Byte> original = Packed(source);
  for (Integer n : {8, 64, 256}) {
    TIEBitmap image;
    image.Assign(&source);
    TZodivErProc proc(nullptr);
    proc.AttachBitmap(&image);
    proc.ConvertTo(n, 0);
    ASSERT_EQ(image.GetPixelFormat(), ie24RGB);
    EXPECT_LE(Colours(image).size(), size_t(n));
    const std::string out = testsupport::MakeTempDir("q") + "/im.rgb";
    testsupport::RunOk("convert -size 160x120 -depth 8 rgb:" + plasma + " +dither -colors " + std::to_string(n) +
                       " -depth 8 rgb:" + out);
    std::vector<Byte> im = proctest::ReadFile(out);
    ASSERT_EQ(im.size(), original.size());
    for (size_t i = 0; i < im.size(); i += 3) std::swap(im[i], im[i + 2]);
    const double ours = Psnr(original, Packed(image)), theirs = Psnr(original, im);
    std::cout << "[ PSNR    ] " << n << " colours: ours " << ours << " dB, ImageMagick " << theirs << " dB\n";
    EXPECT_GT(ours, theirs - 3.0) << n;
  }
}

struct ProcConvertOps : ::testing::Test {
  TIEBitmap image{8, 6, ie24RGB};
  TZodivErProc proc{nullptr};
  TEvents events;
  void SetUp() override {
    for (Integer y = 0; y < 6; ++y)
      for (Integer x = 0; x < 8; ++x) image.SetPixelRGB(x, y, IECreateRGB(Byte(x * 30), Byte(y * 40), Byte(x * y)));
    proc.AttachBitmap(&image);
    proc.AutoUndo = true;
    proc.SetUndoLimit(5);
    events.Watch(proc);
  }
  void MakePalette(Integer Colours) {
    image.Allocate(8, 6, ie8p);
    for (Integer i = 0; i < 256; ++i) image.SetPaletteEntry(i, IECreateRGB(Byte(i), Byte(255 - i), Byte(i / 2)));
    for (Integer y = 0; y < 6; ++y)
      for (Integer x = 0; x < 8; ++x) image.SetPixelByte(x, y, Byte((x + 8 * y) % Colours));
  }
};

// Operations that would change nothing report nothing and leave no undo step.
TEST_F(ProcConvertOps, NothingToChangeMeansNoUndoAndNoReport) {
  const std::vector<Byte> before = Packed(image);
  proc.ConvertTo(2000, 0);                 // more colours than the quantizer makes
  proc.ConvertTo(64, 0);                   // the image has 48 colours
  TRGB palette[64];
  proc.ConvertToPalette(0, palette, 0);    // no colours asked
  proc.ConvertToPalette(64, palette, 0);   // the 48 colours come back in the palette
  EXPECT_EQ(proc.UndoCount(), 0);
  EXPECT_EQ(events.Finished, 0);
  EXPECT_TRUE(Packed(image) == before);
  EXPECT_EQ(palette[47], Pixel(image, 7, 5));

  TIEBitmap grey(4, 4, ie8g);
  grey.Fill(77);
  proc.AttachBitmap(&grey);
  proc.ConvertToGray();
  EXPECT_EQ(proc.UndoCount(), 0);
  EXPECT_EQ(events.Finished, 0);
}

TEST_F(ProcConvertOps, APaletteTooShortIsRefusedBeforeAnythingChanges) {
  const std::vector<Byte> before = Packed(image);
  TRGB one[1] = {{1, 2, 3}};
  proc.ConvertToPalette(2, one, 0);        // black and white need two entries
  TRGB ten[10];
  proc.ConvertToPalette(16, ten, 0);       // sixteen colours need sixteen
  EXPECT_EQ(proc.UndoCount(), 0);
  EXPECT_EQ(events.Finished, 0);
  EXPECT_TRUE(Packed(image) == before);
  EXPECT_EQ(one[0], (TRGB{1, 2, 3}));

  TRGB bw[2];
  proc.ConvertToPalette(1, bw, 1);
  EXPECT_EQ(image.GetPixelFormat(), ie1g);
  EXPECT_EQ(bw[0], (TRGB{0, 0, 0}));
  EXPECT_EQ(bw[1], (TRGB{255, 255, 255}));
  EXPECT_EQ(proc.GetUndoCaption(0), "ConvertToPalette");
}

TEST_F(ProcConvertOps, QuantisedPixelsAreEntriesOfTheReturnedPalette) {
  TRGB palette[16];
  proc.ConvertToPalette(16, palette, 0);
  ASSERT_EQ(proc.UndoCount(), 1);
  EXPECT_EQ(events.Finished, 1);
  for (Integer y = 0; y < 6; ++y)
    for (Integer x = 0; x < 8; ++x)
      EXPECT_NE(std::find(palette, palette + 16, Pixel(image, x, y)), palette + 16) << x << "," << y;
}

TEST_F(ProcConvertOps, APaletteImageIsConvertedAndItsUndoBringsThePaletteBack) {
  MakePalette(200);
  proc.ConvertTo(2000, 0);
  EXPECT_EQ(image.GetPixelFormat(), ie24RGB);
  ASSERT_EQ(proc.UndoCount(), 1);
  EXPECT_EQ(proc.GetUndoCaption(0), "ConvertTo 2000");
  EXPECT_EQ(events.Finished, 1);
  proc.Undo();
  ASSERT_EQ(image.GetPixelFormat(), ie8p);
  EXPECT_EQ(image.GetPixelByte(3, 2), 19);
  EXPECT_EQ(image.GetPaletteEntry(19), IECreateRGB(19, 236, 9));

  MakePalette(48);
  proc.ConvertTo(256, 0);
  EXPECT_EQ(image.GetPixelFormat(), ie24RGB);  // not back to a palette
  EXPECT_LE(Colours(image).size(), 48u);
  EXPECT_EQ(proc.GetUndoCaption(0), "ConvertTo 256");

  MakePalette(48);
  proc.AutoConvertFormat = false;
  const Integer finished = events.Finished;
  proc.ConvertTo(256, 0);
  EXPECT_EQ(image.GetPixelFormat(), ie8p);
  EXPECT_EQ(events.Finished, finished);
}

TEST_F(ProcConvertOps, GreyLevelsUseTheLibrarysWeights) {
  proc.ConvertToGray();
  ASSERT_EQ(proc.UndoCount(), 1);
  EXPECT_EQ(proc.GetUndoCaption(0), "ConvertToGray");
  EXPECT_EQ(image.GetPixelFormat(), ie24RGB);
  // R 150, G 120, B 15: (150 * 21 + 120 * 71 + 15 * 8) / 100 = 117.
  EXPECT_EQ(Pixel(image, 5, 3), (TRGB{117, 117, 117}));
  EXPECT_EQ(events.Progress.back(), 100);
}

TEST(ProcColourHelpers, RowBitsRepackAsTheTableSays) {
  const TRGB palette[3] = {{0, 0, 0}, {255, 255, 255}, {1, 2, 3}};
  Byte out[32];
  const Byte eight[9] = {0, 1, 1, 0, 1, 0, 0, 0, 1};
  EXPECT_EQ(IEConvertRowBits(eight, out, 8, 1, 9, palette, nullptr), 2);
  EXPECT_EQ(out[0], 0x68);
  EXPECT_EQ(out[1], 0x80);

  const Byte bits[1] = {0xA0};  // 1, 0, 1
  std::memset(out, 0, sizeof out);
  EXPECT_EQ(IEConvertRowBits(bits, out, 1, 4, 3, palette, nullptr), 2);
  EXPECT_EQ(out[0], 0x10);
  EXPECT_EQ(out[1], 0x10);
  EXPECT_EQ(IEConvertRowBits(bits, out, 1, 24, 3, palette, nullptr), 9);
  EXPECT_EQ(reinterpret_cast<TRGB*>(out)[0], palette[1]);
  EXPECT_EQ(reinterpret_cast<TRGB*>(out)[1], palette[0]);

  // Nibbles 2 and 7: 7 is past the palette and gives black instead of a read beyond it.
  const Byte nibbles[1] = {0x27};
  EXPECT_EQ(IEConvertRowBits(nibbles, out, 4, 24, 2, palette, nullptr), 6);
  EXPECT_EQ(reinterpret_cast<TRGB*>(out)[0], palette[2]);
  EXPECT_EQ(reinterpret_cast<TRGB*>(out)[1], (TRGB{0, 0, 0}));
  EXPECT_EQ(IEConvertRowBits(nibbles, out, 4, 8, 2, palette, nullptr), 2);
  EXPECT_EQ(out[0], 2);
  EXPECT_EQ(out[1], 7);

  const Byte rgbx[8] = {1, 2, 3, 99, 4, 5, 6, 99};
  EXPECT_EQ(IEConvertRowBits(rgbx, out, 32, 24, 2, palette, nullptr), 6);
  EXPECT_EQ(std::vector<Byte>(out, out + 6), (std::vector<Byte>{1, 2, 3, 4, 5, 6}));

  // 24 -> 8 through a quantizer of an image with these very colours.
  TIEBitmap two(2, 1, ie24RGB);
  two.SetPixelRGB(0, 0, IECreateRGB(200, 10, 10));
  two.SetPixelRGB(1, 0, IECreateRGB(10, 10, 200));
  TRGB found[4] = {};
  TIEQuantizer quantizer(&two, found, 4);
  const TRGB row[3] = {IECreateRGB(10, 10, 200), IECreateRGB(200, 10, 10), IECreateRGB(10, 10, 200)};
  EXPECT_EQ(IEConvertRowBits(row, out, 24, 8, 3, {}, &quantizer), 3);
  EXPECT_EQ(found[out[0]], row[0]);
  EXPECT_EQ(found[out[1]], row[1]);
  EXPECT_EQ(IEConvertRowBits(row, out, 24, 16, 3, {}, &quantizer), 0);
}

TEST(ProcColourHelpers, TwoColoursNearestEntryAndMean) {
  TIEBitmap image(5, 3, ie24RGB);
  for (Integer y = 0; y < 3; ++y)
    for (Integer x = 0; x < 5; ++x) image.SetPixelRGB(x, y, IECreateRGB(0, 0, 255));
  image.SetPixelRGB(0, 0, IECreateRGB(255, 0, 0));
  image.SetPixelRGB(4, 2, IECreateRGB(255, 0, 0));
  TRGB c0{}, c1{};
  std::unique_ptr<TIEBitmap> bw(IETwoColorsToBW(&image, c0, c1));
  ASSERT_TRUE(bw);
  EXPECT_EQ(c0, IECreateRGB(0, 0, 255));  // blue is the darker by the weights
  EXPECT_EQ(c1, IECreateRGB(255, 0, 0));
  for (Integer y = 0; y < 3; ++y)
    for (Integer x = 0; x < 5; ++x)
      EXPECT_EQ(IEGetBit(static_cast<Byte*>(bw->GetScanline(y)), x), Pixel(image, x, y).r == 255) << x << y;

  TIEBitmap one(3, 3, ie24RGB);
  for (Integer y = 0; y < 3; ++y)
    for (Integer x = 0; x < 3; ++x) one.SetPixelRGB(x, y, IECreateRGB(1, 2, 3));
  EXPECT_EQ(IETwoColorsToBW(&one, c0, c1), nullptr);
  image.SetPixelRGB(2, 2, IECreateRGB(0, 255, 0));
  EXPECT_EQ(IETwoColorsToBW(&image, c0, c1), nullptr);

  const TRGB palette[3] = {IECreateRGB(10, 10, 10), IECreateRGB(30, 10, 10), IECreateRGB(20, 20, 20)};
  EXPECT_EQ(IENearestPaletteIndex(palette, 3, IECreateRGB(20, 10, 10)), 0);  // two at 10: the first
  EXPECT_EQ(IENearestPaletteIndex(palette, 3, IECreateRGB(21, 21, 21)), 2);
  EXPECT_EQ(IENearestPaletteIndex(palette, 300, IECreateRGB(21, 21, 21)), 2);  // never past the end
  EXPECT_EQ(IENearestPaletteIndex(palette, 0, IECreateRGB(21, 21, 21)), 0);

  TIEBitmap pair(2, 1, ie24RGB);
  pair.SetPixelRGB(0, 0, IECreateRGB(10, 20, 30));
  pair.SetPixelRGB(1, 0, IECreateRGB(20, 40, 61));
  Integer r, g, b;
  IEGetAverageColor(&pair, r, g, b);
  EXPECT_EQ(r, 15);
  EXPECT_EQ(g, 30);
  EXPECT_EQ(b, 45);
  TIEBitmap grey16(2, 1, ie16g);
  grey16.SetPixelWord(0, 0, 0x8000);  // Trunc(32768 / 65535 * 255) = 127, not the high byte
  grey16.SetPixelWord(1, 0, 0x8000);
  IEGetAverageColor(&grey16, r, g, b);
  EXPECT_EQ(r, 127);
}

TEST(ProcColourHelpers, HslAgreesWithColorsys) {
  std::mt19937 rng(7);
  std::vector<TRGB> colours = {IECreateRGB(0, 0, 0),     IECreateRGB(255, 255, 255), IECreateRGB(255, 0, 0),
                               IECreateRGB(0, 255, 255), IECreateRGB(200, 200, 10),  IECreateRGB(10, 200, 200),
                               IECreateRGB(127, 128, 127)};
  for (int i = 0; i < 200; ++i) colours.push_back(IECreateRGB(Byte(rng()), Byte(rng()), Byte(rng())));
  const std::string dir = testsupport::MakeTempDir("hsl");
  std::ostringstream in;
  for (const TRGB& c : colours) in << int(c.r) << " " << int(c.g) << " " << int(c.b) << "\n";
  std::ofstream(dir + "/in.txt") << in.str();
  testsupport::RunOk(proctest::ReferenceScript() + " hsl " + dir + "/in.txt " + dir + "/out.txt");
  std::ifstream out(dir + "/out.txt");
  for (const TRGB& c : colours) {
    double h, s, l;
    int r, g, b;
    out >> h >> s >> l >> r >> g >> b;
    double H, S, L;
    IERGBToHSL(c, H, S, L);
    EXPECT_NEAR(H, h, 1e-9);
    EXPECT_NEAR(S, s, 1e-9);
    EXPECT_NEAR(L, l, 1e-9);
    EXPECT_EQ(IEHSLToRGB(H, S, L), IECreateRGB(Byte(r), Byte(g), Byte(b))) << int(c.r) << " " << int(c.g);
  }
  EXPECT_EQ(IEHSLToRGB(1.5, 1, 0.5), IECreateRGB(0, 255, 255));
  testsupport::RemoveTree(dir);
}

TEST(ProcColourHelpers, Convolution3x3RepeatsTheEdgesAndLimitsTheResult) {
  TIEBitmap image(4, 3, ie8g);
  const Byte values[3][4] = {{10, 20, 30, 40}, {50, 60, 70, 80}, {90, 100, 110, 120}};
  for (Integer y = 0; y < 3; ++y)
    for (Integer x = 0; x < 4; ++x) image.SetPixelByte(x, y, values[y][x]);
  const TIEKernel3x3 blur{{1, 1, 1, 1, 1, 1, 1, 1, 1}, 9};
  IEConvolve3x3Gray(&image, blur, 0, 0, 4, 3);
  // Corner (0, 0): rows 0, 0, 1 and columns 0, 0, 1 -> (10+10+20)*2 + 50+50+60 = 240 / 9.
  EXPECT_EQ(image.GetPixelByte(0, 0), 26);
  EXPECT_EQ(image.GetPixelByte(1, 1), 60);
  const TIEKernel3x3 edges{{1, 1, 1, 1, -8, 1, 1, 1, 1}, 0};
  TIEBitmap flat(3, 3, ie8g);
  flat.Fill(200);
  flat.SetPixelByte(1, 1, 0);
  IEConvolve3x3Gray(&flat, edges, 0, 0, 2, 2);  // the far column and row stay out
  EXPECT_EQ(flat.GetPixelByte(1, 1), 255);     // |8 * 200| limited to 255
  EXPECT_EQ(flat.GetPixelByte(0, 0), 200);     // |200 * 8 - 0 - 7 * 200| = 200
  EXPECT_EQ(flat.GetPixelByte(2, 2), 200);
}

}  // namespace
