// The layers file and the layers-and-objects file.
//
// Every byte comes from a file: counts, lengths and offsets are checked against what the stream
// holds before anything is allocated for them, and the whole file is read into layers of our
// own first. Only a file read to its end replaces the view's layers, so a damaged one raises
// EReadError and leaves the view as it was. The images cannot be kept in a layers or objects
// format themselves: a file could otherwise hold itself without end.
#include "imaging/view/ie_layer_file.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_params.h"
#include "imaging/formats/codec.h"
#include "imaging/formats/compression/ie_deflate_streams.h"
#include "imaging/formats/ie_le_bytes.h"
#include "imaging/io/ie_file_formats.h"
#include "imaging/io/ie_zodiver_io.h"
#include "imaging/view/ie_layer.h"
#include "imaging/view/ie_vect.h"
#include "imaging/view/ie_view.h"
#include "imaging/view/ie_view_file_fields.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

namespace {

constexpr char kMagic[] = "DORAZAVAVIVUR";
constexpr Integer kMagicSize = 13;
constexpr Integer kHeaderSize = 25;
// The shortest property record, that of versions 1 and 2.
constexpr Integer kMinRecord = 43;
constexpr Integer kMaxLayers = 65536;
// zlib never inflates more than about 1032 bytes out of one, so a stream of L bytes cannot
// honestly claim more than this many times its length.
constexpr Int64 kMaxInflateRatio = 1032;

[[noreturn]] void Damaged(const AnsiString& Why) { throw EReadError("Damaged layers file: " + Why); }

// The formats a layer image may be kept in: -1, or an image format the registry can read (or
// write) other than the layers and objects formats.
bool ImageFormatUsable(Integer FileType, bool Write) {
  if (FileType == IELayersRawCompression) return true;
  if (FileType == ioIEV || FileType == ioLYR || FileType == ioALL) return false;
  const TIEFileFormatInfo* Row = IEFileFormatGetInfo(FileType);
  return Row && (Write ? Row->WriteFunction != nullptr : Row->ReadFunction != nullptr);
}

using TOut = TIEViewFileWriter;

struct TIn : TIEViewFileReader {
  explicit TIn(TStream* Stream) : TIEViewFileReader{Stream, "the file", Damaged} {}
  // A length that the rest of the stream cannot hold is damage, found before any allocation.
  Integer Length(const AnsiString& What) {
    const Integer n = I32();
    if (n < 0 || n > S->Size() - S->Position()) Damaged(Format("%s %d is out of range", What.c_str(), n));
    return n;
  }
};

// Reads at most Count bytes, as many as there are.
Integer ReadUpTo(TStream* S, Byte* Buffer, Integer Count) {
  Integer Got = 0;
  while (Got < Count) {
    const Integer k = S->Read(Buffer + Got, Count - Got);
    if (k <= 0) break;
    Got += k;
  }
  return Got;
}

Integer HeaderInt(const Byte* H, Integer At) { return static_cast<Integer>(IEGetLE32(H + At)); }

void FreeUserData(TIELayer& L) {
  if (L.UserDataSize > 0) std::free(L.UserData);
  L.UserData = nullptr;
  L.UserDataSize = 0;
}

}  // namespace

// Reads a layers file into layers of its own, then hands them to the view in one step.
class TIELayerFileReader {
 public:
  explicit TIELayerFileReader(TZodivErView* View) : V(View) {}

  enum TResult { lfNotLayers, lfOldVersion, lfRead };

