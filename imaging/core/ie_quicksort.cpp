#include "imaging/core/ie_quicksort.h"

namespace {

// Partitions L..R around the item at the middle index, following the pivot through the swaps
// so Compare may read the items at any time. Leaves I and J where the scans met.
void Partition(Integer L, Integer R, Integer& I, Integer& J, const TIECompareFunction& Compare,
               const TIESwapFunction& Swap) {
  I = L;
  J = R;
  Integer P = static_cast<Integer>((static_cast<unsigned>(L) + static_cast<unsigned>(R)) >> 1);
  do {
    while (Compare(I, P) < 0) ++I;
    while (Compare(J, P) > 0) --J;
    if (I <= J) {
      if (I == P)
        P = J;
      else if (J == P)
        P = I;
      Swap(I, J);
      ++I;
      --J;
    }
  } while (I <= J);
}

}  // namespace

void IEQuickSortRange(Integer L, Integer R, const TIECompareFunction& Compare, const TIESwapFunction& Swap) {
  // The smaller side is sorted by recursion and the larger one by the loop, so the stack stays
  // logarithmic even for orders that defeat the middle pivot. The sides are disjoint, so the
  // order in which they are sorted does not change the result.
  while (L < R) {
    Integer I, J;
    Partition(L, R, I, J, Compare, Swap);
    if (J - L < R - I) {
      if (L < J) IEQuickSortRange(L, J, Compare, Swap);
      L = I;
    } else {
      if (I < R) IEQuickSortRange(I, R, Compare, Swap);
      R = J;
    }
  }
}

void IEQuickSort(Integer Count, const TIECompareFunction& Compare, const TIESwapFunction& Swap) {
  if (Count <= 0) return;
  if (Count == 1) {
    // Kept for callers that count their callbacks: one item is compared with itself twice and
    // swapped with itself once, as a full partition pass would do.
    Integer I, J;
    Partition(0, 0, I, J, Compare, Swap);
    return;
  }
  IEQuickSortRange(0, Count - 1, Compare, Swap);
}
