#include "imaging/formats/compression/ie_lzw.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/ie_bits.h"

namespace {

constexpr Integer kMaxCodes = 4096;  // 12-bit codes
constexpr Integer kHashSize = 5003;  // a prime a little above 4096 / 0.8
constexpr Integer kHashShift = 4;

// --- image walk shared by the GIF coders ---------------------------------------------------

// Rows in file order: top-down, or the four interlace passes (0, 8, ...; 4, 12, ...; 2, 6, ...;
// 1, 3, ...). Row() is Height or more once every row has had its turn.
class TGifRowWalk {
 public:
  TGifRowWalk(Integer Height, bool Interlaced) : FHeight(Height), FInterlaced(Interlaced) {
    if (FInterlaced) FStep = 8;
  }
  Integer Row() const { return FRow; }
  void Next() {
    if (!FInterlaced) {
      ++FRow;
      return;
    }
    FRow += FStep;
    // A pass whose first row lies below the frame has no rows: short frames skip it.
    while (FRow >= FHeight && FPass < 4) {
      ++FPass;
      static constexpr Integer kStart[5] = {0, 0, 4, 2, 1};
      static constexpr Integer kStep[5] = {8, 8, 8, 4, 2};
      if (FPass > 4) break;
      FRow = kStart[FPass];
      FStep = kStep[FPass];
    }
    if (FRow >= FHeight) FRow = FHeight;
  }

 private:
  Integer FHeight;
  bool FInterlaced;
  Integer FRow = 0, FStep = 1, FPass = 1;
};

// Pixels go into Dest row by row; those past the last row are counted and dropped.
class TGifPlacer {
 public:
  TGifPlacer(Byte* Dest, Integer Width, Integer Height, bool Interlaced)
      : FDest(Dest), FWidth(Width), FHeight(Height), FWalk(Height, Interlaced) {
    FLine = RowPtr();
  }
  // Room for Count pixels within the current row, or nil when they would reach past it; the
  // caller fills all Count of them.
  Byte* Reserve(Integer Count) {
    if (!FLine || Count >= FWidth - FColumn) return nullptr;
    Byte* at = FLine + FColumn;
    FColumn += Count;
    FPlaced += Count;
    return at;
  }
  void Put(const Byte* Pixels, Integer Count) {
    FPlaced += Count;
    while (Count > 0) {
      if (!FLine) return;
      const Integer n = Count < FWidth - FColumn ? Count : FWidth - FColumn;
      std::memcpy(FLine + FColumn, Pixels, static_cast<size_t>(n));
      Pixels += n;
      Count -= n;
      FColumn += n;
      if (FColumn == FWidth) {
        FColumn = 0;
        FWalk.Next();
        FLine = RowPtr();
      }
    }
  }
  bool Complete() const { return FPlaced >= Int64(FWidth) * FHeight; }

 private:
  Byte* RowPtr() const {
    return FWidth > 0 && FWalk.Row() < FHeight ? FDest + size_t(FWalk.Row()) * size_t(FWidth) : nullptr;
  }
  Byte* FDest;
  Integer FWidth, FHeight;
  TGifRowWalk FWalk;
  Byte* FLine = nullptr;
  Integer FColumn = 0;
  Int64 FPlaced = 0;
};

// --- GIF decoder ---------------------------------------------------------------------------

// The data bytes of a frame's sub-blocks, taken from the stream through a buffer of its own: a
// frame of a large picture has tens of thousands of sub-blocks, and a read call for each length
// and each block costs more than decoding them.
class TGifBlocks {
 public:
  explicit TGifBlocks(TStream* Stream) : FStream(Stream), FBuffer(kBufferSize) {}
  // The next data byte; false at the zero length that ends the data, or where the stream ends.
  bool Next(Byte& B) {
    if (FBlockLeft == 0 && !NextBlock()) return false;
    if (FPos == FLen && !Fill()) {
      FDone = true;
      return false;
    }
    --FBlockLeft;
    B = FBuffer[FPos++];
    return true;
  }
  // The data bytes that lie together in the buffer from here on (at most the rest of the
  // current sub-block), taken as read; false when the data has ended.
  bool Span(const Byte*& From, const Byte*& To) {
    if (FBlockLeft == 0 && !NextBlock()) return false;
    if (FPos == FLen && !Fill()) {
      FDone = true;
      return false;
    }
    const size_t n = std::min(FBlockLeft, FLen - FPos);
    From = FBuffer.data() + FPos;
    To = From + n;
    FPos += n;
    FBlockLeft -= n;
    return true;
  }
  // Whether a data byte follows (it stays to be read).
  bool More() {
    if (FBlockLeft == 0 && !NextBlock()) return false;
    if (FPos == FLen && !Fill()) {
      FDone = true;
      return false;
    }
    return true;
  }
  // Reads on to the end of the data, then leaves the stream just behind it.
  void Finish() {
    Byte b;
    while (Next(b)) {
      const size_t skip = std::min(FBlockLeft, FLen - FPos);
      FPos += skip;
      FBlockLeft -= skip;
    }
    const size_t unused = FLen - FPos;
    if (unused > 0) FStream->Seek(-static_cast<Int64>(unused), soCurrent);
    FPos = FLen = 0;
  }

