#include "platform/gui/bitmap.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <unordered_map>

#include <QImageReader>

#include "platform/gui/canvas_internals.h"
#include "platform/gui/qt_file_names.h"
#include "platform/gui/qt_graphics_bridge.h"
#include "platform/rtl/image_limits.h"
#include "platform/rtl/replacing_file_stream.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/strings.h"

// ===================================================================== TGraphic

void TGraphic::SetTransparent(bool Value) {
  if (FTransparent == Value) return;
  FTransparent = Value;
  Changed();
}

void TGraphic::SetModified(bool Value) {
  if (Value) Changed();
  else FModified = false;
}

void TGraphic::Changed() {
  FModified = true;
  if (OnChange) OnChange(this);
}

void TGraphic::LoadFromFile(const AnsiString& FileName) {
  TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&stream);
}

void TGraphic::SaveToFile(const AnsiString& FileName) {
  TReplacingFileStream stream(FileName);
  try {
    SaveToStream(&stream);
  } catch (const EStreamError&) {
    // "Stream write error" says neither which file nor why; the file system's refusal does.
    if (stream.WriteError().empty()) throw;
  }
  stream.Commit();
}

// ===================================================================== pixel layouts

Integer RowBytes(Integer Width, Integer Bits) {
  const Int64 bits = Int64(std::max(0, Width)) * std::max(0, Bits);
  return Integer(((bits + 31) / 32) * 4);
}

namespace {

const char* const kInvalidBitmap = "Bitmap image is not valid";
// Limits for bitmaps read from files: enough for any real picture, small enough that a forged
// header cannot ask for gigabytes.
constexpr Int64 kMaxDimension = 1 << 16;
constexpr Int64 kMaxPixels = Int64(1) << 28;

bool IsIndexed(TPixelFormat f) { return f == pf1bit || f == pf4bit || f == pf8bit; }

QImage::Format QtFormat(TPixelFormat f) {
  switch (f) {
    case pf1bit: return QImage::Format_Mono;
    case pf4bit:
    case pf8bit: return QImage::Format_Indexed8;
    case pf15bit: return QImage::Format_RGB555;
    case pf16bit: return QImage::Format_RGB16;
    case pf24bit: return QImage::Format_BGR888;
    default: return QImage::Format_RGB32;
  }
}

int FormatBits(TPixelFormat f) {
  switch (f) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit:
    case pf16bit: return 16;
    case pf24bit: return 24;
    default: return 32;
  }
}

int TableLimit(TPixelFormat f) { return f == pf1bit ? 2 : f == pf4bit ? 16 : 256; }

// The 16 colours of the VGA order (0 black ... 7 silver, 8 grey ... 15 white), 0xAARRGGBB.
const QRgb kSixteen[16] = {0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080,
                           0xFF008080, 0xFFC0C0C0, 0xFF808080, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00,
                           0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF};

// New indexed bitmaps: black and white; the 16 VGA colours; or those 16, a 6 x 6 x 6 colour cube
// and 24 greys for 256 entries.
QVector<QRgb> DefaultTable(TPixelFormat f) {
  QVector<QRgb> t;
  if (f == pf1bit) return {0xFF000000, 0xFFFFFFFF};
  for (QRgb c : kSixteen) t.push_back(c);
  if (f == pf4bit) return t;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b) t.push_back(qRgb(r * 51, g * 51, b * 51));
  for (int i = 0; i < 24; ++i) {
    const int v = 8 + i * 10;
    t.push_back(qRgb(v, v, v));
  }
  return t;
}

// The nearest colour-table entry (least squared distance; the first of equals).
class NearestIndex {
 public:
  explicit NearestIndex(const QVector<QRgb>& table) : T(table) {}
  int operator()(QRgb c) {
    c &= 0xFFFFFF;
    auto it = Cache.find(c);
    if (it != Cache.end()) return it->second;
    int best = 0;
    long bestD = -1;
    for (int i = 0; i < T.size(); ++i) {
      const long dr = long(qRed(c)) - qRed(T[i]), dg = long(qGreen(c)) - qGreen(T[i]), db = long(qBlue(c)) - qBlue(T[i]);
      const long d = dr * dr + dg * dg + db * db;
      if (bestD < 0 || d < bestD) {
        bestD = d;
        best = i;
      }
    }
    Cache.emplace(c, best);
    return best;
  }

 private:
  const QVector<QRgb>& T;
  std::unordered_map<QRgb, int> Cache;
};

QImage ToRGB32(const QImage& img) {
  if (img.isNull()) return QImage();
  if (img.format() == QImage::Format_RGB32) return img;
  return img.convertToFormat(QImage::Format_RGB32);
}

