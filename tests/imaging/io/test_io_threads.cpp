// The I/O component's worker threads: asynchronous loads on real files with their events seen
// in the real event loop, the waits that must not deadlock with a worker handing work to the
// main thread, aborting, and a view that goes away while its load runs.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "imaging/io/ie_io_threads.h"
#include "imaging/view/ie_view.h"
#include "platform/gui/application.h"
#include "platform/gui/forms.h"
#include "platform/gui/input_simulation.h"
#include "platform/rtl/mainthread.h"
#include "platform/rtl/sync.h"
#include "tests/imaging/io/io_test_util.h"
#include "tests/support/fixtures.h"

namespace {

using iotest::W;
using testsupport::Fixture;

std::string NoiseGif() {
  return Fixture("iothreads-noise-96x64.gif", "convert -size 96x64 xc:gray50 -seed 3 +noise Random GIF:{out}");
}

std::string NoisePng() {
  return Fixture("iothreads-noise-320x200.png",
                 "convert -size 320x200 xc:gray50 -seed 5 +noise Random -depth 8 -type TrueColor PNG24:{out}");
}

// Runs the event loop until Done or ten seconds have passed.
bool PumpUntil(const std::function<bool()>& Done) {
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!Done()) {
    if (std::chrono::steady_clock::now() > Deadline) return false;
    Application->ProcessMessages();
    Sleep(1);
  }
  return true;
}

// A registered format whose reader waits at a gate, so a test decides how long a load runs. It
// reports progress, then fills a 7 x 5 image unless it was aborted.
constexpr Integer kGatedType = 0x7A01;
TEvent* GateOpen = nullptr;
std::atomic<bool> ReaderDone{false};

void GatedRead(TStream*, TIEBitmap* Bitmap, TIOParamsVals& Params, TIECodecProgress& Progress, bool) {
  if (Progress.OnProgress) Progress.OnProgress(Progress.Sender, 10);
  GateOpen->WaitFor(10000);
  if (!IEAborting(Progress)) {
    Bitmap->Allocate(7, 5, ie24RGB);
    Params.Width = 7;
    Params.Height = 5;
  }
  ReaderDone = true;
}

struct GatedFormat {
  std::string File;
  GatedFormat() {
    iotest::EnsureIOUnit();
    GateOpen = new TEvent(true, false);
    ReaderDone = false;
    auto* Row = new TIEFileFormatInfo;
    Row->FileType = kGatedType;
    Row->FullName = "Gated test format";
    Row->Extensions = "GATED";
    Row->ReadFunction = GatedRead;
    IEFileFormatAdd(Row);
    File = testsupport::MakeTempDir("gated") + "/picture.gated";
    FILE* F = std::fopen(File.c_str(), "wb");
    std::fputs("gated", F);
    std::fclose(F);
  }
  ~GatedFormat() {
    IEFileFormatRemove(kGatedType);
    delete GateOpen;
    GateOpen = nullptr;
  }
  // Opens the gate from another thread after Ms milliseconds.
  std::thread OpenLater(int Ms) {
    return std::thread([Ms] {
      std::this_thread::sleep_for(std::chrono::milliseconds(Ms));
      GateOpen->SetEvent();
    });
  }
};

// A view on a form, with its own I/O component in asynchronous mode; what reaches the view's
// events is recorded with the thread it ran on.
struct AsyncView {
  TForm* Form = new TForm(nullptr);
  TZodivErView* View = nullptr;
  TZodivErIO* IO = nullptr;
  std::vector<std::string> Events;
  std::vector<bool> OnMain;
  Integer Finished = 0, ImageChanges = 0;

  AsyncView() {
    iotest::EnsureIOUnit();
    Form->SetBounds(30, 30, 300, 240);
    View = new TZodivErView(Form);
    View->SetParent(Form);
    View->SetBounds(0, 0, 200, 150);
    View->SetOnProgress([this](TObject*, Integer P) {
      Events.push_back("p" + std::to_string(P));
      OnMain.push_back(IsMainThread());
    });
    View->SetOnFinishWork([this](TObject*) {
      Events.push_back("finish");
      OnMain.push_back(IsMainThread());
      ++Finished;
    });
    View->OnImageChange = [this](TObject*) {
      ++ImageChanges;
      OnMain.push_back(IsMainThread());
    };
    IO = View->IO();
    IO->AsyncMode = true;
  }
  ~AsyncView() { delete Form; }
};

