// Copying, filling, geometry, alpha channel and palette of the image buffer.
#include <cmath>
#include <cstring>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_bitmap_stores.h"
#include "imaging/core/ie_bitmap_pixels.h"
#include "imaging/core/ie_dib_bitmap.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_pixel_format.h"

using namespace iebitmap_local;

namespace {

// Trunc of a fill value without undefined behaviour for NaN or huge values.
Int64 TruncFill(double Value) {
  if (std::isnan(Value)) return 0;
  if (Value >= 9.2e18) return INT64_MAX;
  if (Value <= -9.2e18) return INT64_MIN;
  return static_cast<Int64>(Value);
}

bool IsWhite(TRGB c) { return c.r == 255 && c.g == 255 && c.b == 255; }

// Clips a copy of W x H pixels from (SrcX,SrcY) to (DestX,DestY) to both images: a negative
// destination origin shifts the source, the source origin is pulled inside the source, and the
// size shrinks to what both images hold. False when the rectangle starts beyond the destination
// (clamping would otherwise pull it onto the destination's last column or row).
bool ClipCopyRect(Integer srcW, Integer srcH, Integer dstW, Integer dstH, Integer& SrcX, Integer& SrcY,
                  Integer& DestX, Integer& DestY, Integer& W, Integer& H) {
  if (DestX < 0) {
    SrcX -= DestX;
    W += DestX;
    DestX = 0;
  }
  if (DestY < 0) {
    SrcY -= DestY;
    H += DestY;
    DestY = 0;
  }
  if (DestX >= dstW || DestY >= dstH) return false;
  SrcX = IEClamp(SrcX, 0, srcW - 1);
  SrcY = IEClamp(SrcY, 0, srcH - 1);
  W = IEMin(IEMin(W, srcW - SrcX), dstW - DestX);
  H = IEMin(IEMin(H, srcH - SrcY), dstH - DestY);
  return true;
}

}  // namespace

// ---------------------------------------------------------------- whole-image copies

void TIEBitmap::Assign(TObject* Source) {
  ForceReallocation = true;
  if (auto* src = dynamic_cast<TIEBitmap*>(Source)) {
    if (src == this) return;
    if (const TIETBitmapStoreCalls* store = TBitmapStore()) {
      if (src->IsEmpty()) return;
      if (!store->CopyImageFrom(*this, src)) return;
      Full = src->Full;
    } else {
      FreeImage(true);
      Width = src->GetWidth();
      Height = src->GetHeight();
      PixelFormat = src->GetPixelFormat();
      BitAlignment = src->BitAlignment;
      if (!AllocateImage()) {
        Width = Height = 0;
        return;
      }
      if (Location == ieFile && src->Location == ieFile && RowLen == src->RowLen) {
        src->UnmapAllRows();
        UnmapAllRows();
        src->FileBuffer->CopyTo(FileBuffer.get(), Int64(RowLen) * Height, 0);
      } else {
        CopyRowsFrom(src);
      }
      Full = src->Full;
    }
    if (!IsAlphaChannel) {
      if (src->AlphaChannel) {
        GetAlphaChannel()->Assign(src->AlphaChannel.get());
      } else {
        AlphaChannel.reset();
      }
    }
    src->CopyPaletteTo(this);
    DitherMethod = src->DitherMethod;
  } else if (const TIETBitmapStoreCalls* store = IETBitmapStore()) {
    // Only a program that has framework bitmaps links their store.
    store->AssignFrom(*this, Source);
  }
}

void TIEBitmap::AssignImage(TIEBitmap* Source) {
  if (!Source || Source == this || Source->IsEmpty()) return;
  ForceReallocation = true;
  if (const TIETBitmapStoreCalls* store = TBitmapStore()) {
    if (!store->CopyImageFrom(*this, Source)) return;
    Full = false;
  } else {
    FreeImage(false);
    Width = Source->GetWidth();
    Height = Source->GetHeight();
    PixelFormat = Source->GetPixelFormat();
    Full = false;
    if (!AllocateImage()) {
      Width = Height = 0;
      return;
    }
    CopyRowsFrom(Source);
  }
  // The kept alpha channel must keep matching the image, or its rows would be read past
  // their end.
  if (AlphaChannel && (AlphaChannel->Width != Width || AlphaChannel->Height != Height))
    AlphaChannel->Resize(Width, Height, 255, 255, 0, 0);
  Source->CopyPaletteTo(this);
}