// Pixels of an RGB32 image in the layout of Format; indexed formats take the nearest entry of
// Table.
QImage FromRGB32(const QImage& rgb, TPixelFormat format, const QVector<QRgb>& table) {
  if (rgb.isNull()) return QImage();
  const QImage::Format qf = QtFormat(format);
  if (!IsIndexed(format)) {
    if (qf == QImage::Format_RGB32) return rgb;
    return rgb.convertToFormat(qf, Qt::ThresholdDither | Qt::AvoidDither);
  }
  QImage out(rgb.size(), qf);
  if (out.isNull()) throw EOutOfMemory("Out of memory");
  out.setColorTable(table);
  NearestIndex nearest(table);
  for (int y = 0; y < rgb.height(); ++y) {
    const QRgb* src = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    uchar* dst = out.scanLine(y);
    if (qf == QImage::Format_Mono) {
      std::memset(dst, 0, size_t(out.bytesPerLine()));
      for (int x = 0; x < rgb.width(); ++x)
        if (nearest(src[x])) dst[x >> 3] |= uchar(0x80 >> (x & 7));
    } else {
      for (int x = 0; x < rgb.width(); ++x) dst[x] = uchar(nearest(src[x]));
    }
  }
  return out;
}

QImage NewImage(int w, int h, TPixelFormat format, const QVector<QRgb>& table) {
  if (w <= 0 || h <= 0) return QImage();
  if (Int64(w) * h > (Int64(1) << 30) / 4 * 4) throw EOutOfMemory("Out of memory");
  QImage img(w, h, QtFormat(format));
  if (img.isNull()) throw EOutOfMemory("Out of memory");
  if (IsIndexed(format)) {
    img.setColorTable(table);
    NearestIndex nearest(table);
    const int white = nearest(0xFFFFFF);
    if (img.format() == QImage::Format_Mono) img.fill(white ? 0xFF : 0x00);
    else img.fill(uint(white));
    if (img.format() == QImage::Format_Mono) {
      for (int y = 0; y < h; ++y) std::memset(img.scanLine(y), white ? 0xFF : 0, size_t(img.bytesPerLine()));
    }
  } else {
    img.fill(Qt::white);
  }
  return img;
}

}  // namespace

// ===================================================================== TBitmap internals

struct TBitmap::Impl {
  QImage Image;           // pixels in the layout of the pixel format; never shared, so rows stay put
  QVector<QRgb> Table;    // colour table of indexed formats
  QImage Proxy;           // 32-bit drawing copy for the other formats
  QImage Mirror;          // Image as it was when Proxy last matched it
  bool ProxyValid = false;
  std::unique_ptr<TCanvas> Canvas;
};

namespace {

bool IsDirect(TPixelFormat f) { return QtFormat(f) == QImage::Format_RGB32; }

size_t SignificantBytes(const QImage& img) { return (size_t(img.width()) * size_t(img.depth()) + 7) / 8; }

// Row y of Image as 32-bit pixels.
void RowToRGB32(const QImage& img, const QVector<QRgb>& table, int y, QRgb* out) {
  const uchar* s = img.constScanLine(y);
  const int w = img.width();
  auto entry = [&table](int i) { return i < table.size() ? (table[i] | 0xFF000000u) : 0xFF000000u; };
  if (img.format() == QImage::Format_Mono) {
    for (int x = 0; x < w; ++x) out[x] = entry((s[x >> 3] >> (7 - (x & 7))) & 1);
  } else if (img.format() == QImage::Format_Indexed8) {
    for (int x = 0; x < w; ++x) out[x] = entry(s[x]);
  } else if (img.format() == QImage::Format_BGR888) {
    for (int x = 0; x < w; ++x, s += 3) out[x] = qRgb(s[2], s[1], s[0]);
  } else {
    const QImage row(s, w, 1, img.bytesPerLine(), img.format());
    const QImage c = row.convertToFormat(QImage::Format_RGB32);
    std::memcpy(out, c.constScanLine(0), size_t(w) * 4);
  }
}

bool SameRgb(QRgb a, QRgb b) { return ((a ^ b) & 0xFFFFFFu) == 0; }

// A bitmap's canvas draws on the pixels themselves for 32-bit bitmaps and on a 32-bit copy for
// the others. Rows can be written through ScanLine addresses at any time, and those addresses
// must survive the drawing, so the copy is brought up to date (the rows that changed since)
// before each drawing call and what the call drew goes back into the same rows right after it.
class TBitmapCanvas : public TCanvas {
 public:
  TBitmapCanvas(TBitmap* owner, TBitmap::Impl* impl) : Owner(owner), D(impl) {}

 protected:
  QImage* BeginDrawing() override {
    if (D->Image.isNull()) return nullptr;
    if (IsDirect(Owner->PixelFormat())) return &D->Image;
    if (!D->ProxyValid || D->Proxy.size() != D->Image.size() || D->Mirror.format() != D->Image.format()) {
      D->Proxy = ToRGB32(D->Image);
      D->Proxy.detach();
      D->Mirror = D->Image.copy();
      D->ProxyValid = !D->Proxy.isNull() && !D->Mirror.isNull();
      return D->ProxyValid ? &D->Proxy : nullptr;
    }
    const size_t n = SignificantBytes(D->Image);
    for (int y = 0; y < D->Image.height(); ++y) {
      const uchar* row = D->Image.constScanLine(y);
      if (std::memcmp(row, D->Mirror.constScanLine(y), n) == 0) continue;
      RowToRGB32(D->Image, D->Table, y, reinterpret_cast<QRgb*>(D->Proxy.scanLine(y)));
      std::memcpy(D->Mirror.scanLine(y), row, n);
    }
    return &D->Proxy;
  }

