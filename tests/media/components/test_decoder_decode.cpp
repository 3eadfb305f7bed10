// Seeking and decoding, checked picture for picture against the ffmpeg tool.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "media/components/decoder.h"
#include "platform/gui/bitmap.h"
#include "platform/rtl/strings.h"
#include "tests/media/components/test_decoder_support.h"

namespace {

constexpr const char* EofMessage = "TFFDecoder.Decode() for video: stream eof reached.";

// Differences between a pf32bit bitmap and ffmpeg's B, G, R, A bytes; empty when equal.
std::string PictureDifference(TBitmap& bitmap, const std::string& expected) {
  if (bitmap.PixelFormat() != pf32bit) return "bitmap is not pf32bit";
  const size_t rowBytes = static_cast<size_t>(bitmap.Width()) * 4;
  if (expected.size() != rowBytes * bitmap.Height()) {
    return "size " + std::to_string(bitmap.Width()) + "x" + std::to_string(bitmap.Height()) + " against " +
           std::to_string(expected.size()) + " bytes";
  }
  size_t differing = 0;
  for (int y = 0; y < bitmap.Height(); ++y) {
    const auto* row = static_cast<const uint8_t*>(bitmap.ScanLine(y));
    const auto* want = reinterpret_cast<const uint8_t*>(expected.data()) + y * rowBytes;
    for (size_t x = 0; x < rowBytes; x += 4) {
      if (std::memcmp(row + x, want + x, 3) != 0) ++differing;
    }
  }
  return differing ? std::to_string(differing) + " pixels differ" : "";
}

class DecoderDecodeTest : public ::testing::Test {
 protected:
  void SetUp() override { decodertest::LoadLibraries(); }
};

TEST_F(DecoderDecodeTest, SeekDecodeCopyGivesFfmpegsPictures) {
  struct TStep {
    double Seconds;
    bool Accurate;  // false: the keyframe at or before the time, as ffmpeg's -noaccurate_seek
    Int64 KeyframeUs;
  };
  // A seek before any Decode (container time), backwards to a keyframe, a time between
  // keyframes, and 0, which aims half a frame before the first picture.
  const std::vector<TStep> steps = {{2.0, true, 2000000}, {1.0, true, 1000000}, {1.6, false, 1000000}, {0.0, true, 0}};
  for (const std::string& file :
       {decodertest::H264Mp4(), decodertest::Mpeg4Avi(), decodertest::Vp8Webm(), decodertest::Mov()}) {
    SCOPED_TRACE(file);
    TFFDecoder decoder(nullptr);
    ASSERT_TRUE(decoder.OpenFile(AnsiToWide(file))) << decoder.LastErrorMessage;
    for (const TStep& step : steps) {
      SCOPED_TRACE(step.Seconds);
      ASSERT_TRUE(decoder.Seek(static_cast<Int64>(step.Seconds * 1000000), {sfBackward})) << decoder.LastErrorMessage;
      ASSERT_TRUE(decoder.Decode(-1)) << decoder.LastErrorMessage;
      EXPECT_EQ(decoder.LastPicture.PTS, step.KeyframeUs);
      EXPECT_TRUE(decoder.LastPicture.KeyFrame);
      TBitmap bitmap;
      ASSERT_TRUE(decoder.CopyToBitmap(&bitmap)) << decoder.LastErrorMessage;
      EXPECT_EQ(PictureDifference(bitmap, decodertest::FfmpegFrame(file, step.Seconds, step.Accurate)), "");
    }
    EXPECT_EQ(decoder.VideoStreamIndex, decoder.FirstVideoStreamIndex);
    EXPECT_EQ(decoder.SeekStreamIndex, decoder.VideoStreamIndex);
    EXPECT_EQ(decoder.FrameRate.num, 25);
    EXPECT_EQ(decoder.FrameRate.den, 1);
  }
}

// DecodeTo passes over pictures shown before its time that nothing refers to; the picture it
// stops at is still the tool's -ss picture, between key frames, just before the next one and
// at the end, where the true last picture must stand for any time past it.
TEST_F(DecoderDecodeTest, DecodeToGivesTheToolsPictureBetweenKeyFrames) {
  struct TCase {
    double Seconds;
    double ShownSeconds;  // the picture expected, past the end the last one
  };
  const std::vector<TCase> cases = {{1.04, 1.04}, {1.48, 1.48}, {1.96, 1.96}, {0.52, 0.52}, {2.92, 2.92},
                                    {2.96, 2.96}, {4.0, 2.96}};
  for (const std::string& file : {decodertest::H264Mp4(), decodertest::Mpeg4Avi()}) {
    SCOPED_TRACE(file);
    TFFDecoder decoder(nullptr);
    ASSERT_TRUE(decoder.OpenFile(AnsiToWide(file))) << decoder.LastErrorMessage;
    for (const TCase& step : cases) {
      SCOPED_TRACE(step.Seconds);
      const Int64 us = static_cast<Int64>(step.Seconds * 1000000 + 0.5);
      ASSERT_TRUE(decoder.Seek(us, {sfBackward})) << decoder.LastErrorMessage;
      ASSERT_TRUE(decoder.DecodeTo(us)) << decoder.LastErrorMessage;
      EXPECT_EQ(decoder.LastPicture.PresentationUs, static_cast<Int64>(step.ShownSeconds * 1000000 + 0.5));
      TBitmap bitmap;
      ASSERT_TRUE(decoder.CopyToBitmap(&bitmap)) << decoder.LastErrorMessage;
      EXPECT_EQ(PictureDifference(bitmap, decodertest::FfmpegFrame(file, step.ShownSeconds, true)), "");
    }
  }
}

// Decoding goes on after DecodeTo picture by picture, none left out, whether DecodeTo stopped
// at a key frame, between key frames or on a picture shown before pictures decoded ahead of it.
TEST_F(DecoderDecodeTest, DecodeAfterDecodeToGivesEveryFollowingPicture) {
  const std::vector<double> targets = {1.0, 1.48, 1.5, 0.12};
  for (const std::string& file : {decodertest::H264Mp4(), decodertest::Mpeg4Avi()}) {
    SCOPED_TRACE(file);
    TFFDecoder decoder(nullptr);
    ASSERT_TRUE(decoder.OpenFile(AnsiToWide(file))) << decoder.LastErrorMessage;
    for (const double seconds : targets) {
      SCOPED_TRACE(seconds);
      const Int64 us = static_cast<Int64>(seconds * 1000000 + 0.5);
      ASSERT_TRUE(decoder.Seek(us, {sfBackward})) << decoder.LastErrorMessage;
      ASSERT_TRUE(decoder.DecodeTo(us)) << decoder.LastErrorMessage;
      Int64 shown = decoder.LastPicture.PresentationUs;
      EXPECT_EQ(shown, (us + 39999) / 40000 * 40000);
      for (int k = 0; k < 6; ++k) {
        ASSERT_TRUE(decoder.Decode(-1)) << decoder.LastErrorMessage;
        EXPECT_EQ(decoder.LastPicture.PresentationUs, shown + 40000);
        shown = decoder.LastPicture.PresentationUs;
      }
      TBitmap bitmap;
      ASSERT_TRUE(decoder.CopyToBitmap(&bitmap)) << decoder.LastErrorMessage;
      EXPECT_EQ(PictureDifference(bitmap, decodertest::FfmpegFrame(file, shown / 1e6, true)), "");
    }
  }
}

// The picture goes into the caller's bitmap whole, whatever its width and whatever the bitmap
// held before: a width the scaler writes in whole blocks and one it does not.
TEST_F(DecoderDecodeTest, CopyToBitmapHoldsThePictureOfAnyWidth) {
  const std::string narrow = testsupport::Fixture(
      "decoder-h264-200x120.mp4", std::string(decodertest::Quiet) + decodertest::Lavfi("200x120", 1) +
                                      " -c:v libx264 -preset veryfast -pix_fmt yuv420p {out}");
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf24bit);
  bitmap.SetSize(640, 20);
  for (const std::string& file : {decodertest::H264Mp4(), narrow, decodertest::H264Mp4()}) {
    SCOPED_TRACE(file);
    TFFDecoder decoder(nullptr);
    ASSERT_TRUE(decoder.OpenFile(AnsiToWide(file))) << decoder.LastErrorMessage;
    ASSERT_TRUE(decoder.Decode(-1)) << decoder.LastErrorMessage;
    ASSERT_TRUE(decoder.CopyToBitmap(&bitmap)) << decoder.LastErrorMessage;
    EXPECT_EQ(PictureDifference(bitmap, decodertest::FfmpegFrame(file, 0)), "");
  }
}

