// Colour profiles: the texts read from the profiles Debian ships, as exiftool reports them;
// conversions of pixels and whole images through Little CMS, compared with ImageMagick; the
// transform cache; refused and damaged profiles.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <regex>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_icc.h"
#include "metadata_test_util.h"
#include "platform/rtl/streams.h"

using namespace metatest;

namespace {

const std::string kIccDir = "/usr/share/color/icc";

std::vector<std::string> DebianProfiles() {
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(kIccDir))
    if (e.is_regular_file() && (e.path().extension() == ".icc" || e.path().extension() == ".icm"))
      out.push_back(e.path().string());
  std::sort(out.begin(), out.end());
  return out;
}

void Load(TIEICC& icc, const std::string& file) {
  Bytes b = ReadFileBytes(file);
  icc.LoadFromBuffer(b.data(), static_cast<Integer>(b.size()));
}

std::string Profile(const char* name) { return kIccDir + "/ghostscript/" + name; }

// The channel values ImageMagick gives for one sRGB colour converted to a profile.
std::vector<int> MagickConvert(const std::string& target, const char* colour) {
  std::string out = testsupport::RunOk("convert -size 1x1 xc:'" + std::string(colour) + "' -profile " +
                                       Profile("srgb.icc") + " -intent perceptual -profile " + target + " -depth 8 txt:");
  std::smatch m;
  std::string line = out.substr(out.find("0,0:"));
  std::regex num(R"(\(([0-9.]+)(?:,([0-9.]+))?(?:,([0-9.]+))?(?:,([0-9.]+))?\))");
  EXPECT_TRUE(std::regex_search(line, m, num)) << out;
  std::vector<int> v;
  for (size_t i = 1; i < m.size(); ++i)
    if (m[i].matched) v.push_back(static_cast<int>(std::lround(std::stod(m[i].str()))));
  return v;
}

TEST(IEICC, TextsOfDebianProfilesMatchExifTool) {
  std::vector<std::string> files = DebianProfiles();
  ASSERT_GE(files.size(), 5u) << "no ICC profiles under " << kIccDir << " (libgs-common)";
  // One exiftool run a field for all of them, tab-separated: the path, then every value. A
  // profile whose texts come in several languages gives one value a language, the profile's
  // own (English) first; exiftool's single-value forms would give the last one.
  std::map<std::string, std::vector<std::string>> theirs;
  for (const char* tag : {"ProfileDescription", "ProfileCopyright", "ProfileVersion"}) {
    const std::string report = testsupport::RunOk("exiftool -q -T -a -r -ext icc -ext icm -FilePath -ICC_Profile:" +
                                                  std::string(tag) + " " + kIccDir);
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) {
      std::vector<std::string> fields;
      std::istringstream in(line);
      for (std::string f; std::getline(in, f, '\t');) fields.push_back(f);
      if (fields.size() < 2) continue;
      std::vector<std::string>& row = theirs[fields[0]];
      if (row.empty()) row.push_back(fields[0]);
      row.push_back(fields[1]);
    }
  }
  bool sawVersion4 = false;
  for (const std::string& f : files) {
    SCOPED_TRACE(f);
    ASSERT_EQ(theirs.count(f), 1u);
    ASSERT_EQ(theirs[f].size(), 4u);
    TIEICC icc;
    Load(icc, f);
    EXPECT_TRUE(icc.IsValid());
    EXPECT_EQ(icc.ProfileDescription, theirs[f][1]);
    EXPECT_EQ(icc.ProfileCopyright, theirs[f][2]);
    sawVersion4 = sawVersion4 || theirs[f][3].rfind("4.", 0) == 0;
  }
  EXPECT_TRUE(sawVersion4);
}

