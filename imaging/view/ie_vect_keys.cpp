// The vector view's keys and window notifications, its change events, the object undo
// snapshots, copying a whole view, and the measuring operations the mouse code calls.
#include <algorithm>
#include <cmath>

#include "imaging/core/ie_mask.h"
#include "imaging/proc/ie_proc.h"
#include "imaging/view/ie_vect.h"
#include "imaging/core/ie_startup.h"
#include "platform/gui/clipboard.h"
#include "platform/gui/keys.h"
#include "platform/gui/menus.h"
#include "platform/gui/stdctrls.h"

TClipFormat IEVectClipboardFormat = 0;
TIEVTextShortCuts IEVTextShortCuts;

// ---------- unit start-up ----------

void IEInitZodivErVect() {
  IEVectClipboardFormat = RegisterClipboardFormat("ZODIVER VECT");
  const auto ctrl = [](char K) { return ShortCut(Word(K), ssCtrl); };
  TIEVTextShortCuts& S = IEVTextShortCuts;
  S.AlignLeft = ctrl('L'), S.AlignCenter = ctrl('E'), S.AlignRight = ctrl('R'), S.AlignJustify = ctrl('J');
  S.Copy = ctrl('C'), S.Cut = ctrl('X'), S.Paste = ctrl('V'), S.Font = ctrl('F');
  S.Bold = ctrl('B'), S.Italic = ctrl('I'), S.Underline = ctrl('U'), S.Color = ctrl('G');
  // The plug-in class list exists from the start, empty until a program registers a class.
}

void IEFinalZodivErVect() {
  IEFreePlugInClasses();
  IEVectClipboardFormat = 0;
  IEVTextShortCuts = TIEVTextShortCuts{};
}

void IERegisterVectorUnit() { IERegisterStartupStep(iessVectorObjects, IEInitZodivErVect, IEFinalZodivErVect); }

// ---------- change events ----------

void TZodivErVect::VectorialChanged() {
  FChangedInGesture = true;
  FChangedOnce = false;
  if (OnVectorialChanged) OnVectorialChanged(this);
}

// A drag reports its changes at every step; the event fires once for the whole gesture, until
// VectorialChanged re-arms it.
void TZodivErVect::VectorialChangedOnce() {
  if (!FChangedOnce && OnVectorialChanged) OnVectorialChanged(this);
  FChangedOnce = true;
}

// ---------- object undo ----------

void TZodivErVect::SaveObjectsUndo() {
  FUndoTaken = ObjAutoUndo;
  if (!ObjAutoUndo) return;
  if (ObjUndoMode == ieumSeparated)
    PushObjectsSnapshot();
  else
    ProcComponent()->SaveUndo(ieuObject);
}

void TZodivErVect::PushObjectsSnapshot() {
  if (ObjUndoLimit <= 0) return;
  auto S = std::make_unique<TMemoryStream>();
  SaveObjectsToStream(S.get());
  while (static_cast<Integer>(FObjUndo.size()) >= ObjUndoLimit) FObjUndo.erase(FObjUndo.begin());
  FObjUndo.push_back(std::move(S));
  if (FOnSaveUndo) FOnSaveUndo(this, ieuObject);
}

void TZodivErVect::DropLastObjectsSnapshot() {
  if (!FObjUndo.empty()) FObjUndo.pop_back();
}

void TZodivErVect::ClearObjectsSnapshots() { FObjUndo.clear(); }

TMemoryStream* TZodivErVect::ObjectsSnapshot(Integer Index) {
  if (Index < 0 || static_cast<size_t>(Index) >= FObjUndo.size()) return nullptr;
  return FObjUndo[static_cast<size_t>(Index)].get();
}

// ---------- copying a view ----------

void TZodivErVect::Assign(TObject* Source) {
  TZodivErView::Assign(Source);
  if (!Source) {
    ResetInteraction();
    ClearObjects();
    return;
  }
  auto* V = dynamic_cast<TZodivErVect*>(Source);
  if (!V || V == this) return;
  ResetInteraction();
  ClearObjects();
  V->CopyObjectsTo(this);
  SetMeasureScale(V->MeasureScale);
  VectorialChanged();
  Update();
}

// ---------- measuring ----------

void TZodivErVect::SetMeasureScale(double Value) {
  MeasureScale = Value;
  ComputeUnitScale();
  RefreshMeasureHint(IEV_UNPLACED, IEV_UNPLACED);
  Update();
}

double TZodivErVect::SelectionArea() {
  const double c = UnitFactorX() * UnitFactorY();
  const TPoint* P = SelectionPolygon();
  const Integer n = SelectionPolygonCount();
  if (P && n > 2) {
    double d = 0;
    Integer s = 0;
    for (Integer i = 0; i < n; ++i) {
      if (P[i].X == TIEMask::PolygonSeparator) continue;
      const bool closing = i == n - 1 || P[i + 1].X == TIEMask::PolygonSeparator;
      if (closing) {
        d += c * double(P[i].X - P[s].X) * double(P[s].Y + P[i].Y);
        s = i + 2;
        ++i;  // the separator
      } else {
        d += c * double(P[i].X - P[i + 1].X) * double(P[i + 1].Y + P[i].Y);
      }
    }
    return std::fabs(d / 2);
  }
  TIEMask* M = SelectionMask();
  if (!M || M->IsEmpty() || M->BitsPerPixel != 1) return 0;
  Int64 count = 0;
  for (Integer y = M->Y1; y <= M->Y2; ++y)
    for (Integer x = M->X1; x <= M->X2; ++x)
      if (M->GetPixel(x, y)) ++count;
  return c * double(count);
}

Integer TZodivErVect::FindObjectAtClient(Integer X, Integer Y, double& Distance) {
  return FindObjectAt(ScreenToBitmapX(X), ScreenToBitmapY(Y), false, Distance);
}

Integer TZodivErVect::CountAnglePoints(const TPoint Points[3]) {
  Integer n = 0;
  while (n < 3 && Points[n].X != IEV_UNPLACED) ++n;
  return n;
}

void TZodivErVect::ShiftSelectionPoints(Integer DX, Integer DY) {
  TZodivErView::ShiftSelectionPoints(DX, DY);
  FDown.X -= DX;
  FDown.Y -= DY;
}

// ---------- keys and window notifications ----------

// Arrow keys and characters reach the view inside dialogs too.
TDlgCode TZodivErVect::GetDlgCode() const { return dlgcWantArrows | dlgcWantChars; }

void TZodivErVect::KeyDown(Word& Key, TShiftState Shift) {
  if (Key == VK_ESCAPE) {
    EndTextEdit();
    FEditedObject = -1;
  } else if (Key == VK_F2 && !FSelection.empty()) {
    const Integer h = FSelection.front();
    TIEVObjectRec* o = GetObjectRec(h);
    if (o && (o->Kind == ievkText || o->Kind == ievkMemo)) {
      SetEditedObject(h);
      StartTextEdit();
    }
  }
  TZodivErView::KeyDown(Key, Shift);
  // A plug-in object that is the whole selection hears the keys as well.
  if (FSelection.size() == 1)
    if (TIEVObjectRec* o = GetObjectRec(FSelection.front()); o && o->Kind == ievkPlugIn && o->PlugIn)
      o->PlugIn->HandleKey(Key, Shift);
}

void TZodivErVect::Resize() {
  TZodivErView::Resize();
  if (FInUpdate || FLayers.empty()) return;
  ResetInteraction();
  Update();
}

void TZodivErVect::DoExit() {
  TZodivErView::DoExit();
  Invalidate();
}
