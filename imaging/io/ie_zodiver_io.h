// TZodivErIO: the component through which the library loads and saves images, by file name,
// stream, memory buffer or format id. It works on one TIEBitmap: its own, the image of an
// attached view, the bitmap of an attached picture control or a bitmap the caller hands it. Its
// TIOParamsVals record describes the image last loaded and steers the next save.
//
// Every load and save ends with OnProgress(100) and OnFinishWork, also when it failed; Aborting
// tells the caller afterwards whether it failed, and FailureReason says why when the component
// or the codec knows. Aborting is atomic: a caller may set it from another thread to cancel.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_language.h"
#include "imaging/core/ie_mask.h"
#include "imaging/core/ie_params.h"
#include "imaging/core/ie_progress.h"
#include "imaging/formats/avi/ie_avi.h"
#include "imaging/io/ie_file_formats.h"
#include "imaging/io/ie_io_threads.h"
#include "imaging/io/ie_io_unit.h"
#include "imaging/view/ie_view_base.h"
#include "platform/gui/colors.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/streams.h"

class TBitmap;
class TFont;
class TForm;
class TImage;
class TIEMetafile;
class TIETWainParams;
class TIEWia;
class TIEDirectShow;

// Pixel formats as bits (1 shl format); 0 allows every format.
using TIEPixelFormatSet = std::uint16_t;

enum TIOPreviewsParam : Byte { ioppDefaultLockPreview = 0, ioppApplyButton };
using TIOPreviewsParams = Byte;  // bits of TIOPreviewsParam
enum TIEDialogsMeasureUnit : Byte { ieduInches, ieduCm, ieduSelectableDefInches, ieduSelectableDefCm };

using TIEIOPreviewEvent = std::function<void(TObject* Sender, TForm* PreviewForm)>;
using TIEDoPreviewsEvent = std::function<void(TObject* Sender, bool& Handled)>;
using TIEAcquireBitmapEvent = std::function<void(TObject* Sender, TIEBitmap* ABitmap, bool& Handled)>;

class TZodivErIO : public TComponent {
 public:
  explicit TZodivErIO(TComponent* AOwner);
  ~TZodivErIO() override;
  AnsiString ClassName() const override { return "TZodivErIO"; }

  // --- state the callers read and write ---
  TIOParamsVals* IOParams() const { return FParams.get(); }
  std::atomic<bool> Aborting{false};
  // Why the last operation failed, when that is known; cleared as each operation starts.
  const AnsiString& FailureReason() const { return FFailureReason; }
  TIEBitmap* IEBitmap() const { return FImage; }

  // --- attachment ---
  TIEView* AttachedZodivEr() const { return FAttachedZodivEr; }
  void SetAttachedZodivEr(TIEView* View);
  TImage* AttachedTImage() const { return FAttachedTImage; }
  void SetAttachedTImage(TImage* Picture);
  TIEBitmap* AttachedIEBitmap() const { return FOwnsImage ? nullptr : FImage; }
  void SetAttachedIEBitmap(TIEBitmap* Bitmap);
  void SetIEBitmap(TIEBitmap* Bitmap);

  // --- published properties ---
  TColor Background() const;
  void SetBackground(TColor Value);
  bool NativePixelFormat() const { return FParams ? FParams->NativePixelFormat : false; }
  void SetNativePixelFormat(bool Value) {
    if (FParams) FParams->NativePixelFormat = Value;
  }
  bool StreamHeaders = false;
  bool AutoAdjustDPI = false;
  bool FilteredAdjustDPI = false;
  TMsgLanguage MsgLanguage = msSystem;
  TIOPreviewsParams PreviewsParams = 0;
  TFont* PreviewFont() const { return FPreviewFont.get(); }
  void SetPreviewFont(TFont* Value);
  bool SimplifiedParamsDialogs = true;
  TIEDialogsMeasureUnit DialogsMeasureUnit = ieduInches;
  Byte DefaultDitherMethod() const { return FDefaultDitherMethod; }
  void SetDefaultDitherMethod(Byte Value);
  TIOPrintPreviewParams* PrintPreviewParams() const { return FPrintPreviewParams.get(); }
  // Loads and saves on an image the component does not own (a view, a picture control or an
  // outside bitmap) run in a worker thread of the component and return at once; the finish
  // event tells when the work is done. Until then the caller leaves the image, the parameter
  // record and the stream alone.
  bool AsyncMode = false;
  // The proxy LoadFromURL goes through; empty for none.
  WideString ProxyAddress;
  WideString ProxyUser;
  WideString ProxyPassword;
  // The acquisition holders: the TWAIN parameters live as long as the component, the other two
  // are made on first request. No acquisition device interface exists on this system.
  TIETWainParams* TWainParams() const { return FTWainParams.get(); }
  Integer AcquireState() const { return FAcquireState; }

