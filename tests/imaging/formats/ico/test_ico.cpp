// The ICO and CUR codec against icoutils and ImageMagick: what icotool and convert make (1, 4, 8
// and 32 bits, PNG images, cursors) decodes as icotool extracts it, in every store; what we
// write icotool lists and extracts as we wrote it.
#include <gtest/gtest.h>

#include <memory>

#include "imaging/core/ie_helpers.h"
#include "imaging/formats/ico/ie_ico.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/imaging/support/ie_stores.h"

using namespace ietest;
using testsupport::Fixture;
using testsupport::RunOk;
using testsupport::ShellQuote;

namespace {

struct TRead {
  TIEBitmap Bitmap;
  TIOParamsVals Params{nullptr};
  TProgressProbe Probe;
  std::unique_ptr<TIEMask> Mask;
};

void ReadIco(const std::vector<Byte>& Data, TRead& R, bool Cursor = false, bool Preview = false) {
  TMemoryStream m;
  FillStream(m, Data);
  TIEMask* mask = nullptr;
  if (Cursor) ReadCURStream(&m, &R.Bitmap, R.Params, Preview, R.Probe.Progress, mask, false);
  else ReadICOStream(&m, &R.Bitmap, R.Params, Preview, R.Probe.Progress, mask, false);
  R.Mask.reset(mask);
}

// Alpha of the decoded pixel: from the mask, else from the image's own alpha channel (PNG
// images), else opaque.
Integer AlphaAt(TRead& R, Integer X, Integer Y) {
  if (R.Mask) return R.Mask->GetScanline(Y)[X];
  if (R.Bitmap.HasAlphaChannel()) return R.Bitmap.GetAlphaValue(X, Y);
  return 255;
}

// The decoded image against the RGBA a peer extracted: alpha everywhere (transparent is below
// half), colour where the pixel is opaque.
void ExpectLikePeer(TRead& R, const TPam& Pam, Integer Tolerance = 0) {
  ASSERT_EQ(R.Bitmap.GetWidth(), Pam.Width);
  ASSERT_EQ(R.Bitmap.GetHeight(), Pam.Height);
  Integer worstColour = 0, alphaMismatch = 0;
  for (Integer y = 0; y < Pam.Height; ++y)
    for (Integer x = 0; x < Pam.Width; ++x) {
      const Integer theirs = Pam.Depth == 4 || Pam.Depth == 2 ? Pam.At8(x, y, Pam.Depth - 1) : 255;
      const Integer ours = AlphaAt(R, x, y);
      if (std::abs(theirs - ours) > 1) ++alphaMismatch;
      if (ours < 255) continue;
      const TRGB c = R.Bitmap.GetPixelAsRGB(x, y);
      const bool grey = Pam.Depth <= 2;
      worstColour = std::max({worstColour, std::abs(c.r - Pam.At8(x, y, 0)), std::abs(c.g - Pam.At8(x, y, grey ? 0 : 1)),
                              std::abs(c.b - Pam.At8(x, y, grey ? 0 : 2))});
    }
  EXPECT_EQ(alphaMismatch, 0);
  EXPECT_LE(worstColour, Tolerance);
}

// Image Index (from 1) of File as icotool extracts it, as a PAM with alpha.
TPam Extracted(const std::string& File, Integer Index) {
  const std::string dir = testsupport::MakeTempDir("icox");
  RunOk("icotool -x -i " + std::to_string(Index) + " -o " + ShellQuote(dir + "/x.png") + " " + ShellQuote(File));
  const TPam pam = PamFromCommand("convert " + ShellQuote(dir + "/x.png") + " -depth 8 PAM:-");
  testsupport::RemoveTree(dir);
  return pam;
}

const std::string kSource =
    "convert -size {S} gradient:red-blue \\( -size {S} xc:black -fill white -draw 'circle 10,10 10,2' \\) -alpha off "
    "-compose copy_opacity -composite ";

std::string Source(const std::string& Size, const std::string& Extra) {
  std::string s = kSource;
  for (size_t at; (at = s.find("{S}")) != std::string::npos;) s.replace(at, 3, Size);
  return s + Extra;
}

TEST(IcoReader, IcotoolAndImageMagickFilesDecodeAsIcotoolExtractsThem) {
  struct TCase {
    std::string Name, Recipe;
    bool Cursor;
    Integer Bits;
  };
  const std::vector<TCase> cases = {
      {"rgba32", Source("20x20", "{out}.png && icotool -c -b 32 -o {out} {out}.png"), false, 32},
      {"pal8", Source("20x20", "-channel A -threshold 50% +channel -colors 100 {out}.png && icotool -c -b 8 -o {out} {out}.png"), false, 8},
      {"pal4", Source("21x20", "-channel A -threshold 50% +channel -colors 12 {out}.png && icotool -c -b 4 -o {out} {out}.png"), false, 4},
      {"mono1", Source("19x20", "-channel A -threshold 50% +channel -threshold 50% {out}.png && icotool -c -b 1 -o {out} {out}.png"), false, 1},
      {"png", Source("48x40", "{out}.png && icotool -c -r {out}.png -o {out}"), false, 0},
      {"cursor8", Source("20x20", "-channel A -threshold 50% +channel -colors 60 {out}.png && icotool -c --cursor -X 3 -Y 5 -b 8 -o {out} {out}.png"), true, 8},
      {"magick32", Source("24x24", "ICO:{out}"), false, 32},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string file = Fixture("ico-" + c.Name + (c.Cursor ? ".cur" : ".ico"), c.Recipe);
    const TPam pam = Extracted(file, 1);
    ForEachStore([&](Store, StoreScope& scope) {
      TRead r;
      scope.Prepare(r.Bitmap);
      ReadIco(ReadWholeFile(file), r, c.Cursor);
      ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
      // The PNG image has 16-bit samples, which ImageMagick rounds to 8 bits and we truncate.
      ExpectLikePeer(r, pam, c.Name == "png" ? 1 : 0);
      if (c.Bits) {
        EXPECT_EQ(r.Params.BitsPerSample * (c.Cursor ? 1 : r.Params.SamplesPerPixel), c.Bits);
      }
      if (c.Bits == 1) {
        EXPECT_EQ(r.Bitmap.GetPixelFormat(), ie1g);
      }
      // Transparent pixels of palette images take the background colour (white unless set).
      if (c.Bits == 4 || c.Bits == 8) {
        ASSERT_TRUE(r.Mask);
        EXPECT_EQ(r.Mask->GetScanline(0)[0], 0);
        EXPECT_EQ(r.Bitmap.GetPixelRGB(0, 0), IECreateRGB(255, 255, 255));
      }
      if (c.Cursor) {
        EXPECT_EQ(r.Params.CurXHotSpot, 3);
        EXPECT_EQ(r.Params.CurYHotSpot, 5);
      }
    });
    TMemoryStream m;
    FillStream(m, ReadWholeFile(file));
    m.SetPosition(0);
    EXPECT_EQ(IsICO(&m), !c.Cursor);
    EXPECT_EQ(IsCUR(&m), c.Cursor);
    EXPECT_EQ(m.Position(), 0);
  }
}

TEST(IcoReader, ImageIndexSizesAndTheIndexOutOfRange) {
  const std::string file =
      Fixture("ico-three.ico", Source("16x16", "{out}.16.png && ") + Source("32x32", "{out}.32.png && ") +
                                   Source("24x24", "-colors 40 -channel A -threshold 50% +channel {out}.24.png && ") +
                                   "icotool -c -o {out} {out}.16.png -b 32 {out}.32.png -b 8 {out}.24.png");
  const std::vector<Byte> data = ReadWholeFile(file);
  TRead r;
  r.Params.IcoImageIndex = 1;
  ReadIco(data, r);
  ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
  ExpectLikePeer(r, Extracted(file, 2));
  const Integer sizes[3][2] = {{16, 16}, {32, 32}, {24, 24}};
  for (Integer i = 0; i < 3; ++i) {
    EXPECT_EQ(r.Params.IcoSizes[i][0], sizes[i][0]);
    EXPECT_EQ(r.Params.IcoSizes[i][1], sizes[i][1]);
  }
  EXPECT_EQ(r.Params.IcoSizes[3][0], 0);
  EXPECT_EQ(r.Params.IcoBitCount[2], 8);
  // Asking for an image the directory does not have is a failure that says so, not a silent
  // return with the previous picture.
  for (Integer index : {3, 40, -1}) {
    SCOPED_TRACE(index);
    TRead bad;
    bad.Params.IcoImageIndex = index;
    ReadIco(data, bad);
    EXPECT_TRUE(bad.Probe.Failed());
    EXPECT_EQ(bad.Probe.Reason, "the icon file holds 3 images; image " + std::to_string(index) + " was asked for");
    TRead badCursor;
    badCursor.Params.CurImageIndex = index;
    ReadIco(data, badCursor, true);
    EXPECT_TRUE(badCursor.Probe.Failed());
  }
  // The preview reads the sizes without pixels.
  TRead preview;
  preview.Params.IcoImageIndex = 2;
  ReadIco(data, preview, false, true);
  ASSERT_FALSE(preview.Probe.Failed()) << preview.Probe.Reason;
  EXPECT_EQ(preview.Params.Width, 24);
  EXPECT_EQ(preview.Bitmap.GetWidth(), 0);
}

TEST(IcoReader, BmpStreamsMasksAndDamage) {
  // A stream that starts with "BM" is read as a BMP file.
  const std::string bmp = Fixture("ico-as-bmp.bmp", "convert -size 5x3 gradient:white-green BMP3:{out}");
  TRead b;
  ReadIco(ReadWholeFile(bmp), b);
  ASSERT_FALSE(b.Probe.Failed()) << b.Probe.Reason;
  EXPECT_EQ(b.Bitmap.GetWidth(), 5);

  // A 32-bit image whose alpha bytes are all 0 takes its transparency from the AND mask.
  const std::string rgba = Fixture("ico-rgba32-16.ico", Source("16x16", "{out}.png && icotool -c -b 32 -o {out} {out}.png"));
  std::vector<Byte> zeroAlpha = ReadWholeFile(rgba);
  const size_t pixels = 6 + 16 + 40;
  for (size_t k = 0; k < 16 * 16; ++k) zeroAlpha[pixels + 4 * k + 3] = 0;
  TRead andMask;
  ReadIco(zeroAlpha, andMask);
  ASSERT_FALSE(andMask.Probe.Failed()) << andMask.Probe.Reason;
  ASSERT_TRUE(andMask.Mask);
  EXPECT_EQ(andMask.Mask->GetScanline(0)[0], 0);
  EXPECT_EQ(andMask.Mask->GetScanline(8)[8], 255);
  // Without the AND rows such an image is opaque, not wholly transparent.
  zeroAlpha.resize(pixels + 16 * 16 * 4);
  TRead opaque;
  ReadIco(zeroAlpha, opaque);
  ASSERT_FALSE(opaque.Probe.Failed()) << opaque.Probe.Reason;
  EXPECT_FALSE(opaque.Mask);

  const std::vector<Byte> good = ReadWholeFile(rgba);
  auto with = [&](size_t At, std::vector<Byte> Bytes) {
    std::vector<Byte> d = good;
    std::copy(Bytes.begin(), Bytes.end(), d.begin() + static_cast<std::ptrdiff_t>(At));
    return d;
  };
  const std::vector<std::pair<std::string, std::vector<Byte>>> refused = {
      {"no images", with(4, {0, 0})},
      {"directory past the end", with(4, {200, 0})},
      {"data offset past the end", with(18, {0xFF, 0xFF, 0, 0})},
      {"no bit count", [&] {
         std::vector<Byte> d = with(6 + 16 + 14, {0, 0});
         d[6 + 2] = d[6 + 6] = 0;
         return d;
       }()},
      {"16 bits", with(6 + 16 + 14, {16, 0})},
      {"compressed", with(6 + 16 + 16, {1, 0, 0, 0})},
      {"truncated rows", std::vector<Byte>(good.begin(), good.begin() + 400)},
  };
  for (const auto& [name, data] : refused) {
    SCOPED_TRACE(name);
    TRead r;
    ReadIco(data, r);
    EXPECT_TRUE(r.Probe.Failed());
    EXPECT_FALSE(r.Probe.Reason.empty());
  }
  TMemoryStream m;
  FillStream(m, std::vector<Byte>(good.begin(), good.begin() + 22));
  EXPECT_FALSE(IsICO(&m));
  FillStream(m, with(6 + 3, {1}));
  EXPECT_FALSE(IsICO(&m));
  FillStream(m, good);
  EXPECT_TRUE(IsICO(&m));
  EXPECT_FALSE(IsCUR(&m));
}

// Our icons as icotool sees them: the directory it lists and the pixels it extracts.
TEST(IcoWriter, IcotoolListsAndExtractsOurIcons) {
  const std::string dir = testsupport::MakeTempDir("icow");
  TIEBitmap b;
  b.Allocate(32, 32, ie24RGB);
  for (Integer y = 0; y < 32; ++y)
    for (Integer x = 0; x < 32; ++x) b.SetPixelRGB(x, y, IECreateRGB(Byte(x * 8), Byte(y * 8), Byte(x < 16 ? 40 : 200)));
  // A transparent square at the top left.
  for (Integer y = 0; y < 32; ++y)
    for (Integer x = 0; x < 32; ++x) b.SetAlphaValue(x, y, x < 8 && y < 8 ? 0 : 255);
  TIOParamsVals p(nullptr);
  TProgressProbe probe;
  TMemoryStream m;
  WriteICOStream(&m, &b, p, probe.Progress, {{32, 32}, {32, 32}, {32, 32}, {32, 32}, {16, 16}}, {8, 32, 4, 24, 1});
  ASSERT_FALSE(probe.Failed()) << probe.Reason;
  const std::vector<Byte> bytes = StreamBytes(m);
  const std::string path = dir + "/ours.ico";
  WriteFileBytes(path, bytes);
  // The 8-bit image: directory entry of 255 colours, planes and bits 0; palette entry 0 black.
  EXPECT_EQ(bytes[6 + 2], 255);
  EXPECT_EQ(bytes[6 + 4] | bytes[6 + 6], 0);
  // The 32-bit image: colour count 0, planes 1, 32 bits.
  EXPECT_EQ(bytes[22 + 2], 0);
  EXPECT_EQ(bytes[22 + 4], 1);
  EXPECT_EQ(bytes[22 + 6], 32);
  const std::string list = RunOk("icotool -l " + ShellQuote(path));
  EXPECT_NE(list.find("--index=5 --width=16 --height=16 --bit-depth=1"), std::string::npos) << list;
  EXPECT_NE(list.find("--index=2 --width=32 --height=32 --bit-depth=32"), std::string::npos) << list;

  for (Integer i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    TRead back;
    back.Params.IcoImageIndex = i;
    ReadIco(bytes, back);
    ASSERT_FALSE(back.Probe.Failed()) << back.Probe.Reason;
    // The 24-bit kind has no transparency; the others keep the square.
    const TPam pam = Extracted(path, i + 1);
    ExpectLikePeer(back, pam);
    if (i != 3) {
      EXPECT_EQ(AlphaAt(back, 0, 0), 0);
    }
    EXPECT_EQ(AlphaAt(back, back.Bitmap.GetWidth() - 1, back.Bitmap.GetHeight() - 1), 255);
    if (i == 1 || i == 3) {
      EXPECT_EQ(back.Bitmap.GetPixelRGB(20, 20), b.GetPixelRGB(20, 20));
    }
  }
  testsupport::RemoveTree(dir);
}

TEST(Corpus, CurFuzzFindings) {
  ReplayFuzzFindings("cur", [](const std::vector<Byte>& data, size_t) -> TCorpusResult {
    TRead r;
    ReadIco(data, r, true);
    return CorpusOutcome(r);
  });
}

TEST(Corpus, IcoReader) {
  const size_t reads = ReplayCorpus("ico", [](const std::vector<Byte>& data, size_t) -> TCorpusResult {
    TRead r;
    ReadIco(data, r, data.size() > 2 && data[2] == 2);
    return CorpusOutcome(r);
  });
  EXPECT_GT(reads, 300u);
}

}  // namespace
