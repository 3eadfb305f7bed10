// A read-only buffered view of another stream for the readers that take many small reads
// (TIFF, CCITT, DICOM, camera raw, JPEG). Positions are absolute in the source, or relative to
// where the source stood at creation when Relative is set.
#pragma once

#include <vector>

#include "platform/rtl/streams.h"

// What the readers that put a buffered view over their stream pass as Relative (set at the I/O
// unit's start-up).
extern bool IEBufferedReadRelative;

class TIEBufferedReadStream : public TStream {
 public:
  // Source is not owned and must outlive the view.
  TIEBufferedReadStream(TStream* Source, Integer BufferSize, bool Relative);
  AnsiString ClassName() const override { return "TIEBufferedReadStream"; }

  void SetBufferSize(Integer Value);
  // Refills the buffer from the source at the current position.
  void FillBuffer();

  // Never more than the source holds from the position on; 0 past the end.
  Integer Read(void* Buffer, Integer Count) override;
  // Raises Exception "TIEBufferedReadStream cannot write!".
  Integer Write(const void* Buffer, Integer Count) override;
  // From the end, Offset counts back from the source's size as a positive number. A position
  // beyond the end is accepted; reads there give 0.
  Int64 Seek(Int64 Offset, TSeekOrigin Origin) override;
  Int64 Size() override { return FSourceSize - FBase; }

 private:
  TStream* FSource;
  std::vector<Byte> FBuffer;
  Integer FFilled = 0;   // bytes of the buffer that came from the source
  Integer FOffset = 0;
  Int64 FPosition = 0;
  Int64 FSourceSize = 0;
  Int64 FBase = 0;
};
