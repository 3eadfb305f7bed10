// Speed of the preview road: Seek, Decode and CopyToBitmap at random positions of a video.
//
//   bench_decoder [benchmark options]          Google Benchmark case over the video named by
//                                              $CLAVORNE_DECODER_BENCH_FILE (default: the fixture
//                                              folder's decoder-bench-1080p.mp4)
//   bench_decoder --frames FILE OUTDIR T...    opens FILE once, then for each time T (seconds)
//                                              seeks back to a keyframe, decodes on to the picture
//                                              at T and copies it into a bitmap; prints "T milliseconds"
//                                              per position and writes the picture's B, G, R, A
//                                              bytes to OUTDIR/<index>.bgra, for
//                                              compare-decoder.sh
//   bench_decoder --compare FILE T...          the same road side by side with a plain libav loop
//                                              in this process (one open file, seek back to the
//                                              keyframe, decode one picture, scale it to BGRA),
//                                              alternating the two per position; prints both
//                                              times, ours/peer and whether the pictures match
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "media/binding/entry_points.h"
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

// The peer: what a plain program on the libav libraries does for the same picture.
class TPlainLoop {
 public:
  ~TPlainLoop() {
    ff::sws_freeContext(FScaler);
    ff::av_frame_free(&FFrame);
    ff::av_packet_free(&FPacket);
    ff::avcodec_free_context(&FCodec);
    ff::avformat_close_input(&FFormat);
  }
  bool Open(const char* File) {
    if (ff::avformat_open_input(&FFormat, File, nullptr, nullptr) < 0) return false;
    if (ff::avformat_find_stream_info(FFormat, nullptr) < 0) return false;
    FStream = ff::av_find_best_stream(FFormat, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (FStream < 0) return false;
    const AVCodecParameters* par = FFormat->streams[FStream]->codecpar;
    const AVCodec* codec = ff::avcodec_find_decoder(par->codec_id);
    FCodec = ff::avcodec_alloc_context3(codec);
    if (!FCodec || ff::avcodec_parameters_to_context(FCodec, par) < 0) return false;
    FCodec->thread_count = 1;
    FPacket = ff::av_packet_alloc();
    FFrame = ff::av_frame_alloc();
    return ff::avcodec_open2(FCodec, codec, nullptr) >= 0 && FPacket && FFrame;
  }
  // The picture at or before Seconds' keyframe, as B, G, R, A rows.
  bool Show(double Seconds, std::vector<uint8_t>& Bgra) {
    const AVStream* st = FFormat->streams[FStream];
    const int64_t ts = ff::av_rescale_q(static_cast<int64_t>(Seconds * AV_TIME_BASE), AV_TIME_BASE_Q, st->time_base);
    if (ff::av_seek_frame(FFormat, FStream, ts, AVSEEK_FLAG_BACKWARD) < 0) return false;
    ff::avcodec_flush_buffers(FCodec);
    for (;;) {
      const int got = ff::avcodec_receive_frame(FCodec, FFrame);
      if (got == 0) break;
      if (got != AVERROR(EAGAIN)) return false;
      const int read = ff::av_read_frame(FFormat, FPacket);
      if (read < 0) {
        ff::avcodec_send_packet(FCodec, nullptr);
        continue;
      }
      if (FPacket->stream_index == FStream) ff::avcodec_send_packet(FCodec, FPacket);
      ff::av_packet_unref(FPacket);
    }
    const int w = FFrame->width, h = FFrame->height;
    FScaler = ff::sws_getCachedContext(FScaler, w, h, static_cast<AVPixelFormat>(FFrame->format), w, h,
                                       AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!FScaler) return false;
    Bgra.resize(static_cast<size_t>(w) * h * 4);
    uint8_t* data[4] = {Bgra.data()};
    int lines[4] = {w * 4};
    ff::sws_scale(FScaler, FFrame->data, FFrame->linesize, 0, h, data, lines);
    ff::av_frame_unref(FFrame);
    return true;
  }

 private:
  AVFormatContext* FFormat = nullptr;
  AVCodecContext* FCodec = nullptr;
  AVPacket* FPacket = nullptr;
  AVFrame* FFrame = nullptr;
  SwsContext* FScaler = nullptr;
  int FStream = -1;
};

bool SamePicture(TBitmap& Bitmap, const std::vector<uint8_t>& Bgra) {
  const size_t rowBytes = static_cast<size_t>(Bitmap.Width()) * 4;
  if (Bgra.size() != rowBytes * Bitmap.Height()) return false;
  for (int y = 0; y < Bitmap.Height(); ++y) {
    const auto* row = static_cast<const uint8_t*>(Bitmap.ScanLine(y));
    for (size_t x = 0; x < rowBytes; ++x) {
      // The alpha byte: ours leaves it as the bitmap keeps it.
      if (x % 4 == 3) continue;
      if (row[x] != Bgra[y * rowBytes + x]) return false;
    }
  }
  return true;
}

int Compare(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: bench_decoder --compare FILE T...\n");
    return 2;
  }
  if (!FFLoader()->Load(DecoderLibraries)) {
    std::fprintf(stderr, "%s\n", FFLoader()->GetLastError().c_str());
    return 1;
  }
  using clock = std::chrono::steady_clock;
  const auto ms = [](clock::time_point a, clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
  };
  TFFDecoder decoder(nullptr);
  TPlainLoop peer;
  const auto o0 = clock::now();
  if (!decoder.OpenFile(AnsiToWide(argv[2]))) {
    std::fprintf(stderr, "%s\n", decoder.LastErrorMessage.c_str());
    return 1;
  }
  const auto o1 = clock::now();
  if (!peer.Open(argv[2])) {
    std::fprintf(stderr, "the plain loop cannot open %s\n", argv[2]);
    return 1;
  }
  const auto o2 = clock::now();
  std::printf("open: ours %.3f ms, peer %.3f ms\n", ms(o0, o1), ms(o1, o2));
  std::printf("%-4s %8s %10s %10s %8s %s\n", "#", "time s", "ours ms", "peer ms", "ours/peer", "same picture");
  TBitmap bitmap;
  std::vector<uint8_t> bgra;
  double sumOurs = 0, sumPeer = 0;
  int same = 0;
  for (int i = 3; i < argc; ++i) {
    const double seconds = std::atof(argv[i]);
    double ours = 0, theirs = 0;
    // Alternate which side goes first, so neither always finds the file's pages warm.
    for (int side = 0; side < 2; ++side) {
      const bool oursNow = (side == 0) == (i % 2 == 0);
      const auto t0 = clock::now();
      const bool ok = oursNow ? ShowFrame(decoder, static_cast<Int64>(seconds * 1000000), bitmap)
                              : peer.Show(seconds, bgra);
      const auto t1 = clock::now();
      if (!ok) {
        std::fprintf(stderr, "%s: %s\n", argv[i], oursNow ? decoder.LastErrorMessage.c_str() : "plain loop failed");
        return 1;
      }
      (oursNow ? ours : theirs) = ms(t0, t1);
    }
    const bool match = SamePicture(bitmap, bgra);
    same += match ? 1 : 0;
    sumOurs += ours;
    sumPeer += theirs;
    std::printf("%-4d %8.3f %10.3f %10.3f %8.2f %s\n", i - 3, seconds, ours, theirs, ours / theirs,
                match ? "yes" : "no");
  }
  std::printf("total over %d positions: ours %.1f ms, peer %.1f ms, ours/peer %.2f, same pictures %d\n", argc - 3,
              sumOurs, sumPeer, sumOurs / sumPeer, same);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--frames") return WriteFrames(argc, argv);
  if (argc > 1 && std::string(argv[1]) == "--compare") return Compare(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
