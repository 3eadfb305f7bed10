#include "imaging/formats/raw/ie_ciff.h"

#include <atomic>
#include <cstring>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_streams.h"
#include "imaging/core/ie_tags_handler.h"
#include "imaging/formats/codec.h"
#include "imaging/formats/jpeg/ie_jpeg.h"

namespace {

// A maker-note entry gathered from the heap: its tag and its 16-bit items.
struct TCIFFNote {
  Word Tag = 0;
  std::vector<Word> Items;
};

// Previews are only measured, but each measure runs the JPEG library over the bytes: a heap of
// thousands of preview records would take seconds for nothing.
constexpr Integer kMaxPreviewCandidates = 64;
// Texts of the heap are names of a few dozen characters.
constexpr UInt64 kMaxText = 4096;

class TCIFFWalk {
 public:
  TCIFFWalk(TStream* S, TIOParamsVals& P, bool Big) : FStream(S), FParams(P), FBig(Big), FSize(S->Size()) {}

  void Heap(Int64 Offset, Int64 Length, Integer Depth);
  void Finish();

 private:
  bool At(Int64 Pos) {
    if (Pos < 0 || Pos >= FSize) return false;
    FStream->SetPosition(Pos);
    return true;
  }
  // Reads past the end give zero bytes: the walk goes on with what the stream holds.
  Word U16() {
    Byte b[2] = {};
    FStream->Read(b, 2);
    return FBig ? Word(b[0] << 8 | b[1]) : Word(b[1] << 8 | b[0]);
  }
  DWORD U32() {
    Byte b[4] = {};
    FStream->Read(b, 4);
    return FBig ? DWORD(b[0]) << 24 | DWORD(b[1]) << 16 | DWORD(b[2]) << 8 | b[3]
                : DWORD(b[3]) << 24 | DWORD(b[2]) << 16 | DWORD(b[1]) << 8 | b[0];
  }
  AnsiString Text(UInt64 Limit) {
    AnsiString s;
    if (Limit > kMaxText) Limit = kMaxText;
    Byte c = 0;
    while (s.size() < Limit && FStream->Read(&c, 1) == 1 && c != 0) s += char(c);
    return s;
  }
  void Record(Word Type, DWORD Size, Int64 Data, Integer Depth);
  void Note(Word Tag, DWORD Size);
  void Preview(Int64 Data);
  bool ReadJpeg(Int64 Pos, TIEBitmap* Bitmap, TIOParamsVals& Params, bool Preview);

