// The vector view: the image view with a layer of vector objects drawn over the image (lines,
// boxes, ellipses, arcs, bitmaps, texts, memos, rulers, polylines, angles, labelled lines and
// plug-in objects). Objects live in bitmap coordinates and are addressed by integer handles,
// which are indexes into an array that is never compacted while the view lives.
//
// Units: ie_vect.cpp (store, template, selection, shared bitmaps, hit testing, units),
// ie_vect_draw.cpp (drawing of the shapes), ie_vect_text.cpp (texts, labels, rulers, angles,
// memo layout), ie_vect_file.cpp (the objects file and copying between views).
// Mouse editing, keys, clipboard and object undo hook in through the virtual operations and
// the fields marked for them; they live in units of their own.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "imaging/core/ie_bitmap.h"
#include "imaging/view/ie_view.h"
#include "platform/gui/bitmap.h"
#include "platform/gui/graphics_objects.h"
#include "platform/gui/services.h"
#include "platform/rtl/streams.h"

class TIECanvas;
class TZodivErVect;
class TEdit;
class TIETextControl;

enum TIEVKind : Byte {
  ievkNone = 0,
  ievkLine = 1,
  ievkBox = 2,
  ievkEllipse = 3,
  ievkArc = 4,
  ievkBitmap = 5,
  ievkText = 6,
  ievkRuler = 7,
  ievkPolyline = 8,
  ievkAngle = 9,
  ievkMemo = 10,
  ievkLineLabel = 11,
  ievkPlugIn = 12,
};

enum TIEUnits : Byte {
  ieuPIXELS,
  ieuINCHES,
  ieuKM,
  ieuMETERS,
  ieuCENTIMETERS,
  ieuMILLIMETERS,
  ieuMICRONS,
  ieuNANOMETERS,
};
extern const char* const IEUnitNames[8];

using TIEVStyle = Byte;
inline constexpr TIEVStyle ievsSelectable = 1u << 0;
inline constexpr TIEVStyle ievsMoveable = 1u << 1;
inline constexpr TIEVStyle ievsSizeable = 1u << 2;
inline constexpr TIEVStyle ievsVisible = 1u << 3;

inline constexpr Integer IEV_NEXT_OBJECT = -1;
inline constexpr Integer IEV_LAST_OBJECT = -2;
inline constexpr Integer IEV_ALL_OBJECTS = -3;
inline constexpr Integer IEV_NO_OBJECT = -4;
// An angle point whose x is this has not been placed yet.
inline constexpr Integer IEV_UNPLACED = -1000000;

// The 60 bytes of a desktop LOGFONT as the objects file stores it: height at byte 0,
// escapement at 8, weight at 16, italic/underline/strike-out at 20..22, quality at 26, face
// name at 28 (32 bytes, zero-terminated).
struct TIELogFont {
  std::array<Byte, 60> Bytes{};
  Integer Height() const;
  void SetHeight(Integer Value);
  Integer Escapement() const;
  Integer Weight() const;
  bool Italic() const { return Bytes[20] != 0; }
  bool Underline() const { return Bytes[21] != 0; }
  bool StrikeOut() const { return Bytes[22] != 0; }
  void SetQuality(Byte Value) { Bytes[26] = Value; }
  AnsiString FaceName() const;
  void SetFaceName(const AnsiString& Value);
  static TIELogFont FromFont(TFont* Font);
  // Height given in pixels (the LOGFONT convention: negative = character height).
  void ToFont(TFont* Font, Integer Height) const;
};

// One memo character format: the 280-byte record as it lies in the objects file.
struct TIETextCharFormatRec {
  std::array<Byte, 280> Bytes{};
  AnsiString FontName() const;
  Integer FontHeight() const;
  Byte FontStyle() const { return Bytes[264]; }
  TColor FontColor() const;
  TColor BackColor() const;
  Byte BackStyle() const { return Bytes[276]; }
  Byte Alignment() const { return Bytes[277]; }
};

