// The component itself: its image and what it is attached to, events, resolution handling, the
// common frame of every load and save, and loading and saving by file name.
#include "imaging/io/ie_zodiver_io.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/core/ie_bits.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_text.h"
#include "imaging/core/ie_wide_file_stream.h"
#include "imaging/formats/codec.h"
#include "imaging/io/ie_acquire_params.h"
#include "imaging/io/ie_format_detection.h"
#include "imaging/io/ie_preview_params_dialog.h"
#include "imaging/proc/resample/ie_resample.h"
#include "imaging/view/ie_view.h"
#include "platform/gui/bitmap.h"
#include "platform/gui/extctrls.h"
#include "platform/gui/graphics_objects.h"
#include "platform/rtl/files.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/replacing_file_stream.h"
#include "platform/rtl/strings.h"

namespace {

// Nearest-pixel scaling of Source into Dest's size, for every pixel format (1-bit rows included).
void StretchNearest(TIEBitmap* Source, TIEBitmap* Dest) {
  const Integer SW = Source->GetWidth(), SH = Source->GetHeight();
  const Integer DW = Dest->GetWidth(), DH = Dest->GetHeight();
  if (SW <= 0 || SH <= 0 || DW <= 0 || DH <= 0) return;
  const Integer Bits = Source->GetBitCount();
  if (Bits != Dest->GetBitCount() || Bits <= 0) return;
  std::vector<Integer> Column(static_cast<size_t>(DW));
  for (Integer x = 0; x < DW; ++x) Column[size_t(x)] = Integer(Int64(x) * SW / DW);
  const Integer PixelBytes = Bits / 8;
  for (Integer y = 0; y < DH; ++y) {
    const Byte* Src = static_cast<const Byte*>(Source->GetScanline(Integer(Int64(y) * SH / DH)));
    Byte* Dst = static_cast<Byte*>(Dest->GetScanline(y));
    if (Bits == 1) {
      for (Integer x = 0; x < DW; ++x) IESetBit(Dst, x, IEGetBit(Src, Column[size_t(x)]) ? 1 : 0);
    } else {
      for (Integer x = 0; x < DW; ++x)
        std::memcpy(Dst + size_t(x) * PixelBytes, Src + size_t(Column[size_t(x)]) * PixelBytes, size_t(PixelBytes));
    }
  }
}

}  // namespace

// --- construction --------------------------------------------------------------------------

TZodivErIO::TZodivErIO(TComponent* AOwner) : TComponent(AOwner) {
  FImage = new TIEBitmap;
  FOwnsImage = true;
  FThreads = std::make_unique<TIEIOThreadList>();
  FTWainParams = std::make_unique<TIETWainParams>(this);
  FPreviewFont = std::make_unique<TFont>();
  FPrintPreviewParams = std::make_unique<TIOPrintPreviewParams>();
  FParams = std::make_unique<TIOParamsVals>(&FParamsLink);
  FImage->DitherMethod = FDefaultDitherMethod;
}

TZodivErIO::~TZodivErIO() {
  WaitThreads(false);
  CloseMediaFile();
  ClosePSFile();
  ClosePDFFile();
  CloseAVIFile();
  UnregisterFromView();
  FParams.reset();
  FTWainParams.reset();
  if (FOwnsImage) delete FImage;
  FImage = nullptr;
  FWia.reset();
  FDirectShow.reset();
  FThreads.reset();
}

void TZodivErIO::TParamsLink::SetViewDpiX(Integer Value) {
  if (FIO->FAttachedZodivEr) FIO->OnMainThread([this, Value] { FIO->FAttachedZodivEr->SetDpiX(Value); });
}

void TZodivErIO::TParamsLink::SetViewDpiY(Integer Value) {
  if (FIO->FAttachedZodivEr) FIO->OnMainThread([this, Value] { FIO->FAttachedZodivEr->SetDpiY(Value); });
}

// --- attachment ----------------------------------------------------------------------------

