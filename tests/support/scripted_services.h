// A service object for tests: records every dialog, message box, shell and clipboard call and
// answers from a script. While installed it replaces the real dialogs.
//
// Each dialog call runs the event loop once (timers and worker hand-overs are served in dialogs,
// as in the real ones); an answer with WaitUntil keeps the "dialog" open, running the loop,
// until the condition holds (at most TimeoutMs, after which the call is marked TimedOut).
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <vector>

#include "platform/gui/services.h"

namespace testsupport {

struct ServiceCall {
  AnsiString Kind;  // "MessageBox", "MessageDlg", "OpenDialog", "SaveDialog", "Folder", "Color",
                    // "Font", "ShellOpen"
  AnsiString Text;
  AnsiString Caption;
  Cardinal Flags = 0;               // MessageBox
  TMsgDlgType DlgType = mtCustom;   // MessageDlg
  TMsgDlgButtons Buttons = 0;       // MessageDlg
  AnsiString Folder;                // Folder (preselected), ShellOpen (target)
  AnsiString Root;                  // Folder
  TFileDialogRequest File;          // Open/SaveDialog
  bool TimedOut = false;
};

struct ScriptedAnswer {
  Integer Result = 0;               // MessageBox id, MessageDlg result; other kinds: non-zero = OK
  std::vector<AnsiString> Files;    // file dialogs
  Integer FilterIndex = 0;          // file dialogs: 0 keeps the asked one
  AnsiString Folder;                // folder browser
  TColor Color = 0;
  TFontChoice Font;
  std::function<bool()> WaitUntil;  // keep the dialog open until true
  std::function<void()> WhileOpen;  // runs inside the dialog, before the answer
  Cardinal TimeoutMs = 10000;
};

class ScriptedServices : public TPlatformServices {
 public:
  ScriptedServices();   // installs itself
  ~ScriptedServices() override;  // puts the previous service object back

  // Queues the answer of the next call of this kind. Without a queued answer: message boxes
  // give their first button, dialogs are cancelled, ShellOpen succeeds.
  void Script(const AnsiString& Kind, ScriptedAnswer Answer);
  // Calls of one kind, in order.
  std::vector<ServiceCall> CallsOf(const AnsiString& Kind) const;

  std::vector<ServiceCall> Calls;
  TClipboardData ClipboardData;

  Integer MessageBox(TWinControl* Owner, const AnsiString& Text, const AnsiString& Caption,
                     Cardinal Flags) override;
  Integer MessageDlg(const AnsiString& Text, TMsgDlgType Type, TMsgDlgButtons Buttons) override;
  TFileDialogAnswer FileDialog(const TFileDialogRequest& Request) override;
  bool BrowseForFolder(const AnsiString& Caption, const AnsiString& Root, AnsiString& Folder) override;
  bool ChooseColor(TColor& Color) override;
  bool ChooseFont(TFontChoice& Font) override;
  bool ShellOpen(const AnsiString& Target) override;
  void SetClipboard(const TClipboardData& Data) override;
  TClipboardData GetClipboard() override;

 private:
  bool Next(const AnsiString& Kind, ScriptedAnswer& Answer);
  void RunOpen(ServiceCall& Call, const ScriptedAnswer* Answer);

  std::map<AnsiString, std::deque<ScriptedAnswer>> FScript;
  TPlatformServices* FPrevious = nullptr;
};

}  // namespace testsupport
