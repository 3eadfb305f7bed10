// The camera raw reader end to end: files laid out as the raw containers store them (made by
// tests/imaging/formats/tools/make_camera_raw.py) are identified, decoded, balanced, interpolated
// and developed, and the pixels checked against what the development formulas give; damaged
// containers (directory loops, heaps that hold themselves, headers without an end) end within
// the time cap.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <cstring>

#include "imaging/core/ie_buffered_read_stream.h"
#include "imaging/core/ie_exif.h"
#include "imaging/core/ie_tags_handler.h"
#include "imaging/formats/raw/ie_ciff.h"
#include "imaging/formats/raw/ie_raw.h"
#include "imaging/formats/tiff/ie_exif_tiff_reader.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/imaging/support/ie_stores.h"

using namespace ietest;
using testsupport::Fixture;

namespace {


const std::string kMake = std::string("python3 ") + CLAVORNE_SOURCE_DIR + "/tests/imaging/formats/tools/make_camera_raw.py ";

// A fixture file of the script: Kind with Args, written as Name.
std::string RawFile(const std::string& Name, const std::string& Kind, const std::string& Args = "") {
  return Fixture("raw-" + Name, kMake + Kind + " {out} " + Args);
}

// Two JPEG previews of known sizes and the CIFF heap that holds them (and a third, narrower but
// taller than the smallest).
std::string Jpeg(Integer W, Integer H, const char* Colour) {
  const std::string size = std::to_string(W) + "x" + std::to_string(H);
  return Fixture("raw-preview-" + size + ".jpg", "convert -size " + size + " xc:" + Colour + " JPG:{out}");
}

// The TIFF reader the EXIF routines read embedded previews through, as the program installs it.
struct TExifReader {
  TIEExifTiffCodec Saved = IEExifTiffCodec;
  TExifReader() { IERegisterExifTiffReader(); }
  ~TExifReader() { IEExifTiffCodec = Saved; }
};

struct TRead {
  TIEBitmap Bitmap;
  TIOParamsVals Params{nullptr};
  TProgressProbe Probe;
};

void ReadRaw(const std::vector<Byte>& Data, TRead& R, bool Preview = false) {
  TMemoryStream m;
  FillStream(m, Data);
  ReadRAWStream(&m, &R.Bitmap, R.Params, R.Probe.Progress, Preview);
}

// R, G, B of a developed pixel, whatever the output's sample size.
std::array<Integer, 3> Rgb(TIEBitmap& B, Integer X, Integer Y) {
  if (B.GetPixelFormat() == ieRGB48) {
    const Word* p = static_cast<const Word*>(B.GetScanline(Y)) + 3 * X;
    return {p[0], p[1], p[2]};
  }
  const TRGB c = B.GetPixelAsRGB(X, Y);
  return {c.r, c.g, c.b};
}

// What the development gives a pixel of balanced camera values V (R, G, B): the luminance picks
// the output curve's factor; the white point is the luminance level of the flat image itself
// (all its pixels share it, so the top 1 % are found there).
std::array<double, 3> Developed(const std::array<Integer, 3>& V, bool Wide, double Gamma = 0.6) {
  const double lum = std::floor(std::sqrt(double(V[0]) * V[0] + double(V[1]) * V[1] + double(V[2]) * V[2]) / 2);
  const double white = double(Integer(lum) >> 3) * 16;
  double f = 442 / white * std::pow(2 * lum / white, Gamma - 1);
  if (Wide) f = f / 255 * 65535;
  std::array<double, 3> out{};
  for (int c = 0; c < 3; ++c) out[c] = std::min(std::floor(V[c] * f), Wide ? 65535.0 : 255.0);
  return out;
}

// A read made in a child process under the corpus caps: a reader that loops or recurses without
// end fails the test instead of stalling it.
TCorpusReplay CappedRead(const std::vector<Byte>& Data, const std::string& Label,
                         const std::function<TCorpusResult(const std::vector<Byte>&)>& Read) {
  return ReplayOne(Data, 0, [&](const std::vector<Byte>& d, size_t) { return Read(d); }, DefaultCorpusCaps(), Label);
}

// --- identification ---------------------------------------------------------------------

TEST(RawIdentification, BareSensorDumpsAreKnownByTheirSizeAlone) {
  std::vector<Byte> dc20(62464, 0);
  TMemoryStream m;
  FillStream(m, dc20);
  m.SetPosition(100);
  EXPECT_TRUE(IsRAW(&m));
  EXPECT_EQ(m.Position(), 100);
  TRead r;
  r.Bitmap.Allocate(3, 2, ie24RGB);
  ReadRaw(dc20, r, true);
  ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
  EXPECT_EQ(r.Params.RawCamera, "Kodak DC20 ");
  EXPECT_EQ(r.Params.Width, 247);
  EXPECT_EQ(r.Params.Height, 240);
  EXPECT_EQ(r.Bitmap.GetWidth(), 3) << "a preview leaves the bitmap alone";

  // One byte more is no camera's size: refused, the bitmap and the stream as they were.
  dc20.push_back(0);
  FillStream(m, dc20);
  m.SetPosition(7);
  EXPECT_FALSE(IsRAW(&m));
  EXPECT_EQ(m.Position(), 7);
  TRead refused;
  refused.Bitmap.Allocate(3, 2, ie24RGB);
  ReadRaw(dc20, refused);
  EXPECT_TRUE(refused.Probe.Failed());
  EXPECT_FALSE(refused.Probe.Reason.empty());
  EXPECT_EQ(refused.Bitmap.GetWidth(), 3);
}

// Each container recognised by its own header, with the camera named as the rows know it and
// the size the read would give.
TEST(RawIdentification, ContainersNameTheCameraAndTheSize) {
  const std::string a = Jpeg(8, 6, "red");
  const struct {
    const char* Name;
    std::string File;
    const char* Camera;
    Integer Width, Height;
  } cases[] = {
      {"TIFF (Olympus)", RawFile("e1.orf", "olympus", "12 8 100 200 300"), "OLYMPUS E-1 ", 10, 6},
      {"TIFF with a maker note (Nikon)", RawFile("d70.nef", "nikon", "D70 12 8 100 200 300 3 2 5 4"), "NIKON D70 ", 10, 6},
      {"CIFF heap (Canon)", RawFile("g2.crw", "ciff", "0 " + a), "Canon PowerShot G2 ", 62, 30},
      {"Rollei header", RawFile("rollei.raw", "rollei", "16 8 1"), "Rollei d530flex ", 14, 6},
      {"Foveon", RawFile("sd9.x3f", "foveon", "16 8"), "SIGMA SD9 ", 16, 8},
      {"Phase One", RawFile("phaseone.raw", "phaseone", "16 8"), "Phase One  ", 14, 6},
      {"Nucore", RawFile("nucore.raw", "nucore", "16 8"), "Nucore RAW ", 14, 6},
      {"Fuji", RawFile("s5000.raf", "fuji"), "FUJIFILM FinePix S5000 ", 2498, 2497},
      {"Sinar by its size", RawFile("sinar.raw", "sinar"), "Sinar  ", 6, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::vector<Byte> data = ReadWholeFile(c.File);
    TMemoryStream m;
    FillStream(m, data);
    EXPECT_TRUE(IsRAW(&m));
    TRead r;
    ReadRaw(data, r, true);
    ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
    EXPECT_EQ(r.Params.RawCamera, c.Camera);
    EXPECT_EQ(r.Params.Width, c.Width);
    EXPECT_EQ(r.Params.Height, c.Height);
  }
}

// Files that look like raw containers but are not ones the reader decodes.
TEST(RawIdentification, ConvertedAndForeignFilesAreRefused) {
  // A JPEG whose EXIF block is followed by another marker is a photo, not a raw file.
  const std::vector<Byte> jpeg = ReadWholeFile(Fixture("raw-exif.jpg", "convert -size 8x8 xc:gray JPG:{out} && exiftool -q -overwrite_original -Make=NIKON -Model=D70 {out}"));
  // A TIFF written by a converter names it in its Software tag.
  const std::string converted = RawFile("adobe.orf", "olympus", "12 8 100 200 300 'software=Adobe Photoshop'");
  for (const auto& [name, data] : {std::pair<const char*, std::vector<Byte>>{"EXIF JPEG", jpeg},
                                   {"converted TIFF", ReadWholeFile(converted)}}) {
    SCOPED_TRACE(name);
    TMemoryStream m;
    FillStream(m, data);
    EXPECT_FALSE(IsRAW(&m));
  }
}

// --- development ------------------------------------------------------------------------

// A flat grey sensor (every byte of a DC20 the same) develops into a flat image of the active
// size less the interpolation border, 8-bit and 16-bit, in every store.
TEST(RawReader, FlatGreySensorGivesAFlatImage) {
  const std::vector<Byte> data(62464, 128);
  for (bool wide : {false, true}) {
    SCOPED_TRACE(wide);
    ForEachStore([&](Store s, StoreScope& scope) {
      TRead r;
      scope.Prepare(r.Bitmap);
      r.Params.NativePixelFormat = wide;
      ReadRaw(data, r);
      if (wide && s == Store::TBitmap) {
        EXPECT_TRUE(r.Probe.Failed());  // the framework bitmap holds no 48-bit colour
        return;
      }
      ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
      ASSERT_EQ(r.Bitmap.GetWidth(), 247);
      ASSERT_EQ(r.Bitmap.GetHeight(), 240);
      EXPECT_EQ(r.Params.BitsPerSample, wide ? 16 : 8);
      EXPECT_EQ(r.Params.SamplesPerPixel, 3);
      const auto first = Rgb(r.Bitmap, 0, 0);
      EXPECT_GT(first[0] + first[1] + first[2], 0);
      for (Integer y = 0; y < 240; y += 7)
        for (Integer x = 0; x < 247; x += 5) ASSERT_EQ(Rgb(r.Bitmap, x, y), first) << x << "," << y;
    });
  }
}

// An all-black sensor has no white point: it becomes 1, and the image stays black.
TEST(RawReader, AllBlackSensorDevelopsBlack) {
  TRead r;
  ReadRaw(std::vector<Byte>(62464, 0), r);
  ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
  EXPECT_EQ(Rgb(r.Bitmap, 100, 100), (std::array<Integer, 3>{0, 0, 0}));
}

// An Olympus E-1 sensor of green, red / blue, green cells (G R / B G), red 100, green 200, blue 300:
// every inner pixel gets the camera row's multipliers (1.57, 1, 1.48) on red and blue, the
// missing colours from its neighbours, and the output curve of its luminance.
TEST(RawReader, BayerPatternInterpolatesToTheExpectedColours) {
  const std::vector<Byte> data = ReadWholeFile(RawFile("e1.orf", "olympus", "12 8 100 200 300"));
  const std::array<Integer, 3> balanced = {Integer(100 * 1.57f), 200, Integer(300 * 1.48f)};
  for (bool wide : {false, true}) {
    SCOPED_TRACE(wide);
    TRead r;
    r.Params.NativePixelFormat = wide;
    ReadRaw(data, r);
    ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
    ASSERT_EQ(r.Bitmap.GetWidth(), 10);
    ASSERT_EQ(r.Bitmap.GetHeight(), 6);
    EXPECT_EQ(r.Params.Width, 10);
    EXPECT_EQ(r.Params.Height, 6);
    const auto want = Developed(balanced, wide);
    for (Integer y = 0; y < 6; ++y)
      for (Integer x = 0; x < 10; ++x) {
        const auto got = Rgb(r.Bitmap, x, y);
        for (int c = 0; c < 3; ++c) ASSERT_NEAR(got[c], want[c], wide ? 1 : 0) << x << "," << y << " channel " << c;
      }
    // The red factor of the options scales red alone.
    TRead redder;
    redder.Params.NativePixelFormat = wide;
    redder.Params.RawRedScale = 2;
    ReadRaw(data, redder);
    ASSERT_FALSE(redder.Probe.Failed());
    const auto g = Rgb(redder.Bitmap, 3, 3);
    EXPECT_GT(double(g[0]) / std::max(g[1], 1), 1.5 * double(want[0]) / want[1]);
  }
}

// Half size turns each 2 x 2 cell into one pixel and cuts no border; the size stated is the
// bitmap's (the whole active width less 2 was stated before, whatever the bitmap held).
TEST(RawReader, HalfSizeStatesTheSizeOfTheBitmap) {
  const std::vector<Byte> data = ReadWholeFile(RawFile("e1.orf", "olympus", "12 8 100 200 300"));
  TRead r;
  r.Params.RawHalfSize = true;
  ReadRaw(data, r);
  ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
  EXPECT_EQ(r.Bitmap.GetWidth(), 6);
  EXPECT_EQ(r.Bitmap.GetHeight(), 4);
  EXPECT_EQ(r.Params.Width, r.Bitmap.GetWidth());
  EXPECT_EQ(r.Params.Height, r.Bitmap.GetHeight());
  // A half-size cell holds all three colours itself: every pixel is the balanced colour.
  const auto want = Developed({Integer(100 * 1.57f), 200, Integer(300 * 1.48f)}, false);
  const auto got = Rgb(r.Bitmap, 0, 0);
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(got[c], want[c], 1) << c;
  TRead preview;
  preview.Params.RawHalfSize = true;
  ReadRaw(data, preview, true);
  EXPECT_EQ(preview.Params.Width, 6);
  EXPECT_EQ(preview.Params.Height, 4);
}

// A Nikon D70 keeps its white balance in the maker note (tag 151, ratios 3/2 and 5/4): with the
// camera balance asked for and no white patch, those become the red and blue multipliers.
TEST(RawReader, MakerNoteBalanceIsTheCameraBalance) {
  const std::vector<Byte> data = ReadWholeFile(RawFile("d70.nef", "nikon", "D70 12 8 100 200 300 3 2 5 4"));
  TRead r;
  r.Params.RawCameraWB = true;
  ReadRaw(data, r);
  ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
  // Samples are stored shifted left by 2 (12-bit coding).
  const auto want = Developed({Integer(100 * 4 * 1.5f), 200 * 4, Integer(300 * 4 * 1.25f)}, false);
  const auto got = Rgb(r.Bitmap, 4, 3);
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(got[c], want[c], 1) << c;
}

// A "D1X" writes every row twice: the output is twice as high as the active rows it develops.
TEST(RawReader, RowRepeatWritesEachRowTwice) {
  const std::vector<Byte> data = ReadWholeFile(RawFile("d1x.nef", "nikon", "D1X 4024 6 100 200 300 1 1 1 1"));
  TRead r;
  ReadRaw(data, r);
  ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
  EXPECT_EQ(r.Bitmap.GetWidth(), 4022);
  EXPECT_EQ(r.Bitmap.GetHeight(), 8);
  EXPECT_EQ(r.Params.Height, 8);
  for (Integer y = 0; y < 8; y += 2) EXPECT_EQ(Rgb(r.Bitmap, 17, y), Rgb(r.Bitmap, 17, y + 1)) << y;
}

// The white point: the top 1 % of the pixels, the top 0.5 % for Fuji files.
TEST(RawReader, WhitePointIsTheTopPercentOrHalfForFuji) {
  auto state = std::make_unique<TIERawDecoder>();
  TIERawDecoder& s = *state;
  s.width = 100;
  s.height = 100;  // 10000 pixels: 1 % is 100, 0.5 % is 50
  s.histogram[1000] = 60;
  s.histogram[500] = 60;
  s.histogram[10] = 9880;
  std::strcpy(s.make, "NIKON");
  EXPECT_EQ(raw_white_point(s), 500 * 16);
  std::strcpy(s.make, "FUJIFILM");
  EXPECT_EQ(raw_white_point(s), 1000 * 16);
  std::memset(s.histogram, 0, sizeof s.histogram);
  EXPECT_EQ(raw_white_point(s), 1);
}

// With the thumbnail asked for, the bitmap is the file's embedded preview (the 4 x 3 JPEG of the
// Olympus file's first directory) and nothing is decoded; without one the sensor is decoded.
TEST(RawReader, ThumbnailInsteadOfTheSensorWhenAsked) {
  TExifReader exif;
  TRead r;
  r.Params.SetRawGetExifThumbnail(true);
  const std::string thumb = Fixture("raw-thumb.jpg", "convert -size 4x3 xc:'rgb(200,40,40)' JPG:{out}");
  ReadRaw(ReadWholeFile(RawFile("thumb.orf", "olympus", "12 8 100 200 300 thumb=" + thumb)), r);
  ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
  ASSERT_EQ(r.Bitmap.GetWidth(), 4);
  ASSERT_EQ(r.Bitmap.GetHeight(), 3);
  const auto c = Rgb(r.Bitmap, 2, 1);
  EXPECT_NEAR(c[0], 200, 8);
  EXPECT_NEAR(c[1], 40, 8);
  EXPECT_NEAR(c[2], 40, 8);
  EXPECT_TRUE(r.Params.RawGetExifThumbnail);
  TRead none;
  none.Params.SetRawGetExifThumbnail(true);
  ReadRaw(std::vector<Byte>(62464, 128), none);
  ASSERT_FALSE(none.Probe.Failed()) << none.Probe.Reason;
  EXPECT_EQ(none.Bitmap.GetWidth(), 247);
}

// --- colour stages on tiny hand-computed states ----------------------------------------

// A state of Height x Width pixels (pattern 0x94949494: R G / G B) over an image of its own.
struct TColourState {
  std::unique_ptr<TIERawDecoder> S = std::make_unique<TIERawDecoder>();
  std::vector<Word> Image;
  TColourState(Integer Height, Integer Width) {
    S->height = S->out_height = Height;
    S->width = S->out_width = Width;
    S->filters = 0x94949494;
    S->colors = 3;
    Image.assign(size_t(Height) * Width * 4, 0);
    S->image = reinterpret_cast<Word(*)[4]>(Image.data());
  }
  Word& At(Integer Row, Integer Col, Integer C) { return Image[(size_t(Row) * S->width + Col) * 4 + C]; }
};

// Automatic balance: the means of red 1000, green 500 and blue 250 give multipliers 1, 2, 4;
// a red highlight within 100 of the clipping level is left out of the means and clipped.
TEST(RawColour, AutomaticBalanceLeavesClippedHighlightsOut) {
  TColourState t(2, 4);
  TIERawDecoder& s = *t.S;
  s.saturation_level = 2000;
  s.opt_auto_wb = 1;
  t.At(0, 0, 0) = 1000, t.At(0, 2, 0) = 1950;
  t.At(0, 1, 1) = t.At(0, 3, 1) = t.At(1, 0, 1) = t.At(1, 2, 1) = 500;
  t.At(1, 1, 2) = t.At(1, 3, 2) = 250;
  apply_white_balance(s);
  EXPECT_FLOAT_EQ(s.wb_multipliers[0], 1);
  EXPECT_FLOAT_EQ(s.wb_multipliers[1], 2);
  EXPECT_FLOAT_EQ(s.wb_multipliers[2], 4);
  EXPECT_EQ(t.At(0, 0, 0), 1000);
  EXPECT_EQ(t.At(0, 2, 0), 1950);
  EXPECT_EQ(t.At(0, 1, 1), 1000);
  EXPECT_EQ(t.At(1, 1, 2), 1000);
  EXPECT_EQ(t.At(0, 0, 1), 0) << "cells of other colours stay empty";
}

// A channel without any usable sample has no mean: the multipliers stay as the camera row set
// them instead of becoming infinite (a division by zero before).
TEST(RawColour, AutomaticBalanceWithAnEmptyChannelKeepsTheMultipliers) {
  TColourState t(2, 2);
  TIERawDecoder& s = *t.S;
  s.saturation_level = 4000;
  s.opt_auto_wb = 1;
  s.wb_multipliers[0] = 1.5f, s.wb_multipliers[2] = 1.25f;
  t.At(0, 0, 0) = 1000, t.At(0, 1, 1) = 500;  // no blue at all
  apply_white_balance(s);
  EXPECT_FLOAT_EQ(s.wb_multipliers[0], 1.5f);
  EXPECT_FLOAT_EQ(s.wb_multipliers[1], 1);
  EXPECT_FLOAT_EQ(s.wb_multipliers[2], 1.25f);
  EXPECT_EQ(t.At(0, 0, 0), 1500);
}

// Camera balance without a usable white patch falls back to the camera's own ratios.
TEST(RawColour, CameraBalanceFallsBackToTheCameraRatios) {
  TColourState t(2, 2);
  TIERawDecoder& s = *t.S;
  s.saturation_level = 0x4000;
  s.opt_camera_wb = 1;
  s.camera_wb_red = 2, s.camera_wb_blue = 3;
  t.At(0, 0, 0) = 100, t.At(1, 1, 2) = 100;
  apply_white_balance(s);
  EXPECT_FLOAT_EQ(s.wb_multipliers[0], 2);
  EXPECT_FLOAT_EQ(s.wb_multipliers[2], 3);
  EXPECT_EQ(t.At(0, 0, 0), 200);
  EXPECT_EQ(t.At(1, 1, 2), 300);
}

// A pixel of full scale in all three channels has luminance Trunc(65535 x sqrt 3 / 2), counted
// in the histogram at that level shifted right by 3; a 2 x 2 image has no inner pixel to fill.
TEST(RawColour, LuminanceAndHistogramOfTheOutputStage) {
  TColourState t(2, 2);
  TIERawDecoder& s = *t.S;
  s.saturation_level = 65535;
  t.At(0, 0, 0) = 100;
  vng_interpolate(s);
  EXPECT_EQ(t.At(0, 0, 1), 0);
  for (Integer c = 0; c < 3; ++c) t.At(1, 1, c) = 65535;
  to_output_rgb(s);
  EXPECT_EQ(t.At(1, 1, 3), 56754);
  EXPECT_EQ(s.histogram[56754 >> 3], 1);
  EXPECT_EQ(s.histogram[50 >> 3], 1);
}

// The four-colour matrix inverts the filters' responses: applied to them it leaves no colour in
// another channel (each of its four 3 x 3 inverses does so exactly).
TEST(RawColour, FourColourMatrixInvertsTheFilterResponses) {
  auto state = std::make_unique<TIERawDecoder>();
  cmyg_to_rgb_coefficients(*state);
  const double response[4][3] = {{0.11, 0.86, 0.08}, {0.5, 0.29, 0.51}, {0.11, 0.92, 0.75}, {0.81, 0.98, 0.08}};
  EXPECT_EQ(state->use_fixed_matrix, 1);
  for (int r = 0; r < 3; ++r) {
    double rowSum = 0;
    for (int c = 0; c < 4; ++c) rowSum += state->fixed_matrix[r][c];
    EXPECT_NEAR(rowSum, 1, 1e-5);
    for (int k = 0; k < 3; ++k) {
      double v = 0;
      for (int c = 0; c < 4; ++c) v += state->fixed_matrix[r][c] * response[c][k];
      if (k != r) {
        EXPECT_NEAR(v, 0, 1e-4) << r << "," << k;
      }
    }
  }
}

// --- CIFF metadata ----------------------------------------------------------------------

// Names and size from the heaps, the maker-note records as a directory, and of the previews the
// one smaller in both directions: 8 x 6 beats 16 x 12 (met first); 4 x 20, narrower but taller,
// does not replace it.
TEST(CiffMetadata, NamesSizeMakerNoteAndTheSmallestPreview) {
  const std::string heap = RawFile("previews.crw", "ciff", "0 " + Jpeg(16, 12, "blue") + " " + Jpeg(8, 6, "red") + " " +
                                                                Jpeg(4, 20, "lime"));
  TMemoryStream m;
  FillStream(m, ReadWholeFile(heap));
  TIOParamsVals p(nullptr);
  EXPECT_FALSE(IEReadCIFFMetadata(&m, p));
  EXPECT_EQ(p.ExifMake, "Canon");
  EXPECT_EQ(p.ExifModel, "Canon PowerShot G2");
  EXPECT_EQ(p.ExifExifImageWidth, 64);
  EXPECT_EQ(p.ExifExifImageHeight, 32);
  ASSERT_TRUE(p.ExifBitmap);
  EXPECT_EQ(p.ExifBitmap->GetWidth(), 8);
  EXPECT_EQ(p.ExifBitmap->GetHeight(), 6);
  const auto c = Rgb(*p.ExifBitmap, 3, 3);
  EXPECT_GT(c[0], 200);
  EXPECT_LT(c[2], 60);
  // Tag 4 (camera settings, 18 items as stored) and tag 1 (4 items: 1, 2, 3, 4), 16-bit each.
  TIETagsHandler* note = p.ExifMakerNote;
  ASSERT_EQ(note->EntryCount(), 2);
  EXPECT_EQ(note->EntryTag(0), 4);
  EXPECT_EQ(note->EntryTag(1), 1);
  const Byte* e = note->Entry(1);
  EXPECT_EQ(e[2] | e[3] << 8, 3);
  EXPECT_EQ(e[4] | e[5] << 8, 4);
  const Int64 at = e[8] | e[9] << 8;
  Word items[4];
  note->Stream()->SetPosition(at);
  note->Stream()->ReadBuffer(items, 8);
  EXPECT_EQ(items[0], 1);
  EXPECT_EQ(items[3], 4);

  // No preview at all: an empty thumbnail.
  TMemoryStream bare;
  FillStream(bare, ReadWholeFile(RawFile("nopreview.crw", "ciff", "0")));
  TIOParamsVals q(nullptr);
  IEReadCIFFMetadata(&bare, q);
  ASSERT_TRUE(q.ExifBitmap);
  EXPECT_TRUE(q.ExifBitmap->IsEmpty());
}

// --- damaged containers -----------------------------------------------------------------

// A directory chain that links to itself, a CIFF heap that holds itself and a Rollei header
// without its end line: each read ends, within the time and memory caps, with an answer.
TEST(RawReader, LoopsInTheContainerEnd) {
  const struct {
    const char* Name;
    std::string File;
  } cases[] = {
      {"TIFF directory linking to itself", RawFile("loop.tif", "tiffloop")},
      {"CIFF heap holding itself", RawFile("loop.crw", "ciff", "1 " + Jpeg(8, 6, "red"))},
      {"Rollei header without EOHD", RawFile("noend.raw", "rollei", "16 8 0")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const TCorpusReplay r = CappedRead(ReadWholeFile(c.File), c.Name, [](const std::vector<Byte>& d) -> TCorpusResult {
      TMemoryStream m;
      FillStream(m, d);
      (void)IsRAW(&m);
      TRead read;
      ReadRaw(d, read);
      TIOParamsVals p(nullptr);
      m.SetPosition(0);
      IEReadCIFFMetadata(&m, p);
      return {!read.Probe.Failed(), read.Probe.Reason};
    });
    EXPECT_EQ(r.Problem, "") << c.Name;
  }
}

// Names longer than their 64-character field are cut inside it: the model of 80 characters is
// 63 in the camera name, not run on into whatever follows the field.
TEST(RawReader, LongNamesStayInsideTheirField) {
  TRead r;
  ReadRaw(ReadWholeFile(RawFile("longname.tif", "leafname", "80")), r, true);
  ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
  EXPECT_EQ(r.Params.RawCamera, "Leaf " + std::string(63, 'M') + " ");
}

// A Nucore header of 236 bytes claiming a 4096 x 2048 sensor whose data starts at 16384: there
// is nothing to read there, so the read is refused before the sensor is allocated and developed
// (it was developed from zeros, seconds of work for a file that holds no pixel).
TEST(RawReader, SensorDataPastTheEndIsRefused) {
  const std::vector<Byte> data =
      ReadWholeFile(std::string(CLAVORNE_SOURCE_DIR) + "/tests/fuzz/regressions/raw/sensor-data-past-end.raw");
  TRead r;
  ReadRaw(data, r);
  EXPECT_TRUE(r.Probe.Failed());
  EXPECT_NE(r.Probe.Reason.find("holds 0 bytes"), std::string::npos) << r.Probe.Reason;
  EXPECT_EQ(r.Bitmap.GetWidth(), 0);
}

// Foveon headers whose sensor the file cannot fill are refused before the sensor is allocated:
// one byte of the width changed to give 917520 cells (no decoder takes a side past 32768; the
// reader developed the blank sensor for seconds all the same), and a 2000 x 1500 sensor in a
// file of a few hundred bytes (Sigma's coding takes three bits a cell at the least).
TEST(RawReader, FoveonSensorTheFileCannotFillIsRefused) {
  const struct {
    const char* Name;
    std::string File;
    const char* Reason;
  } cases[] = {
      {"width 917520", std::string(CLAVORNE_SOURCE_DIR) + "/tests/fuzz/regressions/raw/foveon-width-917520.x3f",
       "sensor size is not valid"},
      {"2000 x 1500 without data", RawFile("sd9-2000.x3f", "foveon", "2000 1500"), "holds 0 bytes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TRead r;
    ReadRaw(ReadWholeFile(c.File), r);
    EXPECT_TRUE(r.Probe.Failed());
    EXPECT_NE(r.Probe.Reason.find(c.Reason), std::string::npos) << r.Probe.Reason;
    EXPECT_EQ(r.Bitmap.GetWidth(), 0);
  }
}

// --- corpus -----------------------------------------------------------------------------

TEST(Corpus, RawFuzzFindings) {
  ReplayFuzzFindings("raw", [](const std::vector<Byte>& data, size_t) -> TCorpusResult {
    TRead r;
    ReadRaw(data, r);
    return CorpusOutcome(r);
  });
}

// Every container the reader knows, as it is and mutated: identified and developed, or refused
// with a reason. The Canon heap is identified but not decoded (its second Huffman tables are not
// known to this program): its read counts when the identification succeeded and the decode
// failed with a reason.
TEST(Corpus, RawReader) {
  const size_t reads = ReplayCorpus("raw", [](const std::vector<Byte>& data, size_t index) -> TCorpusResult {
    TRead preview;
    ReadRaw(data, preview, true);
    if (preview.Probe.Failed()) return {false, preview.Probe.Reason};
    TRead r;
    r.Params.NativePixelFormat = index % 2 == 1;
    ReadRaw(data, r);
    if (r.Probe.Failed()) {
      EXPECT_FALSE(r.Probe.Reason.empty());
      return {true, ""};
    }
    return CorpusOutcome(r);
  });
  EXPECT_GT(reads, 300u);
}

}  // namespace
