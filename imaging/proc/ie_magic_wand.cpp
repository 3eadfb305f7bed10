#include "imaging/proc/ie_magic_wand.h"

#include <cstdlib>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_mask.h"

namespace {

struct TSimilarity {
  TIEBitmap* Bitmap;
  Integer Width, Height, Tolerance;
  TRGB Seed;

  bool Similar(Integer X, Integer Y) const {
    if (X < 0 || Y < 0 || X >= Width || Y >= Height) return false;
    const TRGB c = Bitmap->GetPixelAsRGB(X, Y);
    return std::abs(Integer(c.r) - Seed.r) <= Tolerance && std::abs(Integer(c.g) - Seed.g) <= Tolerance &&
           std::abs(Integer(c.b) - Seed.b) <= Tolerance;
  }
};

// One bit per pixel: which pixels the fill has taken.
class TVisited {
 public:
  TVisited(Integer Width, Integer Height)
      : Stride(Width / 8 + 1), Bits(static_cast<size_t>(Stride) * static_cast<size_t>(Height), 0) {}
  bool Get(Integer X, Integer Y) const { return (Bits[Index(Y) + (X >> 3)] & (0x80 >> (X & 7))) != 0; }
  void Set(Integer X, Integer Y) { Bits[Index(Y) + (X >> 3)] |= static_cast<Byte>(0x80 >> (X & 7)); }

 private:
  size_t Index(Integer Y) const { return static_cast<size_t>(Y) * static_cast<size_t>(Stride); }
  Integer Stride;
  std::vector<Byte> Bits;
};

struct TRegion {
  TVisited Visited;
  Integer MinX, MaxX, MinY, MaxY;
};

// The span seed fill: each stack entry is a run of the row it was found on, to be continued on
// the row Direction away from it.
TRegion FillRegion(const TSimilarity& S, Integer X, Integer Y) {
  TRegion r{TVisited(S.Width, S.Height), X, X, Y, Y};
  struct TSegment { Integer Row, Left, Right, Direction; };
  std::vector<TSegment> stack;
  stack.reserve(static_cast<size_t>(2) * S.Width);
  const auto push = [&](Integer Row, Integer Left, Integer Right, Integer Direction) {
    if (Row + Direction < 0 || Row + Direction >= S.Height) return;
    stack.push_back({Row, Left, Right, Direction});
  };
  const auto inside = [&](Integer PX, Integer PY) { return S.Similar(PX, PY) && !r.Visited.Get(PX, PY); };
  const auto take = [&](Integer PX, Integer PY) {
    r.Visited.Set(PX, PY);
    r.MinX = IEMin(r.MinX, PX);
    r.MaxX = IEMax(r.MaxX, PX);
    r.MinY = IEMin(r.MinY, PY);
    r.MaxY = IEMax(r.MaxY, PY);
  };
  push(Y, X, X, 1);
  push(Y + 1, X, X, -1);
  while (!stack.empty()) {
    const TSegment s = stack.back();
    stack.pop_back();
    const Integer y = s.Row + s.Direction;
    Integer x = s.Left;
    for (; x >= 0 && inside(x, y); --x) take(x, y);
    Integer left = x + 1;
    bool skipFirst = x >= s.Left;
    if (!skipFirst) {
      if (left < s.Left) push(y, left, s.Left - 1, -s.Direction);  // leaked past the left end
      x = s.Left + 1;
    }
    do {
      if (!skipFirst) {
        for (; x < S.Width && inside(x, y); ++x) take(x, y);
        push(y, left, x - 1, s.Direction);
        if (x > s.Right + 1) push(y, s.Right + 1, x - 1, -s.Direction);  // leaked past the right end
      }
      skipFirst = false;
      for (++x; x <= s.Right && !inside(x, y); ++x) {
      }
      left = x;
    } while (x <= s.Right);
  }
  return r;
}

// The filled pixels of the box as a byte per pixel, grown by the 3 x 3 maximum when asked.
std::vector<Byte> RegionBitmap(const TRegion& R, bool MaxFilter, Integer BW, Integer BH) {
  std::vector<Byte> map(static_cast<size_t>(BW) * BH, 0);
  for (Integer y = 0; y < BH; ++y)
    for (Integer x = 0; x < BW; ++x) {
      if (!R.Visited.Get(x + R.MinX, y + R.MinY)) continue;
      if (!MaxFilter) {
        map[static_cast<size_t>(y) * BW + x] = 1;
        continue;
      }
      for (Integer ny = IEMax(y - 1, 0); ny <= IEMin(y + 1, BH - 1); ++ny)
        for (Integer nx = IEMax(x - 1, 0); nx <= IEMin(x + 1, BW - 1); ++nx) map[static_cast<size_t>(ny) * BW + nx] = 1;
    }
  return map;
}

struct TDirection { Integer DX, DY, Code; };
constexpr TDirection Directions[8] = {{1, 0, 0},  {0, -1, 2}, {-1, 0, 4}, {0, 1, 6},
                                      {1, -1, 1}, {-1, -1, 3}, {-1, 1, 5}, {1, 1, 7}};
constexpr TPoint CodeSteps[8] = {{1, 0}, {1, -1}, {0, -1}, {-1, -1}, {-1, 0}, {-1, 1}, {0, 1}, {1, 1}};

enum : Byte { cellOutside = 0, cellInside = 1, cellTraced = 2, cellBorder = 3 };

// Each region pixel is 4 x 4 cells with a 2-cell margin, so that a part one pixel wide still
// has a separate border cell on each of its sides.
class TOutlineGrid {
 public:
  TOutlineGrid(const std::vector<Byte>& Map, Integer BW, Integer BH)
      : Cols(BW * 4 + 4), Rows(BH * 4 + 4), Cells(static_cast<size_t>(Cols) * Rows, cellOutside) {
    for (Integer y = 0; y < BH; ++y)
      for (Integer x = 0; x < BW; ++x)
        if (Map[static_cast<size_t>(y) * BW + x])
          for (Integer cy = 4 * y + 2; cy <= 4 * y + 5; ++cy)
            for (Integer cx = 4 * x + 2; cx <= 4 * x + 5; ++cx) At(cx, cy) = cellInside;
    MarkBorders();
  }

