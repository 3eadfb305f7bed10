#include "imaging/formats/tiff/ie_tiff_strips.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>

#include "imaging/core/ie_stream_classes.h"
#include "imaging/formats/compression/ie_ccitt.h"
#include "imaging/formats/compression/ie_deflate_streams.h"
#include "imaging/formats/compression/ie_packbits.h"
#include "imaging/formats/jpeg/ie_jpeg.h"
#include "imaging/formats/tiff/ie_tiff_samples.h"

namespace {

Byte ReverseBits(Byte B) {
  B = Byte((B & 0xF0) >> 4 | (B & 0x0F) << 4);
  B = Byte((B & 0xCC) >> 2 | (B & 0x33) << 2);
  return Byte((B & 0xAA) >> 1 | (B & 0x55) << 1);
}

bool IsFax(Word Compression) { return Compression >= 2 && Compression <= 4; }

// The stored bytes of one strip or tile: Size bytes at Data, kept alive by Owner, which may be
// shared with other blocks (the read-ahead window); Data is nil when nothing could be read.
struct TBlock {
  std::shared_ptr<Byte[]> Owner;
  Byte* Data = nullptr;
  size_t Size = 0;
};

// A block of Size bytes of its own, uninitialised.
TBlock NewBlock(size_t Size) {
  TBlock b;
  b.Owner = std::shared_ptr<Byte[]>(new Byte[std::max<size_t>(Size, 1)]);
  b.Data = b.Owner.get();
  b.Size = Size;
  return b;
}

// Where one strip or tile lies: Size bytes at At, as far as the stream holds them; Size 0 when
// its offset lies outside the stream.
struct TBlockPlace {
  UInt64 At = 0, Size = 0;
};

TBlockPlace PlaceBlock(const TTIFFDirectory& Dir, const std::vector<DWORD>& Offsets, const std::vector<DWORD>& Counts,
                       size_t Index, Int64 Least) {
  TBlockPlace p;
  if (Index >= Offsets.size()) return p;
  const UInt64 at = Offsets[Index];
  if (at >= Dir.Size()) return p;
  UInt64 size = Index < Counts.size() ? Counts[Index] : 0;
  // An uncompressed strip whose count is too small still holds its rows; a count of 0 means
  // "up to the end".
  if (size == 0) size = Dir.Size() - at;
  if (Least > 0 && UInt64(Least) > size) size = UInt64(Least);
  p.At = at;
  p.Size = std::min<UInt64>(size, Dir.Size() - at);
  return p;
}

// The bytes of one strip or tile, read in one piece; empty when they cannot be read.
TBlock ReadBlock(const TTIFFDirectory& Dir, const TBlockPlace& Place) {
  if (Place.Size == 0) return TBlock{};
  TBlock b = NewBlock(size_t(Place.Size));
  if (!Dir.ReadAt(Place.At, b.Data, Place.Size)) return TBlock{};
  return b;
}

// Strips and tiles mostly lie one after the other: small ones are taken from a window read
// ahead of them, one read for many blocks instead of a seek and a read each. A block taken from
// the window points into it and keeps it alive; the next window then gets a buffer of its own.
class TBlockReader {
 public:
  explicit TBlockReader(const TTIFFDirectory& Dir) : FDir(Dir) {}
  const TTIFFDirectory& Dir() const { return FDir; }

  TBlock Read(const TBlockPlace& Place) {
    if (Place.Size == 0 || Place.Size > kWindowBytes / 4) return ReadBlock(FDir, Place);
    if (Place.At < FStart || Place.At + Place.Size > FStart + FFill) {
      // The place lies inside the stream (PlaceBlock saw to it), so the window holds it whole.
      const UInt64 n = std::min<UInt64>(kWindowBytes, FDir.Size() - Place.At);
      if (!FWindow || FWindow.use_count() > 1) FWindow = std::shared_ptr<Byte[]>(new Byte[size_t(kWindowBytes)]);
      FFill = 0;
      if (!FDir.ReadAt(Place.At, FWindow.get(), n)) return ReadBlock(FDir, Place);
      FStart = Place.At;
      FFill = n;
    }
    TBlock b;
    b.Owner = FWindow;
    b.Data = FWindow.get() + (Place.At - FStart);
    b.Size = size_t(Place.Size);
    return b;
  }

