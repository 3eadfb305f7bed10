// The control hierarchy: TControl (anything placed on a form), TWinControl (a control with its
// own Qt widget that can hold other controls and take the keyboard), TCustomControl (a windowed
// control that paints itself) and TGraphicControl (a light control that paints itself but never
// takes the focus).
//
// Properties follow the framework's names: the getter carries the property's name, the setter is
// Set<Name>. Events are public std::function members named as in the framework; an event whose
// handler throws ends in Application->HandleException, never in Qt.
//
// Every control has a Qt widget from its construction on (Widget()). A standard control passes
// its own widget (a QPushButton, a QLineEdit, ...) to the TWinControl constructor; plain
// TWinControl, TCustomControl and TGraphicControl make their own. The widget belongs to the
// control and dies with it.
//
// Painted controls (TCustomControl, TGraphicControl) own a surface image of their client size.
// Their Canvas draws into it at any time, in Paint and outside it (rubber bands, marching ants),
// and the widget's paint event shows the surface. Paint is called when the control has been
// invalidated (Invalidate, Repaint, a resize, the first show); drawing outside Paint only
// refreshes the screen from the surface and is kept until the next Paint.
#pragma once

#include <functional>
#include <vector>

#include "platform/gui/colors.h"
#include "platform/gui/keys.h"
#include "platform/rtl/classes.h"

class QWidget;
class QImage;
class TFont;
class TCanvas;
class TControl;
class TWinControl;
class TCustomForm;
class TDragObject;
class TDragDockObject;
class TPopupMenu;

namespace clvqt {
class ControlBridge;
class PaintSurface;
}  // namespace clvqt

enum TMouseButton { mbLeft, mbRight, mbMiddle };

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

// Cursor ids. The negative ids are the desktop's stock cursors; positive ids are registered by
// the program through Screen->SetCursors.
using TCursor = Integer;
inline constexpr TCursor crDefault = 0;
inline constexpr TCursor crNone = -1;
inline constexpr TCursor crArrow = -2;
inline constexpr TCursor crCross = -3;
inline constexpr TCursor crIBeam = -4;
inline constexpr TCursor crSizeNESW = -6;
inline constexpr TCursor crSizeNS = -7;
inline constexpr TCursor crSizeNWSE = -8;
inline constexpr TCursor crSizeWE = -9;
inline constexpr TCursor crUpArrow = -10;
inline constexpr TCursor crHourGlass = -11;
inline constexpr TCursor crDrag = -12;
inline constexpr TCursor crNoDrop = -13;
inline constexpr TCursor crHSplit = -14;
inline constexpr TCursor crVSplit = -15;
inline constexpr TCursor crMultiDrag = -16;
inline constexpr TCursor crSQLWait = -17;
inline constexpr TCursor crNo = -18;
inline constexpr TCursor crAppStart = -19;
inline constexpr TCursor crHelp = -20;
inline constexpr TCursor crHandPoint = -21;
inline constexpr TCursor crSizeAll = -22;
inline constexpr TCursor crSize = -22;

// How a control behaves towards the mouse, as a bit set.
using TControlStyle = unsigned;
// A press captures the mouse until the release.
inline constexpr TControlStyle csCaptureMouse = 1u << 0;
// A press and release inside the control fire Click; a double press fires DblClick. Set for
// painted controls, forms and plain TWinControls; a control that passes its own widget to the
// TWinControl constructor starts without it (its widget reports its own clicks).
inline constexpr TControlStyle csClickEvents = 1u << 1;
// The control paints all of its client area; the surface is not cleared to Color before Paint.
inline constexpr TControlStyle csOpaque = 1u << 2;
inline constexpr TControlStyle csDoubleClicks = 1u << 3;

