// Conversion of whole images between the eleven pixel formats.
#include <cstring>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_bitmap_stores.h"
#include "imaging/core/ie_bitmap_pixels.h"
#include "imaging/core/ie_quantizer.h"
#include "imaging/core/ie_threshold.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_pixel_format.h"

using namespace iebitmap_local;

namespace {

// 8 x 8 Bayer matrix, indexed [x mod 8][y mod 8].
struct TBayer {
  Byte m[8][8];
  constexpr TBayer() : m{} {
    m[0][0] = 0;
    for (int n = 1; n < 8; n *= 2)
      for (int i = n - 1; i >= 0; --i)
        for (int j = n - 1; j >= 0; --j) {
          Byte v = static_cast<Byte>(4 * m[i][j]);
          m[i][j] = v;
          m[i][j + n] = static_cast<Byte>(v + 2);
          m[i + n][j] = static_cast<Byte>(v + 3);
          m[i + n][j + n] = static_cast<Byte>(v + 1);
        }
  }
};
constexpr TBayer kBayer;

inline Integer Grey8(TRGB c) { return IERGBToGray(c); }
inline Word Grey16From8(TRGB c) { return static_cast<Word>((c.r * 257 * 212 + c.g * 257 * 713 + c.b * 257 * 75) / 1000); }
inline Word Grey16From16(Word r, Word g, Word b) {
  return static_cast<Word>((Int64(r) * 212 + Int64(g) * 713 + Int64(b) * 75) / 1000);
}
inline float GreyFFrom8(TRGB c) { return static_cast<float>((0.2126 * c.r + 0.7152 * c.g + 0.0722 * c.b) / 255.0); }
inline float GreyFFrom16(Word r, Word g, Word b) {
  return static_cast<float>((0.2126 * (r / 256.0) + 0.7152 * (g / 256.0) + 0.0722 * (b / 256.0)) / 255.0);
}
inline void WriteWord(Byte* p, Word w) { std::memcpy(p, &w, 2); }
inline void WriteDWord(Byte* p, DWORD d) { std::memcpy(p, &d, 4); }
inline void WriteSingle(Byte* p, float f) { std::memcpy(p, &f, 4); }
inline void WriteRGB48(Byte* p, Word r, Word g, Word b) {
  WriteWord(p, r);
  WriteWord(p + 2, g);
  WriteWord(p + 4, b);
}

// Writes one colour into pixel X of a row of the given format (the ie24RGB rules).
inline void WriteRGBPixel(TIEPixelFormat Target, Byte* d, Integer x, TRGB c) {
  switch (Target) {
    case ie8g: d[x] = static_cast<Byte>(Grey8(c)); break;
    case ie16g: WriteWord(d + 2 * x, Grey16From8(c)); break;
    case ie24RGB: reinterpret_cast<TRGB*>(d)[x] = c; break;
    case ie32f: WriteSingle(d + 4 * x, GreyFFrom8(c)); break;
    case ieCMYK: WriteDWord(d + 4 * x, IERGB2CMYK(DWORD(c.r) << 16 | DWORD(c.g) << 8 | c.b)); break;
    case ieRGB48: WriteRGB48(d + 6 * x, Word(c.r * 257), Word(c.g * 257), Word(c.b * 257)); break;
    case ieCIELab: {
      TCIELab lab = IERGBToCIELab(c);
      std::memcpy(d + 3 * x, &lab, 3);
      break;
    }
    case ie32RGB:
      d[4 * x] = c.b;
      d[4 * x + 1] = c.g;
      d[4 * x + 2] = c.r;
      d[4 * x + 3] = 255;
      break;
    default: break;
  }
}

// Formats whose conversion to Target first turns the source itself into ie24RGB.
bool GoesThrough24(TIEPixelFormat Source, TIEPixelFormat Target, Byte DitherMethod) {
  if (Source == Target) return false;
  switch (Source) {
    case ie1g:
    case ie8p:
    case ie8g:
    case ie16g:
    case ie32f: return Target == ieCMYK || Target == ieCIELab;
    case ie24RGB: return false;
    case ieRGB48: return Target == ie8p || Target == ieCMYK || Target == ieCIELab || (Target == ie1g && DitherMethod == 1);
    case ieCMYK:
    case ieCIELab: return Target != ie24RGB && Target != ie32RGB;
    case ie32RGB: return Target != ie24RGB;
    default: return false;
  }
}

}  // namespace