 private:
  static constexpr size_t kBufferSize = 65536;
  bool Fill() {
    const Integer got = FStream->Read(FBuffer.data(), static_cast<Integer>(FBuffer.size()));
    FPos = 0;
    FLen = got > 0 ? static_cast<size_t>(got) : 0;
    return FLen > 0;
  }
  // Takes the next length byte; false at the terminator or the end of the stream.
  bool NextBlock() {
    while (!FDone) {
      if (FPos == FLen && !Fill()) break;
      FBlockLeft = FBuffer[FPos++];
      if (FBlockLeft == 0) break;
      return true;
    }
    FDone = true;
    return false;
  }
  TStream* FStream;
  std::vector<Byte> FBuffer;
  size_t FPos = 0, FLen = 0, FBlockLeft = 0;
  bool FDone = false;
};

class TGifBits {
 public:
  explicit TGifBits(TGifBlocks& Data) : FData(Data) {}
  // False when the data holds fewer than Width more bits: the data has run out.
  bool Read(Integer Width, Integer& Code) {
    while (FCount < Width) {
      if (FAt == FEnd && !FData.Span(FAt, FEnd)) return false;
      FAcc |= std::uint32_t(*FAt++) << FCount;
      FCount += 8;
    }
    Code = static_cast<Integer>(FAcc & ((1u << Width) - 1));
    FAcc >>= Width;
    FCount -= Width;
    return true;
  }
  // Whether whole bytes follow that no code has touched yet.
  bool BytesLeft() { return FAt != FEnd || FData.More(); }

 private:
  TGifBlocks& FData;
  const Byte* FAt = nullptr;
  const Byte* FEnd = nullptr;
  std::uint32_t FAcc = 0;
  Integer FCount = 0;
};

}  // namespace

