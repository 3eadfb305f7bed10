#include <gtest/gtest.h>

#include "platform/gui/application.h"
#include "platform/gui/forms.h"
#include "platform/gui/timers.h"
#include "tests/platform/gui/application_test_access.h"

namespace {

// How a modal loop went: what ShowModal returned, and whether the form's own timer got to end it.
struct ModalOutcome {
  TModalResult Result = mrNone;
  bool EndedByItsForm = false;
  bool ShowingThen = false;
};

// Shows a dialog modally; a one-shot timer sets its ModalResult a little later. A watchdog ends
// a loop that never finishes, so a fault fails the test instead of hanging it.
ModalOutcome ModalEndedByTimer() {
  TForm Dialog(nullptr);
  ModalOutcome Out;
  TTimer Ender(nullptr);
  Ender.SetInterval(30);
  Ender.OnTimer = [&](TObject*) {
    Ender.SetEnabled(false);
    Out.EndedByItsForm = true;
    Out.ShowingThen = Dialog.Visible();
    Dialog.SetModalResult(mrOk);
  };
  TTimer Watchdog(nullptr);
  Watchdog.SetInterval(5000);
  Watchdog.OnTimer = [&](TObject*) {
    Watchdog.SetEnabled(false);
    Dialog.SetModalResult(mrAbort);
  };
  Out.Result = Dialog.ShowModal();
  return Out;
}

struct LateModalLoops : ::testing::Test {
  void SetUp() override {
    ASSERT_EQ(Application->MainForm(), nullptr);
    ASSERT_FALSE(Application->Terminated());
    Application->CreateForm(Main);
  }
  void TearDown() override {
    delete Main;
    TApplicationTestAccess::ClearTerminated();
  }

  void ExpectTwoModalLoopsRunToTheirEnd() {
    for (int Round = 1; Round <= 2; ++Round) {
      SCOPED_TRACE("modal loop " + std::to_string(Round));
      const ModalOutcome Out = ModalEndedByTimer();
      EXPECT_TRUE(Out.EndedByItsForm);
      EXPECT_TRUE(Out.ShowingThen);
      EXPECT_EQ(Out.Result, mrOk);
    }
  }

  TForm* Main = nullptr;
};

TEST_F(LateModalLoops, RunAfterTheMainFormClosedWithoutAMainLoop) {
  Main->Show();
  Main->Close();
  EXPECT_FALSE(Main->Visible());
  EXPECT_TRUE(Application->Terminated());
  ExpectTwoModalLoopsRunToTheirEnd();
}

TEST_F(LateModalLoops, RunAfterTheMainLoopReturned) {
  TTimer Closer(nullptr);
  Closer.SetInterval(5);
  Closer.OnTimer = [&](TObject*) {
    Closer.SetEnabled(false);
    Main->Close();
  };
  Application->Run();
  ExpectTwoModalLoopsRunToTheirEnd();
  // The request to end stays: a main loop started again returns at once.
  EXPECT_TRUE(Application->Terminated());
  Application->Run();
}

TEST_F(LateModalLoops, TerminateWhileModalStillEndsEveryLoopRunning) {
  Main->Close();  // a Terminate from before the loops must not count for them
  TForm Outer(nullptr);
  TForm Inner(nullptr);
  TModalResult InnerResult = mrNone;
  TTimer OpenInner(nullptr);
  OpenInner.SetInterval(10);
  OpenInner.OnTimer = [&](TObject*) {
    OpenInner.SetEnabled(false);
    InnerResult = Inner.ShowModal();
  };
  bool InnerShowing = false;
  TTimer Ender(nullptr);
  Ender.SetInterval(60);
  Ender.OnTimer = [&](TObject*) {
    Ender.SetEnabled(false);
    InnerShowing = Inner.Visible();
    Application->Terminate();
  };
  TTimer Watchdog(nullptr);
  Watchdog.SetInterval(5000);
  Watchdog.OnTimer = [&](TObject*) {
    Watchdog.SetEnabled(false);
    Inner.SetModalResult(mrAbort);
    Outer.SetModalResult(mrAbort);
  };
  EXPECT_EQ(Outer.ShowModal(), mrCancel);
  EXPECT_TRUE(InnerShowing);
  EXPECT_EQ(InnerResult, mrCancel);
}

}  // namespace