  // Rows of B,G,R bytes are read as they are: the drawing copy may be behind them, and bringing
  // it up to date would convert every changed row once more for a copy that converts anyway.
  const QImage* BeginReading() override {
    if (D->Image.format() == QImage::Format_BGR888) return &D->Image;
    return TCanvas::BeginReading();
  }
  void FinishDrawing(bool Modified) override {
    if (!Modified) return;
    if (!IsDirect(Owner->PixelFormat()) && D->ProxyValid) WriteBack();
    BitmapChanged(Owner);
  }

 private:
  // Only the pixels the drawing changed are written, so untouched indices keep their exact value
  // even where the colour table holds one colour twice.
  void WriteBack() {
    QImage& img = D->Image;
    const int w = img.width();
    const size_t n = SignificantBytes(img);
    const QImage::Format qf = img.format();
    const bool indexed = qf == QImage::Format_Mono || qf == QImage::Format_Indexed8;
    std::vector<QRgb> now(size_t(std::max(w, 1)));
    std::optional<NearestIndex> nearest;
    for (int y = 0; y < img.height(); ++y) {
      const QRgb* drawn = reinterpret_cast<const QRgb*>(D->Proxy.constScanLine(y));
      RowToRGB32(img, D->Table, y, now.data());
      int x = 0;
      while (x < w && SameRgb(now[size_t(x)], drawn[x])) ++x;
      if (x == w) continue;
      uchar* d = img.scanLine(y);
      if (qf == QImage::Format_BGR888) {
        for (; x < w; ++x) {
          uchar* p = d + 3 * x;
          p[0] = uchar(qBlue(drawn[x]));
          p[1] = uchar(qGreen(drawn[x]));
          p[2] = uchar(qRed(drawn[x]));
        }
      } else if (!indexed) {
        const QImage row(reinterpret_cast<const uchar*>(drawn), w, 1, D->Proxy.bytesPerLine(), QImage::Format_RGB32);
        const QImage c = row.convertToFormat(qf, Qt::ThresholdDither | Qt::AvoidDither);
        std::memcpy(d, c.constScanLine(0), n);
      } else {
        if (!nearest) nearest.emplace(D->Table);
        for (; x < w; ++x) {
          if (SameRgb(now[size_t(x)], drawn[x])) continue;
          const int v = (*nearest)(drawn[x]);
          if (qf == QImage::Format_Indexed8) {
            d[x] = uchar(v);
          } else {
            const uchar bit = uchar(0x80 >> (x & 7));
            d[x >> 3] = v ? uchar(d[x >> 3] | bit) : uchar(d[x >> 3] & ~bit);
          }
        }
        // The bits past the last pixel of a row that was drawn on are kept clear.
        if (qf == QImage::Format_Mono && (w & 7)) d[n - 1] = uchar(d[n - 1] & (0xFF00 >> (w & 7)));
      }
      std::memcpy(D->Mirror.scanLine(y), d, n);
    }
  }

  TBitmap* Owner;
  TBitmap::Impl* D;
};

}  // namespace

TBitmap::TBitmap() : FImpl(std::make_unique<Impl>()) {}
TBitmap::~TBitmap() = default;

Integer TBitmap::Width() const { return FImpl->Image.width(); }
Integer TBitmap::Height() const { return FImpl->Image.height(); }
bool TBitmap::Empty() const { return FImpl->Image.isNull(); }
void TBitmap::SetWidth(Integer Value) { SetSize(Value, Height()); }
void TBitmap::SetHeight(Integer Value) { SetSize(Width(), Value); }

void TBitmap::SetSize(Integer AWidth, Integer AHeight) {
  AWidth = std::max(0, AWidth);
  AHeight = std::max(0, AHeight);
  if (AWidth == Width() && AHeight == Height()) return;
  if (IsIndexed(FPixelFormat) && FImpl->Table.isEmpty()) FImpl->Table = DefaultTable(FPixelFormat);
  QImage img = NewImage(AWidth, AHeight, FPixelFormat, FImpl->Table);
  const QImage& old = FImpl->Image;
  const int cw = std::min(AWidth, old.width()), ch = std::min(AHeight, old.height());
  if (!img.isNull() && cw > 0 && ch > 0) {
    if (img.format() == QImage::Format_Mono) {
      for (int y = 0; y < ch; ++y) {
        const uchar* s = old.constScanLine(y);
        uchar* d = img.scanLine(y);
        for (int x = 0; x < cw; ++x) {
          const uchar bit = uchar(0x80 >> (x & 7));
          d[x >> 3] = (s[x >> 3] & bit) ? uchar(d[x >> 3] | bit) : uchar(d[x >> 3] & ~bit);
        }
      }
    } else {
      const size_t bytes = size_t(cw) * size_t(img.depth() / 8);
      for (int y = 0; y < ch; ++y) std::memcpy(img.scanLine(y), old.constScanLine(y), bytes);
    }
  }
  FImpl->Image = img;
  FImpl->ProxyValid = false;
  Changed();
}

Integer TBitmap::BitsPerPixel() const { return FormatBits(FPixelFormat); }

Integer TBitmap::BytesPerScanline() const {
  if (FImpl->Image.isNull()) return RowBytes(0, FormatBits(FPixelFormat));
  return Integer(FImpl->Image.bytesPerLine());
}

void* TBitmap::ScanLine(Integer Row) {
  if (Row < 0 || Row >= Height()) throw EInvalidGraphicOperation("Scan line index out of range");
  return FImpl->Image.scanLine(Row);
}

