#include "imaging/core/ie_hash.h"

namespace {
// Beyond this the slot arrays alone would take gigabytes; callers ask for 12 to 16 bits.
constexpr Integer kMaxBits = 28;
}  // namespace

THash1::THash1(Integer Bits) : FBits(Bits < 0 ? 0 : (Bits > kMaxBits ? kMaxBits : Bits)) {
  size_t slots = size_t(1) << FBits;
  FMask = static_cast<NativeUInt>(slots - 1);
  FKeys.assign(slots, 0);
  FState.assign(slots, kEmpty);
  FData.assign(slots, nullptr);
}

THash1::~THash1() {
  for (size_t i = 0; i < FState.size(); ++i) {
    if (FState[i] != kChain) continue;
    THash1Item* item = reinterpret_cast<THash1Item*>(FKeys[i]);
    while (item) {
      THash1Item* next = item->Next;
      delete item;
      item = next;
    }
  }
}

bool THash1::Insert(NativeUInt Key, Integer& Slot, THash1Item*& Item) {
  Slot = HashIndex(Key);
  Item = nullptr;
  size_t s = static_cast<size_t>(Slot);
  switch (FState[s]) {
    case kEmpty:
      FKeys[s] = Key;
      FState[s] = kSingle;
      break;
    case kSingle: {
      if (FKeys[s] == Key) return false;
      Item = new THash1Item;
      Item->Key = Key;
      THash1Item* head = new THash1Item;
      head->Key = FKeys[s];
      head->Next = Item;
      head->Data = FData[s];
      FKeys[s] = reinterpret_cast<NativeUInt>(head);
      FState[s] = kChain;
      break;
    }
    default: {
      THash1Item* last = reinterpret_cast<THash1Item*>(FKeys[s]);
      for (THash1Item* it = last; it; it = it->Next) {
        if (it->Key == Key) return false;
        last = it;
      }
      Item = new THash1Item;
      Item->Key = Key;
      last->Next = Item;
      break;
    }
  }
  ++FCount;
  return true;
}

bool THash1::Add(NativeUInt Key) {
  Integer slot;
  THash1Item* item;
  return Insert(Key, slot, item);
}
