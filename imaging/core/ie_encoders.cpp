#include "imaging/core/ie_encoders.h"

#include "platform/rtl/exceptions.h"
#include "platform/rtl/streams.h"

Integer IEEncodeASCII85Group(const Byte*& Source, Integer Count, char*& Dest) {
  if (Count < 1) return 0;
  if (Count > 4) Count = 4;
  DWORD n = 0;
  for (Integer i = 0; i < 4; ++i) n = (n << 8) | (i < Count ? Source[i] : 0);
  Source += Count;
  if (n == 0 && Count == 4) {
    *Dest++ = 'z';
    return 1;
  }
  static constexpr DWORD divisors[5] = {52200625u, 614125u, 7225u, 85u, 1u};
  for (Integer i = 0; i <= Count; ++i) *Dest++ = static_cast<char>((n / divisors[i]) % 85 + 33);
  return Count + 1;
}

Integer IEEncodeASCII85(const Byte*& Source, Integer Count, char*& Dest, Integer& Len) {
  Integer total = 0, line = 0, remaining = Count;
  do {
    Integer n = IEEncodeASCII85Group(Source, remaining < 4 ? remaining : 4, Dest);
    Len += n;
    total += n;
    line += n;
    if (line >= 75) {
      *Dest++ = '\r';
      *Dest++ = '\n';
      total += 2;
      line = 0;
    }
    remaining -= 4;
  } while (remaining > 0);
  *Dest++ = '~';
  *Dest++ = '>';
  *Dest++ = '\r';
  *Dest++ = '\n';
  return total + 4;
}

Integer IEEncodeRunLength(const Byte* Source, Integer Count, Byte* Dest) {
  Integer out = 0, j = 0;
  while (j < Count) {
    Integer run = 1;
    while (j + run < Count && run < 128 && Source[j + run] == Source[j]) ++run;
    if (run >= 2) {
      Dest[out++] = static_cast<Byte>(257 - run);
      Dest[out++] = Source[j];
      j += run;
      continue;
    }
    // A literal stops at the first byte that repeats its predecessor; the predecessor stays
    // in the literal.
    Integer k = j + 1;
    while (k < Count && k - j < 128 && Source[k] != Source[k - 1]) ++k;
    Integer n = k - j;
    Dest[out++] = static_cast<Byte>(n - 1);
    for (Integer i = 0; i < n; ++i) Dest[out++] = Source[j + i];
    j = k;
  }
  Dest[out++] = 128;
  return out;
}

void IEEncodeBase64Group(const Byte* Source, char* Dest, Integer Count) {
  static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  DWORD n = (DWORD(Source[0]) << 16) | (DWORD(Count > 1 ? Source[1] : 0) << 8) | DWORD(Count > 2 ? Source[2] : 0);
  Dest[0] = alphabet[(n >> 18) & 63];
  Dest[1] = alphabet[(n >> 12) & 63];
  Dest[2] = Count > 1 ? alphabet[(n >> 6) & 63] : '=';
  Dest[3] = Count > 2 ? alphabet[n & 63] : '=';
}

namespace {

void WriteText(TStream* F, const char* Text, Integer Count) {
  if (F->Write(Text, Count) != Count) throw EInOutError("Disk full", 28);
}

}  // namespace

void IEEncodeStreamBase64(TStream* Stream, TStream* F, Integer LineLength) {
  double groupsPerLine = LineLength / 4.0;
  Integer groups = 0;
  Int64 size = Stream->Size();
  while (Stream->Position() < size) {
    Byte chunk[3] = {0, 0, 0};
    // A stream may hand out fewer bytes than asked before its end; only the last group pads.
    Integer got = 0;
    while (got < 3) {
      Integer n = Stream->Read(chunk + got, 3 - got);
      if (n <= 0) break;
      got += n;
    }
    if (got <= 0) break;
    char text[4];
    IEEncodeBase64Group(chunk, text, got);
    WriteText(F, text, 4);
    if (++groups >= groupsPerLine) {
      WriteText(F, "\r\n", 2);
      groups = 0;
    }
  }
  if (groups > 0) WriteText(F, "\r\n", 2);
}
