#include "app/reading_order.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/gui/controls.h"
#include "widgets/tabs/page_control.h"

namespace {

Integer Middle(const TWinControl* C) { return C->Top() + C->Height() / 2; }

bool SameRow(const TWinControl* A, const TWinControl* B) {
  return std::abs(Middle(A) - Middle(B)) < std::min(A->Height(), B->Height()) / 2;
}

}  // namespace

void SetReadingTabOrder(TWinControl* Parent) {
  std::vector<TWinControl*> Children;
  for (Integer I = 0; I < Parent->ControlCount(); ++I)
    if (auto* W = dynamic_cast<TWinControl*>(Parent->Controls(I))) Children.push_back(W);
  // The pages of a page control lie on each other and only one shows: their order is the tabs'.
  if (dynamic_cast<TClPageControl*>(Parent)) {
    for (TWinControl* C : Children) SetReadingTabOrder(C);
    return;
  }
  std::stable_sort(Children.begin(), Children.end(),
                   [](const TWinControl* A, const TWinControl* B) { return Middle(A) < Middle(B); });
  std::vector<TWinControl*> Ordered;
  for (std::size_t Start = 0; Start < Children.size();) {
    std::size_t End = Start + 1;
    while (End < Children.size() && SameRow(Children[Start], Children[End])) ++End;
    std::vector<TWinControl*> Row(Children.begin() + std::ptrdiff_t(Start), Children.begin() + std::ptrdiff_t(End));
    std::stable_sort(Row.begin(), Row.end(), [](const TWinControl* A, const TWinControl* B) { return A->Left() < B->Left(); });
    Ordered.insert(Ordered.end(), Row.begin(), Row.end());
    Start = End;
  }
  for (std::size_t I = 0; I < Ordered.size(); ++I) Ordered[I]->SetTabOrder(Integer(I));
  for (TWinControl* C : Ordered) SetReadingTabOrder(C);
}
