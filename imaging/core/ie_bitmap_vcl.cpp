// The framework-bitmap store of the image buffer: rows that live in a TBitmap (own or wrapped),
// so that the canvas can draw on them directly. The buffer's other units call it only through
// the calls installed below (ie_bitmap_stores.h), so only programs that draw link it.
#include <cstring>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_bitmap_stores.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_pixel_format.h"
#include "platform/gui/graphics.h"

namespace {

TPixelFormat VclFormatOf(TIEPixelFormat Format) {
  switch (Format) {
    case ie1g: return pf1bit;
    case ie8p:
    case ie8g: return pf8bit;
    case ie24RGB: return pf24bit;
    case ie32RGB: return pf32bit;
    default: return pfCustom;
  }
}

void SetGrayColorTable(TBitmap* Bitmap) {
  std::vector<TColor> table(256);
  for (int i = 0; i < 256; ++i) table[static_cast<size_t>(i)] = RGB(Byte(i), Byte(i), Byte(i));
  Bitmap->SetColorTable(table);
}

bool IsGrayColorTable(const std::vector<TColor>& Table) {
  if (Table.size() != 256) return false;
  for (size_t i = 0; i < 256; ++i)
    if (Table[i] != RGB(Byte(i), Byte(i), Byte(i))) return false;
  return true;
}

// The nearest format the framework bitmap holds, for a format it does not.
TIEPixelFormat HeldFormatFor(TIEPixelFormat Format) {
  switch (Format) {
    case ie16g:
    case ie32f: return ie8g;
    case ieCMYK:
    case ieRGB48:
    case ieCIELab: return ie24RGB;
    default: return Format;
  }
}

// Marks the framework bitmap's changes made from here as our own: the fields are being set by
// the operation itself, and reading them back half-way would undo it.
class TOwnChange {
 public:
  explicit TOwnChange(bool& Flag) : FFlag(Flag), FOld(Flag) { FFlag = true; }
  ~TOwnChange() { FFlag = FOld; }

 private:
  bool& FFlag;
  bool FOld;
};

}  // namespace

void TIEBitmap::WatchVclBitmap() {
  if (!VclBitmap) return;
  VclBitmap->OnChange = [this](TObject* Sender) {
    if (!FVclSyncing) SyncFromTBitmap();
    if (VclSavedOnChange) VclSavedOnChange(Sender);
  };
}

void TIEBitmap::AdoptNewVclBitmap() {
  ReleaseVclBitmap();
  VclBitmap = TIEVclBitmapPtr(new TBitmap, TIEVclBitmapDeleter{true});
  WatchVclBitmap();
}

void TIEBitmap::ReleaseVclBitmap() {
  // A caller's bitmap gets its own handler back; ours goes with it.
  if (VclBitmap) VclBitmap->OnChange = VclBitmap.get_deleter().Owned ? TNotifyEvent() : VclSavedOnChange;
  VclBitmap.reset();
  VclSavedOnChange = nullptr;
}

bool TIEBitmap::AllocateVclImage() {
  TOwnChange own(FVclSyncing);
  Int64 size = Int64(RowLen) * Height;
  Int64 total = IEGetMemory(false);
  if (total > 0 && size > total) return false;
  if (!VclBitmap) AdoptNewVclBitmap();
  try {
    VclBitmap->SetSize(1, 1);
    VclBitmap->SetPixelFormat(pfDevice);
    if (PixelFormat == ie16g) SetFormatFields(ie8g);
    if (!IETBitmapStoreHolds(PixelFormat)) throw EInvalidGraphicOperation(IEStoreRefusal(ieTBitmap, PixelFormat));
    VclBitmap->SetPixelFormat(VclFormatOf(PixelFormat));
    VclBitmap->SetSize(Width, Height);
    if (PixelFormat == ie8g) SetGrayColorTable(VclBitmap.get());
    RowLen = VclBitmap->BytesPerScanline();
    BuildTBitmapScanlines();
  } catch (...) {
    if (!WrapsTBitmap) ReleaseVclBitmap();
    VclRowTable.clear();
    return false;
  }
  UpdateTBitmapPalette();
  return true;
}

