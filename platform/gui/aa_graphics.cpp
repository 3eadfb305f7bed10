#include "platform/gui/aa_graphics.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>

#include <QPainter>
#include <QPainterPath>
#include <QPolygon>

#include "platform/gui/canvas_internals.h"
#include "platform/gui/stroke_outline.h"

struct TAAPath::Impl {
  QPainterPath Path;
  bool Started = false;
};

TAAPath::TAAPath() : FImpl(std::make_unique<Impl>()) { FImpl->Path.setFillRule(Qt::OddEvenFill); }
TAAPath::~TAAPath() = default;

void TAAPath::AddArc(float X, float Y, float Width, float Height, float StartDegrees, float SweepDegrees) {
  const QRectF r(X, Y, Width, Height);
  // Qt counts angles counter-clockwise; ours go clockwise.
  if (!FImpl->Started) FImpl->Path.arcMoveTo(r, -StartDegrees);
  FImpl->Path.arcTo(r, -StartDegrees, -SweepDegrees);
  FImpl->Started = true;
}

void TAAPath::AddLine(float X1, float Y1, float X2, float Y2) {
  if (!FImpl->Started) FImpl->Path.moveTo(X1, Y1); else FImpl->Path.lineTo(X1, Y1);
  FImpl->Path.lineTo(X2, Y2);
  FImpl->Started = true;
}

namespace {

QColor FromARGB(DWORD v) { return QColor::fromRgba(static_cast<QRgb>(v)); }

QPen ToQPen(const TAAPen& p) {
  QPen pen(FromARGB(p.ARGB));
  pen.setWidthF(p.Width);
  static const Qt::PenStyle styles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine, Qt::DashDotDotLine};
  pen.setStyle(p.DashStyle >= 0 && p.DashStyle < 5 ? styles[p.DashStyle] : Qt::SolidLine);
  static const Qt::PenJoinStyle joins[] = {Qt::MiterJoin, Qt::BevelJoin, Qt::RoundJoin, Qt::SvgMiterJoin};
  pen.setJoinStyle(p.LineJoin >= 0 && p.LineJoin < 4 ? joins[p.LineJoin] : Qt::RoundJoin);
  pen.setCapStyle(Qt::FlatCap);
  return pen;
}

// A painter on the canvas's surface through its clip. Strokes are shifted by half a pixel so
// that coordinates name pixel centres; fills keep the edges where they are.
class Painter {
 public:
  Painter(TCanvas* Canvas, bool AntiAlias, bool Stroke) : FCanvas(Canvas) {
    CanvasAccess::Changing(Canvas);
    FImage = CanvasAccess::Begin(Canvas);
    if (!FImage || FImage->isNull()) {
      FImage = nullptr;
      return;
    }
    FPainter.begin(FImage);
    FPainter.setRenderHint(QPainter::Antialiasing, AntiAlias);
    TRegion clip;
    if (Canvas->GetClipRgn(clip) && clip.Impl()) FPainter.setClipRegion(clip.Impl()->Region);
    if (Stroke) FPainter.translate(0.5, 0.5);
  }
  ~Painter() {
    if (FImage) FPainter.end();
    CanvasAccess::Finish(FCanvas, FImage != nullptr);
    CanvasAccess::Changed(FCanvas);
  }
  Painter(const Painter&) = delete;
  Painter& operator=(const Painter&) = delete;
  QPainter* operator->() { return &FPainter; }
  explicit operator bool() const { return FImage != nullptr; }

 private:
  TCanvas* FCanvas;
  QImage* FImage = nullptr;
  QPainter FPainter;
};

// A solid brush with no opacity leaves every pixel as it was.
bool Invisible(const TAABrush& b) { return b.Hatch < 0 && (b.ARGB >> 24) == 0; }