struct TIEVSoftShadow {
  bool Enabled = false;
  double Radius = 3.0;
  Integer OffsetX = 0;
  Integer OffsetY = 0;
  Integer Intensity = 100;
  TRGB Color{0, 0, 0};
};

struct TIEDPoint {
  double X = 0, Y = 0;
};

// A plug-in object: registered by class name, owned by its object record.
class TIEVPlugInObject {
 public:
  virtual ~TIEVPlugInObject() = default;
  TZodivErVect* Owner = nullptr;
  struct TIEVObjectRec* Rec = nullptr;
  Integer Handle = -1;
  bool Flag = false;
  virtual void Initialize() {}
  virtual void SaveToStream(TStream*) {}
  virtual void LoadFromStream(TStream*) {}
  virtual bool HandleKey(Word, TShiftState) { return false; }
  // The mouse over the object, in client coordinates of the view.
  virtual void MouseDown(TMouseButton, TShiftState, Integer, Integer) {}
  virtual void MouseMove(TShiftState, Integer, Integer) {}
  virtual void MouseUp(TMouseButton, TShiftState, Integer, Integer) {}
  virtual void MouseEnter(TShiftState, Integer, Integer) {}
  virtual void MouseLeave(TShiftState, Integer, Integer) {}
  virtual void Draw(TBitmap*, Integer, Integer, Integer, Integer, bool, double, double) {}
  virtual std::unique_ptr<TIEVPlugInObject> Clone() const = 0;
  // The name the class is registered under; the objects file stores it.
  virtual AnsiString PlugInClassName() const = 0;
};
using TIEVPlugInFactory = std::function<std::unique_ptr<TIEVPlugInObject>()>;
// The process-wide table of plug-in classes; empty until a program registers one.
void IERegisterPlugInClass(const AnsiString& ClassName, TIEVPlugInFactory Factory);
std::unique_ptr<TIEVPlugInObject> IECreatePlugInObject(const AnsiString& ClassName);
void IEFreePlugInClasses();

struct TIEVObjectRec {
  Integer X1 = 0, Y1 = 0, X2 = 63, Y2 = 63;
  Byte Kind = ievkNone;
  Integer Transparency = 255;
  void* UserData = nullptr;  // freed with std::free when UserDataLength > 0
  Integer UserDataLength = 0;
  bool LockAspect = false;
  Byte ArrowBegin = 0, ArrowEnd = 0;
  Integer ArrowWidth = 10, ArrowHeight = 20;
  TColor LabelBrushColor = 0xFFFFFF;
  Byte LabelBrushStyle = bsSolid;
  Byte LabelPosition = 1;
  Byte LabelShape = 1;
  TRect LabelBox{0, 0, 0, 0};
  TColor PenColor = clWindowText;
  Byte PenStyle = psSolid;
  Integer PenWidth = 1;
  TColor BrushColor = 0xFFFFFF;
  Byte BrushStyle = bsClear;
  bool Highlight = false;
  double ArcStartAngle = 0, ArcEndAngle = 6.283185307179586;
  Integer BitmapIndex = -1;
  bool BitmapBorder = false;
  std::optional<AnsiString> Text;
  std::optional<TIELogFont> Font;
  Byte TextQuality = 0;
  Byte TextAlign = 0;
  bool TextAutoSize = false;
  bool UniformFormat = true;
  std::vector<TIEDPoint> CurvePoints;
  Integer CurveCharRotation = -10;
  bool EditOnCreate = true;
  std::optional<std::vector<Integer>> MemoCharFormats;
  std::optional<std::vector<TIETextCharFormatRec>> MemoFormats;
  Integer MemoLineSpacing = 0;
  TColor MemoBorderColor = 0xFFFFFF;
  Byte MemoBorderStyle = psSolid;
  Integer MemoFixedCharHeight = 0;
  bool MemoHasBitmap = false;
  double MemoMargins[4] = {0, 0, 0, 0};
  Byte MemoFillStyle = bsSolid;
  AnsiString Name;
  std::array<Byte, 4> Tag{};
  TIEVStyle Style = ievsSelectable | ievsMoveable | ievsSizeable | ievsVisible;
  Byte RulerUnit = ieuPIXELS;
  Byte RulerType = 2;
  std::vector<TPoint> PolyPoints;
  TRect PolyBaseRect{0, 0, 0, 0};
  bool PolyClosed = false;
  std::vector<TPoint> DrawnPoints;
  TPoint AnglePoints[3] = {{50, 50}, {0, 0}, {0, 0}};
  TRect DragStartRect{0, 0, 0, 0};
  TRect DrawnBox{0, 0, 0, 0};
  Integer DrawnPenWidth = 0;
  TIEVSoftShadow Shadow;
  std::unique_ptr<TIEVPlugInObject> PlugIn;

