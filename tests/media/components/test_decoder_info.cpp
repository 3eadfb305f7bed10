// What the decoder tells about a file, checked against ffprobe's report of the same file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <iterator>
#include <thread>
#include <cmath>
#include <regex>
#include <vector>

#include "media/binding/engine_utils.h"
#include "media/binding/entry_points.h"
#include "media/components/decoder.h"
#include "platform/rtl/strings.h"
#include "tests/media/components/test_decoder_support.h"

namespace {

using decodertest::Probe;

Int64 SecondsToUs(const std::string& text) { return std::llround(std::stod(text) * 1000000); }

std::string Value(const std::map<std::string, std::string>& probe, const std::string& key, const std::string& def = "") {
  auto it = probe.find(key);
  return it == probe.end() ? def : it->second;
}

std::string RatioText(AVRational r) { return std::to_string(r.num) + "/" + std::to_string(r.den); }

// A whole decimal number as the decoder reads tags, else 0.
int TagNumber(const std::string& text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return 0;
  return std::stoi(text);
}

std::string TagValue(const std::map<std::string, std::string>& probe, const std::string& prefix, const std::string& key) {
  for (const auto& [k, v] : probe) {
    if (k.size() == prefix.size() + key.size() && k.compare(0, prefix.size(), prefix) == 0 &&
        SameText(k.substr(prefix.size()), key)) {
      return v;
    }
  }
  return "";
}

class DecoderInfoTest : public ::testing::Test {
 protected:
  void SetUp() override { decodertest::LoadLibraries(); }
};

TEST_F(DecoderInfoTest, FileAndStreamInformationMatchesFfprobe) {
  const std::vector<std::string> files = {decodertest::H264Mp4(), decodertest::Mpeg4Avi(), decodertest::Vp8Webm(),
                                          decodertest::Mkv(),     decodertest::TwoProgramTs(), decodertest::Mov(),
                                          decodertest::Mp3()};
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    const auto probe = Probe(file);
    TFFDecoder decoder(nullptr);
    ASSERT_TRUE(decoder.OpenFile(AnsiToWide(file))) << decoder.LastErrorMessage;

    const int streams = std::stoi(Value(probe, "format.nb_streams"));
    EXPECT_EQ(decoder.StreamCount, streams);
    EXPECT_EQ(decoder.ProgramCount, std::stoi(Value(probe, "format.nb_programs")));
    int counts[3] = {0, 0, 0};
    int first[3] = {-1, -1, -1};
    const char* kinds[3] = {"video", "audio", "subtitle"};
    for (int i = 0; i < streams; ++i) {
      for (int k = 0; k < 3; ++k) {
        if (Value(probe, "streams." + std::to_string(i) + ".codec_type") != kinds[k]) continue;
        ++counts[k];
        if (first[k] < 0) first[k] = std::stoi(Value(probe, "streams." + std::to_string(i) + ".index"));
      }
    }
    EXPECT_EQ(decoder.VideoStreamCount, counts[0]);
    EXPECT_EQ(decoder.AudioStreamCount, counts[1]);
    EXPECT_EQ(decoder.SubtitleStreamCount, counts[2]);
    EXPECT_EQ(decoder.FirstVideoStreamIndex, first[0]);
    EXPECT_EQ(decoder.FirstAudioStreamIndex, first[1]);
    EXPECT_EQ(decoder.FirstSubtitleStreamIndex, first[2]);
    EXPECT_EQ(decoder.FileSize, std::stoll(Value(probe, "format.size")));

    TFileStreamInfo info;
    decoder.GetFileStreamInfo(info);
    EXPECT_EQ(info.Duration, SecondsToUs(Value(probe, "format.duration")));
    EXPECT_EQ(info.StartTime, SecondsToUs(Value(probe, "format.start_time")));
    EXPECT_EQ(info.BitRate, std::stoi(Value(probe, "format.bit_rate")));
    EXPECT_EQ(info.Title, TagValue(probe, "format.tags.", "title"));
    EXPECT_EQ(info.Comment, TagValue(probe, "format.tags.", "comment").empty()
                                ? ""
                                : std::regex_replace(TagValue(probe, "format.tags.", "comment"), std::regex("\\\\n"), "\n"));
    EXPECT_EQ(info.Album, TagValue(probe, "format.tags.", "album"));
    EXPECT_EQ(info.Year, TagNumber(TagValue(probe, "format.tags.", "year")));
    EXPECT_EQ(info.Track, TagNumber(TagValue(probe, "format.tags.", "track")));

    for (int i = 0; i < streams; ++i) {
      SCOPED_TRACE("stream " + std::to_string(i));
      const std::string s = "streams." + std::to_string(i) + ".";
      const std::string type = Value(probe, s + "codec_type");
      AnsiString language, codecName;
      Int64 startUs = -1, durationUs = -1, bitRate = -1;
      if (type == "video") {
        EXPECT_TRUE(decoder.IsVideoStream(i));
        TVideoStreamInfo v;
        decoder.GetVideoStreamInfo(i, v);
        EXPECT_EQ(v.Width, std::stoi(Value(probe, s + "width")));
        EXPECT_EQ(v.Height, std::stoi(Value(probe, s + "height")));
        const std::string avg = Value(probe, s + "avg_frame_rate");
        EXPECT_EQ(RatioText(v.FrameRate), avg != "0/0" ? avg : Value(probe, s + "r_frame_rate"));
        EXPECT_EQ(ff::av_get_pix_fmt_name(static_cast<AVPixelFormat>(v.PixelFormat)), Value(probe, s + "pix_fmt"));
        const std::string sar = Value(probe, s + "sample_aspect_ratio");
        if (!sar.empty()) {
          EXPECT_EQ(std::to_string(v.SampleAspect.num) + ":" + std::to_string(v.SampleAspect.den), sar);
          EXPECT_EQ(std::to_string(v.DisplayAspect.num) + ":" + std::to_string(v.DisplayAspect.den),
                    Value(probe, s + "display_aspect_ratio"));
        }
        language = v.Language, codecName = v.CodecName;
        startUs = v.StartTimeUs, durationUs = v.DurationUs, bitRate = v.BitRate;
      } else if (type == "audio") {
        EXPECT_FALSE(decoder.IsVideoStream(i));
        TAudioStreamInfo a;
        decoder.GetAudioStreamInfo(i, a);
        EXPECT_EQ(a.Channels, std::stoi(Value(probe, s + "channels")));
        EXPECT_EQ(a.SampleRate, std::stoi(Value(probe, s + "sample_rate")));
        EXPECT_EQ(ff::av_get_sample_fmt_name(static_cast<AVSampleFormat>(a.SampleFormat)), Value(probe, s + "sample_fmt"));
        language = a.Language, codecName = a.CodecName;
        startUs = a.StartTimeUs, durationUs = a.DurationUs, bitRate = a.BitRate;
      } else {
        continue;
      }
      EXPECT_EQ(language, TagValue(probe, s + "tags.", "language"));
      // The decoder's name, then FFmpeg's long name of the codec.
      EXPECT_EQ(codecName.rfind(Value(probe, s + "codec_name"), 0), 0u) << codecName;
      const std::string longName = "(" + Value(probe, s + "codec_long_name") + ")";
      EXPECT_TRUE(codecName.size() > longName.size() &&
                  codecName.compare(codecName.size() - longName.size(), longName.size(), longName) == 0)
          << codecName;
      const std::string start = Value(probe, s + "start_time");
      EXPECT_EQ(startUs, start.empty() ? -1 : SecondsToUs(start));
      const std::string duration = Value(probe, s + "duration");
      if (!duration.empty()) {
        EXPECT_NEAR(durationUs, SecondsToUs(duration), 1);
      }
      const std::string rate = Value(probe, s + "bit_rate");
      if (!rate.empty()) {
        EXPECT_EQ(bitRate, std::stoll(rate));
      }
    }
  }
}