  TStream* FStream;
  TIOParamsVals& FParams;
  bool FBig;
  Int64 FSize;
  Integer FRecords = 0;
  Integer FPreviews = 0;
  std::vector<TCIFFNote> FNotes;
  Int64 FBest = -1;
  Integer FBestWidth = 0x7FFFFFFE, FBestHeight = 0x7FFFFFFE;
};

void TCIFFWalk::Heap(Int64 Offset, Int64 Length, Integer Depth) {
  if (Depth > IECIFFMaxDepth || Length < 4) return;
  if (!At(Offset + Length - 4)) return;
  const Int64 dir = Offset + Int64(U32());
  if (!At(dir)) return;
  Integer count = U16();
  if (count > 256) count = 256;
  for (Integer i = 0; i < count && FRecords < IECIFFMaxRecords; ++i, ++FRecords) {
    const Int64 rec = dir + 2 + Int64(i) * 10;
    if (!At(rec)) return;
    const Word type = U16();
    DWORD size = U32();
    Int64 data = Offset + Int64(U32());
    // Small values live in the record itself, in the eight bytes after the type.
    if (type & 0x4000) {
      size = 8;
      data = rec + 2;
    }
    const Int64 after = rec + 10;
    if (At(data)) Record(Word(type & 0x3FFF), size, data, Depth);
    FStream->SetPosition(after);
  }
}

void TCIFFWalk::Record(Word Type, DWORD Size, Int64 Data, Integer Depth) {
  switch (Type) {
    case 0x0805: FParams.ExifImageDescription = Text(Size); break;
    case 0x080A:
      FParams.ExifMake = Text(Size);
      FParams.ExifModel = Text(Size);
      break;
    case 0x080B: FParams.ExifSoftware = Text(Size); break;
    case 0x1810:
      FParams.ExifExifImageWidth = Integer(U32());
      FParams.ExifExifImageHeight = Integer(U32());
      break;
    case 0x102A: Note(4, Size); break;
    case 0x102D: Note(1, Size); break;
    case 0x2007:
    case 0x2008: Preview(Data); break;
    case 0x2800:
    case 0x2807:
    case 0x3000:
    case 0x3002:
    case 0x3003:
    case 0x3004:
    case 0x300A:
    case 0x300B: Heap(Data, Int64(Size), Depth + 1); break;
    default: break;
  }
}

// The record's size counts bytes: its items are half as many 16-bit values, and only those the
// stream holds are taken (reading Size items would take the bytes of the records after it).
void TCIFFWalk::Note(Word Tag, DWORD Size) {
  TCIFFNote n;
  n.Tag = Tag;
  const Int64 left = FSize - FStream->Position();
  Int64 items = Int64(Size / 2);
  if (items > left / 2) items = left / 2;
  n.Items.reserve(size_t(items));
  for (Int64 i = 0; i < items; ++i) n.Items.push_back(U16());
  FNotes.push_back(std::move(n));
}

void TCIFFWalk::Preview(Int64 Data) {
  if (FPreviews >= kMaxPreviewCandidates) return;
  ++FPreviews;
  TIOParamsVals params(nullptr);
  TIEBitmap unused;
  if (!ReadJpeg(Data, &unused, params, true)) return;
  if (params.Width < FBestWidth && params.Height < FBestHeight) {
    FBest = Data;
    FBestWidth = params.Width;
    FBestHeight = params.Height;
  }
}

// The JPEG at Pos, its parameters only or decoded, with a parameter record of its own so that
// the file's are not overwritten; False when it cannot be read.
bool TCIFFWalk::ReadJpeg(Int64 Pos, TIEBitmap* Bitmap, TIOParamsVals& Params, bool Preview) {
  std::atomic<bool> aborting{false};
  AnsiString reason;
  TIECodecProgress progress;
  progress.Aborting = &aborting;
  progress.FailureReason = &reason;
  FStream->SetPosition(Pos);
  try {
    ReadJPEGStream(FStream, nullptr, Bitmap, Params, progress, Preview, false, false, false, !Preview, !Preview, -1,
                   false);
  } catch (const std::exception&) {
    return false;
  }
  return !aborting;
}

void TCIFFWalk::Finish() {
  TIEBitmap* thumb = FParams.GetExifBitmap();
  thumb->FreeImage(true);
  if (FBest >= 1) {
    TIOParamsVals params(nullptr);
    if (!ReadJpeg(FBest, thumb, params, false)) thumb->FreeImage(true);
  }

  // One little-endian directory of 16-bit items, their data after the table in entry order.
  TMemoryStream* m = FParams.ExifMakerNote->Stream();
  m->SetSize(0);
  std::vector<Byte> out;
  auto put16 = [&](UInt64 v) {
    out.push_back(Byte(v));
    out.push_back(Byte(v >> 8));
  };
  auto put32 = [&](UInt64 v) {
    put16(v & 0xFFFF);
    put16((v >> 16) & 0xFFFF);
  };
  put16(FNotes.size());
  UInt64 data = 2 + 12 * FNotes.size();
  for (const TCIFFNote& n : FNotes) {
    put16(n.Tag);
    put16(3);
    put32(n.Items.size());
    put32(data);
    data += 2 * n.Items.size();
  }
  for (const TCIFFNote& n : FNotes)
    for (Word w : n.Items) put16(w);
  m->WriteBuffer(out.data(), Int64(out.size()));
  m->SetPosition(0);
  FParams.ExifMakerNote->LittleEndian = true;
  FParams.ExifMakerNote->ReadDirectory();
}

}  // namespace

bool IEReadCIFFMetadata(TStream* Stream, TIOParamsVals& IOParams) {
  Byte head[14] = {};
  if (Stream->Read(head, 14) != 14) return false;
  const bool little = head[0] == 'I' && head[1] == 'I', big = head[0] == 'M' && head[1] == 'M';
  if ((!little && !big) || std::memcmp(head + 6, "HEAPCCDR", 8) != 0) return false;
  const DWORD headerLength = big ? DWORD(head[2]) << 24 | DWORD(head[3]) << 16 | DWORD(head[4]) << 8 | head[5]
                                 : DWORD(head[5]) << 24 | DWORD(head[4]) << 16 | DWORD(head[3]) << 8 | head[2];
  TCIFFWalk walk(Stream, IOParams, big);
  walk.Heap(headerLength, Stream->Size() - Int64(headerLength), 0);
  walk.Finish();
  return false;
}
