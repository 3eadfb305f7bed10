// Two small streams of the library: one that only counts what is written to it (to learn the
// size an encoding would have) and a read-only view of a memory block the caller owns.
#pragma once

#include "platform/rtl/streams.h"

class TNulStream : public TStream {
 public:
  TNulStream() = default;
  AnsiString ClassName() const override { return "TNulStream"; }

  // Both ignore the buffer and move the position by Count, raising the size to it.
  Integer Read(void* Buffer, Integer Count) override;
  Integer Write(const void* Buffer, Integer Count) override;
  // From the end, Offset counts back from the size as a positive number.
  Int64 Seek(Int64 Offset, TSeekOrigin Origin) override;
  Int64 Size() override { return FSize; }

 private:
  Integer Advance(Integer Count);
  Int64 FPosition = 0;
  Int64 FSize = 0;
};

class TIEMemStream : public TCustomMemoryStream {
 public:
  TIEMemStream(const void* Data, Int64 Size) { SetPointer(const_cast<void*>(Data), Size < 0 ? 0 : Size); }
  AnsiString ClassName() const override { return "TIEMemStream"; }
  // The block belongs to the caller: it is neither resized nor written.
  void SetSize(Int64) override {}
  Integer Write(const void*, Integer) override { return 0; }
};
