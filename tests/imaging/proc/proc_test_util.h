// A view with layers and a selection for the processing component's tests, and event counters.
#pragma once

#include <memory>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_mask.h"
#include "imaging/proc/ie_proc.h"
#include "imaging/view/ie_view_base.h"
#include "platform/rtl/streams.h"

namespace proctest {

class TLayeredView : public TIEView {
 public:
  explicit TLayeredView(Integer LayerCount = 1, Integer W = 8, Integer H = 6) : TIEView(nullptr) {
    for (Integer i = 0; i < LayerCount; ++i) AddLayer(W, H);
  }
  ~TLayeredView() override { NotifyDestroying(); }

  TIEBitmap* AddLayer(Integer W, Integer H) {
    Layers.push_back(std::make_unique<TIEBitmap>(W, H, ie24RGB));
    Layers.back()->Fill(0);
    return Layers.back().get();
  }
  void SetCurrent(Integer Index) {
    Current = Index;
    CallNotifyCallbacks();
  }
  void RemoveLastLayer() {
    Layers.pop_back();
    if (Current >= static_cast<Integer>(Layers.size())) Current = static_cast<Integer>(Layers.size()) - 1;
    CallNotifyCallbacks();
  }

  TBitmap* GetBitmap() override { return Legacy; }
  TIEBitmap* GetIEBitmap() override { return Layers.empty() ? nullptr : Layers[Current].get(); }
  TIEBitmap* GetAlphaChannel() override { return nullptr; }
  bool HasAlphaChannel() override { return false; }
  void RemoveAlphaChannel(bool) override {}
  void SuspendPaint() override {}
  Integer ResumePaint() override { return 0; }
  Integer ResumePaintQuiet() override { return 0; }
  void Update() override { ++Updates; }
  void ImageChange() override { ++ImageChanges; }

  TIEMask* GetSelectionMask() override { return WithSelection ? &Mask : nullptr; }
  bool HasSelection() override { return Selected; }
  Integer GetLayerCount() override { return WithSelection ? static_cast<Integer>(Layers.size()) : 0; }
  Integer GetCurrentLayerIndex() override { return WithSelection ? Current : -1; }
  TIEBitmap* GetLayerBitmap(Integer Index) override { return Layers[Index].get(); }
  bool SaveSelectionSnapshot(TStream* Stream) override {
    if (!WithSelection) return false;
    Stream->WriteBuffer(&SelectionTag, sizeof SelectionTag);
    return true;
  }
  bool LoadSelectionSnapshot(TStream* Stream) override {
    Stream->ReadBuffer(&SelectionTag, sizeof SelectionTag);
    return true;
  }

  std::vector<std::unique_ptr<TIEBitmap>> Layers;
  Integer Current = 0;
  TBitmap* Legacy = nullptr;
  bool WithSelection = true;  // false: a plain view without selection and layers
  bool Selected = false;
  TIEMask Mask;
  Integer SelectionTag = 0;
  Integer Updates = 0;
  Integer ImageChanges = 0;
};

// Counts what a processing component reports.
struct TEvents {
  std::vector<Integer> Progress;
  Integer Finished = 0;
  std::vector<TIEUndoSource> Saved;

  void Watch(TZodivErProc& Proc) {
    Proc.OnProgress = [this](TObject*, Integer P) { Progress.push_back(P); };
    Proc.OnFinishWork = [this](TObject*) { ++Finished; };
    Proc.OnSaveUndo = [this](TObject*, TIEUndoSource S) { Saved.push_back(S); };
  }
};

inline TRGB Pixel(TIEBitmap& B, Integer X, Integer Y) { return static_cast<TRGB*>(B.GetScanline(Y))[X]; }

}  // namespace proctest
