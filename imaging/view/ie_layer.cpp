#include "imaging/view/ie_layer.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/view/ie_view.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/guid.h"
#include "platform/rtl/numerics.h"

namespace {

// A block the layer owns (size above 0) is freed; a shared reference is only dropped.
void FreeUserData(TIELayer& Layer) {
  if (Layer.UserDataSize > 0) std::free(Layer.UserData);
  Layer.UserData = nullptr;
  Layer.UserDataSize = 0;
}

template <class T>
void Put(TStream* S, const T& V) {
  S->WriteBuffer(&V, sizeof(T));
}

template <class T>
T Get(TStream* S) {
  T v{};
  if (S->Read(&v, sizeof(T)) != static_cast<Integer>(sizeof(T))) throw EReadError("Stream read error");
  return v;
}

void PutBool(TStream* S, bool V) { Put<Byte>(S, V ? 1 : 0); }
bool GetBool(TStream* S) { return Get<Byte>(S) != 0; }

}  // namespace

Integer TIELayerIdTable::Add(const TIELayer& Layer) {
  if (!Layer.UserData) return 0;
  TEntry e;
  e.Reference = Layer.UserData;
  Integer size = Layer.UserDataSize;
  // A shared reference may be a block another layer of the view owns; that layer can free it
  // before the record comes back, so its bytes are kept like an owned block's.
  if (size <= 0 && Layer.Owner)
    for (Integer i = 0; i < Layer.Owner->LayerCount(); ++i) {
      const TIELayer* other = Layer.Owner->LayerAt(i);
      if (other->UserData == Layer.UserData && other->UserDataSize > 0) size = other->UserDataSize;
    }
  if (size > 0) {
    e.Owned = true;
    const Byte* p = static_cast<const Byte*>(Layer.UserData);
    e.Copy.assign(p, p + size);
  } else {
    for (size_t i = 0; i < FEntries.size(); ++i)
      if (!FEntries[i].Owned && FEntries[i].Reference == Layer.UserData) return static_cast<Integer>(i + 1);
  }
  FEntries.push_back(std::move(e));
  return Count();
}

void TIELayerIdTable::Restore(Integer Id, TIELayer& Layer) const {
  const TEntry* e = Id >= 1 && Id <= Count() ? &FEntries[static_cast<size_t>(Id) - 1] : nullptr;
  FreeUserData(Layer);
  if (!e) return;
  if (!e->Owned) {
    Layer.UserData = e->Reference;
    return;
  }
  void* block = std::malloc(e->Copy.size());
  if (!block) throw EOutOfMemory("Out of memory");
  std::memcpy(block, e->Copy.data(), e->Copy.size());
  Layer.UserData = block;
  Layer.UserDataSize = static_cast<Integer>(e->Copy.size());
}

TIELayer::TIELayer(TZodivErView* AOwner, TIEBitmap* ABitmap, bool ShareBitmap) : Owner(AOwner) {
  if (ShareBitmap) {
    Bitmap = ABitmap;
  } else {
    Bitmap = new TIEBitmap();
    if (ABitmap) {
      // A layer over a framework bitmap gets one of its own of the same kind, freed with it.
      Bitmap->Location = ABitmap->GetWrapsTBitmap() ? ieTBitmap : ABitmap->Location;
      Bitmap->Allocate(ABitmap->GetWidth(), ABitmap->GetHeight(), ABitmap->GetPixelFormat());
    }
  }
  const TGUID guid = CreateGUID();
  std::memcpy(LayerGuid, guid.Bytes, sizeof(LayerGuid));
  Reset();
}

TIELayer::~TIELayer() {
  if (OwnsBitmap) delete Bitmap;
  Bitmap = nullptr;
  FreeUserData(*this);
  delete MaskedAlpha;
  MaskedAlpha = nullptr;
}

void TIELayer::Reset() {
  WidthOverride = HeightOverride = 0;
  FRotationAngle = 0;
  Visible = true;
  ShowFrame = true;
  Opacity = 255;
  PosX = PosY = 0;
  ClientRect = TRect{};
  ClipToBase = false;
  NoResize = false;
  CanSelect = true;
  Magnifier = false;
  MagnifyFactor = 2.0;
  MagnifierShape = 0;
  MagnifierSource = 1;
  Operation = 0;
  FreeUserData(*this);
  LayerName.clear();
  MaskLayer = false;
  for (Integer& v : DrawnMapping) v = 0;
  for (TPoint& p : RotatedCorners) p = TPoint{};
  DimOutside = false;
  RotationCenterX = RotationCenterY = 0.5;
}

void TIELayer::Assign(TIELayer* Source) {
  if (!Source || Source == this) return;
  WidthOverride = Source->WidthOverride;
  HeightOverride = Source->HeightOverride;
  if (Bitmap && Source->Bitmap) Bitmap->Assign(Source->Bitmap);
  Visible = Source->Visible;
  ShowFrame = Source->ShowFrame;
  CanSelect = Source->CanSelect;
  Opacity = Source->Opacity;
  PosX = Source->PosX;
  PosY = Source->PosY;
  ClientRect = Source->ClientRect;
  ClipToBase = Source->ClipToBase;
  NoResize = Source->NoResize;
  Magnifier = Source->Magnifier;
  MagnifyFactor = Source->MagnifyFactor;
  MagnifierShape = Source->MagnifierShape;
  MagnifierSource = Source->MagnifierSource;
  Operation = Source->Operation;
  // The block stays the source's: this layer shares it and never frees it.
  FreeUserData(*this);
  UserData = Source->UserData;
  ResampleFilter = Source->ResampleFilter;
  UseResampleFilter = Source->UseResampleFilter;
  LayerName = Source->LayerName;
  MaskLayer = Source->MaskLayer;
  DimOutside = Source->DimOutside;
}

