// The image view: a scrollable, zoomable control showing a stack of layers, with a selection,
// mouse interaction and a back buffer that is rendered only when something changed and is
// otherwise just copied to the control's surface.
//
// The class is spread over several units: ie_view.cpp (construction, refresh pipeline, painting,
// messages), ie_view_zoom.cpp (zoom, scrolling, coordinate mapping), ie_view_background.cpp
// (background painter), ie_view_render.cpp (rendering), ie_view_services.cpp (cursors, update
// suspension, navigator, layer baking, smooth scrolling), and the layer, selection and mouse
// units (ie_layer.cpp, ie_view_layers.cpp, ie_view_selection.cpp, ie_view_mouse.cpp).
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_mask.h"
#include "imaging/core/ie_progress.h"
#include "imaging/core/ie_types.h"
#include "imaging/core/ie_view_params.h"
#include "imaging/proc/ie_proc.h"
#include "imaging/view/ie_layer.h"
#include "imaging/view/ie_view_base.h"
#include "platform/gui/bitmap.h"
#include "platform/gui/canvas.h"
#include "platform/rtl/geometry.h"

class TZodivErIO;
class TZodivErProc;
class TIETransitionEffects;
class TIEDirectShow;
class TTimer;
class TMemoryStream;
class TStream;
class TZodivErView;

// Private messages through which worker threads reach the view on the main thread.
inline constexpr Cardinal IEM_UPDATE = 0x1F58;
inline constexpr Cardinal IEM_NEWFRAME = 0x1F59;
inline constexpr Cardinal IEM_EVENT = 0x1F5A;
inline constexpr Cardinal IEM_PROGRESS = 0x1F5B;
inline constexpr Cardinal IEM_FINISHWORK = 0x1F5C;

// The view's own cursors, registered with the screen at start-up.
inline constexpr TCursor crIEFirstCursor = 1778;
inline constexpr TCursor crIELastCursor = 1814;
inline constexpr TCursor crIEZoomOut = 1778;
inline constexpr TCursor crIEZoomIn = 1779;
inline constexpr TCursor crIEHand = 1782;
inline constexpr TCursor crIECross3 = 1785;
inline constexpr TCursor crIEMoveDiag1 = 1786;
inline constexpr TCursor crIEMoveVert = 1787;
inline constexpr TCursor crIEMoveDiag2 = 1788;
inline constexpr TCursor crIEMoveHorz = 1789;
inline constexpr TCursor crIEMove = 1790;
inline constexpr TCursor crIECross3Plus = 1791;
inline constexpr TCursor crIECross3Minus = 1792;
inline constexpr TCursor crIECross2 = 1793;
inline constexpr TCursor crIECross2Plus = 1794;
inline constexpr TCursor crIERotate1 = 1811;
inline constexpr TCursor crIERotate2 = 1812;
inline constexpr TCursor crIERotate3 = 1813;
inline constexpr TCursor crIERotate4 = 1814;

enum TScrollStyle : Byte { ssNone, ssHorizontal, ssVertical, ssBoth };

enum TIEBackgroundStyle : Byte {
  iebsSolid,
  iebsHorizontal,
  iebsVertical,
  iebsFDiagonal,
  iebsBDiagonal,
  iebsCross,
  iebsDiagCross,
  iebsChessboard,
  iebsDiagonals,
  iebsCropped,
  iebsCropShadow,
  iebsGradient,
  iebsSoftShadow,
  iebsPhotoLike
};

enum TIEWallPaperStyle : Byte { iewoNormal, iewoStretch, iewoTile };

enum TIESelectionBase : Byte { iesbClientArea, iesbBitmap };

using TIESelectionOptions = Word;
inline constexpr TIESelectionOptions iesoAnimated = 1u << 0;
inline constexpr TIESelectionOptions iesoSizeable = 1u << 1;
inline constexpr TIESelectionOptions iesoMoveable = 1u << 2;
inline constexpr TIESelectionOptions iesoFilled = 1u << 3;
inline constexpr TIESelectionOptions iesoCutBorders = 1u << 4;
inline constexpr TIESelectionOptions iesoMarkOuter = 1u << 5;
inline constexpr TIESelectionOptions iesoCanScroll = 1u << 6;
inline constexpr TIESelectionOptions iesoSelectTranspLayers = 1u << 7;
inline constexpr TIESelectionOptions iesoRightButtonSelectLayers = 1u << 8;

