#include "platform/rtl/classes.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "platform/rtl/sysutils.h"

TObject::~TObject() = default;

AnsiString TObject::ClassName() const {
  const char* Mangled = typeid(*this).name();
  int Status = 0;
  std::unique_ptr<char, void (*)(void*)> Demangled(
      abi::__cxa_demangle(Mangled, nullptr, nullptr, &Status), std::free);
  AnsiString Name = (Status == 0 && Demangled) ? AnsiString(Demangled.get()) : AnsiString(Mangled);
  // Classes inside a namespace report their own name only, as the framework's do.
  // Only colons ahead of any template argument list belong to the class's own scope.
  const auto Colons = Name.rfind("::", Name.find('<'));
  if (Colons != AnsiString::npos) Name.erase(0, Colons + 2);
  return Name;
}

// ---------------------------------------------------------------------------------------------

void TPersistent::Assign(TPersistent* Source) {
  if (Source != nullptr) {
    Source->AssignTo(this);
    return;
  }
  AssignError(nullptr);
}

void TPersistent::AssignTo(TPersistent* Dest) { Dest->AssignError(this); }

void TPersistent::AssignError(TPersistent* Source) {
  const AnsiString SourceName = Source != nullptr ? Source->ClassName() : AnsiString("nil");
  throw EConvertError(Format("Cannot assign a %s to a %s", SourceName, ClassName()));
}

// ---------------------------------------------------------------------------------------------

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner != nullptr) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  // Subscribers first, while the owner still lists this component, so that a subscriber
  // that looks at the owner finds a consistent picture.
  NotifyFreeSubscribers();
  DestroyComponents();
  if (FOwner != nullptr) FOwner->RemoveComponent(this);
}

void TComponent::NotifyFreeSubscribers() {
  Destroying();
  while (!FFreeNotifies.empty()) {
    TComponent* Subscriber = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    Subscriber->DropFreeNotifier(this);
    if (Subscriber != FOwner) Subscriber->Notification(this, opRemove);
  }
}

TComponent* TComponent::Components(Integer Index) const {
  if (Index < 0 || Index >= ComponentCount())
    throw EListError(Format("List index out of bounds (%d)", Index));
  return FComponents[static_cast<std::size_t>(Index)];
}

TComponent* TComponent::FindComponent(const AnsiString& AName) const {
  if (AName.empty()) return nullptr;
  for (TComponent* C : FComponents)
    if (SameText(C->FName, AName)) return C;
  return nullptr;
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent->FOwner == this) return;
  ValidateRename(AComponent, AComponent->FName);
  // Leaving the previous owner first keeps two owners from both destroying it.
  if (AComponent->FOwner != nullptr) AComponent->FOwner->RemoveComponent(AComponent);
  Insert(AComponent);
  Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent->FOwner != this) return;
  Notification(AComponent, opRemove);
  Remove(AComponent);
}

void TComponent::DestroyComponents() {
  while (!FComponents.empty()) {
    TComponent* Last = FComponents.back();
    // Detach before deleting so the owner's list never holds a component being destroyed.
    Remove(Last);
    delete Last;
  }
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent == this) return;
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end())
    FFreeNotifies.push_back(AComponent);
  auto& Theirs = AComponent->FFreeNotifies;
  if (std::find(Theirs.begin(), Theirs.end(), this) == Theirs.end()) Theirs.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (AComponent == nullptr) return;
  DropFreeNotifier(AComponent);
  AComponent->DropFreeNotifier(this);
}

void TComponent::DropFreeNotifier(TComponent* AComponent) {
  std::erase(FFreeNotifies, AComponent);
}

void TComponent::SetName(const AnsiString& NewName) {
  if (NewName == FName) return;
  if (FOwner != nullptr) FOwner->ValidateRename(this, NewName);
  FName = NewName;
}

void TComponent::ValidateRename(TComponent* AComponent, const AnsiString& NewName) const {
  if (NewName.empty()) return;
  for (TComponent* C : FComponents)
    if (C != AComponent && SameText(C->FName, NewName))
      throw EComponentError(Format("A component named %s already exists", NewName));
}

void TComponent::SetDesigning(bool Value) {
  if (Value)
    FComponentState |= csDesigning;
  else
    FComponentState &= ~csDesigning;
}

void TComponent::BeginLoading() { FComponentState |= csLoading | csReading; }

void TComponent::Loaded() {
  FComponentState &= ~(csLoading | csReading);
  FComponentState |= csLoaded;
}

void TComponent::Destroying() {
  if (FComponentState & csDestroying) return;
  FComponentState |= csDestroying;
  for (TComponent* C : FComponents) C->Destroying();
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent != nullptr) RemoveFreeNotification(AComponent);
}

void TComponent::Insert(TComponent* AComponent) {
  FComponents.push_back(AComponent);
  AComponent->FOwner = this;
}

void TComponent::Remove(TComponent* AComponent) {
  std::erase(FComponents, AComponent);
  AComponent->FOwner = nullptr;
}
