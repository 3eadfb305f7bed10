#include "imaging/core/ie_mask.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_bits.h"
#include "imaging/core/ie_blend.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_pixel_format.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/streams.h"

namespace {

void SetBitRun(Byte* Row, Integer From, Integer To, bool Value) {
  // Whole bytes at once in the middle of the run, single bits at its ends.
  Integer x = From;
  for (; x <= To && (x & 7); ++x) IESetBit(Row, x, Value);
  const Integer wholeBytes = (To - x + 1) >> 3;
  if (wholeBytes > 0) {
    std::memset(Row + (x >> 3), Value ? 0xFF : 0, static_cast<size_t>(wholeBytes));
    x += wholeBytes * 8;
  }
  for (; x <= To; ++x) IESetBit(Row, x, Value);
}

struct TEdge {
  Int64 XUpper;
  Integer YUpper, YMax;
  Int64 DX, DY;
  // x on row Y, equal to stepping down from the upper end one row at a time with an error
  // term kept within -DY..DY.
  Int64 XAt(Integer Y) const {
    const Int64 t = Int64(Y) - YUpper;
    const Int64 q = DX / DY, r = DX % DY;
    const Int64 a = 2 * (r < 0 ? -r : r) * t - DY;
    const Int64 corrections = a > 0 ? (a + 2 * DY - 1) / (2 * DY) : 0;
    return XUpper + q * t + (r < 0 ? -corrections : corrections);
  }
};

}  // namespace

void TIEMask::AllocateBits(Integer AWidth, Integer AHeight, Integer ABitsPerPixel) {
  FreeBits();
  if (AWidth < 0 || AHeight < 0) throw Exception("Invalid mask size");
  if (ABitsPerPixel != 1 && ABitsPerPixel != 8) throw Exception("A mask has 1 or 8 bits per pixel");
  const Int64 rowLen = IEBitmapRowLen(AWidth, ABitsPerPixel, 32);
  if (rowLen > std::numeric_limits<Integer>::max() || rowLen * AHeight > (Int64(1) << 40))
    throw EOutOfMemory("Out of memory");
  try {
    Bits.assign(static_cast<size_t>(rowLen) * static_cast<size_t>(AHeight), 0);
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory("Out of memory");
  }
  Width = AWidth;
  Height = AHeight;
  BitsPerPixel = ABitsPerPixel;
  RowLen = static_cast<Integer>(rowLen);
  SetEmptyBox();
  Full = false;
}

void TIEMask::FreeBits() {
  std::vector<Byte>().swap(FBuffer);
  FBufferWidth = FBufferHeight = 0;
  FBufferSourceX.clear();
  FBufferSourceY.clear();
  std::vector<Byte>().swap(Bits);
  Width = Height = BitsPerPixel = RowLen = 0;
}

void TIEMask::Resize(Integer NewWidth, Integer NewHeight) {
  if (NewWidth < 0 || NewHeight < 0) throw Exception("Invalid mask size");
  if (BitsPerPixel == 0) return;
  TIEMask resized;
  resized.AllocateBits(NewWidth, NewHeight, BitsPerPixel);
  // A mask without columns has no rows in memory to copy (and no row pointer to hand memcpy).
  const size_t copy = static_cast<size_t>(IEMin(RowLen, resized.RowLen));
  if (copy > 0)
    for (Integer y = 0; y < IEMin(Height, NewHeight); ++y) std::memcpy(resized.GetScanline(y), GetScanline(y), copy);
  Bits.swap(resized.Bits);
  Width = NewWidth;
  Height = NewHeight;
  RowLen = resized.RowLen;
  FBufferWidth = FBufferHeight = 0;
  if (!IsEmpty()) {
    X1 = IEMin(X1, NewWidth - 1);
    X2 = IEMin(X2, NewWidth - 1);
    Y1 = IEMin(Y1, NewHeight - 1);
    Y2 = IEMin(Y2, NewHeight - 1);
  }
}