// Every picture comes out, the delayed ones after the end of the input too, then the end is
// reported until the next seek.
TEST_F(DecoderDecodeTest, DecodingToTheEndReportsEndOfStream) {
  for (const std::string& file : {decodertest::H264Mp4(), decodertest::TwoProgramTs()}) {
    SCOPED_TRACE(file);
    const std::string frames = testsupport::RunOk(
        "ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames -of csv=p=0 " +
        testsupport::ShellQuote(file));
    TFFDecoder decoder(nullptr);
    ASSERT_TRUE(decoder.OpenFile(AnsiToWide(file))) << decoder.LastErrorMessage;
    int decoded = 0;
    Int64 lastPts = AV_NOPTS_VALUE;
    bool rising = true;
    while (decoder.Decode(-1)) {
      ++decoded;
      if (lastPts != AV_NOPTS_VALUE && decoder.LastPicture.PTS <= lastPts) rising = false;
      lastPts = decoder.LastPicture.PTS;
    }
    EXPECT_EQ(decoded, std::stoi(frames));
    EXPECT_TRUE(rising);
    EXPECT_EQ(lastPts, (decoded - 1) * 40000);
    EXPECT_TRUE(decoder.EndOfStream);
    EXPECT_TRUE(decoder.Draining);
    EXPECT_EQ(decoder.LastErrorMessage, EofMessage);
    decoder.LastErrorMessage.clear();
    EXPECT_FALSE(decoder.Decode(-1));
    EXPECT_EQ(decoder.LastErrorMessage, EofMessage);

    ASSERT_TRUE(decoder.Seek(0, {sfBackward}));
    EXPECT_FALSE(decoder.EndOfStream);
    EXPECT_FALSE(decoder.Draining);
    ASSERT_TRUE(decoder.Decode(-1)) << decoder.LastErrorMessage;
    EXPECT_EQ(decoder.LastPicture.PTS, 0);
  }
}