void Fill(QPainter* p, const TAABrush& b, const std::function<void(QPainter*)>& Shape) {
  p->setPen(Qt::NoPen);
  if (b.Hatch >= 0) {
    static const Qt::BrushStyle hatches[] = {Qt::HorPattern, Qt::VerPattern, Qt::BDiagPattern,
                                            Qt::FDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
    p->setBrush(FromARGB(b.BackARGB));
    Shape(p);
    p->setBrush(QBrush(FromARGB(b.ARGB), hatches[b.Hatch < 6 ? b.Hatch : 0]));
  } else {
    p->setBrush(FromARGB(b.ARGB));
  }
  Shape(p);
}

QPolygon ToPolygon(const std::vector<TPoint>& Points) {
  QPolygon poly;
  poly.reserve(static_cast<int>(Points.size()));
  for (const TPoint& pt : Points) poly << QPoint(pt.X, pt.Y);
  return poly;
}

// The painter's own mitre limit, in half pen widths; longer mitres are left to it.
constexpr double kMiterLimit = 2.0;

// An unclipped 32-bit surface holding (MinX, MinY) - (MaxX, MaxY), for drawing straight into
// its rows; else null, with the canvas released.
QImage* OwnSurface(TCanvas* Canvas, double MinX, double MinY, double MaxX, double MaxY) {
  TRegion clip;
  if (Canvas->GetClipRgn(clip)) return nullptr;
  QImage* img = CanvasAccess::Begin(Canvas);
  if (img && !img->isNull() &&
      (img->format() == QImage::Format_RGB32 || img->format() == QImage::Format_ARGB32_Premultiplied) &&
      MinX >= 0 && MinY >= 0 && MaxX <= img->width() && MaxY <= img->height())
    return img;
  CanvasAccess::Finish(Canvas, false);
  return nullptr;
}

// Anti-aliased strokes of solid, opaque pens wider than a pixel (the painter's thin pens have
// their own quick stroker and look) are laid out and rasterised here and composited
// straight into an unclipped 32-bit surface, when the figure (MinX, MinY) - (MaxX, MaxY) lies on
// it with room for the pen: the painter's stroker and span blending cost many times more for
// the same coverage. Pixels differ from the painter's by rounding, and along curves where the
// painter's offset drifts from the true one.
// Null, with the canvas released, when the painter must draw it (dashes, translucent colours,
// thin or aliased pens, clips, other pixel formats, figures at the edge); else the surface, to be
// released with FinishOwnStroke.
QImage* OwnStrokeSurface(TCanvas* Canvas, const TAAPen& Pen, bool AntiAlias, double MinX, double MinY, double MaxX,
                         double MaxY, bool OnePixelToo = false) {
  if (!AntiAlias || Pen.DashStyle != 0 || (Pen.ARGB >> 24) != 0xFF ||
      !(Pen.Width > 1.0f || (OnePixelToo && Pen.Width == 1.0f)) || Pen.Width > 1e4f ||
      Pen.LineJoin < 0 || Pen.LineJoin > 2)
    return nullptr;
  // Strokes are centred on pixel centres and reach at most a mitre beyond the figure.
  const double margin = Pen.Width * kMiterLimit / 2 + 1;
  return OwnSurface(Canvas, MinX + 0.5 - margin, MinY + 0.5 - margin, MaxX + 0.5 + margin, MaxY + 0.5 + margin);
}

void FinishOwnStroke(TCanvas* Canvas, bool Drawn) {
  CanvasAccess::Finish(Canvas, Drawn);
  if (Drawn) CanvasAccess::Changed(Canvas);
}

uint32_t* Rows(QImage* Img) { return reinterpret_cast<uint32_t*>(Img->bits()); }
std::ptrdiff_t Stride(const QImage* Img) { return Img->bytesPerLine() / 4; }

// A stroke whose outline AddShape lays into a coverage raster (false when it cannot).
template <class AddShape>
bool StrokeOwn(TCanvas* Canvas, const TAAPen& Pen, bool AntiAlias, double MinX, double MinY, double MaxX, double MaxY,
               AddShape&& Add) {
  QImage* img = OwnStrokeSurface(Canvas, Pen, AntiAlias, MinX, MinY, MaxX, MaxY);
  if (!img) return false;
  thread_local TCoverageRaster raster;
  raster.Reset(img->width(), img->height());
  static const TStrokeJoin joins[] = {TStrokeJoin::Miter, TStrokeJoin::Bevel, TStrokeJoin::Round};
  const bool drawn = Add(raster, Pen.Width / 2.0, joins[Pen.LineJoin]);
  if (drawn) {
    CanvasAccess::Changing(Canvas);
    raster.CompositeOpaque(Rows(img), Stride(img), Pen.ARGB & 0xFFFFFFu);
  }
  FinishOwnStroke(Canvas, drawn);
  return drawn;
}

// The outline of an upright box with mitred corners is a frame between two rectangles. A
// one-pixel pen is done so too: the painter's thin stroker differs from it in the four corner
// pixels only, and costs many times more.
bool StrokeFrame(TCanvas* Canvas, const TAAPen& Pen, bool AntiAlias, float X, float Y, float Width, float Height) {
  if (Pen.LineJoin != 0 || !(Width > Pen.Width) || !(Height > Pen.Width)) return false;
  QImage* img = OwnStrokeSurface(Canvas, Pen, AntiAlias, X, Y, double(X) + Width, double(Y) + Height, true);
  if (!img) return false;
  const double h = Pen.Width / 2.0, left = X + 0.5, top = Y + 0.5, right = left + Width, bottom = top + Height;
  const double outer[4] = {left - h, top - h, right + h, bottom + h}, inner[4] = {left + h, top + h, right - h, bottom - h};
  CanvasAccess::Changing(Canvas);
  CompositeOpaqueFrame(Rows(img), Stride(img), img->width(), img->height(), outer, inner, Pen.ARGB & 0xFFFFFFu);
  FinishOwnStroke(Canvas, true);
  return true;
}

bool StrokePoints(TCanvas* Canvas, const TAAPen& Pen, bool AntiAlias, std::vector<TStrokePoint> Points,
                  bool Closed) {
  if (Points.empty()) return false;
  double minX = Points[0].X, minY = Points[0].Y, maxX = minX, maxY = minY;
  for (const TStrokePoint& p : Points) {
    minX = std::min(minX, p.X), maxX = std::max(maxX, p.X);
    minY = std::min(minY, p.Y), maxY = std::max(maxY, p.Y);
  }
  return StrokeOwn(Canvas, Pen, AntiAlias, minX, minY, maxX, maxY,
                   [&](TCoverageRaster& Raster, double HalfWidth, TStrokeJoin Join) {
                     for (TStrokePoint& p : Points) p.X += 0.5, p.Y += 0.5;
                     return AddPolylineStroke(Raster, Points, Closed, HalfWidth, Join, kMiterLimit);
                   });
}

std::vector<TStrokePoint> ToStrokePoints(const std::vector<TPoint>& Points) {
  std::vector<TStrokePoint> out;
  out.reserve(Points.size());
  for (const TPoint& p : Points) out.push_back({double(p.X), double(p.Y)});
  return out;
}

// An ellipse in the box (X, Y, Width, Height), whole or from Start through Sweep degrees
// clockwise.
bool StrokeEllipse(TCanvas* Canvas, const TAAPen& Pen, bool AntiAlias, float X, float Y, float Width, float Height,
                   const float* Start, float Sweep) {
  return StrokeOwn(Canvas, Pen, AntiAlias, X, Y, double(X) + Width, double(Y) + Height,
                   [&](TCoverageRaster& Raster, double HalfWidth, TStrokeJoin) {
                     const double rx = Width / 2.0, ry = Height / 2.0, cx = X + rx + 0.5, cy = Y + ry + 0.5;
                     if (!Start) return AddEllipseStroke(Raster, cx, cy, rx, ry, HalfWidth);
                     const double toRadians = std::numbers::pi / 180.0;
                     return AddArcStroke(Raster, cx, cy, rx, ry, *Start * toRadians, Sweep * toRadians, HalfWidth);
                   });
}

}  // namespace