void TIEBitmap::BuildTBitmapScanlines() {
  VclRowTable.clear();
  if (!VclBitmap) return;
  Integer h = VclBitmap->Height();
  VclRowTable.resize(static_cast<size_t>(h));
  for (Integer r = 0; r < h; ++r) VclRowTable[static_cast<size_t>(r)] = static_cast<Byte*>(VclBitmap->ScanLine(r));
}

void TIEBitmap::FreeTBitmapScanlines() { VclRowTable.clear(); }

void TIEBitmap::AbandonTBitmap() {
  if (VclBitmap && !VclBitmap.get_deleter().Owned) {
    (void)VclBitmap.release();
    VclSavedOnChange = nullptr;
    VclRowTable.clear();
  }
  FreeImage(true);
  Location = ieFile;
}

void TIEBitmap::SyncFromTBitmap() {
  if (!VclBitmap) return;
  TOwnChange own(FVclSyncing);
  // Rows of other layouts (15-, 16-bit, device formats) cannot be described by any pixel format
  // here; they are turned into 24-bit rows so that the fields always tell the truth.
  TPixelFormat vf = VclBitmap->PixelFormat();
  if (vf != pf1bit && vf != pf8bit && vf != pf24bit && vf != pf32bit) {
    VclBitmap->SetPixelFormat(pf24bit);
    vf = pf24bit;
  }
  TIEPixelFormat mapped;
  if (vf == pf1bit) mapped = ie1g;
  else if (vf == pf8bit) mapped = (IsAlphaChannel || IsGrayColorTable(VclBitmap->ColorTable())) ? ie8g : ie8p;
  else if (vf == pf32bit) mapped = ie32RGB;
  else mapped = ie24RGB;
  const Integer w = VclBitmap->Width(), h = VclBitmap->Height();
  if (w != Width || h != Height || mapped != PixelFormat) {
    Width = w;
    Height = h;
    PixelFormat = mapped;
    BitCount = IEPixelFormatBits[mapped];
    ChannelCount = IEPixelFormatChannels[mapped];
    RowLen = VclBitmap->BytesPerScanline();
    if (AlphaChannel && (AlphaChannel->Width != w || AlphaChannel->Height != h)) {
      AlphaChannel->Allocate(w, h, ie8g);
      AlphaChannel->Fill(255);
    }
    BuildTBitmapScanlines();
  }
  if (Height > 0 && !VclRowTable.empty() && VclBitmap->ScanLine(0) != VclRowTable[0]) BuildTBitmapScanlines();
  if (PixelFormat == ie8p) {
    if (!Palette) Palette = std::make_unique<TRGB[]>(256);
    PaletteLength = 256;
    std::vector<TColor> table = VclBitmap->ColorTable();
    for (size_t i = 0; i < table.size() && i < 256; ++i)
      Palette[i] = IECreateRGB(GetRValue(table[i]), GetGValue(table[i]), GetBValue(table[i]));
  }
}

TBitmap* TIEBitmap::GetVclBitmap() {
  SetLocation(ieTBitmap);
  return Location == ieTBitmap ? VclBitmap.get() : nullptr;
}

TCanvas* TIEBitmap::GetCanvas() {
  if (Location == ieMemory || Location == ieFile) SetLocation(ieTBitmap);
  return (Location == ieTBitmap && VclBitmap) ? VclBitmap->Canvas() : nullptr;
}

