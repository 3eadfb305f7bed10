#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/rtl/lists.h"
#include "platform/rtl/streams.h"
#include "tests/platform/exception_text.h"
#include "tests/support/fixtures.h"

namespace {

std::vector<AnsiString> Lines(const TStrings& L) {
  std::vector<AnsiString> Result;
  for (Integer I = 0; I < L.Count(); ++I) Result.push_back(L[I]);
  return Result;
}

std::string ReadFileBytes(const std::string& Name) {
  std::ifstream In(Name, std::ios::binary);
  std::ostringstream S;
  S << In.rdbuf();
  return S.str();
}

}  // namespace

TEST(Lists, BadIndexesNameTheIndex) {
  TList L;
  int A = 0, B = 0, C = 0;
  L.Add(&A);
  L.Add(&B);
  L.Add(&C);
  struct Case { std::function<void()> Action; std::string Message; };
  const Case Cases[] = {
      {[&] { L.Items(3); }, "List index out of bounds (3)"},
      {[&] { L.Delete(-1); }, "List index out of bounds (-1)"},
      {[&] { L.Insert(5, &A); }, "List index out of bounds (5)"},
      {[&] { L.Exchange(0, 7); }, "List index out of bounds (7)"},
      {[&] { TList Empty; Empty.First(); }, "List index out of bounds (0)"},
      {[&] { TList Empty; Empty.Last(); }, "List index out of bounds (-1)"},
      {[&] { L.SetCapacity(2); }, "List capacity out of bounds (2)"},
  };
  for (const auto& Case : Cases) EXPECT_EQ(MessageOf<EListError>(Case.Action), Case.Message);
  EXPECT_EQ(L.Count(), 3);
  L.Insert(3, &A);  // inserting at the end is allowed
  EXPECT_EQ(L.Last(), &A);
}

TEST(Lists, ReordersAndSorts) {
  int V[5] = {4, 1, 3, 1, 2};
  TList L;
  for (int& X : V) L.Add(&X);
  L.Move(0, 4);  // 1 3 1 2 4
  L.Exchange(0, 1);  // 3 1 1 2 4
  EXPECT_EQ(L.Extract(&V[2]), &V[2]);  // 1 1 2 4
  EXPECT_EQ(L.Extract(&V[2]), nullptr);
  L.Add(&V[2]);
  L.Sort([](Pointer A, Pointer B) { return *static_cast<int*>(A) - *static_cast<int*>(B); });
  std::vector<Pointer> Got;
  for (Integer I = 0; I < L.Count(); ++I) Got.push_back(L[I]);
  // Equal items keep their order: V[1] was ahead of V[3].
  EXPECT_EQ(Got, (std::vector<Pointer>{&V[1], &V[3], &V[4], &V[2], &V[0]}));
  EXPECT_EQ(L.Remove(&V[4]), 2);
  EXPECT_EQ(L.IndexOf(&V[4]), -1);
}

TEST(StringList, TextEndsEveryLineWithCrLf) {
  TStringList L;
  EXPECT_EQ(L.Text(), "");
  L.Add("one");
  L.Add("");
  L.Add("three");
  EXPECT_EQ(L.Text(), "one\r\n\r\nthree\r\n");
}

TEST(StringList, SettingTextSplitsOnAnyLineEnd) {
  struct Case { AnsiString In; std::vector<AnsiString> Out; };
  const Case Cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb\rc\r\nd", {"a", "b", "c", "d"}},
      {"a\r\n\r\nb", {"a", "", "b"}},
      {"a\n\nb\n", {"a", "", "b"}},
      {"\r\n", {""}},
      {"a\r\rb", {"a", "", "b"}},
      {"x\n\r", {"x", ""}},  // LF then CR: two line ends, not one
  };
  TStringList L;
  for (const auto& C : Cases) {
    L.SetText(C.In);
    EXPECT_EQ(Lines(L), C.Out) << testing::PrintToString(C.In);
  }
}

