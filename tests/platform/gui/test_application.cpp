#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "platform/gui/application.h"
#include "platform/gui/dragdrop.h"
#include "platform/gui/input_simulation.h"
#include "platform/gui/timers.h"
#include "platform/rtl/mainthread.h"
#include "tests/platform/gui/application_test_access.h"
#include "tests/support/scripted_services.h"

namespace {

using testsupport::ScriptedAnswer;
using testsupport::ScriptedServices;

// Pumps the loop until Done or two seconds have passed.
bool PumpUntil(const std::function<bool()>& Done) {
  auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!Done()) {
    if (std::chrono::steady_clock::now() > Deadline) return false;
    Application->ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

TEST(Application, HandleExceptionShowsMessagesAndStaysSilentForAbort) {
  ScriptedServices Script;
  Application->SetTitle("Clavorne Pro");
  struct Case {
    std::function<void()> Raise;
    const char* Shown;  // nullptr: nothing shown
  } Cases[] = {
      {[] { throw Exception("Disk full"); }, "Disk full."},
      {[] { throw Exception("Process Error! Please try again!"); }, "Process Error! Please try again!"},
      {[] { throw std::runtime_error("bad alloc"); }, "bad alloc."},
      {[] { throw EAbort("quiet"); }, nullptr},
  };
  for (const Case& C : Cases) {
    Script.Calls.clear();
    GuardedCall(nullptr, C.Raise);
    if (C.Shown) {
      ASSERT_EQ(Script.Calls.size(), 1u);
      EXPECT_EQ(Script.Calls[0].Kind, "MessageBox");
      EXPECT_EQ(Script.Calls[0].Text, C.Shown);
      EXPECT_EQ(Script.Calls[0].Caption, "Clavorne Pro");
      EXPECT_EQ(Script.Calls[0].Flags, MB_OK | MB_ICONSTOP);
    } else {
      EXPECT_TRUE(Script.Calls.empty());
    }
  }
  // OnException takes the place of the message box.
  AnsiString Seen;
  Application->OnException = [&](TObject*, Exception& E) { Seen = E.Message; };
  Script.Calls.clear();
  GuardedCall(nullptr, [] { throw Exception("hooked"); });
  Application->OnException = nullptr;
  EXPECT_EQ(Seen, "hooked");
  EXPECT_TRUE(Script.Calls.empty());
}

TEST(Application, ExceptionInTimerHandlerEndsInMessageBoxNotInQt) {
  ScriptedServices Script;
  TTimer T(nullptr);
  T.SetInterval(2);
  T.OnTimer = [&](TObject*) {
    T.SetEnabled(false);
    throw Exception("timer failed");
  };
  T.SetEnabled(true);
  ASSERT_TRUE(PumpUntil([&] { return !Script.Calls.empty(); }));
  EXPECT_EQ(Script.Calls[0].Text, "timer failed.");
}

// The program's runs are chains of one-shot 2 ms timers that run inside a modal dialog.
TEST(Application, OneShotTimerChainRunsInsideShowModal) {
  TForm Dialog(nullptr);
  std::vector<int> Order;
  std::vector<std::unique_ptr<TTimer>> Timers;
  for (int I = 0; I < 5; ++I) {
    Timers.push_back(std::make_unique<TTimer>(nullptr));
    Timers.back()->SetEnabled(false);
    Timers.back()->SetInterval(2);
  }
  for (int I = 0; I < 5; ++I) {
    Timers[I]->OnTimer = [&, I](TObject*) {
      Timers[I]->SetEnabled(false);
      Order.push_back(I);
      if (I + 1 < 5)
        Timers[I + 1]->SetEnabled(true);
      else
        Dialog.Close();
    };
  }
  Timers[0]->SetEnabled(true);
  auto Start = std::chrono::steady_clock::now();
  EXPECT_EQ(Dialog.ShowModal(), mrCancel);
  auto Took = std::chrono::steady_clock::now() - Start;
  EXPECT_EQ(Order, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_LT(Took, std::chrono::seconds(2));
  EXPECT_FALSE(Dialog.Visible());
}

// A worker's hand-over to the main thread is served in every loop the main thread runs.
TEST(Application, WorkerSynchronizeServedInModalLoopMessageBoxAndProcessMessages) {
  const std::thread::id Main = std::this_thread::get_id();

  // Inside ShowModal: the worker's call closes the dialog.
  {
    TForm Dialog(nullptr);
    std::thread::id RanOn;
    TTimer Kick(nullptr);
    Kick.SetInterval(2);
    std::thread Worker;
    Kick.OnTimer = [&](TObject*) {
      Kick.SetEnabled(false);
      Worker = std::thread([&] {
        Synchronize([&] {
          RanOn = std::this_thread::get_id();
          Dialog.Close();
        });
      });
    };
    EXPECT_EQ(Dialog.ShowModal(), mrCancel);
    Worker.join();
    EXPECT_EQ(RanOn, Main);
  }

  // Inside a (scripted) message box that stays open until the worker's call has run.
  {
    ScriptedServices Script;
    std::atomic<bool> Served{false};
    std::thread Worker;
    ScriptedAnswer A;
    A.Result = IDOK;
    A.WhileOpen = [&] {
      Worker = std::thread([&] { Synchronize([&] { Served = std::this_thread::get_id() == Main; }); });
    };
    A.WaitUntil = [&] { return Served.load(); };
    Script.Script("MessageBox", A);
    EXPECT_EQ(Application->MessageBox("Working", "", MB_OK), IDOK);
    Worker.join();
    ASSERT_EQ(Script.Calls.size(), 1u);
    EXPECT_FALSE(Script.Calls[0].TimedOut);
    EXPECT_TRUE(Served);
  }

  // Inside ProcessMessages, with several workers at once.
  {
    std::atomic<int> Done{0};
    std::vector<std::thread> Workers;
    for (int I = 0; I < 4; ++I)
      Workers.emplace_back([&] {
        for (int K = 0; K < 25; ++K)
          Synchronize([&] {
            if (std::this_thread::get_id() == Main) ++Done;
          });
      });
    EXPECT_TRUE(PumpUntil([&] { return Done.load() == 100; }));
    for (auto& W : Workers) W.join();
  }
}

TEST(Application, CloseBeforeModalLoopStartsIsKeptOnlyUntilTheLoopRuns) {
  // Closed, then shown modally in the same turn of the loop: the loop ends at once.
  {
    TForm Dialog(nullptr);
    Dialog.Close();
    auto Start = std::chrono::steady_clock::now();
    EXPECT_EQ(Dialog.ShowModal(), mrCancel);
    EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(1));
  }
  // A close of an already closed dialog does not end a later run's dialog.
  {
    TForm Dialog(nullptr);
    Dialog.Close();
    Application->ProcessMessages();
    TTimer Answer(nullptr);
    Answer.SetInterval(5);
    Answer.OnTimer = [&](TObject*) {
      Answer.SetEnabled(false);
      Dialog.SetModalResult(mrOk);
    };
    EXPECT_EQ(Dialog.ShowModal(), mrOk);
  }
}

class TStartForm : public TForm {
 public:
  explicit TStartForm(TComponent* AOwner) : TForm(AOwner) {
    OnCreate = [this](TObject*) { SeenSelf = (Created == this); };
  }
  static TStartForm* Created;
  bool SeenSelf = false;
};
TStartForm* TStartForm::Created = nullptr;

TEST(Application, CreateFormAndRunEndWhenTheMainFormCloses) {
  ASSERT_EQ(Application->MainForm(), nullptr);
  Application->CreateForm(TStartForm::Created);
  TStartForm* Main = TStartForm::Created;
  TForm* Second = nullptr;
  Application->CreateForm(Second);
  EXPECT_EQ(Application->MainForm(), Main);
  // OnCreate runs inside CreateForm, with the caller's reference already set.
  EXPECT_TRUE(Main->SeenSelf);

  TTimer Stop(nullptr);
  Stop.SetInterval(5);
  bool Showing = false;
  Stop.OnTimer = [&](TObject*) {
    Stop.SetEnabled(false);
    Showing = Main->Visible();
    Main->Close();
  };
  Application->Run();
  EXPECT_TRUE(Showing);
  EXPECT_TRUE(Application->Terminated());
  delete Second;
  delete Main;
  EXPECT_EQ(Application->MainForm(), nullptr);
  TApplicationTestAccess::ClearTerminated();
}

TEST(Application, DroppedFilesReachOnMessageInOrderAndWhole) {
  TForm Form(nullptr);
  auto* Page = new TWinControl(&Form);
  Page->SetParent(&Form);
  Page->SetBounds(0, 0, 200, 100);
  Form.Show();
  const AnsiString Long = "/tmp/" + AnsiString(120, 'v') + ".mp4";
  // Names are bytes: Latin-1 and characters that mean something in a URL come through unchanged.
  std::vector<AnsiString> Names = {"/tmp/first.avi", Long, "/tmp/th\xEFrd \xFF#%3F?.mkv"};

  // Not registered: nothing arrives.
  std::vector<AnsiString> Seen;
  Application->OnMessage = [&](TMsg& Msg, bool& Handled) {
    if (Msg.message != WM_DROPFILES || Msg.hwnd != Page) return;
    auto Drop = reinterpret_cast<HDROP>(Msg.wParam);
    for (Cardinal I = 0; I < DragQueryFileCount(Drop); ++I) Seen.push_back(DragQueryFile(Drop, I));
    DragFinish(Drop);
    Handled = true;
  };
  SimulateDroppedFiles(Page, Names);
  EXPECT_TRUE(Seen.empty());

  DragAcceptFiles(Page, true);
  std::vector<AnsiString> ByEvent;
  Page->OnDropFiles = [&](TObject*, const std::vector<AnsiString>& F) { ByEvent = F; };
  SimulateDroppedFiles(Page, Names);
  EXPECT_EQ(Seen, Names);
  EXPECT_TRUE(ByEvent.empty());  // handled by the hook

  // Unhandled by the hook: the control's own event gets them.
  Application->OnMessage = nullptr;
  SimulateDroppedFiles(Page, Names);
  EXPECT_EQ(ByEvent, Names);
}

}  // namespace
