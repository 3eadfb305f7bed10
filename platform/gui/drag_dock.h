// Dragging controls onto each other and docking them, in the framework's terms.
//
// A drag belongs to one control (the source) and starts with its BeginDrag, or by itself on a
// left press when the control's DragMode is dmAutomatic. While it runs, the pointer's moves and
// the release of the button go to the drag, not to the controls' mouse events, whichever
// control receives them. Each move looks for the target under the pointer:
// - a plain drag (DragKind dkDrag) offers itself to the control under the pointer through
//   DragOver (dsDragEnter when the pointer arrives, dsDragMove while it stays, dsDragLeave when
//   it goes); releasing over a control that accepted calls its DragDrop;
// - a dock drag (dkDock) looks from the control under the pointer up through its parents for a
//   dock site (DockSite set) that GetSiteInfo lets the control dock in, and offers itself
//   through DockOver, which places the dock rectangle that is shown while dragging. Releasing
//   over a site that accepted calls its DockDrop, whose DockClient docks the control; released
//   anywhere else, the control floats in a window of its own at the dock rectangle.
// The source hears DoEndDrag (or DoEndDock) with the target, nil when nothing took the drop.
//
// Docking moves a control between parents: its old dock site is asked first (DoUnDock, which
// fires OnUnDock and sends UndockClient), the new site parents it (DoAddDockClient), and the
// old site's DoRemoveDockClient runs once the control has left. A control docked nowhere floats
// in a small tool window made for it (a form floats as its own window); that window goes away
// when the control docks again.
#pragma once

#include "platform/gui/controls.h"

class TDragObject : public TObject {
 public:
  explicit TDragObject(TControl* AControl) : FControl(AControl) {}
  // The dragged control.
  TControl* Control() const { return FControl; }
  // The pointer's position, in screen coordinates.
  TPoint DragPos() const { return FDragPos; }
  // The control under the pointer that the drag was offered to last (nil: none).
  TControl* DragTarget() const { return FDragTarget; }
  // The pointer's position in DragTarget's client coordinates.
  TPoint DragTargetPos() const { return FDragTargetPos; }
  bool Dropped() const { return FDropped; }

 private:
  friend class TDragDockRunner;
  friend class TDragDockProtocol;
  friend class TControl;
  TControl* FControl;
  TPoint FDragPos{0, 0};
  TControl* FDragTarget = nullptr;
  TPoint FDragTargetPos{0, 0};
  bool FDropped = false;
};

class TDragControlObject : public TDragObject {
 public:
  using TDragObject::TDragObject;
};

class TDragDockObject : public TDragObject {
 public:
  using TDragObject::TDragObject;
  // Where the control would go if dropped now, in screen coordinates (the site's DockOver
  // places it; away from any site it is the control's floating size at the pointer).
  TRect DockRect() const { return FDockRect; }
  void SetDockRect(const TRect& Value) { FDockRect = Value; }
  TAlign DropAlign() const { return FDropAlign; }
  TControl* DropOnControl() const { return FDropOnControl; }
  // Dropped away from any dock site: the control goes into a window of its own.
  bool Floating() const { return FFloating; }

 private:
  friend class TDragDockRunner;
  friend class TControl;
  TRect FDockRect{0, 0, 0, 0};
  TAlign FDropAlign = alNone;
  TControl* FDropOnControl = nullptr;
  bool FFloating = true;
};

// How far the pointer must move with the button held before a drag that was not started at
// once begins (the desktop's drag threshold, in pixels).
inline constexpr Integer DefaultDragThreshold = 5;

// The pointer's position in screen coordinates as the program's windows last saw it.
TPoint GetCursorPos();

// The drag that runs now (nil: none); its source is DragObject()->Control().
TDragObject* CurrentDragObject();

// The platform's side of the protocol: what the controls' mouse handling, destruction and
// property writers tell the running drag and the dock sites (platform code only).
class TDragDockProtocol {
 public:
  // Every mouse event a control receives, with the pointer in its client coordinates.
  static void NoteMouse(const TControl* Receiver, Integer X, Integer Y);
  // A left press on a control whose DragMode is dmAutomatic; true when a drag began.
  static bool AutomaticDrag(TControl* Receiver);
  // True when the running drag took the move (the control's own mouse events are skipped).
  static bool MouseMoved(TControl* Receiver, Integer X, Integer Y);
  // True when the release ended a running drag; a drag that never began is dropped quietly
  // and the release goes on to the control.
  static bool MouseReleased(TControl* Receiver, Integer X, Integer Y);
  static void ControlGone(TControl* Control);
  static void SiteGone(TWinControl* Site);
  // A docked control's caption or visibility changed.
  static void ClientChanged(TControl* Control, bool VisibilityChanged);
};
