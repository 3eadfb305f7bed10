#include "imaging/core/ie_helpers.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include <cmath>

TIEGrayWeights IEGrayWeights{21, 71, 8};

namespace {

// Drops the fraction; saturates instead of invoking undefined behaviour on huge or NaN values.
Integer TruncToInt(long double X) {
  if (std::isnan(X)) return 0;
  if (X >= 2147483647.0L) return 2147483647;
  if (X <= -2147483648.0L) return -2147483647 - 1;
  return static_cast<Integer>(X);
}

}  // namespace

Integer IECeil(long double X) {
  Integer t = TruncToInt(X);
  return (X - static_cast<long double>(t) > 0) ? t + 1 : t;
}

Integer IEFloor(long double X) {
  Integer t = TruncToInt(X);
  return (X - static_cast<long double>(t) < 0) ? t - 1 : t;
}

void IEOrderCorners(Integer& X1, Integer& Y1, Integer& X2, Integer& Y2) {
  if (X1 > X2) IESwapInt(X1, X2);
  if (Y1 > Y2) IESwapInt(Y1, Y2);
}

long double IEPowerDouble(double Base, double Exponent) {
  if (std::fabs(Exponent) < 2147483647.0 && Exponent == std::trunc(Exponent)) {
    long long n = static_cast<long long>(Exponent);
    if (Base == 0) return n == 0 ? 1.0L : 0.0L;
    if (n == 0) return 1.0L;
    if (n == 1) return Base;
    if (n == 2) return Base * Base;
    if (n == -1) return 1.0 / Base;
    if (n == -2) return 1.0 / (Base * Base);
    // Computed in double: results must not depend on whether the machine has a wider type.
    unsigned long long e = n < 0 ? static_cast<unsigned long long>(-n) : static_cast<unsigned long long>(n);
    double result = 1.0, b = Base;
    while (e) {
      if (e & 1) result *= b;
      b *= b;
      e >>= 1;
    }
    return n < 0 ? 1.0 / result : result;
  }
  if (Base == 0) return 0.0L;
  return std::exp(Exponent * std::log(Base));
}

namespace {

double LinearFromSRGB(Byte c) {
  double v = c / 255.0;
  return v <= 0.03928 ? v / 12.92 : static_cast<double>(IEPowerDouble((v + 0.055) / 1.055, 2.4));
}

double LabF(double t) {
  return t > 0.008856 ? static_cast<double>(IEPowerDouble(t, 1.0 / 3.0)) : 7.787 * t + 0.13793103448275862;
}

double LabFInverse(double t) {
  double cube = static_cast<double>(IEPowerDouble(t, 3));
  return cube > 0.008856 ? cube : (t - 0.13793103448) / 7.787;
}

Byte SRGBFromLinear(double c) {
  double v = c <= 0.0031308 ? 12.92 * c : 1.055 * static_cast<double>(IEPowerDouble(c, 1 / 2.4)) - 0.055;
  // NaN only arises from a negative base with a fractional exponent; it ends as 0.
  double scaled = v * 255.0;
  if (std::isnan(scaled)) return 0;
  return static_cast<Byte>(IEClamp255(TruncToInt(std::nearbyint(scaled))));
}

}  // namespace

TCIELab IERGBToCIELab(TRGB Color) {
  double r = LinearFromSRGB(Color.r), g = LinearFromSRGB(Color.g), b = LinearFromSRGB(Color.b);
  double X = (0.412453 * r + 0.35758 * g + 0.180423 * b) / 0.95047;
  double Y = 0.212671 * r + 0.71516 * g + 0.072169 * b;
  double Z = (0.019334 * r + 0.119193 * g + 0.950227 * b) / 1.08883;
  double fx = LabF(X), fy = LabF(Y), fz = LabF(Z);
  double L = Y > 0.008856 ? 116.0 * fy - 16.0 : 903.3 * Y;
  TCIELab lab;
  lab.l = static_cast<Byte>(TruncToInt(L * 2.5));
  lab.a = static_cast<std::int8_t>(TruncToInt((fx - fy) * 500.0));
  lab.b = static_cast<std::int8_t>(TruncToInt((fy - fz) * 200.0));
  return lab;
}