TEST(IOThreads, AsyncLoadReturnsAtOnceAndPostsItsEventsThroughTheEventLoop) {
  const std::string Gif = NoiseGif(), Png = NoisePng();
  AsyncView V;
  ShowActive(V.Form);

  EXPECT_EQ(V.IO->LoadFromFileGIF(W(Gif)), -1);
  // Nothing arrives before the event loop delivers it.
  EXPECT_EQ(V.Finished, 0);
  ASSERT_TRUE(PumpUntil([&] { return V.Finished == 1; }));
  V.IO->WaitThreads(false);
  EXPECT_FALSE(V.IO->Aborting.load()) << V.IO->FailureReason();
  EXPECT_EQ(V.View->IEBitmap()->GetWidth(), 96);
  EXPECT_EQ(V.View->IEBitmap()->GetHeight(), 64);
  EXPECT_EQ(WideToAnsi(V.IO->IOParams()->FileName), Gif);
  ASSERT_GE(V.Events.size(), 2u);
  EXPECT_EQ(V.Events[V.Events.size() - 2], "p100");
  EXPECT_EQ(V.Events.back(), "finish");
  EXPECT_GE(V.ImageChanges, 1);
  for (bool Main : V.OnMain) EXPECT_TRUE(Main);

  // A second load through the generic entry point, by extension.
  V.Events.clear();
  V.IO->LoadFromFile(W(Png));
  ASSERT_TRUE(PumpUntil([&] { return V.Finished == 2; }));
  EXPECT_FALSE(V.IO->Aborting.load()) << V.IO->FailureReason();
  EXPECT_EQ(V.View->IEBitmap()->GetWidth(), 320);
  EXPECT_EQ(V.Events.back(), "finish");
}

TEST(IOThreads, AnImageOfItsOwnLoadsInTheCallersThread) {
  const std::string Gif = NoiseGif();
  iotest::TRecordedIO R;
  R.IO.AsyncMode = true;
  EXPECT_EQ(R.IO.LoadFromFileGIF(W(Gif)), 1);
  R.ExpectEndedOnce();
  EXPECT_EQ(R.IO.IEBitmap()->GetWidth(), 96);
}

// Without a view the events run in the worker, and a load started there stays in that thread.
TEST(IOThreads, WithoutAViewEventsRunInTheWorkerAndNestedLoadsStayThere) {
  const std::string Gif = NoiseGif(), Png = NoisePng();
  iotest::EnsureIOUnit();
  TIEBitmap Outside;
  TZodivErIO IO(nullptr);
  IO.SetAttachedIEBitmap(&Outside);
  IO.AsyncMode = true;
  std::atomic<int> Finishes{0};
  std::atomic<bool> AllOffMain{true}, NestedInside{false}, NestedDoneBeforeReturn{false};
  std::atomic<DWORD> FirstThread{0}, NestedThread{0};
  IO.OnProgress = [&](TObject*, Integer) {
    if (IsMainThread()) AllOffMain = false;
  };
  IO.OnFinishWork = [&](TObject*) {
    if (IsMainThread()) AllOffMain = false;
    if (++Finishes == 1) {
      FirstThread = GetCurrentThreadId();
      NestedInside = IO.IsInsideAsyncThread();
      IO.LoadFromFile(W(Png));
      NestedDoneBeforeReturn = Finishes.load() == 2;
    } else {
      NestedThread = GetCurrentThreadId();
    }
  };
  IO.LoadFromFile(W(Gif));
  IO.WaitThreads(false);
  EXPECT_EQ(Finishes.load(), 2);
  EXPECT_TRUE(AllOffMain.load());
  EXPECT_TRUE(NestedInside.load());
  EXPECT_TRUE(NestedDoneBeforeReturn.load());
  EXPECT_EQ(FirstThread.load(), NestedThread.load());
  EXPECT_FALSE(IO.IsInsideAsyncThread());
  EXPECT_EQ(Outside.GetWidth(), 320);
}

// What a worker's call raises reaches nobody: it becomes Aborting, after the finish event.
TEST(IOThreads, AFailureInsideAWorkerBecomesAborting) {
  iotest::EnsureIOUnit();
  TIEBitmap Outside(8, 8, ie24RGB);
  TZodivErIO IO(nullptr);
  IO.SetAttachedIEBitmap(&Outside);
  IO.AsyncMode = true;
  std::atomic<int> Finishes{0};
  IO.OnFinishWork = [&](TObject*) { ++Finishes; };
  const std::string Dir = testsupport::MakeTempDir("ioasyncfail");
  IO.SaveToFile(W(Dir + "/no/such/folder/out.png"));
  IO.WaitThreads(false);
  EXPECT_TRUE(IO.Aborting.load());
  EXPECT_EQ(Finishes.load(), 1);
  testsupport::RemoveTree(Dir);
}