  TResult Read(TStream* S) {
    Byte H[kHeaderSize];
    const Integer Got = ReadUpTo(S, H, kHeaderSize);
    if (Got < kMagicSize || std::memcmp(H, kMagic, kMagicSize) != 0) return lfNotLayers;
    if (Got < kHeaderSize) Damaged("the header ends early");
    Version = HeaderInt(H, 13);
    const Integer Compression = HeaderInt(H, 17);
    const Integer Count = HeaderInt(H, 21);
    if (Version <= 0) return lfOldVersion;
    if (!ImageFormatUsable(Compression, false))
      Damaged(Format("layer images kept as file type %d cannot be read", Compression));
    TIn In{S};
    if (Count < 0 || Count > kMaxLayers || Int64(Count) * kMinRecord > S->Size() - S->Position())
      Damaged(Format("layer count %d is out of range", Count));
    std::vector<Int64> Offsets;
    for (Integer i = 0; i < Count; ++i) {
      auto L = std::make_unique<TIELayer>(V, nullptr, false);
      // What an older version does not store, the receiving layer keeps: for layer 0 that is
      // the view's own, for the others what a new layer gets.
      if (i == 0) KeepLiveFields(*L, *V->FLayers[0]);
      Offsets.push_back(ReadRecord(In, *L, i));
      Layers.push_back(std::move(L));
    }
    const Int64 RecordsEnd = S->Position();
    for (Integer i = 0; i < Count; ++i) {
      if (Offsets[size_t(i)] < RecordsEnd || Offsets[size_t(i)] >= S->Size())
        Damaged(Format("the image of layer %d lies outside the file", i));
      S->SetPosition(Offsets[size_t(i)]);
      ReadImage(S, *Layers[size_t(i)], Compression, i);
    }
    S->SetPosition(RecordsEnd);
    return lfRead;
  }

  // True when the layers are read and wait for Commit; a file of version 0 or below is refused
  // after the view's parameters follow its base layer.
  bool ReadAll(TStream* S) {
    const TResult R = Read(S);
    if (R == lfOldVersion) Finish();
    return R == lfRead;
  }

  // The layers read replace the view's.
  void Commit() {
    TZodivErView* View = V;
    View->SyncLayers();
    for (Integer i = View->LayerCount() - 1; i >= 1; --i) View->RemoveLayer(i);
    View->FCurrentLayer = -1;
    View->SetCurrentLayer(0);
    if (!Layers.empty()) {
      TIELayer& Live = *View->FLayers[0];
      TIELayer& Read = *Layers[0];
      CopyFileFields(Live, Read);
      View->FIEBitmap->Assign(Read.Bitmap);
      for (size_t i = 1; i < Layers.size(); ++i) {
        TIELayer* L = Layers[i].release();
        L->Owner = View;
        View->FLayers.push_back(L);
      }
      View->FCurrentLayer = -1;
      View->SetCurrentLayer(View->LayerCount() - 1);
    }
    View->KeepNavigatorOnLiveImage();
    Finish();
  }

  // The view's I/O parameters follow the base layer; then the view shows what it has.
  void Finish() {
    V->SyncLayers();
    if (V->FIO) {
      TIOParamsVals* P = V->FIO->IOParams();
      TIEBitmap* Base = V->FLayers[0]->Bitmap;
      P->Width = P->OriginalWidth = Base->GetWidth();
      P->Height = P->OriginalHeight = Base->GetHeight();
    }
    V->Update();
  }

 private:
  TZodivErView* V;
  Integer Version = 0;
  std::vector<std::unique_ptr<TIELayer>> Layers;

  void KeepLiveFields(TIELayer& L, const TIELayer& Live) {
    L.MagnifierSource = Live.MagnifierSource;
    L.ResampleFilter = Live.ResampleFilter;
    L.UseResampleFilter = Live.UseResampleFilter;
    L.LayerName = Live.LayerName;
    L.MaskLayer = Live.MaskLayer;
    L.CanSelect = Live.CanSelect;
    L.DimOutside = Live.DimOutside;
  }

