// Menus: the main menu bar of a form, pop-up menus, their items, and keyboard shortcuts.
//
// A caption's "&x" marks the accelerator x ("&&" is one "&"); a caption of "-" is a separator
// line. A shortcut is a virtual key code with modifier bits; pressing it while the item's form is
// the active window clicks the item when it is enabled.
#pragma once

#include <memory>
#include <vector>

#include "platform/gui/controls.h"

class TCustomImageList;
class TCustomForm;
class TMenu;

// Low byte: the virtual key code; high bits: the modifiers.
using TShortCut = Word;
inline constexpr TShortCut scNone = 0;
inline constexpr TShortCut scShift = 0x2000;
inline constexpr TShortCut scCtrl = 0x4000;
inline constexpr TShortCut scAlt = 0x8000;

// 0 when Key is not a virtual key code (has a high byte).
TShortCut ShortCut(Word Key, TShiftState Shift);
void ShortCutToKey(TShortCut ShortCut, Word& Key, TShiftState& Shift);
// "Ctrl+Shift+F1", "Alt+X", "Del", ...; "" for scNone or a key without a name.
AnsiString ShortCutToText(TShortCut ShortCut);
// Reads that form back, without regard to case; scNone when the text names no shortcut.
TShortCut TextToShortCut(const AnsiString& Text);

class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* AOwner);
  // Frees the sub-items too and leaves the parent item.
  ~TMenuItem() override;

  const AnsiString& Caption() const { return FCaption; }
  void SetCaption(const AnsiString& Value);
  bool IsLine() const { return FCaption == "-"; }
  bool Checked() const { return FChecked; }
  void SetChecked(bool Value);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  bool Visible() const { return FVisible; }
  void SetVisible(bool Value);
  TShortCut ShortCut() const { return FShortCut; }
  void SetShortCut(TShortCut Value);
  // The picture of the menu's Images shown beside the caption (-1: none).
  Integer ImageIndex() const { return FImageIndex; }
  void SetImageIndex(Integer Value);

  Integer Count() const { return static_cast<Integer>(FItems.size()); }
  // Raises EListError "List index out of bounds (%d)" for a bad index.
  TMenuItem* Items(Integer Index) const;
  TMenuItem* operator[](Integer Index) const { return Items(Index); }
  void Add(TMenuItem* Item);
  // Raises EInvalidOperation "Menu inserted twice" for an item that already has a parent.
  void Insert(Integer Index, TMenuItem* Item);
  // Takes the sub-item out without freeing it.
  void Remove(TMenuItem* Item);
  // Frees the sub-item.
  void Delete(Integer Index);
  // Frees every sub-item.
  void Clear();
  Integer IndexOf(const TMenuItem* Item) const;
  TMenuItem* Parent() const { return FParent; }
  Integer MenuIndex() const { return FParent ? FParent->IndexOf(this) : -1; }
  // The menu whose item tree holds this item, or nil.
  TMenu* GetParentMenu() const;

  // Fires OnClick when the item is enabled.
  virtual void Click();

  TNotifyEvent OnClick;

  struct Impl;
  Impl* Internals() const { return FImpl.get(); }

 private:
  friend class TMenu;
  friend struct MenuAccess;
  void Triggered();
  void ApplyCaption();
  void ApplyCheck();
  void ApplyIcon();

  std::unique_ptr<Impl> FImpl;
  AnsiString FCaption;
  bool FChecked = false;
  bool FEnabled = true;
  bool FVisible = true;
  TShortCut FShortCut = scNone;
  Integer FImageIndex = -1;
  std::vector<TMenuItem*> FItems;
  TMenuItem* FParent = nullptr;
  // Set on the root item of a menu.
  TMenu* FMenu = nullptr;
};

class TMenu : public TComponent {
 public:
  ~TMenu() override;

  // The root item; its sub-items are the menu's entries.
  TMenuItem* Items() const { return FItems; }
  TCustomImageList* Images() const { return FImages; }
  void SetImages(TCustomImageList* Value);
  // The enabled item with this shortcut anywhere in the tree, or nil.
  TMenuItem* FindItem(TShortCut ShortCut) const;
  // Clicks the item with this shortcut; true when there was one.
  bool IsShortCut(TShortCut ShortCut);

  struct Impl;
  Impl* Internals() const { return FImpl.get(); }

 protected:
  explicit TMenu(TComponent* AOwner);
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  friend class TMenuItem;
  void RefreshIcons(TMenuItem* Item);

  std::unique_ptr<Impl> FImpl;
  TMenuItem* FItems = nullptr;
  TCustomImageList* FImages = nullptr;
};

// The menu bar of the form that owns it.
class TMainMenu : public TMenu {
 public:
  explicit TMainMenu(TComponent* AOwner);
  ~TMainMenu() override;

  // The form showing the bar (the owner when that is a form), or nil.
  TCustomForm* Form() const { return FForm; }

 private:
  TCustomForm* FForm = nullptr;
};

enum TPopupAlignment { paLeft, paRight, paCenter };

class TPopupMenu : public TMenu {
 public:
  explicit TPopupMenu(TComponent* AOwner);
  ~TPopupMenu() override;

  // Shows the menu at a screen point: its left edge there (paLeft), its right edge (paRight) or
  // its middle (paCenter). OnPopup runs first. The call returns at once; a chosen item's OnClick
  // follows from the event loop.
  virtual void Popup(Integer X, Integer Y);
  TPopupAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TPopupAlignment Value) { FAlignment = Value; }
  // The control the menu was last shown for, as the caller sets it (cleared when it is freed).
  TComponent* PopupComponent() const { return FPopupComponent; }
  void SetPopupComponent(TComponent* Value);

  TNotifyEvent OnPopup;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  TPopupAlignment FAlignment = paLeft;
  TComponent* FPopupComponent = nullptr;
};
