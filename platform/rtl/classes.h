// The object root, persistent objects, components with owners and free notifications, and the
// event and state vocabulary every layer above uses.
#pragma once

#include <functional>
#include <vector>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/geometry.h"
#include "platform/rtl/types.h"

class TObject {
 public:
  TObject() = default;
  virtual ~TObject();
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;

  // The name of the object's most derived class ("TComponent", "TStringList", ...).
  virtual AnsiString ClassName() const;
};

// Deletes the object and leaves the pointer nil. The pointer is cleared first, so code that
// the destructor reaches already sees nil.
template <class T>
void FreeAndNil(T*& Obj) {
  T* Doomed = Obj;
  Obj = nullptr;
  delete Doomed;
}

template <class T>
bool Assigned(const T* P) {
  return P != nullptr;
}
// An event is assigned when a handler has been stored in it.
template <class Sig>
bool Assigned(const std::function<Sig>& Event) {
  return static_cast<bool>(Event);
}

using TNotifyEvent = std::function<void(TObject* Sender)>;

// Keyboard modifiers and mouse buttons held during an input event, as a bit set:
// `if (Shift & ssCtrl)`.
using TShiftState = unsigned;
inline constexpr TShiftState ssShift = 1u << 0;
inline constexpr TShiftState ssAlt = 1u << 1;
inline constexpr TShiftState ssCtrl = 1u << 2;
inline constexpr TShiftState ssLeft = 1u << 3;
inline constexpr TShiftState ssRight = 1u << 4;
inline constexpr TShiftState ssMiddle = 1u << 5;
inline constexpr TShiftState ssDouble = 1u << 6;

// An object that can copy its state from another. Classes that know how to copy from a
// given source override Assign; classes that know how to copy themselves into a given
// destination override AssignTo. When neither side knows, EConvertError
// "Cannot assign a <source class> to a <destination class>" is raised.
class TPersistent : public TObject {
 public:
  virtual void Assign(TPersistent* Source);

 protected:
  virtual void AssignTo(TPersistent* Dest);

 private:
  [[noreturn]] void AssignError(TPersistent* Source);
};

enum TOperation { opInsert, opRemove };

using TComponentState = unsigned;
inline constexpr TComponentState csLoading = 1u << 0;
inline constexpr TComponentState csReading = 1u << 1;
inline constexpr TComponentState csDesigning = 1u << 2;
inline constexpr TComponentState csDestroying = 1u << 3;
inline constexpr TComponentState csLoaded = 1u << 4;

// A component belongs to its Owner, which destroys it (owned components go in reverse order
// of insertion, the newest first). Components that keep a pointer to a component they do not
// own ask it for a FreeNotification and drop the pointer in Notification(.., opRemove).
//
// Destruction order: a component being destroyed first tells its free-notification
// subscribers (opRemove), then destroys what it owns, then leaves its owner, which receives
// Notification(this, opRemove). Derived classes whose owned components use members of the
// derived part call DestroyComponents() at the start of their own destructor.
//
// While the owner receives Notification(C, opInsert), C is still being constructed: only
// its TComponent part exists.
class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;

  TComponent* Owner() const { return FOwner; }
  Integer ComponentCount() const { return static_cast<Integer>(FComponents.size()); }
  // Raises EListError "List index out of bounds (%d)" for a bad index.
  TComponent* Components(Integer Index) const;
  // The owned component with this name (compared without regard to case), or nil.
  TComponent* FindComponent(const AnsiString& AName) const;

  // Takes ownership of AComponent (from its previous owner, if any). Raises EComponentError
  // when its name is already used among this component's owned components.
  void InsertComponent(TComponent* AComponent);
  // Gives up ownership without destroying AComponent.
  void RemoveComponent(TComponent* AComponent);
  // Destroys every owned component, the newest first.
  void DestroyComponents();

  // AComponent will receive Notification(this, opRemove) when this component is destroyed
  // (and vice versa: the registration is mutual so neither side keeps a stale pointer).
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  const AnsiString& Name() const { return FName; }
  // Raises EComponentError "A component named %s already exists" when a sibling (another
  // component of the same owner) has the name, compared without regard to case. An empty
  // name is always allowed.
  virtual void SetName(const AnsiString& NewName);

  TComponentState ComponentState() const { return FComponentState; }
  void SetDesigning(bool Value);
  // Marks the component (not its owned components) as being read from a stored form;
  // Loaded() ends that state.
  void BeginLoading();
  // Called once the component's stored properties are all set: clears csLoading and
  // csReading and sets csLoaded. Overrides call the inherited version.
  virtual void Loaded();
  // Sets csDestroying on this component and everything it owns.
  void Destroying();

  NativeInt Tag = 0;

 protected:
  virtual void Notification(TComponent* AComponent, TOperation Operation);
  // Tells the free-notification subscribers now rather than from this base's destructor. A
  // derived class whose members subscribers may point into (a picture's bitmap) calls it first
  // thing in its destructor, while those members still exist.
  void NotifyFreeSubscribers();

 private:
  void Insert(TComponent* AComponent);
  void Remove(TComponent* AComponent);
  void ValidateRename(TComponent* AComponent, const AnsiString& NewName) const;
  void DropFreeNotifier(TComponent* AComponent);

  TComponent* FOwner = nullptr;
  std::vector<TComponent*> FComponents;
  std::vector<TComponent*> FFreeNotifies;
  AnsiString FName;
  TComponentState FComponentState = 0;
};