// Which special keys a windowed control keeps for itself instead of letting its form use them
// for dialog navigation (Enter for the default button, Esc for the cancel button, Tab).
using TDlgCode = unsigned;
inline constexpr TDlgCode dlgcWantArrows = 1u << 0;
inline constexpr TDlgCode dlgcWantTab = 1u << 1;
inline constexpr TDlgCode dlgcWantAllKeys = 1u << 2;
inline constexpr TDlgCode dlgcWantChars = 1u << 3;

// A window message as a control's handler receives it: sent through the window system with
// SendMessage, or handed straight to the handler with TControl::Perform.
struct TMessage {
  Cardinal Msg = 0;
  NativeUInt WParam = 0;
  NativeInt LParam = 0;
  NativeInt Result = 0;
};

// The desktop's clipboard commands to an edit control: cut, copy or paste the selection, delete
// it, take back the last change.
inline constexpr Cardinal WM_CUT = 0x0300;
inline constexpr Cardinal WM_COPY = 0x0301;
inline constexpr Cardinal WM_PASTE = 0x0302;
inline constexpr Cardinal WM_CLEAR = 0x0303;
inline constexpr Cardinal WM_UNDO = 0x0304;

enum TScrollBarKind { sbHorizontal, sbVertical };

// What a scroll bar asked for (the desktop's SB_ codes in this order).
enum TScrollCode {
  scLineUp,
  scLineDown,
  scPageUp,
  scPageDown,
  scPosition,
  scTrack,
  scTop,
  scBottom,
  scEndScroll
};

// A scroll bar's state in the desktop's terms: positions Min..Max, a thumb of Page units, so
// the largest position is Max - Page + 1 (Max when Page is 0).
struct TScrollInfo {
  Integer Min = 0;
  Integer Max = 0;
  Integer Page = 0;
  Integer Pos = 0;
};

using TMouseEvent =
    std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X, Integer Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, Integer X, Integer Y)>;
using TMouseWheelEvent = std::function<void(TObject* Sender, TShiftState Shift, Integer WheelDelta,
                                            TPoint MousePos, bool& Handled)>;
using TMouseWheelUpDownEvent =
    std::function<void(TObject* Sender, TShiftState Shift, TPoint MousePos, bool& Handled)>;
// Setting Key to 0 in a key-down handler keeps the key from the control.
using TKeyEvent = std::function<void(TObject* Sender, Word& Key, TShiftState Shift)>;
// Setting Key to 0 drops the character; another value replaces it.
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;
// File names dropped on a control, in the order the desktop gave them.
using TDropFilesEvent = std::function<void(TObject* Sender, const std::vector<AnsiString>& Files)>;

// Dragging one control onto another, and docking (drag_dock.h has the protocol). For a plain
// drag, Source in OnDragOver and OnDragDrop is the dragged control; for docking it is the
// TDragDockObject.
enum TDragMode { dmManual, dmAutomatic };
enum TDragKind { dkDrag, dkDock };
enum TDragState { dsDragEnter, dsDragLeave, dsDragMove };
using TDragOverEvent = std::function<void(TObject* Sender, TObject* Source, Integer X, Integer Y,
                                          TDragState State, bool& Accept)>;
using TDragDropEvent = std::function<void(TObject* Sender, TObject* Source, Integer X, Integer Y)>;
using TStartDragEvent = std::function<void(TObject* Sender, TDragObject*& DragObject)>;
using TEndDragEvent = std::function<void(TObject* Sender, TObject* Target, Integer X, Integer Y)>;
using TStartDockEvent = std::function<void(TObject* Sender, TDragDockObject*& DragObject)>;
using TDockOverEvent = std::function<void(TObject* Sender, TDragDockObject* Source, Integer X, Integer Y,
                                          TDragState State, bool& Accept)>;
using TDockDropEvent = std::function<void(TObject* Sender, TDragDockObject* Source, Integer X, Integer Y)>;
using TUnDockEvent =
    std::function<void(TObject* Sender, TControl* Client, TWinControl* NewTarget, bool& Allow)>;
using TGetSiteInfoEvent = std::function<void(TObject* Sender, TControl* DockClient, TRect& InfluenceRect,
                                             TPoint MousePos, bool& CanDock)>;