Integer TIEMask::GetPixel(Integer X, Integer Y) const {
  if (X < 0 || Y < 0 || X >= Width || Y >= Height || BitsPerPixel == 0) return 0;
  const Byte* row = Bits.data() + static_cast<size_t>(Height - 1 - Y) * RowLen;
  return BitsPerPixel == 1 ? IEGetBit(row, X) : row[X];
}

void TIEMask::GrowRectToPixel(Integer X, Integer Y) {
  X1 = IEMin(X1, X);
  X2 = IEMax(X2, X);
  Y1 = IEMin(Y1, Y);
  Y2 = IEMax(Y2, Y);
  ClipBoxToMask();
}

void TIEMask::ClipBoxToMask() {
  X1 = IEMax(X1, 0);
  Y1 = IEMax(Y1, 0);
  X2 = IEMin(X2, Width - 1);
  Y2 = IEMin(Y2, Height - 1);
}

void TIEMask::SetPixel(Integer X, Integer Y, Integer Value) {
  if (X < 0 || Y < 0 || X >= Width || Y >= Height || BitsPerPixel == 0) return;
  if (Value != 0) GrowRectToPixel(X, Y);
  if (Full) Full = BitsPerPixel == 8 ? Value == 255 : Value != 0;
  Byte* row = GetScanline(Y);
  if (BitsPerPixel == 1)
    IESetBit(row, X, Value != 0);
  else
    row[X] = static_cast<Byte>(Value);
}

Integer TIEMask::FillSpan(Integer Value, Integer SpanX1, Integer SpanX2, Integer Y) {
  // A row outside the mask writes nothing: moving it to the edge row would select pixels the
  // caller never asked for.
  if (Y < 0 || Y >= Height || BitsPerPixel == 0) return 0;
  SpanX1 = IEMax(SpanX1, 0);
  SpanX2 = IEMin(SpanX2, Width - 1);
  if (SpanX2 < SpanX1) return 0;
  // Any non-zero value selects a 1-bit pixel, as SetPixel and the box rules have it.
  if (Full) Full = BitsPerPixel == 8 ? Value == 255 : Value != 0;
  Byte* row = GetScanline(Y);
  if (BitsPerPixel == 1)
    SetBitRun(row, SpanX1, SpanX2, Value != 0);
  else
    std::memset(row + SpanX1, static_cast<Byte>(Value), static_cast<size_t>(SpanX2 - SpanX1 + 1));
  return SpanX2 - SpanX1 + 1;
}

void TIEMask::Fill(Byte Value) {
  std::fill(Bits.begin(), Bits.end(), Value);
  Full = Value == 255;
}

void TIEMask::Clear() {
  Fill(0);
  SetEmptyBox();
}

void TIEMask::SyncRect() {
  SetEmptyBox();
  for (Integer y = 0; y < Height; ++y) {
    const Byte* row = GetScanline(y);
    Integer first = -1, last = -1;
    if (BitsPerPixel == 8) {
      for (Integer x = 0; x < Width; ++x)
        if (row[x]) { if (first < 0) first = x; last = x; }
    } else {
      for (Integer x = 0; x < Width; ++x) {
        if (!(x & 7) && row[x >> 3] == 0 && x + 8 <= Width) { x += 7; continue; }
        if (IEGetBit(row, x)) { if (first < 0) first = x; last = x; }
      }
    }
    if (first >= 0) {
      GrowRectToPixel(first, y);
      GrowRectToPixel(last, y);
    }
  }
}

void TIEMask::SyncFull() {
  if (BitsPerPixel != 1 && BitsPerPixel != 8) {
    Full = true;
    return;
  }
  for (Integer y = 0; y < Height; ++y) {
    const Byte* row = GetScanline(y);
    if (BitsPerPixel == 8) {
      for (Integer x = 0; x < Width; ++x)
        if (row[x] != 255) { Full = false; return; }
    } else {
      for (Integer i = 0; i < Width / 8; ++i)
        if (row[i] != 0xFF) { Full = false; return; }
      for (Integer x = Width & ~7; x < Width; ++x)
        if (!IEGetBit(row, x)) { Full = false; return; }
    }
  }
  Full = true;
}

