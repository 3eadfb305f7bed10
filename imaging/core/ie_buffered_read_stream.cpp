#include "imaging/core/ie_buffered_read_stream.h"

#include <algorithm>
#include <cstring>

#include "platform/rtl/exceptions.h"

bool IEBufferedReadRelative = false;

TIEBufferedReadStream::TIEBufferedReadStream(TStream* Source, Integer BufferSize, bool Relative) : FSource(Source) {
  Int64 start = FSource->Position();
  FBase = Relative ? start : 0;
  FSourceSize = FSource->Size();
  FPosition = start;
  SetBufferSize(BufferSize);
}

void TIEBufferedReadStream::SetBufferSize(Integer Value) {
  FBuffer.assign(static_cast<size_t>(Value < 1 ? 1 : Value), 0);
  FillBuffer();
}

void TIEBufferedReadStream::FillBuffer() {
  FOffset = 0;
  FFilled = 0;
  if (FPosition < 0 || FPosition >= FSourceSize) return;
  FSource->SetPosition(FPosition);
  Integer want = static_cast<Integer>(FBuffer.size());
  while (FFilled < want) {
    Integer n = FSource->Read(FBuffer.data() + FFilled, want - FFilled);
    if (n <= 0) break;
    FFilled += n;
  }
}

Integer TIEBufferedReadStream::Read(void* Buffer, Integer Count) {
  if (FPosition < 0) return 0;
  Int64 n = std::min<Int64>(Count, FSourceSize - FPosition);
  if (n <= 0) return 0;
  Byte* dest = static_cast<Byte*>(Buffer);
  Int64 done = 0;
  while (done < n) {
    if (FOffset >= FFilled) {
      FillBuffer();
      // The source gave less than its size promised: stop at what is really there.
      if (FFilled == 0) break;
    }
    Integer chunk = static_cast<Integer>(std::min<Int64>(n - done, FFilled - FOffset));
    std::memcpy(dest + done, FBuffer.data() + FOffset, static_cast<size_t>(chunk));
    FOffset += chunk;
    FPosition += chunk;
    done += chunk;
  }
  return static_cast<Integer>(done);
}

Integer TIEBufferedReadStream::Write(const void*, Integer) {
  throw Exception("TIEBufferedReadStream cannot write!");
}

Int64 TIEBufferedReadStream::Seek(Int64 Offset, TSeekOrigin Origin) {
  Int64 target = FPosition;
  switch (Origin) {
    case soBeginning: target = FBase + Offset; break;
    case soCurrent: target = FPosition + Offset; break;
    case soEnd: target = FSourceSize - Offset; break;
  }
  if (target != FPosition) {
    FPosition = target;
    FillBuffer();
  }
  return FPosition - FBase;
}
