// The little-endian fields of the view's own files (layers files, vector objects files): what
// the two readers and writers share. A short read is damage, reported through the file's own
// Damaged with What naming the part being read.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "imaging/formats/ie_le_bytes.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/types.h"

struct TIEViewFileWriter {
  TStream* S;
  void Bytes(const void* P, Integer N) { S->WriteBuffer(P, N); }
  void U8(Byte V) { Bytes(&V, 1); }
  void Bool(bool V) { U8(V ? 1 : 0); }
  void I32(Integer V) {
    Byte b[4];
    IEPutLE32(b, static_cast<DWORD>(V));
    Bytes(b, 4);
  }
  void F64(double V) {
    uint64_t u;
    std::memcpy(&u, &V, 8);
    Byte b[8];
    for (int i = 0; i < 8; ++i) b[i] = Byte(u >> (8 * i));
    Bytes(b, 8);
  }
};

struct TIEViewFileReader {
  using TDamaged = void (*)(const AnsiString& Why);
  TStream* S;
  AnsiString What;
  TDamaged OnDamage;  // throws; never returns

  void Bytes(void* P, Int64 N) {
    Byte* d = static_cast<Byte*>(P);
    while (N > 0) {
      const Integer k = S->Read(d, static_cast<Integer>(std::min<Int64>(N, 1 << 20)));
      if (k <= 0) OnDamage(What + " ends early");
      d += k;
      N -= k;
    }
  }
  Byte U8() {
    Byte b;
    Bytes(&b, 1);
    return b;
  }
  bool Bool() { return U8() != 0; }
  Integer I32() {
    Byte b[4];
    Bytes(b, 4);
    return static_cast<Integer>(IEGetLE32(b));
  }
  Int64 I64() {
    const uint32_t Low = static_cast<uint32_t>(I32());
    const uint32_t High = static_cast<uint32_t>(I32());
    return static_cast<Int64>(uint64_t(High) << 32 | Low);
  }
  double F64() {
    Byte b[8];
    Bytes(b, 8);
    uint64_t u = 0;
    for (int i = 0; i < 8; ++i) u |= uint64_t(b[i]) << (8 * i);
    double d;
    std::memcpy(&d, &u, 8);
    return d;
  }
};