// The text keeps its layout; the codec descriptions in it are FFmpeg's own.
TEST_F(DecoderInfoTest, MediaInformationTextLayout) {
  const std::string file = decodertest::Mkv();
  TFFDecoder decoder(nullptr);
  ASSERT_TRUE(decoder.OpenFile(AnsiToWide(file))) << decoder.LastErrorMessage;
  const AnsiString text = decoder.GetMediaInfoText();
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  std::vector<std::string> lines;
  for (size_t p = 0, q; (q = text.find("\r\n", p)) != std::string::npos; p = q + 2) lines.push_back(text.substr(p, q - p));

  struct stat st {};
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  const std::vector<std::string> expected = {
      "File Name: " + file,
      "Format Name: matroska,webm",
      "Format Long Name: Matroska / WebM",
      "File Size: " + FormatFileSize(st.st_size),
      "Metadata:",
      "  title           : Two Streams",
      "  COMMENT         : first line",
      "                  : second line",
      "  YEAR            : 2021",
      "  ENCODER         : Lavf\\S+",
      "Duration: 00:00:02\\.0\\d\\d, start: 0\\.000000, bitrate: \\d+ kb/s",
      "Chapter #0: start 0\\.000000, end 1\\.000000",
      "  Metadata:",
      "    title           : Opening",
      "Chapter #1: start 1\\.000000, end 2\\.000000",
      "  Metadata:",
      "    title           : Closing",
      "  Stream #0, 1/1000: Video: h264 \\(High\\), yuv420p.*, 320x240.*, 25 fps, 25 tbr, 1k tbn, 50 tbc, "
      "start: 0\\.00\\d+",
      "  Metadata:",
      "    ENCODER         : Lavc\\S+ libx264",
      "    DURATION        : 00:00:02\\.0\\d+",
      "  Stream #1\\(eng\\), 1/1000: Audio: vorbis, 44100 Hz, mono, fltp.* \\(default\\), start: 0\\.000000",
      "  Metadata:",
      "    ENCODER         : Lavc\\S+ libvorbis",
      "    DURATION        : 00:00:02\\.0\\d+",
      "  Stream #2\\(ger\\), 1/1000: Audio: vorbis, 44100 Hz, mono, fltp.*, start: 0\\.000000",
  };
  ASSERT_GE(lines.size(), expected.size()) << text;
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_TRUE(std::regex_match(lines[i], std::regex(expected[i]))) << "line " << i << ": " << lines[i];
  }

  // Programs list their streams first; streams of no program follow.
  ASSERT_TRUE(decoder.OpenFile(AnsiToWide(decodertest::TwoProgramTs()))) << decoder.LastErrorMessage;
  const AnsiString ts = decoder.GetMediaInfoText();
  EXPECT_TRUE(std::regex_search(ts, std::regex("\r\nProgram 1 \r\n  Metadata:\r\n    service_name    : One\r\n.*\r\n"
                                               "  Stream #0\\[0x100\\], 1/90000: Video: mpeg2video \\(Main\\)[^\r]*, "
                                               "25 fps, 25 tbr, 90k tbn, 50 tbc, start: 1\\.4\\d+")))
      << ts;
  EXPECT_TRUE(std::regex_search(ts, std::regex("\r\nProgram 2 \r\n(.*\r\n)*  Stream #1\\[0x101\\], 1/90000: Video: "
                                               "mpeg2video \\(Main\\)[^\r]*, 160x120")))
      << ts;
  EXPECT_EQ(ts.find("No Program"), std::string::npos);
}

