#include "platform/gui/imglist.h"

#include <algorithm>

#include <QImage>

#include "platform/gui/graphics.h"
#include "platform/gui/imglist_images.h"
#include "platform/gui/qt_graphics_bridge.h"

struct TCustomImageList::Impl {
  // Each picture at the list's size, transparent pixels with alpha 0.
  std::vector<QImage> Pictures;
};

namespace {

constexpr Integer MaxImageSide = 32768;

[[noreturn]] void InvalidSize() { throw EInvalidOperation("Invalid image size"); }

QRgb ToRgb(TColor C) { return ToQColor(ColorToRGB(C)).rgb() & 0xFFFFFFu; }

// Pixels that count as drawn ink in the disabled look: opaque and darker than light grey.
bool IsInk(QRgb P) { return qAlpha(P) != 0 && qGray(P) < 0xC0; }

QImage DisabledLook(const QImage& Source) {
  QImage Out(Source.size(), QImage::Format_ARGB32);
  Out.fill(Qt::transparent);
  const QRgb Light = 0xFF000000u | ToRgb(clBtnHighlight);
  const QRgb Dark = 0xFF000000u | ToRgb(clBtnShadow);
  for (int Y = 0; Y < Source.height(); ++Y)
    for (int X = 0; X < Source.width(); ++X)
      if (IsInk(Source.pixel(X, Y)) && X + 1 < Out.width() && Y + 1 < Out.height()) Out.setPixel(X + 1, Y + 1, Light);
  for (int Y = 0; Y < Source.height(); ++Y)
    for (int X = 0; X < Source.width(); ++X)
      if (IsInk(Source.pixel(X, Y))) Out.setPixel(X, Y, Dark);
  return Out;
}

// A colour that no opaque pixel of Image has, to stand for "transparent" in a plain bitmap.
QRgb UnusedColour(const QImage& Image) {
  std::vector<QRgb> Used;
  for (int Y = 0; Y < Image.height(); ++Y)
    for (int X = 0; X < Image.width(); ++X)
      if (qAlpha(Image.pixel(X, Y)) != 0) Used.push_back(Image.pixel(X, Y) & 0xFFFFFFu);
  std::sort(Used.begin(), Used.end());
  for (QRgb Candidate : {0xFF00FFu, 0x00FF01u, 0x010203u, 0xFE01FDu})
    if (!std::binary_search(Used.begin(), Used.end(), Candidate)) return Candidate;
  // The smallest colour missing from the sorted list (there are 2^24 and at most 2^30 pixels
  // in a picture, so one is missing unless the picture is huge).
  QRgb Next = 0;
  for (QRgb U : Used) {
    if (U > Next) break;
    if (U == Next) ++Next;
  }
  return Next & 0xFFFFFFu;
}

TColor FromRgb(QRgb P) { return RGB(qRed(P), qGreen(P), qBlue(P)); }

}  // namespace

namespace clvqt {

QImage ImageListPicture(const TCustomImageList* List, Integer Index) {
  if (!List || Index < 0 || Index >= List->Count()) return QImage();
  return List->Internals()->Pictures[static_cast<std::size_t>(Index)];
}

}  // namespace clvqt

// ---------------------------------------------------------------------------------------------
// TChangeLink

TChangeLink::~TChangeLink() {
  if (FSender) FSender->UnRegisterChanges(this);
}

void TChangeLink::Change() {
  if (OnChange) OnChange(FSender);
}

// ---------------------------------------------------------------------------------------------
// TCustomImageList

TCustomImageList::TCustomImageList(TComponent* AOwner) : TComponent(AOwner), FImpl(std::make_unique<Impl>()) {}

TCustomImageList::~TCustomImageList() {
  for (TChangeLink* L : FLinks) L->FSender = nullptr;
  FLinks.clear();
}

Integer TCustomImageList::Count() const { return static_cast<Integer>(FImpl->Pictures.size()); }

void TCustomImageList::SetWidth(Integer Value) {
  if (Value < 1 || Value > MaxImageSide) InvalidSize();
  if (Value == FWidth) return;
  FWidth = Value;
  FImpl->Pictures.clear();
  Change();
}

void TCustomImageList::SetHeight(Integer Value) {
  if (Value < 1 || Value > MaxImageSide) InvalidSize();
  if (Value == FHeight) return;
  FHeight = Value;
  FImpl->Pictures.clear();
  Change();
}

Integer TCustomImageList::Add(TBitmap* Image, TBitmap* Mask) { return AddPieces(Image, Mask, false, clNone); }

Integer TCustomImageList::AddMasked(TBitmap* Image, TColor MaskColor) {
  if (Image && MaskColor == clDefault) MaskColor = Image->TransparentColor();
  return AddPieces(Image, nullptr, true, MaskColor);
}