void TZodivErIO::UnregisterFromView() {
  if (FAttachedZodivEr && FViewCallback >= 0) FAttachedZodivEr->RemoveNotifyCallback(FViewCallback);
  FViewCallback = -1;
}

void TZodivErIO::SetAttachedZodivEr(TIEView* View) {
  UnregisterFromView();
  if (FAttachedZodivEr && FAttachedZodivEr != View) FAttachedZodivEr->RemoveFreeNotification(this);
  if (FOwnsImage) delete FImage;
  FImage = nullptr;
  FOwnsImage = false;
  FPictureBitmap = nullptr;
  FAttachedZodivEr = nullptr;
  if (!View) {
    FImage = new TIEBitmap;
    FOwnsImage = true;
    FImage->DitherMethod = FDefaultDitherMethod;
    return;
  }
  FPictureBitmap = View->GetBitmap();
  if (TIEBitmap* Image = View->GetIEBitmap()) {
    FImage = Image;
    FPictureBitmap = nullptr;
  } else {
    FImage = new TIEBitmap;
    FOwnsImage = true;
    if (FPictureBitmap) FImage->EncapsulateTBitmap(FPictureBitmap, true);
  }
  View->FreeNotification(this);
  if (FAttachedTImage) {
    FAttachedTImage->RemoveFreeNotification(this);
    FAttachedTImage = nullptr;
  }
  FAttachedZodivEr = View;
  FViewCallback = View->AddNotifyCallback([this](TIEView*, bool Destroying) { ViewChanged(Destroying); });
}

void TZodivErIO::ViewChanged(bool Destroying) {
  TIEView* View = FAttachedZodivEr;
  if (!View) return;
  if (Destroying) {
    // A worker still writing into the view's image must be done before that image goes.
    WaitThreads(true);
    // The view's image goes with it: take an image of our own.
    FViewCallback = -1;
    SetAttachedZodivEr(nullptr);
    return;
  }
  FPictureBitmap = View->GetBitmap();
  if (FOwnsImage) {
    if (FPictureBitmap) FImage->EncapsulateTBitmap(FPictureBitmap, true);
  } else if (TIEBitmap* Image = View->GetIEBitmap()) {
    FImage = Image;
    FPictureBitmap = nullptr;
  }
  FParams->SetDpiX(View->DpiX());
  FParams->SetDpiY(View->DpiY());
}

void TZodivErIO::SetAttachedTImage(TImage* Picture) {
  if (FAttachedZodivEr) SetAttachedZodivEr(nullptr);  // the view's image is not ours to wrap
  if (FAttachedTImage && FAttachedTImage != Picture) FAttachedTImage->RemoveFreeNotification(this);
  if (!Picture) {
    if (FAttachedTImage) FImage->FreeImage(true);
    FAttachedTImage = nullptr;
    FPictureBitmap = nullptr;
    return;
  }
  if (!FOwnsImage) {
    FImage = new TIEBitmap;
    FOwnsImage = true;
  }
  FPictureBitmap = Picture->Picture()->Bitmap();
  FImage->EncapsulateTBitmap(FPictureBitmap, true);
  Picture->FreeNotification(this);
  FAttachedTImage = Picture;
}

void TZodivErIO::SetIEBitmap(TIEBitmap* Bitmap) {
  FPictureBitmap = nullptr;
  if (FOwnsImage) delete FImage;
  FImage = Bitmap;
  FOwnsImage = false;
}

void TZodivErIO::SetAttachedIEBitmap(TIEBitmap* Bitmap) {
  if (!Bitmap) {
    // Letting go of an outside bitmap: back to an image of our own. With a view or a picture
    // control attached nothing changes.
    if (!FAttachedZodivEr && !FAttachedTImage && !FOwnsImage) SetAttachedZodivEr(nullptr);
    return;
  }
  if (FAttachedZodivEr) {
    UnregisterFromView();
    FAttachedZodivEr->RemoveFreeNotification(this);
    FAttachedZodivEr = nullptr;
  }
  if (FAttachedTImage) {
    FAttachedTImage->RemoveFreeNotification(this);
    FAttachedTImage = nullptr;
    // The image wraps the control's bitmap, which stays the control's.
    if (FOwnsImage) FImage->EncapsulateTBitmap(nullptr, true);
  }
  SetIEBitmap(Bitmap);
}

