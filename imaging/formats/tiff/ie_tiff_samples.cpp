#include "imaging/formats/tiff/ie_tiff_samples.h"

#include <algorithm>
#include <cstring>

#include "imaging/formats/ie_color_convert.h"

namespace {

// The extra sample that is alpha: the first ExtraSamples value 1 (associated) or 2
// (unassociated); an RGBA page that does not say counts as unassociated.
void FindAlpha(const TTIFFVars& V, Integer Colours, TTIFFConversion& C) {
  if (V.SamplesPerPixel <= Colours) return;
  for (size_t k = 0; k < V.ExtraSamples.size() && Colours + Integer(k) < V.SamplesPerPixel; ++k) {
    if (V.ExtraSamples[k] == 1 || V.ExtraSamples[k] == 2) {
      C.AlphaSample = Colours + Integer(k);
      C.AssociatedAlpha = V.ExtraSamples[k] == 1;
      return;
    }
  }
  if (V.ExtraSamples.empty()) C.AlphaSample = Colours;
}

}  // namespace

TTIFFConversion TIFFChooseConversion(const TTIFFVars& V) {
  TTIFFConversion c;
  const Integer s = V.SamplesPerPixel, b = V.BitsPerSample;
  using K = TTIFFSampleKind;
  switch (V.Photometric) {
    case 2:
      if (s >= 3 && b == 8)
        c.Kind = K::RGB8;
      else if (s >= 3 && b == 16)
        c.Kind = K::RGB16;
      else if (s == 1 && b == 16)
        c.Kind = K::RGB555;
      if (c.Kind == K::RGB8 || c.Kind == K::RGB16) FindAlpha(V, 3, c);
      break;
    case 3:
      if (b <= 8 && s <= 2) c.Kind = K::Palette;
      if (s == 2) c.AlphaSample = 1;
      break;
    case 0:
    case 1:
      if (b == 1 && s == 1)
        c.Kind = K::Bilevel;
      else if (b <= 8)
        c.Kind = K::Grey8;
      else if (b == 16)
        c.Kind = K::Grey16;
      if (c.Kind != K::Bilevel) FindAlpha(V, 1, c);
      break;
    case 5:
      if (s >= 4 && b == 8)
        c.Kind = K::CMYK8;
      else if (s >= 4 && b == 16)
        c.Kind = K::CMYK16;
      break;
    case 8:
      if (s >= 3 && b == 8) c.Kind = K::Lab8;
      break;
    case 6:
      if (s == 3 && b == 8 && (V.YCbCrSubsampling[1] == 1 || V.YCbCrSubsampling[1] == 2) &&
          (V.YCbCrSubsampling[0] == 1 || V.YCbCrSubsampling[0] == 2))
        c.Kind = K::YCbCr;
      break;
  }
  if (c.Kind == K::Unsupported) c.AlphaSample = -1;
  return c;
}

AnsiString TIFFUnsupportedText(const TTIFFVars& V) {
  AnsiString s = "TIFF pages of photometric interpretation " + std::to_string(V.Photometric) + " with " +
                 std::to_string(V.SamplesPerPixel) + " samples of " + std::to_string(V.BitsPerSample) + " bits";
  if (V.Photometric == 6)
    s += " and subsampling " + std::to_string(V.YCbCrSubsampling[0]) + " x " + std::to_string(V.YCbCrSubsampling[1]);
  return s + " are not supported";
}

namespace {

// Brings Count pixels of Y, Cb, Cr from the page's reference codes to full range; the default
// codes leave them as they are. Codes that make no range (black not below white) are ignored.
void StretchYCbCr(const TTIFFVars& V, Byte* P, Integer Count) {
  const double* r = V.ReferenceBlackWhite;
  if (r[0] == 0 && r[1] == 255 && r[2] == 128 && r[3] == 255 && r[4] == 128 && r[5] == 255) return;
  if (!(r[1] > r[0] && r[3] > r[2] && r[5] > r[4])) return;
  Byte table[3][256];
  for (Integer c = 0; c < 3; ++c)
    for (Integer v = 0; v < 256; ++v) {
      const double black = r[2 * c], white = r[2 * c + 1];
      const double full = c == 0 ? (v - black) * 255 / (white - black) : (v - black) * 127 / (white - black) + 128;
      table[c][v] = Byte(full < 0 ? 0 : full > 255 ? 255 : full + 0.5);
    }
  for (Integer i = 0; i < Count; ++i)
    for (Integer c = 0; c < 3; ++c) P[3 * i + c] = table[c][P[3 * i + c]];
}

}  // namespace

