// The BMP codec against ImageMagick and netpbm: every header version, depth, RLE4/RLE8 and bit
// fields they write decode equal to their own reading; what we write they read back; crafted
// files show the top-down rows, masks, palettes and refusals.
#include <gtest/gtest.h>

#include "imaging/core/ie_helpers.h"
#include "imaging/formats/bmp/ie_bmp.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/imaging/support/ie_stores.h"

using namespace ietest;
using testsupport::Fixture;
using testsupport::RunOk;
using testsupport::ShellQuote;

namespace {

const std::string kMake = std::string("python3 ") + CLAVORNE_SOURCE_DIR + "/tests/imaging/formats/tools/make_netpbm.py ";

std::string Source(Integer W, Integer H, Integer Colours) {
  return Fixture("bmp-src-" + std::to_string(W) + "x" + std::to_string(H) + "-" + std::to_string(Colours) + ".ppm",
                 kMake + "rgb " + std::to_string(W) + " " + std::to_string(H) + " 255 " + std::to_string(Colours) + " {out}");
}

struct TRead {
  TIEBitmap Bitmap;
  TIOParamsVals Params{nullptr};
  TProgressProbe Probe;
  TIEMask* Alpha = nullptr;
  ~TRead() { delete Alpha; }
};

void ReadBmp(const std::vector<Byte>& Data, TRead& R, bool Native = false, bool Preview = false) {
  TMemoryStream m;
  FillStream(m, Data);
  R.Params.NativePixelFormat = Native;
  ReadBMPStream(&m, &R.Bitmap, 0, R.Params, R.Probe.Progress, Preview, false, R.Alpha, false);
}

// Compares with alpha from the mask the reader returned.
Integer Difference(TRead& R, const TPam& Pam) {
  if (R.Alpha) {
    TIEBitmap* a = R.Bitmap.GetAlphaChannel();
    for (Integer y = 0; y < R.Bitmap.GetHeight(); ++y)
      for (Integer x = 0; x < R.Bitmap.GetWidth(); ++x) a->SetPixelByte(x, y, Byte(R.Alpha->GetPixel(x, y)));
  }
  return MaxDifference(R.Bitmap, Pam, Pam.Depth == 4);
}

TEST(BmpReader, ForeignFilesDecodeEqualToTheirWriters) {
  const std::string photo = Source(23, 13, 0), pal = Source(23, 13, 200), pal16 = Source(23, 13, 16), two = Source(23, 13, 2);
  struct TCase {
    std::string Name, Recipe, Decoder;  // Decoder: command printing a netpbm image of {in}
  };
  const std::string im = "convert {in} -depth 8 PAM:-", netpbm = "bmptopnm {in} 2>/dev/null";
  const std::vector<TCase> cases = {
      {"im-v3-24", "convert " + ShellQuote(photo) + " BMP3:{out}", im},
      {"im-v2-24", "convert " + ShellQuote(photo) + " BMP2:{out}", im},
      {"im-v5-24", "convert " + ShellQuote(photo) + " BMP:{out}", im},
      {"im-v3-8", "convert " + ShellQuote(pal) + " -type Palette BMP3:{out}", im},
      {"im-v3-rle8", "convert " + ShellQuote(pal) + " -type Palette -compress RLE BMP3:{out}", im},
      {"im-v3-4", "convert " + ShellQuote(pal16) + " -type Palette -depth 4 BMP3:{out}", im},
      {"im-v5-565", "convert " + ShellQuote(photo) + " -define bmp:subtype=RGB565 BMP:{out}", im},
      {"im-v5-555", "convert " + ShellQuote(photo) + " -define bmp:subtype=RGB555 BMP:{out}", im},
      {"im-v5-argb", "convert " + ShellQuote(photo) + " -alpha set -channel A -fx 'i/w' +channel -define bmp:subtype=ARGB8888 BMP:{out}", im},
      {"ppm-24", "ppmtobmp " + ShellQuote(photo) + " > {out}", netpbm},
      {"ppm-8", "ppmtobmp -bpp 8 " + ShellQuote(pal) + " > {out}", netpbm},
      {"ppm-4", "ppmtobmp -bpp 4 " + ShellQuote(pal16) + " > {out}", netpbm},
      {"ppm-1-colours", "ppmtobmp -bpp 1 " + ShellQuote(two) + " > {out}", netpbm},
      {"ppm-os2-8", "ppmtobmp -os2 -bpp 8 " + ShellQuote(pal) + " > {out}", netpbm},
      {"ppm-os2-24", "ppmtobmp -os2 " + ShellQuote(photo) + " > {out}", netpbm},
      {"pbm-1", "pamthreshold " + ShellQuote(photo) + " | pamtopnm | ppmtobmp > {out}", netpbm},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string bmp = Fixture("bmp-" + c.Name + ".bmp", c.Recipe);
    std::string decoder = c.Decoder;
    decoder.replace(decoder.find("{in}"), 4, ShellQuote(bmp));
    const TPam pam = PamFromCommand(decoder);
    // 5- and 6-bit channels: their writers widen them by replicating the top bits, we shift.
    const bool narrow = c.Name.find("565") != std::string::npos || c.Name.find("555") != std::string::npos;
    ForEachStore([&](Store, StoreScope& scope) {
      for (bool native : {false, true}) {
        SCOPED_TRACE(native ? "native" : "24-bit");
        TRead r;
        scope.Prepare(r.Bitmap);
        ReadBmp(ReadWholeFile(bmp), r, native);
        ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
        EXPECT_LE(Difference(r, pam), narrow ? 7 : 0);
        EXPECT_EQ(r.Alpha != nullptr, c.Name.find("argb") != std::string::npos);
      }
    });
  }
}

// A packed DIB (the file without its 14-byte header, as the clipboard and icons hold it), found
// in the middle of a stream: the pixels follow the header, palette and masks directly.
TEST(BmpReader, DibWithoutFileHeader) {
  const std::string im = "convert {in} -depth 8 PAM:-", netpbm = "bmptopnm {in} 2>/dev/null";
  const std::string photo = Source(23, 13, 0), pal = Source(23, 13, 200), pal16 = Source(23, 13, 16);
  const std::pair<std::string, std::string> cases[] = {
      {"im-v3-24", "convert " + ShellQuote(photo) + " BMP3:{out}"},
      {"im-v3-8", "convert " + ShellQuote(pal) + " -type Palette BMP3:{out}"},
      {"im-v3-rle8", "convert " + ShellQuote(pal) + " -type Palette -compress RLE BMP3:{out}"},
      {"im-v3-4", "convert " + ShellQuote(pal16) + " -type Palette -depth 4 BMP3:{out}"},
      {"im-v5-565", "convert " + ShellQuote(photo) + " -define bmp:subtype=RGB565 BMP:{out}"},
      {"ppm-os2-8", "ppmtobmp -os2 -bpp 8 " + ShellQuote(pal) + " > {out}"},
  };
  for (const auto& [name, recipe] : cases) {
    SCOPED_TRACE(name);
    const std::string bmp = Fixture("bmp-" + name + ".bmp", recipe);
    const std::vector<Byte> file = ReadWholeFile(bmp);
    ASSERT_GT(file.size(), 54u);
    const uint32_t header = file[14] | file[15] << 8, offset = file[10] | file[11] << 8 | file[12] << 16;
    ASSERT_LE(header + 14, offset) << "no gap before the pixels";
    std::vector<Byte> dib = {'j', 'n', 'k'};
    dib.insert(dib.end(), file.begin() + 14, file.end());
    TMemoryStream m;
    FillStream(m, dib);
    m.SetPosition(3);
    TRead r;
    ReadBMPStream(&m, &r.Bitmap, 0, r.Params, r.Probe.Progress, false, true, r.Alpha, false);
    ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
    std::string decoder = name.rfind("ppm", 0) == 0 ? netpbm : im;
    decoder.replace(decoder.find("{in}"), 4, ShellQuote(bmp));
    EXPECT_LE(Difference(r, PamFromCommand(decoder)), name.find("565") != std::string::npos ? 7 : 0);
  }
}

// A hand-made BMP with a 40-byte header unless HeaderSize says otherwise.
std::vector<Byte> MakeBmp(int32_t W, int32_t H, uint16_t Bits, uint32_t Compression, const std::vector<Byte>& Palette,
                          const std::vector<Byte>& Pixels, uint32_t HeaderSize = 40, const std::vector<uint32_t>& Masks = {}) {
  std::vector<Byte> h(HeaderSize, 0);
  auto put = [](std::vector<Byte>& d, size_t at, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) d[at + i] = Byte(v >> (8 * i));
  };
  put(h, 0, HeaderSize, 4);
  put(h, 4, uint32_t(W), 4);
  put(h, 8, uint32_t(H), 4);
  put(h, 12, 1, 2);
  put(h, 14, Bits, 2);
  put(h, 16, Compression, 4);
  put(h, 20, uint32_t(Pixels.size()), 4);
  put(h, 24, 3780, 4);
  put(h, 28, 3780, 4);
  put(h, 32, uint32_t(Palette.size() / 4), 4);
  std::vector<Byte> after;
  if (HeaderSize >= 56)
    for (size_t i = 0; i < Masks.size(); ++i) put(h, 40 + 4 * i, Masks[i], 4);
  else
    for (uint32_t m : Masks) after.insert(after.end(), {Byte(m), Byte(m >> 8), Byte(m >> 16), Byte(m >> 24)});
  std::vector<Byte> f(14, 0);
  f[0] = 'B';
  f[1] = 'M';
  const uint32_t offset = uint32_t(14 + h.size() + after.size() + Palette.size());
  put(f, 2, uint32_t(offset + Pixels.size()), 4);
  put(f, 10, offset, 4);
  f.insert(f.end(), h.begin(), h.end());
  f.insert(f.end(), after.begin(), after.end());
  f.insert(f.end(), Palette.begin(), Palette.end());
  f.insert(f.end(), Pixels.begin(), Pixels.end());
  return f;
}

