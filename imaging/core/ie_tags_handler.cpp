#include "imaging/core/ie_tags_handler.h"

#include <cstring>

TIETagsHandler::TIETagsHandler() : FStream(new TMemoryStream) {}

TIETagsHandler::~TIETagsHandler() { delete FStream; }

Word TIETagsHandler::Read16(const Byte* P) const {
  return LittleEndian ? static_cast<Word>(P[0] | (P[1] << 8)) : static_cast<Word>((P[0] << 8) | P[1]);
}

Word TIETagsHandler::EntryTag(Integer Index) const { return Read16(Entry(Index)); }

void TIETagsHandler::ReadDirectory() {
  FEntries.clear();
  FEntryCount = 0;
  FDataOffset = 0;
  FNextOffset = 0;
  Int64 size = FStream->Size();
  FStream->SetPosition(0);
  if (size < 2) return;
  const Byte* p = static_cast<const Byte*>(FStream->Memory());
  Integer count = Read16(p);
  if (2 + Int64(count) * 12 > size) return;
  FEntries.assign(p + 2, p + 2 + static_cast<size_t>(count) * 12);
  FEntryCount = count;
  FDataOffset = 2 + Int64(count) * 12;
}

void TIETagsHandler::Clear() {
  FStream->Clear();
  ReadDirectory();
}

void TIETagsHandler::CopyFrom(const TIETagsHandler* Source) {
  FStream->Clear();
  if (Source && Source != this) {
    LittleEndian = Source->LittleEndian;
    Int64 n = Source->FStream->Size();
    if (n > 0) FStream->WriteBuffer(Source->FStream->Memory(), n);
  } else if (Source == this) {
    return;
  }
  ReadDirectory();
}
