// Deflate behind the stream interface, one copy for every format that needs it (TIFF strips,
// PNG, the built-in colour profile, the layer and vector-object files). All data is in the zlib
// format (RFC 1950 around RFC 1951), window 15 bits, memory level 8, default strategy.
#pragma once

#include <cstddef>
#include <memory>

#include <zlib.h>

#include "imaging/formats/compression/ie_zlib_glue.h"
#include "platform/rtl/streams.h"

enum TZCompressionLevel { zcNone, zcFastest, zcDefault, zcMax };

class TCustomZStream : public TStream {
 public:
  TNotifyEvent OnProgress;  // after each full buffer moved

 protected:
  explicit TCustomZStream(TStream* Stream);
  void DoProgress();
  void ReturnToSavedPosition();

  static constexpr Integer kBufferSize = 65536;
  TStream* FStream;  // not owned
  Int64 FStreamPos;
  z_stream FZ{};
  Byte FBuffer[kBufferSize];
};

// Write-only: what is written leaves deflated on Dest; the zlib stream is complete once this
// object is destroyed.
class TZCompressionStream : public TCustomZStream {
 public:
  TZCompressionStream(TStream* Dest, TZCompressionLevel Level = zcDefault);
  ~TZCompressionStream() override;
  Integer Read(void* Buffer, Integer Count) override;  // raises EZCompressionError
  Integer Write(const void* Buffer, Integer Count) override;
  // Never moves; answers the number of bytes accepted so far.
  Int64 Seek(Int64 Offset, TSeekOrigin Origin) override;
  AnsiString ClassName() const override { return "TZCompressionStream"; }
};

// Read-only: what is read is inflated from Source, which must stand at the start of the zlib
// data. Once the data ends, Source stands just behind it.
class TZDecompressionStream : public TCustomZStream {
 public:
  explicit TZDecompressionStream(TStream* Source);
  ~TZDecompressionStream() override;
  Integer Read(void* Buffer, Integer Count) override;
  Integer Write(const void* Buffer, Integer Count) override;  // raises EZDecompressionError
  // Offset 0 from the beginning restarts at the position the stream was created at; forward
  // moves decode and discard; offset 0 from the end decodes to the end and answers the size;
  // anything else raises EZDecompressionError "Invalid ZStream operation!".
  Int64 Seek(Int64 Offset, TSeekOrigin Origin) override;
  AnsiString ClassName() const override { return "TZDecompressionStream"; }

 private:
  Int64 FStart;
  bool FEnded = false;
};

// Inflates InBytes at InBuf into a new block (free it with std::free) of exactly the inflated
// length. OutEstimate is the first block's size (0: the input size rounded up to 256). Raises
// EZDecompressionError for corrupt data ("data error"), for truncated data ("buffer error") and
// when the output would exceed MaxOut bytes (a small input may claim gigabytes).
void ZDecompressBuf(const void* InBuf, Integer InBytes, void*& OutBuf, Integer& OutBytes, Integer OutEstimate = 0,
                    Int64 MaxOut = Int64(1) << 30);

// Whole blocks in one pass, for callers that hold all their data at once (a TIFF strip): far
// quicker than the streams, and the same zlib format. Deflates InBytes at InBuf into a new block of
// OutBytes bytes at Level, zlib's level for it (fastest 1, default 6, max 9).
std::unique_ptr<Byte[]> ZCompressWhole(const void* InBuf, size_t InBytes, size_t& OutBytes, TZCompressionLevel Level);
// Inflates the zlib stream at InBuf into Out, which has room for OutCapacity bytes, and answers
// the inflated length; -1 when the data is damaged or truncated or inflates to more than
// OutCapacity (ZDecompressBuf then tells which).
Int64 ZDecompressInto(const void* InBuf, size_t InBytes, void* Out, size_t OutCapacity);
