#include "platform/gui/aa_graphics.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include <QPainter>
#include <QPainterPath>
#include <QPolygon>

#include "platform/gui/canvas_internals.h"

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

}  // namespace

TAAGraphics::TAAGraphics(TCanvas* Canvas) : FCanvas(Canvas) {}

void TAAGraphics::DrawLine(const TAAPen& Pen, float X1, float Y1, float X2, float Y2) {
  Painter p(FCanvas, FAntiAlias, true);
  if (!p) return;
  p->setPen(ToQPen(Pen));
  p->drawLine(QPointF(X1, Y1), QPointF(X2, Y2));
}

void TAAGraphics::DrawLines(const TAAPen& Pen, const std::vector<TPoint>& Points) {
  Painter p(FCanvas, FAntiAlias, true);
  if (!p || Points.size() < 2) return;
  p->setPen(ToQPen(Pen));
  p->drawPolyline(ToPolygon(Points));
}

void TAAGraphics::FillRectangle(const TAABrush& Brush, float X, float Y, float Width, float Height) {
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
  Painter p(FCanvas, FAntiAlias, true);
  if (!p) return;
  p->setPen(ToQPen(Pen));
  p->setBrush(Qt::NoBrush);
  p->drawRect(QRectF(X, Y, Width, Height));
}

void TAAGraphics::FillEllipse(const TAABrush& Brush, float X, float Y, float Width, float Height) {
  Painter p(FCanvas, FAntiAlias, false);
  if (!p) return;
  Fill(p.operator->(), Brush, [&](QPainter* q) { q->drawEllipse(QRectF(X, Y, Width, Height)); });
}

void TAAGraphics::DrawEllipse(const TAAPen& Pen, float X, float Y, float Width, float Height) {
  Painter p(FCanvas, FAntiAlias, true);
  if (!p) return;
  p->setPen(ToQPen(Pen));
  p->setBrush(Qt::NoBrush);
  p->drawEllipse(QRectF(X, Y, Width, Height));
}

void TAAGraphics::FillPolygon(const TAABrush& Brush, const std::vector<TPoint>& Points) {
  Painter p(FCanvas, FAntiAlias, false);
  if (!p || Points.size() < 3) return;
  const QPolygon poly = ToPolygon(Points);
  Fill(p.operator->(), Brush, [&](QPainter* q) { q->drawPolygon(poly, Qt::OddEvenFill); });
}

void TAAGraphics::DrawPolygon(const TAAPen& Pen, const std::vector<TPoint>& Points) {
  Painter p(FCanvas, FAntiAlias, true);
  if (!p || Points.size() < 2) return;
  p->setPen(ToQPen(Pen));
  p->setBrush(Qt::NoBrush);
  p->drawPolygon(ToPolygon(Points));
}

void TAAGraphics::DrawArc(const TAAPen& Pen, float X, float Y, float Width, float Height, float StartDegrees,
                          float SweepDegrees) {
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