TEST(BmpReader, CraftedRowsMasksPalettesAndRefusals) {
  // 2 x 2, 24 bits: bottom-up and top-down twins give the same image.
  const std::vector<Byte> bottomUp = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
  const std::vector<Byte> topDown = {7, 8, 9, 10, 11, 12, 0, 0, 1, 2, 3, 4, 5, 6, 0, 0};
  TRead a, b;
  ReadBmp(MakeBmp(2, 2, 24, 0, {}, bottomUp), a);
  ReadBmp(MakeBmp(2, -2, 24, 0, {}, topDown), b);
  ASSERT_FALSE(a.Probe.Failed() || b.Probe.Failed());
  EXPECT_EQ(MaxDifference(a.Bitmap, b.Bitmap), 0);
  EXPECT_EQ(a.Bitmap.GetPixelRGB(0, 1), (TRGB{1, 2, 3}));
  EXPECT_EQ(a.Params.DpiX, 96);

  // 32 bits with the channel masks inside a V5 header (red in the low byte), alpha mask too.
  const std::vector<Byte> px32 = {0x11, 0x22, 0x33, 0x80, 0x44, 0x55, 0x66, 0xFF};
  TRead m;
  ReadBmp(MakeBmp(2, 1, 32, 3, {}, px32, 124, {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000}), m);
  ASSERT_FALSE(m.Probe.Failed()) << m.Probe.Reason;
  EXPECT_EQ(m.Bitmap.GetPixelRGB(0, 0), IECreateRGB(0x11, 0x22, 0x33));
  ASSERT_NE(m.Alpha, nullptr);
  EXPECT_EQ(m.Alpha->GetPixel(0, 0), 0x80);
  EXPECT_EQ(m.Params.BmpVersion, 0);

  // 16 bits without masks are 5-5-5; with masks 5-6-5.
  TRead s555, s565;
  ReadBmp(MakeBmp(1, 1, 16, 0, {}, {0x1F, 0x7C, 0, 0}), s555);  // 0x7C1F: red and blue full
  EXPECT_EQ(s555.Bitmap.GetPixelRGB(0, 0), IECreateRGB(0xF8, 0, 0xF8));
  ReadBmp(MakeBmp(1, 1, 16, 3, {}, {0xE0, 0x07, 0, 0}, 40, {0xF800, 0x07E0, 0x001F}), s565);  // green full
  EXPECT_EQ(s565.Bitmap.GetPixelRGB(0, 0), IECreateRGB(0, 0xFC, 0));

  // A 1-bit palette that is not black and white keeps its colours; (white, black) is inverted.
  const std::vector<Byte> redBlue = {0, 0, 255, 0, 255, 0, 0, 0};
  TRead colours;
  ReadBmp(MakeBmp(3, 1, 1, 0, redBlue, {0x40, 0, 0, 0}), colours);
  ASSERT_FALSE(colours.Probe.Failed());
  EXPECT_EQ(colours.Bitmap.GetPixelAsRGB(0, 0), IECreateRGB(255, 0, 0));
  EXPECT_EQ(colours.Bitmap.GetPixelAsRGB(1, 0), IECreateRGB(0, 0, 255));
  TRead whiteBlack;
  ReadBmp(MakeBmp(3, 1, 1, 0, {255, 255, 255, 0, 0, 0, 0, 0}, {0x40, 0, 0, 0}), whiteBlack);
  ASSERT_EQ(whiteBlack.Bitmap.GetPixelFormat(), ie1g);
  EXPECT_EQ(whiteBlack.Bitmap.GetPixelAsRGB(0, 0), IECreateRGB(255, 255, 255));
  EXPECT_EQ(whiteBlack.Bitmap.GetPixelAsRGB(1, 0), IECreateRGB(0, 0, 0));

  // RLE8 with a delta and a last row that ends with 0,0 then 0,1; what the runs skip or never
  // reach is black (index 0), in every store, whatever the store held before.
  const std::vector<Byte> pal = {0, 0, 0, 0, 255, 255, 255, 0, 0, 0, 255, 0};
  ForEachStore([&](Store, StoreScope& scope) {
    for (bool native : {true, false}) {
      TRead rle;
      scope.Prepare(rle.Bitmap);
      rle.Bitmap.Allocate(4, 3, native ? ie8p : ie24RGB);
      rle.Bitmap.Fill(77);
      ReadBmp(MakeBmp(4, 3, 8, 1, pal, {2, 1, 0, 2, 1, 1, 1, 2, 0, 0, 5, 2, 0, 0, 0, 1}), rle, native);
      ASSERT_FALSE(rle.Probe.Failed()) << rle.Probe.Reason;
      const TRGB white = IECreateRGB(255, 255, 255), red = IECreateRGB(255, 0, 0), black = IECreateRGB(0, 0, 0);
      EXPECT_EQ(rle.Bitmap.GetPixelAsRGB(0, 2), white);
      EXPECT_EQ(rle.Bitmap.GetPixelAsRGB(3, 1), red);  // after the delta (1 right, 1 down)
      EXPECT_EQ(rle.Bitmap.GetPixelAsRGB(3, 0), red);  // a run past the width does not spill
      EXPECT_EQ(rle.Bitmap.GetPixelAsRGB(2, 2), black);
      EXPECT_EQ(rle.Bitmap.GetPixelAsRGB(0, 1), black);  // jumped over by the delta
      if (native) {
        EXPECT_EQ(rle.Bitmap.GetPixelByte(2, 2), 0);
      }
    }
    // An end of bitmap in the first row: the rows never reached are black too.
    TRead early;
    scope.Prepare(early.Bitmap);
    ReadBmp(MakeBmp(4, 3, 8, 1, pal, {1, 1, 0, 1}), early);
    ASSERT_FALSE(early.Probe.Failed()) << early.Probe.Reason;
    EXPECT_EQ(early.Bitmap.GetPixelAsRGB(0, 2), (TRGB{255, 255, 255}));
    for (Integer y = 0; y < 3; ++y)
      for (Integer x = y == 2 ? 1 : 0; x < 4; ++x) EXPECT_EQ(early.Bitmap.GetPixelAsRGB(x, y), (TRGB{0, 0, 0})) << x << "," << y;
  });

  // Refused with a reason: a bit count without a layout, a compression that does not fit it,
  // rows missing at the end, no signature, no pixels at all.
  const std::vector<std::pair<std::string, std::vector<Byte>>> refused = {
      {"2 bits", MakeBmp(4, 1, 2, 0, std::vector<Byte>(16, 0), {0, 0, 0, 0})},
      {"RLE8 on 24 bits", MakeBmp(1, 1, 24, 1, {}, {0, 0, 0, 0})},
      {"missing rows", MakeBmp(2, 3, 24, 0, {}, bottomUp)},
      {"no signature", std::vector<Byte>(60, 'x')},
      {"zero width", MakeBmp(0, 2, 24, 0, {}, bottomUp)},
      {"zero height", MakeBmp(2, 0, 24, 0, {}, bottomUp)},
      {"zero width, top-down", MakeBmp(0, -2, 8, 1, pal, {0, 1})},
  };
  for (const auto& [name, data] : refused) {
    SCOPED_TRACE(name);
    TRead r;
    ReadBmp(data, r);
    EXPECT_TRUE(r.Probe.Failed());
    EXPECT_FALSE(r.Probe.Reason.empty());
  }
}

