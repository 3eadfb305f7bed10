// Undo and redo of the processing component: two bounded lists of snapshots, oldest first.
// Restoring an entry leaves it in its list; the host discards it when it wants to.
#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/proc/ie_proc.h"
#include "imaging/core/ie_text.h"
#include "imaging/view/ie_layer.h"
#include "imaging/view/ie_vect.h"
#include "imaging/view/ie_view.h"
#include "imaging/view/ie_view_base.h"
#include "platform/rtl/streams.h"

namespace {

// Every layer's record in index order; only the current layer's carries its image, and only
// for a whole-layer snapshot.
void SaveLayerRecords(TZodivErView* View, TIELayerRecordStream* Stream, bool CurrentWithBitmap) {
  for (Integer i = 0; i < View->LayerCount(); ++i)
    View->LayerAt(i)->SaveToStream(Stream, CurrentWithBitmap && i == View->CurrentLayerIndex(), &Stream->Ids);
}

// Each record goes back to the layer that has its identifier. Layers added since are left
// alone, and records of layers removed since are skipped; a record whose length does not fit
// the stream ends the walk.
void LoadLayerRecords(TZodivErView* View, TIELayerRecordStream* Stream) {
  const Int64 size = Stream->Size();
  Stream->SetPosition(0);
  while (Stream->Position() < size) {
    const Int64 start = Stream->Position();
    Integer length = 0;
    Byte guid[16];
    if (Stream->Read(&length, sizeof length) != static_cast<Integer>(sizeof length)) break;
    if (Stream->Read(guid, sizeof guid) != static_cast<Integer>(sizeof guid)) break;
    if (length < static_cast<Integer>(sizeof length + sizeof guid) || length > size - start) break;
    TIELayer* match = nullptr;
    for (Integer i = 0; i < View->LayerCount() && !match; ++i)
      if (IECompareGUID(View->LayerAt(i)->LayerGuid, guid)) match = View->LayerAt(i);
    Stream->SetPosition(start);
    if (match) match->LoadFromStream(Stream, &Stream->Ids);
    else Stream->SetPosition(start + length);
  }
  View->Update();
}

}  // namespace

bool TZodivErProc::PushSnapshot(TUndoList& List, TIEUndoSource Source) {
  TUndoEntry entry;
  entry.Source = Source;
  switch (Source) {
    case ieuImage: {
      if (FImage->GetWidth() < 2 || FImage->GetHeight() < 2) return false;
      auto copy = std::make_unique<TIEBitmap>();
      copy->FileThreshold = 0;
      copy->Location = UndoLocation;
      copy->Assign(FImage);
      entry.LayerIndex = FAttachedView ? FAttachedView->GetCurrentLayerIndex() : -1;
      entry.Data = std::move(copy);
      break;
    }
    case ieuSelection: {
      if (!FAttachedView) return false;
      auto stream = std::make_unique<TMemoryStream>();
      if (!FAttachedView->SaveSelectionSnapshot(stream.get())) return false;
      entry.Data = std::move(stream);
      break;
    }
    case ieuLayer:
    case ieuFullLayer: {
      auto* view = dynamic_cast<TZodivErView*>(FAttachedView);
      if (!view) return false;
      auto stream = std::make_unique<TIELayerRecordStream>();
      SaveLayerRecords(view, stream.get(), Source == ieuFullLayer);
      entry.Data = std::move(stream);
      break;
    }
    case ieuObject:
    case ieuObjectsAndLayers: {
      auto* vect = dynamic_cast<TZodivErVect*>(FAttachedView);
      if (!vect) return false;
      auto stream = std::make_unique<TMemoryStream>();
      // The layers uncompressed: a snapshot is read back in this process, never kept on disk.
      if (Source == ieuObject)
        vect->SaveObjectsToStream(stream.get());
      else
        vect->SaveLayersAndObjectsToStream(stream.get(), -1);
      entry.Data = std::move(stream);
      break;
    }
    default:
      return false;
  }
  // A limit below 1 never gets here, so the trimming always ends.
  while (static_cast<Integer>(List.size()) >= FUndoLimit) List.erase(List.begin());
  List.push_back(std::move(entry));
  return true;
}

void TZodivErProc::SaveUndo(TIEUndoSource Source) {
  if (FUndoLimit < 1) return;
  if (Source == ieuImage && !BeginOperation(IEAnyFormat)) return;
  PushSnapshot(FUndo, Source);
  if (OnSaveUndo) OnSaveUndo(this, Source);
}

