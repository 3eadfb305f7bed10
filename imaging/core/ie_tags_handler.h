// A raw TIFF tag directory (the EXIF maker note): the bytes as found in the file, and a table of
// its 12-byte entries that always describes them. The TIFF codec fills the stream from tag 37500
// and writes it back; nothing here interprets the tags.
#pragma once

#include <vector>

#include "platform/rtl/classes.h"
#include "platform/rtl/streams.h"

class TIETagsHandler : public TObject {
 public:
  TIETagsHandler();
  ~TIETagsHandler() override;
  AnsiString ClassName() const override { return "TIETagsHandler"; }

  // The directory bytes: a 16-bit entry count, the 12-byte entries, the data they point to.
  // Whoever replaces the contents calls ReadDirectory afterwards.
  TMemoryStream* Stream() const { return FStream; }
  // Byte order of the directory (true: little-endian, "II"); the codec sets it with the stream.
  bool LittleEndian = true;

  // Rebuilds the entry table from the stream. A count that the stream cannot hold leaves the
  // table empty: a damaged directory is refused, never read past its end.
  void ReadDirectory();
  // Empties the stream and the table.
  void Clear();
  // Makes this a copy of Source's bytes and byte order, then re-reads the directory.
  void CopyFrom(const TIETagsHandler* Source);

  Integer EntryCount() const { return FEntryCount; }
  // The entry as stored (tag, type, count, value or offset), unconverted.
  const Byte* Entry(Integer Index) const { return FEntries.data() + static_cast<size_t>(Index) * 12; }
  Word EntryTag(Integer Index) const;

 private:
  Word Read16(const Byte* P) const;
  TMemoryStream* FStream = nullptr;
  std::vector<Byte> FEntries;
  Integer FEntryCount = 0;
  Int64 FDataOffset = 0;
  Int64 FNextOffset = 0;
};