  TIEProgressEvent OnProgress;
  TNotifyEvent OnFinishWork;
  TIEIOPreviewEvent OnIOPreview;
  TIEDoPreviewsEvent OnDoPreviews;
  TIEAcquireBitmapEvent OnAcquireBitmap;

  // --- overridable operations ---
  virtual void AcquireBitmapReceived(TIEBitmap* ABitmap, TIOParamsVals*& Params);
  virtual void ResetAcquireState() { FAcquireState = 0; }
  virtual void DoFinishWork();
  // The framework bitmap behind the image: its own when the image is stored as one, else the
  // attached picture bitmap.
  virtual TBitmap* GetBitmap();
  virtual TIEWia* GetWia();
  virtual TIEDirectShow* GetDirectShow();
  virtual void DoProgress(TObject* Sender, Integer Percent);
  virtual void UpdateViewDPI();
  // The save-parameter dialog, unless OnDoPreviews answers for it: True when the user confirmed
  // parameters, which are then in IOParams.
  virtual bool DoPreviews(TPreviewParams Pages);

  virtual void DoAcquireBitmap(TIEBitmap* ABitmap, bool& Handled);
  virtual void LoadFromFile(const WideString& FileName);
  virtual void LoadFromFileAuto(const WideString& FileName);
  virtual void SaveToFile(const WideString& FileName);
  // Writes the image as source text into FileName: the bytes of its encoding in FileType as a
  // constant array (Style 0), a byte list (1) or base64 lines (2), or a character picture of
  // an ie24RGB image (3).
  virtual void SaveToSourceArray(const WideString& FileName, Integer FileType, Byte Style);
  virtual void LoadFromFileFormat(const WideString& FileName, Integer FileType);
  virtual void LoadFromBuffer(const void* Buffer, Integer BufferSize, Integer FileType);
  virtual void ParamsFromFile(const WideString& FileName);
  virtual void ParamsFromFileFormat(const WideString& FileName, Integer FileType);
  virtual void ParamsFromStream(TStream* Stream);
  virtual void ParamsFromStreamFormat(TStream* Stream, Integer FileType);
  virtual void LoadFromStream(TStream* Stream);
  virtual void LoadFromStreamFormat(TStream* Stream, Integer FileType);
  virtual void SaveToStream(TStream* Stream, Integer FileType);
  // Downloads the resource (ie_url_download.h) through the proxy settings above and loads it
  // as LoadFromStream does; a failed download fails with its reason and the finish event.
  void LoadFromURL(const WideString& URL);

  bool MakeConsistentBitmap(TIEPixelFormatSet Allowed);
  void Update();
  void SetDefaultDPI();
  void AdjustDPI();
  // Called by an attached view when its image object changed or when it goes away.
  void ViewChanged(bool Destroying);
  // Waits until every worker thread of the component has ended; with Abort, Aborting is raised
  // so that running codecs stop at their next check. On the main thread the wait keeps serving
  // the calls workers hand to the main thread.
  void WaitThreads(bool Abort);
  // The calling thread is one of the component's worker threads.
  bool IsInsideAsyncThread() const;
  void ResumeThreads();
  // The WIA holder's progress: passes Percent on and answers whether to go on.
  bool WiaProgress(Integer Percent);
  // Points the DirectShow holder's notifications at the attached view's window.
  void UpdateDShowNotifyWindow();
  void CloseMediaFile();
  void ClosePSFile() {}
  void ClosePDFFile() {}

