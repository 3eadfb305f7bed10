#include "imaging/formats/tiff/ie_tiff_directory.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_set>

UInt64 TIFFTypeSize(Word Type) {
  // 13 is the IFD type of the EXIF and GPS pointers: a LONG offset.
  static const Byte sizes[14] = {1, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
  return Type < 14 ? sizes[Type] : 0;
}

TTIFFDirectory::TTIFFDirectory(TStream* Stream, bool IsLittle, Int64 Base)
    : Little(IsLittle), FStream(Stream), FBase(Base) {
  const Int64 size = Stream ? Stream->Size() - Base : 0;
  FSize = size > 0 ? static_cast<UInt64>(size) : 0;
}

bool TTIFFDirectory::ReadAt(UInt64 Offset, void* Dest, UInt64 Count) const {
  if (Offset > FSize || Count > FSize - Offset) return false;
  if (Count == 0) return true;
  FStream->SetPosition(FBase + static_cast<Int64>(Offset));
  Byte* d = static_cast<Byte*>(Dest);
  // Streams may deliver less than asked in one call; only the end of the data stops the read.
  while (Count > 0) {
    const Integer part = static_cast<Integer>(Count > (1u << 30) ? (1u << 30) : Count);
    const Integer got = FStream->Read(d, part);
    if (got <= 0) return false;
    d += got;
    Count -= static_cast<UInt64>(got);
  }
  return true;
}

void TTIFFDirectory::Clear() {
  FEntries.clear();
  FNext = 0;
}

// Reads the table at Offset. False when there is no table (no count word, a count of 0, or a
// table cut by the end unless AcceptCutTables); NextOffset is 0 when the next-directory
// field is not inside the stream, and then the directory does not count as a whole one.
bool TTIFFDirectory::ReadTable(Int64 Offset, bool Keep, DWORD& NextOffset) {
  NextOffset = 0;
  Byte b[4];
  if (Offset < 0 || !ReadAt(static_cast<UInt64>(Offset), b, 2)) return false;
  const UInt64 count = U16(b);
  if (count == 0) return false;
  const UInt64 start = static_cast<UInt64>(Offset) + 2;
  const UInt64 present = std::min<UInt64>(count, (FSize - start) / 12);
  if (present < count && !AcceptCutTables) return false;
  if (Keep) {
    std::vector<Byte> raw(static_cast<size_t>(present * 12));
    if (!ReadAt(start, raw.data(), raw.size())) return false;
    FEntries.resize(static_cast<size_t>(present));
    for (UInt64 i = 0; i < present; ++i) {
      const Byte* p = raw.data() + i * 12;
      TTIFFEntry& e = FEntries[static_cast<size_t>(i)];
      e.Tag = U16(p);
      e.Type = U16(p + 2);
      e.Count = U32(p + 4);
      std::memcpy(e.Value, p + 8, 4);
    }
  }
  if (present == count && ReadAt(start + count * 12, b, 4))
    NextOffset = U32(b);
  else
    NextOffset = DWORD(-1);  // marks a cut directory
  return true;
}

bool TTIFFDirectory::LoadIFD(Integer Index, Int64 FirstOffset, Integer& Count) {
  Count = 0;
  Clear();
  bool loaded = false;
  std::unordered_set<Int64> seen;
  Int64 at = FirstOffset;
  while (at > 0) {
    seen.insert(at);
    const bool keep = Count == Index;
    DWORD next = 0;
    if (!ReadTable(at, keep, next)) break;
    if (keep) loaded = !FEntries.empty();
    if (next == DWORD(-1)) {
      if (keep) FNext = 0;
      break;
    }
    if (keep) FNext = next;
    ++Count;
    // Only forward to a directory not visited yet: a chain linked to itself or round a loop
    // ends here instead of being walked for ever.
    const Int64 n = static_cast<Int64>(next);
    if (n < 8 || static_cast<UInt64>(n) >= FSize || seen.count(n)) break;
    at = n;
  }
  return loaded;
}

bool TTIFFDirectory::LoadAt(Int64 Offset) {
  Clear();
  DWORD next = 0;
  if (!ReadTable(Offset, true, next)) return false;
  FNext = next == DWORD(-1) ? 0 : next;
  return !FEntries.empty();
}

Integer TTIFFDirectory::FindTag(Word Tag) const {
  for (size_t i = 0; i < FEntries.size(); ++i)
    if (FEntries[i].Tag == Tag) return static_cast<Integer>(i);
  return -1;
}

const TTIFFEntry* TTIFFDirectory::Entry(Word Tag) const {
  const Integer i = FindTag(Tag);
  return i < 0 ? nullptr : &FEntries[static_cast<size_t>(i)];
}

Int64 TTIFFDirectory::GetTagValue(Word Tag, Int64 Default) const {
  const TTIFFEntry* e = Entry(Tag);
  if (!e) return Default;
  switch (e->Type) {
    case 1:
    case 6:
    case 7:
      return e->Value[0];
    case 3:
    case 8:
      return U16(e->Value);
    default:
      return U32(e->Value);
  }
}

Int64 TTIFFDirectory::GetTagItem(Word Tag, Integer Index) const {
  const TTIFFEntry* e = Entry(Tag);
  if (!e || Index < 0 || static_cast<DWORD>(Index) >= e->Count) return 0;
  const UInt64 size = e->Type == 1 ? 1 : e->Type == 3 ? 2 : (e->Type == 4 || e->Type == 13) ? 4 : 0;
  if (size == 0) return 0;
  Byte b[4];
  if (UInt64(e->Count) * size <= 4) {
    std::memcpy(b, e->Value + Index * size, static_cast<size_t>(size));
  } else if (!ReadAt(UInt64(U32(e->Value)) + UInt64(Index) * size, b, size)) {
    return 0;
  }
  return size == 1 ? b[0] : size == 2 ? U16(b) : U32(b);
}

Integer TTIFFDirectory::GetTagArray(Word Tag, std::vector<DWORD>& Values) const {
  Values.clear();
  const TTIFFEntry* e = Entry(Tag);
  if (!e || e->Count == 0) return 0;
  const UInt64 size = e->Type == 1 ? 1 : e->Type == 3 ? 2 : (e->Type == 4 || e->Type == 13) ? 4 : 0;
  if (size == 0) return 0;
  const std::vector<Byte> d = Data(*e, FSize);
  if (d.empty()) return 0;
  Values.resize(e->Count);
  for (size_t i = 0; i < Values.size(); ++i) {
    const Byte* p = d.data() + i * size;
    Values[i] = size == 1 ? p[0] : size == 2 ? U16(p) : U32(p);
  }
  return static_cast<Integer>(Values.size());
}

double TTIFFDirectory::GetRational(Word Tag, Integer Index) const {
  const TTIFFEntry* e = Entry(Tag);
  if (!e || (e->Type != 5 && e->Type != 10) || Index < 0 || static_cast<DWORD>(Index) >= e->Count) return 0;
  Byte b[8];
  if (!ReadAt(UInt64(U32(e->Value)) + UInt64(Index) * 8, b, 8)) return 0;
  const DWORD n = U32(b), m = U32(b + 4);
  if (e->Type == 10) {
    const int32_t sn = static_cast<int32_t>(n), sm = static_cast<int32_t>(m);
    return double(sn) / double(sm == 0 ? 1 : sm);
  }
  return double(n) / double(m == 0 ? 1 : m);
}

AnsiString TTIFFDirectory::GetString(Word Tag) const {
  const TTIFFEntry* e = Entry(Tag);
  if (!e || e->Count == 0) return AnsiString();
  if (e->Count <= 4) return GetInlineBytes(Tag);
  if (e->Count > MaxStringBytes) return AnsiString();
  std::vector<Byte> d(e->Count);
  if (!ReadAt(U32(e->Value), d.data(), d.size())) return AnsiString();
  size_t n = d.size();
  while (n > 0 && d[n - 1] == 0) --n;
  return AnsiString(reinterpret_cast<const char*>(d.data()), n);
}

AnsiString TTIFFDirectory::GetInlineBytes(Word Tag) const {
  const TTIFFEntry* e = Entry(Tag);
  if (!e) return AnsiString();
  AnsiString s(reinterpret_cast<const char*>(e->Value), e->Count < 4 ? e->Count : 4);
  while (!s.empty() && s.back() == '\0') s.pop_back();
  return s;
}

WideString TTIFFDirectory::GetWideString(Word Tag) const {
  const TTIFFEntry* e = Entry(Tag);
  if (!e || e->Count > MaxStringBytes) return WideString();
  const std::vector<Byte> d = Data(*e, MaxStringBytes);
  WideString out;
  for (size_t i = 0; i + 1 < d.size(); i += 2) out += static_cast<char16_t>(d[i] | d[i + 1] << 8);
  return out;
}

bool TTIFFDirectory::GetTagBlock(Word Tag, std::vector<Byte>& Block, UInt64 Limit) const {
  const TTIFFEntry* e = Entry(Tag);
  Block = e ? Data(*e, Limit) : std::vector<Byte>();
  return !Block.empty();
}

std::vector<Byte> TTIFFDirectory::Data(const TTIFFEntry& E, UInt64 Limit) const {
  const UInt64 size = UInt64(E.Count) * TIFFTypeSize(E.Type);
  if (size == 0 || size > Limit || size > FSize + 4) return {};
  std::vector<Byte> out(static_cast<size_t>(size));
  if (size <= 4) {
    std::memcpy(out.data(), E.Value, out.size());
    return out;
  }
  if (!ReadAt(U32(E.Value), out.data(), size)) return {};
  return out;
}

double TTIFFDirectory::Item(Word Tag, Integer Index, double Default) const {
  const TTIFFEntry* e = Entry(Tag);
  if (!e || Index < 0 || DWORD(Index) >= e->Count) return Default;
  const UInt64 item = TIFFTypeSize(e->Type);
  const std::vector<Byte> d = Data(*e);
  const UInt64 at = UInt64(Index) * item;
  if (d.empty() || at + item > d.size()) return Default;
  const Byte* p = d.data() + at;
  switch (e->Type) {
    case 1:
    case 7:
      return p[0];
    case 6:
      return static_cast<signed char>(p[0]);
    case 3:
      return U16(p);
    case 8:
      return static_cast<int16_t>(U16(p));
    case 4:
    case 13:
      return U32(p);
    case 9:
      return static_cast<int32_t>(U32(p));
    case 5:
    case 10: {
      const DWORD n = U32(p), m = U32(p + 4);
      if (m == 0) return 0;
      return e->Type == 5 ? double(n) / double(m) : double(static_cast<int32_t>(n)) / double(static_cast<int32_t>(m));
    }
    case 11: {
      const DWORD v = U32(p);
      float f;
      std::memcpy(&f, &v, 4);
      return std::isfinite(f) ? f : Default;
    }
    case 12: {
      const UInt64 v = Little ? UInt64(U32(p)) | UInt64(U32(p + 4)) << 32 : UInt64(U32(p)) << 32 | U32(p + 4);
      double f;
      std::memcpy(&f, &v, 8);
      return std::isfinite(f) ? f : Default;
    }
    default:
      return Default;
  }
}
