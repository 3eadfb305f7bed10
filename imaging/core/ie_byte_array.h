// A growable byte buffer that grows and shrinks in steps of its block size, so appending a
// byte is usually a plain store (GIF decoding, the magic wand).
#pragma once

#include "platform/rtl/classes.h"

class TStream;

class TIEByteArray : public TObject {
 public:
  explicit TIEByteArray(Integer BlockSize);
  ~TIEByteArray() override;
  AnsiString ClassName() const override { return "TIEByteArray"; }

  // Raises EOutOfMemory when a larger block cannot be had; the contents are then unchanged.
  void SetSize(Integer Value);
  void AddByte(Byte B);
  // Appends up to Count bytes read from Stream's position; answers how many came.
  Integer AppendFromStream(TStream* Stream, Integer Count);

  Integer Size() const { return FSize; }
  Integer Capacity() const { return FCapacity; }
  Integer BlockSize() const { return FBlockSize; }
  Byte* Data() const { return FData; }

 private:
  Integer FSize = 0;
  Integer FCapacity = 0;
  Integer FBlockSize = 0;
  Byte* FData = nullptr;
};
