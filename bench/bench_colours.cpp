// Speed of the Gaussian blur of grey images and of the reduction to 256 colours on a 4000 x 3000
// photo, for the side-by-side comparison with ImageMagick and libvips (compare-colours.sh).
//
//   bench_colours [benchmark options]             Google Benchmark cases (in memory)
//   bench_colours --blur RADIUS IN.pgm OUT.pgm     like `convert IN -gaussian-blur 0xRADIUS OUT`
//   bench_colours --colors N IN.ppm OUT.ppm        like `convert IN +dither -colors N OUT`
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/bench_ppm.h"
#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_params.h"
#include "imaging/formats/pnm/ie_pnm.h"
#include "imaging/proc/ie_blur.h"
#include "imaging/proc/ie_proc.h"
#include "platform/rtl/streams.h"

namespace {

using TJob = benchppm::TBitmapJob;

int RunJob(const std::string& Mode, double Value, const char* In, const char* Out) {
  TJob job;
  {
    TFileStream in{AnsiString(In), fmOpenRead};
    ReadPXMStream(&in, &job.Bitmap, job.Params, job.Progress, false);
  }
  if (job.Failed("reading", In)) return 1;
  job.Params.PxmComments->Clear();
  job.Params.BitsPerSample = 8;
  if (Mode == "--blur") {
    job.Bitmap.SetPixelFormat(ie8g);
    IEBlurGrayRect(&job.Bitmap, 0, 0, job.Bitmap.GetWidth() - 1, job.Bitmap.GetHeight() - 1, Value);
    job.Params.SamplesPerPixel = 1;
  } else {
    TZodivErProc proc(nullptr);
    proc.AttachBitmap(&job.Bitmap);
    proc.ConvertTo(static_cast<Integer>(Value), 0);
    job.Params.SamplesPerPixel = 3;
  }
  TFileStream out{AnsiString(Out), fmCreate};
  WritePXMStream(&out, &job.Bitmap, job.Params, job.Progress);
  return job.Failed("writing", Out) ? 1 : 0;
}

void Photo(TIEBitmap& B, TIEPixelFormat Format) {
  B.Location = ieMemory;
  B.Allocate(4000, 3000, Format);
  const Integer bytes = Format == ie8g ? 4000 : 12000;
  for (Integer y = 0; y < 3000; ++y) {
    Byte* row = static_cast<Byte*>(B.GetScanline(y));
    for (Integer x = 0; x < bytes; ++x) row[x] = static_cast<Byte>((x * 7 + y * 3) ^ (x * y >> 9));
  }
}

void GaussianBlur(benchmark::State& state) {
  TIEBitmap b;
  Photo(b, ie8g);
  for (auto _ : state) IEBlurGrayRect(&b, 0, 0, 3999, 2999, static_cast<double>(state.range(0)));
}
BENCHMARK(GaussianBlur)->Arg(2)->Arg(10)->Unit(benchmark::kMillisecond);

void ConvertTo256(benchmark::State& state) {
  TIEBitmap source;
  Photo(source, ie24RGB);
  for (auto _ : state) {
    state.PauseTiming();
    TIEBitmap b;
    b.Location = ieMemory;
    b.Assign(&source);
    TZodivErProc proc(nullptr);
    proc.AttachBitmap(&b);
    state.ResumeTiming();
    proc.ConvertTo(256, 0);
  }
}
BENCHMARK(ConvertTo256)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && (std::strcmp(argv[1], "--blur") == 0 || std::strcmp(argv[1], "--colors") == 0))
    return RunJob(argv[1], std::atof(argv[2]), argv[3], argv[4]);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