// The sides of its parent a control keeps its distance to when the parent is resized. Anchored
// to both sides of a direction, the control stretches; to neither, it keeps its centre at the
// same proportion of the parent's size.
using TAnchors = Byte;
inline constexpr TAnchors akLeft = 1u << 0;
inline constexpr TAnchors akTop = 1u << 1;
inline constexpr TAnchors akRight = 1u << 2;
inline constexpr TAnchors akBottom = 1u << 3;

// Limits on a control's size; 0 means no limit. Setting a limit re-applies the control's bounds.
class TSizeConstraints : public TPersistent {
 public:
  Integer MinWidth() const { return FMinWidth; }
  Integer MinHeight() const { return FMinHeight; }
  Integer MaxWidth() const { return FMaxWidth; }
  Integer MaxHeight() const { return FMaxHeight; }
  void SetMinWidth(Integer Value);
  void SetMinHeight(Integer Value);
  void SetMaxWidth(Integer Value);
  void SetMaxHeight(Integer Value);
  void Assign(TPersistent* Source) override;
  // A width or height brought within the limits (a maximum below the minimum gives way).
  Integer ConstrainWidth(Integer Value) const;
  Integer ConstrainHeight(Integer Value) const;

  TNotifyEvent OnChange;

 private:
  void Set(Integer& Field, Integer Value);
  Integer FMinWidth = 0;
  Integer FMinHeight = 0;
  Integer FMaxWidth = 0;
  Integer FMaxHeight = 0;
};

// A right click (MousePos in client coordinates) or the menu key (MousePos -1, -1) asks for the
// control's context menu; a handler that shows its own sets Handled.
using TContextPopupEvent = std::function<void(TObject* Sender, TPoint MousePos, bool& Handled)>;

// How a control that paints itself appears to the desktop's screen readers (a standard control
// is described by its own widget): a plain area unless the control says otherwise.
enum TAccessibleRole { arClient, arSlider, arPageTabList, arPicture };

