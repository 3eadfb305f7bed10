#include "platform/rtl/guid.h"

#include <mutex>
#include <random>

TGUID CreateGUID() {
  static std::mutex lock;
  static std::mt19937_64 engine{std::random_device{}()};
  TGUID g;
  {
    std::lock_guard<std::mutex> hold(lock);
    const UInt64 a = engine(), b = engine();
    for (int i = 0; i < 8; ++i) {
      g.Bytes[i] = static_cast<Byte>(a >> (8 * i));
      g.Bytes[8 + i] = static_cast<Byte>(b >> (8 * i));
    }
  }
  g.Bytes[6] = static_cast<Byte>((g.Bytes[6] & 0x0F) | 0x40);  // version 4
  g.Bytes[8] = static_cast<Byte>((g.Bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return g;
}