TEST(IEICC, PixelConversionsAgreeWithImageMagick) {
  TIEICC srgb, cmyk, gray, system;
  Load(srgb, Profile("srgb.icc"));
  Load(cmyk, Profile("default_cmyk.icc"));
  Load(gray, Profile("sgray.icc"));
  system.LoadSystemSRGB();
  ASSERT_TRUE(srgb.IsValid() && cmyk.IsValid() && gray.IsValid() && system.IsValid());

  // One pixel in the image buffer's B, G, R order, to inverted CMYK.
  Byte bgr[3] = {50, 100, 200};
  Byte inverted[4] = {};
  ASSERT_TRUE(srgb.Transform(&cmyk, ieiccBGR, ieiccCMYKInv, 0, 0, bgr, inverted, 1));
  EXPECT_EQ(bgr[0], 200);  // the caller's pixel is left in R, G, B order
  std::vector<int> magick = MagickConvert(Profile("default_cmyk.icc"), "rgb(200,100,50)");
  ASSERT_EQ(magick.size(), 4u);
  for (int c = 0; c < 4; ++c) EXPECT_NEAR(255 - inverted[c], magick[c], 4) << c;

  // Grey and Lab outputs are written too: a true result always means a converted target.
  Byte rgb[3] = {200, 100, 50};
  Byte g = 0;
  ASSERT_TRUE(srgb.Transform(&gray, ieiccRGB, ieiccGray, 0, 0, rgb, &g, 1));
  EXPECT_NEAR(g, MagickConvert(Profile("sgray.icc"), "rgb(200,100,50)")[0], 3);

  // The same profile twice keeps colours; 16-bit layouts keep their precision.
  Byte same[3] = {};
  ASSERT_TRUE(srgb.Transform(&system, ieiccRGB, ieiccRGB, 0, 0, rgb, same, 1));
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(same[c], rgb[c], 2);
  Word deep[3] = {1000, 30000, 65535}, deepOut[3] = {};
  ASSERT_TRUE(srgb.Transform(&system, ieiccRGB48, ieiccRGB48, 0, 0, deep, deepOut, 1));
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(deepOut[c], deep[c], 300);
  Byte be[6] = {0x12, 0x34, 0x80, 0x00, 0xFF, 0xFF}, beOut[6] = {};
  ASSERT_TRUE(srgb.Transform(&system, ieiccRGB48BE, ieiccRGB48BE, 0, 0, be, beOut, 1));
  EXPECT_NEAR(beOut[2], 0x80, 1);
}

TEST(IEICC, BitmapConversionsWriteEveryTargetFormat) {
  TIEICC srgb, cmyk, gray, lab;
  Load(srgb, Profile("srgb.icc"));
  Load(cmyk, Profile("default_cmyk.icc"));
  Load(gray, Profile("sgray.icc"));
  lab.LoadFromBuffer(nullptr, 0);
  // Lab profiles come from the engine's own built-in one, through a copy of its bytes.
  Load(lab, Profile("lab.icc"));
  ASSERT_TRUE(lab.IsValid());
  auto white = [] {
    auto* b = new TIEBitmap;
    b->Allocate(4, 3, ie24RGB);
    for (Integer y = 0; y < 3; ++y)
      for (Integer x = 0; x < 4; ++x) b->SetPixelRGB(x, y, TRGB{255, 255, 255});
    b->SetPixelRGB(0, 0, TRGB{0, 0, 0});
    return b;
  };
  struct Case {
    TIEICC* to;
    TIEPixelFormat format;
  } cases[] = {{&cmyk, ieCMYK}, {&gray, ie8g}, {&lab, ieCIELab}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    std::unique_ptr<TIEBitmap> b(white());
    ASSERT_TRUE(srgb.TransformBitmap(b.get(), c.format, c.to));
    EXPECT_TRUE(srgb.Applied);
    EXPECT_FALSE(srgb.HasTransform());
    ASSERT_EQ(b->GetPixelFormat(), c.format);
    const Byte* row = static_cast<const Byte*>(b->GetScanline(0));
    if (c.format == ie8g) {
      EXPECT_LE(row[0], 5);
      EXPECT_GE(row[1], 250);
    } else if (c.format == ieCIELab) {
      EXPECT_LE(row[0], 5);
      EXPECT_GE(row[3], 245);  // white: L* 100 stored as 250
      EXPECT_NEAR(static_cast<std::int8_t>(row[4]), 0, 2);
    } else {
      EXPECT_GE(row[4], 250);  // white takes no ink (stored inverted)
      EXPECT_LE(row[3], 100);  // black takes much black ink
    }
  }

  std::unique_ptr<TIEBitmap> deep(new TIEBitmap);
  deep->Allocate(2, 2, ie16g);
  deep->Fill(1234);
  EXPECT_FALSE(srgb.TransformBitmap(deep.get(), ie24RGB, &gray));
  EXPECT_EQ(deep->GetPixelFormat(), ie16g);
  EXPECT_EQ(deep->GetPixelWord(1, 1), 1234);
}