  TIEVObjectRec() = default;
  TIEVObjectRec(TIEVObjectRec&&) = default;
  TIEVObjectRec& operator=(TIEVObjectRec&&) = default;
  ~TIEVObjectRec();
};

// Every field that is a plain value (no text, font, points, formats, bitmap, user data or
// plug-in), as a new object takes them from its source.
void IEVCopyPlainFields(TIEVObjectRec& D, const TIEVObjectRec& S);

struct TIEVSharedBitmap {
  std::unique_ptr<TIEBitmap> Bitmap;
  Integer UseCount = 0;
};

using TIEVNewObject = std::function<void(TObject* Sender, Integer hobj)>;
using TIEUserSelectObject = std::function<void(TObject* Sender, Integer hobj)>;
// The object-editing modes of the mouse (a set of 17 flags, apart from the view's own modes).
using TIEMouseInteractVt = uint32_t;
inline constexpr TIEMouseInteractVt mioArea = 1u << 0;
inline constexpr TIEMouseInteractVt mioLength = 1u << 1;
inline constexpr TIEMouseInteractVt mioPutLine = 1u << 2;
inline constexpr TIEMouseInteractVt mioPutBox = 1u << 3;
inline constexpr TIEMouseInteractVt mioPutEllipse = 1u << 4;
inline constexpr TIEMouseInteractVt mioPutBitmap = 1u << 5;
inline constexpr TIEMouseInteractVt mioPutText = 1u << 6;
inline constexpr TIEMouseInteractVt mioObjectSelect = 1u << 7;
inline constexpr TIEMouseInteractVt mioDragLen = 1u << 8;
inline constexpr TIEMouseInteractVt mioPutRuler = 1u << 9;
inline constexpr TIEMouseInteractVt mioPutPolyline = 1u << 10;
inline constexpr TIEMouseInteractVt mioPutAngle = 1u << 11;
inline constexpr TIEMouseInteractVt mioPutMemo = 1u << 12;
inline constexpr TIEMouseInteractVt mioPutLineLabel = 1u << 13;
inline constexpr TIEMouseInteractVt mioEditPolyline = 1u << 14;
inline constexpr TIEMouseInteractVt mioNoClickCreate = 1u << 15;
inline constexpr TIEMouseInteractVt mioPutPlugIn = 1u << 16;

enum TIEVUndoMode { ieumSeparated, ieumShared };

using TIEVObjectMoveResizeEvent =
    std::function<void(TObject* Sender, Integer hobj, Integer Grip, Integer& OffsetX, Integer& OffsetY)>;
using TIEVObjectClickEvent = std::function<void(TObject* Sender, Integer hobj)>;
using TIEVDragLenEndEvent = std::function<void(TObject* Sender, double Value)>;
using TIEVMeasureHintEvent = std::function<void(TObject* Sender, AnsiString& Text, double Value)>;
using TIEDrawObjectEvent = std::function<void(TObject* Sender, Integer hobj, TBitmap* destination, TRect destRect,
                                              bool drawingAlpha, bool& handled)>;

