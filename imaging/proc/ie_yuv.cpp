#include "imaging/proc/ie_yuv.h"

#include "imaging/core/ie_helpers.h"
#include "platform/rtl/numerics.h"

void IEYUVToRGB(Integer Y, Integer U, Integer V, Byte* Pixel) {
  const double y = (Y - 16) * 1.164, u = U - 128, v = V - 128;
  Pixel[0] = static_cast<Byte>(IEClamp255(SafeRound<Integer>(y + 2.018 * u)));
  Pixel[1] = static_cast<Byte>(IEClamp255(SafeRound<Integer>(y - 0.813 * v - 0.391 * u)));
  Pixel[2] = static_cast<Byte>(IEClamp255(SafeRound<Integer>(y + 1.596 * v)));
}

namespace {

Int64 Groups(Integer Width, Integer PerGroup) { return (Int64(Width) + PerGroup - 1) / PerGroup; }

// Runs Convert(stored row index, bitmap row) over every row once the frame is known to fit.
template <class F>
bool EachRow(size_t Size, Int64 Needed, TIEBitmap* Bitmap, bool TopDown, F Convert) {
  if (!Bitmap || Bitmap->IsEmpty() || Bitmap->GetPixelFormat() != ie24RGB) return false;
  if (Needed < 0 || static_cast<Int64>(Size) < Needed) return false;
  const Integer h = Bitmap->GetHeight();
  for (Integer i = 0; i < h; ++i) Convert(i, static_cast<Byte*>(Bitmap->GetScanline(TopDown ? i : h - 1 - i)));
  return true;
}

// Packed layouts: Bytes per group of Pixels pixels; Sample(group, k, Y, U, V) gives the
// samples of pixel k of a group.
template <class F>
bool Packed(const Byte* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown, Integer Pixels, Integer Bytes,
            F Sample) {
  if (!Bitmap || !Data) return false;
  const Integer w = Bitmap->GetWidth();
  const Int64 rowBytes = Groups(w, Pixels) * Bytes;
  return EachRow(Size, rowBytes * Bitmap->GetHeight(), Bitmap, TopDown, [&](Integer Row, Byte* Out) {
    const Byte* g = Data + rowBytes * Row;
    // The last group of a row may be cut short: only the pixels that exist are converted.
    for (Integer x = 0; x < w; x += Pixels, g += Bytes)
      for (Integer k = 0; k < Pixels && x + k < w; ++k) {
        Integer y, u, v;
        Sample(g, k, y, u, v);
        IEYUVToRGB(y, u, v, Out + 3 * (x + k));
      }
  });
}

// Planar layouts: the Y plane, then two chroma planes of (W div Sub) x (H div Sub) samples, the
// first of them U when UFirst. A pixel beyond the last chroma column or row (an odd size)
// shares the last one; a frame too small for any chroma is grey.
bool Planar(const Byte* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown, Integer Sub, bool UFirst) {
  if (!Bitmap || !Data) return false;
  const Integer w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  const Integer cw = w / Sub, ch = h / Sub;
  const Int64 luma = Int64(w) * h, chroma = Int64(cw) * ch;
  const Byte* first = Data + luma;
  const Byte* second = first + chroma;
  const Byte* planeU = UFirst ? first : second;
  const Byte* planeV = UFirst ? second : first;
  return EachRow(Size, luma + 2 * chroma, Bitmap, TopDown, [&](Integer Row, Byte* Out) {
    const Byte* ys = Data + Int64(w) * Row;
    const Int64 cr = Int64(IEMin(Row / Sub, ch - 1)) * cw;
    for (Integer x = 0; x < w; ++x) {
      Integer u = 128, v = 128;
      if (chroma > 0) {
        const Int64 i = cr + IEMin(x / Sub, cw - 1);
        u = planeU[i];
        v = planeV[i];
      }
      IEYUVToRGB(ys[x], u, v, Out + 3 * x);
    }
  });
}

}  // namespace

bool IEConvertIYU1(const Byte* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown) {
  static constexpr int kY[4] = {1, 2, 4, 5};
  return Packed(Data, Size, Bitmap, TopDown, 4, 6, [](const Byte* g, Integer k, Integer& y, Integer& u, Integer& v) {
    y = g[kY[k]];
    u = g[0];
    v = g[3];
  });
}