// --- writer ---

std::vector<Byte> WriteBmp(TIEBitmap& B, TIOParamsVals& P, bool SaveAlpha = false) {
  TProgressProbe probe;
  TMemoryStream m;
  WriteBMPStream(&m, &B, P, probe.Progress, SaveAlpha);
  EXPECT_FALSE(probe.Failed()) << probe.Reason;
  return StreamBytes(m);
}

void Gradient(TIEBitmap& B, Integer W, Integer H) {
  B.Allocate(W, H, ie24RGB);
  for (Integer y = 0; y < H; ++y)
    for (Integer x = 0; x < W; ++x) B.SetPixelRGB(x, y, IECreateRGB(Byte(x * 20), Byte(y * 40), Byte(x * y)));
}

TEST(BmpWriter, EveryKindReadBackByImageMagickAndNetpbm) {
  const std::string dir = testsupport::MakeTempDir("bmpw");
  ForEachStore([&](Store, StoreScope& scope) {
    TIEBitmap photo;
    scope.Prepare(photo);
    Gradient(photo, 13, 5);
    struct TKind {
      std::string Name;
      Integer Bits, Samples;
      Byte Version, Compression;
    };
    for (const TKind& k : {TKind{"24", 8, 3, 1, 0}, {"24-core", 8, 3, 2, 0}, {"24-v64", 8, 3, 3, 0}, {"8", 8, 1, 1, 0},
                           {"8-rle", 8, 1, 1, 1}, {"4", 4, 1, 1, 0}, {"4-rle", 4, 1, 1, 1}, {"1", 1, 1, 1, 0}}) {
      SCOPED_TRACE(k.Name);
      TIOParamsVals p(nullptr);
      p.BitsPerSample = k.Bits;
      p.SamplesPerPixel = k.Samples;
      p.BmpVersion = k.Version;
      p.BmpCompression = k.Compression;
      p.DpiX = p.DpiY = 96;
      const std::vector<Byte> bmp = WriteBmp(photo, p);
      const std::string path = dir + "/" + k.Name + ".bmp";
      WriteFileBytes(path, bmp);
      TRead ours;
      ReadBmp(bmp, ours);
      ASSERT_FALSE(ours.Probe.Failed()) << ours.Probe.Reason;
      EXPECT_EQ(Difference(ours, PamFromCommand("convert " + ShellQuote(path) + " -depth 8 PAM:-")), 0);
      if (k.Version != 3) {
        EXPECT_EQ(Difference(ours, PamFromCommand("bmptopnm " + ShellQuote(path) + " 2>/dev/null")), 0);
      }
      if (k.Bits == 8 && k.Samples == 3) {
        EXPECT_EQ(MaxDifference(ours.Bitmap, photo), 0);
      }
    }
    // 32 bits with alpha, read back with the alpha by ImageMagick.
    TIEBitmap* alpha = photo.GetAlphaChannel();
    for (Integer x = 0; x < 13; ++x) alpha->SetPixelByte(x, 1, Byte(x * 19));
    TIOParamsVals p(nullptr);
    const std::vector<Byte> bmp = WriteBmp(photo, p, true);
    const std::string path = dir + "/32.bmp";
    WriteFileBytes(path, bmp);
    TRead ours;
    ReadBmp(bmp, ours);
    ASSERT_NE(ours.Alpha, nullptr);
    EXPECT_EQ(ours.Alpha->GetPixel(5, 1), 95);
    EXPECT_EQ(Difference(ours, PamFromCommand("convert " + ShellQuote(path) + " -depth 8 PAM:-")), 0);
  });
  testsupport::RemoveTree(dir);
}

