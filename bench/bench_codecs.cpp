// The codecs on a 4000 x 3000 photo. The file-to-file modes are the work that the side-by-side
// scripts time as whole processes: JPEG and PNG against libjpeg's and libpng's own tools
// (compare-codecs.sh), GIF, PCX and TGA against netpbm's (compare-palette-codecs.sh), DICOM
// against dcmtk's (compare-dicom.sh), JPEG 2000 against OpenJPEG's (compare-jp2.sh). The Google
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
//   bench_codecs --dicom-load IN.dcm OUT.pnm    like `dcmj2pnm IN.dcm OUT.pnm`: 8-bit PGM for grey
//                                               (the top byte of wider samples), PPM for colour
//   bench_codecs --tiff-rewrite-none IN.tif OUT.tif like `tiffcp -c none IN.tif OUT.tif`
//   bench_codecs --tiff-rewrite-lzw IN.tif OUT.tif  like `tiffcp -c lzw IN.tif OUT.tif` (ours adds
//                                               the predictor on 8-bit RGB, as its saves do)
//   bench_codecs --tiff-rewrite-zip IN.tif OUT.tif  like `tiffcp -c zip IN.tif OUT.tif` (zlib's
//                                               default level)
//   bench_codecs --jp2-load IN.jp2 OUT.ppm      like `opj_decompress -i IN.jp2 -o OUT.ppm` (JP2 or
//                                               code stream, by content)
//   bench_codecs --jp2-save IN.ppm OUT.jp2      like `opj_compress -i IN.ppm -o OUT.jp2` (lossless,
//   bench_codecs --j2k-save IN.ppm OUT.j2k      6 resolutions, one layer, LRCP: both sides' defaults)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_ppm.h"
#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_params.h"
#include "imaging/formats/compression/ie_ccitt.h"
#include "imaging/formats/compression/ie_lzw.h"
#include "imaging/formats/dicom/ie_dicom.h"
#include "imaging/formats/gif/ie_gif.h"
#include "imaging/formats/jp2/ie_jp2.h"
#include "imaging/formats/jpeg/ie_jpeg.h"
#include "imaging/formats/pcx/ie_pcx.h"
#include "imaging/formats/png/ie_png.h"
#include "imaging/formats/pnm/ie_pnm.h"
#include "imaging/formats/tga/ie_tga.h"
#include "imaging/formats/tiff/ie_tiff_reader.h"
#include "imaging/formats/tiff/ie_tiff_writer.h"
#include "platform/rtl/streams.h"

namespace {

using TJob = benchppm::TBitmapJob;

// 16-bit grey as an 8-bit PGM of the samples' top bytes, as dcmtk renders a full-range image.
int WriteTopBytes(TStream& Out, TIEBitmap& Bitmap) {
  const Integer w = Bitmap.GetWidth(), h = Bitmap.GetHeight();
  const std::string header = "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  Out.WriteBuffer(header.data(), Int64(header.size()));
  std::vector<Byte> row(static_cast<size_t>(w));
  for (Integer y = 0; y < h; ++y) {
    const Word* s = static_cast<const Word*>(Bitmap.GetScanline(y));
    for (Integer x = 0; x < w; ++x) row[static_cast<size_t>(x)] = static_cast<Byte>(s[x] >> 8);
    Out.WriteBuffer(row.data(), w);
  }
  return 0;
}

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
    } else if (Mode == "--dicom-load") {
      ReadDICOMStream(&in, job.Params, &job.Bitmap, job.Progress, false);
    } else if (Mode.rfind("--tiff-rewrite", 0) == 0) {
      Integer pages = 0;
      TIEMask* alpha = nullptr;
      ReadTIFFStream(&job.Bitmap, &in, pages, &job.Params, job.Progress, false, alpha, true, false, false);
      delete alpha;
    } else if (Mode == "--jp2-load") {
      ReadJ2000Stream(&in, &job.Bitmap, job.Params, job.Progress, false);
    } else
      ReadPXMStream(&in, &job.Bitmap, job.Params, job.Progress, false);
  }
  if (job.Failed("reading", In)) return 1;
  TFileStream out{AnsiString(Out), fmCreate};
  job.Params.PxmComments->Clear();
  job.Params.BitsPerSample = 8;
  job.Params.SamplesPerPixel = 3;
  if (Mode == "--dicom-load" && job.Bitmap.GetPixelFormat() == ie16g) return WriteTopBytes(out, job.Bitmap);
  if (Mode == "--dicom-load" && job.Bitmap.GetPixelFormat() == ie8g) job.Params.SamplesPerPixel = 1;
  if (Mode == "--jpeg-save") {
    job.Params.JpegQuality = 75;
    job.Params.JpegChromaSubsampling = 1;
    WriteJPEGStream(&out, &job.Bitmap, job.Params, job.Progress);
  } else if (Mode == "--png-save") {
    job.Params.PngCompression = 6;
    job.Params.PngFilter = 3;
    WritePNGStream(&out, &job.Bitmap, job.Params, job.Progress, nullptr);
  } else if (Mode.rfind("--tiff-rewrite-", 0) == 0) {
    const std::string c = Mode.substr(std::strlen("--tiff-rewrite-"));
    job.Params.TiffCompression = c == "lzw" ? 5 : c == "zip" ? 9 : 0;
    job.Params.TiffZipCompression = 1;
    WriteTIFFStream(&out, false, &job.Bitmap, job.Params, job.Progress);
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

// A page of an A4 fax at 300 dpi (2480 x 3508) with text-like strokes, coded in T.6 and decoded
// row by row, as a bilevel TIFF page is saved and loaded.
void FaxG4EncodeDecode(benchmark::State& state) {
  const Integer w = 2480, h = 3508, rb = (w + 7) / 8;
  std::vector<Byte> page(size_t(rb) * size_t(h), 0);
  for (Integer y = 0; y < h; ++y)
    for (Integer x = 0; x < w; ++x)
      if ((y / 40) % 2 == 0 && ((x / 13 + y / 7) % 5 == 0 || (x * 31 + y * 17) % 97 < 3)) page[size_t(y) * rb + size_t(x / 8)] |= Byte(0x80 >> (x % 8));
  std::vector<Byte> row(static_cast<size_t>(rb)), ref(static_cast<size_t>(rb));
  for (auto _ : state) {
    TMemoryStream m;
    bool aborting = false;
    Byte pending = 0;
    Integer bits = 0;
    std::vector<Byte> encRef;
    for (Integer y = 0; y < h; ++y) IECCITTEncodeG4Row(&page[size_t(y) * rb], w, &m, pending, bits, encRef, aborting, 1);
    IECCITTEncodeG4Row(nullptr, w, &m, pending, bits, encRef, aborting, 1);
    std::fill(ref.begin(), ref.end(), Byte(0xFF));
    Int64 bit = 0;
    for (Integer y = 0; y < h; ++y)
      bit = IECCITTDecode2DRow(row.data(), static_cast<const Byte*>(m.Memory()), m.Size(), w, ref.data(), bit, 1, false);
    benchmark::DoNotOptimize(row.data());
  }
}
BENCHMARK(FaxG4EncodeDecode)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strncmp(argv[1], "--", 2) == 0 && std::string(argv[1]).find('-', 2) != std::string::npos &&
      std::string(argv[1]).rfind("--benchmark", 0) != 0)
    return RunJob(argv[1], argv[2], argv[3]);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