  // Everything the file holds goes to the view's base layer; its user data only when the file
  // stores user data at all.
  void CopyFileFields(TIELayer& Live, TIELayer& Read) {
    Live.Visible = Read.Visible;
    Live.ShowFrame = Read.ShowFrame;
    Live.Opacity = Read.Opacity;
    Live.PosX = Read.PosX;
    Live.PosY = Read.PosY;
    Live.ClipToBase = Read.ClipToBase;
    Live.NoResize = Read.NoResize;
    Live.Magnifier = Read.Magnifier;
    Live.MagnifyFactor = Read.MagnifyFactor;
    Live.MagnifierShape = Read.MagnifierShape;
    Live.MagnifierSource = Read.MagnifierSource;
    Live.Operation = Read.Operation;
    Live.WidthOverride = Read.WidthOverride;
    Live.HeightOverride = Read.HeightOverride;
    Live.ResampleFilter = Read.ResampleFilter;
    Live.UseResampleFilter = Read.UseResampleFilter;
    Live.LayerName = Read.LayerName;
    Live.MaskLayer = Read.MaskLayer;
    Live.CanSelect = Read.CanSelect;
    Live.DimOutside = Read.DimOutside;
    Live.ClientRect = TRect{};
    if (Version > 2) {
      FreeUserData(Live);
      Live.UserData = Read.UserData;
      Live.UserDataSize = Read.UserDataSize;
      Read.UserData = nullptr;
      Read.UserDataSize = 0;
    }
  }

  Int64 ReadRecord(TIn& In, TIELayer& L, Integer Index) {
    L.Visible = In.Bool();
    L.ShowFrame = In.Bool();
    L.Opacity = In.I32();
    L.PosX = In.I32();
    L.PosY = In.I32();
    L.ClipToBase = In.Bool();
    L.NoResize = In.Bool();
    L.Magnifier = In.Bool();
    L.MagnifyFactor = In.F64();
    L.MagnifierShape = In.U8();
    if (Version > 2) L.MagnifierSource = In.U8();
    L.Operation = In.U8();
    L.WidthOverride = In.I32();
    L.HeightOverride = In.I32();
    if (L.WidthOverride < 0 || L.HeightOverride < 0)
      Damaged(Format("layer %d has the display size %d x %d", Index, L.WidthOverride, L.HeightOverride));
    if (Version > 2) {
      const Byte Filter = In.U8();
      L.ResampleFilter = Filter <= rfProjectWB ? static_cast<TResampleFilter>(Filter) : rfNone;
      L.UseResampleFilter = In.Bool();
      const Integer NameLength = In.Length(Format("the name length of layer %d", Index));
      L.LayerName.assign(size_t(NameLength), '\0');
      if (NameLength > 0) In.Bytes(L.LayerName.data(), NameLength);
      // A size of 0 or below stores no bytes.
      const Integer Size = std::max(In.I32(), 0);
      if (Size > In.S->Size() - In.S->Position())
        Damaged(Format("the user data of layer %d (%d bytes) is longer than the file", Index, Size));
      if (Size > 0) {
        void* Block = std::malloc(size_t(Size));
        if (!Block) throw EOutOfMemory("Out of memory");
        L.UserData = Block;
        L.UserDataSize = Size;
        In.Bytes(Block, Size);
      }
      L.MaskLayer = In.Bool();
    }
    if (Version > 3) L.CanSelect = In.Bool();
    if (Version > 5) L.DimOutside = In.Bool();
    return In.I64();
  }

  void ReadImage(TStream* S, TIELayer& L, Integer Compression, Integer Index) {
    if (Compression == IELayersRawCompression) {
      TIn In{S};
      const Integer Length = In.Length(Format("the image length of layer %d", Index));
      std::vector<Byte> Zip(static_cast<size_t>(Length));
      In.Bytes(Zip.data(), Length);
      void* Out = nullptr;
      Integer OutBytes = 0;
      const Int64 Cap = std::min<Int64>(Int64(Length) * kMaxInflateRatio + 1024, 0x7FFFFFFF);
      try {
        ZDecompressBuf(Zip.data(), Length, Out, OutBytes, 0, Cap);
      } catch (Exception& E) {
        std::free(Out);
        Damaged(Format("the image of layer %d: ", Index) + E.Message);
      }
      TMemoryStream Raw;
      try {
        Raw.WriteBuffer(Out, OutBytes);
      } catch (...) {
        std::free(Out);
        throw;
      }
      std::free(Out);
      Raw.SetPosition(0);
      if (!L.Bitmap->LoadRawFromStream(nullptr, &Raw))
        Damaged(Format("the image of layer %d is not a whole raw image", Index));
      return;
    }
    TZodivErIO IO(nullptr);
    IO.SetAttachedIEBitmap(L.Bitmap);
    // A mask stays 8-bit grey.
    IO.SetNativePixelFormat(L.MaskLayer);
    IO.LoadFromStreamFormat(S, Compression);
    if (IO.Aborting || L.Bitmap->GetWidth() <= 0 || L.Bitmap->GetHeight() <= 0)
      Damaged(Format("the image of layer %d cannot be read", Index) +
              (IO.FailureReason().empty() ? AnsiString() : ": " + IO.FailureReason()));
  }
};