TEST(IOThreads, WaitThreadsWithAbortStopsARunningLoad) {
  GatedFormat Gated;
  TIEBitmap Outside;
  TZodivErIO IO(nullptr);
  IO.SetAttachedIEBitmap(&Outside);
  IO.AsyncMode = true;
  std::atomic<int> Finishes{0};
  IO.OnFinishWork = [&](TObject*) { ++Finishes; };
  IO.LoadFromFile(W(Gated.File));
  std::thread Opener = Gated.OpenLater(100);
  IO.WaitThreads(true);
  Opener.join();
  EXPECT_TRUE(ReaderDone.load());
  EXPECT_TRUE(IO.Aborting.load());
  EXPECT_EQ(Finishes.load(), 1);
  EXPECT_EQ(Outside.GetWidth(), 0);  // the reader saw the abort and filled nothing
}

// The view's window is made on the main thread before a worker posts to it, and the view's
// resolution is set there too: a load into a view needs the main thread. The main thread
// waiting for the load must serve it meanwhile. Run in a child under an alarm, so a deadlock
// ends the child instead of the test run.
void WaitForALoadThatNeedsTheMainThread() {
  alarm(20);
  const std::string Png = NoisePng();
  AsyncView V;
  V.View->DestroyHandle();
  V.IO->LoadFromFile(W(Png));
  V.IO->WaitThreads(false);
  const bool Ok = !V.IO->Aborting && V.View->IEBitmap()->GetWidth() == 320 && V.View->HandleAllocated();
  std::_Exit(Ok ? 0 : 1);
}

TEST(IOThreadsDeathTest, WaitingOnTheMainThreadServesAWorkerThatNeedsIt) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(WaitForALoadThatNeedsTheMainThread(), ::testing::ExitedWithCode(0), "");
}

// The view's image is the one the worker writes into: a view that goes away first waits for it.
TEST(IOThreads, AViewGoingAwayWaitsForTheLoadIntoItsImage) {
  GatedFormat Gated;
  auto* V = new AsyncView;
  V->IO->LoadFromFile(W(Gated.File));
  // Told after the component, and before the view frees its image.
  bool DoneBeforeTheImageWent = false;
  V->View->AddNotifyCallback([&](TIEView*, bool Destroying) {
    if (Destroying) DoneBeforeTheImageWent = ReaderDone.load();
  });
  std::thread Opener = Gated.OpenLater(150);
  delete V;
  Opener.join();
  EXPECT_TRUE(DoneBeforeTheImageWent);
  // What the load posted to the view did not outlive it.
  while (CheckSynchronize()) {
  }
}

}  // namespace

// The metafile import, the AVI frame load and the AVI file load go to a worker like the other
// loads and end with the finish event on the main thread; a whole AVI file, which is closed
// again at once, is read before the call returns.
TEST(IOThreads, MetafileAndAviLoadsRunInTheWorkerToo) {
  const std::string Source = CLAVORNE_SOURCE_DIR;
  const std::string Emf = Source + "/tests/imaging/formats/metafile/emf-shapes.emf";
  const std::string Avi = Source + "/tests/imaging/formats/avi/bgr24.avi";
  AsyncView V;
  ShowActive(V.Form);

  V.IO->ImportMetafile(W(Emf), 64, 32, false);
  EXPECT_EQ(V.Finished, 0);
  ASSERT_TRUE(PumpUntil([&] { return V.Finished == 1; }));
  V.IO->WaitThreads(false);
  EXPECT_FALSE(V.IO->Aborting.load()) << V.IO->FailureReason();
  EXPECT_EQ(V.View->IEBitmap()->GetWidth(), 64);
  EXPECT_EQ(V.View->IEBitmap()->GetHeight(), 32);

  ASSERT_GT(V.IO->OpenAVIFile(W(Avi)), 1);
  V.IO->LoadFromAVI(1);
  ASSERT_TRUE(PumpUntil([&] { return V.Finished >= 2; }));
  V.IO->WaitThreads(false);
  EXPECT_FALSE(V.IO->Aborting.load()) << V.IO->FailureReason();
  const Integer FrameWidth = V.View->IEBitmap()->GetWidth();
  EXPECT_GT(FrameWidth, 0);
  V.IO->CloseAVIFile();

  V.View->IEBitmap()->Allocate(1, 1, ie24RGB);
  const Integer Before = V.Finished;
  V.IO->LoadFromFile(W(Avi));
  EXPECT_EQ(V.View->IEBitmap()->GetWidth(), FrameWidth) << "read before the call returned";
  EXPECT_FALSE(V.IO->Aborting.load()) << V.IO->FailureReason();
  PumpUntil([&] { return V.Finished > Before; });
}