void TZodivErIO::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  if (AComponent && (AComponent == FAttachedZodivEr || AComponent == FAttachedTImage)) WaitThreads(true);
  if (AComponent && AComponent == FAttachedZodivEr) {
    FViewCallback = -1;  // the view has dropped its callbacks already
    FAttachedZodivEr = nullptr;
    SetAttachedZodivEr(nullptr);
  } else if (AComponent && AComponent == FAttachedTImage) {
    // The control and its bitmap are gone by now: forget the bitmap without touching it.
    FAttachedTImage = nullptr;
    FPictureBitmap = nullptr;
    FImage->AbandonTBitmap();
  }
}

// --- properties ----------------------------------------------------------------------------

TColor TZodivErIO::Background() const { return FAttachedZodivEr ? FAttachedZodivEr->Background() : FBackground; }

void TZodivErIO::SetBackground(TColor Value) {
  if (!FAttachedZodivEr) FBackground = Value;
  else if (FChangeBackground) FAttachedZodivEr->SetBackground(Value);
}

void TZodivErIO::SetDefaultDitherMethod(Byte Value) {
  FDefaultDitherMethod = Value;
  if (FImage) FImage->DitherMethod = Value;
}

void TZodivErIO::SetPreviewFont(TFont* Value) {
  if (Value) FPreviewFont->Assign(Value);
}

TBitmap* TZodivErIO::GetBitmap() {
  if (FImage && FImage->Location == ieTBitmap && FImage->GetWrapsTBitmap()) return FImage->GetVclBitmap();
  return FPictureBitmap;
}

bool TZodivErIO::MakeConsistentBitmap(TIEPixelFormatSet Allowed) {
  if (!FImage) return false;
  if (FPictureBitmap) FImage->EncapsulateTBitmap(FPictureBitmap, false);
  if (Allowed != 0 && !(Allowed & (1u << FImage->GetPixelFormat()))) return false;
  return true;
}

// --- events --------------------------------------------------------------------------------

// From a worker thread, events reach an attached view with a parent window as posted messages;
// without such a view they are called in the worker thread.
void TZodivErIO::DoProgress(TObject* Sender, Integer Percent) {
  if (!OnProgress) return;
  if (PostToView(IEM_PROGRESS, Percent)) return;
  OnProgress(Sender, Percent);
}

void TZodivErIO::DoFinishWork() {
  DoProgress(this, 100);
  if (!OnFinishWork) return;
  if (PostToView(IEM_FINISHWORK, 0)) return;
  OnFinishWork(this);
}

void TZodivErIO::Update() {
  if (!FImage) return;
  if (FPictureBitmap && FImage->HasAlphaChannel()) FImage->RemoveAlphaChannel(false, Background());
  if (!FAttachedZodivEr) {
    if (FPictureBitmap) OnMainThread([this] { FPictureBitmap->SetModified(true); });
    return;
  }
  if (PostToView(IEM_UPDATE, 0)) return;
  OnMainThread([this] {
    FAttachedZodivEr->Update();
    FAttachedZodivEr->ImageChange();
  });
}

void TZodivErIO::UpdateViewDPI() {
  if (!FAttachedZodivEr) return;
  OnMainThread([this] {
    FAttachedZodivEr->SuspendPaint();
    FAttachedZodivEr->SetDpi(FParams->DpiX, FParams->DpiY);
    FAttachedZodivEr->ResumePaintQuiet();
  });
}

// --- acquisition holders -------------------------------------------------------------------

TIEWia* TZodivErIO::GetWia() {
  if (!FWia) {
    FWia = std::make_unique<TIEWia>(this);
    FWia->OnProgress = [this](Integer Percent) { return WiaProgress(Percent); };
  }
  return FWia.get();
}