TIEGifLZWResult GIFLZWDecompress(TStream* Stream, Integer Height, Integer Width, bool Interlaced, Byte* Dest) {
  const Int64 start = Stream->Position();
  auto fail = [&] {
    Stream->SetPosition(start);
    return glzFailed;
  };
  Byte size = 0;
  if (Stream->Read(&size, 1) != 1 || size < 2 || size > 9) return fail();
  TGifBlocks data(Stream);
  TGifPlacer out(Dest, Width, Height, Interlaced);
  // The data is read to its end whatever the codes say, so that the stream is left behind it.
  auto finish = [&] {
    data.Finish();
    return out.Complete() ? glzOK : glzShort;
  };

  const Integer clear = 1 << size, end = clear + 1;
  Word prefix[kMaxCodes];
  Byte suffix[kMaxCodes];
  Byte first[kMaxCodes];  // the first byte of each code's string
  Word length[kMaxCodes];
  Byte run[kMaxCodes];
  for (Integer c = 0; c < clear; ++c) {
    prefix[c] = 0;
    suffix[c] = first[c] = static_cast<Byte>(c);
    length[c] = 1;
  }
  Integer width = size + 1, next = clear + 2, limit = 1 << width;
  Integer prev = -1;  // no previous code: right after the start and after each clear
  TGifBits bits(data);
  Integer code = 0;
  if (!bits.Read(width, code)) return finish();
  while (code != end) {
    if (code == clear) {
      width = size + 1;
      next = clear + 2;
      limit = 1 << width;
      prev = -1;
    } else if (prev < 0) {
      // The first code after a clear is a literal; anything beyond the literals counts as 0.
      if (code > end) code = 0;
      const Byte b = static_cast<Byte>(code);
      if (Byte* at = out.Reserve(1)) *at = b;
      else out.Put(&b, 1);
      prev = code;
    } else {
      if (code > next) return fail();
      // The string of a code not yet defined is the previous one and its own first byte.
      const bool fresh = code == next;
      Integer c = fresh ? prev : code;
      const Integer len = length[c] + (fresh ? 1 : 0);
      // The chain gives the string backwards: it is written from its last byte down, straight
      // into the row when the row holds it.
      Byte* at = out.Reserve(len);
      Byte* p = (at ? at : run) + len;
      if (fresh) *--p = first[prev];
      while (c >= clear) {
        *--p = suffix[c];
        c = prefix[c];
      }
      *--p = static_cast<Byte>(c);
      if (!at) out.Put(run, len);
      // A full table stays as it is until the encoder sends a clear code, however late: the
      // codes that follow are plain references into it.
      if (next < kMaxCodes) {
        prefix[next] = static_cast<Word>(prev);
        suffix[next] = static_cast<Byte>(c);
        first[next] = first[prev];
        length[next] = static_cast<Word>(length[prev] + 1);
        ++next;
        if (next >= limit && width < 12) {
          ++width;
          limit <<= 1;
        }
      }
      prev = code;
    }
    if (!bits.Read(width, code)) return finish();
    if (code == end && prev < 0 && bits.BytesLeft()) {
      // An end straight after a clear with data still to come: the stream is not what it seems.
      return fail();
    }
  }
  return finish();
}

// --- encoders ------------------------------------------------------------------------------

namespace {

// Hashed LZW with open addressing, the GIF flavour: codes least significant bit first, in
// length-prefixed sub-blocks.
class TLZWEncoder {
 public:
  TLZWEncoder(TStream* Stream, Integer InitialWidth) : FStream(Stream), FInitWidth(InitialWidth) {
    FClear = 1 << (InitialWidth - 1);
    FEnd = FClear + 1;
    FWidth = FInitWidth;
    FMaxCode = MaxCodeFor(FWidth);
    FNext = FClear + 2;
    ClearHash();
  }

  void Start(Integer FirstPixel) {
    Emit(FClear);
    FPending = FirstPixel;
    FStarted = true;
  }
  bool Started() const { return FStarted; }

  void Add(Integer c) {
    const std::int32_t key = (std::int32_t(c) << 12) + FPending;
    Integer i = (c << kHashShift) ^ FPending;
    if (FKeys[i] == key) {
      FPending = FCodes[i];
      return;
    }
    if (FKeys[i] >= 0) {
      const Integer step = i == 0 ? 1 : kHashSize - i;
      do {
        i -= step;
        if (i < 0) i += kHashSize;
        if (FKeys[i] == key) {
          FPending = FCodes[i];
          return;
        }
      } while (FKeys[i] >= 0);
    }
    Emit(FPending);
    FPending = c;
    if (FNext < kMaxCodes) {
      FCodes[i] = static_cast<Word>(FNext++);
      FKeys[i] = key;
    } else {
      ClearHash();
      FNext = FClear + 2;
      FClearFlag = true;
      Emit(FClear);
    }
  }

  void Finish() {
    if (FStarted) Emit(FPending);
    Emit(FEnd);
    if (FBits > 0) Put(static_cast<Byte>(FAcc));
    FAcc = 0;
    FBits = 0;
    Flush();
    WriteOut();
  }