TEST_F(DecoderInfoTest, FailuresLeaveDefaultsAndAUsableDecoder) {
  TFFDecoder decoder(nullptr);
  TFileStreamInfo file;
  decoder.GetFileStreamInfo(file);
  EXPECT_EQ(decoder.LastErrorMessage, "file not loaded.");
  EXPECT_EQ(file.StartTime, AV_NOPTS_VALUE);
  EXPECT_EQ(file.Duration, -1);
  EXPECT_EQ(file.Year, -1);
  EXPECT_EQ(decoder.GetMediaInfoText(), "");

  const AnsiString missing = "/nonexistent/folder/clip.mp4";
  struct TCase {
    AnsiString File;
    AnsiString Format;
    std::string Message;  // a regular expression
  };
  const TCase cases[] = {
      {missing, "", "/nonexistent/folder/clip\\.mp4: No such file or directory"},
      {decodertest::H264Mp4(), "nosuchformat", "Unknown input format: nosuchformat"},
      {decodertest::RandomBytes(), "", ".*decoder-random\\.bin: Invalid data found when processing input"},
      {decodertest::Mp3(), "mp4", ".*decoder-audio\\.mp3: Invalid data found when processing input"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.File);
    EXPECT_FALSE(decoder.OpenFile(AnsiToWide(c.File), c.Format));
    EXPECT_TRUE(std::regex_match(decoder.LastErrorMessage, std::regex(c.Message))) << decoder.LastErrorMessage;
    EXPECT_EQ(decoder.FormatContext, nullptr);
    EXPECT_EQ(decoder.StreamCount, -1);
    EXPECT_EQ(decoder.FirstVideoStreamIndex, -1);
    EXPECT_EQ(decoder.FileSize, -1);
    // Still usable afterwards.
    ASSERT_TRUE(decoder.OpenFile(AnsiToWide(decodertest::Mp3()))) << decoder.LastErrorMessage;
    decoder.CloseFile();
  }

  ASSERT_TRUE(decoder.OpenFile(AnsiToWide(decodertest::Mp3())));
  TVideoStreamInfo video;
  const std::pair<Integer, std::string> videoAsks[] = {
      {-1, "no video stream."}, {0, "stream #0 is not video stream."}, {7, "stream index #7 is invalid."}};
  for (const auto& [index, message] : videoAsks) {
    video.Width = 99;
    decoder.GetVideoStreamInfo(index, video);
    EXPECT_EQ(decoder.LastErrorMessage, message);
    EXPECT_EQ(video.Width, -1);
    EXPECT_EQ(video.CodecName, "");
  }
  EXPECT_FALSE(decoder.IsVideoStream(-1));
  EXPECT_EQ(decoder.LastErrorMessage, "stream index #-1 is invalid.");
  TAudioStreamInfo audio;
  decoder.GetAudioStreamInfo(3, audio);
  EXPECT_EQ(decoder.LastErrorMessage, "stream index #3 is invalid.");

  ASSERT_TRUE(decoder.OpenFile(AnsiToWide(decodertest::Mpeg4Avi())));
  decoder.GetAudioStreamInfo(-1, audio);
  EXPECT_EQ(decoder.LastErrorMessage, "no audio stream.");
  decoder.GetAudioStreamInfo(0, audio);
  EXPECT_EQ(decoder.LastErrorMessage, "stream #0 is not audio stream.");
  EXPECT_EQ(audio.SampleRate, -1);
}

