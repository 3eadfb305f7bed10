// Little-endian fields of file headers, read from and written to byte buffers.
#pragma once

#include "platform/rtl/types.h"

inline Word IEGetLE16(const Byte* P) { return Word(P[0] | P[1] << 8); }
inline DWORD IEGetLE32(const Byte* P) { return DWORD(P[0]) | DWORD(P[1]) << 8 | DWORD(P[2]) << 16 | DWORD(P[3]) << 24; }
inline void IEPutLE16(Byte* P, Integer V) {
  P[0] = Byte(V);
  P[1] = Byte(V >> 8);
}
inline void IEPutLE32(Byte* P, DWORD V) {
  for (int i = 0; i < 4; ++i) P[i] = Byte(V >> (8 * i));
}
