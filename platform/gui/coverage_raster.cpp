#include "platform/gui/coverage_raster.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int kShift = 8;
constexpr int kOne = 1 << kShift;  // sub-pixel steps per pixel

// Every byte of P times A / 255, rounded.
inline uint32_t ScaleBytes(uint32_t P, uint32_t A) {
  uint32_t rb = (P & 0x00FF00FFu) * A + 0x00800080u;
  rb = ((rb + ((rb >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
  uint32_t ag = ((P >> 8) & 0x00FF00FFu) * A + 0x00800080u;
  ag = (ag + ((ag >> 8) & 0x00FF00FFu)) & 0xFF00FF00u;
  return rb | ag;
}

// Opaque Colour over Dest at coverage C (0..255).
inline uint32_t Over(uint32_t Dest, uint32_t Colour, uint32_t C) {
  return C >= 255 ? Colour : ScaleBytes(Colour, C) + ScaleBytes(Dest, 255 - C);
}

// Winding area (in units of half a sub-pixel square) to coverage 0..255. A whole pixel is
// 2 * 256 * 256; like the desktop's rasteriser, coverage is cut to 8 bits by truncation.
inline uint32_t Coverage(int64_t Area) {
  const int64_t a = Area < 0 ? -Area : Area;
  const int64_t c = a >> (2 * kShift + 1 - 8);
  return c >= 255 ? 255u : static_cast<uint32_t>(c);
}

}  // namespace

void TCoverageRaster::Reset(int Width, int Height) {
  FWidth = std::max(Width, 0);
  FHeight = std::max(Height, 0);
  FCells.clear();
  FMinRow = FHeight;
  FMaxRow = -1;
  FOpen = false;
}

int CoverageSubpixel(double V, int Limit) {
  // Points are held on the surface so that no edge can walk outside it; callers keep their
  // shapes inside, so this never bends a real outline.
  if (!(V > 0)) return 0;
  if (V >= Limit) return Limit << kShift;
  return static_cast<int>(V * 64.0 + 0.5) << (kShift - 6);
}

void TCoverageRaster::MoveTo(double X, double Y) {
  Close();
  FStartX = FLastX = CoverageSubpixel(X, FWidth);
  FStartY = FLastY = CoverageSubpixel(Y, FHeight);
  FOpen = true;
}

void TCoverageRaster::LineTo(double X, double Y) {
  if (!FOpen) {
    MoveTo(X, Y);
    return;
  }
  const int x = CoverageSubpixel(X, FWidth), y = CoverageSubpixel(Y, FHeight);
  AddEdge(FLastX, FLastY, x, y);
  FLastX = x, FLastY = y;
}

void TCoverageRaster::Close() {
  if (!FOpen) return;
  AddEdge(FLastX, FLastY, FStartX, FStartY);
  FOpen = false;
}

// One edge, split into the rows it crosses. Edges are walked downwards; Sign keeps the
// direction they were drawn in.
void TCoverageRaster::AddEdge(int X1, int Y1, int X2, int Y2) {
  if (Y1 == Y2) return;
  FMinRow = std::min(FMinRow, std::min(Y1, Y2) >> kShift);
  FMaxRow = std::max(FMaxRow, (std::max(Y1, Y2) - 1) >> kShift);
  int sign = 1;
  if (Y1 > Y2) {
    std::swap(X1, X2);
    std::swap(Y1, Y2);
    sign = -1;
  }
  const int lastRow = (Y2 - 1) >> kShift;
  if (X1 == X2) {
    // Upright edges, the sides of most outlines, stay in one column.
    const int column = X1 >> kShift, twiceX = 2 * (X1 - (column << kShift));
    for (int row = Y1 >> kShift, y = Y1; row <= lastRow; ++row) {
      const int yb = std::min(Y2, (row + 1) << kShift), cover = sign * (yb - y);
      Accumulate(column, row, cover, twiceX * cover);
      y = yb;
    }
    return;
  }
  const int64_t dx = int64_t(X2) - X1, dy = int64_t(Y2) - Y1;
  int xa = X1, ya = Y1;
  for (int row = Y1 >> kShift; row <= lastRow; ++row) {
    const int rowTop = row << kShift;
    const int yb = std::min(Y2, rowTop + kOne);
    // The crossing with a row boundary is computed once and shared by both rows, so the
    // covers of a closed contour add up to exactly zero outside it.
    const int xb = yb == Y2 ? X2 : static_cast<int>(X1 + dx * (yb - Y1) / dy);
    AddRowSegment(row, xa, ya - rowTop, xb, yb - rowTop, sign);
    xa = xb, ya = yb;
  }
}

// The part of an edge inside one row, from (XA, YA) down to (XB, YB), YA and YB within the row;
// split at each pixel boundary it crosses.
void TCoverageRaster::AddRowSegment(int Row, int XA, int YA, int XB, int YB, int Sign) {
  const int ca = XA >> kShift, cb = XB >> kShift;
  auto piece = [&](int CellX, int FromX, int FromY, int ToX, int ToY) {
    const int base = CellX << kShift;
    const int cover = ToY - FromY;
    Accumulate(CellX, Row, Sign * cover, Sign * ((FromX - base) + (ToX - base)) * cover);
  };
  if (ca == cb) {
    piece(ca, XA, YA, XB, YB);
    return;
  }
  const int64_t dx = int64_t(XB) - XA, dy = int64_t(YB) - YA;
  int x = XA, y = YA;
  if (XA < XB) {
    for (int c = ca; c < cb; ++c) {
      const int bound = (c + 1) << kShift;
      const int yn = static_cast<int>(YA + dy * (bound - XA) / dx);
      piece(c, x, y, bound, yn);
      x = bound, y = yn;
    }
  } else {
    for (int c = ca; c > cb; --c) {
      const int bound = c << kShift;
      const int yn = static_cast<int>(YA + dy * (bound - XA) / dx);
      piece(c, x, y, bound, yn);
      x = bound, y = yn;
    }
  }
  piece(cb, x, y, XB, YB);
}

void TCoverageRaster::CompositeOpaque(uint32_t* Rows, std::ptrdiff_t StridePixels, uint32_t Rgb) {
  Close();
  if (FCells.empty() || FMaxRow < FMinRow) return;
  const uint32_t colour = 0xFF000000u | (Rgb & 0x00FFFFFFu);

  // Cells by row (a counting sort), then by column within each row.
  const int rows = FMaxRow - FMinRow + 1;
  FRowStart.assign(size_t(rows) + 1, 0);
  for (const Cell& c : FCells) ++FRowStart[size_t(c.Y - FMinRow) + 1];
  for (int r = 0; r < rows; ++r) FRowStart[size_t(r) + 1] += FRowStart[size_t(r)];
  FSorted.resize(FCells.size());
  for (const Cell& c : FCells) FSorted[size_t(FRowStart[size_t(c.Y - FMinRow)]++)] = c;
  // Each entry now marks the end of its row, which is the start of the next.

  const auto byX = [](const Cell& a, const Cell& b) { return a.X < b.X; };
  int begin = 0;
  for (int r = 0; r < rows; ++r) {
    const int end = FRowStart[size_t(r)];
    Cell* cells = FSorted.data() + begin;
    const int n = end - begin;
    begin = end;
    if (n == 0) continue;
    if (n > 12) {
      std::sort(cells, cells + n, byX);
    } else {
      // Rows of thin outlines hold a few cells, mostly in order already.
      for (int i = 1; i < n; ++i)
        for (int j = i; j > 0 && cells[j].X < cells[j - 1].X; --j) std::swap(cells[j], cells[j - 1]);
    }
    uint32_t* line = Rows + std::ptrdiff_t(FMinRow + r) * StridePixels;
    int64_t cover = 0;  // sum of the covers of every cell left of the current one
    for (int i = 0; i < n;) {
      const int x = cells[i].X;
      int64_t cellCover = 0, cellArea = 0;
      for (; i < n && cells[i].X == x; ++i) cellCover += cells[i].Cover, cellArea += cells[i].Area;
      if (x >= FWidth) break;
      if (const uint32_t a = Coverage(((cover + cellCover) << (kShift + 1)) - cellArea); a != 0)
        line[x] = Over(line[x], colour, a);
      cover += cellCover;
      const int next = std::min(i < n ? cells[i].X : FWidth, FWidth);
      if (cover == 0 || next <= x + 1) continue;
      const uint32_t a = Coverage(cover << (kShift + 1));
      if (a == 255) {
        std::fill(line + x + 1, line + next, colour);
      } else if (a != 0) {
        for (int p = x + 1; p < next; ++p) line[p] = Over(line[p], colour, a);
      }
    }
  }
}

namespace {

// The length of Low .. High inside the pixel column or row P, in 1/256 pixel.
inline int Overlap(int Low, int High, int P) {
  const int from = std::max(Low, P << kShift), to = std::min(High, (P + 1) << kShift);
  return to > from ? to - from : 0;
}

}  // namespace

void CompositeOpaqueFrame(uint32_t* Rows, std::ptrdiff_t StridePixels, int Width, int Height, const double Outer[4],
                          const double Inner[4], uint32_t Rgb) {
  const uint32_t colour = 0xFF000000u | (Rgb & 0x00FFFFFFu);
  const int ox0 = CoverageSubpixel(Outer[0], Width), oy0 = CoverageSubpixel(Outer[1], Height);
  const int ox1 = CoverageSubpixel(Outer[2], Width), oy1 = CoverageSubpixel(Outer[3], Height);
  int ix0 = CoverageSubpixel(Inner[0], Width), iy0 = CoverageSubpixel(Inner[1], Height);
  int ix1 = CoverageSubpixel(Inner[2], Width), iy1 = CoverageSubpixel(Inner[3], Height);
  if (ox1 <= ox0 || oy1 <= oy0) return;
  if (ix1 <= ix0 || iy1 <= iy0) ix0 = ix1 = iy0 = iy1 = 0;
  ix0 = std::max(ix0, ox0), iy0 = std::max(iy0, oy0), ix1 = std::min(ix1, ox1), iy1 = std::min(iy1, oy1);
  // Pixel columns: [first, outerFull) and [outerEnd, end) hold the outer rectangle's side edges,
  // [innerFirst, innerFull) and [innerEnd, innerLast) the inner one's; between them the coverage
  // of a row is the same from pixel to pixel.
  const int first = ox0 >> kShift, outerFull = (ox0 + kOne - 1) >> kShift;
  const int outerEnd = ox1 >> kShift, end = (ox1 + kOne - 1) >> kShift;
  const int innerFirst = ix0 >> kShift, innerFull = (ix0 + kOne - 1) >> kShift;
  const int innerEnd = ix1 >> kShift, innerLast = (ix1 + kOne - 1) >> kShift;
  const bool ordered = outerFull <= innerFirst && innerFull <= innerEnd && innerLast <= outerEnd;
  for (int y = oy0 >> kShift; y < (oy1 + kOne - 1) >> kShift; ++y) {
    const int yo = Overlap(oy0, oy1, y), yi = Overlap(iy0, iy1, y);
    uint32_t* line = Rows + std::ptrdiff_t(y) * StridePixels;
    const auto pixels = [&](int From, int To) {
      for (int x = From; x < To; ++x) {
        const int area = Overlap(ox0, ox1, x) * yo - Overlap(ix0, ix1, x) * yi;  // in 1/65536 pixel
        if (const uint32_t a = std::min(area >> kShift, 255); a != 0) line[x] = Over(line[x], colour, a);
      }
    };
    const auto run = [&](int From, int To, int RowCover) {
      const uint32_t a = std::min(RowCover, 255);
      if (a == 255) {
        std::fill(line + From, line + To, colour);
      } else if (a != 0) {
        for (int x = From; x < To; ++x) line[x] = Over(line[x], colour, a);
      }
    };
    if (yi == 0 && outerFull <= outerEnd) {
      pixels(first, outerFull), run(outerFull, outerEnd, yo), pixels(outerEnd, end);
    } else if (yi != 0 && ordered) {
      pixels(first, outerFull), run(outerFull, innerFirst, yo), pixels(innerFirst, innerFull);
      run(innerFull, innerEnd, yo - yi);
      pixels(innerEnd, innerLast), run(innerLast, outerEnd, yo), pixels(outerEnd, end);
    } else {
      pixels(first, end);
    }
  }
}