 private:
  Integer MaxCodeFor(Integer W) const {
    if (W >= 12) return kMaxCodes;
    return (1 << W) - 1;
  }
  void ClearHash() {
    for (std::int32_t& k : FKeys) k = -1;
  }
  void Emit(Integer Code) {
    FAcc |= std::uint32_t(Code) << FBits;
    FBits += FWidth;
    while (FBits >= 8) {
      Put(static_cast<Byte>(FAcc));
      FAcc >>= 8;
      FBits -= 8;
    }
    if (FClearFlag) {
      FWidth = FInitWidth;
      FMaxCode = MaxCodeFor(FWidth);
      FClearFlag = false;
    } else if (FNext > FMaxCode) {
      if (FWidth < 12) {
        ++FWidth;
        FMaxCode = MaxCodeFor(FWidth);
      }
    }
  }
  void Put(Byte B) {
    FBuf[FFill++] = B;
    if (FFill == 254) Flush();
  }
  // Sub-blocks gather in a larger buffer before they go to the stream: a write call for each
  // block of 255 bytes costs more than coding it.
  void Flush() {
    if (FFill == 0) return;
    FOut.push_back(static_cast<Byte>(FFill));
    FOut.insert(FOut.end(), FBuf, FBuf + FFill);
    if (FOut.size() >= kOutChunk) WriteOut();
    FFill = 0;
  }
  void WriteOut() {
    if (FOut.empty()) return;
    FStream->WriteBuffer(FOut.data(), Int64(FOut.size()));
    FOut.clear();
  }
  static constexpr size_t kOutChunk = 65536;
  std::vector<Byte> FOut;

  TStream* FStream;
  Integer FInitWidth, FWidth, FMaxCode, FClear, FEnd, FNext;
  bool FClearFlag = false, FStarted = false;
  Integer FPending = 0;
  std::uint32_t FAcc = 0;
  Integer FBits = 0;
  Byte FBuf[256];
  Integer FFill = 0;
  std::int32_t FKeys[kHashSize];
  Word FCodes[kHashSize];
};

}  // namespace

void GIFLZWCompress(TStream* Stream, Integer Height, Integer Width, bool Interlaced, const Byte* Data,
                    Integer BitsPerPixel) {
  const Integer size = BitsPerPixel <= 1 ? 2 : BitsPerPixel > 8 ? 8 : BitsPerPixel;
  const Byte sizeByte = static_cast<Byte>(size);
  Stream->WriteBuffer(&sizeByte, 1);
  auto enc = std::make_unique<TLZWEncoder>(Stream, size + 1);
  if (Width > 0 && Height > 0) {
    TGifRowWalk walk(Height, Interlaced);
    for (Integer n = 0; n < Height && walk.Row() < Height; ++n, walk.Next()) {
      const Byte* row = Data + size_t(walk.Row()) * size_t(Width);
      Integer x = 0;
      if (!enc->Started()) enc->Start(row[x++]);
      for (; x < Width; ++x) enc->Add(row[x]);
    }
  } else {
    enc->Start(0);  // nothing to code: the decoder reads one code and the end
  }
  enc->Finish();
  const Byte zero = 0;
  Stream->WriteBuffer(&zero, 1);
}

// --- TIFF decoder --------------------------------------------------------------------------

namespace {

struct TTiffDecoder {
  TTiffDecoder() {
    // The literals are table entries like any other, so that adding a string never asks
    // whether its prefix is one.
    for (Integer c = 0; c < 256; ++c) {
      Prefix[c] = 0;
      Suffix[c] = First[c] = static_cast<Byte>(c);
      Length[c] = 1;
    }
  }

  const Byte* Data = nullptr;
  Int64 Size = 0;
  Int64 BytePos = 0;  // the next byte to enter the bit buffer
  // Bits not yet used, most significant first, AccBits of them at the top of Acc. The bits
  // below them, when there are any, are already the strip's next bits.
  std::uint64_t Acc = 0;
  Integer AccBits = 0;
  bool Reverse = false;
  Integer Width = 9;
  Integer Next = 258;
  Integer Prev = -1;
  bool Ended = false;
  // Decoded bytes beyond the last chunk handed out wait at the front of Out.
  std::unique_ptr<Byte[]> Out;
  size_t OutCapacity = 0;
  // Out's leading bytes that were ever written: a strip that ends early leaves zeros behind
  // its last byte on the first call, and what the previous call left after that.
  size_t Written = 0;
  size_t Held = 0;
  size_t LastCount = 0;
  Word Prefix[kMaxCodes];
  Byte Suffix[kMaxCodes];
  Byte First[kMaxCodes];
  Word Length[kMaxCodes];

