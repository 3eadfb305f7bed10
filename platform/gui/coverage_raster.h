// Anti-aliased coverage of filled outlines under the non-zero rule, composited straight into
// 32-bit rows. Each outline edge leaves, in every pixel it crosses, its signed height (cover)
// and the signed area it cuts off on a 256 x 256 sub-pixel grid; a sweep along each row then
// adds the covers up from the left, so a pixel's coverage is the area of the outline's winding
// over it, clamped to one. Work grows with the length of the edges and of the covered spans,
// not with the area of the shape's box, which keeps thin outlines of large shapes cheap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class TCoverageRaster {
 public:
  // Starts a new shape on a Width x Height surface. Points given later are held inside it.
  void Reset(int Width, int Height);

  // Contours in pixel units (0, 0 is the top-left corner of the top-left pixel). Each contour
  // is closed by an edge back to its first point.
  void MoveTo(double X, double Y);
  void LineTo(double X, double Y);
  void Close();

  // Paints the shape in the opaque colour Rgb (0x00RRGGBB) over 32-bit pixels, either opaque or
  // premultiplied: Rows[y * StridePixels + x]. The surface must be Width x Height.
  void CompositeOpaque(uint32_t* Rows, std::ptrdiff_t StridePixels, uint32_t Rgb);

 private:
  struct Cell {
    int X, Y, Cover, Area;
  };
  void AddEdge(int X1, int Y1, int X2, int Y2);
  void AddRowSegment(int Row, int XA, int YA, int XB, int YB, int Sign);
  void Accumulate(int X, int Y, int Cover, int Area) {
    if (Cover == 0 && Area == 0) return;
    if (!FCells.empty()) {
      Cell& last = FCells.back();
      if (last.X == X && last.Y == Y) {
        last.Cover += Cover;
        last.Area += Area;
        return;
      }
    }
    FCells.push_back(Cell{X, Y, Cover, Area});
  }

  int FWidth = 0, FHeight = 0;
  int FStartX = 0, FStartY = 0, FLastX = 0, FLastY = 0;
  bool FOpen = false;
  int FMinRow = 0, FMaxRow = -1;
  std::vector<Cell> FCells, FSorted;
  std::vector<int> FRowStart;
};

// Pixels are snapped to 1/64 pixel, as the desktop's rasteriser snaps them, and kept within
// 0 .. Limit; the result is in 1/256 pixel.
int CoverageSubpixel(double V, int Limit);

// The frame between two upright rectangles (Left, Top, Right, Bottom in pixel units), Outer
// holding Inner, with edges at any fraction of a pixel: the pixels the raster above gives for
// the two contours, found without tracing edges. An Inner with no area leaves Outer filled.
// Both lie on the Width x Height surface.
void CompositeOpaqueFrame(uint32_t* Rows, std::ptrdiff_t StridePixels, int Width, int Height, const double Outer[4],
                          const double Inner[4], uint32_t Rgb);
