#include "tests/support/scripted_services.h"

#include <chrono>
#include <thread>

#include "platform/gui/application.h"

namespace testsupport {

ScriptedServices::ScriptedServices() { FPrevious = SetPlatformServices(this); }

ScriptedServices::~ScriptedServices() { SetPlatformServices(FPrevious); }

void ScriptedServices::Script(const AnsiString& Kind, ScriptedAnswer Answer) {
  FScript[Kind].push_back(std::move(Answer));
}

std::vector<ServiceCall> ScriptedServices::CallsOf(const AnsiString& Kind) const {
  std::vector<ServiceCall> Out;
  for (const ServiceCall& C : Calls)
    if (C.Kind == Kind) Out.push_back(C);
  return Out;
}

bool ScriptedServices::Next(const AnsiString& Kind, ScriptedAnswer& Answer) {
  auto It = FScript.find(Kind);
  if (It == FScript.end() || It->second.empty()) return false;
  Answer = std::move(It->second.front());
  It->second.pop_front();
  return true;
}

void ScriptedServices::RunOpen(ServiceCall& Call, const ScriptedAnswer* Answer) {
  // The call is on record before the dialog "opens", so code running inside it can see it.
  Calls.push_back(Call);
  std::size_t Index = Calls.size() - 1;
  if (Application) Application->ProcessMessages();
  if (!Answer) return;
  if (Answer->WhileOpen) Answer->WhileOpen();
  if (Answer->WaitUntil) {
    auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(Answer->TimeoutMs);
    while (!Answer->WaitUntil()) {
      if (std::chrono::steady_clock::now() > Deadline) {
        Calls[Index].TimedOut = true;
        break;
      }
      if (Application) Application->ProcessMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
}

Integer ScriptedServices::MessageBox(TWinControl*, const AnsiString& Text, const AnsiString& Caption,
                                     Cardinal Flags) {
  ServiceCall C;
  C.Kind = "MessageBox";
  C.Text = Text;
  C.Caption = Caption;
  C.Flags = Flags;
  ScriptedAnswer A;
  bool Has = Next(C.Kind, A);
  RunOpen(C, Has ? &A : nullptr);
  if (Has) return A.Result;
  switch (Flags & MB_TYPEMASK) {
    case MB_ABORTRETRYIGNORE: return IDABORT;
    case MB_YESNOCANCEL:
    case MB_YESNO: return IDYES;
    case MB_RETRYCANCEL: return IDRETRY;
    default: return IDOK;
  }
}

Integer ScriptedServices::MessageDlg(const AnsiString& Text, TMsgDlgType Type, TMsgDlgButtons Buttons) {
  ServiceCall C;
  C.Kind = "MessageDlg";
  C.Text = Text;
  C.Caption = MsgDlgCaption(Type);
  C.DlgType = Type;
  C.Buttons = Buttons;
  ScriptedAnswer A;
  bool Has = Next(C.Kind, A);
  RunOpen(C, Has ? &A : nullptr);
  if (Has) return A.Result;
  if (Buttons & MsgDlgButton(mbYes)) return mrYes;
  if (Buttons & MsgDlgButton(mbOK)) return mrOk;
  return mrCancel;
}

TFileDialogAnswer ScriptedServices::FileDialog(const TFileDialogRequest& Request) {
  ServiceCall C;
  C.Kind = Request.Kind == fdSave ? "SaveDialog" : "OpenDialog";
  C.Caption = Request.Title;
  C.Text = Request.FileName;
  C.Folder = Request.InitialDir;
  C.File = Request;
  ScriptedAnswer A;
  bool Has = Next(C.Kind, A);
  RunOpen(C, Has ? &A : nullptr);
  TFileDialogAnswer Out;
  if (!Has || A.Result == 0) return Out;
  Out.Accepted = true;
  Out.FileNames = A.Files;
  Out.FilterIndex = A.FilterIndex ? A.FilterIndex : Request.FilterIndex;
  return Out;
}

bool ScriptedServices::BrowseForFolder(const AnsiString& Caption, const AnsiString& Root, AnsiString& Folder) {
  ServiceCall C;
  C.Kind = "Folder";
  C.Caption = Caption;
  C.Root = Root;
  C.Folder = Folder;
  ScriptedAnswer A;
  bool Has = Next(C.Kind, A);
  RunOpen(C, Has ? &A : nullptr);
  if (!Has || A.Result == 0) return false;
  Folder = A.Folder;
  return true;
}

bool ScriptedServices::ChooseColor(TColor& Color) {
  ServiceCall C;
  C.Kind = "Color";
  ScriptedAnswer A;
  bool Has = Next(C.Kind, A);
  RunOpen(C, Has ? &A : nullptr);
  if (!Has || A.Result == 0) return false;
  Color = A.Color;
  return true;
}

bool ScriptedServices::ChooseFont(TFontChoice& Font) {
  ServiceCall C;
  C.Kind = "Font";
  C.Text = Font.Name;
  ScriptedAnswer A;
  bool Has = Next(C.Kind, A);
  RunOpen(C, Has ? &A : nullptr);
  if (!Has || A.Result == 0) return false;
  Font = A.Font;
  return true;
}

bool ScriptedServices::ShellOpen(const AnsiString& Target) {
  ServiceCall C;
  C.Kind = "ShellOpen";
  C.Folder = Target;
  Calls.push_back(C);
  ScriptedAnswer A;
  if (Next(C.Kind, A)) return A.Result != 0;
  return true;
}

void ScriptedServices::SetClipboard(const TClipboardData& Data) { ClipboardData = Data; }

TClipboardData ScriptedServices::GetClipboard() { return ClipboardData; }

}  // namespace testsupport
