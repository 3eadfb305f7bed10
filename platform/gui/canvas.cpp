#include "platform/gui/canvas.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <list>
#include <mutex>
#include <string>
#include <unordered_map>

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRegion>
#include <QTransform>

#include "platform/gui/bitmap.h"
#include "platform/gui/canvas_internals.h"
#include "platform/gui/pixel_rows.h"
#include "platform/gui/qt_graphics_bridge.h"

// ===================================================================== regions

namespace {

// Stands for "no limit" where a region must be complemented; far beyond any surface.
const QRect kEverything(-(1 << 28), -(1 << 28), 1 << 29, 1 << 29);

// Coordinates are held to 28 bits (the desktop keeps 27), far beyond any surface, so that
// widths, pen offsets and Qt's own rectangle arithmetic cannot overflow.
constexpr int kCoordLimit = 1 << 27;
int ClampCoord(Int64 v) { return int(std::clamp<Int64>(v, -kCoordLimit, kCoordLimit)); }

QRect ToQRect(const TRect& r) {
  return QRect(QPoint(ClampCoord(r.Left), ClampCoord(r.Top)), QPoint(ClampCoord(Int64(r.Right) - 1), ClampCoord(Int64(r.Bottom) - 1)));
}

TRect FromQRect(const QRect& r) {
  if (r.isEmpty()) return TRect{};
  return TRect{r.left(), r.top(), r.right() + 1, r.bottom() + 1};
}

// A region from a closed path: the pixels whose centres lie inside it. Sampling centres keeps
// the right and bottom edges of a shape outside it, as the desktop's regions do.
QRegion RegionFromPath(const QPainterPath& path) {
  const QRectF b = path.boundingRect();
  if (b.isEmpty()) return QRegion();
  const QRect box = b.toAlignedRect().intersected(kEverything);
  if (box.isEmpty() || qint64(box.width()) * box.height() > (qint64(1) << 26)) return QRegion();
  QImage img(box.size(), QImage::Format_Alpha8);
  img.fill(0);
  {
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.translate(-box.x(), -box.y());
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawPath(path);
  }
  QRegion r;
  for (int y = 0; y < img.height(); ++y) {
    const uchar* row = img.constScanLine(y);
    int x = 0;
    while (x < img.width()) {
      while (x < img.width() && row[x] < 128) ++x;
      int start = x;
      while (x < img.width() && row[x] >= 128) ++x;
      if (x > start) r += QRect(box.x() + start, box.y() + y, x - start, 1);
    }
  }
  return r;
}

// The path through pixel centres that a shape with the bounding box (x1,y1)-(x2,y2) follows.
QRectF CentreRect(int x1, int y1, int x2, int y2) { return QRectF(x1 + 0.5, y1 + 0.5, x2 - x1 - 1, y2 - y1 - 1); }

void Normalize(int& x1, int& y1, int& x2, int& y2) {
  x1 = ClampCoord(x1), y1 = ClampCoord(y1), x2 = ClampCoord(x2), y2 = ClampCoord(y2);
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
}

}  // namespace

TRegion::TRegion() : FData(std::make_unique<Data>()) {}
TRegion::TRegion(const TRegion& Other) : FData(std::make_unique<Data>(*Other.FData)) {}
TRegion& TRegion::operator=(const TRegion& Other) {
  *FData = *Other.FData;
  return *this;
}
TRegion::~TRegion() = default;

TRegion TRegion::CreateRectRgn(Integer Left, Integer Top, Integer Right, Integer Bottom) {
  Normalize(Left, Top, Right, Bottom);
  TRegion r;
  r.FData->Region = QRegion(ToQRect(TRect{Left, Top, Right, Bottom}).intersected(kEverything));
  return r;
}

TRegion TRegion::CreateRectRgnIndirect(const TRect& R) { return CreateRectRgn(R.Left, R.Top, R.Right, R.Bottom); }

TRegion TRegion::CreateEllipticRgn(Integer Left, Integer Top, Integer Right, Integer Bottom) {
  Normalize(Left, Top, Right, Bottom);
  QPainterPath path;
  path.addEllipse(QRectF(Left, Top, double(Right) - Left, double(Bottom) - Top));
  TRegion r;
  r.FData->Region = RegionFromPath(path);
  return r;
}

