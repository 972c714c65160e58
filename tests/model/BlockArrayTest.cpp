#include <gtest/gtest.h>

#include <vector>

#include "BlockArray.h"

namespace {
std::vector<int> Fill(CBlockArray<int>& array, int n)
{
    std::vector<int> values(n);
    for (int i = 0; i < n; ++i) {
        values[i] = i;
        EXPECT_EQ(array.Add(&values[i]), i);
    }
    return values;
}
}  // namespace

TEST(BlockArray, BlockBoundaryAndBounds)
{
    CBlockArray<int> array;
    std::vector<int> values(2001);
    for (int i = 0; i < 2001; ++i)
        ASSERT_EQ(array.Add(&values[i]), i);
    EXPECT_EQ(array.GetAt(1999), &values[1999]);
    EXPECT_EQ(array.GetAt(2000), &values[2000]);
    EXPECT_EQ(array.GetAt(-1), nullptr);
    EXPECT_EQ(array.GetAt(array.GetCount()), nullptr);
    int other = 7;
    array.SetAt(2000, &other);
    EXPECT_EQ(array.GetAt(2000), &other);
    array.SetAt(2001, &other);  // outside: ignored
    EXPECT_EQ(array.GetCount(), 2001);
}

TEST(BlockArray, GrowsPastTheOldCeilingWithoutMovingEntries)
{
    CBlockArray<int> array;
    auto values = Fill(array, 250000);
    EXPECT_EQ(array.GetCount(), 250000);
    for (int i : {0, 101999, 102000, 102001, 249999})
        EXPECT_EQ(array.GetAt(i), &values[i]) << i;
    array.FreeAll();
    EXPECT_EQ(array.GetCount(), 0);
    EXPECT_EQ(array.GetAt(0), nullptr);
}

TEST(BlockArray, RemoveAtShiftsAndNullsTheTail)
{
    CBlockArray<int> array;
    auto values = Fill(array, 3);
    array.RemoveAt(0, 1);
    ASSERT_EQ(array.GetCount(), 2);
    EXPECT_EQ(array.GetAt(0), &values[1]);
    EXPECT_EQ(array.GetAt(1), &values[2]);
    // The vacated slot was nulled: re-adding shows a fresh entry, not a stale one.
    EXPECT_EQ(array.Add(nullptr), 2);
    EXPECT_EQ(array.GetAt(2), nullptr);
}

TEST(BlockArray, RemoveAtAcrossABlockBoundary)
{
    CBlockArray<int> array;
    auto values = Fill(array, 4005);
    array.RemoveAt(1998, 5);
    ASSERT_EQ(array.GetCount(), 4000);
    EXPECT_EQ(array.GetAt(1997), &values[1997]);
    EXPECT_EQ(array.GetAt(1998), &values[2003]);
    EXPECT_EQ(array.GetAt(3999), &values[4004]);
}

TEST(BlockArray, RemoveAtNeverDropsEntriesBeforeTheRange)
{
    CBlockArray<int> array;
    auto values = Fill(array, 3);
    array.RemoveAt(2, 5);  // more than remain: only the tail goes
    ASSERT_EQ(array.GetCount(), 2);
    EXPECT_EQ(array.GetAt(1), &values[1]);
    array.RemoveAt(7, 1);  // past the end: nothing happens
    EXPECT_EQ(array.GetCount(), 2);
}

// A walk over a range visits what GetAt gives there, in order, across block
// boundaries and past either end, and passes over emptied entries.
TEST(BlockArray, ForEachInVisitsTheRangeInOrder)
{
    CBlockArray<int> array;
    auto values = Fill(array, 6001);
    array.SetAt(2000, nullptr);
    const int ranges[][2] = {{0, 6001}, {1999, 2002}, {3000, 3000}, {-5, 5}, {5990, 7000}, {4001, 4000}};
    for (const auto& range : ranges) {
        std::vector<int> expected, seen;
        for (int i = range[0]; i < range[1]; ++i)
            if (const int* value = array.GetAt(i))
                expected.push_back(*value);
        array.ForEachIn(range[0], range[1], [&seen](int& value) { seen.push_back(value); });
        EXPECT_EQ(seen, expected) << range[0] << ".." << range[1];
    }
    long sum = 0;
    array.ForEach([&sum](int& value) { sum += value; });
    EXPECT_EQ(sum, 6000L * 6001 / 2 - 2000);
}