  // --- per-format loads ---
  Integer LoadFromFileTIFF(const WideString& FileName);
  Integer LoadFromStreamTIFF(TStream* Stream);
  Integer LoadFromFileGIF(const WideString& FileName);
  Integer LoadFromStreamGIF(TStream* Stream);
  void LoadFromFileJPEG(const WideString& FileName);
  void LoadFromStreamJPEG(TStream* Stream);
  void LoadFromFilePCX(const WideString& FileName);
  void LoadFromStreamPCX(TStream* Stream);
  void LoadFromFileDCX(const WideString& FileName);
  void LoadFromStreamDCX(TStream* Stream);
  void LoadFromFileBMP(const WideString& FileName);
  void LoadFromStreamBMP(TStream* Stream);
  void LoadFromFileICO(const WideString& FileName);
  void LoadFromStreamICO(TStream* Stream);
  void LoadFromFileCUR(const WideString& FileName);
  void LoadFromStreamCUR(TStream* Stream);
  void LoadFromFilePNG(const WideString& FileName);
  void LoadFromStreamPNG(TStream* Stream);
  void LoadFromFileTGA(const WideString& FileName);
  void LoadFromStreamTGA(TStream* Stream);
  void LoadFromFilePXM(const WideString& FileName);
  void LoadFromStreamPXM(TStream* Stream);
  void LoadFromFileJP2(const WideString& FileName);
  void LoadFromFileJ2K(const WideString& FileName);
  void LoadFromStreamJP2(TStream* Stream);
  void LoadFromStreamJ2K(TStream* Stream);
  void LoadFromFileWBMP(const WideString& FileName);
  void LoadFromStreamWBMP(TStream* Stream);
  void LoadFromFileDICOM(const WideString& FileName);
  void LoadFromStreamDICOM(TStream* Stream);
  void LoadFromFileRAW(const WideString& FileName);
  void LoadFromStreamRAW(TStream* Stream);
  void LoadFromFilePSD(const WideString& FileName);
  void LoadFromStreamPSD(TStream* Stream);
  void LoadFromFileBMPRAW(const WideString& FileName);
  void LoadFromStreamBMPRAW(TStream* Stream);
  void LoadFromFileObjectsLayers(const WideString& FileName, Integer FileType);
  void LoadFromStreamObjectsLayers(TStream* Stream, Integer FileType);
  // Objects (25), layers (26), layers and objects (27) are the attached view's to write: a
  // vector view for 25 and 27, any image view for 26. Without one the save fails with a reason
  // and nothing is written.
  void SaveToFileObjectsLayers(const WideString& FileName, Integer FileType);
  void SaveToStreamObjectsLayers(TStream* Stream, Integer FileType);
  // Draws a WMF or EMF at Width x Height (a negative side follows the picture's proportions,
  // both negative keep its size; sides are brought down to IEMaxMetafileSize); WithAlpha makes
  // what the drawing did not touch transparent. A file that is not a readable metafile raises
  // EInvalidGraphic naming it, after the finish event.
  void ImportMetafile(const WideString& FileName, Integer Width, Integer Height, bool WithAlpha);
  // Frames of an AVI file kept open between loads: OpenAVIFile answers the frame count (0 when
  // the file cannot be opened: Aborting and the reason say so), LoadFromAVI loads one frame,
  // failing with a reason when no file is open or the frame is out of range or lost.
  Integer OpenAVIFile(const WideString& FileName);
  // The same for a loaded picture; no event. A zero Width or Height does nothing.
  void SyncImportMetafile(TIEMetafile* Picture, Integer Width, Integer Height, bool WithAlpha);
  void LoadFromAVI(Integer FrameIndex);
  void CloseAVIFile();

