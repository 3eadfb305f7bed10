#include "platform/gui/dialogs.h"

#include <cctype>

#include "platform/gui/graphics.h"
#include "platform/rtl/files.h"

std::vector<TFilterEntry> ParseDialogFilter(const AnsiString& Filter) {
  std::vector<AnsiString> Parts;
  std::size_t Start = 0;
  while (Start <= Filter.size()) {
    std::size_t Bar = Filter.find('|', Start);
    if (Bar == AnsiString::npos) {
      Parts.push_back(Filter.substr(Start));
      break;
    }
    Parts.push_back(Filter.substr(Start, Bar - Start));
    Start = Bar + 1;
  }
  std::vector<TFilterEntry> Entries;
  for (std::size_t I = 0; I + 1 < Parts.size(); I += 2) {
    TFilterEntry E;
    E.Description = Parts[I];
    const AnsiString& P = Parts[I + 1];
    std::size_t From = 0;
    while (From <= P.size()) {
      std::size_t Semi = P.find(';', From);
      AnsiString One = P.substr(From, Semi == AnsiString::npos ? AnsiString::npos : Semi - From);
      // Surrounding blanks are not part of a pattern.
      std::size_t A = One.find_first_not_of(' ');
      std::size_t B = One.find_last_not_of(' ');
      if (A != AnsiString::npos) E.Patterns.push_back(One.substr(A, B - A + 1));
      if (Semi == AnsiString::npos) break;
      From = Semi + 1;
    }
    if (!E.Description.empty() || !E.Patterns.empty()) Entries.push_back(std::move(E));
  }
  return Entries;
}

namespace {
bool Match(const char* N, const char* P) {
  // Iterative wildcard match with one back-tracking point: linear in practice and without
  // recursion, whatever the pattern.
  const char* StarP = nullptr;
  const char* StarN = nullptr;
  while (*N) {
    if (*P == '*') {
      StarP = ++P;
      StarN = N;
    } else if (*P == '?' || std::tolower(static_cast<unsigned char>(*P)) == std::tolower(static_cast<unsigned char>(*N))) {
      ++P;
      ++N;
    } else if (StarP) {
      P = StarP;
      N = ++StarN;
    } else {
      return false;
    }
  }
  while (*P == '*') ++P;
  return *P == 0;
}
}  // namespace

bool MatchesFilterPattern(const AnsiString& FileName, const AnsiString& Pattern) {
  AnsiString Name = ExtractFileName(FileName);
  // "*.*" is the desktop's "every file", names without a dot included.
  if (Pattern == "*.*" || Pattern == "*") return true;
  return Match(Name.c_str(), Pattern.c_str());
}

TOpenDialog::TOpenDialog(TComponent* AOwner) : TComponent(AOwner) {}

bool TOpenDialog::Execute() {
  TFileDialogRequest R;
  R.Kind = FKind;
  R.Title = FTitle;
  R.Filter = FFilter;
  R.FilterIndex = FFilterIndex;
  R.DefaultExt = FDefaultExt;
  R.FileName = FFileName;
  R.InitialDir = FInitialDir;
  R.Options = FOptions;
  TFileDialogAnswer A = PlatformServices()->FileDialog(R);
  if (!A.Accepted || A.FileNames.empty()) return false;
  FFiles.clear();
  for (AnsiString Name : A.FileNames) {
    if (!FDefaultExt.empty() && ExtractFileExt(Name).empty()) {
      AnsiString Ext = FDefaultExt;
      if (!Ext.empty() && Ext.front() == '.') Ext.erase(0, 1);
      Name += "." + Ext;
    }
    FFiles.push_back(Name);
  }
  FFileName = FFiles.front();
  if (A.FilterIndex >= 1) FFilterIndex = A.FilterIndex;
  return true;
}

TSaveDialog::TSaveDialog(TComponent* AOwner) : TOpenDialog(AOwner) { FKind = fdSave; }

bool TColorDialog::Execute() {
  TColor C = FColor;
  if (!PlatformServices()->ChooseColor(C)) return false;
  FColor = C;
  return true;
}

TFontDialog::TFontDialog(TComponent* AOwner) : TComponent(AOwner), FFont(new TFont()) {}
TFontDialog::~TFontDialog() { delete FFont; }

void TFontDialog::SetFont(TFont* Value) {
  if (Value) FFont->Assign(Value);
}

bool TFontDialog::Execute() {
  TFontChoice C;
  C.Name = FFont->Name();
  C.Size = FFont->Size();
  C.Color = FFont->Color();
  C.StyleBits = FFont->Style().Bits();
  if (!PlatformServices()->ChooseFont(C)) return false;
  FFont->SetName(C.Name);
  if (C.Size > 0) FFont->SetSize(C.Size);
  FFont->SetColor(C.Color);
  TFontStyles S;
  for (TFontStyle St : {fsBold, fsItalic, fsUnderline, fsStrikeOut})
    if (C.StyleBits & (1u << unsigned(St))) S.Include(St);
  FFont->SetStyle(S);
  return true;
}

bool SelectDirectory(const AnsiString& Caption, const AnsiString& Root, AnsiString& Folder) {
  if (!Folder.empty() && !DirectoryExists(Folder)) Folder.clear();
  return PlatformServices()->BrowseForFolder(Caption, Root, Folder);
}