bool TZodivErIO::WiaProgress(Integer Percent) {
  DoProgress(this, Percent);
  return !Aborting;
}

TIEDirectShow* TZodivErIO::GetDirectShow() {
  if (!FDirectShow) {
    FDirectShow = std::make_unique<TIEDirectShow>();
    if (FAttachedZodivEr) FDirectShow->SetNotifyWindow(FAttachedZodivEr, IEM_NEWFRAME, IEM_EVENT);
  }
  return FDirectShow.get();
}

void TZodivErIO::UpdateDShowNotifyWindow() {
  if (FAttachedZodivEr && FDirectShow && FDirectShow->NotifyWindow() != FAttachedZodivEr)
    FDirectShow->SetNotifyWindow(FAttachedZodivEr, IEM_NEWFRAME, IEM_EVENT);
}

void TZodivErIO::CloseMediaFile() {
  if (!FMediaFile) return;
  FMediaFile->Disconnect();
  FMediaFile.reset();
}

void TZodivErIO::DoAcquireBitmap(TIEBitmap* ABitmap, bool& Handled) {
  if (OnAcquireBitmap) OnAcquireBitmap(this, ABitmap, Handled);
}

void TZodivErIO::AcquireBitmapReceived(TIEBitmap* ABitmap, TIOParamsVals*& Params) {
  if (!MakeConsistentBitmap(0)) return;
  bool Handled = false;
  DoAcquireBitmap(ABitmap, Handled);
  if (Handled) return;
  Params = FParams.get();
  FImage->Assign(ABitmap);
  if (AutoAdjustDPI) AdjustDPI();
  Update();
}

bool TZodivErIO::DoPreviews(TPreviewParams Pages) {
  if (OnDoPreviews) {
    bool Handled = false;
    OnDoPreviews(this, Handled);
    if (Handled) return true;
  }
  return IEExecutePreviewsDialog(this, Pages);
}

// --- resolution ----------------------------------------------------------------------------

void TZodivErIO::SetDefaultDPI() {
  if (FParams->DpiX < 2) FParams->SetDpiX(IEGlobalDefaultDpiX);
  if (FParams->DpiY < 2) FParams->SetDpiY(IEGlobalDefaultDpiY);
}

void TZodivErIO::AdjustDPI() {
  if (!MakeConsistentBitmap(0)) return;
  Integer X = FParams->DpiX, Y = FParams->DpiY;
  if (X == Y || X <= 0 || Y <= 0 || FImage->GetWidth() == 0 || FImage->GetHeight() == 0) return;
  double W = FParams->Width, H = FParams->Height;
  if (H < W) {
    H = std::trunc(H / Y * X);
    Y = X;
  } else {
    W = std::trunc(W / X * Y);
    X = Y;
  }
  // The resolutions come from the file: a size they make absurd is not allocated.
  TIECodecProgress Gate;
  if (W < 1 || H < 1 || W > 2147483647.0 || H > 2147483647.0 ||
      !IECheckImageSize(Gate, Int64(W), Int64(H), FImage->GetBitCount()))
    return;
  const Integer NewW = Integer(W), NewH = Integer(H);
  FParams->DpiX = X;
  FParams->DpiY = Y;
  FParams->Width = NewW;
  FParams->Height = NewH;

  std::unique_ptr<TIEBitmap> Alpha;
  if (FImage->HasAlphaChannel()) {
    Alpha = std::make_unique<TIEBitmap>();
    Alpha->Assign(FImage->GetAlphaChannel());
  }
  std::unique_ptr<TIEBitmap> Scaled;
  if (FilteredAdjustDPI) {
    Scaled = std::make_unique<TIEBitmap>(NewW, NewH, ie24RGB);
    if (FImage->GetPixelFormat() != ie24RGB) FImage->ConvertPixelFormat(ie24RGB);
    IEResampleFiltered(FImage, Scaled.get(), rfFastLinear);
  } else {
    Scaled = std::make_unique<TIEBitmap>(NewW, NewH, FImage->GetPixelFormat());
    FImage->CopyPaletteTo(Scaled.get());
    StretchNearest(FImage, Scaled.get());
  }
  FImage->Assign(Scaled.get());
  if (Alpha) StretchNearest(Alpha.get(), FImage->GetAlphaChannel());
}

