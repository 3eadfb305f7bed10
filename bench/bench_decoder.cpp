// Speed of the preview road: Seek, Decode and CopyToBitmap at random positions of a video.
//
//   bench_decoder [benchmark options]          Google Benchmark case over the video named by
//                                              $CLAVORNE_DECODER_BENCH_FILE (default: the fixture
//                                              folder's decoder-bench-1080p.mp4)
//   bench_decoder --frames FILE OUTDIR T...    opens FILE once, then for each time T (seconds)
//                                              seeks back to a keyframe, decodes on to the picture
//                                              at T and copies it into a bitmap; prints "T milliseconds"
//                                              per position and writes the picture's B, G, R, A
//                                              bytes to OUTDIR/<index>.bgra; with one T it is the
//                                              whole process compare-decoder.sh times against the
//                                              ffmpeg tool
// The in-process times are for finding hot spots; no ratio against a peer comes from them.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "media/binding/loader.h"
#include "media/components/decoder.h"
#include "platform/gui/bitmap.h"
#include "platform/rtl/strings.h"

namespace {

std::string BenchFile() {
  const char* named = std::getenv("CLAVORNE_DECODER_BENCH_FILE");
  return named ? named : std::string(CLAVORNE_FIXTURE_DIR) + "/decoder-bench-1080p.mp4";
}

bool ShowFrame(TFFDecoder& decoder, Int64 us, TBitmap& bitmap) {
  return decoder.Seek(us, {sfBackward}) && decoder.DecodeTo(us) && decoder.CopyToBitmap(&bitmap);
}

void SeekDecodeCopy(benchmark::State& state) {
  if (!FFLoader()->Load(DecoderLibraries)) {
    state.SkipWithError(FFLoader()->GetLastError().c_str());
    return;
  }
  TFFDecoder decoder(nullptr);
  if (!decoder.OpenFile(AnsiToWide(BenchFile()))) {
    state.SkipWithError(decoder.LastErrorMessage.c_str());
    return;
  }
  TFileStreamInfo info;
  decoder.GetFileStreamInfo(info);
  std::mt19937_64 random(2024);
  std::uniform_int_distribution<Int64> position(0, info.Duration > 0 ? info.Duration - 1 : 0);
  TBitmap bitmap;
  for (auto _ : state) {
    if (!ShowFrame(decoder, position(random), bitmap)) {
      state.SkipWithError(decoder.LastErrorMessage.c_str());
      return;
    }
    benchmark::DoNotOptimize(bitmap.ScanLine(0));
  }
}
BENCHMARK(SeekDecodeCopy)->Unit(benchmark::kMillisecond)->Iterations(50);

int WriteFrames(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: bench_decoder --frames FILE OUTDIR T...\n");
    return 2;
  }
  if (!FFLoader()->Load(DecoderLibraries)) {
    std::fprintf(stderr, "%s\n", FFLoader()->GetLastError().c_str());
    return 1;
  }
  TFFDecoder decoder(nullptr);
  if (!decoder.OpenFile(AnsiToWide(argv[2]))) {
    std::fprintf(stderr, "%s\n", decoder.LastErrorMessage.c_str());
    return 1;
  }
  const std::string outDir = argv[3];
  TBitmap bitmap;
  for (int i = 4; i < argc; ++i) {
    const double seconds = std::atof(argv[i]);
    const auto start = std::chrono::steady_clock::now();
    if (!ShowFrame(decoder, static_cast<Int64>(seconds * 1000000), bitmap)) {
      std::fprintf(stderr, "%s: %s\n", argv[i], decoder.LastErrorMessage.c_str());
      return 1;
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s %.3f\n", argv[i], ms);
    const std::string name = outDir + "/" + std::to_string(i - 4) + ".bgra";
    if (FILE* f = std::fopen(name.c_str(), "wb")) {
      const size_t rowBytes = static_cast<size_t>(bitmap.Width()) * 4;
      for (int y = 0; y < bitmap.Height(); ++y) std::fwrite(bitmap.ScanLine(y), 1, rowBytes, f);
      std::fclose(f);
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--frames") return WriteFrames(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
