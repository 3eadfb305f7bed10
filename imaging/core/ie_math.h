// Conditional picks and powers used by the filters and colour conversions of the library.
#pragma once

#include "platform/rtl/types.h"

inline Integer IEIfThen(bool Condition, Integer TrueValue, Integer FalseValue) {
  return Condition ? TrueValue : FalseValue;
}
inline double IEIfThenDouble(bool Condition, double TrueValue, double FalseValue) {
  return Condition ? TrueValue : FalseValue;
}
inline Byte IEIfThenChar(bool Condition, Byte TrueValue, Byte FalseValue) { return Condition ? TrueValue : FalseValue; }

// Base to an integer exponent by repeated squaring; the reciprocal for a negative exponent.
long double IEIntPower(Integer Exponent, long double Base);
// Integral exponents go through IEIntPower so that negative bases work; other exponents
// through Exp and Ln (a negative base then yields NaN, as on the original processor).
long double IEPower(long double Base, long double Exponent);
