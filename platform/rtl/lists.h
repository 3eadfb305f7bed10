// A list of untyped pointers and the string lists (strings with an object per line).
#pragma once

#include <functional>
#include <vector>

#include "platform/rtl/classes.h"

class TStream;

// Negative when Item1 sorts before Item2, zero when equal, positive after.
using TListSortCompare = std::function<int(Pointer Item1, Pointer Item2)>;

// Holds pointers only: the items are never freed by the list. Every index is checked;
// a bad one raises EListError "List index out of bounds (%d)".
class TList : public TObject {
 public:
  TList() = default;
  ~TList() override;

  Integer Add(Pointer Item);
  void Insert(Integer Index, Pointer Item);
  void Delete(Integer Index);
  // Removes the first occurrence; answers its former index or -1.
  Integer Remove(Pointer Item);
  // Removes the first occurrence and answers it (nil when absent).
  Pointer Extract(Pointer Item);
  Integer IndexOf(Pointer Item) const;
  virtual void Clear();

  Pointer Items(Integer Index) const;
  void SetItems(Integer Index, Pointer Item);
  Pointer operator[](Integer Index) const { return Items(Index); }
  Pointer First() const;
  Pointer Last() const;

  Integer Count() const { return static_cast<Integer>(FItems.size()); }
  // Growing fills with nil; raises EListError "List count out of bounds (%d)" when negative.
  void SetCount(Integer NewCount);
  Integer Capacity() const { return static_cast<Integer>(FItems.capacity()); }
  // Raises EListError "List capacity out of bounds (%d)" below Count.
  void SetCapacity(Integer NewCapacity);

  void Exchange(Integer Index1, Integer Index2);
  // Moves the item at CurIndex so it ends up at NewIndex.
  void Move(Integer CurIndex, Integer NewIndex);
  // Keeps items the compare function finds equal in their present order.
  void Sort(const TListSortCompare& Compare);

  // Direct access to the storage, valid until the list changes.
  Pointer* List() { return FItems.data(); }

 private:
  void CheckIndex(Integer Index) const;
  std::vector<Pointer> FItems;
};

// Lines of text with an object pointer per line (never owned). The text of the list is every
// line followed by CR LF; "name=value" lines give Names and Values.
class TStrings : public TPersistent {
 public:
  ~TStrings() override;

  Integer Count() const { return GetCount(); }
  AnsiString Strings(Integer Index) const { return Get(Index); }
  AnsiString operator[](Integer Index) const { return Get(Index); }
  void SetStrings(Integer Index, const AnsiString& S) { Put(Index, S); }
  TObject* Objects(Integer Index) const { return GetObject(Index); }
  void SetObjects(Integer Index, TObject* AObject) { PutObject(Index, AObject); }

  virtual Integer Add(const AnsiString& S);
  virtual Integer AddObject(const AnsiString& S, TObject* AObject);
  void Append(const AnsiString& S) { Add(S); }
  void AddStrings(TStrings* Source);
  virtual void Insert(Integer Index, const AnsiString& S) = 0;
  void InsertObject(Integer Index, const AnsiString& S, TObject* AObject);
  virtual void Delete(Integer Index) = 0;
  virtual void Clear() = 0;
  virtual void Exchange(Integer Index1, Integer Index2);
  virtual void Move(Integer CurIndex, Integer NewIndex);

  // Index of the first line equal to S without regard to case, or -1.
  virtual Integer IndexOf(const AnsiString& S) const;
  // Index of the first "name=value" line whose name equals Name without regard to case, or -1.
  Integer IndexOfName(const AnsiString& Name) const;
  Integer IndexOfObject(TObject* AObject) const;

  // The part before the first "=" of line Index ("" when the line has no "=").
  AnsiString Names(Integer Index) const;
  // The part after the first "=" of the line named Name ("" when there is none).
  AnsiString Values(const AnsiString& Name) const;
  // Replaces the value of the named line, appends "Name=Value" when absent, and deletes the
  // line when Value is empty.
  void SetValues(const AnsiString& Name, const AnsiString& Value);
  AnsiString ValueFromIndex(Integer Index) const;