using TIEMouseInteract = Word;
inline constexpr TIEMouseInteract miZoom = 1u << 0;
inline constexpr TIEMouseInteract miScroll = 1u << 1;
inline constexpr TIEMouseInteract miSelect = 1u << 2;
inline constexpr TIEMouseInteract miSelectPolygon = 1u << 3;
inline constexpr TIEMouseInteract miSelectCircle = 1u << 4;
inline constexpr TIEMouseInteract miSelectZoom = 1u << 5;
inline constexpr TIEMouseInteract miSelectMagicWand = 1u << 6;
inline constexpr TIEMouseInteract miSelectLasso = 1u << 7;
inline constexpr TIEMouseInteract miMoveLayers = 1u << 8;
inline constexpr TIEMouseInteract miResizeLayers = 1u << 9;
inline constexpr TIEMouseInteract miRotateLayers = 1u << 10;
inline constexpr TIEMouseInteract miMovingScroll = 1u << 11;

enum TIEGrip : Byte {
  ieNone,
  ieTopLeft,
  ieTopRight,
  ieBottomRight,
  ieBottomLeft,
  ieLeftSide,
  ieRightSide,
  ieTopSide,
  ieBottomSide,
  ieRotationCenter
};

enum TIELayerEvent : Byte { ielSelected, ielMoved, ielResized, ielMoving, ielResizing, ielRotating, ielRotated };

// 0 after a scroll, 1 after a zoom or fit.
using TViewChangeEvent = std::function<void(TObject* Sender, Integer Change)>;
using TIEOnDrawCanvas = std::function<void(TObject* Sender, TCanvas* ACanvas, const TRect& ARect)>;
using TIEOnDrawBackground =
    std::function<void(TObject* Sender, TCanvas* ACanvas, const TRect& ARect, bool& Handled)>;
using TIEOnDrawLayerBox = std::function<void(TObject* Sender, TBitmap* ABitmap, Integer Layer)>;
using TIEOnDrawLayerGrip =
    std::function<void(TObject* Sender, TBitmap* ABitmap, Integer Layer, Integer Grip, const TRect& Rect)>;
using TIEOnDrawPolygon = std::function<void(TObject* Sender, Integer PolygonIndex, Integer PointIndex,
                                            TCanvas* ACanvas, Integer X, Integer Y)>;
using TIELayerNotify = std::function<void(TObject* Sender, Integer Layer, TIELayerEvent Event)>;
using TIEMouseInResizingGripEvent = std::function<void(TObject* Sender, TIEGrip Grip)>;
using TIEZoomEvent = std::function<void(TObject* Sender, double& NewZoom)>;
using TIESpecialKeyEvent =
    std::function<void(TObject* Sender, Word CharCode, TShiftState Shift, bool& Handled)>;

// One selection outline: points in bitmap coordinates, sub-polygons split by separator entries
// whose X is TIEMask::PolygonSeparator. Bounds X2 and Y2 are exclusive.
struct TIESelectionPolygon {
  std::vector<TPoint> Points;  // grows in blocks of 64
  Integer Count = 0;
  TColor Color1 = 0;
  TColor Color2 = 0xFFFFFF;
  bool Animated = true;
  Integer Phase = 0;
  Integer DashCounter = 0;
  TCanvas* Canvas = nullptr;
  Integer X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
  bool Visible = true;
  bool Sizeable = true;
  Byte* PatternRow = nullptr;
  TBitmap* PatternBitmap = nullptr;
};

class TZodivErView : public TIEView {
 public:
  explicit TZodivErView(TComponent* AOwner);
  ~TZodivErView() override;

  AnsiString ClassName() const override { return "TZodivErView"; }

  // ----- core (image, refresh pipeline, painting, components) -----
  void Update() override;
  void SetBounds(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight) override;
  virtual void Assign(TObject* Source);
  void Notification(TComponent* AComponent, TOperation Operation) override;

  void SetBackground(TColor Value) override;
  TBitmap* GetBitmap() override;
  TIEBitmap* GetIEBitmap() override;
  TIEBitmap* GetAlphaChannel() override;
  bool HasAlphaChannel() override;
  void RemoveAlphaChannel(bool Merge) override;
  void SuspendPaint() override;
  Integer ResumePaint() override;
  Integer ResumePaintQuiet() override;
  void ImageChange() override;
  // What the processing component asks of the view: its selection and its layers.
  TIEMask* GetSelectionMask() override { return SelectionMask(); }
  bool HasSelection() override { return Selected(); }
  const TPoint* GetSelectionPolygon() override { return SelectionPolygon(); }
  Integer GetSelectionPolygonCount() override { return SelectionPolygonCount(); }
  Integer GetLayerCount() override { return LayerCount(); }
  Integer GetCurrentLayerIndex() override { return CurrentLayerIndex(); }
  TIEBitmap* GetLayerBitmap(Integer Index) override;
  bool SaveSelectionSnapshot(TStream* Stream) override;
  bool LoadSelectionSnapshot(TStream* Stream) override;

