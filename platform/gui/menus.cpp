#include "platform/gui/menus.h"

#include <algorithm>
#include <cctype>

#include <QAction>
#include <QEvent>
#include <QIcon>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QSignalBlocker>

#include "platform/gui/application.h"
#include "platform/gui/forms.h"
#include "platform/gui/imglist.h"
#include "platform/gui/imglist_images.h"
#include "platform/gui/qt_control_bridge.h"
#include "platform/gui/qt_form_widget.h"
#include "platform/gui/qt_strings.h"

namespace {

// The desktop's English key names for shortcut texts; letters and digits name themselves.
struct KeyName {
  Word Key;
  const char* Name;
};

constexpr KeyName KeyNames[] = {
    {VK_BACK, "BkSp"},   {VK_TAB, "Tab"},    {VK_RETURN, "Enter"}, {VK_ESCAPE, "Esc"},
    {VK_SPACE, "Space"}, {VK_PRIOR, "PgUp"}, {VK_NEXT, "PgDn"},    {VK_END, "End"},
    {VK_HOME, "Home"},   {VK_LEFT, "Left"},  {VK_UP, "Up"},        {VK_RIGHT, "Right"},
    {VK_DOWN, "Down"},   {VK_INSERT, "Ins"}, {VK_DELETE, "Del"},
};

AnsiString KeyToText(Word Key) {
  if ((Key >= '0' && Key <= '9') || (Key >= 'A' && Key <= 'Z')) return AnsiString(1, static_cast<char>(Key));
  if (Key >= VK_F1 && Key <= VK_F1 + 23) return "F" + std::to_string(Key - VK_F1 + 1);
  for (const KeyName& K : KeyNames)
    if (K.Key == Key) return K.Name;
  return "";
}

bool SameTextAscii(const AnsiString& A, const AnsiString& B) {
  return A.size() == B.size() &&
         std::equal(A.begin(), A.end(), B.begin(), [](char X, char Y) {
           return std::tolower(static_cast<unsigned char>(X)) == std::tolower(static_cast<unsigned char>(Y));
         });
}

QKeySequence ToKeySequence(TShortCut S) {
  Word Key = 0;
  TShiftState Shift = 0;
  ShortCutToKey(S, Key, Shift);
  const int QtKey = Key ? clvqt::QtKeyFromVirtualKey(Key) : Qt::Key_unknown;
  if (QtKey == Qt::Key_unknown) return QKeySequence();
  Qt::KeyboardModifiers Mods;
  if (Shift & ssShift) Mods |= Qt::ShiftModifier;
  if (Shift & ssCtrl) Mods |= Qt::ControlModifier;
  if (Shift & ssAlt) Mods |= Qt::AltModifier;
  return QKeySequence(QKeyCombination(Mods, static_cast<Qt::Key>(QtKey)));
}

}  // namespace

TShortCut ShortCut(Word Key, TShiftState Shift) {
  if (Key > 0xFF) return scNone;
  TShortCut Result = Key;
  if (Shift & ssShift) Result |= scShift;
  if (Shift & ssCtrl) Result |= scCtrl;
  if (Shift & ssAlt) Result |= scAlt;
  return Result;
}

void ShortCutToKey(TShortCut S, Word& Key, TShiftState& Shift) {
  Key = S & 0xFF;
  Shift = 0;
  if (S & scShift) Shift |= ssShift;
  if (S & scCtrl) Shift |= ssCtrl;
  if (S & scAlt) Shift |= ssAlt;
}

AnsiString ShortCutToText(TShortCut S) {
  const AnsiString Name = KeyToText(S & 0xFF);
  if (Name.empty()) return "";
  AnsiString Result;
  if (S & scShift) Result += "Shift+";
  if (S & scCtrl) Result += "Ctrl+";
  if (S & scAlt) Result += "Alt+";
  return Result + Name;
}

TShortCut TextToShortCut(const AnsiString& Text) {
  TShortCut Mods = 0;
  AnsiString Rest = Text;
  for (bool Found = true; Found;) {
    Found = false;
    for (auto [Prefix, Bit] : {std::pair<const char*, TShortCut>{"Shift+", scShift}, {"Ctrl+", scCtrl}, {"Alt+", scAlt}}) {
      const AnsiString P = Prefix;
      if (Rest.size() > P.size() && SameTextAscii(Rest.substr(0, P.size()), P)) {
        Mods |= Bit;
        Rest = Rest.substr(P.size());
        Found = true;
      }
    }
  }
  for (Word Key = 0x08; Key <= 0xFF; ++Key) {
    const AnsiString Name = KeyToText(Key);
    if (!Name.empty() && SameTextAscii(Name, Rest)) return static_cast<TShortCut>(Key | Mods);
  }
  return scNone;
}

// ---------------------------------------------------------------------------------------------
// TMenuItem