void TIEMask::FillPolygon(Integer Value, const TPoint* Points, Integer Count) {
  const Integer savedX1 = X1, savedY1 = Y1, savedX2 = X2, savedY2 = Y2;
  Integer written = 0;
  if (Points && Count > 0) {
    Integer minY = Points[0].Y, maxY = Points[0].Y;
    for (Integer i = 0; i < Count; ++i) {
      minY = IEMin(minY, Points[i].Y);
      maxY = IEMax(maxY, Points[i].Y);
      if (Value != 0) {
        X1 = IEMin(X1, Points[i].X);
        Y1 = IEMin(Y1, Points[i].Y);
        if (Points[i].X > X2) X2 = Points[i].X - 1;
        if (Points[i].Y > Y2) Y2 = Points[i].Y - 1;
      }
    }
    if (Value != 0) ClipBoxToMask();

    std::vector<TEdge> edges;
    for (Integer i = 0; i < Count; ++i) {
      TPoint a = Points[i], b = Points[(i + 1) % Count];
      if (a.Y == b.Y) continue;
      if (a.Y > b.Y) std::swap(a, b);
      edges.push_back(TEdge{a.X, a.Y, b.Y, Int64(b.X) - a.X, Int64(b.Y) - a.Y});
    }
    std::stable_sort(edges.begin(), edges.end(), [](const TEdge& l, const TEdge& r) { return l.YUpper < r.YUpper; });

    // Only rows inside the mask write; rows outside it matter only where an edge joins the
    // active list (its place depends on the others' x there), so the others are skipped.
    std::vector<const TEdge*> active;
    size_t next = 0;
    Integer y = minY;
    const Integer lastVisible = IEMin(maxY, Height - 1);
    while (y <= maxY) {
      active.erase(std::remove_if(active.begin(), active.end(), [y](const TEdge* e) { return e->YMax <= y; }),
                   active.end());
      for (; next < edges.size() && edges[next].YUpper == y; ++next) {
        const TEdge* e = &edges[next];
        auto place = active.begin();
        for (; place != active.end(); ++place) {
          const Int64 x = (*place)->XAt(y);
          if (x > e->XUpper || (x == e->XUpper && (*place)->DX * e->DY >= e->DX * (*place)->DY)) break;
        }
        active.insert(place, e);
      }
      if (y >= 0 && y < Height)
        for (size_t i = 0; i + 1 < active.size(); i += 2) {
          const Int64 left = active[i]->XAt(y), right = active[i + 1]->XAt(y);
          if (right - 1 >= left) {
            const Integer l = static_cast<Integer>(std::clamp<Int64>(left, -1, Width));
            const Integer r = static_cast<Integer>(std::clamp<Int64>(right - 1, -1, Width));
            written += FillSpan(Value, l, r, y);
          }
        }
      // The next row that matters: the following one while inside the mask, else the next
      // row where an edge starts, else the first row of the mask.
      Integer following = y + 1;
      if (following < 0 || following > lastVisible) {
        Integer candidate = maxY + 1;
        if (next < edges.size()) candidate = edges[next].YUpper;
        if (following < 0 && lastVisible >= 0) candidate = IEMin(candidate, 0);
        following = IEMax(following, candidate);
        if (following > maxY) break;
      }
      y = following;
    }
  }
  // A polygon that covers no pixel leaves the box as it was before it.
  if (written == 0) {
    X1 = savedX1;
    Y1 = savedY1;
    X2 = savedX2;
    Y2 = savedY2;
  }
}

void TIEMask::FillPolygons(Integer Value, const TPoint* Points, Integer Count) {
  Integer start = 0;
  for (Integer i = 0; i <= Count; ++i)
    if (i == Count || Points[i].X == PolygonSeparator) {
      FillPolygon(Value, Points + start, i - start);
      start = i + 1;
    }
  SyncFull();
}

