// The raw pixel loader on header-less files that python3 writes in each layout the parameter
// record can describe (tools/make_raw.py), into every store: each sample must land where the
// pixel format keeps it, and data that cannot fill the image must say so.
#include <gtest/gtest.h>

#include <cstring>

#include "imaging/core/ie_helpers.h"
#include "imaging/formats/bmp/ie_bmp_raw.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/imaging/support/ie_stores.h"

using namespace ietest;
using testsupport::Fixture;

namespace {

const std::string kMake = std::string("python3 ") + CLAVORNE_SOURCE_DIR + "/tests/imaging/formats/tools/make_raw.py ";

struct TLayout {
  const char* Name;
  TIEPixelFormat Format;
  Integer W, H, Channels, Bits, Align, Planar;
  bool StoredBGR;
  Integer Header;
};

std::string MakeFile(const TLayout& L) {
  const std::string args = std::to_string(L.W) + " " + std::to_string(L.H) + " " + std::to_string(L.Channels) + " " +
                           std::to_string(L.Bits) + " " + std::to_string(L.Align) + " " + std::to_string(L.Planar) +
                           (L.StoredBGR ? " bgr " : " rgb ") + std::to_string(L.Header);
  std::string name = "raw-" + args + ".raw";
  for (char& c : name)
    if (c == ' ') c = '_';
  return Fixture(name, kMake + "{out} " + args);
}

// The samples make_raw.py writes: channel 0 is red (or cyan, or the only one).
Integer Sample8(Integer x, Integer y, Integer c) { return (x * 37 + y * 101 + c * 59) % 256; }
Integer Sample16(Integer x, Integer y, Integer c) { return (x * 4099 + y * 257 + c * 12345) % 65536; }

// Where the samples stand in the loaded image, as the pixel format keeps them; the first
// difference found, or an empty text.
std::string FirstDifference(TIEBitmap& B, const TLayout& L) {
  for (Integer y = 0; y < L.H; ++y) {
    const Byte* Row = static_cast<const Byte*>(B.GetScanline(y));
    for (Integer x = 0; x < L.W; ++x)
      for (Integer c = 0; c < L.Channels; ++c) {
        Integer got = 0, want = L.Bits == 16 ? Sample16(x, y, c) : Sample8(x, y, c);
        switch (L.Format) {
          case ie24RGB: got = Row[3 * x + 2 - c]; break;  // blue, green, red
          case ieCMYK: got = Row[4 * x + c]; break;
          case ie8g:
          case ie8p: got = Row[x]; break;
          case ie16g:
          case ieRGB48: {
            Word w;
            std::memcpy(&w, Row + 2 * (x * L.Channels + c), 2);
            got = w;
            break;
          }
          case ie32f: {
            float f;
            std::memcpy(&f, Row + 4 * x, 4);
            got = Integer(f * 64);
            want = x + y;
            break;
          }
          case ie1g:
            got = (Row[x / 8] >> (7 - x % 8)) & 1;
            want = (x + 2 * y) % 3 == 0;
            break;
          default: break;
        }
        if (got != want)
          return "pixel " + std::to_string(x) + "," + std::to_string(y) + " channel " + std::to_string(c) + ": " +
                 std::to_string(got) + " for " + std::to_string(want);
      }
  }
  return "";
}

void Load(const std::vector<Byte>& Data, TIEBitmap& B, const TLayout& L, TProgressProbe& Probe) {
  TIOParamsVals p(nullptr);
  p.BmpRawRowAlign = L.Align;
  p.BmpRawPlanar = Byte(L.Planar);
  p.BmpRawStoredBGR = L.StoredBGR;
  p.BmpRawHeaderSize = L.Header;
  TMemoryStream m;
  FillStream(m, Data);
  ReadBMPRAWStream(&m, &B, p, Probe.Progress);
}

}  // namespace

