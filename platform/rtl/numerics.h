// Float-to-integer conversions, rounding, integer helpers and the floating-point control word.
// Every float-to-integer conversion of the program goes through here: NaN, infinities and values
// out of range give defined results (NaN -> 0, otherwise saturation to the target type's limits)
// instead of undefined behaviour.
#pragma once

#include <cmath>
#include <limits>
#include <type_traits>

#include "platform/rtl/types.h"

namespace numerics_detail {
// 2^digits of T: the first value above T's maximum, exact as a double.
template <class T>
constexpr double UpperBoundExclusive() {
  double p = 1.0;
  for (int i = 0; i < std::numeric_limits<T>::digits; ++i) p *= 2.0;
  return p;
}
}  // namespace numerics_detail

// Saturating conversion of an integral-valued double to T (NaN -> 0).
template <class T>
  requires std::is_integral_v<T>
constexpr T SaturateToInt(double v) {
  if (v != v) return 0;
  if (v < static_cast<double>(std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
  if (v >= numerics_detail::UpperBoundExclusive<T>()) return std::numeric_limits<T>::max();
  return static_cast<T>(v);
}

// Toward zero.
template <class T = Int64>
  requires std::is_integral_v<T>
T SafeTrunc(double v) { return SaturateToInt<T>(std::trunc(v)); }

// To nearest, ties to even, whatever rounding mode the floating-point unit is in.
inline double RoundHalfEven(double v) {
  // A half lies between two integers of which exactly one is even: v/2 then has a quarter
  // fraction and rounds to that even one's half.
  if (std::fabs(v - std::trunc(v)) == 0.5) return 2.0 * std::round(v / 2.0);
  return std::round(v);
}

// To nearest, ties to even (the framework's Round).
template <class T = Int64>
  requires std::is_integral_v<T>
T SafeRound(double v) { return SaturateToInt<T>(RoundHalfEven(v)); }

// The framework's names; 64-bit results, guarded as above.
Int64 Round(double v);
Int64 Trunc(double v);
// Toward minus and plus infinity, as Integer (guarded).
Integer Floor(double v);
Integer Ceil(double v);
// The fractional part, with the sign of v (Frac(-1.25) = -0.25).
double Frac(double v);
double Int(double v);

template <class T> constexpr T Min(T a, T b) { return b < a ? b : a; }
template <class T> constexpr T Max(T a, T b) { return a < b ? b : a; }
template <class T> constexpr T EnsureRange(T v, T lo, T hi) { return v < lo ? lo : (hi < v ? hi : v); }

// a * b / c with a 64-bit intermediate, rounded to nearest with halves away from zero.
// Returns -1 when c is 0 or the result does not fit in 32 bits.
Integer MulDiv(Integer a, Integer b, Integer c);

// The framework's pseudo-random generator: a 32-bit linear congruential sequence from RandSeed.
// Random(n) gives 0 .. n-1 (0 when n <= 0); Random() gives [0, 1). Not for cryptography.
extern thread_local Cardinal RandSeed;
Integer Random(Integer range);
double Random();
void Randomize();

// The x87-style floating-point control word: bits 0-5 exception masks, 8-9 precision, 10-11
// rounding. Get8087CW gives the word last set (the hardware's at start). Set8087CW applies the
// rounding mode and precision to the x87 unit and the rounding mode to SSE, but keeps every
// floating-point exception masked in hardware: our C++ code and the C libraries expect a division
// by zero to give an infinity, never a trap.
Word Get8087CW();
void Set8087CW(Word cw);