  // Out holds at least Capacity bytes, the Held ones kept.
  void Reserve(size_t Capacity) {
    if (OutCapacity >= Capacity) return;
    auto grown = std::make_unique_for_overwrite<Byte[]>(Capacity);
    if (Written > 0) std::memcpy(grown.get(), Out.get(), Written);
    Out = std::move(grown);
    OutCapacity = Capacity;
  }

  // False on a code the table cannot explain. The decoder's state lives in plain locals while
  // it runs, with no closure or member in the loop: the bytes it stores could alias anything
  // reached through a pointer and would make the compiler reload it after every byte.
  bool Fill(size_t Count) {
    if (Ended) return true;
    const Byte* const data = Data;
    const Int64 size = Size;
    const bool reverse = Reverse;
    Int64 bytePos = BytePos;
    std::uint64_t acc = Acc;
    Integer accBits = AccBits;
    Integer width = Width, next = Next, prev = Prev;
    // The width grows one code before the table needs it, as TIFF coders do; 12 bits is the most.
    Integer limit = LimitOf(width);
    // Out always has room: the loop stops once Count bytes are held, and no string is longer
    // than the table.
    Byte* const out = Out.get();
    size_t held = Held;
    Word* const prefix = Prefix;
    Byte* const suffix = Suffix;
    Byte* const first = First;
    Word* const length = Length;
    // Why the loop stopped: 0 with Count bytes held, 1 at the strip's end, -1 on a bad code.
    Integer stop = 0;
    bool cleared = false;  // the last code was a clear code
    while (held < Count) {
      // The next code, or the end of the strip's bits.
      if (accBits < width) {
        if (!reverse && bytePos + 8 <= size) {
          // Eight bytes at once: as many whole ones as fit are counted, the rest of the word
          // lies below them and is read again next time.
          std::uint64_t word;
          std::memcpy(&word, data + bytePos, 8);
          acc |= __builtin_bswap64(word) >> accBits;
          bytePos += (63 - accBits) >> 3;
          accBits |= 56;
        } else {
          while (accBits <= 56 && bytePos < size) {
            Byte b = data[bytePos++];
            if (reverse) IEReverseBitsInByte(b);
            acc |= std::uint64_t(b) << (56 - accBits);
            accBits += 8;
          }
          if (accBits < width) {
            stop = 1;
            break;
          }
        }
      }
      const Integer code = static_cast<Integer>(acc >> (64 - width));
      acc <<= width;
      accBits -= width;

      Byte head;  // the first byte of the entry to add
      if (code < 256 && prev >= 0) {
        out[held++] = static_cast<Byte>(code);
        head = static_cast<Byte>(code);
      } else if (code > 257 && code < next) {
        held += PutString(out + held, code);
        head = first[code];
      } else if (code == 256) {
        // A fresh table; a literal must follow, unless the strip ends.
        if (cleared) {
          stop = -1;
          break;
        }
        cleared = true;
        width = 9;
        limit = LimitOf(width);
        next = 258;
        prev = -1;
        continue;
      } else if (code == 257) {
        stop = 1;
        break;
      } else if (prev < 0) {
        // The first code of the strip or after a clear code: a literal, which adds no entry.
        if (code > 255) {
          stop = -1;
          break;
        }
        out[held++] = static_cast<Byte>(code);
        prev = code;
        cleared = false;
        continue;
      } else if (code == next && next < kMaxCodes) {
        // Not yet in the table: the previous string and its own first byte, entered first.
        head = first[prev];
        prefix[next] = static_cast<Word>(prev);
        suffix[next] = head;
        first[next] = first[prev];
        length[next] = static_cast<Word>(length[prev] + 1);
        held += PutString(out + held, code);
        if (++next == limit) limit = LimitOf(++width);
        prev = code;
        continue;
      } else {
        stop = -1;
        break;
      }
      if (next >= kMaxCodes) {
        stop = -1;
        break;
      }
      prefix[next] = static_cast<Word>(prev);
      suffix[next] = head;
      first[next] = first[prev];
      length[next] = static_cast<Word>(length[prev] + 1);
      if (++next == limit) limit = LimitOf(++width);
      prev = code;
    }
    BytePos = bytePos;
    Acc = acc;
    AccBits = accBits;
    Width = width;
    Next = next;
    Prev = prev;
    Ended = stop > 0;
    Held = held;
    return stop >= 0;
  }