Integer TIELayer::GetWidth() const {
  if (WidthOverride != 0) return WidthOverride;
  return Bitmap ? Bitmap->GetWidth() : 0;
}

Integer TIELayer::GetHeight() const {
  if (HeightOverride != 0) return HeightOverride;
  return Bitmap ? Bitmap->GetHeight() : 0;
}

void TIELayer::SetRotationAngle(double Angle) {
  if (std::isfinite(Angle) && Angle == std::trunc(Angle) && std::fmod(Angle, 360.0) == 0)
    FRotationAngle = 0;
  else
    FRotationAngle = Angle;
}

void TIELayer::SaveToStream(TStream* Stream, bool WithBitmap, TIELayerIdTable* Ids) {
  const Int64 start = Stream->Position();
  Put<Integer>(Stream, 0);  // the length, written when it is known
  Stream->WriteBuffer(LayerGuid, sizeof(LayerGuid));
  Put(Stream, WidthOverride);
  Put(Stream, HeightOverride);
  PutBool(Stream, Visible);
  PutBool(Stream, ShowFrame);
  PutBool(Stream, CanSelect);
  Put(Stream, Opacity);
  Put(Stream, PosX);
  Put(Stream, PosY);
  for (Integer v : {ClientRect.Left, ClientRect.Top, ClientRect.Right, ClientRect.Bottom}) Put(Stream, v);
  PutBool(Stream, ClipToBase);
  PutBool(Stream, NoResize);
  const Byte unused[7] = {};
  PutBool(Stream, Magnifier);
  Stream->WriteBuffer(unused, 7);
  Put(Stream, MagnifyFactor);
  Put(Stream, MagnifierShape);
  Put(Stream, MagnifierSource);
  Stream->WriteBuffer(unused, 6);
  Put(Stream, Operation);
  Put<Integer>(Stream, Ids ? Ids->Add(*this) : 0);
  Put<Byte>(Stream, ResampleFilter);
  PutBool(Stream, UseResampleFilter);
  Put<Integer>(Stream, static_cast<Integer>(LayerName.size()));
  if (!LayerName.empty()) Stream->WriteBuffer(LayerName.data(), static_cast<Integer>(LayerName.size()));
  PutBool(Stream, MaskLayer);
  PutBool(Stream, DimOutside);
  Put(Stream, FRotationAngle);
  Put(Stream, RotationCenterX);
  Put(Stream, RotationCenterY);
  const bool image = WithBitmap && Bitmap;
  PutBool(Stream, image);
  if (image) Bitmap->SaveRawToStream(nullptr, Stream);
  const Int64 end = Stream->Position();
  Stream->SetPosition(start);
  Put<Integer>(Stream, static_cast<Integer>(end - start));
  Stream->SetPosition(end);
}

void TIELayer::LoadFromStream(TStream* Stream, const TIELayerIdTable* Ids) {
  const Int64 start = Stream->Position();
  const Integer length = Get<Integer>(Stream);
  if (length < 4 || length > Stream->Size() - start) throw EReadError("Stream read error");
  const Int64 end = start + length;
  Byte guid[sizeof(LayerGuid)];
  if (Stream->Read(guid, sizeof(guid)) != static_cast<Integer>(sizeof(guid))) throw EReadError("Stream read error");
  std::memcpy(LayerGuid, guid, sizeof(guid));
  WidthOverride = Get<Integer>(Stream);
  HeightOverride = Get<Integer>(Stream);
  Visible = GetBool(Stream);
  ShowFrame = GetBool(Stream);
  CanSelect = GetBool(Stream);
  Opacity = Get<Integer>(Stream);
  PosX = Get<Integer>(Stream);
  PosY = Get<Integer>(Stream);
  ClientRect.Left = Get<Integer>(Stream);
  ClientRect.Top = Get<Integer>(Stream);
  ClientRect.Right = Get<Integer>(Stream);
  ClientRect.Bottom = Get<Integer>(Stream);
  ClipToBase = GetBool(Stream);
  NoResize = GetBool(Stream);
  Magnifier = GetBool(Stream);
  Stream->Seek(7, soCurrent);
  MagnifyFactor = Get<double>(Stream);
  MagnifierShape = Get<Byte>(Stream);
  MagnifierSource = Get<Byte>(Stream);
  Stream->Seek(6, soCurrent);
  Operation = Get<Byte>(Stream);
  const Integer userDataId = Get<Integer>(Stream);
  const Byte filter = Get<Byte>(Stream);
  ResampleFilter = filter <= rfProjectWB ? static_cast<TResampleFilter>(filter) : rfNone;
  UseResampleFilter = GetBool(Stream);
  const Integer nameLength = Get<Integer>(Stream);
  if (nameLength < 0 || nameLength > end - Stream->Position()) throw EReadError("Stream read error");
  LayerName.assign(static_cast<size_t>(nameLength), '\0');
  if (nameLength > 0 && Stream->Read(LayerName.data(), nameLength) != nameLength) throw EReadError("Stream read error");
  MaskLayer = GetBool(Stream);
  DimOutside = GetBool(Stream);
  FRotationAngle = Get<double>(Stream);
  RotationCenterX = Get<double>(Stream);
  RotationCenterY = Get<double>(Stream);
  if (GetBool(Stream) && Bitmap && !Bitmap->LoadRawFromStream(nullptr, Stream)) throw EReadError("Stream read error");
  // A record whose fields run past its own length is damaged; the next one starts at its end.
  if (Stream->Position() > end) throw EReadError("Stream read error");
  Stream->SetPosition(end);
  if (Ids) Ids->Restore(userDataId, *this);
  else FreeUserData(*this);
}
