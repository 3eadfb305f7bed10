#include "imaging/io/ie_stream_header.h"

#include <algorithm>
#include <cstring>

bool IEReadStreamHeader(TStream* Stream, TIEStreamHeader& Header) {
  Header.Start = Stream->Position();
  Byte b[12] = {};
  if (Stream->Read(b, 12) != 12) return false;
  Integer n = 0;
  while (n < 5 && b[n] != 0) ++n;
  Header.Tag.assign(reinterpret_cast<const char*>(b), size_t(n));
  Header.Length = Cardinal(b[8]) | Cardinal(b[9]) << 8 | Cardinal(b[10]) << 16 | Cardinal(b[11]) << 24;
  return true;
}

void IESkipStreamImage(TStream* Stream, const TIEStreamHeader& Header) {
  Stream->SetPosition(std::min(Header.Start + 12 + Int64(Header.Length), Stream->Size()));
}

Int64 IEBeginStreamHeader(TStream* Stream) {
  const Int64 Start = Stream->Position();
  const Byte Zero[12] = {};
  Stream->WriteBuffer(Zero, 12);
  return Start;
}

void IEEndStreamHeader(TStream* Stream, Int64 Start, const AnsiString& Tag) {
  const Int64 End = Stream->Position();
  const Int64 Length = std::clamp<Int64>(End - Start - 12, 0, 0xFFFFFFFF);
  Byte b[12] = {};
  std::memcpy(b, Tag.data(), std::min<size_t>(Tag.size(), 4));
  for (int i = 0; i < 4; ++i) b[8 + i] = Byte(Length >> (8 * i));
  Stream->SetPosition(Start);
  Stream->WriteBuffer(b, 12);
  Stream->SetPosition(End);
}
