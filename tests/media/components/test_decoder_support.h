// Media fixtures for the decoder's tests, made by the ffmpeg tool, and what ffprobe and ffmpeg
// say about them.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <sstream>
#include <string>

#include "media/binding/loader.h"
#include "tests/support/fixtures.h"

namespace decodertest {

inline void LoadLibraries() { ASSERT_TRUE(FFLoader()->Load(DecoderLibraries)) << FFLoader()->GetLastError(); }

inline std::string Lavfi(const std::string& size, double seconds) {
  return "-f lavfi -i testsrc2=size=" + size + ":rate=25:duration=" + std::to_string(seconds);
}
inline std::string Sine(int hz, double seconds) {
  return "-f lavfi -i sine=frequency=" + std::to_string(hz) + ":sample_rate=44100:duration=" + std::to_string(seconds);
}
constexpr const char* Quiet = "ffmpeg -nostdin -v error -y ";
// A keyframe at every whole second of a 25 fps clip.
constexpr const char* EverySecond = " -g 25 -keyint_min 25 -force_key_frames 'expr:gte(t,n_forced)' ";

inline std::string H264Mp4() {
  return testsupport::Fixture("decoder-h264.mp4", std::string(Quiet) + Lavfi("320x240", 3) + " " + Sine(440, 3) +
                                                      " -c:v libx264 -preset veryfast -pix_fmt yuv420p" + EverySecond +
                                                      "-c:a aac -b:a 64k -metadata title='Test clip' -movflags +faststart {out}");
}
inline std::string Mpeg4Avi() {
  return testsupport::Fixture("decoder-mpeg4.avi",
                              std::string(Quiet) + Lavfi("320x240", 3) + " -c:v mpeg4 -q:v 4" + EverySecond + "{out}");
}
inline std::string Vp8Webm() {
  return testsupport::Fixture("decoder-vp8.webm", std::string(Quiet) + Lavfi("320x240", 3) +
                                                      " -c:v libvpx -b:v 400k -auto-alt-ref 0" + EverySecond + "{out}");
}
// Audio first, so the first video stream is not stream 0.
inline std::string Mov() {
  return testsupport::Fixture("decoder-clip.mov", std::string(Quiet) + Lavfi("320x240", 3) + " " + Sine(660, 3) +
                                                      " -map 1:a -map 0:v -c:v mpeg4 -q:v 4" + EverySecond +
                                                      "-c:a pcm_s16le {out}");
}
// Two audio streams with languages, chapters, and a comment across two lines.
inline std::string Mkv() {
  return testsupport::Fixture(
      "decoder-tagged.mkv",
      "printf ';FFMETADATA1\\ntitle=Two Streams\\nYEAR=2021\\n[CHAPTER]\\nTIMEBASE=1/1000\\nSTART=0\\nEND=1000\\n"
      "title=Opening\\n[CHAPTER]\\nTIMEBASE=1/1000\\nSTART=1000\\nEND=2000\\ntitle=Closing\\n' > {out}.txt && " +
          std::string(Quiet) + Lavfi("320x240", 2) + " " + Sine(440, 2) + " " + Sine(880, 2) +
          " -f ffmetadata -i {out}.txt -map 0:v -map 1:a -map 2:a -map_metadata 3 -map_chapters 3"
          " -metadata comment=\"$(printf 'first line\\nsecond line')\" -metadata:s:a:0 language=eng"
          " -metadata:s:a:1 language=ger -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a libvorbis -f matroska {out}"
          " && rm -f {out}.txt");
}
inline std::string TwoProgramTs() {
  return testsupport::Fixture("decoder-programs.ts", std::string(Quiet) + Lavfi("320x240", 2) + " " + Lavfi("160x120", 2) +
                                                         " -map 0:v -map 1:v -c:v mpeg2video -program title=One:st=0"
                                                         " -program title=Two:st=1 -f mpegts {out}");
}
inline std::string Mp3() {
  return testsupport::Fixture("decoder-audio.mp3", std::string(Quiet) + Sine(440, 2) +
                                                       " -c:a libmp3lame -b:a 96k -metadata title=Song -metadata track=3/12"
                                                       " -metadata album=Tests {out}");
}
inline std::string Png() {
  return testsupport::Fixture("decoder-still.png",
                              std::string(Quiet) + "-f lavfi -i testsrc2=size=320x240 -frames:v 1 -f image2 -c:v png {out}");
}
// Cut in the middle of its media data: the index promises more than the file holds.
inline std::string TruncatedMp4() {
  const std::string source = H264Mp4();
  return testsupport::Fixture("decoder-truncated.mp4", "head -c $(( $(stat -c %s " + testsupport::ShellQuote(source) +
                                                           ") * 2 / 5 )) " + testsupport::ShellQuote(source) + " > {out}");
}
inline std::string RandomBytes() {
  return testsupport::Fixture("decoder-random.bin",
                              "python3 -c 'import random,sys; random.seed(11); "
                              "sys.stdout.buffer.write(bytes(random.getrandbits(8) for _ in range(65536)))' > {out}");
}

// ffprobe's JSON report flattened to "streams.0.codec_name" -> "h264"; string escapes other than
// \" and \\ stay as written ("first line\\nsecond line").
class TJsonFlattener {
 public:
  explicit TJsonFlattener(const std::string& text) : FText(text) {}
  std::map<std::string, std::string> Run() {
    Value("");
    return FValues;
  }