// Every layout into every store that holds its pixel format. 48-bit pixels are kept red first,
// so red-first data stays as stored and blue-first data is turned round.
TEST(BmpRawReader, EveryLayoutLoadsIntoEveryStore) {
  const TLayout layouts[] = {
      {"24-bit width 3 in 32-bit rows", ie24RGB, 3, 4, 3, 8, 32, 0, false, 0},
      {"24-bit stored blue first", ie24RGB, 5, 3, 3, 8, 8, 0, true, 0},
      {"24-bit after a 54-byte header", ie24RGB, 4, 2, 3, 8, 8, 0, false, 54},
      {"24-bit planes", ie24RGB, 7, 5, 3, 8, 8, 1, false, 0},
      {"24-bit planes blue first in 32-bit rows", ie24RGB, 6, 3, 3, 8, 32, 1, true, 0},
      {"CMYK interleaved", ieCMYK, 3, 3, 4, 8, 8, 0, false, 0},
      {"CMYK planes in 16-bit rows", ieCMYK, 3, 4, 4, 8, 16, 1, false, 0},
      {"48-bit red first", ieRGB48, 4, 3, 3, 16, 8, 0, false, 0},
      {"48-bit blue first", ieRGB48, 4, 3, 3, 16, 32, 0, true, 0},
      {"48-bit planes", ieRGB48, 5, 2, 3, 16, 32, 1, false, 7},
      {"8-bit grey in 32-bit rows", ie8g, 5, 4, 1, 8, 32, 0, false, 0},
      {"8-bit palette indexes", ie8p, 6, 2, 1, 8, 8, 0, false, 3},
      {"16-bit grey", ie16g, 3, 3, 1, 16, 8, 0, false, 0},
      {"float grey", ie32f, 4, 2, 1, 32, 8, 0, false, 0},
      {"1-bit width 13 in 32-bit rows", ie1g, 13, 5, 1, 1, 32, 0, false, 0},
  };
  for (const TLayout& L : layouts) {
    SCOPED_TRACE(L.Name);
    const std::vector<Byte> data = ReadWholeFile(MakeFile(L));
    ForEachStore([&](Store, StoreScope& scope) {
      if (!scope.Holds(L.Format)) return;
      TIEBitmap b;
      scope.Prepare(b);
      ASSERT_TRUE(b.Allocate(L.W, L.H, L.Format));
      TProgressProbe probe(true);
      Load(data, b, L, probe);
      ASSERT_FALSE(probe.Failed()) << probe.Reason;
      EXPECT_EQ(FirstDifference(b, L), "");
      if (L.Planar == 1 && L.Channels == 3) {
        EXPECT_EQ(probe.Reports, (std::vector<Integer>{0, 33, 66, 100}));
      }
      if (L.Planar == 1 && L.Channels == 4) {
        EXPECT_EQ(probe.Reports, (std::vector<Integer>{0, 25, 50, 75, 100}));
      }
    });
  }
}

// Data that ends early keeps the rows that came and says where it ended; a layout the image
// cannot take, and an image without size, are refused before anything is read.
TEST(BmpRawReader, ShortDataAndImpossibleLayouts) {
  const TLayout rgb = {"", ie24RGB, 4, 6, 3, 8, 8, 0, false, 0};
  std::vector<Byte> data = ReadWholeFile(MakeFile(rgb));
  data.resize(4 * 3 * 2 + 5);  // two rows and a bit
  TIEBitmap b;
  b.Allocate(4, 6, ie24RGB);
  TProgressProbe probe;
  Load(data, b, rgb, probe);
  EXPECT_TRUE(probe.Failed());
  EXPECT_NE(probe.Reason.find("row 2 of 6"), std::string::npos) << probe.Reason;
  EXPECT_EQ(b.GetPixelAsRGB(3, 1), IECreateRGB(Byte(Sample8(3, 1, 0)), Byte(Sample8(3, 1, 1)), Byte(Sample8(3, 1, 2))));

  const TLayout planes = {"", ieRGB48, 4, 3, 3, 16, 8, 1, false, 0};
  data = ReadWholeFile(MakeFile(planes));
  data.resize(data.size() - 1);
  TIEBitmap deep;
  deep.Allocate(4, 3, ieRGB48);
  TProgressProbe short48;
  Load(data, deep, planes, short48);
  EXPECT_NE(short48.Reason.find("plane 3 of 3"), std::string::npos) << short48.Reason;

  struct Refused {
    const char* Name;
    TIEPixelFormat Format;
    Integer W, Align, Planar, Header;
  };
  const Refused refused[] = {
      {"alignment below a byte", ie24RGB, 4, 4, 0, 0},
      {"planar layout 2", ieCMYK, 4, 8, 2, 0},
      {"32-bit RGB image", ie32RGB, 4, 8, 0, 0},
      {"empty image", ie24RGB, 0, 8, 0, 0},
      {"header past the data", ie8g, 4, 8, 0, 1000},
      {"negative header", ie8g, 4, 8, 0, -1},
  };
  for (const Refused& r : refused) {
    SCOPED_TRACE(r.Name);
    TIEBitmap img;
    if (r.W > 0) img.Allocate(r.W, 2, r.Format);
    TProgressProbe pr;
    TLayout L = {"", r.Format, r.W, 2, 1, 8, r.Align, r.Planar, false, r.Header};
    Load(std::vector<Byte>(64, 0x55), img, L, pr);
    EXPECT_TRUE(pr.Failed());
    EXPECT_FALSE(pr.Reason.empty());
  }
}