struct TMenuItem::Impl {
  // The action made for the item; it carries the shortcut and the clicks.
  QAction* Plain = nullptr;
  // Once the item has sub-items: their menu, whose own action stands for the item in its parent.
  QMenu* Sub = nullptr;
  // What the parent's container shows for this item (Plain, or Sub's action).
  QAction* Shown = nullptr;
};

struct TMenu::Impl {
  // The menu bar or pop-up menu that shows the root item's sub-items (owned).
  QWidget* Container = nullptr;
  TChangeLink Link;
};

struct MenuAccess {
  static QWidget* Container(TMenuItem* Item) {
    if (Item->FMenu) return Item->FMenu->Internals()->Container;
    TMenuItem::Impl* I = Item->FImpl.get();
    if (!I->Sub) {
      // The first sub-item turns the item into a sub-menu: its entry becomes the menu's action.
      I->Sub = new QMenu();
      QAction* M = I->Sub->menuAction();
      M->setText(I->Plain->text());
      M->setEnabled(I->Plain->isEnabled());
      M->setVisible(I->Plain->isVisible());
      M->setIcon(I->Plain->icon());
      if (Item->FParent) {
        QWidget* C = Container(Item->FParent);
        C->insertAction(I->Shown, M);
        C->removeAction(I->Shown);
      }
      I->Shown = M;
    }
    return I->Sub;
  }

  template <class Fn>
  static void ForEachAction(TMenuItem* Item, Fn F) {
    F(Item->FImpl->Plain);
    if (Item->FImpl->Shown != Item->FImpl->Plain) F(Item->FImpl->Shown);
  }
};

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner), FImpl(std::make_unique<Impl>()) {
  FImpl->Plain = new QAction();
  FImpl->Shown = FImpl->Plain;
  FImpl->Plain->setShortcutContext(Qt::WindowShortcut);
  QObject::connect(FImpl->Plain, &QAction::triggered, [this] { GuardedCall(this, [this] { Triggered(); }); });
}

TMenuItem::~TMenuItem() {
  Clear();
  if (FParent) FParent->Remove(this);
  if (FImpl->Sub) {
    delete FImpl->Sub;
    FImpl->Sub = nullptr;
  }
  QObject::disconnect(FImpl->Plain, nullptr, FImpl->Plain, nullptr);
  delete FImpl->Plain;
}

void TMenuItem::SetCaption(const AnsiString& Value) {
  FCaption = Value;
  ApplyCaption();
}

void TMenuItem::ApplyCaption() {
  MenuAccess::ForEachAction(this, [this](QAction* A) {
    A->setText(QStr(FCaption));
    A->setSeparator(IsLine());
  });
}

void TMenuItem::SetChecked(bool Value) {
  if (Value == FChecked) return;
  FChecked = Value;
  ApplyCheck();
}

void TMenuItem::ApplyCheck() {
  QAction* A = FImpl->Plain;
  QSignalBlocker Block(A);
  A->setCheckable(FChecked);
  A->setChecked(FChecked);
}

void TMenuItem::SetEnabled(bool Value) {
  FEnabled = Value;
  MenuAccess::ForEachAction(this, [Value](QAction* A) { A->setEnabled(Value); });
}

void TMenuItem::SetVisible(bool Value) {
  FVisible = Value;
  MenuAccess::ForEachAction(this, [Value](QAction* A) { A->setVisible(Value); });
}

void TMenuItem::SetShortCut(TShortCut Value) {
  FShortCut = Value;
  FImpl->Plain->setShortcut(ToKeySequence(Value));
}

void TMenuItem::SetImageIndex(Integer Value) {
  FImageIndex = Value;
  ApplyIcon();
}

void TMenuItem::ApplyIcon() {
  TMenu* M = GetParentMenu();
  QIcon Icon;
  if (M && M->Images() && FImageIndex >= 0) {
    const QImage Picture = clvqt::ImageListPicture(M->Images(), FImageIndex);
    if (!Picture.isNull()) Icon = QIcon(QPixmap::fromImage(Picture));
  }
  MenuAccess::ForEachAction(this, [&Icon](QAction* A) { A->setIcon(Icon); });
}