void TIEBitmap::CopyFromTIEDibbitmap(TIEDibbitmap* Dib) {
  if (!Dib || !Dib->GetBits()) return;
  TIEPixelFormat format;
  switch (Dib->GetBitCount()) {
    case 1: format = ie1g; break;
    case 8: format = ie8g; break;
    case 24: format = ie24RGB; break;
    default: return;
  }
  if (!Allocate(Dib->GetWidth(), Dib->GetHeight(), format)) return;
  size_t bytes = static_cast<size_t>(IEMin(RowLen, Dib->GetRowLen()));
  for (Integer r = 0; r < Height; ++r) {
    void* d = GetScanline(r);
    if (d) std::memcpy(d, Dib->GetScanline(r), bytes);
  }
  UnmapAllRows();
}

// ---------------------------------------------------------------- rectangles

void TIEBitmap::CopyRectTo(TIEBitmap* Dest, Integer SrcX, Integer SrcY, Integer DestX, Integer DestY, Integer W,
                           Integer H) {
  if (!Dest) return;
  const Integer srcW = GetWidth(), srcH = GetHeight(), dstW = Dest->GetWidth(), dstH = Dest->GetHeight();
  if (srcW < 1 || srcH < 1 || dstW < 1 || dstH < 1) return;
  if (!ClipCopyRect(srcW, srcH, dstW, dstH, SrcX, SrcY, DestX, DestY, W, H)) return;
  if (W <= 0 || H <= 0) return;

  const TIEPixelFormat sf = GetPixelFormat(), df = Dest->GetPixelFormat();
  const bool bits = sf == ie1g && df == ie1g;
  const bool expand = sf == ie1g && df == ie24RGB;
  const Integer bpp = sf == df ? IEBytesPerPixel(sf) : 0;
  if (!bits && !expand && bpp == 0) return;

  for (Integer i = 0; i < H; ++i) {
    const Byte* s = static_cast<const Byte*>(LockScanline(SrcY + i));
    Byte* d = static_cast<Byte*>(Dest->GetScanline(DestY + i));
    if (s && d) {
      if (bits) {
        IECopyBitRun(d, s, DestX, SrcX, W, RowLen);
      } else if (expand) {
        TRGB* p = reinterpret_cast<TRGB*>(d) + DestX;
        for (Integer x = 0; x < W; ++x) {
          Byte v = IEGetBit(s, SrcX + x) ? 255 : 0;
          p[x] = TRGB{v, v, v};
        }
      } else {
        std::memmove(d + static_cast<ptrdiff_t>(DestX) * bpp, s + static_cast<ptrdiff_t>(SrcX) * bpp,
                     static_cast<size_t>(W) * static_cast<size_t>(bpp));
      }
    }
    UnlockScanline(SrcY + i);
  }
  Dest->UnmapAllRows();
}

void TIEBitmap::MergeAlphaRectTo(TIEBitmap* Dest, Integer SrcX, Integer SrcY, Integer DestX, Integer DestY, Integer W,
                                 Integer H) {
  if (!Dest) return;
  TIEBitmap* sa = IsAlphaChannel ? this : GetAlphaChannel();
  TIEBitmap* da = Dest->IsAlphaChannel ? Dest : Dest->GetAlphaChannel();
  if (!sa || !da || sa->PixelFormat != ie8g || da->PixelFormat != ie8g) return;
  const Integer srcW = sa->Width, srcH = sa->Height, dstW = da->Width, dstH = da->Height;
  if (srcW < 1 || srcH < 1 || dstW < 1 || dstH < 1) return;
  if (!ClipCopyRect(srcW, srcH, dstW, dstH, SrcX, SrcY, DestX, DestY, W, H)) return;
  bool full = true;
  for (Integer i = 0; i < H && W > 0; ++i) {
    const Byte* s = static_cast<const Byte*>(sa->LockScanline(SrcY + i));
    Byte* d = static_cast<Byte*>(da->GetScanline(DestY + i));
    if (s && d)
      for (Integer x = 0; x < W; ++x) {
        Byte v = IEMax(s[SrcX + x], d[DestX + x]);
        d[DestX + x] = v;
        if (v != 255) full = false;
      }
    sa->UnlockScanline(SrcY + i);
  }
  if (!full) da->Full = false;
  da->UnmapAllRows();
}