// One tab of a page tab list as a screen reader reads it.
struct TAccessibleTab {
  AnsiString Name;
  TRect Bounds;  // client coordinates
  bool Selected = false;
};

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  TWinControl* Parent() const { return FParent; }
  virtual void SetParent(TWinControl* AParent);

  Integer Left() const;
  Integer Top() const;
  Integer Width() const;
  Integer Height() const;
  void SetLeft(Integer Value);
  void SetTop(Integer Value);
  void SetWidth(Integer Value);
  void SetHeight(Integer Value);
  virtual void SetBounds(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight);
  TRect BoundsRect() const;
  void SetBoundsRect(const TRect& R);
  // The client area in client coordinates (0, 0 at its top-left corner).
  virtual TRect ClientRect() const;
  Integer ClientWidth() const;
  Integer ClientHeight() const;
  virtual void SetClientWidth(Integer Value);
  virtual void SetClientHeight(Integer Value);

  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool Value);
  // Makes the control visible and asks its parents to show it (a page control brings the page
  // that holds it to the front).
  void Show();
  void Hide();
  // True when the control and all its parents are visible.
  bool Showing() const;
  bool Enabled() const { return FEnabled; }
  virtual void SetEnabled(bool Value);

  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  bool ParentColor() const { return FParentColor; }
  void SetParentColor(bool Value);
  // Never nil; changing it (or the parent's font while ParentFont is set) notifies FontChanged.
  TFont* Font() const;
  void SetFont(TFont* Value);
  bool ParentFont() const { return FParentFont; }
  void SetParentFont(bool Value);

  const AnsiString& Caption() const { return FCaption; }
  void SetCaption(const AnsiString& Value);
  const AnsiString& Text() const { return FCaption; }
  void SetText(const AnsiString& Value) { SetCaption(Value); }

  const AnsiString& Hint() const { return FHint; }
  void SetHint(const AnsiString& Value);
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool Value);
  bool ParentShowHint() const { return FParentShowHint; }
  void SetParentShowHint(bool Value) { FParentShowHint = Value; }

  TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor Value);

  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign Value);
  // [akLeft, akTop] by default: the control stays where it was placed.
  TAnchors Anchors() const { return FAnchors; }
  void SetAnchors(TAnchors Value);
  // Never nil; owned by the control.
  TSizeConstraints* Constraints() const { return FConstraints; }
  void SetConstraints(TSizeConstraints* Value);

  // The menu a right click on the control (or the menu key while it has the focus) shows, after
  // OnContextPopup, unless that handled it. Without one, the parent is asked in turn.
  TPopupMenu* PopupMenu() const { return FPopupMenu; }
  void SetPopupMenu(TPopupMenu* Value);
  TContextPopupEvent OnContextPopup;
  // The context-menu request as the platform delivers it: fires OnContextPopup, then shows
  // PopupMenu at the pointer (at the control's top-left for the menu key). True when the
  // request was answered, here or by a parent.
  bool DoContextPopup(TPoint MousePos);

  // --- screen readers
  // The name screen readers speak for the control; empty: the platform's own choice (its
  // caption, or the words written next to it). For controls that show a picture instead of
  // words, or whose neighbouring words do not say what they hold.
  const AnsiString& AccessibleName() const { return FAccessibleName; }
  void SetAccessibleName(const AnsiString& Value);
  virtual TAccessibleRole AccessibleKind() const { return arClient; }
  // For arSlider: the range, the value and the step of the arrow keys; false when the control
  // has none. A screen reader may set the value.
  virtual bool GetAccessibleValue(Integer& Min, Integer& Max, Integer& Value, Integer& Step) const;
  virtual void SetAccessibleValue(Integer Value);
  // For arPageTabList: the tabs shown, and a screen reader's choice of one of them.
  virtual std::vector<TAccessibleTab> AccessibleTabs() const { return {}; }
  virtual void SelectAccessibleTab(Integer Index);
  // Tells screen readers that the value, or the tabs and their selection, changed.
  void AccessibleValueChanged();
  void AccessibleTabsChanged();

  // Marks the control for a Paint at the next paint pass.
  virtual void Invalidate();
  // Invalidate and paint now.
  virtual void Repaint();
  // Runs a pending paint now.
  virtual void Update();
  void Refresh() { Repaint(); }

  bool MouseCapture() const;
  void SetMouseCapture(bool Value);

  TPoint ClientToScreen(const TPoint& P) const;
  TPoint ScreenToClient(const TPoint& P) const;
  void BringToFront();
  void SendToBack();

  // The form the control sits on, or nil.
  TCustomForm* GetParentForm() const;

  // Runs the control's message handler on the message at once, in the calling thread, and
  // returns its result; an exception of the handler reaches the caller.
  NativeInt Perform(Cardinal Msg, NativeUInt WParam = 0, NativeInt LParam = 0);

  TControlStyle ControlStyle = csCaptureMouse | csClickEvents | csDoubleClicks;

  // The Qt widget behind the control (platform code only; forward-declared here).
  QWidget* Widget() const { return FWidget; }
  // The Qt widget whose origin is the client area's and that holds the child controls: the
  // control's own widget, except for a form, whose menu bar sits above it (platform code only).
  virtual QWidget* ClientWidget() const { return FWidget; }

  void Loaded() override;
  // The name is also the Qt object name of the control's widget (what accessibility tools see).
  void SetName(const AnsiString& NewName) override;

  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseUp;
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  TNotifyEvent OnResize;
  TMouseWheelEvent OnMouseWheel;
  TMouseWheelUpDownEvent OnMouseWheelDown;
  TMouseWheelUpDownEvent OnMouseWheelUp;

  // Input as the platform delivers it; each runs the matching virtual method.
  void DoMouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y);
  void DoMouseMove(TShiftState Shift, Integer X, Integer Y);
  void DoMouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y);
  void DoDblClick(TMouseButton Button, TShiftState Shift, Integer X, Integer Y);
  bool DoMouseWheel(TShiftState Shift, Integer WheelDelta, TPoint MousePos);

  virtual void Click();
  virtual void DblClick();

  // --- dragging and docking (drag_dock.cpp)
  TDragMode DragMode() const { return FDragMode; }
  void SetDragMode(TDragMode Value) { FDragMode = Value; }
  TDragKind DragKind() const { return FDragKind; }
  void SetDragKind(TDragKind Value) { FDragKind = Value; }
  TCursor DragCursor() const { return FDragCursor; }
  void SetDragCursor(TCursor Value) { FDragCursor = Value; }
  // Starts dragging this control (docking it when DragKind is dkDock). Not Immediate: the drag
  // starts once the pointer, with the button held, has moved more than Threshold pixels (-1:
  // the platform's default); released earlier, nothing was dragged. Ignored while a drag runs.
  void BeginDrag(bool Immediate, Integer Threshold = -1);
  // Ends the running drag of this control, dropping it where the pointer is when Drop is set.
  void EndDrag(bool Drop);
  bool Dragging() const;
  // The dock site the control is docked in (nil when it is not docked).
  TWinControl* HostDockSite() const { return FHostDockSite; }
  // Docked in nothing, or in the floating window made for it.
  bool Floating() const;
  // Docks the control into NewDockSite as a drop there would; false when its present dock site
  // refuses to let it go.
  bool ManualDock(TWinControl* NewDockSite, TControl* DropControl = nullptr, TAlign ControlSide = alNone);
  // Takes the control out of its dock site into a window of its own at ScreenPos; false when
  // the dock site refuses to let it go.
  bool ManualFloat(const TRect& ScreenPos);
  // A drag over the control: Accept starts false and an OnDragOver handler starts it true.
  virtual void DragOver(TObject* Source, Integer X, Integer Y, TDragState State, bool& Accept);
  // A drop on the control (after DragOver accepted): fires OnDragDrop.
  virtual void DragDrop(TObject* Source, Integer X, Integer Y);
  // The drag of this control started or ended (Target: where it was dropped, nil when nowhere).
  virtual void DoStartDrag(TDragObject*& DragObject);
  virtual void DoEndDrag(TObject* Target, Integer X, Integer Y);
  virtual void DoStartDock(TDragDockObject*& DragObject);
  virtual void DoEndDock(TObject* Target, Integer X, Integer Y);
  // The control moves into NewDockSite (nil: it floats), whose add-dock-client step gives it
  // its parent; ARect is the dock rectangle in screen coordinates.
  virtual void Dock(TWinControl* NewDockSite, const TRect& ARect);

  TDragOverEvent OnDragOver;
  TDragDropEvent OnDragDrop;
  TStartDragEvent OnStartDrag;
  TEndDragEvent OnEndDrag;
  TStartDockEvent OnStartDock;
  TEndDragEvent OnEndDock;

 protected:
  // For a control whose widget is made by the derived class (standard controls, forms).
  TControl(TComponent* AOwner, QWidget* AWidget);

  virtual void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y);
  virtual void MouseMove(TShiftState Shift, Integer X, Integer Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y);
  virtual bool MouseWheel(TShiftState Shift, Integer WheelDelta, TPoint MousePos);

  // The handler of the messages sent to the control (SendMessage, Perform). The default knows
  // none and leaves the result 0; an override handles its own and calls the inherited one for
  // the rest.
  virtual void WndProc(TMessage& Message);

  // Notifications after a property changed (the framework's CM_ messages).
  virtual void EnabledChanged();
  virtual void VisibleChanged();
  virtual void FontChanged();
  virtual void ColorChanged();
  virtual void TextChanged();
  virtual void MouseEnter();
  virtual void MouseLeave();
  // After the control's size changed; fires OnResize.
  virtual void Resize();
  // Fires OnContextPopup; override to answer the request otherwise, calling the inherited one.
  virtual void ContextPopup(TPoint MousePos, bool& Handled);
  void Notification(TComponent* AComponent, TOperation Operation) override;

  // Colour and font as inherited from the parent when ParentColor / ParentFont are set. The
  // parent calls ParentColorChanged on every change of its colour and when it becomes the
  // parent, whatever ParentColor says (the framework's CM_PARENTCOLORCHANGED); a control that
  // follows its parent's colour in other ways overrides it, calling the inherited version.
  virtual void ParentColorChanged();
  void ParentFontChanged();

 private:
  friend class TWinControl;
  friend class TCustomForm;
  friend class clvqt::ControlBridge;
  void AttachWidget(QWidget* AWidget);
  void WidgetResized();
  void WidgetGone();
  void ApplyCursor();
  // Notes where the control sits in its parent, for following the parent's resizes.
  void UpdateAnchorRules();
  // Moves or stretches the control after its parent's client area became ParentSize.
  void ApplyAnchors(const TPoint& ParentSize);
  TRect ParentClientRect() const;

  QWidget* FWidget = nullptr;
  TWinControl* FParent = nullptr;
  bool FVisible = true;
  bool FEnabled = true;
  TColor FColor = clWindow;
  bool FParentColor = true;
  TFont* FFont = nullptr;
  bool FParentFont = true;
  AnsiString FCaption;
  AnsiString FHint;
  bool FShowHint = false;
  bool FParentShowHint = true;
  TCursor FCursor = crDefault;
  TAlign FAlign = alNone;
  bool FPressed = false;
  bool FInFontChange = false;
  TDragMode FDragMode = dmManual;
  TDragKind FDragKind = dkDrag;
  TCursor FDragCursor = crDrag;
  TWinControl* FHostDockSite = nullptr;
  TAnchors FAnchors = akLeft | akTop;
  // Per direction: the right or bottom distance, the stretched size or the centre, as
  // UpdateAnchorRules saw it, and the parent's client size at that moment.
  TPoint FAnchorRules;
  TPoint FOriginalParentSize;
  bool FAnchoring = false;
  TSizeConstraints* FConstraints = nullptr;
  TPopupMenu* FPopupMenu = nullptr;
  AnsiString FAccessibleName;
  friend class TDragDockProtocol;
  friend class TDragDockRunner;
};

