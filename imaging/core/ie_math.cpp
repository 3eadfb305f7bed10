#include "imaging/core/ie_math.h"

#include <cmath>

long double IEIntPower(Integer Exponent, long double Base) {
  if (Exponent == 0) return 1.0L;
  // Widened first: the magnitude of the smallest Integer does not fit an Integer.
  unsigned long long e = Exponent < 0 ? static_cast<unsigned long long>(-static_cast<long long>(Exponent))
                                      : static_cast<unsigned long long>(Exponent);
  long double result = 1.0L, b = Base;
  while (e) {
    if (e & 1) result *= b;
    b *= b;
    e >>= 1;
  }
  return Exponent < 0 ? 1.0L / result : result;
}

long double IEPower(long double Base, long double Exponent) {
  if (Exponent == 0.0L) return 1.0L;
  if (Base == 0.0L && Exponent > 0.0L) return 0.0L;
  if (std::trunc(Exponent) == Exponent && std::fabs(Exponent) <= 2147483647.0L)
    return IEIntPower(static_cast<Integer>(Exponent), Base);
  return std::exp(Exponent * std::log(Base));
}