 private:
  static constexpr UInt64 kWindowBytes = UInt64(512) << 10;
  const TTIFFDirectory& FDir;
  std::shared_ptr<Byte[]> FWindow;
  UInt64 FStart = 0, FFill = 0;
};

// Uncompressed rows are read this many bytes at a time (whole rows, at least one): a page
// stored as one strip is not held twice.
constexpr Int64 kPlainChunkBytes = Int64(1) << 20;

// One strip or tile of one plane: its stored bytes, and the decoded rows one at a time.
// Uncompressed rows come from the stream a piece at a time; the other codings read the whole
// block first.
class TRowSource {
 public:
  TRowSource(const TTIFFVars& V, TBlockReader& Blocks, const TBlockPlace& Place, Int64 RowBytes, Integer Width,
             Integer Rows, Integer Index)
      : FV(V),
        FDir(Blocks.Dir()),
        FPlace(Place),
        FRowBytes(RowBytes),
        FWidth(Width),
        FRows(Rows),
        FIndex(Index) {
    if (V.Compression != 1) {
      FData = Blocks.Read(Place);
      if (!FData.Data) FData.Size = 0;
    }
    // The two-dimensional codings start from an all-white row above the strip.
    if (IsFax(V.Compression)) FRef.assign(size_t(RowBytes) + 8, 0xFF);
    if (V.FillOrder == 2 && V.Compression == 32773 && FData.Data) {
      // Turned around in a copy: the bytes may be the window's, and strips may overlap.
      TBlock own = NewBlock(FData.Size);
      std::memcpy(own.Data, FData.Data, FData.Size);
      FData = std::move(own);
      Reverse(FData.Data, FData.Size);
    }
  }
  ~TRowSource() {
    if (FLZWState && FV.LZW) FV.LZW(nullptr, 0, FLZWState, FV.FillOrder, 0);
  }
  TRowSource(const TRowSource&) = delete;
  TRowSource& operator=(const TRowSource&) = delete;

  // True when the block holds no byte at all.
  bool Empty() const { return FV.Compression == 1 ? FPlace.Size == 0 : FData.Size == 0; }

  // The next row, RowBytes bytes (zeros where the data ended early); nil after IEFail. The row
  // may be changed in place until the next call.
  Byte* Next(TIECodecProgress& P) {
    const size_t rb = static_cast<size_t>(FRowBytes);
    const Int64 size = static_cast<Int64>(FData.Size);
    const Byte* data = FData.Data;
    Byte* row = nullptr;
    switch (FV.Compression) {
      case 1: {
        row = NextPlain();
        break;
      }
      case 32773: {
        // A run that crosses the row's end is cut there; the next row starts after it.
        row = BlankRow();
        const TIEPackBitsResult r =
            IEPackBitsDecode(data + std::min(FCursor, size), size_t(size - std::min(FCursor, size)), row, rb);
        FCursor += Int64(r.Read);
        if (r.Written < rb) FShort = true;
        break;
      }
      case 5: {
        if (!FV.LZW) {
          IEFail(P, "the TIFF page is LZW-compressed and no LZW decoder is installed");
          return nullptr;
        }
        if (size == 0) {
          row = BlankRow();
          FShort = true;
          break;
        }
        Byte* r = FV.LZW(data, static_cast<Integer>(FRowBytes), FLZWState, FV.FillOrder, size);
        if (!r) {
          IEFail(P, "the LZW data of TIFF " + Unit() + " is damaged");
          return nullptr;
        }
        // The decoder's own row: it is not read again once handed out.
        row = r;
        break;
      }
      case 8:
      case 32946: {
        if (!FInflated) {
          FInflated = true;
          if (size > 0 && !Inflate(P)) return nullptr;
        }
        const Int64 at = FRowIndex * FRowBytes;
        if (at + FRowBytes <= FPlainSize) {
          row = FPlain.get() + at;
        } else {
          row = BlankRow();
          if (at < FPlainSize) std::memcpy(row, FPlain.get() + at, size_t(FPlainSize - at));
          FShort = true;
        }
        break;
      }
      case 2:
      case 3:
      case 4:
        row = BlankRow();
        if (!TIFFDecodeCCITTRow(FV, FWidth, data, size, FBitPos, row, FRef.data(), P)) return nullptr;
        break;
      default:
        IEFail(P, "TIFF compression " + std::to_string(FV.Compression) + " is not supported");
        return nullptr;
    }
    ++FRowIndex;
    return row;
  }

