// The common dialogs as components: open and save, folder browser, colour, font. Execute goes
// through the service object.
#pragma once

#include <vector>

#include "platform/gui/services.h"
#include "platform/rtl/classes.h"

class TFont;

// One entry of a filter text "Description|pattern;pattern|...".
struct TFilterEntry {
  AnsiString Description;
  std::vector<AnsiString> Patterns;
};

// Splits a filter text into its entries. A trailing "|" and empty patterns are ignored; a
// description without its pattern part is dropped.
std::vector<TFilterEntry> ParseDialogFilter(const AnsiString& Filter);
// True when the file name (without folder) matches the wildcard pattern ("*", "?"), compared
// without regard to case.
bool MatchesFilterPattern(const AnsiString& FileName, const AnsiString& Pattern);

class TOpenDialog : public TComponent {
 public:
  explicit TOpenDialog(TComponent* AOwner);

  const AnsiString& Filter() const { return FFilter; }
  void SetFilter(const AnsiString& Value) { FFilter = Value; }
  Integer FilterIndex() const { return FFilterIndex; }
  void SetFilterIndex(Integer Value) { FFilterIndex = Value; }
  const AnsiString& DefaultExt() const { return FDefaultExt; }
  void SetDefaultExt(const AnsiString& Value) { FDefaultExt = Value; }
  const AnsiString& FileName() const { return FFileName; }
  void SetFileName(const AnsiString& Value) { FFileName = Value; }
  const std::vector<AnsiString>& Files() const { return FFiles; }
  const AnsiString& InitialDir() const { return FInitialDir; }
  void SetInitialDir(const AnsiString& Value) { FInitialDir = Value; }
  const AnsiString& Title() const { return FTitle; }
  void SetTitle(const AnsiString& Value) { FTitle = Value; }
  TOpenOptions Options() const { return FOptions; }
  void SetOptions(TOpenOptions Value) { FOptions = Value; }

  // Shows the dialog; on OK FileName, Files and FilterIndex hold the choice. A chosen name
  // without an extension receives "." + DefaultExt when DefaultExt is set.
  virtual bool Execute();

 protected:
  TFileDialogKind FKind = fdOpen;

 private:
  AnsiString FFilter;
  Integer FFilterIndex = 1;
  AnsiString FDefaultExt;
  AnsiString FFileName;
  std::vector<AnsiString> FFiles;
  AnsiString FInitialDir;
  AnsiString FTitle;
  TOpenOptions FOptions = ofHideReadOnly | ofEnableSizing;
};

class TSaveDialog : public TOpenDialog {
 public:
  explicit TSaveDialog(TComponent* AOwner);
};

class TColorDialog : public TComponent {
 public:
  explicit TColorDialog(TComponent* AOwner) : TComponent(AOwner) {}
  TColor Color() const { return FColor; }
  void SetColor(TColor Value) { FColor = Value; }
  bool Execute();

 private:
  TColor FColor = clBlack;
};

class TFontDialog : public TComponent {
 public:
  explicit TFontDialog(TComponent* AOwner);
  ~TFontDialog() override;
  TFont* Font() const { return FFont; }
  void SetFont(TFont* Value);
  bool Execute();

 private:
  TFont* FFont = nullptr;
};

// The folder browser: Folder is preselected when it names an existing folder (else emptied
// first); on OK it receives the chosen folder and the answer is true.
bool SelectDirectory(const AnsiString& Caption, const AnsiString& Root, AnsiString& Folder);