TEST(StringList, IndexOfIgnoresCaseIncludingAccentedLetters) {
  TStringList L;
  L.Add("Alpha");
  L.Add("\xC3\x89T\xC3\x89");  // ÉTÉ
  L.Add("beta");
  EXPECT_EQ(L.IndexOf("ALPHA"), 0);
  EXPECT_EQ(L.IndexOf("\xC3\xA9t\xC3\xA9"), 1);  // été
  EXPECT_EQ(L.IndexOf("Beta"), 2);
  EXPECT_EQ(L.IndexOf("gamma"), -1);
  L.SetSorted(true);
  EXPECT_EQ(L.IndexOf("BETA"), 1);
  EXPECT_EQ(L.IndexOf("\xC3\xA9T\xC3\xA9"), 2);
}

TEST(StringList, SortedListKeepsOrderWithoutRegardToCase) {
  TStringList L;
  L.SetSorted(true);
  for (const char* S : {"delta", "Bravo", "alpha", "Charlie", "bravo2", "_under"}) L.Add(S);
  EXPECT_EQ(Lines(L), (std::vector<AnsiString>{"_under", "alpha", "Bravo", "bravo2", "Charlie", "delta"}));
  Integer Index = -1;
  EXPECT_TRUE(L.Find("CHARLIE", Index));
  EXPECT_EQ(Index, 4);
  EXPECT_FALSE(L.Find("bz", Index));
  EXPECT_EQ(Index, 4);  // where it would go
  for (auto Refused : std::vector<std::function<void()>>{[&] { L.Insert(0, "zulu"); },
                                                        [&] { L.SetStrings(0, "zulu"); },
                                                        [&] { L.Move(0, 3); }})
    EXPECT_EQ(MessageOf<EStringListError>(Refused), "Operation not allowed on sorted list");
  EXPECT_EQ(L.Count(), 6);  // a refused move loses no line

  // Turning sorting on sorts what is there.
  TStringList U;
  U.SetText("b\nC\na\n");
  U.SetSorted(true);
  EXPECT_EQ(Lines(U), (std::vector<AnsiString>{"a", "b", "C"}));
}

TEST(StringList, DuplicatesRules) {
  struct Case { TDuplicates Mode; Integer Count; bool Raises; };
  const Case Cases[] = {{dupIgnore, 2, false}, {dupAccept, 3, false}, {dupError, 2, true}};
  for (const auto& C : Cases) {
    TStringList L;
    L.SetSorted(true);
    L.SetDuplicates(C.Mode);
    L.Add("x");
    L.Add("y");
    if (C.Raises) {
      EXPECT_EQ(MessageOf<EStringListError>([&] { L.Add("X"); }),
                "String list does not allow duplicates");
    } else {
      EXPECT_EQ(L.Add("X"), 0) << C.Mode;  // ignored: the index of the line already there
    }
    EXPECT_EQ(L.Count(), C.Count) << C.Mode;
  }
  // Duplicates only matter for sorted lists.
  TStringList Unsorted;
  Unsorted.SetDuplicates(dupError);
  Unsorted.Add("a");
  EXPECT_NO_THROW(Unsorted.Add("a"));
}

TEST(StringList, NamesAndValues) {
  TStringList L;
  L.SetText("Width=640\nheight=480\nnoequals\nUrl=a=b\n");
  EXPECT_EQ(L.Values("WIDTH"), "640");
  EXPECT_EQ(L.Values("Url"), "a=b");
  EXPECT_EQ(L.Values("noequals"), "");
  EXPECT_EQ(L.Names(1), "height");
  EXPECT_EQ(L.Names(2), "");
  EXPECT_EQ(L.IndexOfName("HEIGHT"), 1);
  L.SetValues("height", "720");  // replaces in place
  L.SetValues("Depth", "24");    // appends
  L.SetValues("width", "");      // deletes
  EXPECT_EQ(Lines(L), (std::vector<AnsiString>{"height=720", "noequals", "Url=a=b", "Depth=24"}));
}