TMenuItem* TMenuItem::Items(Integer Index) const {
  if (Index < 0 || Index >= Count()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FItems[static_cast<std::size_t>(Index)];
}

void TMenuItem::Add(TMenuItem* Item) { Insert(Count(), Item); }

void TMenuItem::Insert(Integer Index, TMenuItem* Item) {
  if (!Item) return;
  if (Item->FParent || Item->FMenu) throw EInvalidOperation("Menu inserted twice");
  if (Index < 0 || Index > Count()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  for (const TMenuItem* P = this; P; P = P->FParent)
    if (P == Item) throw EInvalidOperation("A menu item cannot hold itself");
  QWidget* C = MenuAccess::Container(this);
  QAction* Before = Index < Count() ? FItems[static_cast<std::size_t>(Index)]->FImpl->Shown : nullptr;
  FItems.insert(FItems.begin() + Index, Item);
  Item->FParent = this;
  C->insertAction(Before, Item->FImpl->Shown);
  if (TMenu* M = GetParentMenu()) M->RefreshIcons(Item);
}

void TMenuItem::Remove(TMenuItem* Item) {
  auto It = std::find(FItems.begin(), FItems.end(), Item);
  if (It == FItems.end()) return;
  FItems.erase(It);
  MenuAccess::Container(this)->removeAction(Item->FImpl->Shown);
  Item->FParent = nullptr;
}

void TMenuItem::Delete(Integer Index) { delete Items(Index); }

void TMenuItem::Clear() {
  while (!FItems.empty()) delete FItems.back();
}

Integer TMenuItem::IndexOf(const TMenuItem* Item) const {
  auto It = std::find(FItems.begin(), FItems.end(), Item);
  return It == FItems.end() ? -1 : static_cast<Integer>(It - FItems.begin());
}

TMenu* TMenuItem::GetParentMenu() const {
  const TMenuItem* Root = this;
  while (Root->FParent) Root = Root->FParent;
  return Root->FMenu;
}

void TMenuItem::Triggered() {
  // Qt flips a checkable action before reporting it; the framework leaves Checked to the handler.
  ApplyCheck();
  Click();
}

void TMenuItem::Click() {
  if (FEnabled && OnClick) OnClick(this);
}

// ---------------------------------------------------------------------------------------------
// TMenu

TMenu::TMenu(TComponent* AOwner) : TComponent(AOwner), FImpl(std::make_unique<Impl>()) {
  FItems = new TMenuItem(nullptr);
  FItems->FMenu = this;
  FImpl->Link.OnChange = [this](TObject*) { RefreshIcons(FItems); };
}

TMenu::~TMenu() {
  // The items leave the container, so they go first.
  delete FItems;
  FItems = nullptr;
  delete FImpl->Container;
  FImpl->Container = nullptr;
}

void TMenu::SetImages(TCustomImageList* Value) {
  if (Value == FImages) return;
  if (FImages) {
    FImages->UnRegisterChanges(&FImpl->Link);
    FImages->RemoveFreeNotification(this);
  }
  FImages = Value;
  if (FImages) {
    FImages->RegisterChanges(&FImpl->Link);
    FImages->FreeNotification(this);
  }
  RefreshIcons(FItems);
}

void TMenu::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FImages) {
    FImages = nullptr;
    if (FItems) RefreshIcons(FItems);
  }
}

void TMenu::RefreshIcons(TMenuItem* Item) {
  if (!Item) return;
  if (Item != FItems) Item->ApplyIcon();
  for (TMenuItem* Sub : Item->FItems) RefreshIcons(Sub);
}

TMenuItem* TMenu::FindItem(TShortCut S) const {
  if (S == scNone) return nullptr;
  std::vector<TMenuItem*> Stack{FItems};
  while (!Stack.empty()) {
    TMenuItem* I = Stack.back();
    Stack.pop_back();
    if (I != FItems && I->ShortCut() == S && I->Enabled()) return I;
    for (auto It = I->FItems.rbegin(); It != I->FItems.rend(); ++It) Stack.push_back(*It);
  }
  return nullptr;
}

bool TMenu::IsShortCut(TShortCut S) {
  TMenuItem* I = FindItem(S);
  if (!I) return false;
  I->Click();
  return true;
}

// ---------------------------------------------------------------------------------------------
// TMainMenu

TMainMenu::TMainMenu(TComponent* AOwner) : TMenu(AOwner) {
  auto* Bar = new QMenuBar();
  Internals()->Container = Bar;
  FForm = dynamic_cast<TCustomForm*>(AOwner);
  if (FForm && FForm->Widget()) static_cast<clvqt::FormWidget*>(FForm->Widget())->SetMenuBar(Bar);
}

TMainMenu::~TMainMenu() = default;

// ---------------------------------------------------------------------------------------------
// TPopupMenu

TPopupMenu::TPopupMenu(TComponent* AOwner) : TMenu(AOwner) { Internals()->Container = new QMenu(); }

TPopupMenu::~TPopupMenu() = default;

void TPopupMenu::SetPopupComponent(TComponent* Value) {
  if (Value == FPopupComponent) return;
  if (FPopupComponent) FPopupComponent->RemoveFreeNotification(this);
  FPopupComponent = Value;
  if (FPopupComponent) FPopupComponent->FreeNotification(this);
}

void TPopupMenu::Notification(TComponent* AComponent, TOperation Operation) {
  TMenu::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FPopupComponent) FPopupComponent = nullptr;
}

void TPopupMenu::Popup(Integer X, Integer Y) {
  if (OnPopup) OnPopup(this);
  auto* M = static_cast<QMenu*>(Internals()->Container);
  const int W = M->sizeHint().width();
  if (FAlignment == paRight) X -= W;
  if (FAlignment == paCenter) X -= W / 2;
  M->popup(QPoint(X, Y));
}