// --- the frame -----------------------------------------------------------------------------

void TZodivErIO::Fail(const AnsiString& Reason) {
  Aborting = true;
  if (FFailureReason.empty()) FFailureReason = Reason;
}

TIECodecProgress TZodivErIO::MakeProgress() {
  TIECodecProgress P;
  P.OnProgress = [this](TObject* Sender, Integer Percent) { DoProgress(Sender, Percent); };
  P.Sender = this;
  P.Aborting = &Aborting;
  P.FailureReason = &FFailureReason;
  return P;
}

void TZodivErIO::ConvertTo24Bit() {
  const TIEPixelFormat F = FImage->GetPixelFormat();
  if (F != ie24RGB && F != ie1g) FImage->ConvertPixelFormat(ie24RGB);
}

void TZodivErIO::RemoveAlpha() {
  if (FImage->HasAlphaChannel()) FImage->AttachAlphaChannel(nullptr);
}

void TZodivErIO::MaskToAlpha(TIEMask* Mask) {
  TIEBitmap* Alpha = FImage->GetAlphaChannel();
  if (!Alpha) return;
  const Integer W = std::min(Alpha->GetWidth(), Mask->Width), H = std::min(Alpha->GetHeight(), Mask->Height);
  if (W <= 0 || H <= 0 || (Mask->BitsPerPixel != 1 && Mask->BitsPerPixel != 8)) return;
  // Row by row: a large frame's mask is read at memory speed, not a checked call a pixel.
  for (Integer y = 0; y < H; ++y) {
    Byte* Row = static_cast<Byte*>(Alpha->GetScanline(y));
    const Byte* Bits = Mask->GetScanline(y);
    if (Mask->BitsPerPixel == 8) {
      std::memcpy(Row, Bits, static_cast<size_t>(W));
    } else {
      for (Integer x = 0; x < W; ++x) Row[x] = IEGetBit(Bits, x) ? 255 : 0;
    }
  }
}

TIEMask* TZodivErIO::AlphaToMask() {
  if (!FImage->HasAlphaChannel()) return nullptr;
  auto Mask = std::make_unique<TIEMask>();
  FImage->GetAlphaChannel()->CopyToTIEMask(Mask.get());
  Mask->SyncFull();
  return Mask.release();
}

void TZodivErIO::RunLoad(TStream* Stream, const WideString& FileName, Integer FileType, const TLoadSteps& Steps,
                         const TLoadBody& Body) {
  TIECodecProgress Progress = MakeProgress();
  RemoveAlpha();
  TIEMask* Mask = nullptr;
  try {
    Body(Stream, Progress, Mask);
  } catch (...) {
    delete Mask;
    throw;
  }
  std::unique_ptr<TIEMask> KeepMask(Mask);
  if (Steps.DefaultDPI) SetDefaultDPI();
  if (Steps.Alpha && Mask) MaskToAlpha(Mask);
  if (Steps.AdjustDPI && AutoAdjustDPI && !Aborting) AdjustDPI();
  FParams->FileType = FileType;
  FParams->FileName = FileName;
  if (Steps.ViewDPI) UpdateViewDPI();
  Update();
}

// Runs Work and then the finish event, also when Work raises; nothing is left loaded or written
// in that case, so Aborting is set before the event and the exception goes on to the caller.
void TZodivErIO::Finishing(const std::function<void()>& Work) {
  try {
    Work();
  } catch (const std::exception& E) {
    Fail(E.what());
    DoFinishWork();
    throw;
  } catch (...) {
    Aborting = true;
    DoFinishWork();
    throw;
  }
  DoFinishWork();
}

