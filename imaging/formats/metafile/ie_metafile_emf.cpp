// The EMF record loop: 32-bit records with byte offsets counted from each record's start.
#include <cstring>

#include "imaging/formats/ie_le_bytes.h"
#include "imaging/formats/metafile/ie_metafile_player.h"
#include "platform/rtl/strings.h"
#include "platform/rtl/sysutils.h"

namespace iemf {

namespace {

// One record, every read checked against its size.
class TRecord {
 public:
  TRecord(const Byte* P, size_t Size, DWORD Type) : FP(P), FSize(Size), FType(Type) {}
  size_t Size() const { return FSize; }
  void Need(UInt64 End) const {
    if (End > FSize)
      throw EDamaged{"record " + IntToStr(Int64(FType)) + " of " + IntToStr(Int64(FSize)) + " bytes is too short for " +
                     IntToStr(Int64(End)) + " bytes of fields"};
  }
  DWORD U(size_t At) const {
    Need(UInt64(At) + 4);
    return IEGetLE32(FP + At);
  }
  double I(size_t At) const { return std::int32_t(U(At)); }
  double S16(size_t At) const {
    Need(UInt64(At) + 2);
    return std::int16_t(IEGetLE16(FP + At));
  }
  double F(size_t At) const {
    const DWORD v = U(At);
    float f;
    std::memcpy(&f, &v, 4);
    return f;
  }
  // Offset and size fields naming a block inside the record.
  const Byte* Block(size_t OffsetAt, size_t SizeAt, size_t& Bytes) const {
    const UInt64 off = U(OffsetAt), size = U(SizeAt);
    Bytes = size_t(size);
    if (size == 0) return nullptr;
    if (off + size > FSize)
      throw EDamaged{"record " + IntToStr(Int64(FType)) + " names bytes " + IntToStr(Int64(off)) + " to " +
                     IntToStr(Int64(off + size)) + " of its " + IntToStr(Int64(FSize))};
    return FP + off;
  }
  const Byte* At(size_t Offset) const { return FP + Offset; }