TCanvas* TBitmap::Canvas() {
  if (!FImpl->Canvas) FImpl->Canvas = std::make_unique<TBitmapCanvas>(this, FImpl.get());
  return FImpl->Canvas.get();
}

void TBitmap::SetPixelFormat(TPixelFormat Value) {
  if (Value == FPixelFormat) return;
  const QImage rgb = ToRGB32(FImpl->Image);
  QVector<QRgb> table = IsIndexed(Value) ? DefaultTable(Value) : QVector<QRgb>();
  QImage img = FromRGB32(rgb, Value, table);
  FPixelFormat = Value;
  FImpl->Table = table;
  FImpl->Image = img;
  FImpl->ProxyValid = false;
  Changed();
}

std::vector<TColor> TBitmap::ColorTable() const {
  std::vector<TColor> out;
  if (!IsIndexed(FPixelFormat)) return out;
  const QVector<QRgb>& t = FImpl->Table.isEmpty() ? DefaultTable(FPixelFormat) : FImpl->Table;
  for (QRgb c : t) out.push_back(RgbBitsToColor(c & 0xFFFFFF));
  return out;
}

void TBitmap::SetColorTable(const std::vector<TColor>& Colors) {
  if (!IsIndexed(FPixelFormat)) return;
  QVector<QRgb> t;
  for (size_t i = 0; i < Colors.size() && int(i) < TableLimit(FPixelFormat); ++i)
    t.push_back(0xFF000000u | ColorToRgbBits(Colors[i]));
  // Every index a pixel can hold keeps a colour.
  const int need = FPixelFormat == pf8bit ? 256 : TableLimit(FPixelFormat);
  while (t.size() < need) t.push_back(0xFF000000u);
  FImpl->Table = t;
  if (!FImpl->Image.isNull()) FImpl->Image.setColorTable(t);
  FImpl->ProxyValid = false;
  Changed();
}

void TBitmap::SetMonochrome(bool Value) {
  if (Value) SetPixelFormat(pf1bit);
  else if (FPixelFormat == pf1bit) SetPixelFormat(pf24bit);
}

TColor TBitmap::TransparentColor() const {
  if (FTransparentMode == tmFixed) return FTransparentColor;
  if (Empty()) return clDefault;
  return PixelColor(0, Height() - 1);
}

void TBitmap::SetTransparentColor(TColor Value) {
  FTransparentColor = Value;
  FTransparentMode = Value == clDefault ? tmAuto : tmFixed;
  Changed();
}

void TBitmap::SetTransparentMode(TTransparentMode Value) {
  if (Value == FTransparentMode) return;
  if (Value == tmAuto) FTransparentColor = clDefault;
  else FTransparentColor = TransparentColor();
  FTransparentMode = Value;
  Changed();
}

TColor TBitmap::PixelColor(Integer X, Integer Y) const {
  const QImage& img = FImpl->Image;
  if (!img.rect().contains(X, Y)) return CLR_INVALID;
  return RgbBitsToColor(img.pixel(X, Y) & 0xFFFFFF);
}

void TBitmap::Assign(TPersistent* Source) {
  if (!Source) {
    SetSize(0, 0);
    return;
  }
  if (auto* B = dynamic_cast<TBitmap*>(Source)) {
    if (B == this) return;
    FPixelFormat = B->FPixelFormat;
    FImpl->Image = B->FImpl->Image.copy();
    FImpl->Table = B->FImpl->Table;
    FImpl->ProxyValid = false;
      FTransparentMode = B->FTransparentMode;
    FTransparentColor = B->FTransparentColor;
    FHandleType = B->FHandleType;
    if (B->Transparent() != Transparent()) TGraphic::SetTransparent(B->Transparent());
    Changed();
    return;
  }
  TGraphic::Assign(Source);
}

void TBitmap::Draw(TCanvas* ACanvas, const TRect& R) {
  if (!ACanvas || Empty()) return;
  const QImage src = BitmapToRGB32(this);
  std::optional<QRgb> key;
  if (Transparent()) key = ColorToRgbBits(TransparentColor());
  CanvasAccess::Blit(ACanvas, src, src.rect(), R, key, ACanvas->CopyMode());
}

void TBitmap::Changed() { TGraphic::Changed(); }

// ===================================================================== BMP files