// A windowed control: it can hold child controls, take the focus and receive keys.
class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;

  Integer ControlCount() const { return static_cast<Integer>(FControls.size()); }
  TControl* Controls(Integer Index) const;

  bool TabStop() const { return FTabStop; }
  void SetTabStop(bool Value);
  Integer TabOrder() const;
  void SetTabOrder(Integer Value);

  // Raises EInvalidOperation "Cannot focus a disabled or invisible window" when the control
  // cannot take the focus.
  virtual void SetFocus();
  bool Focused() const;
  bool CanFocus() const;

  bool DoubleBuffered() const { return FDoubleBuffered; }
  void SetDoubleBuffered(bool Value) { FDoubleBuffered = Value; }

  // Lays the aligned child controls out in the client area: top, bottom, left, right, then
  // client, each group in its current order.
  virtual void AlignControls();

  // Makes AControl, one of the children, seen: a container that shows one child at a time
  // brings it forward; the default asks the parent to show this control in turn.
  virtual void ShowControl(TControl* AControl);

  // The control's window resources. A control has them from its creation; DestroyHandle gives
  // back what the window system and the painted surfaces hold for it and its windowed children
  // (the control and its children stay, hidden or not), and HandleNeeded makes them again,
  // which showing the control does by itself.
  bool HandleAllocated() const { return FHandleAllocated; }
  virtual void DestroyHandle();
  void HandleNeeded();

  // --- docking (drag_dock.cpp): a dock site takes controls dragged onto it as docked clients.
  bool DockSite() const { return FDockSite; }
  void SetDockSite(bool Value) { FDockSite = Value; }
  Integer DockClientCount() const { return Integer(FDockClients.size()); }
  TControl* DockClients(Integer Index) const;
  // Whether Client may dock here, and the screen area in which the pointer counts as over this
  // site (the control's own by default); fires OnGetSiteInfo.
  virtual void GetSiteInfo(TControl* Client, TRect& InfluenceRect, TPoint MousePos, bool& CanDock);
  // A dock drag over the site: places Source's dock rectangle, then DoDockOver.
  virtual void DockOver(TDragDockObject* Source, Integer X, Integer Y, TDragState State, bool& Accept);
  // A dock drop: DockClient, then OnDockDrop.
  virtual void DockDrop(TDragDockObject* Source, Integer X, Integer Y);
  // Messages to a dock site. DockClient (CM_DOCKCLIENT) docks the dragged control here.
  // UndockClient (CM_UNDOCKCLIENT) tells the site that Client is about to leave for NewTarget
  // (nil: floating). DockNotification (CM_DOCKNOTIFICATION) tells it that a docked client's
  // caption (Visible false) or visibility (Visible true) changed.
  virtual void DockClient(TDragDockObject* Source, TPoint MousePos);
  virtual void UndockClient(TWinControl* NewTarget, TControl* Client);
  virtual void DockNotification(TControl* Client, bool VisibilityChanged);
  // The add- and remove-dock-client steps: the first parents Client to this site (inside
  // ARect, in screen coordinates); the second runs once Client has left.
  virtual void DoAddDockClient(TControl* Client, const TRect& ARect);
  virtual void DoRemoveDockClient(TControl* Client);
  // Fires OnUnDock and, when allowed, UndockClient; false when refused.
  bool DoUnDock(TWinControl* NewTarget, TControl* Client);

  TDockOverEvent OnDockOver;
  TDockDropEvent OnDockDrop;
  TUnDockEvent OnUnDock;
  TGetSiteInfoEvent OnGetSiteInfo;

  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TKeyEvent OnKeyDown;
  TKeyPressEvent OnKeyPress;
  TKeyEvent OnKeyUp;
  // Files dropped on the control once DragAcceptFiles(control, true) was called, unless the
  // application's OnMessage hook handled them.
  TDropFilesEvent OnDropFiles;

  // Key input as the platform delivers it (after the form's key preview). Each returns false
  // when a handler set the key to 0.
  bool DoKeyDown(Word& Key, TShiftState Shift);
  bool DoKeyPress(char& Key);
  bool DoKeyUp(Word& Key, TShiftState Shift);
  // The control gained or lost the focus within its form (fires OnEnter / OnExit); override to
  // react to focus changes, calling the inherited version.
  virtual void DoEnter();
  virtual void DoExit();

  // The special keys this control keeps for itself (see TDlgCode).
  virtual TDlgCode GetDlgCode() const { return 0; }
  // Asked for each navigation key (Tab, Enter, Esc, an arrow) that reaches the focused control,
  // before its form may use it: true keeps that key for the control, which then receives it as
  // an ordinary key-down (and a Tab neither moves the focus nor reaches the form).
  virtual bool WantSpecialKey(Word CharCode, TShiftState Shift) {
    (void)CharCode;
    (void)Shift;
    return false;
  }

  // A navigation key (Tab in any combination, Enter, Esc) that the focused control did not keep
  // for itself reaches its form before anything else sees it, and the form offers it to every
  // control it holds, depth first, until one takes it by setting Key to 0. An override that does
  // not use the key calls the inherited version, which passes it on to the children.
  virtual void DialogKey(Word& Key, TShiftState Shift);
  // The same road for an accelerator character (a letter or digit typed with Alt): a control
  // whose caption marks that character takes it by setting Key to 0.
  virtual void DialogChar(char& Key, TShiftState Shift);

 protected:
  TWinControl(TComponent* AOwner, QWidget* AWidget);

  virtual void KeyDown(Word& Key, TShiftState Shift);
  virtual void KeyPress(char& Key);
  virtual void KeyUp(Word& Key, TShiftState Shift);

  void VisibleChanged() override;
  void FontChanged() override;
  void ColorChanged() override;
  void Resize() override;

 private:
  friend class TControl;
  friend class TDragDockProtocol;
  friend class TDragDockRunner;
  void InsertControl(TControl* AControl);
  void RemoveControl(TControl* AControl);

  std::vector<TControl*> FControls;
  std::vector<TControl*> FDockClients;
  bool FDockSite = false;
  bool FHandleAllocated = true;
  bool FTabStop = false;
  bool FDoubleBuffered = false;
  bool FAligning = false;
};

