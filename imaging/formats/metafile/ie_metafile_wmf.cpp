// The WMF record loop: 16-bit records, parameters stored last argument first.
#include <algorithm>

#include "imaging/formats/ie_le_bytes.h"
#include "imaging/formats/metafile/ie_metafile_player.h"
#include "platform/rtl/strings.h"
#include "platform/rtl/sysutils.h"

namespace iemf {

namespace {

// One record's parameters, every read checked against the record's size.
class TParams {
 public:
  TParams(const Byte* P, size_t Size, Word Function) : FP(P), FSize(Size), FFunction(Function) {}
  size_t Words() const { return FSize / 2; }
  void Need(size_t Count) const {
    if (Count > Words())
      throw EDamaged{"record " + IntToHex(Integer(FFunction), 4) + " holds " + IntToStr(Int64(Words())) +
                     " parameter words where " + IntToStr(Int64(Count)) + " are needed"};
  }
  double S(size_t I) const {
    Need(I + 1);
    return std::int16_t(IEGetLE16(FP + 2 * I));
  }
  Word U(size_t I) const {
    Need(I + 1);
    return IEGetLE16(FP + 2 * I);
  }
  DWORD U32(size_t I) const {
    Need(I + 2);
    return IEGetLE32(FP + 2 * I);
  }
  const Byte* At(size_t I) const { return FP + 2 * I; }
  size_t BytesFrom(size_t I) const { return I * 2 <= FSize ? FSize - I * 2 : 0; }