void TIFFConvertRow(const TTIFFVars& V, const TTIFFConversion& C, const Byte* Row, TIEBitmap* Bitmap, Integer X,
                    Integer Y, Integer Count, std::vector<Byte>& Scratch) {
  if (Count <= 0) return;
  using K = TTIFFSampleKind;
  const TIEPixelFormat f = Bitmap->GetPixelFormat();
  Byte* dst = static_cast<Byte*>(Bitmap->GetScanline(Y));
  const Integer S = V.SamplesPerPixel;
  const bool little = V.Little;
  auto u16 = [little](const Byte* p) { return little ? Word(p[0] | p[1] << 8) : Word(p[0] << 8 | p[1]); };
  // The high byte of a 16-bit sample in the file's byte order.
  const Integer hi = little ? 1 : 0;
  TIEMask* mask = C.AlphaSample >= 0 ? V.Alpha : nullptr;
  const Integer bps = V.BitsPerSample == 16 ? 2 : 1;
  if (mask) {
    Byte* m = static_cast<Byte*>(mask->GetScanline(Y)) + X;
    for (Integer i = 0; i < Count; ++i) m[i] = Row[(size_t(i) * S + C.AlphaSample) * bps + (bps == 2 ? hi : 0)];
  }
  TRGB* px = reinterpret_cast<TRGB*>(dst) + X;
  auto toBGR = [&](Byte* Src, Byte Kind) {
    if (f == ie24RGB) {
      IEConvertColorFunction(Src, Kind, px, iecBGR, Count, V.IOParams);
    } else if (f == ie8g) {
      Scratch.resize(size_t(Count) * 3 + 16);
      IEConvertColorFunction(Src, Kind, Scratch.data(), iecBGR, Count, V.IOParams);
      IEConvertColorFunction(Scratch.data(), iecBGR, dst + X, iecGray, Count, V.IOParams);
    }
  };
  // A packed buffer of Count pixels of N bytes each, made from the row by Pick.
  auto packed = [&](Integer N) -> Byte* {
    Scratch.resize(size_t(Count) * Integer(std::max(N, 3)) + 16);
    return Scratch.data();
  };
  switch (C.Kind) {
    case K::RGB8: {
      if (S == 3) {
        // Already packed: converted straight from the row.
        toBGR(const_cast<Byte*>(Row), iecRGB);
        break;
      }
      Byte* p = packed(3);
      for (Integer i = 0; i < Count; ++i) {
        const Byte* s = Row + size_t(i) * S;
        Byte* d = p + size_t(i) * 3;
        if (C.AssociatedAlpha && C.AlphaSample >= 0) {
          // Colours stored premultiplied: divided back by alpha (an alpha of 0 leaves them black).
          const Integer a = s[C.AlphaSample];
          for (Integer k = 0; k < 3; ++k) d[k] = a == 0 ? 0 : Byte(std::min(255, s[k] * 255 / a));
        } else {
          d[0] = s[0], d[1] = s[1], d[2] = s[2];
        }
      }
      toBGR(p, iecRGB);
      break;
    }
    case K::RGB16: {
      if (f == ieRGB48) {
        Word* d = reinterpret_cast<Word*>(dst) + size_t(X) * 3;
        for (Integer i = 0; i < Count; ++i)
          for (Integer k = 0; k < 3; ++k) d[size_t(i) * 3 + k] = u16(Row + (size_t(i) * S + k) * 2);
        break;
      }
      Byte* p = packed(3);
      for (Integer i = 0; i < Count; ++i)
        for (Integer k = 0; k < 3; ++k) p[size_t(i) * 3 + k] = Row[(size_t(i) * S + k) * 2 + hi];
      toBGR(p, iecRGB);
      break;
    }
    case K::RGB555: {
      Byte* p = packed(3);
      for (Integer i = 0; i < Count; ++i) {
        // Taken little-endian whatever the file's order, as the writers of these pages store it.
        const Word v = Word(Row[2 * i] | Row[2 * i + 1] << 8);
        p[3 * i] = Byte(((v >> 10) & 31) * 8), p[3 * i + 1] = Byte(((v >> 5) & 31) * 8),
              p[3 * i + 2] = Byte((v & 31) * 8);
      }
      toBGR(p, iecRGB);
      break;
    }
    case K::Palette: {
      if (f == ie8p) {
        for (Integer i = 0; i < Count; ++i) dst[X + i] = Row[size_t(i) * S];
        break;
      }
      Byte* p = packed(3);
      const size_t n = V.ColorMap.size();
      for (Integer i = 0; i < Count; ++i) {
        const Byte index = Row[size_t(i) * S];
        // An index the colour map does not hold is black.
        const TRGB c = index < n ? V.ColorMap[index] : TRGB{0, 0, 0};
        p[3 * i] = c.r, p[3 * i + 1] = c.g, p[3 * i + 2] = c.b;
      }
      toBGR(p, iecRGB);
      break;
    }
    case K::Grey8:
    case K::Grey16: {
      const bool invert = V.Photometric == 0;
      for (Integer i = 0; i < Count; ++i) {
        Word v16;
        if (C.Kind == K::Grey16) {
          v16 = u16(Row + size_t(i) * S * 2);
        } else {
          v16 = Word(Row[size_t(i) * S] * 257);
        }
        if (invert) v16 = Word(65535 - v16);
        Byte v8 = Byte(v16 >> 8);
        if (C.Kind == K::Grey16 && V.Software.compare(0, 15, "Look@Molli v1.1") == 0)
          v8 = Byte(std::min<Integer>(255, v16 >> 4));
        if (f == ie16g)
          reinterpret_cast<Word*>(dst)[X + i] = C.Kind == K::Grey16 ? v16 : Word(v8 * 257);
        else if (f == ie8g)
          dst[X + i] = v8;
        else
          px[i] = TRGB{v8, v8, v8};
      }
      break;
    }
    case K::Bilevel: {
      // The bitmap's 1 is white; uncompressed, LZW and Deflate rows store white as 1 under
      // photometric 1, the fax codings store black as 1.
      const bool fax = V.Compression >= 2 && V.Compression <= 4;
      const bool invert = (V.Photometric == 0) != fax;
      const Integer bytes = (Count + 7) / 8;
      Byte* d = dst + X / 8;
      for (Integer i = 0; i < bytes; ++i) d[i] = invert ? Byte(~Row[i]) : Row[i];
      break;
    }
    case K::CMYK8:
    case K::CMYK16: {
      const Integer step = C.Kind == K::CMYK16 ? 2 : 1;
      const Integer off = C.Kind == K::CMYK16 ? hi : 0;
      if (f == ieCMYK) {
        Byte* d = dst + size_t(X) * 4;
        for (Integer i = 0; i < Count; ++i)
          for (Integer k = 0; k < 4; ++k) d[size_t(i) * 4 + k] = Byte(255 - Row[(size_t(i) * S + k) * step + off]);
        break;
      }
      Byte* p = packed(4);
      for (Integer i = 0; i < Count; ++i)
        for (Integer k = 0; k < 4; ++k) p[size_t(i) * 4 + k] = Byte(255 - Row[(size_t(i) * S + k) * step + off]);
      toBGR(p, iecCMYK);
      break;
    }
    case K::Lab8: {
      Byte* p = packed(3);
      for (Integer i = 0; i < Count; ++i) std::memcpy(p + size_t(i) * 3, Row + size_t(i) * S, 3);
      toBGR(p, iecCIELab);
      break;
    }
    case K::YCbCr: {
      Byte* p = packed(3);
      if (V.YCbCrSubsampling[0] == 1) {
        std::memcpy(p, Row, size_t(Count) * 3);
      } else {
        // Two pixels share one pair of chroma samples: Y0 Y1 Cb Cr.
        for (Integer i = 0; i < Count; ++i) {
          const Byte* q = Row + size_t(i / 2) * 4;
          p[3 * i] = q[i & 1], p[3 * i + 1] = q[2], p[3 * i + 2] = q[3];
        }
      }
      StretchYCbCr(V, p, Count);
      toBGR(p, iecYCbCr);
      break;
    }
    case K::Unsupported:
      break;
  }
}