void TZodivErProc::SaveUndoCaptioned(const AnsiString& Caption, TIEUndoSource Source) {
  if (!BeginOperation(IEAnyFormat)) return;
  if (FImage->GetWidth() < 2 || FImage->GetHeight() < 2) return;
  // SaveUndo may be taken over by a descendant: what it pushed is told by the newest entry.
  const TObject* before = FUndo.empty() ? nullptr : FUndo.back().Data.get();
  const size_t countBefore = FUndo.size();
  SaveUndo(Source);
  if (FUndo.empty()) return;
  if (FUndo.size() != countBefore || FUndo.back().Data.get() != before) FUndo.back().Caption = Caption;
}

void TZodivErProc::SaveRedo(TIEUndoSource Source) {
  if (FUndoLimit < 1) return;
  if (Source == ieuImage && !BeginOperation(IEAnyFormat)) return;
  PushSnapshot(FRedo, Source);
}

void TZodivErProc::Restore(TUndoEntry& Entry) {
  switch (Entry.Source) {
    case ieuImage: {
      auto* copy = static_cast<TIEBitmap*>(Entry.Data.get());
      TIEBitmap* target = FImage;
      if (FAttachedView && Entry.LayerIndex >= 0) {
        const Integer count = FAttachedView->GetLayerCount();
        if (count > 0) {
          if (TIEBitmap* layer = FAttachedView->GetLayerBitmap(IEMin(IEMax(Entry.LayerIndex, 0), count - 1)))
            target = layer;
        }
      }
      target->Assign(copy);
      Update();
      break;
    }
    case ieuSelection: {
      auto* stream = static_cast<TMemoryStream*>(Entry.Data.get());
      stream->SetPosition(0);
      if (FAttachedView) FAttachedView->LoadSelectionSnapshot(stream);
      break;
    }
    case ieuLayer:
    case ieuFullLayer:
      if (auto* view = dynamic_cast<TZodivErView*>(FAttachedView))
        if (auto* records = dynamic_cast<TIELayerRecordStream*>(Entry.Data.get())) LoadLayerRecords(view, records);
      break;
    case ieuObject:
    case ieuObjectsAndLayers:
      if (auto* vect = dynamic_cast<TZodivErVect*>(FAttachedView)) {
        auto* stream = static_cast<TMemoryStream*>(Entry.Data.get());
        stream->SetPosition(0);
        if (Entry.Source == ieuObject)
          vect->LoadObjectsFromStream(stream);
        else
          vect->LoadLayersAndObjectsFromStream(stream);
      }
      break;
    default:
      break;
  }
}

void TZodivErProc::UndoAt(Integer Index, bool SaveRedoFirst) {
  if (!BeginOperation(IEAnyFormat)) return;
  if (Index < 0 || Index >= UndoCount()) return;
  if (SaveRedoFirst) SaveRedo(FUndo[FUndo.size() - 1 - Index].Source);
  // Looked up again: a descendant's SaveRedo may have changed the list.
  if (Index >= UndoCount()) return;
  Restore(FUndo[FUndo.size() - 1 - Index]);
}

void TZodivErProc::Undo(bool SaveRedoFirst) { UndoAt(0, SaveRedoFirst); }

void TZodivErProc::RedoAt(Integer Index) {
  if (!BeginOperation(IEAnyFormat)) return;
  if (Index < 0 || Index >= RedoCount()) return;
  Restore(FRedo[FRedo.size() - 1 - Index]);
}

void TZodivErProc::Redo() { RedoAt(0); }

void TZodivErProc::ClearUndoAt(Integer Index) {
  if (Index < 0 || Index >= UndoCount()) return;
  FUndo.erase(FUndo.end() - 1 - Index);
}

void TZodivErProc::ClearLastRedo() {
  if (!FRedo.empty()) FRedo.pop_back();
}

void TZodivErProc::ClearAllUndo() {
  while (!FUndo.empty()) FUndo.erase(FUndo.begin());
}

void TZodivErProc::ClearAllRedo() {
  while (!FRedo.empty()) FRedo.erase(FRedo.begin());
}

TIEUndoSource TZodivErProc::GetUndoSource(Integer Index) const {
  if (Index < 0 || Index >= UndoCount()) return ieuUnknown;
  return FUndo[Index].Source;
}

AnsiString TZodivErProc::GetUndoCaption(Integer Index) const {
  if (Index < 0 || Index >= UndoCount()) return AnsiString();
  return FUndo[FUndo.size() - 1 - Index].Caption;
}
