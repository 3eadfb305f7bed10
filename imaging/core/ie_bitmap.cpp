// Data model, stores and allocation of the image buffer.
#include "imaging/core/ie_bitmap.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "imaging/core/ie_bitmap_stores.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_pixel_format.h"

namespace {

constexpr Int64 kDefaultFileThreshold = 33554432;
constexpr Int64 kMinFragmentSize = 10485760;

// The physical memory does not change while the program runs; every buffer (and every
// temporary one made by a conversion) would otherwise read it again.
Int64 DefaultFileThreshold() {
  static const Int64 threshold = [] {
    Int64 total = IEGetMemory(false);
    if (total == 0) return kDefaultFileThreshold;
    return static_cast<Int64>(std::trunc(static_cast<long double>(total) / 1.3L));
  }();
  return threshold;
}

const TIETBitmapStoreCalls* InstalledTBitmapStore = nullptr;

const char* RefusalText(TIEPixelFormat Format) {
  switch (Format) {
    case ie32f: return "ie32f pixel format not allowed when Location=ieTBitmap";
    case ieCMYK: return "ieCMYK pixel format not allowed when Location=ieTBitmap";
    case ieRGB48: return "ieRGB48 pixel format not allowed when Location=ieTBitmap";
    case ieCIELab: return "ieCIELab pixel format not allowed when Location=ieTBitmap";
    default: return "pixel format not allowed when Location=ieTBitmap";
  }
}

}  // namespace

const TIETBitmapStoreCalls* IETBitmapStore() { return InstalledTBitmapStore; }
void IEInstallTBitmapStore(const TIETBitmapStoreCalls* Calls) { InstalledTBitmapStore = Calls; }

bool IETBitmapStoreHolds(TIEPixelFormat Format) {
  return Format == ie1g || Format == ie8p || Format == ie8g || Format == ie24RGB || Format == ie32RGB;
}

AnsiString IEStoreRefusal(TIELocation Location, TIEPixelFormat Format) {
  // Without the store linked, such rows are kept in memory, which takes every format.
  if (Location != ieTBitmap || !IETBitmapStore() || Format == ie16g || IETBitmapStoreHolds(Format)) return AnsiString();
  return RefusalText(Format);
}

const TIETBitmapStoreCalls* TIEBitmap::TBitmapStore() const { return Location == ieTBitmap ? IETBitmapStore() : nullptr; }

// Only the store makes or takes a framework bitmap, so one held means the store is linked.
void TIEVclBitmapDeleter::operator()(TBitmap* Bitmap) const {
  if (Owned && Bitmap) IETBitmapStore()->DeleteBitmap(Bitmap);
}

void TIEBitmap::FreeVclImage() {
  if (VclBitmap) IETBitmapStore()->Release(*this);
  VclRowTable.clear();
}

void TIEBitmap::UpdateTBitmapPalette() {
  if (VclBitmap && Location == ieTBitmap) IETBitmapStore()->UpdatePalette(*this);
}

TIEBitmapImage::TIEBitmapImage() : FileBuffer(std::make_unique<TIEFileBuffer>()) {}
TIEBitmapImage::~TIEBitmapImage() = default;
TIEBitmapImage::TIEBitmapImage(TIEBitmapImage&&) noexcept = default;
TIEBitmapImage& TIEBitmapImage::operator=(TIEBitmapImage&&) noexcept = default;

TIEBitmap::TIEBitmap() : FileThreshold(DefaultFileThreshold()) {}

TIEBitmap::TIEBitmap(Integer Width, Integer Height, TIEPixelFormat PixelFormat) : TIEBitmap() {
  Allocate(Width, Height, PixelFormat);
}

TIEBitmap* TIEBitmap::CreateSized(Integer Width, Integer Height, TIEPixelFormat PixelFormat) {
  return new TIEBitmap(Width, Height, PixelFormat);
}

TIEBitmap* TIEBitmap::CreateAsAlphaChannel(Integer Width, Integer Height, TIELocation Location) {
  TIEBitmap* alpha = new TIEBitmap;
  alpha->IsAlphaChannel = true;
  alpha->Location = Location == ieTBitmap ? ieMemory : Location;
  alpha->Allocate(Width, Height, ie8g);
  alpha->Fill(255);
  return alpha;
}

TIEBitmap::~TIEBitmap() { FreeImage(true); }

void TIEBitmap::SetFormatFields(TIEPixelFormat Format) {
  PixelFormat = Format;
  BitCount = IEIsValidPixelFormat(Format) ? IEPixelFormatBits[Format] : 0;
  ChannelCount = IEIsValidPixelFormat(Format) ? IEPixelFormatChannels[Format] : 0;
  Int64 len = IEBitmapRowLen(Width, BitCount, BitAlignment);
  RowLen = (len > 0 && len <= INT_MAX) ? static_cast<Integer>(len) : 0;
}

