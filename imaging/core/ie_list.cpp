#include "imaging/core/ie_list.h"

#include <cstdlib>
#include <cstring>

#include "platform/rtl/exceptions.h"

TIEList::TIEList() { ClearItems(); }

TIEList::~TIEList() { std::free(FData); }

void TIEList::ClearItems() {
  FCount = 0;
  std::free(FData);
  FData = nullptr;
  Changed = false;
}

void TIEList::Clear() { ClearItems(); }

void TIEList::Reallocate(Integer Value) {
  if (Value < 0) throw EListError("List count out of bounds (" + std::to_string(Value) + ")");
  Int64 bytes = Int64(Value) * Int64(FItemSize);
  Byte* block = nullptr;
  if (bytes > 0) {
    if (static_cast<UInt64>(bytes) > SIZE_MAX / 2) throw EOutOfMemory("Out of memory");
    block = static_cast<Byte*>(std::malloc(static_cast<size_t>(bytes)));
    if (!block) throw EOutOfMemory("Out of memory");
    Integer keep = Value < FCount ? Value : FCount;
    if (keep > 0 && FData) std::memcpy(block, FData, static_cast<size_t>(keep) * static_cast<size_t>(FItemSize));
  }
  std::free(FData);
  FData = block;
  FCount = Value;
}

void TIEList::SetCount(Integer Value) {
  Reallocate(Value);
  Changed = true;
}

Integer TIEList::AddItem(const void* Item) {
  SetCount(FCount + 1);
  if (FItemSize > 0) std::memcpy(GetItemAddress(FCount - 1), Item, static_cast<size_t>(FItemSize));
  Changed = true;
  return FCount - 1;
}

void TIEList::Delete(Integer Index) {
  if (Index < 0 || Index >= FCount) return;
  size_t size = static_cast<size_t>(FItemSize);
  size_t tail = static_cast<size_t>(FCount - Index - 1) * size;
  if (tail) std::memmove(FData + static_cast<size_t>(Index) * size, FData + static_cast<size_t>(Index + 1) * size, tail);
  Reallocate(FCount - 1);
  Changed = true;
}

void TIEList::Assign(TIEList* Source) {
  if (!Source || Source == this) return;
  Int64 bytes = Int64(Source->FCount) * Int64(Source->FItemSize);
  Byte* block = nullptr;
  if (bytes > 0) {
    block = static_cast<Byte*>(std::malloc(static_cast<size_t>(bytes)));
    if (!block) throw EOutOfMemory("Out of memory");
    std::memcpy(block, Source->FData, static_cast<size_t>(bytes));
  }
  std::free(FData);
  FData = block;
  FCount = Source->FCount;
  FItemSize = Source->FItemSize;
  Changed = Source->Changed;
}

void TIEDoubleList::Clear() {
  ClearItems();
  FItemSize = sizeof(double);
  RangeMin = RangeMax = RangeStep = CurrentValue = 0;
}

void TIEDoubleList::Assign(TIEList* Source) {
  TIEList::Assign(Source);
  if (auto* s = dynamic_cast<TIEDoubleList*>(Source)) {
    RangeMin = s->RangeMin;
    RangeMax = s->RangeMax;
    RangeStep = s->RangeStep;
    CurrentValue = s->CurrentValue;
  }
}

void TIEIntegerList::Clear() {
  ClearItems();
  FItemSize = sizeof(Integer);
  RangeMin = RangeMax = RangeStep = CurrentValue = 0;
}

void TIEIntegerList::Assign(TIEList* Source) {
  TIEList::Assign(Source);
  if (auto* s = dynamic_cast<TIEIntegerList*>(Source)) {
    RangeMin = s->RangeMin;
    RangeMax = s->RangeMax;
    RangeStep = s->RangeStep;
    CurrentValue = s->CurrentValue;
  }
}
