// The canvas: drawing on an image with the desktop's pixel rules.
//
// Geometry follows the desktop: shapes given by a bounding rectangle cover Left..Right-1 and
// Top..Bottom-1; LineTo leaves its end pixel undrawn so that joined lines touch each pixel once;
// the pen mode (a raster operation) applies to outlines and to brush fills of shapes, so drawing
// twice with pmXor or pmNot restores the image exactly. FillRect and FrameRect always copy the
// brush. Text starts at its top-left corner; its box is filled with the brush colour unless the
// brush is clear or hatched.
//
// A canvas can be drawn on from any thread. Lock/Unlock serialise users of one canvas across
// threads (the lock is re-entrant); the canvas itself does not lock on each call.
#pragma once

#include <memory>
#include <vector>

#include "platform/gui/graphics_objects.h"

class QImage;
class TGraphic;

// A clip or hit-test region: rectangles, polygons, ellipses, rounded rectangles and their
// combinations. A value type; copies share nothing observable.
class TRegion {
 public:
  TRegion();
  TRegion(const TRegion& Other);
  TRegion& operator=(const TRegion& Other);
  ~TRegion();

  static TRegion CreateRectRgn(Integer Left, Integer Top, Integer Right, Integer Bottom);
  static TRegion CreateRectRgnIndirect(const TRect& R);
  static TRegion CreateEllipticRgn(Integer Left, Integer Top, Integer Right, Integer Bottom);
  // FillMode ALTERNATE (even-odd) or WINDING.
  static TRegion CreatePolygonRgn(const TPoint* Points, Integer Count, Integer FillMode);
  static TRegion CreatePolygonRgn(const std::vector<TPoint>& Points, Integer FillMode);
  // Corner ellipse of WidthEllipse x HeightEllipse.
  static TRegion CreateRoundRectRgn(Integer Left, Integer Top, Integer Right, Integer Bottom,
                                    Integer WidthEllipse, Integer HeightEllipse);

  bool Empty() const;
  bool PtInRegion(Integer X, Integer Y) const;
  // The smallest rectangle holding the region.
  TRect Bounds() const;
  void Offset(Integer dx, Integer dy);
  bool operator==(const TRegion& Other) const;

  struct Data;
  Data* Impl() const { return FData.get(); }

 private:
  std::unique_ptr<Data> FData;
};

constexpr Integer ALTERNATE = 1;
constexpr Integer WINDING = 2;

// CombineRgn modes.
constexpr Integer RGN_AND = 1;
constexpr Integer RGN_OR = 2;
constexpr Integer RGN_XOR = 3;
constexpr Integer RGN_DIFF = 4;
constexpr Integer RGN_COPY = 5;
// Dest := A op B (RGN_COPY takes A).
void CombineRgn(TRegion& Dest, const TRegion& A, const TRegion& B, Integer Mode);

// Ternary raster operations for CopyRect and Draw (source S, destination D, brush pattern P).
using TCopyMode = Cardinal;
constexpr TCopyMode cmBlackness = 0x00000042;
constexpr TCopyMode cmDstInvert = 0x00550009;
constexpr TCopyMode cmMergeCopy = 0x00C000CA;
constexpr TCopyMode cmMergePaint = 0x00BB0226;
constexpr TCopyMode cmNotSrcCopy = 0x00330008;
constexpr TCopyMode cmNotSrcErase = 0x001100A6;
constexpr TCopyMode cmPatCopy = 0x00F00021;
constexpr TCopyMode cmPatInvert = 0x005A0049;
constexpr TCopyMode cmPatPaint = 0x00FB0A09;
constexpr TCopyMode cmSrcAnd = 0x008800C6;
constexpr TCopyMode cmSrcCopy = 0x00CC0020;
constexpr TCopyMode cmSrcErase = 0x00440328;
constexpr TCopyMode cmSrcInvert = 0x00660046;
constexpr TCopyMode cmSrcPaint = 0x00EE0086;
constexpr TCopyMode cmWhiteness = 0x00FF0062;

enum TFillStyle { fsSurface, fsBorder };

// GetPixel's answer for a point with no pixel.
constexpr TColor CLR_INVALID = 0xFFFFFFFFu;

// DrawText flags.
constexpr Cardinal DT_TOP = 0x0000;
constexpr Cardinal DT_LEFT = 0x0000;
constexpr Cardinal DT_CENTER = 0x0001;
constexpr Cardinal DT_RIGHT = 0x0002;
constexpr Cardinal DT_VCENTER = 0x0004;
constexpr Cardinal DT_BOTTOM = 0x0008;
constexpr Cardinal DT_WORDBREAK = 0x0010;
constexpr Cardinal DT_SINGLELINE = 0x0020;
constexpr Cardinal DT_EXPANDTABS = 0x0040;
constexpr Cardinal DT_NOCLIP = 0x0100;
constexpr Cardinal DT_CALCRECT = 0x0400;
constexpr Cardinal DT_NOPREFIX = 0x0800;
constexpr Cardinal DT_END_ELLIPSIS = 0x8000;

// Results of clip-region calls.
constexpr Integer NULLREGION = 1;
constexpr Integer SIMPLEREGION = 2;
constexpr Integer COMPLEXREGION = 3;
constexpr Integer RGN_ERROR = 0;

class TCanvas : public TPersistent {
 public:
  TCanvas();
  ~TCanvas() override;

  TPen* Pen() const { return FPen.get(); }
  TBrush* Brush() const { return FBrush.get(); }
  TFont* Font() const { return FFont.get(); }
  void SetPen(TPen* Value) { FPen->Assign(Value); }
  void SetBrush(TBrush* Value) { FBrush->Assign(Value); }
  void SetFont(TFont* Value) { FFont->Assign(Value); }