 private:
  // The source's own row, all zeros (with a little room behind it): made only for the codings
  // and the ends of data that need it, since most rows are handed out where they lie.
  Byte* BlankRow() {
    FRow.assign(size_t(FRowBytes) + 8, 0);
    return FRow.data();
  }
  static void Reverse(Byte* Data, size_t Size) {
    for (size_t i = 0; i < Size; ++i) Data[i] = ReverseBits(Data[i]);
  }

  // The next uncompressed row: in place in the piece read last, or, at the end of the data,
  // what is left followed by zeros.
  Byte* NextPlain() {
    const Int64 size = Int64(FPlace.Size);
    if (FCursor >= FChunkEnd && FCursor < size) {
      const Int64 rows = std::max<Int64>(1, kPlainChunkBytes / std::max<Int64>(FRowBytes, 1));
      const Int64 n = std::min<Int64>(rows * FRowBytes, size - FCursor);
      if (FChunkCapacity < n) {
        FChunk = std::make_unique_for_overwrite<Byte[]>(size_t(n));
        FChunkCapacity = n;
      }
      if (!FDir.ReadAt(FPlace.At + UInt64(FCursor), FChunk.get(), UInt64(n))) {
        // The stream ended early after all: what is beyond counts as missing.
        FPlace.Size = UInt64(FCursor);
        FChunkEnd = FCursor;
      } else {
        if (FV.FillOrder == 2 && FV.BitsPerSample < 8) Reverse(FChunk.get(), size_t(n));
        FChunkStart = FCursor;
        FChunkEnd = FCursor + n;
      }
    }
    Byte* row = nullptr;
    if (FCursor + FRowBytes <= FChunkEnd && FCursor >= FChunkStart) {
      row = FChunk.get() + (FCursor - FChunkStart);
    } else {
      row = BlankRow();
      if (FCursor < FChunkEnd && FCursor >= FChunkStart)
        std::memcpy(row, FChunk.get() + (FCursor - FChunkStart), size_t(FChunkEnd - FCursor));
      FShort = true;
    }
    FCursor += FRowBytes;
    return row;
  }

  // The whole strip inflated: at most its rows are kept (more is never used, and the limit keeps
  // a small strip from inflating to gigabytes).
  bool Inflate(TIECodecProgress& P) {
    const Int64 want = FRowBytes * FRows;
    FPlain = std::make_unique_for_overwrite<Byte[]>(size_t(std::max<Int64>(want, 1)));
    const Int64 got = ZDecompressInto(FData.Data, FData.Size, FPlain.get(), size_t(want));
    if (got >= 0) {
      FPlainSize = got;
      return true;
    }
    // Damaged, cut short or longer than its rows: the streaming inflater says which, and takes
    // what a little too long a strip holds.
    void* out = nullptr;
    Integer n = 0;
    try {
      ZDecompressBuf(FData.Data, static_cast<Integer>(FData.Size), out, n,
                     static_cast<Integer>(std::min<Int64>(want, 1 << 30)), want + 65536);
    } catch (const Exception& e) {
      IEFail(P, "the Deflate data of TIFF " + Unit() + " is damaged (" + e.Message + ")");
      return false;
    }
    FPlainSize = std::min<Int64>(n, want);
    std::memcpy(FPlain.get(), out, size_t(FPlainSize));
    std::free(out);
    return true;
  }

