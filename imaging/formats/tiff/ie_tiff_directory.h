// The one reader of TIFF image file directories: the TIFF codec, the EXIF reader, the camera raw
// check and the probes all walk directories through it.
//
// Everything it answers comes from untrusted bytes, so every offset and count is checked against
// the bytes the stream holds before anything is read or allocated: a value that points outside
// the stream reads as absent, a table that runs past the end is refused (or keeps the entries
// that are there, when asked), and the chain of directories is followed only to offsets not seen
// before, so a chain that links to itself or loops round several directories ends instead of
// running for ever.
#pragma once

#include <vector>

#include "platform/rtl/streams.h"
#include "platform/rtl/types.h"

// Bytes of one item of a field type; type 0 counts as 1, types the format does not define as 0.
UInt64 TIFFTypeSize(Word Type);

struct TTIFFEntry {
  Word Tag = 0, Type = 0;
  DWORD Count = 0;
  Byte Value[4] = {};  // the value field as stored in the file
};

class TTIFFDirectory {
 public:
  // Offsets count from Base (the header's position); Little is the "II" byte order.
  TTIFFDirectory(TStream* Stream, bool Little, Int64 Base);

  // Texts and wide texts longer than this are not read.
  static constexpr UInt64 MaxStringBytes = 1048575;

  // Walks the chain from FirstOffset and loads directory Index of it (-1: none, only counting).
  // Count receives the number of directories in the chain. True when directory Index was loaded.
  bool LoadIFD(Integer Index, Int64 FirstOffset, Integer& Count);
  // Loads the single directory at Offset (an EXIF, GPS or sub-directory); False when it is not
  // there or holds no entry.
  bool LoadAt(Int64 Offset);
  void Clear();
  bool Loaded() const { return !FEntries.empty(); }

  // Index of the first entry with Tag, -1 when absent.
  Integer FindTag(Word Tag) const;
  const TTIFFEntry* Entry(Word Tag) const;
  const std::vector<TTIFFEntry>& Entries() const { return FEntries; }

  // The value field as a number: BYTE and SHORT take their first item, other types the whole
  // 32-bit field. Default when absent.
  Int64 GetTagValue(Word Tag, Int64 Default = 0) const;
  // Item Index of a BYTE, SHORT or LONG tag (inline or at its offset); 0 when absent, of another
  // type, beyond the count or outside the stream.
  Int64 GetTagItem(Word Tag, Integer Index) const;
  // All items of a BYTE, SHORT or LONG tag; the count (0 and no values when absent or when the
  // items do not lie inside the stream).
  Integer GetTagArray(Word Tag, std::vector<DWORD>& Values) const;
  // Item Index of a RATIONAL or SRATIONAL tag; a denominator of 0 counts as 1; 0 when absent.
  double GetRational(Word Tag, Integer Index = 0) const;
  // An ASCII text without its trailing zero bytes; inline texts of 1 to 4 bytes included.
  AnsiString GetString(Word Tag) const;
  // The Count (1 to 4) bytes of the value field in file order.
  AnsiString GetInlineBytes(Word Tag) const;
  // The tag's bytes as UTF-16 little-endian text.
  WideString GetWideString(Word Tag) const;
  // The tag's Count x type size bytes; False (Block empty) when absent or outside the stream.
  bool GetTagBlock(Word Tag, std::vector<Byte>& Block, UInt64 Limit = UInt64(1) << 30) const;

  // Typed access for metadata: the bytes of an entry (inline or at its offset; empty when
  // larger than Limit or outside the stream), and item Index of any numeric type as a number.
  std::vector<Byte> Data(const TTIFFEntry& E, UInt64 Limit = 16u << 20) const;
  double Item(Word Tag, Integer Index, double Default = 0) const;

  // Reads Count bytes at Offset (from Base); False when they do not all lie inside the stream.
  bool ReadAt(UInt64 Offset, void* Dest, UInt64 Count) const;
  Word U16(const Byte* P) const { return Little ? Word(P[0] | P[1] << 8) : Word(P[0] << 8 | P[1]); }
  DWORD U32(const Byte* P) const {
    return Little ? DWORD(P[0]) | DWORD(P[1]) << 8 | DWORD(P[2]) << 16 | DWORD(P[3]) << 24
                  : DWORD(P[0]) << 24 | DWORD(P[1]) << 16 | DWORD(P[2]) << 8 | DWORD(P[3]);
  }
  DWORD ValueField(const TTIFFEntry& E) const { return U32(E.Value); }
  // Bytes from Base to the end of the stream.
  UInt64 Size() const { return FSize; }
  TStream* Stream() const { return FStream; }
  Int64 Base() const { return FBase; }
  // Offset of the directory after the one loaded last (0 when none).
  DWORD Next() const { return FNext; }

  bool Little;
  // A table that runs past the end of the stream: refused (the default), or read as far as its
  // whole entries go (for checks that look for one tag and take what is there).
  bool AcceptCutTables = false;

 private:
  bool ReadTable(Int64 Offset, bool Keep, DWORD& NextOffset);
  TStream* FStream;
  Int64 FBase;
  UInt64 FSize;
  std::vector<TTIFFEntry> FEntries;
  DWORD FNext = 0;
};