  // --- per-format saves ---
  void SaveToFileTIFF(const WideString& FileName);
  void SaveToStreamTIFF(TStream* Stream);
  void SaveToFileGIF(const WideString& FileName);
  void SaveToStreamGIF(TStream* Stream);
  void SaveToFileJPEG(const WideString& FileName);
  void SaveToStreamJPEG(TStream* Stream);
  void SaveToFilePCX(const WideString& FileName);
  void SaveToStreamPCX(TStream* Stream);
  void SaveToFileDCX(const WideString& FileName);
  void SaveToStreamDCX(TStream* Stream);
  void SaveToFileBMP(const WideString& FileName);
  void SaveToStreamBMP(TStream* Stream);
  void SaveToFileICO(const WideString& FileName);
  void SaveToStreamICO(TStream* Stream);
  void SaveToFilePNG(const WideString& FileName);
  void SaveToStreamPNG(TStream* Stream);
  void SaveToFileTGA(const WideString& FileName);
  void SaveToStreamTGA(TStream* Stream);
  void SaveToFilePXM(const WideString& FileName);
  void SaveToStreamPXM(TStream* Stream);
  void SaveToFileJP2(const WideString& FileName);
  void SaveToFileJ2K(const WideString& FileName);
  void SaveToStreamJP2(TStream* Stream);
  void SaveToStreamJ2K(TStream* Stream);
  void SaveToFileWBMP(const WideString& FileName);
  void SaveToStreamWBMP(TStream* Stream);
  void SaveToFilePS(const WideString& FileName);
  void SaveToStreamPS(TStream* Stream);
  void SaveToFilePDF(const WideString& FileName);
  void SaveToStreamPDF(TStream* Stream);
  void SaveToFilePSD(const WideString& FileName);
  void SaveToStreamPSD(TStream* Stream);
  // The stream bodies of the Photoshop methods: layers from and to an attached TZodivErView.
  void SyncLoadFromStreamPSD(TStream* Stream);
  void SyncSaveToStreamPSD(TStream* Stream, TIECodecProgress& Progress);

  // Rewrites the resolution block of the Photoshop APP13 marker with the parameters' resolution.
  void SyncPhotoshopResolution();

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  friend class TIEIOThread;

  // The parameter record calls up to its owner through this link.
  class TParamsLink : public TIEParamsOwner {
   public:
    explicit TParamsLink(TZodivErIO* IO) : FIO(IO) {}
    TIEBitmap* GetBitmap() override { return FIO->FImage; }
    void SetViewDpiX(Integer Value) override;
    void SetViewDpiY(Integer Value) override;

   private:
    TZodivErIO* FIO;
  };

  // What a format's reader does inside the common load frame: Stream is positioned at the image,
  // Alpha receives a transparency mask when the reader makes one.
  using TLoadBody = std::function<void(TStream* Stream, TIECodecProgress& Progress, TIEMask*& Alpha)>;
  using TSaveBody = std::function<void(TStream* Stream, TIECodecProgress& Progress)>;
  struct TLoadSteps {
    bool DefaultDPI = true;  // S
    bool Alpha = false;      // A
    bool AdjustDPI = true;   // D
    bool ViewDPI = true;     // V
  };

  // The whole frame of a load from an already open stream; FileName empty for stream loads.
  void RunLoad(TStream* Stream, const WideString& FileName, Integer FileType, const TLoadSteps& Steps,
               const TLoadBody& Body);
  // Opens the file inside the frame (a failed open sets Aborting and fires the finish event
  // before the exception reaches the caller), then runs the load.
  void LoadFile(const WideString& FileName, Integer FileType, const TLoadSteps& Steps, const TLoadBody& Body);
  void RunSave(TStream* Stream, const WideString& FileName, Integer FileType, bool To24Bit, const TSaveBody& Body);
  // Every save into a file, of every format, goes through here: the codec writes a temporary
  // file beside the target, which replaces the target only when the codec finished without
  // Aborting. A codec that fails, raises or is stopped, and a disk that fills up, leave the
  // target as it was and no temporary file behind; the reason names the file and the cause.
  void SaveFile(const WideString& FileName, Integer FileType, bool To24Bit, const TSaveBody& Body);
  // Ends an operation whose format has no codec in the library, with a reason and the finish event.
  void NotAvailable(Integer FileType, bool Saving);
  void Finishing(const std::function<void()>& Work);
  // SaveToFile by a built-in format's id; False for an id without a save method.
  bool SaveFileById(const WideString& FileName, Integer FileType);
  // The file method of a built-in format's id; False for the ids without one.
  bool LoadFileById(const WideString& FileName, Integer FileType);
  // Loads through a stream method from a file opened inside the frame; the file name is set
  // after the stream method's finish event, as the stream method clears it.
  void LoadFileThroughStream(const WideString& FileName, const std::function<void(TStream*)>& StreamMethod);
  void LoadStream(TStream* Stream, Integer FileType, const TLoadSteps& Steps, const TLoadBody& Body);
  void SaveStream(TStream* Stream, Integer FileType, bool To24Bit, const TSaveBody& Body);
  void Fail(const AnsiString& Reason);
  // The camera raw reader; a DNG it does not recognise is refused as such.
  void ReadCameraRaw(TStream* Stream, TIECodecProgress& Progress, bool Preview);
  TIECodecProgress MakeProgress();
  void ConvertTo24Bit();
  void RemoveAlpha();
  void MaskToAlpha(TIEMask* Mask);
  TIEMask* AlphaToMask();
  void PrepareJPEGMarkers();
  void UnregisterFromView();
  // Loads through a registered row's read procedure: from Stream, or from the file FileName
  // opened inside the frame when Stream is nil. CatchReader turns what the reader raises into
  // a failure instead of passing it on.
  void RegisteredLoad(TStream* Stream, TIEFileFormatInfo* Row, const WideString& FileName, bool CatchReader);
  bool DispatchStreamLoad(TStream* Stream, Integer FileType, bool WithExtras);
  void ParamsRead(TStream* Stream, Integer FileType, bool FromFile);
  // LoadFromFile of an ".avi" name: opens the file, loads frame ImageIndex and closes it.
  void LoadAVIByName(const WideString& FileName);