// Forced to "image2", or probed: the probing demuxers name a still image after its codec
// ("png_pipe", "jpeg_pipe", "bmp_pipe"), and each must read as one picture that cannot seek.
TEST_F(DecoderDecodeTest, StillImageHasOnePictureAndNoSeek) {
  const std::string still = std::string(decodertest::Quiet) + "-f lavfi -i testsrc2=size=320x240 -frames:v 1 -f image2 ";
  const struct {
    std::string File;
    AnsiString Format;
    const char* Demuxer;
  } cases[] = {
      {decodertest::Png(), "image2", "image2"},
      {decodertest::Png(), "", "png_pipe"},
      {testsupport::Fixture("decoder-still.jpg", still + "-c:v mjpeg -q:v 2 {out}"), "", "image2"},
      // Without an extension only the content tells.
      {testsupport::Fixture("decoder-still-jpeg", still + "-c:v mjpeg -q:v 2 -f image2pipe {out}"), "", "jpeg_pipe"},
      {testsupport::Fixture("decoder-still.bmp", still + "-c:v bmp {out}"), "", "bmp_pipe"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.File + " as " + c.Demuxer);
    TFFDecoder decoder(nullptr);
    ASSERT_TRUE(decoder.OpenFile(AnsiToWide(c.File), c.Format)) << decoder.LastErrorMessage;
    if (c.Format.empty()) {
      ASSERT_EQ(testsupport::RunOk("ffprobe -v error -show_entries format=format_name -of csv=p=0 " +
                                   testsupport::ShellQuote(c.File)),
                std::string(c.Demuxer) + "\n");
    }
    ASSERT_TRUE(decoder.Decode(-1)) << decoder.LastErrorMessage;
    EXPECT_FALSE(decoder.Seek(0, {}));
    EXPECT_EQ(decoder.LastErrorMessage, "\"image2\" format cannot to be seeked.");
    // The picture stays: no read, so no end of stream.
    decoder.LastErrorMessage.clear();
    EXPECT_TRUE(decoder.Decode(-1));
    EXPECT_TRUE(decoder.Decode(-1));
    EXPECT_EQ(decoder.LastErrorMessage, "");
    EXPECT_FALSE(decoder.EndOfStream);
    TBitmap bitmap;
    ASSERT_TRUE(decoder.CopyToBitmap(&bitmap)) << decoder.LastErrorMessage;
    // Not with "-ss": the tool then gives nothing for a JPEG read as "image2".
    EXPECT_EQ(PictureDifference(bitmap, testsupport::RunOk("ffmpeg -nostdin -v error -i " + testsupport::ShellQuote(c.File) +
                                                           " -frames:v 1 -f rawvideo -pix_fmt bgra -")),
              "");
  }
}

