// One run of the application's, as a process of its own, for compare-transcode.sh to time as a
// whole against the ffmpeg tool given the same option strings. The options come from the runs'
// own builders with the choices a user makes on the pages; the tasks go through the encoder
// component with the run's parallelism, exactly as the window starts them.
//   bench_run CASE CLIP FOLDER            runs the case, writing into FOLDER
//   bench_run --print CASE CLIP FOLDER    prints each task as "input options<TAB>output<TAB>output options"
//   bench_run --tasks FILE CLIP           runs the tasks of such a list: the run alone, without the
//                                         look at the source that the window makes when it loads it
// CASE: allframes, every50, tile, express100, audio, clip.
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "app/audio_run_options.h"
#include "app/clip_run_options.h"
#include "app/frame_run_options.h"
#include "media/binding/logger.h"
#include "media/components/decoder.h"
#include "media/components/encoder.h"
#include "platform/rtl/strings.h"
#include "platform/rtl/sysutils.h"

namespace {

struct TTaskText {
  AnsiString Input, Output, Options;
};

struct TRun {
  std::vector<TTaskText> Tasks;
  Integer Parallel = 5;  // what the window passes to StartTask for every kind of run
};

// What the window reads from the decoder of the loaded video.
struct TSourceFacts {
  Int64 Duration = 0;
  Integer Width = 0, Height = 0, FrameCount = 0;
  TClipSource Clip;
};

bool ReadSource(const AnsiString& File, TSourceFacts& Facts) {
  TFFDecoder decoder(nullptr);
  if (!decoder.OpenFile(AnsiToWide(File))) {
    std::fprintf(stderr, "%s\n", decoder.LastErrorMessage.c_str());
    return false;
  }
  TFileStreamInfo file;
  decoder.GetFileStreamInfo(file);
  TVideoStreamInfo video;
  decoder.GetFirstVideoStreamInfo(video);
  Facts.Duration = file.Duration;
  Facts.Width = video.Width;
  Facts.Height = video.Height;
  if (video.FrameRate.den > 0)
    Facts.FrameCount = static_cast<Integer>(file.Duration * video.FrameRate.num / video.FrameRate.den / 1000000);
  TClipSource& c = Facts.Clip;
  c.FileName = File;
  c.Info = LowerCase(decoder.GetMediaInfoText());
  c.Width = video.Width;
  c.Height = video.Height;
  c.VideoBitRate = video.BitRate;
  c.FrameRateNum = video.FrameRate.num;
  c.FrameRateDen = video.FrameRate.den;
  if (decoder.AudioStreamCount > 0) {
    TAudioStreamInfo audio;
    decoder.GetFirstAudioStreamInfo(audio);
    c.HasAudio = true;
    c.SampleRate = audio.SampleRate;
    c.Channels = audio.Channels;
  }
  c.FileBitRate = file.BitRate;
  return true;
}

bool BuildRun(const std::string& Case, const AnsiString& Clip, const AnsiString& Folder, const TSourceFacts& Facts,
              TRun& Run) {
  constexpr Integer SliderMax = 1000;
  if (Case == "allframes" || Case == "every50" || Case == "tile" || Case == "express100") {
    TFrameRunChoices c;
    c.VideoFileName = Clip;
    c.SourceWidth = Facts.Width;
    c.SourceHeight = Facts.Height;
    c.Duration = Facts.Duration;
    c.FrameCount = Facts.FrameCount;
    c.Begin = 0;
    c.End = c.BeginMax = c.EndMax = SliderMax;
    if (Case == "every50") {
      c.Selection = fsEveryFrames;
      c.EveryFramesText = "50";
    } else if (Case == "tile") {
      c.Tile = true;
    } else if (Case == "express100") {
      c.Selection = fsExpress;
      c.ExpressText = "100";
    }
    const AnsiString options = FrameOutputOptions(c);
    for (Integer k = 1; k <= FrameTaskCount(c); ++k)
      Run.Tasks.push_back({FrameInputOptions(c, k), FrameOutputFileName(c, Folder, k), options});
    return true;
  }
  // The stretch from 5 s to 15 s of the clip.
  const Integer begin = static_cast<Integer>(Int64(SliderMax) * 5000000 / Facts.Duration);
  const Integer end = static_cast<Integer>(Int64(SliderMax) * 15000000 / Facts.Duration);
  const TStretch stretch = StretchOfRange(begin, SliderMax, end, SliderMax, Facts.Duration);
  if (Case == "audio") {
    TAudioRunChoices c;
    c.Stretch = stretch;
    c.ChangeVolume = true;
    c.Volume = 150;
    c.ChangeTempo = true;
    c.Tempo = 300;
    c.Target = Folder + "/clip.mp3";
    Run.Tasks.push_back({StretchInputOptions(stretch), c.Target, AudioOutputOptions(c)});
    return true;
  }
  if (Case == "clip") {
    TClipRunChoices c;
    c.Stretch = stretch;
    c.Target = Folder + "/clip.avi";
    c.ChangeMotion = true;
    c.Motion = 50;
    Run.Tasks.push_back({StretchInputOptions(stretch), c.Target, ClipOutputOptions(c, Facts.Clip)});
    return true;
  }
  std::fprintf(stderr, "unknown case %s\n", Case.c_str());
  return false;
}

int Execute(const AnsiString& Clip, const TRun& Run) {
  TFFEncoder encoder(nullptr);
  // No window loop here: events are delivered in the workers.
  encoder.TriggerEventInMainThread = false;
  std::mutex lock;
  std::condition_variable ended;
  bool done = false;
  int failures = 0;
  encoder.OnTerminate = [&](TObject*, const TTerminateInfo& Info) {
    std::lock_guard<std::mutex> guard(lock);
    if (Info.TaskIndex == -1) {
      done = true;
      ended.notify_all();
    } else if (!Info.Finished || Info.ExceptionRaised) {
      ++failures;
      std::fprintf(stderr, "task %d: %s\n", Info.TaskIndex, Info.ExceptionMessage.c_str());
    }
  };
  for (const TTaskText& t : Run.Tasks) {
    TInputOptions input;
    InitInputOptions(input);
    input.Options = t.Input;
    const Integer index = encoder.AddTask(AnsiToWide(Clip), &input);
    if (index < 0) {
      std::fprintf(stderr, "input: %s\n", encoder.LastErrorMessage.c_str());
      return 1;
    }
    TOutputOptions output;
    InitOutputOptions(output);
    output.Options = t.Options;
    if (encoder.SetOutput(index, AnsiToWide(t.Output), &output) < 0) {
      std::fprintf(stderr, "output: %s\n", encoder.LastErrorMessage.c_str());
      return 1;
    }
  }
  encoder.StartTask(Run.Parallel);
  std::unique_lock<std::mutex> guard(lock);
  ended.wait(guard, [&] { return done; });
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 1) {
    std::printf("bench_run: compare-transcode.sh runs it with a case\n");
    return 0;
  }
  if (std::strcmp(argv[1], "--tasks") == 0) {
    if (argc != 4) {
      std::fprintf(stderr, "usage: %s --tasks FILE CLIP\n", argv[0]);
      return 2;
    }
    TRun run;
    std::ifstream list(argv[2]);
    for (std::string line; std::getline(list, line);) {
      const size_t a = line.find('\t'), b = a == std::string::npos ? a : line.find('\t', a + 1);
      if (b == std::string::npos) continue;
      run.Tasks.push_back({line.substr(0, a), line.substr(a + 1, b - a - 1), line.substr(b + 1)});
    }
    TFFEncoder loader(nullptr);
    if (!loader.LoadLibraries(WideString())) {
      std::fprintf(stderr, "%s\n", loader.LastErrorMessage.c_str());
      return 1;
    }
    FFLogger()->SetLogLevel(llQuiet);
    return Execute(argv[3], run);
  }
  const bool print = std::strcmp(argv[1], "--print") == 0;
  if (argc != (print ? 5 : 4)) {
    std::fprintf(stderr, "usage: %s [--print] CASE CLIP FOLDER\n", argv[0]);
    return 2;
  }
  const std::string kase = argv[print ? 2 : 1];
  const AnsiString clip = argv[print ? 3 : 2];
  const AnsiString folder = argv[print ? 4 : 3];
  TFFEncoder loader(nullptr);
  if (!loader.LoadLibraries(WideString())) {
    std::fprintf(stderr, "%s\n", loader.LastErrorMessage.c_str());
    return 1;
  }
  FFLogger()->SetLogLevel(llQuiet);
  TSourceFacts facts;
  if (!ReadSource(clip, facts)) return 1;
  TRun run;
  if (!BuildRun(kase, clip, folder, facts, run)) return 2;
  if (print) {
    for (const TTaskText& t : run.Tasks)
      std::printf("%s\t%s\t%s\n", t.Input.c_str(), t.Output.c_str(), t.Options.c_str());
    return 0;
  }
  return Execute(clip, run);
}