void TZodivErIO::LoadFile(const WideString& FileName, Integer FileType, const TLoadSteps& Steps,
                          const TLoadBody& Body) {
  FFailureReason.clear();
  Aborting = true;
  Finishing([&] {
    if (!MakeConsistentBitmap(0)) return Fail("There is no image to load into");
    FParams->ResetInfo();
    TIEWideFileStream File(FileName, fmOpenRead | fmShareDenyWrite);
    Aborting = false;
    RunLoad(&File, FileName, FileType, Steps, Body);
  });
}

void TZodivErIO::RunSave(TStream* Stream, const WideString& FileName, Integer FileType, bool To24Bit,
                         const TSaveBody& Body) {
  (void)To24Bit;
  TIECodecProgress Progress = MakeProgress();
  Body(Stream, Progress);
  if (!FileName.empty()) {
    FParams->FileName = FileName;
    FParams->FileType = FileType;
  }
}

void TZodivErIO::SaveFile(const WideString& FileName, Integer FileType, bool To24Bit, const TSaveBody& Body) {
  FFailureReason.clear();
  Aborting = true;
  Finishing([&] {
    if (!MakeConsistentBitmap(0)) return Fail("There is no image to save");
    if (To24Bit) ConvertTo24Bit();
    TReplacingFileStream File(WideToAnsi(FileName));
    Aborting = false;
    // A file system that refused bytes says why in its own words ("No space left on device"),
    // better than the codec could; a save stopped through Aborting has no reason of its own.
    auto Failed = [&](AnsiString Cause) {
      if (!File.WriteError().empty()) Cause = File.WriteError();
      if (Cause.empty()) Cause = "the save was stopped before it was complete";
      FFailureReason = "Cannot save \"" + ExpandFileName(File.FileName()) + "\": " + Cause;
      Aborting = true;
    };
    try {
      RunSave(&File, FileName, FileType, To24Bit, Body);
    } catch (const std::exception& E) {
      Failed(E.what());
      throw;  // the temporary file goes with File
    } catch (...) {
      Failed("the writer failed");
      throw;
    }
    if (Aborting) return Failed(FFailureReason);
    try {
      File.Commit();
    } catch (const std::exception& E) {
      FFailureReason = E.what();
      Aborting = true;
    }
  });
}

namespace {
AnsiString IEFormatName(Integer FileType) {
  if (TIEFileFormatInfo* Row = IEFileFormatGetInfo(FileType)) return Row->FullName;
  switch (FileType) {
    case ioAVI: return "AVI frame";
    case ioBMPRAW: return "Raw pixel";
    default: return "Format " + IntToStr(FileType);
  }
}
}  // namespace

void TZodivErIO::NotAvailable(Integer FileType, bool Saving) {
  FFailureReason.clear();
  Fail(AnsiString(Saving ? "Writing " : "Reading ") + IEFormatName(FileType) + " files is not available");
  DoFinishWork();
}

// --- by file name --------------------------------------------------------------------------

void TZodivErIO::LoadFromFile(const WideString& FileName) {
  if (!FImage) return;
  FFailureReason.clear();
  if (FileName.empty()) {
    Fail("No file name was given");
    DoFinishWork();
    return;
  }
  if (IEGetURLTypeW(FileName) != 0) return LoadFromURL(FileName);
  WideString WExt;
  IEExtractFileExtW(FileName, true, WExt);
  const AnsiString Ext = WideToAnsi(WExt);
  if (Ext == ".avi") return LoadAVIByName(FileName);
  TIEFileFormatInfo* Row = IEFileFormatGetInfoByExt(Ext);
  if (!Row) {
    Fail("Unknown file extension \"" + Ext + "\"");
    DoFinishWork();
    return;
  }
  if (Row->InternalFormat && LoadFileById(FileName, Row->FileType)) return;
  if (Row->ReadFunction && InThread(&TZodivErIO::LoadFromFile, FileName)) return;
  RegisteredLoad(nullptr, Row, FileName, true);
}

