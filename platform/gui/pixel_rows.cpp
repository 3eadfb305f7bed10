#include "platform/gui/pixel_rows.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define PIXEL_ROWS_SHUFFLE 1
#endif

namespace {

void BgrToRgb32Plain(const uint8_t* From, uint32_t* To, int N) {
  for (int i = 0; i < N; ++i, From += 3)
    To[i] = 0xFF000000u | (uint32_t(From[2]) << 16) | (uint32_t(From[1]) << 8) | From[0];
}

void BgrOverRgb32Plain(const uint8_t* From, uint32_t* To, int N) {
  for (int i = 0; i < N; ++i, From += 3)
    To[i] = (To[i] & 0xFF000000u) | (uint32_t(From[2]) << 16) | (uint32_t(From[1]) << 8) | From[0];
}

void Rgb32ToBgrPlain(const uint32_t* From, uint8_t* To, int N) {
  for (int i = 0; i < N; ++i, To += 3) {
    const uint32_t v = From[i];
    To[0] = uint8_t(v), To[1] = uint8_t(v >> 8), To[2] = uint8_t(v >> 16);
  }
}

#ifdef PIXEL_ROWS_SHUFFLE
// Four pixels a shuffle. Every 16-byte load or store must stay inside the row, so the vector
// loops stop while six pixels are left and the plain loops finish.
__attribute__((target("ssse3"))) void BgrToRgb32Shuffle(const uint8_t* From, uint32_t* To, int N) {
  const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m128i opaque = _mm_set1_epi32(int(0xFF000000u));
  int i = 0;
  for (; i + 6 <= N; i += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(From + 3 * i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(To + i), _mm_or_si128(_mm_shuffle_epi8(v, spread), opaque));
  }
  BgrToRgb32Plain(From + 3 * i, To + i, N - i);
}

__attribute__((target("ssse3"))) void BgrOverRgb32Shuffle(const uint8_t* From, uint32_t* To, int N) {
  const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m128i fourth = _mm_set1_epi32(int(0xFF000000u));
  int i = 0;
  for (; i + 6 <= N; i += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(From + 3 * i));
    const __m128i kept = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(To + i)), fourth);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(To + i), _mm_or_si128(_mm_shuffle_epi8(v, spread), kept));
  }
  BgrOverRgb32Plain(From + 3 * i, To + i, N - i);
}

__attribute__((target("ssse3"))) void Rgb32ToBgrShuffle(const uint32_t* From, uint8_t* To, int N) {
  const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  int i = 0;
  // The four bytes past each store's twelve are written again by the next store.
  for (; i + 6 <= N; i += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(From + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(To + 3 * i), _mm_shuffle_epi8(v, pack));
  }
  Rgb32ToBgrPlain(From + i, To + 3 * i, N - i);
}

bool HasShuffle() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}
#endif

}  // namespace

void BgrRowToRgb32(const uint8_t* From, uint32_t* To, int N) {
#ifdef PIXEL_ROWS_SHUFFLE
  if (HasShuffle()) return BgrToRgb32Shuffle(From, To, N);
#endif
  BgrToRgb32Plain(From, To, N);
}

void BgrRowOverRgb32(const uint8_t* From, uint32_t* To, int N) {
#ifdef PIXEL_ROWS_SHUFFLE
  if (HasShuffle()) return BgrOverRgb32Shuffle(From, To, N);
#endif
  BgrOverRgb32Plain(From, To, N);
}

void Rgb32RowToBgr(const uint32_t* From, uint8_t* To, int N) {
#ifdef PIXEL_ROWS_SHUFFLE
  if (HasShuffle()) return Rgb32ToBgrShuffle(From, To, N);
#endif
  Rgb32ToBgrPlain(From, To, N);
}
