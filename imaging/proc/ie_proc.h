// The processing component: every image operation of the library runs through one of these,
// on the current image of a view, on the picture of a TImage, or on a bitmap handed to it. It
// keeps the undo and redo history of what it changed.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "imaging/core/ie_progress.h"
#include "imaging/core/ie_types.h"
#include "imaging/core/ie_language.h"
#include "platform/gui/colors.h"
#include "platform/rtl/classes.h"
#include "platform/rtl/geometry.h"

class TBitmap;
class TFont;
class TImage;
class TMemoryStream;
class TIEBitmap;
class TIEMask;
class TIEView;

// A set of pixel formats, bit n standing for the TIEPixelFormat of value n; empty means any.
using TIEPixelFormatSet = Word;
constexpr TIEPixelFormatSet IEFormatSet(TIEPixelFormat Format) { return static_cast<TIEPixelFormatSet>(1u << Format); }
constexpr TIEPixelFormatSet IEAnyFormat = 0;

// What an undo or redo entry holds.
enum TIEUndoSource : Byte {
  ieuUnknown, ieuImage, ieuSelection, ieuObject, ieuLayer, ieuFullLayer, ieuObjectsAndLayers
};

enum TPRPreviewsParamsItem : Byte { prppShowResetButton, prppHardReset };
// One bit per TPRPreviewsParamsItem.
using TPRPreviewsParams = Byte;
constexpr TPRPreviewsParams IEPreviewsParam(TPRPreviewsParamsItem Item) { return static_cast<Byte>(1u << Item); }

using TIEPreviewEvent = std::function<void(TObject* Sender, TObject* Dialog)>;
using TIESaveUndoEvent = std::function<void(TObject* Sender, TIEUndoSource Source)>;

// The remembered settings of an image-processing preview dialog. The component only keeps them
// for such a dialog; nothing in the library reads them.
class TIPDialogParams : public TObject {
 public:
  TIPDialogParams();
  ~TIPDialogParams() override;

  void Reset();
  // Changing a main setting makes the saved dialog state stale, so it is dropped.
  void SetSetting1(Integer Value);
  void SetSetting2(Integer Value);
  void SetSetting3(Integer Value);
  void SetSetting4(Integer Value);

  Integer Setting1() const { return FSettings[0]; }
  Integer Setting2() const { return FSettings[1]; }
  Integer Setting3() const { return FSettings[2]; }
  Integer Setting4() const { return FSettings[3]; }
  TMemoryStream* DialogState() const { return FDialogState.get(); }

  DWORD Words[11] = {};
  Integer Matrix[3][3] = {};
  Integer MatrixDivisor = 0;
  TRGB ColorPair1[2] = {};
  TRGB ColorPair2[2] = {};
  Integer Values1[2] = {};
  Integer Values2[2] = {};
  TRGB Color = {};
  Integer Values3[4] = {};
  Integer Values4[2] = {};
  double Amount = 0;
  Integer Values5[3] = {};
  Integer Values6[3] = {};
  Integer Value7 = 0;
  double Range[2] = {};
  Integer Values8[2] = {};
  bool Flag = false;

 private:
  Integer FSettings[4] = {};
  std::unique_ptr<TMemoryStream> FDialogState;
};

class TZodivErProc : public TComponent {
 public:
  explicit TZodivErProc(TComponent* AOwner);
  ~TZodivErProc() override;

  AnsiString ClassName() const override { return "TZodivErProc"; }

  // --- attachment ---
  TIEView* AttachedZodivEr() const { return FAttachedView; }
  void SetAttachedZodivEr(TIEView* View);
  TImage* AttachedTImage() const { return FAttachedImage; }
  void SetAttachedTImage(TImage* Image);
  void AttachBitmap(TIEBitmap* Bitmap);
  // The image operations work on (nil after AttachBitmap(nil) while detached).
  TIEBitmap* GetImage() const { return FImage; }

  // --- properties ---
  bool AutoUndo;
  bool AutoConvertFormat = true;
  TColor Background() const;
  void SetBackground(TColor Value);
  Integer UndoLimit() const { return FUndoLimit; }
  void SetUndoLimit(Integer Value) { FUndoLimit = Value; }
  TMsgLanguage MsgLanguage = msSystem;
  TPRPreviewsParams PreviewsParams() const { return FPreviewsParams; }
  void SetPreviewsParams(TPRPreviewsParams Value) { FPreviewsParams = Value; }
  TFont* PreviewFont() const { return FPreviewFont.get(); }
  void SetPreviewFont(TFont* Value);
  TIPDialogParams* DialogParams() const { return FDialogParams.get(); }

  TIEProgressEvent OnProgress;
  TIEPreviewEvent OnPreview;
  TNotifyEvent OnFinishWork;
  TIESaveUndoEvent OnSaveUndo;