void TIEBitmap::EncapsulateTBitmap(TBitmap* Bitmap, bool FreeOld) {
  if (FreeOld) FreeImage(true);
  if (!Bitmap) return;
  TOwnChange own(FVclSyncing);
  if (VclBitmap.get() != Bitmap) {
    ReleaseVclBitmap();
    VclSavedOnChange = Bitmap->OnChange;
    VclBitmap = TIEVclBitmapPtr(Bitmap, TIEVclBitmapDeleter{false});
  } else if (VclBitmap.get_deleter().Owned) {
    // Our own bitmap handed in as the caller's: from now on the caller frees it.
    VclBitmap.get_deleter().Owned = false;
  }
  Width = Bitmap->Width();
  Height = Bitmap->Height();
  switch (Bitmap->PixelFormat()) {
    case pf1bit: PixelFormat = ie1g; break;
    case pf24bit: PixelFormat = ie24RGB; break;
    case pf32bit: PixelFormat = ie32RGB; break;
    default: break;
  }
  BitCount = IEIsValidPixelFormat(PixelFormat) ? IEPixelFormatBits[PixelFormat] : 0;
  ChannelCount = IEIsValidPixelFormat(PixelFormat) ? IEPixelFormatChannels[PixelFormat] : 0;
  RowLen = Bitmap->BytesPerScanline();
  Location = ieTBitmap;
  WrapsTBitmap = true;
  BuildTBitmapScanlines();
  WatchVclBitmap();
  // A pf8bit bitmap is ie8g or ie8p by its colour table; the next change is read by the watch.
  SyncFromTBitmap();
}

void TIEBitmap::CopyFromTBitmap(TBitmap* Bitmap) {
  if (!Bitmap) return;
  const Integer w = Bitmap->Width(), h = Bitmap->Height();
  if (Location == ieTBitmap) {
    TOwnChange own(FVclSyncing);
    try {
      if (!VclBitmap) AdoptNewVclBitmap();
      TPixelFormat pf = Bitmap->PixelFormat();
      if (pf != pf1bit && pf != pf24bit && pf != pf32bit) {
        Bitmap->SetPixelFormat(pf24bit);
        pf = pf24bit;
      }
      if (VclBitmap.get() != Bitmap) {
        VclBitmap->SetPixelFormat(pf);
        VclBitmap->SetSize(w, h);
        if (pf == pf1bit) VclBitmap->SetColorTable(Bitmap->ColorTable());
        size_t bytes = static_cast<size_t>(Bitmap->BytesPerScanline());
        for (Integer r = 0; r < h; ++r) std::memcpy(VclBitmap->ScanLine(r), Bitmap->ScanLine(r), bytes);
      }
      Width = VclBitmap->Width();
      Height = VclBitmap->Height();
      SetFormatFields(pf == pf1bit ? ie1g : (pf == pf24bit ? ie24RGB : ie32RGB));
      RowLen = VclBitmap->BytesPerScanline();
      BuildTBitmapScanlines();
    } catch (const Exception&) {
      // A bitmap too large to copy leaves this one as it was.
    }
    return;
  }

  const TPixelFormat pf = Bitmap->PixelFormat();
  const std::vector<TColor> table = Bitmap->ColorTable();
  auto toRGB = [](TColor c) { return IECreateRGB(GetRValue(c), GetGValue(c), GetBValue(c)); };
  TIEPixelFormat format;
  switch (pf) {
    case pf1bit: {
      bool mono = table.size() < 2 || (table[0] == clBlack && table[1] == clWhite);
      format = mono ? ie1g : ie8p;
      break;
    }
    case pf4bit:
    case pf8bit: format = ie8p; break;
    case pf15bit:
    case pf16bit:
    case pf24bit: format = ie24RGB; break;
    case pf32bit: format = ie32RGB; break;
    default: return;
  }
  if (!Allocate(w, h, format)) return;
  if (format == ie8p)
    for (size_t i = 0; i < table.size() && i < 256; ++i) Palette[i] = toRGB(table[i]);
  const size_t bytes = static_cast<size_t>(IEMin(RowLen, Bitmap->BytesPerScanline()));
  TIEDataAccess saved = Access;
  Access = iedWrite;
  for (Integer r = 0; r < h; ++r) {
    const Byte* s = static_cast<const Byte*>(Bitmap->ScanLine(r));
    Byte* d = static_cast<Byte*>(GetScanline(r));
    if (!d) continue;
    switch (pf) {
      case pf1bit:
        if (format == ie1g) std::memcpy(d, s, bytes);
        else
          for (Integer x = 0; x < w; ++x) d[x] = static_cast<Byte>((s[x >> 3] >> (7 - (x & 7))) & 1);
        break;
      case pf4bit:  // the platform keeps one index byte per pixel
      case pf8bit:
      case pf24bit:
      case pf32bit: std::memcpy(d, s, bytes); break;
      case pf15bit:
      case pf16bit:
        for (Integer x = 0; x < w; ++x) {
          Word v;
          std::memcpy(&v, s + 2 * x, 2);
          TRGB& p = reinterpret_cast<TRGB*>(d)[x];
          if (pf == pf15bit) {
            p.r = static_cast<Byte>(((v >> 10) & 31) << 3);
            p.g = static_cast<Byte>(((v >> 5) & 31) << 3);
          } else {
            p.r = static_cast<Byte>((v >> 11) << 3);
            p.g = static_cast<Byte>(((v >> 5) & 63) << 2);
          }
          p.b = static_cast<Byte>((v & 31) << 3);
        }
        break;
      default: break;
    }
  }
  Access = saved;
  UnmapAllRows();
  Full = false;
}

