#include "widgets/tabs/tab_data.h"

#include "platform/rtl/exceptions.h"
#include "platform/rtl/sysutils.h"
#include "widgets/tabs/tab_control.h"

void TClTabData::Assign(TPersistent* Source) {
  if (auto* other = dynamic_cast<TClTabData*>(Source)) {
    Caption = other->Caption;
    DisabledIndex = other->DisabledIndex;
    ImageIndex = other->ImageIndex;
    Color = other->Color;
    Enabled = other->Enabled;
    Visible = other->Visible;
    Hint = other->Hint;
    return;
  }
  TPersistent::Assign(Source);
}

TClTabData* TClTabDataList::Items(Integer Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(Format("List index out of bounds (%d)", Index));
  return FItems[std::size_t(Index)].get();
}

void TClTabDataList::SetItems(Integer Index, TClTabData* Value) {
  if (Index < 0 || Index >= Count()) throw EListError(Format("List index out of bounds (%d)", Index));
  FItems[std::size_t(Index)].reset(Value);
}

void TClTabDataList::Assign(TPersistent* Source) {
  if (auto* other = dynamic_cast<TClTabDataList*>(Source)) {
    if (other == this) return;
    ClearTabData();
    for (Integer i = 0; i < other->Count(); ++i) {
      auto* copy = new TClTabData();
      copy->Assign(other->Items(i));
      AddTabData(copy);
    }
    return;
  }
  TPersistent::Assign(Source);
}

namespace {
void Store(TColor& Field, TColor Value, TClCustomTabControl* Control) {
  if (Field == Value) return;
  Field = Value;
  if (Control) Control->RepaintTabs();
}
}  // namespace

void TClTabColors::SetHighlightBar(TColor Value) { Store(FHighlightBar, Value, FTabControl); }
void TClTabColors::SetShadow(TColor Value) { Store(FShadow, Value, FTabControl); }
void TClTabColors::SetUnselected(TColor Value) { Store(FUnselected, Value, FTabControl); }

void TClTabColors::Assign(TPersistent* Source) {
  if (auto* other = dynamic_cast<TClTabColors*>(Source)) {
    SetHighlightBar(other->FHighlightBar);
    SetShadow(other->FShadow);
    SetUnselected(other->FUnselected);
    return;
  }
  TPersistent::Assign(Source);
}

void TClTextColors::SetDisabled(TColor Value) { Store(FDisabled, Value, FTabControl); }
void TClTextColors::SetSelected(TColor Value) { Store(FSelected, Value, FTabControl); }
void TClTextColors::SetUnselected(TColor Value) { Store(FUnselected, Value, FTabControl); }

void TClTextColors::Assign(TPersistent* Source) {
  if (auto* other = dynamic_cast<TClTextColors*>(Source)) {
    SetDisabled(other->FDisabled);
    SetSelected(other->FSelected);
    SetUnselected(other->FUnselected);
    return;
  }
  TPersistent::Assign(Source);
}
