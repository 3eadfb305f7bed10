// Speed of the image view drawing a 4000 x 3000 24-bit image into a 1000 x 750 client, headless:
// at the zoom that fits the image (25 %), through each zoom filter a user can pick, and at 100 %
// scrolled into the middle. Each pass draws the back buffer again and copies it to the control,
// which is the work the view does for every repaint after a change.
//
//   bench_view [benchmark options]        Google Benchmark cases: a tool for finding hot spots,
//                                         set against no peer
//   bench_view --file CASE IN.ppm OUT.ppm shows IN in the view as CASE ("fit None", "fit Lanczos3",
//                                         ... or "100% scrolled"), draws it once and writes the
//                                         back buffer to OUT: the whole process that
//                                         compare-view.sh times against ImageMagick
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "bench/bench_ppm.h"

#include "app/program.h"
#include "imaging/core/ie_bitmap.h"
#include "imaging/view/ie_view.h"
#include "platform/gui/forms.h"
#include "platform/gui/input_simulation.h"
#include "platform/startup.h"

namespace {

constexpr Integer kWidth = 4000;
constexpr Integer kHeight = 3000;
constexpr Integer kClientWidth = 1000;
constexpr Integer kClientHeight = 750;

void FillPattern(TIEBitmap& b) {
  for (Integer y = 0; y < b.GetHeight(); ++y) {
    Byte* row = static_cast<Byte*>(b.GetScanline(y));
    for (Integer x = 0; x < b.GetWidth() * 3; ++x) row[x] = static_cast<Byte>((x * 7) ^ (y * 13) ^ (x * y >> 9));
  }
}

class TBenchView : public TZodivErView {
 public:
  using TZodivErView::TZodivErView;
  using TZodivErView::Paint;
};

// One shown form holding a borderless view of the client size, shared by every case.
struct TStage {
  TForm* Form = nullptr;
  TBenchView* View = nullptr;
  explicit TStage(TIEBitmap* Source = nullptr) {
    Form = new TForm(nullptr);
    Form->SetBounds(0, 0, kClientWidth + 40, kClientHeight + 40);
    View = new TBenchView(Form);
    View->SetParent(Form);
    View->SetBorderStyle(bsNone);
    View->SetScrollBars(ssNone);
    View->SetBounds(0, 0, kClientWidth, kClientHeight);
    ShowActive(Form);
    if (Source) {
      View->IEBitmap()->Assign(Source);
    } else {
      View->IEBitmap()->Allocate(kWidth, kHeight, ie24RGB);
      FillPattern(*View->IEBitmap());
    }
    View->Update();
  }
  ~TStage() { delete Form; }
};

TStage& Stage() {
  static std::unique_ptr<TStage> s(new TStage());
  return *s;
}

void Redraw(benchmark::State& state, TBenchView* view) {
  for (auto _ : state) {
    view->InvalidateViewRect(TRect{0, 0, kClientWidth, kClientHeight});
    view->Paint();
  }
  state.SetItemsProcessed(state.iterations() * Int64(kClientWidth) * kClientHeight);
}

const char* FilterLabel(TResampleFilter f) {
  switch (f) {
    case rfNone: return "fit None";
    case rfFastLinear: return "fit FastLinear";
    case rfTriangle: return "fit Triangle";
    case rfBicubic: return "fit Bicubic";
    case rfLanczos3: return "fit Lanczos3";
    default: return "fit other";
  }
}

void FitZoom(benchmark::State& state) {
  TBenchView* view = Stage().View;
  const auto filter = static_cast<TResampleFilter>(state.range(0));
  view->SetZoomFilter(filter);
  view->SetZoom(100);
  view->SetZoom(25);
  if (view->DrawAreaWidth() != kClientWidth || view->VisibleExtentX() != kClientWidth ||
      view->VisibleExtentY() != kClientHeight) {
    state.SkipWithError("the view does not fill the client at 25 %");
    return;
  }
  // The filter returns once the delay after a zoom has run out; the timed passes are the
  // settled ones.
  for (int i = 0; i < 8; ++i) view->DrawSelection(nullptr, false);
  Redraw(state, view);
  state.SetLabel(FilterLabel(filter));
}
BENCHMARK(FitZoom)
    ->Arg(rfNone)
    ->Arg(rfFastLinear)
    ->Arg(rfTriangle)
    ->Arg(rfBicubic)
    ->Arg(rfLanczos3)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5);

void FullSizeScrolled(benchmark::State& state) {
  TBenchView* view = Stage().View;
  view->SetZoomFilter(rfNone);
  view->SetZoom(100);
  view->ScrollTo(1500, 1100);
  if (view->ViewX() != 1500 || view->ViewY() != 1100) {
    state.SkipWithError("the view did not scroll");
    return;
  }
  Redraw(state, view);
  state.SetLabel("100% scrolled");
}
BENCHMARK(FullSizeScrolled)->Unit(benchmark::kMillisecond)->MinTime(0.5);

// One redraw of the named case with the image of In, its back buffer written to Out.
int DrawFile(const std::string& Case, const char* In, const char* Out) {
  TIEBitmap source;
  if (!benchppm::ReadPpm(In, source)) return 1;
  TStage stage(&source);
  TBenchView* view = stage.View;
  if (Case == "100% scrolled") {
    view->SetZoomFilter(rfNone);
    view->SetZoom(100);
    view->ScrollTo(1500, 1100);
  } else {
    int filter = -1;
    for (int f = rfNone; f <= rfProjectWB; ++f)
      if (Case == FilterLabel(static_cast<TResampleFilter>(f))) filter = f;
    if (filter < 0) {
      std::fprintf(stderr, "unknown case %s\n", Case.c_str());
      return 2;
    }
    view->SetZoomFilter(static_cast<TResampleFilter>(filter));
    view->SetZoom(100);
    view->SetZoom(25);
    for (int i = 0; i < 8; ++i) view->DrawSelection(nullptr, false);
  }
  view->InvalidateViewRect(TRect{0, 0, kClientWidth, kClientHeight});
  view->Paint();
  return benchppm::WritePpm(Out, *view->BackBuffer()) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  PlatformStartup(argc, argv);
  // As the program does: without the processing unit's services the view has no filters.
  StartImagingLibrary();
  if (argc == 5 && std::strcmp(argv[1], "--file") == 0) {
    const int result = DrawFile(argv[2], argv[3], argv[4]);
    StopImagingLibrary();
    return result;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  StopImagingLibrary();
  return 0;
}
