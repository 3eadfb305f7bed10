#include "platform/rtl/lists.h"

#include <algorithm>
#include <limits>

#include "platform/rtl/streams.h"
#include "platform/rtl/strings.h"
#include "platform/rtl/sysutils.h"

namespace {

bool IsAscii(const AnsiString& S) {
  return std::all_of(S.begin(), S.end(), [](char C) { return static_cast<unsigned char>(C) < 0x80; });
}

char FoldAscii(char C) { return (C >= 'A' && C <= 'Z') ? static_cast<char>(C + ('a' - 'A')) : C; }

// Lines are user text (file names, captions), so the comparison folds case across Unicode,
// not just in ASCII. Plain ASCII, by far the common case, avoids the conversion.
int CompareIgnoringCase(const AnsiString& S1, const AnsiString& S2) {
  if (IsAscii(S1) && IsAscii(S2)) {
    const std::size_t N = std::min(S1.size(), S2.size());
    for (std::size_t I = 0; I < N; ++I) {
      const unsigned char A = static_cast<unsigned char>(FoldAscii(S1[I]));
      const unsigned char B = static_cast<unsigned char>(FoldAscii(S2[I]));
      if (A != B) return A < B ? -1 : 1;
    }
    return S1.size() == S2.size() ? 0 : (S1.size() < S2.size() ? -1 : 1);
  }
  const int R = CaseFolded(S1).compare(CaseFolded(S2));
  return R < 0 ? -1 : (R > 0 ? 1 : 0);
}

Integer ClampedCount(std::size_t N) {
  return N > static_cast<std::size_t>(std::numeric_limits<Integer>::max())
             ? std::numeric_limits<Integer>::max()
             : static_cast<Integer>(N);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TList

TList::~TList() { TList::Clear(); }

void TList::CheckIndex(Integer Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(Format("List index out of bounds (%d)", Index));
}

Integer TList::Add(Pointer Item) {
  FItems.push_back(Item);
  return Count() - 1;
}

void TList::Insert(Integer Index, Pointer Item) {
  if (Index < 0 || Index > Count()) throw EListError(Format("List index out of bounds (%d)", Index));
  FItems.insert(FItems.begin() + Index, Item);
}

void TList::Delete(Integer Index) {
  CheckIndex(Index);
  FItems.erase(FItems.begin() + Index);
}

Integer TList::Remove(Pointer Item) {
  const Integer Index = IndexOf(Item);
  if (Index >= 0) Delete(Index);
  return Index;
}

Pointer TList::Extract(Pointer Item) {
  const Integer Index = IndexOf(Item);
  if (Index < 0) return nullptr;
  Delete(Index);
  return Item;
}

Integer TList::IndexOf(Pointer Item) const {
  const auto It = std::find(FItems.begin(), FItems.end(), Item);
  return It == FItems.end() ? -1 : static_cast<Integer>(It - FItems.begin());
}

void TList::Clear() {
  FItems.clear();
  FItems.shrink_to_fit();
}

Pointer TList::Items(Integer Index) const {
  CheckIndex(Index);
  return FItems[static_cast<std::size_t>(Index)];
}

void TList::SetItems(Integer Index, Pointer Item) {
  CheckIndex(Index);
  FItems[static_cast<std::size_t>(Index)] = Item;
}

Pointer TList::First() const { return Items(0); }

Pointer TList::Last() const { return Items(Count() - 1); }

void TList::SetCount(Integer NewCount) {
  if (NewCount < 0) throw EListError(Format("List count out of bounds (%d)", NewCount));
  FItems.resize(static_cast<std::size_t>(NewCount), nullptr);
}

void TList::SetCapacity(Integer NewCapacity) {
  if (NewCapacity < Count()) throw EListError(Format("List capacity out of bounds (%d)", NewCapacity));
  if (NewCapacity > Capacity()) {
    FItems.reserve(static_cast<std::size_t>(NewCapacity));
  } else if (NewCapacity < Capacity()) {
    std::vector<Pointer> Trimmed;
    Trimmed.reserve(static_cast<std::size_t>(NewCapacity));
    Trimmed.assign(FItems.begin(), FItems.end());
    FItems.swap(Trimmed);
  }
}

void TList::Exchange(Integer Index1, Integer Index2) {
  CheckIndex(Index1);
  CheckIndex(Index2);
  std::swap(FItems[static_cast<std::size_t>(Index1)], FItems[static_cast<std::size_t>(Index2)]);
}

void TList::Move(Integer CurIndex, Integer NewIndex) {
  if (CurIndex == NewIndex) return;
  CheckIndex(CurIndex);
  CheckIndex(NewIndex);
  Pointer Item = FItems[static_cast<std::size_t>(CurIndex)];
  FItems.erase(FItems.begin() + CurIndex);
  FItems.insert(FItems.begin() + NewIndex, Item);
}

void TList::Sort(const TListSortCompare& Compare) {
  if (!Compare) return;
  std::stable_sort(FItems.begin(), FItems.end(),
                   [&Compare](Pointer A, Pointer B) { return Compare(A, B) < 0; });
}

// ---------------------------------------------------------------------------------------------
// TStrings

TStrings::~TStrings() = default;

Integer TStrings::Add(const AnsiString& S) {
  const Integer Index = GetCount();
  Insert(Index, S);
  return Index;
}

Integer TStrings::AddObject(const AnsiString& S, TObject* AObject) {
  const Integer Index = Add(S);
  PutObject(Index, AObject);
  return Index;
}

void TStrings::AddStrings(TStrings* Source) {
  if (Source == nullptr) return;
  BeginUpdate();
  try {
    const Integer N = Source->Count();
    for (Integer I = 0; I < N; ++I) AddObject(Source->Get(I), Source->GetObject(I));
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::InsertObject(Integer Index, const AnsiString& S, TObject* AObject) {
  Insert(Index, S);
  PutObject(Index, AObject);
}

void TStrings::Exchange(Integer Index1, Integer Index2) {
  BeginUpdate();
  try {
    const AnsiString S = Get(Index1);
    TObject* O = GetObject(Index1);
    Put(Index1, Get(Index2));
    PutObject(Index1, GetObject(Index2));
    Put(Index2, S);
    PutObject(Index2, O);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::Move(Integer CurIndex, Integer NewIndex) {
  if (CurIndex == NewIndex) return;
  BeginUpdate();
  try {
    const AnsiString S = Get(CurIndex);
    TObject* O = GetObject(CurIndex);
    Delete(CurIndex);
    InsertObject(NewIndex, S, O);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

Integer TStrings::IndexOf(const AnsiString& S) const {
  const Integer N = GetCount();
  for (Integer I = 0; I < N; ++I)
    if (CompareStrings(Get(I), S) == 0) return I;
  return -1;
}

Integer TStrings::IndexOfName(const AnsiString& Name) const {
  const Integer N = GetCount();
  for (Integer I = 0; I < N; ++I) {
    const AnsiString S = Get(I);
    const auto Eq = S.find('=');
    if (Eq != AnsiString::npos && CompareStrings(S.substr(0, Eq), Name) == 0) return I;
  }
  return -1;
}

Integer TStrings::IndexOfObject(TObject* AObject) const {
  const Integer N = GetCount();
  for (Integer I = 0; I < N; ++I)
    if (GetObject(I) == AObject) return I;
  return -1;
}

AnsiString TStrings::Names(Integer Index) const {
  const AnsiString S = Get(Index);
  const auto Eq = S.find('=');
  return Eq == AnsiString::npos ? AnsiString() : S.substr(0, Eq);
}

AnsiString TStrings::Values(const AnsiString& Name) const {
  const Integer Index = IndexOfName(Name);
  return Index < 0 ? AnsiString() : ValueFromIndex(Index);
}

AnsiString TStrings::ValueFromIndex(Integer Index) const {
  const AnsiString S = Get(Index);
  const auto Eq = S.find('=');
  return Eq == AnsiString::npos ? AnsiString() : S.substr(Eq + 1);
}

void TStrings::SetValues(const AnsiString& Name, const AnsiString& Value) {
  const Integer Index = IndexOfName(Name);
  if (!Value.empty()) {
    if (Index < 0)
      Add(Name + "=" + Value);
    else
      Put(Index, Name + "=" + Value);
  } else if (Index >= 0) {
    Delete(Index);
  }
}

AnsiString TStrings::Text() const {
  const Integer N = GetCount();
  AnsiString Result;
  for (Integer I = 0; I < N; ++I) {
    Result += Get(I);
    Result += "\r\n";
  }
  return Result;
}

void TStrings::SetText(const AnsiString& Value) {
  BeginUpdate();
  try {
    Clear();
    std::size_t Start = 0;
    const std::size_t N = Value.size();
    while (Start < N) {
      std::size_t End = Start;
      while (End < N && Value[End] != '\r' && Value[End] != '\n') ++End;
      Add(Value.substr(Start, End - Start));
      if (End < N && Value[End] == '\r') {
        ++End;
        if (End < N && Value[End] == '\n') ++End;
      } else if (End < N) {
        ++End;
      }
      Start = End;
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

AnsiString TStrings::CommaText() const {
  const Integer N = GetCount();
  AnsiString Result;
  for (Integer I = 0; I < N; ++I) {
    const AnsiString S = Get(I);
    const bool NeedsQuotes =
        S.empty() || std::any_of(S.begin(), S.end(), [](char C) {
          return static_cast<unsigned char>(C) <= ' ' || C == ',' || C == '"';
        });
    if (I > 0) Result += ',';
    if (!NeedsQuotes) {
      Result += S;
      continue;
    }
    Result += '"';
    for (char C : S) {
      if (C == '"') Result += '"';
      Result += C;
    }
    Result += '"';
  }
  return Result;
}

void TStrings::SetCommaText(const AnsiString& Value) {
  auto IsBlank = [](char C) { return static_cast<unsigned char>(C) <= ' ' && C != '\0'; };
  BeginUpdate();
  try {
    Clear();
    const std::size_t N = Value.size();
    std::size_t P = 0;
    while (P < N && IsBlank(Value[P])) ++P;
    while (P < N) {
      AnsiString Item;
      if (Value[P] == '"') {
        ++P;
        while (P < N) {
          if (Value[P] == '"') {
            if (P + 1 < N && Value[P + 1] == '"') {
              Item += '"';
              P += 2;
              continue;
            }
            ++P;
            break;
          }
          Item += Value[P++];
        }
      } else {
        while (P < N && !IsBlank(Value[P]) && Value[P] != ',') Item += Value[P++];
      }
      Add(Item);
      while (P < N && IsBlank(Value[P])) ++P;
      if (P < N && Value[P] == ',') {
        ++P;
        while (P < N && IsBlank(Value[P])) ++P;
        // A trailing comma stands for one more, empty, line.
        if (P >= N) Add(AnsiString());
      }
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::LoadFromFile(const AnsiString& FileName) {
  TFileStream Stream(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&Stream);
}

void TStrings::LoadFromStream(TStream* Stream) {
  const Int64 Remaining = Stream->Size() - Stream->Position();
  AnsiString Data;
  if (Remaining > 0) {
    // The size comes from the file: one too big for memory is an error for the user, not a
    // crash.
    try {
      Data.resize(static_cast<std::size_t>(Remaining));
    } catch (const std::exception&) {
      throw EOutOfMemory("Out of memory");
    }
    Stream->ReadBuffer(Data.data(), Remaining);
  }
  if (Data.size() >= 3 && Data.compare(0, 3, "\xEF\xBB\xBF") == 0) Data.erase(0, 3);
  SetText(Data);
}

void TStrings::SaveToFile(const AnsiString& FileName) const {
  TFileStream Stream(FileName, fmCreate);
  SaveToStream(&Stream);
}

void TStrings::SaveToStream(TStream* Stream) const {
  const AnsiString Data = Text();
  Stream->WriteBuffer(Data.data(), static_cast<Int64>(Data.size()));
}

void TStrings::BeginUpdate() {
  if (FUpdateCount == 0) SetUpdateState(true);
  ++FUpdateCount;
}

void TStrings::EndUpdate() {
  if (FUpdateCount <= 0) return;
  --FUpdateCount;
  if (FUpdateCount == 0) SetUpdateState(false);
}

void TStrings::Assign(TPersistent* Source) {
  if (auto* Other = dynamic_cast<TStrings*>(Source)) {
    if (Other == this) return;
    BeginUpdate();
    try {
      Clear();
      AddStrings(Other);
    } catch (...) {
      EndUpdate();
      throw;
    }
    EndUpdate();
    return;
  }
  TPersistent::Assign(Source);
}

bool TStrings::Equals(const TStrings* Other) const {
  if (Other == nullptr) return false;
  const Integer N = GetCount();
  if (N != Other->GetCount()) return false;
  for (Integer I = 0; I < N; ++I)
    if (Get(I) != Other->Get(I)) return false;
  return true;
}

TObject* TStrings::GetObject(Integer) const { return nullptr; }

void TStrings::Put(Integer Index, const AnsiString& S) {
  TObject* O = GetObject(Index);
  Delete(Index);
  InsertObject(Index, S, O);
}

void TStrings::PutObject(Integer, TObject*) {}

void TStrings::SetUpdateState(bool) {}

int TStrings::CompareStrings(const AnsiString& S1, const AnsiString& S2) const {
  return CompareIgnoringCase(S1, S2);
}

// ---------------------------------------------------------------------------------------------
// TStringList

TStringList::~TStringList() {
  OnChange = nullptr;
  OnChanging = nullptr;
}

void TStringList::CheckIndex(Integer Index) const {
  if (Index < 0 || Index >= GetCount())
    throw EStringListError(Format("List index out of bounds (%d)", Index));
}

Integer TStringList::Add(const AnsiString& S) { return AddObject(S, nullptr); }

Integer TStringList::AddObject(const AnsiString& S, TObject* AObject) {
  Integer Index = GetCount();
  if (FSorted && Find(S, Index)) {
    switch (FDuplicates) {
      case dupIgnore:
        return Index;
      case dupError:
        throw EStringListError("String list does not allow duplicates");
      case dupAccept:
        break;
    }
  }
  InsertItem(Index, S, AObject);
  return Index;
}

void TStringList::Insert(Integer Index, const AnsiString& S) {
  if (FSorted) throw EStringListError("Operation not allowed on sorted list");
  if (Index < 0 || Index > GetCount())
    throw EStringListError(Format("List index out of bounds (%d)", Index));
  InsertItem(Index, S, nullptr);
}

void TStringList::InsertItem(Integer Index, const AnsiString& S, TObject* AObject) {
  Changing();
  FList.insert(FList.begin() + Index, TStringItem{S, AObject});
  Changed();
}

void TStringList::Move(Integer CurIndex, Integer NewIndex) {
  // Checked before the line is taken out: the re-insert would fail and lose it.
  if (FSorted && CurIndex != NewIndex) throw EStringListError("Operation not allowed on sorted list");
  TStrings::Move(CurIndex, NewIndex);
}

void TStringList::Delete(Integer Index) {
  CheckIndex(Index);
  Changing();
  FList.erase(FList.begin() + Index);
  Changed();
}

void TStringList::Clear() {
  if (FList.empty()) return;
  Changing();
  FList.clear();
  FList.shrink_to_fit();
  Changed();
}

void TStringList::Exchange(Integer Index1, Integer Index2) {
  CheckIndex(Index1);
  CheckIndex(Index2);
  Changing();
  std::swap(FList[static_cast<std::size_t>(Index1)], FList[static_cast<std::size_t>(Index2)]);
  Changed();
}

Integer TStringList::IndexOf(const AnsiString& S) const {
  if (!FSorted) return TStrings::IndexOf(S);
  Integer Index = 0;
  return Find(S, Index) ? Index : -1;
}

bool TStringList::Find(const AnsiString& S, Integer& Index) const {
  Integer L = 0;
  Integer H = GetCount() - 1;
  bool Found = false;
  while (L <= H) {
    const Integer I = L + (H - L) / 2;
    const int C = CompareStrings(FList[static_cast<std::size_t>(I)].FString, S);
    if (C < 0) {
      L = I + 1;
    } else {
      H = I - 1;
      if (C == 0) Found = true;  // keep going left: the first of equal lines is wanted
    }
  }
  Index = L;
  return Found;
}

void TStringList::Sort() {
  CustomSort([](TStringList* List, Integer A, Integer B) {
    return List->CompareStrings(List->FList[static_cast<std::size_t>(A)].FString,
                                List->FList[static_cast<std::size_t>(B)].FString);
  });
}

void TStringList::CustomSort(const TStringListSortCompare& Compare) {
  if (!Compare || FList.size() < 2) return;
  Changing();
  // The compare function speaks in indexes into this list, so the items are sorted through a
  // permutation and the list is only rearranged once the order is known.
  std::vector<Integer> Order(FList.size());
  for (std::size_t I = 0; I < Order.size(); ++I) Order[I] = static_cast<Integer>(I);
  std::stable_sort(Order.begin(), Order.end(),
                   [&](Integer A, Integer B) { return Compare(this, A, B) < 0; });
  std::vector<TStringItem> Sorted;
  Sorted.reserve(FList.size());
  for (Integer I : Order) Sorted.push_back(std::move(FList[static_cast<std::size_t>(I)]));
  FList.swap(Sorted);
  Changed();
}

void TStringList::SetSorted(bool Value) {
  if (FSorted == Value) return;
  if (Value) Sort();
  FSorted = Value;
}

void TStringList::SetCaseSensitive(bool Value) {
  if (FCaseSensitive == Value) return;
  FCaseSensitive = Value;
  if (FSorted) Sort();
}

AnsiString TStringList::Get(Integer Index) const {
  CheckIndex(Index);
  return FList[static_cast<std::size_t>(Index)].FString;
}

Integer TStringList::GetCount() const { return ClampedCount(FList.size()); }

TObject* TStringList::GetObject(Integer Index) const {
  CheckIndex(Index);
  return FList[static_cast<std::size_t>(Index)].FObject;
}

void TStringList::Put(Integer Index, const AnsiString& S) {
  if (FSorted) throw EStringListError("Operation not allowed on sorted list");
  CheckIndex(Index);
  Changing();
  FList[static_cast<std::size_t>(Index)].FString = S;
  Changed();
}

void TStringList::PutObject(Integer Index, TObject* AObject) {
  CheckIndex(Index);
  Changing();
  FList[static_cast<std::size_t>(Index)].FObject = AObject;
  Changed();
}

void TStringList::SetUpdateState(bool Updating) {
  if (Updating)
    Changing();
  else
    Changed();
}

int TStringList::CompareStrings(const AnsiString& S1, const AnsiString& S2) const {
  if (FCaseSensitive) return S1.compare(S2) < 0 ? -1 : (S1 == S2 ? 0 : 1);
  return CompareIgnoringCase(S1, S2);
}

void TStringList::Changing() {
  if (UpdateCount() == 0 && OnChanging) OnChanging(this);
}

void TStringList::Changed() {
  if (UpdateCount() == 0 && OnChange) OnChange(this);
}