TRGB IECIELabToRGB(TCIELab Lab) {
  double fy = (Lab.l * 0.39215686275 + 16.0) / 116.0;
  double fx = fy + Lab.a / 500.0;
  double fz = fy - Lab.b / 200.0;
  double X = LabFInverse(fx) * 0.95047;
  double Y = LabFInverse(fy);
  double Z = LabFInverse(fz) * 1.08883;
  double r = 3.2406 * X - 1.5372 * Y - 0.4986 * Z;
  double g = -0.9689 * X + 1.8758 * Y + 0.0415 * Z;
  double b = 0.0557 * X - 0.204 * Y + 1.057 * Z;
  return IECreateRGB(SRGBFromLinear(r), SRGBFromLinear(g), SRGBFromLinear(b));
}

Int64 IEBitmapRowLen(Integer Width, Integer BitsPerPixel, Integer AlignBits) {
  Int64 bits = Int64(Width) * Int64(BitsPerPixel);
  if (AlignBits == 32) return ((bits + 31) >> 5) * 4;
  if (AlignBits < 8) return 0;
  return ((bits + AlignBits - 1) / AlignBits) * (AlignBits / 8);
}

TRGB IETColorToTRGB(TColor Color) {
  TColor c = ColorToRGB(Color);
  return IECreateRGB(GetRValue(c), GetGValue(c), GetBValue(c));
}

namespace {

void CopySwapRBBytes(const Byte* s, Byte* d, size_t n) {
  for (size_t i = 0; i + 3 <= n; i += 3) {
    const Byte r = s[i];
    d[i + 1] = s[i + 1];
    d[i] = s[i + 2];
    d[i + 2] = r;
  }
}

#if defined(__x86_64__) || defined(__i386__)
// Byte k of the swapped pixels comes from byte Src(k) = 3 (k / 3) + 2 - k % 3. Sixteen pixels are
// 48 bytes, three 16-byte lanes in and out; lane Out of the result gathers from lane In with the
// mask below (0x80 clears a byte that another lane supplies). All three lanes are loaded before
// any is stored, so a row can be turned in place.
struct TSwapMasks {
  alignas(16) Byte Mask[3][3][16];
  constexpr TSwapMasks() : Mask{} {
    for (int out = 0; out < 3; ++out)
      for (int in = 0; in < 3; ++in)
        for (int k = 0; k < 16; ++k) {
          const int dst = out * 16 + k, src = dst / 3 * 3 + 2 - dst % 3;
          Mask[out][in][k] = src / 16 == in ? static_cast<Byte>(src % 16) : Byte(0x80);
        }
  }
};
constexpr TSwapMasks kSwapMasks;

__attribute__((target("ssse3"))) void CopySwapRBShuffle(const Byte* s, Byte* d, size_t n) {
  auto mask = [](int Out, int In) { return _mm_load_si128(reinterpret_cast<const __m128i*>(kSwapMasks.Mask[Out][In])); };
  const __m128i m00 = mask(0, 0), m01 = mask(0, 1), m10 = mask(1, 0), m11 = mask(1, 1), m12 = mask(1, 2),
                m21 = mask(2, 1), m22 = mask(2, 2);
  size_t i = 0;
  for (; i + 48 <= n; i += 48) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 32));
    const __m128i o0 = _mm_or_si128(_mm_shuffle_epi8(a, m00), _mm_shuffle_epi8(b, m01));
    const __m128i o1 =
        _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, m10), _mm_shuffle_epi8(b, m11)), _mm_shuffle_epi8(c, m12));
    const __m128i o2 = _mm_or_si128(_mm_shuffle_epi8(b, m21), _mm_shuffle_epi8(c, m22));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), o0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 16), o1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 32), o2);
  }
  CopySwapRBBytes(s + i, d + i, n - i);
}

bool HasSSSE3() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}
#endif

}  // namespace

void IECopySwapRB(const void* Source, void* Dest, Integer Count) {
  if (Count <= 0) return;
  const size_t n = static_cast<size_t>(Count) * 3;
  const Byte* s = static_cast<const Byte*>(Source);
  Byte* d = static_cast<Byte*>(Dest);
#if defined(__x86_64__) || defined(__i386__)
  if (HasSSSE3()) return CopySwapRBShuffle(s, d, n);
#endif
  CopySwapRBBytes(s, d, n);
}
