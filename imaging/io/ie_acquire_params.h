// The I/O component's acquisition holders: TWAIN parameters for scanners, the Windows Image
// Acquisition holder and the DirectShow capture holder. This system has no TWAIN source manager,
// no WIA device manager and no DirectShow filter graph: the holders keep their state, release
// what they would hold, and answer as a holder with nothing connected does. Each device service
// is reached through a small interface, so a host that has one can hand it in.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "imaging/core/ie_list.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/dynlib.h"
#include "platform/rtl/geometry.h"
#include "platform/rtl/guid.h"
#include "platform/rtl/types.h"

class TWinControl;
class TZodivErIO;

// --- TWAIN ---------------------------------------------------------------------------------

// The source manager and proxy window one TIETWainParams shares between its operations.
struct TIETWainShared {
  HMODULE LibHandle = nullptr;
  void* EntryPoint = nullptr;
  TWinControl* ProxyWindow = nullptr;  // owned: the holder frees it when forced to
};

// How the application introduces itself to a TWAIN source manager.
struct TIETWainIdentity {
  DWORD Id = 0;
  Word VersionMajor = 0, VersionMinor = 0;
  Word Language = 0, Country = 0;
  char VersionInfo[34] = {};
  Word ProtocolMajor = 0, ProtocolMinor = 0;
  DWORD SupportedGroups = 0;
  char Manufacturer[34] = {};
  char ProductFamily[34] = {};
  char ProductName[34] = {};
};

// The state of one TWAIN operation.
struct TIETWainRecord {
  DWORD State = 1;  // 1 source manager not loaded, 2 loaded
  HMODULE LibHandle = nullptr;
  void* EntryPoint = nullptr;
  TIETWainIdentity AppId;
  TWinControl* ParentWindow = nullptr;
  TIETWainShared* Shared = nullptr;
  void* CallerData = nullptr;
  bool SourceOpen = false;
  bool SourceEnabled = false;
  bool TransferReady = false;
  Integer TransferCount = 0;
};

inline constexpr const char* IETWainLibraryName = "TWAIN_32.DLL";
inline constexpr const char* IETWainEntryName = "DSM_Entry";

// The start values of a working record (the active window as parent).
void IETWainInitRecord(TIETWainRecord& Record);
// Lets go of a shared state's proxy window and source manager; Data is the caller's window.
void IETWainReleaseShared(TIETWainShared& Shared, void* Data);
// Answers whether the record's state is "not loaded" afterwards.
bool IETW_UnloadSourceManager(TIETWainRecord& Record, bool Force);
void DestroyProxyWindow(TIETWainRecord& Record, bool Force);
// "date time : Message" in the acquisition log, only when IETWainLogFileName is set.
void IETWainLog(const AnsiString& Message);

// One TWAIN data source as the source list keeps it.
struct TIETWainSource {
  TIETWainIdentity Identity;
};

// The capabilities of the selected source as last read, and the values of the next transfer.
struct TIETWainCapabilities {
  TIEDoubleList XResolution, YResolution, XScaling, YScaling;
  TIEIntegerList PixelType, BitDepth;
  double Gamma = 2.2;
  double PhysicalWidth = 0, PhysicalHeight = 0;
  bool OwnerTest1 = false;  // set by the owner-class test (see TIETWainParams::ResetParams)
  TIEIntegerList Orientation;
  bool ProgressIndicators = true;
  double Threshold = 0, Rotation = 0;
  bool AutoFeed = true, AutoScan = true, FeederEnabled = false;
  bool OwnerTest2 = false;
  bool DuplexEnabled = false;
  TIEDoubleList Brightness, Contrast, ThresholdValues, RotationValues;
  bool AcquireFrameEnabled = false;
  TIEIntegerList StandardSize;
  bool OwnerTest3 = false;
  bool UndefinedImageSize = false, AutoDeskew = false, AutoBorderDetection = false, AutoRotate = false,
       FilmScanMode = false;
  double AcquireFrameWidth = -1.0, AcquireFrameHeight = -1.0;
};

class TIETWainParams {
 public:
  explicit TIETWainParams(TZodivErIO* Owner);
  ~TIETWainParams();
  TIETWainParams(const TIETWainParams&) = delete;
  TIETWainParams& operator=(const TIETWainParams&) = delete;

  // Frees the source records and gives every field its start value; the shared state stays.
  void ResetParams();
  // Takes Source's acquisition settings (not its owner, sources or shared state).
  void Assign(const TIETWainParams& Source);