// The fields are the truth in every store: a framework bitmap's changes are read back when
// they happen (WatchVclBitmap), not here.
Integer TIEBitmap::GetWidth() const { return Width; }
Integer TIEBitmap::GetHeight() const { return Height; }
Integer TIEBitmap::GetBitCount() const { return BitCount; }
Integer TIEBitmap::GetChannelCount() const { return ChannelCount; }
TIEPixelFormat TIEBitmap::GetPixelFormat() const { return PixelFormat; }
Integer TIEBitmap::GetRowLen() const { return RowLen; }

bool TIEBitmap::IsEmpty() const { return Width == 0 || Height == 0 || RowLen == 0 || BitCount == 0; }

bool TIEBitmap::Allocate(Integer NewWidth, Integer NewHeight, TIEPixelFormat NewPixelFormat) {
  if (!ForceReallocation && NewWidth == Width && NewHeight == Height && NewPixelFormat == PixelFormat) return true;
  if (!WrapsTBitmap) {
    FreeImage(true);
  } else {
    AlphaChannel.reset();
  }
  Width = NewWidth;
  Height = NewHeight;
  PixelFormat = NewPixelFormat;
  bool ok = AllocateImage();
  if (!ok) {
    Width = 0;
    Height = 0;
  }
  ForceReallocation = false;
  return ok;
}

bool TIEBitmap::AllocateImage() {
  auto fail = [this] {
    BitCount = ChannelCount = RowLen = 0;
    Palette.reset();
    PaletteLength = 0;
    return false;
  };
  if (Width < 1 || Height < 1 || PixelFormat == ieNull || !IEIsValidPixelFormat(PixelFormat)) return fail();
  if (PixelFormat == ie8p) {
    if (!Palette) Palette = std::make_unique<TRGB[]>(256);
    PaletteLength = 256;
  }
  SetFormatFields(PixelFormat);
  // A row shorter than its pixels (an alignment that is not a whole number of bytes, or a row
  // longer than 2 GiB) would make every writer overrun it.
  Int64 needed = (Int64(Width) * BitCount + 7) / 8;
  if (RowLen <= 0 || RowLen < needed) return fail();
  Int64 size = Int64(RowLen) * Int64(Height);

  if (Location == ieTBitmap && !TBitmapStore()) Location = ieMemory;
  if (Location == ieFile && FileThreshold > size) Location = ieMemory;
  if (Location == ieMemory && FileThreshold < size) Location = ieFile;

  if (Location == ieFile) {
    if (!FileBuffer->AllocateFile("IMG", size)) Location = ieMemory;
  }
  if (Location == ieMemory) {
    void* real = nullptr;
    void* aligned = nullptr;
    if (AllocateMemoryBlock(size, real, aligned)) {
      RowBlock = real;
      RowBlockKind = Allocator;
      Rows = static_cast<Byte*>(aligned);
    } else if (!AllocateFragments()) {
      Location = ieFile;
      if (!FileBuffer->AllocateFile("IMG", size)) return fail();
    }
  } else if (Location == ieTBitmap) {
    if (!TBitmapStore()->Allocate(*this)) return fail();
  } else if (Location != ieFile) {
    return fail();
  }
  Full = false;
  return true;
}

bool TIEBitmap::AllocateMemoryBlock(Int64 Size, void*& RealBlock, void*& AlignedBlock) {
  AlignedBlock = nullptr;
  RealBlock = nullptr;
  if (Size < 0 || static_cast<UInt64>(Size) > SIZE_MAX - 128) return false;
  size_t bytes = static_cast<size_t>(Size) + 128;
  switch (Allocator) {
    case 0: RealBlock = IEHeapAlloc(bytes); break;
    case 1: RealBlock = IEGlobalAlloc(bytes); break;
    default: RealBlock = IEAllocMem(bytes); break;
  }
  if (!RealBlock) return false;
  AlignedBlock = reinterpret_cast<void*>((reinterpret_cast<uintptr_t>(RealBlock) + 63) & ~uintptr_t(63));
  return true;
}

bool TIEBitmap::AllocateFragments() {
  FreeFragments();
  Integer count = 4;
  for (;;) {
    FragmentCount = count;
    FragmentRows = IECeil(static_cast<long double>(Height) / count);
    Int64 fragSize = Int64(RowLen) * FragmentRows;
    if (fragSize < kMinFragmentSize && FragmentCount > 4) break;
    FragmentTable.assign(static_cast<size_t>(count), nullptr);
    bool ok = true;
    for (Integer i = 0; i < count; ++i) {
      FragmentTable[static_cast<size_t>(i)] = static_cast<Byte*>(IEGlobalAlloc(static_cast<size_t>(fragSize)));
      if (!FragmentTable[static_cast<size_t>(i)]) {
        ok = false;
        break;
      }
    }
    if (ok) return true;
    FreeFragments();
    if (count > INT_MAX / 2) break;
    count *= 2;
    if (count >= Height) break;
  }
  FreeFragments();
  return false;
}

void TIEBitmap::FreeFragments() {
  for (Byte*& block : FragmentTable) {
    void* p = block;
    IEGlobalFree(p);
    block = nullptr;
  }
  FragmentTable.clear();
  FragmentCount = 0;
  FragmentRows = 0;
}