// Makes the framework bitmap hold a copy of Source's image (pixels, format, palette); a format
// the framework bitmap cannot hold is converted to the nearest one it holds first.
bool TIEBitmap::CopyFromTIEBitmapIntoVcl(TIEBitmap* Source) {
  TIEBitmap converted;
  if (!IETBitmapStoreHolds(Source->GetPixelFormat())) {
    converted.Location = ieMemory;
    converted.DitherMethod = DitherMethod;
    if (!converted.Allocate(Source->GetWidth(), Source->GetHeight(), Source->GetPixelFormat())) return false;
    converted.CopyRowsFrom(Source);
    converted.ConvertPixelFormat(HeldFormatFor(Source->GetPixelFormat()));
    if (converted.IsEmpty()) return false;
    Source = &converted;
  }
  TOwnChange own(FVclSyncing);
  try {
    if (!VclBitmap) AdoptNewVclBitmap();
    VclBitmap->SetSize(1, 1);
    VclBitmap->SetPixelFormat(VclFormatOf(Source->PixelFormat));
    VclBitmap->SetSize(Source->Width, Source->Height);
    if (Source->PixelFormat == ie8g) SetGrayColorTable(VclBitmap.get());
  } catch (const Exception&) {
    return false;
  }
  Width = Source->Width;
  Height = Source->Height;
  SetFormatFields(Source->PixelFormat);
  RowLen = VclBitmap->BytesPerScanline();
  BuildTBitmapScanlines();
  CopyRowsFrom(Source);
  if (Source == &converted) converted.CopyPaletteTo(this);
  return true;
}

void TIEBitmap::ConvertVclPixelFormat(TIEPixelFormat Value) {
  TOwnChange own(FVclSyncing);
  if (!VclBitmap || VclBitmap->Width() == 0 || VclBitmap->Height() == 0) {
    if (VclBitmap && Value == ie1g) VclBitmap->SetPixelFormat(pf1bit);
    if (VclBitmap && Value == ie24RGB) VclBitmap->SetPixelFormat(pf24bit);
    SetFormatFields(Value);
    BuildTBitmapScanlines();
    return;
  }
  SyncFromTBitmap();
  if (Value == PixelFormat) return;
  // The pixels are converted in memory and written back, so the fields never describe rows of
  // another format (a wrapped bitmap stays the caller's and receives the result).
  TIEBitmap work;
  work.Location = ieMemory;
  work.DitherMethod = DitherMethod;
  work.PaletteColors = PaletteColors;
  if (!work.Allocate(Width, Height, PixelFormat)) return;
  work.CopyRowsFrom(this);
  CopyPaletteTo(&work);
  work.ConvertPixelFormat(Value);
  if (work.IsEmpty()) return;
  if (IETBitmapStoreHolds(Value)) {
    CopyFromTIEBitmapIntoVcl(&work);
    work.CopyPaletteTo(this);
    return;
  }
  // The framework bitmap cannot hold the new format: the image leaves it for memory.
  std::unique_ptr<TIEBitmap> alpha = std::move(AlphaChannel);
  FreeImage(true);
  work.MoveImageTo(this);
  AlphaChannel = std::move(alpha);
}

