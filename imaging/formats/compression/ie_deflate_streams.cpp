#include "imaging/formats/compression/ie_deflate_streams.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <libdeflate.h>

namespace {

constexpr const char* kInvalidOperation = "Invalid ZStream operation!";
constexpr int kLevels[] = {0, 1, Z_DEFAULT_COMPRESSION, 9};

}  // namespace

TCustomZStream::TCustomZStream(TStream* Stream) : FStream(Stream), FStreamPos(Stream->Position()) {}

void TCustomZStream::DoProgress() {
  if (OnProgress) OnProgress(this);
}

void TCustomZStream::ReturnToSavedPosition() {
  if (FStream->Position() != FStreamPos) FStream->SetPosition(FStreamPos);
}

// --------------------------------------------------------------------------- compression

TZCompressionStream::TZCompressionStream(TStream* Dest, TZCompressionLevel Level) : TCustomZStream(Dest) {
  FZ.next_out = FBuffer;
  FZ.avail_out = kBufferSize;
  IEZCompressCheck(deflateInit_(&FZ, kLevels[Level], ZLIB_VERSION, static_cast<int>(sizeof(z_stream))));
}

TZCompressionStream::~TZCompressionStream() {
  // A destructor must not throw: a failing destination leaves an incomplete stream, which its
  // reader reports as truncated.
  try {
    FZ.next_in = nullptr;
    FZ.avail_in = 0;
    ReturnToSavedPosition();
    while (IEZCompressCheck(deflate(&FZ, Z_FINISH)) != Z_STREAM_END) {
      FStream->WriteBuffer(FBuffer, kBufferSize - FZ.avail_out);
      FZ.next_out = FBuffer;
      FZ.avail_out = kBufferSize;
    }
    if (FZ.avail_out < static_cast<uInt>(kBufferSize)) FStream->WriteBuffer(FBuffer, kBufferSize - FZ.avail_out);
  } catch (...) {
  }
  deflateEnd(&FZ);
}

Integer TZCompressionStream::Read(void*, Integer) { throw EZCompressionError(kInvalidOperation); }

Integer TZCompressionStream::Write(const void* Buffer, Integer Count) {
  if (Count <= 0) return 0;
  FZ.next_in = static_cast<Bytef*>(const_cast<void*>(Buffer));
  FZ.avail_in = static_cast<uInt>(Count);
  ReturnToSavedPosition();
  while (FZ.avail_in > 0) {
    IEZCompressCheck(deflate(&FZ, Z_NO_FLUSH));
    if (FZ.avail_out == 0) {
      FStream->WriteBuffer(FBuffer, kBufferSize);
      FZ.next_out = FBuffer;
      FZ.avail_out = kBufferSize;
      FStreamPos = FStream->Position();
      DoProgress();
    }
  }
  return Count;
}

Int64 TZCompressionStream::Seek(Int64, TSeekOrigin) { return static_cast<Int64>(FZ.total_in); }

// --------------------------------------------------------------------------- decompression

TZDecompressionStream::TZDecompressionStream(TStream* Source) : TCustomZStream(Source), FStart(FStreamPos) {
  FZ.next_in = FBuffer;
  FZ.avail_in = 0;
  IEZDecompressCheck(inflateInit_(&FZ, ZLIB_VERSION, static_cast<int>(sizeof(z_stream))));
}

TZDecompressionStream::~TZDecompressionStream() { inflateEnd(&FZ); }

Integer TZDecompressionStream::Read(void* Buffer, Integer Count) {
  if (Count <= 0) return 0;
  FZ.next_out = static_cast<Bytef*>(Buffer);
  FZ.avail_out = static_cast<uInt>(Count);
  ReturnToSavedPosition();
  while (FZ.avail_out > 0 && !FEnded) {
    if (FZ.avail_in == 0) {
      const Integer got = FStream->Read(FBuffer, kBufferSize);
      if (got <= 0) break;  // truncated data: what was produced so far
      FZ.next_in = FBuffer;
      FZ.avail_in = static_cast<uInt>(got);
      FStreamPos = FStream->Position();
      DoProgress();
    }
    if (IEZDecompressCheck(inflate(&FZ, Z_NO_FLUSH)) == Z_STREAM_END) FEnded = true;
  }
  if (FEnded && FZ.avail_in > 0) {
    // Leave Source just behind the zlib trailer, not at the end of the last block read.
    FStream->SetPosition(FStream->Position() - FZ.avail_in);
    FStreamPos = FStream->Position();
    FZ.avail_in = 0;
  }
  return Count - static_cast<Integer>(FZ.avail_out);
}

Integer TZDecompressionStream::Write(const void*, Integer) { throw EZDecompressionError(kInvalidOperation); }

Int64 TZDecompressionStream::Seek(Int64 Offset, TSeekOrigin Origin) {
  const Int64 produced = static_cast<Int64>(FZ.total_out);
  if (Offset == 0 && Origin == soBeginning) {
    IEZDecompressCheck(inflateReset(&FZ));
    FZ.next_in = FBuffer;
    FZ.avail_in = 0;
    FEnded = false;
    FStream->SetPosition(FStart);
    FStreamPos = FStart;
    return 0;
  }
  Byte discard[8192];
  if ((Offset >= 0 && Origin == soCurrent) || (Origin == soBeginning && Offset > produced)) {
    if (Origin == soBeginning) Offset -= produced;
    while (Offset > 0) {
      const Integer n = Offset > Int64(sizeof discard) ? Integer(sizeof discard) : static_cast<Integer>(Offset);
      ReadBuffer(discard, n);
      Offset -= n;
    }
    return static_cast<Int64>(FZ.total_out);
  }
  if (Offset == 0 && Origin == soEnd) {
    while (Read(discard, sizeof discard) > 0) {
    }
    return static_cast<Int64>(FZ.total_out);
  }
  throw EZDecompressionError(kInvalidOperation);
}