  TPoint PenPos() const { return FPenPos; }
  void SetPenPos(const TPoint& Value) { FPenPos = Value; }
  TCopyMode CopyMode() const { return FCopyMode; }
  void SetCopyMode(TCopyMode Value) { FCopyMode = Value; }

  // Lines and shapes.
  void MoveTo(Integer X, Integer Y);
  void LineTo(Integer X, Integer Y);
  void Rectangle(Integer X1, Integer Y1, Integer X2, Integer Y2);
  void Rectangle(const TRect& R) { Rectangle(R.Left, R.Top, R.Right, R.Bottom); }
  void Ellipse(Integer X1, Integer Y1, Integer X2, Integer Y2);
  void Ellipse(const TRect& R) { Ellipse(R.Left, R.Top, R.Right, R.Bottom); }
  void RoundRect(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3);
  void Polygon(const TPoint* Points, Integer Count);
  void Polygon(const std::vector<TPoint>& Points) { Polygon(Points.data(), Integer(Points.size())); }
  void Polyline(const TPoint* Points, Integer Count);
  void Polyline(const std::vector<TPoint>& Points) { Polyline(Points.data(), Integer(Points.size())); }
  // Count = 1 + 3n points: a start and n (control, control, end) triples.
  void PolyBezier(const TPoint* Points, Integer Count);
  void PolyBezier(const std::vector<TPoint>& Points) { PolyBezier(Points.data(), Integer(Points.size())); }
  // Elliptic arcs in the bounding box (X1,Y1)-(X2,Y2), counter-clockwise from the ray through
  // (X3,Y3) to the ray through (X4,Y4).
  void Arc(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3, Integer X4, Integer Y4);
  void Pie(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3, Integer X4, Integer Y4);
  void Chord(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3, Integer X4, Integer Y4);
  void FillRect(const TRect& R);
  void FrameRect(const TRect& R);
  // A dotted frame drawn by inverting pixels; drawing it again removes it.
  void DrawFocusRect(const TRect& R);
  void FloodFill(Integer X, Integer Y, TColor Color, TFillStyle FillStyle);
  void FillRgn(const TRegion& Region);

  // Pixels. Reading outside the surface (or with no surface) answers CLR_INVALID; writing
  // outside is ignored.
  TColor GetPixel(Integer X, Integer Y);
  void SetPixel(Integer X, Integer Y, TColor Color);
  TColor Pixels(Integer X, Integer Y) { return GetPixel(X, Y); }

  // Text.
  void TextOut(Integer X, Integer Y, const AnsiString& Text);
  // Text at (X, Y) clipped to R; with an opaque brush R is filled first.
  void TextRect(const TRect& R, Integer X, Integer Y, const AnsiString& Text);
  // Text laid out in R by DT_* flags; DT_CALCRECT only measures (R gets the text's extent).
  // Answers the height of the text.
  Integer DrawText(const AnsiString& Text, TRect& R, Cardinal Flags);
  Integer TextWidth(const AnsiString& Text);
  Integer TextHeight(const AnsiString& Text);
  TSize TextExtent(const AnsiString& Text);

  // Pictures and blocks of pixels.
  void Draw(Integer X, Integer Y, TGraphic* Graphic);
  void StretchDraw(const TRect& R, TGraphic* Graphic);
  // Copies Source's SourceRect into Dest (scaled when the sizes differ) with CopyMode.
  void CopyRect(const TRect& Dest, TCanvas* Source, const TRect& SourceRect);

  // Clipping. The clip region starts as the whole surface. Rectangles are in surface pixels.
  TRect ClipRect();
  // Replaces the clip with R.
  void SetClipRect(const TRect& R);
  // Replaces the clip with Region; nullptr removes all clipping.
  Integer SelectClipRgn(const TRegion* Region);
  Integer IntersectClipRect(Integer X1, Integer Y1, Integer X2, Integer Y2);
  Integer ExcludeClipRect(Integer X1, Integer Y1, Integer X2, Integer Y2);
  // The current clip region; false when there is no clipping.
  bool GetClipRgn(TRegion& Region);
  // Saves pen, brush, font, pen position, copy mode and clip; answers the level (1, 2, ...).
  Integer SaveDC();
  // Restores a saved level (negative: relative to the newest, -1 the newest); false when there
  // is no such level.
  bool RestoreDC(Integer SavedDC);

  // Serialising drawing across threads (re-entrant).
  void Lock();
  void Unlock();
  bool TryLock();
  Integer LockCount() const;

  // The size of the surface drawn on (0 x 0 when there is none).
  TSize SurfaceSize();

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

  AnsiString ClassName() const override { return "TCanvas"; }

  struct Impl;

 protected:
  // The image drawn on, or nullptr when there is none. Called at the start of each drawing
  // call; FinishDrawing(true) follows once the image has been changed, FinishDrawing(false) after
  // a call that only read it.
  virtual QImage* BeginDrawing();
  virtual void FinishDrawing(bool Modified);
  // The image a copy reads from, for the length of one copy: the one drawn on, unless the
  // canvas keeps its pixels elsewhere in a layout a copy can read without converting them first.
  virtual const QImage* BeginReading();
  virtual void FinishReading();
  void Changing();
  void Changed();

 private:
  friend struct CanvasAccess;
  std::unique_ptr<TPen> FPen;
  std::unique_ptr<TBrush> FBrush;
  std::unique_ptr<TFont> FFont;
  TPoint FPenPos;
  TCopyMode FCopyMode = cmSrcCopy;
  std::unique_ptr<Impl> FImpl;
};
