// Turning and mirroring: exact turns and mirrors of every pixel format against pamflip, the
// arbitrary-angle kernels against pnmrotate, and what users see at the edges.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_bits.h"
#include "imaging/core/ie_pixel_format.h"
#include "imaging/proc/ie_rotate.h"
#include "imaging/proc/ie_rotate_kernels.h"
#include "tests/imaging/proc/netpbm_io.h"
#include "tests/imaging/support/ie_stores.h"
#include "tests/support/fixtures.h"

namespace {

// The pixel bytes of every row, the unused bits after a 1-bit row's last pixel cleared.
std::vector<Byte> Raster(TIEBitmap& b) {
  const Integer w = b.GetWidth();
  const bool bits = b.GetPixelFormat() == ie1g;
  const size_t n = bits ? static_cast<size_t>((w + 7) / 8) : static_cast<size_t>(w) * IEBytesPerPixel(b.GetPixelFormat());
  std::vector<Byte> r;
  for (Integer y = 0; y < b.GetHeight(); ++y) {
    const Byte* p = static_cast<const Byte*>(b.GetScanline(y));
    r.insert(r.end(), p, p + n);
    if (bits && w % 8) r.back() &= static_cast<Byte>(0xFF << (8 - w % 8));
  }
  return r;
}

void Randomize(TIEBitmap& b, std::mt19937& rng) {
  const size_t n = b.GetPixelFormat() == ie1g ? static_cast<size_t>((b.GetWidth() + 7) / 8)
                                              : static_cast<size_t>(b.GetWidth()) * IEBytesPerPixel(b.GetPixelFormat());
  for (Integer y = 0; y < b.GetHeight(); ++y) {
    Byte* p = static_cast<Byte*>(b.GetScanline(y));
    for (size_t i = 0; i < n; ++i) p[i] = Byte(rng());
  }
}

// Runs an operation that writes a new bitmap and puts the result back.
void Into(TIEBitmap& b, const std::function<void(TIEBitmap*, TIEBitmap*)>& Op) {
  TIEBitmap d;
  Op(&b, &d);
  b.Assign(&d);
}

struct TTurnCase {
  std::string Name;
  std::string Pamflip;
  std::vector<TIEPixelFormat> Formats;  // empty: every format
  std::function<void(TIEBitmap&)> Run;
};

std::vector<TTurnCase> TurnCases() {
  const std::vector<TIEPixelFormat> rgb{ie24RGB}, bytes{ie8g, ie8p}, bits{ie1g};
  const auto nearest = [](double a) {
    return [a](TIEBitmap& b) { Into(b, [a](TIEBitmap* s, TIEBitmap* d) { IERotateNearest(s, d, a, 0, nullptr, nullptr); }); };
  };
  const auto shears = [](double a) {
    return [a](TIEBitmap& b) { IERotateBitmap(&b, true, nullptr, a, TRGB{1, 2, 3}, nullptr); };
  };
  const auto shears8 = [](double a) { return [a](TIEBitmap& b) { IERotateBitmap8(&b, true, 7, a, nullptr, nullptr); }; };
  const auto gray = [](double a) { return [a](TIEBitmap& b) { IERotateGray8Nearest(&b, 7, a); }; };
  const auto bw = [](double a) {
    return [a](TIEBitmap& b) {
      TIECodecProgress p;
      IERotateBW(&b, true, p, a);
    };
  };
  return {
      {"IEFlipBitmap horizontal", "-lr", {}, [](TIEBitmap& b) { IEFlipBitmap(&b, 0); }},
      {"IEFlipBitmap vertical", "-tb", {}, [](TIEBitmap& b) { IEFlipBitmap(&b, 1); }},
      {"IERotateNearest 90", "-r90", {}, nearest(90)},
      {"IERotateNearest -90", "-r270", {}, nearest(-90)},
      {"IERotateNearest 180", "-r180", {}, nearest(180)},
      {"IERotateNearest -270", "-r90", {}, nearest(-270)},
      {"IERotateNearestInPlace 450", "-r90", {}, [](TIEBitmap& b) { IERotateNearestInPlace(&b, 450, 0, nullptr, nullptr); }},
      {"IERotateBitmap 90", "-r90", rgb, shears(90)},
      {"IERotateBitmap -90", "-r270", rgb, shears(-90)},
      {"IERotateBitmap 180", "-r180", rgb, shears(180)},
      {"IERotateBitmap 450", "-r90", rgb, shears(450)},
      {"IERotateBitmap 270 (1 bit)", "-r270", bits, shears(270)},
      {"IERotate24Clockwise90", "-r270", rgb, [](TIEBitmap& b) { Into(b, IERotate24Clockwise90); }},
      {"IERotate24CounterClockwise90", "-r90", rgb, [](TIEBitmap& b) { Into(b, IERotate24CounterClockwise90); }},
      {"IERotateBitmap8 90", "-r90", bytes, shears8(90)},
      {"IERotateBitmap8 -90", "-r270", bytes, shears8(-90)},
      {"IERotateBitmap8 -180", "-r180", bytes, shears8(-180)},
      {"IERotate8Clockwise90", "-r270", bytes, [](TIEBitmap& b) { Into(b, IERotate8Clockwise90); }},
      {"IERotate8CounterClockwise90", "-r90", bytes, [](TIEBitmap& b) { Into(b, IERotate8CounterClockwise90); }},
      {"IERotateGray8Nearest 90", "-r90", bytes, gray(90)},
      {"IERotateGray8Nearest 270", "-r270", bytes, gray(270)},
      {"IERotateGray8Nearest 180", "-r180", bytes, gray(180)},
      {"IERotateBW 90", "-r90", bits, bw(90)},
      {"IERotateBW -90", "-r270", bits, bw(-90)},
      {"IERotateBW 180", "-r180", bits, bw(180)},
  };
}

TEST(Rotate, QuarterTurnsAndMirrorsEqualPamflipForEveryFormatAndStore) {
  const std::string dir = testsupport::MakeTempDir("turns");
  const Integer w = 13, h = 5;  // a 1-bit row ends inside its second byte
  std::mt19937 rng(105);
  struct TJob {
    std::string Label;
    TIEPixelFormat Format;
    const TTurnCase* Case;
    std::vector<Byte> Input;
    std::string Out;
  };
  const std::vector<TTurnCase> cases = TurnCases();
  std::vector<TJob> jobs;
  std::string script;
  for (Byte f = ie1g; f < IEPixelFormatCount; ++f) {
    const auto format = TIEPixelFormat(f);
    for (const TTurnCase& c : cases) {
      if (!c.Formats.empty() && std::find(c.Formats.begin(), c.Formats.end(), format) == c.Formats.end()) continue;
      TIEBitmap b(w, h, format);
      Randomize(b, rng);
      const std::string name = dir + "/j" + std::to_string(jobs.size());
      const Integer depth = format == ie1g ? 0 : IEBytesPerPixel(format);
      ietest::WriteNetpbm(name + ".in", w, h, depth, Raster(b));
      script += "pamflip " + c.Pamflip + " " + name + ".in > " + name + ".out && ";
      jobs.push_back({c.Name + " format " + std::to_string(f), format, &c, Raster(b), name + ".out"});
    }
  }
  testsupport::RunOk(script + "true");
  for (const TJob& j : jobs) {
    const ietest::TNetpbm expected = ietest::ReadNetpbm(j.Out);
    ietest::ForEachStore([&](ietest::Store, ietest::StoreScope& scope) {
      if (!scope.Holds(j.Format)) return;
      TIEBitmap b;
      scope.Prepare(b);
      ASSERT_TRUE(b.Allocate(w, h, j.Format)) << j.Label;
      const size_t n = j.Input.size() / h;
      for (Integer y = 0; y < h; ++y) std::memcpy(b.GetScanline(y), &j.Input[n * y], n);
      j.Case->Run(b);
      EXPECT_EQ(b.GetWidth(), expected.Width) << j.Label;
      EXPECT_EQ(b.GetHeight(), expected.Height) << j.Label;
      EXPECT_EQ(b.GetPixelFormat(), j.Format) << j.Label;
      EXPECT_TRUE(Raster(b) == expected.Data) << j.Label;
    });
  }
  testsupport::RemoveTree(dir);
}

// Peak signal-to-noise ratio of two 24-bit rasters over their common centred area, inset by
// two pixels, at the best placement within one pixel: the kernels and pnmrotate may put the
// picture half a pixel apart.
double Psnr(TIEBitmap& Ours, const ietest::TNetpbm& Theirs) {
  const Integer w = std::min(Ours.GetWidth(), Theirs.Width) - 4, h = std::min(Ours.GetHeight(), Theirs.Height) - 4;
  const Integer ox = (Ours.GetWidth() - w) / 2, oy = (Ours.GetHeight() - h) / 2;
  double best = 0;
  for (Integer dy = -1; dy <= 1; ++dy)
    for (Integer dx = -1; dx <= 1; ++dx) {
      const Integer tx = (Theirs.Width - w) / 2 + dx, ty = (Theirs.Height - h) / 2 + dy;
      double sum = 0;
      for (Integer y = 0; y < h; ++y) {
        const Byte* a = static_cast<const Byte*>(Ours.GetScanline(y + oy)) + 3 * ox;
        const Byte* b = &Theirs.Data[(static_cast<size_t>(y + ty) * Theirs.Width + tx) * 3];
        for (Integer x = 0; x < w; ++x)
          for (Integer c = 0; c < 3; ++c) {
            const double d = double(a[3 * x + c]) - b[3 * x + 2 - c];  // B, G, R against R, G, B
            sum += d * d;
          }
      }
      const double mse = sum / (double(w) * h * 3);
      best = std::max(best, mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse));
    }
  return best;
}

