// The tag list of one TIFF directory being written (little-endian): entries are collected as
// they are added, values that do not fit the entry's four bytes are written to the stream at
// once (at an even position) and the entry keeps their offset; the directory itself is written
// last, its entries sorted by tag. Offsets count from Base, the stream position where the TIFF
// structure starts, so that the structure reads the same wherever it is stored; they must fit
// 32 bits.
#pragma once

#include <vector>

#include "platform/rtl/streams.h"
#include "platform/rtl/types.h"

// TIFF field types as the writer uses them.
enum : Word {
  tftByte = 1,
  tftAscii = 2,
  tftShort = 3,
  tftLong = 4,
  tftRational = 5,
  tftUndefined = 7,
  tftSRational = 10,
};

struct TTIFFWriteEntry {
  Word Tag = 0;
  Word Type = 0;
  DWORD Count = 0;
  Byte Value[4] = {};
};

class TTIFFTagList {
 public:
  // Aborting is raised by a short write or an offset beyond 32 bits; never lowered.
  TTIFFTagList(TStream* Stream, bool& Aborting, Int64 Base = 0) : FStream(Stream), FAborting(Aborting), FBase(Base) {}
  Int64 Base() const { return FBase; }
  // The stream's position as an offset of this structure.
  DWORD Offset() { return Offset32(FStream, FAborting, FBase); }

  void AddLong(Word Tag, DWORD Value);
  void AddShort(Word Tag, Word Value);
  void AddByte(Word Tag, Byte Value);
  // ASCII with a terminating zero (count = length + 1); nothing for an empty text.
  void AddAscii(Word Tag, const AnsiString& Text);
  // Bytes of type Type (BYTE or UNDEFINED), count = their number; nothing when empty.
  void AddBytes(Word Tag, Word Type, const void* Data, DWORD Count);
  // UTF-16 little-endian with a terminating zero character, as BYTEs; nothing when empty.
  void AddWideBytes(Word Tag, const WideString& Text);
  void AddRational(Word Tag, DWORD Numerator, DWORD Denominator);
  void AddSRational(Word Tag, Integer Numerator, Integer Denominator);
  // Numerator/denominator pairs, one after the other; Signed gives SRATIONAL.
  void AddRationals(Word Tag, const std::vector<DWORD>& Pairs, bool Signed = false);
  void AddShortArray(Word Tag, const std::vector<Word>& Values);
  void AddLongArray(Word Tag, const std::vector<DWORD>& Values);
  // Any value: Bytes bytes of little-endian data for Count items of Type.
  void AddRaw(Word Tag, Word Type, DWORD Count, const void* Data, size_t Bytes);

  // An entry whose value the caller has already written at Offset.
  void AddAt(Word Tag, Word Type, DWORD Count, DWORD Offset);

  bool Has(Word Tag) const;
  bool Empty() const { return FEntries.empty(); }

  // Writes one zero byte when the stream stands at an odd offset of the structure.
  static void WordAlign(TStream* Stream, bool& Aborting, Int64 Base);
  void Align() { WordAlign(FStream, FAborting, FBase); }
  // The stream position less Base as a 32-bit offset; raises Aborting (and answers 0) beyond.
  static DWORD Offset32(TStream* Stream, bool& Aborting, Int64 Base);

  // Aligns, writes the directory (count, entries sorted by tag, Next) and answers its offset.
  DWORD WriteDirectory(DWORD Next);

 private:
  TStream* FStream;
  bool& FAborting;
  Int64 FBase;
  std::vector<TTIFFWriteEntry> FEntries;
};