TRegion TRegion::CreatePolygonRgn(const TPoint* Points, Integer Count, Integer FillMode) {
  TRegion r;
  if (!Points || Count < 3) return r;
  QPolygonF poly;
  for (Integer i = 0; i < Count; ++i) poly << QPointF(Points[i].X, Points[i].Y);
  QPainterPath path;
  path.addPolygon(poly);
  path.closeSubpath();
  path.setFillRule(FillMode == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
  r.FData->Region = RegionFromPath(path);
  return r;
}

TRegion TRegion::CreatePolygonRgn(const std::vector<TPoint>& Points, Integer FillMode) {
  return CreatePolygonRgn(Points.data(), Integer(Points.size()), FillMode);
}

TRegion TRegion::CreateRoundRectRgn(Integer Left, Integer Top, Integer Right, Integer Bottom, Integer WidthEllipse,
                                    Integer HeightEllipse) {
  Normalize(Left, Top, Right, Bottom);
  QPainterPath path;
  path.addRoundedRect(QRectF(Left, Top, double(Right) - Left, double(Bottom) - Top), std::abs(WidthEllipse) / 2.0,
                      std::abs(HeightEllipse) / 2.0);
  TRegion r;
  r.FData->Region = RegionFromPath(path);
  return r;
}

bool TRegion::Empty() const { return FData->Region.isEmpty(); }
bool TRegion::PtInRegion(Integer X, Integer Y) const { return FData->Region.contains(QPoint(X, Y)); }
TRect TRegion::Bounds() const { return FromQRect(FData->Region.boundingRect()); }
void TRegion::Offset(Integer dx, Integer dy) { FData->Region.translate(dx, dy); }
bool TRegion::operator==(const TRegion& Other) const { return FData->Region == Other.FData->Region; }

void CombineRgn(TRegion& Dest, const TRegion& A, const TRegion& B, Integer Mode) {
  const QRegion& a = A.Impl()->Region;
  const QRegion& b = B.Impl()->Region;
  QRegion r;
  switch (Mode) {
    case RGN_AND: r = a.intersected(b); break;
    case RGN_OR: r = a.united(b); break;
    case RGN_XOR: r = a.xored(b); break;
    case RGN_DIFF: r = a.subtracted(b); break;
    default: r = a; break;
  }
  Dest.Impl()->Region = r;
}

// ===================================================================== pixel work

namespace {

// Coverage of one drawing step over a box of the surface: 0 = untouched, 255 = fully covered.
struct Mask {
  QRect Box;
  std::vector<uchar> A;
  // Nothing was put in yet: a painter may then draw straight into the coverage.
  bool Blank = true;

  explicit Mask(const QRect& box) : Box(box.isValid() ? box : QRect()) {
    A.assign(size_t(std::max(0, Box.width())) * size_t(std::max(0, Box.height())), 0);
  }
  bool Empty() const { return Box.isEmpty(); }
  uchar At(int x, int y) const {
    if (!Box.contains(x, y)) return 0;
    return A[size_t(y - Box.y()) * size_t(Box.width()) + size_t(x - Box.x())];
  }
  void Set(int x, int y, uchar v = 255) {
    if (!Box.contains(x, y)) return;
    A[size_t(y - Box.y()) * size_t(Box.width()) + size_t(x - Box.x())] = v;
    Blank = false;
  }
  void FillRect(const QRect& r, uchar v = 255) {
    const QRect c = r.intersected(Box);
    for (int y = c.top(); y <= c.bottom(); ++y)
      std::fill_n(&A[size_t(y - Box.y()) * size_t(Box.width()) + size_t(c.left() - Box.x())], c.width(), v);
    if (!c.isEmpty()) Blank = false;
  }
  // Removes from this mask every pixel covered by Other.
  void Subtract(const Mask& other) {
    if (Blank || other.Blank) return;
    const QRect c = Box.intersected(other.Box);
    for (int y = c.top(); y <= c.bottom(); ++y) {
      const uchar* o = &other.A[size_t(y - other.Box.y()) * size_t(other.Box.width()) + size_t(c.left() - other.Box.x())];
      uchar* d = &A[size_t(y - Box.y()) * size_t(Box.width()) + size_t(c.left() - Box.x())];
      for (int x = 0; x < c.width(); ++x)
        if (o[x]) d[x] = 0;
    }
  }
  // Draws with a Qt painter into the mask (no anti-aliasing unless asked for).
  template <class F>
  void Paint(F draw, bool antialias = false) {
    if (Empty()) return;
    const auto paintInto = [&](QImage& img) {
      QPainter p(&img);
      p.setRenderHint(QPainter::Antialiasing, antialias);
      p.setRenderHint(QPainter::TextAntialiasing, antialias);
      p.translate(-Box.x(), -Box.y());
      draw(p);
    };
    if (Blank) {
      // Onto nothing, painting over equals taking the larger coverage: draw in place. Without
      // anti-aliasing the painter only writes full coverage, as the threshold below would.
      QImage img(A.data(), Box.width(), Box.height(), Box.width(), QImage::Format_Alpha8);
      paintInto(img);
      if (!antialias)
        for (uchar& v : A) v = v >= 128 ? 255 : 0;
      Blank = false;
      return;
    }
    QImage img(Box.size(), QImage::Format_Alpha8);
    img.fill(0);
    paintInto(img);
    for (int y = 0; y < Box.height(); ++y) {
      const uchar* row = img.constScanLine(y);
      uchar* dst = &A[size_t(y) * size_t(Box.width())];
      for (int x = 0; x < Box.width(); ++x)
        if (row[x]) dst[x] = antialias ? std::max(dst[x], row[x]) : uchar(row[x] >= 128 ? 255 : dst[x]);
    }
  }
};

// What a mask is painted with.
struct Source {
  enum Kind { Solid, Hatch, Pattern } kind = Solid;
  QRgb Rgb = 0;            // 0xRRGGBB
  TBrushStyle HatchStyle = bsSolid;
  QImage PatternImage;     // Format_RGB32 tile
};

// The desktop's 8 x 8 hatch patterns, anchored at the surface origin.
bool HatchBit(TBrushStyle s, int x, int y) {
  const int hx = ((x % 8) + 8) % 8, hy = ((y % 8) + 8) % 8;
  switch (s) {
    case bsHorizontal: return hy == 3;
    case bsVertical: return hx == 4;
    case bsFDiagonal: return hx == hy;
    case bsBDiagonal: return hx + hy == 7;
    case bsCross: return hy == 3 || hx == 4;
    case bsDiagCross: return hx == hy || hx + hy == 7;
    default: return true;
  }
}

QRgb Rop2(TPenMode m, QRgb P, QRgb D) {
  switch (m) {
    case pmBlack: return 0;
    case pmWhite: return 0xFFFFFF;
    case pmNop: return D;
    case pmNot: return ~D;
    case pmCopy: return P;
    case pmNotCopy: return ~P;
    case pmMergePenNot: return P | ~D;
    case pmMaskPenNot: return P & ~D;
    case pmMergeNotPen: return ~P | D;
    case pmMaskNotPen: return ~P & D;
    case pmMerge: return P | D;
    case pmNotMerge: return ~(P | D);
    case pmMask: return P & D;
    case pmNotMask: return ~(P & D);
    case pmXor: return P ^ D;
    case pmNotXor: return ~(P ^ D);
  }
  return P;
}

// A ternary raster operation: the code's bit (P<<2 | S<<1 | D) gives each result bit.
QRgb Rop3(TCopyMode rop, QRgb P, QRgb S, QRgb D) {
  const unsigned code = (rop >> 16) & 0xFF;
  switch (code) {
    case 0xCC: return S;
    case 0x88: return S & D;
    case 0xEE: return S | D;
    case 0x66: return S ^ D;
    case 0x33: return ~S;
    case 0x55: return ~D;
    case 0x00: return 0;
    case 0xFF: return 0xFFFFFF;
    default: break;
  }
  QRgb r = 0;
  for (unsigned i = 0; i < 8; ++i)
    if (code & (1u << i)) r |= ((i & 4) ? P : ~P) & ((i & 2) ? S : ~S) & ((i & 1) ? D : ~D);
  return r;
}

bool Is32Bit(const QImage& img) {
  return img.format() == QImage::Format_RGB32 || img.format() == QImage::Format_ARGB32 ||
         img.format() == QImage::Format_ARGB32_Premultiplied;
}

// The rectangles of the surface a step may touch: the clip (when there is one) within Area.
QRegion DrawableArea(const QImage& img, const QRegion* clip, const QRect& area) {
  QRect r = area.intersected(img.rect());
  if (r.isEmpty()) return QRegion();
  if (!clip) return QRegion(r);
  return clip->intersected(r);
}

inline QRgb* PixelAt(QImage& img, int x, int y) { return reinterpret_cast<QRgb*>(img.scanLine(y)) + x; }

// Applies Mask painted with Src through Mode. Partial coverage blends (copy mode) or counts as
// covered from one half up (other modes).
// Box locates the coverage rows Cover (Box.width() bytes each) on the surface.
void ApplyCover(QImage& img, const QRegion* clip, const QRect& Box, const uchar* Cover, const Source& src,
                TPenMode mode) {
  if (Box.isEmpty()) return;
  const QRegion area = DrawableArea(img, clip, Box);
  const int mx = Box.x(), my = Box.y();
  const size_t stride = size_t(Box.width());
  const auto blend = [](QRgb P, QRgb D, uchar a) {
    auto mix = [a](QRgb p, QRgb d, int shift) {
      const int pc = (p >> shift) & 0xFF, dc = (d >> shift) & 0xFF;
      return QRgb((dc * (255 - a) + pc * a + 127) / 255) << shift;
    };
    return mix(P, D, 16) | mix(P, D, 8) | mix(P, D, 0);
  };
  // The area lies inside the mask's box, so rows are read without bounds checks.
  for (const QRect& r : area) {
    for (int y = r.top(); y <= r.bottom(); ++y) {
      QRgb* row = PixelAt(img, 0, y);
      const uchar* cover = Cover + size_t(y - my) * stride;
      if (src.kind == Source::Solid && mode == pmCopy) {
        // The common case (every solid pen and brush) in a tight loop.
        const QRgb P = src.Rgb & 0xFFFFFF;
        for (int x = r.left(); x <= r.right(); ++x) {
          const uchar a = cover[x - mx];
          if (a == 255)
            row[x] = 0xFF000000u | P;
          else if (a)
            row[x] = 0xFF000000u | blend(P, row[x] & 0xFFFFFF, a);
        }
        continue;
      }
      for (int x = r.left(); x <= r.right(); ++x) {
        const uchar a = cover[x - mx];
        if (!a) continue;
        QRgb P;
        if (src.kind == Source::Hatch) {
          if (!HatchBit(src.HatchStyle, x, y)) continue;
          P = src.Rgb;
        } else if (src.kind == Source::Pattern) {
          const QImage& t = src.PatternImage;
          P = reinterpret_cast<const QRgb*>(t.constScanLine(((y % t.height()) + t.height()) % t.height()))
              [((x % t.width()) + t.width()) % t.width()] & 0xFFFFFF;
        } else {
          P = src.Rgb;
        }
        const QRgb D = row[x] & 0xFFFFFF;
        QRgb out;
        if (mode == pmCopy && a != 255) {
          out = blend(P, D, a);
        } else {
          if (a < 128) continue;
          out = Rop2(mode, P, D);
        }
        row[x] = 0xFF000000u | (out & 0xFFFFFF);
      }
    }
  }
}

void Apply(QImage& img, const QRegion* clip, const Mask& m, const Source& src, TPenMode mode) {
  if (!m.Empty()) ApplyCover(img, clip, m.Box, m.A.data(), src, mode);
}

// Bresenham from (x0,y0) towards (x1,y1), the end pixel left out. Very long lines are first cut
// down to Limit so a wild coordinate cannot make the loop run for billions of steps.
template <class F>
void WalkLine(int x0, int y0, int x1, int y1, const QRect& limit, F plot) {
  const double span = std::max(std::abs(double(x1) - x0), std::abs(double(y1) - y0));
  // Walking a million pixels is cheap; only absurd lines are shortened (their pixels may then
  // sit one step off the ideal line, which nobody can see on a surface this small).
  const double reach = std::max(4.0 * (double(limit.width()) + limit.height()) + 16, double(1 << 20));
  if (span > reach) {
    // Keep the part of the line near the limit box (parametric clip against a padded box).
    const double pad = 2;
    double t0 = 0, t1 = 1;
    const double dx = double(x1) - x0, dy = double(y1) - y0;
    auto clipEdge = [&](double p, double q) {
      if (p == 0) return q >= 0;
      const double t = q / p;
      if (p < 0) {
        if (t > t1) return false;
        t0 = std::max(t0, t);
      } else {
        if (t < t0) return false;
        t1 = std::min(t1, t);
      }
      return true;
    };
    if (!clipEdge(-dx, x0 - (limit.left() - pad)) || !clipEdge(dx, (limit.right() + pad) - x0) ||
        !clipEdge(-dy, y0 - (limit.top() - pad)) || !clipEdge(dy, (limit.bottom() + pad) - y0))
      return;
    const int nx0 = int(std::lround(x0 + t0 * dx)), ny0 = int(std::lround(y0 + t0 * dy));
    const int nx1 = int(std::lround(x0 + t1 * dx)), ny1 = int(std::lround(y0 + t1 * dy));
    x0 = nx0; y0 = ny0; x1 = nx1; y1 = ny1;
  }
  int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
  int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
  int err = dx + dy;
  int x = x0, y = y0;
  while (!(x == x1 && y == y1)) {
    plot(x, y);
    const int e2 = 2 * err;
    if (e2 >= dy) { err += dy; x += sx; }
    if (e2 <= dx) { err += dx; y += sy; }
  }
}

// On/off run lengths of the desktop's cosmetic pen styles.
std::vector<int> DashPattern(TPenStyle s) {
  switch (s) {
    case psDash: return {18, 6};
    case psDot: return {3, 3};
    case psDashDot: return {9, 6, 3, 6};
    case psDashDotDot: return {9, 3, 3, 3, 3, 3};
    default: return {};
  }
}

}  // namespace

// ===================================================================== canvas state

namespace {
struct SavedState {
  TPen Pen;
  TBrush Brush;
  TFont Font;
  TPoint PenPos;
  TCopyMode CopyMode = cmSrcCopy;
  bool HasClip = false;
  QRegion Clip;
};
}  // namespace

struct TCanvas::Impl {
  bool HasClip = false;
  QRegion Clip;
  std::vector<std::unique_ptr<SavedState>> Saved;
  std::recursive_mutex Mutex;
  std::atomic<int> Locks{0};
};

TCanvas::TCanvas()
    : FPen(std::make_unique<TPen>()), FBrush(std::make_unique<TBrush>()), FFont(std::make_unique<TFont>()),
      FImpl(std::make_unique<Impl>()) {}

TCanvas::~TCanvas() = default;

// A bare canvas has nothing to draw on; bitmaps, controls and images supply the surface.
QImage* TCanvas::BeginDrawing() { return nullptr; }

void TCanvas::FinishDrawing(bool) {}

const QImage* TCanvas::BeginReading() { return BeginDrawing(); }

void TCanvas::FinishReading() { FinishDrawing(false); }

void TCanvas::Changing() {
  if (OnChanging) OnChanging(this);
}

void TCanvas::Changed() {
  if (OnChange) OnChange(this);
}

// One drawing call: the surface, the clip and the change notifications around it.
struct CanvasStep {
  TCanvas* C;
  QImage* Img = nullptr;
  bool Modifies;
  const QRegion* Clip = nullptr;

  CanvasStep(TCanvas* c, TCanvas::Impl* impl, bool modifies) : C(c), Modifies(modifies) {
    Img = CanvasAccess::Begin(c);
    if (Img && Img->isNull()) Img = nullptr;
    if (impl->HasClip) Clip = &impl->Clip;
  }
  ~CanvasStep() { CanvasAccess::Finish(C, Modifies && Img); }
  CanvasStep(const CanvasStep&) = delete;
  CanvasStep& operator=(const CanvasStep&) = delete;
  // The part of the surface a step can reach, for sizing masks.
  QRect Reach() const {
    if (!Img) return QRect();
    QRect r = Img->rect();
    if (Clip) r = r.intersected(Clip->boundingRect());
    return r;
  }
};

// ---- helpers that need the tools of a canvas

namespace {

Source BrushSource(const TBrush* b) {
  Source s;
  s.Rgb = ColorToRgbBits(b->Color());
  if (b->Bitmap() && !b->Bitmap()->Empty()) {
    s.kind = Source::Pattern;
    s.PatternImage = BitmapToRGB32(b->Bitmap());
  } else if (b->Style() != bsSolid && b->Style() != bsClear) {
    s.kind = Source::Hatch;
    s.HatchStyle = b->Style();
  }
  return s;
}

bool BrushPaints(const TBrush* b) { return b->Style() != bsClear || (b->Bitmap() && !b->Bitmap()->Empty()); }
bool BrushOpaqueBackground(const TBrush* b) { return b->Style() == bsSolid; }

Source SolidSource(TColor c) {
  Source s;
  s.Rgb = ColorToRgbBits(c);
  return s;
}

QPen OutlinePen(const TPen* pen) {
  QPen p(Qt::black);
  p.setWidth(pen->Width() <= 1 ? 0 : std::min(pen->Width(), 1 << 16));
  p.setCapStyle(Qt::RoundCap);
  p.setJoinStyle(Qt::RoundJoin);
  return p;
}

// Pen pixels of a chain of straight segments (closed when Close). One-pixel pens walk the
// segments pixel by pixel, leaving each segment's end out and carrying the dash pattern along;
// gaps of a styled line go into Gaps. Wider pens are stroked round-capped through pixel centres.
void StrokePolyline(const TPen* pen, const TPoint* pts, int count, bool close, Mask& penMask, Mask* gaps) {
  if (count < 1 || pen->Style() == psClear) return;
  if (pen->Width() <= 1) {
    const std::vector<int> dash = DashPattern(pen->Style());
    size_t run = 0;
    int left = dash.empty() ? 0 : dash[0];
    auto plot = [&](int x, int y) {
      if (dash.empty()) {
        penMask.Set(x, y);
        return;
      }
      if (run % 2 == 0) penMask.Set(x, y);
      else if (gaps) gaps->Set(x, y);
      if (--left == 0) {
        run = (run + 1) % dash.size();
        left = dash[run];
      }
    };
    for (int i = 0; i + 1 < count; ++i) WalkLine(pts[i].X, pts[i].Y, pts[i + 1].X, pts[i + 1].Y, penMask.Box, plot);
    if (close && count > 1) WalkLine(pts[count - 1].X, pts[count - 1].Y, pts[0].X, pts[0].Y, penMask.Box, plot);
    return;
  }
  QPainterPath path;
  path.moveTo(pts[0].X + 0.5, pts[0].Y + 0.5);
  for (int i = 1; i < count; ++i) path.lineTo(pts[i].X + 0.5, pts[i].Y + 0.5);
  if (close) path.closeSubpath();
  const QPen qp = OutlinePen(pen);
  penMask.Paint([&](QPainter& p) {
    p.setPen(qp);
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
  });
}

void StrokePath(const TPen* pen, const QPainterPath& path, Mask& penMask) {
  if (pen->Style() == psClear) return;
  const QPen qp = OutlinePen(pen);
  penMask.Paint([&](QPainter& p) {
    p.setPen(qp);
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
  });
}

void FillPath(const QPainterPath& path, Mask& fillMask) {
  fillMask.Paint([&](QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawPath(path);
  });
}

QRect PaddedBounds(const QRectF& r, int pad) {
  return r.intersected(QRectF(kEverything)).toAlignedRect().adjusted(-pad, -pad, pad, pad).intersected(kEverything);
}

// Pens wider than any surface draw the same as a merely huge one.
int PenWidth(const TPen* pen) { return std::min(pen->Width(), 1 << 16); }

// The box around a chain of points, widened by the pen, so a step only visits its own pixels.
QRect PointsBounds(const TPoint* pts, int count, int pad) {
  Int64 l = pts[0].X, t = pts[0].Y, r = l, b = t;
  for (int i = 1; i < count; ++i) {
    l = std::min<Int64>(l, pts[i].X), r = std::max<Int64>(r, pts[i].X);
    t = std::min<Int64>(t, pts[i].Y), b = std::max<Int64>(b, pts[i].Y);
  }
  const Int64 lim = Int64(1) << 28;
  l = std::clamp<Int64>(l - pad, -lim, lim), r = std::clamp<Int64>(r + pad, -lim, lim);
  t = std::clamp<Int64>(t - pad, -lim, lim), b = std::clamp<Int64>(b + pad, -lim, lim);
  return QRect(QPoint(int(l), int(t)), QPoint(int(r), int(b)));
}

}  // namespace

// The common end of every shape: the fill where the pen does not go, then the pen, then the
// gaps of a styled pen (painted like the desktop's opaque background: the brush colour, when
// the brush is solid).
static void PaintShape(TCanvas* c, CanvasStep& s, Mask& fill, Mask& pen, Mask* gaps) {
  if (!s.Img) return;
  fill.Subtract(pen);
  if (gaps) fill.Subtract(*gaps);
  if (BrushPaints(c->Brush())) Apply(*s.Img, s.Clip, fill, BrushSource(c->Brush()), c->Pen()->Mode());
  Apply(*s.Img, s.Clip, pen, SolidSource(c->Pen()->Color()), c->Pen()->Mode());
  if (gaps && BrushOpaqueBackground(c->Brush()))
    Apply(*s.Img, s.Clip, *gaps, SolidSource(c->Brush()->Color()), c->Pen()->Mode());
}

// ===================================================================== lines and shapes

void TCanvas::MoveTo(Integer X, Integer Y) { FPenPos = TPoint{X, Y}; }

void TCanvas::LineTo(Integer X, Integer Y) {
  const TPoint pts[2] = {FPenPos, TPoint{X, Y}};
  FPenPos = pts[1];
  Polyline(pts, 2);
  FPenPos = pts[1];
}

void TCanvas::Polyline(const TPoint* Points, Integer Count) {
  if (!Points || Count < 2) return;
  Changing();
  {
    CanvasStep s(this, FImpl.get(), true);
    if (s.Img) {
      const QRect reach = s.Reach().intersected(PointsBounds(Points, Count, PenWidth(FPen.get()) + 1));
      Mask pen(reach), gaps(reach), none{QRect()};
      StrokePolyline(FPen.get(), Points, Count, false, pen, &gaps);
      PaintShape(this, s, none, pen, &gaps);
    }
  }
  FPenPos = Points[Count - 1];
  Changed();
}

void TCanvas::Polygon(const TPoint* Points, Integer Count) {
  if (!Points || Count < 2) return;
  Changing();
  {
    CanvasStep s(this, FImpl.get(), true);
    if (s.Img) {
      const QRect reach = s.Reach().intersected(PointsBounds(Points, Count, PenWidth(FPen.get()) + 1));
      Mask pen(reach), gaps(reach), fill(reach);
      StrokePolyline(FPen.get(), Points, Count, true, pen, &gaps);
      if (BrushPaints(FBrush.get()) && Count >= 3) {
        QPolygonF poly;
        for (Integer i = 0; i < Count; ++i) poly << QPointF(Points[i].X + 0.5, Points[i].Y + 0.5);
        QPainterPath path;
        path.addPolygon(poly);
        path.closeSubpath();
        path.setFillRule(Qt::OddEvenFill);
        FillPath(path, fill);
      }
      PaintShape(this, s, fill, pen, &gaps);
    }
  }
  Changed();
}

// A rectangle of a plain pen and a solid or no brush is whole rectangles of two colours: they
// are filled row by row instead of through coverage masks of the whole box, which for a large box
// cost three box-sized masks and passes over them (a metafile of a few hundred bytes could ask
// for dozens of 8000 x 4000 boxes). The pixels are the same as the masks give.
static bool PlainRectangle(TCanvas* c, CanvasStep& s, int X1, int Y1, int X2, int Y2) {
  const TPen* pen = c->Pen();
  const TBrush* brush = c->Brush();
  const bool patterned = brush->Bitmap() && !brush->Bitmap()->Empty();
  const bool solidBrush = brush->Style() == bsSolid && !patterned;
  const bool noBrush = !BrushPaints(brush);
  const TPenStyle style = pen->Style();
  if (pen->Mode() != pmCopy || (!solidBrush && !noBrush) ||
      (style != psSolid && style != psInsideFrame && style != psClear))
    return false;
  const auto paint = [&](const QRect& r, TColor colour) {
    if (r.isEmpty()) return;
    const QRgb value = 0xFF000000u | (ColorToRgbBits(colour) & 0xFFFFFF);
    for (const QRect& part : DrawableArea(*s.Img, s.Clip, r))
      for (int y = part.top(); y <= part.bottom(); ++y) std::fill_n(PixelAt(*s.Img, part.left(), y), part.width(), value);
  };
  // Far outside any surface the edges change nothing visible; held there, no sum overflows.
  const int far = 1 << 28;
  X1 = std::clamp(X1, -far, far), X2 = std::clamp(X2, -far, far);
  Y1 = std::clamp(Y1, -far, far), Y2 = std::clamp(Y2, -far, far);
  const QRect box(QPoint(X1, Y1), QPoint(X2 - 1, Y2 - 1));
  if (style == psClear) {
    // Without a pen the desktop fills one pixel less on the right and at the bottom.
    if (solidBrush) paint(box.adjusted(0, 0, -1, -1), brush->Color());
    return true;
  }
  const int w = PenWidth(pen);
  QRect outer = box, inner;
  if (w <= 1) {
    if (X2 - X1 > 1 && Y2 - Y1 > 1) inner = box.adjusted(1, 1, -1, -1);
  } else {
    if (style != psInsideFrame) outer = box.adjusted(-(w / 2), -(w / 2), (w - 1) / 2, (w - 1) / 2);
    inner = outer.adjusted(w, w, -w, -w);
  }
  if (!inner.isValid()) inner = QRect();
  if (solidBrush) paint(box.intersected(inner), brush->Color());
  if (inner.isEmpty()) {
    paint(outer, pen->Color());
  } else {
    paint(QRect(QPoint(outer.left(), outer.top()), QPoint(outer.right(), inner.top() - 1)), pen->Color());
    paint(QRect(QPoint(outer.left(), inner.bottom() + 1), QPoint(outer.right(), outer.bottom())), pen->Color());
    paint(QRect(QPoint(outer.left(), inner.top()), QPoint(inner.left() - 1, inner.bottom())), pen->Color());
    paint(QRect(QPoint(inner.right() + 1, inner.top()), QPoint(outer.right(), inner.bottom())), pen->Color());
  }
  return true;
}

void TCanvas::Rectangle(Integer X1, Integer Y1, Integer X2, Integer Y2) {
  Normalize(X1, Y1, X2, Y2);
  if (X2 <= X1 || Y2 <= Y1) return;
  Changing();
  {
    CanvasStep s(this, FImpl.get(), true);
    if (s.Img && !PlainRectangle(this, s, X1, Y1, X2, Y2)) {
      const TPoint span[2] = {{X1, Y1}, {X2, Y2}};
      const QRect reach = s.Reach().intersected(PointsBounds(span, 2, PenWidth(FPen.get()) + 1));
      Mask pen(reach), gaps(reach), fill(reach);
      const QRect box(QPoint(X1, Y1), QPoint(X2 - 1, Y2 - 1));
      const int w = PenWidth(FPen.get());
      if (FPen->Style() == psClear) {
        // Without a pen the desktop fills one pixel less on the right and at the bottom.
        fill.FillRect(box.adjusted(0, 0, -1, -1));
      } else {
        if (w <= 1) {
          const TPoint corners[4] = {{X1, Y1}, {X2 - 1, Y1}, {X2 - 1, Y2 - 1}, {X1, Y2 - 1}};
          if (X2 - X1 == 1 || Y2 - Y1 == 1)
            pen.FillRect(box);
          else
            StrokePolyline(FPen.get(), corners, 4, true, pen, &gaps);
        } else {
          // Inside-frame pens stay within the box; others straddle the outline.
          QRect outer = FPen->Style() == psInsideFrame ? box : box.adjusted(-(w / 2), -(w / 2), (w - 1) / 2, (w - 1) / 2);
          pen.FillRect(outer);
          QRect inner = outer.adjusted(w, w, -w, -w);
          if (inner.isValid()) pen.FillRect(inner, 0);
        }
        fill.FillRect(box);
      }
      PaintShape(this, s, fill, pen, &gaps);
    }
  }
  Changed();
}

// Ellipses, rounded rectangles, arcs: the outline follows pixel centres of the bounding box so
// its extreme pixels are Left..Right-1 and Top..Bottom-1.
namespace {
void CurvedShape(TCanvas* c, TCanvas::Impl* impl, const QPainterPath& outline, bool filled) {
  CanvasStep s(c, impl, true);
  if (!s.Img) return;
  const int pad = PenWidth(c->Pen()) + 2;
  const QRect reach = s.Reach().intersected(PaddedBounds(outline.boundingRect(), pad));
  Mask pen(reach), fill(reach);
  StrokePath(c->Pen(), outline, pen);
  if (filled && BrushPaints(c->Brush())) FillPath(outline, fill);
  PaintShape(c, s, fill, pen, nullptr);
}

// GDI names arc ends by points on rays from the centre; Qt wants parametric angles in degrees.
double ParametricAngle(double cx, double cy, double rx, double ry, int px, int py) {
  const double dx = px - cx, dy = cy - py;
  if (dx == 0 && dy == 0) return 0;
  const double ray = std::atan2(dy, dx);
  const double t = std::atan2(std::sin(ray) * std::max(rx, 1e-9), std::cos(ray) * std::max(ry, 1e-9));
  return t * 180.0 / M_PI;
}

enum class ArcKind { Arc, Pie, Chord };

QPainterPath ArcPath(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4, ArcKind kind) {
  Normalize(x1, y1, x2, y2);
  const QRectF r = CentreRect(x1, y1, x2, y2);
  const double cx = r.center().x(), cy = r.center().y();
  const double a0 = ParametricAngle(cx, cy, r.width() / 2, r.height() / 2, x3, y3);
  const double a1 = ParametricAngle(cx, cy, r.width() / 2, r.height() / 2, x4, y4);
  double sweep = a1 - a0;
  while (sweep <= 0) sweep += 360;
  while (sweep > 360) sweep -= 360;
  QPainterPath path;
  if (kind == ArcKind::Pie) {
    path.moveTo(r.center());
    path.arcTo(r, a0, sweep);
    path.closeSubpath();
  } else {
    path.arcMoveTo(r, a0);
    path.arcTo(r, a0, sweep);
    if (kind == ArcKind::Chord) path.closeSubpath();
  }
  return path;
}
}  // namespace

void TCanvas::Ellipse(Integer X1, Integer Y1, Integer X2, Integer Y2) {
  Normalize(X1, Y1, X2, Y2);
  if (X2 <= X1 || Y2 <= Y1) return;
  Changing();
  QPainterPath path;
  path.addEllipse(CentreRect(X1, Y1, X2, Y2));
  CurvedShape(this, FImpl.get(), path, true);
  Changed();
}

void TCanvas::RoundRect(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3) {
  Normalize(X1, Y1, X2, Y2);
  if (X2 <= X1 || Y2 <= Y1) return;
  Changing();
  QPainterPath path;
  path.addRoundedRect(CentreRect(X1, Y1, X2, Y2), std::abs(X3) / 2.0, std::abs(Y3) / 2.0);
  CurvedShape(this, FImpl.get(), path, true);
  Changed();
}

void TCanvas::Arc(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3, Integer X4, Integer Y4) {
  Changing();
  CurvedShape(this, FImpl.get(), ArcPath(X1, Y1, X2, Y2, X3, Y3, X4, Y4, ArcKind::Arc), false);
  Changed();
}

void TCanvas::Pie(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3, Integer X4, Integer Y4) {
  Changing();
  CurvedShape(this, FImpl.get(), ArcPath(X1, Y1, X2, Y2, X3, Y3, X4, Y4, ArcKind::Pie), true);
  Changed();
}

void TCanvas::Chord(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3, Integer X4, Integer Y4) {
  Changing();
  CurvedShape(this, FImpl.get(), ArcPath(X1, Y1, X2, Y2, X3, Y3, X4, Y4, ArcKind::Chord), true);
  Changed();
}

void TCanvas::PolyBezier(const TPoint* Points, Integer Count) {
  if (!Points || Count < 4) return;
  Changing();
  QPainterPath path;
  path.moveTo(Points[0].X + 0.5, Points[0].Y + 0.5);
  for (Integer i = 1; i + 2 < Count; i += 3)
    path.cubicTo(Points[i].X + 0.5, Points[i].Y + 0.5, Points[i + 1].X + 0.5, Points[i + 1].Y + 0.5,
                 Points[i + 2].X + 0.5, Points[i + 2].Y + 0.5);
  CurvedShape(this, FImpl.get(), path, false);
  Changed();
}

void TCanvas::FillRect(const TRect& R) {
  if (R.Right <= R.Left || R.Bottom <= R.Top || !BrushPaints(FBrush.get())) return;
  Changing();
  {
    CanvasStep s(this, FImpl.get(), true);
    if (s.Img) {
      const Source src = BrushSource(FBrush.get());
      if (src.kind == Source::Solid) {
        // Background fills of whole controls come through here on every paint: write the rows
        // directly.
        const QRgb v = 0xFF000000u | src.Rgb;
        for (const QRect& r : DrawableArea(*s.Img, s.Clip, ToQRect(R)))
          for (int y = r.top(); y <= r.bottom(); ++y) std::fill_n(PixelAt(*s.Img, r.left(), y), r.width(), v);
      } else {
        Mask m(s.Reach().intersected(ToQRect(R)));
        m.FillRect(m.Box);
        Apply(*s.Img, s.Clip, m, src, pmCopy);
      }
    }
  }
  Changed();
}

void TCanvas::FrameRect(const TRect& R) {
  if (R.Right <= R.Left || R.Bottom <= R.Top || !BrushPaints(FBrush.get())) return;
  Changing();
  {
    CanvasStep s(this, FImpl.get(), true);
    if (s.Img) {
      const QRect box = ToQRect(R);
      Mask m(s.Reach().intersected(box));
      m.FillRect(box);
      if (box.width() > 2 && box.height() > 2) m.FillRect(box.adjusted(1, 1, -1, -1), 0);
      Apply(*s.Img, s.Clip, m, BrushSource(FBrush.get()), pmCopy);
    }
  }
  Changed();
}

void TCanvas::FillRgn(const TRegion& Region) {
  if (!BrushPaints(FBrush.get())) return;
  Changing();
  {
    CanvasStep s(this, FImpl.get(), true);
    if (s.Img) {
      const QRegion& rg = Region.Impl()->Region;
      Mask m(s.Reach().intersected(rg.boundingRect()));
      for (const QRect& r : rg) m.FillRect(r);
      Apply(*s.Img, s.Clip, m, BrushSource(FBrush.get()), pmCopy);
    }
  }
  Changed();
}

void TCanvas::DrawFocusRect(const TRect& R) {
  if (R.Right <= R.Left || R.Bottom <= R.Top) return;
  Changing();
  {
    CanvasStep s(this, FImpl.get(), true);
    if (s.Img) {
      // Every other pixel of the frame inverted, so a second call takes it away again.
      const QRect box = ToQRect(R);
      Mask m(s.Reach().intersected(box));
      for (int x = box.left(); x <= box.right(); ++x) {
        if (((x + box.top()) & 1) == 0) m.Set(x, box.top());
        if (((x + box.bottom()) & 1) == 0) m.Set(x, box.bottom());
      }
      for (int y = box.top() + 1; y < box.bottom(); ++y) {
        if (((box.left() + y) & 1) == 0) m.Set(box.left(), y);
        if (((box.right() + y) & 1) == 0) m.Set(box.right(), y);
      }
      Apply(*s.Img, s.Clip, m, SolidSource(clWhite), pmXor);
    }
  }
  Changed();
}

void TCanvas::FloodFill(Integer X, Integer Y, TColor Color, TFillStyle FillStyle) {
  Changing();
  {
    CanvasStep s(this, FImpl.get(), true);
    if (s.Img && s.Img->rect().contains(X, Y) && (!s.Clip || s.Clip->contains(QPoint(X, Y)))) {
      QImage& img = *s.Img;
      const QRgb key = ColorToRgbBits(Color);
      auto inside = [&](int x, int y) {
        const bool same = (*PixelAt(img, x, y) & 0xFFFFFF) == key;
        return FillStyle == fsSurface ? same : !same;
      };
      const QRect area = s.Reach();
      Mask m(area);
      if (inside(X, Y)) {
        std::vector<QPoint> stack{QPoint(X, Y)};
        auto ok = [&](int x, int y) {
          return area.contains(x, y) && !m.At(x, y) && (!s.Clip || s.Clip->contains(QPoint(x, y))) && inside(x, y);
        };
        while (!stack.empty()) {
          QPoint p = stack.back();
          stack.pop_back();
          if (!ok(p.x(), p.y())) continue;
          int l = p.x(), r = p.x();
          while (ok(l - 1, p.y())) --l;
          while (ok(r + 1, p.y())) ++r;
          for (int x = l; x <= r; ++x) m.Set(x, p.y());
          for (int dy : {-1, 1}) {
            const int y = p.y() + dy;
            bool open = false;
            for (int x = l; x <= r; ++x) {
              const bool o = ok(x, y);
              if (o && !open) stack.emplace_back(x, y);
              open = o;
            }
          }
        }
        Apply(img, s.Clip, m, BrushSource(FBrush.get()), pmCopy);
      }
    }
  }
  Changed();
}

// ===================================================================== pixels

TColor TCanvas::GetPixel(Integer X, Integer Y) {
  CanvasStep s(this, FImpl.get(), false);
  if (!s.Img || !s.Img->rect().contains(X, Y)) return CLR_INVALID;
  return RgbBitsToColor(*PixelAt(*s.Img, X, Y) & 0xFFFFFF);
}

void TCanvas::SetPixel(Integer X, Integer Y, TColor Color) {
  Changing();
  {
    CanvasStep s(this, FImpl.get(), true);
    if (s.Img && s.Img->rect().contains(X, Y) && (!s.Clip || s.Clip->contains(QPoint(X, Y))))
      *PixelAt(*s.Img, X, Y) = 0xFF000000u | ColorToRgbBits(Color);
  }
  Changed();
}

// ===================================================================== text

namespace {

QString ToQ(const AnsiString& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

struct TextLine {
  QString Text;
  int Underline = -1;  // index of the character a '&' marked, or -1
};

// Kept results, most recently used first, within a budget of their summed costs (per thread:
// fonts and painters are not shared between threads).
template <class V>
class RecentCache {
 public:
  explicit RecentCache(size_t Budget) : FBudget(Budget) {}
  const V* Find(const std::string& Key) {
    const auto it = FIndex.find(Key);
    if (it == FIndex.end()) return nullptr;
    FOrder.splice(FOrder.begin(), FOrder, it->second);
    return &it->second->Value;
  }
  const V& Add(const std::string& Key, V Value, size_t Cost) {
    while (!FOrder.empty() && FUsed + Cost > FBudget) {
      FUsed -= FOrder.back().Cost;
      FIndex.erase(FOrder.back().Key);
      FOrder.pop_back();
    }
    FOrder.push_front(Entry{Key, std::move(Value), Cost});
    FIndex[Key] = FOrder.begin();
    FUsed += Cost;
    return FOrder.front().Value;
  }

 private:
  struct Entry {
    std::string Key;
    V Value;
    size_t Cost;
  };
  size_t FBudget, FUsed = 0;
  std::list<Entry> FOrder;
  std::unordered_map<std::string, typename std::list<Entry>::iterator> FIndex;
};

// What makes a font draw differently (the fields ToQFont reads) followed by the text.
std::string TextKey(const TFont& f, const QString& text, Integer turn = 0, Integer underline = -1) {
  std::string k = f.FamilyName();
  unsigned styles = 0;
  for (TFontStyle st : {fsBold, fsItalic, fsUnderline, fsStrikeOut})
    styles = styles << 1 | (f.Style().Contains(st) ? 1u : 0u);
  const Integer fields[] = {f.Height(), Integer(styles), turn, underline};
  k.push_back('\0');
  k.append(reinterpret_cast<const char*>(fields), sizeof fields);
  k.append(reinterpret_cast<const char*>(text.utf16()), size_t(text.size()) * sizeof(char16_t));
  return k;
}

// The advance and cell height of a line: asked for several times for every text drawn, and
// each time the text would be shaped again.
TSize LineExtent(const TFont& f, const QString& text) {
  thread_local RecentCache<TSize> kept(4096);
  const std::string key = TextKey(f, text);
  if (const TSize* e = kept.Find(key)) return *e;
  const QFontMetrics fm(ToQFont(f));
  return kept.Add(key, TSize{fm.horizontalAdvance(text), fm.ascent() + fm.descent()}, 1);
}

// The glyphs of a line drawn at the origin through T (a turn at most), as coverage over Box.
Mask PaintGlyphs(const TFont& f, const TextLine& line, const QTransform& t, const QRect& box) {
  const QFont font = ToQFont(f);
  const QFontMetrics fm(font);
  Mask glyphs(box);
  glyphs.Paint(
      [&](QPainter& p) {
        p.setWorldTransform(t, true);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(QPointF(0, fm.ascent()), line.Text);
        if (line.Underline >= 0 && line.Underline < line.Text.size()) {
          const int ux = fm.horizontalAdvance(line.Text.left(line.Underline));
          const int uw = fm.horizontalAdvance(line.Text.mid(line.Underline, 1));
          p.fillRect(QRect(ux, fm.ascent() + 1, std::max(1, uw), 1), Qt::black);
        }
      },
      true);
  return glyphs;
}

// The part of M that holds coverage (turned lines leave most of their box blank).
Mask Inked(const Mask& m) {
  int left = m.Box.width(), right = -1, top = m.Box.height(), bottom = -1;
  for (int y = 0; y < m.Box.height(); ++y) {
    const uchar* row = &m.A[size_t(y) * size_t(m.Box.width())];
    for (int x = 0; x < m.Box.width(); ++x)
      if (row[x]) left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = y;
  }
  if (right < 0) return Mask(QRect());
  Mask out(QRect(m.Box.x() + left, m.Box.y() + top, right - left + 1, bottom - top + 1));
  for (int y = top; y <= bottom; ++y)
    std::memcpy(&out.A[size_t(y - top) * size_t(out.Box.width())], &m.A[size_t(y) * size_t(m.Box.width()) + size_t(left)],
                size_t(out.Box.width()));
  out.Blank = false;
  return out;
}

// The area around a line's origin its glyphs may cover. Upright text stays near its advance box
// (a margin covers overhangs and accents); turned text may reach anywhere within its height of
// the box.
QRect InkReach(const QTransform& turn, double angle, int w, int h) {
  const QRectF around = angle == 0 ? QRectF(-h / 2.0, -h / 4.0, w + double(h), h * 1.5)
                                   : QRectF(-h, -h, w + 2.0 * h, 3.0 * h);
  return turn.mapRect(around).toAlignedRect();
}

// Draws one line of text with its top-left corner at (x, y), turned by the font's escapement.
// The text box is filled with the brush colour first when Opaque. Limit (when given) narrows the
// clip for this call.
//
// Labels, captions and ruler figures come back with the same font, text and angle on every
// repaint, and shaping and rasterising them is most of what text costs, so the coverage of a
// line is kept, relative to its origin. Moving the origin by whole pixels moves the glyphs by
// whole pixels, so the kept coverage is the one drawing afresh gives.
void RenderText(TCanvas* c, CanvasStep& s, int x, int y, const TextLine& line, bool opaque, const QRegion* limit) {
  if (!s.Img || line.Text.isEmpty()) return;
  const TFont& f = *c->Font();
  const TSize extent = LineExtent(f, line.Text);
  const int w = extent.cx, h = extent.cy;
  const double angle = f.Orientation() / 10.0;
  QTransform turn;
  if (angle != 0) turn.rotate(-angle);
  QTransform t;
  t.translate(x, y);
  if (angle != 0) t.rotate(-angle);

  QRegion clipStore;
  const QRegion* clip = s.Clip;
  if (limit) {
    clipStore = s.Clip ? s.Clip->intersected(*limit) : *limit;
    clip = &clipStore;
  }
  const QRect inkBox = InkReach(turn, angle, w, h);
  const QRect reach = s.Img->rect().intersected(inkBox.translated(x, y));
  if (reach.isEmpty()) return;

  if (opaque) {
    if (angle == 0) {
      const QRgb v = 0xFF000000u | (ColorToRgbBits(c->Brush()->Color()) & 0xFFFFFF);
      for (const QRect& r : DrawableArea(*s.Img, clip, QRect(x, y, w, h).intersected(reach)))
        for (int row = r.top(); row <= r.bottom(); ++row) std::fill_n(PixelAt(*s.Img, r.left(), row), r.width(), v);
    } else {
      Mask bg(reach);
      bg.Paint([&](QPainter& p) {
        p.setWorldTransform(t, true);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        p.drawRect(QRectF(0, 0, w, h));
      });
      Apply(*s.Img, clip, bg, SolidSource(c->Brush()->Color()), pmCopy);
    }
  }
  const Source ink = SolidSource(f.Color());
  // Lines whose coverage would be large (huge fonts) are drawn afresh within the surface.
  constexpr qint64 kLargestKept = 1 << 19;
  if (qint64(inkBox.width()) * inkBox.height() > kLargestKept) {
    const Mask glyphs = PaintGlyphs(f, line, t, reach);
    Apply(*s.Img, clip, glyphs, ink, pmCopy);
    return;
  }
  thread_local RecentCache<Mask> kept(size_t(8) << 20);
  const std::string key = TextKey(f, line.Text, f.Orientation(), line.Underline);
  const Mask* glyphs = kept.Find(key);
  if (!glyphs) {
    Mask painted = Inked(PaintGlyphs(f, line, turn, inkBox));
    const size_t cost = painted.A.size() + 64;
    glyphs = &kept.Add(key, std::move(painted), cost);
  }
  ApplyCover(*s.Img, clip, glyphs->Box.translated(x, y), glyphs->A.data(), ink, pmCopy);
}

// Takes the '&' marks out of a line: "&&" stands for '&', "&x" underlines x.
TextLine StripPrefix(const QString& text, bool prefixes) {
  TextLine line;
  if (!prefixes) {
    line.Text = text;
    return line;
  }
  for (int i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('&') && i + 1 < text.size()) {
      ++i;
      if (text[i] != QLatin1Char('&')) line.Underline = int(line.Text.size());
    } else if (text[i] == QLatin1Char('&')) {
      continue;
    }
    line.Text += text[i];
  }
  return line;
}

// Breaks text into lines for DrawText: at line ends, and at spaces where a word would cross the
// width when WordBreak is set.
std::vector<QString> LayoutLines(const QString& text, const QFontMetrics& fm, int width, Cardinal flags) {
  std::vector<QString> out;
  if (flags & DT_SINGLELINE) {
    QString t = text;
    t.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    out.push_back(t);
    return out;
  }
  QString norm = text;
  norm.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
  const QStringList paragraphs = norm.split(QLatin1Char('\n'));
  for (const QString& para : paragraphs) {
    QString p = para;
    if (flags & DT_EXPANDTABS) p.replace(QLatin1Char('\t'), QStringLiteral("        "));
    if (!(flags & DT_WORDBREAK)) {
      out.push_back(p);
      continue;
    }
    const QStringList words = p.split(QLatin1Char(' '));
    QString current;
    for (const QString& word : words) {
      const QString candidate = current.isEmpty() ? word : current + QLatin1Char(' ') + word;
      if (!current.isEmpty() && fm.horizontalAdvance(candidate) > width) {
        out.push_back(current);
        current = word;
      } else {
        current = candidate;
      }
    }
    out.push_back(current);
  }
  return out;
}

}  // namespace

void TCanvas::TextOut(Integer X, Integer Y, const AnsiString& Text) {
  Changing();
  {
    CanvasStep s(this, FImpl.get(), true);
    RenderText(this, s, X, Y, TextLine{ToQ(Text), -1}, BrushOpaqueBackground(FBrush.get()), nullptr);
  }
  FPenPos = TPoint{Integer(std::clamp<Int64>(Int64(X) + TextWidth(Text), INT32_MIN, INT32_MAX)), Y};
  Changed();
}

void TCanvas::TextRect(const TRect& R, Integer X, Integer Y, const AnsiString& Text) {
  Changing();
  {
    CanvasStep s(this, FImpl.get(), true);
    if (s.Img) {
      const QRect box = ToQRect(R);
      if (BrushOpaqueBackground(FBrush.get())) {
        Mask m(s.Reach().intersected(box));
        m.FillRect(box);
        Apply(*s.Img, s.Clip, m, SolidSource(FBrush->Color()), pmCopy);
      }
      const QRegion limit(box);
      RenderText(this, s, X, Y, TextLine{ToQ(Text), -1}, false, &limit);
    }
  }
  Changed();
}

Integer TCanvas::DrawText(const AnsiString& Text, TRect& R, Cardinal Flags) {
  const QFont font = ToQFont(*FFont);
  const QFontMetrics fm(font);
  const int lineHeight = fm.ascent() + fm.descent();
  const int width = R.Right - R.Left;
  std::vector<TextLine> lines;
  for (const QString& l : LayoutLines(ToQ(Text), fm, width, Flags)) {
    TextLine tl = StripPrefix(l, !(Flags & DT_NOPREFIX));
    if ((Flags & DT_END_ELLIPSIS) && fm.horizontalAdvance(tl.Text) > width) {
      tl.Text = fm.elidedText(tl.Text, Qt::ElideRight, width);
      if (tl.Underline >= tl.Text.size() - 1) tl.Underline = -1;
    }
    lines.push_back(tl);
  }
  const int total = lineHeight * int(lines.size());
  if (Flags & DT_CALCRECT) {
    int widest = 0;
    for (const TextLine& l : lines) widest = std::max(widest, fm.horizontalAdvance(l.Text));
    R.Right = R.Left + widest;
    R.Bottom = R.Top + total;
    return total;
  }
  int y = R.Top;
  if (Flags & DT_SINGLELINE) {
    if (Flags & DT_VCENTER) y = R.Top + (R.Bottom - R.Top - lineHeight) / 2;
    else if (Flags & DT_BOTTOM) y = R.Bottom - lineHeight;
  }
  Changing();
  {
    CanvasStep s(this, FImpl.get(), true);
    const QRegion limit(ToQRect(R));
    for (const TextLine& l : lines) {
      const int w = fm.horizontalAdvance(l.Text);
      int x = R.Left;
      if (Flags & DT_CENTER) x = R.Left + (width - w) / 2;
      else if (Flags & DT_RIGHT) x = R.Right - w;
      RenderText(this, s, x, y, l, BrushOpaqueBackground(FBrush.get()), (Flags & DT_NOCLIP) ? nullptr : &limit);
      y += lineHeight;
    }
  }
  Changed();
  return total;
}

Integer TCanvas::TextWidth(const AnsiString& Text) { return TextExtent(Text).cx; }
Integer TCanvas::TextHeight(const AnsiString& Text) { return TextExtent(Text).cy; }

TSize TCanvas::TextExtent(const AnsiString& Text) { return LineExtent(*FFont, ToQ(Text)); }

// ===================================================================== blocks of pixels

void CanvasAccess::Blit(TCanvas* Canvas, const QImage& SourceIn, const QRect& SourceRectIn, const TRect& DestIn,
                        std::optional<QRgb> TransparentRgb, TCopyMode Rop) {
  const QImage* SourceImage = &SourceIn;
  QRect SourceRect = SourceRectIn;
  TRect Dest = DestIn;
  Dest.Left = ClampCoord(Dest.Left), Dest.Right = ClampCoord(Dest.Right);
  Dest.Top = ClampCoord(Dest.Top), Dest.Bottom = ClampCoord(Dest.Bottom);
  if (SourceRect.isEmpty() || Dest.Right == Dest.Left || Dest.Bottom == Dest.Top) return;
  Canvas->Changing();
  {
    CanvasStep s(Canvas, Canvas->FImpl.get(), true);
    if (s.Img) {
      // A reversed destination mirrors the picture, as a stretched copy does.
      const bool flipX = Dest.Right < Dest.Left, flipY = Dest.Bottom < Dest.Top;
      const int dl = std::min(Dest.Left, Dest.Right), dt = std::min(Dest.Top, Dest.Bottom);
      const int dw = std::abs(Dest.Right - Dest.Left), dh = std::abs(Dest.Bottom - Dest.Top);
      const QRegion area = DrawableArea(*s.Img, s.Clip, QRect(dl, dt, dw, dh));
      const QRgb P = ColorToRgbBits(Canvas->Brush()->Color());
      const qint64 sw = SourceRect.width(), sh = SourceRect.height();
      // A plain copy at the same size (the usual way a back buffer reaches the screen) moves
      // whole row spans.
      const bool plainCopy = !flipX && !flipY && dw == sw && dh == sh && !TransparentRgb && ((Rop >> 16) & 0xFF) == 0xCC &&
                             SourceRect.left() >= 0 && SourceRect.top() >= 0 &&
                             SourceRect.right() < SourceImage->width() && SourceRect.bottom() < SourceImage->height();
      // Pixels read while the same pixels are written, or 24-bit pixels where the raster
      // operations want 32-bit ones, are taken from a 32-bit copy of the part that is read.
      QImage own;
      if (SourceImage->constBits() == static_cast<const QImage*>(s.Img)->constBits() ||
          (!plainCopy && !Is32Bit(*SourceImage))) {
        own = SourceImage->copy(SourceRect).convertToFormat(QImage::Format_RGB32);
        SourceImage = &own;
        SourceRect = own.rect();
      }
      const QImage& Source = *SourceImage;
      if (plainCopy) {
        const bool bgr = Source.format() == QImage::Format_BGR888;
        for (const QRect& r : area)
          for (int y = r.top(); y <= r.bottom(); ++y) {
            const uchar* from = Source.constScanLine(SourceRect.top() + (y - dt));
            const int left = SourceRect.left() + (r.left() - dl);
            QRgb* drow = PixelAt(*s.Img, r.left(), y);
            const int n = r.width();
            if (bgr) {
              BgrRowToRgb32(from + 3 * left, drow, n);
            } else {
              const QRgb* srow = reinterpret_cast<const QRgb*>(from) + left;
              for (int i = 0; i < n; ++i) drow[i] = 0xFF000000u | srow[i];
            }
          }
      }
      for (const QRect& r : plainCopy ? QRegion() : area) {
        for (int y = r.top(); y <= r.bottom(); ++y) {
          qint64 oy = y - dt;
          if (flipY) oy = dh - 1 - oy;
          const int sy = SourceRect.top() + int(oy * sh / dh);
          const bool rowInside = sy >= 0 && sy < Source.height();
          const QRgb* srow = rowInside ? reinterpret_cast<const QRgb*>(Source.constScanLine(sy)) : nullptr;
          QRgb* drow = PixelAt(*s.Img, 0, y);
          for (int x = r.left(); x <= r.right(); ++x) {
            qint64 ox = x - dl;
            if (flipX) ox = dw - 1 - ox;
            const int sx = SourceRect.left() + int(ox * sw / dw);
            const QRgb S = (srow && sx >= 0 && sx < Source.width()) ? (srow[sx] & 0xFFFFFF) : 0;
            if (TransparentRgb && S == *TransparentRgb) continue;
            drow[x] = 0xFF000000u | (Rop3(Rop, P, S, drow[x] & 0xFFFFFF) & 0xFFFFFF);
          }
        }
      }
    }
  }
  Canvas->Changed();
}

void TCanvas::Draw(Integer X, Integer Y, TGraphic* Graphic) {
  if (!Graphic || Graphic->Empty()) return;
  Graphic->Draw(this, TRect{X, Y, ClampCoord(Int64(X) + Graphic->Width()), ClampCoord(Int64(Y) + Graphic->Height())});
}

void TCanvas::StretchDraw(const TRect& R, TGraphic* Graphic) {
  if (!Graphic || Graphic->Empty()) return;
  Graphic->Draw(this, R);
}

void TCanvas::CopyRect(const TRect& Dest, TCanvas* Source, const TRect& SourceRect) {
  if (!Source) return;
  const QRect sr = QRect(QPoint(std::min(SourceRect.Left, SourceRect.Right), std::min(SourceRect.Top, SourceRect.Bottom)),
                         QSize(std::abs(SourceRect.Right - SourceRect.Left), std::abs(SourceRect.Bottom - SourceRect.Top)));
  if (sr.isEmpty()) return;
  // A reversed source rectangle mirrors like a reversed destination.
  TRect d = Dest;
  if (SourceRect.Right < SourceRect.Left) std::swap(d.Left, d.Right);
  if (SourceRect.Bottom < SourceRect.Top) std::swap(d.Top, d.Bottom);
  if (Source != this) {
    // Another canvas's pixels are read where they lie (a back buffer on its way to the screen
    // is converted once, on the way), when the rectangle is inside them.
    const QImage* src = CanvasAccess::BeginReading(Source);
    const bool direct = src && !src->isNull() && src->rect().contains(sr) &&
                        (Is32Bit(*src) || src->format() == QImage::Format_BGR888);
    if (direct) {
      try {
        CanvasAccess::Blit(this, *src, sr, d, std::nullopt, FCopyMode);
      } catch (...) {
        CanvasAccess::FinishReading(Source);
        throw;
      }
    }
    CanvasAccess::FinishReading(Source);
    if (direct) return;
  }
  QImage copy;
  {
    QImage* src = CanvasAccess::Begin(Source);
    // A private copy, so a canvas can copy onto itself.
    if (src && !src->isNull()) copy = src->copy(sr).convertToFormat(QImage::Format_RGB32);
    CanvasAccess::Finish(Source, false);
  }
  if (copy.isNull()) return;
  CanvasAccess::Blit(this, copy, copy.rect(), d, std::nullopt, FCopyMode);
}

// ===================================================================== clipping and state

TRect TCanvas::ClipRect() {
  CanvasStep s(this, FImpl.get(), false);
  QRect r = s.Img ? s.Img->rect() : QRect();
  if (FImpl->HasClip) r = r.intersected(FImpl->Clip.boundingRect());
  return FromQRect(r);
}

static Integer RegionKind(const QRegion& r) {
  if (r.isEmpty()) return NULLREGION;
  return r.rectCount() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

void TCanvas::SetClipRect(const TRect& R) {
  FImpl->HasClip = true;
  FImpl->Clip = QRegion(ToQRect(R).intersected(kEverything));
}

Integer TCanvas::SelectClipRgn(const TRegion* Region) {
  if (!Region) {
    FImpl->HasClip = false;
    FImpl->Clip = QRegion();
    return SIMPLEREGION;
  }
  FImpl->HasClip = true;
  FImpl->Clip = Region->Impl()->Region;
  return RegionKind(FImpl->Clip);
}

Integer TCanvas::IntersectClipRect(Integer X1, Integer Y1, Integer X2, Integer Y2) {
  const QRect r = ToQRect(TRect{X1, Y1, X2, Y2}).intersected(kEverything);
  FImpl->Clip = FImpl->HasClip ? FImpl->Clip.intersected(r) : QRegion(r);
  FImpl->HasClip = true;
  return RegionKind(FImpl->Clip);
}

Integer TCanvas::ExcludeClipRect(Integer X1, Integer Y1, Integer X2, Integer Y2) {
  const QRect r = ToQRect(TRect{X1, Y1, X2, Y2}).intersected(kEverything);
  FImpl->Clip = (FImpl->HasClip ? FImpl->Clip : QRegion(kEverything)).subtracted(r);
  FImpl->HasClip = true;
  return RegionKind(FImpl->Clip);
}

bool TCanvas::GetClipRgn(TRegion& Region) {
  if (!FImpl->HasClip) return false;
  Region.Impl()->Region = FImpl->Clip;
  return true;
}

Integer TCanvas::SaveDC() {
  auto st = std::make_unique<SavedState>();
  st->Pen.Assign(FPen.get());
  st->Brush.Assign(FBrush.get());
  st->Font.Assign(FFont.get());
  st->PenPos = FPenPos;
  st->CopyMode = FCopyMode;
  st->HasClip = FImpl->HasClip;
  st->Clip = FImpl->Clip;
  FImpl->Saved.push_back(std::move(st));
  return Integer(FImpl->Saved.size());
}

bool TCanvas::RestoreDC(Integer SavedDC) {
  const Integer count = Integer(FImpl->Saved.size());
  const Integer level = SavedDC < 0 ? count + SavedDC + 1 : SavedDC;
  if (level < 1 || level > count) return false;
  std::unique_ptr<SavedState> st = std::move(FImpl->Saved[size_t(level - 1)]);
  FImpl->Saved.resize(size_t(level - 1));
  FPen->Assign(&st->Pen);
  FBrush->Assign(&st->Brush);
  FFont->Assign(&st->Font);
  FPenPos = st->PenPos;
  FCopyMode = st->CopyMode;
  FImpl->HasClip = st->HasClip;
  FImpl->Clip = st->Clip;
  return true;
}

void TCanvas::Lock() {
  FImpl->Mutex.lock();
  ++FImpl->Locks;
}

void TCanvas::Unlock() {
  --FImpl->Locks;
  FImpl->Mutex.unlock();
}

bool TCanvas::TryLock() {
  if (!FImpl->Mutex.try_lock()) return false;
  ++FImpl->Locks;
  return true;
}

Integer TCanvas::LockCount() const { return FImpl->Locks.load(); }

TSize TCanvas::SurfaceSize() {
  CanvasStep s(this, FImpl.get(), false);
  if (!s.Img) return TSize{};
  return TSize{s.Img->width(), s.Img->height()};
}

// ===================================================================== canvases over plain images

namespace {
class ImageCanvas : public TCanvas {
 public:
  explicit ImageCanvas(QImage* target) { Target = target; }
  QImage* Target;

 protected:
  QImage* BeginDrawing() override {
    if (Target && !Target->isNull() && !Is32Bit(*Target)) *Target = Target->convertToFormat(QImage::Format_RGB32);
    return Target;
  }
};
}  // namespace

std::unique_ptr<TCanvas> CreateImageCanvas(QImage* Target) { return std::make_unique<ImageCanvas>(Target); }

void SetCanvasImage(TCanvas* Canvas, QImage* Target) {
  if (auto* c = dynamic_cast<ImageCanvas*>(Canvas)) c->Target = Target;
}