bool IETestLayersStream(TStream* Stream) {
  const Int64 Pos = Stream->Position();
  Byte H[kHeaderSize];
  bool Ok = false;
  try {
    Ok = ReadUpTo(Stream, H, kHeaderSize) == kHeaderSize && std::memcmp(H, kMagic, kMagicSize) == 0 &&
         HeaderInt(H, 13) > 0;
  } catch (...) {
    Ok = false;
  }
  Stream->SetPosition(Pos);
  return Ok;
}

void TZodivErView::SaveLayersToStream(TStream* Stream, Integer Compression) {
  if (Compression == 1) Compression = ioPNG;
  if (!ImageFormatUsable(Compression, true))
    throw EWriteError(Format("Layer images cannot be written as file type %d", Compression));
  SyncLayers();
  const Integer SavedCurrent = FCurrentLayer;
  const bool SavedRestriction = FLayerSelectionRestricted;
  FLayerSelectionRestricted = false;
  auto Restore = [&] {
    FLayerSelectionRestricted = false;
    SetCurrentLayer(SavedCurrent);
    FLayerSelectionRestricted = SavedRestriction;
  };
  try {
    TOut W{Stream};
    W.Bytes(kMagic, kMagicSize);
    W.I32(IELayersFileVersion);
    W.I32(Compression);
    W.I32(LayerCount());
    std::vector<Int64> OffsetFields;
    for (TIELayer* L : FLayers) {
      W.Bool(L->Visible);
      W.Bool(L->ShowFrame);
      W.I32(L->Opacity);
      W.I32(L->PosX);
      W.I32(L->PosY);
      W.Bool(L->ClipToBase);
      W.Bool(L->NoResize);
      W.Bool(L->Magnifier);
      W.F64(L->MagnifyFactor);
      W.U8(L->MagnifierShape);
      W.U8(L->MagnifierSource);
      W.U8(L->Operation);
      W.I32(L->WidthOverride);
      W.I32(L->HeightOverride);
      W.U8(L->ResampleFilter);
      W.Bool(L->UseResampleFilter);
      W.I32(static_cast<Integer>(L->LayerName.size()));
      if (!L->LayerName.empty()) W.Bytes(L->LayerName.data(), static_cast<Integer>(L->LayerName.size()));
      // Only a block the layer owns has a known size; a shared reference stores nothing.
      const Integer Size = L->UserData ? std::max(L->UserDataSize, 0) : 0;
      W.I32(Size);
      if (Size > 0) W.Bytes(L->UserData, Size);
      W.Bool(L->MaskLayer);
      W.Bool(L->CanSelect);
      W.Bool(L->DimOutside);
      OffsetFields.push_back(Stream->Position());
      W.I32(0);
      W.I32(0);
    }
    for (Integer i = 0; i < LayerCount(); ++i) {
      const Int64 P = Stream->Position();
      Stream->SetPosition(OffsetFields[size_t(i)]);
      W.I32(static_cast<Integer>(P & 0xFFFFFFFF));
      W.I32(static_cast<Integer>(P >> 32));
      Stream->SetPosition(P);
      SetCurrentLayer(i);
      if (Compression == IELayersRawCompression) {
        TMemoryStream Zip;
        {
          TZCompressionStream Z(&Zip, zcDefault);
          FIEBitmap->SaveRawToStream(nullptr, &Z);
        }
        if (Zip.Size() > 0x7FFFFFFF) throw EWriteError(Format("The image of layer %d is too large to store", i));
        W.I32(static_cast<Integer>(Zip.Size()));
        W.Bytes(Zip.Memory(), static_cast<Integer>(Zip.Size()));
      } else {
        TZodivErIO* IO = IOComponent();
        TIOParamsVals* Params = IO->IOParams();
        const TIEPixelFormat F = FIEBitmap->GetPixelFormat();
        Params->BitsPerSample = F == ie1g ? 1 : 8;
        Params->SamplesPerPixel = F == ie1g || F == ie8g ? 1 : 3;
        IO->SaveToStream(Stream, Compression);
        if (IO->Aborting)
          throw EWriteError(Format("Cannot write the image of layer %d", i) +
                            (IO->FailureReason().empty() ? AnsiString() : ": " + IO->FailureReason()));
      }
      Stream->SetPosition(Stream->Size());
    }
  } catch (...) {
    Restore();
    throw;
  }
  Restore();
}