  // Frame step 1: with AsyncMode on an image not owned, outside the component's own threads,
  // each InThread hands the call to a new worker thread and answers True; else False, and the
  // caller does the work itself.
  bool StartsThread() const;
  bool InThread(TIEIOThread::TFileProc Method, const WideString& FileName);
  bool InThread(TIEIOThread::TStreamProc Method, TStream* Stream);
  bool InThread(TIEIOThread::TFileFunc Method, const WideString& FileName);
  bool InThread(TIEIOThread::TStreamFunc Method, TStream* Stream);
  bool InThread(TIEIOThread::TFileIntProc Method, const WideString& FileName, Integer Value);
  bool InThread(TIEIOThread::TStreamIntProc Method, TStream* Stream, Integer Value);
  bool InThread(TIEIOThread::TIntProc Method, Integer Value);
  bool InThread(TIEIOThread::TMetafileProc Method, const WideString& FileName, Integer Width, Integer Height,
                bool WithAlpha);
  bool InThreadURL(TIEIOThread::TFileProc Method, const WideString& Address);
  Integer OtherThreadsRunning(bool Abort);
  // From a worker thread, posts Msg to an attached view that has a parent window (making its
  // window on the main thread first) and answers True; otherwise False.
  bool PostToView(Cardinal Msg, Integer WParam);
  void EnsureViewHandle();
  // Runs Work on the main thread when called from a worker: a view and a picture control are
  // the main thread's.
  void OnMainThread(const std::function<void()>& Work);

  TParamsLink FParamsLink{this};
  TBitmap* FPictureBitmap = nullptr;
  TIEBitmap* FImage = nullptr;
  bool FOwnsImage = false;
  TIEView* FAttachedZodivEr = nullptr;
  TIENotifyHandle FViewCallback = -1;
  TImage* FAttachedTImage = nullptr;
  TColor FBackground = 0;
  bool FChangeBackground = false;
  std::unique_ptr<TFont> FPreviewFont;
  Integer FAcquireState = 0;
  std::unique_ptr<TIEIOThreadList> FThreads;
  std::unique_ptr<TIETWainParams> FTWainParams;
  std::unique_ptr<TIEWia> FWia;
  std::unique_ptr<TIEDirectShow> FDirectShow;
  std::unique_ptr<TIEDirectShow> FMediaFile;  // an open media file; nothing opens one yet
  Byte FDefaultDitherMethod = 1;
  std::unique_ptr<TIOPrintPreviewParams> FPrintPreviewParams;
  std::unique_ptr<TIOParamsVals> FParams;
  AnsiString FFailureReason;
  std::unique_ptr<TStream> FAviFile;
  std::unique_ptr<TIEAviReader> FAviReader;
  WideString FAviFileName;
};
