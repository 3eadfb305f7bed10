// The resampling engines against an independent python model of their integer arithmetic, for
// every cell of the dispatch (source format x filter), plus the faults users would see.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_processing_services.h"
#include "imaging/proc/ie_proc_services.h"
#include "imaging/proc/resample/ie_resample.h"
#include "platform/gui/bitmap.h"
#include "tests/support/fixtures.h"

namespace {

Integer PackedRowBytes(TIEPixelFormat pf, Integer w) {
  switch (pf) {
    case ie1g: return (w + 7) / 8;
    case ie8g: return w;
    case ie16g: return w * 2;
    case ie24RGB: return w * 3;
    case ieRGB48: return w * 6;
    default: return 0;
  }
}

std::string Packed(TIEBitmap& b) {
  std::string s;
  const Integer n = PackedRowBytes(b.GetPixelFormat(), b.GetWidth());
  for (Integer y = 0; y < b.GetHeight(); ++y) s.append(static_cast<const char*>(b.GetScanline(y)), n);
  return s;
}

void FillRandom(TIEBitmap& b, std::mt19937& rng) {
  const Integer n = PackedRowBytes(b.GetPixelFormat(), b.GetWidth());
  for (Integer y = 0; y < b.GetHeight(); ++y) {
    Byte* row = static_cast<Byte*>(b.GetScanline(y));
    for (Integer i = 0; i < n; ++i) row[i] = Byte(rng());
  }
}

struct TCell {
  TIEPixelFormat Format;
  TResampleFilter Filter;
  char Entry;  // F = IEResampleFiltered, G = IEResampleGray8, B = IEResampleBW
  std::string Engine;  // model engine; empty when Dest must stay untouched
  Integer Channels;
  TIEPixelFormat DestFormat;
};

std::vector<TCell> DispatchCells() {
  std::vector<TCell> cells;
  for (Integer f = rfTriangle; f <= rfProjectWB; ++f) {
    const auto filter = TResampleFilter(f);
    const bool kernel = f <= rfLinear;
    const std::string k = "kernel:" + std::to_string(f);
    // 24-bit
    if (kernel) cells.push_back({ie24RGB, filter, 'F', k, 3, ie24RGB});
    else if (f == rfFastLinear) cells.push_back({ie24RGB, filter, 'F', "fast", 3, ie24RGB});
    else if (f == rfBilinear || f == rfBicubic)
      cells.push_back({ie24RGB, filter, 'F', "area8:" + std::to_string(f == rfBicubic), 3, ie24RGB});
    else cells.push_back({ie24RGB, filter, 'F', "projectrgb:" + std::to_string(f == rfProjectWB), 3, ie24RGB});
    // 8-bit grey through both entries
    const std::string gray = kernel ? k : "fast";
    cells.push_back({ie8g, filter, 'G', gray, 1, ie8g});
    if (f == rfBilinear || f == rfBicubic)
      cells.push_back({ie8g, filter, 'F', "area8:" + std::to_string(f == rfBicubic), 1, ie8g});
    else cells.push_back({ie8g, filter, 'F', gray, 1, ie8g});
    // 16-bit samples: only the area engine
    for (TIEPixelFormat pf : {ie16g, ieRGB48}) {
      const Integer ch = pf == ie16g ? 1 : 3;
      if (f == rfBilinear || f == rfBicubic)
        cells.push_back({pf, filter, 'F', "area16:" + std::to_string(f == rfBicubic), ch, pf});
      else cells.push_back({pf, filter, 'F', "", ch, pf});
    }
    // 1 bit
    if (kernel) cells.push_back({ie1g, filter, 'B', "kernelbits:" + std::to_string(f), 1, ie24RGB});
    else if (f <= rfBicubic) cells.push_back({ie1g, filter, 'B', "fastbits", 1, ie24RGB});
    else cells.push_back({ie1g, filter, 'B', "projectbits:" + std::to_string(f == rfProjectWB), 1, ie24RGB});
  }
  return cells;
}

TEST(ResampleEngine, EveryDispatchCellMatchesTheReferenceModelBitForBit) {
  const std::string dir = testsupport::MakeTempDir("resample");
  const struct { Integer sw, sh, dw, dh; } sizes[] = {
      {7, 5, 13, 9}, {11, 9, 4, 3}, {9, 6, 9, 11}, {10, 7, 3, 12}, {23, 3, 5, 7}, {6, 4, 6, 4},
      {5, 12, 11, 4}, {30, 21, 10, 7}};
  std::mt19937 rng(24);
  std::ofstream jobs(dir + "/jobs");
  struct TOut { std::string Name, Actual, Label; };
  std::vector<TOut> outputs;
  Integer n = 0;
  for (const TCell& cell : DispatchCells()) {
    for (const auto& s : sizes) {
      TIEBitmap src(s.sw, s.sh, cell.Format);
      FillRandom(src, rng);
      TIEBitmap dst(s.dw, s.dh, cell.DestFormat);
      dst.Fill(0);
      const std::string before = Packed(dst);
      if (cell.Entry == 'F') IEResampleFiltered(&src, &dst, cell.Filter);
      else if (cell.Entry == 'G') IEResampleGray8(&src, &dst, cell.Filter);
      else IEResampleBW(&src, &dst, cell.Filter);
      std::ostringstream label;
      label << "format " << int(cell.Format) << " filter " << int(cell.Filter) << " via " << cell.Entry << " "
            << s.sw << "x" << s.sh << "->" << s.dw << "x" << s.dh;
      if (cell.Engine.empty()) {
        EXPECT_EQ(Packed(dst), before) << label.str();
        continue;
      }
      const std::string name = dir + "/c" + std::to_string(n++);
      std::ofstream(name + ".in", std::ios::binary) << Packed(src);
      jobs << cell.Engine << " " << cell.Channels << " " << s.sw << " " << s.sh << " " << s.dw << " " << s.dh << " "
           << name << ".in " << name << ".out\n";
      outputs.push_back({name, Packed(dst), label.str()});
    }
  }
  jobs.close();
  testsupport::RunOk("python3 " CLAVORNE_SOURCE_DIR "/tests/imaging/proc/resample_reference.py --batch " + dir + "/jobs");
  for (const TOut& o : outputs) {
    std::ifstream in(o.Name + ".out", std::ios::binary);
    const std::string expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(o.Actual.size(), expected.size()) << o.Label;
    EXPECT_TRUE(o.Actual == expected) << o.Label;
  }
  testsupport::RemoveTree(dir);
}

std::vector<Byte> Row24Gray(TIEBitmap& b, Integer y) {
  std::vector<Byte> v;
  const Byte* p = static_cast<const Byte*>(b.GetScanline(y));
  for (Integer x = 0; x < b.GetWidth(); ++x) v.push_back(p[x * 3]);
  return v;
}

TEST(ResampleEngine, KnownAnswersAndFaultsUsersWouldSee) {
  // Pieces are sampled at their ends: (0, 255) bilinearly to eight pixels.
  TIEBitmap two(2, 1, ie8g);
  Byte* p = static_cast<Byte*>(two.GetScanline(0));
  p[0] = 0;
  p[1] = 255;
  TIEBitmap eight(8, 1, ie8g);
  IEResampleFiltered(&two, &eight, rfBilinear);
  const Byte* e = static_cast<const Byte*>(eight.GetScanline(0));
  EXPECT_EQ(std::vector<Byte>(e, e + 8), (std::vector<Byte>{64, 128, 191, 255, 255, 255, 255, 255}));

  // A bicubic overshoot next to a hard edge is clamped: the dark side never turns bright.
  TIEBitmap edge(4, 1, ie8g);
  Byte* q = static_cast<Byte*>(edge.GetScanline(0));
  q[0] = q[1] = 0;
  q[2] = q[3] = 255;
  TIEBitmap wide(16, 1, ie8g);
  IEResampleFiltered(&edge, &wide, rfBicubic);
  const Byte* w = static_cast<const Byte*>(wide.GetScanline(0));
  for (Integer x = 1; x < 16; ++x) EXPECT_GE(w[x], w[x - 1]) << x;

  // Reductions of 1000x and more keep the picture instead of turning black.
  for (TResampleFilter f : {rfTriangle, rfLanczos3, rfMitchell, rfNearest}) {
    TIEBitmap strip(2048, 2, ie24RGB);
    strip.Fill(0xC8C8C8);
    TIEBitmap tiny(2, 2, ie24RGB);
    tiny.Fill(0);
    IEResampleFiltered(&strip, &tiny, f);
    EXPECT_EQ(Row24Gray(tiny, 0), (std::vector<Byte>{200, 200})) << int(f);
  }

  // An axis whose size does not change is copied, even by filters wider than a pixel.
  std::mt19937 rng(7);
  TIEBitmap columns(9, 4, ie24RGB);
  Byte* c0 = static_cast<Byte*>(columns.GetScanline(0));
  for (Integer i = 0; i < 27; ++i) c0[i] = Byte(rng());
  for (Integer y = 1; y < 4; ++y) std::memcpy(columns.GetScanline(y), c0, 27);
  for (TResampleFilter f : {rfBell, rfBSpline, rfMitchell, rfFastLinear}) {
    TIEBitmap tall(9, 10, ie24RGB);
    IEResampleFiltered(&columns, &tall, f);
    for (Integer y = 0; y < 10; ++y) EXPECT_EQ(std::memcmp(tall.GetScanline(y), c0, 27), 0) << int(f) << " row " << y;
  }
}

TEST(ResampleEngine, ProgressStaysWithinRangeAndReportsChangesOnly) {
  TIEBitmap src(40, 30, ie24RGB);
  src.Fill(0x808080);
  for (TResampleFilter f : {rfLanczos3, rfFastLinear, rfBicubic, rfProjectBW}) {
    TIEBitmap dst(17, 13, ie24RGB);
    std::vector<Integer> seen;
    IEResampleFiltered(&src, &dst, f, [&](TObject*, Integer v) { seen.push_back(v); });
    ASSERT_FALSE(seen.empty()) << int(f);
    for (Integer v : seen) EXPECT_TRUE(v >= 0 && v <= 100) << int(f);
    if (f == rfLanczos3) {
      EXPECT_LE(seen.back(), 99);
      for (size_t i = 1; i < seen.size(); ++i) EXPECT_NE(seen[i], seen[i - 1]);
    }
    if (f == rfBicubic) {
      EXPECT_EQ(seen.back(), 100);
    }
  }
}

TEST(ResampleEngine, RegisteredServicesDriveTheCoresStretching) {
  IERegisterProcessingServices();
  ASSERT_TRUE(IEProcessingServices.ResamplingAvailable());
  // The core passes the rectangle's far corner row first.
  TIEBitmap bits(8, 8, ie1g);
  bits.Fill(1);
  TIEBitmap gray(4, 4, ie24RGB);
  gray.Fill(0);
  IEProcessingServices.ShrinkBWRect(&bits, 0, 0, &gray, 7, 7);
  for (Integer y = 0; y < 4; ++y) EXPECT_EQ(Row24Gray(gray, y), std::vector<Byte>(4, 255));
  // A rectangle past the source's edge is clipped, not read out of bounds.
  IEShrinkBWRect(&bits, -5, -5, 100, 100, &gray);
  EXPECT_EQ(Row24Gray(gray, 3), std::vector<Byte>(4, 255));
}

// A filtered drawing shows what the resampler makes of the picture inside its rectangle and
// nothing outside it or outside the clip, in memory and in a framework bitmap; a picture drawn
// into another image over the same framework bitmap is read before it is overwritten.
TEST(ResampleEngine, FilteredDrawingPutsTheResamplersPictureInItsRectangleOnly) {
  IERegisterProcessingServices();
  std::mt19937 rng(31);
  TIEBitmap source(37, 29, ie24RGB);
  source.Location = ieMemory;
  FillRandom(source, rng);
  const TRGB back{1, 2, 3};
  struct TCase {
    TResampleFilter Filter;
    TIELocation Store;
    Integer X, Y, W, H;
    TRect Clip;  // inclusive; empty Right means none
  } cases[] = {
      {rfTriangle, ieMemory, 5, 4, 20, 15, {}},         {rfLanczos3, ieTBitmap, 30, 1, 19, 13, {}},
      {rfFastLinear, ieMemory, 0, 0, 50, 40, {}},       {rfBicubic, ieTBitmap, 11, 7, 23, 21, {}},
      {rfBicubic, ieMemory, 3, 2, 74, 58, {}},          {rfTriangle, ieTBitmap, 5, 4, 20, 15, {8, 6, 14, 30}},
      {rfLanczos3, ieMemory, 2, 3, 45, 35, {0, 0, 40, 20}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.Filter) << " at " << c.X << "," << c.Y << " " << c.W << "x" << c.H);
    TIEBitmap dest;
    dest.Location = c.Store;
    dest.Allocate(80, 64, ie24RGB);
    ASSERT_EQ(dest.Location, c.Store);
    for (Integer y = 0; y < 64; ++y)
      for (Integer x = 0; x < 80; ++x) static_cast<TRGB*>(dest.GetScanline(y))[x] = back;
    TIEBitmap want(c.W, c.H, ie24RGB);
    IEResampleFiltered(&source, &want, c.Filter);
    const bool clipped = c.Clip.Right != 0;
    source.RenderToTIEBitmap(&dest, nullptr, clipped ? &c.Clip : nullptr, c.X, c.Y, c.W, c.H, 0, 0, 37, 29, false,
                             false, 255, c.Filter, true, 0);
    Integer bad = 0;
    for (Integer y = 0; y < 64; ++y)
      for (Integer x = 0; x < 80; ++x) {
        const bool shown = x >= c.X && x < c.X + c.W && y >= c.Y && y < c.Y + c.H &&
                           (!clipped || (x >= c.Clip.Left && x <= c.Clip.Right && y >= c.Clip.Top && y <= c.Clip.Bottom));
        const TRGB expected = shown ? static_cast<TRGB*>(want.GetScanline(y - c.Y))[x - c.X] : back;
        if (!(static_cast<TRGB*>(dest.GetScanline(y))[x] == expected)) ++bad;
      }
    EXPECT_EQ(bad, 0);
  }

  TBitmap shared;
  shared.SetPixelFormat(pf24bit);
  shared.SetSize(40, 30);
  TIEBitmap original(40, 30, ie24RGB);
  FillRandom(original, rng);
  for (Integer y = 0; y < 30; ++y) std::memcpy(shared.ScanLine(y), original.GetScanline(y), 40 * 3);
  TIEBitmap from, into;
  from.EncapsulateTBitmap(&shared, false);
  into.EncapsulateTBitmap(&shared, false);
  TIEBitmap want(20, 15, ie24RGB);
  IEResampleFiltered(&original, &want, rfBicubic);
  from.RenderToTIEBitmap(&into, nullptr, nullptr, 20, 15, 20, 15, 0, 0, 40, 30, false, false, 255, rfBicubic, true, 0);
  Integer bad = 0;
  for (Integer y = 0; y < 15; ++y)
    if (std::memcmp(static_cast<Byte*>(shared.ScanLine(15 + y)) + 60, want.GetScanline(y), 20 * 3) != 0) ++bad;
  EXPECT_EQ(bad, 0);
}

}  // namespace