namespace {

void Put16(std::vector<uchar>& b, unsigned v) {
  b.push_back(uchar(v));
  b.push_back(uchar(v >> 8));
}
void Put32(std::vector<uchar>& b, Cardinal v) {
  for (int i = 0; i < 4; ++i) b.push_back(uchar(v >> (8 * i)));
}
Cardinal Get16(const uchar* p) { return Cardinal(p[0]) | (Cardinal(p[1]) << 8); }
Cardinal Get32(const uchar* p) { return Get16(p) | (Get16(p + 2) << 16); }

[[noreturn]] void Invalid() { throw EInvalidGraphic(kInvalidBitmap); }

// A header's size passes the gate before anything of that size is read or allocated; a refused
// file says which limit it broke.
void CheckSize(Int64 Width, Int64 Height, int Bits) {
  static const TImageLimits limits{kMaxDimension, kMaxDimension, kMaxPixels, kMaxPixels * 4};
  const AnsiString reason = ImageSizeRefusal(limits, Width, Height, Bits);
  if (!reason.empty()) throw EInvalidGraphic(AnsiString(kInvalidBitmap) + ": " + reason);
}

// A colour component from a bit-field mask, scaled to 8 bits.
struct BitField {
  Cardinal Mask = 0;
  int Shift = 0;
  int Bits = 0;
  explicit BitField(Cardinal m = 0) : Mask(m) {
    if (!m) return;
    while (!((m >> Shift) & 1)) ++Shift;
    while (Shift + Bits < 32 && ((m >> (Shift + Bits)) & 1)) ++Bits;
  }
  int Get(Cardinal v) const {
    if (!Bits) return 0;
    const Cardinal raw = (v & Mask) >> Shift;
    const Cardinal max = Bits >= 32 ? 0xFFFFFFFFu : ((1u << Bits) - 1);
    return int((Int64(raw) * 255 + max / 2) / max);
  }
};

struct ParsedBmp {
  QImage Image;
  QVector<QRgb> Table;
  TPixelFormat Format = pf24bit;
};

// Decodes RLE8/RLE4 data into one index per pixel (top-down rows). Writers pad rows with runs
// past the right edge and some move beyond the last row; such pixels are dropped. Runs that need
// more data than there is make the file damaged.
std::vector<uchar> DecodeRle(const uchar* p, size_t n, int w, int h, bool four) {
  std::vector<uchar> out(size_t(w) * size_t(h), 0);
  Int64 x = 0, y = h - 1;  // RLE rows run bottom-up
  size_t i = 0;
  auto put = [&](int v) {
    if (x < w && y >= 0 && y < h) out[size_t(y) * size_t(w) + size_t(x)] = uchar(v);
    ++x;
  };
  while (i + 1 < n) {
    const int count = p[i], value = p[i + 1];
    i += 2;
    if (count > 0) {
      for (int k = 0; k < count; ++k) put(four ? ((k & 1) ? (value & 0x0F) : (value >> 4)) : value);
    } else if (value == 0) {
      x = 0;
      --y;
    } else if (value == 1) {
      return out;
    } else if (value == 2) {
      if (i + 1 >= n) Invalid();
      x += p[i];
      y -= p[i + 1];
      i += 2;
    } else {
      const int literal = value;
      const size_t bytes = four ? size_t((literal + 1) / 2) : size_t(literal);
      if (i + bytes > n) Invalid();
      for (int k = 0; k < literal; ++k) put(four ? ((k & 1) ? (p[i + k / 2] & 0x0F) : (p[i + k / 2] >> 4)) : p[i + k]);
      i += bytes;
      if (bytes & 1) ++i;  // literal runs end on a word boundary
    }
    if (y < 0) return out;  // past the last row: nothing more can land in the picture
  }
  return out;
}

ParsedBmp ParseBmp(const std::vector<uchar>& f) {
  const size_t n = f.size();
  if (n < 14 + 12 || f[0] != 'B' || f[1] != 'M') Invalid();
  const Cardinal offBits = Get32(&f[10]);
  const Cardinal headerSize = Get32(&f[14]);
  if (headerSize != 12 && headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 64 &&
      headerSize != 108 && headerSize != 124)
    Invalid();
  if (14 + size_t(headerSize) > n) Invalid();
  const uchar* h = &f[14];
  Int64 width, height;
  int bits;
  Cardinal compression = 0, clrUsed = 0;
  if (headerSize == 12) {
    width = Get16(h + 4);
    height = Get16(h + 6);
    bits = int(Get16(h + 10));
  } else {
    width = Integer(Get32(h + 4));
    height = Integer(Get32(h + 8));
    bits = int(Get16(h + 14));
    compression = Get32(h + 16);
    clrUsed = Get32(h + 32);
  }
  const bool topDown = height < 0;
  if (topDown) height = -height;
  CheckSize(width, height, bits);
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) Invalid();
  const bool rle8 = compression == 1, rle4 = compression == 2, fields = compression == 3;
  if (compression > 3 || (rle8 && bits != 8) || (rle4 && bits != 4) || (fields && bits != 16 && bits != 32) ||
      ((rle8 || rle4) && topDown))
    Invalid();

  size_t pos = 14 + headerSize;
  // Bit-field masks follow a 40-byte header; longer headers carry them inside.
  Cardinal masks[3] = {0, 0, 0};
  if (bits == 16) { masks[0] = 0x7C00; masks[1] = 0x03E0; masks[2] = 0x001F; }
  if (bits == 32) { masks[0] = 0xFF0000; masks[1] = 0xFF00; masks[2] = 0xFF; }
  if (fields) {
    const uchar* m;
    if (headerSize == 40) {
      if (pos + 12 > n) Invalid();
      m = &f[pos];
      pos += 12;
    } else {
      m = h + 40;
    }
    for (int i = 0; i < 3; ++i) masks[i] = Get32(m + 4 * i);
    if (!masks[0] || !masks[1] || !masks[2]) Invalid();
  }