TAAGraphics::TAAGraphics(TCanvas* Canvas) : FCanvas(Canvas) {}

void TAAGraphics::DrawLine(const TAAPen& Pen, float X1, float Y1, float X2, float Y2) {
  // Single wide lines stay with the painter: it has a quick path of its own for them.
  Painter p(FCanvas, FAntiAlias, true);
  if (!p) return;
  p->setPen(ToQPen(Pen));
  p->drawLine(QPointF(X1, Y1), QPointF(X2, Y2));
}

void TAAGraphics::DrawLines(const TAAPen& Pen, const std::vector<TPoint>& Points) {
  if (Points.size() >= 2 && StrokePoints(FCanvas, Pen, FAntiAlias, ToStrokePoints(Points), false)) return;
  Painter p(FCanvas, FAntiAlias, true);
  if (!p || Points.size() < 2) return;
  p->setPen(ToQPen(Pen));
  p->drawPolyline(ToPolygon(Points));
}

void TAAGraphics::FillRectangle(const TAABrush& Brush, float X, float Y, float Width, float Height) {
  if (Invisible(Brush)) return;
  // A smooth upright box of a solid opaque colour is its area coverage, without the painter.
  if (FAntiAlias && Brush.Hatch < 0 && (Brush.ARGB >> 24) == 0xFF && Width > 0 && Height > 0) {
    if (QImage* img = OwnSurface(FCanvas, X, Y, double(X) + Width, double(Y) + Height)) {
      const double box[4] = {X, Y, double(X) + Width, double(Y) + Height}, none[4] = {0, 0, 0, 0};
      CanvasAccess::Changing(FCanvas);
      CompositeOpaqueFrame(Rows(img), Stride(img), img->width(), img->height(), box, none, Brush.ARGB & 0xFFFFFFu);
      FinishOwnStroke(FCanvas, true);
      return;
    }
  }
  Painter p(FCanvas, FAntiAlias, false);
  if (!p) return;
  Fill(p.operator->(), Brush, [&](QPainter* q) { q->drawRect(QRectF(X, Y, Width, Height)); });
}