bool TZodivErView::LoadLayersFromStream(TStream* Stream) {
  TIELayerFileReader Reader(this);
  if (!Reader.ReadAll(Stream)) return false;
  Reader.Commit();
  return true;
}

bool TZodivErView::LoadLayersFromFile(const AnsiString& FileName) {
  if (FileName.empty()) return false;
  TFileStream F(FileName, fmOpenRead | fmShareDenyWrite);
  return LoadLayersFromStream(&F);
}

// ---------- layers and objects: an int32 offset of the objects, the layers file, the objects ----------

void TZodivErVect::SaveLayersAndObjectsToStream(TStream* Stream, Integer Compression) {
  const Int64 Start = Stream->Position();
  TOut W{Stream};
  W.I32(0);
  SaveLayersToStream(Stream, Compression);
  const Int64 P = Stream->Position();
  if (P > 0x7FFFFFFF) throw EWriteError("The layers take more room than a layers-and-objects file can address");
  Stream->SetPosition(Start);
  W.I32(static_cast<Integer>(P));
  Stream->SetPosition(P);
  SaveObjectsToStream(Stream);
}

bool TZodivErVect::LoadLayersAndObjectsFromStream(TStream* Stream) {
  Byte B[4];
  if (ReadUpTo(Stream, B, 4) != 4) return false;
  const Integer P = HeaderInt(B, 0);
  TIELayerFileReader Reader(this);
  if (!Reader.ReadAll(Stream)) return false;
  if (P < 0 || P >= Stream->Size()) Damaged(Format("the vector objects offset %d is outside the file", P));
  Stream->SetPosition(P);
  // The objects reader replaces the objects only when all of them were read; the layers follow
  // it, so a damaged objects part changes nothing either.
  if (!LoadObjectsFromStream(Stream)) return false;
  Reader.Commit();
  return true;
}

bool TZodivErVect::LoadLayersAndObjectsFromFile(const AnsiString& FileName) {
  if (FileName.empty()) return false;
  TFileStream F(FileName, fmOpenRead | fmShareDenyWrite);
  return LoadLayersAndObjectsFromStream(&F);
}

bool IETestLayersObjectsStream(TStream* Stream) {
  const Int64 Pos = Stream->Position();
  bool Ok = false;
  try {
    Byte B[4];
    if (ReadUpTo(Stream, B, 4) == 4) {
      const Integer P = HeaderInt(B, 0);
      if (P >= 0 && P <= Stream->Size() && IETestLayersStream(Stream)) {
        Stream->SetPosition(P);
        Ok = IETestObjectsStream(Stream);
      }
    }
  } catch (...) {
    Ok = false;
  }
  Stream->SetPosition(Pos);
  return Ok;
}