void TIEMask::Translate(Integer& DX, Integer& DY, bool Clip) {
  if (BitsPerPixel == 0) return;
  if (IsEmpty()) SyncRect();
  if (IsEmpty()) return;
  if (Clip) {
    if (X1 + DX < 0) X1 = -DX;
    if (Y1 + DY < 0) Y1 = -DY;
    if (X2 + DX >= Width) X2 = Width - DX - 1;
    if (Y2 + DY >= Height) Y2 = Height - DY - 1;
  } else {
    if (X1 + DX < 0) DX = -X1;
    if (X2 + DX >= Width) DX = Width - X2 - 1;
    if (Y1 + DY < 0) DY = -Y1;
    if (Y2 + DY >= Height) DY = Height - Y2 - 1;
  }
  if (DX == 0 && DY == 0) return;
  if (X2 < X1 || Y2 < Y1) {
    Clear();
    return;
  }
  if (BitsPerPixel == 1) {
    const Integer w = X2 - X1 + 1, h = Y2 - Y1 + 1, stride = (w + 7) / 8;
    std::vector<Byte> scratch(static_cast<size_t>(stride) * h, 0);
    for (Integer y = 0; y < h; ++y) {
      const Byte* row = GetScanline(Y1 + y);
      for (Integer x = 0; x < w; ++x) IESetBit(scratch.data() + y * stride, x, IEGetBit(row, X1 + x));
    }
    Fill(0);
    for (Integer y = 0; y < h; ++y) {
      Byte* row = GetScanline(Y1 + DY + y);
      for (Integer x = 0; x < w; ++x) IESetBit(row, X1 + DX + x, IEGetBit(scratch.data() + y * stride, x));
    }
  } else {
    const std::vector<Byte> scratch = Bits;
    Fill(0);
    for (Integer y = Y1; y <= Y2; ++y) {
      const Integer ty = y + DY;
      if (ty < 0 || ty >= Height) continue;
      const Byte* from = scratch.data() + static_cast<size_t>(Height - 1 - y) * RowLen;
      Byte* to = GetScanline(ty);
      for (Integer x = X1; x <= X2; ++x) {
        const Integer tx = x + DX;
        if (tx >= 0 && tx < Width) to[tx] = from[x];
      }
    }
  }
  Full = false;
  X1 = IEClamp(X1 + DX, 0, Width - 1);
  X2 = IEClamp(X2 + DX, 0, Width - 1);
  Y1 = IEClamp(Y1 + DY, 0, Height - 1);
  Y2 = IEClamp(Y2 + DY, 0, Height - 1);
}

namespace {

// The area the mask's box covers in both bitmaps, with the offsets that map a mask pixel to
// each of them; empty when nothing of it lies inside both.
struct TCopyArea {
  Integer X1, Y1, X2, Y2, SX, SY, DX, DY;
  bool Empty() const { return X2 < X1 || Y2 < Y1; }
};

TCopyArea CopyArea(const TIEMask& Mask, TIEBitmap* Dest, TIEBitmap* Source, bool DestAtBox, bool SourceAtBox) {
  TCopyArea a{Mask.X1, Mask.Y1, Mask.X2, Mask.Y2, 0, 0, 0, 0};
  if (Mask.IsEmpty()) return TCopyArea{0, 0, -1, -1, 0, 0, 0, 0};
  if (SourceAtBox) {
    a.X2 = a.X1 + IEMin(a.X2 - a.X1, IEMin(Dest->GetWidth() - 1, Source->GetWidth() - 1));
    a.Y2 = a.Y1 + IEMin(a.Y2 - a.Y1, IEMin(Dest->GetHeight() - 1, Source->GetHeight() - 1));
    a.SX = Mask.X1;
    a.SY = Mask.Y1;
  }
  if (DestAtBox) {
    a.DX = Mask.X1;
    a.DY = Mask.Y1;
  }
  // Never reach outside either bitmap, whatever the mask's size.
  a.X1 = IEMax(a.X1, IEMax(a.SX, a.DX));
  a.Y1 = IEMax(a.Y1, IEMax(a.SY, a.DY));
  a.X2 = IEMin(a.X2, IEMin(a.SX + Source->GetWidth() - 1, a.DX + Dest->GetWidth() - 1));
  a.Y2 = IEMin(a.Y2, IEMin(a.SY + Source->GetHeight() - 1, a.DY + Dest->GetHeight() - 1));
  return a;
}

}  // namespace