  AnsiString Unit() const { return (FV.TileWidth > 0 ? "tile " : "strip ") + std::to_string(FIndex); }
  const TTIFFVars& FV;
  const TTIFFDirectory& FDir;
  TBlockPlace FPlace;
  TBlock FData;
  std::unique_ptr<Byte[]> FPlain, FChunk;
  Int64 FPlainSize = 0, FChunkCapacity = 0, FChunkStart = 0, FChunkEnd = 0;
  Int64 FRowBytes;
  Integer FWidth, FRows, FIndex;
  std::vector<Byte> FRow, FRef;
  Int64 FCursor = 0, FBitPos = 0, FRowIndex = 0;
  void* FLZWState = nullptr;
  bool FInflated = false;
  bool FShort = false;

 public:
  // True once a row was asked for that the data did not hold.
  bool Short() const { return FShort; }
};

void UndoPredictor(const TTIFFVars& V, Byte* Row, Integer Width, Integer Samples) {
  if (V.Predictor != 2 || !(V.Compression == 5 || V.Compression == 8 || V.Compression == 32946)) return;
  const size_t n = size_t(Width) * Samples;
  if (V.BitsPerSample == 8) {
    for (size_t i = Samples; i < n; ++i) Row[i] = Byte(Row[i] + Row[i - Samples]);
  } else if (V.BitsPerSample == 16) {
    // Samples in the file's byte order, whatever the machine's.
    for (size_t i = Samples; i < n; ++i) {
      Byte* p = Row + 2 * i;
      const Byte* q = Row + 2 * (i - Samples);
      const Word a = V.Little ? Word(p[0] | p[1] << 8) : Word(p[0] << 8 | p[1]);
      const Word b = V.Little ? Word(q[0] | q[1] << 8) : Word(q[0] << 8 | q[1]);
      const Word s = Word(a + b);
      if (V.Little)
        p[0] = Byte(s), p[1] = Byte(s >> 8);
      else
        p[0] = Byte(s >> 8), p[1] = Byte(s);
    }
  }
}

// Samples below 8 bits (other than bilevel rows) one per byte, grey scaled to 0..255.
void ExpandSamples(const TTIFFVars& V, const Byte* Row, Byte* Out, size_t Count) {
  const Integer b = V.BitsPerSample;
  const Integer max = (1 << b) - 1;
  const bool grey = V.Photometric == 0 || V.Photometric == 1;
  size_t bit = 0;
  for (size_t i = 0; i < Count; ++i, bit += size_t(b)) {
    Integer v = 0;
    for (Integer k = 0; k < b; ++k) {
      const size_t at = bit + size_t(k);
      v = v << 1 | ((Row[at / 8] >> (7 - at % 8)) & 1);
    }
    Out[i] = grey ? Byte((v * 255 + max / 2) / max) : Byte(v);
  }
}

// An old-style JPEG strip or tile as a JPEG datastream of its own: the page's tables, a frame
// header for its size, a scan of all components and its entropy-coded data. Empty when the size
// does not fit a frame.
TBlock OldJPEGStream(const TTIFFVars& V, const TBlock& Data, Integer Width, Integer Rows) {
  if (Width < 1 || Rows < 1 || Width > 0xFFFF || Rows > 0xFFFF) return TBlock{};
  const Integer n = V.SamplesPerPixel;
  std::vector<Byte> head(V.OldJPEGTables);
  // RGB pages name their components R, G and B, which tells the decoder not to take them for
  // YCbCr.
  auto id = [&](Integer k) { return V.Photometric == 2 && n == 3 ? Byte("RGB"[k]) : Byte(k + 1); };
  const Integer sof = 8 + 3 * n;
  head.insert(head.end(), {0xFF, 0xC0, Byte(sof >> 8), Byte(sof), 8, Byte(Rows >> 8), Byte(Rows), Byte(Width >> 8),
                           Byte(Width), Byte(n)});
  for (Integer k = 0; k < n; ++k) {
    // Luma carries the page's subsampling; everything else is sampled once a pixel.
    const bool luma = V.Photometric == 6 && k == 0;
    const Integer h = luma ? V.YCbCrSubsampling[0] : 1, v = luma ? V.YCbCrSubsampling[1] : 1;
    head.insert(head.end(), {id(k), Byte((h & 15) << 4 | (v & 15)), Byte(k)});
  }
  const Integer sos = 6 + 2 * n;
  head.insert(head.end(), {0xFF, 0xDA, Byte(sos >> 8), Byte(sos), Byte(n)});
  for (Integer k = 0; k < n; ++k) head.insert(head.end(), {id(k), Byte(k << 4 | k)});
  head.insert(head.end(), {0, 63, 0});
  TBlock b = NewBlock(head.size() + Data.Size + 2);
  std::memcpy(b.Data, head.data(), head.size());
  std::memcpy(b.Data + head.size(), Data.Data, Data.Size);
  b.Data[b.Size - 2] = 0xFF;
  b.Data[b.Size - 1] = 0xD9;
  return b;
}

// Decodes one strip or tile of JPEG data into the page at (X, Y).
void ReadJPEGBlock(const TTIFFVars& V, TBlock& Data, TIEBitmap* Bitmap, Integer X, Integer Y,
                   TIECodecProgress& Progress) {
  if (!Data.Data) return;
  TIEMemStream stream(Data.Data, static_cast<Int64>(Data.Size));
  std::unique_ptr<TIEMemStream> tables;
  if (!V.JPEGTables.empty())
    tables = std::make_unique<TIEMemStream>(const_cast<Byte*>(V.JPEGTables.data()), Int64(V.JPEGTables.size()));
  TIOParamsVals params(nullptr);
  TIEBitmap part;
  std::atomic<bool> aborting{false};
  AnsiString reason;
  TIECodecProgress p;
  p.Aborting = &aborting;
  p.FailureReason = &reason;
  const bool raw = tables && V.Photometric == 2;
  try {
    ReadJPEGStream(&stream, tables.get(), &part, params, p, false, raw, false, true, false, true, -1, false);
  } catch (const Exception& e) {
    if (!aborting) IEFail(p, e.Message);
  }
  if (aborting) return IEFail(Progress, "the JPEG data of a TIFF strip or tile cannot be decoded: " + reason);
  if (part.GetPixelFormat() != ie24RGB) part.SetPixelFormat(ie24RGB);
  const Integer w = std::min(part.GetWidth(), V.ImageWidth - X), h = std::min(part.GetHeight(), V.ImageLength - Y);
  const TIEPixelFormat f = Bitmap->GetPixelFormat();
  for (Integer r = 0; r < h; ++r) {
    TRGB* s = static_cast<TRGB*>(part.GetScanline(r));
    if (raw)
      for (Integer i = 0; i < w; ++i) std::swap(s[i].r, s[i].b);
    Byte* d = static_cast<Byte*>(Bitmap->GetScanline(Y + r));
    if (f == ie24RGB)
      std::memcpy(d + size_t(X) * 3, s, size_t(w) * 3);
    else if (f == ie8g)
      for (Integer i = 0; i < w; ++i) d[X + i] = s[i].g;
  }
}

}  // namespace