 private:
  void Skip() {
    while (FPos < FText.size() && std::isspace(static_cast<unsigned char>(FText[FPos]))) ++FPos;
  }
  std::string String() {
    std::string out;
    for (++FPos; FPos < FText.size() && FText[FPos] != '"'; ++FPos) {
      if (FText[FPos] == '\\' && FPos + 1 < FText.size()) {
        const char next = FText[++FPos];
        if (next != '"' && next != '\\') out += '\\';
        out += next;
      } else {
        out += FText[FPos];
      }
    }
    ++FPos;
    return out;
  }
  void Value(const std::string& path) {
    Skip();
    if (FPos >= FText.size()) return;
    const std::string prefix = path.empty() ? "" : path + ".";
    if (FText[FPos] == '{' || FText[FPos] == '[') {
      const bool object = FText[FPos] == '{';
      ++FPos;
      for (int index = 0;; ++index) {
        Skip();
        if (FPos >= FText.size()) return;
        if (FText[FPos] == '}' || FText[FPos] == ']') {
          ++FPos;
          return;
        }
        if (FText[FPos] == ',') {
          ++FPos;
          Skip();
        }
        std::string key = std::to_string(index);
        if (object) {
          key = String();
          Skip();
          ++FPos;  // ':'
        }
        Value(prefix + key);
      }
    }
    if (FText[FPos] == '"') {
      FValues[path] = String();
      return;
    }
    const size_t end = FText.find_first_of(",}] \n", FPos);
    FValues[path] = FText.substr(FPos, end - FPos);
    FPos = end;
  }

  const std::string& FText;
  size_t FPos = 0;
  std::map<std::string, std::string> FValues;
};

inline std::map<std::string, std::string> Probe(const std::string& file) {
  const std::string json = testsupport::RunOk(
      "ffprobe -v error -of json -show_format -show_streams -show_chapters -show_programs " +
      testsupport::ShellQuote(file));
  return TJsonFlattener(json).Run();
}

// The picture ffmpeg takes from File at Seconds, as B, G, R, A bytes. Not accurate: the picture
// of the keyframe at or before that time, kept whatever its time.
inline std::string FfmpegFrame(const std::string& file, double seconds, bool accurate = true) {
  std::ostringstream cmd;
  cmd << "ffmpeg -nostdin -v error " << (accurate ? "" : "-noaccurate_seek ") << "-ss " << seconds << " -i "
      << testsupport::ShellQuote(file) << (accurate ? "" : " -fps_mode passthrough")
      << " -frames:v 1 -f rawvideo -pix_fmt bgra -";
  return testsupport::RunOk(cmd.str());
}

}  // namespace decodertest
