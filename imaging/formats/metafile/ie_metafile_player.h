// The drawing state both metafile players share: the mapping from logical coordinates to the
// destination rectangle, the object table, the selected pen, brush and font, saved states,
// paths, and the drawing calls in logical coordinates over a TCanvas. The WMF and EMF record
// loops (ie_metafile_wmf.cpp, ie_metafile_emf.cpp) decode their records into these calls.
#pragma once

#include <memory>
#include <vector>

#include "platform/gui/bitmap.h"
#include "platform/rtl/types.h"

namespace iemf {

struct TPointD {
  double X = 0, Y = 0;
};

// A coordinate or size from a record as a pixel value: rounded, NaN 0, and kept within a range
// the canvas can take whatever a hostile record or transform gives.
Integer ToPixels(double V);

// A metafile failed: the record loop stops and keeps the reason.
struct EDamaged {
  AnsiString Reason;
};

// A pen, brush, font or an object the player keeps no details of (palettes, regions).
struct TObject {
  enum TKind { okNone, okPen, okBrush, okFont, okOther } Kind = okNone;
  TColor Color = 0;
  // pen
  Integer PenStyle = 0;  // PS_* (low four bits)
  double PenWidth = 0;   // logical units; 0 for one device pixel
  // brush
  Integer BrushStyle = 0;  // BS_*
  Integer Hatch = 0;
  std::shared_ptr<TBitmap> Pattern;
  // font
  double FontHeight = 0;  // logical, LOGFONT sign convention
  Integer Escapement = 0;
  Integer Weight = 400;
  bool Italic = false, Underline = false, StrikeOut = false;
  AnsiString Face;
};

// The stock objects an EMF names with the high bit of an index.
TObject StockObject(DWORD Index);

// A device-independent bitmap decoded from its header and bits; Usage DIB_RGB_COLORS only.
// Raises EDamaged for a damaged one; false for one the player does not draw (compressed,
// colours from a palette).
bool DecodeDIB(const Byte* Info, size_t InfoSize, const Byte* Bits, size_t BitsSize, DWORD Usage, TBitmap& Out,
               bool& BottomUp);

class TPlayer {
 public:
  // Logical coordinates map through the world transform and the window/viewport mapping to
  // reference device pixels; DeviceFrame of those maps onto Dest of the canvas.
  TPlayer(TCanvas* Canvas, const TRect& Dest, const double DeviceFrame[4], double DevicePixelsPerMM);
  ~TPlayer();

  // --- state records ---
  Integer MapMode = 1;  // MM_TEXT
  bool Fixed = false;   // WMF: keep the picture's own anisotropic mapping whatever the map mode
  double WinOrg[2] = {0, 0}, WinExt[2] = {1, 1}, ViewOrg[2] = {0, 0}, ViewExt[2] = {1, 1};
  double World[6] = {1, 0, 0, 1, 0, 0};  // eM11, eM12, eM21, eM22, eDx, eDy
  TColor TextColor = 0, BkColor = 0xFFFFFF;
  Integer BkMode = 2;  // OPAQUE
  Integer TextAlign = 0;
  Integer PolyFillMode = 1;  // ALTERNATE
  Integer Rop2 = 13;         // R2_COPYPEN
  TObject Pen, Brush, Font;
  TPointD Current;

  std::vector<TObject> Objects;

  void SetMapMode(Integer Mode);
  void Save();
  // Relative (negative) or absolute level; false when there is no such level.
  bool Restore(Integer Level);
  void ModifyWorld(const double X[6], DWORD Mode);

