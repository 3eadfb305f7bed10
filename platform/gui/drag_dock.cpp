#include "platform/gui/drag_dock.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include <QApplication>
#include <QPointer>
#include <QRubberBand>
#include <QWidget>

#include "platform/gui/application.h"
#include "platform/gui/forms.h"
#include "platform/gui/qt_cursors.h"

namespace {

TPoint gCursorPos{0, 0};

// The window a control that floats on its own is put in. It goes away once the control has
// left it (docked elsewhere, or destroyed).
class TFloatingDockForm : public TForm {
 public:
  explicit TFloatingDockForm(TComponent* AOwner) : TForm(AOwner) {
    SetBorderStyle(bsToolWindow);
    SetBorderIcons(biSystemMenu);
    SetDockSite(true);
  }
  void DoAddDockClient(TControl* Client, const TRect& ARect) override {
    Client->SetParent(this);
    Client->SetAlign(alClient);
    SetCaption(Client->Caption());
    if (ARect.Right > ARect.Left && ARect.Bottom > ARect.Top) {
      SetBounds(ARect.Left, ARect.Top, ARect.Width(), ARect.Height());
      SetClientWidth(ARect.Width());
      SetClientHeight(ARect.Height());
    }
    Client->FreeNotification(this);
  }
  void DoRemoveDockClient(TControl* Client) override {
    Client->RemoveFreeNotification(this);
    if (DockClientCount() == 0) Release();
  }

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override {
    TForm::Notification(AComponent, Operation);
    if (Operation == opRemove && dynamic_cast<TControl*>(AComponent) && !(ComponentState() & csDestroying)) Release();
  }
};

bool IsInside(const TControl* Control, const TControl* Container) {
  for (const TControl* c = Control; c; c = c->Parent())
    if (c == Container) return true;
  return false;
}

TRect ScreenRectOf(const TControl* C) {
  const TPoint p = C->Parent() ? C->Parent()->ClientToScreen(Point(C->Left(), C->Top())) : Point(C->Left(), C->Top());
  return Bounds(p.X, p.Y, C->Width(), C->Height());
}

// The control under a screen point, as the pointer would hit it: the enabled control whose
// widget lies deepest there, in the window that is on top (the active one when several overlap).
TControl* ControlAtScreen(const TPoint& P, const QWidget* Skip) {
  const QPoint at(P.X, P.Y);
  QWidget* window = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w == Skip || !w->isVisible() || w->testAttribute(Qt::WA_TransparentForMouseEvents)) continue;
    if (!w->frameGeometry().contains(at)) continue;
    if (!window || w->isActiveWindow()) window = w;
  }
  if (!window) return nullptr;
  QWidget* hit = window->childAt(window->mapFromGlobal(at));
  TControl* c = FindControl(hit ? hit : window);
  while (c && !c->Enabled()) c = c->Parent();
  return c;
}

struct DragRun {
  TControl* Source = nullptr;
  bool Dock = false;
  bool Started = false;
  TPoint StartPos{0, 0};
  Integer Threshold = DefaultDragThreshold;
  TDragObject* Object = nullptr;
  bool OwnsObject = false;
  // The control the drag was offered to last (for docking: the dock site), and its answer.
  TControl* Target = nullptr;
  bool Accepted = false;
  bool CursorSet = false;
  QPointer<QRubberBand> Band;

  ~DragRun() {
    if (Band) delete Band.data();
    if (CursorSet) QApplication::restoreOverrideCursor();
    if (OwnsObject) delete Object;
  }
};

DragRun* gRun = nullptr;