  virtual void ViewChange(Integer Change);
  virtual Integer DrawAreaWidth();
  virtual Integer DrawAreaHeight();
  virtual bool HasParentWindow();
  virtual void SetOnProgress(TIEProgressEvent Value);
  virtual void SetOnFinishWork(TNotifyEvent Value);
  virtual TIEProgressEvent GetOnProgress();
  virtual TNotifyEvent GetOnFinishWork();
  virtual bool IsEmpty();
  virtual void SetLegacyBitmap(bool Value);

  void FillWithBackground();
  void ClearImage();
  void InvalidateViewRect(const TRect& Rect);
  // The view's components, made on first use.
  TZodivErIO* IOComponent();
  TZodivErProc* ProcComponent();
  TZodivErIO* IO() { return IOComponent(); }
  TZodivErProc* Proc() { return ProcComponent(); }
  // A private message (IEM_*) as the view's window receives it; returns the message result.
  NativeInt HandleViewMessage(Cardinal Msg, NativeInt WParam, NativeInt LParam);
  // The special-key query of a focused control (the framework's CM_WANTSPECIALKEY): True when the
  // view wants the key.
  bool WantSpecialKey(Word CharCode, TShiftState Shift) override;

  Integer ImageWidth() const { return FImageWidth; }
  Integer ImageHeight() const { return FImageHeight; }
  TIEBitmap* IEBitmap() { return GetIEBitmap(); }
  TBitmap* Bitmap() { return GetBitmap(); }

  // ----- published properties -----
  bool LegacyBitmap() const { return FLegacyBitmapOn; }
  bool DoubleBuffer() const { return FDoubleBuffer; }
  void SetDoubleBuffer(bool Value) { FDoubleBuffer = Value; }
  TResampleFilter ZoomFilter() const { return FZoomFilter; }
  void SetZoomFilter(TResampleFilter Value);
  TScrollStyle ScrollBars() const { return FScrollBars; }
  virtual void SetScrollBars(TScrollStyle Value);
  TIESelectionOptions SelectionOptions() const { return FSelectionOptions; }
  void SetSelectionOptions(TIESelectionOptions Value);
  bool Center() const { return FCenter; }
  void SetCenter(bool Value);
  TIEMouseInteract MouseInteract() const { return FMouseInteract; }
  virtual void SetMouseInteract(TIEMouseInteract Value);
  bool AutoFit() const { return FAutoFit; }
  void SetAutoFit(bool Value) { FAutoFit = Value; }
  bool AutoStretch() const { return FAutoStretch; }
  void SetAutoStretch(bool Value) { FAutoStretch = Value; }
  bool AutoShrink() const { return FAutoShrink; }
  void SetAutoShrink(bool Value) { FAutoShrink = Value; }
  TIESelectionBase SelectionBase() const { return FSelectionBase; }
  void SetSelectionBase(TIESelectionBase Value) { FSelectionBase = Value; }
  TIEBackgroundStyle BackgroundStyle() const { return FBackgroundStyle; }
  void SetBackgroundStyle(TIEBackgroundStyle Value);
  bool DelayZoomFilter() const { return FDelayZoomFilter; }
  void SetDelayZoomFilter(bool Value) { FDelayZoomFilter = Value; }
  bool EnableAlphaChannel() const { return FEnableAlphaChannel; }
  void SetEnableAlphaChannel(bool Value);
  bool DrawVersion() const { return FDrawVersion; }
  void SetDrawVersion(bool Value);
  AnsiString ZodivErVersion() const;
  void SetZodivErVersion(const AnsiString& Value);
  TPicture* WallPaper() const { return FWallPaper.get(); }
  void SetWallPaper(TPicture* Value);
  TIEWallPaperStyle WallPaperStyle() const { return FWallPaperStyle; }
  void SetWallPaperStyle(TIEWallPaperStyle Value);
  bool EnableInteractionHints() const { return FEnableInteractionHints; }
  void SetEnableInteractionHints(bool Value) { FEnableInteractionHints = Value; }
  TCursor Cursor() const { return FUserCursor; }
  void SetCursor(TCursor Value);
  bool FlatScrollBars() const { return FFlatScrollBars; }
  void SetFlatScrollBars(bool Value);
  TIESaveUndoEvent OnSaveUndo() const { return FOnSaveUndo; }
  void SetOnSaveUndo(TIESaveUndoEvent Value);
  TIEProgressEvent OnProgress() { return GetOnProgress(); }
  TNotifyEvent OnFinishWork() { return GetOnFinishWork(); }

