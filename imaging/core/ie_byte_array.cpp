#include "imaging/core/ie_byte_array.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/streams.h"

TIEByteArray::TIEByteArray(Integer BlockSize) : FCapacity(BlockSize < 1 ? 1 : BlockSize), FBlockSize(FCapacity) {
  FData = static_cast<Byte*>(std::malloc(static_cast<size_t>(FCapacity)));
  if (!FData) throw EOutOfMemory("Out of memory");
}

TIEByteArray::~TIEByteArray() { std::free(FData); }

void TIEByteArray::SetSize(Integer Value) {
  if (Value < 0) Value = 0;
  Int64 capacity = FCapacity;
  if (Value > FSize) {
    if (Value > FCapacity) capacity = Int64(Value) + FBlockSize;
  } else if (Int64(Value) < Int64(FCapacity) - FBlockSize) {
    capacity = Int64(FBlockSize) + Value;
  }
  if (capacity != FCapacity) {
    if (capacity > std::numeric_limits<Integer>::max()) throw EOutOfMemory("Out of memory");
    Byte* block = static_cast<Byte*>(std::malloc(static_cast<size_t>(capacity)));
    if (!block) throw EOutOfMemory("Out of memory");
    Integer keep = FSize < Value ? FSize : Value;
    if (keep > 0) std::memcpy(block, FData, static_cast<size_t>(keep));
    std::free(FData);
    FData = block;
    FCapacity = static_cast<Integer>(capacity);
  }
  FSize = Value;
}

void TIEByteArray::AddByte(Byte B) {
  SetSize(FSize + 1);
  FData[FSize - 1] = B;
}

Integer TIEByteArray::AppendFromStream(TStream* Stream, Integer Count) {
  if (!Stream || Count <= 0) return 0;
  // A count read from a damaged file must not reserve memory the stream cannot fill.
  Int64 left = Stream->Size() - Stream->Position();
  if (left <= 0) return 0;
  if (Count > left) Count = static_cast<Integer>(left);
  if (Count > std::numeric_limits<Integer>::max() - FSize) Count = std::numeric_limits<Integer>::max() - FSize;
  Integer old = FSize;
  SetSize(old + Count);
  Integer got = 0;
  while (got < Count) {
    Integer n = Stream->Read(FData + old + got, Count - got);
    if (n <= 0) break;
    got += n;
  }
  if (got < Count) SetSize(old + got);
  return got;
}
