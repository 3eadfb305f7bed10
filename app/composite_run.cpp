#include "app/composite_run.h"

#include <sys/stat.h>

#include <algorithm>

#include "app/main_window.h"
#include "app/run_progress_dialog.h"
#include "app/tile_layout.h"
#include "app/work_folder.h"
#include "imaging/core/ie_params.h"
#include "imaging/io/ie_zodiver_io.h"
#include "imaging/view/ie_layer.h"
#include "imaging/view/ie_view.h"
#include "platform/gui/services.h"
#include "platform/gui/timers.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "platform/rtl/sysutils.h"

namespace {

// A frame the encoder wrote: a plain file, never a link that would lead out of the folder.
bool FrameFileExists(const AnsiString& Name) {
  struct stat st {};
  return lstat(Name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// One load or save of the I/O component; a failure, reported or raised, raises Failure with the
// reason.
template <class TWork>
void Run(TZodivErIO* IO, TWork Work, const AnsiString& Failure) {
  AnsiString reason;
  IO->Aborting = false;
  try {
    Work();
    if (IO->Aborting) reason = IO->FailureReason();
  } catch (const EAbort&) {
    throw;
  } catch (const Exception& E) {
    reason = E.Message.empty() ? AnsiString("failed") : E.Message;
  }
  if (!reason.empty() || IO->Aborting) throw Exception(Failure + (reason.empty() ? "" : ": " + reason) + ".");
}

}  // namespace

void Tmain::timer_fftoimage_compositeTimer(TObject*) { CompositeRun->Step(); }

TCompositeRun::TCompositeRun(Tmain* Main) : TRun(Main, nullptr, Main->timer_fftoimage_end) {}

void TCompositeRun::Take(const TSource& Source) {
  FSource = Source;
  FSheetsWritten = 0;
}

void TCompositeRun::Start() {
  Cancelled = false;
  Kind = "fftoimage";
  Main->ActiveRun = this;
  Main->timer_fftoimage_composite->SetEnabled(true);
}

void TCompositeRun::Cancel() { Cancelled = true; }

void TCompositeRun::Step() {
  Main->timer_fftoimage_composite->SetEnabled(false);
  AnsiString failure;
  try {
    LayOut();
  } catch (const EAbort&) {
  } catch (const Exception& E) {
    failure = E.Message;
  } catch (const std::exception& E) {
    failure = E.what();
  }
  // The view keeps no tile of this run, whatever happened.
  try {
    Main->ZodivErView3->ClearLayers();
  } catch (...) {
  }
  const bool purged = Purge();
  if (!failure.empty()) {
    Application->MessageBox(failure, "Error", MB_ICONHAND);
    return;
  }
  if (!Cancelled && purged) FEndTimer->SetEnabled(true);
}

void TCompositeRun::LayOut() {
  TZodivErView* view = Main->ZodivErView3;
  TZodivErIO* io = view->IOComponent();
  io->IOParams()->BmpHandleTransparency = true;
  view->ClearLayers();
  // The base layer takes a 2 x 2 area at the origin, so the tiles decide the sheet's size.
  view->CurrentLayer()->WidthOverride = 2;
  view->CurrentLayer()->HeightOverride = 2;

  TTileLayout layout(FSource.Columns, FSource.Lines);
  TProgressBar* bar = batchaudioc->progresstotal;
  const auto frameName = [&](Integer q) { return FSource.FrameFolder + FSource.FrameStem + IntToStr(q) + "." + FSource.Ext; };
  const double expected = std::max<Integer>(FSource.Expected, 1);
  bool exists = FrameFileExists(frameName(1));
  // The encoder may write more frames than expected: those are tiled too, not left behind.
  for (Integer q = 1; q <= FSource.Expected || exists; ++q) {
    const AnsiString name = frameName(q);
    const bool nextExists = FrameFileExists(frameName(q + 1));
    const bool last = q >= FSource.Expected && !nextExists;
    Integer width = 0, height = 0;
    if (exists) {
      view->AddLayer();
      Run(io, [&] { io->LoadFromFile(AnsiToWide(name)); }, "The frame \"" + name + "\" could not be read");
      width = view->CurrentLayer()->GetWidth();
      height = view->CurrentLayer()->GetHeight();
    }
    const TTileLayout::TPlace place = layout.Next(exists, width, height, last);
    if (exists) {
      view->CurrentLayer()->PosX = place.PosX;
      view->CurrentLayer()->PosY = place.PosY;
    }
    bar->SetPosition(std::min<Integer>(bar->Max(), Integer(bar->Max() * (q / expected / 3.0 + 2.0 / 3.0))));
    if (place.SheetEnds) {
      for (Integer n = view->LayerCount() - 1; n >= 1; --n) view->MergeLayers(0, n, true);
      if (place.SaveSheet) {
        const AnsiString sheet = FSource.SheetPrefix + IntToStr(place.Sheet) + "." + FSource.Ext;
        // Reading a GIF frame leaves its transparent colour in the shared parameters; the
        // encoder's frames reserve one that no pixel uses, and a sheet saved with it would turn
        // every opaque pixel of the nearest colour transparent. The sheet's own alpha channel
        // still marks what is really transparent.
        io->IOParams()->GifFlagTranspColor = false;
        Run(io, [&] { io->SaveToFile(AnsiToWide(sheet)); }, "The sheet \"" + sheet + "\" could not be written");
        ++FSheetsWritten;
      }
      view->ClearLayers();
    }
    Application->ProcessMessages();
    if (Cancelled) Abort();
    exists = nextExists;
    if (last) break;
  }
}

bool TCompositeRun::Purge() {
  TProgressBar* bar = batchaudioc->progresstotal;
  bar->SetPosition(0);
  batchaudioc->Label1->SetCaption("Gather Images Information");
  batchaudioc->Button1->SetEnabled(false);
  const std::vector<AnsiString> failed =
      PurgeRunFrameFolder(FSource.FrameFolder, FSource.FrameStem, FSource.Ext, [&] {
        Application->ProcessMessages();
        bar->SetPosition(bar->Position() + 1 >= 100 ? 0 : bar->Position() + 1);
      });
  batchaudioc->Close();
  if (failed.empty()) return true;
  AnsiString text = "Some working files could not be deleted:";
  for (const AnsiString& f : failed) text += "\n" + f;
  Application->MessageBox(text, "Error", MB_ICONEXCLAMATION);
  return false;
}
