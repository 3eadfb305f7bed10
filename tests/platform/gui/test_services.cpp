#include <gtest/gtest.h>

#include "platform/gui/application.h"
#include "platform/gui/clipboard.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/graphics.h"
#include "platform/rtl/files.h"
#include "tests/support/fixtures.h"
#include "tests/support/scripted_services.h"

namespace {

using testsupport::ScriptedAnswer;
using testsupport::ScriptedServices;

TEST(DialogFilter, ParsesTheFrameworkSyntax) {
  // The audio save dialog's filter: pairs of a shown pattern and a matching pattern, ending in "|".
  auto E = ParseDialogFilter("*.WAV|*.wav|*.MP3|*.mp3|");
  ASSERT_EQ(E.size(), 2u);
  EXPECT_EQ(E[0].Description, "*.WAV");
  EXPECT_EQ(E[0].Patterns, (std::vector<AnsiString>{"*.wav"}));
  EXPECT_EQ(E[1].Description, "*.MP3");

  auto V = ParseDialogFilter("Video Files|*.AVI;*.MPG; *.MP4;|All|*.*");
  ASSERT_EQ(V.size(), 2u);
  EXPECT_EQ(V[0].Patterns, (std::vector<AnsiString>{"*.AVI", "*.MPG", "*.MP4"}));
  EXPECT_EQ(V[1].Patterns, (std::vector<AnsiString>{"*.*"}));

  EXPECT_TRUE(ParseDialogFilter("").empty());
  EXPECT_TRUE(ParseDialogFilter("Only a description").empty());
}

TEST(DialogFilter, PatternsMatchWithoutRegardToCase) {
  struct Case {
    const char* Name;
    const char* Pattern;
    bool Match;
  } Cases[] = {
      {"/v/movie.mp4", "*.MP4", true}, {"/v/MOVIE.MP4", "*.mp4", true}, {"/v/movie.mp4", "*.avi", false},
      {"/v/readme", "*.*", true},      {"/v/a.b.c", "*.c", true},       {"/v/clip1.ts", "clip?.ts", true},
      {"/v/clip10.ts", "clip?.ts", false}, {"/v/x.tar.gz", "*.tar.*", true}, {"/v/aaa", "*a*a*a*a", false},
  };
  for (const Case& C : Cases) EXPECT_EQ(MatchesFilterPattern(C.Name, C.Pattern), C.Match) << C.Name << " " << C.Pattern;
}

TEST(FileDialogs, ExecuteGoesThroughTheServiceAndAppliesTheDefaultExtension) {
  ScriptedServices Script;
  TSaveDialog Save(nullptr);
  Save.SetFilter("*.WAV|*.wav|*.MP3|*.mp3|");
  Save.SetDefaultExt("wav");
  Save.SetTitle("Save audio");

  // Cancelled: nothing changes.
  Save.SetFileName("keep");
  EXPECT_FALSE(Save.Execute());
  EXPECT_EQ(Save.FileName(), "keep");

  ScriptedAnswer A;
  A.Result = 1;
  A.Files = {"/out/track"};
  A.FilterIndex = 2;
  Script.Script("SaveDialog", A);
  Save.SetFileName("");
  ASSERT_TRUE(Save.Execute());
  EXPECT_EQ(Save.FileName(), "/out/track.wav");
  EXPECT_EQ(Save.FilterIndex(), 2);
  // A name that has an extension keeps it.
  A.Files = {"/out/track.MP3"};
  Script.Script("SaveDialog", A);
  ASSERT_TRUE(Save.Execute());
  EXPECT_EQ(Save.FileName(), "/out/track.MP3");

  auto Calls = Script.CallsOf("SaveDialog");
  ASSERT_EQ(Calls.size(), 3u);
  EXPECT_EQ(Calls[1].Caption, "Save audio");
  EXPECT_EQ(Calls[1].File.Filter, "*.WAV|*.wav|*.MP3|*.mp3|");
  EXPECT_EQ(Calls[1].File.FilterIndex, 1);
  EXPECT_EQ(Calls[1].File.Kind, fdSave);

  TOpenDialog Open(nullptr);
  A.Files = {"/v/movie.avi"};
  Script.Script("OpenDialog", A);
  ASSERT_TRUE(Open.Execute());
  EXPECT_EQ(Open.FileName(), "/v/movie.avi");
}

TEST(FolderBrowser, PreselectsAnExistingFolderOnlyAndRecordsTheCall) {
  ScriptedServices Script;
  std::string Dir = testsupport::MakeTempDir("folder");
  AnsiString Folder = Dir;
  ScriptedAnswer A;
  A.Result = 1;
  A.Folder = "/chosen";
  Script.Script("Folder", A);
  EXPECT_TRUE(SelectDirectory("Select an output folder for output files", "", Folder));
  EXPECT_EQ(Folder, "/chosen");

  // A folder that does not exist is not offered; cancelling leaves it emptied.
  Folder = Dir + "/missing";
  EXPECT_FALSE(SelectDirectory("Again", "", Folder));
  EXPECT_EQ(Folder, "");

  auto Calls = Script.CallsOf("Folder");
  ASSERT_EQ(Calls.size(), 2u);
  EXPECT_EQ(Calls[0].Caption, "Select an output folder for output files");
  EXPECT_EQ(Calls[0].Folder, Dir);
  EXPECT_EQ(Calls[1].Folder, "");
  testsupport::RemoveTree(Dir);
}

TEST(MessageBoxes, RecordTextCaptionAndIconAndReturnTheScriptedAnswer) {
  ScriptedServices Script;
  Application->SetTitle("Clavorne Pro");
  EXPECT_EQ(MessageBox(nullptr, "load DLL error!", "", MB_ICONHAND), IDOK);
  ScriptedAnswer No;
  No.Result = mrNo;
  Script.Script("MessageDlg", No);
  EXPECT_EQ(MessageDlg("x.wav already exists.\rDo you want to replace it?", mtConfirmation, mbYesNo), mrNo);
  ShowMessage("Hello");
  ASSERT_TRUE(ShellOpen("/out"));

  ASSERT_EQ(Script.Calls.size(), 4u);
  EXPECT_EQ(Script.Calls[0].Text, "load DLL error!");
  EXPECT_EQ(Script.Calls[0].Caption, "");
  EXPECT_EQ(Script.Calls[0].Flags & MB_ICONMASK, MB_ICONSTOP);
  EXPECT_EQ(Script.Calls[1].Caption, "Confirm");
  EXPECT_EQ(Script.Calls[1].Buttons, mbYesNo);
  EXPECT_EQ(Script.Calls[2].Caption, "Clavorne Pro");
  EXPECT_EQ(Script.Calls[3].Kind, "ShellOpen");
  EXPECT_EQ(Script.Calls[3].Folder, "/out");
}

TEST(Clipboard, NamedFormatsAndBlocksRoundTrip) {
  TClipFormat A = RegisterClipboardFormat("Clavorne Layer");
  EXPECT_GE(A, 0xC000);
  EXPECT_EQ(RegisterClipboardFormat("clavorne layer"), A);
  EXPECT_NE(RegisterClipboardFormat("Clavorne Vector"), A);
  EXPECT_EQ(ClipboardFormatName(A), "Clavorne Layer");
  EXPECT_EQ(RegisterClipboardFormat(""), 0);

  auto RoundTrip = [&] {
    std::vector<Byte> Block = {0, 1, 2, 255, 0, 7};
    Clipboard()->Open();
    Clipboard()->SetAsText("frame 12");
    Clipboard()->SetAsHandle(A, Block);
    Clipboard()->Close();
    EXPECT_EQ(Clipboard()->AsText(), "frame 12");
    EXPECT_TRUE(Clipboard()->HasFormat(A));
    EXPECT_EQ(Clipboard()->GetAsHandle(A), Block);
    // Outside Open/Close each call replaces the content.
    Clipboard()->SetAsText("only text");
    EXPECT_FALSE(Clipboard()->HasFormat(A));
    EXPECT_EQ(Clipboard()->AsText(), "only text");
  };
  {
    ScriptedServices Script;
    RoundTrip();
  }
  // The same through the desktop's clipboard.
  RoundTrip();
}

TEST(FontAndColorDialogs, CarryTheChoiceBack) {
  ScriptedServices Script;
  TColorDialog C(nullptr);
  ScriptedAnswer A;
  A.Result = 1;
  A.Color = clNavy;
  Script.Script("Color", A);
  ASSERT_TRUE(C.Execute());
  EXPECT_EQ(C.Color(), clNavy);

  TFontDialog F(nullptr);
  A.Font.Name = "Courier New";
  A.Font.Size = 12;
  A.Font.StyleBits = TFontStyles{fsBold}.Bits();
  Script.Script("Font", A);
  ASSERT_TRUE(F.Execute());
  EXPECT_EQ(F.Font()->Name(), "Courier New");
  EXPECT_EQ(F.Font()->Size(), 12);
  EXPECT_TRUE(F.Font()->Style().Contains(fsBold));
  EXPECT_FALSE(F.Execute());  // cancelled
  EXPECT_EQ(F.Font()->Size(), 12);
}

}  // namespace