  ParsedBmp out;
  if (bits <= 8) {
    const Cardinal maxColors = 1u << bits;
    Cardinal count = clrUsed ? clrUsed : maxColors;
    if (count > maxColors) Invalid();
    const size_t entry = headerSize == 12 ? 3 : 4;
    if (pos + size_t(count) * entry > n) Invalid();
    for (Cardinal i = 0; i < count; ++i) {
      const uchar* e = &f[pos + i * entry];
      out.Table.push_back(qRgb(e[2], e[1], e[0]));
    }
    // Every index a pixel can hold keeps a colour.
    while (out.Table.size() < int(bits == 4 ? 16 : maxColors)) out.Table.push_back(qRgb(0, 0, 0));
  }

  if (offBits < pos || offBits > n) Invalid();
  if (width == 0 || height == 0) {
    // What an empty bitmap saves: a header and no rows.
    out.Format = bits == 1 ? pf1bit : bits == 4 ? pf4bit : bits == 8 ? pf8bit : bits == 16 ? pf15bit : bits == 24 ? pf24bit : pf32bit;
    if (bits == 16 && masks[0] == 0xF800) out.Format = pf16bit;
    return out;
  }
  const uchar* data = f.data() + offBits;
  const size_t avail = n - offBits;
  const int w = int(width), hh = int(height);
  const size_t rowLen = size_t(RowBytes(w, bits));
  if (!(rle8 || rle4) && rowLen * size_t(hh) > avail) {
    // Many writers drop the padding of the last row; anything shorter is damaged.
    if (rowLen * size_t(hh - 1) + (size_t(w) * size_t(bits) + 7) / 8 > avail) Invalid();
  }
  auto srcRow = [&](int y) { return data + rowLen * size_t(topDown ? y : hh - 1 - y); };

  if (rle8 || rle4) {
    const std::vector<uchar> idx = DecodeRle(data, avail, w, hh, rle4);
    out.Format = rle8 ? pf8bit : pf4bit;
    out.Image = QImage(w, hh, QImage::Format_Indexed8);
    if (out.Image.isNull()) throw EOutOfMemory("Out of memory");
    out.Image.setColorTable(out.Table);
    for (int y = 0; y < hh; ++y) std::memcpy(out.Image.scanLine(y), &idx[size_t(y) * size_t(w)], size_t(w));
    return out;
  }

  auto rowBytesIn = [&](int y) { return std::min(rowLen, avail - size_t(srcRow(y) - data)); };
  switch (bits) {
    case 1: out.Format = pf1bit; out.Image = QImage(w, hh, QImage::Format_Mono); break;
    case 4: out.Format = pf4bit; out.Image = QImage(w, hh, QImage::Format_Indexed8); break;
    case 8: out.Format = pf8bit; out.Image = QImage(w, hh, QImage::Format_Indexed8); break;
    case 16: {
      const bool is565 = masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F;
      const bool is555 = masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F;
      out.Format = is565 ? pf16bit : is555 ? pf15bit : pf24bit;
      out.Image = QImage(w, hh, QtFormat(out.Format));
      break;
    }
    case 24: out.Format = pf24bit; out.Image = QImage(w, hh, QImage::Format_BGR888); break;
    default: {
      const bool plain = masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF;
      out.Format = plain ? pf32bit : pf24bit;
      out.Image = QImage(w, hh, QtFormat(out.Format));
      break;
    }
  }
  if (out.Image.isNull()) throw EOutOfMemory("Out of memory");
  if (bits <= 8) out.Image.setColorTable(out.Table);
  const BitField rf(masks[0]), gf(masks[1]), bf(masks[2]);
  for (int y = 0; y < hh; ++y) {
    const uchar* s = srcRow(y);
    const size_t have = rowBytesIn(y);
    uchar* d = out.Image.scanLine(y);
    std::vector<uchar> padded;
    if (have < rowLen) {
      padded.assign(rowLen, 0);
      std::memcpy(padded.data(), s, have);
      s = padded.data();
    }
    if (bits == 1 || bits == 8 || bits == 24 || (bits == 16 && out.Format != pf24bit)) {
      std::memcpy(d, s, std::min(rowLen, size_t(out.Image.bytesPerLine())));
    } else if (bits == 4) {
      for (int x = 0; x < w; ++x) d[x] = (x & 1) ? (s[x / 2] & 0x0F) : (s[x / 2] >> 4);
    } else if (bits == 16) {
      for (int x = 0; x < w; ++x) {
        const Cardinal v = Get16(s + 2 * x);
        d[3 * x] = uchar(bf.Get(v));
        d[3 * x + 1] = uchar(gf.Get(v));
        d[3 * x + 2] = uchar(rf.Get(v));
      }
    } else if (out.Format == pf32bit) {
      QRgb* dd = reinterpret_cast<QRgb*>(d);
      for (int x = 0; x < w; ++x) dd[x] = 0xFF000000u | (Get32(s + 4 * x) & 0xFFFFFF);
    } else {
      for (int x = 0; x < w; ++x) {
        const Cardinal v = Get32(s + 4 * x);
        d[3 * x] = uchar(bf.Get(v));
        d[3 * x + 1] = uchar(gf.Get(v));
        d[3 * x + 2] = uchar(rf.Get(v));
      }
    }
  }
  return out;
}

}  // namespace

