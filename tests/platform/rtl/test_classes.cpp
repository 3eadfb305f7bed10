#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/rtl/classes.h"
#include "platform/rtl/lists.h"

namespace {

// Records destructions and notifications in a shared log.
class TProbe : public TComponent {
 public:
  TProbe(TComponent* AOwner, std::string ALabel, std::vector<std::string>* ALog)
      : TComponent(AOwner), Label(std::move(ALabel)), Log(ALog) {}
  ~TProbe() override {
    // "*": the component knows it is going (owned components learn it from their owner).
    Log->push_back("~" + Label + ((ComponentState() & csDestroying) ? "*" : ""));
  }

  std::string Label;
  std::vector<std::string>* Log;
  // By name: the component is often gone by the time the test looks.
  std::vector<std::pair<AnsiString, TOperation>> Seen;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override {
    TComponent::Notification(AComponent, Operation);
    Seen.emplace_back(AComponent->Name(), Operation);
  }
};

}  // namespace

TEST(Classes, ClassNameIsTheMostDerivedClass) {
  TComponent C(nullptr);
  TStringList L;
  std::vector<std::string> Log;
  TProbe P(nullptr, "p", &Log);
  EXPECT_EQ(C.ClassName(), "TComponent");
  EXPECT_EQ(L.ClassName(), "TStringList");
  EXPECT_EQ(P.ClassName(), "TProbe");
  TObject* AsBase = &L;
  EXPECT_EQ(AsBase->ClassName(), "TStringList");
}

TEST(Classes, UnsupportedAssignNamesBothClasses) {
  TStringList Dest;
  TComponent Source(nullptr);
  try {
    Dest.Assign(&Source);
    FAIL() << "no exception";
  } catch (const EConvertError& E) {
    EXPECT_EQ(E.Message, "Cannot assign a TComponent to a TStringList");
  }
  try {
    Dest.Assign(nullptr);
    FAIL() << "no exception";
  } catch (const EConvertError& E) {
    EXPECT_EQ(E.Message, "Cannot assign a nil to a TStringList");
  }
}

TEST(Classes, OwnerDestroysOwnedComponentsNewestFirst) {
  std::vector<std::string> Log;
  auto* Owner = new TProbe(nullptr, "owner", &Log);
  new TProbe(Owner, "a", &Log);
  auto* B = new TProbe(Owner, "b", &Log);
  new TProbe(B, "b.child", &Log);
  new TProbe(Owner, "c", &Log);
  auto* Gone = new TProbe(Owner, "gone", &Log);
  ASSERT_EQ(Owner->ComponentCount(), 4);
  delete Gone;  // deleted directly: it must leave its owner's list, or the owner frees it twice
  EXPECT_EQ(Owner->ComponentCount(), 3);
  Log.clear();
  delete Owner;
  EXPECT_EQ(Log, (std::vector<std::string>{"~owner", "~c*", "~b*", "~b.child*", "~a*"}));
}

TEST(Classes, OwnerHearsInsertAndRemove) {
  std::vector<std::string> Log;
  TProbe Owner(nullptr, "owner", &Log);
  auto* Child = new TProbe(&Owner, "child", &Log);
  Child->SetName("Child");
  delete Child;
  ASSERT_EQ(Owner.Seen.size(), 2u);
  EXPECT_EQ(Owner.Seen[0].second, opInsert);  // named later: the name is not set yet
  EXPECT_EQ(Owner.Seen[1], std::make_pair(AnsiString("Child"), opRemove));
}

TEST(Classes, FreeNotificationReachesSubscriberThatIsNotTheOwner) {
  std::vector<std::string> Log;
  TProbe Watcher(nullptr, "watcher", &Log);
  TComponent Form(nullptr);
  auto* Popup = new TProbe(&Form, "popup", &Log);
  Popup->SetName("Popup");
  Popup->FreeNotification(&Watcher);
  delete Popup;
  ASSERT_EQ(Watcher.Seen.size(), 1u);
  EXPECT_EQ(Watcher.Seen[0], std::make_pair(AnsiString("Popup"), opRemove));

  // The registration is mutual: a subscriber that goes first leaves no dangling pointer behind
  // (the sanitizer build catches a use after free here).
  auto* Early = new TProbe(nullptr, "early", &Log);
  TProbe Observed(nullptr, "observed", &Log);
  Observed.FreeNotification(Early);
  delete Early;
  // And a removed registration is not delivered.
  TProbe Quiet(nullptr, "quiet", &Log);
  auto* Target = new TComponent(nullptr);
  Target->FreeNotification(&Quiet);
  Target->RemoveFreeNotification(&Quiet);
  delete Target;
  EXPECT_TRUE(Quiet.Seen.empty());
}

TEST(Classes, NamesAreUniqueAmongSiblingsWithoutRegardToCase) {
  TComponent Owner(nullptr), Other(nullptr);
  auto* A = new TComponent(&Owner);
  auto* B = new TComponent(&Owner);
  auto* Stranger = new TComponent(&Other);
  A->SetName("Button1");
  Stranger->SetName("button1");  // another owner: no clash
  try {
    B->SetName("BUTTON1");
    FAIL() << "duplicate accepted";
  } catch (const EComponentError& E) {
    EXPECT_EQ(E.Message, "A component named BUTTON1 already exists");
  }
  EXPECT_EQ(B->Name(), "");
  A->SetName("button1");  // renaming itself is no clash
  B->SetName("");        // empty names never clash
  EXPECT_EQ(Owner.FindComponent("BUTTON1"), A);
  EXPECT_EQ(Owner.FindComponent(""), nullptr);

  // Taking over a component whose name is in use is refused, and it stays where it was.
  EXPECT_THROW(Owner.InsertComponent(Stranger), EComponentError);
  EXPECT_EQ(Stranger->Owner(), &Other);
  Stranger->SetName("Other1");
  Owner.InsertComponent(Stranger);
  EXPECT_EQ(Stranger->Owner(), &Owner);
  EXPECT_EQ(Other.ComponentCount(), 0);
  EXPECT_EQ(Owner.ComponentCount(), 3);
}

TEST(Classes, BadComponentIndexIsReported) {
  TComponent Owner(nullptr);
  new TComponent(&Owner);
  try {
    Owner.Components(1);
    FAIL() << "no exception";
  } catch (const EListError& E) {
    EXPECT_EQ(E.Message, "List index out of bounds (1)");
  }
}