void TIEMask::CopyBitmapThroughMask(TIEBitmap* Dest, TIEBitmap* Source, bool DestAtBox, bool SourceAtBox,
                                    bool WithAlpha) {
  if (!Dest || !Source || BitsPerPixel == 0) return;
  const TCopyArea a = CopyArea(*this, Dest, Source, DestAtBox, SourceAtBox);
  const TIEPixelFormat format = Source->GetPixelFormat();
  if (!a.Empty() && format == Dest->GetPixelFormat()) {
    const Integer bytes = IEBytesPerPixel(format);
    const size_t rowBytes = static_cast<size_t>(format == ie1g ? (Source->GetWidth() + 7) / 8 : bytes * Source->GetWidth());
    std::vector<Byte> sourceRow(rowBytes);
    for (Integer y = a.Y1; y <= a.Y2; ++y) {
      // Held one at a time: a copy of the source row, so the two rows never alias.
      std::memcpy(sourceRow.data(), Source->GetScanline(y - a.SY), rowBytes);
      Byte* d = static_cast<Byte*>(Dest->GetScanline(y - a.DY));
      const Byte* s = sourceRow.data();
      const Byte* m = GetScanline(y);
      for (Integer x = a.X1; x <= a.X2; ++x) {
        const Integer sx = x - a.SX, dx = x - a.DX;
        if (BitsPerPixel == 1) {
          if (!IEGetBit(m, x)) continue;
          if (format == ie1g)
            IESetBit(d, dx, IEGetBit(s, sx));
          else
            std::memcpy(d + dx * bytes, s + sx * bytes, static_cast<size_t>(bytes));
        } else {
          const Integer w = m[x];
          if (format == ie1g) {
            if (w) IESetBit(d, dx, IEGetBit(s, sx));
          } else if (format == ie24RGB || format == ie8g || format == ie8p) {
            for (Integer c = 0; c < bytes; ++c) d[dx * bytes + c] = IEMixChannel(d[dx * bytes + c], s[sx * bytes + c], w);
          }
        }
      }
    }
  }
  if (WithAlpha) CopyAlphaThroughMask(Dest, Source, DestAtBox, SourceAtBox);
}

void TIEMask::CopyAlphaThroughMask(TIEBitmap* Dest, TIEBitmap* Source, bool DestAtBox, bool SourceAtBox) {
  if (!Dest || !Source || BitsPerPixel == 0) return;
  const TCopyArea a = CopyArea(*this, Dest, Source, DestAtBox, SourceAtBox);
  if (a.Empty()) return;
  TIEBitmap* destAlpha = Dest->GetAlphaChannel();
  if (!destAlpha) return;
  TIEBitmap* sourceAlpha = Source->HasAlphaChannel() ? Source->GetAlphaChannel() : nullptr;
  std::vector<Byte> opaque(static_cast<size_t>(Source->GetWidth()), 255);
  for (Integer y = a.Y1; y <= a.Y2; ++y) {
    std::vector<Byte> sourceRow = opaque;
    if (sourceAlpha) std::memcpy(sourceRow.data(), sourceAlpha->GetScanline(y - a.SY), sourceRow.size());
    Byte* d = static_cast<Byte*>(destAlpha->GetScanline(y - a.DY));
    const Byte* m = GetScanline(y);
    for (Integer x = a.X1; x <= a.X2; ++x) {
      const Byte s = sourceRow[x - a.SX];
      if (BitsPerPixel == 1)
        d[x - a.DX] = IEGetBit(m, x) ? s : 0;
      else
        d[x - a.DX] = m[x] ? static_cast<Byte>(IEMin(s, m[x])) : 0;
    }
  }
}

