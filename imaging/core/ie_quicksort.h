// Index-based quicksort: the caller compares and swaps the items at two indexes, so any
// container (including parallel arrays) can be sorted in place.
#pragma once

#include <functional>

#include "platform/rtl/types.h"

// Negative, zero or positive as item I sorts before, with or after item J.
using TIECompareFunction = std::function<Integer(Integer I, Integer J)>;
using TIESwapFunction = std::function<void(Integer I, Integer J)>;

// Sorts items 0 .. Count - 1; nothing for Count <= 0.
void IEQuickSort(Integer Count, const TIECompareFunction& Compare, const TIESwapFunction& Swap);
void IEQuickSortRange(Integer L, Integer R, const TIECompareFunction& Compare, const TIESwapFunction& Swap);