TEST(StringList, CommaTextQuotesWhatNeedsIt) {
  TStringList L;
  for (const char* S : {"plain", "two words", "a,b", "say \"hi\"", ""}) L.Add(S);
  const AnsiString Comma = L.CommaText();
  EXPECT_EQ(Comma, "plain,\"two words\",\"a,b\",\"say \"\"hi\"\"\",\"\"");
  TStringList Back;
  Back.SetCommaText(Comma);
  EXPECT_EQ(Lines(Back), Lines(L));
  Back.SetCommaText("  a b ,c,,\"d\" ,");
  EXPECT_EQ(Lines(Back), (std::vector<AnsiString>{"a", "b", "c", "", "d", ""}));
}

TEST(StringList, FileRoundTripWritesCrLf) {
  const std::string Dir = testsupport::MakeTempDir("lists");
  const AnsiString Name = Dir + "/lines.txt";
  TStringList L;
  L.Add("first");
  L.Add("caf\xC3\xA9");
  L.AddObject("third", &L);
  L.SaveToFile(Name);
  EXPECT_EQ(ReadFileBytes(Name), "first\r\ncaf\xC3\xA9\r\nthird\r\n");
  TStringList Back;
  Back.Add("stale");
  Back.LoadFromFile(Name);
  EXPECT_EQ(Lines(Back), Lines(L));

  // A file written elsewhere: byte order mark, LF line ends, no final line end.
  {
    std::ofstream Out(Name, std::ios::binary);
    Out << "\xEF\xBB\xBFone\ntwo";
  }
  Back.LoadFromFile(Name);
  EXPECT_EQ(Lines(Back), (std::vector<AnsiString>{"one", "two"}));
  EXPECT_THROW(Back.LoadFromFile(Dir + "/missing.txt"), EFOpenError);
  testsupport::RemoveTree(Dir);
}

TEST(StringList, ChangeEventsAreBatchedByUpdates) {
  TStringList L;
  int Changes = 0, Changings = 0;
  L.OnChange = [&](TObject* Sender) {
    EXPECT_EQ(Sender, &L);
    ++Changes;
  };
  L.OnChanging = [&](TObject*) { ++Changings; };
  L.Add("a");
  EXPECT_EQ(Changes, 1);
  L.BeginUpdate();
  L.Add("b");
  L.BeginUpdate();
  L.Delete(0);
  L.EndUpdate();
  EXPECT_EQ(Changes, 1);
  L.EndUpdate();
  EXPECT_EQ(Changes, 2);
  L.SetText("x\ny\nz");  // one change for the whole text
  EXPECT_EQ(Changes, 3);
  EXPECT_EQ(Changings, 3);
}

TEST(StringList, AssignCopiesLinesAndObjectsAndCustomSortReorders) {
  TStringList Source;
  TStringList Tag;
  Source.AddObject("b", &Tag);
  Source.Add("a");
  Source.Add("ccc");
  TStringList Copy;
  Copy.Add("old");
  Copy.Assign(&Source);
  EXPECT_EQ(Lines(Copy), Lines(Source));
  EXPECT_EQ(Copy.Objects(0), &Tag);
  // Longest first, by index into the list.
  Copy.CustomSort([](TStringList* List, Integer A, Integer B) {
    return static_cast<int>(List->Strings(B).size()) - static_cast<int>(List->Strings(A).size());
  });
  EXPECT_EQ(Lines(Copy), (std::vector<AnsiString>{"ccc", "b", "a"}));
  EXPECT_EQ(Copy.Objects(1), &Tag);  // objects travel with their lines
  EXPECT_EQ(MessageOf<EStringListError>([&] { Copy.Strings(3); }), "List index out of bounds (3)");
}