// A windowed control that paints itself through Paint and Canvas, with optional scroll bars
// whose use is reported through Scroll.
class TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent* AOwner);
  ~TCustomControl() override;

  // Draws into the control's client-sized surface; valid at any time.
  TCanvas* Canvas() const;

  void Invalidate() override;
  void Update() override;

  // Scroll bars in the desktop's terms (TScrollInfo). A shown bar takes its width from the
  // client area.
  void SetScrollInfo(TScrollBarKind Kind, const TScrollInfo& Info);
  TScrollInfo GetScrollInfo(TScrollBarKind Kind) const;
  void SetScrollPos(TScrollBarKind Kind, Integer Pos);
  Integer GetScrollPos(TScrollBarKind Kind) const;
  void ShowScrollBar(TScrollBarKind Kind, bool Show);
  bool ScrollBarVisible(TScrollBarKind Kind) const;
  void EnableScrollBar(TScrollBarKind Kind, bool Enable);

  TRect ClientRect() const override;
  void DestroyHandle() override;

  // The paint pass: Paint when invalidated, then the surface to the screen.
  void PaintNow();

 protected:
  virtual void Paint();
  // A scroll bar was used; Pos is the position the bar reports (meaningful for scTrack and
  // scPosition).
  virtual void Scroll(TScrollBarKind Kind, TScrollCode Code, Integer Pos);
  void Resize() override;

 private:
  friend class clvqt::ControlBridge;
  void RenderSurface();
  clvqt::PaintSurface* FSurface = nullptr;
};