// ---------------------------------------------------------------- filling

// Writes Value into the pixels X1..X2 of one row (all of them when WholeRow) by the fill rules.
void TIEBitmap::FillRow(Byte* d, double Value, bool WholeRow, Integer X1, Integer X2) {
  const Int64 v = TruncFill(Value);
  const TRGB color = IETColorToTRGB(static_cast<TColor>(v));
  if (WholeRow) {
    X1 = 0;
    X2 = Width - 1;
  }
  switch (PixelFormat) {
    case ie1g:
      if (WholeRow) std::memset(d, v != 0 ? 255 : 0, static_cast<size_t>(RowLen));
      else
        for (Integer x = X1; x <= X2; ++x) IESetBit(d, x, v != 0);
      break;
    case ie8p:
    case ie8g:
      if (WholeRow) std::memset(d, static_cast<Byte>(v), static_cast<size_t>(RowLen));
      else std::memset(d + X1, static_cast<Byte>(v), static_cast<size_t>(X2 - X1 + 1));
      break;
    case ie16g: {
      Word w = static_cast<Word>(v);
      for (Integer x = X1; x <= X2; ++x) std::memcpy(d + 2 * x, &w, 2);
      break;
    }
    case ie24RGB:
      // Greys (black and white above all) are one byte over and over.
      if (color.r == color.g && color.g == color.b) {
        if (X2 >= X1) std::memset(d + size_t(X1) * 3, color.r, size_t(X2 - X1 + 1) * 3);
      } else {
        for (Integer x = X1; x <= X2; ++x) reinterpret_cast<TRGB*>(d)[x] = color;
      }
      break;
    case ie32f: {
      // A whole-image fill stores the value itself; a rectangle stores its whole part.
      float f = WholeRow ? static_cast<float>(Value) : static_cast<float>(v);
      for (Integer x = X1; x <= X2; ++x) std::memcpy(d + 4 * x, &f, 4);
      break;
    }
    case ieCMYK: {
      DWORD c = IERGB2CMYK(DWORD(color.r) << 16 | DWORD(color.g) << 8 | color.b);
      for (Integer x = X1; x <= X2; ++x) std::memcpy(d + 4 * x, &c, 4);
      break;
    }
    case ieRGB48: {
      Word w[3] = {Word(color.r * 257), Word(color.g * 257), Word(color.b * 257)};
      for (Integer x = X1; x <= X2; ++x) std::memcpy(d + 6 * x, w, 6);
      break;
    }
    case ieCIELab: {
      TCIELab lab = IERGBToCIELab(color);
      for (Integer x = X1; x <= X2; ++x) std::memcpy(d + 3 * x, &lab, 3);
      break;
    }
    case ie32RGB:
      for (Integer x = X1; x <= X2; ++x) {
        d[4 * x] = color.b;
        d[4 * x + 1] = color.g;
        d[4 * x + 2] = color.r;
      }
      break;
    default: break;
  }
}

void TIEBitmap::Fill(double Value) {
  if (PixelFormat == ieNull || IsEmpty()) return;
  TIEDataAccess saved = Access;
  // ie32RGB keeps each pixel's fourth byte, so its file rows must be read as well.
  Access = PixelFormat == ie32RGB ? (iedRead | iedWrite) : iedWrite;
  for (Integer y = 0; y < Height; ++y) {
    Byte* d = static_cast<Byte*>(GetScanline(y));
    if (d) FillRow(d, Value, true, 0, 0);
  }
  UnmapAllRows();
  Access = saved;
  const Int64 v = TruncFill(Value);
  switch (PixelFormat) {
    case ie1g: Full = v != 0; break;
    case ie8p:
    case ie8g: Full = v == 255; break;
    case ie16g: Full = v == 65535; break;
    case ie32f: Full = Value == 1.0; break;
    default: Full = IsWhite(IETColorToTRGB(static_cast<TColor>(v))); break;
  }
}

