#include "imaging/proc/ie_resize.h"

#include <climits>
#include <cstring>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_bits.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_pixel_format.h"
#include "imaging/proc/ie_proc.h"
#include "imaging/proc/resample/ie_resample.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/sysutils.h"

namespace {

bool IsKernelFilter(TResampleFilter Filter) { return Filter >= rfTriangle && Filter <= rfLinear; }

// The filter engines take 24-bit and 8-bit grey images with every filter, 16-bit grey and
// 48-bit images only with the area filters; 1-bit images go their own way.
bool FiltersTake(TIEPixelFormat Format, TResampleFilter Filter) {
  switch (Format) {
    case ie24RGB:
    case ie8g: return true;
    case ie16g:
    case ieRGB48: return Filter == rfBilinear || Filter == rfBicubic;
    default: return false;
  }
}

// The kernel resampler needs two samples on at least one axis; a single pixel spreads over
// the destination through the linear path, which gives every pixel its value.
TResampleFilter UsableFilter(TIEBitmap* Source, TResampleFilter Filter) {
  if (IsKernelFilter(Filter) && Source->GetWidth() < 2 && Source->GetHeight() < 2) return rfFastLinear;
  return Filter;
}

// Dest keeps its size and takes Format when it has another one.
bool EnsureFormat(TIEBitmap* Dest, TIEPixelFormat Format) {
  if (Dest->GetPixelFormat() == Format && !Dest->IsEmpty()) return true;
  return Dest->Allocate(Dest->GetWidth(), Dest->GetHeight(), Format);
}

template <size_t Bytes>
void StretchRows(TIEBitmap* Source, TIEBitmap* Dest, const std::vector<Integer>& Columns, double YRatio,
                 TIEProgressReporter& Progress) {
  const Integer dw = Dest->GetWidth(), dh = Dest->GetHeight(), sh = Source->GetHeight();
  const double dhHalf = dh + 0.5;
  for (Integer j = 0; j < dh; ++j) {
    const Integer sy = IEMin(SafeTrunc<Integer>(j * YRatio), sh - 1);
    const Byte* s = static_cast<const Byte*>(Source->GetScanline(sy));
    Byte* d = static_cast<Byte*>(Dest->GetScanline(j));
    for (Integer i = 0; i < dw; ++i) std::memcpy(d + size_t(i) * Bytes, s + size_t(Columns[i]) * Bytes, Bytes);
    Progress.Report(SafeTrunc<Integer>(j * 100 / dhHalf), true);
  }
}

void StretchBits(TIEBitmap* Source, TIEBitmap* Dest, const std::vector<Integer>& Columns, double YRatio,
                 TIEProgressReporter& Progress) {
  const Integer dw = Dest->GetWidth(), dh = Dest->GetHeight(), sh = Source->GetHeight();
  const double dhHalf = dh + 0.5;
  const Integer rowBytes = (dw + 7) / 8;
  for (Integer j = 0; j < dh; ++j) {
    const Integer sy = IEMin(SafeTrunc<Integer>(j * YRatio), sh - 1);
    const Byte* s = static_cast<const Byte*>(Source->GetScanline(sy));
    Byte* d = static_cast<Byte*>(Dest->GetScanline(j));
    std::memset(d, 0, size_t(rowBytes));
    for (Integer i = 0; i < dw; ++i) {
      const Integer c = Columns[i];
      if (s[c >> 3] & (0x80 >> (c & 7))) d[i >> 3] |= Byte(0x80 >> (i & 7));
    }
    Progress.Report(SafeTrunc<Integer>(j * 100 / dhHalf), true);
  }
}

}  // namespace