void TIEBitmap::SetPixelFormat(TIEPixelFormat Value) {
  if (Value != GetPixelFormat()) ConvertPixelFormat(Value);
}

void TIEBitmap::ConvertPixelFormat(TIEPixelFormat Value) {
  if (const TIETBitmapStoreCalls* store = TBitmapStore()) {
    store->ConvertPixelFormat(*this, Value);
    return;
  }
  TIEBitmap temp;
  MoveImageTo(&temp);
  Location = temp.Location;
  DitherMethod = temp.DitherMethod;
  BitAlignment = temp.BitAlignment;
  Allocator = temp.Allocator;
  IsAlphaChannel = temp.IsAlphaChannel;
  Width = temp.Width;
  Height = temp.Height;
  PixelFormat = Value;
  if (!AllocateImage()) {
    Width = Height = 0;
    return;
  }
  if (temp.PixelFormat != ieNull) CopyAndConvertFormat(&temp);
  if (!AlphaChannel && temp.AlphaChannel) {
    AlphaChannel = std::move(temp.AlphaChannel);
  }
}

void TIEBitmap::CopyAndConvertFormat(TIEBitmap* Source) {
  if (!Source || Source == this || Location == ieTBitmap) return;
  if (Source->GetWidth() != Width || Source->GetHeight() != Height) return;
  TIEPixelFormat target = PixelFormat;
  if (GoesThrough24(Source->GetPixelFormat(), target, DitherMethod)) Source->ConvertPixelFormat(ie24RGB);
  const TIEPixelFormat source = Source->GetPixelFormat();

  TIEDataAccess srcAccess = Source->Access, dstAccess = Access;
  Source->Access = iedRead;
  Access = iedWrite;
  const Integer w = Width;

  // Runs Body(sourceRow, destRow, y) for every row: the source row is fetched first, then the
  // destination row (a file-backed bitmap has one mapped row at a time).
  auto rows = [&](auto&& Body) {
    for (Integer y = 0; y < Height; ++y) {
      const Byte* s = static_cast<const Byte*>(Source->GetScanline(y));
      Byte* d = static_cast<Byte*>(GetScanline(y));
      if (s && d) Body(s, d, y);
    }
  };
  auto setGreyRamp = [&] {
    if (!Palette) return;
    for (Integer i = 0; i < IEMin(PaletteLength, 256); ++i) Palette[i] = TRGB{Byte(i), Byte(i), Byte(i)};
  };
  // Ordered dither: Level(s, x) gives 0..63; the pure maximum of the source always stays white
  // (the matrix holds 63, which no level can exceed).
  auto ordered = [&](auto&& Level) {
    rows([&](const Byte* s, Byte* d, Integer y) {
      std::memset(d, 0, static_cast<size_t>(RowLen));
      for (Integer x = 0; x < w; ++x) {
        Integer level = Level(s, x);
        if (level > 63 || kBayer.m[x & 7][y & 7] < level) d[x >> 3] |= static_cast<Byte>(0x80 >> (x & 7));
      }
    });
  };
  auto toBW = [&](auto&& Level) {
    if (DitherMethod == 0) {
      ordered(Level);
    } else if (DitherMethod == 1) {
      Source->Access = srcAccess;
      Access = dstAccess;
      TIECodecProgress progress;
      IEThresholdToBW(Source, this, -1, progress);
    }
  };
  // A level of 64 marks the format's maximum, which dithers to white everywhere.
  auto level8 = [](Integer v) { return v >= 255 ? 64 : v >> 2; };

  if (source == target) {
    size_t bytes = static_cast<size_t>(IEMin(RowLen, Source->RowLen));
    rows([&](const Byte* s, Byte* d, Integer) { std::memcpy(d, s, bytes); });
    if (source == ie8p && Source->Palette && Palette)
      std::memcpy(Palette.get(), Source->Palette.get(), sizeof(TRGB) * static_cast<size_t>(IEMin(PaletteLength, Source->PaletteLength)));
  } else if (source == ieNull) {
    // nothing to copy
  } else if (target == ie1g) {
    switch (source) {
      case ie8p: {
        const TRGB* pal = Source->Palette.get();
        Integer n = Source->PaletteLength;
        toBW([&](const Byte* s, Integer x) { return level8(s[x] < n ? Grey8(pal[s[x]]) : 0); });
        break;
      }
      case ie8g: toBW([&](const Byte* s, Integer x) { return level8(s[x]); }); break;
      case ie16g:
        toBW([&](const Byte* s, Integer x) {
          Word v = ReadWord(s + 2 * x);
          return v == 65535 ? 64 : v >> 10;
        });
        break;
      case ie24RGB: toBW([&](const Byte* s, Integer x) { return level8(Grey8(reinterpret_cast<const TRGB*>(s)[x])); }); break;
      case ie32f:
        toBW([&](const Byte* s, Integer x) { return level8(UnitToLevel(ReadSingle(s + 4 * x), 255)); });
        break;
      case ieRGB48:
        toBW([&](const Byte* s, Integer x) { return level8(Grey8(PixelToRGB(ieRGB48, s, x, nullptr, 0))); });
        break;
      default: break;
    }
  } else if (source == ie1g) {
    if (target == ie8p && Palette) {
      Palette[0] = TRGB{0, 0, 0};
      Palette[1] = TRGB{255, 255, 255};
      rows([&](const Byte* s, Byte* d, Integer) {
        for (Integer x = 0; x < w; ++x) d[x] = static_cast<Byte>(IEGetBit(s, x));
      });
    } else if (target == ie32f) {
      rows([&](const Byte* s, Byte* d, Integer) {
        for (Integer x = 0; x < w; ++x) WriteSingle(d + 4 * x, IEGetBit(s, x) ? 1.0f : 0.0f);
      });
    } else {
      rows([&](const Byte* s, Byte* d, Integer) {
        for (Integer x = 0; x < w; ++x) {
          Byte v = IEGetBit(s, x) ? 255 : 0;
          WriteRGBPixel(target, d, x, TRGB{v, v, v});
        }
      });
    }
  } else if (source == ie8p) {
    const TRGB* pal = Source->Palette.get();
    Integer n = Source->PaletteLength;
    rows([&](const Byte* s, Byte* d, Integer) {
      for (Integer x = 0; x < w; ++x) WriteRGBPixel(target, d, x, (pal && s[x] < n) ? pal[s[x]] : TRGB{0, 0, 0});
    });
  } else if (source == ie8g) {
    switch (target) {
      case ie8p: {
        setGreyRamp();
        size_t bytes = static_cast<size_t>(IEMin(RowLen, Source->RowLen));
        rows([&](const Byte* s, Byte* d, Integer) { std::memcpy(d, s, bytes); });
        break;
      }
      case ie16g:
        rows([&](const Byte* s, Byte* d, Integer) {
          for (Integer x = 0; x < w; ++x) WriteWord(d + 2 * x, Word(s[x] * 257));
        });
        break;
      case ie32f:
        rows([&](const Byte* s, Byte* d, Integer) {
          for (Integer x = 0; x < w; ++x) WriteSingle(d + 4 * x, static_cast<float>(s[x] / 255.0));
        });
        break;
      default:
        rows([&](const Byte* s, Byte* d, Integer) {
          for (Integer x = 0; x < w; ++x) WriteRGBPixel(target, d, x, TRGB{s[x], s[x], s[x]});
        });
        break;
    }
  } else if (source == ie16g) {
    switch (target) {
      case ie8p:
        setGreyRamp();
        rows([&](const Byte* s, Byte* d, Integer) {
          for (Integer x = 0; x < w; ++x) d[x] = static_cast<Byte>(ReadWord(s + 2 * x) >> 8);
        });
        break;
      case ie32f:
        rows([&](const Byte* s, Byte* d, Integer) {
          for (Integer x = 0; x < w; ++x) WriteSingle(d + 4 * x, static_cast<float>(ReadWord(s + 2 * x) / 65535.0));
        });
        break;
      case ieRGB48:
        rows([&](const Byte* s, Byte* d, Integer) {
          for (Integer x = 0; x < w; ++x) {
            Word v = ReadWord(s + 2 * x);
            WriteRGB48(d + 6 * x, v, v, v);
          }
        });
        break;
      default:
        rows([&](const Byte* s, Byte* d, Integer) {
          for (Integer x = 0; x < w; ++x) {
            Byte v = static_cast<Byte>(ReadWord(s + 2 * x) >> 8);
            WriteRGBPixel(target, d, x, TRGB{v, v, v});
          }
        });
        break;
    }
  } else if (source == ie32f) {
    // Values outside 0..1 are limited to it; they would otherwise wrap into arbitrary levels.
    switch (target) {
      case ie8p:
        setGreyRamp();
        rows([&](const Byte* s, Byte* d, Integer) {
          for (Integer x = 0; x < w; ++x) d[x] = static_cast<Byte>(UnitToLevel(ReadSingle(s + 4 * x), 255));
        });
        break;
      case ie16g:
        rows([&](const Byte* s, Byte* d, Integer) {
          for (Integer x = 0; x < w; ++x) WriteWord(d + 2 * x, static_cast<Word>(UnitToLevel(ReadSingle(s + 4 * x), 65535)));
        });
        break;
      case ieRGB48:
        rows([&](const Byte* s, Byte* d, Integer) {
          for (Integer x = 0; x < w; ++x) {
            Word v = static_cast<Word>(UnitToLevel(ReadSingle(s + 4 * x), 65535));
            WriteRGB48(d + 6 * x, v, v, v);
          }
        });
        break;
      default:
        rows([&](const Byte* s, Byte* d, Integer) {
          for (Integer x = 0; x < w; ++x) {
            Byte v = static_cast<Byte>(UnitToLevel(ReadSingle(s + 4 * x), 255));
            WriteRGBPixel(target, d, x, TRGB{v, v, v});
          }
        });
        break;
    }
  } else if (source == ie24RGB) {
    switch (target) {
      case ie8p: {
        if (!Palette) break;
        // The quantizer fills a full palette of its own; all 256 entries become this image's.
        TRGB palette[256] = {};
        TIEQuantizer quantizer(Source, palette, PaletteColors);
        std::memcpy(Palette.get(), palette, sizeof palette);
        rows([&](const Byte* s, Byte* d, Integer) {
          const TRGB* p = reinterpret_cast<const TRGB*>(s);
          for (Integer x = 0; x < w; ++x) d[x] = static_cast<Byte>(quantizer.RGBIndex(p[x]));
        });
        break;
      }
      case ie8g: {
        // The weights are read once: stores through a byte pointer could otherwise change them
        // for all the compiler knows, and it would load them again for every pixel.
        const Integer red = IEGrayWeights.Red, green = IEGrayWeights.Green, blue = IEGrayWeights.Blue;
        rows([&](const Byte* s, Byte* d, Integer) {
          for (Integer x = 0; x < w; ++x, s += 3) d[x] = static_cast<Byte>((s[2] * red + s[1] * green + s[0] * blue) / 100);
        });
        break;
      }
      case ie32RGB:
        rows([&](const Byte* s, Byte* d, Integer) {
          for (Integer x = 0; x < w; ++x, s += 3, d += 4) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            d[3] = 255;
          }
        });
        break;
      default:
        rows([&](const Byte* s, Byte* d, Integer) {
          const TRGB* p = reinterpret_cast<const TRGB*>(s);
          for (Integer x = 0; x < w; ++x) WriteRGBPixel(target, d, x, p[x]);
        });
        break;
    }
  } else if (source == ieRGB48) {
    rows([&](const Byte* s, Byte* d, Integer) {
      for (Integer x = 0; x < w; ++x) {
        const Byte* p = s + 6 * x;
        Word r = ReadWord(p), g = ReadWord(p + 2), b = ReadWord(p + 4);
        TRGB high = IECreateRGB(Byte(r >> 8), Byte(g >> 8), Byte(b >> 8));
        switch (target) {
          case ie16g: WriteWord(d + 2 * x, Grey16From16(r, g, b)); break;
          case ie32f: WriteSingle(d + 4 * x, GreyFFrom16(r, g, b)); break;
          default: WriteRGBPixel(target, d, x, high); break;
        }
      }
    });
  } else if (source == ieCMYK || source == ieCIELab || source == ie32RGB) {
    // Only ie24RGB and ie32RGB targets arrive here; the rest went through ie24RGB above.
    rows([&](const Byte* s, Byte* d, Integer) {
      for (Integer x = 0; x < w; ++x) WriteRGBPixel(target, d, x, PixelToRGB(source, s, x, nullptr, 0));
    });
  }

  Source->Access = srcAccess;
  Access = dstAccess;
  Source->UnmapAllRows();
  UnmapAllRows();

  if (Source->AlphaChannel && !IsAlphaChannel) {
    AlphaChannel = std::move(Source->AlphaChannel);
  }
  if (Location == ieTBitmap) UpdateTBitmapPalette();
}
