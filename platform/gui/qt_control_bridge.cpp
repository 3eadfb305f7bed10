#include "platform/gui/qt_control_bridge.h"

#include <QAbstractSlider>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QUrl>
#include <QVariant>
#include <QWheelEvent>
#include <QWidget>

#include "platform/gui/application.h"
#include "platform/gui/dragdrop.h"
#include "platform/gui/forms.h"
#include "platform/gui/qt_file_names.h"

namespace clvqt {

const char* const ControlBridge::PropertyName = "clvControl";

void ControlBridge::Bind(QWidget* Widget, TControl* Control) {
  Widget->setProperty(PropertyName, QVariant::fromValue<void*>(Control));
  // The framework reports every mouse move over a control, not only while a button is held.
  Widget->setMouseTracking(true);
  // The control is looked up when the widget goes, not captured: a control that deletes its own
  // widget unties it first. Other parties' links to destroyed (Qt's accessibility cache among
  // them) must stay, so nobody disconnects them wholesale.
  QObject::connect(Widget, &QObject::destroyed, [Widget] {
    if (auto* C = static_cast<TControl*>(Widget->property(PropertyName).value<void*>())) C->WidgetGone();
  });
}

void ControlBridge::PaintCustom(TCustomControl* Control) { Control->PaintNow(); }
void ControlBridge::PaintGraphic(TGraphicControl* Control) { Control->PaintNow(); }

void ControlBridge::Scroll(TCustomControl* Control, TScrollBarKind Kind, TScrollCode Code, int Pos) {
  GuardedCall(Control, [&] { Control->Scroll(Kind, Code, Pos); });
}

void ControlBridge::Resized(TControl* Control) {
  GuardedCall(Control, [&] { Control->WidgetResized(); });
}

void ControlBridge::WidgetGone(TControl* Control) { Control->WidgetGone(); }

void ControlBridge::MouseEnter(TControl* Control) {
  GuardedCall(Control, [&] { Control->MouseEnter(); });
}

void ControlBridge::MouseLeave(TControl* Control) {
  GuardedCall(Control, [&] { Control->MouseLeave(); });
}

void ControlBridge::WindowMessage(TControl* Control, TMessage& Message) {
  GuardedCall(Control, [&] { Control->WndProc(Message); });
}

QEvent::Type WindowMessageEvent::EventType() {
  static const auto Type = QEvent::Type(QEvent::registerEventType());
  return Type;
}

TShiftState ShiftFromModifiers(Qt::KeyboardModifiers Modifiers, Qt::MouseButtons Buttons) {
  TShiftState S = 0;
  if (Modifiers & Qt::ShiftModifier) S |= ssShift;
  if (Modifiers & Qt::ControlModifier) S |= ssCtrl;
  if (Modifiers & Qt::AltModifier) S |= ssAlt;
  if (Buttons & Qt::LeftButton) S |= ssLeft;
  if (Buttons & Qt::RightButton) S |= ssRight;
  if (Buttons & Qt::MiddleButton) S |= ssMiddle;
  return S;
}

namespace {

struct KeyPair {
  int Qt;
  Word Vk;
};

const KeyPair kKeys[] = {
    {Qt::Key_Backspace, VK_BACK},   {Qt::Key_Tab, VK_TAB},         {Qt::Key_Backtab, VK_TAB},
    {Qt::Key_Return, VK_RETURN},    {Qt::Key_Enter, VK_RETURN},    {Qt::Key_Shift, VK_SHIFT},
    {Qt::Key_Control, VK_CONTROL},  {Qt::Key_Alt, VK_MENU},        {Qt::Key_Pause, VK_PAUSE},
    {Qt::Key_CapsLock, VK_CAPITAL}, {Qt::Key_Escape, VK_ESCAPE},   {Qt::Key_Space, VK_SPACE},
    {Qt::Key_PageUp, VK_PRIOR},     {Qt::Key_PageDown, VK_NEXT},   {Qt::Key_End, VK_END},
    {Qt::Key_Home, VK_HOME},        {Qt::Key_Left, VK_LEFT},       {Qt::Key_Up, VK_UP},
    {Qt::Key_Right, VK_RIGHT},      {Qt::Key_Down, VK_DOWN},       {Qt::Key_Select, VK_SELECT},
    {Qt::Key_Print, VK_SNAPSHOT},   {Qt::Key_Execute, VK_EXECUTE}, {Qt::Key_Insert, VK_INSERT},
    {Qt::Key_Delete, VK_DELETE},    {Qt::Key_Help, VK_HELP},       {Qt::Key_Meta, VK_LWIN},
    {Qt::Key_Menu, VK_APPS},        {Qt::Key_Asterisk, VK_MULTIPLY}, {Qt::Key_Plus, VK_ADD},
    {Qt::Key_Minus, VK_SUBTRACT},   {Qt::Key_Slash, VK_DIVIDE},    {Qt::Key_NumLock, VK_NUMLOCK},
    {Qt::Key_ScrollLock, VK_SCROLL}, {Qt::Key_Clear, VK_CLEAR},
};

}  // namespace

Word VirtualKeyFromQt(int QtKey) {
  if (QtKey >= Qt::Key_0 && QtKey <= Qt::Key_9) return Word('0' + (QtKey - Qt::Key_0));
  if (QtKey >= Qt::Key_A && QtKey <= Qt::Key_Z) return Word('A' + (QtKey - Qt::Key_A));
  if (QtKey >= Qt::Key_F1 && QtKey <= Qt::Key_F24) return Word(VK_F1 + (QtKey - Qt::Key_F1));
  for (const KeyPair& P : kKeys)
    if (P.Qt == QtKey) return P.Vk;
  return 0;
}

int QtKeyFromVirtualKey(Word Key) {
  if (Key >= '0' && Key <= '9') return Qt::Key_0 + (Key - '0');
  if (Key >= 'A' && Key <= 'Z') return Qt::Key_A + (Key - 'A');
  if (Key >= VK_F1 && Key <= VK_F1 + 23) return Qt::Key_F1 + (Key - VK_F1);
  for (const KeyPair& P : kKeys)
    if (P.Vk == Key) return P.Qt;
  return Qt::Key_unknown;
}

namespace {

// An event we construct and hand to Qt ourselves; the hook lets it through untouched.
QEvent* g_Resent = nullptr;

TWinControl* WinControlFor(QObject* Receiver) {
  auto* W = qobject_cast<QWidget*>(Receiver);
  if (!W) return nullptr;
  for (TControl* C = FindControl(W); C; C = C->Parent())
    if (auto* WC = dynamic_cast<TWinControl*>(C)) return WC;
  return nullptr;
}

TMouseButton ButtonFor(Qt::MouseButton B) {
  if (B == Qt::RightButton) return mbRight;
  if (B == Qt::MiddleButton) return mbMiddle;
  return mbLeft;
}

// The character a key event types, as the framework's 8-bit KeyPress sees it (0: none).
char CharFor(const QKeyEvent* E) {
  const QString T = E->text();
  if (T.size() == 1 && T[0].unicode() < 0x80) {
    char C = char(T[0].unicode());
    if (C == 0x7F) return 0;  // Delete types nothing
    return C;
  }
  if (!T.isEmpty()) return 0;
  switch (E->key()) {
    case Qt::Key_Backspace: return '\b';
    case Qt::Key_Return:
    case Qt::Key_Enter: return '\r';
    case Qt::Key_Escape: return '\x1b';
    case Qt::Key_Tab: return '\t';
    default: return 0;
  }
}

// The character an Alt+key combination names as an accelerator (0: none). Alt often leaves the
// event without text, so the key code speaks for letters and digits.
char AcceleratorFor(const QKeyEvent* E, Word Key) {
  const QString T = E->text();
  if (T.size() == 1 && T[0].unicode() > 0x20 && T[0].unicode() < 0x7F) return char(T[0].unicode());
  if (Key >= 'A' && Key <= 'Z') return char(Key + ('a' - 'A'));
  if (Key >= '0' && Key <= '9') return char(Key);
  return 0;
}

bool Deliver(QObject* Receiver, QEvent* Event, DeliverFn Base) {
  QEvent* Saved = g_Resent;
  g_Resent = Event;
  bool R = Base(Receiver, Event);
  g_Resent = Saved;
  return R;
}

bool HandleKeyPress(QObject* Receiver, QKeyEvent* E, DeliverFn Base, bool& Result) {
  TWinControl* Control = WinControlFor(Receiver);
  if (!Control) return false;
  TCustomForm* Form = GetParentForm(Control);
  if (auto* F = dynamic_cast<TCustomForm*>(Control)) Form = F;
  Word Key = VirtualKeyFromQt(E->key());
  TShiftState Shift = ShiftFromModifiers(E->modifiers(), Qt::NoButton);
  QPointer<QObject> Alive = Receiver;
  bool Consumed = false;

  GuardedCall(Control, [&] {
    const TDlgCode Wants = Control->GetDlgCode();
    const bool Navigation = Key == VK_TAB || Key == VK_RETURN || Key == VK_ESCAPE ||
                            Key == VK_LEFT || Key == VK_RIGHT || Key == VK_UP || Key == VK_DOWN;
    const bool Kept = Navigation && Control->WantSpecialKey(Key, Shift);
    if (!Alive) {
      Consumed = true;
      return;
    }
    const bool TabToForm = !Kept && Key == VK_TAB && !(Wants & (dlgcWantTab | dlgcWantAllKeys));
    const bool DialogKey =
        !Kept && (TabToForm || ((Key == VK_RETURN || Key == VK_ESCAPE) && !(Wants & dlgcWantAllKeys)));
    // A dialog key goes to the form before the key preview and the control's own key-down.
    if (DialogKey && Form) {
      Word K = Key;
      Form->DialogKey(K, Shift);
      if (K == 0 || !Alive) {
        Consumed = true;
        return;
      }
    }
    // A Tab nobody took moves the focus: that is Qt's own handling.
    if (TabToForm) return;
    // Keys without a virtual code (letters of other alphabets, dead keys) have no key-down in
    // the framework's terms; their text still goes through KeyPress or straight to Qt.
    bool DownKept = false;
    if (Key != 0) {
      Word K = Key;
      if (Form && Form != Control && Form->KeyPreview() && !Form->DoKeyDown(K, Shift)) {
        DownKept = true;
      } else if (Alive && !Control->DoKeyDown(K, Shift)) {
        DownKept = true;
      }
    }
    if (!Alive) {
      Consumed = true;
      return;
    }
    // Qt would move the focus with a Tab it sees: a kept Tab ends here, after its character.
    if (Kept && Key == VK_TAB) {
      char Tab = '\t';
      if (Form && Form != Control && Form->KeyPreview()) Form->DoKeyPress(Tab);
      if (Tab != 0 && Alive) Control->DoKeyPress(Tab);
      Consumed = true;
      return;
    }
    // Alt with a letter or digit is an accelerator once the key-down has been seen (the
    // framework's order: key-down, then the character). Qt's shortcuts (menus) had their turn
    // before the key reached us.
    if ((Shift & (ssAlt | ssCtrl)) == ssAlt && Form) {
      char Accel = AcceleratorFor(E, Key);
      if (Accel != 0) {
        Form->DialogChar(Accel, Shift);
        if (Accel == 0 || !Alive) {
          Consumed = true;
          return;
        }
      }
    }
    char Ch = CharFor(E);
    if (Ch == 0 || (Shift & (ssCtrl | ssAlt)) != 0) {
      Consumed = DownKept;
      return;
    }
    char Original = Ch;
    if (Form && Form != Control && Form->KeyPreview()) Form->DoKeyPress(Ch);
    if (Ch != 0 && Alive) Control->DoKeyPress(Ch);
    if (!Alive || Ch == 0) {
      Consumed = true;
      return;
    }
    if (Ch == Original && !DownKept) return;  // Qt handles the original event
    // Another character (or a key whose key-down was kept but whose character still types):
    // hand Qt a replacement.
    int QtKey = Qt::Key_unknown;
    if (Ch == '\b') QtKey = Qt::Key_Backspace;
    else if (Ch == '\r') QtKey = Qt::Key_Return;
    else if (Ch == '\x1b') QtKey = Qt::Key_Escape;
    else if (Ch >= '0' && Ch <= '9') QtKey = Qt::Key_0 + (Ch - '0');
    else if (Ch >= 'a' && Ch <= 'z') QtKey = Qt::Key_A + (Ch - 'a');
    else if (Ch >= 'A' && Ch <= 'Z') QtKey = Qt::Key_A + (Ch - 'A');
    else if (Ch == ' ') QtKey = Qt::Key_Space;
    QString Text = (Ch == '\b' || Ch == '\x1b') ? QString() : QString(QChar(Ch));
    QKeyEvent Replacement(QEvent::KeyPress, QtKey, E->modifiers(), Text, E->isAutoRepeat());
    Result = Deliver(Receiver, &Replacement, Base);
    Consumed = true;
  });
  if (Consumed) E->accept();
  return Consumed;
}

bool HandleKeyRelease(QObject* Receiver, QKeyEvent* E) {
  TWinControl* Control = WinControlFor(Receiver);
  if (!Control) return false;
  TCustomForm* Form = GetParentForm(Control);
  Word Key = VirtualKeyFromQt(E->key());
  if (Key == 0) return false;
  TShiftState Shift = ShiftFromModifiers(E->modifiers(), Qt::NoButton);
  bool Consumed = false;
  QPointer<QObject> Alive = Receiver;
  GuardedCall(Control, [&] {
    Word K = Key;
    if (Form && Form != Control && Form->KeyPreview() && !Form->DoKeyUp(K, Shift)) {
      Consumed = true;
      return;
    }
    if (Alive && !Control->DoKeyUp(K, Shift)) Consumed = true;
  });
  return Consumed;
}

// Mouse input goes to the control whose widget (or a part of it) received it.
bool HandleMouse(QObject* Receiver, QMouseEvent* E, DeliverFn Base, bool& Result) {
  auto* W = qobject_cast<QWidget*>(Receiver);
  if (!W) return false;
  TControl* Control = FindControl(W);
  if (!Control || !Control->Widget() || !Control->Enabled()) return false;
  // A press on a bar of a scrolling control is the bar's business.
  if (W != Control->Widget() && qobject_cast<QAbstractSlider*>(W) && dynamic_cast<TCustomControl*>(Control))
    return false;
  QPoint P = Control->ClientWidget()->mapFromGlobal(E->globalPosition().toPoint());
  TShiftState Shift = ShiftFromModifiers(E->modifiers(), E->buttons());
  QPointer<QWidget> Alive = Control->Widget();
  switch (E->type()) {
    case QEvent::MouseButtonPress:
      Result = Deliver(Receiver, E, Base);
      if (Alive) GuardedCall(Control, [&] { Control->DoMouseDown(ButtonFor(E->button()), Shift, P.x(), P.y()); });
      return true;
    case QEvent::MouseButtonDblClick:
      Result = Deliver(Receiver, E, Base);
      if (Alive) GuardedCall(Control, [&] { Control->DoDblClick(ButtonFor(E->button()), Shift | ssDouble, P.x(), P.y()); });
      return true;
    case QEvent::MouseButtonRelease:
      Result = Deliver(Receiver, E, Base);
      if (Alive) GuardedCall(Control, [&] { Control->DoMouseUp(ButtonFor(E->button()), Shift, P.x(), P.y()); });
      // As on the framework's desktop, the context menu follows the right button's release.
      if (Alive && E->button() == Qt::RightButton)
        GuardedCall(Control, [&] { Control->DoContextPopup(Point(P.x(), P.y())); });
      return true;
    case QEvent::MouseMove:
      Result = Deliver(Receiver, E, Base);
      if (Alive) GuardedCall(Control, [&] { Control->DoMouseMove(Shift, P.x(), P.y()); });
      return true;
    default: return false;
  }
}

// True when Control or a parent of it answers context-menu requests itself.
bool AnswersContextMenus(const TControl* Control) {
  for (const TControl* C = Control; C; C = C->Parent())
    if (C->PopupMenu() || C->OnContextPopup) return true;
  return false;
}

// Qt's own context-menu request (on the press, or from the menu key). A pointer's request is
// answered at the release (HandleMouse); the menu key's here. Controls that answer none leave
// it to Qt (an edit's own menu).
bool HandleContextMenu(QObject* Receiver, QContextMenuEvent* E) {
  auto* W = qobject_cast<QWidget*>(Receiver);
  TControl* Control = W ? FindControl(W) : nullptr;
  if (!Control || !Control->Enabled() || !AnswersContextMenus(Control)) return false;
  E->accept();
  if (E->reason() == QContextMenuEvent::Mouse) return true;
  GuardedCall(Control, [&] { Control->DoContextPopup(Point(-1, -1)); });
  return true;
}

bool HandleWheel(QObject* Receiver, QWheelEvent* E) {
  auto* W = qobject_cast<QWidget*>(Receiver);
  TControl* Control = W ? FindControl(W) : nullptr;
  if (!Control || !Control->Enabled()) return false;
  int Delta = E->angleDelta().y();
  if (Delta == 0) return false;
  TShiftState Shift = ShiftFromModifiers(E->modifiers(), E->buttons());
  QPoint G = E->globalPosition().toPoint();
  bool Handled = false;
  GuardedCall(Control, [&] { Handled = Control->DoMouseWheel(Shift, Delta, Point(G.x(), G.y())); });
  return Handled;
}

std::vector<AnsiString> LocalFiles(const QMimeData* Data) {
  std::vector<AnsiString> Names;
  if (!Data || !Data->hasUrls()) return Names;
  for (const QUrl& U : Data->urls())
    if (U.isLocalFile()) Names.push_back(LocalFileOfUrl(U));
  return Names;
}

bool HandleDrag(QObject* Receiver, QEvent* Event) {
  TWinControl* Control = WinControlFor(Receiver);
  if (!Control || !AcceptsDroppedFiles(Control)) return false;
  if (Event->type() == QEvent::DragEnter || Event->type() == QEvent::DragMove) {
    auto* D = static_cast<QDropEvent*>(Event);
    if (!LocalFiles(D->mimeData()).empty()) {
      D->setDropAction(Qt::CopyAction);
      D->accept();
    } else {
      D->ignore();
    }
    return true;
  }
  if (Event->type() == QEvent::Drop) {
    auto* D = static_cast<QDropEvent*>(Event);
    std::vector<AnsiString> Names = LocalFiles(D->mimeData());
    if (Names.empty()) return false;
    D->setDropAction(Qt::CopyAction);
    D->accept();
    GuardedCall(Control, [&] { DeliverDroppedFiles(Control, Names); });
    return true;
  }
  return false;
}

}  // namespace

bool FrameworkNotify(QObject* Receiver, QEvent* Event, DeliverFn Base, bool& Result) {
  if (Event == g_Resent) return false;
  Result = false;
  // A sent message belongs to the control of the widget it was addressed to, not to a parent.
  if (Event->type() == WindowMessageEvent::EventType()) {
    auto* W = qobject_cast<QWidget*>(Receiver);
    const QVariant V = W ? W->property(ControlBridge::PropertyName) : QVariant();
    if (auto* C = V.isValid() ? static_cast<TControl*>(V.value<void*>()) : nullptr)
      ControlBridge::WindowMessage(C, static_cast<WindowMessageEvent*>(Event)->Message);
    Result = true;
    return true;
  }
  switch (Event->type()) {
    case QEvent::KeyPress:
      return HandleKeyPress(Receiver, static_cast<QKeyEvent*>(Event), Base, Result);
    case QEvent::KeyRelease:
      if (HandleKeyRelease(Receiver, static_cast<QKeyEvent*>(Event))) {
        Result = true;
        return true;
      }
      return false;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
      return HandleMouse(Receiver, static_cast<QMouseEvent*>(Event), Base, Result);
    case QEvent::ContextMenu:
      if (HandleContextMenu(Receiver, static_cast<QContextMenuEvent*>(Event))) {
        Result = true;
        return true;
      }
      return false;
    case QEvent::Wheel:
      if (HandleWheel(Receiver, static_cast<QWheelEvent*>(Event))) {
        Event->accept();
        Result = true;
        return true;
      }
      return false;
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      if (HandleDrag(Receiver, Event)) {
        Result = true;
        return true;
      }
      return false;
    case QEvent::Enter:
    case QEvent::Leave: {
      auto* W = qobject_cast<QWidget*>(Receiver);
      if (!W) return false;
      QVariant V = W->property(ControlBridge::PropertyName);
      if (!V.isValid()) return false;
      auto* C = static_cast<TControl*>(V.value<void*>());
      Result = Deliver(Receiver, Event, Base);
      if (Event->type() == QEvent::Enter)
        ControlBridge::MouseEnter(C);
      else
        ControlBridge::MouseLeave(C);
      return true;
    }
    case QEvent::Resize: {
      auto* W = qobject_cast<QWidget*>(Receiver);
      if (!W) return false;
      QVariant V = W->property(ControlBridge::PropertyName);
      if (!V.isValid()) return false;
      auto* C = static_cast<TControl*>(V.value<void*>());
      QPointer<QWidget> Alive = W;
      Result = Deliver(Receiver, Event, Base);
      if (Alive) ControlBridge::Resized(C);
      return true;
    }
    default: return false;
  }
}

void InstallFocusTracking() {
  QObject::connect(qApp, &QApplication::focusChanged, qApp, [](QWidget*, QWidget* Now) {
    if (!Now) return;
    TWinControl* Control = WinControlFor(Now);
    if (!Control) return;
    TCustomForm* Form = GetParentForm(Control);
    if (!Form || Form == Control) return;
    GuardedCall(Control, [&] { Form->SetActiveControl(Control); });
  });
}

}  // namespace clvqt