namespace {

bool Whole(float v) { return std::abs(v) < float(1 << 24) && v == std::floor(v); }

// An outline of a solid, opaque pen of an odd width along whole pixel centres with mitred corners
// covers whole pixels only: its ring is filled straight into the rows. These are the painter's
// own pixels wherever its stroke has no partial coverage or end rules of its own (anti-aliased
// from three pixels wide; aliased at any width, and with any corners at one pixel), for boxes
// wider and taller than the pen that lie wholly on an unclipped 32-bit surface. False when the
// painter must draw it.
bool FillOutlineRing(TCanvas* Canvas, const TAAPen& Pen, bool AntiAlias, float X, float Y, float Width, float Height) {
  const float w = Pen.Width;
  if (Pen.DashStyle != 0 || (Pen.ARGB >> 24) != 0xFF || !Whole(w) || int(w) % 2 == 0 || !Whole(X) || !Whole(Y) ||
      !Whole(Width) || !Whole(Height) || Width <= w || Height <= w)
    return false;
  const int pen = int(w), x = int(X), y = int(Y), right = x + int(Width), bottom = y + int(Height);
  const bool mitred = Pen.LineJoin == 0;
  if (AntiAlias ? (pen < 3 || !mitred) : (pen > 1 && !mitred)) return false;
  TRegion clip;
  if (Canvas->GetClipRgn(clip)) return false;
  const int e = (pen - 1) / 2;
  const QRect outer(QPoint(x - e, y - e), QPoint(right + e, bottom + e));
  const QRect inner(QPoint(x + e + 1, y + e + 1), QPoint(right - e - 1, bottom - e - 1));
  QImage* img = CanvasAccess::Begin(Canvas);
  const bool fits = img && !img->isNull() && img->rect().contains(outer) &&
                    (img->format() == QImage::Format_RGB32 || img->format() == QImage::Format_ARGB32 ||
                     img->format() == QImage::Format_ARGB32_Premultiplied);
  if (!fits) {
    CanvasAccess::Finish(Canvas, false);
    return false;
  }
  CanvasAccess::Changing(Canvas);
  {
    const QRgb v = 0xFF000000u | (Pen.ARGB & 0xFFFFFFu);
    for (int row = outer.top(); row <= outer.bottom(); ++row) {
      QRgb* line = reinterpret_cast<QRgb*>(img->scanLine(row));
      if (row < inner.top() || row > inner.bottom()) {
        std::fill(line + outer.left(), line + outer.right() + 1, v);
      } else {
        std::fill(line + outer.left(), line + inner.left(), v);
        std::fill(line + inner.right() + 1, line + outer.right() + 1, v);
      }
    }
  }
  CanvasAccess::Finish(Canvas, true);
  CanvasAccess::Changed(Canvas);
  return true;
}

}  // namespace