void TIEBitmap::FillRect(Integer X1, Integer Y1, Integer X2, Integer Y2, double Value) {
  X1 = IEMax(X1, 0);
  Y1 = IEMax(Y1, 0);
  X2 = IEMin(X2, Width - 1);
  Y2 = IEMin(Y2, Height - 1);
  if (X1 > X2 || Y1 > Y2 || PixelFormat == ieNull) return;
  for (Integer y = Y1; y <= Y2; ++y) {
    Byte* d = static_cast<Byte*>(GetScanline(y));
    if (d) FillRow(d, Value, false, X1, X2);
  }
  UnmapAllRows();
}

// ---------------------------------------------------------------- geometry

void TIEBitmap::ResizeStore(Integer NewWidth, Integer NewHeight) {
  if (AlphaChannel) AlphaChannel->ResizeStore(NewWidth, NewHeight);
  if (const TIETBitmapStoreCalls* store = TBitmapStore()) {
    store->SetSize(*this, NewWidth, NewHeight);
    return;
  }
  if (PixelFormat == ieNull || IsEmpty()) {
    Width = NewWidth;
    Height = NewHeight;
    return;
  }
  TIEBitmap temp;
  MoveImageTo(&temp);
  if (!Allocate(NewWidth, NewHeight, temp.PixelFormat)) return;
  CopyRowsFrom(&temp);
  // The palette belongs to the pixels kept; a fresh allocation would leave it undefined.
  if (temp.Palette && Palette)
    std::memcpy(Palette.get(), temp.Palette.get(), sizeof(TRGB) * static_cast<size_t>(IEMin(PaletteLength, temp.PaletteLength)));
  IsAlphaChannel = temp.IsAlphaChannel;
  AlphaChannel = std::move(temp.AlphaChannel);
  Full = false;
}

void TIEBitmap::SetWidth(Integer Value) {
  if (Value != Width) ResizeStore(Value, Height);
}

void TIEBitmap::SetHeight(Integer Value) {
  if (Value != Height) ResizeStore(Width, Value);
}

void TIEBitmap::Resize(Integer NewWidth, Integer NewHeight, double FillValue, Integer AlphaFill, Byte HAlign, Byte VAlign) {
  const Integer oldW = Width, oldH = Height;
  AlignBeforeShrink(NewWidth, NewHeight, FillValue, HAlign, VAlign);
  if (AlphaChannel) AlphaChannel->AlignBeforeShrink(NewWidth, NewHeight, AlphaFill, HAlign, VAlign);
  SetWidth(NewWidth);
  SetHeight(NewHeight);
  AlignAfterGrow(oldW, oldH, FillValue, HAlign, VAlign);
  if (AlphaChannel) AlphaChannel->AlignAfterGrow(oldW, oldH, AlphaFill, HAlign, VAlign);
}

void TIEBitmap::AlignBeforeShrink(Integer NewWidth, Integer NewHeight, double FillValue, Byte HAlign, Byte VAlign) {
  const Integer w = Width, h = Height;
  if (NewWidth < w) {
    Integer d = (w - NewWidth) / 2;
    if (HAlign == 1) MoveRegion(d, 0, NewWidth + d - 1, h - 1, 0, 0, FillValue);
    else if (HAlign == 2) MoveRegion(w - NewWidth, 0, w - 1, h - 1, 0, 0, FillValue);
  }
  if (NewHeight < h) {
    Integer d = (h - NewHeight) / 2;
    if (VAlign == 1) MoveRegion(0, d, w - 1, NewHeight + d - 1, 0, 0, FillValue);
    else if (VAlign == 2) MoveRegion(0, h - NewHeight, w - 1, h - 1, 0, 0, FillValue);
  }
}

void TIEBitmap::AlignAfterGrow(Integer OldWidth, Integer OldHeight, double FillValue, Byte HAlign, Byte VAlign) {
  const Integer w = Width, h = Height;
  if (OldWidth < w) {
    FillRect(OldWidth, 0, w - 1, h - 1, FillValue);
    if (HAlign == 1) MoveRegion(0, 0, OldWidth - 1, OldHeight - 1, (w - OldWidth) / 2, 0, FillValue);
    else if (HAlign == 2) MoveRegion(0, 0, OldWidth - 1, OldHeight - 1, w - OldWidth, 0, FillValue);
  }
  if (OldHeight < h) {
    FillRect(0, OldHeight, w - 1, h - 1, FillValue);
    if (VAlign == 1) MoveRegion(0, 0, w - 1, OldHeight - 1, 0, (h - OldHeight) / 2, FillValue);
    else if (VAlign == 2) MoveRegion(0, 0, w - 1, OldHeight - 1, 0, h - OldHeight, FillValue);
  }
}

