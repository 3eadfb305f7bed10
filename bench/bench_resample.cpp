// Speed of resampling through the processing component: a 4000 x 3000 24-bit image reduced to
// 1000 x 750 with each filter, on one thread.
//
//   bench_resample [benchmark options]    Google Benchmark cases, one per filter; the peers'
//                                         times for the same job come from compare-resample.sh
#include <benchmark/benchmark.h>

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

}  // namespace

BENCHMARK_MAIN();
