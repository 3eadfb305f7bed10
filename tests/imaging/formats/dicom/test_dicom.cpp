// The DICOM reader against dcmtk: files dcmtk writes (native in three transfer syntaxes, RLE,
// lossless JPEG with every predictor, baseline JPEG) decode to dcmtk's own samples, put through
// the reader's rescale, window and stretch; damaged files and bombs are refused with a reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/core/ie_dicom_tags.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/formats/dicom/ie_dicom.h"
#include "imaging/formats/dicom/ie_lossless_jpeg.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/imaging/support/ie_stores.h"

using namespace ietest;
using testsupport::Fixture;
using testsupport::RunOk;
using testsupport::ShellQuote;

namespace {

const std::string kMake = std::string("python3 ") + CLAVORNE_SOURCE_DIR + "/tests/imaging/formats/tools/make_dicom.py ";

struct TRead {
  TIEBitmap Bitmap;
  TIOParamsVals Params{nullptr};
  TProgressProbe Probe;
};

void ReadDicom(const std::vector<Byte>& Data, TRead& R, bool Preview = false) {
  TMemoryStream m;
  FillStream(m, Data);
  ReadDICOMStream(&m, R.Params, &R.Bitmap, R.Probe.Progress, Preview);
}

// A native source image made by the fixture script, then Transcode ("" or a dcmtk command with
// {in} and {out}) applied to it.
std::string MakeDicom(const std::string& Name, const std::string& Source, const std::string& Transcode) {
  const std::string src = Fixture("dicom-src-" + Name + ".dcm", kMake + "{out} " + Source);
  if (Transcode.empty()) return src;
  std::string recipe = Transcode;
  recipe.replace(recipe.find("{in}"), 4, ShellQuote(src));
  return Fixture("dicom-" + Name + ".dcm", recipe);
}

// dcmtk's decoded samples of a frame at their stored precision (no window): PGM or PPM.
TPam Dcmtk(const std::string& File, Integer Bits, Integer Frame = 0) {
  const std::string out = File + ".f" + std::to_string(Frame) + ".pnm";
  RunOk("dcmj2pnm +F " + std::to_string(Frame + 1) + " +opn " + std::to_string(Bits) + " " + ShellQuote(File) + " " +
        ShellQuote(out));
  return PamFromCommand("pamtopnm " + ShellQuote(out));
}

// What the reader makes of dcmtk's samples: Stretch maps the smallest to 0 and the largest to
// Top (the reader's stretch, for the paths that stretch); Shift moves 8-bit native samples of
// fewer bits stored up to the byte's top.
std::vector<Integer> Expected(const TPam& P, bool Stretch, Integer Top, Integer Shift = 0) {
  std::vector<Integer> v = P.Samples;
  for (Integer& s : v) s <<= Shift;
  if (!Stretch) return v;
  const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
  const double a = *lo, b = *hi;
  for (Integer& s : v) s = static_cast<Integer>(std::trunc((s - a) / (b - a) * Top));
  return v;
}

// The largest difference between the bitmap and Want (samples of Pam's layout at Top = 255 or
// 65535); a framework bitmap holds 8-bit colour, compared with the top byte of wide samples.
Integer Difference(TIEBitmap& B, const TPam& P, const std::vector<Integer>& Want, Integer Top) {
  EXPECT_EQ(B.GetWidth(), P.Width);
  EXPECT_EQ(B.GetHeight(), P.Height);
  if (B.GetWidth() != P.Width || B.GetHeight() != P.Height) return 1 << 20;
  Integer worst = 0;
  for (Integer y = 0; y < P.Height; ++y)
    for (Integer x = 0; x < P.Width; ++x)
      for (Integer c = 0; c < P.Depth; ++c) {
        const Integer want = Want[(static_cast<size_t>(y) * P.Width + x) * P.Depth + c];
        Integer got;
        const TIEPixelFormat f = B.GetPixelFormat();
        if (f == ie16g) {
          got = reinterpret_cast<const Word*>(B.GetScanline(y))[x];
          worst = std::max(worst, std::abs(got - want));
          continue;
        }
        const TRGB rgb = B.GetPixelAsRGB(x, y);
        got = P.Depth == 3 ? (c == 0 ? rgb.r : c == 1 ? rgb.g : rgb.b) : rgb.g;
        worst = std::max(worst, std::abs(got - (Top > 255 ? want >> 8 : want)));
      }
  return worst;
}

struct TCase {
  std::string Name, Source, Transcode;
  Integer Bits;      // dcmtk's output precision
  bool Stretch;      // the reader stretches this kind
  Integer Tolerance;
  Integer Shift = 0;
};

void CheckCases(const std::vector<TCase>& Cases) {
  for (const TCase& c : Cases) {
    SCOPED_TRACE(c.Name);
    const std::string file = MakeDicom(c.Name, c.Source, c.Transcode);
    const TPam pam = Dcmtk(file, c.Bits);
    const Integer top = c.Bits > 8 ? 65535 : 255;
    const std::vector<Integer> want = Expected(pam, c.Stretch, top, c.Shift);
    ForEachStore([&](Store, StoreScope& scope) {
      TRead r;
      scope.Prepare(r.Bitmap);
      ReadDicom(ReadWholeFile(file), r);
      ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
      EXPECT_LE(Difference(r.Bitmap, pam, want, top), c.Tolerance);
    });
  }
}

// Small images keep the fragment store's rows short.
const std::string kGrey8 = "13 7 bits=8", kGrey12 = "13 7 bits=12", kGrey16 = "13 7 bits=16", kRGB = "13 7 spp=3";

TEST(DicomReader, NativeAndRLEFilesDecodeAsDcmtkDoes) {
  std::vector<TCase> cases = {
      {"n8", kGrey8, "", 8, false, 0},
      {"n6", "13 7 bits=6", "", 6, false, 0, 2},
      {"n12", kGrey12, "", 12, true, 0},
      {"n16", kGrey16, "", 16, true, 0},
      {"nrgb", kRGB, "", 8, false, 0},
      {"nrgb-planar", "13 7 spp=3 planar=1", "", 8, false, 0},
      {"n8-no-preamble", "13 7 bits=8 preamble=0", "", 8, false, 0},
      {"rle8", kGrey8, "dcmcrle {in} {out}", 8, true, 0},
      {"rle12", kGrey12, "dcmcrle {in} {out}", 12, true, 0},
      {"rlergb", kRGB, "dcmcrle {in} {out}", 8, true, 0},
  };
  for (const char* ts : {"+te", "+ti", "+tb"})
    for (const auto& [kind, src, bits, stretch] :
         {std::tuple{"8", kGrey8, 8, false}, std::tuple{"12", kGrey12, 12, true}, std::tuple{"16", kGrey16, 16, true},
          std::tuple{"rgb", kRGB, 8, false}})
      cases.push_back({std::string("conv") + (ts + 1) + kind, src, std::string("dcmconv ") + ts + " {in} {out}", bits,
                       stretch, 0});
  CheckCases(cases);
}

TEST(DicomReader, LosslessJPEGWithEveryPredictorIsBitExact) {
  std::vector<TCase> cases = {
      {"e1-8", kGrey8, "dcmcjpeg +e1 {in} {out}", 8, true, 0},
      {"e1-12", kGrey12, "dcmcjpeg +e1 {in} {out}", 12, true, 0},
      {"e1-16", kGrey16, "dcmcjpeg +e1 {in} {out}", 16, true, 0},
      {"e1-rgb", kRGB, "dcmcjpeg +e1 {in} {out}", 8, false, 0},
      {"el-pt2-12", kGrey12, "dcmcjpeg +el +sv 4 +pt 2 {in} {out}", 12, true, 0},
  };
  for (Integer sv = 1; sv <= 7; ++sv) {
    const std::string opt = "dcmcjpeg +el +sv " + std::to_string(sv) + " {in} {out}";
    cases.push_back({"el" + std::to_string(sv) + "-12", kGrey12, opt, 12, true, 0});
    cases.push_back({"el" + std::to_string(sv) + "-16", kGrey16, opt, 16, true, 0});
    cases.push_back({"el" + std::to_string(sv) + "-rgb", kRGB, opt, 8, false, 0});
  }
  CheckCases(cases);
}

TEST(DicomReader, BaselineJPEGWithinTheJPEGTolerance) {
  // img2dcm wraps a JPEG as it is; dcmcjpeg +eb encodes the native image.
  const std::string jpgGrey = Fixture("dicom-grey.jpg", "convert -size 24x16 gradient:black-white -quality 90 {out}");
  const std::string jpgRGB = Fixture("dicom-rgb.jpg", "convert -seed 3 -size 24x16 plasma:fractal -quality 90 {out}");
  const std::vector<std::pair<std::string, std::string>> files = {
      {"img2dcm-grey", Fixture("dicom-img2dcm-grey.dcm", "img2dcm " + ShellQuote(jpgGrey) + " {out}")},
      {"img2dcm-rgb", Fixture("dicom-img2dcm-rgb.dcm", "img2dcm " + ShellQuote(jpgRGB) + " {out}")},
      {"eb-grey", MakeDicom("eb-grey", kGrey8, "dcmcjpeg +eb {in} {out}")},
      {"eb-rgb", MakeDicom("eb-rgb", kRGB, "dcmcjpeg +eb {in} {out}")},
  };
  for (const auto& [name, file] : files) {
    SCOPED_TRACE(name);
    const TPam pam = Dcmtk(file, 8);
    const std::vector<Integer> want = Expected(pam, pam.Depth == 1, 255);
    ForEachStore([&](Store, StoreScope& scope) {
      TRead r;
      scope.Prepare(r.Bitmap);
      ReadDicom(ReadWholeFile(file), r);
      ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
      // Two decoders of the same JPEG may differ by their inverse transforms' rounding.
      EXPECT_LE(Difference(r.Bitmap, pam, want, 255), 3);
    });
  }
}

// Frame 2 of three, and an index past the last frame, in native, RLE and lossless files (with
// and without an offset table); dcmtk's frame is the reference.
TEST(DicomReader, MultiFrameFilesGiveTheAskedFrame) {
  const std::string src = "11 6 bits=12 frames=3";
  const std::vector<std::pair<std::string, std::string>> files = {
      {"mf-native", MakeDicom("mf-native", src, "")},
      {"mf-rle", MakeDicom("mf-rle", src, "dcmcrle {in} {out}")},
      {"mf-lossless", MakeDicom("mf-lossless", src, "dcmcjpeg +el {in} {out}")},
      {"mf-lossless-no-table", MakeDicom("mf-lossless-no-table", src, "dcmcjpeg +el -ot {in} {out}")},
  };
  for (const auto& [name, file] : files) {
    SCOPED_TRACE(name);
    for (const auto& [asked, frame] : {std::pair{1, 1}, std::pair{0, 0}, std::pair{9, 2}}) {
      SCOPED_TRACE(asked);
      const TPam pam = Dcmtk(file, 12, frame);
      TRead r;
      r.Params.ImageIndex = asked;
      ReadDicom(ReadWholeFile(file), r);
      ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
      EXPECT_EQ(Difference(r.Bitmap, pam, Expected(pam, true, 65535), 65535), 0);
      EXPECT_EQ(r.Params.ImageIndex, frame);
      EXPECT_EQ(r.Params.ImageCount, 3);
    }
  }
}

// Rescale, window, stretch and inversion on crafted 16-bit files; the tag list and preview.
TEST(DicomReader, RescaleWindowStretchAndInversion) {
  struct TWin {
    std::string Name, Source;
    std::vector<Integer> Want;  // the first samples of row 0
  };
  const std::vector<TWin> cases = {
      // A CT image: signed, intercept -1024: the darkest sample becomes 0, the brightest 65535.
      {"ct", "4 1 bits=16 signed=1 intercept=-1024 pattern=values=-2000,0,1000,3000", {0, 26214, 39321, 65535}},
      // The most negative value lifts every sample, those before it too.
      {"offset", "3 1 bits=16 signed=1 pattern=values=100,-100,0", {65535, 0, 32767}},
      // A window centre of 0 is no window; a slope the text does not give is 1, not a mirror.
      {"centre0", "3 1 bits=12 centre=0 width=100 slope=none pattern=values=0,100,400", {0, 16383, 65535}},
      // A window of 100 around 150: below 100 black, above 199 white, between a ramp.
      {"window", "4 1 bits=12 centre=150\\\\300 width=100\\\\50 pattern=values=50,150,180,400", {0, 33098, 52957, 65535}},
      // MONOCHROME1 in small letters with spaces is inverted after the stretch.
      {"mono1", "3 1 bits=12 photometric=\\ monochrome1 pattern=values=0,100,400", {65535, 49152, 0}},
      // One value all over: nothing to stretch over, the samples keep their value.
      {"flat", "3 2 bits=12 pattern=flat=700", {700, 700, 700}},
      {"flat-slope0", "3 2 bits=12 slope=0 intercept=5 pattern=values=1,2,3", {5, 5, 5}},
  };
  for (const TWin& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string file = Fixture("dicom-win-" + c.Name + ".dcm", kMake + "{out} " + c.Source);
    TRead r;
    ReadDicom(ReadWholeFile(file), r);
    ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
    ASSERT_EQ(r.Bitmap.GetPixelFormat(), ie16g);
    const Word* row = reinterpret_cast<const Word*>(r.Bitmap.GetScanline(0));
    for (size_t i = 0; i < c.Want.size(); ++i) EXPECT_EQ(row[i], c.Want[i]) << "sample " << i;
  }
  // Native 8-bit grey is taken as it is: no rescale, no window, no stretch.
  TRead n8;
  ReadDicom(ReadWholeFile(Fixture("dicom-win-n8.dcm", kMake + "{out} 3 1 bits=8 slope=2 centre=10 width=4 pattern=values=20,30,40")), n8);
  ASSERT_FALSE(n8.Probe.Failed()) << n8.Probe.Reason;
  EXPECT_EQ(n8.Bitmap.GetPixelAsRGB(1, 0).g, 30);

  // The tags before the pixel data, and a preview that decodes nothing.
  const std::string file = MakeDicom("tags", "9 5 bits=12 frames=2", "dcmconv +tb {in} {out}");
  TRead p;
  ReadDicom(ReadWholeFile(file), p, true);
  ASSERT_FALSE(p.Probe.Failed()) << p.Probe.Reason;
  EXPECT_EQ(p.Bitmap.GetWidth(), 0);
  EXPECT_EQ(p.Params.Width, 9);
  EXPECT_EQ(p.Params.Height, 5);
  EXPECT_EQ(p.Params.BitsPerSample, 12);
  EXPECT_EQ(p.Params.SamplesPerPixel, 1);
  EXPECT_EQ(p.Params.ImageCount, 2);
  bool name = false, rows = false;
  for (Integer i = 0; i < p.Params.DicomTags->Count(); ++i) {
    const TIEDICOMTags::TTag& t = p.Params.DicomTags->GetTag(i);
    if (t.Group == 0x10 && t.Element == 0x10) name = std::string(reinterpret_cast<const char*>(t.Data)) == "Test^Image";
    // Big-endian data: the value is kept as the file has it.
    if (t.Group == 0x28 && t.Element == 0x10) rows = t.DataLen == 2 && t.Data[1] == 5 && std::string(t.VR, 2) == "US";
    EXPECT_FALSE(t.Group == 0x7FE0 && t.Element == 0x10);
  }
  EXPECT_TRUE(name);
  EXPECT_TRUE(rows);

  TMemoryStream m;
  FillStream(m, ReadWholeFile(file));
  m.SetPosition(0);
  EXPECT_TRUE(IsDICOM(&m));
  EXPECT_EQ(m.Position(), 0);
  FillStream(m, std::vector<Byte>(200, 0));
  EXPECT_FALSE(IsDICOM(&m));
  EXPECT_STREQ(DICOMDictionaryVR(0x0028, 0x0010), "US");
  EXPECT_STREQ(DICOMDictionaryVR(0x7FE0, 0x0010), "xs");
  EXPECT_STREQ(DICOMDictionaryVR(0xFFFE, 0xE0DD), "!!");
  EXPECT_STREQ(DICOMDictionaryVR(0x0009, 0x0001), "xs");
}

std::vector<Byte> Patched(std::vector<Byte> D, const std::vector<Byte>& Find, size_t Skip, const std::vector<Byte>& Put) {
  const auto it = std::search(D.begin(), D.end(), Find.begin(), Find.end());
  EXPECT_NE(it, D.end());
  if (it == D.end()) return D;
  std::copy(Put.begin(), Put.end(), it + static_cast<std::ptrdiff_t>(Skip));
  return D;
}

TEST(DicomReader, DamagedUnsupportedAndBombFilesFailWithAReason) {
  const std::vector<Byte> lossless = ReadWholeFile(MakeDicom("bad-ll", kGrey12, "dcmcjpeg +el {in} {out}"));
  const std::vector<Byte> native = ReadWholeFile(MakeDicom("bad-n", kGrey16, ""));
  const std::vector<Byte> rle = ReadWholeFile(MakeDicom("bad-rle", kRGB, "dcmcrle {in} {out}"));
  const std::vector<Byte> rows = {0x28, 0, 0x10, 0, 'U', 'S', 2, 0};
  const std::vector<Byte> columns = {0x28, 0, 0x11, 0, 'U', 'S', 2, 0};
  const std::vector<Byte> frames = ReadWholeFile(MakeDicom("bad-frames", "13 7 bits=16 claimframes=2000000000", ""));
  const std::vector<Byte> framesRGB = ReadWholeFile(MakeDicom("bad-frames-rgb", "13 7 spp=3 claimframes=2000000000", ""));
  const std::vector<Byte> item = {0xFE, 0xFF, 0x00, 0xE0};
  const std::vector<Byte> sof3 = {0xFF, 0xC3};
  const std::vector<Byte> ts = {2, 0, 0x10, 0, 'U', 'I'};
  auto cut = [](std::vector<Byte> D, size_t Keep) {
    D.resize(Keep);
    return D;
  };
  struct TBad {
    std::string Name;
    std::vector<Byte> Data;
    std::string Says;
  };
  const std::vector<TBad> cases = {
      {"JPEG-LS", ReadWholeFile(MakeDicom("bad-jls", kGrey12, "dcmcjpls {in} {out}")), "1.2.840.10008.1.2.4.80"},
      {"deflated", ReadWholeFile(MakeDicom("bad-deflate", kGrey8, "dcmconv +td {in} {out}")), "deflated"},
      {"no pixel data", cut(native, 300), "no pixel data"},
      {"native cut", cut(native, native.size() - 30), "too few"},
      {"huge rows", Patched(native, rows, 8, {0xFF, 0xFF}), "too few"},
      {"lossless cut", cut(lossless, lossless.size() - 200), ""},
      {"huge offset table", Patched(lossless, item, 4, {0xF0, 0xFF, 0xFF, 0x7F}), "offset table"},
      {"huge rows lossless", Patched(lossless, rows, 8, {0xFF, 0x7F}), ""},
      {"frame size differs", Patched(lossless, sof3, 5, {0x00, 0x09}), "where the file describes"},
      {"not lossless", Patched(lossless, sof3, 0, {0xFF, 0xC1}), "not lossless"},
      {"RLE segments", Patched(rle, {0x03, 0, 0, 0, 0x40, 0, 0, 0}, 0, {0x01}), "segments"},
      {"RLE offset", Patched(rle, {0x03, 0, 0, 0, 0x40, 0, 0, 0}, 4, {0xFF, 0xFF, 0, 0}), "outside"},
      {"RLE cut", cut(rle, rle.size() - 40), ""},
      {"unknown syntax", Patched(native, ts, 8, {'9'}), "not supported"},
      {"billions of frames", frames, "too few"},
      // Frame sizes times the index asked for beyond what 64 bits hold.
      {"billions of huge frames", Patched(Patched(framesRGB, rows, 8, {0x04, 0xB5}), columns, 8, {0x04, 0xB5}), "too few"},
  };
  for (const TBad& c : cases) {
    SCOPED_TRACE(c.Name);
    TRead r;
    r.Params.ImageIndex = 1999999999;
    ReadDicom(c.Data, r);
    EXPECT_TRUE(r.Probe.Failed());
    EXPECT_FALSE(r.Probe.Reason.empty());
    EXPECT_NE(r.Probe.Reason.find(c.Says), std::string::npos) << r.Probe.Reason;
  }
}

TEST(LosslessJPEG, StructuralFaultsAreRefused) {
  // A datastream of dcmtk's, taken out of its file.
  const std::vector<Byte> file = ReadWholeFile(MakeDicom("ll-raw", kGrey12, "dcmcjpeg +el +sv 1 {in} {out}"));
  const std::vector<Byte> soi = {0xFF, 0xD8, 0xFF};
  const auto start = std::search(file.begin(), file.end(), soi.begin(), soi.end());
  ASSERT_NE(start, file.end());
  const std::vector<Byte> jpeg(start, file.end() - 8);  // without the sequence delimiter
  std::vector<Byte> whole = jpeg;
  TIELosslessJPEGFrame frame;
  frame.Width = 13;
  frame.Height = 7;
  frame.Wide = true;
  Integer rowsSeen = 0;
  auto sink = [&](Integer, const Word*, const Byte*) { return ++rowsSeen, true; };
  AnsiString reason;
  ASSERT_TRUE(DecodeLosslessJPEG(whole.data(), Int64(whole.size()), frame, sink, reason)) << reason;
  EXPECT_EQ(rowsSeen, 7);

  auto patched = [&](const std::vector<Byte>& Find, size_t Skip, const std::vector<Byte>& Put) {
    return Patched(jpeg, Find, Skip, Put);
  };
  const std::vector<Byte> dht = {0xFF, 0xC4};
  const std::vector<Byte> sos = {0xFF, 0xDA};
  struct TBad {
    std::string Name;
    std::vector<Byte> Data;
    std::string Says;
  };
  const std::vector<TBad> cases = {
      {"short", std::vector<Byte>(jpeg.begin(), jpeg.begin() + 31), "too few"},
      {"too many codes", patched(dht, 5, {0x20}), "Huffman table"},
      {"table 5", patched(dht, 4, {0x05}), "table 5"},
      {"undefined table", patched(sos, 6, {0x20}), "does not define"},
      {"segment past the end", patched(dht, 2, {0xFF, 0xF0}), "runs past"},
      {"no marker", patched(dht, 0, {0x12}), "no marker"},
      {"8-bit block", jpeg, "precision"},
  };
  for (const TBad& c : cases) {
    SCOPED_TRACE(c.Name);
    TIELosslessJPEGFrame f = frame;
    if (c.Name == "8-bit block") f.Wide = false;
    AnsiString why;
    rowsSeen = 0;
    std::vector<Byte> data = c.Data;
    EXPECT_FALSE(DecodeLosslessJPEG(data.data(), Int64(data.size()), f, sink, why));
    EXPECT_EQ(rowsSeen, 0);
    EXPECT_NE(why.find(c.Says), std::string::npos) << why;
  }
  // Coded data that ends early: every row still comes, and the loss is said.
  std::vector<Byte> cut(jpeg.begin(), jpeg.end() - 60);
  bool truncated = false;
  rowsSeen = 0;
  reason.clear();
  EXPECT_TRUE(DecodeLosslessJPEG(cut.data(), Int64(cut.size()), frame, sink, reason, &truncated));
  EXPECT_TRUE(truncated);
  EXPECT_EQ(rowsSeen, 7);
}

// Restart intervals and one table shared by three components, which dcmtk does not write: a
// crafted datastream and the samples it holds.
TEST(LosslessJPEG, RestartIntervalsAndSharedTables) {
  struct TCase {
    Integer Bits, Components, Predictor, RestartRows, Tables;
  };
  const TCase cases[] = {{12, 1, 1, 2, 1}, {16, 1, 7, 3, 1}, {8, 3, 4, 1, 1}, {8, 3, 6, 2, 3}, {10, 1, 5, 0, 1}};
  for (const TCase& c : cases) {
    const std::string name = std::to_string(c.Bits) + "-" + std::to_string(c.Components) + "-" + std::to_string(c.Predictor) +
                             "-" + std::to_string(c.RestartRows) + "-" + std::to_string(c.Tables);
    SCOPED_TRACE(name);
    const std::string base = "ljpeg-" + name;
    const std::string args = " 11 7 " + std::to_string(c.Bits) + " " + std::to_string(c.Components) + " " +
                             std::to_string(c.Predictor) + " " + std::to_string(c.RestartRows) + " " + std::to_string(c.Tables);
    const std::string tool = std::string("python3 ") + CLAVORNE_SOURCE_DIR + "/tests/imaging/formats/tools/make_ljpeg.py ";
    const std::string jpeg = Fixture(base + ".jpg", tool + "{out} /dev/null" + args);
    const TPam pam = ReadPamFile(Fixture(base + ".pnm", tool + "/dev/null {out}" + args));
    std::vector<Byte> data = ReadWholeFile(jpeg);
    TIELosslessJPEGFrame frame;
    frame.Width = 11;
    frame.Height = 7;
    frame.Components = c.Components;
    frame.Wide = c.Bits > 8;
    Integer worst = 0, rows = 0;
    AnsiString reason;
    const bool ok = DecodeLosslessJPEG(
        data.data(), Int64(data.size()), frame,
        [&](Integer y, const Word* Row16, const Byte* Row8) {
          ++rows;
          for (Integer x = 0; x < 11; ++x)
            for (Integer k = 0; k < c.Components; ++k) {
              const Integer got = Row16 ? Row16[x * c.Components + k] : Row8[x * c.Components + k];
              worst = std::max(worst, std::abs(got - pam.At(x, y, k)));
            }
          return true;
        },
        reason);
    ASSERT_TRUE(ok) << reason;
    EXPECT_TRUE(reason.empty()) << reason;
    EXPECT_EQ(rows, 7);
    EXPECT_EQ(worst, 0);
  }
}

TEST(Corpus, DicomReader) {
  const size_t reads = ReplayCorpus("dicom", [](const std::vector<Byte>& data, size_t index) -> TCorpusResult {
    TRead r;
    r.Params.ImageIndex = static_cast<Integer>(index % 3);
    ReadDicom(data, r);
    return CorpusOutcome(r);
  });
  EXPECT_GT(reads, 100u);
}

}  // namespace