bool TZodivErIO::LoadFileById(const WideString& FileName, Integer FileType) {
  switch (FileType) {
    case ioTIFF: LoadFromFileTIFF(FileName); return true;
    case ioGIF: LoadFromFileGIF(FileName); return true;
    case ioJPEG: LoadFromFileJPEG(FileName); return true;
    case ioPCX: LoadFromFilePCX(FileName); return true;
    case ioBMP: LoadFromFileBMP(FileName); return true;
    case ioICO: LoadFromFileICO(FileName); return true;
    case ioCUR: LoadFromFileCUR(FileName); return true;
    case ioPNG: LoadFromFilePNG(FileName); return true;
    case ioWMF:
    case ioEMF: ImportMetafile(FileName, -1, -1, true); return true;
    case ioTGA: LoadFromFileTGA(FileName); return true;
    case ioPXM: LoadFromFilePXM(FileName); return true;
    case ioJP2: LoadFromFileJP2(FileName); return true;
    case ioJ2K: LoadFromFileJ2K(FileName); return true;
    case ioWBMP: LoadFromFileWBMP(FileName); return true;
    case ioDCX: LoadFromFileDCX(FileName); return true;
    case ioRAW: LoadFromFileRAW(FileName); return true;
    case ioPSD: LoadFromFilePSD(FileName); return true;
    case ioIEV:
    case ioLYR:
    case ioALL: LoadFromFileObjectsLayers(FileName, FileType); return true;
    case ioDICOM: LoadFromFileDICOM(FileName); return true;
    default: return false;  // the write-only rows
  }
}

bool TZodivErIO::SaveFileById(const WideString& FileName, Integer FileType) {
  switch (FileType) {
    case ioTIFF: SaveToFileTIFF(FileName); return true;
    case ioGIF: SaveToFileGIF(FileName); return true;
    case ioJPEG: SaveToFileJPEG(FileName); return true;
    case ioPCX: SaveToFilePCX(FileName); return true;
    case ioBMP: SaveToFileBMP(FileName); return true;
    case ioICO: SaveToFileICO(FileName); return true;
    case ioPNG: SaveToFilePNG(FileName); return true;
    case ioTGA: SaveToFileTGA(FileName); return true;
    case ioPXM: SaveToFilePXM(FileName); return true;
    case ioJP2: SaveToFileJP2(FileName); return true;
    case ioJ2K: SaveToFileJ2K(FileName); return true;
    case ioWBMP: SaveToFileWBMP(FileName); return true;
    case ioPS: SaveToFilePS(FileName); return true;
    case ioPDF: SaveToFilePDF(FileName); return true;
    case ioDCX: SaveToFileDCX(FileName); return true;
    case ioPSD: SaveToFilePSD(FileName); return true;
    case ioIEV:
    case ioLYR:
    case ioALL: SaveToFileObjectsLayers(FileName, FileType); return true;
    default: return false;
  }
}

void TZodivErIO::SaveToFile(const WideString& FileName) {
  FFailureReason.clear();
  if (FileName.empty()) {
    Fail("No file name was given");
    DoFinishWork();
    return;
  }
  WideString WExt;
  IEExtractFileExtW(FileName, true, WExt);
  const AnsiString Ext = WideToAnsi(WExt);
  struct TByExt {
    const char* Exts;
    Integer FileType;
  };
  static const TByExt kSaveExts[] = {
      {".jpg.jpeg.jpe.jif.", ioJPEG}, {".jp2.", ioJP2},   {".j2k.jpc.j2c.", ioJ2K},
      {".pcx.", ioPCX},               {".dcx.", ioDCX},   {".gif.", ioGIF},
      {".tif.tiff.fax.g3f.g3n.", ioTIFF}, {".png.", ioPNG}, {".bmp.dib.rle.", ioBMP},
      {".tga.targa.vda.icb.vst.win.", ioTGA}, {".pxm.pbm.pgm.ppm.", ioPXM}, {".ico.", ioICO},
      {".wbmp.", ioWBMP},             {".ps.eps.", ioPS}, {".pdf.", ioPDF},
      {".psd.", ioPSD},
  };
  if (Ext.size() > 1)
    for (const TByExt& E : kSaveExts)
      if (AnsiString(E.Exts).find(Ext + ".") != AnsiString::npos) {
        SaveFileById(FileName, E.FileType);
        return;
      }
  TIEFileFormatInfo* Row = IEFileFormatGetInfoByExt(Ext);
  if (!Row || !Row->WriteFunction) {
    Fail(Row ? Row->FullName + " files cannot be written" : "Unknown file extension \"" + Ext + "\"");
    DoFinishWork();
    return;
  }
  // A built-in format under one of its other extensions is written by its own method, not by
  // the row's placeholder, which would leave an empty file behind.
  if (Row->InternalFormat && SaveFileById(FileName, Row->FileType)) return;
  if (Row->InternalFormat) {
    Fail(Row->FullName + " files cannot be written");
    DoFinishWork();
    return;
  }
  if (InThread(&TZodivErIO::SaveToFile, FileName)) return;
  SaveFile(FileName, Row->FileType, true, [&](TStream* S, TIECodecProgress& Progress) {
    FParams->FileName = FileName;
    FParams->FileType = Row->FileType;
    Row->WriteFunction(S, FImage, *FParams, Progress);
  });
}