bool IEConvertIYU2(const Byte* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown) {
  return Packed(Data, Size, Bitmap, TopDown, 1, 3, [](const Byte* g, Integer, Integer& y, Integer& u, Integer& v) {
    u = g[0];
    y = g[1];
    v = g[2];
  });
}

bool IEConvertUYVY(const Byte* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown) {
  return Packed(Data, Size, Bitmap, TopDown, 2, 4, [](const Byte* g, Integer k, Integer& y, Integer& u, Integer& v) {
    u = g[0];
    y = g[1 + 2 * k];
    v = g[2];
  });
}

bool IEConvertYUY2(const Byte* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown) {
  return Packed(Data, Size, Bitmap, TopDown, 2, 4, [](const Byte* g, Integer k, Integer& y, Integer& u, Integer& v) {
    y = g[2 * k];
    u = g[1];
    v = g[3];
  });
}

bool IEConvertYVYU(const Byte* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown) {
  return Packed(Data, Size, Bitmap, TopDown, 2, 4, [](const Byte* g, Integer k, Integer& y, Integer& u, Integer& v) {
    y = g[2 * k];
    v = g[1];
    u = g[3];
  });
}

bool IEConvertY41P(const Byte* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown) {
  static constexpr int kY[8] = {1, 3, 5, 7, 8, 9, 10, 11};
  return Packed(Data, Size, Bitmap, TopDown, 8, 12, [](const Byte* g, Integer k, Integer& y, Integer& u, Integer& v) {
    y = g[kY[k]];
    u = k < 4 ? g[0] : g[4];
    v = k < 4 ? g[2] : g[6];
  });
}

bool IEConvertY211(const Byte* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown) {
  return Packed(Data, Size, Bitmap, TopDown, 4, 4, [](const Byte* g, Integer k, Integer& y, Integer& u, Integer& v) {
    y = k < 2 ? g[0] : g[2];
    u = g[1];
    v = g[3];
  });
}

bool IEConvertCLJR(const Byte* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown) {
  return Packed(Data, Size, Bitmap, TopDown, 4, 4, [](const Byte* g, Integer k, Integer& y, Integer& u, Integer& v) {
    const DWORD word = DWORD(g[0]) | DWORD(g[1]) << 8 | DWORD(g[2]) << 16 | DWORD(g[3]) << 24;
    u = word & 0x3F;
    v = (word >> 6) & 0x3F;
    y = (word >> (12 + 5 * k)) & 0x1F;
  });
}

bool IEConvertYVU9(const Byte* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown) {
  return Planar(Data, Size, Bitmap, TopDown, 4, false);
}
bool IEConvertYV12(const Byte* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown) {
  return Planar(Data, Size, Bitmap, TopDown, 2, false);
}
bool IEConvertI420(const Byte* Data, size_t Size, TIEBitmap* Bitmap, bool TopDown) {
  return Planar(Data, Size, Bitmap, TopDown, 2, true);
}

TIEYUVConverter IEYUVConverterFor(DWORD FourCC) {
  struct TRow {
    DWORD Code;
    TIEYUVConverter Converter;
  };
  static const TRow table[] = {
      {IEFourCC('I', '4', '2', '0'), IEConvertI420}, {IEFourCC('I', 'Y', 'U', 'V'), IEConvertI420},
      {IEFourCC('Y', 'V', '1', '2'), IEConvertYV12}, {IEFourCC('Y', 'V', 'U', '9'), IEConvertYVU9},
      {IEFourCC('I', 'Y', 'U', '1'), IEConvertIYU1}, {IEFourCC('I', 'Y', 'U', '2'), IEConvertIYU2},
      {IEFourCC('U', 'Y', 'V', 'Y'), IEConvertUYVY}, {IEFourCC('U', 'Y', 'N', 'V'), IEConvertUYVY},
      {IEFourCC('c', 'y', 'u', 'v'), IEConvertUYVY}, {IEFourCC('Y', 'U', 'Y', '2'), IEConvertYUY2},
      {IEFourCC('Y', 'U', 'N', 'V'), IEConvertYUY2}, {IEFourCC('Y', 'V', 'Y', 'U'), IEConvertYVYU},
      {IEFourCC('Y', '4', '1', 'P'), IEConvertY41P}, {IEFourCC('Y', '2', '1', '1'), IEConvertY211},
      {IEFourCC('C', 'L', 'J', 'R'), IEConvertCLJR},
  };
  for (const TRow& r : table)
    if (r.Code == FourCC) return r.Converter;
  return nullptr;
}
