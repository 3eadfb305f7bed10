// The I/O and processing components of a view, made on first use, owned by the view and
// attached to it, and the events the view hands on to them.
#include "imaging/io/ie_zodiver_io.h"
#include "imaging/proc/ie_proc.h"
#include "imaging/view/ie_view.h"

TZodivErIO* TZodivErView::IOComponent() {
  if (!FIO) {
    FIO = new TZodivErIO(this);
    FIO->SetAttachedZodivEr(this);
    FIO->OnProgress = FOnProgress;
    FIO->OnFinishWork = FOnFinishWork;
  }
  return FIO;
}

TZodivErProc* TZodivErView::ProcComponent() {
  if (!FProc) {
    FProc = new TZodivErProc(this);
    FProc->SetAttachedZodivEr(this);
    FProc->OnProgress = FOnProgress;
    FProc->OnFinishWork = FOnFinishWork;
    FProc->OnSaveUndo = FOnSaveUndo;
  }
  return FProc;
}

void TZodivErView::SetOnProgress(TIEProgressEvent Value) {
  FOnProgress = std::move(Value);
  if (FIO) FIO->OnProgress = FOnProgress;
  if (FProc) FProc->OnProgress = FOnProgress;
}

void TZodivErView::SetOnFinishWork(TNotifyEvent Value) {
  FOnFinishWork = std::move(Value);
  if (FIO) FIO->OnFinishWork = FOnFinishWork;
  if (FProc) FProc->OnFinishWork = FOnFinishWork;
}

TIEProgressEvent TZodivErView::GetOnProgress() { return FOnProgress; }
TNotifyEvent TZodivErView::GetOnFinishWork() { return FOnFinishWork; }

void TZodivErView::SetOnSaveUndo(TIESaveUndoEvent Value) {
  FOnSaveUndo = std::move(Value);
  if (FProc) FProc->OnSaveUndo = FOnSaveUndo;
}

void TZodivErView::Notification(TComponent* AComponent, TOperation Operation) {
  TIEView::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  if (AComponent == FNavigator) FNavigator = nullptr;
  if (AComponent == static_cast<TComponent*>(FIO)) FIO = nullptr;
  if (AComponent == static_cast<TComponent*>(FProc)) FProc = nullptr;
}
