#include <gtest/gtest.h>

#include "app/clip_run_options.h"
#include "app/crop_area.h"
#include "platform/rtl/sysutils.h"

namespace {

TClipSource Source(const char* Info, Integer Width = 640, Integer Height = 360) {
  TClipSource s;
  s.FileName = "/v/movie.mp4";
  s.Info = Info;
  s.Width = Width;
  s.Height = Height;
  s.VideoBitRate = 500000;
  s.FrameRateNum = 25;
  s.FrameRateDen = 1;
  s.HasAudio = true;
  s.SampleRate = 44100;
  s.Channels = 2;
  s.FileBitRate = 600000;
  return s;
}

TEST(ClipRunOptions, FirstSaveTypeFollowsTheSourceAndTheStart) {
  const struct {
    const char* source;
    bool atStart;
    const char* first;
    const char* defaultExt;
  } cases[] = {
      {"/v/movie.avi", true, "*.AVI|*.avi|", "avi"},
      {"/v/movie.avi", false, "*.MPG|*.mpg|", "mpg"},
      {"/v/movie.rm", false, "*.MPG|*.mpg|", "mpg"},
      {"/v/movie.rmvb", true, "*.RM|*.rm|", "rm"},
      {"/v/movie.rmvb", false, "*.MPG|*.mpg|", "mpg"},
      {"/v/movie.h264", true, "*.MKV|*.mkv|", "mkv"},
      {"/v/movie.h264", false, "*.MKV|*.mkv|", "mkv"},
      {"/v/movie.mov", true, "*.MOV|*.mov|", "mov"},
      {"/v/movie.Mov", false, "*.MOV|*.mov|", "Mov"},  // the source's own case
      {"/v/movie.dv", true, "*.AVI|*.avi|", "avi"},
      {"/v/movie.dv", false, "*.MPG|*.mpg|", "mpg"},
  };
  for (const auto& c : cases) {
    const TClipSaveTypes types = ClipSaveTypes(c.source, c.atStart);
    EXPECT_EQ(types.Filter.substr(0, std::string(c.first).size()), c.first) << c.source << c.atStart;
    EXPECT_EQ(types.DefaultExt, c.defaultExt) << c.source;
    // The default type is not offered twice; the others follow in the list's order.
    const AnsiString upper = "*." + UpperCase(AnsiString(c.defaultExt)) + "|";
    EXPECT_EQ(types.Filter.find(upper, 1), AnsiString::npos) << types.Filter;
  }
  EXPECT_EQ(ClipSaveTypes("/v/m.avi", true).Filter,
            "*.AVI|*.avi|*.MPG|*.mpg|*.MPEG|*.mpeg|*.WMV|*.wmv|*.MP4|*.mp4|*.M4V|*.m4v|*.3GP|*.3gp|*.RM|*.rm|"
            "*.FLV|*.flv|*.SWF|*.swf|*.MKV|*.mkv|*.WEBM|*.webm|*.MOV|*.mov|*.VOB|*.vob|*.ASF|*.asf|*.TS|*.ts|"
            "*.MTS|*.mts|");
}

TEST(ClipRunOptions, CodecOptionsByTargetAndSource) {
  TClipSource h264 = Source("stream #0:0: video: h264 (high)");
  TClipSource mpeg2 = Source("stream #0:0: video: mpeg2video");
  TClipSource mpeg4 = Source("stream #0:0: video: mpeg4");
  TClipSource xvid = Source("video: mpeg4 (xvid)");
  TClipSource wmv = Source("video: wmv3, audio: wmapro");
  TClipSource mp3 = Source("video: mpeg4, audio: mp3");
  TClipSource audio48k = mpeg2;
  audio48k.SampleRate = 48000;
  TClipSource silent = mpeg2;
  silent.HasAudio = false;
  TClipSource surround = mpeg2;
  surround.Channels = 6;
  TClipSource slow = mpeg2;
  slow.FrameRateNum = 15;
  TClipSource oddRate = mpeg2;  // 30000 / 1001 written with a huge numerator
  oddRate.FrameRateNum = 2997000;
  oddRate.FrameRateDen = 100000;
  const struct {
    const char* target;
    const TClipSource* source;
    const char* codec;
  } cases[] = {
      {"/o/c.mp4", &h264, " -c:v libx264"},
      {"/o/c.mp4", &mpeg2, " -c:v mpeg4"},
      {"/o/c.mp4", &mp3, " -c:v mpeg4 -c:a libmp3lame"},
      {"/o/c.avi", &h264, " -c:v libx264"},
      {"/o/c.avi", &xvid, " -c:v libxvid"},
      {"/o/c.avi", &oddRate, " -c:v mpeg4 -r 29.97"},
      {"/o/c.avi", &surround, " -c:v mpeg4 -ac 2"},
      {"/o/c.3gp", &h264, " -c:v libx264 -c:a aac -ar 8000 -ac 1"},
      {"/o/c.3gp", &mpeg2, " -c:v mpeg4 -c:a aac -ar 8000 -ac 1"},
      {"/o/c.flv", &audio48k, " -ar 44100 -c:v flv1"},
      {"/o/c.flv", &mpeg2, " -c:v flv1"},
      {"/o/c.flv", &silent, " -ar 44100 -c:v flv1"},
      {"/o/c.flv", &mpeg4, " -c:v flv1"},  // the muxer refuses MPEG-4 part 2
      {"/o/c.flv", &h264, " -c:v libx264"},
      {"/o/c.swf", &audio48k, " -ar 44100"},
      {"/o/c.m4v", &mpeg4, " -c:v mpeg4"},
      {"/o/c.mkv", &mpeg2, " -c:v libx264"},
      {"/o/c.mkv", &surround, " -c:v libx264 -ac 2"},
      {"/o/c.rm", &h264, " -c:v rv20"},
      {"/o/c.wmv", &wmv, " -c:v wmv2 -c:a wmav2"},
      {"/o/c.WMV", &mpeg2, " -c:v mpeg4 -c:a wmav2"},
      {"/o/c.webm", &h264, " -f webm -c:v libvpx -c:a libvorbis"},
      {"/o/c.mts", &mpeg2, " -c:v libx264"},
      {"/o/c.mpg", &slow, " -r 20"},
      {"/o/c.mpeg", &mpeg2, ""},
      {"/o/c.vob", &surround, " -ac 2"},
      {"/o/c.mov", &surround, ""},
      {"/o/c.ts", &h264, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ClipCodecOptions(c.target, *c.source), c.codec) << c.target << " " << c.source->Info;
}

TEST(ClipRunOptions, FrameSizeTheTargetAccepts) {
  const struct {
    const char* w;
    const char* h;
    const char* target;
    const char* info;
    const char* size;
  } cases[] = {
      {"642", "362", "/o/c.rm", "mpeg4", "644:364"},
      {"640", "360", "/o/c.rm", "mpeg4", "640:360"},
      {"641", "361", "/o/c.wmv", "wmv2", "642:361"},
      {"641", "361", "/o/c.wmv", "mpeg4", "642:362"},
      {"641", "360", "/o/c.avi", "h264", "642:360"},
      {"641", "361", "/o/c.avi", "mpeg4", "641:361"},
      {"641", "361", "/o/c.webm", "mpeg4", "641:361"},
      {"641", "361", "/o/c.mp4", "mpeg4", "642:362"},
      {"641", "361", "/o/c.ts", "mpeg4", "642:362"},
  };
  for (const auto& c : cases) EXPECT_EQ(ClipFrameSize(c.w, c.h, c.target, c.info), c.size) << c.target << c.info;
}

TClipRunChoices Choices(const char* Target) {
  TClipRunChoices c;
  c.Stretch.Start = 10000000;
  c.Stretch.Length = 4000000;
  c.Target = Target;
  return c;
}

TEST(ClipRunOptions, OutputOptionsInOrder) {
  const TClipSource mpeg4 = Source("video: mpeg4", 640, 360);
  const TClipSource h264 = Source("video: h264", 641, 360);

  // Same extension, stream bit rate below the file's: the stream's bit rate is kept.
  EXPECT_EQ(ClipOutputOptions(Choices("/o/c.mp4"), mpeg4), " -y -t 00:00:04.000 -c:v mpeg4 -b:v 500000 -q:a 0");
  TClipSource unknownRate = mpeg4;
  unknownRate.VideoBitRate = 0;
  EXPECT_EQ(ClipOutputOptions(Choices("/o/c.mp4"), unknownRate), " -y -t 00:00:04.000 -c:v mpeg4 -q:v 0 -q:a 0");
  // Original size rounded for the target: scale and aspect.
  EXPECT_EQ(ClipOutputOptions(Choices("/o/c.avi"), h264),
            " -y -t 00:00:04.000 -c:v libx264 -q:v 0 -q:a 0 -aspect 642:360 -vf scale=642:360");
  // A target outside the clip list gets no video quality and no size.
  EXPECT_EQ(ClipOutputOptions(Choices("/o/c.nut"), h264), " -y -t 00:00:04.000 -q:a 0");

  TClipRunChoices custom = Choices("/o/c.mkv");
  custom.FrameSize = cfsCustom;
  custom.CustomWidth = 321;
  custom.CustomHeight = 240;
  custom.Pad = false;
  EXPECT_EQ(ClipOutputOptions(custom, mpeg4),
            " -y -t 00:00:04.000 -c:v libx264 -q:v 0 -q:a 0 -aspect 322:240 -vf scale=322:240");
  custom.Pad = true;
  EXPECT_EQ(ClipOutputOptions(custom, mpeg4),
            " -y -t 00:00:04.000 -c:v libx264 -q:v 0 -q:a 0 -aspect 322:240 -vf "
            "scale=322:322/(iw/ih),pad=322:240:0:(oh-ow/(iw/ih))/2:black");
}

TEST(ClipRunOptions, CropComesBeforeTheTransforms) {
  TClipRunChoices c = Choices("/o/c.mov");
  c.FrameSize = cfsCrop;
  c.Crop = {10, 20, 89, 60};  // the last column and line inside: 80 x 41, made even for the target
  c.HFlip = true;
  c.RotateCW = true;
  EXPECT_EQ(ClipOutputOptions(c, Source("video: mpeg4")),
            " -y -t 00:00:04.000 -q:v 0 -q:a 0 -vf crop=80:42:10:20:exact=1,hflip,transpose=1");
}

// A crop whose size the target's format rounds up must still lie inside the source picture.
TEST(ClipRunOptions, RoundedCropStaysInsideThePicture) {
  const struct {
    const char* Target;
    Integer Width, Height;  // of the source picture
    TCropArea Area;
    const char* Crop;
  } cases[] = {
      // 41 x 41 touching the right and bottom edges of 640 x 360: made even, moved back by one.
      {"/o/c.mov", 640, 360, {599, 319, 639, 359}, ",crop=42:42:598:318:exact=1"},
      // Away from the edges nothing moves.
      {"/o/c.mov", 640, 360, {10, 20, 50, 60}, ",crop=42:42:10:20:exact=1"},
      // RealMedia wants multiples of 4: 1 x 1 in the corner becomes 4 x 4 ending at the corner.
      {"/o/c.rm", 640, 360, {639, 359, 639, 359}, ",crop=4:4:636:356:exact=1"},
      // The whole width of an odd picture rounds down instead, as it cannot grow past it.
      {"/o/c.mov", 161, 91, {0, 0, 160, 90}, ",crop=160:90:0:0:exact=1"},
      {"/o/c.rm", 162, 90, {0, 0, 161, 89}, ",crop=160:88:0:0:exact=1"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.Crop);
    TClipRunChoices c = Choices(k.Target);
    c.FrameSize = cfsCrop;
    c.Crop = k.Area;
    EXPECT_EQ(ClipCropPart(c, Source("video: mpeg4", k.Width, k.Height)), k.Crop);
  }
}

TEST(ClipRunOptions, ChangedSpeedsKeepTheWholeStretch) {
  const TClipSource src = Source("video: mpeg4");
  const struct {
    bool changeMotion;
    Integer motion;
    bool changeTempo;
    Integer tempo;
    bool changeVolume;
    Integer volume;
    const char* options;
  } cases[] = {
      // unchanged speeds keep the plain strings
      {false, 200, false, 300, true, 150, " -y -t 00:00:04.000 -c:v mpeg4 -q:v 0 -q:a 0 -af volume=1.5"},
      {true, 100, true, 100, false, 100, " -y -t 00:00:04.000 -c:v mpeg4 -q:v 0 -q:a 0"},
      // motion 200 %: the file lasts the picture's 2 s
      {true, 200, false, 100, false, 100,
       " -y -t 00:00:02.000 -c:v mpeg4 -q:v 0 -q:a 0 -vf trim=duration=4,setpts=0.5*PTS -af atrim=duration=4"},
      // motion and tempo 200 %: both halves take 2 s
      {true, 200, true, 200, false, 100,
       " -y -t 00:00:02.000 -c:v mpeg4 -q:v 0 -q:a 0 -vf trim=duration=4,setpts=0.5*PTS "
       "-af atempo=2,atrim=duration=2"},
      // slower sound: still the picture's 4 s / 4 = 1 s
      {true, 400, true, 50, true, 200,
       " -y -t 00:00:01.000 -c:v mpeg4 -q:v 0 -q:a 0 -vf trim=duration=4,setpts=0.25*PTS "
       "-af volume=2,atempo=0.5,atrim=duration=8"},
  };
  for (const auto& c : cases) {
    TClipRunChoices choices = Choices("/o/c.m4v");
    choices.ChangeMotion = c.changeMotion;
    choices.Motion = c.motion;
    choices.ChangeTempo = c.changeTempo;
    choices.Tempo = c.tempo;
    choices.ChangeVolume = c.changeVolume;
    choices.Volume = c.volume;
    EXPECT_EQ(ClipOutputOptions(choices, src), c.options) << c.motion << " " << c.tempo;
  }
}

}  // namespace
