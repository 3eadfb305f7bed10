#include "imaging/io/ie_acquire_params.h"

#include <cstring>

#include "imaging/core/ie_system_probes.h"
#include "imaging/io/ie_io_unit.h"
#include "imaging/io/ie_zodiver_io.h"
#include "platform/gui/application.h"
#include "platform/gui/controls.h"

// --- TWAIN ---------------------------------------------------------------------------------

void IETWainLog(const AnsiString& Message) { IEAppendLogLine(IETWainLogFileName, Message); }

void IETWainInitRecord(TIETWainRecord& Record) {
  HMODULE Lib = Record.LibHandle;
  void* Entry = Record.EntryPoint;
  Record = TIETWainRecord();
  // The source manager's handle and entry point are the caller's to keep.
  Record.LibHandle = Lib;
  Record.EntryPoint = Entry;
  TIETWainIdentity& Id = Record.AppId;
  Id.VersionMajor = 1;
  Id.VersionMinor = 0;
  Id.Language = 13;  // English
  Id.Country = 1;    // USA
  std::strcpy(Id.VersionInfo, " ");
  std::strcpy(Id.Manufacturer, " ");
  std::strcpy(Id.ProductFamily, " ");
  std::strcpy(Id.ProductName, " ");
  Id.ProtocolMajor = 1;
  Id.ProtocolMinor = 9;
  Id.SupportedGroups = 3;  // control and image
  Record.ParentWindow = Screen ? Screen->ActiveForm() : nullptr;
}

bool IETW_UnloadSourceManager(TIETWainRecord& Record, bool Force) {
  IETWainLog("IETW_UnloadSourceManager");
  TIETWainShared* Shared = Record.Shared;
  if (Force && Shared && Shared->LibHandle) {
    FreeLibrary(Shared->LibHandle);
    Shared->LibHandle = nullptr;
    Shared->EntryPoint = nullptr;
    Record.State = 1;
    IETWainLog("  IETW_UnloadSourceManager : Unload OK");
  } else if (Record.State == 2) {
    Record.LibHandle = nullptr;
    Record.EntryPoint = nullptr;
    Record.State = 1;
    IETWainLog("  IETW_UnloadSourceManager not Unloaded, for future uses");
  }
  return Record.State == 1;
}

void DestroyProxyWindow(TIETWainRecord& Record, bool Force) {
  IETWainLog("DestroyProxyWindow");
  if (!Force) {
    IETWainLog("  DestroyProxyWindow : not destroyed, for future uses");
    return;
  }
  if (Record.Shared) {
    delete Record.Shared->ProxyWindow;
    Record.Shared->ProxyWindow = nullptr;
  }
  IETWainLog("  DestroyProxyWindow : destroyed");
}

void IETWainReleaseShared(TIETWainShared& Shared, void* Data) {
  TIETWainRecord Record;
  IETWainInitRecord(Record);
  Record.Shared = &Shared;
  Record.CallerData = Data;
  if (Shared.ProxyWindow) DestroyProxyWindow(Record, true);
  if (Shared.LibHandle) IETW_UnloadSourceManager(Record, true);
}

TIETWainParams::TIETWainParams(TZodivErIO* Owner) : FOwner(Owner) {
  Shared = TIETWainShared();
  SourceListValid = false;
  CapabilitiesValid = false;
  ResetParams();
}

TIETWainParams::~TIETWainParams() {
  IETWainReleaseShared(Shared, IEFindHandle(FOwner));
  ResetParams();
}