TEST_F(DecoderDecodeTest, RefusalsAndBrokenInput) {
  TFFDecoder decoder(nullptr);
  TBitmap bitmap;
  EXPECT_FALSE(decoder.Decode(-1));
  EXPECT_EQ(decoder.LastErrorMessage, "file not loaded.");
  EXPECT_FALSE(decoder.Seek(0, {}));
  EXPECT_EQ(decoder.LastErrorMessage, "file not loaded.");
  EXPECT_FALSE(decoder.CopyToBitmap(&bitmap));
  EXPECT_EQ(decoder.LastErrorMessage, "picture not ready, please decode first");

  ASSERT_TRUE(decoder.OpenFile(AnsiToWide(decodertest::Mov())));
  EXPECT_FALSE(decoder.Decode(5));
  EXPECT_EQ(decoder.LastErrorMessage, "stream index #5 is invalid.");
  EXPECT_FALSE(decoder.Decode(0));
  EXPECT_EQ(decoder.LastErrorMessage, "stream #0 is not video stream.");
  EXPECT_EQ(decoder.SelectVideoStream(-1), 1);
  EXPECT_FALSE(decoder.CopyToBitmap(&bitmap));

  ASSERT_TRUE(decoder.OpenFile(AnsiToWide(decodertest::Mp3())));
  EXPECT_FALSE(decoder.Decode(-1));
  EXPECT_EQ(decoder.LastErrorMessage, "no video stream.");

  // The index promises pictures the file no longer holds: they end the stream, nothing more.
  ASSERT_TRUE(decoder.OpenFile(AnsiToWide(decodertest::TruncatedMp4()))) << decoder.LastErrorMessage;
  int decoded = 0;
  while (decoder.Decode(-1) && decoded < 200) ++decoded;
  EXPECT_GT(decoded, 0);
  EXPECT_LT(decoded, 75);
  EXPECT_EQ(decoder.LastErrorMessage, EofMessage);
  EXPECT_TRUE(decoder.Seek(2500000, {sfBackward}) ? !decoder.Decode(-1) : true);

  // Afterwards the same decoder serves a sound file.
  const std::string good = decodertest::Mpeg4Avi();
  ASSERT_TRUE(decoder.OpenFile(AnsiToWide(good))) << decoder.LastErrorMessage;
  ASSERT_TRUE(decoder.Seek(1000000, {sfBackward}));
  ASSERT_TRUE(decoder.Decode(-1)) << decoder.LastErrorMessage;
  ASSERT_TRUE(decoder.CopyToBitmap(&bitmap));
  EXPECT_EQ(PictureDifference(bitmap, decodertest::FfmpegFrame(good, 1.0)), "");
}

}  // namespace