  TZodivErIO* Owner() const { return FOwner; }
  bool VisibleDialog = true;
  std::vector<TIETWainSource*> SourceList;  // owned
  Integer SelectedSource = 0;
  bool SourceListValid = false;
  bool CapabilitiesValid = false;
  TIETWainCapabilities Capabilities;
  AnsiString AppVersionInfo, AppManufacturer, AppProductFamily, AppProductName;
  bool CompatibilityMode = false;
  TIETWainShared Shared;
  Integer LastError = 0;
  AnsiString LastErrorStr;

 private:
  TZodivErIO* FOwner;
};

// --- COM-like references the holders keep ----------------------------------------------------

struct IIEUnknown {
  virtual ~IIEUnknown() = default;
  virtual void Release() = 0;
};

// The DirectShow interfaces the capture holder keeps, under its own names; the ones it asks
// something of carry those operations.
struct IIEPersist : IIEUnknown {};
struct IIEAMVideoCompression : IIEUnknown {};
struct IIEReferenceClock : IIEUnknown {};
struct IIEMediaFilter : IIEUnknown {};
struct IIEPin : IIEUnknown {};
struct IIEBaseFilter : IIEUnknown {};
struct IIEFilterGraph : IIEUnknown {};
struct IIEAMAnalogVideoDecoder : IIEUnknown {};
struct IIEAMClockSlave : IIEUnknown {};
struct IIEGraphBuilder : IIEUnknown {};
struct IIECaptureGraphBuilder2 : IIEUnknown {};
struct IIEMediaControl : IIEUnknown {
  // The graph's state within TimeoutMs: 0 stopped, 1 paused, 2 running.
  virtual Integer GetState(Integer TimeoutMs, Integer& State) = 0;
  virtual void Stop() = 0;
};
struct IIEMediaSeeking : IIEUnknown {};
struct IIEMediaEvent : IIEUnknown {};
struct IIEMediaEventEx : IIEUnknown {
  virtual void SetNotifyWindow(TWinControl* Window, Cardinal Msg, void* InstanceData) = 0;
};
struct IIESampleGrabber : IIEUnknown {};
struct IIEAMStreamConfig : IIEUnknown {};
struct IIEAMCrossbar : IIEUnknown {};
struct IIEAMTuner : IIEUnknown {};
struct IIEAMTVTuner : IIEUnknown {};
struct IIEVideoFrameStep : IIEUnknown {};
struct IIEVMRWindowlessControl : IIEUnknown {
  virtual void SetVideoPosition(const TRect* Source, const TRect* Dest) = 0;
  virtual void GetNativeVideoSize(Integer& Width, Integer& Height) = 0;
  virtual void RepaintVideo(TWinControl* Window, void* DC) = 0;
};
struct IIEVMRFilterConfig : IIEUnknown {};
struct IIEDvdControl2 : IIEUnknown {};
struct IIEDvdInfo2 : IIEUnknown {};

// --- WIA -----------------------------------------------------------------------------------

class TIEWia;

// The WIA device manager, as far as the holder uses it.
struct IIEWiaDevMgr : IIEUnknown {
  // Subscribes Callback to Event for every device; the registration ends when released.
  // The manager keeps Callback for as long as it may call it.
  virtual bool RegisterEventCallbackInterface(const TGUID& Event, std::shared_ptr<class TWiaEventCallBack> Callback,
                                              IIEUnknown*& Registration) = 0;
};

// Makes the WIA device manager; the default answers nil, as there is no WIA on this system.
extern std::function<IIEWiaDevMgr*()> IECreateWiaDeviceManager;

extern const TGUID WIA_EVENT_ITEM_CREATED;
extern const TGUID WIA_EVENT_ITEM_DELETED;
extern const TGUID WIA_EVENT_TREE_UPDATED;

// Hands WIA events to its holder. Lives as long as the device manager holds it; once the holder
// is gone, a late event finds no owner and changes nothing.
class TWiaEventCallBack {
 public:
  explicit TWiaEventCallBack(TIEWia* Owner) : FOwner(Owner) {}
  // 0 always. Tree updated, item created and item deleted set the holder's last event (1, 2, 3)
  // and call its notification; any other event changes nothing.
  Integer ImageEventCallback(const TGUID& EventGUID, const WideString& EventDescription, const WideString& DeviceID,
                             const WideString& DeviceDescription, DWORD DeviceType, const WideString& FullItemName,
                             DWORD EventType, DWORD Reserved);
  void DropOwner() { FOwner = nullptr; }

 private:
  std::atomic<TIEWia*> FOwner;
};

class TIEWia {
 public:
  explicit TIEWia(TZodivErIO* Owner);
  ~TIEWia();
  TIEWia(const TIEWia&) = delete;
  TIEWia& operator=(const TIEWia&) = delete;