bool TIFFDecodeCCITTRow(const TTIFFVars& Vars, Integer Width, const Byte* Data, Int64 DataSize, Int64& BitPos,
                        Byte* Row, Byte* RefRow, TIECodecProgress& Progress) {
  AnsiString Fault;
  const Integer Fill = Vars.FillOrder == 2 ? 2 : 1;
  switch (Vars.Compression) {
    case 2: {
      // Modified Huffman rows start on byte boundaries.
      const Int64 At = (BitPos + 7) / 8;
      if (At >= DataSize) {
        Fault = "it ends before the row";
        break;
      }
      BitPos = (At + IECCITTDecodeMHRow(Row, Data + At, DataSize - At, Width, Fill, &Fault)) * 8;
      break;
    }
    case 3:
      BitPos = (Vars.T4Options & 1) ? IECCITTDecode2DRow(Row, Data, DataSize, Width, RefRow, BitPos, Fill, true, &Fault)
                                    : IECCITTDecode1DRow(Row, Data, DataSize, Width, BitPos, Fill, &Fault);
      break;
    default:
      BitPos = IECCITTDecode2DRow(Row, Data, DataSize, Width, RefRow, BitPos, Fill, false, &Fault);
      break;
  }
  if (Fault.empty()) return true;
  IEFail(Progress, "the CCITT fax data (compression " + std::to_string(Vars.Compression) +
                       ") of the TIFF page is damaged: " + Fault);
  return false;
}

