#include "imaging/core/ie_stream_classes.h"

Integer TNulStream::Advance(Integer Count) {
  if (Count <= 0) return 0;
  FPosition += Count;
  if (FPosition > FSize) FSize = FPosition;
  return Count;
}

Integer TNulStream::Read(void*, Integer Count) { return Advance(Count); }

Integer TNulStream::Write(const void*, Integer Count) { return Advance(Count); }

Int64 TNulStream::Seek(Int64 Offset, TSeekOrigin Origin) {
  switch (Origin) {
    case soBeginning:
      FPosition = Offset;
      if (FPosition > FSize) FSize = FPosition;
      break;
    case soCurrent:
      FPosition += Offset;
      if (FPosition > FSize) FSize = FPosition;
      break;
    case soEnd:
      FPosition = FSize - Offset;
      break;
  }
  return FPosition;
}
