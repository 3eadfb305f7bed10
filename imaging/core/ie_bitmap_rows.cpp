// Row access of the four stores and the single-pixel accessors of the image buffer.
#include <cstring>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_bitmap_pixels.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_pixel_format.h"

// File rows are pointers into the file's shared view, like the rows of the memory stores: every
// row handed out stays valid until the image is reallocated or freed, so callers may hold and
// write several rows at once. MappedRow and the locked-row lists only record what was handed out.
void* TIEBitmap::FileRow(Integer Row) const {
  Byte* view = FileBuffer->View();
  return view ? view + Int64(Row) * Int64(RowLen) : nullptr;
}

void* TIEBitmap::GetScanline(Integer Row) {
  // An unsigned compare rejects negative rows too: a bad row number gives nil, never a pointer
  // outside the store.
  if (static_cast<unsigned>(Row) >= static_cast<unsigned>(Height)) return nullptr;
  switch (Location) {
    case ieMemory:
      if (Rows) return Rows + static_cast<ptrdiff_t>(RowLen) * (Height - 1 - Row);
      if (FragmentRows > 0)
        return FragmentTable[static_cast<size_t>(Row / FragmentRows)] +
               static_cast<ptrdiff_t>(RowLen) * (Row % FragmentRows);
      return nullptr;
    case ieTBitmap:
      return static_cast<size_t>(Row) < VclRowTable.size() ? VclRowTable[static_cast<size_t>(Row)] : nullptr;
    case ieFile:
      MappedRow = FileRow(Row);
      return MappedRow;
  }
  return nullptr;
}

void* TIEBitmap::LockScanline(Integer Row) {
  void* row = GetScanline(Row);
  if (row && Location == ieFile) {
    LockedRowPointers.push_back(row);
    LockedRowNumbers.push_back(Row);
  }
  return row;
}

void TIEBitmap::UnlockScanline(Integer Row) {
  if (Location != ieFile) return;
  for (size_t i = 0; i < LockedRowNumbers.size(); ++i) {
    if (LockedRowNumbers[i] == Row) {
      LockedRowPointers.erase(LockedRowPointers.begin() + static_cast<ptrdiff_t>(i));
      LockedRowNumbers.erase(LockedRowNumbers.begin() + static_cast<ptrdiff_t>(i));
      return;
    }
  }
}

void TIEBitmap::UnmapAllRows() {
  MappedRow = nullptr;
  LockedRowPointers.clear();
  LockedRowNumbers.clear();
}

// The single-pixel accessors answer 0 (and write nothing) for a pixel outside the image: a
// row number out of range has no row to point into, and a column out of range would reach
// into the next row or past the last one.
namespace {
template <class T>
T* PixelAt(TIEBitmap& B, Integer X, Integer Y, Integer BytesPerPixel) {
  Byte* row = static_cast<Byte*>(B.GetScanline(Y));
  if (!row || static_cast<unsigned>(X) >= static_cast<unsigned>(B.GetWidth())) return nullptr;
  return reinterpret_cast<T*>(row + static_cast<ptrdiff_t>(BytesPerPixel) * X);
}
template <class T>
T Load(const Byte* P) {
  T v{};
  if (P) std::memcpy(&v, P, sizeof(T));
  return v;
}
template <class T>
bool Store(Byte* P, const T& V) {
  if (P) std::memcpy(P, &V, sizeof(T));
  return P != nullptr;
}
}  // namespace

Byte TIEBitmap::GetPixelByte(Integer X, Integer Y) { return Load<Byte>(PixelAt<Byte>(*this, X, Y, 1)); }
void TIEBitmap::SetPixelByte(Integer X, Integer Y, Byte Value) {
  if (Store(PixelAt<Byte>(*this, X, Y, 1), Value) && Value != 255) Full = false;
}

Word TIEBitmap::GetPixelWord(Integer X, Integer Y) { return Load<Word>(PixelAt<Byte>(*this, X, Y, 2)); }
void TIEBitmap::SetPixelWord(Integer X, Integer Y, Word Value) {
  if (Store(PixelAt<Byte>(*this, X, Y, 2), Value) && Value != 65535) Full = false;
}

float TIEBitmap::GetPixelSingle(Integer X, Integer Y) { return Load<float>(PixelAt<Byte>(*this, X, Y, 4)); }
void TIEBitmap::SetPixelSingle(Integer X, Integer Y, float Value) {
  if (Store(PixelAt<Byte>(*this, X, Y, 4), Value) && !(Value >= 1.0f)) Full = false;
}