TEST(Rotate, ThirtyDegreesGivesTheKernelsSizesAndAgreesWithPnmrotate) {
  const std::string rose = testsupport::Fixture("rotate-rose-100x50.ppm", "convert rose: -resize '100x50!' ppm:{out}");
  const std::string turned = testsupport::Fixture(
      "rotate-rose-30.ppm", "pnmrotate -background=rgb:00/00/00 30 " + rose + " > {out}");
  const ietest::TNetpbm src = ietest::ReadNetpbm(rose), ref = ietest::ReadNetpbm(turned);
  ASSERT_EQ(src.Width, 100);
  const auto load = [&](TIEBitmap& b) {
    b.Allocate(100, 50, ie24RGB);
    for (Integer y = 0; y < 50; ++y) {
      Byte* d = static_cast<Byte*>(b.GetScanline(y));
      for (Integer x = 0; x < 100; ++x)
        for (Integer c = 0; c < 3; ++c) d[3 * x + c] = src.Data[(static_cast<size_t>(y) * 100 + x) * 3 + 2 - c];
    }
  };
  struct TKernel {
    const char* Name;
    Integer Width, Height;
    double MinPsnr;
    std::function<void(TIEBitmap&)> Run;
  } kernels[] = {
      {"shears", 112, 94, 29, [](TIEBitmap& b) { IERotateBitmap(&b, true, nullptr, 30, TRGB{0, 0, 0}, nullptr); }},
      {"bilinear", 112, 94, 29, [](TIEBitmap& b) { IERotateAntialias24(&b, 30, 0, 1, nullptr, nullptr); }},
      {"bicubic", 112, 94, 28, [](TIEBitmap& b) { IERotateAntialias24(&b, 30, 0, 2, nullptr, nullptr); }},
      {"nearest", 112, 93, 24, [](TIEBitmap& b) { IERotateNearestInPlace(&b, 30, 0, nullptr, nullptr); }},
  };
  for (const TKernel& k : kernels) {
    TIEBitmap b;
    load(b);
    k.Run(b);
    EXPECT_EQ(b.GetWidth(), k.Width) << k.Name;
    EXPECT_EQ(b.GetHeight(), k.Height) << k.Name;
    const double psnr = Psnr(b, ref);
    EXPECT_GE(psnr, k.MinPsnr) << k.Name;
    std::printf("%s: %d x %d, PSNR %.1f dB against pnmrotate\n", k.Name, b.GetWidth(), b.GetHeight(), psnr);
  }
}

