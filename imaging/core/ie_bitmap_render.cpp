// Rendering of an image of any pixel format, scaled, into 24-bit rows: the view's back buffer,
// a layer composite, a framework bitmap.
#include <cmath>
#include <cstring>
#include <memory>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_bitmap_pixels.h"
#include "imaging/core/ie_blend.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_processing_services.h"
#include "platform/rtl/numerics.h"

TIEProcessingServices IEProcessingServices;

namespace {

constexpr Integer OneStep = 16384;  // 1.0 in the 14-bit fixed point of the scaling steps

// The source is read-only while it is drawn; its access mode comes back however drawing ends.
class ReadOnlyAccess {
 public:
  explicit ReadOnlyAccess(TIEBitmap* Bitmap) : FBitmap(Bitmap), FSaved(Bitmap->Access) { Bitmap->Access = iedRead; }
  ~ReadOnlyAccess() { FBitmap->Access = FSaved; }
  ReadOnlyAccess(const ReadOnlyAccess&) = delete;
  ReadOnlyAccess& operator=(const ReadOnlyAccess&) = delete;

 private:
  TIEBitmap* FBitmap;
  TIEDataAccess FSaved;
};

// Everything the row loop needs to turn source pixels into destination colours.
struct RenderJob {
  TIEBitmap* Source;
  TIEBitmap* Dest;
  Integer FirstCol, LastCol, FirstRow, LastRow;
  const std::vector<Integer>* XTable;
  const std::vector<Integer>* YTable;
  bool RepeatRows;
  bool Blended;
  bool AlphaBlend;
  Integer Transparency;
  TIEBlendOp Operation;
  bool Effects;
  Integer ContrastFixed;  // 16.16
  double ContrastFactor;
  Integer Offsets[3];
};

double ContrastFactor(Integer Contrast) {
  return Contrast >= 0 ? 1.0 + Contrast / 10.0 : 1.0 - std::sqrt(static_cast<double>(-Contrast)) / 10.0;
}

Byte Effect8(Integer Channel, Integer Offset, Integer F) {
  return static_cast<Byte>(IEClamp255(static_cast<Integer>(Int64(F) * (Channel + Offset - 128) / 65536) + 128));
}

Byte Effect16(Integer Word16, Integer Offset, double F) {
  const double t = Word16 + Offset - 32768;
  return static_cast<Byte>(IEClamp255(SafeTrunc<Integer>(t * F + 32768) >> 8));
}

// Grey levels stretched between BlackLevel and WhiteLevel; equal levels mean no stretch.
Byte LevelByte(Integer Value, const TIEBitmap& Source) {
  const double black = Source.BlackLevel, white = Source.WhiteLevel;
  const Integer low = SafeTrunc<Integer>(black), high = SafeTrunc<Integer>(white);
  const Integer v = IEClamp(Value, IEMin(low, high), IEMax(low, high));
  return static_cast<Byte>(IEClamp255(SafeTrunc<Integer>((v - low) / (white - black) * 255.0)));
}

// The colour of source pixel X of Row; false when the pixel draws nothing (no palette).
bool SourceColour(const RenderJob& J, const Byte* Row, Integer X, TRGB& Out) {
  TIEBitmap& s = *J.Source;
  const bool levels = s.WhiteLevel != s.BlackLevel;
  switch (s.GetPixelFormat()) {
    case ie24RGB: {
      Out = reinterpret_cast<const TRGB*>(Row)[X];
      if (J.Effects) Out = TRGB{Effect8(Out.b, J.Offsets[2], J.ContrastFixed), Effect8(Out.g, J.Offsets[1], J.ContrastFixed),
                                Effect8(Out.r, J.Offsets[0], J.ContrastFixed)};
      return true;
    }
    case ie32RGB: {
      const Byte* p = Row + 4 * X;
      Out = J.Effects ? TRGB{Effect8(p[0], J.Offsets[2], J.ContrastFixed), Effect8(p[1], J.Offsets[1], J.ContrastFixed),
                             Effect8(p[2], J.Offsets[0], J.ContrastFixed)}
                      : TRGB{p[0], p[1], p[2]};
      return true;
    }
    case ie1g: {
      const Byte v = (Row[X >> 3] >> (7 - (X & 7))) & 1 ? 255 : 0;
      Out = TRGB{v, v, v};
      return true;
    }
    case ie8g: {
      const Byte v = levels ? LevelByte(Row[X], s) : Row[X];
      Out = TRGB{v, v, v};
      return true;
    }
    case ie16g: {
      const Integer w = iebitmap_local::ReadWord(Row + 2 * X);
      const Byte v = levels ? LevelByte(w, s) : static_cast<Byte>(w >> 8);
      Out = TRGB{v, v, v};
      return true;
    }
    case ie32f: {
      const double f = iebitmap_local::ReadSingle(Row + 4 * X);
      Byte v;
      if (levels) {
        const double c = std::clamp(std::isnan(f) ? s.BlackLevel : f, std::min(s.BlackLevel, s.WhiteLevel),
                                    std::max(s.BlackLevel, s.WhiteLevel));
        v = static_cast<Byte>(IEClamp255(SafeTrunc<Integer>((c - s.BlackLevel) / (s.WhiteLevel - s.BlackLevel) * 255.0)));
      } else {
        v = static_cast<Byte>(SafeTrunc<Integer>(f * 255.0) & 0xFF);
      }
      Out = TRGB{v, v, v};
      return true;
    }
    case ie8p: {
      if (s.GetPaletteLength() <= 0) return false;
      Out = s.GetPaletteEntry(IEMin(Row[X], s.GetPaletteLength() - 1));
      return true;
    }
    case ieCMYK: IECMYK2RGB(iebitmap_local::ReadDWord(Row + 4 * X), Out); return true;
    case ieCIELab: {
      TCIELab lab;
      std::memcpy(&lab, Row + 3 * X, 3);
      Out = IECIELabToRGB(lab);
      return true;
    }
    case ieRGB48: {
      const Byte* p = Row + 6 * X;
      const Integer r = iebitmap_local::ReadWord(p), g = iebitmap_local::ReadWord(p + 2), b = iebitmap_local::ReadWord(p + 4);
      Out = J.Effects ? IECreateRGB(Effect16(r, J.Offsets[0], J.ContrastFactor), Effect16(g, J.Offsets[1], J.ContrastFactor),
                                    Effect16(b, J.Offsets[2], J.ContrastFactor))
                      : IECreateRGB(static_cast<Byte>(r >> 8), static_cast<Byte>(g >> 8), static_cast<Byte>(b >> 8));
      return true;
    }
    default: return false;
  }
}

// The source rectangle resampled to the destination size by the processing layer, with its
// alpha when that is in play: ie1g stays 1-bit for the two projection filters, everything else
// becomes ie24RGB.
void ResampleRect(TIEBitmap* Source, TIEBitmap& Scaled, Integer SrcX, Integer SrcY, Integer SrcWidth, Integer SrcHeight,
                  Integer DestWidth, Integer DestHeight, TResampleFilter Filter, bool WithAlpha) {
  const TIEPixelFormat format = Source->GetPixelFormat();
  // A fitted view shows the whole image: the resampler reads it where it is. Copying a picture
  // of tens of megabytes first cost several times the scaling itself on every redraw.
  const bool whole = SrcX == 0 && SrcY == 0 && SrcWidth == Source->GetWidth() && SrcHeight == Source->GetHeight();
  std::unique_ptr<TIEBitmap> part;
  TIEBitmap* from = Source;
  if (!whole) {
    part = std::make_unique<TIEBitmap>(SrcWidth, SrcHeight, format);
    Source->CopyRectTo(part.get(), SrcX, SrcY, 0, 0, SrcWidth, SrcHeight);
    if (WithAlpha) {
      Source->GetAlphaChannel()->CopyRectTo(part->GetAlphaChannel(), SrcX, SrcY, 0, 0, SrcWidth, SrcHeight);
      part->GetAlphaChannel()->Full = Source->GetAlphaChannel()->Full;
    }
    from = part.get();
  }
  const bool projected = format == ie1g && (Filter == rfProjectBW || Filter == rfProjectWB);
  Scaled.Allocate(DestWidth, DestHeight, projected ? ie1g : ie24RGB);
  if (format == ie1g)
    IEProcessingServices.ResampleBW(from, &Scaled, Filter);
  else
    IEProcessingServices.ResampleFiltered(from, &Scaled, Filter);
  if (WithAlpha) {
    IEProcessingServices.ResampleGray8(from->GetAlphaChannel(), Scaled.GetAlphaChannel(), Filter);
    Scaled.GetAlphaChannel()->Full = from->GetAlphaChannel()->Full;
  }
}

// A rectangle of a 24-bit image seen as an image of its own: the resampler writes its rows
// where they will be shown. It cannot be reallocated, and the rows it hands out are only valid
// while the image underneath keeps its rows in place (memory or a framework bitmap).
class RowWindow : public TIEBaseBitmap {
 public:
  RowWindow(TIEBitmap* Image, Integer Left, Integer Top, Integer Width, Integer Height)
      : FImage(Image), FLeft(Left), FTop(Top), FWidth(Width), FHeight(Height) {}
  void* GetScanline(Integer Row) override {
    return static_cast<TRGB*>(FImage->GetScanline(FTop + Row)) + FLeft;
  }
  Integer GetBitCount() const override { return 24; }
  Integer GetHeight() const override { return FHeight; }
  Integer GetWidth() const override { return FWidth; }
  TIEPixelFormat GetPixelFormat() const override { return ie24RGB; }
  Integer GetRowLen() const override { return FWidth * 3; }
  TRGB GetPaletteEntry(Integer) const override { return TRGB{0, 0, 0}; }
  void SetPaletteEntry(Integer, TRGB) override {}
  Integer GetPaletteLength() const override { return 0; }
  bool Allocate(Integer Width, Integer Height, TIEPixelFormat PixelFormat) override {
    return Width == FWidth && Height == FHeight && PixelFormat == ie24RGB;
  }
  void Assign(TObject*) override {}
  void CopyPaletteTo(TObject*) override {}