void TIETWainParams::ResetParams() {
  for (TIETWainSource* Source : SourceList) delete Source;
  SourceList.clear();
  VisibleDialog = true;
  SelectedSource = 0;
  SourceListValid = false;
  CapabilitiesValid = false;
  TIETWainCapabilities& C = Capabilities;
  for (TIEDoubleList* L : {&C.XResolution, &C.YResolution, &C.XScaling, &C.YScaling, &C.Brightness, &C.Contrast,
                           &C.ThresholdValues, &C.RotationValues})
    L->Clear();
  for (TIEIntegerList* L : {&C.PixelType, &C.BitDepth, &C.Orientation, &C.StandardSize}) L->Clear();
  C.Gamma = 2.2;
  C.PhysicalWidth = C.PhysicalHeight = 0;
  // The owner-class test compares with a class reference nothing in this system sets.
  C.OwnerTest1 = C.OwnerTest2 = C.OwnerTest3 = false;
  C.ProgressIndicators = true;
  C.Threshold = C.Rotation = 0;
  C.AutoFeed = true;
  C.AutoScan = true;
  C.FeederEnabled = false;
  C.DuplexEnabled = false;
  C.AcquireFrameEnabled = false;
  C.UndefinedImageSize = C.AutoDeskew = C.AutoBorderDetection = C.AutoRotate = C.FilmScanMode = false;
  C.AcquireFrameWidth = C.AcquireFrameHeight = -1.0;
  AppVersionInfo.clear();
  AppManufacturer.clear();
  AppProductFamily.clear();
  AppProductName.clear();
  CompatibilityMode = false;
  LastError = 0;
  LastErrorStr.clear();
}

void TIETWainParams::Assign(const TIETWainParams& Source) {
  if (&Source == this) return;
  VisibleDialog = Source.VisibleDialog;
  SelectedSource = Source.SelectedSource;
  TIETWainCapabilities& C = Capabilities;
  const TIETWainCapabilities& S = Source.Capabilities;
  // The lists first, as their Assign takes a non-const source; then the plain values.
  auto CopyList = [](TIEList& To, const TIEList& From) { To.Assign(const_cast<TIEList*>(&From)); };
  CopyList(C.XResolution, S.XResolution);
  CopyList(C.YResolution, S.YResolution);
  CopyList(C.XScaling, S.XScaling);
  CopyList(C.YScaling, S.YScaling);
  CopyList(C.PixelType, S.PixelType);
  CopyList(C.BitDepth, S.BitDepth);
  CopyList(C.Orientation, S.Orientation);
  CopyList(C.Brightness, S.Brightness);
  CopyList(C.Contrast, S.Contrast);
  CopyList(C.ThresholdValues, S.ThresholdValues);
  CopyList(C.RotationValues, S.RotationValues);
  CopyList(C.StandardSize, S.StandardSize);
  C.Gamma = S.Gamma;
  C.PhysicalWidth = S.PhysicalWidth;
  C.PhysicalHeight = S.PhysicalHeight;
  C.OwnerTest1 = S.OwnerTest1;
  C.ProgressIndicators = S.ProgressIndicators;
  C.Threshold = S.Threshold;
  C.Rotation = S.Rotation;
  C.AutoFeed = S.AutoFeed;
  C.AutoScan = S.AutoScan;
  C.FeederEnabled = S.FeederEnabled;
  C.OwnerTest2 = S.OwnerTest2;
  C.DuplexEnabled = S.DuplexEnabled;
  C.AcquireFrameEnabled = S.AcquireFrameEnabled;
  C.OwnerTest3 = S.OwnerTest3;
  C.UndefinedImageSize = S.UndefinedImageSize;
  C.AutoDeskew = S.AutoDeskew;
  C.AutoBorderDetection = S.AutoBorderDetection;
  C.AutoRotate = S.AutoRotate;
  C.FilmScanMode = S.FilmScanMode;
  C.AcquireFrameWidth = S.AcquireFrameWidth;
  C.AcquireFrameHeight = S.AcquireFrameHeight;
  AppVersionInfo = Source.AppVersionInfo;
  AppManufacturer = Source.AppManufacturer;
  AppProductFamily = Source.AppProductFamily;
  AppProductName = Source.AppProductName;
  CompatibilityMode = Source.CompatibilityMode;
}

// --- WIA -----------------------------------------------------------------------------------