  // Writes the string of Code, an entry of the table, at At and answers its length. The chain
  // gives it backwards, so it is written from its last byte.
  __attribute__((always_inline)) size_t PutString(Byte* At, Integer Code) const {
    const size_t len = Length[Code];
    Byte* p = At + len;
    while (Code >= 256) {
      *--p = Suffix[Code];
      Code = Prefix[Code];
    }
    *--p = static_cast<Byte>(Code);
    return len;
  }

  static Integer LimitOf(Integer Width) { return Width < 12 ? (1 << Width) - 1 : kMaxCodes + 1; }
};

}  // namespace

Byte* TIFFLZWDecompress(const Byte* Data, Integer Count, void*& State, Integer FillOrder, Int64 DataSize) {
  auto* d = static_cast<TTiffDecoder*>(State);
  if (d && !Data) {
    delete d;
    State = nullptr;
    return nullptr;
  }
  if (Count < 0) return nullptr;
  if (!d) {
    if (!Data) return nullptr;
    d = new TTiffDecoder;
    d->Data = Data;
    d->Size = DataSize > 0 ? DataSize : 0;
    d->Reverse = FillOrder == 2;
    State = d;
  } else if (d->LastCount > 0) {
    // The bytes handed out last time leave; what was decoded beyond them moves to the front.
    const size_t gone = d->Held < d->LastCount ? d->Held : d->LastCount;
    std::memmove(d->Out.get(), d->Out.get() + gone, d->Held - gone);
    d->Held -= gone;
  }
  d->Reserve(size_t(Count) + kMaxCodes);
  if (!d->Fill(size_t(Count))) return nullptr;
  d->Written = std::max(d->Written, d->Held);
  if (d->Written < size_t(Count)) {
    std::memset(d->Out.get() + d->Written, 0, size_t(Count) - d->Written);
    d->Written = size_t(Count);
  }
  d->LastCount = size_t(Count);
  return d->Out.get();
}

// --- TIFF encoder --------------------------------------------------------------------------

namespace {

// The TIFF flavour on its own: codes go most significant bit first into a 64-bit accumulator
// and leave in whole 32-bit words through a large buffer, and the string table is an open
// hash at most half full, whose entries carry the table's generation so that a clear code
// empties it without touching it.
class TTiffLZWEncoder {
 public:
  explicit TTiffLZWEncoder(TStream* Stream) : FStream(Stream) { std::memset(FSlots, 0, sizeof FSlots); }

  void Start(Byte First) {
    Emit(kClear);
    FPending = First;
    FStarted = true;
  }
  bool Started() const { return FStarted; }

  void Code(const Byte* Data, Integer Count) {
    Integer pending = FPending;
    for (Integer i = 0; i < Count; ++i) {
      const DWORD c = Data[i];
      // Key: generation, prefix code and byte; 0 is never a live key.
      const DWORD key = FGeneration << 20 | DWORD(pending) << 8 | c;
      DWORD h = (key * 0x9E3779B1u) >> (32 - kHashBits);
      bool known = false;
      for (;;) {
        const DWORD k = FSlots[h].Key;
        if (k == key) {
          known = true;
          break;
        }
        if (k >> 20 != FGeneration) break;  // empty, or left from before the last clear
        h = (h + 1) & (kHashSize - 1);
      }
      if (known) {
        pending = FSlots[h].Code;
        continue;
      }
      Emit(pending);
      if (FNext < kMaxCodes - 2) {
        FSlots[h].Key = key;
        FSlots[h].Code = Word(FNext++);
      } else {
        NewGeneration();
        FNext = kClear + 2;
        FClearFlag = true;
        Emit(kClear);
      }
      pending = Integer(c);
    }
    FPending = pending;
  }

  void Finish() {
    if (FStarted) Emit(FPending);
    Emit(kEnd);
    while (FBits >= 8) {
      FBits -= 8;
      *FOut++ = Byte(FAcc >> FBits);
    }
    if (FBits > 0) *FOut++ = Byte(FAcc << (8 - FBits));
    FBits = 0;
    Flush();
  }