void TIEBitmap::MoveRegion(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer DestX, Integer DestY, double FillValue) {
  if (X2 < X1 || Y2 < Y1) return;
  TIEBitmap temp;
  temp.Location = ieMemory;
  if (!temp.Allocate(X2 - X1 + 1, Y2 - Y1 + 1, GetPixelFormat())) return;
  CopyRectTo(&temp, X1, Y1, 0, 0, temp.Width, temp.Height);
  FillRect(X1, Y1, X2, Y2, FillValue);
  temp.CopyRectTo(this, 0, 0, DestX, DestY, temp.Width, temp.Height);
}

// ---------------------------------------------------------------- alpha channel

TIEBitmap* TIEBitmap::GetAlphaChannel() {
  if (IsAlphaChannel) return nullptr;
  if (!AlphaChannel) AlphaChannel.reset(CreateAsAlphaChannel(GetWidth(), GetHeight(), Location));
  return AlphaChannel.get();
}

void TIEBitmap::AttachAlphaChannel(TIEBitmap* Alpha) {
  // The bitmap owns what it is given.
  if (Alpha != AlphaChannel.get()) AlphaChannel.reset(Alpha);
  if (Alpha) Alpha->IsAlphaChannel = true;
}

void TIEBitmap::RemoveAlphaChannel(bool Merge, TColor Background) {
  if (IsAlphaChannel || !AlphaChannel) return;
  if (Merge && GetPixelFormat() == ie24RGB && AlphaChannel->Width == Width && AlphaChannel->Height == Height) {
    const TRGB bg = IETColorToTRGB(Background);
    auto mix = [](Byte p, Byte b, Integer a) { return static_cast<Byte>(b + (((Integer(p) - b) * (a << 10)) >> 18)); };
    for (Integer y = 0; y < Height; ++y) {
      const Byte* a = static_cast<const Byte*>(AlphaChannel->LockScanline(y));
      TRGB* p = static_cast<TRGB*>(GetScanline(y));
      if (a && p)
        for (Integer x = 0; x < Width; ++x) {
          // An opaque pixel is the pixel itself; the shift below would scale it by 255/256.
          if (a[x] == 255) continue;
          p[x].r = mix(p[x].r, bg.r, a[x]);
          p[x].g = mix(p[x].g, bg.g, a[x]);
          p[x].b = mix(p[x].b, bg.b, a[x]);
        }
      AlphaChannel->UnlockScanline(y);
    }
    UnmapAllRows();
  }
  AlphaChannel.reset();
}

// ---------------------------------------------------------------- palette

TRGB TIEBitmap::GetPaletteEntry(Integer Index) const {
  if (Palette && Index >= 0 && Index < PaletteLength) return Palette[Index];
  return TRGB{0, 0, 0};
}

void TIEBitmap::SetPaletteEntry(Integer Index, TRGB Value) {
  if (!Palette || Index < 0 || Index >= PaletteLength) return;
  Palette[Index] = Value;
  UpdateTBitmapPalette();
}

Integer TIEBitmap::GetPaletteLength() const { return PaletteLength; }

void TIEBitmap::CopyPaletteTo(TObject* Dest) {
  auto* dst = dynamic_cast<TIEBitmap*>(Dest);
  if (!dst || dst == this) return;
  dst->Palette.reset();
  dst->PaletteLength = 0;
  dst->PaletteColors = 256;
  if (Palette && PaletteLength > 0) {
    dst->Palette = std::make_unique<TRGB[]>(256);
    std::memcpy(dst->Palette.get(), Palette.get(), sizeof(TRGB) * static_cast<size_t>(IEMin(PaletteLength, 256)));
    dst->PaletteLength = PaletteLength;
    dst->PaletteColors = PaletteColors;
  }
  dst->UpdateTBitmapPalette();
}