  // --- operation frame ---
  virtual void FinishWork();
  void Update();
  bool CheckPixelFormat(TIEPixelFormatSet Allowed);
  bool BeginOperation(TIEPixelFormatSet Allowed);
  virtual bool GetWorkArea(Integer& X1, Integer& Y1, Integer& X2, Integer& Y2, const TPoint*& Poly,
                           Integer& PolyCount, TIEMask*& Mask);
  bool BeginAreaOperation(TIEPixelFormatSet Allowed, Integer& X1, Integer& Y1, Integer& X2, Integer& Y2,
                          const AnsiString& Caption, TIEBitmap*& WorkBitmap, TIEMask*& Mask);
  void EndAreaOperation(TIEBitmap* WorkBitmap, TIEMask* Mask);

  // --- undo and redo ---
  virtual void SaveUndo(TIEUndoSource Source);
  void SaveUndoCaptioned(const AnsiString& Caption, TIEUndoSource Source);
  virtual void Undo(bool SaveRedoFirst = false);
  virtual void UndoAt(Integer Index, bool SaveRedoFirst = false);
  virtual void SaveRedo(TIEUndoSource Source);
  virtual void ClearLastRedo();
  virtual void Redo();
  virtual void RedoAt(Integer Index);
  void ClearUndoAt(Integer Index);
  void ClearAllUndo();
  void ClearAllRedo();
  bool CanUndo() const { return !FUndo.empty(); }
  Integer UndoCount() const { return static_cast<Integer>(FUndo.size()); }
  Integer RedoCount() const { return static_cast<Integer>(FRedo.size()); }
  // Counted from the oldest entry.
  TIEUndoSource GetUndoSource(Integer Index) const;
  // Counted from the newest entry; empty outside the list.
  AnsiString GetUndoCaption(Integer Index) const;
  // Where image snapshots are kept (a temporary file unless changed).
  TIELocation UndoLocation = ieFile;

  // --- operations: clearing and sizes ---
  void Clear();
  void ImageResize(Integer NewWidth, Integer NewHeight, Byte HorizAlign = 0, Byte VertAlign = 0,
                   Integer Alpha = 255);
  void Resample(Integer NewWidth, Integer NewHeight, TResampleFilter Filter = rfNone);
  void ResampleTo(TIEBitmap* Dest, Integer NewWidth, Integer NewHeight, TResampleFilter Filter = rfNone);

  // --- operations: colours ---
  // Grey levels in the image or the selection; only ie24RGB images change.
  void ConvertToGray();
  // Fewer than 3 colours: black and white (DitherMethod 0 ordered dither, else the mean-colour
  // threshold), the image becomes ie1g; up to 1024: quantised in place, staying ie24RGB; more
  // than 1024: the pixels stay.
  void ConvertTo(Integer NumColors, Byte DitherMethod);
  // As ConvertTo, also returning the palette used: black and white in the first two entries, or
  // the quantizer's colours. Nothing happens for 0 colours or a palette too short for them.
  void ConvertToPalette(Integer NumColors, std::span<TRGB> Palette, Byte DitherMethod);

  // --- operations: rotation, fill and crop ---
  // BackgroundColor -1 takes Background.
  void Rotate(double Angle, bool AntiAlias, Byte AntialiasMode, TColor BackgroundColor);
  void Fill(TRGB FillColor);
  // Corners inclusive.
  void Crop(Integer x1, Integer y1, Integer x2, Integer y2);
  void CropToRect(const TRect& Rect);
  void CropToOpaqueArea();

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void SetWorkBitmap(TIEBitmap* Bitmap);
  void ViewNotify(TIEView* View, bool Destroying);

 private:
  struct TUndoEntry {
    std::unique_ptr<TObject> Data;  // TIEBitmap for ieuImage, TMemoryStream otherwise
    TIEUndoSource Source = ieuUnknown;
    Integer LayerIndex = -1;        // image entries: the view's current layer when saved
    AnsiString Caption;
  };
  using TUndoList = std::vector<TUndoEntry>;

  bool PushSnapshot(TUndoList& List, TIEUndoSource Source);
  void Restore(TUndoEntry& Entry);
  void RemoveViewCallback();
  void TakeOwnImage();
  void ReleaseImage();
  void ReduceColors(const AnsiString& Caption, Integer NumColors, std::span<TRGB> Palette, bool WantPalette,
                    Byte DitherMethod);
  bool ResampleInto(TIEBitmap* Dest, Integer NewWidth, Integer NewHeight, TResampleFilter Filter);

  TIEView* FAttachedView = nullptr;
  TImage* FAttachedImage = nullptr;
  Integer FNotifyHandle = -1;
  TColor FBackground = 0;
  TIEBitmap* FImage = nullptr;
  bool FOwnsImage = false;
  TBitmap* FAttachedBitmap = nullptr;
  std::unique_ptr<TIPDialogParams> FDialogParams;
  std::unique_ptr<TFont> FPreviewFont;
  TPRPreviewsParams FPreviewsParams = IEPreviewsParam(prppShowResetButton) | IEPreviewsParam(prppHardReset);
  Integer FUndoLimit = 1;
  TUndoList FUndo;
  TUndoList FRedo;
};
