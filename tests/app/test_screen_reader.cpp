// The program's windows as a screen reader reads them: the real windows on an X server, read
// over the desktop's accessibility bus (AT-SPI over D-Bus) by a reader in a process of its own,
// the way Orca reads them.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <thread>
#include <unistd.h>

#include "app/about_box.h"
#include "app/crop_dialogs.h"
#include "app/transform_dialogs.h"
#include "imaging/io/ie_preview_params_dialog.h"
#include "imaging/io/ie_zodiver_io.h"
#include "platform/gui/application.h"
#include "platform/gui/input_simulation.h"
#include "tests/app/app_windows_fixture.h"

namespace {

const char* const kOutputVariable = "CLV_SCREEN_READER_OUT";

// What the reader said of one object.
struct Spoken {
  int Depth = 0;
  std::string Role, Name, States, Value, Actions;
  bool Has(const std::string& State) const { return ("," + States + ",").find("," + State + ",") != std::string::npos; }
};

// The reader's account of each scene, by scene name.
using Account = std::map<std::string, std::vector<Spoken>>;

std::vector<std::string> Split(const std::string& Line, char Sep) {
  std::vector<std::string> Parts;
  std::string Part;
  std::istringstream In(Line);
  while (std::getline(In, Part, Sep)) Parts.push_back(Part);
  if (!Line.empty() && Line.back() == Sep) Parts.push_back("");
  return Parts;
}

Account Parse(const std::string& Text) {
  Account A;
  std::string Scene;
  std::istringstream In(Text);
  for (std::string Line; std::getline(In, Line);) {
    if (Line.rfind("SCENE ", 0) == 0) {
      Scene = Line.substr(6);
      A[Scene];
      continue;
    }
    std::vector<std::string> P = Split(Line, '\t');
    if (P.size() < 6 || Scene.empty()) continue;
    A[Scene].push_back({std::atoi(P[0].c_str()), P[1], P[2], P[3], P[4], P[5]});
  }
  return A;
}

// An X server and a session bus of the test's own, for a child process to show its windows
// on; the accessibility bus is started on demand by the session bus, as on a desktop. A child
// (which inherits the environment) finds the session running and uses it.
class DesktopSession {
 public:
  DesktopSession() {
    if (const char* Out = std::getenv(kOutputVariable)) {
      FOutput = Out;
      return;
    }
    FOwner = true;
    FDir = testsupport::MakeTempDir("screenreader");
    const std::string Script =
        "cd " + testsupport::ShellQuote(FDir) + " && "
        "(Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>fd </dev/null >/dev/null 2>&1 & echo $! >xvfb.pid) && "
        "for i in $(seq 100); do [ -s fd ] && break; sleep 0.1; done && "
        // The accessibility bus puts its socket in the runtime folder: one of the test's own.
        "mkdir -m 700 run && XDG_RUNTIME_DIR=$PWD/run DISPLAY=:$(cat fd) "
        "dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1 </dev/null >bus 2>/dev/null && "
        "echo :$(cat fd)";
    std::string Display;
    testsupport::Run(Script, &Display);
    Display = Display.substr(0, Display.find('\n'));
    std::ifstream Bus(FDir + "/bus");
    std::string Address, Pid;
    std::getline(Bus, Address);
    std::getline(Bus, Pid);
    FBusPid = Pid;
    FOutput = FDir + "/spoken.txt";
    EXPECT_FALSE(Display.size() < 2 || Address.empty()) << "no X server or session bus: " << Display;
    for (const char* Name : {"DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "QT_QPA_PLATFORM", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON",
                             "AT_SPI_BUS_ADDRESS", kOutputVariable}) {
      const char* V = std::getenv(Name);
      FSaved.emplace_back(Name, V ? std::optional<std::string>(V) : std::nullopt);
    }
    setenv("DISPLAY", Display.c_str(), 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", Address.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1", 1);
    unsetenv("AT_SPI_BUS_ADDRESS");
    setenv(kOutputVariable, FOutput.c_str(), 1);
  }
  ~DesktopSession() {
    if (!FOwner) return;
    for (const auto& [Name, Value] : FSaved) {
      if (Value)
        setenv(Name.c_str(), Value->c_str(), 1);
      else
        unsetenv(Name.c_str());
    }
    // The accessibility bus and its registry end with the session bus they were started from.
    testsupport::Run("cd " + testsupport::ShellQuote(FDir) + " && kill $(cat xvfb.pid) " + FBusPid + " 2>/dev/null");
    testsupport::RemoveTree(FDir);
  }
  const std::string& Output() const { return FOutput; }
  std::string Heard() const {
    std::ifstream In(FOutput);
    std::stringstream S;
    S << In.rdbuf();
    return S.str();
  }