  Byte& At(Integer X, Integer Y) { return Cells[static_cast<size_t>(Y) * Cols + X]; }
  Byte Get(Integer X, Integer Y) const {
    if (X < 0 || Y < 0 || X >= Cols || Y >= Rows) return cellOutside;
    return Cells[static_cast<size_t>(Y) * Cols + X];
  }
  Integer Cols, Rows;

 private:
  // The cell next to each end of every horizontal and vertical run of inside cells.
  void MarkBorders() {
    for (Integer y = 0; y < Rows; ++y) {
      for (Integer x = 1; x < Cols; ++x)
        if (At(x, y) == cellInside && At(x - 1, y) != cellInside) At(x - 1, y) = cellBorder;
      for (Integer x = Cols - 2; x >= 0; --x)
        if (At(x, y) == cellInside && At(x + 1, y) != cellInside) At(x + 1, y) = cellBorder;
    }
    for (Integer x = 0; x < Cols; ++x) {
      for (Integer y = 1; y < Rows; ++y)
        if (At(x, y) == cellInside && At(x, y - 1) != cellInside) At(x, y - 1) = cellBorder;
      for (Integer y = Rows - 2; y >= 0; --y)
        if (At(x, y) == cellInside && At(x, y + 1) != cellInside) At(x, y + 1) = cellBorder;
    }
  }
  std::vector<Byte> Cells;
};

}  // namespace

