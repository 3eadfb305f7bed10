// Packed DIBs and YUV frames into images and back: pictures written by ImageMagick and frames
// laid out by ffmpeg against the colours those tools meant, crafted headers for what tools do
// not write, and hostile headers that must be refused without reading outside their block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_bits.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/ie_text_boxes.h"
#include "imaging/proc/ie_bit_rows.h"
#include "imaging/proc/ie_dib.h"
#include "imaging/proc/ie_tbitmap_copy.h"
#include "imaging/proc/ie_yuv.h"
#include "tests/imaging/proc/netpbm_io.h"
#include "tests/imaging/support/measured_read.h"
#include "tests/support/fixtures.h"

namespace {

using ietest::ReadBytes;

std::string Source(const std::string& Kind) {
  return testsupport::Fixture("dib-" + Kind + ".ppm",
                              "python3 " CLAVORNE_SOURCE_DIR "/tests/imaging/proc/dib_sources.py " + Kind + " {out}");
}

// Largest channel difference between a 24-bit image and an R, G, B raster of its size.
Integer MaxDifference(TIEBitmap& b, const std::vector<Byte>& Rgb) {
  Integer worst = 0;
  for (Integer y = 0; y < b.GetHeight(); ++y) {
    const Byte* p = static_cast<const Byte*>(b.GetScanline(y));
    for (Integer x = 0; x < b.GetWidth(); ++x)
      for (Integer c = 0; c < 3; ++c)
        worst = std::max(worst, std::abs(Integer(p[3 * x + c]) - Rgb[(static_cast<size_t>(y) * b.GetWidth() + x) * 3 + 2 - c]));
  }
  return worst;
}

TEST(DIBToBitmap, PicturesWrittenByImageMagickReadAsImageMagickReadsThem) {
  struct TCase {
    const char* Name;
    const char* Kind;
    const char* Options;
    Integer Bits;
    const char* Tag;  // of the fixtures' names: one per case
  } cases[] = {
      {"BMP3 24-bit", "rgb", "BMP3:", 24, "24"},
      {"RGB565 bit fields in a long header", "rgb", "-define bmp:subtype=RGB565 BMP:", 16, "565"},
      {"RGB555 bit fields in a long header", "rgb", "-define bmp:subtype=RGB555 BMP:", 16, "555"},
      {"32-bit bit fields in a long header", "rgb", "-alpha on BMP:", 32, "32"},
      {"BMP3 8-bit palette", "pal256", "-type Palette -compress none BMP3:", 8, "8"},
      {"BMP3 4-bit palette", "pal16", "-type Palette BMP3:", 4, "4"},
      {"BMP3 1-bit", "bw", "-type Bilevel BMP3:", 1, "1"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string src = Source(c.Kind);
    const std::string bmp = testsupport::Fixture(std::string("dib-") + c.Kind + "-" + c.Tag + ".bmp",
                                                 "convert " + src + " " + c.Options + "{out}");
    const std::vector<Byte> file = ReadBytes(bmp);
    ASSERT_GT(file.size(), 54u);
    // The file's packed picture follows its 14-byte file header.
    TIEBitmap b;
    EXPECT_EQ(IEDIBToBitmap(file.data() + 14, file.size() - 14, &b), c.Bits);
    const ietest::TNetpbm expected = ietest::ReadNetpbm(testsupport::Fixture(
        std::string("dib-") + c.Kind + "-" + c.Tag + ".ppm", "convert " + bmp + " -depth 8 ppm:{out}"));
    ASSERT_EQ(b.GetWidth(), expected.Width);
    ASSERT_EQ(b.GetHeight(), expected.Height);
    if (c.Bits == 1) {
      ASSERT_EQ(b.GetPixelFormat(), ie1g);
      for (Integer y = 0; y < b.GetHeight(); ++y)
        for (Integer x = 0; x < b.GetWidth(); ++x)
          EXPECT_EQ(b.GetPixelAsRGB(x, y).r, expected.Data[(static_cast<size_t>(y) * expected.Width + x) * 3]);
    } else {
      ASSERT_EQ(b.GetPixelFormat(), ie24RGB);
      EXPECT_LE(MaxDifference(b, expected.Data), 2);
    }
    // The file's own pixel offset given as Bits reads the same picture.
    if (c.Bits == 24) {
      const DWORD offset = DWORD(file[10]) | DWORD(file[11]) << 8;
      TIEBitmap again;
      IEDIBToBitmap(file.data() + 14, file.size() - 14, &again, file.data() + offset, file.size() - offset);
      EXPECT_TRUE(IEBitmapsEqual(&b, &again));
    }
  }
}

// A packed picture: a 40-byte header, the table, the masks, the rows.
std::vector<Byte> MakeDIB(Integer W, Integer H, Integer Bits, DWORD Compression, const std::vector<DWORD>& Table,
                          const std::vector<DWORD>& Masks, const std::vector<Byte>& Rows, DWORD ClrUsed = 0) {
  TIEBitmapInfoHeader h{};
  h.biSize = 40;
  h.biWidth = W;
  h.biHeight = H;
  h.biPlanes = 1;
  h.biBitCount = static_cast<Word>(Bits);
  h.biCompression = Compression;
  h.biClrUsed = ClrUsed;
  std::vector<Byte> d(sizeof h);
  std::memcpy(d.data(), &h, sizeof h);
  for (DWORD v : Table) d.insert(d.end(), {Byte(v), Byte(v >> 8), Byte(v >> 16), Byte(v >> 24)});
  for (DWORD v : Masks) d.insert(d.end(), {Byte(v), Byte(v >> 8), Byte(v >> 16), Byte(v >> 24)});
  d.insert(d.end(), Rows.begin(), Rows.end());
  return d;
}

TRGB At(TIEBitmap& b, Integer X, Integer Y) { return b.GetPixelAsRGB(X, Y); }

TEST(DIBToBitmap, CraftedLayoutsTablesAndMasks) {
  // Two-entry table of an 8-bit picture: pixels right after it; an index past it is black.
  {
    TIEBitmap b;
    const auto d = MakeDIB(3, 1, 8, 0, {0x0000FF, 0x00FF00}, {}, {1, 0, 5, 0}, 2);
    EXPECT_EQ(IEDIBToBitmap(d.data(), d.size(), &b), 8);
    EXPECT_EQ(At(b, 0, 0), (TRGB{0, 255, 0}));
    EXPECT_EQ(At(b, 1, 0), (TRGB{255, 0, 0}));
    EXPECT_EQ(At(b, 2, 0), (TRGB{0, 0, 0}));
  }
  // 4 bits, 3 wide: two bytes a row, high nibble first; rows bottom-up.
  {
    TIEBitmap b;
    std::vector<DWORD> table(16, 0);
    table[1] = 0x010101;
    table[2] = 0x020202;
    table[3] = 0x030303;
    const auto d = MakeDIB(3, 2, 4, 0, table, {}, {0x12, 0x30, 0, 0, 0x32, 0x10, 0, 0});
    EXPECT_EQ(IEDIBToBitmap(d.data(), d.size(), &b), 4);
    EXPECT_EQ(At(b, 0, 1).r, 1);
    EXPECT_EQ(At(b, 2, 1).r, 3);
    EXPECT_EQ(At(b, 0, 0).r, 3);
    EXPECT_EQ(At(b, 1, 0).r, 2);
  }
  // Bit fields: 5-6-5, blue-first 5-5-5, 2-2-2 (narrower than a byte in all) and 10-10-10.
  struct TFields {
    Integer Bits;
    std::vector<DWORD> Masks;
    DWORD Pixel;
    TRGB Expected;
  } fields[] = {
      {16, {0xF800, 0x07E0, 0x001F}, 0xFFFF, {255, 255, 255}},
      {16, {0x001F, 0x03E0, 0x7C00}, 0x7C00 | 0x0010, {255, 0, 132}},
      {16, {0x0030, 0x000C, 0x0003}, 0x0031, {85, 0, 255}},
      {32, {0x3FF00000, 0x000FFC00, 0x000003FF}, 0x3FF003FF, {255, 0, 255}},
  };
  for (const TFields& f : fields) {
    std::vector<Byte> row(4, 0);
    for (Integer i = 0; i < f.Bits / 8; ++i) row[i] = Byte(f.Pixel >> (8 * i));
    const auto d = MakeDIB(1, 1, f.Bits, 3, {}, f.Masks, row);
    TIEBitmap b;
    EXPECT_EQ(IEDIBToBitmap(d.data(), d.size(), &b), f.Bits);
    EXPECT_EQ(At(b, 0, 0), f.Expected) << std::hex << f.Pixel;
  }
  // A 1-bit table that puts white first still shows white as white.
  {
    TIEBitmap b;
    const auto d = MakeDIB(9, 1, 1, 0, {0xFFFFFF, 0}, {}, {0x80, 0x00, 0, 0});
    EXPECT_EQ(IEDIBToBitmap(d.data(), d.size(), &b), 1);
    EXPECT_EQ(At(b, 0, 0).r, 0);
    EXPECT_EQ(At(b, 8, 0).r, 255);
  }
  // A negative height stores the rows top-down.
  {
    TIEBitmap b;
    const auto d = MakeDIB(1, -2, 24, 0, {}, {}, {1, 1, 1, 0, 2, 2, 2, 0});
    EXPECT_EQ(IEDIBToBitmap(d.data(), d.size(), &b), 24);
    ASSERT_EQ(b.GetHeight(), 2);
    EXPECT_EQ(At(b, 0, 0).r, 1);
    EXPECT_EQ(At(b, 0, 1).r, 2);
  }
  // Run-length data is not read as rows: the picture is allocated and left black.
  {
    TIEBitmap b;
    const auto d = MakeDIB(4, 2, 8, 1, std::vector<DWORD>(256, 0xFFFFFF), {}, {4, 1, 0, 0, 4, 1, 0, 1});
    EXPECT_EQ(IEDIBToBitmap(d.data(), d.size(), &b), 8);
    EXPECT_EQ(b.GetWidth(), 4);
    EXPECT_EQ(At(b, 0, 0), (TRGB{0, 0, 0}));
  }
}

TEST(DIBToBitmap, HostileHeadersAreRefusedAndTheBitmapIsLeftAlone) {
  const auto good = MakeDIB(4, 4, 24, 0, {}, {}, std::vector<Byte>(48, 7));
  struct TCase {
    const char* Name;
    std::vector<Byte> Data;
  } cases[] = {
      {"rows cut short", std::vector<Byte>(good.begin(), good.end() - 1)},
      {"shorter than a header", std::vector<Byte>(good.begin(), good.begin() + 39)},
      {"colour table past the end", MakeDIB(2, 2, 8, 0, {}, {}, std::vector<Byte>(8, 0), 0x40000000)},
      {"bit masks past the end", MakeDIB(1, 1, 16, 3, {}, {0xF800}, {})},
      {"zero width", MakeDIB(0, 4, 24, 0, {}, {}, std::vector<Byte>(48, 7))},
      {"huge height", MakeDIB(4, 0x7FFFFFFF, 24, 0, {}, {}, std::vector<Byte>(48, 7))},
      {"lowest height", MakeDIB(4, INT32_MIN, 24, 0, {}, {}, std::vector<Byte>(48, 7))},
      {"rows larger than any block", MakeDIB(0x7FFFFFFF, 0x7FFFFFFF, 32, 0, {}, {}, std::vector<Byte>(48, 7))},
      {"YUV frame too short", MakeDIB(8, 8, 16, IEFourCC('Y', 'U', 'Y', '2'), {}, {}, {})},
  };
  for (const TCase& c : cases) {
    TIEBitmap b(3, 3, ie8g);
    b.Fill(42);
    const Byte* bits = std::string(c.Name) == "YUV frame too short" ? c.Data.data() : nullptr;
    EXPECT_EQ(IEDIBToBitmap(c.Data.data(), c.Data.size(), &b, bits, bits ? 16 : 0), 0) << c.Name;
    EXPECT_EQ(b.GetWidth(), 3) << c.Name;
    EXPECT_EQ(b.GetPixelByte(1, 1), 42) << c.Name;
  }
  auto longHeader = good;
  longHeader[0] = 200;  // biSize beyond the block
  TIEBitmap b;
  EXPECT_EQ(IEDIBToBitmap(longHeader.data(), longHeader.size(), &b), 0);
  EXPECT_EQ(IEDIBToBitmap(good.data(), good.size(), &b), 24);
}

// A picture whose data are not decoded (an unknown compression, run-length data, a YUV layout
// given no frame) is a blank image of its size, up to the limit of images their data need not
// describe; a 242-byte one claiming 29791 x 24864 is refused at once, before anything of that
// size is allocated, filled or copied, and a YUV frame shorter than its luma likewise.
TEST(DIBToBitmap, PicturesTheirDataDoNotDescribeAreHeldToTheLimit) {
  const auto unknown = [](Integer W, Integer H) {
    auto d = MakeDIB(W, H, 32, 0x5A5A5A5A, {}, {}, {});
    d.resize(242, 0x11);
    return d;
  };
  {
    TIEBitmap b;
    const auto d = unknown(300, 200);
    EXPECT_EQ(IEDIBToBitmap(d.data(), d.size(), &b), 32);
    EXPECT_EQ(b.GetWidth(), 300);
    EXPECT_EQ(At(b, 299, 199), (TRGB{0, 0, 0}));
  }
  const auto huge = unknown(29791, 24864);
  ietest::ExpectRefusedAtOnce(ietest::Measure([&] {
    TIEBitmap b(3, 3, ie8g);
    return IEDIBToBitmap(huge.data(), huge.size(), &b) == 0 && b.GetWidth() == 3 ? std::string("refused") : std::string();
  }));
  const auto frame = MakeDIB(30000, 30000, 16, IEFourCC('Y', 'U', 'Y', '2'), {}, {}, {});
  const std::vector<Byte> bits(4096, 0x80);
  ietest::ExpectRefusedAtOnce(ietest::Measure([&] {
    TIEBitmap b;
    return IEDIBToBitmap(frame.data(), frame.size(), &b, bits.data(), bits.size()) == 0 ? std::string("refused")
                                                                                         : std::string();
  }));
}

TEST(DIBToBitmap, YUVFramesLaidOutByFfmpegMatchItsRGB) {
  const Integer w = 64, h = 48;
  struct TCase {
    const char* FourCC;
    const char* PixFmt;  // what ffmpeg writes
    bool SwapChroma;     // the layout keeps V before U
    bool Repack411;      // ffmpeg's planar 4:1:1 rearranged into the packed layout
  } cases[] = {
      {"UYVY", "uyvy422", false, false}, {"YUY2", "yuyv422", false, false}, {"YVYU", "yvyu422", false, false},
      {"I420", "yuv420p", false, false}, {"YV12", "yuv420p", true, false},  {"YVU9", "yuv410p", true, false},
      {"IYU1", "yuv411p", false, true},  {"Y41P", "yuv411p", false, true},  {"IYU2", "yuv444p", false, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.FourCC);
    const std::string base = std::string("yuv-") + c.PixFmt;
    const std::string raw = testsupport::Fixture(
        base + ".raw", std::string("ffmpeg -v error -f lavfi -i testsrc2=s=64x48 -frames:v 1 -pix_fmt ") + c.PixFmt +
                           " -f rawvideo -y {out}");
    const std::string rgb = testsupport::Fixture(
        base + ".rgb", std::string("ffmpeg -v error -f rawvideo -pix_fmt ") + c.PixFmt + " -s 64x48 -i " + raw +
                           " -sws_flags neighbor+full_chroma_int+accurate_rnd -pix_fmt rgb24 -f rawvideo -y {out}");
    std::vector<Byte> frame = ReadBytes(raw);
    const std::vector<Byte> expected = ReadBytes(rgb);
    ASSERT_EQ(expected.size(), size_t(w) * h * 3);
    const std::string code = c.FourCC;
    if (c.SwapChroma) {
      const size_t luma = size_t(w) * h, chroma = (frame.size() - luma) / 2;
      std::vector<Byte> u(frame.begin() + luma, frame.begin() + luma + chroma);
      std::copy(frame.begin() + luma + chroma, frame.end(), frame.begin() + luma);
      std::copy(u.begin(), u.end(), frame.begin() + luma + chroma);
    }
    if (c.Repack411) {
      const Integer sub = code == "IYU2" ? 1 : 4;
      const Byte* Y = frame.data();
      const Byte* U = Y + w * h;
      const Byte* V = U + (w / sub) * h;
      std::vector<Byte> packed;
      for (Integer y = 0; y < h; ++y) {
        const auto yy = [&](Integer x) { return Y[y * w + x]; };
        const auto uu = [&](Integer x) { return U[y * (w / sub) + x / sub]; };
        const auto vv = [&](Integer x) { return V[y * (w / sub) + x / sub]; };
        for (Integer x = 0; x < w; x += code == "IYU2" ? 1 : (code == "IYU1" ? 4 : 8)) {
          if (code == "IYU2") packed.insert(packed.end(), {uu(x), yy(x), vv(x)});
          else if (code == "IYU1") packed.insert(packed.end(), {uu(x), yy(x), yy(x + 1), vv(x), yy(x + 2), yy(x + 3)});
          else
            packed.insert(packed.end(), {uu(x), yy(x), vv(x), yy(x + 1), uu(x + 4), yy(x + 2), vv(x + 4), yy(x + 3),
                                         yy(x + 4), yy(x + 5), yy(x + 6), yy(x + 7)});
        }
      }
      frame = packed;
    }
    // Y41P keeps its rows bottom-up for a positive height; the others top-down.
    const Integer height = code == "Y41P" ? -h : h;
    const auto header = MakeDIB(w, height, 16, IEFourCC(code[0], code[1], code[2], code[3]), {}, {}, {});
    TIEBitmap b;
    ASSERT_EQ(IEDIBToBitmap(header.data(), header.size(), &b, frame.data(), frame.size()), 16);
    ASSERT_EQ(b.GetWidth(), w);
    ASSERT_EQ(b.GetHeight(), h);
    EXPECT_LE(MaxDifference(b, expected), 2);
  }
  Byte px[3];
  IEYUVToRGB(16, 128, 128, px);
  EXPECT_EQ((std::vector<Byte>{px[0], px[1], px[2]}), (std::vector<Byte>{0, 0, 0}));
  IEYUVToRGB(235, 128, 128, px);
  EXPECT_EQ((std::vector<Byte>{px[0], px[1], px[2]}), (std::vector<Byte>{255, 255, 255}));
}

TEST(BitmapToDIB, RectanglesAreOrderedClippedAndReadBack) {
  // The worked example: 10 x 5 grey, from (2, 1) to the far corners.
  TIEBitmap grey(10, 5, ie8g);
  for (Integer y = 0; y < 5; ++y)
    for (Integer x = 0; x < 10; ++x) grey.SetPixelByte(x, y, Byte(y * 10 + x));
  size_t size = 0;
  void* block = _CopyBitmaptoDIBEx(&grey, 2, 1, 0, 0, 96, 96, &size);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(size, 1024u + 32 + 44);
  TIEBitmapInfoHeader h;
  std::memcpy(&h, block, sizeof h);
  EXPECT_EQ(h.biWidth, 8);
  EXPECT_EQ(h.biHeight, 4);
  EXPECT_EQ(h.biBitCount, 8);
  EXPECT_EQ(h.biXPelsPerMeter, 3779);
  const Byte* table = static_cast<const Byte*>(block) + 40;
  EXPECT_EQ(table[4 * 200], 200);
  const Byte* rows = table + 1024;
  EXPECT_EQ(rows[0], 42);  // bitmap row 4, column 2
  IEGlobalFree(block);

  // Each format, with corners given backwards and beyond the image, reads back as the cut.
  for (TIEPixelFormat f : {ie1g, ie8p, ie8g, ie24RGB, ie16g}) {
    SCOPED_TRACE(int(f));
    TIEBitmap b(21, 7, f);
    for (Integer y = 0; y < 7; ++y)
      for (Integer x = 0; x < 21; ++x) {
        if (f == ie1g) IESetBit(static_cast<Byte*>(b.GetScanline(y)), x, (x * y) % 3 == 0);
        else if (f == ie24RGB) b.SetPixelRGB(x, y, TRGB{Byte(x), Byte(y), Byte(x + y)});
        else if (f == ie16g) b.SetPixelWord(x, y, Word((x * 7 + y) * 256));
        else b.SetPixelByte(x, y, Byte(x * 7 + y));
      }
    if (f == ie8p)
      for (Integer i = 0; i < 256; ++i) b.SetPaletteEntry(i, TRGB{Byte(i), Byte(255 - i), Byte(i / 2)});
    void* dib = _CopyBitmaptoDIBEx(&b, 30, 5, 3, -2, 72, 72, &size);
    ASSERT_NE(dib, nullptr);
    TIEBitmap back;
    IEDIBToBitmap(dib, size, &back);
    IEGlobalFree(dib);
    ASSERT_EQ(back.GetWidth(), 18);
    ASSERT_EQ(back.GetHeight(), 5);
    for (Integer y = 0; y < 5; ++y)
      for (Integer x = 0; x < 18; ++x) ASSERT_EQ(back.GetPixelAsRGB(x, y), b.GetPixelAsRGB(x + 3, y)) << x << "," << y;
  }
  TIEBitmap small(4, 4, ie24RGB);
  EXPECT_EQ(_CopyBitmaptoDIBEx(&small, 5, 5, 9, 9, 96, 96), nullptr);
  EXPECT_EQ(_CopyBitmaptoDIBEx(&small, 2, 2, 2, 3, 96, 96), nullptr);
}

TEST(DIBToBitmap, DibSectionGetsTheSamePixels) {
  const auto d = MakeDIB(2, 1, 8, 0, {0x102030, 0x405060}, {}, {1, 0, 0, 0}, 2);
  TIEDibbitmap section;
  EXPECT_EQ(IEDIBToDibbitmap(d.data(), d.size(), &section), 8);
  ASSERT_EQ(section.GetBitCount(), 24);
  const Byte* p = static_cast<const Byte*>(section.GetScanline(0));
  EXPECT_EQ((std::vector<Byte>{p[0], p[1], p[2], p[3]}), (std::vector<Byte>{0x60, 0x50, 0x40, 0x30}));
}

TEST(BitRows, ExpansionSwapsAndComparison) {
  const Byte bits[2] = {0xA5, 0xC0};
  Byte out[11 * 3];
  IEExpandBWRow(bits, out, 11);
  const Integer expected[11] = {1, 0, 1, 0, 0, 1, 0, 1, 1, 1, 0};
  for (Integer i = 0; i < 11; ++i) EXPECT_EQ(out[3 * i + 1], expected[i] ? 255 : 0) << i;

  Byte rgb[6] = {1, 2, 3, 4, 5, 6}, copy[6];
  IECopySwapRB(copy, rgb, 2);
  EXPECT_EQ((std::vector<Byte>(copy, copy + 6)), (std::vector<Byte>{3, 2, 1, 6, 5, 4}));
  Word wide[3] = {1, 2, 3};
  IESwapRB48(wide, 1);
  EXPECT_EQ(wide[0], 3);

  // Equal pixels with different row padding are equal; an alpha channel on one side is not.
  TIEBitmap a(5, 2, ie1g), b(5, 2, ie1g);
  a.Fill(0);
  b.Fill(0);
  static_cast<Byte*>(b.GetScanline(1))[0] |= 0x01;  // a bit after the last pixel
  static_cast<Byte*>(b.GetScanline(1))[3] = 0x77;   // padding
  EXPECT_TRUE(IEBitmapsEqual(&a, &b));
  IESetBit(static_cast<Byte*>(b.GetScanline(1)), 4, true);
  EXPECT_FALSE(IEBitmapsEqual(&a, &b));
  TIEBitmap c(5, 2, ie1g);
  c.Fill(0);
  c.GetAlphaChannel();
  EXPECT_FALSE(IEBitmapsEqual(&a, &c));
  TIEBitmap g8(5, 2, ie8g), p8(5, 2, ie8p);
  g8.Fill(0);
  p8.Fill(0);
  EXPECT_FALSE(IEBitmapsEqual(&g8, &p8));
}

TEST(BitRows, FrameworkBitmapCopies) {
  TBitmap indexed;
  indexed.SetPixelFormat(pf8bit);
  indexed.SetSize(5, 3);
  std::vector<TColor> table(256, 0);
  table[9] = 0x123456;
  indexed.SetColorTable(table);
  static_cast<Byte*>(indexed.ScanLine(2))[4] = 9;
  std::unique_ptr<TBitmap> copy(IECopyTBitmap(&indexed));
  EXPECT_EQ(copy->PixelFormat(), pf8bit);
  EXPECT_EQ(copy->Width(), 5);
  EXPECT_EQ(copy->PixelColor(4, 2), TColor(0x123456));

  TBitmap mono;
  mono.SetPixelFormat(pf1bit);
  mono.SetSize(10, 2);
  std::memset(mono.ScanLine(1), 0, 4);
  static_cast<Byte*>(mono.ScanLine(1))[1] = 0x40;  // pixel 9
  TBitmap wide;
  TIECodecProgress progress;
  std::vector<Integer> seen;
  progress.OnProgress = [&](TObject*, Integer p) { seen.push_back(p); };
  IEConvertTBitmapBWTo24(&mono, &wide, progress);
  EXPECT_EQ(wide.PixelFormat(), pf24bit);
  EXPECT_EQ(wide.PixelColor(9, 1), TColor(0xFFFFFF));
  EXPECT_EQ(wide.PixelColor(8, 1), TColor(0));
  EXPECT_EQ(seen, (std::vector<Integer>{40, 80}));
}

}  // namespace