DWORD TIEBitmap::GetPixelDWord(Integer X, Integer Y) { return Load<DWORD>(PixelAt<Byte>(*this, X, Y, 4)); }
void TIEBitmap::SetPixelDWord(Integer X, Integer Y, DWORD Value) { Store(PixelAt<Byte>(*this, X, Y, 4), Value); }

TRGB TIEBitmap::GetPixelRGB(Integer X, Integer Y) { return Load<TRGB>(PixelAt<Byte>(*this, X, Y, 3)); }
void TIEBitmap::SetPixelRGB(Integer X, Integer Y, TRGB Value) { Store(PixelAt<Byte>(*this, X, Y, 3), Value); }
// An address, not a pixel: the column is the caller's (one past the row's end is a valid end
// pointer), only a row outside the image gives nil.
TRGB* TIEBitmap::GetPixelRGBAddress(Integer X, Integer Y) {
  TRGB* row = static_cast<TRGB*>(GetScanline(Y));
  return row ? row + X : nullptr;
}

TRGB48 TIEBitmap::GetPixelRGB48(Integer X, Integer Y) { return Load<TRGB48>(PixelAt<Byte>(*this, X, Y, 6)); }
void TIEBitmap::SetPixelRGB48(Integer X, Integer Y, TRGB48 Value) {
  if (Store(PixelAt<Byte>(*this, X, Y, 6), Value) && (Value.r != 65535 || Value.g != 65535 || Value.b != 65535))
    Full = false;
}

Byte TIEBitmap::GetAlphaValue(Integer X, Integer Y) {
  TIEBitmap* alpha = IsAlphaChannel ? this : GetAlphaChannel();
  return Load<Byte>(PixelAt<Byte>(*alpha, X, Y, 1));
}

void TIEBitmap::SetAlphaValue(Integer X, Integer Y, Byte Value) {
  TIEBitmap* alpha = IsAlphaChannel ? this : GetAlphaChannel();
  if (Store(PixelAt<Byte>(*alpha, X, Y, 1), Value) && Value != 255) {
    alpha->Full = false;
    Full = false;
  }
}

TRGB TIEBitmap::GetPixelAsRGB(Integer X, Integer Y) {
  const Byte* row = static_cast<const Byte*>(GetScanline(Y));
  if (!row || static_cast<unsigned>(X) >= static_cast<unsigned>(Width)) return TRGB{0, 0, 0};
  return iebitmap_local::PixelToRGB(PixelFormat, row, X, Palette.get(), PaletteLength);
}

bool TIEBitmap::IsGrayScale() {
  switch (PixelFormat) {
    case ie8p:
      for (Integer i = 0; i < PaletteLength; ++i)
        if (Palette[i].r != Palette[i].g || Palette[i].g != Palette[i].b) return false;
      return true;
    case ie24RGB:
    case ie32RGB:
    case ieRGB48: {
      Integer step = PixelFormat == ie24RGB ? 3 : (PixelFormat == ie32RGB ? 4 : 6);
      for (Integer y = 0; y < Height; ++y) {
        const Byte* row = static_cast<const Byte*>(GetScanline(y));
        for (Integer x = 0; x < Width; ++x) {
          const Byte* p = row + step * x;
          if (PixelFormat == ieRGB48) {
            if (std::memcmp(p, p + 2, 2) != 0 || std::memcmp(p + 2, p + 4, 2) != 0) return false;
          } else if (p[0] != p[1] || p[1] != p[2]) {
            return false;
          }
        }
      }
      return true;
    }
    default:
      return true;
  }
}

bool TIEBitmap::IsAllZero() {
  size_t bytes = static_cast<size_t>(IEBitmapRowLen(Width, BitCount, 8));
  for (Integer y = 0; y < Height; ++y) {
    const Byte* row = static_cast<const Byte*>(GetScanline(y));
    for (size_t i = 0; i < bytes; ++i)
      if (row[i] != 0) return false;
  }
  return true;
}

void TIEBitmap::SyncOpaqueFlag() {
  size_t bytes = static_cast<size_t>(IEBitmapRowLen(Width, BitCount, 8));
  TIEDataAccess saved = Access;
  Access = iedRead;
  Full = true;
  for (Integer y = 0; y < Height && Full; ++y) {
    const Byte* row = static_cast<const Byte*>(GetScanline(y));
    for (size_t i = 0; i < bytes; ++i)
      if (row[i] != 255) {
        Full = false;
        break;
      }
  }
  Access = saved;
}
