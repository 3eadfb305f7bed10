// Speed of the vector view drawing 1000 objects of mixed kinds (lines with arrows, boxes filled
// and not, ellipses, arcs, polylines, texts, rulers, angles, labelled lines and image objects)
// over a 1920 x 1080 image in a 1920 x 1080 client at 100 %, headless, on one thread: the whole
// repaint (image, then objects), and the objects alone onto the back buffer, with and without
// anti-aliasing. The goal is a repaint within one frame at 60 Hz (16 ms).
//
//   bench_vect [benchmark options]
//   bench_vect --dump PREFIX   writes the repainted back buffer to PREFIX-aa.ppm and
//                              PREFIX-aliased.ppm instead, so a change can be checked to leave
//                              every drawn pixel as it was
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "bench/bench_ppm.h"

#include "app/program.h"
#include "imaging/core/ie_bitmap.h"
#include "imaging/view/ie_vect.h"
#include "platform/gui/forms.h"
#include "platform/gui/input_simulation.h"
#include "platform/startup.h"

namespace {

constexpr Integer kW = 1920, kH = 1080, kObjects = 1000;

class TBenchVect : public TZodivErVect {
 public:
  using TZodivErVect::Paint;
  using TZodivErVect::TZodivErVect;
};

struct TStage {
  TForm* Form = nullptr;
  TBenchVect* View = nullptr;
  std::unique_ptr<TIEBitmap> Picture;
  TStage() {
    Form = new TForm(nullptr);
    Form->SetBounds(0, 0, kW + 40, kH + 40);
    View = new TBenchVect(Form);
    View->SetParent(Form);
    View->SetBorderStyle(bsNone);
    View->SetScrollBars(ssNone);
    View->SetBounds(0, 0, kW, kH);
    ShowActive(Form);
    View->IEBitmap()->Allocate(kW, kH, ie24RGB);
    View->IEBitmap()->Fill(static_cast<double>(0xE0E0E0));
    Picture = std::make_unique<TIEBitmap>();
    Picture->Allocate(64, 48, ie24RGB);
    for (Integer y = 0; y < 48; ++y)
      for (Integer x = 0; x < 64; ++x) Picture->SetPixelRGB(x, y, TRGB{Byte(x * 4), Byte(y * 5), Byte(x ^ y)});
    TIELogFont F;
    F.SetHeight(-14);
    F.SetFaceName("DejaVu Sans");
    // A fixed pseudo-random layout, the same on every run.
    uint32_t s = 12345;
    auto Next = [&](Integer Range) {
      s = s * 1103515245u + 12345u;
      return Integer((s >> 8) % uint32_t(Range));
    };
    const Byte Kinds[] = {ievkLine,  ievkBox,    ievkBox,   ievkEllipse, ievkArc,       ievkPolyline,
                          ievkText,  ievkRuler,  ievkAngle, ievkLineLabel, ievkBitmap};
    for (Integer i = 0; i < kObjects; ++i) {
      TIEVObjectRec R;
      IEVCopyPlainFields(R, *View->GetObjectRec(IEV_NEXT_OBJECT));
      R.Kind = Kinds[i % 11];
      R.X1 = Next(kW - 200), R.Y1 = Next(kH - 150);
      R.X2 = R.X1 + 20 + Next(180), R.Y2 = R.Y1 + 15 + Next(130);
      R.PenColor = TColor(Next(0xFFFFFF));
      R.PenWidth = 1 + Next(3);
      R.Font = F;
      if (i % 11 == 2) R.BrushStyle = bsSolid, R.BrushColor = TColor(Next(0xFFFFFF));
      if (R.Kind == ievkLine) R.ArrowEnd = 2;
      if (R.Kind == ievkText || R.Kind == ievkLineLabel) R.Text = "Object " + std::to_string(i);
      if (R.Kind == ievkPolyline) {
        R.PolyPoints = {{0, 0}, {40, 30}, {10, 60}, {70, 50}, {90, 0}};
        R.PolyBaseRect = TRect{0, 0, 90, 60};
      }
      if (R.Kind == ievkAngle) {
        R.AnglePoints[0] = {R.X1, R.Y1}, R.AnglePoints[1] = {R.X2, R.Y2}, R.AnglePoints[2] = {R.X2, R.Y1};
      }
      const Integer h = View->AppendObject(R);
      if (R.Kind == ievkBitmap) View->SetObjectBitmap(h, Picture.get());
    }
    View->Update();
    View->Paint();
  }
};

TStage& Stage() {
  static TStage* S = new TStage();
  return *S;
}

void Repaint(benchmark::State& state) {
  TBenchVect* V = Stage().View;
  V->SetObjAntialias(state.range(0) != 0);
  for (auto _ : state) {
    V->InvalidateViewRect(TRect{0, 0, kW, kH});
    V->Paint();
  }
  state.SetLabel(state.range(0) ? "anti-aliased" : "aliased");
}
BENCHMARK(Repaint)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void ObjectsOnly(benchmark::State& state) {
  TBenchVect* V = Stage().View;
  V->SetObjAntialias(state.range(0) != 0);
  TBitmap* Back = V->BackBufferBitmap();
  for (auto _ : state) V->DrawObjectsToBackBuffer(Back);
  state.SetItemsProcessed(state.iterations() * kObjects);
  state.SetLabel(state.range(0) ? "anti-aliased" : "aliased");
}
BENCHMARK(ObjectsOnly)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// The back buffer after a whole repaint, with and without anti-aliasing.
bool Dump(const std::string& Prefix) {
  TBenchVect* V = Stage().View;
  for (const bool AntiAlias : {true, false}) {
    V->SetObjAntialias(AntiAlias);
    V->InvalidateViewRect(TRect{0, 0, kW, kH});
    V->Paint();
    const std::string File = Prefix + (AntiAlias ? "-aa.ppm" : "-aliased.ppm");
    if (!benchppm::WritePpm(File.c_str(), *V->BackBuffer())) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  PlatformStartup(argc, argv);
  StartImagingLibrary();
  if (argc == 3 && std::strcmp(argv[1], "--dump") == 0) {
    const bool Ok = Dump(argv[2]);
    StopImagingLibrary();
    return Ok ? 0 : 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  StopImagingLibrary();
  return 0;
}
