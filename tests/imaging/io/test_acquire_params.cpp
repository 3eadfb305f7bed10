// The acquisition holders: start values, what their tear-down releases, the WIA event path,
// the DirectShow queries on a holder with nothing connected, and the acquisition log.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "imaging/io/ie_acquire_params.h"
#include "tests/imaging/io/io_test_util.h"
#include "tests/support/fixtures.h"

namespace {

// Counts its releases; what a device service hands the holders.
struct TCounted : IIEUnknown {
  int* Released;
  explicit TCounted(int* Counter) : Released(Counter) {}
  void Release() override { ++*Released; }
};

struct TFakeDevMgr : IIEWiaDevMgr {
  std::vector<TGUID> Registered;
  std::vector<std::shared_ptr<TWiaEventCallBack>> Callbacks;
  int Releases = 0, RegistrationReleases = 0;
  std::vector<std::unique_ptr<TCounted>> Registrations;
  void Release() override { ++Releases; }
  bool RegisterEventCallbackInterface(const TGUID& Event, std::shared_ptr<TWiaEventCallBack> Callback,
                                      IIEUnknown*& Registration) override {
    Registered.push_back(Event);
    Callbacks.push_back(Callback);
    Registrations.push_back(std::make_unique<TCounted>(&RegistrationReleases));
    Registration = Registrations.back().get();
    return true;
  }
};

struct TFakeMediaControl : IIEMediaControl {
  Integer State;
  int Stops = 0, Releases = 0;
  explicit TFakeMediaControl(Integer S) : State(S) {}
  void Release() override { ++Releases; }
  Integer GetState(Integer, Integer& S) override {
    S = State;
    return 0;
  }
  void Stop() override { ++Stops; }
};

std::vector<std::string> ReadLines(const std::string& File) {
  std::ifstream In(File);
  std::vector<std::string> Out;
  for (std::string L; std::getline(In, L);) Out.push_back(L);
  return Out;
}

TEST(AcquireParams, TWainParamsStartAndResetToTheirValues) {
  iotest::EnsureIOUnit();
  TZodivErIO IO(nullptr);
  TIETWainParams* P = IO.TWainParams();
  ASSERT_NE(P, nullptr);
  EXPECT_EQ(P->Owner(), &IO);
  P->SourceList.push_back(new TIETWainSource);
  P->SourceList.push_back(new TIETWainSource);
  P->SelectedSource = 1;
  P->VisibleDialog = false;
  P->Capabilities.Gamma = 1.0;
  P->Capabilities.XResolution.Add(300);
  P->Capabilities.AcquireFrameWidth = 8.5;
  P->AppProductName = "scanner";
  P->LastError = 5;
  P->ResetParams();
  EXPECT_TRUE(P->SourceList.empty());
  EXPECT_EQ(P->SelectedSource, 0);
  EXPECT_TRUE(P->VisibleDialog);
  EXPECT_EQ(P->Capabilities.Gamma, 2.2);
  EXPECT_EQ(P->Capabilities.XResolution.Count(), 0);
  EXPECT_EQ(P->Capabilities.AcquireFrameWidth, -1.0);
  EXPECT_TRUE(P->Capabilities.AutoFeed);
  EXPECT_FALSE(P->Capabilities.OwnerTest1);
  EXPECT_TRUE(P->AppProductName.empty());
  EXPECT_EQ(P->LastError, 0);

  TIETWainParams Copy(&IO);
  P->Capabilities.YResolution.Add(150);
  P->Capabilities.Gamma = 1.8;
  P->CompatibilityMode = true;
  Copy.Assign(*P);
  EXPECT_EQ(Copy.Capabilities.YResolution.Count(), 1);
  EXPECT_EQ(Copy.Capabilities.YResolution.GetItem(0), 150.0);
  EXPECT_EQ(Copy.Capabilities.Gamma, 1.8);
  EXPECT_TRUE(Copy.CompatibilityMode);
  EXPECT_EQ(Copy.Owner(), &IO);
}

TEST(AcquireParams, TheWorkingRecordStartsAsTheSourceManagerExpects) {
  TIETWainRecord Record;
  Record.State = 2;
  Record.TransferCount = 4;
  IETWainInitRecord(Record);
  EXPECT_EQ(Record.State, 1u);
  EXPECT_EQ(Record.TransferCount, 0);
  EXPECT_EQ(Record.AppId.VersionMajor, 1);
  EXPECT_EQ(Record.AppId.Language, 13);
  EXPECT_EQ(Record.AppId.Country, 1);
  EXPECT_STREQ(Record.AppId.ProductName, " ");
  EXPECT_EQ(Record.AppId.ProtocolMinor, 9);
  EXPECT_EQ(Record.AppId.SupportedGroups, 3u);
}

// The log records each step only when a log file is named; an empty shared state logs nothing.
TEST(AcquireParams, TheAcquisitionLogFollowsTheUnloadSteps) {
  iotest::EnsureIOUnit();
  const std::string Dir = testsupport::MakeTempDir("twainlog");
  const std::string Log = Dir + "/twain.log";
  IETWainLogFileName = Log;
  {
    TZodivErIO IO(nullptr);
  }
  EXPECT_TRUE(ReadLines(Log).empty());

  TIETWainRecord Record;
  IETWainInitRecord(Record);
  Record.State = 2;
  EXPECT_TRUE(IETW_UnloadSourceManager(Record, false));
  DestroyProxyWindow(Record, false);
  IETWainLogFileName.clear();
  IETWainLog("not written");
  const auto Lines = ReadLines(Log);
  ASSERT_EQ(Lines.size(), 4u);
  const std::vector<std::string> Messages = {"IETW_UnloadSourceManager",
                                             "  IETW_UnloadSourceManager not Unloaded, for future uses",
                                             "DestroyProxyWindow", "  DestroyProxyWindow : not destroyed, for future uses"};
  for (size_t i = 0; i < 4; ++i) {
    const auto At = Lines[i].find(" : ");
    ASSERT_NE(At, std::string::npos) << Lines[i];
    EXPECT_EQ(Lines[i].substr(At + 3), Messages[i]);
  }
  testsupport::RemoveTree(Dir);
}

TEST(AcquireParams, WiaWithoutADeviceManagerSaysSoAndKeepsOleOnce) {
  iotest::EnsureIOUnit();
  IEInitWia();
  EXPECT_FALSE(IEWiaOleInitialized());
  TZodivErIO IO(nullptr);
  TIEWia* Wia = IO.GetWia();
  EXPECT_EQ(IO.GetWia(), Wia);  // made once
  EXPECT_EQ(Wia->DeviceManager(), nullptr);
  EXPECT_EQ(Wia->NotAvailableReason(), "Windows Image Acquisition is not available on this system");
  EXPECT_TRUE(IEWiaOleInitialized());
  TIEWia Second(&IO);
  EXPECT_TRUE(IEWiaOleInitialized());
  // Its progress goes through the component and answers whether to go on.
  std::vector<Integer> Seen;
  IO.OnProgress = [&](TObject*, Integer P) { Seen.push_back(P); };
  EXPECT_TRUE(Wia->OnProgress(30));
  IO.Aborting = true;
  EXPECT_FALSE(Wia->OnProgress(60));
  EXPECT_EQ(Seen, (std::vector<Integer>{30, 60}));
  IEFinalWia();
  EXPECT_FALSE(IEWiaOleInitialized());
}

TEST(AcquireParams, WiaEventsReachTheHolderAndEndWithIt) {
  TFakeDevMgr Manager;
  const auto Previous = IECreateWiaDeviceManager;
  IECreateWiaDeviceManager = [&] { return static_cast<IIEWiaDevMgr*>(&Manager); };
  auto Wia = std::make_unique<TIEWia>(nullptr);
  IECreateWiaDeviceManager = Previous;
  ASSERT_EQ(Manager.Registered.size(), 3u);
  EXPECT_TRUE(Manager.Registered[0] == WIA_EVENT_ITEM_CREATED);
  EXPECT_TRUE(Manager.Registered[1] == WIA_EVENT_ITEM_DELETED);
  EXPECT_TRUE(Manager.Registered[2] == WIA_EVENT_TREE_UPDATED);
  EXPECT_TRUE(Wia->NotAvailableReason().empty());

  int Notified = 0;
  Wia->OnDeviceEvent = [&](TIEWia* Sender) {
    EXPECT_EQ(Sender, Wia.get());
    ++Notified;
  };
  TWiaEventCallBack* Callback = Manager.Callbacks[0].get();
  auto Fire = [&](const TGUID& G) { return Callback->ImageEventCallback(G, u"", u"", u"", 0, u"", 0, 0); };
  EXPECT_EQ(Fire(WIA_EVENT_ITEM_CREATED), 0);
  EXPECT_EQ(Wia->LastEvent.load(), 2);
  EXPECT_EQ(Notified, 1);
  EXPECT_EQ(Fire(CreateGUID()), 0);
  EXPECT_EQ(Wia->LastEvent.load(), 2);
  EXPECT_EQ(Notified, 1);
  Fire(WIA_EVENT_TREE_UPDATED);
  EXPECT_EQ(Wia->LastEvent.load(), 1);
  Fire(WIA_EVENT_ITEM_DELETED);
  EXPECT_EQ(Wia->LastEvent.load(), 3);

  Wia.reset();
  EXPECT_EQ(Manager.RegistrationReleases, 3);
  EXPECT_EQ(Manager.Releases, 1);
  // A late event finds no holder and changes nothing.
  EXPECT_EQ(Fire(WIA_EVENT_ITEM_CREATED), 0);
  EXPECT_EQ(Notified, 3);
}

TEST(AcquireParams, DirectShowDisconnectStopsOnlyAGraphThatRuns) {
  TIEDirectShow Fresh;
  EXPECT_FALSE(Fresh.Connected());
  EXPECT_EQ(Fresh.GetState(), 0);
  Fresh.Disconnect();
  Integer W = -1, H = -1;
  Fresh.GetVideoSize(W, H);
  EXPECT_EQ(W, -1);

  struct TCase {
    Integer State;
    int Stops;
  };
  for (const TCase& C : {TCase{0, 0}, TCase{1, 1}, TCase{0x102, 1}, TCase{0x100, 0}}) {
    TIEDirectShow Show;
    TFakeMediaControl Control(C.State);
    int GraphReleases = 0;
    struct TGraph : IIEGraphBuilder {
      int* R;
      void Release() override { ++*R; }
    } Graph;
    Graph.R = &GraphReleases;
    Show.MediaControl = &Control;
    Show.FilterGraph = &Graph;
    EXPECT_TRUE(Show.Connected());
    EXPECT_EQ(Show.GetState(), C.State & 0xFF);
    Show.Disconnect();
    EXPECT_EQ(Control.Stops, C.Stops) << C.State;
    EXPECT_EQ(Control.Releases, 1);
    EXPECT_EQ(GraphReleases, 1);
    EXPECT_FALSE(Show.Connected());
  }
  EXPECT_STREQ(IEAnalogVideoStandards[19], "PAL_N_COMBO");
  EXPECT_STREQ(IEVideoSampleFormats[14], "MJPG");
}

}  // namespace
