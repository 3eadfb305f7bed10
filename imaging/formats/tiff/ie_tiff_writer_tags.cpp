#include "imaging/formats/tiff/ie_tiff_writer_tags.h"

#include <algorithm>
#include <cstring>

#include "imaging/core/ie_mask.h"
#include "imaging/formats/ie_le_bytes.h"

void TTIFFTagList::WordAlign(TStream* Stream, bool& Aborting, Int64 Base) {
  if ((Stream->Position() - Base) & 1) {
    const Byte zero = 0;
    IESafeStreamWrite(Stream, Aborting, &zero, 1);
  }
}

DWORD TTIFFTagList::Offset32(TStream* Stream, bool& Aborting, Int64 Base) {
  const Int64 pos = Stream->Position() - Base;
  if (pos < 0 || pos > Int64(0xFFFFFFFF)) {
    Aborting = true;
    return 0;
  }
  return static_cast<DWORD>(pos);
}

void TTIFFTagList::AddRaw(Word Tag, Word Type, DWORD Count, const void* Data, size_t Bytes) {
  TTIFFWriteEntry e;
  e.Tag = Tag;
  e.Type = Type;
  e.Count = Count;
  if (Bytes <= 4) {
    if (Bytes) std::memcpy(e.Value, Data, Bytes);
  } else {
    if (Bytes > 0x7FFFFFFF) {
      FAborting = true;
      return;
    }
    Align();
    IEPutLE32(e.Value, Offset());
    IESafeStreamWrite(FStream, FAborting, Data, static_cast<Integer>(Bytes));
  }
  FEntries.push_back(e);
}

void TTIFFTagList::AddLong(Word Tag, DWORD Value) {
  Byte b[4];
  IEPutLE32(b, Value);
  AddRaw(Tag, tftLong, 1, b, 4);
}

void TTIFFTagList::AddShort(Word Tag, Word Value) {
  Byte b[2];
  IEPutLE16(b, Value);
  AddRaw(Tag, tftShort, 1, b, 2);
}

void TTIFFTagList::AddByte(Word Tag, Byte Value) { AddRaw(Tag, tftByte, 1, &Value, 1); }

void TTIFFTagList::AddAscii(Word Tag, const AnsiString& Text) {
  if (Text.empty()) return;
  // The terminating zero is part of the value: readers that go by it stop at the right place.
  AddRaw(Tag, tftAscii, static_cast<DWORD>(Text.size() + 1), Text.c_str(), Text.size() + 1);
}

void TTIFFTagList::AddBytes(Word Tag, Word Type, const void* Data, DWORD Count) {
  if (Count == 0) return;
  AddRaw(Tag, Type, Count, Data, Count);
}

void TTIFFTagList::AddWideBytes(Word Tag, const WideString& Text) {
  if (Text.empty()) return;
  std::vector<Byte> b(Text.size() * 2 + 2, 0);
  for (size_t i = 0; i < Text.size(); ++i) IEPutLE16(&b[2 * i], Text[i]);
  AddRaw(Tag, tftByte, static_cast<DWORD>(b.size()), b.data(), b.size());
}

void TTIFFTagList::AddRational(Word Tag, DWORD Numerator, DWORD Denominator) {
  AddRationals(Tag, {Numerator, Denominator});
}

void TTIFFTagList::AddSRational(Word Tag, Integer Numerator, Integer Denominator) {
  AddRationals(Tag, {static_cast<DWORD>(Numerator), static_cast<DWORD>(Denominator)}, true);
}

void TTIFFTagList::AddRationals(Word Tag, const std::vector<DWORD>& Pairs, bool Signed) {
  std::vector<Byte> b(Pairs.size() * 4);
  for (size_t i = 0; i < Pairs.size(); ++i) IEPutLE32(&b[4 * i], Pairs[i]);
  AddRaw(Tag, Signed ? tftSRational : tftRational, static_cast<DWORD>(Pairs.size() / 2), b.data(), b.size());
}

void TTIFFTagList::AddShortArray(Word Tag, const std::vector<Word>& Values) {
  std::vector<Byte> b(Values.size() * 2);
  for (size_t i = 0; i < Values.size(); ++i) IEPutLE16(&b[2 * i], Values[i]);
  AddRaw(Tag, tftShort, static_cast<DWORD>(Values.size()), b.data(), b.size());
}

void TTIFFTagList::AddLongArray(Word Tag, const std::vector<DWORD>& Values) {
  std::vector<Byte> b(Values.size() * 4);
  for (size_t i = 0; i < Values.size(); ++i) IEPutLE32(&b[4 * i], Values[i]);
  AddRaw(Tag, tftLong, static_cast<DWORD>(Values.size()), b.data(), b.size());
}

void TTIFFTagList::AddAt(Word Tag, Word Type, DWORD Count, DWORD Offset) {
  TTIFFWriteEntry e;
  e.Tag = Tag;
  e.Type = Type;
  e.Count = Count;
  IEPutLE32(e.Value, Offset);
  FEntries.push_back(e);
}

bool TTIFFTagList::Has(Word Tag) const {
  return std::any_of(FEntries.begin(), FEntries.end(), [Tag](const TTIFFWriteEntry& e) { return e.Tag == Tag; });
}

DWORD TTIFFTagList::WriteDirectory(DWORD Next) {
  Align();
  const DWORD at = Offset();
  // Stable: of two entries with one tag the first added stays first, so what a reader that
  // takes the first finds is what was meant.
  std::stable_sort(FEntries.begin(), FEntries.end(),
                   [](const TTIFFWriteEntry& a, const TTIFFWriteEntry& b) { return a.Tag < b.Tag; });
  std::vector<Byte> b(2 + FEntries.size() * 12 + 4);
  IEPutLE16(b.data(), static_cast<Integer>(FEntries.size()));
  for (size_t i = 0; i < FEntries.size(); ++i) {
    Byte* p = &b[2 + 12 * i];
    IEPutLE16(p, FEntries[i].Tag);
    IEPutLE16(p + 2, FEntries[i].Type);
    IEPutLE32(p + 4, FEntries[i].Count);
    std::memcpy(p + 8, FEntries[i].Value, 4);
  }
  IEPutLE32(&b[b.size() - 4], Next);
  IESafeStreamWrite(FStream, FAborting, b.data(), static_cast<Integer>(b.size()));
  return at;
}