namespace {

bool OleInitializedByHolders = false;

constexpr TGUID MakeGUID(DWORD D1, Word D2, Word D3, Byte B0, Byte B1, Byte B2, Byte B3, Byte B4, Byte B5, Byte B6,
                         Byte B7) {
  // The byte order of the platform's GUID structure: the three first fields little-endian.
  return TGUID{{Byte(D1), Byte(D1 >> 8), Byte(D1 >> 16), Byte(D1 >> 24), Byte(D2), Byte(D2 >> 8), Byte(D3),
                Byte(D3 >> 8), B0, B1, B2, B3, B4, B5, B6, B7}};
}

void EnsureOle() {
  // There is no OLE to initialise here; the flag keeps the holders' bookkeeping of it.
  OleInitializedByHolders = true;
}

}  // namespace

const TGUID WIA_EVENT_ITEM_CREATED = MakeGUID(0x4C8F4EF5, 0xE14F, 0x11D2, 0xB3, 0x26, 0x00, 0xC0, 0x4F, 0x68, 0xCE, 0x61);
const TGUID WIA_EVENT_ITEM_DELETED = MakeGUID(0x1D22A559, 0xE14F, 0x11D2, 0xB3, 0x26, 0x00, 0xC0, 0x4F, 0x68, 0xCE, 0x61);
const TGUID WIA_EVENT_TREE_UPDATED = MakeGUID(0xC9859B91, 0x4AB2, 0x4CD6, 0xA1, 0xFC, 0x58, 0x2E, 0xEC, 0x55, 0xE5, 0x85);

std::function<IIEWiaDevMgr*()> IECreateWiaDeviceManager = [] { return static_cast<IIEWiaDevMgr*>(nullptr); };

void IEInitWia() { OleInitializedByHolders = false; }
void IEFinalWia() { OleInitializedByHolders = false; }
bool IEWiaOleInitialized() { return OleInitializedByHolders; }

Integer TWiaEventCallBack::ImageEventCallback(const TGUID& EventGUID, const WideString&, const WideString&,
                                              const WideString&, DWORD, const WideString&, DWORD, DWORD) {
  TIEWia* Owner = FOwner;
  if (!Owner) return 0;
  Byte Kind = 0;
  if (EventGUID == WIA_EVENT_TREE_UPDATED) Kind = 1;
  else if (EventGUID == WIA_EVENT_ITEM_CREATED) Kind = 2;
  else if (EventGUID == WIA_EVENT_ITEM_DELETED) Kind = 3;
  else return 0;
  Owner->LastEvent = Kind;
  if (Owner->OnDeviceEvent) Owner->OnDeviceEvent(Owner);
  return 0;
}

TIEWia::TIEWia(TZodivErIO* Owner) : FOwner(Owner) {
  if (!OleInitializedByHolders) EnsureOle();
  FDevMgr = IECreateWiaDeviceManager ? IECreateWiaDeviceManager() : nullptr;
  if (!FDevMgr) {
    FNotAvailable = "Windows Image Acquisition is not available on this system";
    return;
  }
  const TGUID* Events[3] = {&WIA_EVENT_ITEM_CREATED, &WIA_EVENT_ITEM_DELETED, &WIA_EVENT_TREE_UPDATED};
  for (int i = 0; i < 3; ++i) {
    FCallbacks.push_back(std::make_shared<TWiaEventCallBack>(this));
    if (!FDevMgr->RegisterEventCallbackInterface(*Events[i], FCallbacks.back(), FRegistrations[i]))
      FRegistrations[i] = nullptr;
  }
}

TIEWia::~TIEWia() {
  // Ending the subscriptions first: no event can reach a holder that is going away.
  for (IIEUnknown*& R : FRegistrations) {
    if (R) R->Release();
    R = nullptr;
  }
  for (auto& C : FCallbacks) C->DropOwner();
  if (FDevMgr) FDevMgr->Release();
  FDevMgr = nullptr;
  FObjects.clear();
  FItem.reset();
}

