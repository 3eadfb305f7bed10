// The built-in CMYK profile: what it is, a CMYK JPEG that ImageMagick wrote with it converted
// through it as ImageMagick converts the same file with the same profiles, the plain formula
// when IEUseCMYKProfile is off, and single pixels agreeing with whole rows.
#include <gtest/gtest.h>

#include <lcms2.h>

#include <thread>

#include "imaging/core/ie_cmyk.h"
#include "imaging/core/ie_cmyk_profile.h"
#include "imaging/core/ie_icc.h"
#include "imaging/formats/ie_color_convert.h"
#include "imaging/formats/jpeg/ie_jpeg.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/imaging/support/plain_cmyk.h"

using namespace ietest;
using testsupport::Fixture;
using testsupport::ShellQuote;

namespace {

// The built-in profile and the colour engine's sRGB profile as files ImageMagick can use.
struct TProfileFiles {
  std::string CMYK = std::string(CLAVORNE_FIXTURE_DIR) + "/builtin-cmyk.icc";
  std::string SRGB = std::string(CLAVORNE_FIXTURE_DIR) + "/engine-srgb.icc";
  TProfileFiles() {
    EXPECT_TRUE(IEInitCMYKProfiles());
    WriteFileBytes(CMYK, std::vector<Byte>(IECMYKProfile->RawData(),
                                           IECMYKProfile->RawData() + IECMYKProfile->RawLength()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    EXPECT_TRUE(cmsSaveProfileToFile(srgb, SRGB.c_str()));
    cmsCloseProfile(srgb);
  }
};

// A JPEG read by the codec, to ie24RGB or (Native) kept as stored.
struct TJpeg {
  TIEBitmap Bitmap;
  TIOParamsVals Params{nullptr};
  TProgressProbe Probe;
  TJpeg(const std::string& File, bool Native) {
    TMemoryStream m;
    FillStream(m, ReadWholeFile(File));
    ReadJPEGStream(&m, nullptr, &Bitmap, Params, Probe.Progress, false, false, true, false, true, true, -1, Native);
  }
};

DWORD Stored(Byte C, Byte M, Byte Y, Byte K) { return DWORD(C) | DWORD(M) << 8 | DWORD(Y) << 16 | DWORD(K) << 24; }

}  // namespace

// The profile is an ICC version 2.2 output profile from CMYK to Lab with the tables a printer
// profile carries, inflated to the size recorded beside it.
TEST(CMYKProfile, BuiltInProfileIsACMYKPrinterProfile) {
  ASSERT_TRUE(IEInitCMYKProfiles());
  ASSERT_TRUE(IECMYKProfile && IECMYKProfile->IsValid());
  ASSERT_TRUE(IESRGBProfile && IESRGBProfile->IsValid());
  const Byte* p = IECMYKProfile->RawData();
  ASSERT_EQ(IECMYKProfile->RawLength(), IEBuiltinCMYKProfileSize);
  EXPECT_EQ(p[8], 2);
  EXPECT_EQ(p[9], 0x20);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p) + 12, 4), "prtr");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p) + 16, 4), "CMYK");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p) + 20, 4), "Lab ");
  const Integer tags = Integer(p[128]) << 24 | Integer(p[129]) << 16 | Integer(p[130]) << 8 | p[131];
  std::string signatures;
  for (Integer i = 0; i < tags; ++i) signatures += std::string(reinterpret_cast<const char*>(p) + 132 + 12 * i, 4) + " ";
  for (const char* tag : {"desc", "cprt", "wtpt", "bkpt", "A2B0", "A2B1", "A2B2", "B2A0", "B2A1", "B2A2", "gamt"})
    EXPECT_NE(signatures.find(tag), std::string::npos) << tag << " in " << signatures;
  // Freed and made again on the next use.
  IEFreeCMYKProfiles();
  EXPECT_EQ(IECMYKProfile, nullptr);
  EXPECT_TRUE(IEInitCMYKProfiles());
}