// What a drag's handlers get as Source: the dragged control for a plain drag, the drag object
// for docking or when OnStartDrag supplied an object of its own.
TObject* SourceArgument(const DragRun& R) {
  if (!R.Dock && dynamic_cast<TDragControlObject*>(R.Object)) return R.Object->Control();
  return R.Object;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The running drag

class TDragDockRunner {
 public:
  static void Start(DragRun& R) {
    R.Started = true;
    if (R.Dock) {
      TDragDockObject* obj = nullptr;
      R.Source->DoStartDock(obj);
      if (!gRun) return;
      if (!obj) {
        obj = new TDragDockObject(R.Source);
        R.OwnsObject = true;
      }
      obj->SetDockRect(ScreenRectOf(R.Source));
      R.Object = obj;
    } else {
      TDragObject* obj = nullptr;
      R.Source->DoStartDrag(obj);
      if (!gRun) return;
      if (!obj) {
        obj = new TDragControlObject(R.Source);
        R.OwnsObject = true;
      }
      R.Object = obj;
    }
    QApplication::setOverrideCursor(clvqt::CursorFor(R.Source->DragCursor()));
    R.CursorSet = true;
  }

  static TWinControl* DockSiteAt(DragRun& R, const TPoint& P) {
    TControl* c = ControlAtScreen(P, R.Band);
    for (TControl* k = c; k; k = k->Parent()) {
      auto* site = dynamic_cast<TWinControl*>(k);
      if (!site || !site->DockSite() || IsInside(site, R.Source)) continue;
      TRect influence = ScreenRectOf(site);
      bool canDock = true;
      site->GetSiteInfo(R.Source, influence, P, canDock);
      if (canDock && PtInRect(influence, P)) return site;
    }
    return nullptr;
  }

  static void ShowDockRect(DragRun& R, bool Show) {
    if (!Show) {
      if (R.Band) R.Band->hide();
      return;
    }
    if (!R.Band) {
      R.Band = new QRubberBand(QRubberBand::Rectangle);
      R.Band->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    const TRect d = static_cast<TDragDockObject*>(R.Object)->DockRect();
    R.Band->setGeometry(d.Left, d.Top, d.Width(), d.Height());
    R.Band->show();
  }

  // The pointer is at P (screen): the target under it hears of the drag.
  static void MoveTo(DragRun& R, const TPoint& P) {
    TDragObject* obj = R.Object;
    obj->FDragPos = P;
    TControl* target = nullptr;
    if (R.Dock)
      target = DockSiteAt(R, P);
    else
      target = ControlAtScreen(P, R.Band);
    TDragState state = dsDragMove;
    if (target != R.Target) {
      Leave(R);
      if (gRun != &R) return;
      R.Target = target;
      state = dsDragEnter;
    }
    R.Accepted = false;
    TPoint local{0, 0};
    if (target) {
      local = target->ScreenToClient(P);
      if (R.Dock) {
        R.Accepted = true;
        static_cast<TWinControl*>(target)->DockOver(static_cast<TDragDockObject*>(obj), local.X, local.Y, state,
                                                     R.Accepted);
      } else {
        target->DragOver(SourceArgument(R), local.X, local.Y, state, R.Accepted);
      }
      if (gRun != &R) return;
    }
    obj->FDragTarget = target;
    obj->FDragTargetPos = local;
    if (R.Dock) {
      auto* dock = static_cast<TDragDockObject*>(obj);
      dock->FFloating = !(target && R.Accepted);
      if (dock->FFloating) dock->SetDockRect(Bounds(P.X, P.Y, R.Source->Width(), R.Source->Height()));
      ShowDockRect(R, true);
    }
    if (R.CursorSet)
      QApplication::changeOverrideCursor(clvqt::CursorFor(target && R.Accepted ? R.Source->DragCursor() : crNoDrop));
  }

  // The pointer left the current target.
  static void Leave(DragRun& R) {
    TControl* old = R.Target;
    if (!old) return;
    R.Target = nullptr;
    bool ignored = false;
    const TPoint local = old->ScreenToClient(R.Object->FDragPos);
    if (R.Dock)
      static_cast<TWinControl*>(old)->DockOver(static_cast<TDragDockObject*>(R.Object), local.X, local.Y,
                                               dsDragLeave, ignored);
    else
      old->DragOver(SourceArgument(R), local.X, local.Y, dsDragLeave, ignored);
  }

  // Ends the drag; with Drop, the target that accepted takes it (a dock drag away from any site
  // floats). The run is detached first: what the handlers do cannot reach it any more.
  static void Finish(bool Drop) {
    std::unique_ptr<DragRun> R(gRun);
    gRun = nullptr;
    if (!R->Started) return;
    if (R->Band) R->Band->hide();
    TControl* source = R->Source;
    TDragObject* obj = R->Object;
    const TPoint at = obj->FDragPos;
    TControl* target = R->Target;
    const TPoint local = target ? target->ScreenToClient(at) : at;
    TObject* reached = nullptr;
    if (R->Dock) {
      auto* dock = static_cast<TDragDockObject*>(obj);
      auto* site = static_cast<TWinControl*>(target);
      if (Drop && site && R->Accepted) {
        if (!source->FHostDockSite || source->FHostDockSite == site || source->FHostDockSite->DoUnDock(site, source)) {
          obj->FDropped = true;
          site->DockDrop(dock, local.X, local.Y);
          reached = site;
        }
      } else {
        if (site) {
          bool ignored = false;
          site->DockOver(dock, local.X, local.Y, dsDragLeave, ignored);
        }
        if (Drop) {
          obj->FDropped = true;
          source->ManualFloat(dock->DockRect());
        }
      }
      source->DoEndDock(reached, local.X, local.Y);
    } else {
      if (Drop && target && R->Accepted) {
        obj->FDropped = true;
        target->DragDrop(SourceArgument(*R), local.X, local.Y);
        reached = target;
      } else if (target) {
        bool ignored = false;
        target->DragOver(SourceArgument(*R), local.X, local.Y, dsDragLeave, ignored);
      }
      source->DoEndDrag(reached, local.X, local.Y);
    }
  }
};

// ---------------------------------------------------------------------------------------------
// Protocol entries

void TDragDockProtocol::NoteMouse(const TControl* Receiver, Integer X, Integer Y) {
  if (Receiver && Receiver->ClientWidget()) gCursorPos = Receiver->ClientToScreen(Point(X, Y));
}

bool TDragDockProtocol::AutomaticDrag(TControl* Receiver) {
  if (gRun || Receiver->DragMode() != dmAutomatic) return false;
  Receiver->BeginDrag(true);
  return true;
}

bool TDragDockProtocol::MouseMoved(TControl*, Integer, Integer) {
  if (!gRun) return false;
  DragRun& R = *gRun;
  if (!R.Started) {
    if (std::abs(gCursorPos.X - R.StartPos.X) <= R.Threshold && std::abs(gCursorPos.Y - R.StartPos.Y) <= R.Threshold)
      return false;
    TDragDockRunner::Start(R);
    if (gRun != &R) return true;
  }
  try {
    TDragDockRunner::MoveTo(R, gCursorPos);
  } catch (...) {
    if (gRun == &R) {
      delete gRun;
      gRun = nullptr;
    }
    throw;
  }
  return true;
}

bool TDragDockProtocol::MouseReleased(TControl*, Integer, Integer) {
  if (!gRun) return false;
  if (!gRun->Started) {
    delete gRun;
    gRun = nullptr;
    return false;
  }
  DragRun* R = gRun;
  try {
    TDragDockRunner::MoveTo(*R, gCursorPos);
  } catch (...) {
    if (gRun == R) {
      delete gRun;
      gRun = nullptr;
    }
    throw;
  }
  if (gRun == R) TDragDockRunner::Finish(true);
  return true;
}

void TDragDockProtocol::ControlGone(TControl* Control) {
  if (gRun) {
    if (gRun->Source == Control) {
      delete gRun;
      gRun = nullptr;
    } else if (gRun->Target == Control) {
      gRun->Target = nullptr;
      gRun->Accepted = false;
      if (gRun->Object) gRun->Object->FDragTarget = nullptr;
    }
  }
  if (TWinControl* host = Control->FHostDockSite) {
    auto& list = host->FDockClients;
    list.erase(std::remove(list.begin(), list.end(), Control), list.end());
    Control->FHostDockSite = nullptr;
  }
}

void TDragDockProtocol::SiteGone(TWinControl* Site) {
  for (TControl* c : Site->FDockClients) c->FHostDockSite = nullptr;
  Site->FDockClients.clear();
}

void TDragDockProtocol::ClientChanged(TControl* Control, bool VisibilityChanged) {
  if (TWinControl* host = Control->FHostDockSite) host->DockNotification(Control, VisibilityChanged);
}

TPoint GetCursorPos() { return gCursorPos; }

TDragObject* CurrentDragObject() { return gRun && gRun->Started ? gRun->Object : nullptr; }

// ---------------------------------------------------------------------------------------------
// TControl

void TControl::BeginDrag(bool Immediate, Integer Threshold) {
  if (gRun) return;
  auto* R = new DragRun;
  R->Source = this;
  R->Dock = FDragKind == dkDock;
  R->Threshold = Threshold < 0 ? DefaultDragThreshold : Threshold;
  R->StartPos = gCursorPos;
  gRun = R;
  if (!Immediate) return;
  try {
    TDragDockRunner::Start(*R);
    if (gRun == R) TDragDockRunner::MoveTo(*R, gCursorPos);
  } catch (...) {
    if (gRun == R) {
      delete gRun;
      gRun = nullptr;
    }
    throw;
  }
}

void TControl::EndDrag(bool Drop) {
  if (!gRun || gRun->Source != this) return;
  if (!gRun->Started) {
    delete gRun;
    gRun = nullptr;
    return;
  }
  TDragDockRunner::Finish(Drop);
}

bool TControl::Dragging() const { return gRun && gRun->Source == this; }

bool TControl::Floating() const {
  if (dynamic_cast<TFloatingDockForm*>(FHostDockSite)) return true;
  return !FHostDockSite && (!FParent || dynamic_cast<const TCustomForm*>(this));
}

void TControl::DragOver(TObject* Source, Integer X, Integer Y, TDragState State, bool& Accept) {
  Accept = false;
  if (OnDragOver) {
    Accept = true;
    OnDragOver(this, Source, X, Y, State, Accept);
  }
}

void TControl::DragDrop(TObject* Source, Integer X, Integer Y) {
  if (OnDragDrop) OnDragDrop(this, Source, X, Y);
}

void TControl::DoStartDrag(TDragObject*& DragObject) {
  if (OnStartDrag) OnStartDrag(this, DragObject);
}

void TControl::DoEndDrag(TObject* Target, Integer X, Integer Y) {
  if (OnEndDrag) OnEndDrag(this, Target, X, Y);
}

void TControl::DoStartDock(TDragDockObject*& DragObject) {
  if (OnStartDock) OnStartDock(this, DragObject);
}

void TControl::DoEndDock(TObject* Target, Integer X, Integer Y) {
  if (OnEndDock) OnEndDock(this, Target, X, Y);
}

bool TControl::ManualDock(TWinControl* NewDockSite, TControl* DropControl, TAlign ControlSide) {
  if (!NewDockSite) return ManualFloat(ScreenRectOf(this));
  if (FHostDockSite && FHostDockSite != NewDockSite && !FHostDockSite->DoUnDock(NewDockSite, this)) return false;
  TDragDockObject obj(this);
  obj.FDropAlign = ControlSide;
  obj.FDropOnControl = DropControl;
  obj.FFloating = false;
  obj.FDropped = true;
  const TRect site = ScreenRectOf(NewDockSite);
  obj.SetDockRect(site);
  obj.FDragPos = Point(site.Left + site.Width() / 2, site.Top + site.Height() / 2);
  NewDockSite->DockClient(&obj, NewDockSite->ScreenToClient(obj.FDragPos));
  return true;
}

bool TControl::ManualFloat(const TRect& ScreenPos) {
  if (FHostDockSite && !dynamic_cast<TFloatingDockForm*>(FHostDockSite) && !FHostDockSite->DoUnDock(nullptr, this))
    return false;
  Dock(nullptr, ScreenPos);
  return true;
}

void TControl::Dock(TWinControl* NewDockSite, const TRect& ARect) {
  TWinControl* old = FHostDockSite;
  if (old && old == NewDockSite) return;
  if (old) {
    auto& list = old->FDockClients;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    FHostDockSite = nullptr;
  }
  try {
    if (NewDockSite) {
      NewDockSite->DoAddDockClient(this, ARect);
      FHostDockSite = NewDockSite;
      NewDockSite->FDockClients.push_back(this);
    } else if (auto* form = dynamic_cast<TCustomForm*>(this)) {
      SetParent(nullptr);
      if (ARect.Right > ARect.Left && ARect.Bottom > ARect.Top)
        form->SetBounds(ARect.Left, ARect.Top, ARect.Width(), ARect.Height());
      form->Show();
    } else if (old && dynamic_cast<TFloatingDockForm*>(old)) {
      // Already floating in a window of its own: the window moves.
      FHostDockSite = old;
      old->FDockClients.push_back(this);
      if (ARect.Right > ARect.Left && ARect.Bottom > ARect.Top) old->SetBounds(ARect.Left, ARect.Top, old->Width(), old->Height());
      return;
    } else {
      auto* host = new TFloatingDockForm(Application);
      host->DoAddDockClient(this, ARect);
      FHostDockSite = host;
      host->FDockClients.push_back(this);
      SetVisible(true);
      host->Show();
    }
  } catch (...) {
    if (old) old->DoRemoveDockClient(this);
    throw;
  }
  if (old) old->DoRemoveDockClient(this);
}

// ---------------------------------------------------------------------------------------------
// TWinControl as a dock site

TControl* TWinControl::DockClients(Integer Index) const {
  if (Index < 0 || Index >= DockClientCount())
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FDockClients[std::size_t(Index)];
}

void TWinControl::GetSiteInfo(TControl* Client, TRect& InfluenceRect, TPoint MousePos, bool& CanDock) {
  if (OnGetSiteInfo) OnGetSiteInfo(this, Client, InfluenceRect, MousePos, CanDock);
}

void TWinControl::DockOver(TDragDockObject* Source, Integer X, Integer Y, TDragState State, bool& Accept) {
  Source->SetDockRect(ScreenRectOf(this));
  if (OnDockOver) OnDockOver(this, Source, X, Y, State, Accept);
}

void TWinControl::DockDrop(TDragDockObject* Source, Integer X, Integer Y) {
  DockClient(Source, Point(X, Y));
  if (OnDockDrop) OnDockDrop(this, Source, X, Y);
}

void TWinControl::DockClient(TDragDockObject* Source, TPoint) { Source->Control()->Dock(this, Source->DockRect()); }

void TWinControl::UndockClient(TWinControl*, TControl*) {}

void TWinControl::DockNotification(TControl*, bool) {}

void TWinControl::DoAddDockClient(TControl* Client, const TRect& ARect) {
  Client->SetParent(this);
  if (ARect.Right > ARect.Left && ARect.Bottom > ARect.Top) {
    const TPoint p = ScreenToClient(Point(ARect.Left, ARect.Top));
    Client->SetBounds(p.X, p.Y, ARect.Width(), ARect.Height());
  }
}

void TWinControl::DoRemoveDockClient(TControl*) {}

bool TWinControl::DoUnDock(TWinControl* NewTarget, TControl* Client) {
  bool allow = true;
  if (OnUnDock) OnUnDock(this, Client, NewTarget, allow);
  if (allow) UndockClient(NewTarget, Client);
  return allow;
}