// --- DirectShow ----------------------------------------------------------------------------

const char* const IEAnalogVideoStandards[20] = {
    "None",    "NTSC_M",  "NTSC_M_J", "NTSC_433", "PAL_B",    "PAL_D",   "PAL_H",   "PAL_I",    "PAL_M",   "PAL_N",
    "PAL_60",  "SECAM_B", "SECAM_D",  "SECAM_G",  "SECAM_H",  "SECAM_K", "SECAM_K1", "SECAM_L", "SECAM_L1", "PAL_N_COMBO"};

const char* const IEVideoSampleFormats[36] = {
    "CLPL", "YUYV",   "IYUV",   "YVU9",  "Y411",  "Y41P",     "YUY2",     "YVYU",   "UYVY", "Y211", "YV12", "CLJR",
    "IF09", "CPLA",   "MJPG",   "TVMJ",  "WAKE",  "CFCC",     "IJPG",     "Plum",   "DVCS", "DVSD", "MDVF", "RGB1",
    "RGB4", "RGB8",   "RGB565", "RGB555", "RGB24", "RGB32",   "ARGB1555", "ARGB4444", "ARGB32", "AYUV", "AI44", "IA44"};

TIEDirectShow::TIEDirectShow() {
  if (!OleInitializedByHolders) EnsureOle();
}

TIEDirectShow::~TIEDirectShow() {
  Disconnect();
  ClearVideoFormats();
}

namespace {
template <class T>
void ReleaseRef(T*& Ref) {
  if (Ref) Ref->Release();
  Ref = nullptr;
}
}  // namespace

void TIEDirectShow::Disconnect() {
  if (MediaControl && GetState() != 0) MediaControl->Stop();
  ReleaseRef(MediaControl);
  ReleaseRef(MediaEvent);
  ReleaseRef(MediaSeeking);
  ReleaseRef(WindowlessControl);
  ReleaseRef(RendererConfig);
  ReleaseRef(StreamConfig);
  ReleaseRef(Crossbar);
  ReleaseRef(TVTuner);
  ReleaseRef(VideoDecoder);
  ReleaseRef(FrameStep);
  ReleaseRef(DvdControl);
  ReleaseRef(DvdInfo);
  ReleaseRef(SampleGrabber);
  ReleaseRef(Grabber);
  ReleaseRef(NullRenderer);
  ReleaseRef(VideoRenderer);
  ReleaseRef(VideoCompressor);
  ReleaseRef(AudioCompressor);
  ReleaseRef(VideoSource);
  ReleaseRef(AudioSource);
  ReleaseRef(CaptureGraph);
  ReleaseRef(FilterGraph);
  SampleBuffer = nullptr;
}

void TIEDirectShow::ClearVideoFormats() { VideoFormats.clear(); }

Integer TIEDirectShow::GetState() {
  if (!MediaControl) return 0;
  Integer State = 0;
  MediaControl->GetState(100, State);
  return State & 0xFF;
}

void TIEDirectShow::SetNotifyWindow(TWinControl* Window, Cardinal NewFrameMessage, Cardinal EventMessage) {
  FNotifyWindow = Window;
  FNewFrameMessage = NewFrameMessage;
  FEventMessage = EventMessage;
  if (Connected() && MediaEvent) MediaEvent->SetNotifyWindow(Window, EventMessage, this);
}

void TIEDirectShow::SetVideoPosition(const TRect& SourceRect, const TRect& DestRect) {
  if (!WindowlessControl) return;
  const TRect S = SourceRect, D = DestRect;
  WindowlessControl->SetVideoPosition(&S, &D);
}

void TIEDirectShow::GetVideoSize(Integer& Width, Integer& Height) {
  if (WindowlessControl) WindowlessControl->GetNativeVideoSize(Width, Height);
}

void TIEDirectShow::RepaintVideo(TWinControl* Window, void* DC) {
  if (WindowlessControl) WindowlessControl->RepaintVideo(Window, DC);
}