namespace {

// How many bytes of the file the picture needs, from its first bytes (file header and info
// header): the pixel offset plus the rows, or for run-length data as much as any sensible
// encoding of the picture can take. Refuses sizes no picture here may have before anything big
// is read.
Int64 BmpExtent(const std::vector<uchar>& f) {
  const Cardinal offBits = Get32(&f[10]);
  const Cardinal headerSize = Get32(&f[14]);
  if (f.size() < 14 + 16) Invalid();
  const uchar* h = &f[14];
  Int64 w, hh;
  int bits;
  Cardinal compression = 0;
  if (headerSize == 12) {
    w = Get16(h + 4);
    hh = Get16(h + 6);
    bits = int(Get16(h + 10));
  } else {
    if (f.size() < 14 + 20) Invalid();
    w = Integer(Get32(h + 4));
    hh = Integer(Get32(h + 8));
    if (hh < 0) hh = -hh;
    bits = int(Get16(h + 14));
    compression = Get32(h + 16);
  }
  if (bits <= 0 || bits > 32) Invalid();
  CheckSize(w, hh, bits);
  if (compression == 1 || compression == 2) return Int64(offBits) + 2 * w * hh + 4 * hh + 64;
  return Int64(offBits) + Int64(RowBytes(Integer(w), bits)) * hh;
}

}  // namespace

void TBitmap::LoadFromStream(TStream* Stream) {
  if (!Stream) return;
  const Int64 start = Stream->Position();
  const Int64 size = Stream->Size() - start;
  if (size < 26) Invalid();
  // Headers and colour table first; then only as many bytes as the picture can use, so a damaged
  // size field never makes us read (or allocate) more than the picture needs.
  const Int64 headBytes = std::min<Int64>(size, 14 + 124 + 12 + 256 * 4);
  std::vector<uchar> file(static_cast<size_t>(headBytes));
  Stream->ReadBuffer(file.data(), headBytes);
  if (file[0] != 'B' || file[1] != 'M') Invalid();
  const Int64 total = std::min(size, std::max(headBytes, BmpExtent(file)));
  if (total > headBytes) {
    file.resize(static_cast<size_t>(total));
    Stream->ReadBuffer(file.data() + headBytes, total - headBytes);
  }
  ParsedBmp bmp = ParseBmp(file);
  FPixelFormat = bmp.Format;
  FImpl->Image = bmp.Image;
  FImpl->Table = bmp.Table;
  FImpl->ProxyValid = false;
  Changed();
}

void TBitmap::SaveToStream(TStream* Stream) {
  if (!Stream) return;
  const QImage& img = FImpl->Image;
  const int w = img.width(), h = img.height();
  const int bits = FormatBits(FPixelFormat);
  const size_t rowLen = size_t(RowBytes(w, bits));
  QVector<QRgb> table;
  if (IsIndexed(FPixelFormat)) {
    table = FImpl->Table.isEmpty() ? DefaultTable(FPixelFormat) : FImpl->Table;
    if (table.size() > TableLimit(FPixelFormat)) table.resize(TableLimit(FPixelFormat));
  }
  const bool fields = FPixelFormat == pf16bit;
  const Cardinal headerBytes = 14 + 40 + (fields ? 12 : 0) + Cardinal(table.size()) * 4;
  const Int64 imageBytes = Int64(rowLen) * h;
  std::vector<uchar> b;
  b.reserve(size_t(headerBytes));
  b.push_back('B');
  b.push_back('M');
  Put32(b, Cardinal(headerBytes + imageBytes));
  Put32(b, 0);
  Put32(b, headerBytes);
  Put32(b, 40);
  Put32(b, Cardinal(w));
  Put32(b, Cardinal(h));
  Put16(b, 1);
  Put16(b, unsigned(bits));
  Put32(b, fields ? 3 : 0);
  Put32(b, Cardinal(imageBytes));
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, Cardinal(table.size()));
  Put32(b, 0);
  if (fields) {
    Put32(b, 0xF800);
    Put32(b, 0x07E0);
    Put32(b, 0x001F);
  }
  for (QRgb c : table) {
    b.push_back(uchar(qBlue(c)));
    b.push_back(uchar(qGreen(c)));
    b.push_back(uchar(qRed(c)));
    b.push_back(0);
  }
  Stream->WriteBuffer(b.data(), Int64(b.size()));
  std::vector<uchar> row(rowLen);
  for (int y = h - 1; y >= 0; --y) {
    const uchar* s = img.constScanLine(y);
    std::fill(row.begin(), row.end(), 0);
    if (FPixelFormat == pf4bit) {
      for (int x = 0; x < w; ++x) row[size_t(x / 2)] |= uchar((s[x] & 0x0F) << ((x & 1) ? 0 : 4));
    } else if (bits == 32) {
      std::memcpy(row.data(), s, rowLen);
      for (int x = 0; x < w; ++x) row[size_t(4 * x + 3)] = 0;  // the reserved byte of BI_RGB
    } else {
      std::memcpy(row.data(), s, std::min(rowLen, size_t(img.bytesPerLine())));
    }
    Stream->WriteBuffer(row.data(), Int64(rowLen));
  }
}

// ===================================================================== Qt bridge

QImage& BitmapImage(TBitmap* Bitmap) {
  TBitmap::Impl* d = Bitmap->Internals();
  d->ProxyValid = false;
  return d->Image;
}