TEST(Rotate, EdgesTakeTheBackgroundAndSamplesStayInRange) {
  // A 1-bit image is white outside only when no channel of the background is 0.
  for (const auto& [bg, white] : {std::pair{TRGB{255, 255, 255}, true}, std::pair{TRGB{255, 0, 255}, false}}) {
    TIEBitmap b(40, 20, ie1g);
    b.Fill(0);
    IERotateBitmap(&b, true, nullptr, 10, bg, nullptr);
    EXPECT_EQ(IEGetBit(static_cast<const Byte*>(b.GetScanline(0)), 0), white);
    EXPECT_EQ(IEGetBit(static_cast<const Byte*>(b.GetScanline(b.GetHeight() - 1)), b.GetWidth() - 1), white);
  }
  // The nearest rotation of a 1-bit image leaves black corners whatever the background.
  TIEBitmap ones(30, 30, ie1g), turned;
  ones.Fill(1);
  IERotateNearest(&ones, &turned, 45, 0xFFFFFF, nullptr, nullptr);
  EXPECT_FALSE(IEGetBit(static_cast<const Byte*>(turned.GetScanline(0)), 0));
  EXPECT_TRUE(IEGetBit(static_cast<const Byte*>(turned.GetScanline(turned.GetHeight() / 2)), turned.GetWidth() / 2));

  // Bicubic overshoot beside a hard edge is cut, not folded back into a bright fringe.
  Byte row[4] = {0, 0, 0, 255};
  Byte* rows[1] = {row};
  const TIERotSource edge{rows, 4, 1};
  EXPECT_EQ(IERotSampleBicubic8(edge, 1.5, 0, 0), 0);
  Byte high[4] = {255, 255, 255, 0};
  Byte* highRows[1] = {high};
  EXPECT_EQ(IERotSampleBicubic8(TIERotSource{highRows, 4, 1}, 1.5, 0, 0), 255);
  EXPECT_EQ(IERotSampleBilinear8(TIERotSource{highRows, 4, 1}, 2.5, 0, 0), 127);

  // Smooth corners: the colour outside the picture is the background, blended at the edge.
  TIEBitmap grey(20, 10, ie24RGB);
  grey.Fill(0x808080);
  IERotateAntialias24(&grey, 20, 0x0000FF, 2, nullptr, nullptr);
  EXPECT_EQ(grey.GetPixelRGB(0, 0), (TRGB{0, 0, 255}));
  EXPECT_EQ(grey.GetPixelRGB(grey.GetWidth() / 2, grey.GetHeight() / 2), (TRGB{128, 128, 128}));
}