  // ----- zoom, scrolling and coordinate mapping -----
  double ZoomX() const { return FZoomX; }
  double ZoomY() const { return FZoomY; }
  double Zoom() const { return FZoomX; }
  void SetZoom(double Value);
  void SetZoomX(double Value);
  void SetZoomY(double Value);
  virtual void ApplyZoom(double Value);
  virtual void ApplyZoomX(double Value);
  virtual void ApplyZoomY(double Value);
  void ZoomAt(Integer X, Integer Y, bool Center, double Value);
  void ZoomToFit();
  double FitZoom();
  void ZoomSelection(bool Uniform, bool FireEvent);
  // The next step of the mouse zoom: in from 100 adds 100, below it the next table entry.
  static double NextZoomIn(double Z);
  static double NextZoomOut(double Z);
  Integer ViewX() const { return FViewX; }
  Integer ViewY() const { return FViewY; }
  void ScrollTo(Integer X, Integer Y);
  void SetViewX(Integer X);
  void SetViewY(Integer Y);
  void GetMaxViewXY(Integer& MaxX, Integer& MaxY);
  bool CanScroll();
  Integer OffsetX() const { return FOffsetX; }
  Integer OffsetY() const { return FOffsetY; }
  Integer ExtentX() const { return FExtentX; }
  Integer ExtentY() const { return FExtentY; }
  Integer VisibleExtentX() const { return FVisibleExtentX; }
  Integer VisibleExtentY() const { return FVisibleExtentY; }
  // x, y, width, height in bitmap pixels of the visible part of the image.
  const TRect& VisibleBitmapRect() const { return FVisibleBitmapRect; }
  Integer VisibleDestWidth() const { return FVisibleDestWidth; }
  Integer VisibleDestHeight() const { return FVisibleDestHeight; }
  virtual void ComputeImageExtent();
  virtual void ComputeVisibleArea();
  virtual void BuildCoordinateTables();
  Integer ScreenToBitmapX(Integer X);
  Integer ScreenToBitmapY(Integer Y);
  Integer BitmapToScreenX(Integer X);
  Integer BitmapToScreenY(Integer Y);
  Integer MapScreenX(Integer Index);
  Integer MapScreenY(Integer Index);
  void HideHorzScrollBar();
  void HideVertScrollBar();
  bool DragAutoScroll();
  virtual void ShiftSelectionPoints(Integer DX, Integer DY);
  TIEScrollBarParams* HScrollBarParams() { return FHScrollBarParams.get(); }
  TIEScrollBarParams* VScrollBarParams() { return FVScrollBarParams.get(); }
  TIEMouseWheelParams* MouseWheelParams() { return FMouseWheelParams.get(); }
  // Show disabled bars instead of hiding them when there is nothing to scroll.
  bool KeepScrollBarsVisible = false;

  // ----- background painting -----
  void SetChessboardLook(Integer Size, TBrushStyle BrushStyle);
  Integer ChessboardSize() const { return FChessboardSize; }
  TBrushStyle ChessboardBrushStyle() const { return FChessboardBrushStyle; }
  TColor GradientEndColor() const { return FGradientEndColor; }
  void SetGradientEndColor(TColor Value) { FGradientEndColor = Value; }

  // ----- rendering -----
  virtual void RenderToBitmap(TIEBitmap* Dest, TIERenderTables* RowCache, const TRect* ClipRect, bool DrawBackground,
                              bool DrawGadgets);
  void DrawLayersTo(TIEBitmap* Dest);
  void FlattenLayers();
  Integer GripAt(Integer X, Integer Y);
  TBitmap* BackBufferBitmap();
  TIEBitmap* BackBuffer() { return FBackBuffer.get(); }
  void PaintBackgroundTo(TCanvas* ACanvas);
  bool OffScreenPaint = false;

  // ----- layers -----
  Integer LayerCount() const { return static_cast<Integer>(FLayers.size()); }
  TIELayer* LayerAt(Integer Index);
  TIELayer* CurrentLayer();
  Integer CurrentLayerIndex() const { return FCurrentLayer; }
  virtual void SetCurrentLayer(Integer Index);
  Integer AddLayer();
  void RemoveLayer(Integer Index);
  void ClearLayers();
  void MergeLayers(Integer Index1, Integer Index2, bool RemoveUpper);
  void MergeLayerBitmaps(Integer Index1, Integer Index2, TIEBitmap* Dest);
  Integer FindLayerAt(Integer X, Integer Y, bool SelectableOnly);
  bool IsPointInLayer(Integer X, Integer Y, Integer Index);
  void SyncLayers();
  virtual void LayerNotify(Integer Layer, TIELayerEvent Event);
  // ----- layers file (ie_layer_file.cpp) -----
  // Compression -1 keeps each image as a zlib stream of its raw record; otherwise it is the
  // file type the images are written in. A failed image save raises EWriteError.
  void SaveLayersToStream(TStream* Stream, Integer Compression);
  // False for another format (the view untouched) and for a file of version 0 or below. A
  // damaged file raises EReadError naming the cause, and the view keeps the layers it had.
  bool LoadLayersFromStream(TStream* Stream);
  bool LoadLayersFromFile(const AnsiString& FileName);