TPoint* IEMagicWandOutline(TIEBitmap* Bitmap, Integer X, Integer Y, bool MaxFilter, Integer Tolerance,
                           Integer& PolyCount) {
  PolyCount = 0;
  if (!Bitmap || X < 0 || Y < 0 || X >= Bitmap->GetWidth() || Y >= Bitmap->GetHeight()) return nullptr;
  const TSimilarity s{Bitmap, Bitmap->GetWidth(), Bitmap->GetHeight(), Tolerance, Bitmap->GetPixelAsRGB(X, Y)};
  const TRegion region = FillRegion(s, X, Y);
  const Integer bw = region.MaxX - region.MinX + 1, bh = region.MaxY - region.MinY + 1;
  TOutlineGrid grid(RegionBitmap(region, MaxFilter, bw, bh), bw, bh);

  // The border cell nearest to the top-left corner of all border cells starts the trace.
  Integer cornerX = grid.Cols, cornerY = grid.Rows;
  for (Integer y = 0; y < grid.Rows; ++y)
    for (Integer x = 0; x < grid.Cols; ++x)
      if (grid.At(x, y) == cellBorder) {
        cornerX = IEMin(cornerX, x);
        cornerY = IEMin(cornerY, y);
      }
  Integer startX = -1, startY = -1;
  Int64 best = -1;
  for (Integer y = 0; y < grid.Rows; ++y)
    for (Integer x = 0; x < grid.Cols; ++x)
      if (grid.At(x, y) == cellBorder) {
        const Int64 d = Int64(x - cornerX) * (x - cornerX) + Int64(y - cornerY) * (y - cornerY);
        if (best < 0 || d < best) {
          best = d;
          startX = x;
          startY = y;
        }
      }
  if (startX < 0) return nullptr;
  grid.At(startX, startY) = cellTraced;

  std::vector<Byte> codes;
  Integer cx = startX, cy = startY, dir = 4;
  const auto step = [&](Integer Index) {
    cx += Directions[Index].DX;
    cy += Directions[Index].DY;
    grid.At(cx, cy) = cellTraced;
    codes.push_back(static_cast<Byte>(Directions[Index].Code));
  };
  for (;;) {
    if (grid.Get(cx + Directions[dir].DX, cy + Directions[dir].DY) == cellBorder) step(dir);
    Integer next = -1;
    for (Integer i = 0; i < 8 && next < 0; ++i)
      if (grid.Get(cx + Directions[i].DX, cy + Directions[i].DY) == cellBorder) next = i;
    if (next < 0) break;
    step(next);
    dir = next;
  }
  for (Integer i = 0; i < 8; ++i)
    if (cx + Directions[i].DX == startX && cy + Directions[i].DY == startY) {
      codes.push_back(static_cast<Byte>(Directions[i].Code));
      break;
    }

  // A vertex wherever the chain changes direction; grid units are a quarter pixel.
  std::vector<TPoint> vertices;
  TPoint p{startX + 4 * region.MinX - 1, startY + 4 * region.MinY - 1};
  vertices.push_back(p);
  for (size_t i = 0; i < codes.size(); ++i) {
    if (i > 0 && codes[i] != codes[i - 1]) vertices.push_back(p);
    p.X += CodeSteps[codes[i]].X;
    p.Y += CodeSteps[codes[i]].Y;
  }
  PolyCount = static_cast<Integer>(vertices.size());
  TPoint* result = new TPoint[vertices.size()];
  for (size_t i = 0; i < vertices.size(); ++i) result[i] = TPoint{vertices[i].X >> 2, vertices[i].Y >> 2};
  return result;
}

void IEMagicWandRegion(TIEBitmap* Bitmap, Integer X, Integer Y, bool MaxFilter, Integer Tolerance, TIEMask* Mask,
                       Integer Value) {
  if (!Bitmap || !Mask || X < 0 || Y < 0 || X >= Bitmap->GetWidth() || Y >= Bitmap->GetHeight()) return;
  const Integer w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  const TSimilarity s{Bitmap, w, h, Tolerance, Bitmap->GetPixelAsRGB(X, Y)};
  const TRegion region = FillRegion(s, X, Y);
  for (Integer y = region.MinY; y <= region.MaxY; ++y)
    for (Integer x = region.MinX; x <= region.MaxX; ++x) {
      if (!region.Visited.Get(x, y)) continue;
      if (!MaxFilter) {
        Mask->SetPixel(x, y, Value);
        continue;
      }
      for (Integer ny = IEMax(y - 1, 0); ny <= IEMin(y + 1, h - 1); ++ny)
        for (Integer nx = IEMax(x - 1, 0); nx <= IEMin(x + 1, w - 1); ++nx) Mask->SetPixel(nx, ny, Value);
    }
}

void IEMagicWandColor(TIEBitmap* Bitmap, Integer X, Integer Y, Integer Tolerance, TIEMask* Mask, Integer Value) {
  // The seed colour is read from the image, so a point outside it has no colour to compare with.
  if (!Bitmap || !Mask || X < 0 || Y < 0 || X >= Bitmap->GetWidth() || Y >= Bitmap->GetHeight()) return;
  const TSimilarity s{Bitmap, Bitmap->GetWidth(), Bitmap->GetHeight(), Tolerance, Bitmap->GetPixelAsRGB(X, Y)};
  for (Integer y = 0; y < s.Height; ++y)
    for (Integer x = 0; x < s.Width; ++x)
      if (s.Similar(x, y)) Mask->SetPixel(x, y, Value);
}

void IEPointAdd(const TPoint& A, const TPoint& B, TPoint& C) { C = TPoint{A.X + B.X, A.Y + B.Y}; }

void IEPointSub(const TPoint& A, const TPoint& B, TPoint& C) { C = TPoint{A.X - B.X, A.Y - B.Y}; }