TEST(BmpWriter, LayoutsAndPalettes) {
  // A 2 x 2 24-bit file at 96 DPI: 14 + 40 + 2 rows of 8 bytes.
  TIEBitmap b;
  Gradient(b, 2, 2);
  TIOParamsVals p(nullptr);
  p.DpiX = p.DpiY = 96;
  const std::vector<Byte> small = WriteBmp(b, p);
  ASSERT_EQ(small.size(), 70u);
  EXPECT_EQ(small[2], 70);
  EXPECT_EQ(small[10], 54);
  EXPECT_EQ(small[38] | small[39] << 8, 3780);

  // A 4-bit RLE row of 5 different indexes: 0, 5, three packed bytes, one pad byte.
  std::vector<Byte> codes;
  const Byte five[] = {1, 2, 3, 4, 5};
  BMPEncodeRLE4Row(five, 5, codes);
  EXPECT_EQ(codes, (std::vector<Byte>{0, 5, 0x12, 0x34, 0x50, 0, 0, 0}));
  codes.clear();
  const Byte three[] = {7, 7, 7};
  BMPEncodeRLE8Row(three, 3, codes);
  EXPECT_EQ(codes, (std::vector<Byte>{3, 7, 0, 0}));

  // Two colours at 1 bit keep both colours, the darker as index 0.
  TIEBitmap two;
  two.Allocate(5, 2, ie24RGB);
  for (Integer x = 0; x < 5; ++x)
    for (Integer y = 0; y < 2; ++y) two.SetPixelRGB(x, y, x % 2 ? IECreateRGB(255, 200, 0) : IECreateRGB(0, 0, 128));
  TIOParamsVals one(nullptr);
  one.BitsPerSample = 1;
  one.SamplesPerPixel = 1;
  TRead back;
  ReadBmp(WriteBmp(two, one), back);
  EXPECT_EQ(MaxDifference(back.Bitmap, two), 0);

  // An ie8p image of 40 colours saved at 4 bits: no index above 15 reaches the file.
  TIEBitmap many;
  many.Allocate(40, 3, ie8p);
  for (Integer i = 0; i < 40; ++i) many.SetPaletteEntry(i, IECreateRGB(Byte(i * 6), Byte(255 - i * 6), Byte(i * 3)));
  for (Integer x = 0; x < 40; ++x)
    for (Integer y = 0; y < 3; ++y) many.SetPixelByte(x, y, Byte(x));
  TIOParamsVals four(nullptr);
  four.BitsPerSample = 4;
  four.SamplesPerPixel = 1;
  TRead indexes;
  ReadBmp(WriteBmp(many, four), indexes, true);
  ASSERT_FALSE(indexes.Probe.Failed());
  for (Integer x = 0; x < 40; ++x) EXPECT_LT(indexes.Bitmap.GetPixelByte(x, 0), 16);
  TRead colours;
  ReadBmp(WriteBmp(many, four), colours);
  EXPECT_LE(MaxDifference(colours.Bitmap, many), 40) << "sixteen colours stand for forty";
}