 private:
  TIEBitmap* FImage;
  Integer FLeft, FTop, FWidth, FHeight;
};

bool HonoursRepeatRows(TIEPixelFormat Format) { return Format == ie24RGB || Format == ie32RGB || Format == ie1g; }

// One row of source pixels through the job's tables, effects and blending into Out.
void RenderRow(const RenderJob& J, const Byte* SourceRow, const std::vector<Byte>& AlphaRow, bool HasAlpha, TRGB* out,
               Integer width) {
  for (Integer c = 0; c < width; ++c) {
    const Integer x = (*J.XTable)[c];
    TRGB colour;
    if (!SourceColour(J, SourceRow, x, colour)) continue;
    if (J.Effects) {
      TRGB mixed = out[c];
      IEBlendRGB(colour, mixed, J.Operation);
      colour = mixed;
    }
    if (J.Blended) {
      const Integer a = HasAlpha ? IEMin(J.Transparency, AlphaRow[x]) : J.Transparency;
      out[c] = TRGB{IEMixChannel(out[c].b, colour.b, a), IEMixChannel(out[c].g, colour.g, a),
                    IEMixChannel(out[c].r, colour.r, a)};
    } else {
      out[c] = colour;
    }
  }
}

void RenderRows(const RenderJob& J) {
  const bool plain = J.Source->GetPixelFormat() == ie24RGB && !J.Effects && !J.Blended;
  const TIEPixelFormat format = J.Source->GetPixelFormat();
  const Integer width = J.LastCol - J.FirstCol + 1;
  // Rows are fetched one at a time and copied where they are needed twice, so no row address
  // is held across another row's fetch in any store.
  std::vector<Byte> sourceRow(static_cast<size_t>(J.Source->GetRowLen()));
  std::vector<Byte> alphaRow;
  std::vector<TRGB> previous;
  Integer previousY = -1;
  TIEBitmap* alpha = J.AlphaBlend ? J.Source->GetAlphaChannel() : nullptr;
  for (Integer r = J.FirstRow; r <= J.LastRow; ++r) {
    const Integer y = (*J.YTable)[r - J.FirstRow];
    TRGB* out = static_cast<TRGB*>(J.Dest->GetScanline(r)) + J.FirstCol;
    if (J.RepeatRows && y == previousY && HonoursRepeatRows(format)) {
      std::memcpy(out, previous.data(), previous.size() * sizeof(TRGB));
      continue;
    }
    std::memcpy(sourceRow.data(), J.Source->GetScanline(y), sourceRow.size());
    if (alpha) {
      const Byte* a = static_cast<const Byte*>(alpha->GetScanline(y));
      alphaRow.assign(a, a + alpha->GetWidth());
    }
    if (plain) {
      // Opaque 24-bit pixels without effects are copied as they are, in a loop of their own.
      const TRGB* from = reinterpret_cast<const TRGB*>(sourceRow.data());
      const Integer* xs = J.XTable->data();
      for (Integer c = 0; c < width; ++c) out[c] = from[xs[c]];
    } else {
      RenderRow(J, sourceRow.data(), alphaRow, alpha != nullptr, out, width);
    }
    if (J.RepeatRows) {
      previous.assign(out, out + width);
      previousY = y;
    }
  }
}

}  // namespace