// --------------------------------------------------------------------------- whole buffers

void ZDecompressBuf(const void* InBuf, Integer InBytes, void*& OutBuf, Integer& OutBytes, Integer OutEstimate,
                    Int64 MaxOut) {
  OutBuf = nullptr;
  OutBytes = 0;
  if (InBytes < 0) throw EZDecompressionError(IEZlibErrorText(Z_BUF_ERROR));
  const Int64 step = (Int64(InBytes) + 255) & ~Int64(255);
  Int64 size = OutEstimate > 0 ? OutEstimate : (step > 0 ? step : 256);
  if (MaxOut > INT_MAX) MaxOut = INT_MAX;
  if (size > MaxOut) size = MaxOut;
  Byte* block = static_cast<Byte*>(std::malloc(static_cast<size_t>(size > 0 ? size : 1)));
  if (!block) throw EOutOfMemory("Out of memory");
  z_stream z{};
  z.next_in = static_cast<Bytef*>(const_cast<void*>(InBuf));
  z.avail_in = static_cast<uInt>(InBytes);
  try {
    IEZDecompressCheck(inflateInit_(&z, ZLIB_VERSION, static_cast<int>(sizeof(z_stream))));
    z.next_out = block;
    z.avail_out = static_cast<uInt>(size);
    for (;;) {
      const int result = inflate(&z, Z_NO_FLUSH);
      if (result == Z_STREAM_END) break;
      if (result != Z_BUF_ERROR) IEZDecompressCheck(result);
      // Room left but no end: the input ran out, the data is truncated.
      if (z.avail_out > 0) IEZDecompressCheck(Z_BUF_ERROR);
      if (size >= MaxOut) throw EZDecompressionError("the inflated data is larger than " + std::to_string(MaxOut) + " bytes");
      const Int64 grown = size + step > MaxOut ? MaxOut : size + (step > 0 ? step : 256);
      Byte* bigger = static_cast<Byte*>(std::realloc(block, static_cast<size_t>(grown)));
      if (!bigger) throw EOutOfMemory("Out of memory");
      block = bigger;
      z.next_out = block + z.total_out;
      z.avail_out = static_cast<uInt>(grown - size);
      size = grown;
    }
    IEZDecompressCheck(inflateEnd(&z));
  } catch (...) {
    inflateEnd(&z);
    std::free(block);
    throw;
  }
  const size_t length = static_cast<size_t>(z.total_out);
  Byte* exact = static_cast<Byte*>(std::realloc(block, length > 0 ? length : 1));
  OutBuf = exact ? exact : block;
  OutBytes = static_cast<Integer>(length);
}

// --------------------------------------------------------------------------- whole blocks

namespace {

struct TDecompressorFree {
  void operator()(libdeflate_decompressor* D) const { libdeflate_free_decompressor(D); }
};
struct TCompressorFree {
  void operator()(libdeflate_compressor* C) const { libdeflate_free_compressor(C); }
};

}  // namespace

std::unique_ptr<Byte[]> ZCompressWhole(const void* InBuf, size_t InBytes, size_t& OutBytes, TZCompressionLevel Level) {
  OutBytes = 0;
  const int level = Level == zcFastest ? 1 : Level == zcMax ? 9 : Level == zcDefault ? 6 : 0;
  if (level == 0) {
    // Stored blocks are no work for the streams either.
    TMemoryStream m;
    {
      TZCompressionStream z(&m, Level);
      const Byte* p = static_cast<const Byte*>(InBuf);
      for (size_t left = InBytes; left > 0;) {
        const Integer n = static_cast<Integer>(left > (1u << 30) ? (1u << 30) : left);
        z.WriteBuffer(p, n);
        p += n;
        left -= size_t(n);
      }
    }
    auto out = std::make_unique_for_overwrite<Byte[]>(size_t(m.Size()));
    std::memcpy(out.get(), m.Memory(), size_t(m.Size()));
    OutBytes = size_t(m.Size());
    return out;
  }
  // One compressor a thread and level, kept: a page is thousands of small strips, and each
  // compressor holds hundreds of kilobytes of match tables.
  thread_local std::unique_ptr<libdeflate_compressor, TCompressorFree> kept[10];
  std::unique_ptr<libdeflate_compressor, TCompressorFree>& c = kept[level];
  if (!c) c.reset(libdeflate_alloc_compressor(level));
  if (!c) throw EOutOfMemory("Out of memory");
  const size_t bound = libdeflate_zlib_compress_bound(c.get(), InBytes);
  auto out = std::make_unique_for_overwrite<Byte[]>(bound);
  OutBytes = libdeflate_zlib_compress(c.get(), InBuf, InBytes, out.get(), bound);
  // The bound always holds the data; 0 would mean the library broke its promise.
  if (OutBytes == 0) throw EZCompressionError(IEZlibErrorText(Z_BUF_ERROR));
  return out;
}

Int64 ZDecompressInto(const void* InBuf, size_t InBytes, void* Out, size_t OutCapacity) {
  // One decompressor a thread, kept: a page of thousands of small strips would otherwise
  // allocate one for each.
  thread_local std::unique_ptr<libdeflate_decompressor, TDecompressorFree> d;
  if (!d) d.reset(libdeflate_alloc_decompressor());
  if (!d) return -1;
  size_t got = 0;
  if (libdeflate_zlib_decompress(d.get(), InBuf, InBytes, Out, OutCapacity, &got) != LIBDEFLATE_SUCCESS) return -1;
  return static_cast<Int64>(got);
}
