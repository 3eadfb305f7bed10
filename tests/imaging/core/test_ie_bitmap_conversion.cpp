// Pixel-format conversion of the image buffer, checked against an independent python3
// reference of the conversion rules, in every memory and file store.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_pixel_format.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_quantizer.h"
#include "tests/imaging/core/ie_bitmap_test_util.h"
#include "tests/imaging/support/plain_cmyk.h"
#include "tests/support/fixtures.h"

using namespace ietest;

namespace {

std::vector<Byte> FromHex(const std::string& hex) {
  std::vector<Byte> out;
  if (hex == "-") return out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<Byte>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

struct Source {
  Integer Width = 0, Height = 0;
  std::vector<Byte> Pixels, Palette;
};
struct Case {
  TIEPixelFormat From, To;
  Byte Dither;
  std::vector<Byte> Pixels, Palette;
};

struct Reference {
  std::map<int, Source> Sources;
  std::vector<Case> Cases;
};

const Reference& LoadReference() {
  static Reference ref = [] {
    Reference r;
    std::istringstream in(testsupport::RunOk(std::string("python3 ") + CLAVORNE_SOURCE_DIR +
                                             "/tests/imaging/core/conversion_reference.py"));
    std::string kind;
    while (in >> kind) {
      if (kind == "source") {
        int fmt;
        Source s;
        std::string px, pal;
        in >> fmt >> s.Width >> s.Height >> px >> pal;
        s.Pixels = FromHex(px);
        s.Palette = FromHex(pal);
        r.Sources[fmt] = s;
      } else {
        int from, to, dither;
        std::string px, pal;
        in >> from >> to >> dither >> px >> pal;
        r.Cases.push_back({TIEPixelFormat(from), TIEPixelFormat(to), Byte(dither), FromHex(px), FromHex(pal)});
      }
    }
    return r;
  }();
  return ref;
}

// ie1g pixels travel as one byte (0 or 1) per pixel; the rest as packed unpadded rows.
size_t PixelBytes(TIEPixelFormat f) { return f == ie1g ? 1 : static_cast<size_t>(IEBytesPerPixel(f)); }

void Load(TIEBitmap& b, TIEPixelFormat f, const Source& s) {
  ASSERT_TRUE(b.Allocate(s.Width, s.Height, f));
  const size_t bpp = PixelBytes(f), rowBytes = bpp * static_cast<size_t>(s.Width);
  for (Integer y = 0; y < s.Height; ++y) {
    Byte* row = static_cast<Byte*>(b.GetScanline(y));
    const Byte* src = s.Pixels.data() + rowBytes * static_cast<size_t>(y);
    if (f == ie1g) {
      std::memset(row, 0, static_cast<size_t>(b.GetRowLen()));
      for (Integer x = 0; x < s.Width; ++x)
        if (src[x]) row[x >> 3] |= static_cast<Byte>(0x80 >> (x & 7));
    } else {
      std::memcpy(row, src, rowBytes);
    }
  }
  b.UnmapAllRows();
  for (size_t i = 0; i * 3 + 2 < s.Palette.size(); ++i)
    b.SetPaletteEntry(Integer(i), TRGB{s.Palette[3 * i], s.Palette[3 * i + 1], s.Palette[3 * i + 2]});
}

std::vector<Byte> Pixels(TIEBitmap& b) {
  const TIEPixelFormat f = b.GetPixelFormat();
  const size_t bpp = PixelBytes(f);
  std::vector<Byte> out;
  for (Integer y = 0; y < b.GetHeight(); ++y) {
    const Byte* row = static_cast<const Byte*>(b.GetScanline(y));
    for (Integer x = 0; x < b.GetWidth(); ++x) {
      if (f == ie1g) out.push_back((row[x >> 3] >> (7 - (x & 7))) & 1);
      else out.insert(out.end(), row + bpp * size_t(x), row + bpp * size_t(x + 1));
    }
  }
  b.UnmapAllRows();
  return out;
}

class ConversionMatrix : public ::testing::TestWithParam<Store> {};

TEST_P(ConversionMatrix, EveryPairMatchesReference) {
  // The reference converts to and from ieCMYK by the plain formula.
  const ietest::TCMYKProfileUse formula(false);
  const Reference& ref = LoadReference();
  ASSERT_EQ(ref.Sources.size(), 10u);
  ASSERT_GT(ref.Cases.size(), 90u);
  std::string folder = testsupport::MakeTempDir("conv");
  IETempFolder = folder;
  int failures = 0;
  // The framework bitmap holds only 1-, 8-, 24- and 32-bit RGB rows, and reports an 8-bit image
  // with a grey-ramp palette as ie8g; it runs the pairs it can hold.
  auto held = [](TIEPixelFormat f) { return f == ie1g || f == ie8p || f == ie8g || f == ie24RGB || f == ie32RGB; };
  int ran = 0;
  for (const Case& c : ref.Cases) {
    if (GetParam() == Store::TBitmap && (!held(c.From) || !held(c.To) || c.To == ie8p)) continue;
    ++ran;
    StoreScope store(GetParam());
    TIEBitmap b;
    store.Prepare(b);
    b.DitherMethod = c.Dither;
    Load(b, c.From, ref.Sources.at(c.From));
    b.ConvertPixelFormat(c.To);
    std::string label = std::to_string(c.From) + "->" + std::to_string(c.To) + " dither " + std::to_string(c.Dither);
    EXPECT_TRUE(store.InStore(b)) << label;
    ASSERT_EQ(b.GetPixelFormat(), c.To) << label;
    std::vector<Byte> got = Pixels(b);
    if (got != c.Pixels) {
      size_t i = 0;
      while (i < got.size() && i < c.Pixels.size() && got[i] == c.Pixels[i]) ++i;
      ADD_FAILURE() << label << ": first difference at byte " << i;
      ++failures;
    }
    if (!c.Palette.empty()) {
      std::vector<Byte> pal;
      for (Integer i = 0; i < 256; ++i) {
        TRGB e = b.GetPaletteEntry(i);
        pal.insert(pal.end(), {e.b, e.g, e.r});
      }
      EXPECT_EQ(pal, c.Palette) << label << ": palette";
    }
  }
  IETempFolder.clear();
  testsupport::RemoveTree(folder);
  EXPECT_EQ(failures, 0);
  EXPECT_GE(ran, 12);
}

INSTANTIATE_TEST_SUITE_P(Stores, ConversionMatrix, ::testing::Values(Store::Block, Store::Fragments, Store::File, Store::TBitmap),
                         [](const auto& info) { return std::string(StoreName(info.param)); });

// Formats without a direct rule go through ie24RGB: the source itself ends as ie24RGB, and the
// alpha channel passes to the result.
TEST(Conversion, ThroughRgbKeepsAlphaAndTurnsSourceRgb) {
  TIEBitmap src(2, 1, ieCMYK), dst(2, 1, ie8g);
  src.SetPixelDWord(0, 0, 0xFFFFFFFF);  // no ink: white
  src.SetPixelDWord(1, 0, 0xFF0000FF);  // C inverted 255, M 0, Y 0, K 255: red
  src.SetAlphaValue(1, 0, 7);
  dst.CopyAndConvertFormat(&src);
  EXPECT_EQ(src.GetPixelFormat(), ie24RGB);
  EXPECT_FALSE(src.HasAlphaChannel());
  ASSERT_TRUE(dst.HasAlphaChannel());
  EXPECT_EQ(dst.GetAlphaValue(1, 0), 7);
  EXPECT_EQ(dst.GetPixelByte(0, 0), 255);
  EXPECT_EQ(dst.GetPixelByte(1, 0), 53);  // 255 x 21 div 100
}

TEST(Conversion, SizeMismatchChangesNothing) {
  TIEBitmap src(3, 3, ie24RGB), dst(4, 3, ie8g);
  src.Fill(clWhite);
  dst.Fill(9);
  dst.CopyAndConvertFormat(&src);
  EXPECT_EQ(dst.GetPixelByte(0, 0), 9);
  EXPECT_EQ(src.GetPixelFormat(), ie24RGB);
}

}  // namespace

namespace {

// The 8 x 8 ordered dither: a mid level sets the entries below 32, half the matrix; the format's
// maximum stays white everywhere (the matrix holds 63, which no level of 0..63 exceeds).
TEST(Conversion, OrderedDitherHalfAndWhite) {
  struct Row {
    TIEPixelFormat f;
    double fill;
    int expectedWhite;
  } table[] = {{ie8g, 128, 32}, {ie8g, 255, 64}, {ie24RGB, clWhite, 64}, {ie16g, 65535, 64}, {ie32f, 1.0, 64}, {ie8g, 0, 0}};
  for (const Row& r : table) {
    TIEBitmap b(8, 8, r.f);
    b.Fill(r.fill);
    b.DitherMethod = 0;
    b.ConvertPixelFormat(ie1g);
    int white = 0;
    for (Integer y = 0; y < 8; ++y) white += __builtin_popcount(static_cast<Byte*>(b.GetScanline(y))[0]);
    EXPECT_EQ(white, r.expectedWhite) << int(r.f) << " " << r.fill;
  }
}

}  // namespace

namespace {

// A true-colour image with more colours than any palette holds goes through the quantizer with
// the image's PaletteColors: no index reaches the colour count, and the palette is exactly the
// one the quantizer makes of that image (box splitting for 16, the neural net for 256).
TEST(Conversion, TrueColourToPaletteUsesTheQuantizerAndItsColourCount) {
  const Integer w = 96, h = 64;  // 6144 distinct colours
  auto gradient = [&](TIEBitmap& b) {
    ASSERT_TRUE(b.Allocate(w, h, ie24RGB));
    for (Integer y = 0; y < h; ++y)
      for (Integer x = 0; x < w; ++x)
        b.SetPixelRGB(x, y, IECreateRGB(Byte(x * 255 / (w - 1)), Byte(y * 255 / (h - 1)), Byte((x * 7 + y * 3) & 0xFF)));
  };
  for (Store s : {Store::Block, Store::File}) {
    for (Integer colours : {16, 256}) {
      SCOPED_TRACE(std::string(StoreName(s)) + " " + std::to_string(colours));
      StoreScope scope(s);
      TIEBitmap reference;
      gradient(reference);
      TRGB expected[256] = {};
      TIEQuantizer quantizer(&reference, expected, colours);
      EXPECT_EQ(quantizer.Method(), colours < 128 ? 1 : 0);

      TIEBitmap b;
      scope.Prepare(b);
      gradient(b);
      b.PaletteColors = colours;
      b.ConvertPixelFormat(ie8p);
      ASSERT_EQ(b.GetPixelFormat(), ie8p);
      EXPECT_TRUE(scope.InStore(b));
      for (Integer i = 0; i < 256; ++i) ASSERT_EQ(b.GetPaletteEntry(i), expected[i]) << "entry " << i;
      Integer highest = 0;
      for (Integer y = 0; y < h; ++y)
        for (Integer x = 0; x < w; ++x) {
          const Byte index = b.GetPixelByte(x, y);
          highest = std::max<Integer>(highest, index);
          ASSERT_EQ(index, quantizer.RGBIndex(reference.GetPixelRGB(x, y))) << x << "," << y;
        }
      EXPECT_LT(highest, colours);
      EXPECT_GE(highest, colours / 2);  // the palette is used, not one entry
    }
  }
}

}  // namespace