 private:
  const Byte* FP;
  size_t FSize;
  Word FFunction;
};

std::u16string Latin1(const Byte* P, size_t Count) {
  // Text in a metafile is in the font's code page; the western one is read as Latin-1.
  std::u16string s;
  for (size_t i = 0; i < Count; ++i) s.push_back(char16_t(P[i]));
  return s;
}

size_t PackedBitsOffset(const Byte* P, size_t Size) {
  if (Size < 12) return 0;
  const DWORD header = IEGetLE32(P);
  if (header < 12 || header > Size) return 0;
  size_t at = header;
  if (header == 12) {
    const Word bits = IEGetLE16(P + 10);
    return bits <= 8 ? at + (size_t(1) << bits) * 3 : at;
  }
  if (header < 40) return 0;
  const Word bits = IEGetLE16(P + 14);
  const DWORD compression = IEGetLE32(P + 16), used = IEGetLE32(P + 32);
  if (compression == 3 && header == 40) at += 12;
  if (bits <= 8) at += (used && used < (1u << bits) ? used : (size_t(1) << bits)) * 4;
  return at;
}

// A packed DIB (header, colours, bits) into Bitmap; false when it is not drawn.
bool PackedDIB(const Byte* P, size_t Size, DWORD Usage, TBitmap& Bitmap, bool& BottomUp) {
  const size_t bits = PackedBitsOffset(P, Size);
  if (!bits || bits > Size) throw EDamaged{"a bitmap's header runs past its record"};
  return DecodeDIB(P, bits, P + bits, Size - bits, Usage, Bitmap, BottomUp);
}

TRect SourceRect(const TBitmap& Bitmap, bool BottomUp, double X, double Y, double W, double H) {
  const double top = BottomUp ? Bitmap.Height() - (Y + H) : Y;
  return TRect{ToPixels(X), ToPixels(top), ToPixels(X + W), ToPixels(top + H)};
}

}  // namespace

void PlayWMF(const Byte* Data, size_t Size, size_t RecordsAt, Integer ObjectCount, const double Box[4],
             TCanvas* Canvas, const TRect& Dest, Integer& Skipped) {
  // The picture's box is its whole window: the records' window, whatever they set, is mapped
  // onto the destination (as a placeable metafile is played).
  const double w = Box[2] - Box[0], h = Box[3] - Box[1];
  const double frame[4] = {0, 0, w, h};
  TPlayer p(Canvas, Dest, frame, 96 / 25.4);
  p.Fixed = true;
  p.MapMode = 8;
  p.WinOrg[0] = Box[0];
  p.WinOrg[1] = Box[1];
  p.WinExt[0] = w;
  p.WinExt[1] = h;
  p.ViewExt[0] = w;
  p.ViewExt[1] = h;
  p.Objects.resize(size_t(ObjectCount));
  auto slot = [&](Word Index) -> TObject& {
    if (Index >= p.Objects.size())
      throw EDamaged{"object " + IntToStr(Integer(Index)) + " beyond the table of " + IntToStr(ObjectCount)};
    return p.Objects[Index];
  };
  auto create = [&](const TObject& O) {
    for (TObject& o : p.Objects)
      if (o.Kind == TObject::okNone) {
        o = O;
        return;
      }
    throw EDamaged{"more objects than the table of " + IntToStr(ObjectCount) + " holds"};
  };
  size_t at = RecordsAt;
  while (at + 6 <= Size) {
    const size_t size = size_t(IEGetLE32(Data + at)) * 2;
    const Word function = IEGetLE16(Data + at + 4);
    if (function == 0) break;
    const TParams a(Data + at + 6, size - 6, function);
    switch (function) {
      case 0x0201: p.BkColor = a.U32(0); break;
      case 0x0102: p.BkMode = a.U(0); break;
      case 0x0103: p.SetMapMode(a.U(0)); break;
      case 0x0104: p.Rop2 = a.U(0); break;
      case 0x0106: p.PolyFillMode = a.U(0); break;
      case 0x0209: p.TextColor = a.U32(0); break;
      case 0x012E: p.TextAlign = a.U(0); break;
      case 0x020B: p.WinOrg[1] = a.S(0), p.WinOrg[0] = a.S(1); break;
      case 0x020C: p.WinExt[1] = a.S(0), p.WinExt[0] = a.S(1); break;
      case 0x020F: p.WinOrg[1] += a.S(0), p.WinOrg[0] += a.S(1); break;
      case 0x0410:  // SCALEWINDOWEXT: y denominator, y numerator, x denominator, x numerator
        if (a.S(0) != 0 && a.S(2) != 0) {
          p.WinExt[1] = p.WinExt[1] * a.S(1) / a.S(0);
          p.WinExt[0] = p.WinExt[0] * a.S(3) / a.S(2);
        }
        break;
      case 0x020D: case 0x020E: case 0x0211: case 0x0412:
        break;  // the viewport is the destination's
      case 0x0214: p.MoveTo(a.S(1), a.S(0)); break;
      case 0x0213: p.LineTo(a.S(1), a.S(0)); break;
      case 0x041B: p.Rectangle(a.S(3), a.S(2), a.S(1), a.S(0)); break;
      case 0x0418: p.Ellipse(a.S(3), a.S(2), a.S(1), a.S(0)); break;
      case 0x061C: p.RoundRect(a.S(5), a.S(4), a.S(3), a.S(2), a.S(1), a.S(0)); break;
      case 0x0817: case 0x0830: case 0x081A:
        p.ArcShape(function == 0x0817 ? 0 : (function == 0x0830 ? 1 : 2), a.S(7), a.S(6), a.S(5), a.S(4), a.S(3),
                   a.S(2), a.S(1), a.S(0));
        break;
      case 0x041F: p.SetPixel(a.S(3), a.S(2), a.U32(0)); break;
      case 0x0324: case 0x0325: {  // POLYGON, POLYLINE
        const size_t count = a.U(0);
        a.Need(1 + 2 * count);
        std::vector<TPointD> pts;
        for (size_t i = 0; i < count; ++i) pts.push_back({a.S(1 + 2 * i), a.S(2 + 2 * i)});
        p.Poly(pts, function == 0x0324);
        break;
      }
      case 0x0538: {  // POLYPOLYGON
        const size_t polys = a.U(0);
        a.Need(1 + polys);
        size_t total = 0;
        for (size_t i = 0; i < polys; ++i) total += a.U(1 + i);
        a.Need(1 + polys + 2 * total);
        std::vector<std::vector<TPointD>> figs;
        size_t k = 1 + polys;
        for (size_t i = 0; i < polys; ++i) {
          std::vector<TPointD> f;
          for (size_t j = 0; j < a.U(1 + i); ++j, k += 2) f.push_back({a.S(k), a.S(k + 1)});
          figs.push_back(std::move(f));
        }
        p.PolyPoly(figs, true);
        break;
      }
      case 0x0521: {  // TEXTOUT: count, string (padded to a word), y, x
        const size_t count = a.U(0);
        const size_t words = (count + 1) / 2;
        a.Need(1 + words + 2);
        p.Text(a.S(2 + words), a.S(1 + words), Latin1(a.At(1), count), {}, nullptr, false, false);
        break;
      }
      case 0x0A32: {  // EXTTEXTOUT: y, x, count, options, [rectangle], string, [advances]
        const double y = a.S(0), x = a.S(1);
        const size_t count = a.U(2);
        const Word options = a.U(3);
        size_t k = 4;
        double rect[4];
        const bool hasRect = options & 0x0006;
        if (hasRect) {
          for (int i = 0; i < 4; ++i) rect[i] = a.S(k + size_t(i));
          k += 4;
        }
        const size_t words = (count + 1) / 2;
        a.Need(k + words);
        std::vector<double> dx;
        if (a.Words() >= k + words + count)
          for (size_t i = 0; i < count; ++i) dx.push_back(a.S(k + words + i));
        p.Text(x, y, Latin1(a.At(k), count), dx, hasRect ? rect : nullptr, options & 0x0002, options & 0x0004);
        break;
      }
      case 0x001E: p.Save(); break;
      case 0x0127:
        if (!p.Restore(Integer(a.S(0)))) throw EDamaged{"a state restored that was never saved"};
        break;
      case 0x012D: {  // SELECTOBJECT
        const TObject& o = slot(a.U(0));
        if (o.Kind == TObject::okPen) p.Pen = o;
        else if (o.Kind == TObject::okBrush) p.Brush = o;
        else if (o.Kind == TObject::okFont) p.Font = o;
        else if (o.Kind == TObject::okNone) throw EDamaged{"object " + IntToStr(Integer(a.U(0))) + " selected before it was made"};
        break;
      }
      case 0x01F0: slot(a.U(0)) = TObject{}; break;
      case 0x02FA: {  // CREATEPENINDIRECT: style, width (x, y), colour
        TObject o;
        o.Kind = TObject::okPen;
        o.PenStyle = a.U(0);
        o.PenWidth = a.S(1);
        o.Color = a.U32(3);
        create(o);
        break;
      }
      case 0x02FC: {  // CREATEBRUSHINDIRECT: style, colour, hatch
        TObject o;
        o.Kind = TObject::okBrush;
        o.BrushStyle = a.U(0);
        o.Color = a.U32(1);
        o.Hatch = a.U(3);
        create(o);
        break;
      }
      case 0x02FB: {  // CREATEFONTINDIRECT: LOGFONT with 16-bit fields and a face of up to 32 bytes
        a.Need(9);
        TObject o;
        o.Kind = TObject::okFont;
        o.FontHeight = a.S(0);
        o.Escapement = Integer(a.S(2));
        o.Weight = Integer(a.S(4));
        const Byte* b = a.At(5);
        o.Italic = b[0];
        o.Underline = b[1];
        o.StrikeOut = b[2];
        const Byte* face = a.At(9);
        const size_t room = std::min<size_t>(32, a.BytesFrom(9));
        const size_t len = std::find(face, face + room, 0) - face;
        o.Face = WideToAnsi(WideString(Latin1(face, len)));
        create(o);
        break;
      }
      case 0x0142: {  // DIBCREATEPATTERNBRUSH: style, colour usage, packed DIB
        TObject o;
        o.Kind = TObject::okBrush;
        o.BrushStyle = 5;
        o.Color = 0x808080;
        auto bitmap = std::make_shared<TBitmap>();
        bool bottomUp;
        if (PackedDIB(a.At(2), a.BytesFrom(2), a.U(1), *bitmap, bottomUp)) o.Pattern = bitmap;
        else p.Skip();
        create(o);
        break;
      }
      case 0x01F9: {  // CREATEPATTERNBRUSH (device-dependent bitmap): kept as a grey brush
        TObject o;
        o.Kind = TObject::okBrush;
        o.Color = 0x808080;
        create(o);
        p.Skip();
        break;
      }
      case 0x00F7: case 0x06FF: {  // CREATEPALETTE, CREATEREGION: hold a slot
        TObject o;
        o.Kind = TObject::okOther;
        create(o);
        break;
      }
      case 0x0416: p.IntersectClip(a.S(3), a.S(2), a.S(1), a.S(0)); break;
      case 0x0415: p.ExcludeClip(a.S(3), a.S(2), a.S(1), a.S(0)); break;
      case 0x061D:  // PATBLT: rop, height, width, y, x
        p.PatBlt(a.S(5), a.S(4), a.S(3), a.S(2), a.U32(0));
        break;
      case 0x0940: case 0x0B41: {  // DIBBITBLT, DIBSTRETCHBLT
        const bool stretch = function == 0x0B41;
        // Without a bitmap the record holds (function shr 8) parameter words and brushes the area.
        const size_t noBitmapWords = size_t(function >> 8);
        const DWORD rop = a.U32(0);
        if (a.Words() == noBitmapWords) {
          const size_t k = stretch ? 7 : 5;
          p.PatBlt(a.S(k + 3), a.S(k + 2), a.S(k + 1), a.S(k), rop);
          break;
        }
        double sx, sy, sw, sh, dx, dy, dw, dh;
        size_t k;
        if (stretch) {
          sh = a.S(2), sw = a.S(3), sy = a.S(4), sx = a.S(5), dh = a.S(6), dw = a.S(7), dy = a.S(8), dx = a.S(9);
          k = 10;
        } else {
          sy = a.S(2), sx = a.S(3), dh = sh = a.S(4), dw = sw = a.S(5), dy = a.S(6), dx = a.S(7);
          k = 8;
        }
        TBitmap bitmap;
        bool bottomUp;
        if (!PackedDIB(a.At(k), a.BytesFrom(k), 0, bitmap, bottomUp)) {
          p.Skip();
          break;
        }
        p.Blit(dx, dy, dw, dh, bitmap, TRect{ToPixels(sx), ToPixels(sy), ToPixels(sx + sw), ToPixels(sy + sh)}, rop);
        break;
      }
      case 0x0F43: {  // STRETCHDIB: rop, usage, source h, w, y, x, destination h, w, y, x, packed DIB
        const DWORD rop = a.U32(0);
        const double sh = a.S(3), sw = a.S(4), sy = a.S(5), sx = a.S(6);
        const double dh = a.S(7), dw = a.S(8), dy = a.S(9), dx = a.S(10);
        TBitmap bitmap;
        bool bottomUp;
        if (!PackedDIB(a.At(11), a.BytesFrom(11), a.U(2), bitmap, bottomUp)) {
          p.Skip();
          break;
        }
        p.Blit(dx, dy, dw, dh, bitmap, SourceRect(bitmap, bottomUp, sx, sy, sw, sh), rop);
        break;
      }
      case 0x0107: case 0x0108: case 0x0105: case 0x0035: case 0x0234: case 0x0231: case 0x0626:
        break;  // stretch mode, character extra, relabs, palette, mapper flags, escapes: nothing to draw
      default:
        p.Skip();
        break;
    }
    at += size;
  }
  Skipped = p.Skipped;
}

}  // namespace iemf