void TIEMask::StretchToBuffer(Integer DestWidth, Integer DestHeight, Integer SrcX, Integer SrcY, Integer SrcWidth,
                              Integer SrcHeight) {
  if (DestWidth <= 0 || DestHeight <= 0) return;
  if (FBufferWidth != DestWidth || FBufferHeight != DestHeight) {
    FBuffer.assign(static_cast<size_t>(DestWidth) * DestHeight, 0);
    FBufferWidth = DestWidth;
    FBufferHeight = DestHeight;
  } else {
    std::fill(FBuffer.begin(), FBuffer.end(), 0);
  }
  const Int64 stepX = (Int64(SrcWidth) << 14) / DestWidth, stepY = (Int64(SrcHeight) << 14) / DestHeight;
  FBufferSourceX.resize(static_cast<size_t>(DestWidth));
  FBufferSourceY.resize(static_cast<size_t>(DestHeight));
  for (Integer x = 0; x < DestWidth; ++x) FBufferSourceX[x] = static_cast<Integer>((x * stepX) >> 14) + SrcX;
  for (Integer y = 0; y < DestHeight; ++y)
    FBufferSourceY[y] = IEMin(static_cast<Integer>((y * stepY) >> 14) + SrcY, Height - 1);
  if (IsEmpty()) return;
  const TMappedBox box = MapBox(SrcX, SrcY, SrcWidth, SrcHeight);
  for (Integer y = box.Top; y <= box.Bottom; ++y) {
    const Integer sy = FBufferSourceY[y];
    if (sy < 0) continue;
    Byte* out = FBuffer.data() + static_cast<size_t>(y) * DestWidth;
    for (Integer x = box.Left; x <= box.Right; ++x) out[x] = GetPixel(FBufferSourceX[x], sy) != 0;
  }
}

TIEMask::TMappedBox TIEMask::MapBox(Integer SrcX, Integer SrcY, Integer SrcWidth, Integer SrcHeight) const {
  const auto map = [](Integer Edge, Integer From, Integer Size, Integer DestSize) {
    return Size <= 0 ? 0 : static_cast<Integer>(Int64(Edge - From) * DestSize / Size);
  };
  TMappedBox b{map(X1, SrcX, SrcWidth, FBufferWidth), map(Y1, SrcY, SrcHeight, FBufferHeight),
               map(X2 + 1, SrcX, SrcWidth, FBufferWidth), map(Y2 + 1, SrcY, SrcHeight, FBufferHeight)};
  b.Left = IEClamp(b.Left, 0, FBufferWidth - 1);
  b.Top = IEClamp(b.Top, 0, FBufferHeight - 1);
  b.Right = IEClamp(b.Right, 0, FBufferWidth - 1);
  b.Bottom = IEClamp(b.Bottom, 0, FBufferHeight - 1);
  return b;
}

bool TIEMask::DrawBorderPixel(Integer X, Integer Y, Integer SrcWidth, Integer SrcHeight) const {
  if (X == 0) return FBufferSourceX[X] <= X1;
  if (X == FBufferWidth - 1) return FBufferSourceX[X] >= X2 || SrcWidth == Width;
  if (Y == 0) return FBufferSourceY[Y] <= Y1;
  if (Y == FBufferHeight - 1) return FBufferSourceY[Y] >= Y2 || SrcHeight == Height;
  for (Integer ny = IEMax(Y - 1, 0); ny <= IEMin(Y + 1, FBufferHeight - 1); ++ny)
    for (Integer nx = X - 1; nx <= X + 1; ++nx)
      if (!BufferPixel(nx, ny)) return true;
  return false;
}

void IESafeStreamWrite(TStream* Stream, bool& Aborting, const void* Buffer, Integer Count) {
  if (Count <= 0) return;
  if (!Stream || Stream->Write(Buffer, Count) < Count) Aborting = true;
}