void TAAGraphics::DrawRectangle(const TAAPen& Pen, float X, float Y, float Width, float Height) {
  if (FillOutlineRing(FCanvas, Pen, FAntiAlias, X, Y, Width, Height)) return;
  // A box no wider or taller than the pen has no inside left; the painter draws those.
  if (StrokeFrame(FCanvas, Pen, FAntiAlias, X, Y, Width, Height)) return;
  if (Width > Pen.Width && Height > Pen.Width &&
      StrokePoints(FCanvas, Pen, FAntiAlias, {{X, Y}, {X + Width, Y}, {X + Width, Y + Height}, {X, Y + Height}}, true))
    return;
  Painter p(FCanvas, FAntiAlias, true);
  if (!p) return;
  p->setPen(ToQPen(Pen));
  p->setBrush(Qt::NoBrush);
  p->drawRect(QRectF(X, Y, Width, Height));
}

void TAAGraphics::FillEllipse(const TAABrush& Brush, float X, float Y, float Width, float Height) {
  if (Invisible(Brush)) return;
  Painter p(FCanvas, FAntiAlias, false);
  if (!p) return;
  Fill(p.operator->(), Brush, [&](QPainter* q) { q->drawEllipse(QRectF(X, Y, Width, Height)); });
}

void TAAGraphics::DrawEllipse(const TAAPen& Pen, float X, float Y, float Width, float Height) {
  if (StrokeEllipse(FCanvas, Pen, FAntiAlias, X, Y, Width, Height, nullptr, 0)) return;
  Painter p(FCanvas, FAntiAlias, true);
  if (!p) return;
  p->setPen(ToQPen(Pen));
  p->setBrush(Qt::NoBrush);
  p->drawEllipse(QRectF(X, Y, Width, Height));
}

void TAAGraphics::FillPolygon(const TAABrush& Brush, const std::vector<TPoint>& Points) {
  if (Invisible(Brush)) return;
  Painter p(FCanvas, FAntiAlias, false);
  if (!p || Points.size() < 3) return;
  const QPolygon poly = ToPolygon(Points);
  Fill(p.operator->(), Brush, [&](QPainter* q) { q->drawPolygon(poly, Qt::OddEvenFill); });
}

void TAAGraphics::DrawPolygon(const TAAPen& Pen, const std::vector<TPoint>& Points) {
  if (Points.size() >= 3 && StrokePoints(FCanvas, Pen, FAntiAlias, ToStrokePoints(Points), true)) return;
  Painter p(FCanvas, FAntiAlias, true);
  if (!p || Points.size() < 2) return;
  p->setPen(ToQPen(Pen));
  p->setBrush(Qt::NoBrush);
  p->drawPolygon(ToPolygon(Points));
}

void TAAGraphics::DrawArc(const TAAPen& Pen, float X, float Y, float Width, float Height, float StartDegrees,
                          float SweepDegrees) {
  if (StrokeEllipse(FCanvas, Pen, FAntiAlias, X, Y, Width, Height, &StartDegrees, SweepDegrees)) return;
  Painter p(FCanvas, FAntiAlias, true);
  if (!p) return;
  p->setPen(ToQPen(Pen));
  QPainterPath path;
  const QRectF r(X, Y, Width, Height);
  path.arcMoveTo(r, -StartDegrees);
  path.arcTo(r, -StartDegrees, -SweepDegrees);
  p->drawPath(path);
}

void TAAGraphics::FillPath(const TAABrush& Brush, const TAAPath& Path) {
  if (Invisible(Brush)) return;
  Painter p(FCanvas, FAntiAlias, false);
  if (!p) return;
  QPainterPath closed = Path.Internals()->Path;
  closed.closeSubpath();
  Fill(p.operator->(), Brush, [&](QPainter* q) { q->drawPath(closed); });
}

void TAAGraphics::DrawPath(const TAAPen& Pen, const TAAPath& Path) {
  Painter p(FCanvas, FAntiAlias, true);
  if (!p) return;
  p->setPen(ToQPen(Pen));
  p->setBrush(Qt::NoBrush);
  QPainterPath closed = Path.Internals()->Path;
  closed.closeSubpath();
  p->drawPath(closed);
}