 private:
  bool FOwner = false;
  std::string FDir, FOutput, FBusPid;
  std::vector<std::pair<std::string, std::optional<std::string>>> FSaved;
};

// The reader's account of this process's showing windows (but the one named Skip); the loop
// runs meanwhile, so the windows can answer it.
std::string ReadAloud(const std::string& Skip = "") {
  const std::string Command = "/usr/bin/python3 " +
                              testsupport::ShellQuote(std::string(CLAVORNE_SOURCE_DIR) + "/tests/app/screen_reader.py") +
                              " " + std::to_string(getpid()) + (Skip.empty() ? "" : " " + testsupport::ShellQuote(Skip)) +
                              " 2>&1";
  std::string Text;
  std::atomic<bool> Done{false};
  std::thread Reader([&] {
    testsupport::Run(Command, &Text);
    Done = true;
  });
  while (!Done) {
    Application->ProcessMessages();
    usleep(5000);
  }
  Reader.join();
  return Text;
}

// In the child: the program's windows as start-up makes them, a clip loaded, then the main
// window and each dialog read while it is open.
void ReadWindowsAloud(const std::string& Output) {
  testsupport::ScriptedServices services;
  Tmain* main = apptest::ShowProgramWithVideo(apptest::Clip(2));
  main->radio_fps->SetChecked(true);
  Application->ProcessMessages();
  std::string All = "SCENE main\n" + ReadAloud();

  auto ReadWhileOpen = [&](TCustomForm* Dialog, const std::string& Scene, const std::function<void()>& Open) {
    TTimer Look(nullptr);
    Look.SetInterval(50);
    Look.OnTimer = [&](TObject*) {
      if (!Dialog->Modal()) return;
      Look.SetEnabled(false);
      All += "SCENE " + Scene + "\n" + ReadAloud(main->Caption());
      Dialog->Close();
    };
    Look.SetEnabled(true);
    Open();
  };
  ReadWhileOpen(effects, "effects", [&] { main->Button3Click(main->Button3); });
  ReadWhileOpen(about, "about", [&] { main->Help1Click(nullptr); });
  ReadWhileOpen(setcrop, "setcrop", [&] { main->bt_setcropClick(main->bt_setcrop); });
  // The imaging library's save-parameter dialog, which exists only while DoPreviews runs.
  TZodivErIO IO(nullptr);
  IO.MsgLanguage = msEnglish;
  IO.SimplifiedParamsDialogs = false;
  IO.PreviewsParams = 1u << ioppApplyButton;
  IO.MakeConsistentBitmap(0);
  IO.IEBitmap()->Allocate(40, 30, ie24RGB);
  IO.IOParams()->FileType = ioJPEG;
  IO.OnIOPreview = [&](TObject*, TForm* Form) {
    auto* Dialog = static_cast<TfIOPreviews*>(Form);
    auto* Look = new TTimer(Dialog);
    Look->SetInterval(50);
    Look->OnTimer = [&, Dialog, Look](TObject*) {
      if (!Dialog->Modal() || !Dialog->Activated) return;
      Look->SetEnabled(false);
      All += "SCENE previews\n" + ReadAloud(main->Caption());
      Dialog->Close();
    };
    Look->SetEnabled(true);
  };
  IO.DoPreviews(IEPreviewPage(ppAUTO));
  std::ofstream(Output) << All;
  std::_Exit(0);
}

const Spoken* Find(const std::vector<Spoken>& Scene, const std::string& Role, const std::string& Name) {
  for (const Spoken& S : Scene)
    if (S.Role == Role && S.Name == Name) return &S;
  return nullptr;
}

// The objects directly under the one at Index.
std::vector<Spoken> ChildrenOf(const std::vector<Spoken>& Scene, size_t Index) {
  std::vector<Spoken> Children;
  for (size_t I = Index + 1; I < Scene.size() && Scene[I].Depth > Scene[Index].Depth; ++I)
    if (Scene[I].Depth == Scene[Index].Depth + 1) Children.push_back(Scene[I]);
  return Children;
}

TEST(ScreenReader, ReadsEveryControlsRoleNameAndValueOverTheAccessibilityBus) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  DesktopSession session;
  EXPECT_EXIT(ReadWindowsAloud(session.Output()), ::testing::ExitedWithCode(0), "");
  const std::string Text = session.Heard();
  if (std::getenv("CLV_SHOW_SPOKEN")) std::fprintf(stderr, "%s", Text.c_str());
  Account A = Parse(Text);
  ASSERT_EQ(A.size(), 5u) << Text;
  const std::vector<Spoken>& Main = A["main"];
  ASSERT_FALSE(Main.empty()) << Text;
  EXPECT_EQ(Main[0].Role, "frame") << Text;
  EXPECT_EQ(Main[0].Name, "Clavorne Pro 1.2.7");