void TIEBitmap::RenderToTIEBitmap(TIEBitmap* Dest, TIERenderTables* Tables, const TRect* Clip, Integer DestX,
                                  Integer DestY, Integer DestWidth, Integer DestHeight, Integer SrcX, Integer SrcY,
                                  Integer SrcWidth, Integer SrcHeight, bool UseAlpha, bool RepeatRows,
                                  Integer Transparency, TResampleFilter Filter, bool FreeTables,
                                  TIEBlendOp Operation) {
  if (!Dest || Dest->GetPixelFormat() != ie24RGB) return;
  ReadOnlyAccess access(this);
  const Integer dw = Dest->GetWidth(), dh = Dest->GetHeight(), sw = GetWidth(), sh = GetHeight();
  if (DestWidth == 0 || DestHeight == 0 || SrcWidth == 0 || SrcHeight == 0 || DestY > dh - 1 || DestX > dw - 1) return;
  const double zx = static_cast<double>(SrcWidth) / DestWidth, zy = static_cast<double>(SrcHeight) / DestHeight;
  if (DestY < 0) {
    const Integer k = SafeRound<Integer>(-DestY * zy);
    DestHeight += DestY;
    SrcHeight -= k;
    SrcY += k;
    DestY = 0;
  }
  if (DestX < 0) {
    const Integer k = SafeRound<Integer>(-DestX * zx);
    DestWidth += DestX;
    SrcWidth -= k;
    SrcX += k;
    DestX = 0;
  }
  if (DestY + DestHeight > dh) {
    SrcHeight -= SafeTrunc<Integer>((DestY + DestHeight - dh) * zy);
    DestHeight = dh - DestY;
  }
  if (DestX + DestWidth > dw) {
    SrcWidth -= SafeTrunc<Integer>((DestX + DestWidth - dw) * zx);
    DestWidth = dw - DestX;
  }
  DestX = IEClamp(DestX, 0, dw - 1);
  DestY = IEClamp(DestY, 0, dh - 1);
  DestWidth = IEClamp(DestWidth, 0, dw);
  DestHeight = IEClamp(DestHeight, 0, dh);
  SrcX = IEClamp(SrcX, 0, sw - 1);
  SrcY = IEClamp(SrcY, 0, sh - 1);
  SrcWidth = IEClamp(SrcWidth, 0, sw);
  SrcHeight = IEClamp(SrcHeight, 0, sh);
  if (DestWidth == 0 || DestHeight == 0 || SrcWidth == 0 || SrcHeight == 0) return;

  const TIEPixelFormat format = GetPixelFormat();
  const bool alphaInPlay = UseAlpha && HasAlphaChannel();
  if (Filter != rfNone && (format == ie1g || format == ie24RGB) && (SrcWidth != DestWidth || SrcHeight != DestHeight) &&
      IEProcessingServices.ResamplingAvailable()) {
    if (format == ie1g && SrcWidth >= DestWidth && !alphaInPlay && Filter != rfProjectBW && Filter != rfProjectWB) {
      TIEBitmap shrunk(DestWidth, DestHeight, ie24RGB);
      IEProcessingServices.ShrinkBWRect(this, SrcX, SrcY, &shrunk, SrcY + SrcHeight - 1, SrcX + SrcWidth - 1);
      shrunk.RenderToTIEBitmap(Dest, nullptr, Clip, DestX, DestY, DestWidth, DestHeight, 0, 0, DestWidth, DestHeight,
                               UseAlpha, RepeatRows, Transparency, rfNone, true, Operation);
      return;
    }
    // An opaque picture without effects that lands whole inside the destination and the clip
    // would only be copied there from the scaled image: the whole image is scaled straight into
    // the destination's rows instead (a fitted view's every redraw).
    const bool opaque = !alphaInPlay || GetAlphaChannel()->Full;
    const bool plain = !UseChannelOffsets && Contrast == 0 && Operation == 0 && Transparency >= 255;
    const bool inside = DestX + DestWidth <= dw && DestY + DestHeight <= dh &&
                        (!Clip || (Clip->Left <= DestX && Clip->Top <= DestY && Clip->Right >= DestX + DestWidth - 1 &&
                                   Clip->Bottom >= DestY + DestHeight - 1));
    const bool whole = SrcX == 0 && SrcY == 0 && SrcWidth == sw && SrcHeight == sh;
    // Two images over one framework bitmap share their rows: scaling one into the other would
    // read rows already written.
    const bool shared = Dest == this || (Location == ieTBitmap && Dest->Location == ieTBitmap &&
                                         GetScanline(0) == Dest->GetScanline(0));
    if (format == ie24RGB && opaque && plain && inside && whole && !shared && Dest->Location != ieFile &&
        Filter != rfProjectBW && Filter != rfProjectWB) {
      RowWindow window(Dest, DestX, DestY, DestWidth, DestHeight);
      IEProcessingServices.ResampleFiltered(this, &window, Filter);
      return;
    }
    TIEBitmap scaled;
    ResampleRect(this, scaled, SrcX, SrcY, SrcWidth, SrcHeight, DestWidth, DestHeight, Filter, alphaInPlay);
    std::memcpy(scaled.ChannelOffsets, ChannelOffsets, sizeof ChannelOffsets);
    scaled.UseChannelOffsets = UseChannelOffsets;
    scaled.Contrast = Contrast;
    scaled.RenderToTIEBitmap(Dest, Tables, Clip, DestX, DestY, DestWidth, DestHeight, 0, 0, DestWidth, DestHeight,
                             UseAlpha, RepeatRows, Transparency, rfNone, FreeTables, Operation);
    return;
  }

  Integer lastRow = IEMin(DestY + DestHeight - 1, dh - 1), lastCol = IEMin(DestX + DestWidth - 1, dw - 1);
  Integer firstCol = DestX, firstRow = DestY;
  if (Clip) {
    firstCol = IEMax(Clip->Left, firstCol);
    lastCol = IEMin(Clip->Right, lastCol);
    firstRow = IEMax(Clip->Top, firstRow);
    lastRow = IEMin(Clip->Bottom, lastRow);
  }
  firstCol = IEMax(firstCol, 0);
  firstRow = IEMax(firstRow, 0);
  lastCol = IEMin(lastCol, dw - 1);
  lastRow = IEMin(lastRow, dh - 1);
  if (lastCol < firstCol || lastRow < firstRow) return;

  const Integer yStep = SafeTrunc<Integer>(static_cast<double>(SrcHeight) / DestHeight * OneStep);
  const Integer xStep = SafeTrunc<Integer>(static_cast<double>(SrcWidth) / DestWidth * OneStep);
  const bool alphaBlend = alphaInPlay && !GetAlphaChannel()->Full;
  const bool effects = UseChannelOffsets || Contrast != 0 || Operation != 0;
  const bool effectFormat = format == ie24RGB || format == ie32RGB || format == ieRGB48;
  Transparency = IEClamp255(Transparency);

  if (xStep == OneStep && yStep == OneStep && format == ie24RGB && Transparency >= 255 && !alphaBlend && !effects) {
    // The common 1 : 1 opaque case is a plain row copy, held inside the source.
    const Integer sx = firstCol + SrcX - DestX;
    const Integer count = IEMin(lastCol - firstCol + 1, sw - sx);
    for (Integer r = firstRow; r <= lastRow && count > 0; ++r) {
      const Integer sy = r + SrcY - DestY;
      if (sy < 0 || sy >= sh) continue;
      const TRGB* from = static_cast<const TRGB*>(GetScanline(sy)) + sx;
      const std::vector<TRGB> row(from, from + count);
      std::memcpy(static_cast<TRGB*>(Dest->GetScanline(r)) + firstCol, row.data(), row.size() * sizeof(TRGB));
    }
    return;
  }

  TIERenderTables local;
  TIERenderTables& t = Tables ? *Tables : local;
  const bool builtX = !t.HasX, builtY = !t.HasY;
  if (builtX) {
    t.XTable.resize(static_cast<size_t>(lastCol - firstCol + 1));
    for (Integer c = firstCol; c <= lastCol; ++c)
      t.XTable[c - firstCol] = IEClamp(SafeTrunc<Integer>((c - DestX) * zx + SrcX), 0, sw - 1);
    t.HasX = true;
  } else {
    // Cached tables may have been made for a larger source or area.
    lastCol = IEMin(lastCol, firstCol + static_cast<Integer>(t.XTable.size()) - 1);
    while (lastCol >= firstCol && (t.XTable[lastCol - firstCol] < 0 || t.XTable[lastCol - firstCol] >= sw)) --lastCol;
  }
  if (builtY) {
    t.YTable.resize(static_cast<size_t>(lastRow - firstRow + 1));
    for (Integer r = firstRow; r <= lastRow; ++r)
      t.YTable[r - firstRow] = IEClamp(SafeTrunc<Integer>((r - DestY) * zy + SrcY), 0, sh - 1);
    t.HasY = true;
  } else {
    lastRow = IEMin(lastRow, firstRow + static_cast<Integer>(t.YTable.size()) - 1);
    while (lastRow >= firstRow && (t.YTable[lastRow - firstRow] < 0 || t.YTable[lastRow - firstRow] >= sh)) --lastRow;
  }
  const auto release = [&] {
    if (FreeTables || !Tables) {
      if (builtX) { t.XTable.clear(); t.HasX = false; }
      if (builtY) { t.YTable.clear(); t.HasY = false; }
    }
  };
  if (lastCol < firstCol || lastRow < firstRow) {
    release();
    return;
  }

  RenderJob job{this, Dest, firstCol, lastCol, firstRow, lastRow, &t.XTable, &t.YTable, RepeatRows,
                Transparency < 255 || alphaBlend, alphaBlend, Transparency, Operation, effects && effectFormat,
                SafeTrunc<Integer>(ContrastFactor(Contrast) * 65536), ContrastFactor(Contrast),
                {ChannelOffsets[0], ChannelOffsets[1], ChannelOffsets[2]}};
  try {
    RenderRows(job);
  } catch (...) {
    // The caller learns of the failure; the tables it does not keep are released first.
    release();
    throw;
  }
  release();
}

