#include "platform/gui/clipboard.h"

#include <cctype>
#include <cstring>
#include <mutex>

namespace {

struct FormatTable {
  std::mutex Lock;
  std::vector<AnsiString> Names;  // index i holds id 0xC000 + i
};

FormatTable& Formats() {
  static FormatTable T;
  return T;
}

constexpr TClipFormat kFirstPrivate = 0xC000;

bool SameName(const AnsiString& A, const AnsiString& B) {
  if (A.size() != B.size()) return false;
  for (std::size_t I = 0; I < A.size(); ++I)
    if (std::tolower(static_cast<unsigned char>(A[I])) != std::tolower(static_cast<unsigned char>(B[I]))) return false;
  return true;
}

}  // namespace

TClipFormat RegisterClipboardFormat(const AnsiString& Name) {
  if (Name.empty()) return 0;
  FormatTable& T = Formats();
  std::lock_guard<std::mutex> Guard(T.Lock);
  for (std::size_t I = 0; I < T.Names.size(); ++I)
    if (SameName(T.Names[I], Name)) return TClipFormat(kFirstPrivate + I);
  if (T.Names.size() >= 0x3FFF) return 0;  // the id range is full
  T.Names.push_back(Name);
  return TClipFormat(kFirstPrivate + T.Names.size() - 1);
}

AnsiString ClipboardFormatName(TClipFormat Format) {
  if (Format < kFirstPrivate) return AnsiString();
  FormatTable& T = Formats();
  std::lock_guard<std::mutex> Guard(T.Lock);
  std::size_t I = Format - kFirstPrivate;
  return I < T.Names.size() ? T.Names[I] : AnsiString();
}

void TClipboard::Open() {
  if (FOpenCount++ == 0) FPending.clear();
}

void TClipboard::Close() {
  if (FOpenCount == 0) return;
  if (--FOpenCount == 0 && !FPending.empty()) {
    PlatformServices()->SetClipboard(FPending);
    FPending.clear();
  }
}

void TClipboard::Clear() {
  if (FOpenCount > 0)
    FPending.clear();
  else
    PlatformServices()->SetClipboard(TClipboardData());
}

void TClipboard::Put(TClipFormat Format, std::vector<Byte> Data) {
  if (FOpenCount > 0) {
    FPending[Format] = std::move(Data);
    return;
  }
  TClipboardData One;
  One[Format] = std::move(Data);
  PlatformServices()->SetClipboard(One);
}

AnsiString TClipboard::AsText() {
  TClipboardData D = PlatformServices()->GetClipboard();
  auto It = D.find(CF_TEXT);
  if (It == D.end()) return AnsiString();
  AnsiString S(It->second.begin(), It->second.end());
  // A block from elsewhere may carry the desktop's terminating NUL.
  std::size_t Nul = S.find('\0');
  if (Nul != AnsiString::npos) S.resize(Nul);
  return S;
}

void TClipboard::SetAsText(const AnsiString& Value) { Put(CF_TEXT, std::vector<Byte>(Value.begin(), Value.end())); }

bool TClipboard::HasFormat(TClipFormat Format) {
  if (FOpenCount > 0 && FPending.count(Format)) return true;
  return PlatformServices()->GetClipboard().count(Format) != 0;
}

std::vector<Byte> TClipboard::GetAsHandle(TClipFormat Format) {
  TClipboardData D = PlatformServices()->GetClipboard();
  auto It = D.find(Format);
  return It == D.end() ? std::vector<Byte>() : It->second;
}

void TClipboard::SetAsHandle(TClipFormat Format, const std::vector<Byte>& Data) { Put(Format, Data); }

void TClipboard::SetBuffer(TClipFormat Format, const void* Buffer, std::size_t Size) {
  std::vector<Byte> Data(Size);
  if (Size) std::memcpy(Data.data(), Buffer, Size);
  Put(Format, std::move(Data));
}

TClipboard* Clipboard() {
  static TClipboard C;
  return &C;
}