void TIEBitmap::SetVclWidthHeight(Integer NewWidth, Integer NewHeight) {
  TOwnChange own(FVclSyncing);
  try {
    if (!VclBitmap) AdoptNewVclBitmap();
    VclBitmap->SetSize(NewWidth, NewHeight);
  } catch (const Exception&) {
    return;
  }
  Width = VclBitmap->Width();
  Height = VclBitmap->Height();
  RowLen = VclBitmap->BytesPerScanline();
  BuildTBitmapScanlines();
}

void TIEBitmap::RenderToTBitmap(TBitmap* Bitmap, TIERenderTables* Tables, const TRect* Clip, Integer DestX,
                                Integer DestY, Integer DestWidth, Integer DestHeight, Integer SrcX, Integer SrcY,
                                Integer SrcWidth, Integer SrcHeight, bool UseAlpha, bool RepeatRows,
                                Integer Transparency, TResampleFilter Filter, bool FreeTables, TIEBlendOp Operation) {
  if (!Bitmap || Bitmap->PixelFormat() != pf24bit) return;
  TIEBitmap wrapper;
  wrapper.EncapsulateTBitmap(Bitmap, false);
  RenderToTIEBitmap(&wrapper, Tables, Clip, DestX, DestY, DestWidth, DestHeight, SrcX, SrcY, SrcWidth, SrcHeight,
                    UseAlpha, RepeatRows, Transparency, Filter, FreeTables, Operation);
}

void TIEBitmap::DrawToTBitmap(TBitmap* Bitmap, Integer DestX, Integer DestY, Integer DestWidth, Integer DestHeight,
                              Integer SrcX, Integer SrcY, Integer SrcWidth, Integer SrcHeight, Integer Transparency,
                              TResampleFilter Filter, TIEBlendOp Operation) {
  RenderToTBitmap(Bitmap, nullptr, nullptr, DestX, DestY, DestWidth, DestHeight, SrcX, SrcY, SrcWidth, SrcHeight, true,
                  false, Transparency, Filter, true, Operation);
}

// The store's side of the calls the rest of the buffer makes (ie_bitmap_stores.h).
class TIEBitmapTBitmapStore {
 public:
  static void UpdatePalette(TIEBitmap& B) {
    if (!B.Palette || !B.VclBitmap || B.VclBitmap->PixelFormat() != pf8bit) return;
    TOwnChange own(B.FVclSyncing);
    std::vector<TColor> table(static_cast<size_t>(IEMin(B.PaletteLength, 256)));
    for (size_t i = 0; i < table.size(); ++i) table[i] = RGB(B.Palette[i].r, B.Palette[i].g, B.Palette[i].b);
    B.VclBitmap->SetColorTable(table);
  }

  static constexpr TIETBitmapStoreCalls Calls = {
      [](TIEBitmap& B) { return B.AllocateVclImage(); },
      [](TIEBitmap& B) { B.ReleaseVclBitmap(); },
      [](TIEBitmap& B) { B.WatchVclBitmap(); },
      &UpdatePalette,
      [](TIEBitmap& B, TIEPixelFormat Format) { B.ConvertVclPixelFormat(Format); },
      [](TIEBitmap& B, TIEBitmap* Source) { return B.CopyFromTIEBitmapIntoVcl(Source); },
      [](TIEBitmap& B, Integer Width, Integer Height) { B.SetVclWidthHeight(Width, Height); },
      [](TIEBitmap& B, TObject* Source) {
        auto* bitmap = dynamic_cast<TBitmap*>(Source);
        if (bitmap) B.CopyFromTBitmap(bitmap);
        return bitmap != nullptr;
      },
      [](TBitmap* Bitmap) { delete Bitmap; },
  };
};

namespace {

// Linking this unit is what makes the store available: installed before main runs.
const bool kTBitmapStoreInstalled = (IEInstallTBitmapStore(&TIEBitmapTBitmapStore::Calls), true);

}  // namespace
