#include "platform/rtl/numerics.h"

#include <atomic>
#include <cfenv>
#include <chrono>

Int64 Round(double v) { return SafeRound<Int64>(v); }
Int64 Trunc(double v) { return SafeTrunc<Int64>(v); }
Integer Floor(double v) { return SaturateToInt<Integer>(std::floor(v)); }
Integer Ceil(double v) { return SaturateToInt<Integer>(std::ceil(v)); }
double Int(double v) { return std::trunc(v); }
double Frac(double v) { return v - std::trunc(v); }

Integer MulDiv(Integer a, Integer b, Integer c) {
  if (c == 0) return -1;
  const Int64 p = static_cast<Int64>(a) * b;
  Int64 q = p / c;
  const Int64 r = p % c;
  const Int64 absR = r < 0 ? -r : r;
  const Int64 absC = c < 0 ? -static_cast<Int64>(c) : c;
  if (2 * absR >= absC) q += ((p < 0) != (c < 0)) ? -1 : 1;
  if (q > std::numeric_limits<Integer>::max() || q < std::numeric_limits<Integer>::min()) return -1;
  return static_cast<Integer>(q);
}

// ---------------------------------------------------------------------------------------------
// Pseudo-random numbers

thread_local Cardinal RandSeed = 0;

namespace {
Cardinal NextRandom() {
  RandSeed = RandSeed * 134775813u + 1u;
  return RandSeed;
}
}  // namespace

Integer Random(Integer range) {
  if (range <= 0) return 0;
  return static_cast<Integer>((static_cast<UInt64>(NextRandom()) * static_cast<UInt64>(range)) >> 32);
}

double Random() { return static_cast<double>(NextRandom()) / 4294967296.0; }

void Randomize() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count() ^
                   std::chrono::system_clock::now().time_since_epoch().count();
  RandSeed = static_cast<Cardinal>(now ^ (now >> 32));
}

// ---------------------------------------------------------------------------------------------
// Floating-point control word

namespace {

constexpr Word kExceptionMasks = 0x003F;
// -1 until the first Set8087CW: the hardware word is reported until then.
std::atomic<int> recordedCW{-1};

#if defined(__x86_64__) || defined(__i386__)
Word ReadX87() {
  Word cw = 0;
  asm volatile("fnstcw %0" : "=m"(cw));
  return cw;
}

void ApplyToHardware(Word cw) {
  const Word x87 = static_cast<Word>(cw | kExceptionMasks);
  asm volatile("fldcw %0" : : "m"(x87));
  unsigned mxcsr = 0;
  asm volatile("stmxcsr %0" : "=m"(mxcsr));
  mxcsr |= 0x1F80u;                                  // every SSE exception masked
  mxcsr = (mxcsr & ~0x6000u) | ((cw & 0x0C00u) << 3);  // same rounding encoding, bits 13-14
  asm volatile("ldmxcsr %0" : : "m"(mxcsr));
}
#else
Word ReadX87() {
  Word cw = 0x037F;
  switch (std::fegetround()) {
    case FE_DOWNWARD: cw |= 0x0400; break;
    case FE_UPWARD: cw |= 0x0800; break;
    case FE_TOWARDZERO: cw |= 0x0C00; break;
    default: break;
  }
  return cw;
}

void ApplyToHardware(Word cw) {
  static const int kModes[] = {FE_TONEAREST, FE_DOWNWARD, FE_UPWARD, FE_TOWARDZERO};
  std::fesetround(kModes[(cw >> 10) & 3]);
}
#endif

}  // namespace

Word Get8087CW() {
  const int recorded = recordedCW.load();
  return recorded >= 0 ? static_cast<Word>(recorded) : ReadX87();
}

void Set8087CW(Word cw) {
  recordedCW.store(cw);
  ApplyToHardware(cw);
}
