// Speed of the image buffer: ie24RGB -> ie8g conversion and row access on a 4000 x 3000 image.
//
//   bench_iebitmap [benchmark options]        Google Benchmark cases
//   bench_iebitmap --ppm IN.ppm OUT.pgm       reads a binary PPM, converts it to grey and writes a
//                                             binary PGM: the same job as ImageMagick's
//                                             `convert IN.ppm -colorspace gray OUT.pgm`, for
//                                             compare-iebitmap.sh
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_streams.h"

namespace {

constexpr Integer kWidth = 4000;
constexpr Integer kHeight = 3000;

void FillPattern(TIEBitmap& b) {
  for (Integer y = 0; y < b.GetHeight(); ++y) {
    Byte* row = static_cast<Byte*>(b.GetScanline(y));
    for (Integer x = 0; x < b.GetRowLen(); ++x) row[x] = static_cast<Byte>(x * 7 + y * 13);
  }
  b.UnmapAllRows();
}

void ConvertRGBToGrey(benchmark::State& state) {
  TIEBitmap src, dst;
  src.Location = dst.Location = ieMemory;
  src.Allocate(kWidth, kHeight, ie24RGB);
  FillPattern(src);
  dst.Allocate(kWidth, kHeight, ie8g);
  for (auto _ : state) {
    dst.CopyAndConvertFormat(&src);
    benchmark::DoNotOptimize(dst.GetScanline(0));
  }
  state.SetBytesProcessed(state.iterations() * Int64(kWidth) * kHeight * 3);
}
BENCHMARK(ConvertRGBToGrey)->Unit(benchmark::kMillisecond);

// The whole in-place conversion, allocation of the new store included.
void ConvertPixelFormatRGBToGrey(benchmark::State& state) {
  TIEBitmap master;
  master.Location = ieMemory;
  master.Allocate(kWidth, kHeight, ie24RGB);
  FillPattern(master);
  for (auto _ : state) {
    state.PauseTiming();
    TIEBitmap b;
    b.Location = ieMemory;
    b.Assign(&master);
    state.ResumeTiming();
    b.ConvertPixelFormat(ie8g);
    benchmark::DoNotOptimize(b.GetScanline(0));
  }
}
BENCHMARK(ConvertPixelFormatRGBToGrey)->Unit(benchmark::kMillisecond);

// Every row through GetScanline, one byte read from each pixel; Arg 0 memory block, 1 fragments,
// 2 temporary file.
void RowAccess(benchmark::State& state) {
  TIEBitmap b;
  b.Location = state.range(0) == 2 ? ieFile : ieMemory;
  if (state.range(0) == 2) b.FileThreshold = 0;
  if (state.range(0) == 1) IEAllocationRefusal = [](size_t size) { return size > 16 * 1048576; };
  b.Allocate(kWidth, kHeight, ie24RGB);
  IEAllocationRefusal = nullptr;
  if (state.range(0) == 1 && b.GetFragmentCount() == 0) state.SkipWithError("no fragments");
  FillPattern(b);
  b.Access = iedRead;
  for (auto _ : state) {
    unsigned sum = 0;
    for (Integer y = 0; y < kHeight; ++y) {
      const Byte* row = static_cast<const Byte*>(b.GetScanline(y));
      for (Integer x = 0; x < kWidth * 3; x += 3) sum += row[x];
    }
    b.UnmapAllRows();
    benchmark::DoNotOptimize(sum);
  }
  state.SetLabel(state.range(0) == 0 ? "block" : (state.range(0) == 1 ? "fragments" : "file"));
}
BENCHMARK(RowAccess)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void PixelAccessors(benchmark::State& state) {
  TIEBitmap b;
  b.Location = ieMemory;
  b.Allocate(kWidth, kHeight, ie24RGB);
  FillPattern(b);
  for (auto _ : state) {
    unsigned sum = 0;
    for (Integer y = 0; y < kHeight; y += 8)
      for (Integer x = 0; x < kWidth; ++x) sum += b.GetPixelRGB(x, y).g;
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(PixelAccessors)->Unit(benchmark::kMillisecond);

// --- the file-to-file job for the side-by-side script -------------------------------------

bool ReadToken(FILE* f, std::string& token) {
  token.clear();
  int c;
  while ((c = std::fgetc(f)) != EOF) {
    if (c == '#') {
      while ((c = std::fgetc(f)) != EOF && c != '\n') {
      }
      continue;
    }
    if (std::isspace(c)) {
      if (!token.empty()) return true;
      continue;
    }
    token.push_back(static_cast<char>(c));
  }
  return !token.empty();
}

int PpmToPgm(const char* in, const char* out) {
  FILE* f = std::fopen(in, "rb");
  if (!f) return std::perror(in), 1;
  std::string magic, w, h, maxval;
  if (!ReadToken(f, magic) || magic != "P6" || !ReadToken(f, w) || !ReadToken(f, h) || !ReadToken(f, maxval) ||
      maxval != "255") {
    std::fprintf(stderr, "%s: not an 8-bit binary PPM\n", in);
    return 1;
  }
  const long width = std::strtol(w.c_str(), nullptr, 10), height = std::strtol(h.c_str(), nullptr, 10);
  if (width < 1 || height < 1 || width > 100000 || height > 100000) return 1;
  TIEBitmap b;
  b.Location = ieMemory;
  if (!b.Allocate(Integer(width), Integer(height), ie24RGB)) return 1;
  std::vector<Byte> line(static_cast<size_t>(width) * 3);
  for (Integer y = 0; y < height; ++y) {
    if (std::fread(line.data(), 1, line.size(), f) != line.size()) return 1;
    TRGB* row = static_cast<TRGB*>(b.GetScanline(y));
    for (long x = 0; x < width; ++x) row[x] = TRGB{line[3 * x + 2], line[3 * x + 1], line[3 * x]};
  }
  std::fclose(f);
  b.ConvertPixelFormat(ie8g);
  FILE* o = std::fopen(out, "wb");
  if (!o) return std::perror(out), 1;
  std::fprintf(o, "P5\n%ld %ld\n255\n", width, height);
  for (Integer y = 0; y < height; ++y) std::fwrite(b.GetScanline(y), 1, static_cast<size_t>(width), o);
  return std::fclose(o) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--ppm") == 0) return PpmToPgm(argv[2], argv[3]);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
