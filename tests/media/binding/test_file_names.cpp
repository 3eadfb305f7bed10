#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "media/binding/entry_points.h"
#include "media/binding/file_names.h"
#include "media/binding/unicode_protocol.h"
#include "platform/rtl/strings.h"
#include "tests/media/binding/load_ffmpeg.h"
#include "tests/support/fixtures.h"

namespace {

// Narrows the system code page to 7-bit ASCII for one test, so that names outside it take the
// "unicode:" road.
class AsciiCodePage {
 public:
  AsciiCodePage() { SetFileNameCodePage(fcpASCII); }
  ~AsciiCodePage() { SetFileNameCodePage(fcpUTF8); }
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(FileNames, ImageNamesByExtension) {
  const std::pair<const char*, int> cases[] = {
      {"/a/b.JPG", AV_CODEC_ID_MJPEG}, {"shot-%d.png", AV_CODEC_ID_PNG}, {"x.tif", AV_CODEC_ID_TIFF},
      {"x.xwd", AV_CODEC_ID_XWD},      {"clip.mp4", AV_CODEC_ID_NONE},   {"noext", AV_CODEC_ID_NONE},
      {"dir.png/file", AV_CODEC_ID_NONE}};
  for (const auto& [name, codec] : cases) EXPECT_EQ(GuessImage2Codec(name), codec) << name;
}

TEST(FileNames, WideToFFmpegAndBack) {
  const bool wasRegistered = UnicodeProtocolRegistered;
  UnicodeProtocolRegistered = true;
  AsciiCodePage ascii;
  const struct {
    std::u16string Wide;
    const char* FFmpeg;
  } cases[] = {
      {u"/videos/clip \u00FC.mp4", "/videos/clip \xC3\xBC.mp4"},
      {u"/bilder/\u00FC/img-%d.jpg", "unicode:utf8:/bilder/\xC3\xBC/img-%d.jpg"},
      {u"/bilder/a/img-%d.jpg", "/bilder/a/img-%d.jpg"},
      {u"/bilder/\U0001F600.png", "unicode:utf8:/bilder/\xF0\x9F\x98\x80.png"},
      {u"http://host/\u00FC.jpg", "http://host/?.jpg"},
      // Bytes that are no UTF-8 (a Latin-1 name) reach FFmpeg as they are, on either road.
      {u"/videos/clip \xDCE9t\xDCFF.mp4", "/videos/clip \xE9t\xFF.mp4"},
      {u"/bilder/\xDCFF/img-%d.jpg", "unicode:utf8:/bilder/\xFF/img-%d.jpg"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WideToFFmpegFileName(c.Wide), c.FFmpeg);
    if (c.Wide[0] != u'h') {
      EXPECT_EQ(FFmpegFileNameToWide(c.FFmpeg), c.Wide);
    }
  }
  EXPECT_FALSE(NeedsUnicodeProtocol(u"udp://\u00FC.png"));
  EXPECT_TRUE(NeedsUnicodeProtocol(u"HTTP://\u00FC.png"));
  EXPECT_TRUE(NeedsUnicodeProtocol(u"C:\u00FC.png"));
  // No length limit and nothing shared between results.
  const std::u16string longName = u"/" + std::u16string(5000, u'\u00E9') + u".png";
  const AnsiString first = WideToFFmpegFileName(longName);
  const AnsiString second = WideToFFmpegFileName(u"/other.png");
  EXPECT_EQ(first.size(), 13u + 1 + 10000 + 4);
  EXPECT_EQ(second, "/other.png");
  UnicodeProtocolRegistered = false;
  EXPECT_EQ(WideToFFmpegFileName(u"/bilder/\u00FC/img-%d.jpg"), "/bilder/?/img-%d.jpg");
  UnicodeProtocolRegistered = wasRegistered;
}

// A picture in a folder the code page cannot name is read and written through the engine's own
// I/O, by a demuxer and by the image muxer that opens its files itself.
TEST(UnicodeProtocol, DemuxerAndMuxerReachFilesByWideName) {
  LoadFFmpegForTest();
  ASSERT_TRUE(UnicodeProtocolRegistered);
  AsciiCodePage ascii;
  const std::string png =
      testsupport::Fixture("probe-64x48.png", "ffmpeg -v error -f lavfi -i testsrc2=size=64x48 -frames:v 1 -y {out}");
  for (const char* folder : {"/bilder-\xC3\xBC", "/bilder-\xFF\xE9"}) {
    SCOPED_TRACE(folder);
    const std::string dir = testsupport::MakeTempDir("uni") + folder;
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(png, dir + "/in.png");

    const AnsiString inName = WideToFFmpegFileName(AnsiToWide(dir + "/in.png"));
    ASSERT_EQ(inName.rfind("unicode:utf8:", 0), 0u);
    AVFormatContext* in = nullptr;
    ASSERT_EQ(OpenInputFile(&in, inName.c_str(), nullptr, nullptr), 0);
    ASSERT_GE(ff::avformat_find_stream_info(in, nullptr), 0);
    ASSERT_EQ(in->nb_streams, 1u);
    EXPECT_EQ(in->streams[0]->codecpar->codec_id, AV_CODEC_ID_PNG);
    EXPECT_EQ(in->streams[0]->codecpar->width, 64);
    AVPacket* packet = ff::av_packet_alloc();
    ASSERT_GE(ff::av_read_frame(in, packet), 0);

    const AnsiString outName = WideToFFmpegFileName(AnsiToWide(dir + "/out-%d.png"));
    AVFormatContext* out = nullptr;
    ASSERT_GE(ff::avformat_alloc_output_context2(&out, nullptr, "image2", outName.c_str()), 0);
    InstallUnicodeIOHooks(out);
    ASSERT_EQ(OpenOutputIO(out, outName.c_str(), nullptr), 0);  // image2 opens its files itself
    AVStream* stream = ff::avformat_new_stream(out, nullptr);
    ff::avcodec_parameters_copy(stream->codecpar, in->streams[0]->codecpar);
    stream->time_base = {1, 25};
    ASSERT_GE(ff::avformat_write_header(out, nullptr), 0);
    packet->stream_index = 0;
    packet->pts = packet->dts = 0;
    ASSERT_GE(ff::av_interleaved_write_frame(out, packet), 0);
    ASSERT_GE(ff::av_write_trailer(out), 0);
    CloseOutputIO(out);
    ff::avformat_free_context(out);
    ff::av_packet_free(&packet);
    CloseInputFile(&in);

    EXPECT_EQ(ReadAll(dir + "/out-1.png"), ReadAll(png));
    testsupport::RemoveTree(std::filesystem::path(dir).parent_path().string());
  }
}

TEST(UnicodeProtocol, OpenModesAndLargeSizes) {
  LoadFFmpegForTest();
  const std::string dir = testsupport::MakeTempDir("uni");
  const std::string path = dir + "/\xC3\xA9t\xC3\xA9.raw";
  std::ofstream(path, std::ios::binary) << "content";
  AVIOContext* pb = nullptr;
  ASSERT_EQ(UnicodeIOOpen(&pb, ("unicode:utf8:" + path).c_str(), AVIO_FLAG_READ), 0);
  unsigned char buf[16] = {};
  EXPECT_EQ(ff::avio_read(pb, buf, sizeof buf), 7);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 7), "content");
  EXPECT_EQ(UnicodeIOClose(pb), 0);
  EXPECT_EQ(ReadAll(path), "content");

  ASSERT_EQ(UnicodeIOOpen(&pb, ("unicode:utf8:" + path).c_str(), AVIO_FLAG_WRITE), 0);
  EXPECT_EQ(UnicodeIOClose(pb), 0);
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
  EXPECT_EQ(UnicodeIOOpen(&pb, ("unicode:utf8:" + dir + "/missing.raw").c_str(), AVIO_FLAG_READ), -2);

  // A sparse file beyond 4 GB reports its whole size.
  const std::string big = dir + "/big.raw";
  ASSERT_EQ(truncate((std::ofstream(big), big.c_str()), 5LL << 30), 0);
  ASSERT_EQ(UnicodeIOOpen(&pb, ("unicode:utf8:" + big).c_str(), AVIO_FLAG_READ), 0);
  EXPECT_EQ(ff::avio_size(pb), 5LL << 30);
  EXPECT_EQ(ff::avio_seek(pb, (5LL << 30) - 1, SEEK_SET), (5LL << 30) - 1);
  EXPECT_EQ(UnicodeIOClose(pb), 0);
  testsupport::RemoveTree(dir);
}