void TIEBitmap::StretchRectTo(TIEBitmap* Dest, Integer DestX, Integer DestY, Integer DestWidth, Integer DestHeight,
                              Integer SrcX, Integer SrcY, Integer SrcWidth, Integer SrcHeight, TResampleFilter Filter,
                              Integer Transparency) {
  if (!Dest || Dest->GetPixelFormat() != ie24RGB) return;
  const TIEPixelFormat format = GetPixelFormat();
  const bool sourceAlpha = HasAlphaChannel();
  if (Filter != rfNone && (SrcWidth != DestWidth || SrcHeight != DestHeight) && IEProcessingServices.ResamplingAvailable() &&
      SrcWidth > 0 && SrcHeight > 0 && DestWidth > 0 && DestHeight > 0) {
    if (SrcWidth < DestWidth || format != ie1g || sourceAlpha) {
      TIEBitmap scaled;
      ResampleRect(this, scaled, SrcX, SrcY, SrcWidth, SrcHeight, DestWidth, DestHeight, Filter, sourceAlpha);
      scaled.StretchRectTo(Dest, DestX, DestY, DestWidth, DestHeight, 0, 0, DestWidth, DestHeight, rfNone, Transparency);
    } else {
      TIEBitmap shrunk(DestWidth, DestHeight, ie24RGB);
      IEProcessingServices.ShrinkBWRect(this, SrcX, SrcY, &shrunk, SrcY + SrcHeight - 1, SrcX + SrcWidth - 1);
      shrunk.StretchRectTo(Dest, DestX, DestY, DestWidth, DestHeight, 0, 0, DestWidth, DestHeight, rfNone, Transparency);
    }
    return;
  }
  if (DestWidth <= 0 || DestHeight <= 0 || SrcWidth <= 0 || SrcHeight <= 0) return;
  const Integer dw = Dest->GetWidth(), dh = Dest->GetHeight(), sw = GetWidth(), sh = GetHeight();
  const Int64 yStep = SafeTrunc<Int64>(static_cast<double>(SrcHeight) / DestHeight * OneStep);
  const Int64 xStep = SafeTrunc<Int64>(static_cast<double>(SrcWidth) / DestWidth * OneStep);
  const Integer firstCol = IEMax(DestX, 0), lastCol = IEMin(DestX + DestWidth - 1, dw - 1);
  const Integer firstRow = IEMax(DestY, 0), lastRow = IEMin(DestY + DestHeight - 1, dh - 1);
  if (lastCol < firstCol || lastRow < firstRow || sw <= 0 || sh <= 0) return;
  Transparency = IEClamp255(Transparency);
  // Source positions are kept inside the source whatever rectangle the caller names.
  std::vector<Integer> xTable(static_cast<size_t>(lastCol - firstCol + 1)), yTable(static_cast<size_t>(lastRow - firstRow + 1));
  for (Integer c = firstCol; c <= lastCol; ++c)
    xTable[c - firstCol] = static_cast<Integer>(IEClamp(static_cast<Integer>((c - DestX) * xStep / OneStep + SrcX), 0, sw - 1));
  for (Integer r = firstRow; r <= lastRow; ++r)
    yTable[r - firstRow] = static_cast<Integer>(IEClamp(static_cast<Integer>((r - DestY) * yStep / OneStep + SrcY), 0, sh - 1));

  TIEBitmap* destAlpha = Dest->GetAlphaChannel();
  const bool copyAlpha = sourceAlpha && !GetAlphaChannel()->Full;
  if (destAlpha) {
    if (copyAlpha) {
      TIEBitmap* alpha = GetAlphaChannel();
      std::vector<Byte> row;
      for (Integer r = firstRow; r <= lastRow; ++r) {
        const Byte* a = static_cast<const Byte*>(alpha->GetScanline(yTable[r - firstRow]));
        row.assign(a, a + alpha->GetWidth());
        Byte* out = static_cast<Byte*>(destAlpha->GetScanline(r));
        for (Integer c = firstCol; c <= lastCol; ++c) out[c] = static_cast<Byte>(IEMin(Transparency, row[xTable[c - firstCol]]));
      }
    } else {
      destAlpha->FillRect(firstCol, firstRow, lastCol, lastRow, Transparency);
    }
  }
  if (format != ie1g && format != ie24RGB) return;
  std::vector<Byte> row(static_cast<size_t>(GetRowLen()));
  for (Integer r = firstRow; r <= lastRow; ++r) {
    std::memcpy(row.data(), GetScanline(yTable[r - firstRow]), row.size());
    TRGB* out = static_cast<TRGB*>(Dest->GetScanline(r));
    for (Integer c = firstCol; c <= lastCol; ++c) {
      const Integer x = xTable[c - firstCol];
      if (format == ie24RGB) {
        out[c] = reinterpret_cast<const TRGB*>(row.data())[x];
      } else {
        const Byte v = (row[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0;
        out[c] = TRGB{v, v, v};
      }
    }
  }
}

void TIEBitmap::DrawToTIEBitmap(TIEBitmap* Dest, Integer DestX, Integer DestY, Integer DestWidth, Integer DestHeight,
                                Integer SrcX, Integer SrcY, Integer SrcWidth, Integer SrcHeight, Integer Transparency,
                                TResampleFilter Filter, TIEBlendOp Operation) {
  RenderToTIEBitmap(Dest, nullptr, nullptr, DestX, DestY, DestWidth, DestHeight, SrcX, SrcY, SrcWidth, SrcHeight, true,
                    false, Transparency, Filter, true, Operation);
}