// What the vector unit sets up at the library's start-up: the "ZODIVER VECT" clipboard format
// (registered so other programs see the name; no data is ever put under it), the Ctrl
// shortcuts of the text editor and the plug-in class list. Register before IEInitialize.
void IERegisterVectorUnit();
void IEInitZodivErVect();
void IEFinalZodivErVect();
// The format's id, 0 before start-up.
extern TClipFormat IEVectClipboardFormat;
// Ctrl+L, E, R, J (alignment left, centre, right, justified), C, X, V (copy, cut, paste), F
// (font dialog), B, I, U (bold, italic, underline) and G (colour dialog), 0 before start-up.
struct TIEVTextShortCuts {
  Word AlignLeft = 0, AlignCenter = 0, AlignRight = 0, AlignJustify = 0;
  Word Copy = 0, Cut = 0, Paste = 0, Font = 0, Bold = 0, Italic = 0, Underline = 0, Color = 0;
};
extern TIEVTextShortCuts IEVTextShortCuts;

// True when the stream holds "IEV" and a known version at its position; the position is kept.
bool IETestObjectsStream(TStream* Stream);
// The stream holds a layers-and-objects file at its position; the position is kept.
bool IETestLayersObjectsStream(TStream* Stream);

class TZodivErVect : public TZodivErView {
 public:
  explicit TZodivErVect(TComponent* AOwner);
  ~TZodivErVect() override;
  AnsiString ClassName() const override { return "TZodivErVect"; }

  // ----- store -----
  TIEVObjectRec* GetObjectRec(Integer hobj);
  Integer AppendObject(const TIEVObjectRec& Source);
  void FreeObjectData(TIEVObjectRec& Rec);
  void FreeObjectText(TIEVObjectRec& Rec);
  void ReleaseObjects();
  void ClearObjects();
  Integer ObjectsCount() const { return static_cast<Integer>(FZOrder.size()); }
  // Handle of the object at position Index of the drawing order (0 = bottom).
  // IEV_NO_OBJECT for a position outside the list.
  Integer GetObjectAt(Integer Index) const {
    return Index >= 0 && static_cast<size_t>(Index) < FZOrder.size() ? FZOrder[static_cast<size_t>(Index)] : IEV_NO_OBJECT;
  }
  Integer ObjectsCapacity() const { return static_cast<Integer>(FObjects.capacity()); }

  // ----- selection -----
  void AddToSelection(Integer hobj);
  void AddToSelectionQuiet(Integer hobj);
  bool IsObjectSelected(Integer hobj);
  void RemoveFromSelection(Integer hobj);
  void ClearSelection();
  void ClearSelectionAndUpdate();
  Integer SelectedObjectsCount() const { return static_cast<Integer>(FSelection.size()); }
  // IEV_NO_OBJECT for a position outside the selection list.
  Integer SelectedObject(Integer Index) const {
    return Index >= 0 && static_cast<size_t>(Index) < FSelection.size() ? FSelection[static_cast<size_t>(Index)]
                                                                      : IEV_NO_OBJECT;
  }
  TRect SelectionExtent();
  void SelectObjectsInRect(Integer hobj, Integer X1, Integer Y1, Integer X2, Integer Y2);

  // ----- per-object setters -----
  void SetObjectUserData(Integer hobj, void* Data);
  void SetObjectUserDataLength(Integer hobj, Integer Length);
  void SetObjectFont(Integer hobj, TFont* Font);
  void SetObjectText(Integer hobj, const AnsiString& Text);
  void ShareObjectBitmap(Integer hobj, Integer Index);
  void SetObjectBitmap(Integer hobj, TIEBitmap* Bitmap);
  void ReleaseSharedBitmap(Integer Index);
  Integer NewSharedBitmapSlot();
  TIEBitmap* GetSharedBitmap(Integer Index);
  Integer SharedBitmapUseCount(Integer Index) const;
  Integer SharedBitmapsCount() const { return static_cast<Integer>(FBitmaps.size()); }
  Integer FindSharedBitmap(TIEBitmap* Bitmap);
  void CompactSharedBitmaps();