TEST(Rotate, ShearAnglesAreReducedInThousandthsAndProgressStaysInRange) {
  struct TCase {
    double Angle;
    Integer Width, Height;  // of a 100 x 50 image
  } cases[] = {{30, 112, 94}, {45, 108, 105}, {46, 106, 108}, {-30, 112, 94}, {390, 112, 94}, {-44.9995, 108, 105}};
  for (const TCase& c : cases) {
    TIEBitmap b(100, 50, ie24RGB);
    b.Fill(0x404040);
    std::vector<Integer> seen;
    IERotateBitmap(&b, true, nullptr, c.Angle, TRGB{0, 0, 0}, [&](TObject*, Integer p) { seen.push_back(p); });
    EXPECT_EQ(b.GetWidth(), c.Width) << c.Angle;
    EXPECT_EQ(b.GetHeight(), c.Height) << c.Angle;
    ASSERT_FALSE(seen.empty());
    for (size_t i = 0; i < seen.size(); ++i) {
      EXPECT_TRUE(seen[i] >= 0 && seen[i] <= 100) << c.Angle;
      if (i) {
        EXPECT_GE(seen[i], seen[i - 1]) << c.Angle;
      }
    }
    // A flat picture stays flat where no edge blends in.
    EXPECT_EQ(b.GetPixelRGB(c.Width / 2, c.Height / 2), (TRGB{64, 64, 64})) << c.Angle;
  }
}

TEST(Rotate, MirrorTakesTheAlphaChannelAlong) {
  TIEBitmap b(10, 2, ie1g);
  b.Fill(0);
  IESetBit(static_cast<Byte*>(b.GetScanline(0)), 0, true);
  IESetBit(static_cast<Byte*>(b.GetScanline(0)), 1, true);
  b.GetAlphaChannel()->Fill(255);
  b.SetAlphaValue(0, 0, 10);
  IEFlipBitmap(&b, 0);
  const Byte* r = static_cast<const Byte*>(b.GetScanline(0));
  for (Integer x = 0; x < 10; ++x) EXPECT_EQ(IEGetBit(r, x), x >= 8) << x;
  EXPECT_EQ(b.GetAlphaValue(9, 0), 10);
  EXPECT_EQ(b.GetAlphaValue(0, 0), 255);
  EXPECT_FALSE(b.GetAlphaChannel()->Full);
}

}  // namespace
