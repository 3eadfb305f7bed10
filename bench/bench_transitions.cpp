// Speed of the view's transition effects on 1920 x 1080 pictures, headless: the time of one
// timer step's frame for every effect (1..163 and the pan-zoom, 164), and of copying a frame onto
// the view. A timer step has to be done well inside one refresh of a 60 Hz screen (16 ms).
//
// A run of one second at 60 frames a second advances about 16 steps (of 1024) a frame, so each
// iteration draws the frame 16 steps after the last one, over and over through a whole run;
// the untimed step 0 starts each pass, as the engine's first frame does.
//
//   bench_transitions [benchmark options]    in-process cases, a tool for finding hot spots;
//                                            run with taskset -c N to hold it to one core
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

#include "app/program.h"
#include "imaging/core/ie_bitmap.h"
#include "imaging/view/ie_transitions.h"
#include "imaging/view/ie_view.h"
#include "platform/gui/forms.h"
#include "platform/gui/input_simulation.h"
#include "platform/startup.h"

namespace {

constexpr Integer kWidth = 1920;
constexpr Integer kHeight = 1080;
constexpr Integer kStride = 16;

std::unique_ptr<TBitmap> Pattern(Integer Seed) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf24bit);
  b->SetSize(kWidth, kHeight);
  for (Integer y = 0; y < kHeight; ++y) {
    Byte* row = static_cast<Byte*>(b->ScanLine(y));
    for (Integer x = 0; x < kWidth * 3; ++x) row[x] = Byte((x * 7 + Seed) ^ (y * 13) ^ (x * y >> 9));
  }
  return b;
}

struct TStage {
  TForm* Form = nullptr;
  TZodivErView* View = nullptr;
  std::unique_ptr<TBitmap> Source = Pattern(0), Target = Pattern(101);
  TIEBitmap PanZoom;
  TStage() {
    Form = new TForm(nullptr);
    Form->SetBounds(0, 0, kWidth + 40, kHeight + 40);
    View = new TZodivErView(Form);
    View->SetParent(Form);
    View->SetBorderStyle(bsNone);
    View->SetScrollBars(ssNone);
    View->SetBounds(0, 0, kWidth, kHeight);
    ShowActive(Form);
    View->CreateTransitionEffects();
    PanZoom.CopyFromTBitmap(Target.get());
  }
  ~TStage() { delete Form; }
};

TStage& Stage() {
  static std::unique_ptr<TStage> s(new TStage());
  return *s;
}

void Start(TStage& st, Integer Effect) {
  TIETransitionEffects* e = st.View->TransitionEffects();
  if (Effect == IEPanZoomEffect)
    e->RunPanZoom(&st.PanZoom, TRect{0, 0, kWidth, kHeight}, TRect{480, 270, 1440, 810}, kWidth, kHeight, 1 << 30);
  else
    e->Run(st.Source.get(), st.Target.get(), Effect, 1 << 30);
}

void Step(benchmark::State& state) {
  TStage& st = Stage();
  const Integer effect = Integer(state.range(0));
  Start(st, effect);
  TIETransitionEffects* e = st.View->TransitionEffects();
  Integer step = 0;
  e->DrawFrame(0);
  for (auto _ : state) {
    step += kStride;
    if (step > IETransitionStepMax) {
      state.PauseTiming();
      step = kStride;
      e->DrawFrame(0);
      state.ResumeTiming();
    }
    e->DrawFrame(step);
  }
  e->Stop();
  state.SetLabel(effect == IEPanZoomEffect ? "Pan-zoom" : IETransitionEffectName(effect));
  state.SetItemsProcessed(state.iterations() * Int64(kWidth) * kHeight);
}
BENCHMARK(Step)->DenseRange(1, IEPanZoomEffect)->Unit(benchmark::kMillisecond)->MinTime(0.05);

// The other half of a timer step: the frame onto the view's canvas.
void CopyToView(benchmark::State& state) {
  TStage& st = Stage();
  Start(st, 1);
  TIETransitionEffects* e = st.View->TransitionEffects();
  e->DrawFrame(512);
  for (auto _ : state) st.View->GetCanvas()->Draw(0, 0, e->WorkPicture());
  e->Stop();
  state.SetItemsProcessed(state.iterations() * Int64(kWidth) * kHeight);
}
BENCHMARK(CopyToView)->Unit(benchmark::kMillisecond)->MinTime(0.2);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  PlatformStartup(argc, argv);
  StartImagingLibrary();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  StopImagingLibrary();
  return 0;
}