Integer TCustomImageList::AddPieces(TBitmap* Image, TBitmap* Mask, bool UseColor, TColor MaskColor) {
  if (!Image || Image->Width() < FWidth || Image->Height() <= 0) InvalidSize();
  const QImage Source = BitmapToRGB32(Image);
  const QImage MaskImage = Mask ? BitmapToRGB32(Mask) : QImage();
  const QRgb Key = UseColor ? ToRgb(MaskColor) : 0;
  const int Pieces = Source.width() / FWidth;
  const int Rows = std::min<int>(FHeight, Source.height());
  const Integer First = Count();
  for (int K = 0; K < Pieces; ++K) {
    QImage Piece(FWidth, FHeight, QImage::Format_ARGB32);
    Piece.fill(Qt::transparent);
    for (int Y = 0; Y < Rows; ++Y) {
      for (int X = 0; X < FWidth; ++X) {
        const int SX = K * FWidth + X;
        const QRgb P = Source.pixel(SX, Y) & 0xFFFFFFu;
        bool Clear = UseColor && P == Key;
        if (!MaskImage.isNull() && SX < MaskImage.width() && Y < MaskImage.height())
          Clear = Clear || qGray(MaskImage.pixel(SX, Y)) >= 0x80;
        if (!Clear) Piece.setPixel(X, Y, 0xFF000000u | P);
      }
    }
    FImpl->Pictures.push_back(std::move(Piece));
  }
  Change();
  return First;
}

void TCustomImageList::Delete(Integer Index) {
  if (Index < 0 || Index >= Count()) throw EInvalidOperation("Invalid ImageList Index");
  FImpl->Pictures.erase(FImpl->Pictures.begin() + Index);
  Change();
}

void TCustomImageList::Clear() {
  FImpl->Pictures.clear();
  Change();
}

void TCustomImageList::Draw(TCanvas* Canvas, Integer X, Integer Y, Integer Index, bool Enabled) {
  if (!Canvas || Index < 0 || Index >= Count()) return;
  const QImage& Picture = FImpl->Pictures[static_cast<std::size_t>(Index)];
  const QImage Look = Enabled ? Picture : DisabledLook(Picture);
  // The canvas draws plain bitmaps with one transparent colour: give the clear pixels a colour
  // the picture does not use.
  const QRgb Key = UnusedColour(Look);
  QImage Flat(Look.size(), QImage::Format_RGB32);
  bool AnyClear = false;
  for (int PY = 0; PY < Look.height(); ++PY)
    for (int PX = 0; PX < Look.width(); ++PX) {
      const QRgb P = Look.pixel(PX, PY);
      AnyClear = AnyClear || qAlpha(P) == 0;
      Flat.setPixel(PX, PY, 0xFF000000u | (qAlpha(P) == 0 ? Key : (P & 0xFFFFFFu)));
    }
  TBitmap B;
  AssignImageToBitmap(&B, Flat);
  if (AnyClear) {
    B.SetTransparentColor(FromRgb(Key));
    B.SetTransparent(true);
  }
  Canvas->Draw(X, Y, &B);
}

bool TCustomImageList::GetBitmap(Integer Index, TBitmap* Image) {
  if (!Image || Index < 0 || Index >= Count()) return false;
  const QImage& Picture = FImpl->Pictures[static_cast<std::size_t>(Index)];
  QImage Flat(Picture.size(), QImage::Format_RGB32);
  Flat.fill(ToQColor(clBtnFace));
  for (int Y = 0; Y < Picture.height(); ++Y)
    for (int X = 0; X < Picture.width(); ++X)
      if (qAlpha(Picture.pixel(X, Y)) != 0) Flat.setPixel(X, Y, Picture.pixel(X, Y));
  AssignImageToBitmap(Image, Flat.convertToFormat(QImage::Format_BGR888));
  return true;
}

void TCustomImageList::RegisterChanges(TChangeLink* Value) {
  if (!Value || std::find(FLinks.begin(), FLinks.end(), Value) != FLinks.end()) return;
  if (Value->FSender && Value->FSender != this) Value->FSender->UnRegisterChanges(Value);
  Value->FSender = this;
  FLinks.push_back(Value);
}

void TCustomImageList::UnRegisterChanges(TChangeLink* Value) {
  auto It = std::find(FLinks.begin(), FLinks.end(), Value);
  if (It == FLinks.end()) return;
  FLinks.erase(It);
  Value->FSender = nullptr;
}

void TCustomImageList::Change() {
  // A link may unregister itself from its handler; walk a copy.
  for (TChangeLink* L : std::vector<TChangeLink*>(FLinks))
    if (std::find(FLinks.begin(), FLinks.end(), L) != FLinks.end()) L->Change();
  if (OnChange) OnChange(this);
}
