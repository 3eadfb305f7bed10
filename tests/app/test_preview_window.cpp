// The enlarged preview on a screen of a size the test chooses: a picture that fits is shown
// whole, centred; one that does not is scaled down, in its proportions, so that the whole
// window stays on the screen. Each case runs in a process of its own, whose screen is 1280 x
// 1024 like the one the fault was seen on.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "platform/gui/application.h"
#include "platform/gui/input_simulation.h"
#include "tests/app/app_windows_fixture.h"

namespace {

std::string Video(int Width, int Height) {
  const std::string size = std::to_string(Width) + "x" + std::to_string(Height);
  return testsupport::Fixture("preview_" + size + ".mp4", "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=" +
                                                              size + ":rate=25 -t 1 -c:v mpeg4 -q:v 8 {out}");
}

// In the child: clicks the start preview of Video, looks at the window while it shows, then
// presses Esc. Reports "RESULT[ok]" or the faults seen.
void ShowEnlarged(const std::string& Video, Integer Width, Integer Height) {
  testsupport::ScriptedServices services;
  Tmain* main = apptest::ShowProgramWithVideo(Video);
  std::string faults;
  auto fault = [&](const std::string& What) { faults += What + "; "; };
  bool seen = false;
  int ticksAfterKey = 0;
  TTimer look(nullptr);
  look.SetInterval(20);
  look.OnTimer = [&](TObject*) {
    TForm* window = nullptr;
    for (Integer i = 0; i < main->ComponentCount(); ++i)
      if (auto* f = dynamic_cast<TForm*>(main->Components(i)); f && f->Modal()) window = f;
    if (!window) return;
    if (seen) {
      // Still open well after the key: a fault, and the close box ends it.
      if (++ticksAfterKey > 25) {
        fault("Esc left it open");
        SimulateWindowClose(window);
      }
      return;
    }
    seen = true;
    const TRect work = Screen->WorkAreaRect();
    const TRect frame = window->BoundsRect();
    char text[400];
    std::snprintf(text, sizeof text, "work %d,%d %dx%d; window %d,%d %dx%d; client %dx%d", work.Left, work.Top,
                  work.Width(), work.Height(), frame.Left, frame.Top, frame.Width(), frame.Height(),
                  window->ClientWidth(), window->ClientHeight());
    std::fprintf(stderr, "%s\n", text);
    if (frame.Left < work.Left || frame.Top < work.Top || frame.Right > work.Right || frame.Bottom > work.Bottom)
      fault(std::string("outside the screen's free area: ") + text);
    const Integer cw = window->ClientWidth(), ch = window->ClientHeight();
    if (cw <= Width && ch <= Height && std::abs(double(cw) / ch - double(Width) / Height) > 2.0 / ch)
      fault(std::string("proportions lost: ") + text);
    const bool fits = Width <= work.Width() - 20 && Height <= work.Height() - 60;
    if (fits && (cw != Width || ch != Height)) fault(std::string("a fitting picture not at its size: ") + text);
    if (!fits && cw < work.Width() - 40 && ch < work.Height() - 80)
      fault(std::string("shrunk more than needed: ") + text);
    if (std::abs(frame.Left + frame.Width() / 2 - (work.Left + work.Width() / 2)) > 1 ||
        std::abs(frame.Top + frame.Height() / 2 - (work.Top + work.Height() / 2)) > 1)
      fault(std::string("not centred: ") + text);
    if (window->Caption().rfind(std::to_string(Width) + "x" + std::to_string(Height) + " @ ", 0) != 0)
      fault("caption " + window->Caption());
    SimulateKeyToTopWindow(VK_ESCAPE);
  };
  look.SetEnabled(true);
  main->Image_startClick(main->Image_start);
  look.SetEnabled(false);
  if (!seen) fault("no window");
  std::fprintf(stderr, "RESULT[%s]\n", faults.empty() ? "ok" : faults.c_str());
  std::_Exit(0);
}

// The child's screen, as the headless platform reads it from a file.
class ScreenOf1280x1024 {
 public:
  ScreenOf1280x1024() {
    const std::string config = testsupport::Fixture(
        "screen_1280x1024.json",
        "printf '%s' '{\"screens\": [{\"name\": \"screen\", \"x\": 0, \"y\": 0, \"width\": 1280, \"height\": 1024, "
        "\"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}]}' >{out}");
    const char* old = std::getenv("QT_QPA_PLATFORM");
    if (old) FSaved = old;
    setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).c_str(), 1);
  }
  ~ScreenOf1280x1024() {
    if (FSaved)
      setenv("QT_QPA_PLATFORM", FSaved->c_str(), 1);
    else
      unsetenv("QT_QPA_PLATFORM");
  }

 private:
  std::optional<std::string> FSaved;
};

TEST(EnlargedPreview, StaysOnTheScreenWithItsProportions) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const struct {
    int Width, Height;
  } videos[] = {{1920, 1080}, {1080, 1920}, {320, 180}};
  for (const auto& v : videos) {
    const std::string video = Video(v.Width, v.Height);
    ScreenOf1280x1024 screen;
    EXPECT_EXIT(ShowEnlarged(video, v.Width, v.Height), ::testing::ExitedWithCode(0),
                "work 0,0 1280x1024;.*\nRESULT\\[ok\\]")
        << v.Width << "x" << v.Height;
  }
}

}  // namespace