TEST_F(DecoderInfoTest, BeforeFindStreamInfoSeesTheOpenedContext) {
  TFFDecoder decoder(nullptr);
  int calls = 0;
  decoder.OnBeforeFindStreamInfo = [&](TObject* sender, AVFormatContext* context) {
    ++calls;
    EXPECT_EQ(sender, &decoder);
    EXPECT_EQ(context, decoder.FormatContext);
    EXPECT_EQ(decoder.StreamCount, -1);  // not probed yet
  };
  ASSERT_TRUE(decoder.OpenFile(AnsiToWide(decodertest::Mpeg4Avi()))) << decoder.LastErrorMessage;
  EXPECT_EQ(calls, 1);
  decoder.TriggerEventInMainThread = false;
  decoder.OnBeforeFindStreamInfo = [&](TObject*, AVFormatContext*) { throw Exception("refused"); };
  EXPECT_THROW(decoder.OpenFile(AnsiToWide(decodertest::Mpeg4Avi())), Exception);
  EXPECT_EQ(decoder.FormatContext, nullptr);
}

// A context a task opened: the getters read it without changing it, and the decoder neither
// seeks nor closes it.
TEST_F(DecoderInfoTest, AttachedContextIsReadOnly) {
  AVFormatContext* context = ff::avformat_alloc_context();
  ASSERT_NE(context, nullptr);
  AVStream* stream = ff::avformat_new_stream(context, nullptr);
  ASSERT_NE(stream, nullptr);
  stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
  stream->codecpar->width = 64;
  stream->codecpar->height = 48;
  stream->time_base = AVRational{3, 0};
  stream->start_time = 5;
  stream->duration = 7;

  {
    TFFDecoder decoder(nullptr);
    decoder.AttachFormatContext(context);
    EXPECT_FALSE(decoder.OwnsFormatContext);
    EXPECT_EQ(decoder.StreamCount, 1);
    EXPECT_EQ(decoder.FirstVideoStreamIndex, 0);
    TVideoStreamInfo info;
    decoder.GetVideoStreamInfo(0, info);
    // Rescaled as if the time base were 3/3, and the stream's own time base left alone.
    EXPECT_EQ(info.StartTimeUs, 5000000);
    EXPECT_EQ(info.DurationUs, 7000000);
    EXPECT_EQ(stream->time_base.num, 3);
    EXPECT_EQ(stream->time_base.den, 0);
    EXPECT_NE(decoder.GetMediaInfoText().find("  Stream #0, 1/0: Video: "), std::string::npos);

    for (auto call : {+[](TFFDecoder& d) { d.Seek(0, {}); }, +[](TFFDecoder& d) { d.Decode(-1); }}) {
      try {
        call(decoder);
        ADD_FAILURE() << "no exception";
      } catch (const Exception& e) {
        EXPECT_EQ(e.Message, "file cannot be seeked, handle is readonly.");
      }
    }
    decoder.CloseFile();
    EXPECT_EQ(decoder.FormatContext, nullptr);
    decoder.AttachFormatContext(context);
  }
  // Both the close and the destruction left the context to its owner.
  EXPECT_EQ(context->nb_streams, 1u);
  ff::avformat_free_context(context);
}

