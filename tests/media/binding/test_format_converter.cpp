#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <set>

#include "media/binding/entry_points.h"
#include "media/binding/ffmpeg_exception.h"
#include "media/binding/format_converter.h"
#include "media/binding/frame_buffer_pool.h"
#include "tests/media/binding/load_ffmpeg.h"
#include "tests/support/fixtures.h"

namespace {

const char ClipRecipe[] =
    "ffmpeg -v error -f lavfi -i testsrc2=size=320x240:rate=25 -frames:v 25 -c:v mpeg4 -q:v 3 -y {out}";

std::string Clip() { return testsupport::Fixture("testsrc2-320x240-mpeg4.avi", ClipRecipe); }

// The first picture of the clip as the ffmpeg tool converts it, with the converter's scaler flags.
std::string ToolPicture(const char* pixFmt) {
  const std::string name = std::string("testsrc2-320x240-first.") + pixFmt;
  const std::string path = testsupport::Fixture(
      name, "ffmpeg -v error -i " + testsupport::ShellQuote(Clip()) + " -frames:v 1 -sws_flags bicubic -f rawvideo -pix_fmt " +
                pixFmt + " -y {out}");
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Decodes the clip with the bound entry points, calling onFrame for each picture.
template <class F>
void DecodeClip(TFrameBufferPool* pool, F onFrame) {
  AVFormatContext* fmt = nullptr;
  ASSERT_EQ(ff::avformat_open_input(&fmt, Clip().c_str(), nullptr, nullptr), 0);
  ASSERT_GE(ff::avformat_find_stream_info(fmt, nullptr), 0);
  const int index = ff::av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  ASSERT_GE(index, 0);
  const AVCodec* codec = ff::avcodec_find_decoder(fmt->streams[index]->codecpar->codec_id);
  AVCodecContext* ctx = ff::avcodec_alloc_context3(codec);
  ff::avcodec_parameters_to_context(ctx, fmt->streams[index]->codecpar);
  if (pool) pool->Attach(ctx);
  ASSERT_EQ(ff::avcodec_open2(ctx, codec, nullptr), 0);
  AVPacket* packet = ff::av_packet_alloc();
  AVFrame* frame = ff::av_frame_alloc();
  bool draining = false;
  while (true) {
    if (!draining) {
      if (ff::av_read_frame(fmt, packet) < 0) {
        draining = true;
        ff::avcodec_send_packet(ctx, nullptr);
      } else if (packet->stream_index == index) {
        ff::avcodec_send_packet(ctx, packet);
      }
      ff::av_packet_unref(packet);
    }
    int ret;
    while ((ret = ff::avcodec_receive_frame(ctx, frame)) >= 0) {
      onFrame(frame);
      ff::av_frame_unref(frame);
    }
    if (ret == AVERROR_EOF) break;
  }
  ff::av_frame_free(&frame);
  ff::av_packet_free(&packet);
  ff::avcodec_free_context(&ctx);
  ff::avformat_close_input(&fmt);
}

std::string BitmapBytes(TBitmap* bitmap, int rowBytes) {
  std::string bytes;
  for (int row = 0; row < bitmap->Height(); ++row) bytes.append(static_cast<const char*>(bitmap->ScanLine(row)), rowBytes);
  return bytes;
}

}  // namespace

TEST(FormatConverter, DecodedPictureMatchesTheFFmpegTool) {
  LoadFFmpegForTest();
  const std::string bgr24 = ToolPicture("bgr24"), bgra = ToolPicture("bgra");
  ASSERT_EQ(bgr24.size(), 320u * 240 * 3);
  int frames = 0;
  DecodeClip(nullptr, [&](AVFrame* frame) {
    if (frames++) return;
    TFormatConverter converter;
    converter.SetBitsPixel(24);
    ASSERT_TRUE(converter.PictureToBitmap(frame, true)) << converter.LastError();
    EXPECT_EQ(converter.Bitmap()->PixelFormat(), pf24bit);
    EXPECT_TRUE(BitmapBytes(converter.Bitmap(), 320 * 3) == bgr24);
    converter.SetBitsPixel(32);
    ASSERT_TRUE(converter.PictureToBitmap(frame, true));
    EXPECT_TRUE(BitmapBytes(converter.Bitmap(), 320 * 4) == bgra);
  });
  EXPECT_EQ(frames, 25);
}

// 15- and 16-bit bitmaps keep red in the high bits; the 8-bit one has the palette its indices need.
TEST(FormatConverter, SmallDepthsKeepTheirColours) {
  LoadFFmpegForTest();
  uint8_t red[4 * 2 * 3];
  for (int i = 0; i < 8; ++i) {
    red[i * 3] = 0;
    red[i * 3 + 1] = 0;
    red[i * 3 + 2] = 255;
  }
  const uint8_t* data[4] = {red, nullptr, nullptr, nullptr};
  const int linesize[4] = {12, 0, 0, 0};
  const std::pair<int, uint16_t> words[] = {{15, 0x7C00}, {16, 0xF800}};
  for (const auto& [bits, word] : words) {
    TFormatConverter converter;
    converter.SetBitsPixel(bits);
    ASSERT_TRUE(converter.PictureToBitmap(data, linesize, AV_PIX_FMT_BGR24, true, 2, 4));
    uint16_t pixel;
    std::memcpy(&pixel, converter.Bitmap()->ScanLine(1), 2);
    EXPECT_EQ(pixel, word) << bits;
  }
  TFormatConverter converter;
  converter.SetBitsPixel(8);
  ASSERT_TRUE(converter.PictureToBitmap(data, linesize, AV_PIX_FMT_BGR24, true, 2, 4));
  EXPECT_EQ(converter.Bitmap()->PixelFormat(), pf8bit);
  EXPECT_EQ(converter.Bitmap()->PixelColor(3, 1), static_cast<TColor>(0x0000FF));
  try {
    converter.SetBitsPixel(12);
    ADD_FAILURE() << "12 bits accepted";
  } catch (const FFmpegException& e) {
    EXPECT_EQ(e.Message, "Invalid BitsPixel 12");
  }
}

TEST(FormatConverter, DirectUseAndBufferGrowth) {
  LoadFFmpegForTest();
  std::vector<uint8_t> big(640 * 480 * 4, 0x40);
  const int evenLines[4] = {320 * 4, 0, 0, 0};
  const uint8_t* data[4] = {big.data(), nullptr, nullptr, nullptr};
  TFormatConverter converter;
  ASSERT_TRUE(converter.PictureToBitmap(data, evenLines, AV_PIX_FMT_BGRA, false, 240, 320));
  EXPECT_EQ(converter.BufferSize(), 0);  // used in place
  EXPECT_EQ(converter.BitmapInfo().Bits, big.data());
  const int oddLines[4] = {319 * 4, 0, 0, 0};
  ASSERT_TRUE(converter.PictureToBitmap(data, oddLines, AV_PIX_FMT_BGRA, false, 240, 319));
  const int small = converter.BufferSize();
  EXPECT_GE(small, 319 * 240 * 4);
  const int bigLines[4] = {640 * 4, 0, 0, 0};
  ASSERT_TRUE(converter.PictureToBitmap(data, bigLines, AV_PIX_FMT_RGBA, true, 480, 640));
  const int large = converter.BufferSize();
  EXPECT_GT(large, small);
  ASSERT_TRUE(converter.PictureToBitmap(data, oddLines, AV_PIX_FMT_RGBA, true, 240, 319));
  EXPECT_EQ(converter.BufferSize(), large);

  // Back from the bitmap's format: the same bytes again.
  std::vector<uint8_t> back(319 * 240 * 4);
  uint8_t* target[4] = {back.data(), nullptr, nullptr, nullptr};
  const int targetLines[4] = {319 * 4, 0, 0, 0};
  ASSERT_TRUE(converter.BitmapToPicture(target, targetLines, AV_PIX_FMT_BGRA, 240, 319));
  EXPECT_EQ(std::memcmp(back.data(), converter.Picture().data[0], back.size()), 0);

  // A size no picture can have is refused before the bitmap is touched: it keeps its last
  // picture's size and the error says why. (8 bits a pixel keeps the bitmap small even where
  // it would be sized.)
  TFormatConverter bytes;
  bytes.SetBitsPixel(8);
  ASSERT_TRUE(bytes.PictureToBitmap(data, oddLines, AV_PIX_FMT_RGBA, true, 240, 319));
  for (const auto& [height, width] : {std::pair{16500, 16500}, {-2, 320}, {240, 0}}) {
    EXPECT_FALSE(bytes.PictureToBitmap(data, bigLines, AV_PIX_FMT_RGBA, true, height, width)) << width;
    EXPECT_EQ(bytes.Bitmap()->Width(), 319);
    EXPECT_EQ(bytes.Bitmap()->Height(), 240);
    EXPECT_FALSE(bytes.HasPicture());
    EXPECT_NE(bytes.LastError().find("Invalid picture size"), std::string::npos) << bytes.LastError();
  }
}

TEST(FrameBufferPool, DecoderReusesPooledBuffers) {
  LoadFFmpegForTest();
  TFrameBufferPool pool;
  std::set<const uint8_t*> planes;
  int frames = 0;
  AVFrame* kept = ff::av_frame_alloc();
  DecodeClip(&pool, [&](AVFrame* frame) {
    ++frames;
    planes.insert(frame->data[0]);
    if (frames == 3) ff::av_frame_ref(kept, frame);  // a picture kept past the decoder's use
  });
  EXPECT_EQ(frames, 25);
  EXPECT_LE(pool.Allocated(), 5);
  EXPECT_EQ(static_cast<int>(planes.size()), pool.Allocated());
  const int freeBefore = pool.FreeCount();
  ff::av_frame_free(&kept);
  EXPECT_EQ(pool.FreeCount(), freeBefore + 1);
  EXPECT_EQ(pool.FreeCount(), pool.Allocated());
}

TEST(FrameBufferPool, ReleasingTwiceIsRefused) {
  LoadFFmpegForTest();
  TFrameBufferPool pool;
  AVCodecContext* ctx = ff::avcodec_alloc_context3(nullptr);
  TFrameBuffer* buffer = nullptr;
  ASSERT_EQ(AllocFrameBuffer(pool.State(), 64, 48, AV_PIX_FMT_YUV420P, ctx, &buffer), 0);
  buffer->RefCount = 1;
  UnrefFrameBuffer(buffer);
  EXPECT_EQ(pool.FreeCount(), 1);
  EXPECT_THROW(UnrefFrameBuffer(buffer), Exception);
  ff::avcodec_free_context(&ctx);
}