TIEBitmap* IEStretchNearest(TIEBitmap* Source, TIEBitmap* Dest, TObject* Sender, const TIEProgressEvent& OnProgress) {
  if (!Source || !Dest) return Dest;
  const TIEPixelFormat format = Source->GetPixelFormat();
  const Integer sw = Source->GetWidth(), sh = Source->GetHeight();
  const Integer dw = Dest->GetWidth(), dh = Dest->GetHeight();
  if (format != Dest->GetPixelFormat() || format == ieNull || Source->IsEmpty() || Dest->IsEmpty()) return Dest;

  const TIEDataAccess sourceAccess = Source->Access, destAccess = Dest->Access;
  Source->Access = iedRead;
  Dest->Access = iedWrite;
  const double xRatio = double(sw) / dw, yRatio = double(sh) / dh;
  std::vector<Integer> columns(static_cast<size_t>(dw));
  for (Integer i = 0; i < dw; ++i) columns[i] = IEMin(SafeTrunc<Integer>(i * xRatio), sw - 1);
  TIEProgressReporter progress(OnProgress, Sender);
  switch (IEPixelFormatBits[format]) {
    case 1: StretchBits(Source, Dest, columns, yRatio, progress); break;
    case 8: StretchRows<1>(Source, Dest, columns, yRatio, progress); break;
    case 16: StretchRows<2>(Source, Dest, columns, yRatio, progress); break;
    case 24: StretchRows<3>(Source, Dest, columns, yRatio, progress); break;
    case 32: StretchRows<4>(Source, Dest, columns, yRatio, progress); break;
    case 48: StretchRows<6>(Source, Dest, columns, yRatio, progress); break;
    default: break;
  }
  if (format == ie8p) Source->CopyPaletteTo(Dest);
  Source->Access = sourceAccess;
  Dest->Access = destAccess;
  Dest->UnmapAllRows();
  Source->UnmapAllRows();
  return Dest;
}

void IEFillTransparentRGB(TIEBitmap* Bitmap, TRGB Color) {
  if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB || !Bitmap->HasAlphaChannel()) return;
  TIEBitmap* alpha = Bitmap->GetAlphaChannel();
  const Integer w = IEMin(Bitmap->GetWidth(), alpha->GetWidth());
  const Integer h = IEMin(Bitmap->GetHeight(), alpha->GetHeight());
  for (Integer y = 0; y < h; ++y) {
    const Byte* a = static_cast<const Byte*>(alpha->GetScanline(y));
    TRGB* p = static_cast<TRGB*>(Bitmap->GetScanline(y));
    for (Integer x = 0; x < w; ++x)
      if (a[x] == 0) p[x] = Color;
  }
  Bitmap->UnmapAllRows();
  alpha->UnmapAllRows();
}

void IEResample(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter, const TIEProgressEvent& OnProgress,
                TObject* Sender) {
  if (!Source || !Dest || Source == Dest || Source->IsEmpty() || Dest->GetWidth() < 1 || Dest->GetHeight() < 1)
    return;
  const TIEPixelFormat format = Source->GetPixelFormat();
  const bool hasAlpha = Source->HasAlphaChannel();
  if (hasAlpha) IEFillTransparentRGB(Source, TRGB{128, 128, 128});
  const TResampleFilter filter = UsableFilter(Source, Filter);

  if (filter == rfNone) {
    if (!EnsureFormat(Dest, format)) return;
    IEStretchNearest(Source, Dest, Sender, OnProgress);
  } else if (format == ie1g) {
    if (!EnsureFormat(Dest, (filter == rfProjectBW || filter == rfProjectWB) ? ie1g : ie24RGB)) return;
    IEResampleBW(Source, Dest, filter);
  } else if (FiltersTake(format, filter)) {
    // The projections make Dest 1-bit themselves.
    if (!EnsureFormat(Dest, format)) return;
    IEResampleFiltered(Source, Dest, filter, OnProgress, Sender);
  } else {
    // No filter takes this format: scaling by the nearest pixel beats leaving Dest blank.
    if (!EnsureFormat(Dest, format)) return;
    IEStretchNearest(Source, Dest, Sender, OnProgress);
  }

  if (hasAlpha) {
    TIEBitmap* sourceAlpha = Source->GetAlphaChannel();
    TIEBitmap* destAlpha = Dest->GetAlphaChannel();
    if (!destAlpha) return;
    if (destAlpha->GetWidth() != Dest->GetWidth() || destAlpha->GetHeight() != Dest->GetHeight())
      destAlpha->Allocate(Dest->GetWidth(), Dest->GetHeight(), ie8g);
    if (filter == rfNone) IEStretchNearest(sourceAlpha, destAlpha, nullptr, nullptr);
    else IEResampleGray8(sourceAlpha, destAlpha, filter);
    destAlpha->Full = sourceAlpha->Full;
  }
}

// ---------------------------------------------------------------- component operations

