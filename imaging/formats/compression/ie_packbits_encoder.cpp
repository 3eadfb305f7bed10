#include "imaging/formats/compression/ie_packbits_encoder.h"

#include <vector>

#include "imaging/core/ie_mask.h"

void IEPackBitsEncode(const Byte* Data, Integer Count, TStream* Stream, bool& Aborting) {
  // The whole coded row is gathered first: one write per row instead of one per packet.
  std::vector<Byte> out;
  out.reserve(static_cast<size_t>(Count) + static_cast<size_t>(Count) / 128 + 2);
  Integer literal = 0;  // where the pending literal starts
  auto flush = [&](Integer end) {
    for (Integer start = literal; start < end;) {
      const Integer n = end - start < 128 ? end - start : 128;
      out.push_back(static_cast<Byte>(n - 1));
      out.insert(out.end(), Data + start, Data + start + n);
      start += n;
    }
    literal = end;
  };
  Integer pos = 0;
  while (pos < Count) {
    Integer n = 1;
    while (pos + n < Count && n < 128 && Data[pos + n] == Data[pos]) ++n;
    if (n < 4) {
      pos += n;
      continue;
    }
    flush(pos);
    out.push_back(static_cast<Byte>(1 - n));
    out.push_back(Data[pos]);
    pos += n;
    literal = pos;
  }
  flush(Count);
  if (!out.empty()) IESafeStreamWrite(Stream, Aborting, out.data(), static_cast<Integer>(out.size()));
}