 private:
  static constexpr Integer kClear = 256, kEnd = 257;
  static constexpr Integer kHashBits = 13;
  static constexpr DWORD kHashSize = DWORD(1) << kHashBits;
  static constexpr size_t kOutBytes = 65536;

  void NewGeneration() {
    // Generations 1..4095 fit above the 20 key bits; after the last, the table is emptied.
    if (++FGeneration == 4096) {
      std::memset(FSlots, 0, sizeof FSlots);
      FGeneration = 1;
    }
  }
  void Emit(Integer Code) {
    FAcc = FAcc << FWidth | std::uint64_t(Code);
    FBits += FWidth;
    if (FBits >= 32) {
      FBits -= 32;
      const DWORD w = DWORD(FAcc >> FBits);
      FOut[0] = Byte(w >> 24), FOut[1] = Byte(w >> 16), FOut[2] = Byte(w >> 8), FOut[3] = Byte(w);
      FOut += 4;
      if (FOut >= FBuf + kOutBytes) Flush();
    }
    // The width grows one code early, as TIFF readers expect.
    if (FClearFlag) {
      FWidth = 9;
      FClearFlag = false;
    } else if (FWidth < 12 && FNext >= (1 << FWidth) - 1) {
      ++FWidth;
    }
  }
  void Flush() {
    if (FOut > FBuf) FStream->WriteBuffer(FBuf, FOut - FBuf);
    FOut = FBuf;
  }

  struct TSlot {
    DWORD Key;
    Word Code;
  };
  TStream* FStream;
  Integer FWidth = 9, FNext = kClear + 2, FPending = 0;
  bool FClearFlag = false, FStarted = false;
  DWORD FGeneration = 1;
  std::uint64_t FAcc = 0;
  Integer FBits = 0;
  Byte FBuf[kOutBytes + 16];
  Byte* FOut = FBuf;
  TSlot FSlots[kHashSize];
};

}  // namespace

void TIFFLZWCompress(const Byte* Data, Integer Count, TStream* Stream, void*& State) {
  auto* e = static_cast<TTiffLZWEncoder*>(State);
  if (!Data) {
    if (e) {
      e->Finish();
      delete e;
    }
    State = nullptr;
    return;
  }
  if (!e) {
    e = new TTiffLZWEncoder(Stream);
    State = e;
  }
  if (Count <= 0) return;
  if (!e->Started()) {
    e->Start(Data[0]);
    e->Code(Data + 1, Count - 1);
  } else {
    e->Code(Data, Count);
  }
}

// --- selection -----------------------------------------------------------------------------

void IEInstallLZWCoders() {
  IEGlobalGifLZWDecompress = reinterpret_cast<TIELZWProcedure>(&GIFLZWDecompress);
  IEGlobalGifLZWCompress = reinterpret_cast<TIELZWProcedure>(&GIFLZWCompress);
  IEGlobalTiffLZWDecompress = reinterpret_cast<TIELZWProcedure>(&TIFFLZWDecompress);
  IEGlobalTiffLZWCompress = reinterpret_cast<TIELZWProcedure>(&TIFFLZWCompress);
}

namespace {
template <class TProc>
TProc Pick(TIELZWProcedure Own, TIELZWProcedure Global) {
  return reinterpret_cast<TProc>(Own ? Own : Global);
}
}  // namespace

TIEGifLZWDecompressProc IEGifLZWDecompressOf(const TIOParamsVals& Params) {
  return Pick<TIEGifLZWDecompressProc>(Params.GifLZWDecompress, IEGlobalGifLZWDecompress);
}
TIEGifLZWCompressProc IEGifLZWCompressOf(const TIOParamsVals& Params) {
  return Pick<TIEGifLZWCompressProc>(Params.GifLZWCompress, IEGlobalGifLZWCompress);
}
TIETiffLZWDecompressProc IETiffLZWDecompressOf(const TIOParamsVals& Params) {
  return Pick<TIETiffLZWDecompressProc>(Params.TiffLZWDecompress, IEGlobalTiffLZWDecompress);
}
TIETiffLZWCompressProc IETiffLZWCompressOf(const TIOParamsVals& Params) {
  return Pick<TIETiffLZWCompressProc>(Params.TiffLZWCompress, IEGlobalTiffLZWCompress);
}
