// The one service object through which the program reaches the desktop: message boxes, file,
// folder, colour and font dialogs, opening a folder or web address, and the clipboard.
//
// The default object shows real Qt dialogs and uses the real clipboard. Tests install their own
// (SetPlatformServices) that records each call and gives scripted answers. A dialog's loop
// serves timers and the calls worker threads hand to the main thread, like every other loop.
#pragma once

#include <map>
#include <vector>

#include "platform/gui/colors.h"
#include "platform/rtl/classes.h"

class TWinControl;
class TFont;

// MessageBox flags: buttons in the low nibble, icon in the next.
inline constexpr Cardinal MB_OK = 0x00;
inline constexpr Cardinal MB_OKCANCEL = 0x01;
inline constexpr Cardinal MB_ABORTRETRYIGNORE = 0x02;
inline constexpr Cardinal MB_YESNOCANCEL = 0x03;
inline constexpr Cardinal MB_YESNO = 0x04;
inline constexpr Cardinal MB_RETRYCANCEL = 0x05;
inline constexpr Cardinal MB_ICONHAND = 0x10;
inline constexpr Cardinal MB_ICONERROR = MB_ICONHAND;
inline constexpr Cardinal MB_ICONSTOP = MB_ICONHAND;
inline constexpr Cardinal MB_ICONQUESTION = 0x20;
inline constexpr Cardinal MB_ICONEXCLAMATION = 0x30;
inline constexpr Cardinal MB_ICONWARNING = MB_ICONEXCLAMATION;
inline constexpr Cardinal MB_ICONASTERISK = 0x40;
inline constexpr Cardinal MB_ICONINFORMATION = MB_ICONASTERISK;
inline constexpr Cardinal MB_TYPEMASK = 0x0F;
inline constexpr Cardinal MB_ICONMASK = 0xF0;

// MessageBox answers.
inline constexpr Integer IDOK = 1;
inline constexpr Integer IDCANCEL = 2;
inline constexpr Integer IDABORT = 3;
inline constexpr Integer IDRETRY = 4;
inline constexpr Integer IDIGNORE = 5;
inline constexpr Integer IDYES = 6;
inline constexpr Integer IDNO = 7;

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll,
                  mbYesToAll, mbHelp };
using TMsgDlgButtons = unsigned;
constexpr TMsgDlgButtons MsgDlgButton(TMsgDlgBtn B) { return 1u << unsigned(B); }
inline constexpr TMsgDlgButtons mbYesNo = (1u << mbYes) | (1u << mbNo);
inline constexpr TMsgDlgButtons mbYesNoCancel = mbYesNo | (1u << mbCancel);
inline constexpr TMsgDlgButtons mbOKCancel = (1u << mbOK) | (1u << mbCancel);
inline constexpr TMsgDlgButtons mbOKOnly = 1u << mbOK;

// The caption a message dialog of this type carries ("Warning", "Error", "Information",
// "Confirm"; empty for mtCustom, which shows the application's title).
AnsiString MsgDlgCaption(TMsgDlgType Type);

// File dialog options (the framework's TOpenOptions that mean something here).
using TOpenOptions = unsigned;
inline constexpr TOpenOptions ofReadOnly = 1u << 0;
inline constexpr TOpenOptions ofOverwritePrompt = 1u << 1;
inline constexpr TOpenOptions ofHideReadOnly = 1u << 2;
inline constexpr TOpenOptions ofNoChangeDir = 1u << 3;
inline constexpr TOpenOptions ofAllowMultiSelect = 1u << 9;
inline constexpr TOpenOptions ofPathMustExist = 1u << 11;
inline constexpr TOpenOptions ofFileMustExist = 1u << 12;
inline constexpr TOpenOptions ofCreatePrompt = 1u << 13;
inline constexpr TOpenOptions ofEnableSizing = 1u << 19;

enum TFileDialogKind { fdOpen, fdSave };

// What a file dialog is asked to show, and what it answers.
struct TFileDialogRequest {
  TFileDialogKind Kind = fdOpen;
  AnsiString Title;
  // The framework's filter text: "Description|pattern;pattern|Description|pattern|...".
  AnsiString Filter;
  Integer FilterIndex = 1;  // 1-based
  AnsiString DefaultExt;
  AnsiString FileName;
  AnsiString InitialDir;
  TOpenOptions Options = 0;
};
struct TFileDialogAnswer {
  bool Accepted = false;
  std::vector<AnsiString> FileNames;  // one unless ofAllowMultiSelect
  Integer FilterIndex = 1;
};

struct TFontChoice {
  AnsiString Name;
  Integer Size = 0;
  TColor Color = 0;
  unsigned StyleBits = 0;  // TFontStyles bits
};

// Clipboard format ids: the desktop's standard ids, and ids from 0xC000 for named formats.
using TClipFormat = Word;
inline constexpr TClipFormat CF_TEXT = 1;
inline constexpr TClipFormat CF_BITMAP = 2;
inline constexpr TClipFormat CF_DIB = 8;
inline constexpr TClipFormat CF_UNICODETEXT = 13;
inline constexpr TClipFormat CF_HDROP = 15;

// A clipboard's contents: a byte block per format.
using TClipboardData = std::map<TClipFormat, std::vector<Byte>>;

class TPlatformServices {
 public:
  virtual ~TPlatformServices() = default;

  // Owner may be nil. Returns one of IDOK, IDCANCEL, IDYES, IDNO, ...
  virtual Integer MessageBox(TWinControl* Owner, const AnsiString& Text, const AnsiString& Caption,
                             Cardinal Flags) = 0;
  // Returns the modal result of the button pressed (mrYes, mrNo, mrOk, ...).
  virtual Integer MessageDlg(const AnsiString& Text, TMsgDlgType Type, TMsgDlgButtons Buttons) = 0;
  virtual TFileDialogAnswer FileDialog(const TFileDialogRequest& Request) = 0;
  // Folder is preselected when it names a folder; on OK it receives the chosen folder.
  virtual bool BrowseForFolder(const AnsiString& Caption, const AnsiString& Root,
                               AnsiString& Folder) = 0;
  virtual bool ChooseColor(TColor& Color) = 0;
  virtual bool ChooseFont(TFontChoice& Font) = 0;
  // Opens a folder in the file manager, or a web address in the browser.
  virtual bool ShellOpen(const AnsiString& Target) = 0;

  // The clipboard as blocks per format. CF_TEXT holds UTF-8 text without a final NUL.
  virtual void SetClipboard(const TClipboardData& Data) = 0;
  virtual TClipboardData GetClipboard() = 0;
};

// The service object in force (the Qt one unless replaced).
TPlatformServices* PlatformServices();
// Installs Services (nil: the default) and returns the one it replaces. The caller keeps
// ownership.
TPlatformServices* SetPlatformServices(TPlatformServices* Services);

// The framework's convenience calls, all through the service object.
void ShowMessage(const AnsiString& Text);
Integer MessageDlg(const AnsiString& Text, TMsgDlgType Type, TMsgDlgButtons Buttons,
                   Integer HelpCtx = 0);
// A message box owned by Owner (nil: the active window).
Integer MessageBox(TWinControl* Owner, const AnsiString& Text, const AnsiString& Caption,
                   Cardinal Flags);
bool ShellOpen(const AnsiString& Target);
