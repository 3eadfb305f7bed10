// A selection or opacity mask of 1 or 8 bits per pixel. It keeps the bounding box of its set
// pixels and whether every pixel is fully set, so callers can skip empty or full masks; the view
// draws it as a dashed outline and a dimmed outside.
#pragma once

#include <vector>

#include "imaging/core/ie_types.h"
#include "platform/gui/colors.h"
#include "platform/rtl/geometry.h"

class TIEBitmap;
class TCanvas;
class TBitmap;
class TStream;

class TIEMask {
 public:
  static constexpr Integer EmptyCorner = 2147483647;
  // A point with this x separates the polygons of one FillPolygons list.
  static constexpr Integer PolygonSeparator = 0xFFFFF;

  TIEMask() = default;

  Integer Width = 0;
  Integer Height = 0;
  Integer BitsPerPixel = 0;
  Integer RowLen = 0;
  // Bounding box of the set pixels, inclusive; X1 = EmptyCorner and X2 = 0 when empty.
  Integer X1 = EmptyCorner, Y1 = EmptyCorner, X2 = 0, Y2 = 0;
  bool Full = false;

  void AllocateBits(Integer AWidth, Integer AHeight, Integer ABitsPerPixel);
  void FreeBits();
  void Resize(Integer NewWidth, Integer NewHeight);

  Byte* GetScanline(Integer Row) { return Bits.data() + static_cast<size_t>(Height - 1 - Row) * RowLen; }
  Integer GetPixel(Integer X, Integer Y) const;
  bool IsPointInside(Integer X, Integer Y) const { return GetPixel(X, Y) != 0; }
  void SetPixel(Integer X, Integer Y, Integer Value);
  Integer FillSpan(Integer Value, Integer SpanX1, Integer SpanX2, Integer Y);
  void Fill(Byte Value);
  void Clear();
  bool IsEmpty() const { return X1 == EmptyCorner; }
  void SyncRect();
  void SyncFull();
  void GrowRectToPixel(Integer X, Integer Y);

  void FillPolygon(Integer Value, const TPoint* Points, Integer Count);
  void FillPolygons(Integer Value, const TPoint* Points, Integer Count);
  void Translate(Integer& DX, Integer& DY, bool Clip);

  void CopyBitmapThroughMask(TIEBitmap* Dest, TIEBitmap* Source, bool DestAtBox, bool SourceAtBox, bool WithAlpha);
  void CopyAlphaThroughMask(TIEBitmap* Dest, TIEBitmap* Source, bool DestAtBox, bool SourceAtBox);

  // Drawing for the view: selected pixels invert the canvas; the outline is dashed in runs of
  // four pixels that move with Offset; the unselected part of a 24-bit bitmap is dimmed.
  void DrawToCanvas(TCanvas* Canvas, Integer XDest, Integer YDest, Integer DestWidth, Integer DestHeight, Integer XSrc,
                    Integer YSrc, Integer SrcWidth, Integer SrcHeight);
  void StretchToBuffer(Integer DestWidth, Integer DestHeight, Integer SrcX, Integer SrcY, Integer SrcWidth,
                       Integer SrcHeight);
  void DrawBorder(TCanvas* Canvas, Integer DestX, Integer DestY, Integer DestWidth, Integer DestHeight, Integer SrcX,
                  Integer SrcY, Integer SrcWidth, Integer SrcHeight, Integer Offset, TColor Color1, TColor Color2);
  void DimOutside(TBitmap* Bitmap, Integer DestX, Integer DestY, Integer DestWidth, Integer DestHeight, Integer SrcX,
                  Integer SrcY, Integer SrcWidth, Integer SrcHeight);

 private:
  void SetEmptyBox() { X1 = Y1 = EmptyCorner; X2 = Y2 = 0; }
  void ClipBoxToMask();
  bool DrawBorderPixel(Integer X, Integer Y, Integer SrcWidth, Integer SrcHeight) const;
  // The destination area the box covers once stretched: first and last column and row.
  struct TMappedBox { Integer Left, Top, Right, Bottom; };
  TMappedBox MapBox(Integer SrcX, Integer SrcY, Integer SrcWidth, Integer SrcHeight) const;
  bool BufferPixel(Integer X, Integer Y) const { return FBuffer[static_cast<size_t>(Y) * FBufferWidth + X] != 0; }

  std::vector<Byte> Bits;
  // The mask stretched to the view's size; kept between draws of the same size.
  std::vector<Byte> FBuffer;
  Integer FBufferWidth = 0, FBufferHeight = 0;
  // The image columns and rows each buffer column and row shows, from the last stretch.
  std::vector<Integer> FBufferSourceX, FBufferSourceY;
};

// Writes Count bytes and raises Aborting when the stream takes fewer; never lowers it.
void IESafeStreamWrite(TStream* Stream, bool& Aborting, const void* Buffer, Integer Count);