  // ----- geometry -----
  Integer FindObjectAt(Integer X, Integer Y, bool SelectableOnly, double& Distance);
  double ObjectDistance(TIEVObjectRec& Rec, Integer X, Integer Y);
  void AddPolylinePoint(Integer hobj, Integer X, Integer Y);
  static void AngleBoundingBox(const TPoint Points[3], Integer& X1, Integer& Y1, Integer& X2, Integer& Y2);
  void ResetInteraction();
  void ComputeUnitScale(TIEUnits Unit, double& FX, double& FY);
  void ComputeUnitScale();
  double UnitFactorX() const { return FUnitX; }
  double UnitFactorY() const { return FUnitY; }
  double SelectionPolygonLength();

  // ----- settings -----
  TIEUnits MUnit() const { return FMUnit; }
  void SetMUnit(TIEUnits Value);
  Integer FloatDigits() const { return FFloatDigits; }
  void SetFloatDigits(Integer Value) {
    FFloatDigits = Value;
    RefreshMeasureHint(IEV_UNPLACED, IEV_UNPLACED);
  }
  Integer FloatPrecision() const { return FFloatPrecision; }
  void SetFloatPrecision(Integer Value) {
    FFloatPrecision = Value;
    RefreshMeasureHint(IEV_UNPLACED, IEV_UNPLACED);
  }
  bool ShareBitmaps = true;
  bool SelectOnMouseDown = true;
  double MeasureScale = 1.0;
  Integer MaxSelectionDistance = -1;
  bool SelectUnfilledBoxInside = false;
  bool LengthIncludesCursor = true;
  bool ObjAutoUndo = false;
  void SetDpiX(Integer Value) override;
  void SetDpiY(Integer Value) override;
  void SetMouseInteract(TIEMouseInteract Value) override;
  void Select(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer Op) override;
  void AddSelectionPoint(Integer X, Integer Y) override;

  TNotifyEvent OnSelectObject;
  TIEVNewObject OnNewObject;
  TIEUserSelectObject OnUserSelectObject;
  TIEUserSelectObject OnUserDeselectObject;
  // Fired whenever the set of objects changes as a whole (clear, load); object undo hooks here.
  TNotifyEvent OnVectorialChanged;
  // Published for programs that set it; the view itself never fires it.
  TNotifyEvent OnBeforeVectorialChanged;

  // ----- drawing -----
  bool ObjAntialias() const { return FObjAntialias; }
  void SetObjAntialias(bool Value);
  bool ZoomObjectsWidth() const { return FZoomObjectsWidth; }
  void SetZoomObjectsWidth(bool Value);
  TResampleFilter BitmapResampleFilter() const { return FBitmapResampleFilter; }
  void SetBitmapResampleFilter(TResampleFilter Value);
  TIEDrawObjectEvent OnBeforeDrawObject;
  TIEDrawObjectEvent OnAfterDrawObject;
  virtual void SetOutputDrawing(bool Value);
  void DrawObjects(bool BitmapCoords, Integer Handle, bool AntiAlias, TBitmap* Dest);
  bool DrawObject(TIEVObjectRec& Obj, Integer Handle, bool DrawingAlpha, Integer Factor, bool ToView,
                  bool ClipToView, TBitmap* Dest);
  void DrawObjectsToBackBuffer(TBitmap* Dest);
  void DrawObjectsToImage(TIEBitmap* Image, bool Output, Integer Handle);
  void DrawObjectsToBitmap(bool Output);
  void RenderToBitmap(TIEBitmap* Dest, TIERenderTables* RowCache, const TRect* ClipRect, bool DrawBackground,
                      bool DrawGadgets) override;
  Integer MapX(Integer Value, bool ToView, Integer Factor);
  Integer MapY(Integer Value, bool ToView, Integer Factor);
  Integer ZoomedPenWidth(const TIEVObjectRec& Obj, double ZoomX, double ZoomY);
  void DrawArrow(TIECanvas* Canvas, Byte Shape, Integer TX, Integer TY, Integer EX, Integer EY, Integer AW,
                 Integer AH, TRect& Extent);
  void PolylineScale(const TIEVObjectRec& Obj, double& SX, double& SY);
  void FitPolylineBox(Integer hobj);
  TRect GetObjectsExtent();

