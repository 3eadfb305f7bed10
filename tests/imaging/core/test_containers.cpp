// THash1, the TIEList family, TIEByteArray and the index quicksort.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "imaging/core/ie_byte_array.h"
#include "imaging/core/ie_hash.h"
#include "imaging/core/ie_list.h"
#include "imaging/core/ie_quicksort.h"
#include "platform/rtl/streams.h"

namespace {

TEST(IEContainers, HashCountsDistinctKeysAcrossCollisions) {
  THash1 hash(4);  // 16 slots: keys 3, 19, 35 share slot 3
  EXPECT_TRUE(hash.Add(3));
  EXPECT_FALSE(hash.Add(3));
  EXPECT_EQ(hash.Count(), 1);
  hash.SetSlotData(3, &hash);
  Integer slot;
  THash1Item* item;
  EXPECT_TRUE(hash.Insert(19, slot, item));
  EXPECT_EQ(slot, 3);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->Key, 19u);
  EXPECT_TRUE(hash.Add(35));
  for (NativeUInt k : {3u, 19u, 35u}) EXPECT_FALSE(hash.Add(k)) << k;
  EXPECT_EQ(hash.Count(), 3);
  // Counting colours of a noisy image the way callers do.
  THash1 colours(12);
  std::mt19937 gen(1);
  std::vector<DWORD> keys(5000);
  for (DWORD& k : keys) k = gen() & 0xFFFFFF;
  for (DWORD k : keys) colours.Add(k);
  std::sort(keys.begin(), keys.end());
  EXPECT_EQ(colours.Count(), std::unique(keys.begin(), keys.end()) - keys.begin());
}

TEST(IEContainers, ListsAddDeleteAndAssign) {
  TIEIntegerList ints;
  EXPECT_EQ(ints.ItemSize(), 4);
  EXPECT_EQ(ints.RangeMax, 0);
  for (Integer v : {10, 20, 30}) ints.Add(v);
  EXPECT_TRUE(ints.Changed);
  ints.Delete(-1);
  ints.Delete(3);
  EXPECT_EQ(ints.Count(), 3);
  ints.Delete(1);
  ASSERT_EQ(ints.Count(), 2);
  EXPECT_EQ(ints.GetItem(0), 10);
  EXPECT_EQ(ints.GetItem(1), 30);
  ints.RangeMax = 99;
  TIEIntegerList copy;
  copy.Assign(&ints);
  EXPECT_EQ(copy.Count(), 2);
  EXPECT_EQ(copy.GetItem(1), 30);
  EXPECT_EQ(copy.RangeMax, 99);
  copy.Assign(nullptr);
  EXPECT_EQ(copy.Count(), 2);
  ints.Clear();
  EXPECT_EQ(ints.Count(), 0);
  EXPECT_EQ(ints.RangeMax, 0);
  EXPECT_FALSE(ints.Changed);

  TIEDoubleList doubles;
  EXPECT_EQ(doubles.ItemSize(), 8);
  doubles.Add(2.5);
  EXPECT_EQ(doubles.GetItem(0), 2.5);

  struct Point3 {
    Integer x, y, z;
  };
  TIERecordList records(sizeof(Point3));
  for (Integer i = 0; i < 5; ++i) {
    Point3 p{i, i * 2, i * 3};
    EXPECT_EQ(records.AddItem(&p), i);
  }
  EXPECT_EQ(static_cast<Point3*>(records.GetItem(4))->z, 12);
  records.SetCount(2);
  EXPECT_EQ(static_cast<Point3*>(records.GetItem(1))->y, 2);
}

TEST(IEContainers, ByteArrayGrowsInBlocksAndReadsStreams) {
  TIEByteArray bytes(16);
  for (int i = 0; i < 17; ++i) bytes.AddByte(static_cast<Byte>(i));
  EXPECT_EQ(bytes.Size(), 17);
  EXPECT_EQ(bytes.Capacity(), 33);
  bytes.SetSize(20);  // inside the capacity: no new block
  EXPECT_EQ(bytes.Capacity(), 33);
  bytes.SetSize(5);  // more than a block below the capacity: shrinks, keeps the first bytes
  EXPECT_EQ(bytes.Capacity(), 21);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(bytes.Data()[i], i);

  TMemoryStream stream;
  stream.WriteBuffer("abcdef", 6);
  stream.SetPosition(2);
  EXPECT_EQ(bytes.AppendFromStream(&stream, 3), 3);
  EXPECT_EQ(bytes.Size(), 8);
  EXPECT_EQ(bytes.Data()[5], 'c');
  // A count beyond the stream (as a damaged file gives) takes what is there.
  EXPECT_EQ(bytes.AppendFromStream(&stream, 2000000000), 1);
  EXPECT_EQ(bytes.Size(), 9);
  EXPECT_LT(bytes.Capacity(), 100);
  EXPECT_EQ(bytes.AppendFromStream(&stream, 10), 0);
  EXPECT_EQ(bytes.Size(), 9);
}

TEST(IEContainers, QuickSortFollowsThePivotThroughSwaps) {
  int compares = 0, swaps = 0;
  auto none = [&](Integer, Integer) { return ++compares, 0; };
  auto swapCount = [&](Integer, Integer) { ++swaps; };
  IEQuickSort(0, none, swapCount);
  EXPECT_EQ(compares + swaps, 0);
  IEQuickSort(1, none, swapCount);
  EXPECT_EQ(compares, 2);
  EXPECT_EQ(swaps, 1);

  std::mt19937 gen(4);
  for (int n : {2, 3, 10, 1000}) {
    std::vector<int> keys(static_cast<size_t>(n));
    for (int& k : keys) k = static_cast<int>(gen() % 50);
    std::vector<int> payload(keys.size());
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = keys[i] * 7;  // a parallel array
    IEQuickSort(
        n, [&](Integer i, Integer j) { return keys[size_t(i)] - keys[size_t(j)]; },
        [&](Integer i, Integer j) {
          std::swap(keys[size_t(i)], keys[size_t(j)]);
          std::swap(payload[size_t(i)], payload[size_t(j)]);
        });
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end())) << n;
    for (size_t i = 0; i < keys.size(); ++i) ASSERT_EQ(payload[i], keys[i] * 7);
  }
  // Already sorted and reversed input of 200,000 items: the stack stays shallow.
  std::vector<int> big(200000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<int>(big.size() - i);
  IEQuickSort(
      static_cast<Integer>(big.size()), [&](Integer i, Integer j) { return big[size_t(i)] - big[size_t(j)]; },
      [&](Integer i, Integer j) { std::swap(big[size_t(i)], big[size_t(j)]); });
  EXPECT_TRUE(std::is_sorted(big.begin(), big.end()));
}

}  // namespace