  // The cut sliders: sliders, each saying which end it sets, with the value of that end.
  const Spoken* start = Find(Main, "slider", "Cut start");
  const Spoken* end = Find(Main, "slider", "Cut end");
  ASSERT_TRUE(start && end) << Text;
  EXPECT_EQ(start->Value, "0..50=0");
  EXPECT_EQ(end->Value, "0..50=50");
  EXPECT_EQ(Find(Main, "filler", " Cut "), nullptr) << Text;

  // The output pages: a page tab list whose tabs speak their captions, the active one selected.
  size_t tabList = Main.size();
  for (size_t I = 0; I < Main.size(); ++I)
    if (Main[I].Role == "page tab list" && !ChildrenOf(Main, I).empty() && ChildrenOf(Main, I)[0].Role == "page tab")
      tabList = I;
  ASSERT_LT(tabList, Main.size()) << Text;
  std::vector<std::string> tabs;
  for (const Spoken& C : ChildrenOf(Main, tabList))
    if (C.Role == "page tab") tabs.push_back(C.Name + (C.Has("selected") ? "*" : ""));
  EXPECT_EQ(tabs, (std::vector<std::string>{"Images*", "Audio", "Video"}));

  // The previews are named, and say a click does something.
  for (const char* name : {"Start picture", "End picture"}) {
    const Spoken* picture = Find(Main, "image", name);
    ASSERT_TRUE(picture) << name << "\n" << Text;
    EXPECT_NE(picture->Actions, "") << name;
  }

  // Each field is named after its own caption, not by its value or a neighbour's word.
  for (const char* name : {"Frame Per Second (FPS)", "Custom width", "Custom height", "Every Seconds", "Every Frames",
                           "Maximum Length", "As This String"}) {
    bool found = false;
    for (const Spoken& S : Main) found = found || S.Name == name;
    EXPECT_TRUE(found) << name << "\n" << Text;
  }
  EXPECT_TRUE(Find(Main, "combo box", "Frame Per Second (FPS)")) << Text;
  for (const Spoken& S : Main) {
    if (S.Role != "label") {
      EXPECT_NE(S.Name, "X") << S.Role;
    }
    if (S.Role == "combo box") {
      EXPECT_NE(S.Name, "25");
    }
    EXPECT_FALSE(S.Role != "radio button" && S.Role != "label" && S.Name == "Every") << S.Role;
  }

  // Only what shows can have the focus: a closed list's current item is not focused.
  for (const auto& [scene, spoken] : A)
    for (const Spoken& S : spoken)
      EXPECT_FALSE(S.Has("focused") && !S.Has("showing")) << scene << ": " << S.Role << " " << S.Name;

  // The dialogs are dialogs (the main window, which shows behind each, is not read again).
  for (const char* scene : {"effects", "about", "setcrop", "previews"}) {
    std::vector<Spoken> windows;
    for (const Spoken& S : A[scene])
      if (S.Depth == 0) windows.push_back(S);
    ASSERT_EQ(windows.size(), 1u) << scene << "\n" << Text;
    EXPECT_EQ(windows[0].Role, "dialog") << scene << "\n" << Text;
    if (std::string(scene) == "effects") {
      EXPECT_EQ(windows[0].Name, "Transform");
    }
  }

  // The save-parameter dialog: the fields of its page are named by their captions and its
  // slider says what it sets, with the quality it holds. (The other pages are read too, as not
  // showing.)
  const std::vector<Spoken>& Previews = A["previews"];
  ASSERT_FALSE(Previews.empty()) << Text;
  EXPECT_EQ(Previews[0].Name, "Parameters Preview") << Text;
  auto Showing = [&](const std::string& Role, const std::string& Name) -> const Spoken* {
    for (const Spoken& S : Previews)
      if (S.Role == Role && S.Name == Name && S.Has("showing")) return &S;
    return nullptr;
  };
  const Spoken* quality = Showing("slider", "Quality");
  ASSERT_TRUE(quality) << Text;
  EXPECT_EQ(quality->Value, "0..100=80");
  EXPECT_TRUE(Showing("text", "Quality:")) << Text;
  for (const char* name : {"DCT method:", "Photometric:"}) EXPECT_TRUE(Showing("combo box", name)) << name;
  for (const char* name : {"Optimal Huffman", "Progressive", "Lock preview"})
    EXPECT_TRUE(Showing("check box", name)) << name;
  for (const char* name : {"OK", "Cancel", "Preview", "Apply"}) EXPECT_TRUE(Showing("push button", name)) << name;
  EXPECT_TRUE(Showing("page tab", "JPEG")) << Text;
}

}  // namespace