  // ----- text, label, ruler, angle (ie_vect_text.cpp) -----
  void DrawTextObject(TIECanvas* Canvas, Integer X1, Integer Y1, Integer X2, Integer Y2, TIEVObjectRec& Obj,
                      double ZoomX, double ZoomY, TRect& Extent);
  void DrawMemoObject(TIECanvas* Canvas, Integer X1, Integer Y1, Integer X2, Integer Y2, TIEVObjectRec& Obj,
                      double ZoomX, double ZoomY, TRect& Extent);
  void DrawLineLabel(TIECanvas* Canvas, Integer X1, Integer Y1, Integer X2, Integer Y2, TIEVObjectRec& Obj,
                     double ZoomX, double ZoomY, TRect& Extent);
  void DrawRuler(TIECanvas* Canvas, Integer X1, Integer Y1, Integer X2, Integer Y2, double Length, TIEUnits Unit,
                 TColor PenColor, Integer PenWidth, Byte RulerType, double InvZoomX, double InvZoomY, TRect& Extent,
                 const TIELogFont& Font);
  void DrawAngle(TIECanvas* Canvas, const TPoint Points[3], TColor PenColor, Integer PenWidth, TRect& Extent,
                 double InvZoomX, double InvZoomY, const TIELogFont& Font);

  // ----- objects file (ie_vect_file.cpp) -----
  void SaveObjectsToStream(TStream* Stream);
  // False for another format (nothing changed). A damaged file raises EReadError naming the
  // cause, and the view keeps every object it had.
  bool LoadObjectsFromStream(TStream* Stream);
  bool LoadObjectsFromFile(const AnsiString& FileName);
  void SaveObjectsToFile(const AnsiString& FileName);
  void CopyObjectsTo(TZodivErVect* Dest);
  Integer CopyObjectTo(Integer Handle, TZodivErVect* Dest);
  // ----- layers-and-objects file (ie_layer_file.cpp) -----
  void SaveLayersAndObjectsToStream(TStream* Stream, Integer Compression);
  // False for another format; a damaged file raises EReadError and changes neither the layers
  // nor the objects.
  bool LoadLayersAndObjectsFromStream(TStream* Stream);
  bool LoadLayersAndObjectsFromFile(const AnsiString& FileName);

  // ----- mouse editing (ie_vect_mouse.cpp) -----
  TIEMouseInteractVt MouseInteractObj() const { return FMouseInteractObj; }
  void SetMouseInteractObj(TIEMouseInteractVt Value);
  bool AllowMoveOutside = true;
  bool RubberBandSelect = true;
  bool EditNewText = true;
  bool CenterNewObjects = false;
  Integer PolylineClosingMode = 0;
  bool PolylineOutOfImage = false;
  void SelectAtPoint(TShiftState Shift, Integer X, Integer Y, bool FromPress);
  void MoveObjectBy(Integer hobj, Integer DX, Integer DY);
  void ResizeObjectBy(Integer hobj, Integer Grip, bool KeepAspect, Integer DX, Integer DY);
  void XorLine();
  void XorBox();
  void XorEllipse();
  void DrawRulerPreview();
  void DrawAnglePreview();
  Integer PolylinePointAt(Integer X, Integer Y);
  Integer PolylineSegmentAt(Integer X, Integer Y);
  // The kind of the object a gesture is creating (ievkNone when none is).
  Byte CreatingKind() const { return FCreatingKind; }
  bool Dragging() const { return FDragging; }
  TIEVObjectMoveResizeEvent OnObjectMoveResize;
  TIEVObjectClickEvent OnObjectClick;
  TIEVObjectClickEvent OnObjectDblClick;
  TIEVObjectClickEvent OnObjectOver;
  TIEVDragLenEndEvent OnDragLenEnd;
  virtual void ObjectMoveResize(Integer hobj, Integer Grip, Integer& OffsetX, Integer& OffsetY);
  virtual void ObjectClick(Integer hobj);
  virtual void ObjectDblClick(Integer hobj);
  virtual void ObjectOver(Integer hobj);
  virtual void NewObject(Integer hobj);
  virtual void UserSelectObject(Integer hobj);
  virtual void UserDeselectObject(Integer hobj);