  // ----- selection -----
  virtual void Select(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer Op);
  virtual void AddSelectionPoint(Integer X, Integer Y);
  virtual void EndSelect();
  void DeSelect();
  Integer SelectionX1();
  Integer SelectionY1();
  Integer SelectionX2();
  Integer SelectionY2();
  TPoint* SelectionPolygon();
  Integer SelectionPolygonCount();
  void MoveSelection(Integer DX, Integer DY);
  void SelectMagicWand(Integer X, Integer Y, bool Add);
  bool Selected() const { return FSelected; }
  TIEMask* SelectionMask() { return FSelectionMask.get(); }
  TColor SelectionColor1() const { return FSelectionColor1; }
  void SetSelectionColor1(TColor Value);
  TColor SelectionColor2() const { return FSelectionColor2; }
  void SetSelectionColor2(TColor Value);
  double SelectionAspectRatio() const { return FSelectionAspectRatio; }
  void SetSelectionAspectRatio(double Value);
  Integer SelectionFixedWidth = 100;
  Integer SelectionFixedHeight = 100;
  Byte MagicWandMode = 0;
  Integer MagicWandTolerance = 15;
  bool MagicWandMaxFilter = false;
  void SelectRectangleDrag(Integer X, Integer Y, TShiftState Shift);
  void SelectEllipseDrag(Integer X, Integer Y, TShiftState Shift);
  TIEGrip ResizeSelectionByGrip(TIEGrip Grip, Integer X, Integer Y, bool Lock);
  TIEGrip GripAtPoint(Integer X, Integer Y, TShiftState Shift);
  Integer MoveStateAtPoint(Integer X, Integer Y, TShiftState Shift);
  void DrawSelection(TObject* Sender, bool RespectCanvasLock);
  void DrawRubberBand();
  void DoBeforeSelectionChange();
  void DoSelectionChanging();
  void DoSelectionChange();
  // The selection (mask and outline) as a stream, for the selection stack and undo. Mode 2 loads
  // it relative to the current layer's position.
  void SaveSelectionToStream(TStream* Stream);
  bool LoadSelectionFromStream(TStream* Stream, Integer Mode);

  // ----- mouse interaction -----
  void LayerResizeByGrip(Integer X, Integer Y, bool Lock);
  double ScrollDragRate = 1.0;
  bool ZoomSelectionUniform = true;
  bool CropBeforeRotation = true;
  bool SaveLayerUndo = false;
  Integer RotationSnap = 45;

  // ----- view services -----
  void SetTempCursor(TCursor Value);
  void RestoreCursor();
  void SuspendUpdate();
  void ResumeUpdate();
  void ResumeUpdateQuiet();
  Integer UpdateSuspension() const { return FUpdateSuspension; }
  void DoZoomIn(double& NewZoom);
  void DoZoomOut(double& NewZoom);
  void DoMouseInResizingGrip(TIEGrip Grip);
  void DoMouseInSel();
  void SwapSelectionBase();
  void SetNavigator(TZodivErView* View);
  TZodivErView* Navigator() const { return FNavigator; }
  void SyncNavigator();
  void KeepNavigatorOnLiveImage();
  void AttachBitmap(TIEBitmap* Bitmap);
  void ApplyLayerSizes(Integer Index);
  void CropLayersToOpaque(Integer Index);
  void ApplyLayerRotations(Integer Index);
  void SetInteractionHint(const AnsiString& Text, Integer X, Integer Y, const AnsiString& Template);
  void SmoothScrollTo(Integer X, Integer Y);
  // The saved selection streams that a layer change or a zoom rectangle keeps aside.
  void PushSelection();
  void PopSelection(bool Remove, Integer Mode);
  bool LayerRotationAntiAlias = false;
  Byte LayerRotationMode = 0;