 private:
  const Byte* FP;
  size_t FSize;
  DWORD FType;
};

std::vector<TPointD> Points(const TRecord& R, size_t CountAt, size_t FirstAt, bool Short) {
  const UInt64 count = R.U(CountAt);
  const size_t step = Short ? 4 : 8;
  R.Need(FirstAt + count * step);
  std::vector<TPointD> pts;
  pts.reserve(size_t(count));
  for (size_t i = 0; i < count; ++i) {
    const size_t at = FirstAt + i * step;
    pts.push_back(Short ? TPointD{R.S16(at), R.S16(at + 2)} : TPointD{R.I(at), R.I(at + 4)});
  }
  return pts;
}

std::vector<std::vector<TPointD>> PolyPoints(const TRecord& R, bool Short) {
  const UInt64 polys = R.U(8 + 16), total = R.U(8 + 20);
  const size_t countsAt = 8 + 24;
  R.Need(countsAt + polys * 4);
  const size_t step = Short ? 4 : 8;
  const size_t firstAt = countsAt + size_t(polys) * 4;
  R.Need(firstAt + total * step);
  std::vector<std::vector<TPointD>> figs;
  UInt64 used = 0;
  for (size_t i = 0; i < polys; ++i) {
    const UInt64 n = R.U(countsAt + 4 * i);
    if (n > total - used) throw EDamaged{"a polygon's point counts add up to more than its " + IntToStr(Int64(total)) + " points"};
    std::vector<TPointD> f;
    for (UInt64 j = 0; j < n; ++j, ++used) {
      const size_t at = firstAt + size_t(used) * step;
      f.push_back(Short ? TPointD{R.S16(at), R.S16(at + 2)} : TPointD{R.I(at), R.I(at + 4)});
    }
    figs.push_back(std::move(f));
  }
  return figs;
}

// The bitmap a record names by its header and bits blocks; false when it is not drawn.
bool RecordDIB(const TRecord& R, size_t InfoAt, size_t BitsAt, DWORD Usage, TBitmap& Bitmap, bool& BottomUp) {
  size_t infoSize, bitsSize;
  const Byte* info = R.Block(InfoAt, InfoAt + 4, infoSize);
  const Byte* bits = R.Block(BitsAt, BitsAt + 4, bitsSize);
  return info && bits && DecodeDIB(info, infoSize, bits, bitsSize, Usage, Bitmap, BottomUp);
}

}  // namespace

void PlayEMF(const Byte* Data, size_t Size, TCanvas* Canvas, const TRect& Dest, Integer& Skipped) {
  const TRecord header(Data, IEGetLE32(Data + 4), 1);
  double frame[4];
  for (int i = 0; i < 4; ++i) frame[i] = header.I(24 + 4 * size_t(i));
  // The frame is in hundredths of a millimetre; the records draw in the reference device's
  // pixels, so the frame is converted to those through the device's size in pixels and mm.
  const double devX = header.I(72), devY = header.I(76), mmX = header.I(80), mmY = header.I(84);
  const double perMMX = devX > 0 && mmX > 0 ? devX / mmX : 96 / 25.4;
  const double perMMY = devY > 0 && mmY > 0 ? devY / mmY : 96 / 25.4;
  const double device[4] = {frame[0] * perMMX / 100, frame[1] * perMMY / 100, frame[2] * perMMX / 100,
                            frame[3] * perMMY / 100};
  TPlayer p(Canvas, Dest, device, perMMX);
  p.Objects.resize(IEGetLE16(Data + 56));
  auto slot = [&](DWORD Index) -> TObject& {
    if (Index == 0 || Index >= p.Objects.size())
      throw EDamaged{"object " + IntToStr(Int64(Index)) + " outside the table of " + IntToStr(Int64(p.Objects.size()))};
    return p.Objects[Index];
  };
  size_t at = 0;
  while (at + 8 <= Size) {
    const DWORD type = IEGetLE32(Data + at), size = IEGetLE32(Data + at + 4);
    if (type == 14) break;
    const TRecord r(Data + at, size, type);
    switch (type) {
      case 1: break;
      case 2: p.PolyBezier(Points(r, 24, 28, false)); break;
      case 85: p.PolyBezier(Points(r, 24, 28, true)); break;
      case 3: case 4: p.Poly(Points(r, 24, 28, false), type == 3); break;
      case 86: case 87: p.Poly(Points(r, 24, 28, true), type == 86); break;
      case 5: case 6: p.PolyTo(Points(r, 24, 28, false), type == 5); break;
      case 88: case 89: p.PolyTo(Points(r, 24, 28, true), type == 88); break;
      case 7: case 8: p.PolyPoly(PolyPoints(r, false), type == 8); break;
      case 90: case 91: p.PolyPoly(PolyPoints(r, true), type == 91); break;
      case 9: p.WinExt[0] = r.I(8), p.WinExt[1] = r.I(12); break;
      case 10: p.WinOrg[0] = r.I(8), p.WinOrg[1] = r.I(12); break;
      case 11: p.ViewExt[0] = r.I(8), p.ViewExt[1] = r.I(12); break;
      case 12: p.ViewOrg[0] = r.I(8), p.ViewOrg[1] = r.I(12); break;
      case 15: p.SetPixel(r.I(8), r.I(12), r.U(16)); break;
      case 17: p.SetMapMode(Integer(r.U(8))); break;
      case 18: p.BkMode = Integer(r.U(8)); break;
      case 19: p.PolyFillMode = Integer(r.U(8)); break;
      case 20: p.Rop2 = Integer(r.U(8)); break;
      case 22: p.TextAlign = Integer(r.U(8)); break;
      case 24: p.TextColor = r.U(8); break;
      case 25: p.BkColor = r.U(8); break;
      case 27: p.MoveTo(r.I(8), r.I(12)); break;
      case 54: p.LineTo(r.I(8), r.I(12)); break;
      case 29: p.ExcludeClip(r.I(8), r.I(12), r.I(16), r.I(20)); break;
      case 30: p.IntersectClip(r.I(8), r.I(12), r.I(16), r.I(20)); break;
      case 31: case 32: {  // SCALEVIEWPORTEXTEX, SCALEWINDOWEXTEX: x num, x denom, y num, y denom
        double* ext = type == 31 ? p.ViewExt : p.WinExt;
        if (r.I(12) != 0 && r.I(20) != 0) {
          ext[0] = ext[0] * r.I(8) / r.I(12);
          ext[1] = ext[1] * r.I(16) / r.I(20);
        }
        break;
      }
      case 33: p.Save(); break;
      case 34:
        if (!p.Restore(Integer(r.I(8)))) throw EDamaged{"a state restored that was never saved"};
        break;
      case 35: case 36: {
        double x[6];
        for (int i = 0; i < 6; ++i) x[i] = r.F(8 + 4 * size_t(i));
        p.ModifyWorld(x, type == 35 ? 4 : r.U(32));
        break;
      }
      case 37: {  // SELECTOBJECT
        const DWORD index = r.U(8);
        const TObject o = index & 0x80000000 ? StockObject(index) : slot(index);
        if (o.Kind == TObject::okPen) p.Pen = o;
        else if (o.Kind == TObject::okBrush) p.Brush = o;
        else if (o.Kind == TObject::okFont) p.Font = o;
        else if (o.Kind == TObject::okNone) throw EDamaged{"object " + IntToStr(Int64(index)) + " selected before it was made"};
        break;
      }
      case 40: {
        const DWORD index = r.U(8);
        if (!(index & 0x80000000)) slot(index) = TObject{};
        break;
      }
      case 38: {  // CREATEPEN: index, style, width (x, y), colour
        TObject o;
        o.Kind = TObject::okPen;
        o.PenStyle = Integer(r.U(12) & 0x0F);
        o.PenWidth = r.I(16);
        o.Color = r.U(24);
        slot(r.U(8)) = o;
        break;
      }
      case 95: {  // EXTCREATEPEN: index, bitmap blocks, style, width, brush style, colour, hatch
        TObject o;
        o.Kind = TObject::okPen;
        const DWORD style = r.U(28);
        o.PenStyle = Integer(style & 0x0F);
        o.PenWidth = style & 0x00010000 ? r.I(32) : 0;  // geometric pens have a logical width
        o.Color = r.U(40);
        slot(r.U(8)) = o;
        break;
      }
      case 39: {  // CREATEBRUSHINDIRECT: index, style, colour, hatch
        TObject o;
        o.Kind = TObject::okBrush;
        o.BrushStyle = Integer(r.U(12));
        o.Color = r.U(16);
        o.Hatch = Integer(r.U(20));
        slot(r.U(8)) = o;
        break;
      }
      case 93: case 94: {  // CREATEMONOBRUSH, CREATEDIBPATTERNBRUSHPT: index, usage, bitmap blocks
        TObject o;
        o.Kind = TObject::okBrush;
        o.BrushStyle = 5;
        o.Color = 0x808080;
        auto bitmap = std::make_shared<TBitmap>();
        bool bottomUp;
        if (RecordDIB(r, 16, 24, r.U(12) == 2 ? 0 : r.U(12), *bitmap, bottomUp)) o.Pattern = bitmap;
        else p.Skip();
        slot(r.U(8)) = o;
        break;
      }
      case 82: {  // EXTCREATEFONTINDIRECTW: index, LOGFONTW
        r.Need(12 + 92);
        TObject o;
        o.Kind = TObject::okFont;
        o.FontHeight = r.I(12);
        o.Escapement = Integer(r.I(20));
        o.Weight = Integer(r.I(28));
        o.Italic = *r.At(32);
        o.Underline = *r.At(33);
        o.StrikeOut = *r.At(34);
        std::u16string face;
        for (size_t i = 0; i < 32; ++i) {
          const char16_t c = char16_t(IEGetLE16(r.At(40 + 2 * i)));
          if (!c) break;
          face.push_back(c);
        }
        o.Face = WideToAnsi(face);
        slot(r.U(8)) = o;
        break;
      }
      case 49: {  // CREATEPALETTE: holds a slot
        TObject o;
        o.Kind = TObject::okOther;
        slot(r.U(8)) = o;
        break;
      }
      case 42: p.Ellipse(r.I(8), r.I(12), r.I(16), r.I(20)); break;
      case 43: p.Rectangle(r.I(8), r.I(12), r.I(16), r.I(20)); break;
      case 44: p.RoundRect(r.I(8), r.I(12), r.I(16), r.I(20), r.I(24), r.I(28)); break;
      case 45: case 46: case 47: case 55:
        p.ArcShape(type == 45 ? 0 : type == 46 ? 1 : type == 47 ? 2 : 3, r.I(8), r.I(12), r.I(16), r.I(20), r.I(24),
                   r.I(28), r.I(32), r.I(36));
        break;
      case 59: p.BeginPath(); break;
      case 60: p.EndPath(); break;
      case 61: p.CloseFigure(); break;
      case 62: p.FillPath(true, false); break;
      case 63: p.FillPath(true, true); break;
      case 64: p.FillPath(false, true); break;
      case 65: break;  // FLATTENPATH: the path's curves are flat already
      case 67: p.SelectClipPath(Integer(r.U(8))); break;
      case 68: p.AbortPath(); break;
      case 75: {  // EXTSELECTCLIPRGN: data size, mode, RGNDATA (32-byte header, rectangles)
        const UInt64 bytes = r.U(8);
        const Integer mode = Integer(r.U(12));
        std::vector<TRect> rects;
        if (bytes >= 32) {
          r.Need(16 + bytes);
          const UInt64 count = r.U(16 + 8);
          if (32 + count * 16 > bytes) throw EDamaged{"a clip region's rectangles run past its data"};
          for (size_t i = 0; i < count; ++i) {
            const size_t q = 16 + 32 + 16 * i;
            rects.push_back(TRect{ToPixels(r.I(q)), ToPixels(r.I(q + 4)), ToPixels(r.I(q + 8)), ToPixels(r.I(q + 12))});
          }
        }
        p.SelectClipRects(rects, mode);
        break;
      }
      case 76: case 77: {  // BITBLT, STRETCHBLT
        const double x = r.I(24), y = r.I(28), w = r.I(32), h = r.I(36);
        const DWORD rop = r.U(40);
        size_t infoSize;
        r.Block(84, 88, infoSize);
        if (infoSize == 0) {
          p.PatBlt(x, y, w, h, rop);
          break;
        }
        TBitmap bitmap;
        bool bottomUp;
        if (!RecordDIB(r, 84, 92, r.U(80), bitmap, bottomUp)) {
          p.Skip();
          break;
        }
        const double sx = r.I(44), sy = r.I(48);
        const double sw = type == 77 ? r.I(100) : w, sh = type == 77 ? r.I(104) : h;
        p.Blit(x, y, w, h, bitmap, TRect{ToPixels(sx), ToPixels(sy), ToPixels(sx + sw), ToPixels(sy + sh)}, rop);
        break;
      }
      case 80: case 81: {  // SETDIBITSTODEVICE (unscaled), STRETCHDIBITS
        TBitmap bitmap;
        bool bottomUp;
        if (!RecordDIB(r, 48, 56, r.U(64), bitmap, bottomUp)) {
          p.Skip();
          break;
        }
        const double sx = r.I(32), sy = r.I(36), sw = r.I(40), sh = r.I(44);
        // The source's y counts from the bitmap's first stored row: the bottom of a bottom-up one.
        const double top = bottomUp ? bitmap.Height() - (sy + sh) : sy;
        const TRect source{ToPixels(sx), ToPixels(top), ToPixels(sx + sw), ToPixels(top + sh)};
        if (type == 80) p.Blit(r.I(24), r.I(28), sw, sh, bitmap, source, cmSrcCopy);
        else p.Blit(r.I(24), r.I(28), r.I(72), r.I(76), bitmap, source, r.U(68));
        break;
      }
      case 83: case 84: {  // EXTTEXTOUTA, EXTTEXTOUTW: bounds, mode, scales, then the text record
        const double x = r.I(36), y = r.I(40);
        const UInt64 count = r.U(44), offString = r.U(48);
        const DWORD options = r.U(52);
        double rect[4] = {r.I(56), r.I(60), r.I(64), r.I(68)};
        const UInt64 offDx = r.U(72);
        const size_t unit = type == 84 ? 2 : 1;
        if (count) r.Need(offString + count * unit);
        std::u16string text;
        for (size_t i = 0; i < count; ++i)
          text.push_back(type == 84 ? char16_t(IEGetLE16(r.At(size_t(offString) + 2 * i)))
                                    : char16_t(*r.At(size_t(offString) + i)));
        std::vector<double> dx;
        if (offDx && count && offDx + count * 4 <= r.Size())
          for (size_t i = 0; i < count; ++i) dx.push_back(r.I(size_t(offDx) + 4 * i));
        const bool hasRect = rect[2] > rect[0] && rect[3] > rect[1];
        p.Text(x, y, text, dx, hasRect ? rect : nullptr, options & 0x0002, options & 0x0004);
        break;
      }
      case 13: case 16: case 21: case 23: case 28: case 48: case 50: case 51: case 52: case 58: case 70: case 98:
      case 99: case 100: case 101: case 102: case 110: case 115: case 120: case 121: case 122:
        break;  // brush origin, mapper flags, stretch mode, colour adjustment, meta region, palettes,
                // miter limit, comments, colour management, layout: nothing to draw
      default:
        p.Skip();
        break;
    }
    at += size;
  }
  Skipped = p.Skipped;
}

}  // namespace iemf
