// The Photoshop methods of TZodivErIO: the file's layers go into an attached TZodivErView and
// the view's layers into the file; without such a view only the merged image travels.
#include <algorithm>
#include <cstring>
#include <memory>

#include "imaging/formats/psd/ie_psd.h"
#include "imaging/io/ie_zodiver_io.h"
#include "imaging/proc/ie_proc.h"
#include "imaging/view/ie_layer.h"
#include "imaging/view/ie_view.h"

namespace {

// The file layer's fields and pixels into a view layer.
void CopyIntoViewLayer(TIELayer* Target, TIEPSDLayer* Source) {
  TIELayer carrier(nullptr, Source->Bitmap, true);
  carrier.OwnsBitmap = false;
  carrier.PosX = Source->PosX;
  carrier.PosY = Source->PosY;
  carrier.Opacity = Source->Opacity;
  carrier.Visible = Source->Visible;
  carrier.LayerName = Source->LayerName;
  carrier.MaskLayer = Source->MaskLayer;
  Target->Assign(&carrier);
}

// The single layer's transparency at its place in the merged image; what the layer does not
// cover is transparent, and the parts of the layer outside the image are dropped.
void PlaceLayerAlpha(TIEBitmap* Image, TIEPSDLayer* Layer) {
  TIEBitmap* source = Layer->Bitmap;
  if (Image->IsEmpty() || !source->HasAlphaChannel()) return;
  TIEBitmap* from = source->GetAlphaChannel();
  TIEBitmap* to = Image->GetAlphaChannel();
  to->Fill(0);
  const Int64 x0 = std::max<Int64>(0, Layer->PosX), y0 = std::max<Int64>(0, Layer->PosY);
  const Int64 x1 = std::min<Int64>(Image->GetWidth(), Int64(Layer->PosX) + from->GetWidth());
  const Int64 y1 = std::min<Int64>(Image->GetHeight(), Int64(Layer->PosY) + from->GetHeight());
  for (Int64 y = y0; y < y1; ++y) {
    const Byte* s = static_cast<const Byte*>(from->GetScanline(Integer(y - Layer->PosY)));
    Byte* d = static_cast<Byte*>(to->GetScanline(Integer(y)));
    if (x1 > x0) std::memcpy(d + x0, s + (x0 - Layer->PosX), size_t(x1 - x0));
  }
  to->Full = false;
}

}  // namespace

void TZodivErIO::LoadFromFilePSD(const WideString& FileName) {
  LoadFileThroughStream(FileName, [this](TStream* S) { LoadFromStreamPSD(S); });
}

void TZodivErIO::LoadFromStreamPSD(TStream* Stream) { SyncLoadFromStreamPSD(Stream); }

void TZodivErIO::SyncLoadFromStreamPSD(TStream* Stream) {
  LoadStream(Stream, ioPSD, {true, false, true, true}, [this](TStream* S, TIECodecProgress& P, TIEMask*&) {
    auto* view = dynamic_cast<TZodivErView*>(FAttachedZodivEr);
    // Layers are asked for only where they can go: without a view the merged image is what
    // the caller gets.
    const bool loadLayers = FParams->PsdLoadLayers && view;
    if (loadLayers && FParams->PsdReplaceLayers) view->ClearLayers();
    TIEPSDLayers layers;
    ReadPSDStream(S, FImage, *FParams, P, loadLayers, &layers);
    if (loadLayers && !layers.empty()) {
      TIELayer* target = view->LayerAt(FParams->PsdReplaceLayers ? 0 : view->AddLayer());
      if (layers.front()->PosX != 0 || layers.front()->PosY != 0) {
        // An offset first layer gets a transparent layer of the file's size beneath it.
        target->Reset();
        target->NoResize = true;
        target->Bitmap->Allocate(FParams->Width, FParams->Height, ie24RGB);
        target->Bitmap->GetAlphaChannel()->Fill(0);
        target->Bitmap->GetAlphaChannel()->Full = false;
        target = view->LayerAt(view->AddLayer());
      }
      CopyIntoViewLayer(target, layers.front().get());
      for (size_t i = 1; i < layers.size(); ++i) CopyIntoViewLayer(view->LayerAt(view->AddLayer()), layers[i].get());
      view->Update();
    } else if (layers.size() == 1 && !FParams->GetExifThumbnail && !Aborting) {
      PlaceLayerAlpha(FImage, layers.front().get());
    }
  });
}

void TZodivErIO::SaveToFilePSD(const WideString& FileName) {
  SaveFile(FileName, ioPSD, false, [this](TStream* S, TIECodecProgress& P) { SyncSaveToStreamPSD(S, P); });
}

void TZodivErIO::SaveToStreamPSD(TStream* Stream) {
  SaveStream(Stream, ioPSD, false, [this](TStream* S, TIECodecProgress& P) { SyncSaveToStreamPSD(S, P); });
}

void TZodivErIO::SyncSaveToStreamPSD(TStream* Stream, TIECodecProgress& Progress) {
  auto* view = dynamic_cast<TZodivErView*>(FAttachedZodivEr);
  TIEPSDLayers none;
  if (!view) return WritePSDStream(Stream, *FParams, Progress, FImage, none);
  TIEBitmap merged;
  merged.Location = ieMemory;
  view->DrawLayersTo(&merged);
  merged.SetPixelFormat(view->LayerAt(0)->Bitmap->GetPixelFormat());
  // The layers are written from copies brought to their display size: saving leaves the
  // view's own layers as they were.
  TIEPSDLayers layers;
  for (Integer i = 0; i < view->LayerCount(); ++i) {
    TIELayer* l = view->LayerAt(i);
    auto out = std::make_unique<TIEPSDLayer>();
    out->Owned = std::make_unique<TIEBitmap>();
    out->Owned->Location = ieMemory;
    out->Owned->Assign(l->Bitmap);
    out->Bitmap = out->Owned.get();
    if (l->GetWidth() != out->Bitmap->GetWidth() || l->GetHeight() != out->Bitmap->GetHeight()) {
      TZodivErProc proc(nullptr);
      proc.AttachBitmap(out->Bitmap);
      proc.Resample(l->GetWidth(), l->GetHeight(), l->UseResampleFilter ? l->ResampleFilter : rfNone);
      proc.AttachBitmap(nullptr);
    }
    out->PosX = l->PosX;
    out->PosY = l->PosY;
    out->Opacity = l->Opacity;
    out->Visible = l->Visible;
    out->LayerName = l->LayerName;
    out->MaskLayer = l->MaskLayer;
    layers.push_back(std::move(out));
  }
  WritePSDStream(Stream, *FParams, Progress, &merged, layers);
}