  // ----- events -----
  TViewChangeEvent OnViewChange;
  TNotifyEvent OnImageChange;
  TNotifyEvent OnPaint;
  TIEOnDrawCanvas OnDrawCanvas;
  TNotifyEvent OnDrawBackBuffer;
  TIEOnDrawBackground OnDrawBackground;
  TIEOnDrawLayerBox OnDrawLayerBox;
  TIEOnDrawLayerGrip OnDrawLayerGrip;
  TIEOnDrawPolygon OnDrawPolygon;
  TIELayerNotify OnLayerNotify;
  TNotifyEvent OnSelectionChange;
  TNotifyEvent OnSelectionChanging;
  TNotifyEvent OnBeforeSelectionChange;
  TNotifyEvent OnMouseInSel;
  TIEMouseInResizingGripEvent OnMouseInResizingGrip;
  TIEZoomEvent OnZoomIn;
  TIEZoomEvent OnZoomOut;
  TIESpecialKeyEvent OnSpecialKey;
  TNotifyEvent OnDShowNewFrame;
  TNotifyEvent OnDShowEvent;
  // The transition engine holds these handlers: writing one creates it, reading gives nil while
  // there is none.
  TNotifyEvent OnTransitionStop() const;
  void SetOnTransitionStop(TNotifyEvent Value);
  std::function<void(TObject* Sender, Integer Step)> OnTransitionStep() const;
  void SetOnTransitionStep(std::function<void(TObject* Sender, Integer Step)> Value);
  void CreateTransitionEffects();
  TIETransitionEffects* TransitionEffects() const { return FTransition; }
  void StopTransition();

