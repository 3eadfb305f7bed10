#include "imaging/formats/compression/ie_packbits.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/core/ie_mask.h"

TIEPackBitsResult IEPackBitsDecode(const Byte* Src, size_t SrcLength, Byte* Dest, size_t DestLength) {
  TIEPackBitsResult r;
  size_t in = 0, out = 0;
  while (out < DestLength && in < SrcLength) {
    const Byte c = Src[in++];
    if (c < 128) {
      const size_t want = size_t(c) + 1;
      const size_t have = std::min(want, SrcLength - in);
      const size_t n = std::min(have, DestLength - out);
      std::memcpy(Dest + out, Src + in, n);
      if (n < have) r.Clipped = true;
      out += n;
      in += have;
    } else if (c > 128) {
      if (in >= SrcLength) break;
      const Byte v = Src[in++];
      const size_t want = 257 - size_t(c);
      const size_t n = std::min(want, DestLength - out);
      std::memset(Dest + out, v, n);
      if (n < want) r.Clipped = true;
      out += n;
    }
    // 128 is the no-op that some writers use as padding.
  }
  r.Read = in;
  r.Written = out;
  return r;
}

void PackBitsRow(const Byte* Data, Integer Length, Byte* Dest, Integer& DestLength) {
  Integer out = 0, pending = 0, pendingStart = 0;
  auto flush = [&] {
    if (pending == 0) return;
    Dest[out++] = Byte(pending - 1);
    std::memcpy(Dest + out, Data + pendingStart, size_t(pending));
    out += pending;
    pending = 0;
  };
  Integer i = 0;
  while (i < Length) {
    Integer run = 1;
    while (i + run < Length && run < 128 && Data[i + run] == Data[i]) ++run;
    if (run >= 4) {
      flush();
      Dest[out++] = Byte(257 - run);
      Dest[out++] = Data[i];
      i += run;
      pendingStart = i;
      continue;
    }
    if (pending == 0) pendingStart = i;
    ++pending;
    ++i;
    if (pending == 128) flush();
  }
  flush();
  DestLength = out;
}

void IEPackBitsEncode(const Byte* Data, Integer Count, TStream* Stream, bool& Aborting) {
  if (Count <= 0) return;
  std::vector<Byte> out(IEPackBitsMaxPacked(static_cast<size_t>(Count)));
  Integer n = 0;
  PackBitsRow(Data, Count, out.data(), n);
  IESafeStreamWrite(Stream, Aborting, out.data(), n);
}
