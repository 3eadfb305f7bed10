// The Photoshop codec against ImageMagick: RGB, grey, CMYK, indexed and bitmap files of 8 and
// 16 bits, packed and raw, decode as ImageMagick decodes them, their layers too; what we write,
// flat and with layers and masks, ImageMagick reads back; damaged, cut and inflated files end
// with a reason and bounded work.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_icc.h"
#include "imaging/core/ie_limits.h"
#include "imaging/formats/ie_color_convert.h"
#include "imaging/formats/psd/ie_psd.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/imaging/support/plain_cmyk.h"
#include "tests/imaging/support/ie_stores.h"

using namespace ietest;
using testsupport::Fixture;
using testsupport::ShellQuote;

namespace {

struct TRead {
  TIEBitmap Bitmap;
  TIOParamsVals Params{nullptr};
  TProgressProbe Probe;
  TIEPSDLayers Layers;
};

void ReadPsd(const std::vector<Byte>& Data, TRead& R, bool LoadLayers = false, bool Native = false) {
  TMemoryStream m;
  FillStream(m, Data);
  R.Params.NativePixelFormat = Native;
  ReadPSDStream(&m, &R.Bitmap, R.Params, R.Probe.Progress, LoadLayers, &R.Layers);
}

// A sample of the decoded image at the file's own depth (colour channels only).
Integer Native(TIEBitmap& B, Integer X, Integer Y, Integer C) {
  const Byte* row = static_cast<const Byte*>(B.GetScanline(Y));
  Word w;
  switch (B.GetPixelFormat()) {
    case ie16g: std::memcpy(&w, row + 2 * X, 2); return w;
    case ieRGB48: std::memcpy(&w, row + 6 * X + 2 * C, 2); return w;
    case ieCMYK: return row[4 * X + C];
    case ie24RGB: return row[3 * X + 2 - C];
    default: return row[X];
  }
}

// Every colour sample of B equals the tool's; Ink: the tool's samples are ink (CMYK), ours
// the paper left (255 - ink, of the high byte for 16-bit files).
void ExpectSamples(TIEBitmap& B, const TPam& P, Integer Channels, bool Ink) {
  ASSERT_EQ(B.GetWidth(), P.Width);
  ASSERT_EQ(B.GetHeight(), P.Height);
  Integer wrong = 0;
  for (Integer y = 0; y < P.Height; ++y)
    for (Integer x = 0; x < P.Width; ++x)
      for (Integer c = 0; c < Channels; ++c) {
        Integer expected = P.At(x, y, c);
        if (Ink) expected = 255 - (P.MaxVal > 255 ? expected >> 8 : expected);
        if (Native(B, x, y, c) != expected && wrong++ < 3)
          ADD_FAILURE() << "at " << x << "," << y << " channel " << c << ": " << Native(B, x, y, c) << " for " << expected;
      }
}

std::string Src(const char* Name, const char* Recipe) { return Fixture(Name, Recipe); }

TEST(PsdReader, ToolFilesDecodeAsTheToolDecodesThem) {
  // ImageMagick shows CMYK documents by the plain formula when they carry no profile.
  const TCMYKProfileUse formula(false);
  const std::string rgb = Src("psd-src-13x7.png", "convert -size 13x7 gradient:red-blue \\( -size 13x7 gradient:white-black -rotate 90 -resize 13x7! \\) -compose multiply -composite -depth 16 PNG48:{out}");
  const std::string q = ShellQuote(rgb);
  struct TCase {
    std::string Name, Options;
    Integer Mode, Depth, Channels;  // what the file must hold
    TIEPixelFormat Format;          // what the native read gives
    bool Ink;
  };
  const std::vector<TCase> cases = {
      {"rgb8-rle", "-depth 8 -compress RLE", 3, 8, 3, ie24RGB, false},
      {"rgb8-raw", "-depth 8 -compress None", 3, 8, 3, ie24RGB, false},
      {"rgb16-rle", "-depth 16 -compress RLE", 3, 16, 3, ieRGB48, false},
      {"rgb16-raw", "-depth 16 -compress None", 3, 16, 3, ieRGB48, false},
      {"grey8", "-colorspace Gray -depth 8", 1, 8, 1, ie8g, false},
      {"grey16", "-colorspace Gray -depth 16 -compress None", 1, 16, 1, ie16g, false},
      {"cmyk8", "-colorspace CMYK -depth 8", 4, 8, 4, ieCMYK, true},
      {"cmyk16", "-colorspace CMYK -depth 16", 4, 16, 4, ieCMYK, true},
      {"bitmap", "-monochrome -depth 1", 0, 1, 1, ie1g, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string file = Fixture("psd-" + c.Name + ".psd", "convert " + q + " " + c.Options + " PSD:{out}");
    const std::vector<Byte> bytes = ReadWholeFile(file);
    ASSERT_GT(bytes.size(), 26u);
    EXPECT_EQ(bytes[25], c.Mode);
    EXPECT_EQ(bytes[23], c.Depth);
    TRead native;
    ReadPsd(bytes, native, false, true);
    ASSERT_FALSE(native.Probe.Failed()) << native.Probe.Reason;
    EXPECT_EQ(native.Params.BitsPerSample, c.Depth);
    ASSERT_EQ(native.Bitmap.GetPixelFormat(), c.Format);
    const TPam pam = PamFromCommand("convert " + ShellQuote(file) + "[0] " +
                                    (c.Depth == 16 ? "-depth 16" : "-depth 8") + " PAM:-");
    if (c.Format != ie1g) ExpectSamples(native.Bitmap, pam, c.Channels, c.Ink);
    // Displayed: ie24RGB (1-bit stays), in every store, as the tool shows it in sRGB.
    const TPam shown = PamFromCommand("convert " + ShellQuote(file) + "[0] -colorspace sRGB -depth 8 PPM:-");
    ForEachStore([&](Store, StoreScope& scope) {
      TRead r;
      scope.Prepare(r.Bitmap);
      ReadPsd(bytes, r);
      ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
      EXPECT_EQ(r.Bitmap.GetPixelFormat(), c.Format == ie1g ? ie1g : ie24RGB);
      EXPECT_LE(MaxDifference(r.Bitmap, shown), c.Mode == 4 ? 2 : c.Depth == 16 ? 1 : 0);
    });
  }
  // ImageMagick writes indexed files it cannot read back itself: the colours it wrote are those
  // of the same reduction written as a PPM.
  const std::string reduce = "convert " + q + " -depth 8 -colors 6 -type Palette ";
  const std::string indexed = Fixture("psd-indexed.psd", reduce + "PSD:{out}");
  TRead pal;
  ReadPsd(ReadWholeFile(indexed), pal, false, true);
  ASSERT_FALSE(pal.Probe.Failed()) << pal.Probe.Reason;
  EXPECT_EQ(pal.Bitmap.GetPixelFormat(), ie8p);
  EXPECT_EQ(MaxDifference(pal.Bitmap, PamFromCommand(reduce + "PPM:-")), 0);
}

// With colour management on, the pixels go through the embedded profile to sRGB as
// ImageMagick's -profile takes them; off, they are the file's.
TEST(PsdReader, EmbeddedProfileAppliedToThePixels) {
  const std::string srgb = "/usr/share/color/icc/ghostscript/srgb.icc", a98 = "/usr/share/color/icc/ghostscript/a98.icc";
  const std::string src = Src("psd-src-photo.png", "convert -seed 4 -size 40x30 plasma:fractal -depth 8 PNG24:{out}");
  const std::string file = Fixture("psd-a98.psd", "convert " + ShellQuote(src) + " -profile " + a98 + " -depth 8 PSD:{out}");
  const bool saved = IEEnableCMS;
  IEEnableCMS = true;
  TRead r;
  const std::vector<Byte> target = ReadWholeFile(srgb);
  r.Params.GetSystemICCProfile()->LoadFromBuffer(target.data(), Integer(target.size()));
  ReadPsd(ReadWholeFile(file), r);
  IEEnableCMS = saved;
  ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
  ASSERT_TRUE(r.Params.EmbeddedICCProfile);
  EXPECT_EQ(r.Params.EmbeddedICCProfile->RawLength(), Integer(ReadWholeFile(a98).size()));
  const TPam im = PamFromCommand("convert " + ShellQuote(file) + "[0] -profile " + srgb + " -depth 8 PPM:-");
  ASSERT_EQ(im.Width, r.Bitmap.GetWidth());
  Integer apart = 0, worst = 0;
  for (Integer y = 0; y < im.Height; ++y)
    for (Integer x = 0; x < im.Width; ++x) {
      const TRGB c = r.Bitmap.GetPixelAsRGB(x, y);
      const Integer mine[3] = {c.r, c.g, c.b};
      for (Integer k = 0; k < 3; ++k) {
        const Integer d = std::abs(mine[k] - im.At8(x, y, k));
        worst = std::max(worst, d);
        apart += d > 2;
      }
    }
  EXPECT_LE(worst, 12);
  EXPECT_LE(apart, im.Width * im.Height * 3 / 100);
  const TPam plain = PamFromCommand("convert " + ShellQuote(file) + "[0] -depth 8 PPM:-");
  EXPECT_GT(MaxDifference(r.Bitmap, plain), 20) << "the profile did something";
  IEEnableCMS = false;
  TRead off;
  ReadPsd(ReadWholeFile(file), off);
  IEEnableCMS = saved;
  EXPECT_EQ(MaxDifference(off.Bitmap, plain), 0);
}

// An RGB composite and two layers, one half transparent, both offset.
std::string LayeredFile() {
  const std::string base = Fixture("psd-base.png", "convert -size 16x8 gradient:red-blue -depth 8 PNG24:{out}");
  const std::string half = Fixture("psd-half.png", "convert -size 5x4 gradient:'rgba(0,255,0,0.5)'-'rgba(9,9,9,0.9)' -depth 8 PNG32:{out}");
  const std::string solid = Fixture("psd-solid.png", "convert -size 6x3 xc:yellow -depth 8 PNG24:{out}");
  return Fixture("psd-layers.psd", "convert " + ShellQuote(base) + " \\( " + ShellQuote(half) + " -repage +3+2 \\) \\( " +
                                       ShellQuote(solid) + " -repage +9+4 \\) PSD:{out}");
}

TEST(PsdReader, LayersDecodeAsTheToolsLayers) {
  const std::string file = LayeredFile();
  const std::vector<Byte> bytes = ReadWholeFile(file);
  TRead r;
  ReadPsd(bytes, r, true);
  ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
  // With the layers read the merged image is not decoded.
  EXPECT_TRUE(r.Bitmap.IsEmpty());
  // The first image is the composite; the other two are the layers.
  ASSERT_EQ(r.Layers.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    const std::string layer = ShellQuote(file) + "[" + std::to_string(i + 1) + "]";
    const TPam pam = PamFromCommand("convert " + layer + " -depth 8 PAM:-");
    const std::string at = testsupport::RunOk("identify -format '%X %Y' " + layer);
    TIEPSDLayer& l = *r.Layers[i];
    EXPECT_EQ(std::to_string(l.PosX) + " " + std::to_string(l.PosY), at == "+0 +0" ? "0 0" : at.substr(1, at.find(' ') - 1) + " " + at.substr(at.find(' ') + 2));
    EXPECT_FALSE(l.MaskLayer);
    EXPECT_TRUE(l.Visible);
    EXPECT_EQ(l.Bitmap->GetPixelFormat(), ie24RGB);
    EXPECT_EQ(MaxDifference(*l.Bitmap, pam, pam.Depth == 4), 0);
  }
  // Without LoadLayers: the merged image only, as the tool shows it.
  TRead flat;
  ReadPsd(bytes, flat, false);
  ASSERT_FALSE(flat.Probe.Failed()) << flat.Probe.Reason;
  EXPECT_TRUE(flat.Layers.empty());
  // A file of one layer gives that layer all the same, beside the merged image.
  const std::string one = Fixture("psd-one-layer.psd", "convert " + ShellQuote(file) + "[0] -depth 8 PSD:{out}");
  TRead single;
  ReadPsd(ReadWholeFile(one), single, false);
  ASSERT_FALSE(single.Probe.Failed()) << single.Probe.Reason;
  ASSERT_EQ(single.Layers.size(), 1u);
  EXPECT_EQ(single.Layers[0]->Bitmap->GetWidth(), 16);
  EXPECT_EQ(single.Bitmap.GetWidth(), 16);
  EXPECT_EQ(MaxDifference(flat.Bitmap, PamFromCommand("convert " + ShellQuote(file) + "[0] -depth 8 PPM:-")), 0);
}

// --- crafted files ---------------------------------------------------------------------------

void BE(std::vector<Byte>& D, DWORD V, int Bytes) {
  for (int i = Bytes - 1; i >= 0; --i) D.push_back(Byte(V >> (8 * i)));
}

std::vector<Byte> Header(Integer Mode, Integer Depth, DWORD W, DWORD H, Integer Channels) {
  std::vector<Byte> d = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0};
  BE(d, DWORD(Channels), 2);
  BE(d, H, 4);
  BE(d, W, 4);
  BE(d, DWORD(Depth), 2);
  BE(d, DWORD(Mode), 2);
  return d;
}

// A grey 8-bit file: header, no colour data, Resources, the layer section, the merged image.
std::vector<Byte> Grey(DWORD W, DWORD H, const std::vector<Byte>& Layers, const std::vector<Byte>& Image,
                       const std::vector<Byte>& Resources = {}) {
  std::vector<Byte> d = Header(1, 8, W, H, 1);
  BE(d, 0, 4);
  BE(d, DWORD(Resources.size()), 4);
  d.insert(d.end(), Resources.begin(), Resources.end());
  BE(d, DWORD(Layers.size()), 4);
  d.insert(d.end(), Layers.begin(), Layers.end());
  d.insert(d.end(), Image.begin(), Image.end());
  return d;
}

// A layer section of one grey layer record with the given rectangle, its channel (id 0) of
// ChannelLength, Count as the layer count, and Data after the record.
std::vector<Byte> OneLayer(Integer Top, Integer Left, Integer Bottom, Integer Right, DWORD ChannelLength,
                           const std::vector<Byte>& Data, Integer Count = 1) {
  std::vector<Byte> info;
  BE(info, DWORD(Count), 2);
  for (Integer v : {Top, Left, Bottom, Right}) BE(info, DWORD(v), 4);
  BE(info, 1, 2);
  BE(info, 0, 2);
  BE(info, ChannelLength, 4);
  for (const char* s : {"8BIM", "norm"}) info.insert(info.end(), s, s + 4);
  info.insert(info.end(), {200, 0, 0, 0});
  BE(info, 12, 4);
  BE(info, 0, 4);
  BE(info, 0, 4);
  info.insert(info.end(), {3, 'a', 'b', 'c'});
  info.insert(info.end(), Data.begin(), Data.end());
  std::vector<Byte> section;
  BE(section, DWORD(info.size()), 4);
  section.insert(section.end(), info.begin(), info.end());
  BE(section, 0, 4);
  return section;
}

TEST(PsdReader, PackedRowsRectanglesCountsAndDamage) {
  // Packed rows of a 2 x 2 grey image: a no-op control byte 128, and a run longer than its row
  // that must stop at the row's end.
  const std::vector<Byte> packed = {0, 1, 0, 4, 0, 2, 0x80, 0x01, 7, 9, 0xFD, 5};
  TRead ok;
  ReadPsd(Grey(2, 2, {}, packed), ok, false, true);
  ASSERT_FALSE(ok.Probe.Failed()) << ok.Probe.Reason;
  EXPECT_EQ(ok.Bitmap.GetPixelByte(0, 0), 7);
  EXPECT_EQ(ok.Bitmap.GetPixelByte(1, 0), 9);
  EXPECT_EQ(ok.Bitmap.GetPixelByte(1, 1), 5);

  // A layer far outside the canvas is a layer like any other, at its place.
  const std::vector<Byte> raw = {0, 0, 10, 20, 30, 40};
  TRead far;
  ReadPsd(Grey(2, 2, OneLayer(-5000000, 7000000, -4999998, 7000002, 6, raw), {0, 0, 1, 2, 3, 4}), far, true, true);
  ASSERT_FALSE(far.Probe.Failed()) << far.Probe.Reason;
  ASSERT_EQ(far.Layers.size(), 1u);
  EXPECT_EQ(far.Layers[0]->PosX, 7000000);
  EXPECT_EQ(far.Layers[0]->PosY, -5000000);
  EXPECT_EQ(far.Layers[0]->Opacity, 200);
  EXPECT_EQ(far.Layers[0]->LayerName, "abc");
  EXPECT_EQ(far.Layers[0]->Bitmap->GetPixelByte(1, 1), 40);
  // A layer of no pixels goes.
  TRead none;
  ReadPsd(Grey(2, 2, OneLayer(3, 3, 3, 3, 2, {0, 0}), {0, 0, 1, 2, 3, 4}), none, true, true);
  ASSERT_FALSE(none.Probe.Failed()) << none.Probe.Reason;
  EXPECT_TRUE(none.Layers.empty());
  EXPECT_EQ(none.Bitmap.GetPixelByte(1, 1), 4);

  struct TBad {
    std::string Name;
    std::vector<Byte> Data;
    std::string Reason;
  };
  const std::vector<Byte> image = {0, 0, 1, 2, 3, 4};
  const std::vector<TBad> bad = {
      {"not version 1", [] { auto d = Header(1, 8, 2, 2, 1); d[5] = 2; return d; }(), "not a Photoshop image"},
      {"cut header", {'8', 'B', 'P', 'S', 0, 1}, "too short"},
      {"negative rectangle", Grey(2, 2, OneLayer(5, 0, 2, 2, 6, raw), image), "negative"},
      {"negative width", Grey(2, 2, OneLayer(0, 9, 2, 2, 6, raw), image), "negative"},
      {"channel past the end", Grey(2, 2, OneLayer(0, 0, 2, 2, 0x7FFFFFFF, raw), image), "the file holds"},
      {"channel too short", Grey(2, 2, OneLayer(0, 0, 2, 2, 4, {0, 0, 10, 20}), image), "too few"},
      {"negative count", Grey(2, 2, OneLayer(0, 0, 2, 2, 6, raw, 0x8000), image), "too few for 32768 layers"},
      {"huge layer", Grey(2, 2, OneLayer(0, 0, 40000, 40000, 6, raw), image), "too few"},
      {"huge deflated layer", Grey(2, 2, OneLayer(0, 0, 20000, 20000, 4, {0, 2, 0x78, 0x9C}), image), "too few"},
      {"layer section past the end", [&] { auto d = Grey(2, 2, {}, image); d[33] = 0x7F; return d; }(), "the file holds"},
      {"huge image", Grey(40000, 40000, {}, image), "too few"},
      {"short packed row", Grey(2, 2, {}, {0, 1, 0, 2, 0, 2, 0x00, 5, 0x01, 1, 2}), "unpacks to 1 of its 2 bytes"},
      {"cut merged image", Grey(2, 2, {}, {0, 0, 1, 2, 3}), "too few"},
      {"cut packed rows", Grey(2, 2, {}, {0, 1, 0, 3, 0, 3, 0x01, 1, 2, 0x01}), "ends after 1 of its 2 rows"},
      {"bad zip merged image", Grey(2, 2, {}, {0, 2, 1, 2, 3, 4}), "inflates to 0 of its 4 bytes"},
      {"compression 4", Grey(2, 2, {}, {0, 4, 1, 2, 3, 4}), "compression 4"},
      {"32-bit", [] { auto d = Header(3, 32, 1, 1, 3); BE(d, 0, 4); BE(d, 0, 4); BE(d, 0, 4); return d; }(), "not supported"},
      {"multichannel", [] { auto d = Header(7, 8, 1, 1, 2); BE(d, 0, 4); BE(d, 0, 4); BE(d, 0, 4); return d; }(), "not supported"},
  };
  for (const TBad& b : bad) {
    SCOPED_TRACE(b.Name);
    TRead r;
    ReadPsd(b.Data, r, true);
    EXPECT_TRUE(r.Probe.Failed());
    EXPECT_NE(r.Probe.Reason.find(b.Reason), std::string::npos) << r.Probe.Reason;
  }
  TMemoryStream s;
  FillStream(s, Grey(2, 2, {}, image));
  EXPECT_TRUE(IsPSD(&s));
  EXPECT_EQ(s.Position(), 0);
  FillStream(s, Header(10, 8, 2, 2, 1));
  EXPECT_FALSE(IsPSD(&s));
}

TEST(PsdReader, ResourcesAndTransparentIndex) {
  // An indexed 3 x 1 image whose index 2 is transparent, at 300 x 150 dpi, with XMP.
  std::vector<Byte> res;
  auto resource = [&](Integer Id, const std::vector<Byte>& Data) {
    res.insert(res.end(), {'8', 'B', 'I', 'M'});
    BE(res, DWORD(Id), 2);
    res.insert(res.end(), {0, 0});
    BE(res, DWORD(Data.size()), 4);
    res.insert(res.end(), Data.begin(), Data.end());
    if (res.size() & 1) res.push_back(0);
  };
  resource(1005, {0x01, 0x2C, 0, 0, 0, 1, 0, 1, 0, 0x96, 0, 0, 0, 1, 0, 1});
  resource(1047, {0, 2});
  resource(1060, {'<', 'x', '/', '>', '!'});
  std::vector<Byte> d = Header(2, 8, 3, 1, 1);
  BE(d, 768, 4);
  for (Integer part = 0; part < 3; ++part)
    for (Integer i = 0; i < 256; ++i) d.push_back(Byte(part == 0 ? i : part == 1 ? 255 - i : 7));
  BE(d, DWORD(res.size()), 4);
  d.insert(d.end(), res.begin(), res.end());
  BE(d, 0, 4);
  d.insert(d.end(), {0, 0, 1, 2, 3});
  TRead r;
  ReadPsd(d, r, false, true);
  ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
  EXPECT_EQ(r.Params.DpiX, 300);
  EXPECT_EQ(r.Params.DpiY, 150);
  EXPECT_EQ(r.Params.XMP, "<x/>!");
  ASSERT_EQ(r.Bitmap.GetPixelFormat(), ie8p);
  EXPECT_EQ(r.Bitmap.GetPixelAsRGB(2, 0), IECreateRGB(3, 252, 7));
  ASSERT_TRUE(r.Bitmap.HasAlphaChannel());
  EXPECT_EQ(r.Bitmap.GetAlphaValue(0, 0), 255);
  EXPECT_EQ(r.Bitmap.GetAlphaValue(1, 0), 0);
  EXPECT_EQ(r.Bitmap.GetAlphaValue(2, 0), 255);
}

// --- writing -----------------------------------------------------------------------------------

std::vector<Byte> WritePsd(TIEBitmap& B, TIOParamsVals& P, TIEPSDLayers& Layers) {
  TProgressProbe probe;
  TMemoryStream m;
  WritePSDStream(&m, P, probe.Progress, &B, Layers);
  EXPECT_FALSE(probe.Failed()) << probe.Reason;
  return StreamBytes(m);
}

void Paint(TIEBitmap& B, Integer W, Integer H, Integer Seed) {
  B.Allocate(W, H, ie24RGB);
  for (Integer y = 0; y < H; ++y)
    for (Integer x = 0; x < W; ++x)
      B.SetPixelRGB(x, y, IECreateRGB(Byte(x * 37 + Seed), Byte(y * 50 + x), Byte(x < W / 2 ? 200 : 10 + Seed)));
}

TEST(PsdWriter, TheToolReadsWhatWeWrite) {
  // ImageMagick shows CMYK documents by the plain formula when they carry no profile.
  const TCMYKProfileUse formula(false);
  const std::string dir = testsupport::MakeTempDir("psdw");
  TIEBitmap rgb;
  Paint(rgb, 11, 6, 0);
  struct TKind {
    std::string Name;
    TIEPixelFormat Format;
    Integer Mode, Depth;
    bool Native;  // our own read of the native format gives the pixels back exactly
  };
  for (const TKind& k : {TKind{"rgb8", ie24RGB, 3, 8, true}, {"rgb16", ieRGB48, 3, 16, true},
                         {"grey8", ie8g, 1, 8, true}, {"grey16", ie16g, 1, 16, true}, {"cmyk", ieCMYK, 4, 8, true},
                         {"lab", ieCIELab, 9, 8, true}, {"bitmap", ie1g, 0, 1, true}, {"bgrx", ie32RGB, 3, 8, false}}) {
    SCOPED_TRACE(k.Name);
    TIEBitmap b;
    b.Assign(&rgb);
    b.SetPixelFormat(k.Format);
    TIOParamsVals p(nullptr);
    p.SetDpiX(300);
    p.SetDpiY(200);
    TIEPSDLayers none;
    const std::vector<Byte> bytes = WritePsd(b, p, none);
    ASSERT_GT(bytes.size(), 26u);
    EXPECT_EQ(bytes[25], k.Mode);
    EXPECT_EQ(bytes[23], k.Depth);
    const std::string path = dir + "/" + k.Name + ".psd";
    WriteFileBytes(path, bytes);
    TRead back;
    ReadPsd(bytes, back, false, true);
    ASSERT_FALSE(back.Probe.Failed()) << back.Probe.Reason;
    EXPECT_EQ(back.Params.DpiX, 300);
    EXPECT_EQ(back.Params.DpiY, 200);
    if (k.Format == ie1g) {
      EXPECT_EQ(MaxDifference(back.Bitmap, b), 0);
    } else if (k.Native) {
      ASSERT_EQ(back.Bitmap.GetPixelFormat(), k.Format);
      for (Integer y = 0; y < 6; ++y)
        EXPECT_EQ(std::memcmp(back.Bitmap.GetScanline(y), b.GetScanline(y), size_t(11 * IEPixelFormatBits[k.Format] / 8)), 0) << y;
    } else {
      EXPECT_EQ(MaxDifference(back.Bitmap, rgb), 0);
    }
    // ImageMagick sees the composite and the one layer that stands for it, with equal pixels.
    EXPECT_EQ(testsupport::RunOk("identify -format '%wx%h %z;' " + ShellQuote(path)),
              k.Depth == 1 ? "11x6 1;11x6 1;" : "11x6 " + std::to_string(k.Depth) + ";11x6 " + std::to_string(k.Depth) + ";");
    TRead shown;
    ReadPsd(bytes, shown);
    for (const char* index : {"[0]", "[1]"}) {
      SCOPED_TRACE(index);
      if (k.Format == ieCIELab) {
        // ImageMagick keeps Lab samples as the file holds them (a and b offset by 128); its
        // conversion to sRGB is not ours.
        const TPam lab = PamFromCommand("convert " + ShellQuote(path) + index + " -depth 8 PAM:-");
        for (Integer y = 0; y < 6; ++y)
          for (Integer x = 0; x < 11; ++x)
            for (Integer c = 0; c < 3; ++c) {
              const Byte v = static_cast<const Byte*>(b.GetScanline(y))[3 * x + c];
              ASSERT_EQ(lab.At(x, y, c), c == 0 ? v : Byte(v + 128)) << x << "," << y << " " << c;
            }
        continue;
      }
      const TPam pam = PamFromCommand("convert " + ShellQuote(path) + index + " -colorspace sRGB -depth 8 PPM:-");
      EXPECT_LE(MaxDifference(shown.Bitmap, pam), k.Mode == 4 ? 2 : k.Depth == 16 ? 1 : 0);
    }
  }
  testsupport::RemoveTree(dir);
}

TEST(PsdWriter, LayersMasksAndNames) {
  const std::string dir = testsupport::MakeTempDir("psdl");
  TIEBitmap merged;
  Paint(merged, 12, 9, 0);
  TIEPSDLayers layers;
  auto add = [&](Integer W, Integer H, Integer X, Integer Y, const char* Name, bool Mask) {
    auto l = std::make_unique<TIEPSDLayer>();
    l->Owned = std::make_unique<TIEBitmap>();
    l->Bitmap = l->Owned.get();
    if (Mask) {
      l->Bitmap->Allocate(W, H, ie8g);
      for (Integer y = 0; y < H; ++y)
        for (Integer x = 0; x < W; ++x) l->Bitmap->SetPixelByte(x, y, Byte(x * 60));
    } else {
      Paint(*l->Bitmap, W, H, X * 10);
      for (Integer y = 0; y < H; ++y)
        for (Integer x = 0; x < W; ++x) l->Bitmap->GetAlphaChannel()->SetPixelByte(x, y, Byte(255 - y * 40));
    }
    l->PosX = X;
    l->PosY = Y;
    l->LayerName = Name;
    l->MaskLayer = Mask;
    l->Visible = !Mask;
    l->Opacity = std::string(Name) == "sticky" ? 180 : 255;
    layers.push_back(std::move(l));
  };
  add(12, 9, 0, 0, "ground", false);
  add(5, 4, 3, 2, "sticky", false);
  add(5, 4, 3, 2, "", true);
  add(4, 3, 7, 5, std::string(300, 'n').c_str(), false);
  TIOParamsVals p(nullptr);
  const std::vector<Byte> bytes = WritePsd(merged, p, layers);
  const std::string path = dir + "/layers.psd";
  WriteFileBytes(path, bytes);
  // "sticky": six characters and no mask make 15 bytes of extra data, padded with one byte.
  const std::string sticky = "\x06sticky";
  const auto at = std::search(bytes.begin(), bytes.end(), sticky.begin(), sticky.end());
  ASSERT_NE(at, bytes.end());
  EXPECT_EQ(*(at + 7), 1);
  EXPECT_EQ(testsupport::RunOk("identify -format '%wx%h%X%Y;' " + ShellQuote(path)), "12x9+0+0;12x9+0+0;5x4+3+2;4x3+7+5;");
  TRead back;
  ReadPsd(bytes, back, true);
  ASSERT_FALSE(back.Probe.Failed()) << back.Probe.Reason;
  ASSERT_EQ(back.Layers.size(), 4u);
  EXPECT_TRUE(back.Layers[2]->MaskLayer);
  EXPECT_FALSE(back.Layers[2]->Visible);
  EXPECT_EQ(back.Layers[1]->LayerName, "sticky");
  EXPECT_EQ(back.Layers[1]->Opacity, 180);
  EXPECT_EQ(back.Layers[3]->LayerName, std::string(255, 'n'));
  EXPECT_EQ(MaxDifference(*back.Layers[2]->Bitmap, *layers[2]->Bitmap), 0);
  for (size_t i : {size_t(0), size_t(1), size_t(3)}) {
    SCOPED_TRACE(i);
    EXPECT_EQ(back.Layers[i]->PosX, layers[i]->PosX);
    EXPECT_EQ(MaxDifference(*back.Layers[i]->Bitmap, *layers[i]->Bitmap), 0);
    const Integer tool = i == 0 ? 1 : i == 1 ? 2 : 3;
    const TPam pam = PamFromCommand("convert " + ShellQuote(path) + "[" + std::to_string(tool) + "] -depth 8 PAM:-");
    // ImageMagick folds the layer's opacity and mask into its alpha: the alpha is compared
    // where neither is there.
    EXPECT_EQ(MaxDifference(*back.Layers[i]->Bitmap, pam, i != 1), 0);
  }
  testsupport::RemoveTree(dir);
}

TEST(PsdWriter, PaletteThumbnailAndRefusals) {
  TIEBitmap pal;
  pal.Allocate(4, 2, ie8p);
  for (Integer i = 0; i < 256; ++i) pal.SetPaletteEntry(i, IECreateRGB(Byte(i), Byte(i / 2), 9));
  for (Integer x = 0; x < 4; ++x) {
    pal.SetPixelByte(x, 0, Byte(x * 20));
    pal.SetPixelByte(x, 1, Byte(x * 20 + 1));
  }
  TIOParamsVals p(nullptr);
  p.XMP = "<xmp/>";
  TIEBitmap* small = p.GetExifBitmap();
  small->Allocate(16, 12, ie24RGB);
  for (Integer y = 0; y < 12; ++y)
    for (Integer x = 0; x < 16; ++x) small->SetPixelRGB(x, y, IECreateRGB(Byte(x * 8), Byte(y * 8), 100));
  TIEPSDLayers none;
  std::vector<Byte> bytes = WritePsd(pal, p, none);
  EXPECT_EQ(bytes[25], 2);
  const std::string transparent = "8BIM\x04\x17";
  EXPECT_NE(std::search(bytes.begin(), bytes.end(), transparent.begin(), transparent.end()), bytes.end());
  TRead back;
  ReadPsd(bytes, back, false, true);
  ASSERT_FALSE(back.Probe.Failed()) << back.Probe.Reason;
  EXPECT_EQ(back.Params.XMP, "<xmp/>");
  EXPECT_EQ(MaxDifference(back.Bitmap, pal), 0);
  ASSERT_TRUE(back.Params.ExifBitmap);
  EXPECT_EQ(back.Params.ExifBitmap->GetWidth(), 16);
  EXPECT_LE(MaxDifference(*back.Params.ExifBitmap, *p.ExifBitmap), 8);
  // Asked for the thumbnail, the read gives it in place of the image.
  TRead thumb;
  thumb.Params.SetGetExifThumbnail(true);
  ReadPsd(bytes, thumb);
  ASSERT_FALSE(thumb.Probe.Failed()) << thumb.Probe.Reason;
  EXPECT_EQ(thumb.Bitmap.GetWidth(), 16);
  // An image that shows index 255 does not call it transparent: read back, it stays opaque.
  pal.SetPixelByte(0, 0, 255);
  TIOParamsVals plain(nullptr);
  bytes = WritePsd(pal, plain, none);
  EXPECT_EQ(std::search(bytes.begin(), bytes.end(), transparent.begin(), transparent.end()), bytes.end());
  TRead opaque;
  ReadPsd(bytes, opaque, false, true);
  EXPECT_FALSE(opaque.Bitmap.HasAlphaChannel());

  for (TIEPixelFormat f : {ie32f, ieNull}) {
    TIEBitmap b;
    if (f != ieNull) b.Allocate(2, 2, f);
    TProgressProbe probe;
    TMemoryStream m;
    WritePSDStream(&m, plain, probe.Progress, &b, none);
    EXPECT_TRUE(probe.Failed());
    EXPECT_FALSE(probe.Reason.empty());
    EXPECT_EQ(m.Size(), 0);
  }
}

// Found by fuzzing: a channel's claimed size overflowed 64 bits in the check against the input.
TEST(Corpus, PsdFuzzFindings) {
  ReplayFuzzFindings("psd", [](const std::vector<Byte>& data, size_t) -> TCorpusResult {
    TRead r;
    ReadPsd(data, r, false);
    return CorpusOutcome(r);
  });
}

TEST(Corpus, PsdReader) {
  const size_t reads = ReplayCorpus("psd", [](const std::vector<Byte>& data, size_t) -> TCorpusResult {
    TRead r;
    ReadPsd(data, r, true);
    if (r.Probe.Failed()) return {false, r.Probe.Reason};
    for (auto& l : r.Layers)
      for (Integer y = 0; y < l->Bitmap->GetHeight(); ++y) (void)l->Bitmap->GetPixelAsRGB(l->Bitmap->GetWidth() - 1, y);
    TRead flat;
    ReadPsd(data, flat, false);
    return CorpusOutcome(flat);
  });
  EXPECT_GT(reads, 100u);
}

}  // namespace