  // Every line followed by CR LF.
  virtual AnsiString Text() const;
  // Replaces the lines; CR LF, LF and CR each end a line. A final line ending adds no line.
  virtual void SetText(const AnsiString& Value);
  // Lines separated by commas; a line holding a space, control character, comma or double
  // quote (or an empty line) is written in double quotes with inner quotes doubled.
  AnsiString CommaText() const;
  // Reads that form back; unquoted spaces also separate lines.
  void SetCommaText(const AnsiString& Value);

  // Bytes of the file or stream are taken as the text (a leading UTF-8 byte order mark is
  // dropped); saving writes Text() as it is.
  virtual void LoadFromFile(const AnsiString& FileName);
  virtual void LoadFromStream(TStream* Stream);
  virtual void SaveToFile(const AnsiString& FileName) const;
  virtual void SaveToStream(TStream* Stream) const;

  // Changes between BeginUpdate and the matching EndUpdate report one change at the end.
  void BeginUpdate();
  void EndUpdate();
  Integer UpdateCount() const { return FUpdateCount; }

  void Assign(TPersistent* Source) override;
  bool Equals(const TStrings* Other) const;

 protected:
  virtual AnsiString Get(Integer Index) const = 0;
  virtual Integer GetCount() const = 0;
  virtual TObject* GetObject(Integer Index) const;
  virtual void Put(Integer Index, const AnsiString& S);
  virtual void PutObject(Integer Index, TObject* AObject);
  // Called with true when the first BeginUpdate starts and false when the last EndUpdate ends.
  virtual void SetUpdateState(bool Updating);
  // Compares two lines the way IndexOf does.
  virtual int CompareStrings(const AnsiString& S1, const AnsiString& S2) const;

 private:
  Integer FUpdateCount = 0;
};

enum TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList;
using TStringListSortCompare = std::function<int(TStringList* List, Integer Index1, Integer Index2)>;

// The string list. When Sorted, lines are kept in order without regard to case, Add finds
// their place, and Duplicates decides what adding an existing line does: dupIgnore keeps the
// list as it is, dupAccept adds it, dupError raises EStringListError "String list does not
// allow duplicates". Insert and SetStrings raise EStringListError "Operation not allowed on
// sorted list" on a sorted list. Bad indexes raise EStringListError
// "List index out of bounds (%d)".
class TStringList : public TStrings {
 public:
  TStringList() = default;
  ~TStringList() override;

  Integer Add(const AnsiString& S) override;
  Integer AddObject(const AnsiString& S, TObject* AObject) override;
  void Insert(Integer Index, const AnsiString& S) override;
  void Delete(Integer Index) override;
  void Clear() override;
  void Exchange(Integer Index1, Integer Index2) override;
  // Raises EStringListError "Operation not allowed on sorted list" on a sorted list.
  void Move(Integer CurIndex, Integer NewIndex) override;
  Integer IndexOf(const AnsiString& S) const override;

  // On a sorted list: true when S is present, Index its first position; otherwise Index is
  // where S would be inserted. Unsorted lists are searched as if sorted (the answer is then
  // meaningless, as with the framework).
  bool Find(const AnsiString& S, Integer& Index) const;
  virtual void Sort();
  virtual void CustomSort(const TStringListSortCompare& Compare);

  bool Sorted() const { return FSorted; }
  void SetSorted(bool Value);
  TDuplicates Duplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates Value) { FDuplicates = Value; }
  bool CaseSensitive() const { return FCaseSensitive; }
  void SetCaseSensitive(bool Value);

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 protected:
  AnsiString Get(Integer Index) const override;
  Integer GetCount() const override;
  TObject* GetObject(Integer Index) const override;
  void Put(Integer Index, const AnsiString& S) override;
  void PutObject(Integer Index, TObject* AObject) override;
  void SetUpdateState(bool Updating) override;
  int CompareStrings(const AnsiString& S1, const AnsiString& S2) const override;
  virtual void Changed();
  virtual void Changing();

 private:
  struct TStringItem {
    AnsiString FString;
    TObject* FObject = nullptr;
  };
  void CheckIndex(Integer Index) const;
  void InsertItem(Integer Index, const AnsiString& S, TObject* AObject);

  std::vector<TStringItem> FList;
  bool FSorted = false;
  bool FCaseSensitive = false;
  TDuplicates FDuplicates = dupIgnore;
};