  // ----- grips and measurement hint (ie_vect_grips.cpp) -----
  Integer GripSize = 5;
  Byte GripShape = 1;
  TPen GripPen;
  TBrush GripBrush;
  bool CenterMoveGrip = false;
  TFont MeasureHintFont;
  TBrush MeasureHintBrush;
  TPicture* ObjGripImage();
  TIEVMeasureHintEvent OnMeasureHint;
  Integer GripAt(Integer X, Integer Y, Integer& Grip);
  bool IsOnGrip(Integer CX, Integer CY, Integer X, Integer Y) const;
  void DrawGrip(TCanvas* Canvas, Integer Kind, Integer X, Integer Y);
  void DrawObjectGrips(TCanvas* Canvas, Integer hobj);
  void DrawSelectionGrips(TCanvas* Canvas);
  void ShowMeasureHint(Integer X, Integer Y);
  void HideMeasureHint();
  void RefreshMeasureHint(Integer X, Integer Y);
  bool MeasureHintVisible() const { return FHintVisible; }
  // The text the hint showed last, and the value it measured.
  const AnsiString& MeasureHintText() const { return FMeasureText; }
  double LastMeasuredValue() const { return FLastMeasured; }
  // The client box of an object as it is drawn, corners ordered as the object stores them.
  void ObjectClientBox(const TIEVObjectRec& Obj, Integer& X1, Integer& Y1, Integer& X2, Integer& Y2);

  // ----- keys, object undo, change events (ie_vect_keys.cpp) -----
  Integer ObjUndoLimit = 1;
  TIEVUndoMode ObjUndoMode = ieumSeparated;
  void SaveObjectsUndo();
  void PushObjectsSnapshot();
  void DropLastObjectsSnapshot();
  void ClearObjectsSnapshots();
  Integer ObjectsSnapshotCount() const { return static_cast<Integer>(FObjUndo.size()); }
  // Snapshot Index of the view's own list, oldest first (nullptr outside it).
  TMemoryStream* ObjectsSnapshot(Integer Index);
  virtual void VectorialChanged();
  virtual void VectorialChangedOnce();
  void Assign(TObject* Source) override;
  void SetMeasureScale(double Value);
  double SelectionArea();
  Integer FindObjectAtClient(Integer X, Integer Y, double& Distance);
  static Integer CountAnglePoints(const TPoint Points[3]);
  void ShiftSelectionPoints(Integer DX, Integer DY) override;
  TDlgCode GetDlgCode() const override;

  // ----- object text editing (ie_vect_textedit.cpp) -----
  // The object the in-place editor works on (-1: none); StartTextEdit opens it.
  Integer EditedObject() const { return FEditedObject; }
  void SetEditedObject(Integer hobj);
  void StartTextEdit();
  void EndTextEdit();
  virtual void PlaceTextEditor();
  bool IsEditingText() const { return FEditedObject >= 0; }
  TEdit* TextEditBox() const { return FEditBox; }
  // The rich-text editor laid over a memo while it is edited.
  TIETextControl* TextControl();
  void Update() override;
  void ViewChange(Integer Change) override;
  TNotifyEvent OnActivateTextEdit;
  TNotifyEvent OnDeactivateTextEdit;
  TKeyEvent OnTextKeyDown;
  // The caret of a memo edit moved: the text control's own event.
  TNotifyEvent OnTextEditCursorMoved();
  void SetOnTextEditCursorMoved(TNotifyEvent Value);
  void EditBoxKeyDown(TObject* Sender, Word& Key, TShiftState Shift);
  void EditBoxChange(TObject* Sender);
  void TextControlKeyDown(TObject* Sender, Word& Key, TShiftState Shift);