  IIEWiaDevMgr* DeviceManager() const { return FDevMgr; }
  TZodivErIO* Owner() const { return FOwner; }
  // Why there is no device manager; empty when there is one.
  const AnsiString& NotAvailableReason() const { return FNotAvailable; }
  // The holder's progress callback (the I/O component sets it): answers whether to go on.
  std::function<bool(Integer Percent)> OnProgress;
  std::function<void(TObject* Sender)> OnTransferDone;
  bool DisplayDeviceDialog = true;
  bool MultipleTransfer = false;
  AnsiString DeviceID;
  Byte TransferFormat = 0;
  Integer SelectedDevice = 0;
  // Called on the platform's thread that delivers the event, without a lock.
  std::function<void(TIEWia* Sender)> OnDeviceEvent;
  // 1 tree updated, 2 item created, 3 item deleted.
  std::atomic<Byte> LastEvent{0};
  void* LastBitmap = nullptr;

 private:
  IIEWiaDevMgr* FDevMgr = nullptr;
  std::vector<std::unique_ptr<TObject>> FObjects;
  std::unique_ptr<TObject> FItem;
  TZodivErIO* FOwner;
  IIEUnknown* FRegistrations[3] = {nullptr, nullptr, nullptr};
  std::vector<std::shared_ptr<TWiaEventCallBack>> FCallbacks;
  AnsiString FNotAvailable;
};

// Library start-up and shut-down of the holders' share of OLE.
void IEInitWia();
void IEFinalWia();
// OLE was initialised by an acquisition holder and not yet uninitialised.
bool IEWiaOleInitialized();

// --- DirectShow ----------------------------------------------------------------------------

extern const char* const IEAnalogVideoStandards[20];
extern const char* const IEVideoSampleFormats[36];

class TIEDirectShow {
 public:
  TIEDirectShow();
  ~TIEDirectShow();
  TIEDirectShow(const TIEDirectShow&) = delete;
  TIEDirectShow& operator=(const TIEDirectShow&) = delete;

  // Stops a paused or running graph, then releases every interface reference.
  void Disconnect();
  void ClearVideoFormats();
  bool Connected() const { return FilterGraph != nullptr; }
  // 0 stopped, 1 paused, 2 running; 0 without a media control.
  Integer GetState();
  void SetNotifyWindow(TWinControl* Window, Cardinal NewFrameMessage, Cardinal EventMessage);
  void SetVideoPosition(const TRect& SourceRect, const TRect& DestRect);
  void GetVideoSize(Integer& Width, Integer& Height);
  void RepaintVideo(TWinControl* Window, void* DC);

  TWinControl* NotifyWindow() const { return FNotifyWindow; }
  Cardinal NewFrameMessage() const { return FNewFrameMessage; }
  Cardinal EventMessage() const { return FEventMessage; }

  std::vector<AnsiString> VideoInputs, AudioInputs, VideoCodecs, AudioCodecs;
  std::vector<std::unique_ptr<TObject>> VideoFormats;
  std::vector<AnsiString> Tuners;

  // The filter graph's objects; the holder releases each one it holds.
  IIEGraphBuilder* FilterGraph = nullptr;
  IIECaptureGraphBuilder2* CaptureGraph = nullptr;
  IIEMediaControl* MediaControl = nullptr;
  IIEMediaEventEx* MediaEvent = nullptr;
  IIEMediaSeeking* MediaSeeking = nullptr;
  IIEBaseFilter* VideoSource = nullptr;
  IIEBaseFilter* AudioSource = nullptr;
  IIEBaseFilter* VideoCompressor = nullptr;
  IIEBaseFilter* AudioCompressor = nullptr;
  IIEBaseFilter* Grabber = nullptr;
  IIESampleGrabber* SampleGrabber = nullptr;
  IIEBaseFilter* NullRenderer = nullptr;
  IIEBaseFilter* VideoRenderer = nullptr;
  IIEVMRWindowlessControl* WindowlessControl = nullptr;
  IIEVMRFilterConfig* RendererConfig = nullptr;
  IIEAMStreamConfig* StreamConfig = nullptr;
  IIEAMCrossbar* Crossbar = nullptr;
  IIEAMTVTuner* TVTuner = nullptr;
  IIEAMAnalogVideoDecoder* VideoDecoder = nullptr;
  IIEVideoFrameStep* FrameStep = nullptr;
  IIEDvdControl2* DvdControl = nullptr;
  IIEDvdInfo2* DvdInfo = nullptr;
  TObject* SampleBuffer = nullptr;  // not owned

  AnsiString VideoInputName, AudioInputName;
  WideString CaptureFileName;
  bool RenderAudio = true;
  Integer VideoFormatIndex = -1;
  bool Capturing = false;
  Integer FrameCount = 0;

 private:
  TWinControl* FNotifyWindow = nullptr;
  Cardinal FNewFrameMessage = 0;
  Cardinal FEventMessage = 0;
};
