// The JPEG codec against libjpeg's own tools and ImageMagick: files from cjpeg with its options
// and from ImageMagick (CMYK, density units) decode equal to djpeg; what we write is read by
// djpeg and identify with its markers in order; sizes, scaling, resolution, truncation and a
// full disk behave as users need.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_icc.h"
#include "imaging/core/ie_markers.h"
#include "imaging/formats/ie_color_convert.h"
#include "imaging/formats/jpeg/ie_jpeg.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/imaging/support/ie_stores.h"
#include "tests/imaging/support/plain_cmyk.h"

using namespace ietest;
using testsupport::Fixture;
using testsupport::RunOk;
using testsupport::ShellQuote;

namespace {

const std::string kMake = std::string("python3 ") + CLAVORNE_SOURCE_DIR + "/tests/imaging/formats/tools/make_netpbm.py ";
const std::string kIcc = "/usr/share/color/icc/ghostscript/srgb.icc";

std::string Photo(Integer W, Integer H) {
  return Fixture("jpeg-src-" + std::to_string(W) + "x" + std::to_string(H) + ".ppm",
                 kMake + "rgb " + std::to_string(W) + " " + std::to_string(H) + " 255 0 {out}");
}

struct TRead {
  TIEBitmap Bitmap;
  TIOParamsVals Params{nullptr};
  TProgressProbe Probe;
  Integer Rows = 0;
};

void ReadJpeg(const std::vector<Byte>& Data, TRead& R, bool Preview = false, bool Native = false) {
  TMemoryStream m;
  FillStream(m, Data);
  R.Rows = ReadJPEGStream(&m, nullptr, &R.Bitmap, R.Params, R.Probe.Progress, Preview, false, true, false, true, true,
                          -1, Native);
}

struct TJpegCase {
  std::string Name;
  std::string Recipe;
};

// Files of other writers decode as djpeg decodes them (same library, same defaults: equal).
TEST(JpegReader, ForeignFilesDecodeEqualToDjpeg) {
  const std::string src = Photo(61, 47);
  const std::string cjpeg = "cjpeg ";
  const std::vector<TJpegCase> cases = {
      {"baseline", cjpeg + "-quality 85"},
      {"grayscale", cjpeg + "-grayscale"},
      {"progressive", cjpeg + "-progressive"},
      {"optimize", cjpeg + "-optimize"},
      {"sample1x1", cjpeg + "-sample 1x1"},
      {"sample2x1", cjpeg + "-sample 2x1"},
      {"restart", cjpeg + "-restart 1"},
      {"icc", cjpeg + "-icc " + kIcc},
      {"rgb", cjpeg + "-rgb"},
  };
  for (const TJpegCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string jpg = Fixture("jpeg-cjpeg-" + c.Name + ".jpg", c.Recipe + " " + ShellQuote(src) + " > {out}");
    const TPam pam = PamFromCommand("djpeg " + ShellQuote(jpg));
    ForEachStore([&](Store, StoreScope& scope) {
      TRead r;
      scope.Prepare(r.Bitmap);
      ReadJpeg(ReadWholeFile(jpg), r);
      ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
      EXPECT_EQ(r.Rows, 47);
      EXPECT_EQ(r.Bitmap.GetPixelFormat(), ie24RGB);
      EXPECT_EQ(MaxDifference(r.Bitmap, pam), 0);
      EXPECT_EQ(r.Params.JpegProgressive, c.Name == "progressive");
      if (c.Name == "icc") {
        ASSERT_TRUE(r.Params.EmbeddedICCProfile);
        EXPECT_EQ(r.Params.EmbeddedICCProfile->RawLength(), Integer(ReadWholeFile(kIcc).size()));
        EXPECT_TRUE(r.Params.EmbeddedICCProfile->IsValid());
      }
    });
  }
}

// ImageMagick's CMYK JPEG (Adobe, inverted samples) and its density in centimetres.
TEST(JpegReader, CmykAndDensityFromImageMagick) {
  // ImageMagick's -colorspace conversions are the plain formula, without profiles.
  const TCMYKProfileUse formula(false);
  const std::string src = Photo(33, 21);
  const std::string cmyk = Fixture("jpeg-im-cmyk.jpg", "convert " + ShellQuote(src) + " -colorspace CMYK -quality 95 {out}");
  TRead r;
  ReadJpeg(ReadWholeFile(cmyk), r);
  ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
  EXPECT_EQ(r.Params.JpegColorSpace, 4) << "ImageMagick stores CMYK as YCCK";
  EXPECT_EQ(r.Params.SamplesPerPixel, 4);
  EXPECT_LE(MaxDifference(r.Bitmap, PamFromCommand("convert " + ShellQuote(cmyk) + " -colorspace sRGB PPM:-")), 2);

  // Kept as CMYK in every store that holds it; the framework bitmap holds none, and says so.
  const TPam rgb = PamFromCommand("convert " + ShellQuote(cmyk) + " -colorspace sRGB PPM:-");
  ForEachStore([&](Store s, StoreScope& scope) {
    TRead native;
    scope.Prepare(native.Bitmap);
    ReadJpeg(ReadWholeFile(cmyk), native, false, true);
    if (s == Store::TBitmap) {
      EXPECT_TRUE(native.Probe.Failed());
      EXPECT_EQ(native.Probe.Reason, "ieCMYK pixel format not allowed when Location=ieTBitmap");
      EXPECT_TRUE(native.Bitmap.IsEmpty());
      return;
    }
    ASSERT_FALSE(native.Probe.Failed()) << native.Probe.Reason;
    ASSERT_EQ(native.Bitmap.GetPixelFormat(), ieCMYK);
    EXPECT_LE(MaxDifference(native.Bitmap, rgb), 2);
  });

  const std::string cm = Fixture("jpeg-im-cm100.jpg", "convert " + ShellQuote(src) + " -units PixelsPerCentimeter -density 100 {out}");
  TRead d;
  ReadJpeg(ReadWholeFile(cm), d, true);
  EXPECT_EQ(d.Params.DpiX, 254);
  EXPECT_EQ(d.Params.DpiY, 254);

  // No JFIF marker (and no EXIF): 1 x 1 as the file says nothing.
  std::vector<Byte> bare = ReadWholeFile(Fixture("jpeg-cjpeg-baseline.jpg", "cjpeg -quality 85 " + ShellQuote(Photo(61, 47)) + " > {out}"));
  ASSERT_EQ(bare[3], 0xE0);
  const size_t app0 = 4 + (size_t(bare[4]) << 8 | bare[5]);
  bare.erase(bare.begin() + 2, bare.begin() + static_cast<long>(app0));
  TRead nojfif;
  ReadJpeg(bare, nojfif, true);
  EXPECT_EQ(nojfif.Params.DpiX, 1);
}

TEST(JpegReader, GreyNativeAndScaling) {
  const std::string grey = Fixture("jpeg-cjpeg-grayscale.jpg", "cjpeg -grayscale " + ShellQuote(Photo(61, 47)) + " > {out}");
  const TPam greyPam = PamFromCommand("djpeg " + ShellQuote(grey));
  ForEachStore([&](Store, StoreScope& scope) {
    TRead g;
    scope.Prepare(g.Bitmap);
    ReadJpeg(ReadWholeFile(grey), g, false, true);
    ASSERT_EQ(g.Bitmap.GetPixelFormat(), ie8g);
    EXPECT_EQ(MaxDifference(g.Bitmap, greyPam), 0);
  });

  // 2000 x 1500 asked for 300 x 200 at scale 0: 1/4 is the smallest that covers it.
  const std::string big = Fixture("jpeg-2000x1500.jpg", "convert -size 2000x1500 gradient:red-blue {out}");
  TRead s;
  s.Params.JpegScale = 0;
  s.Params.Width = 300;
  s.Params.Height = 200;
  ReadJpeg(ReadWholeFile(big), s);
  ASSERT_FALSE(s.Probe.Failed()) << s.Probe.Reason;
  EXPECT_EQ(s.Bitmap.GetWidth(), 500);
  EXPECT_EQ(s.Bitmap.GetHeight(), 375);
  EXPECT_EQ(s.Params.JpegScaleUsed, 4);
  EXPECT_EQ(s.Params.OriginalWidth, 2000);
  EXPECT_EQ(MaxDifference(s.Bitmap, PamFromCommand("djpeg -scale 1/4 " + ShellQuote(big))), 0);

  TRead p;
  p.Params.JpegScale = 2;
  p.Bitmap.Allocate(2, 2, ie24RGB);
  ReadJpeg(ReadWholeFile(big), p, true);
  EXPECT_EQ(p.Params.Width, 2000);
  EXPECT_EQ(p.Params.Height, 1500);
  EXPECT_EQ(p.Params.JpegScaleUsed, 2);
  EXPECT_EQ(p.Bitmap.GetWidth(), 2) << "a preview leaves the bitmap alone";
  EXPECT_EQ(p.Rows, 0);
}

// The start is searched for within 150 bytes; damaged and truncated data end with the abort
// flag and a reason; a cancel from the progress handler stops the read.
TEST(JpegReader, StartSearchTruncationAndCancel) {
  const std::vector<Byte> jpg = ReadWholeFile(Fixture("jpeg-cjpeg-progressive.jpg", "cjpeg -progressive " + ShellQuote(Photo(61, 47)) + " > {out}"));
  for (size_t lead : {size_t(149), size_t(150)}) {
    std::vector<Byte> data(lead, 0x20);
    data.insert(data.end(), jpg.begin(), jpg.end());
    TRead r;
    ReadJpeg(data, r);
    EXPECT_EQ(r.Probe.Failed(), lead == 150) << lead;
  }
  const std::vector<Byte> baseline = ReadWholeFile(Fixture("jpeg-cjpeg-baseline.jpg", "cjpeg -quality 85 " + ShellQuote(Photo(61, 47)) + " > {out}"));
  for (const auto* source : {&jpg, &baseline}) {
    for (size_t cut : {size_t(0), size_t(10), source->size() / 2, source->size() - 40}) {
      SCOPED_TRACE(cut);
      TRead r;
      ReadJpeg(std::vector<Byte>(source->begin(), source->begin() + static_cast<long>(cut)), r);
      EXPECT_TRUE(r.Probe.Failed());
      EXPECT_FALSE(r.Probe.Reason.empty());
    }
  }
  TRead cancel;
  cancel.Probe.Progress.OnProgress = [&](TObject*, Integer per) {
    cancel.Probe.Reports.push_back(per);
    if (per >= 30) cancel.Probe.Aborting = true;
  };
  ReadJpeg(baseline, cancel);
  EXPECT_TRUE(cancel.Probe.Failed());
  EXPECT_LT(cancel.Rows, 47);
  for (size_t i = 1; i < cancel.Probe.Reports.size(); ++i) EXPECT_GT(cancel.Probe.Reports[i], cancel.Probe.Reports[i - 1]);

  // A JPEG followed by other data measures to its end-of-image marker.
  TMemoryStream m;
  std::vector<Byte> padded = baseline;
  padded.insert(padded.end(), 300, 0xAB);
  FillStream(m, padded);
  EXPECT_EQ(GetJPEGStreamLength(&m), Integer(baseline.size()));
  EXPECT_EQ(m.Position(), 0);
}

// A scan cut short or garbled inside a file whose end-of-image marker is still there: the rows
// are kept as djpeg shows them, but the read fails with djpeg's own warning as the reason.
TEST(JpegReader, DamagedScanBeforeTheEndMarkerIsReported) {
  const std::string dir = testsupport::MakeTempDir("jpegdamage");
  const std::string photo = ShellQuote(Photo(61, 47));
  struct TDamage {
    const char* Name;
    std::string Recipe;
    bool Cut;  // cut the scan in the middle; otherwise garble bytes in its middle
  };
  const TDamage cases[] = {
      {"baseline cut", "cjpeg -quality 85 " + photo + " > {out}", true},
      {"progressive cut", "cjpeg -progressive " + photo + " > {out}", true},
      {"restarts garbled", "cjpeg -restart 1 " + photo + " > {out}", false},
  };
  for (const TDamage& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<Byte> jpg = ReadWholeFile(Fixture(std::string("jpeg-damage-") + c.Name + ".jpg", c.Recipe));
    ASSERT_GT(jpg.size(), 400u);
    // The middle of the first scan's entropy-coded bytes (up to the first marker other than a
    // restart marker).
    size_t scan = 2;
    while (scan + 4 < jpg.size() && !(jpg[scan] == 0xFF && jpg[scan + 1] == 0xDA)) scan += 2 + (size_t(jpg[scan + 2]) << 8 | jpg[scan + 3]);
    ASSERT_LT(scan + 4, jpg.size());
    const size_t data = scan + 2 + (size_t(jpg[scan + 2]) << 8 | jpg[scan + 3]);
    size_t end = data;
    while (end + 1 < jpg.size() && !(jpg[end] == 0xFF && jpg[end + 1] != 0 && (jpg[end + 1] & 0xF8) != 0xD0)) ++end;
    ASSERT_GT(end, data + 40);
    const size_t middle = data + (end - data) / 2;
    if (c.Cut) {
      jpg.resize(middle);
      jpg.push_back(0xFF);
      jpg.push_back(0xD9);
    } else {
      // Stuffed FF 00 pairs: a run of one-bits, which no Huffman code of the tables is.
      for (size_t i = middle; i < middle + 16; ++i) jpg[i] = (i - middle) % 2 ? 0x00 : 0xFF;
    }
    const std::string path = dir + "/damaged.jpg";
    WriteFileBytes(path, jpg);
    std::string warning;
    testsupport::Run("djpeg -pnm " + ShellQuote(path) + " 2>&1 >/dev/null", &warning);
    ASSERT_NE(warning.find("Corrupt JPEG data"), std::string::npos) << warning;
    warning = warning.substr(warning.find("Corrupt JPEG data"));
    warning = warning.substr(0, warning.find('\n'));

    TRead r;
    ReadJpeg(jpg, r);
    EXPECT_TRUE(r.Probe.Failed());
    EXPECT_NE(r.Probe.Reason.find(warning), std::string::npos) << r.Probe.Reason << " / djpeg: " << warning;
    EXPECT_EQ(r.Rows, 47);
    EXPECT_EQ(MaxDifference(r.Bitmap, PamFromCommand("{ djpeg -pnm " + ShellQuote(path) + " 2>/dev/null || true; }")), 0);
  }
  testsupport::RemoveTree(dir);
}

// Markers in the order the writer puts them: SOI, its own JFIF, the sorted list (ICC chunks by
// number, comments last), never an APP14 from the list.
std::vector<Byte> MarkerCodes(const std::vector<Byte>& J) {
  std::vector<Byte> codes;
  size_t p = 2;
  while (p + 4 <= J.size() && J[p] == 0xFF && J[p + 1] != 0xDA) {
    codes.push_back(J[p + 1]);
    p += 2 + (size_t(J[p + 2]) << 8 | J[p + 3]);
  }
  return codes;
}

std::vector<Byte> WriteJpeg(TIEBitmap& B, TIOParamsVals& P) {
  TProgressProbe probe;
  TMemoryStream m;
  WriteJPEGStream(&m, &B, P, probe.Progress);
  EXPECT_FALSE(probe.Failed()) << probe.Reason;
  return StreamBytes(m);
}

void Gradient(TIEBitmap& B, Integer W, Integer H) {
  B.Allocate(W, H, ie24RGB);
  for (Integer y = 0; y < H; ++y)
    for (Integer x = 0; x < W; ++x)
      B.SetPixelRGB(x, y, IECreateRGB(Byte(x * 255 / std::max(W - 1, 1)), Byte(y * 255 / std::max(H - 1, 1)), 90));
}

// With colour management on, rows go through the embedded profile to sRGB as ImageMagick's
// -profile takes them, for YCbCr and RGB files alike; the transform and the ICC markers are
// dropped afterwards, so a save does not tag converted pixels with the old profile.
TEST(JpegReader, EmbeddedProfileAppliedToTheRows) {
  const std::string a98 = "/usr/share/color/icc/ghostscript/a98.icc";
  const std::string src = Photo(61, 47);
  const bool saved = IEEnableCMS;
  IEEnableCMS = true;
  for (const std::string& options : {std::string("-sample 1x1"), std::string("-rgb")}) {
    SCOPED_TRACE(options);
    const std::string jpg = Fixture("jpeg-icc-a98" + std::string(options == "-rgb" ? "-rgb" : "") + ".jpg",
                                    "cjpeg -quality 95 " + options + " -icc " + a98 + " " + ShellQuote(src) + " > {out}");
    TRead r;
    // ImageMagick's target is the sRGB profile file; the same one stands in for the system's.
    const std::vector<Byte> srgb = ReadWholeFile(kIcc);
    r.Params.GetSystemICCProfile()->LoadFromBuffer(srgb.data(), Integer(srgb.size()));
    ReadJpeg(ReadWholeFile(jpg), r);
    ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
    // Equal but for the colours a98 holds and sRGB does not: where they are clipped, the
    // engine's 8-bit table and ImageMagick's 16-bit path land a few steps apart.
    const TPam im = PamFromCommand("convert " + ShellQuote(jpg) + " -profile " + kIcc + " ppm:-");
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
    EXPECT_GT(MaxDifference(r.Bitmap, PamFromCommand("djpeg " + ShellQuote(jpg))), 20) << "the profile did something";
    EXPECT_FALSE(r.Params.EmbeddedICCProfile->HasTransform());
    for (Integer i = 0; i < r.Params.JpegMarkerList->Count(); ++i) EXPECT_NE(r.Params.JpegMarkerList->MarkerType(i), 0xE2);
  }
  IEEnableCMS = saved;
}

// A datastream split as JPEG-compressed TIFF strips carry it: the tables in a stream of their
// own, the image without them. With the tables it decodes as the whole file does; without
// them it fails; damaged tables raise to the caller.
TEST(JpegReader, TablesFromASeparateStream) {
  const std::string whole = Fixture("jpeg-cjpeg-baseline.jpg", "cjpeg -quality 85 " + ShellQuote(Photo(61, 47)) + " > {out}");
  const std::vector<Byte> jpg = ReadWholeFile(whole);
  std::vector<Byte> tables = {0xFF, 0xD8}, image = {0xFF, 0xD8};
  size_t at = 2;
  while (at + 4 <= jpg.size() && jpg[at] == 0xFF && jpg[at + 1] != 0xDA) {
    const size_t len = 2 + (size_t(jpg[at + 2]) << 8 | jpg[at + 3]);
    std::vector<Byte>& into = (jpg[at + 1] == 0xDB || jpg[at + 1] == 0xC4) ? tables : image;
    into.insert(into.end(), jpg.begin() + long(at), jpg.begin() + long(at + len));
    at += len;
  }
  image.insert(image.end(), jpg.begin() + long(at), jpg.end());
  tables.insert(tables.end(), {0xFF, 0xD9});
  ASSERT_GT(tables.size(), 100u);

  auto read = [](const std::vector<Byte>& Image, const std::vector<Byte>* Tables, TRead& R) {
    TMemoryStream m, t;
    FillStream(m, Image);
    if (Tables) FillStream(t, *Tables);
    R.Rows = ReadJPEGStream(&m, Tables ? &t : nullptr, &R.Bitmap, R.Params, R.Probe.Progress, false, false, false,
                            true, false, true, -1, false);
  };
  TRead with;
  read(image, &tables, with);
  ASSERT_FALSE(with.Probe.Failed()) << with.Probe.Reason;
  EXPECT_EQ(with.Rows, 47);
  EXPECT_EQ(MaxDifference(with.Bitmap, PamFromCommand("djpeg " + ShellQuote(whole))), 0);

  TRead without;
  read(image, nullptr, without);
  EXPECT_TRUE(without.Probe.Failed());
  EXPECT_FALSE(without.Probe.Reason.empty());

  std::vector<Byte> damaged = tables;
  damaged[5] = 1;  // the first table's length is below its own length field
  TRead bad;
  EXPECT_THROW(read(image, &damaged, bad), EIEJpegError);
  EXPECT_TRUE(bad.Probe.Failed());
}

TEST(JpegWriter, ReadByDjpegAndIdentifyWithMarkersInOrder) {
  ForEachStore([](Store, StoreScope& scope) {
    TIEBitmap b;
    scope.Prepare(b);
    Gradient(b, 40, 24);
    TIOParamsVals p(nullptr);
    p.JpegQuality = 90;
    p.DpiX = 96;
    p.DpiY = 72;
    const char comment[] = "sheet 1";
    const Byte app14[] = {'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, 1};
    std::vector<Byte> icc1 = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, 1, 2, 'a', 'b'};
    std::vector<Byte> icc2 = icc1;
    icc2[12] = 2;
    p.JpegMarkerList->AddMarker(0xFE, comment, sizeof comment - 1);
    p.JpegMarkerList->AddMarker(0xE2, icc2.data(), Word(icc2.size()));
    p.JpegMarkerList->AddMarker(0xEE, app14, sizeof app14);
    p.JpegMarkerList->AddMarker(0xE2, icc1.data(), Word(icc1.size()));
    const std::vector<Byte> jpg = WriteJpeg(b, p);
    const std::vector<Byte> codes = MarkerCodes(jpg);
    ASSERT_GE(codes.size(), 4u);
    EXPECT_EQ((std::vector<Byte>(codes.begin(), codes.begin() + 4)), (std::vector<Byte>{0xE0, 0xE2, 0xE2, 0xFE}));
    const size_t firstIcc = 2 + 18 + 4;  // after SOI, JFIF and the APP2 marker and length
    EXPECT_EQ(jpg[firstIcc + 12], 1) << "ICC chunk 1 first";

    const std::string dir = testsupport::MakeTempDir("jpegw");
    const std::string path = dir + "/out.jpg";
    WriteFileBytes(path, jpg);
    TRead ours;
    ReadJpeg(jpg, ours);
    EXPECT_EQ(MaxDifference(ours.Bitmap, PamFromCommand("djpeg " + ShellQuote(path))), 0);
    EXPECT_LE(MaxDifference(b, ours.Bitmap), 12);
    EXPECT_EQ(RunOk("identify -format '%w %h %x %y %[colorspace]' " + ShellQuote(path)), "40 24 96 72 sRGB");
    const std::string v3 = RunOk("exiftool -v3 " + ShellQuote(path));
    EXPECT_LT(v3.find("JPEG APP0"), v3.find("JPEG APP2"));
    EXPECT_LT(v3.find("JPEG APP2"), v3.find("JPEG COM"));
    EXPECT_EQ(v3.find("APP14"), std::string::npos);
    testsupport::RemoveTree(dir);
  });
}

TEST(JpegWriter, ColourSpacesOptionsAndSources) {
  // CMYK round trips through the formula: a printer profile compresses the gradient's bright
  // colours into what ink can print.
  const TCMYKProfileUse formula(false);
  TIEBitmap b;
  Gradient(b, 33, 17);
  struct TCase {
    Byte Space;
    bool Jfif, Adobe;  // libjpeg marks RGB with an Adobe marker and no JFIF header
    Integer Components;
  };
  for (TCase c : {TCase{0, false, true, 3}, {1, true, false, 1}, {2, true, false, 3}, {3, true, true, 4}, {4, false, true, 4}}) {
    SCOPED_TRACE(int(c.Space));
    TIOParamsVals p(nullptr);
    p.JpegColorSpace = c.Space;
    p.JpegProgressive = c.Space == 2;
    p.JpegOptimalHuffman = true;
    const std::vector<Byte> jpg = WriteJpeg(b, p);
    const std::vector<Byte> codes = MarkerCodes(jpg);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 0xE0) > 0, c.Jfif);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 0xEE) > 0, c.Adobe);
    TRead r;
    ReadJpeg(jpg, r);
    ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
    EXPECT_EQ(r.Params.SamplesPerPixel, c.Components);
    EXPECT_EQ(r.Params.JpegColorSpace, c.Space);
    if (c.Space != 1) {
      EXPECT_LE(MaxDifference(r.Bitmap, b), 12);
    }
  }
  // A 1-bit source is encoded from a 24-bit copy; the caller's bitmap is unchanged.
  TIEBitmap mono;
  mono.Allocate(9, 9, ie1g);
  mono.Fill(1);
  TIOParamsVals p(nullptr);
  p.DpiX = p.DpiY = 0;
  const std::vector<Byte> jpg = WriteJpeg(mono, p);
  EXPECT_EQ(mono.GetPixelFormat(), ie1g);
  TRead r;
  ReadJpeg(jpg, r, true);
  EXPECT_EQ(r.Params.DpiX, IEGlobalDefaultDpiX);
  // A first APP0 is dropped on reading (the writer makes its own); a second one is kept.
  const Byte jfxx[] = {'J', 'F', 'X', 'X', 0, 0x13};
  TIOParamsVals q(nullptr);
  q.JpegMarkerList->AddMarker(0xE0, jfxx, sizeof jfxx);
  TIEBitmap small;
  Gradient(small, 8, 8);
  TRead back;
  ReadJpeg(WriteJpeg(small, q), back);
  ASSERT_EQ(back.Params.JpegMarkerList->Count(), 1);
  EXPECT_EQ(back.Params.JpegMarkerList->MarkerType(0), 0xE0);
}

TEST(JpegWriter, FullDiskAndEmptyImageFail) {
  TIEBitmap b;
  Gradient(b, 400, 300);
  TIOParamsVals p(nullptr);
  p.JpegQuality = 100;
  TProgressProbe probe;
  {
    TFileStream f(AnsiString("/dev/full"), fmOpenWrite);
    WriteJPEGStream(&f, &b, p, probe.Progress);
  }
  EXPECT_TRUE(probe.Failed());
  EXPECT_FALSE(probe.Reason.empty());

  TIEBitmap empty;
  TProgressProbe none;
  TMemoryStream m;
  WriteJPEGStream(&m, &empty, p, none.Progress);
  EXPECT_TRUE(none.Failed());
  EXPECT_EQ(m.Size(), 0);
}

TEST(Corpus, JpegReader) {
  const size_t reads = ReplayCorpus("jpeg", [](const std::vector<Byte>& data, size_t) -> TCorpusResult {
    TRead r;
    ReadJpeg(data, r);
    return CorpusOutcome(r);
  });
  EXPECT_GT(reads, 200u);
}

}  // namespace