 protected:
  // The working copy of the template's font as the template default of a ruler/angle loaded
  // without one.
  TIELogFont DefaultFont(Integer Height) const;
  void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void MouseMove(TShiftState Shift, Integer X, Integer Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void KeyDown(Word& Key, TShiftState Shift) override;
  void DoEnter() override;
  void DoExit() override;
  void Resize() override;

 private:
  friend class TIEVObjectsReader;
  void PlaceMemoEditor(const TIEVObjectRec& o, Integer x1, Integer y1, Integer x2, Integer y2);
  void EndMemoEdit(TIEVObjectRec* o);
  std::vector<TIEVObjectRec> FObjects;
  std::vector<Integer> FZOrder;
  std::vector<Integer> FSelection;
  std::vector<TIEVSharedBitmap> FBitmaps;
  TIEVObjectRec FTemplate;
  TIEUnits FMUnit = ieuPIXELS;
  Integer FFloatDigits = 2;
  Integer FFloatPrecision = 15;
  double FUnitX = 1.0, FUnitY = 1.0;
  bool FObjAntialias = true;
  bool FZoomObjectsWidth = true;
  TResampleFilter FBitmapResampleFilter = rfNone;
  bool FOutputDrawing = false;
  bool FDragging = false;
  // A 32-bit surface the objects are drawn on when the target has another layout, kept between
  // draws: the canvas of any other layout converts the whole picture on every call.
  std::unique_ptr<TBitmap> FWork32;

  // ----- mouse gesture state -----
  TIEMouseInteractVt FMouseInteractObj = 0;
  Byte FCreatingKind = ievkNone;
  Integer FPolylineHandle = -1;
  TPoint FPolylineLast{0, 0};
  Integer FAngleHandle = -1;
  Integer FDragGrip = 0;
  Integer FPolyPoint = -1;
  Integer FPolySegment = -1;
  TPoint FDown{0, 0};      // client point the gesture started from (clamped)
  TPoint FCurrent{0, 0};   // client point of the last move
  TPoint FRawMouse{0, 0};  // unclamped client point of the last move, for the hint
  TPoint FDragOffset{0, 0};
  bool FDoubleClickSeen = false;
  bool FChangedInGesture = false;
  bool FUndoTaken = false;
  bool FSelectDeferred = false;
  bool FInGesture = false;
  bool FMeasuring = false;  // the line being dragged measures (mioDragLen) and makes no object
  Integer FHoverObject = -1;
  void EndGestureCreation(TShiftState Shift);
  void FinishPolyline();
  void AddPolylineClientPoint(Integer X, Integer Y);
  void UpdateHoverCursor(Integer X, Integer Y, TShiftState Shift);
  TPoint SnapClient(TPoint From, TPoint To);

  // ----- grips and hint -----
  std::unique_ptr<TPicture> FGripImage;
  bool FHintVisible = false;
  bool FHintShown = false;
  TPoint FHintPos{0, 0};
  TPoint FHintDrawn{0, 0};
  std::unique_ptr<TBitmap> FHintSave;
  double FLastMeasured = 0;
  AnsiString FMeasureText;

  // ----- change events and undo -----
  bool FChangedOnce = false;
  std::vector<std::unique_ptr<TMemoryStream>> FObjUndo;

  // ----- text editing -----
  Integer FEditedObject = -1;
  TEdit* FEditBox = nullptr;
  TIETextControl* FTextControl = nullptr;
  // The running edit is a memo's, in FTextControl (else a text object's, in FEditBox).
  bool FEditingMemo = false;
  AnsiString FEditStartText;
  bool FDestroying = false;
};
