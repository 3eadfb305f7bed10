// Resampling through the processing component: a 4000 x 3000 24-bit image reduced to 1000 x 750
// with each filter, on one thread.
//
//   bench_resample [benchmark options]          Google Benchmark cases, one per filter: a tool for
//                                               finding hot spots, set against no peer
//   bench_resample --file FILTER IN.ppm OUT.ppm reads IN, reduces it to a quarter with the named
//                                               filter and writes OUT: the whole process that
//                                               compare-resample.sh times against the peers
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "bench/bench_ppm.h"
#include "imaging/core/ie_bitmap.h"
#include "imaging/proc/ie_proc.h"

namespace {

constexpr Integer kWidth = 4000;
constexpr Integer kHeight = 3000;

const char* const kFilterNames[] = {"None",     "Triangle",   "Hermite",  "Bell",     "BSpline",
                                    "Lanczos3", "Mitchell",   "Nearest",  "Linear",   "FastLinear",
                                    "Bilinear", "Bicubic",    "ProjectBW", "ProjectWB"};

void FillPattern(TIEBitmap& b) {
  for (Integer y = 0; y < b.GetHeight(); ++y) {
    Byte* row = static_cast<Byte*>(b.GetScanline(y));
    for (Integer x = 0; x < b.GetWidth() * 3; ++x) row[x] = static_cast<Byte>((x * 7) ^ (y * 13) ^ (x * y >> 9));
  }
}

void Reduce(benchmark::State& state) {
  const auto filter = static_cast<TResampleFilter>(state.range(0));
  TIEBitmap source, dest;
  source.Location = dest.Location = ieMemory;
  source.Allocate(kWidth, kHeight, ie24RGB);
  FillPattern(source);
  TZodivErProc proc(nullptr);
  proc.AttachBitmap(&source);
  for (auto _ : state) {
    proc.ResampleTo(&dest, kWidth / 4, kHeight / 4, filter);
    benchmark::DoNotOptimize(dest.GetScanline(0));
  }
  state.SetLabel(kFilterNames[filter]);
  state.SetItemsProcessed(state.iterations() * Int64(kWidth) * kHeight);
}
BENCHMARK(Reduce)->DenseRange(rfNone, rfProjectWB)->Unit(benchmark::kMillisecond)->MinTime(0.5);

int ReduceFile(const std::string& Filter, const char* In, const char* Out) {
  int filter = -1;
  for (int f = rfNone; f <= rfProjectWB; ++f)
    if (Filter == kFilterNames[f]) filter = f;
  if (filter < 0) {
    std::fprintf(stderr, "unknown filter %s\n", Filter.c_str());
    return 2;
  }
  TIEBitmap source, dest;
  dest.Location = ieMemory;
  if (!benchppm::ReadPpm(In, source)) return 1;
  TZodivErProc proc(nullptr);
  proc.AttachBitmap(&source);
  proc.ResampleTo(&dest, source.GetWidth() / 4, source.GetHeight() / 4, static_cast<TResampleFilter>(filter));
  return benchppm::WritePpm(Out, dest) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--file") == 0) return ReduceFile(argv[2], argv[3], argv[4]);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