TEST(IEICC, TransformCacheRefusalsAndWrittenBytes) {
  TIEICC srgb, gray, closed;
  Load(srgb, Profile("srgb.icc"));
  Load(gray, Profile("sgray.icc"));
  Byte in[6] = {1, 2, 3, 4, 5, 6}, out[8] = {};
  ASSERT_TRUE(srgb.Transform(&srgb, ieiccRGB, ieiccBGR, 0, 0, in, out, 2));
  EXPECT_TRUE(srgb.HasTransform());
  ASSERT_TRUE(srgb.Transform(&srgb, ieiccRGB, ieiccBGR, 0, 0, in, out, 2));
  EXPECT_FALSE(srgb.Applied);
  ASSERT_TRUE(srgb.Transform(&srgb, ieiccRGB, ieiccRGB, 0, 0, in, out, 2));
  EXPECT_TRUE(srgb.Applied);  // the first transform was replaced

  // No transform, or a layout that cannot be written: false, and the target is untouched.
  Byte untouched[8] = {7, 7, 7, 7, 7, 7, 7, 7};
  EXPECT_FALSE(srgb.Transform(&closed, ieiccRGB, ieiccRGB, 0, 0, in, untouched, 2));
  EXPECT_FALSE(srgb.Transform(&srgb, ieiccRGB, ieiccCMYK6, 0, 0, in, untouched, 1));
  EXPECT_FALSE(srgb.Transform(&srgb, ieiccRGB, 42, 0, 0, in, untouched, 1));
  EXPECT_FALSE(srgb.Transform(&gray, ieiccRGB, ieiccRGB, 0, 0, in, untouched, 1));  // grey profile, RGB layout
  for (Byte b : untouched) EXPECT_EQ(b, 7);

  TMemoryStream s;
  srgb.SaveToStream(&s, false);
  EXPECT_EQ(s.Size(), srgb.RawLength() + 4);
  EXPECT_EQ(static_cast<const Byte*>(s.Memory())[0], static_cast<Byte>(srgb.RawLength()));
  EXPECT_EQ(static_cast<const Byte*>(s.Memory())[1], static_cast<Byte>(srgb.RawLength() >> 8));
  TMemoryStream raw;
  srgb.SaveToStream(&raw, true);
  EXPECT_EQ(raw.Size(), srgb.RawLength());
  TMemoryStream none;
  closed.SaveToStream(&none, false);
  EXPECT_EQ(none.Size(), 4);
  closed.SaveToStream(&none, true);
  EXPECT_EQ(none.Size(), 4);

  TIEICC system, copy;
  system.LoadSystemSRGB();
  EXPECT_TRUE(system.IsValid());
  copy.Assign(&system);
  EXPECT_FALSE(copy.IsValid());
  copy.Assign(&srgb);
  EXPECT_TRUE(copy.IsValid());
  EXPECT_EQ(copy.ProfileDescription, srgb.ProfileDescription);
}

TEST(IEICC, DamagedProfilesAreRefusedWithoutACrash) {
  Bytes good = ReadFileBytes(Profile("srgb.icc"));
  Bytes v4 = ReadFileBytes(Profile("ps_rgb.icc"));
  TIEICC icc;
  Bytes small(128, 0);
  icc.LoadFromBuffer(small.data(), 128);
  EXPECT_FALSE(icc.IsValid());
  EXPECT_EQ(icc.ProfileDescription, "");
  Bytes many = good;
  many[128] = 0, many[129] = 0, many[130] = 0x03, many[131] = 0xE9;  // 1001 tags
  icc.LoadFromBuffer(many.data(), static_cast<Integer>(many.size()));
  EXPECT_EQ(icc.ProfileDescription, "");
  for (const Bytes* profile : {&good, &v4}) {
    // Every tag entry's offset and size made to point outside the profile.
    Integer tags = (*profile)[131];
    for (Integer t = 0; t < tags; ++t)
      for (size_t field : {4u, 8u}) {
        Bytes b = *profile;
        for (int i = 0; i < 4; ++i) b[132 + t * 12 + field + i] = 0xFF;
        icc.LoadFromBuffer(b.data(), static_cast<Integer>(b.size()));
        b[132 + t * 12 + field] = 0x00;
        b[132 + t * 12 + field + 1] = 0x00;
        icc.LoadFromBuffer(b.data(), static_cast<Integer>(b.size()));
      }
    TIEICC sys;
    sys.LoadSystemSRGB();
    std::vector<Bytes> damaged = Corruptions(*profile);
    for (size_t i = 0; i < damaged.size(); ++i) {
      icc.LoadFromBuffer(damaged[i].data(), static_cast<Integer>(damaged[i].size()));
      // Making a transform is slow; a sample of the damaged profiles that still open is enough.
      if (i % 16 == 0 && icc.IsValid()) {
        Byte px[3] = {1, 2, 3}, out[3];
        icc.Transform(&sys, ieiccRGB, ieiccRGB, 0, 0, px, out, 1);
      }
    }
  }
}

}  // namespace