 protected:
  void Paint() override;
  void Resize() override;
  void Scroll(TScrollBarKind Kind, TScrollCode Code, Integer Pos) override;
  bool MouseWheel(TShiftState Shift, Integer WheelDelta, TPoint MousePos) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void MouseMove(TShiftState Shift, Integer X, Integer Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void KeyDown(Word& Key, TShiftState Shift) override;
  void KeyUp(Word& Key, TShiftState Shift) override;
  void KeyPress(char& Key) override;
  void DoEnter() override;
  void DoExit() override;
  // The double click of the left button (closes a polygon selection).
  void DblClick() override;

  // The back buffer to the surface for Rect (renders it first when dirty).
  void CopyBackBuffer(const TRect& Rect);
  void DrawVersionText();
  void ScrollMessage(TScrollBarKind Kind, TScrollCode Code, Integer Pos);
  void UpdateScrollBars();
  void GetFitMargins(bool ForUpdate, Integer& MarginX, Integer& MarginY);
  void RecomputeZoomFactors();
  void LoadDelayCounters(bool Filter);
  // The refresh that follows storing a zoom (Apply), shared by the three zoom writers.
  void ZoomSteps(bool FilterDelay, const std::function<void()>& Apply);
  // Scrolls to (X, Y) clamped to the maxima; moves the bars of the axes asked for.
  void ScrollAxes(Integer X, Integer Y, bool Horizontal, bool Vertical);
  void PaintBackground(TCanvas* ACanvas, TBitmap* ABitmap, const TRect& Area, const TRect& Box);
  void DrawLayerBox(Integer Index);
  void DrawLayerGrips(Integer Index);
  void DimOutsideLayer(Integer Index);
  void DrawSelectionOverlay();
  void RenderLayer(TIEBitmap* Dest, Integer Index, TResampleFilter Filter, bool SolidBackground,
                   const TRect* ClipRect);
  void ApplyMaskedAlpha(Integer Index, TIEBitmap*& SavedAlpha);
  void RestoreLayerAlpha(Integer Index, TIEBitmap* SavedAlpha);
  bool DesignMode() const;
  bool IsLoadingOrDestroying() const;
  void SmoothScrollStep(TObject* Sender);
  void NavigatorSelectionChanging(TObject* Sender);

  // ----- selection outline (ie_view_selection.cpp) -----
  void SelectRectangle(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer Op, bool Square, bool KeepInside);
  void MoveSelectionCore(Integer DX, Integer DY, bool CutBorders);
  void ClearPolygon();
  void AddPolygonSeparator();
  void AddPolygonPoint(Integer X, Integer Y);
  void RemoveLastPolygonPoint();
  void RemoveLastSubPolygon();
  void ShowPolygon(bool Draw);
  void HidePolygon(bool DoPaint);
  bool PolygonIsRectangle(const TIESelectionPolygon* P) const;
  // A coordinate passed to the selection operations, in bitmap pixels of the current layer.
  Integer SelectionToBitmapX(Integer X);
  Integer SelectionToBitmapY(Integer Y);
  // Ends a polygon in progress as a double click does.
  void EndPolygonSelection(TShiftState Shift);
  void DrawPolygonOutline(Integer Index, TIESelectionPolygon* P);
  void DrawDashedLine(TIESelectionPolygon* P, Integer X1, Integer Y1, Integer X2, Integer Y2);
  // ----- mouse (ie_view_mouse.cpp) -----
  TPoint ClampToCurrentLayer(Integer X, Integer Y);

  friend class TIELayerFileReader;
  // ----- image state -----
  TBitmap* FLegacyBitmap = nullptr;  // owned by FIEBitmap while it wraps it
  TIEBitmap* FIEBitmap = nullptr;    // the current layer's bitmap
  std::vector<TIELayer*> FLayers;
  Integer FCurrentLayer = 0;
  Integer FImageWidth = 0;
  Integer FImageHeight = 0;
  bool FLegacyBitmapOn = true;
  bool FDoubleBuffer = true;

  // ----- refresh state -----
  Integer FPaintSuspension = 0;
  Integer FUpdateSuspension = 0;
  bool FInUpdate = false;
  bool FUpdateReentry = false;
  bool FBackBufferDirty = true;
  bool FFullRepaint = true;
  bool FInvalidateOnUpdate = true;
  bool FSuppressInvalidate = false;
  Integer FLayerToRefresh = -1;
  bool FForceDibCopy = false;
  bool FCursorPending = true;
  bool FCreatedWithOwner = false;
  Integer FLastUpdateWidth = -1;
  Integer FLastUpdateHeight = -1;
  Integer FLastDrawAreaWidth = 0;
  Integer FLastDrawAreaHeight = 0;
  // A painting failure is reported once; the same failure again stays quiet until a paint
  // succeeds.
  bool FPaintErrorReported = false;
  std::unique_ptr<TIEBitmap> FBackBuffer;
  TIERenderTables FRenderTables;

  // ----- components -----
  TZodivErIO* FIO = nullptr;
  TZodivErProc* FProc = nullptr;
  TIETransitionEffects* FTransition = nullptr;
  TIEProgressEvent FOnProgress;
  TNotifyEvent FOnFinishWork;
  TIESaveUndoEvent FOnSaveUndo;

  // ----- properties -----
  TResampleFilter FZoomFilter = rfNone;
  TResampleFilter FSavedZoomFilter = rfNone;
  TScrollStyle FScrollBars = ssBoth;
  TIESelectionOptions FSelectionOptions = 71;
  bool FCenter = true;
  TIEMouseInteract FMouseInteract = 0;
  bool FAutoFit = false;
  bool FAutoStretch = false;
  bool FAutoShrink = false;
  TIESelectionBase FSelectionBase = iesbClientArea;
  TIEBackgroundStyle FBackgroundStyle = iebsSolid;
  bool FDelayZoomFilter = false;
  bool FEnableAlphaChannel = true;
  bool FDrawVersion = false;
  std::unique_ptr<TPicture> FWallPaper;
  TIEWallPaperStyle FWallPaperStyle = iewoNormal;
  bool FEnableInteractionHints = true;
  TCursor FUserCursor = 1785;
  TCursor FCursorInUse = 1785;
  bool FFlatScrollBars = false;

  // ----- zoom and scroll -----
  double FZoomX = 100, FZoomY = 100;
  double FZoomD100X = 1, FZoomD100Y = 1;  // zoom / 100
  double FZoom100X = 1, FZoom100Y = 1;    // 100 / zoom
  Integer FViewX = 0, FViewY = 0;
  Integer FOffsetX = 0, FOffsetY = 0;
  Integer FExtentX = 0, FExtentY = 0;
  Integer FVisibleExtentX = 0, FVisibleExtentY = 0;
  TRect FVisibleBitmapRect;  // Left, Top = x, y; Right, Bottom = width, height
  Integer FVisibleDestWidth = 0, FVisibleDestHeight = 0;
  double FHScrollScale = 1, FVScrollScale = 1;
  bool FHScrollShown = false, FVScrollShown = false;
  Integer FFilterDelay = 0;
  Integer FOutlineSkip = 0;
  std::unique_ptr<TIEScrollBarParams> FHScrollBarParams;
  std::unique_ptr<TIEScrollBarParams> FVScrollBarParams;
  std::unique_ptr<TIEMouseWheelParams> FMouseWheelParams;
  bool FDragAutoScrolling = false;
  // Coordinate tables per axis: zoomed pixel -> bitmap pixel and bitmap pixel -> first zoomed
  // pixel; the windows are start indexes into them.
  struct TAxisTables {
    std::vector<Integer> ZoomedToBitmap;
    std::vector<Integer> BitmapToZoomed;
    Integer ScreenToBitmapCount = 0;
    Integer BitmapToScreenCount = 0;
    Integer ScreenToBitmapWindow = 0;
    Integer BitmapToScreenWindow = 0;
  };
  TAxisTables FXTables, FYTables;
  double FTableZoomX = -1, FTableZoomY = -1;
  Integer FTableDestWidth = -1, FTableDestHeight = -1;
  Integer FTableImageWidth = -1, FTableImageHeight = -1;

  // ----- background -----
  Integer FChessboardSize = 16;
  TBrushStyle FChessboardBrushStyle = bsSolid;
  TColor FGradientEndColor = 0xFF0000;

  // ----- layer rendering -----
  bool FLayerSelectionRestricted = true;
  Integer FGripSize = 5;
  TColor FGripPenColor = 0;
  TColor FGripBrushColor = 0xBAFFFF;
  TBrushStyle FGripBrushStyle = bsSolid;
  Byte FGripShape = 1;
  bool FSelectionDisplay = true;

  // ----- selection -----
  std::unique_ptr<TIEMask> FSelectionMask;
  Integer FMaskDepth = 1;
  Integer FSelectionValue = 1;
  std::vector<TIESelectionPolygon*> FPolygons;
  TIESelectionPolygon* FPolygon = nullptr;  // the current record
  bool FSelected = false;
  bool FPolygonInProgress = false;
  bool FLasso = false;
  bool FRectangleDrag = false;
  bool FEllipseDrag = false;
  TIEGrip FGripDrag = ieNone;
  Integer FMoveState = -1;
  bool FRectangleMove = false;
  Integer FCountAtPress = 0;
  Integer FBoundsAtPress[4] = {0, 0, 0, 0};
  TColor FSelectionColor1 = 0;
  TColor FSelectionColor2 = 0xFFFFFF;
  bool FSideGrips = true;
  bool FSelectionDrawing = true;
  bool FSkipOutlineWhileBusy = true;
  Integer FAnimationSpeed = -20;
  Integer FAntsPhase = 0;
  bool FForceAspect = false;
  bool FShiftAdds = true;
  double FSelectionAspectRatio = -1;
  TTimer* FAntsTimer = nullptr;
  TBitmap* FPatternBitmap = nullptr;
  std::vector<TMemoryStream*> FSavedSelections;

  // ----- mouse interaction -----
  TPoint FPressRaw, FPressClamped, FPressImageArea;
  Integer FViewXAtPress = 0, FViewYAtPress = 0;
  TPoint FLastRaw, FLastClamped, FLastMouse;
  TIESelectionBase FSavedSelectionBase = iesbClientArea;
  Integer FMovingLayer = -1;
  Integer FRotatingLayer = -1;
  Integer FRotationCenterLayer = -1;
  TIEGrip FLayerResizeGrip = ieNone;
  bool FLayerMoved = false;
  bool FLayerUndoSaved = false;
  TRect FLayerBoxAtPress;
  TPoint FLayerCornersAtPress[4];
  double FRotationAccumulator = 0;
  bool FLayerResizing = false;

  // ----- services -----
  TZodivErView* FNavigator = nullptr;
  bool FNavigatorGuard = false;
  AnsiString FHintText;
  Integer FHintX = 0, FHintY = 0;
  AnsiString FHintTemplate;
  TPoint FSmoothTarget;
  TTimer* FSmoothTimer = nullptr;  // owned by the view
  bool FSmoothRunning = false;
  Integer FSmoothDivisor = 8;
  std::vector<TObject*> FAuxObjects;
};

// Where a layer of display size W x H lands when turned by its angle about its rotation centre:
// the pivot, the four corners and their bounding box, far-off values held in range. False when
// the turned image would be larger than any image can be.
bool IERotatedLayerBox(TIELayer* L, Integer W, Integer H, TPoint& Pivot, TPoint Corners[4], TRect& Box);

// A layer's image scaled to its display size W x H and turned by Angle degrees about Pivot (in
// display pixels) as IERotatePoints turns its corners, into an OutW x OutH image whose top-left
// corner lies at Origin relative to the unturned layer; its alpha is 0 where no layer pixel lands.
std::unique_ptr<TIEBitmap> IERotatedLayerImage(TIELayer* L, Integer W, Integer H, double Angle, TPoint Pivot,
                                               const TPoint& Origin, Integer OutW, Integer OutH);

// The library version the view reports and draws.
AnsiString IEViewLibraryVersion();

// Background of a view (every style, wallpaper on top). Bitmap, when given, is the 24-bit bitmap
// behind Canvas (used by the fast chessboard and the soft shadow). Box is the image's client
// rectangle, right and bottom exclusive.
void PaintViewBackground(bool Designing, TCanvas* Canvas, TBitmap* Bitmap, TIEBackgroundStyle Style,
                         TColor Background, const TRect& Area, const TRect& Box, Integer ChessboardSize,
                         TBrushStyle ChessboardBrushStyle, TColor GradientEndColor, TPicture* WallPaper,
                         TIEWallPaperStyle WallPaperStyle);
// Two-colour gradient over Rect; answers False when nothing could be drawn.
bool IELoadGradientFill();
bool IEGradientFillRect(const TRect& Rect, TCanvas* Canvas, TColor Color1, bool Vertical, TColor Color2);

// Start-up and shut-down of the view unit: cursors, screen probes, the shared inverting pen and
// the preset images.
void IEInitZodivErView();
void IEFinalZodivErView();
// Gives the library's start-up its view step; the program calls it before IEInitialize.
void IERegisterViewUnit();
