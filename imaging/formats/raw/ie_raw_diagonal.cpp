// Turns the diamond that a diagonal sensor's data form inside the developed image back into an
// upright rectangle, filling the cells the turned grid does not cover from their four
// neighbours.
#include <cstring>
#include <memory>

#include "imaging/formats/raw/ie_raw_decoders.h"

namespace {

template <class T>
void rotate_back(TIEBitmap* Bitmap, TIEPixelFormat Format) {
  if (!Bitmap || Bitmap->GetPixelFormat() != Format) return;
  const Integer W = Bitmap->GetWidth();
  const Integer H = Bitmap->GetHeight();
  if (W <= 0 || H <= 0) return;
  const char* stage = "rotate_back_diagonal()";
  auto black = [](const T* p) { return p[0] == 0 && p[1] == 0 && p[2] == 0; };

  const T* row0 = static_cast<const T*>(Bitmap->GetScanline(0));
  Integer i = 0;
  while (i < W && black(row0 + 3 * i)) ++i;
  Integer n = 0;
  for (Integer g = W - 1; g >= 1; --g)
    if (!black(row0 + 3 * g)) {
      n = g;
      break;
    }
  const Integer NH = 2 * W - 2 * i - 4;
  auto result = std::make_unique<TIEBitmap>();
  if (n <= 0 || NH <= 0) {
    // Nothing of the diamond is there: the result holds no pixel.
    Bitmap->FreeImage(true);
    return;
  }

  std::vector<T> grid = raw_work_buffer<T>(Int64(NH) * n * 3, stage);
  std::vector<T> src = raw_work_buffer<T>(Int64(W) * 3, stage);
  for (Integer r = 0; r < H; ++r) {
    std::memcpy(src.data(), Bitmap->GetScanline(r), sizeof(T) * 3 * static_cast<size_t>(W));
    for (Integer g = 0; g < W; ++g) {
      const Word I = static_cast<Word>(g + r - n + 5);
      const Word K = static_cast<Word>((g - r + n - 1) / 2);
      if (I < NH && K < n) std::memcpy(&grid[(static_cast<size_t>(I) * n + K) * 3], &src[g * 3], sizeof(T) * 3);
    }
  }
  auto cell = [&](Integer j, Integer k) { return &grid[(static_cast<size_t>(j) * n + k) * 3]; };

  if (!result->Allocate(2 * n, NH, Format)) check_allocation(nullptr, stage);
  std::vector<T> out = raw_work_buffer<T>(Int64(2) * n * 3, stage);
  for (Integer j = 1; j < NH; ++j) {
    for (Integer k = 1; k < 2 * n; ++k) {
      const T* M = cell(j, k / 2);
      T* o = &out[k * 3];
      if (((j + k) & 1) == 0) {
        std::memcpy(o, M, sizeof(T) * 3);
      } else if (j <= NH - 2 && k <= 2 * n - 2) {
        const T* up = cell(j - 1, k / 2);
        const T* down = cell(j + 1, k / 2);
        const T* left = (j & 1) ? cell(j, k / 2 - 1) : M;
        const T* right = left + 3;
        for (Integer c = 0; c < 3; ++c) o[c] = static_cast<T>((Integer(up[c]) + left[c] + down[c] + right[c]) >> 2);
      }
    }
    std::memcpy(result->GetScanline(j - 1), out.data(), sizeof(T) * 3 * static_cast<size_t>(2 * n));
  }
  std::memset(result->GetScanline(NH - 1), 0, sizeof(T) * 3 * static_cast<size_t>(2 * n));
  Bitmap->Assign(result.get());
}

}  // namespace

void rotate_back_diagonal8(TIEBitmap* Bitmap) { rotate_back<Byte>(Bitmap, ie24RGB); }

void rotate_back_diagonal16(TIEBitmap* Bitmap) { rotate_back<Word>(Bitmap, ieRGB48); }
