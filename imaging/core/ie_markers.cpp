#include "imaging/core/ie_markers.h"

#include <cstdlib>
#include <cstring>

#include "imaging/core/ie_exif.h"
#include "imaging/core/ie_quicksort.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/sysutils.h"

namespace {

[[noreturn]] void IndexError(Integer Index) { throw EListError(Format("List index out of bounds (%d)", Index)); }

constexpr Byte kApp1 = 0xE1;
constexpr Byte kApp2 = 0xE2;

bool IsICCChunk(const std::vector<Byte>& Payload) {
  static const char kSig[] = "ICC_PROFILE";  // with its zero byte: 12 bytes
  return Payload.size() > 13 && std::memcmp(Payload.data(), kSig, sizeof kSig) == 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TIEMarkerList

TIEMarkerList::~TIEMarkerList() { Clear(); }

void TIEMarkerList::CheckIndex(Integer Index) const {
  if (Index < 0 || Index >= Count()) IndexError(Index);
}

const Byte* TIEMarkerList::MarkerData(Integer Index) const {
  CheckIndex(Index);
  return FData[Index].data();
}

Byte TIEMarkerList::MarkerType(Integer Index) const {
  CheckIndex(Index);
  return FTypes[Index];
}

Word TIEMarkerList::MarkerLength(Integer Index) const {
  CheckIndex(Index);
  return static_cast<Word>(FData[Index].size());
}

Integer TIEMarkerList::IndexOf(Byte Type) const {
  for (Integer i = 0; i < Count(); ++i)
    if (FTypes[i] == Type) return i;
  return -1;
}

Integer TIEMarkerList::AddMarker(Byte Type, const void* Data, Word Length) {
  const Byte* p = static_cast<const Byte*>(Data);
  FData.emplace_back(p && Length ? std::vector<Byte>(p, p + Length) : std::vector<Byte>(Length, 0));
  FTypes.push_back(Type);
  return Count() - 1;
}

void TIEMarkerList::SetMarker(Integer Index, Byte Type, const void* Data, Word Length) {
  CheckIndex(Index);
  const Byte* p = static_cast<const Byte*>(Data);
  FData[Index] = p && Length ? std::vector<Byte>(p, p + Length) : std::vector<Byte>(Length, 0);
  FTypes[Index] = Type;
}

void TIEMarkerList::DeleteMarker(Integer Index) {
  CheckIndex(Index);
  FData.erase(FData.begin() + Index);
  FTypes.erase(FTypes.begin() + Index);
}

void TIEMarkerList::Clear() {
  FData.clear();
  FTypes.clear();
}

void TIEMarkerList::Assign(const TIEMarkerList* Source) {
  if (!Source || Source == this) return;
  Clear();
  for (Integer i = 0; i < Source->Count(); ++i) {
    FData.push_back(Source->FData[i]);
    FTypes.push_back(Source->FTypes[i]);
  }
}

Integer TIEMarkerList::CompareMarkers(Integer I, Integer J) const {
  CheckIndex(I);
  CheckIndex(J);
  if (FTypes[I] == kApp2 && FTypes[J] == kApp2 && IsICCChunk(FData[I]) && IsICCChunk(FData[J]))
    return Integer(FData[I][12]) - Integer(FData[J][12]);
  return Integer(FTypes[I]) - Integer(FTypes[J]);
}

void TIEMarkerList::SwapMarkers(Integer I, Integer J) {
  CheckIndex(I);
  CheckIndex(J);
  std::swap(FData[I], FData[J]);
  std::swap(FTypes[I], FTypes[J]);
}

void TIEMarkerList::Sort() {
  IEQuickSort(
      Count(), [this](Integer I, Integer J) { return CompareMarkers(I, J); },
      [this](Integer I, Integer J) { SwapMarkers(I, J); });
  Integer first = IndexOf(kApp1);
  if (first < 0) return;
  for (Integer i = first + 1; i < Count(); ++i)
    if (FTypes[i] == kApp1 && IEIsEXIFBlock(FData[i].data(), static_cast<Integer>(FData[i].size())))
      SwapMarkers(first, i);
}

// ---------------------------------------------------------------------------------------------
// TIEIPTCInfoList

void TIEIPTCInfoList::CheckIndex(Integer Index) const {
  if (Index < 0 || Index >= Count()) IndexError(Index);
}

Integer TIEIPTCInfoList::GetRecord(Integer Index) const {
  CheckIndex(Index);
  return FItems[Index].Record;
}

Integer TIEIPTCInfoList::GetDataSet(Integer Index) const {
  CheckIndex(Index);
  return FItems[Index].DataSet;
}

const Byte* TIEIPTCInfoList::GetData(Integer Index) const {
  CheckIndex(Index);
  return FItems[Index].Data.data();
}

Integer TIEIPTCInfoList::GetDataLength(Integer Index) const {
  CheckIndex(Index);
  return static_cast<Integer>(FItems[Index].Data.size());
}

Integer TIEIPTCInfoList::AddBufferItem(Integer Record, Integer DataSet, const void* Data, Integer Length) {
  TItem item{Record, DataSet, {}};
  if (Length > 0 && Data) {
    const Byte* p = static_cast<const Byte*>(Data);
    item.Data.assign(p, p + Length);
  }
  FItems.push_back(std::move(item));
  UserChanged = true;
  return Count() - 1;
}

void TIEIPTCInfoList::Clear() {
  FItems.clear();
  UserChanged = true;
}

void TIEIPTCInfoList::Assign(const TIEIPTCInfoList* Source) {
  if (!Source || Source == this) return;
  Clear();
  for (const TItem& item : Source->FItems) FItems.push_back(item);
  UserChanged = true;
}

void TIEIPTCInfoList::SaveToBuffer(void*& Buffer, Integer& Length, bool PhotoshopHeader) const {
  Buffer = nullptr;
  Length = 0;
  if (FItems.empty()) return;
  std::vector<Byte> out;
  auto put32 = [&out](UInt64 v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<Byte>(v >> s));
  };
  size_t sizeField = 0;
  if (PhotoshopHeader) {
    static const char kHead[] = "Photoshop 3.0";  // written with its zero byte
    out.insert(out.end(), kHead, kHead + sizeof kHead);
    out.insert(out.end(), {'8', 'B', 'I', 'M', 0x04, 0x04, 0x00, 0x00});
    sizeField = out.size();
    put32(0);
  } else {
    out.insert(out.end(), {0x1C, 0x02, 0x00, 0x00, 0x02, 0x00, 0x02});
  }
  size_t itemsStart = out.size();
  for (const TItem& item : FItems) {
    if ((item.Record == 2 && item.DataSet == 0) || item.Data.empty()) continue;
    out.push_back(0x1C);
    out.push_back(static_cast<Byte>(item.Record));
    out.push_back(static_cast<Byte>(item.DataSet));
    size_t n = item.Data.size();
    if (n < 32768) {
      out.push_back(static_cast<Byte>(n >> 8));
      out.push_back(static_cast<Byte>(n));
    } else {
      out.push_back(0x80);
      out.push_back(0x04);
      put32(n);
    }
    out.insert(out.end(), item.Data.begin(), item.Data.end());
  }
  if (PhotoshopHeader) {
    UInt64 n = out.size() - itemsStart;
    for (int i = 0; i < 4; ++i) out[sizeField + i] = static_cast<Byte>(n >> (24 - 8 * i));
  }
  if (out.size() % 2) out.push_back(0);
  if (out.size() > 0x7FFFFFFF) throw EOutOfMemory("IPTC block too large");
  Buffer = std::malloc(out.size());
  if (!Buffer) throw EOutOfMemory("Out of memory");
  std::memcpy(Buffer, out.data(), out.size());
  Length = static_cast<Integer>(out.size());
}

bool TIEIPTCInfoList::LoadFromBuffer(const void* Buffer, Integer Length) {
  Clear();
  if (Length <= 0 || !Buffer) return false;
  const Byte* p = static_cast<const Byte*>(Buffer);
  const Int64 size = Length;
  Int64 pos = 0;
  if (size >= 13 && std::memcmp(p, "Photoshop 3.0", 13) == 0) {
    static const Byte kRes[6] = {'8', 'B', 'I', 'M', 0x04, 0x04};
    for (Int64 i = 0; i + 6 <= size; ++i)
      if (std::memcmp(p + i, kRes, 6) == 0) {
        pos = i + 6;
        break;
      }
  }
  while (pos < size && p[pos] != 0x1C) ++pos;
  while (pos + 1 < size && p[pos + 1] == 0x1C) ++pos;
  bool any = false;
  // Every length is checked against what is left of the block before the data is touched.
  while (pos + 5 < size && p[pos] == 0x1C) {
    Integer record = p[pos + 1];
    Integer dataset = p[pos + 2];
    Int64 length;
    Int64 data;
    if (p[pos + 3] & 0x80) {
      // Extended form: the low 15 bits give the size of the length field that follows.
      Int64 fieldSize = ((p[pos + 3] & 0x7F) << 8) | p[pos + 4];
      if (fieldSize < 1 || fieldSize > 4 || pos + 5 + fieldSize > size) break;
      length = 0;
      for (Int64 i = 0; i < fieldSize; ++i) length = (length << 8) | p[pos + 5 + i];
      data = pos + 5 + fieldSize;
    } else {
      length = (Int64(p[pos + 3]) << 8) | p[pos + 4];
      data = pos + 5;
    }
    if (length > size - data) break;
    AddBufferItem(record, dataset, p + data, static_cast<Integer>(length));
    any = true;
    pos = data + length;
  }
  UserChanged = false;
  return any;
}