void TIEBitmap::FreeImage(bool FreeAlpha) {
  if (FreeAlpha) AlphaChannel.reset();
  Palette.reset();
  UnmapAllRows();
  FileBuffer->DeAllocate();
  if (RowBlock) {
    switch (RowBlockKind) {
      case 0: IEHeapFree(RowBlock); break;
      case 1: IEGlobalFree(RowBlock); break;
      default: IEFreeMem(RowBlock); break;
    }
  }
  FreeVclImage();
  FreeFragments();
  Rows = nullptr;
  RowBlock = nullptr;
  PaletteLength = 0;
  Width = Height = RowLen = BitCount = ChannelCount = 0;
  Full = false;
  WrapsTBitmap = false;
}

void TIEBitmap::MoveImageTo(TIEBitmap* Dest) {
  if (!Dest || Dest == this) return;
  Dest->FreeImage(true);
  const TIELocation keep = Location;
  static_cast<TIEBitmapImage&>(*Dest) = std::move(static_cast<TIEBitmapImage&>(*this));
  static_cast<TIEBitmapImage&>(*this) = TIEBitmapImage();
  Location = keep;
  // Settings that describe how the rows were made travel with them.
  Dest->DitherMethod = DitherMethod;
  Dest->BitAlignment = BitAlignment;
  Dest->Allocator = Allocator;
  if (Dest->VclBitmap) IETBitmapStore()->Watch(*Dest);
  ForceReallocation = true;
}

// Copies min(RowLen) bytes of every common row; Source is only read and this bitmap only
// written, so file-backed rows skip the needless half of their traffic.
void TIEBitmap::CopyRowsFrom(TIEBitmap* Source) {
  TIEDataAccess srcAccess = Source->Access, dstAccess = Access;
  Source->Access = iedRead;
  Access = iedWrite;
  Integer rows = IEMin(Height, Source->Height);
  size_t bytes = static_cast<size_t>(IEMin(RowLen, Source->RowLen));
  for (Integer r = 0; r < rows; ++r) {
    const void* src = Source->GetScanline(r);
    void* dst = GetScanline(r);
    if (src && dst) std::memcpy(dst, src, bytes);
  }
  Source->Access = srcAccess;
  Access = dstAccess;
  UnmapAllRows();
  Source->UnmapAllRows();
}

void TIEBitmap::SetLocation(TIELocation Value) {
  if (Value == Location) return;
  ForceReallocation = true;
  TIEBitmap temp;
  MoveImageTo(&temp);
  if (temp.PixelFormat == ieNull || temp.IsEmpty()) {
    // Nothing to carry over: only the request changes.
    temp.MoveImageTo(this);
    Location = Value;
    ForceReallocation = true;
    return;
  }
  // The framework bitmap holds only 1-, 8-, 24- and 32-bit RGB rows: other formats are
  // converted to the nearest one it holds instead of being copied as foreign bytes.
  if (Value == ieTBitmap) {
    switch (temp.PixelFormat) {
      case ie16g:
      case ie32f: temp.ConvertPixelFormat(ie8g); break;
      case ieCMYK:
      case ieRGB48:
      case ieCIELab: temp.ConvertPixelFormat(ie24RGB); break;
      default: break;
    }
  }
  Location = Value;
  DitherMethod = temp.DitherMethod;
  BitAlignment = temp.BitAlignment;
  Allocator = temp.Allocator;
  if (!Allocate(temp.Width, temp.Height, temp.PixelFormat)) {
    // The new store refused the image: keep the image where it was.
    temp.MoveImageTo(this);
    return;
  }
  CopyRowsFrom(&temp);
  if (temp.Palette && Palette) {
    std::memcpy(Palette.get(), temp.Palette.get(), sizeof(TRGB) * static_cast<size_t>(IEMin(PaletteLength, temp.PaletteLength)));
  }
  UpdateTBitmapPalette();
  Full = temp.Full;
  IsAlphaChannel = temp.IsAlphaChannel;
  AlphaChannel = std::move(temp.AlphaChannel);
}

void TIEBitmap::SetBitAlignment(Integer Bits) {
  if (Bits == BitAlignment) return;
  ForceReallocation = true;
  if (Location != ieMemory) {
    // File rows are not repacked; the next allocation uses the new value. Framework bitmap
    // rows are always 32-bit aligned, so the value is not taken there while they exist.
    if (Location != ieTBitmap || IsEmpty()) BitAlignment = Bits;
    return;
  }
  TIEBitmap temp;
  MoveImageTo(&temp);
  BitAlignment = Bits;
  DitherMethod = temp.DitherMethod;
  Allocator = temp.Allocator;
  if (temp.IsEmpty()) {
    PixelFormat = temp.PixelFormat;
    return;
  }
  if (!Allocate(temp.Width, temp.Height, temp.PixelFormat)) return;
  CopyRowsFrom(&temp);
  if (temp.Palette && Palette) {
    std::memcpy(Palette.get(), temp.Palette.get(), sizeof(TRGB) * static_cast<size_t>(IEMin(PaletteLength, temp.PaletteLength)));
  }
  if (temp.AlphaChannel) GetAlphaChannel()->Assign(temp.AlphaChannel.get());
}