  // --- drawing in logical coordinates ---
  void MoveTo(double X, double Y);
  void LineTo(double X, double Y);
  void Rectangle(double L, double T, double R, double B);
  void RoundRect(double L, double T, double R, double B, double W, double H);
  void Ellipse(double L, double T, double R, double B);
  // Kind 0 arc, 1 chord, 2 pie; ArcTo (kind 3) draws a line to the start and moves to the end.
  void ArcShape(Integer Kind, double L, double T, double R, double B, double X1, double Y1, double X2, double Y2);
  void Poly(const std::vector<TPointD>& Points, bool Closed);
  // Poly from the current position (POLYLINETO); Bezier: control, control, end triples.
  void PolyTo(const std::vector<TPointD>& Points, bool Bezier);
  void PolyBezier(const std::vector<TPointD>& Points);
  void PolyPoly(const std::vector<std::vector<TPointD>>& Figures, bool Closed);
  void SetPixel(double X, double Y, TColor Color);
  // A row of text at (X, Y) with the text alignment; Clip/Opaque rectangles as ExtTextOut has
  // them (logical), Dx the advance of each character (logical) or empty.
  void Text(double X, double Y, const std::u16string& Chars, const std::vector<double>& Dx, const double* Rect,
            bool Opaque, bool Clipped);
  // A bitmap into the logical rectangle (X, Y, W, H) from SourceRect of Bitmap (pixels, top down).
  void Blit(double X, double Y, double W, double H, TBitmap& Bitmap, const TRect& SourceRect, DWORD Rop);
  // A brush or constant fill of the logical rectangle (PATBLT and blits without a bitmap).
  void PatBlt(double X, double Y, double W, double H, DWORD Rop);

  // --- clipping ---
  void IntersectClip(double L, double T, double R, double B);
  void ExcludeClip(double L, double T, double R, double B);
  // Rectangles in reference device pixels combined with the clip by RGN_*; none with RGN_COPY
  // restores the picture's own clip.
  void SelectClipRects(const std::vector<TRect>& Rects, Integer Mode);

  // --- paths ---
  void BeginPath();
  void EndPath() { FInPath = false; }
  void AbortPath();
  void CloseFigure();
  void FillPath(bool Fill, bool Stroke);
  void SelectClipPath(Integer Mode);

  // Counts a record of a kind the player leaves out.
  void Skip() { ++Skipped; }
  Integer Skipped = 0;

  // Work a picture may cost, in pixels the canvas passes over (each shape works through masks
  // the size of its box, cut to the picture): a floor, plus a number of passes over the area
  // the picture covers. A drawing record costs at least kRecordCost whatever its size.
  static constexpr Int64 kWorkFloor = Int64(1) << 26;
  static constexpr Int64 kWorkPasses = 2;
  static constexpr Int64 kRecordCost = 256;

 private:
  TPointD ToDest(double X, double Y) const;
  TPoint ToPixel(double X, double Y) const;
  // Destination pixels per logical unit along x and y (magnitudes).
  double ScaleX() const;
  double ScaleY() const;
  // Whether logical axes stay parallel to the destination's.
  bool AxisAligned() const;
  void ApplyPen();
  void ApplyBrush();
  // Draws closed or open figures already in destination coordinates.
  void DrawFigures(const std::vector<std::vector<TPointD>>& Figures, bool Closed, bool Fill, bool Stroke);
  std::vector<TPointD> EllipsePoints(double L, double T, double R, double B) const;
  void AddFigure(std::vector<TPointD> Figure, bool Closed);
  // Charges a drawing step over the box (destination pixels, Pad more on every side) against
  // the picture's budget; raises EDamaged once the budget is spent, so a hostile file of huge
  // shapes cannot keep the player busy for minutes.
  void Charge(double L, double T, double R, double B, double Pad);
  void ChargePoints(const std::vector<std::vector<TPointD>>& Figures, double Pad);
  // A logical box of an axis-aligned shape, with the pen's width around it.
  void ChargeBox(double L, double T, double R, double B);
  double PenPad() const;

  struct TSaved;
  TCanvas* FCanvas;
  TRect FDest;
  double FFrame[4];
  double FPixelsPerMM;
  Integer FBaseLevel = 0;
  std::vector<TSaved> FSaved;
  bool FInPath = false;
  std::vector<std::vector<TPointD>> FPath;  // destination coordinates
  std::vector<bool> FPathClosed;
  TRect FArea;  // the part of the canvas the picture can paint
  Int64 FWorkLeft = 0;
  Integer FDrawn = 0;
};

// The record loops: each plays a whole, already checked chain of records (see TIEMetafile) into
// Dest, raising EDamaged at the first record whose fields do not hold; Skipped counts records
// of kinds they leave out.
void PlayEMF(const Byte* Data, size_t Size, TCanvas* Canvas, const TRect& Dest, Integer& Skipped);
void PlayWMF(const Byte* Data, size_t Size, size_t RecordsAt, Integer ObjectCount, const double Box[4],
             TCanvas* Canvas, const TRect& Dest, Integer& Skipped);

}  // namespace iemf
