// A canvas wrapper that draws lines and shapes anti-aliased when the desktop's graphics service
// is available and asked for, and through the plain canvas otherwise, with one set of calls.
// Its pen and brush mirror the canvas's and add a transparency. Text always goes to the canvas.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "imaging/core/ie_types.h"
#include "platform/gui/aa_graphics.h"
#include "platform/gui/canvas.h"

// The anti-aliased service is loaded by the first image view and released by the last.
extern bool IEGDIPAllowed;
bool IEGDIPLoaded();
bool IEGDIPEnabled();
void IEGDIPLoadLibrary();
void IEGDIPUnloadLibrary();

class TIEPen : public TObject {
 public:
  explicit TIEPen(TPen* Pen);

  DWORD GetARGB() const;
  void RecreatePen();
  void SetColor(TColor Value);
  void SetTransparency(Integer Value);
  void SetWidth(float Value);
  void SetStyle(TPenStyle Value);
  void SetMode(TPenMode Value);
  void SetLineJoin(Byte Value);

  TColor Color() const { return FColor; }
  Integer Transparency() const { return FTransparency; }
  float Width() const { return FWidth; }
  TPenStyle Style() const { return FStyle; }
  Byte LineJoin() const { return FLineJoin; }
  // The anti-aliased pen, when the service was enabled at creation or a later change.
  const std::optional<TAAPen>& Handle() const { return FHandle; }

 private:
  TPen* FPen;
  std::optional<TAAPen> FHandle;
  TColor FColor;
  Integer FTransparency = 255;
  float FWidth;
  TPenStyle FStyle;
  TPenMode FMode;
  Byte FLineJoin = 2;
};

class TIEBrush : public TObject {
 public:
  explicit TIEBrush(TBrush* Brush);

  DWORD GetARGB() const;
  void RecreateBrush();
  void SetColor(TColor Value);
  void SetTransparency(Integer Value);
  void SetStyle(TBrushStyle Value);

  TColor Color() const { return FColor; }
  Integer Transparency() const { return FTransparency; }
  TBrushStyle Style() const { return FStyle; }
  TColor BackgroundColor = 0;
  Integer BackgroundTransparency = 0;
  const std::optional<TAABrush>& Handle() const { return FHandle; }

 private:
  TBrush* FBrush;
  std::optional<TAABrush> FHandle;
  TColor FColor;
  Integer FTransparency = 255;
  TBrushStyle FStyle;
};

class TIECanvas : public TObject {
 public:
  TIECanvas(TCanvas* Canvas, bool AntiAlias = true, bool UseGDIPlus = true);
  ~TIECanvas() override;

  TIEPen* Pen() const { return FPen.get(); }
  TIEBrush* Brush() const { return FBrush.get(); }
  TFont* GetFont() const { return FCanvas->Font(); }
  TCanvas* GetHandle() const { return FCanvas; }
  bool UsesGDIPlus() const { return FGraphics != nullptr; }
  TPoint PenPos() const { return FPenPos; }

  void SetSmoothingMode(Byte Mode);
  void MoveTo(Integer X, Integer Y);
  void SetPenPos(const TPoint& Value) { MoveTo(Value.X, Value.Y); }
  void LineTo(Integer X, Integer Y);
  void DrawLine(Integer X1, Integer Y1, Integer X2, Integer Y2);
  void FillRect(const TRect& Rect);
  void Rectangle(Integer X1, Integer Y1, Integer X2, Integer Y2);
  void RectangleRect(const TRect& Rect);
  void Ellipse(Integer X1, Integer Y1, Integer X2, Integer Y2);
  void EllipseRect(const TRect& Rect);
  void Polygon(const std::vector<TPoint>& Points);
  void Polyline(const std::vector<TPoint>& Points);
  void Arc(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3, Integer X4, Integer Y4);
  void RoundRect(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3);

  Integer TextWidth(const AnsiString& Text) { return FCanvas->TextWidth(Text); }
  Integer TextHeight(const AnsiString& Text) { return FCanvas->TextHeight(Text); }
  void TextOut(Integer X, Integer Y, const AnsiString& Text) { FCanvas->TextOut(X, Y, Text); }
  void TextRect(const TRect& Rect, Integer X, Integer Y, const AnsiString& Text) { FCanvas->TextRect(Rect, X, Y, Text); }

 private:
  TCanvas* FCanvas;
  std::unique_ptr<TAAGraphics> FGraphics;
  std::unique_ptr<TIEPen> FPen;
  std::unique_ptr<TIEBrush> FBrush;
  TPoint FPenPos{0, 0};
};
