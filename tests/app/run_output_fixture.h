// Shared by the audio and clip run tests: a source with sound, driving Extract on a page to its
// end, and what ffprobe reads from the files the runs write.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/run_progress_dialog.h"
#include "media/components/encoder.h"
#include "tests/app/app_windows_fixture.h"
#include "widgets/slider/slider.h"

namespace runtest {

// testsrc2 at 160 x 90, 25 frames per second, every frame a key frame, with a 440 Hz tone at
// 48000 Hz in stereo.
inline std::string AvClip(int Seconds) {
  return testsupport::Fixture(
      "av_clip_" + std::to_string(Seconds) + "s.mp4",
      "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=160x90:rate=25 -f lavfi "
      "-i sine=frequency=440:sample_rate=48000 -t " + std::to_string(Seconds) +
          " -c:v mpeg4 -g 1 -q:v 2 -c:a aac -ac 2 {out}");
}

// A long source: for sound runs one picture a second over ten minutes, cheap to read; for
// clip runs two minutes of ordinary 25 frames per second.
inline std::string LongAvClip(bool Pictures) {
  const std::string rate = Pictures ? "25" : "1";
  const std::string seconds = Pictures ? "120" : "600";
  return testsupport::Fixture("av_clip_long_" + rate + "fps.mp4",
                              "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=160x90:rate=" + rate +
                                  " -f lavfi -i sine=frequency=440:sample_rate=48000 -t " + seconds +
                                  " -c:v mpeg4 -c:a aac -b:a 32k -ac 2 {out}");
}

struct ProbedStream {
  std::string Type, Codec;
  int Width = 0, Height = 0, SampleRate = 0, Channels = 0;
  double Duration = -1;
};

struct Probed {
  std::vector<ProbedStream> Streams;
  double Duration = -1;
  const ProbedStream* First(const std::string& Type) const {
    for (const auto& s : Streams)
      if (s.Type == Type) return &s;
    return nullptr;
  }
};

inline double ToNumber(const std::string& Text) {
  try {
    return std::stod(Text);
  } catch (...) {
    return -1;
  }
}

// The streams and length ffprobe reads; the stream lengths come from the packets themselves, so
// that a container's header cannot claim what is not there.
inline Probed Probe(const std::string& File) {
  Probed p;
  std::string out;
  if (testsupport::Run("ffprobe -v error -show_entries stream=index,codec_type,codec_name,width,height,sample_rate,"
                       "channels -of csv=p=0 " + testsupport::ShellQuote(File), &out) != 0)
    return p;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<std::string> f;
    std::stringstream cells(line);
    std::string cell;
    while (std::getline(cells, cell, ',')) f.push_back(cell);
    if (f.size() < 3) continue;
    ProbedStream s;
    s.Codec = f[1];
    s.Type = f[2];
    if (s.Type == "video" && f.size() >= 5) {
      s.Width = std::stoi(f[3]);
      s.Height = std::stoi(f[4]);
    } else if (s.Type == "audio" && f.size() >= 5) {
      s.SampleRate = std::stoi(f[3]);
      s.Channels = std::stoi(f[4]);
    }
    // The end of the last packet minus the start of the first.
    std::string times;
    testsupport::Run("ffprobe -v error -select_streams " + f[0] +
                         " -show_entries packet=pts_time,duration_time -of csv=p=0 " + testsupport::ShellQuote(File) +
                         " | awk -F, 'NR==1{s=$1} {e=$1+$2; if(e>m)m=e; if($1<s)s=$1} END{print m-s}'",
                     &times);
    s.Duration = ToNumber(times);
    p.Streams.push_back(s);
  }
  std::string duration;
  testsupport::Run("ffprobe -v error -show_entries format=duration -of csv=p=0 " + testsupport::ShellQuote(File),
                   &duration);
  p.Duration = ToNumber(duration);
  return p;
}

// What ffmpeg complains about while decoding the whole file; empty for a sound file.
inline std::string DecodeErrors(const std::string& File) {
  std::string out;
  if (testsupport::Run("ffmpeg -nostdin -v error -i " + testsupport::ShellQuote(File) + " -f null - 2>&1", &out) != 0)
    return "ffmpeg failed: " + out;
  return out;
}

class RunWindows : public apptest::AppWindows {
 protected:
  void Load(const std::string& Source, int BeginFrame, int EndFrame) {
    main->load_videofile(Source);
    ASSERT_TRUE(MessageTexts().empty());
    main->split_end->SetValue(EndFrame);
    main->split_begin->SetValue(BeginFrame);
  }

  bool HasMessage(const AnsiString& Text) const {
    for (const auto& t : MessageTexts())
      if (t == Text) return true;
    return false;
  }

  // Runs the loop until Done holds or Ms pass; true when it held.
  bool PumpUntil(const std::function<bool()>& Done, int Ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(Ms);
    while (!Done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      Application->ProcessMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }
  void PumpFor(int Ms) {
    PumpUntil([] { return false; }, Ms);
  }

  // Clicks Extract on Page and answers the save dialog with Target.
  void ClickExtract(decltype(Tmain::audiosheet) Page, const std::string& Target) {
    main->pageto->SetActivePage(Page);
    testsupport::ScriptedAnswer save;
    save.Result = 1;
    save.Files = {Target};
    services.Script("SaveDialog", save);
    main->btn_extract->Click();
  }

  // Extract, then wait for the run's end: true once "Process is finished!" was shown; false
  // after any other message or the time limit.
  bool Extract(decltype(Tmain::audiosheet) Page, const std::string& Target, int Ms = 60000) {
    const size_t before = MessageTexts().size();
    ClickExtract(Page, Target);
    PumpUntil([&] { return MessageTexts().size() > before; }, Ms);
    const auto texts = MessageTexts();
    return texts.size() == before + 1 && texts.back() == "Process is finished!";
  }

  // Clicks Cancel in the progress dialog once the run has begun and its bar has reached
  // MinProgress, and waits until the dialog has closed and the encoder has finished.
  void ExtractAndCancel(decltype(Tmain::audiosheet) Page, const std::string& Target, TFFEncoder* Encoder,
                        int MinProgress = 0) {
    FCancel = std::make_unique<TTimer>(nullptr);
    FCancel->SetInterval(10);
    int ticks = 0;
    FCancel->OnTimer = [this, &ticks, MinProgress](TObject*) {
      if (!batchaudioc->Modal() || FCancelled || ++ticks < 5) return;
      if (batchaudioc->progresstotal->Position() < MinProgress) return;
      FCancelled = true;
      FCancel->SetEnabled(false);
      batchaudioc->Button1->Click();
    };
    FCancel->SetEnabled(true);
    ClickExtract(Page, Target);
    PumpUntil([&] { return FCancelled && !batchaudioc->Modal() && Encoder->Finished(); }, 60000);
    // Room for an end report that must not come.
    PumpFor(300);
    FCancel.reset();
  }
  bool FCancelled = false;
  std::unique_ptr<TTimer> FCancel;
};

}  // namespace runtest