// A light control without the keyboard: painted through Paint and Canvas like TCustomControl.
class TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TComponent* AOwner);
  ~TGraphicControl() override;

  TCanvas* Canvas() const;
  void Invalidate() override;
  void Update() override;
  void PaintNow();

 protected:
  virtual void Paint();
  void Resize() override;

 private:
  void RenderSurface();
  clvqt::PaintSurface* FSurface = nullptr;
};

// A control that answers Enter or Esc for its form: the framework's default and cancel buttons
// (the standard TButton implements it). Enter clicks the focused such control, else the visible,
// enabled Default one; Esc clicks the visible, enabled Cancel one.
class TDialogKeyTarget {
 public:
  virtual ~TDialogKeyTarget() = default;
  virtual bool IsDefaultButton() const = 0;
  virtual bool IsCancelButton() const = 0;
  virtual void DialogKeyClick() = 0;
};

// Sends a message to Control's window and returns the handler's result once it has run. The
// message goes through the window system's delivery to the control's widget, on the main thread
// (from another thread the caller waits for it); an exception of the handler is shown as the
// event loop shows it. Nil: 0.
NativeInt SendMessage(TWinControl* Control, Cardinal Msg, NativeUInt WParam = 0, NativeInt LParam = 0);

// Makes the keyboard's Tab order within Root's window follow each parent's tab order, depth
// first (a form does this each time it is shown).
void RebuildTabChain(TWinControl* Root);

// The control behind a Qt widget (or its nearest ancestor in the same window that belongs to a
// control), or nil.
TControl* FindControl(QWidget* Widget);