// --- formats served by their registry rows ------------------------------------------------

void TZodivErIO::RegisteredLoad(TStream* Stream, TIEFileFormatInfo* Row, const WideString& FileName, bool CatchReader) {
  FFailureReason.clear();
  FParams->FileName.clear();
  FParams->FileType = ioUnknown;
  FParams->ResetInfo();
  if (!Row->ReadFunction) {
    Fail(Row->FullName + " files cannot be read");
    DoFinishWork();
    return;
  }
  Aborting = Stream == nullptr;
  Finishing([&] {
    if (!MakeConsistentBitmap(0)) return Fail("There is no image to load into");
    std::unique_ptr<TIEWideFileStream> File;
    if (!Stream) {
      File = std::make_unique<TIEWideFileStream>(FileName, fmOpenRead | fmShareDenyWrite);
      Stream = File.get();
      Aborting = false;
    }
    TIECodecProgress Progress = MakeProgress();
    FParams->FileName = FileName;
    FParams->FileType = Row->FileType;
    try {
      Row->ReadFunction(Stream, FImage, *FParams, Progress, false);
    } catch (const std::exception& E) {
      if (!CatchReader) throw;
      Fail(E.what());
    } catch (...) {
      if (!CatchReader) throw;
      Fail("The reader failed");
    }
    if (!Aborting) {
      if (AutoAdjustDPI) AdjustDPI();
      UpdateViewDPI();
    }
    Update();
  });
}

// --- frames over a caller's stream ---------------------------------------------------------

void TZodivErIO::LoadStream(TStream* Stream, Integer FileType, const TLoadSteps& Steps, const TLoadBody& Body) {
  FFailureReason.clear();
  Aborting = false;
  Finishing([&] {
    if (!MakeConsistentBitmap(0)) return Fail("There is no image to load into");
    FParams->ResetInfo();
    RunLoad(Stream, WideString(), FileType, Steps, Body);
  });
}

void TZodivErIO::SaveStream(TStream* Stream, Integer FileType, bool To24Bit, const TSaveBody& Body) {
  FFailureReason.clear();
  Aborting = false;
  Finishing([&] {
    if (!MakeConsistentBitmap(0)) return Fail("There is no image to save");
    if (To24Bit) ConvertTo24Bit();
    RunSave(Stream, WideString(), FileType, To24Bit, Body);
  });
}

void TZodivErIO::LoadFileThroughStream(const WideString& FileName, const std::function<void(TStream*)>& StreamMethod) {
  FFailureReason.clear();
  Aborting = true;
  std::unique_ptr<TIEWideFileStream> File;
  try {
    File = std::make_unique<TIEWideFileStream>(FileName, fmOpenRead | fmShareDenyWrite);
  } catch (const std::exception& E) {
    Fail(E.what());
    DoFinishWork();
    throw;
  }
  StreamMethod(File.get());
  FParams->FileName = FileName;
}
