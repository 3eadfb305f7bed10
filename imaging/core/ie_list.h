// Growable arrays of fixed-size items for short lists (capability values of the scanner
// parameters, outline points of the magic wand). Every append and delete reallocates the
// whole block, which is fine at those sizes.
#pragma once

#include "platform/rtl/classes.h"

class TIEList : public TObject {
 public:
  TIEList();
  ~TIEList() override;
  AnsiString ClassName() const override { return "TIEList"; }

  virtual void SetCount(Integer Value);
  // An index outside 0 .. Count - 1 is ignored.
  virtual void Delete(Integer Index);
  virtual void Clear();
  virtual void Assign(TIEList* Source);

  Integer AddItem(const void* Item);
  // No range check: callers stay within 0 .. Count - 1.
  void* GetItemAddress(Integer Index) const { return FData + static_cast<size_t>(Index) * static_cast<size_t>(FItemSize); }

  Integer Count() const { return FCount; }
  Integer ItemSize() const { return FItemSize; }
  bool Changed = false;

 protected:
  // Resizes the block keeping the leading items; raises EOutOfMemory when it cannot be had.
  void Reallocate(Integer Value);
  void ClearItems();

  Integer FCount = 0;
  Integer FItemSize = 0;
  Byte* FData = nullptr;
};

// Item size 8, with the range and current value of a numeric capability.
class TIEDoubleList : public TIEList {
 public:
  TIEDoubleList() { Clear(); }
  AnsiString ClassName() const override { return "TIEDoubleList"; }
  void Clear() override;
  void Assign(TIEList* Source) override;
  double GetItem(Integer Index) const { return *static_cast<const double*>(GetItemAddress(Index)); }
  Integer Add(double Value) { return AddItem(&Value); }

  double RangeMin = 0;
  double RangeMax = 0;
  double RangeStep = 0;
  double CurrentValue = 0;
};

// Item size 4, with the range and current value of a numeric capability.
class TIEIntegerList : public TIEList {
 public:
  TIEIntegerList() { Clear(); }
  AnsiString ClassName() const override { return "TIEIntegerList"; }
  void Clear() override;
  void Assign(TIEList* Source) override;
  Integer GetItem(Integer Index) const { return *static_cast<const Integer*>(GetItemAddress(Index)); }
  Integer Add(Integer Value) { return AddItem(&Value); }

  Integer RangeMin = 0;
  Integer RangeMax = 0;
  Integer RangeStep = 0;
  Integer CurrentValue = 0;
};

class TIERecordList : public TIEList {
 public:
  explicit TIERecordList(Integer ItemSize) { FItemSize = ItemSize < 0 ? 0 : ItemSize; }
  AnsiString ClassName() const override { return "TIERecordList"; }
  void* GetItem(Integer Index) const { return GetItemAddress(Index); }
};
