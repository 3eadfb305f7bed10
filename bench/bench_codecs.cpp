// The codecs on a 4000 x 3000 photo. The file-to-file modes are the work that the side-by-side
// scripts time as whole processes: JPEG and PNG against libjpeg's and libpng's own tools
// (compare-codecs.sh), GIF, PCX and TGA against netpbm's (compare-palette-codecs.sh), JPEG 2000
// against OpenJPEG's (compare-jp2.sh). The Google
// Benchmark case is an in-process tool for finding hot spots and is set against no peer.
//
//   bench_codecs [benchmark options]            Google Benchmark cases (in-memory decode)
//   bench_codecs --jpeg-load IN.jpg OUT.ppm     like `djpeg IN.jpg > OUT.ppm`
//   bench_codecs --jpeg-save IN.ppm OUT.jpg     like `cjpeg IN.ppm > OUT.jpg` (quality 75, 2x2)
//   bench_codecs --png-load IN.png OUT.ppm      like `pngtopam IN.png > OUT.ppm`
//   bench_codecs --png-save IN.ppm OUT.png      like `pnmtopng IN.ppm > OUT.png` (zlib level 6,
//                                               libpng's own filter choice)
//   bench_codecs --gif-load IN.gif OUT.ppm      like `giftopnm IN.gif > OUT.ppm` (first frame)
//   bench_codecs --gif-save IN.ppm OUT.gif      like `pamtogif IN.ppm > OUT.gif` (8 bits)
//   bench_codecs --pcx-load IN.pcx OUT.ppm      like `pcxtoppm IN.pcx > OUT.ppm`
//   bench_codecs --tga-load IN.tga OUT.ppm      like `tgatoppm IN.tga > OUT.ppm`
//   bench_codecs --jp2-load IN.jp2 OUT.ppm      like `opj_decompress -i IN.jp2 -o OUT.ppm` (JP2 or
//                                               code stream, by content)
//   bench_codecs --jp2-save IN.ppm OUT.jp2      like `opj_compress -i IN.ppm -o OUT.jp2` (lossless,
//   bench_codecs --j2k-save IN.ppm OUT.j2k      6 resolutions, one layer, LRCP: both sides' defaults)
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "bench/bench_ppm.h"
#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_params.h"
#include "imaging/formats/compression/ie_lzw.h"
#include "imaging/formats/gif/ie_gif.h"
#include "imaging/formats/jp2/ie_jp2.h"
#include "imaging/formats/jpeg/ie_jpeg.h"
#include "imaging/formats/pcx/ie_pcx.h"
#include "imaging/formats/png/ie_png.h"
#include "imaging/formats/pnm/ie_pnm.h"
#include "imaging/formats/tga/ie_tga.h"
#include "platform/rtl/streams.h"

namespace {

using TJob = benchppm::TBitmapJob;

int RunJob(const std::string& Mode, const char* In, const char* Out) {
  // The start-up of the library's I/O unit, which this program does not link in.
  IEInstallLZWCoders();
  TJob job;
  {
    TFileStream in{AnsiString(In), fmOpenRead};
    if (Mode == "--jpeg-load")
      ReadJPEGStream(&in, nullptr, &job.Bitmap, job.Params, job.Progress, false, false, true, false, true, true, -1, false);
    else if (Mode == "--png-load")
      ReadPNGStream(&in, &job.Bitmap, job.Params, job.Progress, false);
    else if (Mode == "--gif-load") {
      Integer frames = 0;
      TIEMask* alpha = nullptr;
      ReadGIFStream(&in, &job.Bitmap, frames, job.Params, job.Progress, false, alpha, true);
      delete alpha;
    } else if (Mode == "--pcx-load")
      ReadPCXStream(&in, &job.Bitmap, job.Params, in.Size(), job.Progress, false);
    else if (Mode == "--tga-load") {
      TIEMask* alpha = nullptr;
      ReadTGAStream(&in, &job.Bitmap, job.Params, job.Progress, false, alpha, true);
      delete alpha;
    } else if (Mode == "--jp2-load")
      ReadJ2000Stream(&in, &job.Bitmap, job.Params, job.Progress, false);
    else
      ReadPXMStream(&in, &job.Bitmap, job.Params, job.Progress, false);
  }
  if (job.Failed("reading", In)) return 1;
  TFileStream out{AnsiString(Out), fmCreate};
  job.Params.PxmComments->Clear();
  job.Params.BitsPerSample = 8;
  job.Params.SamplesPerPixel = 3;
  if (Mode == "--jpeg-save") {
    job.Params.JpegQuality = 75;
    job.Params.JpegChromaSubsampling = 1;
    WriteJPEGStream(&out, &job.Bitmap, job.Params, job.Progress);
  } else if (Mode == "--png-save") {
    job.Params.PngCompression = 6;
    job.Params.PngFilter = 3;
    WritePNGStream(&out, &job.Bitmap, job.Params, job.Progress, nullptr);
  } else if (Mode == "--gif-save") {
    WriteGIFStream(&out, &job.Bitmap, job.Params, job.Progress);
  } else if (Mode == "--jp2-save" || Mode == "--j2k-save") {
    WriteJ2000Stream(&out, &job.Bitmap, job.Params, job.Progress, Mode == "--jp2-save" ? IEJ2000FormatJP2 : IEJ2000FormatJ2K);
  } else {
    WritePXMStream(&out, &job.Bitmap, job.Params, job.Progress);
  }
  return job.Failed("writing", Out) ? 1 : 0;
}

void JpegEncodeDecode(benchmark::State& state) {
  TJob job;
  job.Bitmap.Allocate(1000, 750, ie24RGB);
  for (Integer y = 0; y < 750; ++y) {
    Byte* row = static_cast<Byte*>(job.Bitmap.GetScanline(y));
    for (Integer x = 0; x < 3000; ++x) row[x] = static_cast<Byte>(x * 7 + y * 3);
  }
  TMemoryStream m;
  WriteJPEGStream(&m, &job.Bitmap, job.Params, job.Progress);
  for (auto _ : state) {
    m.SetPosition(0);
    TJob read;
    ReadJPEGStream(&m, nullptr, &read.Bitmap, read.Params, read.Progress, false, false, false, false, false, false, -1, false);
    benchmark::DoNotOptimize(read.Bitmap.GetScanline(0));
  }
}
BENCHMARK(JpegEncodeDecode)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strncmp(argv[1], "--", 2) == 0 && std::string(argv[1]).find('-', 2) != std::string::npos &&
      std::string(argv[1]).rfind("--benchmark", 0) != 0)
    return RunJob(argv[1], argv[2], argv[3]);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