TEST(BmpWriter, FullDiskFails) {
  TIEBitmap b;
  Gradient(b, 300, 300);
  TIOParamsVals p(nullptr);
  TProgressProbe probe;
  {
    TFileStream f(AnsiString("/dev/full"), fmOpenWrite);
    WriteBMPStream(&f, &b, p, probe.Progress, false);
  }
  EXPECT_TRUE(probe.Failed());
  EXPECT_FALSE(probe.Reason.empty());
}

// A pixel-data offset beyond the end of the file leaves no bytes for the rows: the claim of the
// header is refused before the image is allocated, naming what is missing.
TEST(BmpReader, PixelOffsetPastTheEndRefusedBeforeAllocating) {
  for (const uint32_t offset : {0x200u, 0x1B281100u, 0x7FFFFFFFu}) {
    SCOPED_TRACE(offset);
    std::vector<Byte> data = MakeBmp(4000, 3000, 24, 0, {}, {0, 0, 0, 0});
    for (int i = 0; i < 4; ++i) data[10 + i] = Byte(offset >> (8 * i));
    TRead r;
    ReadBmp(data, r);
    EXPECT_TRUE(r.Probe.Failed());
    EXPECT_NE(r.Probe.Reason.find("holds 0 bytes, too few for 4000 x 3000 pixels"), std::string::npos) << r.Probe.Reason;
    EXPECT_EQ(r.Bitmap.GetWidth(), 0);
  }
}

TEST(Corpus, BmpFuzzFindings) {
  ReplayFuzzFindings("bmp", [](const std::vector<Byte>& data, size_t) -> TCorpusResult {
    TRead r;
    ReadBmp(data, r);
    return CorpusOutcome(r);
  });
}

TEST(Corpus, BmpReader) {
  const size_t reads = ReplayCorpus("bmp", [](const std::vector<Byte>& data, size_t index) -> TCorpusResult {
    TRead r;
    ReadBmp(data, r, index % 2 == 1);
    return CorpusOutcome(r);
  });
  EXPECT_GT(reads, 500u);
}

}  // namespace