// A CMYK JPEG that ImageMagick made from a photo through sRGB and the built-in profile reads back
// as ImageMagick converts it with the same two profiles; with IEUseCMYKProfile off it reads as
// the plain formula gives, visibly apart from the profile's colours.
TEST(CMYKProfile, JpegAsImageMagickConvertsItWithTheSameProfiles) {
  TProfileFiles files;
  const std::string jpeg = Fixture("cmyk-rose-builtin.jpg", "convert rose: -profile " + ShellQuote(files.SRGB) +
                                                                " -intent Perceptual -profile " +
                                                                ShellQuote(files.CMYK) + " -quality 95 JPG:{out}");
  ASSERT_EQ(testsupport::RunOk("identify -format %[colorspace] " + ShellQuote(jpeg)), "CMYK");
  const TPam peer = PamFromCommand("convert " + ShellQuote(jpeg) + " -intent Perceptual -profile " +
                                   ShellQuote(files.SRGB) + " -depth 8 PPM:-");

  TCMYKProfileUse on(true);
  TJpeg r(jpeg, false);
  ASSERT_FALSE(r.Probe.Failed()) << r.Probe.Reason;
  TIEBitmap* b = &r.Bitmap;
  ASSERT_EQ(b->GetPixelFormat(), ie24RGB);
  ASSERT_EQ(b->GetWidth(), peer.Width);
  const Integer difference = MaxDifference(*b, peer);
  EXPECT_LE(difference, 3);
  RecordProperty("MaxDifferenceFromImageMagick", difference);

  TCMYKProfileUse off(false);
  TJpeg plain(jpeg, false);
  ASSERT_FALSE(plain.Probe.Failed());
  EXPECT_GT(MaxDifference(plain.Bitmap, peer), 20);
  // The formula on the stored samples, as the native read keeps them.
  TJpeg native(jpeg, true);
  TIEBitmap* n = &native.Bitmap;
  ASSERT_EQ(n->GetPixelFormat(), ieCMYK);
  for (Integer y = 0; y < n->GetHeight(); ++y) {
    const Byte* s = static_cast<const Byte*>(n->GetScanline(y));
    for (Integer x = 0; x < n->GetWidth(); ++x, s += 4) {
      const TRGB want = {Byte(s[2] * s[3] / 255), Byte(s[1] * s[3] / 255), Byte(s[0] * s[3] / 255)};
      ASSERT_EQ(plain.Bitmap.GetPixelAsRGB(x, y), want) << x << "," << y;
    }
  }
}

// A single pixel converts as the same pixel in a row; ink amounts (kind 3) convert as their
// inverse stored form and are left inverted; colours in the printer's gamut come back from CMYK
// close to themselves; the formula's values without the profile.
TEST(CMYKProfile, PixelsRowsAndTheFormula) {
  TCMYKProfileUse on(true);
  const DWORD samples[] = {Stored(255, 255, 255, 255), Stored(0, 255, 255, 255), Stored(128, 64, 200, 180),
                           Stored(255, 255, 255, 0)};
  std::vector<Byte> row, ink;
  for (DWORD v : samples)
    for (int k = 0; k < 4; ++k) {
      row.push_back(Byte(v >> (8 * k)));
      ink.push_back(Byte(255 - Byte(v >> (8 * k))));
    }
  std::vector<TRGB> fromRow(4), fromInk(4);
  IEDefaultConvertColorFunction(row.data(), iecCMYK, fromRow.data(), iecBGR, 4, nullptr);
  IEDefaultConvertColorFunction(ink.data(), iecCMYKInk, fromInk.data(), iecBGR, 4, nullptr);
  EXPECT_EQ(ink, row);  // the caller's ink row is left in the stored form
  for (size_t i = 0; i < 4; ++i) {
    TRGB one;
    IECMYK2RGB(samples[i], one);
    EXPECT_EQ(one, fromRow[i]) << i;
    EXPECT_EQ(one, fromInk[i]) << i;
  }
  // Full cyan through the profile is a printed cyan, not the formula's pure 0, 255, 255.
  EXPECT_LT(fromRow[1].g, 200);
  EXPECT_LT(fromRow[3].r + fromRow[3].g + fromRow[3].b, 3 * 40);  // all black ink: dark

  for (const TRGB c : {TRGB{128, 128, 128}, TRGB{60, 90, 160}, TRGB{200, 180, 120}}) {
    TRGB back;
    IECMYK2RGB(IERGB2CMYK(DWORD(c.r) << 16 | DWORD(c.g) << 8 | c.b), back);
    EXPECT_LE(std::abs(back.r - c.r) + std::abs(back.g - c.g) + std::abs(back.b - c.b), 18)
        << int(back.r) << "," << int(back.g) << "," << int(back.b);
  }

  TCMYKProfileUse off(false);
  TRGB c;
  IECMYK2RGB(Stored(255, 255, 255, 255), c);
  EXPECT_EQ(c, (TRGB{255, 255, 255}));
  IECMYK2RGB(Stored(0, 255, 255, 255), c);
  EXPECT_EQ(c, (TRGB{255, 255, 0}));  // b, g, r: red 0, green 255, blue 255
  IECMYK2RGB(Stored(90, 40, 200, 0), c);
  EXPECT_EQ(c, (TRGB{0, 0, 0}));
  EXPECT_EQ(IERGB2CMYK(0xFF0000), Stored(255, 0, 0, 255));
  EXPECT_EQ(IERGB2CMYK(0), Stored(0, 0, 0, 1));
}

// The first conversions of several threads at once make the profiles once and agree.
TEST(CMYKProfile, FirstUseFromSeveralThreads) {
  TCMYKProfileUse on(true);
  IEFreeCMYKProfiles();
  std::vector<TRGB> got(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < got.size(); ++i)
    threads.emplace_back([&got, i] { IECMYK2RGB(Stored(128, 64, 200, 180), got[i]); });
  for (auto& t : threads) t.join();
  for (const TRGB& c : got) EXPECT_EQ(c, got[0]);
  TCMYKProfileUse off(false);
  TRGB formula;
  IECMYK2RGB(Stored(128, 64, 200, 180), formula);
  EXPECT_NE(got[0], formula);
}