// A FIFO whose writer never writes: the open gives up after the read time-out.
TEST_F(DecoderInfoTest, ReadTimeoutEndsAWaitForData) {
  const std::string dir = testsupport::MakeTempDir("fifo");
  const std::string fifo = dir + "/never.ts";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // Held open for writing by the test itself, so nobody sees the end of the stream.
  const int writer = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(writer, 0);

  TFFDecoder decoder(nullptr);
  decoder.ReadTimeout = 300;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(decoder.OpenFile(AnsiToWide(fifo)));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(300));
  EXPECT_LT(elapsed, std::chrono::seconds(10));
  EXPECT_EQ(decoder.LastErrorMessage, fifo + ": Immediate exit requested");
  EXPECT_EQ(decoder.FormatContext, nullptr);

  // Data that does arrive is read through the same road.
  close(writer);
  const std::string clip = decodertest::TwoProgramTs();
  // The decoder stops reading before the whole clip is written: the feeder sees EPIPE then.
  const auto previousPipeHandler = signal(SIGPIPE, SIG_IGN);
  std::thread feeder([&] {
    std::ifstream in(clip, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const int fd = open(fifo.c_str(), O_WRONLY);
    for (size_t done = 0; fd >= 0 && done < bytes.size();) {
      const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    if (fd >= 0) close(fd);
  });
  decoder.ReadTimeout = 5000;
  ASSERT_TRUE(decoder.OpenFile(AnsiToWide(fifo))) << decoder.LastErrorMessage;
  EXPECT_EQ(decoder.VideoStreamCount, 2);
  EXPECT_TRUE(decoder.Decode(-1)) << decoder.LastErrorMessage;
  // A pipe cannot go back: the seek fails, and reading goes on where it was.
  EXPECT_FALSE(decoder.Seek(1500000, {}));
  EXPECT_EQ(decoder.LastErrorMessage, "TFFDecoder.Seek(): could not seek to position 1.500 seconds");
  EXPECT_FALSE(decoder.LastPicture.Ready);
  EXPECT_TRUE(decoder.Decode(-1)) << decoder.LastErrorMessage;
  decoder.CloseFile();
  feeder.join();
  signal(SIGPIPE, previousPipeHandler);
  testsupport::RemoveTree(dir);
}

}  // namespace