void TZodivErProc::ImageResize(Integer NewWidth, Integer NewHeight, Byte HorizAlign, Byte VertAlign, Integer Alpha) {
  if (!BeginOperation(IEAnyFormat)) return;
  if (NewWidth <= 0 || NewHeight <= 0) return;
  if (NewWidth == FImage->GetWidth() && NewHeight == FImage->GetHeight()) return;
  Alpha = IEClamp(Alpha, 0, 255);
  if (AutoUndo) SaveUndoCaptioned("ImageResize " + IntToStr(NewWidth) + "," + IntToStr(NewHeight), ieuImage);
  const TColor background = Background();
  if (FImage->IsEmpty()) {
    // Nothing to keep: the new canvas is all background (24-bit unless a format was chosen).
    const TIEPixelFormat format = FImage->GetPixelFormat() == ieNull ? ie24RGB : FImage->GetPixelFormat();
    if (!FImage->Allocate(NewWidth, NewHeight, format)) return;
    FImage->Fill(background);
    if (Alpha < 255) FImage->GetAlphaChannel()->Fill(Alpha);
  } else {
    if (FImage->GetWidth() < 2 && FImage->GetHeight() < 2) Clear();
    if (Alpha < 255) FImage->GetAlphaChannel();
    FImage->Resize(NewWidth, NewHeight, background, Alpha, HorizAlign, VertAlign);
  }
  Update();
  FinishWork();
}

namespace {

// The size ResampleTo makes from the requested one; False when nothing can be made.
bool TargetSize(Integer W, Integer H, Integer NewWidth, Integer NewHeight, Integer& OutWidth, Integer& OutHeight) {
  if (W <= 0 || H <= 0) return false;
  if (NewWidth < 0 && NewHeight < 0) return false;
  Int64 w;
  if (NewWidth == -1) w = Int64(NewHeight) * W / H;
  else if (NewWidth == 0) w = W;
  else w = NewWidth < 0 ? -Int64(NewWidth) : Int64(NewWidth);
  if (w < 1) w = 1;
  Int64 h;
  if (NewHeight == -1) h = w * H / W;
  else if (NewHeight == 0) h = H;
  else h = NewHeight < 0 ? -Int64(NewHeight) : Int64(NewHeight);
  if (h < 1) h = 1;
  if (w > INT_MAX || h > INT_MAX) return false;
  OutWidth = Integer(w);
  OutHeight = Integer(h);
  return true;
}

}  // namespace

bool TZodivErProc::ResampleInto(TIEBitmap* Dest, Integer NewWidth, Integer NewHeight, TResampleFilter Filter) {
  Integer w = 0, h = 0;
  if (!TargetSize(FImage->GetWidth(), FImage->GetHeight(), NewWidth, NewHeight, w, h)) return false;
  if (!Dest->Allocate(w, h, FImage->GetPixelFormat())) return false;
  IEResample(FImage, Dest, Filter, OnProgress, this);
  return true;
}

void TZodivErProc::ResampleTo(TIEBitmap* Dest, Integer NewWidth, Integer NewHeight, TResampleFilter Filter) {
  if (!Dest || !BeginOperation(IEAnyFormat)) return;
  if (FImage->GetWidth() == 0 || FImage->GetHeight() == 0) return;
  if (Dest == FImage) {
    // Scaling into the image itself is a resample without its undo step.
    TIEBitmap temp;
    if (!ResampleInto(&temp, NewWidth, NewHeight, Filter)) return;
    FImage->Assign(&temp);
    Update();
  } else if (!ResampleInto(Dest, NewWidth, NewHeight, Filter)) {
    return;
  }
  FinishWork();
}

void TZodivErProc::Resample(Integer NewWidth, Integer NewHeight, TResampleFilter Filter) {
  if (!BeginOperation(IEAnyFormat)) return;
  Integer w = 0, h = 0;
  if (!TargetSize(FImage->GetWidth(), FImage->GetHeight(), NewWidth, NewHeight, w, h)) return;
  if (AutoUndo) SaveUndoCaptioned("Resample " + IntToStr(NewWidth) + "," + IntToStr(NewHeight), ieuImage);
  TIEBitmap temp;
  if (!ResampleInto(&temp, NewWidth, NewHeight, Filter)) return;
  FImage->Assign(&temp);
  Update();
  FinishWork();
}
