// A set of pointer-sized keys, used to count the distinct colours of an image (packed colours
// are the keys). Slots hold a single key directly and grow a chain only on a collision.
#pragma once

#include <vector>

#include "platform/rtl/classes.h"

class THash1Item : public TObject {
 public:
  NativeUInt Key = 0;
  THash1Item* Next = nullptr;
  Pointer Data = nullptr;
};

class THash1 : public TObject {
 public:
  explicit THash1(Integer Bits);
  ~THash1() override;
  AnsiString ClassName() const override { return "THash1"; }

  Integer HashIndex(NativeUInt Key) const { return static_cast<Integer>(Key & FMask); }
  // False when Key is present already. Item is the chain item made for Key, nil when the key
  // went straight into its slot.
  bool Insert(NativeUInt Key, Integer& Slot, THash1Item*& Item);
  bool Add(NativeUInt Key);

  Integer Count() const { return FCount; }
  Integer Bits() const { return FBits; }
  // The data pointer kept for the first key stored in a slot.
  Pointer SlotData(Integer Slot) const { return FData[static_cast<size_t>(Slot)]; }
  void SetSlotData(Integer Slot, Pointer Value) { FData[static_cast<size_t>(Slot)] = Value; }

 private:
  enum : Byte { kEmpty = 0, kSingle = 1, kChain = 2 };
  Integer FBits;
  NativeUInt FMask;
  std::vector<NativeUInt> FKeys;          // the key (state 1) or the chain head (state 2)
  std::vector<Byte> FState;
  std::vector<Pointer> FData;
  Integer FCount = 0;
};