void TIFFReadImage(const TTIFFDirectory& Dir, TTIFFVars& V, TIEBitmap* Bitmap, TIECodecProgress& Progress) {
  const bool tiled = V.TileWidth > 0 && V.TileLength > 0;
  const std::vector<DWORD>& offsets = tiled && !V.TileOffsets.empty() ? V.TileOffsets : V.StripOffsets;
  const std::vector<DWORD>& counts = tiled && !V.TileOffsets.empty() ? V.TileByteCounts : V.StripByteCounts;
  const bool planar = V.PlanarConfig == 2 && V.SamplesPerPixel > 1;
  const Integer planes = planar ? V.SamplesPerPixel : 1;
  const Integer unitW = tiled ? V.TileWidth : V.ImageWidth;
  const Integer unitH = tiled ? V.TileLength : std::max(1, std::min(V.RowsPerStrip, V.ImageLength));
  const Int64 across = tiled ? (Int64(V.ImageWidth) + unitW - 1) / unitW : 1;
  const Int64 down = (Int64(V.ImageLength) + unitH - 1) / unitH;
  const Int64 perPlane = across * down;
  Int64 first = 0, last = perPlane;
  if (tiled && V.GetTile >= 0) {
    first = V.GetTile;
    last = first + 1;
  }
  const bool bilevel = V.BitsPerSample == 1 && V.SamplesPerPixel == 1 && (V.Photometric == 0 || V.Photometric == 1);
  const Integer sampleBytes = V.BitsPerSample == 16 ? 2 : 1;
  const Integer rowSamples = planar ? 1 : V.SamplesPerPixel;
  Int64 rowBytes = (Int64(unitW) * rowSamples * V.BitsPerSample + 7) / 8;
  const TTIFFConversion conv = TIFFChooseConversion(V);
  // No sample has no bits: a depth of 0 would divide the scaling of small samples by zero.
  if (V.BitsPerSample < 1 || V.BitsPerSample > 16) return IEFail(Progress, TIFFUnsupportedText(V));
  if (!V.JpegBlocks() && conv.Kind == TTIFFSampleKind::Unsupported) return IEFail(Progress, TIFFUnsupportedText(V));
  if (!V.JpegBlocks() && V.BitsPerSample != 8 && V.BitsPerSample != 16 && (planar || V.BitsPerSample > 8))
    return IEFail(Progress, TIFFUnsupportedText(V));
  // Subsampled YCbCr comes in blocks of SubH x SubV luma samples and their chroma pair, a row of
  // blocks covering SubV rows of the image.
  const bool ycbcr = V.Photometric == 6 && !V.JpegBlocks() && !planar;
  const Integer subH = ycbcr ? V.YCbCrSubsampling[0] : 1, subV = ycbcr ? V.YCbCrSubsampling[1] : 1;
  if (subH * subV > 1) rowBytes = (Int64(unitW) + subH - 1) / subH * (subH * subV + 2);
  // The rows of blocks are spread into whole rows of samples, which convert as unsubsampled.
  TTIFFVars full;
  if (subV > 1) full = V;
  full.YCbCrSubsampling[0] = full.YCbCrSubsampling[1] = 1;
  std::vector<Byte> lines(subV > 1 ? size_t(unitW) * 3 * size_t(subV) : 0);

  std::vector<Byte> chunky(size_t(unitW) * V.SamplesPerPixel * sampleBytes + 16), scratch;
  TIERowStepper step(Progress, last - first);
  TBlockReader blocks(Dir);
  bool missing = false;
  for (Int64 i = first; i < last; ++i) {
    // Blocks come in order: once the offsets run out, the rest are missing too, and walking
    // them would only take time (a page of tiny tiles may claim millions).
    if (size_t((planes - 1) * perPlane + i) >= offsets.size()) {
      missing = true;
      break;
    }
    const Integer x = tiled ? Integer((V.GetTile >= 0 ? 0 : i % across) * unitW) : 0;
    const Integer y = Integer((V.GetTile >= 0 ? 0 : i / across) * unitH);
    const Integer rows = std::min<Integer>(unitH, V.ImageLength - y);
    const Integer visible = std::min<Integer>(unitW, V.ImageWidth - x);
    if (V.JpegBlocks()) {
      TBlock data = blocks.Read(PlaceBlock(Dir, offsets, counts, size_t(i), 0));
      if (!data.Data) missing = true;
      if (data.Data && V.Compression == 6) {
        data = OldJPEGStream(V, data, tiled ? unitW : V.ImageWidth, tiled ? unitH : rows);
        if (!data.Data) return IEFail(Progress, "the old-style JPEG TIFF page is too large for a JPEG frame");
      }
      ReadJPEGBlock(V, data, Bitmap, x, y, Progress);
      if (!step.Next()) break;
      continue;
    }
    std::vector<std::unique_ptr<TRowSource>> src;
    const Integer stored = ((tiled ? unitH : rows) + subV - 1) / subV;
    for (Integer s = 0; s < planes; ++s) {
      const size_t index = size_t(s * perPlane + i);
      const Int64 least = V.Compression == 1 ? rowBytes * stored : 0;
      src.push_back(std::make_unique<TRowSource>(V, blocks, PlaceBlock(Dir, offsets, counts, index, least), rowBytes, unitW,
                                                 stored, Integer(index)));
      if (src.back()->Empty()) missing = true;
    }
    for (Integer r = 0; r < rows && subV > 1; r += subV) {
      const Byte* blocks = src[0]->Next(Progress);
      if (!blocks) return;
      const Integer lumas = subH * subV;
      for (Integer k = 0; k < unitW; ++k) {
        const Byte* q = blocks + size_t(k / subH) * size_t(lumas + 2);
        for (Integer j = 0; j < subV; ++j) {
          Byte* p = &lines[(size_t(j) * unitW + k) * 3];
          p[0] = q[j * subH + k % subH], p[1] = q[lumas], p[2] = q[lumas + 1];
        }
      }
      for (Integer j = 0; j < subV && r + j < rows; ++j)
        TIFFConvertRow(full, conv, &lines[size_t(j) * unitW * 3], Bitmap, x, y + r + j, visible, scratch);
    }
    for (Integer r = 0; r < rows && subV == 1; ++r) {
      const Byte* row = nullptr;
      if (!planar) {
        row = src[0]->Next(Progress);
        if (!row) return;
        UndoPredictor(V, const_cast<Byte*>(row), unitW, V.SamplesPerPixel);
      } else {
        for (Integer s = 0; s < planes; ++s) {
          Byte* plane = const_cast<Byte*>(src[size_t(s)]->Next(Progress));
          if (!plane) return;
          UndoPredictor(V, plane, unitW, 1);
          for (Integer k = 0; k < unitW; ++k)
            std::memcpy(&chunky[(size_t(k) * planes + s) * sampleBytes], plane + size_t(k) * sampleBytes,
                        size_t(sampleBytes));
        }
        row = chunky.data();
      }
      if (V.BitsPerSample < 8 && !bilevel) {
        ExpandSamples(V, row, chunky.data(), size_t(unitW) * V.SamplesPerPixel);
        row = chunky.data();
      }
      TIFFConvertRow(V, conv, row, Bitmap, x, y + r, visible, scratch);
    }
    for (const auto& p : src)
      if (p->Short()) missing = true;
    if (!step.Next()) break;
  }
  if (!IEAborting(Progress) && missing)
    IEFail(Progress,
           "the TIFF file is truncated or damaged: some strips or tiles are missing or shorter than their rows");
}