QImage BitmapToRGB32(const TBitmap* Bitmap) {
  TBitmap::Impl* d = Bitmap->Internals();
  // Never a shared view of the pixels: a later write through ScanLine would then move them.
  QImage out = ToRGB32(d->Image);
  out.detach();
  return out;
}

void AssignImageToBitmap(TBitmap* Bitmap, const QImage& Image) {
  TPixelFormat f;
  QImage img;
  switch (Image.format()) {
    case QImage::Format_Mono: f = pf1bit; img = Image; break;
    case QImage::Format_MonoLSB: f = pf1bit; img = Image.convertToFormat(QImage::Format_Mono); break;
    case QImage::Format_Indexed8: f = pf8bit; img = Image; break;
    case QImage::Format_RGB555: f = pf15bit; img = Image; break;
    case QImage::Format_RGB16: f = pf16bit; img = Image; break;
    case QImage::Format_BGR888: f = pf24bit; img = Image; break;
    case QImage::Format_RGB888: f = pf24bit; img = Image.convertToFormat(QImage::Format_BGR888); break;
    default: f = pf32bit; img = Image.convertToFormat(QImage::Format_RGB32); break;
  }
  QVector<QRgb> table;
  if (f == pf1bit || f == pf8bit) {
    table = img.colorTable();
    const int need = f == pf1bit ? 2 : 256;
    while (table.size() < need) table.push_back(0xFF000000u);
    img.setColorTable(table);
  }
  TBitmap::Impl* d = Bitmap->Internals();
  d->Image = img;
  d->Image.detach();  // the caller's image must not share our rows
  d->Table = table;
  d->ProxyValid = false;
  Bitmap->FPixelFormat = f;
  Bitmap->Changed();
}

void BitmapChanged(TBitmap* Bitmap) { Bitmap->SetModified(true); }

// ===================================================================== TPicture

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::GraphicChanged() {
  if (OnChange) OnChange(this);
}

void TPicture::SetGraphic(TGraphic* Value) {
  if (!Value) {
    FGraphic.reset();
  } else if (auto* b = dynamic_cast<TBitmap*>(Value)) {
    auto copy = std::make_unique<TBitmap>();
    copy->Assign(b);
    FGraphic = std::move(copy);
  } else {
    throw EInvalidGraphic("Cannot hold a " + Value->ClassName() + " in a picture");
  }
  if (FGraphic) FGraphic->OnChange = [this](TObject*) { GraphicChanged(); };
  GraphicChanged();
}

TBitmap* TPicture::Bitmap() {
  if (!dynamic_cast<TBitmap*>(FGraphic.get())) {
    FGraphic = std::make_unique<TBitmap>();
    FGraphic->OnChange = [this](TObject*) { GraphicChanged(); };
  }
  return static_cast<TBitmap*>(FGraphic.get());
}

Integer TPicture::Width() const { return FGraphic ? FGraphic->Width() : 0; }
Integer TPicture::Height() const { return FGraphic ? FGraphic->Height() : 0; }

namespace {
AnsiString LowerExtension(const AnsiString& name) {
  const size_t slash = name.find_last_of('/');
  const size_t dot = name.find_last_of('.');
  if (dot == AnsiString::npos || (slash != AnsiString::npos && dot < slash)) return "";
  AnsiString e = name.substr(dot + 1);
  for (char& c : e) c = char(std::tolower(static_cast<unsigned char>(c)));
  return e;
}
}  // namespace

void TPicture::LoadFromFile(const AnsiString& FileName) {
  const AnsiString ext = LowerExtension(FileName);
  auto bmp = std::make_unique<TBitmap>();
  if (ext == "bmp") {
    bmp->LoadFromFile(FileName);
  } else if (ext == "png" || ext == "jpg" || ext == "jpeg" || ext == "gif") {
    // Opening through a file stream gives the usual open errors for a missing file.
    { TFileStream probe(FileName, fmOpenRead | fmShareDenyWrite); }
    QFile file;
    if (!clvqt::OpenQtFile(file, FileName, QIODevice::ReadOnly)) throw EInvalidGraphic(kInvalidBitmap);
    QImageReader reader(&file);
    reader.setAutoTransform(false);
    const QImage img = reader.read();
    if (img.isNull()) throw EInvalidGraphic(kInvalidBitmap);
    const QImage::Format target = img.hasAlphaChannel() ? QImage::Format_RGB32 : QImage::Format_BGR888;
    AssignImageToBitmap(bmp.get(), img.convertToFormat(target));
  } else {
    throw EInvalidGraphic("Unknown picture file extension (." + ext + ")");
  }
  FGraphic = std::move(bmp);
  FGraphic->OnChange = [this](TObject*) { GraphicChanged(); };
  GraphicChanged();
}

void TPicture::SaveToFile(const AnsiString& FileName) {
  if (FGraphic) FGraphic->SaveToFile(FileName);
}

void TPicture::Assign(TPersistent* Source) {
  if (!Source) {
    SetGraphic(nullptr);
  } else if (auto* p = dynamic_cast<TPicture*>(Source)) {
    if (p != this) SetGraphic(p->Graphic());
  } else if (auto* g = dynamic_cast<TGraphic*>(Source)) {
    SetGraphic(g);
  } else {
    TPersistent::Assign(Source);
  }
}
